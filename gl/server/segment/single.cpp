// Single requests: the request at the half's read offset runs through the
// single table; and the single requests served here: Flush, Finish,
// FeedbackBuffer, SelectBuffer and RenderMode.
#include <cstring>

#include "lgi/lgi.h"
#include "dispatch/dispatch.h"
#include "list/list.h"
#include "seams.h"

namespace {

// A single request's length counts 4-byte units in 16 bits; the request
// must start this far before the end of its half, so that no length read
// from it by anyone reaches outside the half.
constexpr ULONG kSingleGuard = 4u * 0x10000u;
// The most words a feedback or select buffer may have.
constexpr ULONG kMaxBufferWords = 1u << 20;

// A request that cannot run is answered, so the client never reads the reply
// of an earlier request as this one's: an X error reply and status 87.
void vRefuse(GLClient* pgc, const SMHalf& half, BYTE errorCode) {
    xGLXSingleReply r = __glXReplyHeader(pgc);
    r.type = X_Error;
    r.unused = errorCode;
    __glXSendReply(&r, sizeof r, nullptr, 0);
    vSetShared(&half.pHeader->status, SM_STATUS_INVALID);
}

// (Re)allocates a buffer of cWords words when its size changed: TRUE, or
// FALSE with the buffer gone and its size 0.
template <class T>
BOOL bSizeBuffer(T** ppBuffer, ULONG* pcWords, ULONG cWords) {
    if (*ppBuffer != nullptr && *pcWords == cWords) return TRUE;
    if (*ppBuffer != nullptr) LocalFree(*ppBuffer);
    *ppBuffer =
        cWords <= kMaxBufferWords ? static_cast<T*>(LocalAlloc(LPTR, cWords * 4u)) : nullptr;
    *pcWords = *ppBuffer != nullptr ? cWords : 0;
    return *ppBuffer != nullptr;
}

// The request's single opcode.
ULONG ulOpcode(const void* pvRequest) { return (ulShared(pvRequest) >> 8) & 0xFF; }

}  // namespace

const BYTE* __glXSingleParams(const void* pvRequest, ULONG cParams) {
    const ULONG cWords = ulShared(pvRequest) >> 16;
    if (cWords < 2 + cParams) return nullptr;
    return static_cast<const BYTE*>(pvRequest) + 8;
}

ULONG __glXSingleError(GLClient* pgc, const void* pvRequest, ULONG glError) {
    __glXSetError(pgc, __glXSingleRequestName(ulOpcode(pvRequest)), glError);
    return __glXErrorToX(glError);
}

xGLXSingleReply __glXReplyHeader(const GLClient* pgc) {
    xGLXSingleReply r{};
    r.type = X_Reply;
    r.sequenceNumber = static_cast<USHORT>(pgc->sequenceNumber);
    return r;
}

ULONG __glXSingleAttach(GLClient* pgc, const void* pvRequest) {
    // The single path answers a client without a current context before any
    // handler runs; a handler reached without one answers GLX_BAD_ACCESS.
    if (pgc == nullptr || pgc->gc == nullptr) return GLX_BAD_ACCESS;
    return static_cast<ULONG>(__glXCheckContext(pgc, __glXSingleRequestName(ulOpcode(pvRequest)), pgc->gc));
}

// Every single request attaches its context first (the check also brings
// the context's dirty state to the lgi layer, so a query reads what was
// set before it). A malformed length is refused before any state changes;
// the pending batch is handed over last, once the request is known to run.
ULONG __glXSingleStart(GLClient* pgc, const void* pvRequest, ULONG cParams, const BYTE** ppjParams,
                       bool bHandOver) {
    if (const ULONG x = __glXSingleAttach(pgc, pvRequest)) return x;
    const BYTE* pj = __glXSingleParams(pvRequest, cParams);
    if (pj == nullptr) return GLX_BAD_LENGTH;
    if (pgc->gc->bInBegin) return __glXSingleError(pgc, pvRequest, GL_INVALID_OPERATION);
    if (bHandOver) __glXFlushPending(pgc);
    if (ppjParams != nullptr) *ppjParams = pj;
    return GLX_SUCCESS;
}

BOOL __glSingleRequest(GLClient* pgc) {
    SMHalf half;
    if (!bHalfOf(pgc, &half)) return FALSE;
    __glXStartRequest(pgc);
    GLContext* gc = pgc->gc;
    if (gc == nullptr) {
        vRefuse(pgc, half, GLXBadContextTag);
        return TRUE;
    }
    const ULONG offRead = ulShared(&half.pHeader->readOffset);
    if (offRead < sizeof(SMSegmentHeader) || offRead % 4 != 0 || half.cjHalf < kSingleGuard ||
        offRead > half.cjHalf - kSingleGuard) {
        vRefuse(pgc, half, GLX_BAD_LENGTH);
        return TRUE;
    }
    BYTE* pjRequest = half.pjBase + offRead;
    if (__glXSingleParams(pjRequest, 0) == nullptr) {
        vRefuse(pgc, half, GLX_BAD_LENGTH);
        return TRUE;
    }
    __GLXdispatchFn* pTable = __glXSingleTable;
    if (pTable == nullptr) {
        vRefuse(pgc, half, GLX_BAD_IMPLEMENTATION);
        return TRUE;
    }
    vSetShared(pjRequest + offsetof(xGLXSingleReq, contextTag), ulContextHandle(gc));
    const ULONG opcode = ulOpcode(pjRequest);
    const ULONG cRepliesBefore = __glXRepliesSent();
    pTable[opcode](pgc, pjRequest);
    if (__glXRepliesSent() == cRepliesBefore && __glXSingleHasReply(opcode)) {
        const xGLXSingleReply r = __glXReplyHeader(pgc);
        __glXSendReply(&r, sizeof r, nullptr, 0);
    }
    return TRUE;
}

BOOL __glXSingleHasReply(ULONG opcode) {
    // Every request from ReadPixels to IsList has one too.
    return opcode == X_GLsop_GenLists || opcode == X_GLsop_RenderMode || opcode == X_GLsop_Finish ||
           (opcode >= X_GLsop_ReadPixels && opcode <= X_GLsop_IsList);
}

namespace {

// Flush and Finish: their checks, then every pending primitive batch handed
// over and done.
ULONG ulHandOverAll(GLClient* pgc, const void* pRequest) {
    if (const ULONG x = __glXSingleStart(pgc, pRequest, 0, nullptr)) return x;
    __glXWaitPending(pgc);
    return 0;
}

}  // namespace

ULONG __glXDisp_Flush(GLClient* pgc, const void* pRequest) {
    const ULONG ul = ulHandOverAll(pgc, pRequest);
    if (ul != 0) return ul;
    N_Flush();
    return 0;
}

ULONG __glXDisp_Finish(GLClient* pgc, const void* pRequest) {
    const ULONG ul = ulHandOverAll(pgc, pRequest);
    if (ul != 0) return ul;
    N_Finish();
    const xGLXSingleReply r = __glXReplyHeader(pgc);
    __glXSendReply(&r, sizeof r, nullptr, 0);
    return 0;
}

ULONG __glXDisp_FeedbackBuffer(GLClient* pgc, const void* pRequest) {
    const BYTE* pj = nullptr;
    if (const ULONG x = __glXSingleStart(pgc, pRequest, 2, &pj, false)) return x;
    GLContext* gc = pgc->gc;
    const LONG cWords = static_cast<LONG>(ulShared(pj));
    const ULONG iType = ulShared(pj + 4);
    if (iType < GL_2D || iType > GL_4D_COLOR_TEXTURE)
        return __glXSingleError(pgc, pRequest, GL_INVALID_ENUM);
    if (cWords < 0) return __glXSingleError(pgc, pRequest, GL_INVALID_VALUE);
    if (gc->renderMode == GL_FEEDBACK) return __glXSingleError(pgc, pRequest, GL_INVALID_OPERATION);
    __glXFlushPending(pgc);
    if (!bSizeBuffer(&gc->pFeedbackBuffer, &gc->cFeedbackBuffer, static_cast<ULONG>(cWords)))
        return __glXSingleError(pgc, pRequest, GL_OUT_OF_MEMORY);
    gc->iFeedbackType = iType - GL_2D;
    return 0;
}

ULONG __glXDisp_SelectBuffer(GLClient* pgc, const void* pRequest) {
    const BYTE* pj = nullptr;
    if (const ULONG x = __glXSingleStart(pgc, pRequest, 1, &pj, false)) return x;
    GLContext* gc = pgc->gc;
    const LONG cWords = static_cast<LONG>(ulShared(pj));
    if (cWords < 0) return __glXSingleError(pgc, pRequest, GL_INVALID_VALUE);
    if (gc->renderMode == GL_SELECT) return __glXSingleError(pgc, pRequest, GL_INVALID_OPERATION);
    __glXFlushPending(pgc);
    if (!bSizeBuffer(&gc->pSelectBuffer, &gc->cSelectBuffer, static_cast<ULONG>(cWords)))
        return __glXSingleError(pgc, pRequest, GL_OUT_OF_MEMORY);
    return 0;
}

ULONG __glXDisp_RenderMode(GLClient* pgc, const void* pRequest) {
    const BYTE* pj = nullptr;
    if (const ULONG x = __glXSingleStart(pgc, pRequest, 1, &pj)) return x;
    GLContext* gc = pgc->gc;
    xGLXSingleReply r = __glXReplyHeader(pgc);
    r.pad3 = gc->renderMode;
    const ULONG newMode = ulShared(pj);
    ULONG glError = 0;
    if (newMode == GL_FEEDBACK && gc->pFeedbackBuffer == nullptr) glError = GL_INVALID_OPERATION;
    else if (newMode == GL_SELECT && gc->pSelectBuffer == nullptr) glError = GL_INVALID_OPERATION;
    else if (newMode != GL_RENDER && newMode != GL_FEEDBACK && newMode != GL_SELECT)
        glError = GL_INVALID_ENUM;
    if (glError != 0) {
        __glXSendReply(&r, sizeof r, nullptr, 0);
        return __glXSingleError(pgc, pRequest, glError);
    }
    r.pad3 = newMode;

    // What the mode being left collected goes back with the reply.
    const void* pvData = nullptr;
    ULONG cWords = 0;
    if (gc->renderMode == GL_FEEDBACK) {
        LONG cValues = 0;
        N_EndFeedback(&cValues);
        r.retval = static_cast<ULONG>(cValues);
        // The values that fit go back: on an overflow (-1) the whole buffer,
        // else the count, never taken beyond the buffer.
        cWords = cValues < 0 || static_cast<ULONG>(cValues) > gc->cFeedbackBuffer ? gc->cFeedbackBuffer
                                                                                   : static_cast<ULONG>(cValues);
        r.size = cWords;
        pvData = gc->pFeedbackBuffer;
    } else if (gc->renderMode == GL_SELECT) {
        // An overflow answers -1 hits, with the records as far as they fit.
        r.retval = gc->bSelectOverflow ? 0xFFFFFFFFu : gc->cHits;
        cWords = gc->iSelectWrite < gc->cSelectBuffer ? gc->iSelectWrite : gc->cSelectBuffer;
        r.size = cWords;
        pvData = gc->pSelectBuffer;
        // Outside selection the name stack is empty.
        N_InitNames();
    }
    r.length = cWords;
    __glXSendReply(&r, sizeof r, pvData, cWords * 4);

    gc->renderMode = newMode;
    if (newMode == GL_RENDER) {
        N_SetStateBlockAttrWord(N_ATTR_RENDER_MODE, 0);
    } else if (newMode == GL_FEEDBACK) {
        N_BeginFeedback(reinterpret_cast<float*>(gc->pFeedbackBuffer), gc->cFeedbackBuffer,
                        gc->iFeedbackType);
    } else {
        gc->iSelectWrite = 0;
        gc->bSelectOverflow = 0;
        gc->cHits = 0;
        N_InitNames();
        N_SetStateBlockAttrWord(N_ATTR_RENDER_MODE, 1);
        N_SetSelectCallback(__glXSelectHit, gc);
    }
    return 0;
}
