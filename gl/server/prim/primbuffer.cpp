// The server's primitive buffer: between Begin and End the per-vertex
// requests fill an lgi vertex record that writes its packets into a packet
// buffer (a 20-byte dispatch header, then lgi command-stream words). When
// the record runs short the buffer wraps: the vertices of the primitive that
// is not complete are carried into a record started again behind the
// finished one, in the same buffer or, with 272 words of room or fewer, in
// a new one after the full buffer was handed on.
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "dispatch/dispatch.h"
#include "prim/prim.h"

namespace {


constexpr ULONG kRoomWords = 272;  // no more room than this: the buffer is handed on
constexpr ULONG kPositionBits = N_VTX_POS2 | N_VTX_POS3 | N_VTX_POS4;
constexpr ULONG kColorBits = N_VTX_RGB | N_VTX_RGBA;
constexpr ULONG kMaxCarried = 4;
// The record calls for a wrap with fewer words than this left after a vertex.
constexpr ULONG kRecordMarginWords = 144;
// Edge flags (the low byte of the flag word): 1 a boundary edge; 2 an edge
// that a cut put inside the polygon, never drawn as outline.
constexpr ULONG kEdgeInternal = 2;

std::once_flag gSizeRead;
ULONG gcjBuffer = 4096;

__GLXprimBuffer* pBufferOf(GLClient* pgc) {
    return pgc != nullptr && pgc->gc != nullptr ? pgc->gc->pPrimBuffer : nullptr;
}

ULONG cbRoom(const __GLXprimBuffer* pb) {
    return pb->pPacket != nullptr ? static_cast<ULONG>(pb->pjEnd - pb->pjWrite) : 0;
}

// The header follows what the records wrote.
void vUpdateHeader(__GLXprimBuffer* pb) {
    if (pb->pPacket == nullptr) return;
    const ULONG cjUsed = static_cast<ULONG>(pb->pjWrite - reinterpret_cast<BYTE*>(pb->pPacket));
    pb->pPacket->cjUsed = cjUsed;
    pb->pPacket->length = static_cast<USHORT>(cjUsed <= 0xFFFF ? cjUsed : 0);  // 0: a large command
}

// A new packet buffer with its header, the record set up over it.
__GLXpacketBuffer* pNewPacketBuffer(__GLXprimBuffer* pb) {
    const ULONG cjSize = __glPrimitiveBufferSize();
    auto* pp = static_cast<__GLXpacketBuffer*>(LocalAlloc(LPTR, cjSize + GLX_PACKET_HEADER));
    if (pp == nullptr) return nullptr;
    pp->opcode = X_GLrop_DispatchPacketsZYD;
    pp->length = GLX_PACKET_HEADER;
    pp->cjUsed = GLX_PACKET_HEADER;
    pp->target = pb->target;
    pp->token = 0;
    pp->pNext = nullptr;
    pb->pPacket = pp;
    pb->pjWrite = reinterpret_cast<BYTE*>(pp) + GLX_PACKET_HEADER;
    pb->pjEnd = pb->pjWrite + cjSize;
    *pb->ppPacket = pp;
    return pp;
}

// Hands the packet buffer on by its target; the buffer is then no longer
// the record's.
void vHandOn(__GLXprimBuffer* pb) {
    __GLXpacketBuffer* pp = pb->pPacket;
    if (pp == nullptr) return;
    GLClient* pgc = pb->pgc;
    if (pp->target == GLX_PACKETS_IMMEDIATE) {
        if (pgc->gc->pPending == pp) {
            __glXFlushPending(pgc);
        } else if (__glXDispatchPending(pgc, pp) == 0xFFFFFFFFu) {
            __glXFreePending(pgc, pp);
        } else {
            __glXQueuePending(pgc, pp);
        }
    } else {
        *pb->ppPacket = nullptr;
        if (__glXStoreBatchInList(pgc, pp) != 0) LocalFree(pp);
    }
    if (*pb->ppPacket == pp) *pb->ppPacket = nullptr;
    pb->pPacket = nullptr;
    pb->pjWrite = pb->pjEnd = nullptr;
}

// Carried and dropped vertices of a wrap by mode (n vertices in the record;
// bFull: the wrap was caused by the vertex just stored).
void vCarryCounts(ULONG mode, ULONG n, bool bFull, ULONG* pc, ULONG* pd) {
    ULONG c = 0, d = 0;
    if (n != 0) {
        switch (mode) {
            case GLX_POINTS: c = d = bFull ? 1 : 0; break;
            case GLX_LINES: c = d = bFull ? (n % 2 ? 1 : 2) : (n % 2); break;
            case GLX_LINE_LOOP:
            case GLX_LINE_STRIP:
                c = bFull ? (n >= 2 ? 2 : 1) : 1;
                d = bFull ? (n == 2 ? 1 : 0) + 1 : (n == 1 ? 1 : 0);
                break;
            case GLX_TRIANGLES: c = d = bFull ? (n % 3 == 0 ? 3 : n % 3) : n % 3; break;
            case GLX_QUADS: c = d = bFull ? (n % 4 == 0 ? 4 : n % 4) : n % 4; break;
            case GLX_TRIANGLE_STRIP:
            case GLX_TRIANGLE_FAN:
            case GLX_POLYGON:
                c = bFull ? (n < 5 ? n : 4 - n % 2) : (n < 4 ? n : 2 + n % 2);
                d = bFull ? (n < 5 ? n : 2 - n % 2) : (n < 4 ? n : n % 2);
                break;
            case GLX_QUAD_STRIP:
                c = bFull ? (n < 4 ? n : 4 - n % 2) : (n < 4 ? n : 2 + n % 2);
                d = bFull ? (n < 5 ? n : 2 - n % 2) : (n < 4 ? n : n % 2);
                break;
            default: break;
        }
    }
    *pc = c < n ? c : n;
    *pd = d < n ? d : n;
}

// Copies vertex i (1..count) of the record.
bool bSaveVertex(N_VertexRecord* pvr, ULONG i, __GLXsavedVertex* pSave) {
    ULONG mask = 0, cb = 0;
    const ULONG* pul = N_GetVertex(pvr, i, &mask, &cb);
    if (pul == nullptr || cb > sizeof pSave->words) return false;
    pSave->mask = pSave->mask2 = mask;
    pSave->cb = cb;
    std::memcpy(pSave->words, pul, cb);
    pSave->pNext = nullptr;
    return true;
}

// Sets the attributes of a packed attribute block as current values of the
// record (no position).
void vSetCurrent(N_VertexRecord* pvr, ULONG mask, const ULONG* pulWords) {
    typedef void (*Set4)(N_VertexRecord*, float, float, float, float);
    typedef void (*Set1)(N_VertexRecord*, float);
    static const Set4 kSet4[] = {N_SetVertexFrontEmission, N_SetVertexFrontAmbient, N_SetVertexFrontDiffuse,
                                 N_SetVertexFrontSpecular};
    static const Set4 kSet4Back[] = {N_SetVertexBackEmission, N_SetVertexBackAmbient, N_SetVertexBackDiffuse,
                                     N_SetVertexBackSpecular};
    static const Set1 kSet1[] = {N_SetVertexFrontAmbientIndex, N_SetVertexFrontDiffuseIndex,
                                 N_SetVertexFrontSpecularIndex, N_SetVertexBackAmbientIndex,
                                 N_SetVertexBackDiffuseIndex, N_SetVertexBackSpecularIndex};
    for (ULONG b = 5; b < 29; ++b) {
        const ULONG bit = 1u << b;
        ULONG cb = 0;
        const ULONG* pul = N_GetAttrPtr(bit, mask, pulWords, &cb);
        if (pul == nullptr) continue;
        float f[4] = {};
        std::memcpy(f, pul, cb < sizeof f ? cb : sizeof f);
        if (b == 5) N_SetVertexColor3(pvr, f[0], f[1], f[2]);
        else if (b == 6) N_SetVertexColor4(pvr, f[0], f[1], f[2], f[3]);
        else if (b == 7) N_SetVertexIndex(pvr, f[0]);
        else if (b == 8) N_SetVertexNormal(pvr, f[0], f[1], f[2]);
        else if (b == 10) N_SetVertexTexCoord(pvr, f[0], f[1], f[2], f[3]);
        else if (b >= 11 && b <= 14) kSet4[b - 11](pvr, f[0], f[1], f[2], f[3]);
        else if (b == 15) N_SetVertexFrontShininess(pvr, f[0]);
        else if (b >= 16 && b <= 19) kSet4Back[b - 16](pvr, f[0], f[1], f[2], f[3]);
        else if (b == 20) N_SetVertexBackShininess(pvr, f[0]);
        else if (b >= 21 && b <= 26) kSet1[b - 21](pvr, f[0]);
        else if (b == 27) N_SetVertexEdgeFlag(pvr, pul[0] & 0xFF);
        // bit 28, the change mask, describes a vertex's layout, not a current value
    }
}

// The common format of carried vertices: positions and colours at the
// widest present.
ULONG ulCommonFormat(ULONG mask) {
    ULONG pos = mask & N_VTX_POS4 ? N_VTX_POS4 : mask & N_VTX_POS3 ? N_VTX_POS3 : mask & N_VTX_POS2;
    ULONG col = mask & N_VTX_RGBA ? N_VTX_RGBA : mask & N_VTX_RGB;
    return (mask & ~kPositionBits & ~kColorBits) | pos | col;
}

// The state-block attribute of a vertex attribute bit (5-27), 0 for none.
ULONG ulAttrOfBit(ULONG b) {
    static const BYTE kAttr[28] = {0,  0,  0,  0,  0,  52, 52, 53, 55, 0,  56, 58, 59, 60,
                                   61, 62, 67, 68, 69, 70, 71, 63, 64, 65, 72, 73, 74, 57};
    return b < 28 ? kAttr[b] : 0;
}

constexpr ULONG kFilledBits = 0x0FFFFDE0u;  // bits 5-27 but the facet plane
// The attributes whose values the buffer follows across a primitive.
constexpr ULONG kValueBits = kColorBits | N_VTX_INDEX | N_VTX_NORMAL | N_VTX_TEXCOORD | N_VTX_EDGEFLAG;

// The values the lgi context holds as current (nothing of the buffer's is
// pending then).
void vReadCurrent(__GLXcurrentValues* pcv) {
    N_GetStateBlockAttr(N_ATTR_COLOUR, pcv->color);
    N_GetStateBlockAttr(N_ATTR_INDEX, &pcv->index);
    N_GetStateBlockAttr(N_ATTR_NORMAL, pcv->normal);
    N_GetStateBlockAttr(N_ATTR_TEXCOORD, pcv->texCoord);
    ULONG aulEdge[4] = {};
    N_GetStateBlockAttr(N_ATTR_EDGE_FLAG, aulEdge);
    pcv->edgeFlag = aulEdge[0] & 0xFFu;
}

// The values a packed attribute block of the mask gives.
void vOverlay(__GLXcurrentValues* pcv, ULONG mask, const ULONG* pulWords) {
    ULONG cb = 0;
    if (const ULONG* pul = N_GetAttrPtr(N_VTX_RGBA, mask, pulWords, &cb)) {
        std::memcpy(pcv->color, pul, 16);
    } else if ((pul = N_GetAttrPtr(N_VTX_RGB, mask, pulWords, &cb)) != nullptr) {
        std::memcpy(pcv->color, pul, 12);
        pcv->color[3] = 1.0f;
    }
    if (const ULONG* pul = N_GetAttrPtr(N_VTX_INDEX, mask, pulWords, &cb)) std::memcpy(&pcv->index, pul, 4);
    if (const ULONG* pul = N_GetAttrPtr(N_VTX_NORMAL, mask, pulWords, &cb)) std::memcpy(pcv->normal, pul, 12);
    if (const ULONG* pul = N_GetAttrPtr(N_VTX_TEXCOORD, mask, pulWords, &cb)) std::memcpy(pcv->texCoord, pul, 16);
    if (const ULONG* pul = N_GetAttrPtr(N_VTX_EDGEFLAG, mask, pulWords, &cb)) pcv->edgeFlag = pul[0] & 0xFFu;
}

// Sets the values of the bits as the record's current ones, so that the
// record, finished with its attribute packets, leaves them current.
void vPutCurrent(N_VertexRecord* pvr, const __GLXcurrentValues& cv, ULONG bits) {
    if (bits & kColorBits) N_SetVertexColor4(pvr, cv.color[0], cv.color[1], cv.color[2], cv.color[3]);
    if (bits & N_VTX_INDEX) N_SetVertexIndex(pvr, cv.index);
    if (bits & N_VTX_NORMAL) N_SetVertexNormal(pvr, cv.normal[0], cv.normal[1], cv.normal[2]);
    if (bits & N_VTX_TEXCOORD) N_SetVertexTexCoord(pvr, cv.texCoord[0], cv.texCoord[1], cv.texCoord[2], cv.texCoord[3]);
    if (bits & N_VTX_EDGEFLAG) N_SetVertexEdgeFlag(pvr, cv.edgeFlag);
}

// Gives a saved vertex the attributes of the common format it lacks. A
// vertex lacks an attribute when the attribute was first given after it in
// its record: it takes the value current when the record began (`from`);
// a material lacking takes the lgi context's.
void vFillFromCurrent(__GLXsavedVertex* pv, ULONG orMask, const __GLXcurrentValues& from) {
    ULONG missing = orMask & kFilledBits & ~kColorBits & ~pv->mask;
    if ((orMask & kColorBits) && !(pv->mask & kColorBits)) missing |= orMask & N_VTX_RGBA ? N_VTX_RGBA : N_VTX_RGB;
    if (missing == 0) return;
    const ULONG newMask = pv->mask | missing;
    if (_NAttrMaskWords(newMask) > GLX_SAVED_VERTEX_WORDS) return;
    ULONG aul[GLX_SAVED_VERTEX_WORDS] = {};
    for (ULONG b = 0; b < 29; ++b) {
        const ULONG bit = 1u << b;
        if (!(newMask & bit)) continue;
        ULONG cb = 0;
        ULONG* pulDst = const_cast<ULONG*>(N_GetAttrPtr(bit, newMask, aul, &cb));
        if (pulDst == nullptr) continue;
        if (pv->mask & bit) {
            ULONG cbSrc = 0;
            const ULONG* pulSrc = N_GetAttrPtr(bit, pv->mask, pv->words, &cbSrc);
            if (pulSrc == nullptr) continue;
            if (b == 27) *pulDst = (*pulDst & 0xFFFFFF00u) | (*pulSrc & 0xFFu);
            else if (b == 28) *pulDst = (*pulDst & 0xFFu) | (*pulSrc & 0xFFFFFF00u);
            else std::memcpy(pulDst, pulSrc, cb);
            continue;
        }
        ULONG aulValue[N_ATTR_WIDEST] = {};
        if (bit & kValueBits) {
            if (bit & kColorBits) std::memcpy(aulValue, from.color, 16);
            else if (bit == N_VTX_INDEX) std::memcpy(aulValue, &from.index, 4);
            else if (bit == N_VTX_NORMAL) std::memcpy(aulValue, from.normal, 12);
            else if (bit == N_VTX_TEXCOORD) std::memcpy(aulValue, from.texCoord, 16);
            else aulValue[0] = from.edgeFlag;
        } else {
            const ULONG id = ulAttrOfBit(b);
            if (id == 0) continue;
            N_GetStateBlockAttr(id, aulValue);
        }
        if (b == 27) *pulDst = (*pulDst & 0xFFFFFF00u) | (aulValue[0] & 0xFFu);
        else std::memcpy(pulDst, aulValue, cb);
    }
    std::memcpy(pv->words, aul, _NAttrMaskWords(newMask) * 4);
    pv->mask = pv->mask2 = newMask;
    pv->cb = _NAttrMaskWords(newMask) * 4;
}

// The value bits whose attribute packets a finished record can leave out:
// those the lgi context holds when the record's packets begin (start) and
// still holds after its draw packet, which leaves the last kept vertex's
// values current or, where it stores none, the values it found. A record
// whose vertices carry a change mask writes back per vertex: nothing is
// left out then. Values given after the last vertex always go (the record
// sends them as changed).
ULONG ulAlreadyCurrent(N_VertexRecord* pvr, ULONG nKept, const __GLXcurrentValues& start,
                       const __GLXcurrentValues& after) {
    if (pvr->perVertexMask & N_VTX_CHANGEMASK) return 0;
    __GLXcurrentValues drawn = start;
    ULONG mask = 0, cb = 0;
    if (nKept > 0) {
        if (const ULONG* pv = N_GetVertex(pvr, nKept, &mask, &cb)) vOverlay(&drawn, mask, pv);
    }
    auto same = [](const auto& a, const auto& b, const auto& c) {
        return std::memcmp(&a, &b, sizeof a) == 0 && std::memcmp(&a, &c, sizeof a) == 0;
    };
    ULONG bits = 0;
    if (same(after.color, start.color, drawn.color)) bits |= kColorBits;
    if (same(after.index, start.index, drawn.index)) bits |= N_VTX_INDEX;
    if (same(after.normal, start.normal, drawn.normal)) bits |= N_VTX_NORMAL;
    if (same(after.texCoord, start.texCoord, drawn.texCoord)) bits |= N_VTX_TEXCOORD;
    if (same(after.edgeFlag, start.edgeFlag, drawn.edgeFlag)) bits |= N_VTX_EDGEFLAG;
    return bits & ~pvr->changed;
}

void vRecordFull(void* pvArg);

// A polygon's finished record (header at pulRec, its packets up to pulEnd)
// that a wrap cut: the fan goes on in the next record, so the edge from its
// last vertex back to the first lies inside the polygon and is flagged
// internal. A record without edge flags gets them first, each vertex the
// flag current when the record began (a flag given later widened the
// layout, and that vertex was carried on): a word a vertex, the attribute
// packets behind the vertices moved on by as much. Answers the new end;
// pulEnd itself when the packet buffer (ending at pjLimit) lacks the room
// (the wrap of such a record comes early enough that it does not).
ULONG* pulCutPolygon(ULONG* pulRec, ULONG* pulEnd, const BYTE* pjLimit, ULONG edgeFlag) {
    const ULONG mask = pulRec[1], n = pulRec[2];
    if (n == 0) return pulEnd;
    constexpr ULONG kPerPrimBits = 0x3;
    ULONG* pulVertices = pulRec + 3 + _NAttrMaskWords(mask & kPerPrimBits);
    ULONG cVertex = _NAttrMaskWords(mask & ~kPerPrimBits);
    if (!(mask & (N_VTX_EDGEFLAG | N_VTX_CHANGEMASK))) {
        // The flag word is the last word of a vertex.
        ULONG* pulVertexEnd = pulVertices + std::size_t{n} * cVertex;
        if (reinterpret_cast<const BYTE*>(pulEnd + n) > pjLimit) return pulEnd;
        std::memmove(pulVertexEnd + n, pulVertexEnd, (pulEnd - pulVertexEnd) * sizeof(ULONG));
        for (ULONG i = n; i-- > 0;) {
            ULONG* pulTo = pulVertices + std::size_t{i} * (cVertex + 1);
            std::memmove(pulTo, pulVertices + std::size_t{i} * cVertex, cVertex * sizeof(ULONG));
            pulTo[cVertex] = edgeFlag & 0xFFu;
        }
        pulEnd += n;
        ++cVertex;
    } else if (!(mask & N_VTX_EDGEFLAG)) {
        // The change mask's word holds the flag in its low byte.
        for (ULONG i = 0; i < n; ++i) {
            ULONG& ul = pulVertices[std::size_t{i} * cVertex + cVertex - 1];
            ul = (ul & 0xFFFFFF00u) | (edgeFlag & 0xFFu);
        }
    }
    pulRec[1] = mask | N_VTX_EDGEFLAG;
    ULONG& ulLast = pulVertices[std::size_t{n} * cVertex - 1];
    ulLast = (ulLast & 0xFFFFFF00u) | kEdgeInternal;
    return pulEnd;
}

// Starts a record of the buffer's mode over the room left in its packet buffer.
N_VertexRecord* pvrStart(__GLXprimBuffer* pb) {
    return _NAllocVertexRing(__glPrimKind(pb->mode), reinterpret_cast<ULONG*>(pb->pjWrite), cbRoom(pb),
                             vRecordFull, pb, &pb->pRing);
}

// The wrap: finish the record, carrying the incomplete primitive's vertices
// into a new one.
void vWrap(__GLXprimBuffer* pb) {
    N_VertexRecord* pvr = pb->pvr;
    if (pvr == nullptr || pb->bInWrap) return;
    pb->bInWrap = 1;
    ++pb->cWraps;
    const ULONG n = pvr->vertexCount;
    const bool bFull = pvr->lastLayout != pvr->perVertexMask;
    ULONG c, d;
    vCarryCounts(pb->mode, n, bFull, &c, &d);
    if (c > kMaxCarried) c = kMaxCarried;
    __GLXsavedVertex carried[kMaxCarried];
    ULONG cCarried = 0;
    const bool bFan = pb->mode == GLX_TRIANGLE_FAN || pb->mode == GLX_POLYGON;
    for (ULONG k = 0; k < c; ++k) {
        const ULONG i = bFan ? (k == 0 ? 1 : n - c + 1 + k) : n - c + 1 + k;
        if (bSaveVertex(pvr, i, &carried[cCarried])) ++cCarried;
    }
    // The last vertex's attributes stay current in the new record, also when
    // no vertex is carried into it.
    __GLXsavedVertex last;
    const bool bLast = n > 0 && bSaveVertex(pvr, n, &last);
    ULONG aulCurrent[GLX_SAVED_VERTEX_WORDS];
    ULONG currentMask = 0, cbCurrent = 0;
    const ULONG* pulCur = N_GetCurrentAttrs(pvr, &currentMask, &cbCurrent);
    if (pulCur == nullptr || cbCurrent > sizeof aulCurrent) currentMask = 0;
    else std::memcpy(aulCurrent, pulCur, cbCurrent);

    ULONG orMask = 0;
    for (ULONG k = 0; k < cCarried; ++k) orMask |= carried[k].mask;
    if (pb->mode == GLX_LINE_LOOP && pb->bLoopSaved) orMask |= pb->loopFirst.mask;
    // A polygon cut where the record drew some of it: the records after the
    // cut carry edge flags, so that their first edge (back from the first
    // vertex) and the closing edges of all but the last are drawn as
    // internal, while each vertex keeps the flag it was given.
    const bool bCut = pb->mode == GLX_POLYGON && c > d;
    if (bCut) orMask |= N_VTX_EDGEFLAG;
    if (bCut) pb->bCutGoesOn = 1;

    // The values after the record's last vertex are current once the
    // record has run (its attribute packets say so, whatever layouts its
    // vertices had): a vertex of the next record takes from them what it
    // does not carry. Carried vertices lacking an attribute take the value
    // current when their record began.
    __GLXcurrentValues after = pb->current;
    if (bLast) vOverlay(&after, last.mask, last.words);
    pb->touched |= (pvr->perVertexMask | (bLast ? last.mask : 0)) & kValueBits;
    // The cut record's last vertex draws with an internal flag: the flag
    // that is current after it goes out as a packet.
    if (bCut) pb->touched |= N_VTX_EDGEFLAG;
    vPutCurrent(pvr, after, pb->touched);
    const __GLXcurrentValues fillFrom = pb->recordStart;
    pb->current = after;
    pb->recordStart = after;

    ULONG* pulRecord = reinterpret_cast<ULONG*>(pb->pjWrite);
    ULONG* pulEnd = N_FinishVertexRecord(pvr, d, 1, 0);
    if (bCut) pulEnd = pulCutPolygon(pulRecord, pulEnd, pb->pjEnd, fillFrom.edgeFlag);
    pb->pvr = nullptr;
    pb->pjWrite = reinterpret_cast<BYTE*>(pulEnd);
    vUpdateHeader(pb);
    if (cbRoom(pb) <= kRoomWords * 4) {
        vHandOn(pb);
        if (pNewPacketBuffer(pb) == nullptr) {
            pb->bDropping = 1;  // nothing to write into until End
            pb->bInWrap = 0;
            return;
        }
    }
    pvr = pvrStart(pb);
    pb->pvr = pvr;
    pb->fFull = 0;
    pb->bWrapped = 1;
    if (pvr != nullptr) {
        for (ULONG k = 0; k < cCarried; ++k) vFillFromCurrent(&carried[k], orMask, fillFrom);
        ULONG format = ulCommonFormat(orMask);
        bool bDiffer = false;
        for (ULONG k = 0; k < cCarried; ++k) bDiffer |= carried[k].mask != orMask;
        if (bDiffer) format |= N_VTX_CHANGEMASK;
        for (ULONG k = 0; k < cCarried; ++k) {
            __GLXsavedVertex& v = carried[k];
            // The first vertex's edge, now to a vertex of the cut, lies
            // inside the polygon (its own edge was drawn by the first
            // record); the others keep their flags.
            if (bCut && k == 0) {
                ULONG cb = 0;
                auto* pul = const_cast<ULONG*>(N_GetAttrPtr(N_VTX_EDGEFLAG, v.mask, v.words, &cb));
                if (pul != nullptr) *pul = (*pul & 0xFFFFFF00u) | kEdgeInternal;
            }
            N_AddVertices(pvr, v.words, v.mask, format);
        }
        if (currentMask != 0) vSetCurrent(pvr, currentMask, aulCurrent);
    }
    pb->bInWrap = 0;
}

void vRecordFull(void* pvArg) { vWrap(static_cast<__GLXprimBuffer*>(pvArg)); }

// Vertices of an incomplete last primitive, dropped at End.
ULONG ulLeftover(ULONG mode, ULONG n) {
    switch (mode) {
        case GLX_POINTS: return 0;
        case GLX_LINES:
        case GLX_LINE_LOOP:
        case GLX_LINE_STRIP: return n < 2 ? n : 0;
        case GLX_QUADS: return n < 4 ? n : 0;
        // drawn as a triangle strip: an unpaired last vertex would add a
        // triangle of its own
        case GLX_QUAD_STRIP: return n < 4 ? n : n % 2;
        default: return n < 3 ? n : 0;
    }
}

}  // namespace

ULONG __glPrimitiveBufferSizeOf(const char* pszValue) {
    if (pszValue == nullptr) return 4096;
    long kb = std::strtol(pszValue, nullptr, 10);
    if (kb >= 200) kb = 200;
    if (kb < 2) kb = 1;
    return static_cast<ULONG>(kb) * 1024;
}

ULONG __glPrimitiveBufferSize(void) {
    std::call_once(gSizeRead, [] {
        char ach[257] = {};
        const DWORD cch = GetEnvironmentVariableA("__zydGLPrimitiveBufferSize", ach, 256);
        gcjBuffer = __glPrimitiveBufferSizeOf(cch == 0 || cch >= 256 ? nullptr : ach);
    });
    return gcjBuffer;
}

ULONG __glOpenPrimitive(GLClient* pgc, __GLXprimBuffer** ppHolder, __GLXpacketBuffer** ppPacket,
                        ULONG target, ULONG mode, ULONG option) {
    if (pgc == nullptr || ppHolder == nullptr || ppPacket == nullptr || mode > 9) return GL_OUT_OF_MEMORY;
    __GLXprimBuffer* pb = *ppHolder;
    bool bNew = false;
    if (pb == nullptr) {
        pb = static_cast<__GLXprimBuffer*>(LocalAlloc(LPTR, sizeof(__GLXprimBuffer)));
        if (pb == nullptr) return GL_OUT_OF_MEMORY;
        *ppHolder = pb;
        bNew = true;
    }
    pb->pgc = pgc;
    pb->ppHolder = ppHolder;
    pb->ppPacket = ppPacket;
    pb->target = target;
    // A packet buffer still open (not handed on since) keeps its packets;
    // the new primitive follows them.
    bool bContinued = true;
    if (bNew || *ppPacket == nullptr || *ppPacket != pb->pPacket || pb->pPacket->target != target) {
        bContinued = false;
        if (*ppPacket != nullptr) {
            // Someone else's open buffer, or this record's filled for the
            // other target: it goes on first.
            pb->pPacket = *ppPacket;
            vHandOn(pb);
        }
        if (pNewPacketBuffer(pb) == nullptr) return GL_OUT_OF_MEMORY;
    }
    pb->mode = mode;
    pb->option = option;
    pb->fFull = 0;
    pb->bLoopSaved = 0;
    pb->bWrapped = 0;
    pb->bInWrap = 0;
    pb->bDropping = 0;
    pb->cWraps = 0;
    pb->bCutGoesOn = 0;
    // The values current before Begin: after the primitives whose packets
    // still wait in the buffer, else the lgi context's.
    if (!bContinued || !pb->bCurrentKnown) vReadCurrent(&pb->current);
    pb->atBegin = pb->recordStart = pb->current;
    pb->bCurrentKnown = 0;
    pb->touched = 0;
    pb->bLoopResumed = 0;
    pb->bLoopElsewhere = 0;
    pb->pvr = pvrStart(pb);
    return pb->pvr != nullptr ? GL_NO_ERROR : GL_OUT_OF_MEMORY;
}

ULONG __glClosePrimitive(GLClient* pgc) {
    __GLXprimBuffer* pb = pBufferOf(pgc);
    if (pb == nullptr) return GL_NO_ERROR;
    N_VertexRecord* pvr = pb->pvr;
    if (pvr != nullptr) {
        // The values current after End: those of the last vertex, then those
        // given after it.
        const ULONG n = pvr->vertexCount;
        ULONG leftover = ulLeftover(pb->mode, n);
        __GLXcurrentValues after = pb->current;
        pb->touched |= pvr->perVertexMask & kValueBits;
        __GLXsavedVertex last;
        if (n > 0 && bSaveVertex(pvr, n, &last)) {
            vOverlay(&after, last.mask, last.words);
            pb->touched |= last.mask & kValueBits;
        }
        ULONG changedMask = 0, cbChanged = 0;
        if (const ULONG* pul = N_GetCurrentAttrs(pvr, &changedMask, &cbChanged)) {
            vOverlay(&after, changedMask, pul);
            pb->touched |= changedMask & kValueBits;
        }
        if (pb->mode == GLX_LINE_LOOP && leftover == 0 && pb->bLoopSaved) {
            // The closing vertex is the first one with its own values: what
            // it did not carry was current before Begin. It takes the
            // record's layout (an alpha the record does not carry is left).
            __GLXsavedVertex closing = pb->loopFirst;
            const ULONG layout = pvr->perVertexMask;
            vFillFromCurrent(&closing, layout, pb->atBegin);
            ULONG srcMask = closing.mask;
            if ((srcMask & N_VTX_RGBA) && (layout & N_VTX_RGB) && !(layout & N_VTX_RGBA)) srcMask &= ~N_VTX_RGBA;
            pb->bInWrap = 1;  // the loop's last vertex never wraps
            N_AddVertices(pvr, closing.words, srcMask, layout);
            pb->bInWrap = 0;
        }
        if (pb->mode == GLX_POLYGON && pb->bCutGoesOn && n == 2) {
            // The polygon ended just after a cut: the record holds its first
            // and last vertices, and the record before drew the last edge,
            // back to the first vertex, as internal. The record closes on a
            // copy of its first vertex and draws that edge itself: a
            // triangle without area, its other edges internal.
            __GLXsavedVertex first;
            if (bSaveVertex(pvr, 1, &first)) {
                pb->bInWrap = 1;
                N_AddVertices(pvr, first.words, first.mask, pvr->perVertexMask);
                pb->bInWrap = 0;
                leftover = 0;
            }
        }
        pb->bLoopSaved = 0;
        pb->bCutGoesOn = 0;
        // The record leaves the values of after End current, also where its
        // layouts differ from vertex to vertex or the loop's first vertex
        // came last; values the lgi context holds throughout need no packet.
        const ULONG nKept = pvr->vertexCount > leftover ? pvr->vertexCount - leftover : 0;
        vPutCurrent(pvr, after, pb->touched & ~ulAlreadyCurrent(pvr, nKept, pb->recordStart, after));
        pb->current = after;
        pb->bCurrentKnown = 1;
        ULONG* pulEnd = N_FinishVertexRecord(pvr, leftover, 1, 1);
        pb->pjWrite = reinterpret_cast<BYTE*>(pulEnd);
        pb->pvr = nullptr;
        vUpdateHeader(pb);
    }
    if (pb->bDropping) {
        pb->bDropping = 0;
        __glXSetError(pgc, "X_GLrop_End", GL_OUT_OF_MEMORY);
        return GL_OUT_OF_MEMORY;
    }
    return cbRoom(pb) <= kRoomWords * 4 ? GL_OUT_OF_MEMORY : GL_NO_ERROR;
}

void __glSendPrimitive(GLClient* pgc) {
    __GLXprimBuffer* pb = pBufferOf(pgc);
    if (pb == nullptr) return;
    if (pb->pPacket != nullptr && *pb->ppPacket == pb->pPacket) {
        vHandOn(pb);
    } else {
        pb->pPacket = nullptr;
    }
}

N_VertexRecord* __glXVertexRecord(GLClient* pgc) {
    __GLXprimBuffer* pb = pBufferOf(pgc);
    if (pb == nullptr) return nullptr;
    pb->bWrapped = 0;
    return pb->pvr;
}

void __glXAfterVertex(GLClient* pgc, ULONG fFull) {
    __GLXprimBuffer* pb = pBufferOf(pgc);
    if (pb == nullptr || pb->pvr == nullptr) return;
    pb->fFull = fFull;
    if (pb->bLoopResumed && pb->pvr->vertexCount == 1 && !pb->bWrapped) {
        // A resumed loop's first vertex was drawn before: it is kept for the
        // closing segment and the record starts again without it.
        pb->bLoopResumed = 0;
        if (bSaveVertex(pb->pvr, 1, &pb->loopFirst)) pb->bLoopSaved = 1;
        pb->touched |= pb->loopFirst.mask & kValueBits;
        vOverlay(&pb->current, pb->loopFirst.mask, pb->loopFirst.words);
        pb->recordStart = pb->current;
        pb->pjWrite = reinterpret_cast<BYTE*>(N_FinishVertexRecord(pb->pvr, 1, 0, 0));
        pb->pvr = pvrStart(pb);
        pb->fFull = 0;
        return;
    }
    if (pb->mode == GLX_LINE_LOOP && !pb->bLoopSaved && pb->pvr->vertexCount == 1 &&
        bSaveVertex(pb->pvr, 1, &pb->loopFirst))
        pb->bLoopSaved = 1;
    if (pb->bWrapped) {  // the record already wrapped on this vertex
        pb->bWrapped = 0;
        return;
    }
    // A polygon's record without edge flags takes a word a vertex more for
    // them when a wrap cuts it: it wraps while that room is left.
    const N_VertexRecord* pvr = pb->pvr;
    const bool bRoomForFlags = pb->mode != GLX_POLYGON || (pvr->perVertexMask & (N_VTX_EDGEFLAG | N_VTX_CHANGEMASK)) ||
                               (pvr->writeOffset <= pvr->capacity &&
                                pvr->capacity - pvr->writeOffset >= kRecordMarginWords + pvr->vertexCount);
    if (fFull || !bRoomForFlags) vWrap(pb);
}
