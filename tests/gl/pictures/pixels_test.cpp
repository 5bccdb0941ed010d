// GL pictures of the pixel rectangles drawn through the board's image
// transfers: glDrawPixels of an RGBA image at pixel zooms 1, 2, 0.5 and -1
// and over the window's edge, glCopyPixels of a rectangle onto an
// overlapping one, plain and zoomed; accumulation (LOAD, ACCUM, MULT, ADD,
// RETURN) of the board's colour buffer; and glReadPixels of colour and
// depth read back through the server. Each is compared with OSMesa on 1, 2 and 4
// rasterizers at 32 and 16 bits a pixel.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "pictures_fixture.h"

namespace {

using namespace pictures;

constexpr std::uint32_t kColor = 0x1800;  // glCopyPixels of colour

// A 40 x 30 RGBA image, rows bottom first: every pixel its own colour.
Call Image() {
    std::vector<std::uint8_t> bytes;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            bytes.push_back(static_cast<std::uint8_t>(x * 6));
            bytes.push_back(static_cast<std::uint8_t>(y * 8));
            bytes.push_back(static_cast<std::uint8_t>((x * 3 + y * 5) & 0xFF));
            bytes.push_back(255);
        }
    return DrawPixels(40, 30, kRgba, std::move(bytes));
}

Calls DrawAt(float x, float y, float zx, float zy) {
    return With(Start(), {C("PixelZoom", {glx::F(zx), glx::F(zy)}), C("RasterPos2fv", {glx::F(x), glx::F(y)}),
                          Image()});
}

// The image drawn, then a rectangle of it copied onto a place that
// overlaps it (the copy reads what the draw wrote).
Calls CopyOver(float zx, float zy) {
    Calls c = With(Start(), {C("ReadBuffer", {0x404}), C("RasterPos2fv", {glx::F(30), glx::F(40)}), Image()});
    return With(c, {C("PixelZoom", {glx::F(zx), glx::F(zy)}), C("RasterPos2fv", {glx::F(45), glx::F(50)}),
                    C("CopyPixels", {35, 45, 30, 20, kColor})});
}

const Scene kScenes[] = {
    {"draw_zoom_1", [] { return DrawAt(20, 30, 1, 1); }, 0, 0, "every pixel as given"},
    {"draw_zoom_2", [] { return DrawAt(20, 30, 2, 2); }, 0, 0, "each pixel a 2 x 2 block"},
    {"draw_zoom_half", [] { return DrawAt(20, 30, 0.5f, 0.5f); }, 8, 2,
     "every second column and row: the board keeps the odd ones, whose pixels' centres the zoomed pixels cover, "
     "the reference the even ones (6 levels of red); past the image's far corner the reference's choice "
     "reaches one pixel further"},
    {"draw_zoom_minus_1", [] { return DrawAt(150, 120, -1, -1); }, 0, 0, "mirrored: left and down from the position"},
    {"draw_over_edge", [] { return DrawAt(230, 175, 1, 1); }, 0, 0, "cut at the window's right and top edges"},
    {"copy_overlapping", [] { return CopyOver(1, 1); }, 0, 0, "source and destination overlap"},
    {"copy_zoom_2", [] { return CopyOver(2, 2); }, 0, 0, "each copied pixel a 2 x 2 block"},
};

class PixelPictureTest : public PictureFixture {};

TEST_P(PixelPictureTest, MatchesTheReference) {
    MatchesReference("px-", [this](const Calls& calls) { Send(calls); });
}

INSTANTIATE_TEST_SUITE_P(Scenes, PixelPictureTest,
                         ::testing::Combine(::testing::ValuesIn(kScenes), ::testing::ValuesIn(kPictureMachines)),
                         RowName);

// --- accumulation ----------------------------------------------------------------
constexpr std::uint32_t kAccum = 0x100, kLoad = 0x101, kReturn = 0x102, kMult = 0x103, kAdd = 0x104;

Call Accum(std::uint32_t op, float value) { return C("Accum", {op, glx::F(value)}); }
Calls Frame(float dx, float r, float g, float b) {
    return Primitive(kTriangles, {{30 + dx, 30, 0, r, g, b}, {110 + dx, 40, 0, r, g, b}, {60 + dx, 150, 0, r, g, b}});
}
Calls ClearColour() { return {C("Clear", {kColorBufferBit})}; }

// Motion blur: three frames of a moving triangle, each cleared and drawn
// and added to the accumulation buffer at a third, then returned.
Calls MotionBlur() {
    Calls c = With(Start(), {C("ReadBuffer", {0x404})});
    c = With(c, With(Frame(0, 1, 0.2f, 0), {Accum(kLoad, 1.0f / 3)}));
    c = With(c, With(With(ClearColour(), Frame(40, 0, 1, 0.4f)), {Accum(kAccum, 1.0f / 3)}));
    c = With(c, With(With(ClearColour(), Frame(80, 0.2f, 0, 1)), {Accum(kAccum, 1.0f / 3)}));
    return With(c, {Accum(kReturn, 1.0f)});
}
// LOAD then MULT, ADD and RETURN with a factor above one (clamped).
Calls AccumArithmetic() {
    Calls c = With(Start(), {C("ReadBuffer", {0x404})});
    c = With(c, With(Frame(0, 0.8f, 0.4f, 0.2f), {Accum(kLoad, 1.0f), Accum(kMult, 0.5f), Accum(kAdd, 0.25f)}));
    return With(c, With(ClearColour(), {Accum(kReturn, 1.5f)}));
}

// Eight frames of a triangle moving right across the window (on a split
// board across the seam), each an eighth, then returned.
Calls EightFrames() {
    Calls c = With(Start(), {C("ReadBuffer", {0x404})});
    for (int k = 0; k < 8; ++k) {
        const float s = static_cast<float>(k) / 7.0f;
        c = With(c, With(With(ClearColour(), Frame(20.0f * static_cast<float>(k), 1.0f - s, 0.6f, s)),
                         {Accum(k == 0 ? kLoad : kAccum, 1.0f / 8)}));
    }
    return With(c, {Accum(kReturn, 1.0f)});
}

const Scene kAccumScenes[] = {
    {"accum_motion_blur", MotionBlur, 3, 30, "a third of each frame, rounded on both; triangle edges"},
    {"accum_arithmetic", AccumArithmetic, 3, 30, "scaled and offset values, clamped; triangle edges"},
    {"accum_eight_frames", EightFrames, 3, 60, "an eighth of each frame, rounded on both; triangle edges"},
};

// The split board's window straddles the seam: both screens' parts are
// read into and returned from the one accumulation buffer (on the split
// board whose page slots the buffers fill too).
INSTANTIATE_TEST_SUITE_P(Accum, PixelPictureTest,
                         ::testing::Combine(::testing::ValuesIn(kAccumScenes), ::testing::ValuesIn(kPictureMachines)),
                         RowName);
INSTANTIATE_TEST_SUITE_P(AccumTight, PixelPictureTest,
                         ::testing::Combine(::testing::ValuesIn(kAccumScenes), ::testing::Values(kTightSplit32)),
                         RowName);

// --- read pixels -------------------------------------------------------------------
constexpr std::uint32_t kDepthComponent = 0x1902, kUnsignedShort = 0x1403;

// What a read row reads after its scene: the request and the bytes of a
// pixel (colour rows compare bytes, depth rows 16-bit values).
struct ReadCase {
    const char* name;
    ReadRequest read;
    std::size_t cjPixel;
};
const ReadCase kReadCases[] = {
    {"read_rgb", {20, 15, 120, 80, kRgb, kUnsignedByte}, 3},
    {"read_rgba", {90, 70, 100, 60, kRgba, kUnsignedByte}, 4},
    {"read_drawn_image", {25, 35, 50, 40, kRgb, kUnsignedByte}, 3},
    {"read_depth", {30, 20, 120, 80, kDepthComponent, kUnsignedShort}, 2},
};

// The scene's last calls leave what the read reads: smooth triangles, the
// image drawn at (30, 40), two triangles under the depth test. Colour is
// read from the front buffer the scenes draw into.
Calls Opaque() {
    return {C("ClearColor", {glx::F(0), glx::F(0), glx::F(0), glx::F(1)}), C("Clear", {kColorBufferBit})};
}
Calls FromFront(Calls c) { return With(c, {C("ReadBuffer", {0x404})}); }
const Scene kReadScenes[] = {
    {"read_rgb", [] { return FromFront(Triangles(kSmooth)); }, 3, 40, "span interpolation; edge pixels"},
    {"read_rgba", [] { return FromFront(With(Opaque(), Triangles(kSmooth))); }, 3, 40,
     "as read_rgb; alpha 255 on both (the reference's cleared opaque, the board has no alpha)"},
    {"read_drawn_image", [] { return FromFront(CopyOver(1, 1)); }, 0, 0, "the drawn and copied image"},
    {"read_depth", [] { return Depth(kLess); }, 4, 40,
     "16-bit depth on both, the board's words keeping 15 bits near (two levels apart inside); edges more"},
};

class ReadPixelsPictureTest : public PictureFixture {};

TEST_P(ReadPixelsPictureTest, MatchesTheReference) {
    const auto& [scene, machine] = GetParam();
    const ReadCase* pCase = nullptr;
    for (const ReadCase& c : kReadCases)
        if (std::strcmp(c.name, scene.name) == 0) pCase = &c;
    ASSERT_NE(pCase, nullptr);
    const ReadRequest& rq = pCase->read;
    const Calls calls = scene.calls();
    std::string error;
    const std::vector<std::uint8_t> want = ReferenceRead(calls, kWidth, kHeight, rq, pCase->cjPixel, &error);
    ASSERT_FALSE(want.empty()) << error;

    if (const std::string why = MachineSkip(scene, machine); !why.empty())
        GTEST_SKIP() << scene.name << " on " << machine.name << ": " << why;
    // On the split board the window, and the rectangles read, straddle the
    // two screens.
    BootRoomy(machine);
    if (HasFatalFailure()) return;
    ASSERT_TRUE(OpenWindow()) << vnx::debug::take();
    Blacken();
    if (HasFatalFailure()) return;
    Send(calls);
    vnx::debug::clear();
    std::vector<BYTE> got;
    const glx::Reply reply = RunSingle(
        glx::Single("ReadPixels", {std::uint32_t(rq.x), std::uint32_t(rq.y), std::uint32_t(rq.width),
                                   std::uint32_t(rq.height), rq.format, rq.type, 0}),
        &got);
    const std::string said = vnx::debug::take();
    EXPECT_TRUE(SeamsIn(said).empty()) << said;
    EXPECT_EQ(reply.type, 1);
    ASSERT_GE(got.size(), want.size());

    // Element by element: bytes of colour (each channel within the scene's
    // tolerance and the machine's steps), 16-bit values of depth.
    const bool bDepth = rq.format == kDepthComponent;
    const vnx::glref::Tolerance allowed = glmachines::Allowed(machine, scene.tolerance);
    const int channelTolerance[4] = {allowed.red, allowed.green, allowed.blue, scene.tolerance};
    const std::size_t cjElement = bDepth ? 2 : 1;
    const std::size_t cjRow = ReadRowBytes(rq, pCase->cjPixel);
    int cOutliers = 0, iFirst = -1, aFirst = 0, bFirst = 0;
    for (std::size_t i = 0; i < want.size(); i += cjElement) {
        if (i % cjRow >= std::size_t(rq.width) * pCase->cjPixel) continue;  // the row's padding
        int a = want[i], b = got[i];
        if (bDepth) {
            a |= want[i + 1] << 8;
            b |= got[i + 1] << 8;
        }
        const int tolerance = bDepth ? scene.tolerance : channelTolerance[i % cjRow % pCase->cjPixel];
        if (std::abs(a - b) > tolerance && cOutliers++ == 0) {
            iFirst = static_cast<int>(i);
            aFirst = a;
            bFirst = b;
        }
    }
    EXPECT_LE(cOutliers, scene.outliers)
        << scene.why << "; first at row " << (iFirst < 0 ? 0 : iFirst / cjRow) << " byte "
        << (iFirst < 0 ? 0 : iFirst % cjRow) << " (reference " << aFirst << ", read " << bFirst << ")";
}

INSTANTIATE_TEST_SUITE_P(Scenes, ReadPixelsPictureTest,
                         ::testing::Combine(::testing::ValuesIn(kReadScenes), ::testing::ValuesIn(kPictureMachines)),
                         RowName);
INSTANTIATE_TEST_SUITE_P(Tight, ReadPixelsPictureTest,
                         ::testing::Combine(::testing::ValuesIn(kReadScenes), ::testing::Values(kTightSplit32)),
                         RowName);


// --- a depth read between depth-tested draws -------------------------------------
// glReadPixels of depth between the two triangles of the depth scene: the
// read leaves the depth buffer as it was, so the second triangle's depth
// test decides each pixel as it does without the read (a read that changed
// how the board keeps the depth words would lose their low bits and move
// the line where the triangles cross).
const Scene kDepthReadScenes[] = {
    {"depth_read_between", [] { return Depth(kLess); }, 3, 40, "as the depth scene without the read"},
};

class DepthReadBetweenTest : public PictureFixture {};

TEST_P(DepthReadBetweenTest, SecondDrawTestsAsWithoutTheRead) {
    MatchesReference("pxd-", [this](const Calls& calls) {
        // The second triangle starts at the scene's last DepthFunc.
        std::size_t split = calls.size();
        for (std::size_t i = 0; i < calls.size(); ++i)
            if (calls[i].request == "DepthFunc") split = i;
        ASSERT_LT(split, calls.size());
        Send(Calls(calls.begin(), calls.begin() + static_cast<std::ptrdiff_t>(split)));
        std::vector<BYTE> depth;
        const glx::Reply reply =
            RunSingle(glx::Single("ReadPixels", {30, 20, 120, 80, kDepthComponent, kUnsignedShort, 0}), &depth);
        EXPECT_EQ(reply.type, 1);
        EXPECT_GE(depth.size(), std::size_t{120} * 80 * 2);
        Send(Calls(calls.begin() + static_cast<std::ptrdiff_t>(split), calls.end()));
    });
}

INSTANTIATE_TEST_SUITE_P(Scenes, DepthReadBetweenTest,
                         ::testing::Combine(::testing::ValuesIn(kDepthReadScenes), ::testing::ValuesIn(kPictureMachines)),
                         RowName);

}  // namespace
