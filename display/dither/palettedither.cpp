// Colour dithering for 8-bit modes. Each channel, scaled to 0..64, is the
// average of the vertices' channels over the 64 cells (0 off, 32 half, 64
// full), so the entries are worked out per region of the colour cube from
// the channels ordered as max, mid and min; a row of the vertex table then
// names the vertices in the colour's own channel order.
#include "dither/palettedither.h"

#include <algorithm>

namespace {

// The vertex numbers by channel order: byte k of a row is the vertex with
// the max channel where k has bit 0, the mid channel where k has bit 1, the
// min channel where k has bit 2 (bit 3: full intensity). Rows 3 and 7 are
// orders no colour has.
const BYTE gajVertexRow[8][DITHER_VERTICES] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
    {0, 2, 1, 3, 4, 6, 5, 7, 8, 10, 9, 11, 12, 14, 13, 15},
    {0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15},
    {0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15},
    {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15},
    {0, 2, 4, 6, 1, 3, 5, 7, 8, 10, 12, 14, 9, 11, 13, 15},
    {0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15},
    {0, 1, 4, 5, 2, 3, 6, 7, 8, 9, 12, 13, 10, 11, 14, 15},
};

// The default palette's entry of each vertex: the system colours at both
// ends of the palette.
const BYTE gajVertexIndex[DITHER_VERTICES] = {0, 1,   2,   3,   4,   5,   6,   248,
                                              7, 249, 250, 251, 252, 253, 254, 255};

// The order in which the pattern's cells are taken (row-major offsets).
const BYTE gajDitherOrder[DITHER_CELLS] = {
    0,  36, 4,  32, 18, 54, 22, 50, 2,  38, 6,  34, 16, 52, 20, 48, 9,  45, 13, 41, 27, 63,
    31, 59, 11, 47, 15, 43, 25, 61, 29, 57, 1,  37, 5,  33, 19, 55, 23, 51, 3,  39, 7,  35,
    17, 53, 21, 49, 8,  44, 12, 40, 26, 62, 30, 58, 10, 46, 14, 42, 24, 60, 28, 56,
};

// Appends entries, skipping those of no positions.
struct ENTRYWRITER {
    DITHERENTRY* pe;
    const BYTE* pjRow;
    void add(LONG cCount, ULONG k) {
        if (cCount == 0) return;
        pe->cCount = static_cast<ULONG>(cCount);
        pe->ulVertex = pjRow[k];
        ++pe;
    }
};

// The entry whose positions stay with the background fill: the one with
// the most positions; ties go as the dither has always laid them out.
ULONG iBackground(const DITHERENTRY* pe, ULONG cEntries) {
    switch (cEntries) {
        case 2: return pe[1].cCount > pe[0].cCount ? 1 : 0;
        case 3: {
            const ULONG i = pe[2].cCount > pe[1].cCount ? 2 : 1;
            return pe[0].cCount > pe[i].cCount ? 0 : i;
        }
        case 4: {
            ULONG i = pe[3].cCount > pe[2].cCount ? 3 : 2;
            if (pe[1].cCount > pe[i].cCount) i = 1;
            return pe[0].cCount > pe[i].cCount ? 0 : i;
        }
        default: return 0;
    }
}

}  // namespace

BYTE jDitherPaletteIndex(ULONG ulVertex) {
    return ulVertex < DITHER_VERTICES ? gajVertexIndex[ulVertex] : 0;
}

DITHERENTRY* pComputeDitherEntries(ULONG rgb, DITHERENTRY* pEntries) {
    const ULONG r = rgb & 0xFF;
    const ULONG g = (rgb >> 8) & 0xFF;
    const ULONG b = (rgb >> 16) & 0xFF;

    // The channels in order, and the row that names the vertices.
    ULONG ulMax = r, ulMin = b, ulMid, s = 0;
    if (r < b) {
        ulMax = b;
        ulMin = r;
        s = 4;
    }
    if (ulMin > g) {
        s = r < b ? 6 : 2;
        ulMid = ulMin;
        ulMin = g;
    } else {
        ulMid = g;
    }
    if (ulMax < ulMid) {
        std::swap(ulMax, ulMid);
        s |= 1;
    }

    // Scaled to 0..64; signed, as the counts are differences.
    const LONG M = static_cast<LONG>((ulMax + 1) >> 2);
    const LONG m = static_cast<LONG>((ulMid + 1) >> 2);
    const LONG n = static_cast<LONG>((ulMin + 1) >> 2);
    const LONG N = 2 * n;
    const LONG D = M - m;

    ENTRYWRITER w{pEntries, gajVertexRow[s]};
    if (ulMid + ulMax >= 257) {
        if (ulMax + ulMin < 257) {
            // Between the half-intensity grey and the full max and max+mid corners.
            const LONG K = 64 - N - (m + M - 64);
            w.add(K - D, 3);
            w.add(N, 7);
            w.add(D, 9);
            w.add(m + M - 64, 11);
        } else {
            // Light colours, towards white.
            w.add(2 * (64 - M), 7);
            const LONG J = 64 - 2 * (64 - M) - (M + n - 64);
            w.add(J - (m - n), 9);
            w.add(m - n, 11);
            w.add(M + n - 64, 15);
        }
    } else if (ulMax < 129) {
        // Dark colours: black and the half-intensity corners.
        w.add(2 * (32 - M), 0);
        w.add(2 * D, 1);
        w.add(64 - 2 * D - 2 * (32 - M) - N, 3);
        w.add(N, 7);
    } else {
        // A bright max over a dark rest.
        w.add(2 * (64 - m - M), 1);
        const LONG J = 64 - 2 * (64 - m - M) - (2 * M - 64);
        w.add(J - N, 3);
        w.add(N, 7);
        w.add(2 * M - 64, 9);
    }
    return w.pe;
}

void vDitherColor(BYTE* pjPattern, DITHERENTRY* pEntries, DITHERENTRY* pEnd, ULONG cEntries) {
    const ULONG cHeld = static_cast<ULONG>(pEnd - pEntries);
    cEntries = std::min(cEntries, cHeld);
    if (cEntries == 0) return;
    const ULONG iBack = iBackground(pEntries, cEntries);
    std::fill_n(pjPattern, DITHER_CELLS, jDitherPaletteIndex(pEntries[iBack].ulVertex));
    if (cEntries >= 3) pEntries[iBack].ulVertex = DITHER_VERTEX_BACKGROUND;

    // Each entry takes the next positions of the order; the background's
    // keep the fill.
    ULONG iPos = 0;
    for (ULONG i = 0; i < cEntries; ++i) {
        const ULONG cCount = std::min(pEntries[i].cCount, DITHER_CELLS - iPos);
        if (i != iBack) {
            const BYTE j = jDitherPaletteIndex(pEntries[i].ulVertex);
            for (ULONG k = 0; k < cCount; ++k) pjPattern[gajDitherOrder[iPos + k]] = j;
        }
        iPos += cCount;
    }
}

void vDitherRgb(ULONG rgb, BYTE* pjPattern) {
    DITHERENTRY aEntries[DITHER_MAX_ENTRIES];
    DITHERENTRY* pEnd = pComputeDitherEntries(rgb, aEntries);
    vDitherColor(pjPattern, aEntries, pEnd, static_cast<ULONG>(pEnd - aEntries));
}
