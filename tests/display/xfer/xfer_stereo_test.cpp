// The stereo image cache: its list operations, what it keeps when a bitmap is
// read from a stereo screen, and how writing the bitmap back restores both
// eyes.
#include <gtest/gtest.h>

#include <algorithm>

#include "display/xfer/xfer_fixture.h"

namespace {

using vnx::test::XferTest;

class StereoCache : public XferTest {
  protected:
    void SetUp() override {
        XferTest::SetUp();
        BootXfer(4, 32);
        ppdev->cyScreen = kEye;  // the second eye starts kEye rows down
    }
    STEREOENTRY* Head() { return static_cast<STEREOENTRY*>(ppdev->StereoCache.pHead); }
    static constexpr LONG kEye = 48;
};

TEST_F(StereoCache, AnEleventhEntryEvictsTheOldest) {
    SURFOBJ* bitmaps[11];
    const RECTL rcl{0, 0, 8, 8};
    for (int i = 0; i < 11; ++i) {
        bitmaps[i] = HostBitmap(8, 8, BMF_32BPP);
        ASSERT_NE(pStereoCacheAdd(ppdev, bitmaps[i], &rcl), nullptr);
        EXPECT_EQ(cStereoCacheEntries(ppdev), static_cast<ULONG>(std::min(i + 1, 10)));
    }
    EXPECT_EQ(pStereoCacheFind(ppdev, bitmaps[0], bitmaps[0]->lDelta, &rcl), nullptr);
    for (int i = 1; i < 11; ++i)
        EXPECT_NE(pStereoCacheFind(ppdev, bitmaps[i], bitmaps[i]->lDelta, &rcl), nullptr) << i;
    // Newest first, linked both ways.
    EXPECT_EQ(Head()->pso, bitmaps[10]);
    EXPECT_EQ(Head()->pPrev, nullptr);
    EXPECT_EQ(Head()->pNext->pPrev, Head());
}

TEST_F(StereoCache, FindMatchesBitmapStrideAndRectangle) {
    SURFOBJ* a = HostBitmap(64, 32, BMF_32BPP);
    SURFOBJ* b = HostBitmap(64, 32, BMF_32BPP);
    const RECTL kept{10, 4, 50, 20};
    STEREOENTRY* pe = pStereoCacheAdd(ppdev, a, &kept);
    ASSERT_NE(pe, nullptr);
    struct Row {
        SURFOBJ* pso;
        LONG lDelta;
        RECTL rcl;
        bool found;
    };
    const Row rows[] = {
        {a, a->lDelta, {10, 4, 50, 20}, true},
        {a, a->lDelta, {20, 4, 40, 20}, true},   // inside: left and right within
        {a, a->lDelta, {9, 4, 40, 20}, false},   // further left
        {a, a->lDelta, {10, 4, 51, 20}, false},  // further right
        {a, a->lDelta, {10, 5, 50, 20}, false},  // another top
        {a, a->lDelta, {10, 4, 50, 19}, false},  // another bottom
        {a, a->lDelta + 4, {10, 4, 50, 20}, false},
        {b, b->lDelta, {10, 4, 50, 20}, false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(pStereoCacheFind(ppdev, r.pso, r.lDelta, &r.rcl) == pe, r.found)
            << r.rcl.left << "," << r.rcl.top << "," << r.rcl.right << "," << r.rcl.bottom;
    ppdev->StereoCache.fDisabled = 1;
    EXPECT_EQ(pStereoCacheFind(ppdev, a, a->lDelta, &kept), nullptr);
    ppdev->StereoCache.fDisabled = 0;
}

TEST_F(StereoCache, UnlinkAndFreeFrom) {
    SURFOBJ* a = HostBitmap(8, 8, BMF_8BPP);
    const RECTL rcl{0, 0, 8, 8};
    STEREOENTRY* e[4];
    for (auto& pe : e) pe = pStereoCacheAdd(ppdev, a, &rcl);  // list: e3 e2 e1 e0
    vStereoCacheUnlink(ppdev, e[2]);
    EXPECT_EQ(e[3]->pNext, e[1]);
    EXPECT_EQ(e[1]->pPrev, e[3]);
    vStereoCacheFreeFrom(ppdev, e[2]);  // alone now: just itself
    EXPECT_EQ(cStereoCacheEntries(ppdev), 3u);
    vStereoCacheFreeFrom(ppdev, e[1]);  // e1 and e0
    EXPECT_EQ(cStereoCacheEntries(ppdev), 1u);
    EXPECT_EQ(e[3]->pNext, nullptr);
    vStereoCacheUnlink(ppdev, e[3]);
    EXPECT_EQ(Head(), nullptr);
    vStereoCacheFreeFrom(ppdev, e[3]);
}

TEST_F(StereoCache, AddRefusesBitmapsItCannotHold) {
    const RECTL rcl{0, 0, 8, 8};
    SURFOBJ* bottomUp = HostBitmap(8, 8, BMF_32BPP, true);
    EXPECT_EQ(pStereoCacheAdd(ppdev, bottomUp, &rcl), nullptr);
    SURFOBJ* small = HostBitmap(8, 8, BMF_32BPP);
    const RECTL past{0, 0, 9, 8};
    EXPECT_EQ(pStereoCacheAdd(ppdev, small, &past), nullptr);
    vnx::faults::arm("LocalAlloc", 1);  // the bits
    EXPECT_EQ(pStereoCacheAdd(ppdev, small, &rcl), nullptr);
    EXPECT_EQ(cStereoCacheEntries(ppdev), 0u);
}

TEST_F(StereoCache, DiffersComparesWholePixelsAtEveryDepth) {
    // A difference in the last byte of a row's last pixel counts at 32 bits
    // a pixel; at 8 bits only the rectangle's bytes are read.
    for (ULONG iFormat : {BMF_8BPP, BMF_16BPP, BMF_32BPP}) {
        SCOPED_TRACE(iFormat);
        const ULONG cj = vnx::test::BytesOfFormat(iFormat);
        SURFOBJ* a = HostBitmap(40, 10, iFormat);
        Randomize(a, 81);
        const RECTL rcl{30, 6, 40, 10};  // the bottom-right corner
        STEREOENTRY* pe = pStereoCacheAdd(ppdev, a, &rcl);
        ASSERT_NE(pe, nullptr);
        std::memcpy(pe->pjBits, a->pvScan0, a->cjBits);
        EXPECT_FALSE(bStereoCacheDiffers(pe, a, cj == 1 ? 0 : cj == 2 ? 1 : 2));
        pe->pjBits[9 * a->lDelta + 40 * cj - 1] ^= 0x80;
        EXPECT_TRUE(bStereoCacheDiffers(pe, a, cj == 1 ? 0 : cj == 2 ? 1 : 2));
        // Outside the rectangle nothing counts.
        pe->pjBits[9 * a->lDelta + 40 * cj - 1] ^= 0x80;
        pe->pjBits[9 * a->lDelta + 29 * cj] ^= 0x80;
        EXPECT_FALSE(bStereoCacheDiffers(pe, a, cj == 1 ? 0 : cj == 2 ? 1 : 2));
    }
    // Whole rows compare as one block.
    SURFOBJ* full = HostBitmap(16, 4, BMF_32BPP);
    const RECTL all{0, 1, 16, 3};
    STEREOENTRY* pe = pStereoCacheAdd(ppdev, full, &all);
    ASSERT_NE(pe, nullptr);
    EXPECT_FALSE(bStereoCacheDiffers(pe, full, 2));
    pe->pjBits[2 * full->lDelta + 63] = 1;
    EXPECT_TRUE(bStereoCacheDiffers(pe, full, 2));
}

TEST_F(StereoCache, ReadingAStereoScreenKeepsADifferentSecondEye) {
    SURFOBJ* dev = DeviceBitmap(100, 2 * kEye);
    RandomizeBoard(dev, 82);
    SURFOBJ* host = HostBitmap(100, kEye, BMF_32BPP);
    RECTL rcl{0, 0, 100, kEye};
    POINTL ptl{0, 0};
    EXPECT_TRUE(vDownloadClipped(host, dev, nullptr, &rcl, &ptl, 1));
    EXPECT_EQ(HostPixels(host, 0, 0, 100, kEye), BoardPixels(dev, 0, 0, 100, kEye));
    ASSERT_EQ(cStereoCacheEntries(ppdev), 1u);
    STEREOENTRY* pe = Head();
    EXPECT_EQ(pe->pso, host);
    EXPECT_EQ(pe->right, 100);
    EXPECT_EQ(pe->bottom, kEye);
    const std::vector<ULONG> second = BoardPixels(dev, 0, 0, 100, kEye, kEye);
    for (LONG y = 0; y < kEye; ++y) {
        for (LONG x = 0; x < 100; ++x) {
            ULONG v;
            std::memcpy(&v, pe->pjBits + y * pe->lDelta + 4 * x, 4);
            ASSERT_EQ(v, second[y * 100 + x]) << x << "," << y;
        }
    }

    // Writing the bitmap back (after the board changed) restores both eyes.
    const std::vector<ULONG> first = BoardPixels(dev, 0, 0, 100, kEye);
    RandomizeBoard(dev, 83);
    EXPECT_TRUE(vUploadClipped(dev, host, nullptr, &rcl, &ptl, 1));
    EXPECT_EQ(BoardPixels(dev, 0, 0, 100, kEye), first);
    EXPECT_EQ(BoardPixels(dev, 0, 0, 100, kEye, kEye), second);

    // A part of the kept rectangle finds the entry too.
    RandomizeBoard(dev, 84);
    RECTL part{20, 0, 60, kEye};
    POINTL ptlPart{20, 0};
    EXPECT_TRUE(vUploadClipped(dev, host, nullptr, &part, &ptlPart, 1));
    for (LONG y = 0; y < kEye; ++y)
        ASSERT_EQ(BoardPixels(dev, 20, y, 40, 1, kEye),
                  std::vector<ULONG>(second.begin() + y * 100 + 20, second.begin() + y * 100 + 60));
}

TEST_F(StereoCache, AnEqualSecondEyeIsDropped) {
    SURFOBJ* dev = DeviceBitmap(64, 2 * kEye);
    SURFOBJ* image = HostBitmap(64, kEye, BMF_32BPP);
    Randomize(image, 85);
    RECTL rcl{0, 0, 64, kEye};
    POINTL ptl{0, 0};
    EXPECT_TRUE(vUploadClipped(dev, image, nullptr, &rcl, &ptl, 1));  // both eyes alike
    SURFOBJ* host = HostBitmap(64, kEye, BMF_32BPP);
    EXPECT_TRUE(vDownloadClipped(host, dev, nullptr, &rcl, &ptl, 1));
    EXPECT_EQ(HostPixels(host, 0, 0, 64, kEye), HostPixels(image, 0, 0, 64, kEye));
    EXPECT_EQ(cStereoCacheEntries(ppdev), 0u);
}

TEST_F(StereoCache, WithoutAnEntryBothEyesGetTheSameBits) {
    SURFOBJ* dev = DeviceBitmap(64, 2 * kEye);
    RandomizeBoard(dev, 86);
    SURFOBJ* image = HostBitmap(64, kEye, BMF_32BPP);
    Randomize(image, 87);
    RECTL rcl{0, 0, 64, kEye};
    POINTL ptl{0, 0};
    EXPECT_TRUE(vUploadClipped(dev, image, nullptr, &rcl, &ptl, 1));
    EXPECT_EQ(BoardPixels(dev, 0, 0, 64, kEye), HostPixels(image, 0, 0, 64, kEye));
    EXPECT_EQ(BoardPixels(dev, 0, 0, 64, kEye, kEye), HostPixels(image, 0, 0, 64, kEye));
}

TEST_F(StereoCache, DisabledOrOutOfMemoryTheReadIsOnePass) {
    SURFOBJ* dev = DeviceBitmap(64, 2 * kEye);
    RandomizeBoard(dev, 88);
    SURFOBJ* host = HostBitmap(64, kEye, BMF_32BPP);
    RECTL rcl{0, 0, 64, kEye};
    POINTL ptl{0, 0};

    ppdev->StereoCache.fDisabled = 1;
    TakeAll();
    EXPECT_TRUE(vDownloadClipped(host, dev, nullptr, &rcl, &ptl, 1));
    ppdev->StereoCache.fDisabled = 0;
    EXPECT_EQ(cStereoCacheEntries(ppdev), 0u);
    // The first eye's rows only.
    const ULONG yEye = static_cast<ULONG>(Dfb(dev)->y + kEye);
    size_t cFirst = 0, cSecond = 0;
    for (int r = 0; r < 4; ++r)
        for (const auto& t : Records(r)) ((t.position >> 16) >= yEye ? cSecond : cFirst) += 1;
    EXPECT_GE(cFirst, static_cast<size_t>(kEye));
    EXPECT_EQ(cSecond, 0u);

    vnx::faults::arm("LocalAlloc", 0, -1);
    EXPECT_TRUE(vDownloadClipped(host, dev, nullptr, &rcl, &ptl, 1));
    vnx::faults::clear();
    EXPECT_EQ(cStereoCacheEntries(ppdev), 0u);
    EXPECT_EQ(HostPixels(host, 0, 0, 64, kEye), BoardPixels(dev, 0, 0, 64, kEye));
}

}  // namespace
