// GL pictures of points drawn by the software point stages: sizes 1 to 10,
// squares and antialiased discs, under the depth test and blending, sent
// with the debug switch that draws every primitive kind through the
// software stages, compared with OSMesa on 1, 2 and 4 rasterizers.
// Antialiased points take the software path of their own accord too (the
// board has no form for them): those rows run again without the switch.
//
// A scene whose path through the server still reaches a seam (a part that
// says "not available yet") is skipped, naming the seam.
#include <gtest/gtest.h>

#include "lgi/3d/pipes/pipes.h"
#include "pictures_fixture.h"

namespace {

using namespace pictures;

constexpr std::uint32_t kPointSmooth = 0x0B10, kBlend = 0x0BE2, kSrcAlpha = 0x0302, kOneMinusSrcAlpha = 0x0303;

Call PointSize(float s) { return C("PointSize", {glx::F(s)}); }
Call Rgba(float r, float g, float b, float a) { return C("Color4fv", {glx::F(r), glx::F(g), glx::F(b), glx::F(a)}); }

struct Look {
    bool smooth = false;
    bool blend = false;
    bool depth = false;
};

// Sizes 1 to 10 left to right, three points a size at quarter-pixel
// positions (never a tie of GL's rounding, which OSMesa breaks its own
// way), one colour a size; alpha 0.6 while blending. Under the depth test
// a band of size-10 points lies behind the middle row first, then the
// sizes are drawn in front of it at one end and behind it at the other.
Calls Points(Look look) {
    Calls c = Start();
    if (look.smooth) c.push_back(C("Enable", {kPointSmooth}));
    if (look.blend) {
        c.push_back(C("Enable", {kBlend}));
        c.push_back(C("BlendFunc", {kSrcAlpha, kOneMinusSrcAlpha}));
    }
    if (look.depth) {
        c.push_back(C("Enable", {kDepthTest}));
        c.push_back(C("DepthFunc", {kLess}));
        c.push_back(PointSize(10));
        c.push_back(C("Begin", {kPoints}));
        c.push_back(Rgba(0.3f, 0.3f, 0.9f, 1));
        for (int i = 0; i < 25; ++i) c.push_back(Vertex(6.25f + 10.0f * i, 96.75f, 0.0f));
        c.push_back(C("End"));
    }
    for (int s = 1; s <= 10; ++s) {
        c.push_back(PointSize(static_cast<float>(s)));
        c.push_back(C("Begin", {kPoints}));
        c.push_back(Rgba(s & 1 ? 1.0f : 0.2f, 0.1f * s, 1.0f - 0.08f * s, look.blend ? 0.6f : 1.0f));
        const float x = 12.25f + 24.0f * (s - 1), z = look.depth ? (s <= 5 ? 0.5f : -0.5f) : 0.0f;
        c.push_back(Vertex(x, 40.25f, z));
        c.push_back(Vertex(x + 0.5f, 96.75f, z));
        c.push_back(Vertex(x + 4.0f, 150.25f, z));
        // A second point over the first: where both cover a pixel the
        // blend shows it twice.
        c.push_back(Vertex(x + 2.5f, 152.75f, z));
        c.push_back(C("End"));
    }
    return c;
}

// The depth scene with the stencil test on (the function always passes
// against 1): the points' fragments that fail the depth test invert the
// stored 0, those that pass count it up (twice where the two lower points
// of a size overlap); then each stencil value is shown in its own colour
// over the whole window, depth test off.
Calls StencilPoints() {
    constexpr std::uint32_t kStencilTest = 0x0B90, kStencilBufferBit = 0x0400, kKeep = 0x1E00, kIncr = 0x1E02,
                            kInvert = 0x150A;
    const Calls stencil = {C("ClearStencil", {0}), C("Clear", {kStencilBufferBit}), C("Enable", {kStencilTest}),
                           C("StencilFunc", {kAlways, 1, 0xFF}), C("StencilOp", {kKeep, kInvert, kIncr})};
    // Points() starts with the window's set-up; the stencil state follows it.
    Calls out = Points({false, false, true});
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(Start().size()), stencil.begin(), stencil.end());
    out = With(out, {C("Disable", {kDepthTest}), C("StencilOp", {kKeep, kKeep, kKeep})});
    for (std::uint32_t k : {0u, 1u, 2u, 0xFFu}) {
        const float v = static_cast<float>(k % 7) / 6.0f;
        out.push_back(C("StencilFunc", {kEqual, k, 0xFF}));
        out = With(out, Primitive(kQuads, {{0, 0, 0, v, 1 - v, k > 100 ? 1.0f : 0.0f},
                                           {256, 0, 0, v, 1 - v, k > 100 ? 1.0f : 0.0f},
                                           {256, 192, 0, v, 1 - v, k > 100 ? 1.0f : 0.0f},
                                           {0, 192, 0, v, 1 - v, k > 100 ? 1.0f : 0.0f}}));
    }
    return out;
}

// Tolerances. Colours: the stages truncate a channel to 8 bits, OSMesa
// rounds it: 1 level everywhere.
// - Squares: whole pixels by GL's rule on both sides: exact.
// - Discs: the stages cover a disc by the distance of the pixel's centre
//   from the point: full coverage within (size - 1) / 2, falling linearly
//   to 0 one pixel further out. Unblended, a disc is drawn in full colour
//   wherever its coverage is above 0, out to half a pixel beyond half the
//   size; OSMesa draws the pixels whose centre lies within half the size
//   (measured: drawn out to 4.96 pixels from a point of size 10, none from
//   5.06 on). Every pixel OSMesa draws is drawn, and the stages add those
//   of that outermost ring (309 over the scene's 40 discs, measured). The row
//   catches a disc drawn larger or half a pixel off; one drawn smaller
//   stays inside the allowance, and the unit tests (swpoint_test.cpp),
//   which pin every pixel's coverage, catch it. Blended, the rim's
//   coverage differs by up to a quarter of a channel (64 levels), and the
//   outermost ring OSMesa leaves is drawn as unblended.
const Scene kScenes[] = {
    {"points", [] { return Points({}); }, 1, 0, "whole pixels: exact"},
    {"smooth_points", [] { return Points({true, false, false}); }, 1, 312,
     "the disc's outermost ring, which OSMesa leaves where it covers least"},
    {"points_blend", [] { return Points({false, true, false}); }, 1, 0, "whole pixels; one rounding of a blend"},
    {"smooth_points_blend", [] { return Points({true, true, false}); }, 64, 313,
     "coverage of the rim within 64 levels; the outermost ring as smooth_points (313 pixels, measured)"},
    // The colour write's single-pixel program tests depth on the board.
    {"points_depth", [] { return Points({false, false, true}); }, 1, 0, "whole pixels, 16-bit depth on both"},
    // The depth test keeps and hides the discs as the reference does; what
    // differs is the outermost ring of every disc drawn, as in
    // smooth_points, here of 65 discs: the band's 25 of size 10 among them,
    // and the rims of the nearer discs over the band (611 pixels, measured).
    // (Drawn out to half the size alone, 6 pixels of the scene would
    // differ: the ring is all of it.)
    {"smooth_points_depth", [] { return Points({true, false, true}); }, 1, 614,
     "as smooth_points; the band's discs add their rings"},
    // Stencil and depth: the stencil stages take each fragment's depth
    // result before they write its stencil value.
    {"points_stencil_depth", [] { return StencilPoints(); }, 0, 0, "whole pixels; flat colours",
     kStencilBuffer},
};

class SoftwarePointsTest : public PictureFixture {
  protected:
    // The switch is process-wide: no later test may inherit it.
    void TearDown() override {
        gNForceSoftwarePaths = 0;
        PictureFixture::TearDown();
    }
};

TEST_P(SoftwarePointsTest, MatchesTheReference) {
    MatchesReference("swpt-", [this](const Calls& calls) {
        gNForceSoftwarePaths = 1;
        Send(calls);
        gNForceSoftwarePaths = 0;
    });
}

INSTANTIATE_TEST_SUITE_P(Scenes, SoftwarePointsTest,
                         ::testing::Combine(::testing::ValuesIn(kScenes), ::testing::ValuesIn(kPictureMachines)), RowName);

// Antialiased points without the switch: the point selector itself sends
// them to the software stages.
const Scene kSmoothScenes[] = {kScenes[1]};

class SmoothPointsTest : public PictureFixture {};

TEST_P(SmoothPointsTest, MatchesTheReference) {
    MatchesReference("aapt-", [this](const Calls& calls) { Send(calls); });
}

INSTANTIATE_TEST_SUITE_P(Scenes, SmoothPointsTest,
                         ::testing::Combine(::testing::ValuesIn(kSmoothScenes), ::testing::ValuesIn(kPictureMachines)),
                         RowName);

}  // namespace
