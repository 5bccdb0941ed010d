// Routing: the words a caller wrote into the current queue since its mark
// (one primitive) go to the queues of the rasterizers whose 128x128 screen
// tiles the primitive touches. The first primitive of a packet goes to every
// queue, carrying the packet's prefix with it; after that a primitive goes
// to one or two queues where its vertices allow, else to all.
#include <algorithm>
#include <cstring>

#include "queue/queue_internal.h"
#include "rop/rop.h"

namespace {

// Queue records are indexed from the manager.
inline KZ2QUEUE* pqOwner(KZ2QUEUEMGT qm, ULONG xy) { return qm + qm->abTileQueue[KZ2_TILE_OF(xy)]; }

// The screen tile of a packed vertex, as a value two tiles can be compared
// and subtracted by.
inline ULONG ulTileBits(ULONG xy) { return xy & ~KZ2_TILE_MASK; }

// Edge-adjacent screen tiles differ by one tile column (0x800) or one tile
// row (0x8000000) of their tile bits.
bool bAdjacent(ULONG a, ULONG b) {
    const ULONG d = a > b ? a - b : b - a;
    return d == 0x800u || d == 0x8000000u;
}

// Counts one primitive in q and gives it the pending words: the current
// queue holds them already and only moves its write pointer.
void vRouteInto(KZ2QUEUEMGT qm, ULONG* pEnd, KZ2QUEUE* q) {
    ++q->cPrims;
    if (q == qm->pqCurrent) q->pWrite = pEnd;
    else kz2CopyPrimN(qm, pEnd, q);
}

// Makes q the current queue with its mark at its write pointer.
ULONG* pMakeCurrent(KZ2QUEUEMGT qm, KZ2QUEUE* q) {
    qm->pqCurrent = q;
    q->pMark = q->pWrite;
    return q->pWrite;
}

// Whether a primitive lies in exactly two edge-adjacent tiles, a's being one
// of them; *pOther then gets a vertex of the other tile (b's when b differs
// from a, else c's).
bool bTwoTiles(ULONG a, ULONG b, ULONG c, ULONG* pOther) {
    const ULONG ta = ulTileBits(a), tb = ulTileBits(b), tc = ulTileBits(c);
    if (ta == tb && tc != ta && bAdjacent(ta, tc)) {
        *pOther = c;
        return true;
    }
    if (ta == tc && tb != ta && bAdjacent(ta, tb)) {
        *pOther = b;
        return true;
    }
    if (tb == tc && tb != ta && bAdjacent(ta, tb)) {
        *pOther = b;
        return true;
    }
    return false;
}

// Routes into the queues of a's tile and of the other tile; a's queue
// becomes current.
ULONG* pRouteTwo(KZ2QUEUEMGT qm, ULONG* pEnd, ULONG a, ULONG other) {
    KZ2QUEUE* qa = pqOwner(qm, a);
    KZ2QUEUE* qo = pqOwner(qm, other);
    vRouteInto(qm, pEnd, qa);
    if (qo != qa) vRouteInto(qm, pEnd, qo);
    KZ2QUEUE* pqPrevious = qm->pqCurrent;
    pqPrevious->pMark = pqPrevious->pWrite;
    return pMakeCurrent(qm, qa);
}

// --- rectangles cut into tile pieces -------------------------------------------

// Packed vertex words can carry 12 bits of pixel coordinate.
constexpr LONG kMaxCoordinate = 0xFFF;

inline LONG lNextCut(LONG v, LONG vEnd) { return std::min<LONG>((v & ~127) + 128, vEnd); }

// Calls fn(queue index, x, y, x', y') for every tile piece of the rectangle.
template <typename Fn>
void vForEachPiece(KZ2QUEUEMGT qm, LONG x0, LONG y0, LONG x1, LONG y1, Fn fn) {
    const QUEUELAYOUT* pLayout = qm->pLayout;
    const LONG cxScreen = pLayout->ppdevSelf->cxScreen;
    for (LONG y = y0; y < y1;) {
        const LONG yNext = lNextCut(y, y1);
        for (LONG x = x0; x < x1;) {
            const LONG xNext = lNextCut(x, x1);
            ULONG iQueue = qm->abTileQueue[((y >> 7) & 3) * 4 + ((x >> 7) & 3)];
            if (pLayout->bSplitScreen && x >= cxScreen) iQueue += pLayout->cQueuesPerScreen;
            fn(iQueue, x, y, xNext, yNext);
            x = xNext;
        }
        y = yNext;
    }
}

// Moves q's open packet to the start of its ring after the board has
// rendered everything before it: the room check of the open packet's
// reservation did not foresee this many words. FALSE when the packet cannot
// move (the board already reads it, or it starts the ring, or no memory).
BOOL bMoveOpenPacket(KZ2QUEUE* q) {
    ULONG* pOld = q->pPacket;
    if (pOld == q->pRingStart || q->pKicked > pOld || q->pWrite < pOld) return FALSE;
    const std::size_t cWords = static_cast<std::size_t>(q->pWrite - pOld);
    ULONG* pCopy = static_cast<ULONG*>(LocalAlloc(LMEM_FIXED, cWords * sizeof(ULONG) + 1));
    if (pCopy == nullptr) return FALSE;
    std::memcpy(pCopy, pOld, cWords * sizeof(ULONG));
    const std::ptrdiff_t iMark = q->pMark - pOld;

    q->pStreamEnd = pOld;
    vCloseQueue(q);
    kz2FlushStreamRenderWaitReally(q, nullptr);

    std::memcpy(q->pRingStart, pCopy, cWords * sizeof(ULONG));
    LocalFree(pCopy);
    q->pPacket = q->pRingStart;
    q->pWrite = q->pRingStart + cWords;
    if (iMark >= 0 && static_cast<std::size_t>(iMark) <= cWords) q->pMark = q->pRingStart + iMark;
    return TRUE;
}

// Whether q can take cb more bytes behind its write pointer.
bool bRoomFor(const KZ2QUEUE* q, std::uint64_t cb) {
    const std::ptrdiff_t cbLeft = cbBetween(q->pWrite, q->pRingLimit);
    return cbLeft >= 0 && static_cast<std::uint64_t>(cbLeft) >= cb;
}

}  // namespace

extern "C" void kz2CopyPrimN(KZ2QUEUEMGT qm, ULONG* pEnd, KZ2QUEUE* pqDst) {
    const ULONG* pFrom = qm->pqCurrent->pMark;
    if (pFrom >= pEnd) return;
    const std::size_t cWords = static_cast<std::size_t>(pEnd - pFrom);
    ULONG* pTo = pqDst->pWrite;
    pqDst->pWrite += cWords;
    // Another queue's ring never overlaps the current one's; the current
    // queue itself moves its words with memmove, as do long runs.
    if (pqDst == qm->pqCurrent || cWords > 32) {
        std::memmove(pTo, pFrom, cWords * sizeof(ULONG));
        return;
    }
    // A primitive is a few words its caller has just stored one at a time:
    // they are moved one at a time too, so each load takes its word from the
    // store that wrote it. A wider load over several such stores would wait
    // until they have reached the cache (and a library call costs more than
    // the move). The empty statement keeps the compiler from merging the
    // moves into wider ones.
    for (std::size_t i = 0; i < cWords; ++i) {
        pTo[i] = pFrom[i];
        asm volatile("" ::: "memory");
    }
}

extern "C" KZ2QUEUE* kz2CopyPrim(KZ2QUEUEMGT qm, ULONG* pEnd) {
    KZ2QUEUE* pq = qm->pqCurrent;
    for (ULONG i = 0; i < cQueuesOf(qm); ++i) {
        KZ2QUEUE* q = qm + i;
        ++q->cPrims;
        if (q != pq) kz2CopyPrimN(qm, pEnd, q);
    }
    pq->pWrite = pq->pMark = pEnd;
    return pq;
}

extern "C" ULONG* kz2CopyPrimAndUpdate(KZ2QUEUEMGT qm, ULONG* pEnd, ULONG xy) {
    kz2CopyPrim(qm, pEnd);
    return pMakeCurrent(qm, pqOwner(qm, xy));
}

extern "C" ULONG* kz2CopyPrimMulScreen(KZ2QUEUEMGT qm, ULONG* pEnd, ULONG xy, BOOL bRoute) {
    const QUEUELAYOUT* pLayout = qm->pLayout;
    const ULONG cPerScreen = pLayout->cQueuesPerScreen;
    const bool bSplit = pLayout->bSplitScreen != 0;
    const LONG cxScreen = pLayout->ppdevSelf->cxScreen;
    const bool bSecond = bSplit && static_cast<LONG>(xy & 0xFFFF) >= cxScreen * 16;
    const ULONG iTarget = qm->abTileQueue[KZ2_TILE_OF(xy)] + (bSecond ? cPerScreen : 0);
    KZ2QUEUE* qTarget = qm + iTarget;
    if (qm->cPrims != 0 && bRoute) {
        vRouteInto(qm, pEnd, qTarget);
        // The same rasterizer of the other screen draws it too; when that
        // queue is the current one it holds the words already and is counted
        // like any other.
        if (bSplit) {
            const ULONG iMirror = bSecond ? iTarget - cPerScreen : iTarget + cPerScreen;
            vRouteInto(qm, pEnd, qm + iMirror);
        }
        return pMakeCurrent(qm, qTarget);
    }
    kz2CopyPrim(qm, pEnd);
    return pMakeCurrent(qm, qTarget);
}

extern "C" ULONG* kz2CopyPrimOpt(KZ2QUEUEMGT qm, ULONG* pEnd, ULONG xy0, ULONG xy1, ULONG xy2) {
    ULONG other = 0;
    if (qm->cPrims == 0 || !bTwoTiles(xy0, xy1, xy2, &other))
        return kz2CopyPrimAndUpdate(qm, pEnd, xy0);
    return pRouteTwo(qm, pEnd, xy0, other);
}

extern "C" ULONG* kz2CopyPrimStripOpt(KZ2QUEUEMGT qm, ULONG* pEnd, ULONG xy0, ULONG xy1, ULONG xy2,
                                      ULONG* pState, BOOL bFlag) {
    ULONG* pResult;
    const ULONG t0 = ulTileBits(xy0);
    if (qm->cPrims != 0 && *pState == 1 && t0 == ulTileBits(xy1) && t0 == ulTileBits(xy2)) {
        KZ2QUEUE* q = pqOwner(qm, xy0);
        vRouteInto(qm, pEnd, q);
        pResult = pMakeCurrent(qm, q);
    } else {
        ULONG other = 0;
        const bool bTwo = qm->cPrims != 0 && qm->pqCurrent == pqOwner(qm, xy1) &&
                          bTwoTiles(xy0, xy1, xy2, &other);
        pResult = bTwo ? pRouteTwo(qm, pEnd, xy0, other) : kz2CopyPrimAndUpdate(qm, pEnd, xy0);
    }
    *pState = bFlag && t0 != ulTileBits(xy1) ? 2 : t0;
    return pResult;
}

extern "C" void kz2WriteRectNoPrimData(KZ2QUEUEMGT qm, ULONG* pEnd, LONG x0, LONG y0, LONG x1,
                                       LONG y1) {
    const ULONG cQueues = cQueuesOf(qm);
    if (qm->cPrims == 0) {
        // The prefix goes to every queue; the pieces are the primitives.
        kz2CopyPrim(qm, pEnd);
        for (ULONG i = 0; i < cQueues; ++i) --qm[i].cPrims;
    } else {
        qm->pqCurrent->pWrite = pEnd;
    }

    // Packed vertices cannot name pixels outside 0..4095.
    x0 = std::clamp<LONG>(x0, 0, kMaxCoordinate);
    x1 = std::clamp<LONG>(x1, 0, kMaxCoordinate);
    y0 = std::clamp<LONG>(y0, 0, kMaxCoordinate);
    y1 = std::clamp<LONG>(y1, 0, kMaxCoordinate);

    // Every queue must have room for its pieces; a queue that has not gets
    // its open packet moved to the start of its drained ring.
    std::uint64_t acbNeeded[MAX_RASTERIZERS] = {};
    vForEachPiece(qm, x0, y0, x1, y1, [&](ULONG i, LONG, LONG, LONG, LONG) {
        if (i < cQueues) acbNeeded[i] += 4 * sizeof(ULONG);
    });
    bool abRoom[MAX_RASTERIZERS] = {};
    for (ULONG i = 0; i < cQueues; ++i) {
        KZ2QUEUE* q = qm + i;
        abRoom[i] = bRoomFor(q, acbNeeded[i]) || (bMoveOpenPacket(q) && bRoomFor(q, acbNeeded[i]));
        if (!abRoom[i]) DbgPrint("kz2WriteRectNoPrimData: no room in queue %u\n", i);
    }

    vForEachPiece(qm, x0, y0, x1, y1, [&](ULONG i, LONG x, LONG y, LONG xNext, LONG yNext) {
        if (i >= cQueues || !abRoom[i]) return;
        KZ2QUEUE* q = qm + i;
        ULONG* p = q->pWrite;
        p[0] = ulPackVertex(x, y);
        p[1] = ulPackVertex(xNext, y);
        p[2] = ulPackVertex(xNext, yNext);
        p[3] = ulPackVertex(x, yNext);
        q->pWrite = p + 4;
        ++q->cPrims;
    });
    KZ2QUEUE* pq = qm->pqCurrent;
    pq->pMark = pq->pWrite;
}
