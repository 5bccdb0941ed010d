// Clip objects: a region kept as the banded rectangles pixman makes of it
// (bands of equal top and bottom, top to bottom; rectangles in a band left
// to right, never touching), its enumeration in the four directions, and the
// rectangles the engine's own drawing takes from it.
#include <pixman.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>

#include "drawing.h"
#include "objects.h"
#include "platform/engine.h"
#include "regions.h"
#include "wndobj_call.h"

namespace vnx::engine {

namespace {

struct Clip {
    CLIPOBJ co{};                // what the driver is handed; first, so it maps back
    std::vector<RECTL> rects;    // the region, banded (DC_COMPLEX)
    std::vector<RECTL> pending;  // the enumeration in progress, in its order
    size_t next = 0;             // next rectangle of pending
};

std::map<const CLIPOBJ*, std::unique_ptr<Clip>>& clips() {
    static auto* m = new std::map<const CLIPOBJ*, std::unique_ptr<Clip>>;
    return *m;
}

std::atomic<ULONG> gNextUniq{1};

Clip* find_clip_locked(const CLIPOBJ* pco) {
    auto it = clips().find(pco);
    return it == clips().end() ? nullptr : it->second.get();
}

CLIPOBJ* insert_clip(std::unique_ptr<Clip> c) {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    CLIPOBJ* pco = &c->co;
    clips()[pco] = std::move(c);
    return pco;
}

// The rectangles an enumeration walks: the region, or rclBounds for a clip
// of one rectangle or none.
std::vector<RECTL> region_of(const Clip& c) {
    if (c.co.iDComplexity == DC_COMPLEX) return c.rects;
    if (rect_empty(c.co.rclBounds)) return {};
    return {c.co.rclBounds};
}

}  // namespace

// Banded rectangles in the order of a direction: bands reversed for the UP
// directions, the rectangles of each band reversed for the LEFT ones.
std::vector<RECTL> ordered(const std::vector<RECTL>& banded, ULONG iDirection) {
    if (iDirection > CD_LEFTUP) iDirection = CD_RIGHTDOWN;  // CD_ANY and unknown values
    const bool bLeft = (iDirection & 1) != 0;
    const bool bUp = (iDirection & 2) != 0;
    std::vector<std::pair<size_t, size_t>> bands;  // [first, last) of each band
    for (size_t i = 0; i < banded.size();) {
        size_t j = i + 1;
        while (j < banded.size() && banded[j].top == banded[i].top) ++j;
        bands.emplace_back(i, j);
        i = j;
    }
    if (bUp) std::reverse(bands.begin(), bands.end());
    std::vector<RECTL> out;
    out.reserve(banded.size());
    for (auto [first, last] : bands) {
        size_t start = out.size();
        out.insert(out.end(), banded.begin() + first, banded.begin() + last);
        if (bLeft) std::reverse(out.begin() + start, out.end());
    }
    return out;
}

std::vector<RECTL> banded_union(const std::vector<RECTL>& rects) {
    pixman_region32_t region = region_of(rects);
    std::vector<RECTL> out = rects_of(&region);
    pixman_region32_fini(&region);
    return out;
}

BOOL enum_next(const std::vector<RECTL>* pending, size_t* pnext, ULONG cj, ULONG* pul) {
    if (pul == nullptr || cj < sizeof(ULONG)) return FALSE;
    ENUMRECTS* per = reinterpret_cast<ENUMRECTS*>(pul);
    per->c = 0;
    const size_t room = (cj - offsetof(ENUMRECTS, arcl)) / sizeof(RECTL);
    if (pending == nullptr || room == 0) return FALSE;
    const size_t n = std::min(room, pending->size() - *pnext);
    std::copy_n(pending->begin() + static_cast<std::ptrdiff_t>(*pnext), n, per->arcl);
    per->c = static_cast<ULONG>(n);
    *pnext += n;
    return *pnext < pending->size() ? TRUE : FALSE;
}

CLIPOBJ* create_clip(const RECTL* prcl, ULONG c) {
    if (prcl == nullptr && c != 0) return nullptr;
    auto clip = std::make_unique<Clip>();
    clip->rects = banded_union(std::vector<RECTL>(prcl, prcl + c));

    CLIPOBJ& co = clip->co;
    co.iUniq = gNextUniq++;
    co.iMode = TC_RECTANGLES;
    co.rclBounds = clip->rects.empty() ? RECTL{0, 0, 0, 0} : rect_bounds(clip->rects);
    if (clip->rects.size() <= 1) {
        co.iDComplexity = DC_RECT;
        co.iFComplexity = FC_RECT;
        clip->rects.clear();
    } else {
        co.iDComplexity = DC_COMPLEX;
        co.iFComplexity = clip->rects.size() <= 4 ? FC_RECT4 : FC_COMPLEX;
    }
    return insert_clip(std::move(clip));
}

CLIPOBJ* create_trivial_clip(const RECTL& rcl) {
    auto clip = std::make_unique<Clip>();
    clip->co.iUniq = gNextUniq++;
    clip->co.rclBounds = rcl;
    clip->co.iDComplexity = DC_TRIVIAL;
    clip->co.iFComplexity = FC_RECT;
    clip->co.iMode = TC_RECTANGLES;
    return insert_clip(std::move(clip));
}

void delete_clip(CLIPOBJ* pco) {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    clips().erase(pco);
}

size_t live_clips() {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    return clips().size();
}

namespace {

template <typename Rects>
bool clip_rects_into(const CLIPOBJ* pco, const RECTL& rclWork, ULONG iDirection, Rects& rects) {
    rects.clear();
    if (rect_empty(rclWork)) return true;
    if (pco == nullptr || pco->iDComplexity == DC_TRIVIAL) {
        rects.push_back(rclWork);
        return true;
    }
    if (pco->iDComplexity == DC_RECT) {
        RECTL r = rect_intersect(rclWork, pco->rclBounds);
        if (!rect_empty(r)) rects.push_back(r);
        return true;
    }
    if (pco->iDComplexity != DC_COMPLEX) return false;
    std::vector<RECTL> region;
    bool bFound = false;
    {
        auto& o = objects();
        std::lock_guard<std::mutex> g(o.lock);
        if (const Clip* c = find_clip_locked(pco)) {
            region = c->rects;
            bFound = true;
        }
    }
    // A window object's client region is a clip object too.
    if (!bFound && !window_clip_region(pco, &region)) return false;
    for (const RECTL& r : ordered(region, iDirection)) {
        RECTL q = rect_intersect(r, rclWork);
        if (!rect_empty(q)) rects.push_back(q);
    }
    return true;
}

}  // namespace

bool clip_rects(const CLIPOBJ* pco, const RECTL& rclWork, ULONG iDirection, RectList& rects) {
    return clip_rects_into(pco, rclWork, iDirection, rects);
}

bool clip_rects(const CLIPOBJ* pco, const RECTL& rclWork, ULONG iDirection, std::vector<RECTL>& rects) {
    return clip_rects_into(pco, rclWork, iDirection, rects);
}

}  // namespace vnx::engine

using namespace vnx::engine;

extern "C" ULONG CLIPOBJ_cEnumStart(CLIPOBJ* pco, BOOL, ULONG iType, ULONG iDirection,
                                    ULONG cLimit) {
    auto& o = objects();
    std::unique_lock<std::mutex> g(o.lock);
    Clip* c = find_clip_locked(pco);
    if (c == nullptr) {
        // A window object's coClient (WNDOBJ_cEnumStart's region).
        g.unlock();
        ULONG n = 0;
        if (iType != CT_RECTANGLES || !window_clip_enum_start(pco, iDirection, cLimit, &n)) return 0;
        return n;
    }
    c->next = 0;
    c->pending.clear();
    if (iType != CT_RECTANGLES) return 0;
    c->pending = ordered(region_of(*c), iDirection);
    const size_t n = c->pending.size();
    return n <= cLimit ? static_cast<ULONG>(n) : 0xFFFFFFFFu;
}

extern "C" BOOL CLIPOBJ_bEnum(CLIPOBJ* pco, ULONG cj, ULONG* pul) {
    auto& o = objects();
    std::unique_lock<std::mutex> g(o.lock);
    Clip* c = find_clip_locked(pco);
    if (c == nullptr) {
        g.unlock();
        BOOL bMore = FALSE;
        if (window_clip_enum(pco, cj, pul, &bMore)) return bMore;
        g.lock();
    }
    return enum_next(c != nullptr ? &c->pending : nullptr, c != nullptr ? &c->next : nullptr, cj, pul);
}
