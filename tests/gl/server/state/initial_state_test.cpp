// A new context answers GL 1.0's initial state: after make-current every
// row of the state tables reads back, through the query a client would use,
// the value GL gives it (the implementation limits as this server has them,
// the framebuffer's sizes as the pixel format describes them).
#include <cmath>
#include <cstdio>

#include "gl/server/state/gl_client.h"

namespace {

using glsrv_client::GLClientTest;

// How a row is read: GetBooleanv (and IsEnabled for a capability),
// GetIntegerv or GetFloatv.
enum Kind { kCap, kBool, kInt, kFloat };

struct Row {
    const char* name;
    ULONG pname;
    Kind kind;
    std::vector<double> values;
};

// Filled in from the pixel format: the window's size, the double-buffered
// draw and read buffer, the stencil masks.
constexpr double kWindowW = glsrv_client::kWindow.right - glsrv_client::kWindow.left;
constexpr double kWindowH = glsrv_client::kWindow.bottom - glsrv_client::kWindow.top;
const std::vector<double> kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

std::vector<Row> Rows(const PIXELFORMATDESCRIPTOR& pfd) {
    const double back = (pfd.dwFlags & PFD_DOUBLEBUFFER) ? 0x405 : 0x404;  // BACK or FRONT
    const double stencilOnes = std::ldexp(1.0, pfd.cStencilBits) - 1;
    std::vector<Row> rows = {
        // current values
        {"CURRENT_COLOR", 0x0B00, kFloat, {1, 1, 1, 1}},
        {"CURRENT_INDEX", 0x0B01, kFloat, {1}},
        {"CURRENT_NORMAL", 0x0B02, kFloat, {0, 0, 1}},
        {"CURRENT_TEXTURE_COORDS", 0x0B03, kFloat, {0, 0, 0, 1}},
        {"CURRENT_RASTER_COLOR", 0x0B04, kFloat, {1, 1, 1, 1}},
        {"CURRENT_RASTER_INDEX", 0x0B05, kFloat, {1}},
        {"CURRENT_RASTER_TEXTURE_COORDS", 0x0B06, kFloat, {0, 0, 0, 1}},
        {"CURRENT_RASTER_POSITION", 0x0B07, kFloat, {0, 0, 0, 1}},
        {"CURRENT_RASTER_POSITION_VALID", 0x0B08, kBool, {1}},
        {"CURRENT_RASTER_DISTANCE", 0x0B09, kFloat, {0}},
        {"EDGE_FLAG", 0x0B43, kBool, {1}},
        // transformation
        {"MODELVIEW_MATRIX", 0x0BA6, kFloat, kIdentity},
        {"PROJECTION_MATRIX", 0x0BA7, kFloat, kIdentity},
        {"TEXTURE_MATRIX", 0x0BA8, kFloat, kIdentity},
        {"VIEWPORT", 0x0BA2, kInt, {0, 0, kWindowW, kWindowH}},
        {"DEPTH_RANGE", 0x0B70, kFloat, {0, 1}},
        {"MODELVIEW_STACK_DEPTH", 0x0BA3, kInt, {1}},
        {"PROJECTION_STACK_DEPTH", 0x0BA4, kInt, {1}},
        {"TEXTURE_STACK_DEPTH", 0x0BA5, kInt, {1}},
        {"MATRIX_MODE", 0x0BA0, kInt, {0x1700}},
        {"NORMALIZE", 0x0BA1, kCap, {0}},
        // colouring
        {"FOG_COLOR", 0x0B66, kFloat, {0, 0, 0, 0}},
        {"FOG_INDEX", 0x0B61, kFloat, {0}},
        {"FOG_DENSITY", 0x0B62, kFloat, {1}},
        {"FOG_START", 0x0B63, kFloat, {0}},
        {"FOG_END", 0x0B64, kFloat, {1}},
        {"FOG_MODE", 0x0B65, kInt, {0x0800}},
        {"FOG", 0x0B60, kCap, {0}},
        {"SHADE_MODEL", 0x0B54, kInt, {0x1D01}},
        // lighting
        {"LIGHTING", 0x0B50, kCap, {0}},
        {"COLOR_MATERIAL", 0x0B57, kCap, {0}},
        {"COLOR_MATERIAL_PARAMETER", 0x0B56, kInt, {0x1602}},
        {"COLOR_MATERIAL_FACE", 0x0B55, kInt, {0x0408}},
        {"LIGHT_MODEL_AMBIENT", 0x0B53, kFloat, {0.2, 0.2, 0.2, 1}},
        {"LIGHT_MODEL_LOCAL_VIEWER", 0x0B51, kBool, {0}},
        {"LIGHT_MODEL_TWO_SIDE", 0x0B52, kBool, {0}},
        // rasterisation
        {"POINT_SIZE", 0x0B11, kFloat, {1}},
        {"POINT_SMOOTH", 0x0B10, kCap, {0}},
        {"LINE_WIDTH", 0x0B21, kFloat, {1}},
        {"LINE_SMOOTH", 0x0B20, kCap, {0}},
        {"LINE_STIPPLE_PATTERN", 0x0B25, kInt, {0xFFFF}},
        {"LINE_STIPPLE_REPEAT", 0x0B26, kInt, {1}},
        {"LINE_STIPPLE", 0x0B24, kCap, {0}},
        {"CULL_FACE", 0x0B44, kCap, {0}},
        {"CULL_FACE_MODE", 0x0B45, kInt, {0x0405}},
        {"FRONT_FACE", 0x0B46, kInt, {0x0901}},
        {"POLYGON_SMOOTH", 0x0B41, kCap, {0}},
        {"POLYGON_MODE", 0x0B40, kInt, {0x1B02, 0x1B02}},
        {"POLYGON_STIPPLE", 0x0B42, kCap, {0}},
        // texturing
        {"TEXTURE_1D", 0x0DE0, kCap, {0}},
        {"TEXTURE_2D", 0x0DE1, kCap, {0}},
        {"TEXTURE_GEN_S", 0x0C60, kCap, {0}},
        {"TEXTURE_GEN_T", 0x0C61, kCap, {0}},
        {"TEXTURE_GEN_R", 0x0C62, kCap, {0}},
        {"TEXTURE_GEN_Q", 0x0C63, kCap, {0}},
        // pixel operations
        {"SCISSOR_TEST", 0x0C11, kCap, {0}},
        {"SCISSOR_BOX", 0x0C10, kInt, {0, 0, kWindowW, kWindowH}},
        {"ALPHA_TEST", 0x0BC0, kCap, {0}},
        {"ALPHA_TEST_FUNC", 0x0BC1, kInt, {0x0207}},
        {"ALPHA_TEST_REF", 0x0BC2, kFloat, {0}},
        {"STENCIL_TEST", 0x0B90, kCap, {0}},
        {"STENCIL_FUNC", 0x0B92, kInt, {0x0207}},
        {"STENCIL_VALUE_MASK", 0x0B93, kInt, {stencilOnes}},
        {"STENCIL_REF", 0x0B97, kInt, {0}},
        {"STENCIL_FAIL", 0x0B94, kInt, {0x1E00}},
        {"STENCIL_PASS_DEPTH_FAIL", 0x0B95, kInt, {0x1E00}},
        {"STENCIL_PASS_DEPTH_PASS", 0x0B96, kInt, {0x1E00}},
        {"DEPTH_TEST", 0x0B71, kCap, {0}},
        {"DEPTH_FUNC", 0x0B74, kInt, {0x0201}},
        {"BLEND", 0x0BE2, kCap, {0}},
        {"BLEND_SRC", 0x0BE1, kInt, {1}},
        {"BLEND_DST", 0x0BE0, kInt, {0}},
        {"LOGIC_OP", 0x0BF1, kCap, {0}},
        {"LOGIC_OP_MODE", 0x0BF0, kInt, {0x1503}},
        {"DITHER", 0x0BD0, kCap, {1}},
        // framebuffer control
        {"DRAW_BUFFER", 0x0C01, kInt, {back}},
        {"COLOR_WRITEMASK", 0x0C23, kBool, {1, 1, 1, 1}},
        {"DEPTH_WRITEMASK", 0x0B72, kBool, {1}},
        {"STENCIL_WRITEMASK", 0x0B98, kInt, {stencilOnes}},
        {"COLOR_CLEAR_VALUE", 0x0C22, kFloat, {0, 0, 0, 0}},
        {"INDEX_CLEAR_VALUE", 0x0C20, kFloat, {0}},
        {"DEPTH_CLEAR_VALUE", 0x0B73, kFloat, {1}},
        {"STENCIL_CLEAR_VALUE", 0x0B91, kInt, {0}},
        {"ACCUM_CLEAR_VALUE", 0x0B80, kFloat, {0, 0, 0, 0}},
        // pixels
        {"UNPACK_SWAP_BYTES", 0x0CF0, kBool, {0}},
        {"UNPACK_LSB_FIRST", 0x0CF1, kBool, {0}},
        {"UNPACK_ROW_LENGTH", 0x0CF2, kInt, {0}},
        {"UNPACK_SKIP_ROWS", 0x0CF3, kInt, {0}},
        {"UNPACK_SKIP_PIXELS", 0x0CF4, kInt, {0}},
        {"UNPACK_ALIGNMENT", 0x0CF5, kInt, {4}},
        {"PACK_SWAP_BYTES", 0x0D00, kBool, {0}},
        {"PACK_LSB_FIRST", 0x0D01, kBool, {0}},
        {"PACK_ROW_LENGTH", 0x0D02, kInt, {0}},
        {"PACK_SKIP_ROWS", 0x0D03, kInt, {0}},
        {"PACK_SKIP_PIXELS", 0x0D04, kInt, {0}},
        {"PACK_ALIGNMENT", 0x0D05, kInt, {4}},
        {"MAP_COLOR", 0x0D10, kBool, {0}},
        {"MAP_STENCIL", 0x0D11, kBool, {0}},
        {"INDEX_SHIFT", 0x0D12, kInt, {0}},
        {"INDEX_OFFSET", 0x0D13, kInt, {0}},
        {"RED_SCALE", 0x0D14, kFloat, {1}},
        {"GREEN_SCALE", 0x0D18, kFloat, {1}},
        {"BLUE_SCALE", 0x0D1A, kFloat, {1}},
        {"ALPHA_SCALE", 0x0D1C, kFloat, {1}},
        {"DEPTH_SCALE", 0x0D1E, kFloat, {1}},
        {"RED_BIAS", 0x0D15, kFloat, {0}},
        {"GREEN_BIAS", 0x0D19, kFloat, {0}},
        {"BLUE_BIAS", 0x0D1B, kFloat, {0}},
        {"ALPHA_BIAS", 0x0D1D, kFloat, {0}},
        {"DEPTH_BIAS", 0x0D1F, kFloat, {0}},
        {"ZOOM_X", 0x0D16, kFloat, {1}},
        {"ZOOM_Y", 0x0D17, kFloat, {1}},
        {"READ_BUFFER", 0x0C02, kInt, {back}},
        // evaluators
        {"AUTO_NORMAL", 0x0D80, kCap, {0}},
        {"MAP1_GRID_DOMAIN", 0x0DD0, kFloat, {0, 1}},
        {"MAP2_GRID_DOMAIN", 0x0DD2, kFloat, {0, 1, 0, 1}},
        {"MAP1_GRID_SEGMENTS", 0x0DD1, kInt, {1}},
        {"MAP2_GRID_SEGMENTS", 0x0DD3, kInt, {1, 1}},
        // hints
        {"PERSPECTIVE_CORRECTION_HINT", 0x0C50, kInt, {0x1100}},
        {"POINT_SMOOTH_HINT", 0x0C51, kInt, {0x1100}},
        {"LINE_SMOOTH_HINT", 0x0C52, kInt, {0x1100}},
        {"POLYGON_SMOOTH_HINT", 0x0C53, kInt, {0x1100}},
        {"FOG_HINT", 0x0C54, kInt, {0x1100}},
        // implementation limits (this server's) and the framebuffer's make-up
        {"MAX_LIGHTS", 0x0D31, kInt, {8}},
        {"MAX_CLIP_PLANES", 0x0D32, kInt, {6}},
        {"MAX_MODELVIEW_STACK_DEPTH", 0x0D36, kInt, {32}},
        {"MAX_PROJECTION_STACK_DEPTH", 0x0D38, kInt, {32}},
        {"MAX_TEXTURE_STACK_DEPTH", 0x0D39, kInt, {32}},
        {"SUBPIXEL_BITS", 0x0D50, kInt, {0}},
        {"MAX_TEXTURE_SIZE", 0x0D33, kInt, {256}},
        {"MAX_PIXEL_MAP_TABLE", 0x0D34, kInt, {32}},
        {"MAX_NAME_STACK_DEPTH", 0x0D37, kInt, {1024}},
        {"MAX_LIST_NESTING", 0x0B31, kInt, {64}},
        {"MAX_EVAL_ORDER", 0x0D30, kInt, {30}},
        {"MAX_VIEWPORT_DIMS", 0x0D3A, kInt, {2048, 2048}},
        {"MAX_ATTRIB_STACK_DEPTH", 0x0D35, kInt, {16}},
        {"AUX_BUFFERS", 0x0C00, kInt, {static_cast<double>(pfd.cAuxBuffers)}},
        {"RGBA_MODE", 0x0C31, kBool, {pfd.iPixelType == PFD_TYPE_RGBA ? 1.0 : 0.0}},
        {"INDEX_MODE", 0x0C30, kBool, {pfd.iPixelType == PFD_TYPE_RGBA ? 0.0 : 1.0}},
        {"DOUBLEBUFFER", 0x0C32, kBool, {(pfd.dwFlags & PFD_DOUBLEBUFFER) ? 1.0 : 0.0}},
        {"STEREO", 0x0C33, kBool, {(pfd.dwFlags & PFD_STEREO) ? 1.0 : 0.0}},
        {"POINT_SIZE_RANGE", 0x0B12, kFloat, {0, 256}},
        {"POINT_SIZE_GRANULARITY", 0x0B13, kFloat, {1}},
        {"LINE_WIDTH_RANGE", 0x0B22, kFloat, {0, 256}},
        {"LINE_WIDTH_GRANULARITY", 0x0B23, kFloat, {1}},
        {"RED_BITS", 0x0D52, kInt, {static_cast<double>(pfd.cRedBits)}},
        {"GREEN_BITS", 0x0D53, kInt, {static_cast<double>(pfd.cGreenBits)}},
        {"BLUE_BITS", 0x0D54, kInt, {static_cast<double>(pfd.cBlueBits)}},
        {"ALPHA_BITS", 0x0D55, kInt, {static_cast<double>(pfd.cAlphaBits)}},
        {"DEPTH_BITS", 0x0D56, kInt, {static_cast<double>(pfd.cDepthBits)}},
        {"STENCIL_BITS", 0x0D57, kInt, {static_cast<double>(pfd.cStencilBits)}},
        {"ACCUM_RED_BITS", 0x0D58, kInt, {static_cast<double>(pfd.cAccumRedBits)}},
        {"ACCUM_ALPHA_BITS", 0x0D5B, kInt, {static_cast<double>(pfd.cAccumAlphaBits)}},
        // miscellaneous
        {"LIST_BASE", 0x0B32, kInt, {0}},
        {"LIST_INDEX", 0x0B33, kInt, {0}},
        {"LIST_MODE", 0x0B30, kInt, {0}},
        {"ATTRIB_STACK_DEPTH", 0x0BB0, kInt, {0}},
        {"NAME_STACK_DEPTH", 0x0D70, kInt, {0}},
        {"RENDER_MODE", 0x0C40, kInt, {0x1C00}},
    };
    // Runs of capabilities off at the start.
    for (ULONG i = 0; i < 6; ++i) rows.push_back({"CLIP_PLANEi", 0x3000 + i, kCap, {0}});
    for (ULONG i = 0; i < 8; ++i) rows.push_back({"LIGHTi", 0x4000 + i, kCap, {0}});
    for (ULONG i = 0; i < 9; ++i) {
        rows.push_back({"MAP1_i", 0x0D90 + i, kCap, {0}});
        rows.push_back({"MAP2_i", 0x0DB0 + i, kCap, {0}});
    }
    // Every pixel map holds one entry.
    for (ULONG i = 0; i < 10; ++i) rows.push_back({"PIXEL_MAP_i_SIZE", 0x0CB0 + i, kInt, {1}});
    return rows;
}

std::string ToHex(ULONG u) {
    char ac[16];
    std::snprintf(ac, sizeof ac, "%04X", static_cast<unsigned>(u));
    return ac;
}

class InitialStateTest : public GLClientTest {
  protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(Start()); }
    PIXELFORMATDESCRIPTOR Format() {
        PIXELFORMATDESCRIPTOR pfd{};
        vnx::process::Scope as(app_);
        DescribePixelFormat(hdc_, 1, sizeof pfd, &pfd);
        return pfd;
    }
    std::vector<double> Get(Kind kind, ULONG pname) {
        std::vector<double> v;
        switch (kind) {
            case kCap:
            case kBool:
                for (std::uint8_t b : Booleans(pname)) v.push_back(b);
                break;
            case kInt:
                for (std::int32_t i : Integers(pname)) v.push_back(i);
                break;
            case kFloat:
                for (float f : Floats(pname)) v.push_back(f);
                break;
        }
        return v;
    }
    // A per-object query's float values.
    std::vector<double> Object(const char* request, ULONG object, ULONG pname) {
        std::vector<double> v;
        for (float f : Single(request, {object, pname}).Values<float>()) v.push_back(f);
        return v;
    }
    static std::vector<double> AsFloats(std::vector<double> v) {
        for (double& d : v) d = static_cast<float>(d);
        return v;
    }
};

TEST_F(InitialStateTest, EveryStateVariableStartsAtItsGLValue) {
    const PIXELFORMATDESCRIPTOR pfd = Format();
    ASSERT_EQ(pfd.iPixelType, PFD_TYPE_RGBA);
    for (const Row& r : Rows(pfd)) {
        SCOPED_TRACE(std::string(r.name) + " 0x" + ToHex(r.pname));
        EXPECT_EQ(Get(r.kind, r.pname), AsFloats(r.values));
        if (r.kind == kCap) {
            const glsrv_client::Answer a = Single("IsEnabled", {r.pname});
            EXPECT_TRUE(a.replied);
            EXPECT_EQ(a.reply.retval, static_cast<std::uint32_t>(r.values[0]));
        }
    }
    EXPECT_EQ(Error(), 0u);
}

// The state the per-object queries answer: lights, materials, clip
// planes, textures, texture generation, maps, pixel maps, the stipple.
TEST_F(InitialStateTest, EveryObjectStartsAtItsGLValue) {
    struct ObjectRow {
        const char* request;
        ULONG object;
        ULONG pname;
        std::vector<double> values;
    };
    std::vector<ObjectRow> rows;
    for (ULONG i = 0; i < 8; ++i) {
        const double on = i == 0 ? 1 : 0;  // light 0 is white
        const ULONG light = 0x4000 + i;
        rows.push_back({"GetLightfv", light, 0x1200, {0, 0, 0, 1}});        // AMBIENT
        rows.push_back({"GetLightfv", light, 0x1201, {on, on, on, 1}});     // DIFFUSE
        rows.push_back({"GetLightfv", light, 0x1202, {on, on, on, 1}});     // SPECULAR
        rows.push_back({"GetLightfv", light, 0x1203, {0, 0, 1, 0}});        // POSITION
        rows.push_back({"GetLightfv", light, 0x1204, {0, 0, -1}});          // SPOT_DIRECTION
        rows.push_back({"GetLightfv", light, 0x1205, {0}});                 // SPOT_EXPONENT
        rows.push_back({"GetLightfv", light, 0x1206, {180}});               // SPOT_CUTOFF
        rows.push_back({"GetLightfv", light, 0x1207, {1}});                 // CONSTANT_ATTENUATION
        rows.push_back({"GetLightfv", light, 0x1208, {0}});                 // LINEAR_ATTENUATION
        rows.push_back({"GetLightfv", light, 0x1209, {0}});                 // QUADRATIC_ATTENUATION
    }
    for (ULONG face : {0x0404u, 0x0405u}) {
        rows.push_back({"GetMaterialfv", face, 0x1200, {0.2, 0.2, 0.2, 1}});  // AMBIENT
        rows.push_back({"GetMaterialfv", face, 0x1201, {0.8, 0.8, 0.8, 1}});  // DIFFUSE
        rows.push_back({"GetMaterialfv", face, 0x1202, {0, 0, 0, 1}});        // SPECULAR
        rows.push_back({"GetMaterialfv", face, 0x1600, {0, 0, 0, 1}});        // EMISSION
        rows.push_back({"GetMaterialfv", face, 0x1601, {0}});                 // SHININESS
        rows.push_back({"GetMaterialfv", face, 0x1603, {0, 1, 1}});           // COLOR_INDEXES
    }
    for (ULONG target : {0x0DE0u, 0x0DE1u}) {
        rows.push_back({"GetTexParameterfv", target, 0x2801, {0x2702}});  // MIN_FILTER NEAREST_MIPMAP_LINEAR
        rows.push_back({"GetTexParameterfv", target, 0x2800, {0x2601}});  // MAG_FILTER LINEAR
        rows.push_back({"GetTexParameterfv", target, 0x2802, {0x2901}});  // WRAP_S REPEAT
        rows.push_back({"GetTexParameterfv", target, 0x2803, {0x2901}});  // WRAP_T REPEAT
        rows.push_back({"GetTexParameterfv", target, 0x1004, {0, 0, 0, 0}});  // BORDER_COLOR
    }
    rows.push_back({"GetTexEnvfv", 0x2300, 0x2200, {0x2100}});      // MODE MODULATE
    rows.push_back({"GetTexEnvfv", 0x2300, 0x2201, {0, 0, 0, 0}});  // COLOR
    for (ULONG c = 0; c < 4; ++c) {
        std::vector<double> plane = {0, 0, 0, 0};
        if (c < 2) plane[c] = 1;  // s (1, 0, 0, 0), t (0, 1, 0, 0)
        rows.push_back({"GetTexGenfv", 0x2000 + c, 0x2500, {0x2400}});  // MODE EYE_LINEAR
        rows.push_back({"GetTexGenfv", 0x2000 + c, 0x2501, plane});     // OBJECT_PLANE
        rows.push_back({"GetTexGenfv", 0x2000 + c, 0x2502, plane});     // EYE_PLANE
    }
    // The nine maps of each kind: order 1 over [0, 1] with GL's control point.
    const std::vector<std::vector<double>> points = {{1, 1, 1, 1}, {1}, {0, 0, 1}, {0}, {0, 0},
                                                     {0, 0, 0}, {0, 0, 0, 1}, {0, 0, 0}, {0, 0, 0, 1}};
    for (ULONG m = 0; m < 9; ++m) {
        rows.push_back({"GetMapfv", 0x0D90 + m, 0x0A01, {1}});           // ORDER
        rows.push_back({"GetMapfv", 0x0D90 + m, 0x0A02, {0, 1}});        // DOMAIN
        rows.push_back({"GetMapfv", 0x0D90 + m, 0x0A00, points[m]});     // COEFF
        rows.push_back({"GetMapfv", 0x0DB0 + m, 0x0A01, {1, 1}});
        rows.push_back({"GetMapfv", 0x0DB0 + m, 0x0A02, {0, 1, 0, 1}});
        rows.push_back({"GetMapfv", 0x0DB0 + m, 0x0A00, points[m]});
    }
    for (const ObjectRow& r : rows) {
        SCOPED_TRACE(std::string(r.request) + " 0x" + ToHex(r.object) + " 0x" + ToHex(r.pname));
        EXPECT_EQ(Object(r.request, r.object, r.pname), AsFloats(r.values));
    }
    // Clip planes (0, 0, 0, 0) as doubles; texture level 0 of each target
    // unloaded: width, height, border 0, one component.
    for (ULONG i = 0; i < 6; ++i) {
        const glsrv_client::Answer a = Single("GetClipPlane", {0x3000 + i});
        ASSERT_TRUE(a.replied);
        EXPECT_EQ(a.Values<double>(), (std::vector<double>{0, 0, 0, 0}));
    }
    for (ULONG target : {0x0DE0u, 0x0DE1u}) {
        const struct {
            ULONG pname;
            std::int32_t value;
        } levels[] = {{0x1000, 0}, {0x1001, 0}, {0x1003, 1}, {0x1005, 0}};
        for (const auto& l : levels) {
            SCOPED_TRACE(ToHex(l.pname));
            EXPECT_EQ(Single("GetTexLevelParameteriv", {target, 0, l.pname}).Values<std::int32_t>(),
                      std::vector<std::int32_t>{l.value});
        }
    }
    // Pixel maps: one entry 0; the stipple all ones.
    for (ULONG map = 0x0C70; map <= 0x0C79; ++map) {
        EXPECT_EQ(Single("GetPixelMapfv", {map}).Values<float>(), std::vector<float>{0.0f}) << ToHex(map);
    }
    const glsrv_client::Answer stipple = Single("GetPolygonStipple", {0});
    ASSERT_EQ(stipple.data.size(), 128u);
    EXPECT_EQ(stipple.data, std::vector<std::uint8_t>(128, 0xFF));
    EXPECT_EQ(Error(), 0u);
}

}  // namespace
