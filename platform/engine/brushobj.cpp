// Brush objects: a solid colour, or a pattern the engine keeps two ways:
// as target values for its own drawing, and as copies of the pattern, mask
// and translation it hands the driver's DrvRealizeBrush. The driver's
// realization is memory the brush owns (BRUSHOBJ_pvAllocRbrush) and frees
// with the brush.
#include <cstring>
#include <map>
#include <memory>

#include "drawing.h"
#include "objects.h"
#include "platform/engine.h"
#include "platform/faults.h"

namespace vnx::engine {

namespace {

// The largest realization a driver may ask for.
constexpr ULONG kMaxRbrush = 1u << 20;

struct Brush {
    BRUSHOBJ bo{};                 // what the driver is handed; first, so it maps back
    SURFOBJ* psoTarget = nullptr;
    HSURF hsurfPattern = nullptr;  // copies handed to DrvRealizeBrush
    HSURF hsurfMask = nullptr;
    XLATEOBJ* pxlo = nullptr;
    ULONG iHatch = 0;
    BrushPattern pattern;          // the engine's own drawing
    std::vector<std::unique_ptr<std::uint64_t[]>> blocks;  // BRUSHOBJ_pvAllocRbrush
    void* pvLast = nullptr;        // the latest block of the realization under way

    ~Brush() {
        if (hsurfPattern != nullptr) EngDeleteSurface(hsurfPattern);
        if (hsurfMask != nullptr) EngDeleteSurface(hsurfMask);
        delete_xlate(pxlo);
    }
};

std::map<const BRUSHOBJ*, std::unique_ptr<Brush>>& brushes() {
    static auto* m = new std::map<const BRUSHOBJ*, std::unique_ptr<Brush>>;
    return *m;
}

Brush* find_brush_locked(const BRUSHOBJ* pbo) {
    auto it = brushes().find(pbo);
    return it == brushes().end() ? nullptr : it->second.get();
}

// A host bitmap with the same rows, orientation and format.
HSURF copy_surface(const SURFOBJ* pso) {
    const LONG delta = pso->lDelta < 0 ? -pso->lDelta : pso->lDelta;
    HSURF h = create_bitmap(pso->sizlBitmap, delta, pso->iBitmapFormat, pso->fjBitmap & BMF_TOPDOWN,
                            nullptr);
    SURFOBJ* copy = h != nullptr ? surface_object(h) : nullptr;
    if (copy == nullptr) return nullptr;
    for (LONG y = 0; y < pso->sizlBitmap.cy; ++y)
        std::memcpy(row_address(copy, y), row_address(pso, y), static_cast<size_t>(delta));
    return h;
}

// The engine's pattern: the pattern's values through the translation, and
// the mask (the mask surface, else a 1-bpp pattern's own bits).
bool read_pattern(const BrushDesc& d, BrushPattern* bp) {
    Translator xlate;
    if (!host_pixels(d.psoPattern) || !xlate.open(d.pxlo)) return false;
    const SIZEL size = d.psoPattern->sizlBitmap;
    bp->cx = size.cx;
    bp->cy = size.cy;
    bp->pixels.resize(static_cast<size_t>(size.cx) * static_cast<size_t>(size.cy));
    const PixelFormat* f = pixel_format(d.psoPattern->iBitmapFormat);
    for (LONG y = 0; y < size.cy; ++y) {
        ULONG* row = bp->pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(size.cx);
        f->fetch(row_address(d.psoPattern, y), 0, size.cx, row);
        if (d.psoMask == nullptr && f->cBits == 1)
            bp->mask.insert(bp->mask.end(), row, row + size.cx);
        xlate.row(row, size.cx);
    }
    if (d.psoMask != nullptr) {
        if (!host_pixels(d.psoMask) || d.psoMask->iBitmapFormat != BMF_1BPP ||
            d.psoMask->sizlBitmap.cx != size.cx || d.psoMask->sizlBitmap.cy != size.cy)
            return false;
        std::vector<ULONG> row(static_cast<size_t>(size.cx));
        for (LONG y = 0; y < size.cy; ++y) {
            pixel_format(BMF_1BPP)->fetch(row_address(d.psoMask, y), 0, size.cx, row.data());
            bp->mask.insert(bp->mask.end(), row.begin(), row.end());
        }
    }
    return true;
}

}  // namespace

const BrushPattern* brush_pattern(const BRUSHOBJ* pbo) {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    const Brush* b = find_brush_locked(pbo);
    return b == nullptr || b->pattern.pixels.empty() ? nullptr : &b->pattern;
}

BRUSHOBJ* create_brush(const BrushDesc& d) {
    auto b = std::make_unique<Brush>();
    b->bo.iSolidColor = d.iSolidColor;
    b->psoTarget = d.psoTarget;
    b->iHatch = d.iHatch;
    if (d.iSolidColor == 0xFFFFFFFF && d.psoPattern != nullptr) {
        if (!read_pattern(d, &b->pattern)) return nullptr;
        b->hsurfPattern = copy_surface(d.psoPattern);
        if (b->hsurfPattern == nullptr) return nullptr;
        if (d.psoMask != nullptr && (b->hsurfMask = copy_surface(d.psoMask)) == nullptr)
            return nullptr;
    }
    if (d.pxlo != nullptr && (b->pxlo = copy_xlate(d.pxlo)) == nullptr) return nullptr;
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    BRUSHOBJ* pbo = &b->bo;
    brushes()[pbo] = std::move(b);
    return pbo;
}

void delete_brush(BRUSHOBJ* pbo) {
    std::unique_ptr<Brush> b;
    {
        auto& o = objects();
        std::lock_guard<std::mutex> g(o.lock);
        auto it = brushes().find(pbo);
        if (it == brushes().end()) return;
        b = std::move(it->second);
        brushes().erase(it);
    }
    // Its surfaces and translation go outside the lock.
}

size_t live_brushes() {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    return brushes().size();
}

}  // namespace vnx::engine

using namespace vnx::engine;

extern "C" PVOID BRUSHOBJ_pvAllocRbrush(BRUSHOBJ* pbo, ULONG cj) {
    if (vnx::faults::should_fail("BRUSHOBJ_pvAllocRbrush")) return nullptr;
    if (cj == 0 || cj > kMaxRbrush) return nullptr;
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    Brush* b = find_brush_locked(pbo);
    if (b == nullptr) return nullptr;
    b->blocks.emplace_back(new std::uint64_t[(cj + 7) / 8]());
    b->pvLast = b->blocks.back().get();
    return b->pvLast;
}

extern "C" PVOID BRUSHOBJ_pvGetRbrush(BRUSHOBJ* pbo) {
    SURFOBJ *psoTarget, *psoPattern = nullptr, *psoMask = nullptr;
    XLATEOBJ* pxlo;
    ULONG iHatch;
    {
        auto& o = objects();
        std::lock_guard<std::mutex> g(o.lock);
        Brush* b = find_brush_locked(pbo);
        if (b == nullptr) return nullptr;
        if (b->bo.pvRbrush != nullptr) return b->bo.pvRbrush;
        if (b->bo.iSolidColor != 0xFFFFFFFF || b->psoTarget == nullptr) return nullptr;
        psoTarget = b->psoTarget;
        pxlo = b->pxlo;
        iHatch = b->iHatch;
        b->pvLast = nullptr;
        // A dithered colour is made by the driver from the colour alone.
        if (!(iHatch & RB_DITHERCOLOR)) {
            if (Surface* s = find_surface_locked(b->hsurfPattern)) psoPattern = &s->so;
            if (Surface* s = find_surface_locked(b->hsurfMask)) psoMask = &s->so;
        }
    }
    auto pfn = reinterpret_cast<PFN_DrvRealizeBrush>(
        device_function(psoTarget->hdev, INDEX_DrvRealizeBrush));
    if (pfn == nullptr) return nullptr;
    const BOOL bRealized = pfn(pbo, psoTarget, psoPattern, psoMask, pxlo, iHatch);
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    Brush* b = find_brush_locked(pbo);
    if (b == nullptr) return nullptr;
    if (bRealized && b->pvLast != nullptr) b->bo.pvRbrush = b->pvLast;
    return b->bo.pvRbrush;
}
