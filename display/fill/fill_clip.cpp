// The clip wrappers of the fills: a destination rectangle and a clip object
// become the list of rectangles the fill paints, always inside the target
// surface. No clip object or DC_TRIVIAL: the destination alone; DC_RECT: its intersection with the clip
// bounds (nothing when empty); DC_COMPLEX: the clip's rectangles, enumerated
// in batches of 49, each intersected with the destination, empty ones
// dropped; any other complexity: nothing.
#include <algorithm>

#include "cliprects.h"
#include "fill/fill.h"
#include "platform/engine.h"

namespace {

// Calls fn(list, count) with the rectangles of *prclDst the clip leaves
// inside the target surface pso. Whatever a caller passes, nothing outside
// the surface is painted (packed vertices hold 12 bits of coordinate: a
// rectangle past the surface would wrap onto other pixels) and the
// coordinates that reach the packets are the surface's own.
template <typename Fn>
void vForEachClipList(SURFOBJ* pso, CLIPOBJ* pco, const RECTL* prclTarget, Fn fn) {
    if (pso == nullptr || prclTarget == nullptr) return;
    const RECTL rclSurface = {0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy};
    RECTL rclInside;
    if (!bRectIntersect(prclTarget, &rclSurface, &rclInside)) return;
    RECTL* prclDst = &rclInside;
    if (pco == nullptr || pco->iDComplexity == DC_TRIVIAL) {
        fn(prclDst, 1);
        return;
    }
    if (pco->iDComplexity == DC_RECT) {
        RECTL rcl;
        if (bRectIntersect(prclDst, &pco->rclBounds, &rcl)) fn(&rcl, 1);
        return;
    }
    if (pco->iDComplexity != DC_COMPLEX) return;
    // The enumeration buffer: a count and 49 rectangles.
    static_assert(sizeof(CLIPBATCH<FILL_CLIP_BATCH>) == FILL_CLIP_BUFFER_BYTES);
    RECTL arcl[FILL_CLIP_BATCH];
    vEnumClipBatches<FILL_CLIP_BATCH>(pco, CD_ANY, FILL_CLIP_ENUM_LIMIT,
                                      [&](const RECTL* arclEnum, ULONG cEnum, BOOL) {
                                          std::copy_n(arclEnum, cEnum, arcl);
                                          const ULONG c = cRectListClip(prclDst, arcl, cEnum);
                                          if (c != 0) fn(arcl, c);
                                      });
}

}  // namespace

void vFillSolidClipped(SURFOBJ* pso, CLIPOBJ* pco, ROP4 rop4, ULONG flInfo, ULONG iSolidColour,
                       RECTL* prclDst) {
    vForEachClipList(pso, pco, prclDst, [&](RECTL* prcl, ULONG c) {
        vFillSolid(pso, rop4, flInfo, iSolidColour, prcl, c);
    });
}

void vFillPatternClipped(SURFOBJ* pso, CLIPOBJ* pco, RECTL* prclDst, REALBRUSH* prbrush,
                         POINTL* pptlBrushOrg, ULONG flInfo, ULONG rop3) {
    vForEachClipList(pso, pco, prclDst, [&](RECTL* prcl, ULONG c) {
        vFillPattern(pso, prcl, c, prbrush, pptlBrushOrg, flInfo, rop3);
    });
}

void vFillTwoColourClipped(SURFOBJ* pso, CLIPOBJ* pco, RECTL* prclDst, REALBRUSH* prbrush,
                           POINTL* pptlBrushOrg, ULONG flInfo, ROP4 rop4) {
    vForEachClipList(pso, pco, prclDst, [&](RECTL* prcl, ULONG c) {
        vFillTwoColour(pso, prcl, c, prbrush, pptlBrushOrg, flInfo, rop4);
    });
}
