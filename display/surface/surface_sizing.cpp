// Placement sizes of the surface set-up: the primary's board-memory
// rectangle and the 3D buffer sizing, which decides whether the board holds
// a back buffer and a depth buffer beside the primary.
#include <algorithm>
#include <cstdint>

#include "surface/surface.h"

namespace {

constexpr LONG kMaxExtent = BLOCK_EXTENT;  // a page block's last pixel
constexpr LONG kcTile3d = 128;             // the dither and scratch tiles' edge
constexpr ULONG kcTiles3d = 3;             // the dither tile and the two scratch tiles

LONG lRoundUp(LONG v, LONG step) { return (v + step - 1) / step * step; }

// A side of the primary: rounded up to whole pages, and cut back to the
// block's extent when only the rounding took it past.
LONG lPrimarySide(LONG v, LONG page) {
    const LONG r = lRoundUp(v, page);
    return r > kMaxExtent && v <= kMaxExtent ? kMaxExtent : r;
}

// Bytes of the screen rounded up to whole pages of format iFormat, the
// pages' sides taken as the configuration row's times 2 to the power of the
// board's multiplier codes: code 3 counts 8 here, where the pages
// themselves (vPageSize) are 4 times larger, so the sizing errs on the safe
// side.
std::uint64_t cbRoundedScreen(const PDEV* ppdev, ULONG iFormat, ULONG cjPixel) {
    LONG cxPage = 0, cyPage = 0;
    vPageSize(ppdev, iFormat, &cxPage, &cyPage);
    cxPage = cxPage / std::max<LONG>(ppdev->cxPageMul, 1) << (ppdev->ulPageMulCodeX & 3u);
    cyPage = cyPage / std::max<LONG>(ppdev->cyPageMul, 1) << (ppdev->ulPageMulCodeY & 3u);
    return static_cast<std::uint64_t>(lRoundUp(ppdev->cxScreen, cxPage)) *
           static_cast<std::uint64_t>(lRoundUp(ppdev->cyScreen, cyPage)) * cjPixel;
}

// Pages (page slots) that a cx x cy rectangle at the origin of its page
// block covers in format iFormat.
ULONG cPagesAtOrigin(const PDEV* ppdev, ULONG iFormat, LONG cx, LONG cy) {
    LONG cxPage = 0, cyPage = 0;
    vPageSize(ppdev, iFormat, &cxPage, &cyPage);
    return static_cast<ULONG>(lRoundUp(cx, cxPage) / cxPage) *
           static_cast<ULONG>(lRoundUp(cy, cyPage) / cyPage);
}

// Whether the 32 page slots hold the primary, the back buffer, a depth
// buffer of format iDepthFormat and the three 128 x 128 tiles of the 3D
// set-up (dither and scratch). The byte count above can pass where the slots
// do not (each slot maps one page of every rasterizer): then the tiles,
// made after the 3D buffers, would find no slot and the whole surface would
// fail. At 32 bpp with a back buffer the tiles may alias the back buffer
// and need no page of their own.
BOOL bSlotsHold3d(const PDEV* ppdev, ULONG iDepthFormat) {
    const BOOL bStereo = ppdev->pPageConfig->fStereo != 0;
    const BOOL bBack = ppdev->bc.doubleBuffer != 0;
    LONG cx = 0, cy = 0;
    vPrimaryExtent(ppdev, bStereo, &cx, &cy);
    ULONG c = cPagesAtOrigin(ppdev, ppdev->iBitmapFormat, cx, cy) * (bBack ? 2u : 1u);
    c += cPagesAtOrigin(ppdev, iDepthFormat, ppdev->cxScreen, ppdev->cyScreen * (bStereo ? 2 : 1));
    if (!(bBack && ppdev->iBitmapFormat == BMF_32BPP)) {
        LONG cxPage = 0, cyPage = 0;
        vPageSize(ppdev, BMF_32BPP, &cxPage, &cyPage);
        const ULONG cPerPage = static_cast<ULONG>(std::max<LONG>(cxPage / kcTile3d, 1) *
                                                  std::max<LONG>(cyPage / kcTile3d, 1));
        c += (kcTiles3d + cPerPage - 1) / cPerPage;
    }
    return c <= PAGE_SLOTS;
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
        if (cb + DEPTH24_HEADROOM <= cbLeft && bSlotsHold3d(ppdev, BMF_32BPP)) {
            cbLeft -= cb;
            cDepth = 24;
        }
    }
    if (cDepth == 0) {
        const std::uint64_t cb = cbRoundedScreen(ppdev, BMF_16BPP, 2);
        if (cb > cbLeft || !bSlotsHold3d(ppdev, BMF_16BPP)) return FALSE;
        cbLeft -= cb;
        cDepth = 16;
    }
    ppc->cDepthBits = cDepth;
    if (cbLeft >= SIZING_MIN_LEFT) return TRUE;

    // Short of memory: only a 32-bpp screen on one rasterizer goes on, with
    // the alternate buffer in the primary's padding.
    LONG cxRounded = 0, cyRounded = 0;
    vRoundedScreen(ppdev, ppdev->cyScreen, &cxRounded, &cyRounded);
    const BOOL bPadding = cxRounded - ppdev->cxScreen >= 128 || cyRounded - ppdev->cyScreen >= 128;
    if (ppdev->iBitmapFormat == BMF_32BPP && layout.cQueues == 1 && bPadding) {
        ppc->fAltBuffer = 1;
        return TRUE;
    }
    return FALSE;
}
