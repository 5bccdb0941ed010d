// The row workers of the host transfers: row descriptors, the bounce buffer
// and the staging buffers in DMA memory, transfer packets with one record a
// row routed to the rasterizers that own the rows, the direct and the bounce
// row transfer, the cutting of rectangles into pieces and the clip walk the
// transfer entry points share.
#include <algorithm>
#include <cstring>

#include "cliprects.h"
#include "platform/engine.h"
#include "queue/queue.h"
#include "rop/rop.h"
#include "xfer/xfer.h"

static_assert(XFER_BOUNCE_HALVES * XFER_BOUNCE_HALF_BYTES <= KZ2_STAGING_BYTES,
              "the bounce buffer fits in the DMA buffer's room before the rings");

namespace {

// Board x and y of a record carry 16 bits each.
constexpr LONG kMaxCoordinate = 0xFFFF;

// Bounce halves and staging buffers as bus and CPU addresses.
BYTE* pjOfBus(const PDEV* ppdev, ULONG ulBus) {
    const VNX_DMA_DESCRIPTION& d = ppdev->DmaDescription;
    return static_cast<BYTE*>(d.pvDmaBase) + (ulBus - d.ulDmaBus);
}

ULONG ulStagingBus(const PDEV* ppdev, ULONG iBuffer) {
    const VNX_DMA_DESCRIPTION& d = ppdev->DmaDescription;
    return iBuffer == 0 ? d.ulStaging0Bus : d.ulStaging1Bus;
}

// The queue that owns board pixel (x, y), and the x its records carry
// (relative to the second screen in the second screen's queues).
ULONG iQueueOfPixel(KZ2QUEUEMGT pqm, LONG x, LONG y, LONG* pxRecord) {
    const QUEUELAYOUT* pl = pqm->pLayout;
    const PDEV* ppdev = pl->ppdevSelf;
    ULONG ulOffset = 0;
    if (pl->bSplitScreen && x >= ppdev->cxScreen) {
        ulOffset = pl->cQueuesPerScreen;
        x -= ppdev->cxScreen;
    }
    *pxRecord = x;
    const ULONG t = static_cast<ULONG>(((y >> 7) & 3) * 4 + ((x >> 7) & 3));
    return pqm->abTileQueue[t] + ulOffset;
}

void vAppendRecord(KZ2QUEUE* q, LONG x, LONG y, ULONG pid, ULONG ulBus, ULONG ulDescriptor) {
    ULONG* p = q->pWrite;
    p[0] = (static_cast<ULONG>(y & kMaxCoordinate) << 16) | static_cast<ULONG>(x & kMaxCoordinate);
    p[1] = pid;
    p[2] = ulBus;
    p[3] = ulDescriptor;
    q->pWrite = p + XFER_RECORD_WORDS;
    ++q->cPrims;
}

// One transfer packet of cRows records, row i at board (x, y + i) with bus
// address ulBus + i x lBusStep; closed, not handed over.
void vQueueRecords(KZ2QUEUEMGT pqm, LONG x, LONG y, LONG cRows, ULONG pid, ULONG ulBus,
                   LONG lBusStep, ULONG ulDescriptor) {
    kz2NewPacketQueue(pqm, reinterpret_cast<PVOID>(&iTransferRows), static_cast<ULONG>(cRows));
    const ULONG cQueues = pqm->pLayout->cQueues;
    for (LONG i = 0; i < cRows; ++i) {
        const ULONG ulRowBus = ulBus + static_cast<ULONG>(static_cast<std::int64_t>(i) * lBusStep);
        if (pid & PID_MARKER) {
            // A surface every rasterizer keeps: every queue moves the row.
            for (ULONG k = 0; k < cQueues; ++k)
                vAppendRecord(pqm + k, x, y + i, pid, ulRowBus, ulDescriptor);
            continue;
        }
        LONG xRecord = x;
        const ULONG k = iQueueOfPixel(pqm, x, y + i, &xRecord);
        vAppendRecord(pqm + k, xRecord, y + i, pid, ulRowBus, ulDescriptor);
    }
    // Queues without a record keep an empty open packet, which the close
    // leaves alone.
    for (ULONG k = 0; k < cQueues; ++k) {
        if (pqm[k].cPrims != 0) pqm[k].pPacket[0] = XFER_CMD_TRANSFER;
    }
    KZ2QUEUE* pq = pqm->pqCurrent;
    pq->pMark = pq->pWrite;
    kz2SoftUpdatePacketPtr(pqm, pq->pWrite);
}

// The plain rows of iTransferRows through the bounce buffer.
struct PLAINROWS {
    BYTE* pjHost;
    LONG lHostDelta;
    BOOL bUpload;
    BOOL bStrip;
};

void vPlainRow(void* pv, LONG iRow, BYTE* pjBounce, ULONG cj) {
    const PLAINROWS* p = static_cast<const PLAINROWS*>(pv);
    BYTE* pjRow = p->pjHost + static_cast<std::ptrdiff_t>(iRow) * p->lHostDelta;
    if (p->bUpload) {
        std::memcpy(pjBounce, pjRow, cj);
        if (p->bStrip) vStripOverlayBits(pjBounce, cj / 2);
    } else {
        std::memcpy(pjRow, pjBounce, cj);
        if (p->bStrip) vStripOverlayBits(pjRow, cj / 2);
    }
}

}  // namespace

// --- descriptors ----------------------------------------------------------------------

ULONG ulTransferKind(ULONG iShift, ULONG pid, BOOL bUpload) {
    ULONG ulKind = XFER_KIND_8_16;
    if (iShift == 2)
        ulKind = (pid & PID_FORMAT_MASK) < PID_FORMAT_OVERLAY ? XFER_KIND_32 : XFER_KIND_32_OVERLAY;
    return bUpload ? ulKind | XFER_KIND_UPLOAD : ulKind;
}

ULONG ulRowDescriptor(LONG x, LONG cx, ULONG iShift, ULONG ulKind) {
    const ULONG ulFirst = (static_cast<ULONG>(x) & ((XFER_SPAN_BYTES >> iShift) - 1)) << iShift;
    const ULONG ulLast = ulFirst + (static_cast<ULONG>(cx) << iShift) - 1;
    return ulFirst | (ulLast << XFER_DESC_LAST_SHIFT) | (ulKind << XFER_DESC_KIND_SHIFT);
}

LONG cChunkRows(LONG cRows, ULONG cjRow) {
    LONG c = std::min<LONG>(cRows, static_cast<LONG>(XFER_BOUNCE_HALF_BYTES / cjRow));
    c = std::min<LONG>(c, cRows / 4 + 1);
    return std::max<LONG>(1, std::min<LONG>(c, XFER_MAX_PACKET_ROWS));
}

// --- DMA memory -------------------------------------------------------------------------

BYTE* pjBounceHalf(const PDEV* ppdev, ULONG iHalf) {
    return ppdev->pDmaBuffer + iHalf * XFER_BOUNCE_HALF_BYTES;
}

ULONG ulBounceHalfBus(const PDEV* ppdev, ULONG iHalf) {
    return ppdev->DmaDescription.ulDmaBus + iHalf * XFER_BOUNCE_HALF_BYTES;
}

BYTE* pjStagingBuffer(const PDEV* ppdev, ULONG iBuffer) {
    return pjOfBus(ppdev, ulStagingBus(ppdev, iBuffer));
}

BOOL bStagingBus(const PDEV* ppdev, const BYTE* pj, std::size_t cj, ULONG* pulBus) {
    if (ppdev->DmaDescription.pvDmaBase == nullptr) return FALSE;
    for (ULONG i = 0; i < 2; ++i) {
        const BYTE* pjStart = pjStagingBuffer(ppdev, i);
        if (pj >= pjStart && cj <= XFER_STAGING_BYTES &&
            static_cast<std::size_t>(pj - pjStart) <= XFER_STAGING_BYTES - cj) {
            *pulBus = ulStagingBus(ppdev, i) + static_cast<ULONG>(pj - pjStart);
            return TRUE;
        }
    }
    return FALSE;
}

BOOL bStripOverlay(const PDEV* ppdev, ULONG pid) {
    return ulPlaneMask(ppdev, pid) == PLANE_MASK_NO_OVERLAY;
}

void vStripOverlayBits(BYTE* pj, ULONG cPixels) {
    // Bit 7 of the high byte of each little-endian pixel.
    for (ULONG i = 0; i < cPixels; ++i) pj[2 * i + 1] &= 0x7F;
}

// --- row transfers ------------------------------------------------------------------------

INT iTransferRowsBounce(KZ2QUEUEMGT pqm, LONG x, LONG y, LONG cRows, ULONG pid, ULONG ulDescriptor,
                        PFN_XFERROW pfnRow, void* pvContext) {
    const ULONG cj = cjDescriptorRow(ulDescriptor);
    if (pqm == nullptr || cRows <= 0 || cj == 0 || cj > XFER_BOUNCE_HALF_BYTES) return 1;
    const PDEV* ppdev = pqm->pLayout->ppdevSelf;
    const BOOL bUpload = (ulDescriptor & XFER_DESC_UPLOAD) != 0;
    const ULONG ulFirst = ulDescriptorFirst(ulDescriptor);
    const LONG cChunk = cChunkRows(cRows, cj);

    // The chunk the board wrote last, taken once the next one is queued.
    LONG iPending = 0, cPending = 0;
    ULONG iPendingHalf = 0;
    ULONG iHalf = 0;
    for (LONG iRow = 0; iRow < cRows; iRow += cChunk, iHalf ^= 1) {
        const LONG c = std::min(cChunk, cRows - iRow);
        BYTE* pjHalf = pjBounceHalf(ppdev, iHalf);
        if (bUpload) {
            for (LONG k = 0; k < c; ++k) pfnRow(pvContext, iRow + k, pjHalf + k * cj, cj);
        }
        vQueueRecords(pqm, x, y + iRow, c, pid, ulBounceHalfBus(ppdev, iHalf) - ulFirst,
                      static_cast<LONG>(cj), ulDescriptor);
        // The chunk ends the streams and is waited for, so its half is
        // written (downloads) or free again (uploads) before it is reused.
        vCloseAllQueuePackets(pqm);
        kz2FlushPacket(pqm);
        if (!bUpload) {
            const BYTE* pjPending = pjBounceHalf(ppdev, iPendingHalf);
            for (LONG k = 0; k < cPending; ++k)
                pfnRow(pvContext, iPending + k, const_cast<BYTE*>(pjPending) + k * cj, cj);
            iPending = iRow;
            cPending = c;
            iPendingHalf = iHalf;
        }
    }
    if (!bUpload && cPending != 0) {
        kz2SyncDMA(pqm);
        BYTE* pjPending = pjBounceHalf(ppdev, iPendingHalf);
        for (LONG k = 0; k < cPending; ++k) pfnRow(pvContext, iPending + k, pjPending + k * cj, cj);
    }
    return 1;
}

INT iTransferRows(KZ2QUEUEMGT pqm, LONG x, LONG y, LONG cRows, ULONG pid, BYTE* pjHost,
                  LONG lHostDelta, ULONG ulDescriptor, BOOL bViaBuffer, ULONG /*iShift*/) {
    const ULONG cj = cjDescriptorRow(ulDescriptor);
    if (pqm == nullptr || cRows <= 0 || cj == 0) return 1;
    const PDEV* ppdev = pqm->pLayout->ppdevSelf;
    const BOOL bUpload = (ulDescriptor & XFER_DESC_UPLOAD) != 0;

    // The direct path names the host rows: they must all lie in a staging
    // buffer, else the rows go through the bounce buffer.
    ULONG ulBus = 0;
    if (!bViaBuffer) {
        const std::ptrdiff_t cjSpan =
            static_cast<std::ptrdiff_t>(cRows - 1) * (lHostDelta < 0 ? -lHostDelta : lHostDelta);
        const BYTE* pjLow = lHostDelta < 0 ? pjHost - cjSpan : pjHost;
        ULONG ulLowBus = 0;
        if (bStagingBus(ppdev, pjLow, static_cast<std::size_t>(cjSpan) + cj, &ulLowBus))
            ulBus = ulLowBus + static_cast<ULONG>(pjHost - pjLow);
        else bViaBuffer = TRUE;
    }

    if (bViaBuffer) {
        PLAINROWS rows{pjHost, lHostDelta, bUpload, bStripOverlay(ppdev, pid)};
        return iTransferRowsBounce(pqm, x, y, cRows, pid, ulDescriptor, vPlainRow, &rows);
    }

    // One chunk of all rows, at most 511 in a packet.
    const ULONG ulFirst = ulDescriptorFirst(ulDescriptor);
    for (LONG iRow = 0; iRow < cRows; iRow += XFER_MAX_PACKET_ROWS) {
        const LONG c = std::min<LONG>(XFER_MAX_PACKET_ROWS, cRows - iRow);
        const ULONG ulRowBus =
            ulBus + static_cast<ULONG>(static_cast<std::int64_t>(iRow) * lHostDelta) - ulFirst;
        vQueueRecords(pqm, x, y + iRow, c, pid, ulRowBus, lHostDelta, ulDescriptor);
    }
    return 1;
}

// --- cutting and clipping ---------------------------------------------------------------

void vForEachPiece(LONG left, LONG top, LONG right, LONG bottom, PFN_XFERPIECE pfn,
                   void* pvContext) {
    for (LONG y = top; y < bottom; y += XFER_BAND_ROWS) {
        const LONG cy = std::min<LONG>(XFER_BAND_ROWS, bottom - y);
        for (LONG x = left; x < right;) {
            const LONG xEnd =
                std::min<LONG>(right, (x + XFER_PIECE_PIXELS) & ~(XFER_PIECE_PIXELS - 1));
            pfn(pvContext, x, y, xEnd - x, cy);
            x = xEnd;
        }
    }
}

void vForEachClipRect(CLIPOBJ* pco, const RECTL* prclDst, const POINTL* pptlSrc, PFN_XFERCLIP pfn,
                      void* pvContext) {
    auto hand = [&](const RECTL& rclClip) {
        RECTL rcl;
        if (!bRectIntersect(&rclClip, prclDst, &rcl)) return;
        POINTL ptl{pptlSrc->x + (rcl.left - prclDst->left), pptlSrc->y + (rcl.top - prclDst->top)};
        pfn(pvContext, &rcl, &ptl);
    };
    if (pco == nullptr || pco->iDComplexity == DC_TRIVIAL) {
        hand(*prclDst);
    } else if (pco->iDComplexity == DC_RECT) {
        hand(pco->rclBounds);
    } else if (pco->iDComplexity == DC_COMPLEX) {
        vEnumClipBatches<49>(pco, CD_ANY, 50, [&](const RECTL* arcl, ULONG c, BOOL) {
            for (ULONG i = 0; i < c; ++i) hand(arcl[i]);
        });
    }
}

// --- device surfaces ------------------------------------------------------------------------

LONG iShiftOfFormat(ULONG iBitmapFormat) {
    switch (iBitmapFormat) {
        case BMF_8BPP: return 0;
        case BMF_16BPP: return 1;
        case BMF_32BPP: return 2;
        default: return -1;
    }
}

BOOL bXferDevice(SURFOBJ* psoDev, XFERDEV* pxd) {
    if (psoDev == nullptr) return FALSE;
    const DSURF* pdsurf = reinterpret_cast<const DSURF*>(psoDev->dhsurf);
    if (pdsurf == nullptr || pdsurf->pdfb == nullptr || pdsurf->ppdev == nullptr ||
        pdsurf->ppdev->pqm == nullptr) {
        return FALSE;
    }
    const LONG iShift = iShiftOfFormat(psoDev->iBitmapFormat);
    if (iShift < 0) return FALSE;
    pxd->ppdev = pdsurf->ppdev;
    pxd->pqm = pdsurf->ppdev->pqm;
    pxd->pid = pdsurf->pdfb->pid & 0xFFFFu;
    pxd->xOrigin = pdsurf->pdfb->x;
    pxd->yOrigin = pdsurf->pdfb->y;
    pxd->cx = pdsurf->cx;
    pxd->cy = pdsurf->cy;
    pxd->iShift = static_cast<ULONG>(iShift);
    return TRUE;
}

BOOL bClipTransfer(RECTL* prcl, POINTL* pptl, LONG cxRcl, LONG cyRcl, LONG cxPtl, LONG cyPtl) {
    // Work in the rectangle's coordinates, 64 bits wide: the point's surface
    // lies at (left - x, top - y) there.
    const std::int64_t dx = std::int64_t{prcl->left} - pptl->x;
    const std::int64_t dy = std::int64_t{prcl->top} - pptl->y;
    const std::int64_t left = std::max<std::int64_t>({prcl->left, 0, dx});
    const std::int64_t top = std::max<std::int64_t>({prcl->top, 0, dy});
    const std::int64_t right = std::min<std::int64_t>({prcl->right, cxRcl, dx + cxPtl});
    const std::int64_t bottom = std::min<std::int64_t>({prcl->bottom, cyRcl, dy + cyPtl});
    if (left >= right || top >= bottom) return FALSE;
    pptl->x = static_cast<LONG>(left - dx);
    pptl->y = static_cast<LONG>(top - dy);
    *prcl = RECTL{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(right),
                  static_cast<LONG>(bottom)};
    return TRUE;
}

namespace {

struct PASS {
    const XFERDEV* pxd;
    BYTE* pjScan0;
    LONG lDelta;
    LONG xHost;  // host pixel of the board rectangle's left and top
    LONG yHost;
    LONG xBoard;
    LONG yBoard;
    ULONG ulKind;
    BOOL bViaBuffer;
};

void vPassPiece(void* pv, LONG x, LONG y, LONG cx, LONG cy) {
    const PASS* p = static_cast<const PASS*>(pv);
    const ULONG iShift = p->pxd->iShift;
    BYTE* pjHost = p->pjScan0 +
                   static_cast<std::ptrdiff_t>(p->yHost + (y - p->yBoard)) * p->lDelta +
                   (static_cast<std::ptrdiff_t>(p->xHost + (x - p->xBoard)) << iShift);
    iTransferRows(p->pxd->pqm, xSpanStart(x, iShift), y, cy, p->pxd->pid, pjHost, p->lDelta,
                  ulRowDescriptor(x, cx, iShift, p->ulKind), p->bViaBuffer, iShift);
}

}  // namespace

void vTransferPass(const XFERDEV* pxd, BYTE* pjScan0, LONG lDelta, const RECTL* prclHost,
                   LONG xBoard, LONG yBoard, BOOL bUpload, BOOL bViaBuffer) {
    PASS pass{pxd,           pjScan0, lDelta, prclHost->left,
              prclHost->top, xBoard,  yBoard, ulTransferKind(pxd->iShift, pxd->pid, bUpload),
              bViaBuffer};
    vForEachPiece(xBoard, yBoard, xBoard + (prclHost->right - prclHost->left),
                  yBoard + (prclHost->bottom - prclHost->top), vPassPiece, &pass);
}

void vFlushDevice(SURFOBJ* psoDev) {
    XFERDEV xd;
    if (bXferDevice(psoDev, &xd)) kz2FlushQueue(xd.pqm, static_cast<ULONG>(-1), nullptr, nullptr);
}
