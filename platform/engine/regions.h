// Rectangle lists and pixman regions, for the engine's region arithmetic
// (clip objects, window regions).
#pragma once

#include <pixman.h>

#include <vector>

#include "platform/ddi.h"

namespace vnx::engine {

// A region of the rectangles, made from their corners as they are (sides
// are never formed, so rectangles at the 32-bit limits do not overflow);
// empty rectangles add nothing. The caller finis it.
inline pixman_region32_t region_of(const std::vector<RECTL>& rects) {
    std::vector<pixman_box32_t> corners;
    corners.reserve(rects.size());
    for (const RECTL& r : rects)
        if (r.left < r.right && r.top < r.bottom)
            corners.push_back(pixman_box32_t{r.left, r.top, r.right, r.bottom});
    pixman_region32_t region;
    pixman_region32_init_rects(&region, corners.data(), static_cast<int>(corners.size()));
    return region;
}

// The region's rectangles, banded (top to bottom, left to right).
inline std::vector<RECTL> rects_of(pixman_region32_t* region) {
    int n = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(region, &n);
    std::vector<RECTL> out;
    out.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) out.push_back(RECTL{boxes[i].x1, boxes[i].y1, boxes[i].x2, boxes[i].y2});
    return out;
}

}  // namespace vnx::engine
