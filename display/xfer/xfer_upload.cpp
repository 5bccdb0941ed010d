// Uploads: host bitmaps onto device surfaces, both eyes of a stereo screen
// (the second from the stereo image cache when it kept one), the clipped form
// that CopyBits uses, and the same-format upload that keeps the overlay bits
// of a 16-bit screen by going through a device surface and a copy on the
// board.
#include <algorithm>

#include "copy/copy.h"
#include "xfer/xfer.h"

namespace {

struct CLIPUPLOAD {
    SURFOBJ* psoDev;
    SURFOBJ* psoHost;
    ULONG iMode;
    STEREOENTRY* pSecondEye;
};

void vUploadPiece(void* pv, RECTL* prcl, POINTL* pptlSrc) {
    const CLIPUPLOAD* p = static_cast<const CLIPUPLOAD*>(pv);
    vUploadRect(p->psoDev, p->psoHost, prcl, pptlSrc, TRUE, p->iMode, p->pSecondEye);
}

BOOL bUsableHost(const SURFOBJ* psoHost) {
    return psoHost != nullptr && psoHost->pvScan0 != nullptr;
}

// The overlay case of a same-format upload: overlay GL contexts on a 16-bit
// screen.
BOOL bOverlayCase(const PDEV* ppdev) {
    return ppdev->cGLOverlayContexts != 0 && ppdev->iBitmapFormat == BMF_16BPP;
}

// --- the overlay case -----------------------------------------------------------
//
// The image goes piece by piece into a staging device surface whose pid
// carries format 0x8000 (so the upload strips the overlay bit) and from there
// to the destination with the on-board copy, which keeps the destination's
// overlay bits.

struct OVERLAYUPLOAD {
    SURFOBJ* psoDev;
    SURFOBJ* psoHost;
    SURFOBJ* psoStaging;
    LONG cxPiece;  // the staging surface holds pieces of this size
    LONG cyPiece;
    LONG yStage;  // the first staging row
    LONG cyEye;   // the second eye lies this much lower
    ULONG iMode;
    STEREOENTRY* pSecondEye;
};

// One eye of one piece: the host piece into the staging surface at (0, 0),
// then copied to the destination (iMode 0 the first eye, 3 the second).
void vOverlayPiece(const OVERLAYUPLOAD* p, RECTL* prcl, POINTL* pptlSrc, ULONG iCopyMode,
                   SURFOBJ* psoBits) {
    RECTL rclStaging{0, p->yStage, prcl->right - prcl->left, p->yStage + prcl->bottom - prcl->top};
    vUploadRect(p->psoStaging, psoBits, &rclStaging, pptlSrc, TRUE, 0, nullptr);
    POINTL ptlStaging{0, p->yStage};
    // The staged piece is one eye's: the second eye moves the destination
    // alone (a stereo copy would read the staging rows an eye lower too).
    const LONG yEye = iCopyMode == 3 ? p->cyEye : 0;
    RECTL rclDst{prcl->left, prcl->top + yEye, prcl->right, prcl->bottom + yEye};
    vCopyRectTiled(p->psoDev, p->psoStaging, &rclDst, &ptlStaging, 0xCC, 0x2000, 0);
}

void vOverlayRect(void* pv, RECTL* prcl, POINTL* pptlSrc) {
    const OVERLAYUPLOAD* p = static_cast<const OVERLAYUPLOAD*>(pv);
    for (LONG y = prcl->top; y < prcl->bottom; y += p->cyPiece) {
        for (LONG x = prcl->left; x < prcl->right; x += p->cxPiece) {
            RECTL rcl{x, y, std::min(prcl->right, x + p->cxPiece),
                      std::min(prcl->bottom, y + p->cyPiece)};
            POINTL ptl{pptlSrc->x + (x - prcl->left), pptlSrc->y + (y - prcl->top)};
            if (p->iMode != 3) vOverlayPiece(p, &rcl, &ptl, 0, p->psoHost);
            if (p->iMode == 1 || p->iMode == 3) {
                // The second eye: the cache entry's bits, else the same bits.
                SURFOBJ soEye = *p->psoHost;
                if (p->pSecondEye != nullptr) soEye.pvScan0 = p->pSecondEye->pjBits;
                vOverlayPiece(p, &rcl, &ptl, 3, p->iMode == 3 ? p->psoHost : &soEye);
            }
        }
    }
}

void vUploadOverlay(PDEV* ppdev, SURFOBJ* psoDev, SURFOBJ* psoHost, CLIPOBJ* pco, RECTL* prclDst,
                    POINTL* pptlSrc, ULONG iMode, STEREOENTRY* pSecondEye) {
    SURFOBJ* psoStaging = ppdev->psoTmp != nullptr ? ppdev->psoTmp : ppdev->psoPattern;
    DSURF* pdsurf = psoStaging != nullptr ? reinterpret_cast<DSURF*>(psoStaging->dhsurf) : nullptr;
    if (pdsurf == nullptr || pdsurf->pdfb == nullptr) return;
    // The staging surface's pixels change: the pattern registers no longer
    // match what the pattern surface holds.
    if (psoStaging == ppdev->psoPattern) ppdev->iPatternUniq = 0;

    // For the upload the staging surface holds 16-bit pixels of format 0x80,
    // its slot and tile bits kept.
    const ULONG pidSaved = pdsurf->pdfb->pid;
    pdsurf->pdfb->pid = (pidSaved & ~PID_FORMAT_MASK & 0xFFFFu) | PID_FORMAT_16;
    SURFOBJ soStaging = *psoStaging;
    soStaging.iBitmapFormat = BMF_16BPP;
    const LONG cxEdge = (pidSaved & PID_TILE) ? cxTileEdge(pidSaved) : pdsurf->cx;
    RECTL rclArea;
    vStagingArea(ppdev, psoStaging, &rclArea);
    OVERLAYUPLOAD context{psoDev,
                          psoHost,
                          &soStaging,
                          std::min(cxEdge, rclArea.right),
                          std::min(cxEdge, rclArea.bottom - rclArea.top),
                          rclArea.top,
                          ppdev->cyScreen,
                          iMode,
                          pSecondEye};
    if (context.cxPiece > 0 && context.cyPiece > 0)
        vForEachClipRect(pco, prclDst, pptlSrc, vOverlayRect, &context);
    pdsurf->pdfb->pid = pidSaved;
}

}  // namespace

LONG cxTileEdge(ULONG pid) { return 32L << PID_TILE_SIZE_CODE(pid); }

void vUploadRect(SURFOBJ* psoDev, SURFOBJ* psoHost, RECTL* prclDst, POINTL* pptlSrc,
                 BOOL bViaBuffer, ULONG iMode, STEREOENTRY* pSecondEye) {
    XFERDEV xd;
    if (prclDst == nullptr || pptlSrc == nullptr || !bUsableHost(psoHost) ||
        !bXferDevice(psoDev, &xd) || psoHost->iBitmapFormat != psoDev->iBitmapFormat) {
        return;
    }
    RECTL rcl = *prclDst;
    POINTL ptl = *pptlSrc;
    if (!bClipTransfer(&rcl, &ptl, xd.cx, xd.cy, psoHost->sizlBitmap.cx, psoHost->sizlBitmap.cy))
        return;
    const RECTL rclHost{ptl.x, ptl.y, ptl.x + (rcl.right - rcl.left),
                        ptl.y + (rcl.bottom - rcl.top)};
    const LONG xBoard = xd.xOrigin + rcl.left;
    const LONG yBoard = xd.yOrigin + rcl.top;
    const LONG cyScreen = xd.ppdev->cyScreen;
    BYTE* pjScan0 = static_cast<BYTE*>(psoHost->pvScan0);
    vTransferPass(&xd, pjScan0, psoHost->lDelta, &rclHost, xBoard,
                  yBoard + (iMode == 3 ? cyScreen : 0), TRUE, bViaBuffer);
    if (iMode != 1) return;
    // The second eye, from the kept copy when there is one (laid out as the
    // bitmap's bits, with its stride).
    if (pSecondEye != nullptr) pjScan0 = pSecondEye->pjBits;
    vTransferPass(&xd, pjScan0, psoHost->lDelta, &rclHost, xBoard, yBoard + cyScreen, TRUE,
                  pSecondEye != nullptr ? TRUE : bViaBuffer);
}

BOOL vUploadSameFormat(SURFOBJ* psoDev, SURFOBJ* psoHost, CLIPOBJ* pco, RECTL* prclDst,
                       POINTL* pptlSrc, ULONG iMode, STEREOENTRY* pSecondEye) {
    XFERDEV xd;
    if (prclDst == nullptr || pptlSrc == nullptr || !bUsableHost(psoHost) ||
        !bXferDevice(psoDev, &xd)) {
        return FALSE;
    }
    if (bOverlayCase(xd.ppdev)) {
        vUploadOverlay(xd.ppdev, psoDev, psoHost, pco, prclDst, pptlSrc, iMode, pSecondEye);
    } else {
        CLIPUPLOAD context{psoDev, psoHost, iMode, pSecondEye};
        vForEachClipRect(pco, prclDst, pptlSrc, vUploadPiece, &context);
    }
    vFlushDevice(psoDev);
    return TRUE;
}

BOOL vUploadClipped(SURFOBJ* psoDev, SURFOBJ* psoHost, CLIPOBJ* pco, RECTL* prclDst,
                    POINTL* pptlSrc, ULONG iMode) {
    XFERDEV xd;
    if (prclDst == nullptr || pptlSrc == nullptr || !bUsableHost(psoHost) ||
        !bXferDevice(psoDev, &xd)) {
        return FALSE;
    }
    if (psoHost->iBitmapFormat == psoDev->iBitmapFormat) {
        STEREOENTRY* pSecondEye = nullptr;
        if (iMode == 1) {
            const RECTL rclSrc{pptlSrc->x, pptlSrc->y,
                               pptlSrc->x + (prclDst->right - prclDst->left),
                               pptlSrc->y + (prclDst->bottom - prclDst->top)};
            pSecondEye = pStereoCacheFind(xd.ppdev, psoHost, psoHost->lDelta, &rclSrc);
        }
        return vUploadSameFormat(psoDev, psoHost, pco, prclDst, pptlSrc, iMode, pSecondEye);
    }
    if (psoHost->iBitmapFormat == BMF_32BPP)
        return vUpload32(psoDev, psoHost, pco, prclDst, pptlSrc, iMode);
    return FALSE;
}
