// Block transfers: the blit entry points (DrvBitBlt, DrvCopyBits and the
// exported CopyBits, declared in vornix_surface.h), the brush realization
// and the rectangle routines the whole driver shares.
//
// The entry points classify a request and hand it to the fills (fill.h),
// the host transfers (xfer.h) or the on-board copies, or give it back to the
// engine's software routines (EngBitBlt, EngCopyBits). Every hardware step
// runs under the device's csEscape. The rectangle routines the driver shares
// are in cliprects.h.
#pragma once

#include "blt/brush.h"
#include "cliprects.h"
#include "pdev.h"
#include "platform/ddi.h"
#include "vornix_surface.h"

// --- classification (blt.cpp, copybits.cpp) --------------------------------------

// The device of a board-memory surface (STYPE_DEVICE or STYPE_DEVBITMAP):
// its DSURF's device; null for a host bitmap or a surface without one.
PDEV* ppdevOfDeviceSurface(SURFOBJ* pso);
// Whether a surface lies in board memory.
inline BOOL bIsDeviceSurface(const SURFOBJ* pso) {
    return pso != nullptr && (pso->iType == STYPE_DEVICE || pso->iType == STYPE_DEVBITMAP);
}
// Whether a colour translation lets the hardware move pixels unchanged: none
// given, a trivial one, or a BGR source on a direct-colour device.
BOOL bUsableXlate(const PDEV* ppdev, const XLATEOBJ* pxlo);
// The first cEntries values of pxlo's translation vector into pul: the
// vector's values (pulXlate, else XLATEOBJ_piVector), 0 past its end; the
// identity when no translation or no vector is given (the values then pass
// unchanged, as the engine treats them).
void vXlateVector(XLATEOBJ* pxlo, ULONG* pul, ULONG cEntries);

// The fallback of CopyBits through the device's host bitmap of the drawing
// area's size (hsurfTmp32, made on first need). Runs under the lock.
BOOL bCopyBitsThroughTemporary(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                               RECTL* prclDst, POINTL* pptlSrc, ULONG iMode);

// --- brushes (brush_realize.cpp) ----------------------------------------------------

// The next realization number: 1 first, shared by every device. Not locked:
// only inequality of successive values is relied on.
ULONG ulNextBrushUniq();
