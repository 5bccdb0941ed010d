// The hardware cursor: DrvSetPointerShape loads a pointer into the RAMDAC's
// 64 x 64 cursor of three colours, DrvMovePointer places it. On a board
// that drives two screens side by side each screen has its own RAMDAC; the
// cursor is shown by the one under the pointer, both hold the same shape.
//
// The engine calls the pointer entry points without the device lock. Every
// RAMDAC sequence runs under csRamdac, which the vertical-blank wait takes
// as well (while holding csEscape); csEscape is therefore never taken while
// csRamdac is held.
#include "pointer/pointer.h"

#include <atomic>

#include "device/entry.h"
#include "pointer/pointer_internal.h"

namespace {

// The flags of DrvSetPointerShape the cursor knows: change, asynchronous
// change, animation start and update.
constexpr FLONG kflKnown = 0x0000000F;
// Queue updates that hand work to the board at once after a move, so that
// drawing keeps pace with the pointer.
constexpr LONG kcFlushAfterMove = 40;

// The register window of each screen's RAMDAC.
BYTE* pjScreenRegs(const PDEV* ppdev, ULONG iScreen) {
    return iScreen == 0 ? ppdev->apRegs[0] : ppdev->apRegs[ppdev->layout.cQueuesPerScreen];
}

ULONG cScreens(const PDEV* ppdev) { return ppdev->layout.bSplitScreen ? 2 : 1; }

// Screen of a desktop x, and x made relative to it. The second screen of a
// split board starts at the first screen's width.
ULONG iScreenOf(const PDEV* ppdev, LONG* px) {
    if (!ppdev->layout.bSplitScreen || *px < ppdev->cxScreen) return 0;
    *px -= ppdev->cxScreen;
    return 1;
}

// fEnabled is also read by the drawing code, which does not take csRamdac.
void vSetEnabled(PDEV* ppdev, ULONG fEnabled) {
    std::atomic_ref<ULONG>(ppdev->ptr.fEnabled).store(fEnabled);
}

void vCursorShow(PDEV* ppdev) {
    vRamdacCursorControl(ppdev->ptr.pjRegs, CURSOR_ON);
    vSetEnabled(ppdev, 1);
}

void vCursorHide(PDEV* ppdev) {
    vRamdacCursorControl(ppdev->ptr.pjRegs, CURSOR_OFF);
    vSetEnabled(ppdev, 0);
}

// Off on every screen's RAMDAC.
void vCursorHideAll(PDEV* ppdev) {
    for (ULONG i = 0; i < cScreens(ppdev); ++i)
        vRamdacCursorControl(pjScreenRegs(ppdev, i), CURSOR_OFF);
    vSetEnabled(ppdev, 0);
}

// Makes the RAMDAC of the screen under *px the one in use (x made relative
// to that screen). When that changes while the cursor is shown, the old
// RAMDAC's cursor goes off; the new one shows it after its first position
// write.
void vSelectScreen(PDEV* ppdev, LONG* px) {
    BYTE* pjRegs = pjScreenRegs(ppdev, iScreenOf(ppdev, px));
    if (pjRegs == ppdev->ptr.pjRegs) return;
    if (ppdev->ptr.fEnabled) vCursorHide(ppdev);
    ppdev->ptr.pjRegs = pjRegs;
    // The new RAMDAC's position register holds nothing of ours.
    ppdev->ptr.lastX = -1;
    ppdev->ptr.lastY = -1;
}

// The position write: nothing when (x, y) is where the cursor already is.
void vWritePosition(PDEV* ppdev, LONG x, LONG y) {
    POINTERSTATE& ptr = ppdev->ptr;
    if (x == ptr.lastX && y == ptr.lastY) return;
    ptr.lastX = x;
    ptr.lastY = y;
    const ULONG ulX = static_cast<ULONG>(x) - ptr.xHot + static_cast<ULONG>(LONG{ptr.originX});
    const ULONG ulY = static_cast<ULONG>(y) - ptr.yHot + static_cast<ULONG>(LONG{ptr.originY});
    vRamdacCursorPosition(ptr.pjRegs, ulY << 16 | (ulX & 0xFFFFu));
}

// Whether the RAMDACs hold a pointer to show: a shape without a mask leaves
// none (its size is zero) until the next shape.
bool bHasShape(const PDEV* ppdev) { return ppdev->ptr.cx != 0 && ppdev->ptr.cy != 0; }

// Places the cursor at (x, y) and shows it, or hides it for x = -1. Without
// a pointer only the position is written: the cursor stays off.
void vPlaceCursor(PDEV* ppdev, LONG x, LONG y) {
    if (x == -1) {
        vCursorHide(ppdev);
        return;
    }
    vSelectScreen(ppdev, &x);
    vWritePosition(ppdev, x, y);
    if (!ppdev->ptr.fEnabled && bHasShape(ppdev)) vCursorShow(ppdev);
}

// The shape on every screen's RAMDAC, the cursor off while it loads.
void vLoadShape(PDEV* ppdev, const CURSORCOLOURS& colours, const BYTE ajImage[CURSOR_IMAGE_BYTES]) {
    vCursorHideAll(ppdev);
    for (ULONG i = 0; i < cScreens(ppdev); ++i)
        vRamdacCursorShape(pjScreenRegs(ppdev, i), colours, ajImage);
}

PDEV* ppdevOfSurface(SURFOBJ* pso) {
    if (pso == nullptr) return nullptr;
    PDEV* ppdev = reinterpret_cast<PDEV*>(pso->dhpdev);
    // No cursor without the register windows (surface disabled).
    return ppdev != nullptr && ppdev->ptr.pjRegs != nullptr ? ppdev : nullptr;
}

// A new shape, under csRamdac. The mask: AND plane (cy rows) over XOR plane.
ULONG ulSetShape(PDEV* ppdev, SURFOBJ* psoMask, SURFOBJ* psoColor, XLATEOBJ* pxlo, LONG xHot,
                 LONG yHot, LONG x, LONG y, FLONG fl) {
    if ((fl & ~kflKnown) != 0) {
        vCursorHideAll(ppdev);
        return SPS_DECLINE;
    }
    if (psoMask == nullptr) {
        // No pointer: the old shape stays in the RAMDACs but is not shown
        // again by a move.
        vCursorHideAll(ppdev);
        ppdev->ptr.cx = 0;
        ppdev->ptr.cy = 0;
        return SPS_ACCEPT_NOEXCLUDE;
    }
    const LONG cx = psoMask->sizlBitmap.cx;
    const LONG cy = psoMask->sizlBitmap.cy / 2;
    if (cx > CURSOR_SIZE || cy > CURSOR_SIZE || cx < 0 || cy < 0 || psoMask->pvScan0 == nullptr) {
        vCursorHideAll(ppdev);
        return SPS_DECLINE;
    }
    POINTERSTATE& ptr = ppdev->ptr;
    ptr.cx = static_cast<USHORT>(cx);
    ptr.cy = static_cast<USHORT>(cy);
    ptr.xHot = static_cast<USHORT>(xHot);
    ptr.yHot = static_cast<USHORT>(yHot);
    ptr.lastX = -1;
    ptr.lastY = -1;

    const BYTE* pjAnd = static_cast<const BYTE*>(psoMask->pvScan0);
    const LONG lDelta = psoMask->lDelta;
    CURSORCOLOURS colours;
    BYTE ajImage[CURSOR_IMAGE_BYTES];
    if (psoColor != nullptr) {
        if (!bReduceColourPointer(ppdev, psoColor, pxlo, pjAnd, lDelta, static_cast<ULONG>(cx),
                                  static_cast<ULONG>(cy), &colours, ajImage)) {
            vCursorHideAll(ppdev);
            return SPS_DECLINE;
        }
    } else {
        // Inverting pixels in mid grey, then black and white.
        colours = CURSORCOLOURS{{0x808080, 0x000000, 0xFFFFFF}};
        vCursorImageFromPlanes(pjAnd, pjAnd + static_cast<std::ptrdiff_t>(cy) * lDelta, lDelta,
                               static_cast<ULONG>(cx), static_cast<ULONG>(cy), ajImage);
    }
    vLoadShape(ppdev, colours, ajImage);
    // x = -1: the shape waits, hidden, for the next move.
    vPlaceCursor(ppdev, x, y);
    return SPS_ACCEPT_NOEXCLUDE;
}

}  // namespace

void vResetPointer(PDEV* ppdev) {
    POINTERSTATE& ptr = ppdev->ptr;
    ptr.originX = 0;
    ptr.originY = 0;
    ptr.lastX = -1;
    ptr.lastY = -1;
    ptr.pjRegs = ppdev->apRegs[0];
}

ULONG DrvSetPointerShape(SURFOBJ* pso, SURFOBJ* psoMask, SURFOBJ* psoColor, XLATEOBJ* pxlo,
                         LONG xHot, LONG yHot, LONG x, LONG y, RECTL* /*prcl*/, FLONG fl) {
    PDEV* ppdev = ppdevOfSurface(pso);
    if (ppdev == nullptr) return SPS_DECLINE;
    EnterCriticalSection(&ppdev->csRamdac);
    const ULONG ulResult = ulSetShape(ppdev, psoMask, psoColor, pxlo, xHot, yHot, x, y, fl);
    LeaveCriticalSection(&ppdev->csRamdac);
    return ulResult;
}

void DrvMovePointer(SURFOBJ* pso, LONG x, LONG y, RECTL* /*prcl*/) {
    PDEV* ppdev = ppdevOfSurface(pso);
    if (ppdev == nullptr) return;
    // The queue code counts cFlushNow down under csEscape.
    EnterCriticalSection(&ppdev->csEscape);
    ppdev->cFlushNow = kcFlushAfterMove;
    LeaveCriticalSection(&ppdev->csEscape);

    EnterCriticalSection(&ppdev->csRamdac);
    vPlaceCursor(ppdev, x, y);
    LeaveCriticalSection(&ppdev->csRamdac);
}
