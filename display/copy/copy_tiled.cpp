// The tile walker of the on-board copies. One rasterizer reads every tile,
// so its copies are block copies alone. With several rasterizers the
// rectangle is walked in 128x128 pieces, each inside one source tile and
// cut where it crosses a destination tile; a sub-piece whose two tiles have
// one owner is block-copied on the board, any other goes through a staging
// buffer in DMA memory (a download pass, a drain, an upload pass). Pieces
// are walked from the far edge along x when the source lies left of the
// destination and along y when it lies above, so no piece reads what an
// earlier one wrote.
#include <algorithm>
#include <cstring>

#include "copy/copy_internal.h"
#include "platform/engine.h"
#include "queue/queue.h"
#include "rop/rop.h"
#include "xfer/xfer.h"

namespace {

// The queue owning the tile of board pixel (x, y); on split boards a pixel
// at or right of the first screen's width counts in the second screen's
// queues.
ULONG iTileQueue(const PDEV* ppdev, LONG x, LONG y) {
    KZ2QUEUEMGT pqm = ppdev->pqm;
    const ULONG t = static_cast<ULONG>(((y >> 7) & 3) * 4 + ((x >> 7) & 3));
    ULONG i = pqm->abTileQueue[t];
    if (ppdev->layout.bSplitScreen && x >= ppdev->cxScreen) i += ppdev->layout.cQueuesPerScreen;
    return i;
}

// Hands everything queued to the board and lets it finish: a full flush on
// boards of four or more rasterizers, or when the host reads the staging
// buffer, else a sync packet.
void vDrainCopy(PDEV* ppdev, BOOL bHostReads) {
    if (bHostReads || (ppdev->layout.cRasterizers & 0xCu) != 0)
        kz2FlushQueue(ppdev->pqm, static_cast<ULONG>(-1), nullptr, nullptr);
    else KZ2WriteSyncCmd(ppdev->pqm);
}

// Cuts [lo, hi) at the multiples of 128 inside it into at most two spans,
// ordered along the step.
ULONG cCutSpans(LONG lo, LONG hi, LONG step, LONG alo[2], LONG ahi[2]) {
    const LONG cut = (lo / COPY_PIECE + 1) * COPY_PIECE;
    ULONG c = 1;
    alo[0] = lo;
    ahi[0] = hi;
    if (cut < hi) {
        ahi[0] = cut;
        alo[1] = cut;
        ahi[1] = hi;
        c = 2;
        if (step < 0) {
            std::swap(alo[0], alo[1]);
            std::swap(ahi[0], ahi[1]);
        }
    }
    return c;
}

// An engine bitmap over cx x cy pixels at pj (null: its own memory); locked.
SURFOBJ* psoHostOver(const PDEV* ppdev, BYTE* pj, LONG cx, LONG cy) {
    HSURF h = EngCreateBitmap(SIZEL{cx, cy}, cx << ppdev->iPixelClass, ppdev->iBitmapFormat,
                              BMF_TOPDOWN, pj);
    if (h == nullptr) return nullptr;
    SURFOBJ* pso = EngLockSurface(h);
    if (pso == nullptr) EngDeleteSurface(h);
    return pso;
}
void vFreeHost(SURFOBJ* pso) {
    HSURF h = pso->hsurf;
    EngUnlockSurface(pso);
    EngDeleteSurface(h);
}

// Combines the staged source pixels with the destination's under rop3 (the
// staging buffer gets the result): the destination piece is read back
// first.
void vCombineStaged(PDEV* ppdev, SURFOBJ* psoDst, SURFOBJ* psoStage, const RECTL& rclDst,
                    ULONG rop3) {
    const LONG cx = rclDst.right - rclDst.left, cy = rclDst.bottom - rclDst.top;
    SURFOBJ* psoD = psoHostOver(ppdev, nullptr, cx, cy);
    if (psoD == nullptr) return;
    RECTL rcl = {0, 0, cx, cy};
    POINTL ptl = {rclDst.left, rclDst.top};
    vDownloadRect(psoD, psoDst, &rcl, &ptl, TRUE, 0);
    vFlushDevice(psoDst);
    const ULONG cj = 1u << ppdev->iPixelClass;
    for (LONG y = 0; y < cy; ++y) {
        BYTE* pjS = static_cast<BYTE*>(psoStage->pvScan0) + y * psoStage->lDelta;
        const BYTE* pjD = static_cast<const BYTE*>(psoD->pvScan0) + y * psoD->lDelta;
        for (LONG x = 0; x < cx; ++x) {
            ULONG s = 0, d = 0;
            std::memcpy(&s, pjS + x * cj, cj);
            std::memcpy(&d, pjD + x * cj, cj);
            const ULONG r = ulApplyCopyRop(rop3, d, s);
            std::memcpy(pjS + x * cj, &r, cj);
        }
    }
    vFreeHost(psoD);
}

}  // namespace

ULONG ulApplyCopyRop(ULONG rop3, ULONG d, ULONG s) {
    // Bit i of the ROP3 is the result for P = bit 2, S = bit 1, D = bit 0 of
    // i; the pattern is 0 here as in the block copies.
    ULONG r = 0;
    for (ULONG i = 0; i < 4; ++i) {
        if ((rop3 >> i) & 1u) r |= ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    }
    return r;
}

ULONG ulCopyPiece(PDEV* ppdev, SURFOBJ* psoDst, SURFOBJ* psoSrc, RECTL* prclSrc, POINTL* pptDst,
                  BOOL bDownload, ULONG cbOffset, ULONG rop3, ULONG flInfo) {
    COPYSIDE d, s;
    if (!bCopySide(psoDst, &d) || !bCopySide(psoSrc, &s)) return 0;
    const LONG cx = prclSrc->right - prclSrc->left, cy = prclSrc->bottom - prclSrc->top;
    if (cx < 1 || cy < 1) return 0;
    RECTL rclDst = {pptDst->x, pptDst->y, pptDst->x + cx, pptDst->y + cy};
    POINTL ptlSrc = {prclSrc->left, prclSrc->top};
    const ULONG iDst = iTileQueue(ppdev, rclDst.left + d.xOrg, rclDst.top + d.yOrg);
    const ULONG iSrc = iTileQueue(ppdev, ptlSrc.x + s.xOrg, ptlSrc.y + s.yOrg);
    if (iDst == iSrc) {
        if (bDownload)
            vCopyBlocks(psoDst, psoSrc, &rclDst, &ptlSrc, rop3, flInfo,
                        ulPlaneMask(ppdev, d.pid) == PLANE_MASK_NO_OVERLAY);
        return 0;
    }
    const std::size_t cj =
        (static_cast<std::size_t>(cx) << ppdev->iPixelClass) * static_cast<std::size_t>(cy);
    // With two staging buffers a source in the second screen's queues
    // (offset 2 or more) is staged in the second one.
    const ULONG iBuffer = ppdev->DmaDescription.bTwoStagingBuffers && ppdev->layout.bSplitScreen &&
                                  iSrc >= ppdev->layout.cQueuesPerScreen && iSrc >= 2
                              ? 1u
                              : 0u;
    BYTE* pjStage = pjStagingBuffer(ppdev, iBuffer);
    if (pjStage == nullptr || cbOffset + cj > XFER_STAGING_BYTES) return 1;
    SURFOBJ* psoStage = psoHostOver(ppdev, pjStage + cbOffset, cx, cy);
    if (psoStage == nullptr) return 1;
    RECTL rclStage = {0, 0, cx, cy};
    if (bDownload) {
        vDownloadRect(psoStage, psoSrc, &rclStage, &ptlSrc, FALSE, 0);
    } else {
        // The ROP is kept: a piece that is not a plain copy meets the
        // destination's pixels on the host.
        if ((rop3 & 0xFF) != 0xCC) vCombineStaged(ppdev, psoDst, psoStage, rclDst, rop3 & 0xFF);
        POINTL ptl0 = {0, 0};
        vUploadRect(psoDst, psoStage, &rclDst, &ptl0, FALSE, 0, nullptr);
    }
    vFreeHost(psoStage);
    return 1;
}

ULONG ulCopyQuarters(PDEV* ppdev, SURFOBJ* psoDst, SURFOBJ* psoSrc, RECTL* prclDst, POINTL* pptlSrc,
                     LONG xStep, LONG yStep, BOOL bDownload, ULONG cbOffset, ULONG rop3,
                     ULONG flInfo) {
    COPYSIDE d;
    if (!bCopySide(psoDst, &d)) return 0;
    LONG axLo[2], axHi[2], ayLo[2], ayHi[2];
    const ULONG cx = cCutSpans(prclDst->left + d.xOrg, prclDst->right + d.xOrg, xStep, axLo, axHi);
    const ULONG cy = cCutSpans(prclDst->top + d.yOrg, prclDst->bottom + d.yOrg, yStep, ayLo, ayHi);
    ULONG ulHost = 0;
    for (ULONG j = 0; j < cy; ++j) {
        for (ULONG i = 0; i < cx; ++i) {
            const LONG l = axLo[i] - d.xOrg, t = ayLo[j] - d.yOrg;
            const LONG w = axHi[i] - axLo[i], h = ayHi[j] - ayLo[j];
            RECTL rclSrc = {pptlSrc->x + l - prclDst->left, pptlSrc->y + t - prclDst->top, 0, 0};
            rclSrc.right = rclSrc.left + w;
            rclSrc.bottom = rclSrc.top + h;
            POINTL ptDst = {l, t};
            ulHost |= ulCopyPiece(ppdev, psoDst, psoSrc, &rclSrc, &ptDst, bDownload, cbOffset, rop3,
                                  flInfo);
            cbOffset += static_cast<ULONG>(w) * static_cast<ULONG>(h) * 4;
        }
    }
    return ulHost;
}

void vCopyRectTiled(SURFOBJ* psoDst, SURFOBJ* psoSrc, RECTL* prclDst, POINTL* pptlSrc, ULONG rop3,
                    ULONG flInfo, ULONG iMode) {
    COPYSIDE d, s;
    if (prclDst == nullptr || pptlSrc == nullptr || !bCopySide(psoDst, &d) ||
        !bCopySide(psoSrc, &s))
        return;
    PDEV* ppdev = d.ppdev;
    KZ2QUEUEMGT pqm = d.pqm;
    const LONG cx = prclDst->right - prclDst->left, cy = prclDst->bottom - prclDst->top;
    if (cx <= 0 || cy <= 0) return;
    const LONG L = prclDst->left + d.xOrg, T = prclDst->top + d.yOrg;
    const LONG SX = pptlSrc->x + s.xOrg, SY = pptlSrc->y + s.yOrg;
    if (SX == L && SY == T) {
        ulCopyRectSamePos(psoDst, psoSrc, L, T, cx, cy, rop3, FALSE, TRUE, iMode);
        return;
    }

    LONG ayEye[2] = {0, ppdev->cyScreen};
    ULONG cEyes = iMode == 1 ? 2 : 1;
    if (iMode == 3) ayEye[0] = ppdev->cyScreen;
    if (!bBoardCopyAvailable(ppdev)) {
        // Callers check first; reaching here would copy with no table loaded.
        DbgPrint("vCopyRectTiled: no pattern surface for the copy table\n");
        return;
    }
    vLoadCopyTable(pqm, ppdev->psoPattern);
    ppdev->iPatternUniq = 0;
    const BOOL bMask = ulPlaneMask(ppdev, d.pid) == PLANE_MASK_NO_OVERLAY;

    if (ppdev->layout.cRasterizers < 2) {
        for (ULONG e = 0; e < cEyes; ++e) {
            RECTL rcl = {prclDst->left, prclDst->top + ayEye[e], prclDst->right,
                         prclDst->bottom + ayEye[e]};
            POINTL ptl = {pptlSrc->x, pptlSrc->y + ayEye[e]};
            vCopyBlocks(psoDst, psoSrc, &rcl, &ptl, rop3, flInfo, bMask);
        }
        return;
    }

    const LONG xStep = SX < L ? -COPY_PIECE : COPY_PIECE;
    const LONG yStep = SY < T ? -COPY_PIECE : COPY_PIECE;
    const BOOL bHostReads = (rop3 & 0xFF) != 0xCC;
    for (ULONG e = 0; e < cEyes; ++e) {
        const LONG yEye = ayEye[e];
        // Piece boundaries: the source's tile grid (board coordinates).
        const LONG sx0 = SX, sx1 = SX + cx, sy0 = SY + yEye, sy1 = SY + yEye + cy;
        const LONG cCols = (sx1 - 1) / COPY_PIECE - sx0 / COPY_PIECE + 1;
        const LONG cRows = (sy1 - 1) / COPY_PIECE - sy0 / COPY_PIECE + 1;
        for (LONG jr = 0; jr < cRows; ++jr) {
            const LONG row = yStep > 0 ? sy0 / COPY_PIECE + jr : (sy1 - 1) / COPY_PIECE - jr;
            const LONG ty0 = std::max(sy0, row * COPY_PIECE),
                       ty1 = std::min(sy1, (row + 1) * COPY_PIECE);
            // Piece ic of the row (in stepping order), in surface coordinates.
            auto piece = [&](LONG ic, RECTL* prcl, POINTL* pptlSrc) {
                const LONG col = xStep > 0 ? sx0 / COPY_PIECE + ic : (sx1 - 1) / COPY_PIECE - ic;
                const LONG tx0 = std::max(sx0, col * COPY_PIECE),
                           tx1 = std::min(sx1, (col + 1) * COPY_PIECE);
                *pptlSrc = POINTL{tx0 - s.xOrg, ty0 - s.yOrg};
                *prcl =
                    RECTL{tx0 - SX + prclDst->left, ty0 - (SY + yEye) + prclDst->top + yEye, 0, 0};
                prcl->right = prcl->left + (tx1 - tx0);
                prcl->bottom = prcl->top + (ty1 - ty0);
            };
            for (LONG ic = 0; ic < cCols; ++ic) {
                RECTL rcl;
                POINTL ptlSrc;
                piece(ic, &rcl, &ptlSrc);
                if (ic + 1 == cCols) {
                    // The last piece of its row goes alone.
                    if (ulCopyQuarters(ppdev, psoDst, psoSrc, &rcl, &ptlSrc, xStep, yStep, TRUE, 0,
                                       rop3, flInfo)) {
                        vDrainCopy(ppdev, bHostReads);
                        ulCopyQuarters(ppdev, psoDst, psoSrc, &rcl, &ptlSrc, xStep, yStep, FALSE, 0,
                                       rop3, flInfo);
                        vDrainCopy(ppdev, FALSE);
                    }
                    kz2FlushPacket(pqm);
                    continue;
                }
                // Any other piece goes with the next one: both are read into
                // the staging buffer (the second 64 KB on), then both
                // written, so one drain serves two pieces. The walk's order
                // keeps the second piece's source clear of what the first
                // writes, and a piece's staged source is read by the
                // rasterizer owning its tile, in the same queue as any block
                // copy of the second piece that writes that tile.
                RECTL rcl2;
                POINTL ptlSrc2;
                piece(++ic, &rcl2, &ptlSrc2);
                ULONG ulHost = ulCopyQuarters(ppdev, psoDst, psoSrc, &rcl, &ptlSrc, xStep, yStep,
                                              TRUE, 0, rop3, flInfo);
                ulHost |= ulCopyQuarters(ppdev, psoDst, psoSrc, &rcl2, &ptlSrc2, xStep, yStep, TRUE,
                                         COPY_SECOND_STAGING, rop3, flInfo);
                if (ulHost) {
                    vDrainCopy(ppdev, bHostReads);
                    ulCopyQuarters(ppdev, psoDst, psoSrc, &rcl, &ptlSrc, xStep, yStep, FALSE, 0,
                                   rop3, flInfo);
                    ulCopyQuarters(ppdev, psoDst, psoSrc, &rcl2, &ptlSrc2, xStep, yStep, FALSE,
                                   COPY_SECOND_STAGING, rop3, flInfo);
                    vDrainCopy(ppdev, FALSE);
                }
                kz2FlushPacket(pqm);
            }
        }
        if (!ppdev->DmaDescription.bTwoStagingBuffers)
            kz2FlushQueue(pqm, static_cast<ULONG>(-1), nullptr, nullptr);
    }
}
