// GL pictures through the software paths: the filled-polygon and line
// scenes of the picture tests, sent with the debug switch that draws every
// primitive kind through the software stages (polygon decomposition, span
// rasteriser, line stages, fragment tests, colour write as single-pixel
// packets), compared with OSMesa on 1, 2 and 4 rasterizers. The hardware
// path's pictures are pictures_test.cpp's; these rows keep the two paths
// to the same reference.
//
// A scene whose path through the server still reaches a seam (a part that
// says "not available yet") is skipped, naming the seam.
#include <gtest/gtest.h>

#include <algorithm>

#include "lgi/3d/pipes/pipes.h"
#include "pictures_fixture.h"

namespace {

using namespace pictures;

// A line scene with its width set and, for a repeat above 0, the stipple on
// (set before the scene's primitives).
Calls Styled(Calls scene, float width, std::uint32_t repeat, std::uint32_t pattern) {
    Calls style{C("LineWidth", {glx::F(width)})};
    if (repeat > 0) {
        style.push_back(C("Enable", {kLineStipple}));
        style.push_back(C("LineStipple", {repeat, pattern}));
    }
    const auto at = std::find_if(scene.begin(), scene.end(), [](const Call& c) { return c.request == "Begin"; });
    scene.insert(at, style.begin(), style.end());
    return scene;
}

// Tolerances. Polygons: the span rasteriser samples the triangle at GL's
// pixel centres from the exact 28.4 vertices with the top-left rule, as the
// reference does, so no edge pixel differs; colours are the planes through
// the vertices at the centre, rounded once (halves to even) as the
// reference rounds: a flat colour is exact, an interpolated one may differ
// by the last level where the reference's own interpolation order rounds
// the other way (1 level). Lines: both walk the major axis at pixel
// centres from ends at pixel centres with the same tie rule and stipple
// count: exact, interpolated colours within 1 level. Wide lines of an even
// width: where a sloped segment passes exactly through the centres of a
// column, the reference's fixed-point edges choose the side of the extra
// pixel by their own rounding (the 10 such columns of the shallow line,
// two pixels each, differ).
const Scene kScenes[] = {
    {"flat_triangles", [] { return Triangles(kFlat); }, 0, 0, "flat colour and coverage are exact"},
    {"smooth_triangles", [] { return Triangles(kSmooth); }, 1, 0, "planes at the pixel centres, rounded once"},
    {"flat_quads", [] { return Quads(kFlat); }, 0, 0, "quads split on the diagonal, the shared edge drawn once"},
    {"smooth_quads", [] { return Quads(kSmooth); }, 1, 0, "interpolation over two triangles a quad"},
    {"flat_polygon", [] { return Polygon(kFlat); }, 0, 0, "the first vertex's colour"},
    {"smooth_polygon", [] { return Polygon(kSmooth); }, 1, 0, "fan triangles"},
    {"smooth_strip_and_fan", [] { return StripAndFan(kSmooth); }, 1, 0, "shared strip and fan edges"},
    {"flat_strip_and_fan", [] { return StripAndFan(kFlat); }, 0, 0, "each triangle's last vertex"},
    {"thin_lines", [] { return Lines(1, false, kFlat); }, 0, 0, "ties of the slope-3/4 line as the reference's"},
    {"smooth_thin_lines", [] { return Lines(1, false, kSmooth); }, 1, 0, "interpolation along the major axis"},
    {"wide_lines_2", [] { return Lines(2, false, kFlat); }, 0, 20, "the extra pixel where a line meets centres"},
    {"wide_lines_3", [] { return Lines(3, false, kFlat); }, 0, 0, "one pixel each side of the line's own"},
    {"stippled_lines", [] { return Lines(1, true, kFlat); }, 0, 0, "stipple counted from each line's first pixel"},
    {"line_strip", LineStrip, 1, 0, "shared ends drawn once; colours interpolated along each segment"},
    {"stippled_line_strip", [] { return Styled(LineStrip(), 1, 3, 0x3F07); }, 1, 0,
     "the stipple count runs on across the strip's segments"},
    {"wide_line_strip_3", [] { return Styled(LineStrip(), 3, 0, 0); }, 1, 0, "three pixels a column, smooth"},
    {"wide_stippled_lines_2", [] { return Styled(Lines(1, false, kSmooth), 2, 2, 0x0F33); }, 1, 20,
     "every pixel across a column takes its column's stipple bit; the extra pixel as wide_lines_2"},
    // No span stage tests depth: the colour write's single-pixel program
    // does it on the board (a colour and a depth word a pixel), against the
    // depth words the earlier single-pixel writes stored. Depth is the
    // plane through the vertices' window z at the pixel centre, truncated
    // to 24 bits, then the board's 16-bit word; across the planes' crossing
    // the two depths part by some 380 of the reference's 16-bit levels a
    // pixel, so every pixel of the crossing settles the nearer plane as the
    // reference does (the board's word holds z in steps of two such levels:
    // only a pixel within two levels of the crossing could differ, and none
    // does). Colours as the smooth triangles'.
    {"depth_less", [] { return Depth(kLess); }, 1, 0, "16-bit depth on both; the crossing line of two planes"},
    {"depth_greater", [] { return Depth(kGreater); }, 1, 0, "as depth_less"},
    {"depth_equal", [] { return Depth(kEqual); }, 1, 0, "as depth_less"},
    {"depth_always", [] { return Depth(kAlways); }, 1, 0, "as depth_less"},
    {"depth_notequal", [] { return Depth(kNotequal); }, 1, 0, "as depth_less"},
};

// Polygons drawn in line mode, sent to the server as polygons under
// PolygonMode(GL_FRONT_AND_BACK, GL_LINE) (with edge flags where named) and
// drawn by the reference as the line strips and lines of their edges: GL
// draws a polygon's edges in line mode as line segments, so both pictures
// are the same. Vertices at pixel centres, as the line scenes'. Tolerances
// as the lines', and single pixels: the reference leaves out the first
// pixel of the edge from (90.5, 180.5), and on edges whose slope its fixed
// point does not hold exactly (50/92 here) it settles a tie between two
// pixels of a column by its own rounding (5 to 10 pixels a row).
constexpr std::uint32_t kFrontAndBack = 0x0408, kLineMode = 0x1B01;
const V kOutline[] = {{128.5f, 20.5f, 0, 1, 0, 0}, {220.5f, 70.5f, 0, 0, 1, 0}, {200.5f, 160.5f, 0, 0, 0, 1},
                      {90.5f, 180.5f, 0, 1, 1, 0}, {30.5f, 100.5f, 0, 0, 1, 1}};
Calls Outline(std::initializer_list<V> vs, std::uint32_t mode, std::uint32_t shade) {
    return With(Start(), With({C("ShadeModel", {shade})}, Primitive(mode, vs)));
}
Calls PolygonInLineMode(std::uint32_t mode, std::uint32_t shade, std::initializer_list<V> vs) {
    return With(Start(), With({C("ShadeModel", {shade}), C("PolygonMode", {kFrontAndBack, kLineMode})},
                              Primitive(mode, vs)));
}
const auto& O = kOutline;
// Flat: every edge in the polygon's first vertex's colour.
V Tint(V v) { return V{v.x, v.y, v.z, O[0].r, O[0].g, O[0].b}; }

// Each row's calls are the reference's; SentInLineMode gives the server's.
const Scene kLineModeScenes[] = {
    {"polygon_line_mode_smooth", [] { return Outline({O[0], O[1], O[2], O[3], O[4], O[0]}, kLineStrip, kSmooth); },
     1, 12, "the edges as one closed strip; colours along each edge"},
    {"polygon_line_mode_flat",
     [] { return Outline({Tint(O[0]), Tint(O[1]), Tint(O[2]), Tint(O[3]), Tint(O[4]), Tint(O[0])}, kLineStrip, kFlat); },
     0, 12, "every edge in the first vertex's colour"},
    {"triangles_line_mode_smooth",
     [] {
         return With(Outline({O[0], O[1], O[2], O[0]}, kLineStrip, kSmooth), Primitive(kLineStrip, {O[2], O[3], O[4], O[2]}));
     },
     1, 12, "each triangle's own closed outline"},
    {"polygon_line_mode_wide_3",
     [] { return Styled(Outline({O[0], O[1], O[2], O[3], O[4], O[0]}, kLineStrip, kSmooth), 3, 0, 0); }, 1, 12,
     "the line width applies to the edges"},
    {"polygon_line_mode_stippled",
     [] { return Styled(Outline({O[0], O[1], O[2], O[3], O[4], O[0]}, kLineStrip, kSmooth), 1, 2, 0x0F33); }, 1, 12,
     "the stipple counts on round the outline, the closing edge included"},
    {"polygon_line_mode_edge_flags", [] { return Outline({O[0], O[1], O[1], O[2], O[3], O[4]}, kLines, kSmooth); }, 1, 12,
     "the edges whose first vertex is flagged: 0-1, 1-2, 3-4"},
};
Calls SentInLineMode(const std::string& name) {
    if (name == "polygon_line_mode_smooth") return PolygonInLineMode(kPolygon, kSmooth, {O[0], O[1], O[2], O[3], O[4]});
    if (name == "polygon_line_mode_flat") return PolygonInLineMode(kPolygon, kFlat, {O[0], O[1], O[2], O[3], O[4]});
    if (name == "polygon_line_mode_wide_3")
        return Styled(PolygonInLineMode(kPolygon, kSmooth, {O[0], O[1], O[2], O[3], O[4]}), 3, 0, 0);
    if (name == "polygon_line_mode_stippled")
        return Styled(PolygonInLineMode(kPolygon, kSmooth, {O[0], O[1], O[2], O[3], O[4]}), 1, 2, 0x0F33);
    if (name == "triangles_line_mode_smooth")
        return PolygonInLineMode(kTriangles, kSmooth, {O[0], O[1], O[2], O[2], O[3], O[4]});
    Calls c = With(Start(), {C("ShadeModel", {kSmooth}), C("PolygonMode", {kFrontAndBack, kLineMode}), C("Begin", {kPolygon})});
    const bool flags[] = {true, true, false, true, false};
    for (int i = 0; i < 5; ++i) {
        c.push_back(C("EdgeFlagv", {flags[i] ? 1u : 0u}));
        c.push_back(Colour(O[i].r, O[i].g, O[i].b));
        c.push_back(Vertex(O[i].x, O[i].y, O[i].z));
    }
    c.push_back(C("End"));
    return c;
}

// --- fragment operations drawn by the span stages ---------------------------------
// Blending, logic operations, the alpha test, the stencil test with its
// operations and dither are the span stages' own on this path (the board
// only stores the result, testing depth).
enum : std::uint32_t {
    kAlphaTestCap = 0x0BC0, kBlendCap = 0x0BE2, kLogicOpCap = 0x0BF1, kStencilTestCap = 0x0B90, kDitherCap = 0x0BD0,
    kZero = 0, kOne = 1, kSrcAlpha = 0x0302, kOneMinusSrcAlpha, kDstColor = 0x0306,
    kKeep = 0x1E00, kReplace, kIncr, kDecr, kInvert = 0x150A, kStencilBufferBit = 0x0400,
};

Call Rgba(float r, float g, float b, float a) { return C("Color4fv", {glx::F(r), glx::F(g), glx::F(b), glx::F(a)}); }
struct VA {
    float x, y, r, g, b, a;
};
Calls TrianglesA(std::initializer_list<VA> vs) {
    Calls c{C("Begin", {kTriangles})};
    for (const VA& v : vs) {
        c.push_back(Rgba(v.r, v.g, v.b, v.a));
        c.push_back(Vertex(v.x, v.y, 0));
    }
    c.push_back(C("End"));
    return c;
}
// Two triangles of colour and alpha smooth over the scene of smooth
// triangles, and over the black around it.
Calls OverTriangles() {
    return TrianglesA({{20, 40, 0.9f, 0.1f, 0.8f, 0.2f}, {236, 20, 0.1f, 0.9f, 0.5f, 0.9f},
                       {128, 186, 1, 1, 0.1f, 0.6f}, {0, 150, 0.5f, 0.5f, 1, 1},
                       {240, 150, 0.8f, 0.3f, 0.1f, 0.4f}, {250, 2, 0.2f, 0.7f, 0.3f, 0}});
}
template <std::uint32_t Src, std::uint32_t Dst>
Calls SwBlend() {
    return With(Triangles(kSmooth), With({C("Enable", {kBlendCap}), C("BlendFunc", {Src, Dst})},
                                         OverTriangles()));
}
template <std::uint32_t Op>
Calls SwLogicOp() {
    // Flat colours on both sides: a bitwise operation turns a level's
    // rounding into any difference at all.
    return With(Triangles(kFlat), With({C("ShadeModel", {kFlat}), C("Enable", {kLogicOpCap}), C("LogicOp", {Op})},
                                       OverTriangles()));
}
// Flat bands of alpha 0, 0.25, 0.5, 0.75 and 1 under the alpha function
// against 0.5.
template <std::uint32_t Func>
Calls SwAlphaTest() {
    Calls c = With(Start(), {C("Enable", {kAlphaTestCap}), C("AlphaFunc", {Func, glx::F(0.5f)}), C("ShadeModel", {kFlat})});
    for (int i = 0; i < 5; ++i) {
        const float a = 0.25f * static_cast<float>(i), x = 10.0f + 48.0f * static_cast<float>(i);
        c = With(c, TrianglesA({{x, 20, 1, 0.5f, 0, a}, {x + 40, 20, 0, 0.5f, 1, a}, {x + 20, 170, 0.5f, 1, 0, a}}));
    }
    return c;
}
// Stencil: the marks (1 and 2, the overlap 2), then a quad over the whole
// window draws where the function of the row holds against 1 and applies
// the row's operations.
Calls WholeWindow(float r, float g, float b) {
    return Primitive(kTriangles, {{0, 0, 0, r, g, b}, {256, 0, 0, r, g, b}, {256, 192, 0, r, g, b},
                                  {0, 0, 0, r, g, b}, {256, 192, 0, r, g, b}, {0, 192, 0, r, g, b}});
}
// Each stencil value of interest shown over the whole window in its own
// colour (operations kept).
Calls ShowStencilValues(Calls c) {
    c.push_back(C("StencilOp", {kKeep, kKeep, kKeep}));
    for (std::uint32_t k : {0u, 1u, 2u, 3u, 0xFEu, 0xFFu}) {
        const float v = static_cast<float>(k % 7) / 6.0f;
        c.push_back(C("StencilFunc", {kEqual, k, 0xFF}));
        c = With(c, WholeWindow(v, 1 - v, k > 100 ? 1.0f : 0.0f));
    }
    return c;
}
template <std::uint32_t Func>
Calls SwStencilFunc() {
    return With(StencilMarks(), With({C("StencilFunc", {Func, 1, 0xFF}), C("StencilOp", {kKeep, kKeep, kKeep})},
                              WholeWindow(0.2f, 0.6f, 1)));
}
// Operations on failing and passing fragments (under the mask 0xFE for
// the write where asked), then each stencil value shown in its own colour.
template <std::uint32_t Fail, std::uint32_t Pass, std::uint32_t WriteMask>
Calls SwStencilOps() {
    Calls c = With(StencilMarks(), With({C("StencilMask", {WriteMask}), C("StencilFunc", {kEqual, 1, 0xFF}),
                                  C("StencilOp", {Fail, kKeep, Pass})},
                                 WholeWindow(0, 0, 0.3f)));
    c.push_back(C("StencilMask", {0xFF}));
    return ShowStencilValues(c);
}
// Stencil and depth together: a sloped occluder written into the depth
// buffer (stencil kept), then a flat triangle at depth 0 under the stencil
// function equal to 1 with the row's operations for a failed stencil test,
// a failed depth test and a passed one: the depth result picks the
// operation where the stencil test passed. Each stencil value is then shown
// in its own colour (depth test off).
template <std::uint32_t Fail, std::uint32_t Zfail, std::uint32_t Zpass>
Calls SwStencilDepthOps() {
    Calls c = With(StencilMarks(),
                   With({C("Enable", {kDepthTest}), C("DepthFunc", {kLess}), C("StencilFunc", {kAlways, 0, 0xFF}),
                         C("StencilOp", {kKeep, kKeep, kKeep})},
                        Primitive(kTriangles, {{0, 0, -0.8f, 0.6f, 0.6f, 0}, {256, 0, 0.8f, 0.6f, 0.6f, 0},
                                               {128, 192, 0, 0.6f, 0.6f, 0}})));
    c = With(c, With({C("StencilFunc", {kEqual, 1, 0xFF}), C("StencilOp", {Fail, Zfail, Zpass})},
                     Primitive(kTriangles, {{10, 10, 0, 0, 0.3f, 0.8f}, {250, 40, 0, 0, 0.3f, 0.8f},
                                            {100, 180, 0, 0, 0.3f, 0.8f}})));
    c.push_back(C("Disable", {kDepthTest}));
    return ShowStencilValues(c);
}
// The occluder drawn again under the depth function equal: every fragment
// of it meets the depth it stored, so the depth-pass operation applies
// wherever the stencil test passes (the board's 16-bit depth words keep
// fewer bits than a fragment's depth; the comparison is of what the
// buffer holds).
Calls SwStencilDepthEqual() {
    const std::initializer_list<V> occluder = {{0, 0, -0.8f, 0.6f, 0.6f, 0}, {256, 0, 0.8f, 0.6f, 0.6f, 0},
                                               {128, 192, 0, 0.6f, 0.6f, 0}};
    Calls c = With(StencilMarks(), With({C("Enable", {kDepthTest}), C("DepthFunc", {kLess}),
                                         C("StencilFunc", {kAlways, 0, 0xFF}), C("StencilOp", {kKeep, kKeep, kKeep})},
                                        Primitive(kTriangles, occluder)));
    c = With(c, With({C("DepthFunc", {kEqual}), C("StencilFunc", {kEqual, 1, 0xFF}), C("StencilOp", {kKeep, kIncr, kInvert})},
                     Primitive(kTriangles, occluder)));
    c.push_back(C("Disable", {kDepthTest}));
    c.push_back(C("StencilOp", {kKeep, kKeep, kKeep}));
    for (std::uint32_t k : {0u, 1u, 2u, 0xFEu}) {
        const float v = static_cast<float>(k % 7) / 6.0f;
        c.push_back(C("StencilFunc", {kEqual, k, 0xFF}));
        c = With(c, WholeWindow(v, 1 - v, k > 100 ? 1.0f : 0.0f));
    }
    return c;
}
Calls SwDither() { return With({C("Enable", {kDitherCap})}, Triangles(kSmooth)); }

// Tolerances: as the polygons' (the span rasteriser covers exactly the
// reference's pixels); blended colours within the smooth planes' level and
// one rounding of each product (3 levels); bitwise results of flat colours
// exact; alpha-tested flat bands exact.
const Scene kFragmentScenes[] = {
    {"blend_src_alpha_one_minus_src_alpha", SwBlend<kSrcAlpha, kOneMinusSrcAlpha>, 3, 0, "products rounded once"},
    {"blend_one_minus_src_alpha_src_alpha", SwBlend<kOneMinusSrcAlpha, kSrcAlpha>, 3, 0, "products rounded once"},
    {"blend_one_one", SwBlend<kOne, kOne>, 3, 0, "saturating sums"},
    {"blend_dst_color_zero", SwBlend<kDstColor, kZero>, 3, 0, "products rounded once"},
    {"logic_xor", SwLogicOp<0x1506>, 0, 0, "flat colours"},
    {"logic_and", SwLogicOp<0x1501>, 0, 0, "flat colours"},
    {"logic_or", SwLogicOp<0x1507>, 0, 0, "flat colours"},
    {"logic_invert", SwLogicOp<0x150A>, 0, 0, "flat colours"},
    {"logic_copy_inverted", SwLogicOp<0x150C>, 0, 0, "flat colours"},
    {"alpha_test_less", SwAlphaTest<kLess>, 0, 0, "flat bands"},
    {"alpha_test_equal", SwAlphaTest<kEqual>, 0, 0, "flat bands"},
    {"alpha_test_gequal", SwAlphaTest<kGequal>, 0, 0, "flat bands"},
    {"alpha_test_never", SwAlphaTest<kNever>, 0, 0, "flat bands"},
    {"stencil_equal", SwStencilFunc<kEqual>, 0, 0, "flat colours", kStencilBuffer},
    {"stencil_less", SwStencilFunc<kLess>, 0, 0, "flat colours", kStencilBuffer},
    {"stencil_notequal", SwStencilFunc<kNotequal>, 0, 0, "flat colours", kStencilBuffer},
    {"stencil_incr_decr", SwStencilOps<kDecr, kIncr, 0xFF>, 0, 0, "flat colours", kStencilBuffer},
    {"stencil_invert_zero", SwStencilOps<kInvert, kZero, 0xFF>, 0, 0, "flat colours", kStencilBuffer},
    {"stencil_invert_masked", SwStencilOps<kInvert, kReplace, 0xFE>, 0, 0, "bits outside the write mask kept",
     kStencilBuffer},
    {"stencil_depth_keep_incr_invert", SwStencilDepthOps<kKeep, kIncr, kInvert>, 0, 0,
     "depth-fail fragments counted up, depth-pass ones inverted", kStencilBuffer},
    {"stencil_depth_decr_invert_incr", SwStencilDepthOps<kDecr, kInvert, kIncr>, 0, 0,
     "depth-fail fragments inverted, depth-pass ones counted up", kStencilBuffer},
    {"stencil_depth_equal", SwStencilDepthEqual, 0, 0, "the occluder again: depth passes all over it",
     kStencilBuffer},
};
// Dither at 16 bits a pixel and without: the pack stage's dither against
// the reference's (the 16-bit machines add their own levels).
const Scene kDitherScenes[] = {
    {"dither", SwDither, 1, 0, "as smooth_triangles"},
};

class SoftwarePictureTest : public PictureFixture {
  protected:
    // The switch is process-wide: no later test may inherit it.
    void TearDown() override {
        gNForceSoftwarePaths = 0;
        PictureFixture::TearDown();
    }
};

TEST_P(SoftwarePictureTest, MatchesTheReference) {
    MatchesReference("sw-", [this](const Calls& calls) {
        // Every primitive of the scene is drawn by the software stages.
        gNForceSoftwarePaths = 1;
        Send(calls);
        gNForceSoftwarePaths = 0;
    });
}

INSTANTIATE_TEST_SUITE_P(Scenes, SoftwarePictureTest,
                         ::testing::Combine(::testing::ValuesIn(kScenes), ::testing::ValuesIn(kPictureMachines)), RowName);
INSTANTIATE_TEST_SUITE_P(FragmentOperations, SoftwarePictureTest,
                         ::testing::Combine(::testing::ValuesIn(kFragmentScenes), ::testing::ValuesIn(kPictureMachines)),
                         RowName);
INSTANTIATE_TEST_SUITE_P(Dither, SoftwarePictureTest,
                         ::testing::Combine(::testing::ValuesIn(kDitherScenes), ::testing::ValuesIn(kPictureMachines)),
                         RowName);

class SoftwareLineModeTest : public SoftwarePictureTest {};

TEST_P(SoftwareLineModeTest, MatchesTheReference) {
    MatchesReference("sw-", [this](const Calls&) {
        gNForceSoftwarePaths = 1;
        Send(SentInLineMode(std::get<0>(GetParam()).name));
        gNForceSoftwarePaths = 0;
    });
}

INSTANTIATE_TEST_SUITE_P(Scenes, SoftwareLineModeTest,
                         ::testing::Combine(::testing::ValuesIn(kLineModeScenes), ::testing::ValuesIn(kPictureMachines)),
                         RowName);

}  // namespace
