// The rectangle routines the driver shares: intersections and the clipping
// of a rectangle list.
#include <algorithm>

#include "blt/blt.h"

BOOL bRectIntersect(const RECTL* a, const RECTL* b, RECTL* out) {
    out->left = std::max(a->left, b->left);
    out->right = std::min(a->right, b->right);
    if (out->right <= out->left) return FALSE;
    out->top = std::max(a->top, b->top);
    out->bottom = std::min(a->bottom, b->bottom);
    return out->top < out->bottom;
}

BOOL bRectIntersectOrClear(RECTL* out, const RECTL* a, const RECTL* b) {
    if (bRectIntersect(a, b, out)) return TRUE;
    *out = RECTL{0, 0, 0, 0};
    return FALSE;
}

ULONG cRectListClip(const RECTL* clip, RECTL* list, ULONG n) {
    ULONG c = 0;
    for (ULONG i = 0; i < n; ++i) {
        RECTL r;
        if (bRectIntersect(&list[i], clip, &r)) list[c++] = r;
    }
    return c;
}
