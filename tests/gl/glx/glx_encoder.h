// A GLX encoder for tests, written from the published GLX protocol and
// independent of the server's own tables: one table of the render requests
// (opcode, name and argument layout), one of the single requests the tests
// send, and functions that write render commands, large render commands
// and single requests as a client would, and read single replies back.
//
// A render layout is a run of argument types, each with an optional count:
//   b  8-bit   s  16-bit   i  32-bit integer or enumerant   f  float
//   d  double  P  the 20-byte pixel-store header of image requests
// The arguments are packed in the order given and the body is padded to a
// whole number of words. `variable` marks requests that carry more data
// after the layout (lists, images, parameter vectors, control points).
//
// Render(name, words) and Single(name, words) take their arguments as
// 32-bit words (a double counts as two); F() turns a float into its word.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace glx {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, static_cast<std::uint16_t>(v));
    Put16(b, static_cast<std::uint16_t>(v >> 16));
}

// Render requests: __GLXrenderHeader {u16 length in bytes, header included;
// u16 opcode}, the arguments at +4.
struct RenderLayout {
    std::uint16_t opcode;
    const char* name;
    const char* args;
    bool variable;
};

inline const RenderLayout kRenderLayouts[] = {
    {1, "X_GLrop_CallList", "i", false},
    {2, "X_GLrop_CallLists", "ii", true},
    {3, "X_GLrop_ListBase", "i", false},
    {4, "X_GLrop_Begin", "i", false},
    {5, "X_GLrop_Bitmap", "P6i", true},
    {6, "X_GLrop_Color3bv", "3b", false},
    {7, "X_GLrop_Color3dv", "3d", false},
    {8, "X_GLrop_Color3fv", "3f", false},
    {9, "X_GLrop_Color3iv", "3i", false},
    {10, "X_GLrop_Color3sv", "3s", false},
    {11, "X_GLrop_Color3ubv", "3b", false},
    {12, "X_GLrop_Color3uiv", "3i", false},
    {13, "X_GLrop_Color3usv", "3s", false},
    {14, "X_GLrop_Color4bv", "4b", false},
    {15, "X_GLrop_Color4dv", "4d", false},
    {16, "X_GLrop_Color4fv", "4f", false},
    {17, "X_GLrop_Color4iv", "4i", false},
    {18, "X_GLrop_Color4sv", "4s", false},
    {19, "X_GLrop_Color4ubv", "4b", false},
    {20, "X_GLrop_Color4uiv", "4i", false},
    {21, "X_GLrop_Color4usv", "4s", false},
    {22, "X_GLrop_EdgeFlagv", "b", false},
    {23, "X_GLrop_End", "", false},
    {24, "X_GLrop_Indexdv", "d", false},
    {25, "X_GLrop_Indexfv", "f", false},
    {26, "X_GLrop_Indexiv", "i", false},
    {27, "X_GLrop_Indexsv", "s", false},
    {28, "X_GLrop_Normal3bv", "3b", false},
    {29, "X_GLrop_Normal3dv", "3d", false},
    {30, "X_GLrop_Normal3fv", "3f", false},
    {31, "X_GLrop_Normal3iv", "3i", false},
    {32, "X_GLrop_Normal3sv", "3s", false},
    {33, "X_GLrop_RasterPos2dv", "2d", false},
    {34, "X_GLrop_RasterPos2fv", "2f", false},
    {35, "X_GLrop_RasterPos2iv", "2i", false},
    {36, "X_GLrop_RasterPos2sv", "2s", false},
    {37, "X_GLrop_RasterPos3dv", "3d", false},
    {38, "X_GLrop_RasterPos3fv", "3f", false},
    {39, "X_GLrop_RasterPos3iv", "3i", false},
    {40, "X_GLrop_RasterPos3sv", "3s", false},
    {41, "X_GLrop_RasterPos4dv", "4d", false},
    {42, "X_GLrop_RasterPos4fv", "4f", false},
    {43, "X_GLrop_RasterPos4iv", "4i", false},
    {44, "X_GLrop_RasterPos4sv", "4s", false},
    {45, "X_GLrop_Rectdv", "4d", false},
    {46, "X_GLrop_Rectfv", "4f", false},
    {47, "X_GLrop_Rectiv", "4i", false},
    {48, "X_GLrop_Rectsv", "4s", false},
    {49, "X_GLrop_TexCoord1dv", "d", false},
    {50, "X_GLrop_TexCoord1fv", "f", false},
    {51, "X_GLrop_TexCoord1iv", "i", false},
    {52, "X_GLrop_TexCoord1sv", "s", false},
    {53, "X_GLrop_TexCoord2dv", "2d", false},
    {54, "X_GLrop_TexCoord2fv", "2f", false},
    {55, "X_GLrop_TexCoord2iv", "2i", false},
    {56, "X_GLrop_TexCoord2sv", "2s", false},
    {57, "X_GLrop_TexCoord3dv", "3d", false},
    {58, "X_GLrop_TexCoord3fv", "3f", false},
    {59, "X_GLrop_TexCoord3iv", "3i", false},
    {60, "X_GLrop_TexCoord3sv", "3s", false},
    {61, "X_GLrop_TexCoord4dv", "4d", false},
    {62, "X_GLrop_TexCoord4fv", "4f", false},
    {63, "X_GLrop_TexCoord4iv", "4i", false},
    {64, "X_GLrop_TexCoord4sv", "4s", false},
    {65, "X_GLrop_Vertex2dv", "2d", false},
    {66, "X_GLrop_Vertex2fv", "2f", false},
    {67, "X_GLrop_Vertex2iv", "2i", false},
    {68, "X_GLrop_Vertex2sv", "2s", false},
    {69, "X_GLrop_Vertex3dv", "3d", false},
    {70, "X_GLrop_Vertex3fv", "3f", false},
    {71, "X_GLrop_Vertex3iv", "3i", false},
    {72, "X_GLrop_Vertex3sv", "3s", false},
    {73, "X_GLrop_Vertex4dv", "4d", false},
    {74, "X_GLrop_Vertex4fv", "4f", false},
    {75, "X_GLrop_Vertex4iv", "4i", false},
    {76, "X_GLrop_Vertex4sv", "4s", false},
    {77, "X_GLrop_ClipPlane", "4di", false},
    {78, "X_GLrop_ColorMaterial", "2i", false},
    {79, "X_GLrop_CullFace", "i", false},
    {80, "X_GLrop_Fogf", "if", false},
    {81, "X_GLrop_Fogfv", "i", true},
    {82, "X_GLrop_Fogi", "2i", false},
    {83, "X_GLrop_Fogiv", "i", true},
    {84, "X_GLrop_FrontFace", "i", false},
    {85, "X_GLrop_Hint", "2i", false},
    {86, "X_GLrop_Lightf", "2if", false},
    {87, "X_GLrop_Lightfv", "2i", true},
    {88, "X_GLrop_Lighti", "3i", false},
    {89, "X_GLrop_Lightiv", "2i", true},
    {90, "X_GLrop_LightModelf", "if", false},
    {91, "X_GLrop_LightModelfv", "i", true},
    {92, "X_GLrop_LightModeli", "2i", false},
    {93, "X_GLrop_LightModeliv", "i", true},
    {94, "X_GLrop_LineStipple", "is", false},
    {95, "X_GLrop_LineWidth", "f", false},
    {96, "X_GLrop_Materialf", "2if", false},
    {97, "X_GLrop_Materialfv", "2i", true},
    {98, "X_GLrop_Materiali", "3i", false},
    {99, "X_GLrop_Materialiv", "2i", true},
    {100, "X_GLrop_PointSize", "f", false},
    {101, "X_GLrop_PolygonMode", "2i", false},
    {102, "X_GLrop_PolygonStipple", "P128b", false},
    {103, "X_GLrop_Scissor", "4i", false},
    {104, "X_GLrop_ShadeModel", "i", false},
    {105, "X_GLrop_TexParameterf", "2if", false},
    {106, "X_GLrop_TexParameterfv", "2i", true},
    {107, "X_GLrop_TexParameteri", "3i", false},
    {108, "X_GLrop_TexParameteriv", "2i", true},
    {109, "X_GLrop_TexImage1D", "P8i", true},
    {110, "X_GLrop_TexImage2D", "P8i", true},
    {111, "X_GLrop_TexEnvf", "2if", false},
    {112, "X_GLrop_TexEnvfv", "2i", true},
    {113, "X_GLrop_TexEnvi", "3i", false},
    {114, "X_GLrop_TexEnviv", "2i", true},
    {115, "X_GLrop_TexGend", "d2i", false},
    {116, "X_GLrop_TexGendv", "2i", true},
    {117, "X_GLrop_TexGenf", "2if", false},
    {118, "X_GLrop_TexGenfv", "2i", true},
    {119, "X_GLrop_TexGeni", "3i", false},
    {120, "X_GLrop_TexGeniv", "2i", true},
    {121, "X_GLrop_InitNames", "", false},
    {122, "X_GLrop_LoadName", "i", false},
    {123, "X_GLrop_PassThrough", "f", false},
    {124, "X_GLrop_PopName", "", false},
    {125, "X_GLrop_PushName", "i", false},
    {126, "X_GLrop_DrawBuffer", "i", false},
    {127, "X_GLrop_Clear", "i", false},
    {128, "X_GLrop_ClearAccum", "4f", false},
    {129, "X_GLrop_ClearIndex", "f", false},
    {130, "X_GLrop_ClearColor", "4f", false},
    {131, "X_GLrop_ClearStencil", "i", false},
    {132, "X_GLrop_ClearDepth", "d", false},
    {133, "X_GLrop_StencilMask", "i", false},
    {134, "X_GLrop_ColorMask", "4b", false},
    {135, "X_GLrop_DepthMask", "b", false},
    {136, "X_GLrop_IndexMask", "i", false},
    {137, "X_GLrop_Accum", "if", false},
    {138, "X_GLrop_Disable", "i", false},
    {139, "X_GLrop_Enable", "i", false},
    {141, "X_GLrop_PopAttrib", "", false},
    {142, "X_GLrop_PushAttrib", "i", false},
    {143, "X_GLrop_Map1d", "2d2i", true},
    {144, "X_GLrop_Map1f", "i2fi", true},
    {145, "X_GLrop_Map2d", "4d3i", true},
    {146, "X_GLrop_Map2f", "i2fi2fi", true},
    {147, "X_GLrop_MapGrid1d", "2di", false},
    {148, "X_GLrop_MapGrid1f", "i2f", false},
    {149, "X_GLrop_MapGrid2d", "4d2i", false},
    {150, "X_GLrop_MapGrid2f", "i2fi2f", false},
    {151, "X_GLrop_EvalCoord1dv", "d", false},
    {152, "X_GLrop_EvalCoord1fv", "f", false},
    {153, "X_GLrop_EvalCoord2dv", "2d", false},
    {154, "X_GLrop_EvalCoord2fv", "2f", false},
    {155, "X_GLrop_EvalMesh1", "3i", false},
    {156, "X_GLrop_EvalPoint1", "i", false},
    {157, "X_GLrop_EvalMesh2", "5i", false},
    {158, "X_GLrop_EvalPoint2", "2i", false},
    {159, "X_GLrop_AlphaFunc", "if", false},
    {160, "X_GLrop_BlendFunc", "2i", false},
    {161, "X_GLrop_LogicOp", "i", false},
    {162, "X_GLrop_StencilFunc", "3i", false},
    {163, "X_GLrop_StencilOp", "3i", false},
    {164, "X_GLrop_DepthFunc", "i", false},
    {165, "X_GLrop_PixelZoom", "2f", false},
    {166, "X_GLrop_PixelTransferf", "if", false},
    {167, "X_GLrop_PixelTransferi", "2i", false},
    {168, "X_GLrop_PixelMapfv", "2i", true},
    {169, "X_GLrop_PixelMapuiv", "2i", true},
    {170, "X_GLrop_PixelMapusv", "2i", true},
    {171, "X_GLrop_ReadBuffer", "i", false},
    {172, "X_GLrop_CopyPixels", "5i", false},
    {173, "X_GLrop_DrawPixels", "P4i", true},
    {174, "X_GLrop_DepthRange", "2d", false},
    {175, "X_GLrop_Frustum", "6d", false},
    {176, "X_GLrop_LoadIdentity", "", false},
    {177, "X_GLrop_LoadMatrixf", "16f", false},
    {178, "X_GLrop_LoadMatrixd", "16d", false},
    {179, "X_GLrop_MatrixMode", "i", false},
    {180, "X_GLrop_MultMatrixf", "16f", false},
    {181, "X_GLrop_MultMatrixd", "16d", false},
    {182, "X_GLrop_Ortho", "6d", false},
    {183, "X_GLrop_PopMatrix", "", false},
    {184, "X_GLrop_PushMatrix", "", false},
    {185, "X_GLrop_Rotated", "4d", false},
    {186, "X_GLrop_Rotatef", "4f", false},
    {187, "X_GLrop_Scaled", "3d", false},
    {188, "X_GLrop_Scalef", "3f", false},
    {189, "X_GLrop_Translated", "3d", false},
    {190, "X_GLrop_Translatef", "3f", false},
    {191, "X_GLrop_Viewport", "4i", false},
    {1025, "X_GLrop_PrimitiveZYD", "4i", true},
    // A piece of a DrawPixels image: as DrawPixels, then the piece's first
    // column and row in the whole image; the piece's pixels follow.
    {1026, "X_GLrop_DrawPixelsPieceZYD", "P6i", true},
};

// Bytes of the layout's arguments, padded to whole words.
inline std::uint32_t BodyBytes(const char* args) {
    std::uint32_t cj = 0;
    for (const char* p = args; *p != '\0';) {
        std::uint32_t n = 0;
        while (std::isdigit(static_cast<unsigned char>(*p))) n = n * 10 + static_cast<std::uint32_t>(*p++ - '0');
        if (n == 0) n = 1;
        switch (*p++) {
            case 'b': cj += n; break;
            case 's': cj += 2 * n; break;
            case 'i':
            case 'f': cj += 4 * n; break;
            case 'd': cj += 8 * n; break;
            case 'P': cj += 20 * n; break;
            default: return 0;
        }
    }
    return (cj + 3) & ~3u;
}

// The variable parts, as the published protocol sizes them.
// The values a parameter request carries for its parameter (the request
// named without X_GLrop_ and without its type suffix: "Light", "Fog",
// "TexEnv", ...); 0 for a parameter the request does not take.
inline std::uint32_t ParamValues(const std::string& request, std::uint32_t pname) {
    struct P {
        const char* request;
        std::uint32_t pname, n;
    };
    static const P kParams[] = {
        {"Fog", 0x0B61, 1},  {"Fog", 0x0B62, 1},  {"Fog", 0x0B63, 1},  {"Fog", 0x0B64, 1},  // index, density, start, end
        {"Fog", 0x0B65, 1},  {"Fog", 0x0B66, 4},                                          // mode, colour
        {"Light", 0x1200, 4}, {"Light", 0x1201, 4}, {"Light", 0x1202, 4}, {"Light", 0x1203, 4},  // ambient .. position
        {"Light", 0x1204, 3}, {"Light", 0x1205, 1}, {"Light", 0x1206, 1},  // spot direction, exponent, cutoff
        {"Light", 0x1207, 1}, {"Light", 0x1208, 1}, {"Light", 0x1209, 1},  // attenuations
        {"LightModel", 0x0B51, 1}, {"LightModel", 0x0B52, 1}, {"LightModel", 0x0B53, 4},  // local viewer, two side, ambient
        {"Material", 0x1200, 4}, {"Material", 0x1201, 4}, {"Material", 0x1202, 4},  // ambient, diffuse, specular
        {"Material", 0x1600, 4}, {"Material", 0x1601, 1}, {"Material", 0x1602, 4},  // emission, shininess, a. and d.
        {"Material", 0x1603, 3},                                                     // colour indexes
        {"TexParameter", 0x2800, 1}, {"TexParameter", 0x2801, 1}, {"TexParameter", 0x2802, 1},  // filters, wrap s
        {"TexParameter", 0x2803, 1}, {"TexParameter", 0x1004, 4},                             // wrap t, border
        {"TexEnv", 0x2200, 1}, {"TexEnv", 0x2201, 4},                                         // mode, colour
        {"TexGen", 0x2500, 1}, {"TexGen", 0x2501, 4}, {"TexGen", 0x2502, 4},                  // mode, planes
    };
    for (const P& p : kParams)
        if (request == p.request && pname == p.pname) return p.n;
    return 0;
}
// Bytes of one name of a CallLists type (BYTE .. 4_BYTES); 0 for none.
inline std::uint32_t ListNameBytes(std::uint32_t type) {
    static const std::uint32_t kBytes[] = {1, 1, 2, 2, 4, 4, 4, 2, 3, 4};  // 0x1400 .. 0x1409
    return type - 0x1400 < 10 ? kBytes[type - 0x1400] : 0;
}
// Values a control point of a map target (COLOR_4, INDEX, NORMAL,
// TEXTURE_COORD_1 .. 4, VERTEX_3, VERTEX_4) of either dimension.
inline std::uint32_t MapComponents(std::uint32_t target) {
    static const std::uint32_t kValues[] = {4, 1, 3, 1, 2, 3, 4, 3, 4};
    const std::uint32_t i = target - (target >= 0x0DB0 ? 0x0DB0 : 0x0D90);  // MAP2_ 0x0DB0 .., MAP1_ 0x0D90 ..
    return i < 9 ? kValues[i] : 0;
}

// A render request of `opcode` with cjBody bytes of body (zero-filled
// unless `body` gives them), its length field saying exactly that, in a
// buffer of exactly that size.
inline std::vector<std::uint8_t> RenderRequest(std::uint16_t opcode, std::uint32_t cjBody,
                                               const std::vector<std::uint8_t>& body = {}) {
    std::vector<std::uint8_t> v(4 + cjBody, 0);
    const auto cj = static_cast<std::uint16_t>(v.size());
    std::memcpy(v.data(), &cj, 2);
    std::memcpy(v.data() + 2, &opcode, 2);
    const std::size_t cjCopy = body.size() < cjBody ? body.size() : cjBody;
    if (cjCopy != 0) std::memcpy(v.data() + 4, body.data(), cjCopy);
    return v;
}

// Little-endian words as bytes, for request bodies.
inline Bytes Words(std::initializer_list<std::uint32_t> words) {
    Bytes v;
    for (std::uint32_t w : words) Put32(v, w);
    return v;
}

// Single requests the tests send, with their parameter words.
struct RequestRow {
    const char* name;
    std::uint16_t opcode;
    std::uint16_t words;  // parameter words behind the header
};

// Single requests: xGLXSingleReq {u8 request type, u8 opcode, u16 length in
// 4-byte units, u32 context tag}, parameters at +8.
inline const RequestRow kSingle[] = {
    {"FeedbackBuffer", 105, 2},  // size, type
    {"SelectBuffer", 106, 1},    // size
    {"RenderMode", 107, 1},      // mode
    {"Finish", 108, 0},         {"GetError", 115, 0}, {"Flush", 142, 0},
    {"DrawPixelsReachZYD", 250, 2},  // width, height of a DrawPixels image
    {"PixelStoref", 109, 2},     // pname, param
    {"PixelStorei", 110, 2},     // pname, param
    {"ReadPixels", 111, 7},      // x, y, width, height, format, type, swap bytes | LSB first << 8
    {"GetIntegerv", 117, 1},     // pname
    {"GetPixelMapfv", 125, 1},   // map
    {"GetPixelMapuiv", 126, 1},  // map
    {"GetPixelMapusv", 127, 1},  // map
    {"GetPolygonStipple", 128, 1},  // LSB first (a byte)
    {"NewList", 101, 2},         // list, mode
    {"EndList", 102, 0},
    {"GenLists", 104, 1},        // range
    {"IsList", 141, 1},          // list
    {"GetBooleanv", 112, 1},     // pname
    {"GetDoublev", 114, 1},      // pname
    {"GetFloatv", 116, 1},       // pname
    {"GetMapdv", 120, 2},        // target, query
    {"GetString", 129, 1},       // name
    {"GetTexGendv", 132, 2},     // coord, pname
    {"GetClipPlane", 113, 1},    // plane
    {"GetLightfv", 118, 2},      // light, pname
    {"GetMapfv", 121, 2},        // target, query
    {"GetMaterialfv", 123, 2},   // face, pname
    {"GetTexEnvfv", 130, 2},     // target, pname
    {"GetTexGenfv", 133, 2},     // coord, pname
    {"GetTexParameterfv", 136, 2},       // target, pname
    {"GetTexLevelParameteriv", 139, 3},  // target, level, pname
    {"IsEnabled", 140, 1},       // capability
    {"DeleteLists", 103, 2},     // list, range
    {"GetLightiv", 119, 2},      // light, pname
    {"GetMapiv", 122, 2},        // target, query
    {"GetMaterialiv", 124, 2},   // face, pname
    {"GetTexEnviv", 131, 2},     // target, pname
    {"GetTexGeniv", 134, 2},     // coord, pname
    {"GetTexImage", 135, 5},     // target, level, format, type, swap bytes (a byte)
    {"GetTexParameteriv", 137, 2},       // target, pname
    {"GetTexLevelParameterfv", 138, 3},  // target, level, pname
};

// The X major opcode a client puts in the request type byte (any value: the
// server does not read it).
constexpr std::uint8_t kMajorOpcode = 0x80;

inline std::uint32_t F(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// The render layout of a request by its name without the X_GLrop_ prefix.
inline const RenderLayout& RenderRow(const char* name) {
    for (const RenderLayout& l : kRenderLayouts)
        if (std::string(l.name) == std::string("X_GLrop_") + name) return l;
    throw std::invalid_argument(std::string("no GLX render request ") + name);
}
inline const RequestRow& SingleRow(const char* name) {
    for (const RequestRow& r : kSingle)
        if (std::string(r.name) == name) return r;
    throw std::invalid_argument(std::string("no GLX single request ") + name);
}

// A render command with any length and opcode, for malformed streams.
inline Bytes RawRender(std::uint16_t length, std::uint16_t opcode,
                       std::initializer_list<std::uint32_t> words = {}) {
    Bytes b;
    Put16(b, length);
    Put16(b, opcode);
    for (std::uint32_t w : words) Put32(b, w);
    return b;
}

// A well-formed render command of a request without a variable part; the
// words must fill the request's layout.
inline Bytes Render(const char* name, std::initializer_list<std::uint32_t> words = {}) {
    const RenderLayout& l = RenderRow(name);
    if (l.variable || 4 * words.size() != BodyBytes(l.args))
        throw std::invalid_argument(std::string("arguments of ") + name);
    return RawRender(static_cast<std::uint16_t>(4 + 4 * words.size()), l.opcode, words);
}

// A render command in large form: the inline part {u32 length, u32 opcode,
// the inline words}; the rest of its data goes out of line.
inline Bytes RenderLarge(std::uint32_t opcode, std::initializer_list<std::uint32_t> words = {},
                         std::uint32_t length = 0) {
    Bytes b;
    Put32(b, length != 0 ? length : static_cast<std::uint32_t>(8 + 4 * words.size()));
    Put32(b, opcode);
    for (std::uint32_t w : words) Put32(b, w);
    return b;
}

// A single request with its context tag.
inline Bytes Single(const char* name, std::initializer_list<std::uint32_t> words = {},
                    std::uint32_t contextTag = 0) {
    const RequestRow& r = SingleRow(name);
    if (words.size() != r.words) throw std::invalid_argument(std::string("parameters of ") + name);
    Bytes b;
    b.push_back(kMajorOpcode);
    b.push_back(static_cast<std::uint8_t>(r.opcode));
    Put16(b, static_cast<std::uint16_t>(2 + r.words));
    Put32(b, contextTag);
    for (std::uint32_t w : words) Put32(b, w);
    return b;
}

// Commands one after another, as a client fills a half.
inline Bytes Stream(std::initializer_list<Bytes> commands) {
    Bytes b;
    for (const Bytes& c : commands) b.insert(b.end(), c.begin(), c.end());
    return b;
}

// The 32-byte single reply: {u8 type (1 reply, 0 error), u8 error code, u16
// sequence, u32 length in 4-byte units, u32 retval, u32 size, then words at
// +16 .. +28}.
struct Reply {
    std::uint8_t type;
    std::uint8_t errorCode;
    std::uint16_t sequence;
    std::uint32_t length;
    std::uint32_t retval;
    std::uint32_t size;
    std::uint32_t word16;
};

inline Reply ReadReply(const std::uint8_t* p) {
    auto w = [p](int off) {
        return static_cast<std::uint32_t>(p[off] | p[off + 1] << 8 | p[off + 2] << 16) |
               static_cast<std::uint32_t>(p[off + 3]) << 24;
    };
    return Reply{p[0],  p[1], static_cast<std::uint16_t>(p[2] | p[3] << 8), w(4), w(8),
                 w(12), w(16)};
}

}  // namespace glx
