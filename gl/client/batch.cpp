// glBegin and glEnd: the vertices of a primitive go into the context's
// vertex ring as one batch, kept open across glBegin/glEnd pairs of one mode
// and sent as one command (primsend.cpp); fans and polygons become
// triangles and quads in the ring. Small fans (while a list is compiled) and
// small polygons (when their polygon state does not allow quads) go through
// the thread's six-slot cache and come out as independent triangles or
// quads. Without a ring the calls are the plain render commands.
#include <algorithm>
#include <cstring>

#include "batch.h"
#include "large.h"
#include "vertex.h"

namespace {

using vtx::pRing;

void vAppendWord(ThreadBlock* ptb, unsigned opcode, ULONG word) { vtx::vAppend(ptb, opcode, 8, &word, 4); }
void vAppendEnd(ThreadBlock* ptb) { vtx::vAppend(ptb, X_GLrop_End, 4, nullptr, 0); }

// Records a strip length of the open batch.
void vRecordStrip(ClientContext* cc, ULONG length) {
    PrimSegment* ring = pRing(cc);
    ring->stripLengths[cc->batchFirst + ring->numStrips] = length;
    ring->numStrips += 1;
}

// Stores a whole vertex at the slot to come and counts it.
void vAppendSlot(ClientContext* cc, const VertexSlot& vs) {
    vStoreSlot(cc, cc->vertexIndex, vs);
    cc->orMask |= vs.flags;
    cc->andMask &= vs.flags;
    cc->vertexIndex += 1;
    cc->batchCount += 1;
    pRing(cc)->vertexFlags[cc->vertexIndex] = 0;
}

// Marks slot i as a line loop's, fan's or polygon's first vertex, or as a
// repeat of it: the server gives a repeat the first vertex's values for the
// attributes it lacks (that vertex's may be values current at the server,
// which the client does not know).
void vMark(ClientContext* cc, ULONG i, ULONG marker) {
    pRing(cc)->vertexFlags[i] |= marker;
    cc->orMask |= marker;
}

// Takes back the last c vertices of the batch.
void vDropTail(ClientContext* cc, ULONG c) {
    cc->vertexIndex -= c;
    cc->batchCount -= c;
    pRing(cc)->vertexFlags[cc->vertexIndex] = 0;
}

constexpr ULONG kPositionBits = VTX_XY | VTX_XYZ | VTX_XYZW;
constexpr ULONG kAttributeBits = VTX_RGB | VTX_RGBA | VTX_INDEX | VTX_NORMAL | VTX_TEXCOORD | VTX_EDGEFLAG;

// Replays a cache slot's attributes / the slot's vertex through the entry
// points.
void vReplayAttributes(const VertexSlot& s) {
    if (s.flags & VTX_NORMAL) vtx::RequestEncoder<X_GLrop_Normal3fv>::call(s.normal);
    if (s.flags & VTX_TEXCOORD) vtx::RequestEncoder<X_GLrop_TexCoord4fv>::call(s.texCoord);
    if (s.flags & VTX_INDEX) vtx::RequestEncoder<X_GLrop_Indexfv>::call(&s.colorIndex);
    if (s.flags & VTX_EDGEFLAG) vtx::RequestEncoder<X_GLrop_EdgeFlagv>::call(&s.edgeFlag);
    if (s.flags & VTX_RGB) vtx::RequestEncoder<X_GLrop_Color3fv>::call(s.color);
    else if (s.flags & VTX_RGBA) vtx::RequestEncoder<X_GLrop_Color4fv>::call(s.color);
}
void vReplayVertex(const VertexSlot& s) {
    vReplayAttributes(s);
    if (s.flags & VTX_XY) vtx::RequestEncoder<X_GLrop_Vertex2fv>::call(s.position);
    else if (s.flags & VTX_XYZ) vtx::RequestEncoder<X_GLrop_Vertex3fv>::call(s.position);
    else if (s.flags & VTX_XYZW) vtx::RequestEncoder<X_GLrop_Vertex4fv>::call(s.position);
}
// V(i) of the cache: the count of the cached primitive stays.
void vReplayCached(PrimState* ps, ULONG i) {
    const VertexSlot s = ps->slots[i];
    const ULONG c = ps->vertexCount;
    vReplayVertex(s);
    ps->vertexCount = c;
}
void vReplayCachedAttributes(PrimState* ps, ULONG i) {
    const VertexSlot s = ps->slots[i];
    vReplayAttributes(s);
}

// Gives base the attributes that top carries, in their place.
void vOverlay(VertexSlot* base, const VertexSlot& top) {
    if (top.flags & (VTX_RGB | VTX_RGBA)) {
        std::memcpy(base->color, top.color, sizeof top.color);
        base->flags &= ~(VTX_RGB | VTX_RGBA);
    }
    if (top.flags & VTX_INDEX) base->colorIndex = top.colorIndex;
    if (top.flags & VTX_NORMAL) std::memcpy(base->normal, top.normal, sizeof top.normal);
    if (top.flags & VTX_TEXCOORD) std::memcpy(base->texCoord, top.texCoord, sizeof top.texCoord);
    if (top.flags & VTX_EDGEFLAG) base->edgeFlag = top.edgeFlag;
    base->flags |= top.flags & kAttributeBits;
}

// A copy of the first vertex just stored at slot `copy` (closing a line loop
// or a polygon's last quad) leaves the first vertex's values current at the
// server, also those the copy takes from the first vertex there: the values
// current before the copy go again after it, in the slot to come, unless the
// application gave others there.
void vKeepCurrentAfterCopy(const ClientContext* cc, ULONG copy, VertexSlot* pAfter) {
    const ULONG given = pAfter->flags;
    pAfter->flags = 0;
    vCompleteFromBefore(cc, copy, cc->orMask & kAttributeBits & ~given, pAfter);
    pAfter->flags |= given;
}

// Opens a batch, or sends a plain Begin while compiling a list or without a
// ring; an open batch in the way closes nothing: the context records an
// invalid operation.
void vCloseAtOnce(ThreadBlock* ptb, PrimState* ps) {
    ps->endPending = 1;
    EndPendingPrimitive(ptb);
}

}  // namespace

bool bQuadConversionAllowed(const ClientContext* cc) {
    return cc->compiling == 0 &&
           (cc->cacheValid & (CLT_CACHE_POLYGON_MODE_FRONT | CLT_CACHE_POLYGON_MODE_BACK)) ==
               (CLT_CACHE_POLYGON_MODE_FRONT | CLT_CACHE_POLYGON_MODE_BACK) &&
           (cc->cacheEnables & CLT_ENABLE_SHADE_MODEL) != 0 && cc->shadeModel == GL_SMOOTH &&
           cc->polygonModeFront == GL_FILL && cc->polygonModeBack == GL_FILL;
}

void vLoadSlot(const ClientContext* cc, ULONG i, VertexSlot* pvs) {
    const PrimSegment* ring = static_cast<const PrimSegment*>(cc->primSegment);
    pvs->flags = ring->vertexFlags[i] & ~VTX_MARKERS;
    std::memcpy(pvs->position, ring->position[i], sizeof pvs->position);
    std::memcpy(pvs->color, ring->color[i], sizeof pvs->color);
    pvs->colorIndex = ring->colorIndex[i];
    std::memcpy(pvs->normal, ring->normal[i], sizeof pvs->normal);
    std::memcpy(pvs->texCoord, ring->texCoord[i], sizeof pvs->texCoord);
    pvs->edgeFlag = static_cast<BYTE>(ring->edgeFlag[i]);
}

void vStoreSlot(ClientContext* cc, ULONG i, const VertexSlot& vs) {
    PrimSegment* ring = pRing(cc);
    ring->vertexFlags[i] = vs.flags;
    std::memcpy(ring->position[i], vs.position, sizeof vs.position);
    std::memcpy(ring->color[i], vs.color, sizeof vs.color);
    ring->colorIndex[i] = vs.colorIndex;
    std::memcpy(ring->normal[i], vs.normal, sizeof vs.normal);
    std::memcpy(ring->texCoord[i], vs.texCoord, sizeof vs.texCoord);
    ring->edgeFlag[i] = vs.edgeFlag;
}

void vCompleteFromBefore(const ClientContext* cc, ULONG slot, ULONG families, VertexSlot* pvs) {
    const PrimSegment* ring = static_cast<const PrimSegment*>(cc->primSegment);
    static constexpr ULONG kFamilies[] = {VTX_RGB | VTX_RGBA, VTX_INDEX, VTX_NORMAL, VTX_TEXCOORD, VTX_EDGEFLAG};
    for (ULONG family : kFamilies) {
        if (!(families & family) || (pvs->flags & family)) continue;
        for (ULONG i = slot; i-- > cc->batchFirst;) {
            if (!(ring->vertexFlags[i] & family)) continue;
            if (family & (VTX_RGB | VTX_RGBA)) std::memcpy(pvs->color, ring->color[i], sizeof pvs->color);
            if (family == VTX_INDEX) pvs->colorIndex = ring->colorIndex[i];
            if (family == VTX_NORMAL) std::memcpy(pvs->normal, ring->normal[i], sizeof pvs->normal);
            if (family == VTX_TEXCOORD) std::memcpy(pvs->texCoord, ring->texCoord[i], sizeof pvs->texCoord);
            if (family == VTX_EDGEFLAG) pvs->edgeFlag = static_cast<BYTE>(ring->edgeFlag[i]);
            pvs->flags |= ring->vertexFlags[i] & family;
            break;
        }
    }
}

void vLoadSlotComplete(const ClientContext* cc, ULONG i, VertexSlot* pvs) {
    vLoadSlot(cc, i, pvs);
    vCompleteFromBefore(cc, i, cc->orMask, pvs);
}

void BeginPrimitive(ThreadBlock* ptb, ULONG mode) {
    PrimState* ps = ptb->primState;
    if (ps->endPending != 0) EndPendingPrimitive(ptb);
    ClientContext* cc = ptb->context;
    if (cc == nullptr) return;
    if (cc->batching != 0) {
        vSetClientError(cc, GL_INVALID_OPERATION);
        return;
    }
    if (cc->compiling == 0) {
        if (cc->batchingSetUp == 0) SetupPrimitiveBuffer(ptb, cc);
        if (cc->primSegment != nullptr) {
            cc->batchFirst = cc->vertexIndex;
            ULONG batchMode = mode;
            if (mode == GL_POLYGON && bQuadConversionAllowed(cc)) {
                batchMode = GL_QUADS;
                ps->convert = 1;
            } else if (mode == GL_TRIANGLE_FAN) {
                batchMode = GL_TRIANGLES;
                ps->convert = 1;
            }
            cc->edgeFlagsShared = 1;
            cc->batchMode = batchMode;
            cc->continuation = 0;
            cc->batching = 1;
            cc->batchCount = 0;
            cc->orMask = 0;
            cc->andMask = CLT_AND_MASK_START;
            pRing(cc)->vertexFlags[cc->batchFirst] = 0;
            return;
        }
    }
    vAppendWord(ptb, X_GLrop_Begin, mode);
}

void EndPendingPrimitive(ThreadBlock* ptb) {
    PrimState* ps = ptb->primState;
    if (ps == nullptr || ps->endPending == 0) return;
    ClientContext* cc = ptb->context;
    const bool bBatch = cc != nullptr && cc->batching != 0;
    if (bBatch && cc->compiling == 0 &&
        (ps->mode == GL_TRIANGLES || ps->mode == GL_TRIANGLE_FAN || ps->mode == GL_QUADS || ps->mode == GL_POLYGON))
        vRecordStrip(cc, cc->batchCount);
    if (ps->smallCache != 0) {
        EmitSmallPrimitive(ptb);
        ps->smallCache = 0;
    }
    ps->endPending = 0;
    ps->endCount = 0;
    if (cc != nullptr && cc->batching != 0) {
        primsend(ptb, cc);
        cc->batching = 0;
    } else {
        vAppendEnd(ptb);
    }
}

void GiveUpSmallCache(ThreadBlock* ptb) {
    PrimState* ps = ptb->primState;
    ps->smallCache = 0;
    if (ps->smallBeginPending == 0) vCloseAtOnce(ptb, ps);
    BeginPrimitive(ptb, ps->mode);
    ps->smallBeginPending = 0;
    // The cached vertices become the primitive's first ones, counted as
    // such; the attributes after the last one come last.
    const ULONG c = ps->vertexCount;
    ps->vertexCount = 0;
    ps->firstVertexPending = 2;
    for (ULONG i = 0; i < c; ++i) vReplayVertex(VertexSlot(ps->slots[i]));
    vReplayCachedAttributes(ps, c);
    ps->mode = PRIM_NO_MODE;
}

void EmitSmallPrimitive(ThreadBlock* ptb) {
    PrimState* ps = ptb->primState;
    ps->smallCache = 0;
    const bool bFan = ps->mode == GL_TRIANGLE_FAN;
    if (ps->smallBeginPending != 0) {
        ps->smallBeginPending = 0;
        BeginPrimitive(ptb, bFan ? GL_TRIANGLES : GL_QUADS);
    }
    const ULONG c = ps->vertexCount;
    auto V = [&](ULONG i) { vReplayCached(ps, i); };
    auto A = [&](ULONG i) { vReplayCachedAttributes(ps, i); };
    if (bFan) {
        if (c > 2) {
            for (ULONG i = 2; i < c; ++i) {
                V(0);
                V(i - 1);
                V(i);
            }
        } else {
            for (ULONG j = 0; j < c; ++j) A(j);
        }
    } else {
        // The first vertex goes last: a flat-shaded quad takes its colour
        // from it; a triangle is a quad with its first vertex twice.
        switch (c) {
            case 4: A(0); V(1); V(2); V(3); V(0); A(1); A(2); A(3); break;
            case 3: A(0); V(1); V(2); V(0); V(0); A(1); A(2); break;
            case 2: A(0); A(1); break;
            case 1: A(0); break;
            default: break;
        }
    }
    A(c);
    if (ps->mode != PRIM_NO_MODE) ps->smallCache = 1;
}

ULONG ExpandConvertedVertex(ThreadBlock* ptb, ClientContext* cc, ULONG flags) {
    (void)flags;
    PrimState* ps = ptb->primState;
    PrimSegment* ring = pRing(cc);
    const ULONG i = cc->vertexIndex;
    const ULONG n = cc->batchCount;
    if (ps->firstVertexPending != 0) {
        if (ps->firstVertexPending == 2) {
            vLoadSlotComplete(cc, i, &cc->loopFirst);
            vMark(cc, i, VTX_PRIM_FIRST);
            ps->convertBase = n;
        }
        ps->firstVertexPending -= 1;
        return i;
    }
    const bool bPolygon = ps->mode == GL_POLYGON;
    // A polygon's vertex that does not complete a quad: F and the previous
    // vertex stand just before it.
    const bool bOpenQuad = bPolygon && ((n - ps->convertBase) & 1u) == 0;
    if (n + 2 >= PRIM_BATCH_VERTICES) {
        VertexSlot kept;
        vLoadSlotComplete(cc, i, &kept);
        if (bOpenQuad) {
            // The quad that spans the cut goes whole into the next batch:
            // the batch sent ends with the last complete quad, and the next
            // starts with F, the previous vertex and this one.
            VertexSlot previous;
            vLoadSlotComplete(cc, i - 1, &previous);
            cc->vertexIndex = i - 2;
            cc->batchCount = n - 2;
            ring->vertexFlags[cc->vertexIndex] = 0;
            vRecordStrip(cc, ps->vertexCount - 3);
            ContinueBatch(ptb, cc);
            ps->vertexCount = cc->batchCount;
            vAppendSlot(cc, cc->loopFirst);
            vMark(cc, cc->vertexIndex - 1, VTX_FIRST_COPY);
            vAppendSlot(cc, previous);
            const ULONG slot = cc->vertexIndex;
            vStoreSlot(cc, slot, kept);
            cc->orMask |= kept.flags;
            cc->andMask &= kept.flags;
            ps->vertexCount += 3;
            ps->convertBase = 0;
            return slot;
        }
        cc->batchCount += 1;
        cc->vertexIndex += 1;
        ring->vertexFlags[cc->vertexIndex] = 0;
        vRecordStrip(cc, ps->vertexCount);
        ContinueBatch(ptb, cc);
        ps->vertexCount = cc->batchCount;
        vAppendSlot(cc, cc->loopFirst);
        vMark(cc, cc->vertexIndex - 1, VTX_FIRST_COPY);
        const ULONG slot = cc->vertexIndex;
        vStoreSlot(cc, slot, kept);
        cc->orMask |= kept.flags;
        cc->andMask &= kept.flags;
        ps->vertexCount += 2;
        ps->convertBase = 0;
        return slot;
    }
    if (bPolygon && !bOpenQuad) {
        // completes a quad: F and this vertex open the next one
    } else if (bPolygon) {
        return i;
    }
    VertexSlot current;
    vLoadSlotComplete(cc, i, &current);
    vStoreSlot(cc, i + 1, cc->loopFirst);
    vMark(cc, i + 1, VTX_FIRST_COPY);
    vStoreSlot(cc, i + 2, current);
    cc->orMask |= cc->loopFirst.flags;
    cc->andMask &= cc->loopFirst.flags;
    cc->batchCount += 2;
    ps->vertexCount += 2;
    return i + 2;
}

void CltBegin(GLenum mode) {
    ThreadBlock* ptb = CurrentThreadBlockFast();
    if (ptb == nullptr || ptb->primState == nullptr) return;
    PrimState* ps = ptb->primState;
    if (mode > GL_POLYGON && ptb->context != nullptr && ptb->context->compiling == 0) {
        // No primitive has this mode: the call is refused and none opens
        // (inside one it is a call between glBegin and glEnd).
        if (ps->endPending != 0) EndPendingPrimitive(ptb);
        vSetClientError(ptb->context, ptb->context->batching != 0 ? GL_INVALID_OPERATION : GL_INVALID_ENUM);
        return;
    }
    ps->firstVertexPending = 2;
    if (ps->endPending != 0) {
        if (mode == ps->mode) {
            ps->endPending = 0;
            return;
        }
        EndPendingPrimitive(ptb);
    }
    ps->mode = mode;
    ps->vertexCount = 0;
    ps->convert = 0;
    ClientContext* cc = ptb->context;
    const bool bCompiling = cc != nullptr && cc->compiling != 0;
    if ((mode == GL_TRIANGLE_FAN && bCompiling) ||
        (mode == GL_POLYGON && (cc == nullptr || !bQuadConversionAllowed(cc)))) {
        ps->smallCache = 1;
        ps->slots[0].flags = 0;
        ps->smallBeginPending = 1;
        return;
    }
    ps->smallCache = 0;
    BeginPrimitive(ptb, mode);
}

void CltEnd() {
    ThreadBlock* ptb = CurrentThreadBlockFast();
    if (ptb == nullptr || ptb->primState == nullptr) return;
    PrimState* ps = ptb->primState;
    ps->endCount += 1;
    if (ps->smallCache != 0) {
        EmitSmallPrimitive(ptb);
        ps->vertexCount = 0;
        ps->slots[0].flags = 0;
        ps->endPending = 1;
        if (ps->endCount < PRIM_BATCH_ENDS) return;
        ps->smallCache = 0;
        EndPendingPrimitive(ptb);
        return;
    }
    ClientContext* cc = ptb->context;
    const bool bBatch = cc != nullptr && cc->batching != 0;
    const bool bCompiling = cc != nullptr && cc->compiling != 0;
    if (bBatch) ps->endPending = 1;
    const ULONG c = ps->vertexCount;
    // Attributes given after the last vertex stand in the slot to come;
    // vertices added or taken back below move that slot, and they move with
    // it, so that they stay current.
    VertexSlot after{};
    if (bBatch) vLoadSlot(cc, cc->vertexIndex, &after);
    auto closeNow = [&] { ps->endPending = 0; };
    switch (ps->mode) {
        case GL_POINTS: break;
        case GL_LINES:
            if (c & 1u) closeNow();
            break;
        case GL_TRIANGLES:
            if (c % 3 != 0) closeNow();
            break;
        case GL_QUADS:
            if (c % 4 != 0) closeNow();
            break;
        case GL_LINE_LOOP:
            if (!bBatch || bCompiling) {
                closeNow();
                break;
            }
            if (c > 1) {
                const ULONG copy = cc->vertexIndex;
                vAppendSlot(cc, cc->loopFirst);
                vMark(cc, copy, VTX_FIRST_COPY);
                ps->vertexCount += 1;
                vKeepCurrentAfterCopy(cc, copy, &after);
            }
            if (ps->vertexCount > 0) vRecordStrip(cc, ps->vertexCount);
            break;
        case GL_LINE_STRIP:
        case GL_TRIANGLE_STRIP:
        case GL_QUAD_STRIP: {
            if (!bBatch || bCompiling) {
                closeNow();
                break;
            }
            if (c == 0) break;
            const ULONG minimum = ps->mode == GL_LINE_STRIP ? 2 : ps->mode == GL_TRIANGLE_STRIP ? 3 : 4;
            if (c < minimum) {
                vDropTail(cc, c);
            } else if (ps->mode == GL_QUAD_STRIP && (c & 1u)) {
                // The server draws a quad strip as a triangle strip: an
                // unpaired last vertex would add a triangle. It goes, but
                // its attributes stay, to go out as plain commands.
                VertexSlot dropped;
                vLoadSlot(cc, cc->vertexIndex - 1, &dropped);
                dropped.flags &= ~kPositionBits;
                vOverlay(&dropped, after);
                after = dropped;
                vDropTail(cc, 1);
                vRecordStrip(cc, c - 1);
            } else {
                vRecordStrip(cc, c);
            }
            // The server splits a batch by its strip lengths for line
            // strips only: a batch of triangle or quad strips holds one.
            if (ps->mode != GL_LINE_STRIP) closeNow();
            break;
        }
        case GL_TRIANGLE_FAN:
        case GL_POLYGON:
            if (ps->convert == 0 || !bBatch) {
                closeNow();
                break;
            }
            if (c == 0) break;
            {
                // The batch stays a whole number of triangles or quads: a
                // polygon's open quad F, Vp, Vl is completed by F; the
                // vertices added after the last one, or a fan or polygon of
                // one or two vertices, are taken back (left in the ring
                // they would shift every later triangle or quad).
                const ULONG rel = cc->batchCount - ps->convertBase;
                const ULONG open = ps->mode == GL_POLYGON ? rel & 3u : rel % 3u;
                if (ps->mode == GL_POLYGON && open == 3) {
                    const ULONG copy = cc->vertexIndex;
                    vAppendSlot(cc, cc->loopFirst);
                    vMark(cc, copy, VTX_FIRST_COPY);
                    vKeepCurrentAfterCopy(cc, copy, &after);
                } else if (open != 0) {
                    vDropTail(cc, open);
                }
            }
            break;
        default: break;
    }
    if (bBatch && cc->batching != 0 && (after.flags & ~kPositionBits) != 0) {
        after.flags &= ~kPositionBits;
        vStoreSlot(cc, cc->vertexIndex, after);
    }
    if (ps->endCount >= PRIM_BATCH_ENDS) closeNow();
    if (ps->endPending == 0) {
        ps->endPending = 1;
        EndPendingPrimitive(ptb);
    }
    ps->vertexCount = 0;
}

// A list called inside an open batch runs after the vertices before it: the
// batch goes out as plain commands first.
ThreadBlock* pFlushBatchForList() {
    ThreadBlock* ptb = CurrentThreadBlockFast();
    if (ptb == nullptr || ptb->primState == nullptr) return nullptr;
    if (ptb->primState->endPending != 0) EndPendingPrimitive(ptb);
    if (ptb->half == nullptr) return nullptr;
    if (ptb->primState->smallCache != 0) GiveUpSmallCache(ptb);
    ClientContext* cc = ptb->context;
    if (cc == nullptr || cc->batching == 0) return ptb;
    PrimState* ps = ptb->primState;
    if (ps->convert != 0 && (ps->mode == GL_TRIANGLE_FAN || ps->mode == GL_POLYGON)) {
        // A fan or polygon turned into triangles or quads: the whole ones go
        // as the batch; the open tail (F and the last vertices) begins the
        // primitive again as plain commands, so that the vertices after
        // the list still make a fan or polygon with F.
        const ULONG rel = cc->batchCount - ps->convertBase;
        const ULONG tail = ps->mode == GL_POLYGON ? rel & 3u : rel % 3u;
        // The tail opens with F itself, or with a repeat of F once F has
        // gone into a triangle or quad. A repeat keeps only what F carried:
        // the vertices before it in the ring are no predecessors of F.
        const bool bRepeat =
            tail != 0 && (pRing(cc)->vertexFlags[cc->vertexIndex - tail] & VTX_FIRST_COPY) != 0;
        VertexSlot slots[4];
        for (ULONG j = 0; j <= tail; ++j) {
            if (j == 0 && bRepeat) vLoadSlot(cc, cc->vertexIndex - tail, &slots[j]);
            else if (j < tail) vLoadSlotComplete(cc, cc->vertexIndex - tail + j, &slots[j]);
            else vLoadSlot(cc, cc->vertexIndex, &slots[j]);
        }
        cc->vertexIndex -= tail;
        cc->batchCount -= tail;
        pRing(cc)->vertexFlags[cc->vertexIndex] = 0;
        if (bRepeat) {
            // What F lacks is the value current when F was given, which only
            // the server knows (a list before glBegin may have set it); the
            // last vertex sent left its own current. The whole part goes on
            // to a batch of the repeat alone: the server fills it from F and
            // leaves F's values current; one vertex draws no triangle or
            // quad. The plain F then takes them.
            const ULONG attributes = cc->orMask & kAttributeBits;
            if (cc->batchCount != 0) {
                cc->continuation |= PRIM_TO_NEXT;
                primsend(ptb, cc);
            }
            vOpenContinuation(cc);
            const ULONG copy = cc->vertexIndex;
            vAppendSlot(cc, slots[0]);
            vMark(cc, copy, VTX_FIRST_COPY);
            cc->orMask |= attributes;
            primsend(ptb, cc);
        } else if (cc->batchCount != 0) {
            primsend(ptb, cc);
        }
        cc->batching = 0;
        ps->convert = 0;
        vAppendWord(ptb, X_GLrop_Begin, ps->mode);
        for (ULONG j = 0; j < tail; ++j) vReplayVertex(slots[j]);
        vReplayAttributes(slots[tail]);
        return ptb;
    }
    vAppendWord(ptb, X_GLrop_Begin, cc->batchMode);
    ReEmitBatch(ptb, cc);
    cc->batching = 0;
    return ptb;
}

void CltCallList(GLuint list) {
    if (ThreadBlock* ptb = pFlushBatchForList()) vAppendWord(ptb, X_GLrop_CallList, list);
}

void CltListBase(GLuint base) {
    ThreadBlock* ptb = CurrentThreadBlockFast();
    if (ptb == nullptr || ptb->primState == nullptr) return;
    if (ptb->primState->endPending != 0) EndPendingPrimitive(ptb);
    ClientContext* cc = ptb->context;
    if (cc != nullptr && cc->batching != 0) {
        vSetClientError(cc, GL_INVALID_OPERATION);
        return;
    }
    vAppendWord(ptb, X_GLrop_ListBase, base);
}

void CltCallLists(GLsizei n, GLenum type, const GLvoid* lists) {
    ThreadBlock* ptb = pFlushBatchForList();
    if (ptb == nullptr) return;
    if (n < 0) {
        if (ptb->context != nullptr) vSetClientError(ptb->context, GL_INVALID_VALUE);
        return;
    }
    SendCallLists(ptb, n, type, lists);
}
