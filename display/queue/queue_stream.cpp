// The stream words of the queues and what hands them to the board: empty
// packets, hand-overs, kicks, queue close records, wraps, render waits and
// restarts, the room check, the sync packet and the sync wait, and the
// bounded polls behind every wait.
#include <atomic>
#include <chrono>

#include "queue/queue_internal.h"

namespace {

std::atomic<DWORD> gdwWaitLimit{KZ2_WAIT_LIMIT_MS};

// When a busy wait last passed its 1000th poll. One note for all waits: a
// wait that starts on another thread meanwhile only moves the next yield
// later. The driver keeps no thread-local storage, as a module that is
// loaded and unloaded while threads live should not.
std::atomic<DWORD> gdwPollNote{0};

void vWriteRegister(KZ2QUEUE* q, ULONG ulOffset, ULONG ulValue) {
    VnxRegWrite(q->pRegs, ulOffset, ulValue);
}

// Whether q's stream end lies fewer than cb bytes before limit.
bool bPasses(const KZ2QUEUE* q, const ULONG* pLimit, std::uint64_t cb) {
    const std::ptrdiff_t cbLeft = cbBetween(q->pStreamEnd, pLimit);
    return cbLeft < 0 || static_cast<std::uint64_t>(cbLeft) < cb;
}

// Sets bits in (or clears them from) every rasterizer's configuration
// register; the busy bit is never written.
void vConfigUnits(KZ2QUEUEMGT qm, ULONG flBits, bool bOn) {
    for (ULONG i = 0; i < cQueuesOf(qm); ++i) {
        BYTE* pRegs = qm[i].pRegs;
        ULONG ul = VnxRegRead(pRegs, VNX_REG_CONFIG) & ~VNX_CONFIG_BUSY;
        ul = bOn ? (ul | flBits) : (ul & ~flBits);
        VnxRegWrite(pRegs, VNX_REG_CONFIG, ul);
    }
}

// Closes every queue that holds words; answers the mask of the closed ones.
ULONG flCloseAll(KZ2QUEUEMGT qm) {
    ULONG flClosed = 0;
    for (ULONG i = 0; i < cQueuesOf(qm); ++i) {
        KZ2QUEUE* q = qm + i;
        if (q->pStreamEnd == q->pRingStart && q->ulRestart == 0) {
            q->pSyncWord = nullptr;
            continue;
        }
        vCloseQueue(q);
        flClosed |= 1u << i;
    }
    return flClosed;
}

void vRenderWaitAll(KZ2QUEUEMGT qm, ULONG flQueues) {
    for (ULONG i = 0; i < cQueuesOf(qm); ++i) {
        if (flQueues & (1u << i)) kz2FlushStreamRenderWaitReally(qm + i, nullptr);
    }
}

}  // namespace

void vSetQueueWaitLimit(DWORD dwMilliseconds) { gdwWaitLimit.store(dwMilliseconds); }
DWORD dwQueueWaitLimit(void) { return gdwWaitLimit.load(); }

std::uint64_t ullPollClock(void) {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void vReportNoAnswer(const char* pszFunction, const char* pszTag) {
    DbgPrint("%s: the board did not answer (%s)\n", pszFunction, pszTag);
}

void vWriteEmptyPacket(ULONG* p) {
    p[0] = KZ2_CMD_EMPTY;
    p[1] = 0;
    p[2] = KZ2_CMD_END;
    p[3] = KZ2_FILL_MARK0;
    p[4] = KZ2_FILL_MARK1;
    p[5] = KZ2_FILL_MARK2;
}

void vHandOver(KZ2QUEUE* q, ULONG* p) {
    while (!bLineAligned(p)) *p++ = KZ2_CMD_NOP;
    for (ULONG i = 0; i < KZ2_HANDOVER_NOPS; ++i) *p++ = KZ2_CMD_NOP;
    vWriteEmptyPacket(p);
    q->pStreamEnd = q->pKicked = p;
    // Nothing is open now: closing again without opening changes nothing.
    q->pPacket = q->pWrite = p;
    if (q->fHwEnabled) vWriteRegister(q, VNX_REG_WRITE_PTR, ulBusOf(q, p));
}

void vCloseQueue(KZ2QUEUE* q) {
    // A stream that already ends in a close record stays as it is: the board
    // stops at its END and reads nothing more before the restart.
    if (q->ulRestart != 0) return;
    if (q->pStreamEnd == q->pRingStart) {
        q->pSyncWord = nullptr;
        return;
    }
    ULONG* p = q->pStreamEnd;
    *p++ = KZ2_CMD_EMPTY;
    *p++ = 0;
    while (!bLineAligned(p)) *p++ = KZ2_CMD_NOP;

    // The close record: one transfer that clears its own second word.
    const KZ2QUEUE* qm = pqmOf(q);
    const ULONG i = iQueueOf(q);
    p[0] = KZ2_CMD_CLOSE;
    p[1] = 1;
    p[2] = (qm->ayTileOrigin[i] << 16) | qm->axTileOrigin[i];
    p[3] = ppdevOf(q)->pidScreen;
    p[4] = ulBusOf(q, p + 1);
    p[5] = KZ2_CLOSE_DESCRIPTOR;
    q->pSyncWord = p + 1;
    q->ulRestart = 1;
    p += 6;
    // Nothing is open after the record: a later close must not take the
    // record for a packet and write a count over its sync word.
    q->pPacket = q->pWrite = q->pStreamEnd = p;

    p[0] = KZ2_CMD_END;
    p[1] = KZ2_CMD_EMPTY;
    p[2] = 0;
    p[3] = KZ2_CMD_END;
    p[4] = KZ2_FILL_MARK0;
    p[5] = KZ2_FILL_MARK1;
    p[6] = KZ2_FILL_MARK2;
    // One to two lines past the END, where the board stops anyway.
    q->pKicked = reinterpret_cast<ULONG*>((reinterpret_cast<std::uintptr_t>(p) + 0x103) &
                                          ~std::uintptr_t{0x7F});
    vWriteRegister(q, VNX_REG_WRITE_PTR, ulBusOf(q, q->pKicked));
}

void vKickQueue(KZ2QUEUE* q) {
    if (cbBetween(q->pKicked, q->pStreamEnd) <= static_cast<std::ptrdiff_t>(KZ2_KICK_BYTES)) return;
    if (bLineAligned(q->pStreamEnd)) {
        q->pStreamEnd[0] = KZ2_CMD_NOP;
        q->pStreamEnd[1] = KZ2_CMD_NOP;
        q->pStreamEnd += 2;
        // The NOPs follow the last packet, which can no longer go on: nothing
        // is open now (the next kz2AllocFlushQueue opens new packets).
        q->pPacket = q->pWrite = q->pStreamEnd;
    }
    ULONG* pAligned = pLineDown(q->pStreamEnd);
    if (pAligned > q->pKicked) {
        vWriteEmptyPacket(q->pStreamEnd);
        q->pKicked = pAligned;
        if (q->fHwEnabled) vWriteRegister(q, VNX_REG_WRITE_PTR, ulBusOf(q, pAligned));
    }
}

extern "C" ULONG kz2PollWait(KZ2QUEUE* /*q*/, ULONG n, const char* /*pszTag*/) {
    if (n < 1000) return 1;
    if (n == 1000) {
        gdwPollNote.store(GetTickCount(), std::memory_order_relaxed);
    } else if (n % 1000 == 0 && GetTickCount() - gdwPollNote.load(std::memory_order_relaxed) >= 50) {
        Sleep(0);
    }
    return 1;
}

extern "C" void kz2FlushStreamNoWaitReally(KZ2QUEUE* q, ULONG* pEnd) {
    if (q->pKicked == pEnd) return;
    if (q->ulRestart != 0 || bPasses(q, q->pRingLimit, KZ2_KICK_BYTES)) {
        // Too near the ring's end, or already closed: close it, wait and
        // start again from the ring start.
        vCloseQueue(q);
        kz2FlushStreamRenderWaitReally(q, nullptr);
        return;
    }
    vHandOver(q, pEnd);
}

extern "C" void kz2FlushStreamNoWait(KZ2QUEUEMGT qm, ULONG* /*pEnd*/) {
    if (qm == nullptr) return;
    for (ULONG i = 0; i < cQueuesOf(qm); ++i) kz2FlushStreamNoWaitReally(qm + i, qm[i].pStreamEnd);
}

extern "C" void kz2FlushStreamRenderWaitReally(KZ2QUEUE* q, ULONG* /*pEnd*/) {
    static const char kszFunction[] = "kz2FlushStreamRenderWaitReally";
    // A queue without a pending sync word (never closed) has nothing to poll
    // there; the busy bit and the read pointer still tell when it is idle.
    BOOL bAnswered = TRUE;
    if (q->pSyncWord != nullptr) {
        const ULONG* pSync = q->pSyncWord;
        bAnswered =
            bPollBoard(q, kszFunction, "kz2SyncDMA", [pSync] { return ulBoardWord(pSync) == 0; });
    }
    q->pSyncWord = nullptr;
    if (bAnswered) {
        bAnswered = bPollBoard(q, kszFunction, "RenderWait2", [q] {
            return (VnxRegRead(q->pRegs, VNX_REG_CONFIG) & VNX_CONFIG_BUSY) == 0;
        });
    }
    if (bAnswered) {
        bPollBoard(q, kszFunction, "RenderWait3", [q] {
            return VnxRegRead(q->pRegs, VNX_REG_READ_PTR) ==
                   VnxRegRead(q->pRegs, VNX_REG_WRITE_PTR);
        });
    }
    // Restart at the ring start, also after a board that gave no answer, so
    // the queue stays usable.
    q->pStreamEnd = q->pKicked = q->pRingStart;
    q->pPacket = q->pWrite = q->pRingStart;
    vWriteEmptyPacket(q->pRingStart);
    vWriteRegister(q, VNX_REG_WRITE_PTR, q->ulRingBus);
    vWriteRegister(q, VNX_REG_READ_PTR, q->ulRingBus);
    q->ulRestart = 0;
    q->fHwEnabled = 1;
}

extern "C" void kz2FlushStreamRenderWait(KZ2QUEUEMGT qm, ULONG* /*pEnd*/) {
    if (qm == nullptr) return;
    vRenderWaitAll(qm, flCloseAll(qm));
    if (qm->fReenable != 0) {
        vConfigUnits(qm, qm->fReenable, true);
        qm->fDisabled &= ~qm->fReenable;
        qm->fReenable = 0;
    }
}

extern "C" ULONG kz2FlushStreamRenderWaitRoom(KZ2QUEUEMGT qm, ULONG cb) {
    if (qm == nullptr) return 0;
    const ULONG cQueues = cQueuesOf(qm);
    if (cb <= KZ2_MIN_ROOM) cb = KZ2_MIN_ROOM;

    // While units wait to be switched on again, a queue near its ring start
    // is drained early on boards with wide pages, so the units come back soon.
    if (qm->fReenable != 0) {
        const ULONG ulXCode = (VnxRegRead(qm->pRegs, VNX_REG_TILE_OWNER) >> 9) & 3u;
        for (ULONG i = 0; i < cQueues; ++i) {
            const KZ2QUEUE* q = qm + i;
            const ULONG* pLimit = q->pRingLimit;
            if (ulXCode != 0 && cbBetween(q->pRingStart, q->pRingLimit) > KZ2_NEAR_ROOM_BYTES)
                pLimit = q->pRingStart + KZ2_NEAR_ROOM_BYTES / sizeof(ULONG);
            if (bPasses(q, pLimit, cb)) {
                kz2FlushStreamRenderWait(qm, nullptr);
                return 1;
            }
        }
    }

    // A closed stream takes nothing more before its restart, so it counts as
    // full.
    bool bShort = false;
    for (ULONG i = 0; i < cQueues && !bShort; ++i)
        bShort = qm[i].ulRestart != 0 || bPasses(qm + i, qm[i].pRingLimit, cb);
    if (!bShort) return 0;

    for (ULONG i = 0; i < cQueues; ++i) {
        KZ2QUEUE* q = qm + i;
        q->flRestart &= ~1u;
        if (q->pStreamEnd == q->pRingStart && q->ulRestart == 0) continue;
        if (q->ulRestart != 0 || bPasses(q, q->pRingLimit, std::uint64_t{cb} + KZ2_KICK_BYTES)) {
            vCloseQueue(q);
            q->flRestart |= 1u;
        } else {
            vHandOver(q, q->pStreamEnd);
        }
    }
    for (ULONG i = 0; i < cQueues; ++i) {
        if (qm[i].flRestart & 1u) kz2FlushStreamRenderWaitReally(qm + i, nullptr);
    }
    return 1;
}

void KZ2WriteSyncCmd(KZ2QUEUEMGT qm) {
    if (qm == nullptr) return;
    kz2NewPacketQueue(qm, reinterpret_cast<PVOID>(&KZ2WriteSyncCmd), 1);
    for (ULONG i = 0; i < cQueuesOf(qm); ++i) {
        KZ2QUEUE* q = qm + i;
        ULONG* p = q->pPacket;
        p[0] = KZ2_CMD_EMPTY;
        p[1] = 0;
        p[2] = KZ2_CMD_SYNC;
        vHandOver(q, p + 3);
    }
}

void kz2SyncDMA(KZ2QUEUEMGT qm) {
    if (qm == nullptr) return;
    vHoldFlushThread(qm);
    for (ULONG i = 0; i < cQueuesOf(qm); ++i) {
        KZ2QUEUE* q = qm + i;
        if (q->pSyncWord == nullptr) continue;
        const ULONG* pSync = q->pSyncWord;
        bPollBoard(q, "kz2SyncDMA", "kz2SyncDMA func", [pSync] { return ulBoardWord(pSync) == 0; });
        q->pSyncWord = nullptr;
    }
    vRenderWaitAll(qm, flCloseAll(qm));
    vReleaseFlushThread(qm);
}

void vCloseAllQueuePackets(KZ2QUEUEMGT qm) {
    if (qm == nullptr) return;
    // The step writes stream words and write pointers: the flush thread stays
    // out, and stays held until the next releasing call.
    vHoldFlushThread(qm);
    flCloseAll(qm);
}
