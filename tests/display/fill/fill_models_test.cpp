// One scene of fills (a pattern background, solid rectangles under several
// ROPs, a fill clipped to a region, a two-colour fill) drawn on boards with
// 1, 2 and 4 rasterizers and on split boards: every board shows the same
// image, and it is the image the truth tables give.
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
};

TEST_P(FillModels, EveryBoardDrawsTheSameScene) {
    Boot(Machine(GetParam().rasterizers, GetParam().boards), Request(1024, 768, 32));
    POINTL at = {100, 60};  // across tile columns 0 to 3 and rows 0 to 2
    SURFOBJ* pso = Target(kCx, kCy, &at);

    Brush background = Brush::Colour(7, Pattern(), 4);
    RECTL all = {0, 0, kCx, kCy};
    POINTL org = {4, 2};
    vFillPattern(pso, &all, 1, background.get(), &org, ulRop3Info(0xF0), 0xF0);
    for (const SolidRect& s : kSolids) {
        RECTL rcl = s.rcl;
        vFillSolid(pso, s.rop3, ulRop3Info(s.rop3), s.colour, &rcl, 1);
    }
    CLIPOBJ* pco = vnx::engine::create_clip(kRegion, 4);
    RECTL clipped = kClipped;
    vFillSolidClipped(pso, pco, 0x5A5A, ulRop3Info(0x5A), 0x00FF00, &clipped);
    vnx::engine::delete_clip(pco);
    Brush mono = Brush::Mono(kMono, 0xFF0000, 0);
    RECTL two = kTwoColour;
    POINTL monoOrg = {3, 1};
    vFillTwoColour(pso, &two, 1, mono.get(), &monoOrg, ulRop3Info(0xF0), 0xAAF0);
    Flush();

    const auto out = ReadAll(pso);
    const auto want = Reference();
    int bad = 0;
    for (LONG i = 0; i < kCx * kCy && bad < 5; ++i) {
        if ((out[i] & 0xFFFFFF) != want[i]) {
            ADD_FAILURE() << "pixel (" << i % kCx << "," << i / kCx << "): 0x" << std::hex << out[i]
                          << " instead of 0x" << want[i];
            ++bad;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, FillModels, ::testing::ValuesIn(kBoardModels), BoardModelName);

}  // namespace
}  // namespace vnx::test
