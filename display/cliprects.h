// Rectangle intersection and the batched enumeration of a complex clip's
// rectangles, shared by the copies, the fills, the swap and the transfers.
#pragma once

#include <algorithm>
#include <cstddef>

#include "platform/ddi.h"
#include "platform/engine.h"

// Intersection of a and b into out; false when it is empty.
inline bool bIntersect(const RECTL& a, const RECTL& b, RECTL* out) {
    out->left = std::max(a.left, b.left);
    out->top = std::max(a.top, b.top);
    out->right = std::min(a.right, b.right);
    out->bottom = std::min(a.bottom, b.bottom);
    return out->left < out->right && out->top < out->bottom;
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
