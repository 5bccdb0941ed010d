// The pending primitive batch of a context: every handler that changes
// state, draws or reads back first hands the batch its Begin/End requests
// filled to the lgi layer, so that what it does comes after them. Handed
// batches wait on the context's retiring list until the lgi layer reports
// them done.
#include <atomic>

#include "dispatch/dispatch.h"
#include "lgi/lgi.h"
#include "seams.h"

std::atomic<ULONG> __glXLastDispatchId{0};

namespace {
constexpr ULONG kFreeAtOnce = 0xFFFFFFFFu;  // a dispatch id that needs no waiting
}  // namespace

void __glXFlushPending(GLClient* pgc) {
    GLContext* gc = pgc != nullptr ? pgc->gc : nullptr;
    if (gc == nullptr || gc->pPending == nullptr) return;
    __GLXpacketBuffer* pBatch = gc->pPending;
    if (pBatch->target != GLX_PACKETS_IMMEDIATE) return;  // a display list's batch
    const ULONG id = __glXDispatchPending(pgc, pBatch);
    gc->pPending = nullptr;
    if (id == kFreeAtOnce) {
        __glXFreePending(pgc, pBatch);
    } else {
        __glXQueuePending(pgc, pBatch);
    }
}

ULONG __glXDispatchPending(GLClient* pgc, __GLXpacketBuffer* pBatch) {
    GLContext* gc = pgc->gc;
    if (gc->dirty != 0) __glXValidateDraw(gc);
    const ULONG cjUsed = pBatch->cjUsed;
    const ULONG cWords = cjUsed > GLX_PACKET_HEADER ? (cjUsed - GLX_PACKET_HEADER) / 4 : 0;
    const auto* pWords = reinterpret_cast<const ULONG*>(reinterpret_cast<const BYTE*>(pBatch) +
                                                       GLX_PACKET_HEADER);
    const ULONG id = N_DispatchPackets(pWords, cWords);
    pBatch->token = id;
    __glXLastDispatchId.store(id);
    return id;
}

void __glXQueuePending(GLClient* pgc, __GLXpacketBuffer* pBatch) {
    __glXReapPending(pgc);
    pBatch->pNext = nullptr;
    __GLXpacketBuffer** pp = &pgc->gc->pRetiring;
    while (*pp != nullptr) pp = &(*pp)->pNext;
    *pp = pBatch;
}

void __glXReapPending(GLClient* pgc) {
    GLContext* gc = pgc->gc;
    while (gc->pRetiring != nullptr && N_PacketsDone(gc->pRetiring->token)) {
        __GLXpacketBuffer* pDone = gc->pRetiring;
        gc->pRetiring = pDone->pNext;
        __glXFreePending(pgc, pDone);
    }
}

void __glXWaitPending(GLClient* pgc) {
    GLContext* gc = pgc != nullptr ? pgc->gc : nullptr;
    if (gc == nullptr) return;
    while (gc->pRetiring != nullptr) __glXReapPending(pgc);
}

void __glXFreePending(GLClient*, __GLXpacketBuffer* pBatch) {
    if (pBatch != nullptr && pBatch->target == GLX_PACKETS_IMMEDIATE) LocalFree(pBatch);
}
