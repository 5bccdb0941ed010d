// EngTextOut: a string drawn in software. The opaque rectangle is filled
// with the opaque brush, then the glyph images are gathered into one 1-bit
// mask over their bounds and the foreground brush is drawn through it (ROP4
// 0xAAF0: the brush where a bit is set, the destination kept elsewhere), so
// solid and pattern brushes, clipping and device surfaces are all the
// blit's.
#include <algorithm>
#include <vector>

#include "drawing.h"
#include "objects.h"
#include "platform/engine.h"
#include "platform/faults.h"
#include "text.h"

namespace vnx::engine {

namespace {

constexpr ROP4 kRopOpaque = 0xF0F0;  // the brush everywhere
constexpr ROP4 kRopGlyphs = 0xAAF0;  // the brush where the mask is set

// The surface box of a glyph image at its position; empty for no image.
RECTL glyph_box(const GLYPHPOS& gp) {
    const GLYPHBITS* pgb = gp.pgdf != nullptr ? gp.pgdf->pgb : nullptr;
    if (pgb == nullptr || pgb->sizlBitmap.cx <= 0 || pgb->sizlBitmap.cy <= 0) return RECTL{};
    const LONG x = saturate(std::int64_t{gp.ptl.x} + pgb->ptlOrigin.x);
    const LONG y = saturate(std::int64_t{gp.ptl.y} + pgb->ptlOrigin.y);
    return RECTL{x, y, saturate(std::int64_t{x} + pgb->sizlBitmap.cx),
                 saturate(std::int64_t{y} + pgb->sizlBitmap.cy)};
}

// ORs the glyph's set bits that fall inside the mask's area.
void add_glyph(const GLYPHPOS& gp, SURFOBJ* psoMask, const RECTL& area) {
    const RECTL box = glyph_box(gp);
    const RECTL r = rect_intersect(box, area);
    if (rect_empty(r)) return;
    const GLYPHBITS* pgb = gp.pgdf->pgb;
    const LONG stride = (pgb->sizlBitmap.cx + 7) / 8;
    for (LONG y = r.top; y < r.bottom; ++y)
        or_bits(pgb->aj + static_cast<size_t>(y - box.top) * stride, r.left - box.left,
                row_address(psoMask, y - area.top), r.left - area.left, r.right - r.left);
}

}  // namespace

}  // namespace vnx::engine

extern "C" BOOL EngTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ*, CLIPOBJ* pco, RECTL*,
                           RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL*,
                           MIX) {
    using namespace vnx::engine;
    if (vnx::faults::should_fail("EngTextOut")) return FALSE;
    if (pso == nullptr || pstro == nullptr) return FALSE;
    POINTL ptlBrush = {0, 0};
    if (prclOpaque != nullptr) {
        RECTL r = *prclOpaque;
        if (pboOpaque == nullptr) return FALSE;
        if (!rect_empty(r) &&
            !blit(BlitArgs{pso, nullptr, nullptr, pco, nullptr, &r, nullptr, nullptr, pboOpaque,
                           &ptlBrush, kRopOpaque}))
            return FALSE;
    }

    std::vector<GLYPHPOS> glyphs;
    if (!string_glyphs(pstro, &glyphs)) {
        if (pstro->pgp == nullptr) return FALSE;
        glyphs.assign(pstro->pgp, pstro->pgp + pstro->cGlyphs);
    }
    // The mask covers the glyphs inside the surface.
    RECTL area = {0, 0, 0, 0};
    for (const GLYPHPOS& gp : glyphs) {
        const RECTL box = rect_intersect(glyph_box(gp), surface_rect(pso));
        if (rect_empty(box)) continue;
        area = rect_empty(area) ? box
                                : RECTL{std::min(area.left, box.left), std::min(area.top, box.top),
                                        std::max(area.right, box.right),
                                        std::max(area.bottom, box.bottom)};
    }
    if (rect_empty(area)) return TRUE;
    if (pboFore == nullptr) return FALSE;
    HSURF hMask = create_bitmap(SIZEL{area.right - area.left, area.bottom - area.top}, 0, BMF_1BPP,
                                BMF_TOPDOWN, nullptr);
    SURFOBJ* psoMask = hMask != nullptr ? surface_object(hMask) : nullptr;
    if (psoMask == nullptr) {
        if (hMask != nullptr) EngDeleteSurface(hMask);
        return FALSE;
    }
    for (const GLYPHPOS& gp : glyphs) add_glyph(gp, psoMask, area);
    POINTL ptlMask = {0, 0};
    const BOOL b = blit(BlitArgs{pso, nullptr, psoMask, pco, nullptr, &area, nullptr, &ptlMask,
                                 pboFore, &ptlBrush, kRopGlyphs});
    EngDeleteSurface(hMask);
    return b;
}
