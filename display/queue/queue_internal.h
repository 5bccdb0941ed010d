// What the queue files share and nothing outside them uses: the wait limit,
// the hold-off of the flush thread, ring arithmetic and the stream steps.
#pragma once

#include "queue/queue.h"

// How long a wait polls before it gives the board up (KZ2_WAIT_LIMIT_MS
// unless a test shortens it).
void vSetQueueWaitLimit(DWORD dwMilliseconds);
DWORD dwQueueWaitLimit(void);

// Keeps the flush thread out of the queues: fAutoFlush = 0, then yields
// until the thread is outside its flush step. The store must be visible
// before fIdle is read, or both sides could read the other's old value; the
// flush thread pays for that (queue_thread.cpp: FlushProcessWriteBuffers
// between its store and its read), so here the compiler barrier that keeps
// the store before the read is all it takes. Queue operations are
// serialised, and only they write fAutoFlush: when it is 0 already, an
// earlier operation holds the thread and saw it outside its step, and every
// later step reads the 0, so there is nothing to wait for.
inline void vHoldFlushThread(KZ2QUEUEMGT qm) {
    if (qm->fAutoFlush.load(std::memory_order_relaxed) == 0) return;
    qm->fAutoFlush.store(0, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    // Acquire: a step that ended left its stream words for us to see.
    while (qm->fIdle.load(std::memory_order_acquire) == 0) Sleep(0);
}
// Lets the flush thread in again. A release store is all it takes: the
// thread reads fAutoFlush with acquire, so when it sees 1 it sees every word
// the operation wrote before; no barrier is needed for a store that only
// opens the door.
inline void vReleaseFlushThread(KZ2QUEUEMGT qm) { qm->fAutoFlush.store(1, std::memory_order_release); }

// Record 0 of the array that holds q, and q's index in it.
inline KZ2QUEUE* pqmOf(const KZ2QUEUE* q) { return q->pLayout->ppdevSelf->pqm; }
inline ULONG iQueueOf(const KZ2QUEUE* q) { return static_cast<ULONG>(q - pqmOf(q)); }

// Bus address of a word of q's ring.
inline ULONG ulBusOf(const KZ2QUEUE* q, const ULONG* p) {
    return q->ulRingBus + static_cast<ULONG>(reinterpret_cast<const BYTE*>(p) -
                                             reinterpret_cast<const BYTE*>(q->pRingStart));
}
// Signed byte distance from a to b.
inline std::ptrdiff_t cbBetween(const ULONG* a, const ULONG* b) {
    return reinterpret_cast<const BYTE*>(b) - reinterpret_cast<const BYTE*>(a);
}
inline bool bLineAligned(const ULONG* p) {
    return reinterpret_cast<std::uintptr_t>(p) % KZ2_LINE_BYTES == 0;
}
inline ULONG* pLineDown(ULONG* p) {
    return reinterpret_cast<ULONG*>(reinterpret_cast<std::uintptr_t>(p) &
                                    ~std::uintptr_t{KZ2_LINE_BYTES - 1});
}

// Stream steps of one queue (queue_stream.cpp).
// Writes an empty packet at p (not advancing anything).
void vWriteEmptyPacket(ULONG* p);
// NOPs from p to the next line, 64 NOPs and an empty packet; pStreamEnd =
// pKicked = pPacket = pWrite = that packet; the write pointer moves there
// when fHwEnabled.
void vHandOver(KZ2QUEUE* q, ULONG* p);
// Ends q's stream at pStreamEnd ({1, 0}, NOPs to the line, the close record,
// {END, 1, 0, END} and the fill marks), moves the write pointer past it and
// sets the restart word: the board reads nothing more until the restart.
// pStreamEnd = pPacket = pWrite = after the record (nothing is open). A
// queue still at its ring start (pSyncWord = 0), or already closed, is left
// as it is.
void vCloseQueue(KZ2QUEUE* q);
// The kick of kz2UpdatePacketPtr: hands q's whole lines to the board once
// more than 512 new bytes lie behind pKicked. When it pads a stream end on
// a line start with two NOPs, pPacket = pWrite = the new stream end.
void vKickQueue(KZ2QUEUE* q);
// Milliseconds of a steady clock (the wait limit must not follow a test's
// manual tick count).
std::uint64_t ullPollClock(void);
// Says on the debugger that a wait gave the board up.
void vReportNoAnswer(const char* pszFunction, const char* pszTag);
// Polls with kz2PollWait until done() answers true; FALSE (with one line on
// the debugger naming the function and the wait) when the board does not
// answer within the wait limit.
template <typename Done>
BOOL bPollBoard(KZ2QUEUE* q, const char* pszFunction, const char* pszTag, Done done) {
    const std::uint64_t ullStart = ullPollClock();
    for (ULONG n = 0;; ++n) {
        if (done()) return TRUE;
        kz2PollWait(q, n, pszTag);
        if (n % 1024 == 1023 && ullPollClock() - ullStart >= dwQueueWaitLimit()) {
            if (done()) return TRUE;
            vReportNoAnswer(pszFunction, pszTag);
            return FALSE;
        }
    }
}
// Reads a word the board writes (a sync word).
inline ULONG ulBoardWord(const ULONG* p) { return *static_cast<const volatile ULONG*>(p); }
// Closes and control-words the open packet of every queue (the split-screen
// clip clamp included); the soft close of the update calls.
void vClosePackets(KZ2QUEUEMGT qm);
