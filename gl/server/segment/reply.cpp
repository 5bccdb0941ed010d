// The reply writer of single requests: the 32-byte reply goes into the
// half's header, its data inline at the read offset or, when it does not fit
// under the limit, into client memory at clientData.
#include <cstring>

#include "dispatch/dispatch.h"
#include "seams.h"

namespace {

// Replies written so far (every call of the server runs under the display
// driver's escape lock): a single request that wrote none gets its empty
// answer after its handler.
ULONG gcReplies = 0;

}  // namespace

ULONG __glXRepliesSent(void) { return gcReplies; }

void __glXSendValues(const GLClient* pgc, const void* pvValues, ULONG cjValue, ULONG cValues) {
    xGLXSingleReply rp = __glXReplyHeader(pgc);
    rp.size = cValues;
    const ULONG cj = cjValue * cValues;
    if (cValues == 1 && cj <= 8) {
        std::memcpy(&rp.pad3, pvValues, cj);
        __glXSendReply(&rp, sizeof rp, nullptr, 0);
        return;
    }
    rp.length = (cj + 3) / 4;
    __glXSendReply(&rp, sizeof rp, pvValues, rp.length * 4);
}

ULONG __glXSendReply(const void* pvReply, ULONG cjReply, const void* pvData, ULONG cjData) {
    GLClient* pgc = pgcCurrent();
    SMHalf half;
    if (pgc == nullptr || !bHalfOf(pgc, &half)) return 1;
    ++gcReplies;
    SMSegmentHeader* ph = half.pHeader;
    if (cjReply > sizeof ph->reply) {
        vSetShared(&ph->status, SM_STATUS_INVALID);
        return 1;
    }
    std::memcpy(ph->reply, pvReply, cjReply);
    vSetShared(&ph->replyInClientMemory, 0);
    if (cjData == 0) return 1;
    const ULONG cjLimit = ulShared(&ph->limit);
    if (std::uint64_t{cjData} + sizeof(xGLXSingleReply) > cjLimit) {
        if (!__glWriteClientMemory(ulShared(&ph->clientData), pvData, cjData))
            vSetShared(&ph->status, SM_STATUS_INVALID);
        vSetShared(&ph->replyInClientMemory, 1);
        return 1;
    }
    // Inline: behind the header and inside the half, wherever the client
    // put its read offset.
    const ULONG offRead = ulShared(&ph->readOffset);
    if (offRead < sizeof(SMSegmentHeader) || offRead > half.cjHalf ||
        cjData > half.cjHalf - offRead || pvData == nullptr) {
        vSetShared(&ph->status, SM_STATUS_INVALID);
        return 1;
    }
    std::memcpy(half.pjBase + offRead, pvData, cjData);
    return 1;
}
