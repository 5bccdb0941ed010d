// Hostile coordinates: rectangles partly or wholly outside their surface,
// and coordinates near the 32-bit limits, through every kind of blit. Each
// paints only what lies inside its target surface, touches no other surface
// and no arithmetic overflows (the sanitizers watch).
#include <climits>

#include "display/blt/blt_fixture.h"
#include "platform/engine.h"

namespace vnx::test {
namespace {

constexpr LONG kCx = 72, kCy = 40;

class BltHostile : public BltTest, public ::testing::WithParamInterface<int> {
  protected:
    void SetUp() override {
        BltTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(BootBlt(GetParam(), 32));
        // Two device bitmaps: the target and its neighbour.
        target_ = Twins(kCx, kCy, 1);
        neighbour_ = Device(kCx, kCy);
        ASSERT_NE(target_.first, nullptr);
        ASSERT_NE(neighbour_, nullptr);
        Load(neighbour_, target_.second);
    }

    // Runs a blit and checks that only target's pixels inside rclInside
    // (target coordinates) may have changed, and nothing of the neighbour or
    // the screen.
    template <typename Blit>
    void Expect(const char* what, SURFOBJ* psoTarget, RECTL rclInside, Blit blit) {
        SCOPED_TRACE(what);
        const auto neighbour = Board(neighbour_);
        const auto target = Board(target_.first);
        const auto screen = Screen();
        blit();
        EXPECT_EQ(Board(neighbour_), neighbour) << "the neighbour changed";
        if (psoTarget != screen_) EXPECT_TRUE(Screen() == screen) << "the screen changed";
        if (psoTarget != target_.first) return;
        const auto now = Board(target_.first);
        for (LONG y = 0; y < kCy; ++y)
            for (LONG x = 0; x < kCx; ++x) {
                const bool bInside = x >= rclInside.left && x < rclInside.right &&
                                     y >= rclInside.top && y < rclInside.bottom;
                if (!bInside) ASSERT_EQ(now[y * kCx + x], target[y * kCx + x]) << x << "," << y;
            }
        EXPECT_EQ(Errors(), "");
    }
    std::vector<std::uint32_t> Screen() {
        Drain();
        return board().read_pixels(0, static_cast<std::uint16_t>(ppdev->pidScreen), 0, 0, 256, 64);
    }
    BOOL Blt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, CLIPOBJ* pco, RECTL rcl, POINTL ptlSrc,
             BRUSHOBJ* pbo, POINTL ptlBrush, ROP4 rop4) {
        return DrvBitBlt(psoTrg, psoSrc, nullptr, pco, nullptr, &rcl, &ptlSrc, nullptr, pbo,
                         &ptlBrush, rop4);
    }

    std::pair<SURFOBJ*, SURFOBJ*> target_{};
    SURFOBJ* neighbour_ = nullptr;
};

// Rectangles outside or across the target's edges, with no clip object, a
// trivial one and a rectangle clip, filled with each kind of brush.
TEST_P(BltHostile, FillsStayInsideTheirSurface) {
    const RECTL rects[] = {
        {-100, -100, 0, 0},
        {kCx - 10, kCy - 10, kCx + 100, kCy + 100},
        {kCx, 0, kCx + 50, kCy},
        {-5, 3, 8, 9},
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
        {INT_MAX - 3, INT_MAX - 3, INT_MAX, INT_MAX},
        {INT_MIN, INT_MIN, INT_MIN + 4, INT_MIN + 4},
    };
    const BYTE rows[8] = {0xF0, 0x0F, 0xAA, 0x55, 0xFF, 0x00, 0x81, 0x42};
    BRUSHOBJ* brushes[] = {Solid(0x123456), PatternBrush(target_.first, 5),
                           MonoBrush(target_.first, rows, 0x00FF00, 0x0000FF)};
    const ROP4 rops[] = {0xF0F0, 0x5A5A, 0xAAF0};
    CLIPOBJ* clips[] = {nullptr, Clip({{INT_MIN, INT_MIN, INT_MAX, INT_MAX}}),
                        Clip({{-50, -50, 20, 20}})};
    for (SURFOBJ* pso : {target_.first, screen_})
        for (const RECTL& r : rects)
            for (int b = 0; b < 3; ++b)
                for (CLIPOBJ* pco : clips) {
                    const LONG cx = pso->sizlBitmap.cx, cy = pso->sizlBitmap.cy;
                    RECTL inside = {std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, cx),
                                    std::min(r.bottom, cy)};
                    if (pco == clips[2]) {
                        inside.right = std::min<LONG>(inside.right, 20);
                        inside.bottom = std::min<LONG>(inside.bottom, 20);
                    }
                    Expect("fill", pso, inside, [&] {
                        Blt(pso, nullptr, pco, r, {0, 0}, brushes[b], {INT_MAX, INT_MIN},
                            b == 2 ? rops[2] : rops[b]);
                    });
                }
}

// Copies, uploads and downloads whose rectangles and source points lie near
// the limits: they move at most what both surfaces hold.
TEST_P(BltHostile, CopiesAndTransfersNearTheLimits) {
    struct Case {
        RECTL rcl;
        POINTL ptl;
    };
    const Case cases[] = {
        {{INT_MIN, INT_MIN, INT_MIN + 10, INT_MIN + 10}, {INT_MAX - 5, INT_MAX - 5}},
        {{-20, -20, 10, 10}, {INT_MAX, INT_MAX}},
        {{5, 5, INT_MAX, INT_MAX}, {INT_MIN, INT_MIN}},
        {{INT_MAX - 10, 0, INT_MAX, 10}, {-5, 0}},
        {{0, 0, kCx, kCy}, {INT_MIN, INT_MAX}},
        {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {0, 0}},
        {{10, 10, 20, 20}, {-8, -8}},
    };
    SURFOBJ* host = Host(kCx, kCy, BMF_32BPP);
    RandomHost(host, 9);
    CLIPOBJ* clips[] = {nullptr, Clip({{INT_MIN, INT_MIN, INT_MAX, INT_MAX}})};
    for (const Case& c : cases)
        for (CLIPOBJ* pco : clips) {
            const RECTL all = {0, 0, kCx, kCy};
            Expect("device to device", target_.first, all, [&] {
                Blt(target_.first, target_.first, pco, c.rcl, c.ptl, nullptr, {0, 0}, 0xCCCC);
            });
            Expect("device to device, a ROP", target_.first, all, [&] {
                Blt(target_.first, target_.first, pco, c.rcl, c.ptl, nullptr, {0, 0}, 0x6666);
            });
            Expect("host to device", target_.first, all, [&] {
                Blt(target_.first, host, pco, c.rcl, c.ptl, nullptr, {0, 0}, 0xCCCC);
            });
            Expect("screen to device", target_.first, all, [&] {
                Blt(target_.first, screen_, pco, c.rcl, c.ptl, nullptr, {0, 0}, 0xCCCC);
            });
            Expect("device to host", host, all, [&] {
                RECTL r = c.rcl;
                POINTL p = c.ptl;
                DrvCopyBits(host, target_.first, pco, nullptr, &r, &p);
            });
            Expect("device to screen", screen_, all, [&] {
                RECTL r = c.rcl;
                POINTL p = c.ptl;
                DrvCopyBits(screen_, target_.first, pco, nullptr, &r, &p);
            });
        }
}

INSTANTIATE_TEST_SUITE_P(Rasterizers, BltHostile, ::testing::Values(1, 4));

}  // namespace
}  // namespace vnx::test
