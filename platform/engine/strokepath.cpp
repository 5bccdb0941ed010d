// EngStrokePath: cosmetic lines drawn in software by the cosmetic-line rule,
// solid or styled, under any mix and clip; and the line styles the engine's
// path files share.
#include <algorithm>

#include "cosmetic_line.h"
#include "drawing.h"
#include "paths.h"
#include "platform/engine.h"
#include "platform/faults.h"

namespace vnx::engine {

namespace {

constexpr std::int64_t kUserUnit = 3;  // pixels of a style unit (style step 1/3)

std::int64_t modulo(std::int64_t v, std::int64_t m) { return ((v % m) + m) % m; }

// The brush's value at a pixel: its solid colour or its pattern there.
class Pen {
public:
    bool open(BRUSHOBJ* pbo, const POINTL* pptlOrg) {
        if (pbo == nullptr) return false;
        solid_ = pbo->iSolidColor;
        if (solid_ != 0xFFFFFFFFu) return true;
        pattern_ = brush_pattern(pbo);
        if (pptlOrg != nullptr) org_ = *pptlOrg;
        return pattern_ != nullptr && pattern_->cx > 0 && pattern_->cy > 0;
    }
    ULONG at(std::int64_t x, std::int64_t y) const {
        if (pattern_ == nullptr) return solid_;
        const std::int64_t px = modulo(x - org_.x, pattern_->cx), py = modulo(y - org_.y, pattern_->cy);
        return pattern_->pixels[static_cast<size_t>(py * pattern_->cx + px)];
    }

private:
    ULONG solid_ = 0;
    const BrushPattern* pattern_ = nullptr;
    POINTL org_{0, 0};
};

BOOL stroke(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
            LINEATTRS* pla, MIX mix) {
    std::vector<PathLine> lines;
    LineStyle style;
    Pen pen;
    const PixelFormat* f = pixel_format(pso->iBitmapFormat);
    if (f == nullptr || !path_lines(ppo, lines) || !style.open(pla) || !pen.open(pbo, pptlBrushOrg))
        return FALSE;
    std::int64_t pos = style.styled() ? style.position(pla->elStyleState.l) : 0;
    const ULONG rop3 = mix_rop3(mix & 0xFF);

    // The pixels the path can reach: its bounds (one pixel wider for the
    // rounding) inside the surface.
    RECTFX fx;
    PATHOBJ_vGetBounds(ppo, &fx);
    const RECTL reach = rect_intersect(
        RECTL{saturate((std::int64_t{fx.xLeft} >> 4) - 1), saturate((std::int64_t{fx.yTop} >> 4) - 1),
              saturate((std::int64_t{fx.xRight} >> 4) + 2), saturate((std::int64_t{fx.yBottom} >> 4) + 2)},
        surface_rect(pso));
    std::vector<RECTL> rects;
    if (!rect_empty(reach) && !clip_rects(pco, reach, CD_RIGHTDOWN, rects)) return FALSE;
    HostView view;
    const bool bDraw = !rects.empty() && rop3 != 0xAA;
    if (bDraw && !view.open(pso, rect_bounds(rects), true)) return FALSE;

    for (const PathLine& l : lines) {
        if (l.bResetStyle) pos = 0;
        const CosmeticLine line(l.a.x, l.a.y, l.b.x, l.b.y);
        static const std::vector<RECTL> kNoRects;
        for (const RECTL& r : bDraw ? rects : kNoRects) {  // both lvalues: no copy of the list
            std::int64_t k0, k1;
            const bool bY = line.y_major();
            line.index_range(bY ? r.top : r.left, bY ? r.bottom : r.right, &k0, &k1);
            for (std::int64_t k = k0; k < k1; ++k) {
                std::int64_t x, y;
                line.pixel(k, &x, &y);
                if (x < r.left || x >= r.right || y < r.top || y >= r.bottom) continue;
                if (style.styled() && !style.dash(pos + k)) continue;
                BYTE* row = view.row(static_cast<LONG>(y));
                const LONG vx = view.x(static_cast<LONG>(x));
                ULONG d;
                f->fetch(row, vx, 1, &d);
                const ULONG v = rop3_value(rop3, pen.at(x, y), 0, d);
                f->store(row, vx, 1, &v);
            }
        }
        pos += line.count();
    }
    if (style.styled()) pla->elStyleState.l = style.state(pos);
    if (bDraw && !view.commit()) return FALSE;
    if (bDraw) ++pso->iUniq;
    return TRUE;
}

}  // namespace

bool LineStyle::open(const LINEATTRS* pla) {
    entries_.clear();
    length_ = 0;
    unit_ = 1;
    bStartGap_ = false;
    if (pla == nullptr) return true;
    if (pla->fl & LA_GEOMETRIC) return false;
    if (pla->fl & LA_ALTERNATE) {
        entries_ = {1, 1};
        length_ = 2;
        return true;
    }
    if (pla->pstyle == nullptr) return true;
    if (pla->cstyle == 0) return false;
    unit_ = kUserUnit;
    bStartGap_ = (pla->fl & LA_STARTGAP) != 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (ULONG i = 0; i < pla->cstyle; ++i) {
            const LONG e = pla->pstyle[i].l;
            if (e <= 0 || e > 0xFFFF) return false;
            entries_.push_back(std::int64_t{e} * unit_);
            length_ += std::int64_t{e} * unit_;
        }
    }
    return true;
}

std::int64_t LineStyle::position(LONG lState) const {
    const std::int64_t whole = static_cast<ULONG>(lState) >> 16, part = lState & 0xFFFF;
    return unit_ == 1 ? whole : whole * unit_ + part;
}

LONG LineStyle::state(std::int64_t pos) const {
    const std::int64_t p = length_ != 0 ? modulo(pos, length_) : 0;
    return static_cast<LONG>(((p / unit_) << 16) | (p % unit_));
}

LONG LineStyle::clipline_state(std::int64_t pos) const {
    const std::int64_t p = length_ != 0 ? modulo(pos, length_) : 0;
    return static_cast<LONG>(((p / kUserUnit) << 16) | (p % kUserUnit));
}

bool LineStyle::dash(std::int64_t pos) const {
    if (length_ == 0) return true;
    std::int64_t p = modulo(pos, length_);
    size_t i = 0;
    while (p >= entries_[i]) p -= entries_[i++];
    return ((i & 1) == 0) != bStartGap_;
}

}  // namespace vnx::engine

extern "C" BOOL EngStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ*, BRUSHOBJ* pbo,
                              POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix) {
    if (vnx::faults::should_fail("EngStrokePath")) return FALSE;
    if (pso == nullptr || ppo == nullptr) return FALSE;
    return vnx::engine::stroke(pso, ppo, pco, pbo, pptlBrushOrg, plineattrs, mix);
}
