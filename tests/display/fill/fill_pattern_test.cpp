// Colour pattern and two-colour fills: the brush drawn at its origin under a
// ROP, the pattern cache (iPatternUniq, the 3D dither marker, origins,
// brushes without an id), the two-colour programs with a transparent or
// empty side, the reduced plane mask, and stereo passes.
#include <functional>

#include "display/fill/fill_fixture.h"

namespace vnx::test {
namespace {

class PatternFill : public FillTest {
  protected:
    // A brush of random pixels and its pixel (x, y) of pattern space.
    Brush RandomBrush(ULONG iUniq, ULONG seed) {
        pixels = Random(64, seed);
        return Brush::Colour(iUniq, pixels, BytesPerPixel());
    }
    ULONG BrushPixel(LONG x, LONG y) const { return pixels[(y & 7) * 8 + (x & 7)]; }
    // Pattern-register loads the board has seen so far (each rasterizer's
    // copy of the square into register 12).
    size_t Loads() { return Packets(0, 0x0006).size(); }

    std::vector<ULONG> pixels;
};

class PatternDepth : public PatternFill, public ::testing::WithParamInterface<ULONG> {};

TEST_P(PatternDepth, BrushIsDrawnAtItsOrigin) {
    const ULONG bpp = GetParam();
    Boot(1, 1, bpp);
    SURFOBJ* pso = Target(40, 24);
    const std::vector<ULONG> d = Random(40 * 24, 9);
    Write(pso, d);
    Brush brush = RandomBrush(17, 4);
    POINTL org = {3, 5};
    RECTL rcl[2] = {{0, 0, 20, 24}, {20, 0, 40, 24}};
    vFillPattern(pso, &rcl[0], 1, brush.get(), &org, ulRop3Info(0xF0), 0xF0);
    vFillPattern(pso, &rcl[1], 1, brush.get(), &org, ulRop3Info(0x5A), 0x5A);
    Flush();
    const ULONG colourBits = bpp == 16 ? 0x7FFF : 0xFFFFFFFF;  // the overlay bit is no colour
    const auto out = ReadAll(pso);
    for (LONG y = 0; y < 24; ++y)
        for (LONG x = 0; x < 40; ++x) {
            const ULONG p = BrushPixel(x - 3, y - 5) & colourBits;
            const ULONG want = x < 20 ? p : Rop3Ref(0x5A, p, 0, d[y * 40 + x]) & PixelMask();
            ASSERT_EQ(out[y * 40 + x], want) << x << "," << y;
        }
    EXPECT_EQ(Loads(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Depths, PatternDepth, ::testing::Values(32u, 16u, 8u));

// The pattern is loaded only when the brush, its id or its origin changes,
// or when something else (the 3D dither, a screen-to-screen copy) used the
// pattern registers since.
TEST_F(PatternFill, PatternCacheLoadsOnlyWhatChanged) {
    Boot();
    SURFOBJ* pso = Target(16, 16);
    Brush a = RandomBrush(100, 1), b = RandomBrush(101, 2), anonymous = RandomBrush(0, 3);
    struct Step {
        const char* name;
        REALBRUSH* brush;
        LONG xOrg;
        ULONG uniqBefore;  // ~0: leave iPatternUniq as it is
        bool loads;
    };
    const Step steps[] = {
        {"first use", a.get(), 0, ~0u, true},
        {"same brush and origin", a.get(), 0, ~0u, false},
        {"another origin", a.get(), 1, ~0u, true},
        {"origin 8 pixels on", a.get(), 9, ~0u, true},
        {"another brush", b.get(), 9, ~0u, true},
        {"back to the first", a.get(), 9, ~0u, true},
        {"after the 3D dither", a.get(), 9, PATTERN_UNIQ_DITHER, true},
        {"after a screen copy", a.get(), 9, 0, true},
        {"brush without an id", anonymous.get(), 9, ~0u, true},
        {"again without an id", anonymous.get(), 9, ~0u, true},
    };
    RECTL rcl = {0, 0, 16, 16};
    size_t loads = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        if (s.uniqBefore != ~0u) ppdev->iPatternUniq = s.uniqBefore;
        POINTL org = {s.xOrg, 0};
        vFillPattern(pso, &rcl, 1, s.brush, &org, 0, 0xF0);
        Flush();
        loads += s.loads ? 1 : 0;
        EXPECT_EQ(Loads(), loads);
        EXPECT_EQ(ppdev->iPatternUniq, s.brush->iUniq);
        EXPECT_EQ(ppdev->xPatternOrg, Dfb(pso)->x + s.xOrg);
    }
}

TEST_F(PatternFill, OverlayContextsReduceThePlaneMask) {
    Boot(1, 1, 16);
    SURFOBJ* pso = Target(8, 8);
    Write(pso, std::vector<ULONG>(64, 0xFFFF));
    ppdev->cGLOverlayContexts = 1;
    Brush brush = Brush::Colour(5, std::vector<ULONG>(64, 0x0421), 2);
    RECTL rcl = {0, 0, 8, 8};
    vFillPattern(pso, &rcl, 1, brush.get(), nullptr, ulRop3Info(0x5A), 0x5A);
    Flush();
    ppdev->cGLOverlayContexts = 0;
    const auto packets = Packets(0, 0x0026);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].command, 0x02240026u);
    EXPECT_EQ(
        packets[0].instructions,
        (std::vector<std::uint32_t>{0x10000240u | 12u << 17 | 13u << 11 | OP_XOR, 0x1012F340u}));
    EXPECT_EQ(packets[0].constants, std::vector<std::uint32_t>{0x7FFFFF});
    for (ULONG p : ReadAll(pso)) EXPECT_EQ(p, 0x7FFFu ^ 0x0421u);
}

// --- two-colour fills ------------------------------------------------------------------

const BYTE kRows[8] = {0x80, 0x41, 0x22, 0x14, 0x08, 0xFF, 0x00, 0xF0};
bool Bit(LONG x, LONG y) { return (kRows[y & 7] >> (7 - (x & 7))) & 1; }

TEST_F(PatternFill, TwoColourFillsPickForegroundAndBackground) {
    Boot();
    SURFOBJ* pso = Target(40, 20);
    const std::vector<ULONG> d = Random(40 * 20, 5);
    const ULONG fore = 0x00FF00, back = 0x0000FF;
    Brush brush = Brush::Mono(kRows, fore, back);
    struct Row {
        const char* name;
        ROP4 rop4;
        std::function<ULONG(bool set, ULONG d)> want;
    };
    const Row rows[] = {
        {"opaque", 0xF0F0, [&](bool set, ULONG) { return set ? fore : back; }},
        {"transparent background", 0xAAF0, [&](bool set, ULONG dd) { return set ? fore : dd; }},
        {"xor foreground, copy background", 0xF05A,
         [&](bool set, ULONG dd) { return set ? fore ^ dd : back; }},
        {"nothing on either side", 0xAAAA, [&](bool, ULONG dd) { return dd; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Write(pso, d);
        POINTL org = {2, 3};
        RECTL rcl = {1, 1, 39, 19};
        vFillTwoColour(pso, &rcl, 1, brush.get(), &org,
                       ulRop3Info(row.rop4 & 0xFF) | ulRop3Info(row.rop4 >> 8), row.rop4);
        Flush();
        const auto out = ReadAll(pso);
        for (LONG y = 0; y < 20; ++y)
            for (LONG x = 0; x < 40; ++x) {
                const ULONG dd = d[y * 40 + x];
                const bool inside = x >= 1 && x < 39 && y >= 1 && y < 19;
                const ULONG want = inside ? row.want(Bit(x - 2, y - 3), dd) : dd;
                ASSERT_EQ(out[y * 40 + x] & 0xFFFFFF, want & 0xFFFFFF) << x << "," << y;
            }
    }
    EXPECT_EQ(Packets(0, 0x5226).size(), 3u);  // the empty program sends no fill
    EXPECT_EQ(Packets(0, 0x0280).size(), 4u);  // but every fill loads the pattern
}

TEST_F(PatternFill, TwoColourWordsUnderTheReducedPlaneMask) {
    Boot(1, 1, 16);
    SURFOBJ* pso = Target(8, 8);
    ppdev->cGLOverlayContexts = 1;
    Brush brush = Brush::Mono(kRows, 0x7C00, 0x001F);
    RECTL rcl = {0, 0, 8, 8};
    vFillTwoColour(pso, &rcl, 1, brush.get(), nullptr, 0, 0xF0F0);
    Flush();
    ppdev->cGLOverlayContexts = 0;
    const auto packets = Packets(0, 0x5226);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].command, 0x02445226u);
    EXPECT_EQ(packets[0].instructions,
              (std::vector<std::uint32_t>{0x10360208u, 0x1210F340u, 0x10380248u, 0x1A12F340u}));
    EXPECT_EQ(packets[0].constants, (std::vector<std::uint32_t>{0x7C0000, 0x00007C, 0x7FFFFF}));
    const auto out = ReadAll(pso);
    for (LONG y = 0; y < 8; ++y)
        for (LONG x = 0; x < 8; ++x) EXPECT_EQ(out[y * 8 + x], Bit(x, y) ? 0x7C00u : 0x001Fu);
}

TEST_F(PatternFill, StereoTwoColourFillsBothEyes) {
    ASSERT_NO_FATAL_FAILURE(BootStereo());
    SURFOBJ* pso = Target(8, 960);
    Brush brush = Brush::Mono(kRows, 0xFFFFFF, 0x111111);
    RECTL rcl = {0, 0, 8, 8};
    POINTL org = {0, 0};
    vFillTwoColour(pso, &rcl, 1, brush.get(), &org, 0, 0xF0F0);
    Flush();
    EXPECT_EQ(Packets(0, 0x0280).size(), 2u);
    const auto top = Read(pso, RECTL{0, 0, 8, 8}), bottom = Read(pso, RECTL{0, 480, 8, 488});
    for (LONG i = 0; i < 64; ++i) {
        // The second eye's pattern is anchored cyScreen lower too.
        EXPECT_EQ(top[i], Bit(i % 8, i / 8) ? 0xFFFFFFu : 0x111111u) << i;
        EXPECT_EQ(bottom[i], top[i]) << i;
    }
}

}  // namespace
}  // namespace vnx::test
