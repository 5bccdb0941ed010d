// The render-stream decoder of a half, the large render command and the
// context check every request runs first.
//
// The stream is the client's and may change under the decoder: each command
// header is read once, as one word, and every length is checked against what
// remains of the stream before anything is run. A stream must end at least
// 64 KB before the end of its half, so that no 16-bit length, read at any
// point of the stream by anyone, reaches outside the half.
#include <cstring>

#include "dispatch/dispatch.h"
#include "list/list.h"
#include "seams.h"

namespace {

// Room a stream leaves before its half's end: more than any 16-bit length.
constexpr ULONG kStreamGuard = 0x10000;
// The most a large render command may bring in (SM_LARGE_MAX).
constexpr std::uint64_t kLargeMax = SM_LARGE_MAX;

// --- the inline fast path inside Begin/End -------------------------------------------------
// The eleven most frequent vertex commands call the lgi vertex setters
// directly. Texture coordinates lack t and r as 0 and q as 1.0.
enum FastKind : BYTE { kColor3, kColor4, kIndex, kNormal, kTexCoord, kVertex2, kVertex3, kVertex4 };

struct FASTROW {
    USHORT opcode;
    BYTE cFloats;  // float arguments at +4
    FastKind kind;
};

const FASTROW gaFast[] = {
    {X_GLrop_Color3fv, 3, kColor3},
    {X_GLrop_Color4fv, 4, kColor4},
    {X_GLrop_Indexfv, 1, kIndex},
    {X_GLrop_Normal3fv, 3, kNormal},
    {X_GLrop_TexCoord1fv, 1, kTexCoord},
    {X_GLrop_TexCoord2fv, 2, kTexCoord},
    {X_GLrop_TexCoord3fv, 3, kTexCoord},
    {X_GLrop_TexCoord4fv, 4, kTexCoord},
    {X_GLrop_Vertex2fv, 2, kVertex2},
    {X_GLrop_Vertex3fv, 3, kVertex3},
    {X_GLrop_Vertex4fv, 4, kVertex4},
};

const FASTROW* pFastRow(ULONG opcode) {
    for (const FASTROW& r : gaFast)
        if (r.opcode == opcode) return &r;
    return nullptr;
}

// Runs a fast-path command whose arguments are known to lie inside it.
void vFastPath(GLClient* pgc, const FASTROW& row, const BYTE* pjArgs) {
    float f[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    std::memcpy(f, pjArgs, row.cFloats * sizeof(float));
    N_VertexRecord* pvr = __glXVertexRecord(pgc);
    switch (row.kind) {
        case kColor3: N_SetVertexColor3(pvr, f[0], f[1], f[2]); return;
        case kColor4: N_SetVertexColor4(pvr, f[0], f[1], f[2], f[3]); return;
        case kIndex: N_SetVertexIndex(pvr, f[0]); return;
        case kNormal: N_SetVertexNormal(pvr, f[0], f[1], f[2]); return;
        case kTexCoord: N_SetVertexTexCoord(pvr, f[0], f[1], f[2], f[3]); return;
        case kVertex2: __glXAfterVertex(pgc, N_SetVertexPos2(pvr, f[0], f[1])); return;
        case kVertex3: __glXAfterVertex(pgc, N_SetVertexPos3(pvr, f[0], f[1], f[2])); return;
        case kVertex4: __glXAfterVertex(pgc, N_SetVertexPos4(pvr, f[0], f[1], f[2], f[3])); return;
    }
}

void vTraceError(const char* pszRequest, const char* pszError) {
    if (__glXDebugFlag) __glXDebugPrint("GL error: %s : %s\n", pszRequest, pszError);
}

}  // namespace

LONG __glXCheckContext(GLClient* pgc, const char* pszRequest, GLContext* gc) {
    if (gc == nullptr || gc->pdraw == nullptr) {
        if (__glXDebugFlag) __glXDebugPrint("%s: no context with a drawable\n", pszRequest);
        return -1;
    }
    pgc->gc = gc;
    __glXValidateOnBind(gc);
    return 0;
}

ULONG __glXRenderStream(GLClient* pgc, const xGLXRenderReq* pReq, const BYTE* pjFirst,
                        ULONG cjStream) {
    const char* pszRequest = "X_GLXRender";
    GLContext* gc = pgcContextFromHandle(pReq->contextTag);
    const LONG lCheck = __glXCheckContext(pgc, pszRequest, gc);
    if (lCheck != 0) return static_cast<ULONG>(lCheck);

    ULONG cjLeft = cjStream;
    const BYTE* pj = pjFirst;
    while (cjLeft > 0) {
        if (cjLeft < sizeof(__GLXrenderHeader)) break;  // not even a header left
        const ULONG ulHeader = ulShared(pj);
        const ULONG cj = ulHeader & 0xFFFF;
        const ULONG opcode = ulHeader >> 16;
        if (cj == 0) break;
        if (opcode >= GLX_RENDER_ENTRIES) {
            pgc->errorDetail = opcode;
            vTraceError(pszRequest, "GLXBadRenderRequest");
            return GLXBadRenderRequest;
        }
        // A command must hold its header, keep the stream 4-aligned and end
        // inside the stream; one that does not is not run.
        if (cj < sizeof(__GLXrenderHeader) || cj % 4 != 0 || cj > cjLeft) break;
        const FASTROW* pFast =
            gc->pRenderTable == __glXRenderBeginEndTable && __glXRenderBeginEndTable != nullptr
                ? pFastRow(opcode)
                : nullptr;
        if (pFast != nullptr) {
            if (cj < sizeof(__GLXrenderHeader) + pFast->cFloats * sizeof(float)) break;
            vFastPath(pgc, *pFast, pj + sizeof(__GLXrenderHeader));
        } else if (const __GLXdispatchFn* pTable = gc->pRenderTable) {
            __glXDispatchRender(pgc, pTable, pj);
        }
        cjLeft -= cj;
        pj += cj;
    }
    if (cjLeft == 0) return 0;
    pgc->errorDetail = cjStream;
    vTraceError(pszRequest, "GLX_BAD_LENGTH");
    return GLX_BAD_LENGTH;
}

BOOL __glRunHalf(GLClient* pgc) {
    SMHalf half;
    if (!bHalfOf(pgc, &half)) return FALSE;
    __glXStartRequest(pgc);
    const ULONG offRead = ulShared(&half.pHeader->readOffset);
    const ULONG offWrite = ulShared(&half.pHeader->writeOffset);
    if (offRead < sizeof(SMSegmentHeader) || offRead % 4 != 0 || offWrite < offRead ||
        half.cjHalf < kStreamGuard || offWrite > half.cjHalf - kStreamGuard) {
        if (__glXDebugFlag)
            __glXDebugPrint("%s: stream %u..%u outside the half\n", __func__, offRead, offWrite);
        return TRUE;
    }
    const ULONG cjStream = offWrite - offRead;
    xGLXRenderReq req{};
    req.glxCode = X_GLXRender;
    req.length = static_cast<USHORT>(cjStream > 0xFFFF ? 0xFFFF : cjStream);
    req.contextTag = pgc->gc != nullptr ? ulContextHandle(pgc->gc) : 0;
    __glXRenderStream(pgc, &req, half.pjBase + offRead, cjStream);
    return TRUE;
}

namespace {

void vSetStatus(const SMHalf& half, ULONG ulStatus) { vSetShared(&half.pHeader->status, ulStatus); }

// The large command of a compiling context goes to the display list: a
// record of seven words over a buffer with the whole command and the
// out-of-line data behind it.
void vLargeToList(GLClient* pgc, const SMHalf& half, const BYTE* pjCommand, ULONG cjInline,
                  ULONG opcode, ULONG ulData, ULONG cjData) {
    GLContext* gc = pgc->gc;
    const ULONG cjTotal = cjInline + cjData;
    auto* plc = static_cast<GLLargeCommand*>(LocalAlloc(LPTR, sizeof(GLLargeCommand)));
    BYTE* pj = plc != nullptr ? static_cast<BYTE*>(LocalAlloc(LPTR, cjTotal)) : nullptr;
    ULONG ulStatus = 0;
    if (pj == nullptr) {
        ulStatus = SM_STATUS_NOMEMORY;
    } else {
        std::memcpy(pj, pjCommand, cjInline);
        // The header as it was checked, whatever the client wrote since.
        const __GLXrenderLargeHeader hdr{cjInline, opcode};
        std::memcpy(pj, &hdr, sizeof hdr);
        if (!__glReadClientMemory(pj + cjInline, ulData, cjData) || opcode >= GLX_RENDER_ENTRIES)
            ulStatus = SM_STATUS_INVALID;
    }
    if (ulStatus == 0) {
        *plc = GLLargeCommand{cjTotal, cjTotal, 1, 0, 0, pj, 0};
        gc->pLarge = plc;
        if (__glXAppendLargeChunk(pgc) == 0) return;  // the list owns it now
    } else {
        vSetStatus(half, ulStatus);
    }
    if (pj != nullptr) LocalFree(pj);
    if (plc != nullptr) LocalFree(plc);
    gc->pLarge = nullptr;
}

// Otherwise it runs at once: the command without its length word, so the
// handler finds the arguments at +4 as in a normal command and the
// out-of-line data behind them. The first word is a render header of
// length 0 with the opcode, and the client's cjLarge holds the whole
// length while the handler runs, so the handler can bound what it reads.
void vLargeRun(GLClient* pgc, const SMHalf& half, const BYTE* pjCommand, ULONG cjInline,
               ULONG opcode, ULONG ulData, ULONG cjData) {
    const ULONG cjBuffer = cjInline - 4 + cjData;
    auto* pj = static_cast<BYTE*>(LocalAlloc(LPTR, cjBuffer));
    if (pj == nullptr) {
        vSetStatus(half, SM_STATUS_NOMEMORY);
        return;
    }
    std::memcpy(pj, pjCommand + 4, cjInline - 4);
    // The opcode as it was checked, whatever the client wrote since.
    const __GLXrenderHeader hdr{0, static_cast<USHORT>(opcode)};
    std::memcpy(pj, &hdr, sizeof hdr);
    if (!__glReadClientMemory(pj + cjInline - 4, ulData, cjData)) {
        vSetStatus(half, SM_STATUS_INVALID);
    } else if (opcode >= GLX_RENDER_ENTRIES) {
        vSetStatus(half, SM_STATUS_INVALID);
    } else if (const __GLXdispatchFn* pTable = pgc->gc->pRenderTable) {
        pgc->cjLarge = cjBuffer;
        __glXDispatchRender(pgc, pTable, pj);
        pgc->cjLarge = 0;
    }
    LocalFree(pj);
}

}  // namespace

BOOL __glRenderLarge(GLClient* pgc) {
    SMHalf half;
    if (!bHalfOf(pgc, &half)) return FALSE;
    __glXStartRequest(pgc);
    const LONG lCheck = __glXCheckContext(pgc, "X_GLXRenderLarge", pgc->gc);
    if (lCheck != 0) {
        vSetStatus(half, static_cast<ULONG>(lCheck));
        return TRUE;
    }
    // The header of the command, its inline part and the out-of-line data,
    // each read once and bounded: the inline part by the half, the whole by
    // kLargeMax.
    const ULONG offRead = ulShared(&half.pHeader->readOffset);
    if (offRead < sizeof(SMSegmentHeader) || offRead % 4 != 0 ||
        offRead > half.cjHalf - sizeof(__GLXrenderLargeHeader)) {
        vSetStatus(half, SM_STATUS_INVALID);
        return TRUE;
    }
    const BYTE* pjCommand = half.pjBase + offRead;
    const ULONG cjInline = ulShared(pjCommand);
    const ULONG opcode = ulShared(pjCommand + 4);
    const ULONG ulData = ulShared(&half.pHeader->clientData);
    const ULONG cjData = ulShared(&half.pHeader->clientDataSize);
    if (cjInline < sizeof(__GLXrenderLargeHeader) || cjInline % 4 != 0 ||
        cjInline > half.cjHalf - offRead || std::uint64_t{cjInline} + cjData > kLargeMax) {
        vSetStatus(half, SM_STATUS_INVALID);
        return TRUE;
    }
    // The inline part is copied before anything looks at it again.
    if (pgc->gc->bCompiling) vLargeToList(pgc, half, pjCommand, cjInline, opcode, ulData, cjData);
    else vLargeRun(pgc, half, pjCommand, cjInline, opcode, ulData, cjData);
    return TRUE;
}
