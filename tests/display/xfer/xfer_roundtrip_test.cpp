// Host transfers through the board: images go host -> board -> host at every
// depth, on one and four rasterizers, through the direct path (rows in a
// staging buffer) and the bounce buffer, top-down and bottom-up, whole and
// clipped; the second eye of stereo screens; the overlay bit of 16-bit
// screens; 32-bit sources converted to the device's depth.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "display/xfer/xfer_fixture.h"

namespace {

using vnx::test::BytesOfFormat;
using vnx::test::FormatOfBpp;
using vnx::test::Machine;
using vnx::test::ScopedValue;
using vnx::test::XferTest;

struct Case {
    ULONG bpp;
    int rasterizers;
    bool direct;
    bool bottomUp;
};

std::string Name(const testing::TestParamInfo<Case>& info) {
    const Case& c = info.param;
    return std::to_string(c.bpp) + "bpp_" + std::to_string(c.rasterizers) + "r_" +
           (c.direct ? "direct" : "bounce") + (c.bottomUp ? "_bottomup" : "");
}

class XferRoundTrip : public XferTest, public testing::WithParamInterface<Case> {
  protected:
    void SetUp() override {
        XferTest::SetUp();
        BootXfer(GetParam().rasterizers, GetParam().bpp);
    }
    ULONG Format() const { return FormatOfBpp(GetParam().bpp); }
    // A host bitmap of the device's format, in staging buffer iBuffer for
    // the direct path.
    SURFOBJ* Host(LONG cx, LONG cy, ULONG iBuffer) {
        PVOID pv = GetParam().direct ? pjStagingBuffer(ppdev, iBuffer) : nullptr;
        return HostBitmap(cx, cy, Format(), GetParam().bottomUp, pv);
    }
};

TEST_P(XferRoundTrip, UploadThenDownload) {
    // The device bitmap straddles tile and page edges.
    const POINTL at{100, 60};
    SURFOBJ* dev = DeviceBitmap(200, 100, &at);
    SURFOBJ* a = Host(200, 100, 0);
    SURFOBJ* b = Host(200, 100, 1);
    Randomize(a, 11);
    RECTL rcl{0, 0, 200, 100};
    POINTL zero{0, 0};
    const BOOL bViaBuffer = GetParam().direct ? FALSE : TRUE;
    vUploadRect(dev, a, &rcl, &zero, bViaBuffer, 0, nullptr);
    vFlushDevice(dev);
    EXPECT_EQ(BoardPixels(dev, 0, 0, 200, 100), HostPixels(a, 0, 0, 200, 100));

    vDownloadRect(b, dev, &rcl, &zero, bViaBuffer, 0);
    vFlushDevice(dev);
    EXPECT_EQ(HostPixels(b, 0, 0, 200, 100), HostPixels(a, 0, 0, 200, 100));
}

TEST_P(XferRoundTrip, PartsOfBothSurfaces) {
    // A rectangle inside both surfaces, from and to points other than 0.
    const POINTL at{0, 0};
    SURFOBJ* dev = DeviceBitmap(300, 90, &at);
    RandomizeBoard(dev, 12);
    const std::vector<ULONG> before = BoardPixels(dev, 0, 0, 300, 90);
    SURFOBJ* a = Host(120, 50, 0);
    SURFOBJ* b = Host(120, 50, 1);
    Randomize(a, 13);
    const BOOL bViaBuffer = GetParam().direct ? FALSE : TRUE;
    RECTL rcl{130, 20, 230, 60};  // 100 x 40
    POINTL ptl{7, 3};
    vUploadRect(dev, a, &rcl, &ptl, bViaBuffer, 0, nullptr);
    vFlushDevice(dev);
    const std::vector<ULONG> after = BoardPixels(dev, 0, 0, 300, 90);
    for (LONG y = 0; y < 90; ++y) {
        for (LONG x = 0; x < 300; ++x) {
            const bool inside = x >= 130 && x < 230 && y >= 20 && y < 60;
            const ULONG want = inside ? HostPixel(a, x - 130 + 7, y - 20 + 3) : before[y * 300 + x];
            ASSERT_EQ(after[y * 300 + x], want) << x << "," << y;
        }
    }

    RECTL rclHost{5, 9, 105, 49};
    POINTL ptlDev{130, 20};
    vDownloadRect(b, dev, &rclHost, &ptlDev, bViaBuffer, 0);
    vFlushDevice(dev);
    EXPECT_EQ(HostPixels(b, 5, 9, 100, 40), HostPixels(a, 7, 3, 100, 40));
}

INSTANTIATE_TEST_SUITE_P(Depths, XferRoundTrip,
                         testing::Values(Case{8, 1, false, false}, Case{16, 1, false, false},
                                         Case{32, 1, false, false}, Case{8, 4, false, true},
                                         Case{16, 4, false, false}, Case{32, 4, false, true},
                                         Case{8, 1, true, false}, Case{16, 4, true, true},
                                         Case{32, 4, true, false}, Case{32, 2, true, true}),
                         Name);

// --- the CopyBits paths: clipped, flushed -------------------------------------------

class XferClipped : public XferTest, public testing::WithParamInterface<ULONG> {
  protected:
    void SetUp() override {
        XferTest::SetUp();
        BootXfer(4, GetParam());
    }
};

TEST_P(XferClipped, OnlyTheClipChanges) {
    const ULONG format = FormatOfBpp(GetParam());
    SURFOBJ* dev = DeviceBitmap(260, 140);
    RandomizeBoard(dev, 21);
    const std::vector<ULONG> before = BoardPixels(dev, 0, 0, 260, 140);
    SURFOBJ* a = HostBitmap(200, 120, format, true);
    Randomize(a, 22);
    const RECTL clips[] = {{0, 0, 60, 30}, {100, 10, 250, 25}, {20, 100, 40, 140}};
    CLIPOBJ* pco = vnx::engine::create_clip(clips, 3);
    ASSERT_NE(pco, nullptr);
    RECTL rcl{30, 5, 230, 125};
    POINTL ptl{0, 0};
    EXPECT_TRUE(vUploadClipped(dev, a, pco, &rcl, &ptl, 0));
    const std::vector<ULONG> after = BoardPixels(dev, 0, 0, 260, 140);
    for (LONG y = 0; y < 140; ++y) {
        for (LONG x = 0; x < 260; ++x) {
            bool inClip = false;
            for (const RECTL& c : clips)
                inClip |= x >= c.left && x < c.right && y >= c.top && y < c.bottom;
            const bool inside =
                inClip && x >= rcl.left && x < rcl.right && y >= rcl.top && y < rcl.bottom;
            const ULONG want = inside ? HostPixel(a, x - 30, y - 5) : before[y * 260 + x];
            ASSERT_EQ(after[y * 260 + x], want) << x << "," << y;
        }
    }

    // Back into a host bitmap under the same clip.
    SURFOBJ* b = HostBitmap(260, 140, format);
    RECTL rclAll{0, 0, 260, 140};
    POINTL zero{0, 0};
    EXPECT_TRUE(vDownloadClipped(b, dev, pco, &rclAll, &zero, 0));
    for (LONG y = 0; y < 140; ++y) {
        for (LONG x = 0; x < 260; ++x) {
            bool inClip = false;
            for (const RECTL& c : clips)
                inClip |= x >= c.left && x < c.right && y >= c.top && y < c.bottom;
            ASSERT_EQ(HostPixel(b, x, y), inClip ? after[y * 260 + x] : 0u) << x << "," << y;
        }
    }
    vnx::engine::delete_clip(pco);
    EXPECT_EQ(Errors(), "");
}

TEST_P(XferClipped, RectanglesReachingPastEitherSurfaceMoveWhatBothHold) {
    const ULONG format = FormatOfBpp(GetParam());
    const POINTL at{0, 0};
    SURFOBJ* dev = DeviceBitmap(100, 50, &at);
    SURFOBJ* a = HostBitmap(40, 30, format);
    Randomize(a, 23);
    // Past the device's right and bottom edge, from a point left of and
    // above the host bitmap.
    RECTL rcl{80, 40, 140, 90};
    POINTL ptl{-10, -5};
    EXPECT_TRUE(vUploadClipped(dev, a, nullptr, &rcl, &ptl, 0));
    // Device (90, 45) .. (100, 50) from host (0, 0).
    EXPECT_EQ(BoardPixels(dev, 90, 45, 10, 5), HostPixels(a, 0, 0, 10, 5));
    EXPECT_EQ(BoardPixels(dev, 80, 40, 10, 5), std::vector<ULONG>(50, 0));

    SURFOBJ* b = HostBitmap(40, 30, format);
    RECTL rclHost{30, 20, 90, 70};
    POINTL ptlDev{95, 45};
    EXPECT_TRUE(vDownloadFlush(b, dev, &rclHost, &ptlDev, 0));
    EXPECT_EQ(HostPixels(b, 30, 20, 5, 5), BoardPixels(dev, 95, 45, 5, 5));
    EXPECT_EQ(Errors(), "");
}

INSTANTIATE_TEST_SUITE_P(Depths, XferClipped, testing::Values(8u, 16u, 32u));

// --- refusals -------------------------------------------------------------------------

TEST_F(XferTest, DownloadFromAnUnknownFormatSaysSoAndMovesNothing) {
    BootXfer(1, 32);
    SURFOBJ* dev = DeviceBitmap(16, 16);
    SURFOBJ* host = HostBitmap(16, 16, BMF_24BPP);
    SURFOBJ odd = *dev;
    odd.iBitmapFormat = BMF_24BPP;
    RECTL rcl{0, 0, 16, 16};
    POINTL ptl{0, 0};
    vnx::debug::take();
    vDownloadRect(host, &odd, &rcl, &ptl, TRUE, 0);
    EXPECT_EQ(vnx::debug::take(), "invalid psoSrc->iBitmapFormat: 5\n");
    EXPECT_TRUE(Records(0).empty());
}

TEST_F(XferTest, UploadOfAnotherDepthIsRefused) {
    BootXfer(1, 16);
    SURFOBJ* dev = DeviceBitmap(16, 16);
    SURFOBJ* host = HostBitmap(16, 16, BMF_8BPP);
    Randomize(host, 31);
    RECTL rcl{0, 0, 16, 16};
    POINTL ptl{0, 0};
    EXPECT_FALSE(vUploadClipped(dev, host, nullptr, &rcl, &ptl, 0));
    EXPECT_FALSE(vDownloadClipped(host, dev, nullptr, &rcl, &ptl, 0));
    EXPECT_TRUE(Records(0).empty());
}

// --- stereo: the second eye lies cyScreen rows lower ----------------------------------

class XferStereo : public XferTest {
  protected:
    void SetUp() override {
        XferTest::SetUp();
        BootXfer(4, 16);
        ppdev->cyScreen = kEye;  // a small screen: the second eye starts 40 rows down
    }
    static constexpr LONG kEye = 40;
};

TEST_F(XferStereo, UploadsWriteTheEyesTheModeAsksFor) {
    SURFOBJ* dev = DeviceBitmap(150, 2 * kEye);
    SURFOBJ* a = HostBitmap(150, kEye, BMF_16BPP);
    Randomize(a, 41);
    RECTL rcl{0, 0, 150, kEye};
    POINTL ptl{0, 0};
    const std::vector<ULONG> image = HostPixels(a, 0, 0, 150, kEye);
    const std::vector<ULONG> zeros(image.size(), 0);

    EXPECT_TRUE(vUploadClipped(dev, a, nullptr, &rcl, &ptl, 3));
    EXPECT_EQ(BoardPixels(dev, 0, 0, 150, kEye), zeros);
    EXPECT_EQ(BoardPixels(dev, 0, 0, 150, kEye, kEye), image);

    RandomizeBoard(dev, 42);
    EXPECT_TRUE(vUploadClipped(dev, a, nullptr, &rcl, &ptl, 1));
    EXPECT_EQ(BoardPixels(dev, 0, 0, 150, kEye), image);
    EXPECT_EQ(BoardPixels(dev, 0, 0, 150, kEye, kEye), image);
}

TEST_F(XferStereo, DownloadOfTheSecondEye) {
    SURFOBJ* dev = DeviceBitmap(150, 2 * kEye);
    RandomizeBoard(dev, 43);
    SURFOBJ* b = HostBitmap(150, kEye, BMF_16BPP);
    RECTL rcl{0, 0, 150, kEye};
    POINTL ptl{0, 0};
    EXPECT_TRUE(vDownloadClipped(b, dev, nullptr, &rcl, &ptl, 3));
    EXPECT_EQ(HostPixels(b, 0, 0, 150, kEye), BoardPixels(dev, 0, 0, 150, kEye, kEye));
}

// --- the overlay bit of 16-bit screens -----------------------------------------------

class XferOverlay : public XferTest {
  protected:
    void SetUp() override {
        XferTest::SetUp();
        BootXfer(2, 16);
        ppdev->cGLOverlayContexts = 1;
    }
    void TearDown() override {
        if (ppdev != nullptr) ppdev->cGLOverlayContexts = 0;
        XferTest::TearDown();
    }
};

TEST_F(XferOverlay, BounceRowsLoseTheOverlayBitBothWays) {
    SURFOBJ* dev = DeviceBitmap(100, 20);
    ASSERT_EQ(Pid(dev) & PID_FORMAT_MASK, PID_FORMAT_16);
    SURFOBJ* a = HostBitmap(100, 20, BMF_16BPP);
    for (LONG y = 0; y < 20; ++y)
        for (LONG x = 0; x < 100; ++x)
            SetHostPixel(a, x, y, 0x8000u | static_cast<ULONG>(x * 97 + y));
    RECTL rcl{0, 0, 100, 20};
    POINTL ptl{0, 0};
    vUploadRect(dev, a, &rcl, &ptl, TRUE, 0, nullptr);
    vFlushDevice(dev);
    for (ULONG p : BoardPixels(dev, 0, 0, 100, 20)) ASSERT_EQ(p & 0x8000u, 0u);
    EXPECT_EQ(BoardPixels(dev, 0, 0, 1, 1)[0], 0u);
    EXPECT_EQ(BoardPixels(dev, 3, 2, 1, 1)[0], ULONG{3 * 97 + 2});

    // Reading back a screen whose pixels carry the overlay bit clears it.
    for (LONG y = 0; y < 20; ++y)
        for (LONG x = 0; x < 100; ++x)
            SetBoardPixel(dev, x, y, 0x8000u | static_cast<ULONG>(x + 7 * y));
    SURFOBJ* b = HostBitmap(100, 20, BMF_16BPP);
    EXPECT_TRUE(vDownloadClipped(b, dev, nullptr, &rcl, &ptl, 0));
    for (LONG y = 0; y < 20; ++y)
        for (LONG x = 0; x < 100; ++x) ASSERT_EQ(HostPixel(b, x, y), static_cast<ULONG>(x + 7 * y));
}

TEST_F(XferOverlay, OtherFormatsKeepTheBit) {
    // A pid of format 0x6000 is not the overlay screen format.
    SURFOBJ* dev = DeviceBitmap(30, 4);
    DfbAssignFormat(reinterpret_cast<DSURF*>(dev->dhsurf), PID_FORMAT_16_INDEXED);
    SURFOBJ* a = HostBitmap(30, 4, BMF_16BPP);
    Randomize(a, 51);
    SetHostPixel(a, 0, 0, 0xFFFF);
    RECTL rcl{0, 0, 30, 4};
    POINTL ptl{0, 0};
    vUploadRect(dev, a, &rcl, &ptl, TRUE, 0, nullptr);
    vFlushDevice(dev);
    EXPECT_EQ(BoardPixels(dev, 0, 0, 30, 4), HostPixels(a, 0, 0, 30, 4));
}

// --- 32-bit sources -----------------------------------------------------------------------

class XferUpload32 : public XferTest, public testing::WithParamInterface<ULONG> {
  protected:
    void SetUp() override {
        XferTest::SetUp();
        BootXfer(4, GetParam());
    }
};

TEST_P(XferUpload32, PixelsArriveConverted) {
    const ULONG iShift = GetParam() == 8 ? 0 : GetParam() == 16 ? 1 : 2;
    SURFOBJ* dev = DeviceBitmap(170, 30);
    SURFOBJ* a = HostBitmap(170, 30, BMF_32BPP, true);
    Randomize(a, 61);
    SetHostPixel(a, 0, 0, 0x00FF8040);
    RECTL rcl{0, 0, 170, 30};
    POINTL ptl{0, 0};
    EXPECT_TRUE(vUploadClipped(dev, a, nullptr, &rcl, &ptl, 0));
    std::vector<ULONG> want;
    for (ULONG c : HostPixels(a, 0, 0, 170, 30)) want.push_back(ulConvert32(c, iShift));
    EXPECT_EQ(BoardPixels(dev, 0, 0, 170, 30), want);
    const ULONG first[] = {0xF1, 0x7E08, 0x00FF8040};
    EXPECT_EQ(BoardPixels(dev, 0, 0, 1, 1)[0], first[iShift]);
}

TEST_P(XferUpload32, BothEyesInStereo) {
    ppdev->cyScreen = 20;
    SURFOBJ* dev = DeviceBitmap(50, 40);
    SURFOBJ* a = HostBitmap(50, 20, BMF_32BPP);
    Randomize(a, 62);
    RECTL rcl{0, 0, 50, 20};
    POINTL ptl{0, 0};
    EXPECT_TRUE(vUpload32(dev, a, nullptr, &rcl, &ptl, 1));
    EXPECT_EQ(BoardPixels(dev, 0, 0, 50, 20), BoardPixels(dev, 0, 0, 50, 20, 20));
    EXPECT_NE(BoardPixels(dev, 0, 0, 50, 20), std::vector<ULONG>(1000, 0));
}

INSTANTIATE_TEST_SUITE_P(Depths, XferUpload32, testing::Values(8u, 16u, 32u));

// --- the same-format upload of an overlay screen -----------------------------------

TEST(XferTile, EdgeFromTheSizeBits) {
    // Bits 7-8 give the edge; the tile's row and column (bits 9-12) do not.
    EXPECT_EQ(cxTileEdge(0xA060u), 32);                        // size 0
    EXPECT_EQ(cxTileEdge(0xA0E0u), 64);                        // size 1
    EXPECT_EQ(cxTileEdge(0xA160u | 1u << 11), 128);            // size 2, row 1
    EXPECT_EQ(cxTileEdge(0xA1E0u | 3u << 11 | 2u << 9), 256);  // size 3, row 3, column 2
    EXPECT_EQ(cxTileEdge(0xA060u | 3u << 11), 32);             // size 0, row 3
}

TEST_F(XferOverlay, SameFormatUploadStagesTheImageWithoutTheOverlayBit) {
    HSURF h = CreateIGBETile(ppdev, 64, PID_FORMAT_32, 0);
    ASSERT_NE(h, nullptr);
    SURFOBJ* staging = EngLockSurface(h);
    devices_.push_back(staging);
    ppdev->psoTmp = staging;
    const ULONG pidStaging = Pid(staging);
    ppdev->iPatternUniq = 77;

    SURFOBJ* dev = DeviceBitmap(100, 60);
    SURFOBJ* host = HostBitmap(40, 30, BMF_16BPP);
    for (LONG y = 0; y < 30; ++y)
        for (LONG x = 0; x < 40; ++x)
            SetHostPixel(host, x, y, 0x8000u | static_cast<ULONG>(x * 31 + y));
    RECTL rcl{10, 10, 50, 40};
    POINTL ptl{0, 0};
    EXPECT_TRUE(vUploadClipped(dev, host, nullptr, &rcl, &ptl, 0));
    ppdev->psoTmp = nullptr;

    // The staging tile's pid is back; as 16-bit pixels of format 0x80 it
    // holds the image without the overlay bit.
    EXPECT_EQ(Pid(staging), pidStaging);
    const DFB* pdfb = Dfb(staging);
    const auto staged = board->read_pixels(
        0, static_cast<USHORT>((pidStaging & 0x1FFF) | PID_FORMAT_16), pdfb->x, pdfb->y, 40, 30);
    for (LONG y = 0; y < 30; ++y)
        for (LONG x = 0; x < 40; ++x)
            ASSERT_EQ(staged[y * 40 + x], static_cast<ULONG>(x * 31 + y)) << x << "," << y;
    // The on-board copy it ends with loads the copy table through the
    // pattern surface, so the pattern registers are no longer known.
    EXPECT_EQ(ppdev->iPatternUniq, 0u);
}

// In stereo the overlay upload stages each eye's piece and copies it to that
// eye: the second eye's pixels come from the staged rows, not from rows an
// eye lower in the staging tile; on four rasterizers the copy goes through
// the multi-rasterizer walker.
TEST_F(XferTest, StereoOverlayUploadCopiesEachEyeFromItsStagedRows) {
    ASSERT_NO_FATAL_FAILURE(BootXfer(4, 16));
    ppdev->cGLOverlayContexts = 1;
    constexpr LONG kEye = 40;
    ScopedValue<LONG> eye(ppdev->cyScreen, kEye);
    HSURF h = CreateIGBETile(ppdev, 128, PID_FORMAT_32, 0);
    ASSERT_NE(h, nullptr);
    SURFOBJ* staging = EngLockSurface(h);
    devices_.push_back(staging);
    ScopedValue<SURFOBJ*> tmp(ppdev->psoTmp, staging);

    SURFOBJ* dev = DeviceBitmap(300, 2 * kEye);
    SURFOBJ* host = HostBitmap(200, 30, BMF_16BPP);
    for (LONG y = 0; y < 30; ++y)
        for (LONG x = 0; x < 200; ++x)
            SetHostPixel(host, x, y, 0x8000u | static_cast<ULONG>(x * 31 + y));
    const RECTL rcl{90, 5, 290, 35};  // across tile columns 0, 1 and 2
    for (ULONG iMode : {3u, 1u}) {
        SCOPED_TRACE(iMode);
        RandomizeBoard(dev, 60 + iMode);
        const auto before = BoardPixels(dev, 0, 0, 300, 2 * kEye);
        RECTL r = rcl;
        POINTL ptl{0, 0};
        EXPECT_TRUE(vUploadClipped(dev, host, nullptr, &r, &ptl, iMode));
        const auto after = BoardPixels(dev, 0, 0, 300, 2 * kEye);
        for (LONG y = 0; y < 2 * kEye; ++y)
            for (LONG x = 0; x < 300; ++x) {
                const bool bSecond = y >= kEye;
                const LONG yIn = y % kEye;
                const bool bInside = x >= rcl.left && x < rcl.right && yIn >= rcl.top &&
                                     yIn < rcl.bottom && (bSecond || iMode == 1);
                // The colour bits; the overlay bit is not the concern here.
                const ULONG was = before[y * 300 + x] & 0x7FFFu;
                const ULONG want =
                    bInside ? static_cast<ULONG>((x - rcl.left) * 31 + yIn - rcl.top) & 0x7FFFu
                            : was;
                ASSERT_EQ(after[y * 300 + x] & 0x7FFFu, want) << x << "," << y;
            }
    }
    ppdev->cGLOverlayContexts = 0;
    EXPECT_EQ(Errors(), "");
}

// --- the overlay plane of 32-bit surfaces -------------------------------------------

TEST_F(XferTest, UploadsThroughTheOverlayPlaneWriteTheTopByte) {
    // As the GL server loads a texture's second image: the surface's pid
    // switched to format 6 for the transfer.
    BootXfer(2, 32);
    SURFOBJ* dev = DeviceBitmap(140, 12);
    RandomizeBoard(dev, 101);
    const std::vector<ULONG> before = BoardPixels(dev, 0, 0, 140, 12);
    SURFOBJ* a = HostBitmap(140, 12, BMF_32BPP);
    Randomize(a, 102);
    DFB* pdfb = reinterpret_cast<DSURF*>(dev->dhsurf)->pdfb;
    const ULONG pid = pdfb->pid;
    pdfb->pid = (pid & ~PID_FORMAT_MASK) | PID_FORMAT_OVERLAY;
    RECTL rcl{0, 0, 140, 12};
    POINTL ptl{0, 0};
    EXPECT_TRUE(vUploadClipped(dev, a, nullptr, &rcl, &ptl, 0));
    pdfb->pid = pid;
    for (int r = 0; r < 2; ++r)
        for (const auto& t : Records(r)) EXPECT_EQ(t.descriptor >> 17, 8u | 64u);
    const std::vector<ULONG> after = BoardPixels(dev, 0, 0, 140, 12);
    const std::vector<ULONG> image = HostPixels(a, 0, 0, 140, 12);
    for (size_t i = 0; i < after.size(); ++i)
        ASSERT_EQ(after[i], (before[i] & 0xFFFFFFu) | (image[i] & 0xFF000000u)) << i;
}

}  // namespace
