// DrvCopyBits and the exported CopyBits: source copies between host memory
// and board memory (uploads, downloads, 1-bit expansion) and between device
// surfaces (on-board copies). What the hardware cannot do directly goes
// through a host bitmap of the drawing area's size and the engine's
// EngCopyBits.
#include "blt/blt.h"
#include "copy/copy.h"
#include "platform/engine.h"
#include "xfer/xfer.h"

namespace {

// The bitmap formats the transfers move as they are.
BOOL bTransferFormat(ULONG iFormat) {
    return iFormat == BMF_8BPP || iFormat == BMF_16BPP || iFormat == BMF_32BPP;
}

// The device's host bitmap of the drawing area's size in the screen format,
// made and locked on first need and kept until the device goes; null when it
// cannot be made.
SURFOBJ* psoTemporary(PDEV* ppdev) {
    if (ppdev->psoTmp32 != nullptr) return ppdev->psoTmp32;
    if (ppdev->hsurfTmp32 == nullptr) {
        ppdev->hsurfTmp32 = EngCreateBitmap(SIZEL{ppdev->cxSurface, ppdev->cySurface},
                                            ppdev->cxSurface << ppdev->iPixelClass,
                                            ppdev->iBitmapFormat, 0, nullptr);
        if (ppdev->hsurfTmp32 == nullptr) return nullptr;
    }
    ppdev->psoTmp32 = EngLockSurface(ppdev->hsurfTmp32);
    return ppdev->psoTmp32;
}

}  // namespace

PDEV* ppdevOfDeviceSurface(SURFOBJ* pso) {
    if (!bIsDeviceSurface(pso)) return nullptr;
    const DSURF* pdsurf = reinterpret_cast<const DSURF*>(pso->dhsurf);
    if (pdsurf != nullptr && pdsurf->ppdev != nullptr) return pdsurf->ppdev;
    return reinterpret_cast<PDEV*>(pso->dhpdev);
}

BOOL bUsableXlate(const PDEV* ppdev, const XLATEOBJ* pxlo) {
    return pxlo == nullptr || (pxlo->flXlate & XO_TRIVIAL) != 0 ||
           (ppdev->ulColourModel == COLOUR_MODEL_DIRECT && pxlo->iSrcType == PAL_BGR);
}

void vXlateVector(XLATEOBJ* pxlo, ULONG* pul, ULONG cEntries) {
    const ULONG* pulVector = nullptr;
    if (pxlo != nullptr && (pxlo->flXlate & XO_TRIVIAL) == 0) {
        pulVector = pxlo->pulXlate != nullptr ? pxlo->pulXlate : XLATEOBJ_piVector(pxlo);
    }
    for (ULONG i = 0; i < cEntries; ++i) {
        if (pulVector == nullptr) pul[i] = i;
        else pul[i] = i < pxlo->cEntries ? pulVector[i] : 0;
    }
}

BOOL bCopyBitsThroughTemporary(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                               RECTL* prclDst, POINTL* pptlSrc, ULONG iMode) {
    const BOOL bSrcDev = bIsDeviceSurface(psoSrc);
    const BOOL bDstDev = bIsDeviceSurface(psoDst);
    PDEV* ppdev = bSrcDev ? ppdevOfDeviceSurface(psoSrc) : ppdevOfDeviceSurface(psoDst);
    if (ppdev == nullptr || psoSrc == nullptr || psoDst == nullptr) return FALSE;
    SURFOBJ* psoTmp = psoTemporary(ppdev);
    if (psoTmp == nullptr) return FALSE;

    // Only the part both surfaces hold: the temporary's pixels outside the
    // source would otherwise be uploaded over the destination's.
    RECTL rclDst = *prclDst;
    POINTL ptlSrc = *pptlSrc;
    if (!bClipTransfer(&rclDst, &ptlSrc, psoDst->sizlBitmap.cx, psoDst->sizlBitmap.cy,
                       psoSrc->sizlBitmap.cx, psoSrc->sizlBitmap.cy)) {
        return TRUE;
    }
    prclDst = &rclDst;
    pptlSrc = &ptlSrc;
    RECTL rclWork = {0, 0, prclDst->right - prclDst->left, prclDst->bottom - prclDst->top};
    POINTL ptlZero = {0, 0};

    if (!bSrcDev && bDstDev) {
        if (psoSrc->iBitmapFormat == BMF_4RLE || psoSrc->iBitmapFormat == BMF_8RLE) {
            // The runs leave gaps: they keep the destination's pixels.
            POINTL ptlDst = {prclDst->left, prclDst->top};
            if (!vDownloadClipped(psoTmp, psoDst, nullptr, &rclWork, &ptlDst, iMode)) return FALSE;
        }
        if (!EngCopyBits(psoTmp, psoSrc, nullptr, pxlo, &rclWork, pptlSrc)) return FALSE;
        return vUploadClipped(psoDst, psoTmp, pco, prclDst, &ptlZero, iMode);
    }
    if (bSrcDev && !bDstDev) {
        if (!vDownloadClipped(psoTmp, psoSrc, nullptr, &rclWork, pptlSrc, iMode)) return FALSE;
        return EngCopyBits(psoDst, psoTmp, pco, pxlo, prclDst, &ptlZero);
    }
    if (bSrcDev && bDstDev) {
        if (!vDownloadClipped(psoTmp, psoSrc, nullptr, &rclWork, pptlSrc, iMode)) return FALSE;
        if (pxlo != nullptr && (pxlo->flXlate & XO_TRIVIAL) == 0 &&
            !EngCopyBits(psoTmp, psoTmp, nullptr, pxlo, &rclWork, &ptlZero)) {
            return FALSE;
        }
        return vUploadClipped(psoDst, psoTmp, pco, prclDst, &ptlZero, iMode);
    }
    return FALSE;
}

extern "C" BOOL CopyBits(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                         RECTL* prclDst, POINTL* pptlSrc, ULONG iMode) {
    if (psoDst == nullptr || psoSrc == nullptr || prclDst == nullptr || pptlSrc == nullptr)
        return FALSE;
    const BOOL bSrcDev = bIsDeviceSurface(psoSrc);
    const BOOL bDstDev = bIsDeviceSurface(psoDst);
    // A copy between two host bitmaps is not the device's to make.
    PDEV* ppdev = bSrcDev ? ppdevOfDeviceSurface(psoSrc) : ppdevOfDeviceSurface(psoDst);
    if (ppdev == nullptr) return FALSE;

    EnterCriticalSection(&ppdev->csEscape);
    BOOL b;
    if (!bSrcDev) {
        // Upload.
        if (psoSrc->iBitmapFormat == BMF_1BPP) {
            ULONG aulColour[2];
            vXlateVector(pxlo, aulColour, 2);
            bExpandMonoClipped(psoDst, pco, 0xF0, 0xF0, psoSrc, prclDst, pptlSrc, aulColour, iMode);
            b = TRUE;
        } else if (bTransferFormat(psoSrc->iBitmapFormat) && bUsableXlate(ppdev, pxlo) &&
                   vUploadClipped(psoDst, psoSrc, pco, prclDst, pptlSrc, iMode)) {
            b = TRUE;
        } else {
            // A format the upload does not take goes through the engine.
            b = bCopyBitsThroughTemporary(psoDst, psoSrc, pco, pxlo, prclDst, pptlSrc, iMode);
        }
    } else if (!bDstDev) {
        // Download: straight into a host bitmap of the device surface's depth.
        if (psoDst->iBitmapFormat == psoSrc->iBitmapFormat &&
            bTransferFormat(psoDst->iBitmapFormat) && bUsableXlate(ppdev, pxlo)) {
            b = vDownloadClipped(psoDst, psoSrc, pco, prclDst, pptlSrc, iMode);
        } else {
            b = bCopyBitsThroughTemporary(psoDst, psoSrc, pco, pxlo, prclDst, pptlSrc, iMode);
        }
    } else if (bUsableXlate(ppdev, pxlo) && bBoardCopyAvailable(ppdev)) {
        vCopyDevToDev(psoDst, psoSrc, pco, prclDst, pptlSrc, 0xCC, 0x2000, iMode);
        b = TRUE;
    } else {
        b = bCopyBitsThroughTemporary(psoDst, psoSrc, pco, pxlo, prclDst, pptlSrc, iMode);
    }
    LeaveCriticalSection(&ppdev->csEscape);
    return b;
}

extern "C" BOOL DrvCopyBits(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                            RECTL* prclDst, POINTL* pptlSrc) {
    PDEV* ppdev =
        bIsDeviceSurface(psoSrc) ? ppdevOfDeviceSurface(psoSrc) : ppdevOfDeviceSurface(psoDst);
    if (ppdev == nullptr) return FALSE;
    const ULONG iMode = ppdev->pPageConfig != nullptr && ppdev->pPageConfig->fStereo != 0 ? 1 : 0;
    return CopyBits(psoDst, psoSrc, pco, pxlo, prclDst, pptlSrc, iMode);
}
