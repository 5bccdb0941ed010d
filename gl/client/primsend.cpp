// The vertex ring of a context and the sending of its batches: the shared
// PrimSegment (the server draws a batch straight from its slots) or a
// private block of the same layout whose arrays are copied into each
// command; the ring's wrap and its wait for the server; a primitive
// continued across a full batch; an open batch turned back into plain
// render commands.
#include <cstring>

#include "gl10.h"
#include "vertex.h"

namespace {

using vtx::pRing;

constexpr ULONG kBatchRoom = PRIM_BATCH_VERTICES + 1;  // the vertices and the slot after them
constexpr ULONG kHandOverVertices = 2000;

bool bEnvironmentSet(const char* pszName) {
    char ach[100];
    return GetEnvironmentVariableA(pszName, ach, sizeof ach) > 0;
}

ULONG ulConsumed(const PrimSegment* ring) { return __atomic_load_n(&ring->consumedIndex, __ATOMIC_SEQ_CST); }

void vPut(BYTE*& pj, const void* pv, ULONG cj) {
    std::memcpy(pj, pv, cj);
    pj += cj;
}

}  // namespace

void SetupPrimitiveBuffer(ThreadBlock* ptb, ClientContext* cc) {
    cc->batchingSetUp = 1;
    if (bEnvironmentSet("NOGLPRIMITIVE") || cc->primSegment != nullptr) return;
    cc->primShared = 0;
    if (!bEnvironmentSet("NOGLSHAREDMEMORY") && CreatePrimSegment(ptb, cc) == 0) cc->primShared = 1;
    if (cc->primShared == 0) cc->primSegment = LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, PRIM_SEGMENT_SIZE);
    cc->vertexIndex = 0;
    cc->batching = 0;
}

ULONG CreatePrimSegment(ThreadBlock* ptb, ClientContext* cc) {
    HANDLE hSection = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT, 0,
                                         PRIM_SEGMENT_SIZE, nullptr);
    if (hSection == nullptr) return 1;
    void* pv = MapViewOfFile(hSection, FILE_MAP_WRITE, 0, 0, 0);
    if (pv == nullptr) {
        CloseHandle(hSection);
        return 1;
    }
    cc->primSegmentHandle = hSection;
    cc->primSegment = pv;
    if (ptb != nullptr) WaitFlushWorker(ptb);
    // The request goes on the device context the application made current
    // with this context: the one of the thread's last DrvSetContext.
    BYTE aj[GLCMD_ARG(2)];
    vBuildRequest(aj, sizeof aj, GLCMD_CREATEPRIMSEGMENT, 0,
                  {static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(hSection)), PRIM_SEGMENT_SIZE});
    if (ptb != nullptr && ExtEscape(ptb->hdc, OPENGL_CMD, sizeof aj, reinterpret_cast<LPCSTR>(aj), 0, nullptr) > 0) {
        pRing(cc)->numStrips = 0;
        return 0;
    }
    UnmapViewOfFile(pv);
    CloseHandle(hSection);
    cc->primSegment = nullptr;
    cc->primSegmentHandle = nullptr;
    return 1;
}

void FreePrimitiveBuffer(ClientContext* cc) {
    if (cc->primSegment != nullptr) {
        if (cc->primShared != 0) {
            UnmapViewOfFile(cc->primSegment);
            CloseHandle(cc->primSegmentHandle);
        } else {
            LocalFree(cc->primSegment);
        }
    }
    cc->primSegment = nullptr;
    cc->primSegmentHandle = nullptr;
    cc->batchingSetUp = 0;
}

void __zyd_glXPrimitiveWaitSpace(ThreadBlock* ptb, ClientContext* cc) {
    if (cc->primShared == 0 || ptb == nullptr) return;
    if (ptb->half != nullptr && ptb->half->writeOffset != ptb->half->readOffset) {
        FlushSMSegment(ptb);
        cc->sinceHandOver = 0;
    }
    WaitFlushWorker(ptb);
}

void primsend(ThreadBlock* ptb, ClientContext* cc) {
    PrimSegment* ring = pRing(cc);
    if (cc->batchCount == 0) {
        if (ring->vertexFlags[cc->batchFirst] != 0) ReEmitBatch(ptb, cc);
        ring->numStrips = 0;
        return;
    }
    const ULONG mode = cc->batchMode == GL_LINE_LOOP ? GL_LINE_STRIP : cc->batchMode;
    const ULONG n = cc->batchCount;
    PrimitiveZYDHeader h{};
    h.opcode = static_cast<std::uint16_t>(X_GLrop_PrimitiveZYD);
    h.first = static_cast<std::uint16_t>(cc->batchFirst);
    h.count = static_cast<std::uint16_t>(n);
    h.mode = static_cast<std::uint16_t>(cc->continuation | mode);
    h.orMask = static_cast<std::uint16_t>(cc->orMask);
    h.andMask = static_cast<std::uint16_t>(cc->andMask);
    if (cc->primShared != 0) {
        if (mode == GL_POINTS || mode == GL_TRIANGLES || mode == GL_TRIANGLE_FAN || mode == GL_QUADS ||
            mode == GL_POLYGON)
            ring->numStrips = 0;
        h.length = sizeof h;
        h.inSegment = 1;
        h.numStrips = static_cast<std::uint16_t>(ring->numStrips);
        if (BYTE* pj = pjAppendRender(ptb, sizeof h)) std::memcpy(pj, &h, sizeof h);
    } else {
        const ULONG orMask = cc->orMask;
        const bool bFlags = cc->orMask != cc->andMask;
        ULONG w = 4;
        if (bFlags) w += 1;
        if (orMask & (VTX_RGB | VTX_RGBA)) w += 4;
        if (orMask & VTX_INDEX) w += 1;
        if (orMask & VTX_NORMAL) w += 3;
        if (orMask & VTX_TEXCOORD) w += 4;
        // The edge flags travel too when a vertex has one: the server reads
        // them from the command whenever orMask names them.
        if (orMask & VTX_EDGEFLAG) w += 1;
        const ULONG cStrips = ring->numStrips;
        const ULONG cj = sizeof h + 4 * (n * w + cStrips);
        h.length = static_cast<std::uint16_t>(cj);
        h.inSegment = 0;
        h.numStrips = static_cast<std::uint16_t>(cStrips);
        DbgPrint("NOT USING SHARED MEMORY primsend: numStrips == %d\n", static_cast<int>(cStrips));
        if (BYTE* pj = pjAppendRender(ptb, cj)) {
            const ULONG f = cc->batchFirst;
            vPut(pj, &h, sizeof h);
            if (mode == GL_LINE_STRIP) vPut(pj, &ring->stripLengths[f], 4 * cStrips);
            if (bFlags) vPut(pj, &ring->vertexFlags[f], 4 * n);
            vPut(pj, ring->position[f], 16 * n);
            if (orMask & (VTX_RGB | VTX_RGBA)) vPut(pj, ring->color[f], 16 * n);
            if (orMask & VTX_INDEX) vPut(pj, &ring->colorIndex[f], 4 * n);
            if (orMask & VTX_NORMAL) vPut(pj, ring->normal[f], 12 * n);
            if (orMask & VTX_TEXCOORD) vPut(pj, ring->texCoord[f], 16 * n);
            if (orMask & VTX_EDGEFLAG) vPut(pj, &ring->edgeFlag[f], 4 * n);
            if (mode != GL_LINE_STRIP) vPut(pj, &ring->stripLengths[f], 4 * cStrips);
        }
    }
    cc->sinceHandOver += n;
    cc->batchFirst = cc->vertexIndex;
    cc->batchCount = 0;
    if (ring->vertexFlags[cc->batchFirst] != 0) {
        // Attributes given after the last vertex go out as plain commands,
        // so that the current values stay right.
        const ULONG batching = cc->batching;
        ReEmitBatch(ptb, cc);
        cc->batching = batching;
        ring->vertexFlags[cc->batchFirst] = 0;
    }
    if (cc->primShared != 0) {
        if (cc->batchFirst + kBatchRoom > PRIM_SEGMENT_VERTICES) {
            if (cc->batchFirst < ulConsumed(ring)) {
                __zyd_glXPrimitiveWaitSpace(ptb, cc);
                if (cc->batchFirst < ulConsumed(ring))
                    vTrace(1, "%s%s\n", "__zyd_glXPrimitiveWaitSpace didn't wait long enough",
                           " before the client wrapped\n");
            }
            cc->vertexIndex = cc->batchFirst = 0;
        }
        const ULONG c = ulConsumed(ring);
        if (cc->batchFirst < c && cc->batchFirst + kBatchRoom > c) {
            __zyd_glXPrimitiveWaitSpace(ptb, cc);
        } else if (cc->sinceHandOver >= kHandOverVertices) {
            FlushSMSegment(ptb);
            cc->sinceHandOver = 0;
        }
    } else {
        cc->vertexIndex = cc->batchFirst = 0;
        if (cc->sinceHandOver >= kHandOverVertices) {
            FlushSMSegment(ptb);
            cc->sinceHandOver = 0;
        }
    }
    cc->continuation = 0;
    ring->numStrips = 0;
}

void vOpenContinuation(ClientContext* cc) {
    cc->continuation = PRIM_FROM_PREVIOUS;
    cc->batchCount = 0;
    cc->andMask = CLT_AND_MASK_START;
    cc->batchFirst = cc->vertexIndex;
}

void ContinueBatch(ThreadBlock* ptb, ClientContext* cc) {
    PrimState* ps = ptb->primState;
    PrimSegment* ring = pRing(cc);
    ULONG k = 0;
    switch (cc->batchMode) {
        case GL_LINE_STRIP:
        case GL_LINE_LOOP: k = 1; break;
        case GL_TRIANGLE_STRIP:
        case GL_QUAD_STRIP:
            if (ps->vertexCount <= 3) {
                // the whole strip moves to the next batch
                k = ps->vertexCount;
                cc->batchCount -= k;
                ps->vertexCount = 0;
                ring->numStrips -= 1;
            } else {
                k = 2;
                if (ps->vertexCount & 1u) {
                    // the strip ends one vertex early, so that the next
                    // part keeps its winding
                    k = 3;
                    ps->vertexCount -= 1;
                    cc->batchCount -= 1;
                    ring->stripLengths[cc->batchFirst + ring->numStrips - 1] -= 1;
                }
            }
            break;
        case GL_POLYGON: {
            // An unconverted polygon goes on as plain render commands; its
            // strip length is withdrawn with the batch.
            ring->numStrips = 0;
            vtx::vAppend(ptb, X_GLrop_Begin, 8, &cc->batchMode, 4);
            ReEmitBatch(ptb, cc);
            cc->batching = 0;
            return;
        }
        default: break;
    }
    // The carried vertices are taken before the send: after it the slots
    // may be the start of the ring again.
    // Each carries the values the server gives it in this batch, so that
    // in the next the server does not fill them from the last vertex.
    VertexSlot carried[3];
    for (ULONG j = 0; j < k; ++j) vLoadSlotComplete(cc, cc->vertexIndex - k + j, &carried[j]);
    cc->continuation |= PRIM_TO_NEXT;
    primsend(ptb, cc);
    vOpenContinuation(cc);
    ring->vertexFlags[cc->vertexIndex] = 0;
    for (ULONG j = 0; j < k; ++j) {
        VertexSlot& vs = carried[j];
        if (cc->edgeFlagsShared == 0) vs.edgeFlag = static_cast<BYTE>(ring->edgeFlag[cc->vertexIndex]);
        vStoreSlot(cc, cc->vertexIndex, vs);
        cc->orMask |= vs.flags;
        cc->andMask &= vs.flags;
        cc->vertexIndex += 1;
        cc->batchCount += 1;
        ring->vertexFlags[cc->vertexIndex] = 0;
    }
}

void ReEmitBatch(ThreadBlock* ptb, ClientContext* cc) {
    PrimSegment* ring = pRing(cc);
    for (ULONG i = cc->batchFirst; i <= cc->batchFirst + cc->batchCount; ++i) {
        const ULONG fl = ring->vertexFlags[i];
        if (fl & VTX_RGB) vtx::vAppend(ptb, X_GLrop_Color3fv, 16, ring->color[i], 12);
        else if (fl & VTX_RGBA) vtx::vAppend(ptb, X_GLrop_Color4fv, 20, ring->color[i], 16);
        if (fl & VTX_INDEX) vtx::vAppend(ptb, X_GLrop_Indexfv, 8, &ring->colorIndex[i], 4);
        if (fl & VTX_NORMAL) vtx::vAppend(ptb, X_GLrop_Normal3fv, 16, ring->normal[i], 12);
        if (fl & VTX_TEXCOORD) vtx::vAppend(ptb, X_GLrop_TexCoord4fv, 20, ring->texCoord[i], 16);
        if (fl & VTX_EDGEFLAG) {
            const ULONG flag = ring->edgeFlag[i] & 0xFFu;
            vtx::vAppend(ptb, X_GLrop_EdgeFlagv, 8, &flag, 4);
        }
        if (fl & VTX_XY) vtx::vAppend(ptb, X_GLrop_Vertex2fv, 12, ring->position[i], 8);
        else if (fl & VTX_XYZ) vtx::vAppend(ptb, X_GLrop_Vertex3fv, 16, ring->position[i], 12);
        else if (fl & VTX_XYZW) vtx::vAppend(ptb, X_GLrop_Vertex4fv, 20, ring->position[i], 16);
    }
    cc->batching = 0;
    cc->vertexIndex = cc->batchFirst;
    ptb->primState->convert = 0;
}
