// DrvEnableSurface over the machine configurations: memory classes, page
// multiplier codes, rasterizer counts, depths and screen sizes. Whenever the
// 32 page slots hold the primary and the two scratch tiles the surface
// enables (with 3D or without it); when they cannot, it fails. Either way
// nothing is left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "display/surface/surface_fixture.h"
#include "platform/engine.h"

namespace {

using namespace vnx::test;

// One machine and mode.
struct Config {
    int rasterizers, memoryClass, xCode, yCode;
    ULONG cx, cy, bpp;
};

// Page multiplier by its two-bit code.
LONG Multiplier(int code) { return code == 0 ? 1 : code == 1 ? 2 : 4; }

LONG Pages(LONG side, LONG page) { return (side + page - 1) / page; }

// Page slots the 2D surface needs at least: the primary (rounded to whole
// pages, cut to 2047 where only the rounding went past it) and the two
// 128 x 128 scratch tiles of 32-bit pixels, packed into their pages.
LONG SlotsNeeded(const Config& c) {
    const int pixelClass = c.bpp == 32 ? 2 : c.bpp == 16 ? 1 : 0;
    const PAGECONFIG& screen = gaPageConfig[c.memoryClass * 3 + pixelClass];
    const PAGECONFIG& tile = gaPageConfig[c.memoryClass * 3 + 2];
    const LONG xMul = Multiplier(c.xCode), yMul = Multiplier(c.yCode);
    const LONG cxPage = static_cast<LONG>(screen.cxPage) * xMul;
    const LONG cyPage = static_cast<LONG>(screen.cyPage) * yMul;
    auto side = [](LONG v, LONG page) {
        const LONG r = Pages(v, page) * page;
        return r > BLOCK_EXTENT && v <= BLOCK_EXTENT ? BLOCK_EXTENT : r;
    };
    const LONG primary = Pages(side(static_cast<LONG>(c.cx), cxPage), cxPage) *
                         Pages(side(static_cast<LONG>(c.cy), cyPage), cyPage);
    const LONG tilesPerPage = std::max<LONG>(static_cast<LONG>(tile.cxPage) * xMul / 128, 1) *
                              std::max<LONG>(static_cast<LONG>(tile.cyPage) * yMul / 128, 1);
    return primary + Pages(2, tilesPerPage);
}

std::string Name(const Config& c) {
    return std::to_string(c.rasterizers) + " rasterizers, class " + std::to_string(c.memoryClass) +
           ", codes x" + std::to_string(c.xCode) + " y" + std::to_string(c.yCode) + ", " +
           std::to_string(c.cx) + "x" + std::to_string(c.cy) + "x" + std::to_string(c.bpp);
}

class SurfaceSweepTest : public SurfaceTest {};

// Configurations that once failed although the slots hold the 2D buffers:
// 3D buffers and tiles took every slot (a tile stacked below another one
// in a new page instead of beside it in the page it shares; 3D buffers
// whose bytes fit but whose pages did not leave the dither tile no slot).
const Config kTight[] = {
    {1, 0, 1, 0, 800, 600, 16},   {2, 0, 1, 0, 800, 600, 16},   {4, 0, 1, 0, 800, 600, 16},
    {1, 0, 2, 0, 800, 600, 16},   {1, 1, 0, 1, 1280, 1024, 16}, {2, 1, 0, 1, 1280, 1024, 16},
    {4, 1, 0, 1, 1280, 1024, 16}, {1, 2, 0, 0, 1280, 1024, 16}, {4, 2, 0, 0, 1280, 1024, 16},
    {2, 0, 2, 0, 1280, 1024, 8},  {4, 0, 3, 0, 1280, 1024, 8},  {2, 2, 0, 0, 1024, 768, 32},
};

// Every memory class with every pair of multiplier codes, each on one of the
// rasterizer counts, depths and screen sizes in turn, then the tight ones.
// (The whole product of these, 1728 machines, passes as well but takes
// minutes under the sanitizers.)
TEST_F(SurfaceSweepTest, EnablesWheneverTheSlotsHoldTheBuffers) {
    const ULONG sizes[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 1024}};
    const int rasterizers[] = {1, 2, 4};
    const ULONG depths[] = {8, 16, 32};
    std::vector<Config> configs;
    int i = 0;
    for (int mc = 0; mc <= 2; ++mc)
        for (int xc = 0; xc <= 3; ++xc)
            for (int yc = 0; yc <= 3; ++yc, ++i) {
                const auto& s = sizes[(i + i / 4) % 4];
                configs.push_back(
                    {rasterizers[i % 3], mc, xc, yc, s[0], s[1], depths[(i / 3) % 3]});
            }
    configs.insert(configs.end(), std::begin(kTight), std::end(kTight));
    for (const Config& c : configs) {
        SCOPED_TRACE(Name(c));
        Make(Memory(c.rasterizers, c.memoryClass, c.xCode, c.yCode), Request(c.cx, c.cy, c.bpp));
        const size_t surfaces = vnx::engine::live_surfaces();
        const bool bFits = SlotsNeeded(c) <= PAGE_SLOTS;
        const bool bEnabled = device_->enable_surface() != FALSE;
        EXPECT_EQ(bEnabled, bFits) << SlotsNeeded(c) << " slots; " << vnx::debug::peek();
        if (bEnabled) {
            EXPECT_NE(ppdev->psoTmp, nullptr);
            EXPECT_NE(ppdev->psoTmp24, nullptr);
            // 3D is whole or not there at all.
            EXPECT_EQ(ppdev->hsurfZ != nullptr, ppdev->hsurfDither != nullptr);
            device_->disable_surface();
        }
        EXPECT_TRUE(NothingHeld());
        EXPECT_EQ(vnx::engine::live_surfaces(), surfaces);
        EXPECT_EQ(Errors(), "");
        vnx::debug::clear();
        if (HasFailure()) return;
    }
}

}  // namespace
