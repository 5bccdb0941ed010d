// Dithered colour brushes at 8 bits a pixel: the brush the driver realizes
// from the colour alone holds the pattern DrvDitherColor gives for it, and
// what the board draws with it equals the engine's drawing with that
// pattern, on boards of one, two and four rasterizers. Deeper devices and a
// realization that gets no memory leave the brush to the engine.
#include "display/blt/blt_fixture.h"

namespace vnx::test {
namespace {

constexpr LONG kCx = 72, kCy = 40;
const RECTL kRect = {3, 2, 67, 38};

class BltDither : public BltTest {
  protected:
    void Start(int rasterizers, ULONG bpp) {
        BootBlt(rasterizers, bpp);
        if (HasFatalFailure()) return;
        auto t = Twins(kCx, kCy, 5);
        dev_ = t.first;
        host_ = t.second;
        ASSERT_NE(dev_, nullptr);
    }

    // The pattern the engine draws a dithered colour with: DrvDitherColor's
    // colour mode, through the driver's function table.
    SURFOBJ* EnginePattern(ULONG rgb) {
        auto pfn = reinterpret_cast<PFN_DrvDitherColor>(device_->function(INDEX_DrvDitherColor));
        EXPECT_NE(pfn, nullptr);
        SURFOBJ* pat = Host(8, 8, BMF_8BPP);
        if (pfn == nullptr || pat == nullptr) return nullptr;
        ULONG aul[16];
        EXPECT_EQ(pfn(device_->dhpdev(), 0, rgb, aul), ULONG{TRUE});
        for (LONG y = 0; y < 8; ++y)
            std::memcpy(Row(pat, y), reinterpret_cast<BYTE*>(aul) + 8 * y, 8);
        return pat;
    }
    // A brush of a colour to dither; the engine draws it with psoPattern.
    BRUSHOBJ* Dithered(ULONG rgb, SURFOBJ* psoPattern) {
        vnx::engine::BrushDesc d;
        d.psoTarget = dev_;
        d.psoPattern = psoPattern;
        d.iHatch = RB_DITHERCOLOR | rgb;
        return Brush(d);
    }

    // DrvBitBlt on the device bitmap, EngBitBlt on its host twin.
    void Both(CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL ptlBrush, ROP4 rop4, const char* what) {
        RECTL r1 = kRect, r2 = kRect;
        POINTL b1 = ptlBrush, b2 = ptlBrush;
        EXPECT_TRUE(
            DrvBitBlt(dev_, nullptr, nullptr, pco, nullptr, &r1, nullptr, nullptr, pbo, &b1, rop4))
            << what;
        ASSERT_TRUE(
            EngBitBlt(host_, nullptr, nullptr, pco, nullptr, &r2, nullptr, nullptr, pbo, &b2, rop4))
            << what;
        const auto got = Board(dev_), want = HostAll(host_);
        ASSERT_EQ(got, want) << what << " rop4 0x" << std::hex << rop4 << ": "
                             << FirstDifference(got, want, kCx);
    }

    // A dithered brush that is not realized punts to the engine, which
    // draws it with the pattern it was given.
    void EngineDrawsUnrealized() {
        SURFOBJ* pat = Host(8, 8, ppdev->iBitmapFormat);
        ASSERT_NE(pat, nullptr);
        RandomHost(pat, 11);
        BRUSHOBJ* pbo = Dithered(0x3264C8, pat);
        ASSERT_NE(pbo, nullptr);
        EXPECT_EQ(BRUSHOBJ_pvGetRbrush(pbo), nullptr);
        Both(nullptr, pbo, {1, 2}, 0xF0F0, "unrealized");
        if (HasFatalFailure()) return;
        EXPECT_EQ(pbo->pvRbrush, nullptr);
    }

    SURFOBJ* dev_ = nullptr;
    SURFOBJ* host_ = nullptr;
};

class BltDitherBoards : public BltDither, public ::testing::WithParamInterface<int> {};

// Greys, primaries, corners of the cube and colours between palette
// entries, under ROPs that read the pattern, with brush origins and a
// clip region.
TEST_P(BltDitherBoards, BoardDrawsTheRealizedDither) {
    Start(GetParam(), 8);
    if (HasFatalFailure()) return;
    const ULONG colours[] = {0x000000, 0x808080, 0x404040, 0xFFFFFF, 0x0000FF, 0x00FF00,
                             0xFF0000, 0x00FFFF, 0x004080, 0x3264C8, 0xA0C8F0, 0x1E3CC8};
    CLIPOBJ* pco = Clip({{0, 0, 30, 20}, {20, 20, 72, 33}, {50, 33, 60, 40}});
    for (ULONG rgb : colours) {
        SURFOBJ* pat = EnginePattern(rgb);
        ASSERT_NE(pat, nullptr);
        BRUSHOBJ* pbo = Dithered(rgb, pat);
        ASSERT_NE(pbo, nullptr);
        for (ROP4 rop4 : {0xF0F0u, 0x5A5Au, 0xA0A0u, 0x0F0Fu}) {
            Both(nullptr, pbo, {0, 0}, rop4, "dither");
            if (HasFatalFailure()) return;
        }
        Both(pco, pbo, {5, 3}, 0xF0F0, "dither, clipped, brush origin (5, 3)");
        if (HasFatalFailure()) return;
        // The brush the driver realized holds the engine's pattern.
        const auto* prb = static_cast<const REALBRUSH*>(pbo->pvRbrush);
        ASSERT_NE(prb, nullptr);
        EXPECT_EQ(prb->fl, REALBRUSH_DITHER);
        EXPECT_NE(prb->iUniq, 0u);
        for (LONG y = 0; y < 8; ++y)
            EXPECT_EQ(0, std::memcmp(prb->ajPattern + 8 * y, Row(pat, y), 8))
                << rgb << " row " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, BltDitherBoards, ::testing::Values(1, 2, 4),
                         [](const auto& info) { return std::to_string(info.param) + "r"; });

// Each realization of a dithered colour has its own number.
TEST_F(BltDither, EachRealizationIsNew) {
    Start(1, 8);
    if (HasFatalFailure()) return;
    auto* a = static_cast<REALBRUSH*>(BRUSHOBJ_pvGetRbrush(Dithered(0x3264C8, nullptr)));
    auto* b = static_cast<REALBRUSH*>(BRUSHOBJ_pvGetRbrush(Dithered(0x3264C8, nullptr)));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a->iUniq, b->iUniq);
    EXPECT_EQ(0, std::memcmp(a->ajPattern, b->ajPattern, 64));
}

// Without a realization the engine draws the brush with its own pattern:
// at 16 bits a pixel (the dither's palette indices mean nothing there) and
// when the realization gets no memory.
TEST_F(BltDither, SixteenBitsLeaveTheBrushToTheEngine) {
    Start(1, 16);
    if (HasFatalFailure()) return;
    EngineDrawsUnrealized();
}

TEST_F(BltDither, NoMemoryLeavesTheBrushToTheEngine) {
    Start(1, 8);
    if (HasFatalFailure()) return;
    vnx::faults::arm("BRUSHOBJ_pvAllocRbrush", 0, -1);
    EngineDrawsUnrealized();
}

}  // namespace
}  // namespace vnx::test
