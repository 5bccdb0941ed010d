// The general line: grid intersection quantization on 28.4 end points in
// the first octant, the pixel range cut to the clip rectangle and to the
// runs of a complex clip, and the strips handed to the strip routines.
#include <algorithm>

#include "line/line.h"

namespace {

using i128 = __int128;

// The rounding bits of each octant, by (flags & 0x1C) / 4: exchanged (bit
// 0), y mirrored (bit 1), slope one (bit 2). Ties go toward the smaller
// device coordinate (along x toward the larger on slope +1), which in the
// normalised octant is the smaller (bit set) or larger coordinate.
const FLONG kaflRound[8] = {
    LINE_ROUND_MAJOR | LINE_ROUND_MINOR,  // x major
    LINE_ROUND_MAJOR | LINE_ROUND_MINOR,  // y major
    LINE_ROUND_MAJOR,                     // x major, y mirrored
    LINE_ROUND_MINOR,                     // y major, y mirrored
    LINE_ROUND_MINOR,                     // slope one
    0,                                    // (never)
    LINE_ROUND_MAJOR,                     // slope one, y mirrored
    0,                                    // (never)
};

// floor(a / b), b > 0.
i128 floor_div(i128 a, i128 b) {
    i128 q = a / b;
    if ((a % b) != 0 && a < 0) --q;
    return q;
}

// A line in the first octant and its pixels.
struct Octant {
    std::int64_t x0, y0, dM, dN;  // start, major and minor deltas (dN <= dM)
    std::int64_t iFirst;          // major coordinate of pixel 0
    std::int64_t cPixels;
    std::int64_t t;               // 1: minor ties go to the smaller coordinate
    FLONG fl;

    // Minor coordinate and error term (0 <= e < 16 dM) at major coordinate i.
    void at(std::int64_t i, std::int64_t* pj, std::int64_t* pe) const {
        const i128 v = i128{y0} * dM + (i128{16} * i - x0) * dN + 8 * i128{dM} - t;
        const i128 j = floor_div(v, i128{16} * dM);
        *pj = static_cast<std::int64_t>(j);
        *pe = static_cast<std::int64_t>(v - j * 16 * dM);
    }
    // Board pixel of normalised (i, j).
    void device(std::int64_t i, std::int64_t j, LONG* px, LONG* py) const {
        std::int64_t x = i, y = j;
        if ((fl & LINE_EXCHANGED) == LINE_EXCHANGED) std::swap(x, y);
        if (fl & LINE_YMIRROR) y = -y;
        *px = static_cast<LONG>(x);
        *py = static_cast<LONG>(y);
    }
};

// Places the style cursor at a position, walking forward or backward.
void vStyleCursor(STYLESTATE* pss, std::int64_t pos, bool bReversed) {
    const LONG n = static_cast<LONG>(2 * pss->cStyle);
    LONG p = static_cast<LONG>(((pos % pss->lLength) + pss->lLength) % pss->lLength);
    LONG e = 0;
    while (p >= pss->alForward[e]) p -= pss->alForward[e++];
    pss->bReversed = bReversed;
    // Entry e holds the position, p pixels into it.
    pss->bGap = ((e & 1) != 0) != (pss->bStartGap != 0);
    if (!bReversed) {
        pss->iEntry = e;
        pss->lLeft = pss->alForward[e] - p;
    } else {
        pss->iEntry = n - 1 - e;
        pss->lLeft = p + 1;
    }
}

// Collects strips and hands full records to the strip routine.
struct StripWriter {
    STRIPS st;
    PFNSTRIP pfn;
    LINESTATE* pls;
    STYLESTATE* pss;

    void add(LONG len) {
        if (st.cStrips == STRIP_MAX) flush();
        st.alStrips[st.cStrips++] = len;
    }
    void flush() {
        if (st.cStrips != 0) pfn(pls, &st, pss);
        st.cStrips = 0;
    }
};

// Draws pixels [k0, k1) of the line that lie in the minor range [nLo, nHi].
void vDrawRange(const Octant& o, std::int64_t k0, std::int64_t k1, std::int64_t nLo,
                std::int64_t nHi, STYLESTATE* pss, LINESTATE* pls, std::int64_t pos0) {
    std::int64_t i = o.iFirst + k0, j, e;
    o.at(i, &j, &e);
    const std::int64_t step = 16 * o.dN, wrap = 16 * o.dM;
    // Skip the pixels before the minor range.
    while (k0 < k1 && j < nLo) {
        ++k0;
        ++i;
        e += step;
        if (e >= wrap) {
            e -= wrap;
            ++j;
        }
    }
    if (k0 >= k1 || j > nHi) return;
    const bool bStyled = (o.fl & LINE_STYLED) != 0;
    const bool bDiagonal = !bStyled && 2 * o.dN > o.dM;
    FLONG flStrips = o.fl | (bDiagonal ? LINE_DIAGONAL : 0);
    StripWriter w;
    w.pls = pls;
    w.pss = pss;
    w.st.cStrips = 0;
    w.st.flFlags = flStrips;
    o.device(i, j, &w.st.x, &w.st.y);
    const ULONG iRoutine = bStyled ? 4 + (flStrips & 1) : (flStrips & 3);
    w.pfn = gapfnStrip[iRoutine];
    if (bStyled) {
        const std::int64_t d = (o.fl & LINE_SWAPPED) ? o.cPixels - 1 - k0 : k0;
        vStyleCursor(pss, pos0 + d, (o.fl & LINE_SWAPPED) != 0);
    }

    // The strips, from the running error term: a straight strip lasts while
    // the term stays below 16 dM (quotient of what is left by the minor
    // step), a diagonal one while it stays at or above 16 (dM - dN).
    const std::int64_t stepDiagonal = wrap - step;
    std::int64_t k = k0;
    while (k < k1) {
        if (!bDiagonal) {
            const std::int64_t m = step == 0 ? k1 - k : (wrap - 1 - e) / step;
            const std::int64_t len = std::min<std::int64_t>(1 + m, k1 - k);
            w.add(static_cast<LONG>(len));
            k += len;
            e += len * step - wrap;  // to the next strip's first pixel, one row on
            if (++j > nHi) break;
        } else {
            const std::int64_t m = stepDiagonal == 0 ? k1 - k : e / stepDiagonal;
            const std::int64_t len = std::min({1 + m, k1 - k, nHi - j + 1});
            w.add(static_cast<LONG>(len));
            k += len;
            if (j + len - 1 >= nHi) break;
            j += len - 1;
            e += step - len * stepDiagonal + stepDiagonal;  // a step along the major axis alone
        }
    }
    w.flush();
}

// The first octant of a line: ends swapped, y mirrored, x and y exchanged
// as needed, and the rounding bits of the octant.
FLONG flNormalise(std::int64_t* x0, std::int64_t* y0, std::int64_t* x1, std::int64_t* y1, FLONG fl) {
    if (*x1 < *x0) {
        std::swap(*x0, *x1);
        std::swap(*y0, *y1);
        fl |= LINE_SWAPPED;
    }
    if (*y1 < *y0) {
        *y0 = -*y0;
        *y1 = -*y1;
        fl |= LINE_YMIRROR;
    }
    if (*y1 - *y0 > *x1 - *x0) {
        std::swap(*x0, *y0);
        std::swap(*x1, *y1);
        fl |= LINE_EXCHANGED;
    } else if (*y1 - *y0 == *x1 - *x0) {
        fl |= LINE_SLOPE_ONE;
    }
    return fl | kaflRound[(fl & 0x1C) / 4];
}

// The pixel nearest a major coordinate.
inline std::int64_t lNearest(std::int64_t v, FLONG fl) { return (v + ((fl & LINE_ROUND_MAJOR) ? 7 : 8)) >> 4; }

}  // namespace

std::int64_t cLinePixels(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
    const FLONG fl = flNormalise(&x0, &y0, &x1, &y1, 0);
    return lNearest(x1, fl) - lNearest(x0, fl);
}

void vGeneralLine(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                  const RUN* prun, ULONG cRuns, STYLESTATE* pss, LINESTATE* pls,
                  const RECTL* prclClip, FLONG fl) {
    // 1. The first octant.
    fl = flNormalise(&x0, &y0, &x1, &y1, fl);
    const std::int64_t dM = x1 - x0, dN = y1 - y0;

    // 2. The pixels: one per major coordinate from the pixel nearest the
    // start; with the ends swapped the nearest to the (device) end is left
    // out instead.
    const std::int64_t a = lNearest(x0, fl), b = lNearest(x1, fl);
    Octant o{x0, y0, dM, dN, a + ((fl & LINE_SWAPPED) ? 1 : 0), b - a,
             (fl & LINE_ROUND_MINOR) ? 1 : 0, fl};
    const bool bStyled = (fl & LINE_STYLED) != 0;
    const std::int64_t pos0 = bStyled ? pss->lPosition : 0;
    if (bStyled && !(fl & LINE_RUNS)) pss->lPosition = static_cast<LONG>((pos0 + o.cPixels) % pss->lLength);
    if (o.cPixels <= 0) return;

    // 3. The clip rectangle in the octant (board pixels; the packet's clip
    // corners when no rectangle is given: strips never leave the board).
    RECTL rcl;
    if ((fl & LINE_CLIPRECT) && prclClip != nullptr) {
        rcl = *prclClip;
    } else {
        rcl = RECTL{static_cast<LONG>(pls->ulClipA & 0xFFFF), static_cast<LONG>(pls->ulClipA >> 16),
                    static_cast<LONG>(pls->ulClipB & 0xFFFF), static_cast<LONG>(pls->ulClipB >> 16)};
    }
    if (rcl.left >= rcl.right || rcl.top >= rcl.bottom) return;
    std::int64_t xLo = rcl.left, xHi = rcl.right - 1, yLo = rcl.top, yHi = rcl.bottom - 1;
    if (fl & LINE_YMIRROR) {
        std::swap(yLo, yHi);
        yLo = -yLo;
        yHi = -yHi;
    }
    const bool bExchanged = (fl & LINE_EXCHANGED) == LINE_EXCHANGED;
    const std::int64_t mLo = bExchanged ? yLo : xLo, mHi = bExchanged ? yHi : xHi;
    const std::int64_t nLo = bExchanged ? xLo : yLo, nHi = bExchanged ? xHi : yHi;

    // 4. The ranges to draw: the whole line, or its runs (counted from the
    // device start), cut to the rectangle's major bounds.
    auto draw = [&](std::int64_t k0, std::int64_t k1) {
        k0 = std::max(k0, mLo - o.iFirst);
        k1 = std::min(k1, mHi - o.iFirst + 1);
        if (k0 < k1) vDrawRange(o, k0, k1, nLo, nHi, pss, pls, pos0);
    };
    if (!(fl & LINE_RUNS)) {
        draw(0, o.cPixels);
        return;
    }
    for (ULONG i = 0; i < cRuns; ++i) {
        std::int64_t s = std::max<std::int64_t>(prun[i].iStart, 0);
        std::int64_t t = std::min<std::int64_t>(prun[i].iStop, o.cPixels - 1);
        if (s > t) continue;
        if (fl & LINE_SWAPPED) {
            const std::int64_t u = o.cPixels - 1 - t;
            t = o.cPixels - 1 - s;
            s = u;
        }
        draw(s, t + 1);
    }
}
