// Opening and closing packets: the queue calls that reserve room and open a
// packet in every queue (and hold the flush thread off), the calls that
// close the packets and hand them to the board (and let the thread in
// again), the drains, and the switching of the rasterizers' optional units.
#include <algorithm>
#include <atomic>

#include "kzuinstr.h"
#include "queue/queue_internal.h"

namespace {

// Room requests are computed wide; a request no ring can hold asks for all.
ULONG cbRoom(std::uint64_t cb) {
    return static_cast<ULONG>(std::min<std::uint64_t>(cb, 0xFFFFFFFFu));
}

// Whether a ring can take a request of cb bytes; a request no ring can
// take is reported and refused before anything is written, since meeting it
// would run past the ring's end into the next rasterizer's ring.
bool bRingHolds(KZ2QUEUEMGT qm, ULONG cb, const char* pszFunction) {
    if (cb <= kz2MaxRoom(qm)) return true;
    DbgPrint("%s: %u bytes do not fit a queue ring (%u at most), refused\n", pszFunction, cb, kz2MaxRoom(qm));
    return false;
}

// Opens an empty packet (header words left to the caller) in every queue at
// its stream end, and marks the current queue's write pointer.
ULONG* pOpenPackets(KZ2QUEUEMGT qm) {
    for (ULONG i = 0; i < cQueuesOf(qm); ++i) {
        KZ2QUEUE* q = qm + i;
        q->pPacket = q->pStreamEnd;
        q->pWrite = q->pPacket + 2;
        q->cPrims = 0;
    }
    KZ2QUEUE* pq = qm->pqCurrent;
    pq->pMark = pq->pWrite;
    return pq->pWrite;
}

// Whether q's last packet may take more words: it was closed with words
// and nothing follows it (its header lies before the stream end), and the
// board was not told to read any of it (it may have read the count). Every
// step that writes after a packet (hand-over, the kick's NOPs, a close
// record, a restart) leaves pPacket at the stream end, and a packet that
// never closed stays there too, so those queues open a new packet.
bool bCanContinue(const KZ2QUEUE* q) {
    return q->pKicked <= q->pPacket && q->pPacket < q->pStreamEnd;
}

// The split-screen clip clamp of a closing packet of queue i: on the second
// screen the clip pair moves left by the screen width (clamped at 0), on the
// first it is clamped to the screen: to its width where the packet's clip
// maximum lies past the rectangle, to its last column where the maximum is
// the last pixel inside (kzuClipMaxIncluded), so that the first board never
// draws the second screen's first column into its own memory.
void vClampClip(const KZ2QUEUE* q, ULONG i, LONG cxScreen, ULONG cQueuesPerScreen) {
    const ULONG ulCommand = q->pPacket[0];
    const std::ptrdiff_t iClip = 2 + KZ2_PKT_PID_COUNT(ulCommand) + KZ2_PKT_INSTR_COUNT(ulCommand);
    if (q->pWrite - q->pPacket < iClip + 2) return;  // no clip pair written
    ULONG* pClip = q->pPacket + iClip;
    const LONG xMax = static_cast<LONG>(pClip[1] & 0xFFFF);
    if (cxScreen >= xMax) return;
    const LONG xLast = kzuClipMaxIncluded(ulCommand) ? cxScreen - 1 : cxScreen;
    for (int k = 0; k < 2; ++k) {
        LONG x = static_cast<LONG>(pClip[k] & 0xFFFF);
        x = i >= cQueuesPerScreen ? std::max<LONG>(x - cxScreen, 0) : std::min(x, xLast);
        pClip[k] = (pClip[k] & 0xFFFF0000u) | static_cast<ULONG>(x);
    }
}

}  // namespace

void vClosePackets(KZ2QUEUEMGT qm) {
    const QUEUELAYOUT* pLayout = qm->pLayout;
    const PDEV* ppdev = pLayout->ppdevSelf;
    for (ULONG i = 0; i < pLayout->cQueues; ++i) {
        KZ2QUEUE* q = qm + i;
        // A stream closed for a wait takes nothing more before its restart.
        if (q->ulRestart != 0 || q->pWrite - q->pPacket <= 2) continue;
        ULONG ulControl = q->cPrims;
        if (pLayout->bSplitScreen) {
            ulControl |= q->ulScreenBits | q->ulExtraBits;
            if (q->pPacket[0] & KZ2_PKT_CLIP)
                vClampClip(q, i, ppdev->cxScreen, pLayout->cQueuesPerScreen);
        }
        q->pPacket[1] = ulControl;
        q->pStreamEnd = q->pWrite;
    }
}

extern "C" ULONG* kz2NewPacketQueue(KZ2QUEUEMGT qm, PVOID /*pvOwner*/, ULONG nPrims) {
    if (qm == nullptr) return nullptr;
    vHoldFlushThread(qm);
    // Any 2D drawing makes the remembered swap rectangle unequal to all.
    PDEV* ppdev = ppdevOf(qm);
    ppdev->rclSwap.left = 0;
    ppdev->rclSwap.right = 0;
    kz2FlushStreamRenderWaitRoom(
        qm, cbRoom(std::uint64_t{nPrims} * KZ2_PACKET_ROOM + KZ2_PACKET_SLACK));
    ULONG* p = pOpenPackets(qm);
    qm->fFresh = 1;
    return p;
}

extern "C" ULONG* kz2AllocQueue(KZ2QUEUEMGT qm, ULONG /*ulMask*/, ULONG cbRoomAsked,
                                ULONG /*ulArg4*/, ULONG /*ulArg5*/) {
    if (qm == nullptr || !bRingHolds(qm, cbRoomAsked, "kz2AllocQueue")) return nullptr;
    vHoldFlushThread(qm);
    kz2FlushStreamRenderWaitRoom(qm, cbRoom(std::uint64_t{cbRoomAsked} + KZ2_PACKET_SLACK));
    ULONG* p = pOpenPackets(qm);
    qm->fFresh = 0;
    return p;
}

extern "C" ULONG* kz2AllocFlushQueue(KZ2QUEUEMGT qm, ULONG /*ulMask*/, ULONG cbRoomAsked,
                                     PVOID pvArg1, PVOID pvArg2, PVOID pvArg3, BOOL bForce,
                                     PFN_KZ2FILL pfnFill) {
    if (qm == nullptr || !bRingHolds(qm, cbRoomAsked, "kz2AllocFlushQueue")) return nullptr;
    vHoldFlushThread(qm);
    const ULONG cQueues = cQueuesOf(qm);
    bool bNew =
        kz2FlushStreamRenderWaitRoom(qm, cbRoom(std::uint64_t{cbRoomAsked} + KZ2_PACKET_SLACK)) ||
        bForce || qm->fFresh;
    for (ULONG i = 0; i < cQueues && !bNew; ++i) bNew = !bCanContinue(qm + i);

    for (ULONG i = 0; i < cQueues; ++i) {
        KZ2QUEUE* q = qm + i;
        if (bNew) {
            // Without a fill the caller writes the header words itself.
            q->cbPrefix = pfnFill != nullptr ? pfnFill(pvArg1, q->pStreamEnd, pvArg2, pvArg3)
                                             : 2 * sizeof(ULONG);
            q->pPacket = q->pStreamEnd;
            q->cPrims = 0;
            q->pWrite = q->pStreamEnd + (q->cbPrefix & ~3u) / sizeof(ULONG);
        } else {
            // The last packet goes on; its count is kept.
            q->pWrite = q->pStreamEnd;
        }
    }
    KZ2QUEUE* pq = qm->pqCurrent;
    pq->pMark = pq->pWrite;
    qm->fFresh = 0;
    return pq->pWrite;
}

extern "C" ULONG kz2SoftUpdatePacketPtr(KZ2QUEUEMGT qm, ULONG* /*pEnd*/) {
    if (qm == nullptr) return 1;
    vHoldFlushThread(qm);
    vClosePackets(qm);
    return 1;
}

namespace {

// What kz2UpdatePacketPtr does once the packets are closed: a flush when
// the pointer code asked for one, else the kicks; then the flush thread
// may come in again.
void vHandOverClosed(KZ2QUEUEMGT qm, ULONG* pEnd) {
    // The pointer code raises the count from its own thread.
    std::atomic_ref<LONG> cFlushNow(ppdevOf(qm)->cFlushNow);
    if (cFlushNow.load() > 0) {
        kz2FlushStreamNoWait(qm, pEnd);
        cFlushNow.fetch_sub(1);
    } else {
        for (ULONG i = 0; i < cQueuesOf(qm); ++i) vKickQueue(qm + i);
    }
    vReleaseFlushThread(qm);
}

}  // namespace

extern "C" ULONG kz2UpdatePacketPtr(KZ2QUEUEMGT qm, PVOID /*pvOwner*/, ULONG* pEnd,
                                    ULONG /*ulArg4*/) {
    if (qm == nullptr) return 1;
    vHoldFlushThread(qm);
    vClosePackets(qm);
    vHandOverClosed(qm, pEnd);
    return 1;
}

BOOL bOpenOnePrimitive(KZ2QUEUEMGT qm, ULONG cWords) {
    if (qm == nullptr || cWords == 0 || cWords * sizeof(ULONG) > KZ2_PACKET_ROOM) return FALSE;
    vHoldFlushThread(qm);
    // The room check of kz2NewPacketQueue(qm, owner, 1) finds nothing to do
    // when no units wait to be switched on again and every queue is open
    // with room for its request; anything else is the general path's.
    if (qm->fReenable != 0) return FALSE;
    const std::ptrdiff_t cbAsked =
        std::max<std::ptrdiff_t>(KZ2_PACKET_ROOM + KZ2_PACKET_SLACK, KZ2_MIN_ROOM);
    for (ULONG i = 0; i < cQueuesOf(qm); ++i) {
        const KZ2QUEUE* q = qm + i;
        if (q->ulRestart != 0 || cbBetween(q->pStreamEnd, q->pRingLimit) < cbAsked) return FALSE;
    }
    // Any 2D drawing makes the remembered swap rectangle unequal to all.
    PDEV* ppdev = ppdevOf(qm);
    ppdev->rclSwap.left = 0;
    ppdev->rclSwap.right = 0;
    return TRUE;
}

void vCloseOnePrimitive(KZ2QUEUEMGT qm, ULONG ulCommand, ULONG cWords, ULONG vFirst) {
    const QUEUELAYOUT* pLayout = qm->pLayout;
    const ULONG cQueues = pLayout->cQueues;
    // The packet opens at each stream end and holds the one primitive.
    for (ULONG i = 0; i < cQueues; ++i) {
        KZ2QUEUE* q = qm + i;
        ULONG* p = q->pStreamEnd;
        p[0] = ulCommand;
        q->pPacket = p;
        q->pWrite = p + 2 + cWords;
        q->cPrims = 1;
    }
    qm->fFresh = 1;
    // The routing's choice of current queue: with one queue it stays; the
    // first primitive of a packet goes to every queue and the queue owning
    // vFirst's tile (on a split board of vFirst's screen) becomes current,
    // the one current before keeping its mark at its write pointer.
    KZ2QUEUE* pqBefore = qm->pqCurrent;
    KZ2QUEUE* pqAfter = pqBefore;
    if (cQueues != 1) {
        ULONG iQueue = qm->abTileQueue[KZ2_TILE_OF(vFirst)];
        if (pLayout->bSplitScreen &&
            static_cast<LONG>(vFirst & 0xFFFF) >= pLayout->ppdevSelf->cxScreen * 16)
            iQueue += pLayout->cQueuesPerScreen;
        pqAfter = qm + iQueue;
    }
    pqBefore->pMark = pqBefore->pWrite;
    pqAfter->pMark = pqAfter->pWrite;
    qm->pqCurrent = pqAfter;
    if (pLayout->bSplitScreen) {
        vClosePackets(qm);
    } else {
        for (ULONG i = 0; i < cQueues; ++i) {
            KZ2QUEUE* q = qm + i;
            q->pPacket[1] = 1;
            q->pStreamEnd = q->pWrite;
        }
    }
    vHandOverClosed(qm, pqAfter->pWrite);
}

extern "C" void kz2FlushPacket(KZ2QUEUEMGT qm) {
    if (qm == nullptr) return;
    vHoldFlushThread(qm);
    kz2FlushStreamNoWait(qm, nullptr);
}

extern "C" void kz2FlushQueue(KZ2QUEUEMGT qm, ULONG /*ulMask*/, ULONG** ppReset, ULONG* pRoom) {
    if (qm == nullptr) return;
    vHoldFlushThread(qm);
    kz2FlushStreamRenderWait(qm, nullptr);
    if (ppReset != nullptr) {
        pOpenPackets(qm);
        *ppReset = qm->pStreamEnd;
    }
    if (pRoom != nullptr) *pRoom = KZ2_RESET_ROOM;
    vReleaseFlushThread(qm);
}

extern "C" void kz2ConfigDisable(KZ2QUEUEMGT qm, ULONG flBits) {
    if (qm == nullptr) return;
    vHoldFlushThread(qm);
    flBits &= KZ2_CONFIG_UNITS;
    if ((flBits & ~qm->fDisabled) != 0) {
        kz2FlushStreamRenderWait(qm, nullptr);
        for (ULONG i = 0; i < cQueuesOf(qm); ++i) {
            BYTE* pRegs = qm[i].pRegs;
            const ULONG ul = VnxRegRead(pRegs, VNX_REG_CONFIG) & ~VNX_CONFIG_BUSY;
            VnxRegWrite(pRegs, VNX_REG_CONFIG, ul & ~flBits);
        }
        qm->fDisabled |= flBits;
    }
    qm->fReenable &= ~flBits;
    vReleaseFlushThread(qm);
}

extern "C" void kz2ConfigEnable(KZ2QUEUEMGT qm) {
    if (qm == nullptr) return;
    vHoldFlushThread(qm);
    qm->fReenable |= qm->fDisabled;
    vReleaseFlushThread(qm);
}
