// The rectangle routines the whole driver shares: intersection, the clipping
// of a rectangle list, and the batched enumeration of a complex clip's
// rectangles. Rectangles are RECTL, right and bottom excluded.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/ddi.h"
#include "platform/engine.h"

// The intersection of *a and *b into *out. out's left and right are always
// written; when they leave nothing, FALSE at once (top and bottom of out are
// then not written); else top and bottom too, and TRUE when top < bottom.
inline BOOL bRectIntersect(const RECTL* a, const RECTL* b, RECTL* out) {
    out->left = std::max(a->left, b->left);
    out->right = std::min(a->right, b->right);
    if (out->right <= out->left) return FALSE;
    out->top = std::max(a->top, b->top);
    out->bottom = std::min(a->bottom, b->bottom);
    return out->top < out->bottom;
}

// The same, but *out is all zeros whenever the intersection is empty. Waits
// for the glyph and line paths, whose bounds must read empty when clipped
// away; no driver path calls it yet.
inline BOOL bRectIntersectOrClear(RECTL* out, const RECTL* a, const RECTL* b) {
    if (bRectIntersect(a, b, out)) return TRUE;
    *out = RECTL{0, 0, 0, 0};
    return FALSE;
}

// Clips the n rectangles of list against *clip in place, packing the
// non-empty results to the front; answers how many there are.
inline ULONG cRectListClip(const RECTL* clip, RECTL* list, ULONG n) {
    ULONG c = 0;
    for (ULONG i = 0; i < n; ++i) {
        RECTL r;
        if (bRectIntersect(&list[i], clip, &r)) list[c++] = r;
    }
    return c;
}

// a + b, worked out in 64 bits and kept within the LONG range. Coordinates
// that a caller passes may lie anywhere; a sum past the range lies outside
// every surface, and the clipping that follows treats it so.
inline LONG lAddClamped(std::int64_t a, std::int64_t b) {
    return static_cast<LONG>(std::clamp<std::int64_t>(a + b, INT32_MIN, INT32_MAX));
}

// The enumeration buffer of CLIPOBJ_bEnum: a count and cBatch rectangles,
// laid out like ENUMRECTS.
template <ULONG cBatch>
struct CLIPBATCH {
    ULONG c;
    RECTL arcl[cBatch];
};

// Enumerates a DC_COMPLEX clip's rectangles in the given order (iDirection)
// with the given cLimit, cBatch at a time: calls fn(arcl, c, bMore) once per
// CLIPOBJ_bEnum call with the rectangles it returned (c may be 0) and
// whether more follow. A count above cBatch is taken as cBatch.
template <ULONG cBatch, typename Fn>
void vEnumClipBatches(CLIPOBJ* pco, ULONG iDirection, ULONG cLimit, Fn fn) {
    CLIPBATCH<cBatch> buffer;
    static_assert(offsetof(CLIPBATCH<cBatch>, arcl) == offsetof(ENUMRECTS, arcl));
    CLIPOBJ_cEnumStart(pco, FALSE, CT_RECTANGLES, iDirection, cLimit);
    BOOL bMore;
    do {
        buffer.c = 0;
        bMore = CLIPOBJ_bEnum(pco, sizeof buffer, reinterpret_cast<ULONG*>(&buffer));
        fn(static_cast<const RECTL*>(buffer.arcl), std::min<ULONG>(buffer.c, cBatch), bMore);
    } while (bMore);
}
