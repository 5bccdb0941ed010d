// On-board copies on a split board (two boards, each showing one screen of
// the joined desktop): copies from the first screen to the second, back,
// inside the second screen and straddling the boundary, checked against the
// engine's software copy on an identical host bitmap.
#include <gtest/gtest.h>

#include <random>

#include "copy/copy.h"
#include "display/xfer/xfer_fixture.h"
#include "platform/engine.h"
#include "rop/rop.h"

namespace vnx::test {
namespace {

constexpr LONG kcxScreen = 1024;
constexpr LONG kcxDesktop = 2 * kcxScreen - 1;  // as the primary surface of a split board
constexpr LONG kcyArea = 320;
constexpr LONG kxArea = 640;  // the randomised columns: [kxArea, kxArea + kcxArea)
constexpr LONG kcxArea = 768;

class CopySplitTest : public XferTest, public ::testing::WithParamInterface<bool> {
  protected:
    // A 16-bit split board of four rasterizers per board with a desktop-wide
    // device bitmap at the block's origin; columns around the screen
    // boundary hold random pixels, mirrored in a host bitmap.
    void SetUp() override {
        XferTest::SetUp();
        auto cfg = Machine(4, 2);
        cfg.twoStagingBuffers = GetParam();
        ASSERT_NO_FATAL_FAILURE(BootXfer(cfg, 16));
        ASSERT_EQ(ppdev->layout.bSplitScreen, 1u);
        ASSERT_EQ(ppdev->cxScreen, kcxScreen);
        ppdev->cxSurface = kcxDesktop;  // what the primary surface's enable sets
        POINTL at = {0, 0};
        dev_ = DeviceBitmap(kcxDesktop, kcyArea, &at);
        ASSERT_NE(dev_, nullptr);
        ASSERT_EQ(Dfb(dev_)->x, 0);
        host_ = HostBitmap(kcxDesktop, kcyArea, ppdev->iBitmapFormat);
        std::mt19937 rng(11);
        for (LONG y = 0; y < kcyArea; ++y)
            for (LONG x = kxArea; x < kxArea + kcxArea; ++x) {
                const ULONG v = rng() & 0xFFFFu;
                *Pixel(x, y) = static_cast<USHORT>(v);
                SetHostPixel(host_, x, y, v);
            }
    }

    // The stored pixel of desktop (x, y) in its tile owner's memory: the
    // second screen's pixels lie at x - 1024 of the second board.
    USHORT* Pixel(LONG x, LONG y) {
        const int iBoard = x >= kcxScreen ? 1 : 0;
        const LONG xMemory = x - iBoard * kcxScreen;
        BYTE* p = board->pixel(board->tile_owner(iBoard, xMemory, y), Pid(dev_), xMemory, y);
        EXPECT_NE(p, nullptr) << x << ", " << y;
        static USHORT dummy;
        return p != nullptr ? reinterpret_cast<USHORT*>(p) : &dummy;
    }

    void Copy(RECTL rcl, POINTL ptl, ULONG rop3) { CopyBoth(dev_, host_, rcl, ptl, rop3); }

    // The area on the board equals the host bitmap.
    void ExpectSame(const char* what) {
        LONG bad = 0, xFirst = -1, yFirst = -1;
        for (LONG y = 0; y < kcyArea; ++y)
            for (LONG x = kxArea; x < kxArea + kcxArea; ++x)
                if (*Pixel(x, y) != HostPixel(host_, x, y)) {
                    if (bad++ == 0) xFirst = x, yFirst = y;
                }
        EXPECT_EQ(bad, 0) << what << ": first at (" << xFirst << ", " << yFirst << ")";
    }

    SURFOBJ* dev_ = nullptr;
    SURFOBJ* host_ = nullptr;
};

struct SplitCase {
    const char* name;
    RECTL rcl;
    POINTL src;
    LONG iClass;
    ULONG rop3;
};

// Every class of a split copy: on the board inside one screen (overlapping
// and across rasterizers, with a ROP), through host memory across the
// boundary in both directions and straddling it.
// (With and without the second staging buffer for second-screen sources.)
TEST_P(CopySplitTest, MatchesEngineCopy) {
    const SplitCase cases[] = {
        {"first screen", {700, 10, 900, 200}, {712, 3}, 1, 0xCC},
        {"second screen, right", {1110, 50, 1400, 300}, {1100, 40}, 2, 0xCC},
        {"second screen, left", {1030, 5, 1300, 260}, {1090, 30}, 2, 0xCC},
        {"second screen, rop", {1040, 20, 1390, 200}, {1050, 100}, 2, 0x66},
        {"first to second", {1100, 10, 1300, 200}, {800, 30}, 3, 0xCC},
        {"second to first", {800, 40, 1000, 240}, {1100, 20}, 4, 0xCC},
        {"first to straddling", {1000, 0, 1100, 90}, {700, 100}, 5, 0xCC},
        {"second to straddling", {990, 100, 1200, 310}, {1050, 0}, 6, 0xCC},
        {"straddling to first", {650, 60, 800, 160}, {1000, 70}, 7, 0xCC},
        {"straddling to second", {1200, 200, 1400, 300}, {1000, 190}, 8, 0xCC},
        {"straddling onto itself", {1010, 150, 1100, 250}, {1000, 160}, 9, 0xCC},
    };
    for (const SplitCase& c : cases) {
        EXPECT_EQ(iClassifySplitCopy(ppdev, c.rcl, c.src), c.iClass) << c.name;
        ASSERT_NO_FATAL_FAILURE(Copy(c.rcl, c.src, c.rop3));
        ExpectSame(c.name);
    }
    // Second-screen sources are staged in the second buffer when there are
    // two, else everything goes through the first.
    const ULONG ulSecond = ppdev->DmaDescription.ulStaging1Bus;
    ULONG cSecond = 0;
    for (int r = 0; r < board->rasterizers(); ++r)
        for (const auto& t : Records(r))
            cSecond += t.bus >= ulSecond && t.bus < ulSecond + XFER_STAGING_BYTES;
    EXPECT_EQ(cSecond > 0, GetParam());
    EXPECT_EQ(Errors(), "");
}

INSTANTIATE_TEST_SUITE_P(Staging, CopySplitTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "TwoBuffers" : "OneBuffer"; });

}  // namespace
}  // namespace vnx::test
