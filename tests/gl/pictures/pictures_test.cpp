// GL pictures end to end: each scene of the table is sent as GLX render
// requests through an application's request segment to the server, runs
// through the lgi layer, its render functions and queues to the board
// model, and the window's pixels read back from board memory are compared
// with OSMesa running the same GL calls, on 1, 2 and 4 rasterizers at 32
// and at 16 bits a pixel.
//
// A scene whose path through the server still reaches a seam (a part that
// says "not available yet") is skipped, naming the seam, so that it turns
// on when the part lands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "pictures_fixture.h"

namespace {

using namespace pictures;

Calls ClearColour() {
    return With(Start(), {C("ClearColor", {glx::F(0.25f), glx::F(0.5f), glx::F(0.75f), glx::F(1.0f)}),
                          C("Clear", {kColorBufferBit})});
}
// A depth clear to the middle, then a triangle in front of it and one
// behind it under GL_LESS.
Calls ClearDepth() {
    return With(Start(),
                With(With({Double("ClearDepth", {0.5}), C("Clear", {kDepthBufferBit}), C("Enable", {kDepthTest})},
                          Primitive(kTriangles, {{20, 20, 0.5f, 1, 0, 0}, {200, 30, 0.5f, 1, 0, 0}, {60, 170, 0.5f, 1, 0, 0}})),
                     Primitive(kTriangles, {{240, 20, -0.5f, 0, 1, 0}, {230, 180, -0.5f, 0, 1, 0}, {50, 100, -0.5f, 0, 1, 0}})));
}
std::vector<std::uint8_t> Letter() {
    // 16 x 12 rows, the bottom row first: an arrow with a hole.
    return {0x01, 0x80, 0x03, 0xC0, 0x07, 0xE0, 0x0F, 0xF0, 0x1F, 0xF8, 0x3E, 0x7C,
            0x7C, 0x3E, 0xFF, 0xFF, 0x03, 0xC0, 0x03, 0xC0, 0x03, 0xC0, 0x03, 0xC0,
            0x03, 0xC0, 0x03, 0xC0, 0x03, 0xC0, 0x03, 0xC0, 0x03, 0xC0, 0x03, 0xC0,
            0x03, 0xC0, 0x03, 0xC0, 0x03, 0xC0, 0x03, 0xC0, 0x03, 0xC0, 0x03, 0xC0};
}
// Bitmaps at several positions, each moving the raster position on.
Calls Bitmaps() {
    Calls c = With(Start(), {Colour(1, 0.5f, 0), C("RasterPos2fv", {glx::F(20), glx::F(30)})});
    for (int i = 0; i < 5; ++i) c.push_back(Bitmap(16, 24, 0, 0, 21, 7, Letter()));
    c.push_back(Colour(0, 1, 1));
    c.push_back(C("RasterPos2fv", {glx::F(133), glx::F(120)}));
    for (int i = 0; i < 3; ++i) c.push_back(Bitmap(13, 24, 2, 1, 17, -9, Letter()));
    return c;
}
Calls Pixels(std::uint32_t format) {
    const std::uint32_t w = 37, h = 23, n = format == kRgba ? 4 : 3;
    std::vector<std::uint8_t> img(w * h * n);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            std::uint8_t* p = &img[(y * w + x) * n];
            p[0] = static_cast<std::uint8_t>(x * 7);
            p[1] = static_cast<std::uint8_t>(y * 11);
            p[2] = static_cast<std::uint8_t>((x + y) * 5);
            if (n == 4) p[3] = 255;
        }
    return With(Start(), {C("RasterPos2fv", {glx::F(30), glx::F(40)}), DrawPixels(w, h, format, img),
                          C("RasterPos2fv", {glx::F(150), glx::F(130)}), DrawPixels(w, h, format, img)});
}

// --- the fragment stages -------------------------------------------------------
// GL 1.0 tokens of the fragment, lighting, fog and texture scenes.
enum : std::uint32_t {
    kScissorTest = 0x0C11, kAlphaTest = 0x0BC0, kBlend = 0x0BE2, kLogicOpEnable = 0x0BF1, kStencilTest = 0x0B90,
    kLighting = 0x0B50, kLight0 = 0x4000, kLight1 = 0x4001, kLight2 = 0x4002, kFog = 0x0B60, kTexture2d = 0x0DE1,
    kDitherEnable = 0x0BD0, kNormalize = 0x0BA1,
    kZero = 0, kOne = 1, kSrcColor = 0x0300, kOneMinusSrcColor, kSrcAlpha, kOneMinusSrcAlpha, kDstAlpha,
    kOneMinusDstAlpha, kDstColor, kOneMinusDstColor, kSrcAlphaSaturate,
    kKeep = 0x1E00, kReplace, kIncr, kDecr, kInvert = 0x150A, kStencilBufferBit = 0x0400,
    kAmbient = 0x1200, kDiffuse, kSpecular, kPosition, kConstantAttenuation = 0x1207, kLinearAttenuation,
    kLocalViewer = 0x0B51, kTwoSide, kModelAmbient, kEmission = 0x1600, kShininess, kAmbientAndDiffuse,
    kFront = 0x0404, kBack = 0x0405, kFrontAndBack = 0x0408,
    kFogDensity = 0x0B62, kFogStart, kFogEnd, kFogMode, kFogColour, kFogLinear = 0x2601, kExp = 0x0800, kExp2,
    kMagFilter = 0x2800, kMinFilter, kWrapS, kWrapT, kNearest = 0x2600, kLinear = 0x2601,
    kNearestMipmapNearest = 0x2700, kLinearMipmapNearest, kNearestMipmapLinear, kLinearMipmapLinear,
    kClamp = 0x2900, kRepeat = 0x2901, kTextureEnv = 0x2300, kTextureEnvMode = 0x2200, kTextureEnvColour,
    kModulate = 0x2100, kDecal = 0x2101, kBlendEnv = 0x0BE2,
    kS = 0x2000, kT, kR, kQ, kEyeLinear = 0x2400, kObjectLinear, kSphereMap, kTextureGenMode = 0x2500, kObjectPlane,
    kEyePlane, kTextureGenS = 0x0C60, kTextureGenT, kTextureGenR, kTextureGenQ,
};

Call Colour4(float r, float g, float b, float a) { return C("Color4fv", {glx::F(r), glx::F(g), glx::F(b), glx::F(a)}); }
Call Floats(const char* request, std::initializer_list<std::uint32_t> head, std::initializer_list<float> values) {
    Call c = C(request, head);
    for (float v : values) c.words.push_back(glx::F(v));
    return c;
}
// A vertex with its colour and alpha.
struct VA {
    float x, y, z;
    float r, g, b, a;
};
Calls PrimitiveA(std::uint32_t mode, std::initializer_list<VA> vs) {
    Calls c{C("Begin", {mode})};
    for (const VA& v : vs) {
        c.push_back(Colour4(v.r, v.g, v.b, v.a));
        c.push_back(Vertex(v.x, v.y, v.z));
    }
    c.push_back(C("End"));
    return c;
}
// The backdrop the blending, logic-op and mask scenes draw over: two quads
// side by side (smooth unless asked), their alpha (in an alpha buffer)
// rising to the right.
Calls Backdrop(std::uint32_t shade = kSmooth) {
    return With(Start(), With({C("ShadeModel", {shade})},
                              PrimitiveA(kQuads, {{10, 10, 0, 1, 0.2f, 0, 0.1f}, {128, 10, 0, 0.2f, 1, 0.4f, 0.5f},
                                                  {128, 180, 0, 0, 0.4f, 1, 0.5f}, {10, 180, 0, 0.9f, 0.9f, 0.2f, 0.1f},
                                                  {128, 10, 0, 0.6f, 0.6f, 0.6f, 0.5f}, {246, 10, 0, 0.1f, 0.1f, 0.1f, 1},
                                                  {246, 180, 0, 1, 1, 1, 1}, {128, 180, 0, 0.3f, 0, 0.7f, 0.5f}})));
}
// The triangles drawn under the state being tested, smooth in colour and
// alpha, over the backdrop and the black around it.
Calls Overlay() {
    return PrimitiveA(kTriangles, {{30, 30, 0, 0.9f, 0.1f, 0.8f, 0.2f}, {230, 60, 0, 0.1f, 0.9f, 0.5f, 0.9f},
                                   {120, 186, 0, 1, 1, 0.1f, 0.6f}, {0, 100, 0, 0.5f, 0.5f, 1, 1},
                                   {200, 120, 0, 0.8f, 0.3f, 0.1f, 0.4f}, {250, 2, 0, 0.2f, 0.7f, 0.3f, 0}});
}

Calls Scissor() {
    return With(Triangles(kSmooth), With({C("Enable", {kScissorTest}), C("Scissor", {37, 25, 143, 111}),
                                          C("ShadeModel", {kFlat})},
                                         Primitive(kTriangles, {{0, 0, 0, 0, 0, 0}, {256, 0, 0, 0, 0, 0},
                                                                {128, 192, 0, 0.3f, 0.8f, 0.6f}})));
}
// Flat quads of alpha 0, 0.25, 0.5, 0.75 and 1 under the alpha function
// against 0.5.
template <std::uint32_t Func>
Calls AlphaTest() {
    Calls c = With(Start(), {C("Enable", {kAlphaTest}), C("AlphaFunc", {Func, glx::F(0.5f)}), C("ShadeModel", {kFlat})});
    for (int i = 0; i < 5; ++i) {
        const float a = 0.25f * static_cast<float>(i), x = 10.0f + 48.0f * static_cast<float>(i);
        c = With(c, PrimitiveA(kQuads, {{x, 20, 0, 1, 0.5f, 0, a}, {x + 40, 20, 0, 0, 0.5f, 1, a},
                                        {x + 40, 170, 0, 0.5f, 1, 0, a}, {x, 170, 0, 0.2f, 0.2f, 0.9f, a}}));
    }
    return c;
}
template <std::uint32_t Src, std::uint32_t Dst>
Calls Blend() {
    return With(Backdrop(), With({C("Enable", {kBlend}), C("BlendFunc", {Src, Dst})}, Overlay()));
}
template <std::uint32_t Op>
Calls LogicOp() {
    // Flat colours on both sides and no dithering: a bitwise operation
    // turns a level's rounding into any difference at all, and dithering
    // chooses between the two levels nearest a colour.
    return With(With({C("Disable", {kDitherEnable})}, Backdrop(kFlat)),
                With({C("Enable", {kLogicOpEnable}), C("LogicOp", {Op})}, Overlay()));
}
// Colour write mask: green and alpha kept, red and blue written.
Calls ColourMask() {
    return With(Backdrop(), With({C("ColorMask", {0x01000001u | 0x00010000u})}, Overlay()));
}
// Depth write mask: the first triangles test but do not write depth, so
// the second ones draw over them.
Calls DepthMask() {
    return With(Start(), With(With({C("Enable", {kDepthTest}), C("DepthFunc", {kLess}), C("DepthMask", {0})},
                                   Primitive(kTriangles, {{20, 20, -0.5f, 1, 0, 0}, {200, 40, -0.5f, 1, 0.5f, 0},
                                                          {80, 170, -0.5f, 1, 0, 0.5f}})),
                              With({C("DepthMask", {1})},
                                   Primitive(kTriangles, {{40, 150, 0.6f, 0, 0, 1}, {230, 170, 0.6f, 0, 1, 1},
                                                          {150, 10, 0.0f, 0, 1, 0}}))));
}
Calls Dither() { return With({C("Enable", {kDitherEnable})}, Triangles(kSmooth)); }

// Stencil: the marks (1 and 2, the overlap 2), then a backdrop-wide quad
// draws where the function of the row holds against 1.
Calls FullQuad(float r, float g, float b) {
    return Primitive(kQuads, {{0, 0, 0, r, g, b}, {256, 0, 0, r, g, b}, {256, 192, 0, r, g, b}, {0, 192, 0, r, g, b}});
}
template <std::uint32_t Func>
Calls StencilFunc() {
    return With(StencilMarks(),
                With({C("StencilFunc", {Func, 1, 0xFF}), C("StencilOp", {kKeep, kKeep, kKeep})}, FullQuad(0.2f, 0.6f, 1)));
}
// Operations: counting up where the depth test passes, inverting where it
// fails, decrementing, zeroing; then each count shown in its own colour.
template <std::uint32_t Fail, std::uint32_t Zfail, std::uint32_t Zpass>
Calls StencilOps() {
    Calls c = With(StencilMarks(),
                   With(With({C("Enable", {kDepthTest}), C("DepthFunc", {kLess}), C("StencilFunc", {kEqual, 1, 0xFF}),
                              C("StencilOp", {Fail, Zfail, Zpass})},
                             Primitive(kTriangles, {{0, 60, -0.2f, 0, 0, 0.3f}, {256, 80, 0.9f, 0, 0, 0.3f},
                                                    {128, 192, -0.9f, 0, 0, 0.3f}})),
                        With({C("DepthFunc", {kAlways}), C("StencilOp", {Fail, Zfail, Zpass})},
                             Primitive(kTriangles, {{100, 0, 0.5f, 0, 0, 0.3f}, {256, 100, 0.5f, 0, 0, 0.3f},
                                                    {30, 130, 0.5f, 0, 0, 0.3f}}))));
    c.push_back(C("Disable", {kDepthTest}));
    c.push_back(C("StencilOp", {kKeep, kKeep, kKeep}));
    const std::uint32_t shown[] = {0, 1, 2, 3, 254, 255};
    for (std::uint32_t k : shown) {
        const float v = static_cast<float>(k % 7) / 6.0f;
        c.push_back(C("StencilFunc", {kEqual, k, 0xFF}));
        c = With(c, FullQuad(v, 1 - v, k > 100 ? 1.0f : 0.0f));
    }
    return c;
}
// Masks: the function's mask reads bit 1 only, the write mask keeps bit 0.
Calls StencilMasks() {
    Calls c = With(StencilMarks(), {C("StencilMask", {0xFE}), C("StencilFunc", {kEqual, 2, 0x02}),
                                    C("StencilOp", {kZero, kZero, kInvert})});
    c = With(c, Primitive(kTriangles, {{0, 0, 0, 0.5f, 0.5f, 0}, {256, 96, 0, 0.5f, 0.5f, 0}, {0, 192, 0, 0.5f, 0.5f, 0}}));
    c.push_back(C("StencilMask", {0xFF}));
    for (std::uint32_t k : {0u, 1u, 2u, 3u, 0xFCu, 0xFDu}) {
        const float v = static_cast<float>(k & 3) / 3.0f;
        c.push_back(C("StencilFunc", {kEqual, k, 0xFF}));
        c.push_back(C("StencilOp", {kKeep, kKeep, kKeep}));
        c = With(c, FullQuad(v, 0.5f, k > 3 ? 1.0f : 0.2f));
    }
    return c;
}

// Lighting: a lit mesh of normals tilting across the window, drawn as a
// grid of small quads so Gouraud shading follows the light closely.
// With twoLengths the normals are 0.6, 1.04, 1.5 or 0.96 long, taking turns
// over the grid's corners in diagonal stripes (lengths near 1 as well as far
// from it: normalising must not take a nearly unit normal as unit).
Calls LitGrid(bool backFacing = false, bool twoLengths = false) {
    Calls c = {C("Enable", {kLighting}), C("ShadeModel", {kSmooth})};
    c.push_back(C("Begin", {kQuads}));
    const int n = 8;
    auto normal = [twoLengths](float x, float y) {
        const float nx = (x - 128) / 300, ny = (y - 96) / 300, nz = std::sqrt(1 - nx * nx - ny * ny);
        const int corner = static_cast<int>((x - 8) / 30 + (y - 8) / 22 + 0.5f);
        constexpr float kLengths[4] = {0.6f, 1.04f, 1.5f, 0.96f};
        const float l = !twoLengths ? 1.0f : kLengths[corner % 4];
        return C("Normal3fv", {glx::F(l * nx), glx::F(l * ny), glx::F(l * nz)});
    };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const float x0 = 8 + 30 * static_cast<float>(i), y0 = 8 + 22 * static_cast<float>(j);
            const float xs[4] = {x0, x0 + 30, x0 + 30, x0}, ys[4] = {y0, y0, y0 + 22, y0 + 22};
            for (int k = 0; k < 4; ++k) {
                const int kk = backFacing && (i + j) % 2 == 1 ? 3 - k : k;
                c.push_back(normal(xs[kk], ys[kk]));
                c.push_back(Vertex(xs[kk], ys[kk], -0.5f));
            }
        }
    c.push_back(C("End"));
    return c;
}
Calls LightOne() {
    return With(Start(), With({C("Enable", {kLight0}), Floats("Lightfv", {kLight0, kPosition}, {0.3f, 0.5f, 1, 0}),
                               Floats("Lightfv", {kLight0, kDiffuse}, {1, 0.9f, 0.7f, 1})},
                              LitGrid()));
}
Calls LightSeveral() {
    return With(Start(),
                With({C("Enable", {kLight0}), C("Enable", {kLight1}), C("Enable", {kLight2}),
                      Floats("Lightfv", {kLight0, kPosition}, {-0.5f, 0.2f, 1, 0}),
                      Floats("Lightfv", {kLight0, kDiffuse}, {0.8f, 0.2f, 0.1f, 1}),
                      Floats("Lightfv", {kLight1, kPosition}, {0.6f, -0.3f, 1, 0}),
                      Floats("Lightfv", {kLight1, kDiffuse}, {0.1f, 0.3f, 0.9f, 1}),
                      Floats("Lightfv", {kLight1, kSpecular}, {1, 1, 1, 1}),
                      Floats("Lightfv", {kLight2, kPosition}, {0, 0, 1, 0}),
                      Floats("Lightfv", {kLight2, kAmbient}, {0.1f, 0.2f, 0.1f, 1}),
                      Floats("Lightfv", {kLight2, kDiffuse}, {0.2f, 0.5f, 0.2f, 1}),
                      Floats("Materialfv", {kFront, kSpecular}, {0.8f, 0.8f, 0.8f, 1}),
                      Floats("Materialfv", {kFront, kShininess}, {20})},
                     LitGrid()));
}
Calls LightTwoSided() {
    return With(Start(), With({C("Enable", {kLight0}), Floats("LightModelfv", {kTwoSide}, {1}),
                               Floats("Lightfv", {kLight0, kPosition}, {0.3f, 0.5f, 1, 0}),
                               Floats("Materialfv", {kFront, kAmbientAndDiffuse}, {0.9f, 0.6f, 0.2f, 1}),
                               Floats("Materialfv", {kBack, kAmbientAndDiffuse}, {0.2f, 0.5f, 0.9f, 1})},
                              LitGrid(true)));
}
Calls LightMaterials() {
    return With(Start(), With({C("Enable", {kLight0}), Floats("Lightfv", {kLight0, kPosition}, {0.3f, 0.5f, 1, 0}),
                               Floats("Lightfv", {kLight0, kAmbient}, {0.3f, 0.3f, 0.3f, 1}),
                               Floats("Lightfv", {kLight0, kSpecular}, {1, 1, 1, 1}),
                               Floats("LightModelfv", {kModelAmbient}, {0.1f, 0, 0.2f, 1}),
                               Floats("Materialfv", {kFrontAndBack, kAmbient}, {0.5f, 0.2f, 0.2f, 1}),
                               Floats("Materialfv", {kFrontAndBack, kDiffuse}, {0.3f, 0.6f, 0.4f, 1}),
                               Floats("Materialfv", {kFrontAndBack, kSpecular}, {0.6f, 0.6f, 0.9f, 1}),
                               Floats("Materialfv", {kFrontAndBack, kEmission}, {0.05f, 0.05f, 0, 1}),
                               Floats("Materialfv", {kFrontAndBack, kShininess}, {8})},
                              LitGrid()));
}
// A positional light near the surface, attenuated, seen by a local viewer.
Calls LightLocal() {
    return With(Start(), With({C("Enable", {kLight0}), Floats("LightModelfv", {kLocalViewer}, {1}),
                               Floats("Lightfv", {kLight0, kPosition}, {100, 120, 80, 1}),
                               Floats("Lightfv", {kLight0, kSpecular}, {0.8f, 0.8f, 0.8f, 1}),
                               Floats("Lightfv", {kLight0, kLinearAttenuation}, {0.004f}),
                               Floats("Materialfv", {kFront, kSpecular}, {1, 1, 1, 1}),
                               Floats("Materialfv", {kFront, kShininess}, {10})},
                              LitGrid()));
}
// Normals that are not unit length: GL lights with them as given (brighter
// where longer, the diffuse term saturating) unless GL_NORMALIZE is on;
// under the identity (lit in model space), a modelview that stretches z (lit
// in eye space, the normals through its inverse transpose) or one that
// halves everything (lit in model space, the normals twice as long in eye
// space).
enum NormalView { kUnscaled, kStretched, kHalved };
template <bool Normalize, NormalView View>
Calls LightNormals() {
    Calls c = With(Start(), {C("Enable", {kLight0}), Floats("Lightfv", {kLight0, kPosition}, {0.3f, 0.5f, 1, 0}),
                             Floats("Lightfv", {kLight0, kDiffuse}, {1, 0.9f, 0.7f, 1}),
                             Floats("Lightfv", {kLight0, kSpecular}, {1, 1, 1, 1}),
                             Floats("Materialfv", {kFront, kSpecular}, {0.6f, 0.6f, 0.6f, 1}),
                             Floats("Materialfv", {kFront, kShininess}, {12})});
    if (Normalize) c.push_back(C("Enable", {kNormalize}));
    if (View == kStretched) c.push_back(Floats("LoadMatrixf", {}, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1.5f, 0, 0, 0, 0, 1}));
    if (View == kHalved) c.push_back(Floats("LoadMatrixf", {}, {0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 1}));
    return With(c, LitGrid(false, true));
}

// Fog: smooth triangles running from near (z -0.05) to far (z -0.95) in
// eye space, fogged to a grey-blue.
template <std::uint32_t Mode>
Calls Fog() {
    Calls c = With(Start(), {C("Enable", {kFog}), Floats("Fogfv", {kFogMode}, {static_cast<float>(Mode)}),
                             Floats("Fogfv", {kFogColour}, {0.4f, 0.5f, 0.7f, 1}), Floats("Fogfv", {kFogDensity}, {2.2f}),
                             Floats("Fogfv", {kFogStart}, {0.1f}), Floats("Fogfv", {kFogEnd}, {0.9f}),
                             C("ShadeModel", {kSmooth})});
    c.push_back(C("Begin", {kQuads}));
    const int n = 8;
    for (int i = 0; i < n; ++i) {
        const float x0 = 8 + 30 * static_cast<float>(i);
        const float z0 = -0.05f - 0.9f * static_cast<float>(i) / n, z1 = -0.05f - 0.9f * static_cast<float>(i + 1) / n;
        c.push_back(Colour(1, 0.2f, 0.1f));
        c.push_back(Vertex(x0, 10, z0));
        c.push_back(Colour(1, 0.9f, 0.2f));
        c.push_back(Vertex(x0 + 30, 10, z1));
        c.push_back(Colour(0.1f, 0.8f, 0.3f));
        c.push_back(Vertex(x0 + 30, 182, z1));
        c.push_back(Colour(0.2f, 0.2f, 1));
        c.push_back(Vertex(x0, 182, z0));
    }
    c.push_back(C("End"));
    return c;
}

// Texture: a 16 x 16 RGB image (a smooth ramp under a checker of 4-texel
// squares), its smaller levels for the mipmapped rows, on a quad that
// stretches it (magnified) and one that shrinks it (minified), texture
// coordinates beyond 1 on both so the wrap mode shows.
std::vector<std::uint8_t> TextureImage(std::uint32_t size, std::uint32_t level) {
    std::vector<std::uint8_t> img(size * size * 3);
    for (std::uint32_t y = 0; y < size; ++y)
        for (std::uint32_t x = 0; x < size; ++x) {
            std::uint8_t* p = &img[(y * size + x) * 3];
            const bool dark = ((x << level) / 4 + (y << level) / 4) % 2 == 1;
            p[0] = static_cast<std::uint8_t>(level == 0 ? x * 16 : 200 - 40 * level);
            p[1] = static_cast<std::uint8_t>(dark ? 40 : 220);
            p[2] = static_cast<std::uint8_t>(level == 0 ? 255 - y * 16 : 60 * level);
        }
    return img;
}
Call TexImage(std::uint32_t size, std::uint32_t level) {
    return Call{"TexImage2D", {kTexture2d, level, 3, size, size, 0, kRgb, kUnsignedByte}, TextureImage(size, level)};
}
// A row's filters, wrap (both directions) and texture environment.
Calls TextureParameters(std::uint32_t minFilter, std::uint32_t magFilter, std::uint32_t wrap, std::uint32_t env) {
    return {Floats("TexParameterfv", {kTexture2d, kMinFilter}, {static_cast<float>(minFilter)}),
            Floats("TexParameterfv", {kTexture2d, kMagFilter}, {static_cast<float>(magFilter)}),
            Floats("TexParameterfv", {kTexture2d, kWrapS}, {static_cast<float>(wrap)}),
            Floats("TexParameterfv", {kTexture2d, kWrapT}, {static_cast<float>(wrap)}),
            Floats("TexEnvfv", {kTextureEnv, kTextureEnvMode}, {static_cast<float>(env)})};
}
Calls Textured(std::uint32_t minFilter, std::uint32_t magFilter, std::uint32_t wrap, std::uint32_t env) {
    Calls c = With(With(Start(), TextureParameters(minFilter, magFilter, wrap, env)),
                   {Floats("TexEnvfv", {kTextureEnv, kTextureEnvColour}, {0.9f, 0.3f, 0.6f, 1}), C("ShadeModel", {kSmooth})});
    const bool mipmaps = minFilter != kNearest && minFilter != kLinear;
    for (std::uint32_t size = 16, level = 0; size >= 1; size /= 2, ++level) {
        c.push_back(TexImage(size, level));
        if (!mipmaps) break;
    }
    c.push_back(C("Enable", {kTexture2d}));
    auto vertex = [&c](float s, float t, float x, float y, float r, float g, float b) {
        c.push_back(Colour(r, g, b));
        c.push_back(C("TexCoord2fv", {glx::F(s), glx::F(t)}));
        c.push_back(Vertex(x, y));
    };
    c.push_back(C("Begin", {kQuads}));
    // Each quad's coordinates start a little past a texel edge (d), so no
    // pixel centre falls on a texel edge, where GL leaves the texel to the
    // last bit of rounding: the magnified quad's edges keep 1/10 of a pixel
    // from the centres, the minified quads' 1/16 of a texel and more.
    // Magnified: 1.5 repeats over 150 x 150 pixels.
    float d = 1.0f / 256;
    vertex(-0.25f + d, -0.25f + d, 10, 20, 1, 1, 1);
    vertex(1.25f + d, -0.25f + d, 160, 20, 1, 0.5f, 0.5f);
    vertex(1.25f + d, 1.25f + d, 160, 170, 0.5f, 1, 0.5f);
    vertex(-0.25f + d, 1.25f + d, 10, 170, 0.5f, 0.5f, 1);
    // Minified: 3 repeats over 60 x 60 pixels, 4/5 of a pixel a texel... and
    // 6 repeats over 48 x 48 (2 texels a pixel).
    d = 1.0f / 128;
    vertex(d, d, 180, 20, 1, 1, 1);
    vertex(3 + d, d, 240, 20, 1, 1, 1);
    vertex(3 + d, 3 + d, 240, 80, 1, 1, 1);
    vertex(d, 3 + d, 180, 80, 1, 1, 1);
    d = 1.0f / 32;
    vertex(d, d, 190, 110, 0.8f, 0.9f, 1);
    vertex(6 + d, d, 238, 110, 0.8f, 0.9f, 1);
    vertex(6 + d, 6 + d, 238, 158, 0.8f, 0.9f, 1);
    vertex(d, 6 + d, 190, 158, 0.8f, 0.9f, 1);
    c.push_back(C("End"));
    return c;
}
template <std::uint32_t Min, std::uint32_t Mag, std::uint32_t Wrap, std::uint32_t Env>
Calls Texture() {
    return Textured(Min, Mag, Wrap, Env);
}
// A floor under a perspective projection, from 1.5 to 6 units in front of
// the eye, the texture a half unit a repeat: the near end magnifies, the
// far end shrinks. White, so that only the texture shows (OSMesa
// interpolates colours perspective-correctly as well, the board along
// the screen).
template <std::uint32_t Min, std::uint32_t Mag, std::uint32_t Env>
Calls TexturedFloor() {
    const Calls c = With(With(Start(), TextureParameters(Min, Mag, kRepeat, Env)),
                         {C("ShadeModel", {kSmooth}), TexImage(16, 0), C("Enable", {kTexture2d})});
    return With(c, PerspectiveFloor());
}

// Tolerances. Interiors: the board interpolates colours per lane from the
// 28.4 vertices and rounds once, OSMesa interpolates in floating point:
// 2 levels. Edges: the board's top-left rule against OSMesa's own rule
// leaves single pixels along shared and outer edges (a few per edge).
// Lines: the board steps columns at pixel centres, OSMesa by the diamond
// rule of its own rasterizer; with ends at pixel centres the two agree but
// for a pixel at each end.
const Scene kScenes[] = {
    {"flat_triangles", [] { return Triangles(kFlat); }, 0, 24, "flat colour is exact; edge pixels of six edges"},
    {"smooth_triangles", [] { return Triangles(kSmooth); }, 3, 24, "per-lane interpolation; edge pixels"},
    {"flat_quads", [] { return Quads(kFlat); }, 0, 32, "quads split on the diagonal; edge pixels"},
    {"smooth_quads", [] { return Quads(kSmooth); }, 3, 32, "interpolation over two triangles a quad; edges"},
    {"flat_polygon", [] { return Polygon(kFlat); }, 0, 24, "the first vertex's colour; edge pixels"},
    {"smooth_polygon", [] { return Polygon(kSmooth); }, 3, 24, "fan triangles; edge pixels"},
    {"smooth_strip_and_fan", [] { return StripAndFan(kSmooth); }, 3, 40, "shared strip edges; edge pixels"},
    {"flat_strip_and_fan", [] { return StripAndFan(kFlat); }, 0, 40, "each triangle's last vertex; edges"},
    {"depth_less", [] { return Depth(kLess); }, 3, 40, "16-bit depth on both; the crossing line of two planes"},
    {"depth_greater", [] { return Depth(kGreater); }, 3, 40, "as depth_less"},
    {"depth_equal", [] { return Depth(kEqual); }, 3, 40, "as depth_less"},
    {"depth_always", [] { return Depth(kAlways); }, 3, 40, "as depth_less"},
    {"depth_notequal", [] { return Depth(kNotequal); }, 3, 40, "as depth_less"},
    {"thin_lines", [] { return Lines(1, false, kFlat); }, 0, 12, "one pixel at a line's ends"},
    {"smooth_thin_lines", [] { return Lines(1, false, kSmooth); }, 3, 12, "interpolation at column centres"},
    {"wide_lines_2", [] { return Lines(2, false, kFlat); }, 0, 40, "w pixels a column; ends"},
    {"wide_lines_3", [] { return Lines(3, false, kFlat); }, 0, 60, "w pixels a column; ends"},
    {"stippled_lines", [] { return Lines(1, true, kFlat); }, 0, 12, "stipple counted from each line's first pixel"},
    {"line_strip", LineStrip, 3, 12, "shared ends drawn once; colours interpolated along each segment"},
    {"clear_colour", ClearColour, 1, 0, "a whole-window clear is exact but for rounding"},
    {"clear_depth", ClearDepth, 0, 24, "triangle edges"},
    {"bitmaps", Bitmaps, 0, 0, "whole pixels: exact"},
    {"draw_pixels_rgb", [] { return Pixels(kRgb); }, 0, 0, "whole pixels: exact"},
    {"draw_pixels_rgba", [] { return Pixels(kRgba); }, 0, 0, "whole pixels: exact"},
};

// The machines: kPictureMachines (pictures_fixture.h). Below 32 bits a
// channel may lie a step of the format from the 8-bit reference
// (glmachines::Allowed): 16 bits (5-5-5, the only 16-bit format the boards
// offer) keep the top 5 bits of the conversion's 7 and read back widened
// to 8; the scenes dither (GL's initial state), which may leave a channel
// a step from the undithered colour; a blend over a dithered backdrop
// carries that step along (pictures_machines.cpp gives such rows two).
// A split board of 1024 x 768 screens on pages of 256 x 256 at 32 bits has
// its own rows below (kTightSplit32): the primary and back buffers take 12
// page slots each and the 16-bit depth buffer (pages of 256 x 512) 8, all
// 32 (the second screen adds none: a split board keeps a slot table a
// screen, and setting a slot writes both). On pages twice as wide (page-width
// code 1: 512 x 256 at 32 bits, 512 x 512 at 16) the buffers take 6 + 6 + 4
// slots. With one rasterizer a board the memory holds primary, back and
// depth buffer with nothing left for the GL buffers, and the extra buffer
// that a single rasterizer may use instead needs padding that a 1024 x 768
// screen does not leave.

// The fragment stages, lighting and fog, each over scenes whose coverage
// the rows above settle. Tolerances as above unless a row says; fog: GL
// lets the fog blend be computed per vertex (the server does, and the
// board interpolates the fogged colours) or per fragment (OSMesa): across a
// 30-pixel quad the two part by up to 12 levels where the exponential
// curves bend most.
const Scene kStageScenes[] = {
    {"scissor", Scissor, 3, 24, "the scissor box is exact; triangle edges"},
    {"alpha_test_never", AlphaTest<kNever>, 0, 24, "flat quads; edges"},
    {"alpha_test_less", AlphaTest<kLess>, 0, 24, "flat quads; edges"},
    {"alpha_test_equal", AlphaTest<kEqual>, 0, 24, "flat quads; edges"},
    {"alpha_test_lequal", AlphaTest<kLequal>, 0, 24, "flat quads; edges"},
    {"alpha_test_greater", AlphaTest<kGreater>, 0, 24, "flat quads; edges"},
    {"alpha_test_notequal", AlphaTest<kNotequal>, 0, 24, "flat quads; edges"},
    {"alpha_test_gequal", AlphaTest<kGequal>, 0, 24, "flat quads; edges"},
    {"alpha_test_always", AlphaTest<kAlways>, 0, 24, "flat quads; edges"},
    {"blend_one_zero", Blend<kOne, kZero>, 3, 48, "as the smooth rows"},
    {"blend_src_alpha_one_minus_src_alpha", Blend<kSrcAlpha, kOneMinusSrcAlpha>, 3, 48, "products rounded once"},
    {"blend_one_minus_src_alpha_src_alpha", Blend<kOneMinusSrcAlpha, kSrcAlpha>, 3, 48, "products rounded once"},
    {"logic_clear", LogicOp<0x1500>, 0, 48, "flat colours; edges"},
    {"logic_and", LogicOp<0x1501>, 0, 48, "flat colours; edges"},
    {"logic_and_reverse", LogicOp<0x1502>, 0, 48, "flat colours; edges"},
    {"logic_copy", LogicOp<0x1503>, 0, 48, "flat colours; edges"},
    {"logic_and_inverted", LogicOp<0x1504>, 0, 48, "flat colours; edges"},
    {"logic_noop", LogicOp<0x1505>, 0, 48, "flat colours; edges"},
    {"logic_xor", LogicOp<0x1506>, 0, 48, "flat colours; edges"},
    {"logic_or", LogicOp<0x1507>, 0, 48, "flat colours; edges"},
    {"logic_nor", LogicOp<0x1508>, 0, 48, "flat colours; edges"},
    {"logic_equiv", LogicOp<0x1509>, 0, 48, "flat colours; edges"},
    {"logic_invert", LogicOp<0x150A>, 0, 48, "flat colours; edges"},
    {"logic_or_reverse", LogicOp<0x150B>, 0, 48, "flat colours; edges"},
    {"logic_copy_inverted", LogicOp<0x150C>, 0, 48, "flat colours; edges"},
    {"logic_or_inverted", LogicOp<0x150D>, 0, 48, "flat colours; edges"},
    {"logic_nand", LogicOp<0x150E>, 0, 48, "flat colours; edges"},
    {"logic_set", LogicOp<0x150F>, 0, 48, "flat colours; edges"},
    {"colour_mask", ColourMask, 3, 48, "the backdrop's interpolation"},
    {"depth_mask", DepthMask, 3, 40, "as depth_less"},
    {"dither", Dither, 3, 24, "as smooth_triangles"},
    {"stencil_never", StencilFunc<kNever>, 0, 48, "flat colours; the marks' edges", kStencilBuffer},
    {"stencil_less", StencilFunc<kLess>, 0, 48, "flat colours; the marks' edges", kStencilBuffer},
    {"stencil_equal", StencilFunc<kEqual>, 0, 48, "flat colours; the marks' edges", kStencilBuffer},
    {"stencil_lequal", StencilFunc<kLequal>, 0, 48, "flat colours; the marks' edges", kStencilBuffer},
    {"stencil_greater", StencilFunc<kGreater>, 0, 48, "flat colours; the marks' edges", kStencilBuffer},
    {"stencil_notequal", StencilFunc<kNotequal>, 0, 48, "flat colours; the marks' edges", kStencilBuffer},
    {"stencil_gequal", StencilFunc<kGequal>, 0, 48, "flat colours; the marks' edges", kStencilBuffer},
    {"stencil_always", StencilFunc<kAlways>, 0, 48, "flat colours; the marks' edges", kStencilBuffer},
    {"stencil_incr_invert_decr", StencilOps<kDecr, kInvert, kIncr>, 0, 96, "flat colours; edges of four passes",
     kStencilBuffer},
    {"stencil_zero_replace_keep", StencilOps<kZero, kReplace, kKeep>, 0, 96, "flat colours; edges of four passes",
     kStencilBuffer},
    {"stencil_masks", StencilMasks, 0, 64, "flat colours; edges of three passes", kStencilBuffer},
    {"light_one", LightOne, 3, 96, "Gouraud colours per vertex; the grid's shared edges"},
    {"light_several", LightSeveral, 3, 96, "as light_one"},
    {"light_two_sided", LightTwoSided, 3, 96, "as light_one"},
    {"light_materials", LightMaterials, 3, 96, "as light_one"},
    {"light_local_viewer_attenuated", LightLocal, 3, 96, "as light_one"},
    {"light_normals_as_given", LightNormals<false, kUnscaled>, 3, 96, "as light_one"},
    {"light_normals_as_given_stretched", LightNormals<false, kStretched>, 3, 96, "as light_one"},
    {"light_normals_as_given_halved", LightNormals<false, kHalved>, 3, 96, "as light_one"},
    {"light_normals_normalized", LightNormals<true, kUnscaled>, 3, 96, "as light_one"},
    {"light_normals_normalized_stretched", LightNormals<true, kStretched>, 3, 96, "as light_one"},
    {"light_normals_normalized_halved", LightNormals<true, kHalved>, 3, 96, "as light_one"},
    {"fog_linear", Fog<kFogLinear>, 12, 64, "fog blended per vertex and interpolated"},
    {"fog_exp", Fog<kExp>, 12, 64, "fog blended per vertex and interpolated"},
    {"fog_exp2", Fog<kExp2>, 12, 64, "fog blended per vertex and interpolated"},
};

// Blends whose programs add or multiply 8-bit channels: at 16 bits a pixel
// the generator's channels are 7 bits wide and its saturating adds carry at
// 8 bits (render3d.h, "Limits"), so below 32 bits the machines cannot draw
// these rows (pictures_machines.cpp). dst_colour_src_colour: the table
// computes 2SD as one product doubled, so its rounding doubles too (4
// levels).
const Scene kStageScenes32[] = {
    {"blend_dst_colour_zero", Blend<kDstColor, kZero>, 3, 48, "products rounded once"},
    {"blend_zero_src_colour", Blend<kZero, kSrcColor>, 3, 48, "products rounded once"},
    {"blend_dst_colour_src_colour", Blend<kDstColor, kSrcColor>, 4, 48, "one product doubled"},
    {"blend_one_one", Blend<kOne, kOne>, 3, 48, "sums of two interpolations"},
    {"blend_src_alpha_one", Blend<kSrcAlpha, kOne>, 3, 48, "products rounded once"},
    {"blend_zero_one_minus_src_alpha", Blend<kZero, kOneMinusSrcAlpha>, 3, 48, "products rounded once"},
    {"blend_one_minus_dst_colour_zero", Blend<kOneMinusDstColor, kZero>, 3, 48, "products rounded once"},
    {"blend_one_one_minus_src_colour", Blend<kOne, kOneMinusSrcColor>, 3, 48, "products rounded once"},
    {"blend_src_alpha_saturate_one", Blend<kSrcAlphaSaturate, kOne>, 3, 48, "without an alpha buffer the factor is 0"},
    {"blend_src_alpha_saturate_one_alpha_buffer", Blend<kSrcAlphaSaturate, kOne>, 3, 48,
     "min(As, 1 - Ad) against the backdrop's alpha; products rounded once", kAlphaBuffer},
};

// Destination alpha: the backdrop writes its alpha into the window's alpha
// buffer, the overlay blends by it and updates it. A blend weighs the
// destination, which below 32 bits a pixel was stored a step off, by up to
// one, and its result is stored again: two steps of the format from the
// 8-bit reference there (pictures_machines.cpp).
const Scene kAlphaBufferScenes[] = {
    {"blend_dst_alpha_one_minus_dst_alpha", Blend<kDstAlpha, kOneMinusDstAlpha>, 3, 48,
     "products rounded once; the backdrop's alpha", kAlphaBuffer},
    {"blend_one_minus_dst_alpha_dst_alpha", Blend<kOneMinusDstAlpha, kDstAlpha>, 3, 48,
     "products rounded once; the backdrop's alpha", kAlphaBuffer},
};

// Textures. Nearest texels are exact: the board chooses a texel by the
// floor of its coordinate in sixteenths of a texel, as GL does, and the
// scene keeps texel edges off the pixel centres. The linear filter weighs
// the four texels in sixteenths of a texel where OSMesa weighs them
// exactly: up to 1/16 of the 180 levels between neighbouring texels (11)
// on top of the interpolation. Modulate at 16 bits a pixel: the texel
// reaches the program through a 5-bit pixel and the product is rounded to
// 5 bits again. Mip-maps: the board chooses the level once a triangle (at
// a corner), OSMesa for each pixel, so a texel may come from the
// neighbouring level along the quads' edges (up to 48 levels).
// The floor in perspective: the render function cuts each triangle until
// its edges are short for the change of w along them (8 to 60 pixels) and
// the board maps the texture linearly across each piece, so texel edges
// bend in steps where OSMesa's follow the exact curve: the board puts
// them up to 2 pixels from the reference's (about 700 pixels of the
// picture); in the far rows (over a texel a pixel) a nearest texel or the
// weights depend on the last bits of the coordinate (about 360 pixels).
const Scene kTextureScenes[] = {
    {"texture_nearest_modulate", Texture<kNearest, kNearest, kRepeat, kModulate>, 7, 64, "a 5-bit texel at 16 bits"},
    {"texture_linear_modulate", Texture<kLinear, kLinear, kRepeat, kModulate>, 14, 64, "filter weights in 1/16"},
    {"texture_nearest_decal", Texture<kNearest, kNearest, kRepeat, kDecal>, 3, 64, "texels exact; edges"},
    {"texture_linear_decal", Texture<kLinear, kLinear, kRepeat, kDecal>, 14, 64, "filter weights in 1/16"},
    {"texture_nearest_blend", Texture<kNearest, kNearest, kRepeat, kBlendEnv>, 3, 64, "texels exact; edges"},
    {"texture_linear_blend", Texture<kLinear, kLinear, kRepeat, kBlendEnv>, 14, 64, "filter weights in 1/16"},
    {"texture_nearest_decal_floor", TexturedFloor<kNearest, kNearest, kDecal>, 3, 1100,
     "in perspective: texel edges up to 2 pixels from the reference's; the far rows, several texels a pixel"},
    {"texture_linear_modulate_floor", TexturedFloor<kLinear, kLinear, kModulate>, 14, 1100,
     "in perspective: filter weights in 1/16; texel edges up to 2 pixels off; the far rows"},
};
// A clamped texture draws through the software path (the board's tiles
// repeat), on every machine: GL 1.0's clamp, the linear filter taking the
// border colour (here the default, transparent black) for the neighbours
// past the edge, at 16 bits as at 32 and across both screens of a split
// board.
const Scene kClampScenes[] = {
    {"texture_nearest_clamp", Texture<kNearest, kNearest, kClamp, kModulate>, 3, 64, "the software path; edges"},
    {"texture_linear_clamp", Texture<kLinear, kLinear, kClamp, kModulate>, 14, 64,
     "the software path; the border colour at the edges"},
};
const Scene kMipmapScenes[] = {
    {"texture_mipmap_nearest_nearest", Texture<kNearestMipmapNearest, kNearest, kRepeat, kModulate>, 7, 64,
     "as texture_nearest_modulate", kMipmaps},
    {"texture_mipmap_nearest_linear", Texture<kNearestMipmapLinear, kNearest, kRepeat, kModulate>, 7, 64,
     "as texture_nearest_modulate", kMipmaps},
    {"texture_mipmap_linear_nearest", Texture<kLinearMipmapNearest, kLinear, kRepeat, kModulate>, 48, 64,
     "the level once a triangle", kMipmaps},
};
// The two-level linear filter: the board's program at 24 bits a pixel and
// more; below, where the board has no program for it, the software path.
const Scene kMipmapScenes32[] = {
    {"texture_mipmap_linear_linear", Texture<kLinearMipmapLinear, kLinear, kRepeat, kModulate>, 48, 64,
     "the level once a triangle; below 24 bits the software path", kMipmaps},
};

class PictureTest : public PictureFixture {};

TEST_P(PictureTest, MatchesTheReference) {
    MatchesReference("", [this](const Calls& calls) { Send(calls); });
}

// Every table on every machine.
#define VNX_PICTURES_ON_MACHINES(Family, table)                                                                \
    INSTANTIATE_TEST_SUITE_P(Family, PictureTest,                                                            \
                             ::testing::Combine(::testing::ValuesIn(table), ::testing::ValuesIn(kPictureMachines)), \
                             RowName)
VNX_PICTURES_ON_MACHINES(Scenes, kScenes);
VNX_PICTURES_ON_MACHINES(Stages, kStageScenes);
VNX_PICTURES_ON_MACHINES(Stages32, kStageScenes32);
VNX_PICTURES_ON_MACHINES(Textures, kTextureScenes);
VNX_PICTURES_ON_MACHINES(Clamped, kClampScenes);
VNX_PICTURES_ON_MACHINES(Mipmaps, kMipmapScenes);
VNX_PICTURES_ON_MACHINES(Mipmaps32, kMipmapScenes32);
VNX_PICTURES_ON_MACHINES(AlphaBuffer, kAlphaBufferScenes);

// A machine whose window buffers fill every page slot beside the screen
// (the split board of 1024 x 768 screens on pages of 256 x 256 at 32 bits,
// above): the server's 128 x 128 scratch pixmap and its temporary surface
// find no slot. The programs that never read them draw on the board; a
// program that would (a spill into the shared scratch pixmap, the two-level
// linear filter's) is refused and its primitives draw through the software
// paths. Every scene of the tables above that needs no stencil or alpha
// buffer, against the same reference.
// The rows of the tables that need one of the buffers (bNeeds) or none.
template <std::size_t... N>
std::vector<Scene> Rows(bool bNeeds, unsigned buffers, const Scene (&... tables)[N]) {
    std::vector<Scene> rows;
    for (const auto& table : {std::vector<Scene>(std::begin(tables), std::end(tables))...})
        for (const Scene& scene : table)
            if (((scene.buffers & buffers) != 0) == bNeeds) rows.push_back(scene);
    return rows;
}
INSTANTIATE_TEST_SUITE_P(Tight, PictureTest,
                         ::testing::Combine(::testing::ValuesIn(Rows(false, kStencilBuffer | kAlphaBuffer, kScenes,
                                                                     kStageScenes, kStageScenes32, kTextureScenes,
                                                                     kClampScenes, kMipmapScenes, kMipmapScenes32)),
                                            ::testing::Values(kTightSplit32)),
                         RowName);
// There the window's stencil and alpha buffers find no slot either and are
// made in host memory, which holds the window's rows from its own corner:
// the window (away from the screen's corner, across the split of the two
// screens) keeps its stencil and alpha values through the software paths.
// Rows of the tables that need a stencil or alpha buffer. The stencil
// operations under the depth test compare in software against the board's
// depth read back a row at a time, on both screens of the split board.
INSTANTIATE_TEST_SUITE_P(TightHostBuffers, PictureTest,
                         ::testing::Combine(::testing::ValuesIn(Rows(true, kStencilBuffer | kAlphaBuffer,
                                                                     kStageScenes, kStageScenes32,
                                                                     kAlphaBufferScenes)),
                                            ::testing::Values(kTightSplit32)),
                         RowName);

}  // namespace

namespace {

// The raster position as glGet answers it, on the same machine the pictures
// draw on: window coordinates as GL 1.0 defines them (x_w = (x_ndc + 1) w / 2
// + x_vp, y likewise upward from the window's bottom, z_w = (z_ndc + 1) / 2,
// no rounding), the clip w, the distance, colour and texture coordinates,
// and the position glBitmap moves on.
class RasterPositionTest : public PictureTest {
  protected:
    std::vector<float> Floats(std::uint32_t pname) {
        std::vector<BYTE> data;
        const glx::Reply r = RunSingle(glx::Single("GetFloatv", {pname}), &data);
        if (r.type != 1 || r.size > 16) return {};
        std::vector<float> v(r.size);
        if (r.length == 0 && r.size == 1)
            std::memcpy(v.data(), &r.word16, 4);
        else if (data.size() >= r.size * 4u)
            std::memcpy(v.data(), data.data(), r.size * 4u);
        return v;
    }
};

enum : std::uint32_t {
    kRasterColour = 0x0B04, kRasterTexCoords = 0x0B06, kRasterPosition = 0x0B07, kRasterValid = 0x0B08,
    kRasterDistance = 0x0B09,
};

struct RasterCase {
    const char* what;
    Calls calls;
    bool valid;
    float x, y, z, w;  // GL window coordinates and clip w
    float eyeX, eyeY, eyeZ;
};

TEST_F(RasterPositionTest, GetAnswersTheWindowCoordinates) {
    BootRoomy(glmachines::kSolo32);
    ASSERT_TRUE(OpenWindow()) << vnx::debug::take();
    const float W = kWidth, H = kHeight;
    auto pos2 = [](float x, float y) { return C("RasterPos2fv", {glx::F(x), glx::F(y)}); };
    const std::vector<RasterCase> cases = {
        {"2f on whole pixels", {pos2(20, 30)}, true, 20, 30, 0.5f, 1, 20, 30, 0},
        {"2f between pixels", {pos2(20.5f, 30.25f)}, true, 20.5f, 30.25f, 0.5f, 1, 20.5f, 30.25f, 0},
        {"3f with depth", {C("RasterPos3fv", {glx::F(100), glx::F(0), glx::F(0.5f)})}, true, 100, 0, 0.75f, 1, 100,
         0, 0.5f},
        {"the window's top row", {pos2(7, H - 1)}, true, 7, H - 1, 0.5f, 1, 7, H - 1, 0},
        {"4f with w 2", {C("RasterPos4fv", {glx::F(40), glx::F(60), glx::F(0), glx::F(2)})}, true, 20, 30, 0.5f, 2,
         40, 60, 0},
        {"a viewport inside the window",
         {C("Viewport", {10, 20, 128, 96}), pos2(64, 48)},
         true, 10 + 64 * 128 / W, 20 + 48 * 96 / H, 0.5f, 1, 64, 48, 0},
        {"a translated model view",
         {C("Translatef", {glx::F(5), glx::F(-3), glx::F(-0.25f)}), pos2(50, 70)},
         true, 55, 67, 0.375f, 1, 55, 67, -0.25f},
        {"left of the clip volume", {pos2(-5, 30)}, false, 0, 0, 0, 0, 0, 0, 0},
        {"above the clip volume", {pos2(20, H + 3)}, false, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const RasterCase& rc : cases) {
        SCOPED_TRACE(rc.what);
        Calls calls = With(Start(), {C("Color4fv", {glx::F(1), glx::F(0.5f), glx::F(0.25f), glx::F(0.75f)}),
                                     C("TexCoord4fv", {glx::F(0.1f), glx::F(0.2f), glx::F(0.3f), glx::F(1)})});
        calls = With(calls, rc.calls);
        Send(calls);
        const std::vector<float> valid = Floats(kRasterValid);
        ASSERT_EQ(valid.size(), 1u);
        EXPECT_EQ(valid[0], rc.valid ? 1.0f : 0.0f);
        if (!rc.valid) continue;
        const std::vector<float> p = Floats(kRasterPosition);
        ASSERT_EQ(p.size(), 4u);
        EXPECT_NEAR(p[0], rc.x, 1e-3f);
        EXPECT_NEAR(p[1], rc.y, 1e-3f);
        EXPECT_NEAR(p[2], rc.z, 1e-5f);
        EXPECT_FLOAT_EQ(p[3], rc.w);
        // The distance to the eye, or its approximation |z_e|.
        const std::vector<float> d = Floats(kRasterDistance);
        ASSERT_EQ(d.size(), 1u);
        const float exact = std::sqrt(rc.eyeX * rc.eyeX + rc.eyeY * rc.eyeY + rc.eyeZ * rc.eyeZ);
        EXPECT_TRUE(std::fabs(d[0] - exact) < 1e-3f || std::fabs(d[0] - std::fabs(rc.eyeZ)) < 1e-5f) << d[0];
        EXPECT_EQ(Floats(kRasterColour), (std::vector<float>{1, 0.5f, 0.25f, 0.75f}));
        EXPECT_EQ(Floats(kRasterTexCoords), (std::vector<float>{0.1f, 0.2f, 0.3f, 1}));
    }
}

TEST_F(RasterPositionTest, BitmapsMoveThePosition) {
    BootRoomy(glmachines::kSolo32);
    ASSERT_TRUE(OpenWindow()) << vnx::debug::take();
    // The direct path (zoom 1) and the general path (zoom 2) alike.
    for (float zoom : {1.0f, 2.0f}) {
        SCOPED_TRACE(zoom);
        Calls calls = With(Start(), {C("PixelZoom", {glx::F(zoom), glx::F(zoom)}),
                                     C("RasterPos2fv", {glx::F(20.5f), glx::F(30.25f)})});
        calls.push_back(Bitmap(16, 24, 0, 0, 21, 7, Letter()));
        calls.push_back(Bitmap(16, 24, 2, 1, 17.5f, -9, Letter()));
        Send(calls);
        const std::vector<float> p = Floats(kRasterPosition);
        ASSERT_EQ(p.size(), 4u);
        EXPECT_NEAR(p[0], 20.5f + 21 + 17.5f, 1e-3f);
        EXPECT_NEAR(p[1], 30.25f + 7 - 9, 1e-3f);
        EXPECT_NEAR(p[2], 0.5f, 1e-5f);
        EXPECT_FLOAT_EQ(p[3], 1.0f);
    }
}

// The raster position's texture coordinates are the current ones (or the
// generated ones) through the texture matrix, (s, t, r, q) as they come
// out, whatever q and the clip w are, and whether texturing is on or not:
// glGet answers what OSMesa answers.
constexpr std::uint32_t kTextureMatrix = 0x1702;
enum class Texturing { kOn, kOff, kImageOnly, kEnableOnly };
Calls TexturedRasterPos(const Calls& tail, Texturing texturing = Texturing::kOn) {
    // The rows share one context: each starts with texturing and generation
    // off.
    Calls c = With(Start(), {C("MatrixMode", {kTextureMatrix}), C("LoadIdentity"), C("MatrixMode", {kModelview}),
                             C("Disable", {kTexture2d}), C("Disable", {kTextureGenS}), C("Disable", {kTextureGenT}),
                             C("Disable", {kTextureGenR}), C("Disable", {kTextureGenQ}),
                             Floats("TexParameterfv", {kTexture2d, kMinFilter}, {static_cast<float>(kNearest)}),
                             Floats("TexParameterfv", {kTexture2d, kMagFilter}, {static_cast<float>(kNearest)})});
    if (texturing == Texturing::kOn || texturing == Texturing::kImageOnly) c.push_back(TexImage(16, 0));
    if (texturing == Texturing::kOn || texturing == Texturing::kEnableOnly) c.push_back(C("Enable", {kTexture2d}));
    c.push_back(C("TexCoord4fv", {glx::F(0.2f), glx::F(0.4f), glx::F(0.6f), glx::F(2)}));
    return With(c, tail);
}
// s' = s/2 + q/4, t' = t + r/2, r' = r, q' = s/2 + q (columns first).
Call ProjectiveTextureMatrix() {
    return Floats("LoadMatrixf", {}, {0.5f, 0, 0, 0.5f, 0, 1, 0, 0, 0, 0.5f, 1, 0, 0.25f, 0, 0, 1});
}

TEST_F(RasterPositionTest, TexturedPositionKeepsTheTransformedCoordinates) {
    BootRoomy(glmachines::kSolo32);
    ASSERT_TRUE(OpenWindow()) << vnx::debug::take();
    const Call textureMatrix[] = {C("MatrixMode", {kTextureMatrix}), ProjectiveTextureMatrix(), C("MatrixMode", {kModelview})};
    const Call perspective[] = {C("MatrixMode", {kProjection}), C("LoadIdentity"),
                                Double("Frustum", {-1, 1, -0.75, 0.75, 1, 30}), C("MatrixMode", {kModelview})};
    // Generation of s and t from the object position and of q from the eye
    // position (the eye plane given under a scaled and translated model
    // view), r kept.
    const Call generation[] = {
        ::Floats("LoadMatrixf", {}, {1.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 1, 0, 3, -2, -0.5f, 1}),
        ::Floats("TexGenfv", {kS, kTextureGenMode}, {static_cast<float>(kObjectLinear)}),
        ::Floats("TexGenfv", {kS, kObjectPlane}, {0.01f, 0.02f, 0.5f, 0.25f}),
        ::Floats("TexGenfv", {kT, kTextureGenMode}, {static_cast<float>(kObjectLinear)}),
        ::Floats("TexGenfv", {kT, kObjectPlane}, {-0.02f, 0.01f, 0, 1}),
        ::Floats("TexGenfv", {kQ, kTextureGenMode}, {static_cast<float>(kEyeLinear)}),
        ::Floats("TexGenfv", {kQ, kEyePlane}, {0.01f, 0, 0.5f, 1.5f}),
        C("Enable", {kTextureGenS}), C("Enable", {kTextureGenT}), C("Enable", {kTextureGenQ}),
    };
    const Calls textureMatrixTail =
        With(Calls(std::begin(textureMatrix), std::end(textureMatrix)), {C("RasterPos2fv", {glx::F(20), glx::F(30)})});
    const Calls bothTail = With(With(Calls(std::begin(perspective), std::end(perspective)),
                                     Calls(std::begin(textureMatrix), std::end(textureMatrix))),
                                {C("RasterPos3fv", {glx::F(0.1f), glx::F(0.2f), glx::F(-2)})});
    const Calls generatedTail = With(Calls(std::begin(generation), std::end(generation)), textureMatrixTail);
    // Sphere mapping of s and t from the current normal and the eye position.
    const Calls sphereTail = With(
        {::Floats("TexGenfv", {kS, kTextureGenMode}, {static_cast<float>(kSphereMap)}),
         ::Floats("TexGenfv", {kT, kTextureGenMode}, {static_cast<float>(kSphereMap)}),
         C("Normal3fv", {glx::F(0.3f), glx::F(-0.4f), glx::F(0.866f)}), C("Enable", {kTextureGenS}),
         C("Enable", {kTextureGenT})},
        textureMatrixTail);
    const struct {
        const char* what;
        Texturing texturing;
        Calls tail;
    } cases[] = {
        // Texturing off (or on without an image) changes nothing of what
        // follows; these rows come first, while the context has no image.
        {"texturing on without an image, a projective texture matrix", Texturing::kEnableOnly, textureMatrixTail},
        {"texturing off, q 2", Texturing::kOff, {C("RasterPos2fv", {glx::F(20), glx::F(30)})}},
        {"texturing off, a projective texture matrix", Texturing::kOff, textureMatrixTail},
        {"texturing off, both", Texturing::kOff, bothTail},
        {"texturing off, generated coordinates", Texturing::kOff, generatedTail},
        {"an image but texturing off, generated coordinates", Texturing::kImageOnly, generatedTail},
        {"texturing off, sphere-mapped coordinates", Texturing::kOff, sphereTail},
        {"q 2", Texturing::kOn, {C("RasterPos2fv", {glx::F(20), glx::F(30)})}},
        {"a projective texture matrix", Texturing::kOn, textureMatrixTail},
        {"a perspective projection, clip w 2", Texturing::kOn,
         With(Calls(std::begin(perspective), std::end(perspective)),
              {C("RasterPos3fv", {glx::F(0.1f), glx::F(0.2f), glx::F(-2)})})},
        {"both", Texturing::kOn, bothTail},
        {"generated coordinates", Texturing::kOn, generatedTail},
        {"sphere-mapped coordinates", Texturing::kOn, sphereTail},
    };
    for (const auto& rc : cases) {
        SCOPED_TRACE(rc.what);
        const Calls calls = TexturedRasterPos(rc.tail, rc.texturing);
        std::string error;
        const std::vector<float> want = ReferenceFloats(calls, kWidth, kHeight, kRasterTexCoords, 4, &error);
        if (want.empty()) GTEST_SKIP() << error;
        const std::vector<float> wantPos = ReferenceFloats(calls, kWidth, kHeight, kRasterPosition, 4, &error);
        ASSERT_EQ(wantPos.size(), 4u) << error;
        Send(calls);
        ASSERT_EQ(Floats(kRasterValid), std::vector<float>{1});
        const std::vector<float> got = Floats(kRasterTexCoords);
        ASSERT_EQ(got.size(), 4u);
        const std::vector<float> pos = Floats(kRasterPosition);
        ASSERT_EQ(pos.size(), 4u);
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(got[i], want[i], 1e-5f) << "coordinate " << i;
            EXPECT_NEAR(pos[i], wantPos[i], 1e-3f) << "position word " << i;
        }
    }
}

}  // namespace

namespace {

// Projective texture coordinates (glTexCoord4 with q other than 1): GL
// textures with (s/q, t/q), s, t and q interpolated perspective-correctly.
// Orthographic: a quad whose right-hand corners carry q = 2 (the texture
// narrows towards them, along the screen no longer linearly) and one with
// q = 2 at every corner (half the repeats); then the same under a
// perspective projection, a floor whose far corners carry q = 2.
Calls Projective(bool bPerspective) {
    Calls c = With(With(Start(), TextureParameters(kNearest, kNearest, kRepeat, kModulate)),
                   {C("ShadeModel", {kSmooth}), TexImage(16, 0), C("Enable", {kTexture2d})});
    // (s, t) as the texture shows them; the call carries (s q, t q, 0, q).
    auto vertex = [&c](float s, float t, float q, float x, float y, float z) {
        c.push_back(Colour(1, 1, 1));
        c.push_back(C("TexCoord4fv", {glx::F(s * q), glx::F(t * q), glx::F(0), glx::F(q)}));
        c.push_back(Vertex(x, y, z));
    };
    const float d = 1.0f / 256;
    if (!bPerspective) {
        c.push_back(C("Begin", {kQuads}));
        vertex(d, d, 1, 10, 20, 0);
        vertex(2 + d, d, 2, 170, 20, 0);
        vertex(2 + d, 2 + d, 2, 170, 180, 0);
        vertex(d, 2 + d, 1, 10, 180, 0);
        vertex(d, d, 2, 180, 40, 0);
        vertex(1.5f + d, d, 2, 244, 40, 0);
        vertex(1.5f + d, 1.5f + d, 2, 244, 136, 0);
        vertex(d, 1.5f + d, 2, 180, 136, 0);
        c.push_back(C("End"));
        return c;
    }
    c = With(c, {C("MatrixMode", {kProjection}), C("LoadIdentity"), Double("Frustum", {-1, 1, -0.75, 0.75, 1, 30}),
                 C("MatrixMode", {kModelview}), C("LoadIdentity")});
    c.push_back(C("Begin", {kQuads}));
    vertex(d, d, 1, -1.2f, -1, -1.5f);
    vertex(1.5f + d, d, 1, 1.2f, -1, -1.5f);
    vertex(1.5f + d, 1.5f + d, 2, 1.8f, -1, -3.5f);
    vertex(d, 1.5f + d, 2, -1.8f, -1, -3.5f);
    c.push_back(C("End"));
    return c;
}

// Tolerances: levels as texture_nearest_modulate. The board draws the
// coordinates linearly inside the pieces it cuts a triangle into (finer
// where q changes faster), GL exactly: texel edges, here no longer on
// straight lines kept off the pixel centres, move by up to a pixel (a
// column of pixels along each of some 20 edges in the quad); q ignored
// would move whole texels, thousands of pixels.
const Scene kProjectiveScenes[] = {
    {"texture_projective_ortho", [] { return Projective(false); }, 7, 2600, "texel edges within a pixel"},
    {"texture_projective_perspective", [] { return Projective(true); }, 7, 700, "texel edges within a pixel"},
};

INSTANTIATE_TEST_SUITE_P(Projective, PictureTest,
                         ::testing::Combine(::testing::ValuesIn(kProjectiveScenes), ::testing::ValuesIn(kPictureMachines)),
                         RowName);

}  // namespace
