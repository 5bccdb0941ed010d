// The screen clear (after the surface is enabled and around mode switches):
// one rectangle packet per buffer that writes 0 over the whole screen, and
// the routing the surface's own packets share.
#include "queue/queue.h"
#include "rop/rop.h"
#include "surface/surface.h"

namespace {

// Command words: a fill of one rectangle with one instruction (two at
// 32 bpp, where the overlay plane is cleared too).
constexpr ULONG kClearCommand = CMD2D_FILL | CMD2D_INSTR(1);
constexpr ULONG kClearCommand32 = CMD2D_FILL | CMD2D_INSTR(2);
// Register 14 (the overlay pid) and register 13 (the buffer's pid) take
// data register 27, inside the clip.
constexpr ULONG kClearOverlay = ulInstr(OP_COPY, REG_PIXMAP_HI, REG_COLOUR, REG_NONE, INSTR_CLIP);
constexpr ULONG kClearPixels = ulInstr(OP_COPY, REG_PIXMAP, REG_COLOUR, REG_NONE, INSTR_CLIP);
static_assert(kClearCommand == 0x02101026u && kClearCommand32 == 0x02201026u &&
              kClearOverlay == 0x10360388u && kClearPixels == 0x10360348u);
constexpr ULONG kClearValue = 0;

// The pid word of a clear through the page block of pid: at 32 bpp the
// buffer and its overlay plane; at 16 bpp format 0x6000; at 8 bpp format 0.
ULONG ulClearPidWord(const PDEV* ppdev, ULONG pid) {
    const ULONG ulSlot = PID_SLOT(pid);
    switch (ppdev->iBitmapFormat) {
        case BMF_32BPP: return (PID_FORMAT_OVERLAY | ulSlot) << 16 | (PID_FORMAT_32 | ulSlot);
        case BMF_16BPP: return PID_FORMAT_16_INDEXED | ulSlot;
        default: return PID_FORMAT_8_INDEXED | ulSlot;
    }
}

// One clear packet over (0, 0)-(cx, cy) through the buffer of pid.
void vClearBuffer(PDEV* ppdev, ULONG pid, LONG cx, BOOL bMulScreenRoute) {
    KZ2QUEUEMGT qm = ppdev->pqm;
    const BOOL b32 = ppdev->iBitmapFormat == BMF_32BPP;
    const LONG cy = ppdev->cyScreen;

    ULONG* p = kz2NewPacketQueue(qm, ppdev, 1);
    for (ULONG i = 0; i < cQueuesOf(qm); ++i)
        qm[i].pPacket[0] = b32 ? kClearCommand32 : kClearCommand;
    *p++ = ulClearPidWord(ppdev, pid);
    if (b32) *p++ = kClearOverlay;
    *p++ = kClearPixels;
    *p++ = 0;
    *p++ = static_cast<ULONG>(ppdev->cyScreen) << 16 | static_cast<ULONG>(ppdev->cxScreen);
    *p++ = kClearValue;
    const ULONG xy0 = ulPackVertex(0, 0);
    const ULONG xyFar = ulPackVertex(cx, cy);
    *p++ = xy0;
    *p++ = ulPackVertex(cx, 0);
    *p++ = xyFar;
    *p++ = ulPackVertex(0, cy);
    p = pRoutePrimitive(qm, p, xy0, xyFar, bMulScreenRoute);
    kz2UpdatePacketPtr(qm, ppdev, p, 0);
}

}  // namespace

ULONG* pRoutePrimitive(KZ2QUEUEMGT qm, ULONG* pEnd, ULONG xyFirst, ULONG xyFar,
                       BOOL bMulScreenRoute) {
    const QUEUELAYOUT* pLayout = qm->pLayout;
    KZ2QUEUE* pq = qm->pqCurrent;
    if (pLayout->cQueues == 1) {
        ++pq->cPrims;
        pq->pWrite = pq->pMark = pEnd;
        return pEnd;
    }
    if (pLayout->bSplitScreen) return kz2CopyPrimMulScreen(qm, pEnd, xyFirst, bMulScreenRoute);
    if (qm->cPrims != 0 && ((xyFirst ^ xyFar) & ~KZ2_TILE_MASK) == 0) {
        // The packet's prefix already went to every queue: the primitive
        // goes to the queue of its tile alone.
        KZ2QUEUE* pqTile = qm + qm->abTileQueue[KZ2_TILE_OF(xyFirst)];
        ++pqTile->cPrims;
        if (pqTile == pq) {
            pq->pWrite = pEnd;
        } else {
            kz2CopyPrimN(qm, pEnd, pqTile);
            pq->pWrite = pq->pMark;
            qm->pqCurrent = pqTile;
        }
        pqTile->pMark = pqTile->pWrite;
        return pqTile->pWrite;
    }
    return kz2CopyPrimOpt(qm, pEnd, xyFirst, xyFar, xyFirst);
}

void vClearScreen(PDEV* ppdev) {
    if (ppdev->pqm == nullptr) return;
    const LONG cx = ppdev->cxScreen, cy = ppdev->cyScreen;
    // On a split board the rectangle runs over both screens; it is routed
    // to a single tile only when it lies in tile 0.
    if (ppdev->layout.bSplitScreen) {
        vClearBuffer(ppdev, ppdev->pidScreen, 2 * cx - 1, 2 * cx - 1 < 128 && cy < 128);
    } else {
        vClearBuffer(ppdev, ppdev->pidScreen, cx, FALSE);
    }
    if (ppdev->hsurfBack != nullptr) vClearBuffer(ppdev, ppdev->pidBack, cx, cx < 128 && cy < 128);
}
