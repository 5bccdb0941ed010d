// Feedback: the buffer record (N_ATTR_FEEDBACK_BUFFER: size in values, address, values
// counted, last pass-through value), its start and end, and pass-through
// tokens; and the two queue kicks the GL layer's Flush and Finish use.
#include <bit>
#include <cstring>

#include "3d/context/context.h"
#include "3d/queue/queue.h"
#include "../../seams.h"

namespace {

constexpr ULONG kPassThroughToken = 0x44e00000u;  // 1792.0

}  // namespace

N_FeedbackRecord _NFeedbackRecordOf(N_Context* pctx) {
    N_FeedbackRecord r;
    std::memcpy(&r, pulAttr(pctx, N_ATTR_FEEDBACK_BUFFER), sizeof r);
    return r;
}

void _NFeedbackPut(N_Context* pctx, N_FeedbackRecord* pr, float value) {
    if (pctx->pFeedbackBuffer != nullptr && pr->count < pr->size) pctx->pFeedbackBuffer[pr->count] = value;
    if (pr->count != 0xFFFFFFFFu) pr->count += 1;
}

void _NFeedbackDone(N_Context* pctx, const N_FeedbackRecord& r) {
    std::memcpy(pulAttr(pctx, N_ATTR_FEEDBACK_BUFFER), &r, sizeof r);
    if (pctx->pfnFeedbackFlush != nullptr) pctx->pfnFeedbackFlush(pctx, pctx->pFeedbackBuffer, r.count);
}

void N_BeginFeedback(float* pBuffer, ULONG cWords, ULONG iType) {
    if (!bNHaveContext()) return;
    N_Context* pctx = gpNCurrent;
    pctx->feedbackType = iType;
    pctx->pFeedbackBuffer = pBuffer;
    N_FeedbackRecord r = _NFeedbackRecordOf(pctx);
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
    const N_FeedbackRecord r = _NFeedbackRecordOf(pctx);
    if (pcValues != nullptr) *pcValues = r.count > r.size ? -1 : static_cast<LONG>(r.count);
    N_SetStateBlockAttrWord(N_ATTR_RENDER_MODE, N_RENDER_MODE_RENDER);
}

void N_PassThrough(float value) {
    if (!bNHaveContext()) return;
    N_Context* pctx = gpNCurrent;
    N_Finish();
    N_FeedbackRecord r = _NFeedbackRecordOf(pctx);
    r.lastPassThrough = __glXFloatBits(value);
    N_SetStateBlockAttr(N_ATTR_FEEDBACK_BUFFER, &r);
    // Both values are counted, stored or not, so that a token whose value
    // did not fit ends feedback as an overflow.
    _NFeedbackPut(pctx, &r, std::bit_cast<float>(kPassThroughToken));
    _NFeedbackPut(pctx, &r, value);
    _NFeedbackDone(pctx, r);
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
