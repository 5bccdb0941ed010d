// EngStretchBlt: nearest-pixel stretching.
//
// Destination column i of a w-pixel destination (counted from the left,
// or from the right when mirrored) takes source column
// left + (2i + 1) * ws / (2w), the source pixel under its centre; rows the
// same way. The mapping is fixed by the whole destination rectangle, so
// clipping never shifts it. Destination pixels whose source (or mask) lies
// outside its surface, whose mask bit is 0, or (run-length sources) that no
// run covers, are left as they are.
#include <algorithm>

#include "drawing.h"
#include "platform/engine.h"
#include "platform/faults.h"

namespace vnx::engine {

namespace {

// Source index of each destination index in [first, last) of a w-wide
// destination drawn from a ws-wide source starting at s0.
std::vector<LONG> axis_map(LONG first, LONG last, LONG d0, std::int64_t w, LONG s0,
                           std::int64_t ws, bool bMirror) {
    std::vector<LONG> map;
    map.reserve(static_cast<size_t>(last - first));
    for (LONG v = first; v < last; ++v) {
        const std::int64_t i = bMirror ? w - 1 - (std::int64_t{v} - d0) : std::int64_t{v} - d0;
        map.push_back(saturate(s0 + (2 * i + 1) * ws / (2 * w)));
    }
    return map;
}

// A rectangle with left <= right and top <= bottom, saying which axes it
// had to turn.
RECTL ordered(const RECTL& r, bool* pbMirrorX, bool* pbMirrorY) {
    *pbMirrorX = r.left > r.right;
    *pbMirrorY = r.top > r.bottom;
    return RECTL{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
                 std::max(r.top, r.bottom)};
}

bool open_read(HostView& v, SURFOBJ* pso, const RECTL& rcl, const SURFOBJ* psoDst,
               const RECTL& rclDst) {
    if (!is_device(pso) && !is_device(psoDst) && host_pixels(pso) && host_pixels(psoDst) &&
        areas_overlap(pso, rcl, psoDst, rclDst))
        return v.open_copy(pso, rcl);
    return v.open(pso, rcl, true);
}

BOOL stretch(SURFOBJ* psoDst, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
             const RECTL& rclDst, const RECTL& rclSrc, POINTL* pptlMask, ULONG iMode) {
    const PixelFormat* fDst = pixel_format(psoDst->iBitmapFormat);
    const PixelFormat* fSrc = pixel_format(psoSrc->iBitmapFormat);
    const bool bRuns = is_runs(psoSrc);
    Translator xlate;
    if (fDst == nullptr || (fSrc == nullptr && !bRuns) || iMode < BLACKONWHITE ||
        iMode > HALFTONE || !xlate.open(pxlo))
        return FALSE;
    if (psoMask != nullptr && (pptlMask == nullptr || psoMask->iBitmapFormat != BMF_1BPP))
        return FALSE;

    bool mxd, myd, mxs, mys;
    const RECTL d = ordered(rclDst, &mxd, &myd);
    const RECTL s = ordered(rclSrc, &mxs, &mys);
    // Sizes in 64 bits; beyond 2^30 pixels a side is refused, which keeps the
    // mapping's products in range.
    const std::int64_t wd = std::int64_t{d.right} - d.left, hd = std::int64_t{d.bottom} - d.top;
    const std::int64_t ws = std::int64_t{s.right} - s.left, hs = std::int64_t{s.bottom} - s.top;
    constexpr std::int64_t kMaxSide = std::int64_t{1} << 30;
    if (wd > kMaxSide || hd > kMaxSide || ws > kMaxSide || hs > kMaxSide) return FALSE;
    if (wd == 0 || hd == 0 || ws == 0 || hs == 0) return TRUE;

    RectList rects;
    const RECTL work = rect_intersect(d, surface_rect(psoDst));
    if (rect_empty(work)) return TRUE;
    if (!clip_rects(pco, work, CD_RIGHTDOWN, rects)) return FALSE;
    if (rects.empty()) return TRUE;
    const RECTL bounds = rect_bounds(rects);
    const std::vector<LONG> cols = axis_map(bounds.left, bounds.right, d.left, wd, s.left, ws, mxd != mxs);
    const std::vector<LONG> rows = axis_map(bounds.top, bounds.bottom, d.top, hd, s.top, hs, myd != mys);

    // The source pixels the destination reaches, and the mask under them.
    const auto [cMin, cMax] = std::minmax_element(cols.begin(), cols.end());
    const auto [rMin, rMax] = std::minmax_element(rows.begin(), rows.end());
    RECTL area = rect_intersect(RECTL{*cMin, *rMin, saturate(std::int64_t{*cMax} + 1), saturate(std::int64_t{*rMax} + 1)}, surface_rect(psoSrc));
    POINTL maskOff{0, 0};  // mask point = source point + maskOff
    if (psoMask != nullptr) {
        maskOff = point_offset(*pptlMask, s);
        area = rect_intersect(area, rect_offset_back(surface_rect(psoMask), maskOff));
    }
    if (rect_empty(area)) return TRUE;

    HostView dst, src, mask;
    RunImage runs;  // a run-length source: pixels no run covers are not drawn
    runs.rcl = area;
    if (!dst.open(psoDst, bounds, true)) return FALSE;
    if (bRuns ? !decode_runs(psoSrc, &runs) : !open_read(src, psoSrc, area, psoDst, bounds))
        return FALSE;
    if (psoMask != nullptr &&
        !open_read(mask, psoMask, rect_offset(area, maskOff.x, maskOff.y), psoDst, bounds))
        return FALSE;

    const LONG cxArea = area.right - area.left;
    std::vector<ULONG> line(static_cast<size_t>(cxArea)), bits(static_cast<size_t>(cxArea));
    std::vector<ULONG> out(static_cast<size_t>(bounds.right - bounds.left));
    LONG syLoaded = -1;
    bool bLoaded = false;
    for (const RECTL& r : rects) {
        for (LONG y = r.top; y < r.bottom; ++y) {
            const LONG sy = rows[static_cast<size_t>(y - bounds.top)];
            if (sy < area.top || sy >= area.bottom) continue;
            if (!bLoaded || sy != syLoaded) {
                // The source row and which of its pixels are drawn.
                std::fill(bits.begin(), bits.end(), 1u);
                if (psoMask != nullptr)
                    pixel_format(BMF_1BPP)->fetch(mask.row(sy + maskOff.y),
                                                  mask.x(area.left + maskOff.x), cxArea, bits.data());
                if (bRuns) {
                    const size_t at = runs.index(area.left, sy);
                    for (LONG i = 0; i < cxArea; ++i) {
                        line[size_t(i)] = runs.values[at + size_t(i)];
                        if (!runs.present[at + size_t(i)]) bits[size_t(i)] = 0;
                    }
                } else {
                    fSrc->fetch(src.row(sy), src.x(area.left), cxArea, line.data());
                }
                xlate.row(line.data(), cxArea);
                syLoaded = sy;
                bLoaded = true;
            }
            const LONG n = r.right - r.left;
            fDst->fetch(dst.row(y), dst.x(r.left), n, out.data());
            for (LONG i = 0; i < n; ++i) {
                const LONG sx = cols[static_cast<size_t>(r.left + i - bounds.left)];
                if (sx < area.left || sx >= area.right) continue;
                const size_t k = static_cast<size_t>(sx - area.left);
                if (bits[k] != 0) out[static_cast<size_t>(i)] = line[k];
            }
            fDst->store(dst.row(y), dst.x(r.left), n, out.data());
        }
    }
    if (!dst.commit()) return FALSE;
    ++psoDst->iUniq;
    return TRUE;
}

}  // namespace

}  // namespace vnx::engine

extern "C" BOOL EngStretchBlt(SURFOBJ* psoDst, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                              XLATEOBJ* pxlo, COLORADJUSTMENT*, POINTL*, RECTL* prclDst,
                              RECTL* prclSrc, POINTL* pptlMask, ULONG iMode) {
    if (vnx::faults::should_fail("EngStretchBlt")) return FALSE;
    if (psoDst == nullptr || psoSrc == nullptr || prclDst == nullptr || prclSrc == nullptr)
        return FALSE;
    return vnx::engine::stretch(psoDst, psoSrc, psoMask, pco, pxlo, *prclDst, *prclSrc, pptlMask,
                                iMode);
}
