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

#include <cstdint>
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
