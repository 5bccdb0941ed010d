// The batch's command records: one row per command word saying its size,
// whether it must end the batch, whether it needs the current context, and
// its handler. The drawing behind the commands is empty in this driver:
// what runs is the validation and the bookkeeping.
#include <algorithm>
#include <cstring>

#include "batch/batch_internal.h"
#include "cliprects.h"

namespace {

// The largest record: a state command with 124 bytes of extra words.
constexpr ULONG kMaxRecordWords = 34;

typedef BOOL (*PFN_COMMAND)(BATCHFRAME* pbf, const ULONG* pul);
// Bytes of extra words a record carries beyond its fixed size.
typedef ULONG (*PFN_EXTRA)(const ULONG* pul);

struct COMMANDROW {
    ULONG cj;            // record size; 0: the command is refused
    BOOL bEnds;          // the batch must end right after the record
    BOOL bContext;       // needs the current context
    PFN_COMMAND pfn;
    PFN_EXTRA pfnExtra;  // null: no extra words
};

// --- the (empty) drawing hooks ------------------------------------------------------

void vSpanHook(BATCHFRAME*, ULONG /*iBuffer*/, const RECTL& /*rcl*/, const BYTE* /*pjData*/,
               LONG /*lStride*/) {}
void vStateHook(BATCHFRAME*, const ULONG* /*pul*/) {}
void vDepthHook(BATCHFRAME*, const ULONG* /*pul*/) {}

// --- commands -------------------------------------------------------------------------

BOOL bDeleteContext(BATCHFRAME* pbf, const ULONG* pul) {
    const HDRVOBJ h = pul[1];
    if (pbf->pwt == nullptr || h == 0 || h != pbf->phdr->hrc) return FALSE;
    pbf->prc = nullptr;  // it names this context, which goes now
    return cDeleteContexts(pbf->pwt, h) != 0;
}

BOOL bContextOp(BATCHFRAME* pbf, const ULONG* pul) {
    const ULONG iOp = pul[1];
    if (iOp < 1 || iOp > 7) return FALSE;
    return pbf->prc->apfnOp[iOp - 1](pbf, pbf->prc);
}

BOOL bFlags(BATCHFRAME*, const ULONG* pul) { return (pul[1] & ~0x101u) == 0; }

// A buffer kind the context has: the back buffer when bit 1 asks for it.
BOOL bBufferKind(const BATCHRC* prc, ULONG iBuffer) {
    if (iBuffer < BATCH_BUFFER_FRONT || iBuffer > BATCH_BUFFER_DEPTH) return FALSE;
    return (iBuffer & 2) == 0 || prc->fBackBuffer;
}

BOOL bBufferWalk(BATCHFRAME* pbf, const ULONG* pul) {
    if (!bBufferKind(pbf->prc, pul[1])) return FALSE;
    // The walk over the visible list draws nothing here.
    return TRUE;
}

BOOL bNop(BATCHFRAME*, const ULONG*) { return TRUE; }

// Query replies: the words written at their byte offsets, and the least
// output size each needs.
struct QUERYWORD {
    ULONG off;
    ULONG ul;
};
const QUERYWORD gaQuery1[] = {{0, 1}, {4, 0}, {8, 1}};
const QUERYWORD gaQuery2[] = {{0, 2},  {4, 4},  {8, 8},  {12, 8}, {16, 8}, {20, 0}, {24, 16},
                              {28, 8}, {32, 0}, {36, 0}, {44, 24}, {48, 4}, {52, 0}};
const QUERYWORD gaQuery45[] = {{0, 12}, {4, 2},  {8, 255}, {12, 0}, {16, 0}, {20, 0}, {24, 1},
                               {28, 0}, {32, 0}, {36, 0},  {40, 0}, {44, 0}, {60, 2}, {64, 0}};
const QUERYWORD gaQuery7[] = {{0, 0},  {4, 2},  {8, 0},  {12, 0}, {16, 0}, {20, 0}, {24, 0},
                              {28, 0}, {32, 0}, {36, 0}, {40, 0}, {44, 0}, {64, 0}};

struct QUERYROW {
    ULONG iQuery;
    ULONG cjMin;
    const QUERYWORD* pqw;  // null: the query fails even with room
    ULONG c;
};
#define QUERY_WORDS(a) a, sizeof(a) / sizeof(a[0])
const QUERYROW gaQueries[] = {
    {1, 212, QUERY_WORDS(gaQuery1)}, {2, 76, QUERY_WORDS(gaQuery2)},
    {3, 68, nullptr, 0},             {4, 68, QUERY_WORDS(gaQuery45)},
    {5, 68, QUERY_WORDS(gaQuery45)}, {6, 68, nullptr, 0},
    {7, 68, QUERY_WORDS(gaQuery7)},
};

BOOL bQuery(BATCHFRAME* pbf, const ULONG* pul) {
    for (const QUERYROW& row : gaQueries) {
        if (row.iQuery != pul[1]) continue;
        if (pbf->pjReply == nullptr || pbf->cjReply < row.cjMin || row.pqw == nullptr) return FALSE;
        for (ULONG i = 0; i < row.c; ++i)
            std::memcpy(pbf->pjReply + row.pqw[i].off, &row.pqw[i].ul, sizeof(ULONG));
        return TRUE;
    }
    return FALSE;
}

// The data area of a span transfer: cy rows of |lStride| bytes, row i at
// ulAddr + i * lStride; null when any of it lies outside the section's view.
const BYTE* pjSpanData(const SHMEMOBJ* pshm, ULONG ulAddr, LONG lStride, ULONG cy) {
    const std::uint64_t cjRow = static_cast<std::uint64_t>(lStride < 0 ? -static_cast<std::int64_t>(lStride) : lStride);
    const std::uint64_t cj = cjRow * cy;
    if (cj > 0xFFFFFFFFu) return nullptr;
    std::uint64_t ulFirst = ulAddr;
    if (lStride < 0 && cy > 0) {
        const std::uint64_t cjBack = cjRow * (cy - 1);
        if (cjBack > ulFirst) return nullptr;
        ulFirst -= cjBack;
    }
    const BYTE* pjFirst = pjClientRange(pshm, static_cast<ULONG>(ulFirst), static_cast<ULONG>(cj));
    if (pjFirst == nullptr) return nullptr;
    return pjFirst + (ulAddr - ulFirst);
}

// The buffers a span transfer reaches: front; back and (unclipped) depth
// only when the context has them.
BOOL bSpanBuffer(const BATCHRC* prc, ULONG iBuffer, BOOL bClipped) {
    switch (iBuffer) {
        case BATCH_BUFFER_FRONT: return TRUE;
        case BATCH_BUFFER_BACK: return prc->fBackBuffer;
        case BATCH_BUFFER_DEPTH: return !bClipped && prc->fDepthBuffer;
        default: return FALSE;
    }
}

// Span transfers: words 1, 2 x, y (window-relative), 5, 6 width, height, 7
// the buffer, 8 the section, 9 the data's client address, 10 the stride.
// bClipped: per rectangle of the visible list, else the client rectangle.
BOOL bSpanTransfer(BATCHFRAME* pbf, const ULONG* pul, BOOL bClipped) {
    const ULONG iBuffer = pul[7];
    if (!bSpanBuffer(pbf->prc, iBuffer, bClipped)) return FALSE;
    const WNDTRACK* pwt = pbf->pwt;
    const LONG x = static_cast<LONG>((pul[1] + static_cast<ULONG>(pwt->rclClient.left)) & 0x7FFF);
    const LONG y = static_cast<LONG>((pul[2] + static_cast<ULONG>(pwt->rclClient.top)) & 0x7FFF);
    const RECTL rclArea = {x, y, x + static_cast<LONG>(pul[5] & 0x7FFF), y + static_cast<LONG>(pul[6] & 0x7FFF)};
    const LONG lStride = std::clamp(static_cast<LONG>(pul[10]), -32767, 32767);

    SHMEMOBJ* pshm = pshmLockSection(pul[8]);
    if (pshm == nullptr) return FALSE;
    const BYTE* pjData = pjSpanData(pshm, pul[9], lStride, pul[6] & 0x7FFF);
    if (pjData != nullptr) {
        RECTL rcl;
        if (!bClipped) {
            if (bIntersect(rclArea, pwt->rclClient, &rcl)) vSpanHook(pbf, iBuffer, rcl, pjData, lStride);
        } else {
            for (ULONG i = 0; i < pwt->prlVisible->c; ++i) {
                const RECTL& rclVis = pwt->prlVisible->arcl[i];
                if (rclVis.top >= rclArea.bottom) break;
                if (bIntersect(rclArea, rclVis, &rcl)) vSpanHook(pbf, iBuffer, rcl, pjData, lStride);
            }
        }
    }
    EngUnlockDriverObj(pul[8]);
    return pjData != nullptr;
}

BOOL bSpan(BATCHFRAME* pbf, const ULONG* pul) { return bSpanTransfer(pbf, pul, FALSE); }
BOOL bSpanClipped(BATCHFRAME* pbf, const ULONG* pul) { return bSpanTransfer(pbf, pul, TRUE); }

ULONG cjStateExtra(const ULONG* pul) {
    switch (pul[1]) {
        case 2: return 124;
        case 24:
        case 26: return 4;
        case BATCH_STATE_SCISSOR: return 12;
        default: return 0;
    }
}

BOOL bState(BATCHFRAME* pbf, const ULONG* pul) {
    BATCHRC* prc = pbf->prc;
    switch (pul[1]) {
        case BATCH_STATE_HOOK: vStateHook(pbf, pul); break;
        case BATCH_STATE_SCISSOR_ON:
            prc->fScissor = pul[2];
            vComputeVisible(pbf->pwt, prc);
            break;
        case BATCH_STATE_SCISSOR:
            prc->xScissor = static_cast<LONG>(pul[2]);
            prc->yScissor = static_cast<LONG>(pul[3]);
            prc->cxScissor = static_cast<LONG>(pul[4]);
            prc->cyScissor = static_cast<LONG>(pul[5]);
            vComputeVisible(pbf->pwt, prc);
            break;
        default: break;
    }
    return pul[1] >= 1 && pul[1] <= BATCH_STATE_LAST;
}

BOOL bDepth(BATCHFRAME* pbf, const ULONG* pul) {
    if (!pbf->prc->fDepthBuffer) return FALSE;
    vDepthHook(pbf, pul);
    return TRUE;
}

const COMMANDROW gaCommands[BATCH_LAST_COMMAND + 1] = {
    /* 0 */ {0, FALSE, FALSE, nullptr, nullptr},
    /* 1 */ {0, FALSE, FALSE, nullptr, nullptr},
    /* 2 */ {0, FALSE, FALSE, nullptr, nullptr},  // inline only
    /* 3 */ {8, TRUE, FALSE, bDeleteContext, nullptr},
    /* 4 */ {24, FALSE, TRUE, bContextOp, nullptr},
    /* 5 */ {8, TRUE, FALSE, bFlags, nullptr},
    /* 6 */ {24, FALSE, TRUE, bBufferWalk, nullptr},
    /* 7 */ {4, FALSE, FALSE, bNop, nullptr},
    /* 8 */ {28, TRUE, FALSE, bQuery, nullptr},
    /* 9 */ {0, FALSE, FALSE, nullptr, nullptr},
    /* 10 */ {0, FALSE, FALSE, nullptr, nullptr},  // inline only
    /* 11 */ {0, FALSE, FALSE, nullptr, nullptr},
    /* 12 */ {0, FALSE, FALSE, nullptr, nullptr},
    /* 13 */ {44, FALSE, TRUE, bSpan, nullptr},
    /* 14 */ {12, FALSE, TRUE, bState, cjStateExtra},
    /* 15 */ {8, FALSE, TRUE, bDepth, nullptr},
    /* 16 */ {0, FALSE, FALSE, nullptr, nullptr},
    /* 17 */ {44, FALSE, TRUE, bSpanClipped, nullptr},
};

// One record: FALSE ends the batch with failure.
BOOL bRunRecord(BATCHFRAME* pbf) {
    const ULONG cjLeft = static_cast<ULONG>(pbf->pjEnd - pbf->pjRead);
    ULONG aul[kMaxRecordWords] = {};
    std::memcpy(aul, pbf->pjRead, sizeof(ULONG));
    if (aul[0] > BATCH_LAST_COMMAND) return FALSE;
    const COMMANDROW& row = gaCommands[aul[0]];
    if (row.cj == 0 || cjLeft < row.cj) return FALSE;
    std::memcpy(aul, pbf->pjRead, row.cj);
    const ULONG cj = row.cj + (row.pfnExtra != nullptr ? row.pfnExtra(aul) : 0);
    if (cjLeft < cj || (row.bEnds && cjLeft != cj)) return FALSE;
    std::memcpy(aul, pbf->pjRead, cj);
    if (row.bContext && pbf->prc == nullptr) return FALSE;
    if (!row.pfn(pbf, aul)) return FALSE;
    pbf->pjRead += cj;
    return TRUE;
}

}  // namespace

void vRunBatch(BATCHFRAME* pbf) {
    while (pbf->pjEnd - pbf->pjRead >= static_cast<std::ptrdiff_t>(sizeof(ULONG))) {
        if (!bRunRecord(pbf)) {
            pbf->ok = 0;
            pbf->pjRead = pbf->pjEnd;
        }
    }
}
