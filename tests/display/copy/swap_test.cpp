// The buffer swap, checked as images read from the board: pages wholly,
// half and a quarter covered, a clip of more than 50 rectangles, the
// vertical-blank wait, plane-masked swaps and the remembered-rectangle
// shortcut.
#include <gtest/gtest.h>

#include "copy/copy.h"
#include "display/copy/swap_fixture.h"
#include "platform/engine.h"
#include "vornix_swap.h"

#include <algorithm>

namespace vnx::test {
namespace {

class SwapTest : public SwapFixture {
  protected:
    // Front and back buffers of cx x cy at board (0, 0) of two page blocks,
    // each of random pixels.
    // (Two pages each way unless a size is given.)
    void Setup(int rasterizers, ULONG bpp, LONG cx = 0, LONG cy = 0) {
        ASSERT_NO_FATAL_FAILURE(BootXfer(rasterizers, bpp));
        vPageSize(ppdev, ppdev->iBitmapFormat, &pcx_, &pcy_);
        if (cx == 0) cx = std::min<LONG>(2 * pcx_, 1024);
        if (cy == 0) cy = std::min<LONG>(2 * pcy_, 768);
        ASSERT_NO_FATAL_FAILURE(MakeBuffers(cx, cy));
        RandomizeBoard(front_, 1);
        RandomizeBoard(back_, 2);
        cx_ = cx;
        cy_ = cy;
        TakeAll();
    }
    // Expected front: the back's pixels where inside() holds, else the
    // front's.
    template <typename Inside>
    std::vector<ULONG> Expected(const std::vector<ULONG>& f, const std::vector<ULONG>& b,
                                Inside inside) {
        std::vector<ULONG> v(f.size());
        for (LONG y = 0; y < cy_; ++y)
            for (LONG x = 0; x < cx_; ++x)
                v[y * cx_ + x] = inside(x, y) ? b[y * cx_ + x] : f[y * cx_ + x];
        return v;
    }
    std::vector<ULONG> Front() { return BoardPixels(front_, 0, 0, cx_, cy_); }
    std::vector<ULONG> Back() { return BoardPixels(back_, 0, 0, cx_, cy_); }
    ULONG CopyPackets() {
        ULONG n = 0;
        for (int r = 0; r < board->rasterizers(); ++r)
            for (auto& p : Take(r))
                n += (p.command & 0x7Fu) == 0x26u && (p.command >> 12 & 0xFF) == 0x50;
        return n;
    }

    LONG cx_ = 0, cy_ = 0, pcx_ = 0, pcy_ = 0;
};

struct CoverCase {
    int rasterizers;
    ULONG bpp;
    int numX, numY;  // the rectangle covers numX/4 x numY/4 of page (1, 1)
    bool exchanged;  // page (1, 1) changes its slot
};

class SwapCoverTest : public SwapTest, public ::testing::WithParamInterface<CoverCase> {};

// Full, half and quarter pages: the front shows the back inside the
// rectangle and keeps its own pixels outside; pages at least half covered
// are exchanged (slot swapped), the others copied.
TEST_P(SwapCoverTest, FrontShowsBackInsideOnly) {
    const CoverCase c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Setup(c.rasterizers, c.bpp));
    const RECTL rcl = {pcx_, pcy_, pcx_ + pcx_ * c.numX / 4, pcy_ + pcy_ * c.numY / 4};
    const auto f = Front(), b = Back();
    const LONG sBefore = iFindSlot(ppdev, Dfb(front_)->ppb, pcx_, pcy_);
    Swap(rcl);
    const auto expect = Expected(f, b, [&](LONG x, LONG y) {
        return x >= rcl.left && x < rcl.right && y >= rcl.top && y < rcl.bottom;
    });
    EXPECT_TRUE(Front() == expect);
    const LONG sAfter = iFindSlot(ppdev, Dfb(front_)->ppb, pcx_, pcy_);
    EXPECT_EQ(sAfter != sBefore, c.exchanged);
    EXPECT_EQ(Errors(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Coverage, SwapCoverTest,
    ::testing::Values(CoverCase{1, 16, 4, 4, true}, CoverCase{1, 16, 4, 2, true},
                      CoverCase{1, 16, 2, 2, false}, CoverCase{4, 32, 4, 4, true},
                      CoverCase{4, 8, 2, 4, true}, CoverCase{4, 16, 2, 2, false}));

// A clip of more than 50 rectangles is taken in batches; only the last may
// exchange half-covered pages, and every clip rectangle shows the back.
TEST_F(SwapTest, ComplexClipOfManyRectangles) {
    ASSERT_NO_FATAL_FAILURE(Setup(4, 16));
    std::vector<RECTL> arcl;
    for (LONG y = 0; y < 400; y += 25)
        for (LONG x = (y / 25) % 2 * 20; x < 500; x += 40)
            arcl.push_back(RECTL{x, y, x + 20, y + 25});
    ASSERT_GT(arcl.size(), 50u);
    CLIPOBJ* pco = vnx::engine::create_clip(arcl.data(), static_cast<ULONG>(arcl.size()));
    const RECTL rcl = {10, 10, 450, 390};
    const auto f = Front(), b = Back();
    Swap(rcl, pco);
    const auto expect = Expected(f, b, [&](LONG x, LONG y) {
        if (x < rcl.left || x >= rcl.right || y < rcl.top || y >= rcl.bottom) return false;
        for (const RECTL& r : arcl)
            if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
        return false;
    });
    EXPECT_TRUE(Front() == expect);
    vnx::engine::delete_clip(pco);
}

// With syncSwapToVBlank the swap waits for a vertical retrace; without it
// none is needed.
TEST_F(SwapTest, VerticalBlankWaitHonoured) {
    ASSERT_NO_FATAL_FAILURE(Setup(1, 16));
    for (ULONG sync : {0u, 1u}) {
        ppdev->bc.syncSwapToVBlank = sync;
        const auto before = board->retraces(0);
        Swap(RECTL{0, 0, pcx_, pcy_});
        EXPECT_EQ(board->retraces(0) > before, sync != 0) << sync;
    }
}

// The remembered rectangle: two swaps of the same rectangle with only 3D
// drawing into the back buffer between them skip the remainder copy the
// second time.
TEST_F(SwapTest, RememberedRectangleKeptAcrossBackBuffer3D) {
    ASSERT_NO_FATAL_FAILURE(Setup(1, 16));
    const RECTL rcl = {0, 0, pcx_, pcy_ * 3 / 4};  // three quarters of page (0, 0)
    Swap(rcl);
    EXPECT_GT(CopyPackets(), 0u) << "the first swap copies the remainder";
    Swap(rcl);
    EXPECT_EQ(CopyPackets(), 0u) << "the identical swap copies no remainder";
    // 3D packets (into the back buffer) between the swaps.
    EnterCriticalSection(&ppdev->csEscape);
    ULONG* p = kz2AllocQueue(ppdev->pqm, 0, 64, 0, 0);
    kz2SoftUpdatePacketPtr(ppdev->pqm, p);
    p = kz2AllocFlushQueue(ppdev->pqm, 0, 64, nullptr, nullptr, nullptr, FALSE, nullptr);
    kz2SoftUpdatePacketPtr(ppdev->pqm, p);
    kz2FlushQueue(ppdev->pqm, static_cast<ULONG>(-1), nullptr, nullptr);
    LeaveCriticalSection(&ppdev->csEscape);
    Swap(rcl);
    EXPECT_EQ(CopyPackets(), 0u) << "3D drawing into the back buffer keeps the rectangle";
    // A swap of another kind forgets it.
    Swap(rcl, nullptr, 0x80000000u);
    CopyPackets();
    Swap(rcl);
    EXPECT_GT(CopyPackets(), 0u) << "after a page-masked swap";
}

// Whatever changed the front buffer outside the rectangle since the last
// swap shows after the next one: 3D drawing into the front buffer (which the
// GL server reports) and 2D drawing forget the rectangle, so the remainder
// is copied again and no stale pixel of the back buffer appears.
TEST_F(SwapTest, RememberedRectangleForgottenWhenTheFrontChanges) {
    ASSERT_NO_FATAL_FAILURE(Setup(1, 16));
    const RECTL rcl = {0, 0, pcx_, pcy_ * 3 / 4};
    const LONG x = 5, y = pcy_ - 2;  // in the remainder of page (0, 0)
    struct Change {
        const char* what;
        ULONG colour;
    };
    for (const Change& c : {Change{"3D into the front", 0x1234}, Change{"2D fill", 0x0F0F}}) {
        SCOPED_TRACE(c.what);
        Swap(rcl);
        Swap(rcl);
        CopyPackets();
        EnterCriticalSection(&ppdev->csEscape);
        if (c.colour == 0x1234) {
            kz2FrontBufferDrawn(ppdev->pqm);
            LeaveCriticalSection(&ppdev->csEscape);
            SetBoardPixel(front_, x, y, c.colour);
        } else {
            RECTL dot = {x, y, x + 1, y + 1};
            vFillSolid(front_, 0xF0F0, 0, c.colour, &dot, 1);
            kz2FlushQueue(ppdev->pqm, static_cast<ULONG>(-1), nullptr, nullptr);
            LeaveCriticalSection(&ppdev->csEscape);
        }
        ASSERT_EQ(BoardPixels(front_, x, y, 1, 1)[0], c.colour);
        Swap(rcl);
        EXPECT_GT(CopyPackets(), 0u);
        EXPECT_EQ(BoardPixels(front_, x, y, 1, 1)[0], c.colour) << "no stale pixel shows";
    }
    EXPECT_EQ(Errors(), "");
}

// The page mask: a set bit (bit 31 for the walk's first page) keeps a half
// covered page from being exchanged, so its part of the rectangle is
// copied; a bit of another page changes nothing for it.
TEST_F(SwapTest, PageMaskDemandsFullCoverage) {
    ASSERT_NO_FATAL_FAILURE(Setup(1, 16));
    const RECTL rcl = {0, 0, pcx_, pcy_ * 3 / 4};  // three quarters of page (0, 0)
    for (ULONG ulMask : {0x80000000u, 0x40000000u, 0u}) {
        SCOPED_TRACE(ulMask);
        const auto f = Front(), b = Back();
        const LONG sBefore = iFindSlot(ppdev, Dfb(front_)->ppb, 0, 0);
        Swap(rcl, nullptr, ulMask);
        EXPECT_TRUE(Front() == Expected(f, b, [&](LONG x, LONG y) {
                        return x >= rcl.left && x < rcl.right && y >= rcl.top && y < rcl.bottom;
                    }));
        EXPECT_EQ(iFindSlot(ppdev, Dfb(front_)->ppb, 0, 0) != sBefore, ulMask != 0x80000000u);
    }
    EXPECT_EQ(Errors(), "");
}

// The board configuration's masked-swap word makes every swap a
// plane-masked copy: at 16 bpp the main planes (mask 0x7FFFFF) are copied,
// the front's overlay bit stays, and no page is exchanged.
TEST_F(SwapTest, MaskedSwapSettingCopiesThroughTheMask) {
    ASSERT_NO_FATAL_FAILURE(Setup(1, 16));
    ScopedValue<std::uint32_t> masked(ppdev->bc.maskedSwap, 1u);
    const RECTL rcl = {0, 0, pcx_, pcy_};  // all of page (0, 0)
    const auto f = Front(), b = Back();
    const LONG sBefore = iFindSlot(ppdev, Dfb(front_)->ppb, 0, 0);
    Swap(rcl);
    EXPECT_EQ(iFindSlot(ppdev, Dfb(front_)->ppb, 0, 0), sBefore) << "nothing exchanged";
    const auto now = Front();
    for (LONG y = 0; y < cy_; ++y)
        for (LONG x = 0; x < cx_; ++x) {
            const std::size_t i = static_cast<std::size_t>(y * cx_ + x);
            const bool in = x < rcl.right && y < rcl.bottom;
            ASSERT_EQ(now[i], in ? (b[i] & 0x7FFFu) | (f[i] & 0x8000u) : f[i]) << x << "," << y;
        }
    EXPECT_EQ(Errors(), "");
}

// Plane-masked swaps: the overlay bit alone at 16 bpp; at 32 bpp the pids
// end at format 0xA000; fPlanes 2 without bDirect draws nothing.
TEST_F(SwapTest, MaskedSwaps) {
    ASSERT_NO_FATAL_FAILURE(Setup(1, 16, 128, 128));
    const RECTL rcl = {0, 0, 64, 64};
    auto f = Front(), b = Back();
    Swap(rcl, nullptr, 0, TRUE, 2);
    auto now = Front();
    for (LONG y = 0; y < 128; ++y)
        for (LONG x = 0; x < 128; ++x) {
            const ULONG i = static_cast<ULONG>(y * 128 + x);
            const bool in = x < 64 && y < 64;
            const ULONG want = in ? (f[i] & 0x7FFFu) | (b[i] & 0x8000u) : f[i];
            ASSERT_EQ(now[i], want) << x << "," << y;
        }
    f = Front();
    Swap(rcl, nullptr, 0, FALSE, 2);
    EXPECT_TRUE(Front() == f);
}

TEST_F(SwapTest, MaskedOverlaySwapAt32KeepsFormat) {
    ASSERT_NO_FATAL_FAILURE(Setup(1, 32, 128, 128));
    const auto f = Front(), b = Back();
    Swap(RECTL{0, 0, 128, 128}, nullptr, 0, TRUE, 2);
    EXPECT_EQ(Dfb(front_)->pid & PID_FORMAT_MASK, PID_FORMAT_32);
    EXPECT_EQ(Dfb(back_)->pid & PID_FORMAT_MASK, PID_FORMAT_32);
    const auto now = Front();
    for (std::size_t i = 0; i < now.size(); ++i)
        ASSERT_EQ(now[i], (f[i] & 0xFFFFFFu) | (b[i] & 0xFF000000u)) << i;
}

// On a stereo page configuration the walk covers both eyes: the rectangle
// repeated one screen height lower shows the back buffer too, pages of
// either eye are exchanged or copied by their own coverage, and nothing
// outside the rectangle changes.
class SwapStereoTest : public SwapTest, public ::testing::WithParamInterface<int> {};

TEST_P(SwapStereoTest, SwapsBothEyes) {
    ASSERT_NO_FATAL_FAILURE(Setup(GetParam(), 16));
    PAGECONFIG pc = ppdev->pPageConfig != nullptr ? *ppdev->pPageConfig : PAGECONFIG{};
    pc.fStereo = 1;
    ScopedValue<PAGECONFIG*> stereo(ppdev->pPageConfig, &pc);
    // One page row an eye: the second eye is the second row.
    ScopedValue<LONG> eye(ppdev->cyScreen, pcy_);
    // Page (0, 0) three eighths covered (copied), page (1, 0) three
    // quarters (exchanged, its remainder copied first).
    const RECTL rcl = {pcx_ / 2, 0, 2 * pcx_, pcy_ * 3 / 4};
    const auto f = Front(), b = Back();
    const LONG sLeft = iFindSlot(ppdev, Dfb(front_)->ppb, 0, pcy_);
    const LONG sRight = iFindSlot(ppdev, Dfb(front_)->ppb, pcx_, pcy_);
    Swap(rcl);
    const auto expect = Expected(f, b, [&](LONG x, LONG y) {
        const LONG yEye = y % pcy_;
        return x >= rcl.left && x < rcl.right && yEye >= rcl.top && yEye < rcl.bottom;
    });
    EXPECT_TRUE(Front() == expect);
    EXPECT_EQ(iFindSlot(ppdev, Dfb(front_)->ppb, 0, pcy_), sLeft) << "second eye, page (0, 1)";
    EXPECT_NE(iFindSlot(ppdev, Dfb(front_)->ppb, pcx_, pcy_), sRight) << "second eye, page (1, 1)";
    EXPECT_EQ(Errors(), "");
}

INSTANTIATE_TEST_SUITE_P(Rasterizers, SwapStereoTest, ::testing::Values(1, 4));

// The masked swap on a stereo page configuration copies the second eye as
// well, and leaves the surfaces' origins and the screen height as they were.
TEST_F(SwapTest, StereoMaskedSwapCopiesBothEyes) {
    ASSERT_NO_FATAL_FAILURE(Setup(1, 16, 128, 128));
    PAGECONFIG pc = ppdev->pPageConfig != nullptr ? *ppdev->pPageConfig : PAGECONFIG{};
    pc.fStereo = 1;
    ScopedValue<PAGECONFIG*> stereo(ppdev->pPageConfig, &pc);
    ScopedValue<LONG> eye(ppdev->cyScreen, 64);
    const LONG yFront = Dfb(front_)->y, yBack = Dfb(back_)->y;
    const RECTL rcl = {8, 4, 100, 40};
    const auto f = Front(), b = Back();
    Swap(rcl, nullptr, 0, TRUE, 1);
    const auto expect = Expected(f, b, [&](LONG x, LONG y) {
        const LONG yEye = y % 64;
        return x >= rcl.left && x < rcl.right && yEye >= rcl.top && yEye < rcl.bottom;
    });
    const auto now = Front();
    for (std::size_t i = 0; i < now.size(); ++i) {
        const ULONG want = (expect[i] & 0x7FFFu) | (f[i] & 0x8000u);  // mask 0x7FFFFF: bit 15 kept
        ASSERT_EQ(now[i], want) << i % 128 << "," << i / 128;
    }
    EXPECT_EQ(ppdev->cyScreen, 64);
    EXPECT_EQ(Dfb(front_)->y, yFront);
    EXPECT_EQ(Dfb(back_)->y, yBack);
}

}  // namespace
}  // namespace vnx::test
