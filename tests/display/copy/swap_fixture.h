// What the swap tests share: front and back buffers in board memory, and a
// swap as the GL server makes it, under csEscape, with every queue drained
// afterwards so the board shows it.
#pragma once

#include "display/xfer/xfer_fixture.h"
#include "vornix_swap.h"

namespace vnx::test {

class SwapFixture : public XferTest {
  protected:
    // Front and back buffers of cx x cy at board (0, 0) of two page blocks.
    void MakeBuffers(LONG cx, LONG cy) {
        POINTL at = {0, 0};
        front_ = DeviceBitmap(cx, cy, &at, DFB_FL_CLASS80);
        back_ = DeviceBitmap(cx, cy, &at, DFB_FL_CLASS80);
        ASSERT_NE(front_, nullptr);
        ASSERT_NE(back_, nullptr);
        ASSERT_NE(Dfb(front_)->ppb, Dfb(back_)->ppb);
    }
    void Swap(const RECTL& rcl, CLIPOBJ* pco = nullptr, ULONG ulPageMask = 0, BOOL bDirect = FALSE,
              ULONG fPlanes = 1) {
        RECTL r = rcl;
        EnterCriticalSection(&ppdev->csEscape);
        kz2SwapBackToFrontC(back_, front_, pco, &r, ulPageMask, bDirect, fPlanes);
        kz2FlushQueue(ppdev->pqm, static_cast<ULONG>(-1), nullptr, nullptr);
        LeaveCriticalSection(&ppdev->csEscape);
    }

    SURFOBJ* front_ = nullptr;
    SURFOBJ* back_ = nullptr;
};

}  // namespace vnx::test
