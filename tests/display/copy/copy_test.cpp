// On-board copies checked against the engine's software copy on identical
// host bitmaps: overlapping copies in every direction, copies across
// rasterizer boundaries (with a ROP), clipped copies, and the packets of the
// same-position copy.
#include <gtest/gtest.h>

#include <string>

#include "copy/copy_internal.h"
#include "display/xfer/xfer_fixture.h"
#include "platform/engine.h"
#include "rop/rop.h"

namespace vnx::test {
namespace {

class CopyTest : public XferTest {
  protected:
    // A device bitmap of random pixels and a host bitmap holding the same.
    void Setup(int rasterizers, ULONG bpp, LONG cx, LONG cy) {
        ASSERT_NO_FATAL_FAILURE(BootXfer(rasterizers, bpp));
        POINTL at = {0, 0};
        dev_ = DeviceBitmap(cx, cy, &at);
        ASSERT_NE(dev_, nullptr);
        RandomizeBoard(dev_, 7);
        host_ = HostBitmap(cx, cy, ppdev->iBitmapFormat);
        const auto v = BoardPixels(dev_, 0, 0, cx, cy);
        for (LONG y = 0; y < cy; ++y)
            for (LONG x = 0; x < cx; ++x) SetHostPixel(host_, x, y, v[y * cx + x]);
    }
    // The device copy (through the driver, drained) and the reference.
    void Copy(RECTL rcl, POINTL ptl, ULONG rop3, CLIPOBJ* pco = nullptr) {
        CopyBoth(dev_, host_, rcl, ptl, rop3, pco);
    }
    void ExpectSame() {
        const LONG cx = host_->sizlBitmap.cx, cy = host_->sizlBitmap.cy;
        const auto board = BoardPixels(dev_, 0, 0, cx, cy);
        const auto host = HostPixels(host_, 0, 0, cx, cy);
        LONG bad = 0, first = -1;
        for (std::size_t i = 0; i < board.size(); ++i)
            if (board[i] != host[i]) {
                if (first < 0) first = static_cast<LONG>(i);
                ++bad;
            }
        EXPECT_EQ(bad, 0) << "first at (" << first % cx << ", " << first / cx << ")";
    }
    SURFOBJ* dev_ = nullptr;
    SURFOBJ* host_ = nullptr;
};

struct OverlapCase {
    int rasterizers;
    ULONG bpp;
    LONG dx, dy;  // destination minus source
};

class CopyOverlapTest : public CopyTest, public ::testing::WithParamInterface<OverlapCase> {};

// A 200x200 rectangle moved onto itself in each direction, on one and four
// rasterizers, equals the engine's copy; so does a ROP copy across tiles.
TEST_P(CopyOverlapTest, MatchesEngineCopy) {
    const OverlapCase c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Setup(c.rasterizers, c.bpp, 400, 400));
    const RECTL rcl = {100 + c.dx, 100 + c.dy, 300 + c.dx, 300 + c.dy};
    Copy(rcl, POINTL{100, 100}, 0xCC);
    ExpectSame();
    Copy(RECTL{5, 9, 390, 250}, POINTL{3 + (c.dx > 0 ? 0 : 6), 140}, 0x66);  // SRCINVERT
    ExpectSame();
    EXPECT_EQ(Errors(), "");
}

INSTANTIATE_TEST_SUITE_P(Directions, CopyOverlapTest,
                         ::testing::Values(OverlapCase{1, 16, 10, 0}, OverlapCase{1, 16, -10, 0},
                                           OverlapCase{1, 16, 0, 13}, OverlapCase{1, 16, 0, -13},
                                           OverlapCase{4, 16, 10, 0}, OverlapCase{4, 16, -10, 3},
                                           OverlapCase{4, 32, 7, 13}, OverlapCase{4, 8, -9, -130},
                                           OverlapCase{2, 16, 130, -5}));

// A complex clip is enumerated in the copy's direction: the overlapping
// copy under a clip of many rectangles still equals the engine's.
TEST_F(CopyTest, ComplexClipOverlap) {
    ASSERT_NO_FATAL_FAILURE(Setup(4, 16, 300, 300));
    std::vector<RECTL> arcl;
    for (LONG y = 0; y < 300; y += 20)
        for (LONG x = (y / 20) % 2 * 15; x < 300; x += 30)
            arcl.push_back(RECTL{x, y, x + 15, y + 20});
    CLIPOBJ* pco = vnx::engine::create_clip(arcl.data(), static_cast<ULONG>(arcl.size()));
    ASSERT_EQ(pco->iDComplexity, DC_COMPLEX);
    Copy(RECTL{20, 30, 280, 290}, POINTL{10, 10}, 0xCC, pco);
    ExpectSame();
    Copy(RECTL{10, 10, 270, 270}, POINTL{25, 28}, 0xCC, pco);
    ExpectSame();
    vnx::engine::delete_clip(pco);
}

// One packet per eye: the second eye's rectangle carries a clip pair of its
// own, so it cannot share the first eye's packet.
TEST_F(CopyTest, SamePositionCopyOnePacketPerEye) {
    ASSERT_NO_FATAL_FAILURE(Setup(1, 16, 64, 64));
    POINTL at = {0, 0};
    SURFOBJ* other = DeviceBitmap(64, 64, &at, DFB_FL_CLASS80);
    ASSERT_NE(other, nullptr);
    TakeAll();
    EnterCriticalSection(&ppdev->csEscape);
    const LONG x = Dfb(dev_)->x + 3, y = Dfb(dev_)->y + 4;
    ulCopyRectSamePos(dev_, other, x, y, 20, 10, 0xCC, FALSE, TRUE, 1);
    kz2FlushQueue(ppdev->pqm, static_cast<ULONG>(-1), nullptr, nullptr);
    LeaveCriticalSection(&ppdev->csEscape);
    std::vector<DecodedPacket> copies;
    for (auto& p : Take(0))
        if ((p.command & ~(0x1Fu << CMD2D_INSTR_SHIFT)) == CMD2D_COPY) copies.push_back(p);
    ASSERT_EQ(copies.size(), 2u);
    for (int e = 0; e < 2; ++e) {
        const LONG yEye = e == 0 ? 0 : ppdev->cyScreen;
        EXPECT_EQ(copies[e].primitives, 1u);
        EXPECT_EQ(copies[e].clipMin, ulClipWord(Dfb(dev_)->x, Dfb(dev_)->y + yEye));
        EXPECT_EQ(copies[e].vertex(0, 0), ulPackVertex(x, y + yEye));
    }
    EXPECT_EQ(Errors(), "");
}

// Pieces go in pairs: the second piece of a pair is staged 64 KB into the
// staging buffer, the last piece of a row alone at its start.
TEST_F(CopyTest, PiecesArePairedInTheStagingBuffer) {
    ASSERT_NO_FATAL_FAILURE(Setup(4, 32, 600, 260));
    TakeAll();
    Copy(RECTL{10, 5, 590, 250}, POINTL{0, 0}, 0xCC);
    ExpectSame();
    const ULONG ulStaging = ppdev->DmaDescription.ulStaging0Bus;
    ULONG cFirst = 0, cSecond = 0;
    for (int r = 0; r < board->rasterizers(); ++r)
        for (const auto& t : Records(r)) {
            if (t.bus >= ulStaging && t.bus < ulStaging + COPY_SECOND_STAGING) ++cFirst;
            else if (t.bus >= ulStaging + COPY_SECOND_STAGING &&
                     t.bus < ulStaging + XFER_STAGING_BYTES)
                ++cSecond;
        }
    EXPECT_GT(cFirst, 0u);
    EXPECT_GT(cSecond, 0u);
    EXPECT_EQ(Errors(), "");
}

struct StagingCase {
    const char* name;
    int rasterizers;
    ULONG bpp;
    bool bTmp;  // staging in a temporary device bitmap, else the pattern surface
};
void PrintTo(const StagingCase& c, std::ostream* os) { *os << c.name; }

class CopyViaStagingTest : public CopyTest, public ::testing::WithParamInterface<StagingCase> {
  protected:
    void TearDown() override {
        if (ppdev != nullptr) {
            ppdev->psoTmp = nullptr;
            vDeletePatternSurface(ppdev);
        }
        CopyTest::TearDown();
    }
};

// A host bitmap drawn with a ROP through the staging surface, in bands and
// pieces larger than the staging surface, equals the engine's ROP blit.
TEST_P(CopyViaStagingTest, MatchesEngineBlt) {
    const StagingCase c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Setup(c.rasterizers, c.bpp, 300, 290));
    ASSERT_TRUE(bCreatePatternSurface(ppdev));
    if (c.bTmp) {
        POINTL at = {0, 0};
        ppdev->psoTmp = DeviceBitmap(128, 128, &at);
        ASSERT_NE(ppdev->psoTmp, nullptr);
    }
    SURFOBJ* src = HostBitmap(280, 280, ppdev->iBitmapFormat);
    Randomize(src, 21);
    for (const ULONG rop3 : {0xCCu, 0x66u}) {
        const RECTL rcl = {7, 3, 280, 275};
        const POINTL ptl = {5, 2};
        RECTL r = rcl;
        POINTL p = ptl;
        EnterCriticalSection(&ppdev->csEscape);
        vCopyHostViaStaging(dev_, src, &r, &p, rop3, ulRop3Info(rop3));
        kz2FlushQueue(ppdev->pqm, static_cast<ULONG>(-1), nullptr, nullptr);
        LeaveCriticalSection(&ppdev->csEscape);
        r = rcl;
        p = ptl;
        ASSERT_TRUE(EngBitBlt(host_, src, nullptr, nullptr, nullptr, &r, &p, nullptr, nullptr,
                              nullptr, rop3 | rop3 << 8));
        ExpectSame();
    }
    EXPECT_EQ(Errors(), "");
}

INSTANTIATE_TEST_SUITE_P(Staging, CopyViaStagingTest,
                         ::testing::Values(StagingCase{"PatternSolo16", 1, 16, false},
                                           StagingCase{"PatternQuad32", 4, 32, false},
                                           StagingCase{"TmpQuad16", 4, 16, true},
                                           StagingCase{"TmpDuo8", 2, 8, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CopyClassify, SplitClasses) {
    PDEV pdev{};
    pdev.cxScreen = 1024;
    struct Row {
        RECTL rcl;
        POINTL src;
        LONG iClass;
    };
    const Row rows[] = {
        {{10, 0, 100, 10}, {500, 0}, 1},     {{1100, 0, 1200, 10}, {1500, 0}, 2},
        {{1100, 0, 1200, 10}, {10, 0}, 3},   {{10, 0, 100, 10}, {1500, 0}, 4},
        {{1000, 0, 1100, 10}, {10, 0}, 5},   {{1000, 0, 1100, 10}, {1500, 0}, 6},
        {{10, 0, 100, 10}, {1000, 0}, 7},    {{1100, 0, 1200, 10}, {1000, 0}, 8},
        {{1000, 0, 1100, 10}, {1000, 0}, 9},
    };
    for (const Row& r : rows)
        EXPECT_EQ(iClassifySplitCopy(&pdev, r.rcl, r.src), r.iClass) << r.iClass;
}

TEST(CopyWords, PidsAndPhase) {
    EXPECT_EQ(ulCopyPid(0x4003), 0x0003u);
    EXPECT_EQ(ulCopyPid(0x8005), 0x6005u);
    EXPECT_EQ(ulCopyPid(0xA007), 0xA007u);
    EXPECT_EQ(ulCopyPhase(3 * 16, 5 * 16), 3u | 5u << 3);
    EXPECT_EQ(ulCopyPhase(-1 * 16, -2 * 16), 7u | 6u << 3);
    EXPECT_EQ(ulApplyCopyRop(0xCC, 0x1234, 0xABCD), 0xABCDu);
    EXPECT_EQ(ulApplyCopyRop(0x66, 0x00FF, 0x0F0F), 0x0FF0u);
}

// In stereo (iMode 1) the walker copies both eyes, the second cyScreen
// lower in source and destination alike; iMode 3 the second alone. On four
// rasterizers the pieces cross rasterizers and go through the staging
// buffer.
TEST_F(CopyTest, StereoWalkerCopiesTheEyesTheModeAsksFor) {
    constexpr LONG kEye = 150;
    ASSERT_NO_FATAL_FAILURE(Setup(4, 16, 400, 2 * kEye));
    ScopedValue<LONG> eye(ppdev->cyScreen, kEye);
    const RECTL rcl = {150, 20, 390, 140};
    const POINTL ptl = {3, 7};
    for (ULONG iMode : {1u, 3u}) {
        SCOPED_TRACE(iMode);
        RECTL r = rcl;
        POINTL p = ptl;
        EnterCriticalSection(&ppdev->csEscape);
        vCopyDevToDev(dev_, dev_, nullptr, &r, &p, 0xCC, ulRop3Info(0xCC), iMode);
        kz2FlushQueue(ppdev->pqm, static_cast<ULONG>(-1), nullptr, nullptr);
        LeaveCriticalSection(&ppdev->csEscape);
        for (LONG yEye : {LONG{0}, kEye}) {
            if (iMode == 3 && yEye == 0) continue;
            RECTL h = {rcl.left, rcl.top + yEye, rcl.right, rcl.bottom + yEye};
            POINTL hp = {ptl.x, ptl.y + yEye};
            ASSERT_TRUE(EngCopyBits(host_, host_, nullptr, nullptr, &h, &hp));
        }
        ExpectSame();
    }
    EXPECT_EQ(Errors(), "");
}

}  // namespace
}  // namespace vnx::test
