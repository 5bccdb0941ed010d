// One scene of fills (a pattern background, solid rectangles under several
// ROPs, a fill clipped to a region, a two-colour fill) drawn on boards with
// 1, 2 and 4 rasterizers and on split boards: every board shows the same
// image, and it is the image the truth tables give; on a split board also
// drawn across the screen boundary, reaching the second screen.
#include "display/fill/fill_fixture.h"

namespace vnx::test {
namespace {

constexpr LONG kCx = 300, kCy = 200;
const BYTE kMono[8] = {0xC3, 0x81, 0x00, 0x18, 0x18, 0x00, 0x81, 0xC3};

struct SolidRect {
    RECTL rcl;
    ULONG rop3;
    ULONG colour;
};
const SolidRect kSolids[] = {
    {{10, 10, 150, 90}, 0xF0, 0xC0C0C0},  {{20, 30, 290, 60}, 0x5A, 0x00FFFF},
    {{120, 5, 140, 195}, 0xA0, 0x8080FF}, {{200, 100, 299, 199}, 0x0F, 0x123456},
    {{127, 127, 130, 130}, 0xFF, 0},      {{250, 0, 260, 10}, 0x00, 0},
};
const RECTL kRegion[] = {
    {0, 120, 40, 140}, {50, 120, 90, 140}, {0, 150, 90, 170}, {95, 100, 110, 199}};
const RECTL kClipped = {5, 110, 105, 180};
const RECTL kTwoColour = {150, 130, 290, 190};

class FillModels : public FillTest, public ::testing::WithParamInterface<BoardModel> {
  protected:
    std::vector<ULONG> Pattern() {
        std::vector<ULONG> p(64);
        for (int i = 0; i < 64; ++i) p[i] = (i * 0x050A0F) & 0xFFFFFF;
        return p;
    }

    // The scene as the truth tables give it, in surface coordinates.
    std::vector<ULONG> Reference() {
        const auto pattern = Pattern();
        std::vector<ULONG> img(kCx * kCy);
        const POINTL org = {4, 2};
        for (LONG y = 0; y < kCy; ++y)
            for (LONG x = 0; x < kCx; ++x)
                img[y * kCx + x] = pattern[((y - org.y) & 7) * 8 + ((x - org.x) & 7)];
        auto in = [](const RECTL& r, LONG x, LONG y) {
            return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
        };
        for (const SolidRect& s : kSolids)
            for (LONG y = s.rcl.top; y < s.rcl.bottom; ++y)
                for (LONG x = s.rcl.left; x < s.rcl.right; ++x) {
                    ULONG& d = img[y * kCx + x];
                    const ULONG p = s.rop3 == 0xFF ? 0xFFFFFF : s.colour;
                    d = Rop3Ref(s.rop3, p, 0, d) & 0xFFFFFF;
                }
        for (LONG y = 0; y < kCy; ++y)
            for (LONG x = 0; x < kCx; ++x) {
                bool allowed = false;
                for (const RECTL& r : kRegion) allowed |= in(r, x, y);
                if (allowed && in(kClipped, x, y)) img[y * kCx + x] ^= 0x00FF00;
                if (in(kTwoColour, x, y)) {
                    const bool set = (kMono[(y - 1) & 7] >> (7 - ((x - 3) & 7))) & 1;
                    if (set) img[y * kCx + x] = 0xFF0000;
                }
            }
        return img;
    }

    // Draws the scene dx pixels right of the surface's left edge (brush
    // origins and clip moved along, so the picture is the same).
    void DrawScene(SURFOBJ* pso, LONG dx) {
        auto moved = [dx](RECTL r) { return RECTL{r.left + dx, r.top, r.right + dx, r.bottom}; };
        Brush background = Brush::Colour(7, Pattern(), 4);
        RECTL all = moved(RECTL{0, 0, kCx, kCy});
        POINTL org = {4 + dx, 2};
        vFillPattern(pso, &all, 1, background.get(), &org, ulRop3Info(0xF0), 0xF0);
        for (const SolidRect& s : kSolids) {
            RECTL rcl = moved(s.rcl);
            vFillSolid(pso, s.rop3, ulRop3Info(s.rop3), s.colour, &rcl, 1);
        }
        RECTL region[4];
        for (int i = 0; i < 4; ++i) region[i] = moved(kRegion[i]);
        CLIPOBJ* pco = vnx::engine::create_clip(region, 4);
        RECTL clipped = moved(kClipped);
        vFillSolidClipped(pso, pco, 0x5A5A, ulRop3Info(0x5A), 0x00FF00, &clipped);
        vnx::engine::delete_clip(pco);
        Brush mono = Brush::Mono(kMono, 0xFF0000, 0);
        RECTL two = moved(kTwoColour);
        POINTL monoOrg = {3 + dx, 1};
        vFillTwoColour(pso, &two, 1, mono.get(), &monoOrg, ulRop3Info(0xF0), 0xAAF0);
        Flush();
    }

    // The scene's pixels (kCx x kCy, 0x00RRGGBB) against the reference.
    void ExpectScene(const std::vector<ULONG>& out) {
        const auto want = Reference();
        int bad = 0;
        for (LONG i = 0; i < kCx * kCy && bad < 5; ++i) {
            if ((out[i] & 0xFFFFFF) != want[i]) {
                ADD_FAILURE() << "pixel (" << i % kCx << "," << i / kCx << "): 0x" << std::hex
                              << out[i] << " instead of 0x" << want[i];
                ++bad;
            }
        }
    }
};

TEST_P(FillModels, EveryBoardDrawsTheSameScene) {
    Boot(Machine(GetParam().rasterizers, GetParam().boards), Request(1024, 768, 32));
    POINTL at = {100, 60};  // across tile columns 0 to 3 and rows 0 to 2
    SURFOBJ* pso = Target(kCx, kCy, &at);
    DrawScene(pso, 0);
    ExpectScene(ReadAll(pso));
}

// On a split board the scene drawn across the screen boundary: what lies
// right of desktop x 1024 reaches the second board (at its own x, 1024
// less), and the two boards together show the reference image; the first
// board keeps nothing of the second screen's part.
using FillSplit = FillModels;

TEST_P(FillSplit, SceneAcrossTheScreenBoundaryReachesTheSecondScreen) {
    Boot(Machine(GetParam().rasterizers, GetParam().boards), Request(1024, 768, 32));
    constexpr LONG kDesktop = 2047, kBoundary = 1024, kDx = kBoundary - kCx / 2;
    POINTL at = {0, 0};
    SURFOBJ* pso = Target(kDesktop, kCy, &at);
    ASSERT_EQ(Dfb(pso)->x, 0);
    const std::uint16_t pid = static_cast<std::uint16_t>(Dfb(pso)->pid);
    const auto untouched = board->read_pixels(0, pid, kBoundary, 0, kCx, kCy);
    DrawScene(pso, kDx);
    const auto first = board->read_pixels(0, pid, kDx, 0, kBoundary - kDx, kCy);
    const auto second = board->read_pixels(1, pid, 0, 0, kDx + kCx - kBoundary, kCy);
    std::vector<ULONG> out;
    for (LONG y = 0; y < kCy; ++y) {
        const LONG cxFirst = kBoundary - kDx, cxSecond = kCx - cxFirst;
        out.insert(out.end(), first.begin() + y * cxFirst, first.begin() + (y + 1) * cxFirst);
        out.insert(out.end(), second.begin() + y * cxSecond, second.begin() + (y + 1) * cxSecond);
    }
    ExpectScene(out);
    EXPECT_EQ(board->read_pixels(0, pid, kBoundary, 0, kCx, kCy), untouched)
        << "the second screen's part drawn on the first board";
    EXPECT_EQ(Errors(), "");
}

INSTANTIATE_TEST_SUITE_P(Split, FillSplit, ::testing::Values(kSplitSolo, kSplitDuo, kSplitQuad),
                         BoardModelName);

INSTANTIATE_TEST_SUITE_P(Boards, FillModels, ::testing::ValuesIn(kBoardModels), BoardModelName);

}  // namespace
}  // namespace vnx::test
