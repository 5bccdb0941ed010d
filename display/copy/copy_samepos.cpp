// Same-position copies: the source lies at the destination's board position
// in another surface (a back buffer and its front buffer), so every
// rasterizer reads only its own tiles and the whole rectangle is one
// rectangle primitive. The plane-masked form serves the buffer swap, and a
// host bitmap can be drawn with a ROP through a device staging surface.
#include <algorithm>

#include "copy/copy_internal.h"
#include "platform/engine.h"
#include "queue/queue.h"
#include "rop/rop.h"
#include "xfer/xfer.h"

namespace {

// The eyes a pass list draws: y offsets of board memory.
struct Eyes {
    LONG ay[2];
    ULONG c;
};
Eyes eyesOf(const PDEV* ppdev, ULONG iMode) {
    if (iMode == 1) return Eyes{{0, ppdev->cyScreen}, 2};
    if (iMode == 3) return Eyes{{ppdev->cyScreen, 0}, 1};
    return Eyes{{0, 0}, 1};
}

// Writes the clip pair of psoDst's origin (plus yEye) to origin + the
// drawing-area size.
ULONG* pCopyClip(ULONG* p, const COPYSIDE& d, LONG yEye) {
    *p++ = ulClipWord(d.xOrg, d.yOrg + yEye);
    *p++ = ulClipWord(d.xOrg + d.ppdev->cxSurface, d.yOrg + yEye + d.ppdev->cySurface);
    return p;
}

}  // namespace

BOOL bCopySide(SURFOBJ* pso, COPYSIDE* pcs) {
    FILLTARGET ft;
    if (!bFillTarget(pso, &ft)) return FALSE;
    const DSURF* pdsurf = reinterpret_cast<const DSURF*>(pso->dhsurf);
    *pcs = COPYSIDE{ft.ppdev, ft.pqm, ft.pid, ft.xOrg, ft.yOrg, pdsurf->cx, pdsurf->cy};
    return TRUE;
}

ULONG ulCopyPid(ULONG pid) {
    pid &= 0xFFFFu;
    switch (pid & PID_FORMAT_MASK) {
        case PID_FORMAT_8: return pid & PID_SLOT_MASK;
        case PID_FORMAT_16: return PID_FORMAT_16_INDEXED | (pid & PID_SLOT_MASK);
        default: return pid;
    }
}

ULONG ulCopyRectSamePos(SURFOBJ* psoDst, SURFOBJ* psoSrc, LONG x, LONG y, LONG cx, LONG cy,
                        ULONG rop3, BOOL /*bMask*/, BOOL bAllowMask, ULONG iMode) {
    COPYSIDE d, s;
    if (!bCopySide(psoDst, &d) || !bCopySide(psoSrc, &s) || cx <= 0 || cy <= 0) return 0;
    PDEV* ppdev = d.ppdev;
    KZ2QUEUEMGT pqm = d.pqm;

    ULONG aulProgram[8];
    const bool bMasked =
        bAllowMask && ppdev->cGLOverlayContexts != 0 && ((d.pid >> 8) & 0xE0u) == 0x80u;
    const ULONG ulConst1 = bMasked ? COPY_OVERLAY_CONST1 : PLANE_MASK_ALL;
    const ULONG n =
        cRop3Program(aulProgram, rop3, REG_PIXMAP_HI, REG_PIXMAP, REG_NONE, kTailCopy, bMasked);
    if (n == 0) return 0;

    // One packet for each eye: the second eye's rectangle has a clip pair
    // of its own, which one packet cannot carry for two rectangles.
    ULONG ulResult = 0;
    const Eyes eyes = eyesOf(ppdev, iMode);
    for (ULONG e = 0; e < eyes.c; ++e) {
        const LONG yEye = eyes.ay[e];
        ULONG* p = kz2NewPacketQueue(pqm, psoDst, 1);
        *p++ = (d.pid & 0xFFFFu) << 16 | (s.pid & 0xFFFFu);
        for (ULONG k = 0; k < n; ++k) *p++ = aulProgram[k];
        p = pCopyClip(p, d, yEye);
        *p++ = COPY_OVERLAY_CONST0;
        *p++ = ulConst1;
        kz2WriteRectNoPrimData(pqm, p, x, y + yEye, x + cx, y + cy + yEye);
        vSetCommand(pqm, n << CMD2D_INSTR_SHIFT | CMD2D_COPY);
        ulResult = kz2UpdatePacketPtr(pqm, psoDst, pqm->pqCurrent->pWrite, 0);
    }
    return ulResult;
}

void vCopyRectMasked(SURFOBJ* psoDst, SURFOBJ* psoSrc, RECTL* prcl, ULONG ulMask) {
    COPYSIDE d, s;
    if (prcl == nullptr || !bCopySide(psoDst, &d) || !bCopySide(psoSrc, &s)) return;
    if (prcl->left >= prcl->right || prcl->top >= prcl->bottom) return;
    KZ2QUEUEMGT pqm = d.pqm;
    ULONG aulProgram[4];
    const ULONG n = cMaskedCopyInstructions(aulProgram, ulMask);
    ULONG* p = kz2NewPacketQueue(pqm, psoDst, 1);
    *p++ = (d.pid & 0xFFFFu) << 16 | (s.pid & 0xFFFFu);
    for (ULONG k = 0; k < n; ++k) *p++ = aulProgram[k];
    p = pCopyClip(p, d, 0);
    *p++ = ulMask;
    *p++ = ~ulMask;
    kz2WriteRectNoPrimData(pqm, p, prcl->left + d.xOrg, prcl->top + d.yOrg, prcl->right + d.xOrg,
                           prcl->bottom + d.yOrg);
    vSetCommand(pqm, n << CMD2D_INSTR_SHIFT | CMD2D_COPY);
    kz2UpdatePacketPtr(pqm, psoDst, pqm->pqCurrent->pWrite, 0);
}

void vCopyRectMaskedClipped(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, RECTL* prcl,
                            ULONG ulMask) {
    COPYSIDE d;
    if (prcl == nullptr || !bCopySide(psoDst, &d)) return;
    PDEV* ppdev = d.ppdev;
    const POINTL ptl = {prcl->left, prcl->top};
    auto each = [](void* pv, RECTL* prclPart, POINTL*) {
        auto* pc = static_cast<std::pair<SURFOBJ*, std::pair<SURFOBJ*, ULONG>>*>(pv);
        vCopyRectMasked(pc->first, pc->second.first, prclPart, pc->second.second);
    };
    std::pair<SURFOBJ*, std::pair<SURFOBJ*, ULONG>> ctx{psoDst, {psoSrc, ulMask}};
    vForEachClipRect(pco, prcl, &ptl, each, &ctx);
    if (ppdev->pPageConfig == nullptr || !ppdev->pPageConfig->fStereo) return;
    // The second eye: the destination's origin and the drawing-area height
    // moved for this call, then put back.
    DSURF* pdsurf = reinterpret_cast<DSURF*>(psoDst->dhsurf);
    DSURF* pdsurfSrc = reinterpret_cast<DSURF*>(psoSrc->dhsurf);
    const LONG cyScreen = ppdev->cyScreen;
    pdsurf->pdfb->y += cyScreen;
    if (pdsurfSrc->pdfb != pdsurf->pdfb) pdsurfSrc->pdfb->y += cyScreen;
    ppdev->cyScreen = 2 * cyScreen;
    vForEachClipRect(pco, prcl, &ptl, each, &ctx);
    ppdev->cyScreen = cyScreen;
    pdsurf->pdfb->y -= cyScreen;
    if (pdsurfSrc->pdfb != pdsurf->pdfb) pdsurfSrc->pdfb->y -= cyScreen;
}

void vStagingArea(const PDEV* ppdev, const SURFOBJ* psoStage, RECTL* prcl) {
    *prcl = RECTL{0, 0, psoStage->sizlBitmap.cx, psoStage->sizlBitmap.cy};
    if (psoStage != ppdev->psoPattern) return;
    prcl->top = COPY_TABLE_ROWS;
    prcl->bottom = std::min<LONG>(prcl->bottom, COPY_PIECE);
}

void vCopyHostViaStaging(SURFOBJ* psoDst, SURFOBJ* psoHost, RECTL* prclDst, POINTL* pptlSrc,
                         ULONG rop3, ULONG flInfo) {
    COPYSIDE d;
    if (prclDst == nullptr || pptlSrc == nullptr || !bCopySide(psoDst, &d)) return;
    PDEV* ppdev = d.ppdev;
    SURFOBJ* psoStage = ppdev->psoTmp != nullptr ? ppdev->psoTmp : ppdev->psoPattern;
    COPYSIDE st;
    if (psoStage == nullptr || !bCopySide(psoStage, &st)) return;
    // The pattern surface holds the copy-address table at each rasterizer's
    // lowest tile (every tiled copy loads it there), so pieces are staged
    // between the first tile row's table and the next tile row.
    // Bands and pieces are no larger than the staging area.
    const bool bPattern = psoStage == ppdev->psoPattern;
    RECTL rclArea;
    vStagingArea(ppdev, psoStage, &rclArea);
    const LONG yStage = rclArea.top;
    const LONG cxStage = std::min<LONG>(rclArea.right, XFER_PIECE_PIXELS);
    const LONG cyStage = std::min<LONG>(rclArea.bottom - yStage, XFER_PIECE_PIXELS);
    if (cxStage <= 0 || cyStage <= 0) return;
    const LONG xAlign = (XFER_PIECE_PIXELS >> ppdev->iPixelClass) - 1;
    for (LONG y = prclDst->top; y < prclDst->bottom; y += cyStage) {
        const LONG cy = std::min<LONG>(prclDst->bottom - y, cyStage);
        for (LONG x = prclDst->left; x < prclDst->right;) {
            const LONG cx = std::min<LONG>({prclDst->right, (x | xAlign) + 1, x + cxStage}) - x;
            RECTL rclStage = {0, yStage, cx, yStage + cy};
            POINTL ptlHost = {pptlSrc->x + x - prclDst->left, pptlSrc->y + y - prclDst->top};
            vUploadRect(psoStage, psoHost, &rclStage, &ptlHost, TRUE, 0, nullptr);
            vFlushDevice(psoStage);
            RECTL rcl = {x, y, x + cx, y + cy};
            POINTL ptl = {0, yStage};
            // A destination at the staged pixels' board position takes them
            // as one rectangle; elsewhere the tiled copy moves them.
            if (bPattern && d.xOrg + x == st.xOrg && d.yOrg + y == st.yOrg + yStage)
                ulCopyRectSamePos(psoDst, psoStage, d.xOrg + x, d.yOrg + y, cx, cy, rop3, FALSE,
                                  TRUE, 0);
            else vCopyRectTiled(psoDst, psoStage, &rcl, &ptl, rop3, flInfo, 0);
            x += cx;
        }
    }
}
