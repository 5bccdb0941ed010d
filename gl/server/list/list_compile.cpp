// Compiling a display list: NewList makes the list-compile table current,
// whose every slot stores the request into the list being compiled (with
// compile-and-execute it then runs too); Begin opens a primitive batch the
// list owns, End closes it, and the batch goes into the list as a
// reference when the next request is stored. EndList files the list under
// its name. Every allocation is checked: a request that cannot be stored
// records GL_OUT_OF_MEMORY and leaves the list as it was.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "dispatch/dispatch.h"
#include "dispatch/render_args.h"
#include "list/list.h"
#include "pixel/pixel.h"
#include "segment/segment.h"
#include "seams.h"
#include "state/queries.h"

namespace {

constexpr ULONG kBatchRef = 8;  // bytes of a batch reference

__GLXlistHead* phCompiling(GLContext* gc) {
    return gc != nullptr && gc->bCompiling && (gc->listMode & GLX_LIST_COMPILING)
               ? static_cast<__GLXlistHead*>(gc->pListCompiled)
               : nullptr;
}

void vLink(__GLXlistHead* pHead, __GLXlistChunk* pc) {
    *pHead->ppLink = pc;
    pHead->ppLink = &pc->pNext;
    pHead->pLast = pc->bLarge ? nullptr : pc;
}

// Room for cj more bytes in the list's ordinary chunk: the chunk to write
// into, or null when none can be had (nothing changed).
__GLXlistChunk* pcRoom(__GLXlistHead* pHead, ULONG cj) {
    __GLXlistChunk* pc = pHead->pLast;
    if (pc != nullptr && pc->cjCapacity > pc->cjUsed + cj) return pc;
    auto* pNew = static_cast<__GLXlistChunk*>(LocalAlloc(LPTR, sizeof(__GLXlistChunk)));
    const ULONG cjCapacity = std::max(GLX_LIST_CHUNK_MIN, cj + 4);
    BYTE* pj = pNew != nullptr ? static_cast<BYTE*>(LocalAlloc(LPTR, cjCapacity)) : nullptr;
    if (pj == nullptr) {
        if (pNew != nullptr) LocalFree(pNew);
        return nullptr;
    }
    if (pc != nullptr) pc->cjCapacity = pc->cjUsed;  // the chunk is done
    *pNew = __GLXlistChunk{cjCapacity, 0, 0, 0, 0, pj, nullptr};
    vLink(pHead, pNew);
    return pNew;
}

BOOL bAppend(__GLXlistHead* pHead, const void* pv, ULONG cj) {
    __GLXlistChunk* pc = pcRoom(pHead, cj);
    if (pc == nullptr) return FALSE;
    std::memcpy(pc->pjData + pc->cjUsed, pv, cj);
    pc->cjUsed += cj;
    return TRUE;
}

// A large request (render header of length 0, cj bytes from it) as a
// chunk of its own: {u32 cj + 4, header, body}.
BOOL bAppendLarge(__GLXlistHead* pHead, const BYTE* pj, ULONG cj) {
    if (cj > 0xFFFFFFFFu - 4) return FALSE;
    auto* pc = static_cast<__GLXlistChunk*>(LocalAlloc(LPTR, sizeof(__GLXlistChunk)));
    BYTE* pjData = pc != nullptr ? static_cast<BYTE*>(LocalAlloc(LPTR, cj + 4)) : nullptr;
    if (pjData == nullptr) {
        if (pc != nullptr) LocalFree(pc);
        return FALSE;
    }
    const ULONG cjTotal = cj + 4;
    std::memcpy(pjData, &cjTotal, 4);
    std::memcpy(pjData + 4, pj, cj);
    *pc = __GLXlistChunk{cjTotal, cjTotal, 1, 0, 0, pjData, nullptr};
    vLink(pHead, pc);
    return TRUE;
}

// Runs a stored request at once (compile and execute): through the
// inside-Begin/End table inside Begin, else the immediate table. The list
// being compiled keeps the list-compile table current.
void vExecuteNow(GLClient* pgc, const void* pv) {
    GLContext* gc = pgc->gc;
    const __GLXdispatchFn* pTable = gc->bInBegin ? __glXRenderBeginEndTable : __glXRenderTable;
    __glXDispatchRender(pgc, pTable, pv);
    if (phCompiling(gc) != nullptr) gc->pRenderTable = __glXRenderListTable;
}

// Moves the context's pending batch into the list being compiled when it
// is one filled for the list: GL_NO_ERROR, or GL_OUT_OF_MEMORY with the
// batch left pending (still the context's).
ULONG ulStorePending(GLClient* pgc) {
    GLContext* gc = pgc->gc;
    __GLXpacketBuffer* pBatch = gc != nullptr ? gc->pPending : nullptr;
    if (phCompiling(gc) == nullptr || pBatch == nullptr || pBatch->target != GLX_PACKETS_LIST) return GL_NO_ERROR;
    return __glXStoreBatchInList(pgc, pBatch) == GLX_SUCCESS ? GL_NO_ERROR : GL_OUT_OF_MEMORY;
}

}  // namespace

ULONG __glXListMode(const GLContext* gc) { return phCompiling(const_cast<GLContext*>(gc)) ? gc->listMode : 0; }
ULONG __glXListIndex(const GLContext* gc) {
    const __GLXlistHead* pHead = phCompiling(const_cast<GLContext*>(gc));
    return pHead != nullptr ? pHead->name : 0;
}

ULONG __glXCompileDrawPixels(GLClient* pgc, const void* pvRequest, BYTE** ppj, ULONG* pcj) {
    constexpr ULONG kFixed = 4 + GLXFixedBody(X_GLrop_DrawPixels);  // header, unpack header, width, height, format, type
    const ULONG cj = __glXRenderLength(pgc, pvRequest);
    if (cj < kFixed) return GL_INVALID_VALUE;
    const BYTE* pj = static_cast<const BYTE*>(pvRequest);
    const LONG w = static_cast<LONG>(__glXArgWord(pj, 6)), h = static_cast<LONG>(__glXArgWord(pj, 7));
    const ULONG format = __glXArgWord(pj, 8), type = __glXArgWord(pj, 9);
    if (w < 0 || h < 0) return GL_INVALID_VALUE;
    if (format - GL_COLOR_INDEX > GL_LUMINANCE_ALPHA - GL_COLOR_INDEX) return GL_INVALID_ENUM;
    const ULONG typeCode = __glXTypeCode(type);
    if (typeCode == ~0u || __glXCheckBitmapFormat(format, type) != GL_NO_ERROR) return GL_INVALID_ENUM;
    // The record holds an RGB image as RGBA; its size a multiple of 4.
    const std::uint64_t cjRecordImage = (__glXImageSize(w, h, format == GL_RGB ? GL_RGBA : format, type) + 3) & ~std::uint64_t{3};
    if (cjRecordImage > (64u << 20)) return GL_OUT_OF_MEMORY;
    const ULONG cjImage = static_cast<ULONG>(__glXImageSize(w, h, format, type));
    if (const ULONG e = __glXSetRequestUnpack(pgc->gc, pj + 4)) return e;
    const ULONG components = __glXFormatComponents(format);
    __GLXimage image{};
    ULONG glError = GL_NO_ERROR;
    if (cjImage != 0) {
        glError = __glXUnpackImage(pgc->gc, w, h, type, components, __glXTexTypeSize(typeCode), pj + kFixed,
                                   cj - kFixed, &image, FALSE);
    }
    BYTE* pjRecord = nullptr;
    if (glError == GL_NO_ERROR) {
        pjRecord = static_cast<BYTE*>(LocalAlloc(LPTR, GLX_LIST_PIXELS_HEADER + static_cast<ULONG>(cjRecordImage)));
        if (pjRecord == nullptr) glError = GL_OUT_OF_MEMORY;
    }
    if (pjRecord != nullptr) {
        std::memcpy(pjRecord, pj, kFixed);
        const ULONG aw[3] = {static_cast<ULONG>(cjRecordImage), format - GL_COLOR_INDEX, typeCode};
        std::memcpy(pjRecord + kFixed, aw, sizeof aw);
        const ULONG cjCopy = image.cj < cjImage ? static_cast<ULONG>(image.cj) : cjImage;
        if (cjCopy != 0) std::memcpy(pjRecord + GLX_LIST_PIXELS_HEADER, image.pj, cjCopy);
        *ppj = pjRecord;
        *pcj = GLX_LIST_PIXELS_HEADER + static_cast<ULONG>(cjRecordImage);
    }
    __glXFreeImage(&image);
    return glError;
}

ULONG __glXStoreBatchInList(GLClient* pgc, __GLXpacketBuffer* pBatch) {
    GLContext* gc = pgc != nullptr ? pgc->gc : nullptr;
    __GLXlistHead* pHead = phCompiling(gc);
    // Only a list being compiled takes a batch, and only one filled for it.
    if (pHead == nullptr || pBatch == nullptr || pBatch->target != GLX_PACKETS_LIST) return GLX_BAD_ACCESS;
    // Room for the reference and the batch record first.
    if (pHead->cBatches == pHead->cBatchCapacity) {
        const ULONG cNew = pHead->cBatchCapacity == 0 ? 8 : pHead->cBatchCapacity * 2;
        auto* pNew = static_cast<__GLXlistBatch*>(LocalAlloc(LPTR, cNew * sizeof(__GLXlistBatch)));
        if (pNew == nullptr) return GLX_BAD_ALLOC;
        if (pHead->cBatches != 0) std::memcpy(pNew, pHead->pBatches, pHead->cBatches * sizeof(__GLXlistBatch));
        if (pHead->pBatches != nullptr) LocalFree(pHead->pBatches);
        pHead->pBatches = pNew;
        pHead->cBatchCapacity = cNew;
    }
    const ULONG i = pHead->cBatches;
    const USHORT aus[2] = {kBatchRef, X_GLrop_PacketAddrZYD};
    BYTE ajRef[kBatchRef];
    std::memcpy(ajRef, aus, 4);
    std::memcpy(ajRef + 4, &i, 4);
    if (!bAppend(pHead, ajRef, kBatchRef)) return GLX_BAD_ALLOC;
    __GLXlistBatch& b = pHead->pBatches[i];
    b = __GLXlistBatch{pBatch, 0, {}};
    pHead->cBatches = i + 1;
    // The list owns the batch now; the primitive buffer opens a new one for
    // the next primitive, since the context no longer holds this one.
    if (gc->pPending == pBatch) gc->pPending = nullptr;
    __glXPinBatch(&b);
    if (gc->listMode & GLX_LIST_EXECUTE) __glXDispatchPending(pgc, pBatch);
    return GLX_SUCCESS;
}

ULONG __glXListStore(GLClient* pgc, const void* pvRequest) {
    // What the request always carries is there (__glXDispatchRender).
    const ULONG opcode = __glXRenderOpcode(pvRequest);
    GLContext* gc = pgc != nullptr ? pgc->gc : nullptr;
    __GLXlistHead* pHead = phCompiling(gc);
    if (pHead == nullptr) return GLX_SUCCESS;
    if (opcode == X_GLrop_TexImage2D) {
        // Never kept in a list; compiled with execution it still runs now.
        if (gc->listMode & GLX_LIST_EXECUTE) vExecuteNow(pgc, pvRequest);
        return GLX_SUCCESS;
    }
    // The list's own records are made here, never taken from the client.
    if (opcode == X_GLrop_PacketAddrZYD) return __glXRenderError(pgc, pvRequest, GL_INVALID_OPERATION);
    USHORT cjHeader;
    std::memcpy(&cjHeader, pvRequest, 2);
    const ULONG cj = __glXRenderLength(pgc, pvRequest);
    if (cj < 4 || (cjHeader != 0 && cj % 4 != 0)) return __glXBadLength(pgc, pvRequest);
    if (ulStorePending(pgc) != GL_NO_ERROR) return __glXRenderError(pgc, pvRequest, GL_OUT_OF_MEMORY);
    BOOL bStored;
    if (opcode == X_GLrop_DrawPixels) {
        BYTE* pjRecord = nullptr;
        ULONG cjRecord = 0;
        const ULONG glError = __glXCompileDrawPixels(pgc, pvRequest, &pjRecord, &cjRecord);
        if (glError != GL_NO_ERROR) return __glXRenderError(pgc, pvRequest, glError);
        bStored = bAppend(pHead, pjRecord, cjRecord);
        LocalFree(pjRecord);
    } else if (cjHeader == 0) {
        bStored = bAppendLarge(pHead, static_cast<const BYTE*>(pvRequest), cj);
    } else {
        bStored = bAppend(pHead, pvRequest, cj);
    }
    if (!bStored) return __glXRenderError(pgc, pvRequest, GL_OUT_OF_MEMORY);
    if (gc->listMode & GLX_LIST_EXECUTE) vExecuteNow(pgc, pvRequest);
    return GLX_SUCCESS;
}

ULONG __glXListBegin(GLClient* pgc, const void* pvRequest) {
    GLContext* gc = pgc != nullptr ? pgc->gc : nullptr;
    if (phCompiling(gc) == nullptr) return GLX_SUCCESS;
    ULONG mode;
    std::memcpy(&mode, static_cast<const BYTE*>(pvRequest) + 4, 4);
    if (mode > 9) gc->listMode |= GLX_LIST_PLAIN_BEGIN;
    if (gc->listMode & GLX_LIST_PLAIN_BEGIN) return __glXListStore(pgc, pvRequest);
    // The batch of an earlier primitive goes into the list before this one.
    if (gc->pPending != nullptr && gc->pPending->target == GLX_PACKETS_IMMEDIATE) __glXFlushPending(pgc);
    if (__glOpenPrimitive(pgc, &gc->pPrimBuffer, &gc->pPending, GLX_PACKETS_LIST, mode, 0) != 0)
        return __glXRenderError(pgc, pvRequest, GL_OUT_OF_MEMORY);
    gc->pRenderTable = __glXRenderBeginEndTable;
    gc->bInBegin = 1;
    return GLX_SUCCESS;
}

ULONG __glXListEnd(GLClient* pgc, const void* pvRequest) {
    GLContext* gc = pgc != nullptr ? pgc->gc : nullptr;
    if (phCompiling(gc) == nullptr) return GLX_SUCCESS;
    // Stored (and run) while the in-Begin flag still says where it runs.
    const ULONG x = __glXListStore(pgc, pvRequest);
    gc->bInBegin = 0;
    gc->listMode &= ~GLX_LIST_PLAIN_BEGIN;
    gc->pRenderTable = __glXRenderListTable;
    return x;
}

ULONG __glXListSpill(GLClient* pgc, const void* pvRequest) {
    GLContext* gc = pgc != nullptr ? pgc->gc : nullptr;
    if (phCompiling(gc) == nullptr) return GLX_SUCCESS;
    if (gc->bInBegin && (gc->listMode & GLX_LIST_PLAIN_BEGIN) == 0) {
        // The vertices so far come back as plain requests; the batch (what
        // earlier primitives filled) goes into the list first.
        BYTE* pjTaken = nullptr;
        ULONG cjTaken = 0;
        if (!__glTakeBackPrimitive(pgc, &pjTaken, &cjTaken))
            return __glXRenderError(pgc, pvRequest, GL_OUT_OF_MEMORY);
        ulStorePending(pgc);
        gc->listMode |= GLX_LIST_PLAIN_BEGIN;
        gc->pRenderTable = __glXRenderListTable;
        // Run as well: the requests taken out begin the primitive again at
        // once, their Begin through the immediate table (the batch, run as
        // it went into the list, no longer holds these vertices).
        if (gc->listMode & GLX_LIST_EXECUTE) gc->bInBegin = 0;
        for (ULONG off = 0; off + 4 <= cjTaken;) {
            USHORT cj;
            std::memcpy(&cj, pjTaken + off, 2);
            if (cj < 4 || cj % 4 != 0 || cj > cjTaken - off) break;
            __glXListStore(pgc, pjTaken + off);
            off += cj;
        }
        gc->bInBegin = 1;
        if (pjTaken != nullptr) LocalFree(pjTaken);
    }
    return __glXListStore(pgc, pvRequest);
}

ULONG __glXAppendLargeChunk(GLClient* pgc) {
    GLContext* gc = pgc != nullptr ? pgc->gc : nullptr;
    __GLXlistHead* pHead = phCompiling(gc);
    auto* plc = gc != nullptr ? static_cast<GLLargeCommand*>(gc->pLarge) : nullptr;
    if (pHead == nullptr || plc == nullptr || plc->cjTotal < 8) return GLX_BAD_ACCESS;
    ULONG opcode;
    std::memcpy(&opcode, plc->pjBuffer + 4, 4);
    if (opcode >= GLX_RENDER_ENTRIES || plc->cjTotal != plc->cjTotal2) return GLX_BAD_ACCESS;
    if (opcode == X_GLrop_TexImage2D || opcode == X_GLrop_PacketAddrZYD || opcode == X_GLrop_DrawPixels) {
        // Not kept, or kept in a form of its own: through the store.
        const ULONG cjRun = plc->cjTotal - 4;
        BYTE* pjRun = plc->pjBuffer + 4;
        const __GLXrenderHeader hdr{0, static_cast<USHORT>(opcode)};
        std::memcpy(pjRun, &hdr, sizeof hdr);
        const ULONG cjSaved = pgc->cjLarge;
        pgc->cjLarge = cjRun;
        __glXListStore(pgc, pjRun);
        pgc->cjLarge = cjSaved;
        return GLX_BAD_ACCESS;  // the caller frees the record
    }
    if (ulStorePending(pgc) != GL_NO_ERROR) return GLX_BAD_ALLOC;
    // The record is a chunk as it stands; its second word becomes the
    // render header {0, opcode}, so that the body runs from +4 as the
    // large-request path runs it.
    const __GLXrenderHeader hdr{0, static_cast<USHORT>(opcode)};
    std::memcpy(plc->pjBuffer + 4, &hdr, sizeof hdr);
    static_assert(sizeof(GLLargeCommand) == sizeof(__GLXlistChunk));
    auto* pc = reinterpret_cast<__GLXlistChunk*>(plc);
    pc->bLarge = 1;
    pc->pNext = nullptr;
    vLink(pHead, pc);
    gc->pLarge = nullptr;
    if (gc->listMode & GLX_LIST_EXECUTE) {
        const ULONG cjSaved = pgc->cjLarge;
        pgc->cjLarge = pc->cjUsed - 4;
        vExecuteNow(pgc, pc->pjData + 4);
        pgc->cjLarge = cjSaved;
    }
    return GLX_SUCCESS;
}

ULONG __glXDisp_NewList(GLClient* pgc, const void* pvRequest) {
    GLContext* gc = pgc != nullptr ? pgc->gc : nullptr;
    if (gc == nullptr) return GLX_BAD_ACCESS;
    const BYTE* pj = __glXSingleParams(pvRequest, 2);
    if (pj == nullptr) return GLX_BAD_LENGTH;
    const ULONG name = __glXArgWord(pj, 0), mode = __glXArgWord(pj, 1);
    if (gc->bInBegin || phCompiling(gc) != nullptr) return __glXSingleError(pgc, pvRequest, GL_INVALID_OPERATION);
    if (name == 0) return __glXSingleError(pgc, pvRequest, GL_INVALID_VALUE);
    if (mode != GL_COMPILE && mode != GL_COMPILE_AND_EXECUTE) return __glXSingleError(pgc, pvRequest, GL_INVALID_ENUM);
    __glXFlushPending(pgc);
    // A list left over from a compile the context gave up (it was made
    // current again meanwhile) goes first.
    __glXFreeList(pgc, static_cast<__GLXlistHead*>(gc->pListCompiled));
    gc->pListCompiled = nullptr;
    if (gc->pListTable == nullptr && (gc->pListTable = __glXNewListTable()) == nullptr)
        return __glXSingleError(pgc, pvRequest, GL_OUT_OF_MEMORY);
    auto* pHead = static_cast<__GLXlistHead*>(LocalAlloc(LPTR, sizeof(__GLXlistHead)));
    if (pHead == nullptr || !__glXMarkListName(gc->pListTable, name)) {
        if (pHead != nullptr) LocalFree(pHead);
        return __glXSingleError(pgc, pvRequest, GL_OUT_OF_MEMORY);
    }
    *pHead = __GLXlistHead{};
    pHead->name = name;
    pHead->ulOne = 1;
    pHead->ppLink = &pHead->pFirst;
    gc->pListCompiled = pHead;
    gc->listMode = GLX_LIST_COMPILING | (mode == GL_COMPILE_AND_EXECUTE ? GLX_LIST_EXECUTE : 0);
    gc->bCompiling = 1;
    gc->pSavedTable = gc->pRenderTable;
    gc->pRenderTable = __glXRenderListTable;
    return GLX_SUCCESS;
}

ULONG __glXDisp_EndList(GLClient* pgc, const void* pvRequest) {
    GLContext* gc = pgc != nullptr ? pgc->gc : nullptr;
    if (gc == nullptr) return GLX_BAD_ACCESS;
    __GLXlistHead* pHead = phCompiling(gc);
    if (pHead == nullptr || gc->bInBegin) return __glXSingleError(pgc, pvRequest, GL_INVALID_OPERATION);
    ULONG glError = ulStorePending(pgc);
    if (glError == GL_NO_ERROR && !__glXMarkListName(gc->pListTable, pHead->name)) glError = GL_OUT_OF_MEMORY;
    if (glError != GL_NO_ERROR) return __glXSingleError(pgc, pvRequest, glError);
    if (pHead->pLast != nullptr) pHead->pLast->cjCapacity = pHead->pLast->cjUsed;
    __glXDeleteList(gc, pHead->name);
    __GLXlistHead*& pBucket = gc->pListTable->apBuckets[pHead->name % GLX_LIST_BUCKETS];
    pHead->pNext = pBucket;
    pBucket = pHead;
    gc->pListCompiled = nullptr;
    gc->pRenderTable = __glXRenderTable;
    gc->listMode = 0;
    gc->bCompiling = 0;
    return GLX_SUCCESS;
}
