// The 3D buffer sizing on its own: twice the primary, then a 24- or 16-bit
// depth buffer, then either enough memory left or the tight 32-bpp case
// with the alternate buffer; and the primary's board-memory rectangle.
#include <gtest/gtest.h>

#include <memory>

#include "surface/surface.h"

namespace {

struct Sizing {
    const char* name;
    ULONG cQueues, cQueuesPerScreen, bSplit;
    ULONG memoryClass;
    LONG cx, cy;
    ULONG bpp;
    ULONG depthAsked;
    BOOL bResult;
    ULONG cDepthBits;
    ULONG fAltBuffer;
    ULONG doubleBuffer = 0;  // a back buffer is asked for (its pages count)
    ULONG xCode = 0;         // the board's x multiplier code
};

// Pages: class 1 at 32 bpp 256x128 (128 KB), at 16 bpp 256x256; class 2 at
// 32 bpp 256x256 (256 KB), at 16 bpp 256x512. One screen's memory is 32
// pages of each of its rasterizers.
const Sizing kRows[] = {
    // 4 MB; primary 768x512x4 = 1.5 MB twice; 16-bit depth 0.75 MB; 0.25 MB left.
    {"16-bit depth, room left", 1, 1, 0, 1, 640, 480, 32, 16, TRUE, 16, 0},
    // A 24-bit depth buffer (1.5 MB + 256 KB) does not fit in the 1 MB left.
    {"24 asked, 16 fits", 1, 1, 0, 1, 640, 480, 32, 24, TRUE, 16, 0},
    // 16 MB on four rasterizers: 24 bits fit.
    {"24-bit depth", 4, 4, 0, 1, 640, 480, 32, 24, TRUE, 24, 0},
    {"no depth asked", 1, 1, 0, 1, 640, 480, 32, 0, FALSE, 0, 0},
    // 4 MB; primary 1.5 MB twice; 1.5 MB of 16-bit depth do not fit in 1 MB.
    {"no depth buffer fits", 1, 1, 0, 1, 1024, 768, 16, 16, FALSE, 0, 0},
    // 4 MB cannot hold 1024x640x4 = 2.5 MB twice.
    {"primary twice too large", 1, 1, 0, 1, 800, 600, 32, 16, FALSE, 0, 0},
    // 8 MB; primary 1024x768x4 = 3 MB twice; depth 1024x1024x2 = 2 MB; 0 left,
    // but 224 pixels of padding right of the screen.
    {"tight, alternate buffer", 1, 1, 0, 2, 800, 600, 32, 16, TRUE, 16, 1},
    {"tight, no padding", 1, 1, 0, 2, 1024, 768, 32, 16, FALSE, 16, 0},
    // A split board of two solos: one screen's memory is one rasterizer's,
    // and the tight case needs a single queue.
    {"tight on a split board", 2, 1, 1, 2, 800, 600, 32, 16, FALSE, 16, 0},
    // The page slots count as well: 16 MB on four rasterizers hold the
    // bytes, but primary and back take 2 x 12 of the 32 slots; a 24-bit
    // depth buffer's 12 pages do not fit, a 16-bit one's 6 do (the tiles
    // may alias the 32-bpp back buffer).
    {"24 asked, only 16 fits the slots", 4, 4, 0, 1, 640, 480, 32, 24, TRUE, 16, 0, 1},
    // 1024 x 768 at 16 bpp: 12 pages each for primary, back and depth.
    {"bytes fit, slots do not", 4, 4, 0, 1, 1024, 768, 16, 16, FALSE, 0, 0, 1},
    // Without a back buffer the same board holds primary, depth and tiles.
    {"no back buffer", 4, 4, 0, 1, 1024, 768, 16, 16, TRUE, 16, 0, 0},
    // Class 0 with x code 3: pages of 512 x 128 at 32 bpp (x4), 8 MB. The
    // sizing rounds to pages 8 times as wide: the primary 1024 x 768 x 4 twice
    // (6 MB), the 16-bit depth buffer 2048 x 768 x 2 (3 MB) does not fit
    // (with code 2 it would be 1.5 MB and fit).
    {"x code 3 counts 8", 1, 1, 0, 0, 1024, 768, 32, 16, FALSE, 0, 0, 0, 3},
    {"x code 2 counts 4", 1, 1, 0, 0, 1024, 768, 32, 16, TRUE, 16, 0, 0, 2},
};

TEST(SurfaceSizingTest, ThreeDBufferSizing) {
    for (const Sizing& row : kRows) {
        SCOPED_TRACE(row.name);
        auto pdev = std::make_unique<PDEV>();
        PDEV* ppdev = pdev.get();
        const ULONG iPixelClass = row.bpp == 32 ? 2 : row.bpp == 16 ? 1 : 0;
        ppdev->iPixelClass = iPixelClass;
        ppdev->iBitmapFormat = row.bpp == 32 ? BMF_32BPP : row.bpp == 16 ? BMF_16BPP : BMF_8BPP;
        ppdev->ulMemoryClass = row.memoryClass;
        ppdev->ulPageMulCodeX = row.xCode;
        ppdev->cxPageMul = row.xCode == 0 ? 1 : row.xCode == 1 ? 2 : 4;
        ppdev->cyPageMul = 1;
        ppdev->cxScreen = row.cx;
        ppdev->cyScreen = row.cy;
        ppdev->layout.cQueues = row.cQueues;
        ppdev->layout.cQueuesPerScreen = row.cQueuesPerScreen;
        ppdev->layout.bSplitScreen = row.bSplit;
        ppdev->bc.currentZDepth = row.depthAsked;
        ppdev->bc.doubleBuffer = row.doubleBuffer;
        PAGECONFIG pc = gaPageConfig[row.memoryClass * 3 + iPixelClass];
        pc.fAltBuffer = 7;
        pc.fStereo = 0;
        pc.aulGLSizing[2] = 7;
        ppdev->pPageConfig = &pc;

        EXPECT_EQ(bAlloc3dBuffers(ppdev), row.bResult);
        EXPECT_EQ(pc.cDepthBits, row.cDepthBits);
        if (row.bResult) {
            EXPECT_EQ(pc.fAltBuffer, row.fAltBuffer);
            EXPECT_EQ(pc.aulGLSizing[0], 8u);
            EXPECT_EQ(pc.aulGLSizing[1], 8u);
            EXPECT_EQ(pc.aulGLSizing[2], 0u);
            EXPECT_EQ(pc.aulGLSizing[3], 0u);
        }
    }
}

// The primary's rectangle: whole pages (multipliers included), twice the
// height in stereo, and 2047 where only the rounding went past it.
TEST(SurfaceSizingTest, PrimaryExtent) {
    struct Row {
        LONG cx, cy;
        LONG cxPageMul;
        BOOL bStereo;
        LONG cxExpected, cyExpected;
    };
    // 16 bpp, class 1: pages of 256 x 256.
    const Row rows[] = {
        {800, 600, 1, FALSE, 1024, 768},
        {800, 600, 4, FALSE, 1024, 768},
        {1280, 1024, 4, FALSE, 2047, 1024},  // rounded to 2048, cut to 2047
        {640, 480, 1, TRUE, 768, 1024},
        {1024, 1024, 1, TRUE, 1024, 2048},  // 2048 rows of two eyes are not cut
    };
    for (const Row& row : rows) {
        auto pdev = std::make_unique<PDEV>();
        pdev->iBitmapFormat = BMF_16BPP;
        pdev->iPixelClass = 1;
        pdev->ulMemoryClass = 1;
        pdev->cxPageMul = row.cxPageMul;
        pdev->cyPageMul = 1;
        pdev->cxScreen = row.cx;
        pdev->cyScreen = row.cy;
        LONG cx = 0, cy = 0;
        vPrimaryExtent(pdev.get(), row.bStereo, &cx, &cy);
        EXPECT_EQ(cx, row.cxExpected) << row.cx << " x" << row.cxPageMul;
        EXPECT_EQ(cy, row.cyExpected) << row.cy;
    }
}

}  // namespace
