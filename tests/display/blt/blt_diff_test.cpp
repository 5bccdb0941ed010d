// The blits the driver draws, compared with the engine's software result on
// an identical host bitmap: every ROP3 with a solid brush, a pattern brush
// and a source (from host memory and from the board), clip lists, true ROP4s
// with a mask, two-colour and hatch brushes, overlapping copies, and copies
// from host bitmaps of every depth, on boards of one, two and four
// rasterizers at every depth.
#include "display/blt/blt_fixture.h"

namespace vnx::test {
namespace {

struct BoardCase {
    int rasterizers;
    ULONG bpp;
};
void PrintTo(const BoardCase& b, std::ostream* os) { *os << b.rasterizers << "r" << b.bpp; }

constexpr LONG kCx = 72, kCy = 40;

class BltDiff : public BltTest, public ::testing::WithParamInterface<BoardCase> {
  protected:
    void SetUp() override {
        BltTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(BootBlt(GetParam().rasterizers, GetParam().bpp));
        auto t = Twins(kCx, kCy, 1);
        dev_ = t.first;
        host_ = t.second;
        ASSERT_NE(dev_, nullptr);
    }

    // DrvBitBlt on the device bitmap and EngBitBlt on its host twin with the
    // same operands; then both images must agree.
    void Both(SURFOBJ* psoSrcDev, SURFOBJ* psoSrcHost, SURFOBJ* psoMask, CLIPOBJ* pco,
              XLATEOBJ* pxlo, RECTL rcl, POINTL ptlSrc, POINTL ptlMask, BRUSHOBJ* pbo,
              POINTL ptlBrush, ROP4 rop4, const char* what) {
        RECTL r1 = rcl, r2 = rcl;
        POINTL s1 = ptlSrc, s2 = ptlSrc, m1 = ptlMask, m2 = ptlMask, b1 = ptlBrush, b2 = ptlBrush;
        EXPECT_TRUE(DrvBitBlt(dev_, psoSrcDev, psoMask, pco, pxlo, &r1, &s1, &m1, pbo, &b1, rop4))
            << what;
        ASSERT_TRUE(EngBitBlt(host_, psoSrcHost, psoMask, pco, pxlo, &r2, &s2, &m2, pbo, &b2, rop4))
            << what;
        const auto got = Board(dev_), want = HostAll(host_);
        ASSERT_EQ(got, want) << what << " rop4 0x" << std::hex << rop4 << ": "
                             << FirstDifference(got, want, kCx);
    }

    SURFOBJ* dev_ = nullptr;
    SURFOBJ* host_ = nullptr;
};

const RECTL kRect = {5, 4, 61, 37};

TEST_P(BltDiff, EveryRop3WithSolidAndPatternBrushes) {
    BRUSHOBJ* solid = Solid(GetParam().bpp == 16 ? 0x1A3C : GetParam().bpp == 8 ? 0x5C : 0x3377AA);
    BRUSHOBJ* pattern = PatternBrush(dev_, 7);
    for (ULONG rop3 = 0; rop3 < 256; ++rop3) {
        if (ulRop3Info(rop3) & ROPINFO_READS_S) continue;
        const ROP4 rop4 = rop3 | rop3 << 8;
        ASSERT_NO_FATAL_FAILURE(Both(nullptr, nullptr, nullptr, nullptr, nullptr, kRect, {0, 0},
                                     {0, 0}, solid, {3, 1}, rop4, "solid"));
        ASSERT_NO_FATAL_FAILURE(Both(nullptr, nullptr, nullptr, nullptr, nullptr, kRect, {0, 0},
                                     {0, 0}, pattern, {3, 1}, rop4, "pattern"));
    }
}

TEST_P(BltDiff, EveryRop3WithAHostSource) {
    SURFOBJ* src = Host(kCx, kCy, ppdev->iBitmapFormat);
    RandomHost(src, 3);
    BRUSHOBJ* pattern = PatternBrush(dev_, 8);
    for (ULONG rop3 = 0; rop3 < 256; ++rop3) {
        if (!(ulRop3Info(rop3) & ROPINFO_READS_S)) continue;
        ASSERT_NO_FATAL_FAILURE(Both(src, src, nullptr, nullptr, nullptr, kRect, {9, 2}, {0, 0},
                                     pattern, {0, 0}, rop3 | rop3 << 8, "host source"));
    }
}

TEST_P(BltDiff, EveryRop3WithABoardSource) {
    auto src = Twins(kCx, kCy, 4);
    BRUSHOBJ* black = Solid(0);
    BRUSHOBJ* pattern = PatternBrush(dev_, 9);
    for (ULONG rop3 = 0; rop3 < 256; ++rop3) {
        const ULONG fl = ulRop3Info(rop3);
        if (!(fl & ROPINFO_READS_S)) continue;
        // Source and pattern: in hardware only with a black brush.
        BRUSHOBJ* pbo = (fl & ROPINFO_READS_P) && (rop3 & 1) ? black : pattern;
        ASSERT_NO_FATAL_FAILURE(Both(src.first, src.second, nullptr, nullptr, nullptr, kRect,
                                     {2, 3}, {0, 0}, pbo, {0, 0}, rop3 | rop3 << 8,
                                     "board source"));
    }
}

TEST_P(BltDiff, ClipListsLimitEveryKindOfBlit) {
    const BYTE rows[8] = {0xF0, 0x0F, 0xAA, 0x55, 0xFF, 0x00, 0x81, 0x42};
    BRUSHOBJ* mono = MonoBrush(dev_, rows, 0x23, 0x51);
    BRUSHOBJ* pattern = PatternBrush(dev_, 11);
    BRUSHOBJ* solid = Solid(0x42);
    SURFOBJ* src = Host(kCx, kCy, ppdev->iBitmapFormat);
    RandomHost(src, 12);
    const std::vector<std::vector<RECTL>> clips = {
        {{10, 8, 40, 30}},                                                     // one rectangle
        {{0, 0, 20, 10}, {30, 0, 72, 10}, {0, 15, 72, 20}, {50, 25, 60, 40}},  // a region
        {{200, 200, 210, 210}},                                                // outside
        {},                                                                    // empty
    };
    struct Kind {
        BRUSHOBJ* pbo;
        ROP4 rop4;
        bool bSource;
    } kinds[] = {{solid, 0xF0F0, false},   {solid, 0x5A5A, false},   {pattern, 0xF0F0, false},
                 {pattern, 0xA5A5, false}, {mono, 0xAAF0, false},    {mono, 0x5A5A, false},
                 {nullptr, 0x5555, false}, {nullptr, 0x0000, false}, {nullptr, 0xFFFF, false},
                 {nullptr, 0x6666, true},  {nullptr, 0xCCCC, true}};
    for (const auto& clip : clips)
        for (const Kind& k : kinds) {
            CLIPOBJ* pco = Clip(clip);
            ASSERT_NO_FATAL_FAILURE(Both(k.bSource ? src : nullptr, k.bSource ? src : nullptr,
                                         nullptr, pco, nullptr, kRect, {4, 1}, {0, 0}, k.pbo,
                                         {1, 2}, k.rop4,
                                         ("clipped, case " + std::to_string(&k - kinds) +
                                          " of clip " + std::to_string(&clip - clips.data()))
                                             .c_str()));
        }
}

TEST_P(BltDiff, TrueRop4sWithAMask) {
    SURFOBJ* mask = Host(kCx, kCy, BMF_1BPP);
    RandomHost(mask, 21);
    CLIPOBJ* region = Clip({{0, 0, 30, 40}, {40, 10, 72, 30}});
    XLATEOBJ* vector = Vector({0x11, 0x22});
    for (ROP4 rop4 : {0xAA55u, 0x55AAu, 0x00FFu, 0xFF00u, 0xAA00u, 0x0055u}) {
        // Without a translation object as well as with one.
        ASSERT_NO_FATAL_FAILURE(Both(nullptr, nullptr, mask, nullptr, nullptr, kRect, {0, 0},
                                     {3, 5}, nullptr, {0, 0}, rop4, "mask"));
        ASSERT_NO_FATAL_FAILURE(Both(nullptr, nullptr, mask, region, vector, kRect, {0, 0}, {0, 0},
                                     nullptr, {0, 0}, rop4, "mask, clipped"));
    }
}

TEST_P(BltDiff, TwoColourAndHatchBrushes) {
    const BYTE rows[8] = {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81};
    const ULONG fore = GetParam().bpp == 8 ? 0xC3 : 0x1234,
                back = GetParam().bpp == 8 ? 0x3C : 0x0F0F;
    BRUSHOBJ* two = MonoBrush(dev_, rows, fore, back);
    BRUSHOBJ* same = MonoBrush(dev_, rows, fore, fore);
    for (ROP4 rop4 : {0xF0F0u, 0xAAF0u, 0x5A5Au, 0xA0A0u, 0x0F0Fu}) {
        ASSERT_NO_FATAL_FAILURE(Both(nullptr, nullptr, nullptr, nullptr, nullptr, kRect, {0, 0},
                                     {0, 0}, two, {2, 5}, rop4, "two-colour"));
        ASSERT_NO_FATAL_FAILURE(Both(nullptr, nullptr, nullptr, nullptr, nullptr, kRect, {0, 0},
                                     {0, 0}, same, {0, 0}, rop4, "equal colours"));
    }
    for (size_t i = 0; i < device_->patterns().size(); ++i) {
        SURFOBJ* hatch = EngLockSurface(device_->patterns()[i]);
        ASSERT_NE(hatch, nullptr);
        vnx::engine::BrushDesc d;
        d.psoTarget = dev_;
        d.psoPattern = hatch;
        d.pxlo = Vector({back, fore});
        d.iHatch = static_cast<ULONG>(i);
        BRUSHOBJ* pbo = Brush(d);
        EngUnlockSurface(hatch);
        ASSERT_NO_FATAL_FAILURE(Both(nullptr, nullptr, nullptr, nullptr, nullptr, kRect, {0, 0},
                                     {0, 0}, pbo, {0, 0}, 0xF0F0, "hatch"));
    }
}

TEST_P(BltDiff, OverlappingBlitsWithinOneSurface) {
    BRUSHOBJ* black = Solid(0);
    const POINTL sources[] = {{8, 3}, {1, 0}, {0, 6}, {0, 0}};
    for (ROP4 rop4 : {0x6666u, 0x8888u, 0xCCCCu}) {
        for (POINTL s : sources) {
            const RECTL r = {4, 2, 64, 36};
            ASSERT_NO_FATAL_FAILURE(Both(dev_, host_, nullptr, nullptr, nullptr, r, s, {0, 0},
                                         black, {0, 0}, rop4, "overlap"));
            // The other way round, with a region.
            CLIPOBJ* pco = Clip({{0, 0, 40, 20}, {30, 20, 72, 40}});
            const RECTL r2 = {s.x, s.y, s.x + 60, s.y + 34};
            ASSERT_NO_FATAL_FAILURE(Both(dev_, host_, nullptr, pco, nullptr, r2, {4, 2}, {0, 0},
                                         black, {0, 0}, rop4, "overlap back"));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, BltDiff,
                         ::testing::Values(BoardCase{1, 32}, BoardCase{1, 16}, BoardCase{1, 8},
                                           BoardCase{2, 32}, BoardCase{4, 16}, BoardCase{4, 8}),
                         [](const auto& info) {
                             return std::to_string(info.param.rasterizers) + "r" +
                                    std::to_string(info.param.bpp);
                         });

}  // namespace
}  // namespace vnx::test
