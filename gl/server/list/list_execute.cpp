// Running display lists: CallList and CallLists (to a depth of 64, within
// the list work budget of a request, GLX_LIST_MAX_WORK), each
// stored request through the context's current render table, the list's
// batches handed to the lgi layer again, compiled images drawn; and the
// single requests that manage names: GenLists, DeleteLists, IsList.
//
// A list called while another is compiled with execution runs through the
// table the compiled requests run through (immediate, or inside
// Begin/End), so that what it holds is not stored a second time.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "dispatch/dispatch.h"
#include "dispatch/render_args.h"
#include "lgi/lgi.h"
#include "list/list.h"
#include "pixfmt/pixfmt.h"
#include "segment/segment.h"
#include "seams.h"
#include "state/glstate.h"
#include "state/queries.h"

namespace {

const __GLXdispatchFn* pTableNow(const GLContext* gc) {
    if (gc->pRenderTable == __glXRenderListTable || gc->pRenderTable == nullptr)
        return gc->bInBegin ? __glXRenderBeginEndTable : __glXRenderTable;
    return gc->pRenderTable;
}

__GLXlistHead* phFind(GLContext* gc, ULONG name) {
    const __GLXlistTable* pTable = gc->pListTable;
    if (pTable == nullptr) return nullptr;
    for (__GLXlistHead* p = pTable->apBuckets[name % GLX_LIST_BUCKETS]; p != nullptr; p = p->pNext)
        if (p->name == name) return p;
    return nullptr;
}

// Draws a compiled image: FALSE when the visual cannot take it (the list
// stops there).
BOOL bDrawCompiled(GLContext* gc, const BYTE* pjRecord) {
    ULONG aw[3];
    std::memcpy(aw, pjRecord + 40, sizeof aw);
    const LONG w = static_cast<LONG>(__glXArgWord(pjRecord, 6)), h = static_cast<LONG>(__glXArgWord(pjRecord, 7));
    const ULONG formatCode = aw[1];
    const GLVisual* pvis = gc->pvis;
    if (pvis == nullptr) return FALSE;
    if (formatCode == 1) {  // STENCIL_INDEX
        if (pvis->cStencilBits == 0) return FALSE;
        if ((gc->flBufferMask & 0x200u) == 0) _DBindBuffers(gc, gc->flBufferMask | 0x200u);
    } else if (formatCode == 2) {  // DEPTH_COMPONENT
        if (pvis->cDepthBits == 0) return FALSE;
        if ((gc->flBufferMask & 0x900u) == 0) _DBindBuffers(gc, gc->flBufferMask | 0x900u);
    } else if (formatCode != 0 && !pvis->bRGBA) {
        return FALSE;
    }
    if (gc->dirty != 0) __glXValidateDraw(gc);
    N_DrawPixels(w, h, formatCode, aw[2], pjRecord + GLX_LIST_PIXELS_HEADER);
    return TRUE;
}

// n units of the request's list work at once; FALSE, and the budget
// spent, when they do not fit what is left of it.
BOOL bListWorkOf(GLContext* gc, std::uint64_t n) {
    if (n > GLX_LIST_MAX_WORK - gc->listRuns) {
        gc->listRuns = GLX_LIST_MAX_WORK;
        return FALSE;
    }
    gc->listRuns += static_cast<ULONG>(n);
    return TRUE;
}

// The window pixels of the triangles the running lists handed to the board
// since they were last charged, one unit for every GLX_LIST_PIXELS_PER_WORK
// of them (the rest waits for the next charge); FALSE when they do not fit.
BOOL bChargeTriangles(GLContext* gc) {
    const std::uint64_t now = N_TrianglePixels();
    const std::uint64_t n = now - gc->listPixelsSeen;
    gc->listPixelsSeen = now - n % GLX_LIST_PIXELS_PER_WORK;
    return bListWorkOf(gc, n / GLX_LIST_PIXELS_PER_WORK);
}

// One unit of the request's list work, after the triangles of the records
// run before it; FALSE when the budget is spent.
BOOL bListWork(GLContext* gc) {
    if (!bChargeTriangles(gc) || gc->listRuns >= GLX_LIST_MAX_WORK) return FALSE;
    ++gc->listRuns;
    return TRUE;
}

// The list work of drawing a compiled image beside its record's unit.
std::uint64_t ulImageWork(const BYTE* pjRecord) {
    const auto w = static_cast<std::int64_t>(static_cast<LONG>(__glXArgWord(pjRecord, 6)));
    const auto h = static_cast<std::int64_t>(static_cast<LONG>(__glXArgWord(pjRecord, 7)));
    if (w <= 0 || h <= 0) return 0;
    return static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) / GLX_LIST_PIXELS_PER_WORK;
}

// The list work of a record that draws into the window beside its unit:
// a clear the whole window, a CopyPixels or Bitmap its rectangle held to
// the window's size, each one unit for every GLX_LIST_PIXELS_PER_WORK
// pixels it may reach (a list clearing or copying the window many times
// would otherwise hold the lock for as long as it likes). pjRecord starts
// with the render header {u16 length, u16 opcode}, the body behind it.
std::uint64_t ulDrawWork(GLContext* gc, ULONG opcode, const BYTE* pjRecord) {
    LONG cx = 0, cy = 0;
    if (!__glDrawableSize(gc, &cx, &cy) || cx <= 0 || cy <= 0) return 0;
    std::int64_t w = cx, h = cy;
    if (opcode == X_GLrop_CopyPixels) {
        w = static_cast<LONG>(__glXArgWord(pjRecord, 3));
        h = static_cast<LONG>(__glXArgWord(pjRecord, 4));
    } else if (opcode == X_GLrop_Bitmap) {
        // Behind the pixel-store block: width, height.
        w = static_cast<LONG>(__glXArgWord(pjRecord, 6));
        h = static_cast<LONG>(__glXArgWord(pjRecord, 7));
    } else if (opcode != X_GLrop_Clear) {
        return 0;
    }
    if (w <= 0 || h <= 0) return 0;
    return static_cast<std::uint64_t>(std::min<std::int64_t>(w, cx)) *
           static_cast<std::uint64_t>(std::min<std::int64_t>(h, cy)) / GLX_LIST_PIXELS_PER_WORK;
}

// Runs the records of an ordinary chunk; FALSE when the list stops.
BOOL bRunChunk(GLClient* pgc, __GLXlistHead* pHead, const __GLXlistChunk* pc) {
    GLContext* gc = pgc->gc;
    for (ULONG off = 0; off + 4 <= pc->cjUsed;) {
        if (!bListWork(gc)) return FALSE;
        const BYTE* pj = pc->pjData + off;
        USHORT aus[2];
        std::memcpy(aus, pj, 4);
        ULONG cj = aus[0];
        if (aus[1] == X_GLrop_PacketAddrZYD) {
            ULONG i;
            std::memcpy(&i, pj + 4, 4);
            if (i < pHead->cBatches) __glXDispatchPending(pgc, pHead->pBatches[i].pBatch);
        } else if (aus[1] == X_GLrop_DrawPixels) {
            ULONG cjImage;
            std::memcpy(&cjImage, pj + 40, 4);
            cj = GLX_LIST_PIXELS_HEADER + cjImage;
            if (!bListWorkOf(gc, ulImageWork(pj)) || !bDrawCompiled(gc, pj)) return FALSE;
        } else {
            if (!bListWorkOf(gc, ulDrawWork(gc, aus[1], pj))) return FALSE;
            __glXDispatchRender(pgc, pTableNow(gc), pj);
        }
        if (cj < 4) break;  // never: every record was checked when it was stored
        off += cj;
    }
    return TRUE;
}

}  // namespace

BOOL __glXExecuteList(GLClient* pgc, ULONG name) {
    GLContext* gc = pgc->gc;
    __GLXlistHead* pHead = phFind(gc, name);
    if (pHead == nullptr) return TRUE;
    // The outermost list charges only what lists draw, not what the
    // request drew before it.
    if (gc->callDepth <= 1) gc->listPixelsSeen = N_TrianglePixels();
    if (!bListWork(gc)) return FALSE;
    for (const __GLXlistChunk* pc = pHead->pFirst; pc != nullptr; pc = pc->pNext) {
        if (pc->bLarge) {
            if (!bListWork(gc)) return FALSE;
            // {u32 length, render header {0, opcode}, body}: runs from +4
            // with the length less the word as the large-request path does.
            USHORT opcode;
            std::memcpy(&opcode, pc->pjData + 6, 2);
            if (!bListWorkOf(gc, ulDrawWork(gc, opcode, pc->pjData + 4))) return FALSE;
            const ULONG cjSaved = pgc->cjLarge;
            pgc->cjLarge = pc->cjUsed - 4;
            __glXDispatchRender(pgc, pTableNow(gc), pc->pjData + 4);
            pgc->cjLarge = cjSaved;
        } else if (!bRunChunk(pgc, pHead, pc)) {
            // A compiled image the visual cannot take stops the list; a
            // spent budget stops the call too.
            return bChargeTriangles(gc) && gc->listRuns < GLX_LIST_MAX_WORK;
        }
    }
    // The triangles of the last record.
    return bChargeTriangles(gc);
}

void __glXStartRequest(GLClient* pgc) {
    if (pgc != nullptr && pgc->gc != nullptr) pgc->gc->listRuns = 0;
}

namespace {

// A list call one level deeper: GL_INVALID_OPERATION at the limit.
template <class Body>
ULONG ulCall(GLClient* pgc, const void* pv, Body body) {
    GLContext* gc = pgc->gc;
    if (gc->callDepth >= GLX_LIST_MAX_DEPTH) return __glXRenderError(pgc, pv, GL_INVALID_OPERATION);
    if (gc->dirty != 0) __glXValidateDraw(gc);
    ++gc->callDepth;
    const ULONG glError = body();
    --gc->callDepth;
    return __glXRenderResult(pgc, pv, glError);
}

ULONG ulListBase(const GLContext* gc) {
    const ULONG* pw = gc->pState != nullptr ? gc->pState->blocks[__builtin_ctz(GL_LIST_BIT)] : nullptr;
    return pw != nullptr ? pw[GLX_LIST_BASE] : 0;
}

// The name of value i of a CallLists array.
ULONG ulNameAt(const BYTE* pj, ULONG i, ULONG type, ULONG base) {
    const BYTE* p = pj + i * GLXListNameBytes(type);
    switch (type) {
        case GL_BYTE: return base + static_cast<ULONG>(static_cast<LONG>(static_cast<signed char>(p[0])));
        case GL_UNSIGNED_BYTE: return base + p[0];
        case GL_SHORT: {
            short s;
            std::memcpy(&s, p, 2);
            return base + static_cast<ULONG>(static_cast<LONG>(s));
        }
        case GL_UNSIGNED_SHORT: {
            USHORT us;
            std::memcpy(&us, p, 2);
            return base + us;
        }
        case GL_FLOAT: {
            float f;
            std::memcpy(&f, p, 4);
            const double d = std::trunc(static_cast<double>(f) + static_cast<double>(base));
            return d >= 0.0 && d <= 4294967295.0 ? static_cast<ULONG>(d) : 0u;  // none outside the names
        }
        case GL_2_BYTES: return base + (static_cast<ULONG>(p[0]) << 8 | p[1]);
        case GL_3_BYTES: return base + (static_cast<ULONG>(p[0]) << 16 | static_cast<ULONG>(p[1]) << 8 | p[2]);
        case GL_4_BYTES:
            return base + (static_cast<ULONG>(p[0]) << 24 | static_cast<ULONG>(p[1]) << 16 |
                           static_cast<ULONG>(p[2]) << 8 | p[3]);
        default: {  // INT, UNSIGNED_INT
            ULONG u;
            std::memcpy(&u, p, 4);
            return base + u;
        }
    }
}

void vReplyRetval(GLClient* pgc, ULONG ulRetval) {
    xGLXSingleReply rp = __glXReplyHeader(pgc);
    rp.retval = ulRetval;
    __glXSendReply(&rp, sizeof rp, nullptr, 0);
}

}  // namespace

namespace {

// The body of a list call. Between Begin and End the open primitive still
// writes its vertices into the pending packet buffer, so the buffer is not
// handed on there; elsewhere it goes on first, as for every request.
const BYTE* pjCallArgs(GLClient* pgc, const void* pv) {
    if (pgc == nullptr || pgc->gc == nullptr || !pgc->gc->bInBegin) return __glXRenderArgs(pgc, pv);
    return static_cast<const BYTE*>(pv) + 4;
}

}  // namespace

ULONG __glXDisp_CallList(GLClient* pgc, const void* pv) {
    GLContext* gc = pgc != nullptr ? pgc->gc : nullptr;
    if (__glXInCompiledBegin(gc)) return __glXListSpill(pgc, pv);
    const BYTE* pj = pjCallArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    const ULONG name = __glXArgWord(pj, 0);
    return ulCall(pgc, pv, [&] { return __glXExecuteList(pgc, name) ? GL_NO_ERROR : GL_INVALID_OPERATION; });
}

ULONG __glXDisp_CallLists(GLClient* pgc, const void* pv) {
    GLContext* gc = pgc != nullptr ? pgc->gc : nullptr;
    if (__glXInCompiledBegin(gc)) return __glXListSpill(pgc, pv);
    const BYTE* pj = pjCallArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    const LONG n = static_cast<LONG>(__glXArgWord(pj, 0));
    const ULONG type = __glXArgWord(pj, 1);
    const ULONG cjName = GLXListNameBytes(type);
    if (gc->callDepth >= GLX_LIST_MAX_DEPTH) return __glXRenderError(pgc, pv, GL_INVALID_OPERATION);
    if (cjName == 0) return __glXRenderError(pgc, pv, GL_INVALID_ENUM);
    if (n < 0) return __glXRenderError(pgc, pv, GL_INVALID_VALUE);
    // Every name lies in the request: the length check made sure.
    const ULONG base = ulListBase(gc);
    return ulCall(pgc, pv, [&] {
        for (ULONG i = 0; i < static_cast<ULONG>(n); ++i)
            if (!__glXExecuteList(pgc, ulNameAt(pj + 8, i, type, base))) return GL_INVALID_OPERATION;
        return GL_NO_ERROR;
    });
}

ULONG __glXDisp_ListBase(GLClient* pgc, const void* pv) {
    if (pgc == nullptr || pgc->gc == nullptr) return GLX_BAD_ACCESS;
    GLContext* gc = pgc->gc;
    ULONG* pw = gc->pState != nullptr ? gc->pState->blocks[__builtin_ctz(GL_LIST_BIT)] : nullptr;
    if (pw != nullptr) std::memcpy(pw + GLX_LIST_BASE, static_cast<const BYTE*>(pv) + 4, 4);
    return GLX_SUCCESS;
}

ULONG __glXDisp_GenLists(GLClient* pgc, const void* pv) {
    const BYTE* pj = nullptr;
    if (const ULONG x = __glXSingleStart(pgc, pv, 1, &pj)) return x;
    GLContext* gc = pgc->gc;
    const LONG n = static_cast<LONG>(__glXArgWord(pj, 0));
    if (n < 0) {
        // A negative range reserves nothing: the error, and 0 answered.
        __glXSingleError(pgc, pv, GL_INVALID_VALUE);
        vReplyRetval(pgc, 0);
        return GLX_SUCCESS;
    }
    if (gc->pListTable == nullptr && (gc->pListTable = __glXNewListTable()) == nullptr)
        return __glXSingleError(pgc, pv, GL_OUT_OF_MEMORY);
    vReplyRetval(pgc, __glXGenListNames(gc, n));
    return GLX_SUCCESS;
}

ULONG __glXDisp_IsList(GLClient* pgc, const void* pv) {
    const BYTE* pj = nullptr;
    if (const ULONG x = __glXSingleStart(pgc, pv, 1, &pj)) return x;
    vReplyRetval(pgc, __glXIsListName(pgc->gc, __glXArgWord(pj, 0)));
    return GLX_SUCCESS;
}

ULONG __glXDisp_DeleteLists(GLClient* pgc, const void* pv) {
    const BYTE* pj = nullptr;
    if (const ULONG x = __glXSingleStart(pgc, pv, 2, &pj)) return x;
    const ULONG first = __glXArgWord(pj, 0);
    const LONG n = static_cast<LONG>(__glXArgWord(pj, 1));
    if (!__glXDeleteListRange(pgc->gc, first, n)) return __glXSingleError(pgc, pv, GL_OUT_OF_MEMORY);
    return GLX_SUCCESS;
}
