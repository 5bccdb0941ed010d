// The shared primitive ring of a context and X_GLrop_PrimitiveZYD: a batch
// is drawn straight from the ring (or from the command's own arrays), after
// the attributes that not every vertex carries are filled in place and the
// vertices of a primitive continued from the previous batch are put back.
//
// The ring and the command are the client's: the header is read once, every
// slot and array is checked to lie inside the ring or the command before
// anything is read or written, strip lengths are copied before they are
// checked, and vertex flags are read once a vertex.
#include <cstring>

#include "dispatch/dispatch.h"
#include "platform/engine.h"
#include "prim/prim.h"
#include "segment/segment.h"

namespace {

// GL modes 0-9 to lgi kinds. Quad strips go as quad strips (71), not as
// triangle strips: flat-shaded, a quad takes its last vertex's colour, which
// a triangle strip gives only its second triangle.
constexpr ULONG kKinds[10] = {63, 65, 64, 64, 67, 70, 69, 68, 71, 66};

constexpr ULONG kPositionBits = VTX_XY | VTX_XYZ | VTX_XYZW;
constexpr ULONG kColorBits = VTX_RGB | VTX_RGBA;

__GLXprimSegment* pStateOf(GLContext* gc) { return static_cast<__GLXprimSegment*>(gc->pPrimSegment); }

__GLXprimSegment* pStateMade(GLContext* gc) {
    if (gc->pPrimSegment == nullptr) gc->pPrimSegment = LocalAlloc(LPTR, sizeof(__GLXprimSegment));
    return pStateOf(gc);
}

void vUnmap(__GLXprimSegment* ps) {
    if (ps->pView != nullptr) UnmapViewOfFile(ps->pView);
    if (ps->hSection != nullptr) CloseHandle(ps->hSection);
    ps->pView = nullptr;
    ps->hSection = nullptr;
}

// The arrays of a batch: element i of each at its base plus i strides.
struct Arrays {
    ULONG* flags;  // null: every vertex has the flags `single`
    ULONG single;
    float* position;
    float* color;
    float* index;
    float* normal;
    float* texCoord;
    ULONG* edgeFlag;

    ULONG Flags(ULONG i) const { return flags != nullptr ? ulShared(flags + i) : single; }
};

// What a vertex takes for an attribute no vertex before it carries.
struct Current {
    float color[4];
    float index;
    float normal[3];
    float texCoord[4];
    ULONG edgeFlag;
};
static_assert(sizeof Current::color == N_AttrWords(N_ATTR_COLOUR) * sizeof(ULONG) &&
              sizeof Current::index == N_AttrWords(N_ATTR_INDEX) * sizeof(ULONG) &&
              sizeof Current::normal == N_AttrWords(N_ATTR_NORMAL) * sizeof(ULONG) &&
              sizeof Current::texCoord == N_AttrWords(N_ATTR_TEXCOORD) * sizeof(ULONG) &&
              sizeof Current::edgeFlag == N_AttrWords(N_ATTR_EDGE_FLAG) * sizeof(ULONG));
Current currentValues() {
    Current c{};
    N_GetStateBlockAttr(N_ATTR_COLOUR, c.color);
    N_GetStateBlockAttr(N_ATTR_INDEX, &c.index);
    N_GetStateBlockAttr(N_ATTR_NORMAL, c.normal);
    N_GetStateBlockAttr(N_ATTR_TEXCOORD, c.texCoord);
    N_GetStateBlockAttr(N_ATTR_EDGE_FLAG, &c.edgeFlag);
    return c;
}

// Fills one attribute of cWords words: the first vertex without it from the
// current value, every later one from its predecessor; but a repeat of a
// line loop's, fan's or polygon's first vertex from that vertex as filled
// (the last one marked before it, else pFirst, that of an earlier batch,
// when there is one).
template <class T>
void vFillAttr(const Arrays& a, ULONG n, ULONG flBits, T* pBase, ULONG cWords, const T* pCurrent,
               const T* pFirst) {
    if (pBase == nullptr) return;
    for (ULONG i = 0; i < n; ++i) {
        const ULONG fl = a.Flags(i);
        if (!(fl & flBits)) {
            const T* pSrc = (fl & VTX_FIRST_COPY) && pFirst != nullptr ? pFirst
                            : i == 0                                     ? pCurrent
                                                                         : pBase + std::size_t{i - 1} * cWords;
            std::memcpy(pBase + std::size_t{i} * cWords, pSrc, cWords * sizeof(T));
        }
        if (fl & VTX_PRIM_FIRST) pFirst = pBase + std::size_t{i} * cWords;
    }
}

// The last vertex of the batch marked as a primitive's first one, or n.
ULONG ulLastFirst(const Arrays& a, ULONG n) {
    ULONG last = n;
    for (ULONG i = 0; i < n; ++i)
        if (a.Flags(i) & VTX_PRIM_FIRST) last = i;
    return last;
}

// Saves vertex i: its position, and each attribute from its array when the
// format carries it, else the current value.
void vSave(const Arrays& a, ULONG i, ULONG format, const Current& cur, __GLXcontinuation* pSave) {
    std::memcpy(pSave->position, a.position + 4 * std::size_t{i}, 16);
    if ((format & kColorBits) && a.color) std::memcpy(pSave->color, a.color + 4 * std::size_t{i}, 16);
    else std::memcpy(pSave->color, cur.color, 16);
    pSave->index = (format & VTX_INDEX) && a.index ? a.index[i] : cur.index;
    if ((format & VTX_NORMAL) && a.normal) std::memcpy(pSave->normal, a.normal + 3 * std::size_t{i}, 12);
    else std::memcpy(pSave->normal, cur.normal, 12);
    if ((format & VTX_TEXCOORD) && a.texCoord) std::memcpy(pSave->texCoord, a.texCoord + 4 * std::size_t{i}, 16);
    else std::memcpy(pSave->texCoord, cur.texCoord, 16);
    pSave->edgeFlag = (format & VTX_EDGEFLAG) && a.edgeFlag ? ulShared(a.edgeFlag + i) : cur.edgeFlag;
}

// Puts a saved vertex into slot i: its position and the attributes the
// format carries; the slot's flags become the format.
void vRestore(const Arrays& a, ULONG i, ULONG format, const __GLXcontinuation& s) {
    std::memcpy(a.position + 4 * std::size_t{i}, s.position, 16);
    if ((format & kColorBits) && a.color) std::memcpy(a.color + 4 * std::size_t{i}, s.color, 16);
    if ((format & VTX_INDEX) && a.index) a.index[i] = s.index;
    if ((format & VTX_NORMAL) && a.normal) std::memcpy(a.normal + 3 * std::size_t{i}, s.normal, 12);
    if ((format & VTX_TEXCOORD) && a.texCoord) std::memcpy(a.texCoord + 4 * std::size_t{i}, s.texCoord, 16);
    if ((format & VTX_EDGEFLAG) && a.edgeFlag) vSetShared(a.edgeFlag + i, s.edgeFlag);
    if (a.flags != nullptr) vSetShared(a.flags + i, format);
}

// The widest of the bits present, in order of preference.
ULONG ulWidest(ULONG mask, std::initializer_list<ULONG> order) {
    for (ULONG bit : order)
        if (mask & bit) return bit;
    return 0;
}

// Refuses a batch: the GL error under the request's name; a batch of the
// ring is still consumed, so that the client does not wait on it.
ULONG ulRefuse(GLClient* pgc, const void* pvRequest, PrimSegment* pSeg, ULONG ulConsumed, ULONG glError) {
    if (pSeg != nullptr) vSetShared(&pSeg->consumedIndex, ulConsumed);
    return __glXRenderError(pgc, pvRequest, glError);
}

}  // namespace

ULONG __glPrimKind(ULONG mode) { return mode < 10 ? kKinds[mode] : 0; }

LONG __glMapPrimSegment(GLClient* pgc, ULONG hSection, ULONG cjSection) {
    GLContext* gc = pgc != nullptr ? pgc->gc : nullptr;
    if (gc == nullptr) return -1;
    // The ring has one size; a section of another would let batches reach
    // past the view.
    if (cjSection != PRIM_SEGMENT_SIZE) {
        __glXDebugPrint("%s: section of %u bytes\n", __func__, cjSection);
        return -1;
    }
    __GLXprimSegment* ps = pStateMade(gc);
    if (ps == nullptr) return -1;
    HANDLE hProcess = EngGetProcessHandle();
    if (hProcess == nullptr) return -1;
    HANDLE hMine = nullptr;
    if (!DuplicateHandle(hProcess, reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(hSection)),
                         GetCurrentProcess(), &hMine, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return -1;
    auto* pView = static_cast<PrimSegment*>(MapViewOfFile(hMine, FILE_MAP_WRITE, 0, 0, cjSection));
    if (pView == nullptr) {
        CloseHandle(hMine);
        return -1;
    }
    vUnmap(ps);  // a new ring replaces the old one
    ps->hSection = hMine;
    ps->pView = pView;
    vSetShared(&pView->consumedIndex, PRIM_SEGMENT_VERTICES);
    return 1;
}

ULONG glExecPrimitiveZYD(GLClient* pgc, const void* pvRequest) {
    GLContext* gc = pgc != nullptr ? pgc->gc : nullptr;
    if (gc == nullptr) return GLX_BAD_ACCESS;
    const ULONG cj = __glXRenderLength(pgc, pvRequest);
    if (cj < sizeof(PrimitiveZYDHeader)) return __glXBadLength(pgc, pvRequest);
    PrimitiveZYDHeader h;
    std::memcpy(&h, pvRequest, sizeof h);
    const ULONG mode = h.mode & ~(PRIM_FROM_PREVIOUS | PRIM_TO_NEXT);
    const ULONG flCont = h.mode & (PRIM_FROM_PREVIOUS | PRIM_TO_NEXT);
    const ULONG first = h.first, n = h.count;
    __GLXprimSegment* ps = pStateOf(gc);
    PrimSegment* pSeg = h.inSegment != 0 && ps != nullptr ? ps->pView : nullptr;
    const ULONG ulConsumed = first + n;

    if (mode > 9) {
        if (pSeg != nullptr) vSetShared(&pSeg->consumedIndex, ulConsumed);
        return 6;
    }
    if (h.inSegment != 0 && pSeg == nullptr) return __glXRenderError(pgc, pvRequest, GL_INVALID_OPERATION);
    if (n > GLX_PRIM_BATCH_MAX) return ulRefuse(pgc, pvRequest, pSeg, ulConsumed, GL_INVALID_VALUE);
    const ULONG kind = kKinds[mode];
    const ULONG cStrips = kind == 64 ? h.numStrips : 0;
    if (cStrips > n) return ulRefuse(pgc, pvRequest, pSeg, ulConsumed, GL_INVALID_VALUE);

    Arrays a{};
    ULONG aulStrips[GLX_PRIM_BATCH_MAX];
    const bool bSingle = pSeg == nullptr && h.orMask == h.andMask;
    if (pSeg != nullptr) {
        if (ulConsumed > PRIM_SEGMENT_VERTICES || first + cStrips > PRIM_SEGMENT_VERTICES)
            return ulRefuse(pgc, pvRequest, pSeg, ulConsumed, GL_INVALID_VALUE);
        for (ULONG k = 0; k < cStrips; ++k) aulStrips[k] = ulShared(&pSeg->stripLengths[first + k]);
        a.flags = &pSeg->vertexFlags[first];
        a.position = pSeg->position[first];
        a.color = pSeg->color[first];
        a.index = &pSeg->colorIndex[first];
        a.normal = pSeg->normal[first];
        a.texCoord = pSeg->texCoord[first];
        a.edgeFlag = &pSeg->edgeFlag[first];
    } else {
        // The arrays follow the header in the command; the command must hold
        // them all.
        __glXDebugPrint("going thru NON shared mem clause in server\n");
        auto* pj = const_cast<BYTE*>(static_cast<const BYTE*>(pvRequest));
        std::uint64_t off = sizeof h;
        const std::uint64_t cStripBytes = 4ull * cStrips;
        const std::uint64_t offStrips = off;
        off += cStripBytes;
        auto take = [&](bool bPresent, ULONG cjEach) -> BYTE* {
            if (!bPresent) return nullptr;
            BYTE* p = pj + off;
            off += std::uint64_t{cjEach} * n;
            return p;
        };
        a.flags = reinterpret_cast<ULONG*>(take(!bSingle, 4));
        a.single = h.orMask;
        a.position = reinterpret_cast<float*>(take(true, 16));
        a.color = reinterpret_cast<float*>(take(h.orMask & kColorBits, 16));
        a.index = reinterpret_cast<float*>(take(h.orMask & VTX_INDEX, 4));
        a.normal = reinterpret_cast<float*>(take(h.orMask & VTX_NORMAL, 12));
        a.texCoord = reinterpret_cast<float*>(take(h.orMask & VTX_TEXCOORD, 16));
        a.edgeFlag = reinterpret_cast<ULONG*>(take(h.orMask & VTX_EDGEFLAG, 4));
        if (off > cj) return __glXBadLength(pgc, pvRequest);
        std::memcpy(aulStrips, pj + offStrips, cStripBytes);
    }
    std::uint64_t cInStrips = 0;
    for (ULONG k = 0; k < cStrips; ++k) cInStrips += aulStrips[k];
    if (cInStrips > n) return ulRefuse(pgc, pvRequest, pSeg, ulConsumed, GL_INVALID_VALUE);

    if (gc->dirty != 0) __glXValidateDraw(gc);
    if (gc->pPending != nullptr) __glXFlushPending(pgc);
    __GLXprimSegment* pCont = pStateMade(gc);  // the continuation vertices
    const Current cur = currentValues();

    // A primitive continued from the previous batch gets its saved vertices
    // back. The slots written always lie inside the batch.
    if ((flCont & PRIM_FROM_PREVIOUS) && mode >= 2 && pCont != nullptr) {
        if (mode == GLX_LINE_LOOP && flCont == PRIM_FROM_PREVIOUS && n >= 1) {
            vRestore(a, n - 1, h.orMask, pCont->first);
        } else if (mode == GLX_TRIANGLE_FAN || mode == GLX_POLYGON) {
            if (n >= 1) vRestore(a, 0, h.orMask, pCont->first);
            if (n >= 2) vRestore(a, 1, h.orMask, pCont->previous);
        }
    }

    // The markers of first vertices and their repeats are no attributes.
    ULONG format = h.orMask & ~VTX_MARKERS;
    // The first vertex an earlier batch of this primitive holds.
    const __GLXcontinuation* pFirst =
        (flCont & PRIM_FROM_PREVIOUS) && pCont != nullptr && pCont->bPrimFirst != 0 ? &pCont->primFirst : nullptr;
    if (h.orMask != h.andMask) {
        format = (format & ~kPositionBits) | ulWidest(format, {VTX_XYZW, VTX_XYZ, VTX_XY});
        format = (format & ~kColorBits) | ulWidest(format, {VTX_RGBA, VTX_RGB});
        vFillAttr(a, n, kColorBits, a.color, 4, cur.color, pFirst ? pFirst->color : nullptr);
        vFillAttr(a, n, VTX_INDEX, a.index, 1, &cur.index, pFirst ? &pFirst->index : nullptr);
        vFillAttr(a, n, VTX_NORMAL, a.normal, 3, cur.normal, pFirst ? pFirst->normal : nullptr);
        vFillAttr(a, n, VTX_TEXCOORD, a.texCoord, 4, cur.texCoord, pFirst ? pFirst->texCoord : nullptr);
        if (a.edgeFlag != nullptr) {
            bool bFirst = pFirst != nullptr;
            ULONG firstEdge = pFirst != nullptr ? pFirst->edgeFlag : 0;
            for (ULONG i = 0; i < n; ++i) {
                const ULONG fl = a.Flags(i);
                if (!(fl & VTX_EDGEFLAG))
                    vSetShared(a.edgeFlag + i, (fl & VTX_FIRST_COPY) && bFirst ? firstEdge
                                               : i == 0                        ? cur.edgeFlag
                                                                               : ulShared(a.edgeFlag + i - 1));
                if (fl & VTX_PRIM_FIRST) {
                    bFirst = true;
                    firstEdge = ulShared(a.edgeFlag + i);
                }
            }
        }
        // A loop drawn whole in this batch closes on a copy of its first
        // vertex in its last slot: that copy gets the first vertex as filled.
        if (flCont == 0 && mode == GLX_LINE_LOOP && n >= 2 && pCont != nullptr && (a.Flags(0) & ~VTX_MARKERS) != format) {
            vSave(a, 0, format, cur, &pCont->first);
            vRestore(a, n - 1, format, pCont->first);
        }
    }

    // A primitive going on into the next batch keeps its first vertex for
    // the repeats there: the one marked here, else the one it came with.
    if (pCont != nullptr) {
        const ULONG last = (h.orMask & VTX_PRIM_FIRST) ? ulLastFirst(a, n) : n;
        if (!(flCont & PRIM_TO_NEXT)) {
            pCont->bPrimFirst = 0;
        } else if (last < n) {
            vSave(a, last, format, cur, &pCont->primFirst);
            pCont->bPrimFirst = 1;
        } else if (pFirst == nullptr) {
            pCont->bPrimFirst = 0;
        }
    }

    if ((flCont & PRIM_TO_NEXT) && mode >= 2 && pCont != nullptr) {
        if (mode == GLX_LINE_LOOP) {
            __glXDebugPrint("glExecPrimitiveZYD: GL_LINE_LOOP!!\n");
            _NProgrammerError();
        } else if ((mode == GLX_TRIANGLE_FAN || mode == GLX_POLYGON) && n >= 1) {
            if (flCont == PRIM_TO_NEXT) vSave(a, 0, format, cur, &pCont->first);
            vSave(a, n - 1, format, cur, &pCont->previous);
        }
    }

    N_PrimDesc d{};
    d.kind = kind;
    d.count = n;
    d.cStrips = cStrips;
    d.format = (format & VTX_EDGEFLAG) ? (format & ~VTX_EDGEFLAG) | N_VTX_EDGEFLAG : format;
    d.andMask = h.andMask;
    d.pStripLengths = cStrips != 0 ? aulStrips : nullptr;
    d.pFlags = a.flags;
    d.pPosition = a.position;
    d.pColor = a.color;
    d.pIndex = a.index;
    d.pNormal = a.normal;
    d.pTexCoord = a.texCoord;
    d.flagStride = a.flags != nullptr ? 4 : 0;
    d.positionStride = 16;
    d.colorStride = 16;
    d.indexStride = 4;
    d.normalStride = 12;
    d.texCoordStride = 16;
    d.pEdgeFlag = a.edgeFlag;
    d.edgeFlagStride = 4;
    d.singleFlags = a.single;
    N_ExecPrimitive(&d);

    if (pSeg != nullptr) vSetShared(&pSeg->consumedIndex, ulConsumed);
    return 0;
}

void __glFreePrimState(GLContext* gc) {
    if (gc == nullptr) return;
    if (__GLXprimSegment* ps = pStateOf(gc)) {
        vUnmap(ps);
        LocalFree(ps);
        gc->pPrimSegment = nullptr;
    }
    if (__GLXprimBuffer* pb = gc->pPrimBuffer) {
        _NFreeVertexRing(pb->pRing);
        LocalFree(pb);
        gc->pPrimBuffer = nullptr;
    }
    // The pending buffer is no list's yet, whatever its target: a list
    // takes a buffer off the context when it stores it.
    if (gc->pPending != nullptr) LocalFree(gc->pPending);
    gc->pPending = nullptr;
    // Buffers compiled into a display list belong to the list.
    while (__GLXpacketBuffer* p = gc->pRetiring) {
        gc->pRetiring = p->pNext;
        if (p->target == GLX_PACKETS_IMMEDIATE) LocalFree(p);
    }
}
