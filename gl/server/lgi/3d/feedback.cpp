// Feedback: the buffer record (attribute 36: size in values, address, values
// counted, last pass-through value), its start and end, and pass-through
// tokens; and the two queue kicks the GL layer's Flush and Finish use.
#include <cstring>

#include "context.h"
#include "queue.h"
#include "../seams.h"

namespace {

constexpr ULONG kPassThroughToken = 0x44e00000u;  // 1792.0

struct FeedbackRecord {
    ULONG size;
    ULONG address;
    ULONG count;
    ULONG lastPassThrough;
};

FeedbackRecord recordOf(N_Context* pctx) {
    FeedbackRecord r;
    std::memcpy(&r, pulAttr(pctx, N_ATTR_FEEDBACK_BUFFER), sizeof r);
    return r;
}

}  // namespace

void N_BeginFeedback(float* pBuffer, ULONG cWords, ULONG iType) {
    if (!bNHaveContext()) return;
    N_Context* pctx = gpNCurrent;
    pctx->feedbackType = iType;
    pctx->pFeedbackBuffer = pBuffer;
    FeedbackRecord r = recordOf(pctx);
    r.size = cWords;
    r.address = static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(pBuffer));
    r.count = 0;
    N_SetStateBlockAttr(N_ATTR_FEEDBACK_BUFFER, &r);
    N_SetStateBlockAttrWord(N_ATTR_RENDER_MODE, N_RENDER_MODE_FEEDBACK);
}

void N_EndFeedback(LONG* pcValues) {
    if (!bNHaveContext()) {
        if (pcValues != nullptr) *pcValues = 0;
        return;
    }
    N_Context* pctx = gpNCurrent;
    N_Finish();  // values are counted as primitives pass the pipeline
    const FeedbackRecord r = recordOf(pctx);
    if (pcValues != nullptr) *pcValues = r.count > r.size ? -1 : static_cast<LONG>(r.count);
    N_SetStateBlockAttrWord(N_ATTR_RENDER_MODE, N_RENDER_MODE_RENDER);
}

void N_PassThrough(float value) {
    if (!bNHaveContext()) return;
    N_Context* pctx = gpNCurrent;
    N_Finish();
    FeedbackRecord r = recordOf(pctx);
    r.lastPassThrough = __glXFloatBits(value);
    float* pf = pctx->pFeedbackBuffer;
    // Both values are counted, stored or not, so that a token whose value
    // did not fit ends feedback as an overflow.
    const ULONG aul[2] = {kPassThroughToken, __glXFloatBits(value)};
    for (ULONG k = 0; k < 2; ++k) {
        if (pf != nullptr && r.count < r.size) std::memcpy(pf + r.count, &aul[k], 4);
        if (r.count != 0xFFFFFFFFu) r.count += 1;
    }
    N_SetStateBlockAttr(N_ATTR_FEEDBACK_BUFFER, &r);
}

void N_Flush(void) {
    if (!bNHaveContext()) return;
    N_HwRecord* phw = gpNCurrent->pHw;
    if (phw != nullptr && phw->qm != nullptr) kz2FlushPacket(phw->qm);
}

void N_Finish(void) {
    if (!bNHaveContext()) return;
    N_HwRecord* phw = gpNCurrent->pHw;
    if (phw != nullptr) _NFlushQ(phw, &phw->pStreamReset, &phw->batchCount);
}
