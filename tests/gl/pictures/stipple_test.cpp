// GL pictures of polygon stipple: filled polygons drawn with a 32 x 32
// stipple on, against OSMesa, on 1, 2 and 4 rasterizers at 16 and 32 bits
// a pixel. The window's origin is not a multiple of 32 in x (100) nor is
// its bottom edge in y, so the pattern's alignment to the window shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "lgi/3d/pipes/pipes.h"
#include "pictures_fixture.h"

namespace {

using namespace pictures;

constexpr std::uint32_t kPolygonStipple = 0x0B42;

// A pattern that no flip or shift maps onto itself: row r, byte b holds
// bits that move by row and by byte, with the first row and the first
// column told apart from the others.
std::vector<std::uint8_t> Pattern() {
    std::vector<std::uint8_t> bytes(128);
    for (int r = 0; r < 32; ++r)
        for (int b = 0; b < 4; ++b)
            bytes[4 * r + b] = static_cast<std::uint8_t>((0xC5u >> (r % 5)) ^ (0x3Au << (b + r % 3)) ^ (r == 0 ? 0xF0 : 0));
    bytes[0] = 0x80;  // row 0: only its leftmost column in the first byte
    return bytes;
}

// The scene with the stipple set and enabled before its first primitive.
Calls Stippled(Calls scene) {
    Calls style{Call{"PolygonStipple", {}, Pattern()}, C("Enable", {kPolygonStipple})};
    const auto at = std::find_if(scene.begin(), scene.end(), [](const Call& c) { return c.request == "Begin"; });
    scene.insert(at, style.begin(), style.end());
    return scene;
}

// Textured primitives under the stipple: a 16 x 16 RGB image (a ramp in
// red and blue under a checker of 4-texel squares in green), repeated or
// clamped, under the row's environment (the environment colour is
// (0.9, 0.3, 0.6)). A magnified axis-aligned quad (its
// coordinates do not depend on the diagonal it is cut along) and a
// minified triangle; coordinates start a little past a texel edge so that
// no pixel centre falls on one.
enum : std::uint32_t {
    kTexture2d = 0x0DE1, kMagFilter = 0x2800, kMinFilter, kWrapS, kWrapT, kNearest = 0x2600, kLinear = 0x2601,
    kClamp = 0x2900, kRepeat = 0x2901, kTextureEnv = 0x2300, kTextureEnvMode = 0x2200, kTextureEnvColour,
    kModulate = 0x2100, kDecal = 0x2101, kBlendEnv = 0x0BE2,
};
Call Parameter(const char* request, std::uint32_t target, std::uint32_t pname, std::uint32_t value) {
    return C(request, {target, pname, glx::F(static_cast<float>(value))});
}
std::vector<std::uint8_t> TextureImage() {
    std::vector<std::uint8_t> img(16 * 16 * 3);
    for (std::uint32_t y = 0; y < 16; ++y)
        for (std::uint32_t x = 0; x < 16; ++x) {
            std::uint8_t* p = &img[(y * 16 + x) * 3];
            p[0] = static_cast<std::uint8_t>(x * 16);
            p[1] = static_cast<std::uint8_t>((x / 4 + y / 4) % 2 == 1 ? 40 : 220);
            p[2] = static_cast<std::uint8_t>(255 - y * 16);
        }
    return img;
}
template <std::uint32_t Filter, std::uint32_t Wrap = kRepeat, std::uint32_t Env = kModulate>
Calls Textured() {
    Calls c = With(Start(), {Parameter("TexParameterfv", kTexture2d, kMinFilter, Filter),
                             Parameter("TexParameterfv", kTexture2d, kMagFilter, Filter),
                             Parameter("TexParameterfv", kTexture2d, kWrapS, Wrap),
                             Parameter("TexParameterfv", kTexture2d, kWrapT, Wrap),
                             Parameter("TexEnvfv", kTextureEnv, kTextureEnvMode, Env),
                             C("TexEnvfv",
                               {kTextureEnv, kTextureEnvColour, glx::F(0.9f), glx::F(0.3f), glx::F(0.6f), glx::F(1)}),
                             Call{"TexImage2D", {kTexture2d, 0, 3, 16, 16, 0, kRgb, kUnsignedByte}, TextureImage()},
                             C("Enable", {kTexture2d}), C("ShadeModel", {kSmooth})});
    auto vertex = [&c](float s, float t, float x, float y, float r, float g, float b) {
        c.push_back(Colour(r, g, b));
        c.push_back(C("TexCoord2fv", {glx::F(s), glx::F(t)}));
        c.push_back(Vertex(x, y));
    };
    // Magnified: 1.5 repeats over 150 x 150 pixels.
    float d = 1.0f / 256;
    c.push_back(C("Begin", {kQuads}));
    vertex(-0.25f + d, -0.25f + d, 10, 20, 1, 0.8f, 0.6f);
    vertex(1.25f + d, -0.25f + d, 160, 20, 1, 0.8f, 0.6f);
    vertex(1.25f + d, 1.25f + d, 160, 170, 1, 0.8f, 0.6f);
    vertex(-0.25f + d, 1.25f + d, 10, 170, 1, 0.8f, 0.6f);
    c.push_back(C("End"));
    // Minified and sheared: two and three repeats along its legs, its
    // colours interpolated.
    d = 1.0f / 128;
    c.push_back(C("Begin", {kTriangles}));
    vertex(d, d, 175, 15, 1, 1, 1);
    vertex(2 + d, d, 250, 45, 0.5f, 1, 0.8f);
    vertex(d, 3 + d, 195, 180, 0.9f, 0.6f, 1);
    c.push_back(C("End"));
    return c;
}

// A floor under a perspective projection, 1.5 to 6 units in front of the
// eye, the texture a half unit a repeat: the board's perspective-correct
// textured program under the stipple.
template <std::uint32_t Filter>
Calls Floor() {
    Calls c = With(Start(), {Parameter("TexParameterfv", kTexture2d, kMinFilter, Filter),
                             Parameter("TexParameterfv", kTexture2d, kMagFilter, Filter),
                             Parameter("TexEnvfv", kTextureEnv, kTextureEnvMode, kModulate),
                             Call{"TexImage2D", {kTexture2d, 0, 3, 16, 16, 0, kRgb, kUnsignedByte}, TextureImage()},
                             C("Enable", {kTexture2d}), C("ShadeModel", {kSmooth})});
    return With(c, PerspectiveFloor());
}

// Coverage and colours as the unstippled scenes'; the stipple removes
// whole pixels, exactly as GL's does. Smooth colours are drawn on
// triangles, strips and fans only: inside a smooth quad they depend on the
// diagonal it is cut along, which GL leaves open (the stippled reference
// cuts it along the other one).
const Scene kScenes[] = {
    {"stippled_flat_triangles", [] { return Stippled(Triangles(kFlat)); }, 0, 0, "flat colour; the stipple is exact"},
    {"stippled_smooth_triangles", [] { return Stippled(Triangles(kSmooth)); }, 3, 0, "interpolated colours"},
    {"stippled_flat_quads", [] { return Stippled(Quads(kFlat)); }, 0, 0, "flat colour; the stipple is exact"},
    {"stippled_smooth_strip_and_fan", [] { return Stippled(StripAndFan(kSmooth)); }, 3, 0, "interpolated colours"},
    {"stippled_flat_polygon", [] { return Stippled(Polygon(kFlat)); }, 0, 0, "flat colour; the stipple is exact"},
    {"stippled_texture_nearest_modulate", [] { return Stippled(Textured<kNearest>()); }, 7, 16,
     "a 5-bit texel at 16 bits; edge pixels"},
    {"stippled_texture_linear_modulate", [] { return Stippled(Textured<kLinear>()); }, 14, 16,
     "filter weights in 1/16; edge pixels"},
    {"stippled_texture_nearest_decal", [] { return Stippled(Textured<kNearest, kRepeat, kDecal>()); }, 7, 16,
     "texels replace the colour; edge pixels"},
    {"stippled_texture_linear_blend", [] { return Stippled(Textured<kLinear, kRepeat, kBlendEnv>()); }, 14, 16,
     "the environment colour; filter weights in 1/16; edge pixels"},
    {"stippled_texture_linear_clamp", [] { return Stippled(Textured<kLinear, kClamp>()); }, 14, 16,
     "clamped: the software path on every machine; edge pixels"},
    {"stippled_texture_linear_modulate_floor", [] { return Stippled(Floor<kLinear>()); }, 14, 600,
     "in perspective: texel edges up to 2 pixels from the reference's; the far rows, several texels a pixel"},
};

// Every machine, and a Quad on pages twice as wide: split boards (at 32
// bits on pages twice as wide, as the pictures of every fill) and wide
// pages on one board place the scratch pixmap and its tile elsewhere in
// board memory.
const Machine kQuad32Wide{"quad32wide", {4, 1, 64, 640, 480, 32}};

class StipplePictureTest : public PictureFixture {
  protected:
    // The switch is process-wide: no later test may inherit it.
    void TearDown() override {
        gNForceSoftwarePaths = 0;
        PictureFixture::TearDown();
    }
};

// The server's own choice of path.
TEST_P(StipplePictureTest, MatchesTheReference) {
    MatchesReference("stipple-", [this](const Calls& calls) { Send(calls); });
}

// Every primitive through the software stages (the span rasteriser and the
// polygon stipple span stage).
TEST_P(StipplePictureTest, MatchesTheReferenceInSoftware) {
    MatchesReference("stipple-sw-", [this](const Calls& calls) {
        gNForceSoftwarePaths = 1;
        Send(calls);
        gNForceSoftwarePaths = 0;
    });
}

INSTANTIATE_TEST_SUITE_P(Stipple, StipplePictureTest,
                         ::testing::Combine(::testing::ValuesIn(kScenes), ::testing::ValuesIn(kPictureMachines)),
                         RowName);
INSTANTIATE_TEST_SUITE_P(StippleWidePages, StipplePictureTest,
                         ::testing::Combine(::testing::ValuesIn(kScenes), ::testing::Values(kQuad32Wide)), RowName);

}  // namespace
