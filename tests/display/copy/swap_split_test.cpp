// The buffer swap on a split board (two boards, each showing one screen of
// the joined desktop), checked in pixels on both boards: pages exchanged on
// each screen by its own slot table and only in that screen's rasterizers,
// a page mask that keeps a second-screen page from being exchanged, the
// masked-swap setting and the overlay-plane copy; and the order of the slot
// register writes against the vertical-blank wait, read from the board's
// event log.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "copy/copy.h"
#include "display/copy/swap_fixture.h"
#include "platform/engine.h"
#include "vornix_swap.h"

namespace vnx::test {
namespace {

using vnx::board::BoardEvent;

constexpr LONG kcxScreen = 1024;
constexpr LONG kcxDesktop = 2 * kcxScreen - 1;  // the primary surface of a split board
constexpr LONG kcy = 256;                       // one page row of the 16-bpp pages

class SwapSplitTest : public SwapFixture, public ::testing::WithParamInterface<BoardModel> {
  protected:
    // Desktop-wide front and back buffers at board (0, 0) of two page
    // blocks, random pixels on both boards.
    void SetUp() override {
        XferTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(BootXfer(Machine(GetParam()), 16));
        ASSERT_EQ(ppdev->layout.bSplitScreen, 1u);
        ppdev->cxSurface = kcxDesktop;
        vPageSize(ppdev, ppdev->iBitmapFormat, &pcx_, &pcy_);
        ASSERT_EQ(pcy_, kcy);
        ASSERT_EQ(kcxScreen % pcx_, 0);
        ASSERT_NO_FATAL_FAILURE(MakeBuffers(kcxDesktop, kcy));
        std::mt19937 rng(7);
        for (SURFOBJ* pso : {front_, back_})
            for (LONG y = 0; y < kcy; ++y)
                for (LONG x = 0; x < kcxDesktop; ++x) *Pixel(pso, x, y) = rng() & 0xFFFFu;
        TakeAll();
    }

    // The stored pixel of desktop (x, y) of a buffer: the second screen's
    // pixels lie at x - 1024 of the second board.
    USHORT* Pixel(SURFOBJ* pso, LONG x, LONG y) {
        const int iBoard = x >= kcxScreen ? 1 : 0;
        const LONG xMemory = x - iBoard * kcxScreen;
        BYTE* p = board->pixel(board->tile_owner(iBoard, xMemory, y), Pid(pso), xMemory, y);
        static USHORT dummy;
        return p != nullptr ? reinterpret_cast<USHORT*>(p) : &dummy;
    }
    std::vector<ULONG> Image(SURFOBJ* pso) {
        std::vector<ULONG> v;
        v.reserve(static_cast<std::size_t>(kcxDesktop) * kcy);
        for (LONG y = 0; y < kcy; ++y)
            for (LONG x = 0; x < kcxDesktop; ++x) v.push_back(*Pixel(pso, x, y));
        return v;
    }

    // The front after a swap of rcl: want(front, back) inside the
    // rectangle, the front's own pixels outside; answers the first wrong
    // pixel's place, or "".
    template <typename Want>
    std::string Check(const std::vector<ULONG>& f, const std::vector<ULONG>& b, const RECTL& rcl,
                      Want want) {
        const std::vector<ULONG> now = Image(front_);
        for (LONG y = 0; y < kcy; ++y)
            for (LONG x = 0; x < kcxDesktop; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * kcxDesktop + x;
                const bool in = x >= rcl.left && x < rcl.right && y >= rcl.top && y < rcl.bottom;
                if (now[i] != (in ? want(f[i], b[i]) : f[i]))
                    return "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
            }
        return "";
    }

    // The slot of the front buffer's page at memory x on screen t.
    LONG FrontSlot(ULONG t, LONG xMemory) const {
        const PAGEBLOCK* ppb = Dfb(front_)->ppb;
        for (ULONG s = 0; s < PAGE_SLOTS; ++s) {
            const PAGESLOT& slot = ppdev->aaSlot[t][s];
            if (slot.ppb == ppb && slot.x == xMemory && slot.y == 0) return static_cast<LONG>(s);
        }
        return -1;
    }
    // Index in the swap's page mask (bit 31 first) of the page at memory x
    // on screen t: the walk takes screen by screen, rows over the screen
    // height, columns of page width.
    ULONG MaskBit(ULONG t, LONG xMemory) const {
        const ULONG cols = static_cast<ULONG>(kcxScreen / pcx_);
        const ULONG rows = static_cast<ULONG>((ppdev->cyScreen + pcy_ - 1) / pcy_);
        return 1u << (31 - (t * rows * cols + static_cast<ULONG>(xMemory / pcx_)));
    }
    int FirstOfBoard(int b) const { return b * GetParam().rasterizers; }

    LONG pcx_ = 0, pcy_ = 0;
};

// A rectangle over the screen boundary, three quarters of a page row high:
// on each screen the page at the boundary is more than half covered and
// exchanged in that screen's table alone, its remainder copied first; the
// front shows the back inside the rectangle on both boards and nothing else
// changes.
TEST_P(SwapSplitTest, ExchangesPagesOnEachScreen) {
    const LONG xLast = kcxScreen - pcx_;  // the first screen's last page
    const RECTL rcl = {xLast + pcx_ / 4, 0, kcxScreen + pcx_ * 3 / 4, kcy * 3 / 4};
    const LONG s0 = FrontSlot(0, xLast), s1 = FrontSlot(1, 0), s1Left = FrontSlot(1, xLast);
    ASSERT_GE(s0, 0);
    ASSERT_EQ(FrontSlot(1, xLast), s0) << "the tables agree before the swap";
    const auto f = Image(front_), b = Image(back_);
    Swap(rcl);
    EXPECT_EQ(Check(f, b, rcl, [](ULONG, ULONG bp) { return bp; }), "");
    EXPECT_NE(FrontSlot(0, xLast), s0) << "first screen's page exchanged";
    EXPECT_NE(FrontSlot(1, 0), s1) << "second screen's page exchanged";
    EXPECT_EQ(FrontSlot(0, 0), s1) << "the first screen's table keeps its own page (0, 0)";
    EXPECT_EQ(FrontSlot(1, xLast), s1Left) << "the second screen's table keeps its page";
    // Each screen's rasterizers follow their own table.
    for (int r = 0; r < board->rasterizers(); ++r) {
        const ULONG t = r < FirstOfBoard(1) ? 0 : 1;
        for (ULONG s = 0; s < PAGE_SLOTS; ++s)
            ASSERT_EQ(board->read_register(r, VNX_REG_PAGE_SLOT0 + 4 * s),
                      ulSlotRegister(&ppdev->aaSlot[t][s]))
                << "rasterizer " << r << " slot " << s;
    }
    EXPECT_EQ(Errors(), "");
}

// The page mask counts the second screen's pages after the first's: the
// bit of the second screen's first page keeps it from being exchanged (its
// part of the rectangle is copied) while the first screen's page is still
// exchanged; the first screen's bit does the opposite.
TEST_P(SwapSplitTest, PageMaskReachesTheSecondScreen) {
    const LONG xLast = kcxScreen - pcx_;
    const RECTL rcl = {xLast + pcx_ / 4, 0, kcxScreen + pcx_ * 3 / 4, kcy * 3 / 4};
    struct Case {
        ULONG ulMask;
        bool first, second;  // exchanged
    };
    for (const Case c : {Case{MaskBit(1, 0), true, false}, Case{MaskBit(0, xLast), false, true}}) {
        SCOPED_TRACE(c.ulMask);
        const LONG s0 = FrontSlot(0, xLast), s1 = FrontSlot(1, 0);
        const auto f = Image(front_), b = Image(back_);
        Swap(rcl, nullptr, c.ulMask);
        EXPECT_EQ(Check(f, b, rcl, [](ULONG, ULONG bp) { return bp; }), "");
        EXPECT_EQ(FrontSlot(0, xLast) != s0, c.first);
        EXPECT_EQ(FrontSlot(1, 0) != s1, c.second);
    }
    EXPECT_EQ(Errors(), "");
}

// The masked-swap setting makes the swap a plane-masked copy over both
// screens: the main planes of the back inside the rectangle, the front's
// overlay bit kept, no page exchanged. A direct overlay swap copies only
// the overlay bit, also on the second board.
TEST_P(SwapSplitTest, MaskedSwapsCopyOverBothScreens) {
    const RECTL rcl = {kcxScreen - 300, 20, kcxScreen + 300, 200};
    {
        ScopedValue<std::uint32_t> masked(ppdev->bc.maskedSwap, 1u);
        const LONG s0 = FrontSlot(0, kcxScreen - pcx_), s1 = FrontSlot(1, 0);
        const auto f = Image(front_), b = Image(back_);
        Swap(rcl);
        EXPECT_EQ(Check(f, b, rcl,
                        [](ULONG fp, ULONG bp) { return (bp & 0x7FFFu) | (fp & 0x8000u); }),
                  "");
        EXPECT_EQ(FrontSlot(0, kcxScreen - pcx_), s0);
        EXPECT_EQ(FrontSlot(1, 0), s1);
    }
    const auto f = Image(front_), b = Image(back_);
    Swap(rcl, nullptr, 0, TRUE, 2);
    EXPECT_EQ(Check(f, b, rcl, [](ULONG fp, ULONG bp) { return (fp & 0x7FFFu) | (bp & 0x8000u); }),
              "");
    EXPECT_EQ(Errors(), "");
}

// The slot registers change only after the vertical-blank wait: after the
// remainder copies reached the board, after every queue was drained (its
// close record decoded) and, when swaps wait for the retrace, after the
// retrace and the RAMDAC's toggle store. An exchange on one screen writes
// only that screen's rasterizers.
TEST_P(SwapSplitTest, SlotRegistersWrittenAfterTheVerticalBlankWait) {
    const LONG xLast = kcxScreen - pcx_;
    const RECTL rcl = {xLast + pcx_ / 4, 0, kcxScreen + pcx_ * 3 / 4, kcy * 3 / 4};
    for (ULONG sync : {1u, 0u}) {
        SCOPED_TRACE(sync);
        ScopedValue<std::uint32_t> vsync(ppdev->bc.syncSwapToVBlank, sync);
        board->set_event_log(true);
        Swap(rcl, nullptr, MaskBit(0, xLast));  // only the second screen's page is exchanged
        const std::vector<BoardEvent> log = board->take_events();
        board->set_event_log(false);

        std::size_t firstSlot = log.size();
        for (std::size_t i = 0; i < log.size(); ++i)
            if (log[i].kind == BoardEvent::SlotWrite) {
                firstSlot = std::min(firstSlot, i);
                EXPECT_GE(log[i].unit, FirstOfBoard(1)) << "a first-screen rasterizer's slot";
            }
        ASSERT_LT(firstSlot, log.size()) << "no slot register written";
        std::size_t nSlots = 0;
        for (const BoardEvent& e : log) nSlots += e.kind == BoardEvent::SlotWrite;
        EXPECT_EQ(nSlots, 2u * static_cast<std::size_t>(GetParam().rasterizers))
            << "two slots in each second-screen rasterizer";

        // Before the first slot write: the remainder copies and, after the
        // last of them, each rasterizer's close record.
        std::vector<int> lastCopy(board->rasterizers(), -1), lastClose(board->rasterizers(), -1);
        for (std::size_t i = 0; i < firstSlot; ++i) {
            if (log[i].kind != BoardEvent::Item) continue;
            if (log[i].value == static_cast<std::uint32_t>(ItemKind::Packet))
                lastCopy[log[i].unit] = static_cast<int>(i);
            if (log[i].value == static_cast<std::uint32_t>(ItemKind::Transfer))
                lastClose[log[i].unit] = static_cast<int>(i);
        }
        EXPECT_GE(*std::max_element(lastCopy.begin(), lastCopy.end()), 0)
            << "the remainder copy came first";
        for (int r = 0; r < board->rasterizers(); ++r)
            if (lastCopy[r] >= 0) {
                EXPECT_GT(lastClose[r], lastCopy[r]) << "rasterizer " << r << " drained";
            }

        // The retrace and the toggle store of the first screen's RAMDAC.
        int retrace = -1, toggle = -1;
        for (std::size_t i = 0; i < log.size(); ++i) {
            if (log[i].kind == BoardEvent::Retrace && log[i].unit == 0 && retrace < 0)
                retrace = static_cast<int>(i);
            if (log[i].kind == BoardEvent::RamdacWrite && log[i].unit == 0 && log[i].index == 0x36)
                toggle = static_cast<int>(i);
        }
        if (sync != 0) {
            ASSERT_GE(retrace, 0);
            ASSERT_GE(toggle, 0);
            EXPECT_LT(static_cast<std::size_t>(toggle), firstSlot);
            EXPECT_LT(retrace, toggle);
            for (int r = 0; r < board->rasterizers(); ++r)
                EXPECT_LT(lastClose[r], retrace) << "drained before the retrace wait";
        } else {
            EXPECT_LT(retrace, 0);
            EXPECT_LT(toggle, 0);
        }
    }
    EXPECT_EQ(Errors(), "");
}

INSTANTIATE_TEST_SUITE_P(Split, SwapSplitTest,
                         ::testing::Values(kSplitSolo, kSplitDuo, kSplitQuad), BoardModelName);

}  // namespace
}  // namespace vnx::test
