// The clip wrappers of the fills: a destination rectangle (for solid fills
// a short list of them) and a clip object become the lists of rectangles the
// fill paints, always inside the target surface. No clip object or
// DC_TRIVIAL: the destination alone; DC_RECT: its intersection with the clip
// bounds (nothing when empty); DC_COMPLEX: the clip's rectangles, enumerated
// in batches of 49, each intersected with the destination, empty ones
// dropped; any other complexity: nothing.
#include <algorithm>

#include "cliprects.h"
#include "fill/fill.h"
#include "platform/engine.h"

namespace {

// Rectangles of a target list clipped together.
constexpr ULONG kListMax = 4;

// Calls fn(list, count) with the rectangles of prclTarget[0 .. c) (c at most
// kListMax) the clip leaves inside the target surface pso. Whatever a caller
// passes, nothing outside the surface is painted (packed vertices hold 12
// bits of coordinate: a rectangle past the surface would wrap onto other
// pixels) and the coordinates that reach the packets are the surface's own.
// Without a clip the whole list goes in one call; under DC_RECT the list cut
// to the clip bounds; under DC_COMPLEX each enumeration batch cut to each
// target rectangle in turn.
template <typename Fn>
void vForEachClipList(SURFOBJ* pso, CLIPOBJ* pco, const RECTL* prclTarget, ULONG c, Fn fn) {
    if (pso == nullptr || prclTarget == nullptr) return;
    const RECTL rclSurface = {0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy};
    RECTL arclInside[kListMax];
    ULONG cInside = 0;
    for (ULONG k = 0; k < c && k < kListMax; ++k) {
        if (bRectIntersect(&prclTarget[k], &rclSurface, &arclInside[cInside])) ++cInside;
    }
    if (cInside == 0) return;
    if (pco == nullptr || pco->iDComplexity == DC_TRIVIAL) {
        fn(arclInside, cInside);
        return;
    }
    if (pco->iDComplexity == DC_RECT) {
        cInside = cRectListClip(&pco->rclBounds, arclInside, cInside);
        if (cInside != 0) fn(arclInside, cInside);
        return;
    }
    if (pco->iDComplexity != DC_COMPLEX) return;
    // The enumeration buffer: a count and 49 rectangles.
    static_assert(sizeof(CLIPBATCH<FILL_CLIP_BATCH>) == FILL_CLIP_BUFFER_BYTES);
    RECTL arcl[FILL_CLIP_BATCH];
    vEnumClipBatches<FILL_CLIP_BATCH>(
        pco, CD_ANY, FILL_CLIP_ENUM_LIMIT, [&](const RECTL* arclEnum, ULONG cEnum, BOOL) {
            for (ULONG k = 0; k < cInside; ++k) {
                std::copy_n(arclEnum, cEnum, arcl);
                const ULONG n = cRectListClip(&arclInside[k], arcl, cEnum);
                if (n != 0) fn(arcl, n);
            }
        });
}

}  // namespace

void vFillSolidClipped(SURFOBJ* pso, CLIPOBJ* pco, ROP4 rop4, ULONG flInfo, ULONG iSolidColour,
                       RECTL* prclDst, ULONG cDst) {
    for (ULONG k = 0; k < cDst; k += kListMax) {
        vForEachClipList(
            pso, pco, prclDst + k, std::min(cDst - k, kListMax),
            [&](RECTL* prcl, ULONG c) { vFillSolid(pso, rop4, flInfo, iSolidColour, prcl, c); });
    }
}

void vFillPatternClipped(SURFOBJ* pso, CLIPOBJ* pco, RECTL* prclDst, REALBRUSH* prbrush,
                         POINTL* pptlBrushOrg, ULONG flInfo, ULONG rop3) {
    vForEachClipList(pso, pco, prclDst, 1, [&](RECTL* prcl, ULONG c) {
        vFillPattern(pso, prcl, c, prbrush, pptlBrushOrg, flInfo, rop3);
    });
}

void vFillTwoColourClipped(SURFOBJ* pso, CLIPOBJ* pco, RECTL* prclDst, REALBRUSH* prbrush,
                           POINTL* pptlBrushOrg, ULONG flInfo, ROP4 rop4) {
    vForEachClipList(pso, pco, prclDst, 1, [&](RECTL* prcl, ULONG c) {
        vFillTwoColour(pso, prcl, c, prbrush, pptlBrushOrg, flInfo, rop4);
    });
}
