// The common path of every state call: a primitive kept open after glEnd is
// closed first, so that the call runs after it on the server; a thread
// without a render buffer sends nothing; and an open batch either refuses
// the call (GL_INVALID_OPERATION, the first error recorded sticks) or, for
// the calls GL allows between glBegin and glEnd, goes on as plain commands
// so that the call lands among its vertices.
#include "state.h"

namespace st {

ThreadBlock* pStateBlock(Inside inside) {
    if (inside == Inside::LET) return pFlushBatchForList();
    ThreadBlock* ptb = CurrentThreadBlockFast();
    if (ptb == nullptr || ptb->primState == nullptr) return nullptr;
    if (ptb->primState->endPending != 0) EndPendingPrimitive(ptb);
    if (ptb->half == nullptr) return nullptr;
    ClientContext* cc = ptb->context;
    if (cc != nullptr && cc->batching != 0) {
        vSetClientError(cc, GL_INVALID_OPERATION);
        return nullptr;
    }
    return ptb;
}

}  // namespace st
