// Which blits the driver draws itself and which it hands back to EngBitBlt,
// the stereo cache's disable flag around a punt, CopyBits from and to host
// bitmaps of every depth compared with EngCopyBits, the temporary bitmap's
// failures, and the rectangle routines.
#include "display/blt/blt_fixture.h"
#include "fill/fill.h"
#include "rop/rop.h"
#include "xfer/xfer.h"

namespace vnx::test {
namespace {

class BltRoute : public BltTest {
  protected:
    // Runs one DrvBitBlt and answers whether it went to EngBitBlt.
    bool Punted(SURFOBJ* psoTrg, SURFOBJ* psoSrc, BRUSHOBJ* pbo, ROP4 rop4,
                XLATEOBJ* pxlo = nullptr, SURFOBJ* psoMask = nullptr) {
        RECTL r = {2, 2, 30, 20};
        POINTL s = {1, 1}, m = {0, 0}, b = {0, 0};
        const auto before = vnx::faults::calls("EngBitBlt");
        EXPECT_TRUE(DrvBitBlt(psoTrg, psoSrc, psoMask, nullptr, pxlo, &r, &s, &m, pbo, &b, rop4));
        EXPECT_EQ(ppdev->StereoCache.fDisabled, 0u);
        return vnx::faults::calls("EngBitBlt") != before;
    }
};

TEST_F(BltRoute, EachRuleDrawsOrPunts) {
    BootBlt(1, 32);
    SURFOBJ* dev = Device(80, 40);
    SURFOBJ* dev2 = Device(80, 40);
    SURFOBJ* host = Host(80, 40, BMF_32BPP);
    const BYTE rows[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    BRUSHOBJ* red = Solid(0xFF0000);
    BRUSHOBJ* black = Solid(0);
    BRUSHOBJ* pattern = PatternBrush(dev, 5);
    BRUSHOBJ* mono = MonoBrush(dev, rows, 1, 2);
    // A brush the driver cannot realize (not 8 x 8).
    vnx::engine::BrushDesc big;
    big.psoTarget = dev;
    big.psoPattern = Host(16, 16, BMF_32BPP);
    BRUSHOBJ* unrealizable = Brush(big);
    XLATEOBJ* table = Vector(std::vector<ULONG>(256, 7));

    struct Row {
        const char* what;
        SURFOBJ* trg;
        SURFOBJ* src;
        BRUSHOBJ* pbo;
        ROP4 rop4;
        XLATEOBJ* pxlo;
        bool punt;
    } rows_[] = {
        {"solid pattern copy", dev, nullptr, red, 0xF0F0, nullptr, false},
        {"blackness with a pattern brush", dev, nullptr, pattern, 0x0000, nullptr, false},
        {"whiteness without a brush", dev, nullptr, nullptr, 0xFFFF, nullptr, false},
        {"pattern brush", dev, nullptr, pattern, 0xF0F0, nullptr, false},
        {"two-colour brush", dev, nullptr, mono, 0x5A5A, nullptr, false},
        {"destination only", dev, nullptr, nullptr, 0x5555, nullptr, false},
        {"source from a host bitmap", dev, host, nullptr, 0x6666, nullptr, true},
        {"source on the board", dev, dev2, nullptr, 0x6666, nullptr, false},
        {"source and red brush", dev, dev2, red, 0xB8B8, nullptr, true},
        {"source and black brush", dev, dev2, black, 0xB8B8, nullptr, false},
        {"source through a table", dev, dev2, nullptr, 0x6666, table, true},
        {"pattern through a table", dev, nullptr, pattern, 0x5A5A, table, true},
        {"pattern without a realization", dev, nullptr, unrealizable, 0x5A5A, nullptr, true},
        {"pattern ROP without a brush", dev, nullptr, nullptr, 0x5A5A, nullptr, true},
        {"host target", host, dev, nullptr, 0x6666, nullptr, true},
        {"source copy into a host target", host, dev, nullptr, 0xCCCC, nullptr, false},
    };
    for (const Row& r : rows_) {
        SCOPED_TRACE(r.what);
        if (std::string(r.what) == "pattern ROP without a brush") {
            // The engine itself refuses a ROP whose pattern is missing.
            RECTL rc = {2, 2, 30, 20};
            EXPECT_FALSE(DrvBitBlt(r.trg, nullptr, nullptr, nullptr, nullptr, &rc, nullptr, nullptr,
                                   nullptr, nullptr, r.rop4));
            continue;
        }
        EXPECT_EQ(Punted(r.trg, r.src, r.pbo, r.rop4, r.pxlo), r.punt);
    }
    EXPECT_EQ(Errors(), "");
}

// A board with no room for the pattern surface has neither colour-pattern
// loads nor the copy table: those blits go to the engine, and DrvCopyBits
// between board surfaces goes through its temporary bitmap.
TEST_F(BltRoute, WithoutThePatternSurfacePatternsAndBoardCopiesGoToTheEngine) {
    BootBlt(1, 32);
    auto [dev, hostDst] = Twins(80, 40, 3);
    auto [dev2, hostSrc] = Twins(80, 40, 4);
    ASSERT_NE(dev, nullptr);
    ASSERT_NE(dev2, nullptr);
    BRUSHOBJ* pattern = PatternBrush(dev, 5);
    EXPECT_FALSE(Punted(dev, nullptr, pattern, 0xF0F0));
    EXPECT_FALSE(Punted(dev, dev2, nullptr, 0x6666));
    vDeletePatternSurface(ppdev);
    ASSERT_EQ(ppdev->psoPattern, nullptr);
    EXPECT_TRUE(Punted(dev, nullptr, pattern, 0xF0F0));
    EXPECT_TRUE(Punted(dev, dev2, nullptr, 0x6666));
    // The copy itself still lands: compare with the engine on the host twins.
    Load(dev, hostDst);
    RECTL r = {0, 0, 40, 20};
    POINTL s = {8, 4};
    EXPECT_TRUE(DrvCopyBits(dev, dev2, nullptr, nullptr, &r, &s));
    ASSERT_TRUE(EngCopyBits(hostDst, hostSrc, nullptr, nullptr, &r, &s));
    EXPECT_EQ(Board(dev), HostAll(hostDst));
    EXPECT_EQ(Errors(), "");
}

// On a split board the primary spans both screens: downloads and uploads
// through DrvCopyBits reach the second screen's pixels as well.
TEST_F(BltRoute, SplitBoardTransfersReachTheSecondScreen) {
    Boot(Machine(1, 2), Request(1024, 768, 32));
    SURFOBJ* scr = EngLockSurface(device_->hsurf());
    ASSERT_NE(scr, nullptr);
    RECTL red = {1000, 10, 1100, 20};
    vFillSolidClipped(scr, nullptr, 0xF0F0, ulRop3Info(0xF0), 0xFF0000, &red);
    Drain();
    // The second board shows x 1024 on at its own x 0: the fill reached it.
    const auto second =
        board().read_pixels(1, static_cast<std::uint16_t>(ppdev->pidScreen), 0, 10, 100, 10);
    for (LONG y = 0; y < 10; ++y)
        for (LONG x = 0; x < 100; ++x)
            ASSERT_EQ(second[static_cast<size_t>(y * 100 + x)] & 0xFFFFFFu, x < 76 ? 0xFF0000u : 0u)
                << "second screen " << x << "," << 10 + y;
    SURFOBJ* host = Host(200, 10, BMF_32BPP);
    RECTL r = {0, 0, 200, 10};
    POINTL from = {950, 10};
    EXPECT_TRUE(DrvCopyBits(host, scr, nullptr, nullptr, &r, &from));
    const auto row = HostAll(host);
    for (LONG x = 0; x < 200; ++x) {
        const bool inRed = 950 + x >= 1000 && 950 + x < 1100;
        ASSERT_EQ(row[static_cast<size_t>(x)], inRed ? 0xFF0000u : 0u) << "x " << 950 + x;
    }
    // The same pixels written back lower down, across the boundary.
    RECTL to = {950, 40, 1150, 50};
    POINTL zero = {0, 0};
    EXPECT_TRUE(DrvCopyBits(scr, host, nullptr, nullptr, &to, &zero));
    SURFOBJ* back = Host(200, 10, BMF_32BPP);
    POINTL from2 = {950, 40};
    EXPECT_TRUE(DrvCopyBits(back, scr, nullptr, nullptr, &r, &from2));
    EXPECT_EQ(HostAll(back), row);
    EngUnlockSurface(scr);
    EXPECT_EQ(Errors(), "");
}

TEST_F(BltRoute, SourceRopsFromTheBoardPuntOnSeveralRasterizers) {
    for (int rasterizers : {1, 2, 4}) {
        SCOPED_TRACE(rasterizers);
        BootBlt(rasterizers, 16);
        SURFOBJ* a = Device(80, 40);
        SURFOBJ* b = Device(80, 40);
        EXPECT_EQ(Punted(a, b, nullptr, 0x6666), rasterizers >= 2);
        TearDown();
        SetUp();
    }
}

TEST_F(BltRoute, EqualTwoColourBrushIsOneSolidFill) {
    BootBlt(1, 32);
    SURFOBJ* dev = Device(80, 40);
    const BYTE rows[8] = {0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0};
    BRUSHOBJ* same = MonoBrush(dev, rows, 0x123456, 0x123456);
    BRUSHOBJ* two = MonoBrush(dev, rows, 0x123456, 0x654321);
    Drain();
    for (int r = 0; r < board().rasterizers(); ++r) board().take_packets(r);
    auto kinds = [&](BRUSHOBJ* pbo) {
        EXPECT_FALSE(Punted(dev, nullptr, pbo, 0xF0F0));
        Drain();
        std::vector<ULONG> v;
        for (const auto& p : Drawn(0)) v.push_back(p.command & 0xFFFF);
        return v;
    };
    EXPECT_EQ(kinds(same), std::vector<ULONG>{CMD2D_FILL & 0xFFFF});
    const auto twoKinds = kinds(two);
    ASSERT_FALSE(twoKinds.empty());
    EXPECT_EQ(twoKinds.back(), CMD2D_TWO_COLOUR & 0xFFFF);
}

TEST_F(BltRoute, CacheIsDisabledExactlyWhileTheEngineDraws) {
    BootBlt(1, 32);
    // Pixels that differ from the (empty) second eye's.
    SURFOBJ* dev = Twins(80, 40, 61).first;
    ASSERT_NE(dev, nullptr);
    SURFOBJ* host = Host(80, 40, BMF_32BPP);
    // A stereo page configuration: downloads of both halves would keep the
    // second one in the stereo cache unless it is disabled.
    PAGECONFIG pc = *ppdev->pPageConfig;
    pc.fStereo = 1;
    ScopedValue<PAGECONFIG*> stereo(ppdev->pPageConfig, &pc);
    EXPECT_TRUE(Punted(dev, host, nullptr, 0x6666));
    EXPECT_EQ(cStereoCacheEntries(ppdev), 0u);
}

// Host bitmaps of every depth (and run-length sources) onto the board, and
// the board into host bitmaps of every depth, against EngCopyBits.
TEST_F(BltRoute, CopyBitsMatchesTheEngineForEveryDepth) {
    for (ULONG bpp : {8u, 16u, 32u}) {
        SCOPED_TRACE(bpp);
        BootBlt(1, bpp);
        const HPALETTE hpalDev = device_->devinfo().hpalDefault;
        std::vector<ULONG> grey(256);
        for (ULONG i = 0; i < 256; ++i) grey[i] = i * 0x010101 ^ (i << 20);
        const HPALETTE hpalIndexed = Palette(PAL_INDEXED, 0, 0, 0, grey);
        const HPALETTE hpal555 = Palette(PAL_BITFIELDS, 0x7C00, 0x3E0, 0x1F);
        const HPALETTE hpalBgr = Palette(PAL_BGR);
        auto [dev, twin] = Twins(80, 40, 31);
        ASSERT_NE(dev, nullptr);
        CLIPOBJ* region = Clip({{0, 0, 50, 12}, {10, 20, 80, 40}});
        struct Src {
            ULONG iFormat;
            HPALETTE hpal;
        } srcs[] = {{BMF_1BPP, hpalIndexed},        {BMF_4BPP, hpalIndexed},
                    {BMF_8BPP, hpalIndexed},        {BMF_16BPP, hpal555},
                    {BMF_24BPP, hpalBgr},           {BMF_32BPP, hpalBgr},
                    {ppdev->iBitmapFormat, hpalDev}};
        unsigned seed = 40;
        for (const Src& s : srcs)
            for (CLIPOBJ* pco : {static_cast<CLIPOBJ*>(nullptr), region}) {
                SCOPED_TRACE(s.iFormat);
                SURFOBJ* src = Host(64, 30, s.iFormat, seed & 1);
                RandomHost(src, ++seed);
                XLATEOBJ* pxlo = s.hpal == hpalDev ? nullptr : Xlate(s.hpal, hpalDev);
                RECTL r1 = {3, 5, 70, 33}, r2 = r1;
                POINTL p1 = {1, 2}, p2 = p1;
                ASSERT_TRUE(DrvCopyBits(dev, src, pco, pxlo, &r1, &p1));
                ASSERT_TRUE(EngCopyBits(twin, src, pco, pxlo, &r2, &p2));
                const auto got = Board(dev), want = HostAll(twin);
                ASSERT_EQ(got, want) << FirstDifference(got, want, 80);
            }
        // A run-length source with gaps that keep the destination's pixels.
        const BYTE runs[] = {4, 1, 0, 2, 3, 0, 5, 9, 0, 0, 2, 200, 0, 2, 4, 1, 3, 17, 0, 1};
        HSURF hrle = vnx::engine::create_rle_bitmap(SIZEL{16, 4}, BMF_8RLE, runs, sizeof runs);
        ASSERT_NE(hrle, nullptr);
        SURFOBJ* rle = EngLockSurface(hrle);
        XLATEOBJ* pxlo = Xlate(hpalIndexed, hpalDev);
        RECTL r1 = {20, 10, 36, 14}, r2 = r1;
        POINTL p1 = {0, 0}, p2 = p1;
        EXPECT_TRUE(DrvCopyBits(dev, rle, nullptr, pxlo, &r1, &p1));
        EXPECT_TRUE(EngCopyBits(twin, rle, nullptr, pxlo, &r2, &p2));
        EngUnlockSurface(rle);
        EngDeleteSurface(hrle);
        EXPECT_EQ(Board(dev), HostAll(twin));
        // Downloads into host bitmaps of every depth.
        for (const Src& s : srcs) {
            if (s.iFormat == BMF_1BPP || s.iFormat == BMF_4BPP) continue;
            SCOPED_TRACE(s.iFormat);
            SURFOBJ* a = Host(80, 40, s.iFormat);
            SURFOBJ* b = Host(80, 40, s.iFormat);
            XLATEOBJ* pxlo2 = s.hpal == hpalDev ? nullptr : Xlate(hpalDev, s.hpal);
            RECTL r3 = {2, 1, 77, 39}, r4 = r3;
            POINTL p3 = {3, 1}, p4 = p3;
            ASSERT_TRUE(DrvCopyBits(a, dev, region, pxlo2, &r3, &p3));
            ASSERT_TRUE(EngCopyBits(b, twin, region, pxlo2, &r4, &p4));
            for (LONG y = 0; y < 40; ++y)
                ASSERT_EQ(0, std::memcmp(Row(a, y), Row(b, y), 80 * BytesOf(s.iFormat))) << y;
        }
        TearDown();
        SetUp();
    }
}

TEST_F(BltRoute, TemporaryBitmapFailuresAreReported) {
    BootBlt(1, 32);
    SURFOBJ* dev = Device(80, 40);
    SURFOBJ* src = Host(20, 20, BMF_24BPP);
    XLATEOBJ* pxlo = Xlate(Palette(PAL_BGR), device_->devinfo().hpalDefault);
    RECTL r = {0, 0, 20, 20};
    POINTL p = {0, 0};
    {
        vnx::faults::Scope scope;
        vnx::faults::arm("EngCreateBitmap", 0, 1);
        EXPECT_FALSE(CopyBits(dev, src, nullptr, pxlo, &r, &p, 0));
        EXPECT_EQ(ppdev->hsurfTmp32, nullptr);
    }
    {
        vnx::faults::Scope scope;
        vnx::faults::arm("EngCopyBits", 0, 1);
        EXPECT_FALSE(CopyBits(dev, src, nullptr, pxlo, &r, &p, 0));
    }
    // Made once and kept.
    EXPECT_TRUE(CopyBits(dev, src, nullptr, pxlo, &r, &p, 0));
    const HSURF hsurf = ppdev->hsurfTmp32;
    EXPECT_NE(hsurf, nullptr);
    EXPECT_TRUE(CopyBits(dev, src, nullptr, pxlo, &r, &p, 0));
    EXPECT_EQ(ppdev->hsurfTmp32, hsurf);
    // Two host bitmaps are not the device's to copy.
    SURFOBJ* host = Host(20, 20, BMF_32BPP);
    EXPECT_FALSE(CopyBits(host, src, nullptr, pxlo, &r, &p, 0));
}

TEST(BltRect, IntersectionsAndListClipping) {
    struct Row {
        RECTL a, b, out;
        BOOL b1;
    } rows[] = {
        {{0, 0, 10, 10}, {5, 5, 20, 20}, {5, 5, 10, 10}, TRUE},
        {{0, 0, 10, 10}, {10, 0, 20, 10}, {10, 0, 10, 0}, FALSE},  // right <= left: stops there
        {{0, 0, 10, 10}, {2, 10, 8, 20}, {2, 10, 8, 10}, FALSE},   // empty in y
        {{-5, -5, 5, 5}, {-10, -2, 0, 2}, {-5, -2, 0, 2}, TRUE},
    };
    for (const Row& r : rows) {
        RECTL out = {0, 0, 0, 0};
        EXPECT_EQ(bRectIntersect(&r.a, &r.b, &out), r.b1);
        EXPECT_EQ(out.left, r.out.left);
        EXPECT_EQ(out.right, r.out.right);
        if (r.out.right > r.out.left) {
            EXPECT_EQ(out.top, r.out.top);
            EXPECT_EQ(out.bottom, r.out.bottom);
        }
        RECTL cleared = {9, 9, 9, 9};
        EXPECT_EQ(bRectIntersectOrClear(&cleared, &r.a, &r.b), r.b1);
        if (!r.b1) {
            EXPECT_TRUE(cleared.left == 0 && cleared.top == 0 && cleared.right == 0 &&
                        cleared.bottom == 0);
        }
    }
    // Untouched top and bottom when x leaves nothing.
    RECTL a = {0, 0, 4, 4}, b = {6, 0, 9, 4}, out = {7, 7, 7, 7};
    EXPECT_FALSE(bRectIntersect(&a, &b, &out));
    EXPECT_EQ(out.top, 7);
    EXPECT_EQ(out.bottom, 7);

    const RECTL clip = {0, 0, 100, 100};
    RECTL list[] = {{-10, -10, -1, -1}, {50, 50, 150, 150}, {200, 0, 300, 10}, {10, 10, 20, 20}};
    EXPECT_EQ(cRectListClip(&clip, list, 0), 0u);
    ASSERT_EQ(cRectListClip(&clip, list, 4), 2u);
    EXPECT_EQ(list[0].left, 50);
    EXPECT_EQ(list[0].right, 100);
    EXPECT_EQ(list[0].bottom, 100);
    EXPECT_EQ(list[1].left, 10);
    RECTL outside[] = {{-10, -10, -1, -1}, {200, 0, 300, 10}};
    EXPECT_EQ(cRectListClip(&clip, outside, 2), 0u);
}

}  // namespace
}  // namespace vnx::test
