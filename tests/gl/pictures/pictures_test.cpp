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

// A row of the machine table: rasterizers, display depth, and the levels a
// channel may differ on top of the scene's tolerance because of the depth.
// 32 bits: 8 bits a channel as OSMesa's, nothing added. 16 bits (5-5-5, the
// only 16-bit format the boards offer): the colour leaves the conversion
// with 7 bits a channel (127 full), the pixel keeps the top 5 and reads back
// widened to 8, up to 7 levels from the 8-bit reference.
const Machine kMachines[] = {{1, 32, 0}, {2, 32, 0}, {4, 32, 0}, {1, 16, 7}, {2, 16, 7}, {4, 16, 7}};

class PictureTest : public PictureFixture {};

TEST_P(PictureTest, MatchesTheReference) {
    MatchesReference("", [this](const Calls& calls) { Send(calls); });
}

INSTANTIATE_TEST_SUITE_P(Scenes, PictureTest, ::testing::Combine(::testing::ValuesIn(kScenes), ::testing::ValuesIn(kMachines)),
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
    BootRoomy(1, 32);
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
    BootRoomy(1, 32);
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

}  // namespace
