// The entry of device-to-device copies: the source is clipped to its
// surface, split-screen copies are classified (a copy that crosses the
// screens goes through host memory), and the clip is enumerated in the
// order that keeps an overlapping copy correct before each rectangle goes
// to the tile walker.
#include "cliprects.h"
#include "copy/copy_internal.h"
#include "platform/engine.h"
#include "xfer/xfer.h"

namespace {

// The part of *prclDst inside rclClip, with its source point.
void vCopyPart(SURFOBJ* psoDst, SURFOBJ* psoSrc, const RECTL& rclDst, const POINTL& ptlSrc,
               const RECTL& rclClip, ULONG rop3, ULONG flInfo, ULONG iMode) {
    RECTL rcl;
    if (!bRectIntersect(&rclDst, &rclClip, &rcl)) return;
    POINTL ptl = {ptlSrc.x + rcl.left - rclDst.left, ptlSrc.y + rcl.top - rclDst.top};
    vCopyRectTiled(psoDst, psoSrc, &rcl, &ptl, rop3, flInfo, iMode);
}

}  // namespace

ULONG iCopyDirection(const RECTL* prclDst, const POINTL* pptlSrc) {
    return CD_RIGHTDOWN + (pptlSrc->x < prclDst->left ? 1u : 0u) +
           (pptlSrc->y < prclDst->top ? 2u : 0u);
}

LONG iClassifySplitCopy(const PDEV* ppdev, RECTL rclDst, POINTL ptSrc) {
    const LONG W = ppdev->cxScreen;
    const LONG l = rclDst.left, r = rclDst.right;
    const bool bSrcFirst = r - l + ptSrc.x <= W;
    const bool bSrcSecond = ptSrc.x > W;
    const bool bDstSecond = l > W;
    if (bSrcFirst && r <= W) return 1;
    if (bSrcSecond && bDstSecond) return 2;
    if (bSrcFirst && bDstSecond) return 3;
    if (bSrcSecond && r <= W) return 4;
    if (bSrcFirst && r > W) return 5;
    if (bSrcSecond && l <= W) return 6;
    if (r > W) return bDstSecond ? 8 : 9;
    return 7;
}

BOOL bCopyThroughHost(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, RECTL* prclDst,
                      POINTL* pptlSrc) {
    COPYSIDE d;
    if (!bCopySide(psoDst, &d)) return FALSE;
    PDEV* ppdev = d.ppdev;
    const LONG cx = prclDst->right - prclDst->left, cy = prclDst->bottom - prclDst->top;
    if (cx <= 0 || cy <= 0) return FALSE;
    HSURF h = EngCreateBitmap(SIZEL{cx, cy}, cx << ppdev->iPixelClass, ppdev->iBitmapFormat,
                              BMF_TOPDOWN, nullptr);
    if (h == nullptr) return FALSE;
    SURFOBJ* psoHost = EngLockSurface(h);
    BOOL bResult = FALSE;
    if (psoHost != nullptr) {
        RECTL rclHost = {0, 0, cx, cy};
        POINTL ptlSrc = *pptlSrc;
        if (vDownloadFlush(psoHost, psoSrc, &rclHost, &ptlSrc, 0)) {
            POINTL ptl0 = {0, 0};
            bResult = vUploadClipped(psoDst, psoHost, pco, prclDst, &ptl0, 0);
        }
        EngUnlockSurface(psoHost);
    }
    EngDeleteSurface(h);
    return bResult;
}

void vCopyDevToDev(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, RECTL* prclDst, POINTL* pptlSrc,
                   ULONG rop3, ULONG flInfo, ULONG iMode) {
    COPYSIDE d, s;
    if (prclDst == nullptr || pptlSrc == nullptr || !bCopySide(psoDst, &d) ||
        !bCopySide(psoSrc, &s))
        return;
    PDEV* ppdev = d.ppdev;
    ppdev->cFlushNow = 0;
    const bool bSplit = ppdev->layout.bSplitScreen != 0;
    const RECTL rclBounds =
        bSplit ? RECTL{0, 0, ppdev->cxSurface, ppdev->cySurface} : RECTL{0, 0, s.cx, s.cy};
    if (pptlSrc->x >= rclBounds.right || pptlSrc->y >= rclBounds.bottom) return;

    // The destination is kept inside its surface (packed vertices cannot
    // name pixels left of or above it), the source point moving with it.
    RECTL rclDst;
    const RECTL rclSurface = {0, 0, d.cx, d.cy};
    if (!bRectIntersect(prclDst, &rclSurface, &rclDst)) return;
    // (Sums in 64 bits: any coordinate a caller passes is safe.)
    POINTL ptlMoved = {lAddClamped(pptlSrc->x, std::int64_t{rclDst.left} - prclDst->left),
                       lAddClamped(pptlSrc->y, std::int64_t{rclDst.top} - prclDst->top)};
    pptlSrc = &ptlMoved;
    // The source rectangle, clipped to its bounds; the destination follows.
    const RECTL rclSrcFull = {pptlSrc->x, pptlSrc->y,
                              lAddClamped(pptlSrc->x, rclDst.right - rclDst.left),
                              lAddClamped(pptlSrc->y, rclDst.bottom - rclDst.top)};
    RECTL rclSrc;
    if (!bRectIntersect(&rclSrcFull, &rclBounds, &rclSrc)) return;
    rclDst.left += rclSrc.left - rclSrcFull.left;
    rclDst.top += rclSrc.top - rclSrcFull.top;
    rclDst.right = rclDst.left + (rclSrc.right - rclSrc.left);
    rclDst.bottom = rclDst.top + (rclSrc.bottom - rclSrc.top);
    POINTL ptlSrc = {rclSrc.left, rclSrc.top};

    if (bSplit) {
        const LONG iClass = iClassifySplitCopy(ppdev, rclDst, ptlSrc);
        if (iClass <= 0 || iClass > 9) return;
        if (iClass >= 3) {
            bCopyThroughHost(psoDst, psoSrc, pco, &rclDst, &ptlSrc);
            return;
        }
    }

    if (pco == nullptr || pco->iDComplexity == DC_TRIVIAL) {
        vCopyRectTiled(psoDst, psoSrc, &rclDst, &ptlSrc, rop3, flInfo, iMode);
        return;
    }
    if (pco->iDComplexity == DC_RECT) {
        vCopyPart(psoDst, psoSrc, rclDst, ptlSrc, pco->rclBounds, rop3, flInfo, iMode);
        return;
    }
    if (pco->iDComplexity != DC_COMPLEX) return;
    static_assert(sizeof(CLIPBATCH<COPY_CLIP_BATCH>) == COPY_CLIP_BUFFER_BYTES);
    vEnumClipBatches<COPY_CLIP_BATCH>(
        pco, iCopyDirection(&rclDst, &ptlSrc), 0, [&](const RECTL* arcl, ULONG c, BOOL) {
            for (ULONG i = 0; i < c; ++i)
                vCopyPart(psoDst, psoSrc, rclDst, ptlSrc, arcl[i], rop3, flInfo, iMode);
        });
}
