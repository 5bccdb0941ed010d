// Downloads: device rectangles into host bitmaps, with the second eye of a
// stereo screen kept in the stereo image cache, and the clipped form that
// CopyBits uses.
#include "xfer/xfer.h"

namespace {

// The host bitmap's bits as the transfer reads them, or null.
BYTE* pjScan0(const SURFOBJ* pso) { return static_cast<BYTE*>(pso->pvScan0); }

struct CLIPDOWNLOAD {
    SURFOBJ* psoHostDst;
    SURFOBJ* psoDev;
    ULONG iMode;
};

void vDownloadPiece(void* pv, RECTL* prcl, POINTL* pptlSrc) {
    const CLIPDOWNLOAD* p = static_cast<const CLIPDOWNLOAD*>(pv);
    vDownloadRect(p->psoHostDst, p->psoDev, prcl, pptlSrc, TRUE, p->iMode);
}

// Whether the host bitmap can take the device's pixels as they are.
BOOL bSameDepth(const SURFOBJ* psoHost, const SURFOBJ* psoDev) {
    return psoHost != nullptr && psoDev != nullptr && psoHost->pvScan0 != nullptr &&
           psoHost->iBitmapFormat == psoDev->iBitmapFormat;
}

}  // namespace

void vDownloadRect(SURFOBJ* psoHostDst, SURFOBJ* psoDev, RECTL* prclDst, POINTL* pptlSrc,
                   BOOL bViaBuffer, ULONG iMode) {
    if (psoDev == nullptr || psoHostDst == nullptr || prclDst == nullptr || pptlSrc == nullptr)
        return;
    if (iShiftOfFormat(psoDev->iBitmapFormat) < 0) {
        DbgPrint("invalid psoSrc->iBitmapFormat: %x\n", psoDev->iBitmapFormat);
        return;
    }
    XFERDEV xd;
    if (!bSameDepth(psoHostDst, psoDev) || !bXferDevice(psoDev, &xd)) return;
    RECTL rcl = *prclDst;
    POINTL ptl = *pptlSrc;
    if (!bClipTransfer(&rcl, &ptl, psoHostDst->sizlBitmap.cx, psoHostDst->sizlBitmap.cy, xd.cx,
                       xd.cy)) {
        return;
    }
    PDEV* ppdev = xd.ppdev;
    const LONG xBoard = xd.xOrigin + ptl.x;
    const LONG yBoard = xd.yOrigin + ptl.y;
    const LONG yEye = iMode == 3 ? ppdev->cyScreen : 0;
    vTransferPass(&xd, pjScan0(psoHostDst), psoHostDst->lDelta, &rcl, xBoard, yBoard + yEye, FALSE,
                  bViaBuffer);
    if (iMode != 1 || ppdev->StereoCache.fDisabled) return;

    // The second eye goes into a cache entry laid out as the bitmap's bits.
    STEREOENTRY* pe = pStereoCacheAdd(ppdev, psoHostDst, &rcl);
    if (pe == nullptr) return;
    vTransferPass(&xd, pe->pjBits, pe->lDelta, &rcl, xBoard, yBoard + ppdev->cyScreen, FALSE, TRUE);
    // The bounce pass has landed; a direct first pass may still be queued.
    if (!bViaBuffer) kz2FlushQueue(xd.pqm, static_cast<ULONG>(-1), nullptr, nullptr);
    if (!bStereoCacheDiffers(pe, psoHostDst, xd.iShift)) {
        vStereoCacheUnlink(ppdev, pe);
        vStereoCacheFreeFrom(ppdev, pe);
    }
}

BOOL vDownloadFlush(SURFOBJ* psoHostDst, SURFOBJ* psoDev, RECTL* prclDst, POINTL* pptlSrc,
                    ULONG iMode) {
    if (!bSameDepth(psoHostDst, psoDev)) return FALSE;
    vDownloadRect(psoHostDst, psoDev, prclDst, pptlSrc, TRUE, iMode);
    vFlushDevice(psoDev);
    return TRUE;
}

BOOL vDownloadClipped(SURFOBJ* psoHostDst, SURFOBJ* psoDev, CLIPOBJ* pco, RECTL* prclDst,
                      POINTL* pptlSrc, ULONG iMode) {
    if (!bSameDepth(psoHostDst, psoDev) || prclDst == nullptr || pptlSrc == nullptr) return FALSE;
    CLIPDOWNLOAD context{psoHostDst, psoDev, iMode};
    vForEachClipRect(pco, prclDst, pptlSrc, vDownloadPiece, &context);
    vFlushDevice(psoDev);
    return TRUE;
}
