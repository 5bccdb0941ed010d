// GL pictures of points, polygons drawn as points and outlines, and
// antialiased lines: each scene sent through the server to the board model
// and compared with OSMesa, on 1, 2 and 4 rasterizers at 32 and 16 bits a
// pixel (the machine table of the other picture tests).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "pictures_fixture.h"

namespace {

using namespace pictures;

// GL 1.0 tokens of these scenes (the published values).
enum : std::uint32_t {
    kPoint = 0x1B00, kLine = 0x1B01, kFill = 0x1B02,
    kFront = 0x0404, kBack = 0x0405, kFrontAndBack = 0x0408,
    kCullFace = 0x0B44, kLineSmooth = 0x0B20, kBlend = 0x0BE2,
    kOne = 1, kSrcAlpha = 0x0302, kOneMinusSrcAlpha = 0x0303,
};

Call PointSize(float s) { return C("PointSize", {glx::F(s)}); }
Call PolygonMode(std::uint32_t face, std::uint32_t mode) { return C("PolygonMode", {face, mode}); }
Call EdgeFlag(bool on) { return C("EdgeFlagv", {on ? 1u : 0u}); }

// Points of sizes 1 to 10, a column each, at positions whose fractions
// run over the pixel (on a corner, a quarter in, its centre, three
// quarters in): GL snaps an odd size to the pixel centre and an even one
// to the nearest corner.
Calls PointSizes() {
    Calls c = Start();
    const float fractions[] = {0.5f, 0.0f, 0.25f, 0.75f, 0.9f};
    for (int s = 1; s <= 10; ++s) {
        c.push_back(PointSize(static_cast<float>(s)));
        c.push_back(C("Begin", {kPoints}));
        for (int i = 0; i < 5; ++i) {
            const float f = fractions[i];
            c.push_back(Colour(s & 1 ? 1.0f : 0.3f, 0.1f * s, i * 0.25f));
            c.push_back(Vertex(12.0f + 24.0f * (s - 1) + f, 14.0f + 36.0f * i + fractions[(i + 2) % 5]));
        }
        c.push_back(C("End"));
    }
    return c;
}

// The calls with every vertex moved by (dx, dy): the outline scenes keep
// their edges off the exact halfway points between two pixel rows, where
// the board's thin-line rule and OSMesa's break the tie differently.
Calls Nudge(Calls calls, float dx, float dy) {
    for (Call& c : calls) {
        if (c.request != "Vertex3fv") continue;
        float v[2];
        std::memcpy(v, c.words.data(), sizeof v);
        c.words[0] = glx::F(v[0] + dx);
        c.words[1] = glx::F(v[1] + dy);
    }
    return calls;
}

// Points under the depth test, in front of and behind a triangle: single
// pixels and squares, with a colour each and with one colour for all (the
// colour in the packet head).
Calls DepthPoints() {
    Calls c = With(Start(), {C("Enable", {kDepthTest}), C("DepthFunc", {kLess})});
    c = With(c, Primitive(kTriangles, {{20, 20, 0, 0.2f, 0.2f, 0.6f}, {240, 40, 0, 0.2f, 0.2f, 0.6f},
                                       {120, 180, 0, 0.2f, 0.2f, 0.6f}}));
    for (float size : {1.0f, 5.0f}) {
        c.push_back(PointSize(size));
        c.push_back(C("Begin", {kPoints}));
        for (int i = 0; i < 12; ++i) {
            const float z = (i % 3 == 0) ? -0.5f : (i % 3 == 1) ? 0.5f : 0.25f;
            c.push_back(Colour(1.0f, i * 0.08f, size > 1 ? 1.0f : 0.0f));
            c.push_back(Vertex(30.25f + 18.0f * i, size > 1 ? 60.5f : 100.75f, z));
        }
        c.push_back(C("End"));
    }
    c.push_back(Colour(0, 1, 0));
    c.push_back(PointSize(3));
    c.push_back(C("Begin", {kPoints}));
    for (int i = 0; i < 12; ++i) c.push_back(Vertex(30.5f + 18.0f * i, 140.5f, i % 2 ? 0.5f : -0.5f));
    c.push_back(C("End"));
    return c;
}

// Front faces counter-clockwise, back faces clockwise: a triangle, a quad
// and a polygon of each winding, smooth colours.
Calls Faces() {
    return With(With(With(Primitive(kTriangles, {{20.5f, 20.5f, 0, 1, 0, 0}, {100.25f, 30.5f, 0, 0, 1, 0},
                                                  {50.5f, 90.75f, 0, 0, 0, 1},
                                                  {130.5f, 20.5f, 0, 1, 1, 0}, {160.5f, 95.5f, 0, 0, 1, 1},
                                                  {230.5f, 40.25f, 0, 1, 0, 1}}),
                          Primitive(kQuads, {{20.5f, 110.5f, 0, 1, 0.5f, 0}, {90.5f, 105.5f, 0, 0, 1, 0.5f},
                                             {95.5f, 170.5f, 0, 0.5f, 0, 1}, {25.5f, 175.5f, 0, 1, 1, 1}})),
                     Primitive(kQuads, {{110.5f, 110.5f, 0, 1, 0, 0}, {115.5f, 175.5f, 0, 0, 1, 0},
                                        {160.5f, 170.5f, 0, 0, 0, 1}, {165.5f, 105.5f, 0, 1, 1, 0}})),
                Primitive(kPolygon, {{180.5f, 120.5f, 0, 1, 0, 0}, {240.5f, 110.5f, 0, 0, 1, 0},
                                     {245.5f, 150.5f, 0, 0, 0, 1}, {215.5f, 185.5f, 0, 1, 1, 0},
                                     {185.5f, 165.5f, 0, 0, 1, 1}}));
}

Calls Modes(std::uint32_t front, std::uint32_t back, float pointSize, bool cull, std::uint32_t shade) {
    Calls c = With(Start(), {C("ShadeModel", {shade}), PolygonMode(kFront, front), PolygonMode(kBack, back),
                             PointSize(pointSize)});
    if (cull) c = With(c, {C("Enable", {kCullFace}), C("CullFace", {kBack})});
    return With(c, Nudge(Faces(), 0.3125f, 0.1875f));
}

// A fan of four triangles and a quad split into two triangles, drawn as
// separate triangles whose interior edges carry a false edge flag.
Calls EdgeFlags(std::uint32_t mode, float pointSize) {
    Calls c = With(Start(), {PolygonMode(kFrontAndBack, mode), PointSize(pointSize), C("Begin", {kTriangles})});
    struct E {
        float x, y;
        bool edge;
    };
    const E tris[][3] = {
        {{30.5f, 30.5f, true}, {120.5f, 40.5f, false}, {70.5f, 100.5f, true}},
        {{120.5f, 40.5f, true}, {130.5f, 120.5f, false}, {70.5f, 100.5f, false}},
        {{150.5f, 20.5f, true}, {240.5f, 20.5f, true}, {240.5f, 110.5f, false}},
        {{150.5f, 20.5f, false}, {240.5f, 110.5f, true}, {150.5f, 110.5f, true}},
        {{40.5f, 130.5f, true}, {200.5f, 140.5f, true}, {60.5f, 180.5f, true}},
    };
    int k = 0;
    for (const auto& t : tris) {
        for (const E& v : t) {
            c.push_back(Colour(k % 3 == 0 ? 1.0f : 0.2f, k % 3 == 1 ? 1.0f : 0.4f, k % 3 == 2 ? 1.0f : 0.1f));
            c.push_back(EdgeFlag(v.edge));
            c.push_back(Vertex(v.x, v.y));
            ++k;
        }
    }
    c.push_back(C("End"));
    c.push_back(EdgeFlag(true));
    return Nudge(c, 0.3125f, 0.1875f);
}

// Polygons in line mode that reach past the window's left and bottom
// edges and past the near and far planes: the clipped polygon's outline
// runs along the clip boundary, as GL draws it.
Calls ClippedOutlines() {
    return With(With(With(Start(), {C("ShadeModel", {kFlat}), PolygonMode(kFrontAndBack, kLine)}),
                     Primitive(kPolygon, {{-40.5f, 30.5f, 0, 1, 1, 0}, {90.5f, -20.5f, 0, 1, 1, 0},
                                          {120.5f, 90.5f, 0, 1, 1, 0}, {30.5f, 120.5f, 0, 1, 1, 0}})),
                Primitive(kTriangles, {{140.5f, 30.5f, -3.0f, 0, 1, 1}, {240.5f, 60.5f, 0.5f, 0, 1, 1},
                                       {160.5f, 170.5f, 2.5f, 0, 1, 1}}));
}

// Antialiased lines of a width, at slopes round the circle (spokes that do
// not meet), blended over a dark grey field so the coverage shows in every
// channel. Colours and field stay low enough that a sum of the additive
// blend never passes the 16-bit display's 7-bit channel (render3d.h,
// Limits: those sums wrap there).
// Without blending (dst 0) GL writes the colour on every pixel the line
// touches at all.
Calls SmoothLines(float width, std::uint32_t dst) {
    Calls c = With(Start(), {C("ClearColor", {glx::F(0.125f), glx::F(0.125f), glx::F(0.125f), glx::F(1)}),
                             C("Clear", {kColorBufferBit}), C("Enable", {kLineSmooth}),
                             C("LineWidth", {glx::F(width)})});
    if (dst != 0) c = With(c, {C("Enable", {kBlend}), C("BlendFunc", {kSrcAlpha, dst})});
    const float cx = 128.0f, cy = 96.0f;
    const float ends[][2] = {{110, 0.3f}, {100, 25.7f}, {80, 60.2f}, {60.4f, 80}, {20.6f, 85},
                             {0.3f, 88}, {-30.2f, 70.6f}, {-75.5f, 45.3f}, {-95, 10.25f}};
    c.push_back(C("Begin", {kLines}));
    int k = 0;
    for (const auto& e : ends) {
        c.push_back(Colour(k % 2 ? 0.75f : 0.6f, k % 3 ? 0.7f : 0.2f, k % 4 ? 0.3f : 0.75f));
        c.push_back(Vertex(cx + 0.35f * e[0], cy + 0.35f * e[1]));
        c.push_back(Vertex(cx + e[0], cy + e[1]));
        c.push_back(Vertex(cx - 0.35f * e[0], cy - 0.35f * e[1]));
        c.push_back(Vertex(cx - e[0] + 0.3f, cy - e[1]));
        ++k;
    }
    c.push_back(C("End"));
    return c;
}

// Antialiased lines whose colours carry alpha below 1, blended over the
// dark field: each pixel's source alpha is the colour's alpha weighed by
// the pixel's coverage, so a line lies over the field at its alpha.
Calls SmoothAlphaLines(float width) {
    Calls c = SmoothLines(width, kOneMinusSrcAlpha);
    int k = 0;
    for (Call& call : c) {
        if (call.request != "Color3fv") continue;
        call.request = "Color4fv";
        call.words.push_back(glx::F(k++ % 2 ? 0.5f : 0.25f));
    }
    return c;
}

// The calls with every colour scaled by k.
Calls Dim(Calls calls, float k) {
    for (Call& c : calls) {
        if (c.request != "Color3fv") continue;
        for (std::uint32_t& w : c.words) {
            float v;
            std::memcpy(&v, &w, sizeof v);
            w = glx::F(v * k);
        }
    }
    return calls;
}

// Outlines of antialiased lines, blended additively over the dark field
// (colours low enough for the 16-bit display's sums, as SmoothLines).
Calls SmoothOutlines() {
    Calls c = With(Start(), {C("ClearColor", {glx::F(0.125f), glx::F(0.125f), glx::F(0.125f), glx::F(1)}),
                             C("Clear", {kColorBufferBit}), C("ShadeModel", {kFlat}),
                             PolygonMode(kFrontAndBack, kLine), C("Enable", {kLineSmooth}), C("Enable", {kBlend}),
                             C("BlendFunc", {kSrcAlpha, kOne})});
    return With(c, Dim(Nudge(Faces(), 0.3125f, 0.1875f), 0.7f));
}

// Antialiased lines: the board counts each pixel's coverage on a 16 x 16
// grid over the exact rectangle, OSMesa weighs its own way; where the
// rectangle's edge crosses a pixel a channel differs by up to a sixteenth
// of its range (16 levels), a few pixels by a level more.
// Without blending every pixel of any coverage takes the whole colour:
// OSMesa's coverage runs out half a pixel beyond the rectangle (about one
// pixel in eight along the lines), the board's at its edge.
constexpr const char* kOpaqueWhy = "pixels OSMesa's coverage barely reaches";
constexpr const char* kSmoothWhy = "coverage weighed differently along the edges";

const Scene kScenes[] = {
    {"point_sizes", PointSizes, 0, 0, "aliased points are whole squares: exact"},
    {"depth_points", DepthPoints, 0, 24, "the triangle's edges"},
    {"front_points_back_lines", [] { return Modes(kPoint, kLine, 1, false, kSmooth); }, 3, 30,
     "outline ends and interpolation along the edges"},
    {"front_lines_back_points", [] { return Modes(kLine, kPoint, 4, false, kFlat); }, 0, 30, "outline ends"},
    {"front_fill_back_lines", [] { return Modes(kFill, kLine, 1, false, kFlat); }, 0, 40, "fill and outline edges"},
    {"front_points_culled", [] { return Modes(kPoint, kLine, 3, true, kFlat); }, 0, 0, "squares: exact"},
    {"edge_flags_lines", [] { return EdgeFlags(kLine, 1); }, 3, 20, "outline ends; smooth colours along the edges"},
    {"edge_flags_points", [] { return EdgeFlags(kPoint, 1); }, 0, 0, "single pixels: exact"},
    {"edge_flags_wide_points", [] { return EdgeFlags(kPoint, 5); }, 0, 0, "squares: exact"},
    {"clipped_outlines", ClippedOutlines, 0, 20, "outline ends"},
    {"smooth_lines_1_add", [] { return SmoothLines(1, kOne); }, 16, 12, kSmoothWhy},
    {"smooth_lines_3_add", [] { return SmoothLines(3, kOne); }, 16, 12, kSmoothWhy},
    {"smooth_lines_1", [] { return SmoothLines(1, kOneMinusSrcAlpha); }, 16, 12, kSmoothWhy},
    {"smooth_lines_3", [] { return SmoothLines(3, kOneMinusSrcAlpha); }, 16, 12, kSmoothWhy},
    {"smooth_outlines", SmoothOutlines, 16, 12, kSmoothWhy},
    {"smooth_alpha_lines_1", [] { return SmoothAlphaLines(1); }, 16, 12, kSmoothWhy},
    {"smooth_alpha_lines_3", [] { return SmoothAlphaLines(3); }, 16, 12, kSmoothWhy},
    {"smooth_lines_1_opaque", [] { return SmoothLines(1, 0); }, 0, 200, kOpaqueWhy},
};

class PointsLinesTest : public PictureFixture {};

TEST_P(PointsLinesTest, MatchesTheReference) {
    MatchesReference("", [this](const Calls& calls) { Send(calls); });
}

// Antialiased lines whose colours carry alpha send the alpha words and the
// coverage's words: the program's header names both, so the board reads
// every segment whole (no stray words taken for commands) and runs every
// packet. (The pictures of such lines are the smooth_alpha_lines rows.)
TEST_F(PointsLinesTest, SmoothLinesWithAlphaReachTheBoardWhole) {
    BootRoomy(glmachines::kQuad32);
    ASSERT_TRUE(OpenWindow()) << vnx::debug::take();
    for (float width : {1.0f, 3.0f}) {
        Calls c = With(Start(), {C("Enable", {kLineSmooth}), C("Enable", {kBlend}),
                                 C("BlendFunc", {kSrcAlpha, kOneMinusSrcAlpha}), C("LineWidth", {glx::F(width)}),
                                 C("Begin", {kLines})});
        for (int i = 0; i < 6; ++i) {
            c.push_back(C("Color4fv", {glx::F(1), glx::F(0.5f), glx::F(0.25f), glx::F(0.5f)}));
            c.push_back(Vertex(20.25f + 30 * i, 20.5f));
            c.push_back(Vertex(40.5f + 30 * i, 170.25f));
        }
        c.push_back(C("End"));
        Send(c);
    }
    std::string errors;
    for (const vnx::board::BoardError& e : board().take_errors()) errors += e.message + "\n";
    EXPECT_EQ(errors, "");
    for (int r = 0; r < 4; ++r) EXPECT_EQ(board().summary(r).unexecuted, 0u) << "rasterizer " << r;
}

INSTANTIATE_TEST_SUITE_P(Scenes, PointsLinesTest,
                         ::testing::Combine(::testing::ValuesIn(kScenes), ::testing::ValuesIn(kPictureMachines)),
                         RowName);

}  // namespace
