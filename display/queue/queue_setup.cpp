// Set-up and release of the packet queues: the miniport's DMA description,
// the queue layout, one queue record per rasterizer with its ring, register
// window and share of the tile map; and the two exports that find a
// device's queue manager.
#include <cstring>
#include <new>

#include "platform/miniport.h"
#include "queue/queue_internal.h"

namespace {

// The smallest ring that leaves room for a packet after the reserve, the
// room check's slack and a hand-over.
constexpr ULONG kcbMinRing = 4096;

// The second-screen queues of a split board carry these control-word bits.
constexpr ULONG kScreenBitsFirst = 0;

void vReleaseDma(PDEV* ppdev) {
    DWORD cb = 0;
    EngDeviceIoControl(ppdev->hDriver, IOCTL_VNX_QUEUE_RELEASE, &ppdev->DmaDescription,
                       sizeof ppdev->DmaDescription, nullptr, 0, &cb);
}

void vFreeRecords(KZ2QUEUE* aq, ULONG cQueues) {
    for (ULONG i = 0; i < cQueues; ++i) aq[i].~KZ2QUEUE();
    LocalFree(aq);
}

// Whether the miniport's description can hold the queues: rings of useful
// size on whole lines, and a rasterizer count the device has register
// windows for.
BOOL bDescriptionFits(const PDEV* ppdev, const VNX_DMA_DESCRIPTION& d) {
    if (cbQueueRing(d) == 0) return FALSE;
    for (ULONG i = 0; i < d.ulRasterizers; ++i) {
        if (ppdev->apRegs[i] == nullptr) return FALSE;
    }
    return TRUE;
}

// One queue at set-up: its ring, its share of the tile map, an empty packet
// at the ring start and the board's read and write pointers there.
void vInitQueue(PDEV* ppdev, KZ2QUEUE* qm, ULONG i, ULONG cbRing) {
    const QUEUELAYOUT& layout = ppdev->layout;
    const VNX_DMA_DESCRIPTION& d = ppdev->DmaDescription;
    KZ2QUEUE* q = qm + i;
    q->pSelf = q;
    q->cbRing = cbRing;
    q->pRingStart = reinterpret_cast<ULONG*>(static_cast<BYTE*>(d.pvDmaBase) + KZ2_STAGING_BYTES +
                                             std::size_t{i} * cbRing);
    q->ulRingBus = d.ulDmaBus + KZ2_STAGING_BYTES + i * cbRing;
    q->pRegs = ppdev->apRegs[i];
    q->fIdle.store(1);
    q->fAutoFlush.store(0);
    q->fFresh = 1;

    // The lowest owned tile gives the queue's origin.
    const ULONG ulOwner = VnxRegRead(q->pRegs, VNX_REG_TILE_OWNER);
    for (int t = 15; t >= 0; --t) {
        if (ulOwner & (1u << (16 + t))) {
            qm->abTileQueue[t] = static_cast<UCHAR>(i);
            qm->axTileOrigin[i] = static_cast<ULONG>(t & 3) << 7;
            qm->ayTileOrigin[i] = static_cast<ULONG>(t >> 2) << 7;
        }
    }
    q->ulScreenBits = layout.bSplitScreen && i >= layout.cQueues / layout.cScreens
                          ? KZ2_SCREEN_BITS_SECOND
                          : kScreenBitsFirst;
    q->ulExtraBits = 0;
    q->hDriver = ppdev->hDriver;

    q->pStreamEnd = q->pKicked = q->pRingStart;
    q->pPacket = q->pWrite = q->pMark = q->pRingStart;
    vWriteEmptyPacket(q->pRingStart);
    VnxRegWrite(q->pRegs, VNX_REG_WRITE_PTR, q->ulRingBus);
    VnxRegWrite(q->pRegs, VNX_REG_READ_PTR, q->ulRingBus);
    q->fHwEnabled = 1;
    q->ulRestart = 0;
    q->pRingLimit = q->pRingStart + (cbRing - KZ2_RING_RESERVE) / sizeof(ULONG);
    q->pSyncWord = nullptr;
    q->pLayout = &ppdev->layout;
}

}  // namespace

ULONG cbQueueRing(const VNX_DMA_DESCRIPTION& d) {
    const ULONG cQueues = d.ulRasterizers;
    if (cQueues == 0 || cQueues > MAX_RASTERIZERS || d.pvDmaBase == nullptr) return 0;
    // The board reads whole lines from bus addresses and the driver pads by
    // CPU addresses: the buffer starts a line in both, and so does every
    // ring, each a whole number of lines after the staging area.
    if (reinterpret_cast<std::uintptr_t>(d.pvDmaBase) % KZ2_LINE_BYTES != 0 ||
        d.ulDmaBus % KZ2_LINE_BYTES != 0) {
        return 0;
    }
    if (d.cjDmaBuffer <= KZ2_STAGING_BYTES) return 0;
    const ULONG cbRing = ((d.cjDmaBuffer - KZ2_STAGING_BYTES) / cQueues) & ~(KZ2_LINE_BYTES - 1);
    return cbRing >= kcbMinRing ? cbRing : 0;
}

BOOL bInitQueues(PDEV* ppdev) {
    // The miniport only checks that a record size is given; ours is wider
    // than the original 32-bit record.
    ULONG cbRecord = sizeof(KZ2QUEUE);
    VNX_DMA_DESCRIPTION d{};
    DWORD cb = 0;
    if (EngDeviceIoControl(ppdev->hDriver, IOCTL_VNX_QUEUE_SETUP, &cbRecord, sizeof cbRecord, &d,
                           sizeof d, &cb) != ERROR_SUCCESS) {
        return FALSE;
    }
    ppdev->DmaDescription = d;
    if (!bDescriptionFits(ppdev, d)) {
        DbgPrint("bInitQueues: the DMA description cannot hold the queues\n");
        vReleaseDma(ppdev);
        return FALSE;
    }

    const ULONG cQueues = d.ulRasterizers;
    QUEUELAYOUT& layout = ppdev->layout;
    layout.ppdevSelf = ppdev;
    layout.cRasterizers = d.ulRasterizers;
    layout.cQueues = cQueues;
    const BOOL bSplit = d.ulBoards >= 2 && (ppdev->bc.flags & BCF_DUAL_MONITOR) && cQueues >= 2;
    layout.bSplitScreen = bSplit ? 1 : 0;
    layout.cScreens = bSplit ? 2 : 1;
    layout.cQueuesPerScreen = cQueues / layout.cScreens;
    ppdev->ulAlignMask = -static_cast<LONG>(KZ2_LINE_BYTES);
    ppdev->jDmaStatus = d.jStatus;
    ppdev->pDmaBuffer = static_cast<BYTE*>(d.pvDmaBase);
    // The copies stage pieces in the miniport's staging buffers, which lie
    // outside the DMA buffer; the DMA buffer's start before the rings is the
    // bounce buffer of the host transfers (xfer.h).
    ppdev->pStaging = d.ulStaging0Bus;

    auto* aq = static_cast<KZ2QUEUE*>(LocalAlloc(LPTR, cQueues * sizeof(KZ2QUEUE)));
    if (aq == nullptr) {
        vReleaseDma(ppdev);
        return FALSE;
    }
    for (ULONG i = 0; i < cQueues; ++i) new (&aq[i]) KZ2QUEUE{};
    KZ2QUEUE* qm = aq;
    qm->pqCurrent = qm;
    qm->fDisabled = 0;
    qm->fReenable = 0;

    const ULONG cbRing = cbQueueRing(d);
    for (ULONG i = 0; i < cQueues; ++i) vInitQueue(ppdev, qm, i, cbRing);
    if (bSplit) {
        // Tile owners become indexes within one screen.
        const ULONG cFirst = cQueues / layout.cScreens;
        for (UCHAR& b : qm->abTileQueue) {
            if (b >= cFirst) b = static_cast<UCHAR>(b - cFirst);
        }
    }
    ppdev->pqm = qm;

    if (!bFollowDevice(ppdev)) {
        ppdev->pqm = nullptr;
        vFreeRecords(aq, cQueues);
        vReleaseDma(ppdev);
        return FALSE;
    }
    return TRUE;
}

void vReleaseQueues(PDEV* ppdev) {
    KZ2QUEUE* qm = ppdev->pqm;
    if (qm == nullptr) return;
    vForgetDevice(ppdev);
    kz2NewPacketQueue(qm, nullptr, 0);
    kz2FlushStreamRenderWait(qm, nullptr);
    vReleaseDma(ppdev);
    const ULONG cQueues = cQueuesOf(qm);
    ppdev->pqm = nullptr;
    vFreeRecords(qm, cQueues);
}

extern "C" KZ2QUEUEMGT kz2GetQueueMgt(const void* psoOrDsurf, ULONG /*ulBlockMask*/) {
    if (psoOrDsurf == nullptr) return nullptr;
    PDEV* ppdev = nullptr;
    std::memcpy(&ppdev, static_cast<const BYTE*>(psoOrDsurf) + 8, sizeof ppdev);
    return ppdev != nullptr ? ppdev->pqm : nullptr;
}

extern "C" ULONG kz2GetBlockEnable(ULONG, ULONG, ULONG, ULONG) { return KZ2_ALL_BLOCKS; }
