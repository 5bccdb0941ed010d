// Strokes on a stereo mode (both eyes, under every kind of clip, with the
// surface's place and cyScreen unchanged afterwards) and on a split board
// (lines across the seam of the two screens make one image).
#include "display/line/line_fixture.h"

namespace vnx::test {
namespace {

using vnx::engine::SubPath;

// A path moved by whole pixels.
std::vector<SubPath> Moved(std::vector<SubPath> s, LONG dx, LONG dy) {
    for (SubPath& p : s)
        for (POINTFIX& pt : p.points) {
            pt.x += 16 * dx;
            pt.y += 16 * dy;
        }
    return s;
}
std::vector<RECTL> Moved(std::vector<RECTL> v, LONG dx, LONG dy) {
    for (RECTL& r : v) r = RECTL{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
    return v;
}

const std::vector<SubPath> kStar = {
    {{{16 * 30, 16 * 25}, {16 * 60 + 5, 16 * 3}, {16 * 3, 16 * 50 + 8}, {16 * 62, 16 * 54}}, true, false},
    {{{-16 * 500, 16 * 20}, {16 * 700, 16 * 50}}, false, false}};

class LineStereo : public LineTest {};

TEST_F(LineStereo, BothEyesUnderEveryClip) {
    Boot(Machine(1), Request(1024, 768, 32));
    screen_ = EngLockSurface(device_->hsurf());
    // The eyes of a short screen (cyScreen 60 for the test) on a bitmap of
    // both eyes' height.
    auto t = Twins(128, 120, 4);
    dev_ = t.first;
    host_ = t.second;
    cx_ = 128;
    ASSERT_NE(dev_, nullptr);
    const LONG cyWas = ppdev->cyScreen;
    PAGECONFIG stereo = *ppdev->pPageConfig;
    stereo.fStereo = 1;
    PAGECONFIG* ppcWas = ppdev->pPageConfig;
    const DFB* pdfb = Dfb(dev_);
    const LONG yWas = pdfb->y;

    std::vector<RECTL> cells;
    for (LONG y = 0; y < 60; y += 7)
        for (LONG x = (y / 7) % 2 * 6; x < 64; x += 12) cells.push_back({x, y, x + 6, y + 7});
    const std::vector<std::vector<RECTL>> clips = {{}, {{10, 8, 50, 50}}, cells};
    FLOAT_LONG dash[2];
    dash[0].l = 2;
    dash[1].l = 1;
    BRUSHOBJ* pen = Solid(0x3366CC);
    for (const auto& c : clips) {
        for (bool bStyled : {false, true}) {
            LINEATTRS la{}, laHost{};
            la.cstyle = laHost.cstyle = 2;
            la.pstyle = laHost.pstyle = dash;
            Path p = MakePath(kStar), pLow = MakePath(Moved(kStar, 0, 60));
            CLIPOBJ* pco = c.empty() ? nullptr : Clip(c);
            CLIPOBJ* pcoLow = c.empty() ? nullptr : Clip(Moved(c, 0, 60));
            ppdev->pPageConfig = &stereo;
            ppdev->cyScreen = 60;
            EXPECT_TRUE(DrvStrokePath(dev_, p.get(), pco, nullptr, pen, nullptr, bStyled ? &la : nullptr, 0x0707));
            EXPECT_EQ(ppdev->cyScreen, 60);
            ppdev->cyScreen = cyWas;
            ppdev->pPageConfig = ppcWas;
            EXPECT_EQ(pdfb->y, yWas);
            // The engine: the first eye, then the same from the same style
            // state 60 rows lower (the paths keep to the upper 60 rows).
            ASSERT_TRUE(EngStrokePath(host_, p.get(), pco, nullptr, pen, nullptr, bStyled ? &laHost : nullptr, 0x0707));
            LINEATTRS laLow = la;
            laLow.elStyleState.l = 0;
            ASSERT_TRUE(EngStrokePath(host_, pLow.get(), pcoLow, nullptr, pen, nullptr, bStyled ? &laLow : nullptr, 0x0707));
            if (bStyled) EXPECT_EQ(la.elStyleState.l, laHost.elStyleState.l);
            const auto got = Board(dev_), want = HostAll(host_);
            ASSERT_EQ(got, want) << c.size() << " clip rectangles, styled " << bStyled << ": "
                                 << FirstDifference(got, want, 128);
        }
    }
}

class LineSplit : public LineTest {};

TEST_F(LineSplit, LinesAcrossTheSeamMakeOneImage) {
    Boot(Machine(1, 2), Request(1024, 768, 32));
    screen_ = EngLockSurface(device_->hsurf());
    ASSERT_NE(screen_, nullptr);
    ASSERT_GE(ppdev->cxSurface, 1124);
    // A window of the desktop across the seam, and its host twin.
    const RECTL win = {1024 - 100, 300, 1024 + 100, 468};
    const LONG cx = win.right - win.left, cy = win.bottom - win.top;
    const DFB* pdfb = Dfb(screen_);
    auto read = [&]() {
        Drain();
        std::vector<ULONG> v(static_cast<size_t>(cx * cy));
        for (int b = 0; b < 2; ++b) {
            const LONG x0 = b == 0 ? win.left : 1024, x1 = b == 0 ? 1024 : win.right;
            const auto part = board().read_pixels(b, static_cast<std::uint16_t>(pdfb->pid),
                                                  pdfb->x + x0 - 1024 * b, pdfb->y + win.top, x1 - x0, cy);
            for (LONG y = 0; y < cy; ++y)
                for (LONG x = x0; x < x1; ++x)
                    v[size_t(y * cx + x - win.left)] = part[size_t(y * (x1 - x0) + x - x0)] & 0xFFFFFF;
        }
        return v;
    };
    SURFOBJ* host = Host(cx, cy, BMF_32BPP);
    const auto before = read();
    for (LONG y = 0; y < cy; ++y)
        for (LONG x = 0; x < cx; ++x) std::memcpy(Row(host, y) + 4 * x, &before[size_t(y * cx + x)], 4);

    BRUSHOBJ* pen = Solid(0xF0A030);
    std::vector<RECTL> cells;
    for (LONG y = win.top; y < win.bottom; y += 9)
        for (LONG x = win.left + (y / 9) % 2 * 8; x < win.right; x += 16) cells.push_back({x, y, x + 8, y + 9});
    const std::vector<SubPath> star = Moved(kStar, win.left + 40, win.top + 30);
    for (const auto& c : std::vector<std::vector<RECTL>>{{win}, cells}) {
        for (MIX mix : {0x0D0Du, 0x0707u}) {
            Path p = MakePath(star), pHost = MakePath(Moved(star, -win.left, -win.top));
            EXPECT_TRUE(DrvStrokePath(screen_, p.get(), Clip(c), nullptr, pen, nullptr, nullptr, mix));
            ASSERT_TRUE(EngStrokePath(host, pHost.get(), Clip(Moved(c, -win.left, -win.top)), nullptr, pen,
                                      nullptr, nullptr, mix));
            const auto got = read(), want = HostAll(host);
            ASSERT_EQ(got, want) << c.size() << " rectangles: " << FirstDifference(got, want, cx);
        }
    }
    EXPECT_EQ(Errors(), "");
}

}  // namespace
}  // namespace vnx::test
