// The zoomed image write (kz2WriteRectZoom): the zoom of each axis, the
// write against a reference image, the clip box, the conversion of 32-bit
// sources, and the refusals.
#include <gtest/gtest.h>

#include "display/xfer/xfer_fixture.h"

namespace {

using vnx::test::XferTest;

TEST(XferZoomMap, SourcesOfEachOutput) {
    struct Row {
        LONG cSrc;
        ULONG whole, fraction;
        LONG iFirst, cOut;
        std::vector<LONG> want;
        LONG total;
    };
    const Row rows[] = {
        {6, 1, 0, 0, 6, {0, 1, 2, 3, 4, 5}, 6},
        {6, 2, 0, 0, 12, {0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5}, 12},
        // A half step: every second source carries once more.
        {6, 1, 0x8000, 0, 9, {0, 1, 1, 2, 3, 3, 4, 5, 5}, 9},
        {6, 1, 0x8000, 2, 5, {1, 2, 3, 3, 4}, 9},
        // Shrinking: only the sources that carry are written.
        {6, 0, 0x8000, 0, 3, {1, 3, 5}, 3},
        {6, 0, 0x8000, 2, 3, {5, -1, -1}, 3},
        {3, 3, 0xC000, 0, 11, {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2}, 11},
        {5, 0, 0, 0, 2, {-1, -1}, 0},
    };
    for (const Row& r : rows) {
        std::vector<LONG> got(r.cOut, 99);
        EXPECT_EQ(cZoomMap(got.data(), r.iFirst, r.cOut, r.cSrc, r.whole, r.fraction), r.total);
        EXPECT_EQ(got, r.want) << r.whole << " " << r.fraction << " from " << r.iFirst;
    }
}

// The reference zoom of one axis, as the accumulators run.
std::vector<LONG> Axis(LONG cSrc, ULONG whole, ULONG fraction) {
    std::vector<LONG> out;
    ULONG acc = 0x7FD3;
    for (LONG s = 0; s < cSrc; ++s) {
        ULONG n = whole;
        acc += fraction;
        if (acc > 0xFFFF) {
            ++n;
            acc &= 0xFFFF;
        }
        for (ULONG k = 0; k < n; ++k) out.push_back(s);
    }
    return out;
}

class XferZoom : public XferTest {
  protected:
    // Writes the source zoomed at (x, y) of dev under the clip box and
    // checks every pixel of dev: the reference image inside the zoomed area
    // and the box, the old pixel elsewhere.
    void WriteAndCheck(SURFOBJ* dev, SURFOBJ* src, POINTL ptlSrc, LONG x, LONG y, LONG cx, LONG cy,
                       ULONG z0, ULONG z1, ULONG z2, ULONG z3, RECTL box, ULONG iShift) {
        const LONG cxDev = reinterpret_cast<DSURF*>(dev->dhsurf)->cx;
        const LONG cyDev = reinterpret_cast<DSURF*>(dev->dhsurf)->cy;
        const std::vector<ULONG> before = BoardPixels(dev, 0, 0, cxDev, cyDev);
        RECTL rcl{x, y, x + cx, y + cy};
        EXPECT_EQ(kz2WriteRectZoom(dev, src, &rcl, &ptlSrc, z0, z1, z2, z3, box.left, box.top,
                                   box.right, box.bottom),
                  1u);
        const std::vector<LONG> cols = Axis(src->sizlBitmap.cx - ptlSrc.x, z0, z2);
        const std::vector<LONG> rows = Axis(src->sizlBitmap.cy - ptlSrc.y, z1, z3);
        const std::vector<ULONG> after = BoardPixels(dev, 0, 0, cxDev, cyDev);
        for (LONG j = 0; j < cyDev; ++j) {
            for (LONG i = 0; i < cxDev; ++i) {
                const LONG c = i - x, r = j - y;
                const bool written = c >= 0 && c < cx && r >= 0 && r < cy &&
                                     c < static_cast<LONG>(cols.size()) &&
                                     r < static_cast<LONG>(rows.size()) && i >= box.left &&
                                     i < box.right && j >= box.top && j < box.bottom;
                ULONG want = before[j * cxDev + i];
                if (written) {
                    want = HostPixel(src, ptlSrc.x + cols[c], ptlSrc.y + rows[r]);
                    if (src->iBitmapFormat == BMF_32BPP) want = ulConvert32(want, iShift);
                }
                ASSERT_EQ(after[j * cxDev + i], want) << i << "," << j;
            }
        }
    }
};

TEST_F(XferZoom, EnlargedImageAcrossTiles) {
    BootXfer(4, 32);
    SURFOBJ* dev = DeviceBitmap(300, 160);
    RandomizeBoard(dev, 71);
    SURFOBJ* src = HostBitmap(40, 20, BMF_32BPP);
    Randomize(src, 72);
    // 2.25 times wide, 3.5 times high.
    WriteAndCheck(dev, src, POINTL{0, 0}, 5, 7, 90, 70, 2, 3, 0x4000, 0x8000, RECTL{0, 0, 300, 160},
                  2);
    EXPECT_EQ(Errors(), "");
}

TEST_F(XferZoom, TheClipBoxCutsColumnsAndRowsBeforeIt) {
    BootXfer(2, 32);
    SURFOBJ* dev = DeviceBitmap(200, 100);
    RandomizeBoard(dev, 73);
    SURFOBJ* src = HostBitmap(30, 20, BMF_32BPP, true);
    Randomize(src, 74);
    WriteAndCheck(dev, src, POINTL{3, 2}, 10, 5, 150, 90, 1, 2, 0xC000, 0x5555,
                  RECTL{37, 21, 140, 63}, 2);
}

class XferZoomDepth : public XferZoom, public testing::WithParamInterface<ULONG> {};

TEST_P(XferZoomDepth, ThirtyTwoBitSourcesConvert) {
    const ULONG bpp = GetParam();
    BootXfer(1, bpp);
    SURFOBJ* dev = DeviceBitmap(64, 40);
    SURFOBJ* src = HostBitmap(10, 6, BMF_32BPP);
    Randomize(src, 75);
    SetHostPixel(src, 0, 0, 0x00FF8040);
    WriteAndCheck(dev, src, POINTL{0, 0}, 0, 0, 64, 40, 3, 2, 0x8000, 0x8000, RECTL{0, 0, 64, 40},
                  bpp == 16 ? 1 : 0);
    EXPECT_EQ(BoardPixels(dev, 0, 0, 1, 1)[0], bpp == 16 ? 0x7E08u : 0xF1u);
}

INSTANTIATE_TEST_SUITE_P(Depths, XferZoomDepth, testing::Values(8u, 16u));

TEST_F(XferZoom, SameDepthSourcesAreCopiedAndShrunk) {
    BootXfer(4, 16);
    SURFOBJ* dev = DeviceBitmap(100, 60);
    RandomizeBoard(dev, 76);
    SURFOBJ* src = HostBitmap(90, 50, BMF_16BPP);
    Randomize(src, 77);
    // Two thirds: the output is smaller than the rectangle asked for.
    WriteAndCheck(dev, src, POINTL{0, 0}, 4, 4, 90, 50, 0, 0, 0xAAAA, 0xAAAA, RECTL{0, 0, 100, 60},
                  1);
}

TEST_F(XferZoom, RefusalsWriteNothing) {
    BootXfer(1, 32);
    SURFOBJ* dev = DeviceBitmap(32, 32);
    SURFOBJ* src = HostBitmap(8, 8, BMF_32BPP);
    Randomize(src, 78);
    RECTL rcl{0, 0, 32, 32};
    POINTL ptl{0, 0};
    // A host bitmap is no destination.
    EXPECT_EQ(kz2WriteRectZoom(src, src, &rcl, &ptl, 1, 1, 0, 0, 0, 0, 32, 32), 0u);
    // A source point outside the image.
    POINTL outside{8, 0};
    EXPECT_EQ(kz2WriteRectZoom(dev, src, &rcl, &outside, 1, 1, 0, 0, 0, 0, 32, 32), 0u);
    SURFOBJ* mono = HostBitmap(8, 8, BMF_1BPP);
    EXPECT_EQ(kz2WriteRectZoom(dev, mono, &rcl, &ptl, 1, 1, 0, 0, 0, 0, 32, 32), 0u);
    EXPECT_TRUE(Records(0).empty());
    EXPECT_EQ(BoardPixels(dev, 0, 0, 32, 32), std::vector<ULONG>(32 * 32, 0));
}

}  // namespace
