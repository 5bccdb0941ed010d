// Single requests: the request at the half's read offset runs through the
// single table; and the single requests served here: Flush, Finish,
// FeedbackBuffer, SelectBuffer and RenderMode.
#include <cstring>

#include "lgi/lgi.h"
#include "dispatch/dispatch.h"
#include "seams.h"

namespace {

// A single request's length counts 4-byte units in 16 bits; the request
// must start this far before the end of its half, so that no length read
// from it by anyone reaches outside the half.
constexpr ULONG kSingleGuard = 4u * 0x10000u;
// The most words a feedback or select buffer may have.
constexpr ULONG kMaxBufferWords = 1u << 20;

// A reply that carries no data and only the client's sequence number.
xGLXSingleReply replyOf(const GLClient* pgc, BYTE type) {
    xGLXSingleReply r{};
    r.type = type;
    r.sequenceNumber = static_cast<USHORT>(pgc->sequenceNumber);
    return r;
}

// A request that cannot run is answered, so the client never reads the reply
// of an earlier request as this one's: an X error reply and status 87.
void vRefuse(GLClient* pgc, const SMHalf& half, BYTE errorCode) {
    xGLXSingleReply r = replyOf(pgc, X_Error);
    r.unused = errorCode;
    __glXSendReply(&r, sizeof r, nullptr, 0);
    vSetShared(&half.pHeader->status, SM_STATUS_INVALID);
}

// The request's length in bytes and its parameter words (+8 on).
struct SINGLE {
    const BYTE* pj;
    ULONG cj;
    ULONG opcode;
    ULONG word(ULONG off) const { return ulShared(pj + off); }
};

SINGLE singleOf(const void* pRequest) {
    const auto* pj = static_cast<const BYTE*>(pRequest);
    const ULONG ulHeader = ulShared(pj);
    return SINGLE{pj, (ulHeader >> 16) * 4, (ulHeader >> 8) & 0xFF};
}

// The checks that open each request of this file: a bound context, a
// request long enough for its parameters (cjNeeded bytes), and for most,
// not inside Begin/End. 0 when the request may go on.
ULONG ulOpen(GLClient* pgc, const SINGLE& s, ULONG cjNeeded, bool bRefuseInBegin) {
    const char* pszName = __glXSingleRequestName(s.opcode);
    const LONG lCheck = __glXCheckContext(pgc, pszName, pgc->gc);
    if (lCheck != 0) return static_cast<ULONG>(lCheck);
    if (s.cj < cjNeeded) return GLX_BAD_LENGTH;
    if (bRefuseInBegin && pgc->gc->bInBegin) {
        __glXSetError(pgc, pszName, GL_INVALID_OPERATION);
        return GLX_BAD_ACCESS;
    }
    return 0;
}

ULONG ulError(GLClient* pgc, const SINGLE& s, ULONG glError, ULONG xError) {
    __glXSetError(pgc, __glXSingleRequestName(s.opcode), glError);
    return xError;
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

}  // namespace

BOOL __glSingleRequest(GLClient* pgc) {
    SMHalf half;
    if (!bHalfOf(pgc, &half)) return FALSE;
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
    const SINGLE s = singleOf(pjRequest);
    if (s.cj < sizeof(xGLXSingleReq)) {
        vRefuse(pgc, half, GLX_BAD_LENGTH);
        return TRUE;
    }
    __GLXdispatchFn* pTable = __glXSingleTable;
    if (pTable == nullptr) {
        vRefuse(pgc, half, GLX_BAD_IMPLEMENTATION);
        return TRUE;
    }
    vSetShared(pjRequest + offsetof(xGLXSingleReq, contextTag), ulContextHandle(gc));
    pTable[s.opcode](pgc, pjRequest);
    return TRUE;
}

namespace {

// Flush and Finish: their checks, then every pending primitive batch handed
// over and done.
ULONG ulHandOverAll(GLClient* pgc, const void* pRequest) {
    const ULONG ul = ulOpen(pgc, singleOf(pRequest), sizeof(xGLXSingleReq), true);
    if (ul != 0) return ul;
    __glXFlushPending(pgc);
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
    const xGLXSingleReply r = replyOf(pgc, X_Reply);
    __glXSendReply(&r, sizeof r, nullptr, 0);
    return 0;
}

ULONG __glXDisp_FeedbackBuffer(GLClient* pgc, const void* pRequest) {
    const SINGLE s = singleOf(pRequest);
    const ULONG ul = ulOpen(pgc, s, 16, true);
    if (ul != 0) return ul;
    GLContext* gc = pgc->gc;
    const LONG cWords = static_cast<LONG>(s.word(8));
    const ULONG iType = s.word(12);
    if (iType < GL_2D || iType > GL_4D_COLOR_TEXTURE)
        return ulError(pgc, s, GL_INVALID_ENUM, GLX_BAD_VALUE);
    if (cWords < 0) return ulError(pgc, s, GL_INVALID_VALUE, GLX_BAD_VALUE);
    if (gc->renderMode == GL_FEEDBACK) return ulError(pgc, s, GL_INVALID_OPERATION, GLX_BAD_ACCESS);
    __glXFlushPending(pgc);
    if (!bSizeBuffer(&gc->pFeedbackBuffer, &gc->cFeedbackBuffer, static_cast<ULONG>(cWords)))
        return ulError(pgc, s, GL_OUT_OF_MEMORY, GLX_BAD_ALLOC);
    gc->iFeedbackType = iType - GL_2D;
    return 0;
}

ULONG __glXDisp_SelectBuffer(GLClient* pgc, const void* pRequest) {
    const SINGLE s = singleOf(pRequest);
    const ULONG ul = ulOpen(pgc, s, 12, true);
    if (ul != 0) return ul;
    GLContext* gc = pgc->gc;
    const LONG cWords = static_cast<LONG>(s.word(8));
    if (cWords < 0) return ulError(pgc, s, GL_INVALID_VALUE, GLX_BAD_VALUE);
    if (gc->renderMode == GL_SELECT) return ulError(pgc, s, GL_INVALID_OPERATION, GLX_BAD_ACCESS);
    __glXFlushPending(pgc);
    if (!bSizeBuffer(&gc->pSelectBuffer, &gc->cSelectBuffer, static_cast<ULONG>(cWords)))
        return ulError(pgc, s, GL_OUT_OF_MEMORY, GLX_BAD_ALLOC);
    return 0;
}

ULONG __glXDisp_RenderMode(GLClient* pgc, const void* pRequest) {
    const SINGLE s = singleOf(pRequest);
    const ULONG ul = ulOpen(pgc, s, 12, true);
    if (ul != 0) return ul;
    GLContext* gc = pgc->gc;
    __glXFlushPending(pgc);
    xGLXSingleReply r = replyOf(pgc, X_Reply);
    r.pad3 = gc->renderMode;
    const ULONG newMode = s.word(8);
    ULONG glError = 0;
    if (newMode == GL_FEEDBACK && gc->pFeedbackBuffer == nullptr) glError = GL_INVALID_OPERATION;
    else if (newMode == GL_SELECT && gc->pSelectBuffer == nullptr) glError = GL_INVALID_OPERATION;
    else if (newMode != GL_RENDER && newMode != GL_FEEDBACK && newMode != GL_SELECT)
        glError = GL_INVALID_ENUM;
    if (glError != 0) {
        __glXSendReply(&r, sizeof r, nullptr, 0);
        return ulError(pgc, s, glError, glError == GL_INVALID_ENUM ? GLX_BAD_VALUE : GLX_BAD_ACCESS);
    }
    r.pad3 = newMode;

    // What the mode being left collected goes back with the reply.
    const void* pvData = nullptr;
    ULONG cWords = 0;
    if (gc->renderMode == GL_FEEDBACK) {
        LONG cValues = 0;
        N_EndFeedback(&cValues);
        r.retval = r.size = static_cast<ULONG>(cValues);
        // An overflow (-1) sends no data; a count is never taken beyond the buffer.
        if (cValues > 0)
            cWords =
                static_cast<ULONG>(cValues) < gc->cFeedbackBuffer ? cValues : gc->cFeedbackBuffer;
        pvData = gc->pFeedbackBuffer;
    } else if (gc->renderMode == GL_SELECT) {
        r.retval = gc->bSelectOverflow ? 0u - gc->cHits : gc->cHits;
        cWords = gc->iSelectWrite < gc->cSelectBuffer ? gc->iSelectWrite : gc->cSelectBuffer;
        r.size = cWords;
        pvData = gc->pSelectBuffer;
    }
    r.length = cWords;
    __glXSendReply(&r, sizeof r, pvData, cWords * 4);

    gc->renderMode = newMode;
    if (newMode == GL_RENDER) {
        N_SetStateBlockAttrWord(35, 0);
    } else if (newMode == GL_FEEDBACK) {
        N_BeginFeedback(reinterpret_cast<float*>(gc->pFeedbackBuffer), gc->cFeedbackBuffer,
                        gc->iFeedbackType);
    } else {
        gc->iSelectWrite = 0;
        gc->bSelectOverflow = 0;
        gc->cHits = 0;
        N_InitNames();
        N_SetStateBlockAttrWord(35, 1);
        N_SetSelectCallback(__glXSelectHit, gc);
    }
    return 0;
}
