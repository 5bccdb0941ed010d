// Engine palettes: indexed and bit-field palettes, and the colour fetch the
// driver uses in DrvSetPalette.
#include <algorithm>

#include "objects.h"
#include "platform/engine.h"
#include "platform/faults.h"

namespace vnx::engine {

Palette* find_palette_locked(HPALETTE hpal) {
    auto& o = objects();
    auto it = o.palettes.find(reinterpret_cast<std::uintptr_t>(hpal));
    return it == o.palettes.end() ? nullptr : it->second.get();
}

Palette* find_palobj_locked(const PALOBJ* ppalo) {
    if (ppalo == nullptr) return nullptr;
    // The PALOBJ is the first member of its palette; only a live one counts.
    const Palette* p = reinterpret_cast<const Palette*>(ppalo);
    for (auto& [h, palette] : objects().palettes)
        if (palette.get() == p) return palette.get();
    return nullptr;
}

size_t live_palettes() {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    return o.palettes.size();
}

bool query_palette(HPALETTE hpal, PaletteInfo* info) {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    Palette* p = find_palette_locked(hpal);
    if (p == nullptr) return false;
    if (info != nullptr) {
        info->iMode = p->iMode;
        info->colors = p->colors;
        info->flRed = p->flRed;
        info->flGreen = p->flGreen;
        info->flBlue = p->flBlue;
    }
    return true;
}

PALOBJ* palette_object(HPALETTE hpal) {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    Palette* p = find_palette_locked(hpal);
    return p == nullptr ? nullptr : &p->palobj;
}

ULONG set_palette_colors(HPALETTE hpal, ULONG iStart, ULONG cColors, const ULONG* pulColors) {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    Palette* p = find_palette_locked(hpal);
    if (p == nullptr || pulColors == nullptr || iStart >= p->colors.size()) return 0;
    ULONG n = std::min<ULONG>(cColors, static_cast<ULONG>(p->colors.size()) - iStart);
    std::copy(pulColors, pulColors + n, p->colors.begin() + iStart);
    return n;
}

}  // namespace vnx::engine

using namespace vnx::engine;

extern "C" HPALETTE EngCreatePalette(ULONG iMode, ULONG cColors, ULONG* pulColors, FLONG flRed,
                                     FLONG flGreen, FLONG flBlue) {
    if (vnx::faults::should_fail("EngCreatePalette")) return nullptr;
    auto p = std::make_unique<Palette>();
    p->iMode = iMode;
    if (iMode == PAL_INDEXED) {
        // Indexed palettes hold at most 256 entries on a display.
        if (cColors == 0 || cColors > 256) return nullptr;
        p->colors.assign(cColors, 0);
        if (pulColors != nullptr) std::copy(pulColors, pulColors + cColors, p->colors.begin());
    } else if (iMode == PAL_BITFIELDS) {
        if ((flRed | flGreen | flBlue) == 0) return nullptr;
        p->flRed = flRed;
        p->flGreen = flGreen;
        p->flBlue = flBlue;
    } else if (iMode != PAL_RGB && iMode != PAL_BGR) {
        return nullptr;
    }
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    std::uintptr_t h = o.new_handle();
    p->hpal = reinterpret_cast<HPALETTE>(h);
    o.palettes[h] = std::move(p);
    return reinterpret_cast<HPALETTE>(h);
}

extern "C" BOOL EngDeletePalette(HPALETTE hpal) {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    return o.palettes.erase(reinterpret_cast<std::uintptr_t>(hpal)) != 0 ? TRUE : FALSE;
}

extern "C" ULONG PALOBJ_cGetColors(PALOBJ* ppalo, ULONG iStart, ULONG cColors, ULONG* pulColors) {
    if (vnx::faults::should_fail("PALOBJ_cGetColors")) return 0;
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    Palette* p = find_palobj_locked(ppalo);
    if (p == nullptr || pulColors == nullptr || iStart >= p->colors.size()) return 0;
    // Only entries the palette has are copied; the count says how many.
    ULONG n = std::min<ULONG>(cColors, static_cast<ULONG>(p->colors.size()) - iStart);
    std::copy(p->colors.begin() + iStart, p->colors.begin() + iStart + n, pulColors);
    return n;
}
