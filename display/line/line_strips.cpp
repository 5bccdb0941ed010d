// The strip routines: each strip of a strip record becomes one line
// primitive from its first pixel to the pixel past its last (the board
// leaves that one out), and the record's start point moves past the strips
// drawn. Straight strips step the minor axis by one between strips,
// diagonal ones step the major axis alone; styled strips send only their
// dashes, carrying the style cursor from strip to strip.
#include "line/line.h"
#include "rop/rop.h"

namespace {


inline LONG lMinorStep(const STRIPS* pst) { return (pst->flFlags & LINE_YMIRROR) ? -1 : 1; }

// Horizontal strips (x major): (x, y) to (x + len, y), then one row on.
void vStripsHorizontal(LINESTATE* pls, STRIPS* pst, STYLESTATE*) {
    const LONG sy = lMinorStep(pst);
    for (ULONG i = 0; i < pst->cStrips; ++i) {
        const LONG len = pst->alStrips[i];
        vLinePrimitive(pls, ulPackVertex(pst->x, pst->y), ulPackVertex(pst->x + len, pst->y));
        pst->x += len;
        pst->y += sy;
    }
}

// Vertical strips (y major): (x, y) to (x, y +- len), then one column on.
void vStripsVertical(LINESTATE* pls, STRIPS* pst, STYLESTATE*) {
    const LONG sy = lMinorStep(pst);
    for (ULONG i = 0; i < pst->cStrips; ++i) {
        const LONG len = pst->alStrips[i];
        vLinePrimitive(pls, ulPackVertex(pst->x, pst->y), ulPackVertex(pst->x, pst->y + len * sy));
        pst->x += 1;
        pst->y += len * sy;
    }
}

// Diagonal strips, x major: (x, y) to (x + len, y +- len), then a step in x
// alone.
void vStripsDiagonalX(LINESTATE* pls, STRIPS* pst, STYLESTATE*) {
    const LONG sy = lMinorStep(pst);
    for (ULONG i = 0; i < pst->cStrips; ++i) {
        const LONG len = pst->alStrips[i];
        vLinePrimitive(pls, ulPackVertex(pst->x, pst->y), ulPackVertex(pst->x + len, pst->y + len * sy));
        pst->x += len;
        pst->y += (len - 1) * sy;
    }
}

// Diagonal strips, y major: the same, then a step in y alone.
void vStripsDiagonalY(LINESTATE* pls, STRIPS* pst, STYLESTATE*) {
    const LONG sy = lMinorStep(pst);
    for (ULONG i = 0; i < pst->cStrips; ++i) {
        const LONG len = pst->alStrips[i];
        vLinePrimitive(pls, ulPackVertex(pst->x, pst->y), ulPackVertex(pst->x + len, pst->y + len * sy));
        pst->x += len - 1;
        pst->y += len * sy;
    }
}

// One pixel of the style cursor: whether it is drawn; the cursor moves on.
bool bStyleStep(STYLESTATE* pss) {
    const bool bDash = !pss->bGap;
    if (--pss->lLeft == 0) {
        const LONG n = static_cast<LONG>(2 * pss->cStyle);
        pss->iEntry = (pss->iEntry + 1) % n;
        pss->lLeft = pss->bReversed ? pss->alReversed[pss->iEntry] : pss->alForward[pss->iEntry];
        pss->bGap = !pss->bGap;
    }
    return bDash;
}

// A styled strip of len pixels from (x, y) stepping (dx, dy): each dash as
// one primitive.
void vStyledStrip(LINESTATE* pls, STYLESTATE* pss, LONG x, LONG y, LONG dx, LONG dy, LONG len) {
    LONG start = -1;
    for (LONG k = 0; k <= len; ++k) {
        const bool bDash = k < len && bStyleStep(pss);
        if (bDash && start < 0) start = k;
        if (!bDash && start >= 0) {
            vLinePrimitive(pls, ulPackVertex(x + start * dx, y + start * dy), ulPackVertex(x + k * dx, y + k * dy));
            start = -1;
        }
    }
}

void vStripsStyledHorizontal(LINESTATE* pls, STRIPS* pst, STYLESTATE* pss) {
    const LONG sy = lMinorStep(pst);
    for (ULONG i = 0; i < pst->cStrips; ++i) {
        const LONG len = pst->alStrips[i];
        vStyledStrip(pls, pss, pst->x, pst->y, 1, 0, len);
        pst->x += len;
        pst->y += sy;
    }
}

void vStripsStyledVertical(LINESTATE* pls, STRIPS* pst, STYLESTATE* pss) {
    const LONG sy = lMinorStep(pst);
    for (ULONG i = 0; i < pst->cStrips; ++i) {
        const LONG len = pst->alStrips[i];
        vStyledStrip(pls, pss, pst->x, pst->y, 0, sy, len);
        pst->x += 1;
        pst->y += len * sy;
    }
}

}  // namespace

const PFNSTRIP gapfnStrip[6] = {
    vStripsHorizontal,        // 0 horizontal, solid
    vStripsVertical,          // 1 vertical, solid
    vStripsDiagonalX,         // 2 diagonal, x major, solid
    vStripsDiagonalY,         // 3 diagonal, y major, solid
    vStripsStyledHorizontal,  // 4 horizontal, styled
    vStripsStyledVertical,    // 5 vertical, styled
};
