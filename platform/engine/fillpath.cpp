// EngFillPath and EngPaint: areas filled with a brush under a mix. Both
// become the engine's blit (a ROP4 of the mix's foreground and background
// codes) over a clip: EngPaint's own clip, EngFillPath's the pixels inside
// the path that the caller's clip lets through.
#include <algorithm>

#include "drawing.h"
#include "paths.h"
#include "platform/engine.h"
#include "platform/faults.h"

namespace vnx::engine {

namespace {

using i128 = __int128;

ROP4 mix_rop4(MIX mix) { return mix_rop3(mix & 0xFF) | mix_rop3((mix >> 8) & 0xFF) << 8; }

// ceil(a / b) for b > 0.
std::int64_t ceil_div(i128 a, i128 b) {
    i128 q = a / b;
    if ((a % b) != 0 && a > 0) ++q;
    return static_cast<std::int64_t>(q);
}

struct Crossing {
    std::int64_t x;  // first pixel at or right of the edge
    int dir;         // +1 edge going down, -1 going up
};

// The spans of pixel rows inside the polygons (centres inside; left and top
// edges in, right and bottom out), within rows [top, bottom).
std::vector<RECTL> inside_spans(const std::vector<std::vector<POINTFIX>>& polygons, bool bWinding,
                                LONG top, LONG bottom) {
    std::vector<RECTL> spans;
    std::vector<Crossing> xs;
    for (LONG y = top; y < bottom; ++y) {
        const std::int64_t yc = std::int64_t{y} * 16;
        xs.clear();
        for (const auto& poly : polygons) {
            for (size_t i = 0; i < poly.size(); ++i) {
                const POINTFIX& a = poly[i];
                const POINTFIX& b = poly[(i + 1) % poly.size()];
                if (a.y == b.y) continue;
                const bool bDown = b.y > a.y;
                const POINTFIX& u = bDown ? a : b;  // upper end
                const POINTFIX& l = bDown ? b : a;
                if (yc < u.y || yc >= l.y) continue;
                const i128 dy = i128{l.y} - u.y;
                const i128 num = i128{u.x} * dy + (i128{yc} - u.y) * (i128{l.x} - u.x);
                xs.push_back(Crossing{ceil_div(num, dy * 16), bDown ? 1 : -1});
            }
        }
        std::sort(xs.begin(), xs.end(), [](const Crossing& p, const Crossing& q) { return p.x < q.x; });
        int winding = 0;
        for (size_t i = 0; i + 1 < xs.size(); ++i) {
            winding += bWinding ? xs[i].dir : 1;
            const bool bIn = bWinding ? winding != 0 : (winding & 1) != 0;
            if (bIn && xs[i].x < xs[i + 1].x)
                spans.push_back(RECTL{saturate(xs[i].x), y, saturate(xs[i + 1].x), y + 1});
        }
    }
    return spans;
}

BOOL fill_path(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
               MIX mix, FLONG flOptions) {
    std::vector<std::vector<POINTFIX>> polygons;
    if (!path_polygons(ppo, polygons)) return FALSE;
    RECTFX fx;
    PATHOBJ_vGetBounds(ppo, &fx);
    const RECTL reach = rect_intersect(
        RECTL{saturate(std::int64_t{fx.xLeft} >> 4), saturate(std::int64_t{fx.yTop} >> 4),
              saturate((std::int64_t{fx.xRight} >> 4) + 2), saturate((std::int64_t{fx.yBottom} >> 4) + 2)},
        surface_rect(pso));
    if (rect_empty(reach)) return TRUE;
    std::vector<RECTL> clip;
    if (!clip_rects(pco, reach, CD_RIGHTDOWN, clip)) return FALSE;
    std::vector<RECTL> pieces;
    for (const RECTL& s : inside_spans(polygons, (flOptions & FP_WINDINGMODE) != 0, reach.top, reach.bottom))
        for (const RECTL& c : clip) {
            const RECTL q = rect_intersect(s, c);
            if (!rect_empty(q)) pieces.push_back(q);
        }
    if (pieces.empty()) return TRUE;
    CLIPOBJ* pcoFill = create_clip(pieces.data(), static_cast<ULONG>(pieces.size()));
    if (pcoFill == nullptr) return FALSE;
    RECTL bounds = pcoFill->rclBounds;
    const BOOL b = blit(BlitArgs{pso, nullptr, nullptr, pcoFill, nullptr, &bounds, nullptr, nullptr,
                                 pbo, pptlBrushOrg, mix_rop4(mix)});
    delete_clip(pcoFill);
    return b;
}

}  // namespace

}  // namespace vnx::engine

extern "C" BOOL EngFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo,
                            POINTL* pptlBrushOrg, MIX mix, FLONG flOptions) {
    if (vnx::faults::should_fail("EngFillPath")) return FALSE;
    if (pso == nullptr || ppo == nullptr) return FALSE;
    return vnx::engine::fill_path(pso, ppo, pco, pbo, pptlBrushOrg, mix, flOptions);
}

extern "C" BOOL EngPaint(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix) {
    if (vnx::faults::should_fail("EngPaint")) return FALSE;
    if (pso == nullptr || pco == nullptr) return FALSE;
    RECTL bounds = vnx::engine::rect_intersect(pco->rclBounds, vnx::engine::surface_rect(pso));
    if (vnx::engine::rect_empty(bounds)) return TRUE;
    return vnx::engine::blit(vnx::engine::BlitArgs{pso, nullptr, nullptr, pco, nullptr, &bounds,
                                                   nullptr, nullptr, pbo, pptlBrushOrg,
                                                   vnx::engine::mix_rop4(mix)});
}
