// The pattern surface comes after the 3D buffers: a board whose memory just
// holds the primary, back and depth buffers keeps 3D and goes without the
// pattern surface, and colour pattern fills on it decline cleanly (nothing
// queued, no pixel changed) so that their caller can hand them to the
// engine; with the pattern surface they draw the brush.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "display/surface/surface_fixture.h"
#include "fill/fill.h"
#include "platform/engine.h"
#include "rop/rop.h"

namespace {

using namespace vnx::test;

class SurfacePatternTest : public SurfaceTest {
  protected:
    // A colour brush of 8 x 8 32-bit pixels, pixel (x, y) = Pixel(x, y).
    static ULONG Pixel(LONG x, LONG y) { return 0x00102030u + 0x00010203u * (y * 8 + x); }
    REALBRUSH* Brush(ULONG iUniq) {
        words_.assign(4 + 64, 0);
        REALBRUSH* prb = reinterpret_cast<REALBRUSH*>(words_.data());
        prb->fl = REALBRUSH_PIXELS;
        prb->iUniq = iUniq;
        for (LONG i = 0; i < 64; ++i) {
            const ULONG p = Pixel(i % 8, i / 8);
            std::memcpy(prb->ajPattern + 4 * i, &p, 4);
        }
        return prb;
    }
    // The screen's pixels of a rectangle.
    std::vector<std::uint32_t> Screen(const RECTL& r) {
        return board().read_pixels(0, static_cast<std::uint16_t>(ppdev->pidScreen), r.left, r.top,
                                   r.right - r.left, r.bottom - r.top);
    }
    // A colour pattern fill of the screen through the clip wrapper, drawn.
    void Fill(SURFOBJ* pso, RECTL rcl, REALBRUSH* prb, POINTL org) {
        EnterCriticalSection(&ppdev->csEscape);
        vFillPatternClipped(pso, nullptr, &rcl, prb, &org, ulRop3Info(0xF0), 0xF0);
        LeaveCriticalSection(&ppdev->csEscape);
        Drain();
    }

    std::vector<ULONG> words_;
};

// Boards whose memory just holds primary, back and depth buffers keep 3D;
// the pattern surface is what goes. With room to spare both are there.
TEST_F(SurfacePatternTest, TightBoardsKeep3dAndGoWithoutThePatternSurface) {
    struct Row {
        const char* name;
        int rasterizers, memoryClass;
        ULONG cx, cy;
        bool bPattern;
    };
    const Row rows[] = {
        // 8 MB a rasterizer: 12 + 12 + 8 of the 32 page slots.
        {"duo 1024x768x32", 2, 2, 1024, 768, false},
        // One rasterizer: the tiles alias the back buffer, the alternate
        // buffer lies in the primary's padding.
        {"solo 800x600x32", 1, 2, 800, 600, false},
        {"duo 640x480x32, room to spare", 2, 2, 640, 480, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Make(Memory(row.rasterizers, row.memoryClass), Request(row.cx, row.cy, 32));
        const size_t surfaces = vnx::engine::live_surfaces();
        ASSERT_TRUE(device_->enable_surface()) << vnx::debug::peek();
        EXPECT_EQ(vnx::debug::take(), "");
        EXPECT_NE(ppdev->hsurfZ, nullptr);
        EXPECT_NE(ppdev->hsurfBack, nullptr);
        EXPECT_NE(ppdev->hsurfDither, nullptr);
        EXPECT_NE(ppdev->pPageConfig->cDepthBits, 0u);
        EXPECT_EQ(ppdev->psoPattern != nullptr, row.bPattern);
        EXPECT_EQ(ppdev->cFreeSlots == 0, !row.bPattern);
        device_->disable_surface();
        EXPECT_TRUE(NothingHeld());
        EXPECT_EQ(vnx::engine::live_surfaces(), surfaces);
        EXPECT_EQ(Errors(), "");
    }
}

// Every mode the machine offers by default, on every single-board model
// with 8 MB a rasterizer: the pattern surface is
// there unless 3D is on and the primary, back and depth buffers hold every
// page slot between them (then nothing is left to place it in without
// giving up 3D).
TEST_F(SurfacePatternTest, ThereInEveryDefaultModeWhereASlotIsLeft) {
    int cMissing = 0;
    for (const BoardModel& model : {kSolo, kDuo, kQuad})
        for (int memoryClass : {2})
            for (const vnx::miniport::ModeSpec& mode : vnx::miniport::default_modes()) {
                const ULONG bpp = mode.planes * mode.bitsPerPlane;
                SCOPED_TRACE(testing::Message() << model.name << " class " << memoryClass << " "
                                                << mode.width << "x" << mode.height << "x" << bpp);
                Make(Memory(model.rasterizers, memoryClass, 0, 0, model.boards),
                     Request(mode.width, mode.height, bpp));
                if (!device_->enable_surface()) continue;  // the mode needs more memory
                ULONG c3d = 0;
                for (const PAGESLOT& slot : ppdev->aaSlot[0]) {
                    for (SURFOBJ* pso : {ppdev->psoBack, ppdev->psoZ}) {
                        const DSURF* pdsurf =
                            pso != nullptr ? reinterpret_cast<DSURF*>(pso->dhsurf) : nullptr;
                        if (pdsurf != nullptr && slot.ppb != nullptr &&
                            slot.ppb == pdsurf->pdfb->ppb)
                            ++c3d;
                    }
                    if (slot.ppb != nullptr && slot.ppb == ppdev->pdsurfScreen->pdfb->ppb) ++c3d;
                }
                const bool bFull = ppdev->hsurfZ != nullptr && c3d == PAGE_SLOTS;
                EXPECT_EQ(ppdev->psoPattern == nullptr, bFull) << c3d << " slots for 3D";
                cMissing += ppdev->psoPattern == nullptr;
                device_->disable_surface();
                vnx::debug::clear();
            }
    EXPECT_GT(cMissing, 0) << "the 32-bpp modes whose 3D buffers fill the slots";
}

// Without the pattern surface a colour pattern fill is declined: it queues
// nothing and leaves the screen and the pattern cache as they were.
TEST_F(SurfacePatternTest, ColourPatternFillDeclinesWithoutThePatternSurface) {
    Boot(Memory(2, 2), Request(1024, 768, 32));
    ASSERT_EQ(ppdev->psoPattern, nullptr);
    SURFOBJ* pso = EngLockSurface(device_->hsurf());
    ASSERT_NE(pso, nullptr);
    EXPECT_FALSE(bPatternFillAvailable(pso));

    ppdev->iPatternUniq = 0x1234;
    const RECTL rcl{100, 50, 300, 170};
    const auto before = Screen(rcl);
    Fill(pso, rcl, Brush(7), POINTL{0, 0});
    for (int r = 0; r < board().rasterizers(); ++r) EXPECT_TRUE(Drawn(r).empty()) << r;
    EXPECT_EQ(Screen(rcl), before);
    EXPECT_EQ(ppdev->iPatternUniq, 0x1234u);
    EXPECT_EQ(Errors(), "");
    EngUnlockSurface(pso);
}

// With the pattern surface the same fill draws the brush at its origin on
// every rasterizer's tiles; a host bitmap is never a pattern fill's target.
TEST_F(SurfacePatternTest, ColourPatternFillDrawsWithThePatternSurface) {
    Boot(Memory(2, 2), Request(640, 480, 32));
    ASSERT_NE(ppdev->psoPattern, nullptr);
    SURFOBJ* pso = EngLockSurface(device_->hsurf());
    ASSERT_NE(pso, nullptr);
    EXPECT_TRUE(bPatternFillAvailable(pso));

    const RECTL rcl{100, 50, 300, 170};  // across the tiles of both rasterizers
    const POINTL org{3, 5};
    Fill(pso, rcl, Brush(7), org);
    const auto out = Screen(rcl);
    const LONG cx = rcl.right - rcl.left;
    for (LONG y = rcl.top; y < rcl.bottom; ++y)
        for (LONG x = rcl.left; x < rcl.right; ++x)
            ASSERT_EQ(out[(y - rcl.top) * cx + (x - rcl.left)],
                      Pixel((x - org.x) & 7, (y - org.y) & 7))
                << x << "," << y;
    EXPECT_EQ(ppdev->iPatternUniq, 7u);
    EXPECT_EQ(Errors(), "");
    EngUnlockSurface(pso);

    HSURF hHost = EngCreateBitmap(SIZEL{16, 16}, 64, BMF_32BPP, 0, nullptr);
    ASSERT_NE(hHost, nullptr);
    SURFOBJ* psoHost = EngLockSurface(hHost);
    EXPECT_FALSE(bPatternFillAvailable(psoHost));
    EngUnlockSurface(psoHost);
    EngDeleteSurface(hHost);
}

}  // namespace
