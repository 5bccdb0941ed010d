// Vertex records: the descriptor the GL layer fills between Begin and End.
// The vertices of one primitive are packed one after another into a
// command-stream packet, each with exactly the attributes of the record's
// mask in bit order; attribute setters write the current-attribute area at
// the record's write offset, and a position setter turns that area into the
// next vertex.
//
// The current-attribute area is either in full form (every attribute at a
// fixed slot, as if the mask held all bits) or packed for a layout
// (areaLayout: only those attributes, in bit order). Every write stays
// inside the buffer: an area that would not fit is not written.
#include <cmath>
#include <cstring>

#include "3d/context/context.h"

namespace {


constexpr ULONG kPerPrimBits = 0x3;
constexpr ULONG kPositionBits = N_VTX_POS2 | N_VTX_POS3 | N_VTX_POS4;
constexpr ULONG kSharedBits = N_VTX_EDGEFLAG | N_VTX_CHANGEMASK;
constexpr ULONG kFullWords = 78;    // the full-form area
constexpr ULONG kMarginWords = 144;  // fewer left after a vertex: the flush callback
constexpr ULONG kEdgeBit = 27;
constexpr ULONG kChangeBit = 28;

// The offset of a bit inside a packed vertex of the mask: the words of the
// mask's bits below it, bit 27 adding nothing (27 and 28 share a word).
ULONG ulOffset(ULONG mask, ULONG bit) {
    ULONG off = 0;
    for (ULONG b = 0; b < bit && b < kEdgeBit; ++b)
        if (mask & (1u << b)) off += N_VTX_BIT_WORDS[b];
    return off;
}
ULONG ulFullOffset(ULONG bit) { return ulOffset(N_VTX_ALL, bit); }

// The quads' third vertex, kept between two appends (process-wide).
float gafQuadScratch[3];

void vCross(const float* u, const float* v, float* out) {
    out[0] = u[1] * v[2] - u[2] * v[1];
    out[1] = u[2] * v[0] - u[0] * v[2];
    out[2] = u[0] * v[1] - u[1] * v[0];
}
void vSub(const float* a, const float* b, float* out) {
    for (int i = 0; i < 3; ++i) out[i] = a[i] - b[i];
}

ULONG* pulArea(N_VertexRecord* pvr) { return pvr->pulBuffer + pvr->writeOffset; }
// Whether the full-form area fits the buffer at the write offset.
bool bAreaFits(const N_VertexRecord* pvr) {
    return pvr->writeOffset <= pvr->capacity && pvr->capacity - pvr->writeOffset >= kFullWords;
}
// Where a bit lies in the area in its present form (the bit must be there
// when the area is packed).
ULONG ulAreaOffset(const N_VertexRecord* pvr, ULONG bit) {
    return pvr->packed ? ulOffset(pvr->areaLayout, bit) : ulFullOffset(bit);
}

// Copies attribute `bit` between two vertices; for the shared word only the
// bit's part (low 8 bits edge flag, upper 24 change mask).
void vCopyAttr(ULONG bit, ULONG* pulDst, const ULONG* pulSrc) {
    if (bit == kEdgeBit) {
        *pulDst = (*pulDst & 0xFFFFFF00u) | (*pulSrc & 0xFFu);
    } else if (bit == kChangeBit) {
        *pulDst = (*pulDst & 0xFFu) | (*pulSrc & 0xFFFFFF00u);
    } else {
        std::memcpy(pulDst, pulSrc, N_VTX_BIT_WORDS[bit] * 4);
    }
}

// _NUnpackCurrentAttrs: the area into full form.
void vUnpack(N_VertexRecord* pvr) {
    if (!pvr->packed) return;
    ULONG aul[kFullWords] = {};
    const ULONG* pulA = pulArea(pvr);
    for (ULONG b = 0; b < 29; ++b)
        if (pvr->areaLayout & (1u << b)) vCopyAttr(b, aul + ulFullOffset(b), pulA + ulOffset(pvr->areaLayout, b));
    std::memcpy(pulArea(pvr), aul, sizeof aul);
    pvr->packed = 0;
}

// _NPackCurrentAttrs: the area packed for a layout.
void vPackFor(N_VertexRecord* pvr, ULONG layout) {
    if (pvr->packed && pvr->areaLayout == layout) return;
    ULONG aul[kFullWords] = {};
    const ULONG* pulA = pulArea(pvr);
    for (ULONG b = 0; b < 29; ++b) {
        if (!(layout & (1u << b))) continue;
        if (pvr->packed && !(pvr->areaLayout & (1u << b))) continue;  // not there: zeros
        vCopyAttr(b, aul + ulOffset(layout, b), pulA + ulAreaOffset(pvr, b));
    }
    std::memcpy(pulArea(pvr), aul, _NAttrMaskWords(layout) * 4);
    pvr->packed = 1;
    pvr->areaLayout = layout;
}

// Where a setter writes bit b: the bit joins the mask of a primitive without
// vertices; a bit new after the first vertex sends the area to full form.
// Null when the record cannot take it.
ULONG* pulSlotFor(N_VertexRecord* pvr, ULONG b) {
    if (!bAreaFits(pvr)) return nullptr;
    const ULONG bit = 1u << b;
    if (pvr->vertexCount == 0) {
        if (bit & kPerPrimBits) pvr->perPrimMask |= bit;
        else pvr->perVertexMask |= bit;
        vUnpack(pvr);  // a primitive without vertices is assembled in full form
    } else if (!(pvr->perVertexMask & bit) || (pvr->packed && !(pvr->areaLayout & bit))) {
        vUnpack(pvr);
    }
    return pulArea(pvr) + ulAreaOffset(pvr, b);
}

void vSetWords(N_VertexRecord* pvr, ULONG b, const float* pf) {
    if (pvr == nullptr) return;
    ULONG* pul = pulSlotFor(pvr, b);
    if (pul == nullptr) return;
    std::memcpy(pul, pf, N_VTX_BIT_WORDS[b] * 4);
    pvr->changed |= 1u << b;
}

ULONG ulBitOf(ULONG mask) { return static_cast<ULONG>(__builtin_ctz(mask)); }

// The facet plane step, run by the position setters while the
// speed-over-memory switch is set.
void vFacetStep(N_VertexRecord* pvr, const float* p) {
    const ULONG kind = pvr->pulBuffer[0];
    if (glNSpeedOverMemory == 0 || (kind != 67 && kind != 68 && kind != 70)) return;
    pvr->perVertexMask |= N_VTX_FACET;
    pvr->changed |= N_VTX_FACET;
    const ULONG n = pvr->vertexCount;
    if (n == 0) {
        std::memcpy(pvr->historyA, p, 12);
        return;
    }
    if (n == 1) {
        std::memcpy(pvr->historyB, p, 12);
        return;
    }
    float u[3], v[3], nrm[3];
    LONG face = -1;
    if (kind == 70) {
        face = static_cast<LONG>(n - 2);
        if (n % 2 == 1) {
            vSub(pvr->historyA, pvr->historyB, u);
            vSub(p, pvr->historyA, v);
        } else {
            vSub(pvr->historyB, pvr->historyA, u);
            vSub(p, pvr->historyB, v);
        }
    } else if (kind == 67) {
        if (n % 3 == 2) {
            face = static_cast<LONG>(n / 3);
            vSub(pvr->historyB, pvr->historyA, u);
            vSub(p, pvr->historyB, v);
        }
    } else if (n % 4 == 2) {
        std::memcpy(gafQuadScratch, p, 12);
        return;
    } else if (n % 4 == 3) {
        face = static_cast<LONG>(n / 4);
        vSub(gafQuadScratch, pvr->historyA, u);
        vSub(p, pvr->historyB, v);
    }
    if (face >= 0 && (pvr->perVertexMask & N_VTX_FACET) && static_cast<ULONG>(face) < n) {
        vCross(u, v, nrm);
        const ULONG cWords = _NAttrMaskWords(pvr->perVertexMask);
        const std::uint64_t off = pvr->dataStart + _NAttrMaskWords(pvr->perPrimMask) +
                                  std::uint64_t{static_cast<ULONG>(face)} * cWords +
                                  ulOffset(pvr->perVertexMask, 9);
        if (off + 4 <= pvr->writeOffset) {
            float* pf = reinterpret_cast<float*>(pvr->pulBuffer + off);
            pf[0] = nrm[0];
            pf[1] = nrm[1];
            pf[2] = nrm[2];
            pf[3] = nrm[0] * pvr->historyA[0] + nrm[1] * pvr->historyA[1] + nrm[2] * pvr->historyA[2];
        }
    }
    std::memcpy(pvr->historyA, pvr->historyB, 12);
    std::memcpy(pvr->historyB, p, 12);
}

// Steps 5 to 9 of an append: fill what was not set from the previous vertex,
// pack, advance, and call the flush callback when the buffer runs short.
ULONG ulCompleteVertex(N_VertexRecord* pvr) {
    const ULONG n = pvr->vertexCount;
    const ULONG changed = pvr->changed & ~kPerPrimBits;
    if (n > 0) {
        // _NCompleteVertex: the previous vertex lies just before the area.
        const ULONG prevLayout = pvr->lastLayout;
        const ULONG* pulPrev = pulArea(pvr) - _NAttrMaskWords(prevLayout);
        const ULONG fill = pvr->perVertexMask & ~changed & ~pvr->changeMaskValue & prevLayout;
        for (ULONG b = 2; b < 29; ++b) {
            if (!(fill & (1u << b))) continue;
            ULONG* pul = pulSlotFor(pvr, b);
            if (pul != nullptr) vCopyAttr(b, pul, pulPrev + ulOffset(prevLayout, b));
        }
    }
    pvr->lastLayout = pvr->perVertexMask | changed;
    pvr->changed = 0;
    const ULONG layout = pvr->lastLayout | (n == 0 ? pvr->perPrimMask : 0);
    vPackFor(pvr, layout);
    pvr->writeOffset += _NAttrMaskWords(layout);
    pvr->vertexCount = n + 1;
    pvr->facetGiven = 0;
    pvr->areaLayout = pvr->perVertexMask;  // the next vertex is assembled packed
    if (pvr->capacity < pvr->writeOffset || pvr->capacity - pvr->writeOffset < kMarginWords) {
        if (pvr->pfnFlush != nullptr) pvr->pfnFlush(pvr->pvFlushArg);
    }
    return pvr->perVertexMask != pvr->lastLayout ? 1 : 0;
}

ULONG ulAppendPosition(N_VertexRecord* pvr, ULONG ownBit, float x, float y, float z, float w) {
    if (pvr == nullptr || !bAreaFits(pvr)) return 0;
    const float p[3] = {x, y, z};
    vFacetStep(pvr, p);
    ULONG bit = ownBit;
    if (pvr->vertexCount > 0 && !(pvr->perVertexMask & ownBit)) {
        if (ownBit == N_VTX_POS2 && (pvr->perVertexMask & N_VTX_POS3)) bit = N_VTX_POS3;
        else if (ownBit != N_VTX_POS4 && (pvr->perVertexMask & N_VTX_POS4)) bit = N_VTX_POS4;
    }
    const float af[4] = {x, y, z, w};
    vSetWords(pvr, ulBitOf(bit), af);
    return ulCompleteVertex(pvr);
}

// _NEmitAttrPackets: attribute-set packets for bits 5-27 of the mask from
// packed source words, into at most cRoom words. Answers the words written.
ULONG ulEmitAttrPackets(ULONG mask, const ULONG* pulSrc, ULONG* pulDst, ULONG cRoom) {
    ULONG c = 0;
    for (ULONG b = 5; b <= kEdgeBit; ++b) {
        if (!(mask & (1u << b))) continue;
        const ULONG cData = b == 5 ? 4 : N_VTX_BIT_WORDS[b];
        const ULONG* pulWords = pulSrc + ulOffset(mask, b);
        if (cRoom - c < 4 + cData) break;  // the packet buffer is full: what is left is not sent
        const ULONG id = N_VTX_BIT_ATTR[b];
        pulDst[c++] = N_PKT_SET_ATTR;
        pulDst[c++] = id;
        pulDst[c++] = ulAttrDescriptor(id);
        pulDst[c++] = gaNAttrTable[id].flDirty;
        if (b == kEdgeBit) {
            pulDst[c++] = pulWords[0] & 0xFFu;
        } else {
            std::memcpy(pulDst + c, pulWords, N_VTX_BIT_WORDS[b] * 4);
            c += N_VTX_BIT_WORDS[b];
            if (b == 5) pulDst[c++] = __glXFloatBits(1.0f);
        }
    }
    return c;
}

}  // namespace

// A context's ring of vertex records.
struct N_VertexRing {
    N_VertexRecord records[64];
    ULONG counter;
};

ULONG _NAttrMaskWords(ULONG mask) {
    ULONG c = 0;
    for (ULONG b = 0; b < kEdgeBit; ++b)
        if (mask & (1u << b)) c += N_VTX_BIT_WORDS[b];
    if (mask & kSharedBits) c += 1;
    return c;
}

N_VertexRecord* _NAllocVertexRing(ULONG kind, ULONG* pulBuffer, ULONG cjBuffer, N_VertexFlushFn pfnFlush,
                                  void* pvFlushArg, N_VertexRing** ppRing) {
    if (cjBuffer <= 576 || pulBuffer == nullptr) {
        if (pfnFlush != nullptr) pfnFlush(pvFlushArg);
        return nullptr;
    }
    if (ppRing == nullptr) return nullptr;
    if (*ppRing == nullptr) {
        *ppRing = static_cast<N_VertexRing*>(_Nalloc(sizeof(N_VertexRing)));
        if (*ppRing == nullptr) return nullptr;
        std::memset(*ppRing, 0, sizeof(N_VertexRing));
    }
    N_VertexRing* pRing = *ppRing;
    const ULONG index = pRing->counter & 63;
    pRing->counter = index + 1;
    N_VertexRecord* pvr = &pRing->records[index];
    std::memset(pvr, 0, sizeof *pvr);
    pvr->writeOffset = 3;
    pvr->capacity = cjBuffer / 4;
    pvr->dataStart = 3;
    pvr->pfnFlush = pfnFlush;
    pvr->pvFlushArg = pvFlushArg;
    pvr->pulBuffer = pulBuffer;
    pulBuffer[0] = kind;
    pulBuffer[1] = 0;
    pulBuffer[2] = 0;
    return pvr;
}

void _NFreeVertexRing(N_VertexRing* pRing) {
    if (pRing != nullptr) _Nfree(pRing);
}

// --- attribute setters ----------------------------------------------------------------------
#define N_SETTER4(name, bit)                                                      \
    void name(N_VertexRecord* pvr, float a, float b, float c, float d) {         \
        const float af[4] = {a, b, c, d};                                         \
        vSetWords(pvr, bit, af);                                                  \
    }
#define N_SETTER1(name, bit)                                                      \
    void name(N_VertexRecord* pvr, float a) { vSetWords(pvr, bit, &a); }

N_SETTER4(N_SetVertexColor4, 6)
N_SETTER4(N_SetVertexTexCoord, 10)
N_SETTER4(N_SetVertexFrontEmission, 11)
N_SETTER4(N_SetVertexFrontAmbient, 12)
N_SETTER4(N_SetVertexFrontDiffuse, 13)
N_SETTER4(N_SetVertexFrontSpecular, 14)
N_SETTER4(N_SetVertexBackEmission, 16)
N_SETTER4(N_SetVertexBackAmbient, 17)
N_SETTER4(N_SetVertexBackDiffuse, 18)
N_SETTER4(N_SetVertexBackSpecular, 19)
N_SETTER1(N_SetVertexIndex, 7)
N_SETTER1(N_SetVertexFrontShininess, 15)
N_SETTER1(N_SetVertexBackShininess, 20)
N_SETTER1(N_SetVertexFrontAmbientIndex, 21)
N_SETTER1(N_SetVertexFrontDiffuseIndex, 22)
N_SETTER1(N_SetVertexFrontSpecularIndex, 23)
N_SETTER1(N_SetVertexBackAmbientIndex, 24)
N_SETTER1(N_SetVertexBackDiffuseIndex, 25)
N_SETTER1(N_SetVertexBackSpecularIndex, 26)
#undef N_SETTER4
#undef N_SETTER1

void N_SetVertexColor3(N_VertexRecord* pvr, float r, float g, float b) {
    if (pvr == nullptr) return;
    if (pvr->vertexCount > 0 && !(pvr->perVertexMask & N_VTX_RGB) && (pvr->perVertexMask & N_VTX_RGBA)) {
        N_SetVertexColor4(pvr, r, g, b, 1.0f);
        return;
    }
    const float af[3] = {r, g, b};
    vSetWords(pvr, 5, af);
}

void N_SetVertexNormal(N_VertexRecord* pvr, float x, float y, float z) {
    // The normal is kept as given, as the client's vertex ring and the
    // array path pass it: GL lights with it as it is unless normalising is
    // on, which the normal stage does (in model space too), and the current
    // normal that glGet answers is the one given.
    const float af[3] = {x, y, z};
    vSetWords(pvr, 8, af);
}

void N_SetVertexEdgeFlag(N_VertexRecord* pvr, ULONG flag) {
    if (pvr == nullptr) return;
    ULONG* pul = pulSlotFor(pvr, kEdgeBit);
    if (pul == nullptr) return;
    const ULONG keep = (pvr->perVertexMask & N_VTX_CHANGEMASK) ? (*pul & 0xFFFFFF00u) : 0;
    *pul = keep | (flag & 0xFFu);
    pvr->changed |= N_VTX_EDGEFLAG;
}

void N_SetVertexChangeMask(N_VertexRecord* pvr, ULONG word) {
    if (pvr == nullptr) return;
    pvr->changeMaskValue = word >> 5;
    if (pvr->vertexCount == 0) pvr->perVertexMask |= pvr->changeMaskValue & N_VTX_ALL & ~kPerPrimBits;
    ULONG* pul = pulSlotFor(pvr, kChangeBit);
    if (pul == nullptr) return;
    const ULONG keep = (pvr->perVertexMask & N_VTX_EDGEFLAG) ? (*pul & 0xFFu) : 0;
    *pul = (word & 0xFFFFFF00u) | keep;
    pvr->changed |= N_VTX_CHANGEMASK;
}

// --- appending vertices ---------------------------------------------------------------------
ULONG N_SetVertexPos2(N_VertexRecord* pvr, float x, float y) {
    return ulAppendPosition(pvr, N_VTX_POS2, x, y, 0.0f, 1.0f);
}
ULONG N_SetVertexPos3(N_VertexRecord* pvr, float x, float y, float z) {
    return ulAppendPosition(pvr, N_VTX_POS3, x, y, z, 1.0f);
}
ULONG N_SetVertexPos4(N_VertexRecord* pvr, float x, float y, float z, float w) {
    return ulAppendPosition(pvr, N_VTX_POS4, x, y, z, w);
}

ULONG N_AddVertices(N_VertexRecord* pvr, const ULONG* pulSource, ULONG srcMask, ULONG mask) {
    if (pvr == nullptr || pulSource == nullptr || !bAreaFits(pvr)) return 0;
    mask &= N_VTX_ALL;
    srcMask &= N_VTX_ALL;
    if (pvr->vertexCount == 0) {
        pvr->perPrimMask |= mask & kPerPrimBits;
        pvr->perVertexMask |= mask & ~kPerPrimBits;
    } else if (mask & ~kPerPrimBits & ~pvr->perVertexMask) {
        vUnpack(pvr);
    }
    const ULONG recMask = pvr->perVertexMask;
    ULONG savedShared = 0;
    const bool bKeepShared = srcMask != mask && srcMask != 0 && (recMask & kSharedBits);
    if (bKeepShared) {
        ULONG* pul = pulSlotFor(pvr, (recMask & N_VTX_EDGEFLAG) ? kEdgeBit : kChangeBit);
        if (pul != nullptr) savedShared = *pul;
    }
    for (ULONG b = 0; b < 29; ++b) {
        const ULONG bit = 1u << b;
        if (!(srcMask & bit)) continue;
        if ((bit & kPerPrimBits) && pvr->vertexCount > 0) continue;  // stored once
        const ULONG* pulSrc = pulSource + ulOffset(srcMask, b);
        ULONG dst = b;
        float af[4];
        if (bit & kPositionBits) {
            const ULONG widest = (mask | recMask) & kPositionBits;
            dst = widest ? 31 - static_cast<ULONG>(__builtin_clz(widest)) : b;
            std::memcpy(af, pulSrc, 16);
            if (bit == N_VTX_POS2) af[2] = 0.0f, af[3] = 1.0f;
            else if (bit == N_VTX_POS3) af[3] = 1.0f;
            vSetWords(pvr, dst, af);
        } else if (bit == N_VTX_RGB && ((mask | recMask) & N_VTX_RGBA) && !((mask | recMask) & N_VTX_RGB)) {
            std::memcpy(af, pulSrc, 12);
            af[3] = 1.0f;
            vSetWords(pvr, 6, af);
        } else {
            ULONG* pul = pulSlotFor(pvr, b);
            if (pul == nullptr) continue;
            vCopyAttr(b, pul, pulSrc);
            pvr->changed |= bit;
        }
    }
    if (bKeepShared) {
        ULONG* pul = pulSlotFor(pvr, (recMask & N_VTX_EDGEFLAG) ? kEdgeBit : kChangeBit);
        if (pul != nullptr) *pul |= savedShared;
    }
    const ULONG posBit = (srcMask & kPositionBits) ? ulBitOf(srcMask & kPositionBits) : 32;
    const ULONG result = ulCompleteVertex(pvr);
    if (posBit < 32) {
        float p[3];
        std::memcpy(p, pulSource + ulOffset(srcMask, posBit), 12);
        std::memcpy(pvr->historyA, pvr->historyB, 12);
        std::memcpy(pvr->historyB, p, 12);
    }
    return result;
}

// --- finishing ------------------------------------------------------------------------------
ULONG* N_FinishVertexRecord(N_VertexRecord* pvr, ULONG nDrop, ULONG emit, ULONG release) {
    if (pvr == nullptr) return nullptr;
    const ULONG nBefore = pvr->vertexCount;
    if (nDrop >= pvr->vertexCount) pvr->vertexCount = 0;
    else pvr->vertexCount -= nDrop;
    const ULONG n = pvr->vertexCount;
    const bool bUnchanged = n == 0 && pvr->perVertexMask == pvr->lastLayout;
    const bool bQuiet = emit == 0 || (pvr->changed == 0 && !bUnchanged);
    ULONG* pulStart = pvr->pulBuffer;
    if (n == 0 && bQuiet) return pulStart;
    const ULONG cPrim = _NAttrMaskWords(pvr->perPrimMask);
    const ULONG cVertex = _NAttrMaskWords(pvr->perVertexMask);
    pulStart[1] = pvr->perVertexMask | pvr->perPrimMask;
    pulStart[2] = n;
    // The vertices kept never reach beyond the write offset.
    const std::uint64_t endWord = pvr->dataStart + std::uint64_t{cPrim} + std::uint64_t{n} * cVertex;
    ULONG* pulEnd = pulStart + (endWord <= pvr->capacity ? endWord : pvr->capacity);
    if (bQuiet) return pulEnd;

    // What must become current: the last vertex of a dropped primitive, and
    // what was set after the last vertex (saved first: the packets may
    // overwrite the area).
    ULONG aulLast[kFullWords], aulChanged[kFullWords];
    ULONG lastMask = 0, changedMask = 0;
    if (bUnchanged && nBefore > 0) {
        lastMask = pvr->lastLayout & 0x1FFFFFE0u;
        const std::uint64_t off = pvr->dataStart + std::uint64_t{cPrim} + std::uint64_t{nBefore - 1} * cVertex;
        const ULONG* pulV = pulStart + off;
        for (ULONG b = 5; b < 29; ++b)
            if (lastMask & (1u << b))
                vCopyAttr(b, aulLast + ulOffset(lastMask, b), pulV + ulOffset(pvr->lastLayout, b));
    }
    if (pvr->changed != 0 && bAreaFits(pvr)) {
        changedMask = pvr->changed;
        vPackFor(pvr, changedMask);
        std::memcpy(aulChanged, pulArea(pvr), _NAttrMaskWords(changedMask) * 4);
    }
    ULONG* pulOut = n == 0 ? pulStart : pulEnd;
    const ULONG* pulLimit = pulStart + pvr->capacity;
    if (lastMask != 0) pulOut += ulEmitAttrPackets(lastMask, aulLast, pulOut, static_cast<ULONG>(pulLimit - pulOut));
    if (changedMask != 0)
        pulOut += ulEmitAttrPackets(changedMask, aulChanged, pulOut, static_cast<ULONG>(pulLimit - pulOut));
    (void)release;  // the release hook does nothing
    return pulOut;
}

const ULONG* N_GetCurrentAttrs(N_VertexRecord* pvr, ULONG* pMask, ULONG* pcb) {
    if (pvr == nullptr || pvr->changed == 0 || !bAreaFits(pvr)) {
        if (pMask != nullptr) *pMask = 0;
        if (pcb != nullptr) *pcb = 0;
        return nullptr;
    }
    vPackFor(pvr, pvr->changed);
    if (pMask != nullptr) *pMask = pvr->changed;
    if (pcb != nullptr) *pcb = _NAttrMaskWords(pvr->changed) * 4;
    return pulArea(pvr);
}

const ULONG* N_GetVertex(N_VertexRecord* pvr, ULONG i, ULONG* pMask, ULONG* pcb) {
    if (pvr == nullptr || i < 1 || i > pvr->vertexCount) {
        if (pMask != nullptr) *pMask = 0;
        if (pcb != nullptr) *pcb = 0;
        return nullptr;
    }
    const ULONG cPrim = _NAttrMaskWords(pvr->perPrimMask);
    const ULONG cVertex = _NAttrMaskWords(pvr->perVertexMask);
    ULONG mask = i == pvr->vertexCount ? pvr->lastLayout : pvr->perVertexMask;
    const ULONG* pul = pvr->pulBuffer + pvr->dataStart + cPrim + std::uint64_t{i - 1} * cVertex;
    if (i == 1) {
        mask |= pvr->perPrimMask;
        pul = pvr->pulBuffer + pvr->dataStart;
    }
    if (pMask != nullptr) *pMask = mask;
    if (pcb != nullptr) *pcb = _NAttrMaskWords(mask) * 4;
    return pul;
}

const ULONG* N_GetAttrPtr(ULONG bit, ULONG mask, const ULONG* pulVertex, ULONG* pcb) {
    if (bit == 0 || (bit & (bit - 1)) != 0 || !(mask & bit) || pulVertex == nullptr) {
        if (pcb != nullptr) *pcb = 0;
        return nullptr;
    }
    const ULONG b = ulBitOf(bit);
    if (pcb != nullptr) *pcb = (b == kChangeBit ? 1u : N_VTX_BIT_WORDS[b]) * 4;
    return pulVertex + ulOffset(mask, b);
}
