// Placement sizes of the surface set-up: the primary's board-memory
// rectangle and the 3D buffer sizing, which decides whether the board holds
// a back buffer and a depth buffer beside the primary.
#include <cstdint>

#include "surface.h"

namespace {

constexpr LONG kMaxExtent = BLOCK_EXTENT;  // a page block's last pixel

LONG lRoundUp(LONG v, LONG step) { return (v + step - 1) / step * step; }

// A side of the primary: rounded up to whole pages, and cut back to the
// block's extent when only the rounding took it past.
LONG lPrimarySide(LONG v, LONG page) {
    const LONG r = lRoundUp(v, page);
    return r > kMaxExtent && v <= kMaxExtent ? kMaxExtent : r;
}

// Bytes of the screen rounded up to whole pages of format iFormat.
std::uint64_t cbRoundedScreen(const PDEV* ppdev, ULONG iFormat, ULONG cjPixel) {
    LONG cxPage = 0, cyPage = 0;
    vPageSize(ppdev, iFormat, &cxPage, &cyPage);
    return static_cast<std::uint64_t>(lRoundUp(ppdev->cxScreen, cxPage)) *
           static_cast<std::uint64_t>(lRoundUp(ppdev->cyScreen, cyPage)) * cjPixel;
}

}  // namespace

void vRoundedScreen(const PDEV* ppdev, LONG cy, LONG* pcxRounded, LONG* pcyRounded) {
    LONG cxPage = 0, cyPage = 0;
    vPageSize(ppdev, ppdev->iBitmapFormat, &cxPage, &cyPage);
    *pcxRounded = lRoundUp(ppdev->cxScreen, cxPage);
    *pcyRounded = lRoundUp(cy, cyPage);
}

void vPrimaryExtent(const PDEV* ppdev, BOOL bStereo, LONG* pcx, LONG* pcy) {
    LONG cxPage = 0, cyPage = 0;
    vPageSize(ppdev, ppdev->iBitmapFormat, &cxPage, &cyPage);
    *pcx = lPrimarySide(ppdev->cxScreen, cxPage);
    *pcy = lPrimarySide(ppdev->cyScreen * (bStereo ? 2 : 1), cyPage);
}

BOOL bAlloc3dBuffers(PDEV* ppdev) {
    const QUEUELAYOUT& layout = ppdev->layout;
    PAGECONFIG* ppc = ppdev->pPageConfig;

    // The memory of one screen: 32 pages of every rasterizer showing it.
    const ULONG cRasterizers = layout.bSplitScreen ? layout.cQueuesPerScreen : layout.cQueues;
    const std::uint64_t cbPage = (std::uint64_t{0x10000} << ppdev->ulMemoryClass) *
                                 static_cast<std::uint64_t>(ppdev->cxPageMul) *
                                 static_cast<std::uint64_t>(ppdev->cyPageMul);
    const std::uint64_t cbTotal = cbPage * PAGE_SLOTS * cRasterizers;

    // The primary and its back buffer.
    const std::uint64_t cbPrimary =
        cbRoundedScreen(ppdev, ppdev->iBitmapFormat, 1u << ppdev->iPixelClass);
    if (2 * cbPrimary > cbTotal) return FALSE;
    std::uint64_t cbLeft = cbTotal - 2 * cbPrimary;

    ppc->cDepthBits = 0;
    ppc->aulGLSizing[0] = 8;
    ppc->aulGLSizing[1] = 8;
    ppc->aulGLSizing[2] = 0;
    ppc->aulGLSizing[3] = 0;
    ppc->fAltBuffer = 0;

    // The depth buffer: 24 bits when asked for and it fits with room to
    // spare, else 16 bits.
    const ULONG cDepthAsked = ppdev->bc.currentZDepth;
    if (cDepthAsked == 0) return FALSE;
    ULONG cDepth = 0;
    if (cDepthAsked == 24) {
        const std::uint64_t cb = cbRoundedScreen(ppdev, BMF_32BPP, 4);
        if (cb + DEPTH24_HEADROOM <= cbLeft) {
            cbLeft -= cb;
            cDepth = 24;
        }
    }
    if (cDepth == 0) {
        const std::uint64_t cb = cbRoundedScreen(ppdev, BMF_16BPP, 2);
        if (cb > cbLeft) return FALSE;
        cbLeft -= cb;
        cDepth = 16;
    }
    ppc->cDepthBits = cDepth;
    if (cbLeft >= SIZING_MIN_LEFT) return TRUE;

    // Short of memory: only a 32-bpp screen on one rasterizer goes on, with
    // the alternate buffer in the primary's padding.
    LONG cxRounded = 0, cyRounded = 0;
    vRoundedScreen(ppdev, ppdev->cyScreen, &cxRounded, &cyRounded);
    const BOOL bPadding =
        cxRounded - ppdev->cxScreen >= 128 || cyRounded - ppdev->cyScreen >= 128;
    if (ppdev->iBitmapFormat == BMF_32BPP && layout.cQueues == 1 && bPadding) {
        ppc->fAltBuffer = 1;
        return TRUE;
    }
    return FALSE;
}
