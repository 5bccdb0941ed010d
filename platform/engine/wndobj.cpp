// Window objects: a driver's view of one window on its device, kept up to
// date with the window model and told of each change through its callback.
#include <pixman.h>

#include <algorithm>

#include "clients.h"
#include "drawing.h"
#include "platform/engine.h"
#include "platform/faults.h"
#include "regions.h"
#include "windows_impl.h"
#include "wndobj_call.h"

namespace vnx::engine {
namespace {

constexpr FLONG kKnownFlags = WO_RGN_CLIENT_DELTA | WO_RGN_CLIENT | WO_RGN_SURFACE_DELTA;

std::vector<RECTL> cut_to(const std::vector<RECTL>& region, const RECTL& rcl) {
    std::vector<RECTL> out;
    for (const RECTL& r : region) {
        const RECTL q = rect_intersect(r, rcl);
        if (!rect_empty(q)) out.push_back(q);
    }
    return banded_union(out);
}

// What of `now` was not in `before`.
std::vector<RECTL> newly_visible(const std::vector<RECTL>& now, const std::vector<RECTL>& before) {
    pixman_region32_t a = region_of(now), b = region_of(before), d;
    pixman_region32_init(&d);
    pixman_region32_subtract(&d, &a, &b);
    std::vector<RECTL> out = rects_of(&d);
    pixman_region32_fini(&a);
    pixman_region32_fini(&b);
    pixman_region32_fini(&d);
    return out;
}

bool same(const RECTL& a, const RECTL& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool same(const std::vector<RECTL>& a, const std::vector<RECTL>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](const RECTL& x, const RECTL& y) { return same(x, y); });
}

// Makes the window object describe a client rectangle and region (lock held).
void describe_locked(WindowObject& p, const RECTL& rclClient, std::vector<RECTL> region) {
    p.wo.rclClient = rclClient;
    p.region = std::move(region);
    CLIPOBJ& co = p.wo.coClient;
    co.iMode = TC_RECTANGLES;
    co.rclBounds = p.region.empty() ? RECTL{0, 0, 0, 0} : rect_bounds(p.region);
    co.iDComplexity = p.region.size() <= 1 ? DC_RECT : DC_COMPLEX;
    co.iFComplexity = p.region.size() <= 1 ? FC_RECT : p.region.size() <= 4 ? FC_RECT4 : FC_COMPLEX;
    ++co.iUniq;
}

std::shared_ptr<WindowObject> find_locked(WindowState& s, const WNDOBJ* pwo) {
    auto it = s.objects.find(pwo);
    return it == s.objects.end() || it->second->bDeleted ? nullptr : it->second;
}

}  // namespace

std::vector<Notice> notices_locked(WindowState& s) {
    std::vector<Notice> out;
    const auto visible = visible_regions_locked(s);
    for (auto& [pwo, p] : s.objects) {
        if (p->bDeleted) continue;
        auto w = s.windows.find(reinterpret_cast<std::uintptr_t>(p->hwnd));
        Notice n;
        n.p = p;
        if (w == s.windows.end()) {
            n.bDelete = true;
            n.owner = p->owner;
            out.push_back(std::move(n));
            continue;
        }
        n.owner = w->second.owner;
        n.rclClient = w->second.rclClient;
        n.region = cut_to(visible.at(w->first), p->rclSurface);
        if (!same(n.region, p->region) || !same(n.rclClient, p->wo.rclClient))
            out.push_back(std::move(n));
    }
    return out;
}

void deliver(WindowState& s, std::vector<Notice>& notices) {
    for (Notice& n : notices) {
        WindowObject& p = *n.p;
        if (n.bDelete) {
            {
                std::lock_guard<std::mutex> g(s.lock);
                if (p.bDeleted) continue;
                p.bDeleted = true;
            }
            {
                ClientCall call(n.owner);
                p.pfn(&p.wo, WOC_DELETE);
            }
            std::lock_guard<std::mutex> g(s.lock);
            s.objects.erase(&p.wo);
            continue;
        }
        bool bDelta;
        {
            std::lock_guard<std::mutex> g(s.lock);
            if (p.bDeleted) continue;
            p.delta = newly_visible(n.region, p.region);
            describe_locked(p, n.rclClient, std::move(n.region));
            bDelta = (p.fl & WO_RGN_CLIENT_DELTA) != 0 && !p.delta.empty();
            p.bInDelta = bDelta;
        }
        ClientCall call(n.owner);
        if (bDelta) {
            p.pfn(&p.wo, WOC_RGN_CLIENT_DELTA);
            std::lock_guard<std::mutex> g(s.lock);
            p.bInDelta = false;
        }
        if (p.fl & WO_RGN_CLIENT) p.pfn(&p.wo, WOC_RGN_CLIENT);
    }
}

WindowChangesHeld::WindowChangesHeld() { window_state().delivery.lock(); }
WindowChangesHeld::~WindowChangesHeld() { window_state().delivery.unlock(); }

size_t live_window_objects() {
    WindowState& s = window_state();
    std::lock_guard<std::mutex> g(s.lock);
    return s.objects.size();
}

WNDOBJ* window_object(SURFOBJ* pso, ULONG hwnd) {
    if (pso == nullptr || hwnd == 0) return nullptr;
    WindowState& s = window_state();
    std::lock_guard<std::mutex> g(s.lock);
    auto w = s.windows.find(hwnd);
    if (w == s.windows.end() || w->second.owner != calling_process()) return nullptr;
    for (auto& [pwo, p] : s.objects) {
        if (!p->bDeleted && p->hwnd == w->second.hwnd && p->hdev == pso->hdev) return &p->wo;
    }
    return nullptr;
}

}  // namespace vnx::engine

using namespace vnx::engine;

extern "C" WNDOBJ* EngCreateWnd(SURFOBJ* pso, HWND hwnd, WNDOBJCHANGEPROC pfn, FLONG fl, int) {
    if (pso == nullptr || pso->iType != STYPE_DEVICE || pso->hdev == nullptr || pfn == nullptr ||
        (fl & kKnownFlags) == 0 || (fl & ~kKnownFlags) != 0)
        return nullptr;
    if (vnx::faults::should_fail("EngCreateWnd")) return nullptr;
    WindowState& s = window_state();
    std::lock_guard<std::mutex> g(s.lock);
    auto w = s.windows.find(reinterpret_cast<std::uintptr_t>(hwnd));
    if (w == s.windows.end() || w->second.owner != calling_process()) return nullptr;
    for (auto& [pwo, p] : s.objects) {
        if (!p->bDeleted && p->hwnd == hwnd && p->hdev == pso->hdev)
            return reinterpret_cast<WNDOBJ*>(static_cast<std::intptr_t>(-1));
    }
    auto p = std::make_shared<WindowObject>();
    p->hwnd = hwnd;
    p->hdev = pso->hdev;
    p->rclSurface = surface_rect(pso);
    p->pfn = pfn;
    p->fl = fl;
    p->owner = w->second.owner;
    p->wo.psoOwner = pso;
    describe_locked(*p, w->second.rclClient,
                    cut_to(visible_regions_locked(s).at(w->first), p->rclSurface));
    WNDOBJ* pwo = &p->wo;
    s.objects[pwo] = std::move(p);
    return pwo;
}

extern "C" void EngDeleteWnd(WNDOBJ* pwo) {
    WindowState& s = window_state();
    std::lock_guard<std::mutex> g(s.lock);
    auto p = find_locked(s, pwo);
    if (p == nullptr) return;
    p->bDeleted = true;
    s.objects.erase(pwo);
}

extern "C" void WNDOBJ_vSetConsumer(WNDOBJ* pwo, PVOID pvConsumer) {
    WindowState& s = window_state();
    std::lock_guard<std::mutex> g(s.lock);
    if (auto p = find_locked(s, pwo)) p->wo.pvConsumer = pvConsumer;
}

extern "C" ULONG WNDOBJ_cEnumStart(WNDOBJ* pwo, ULONG iType, ULONG iDirection, ULONG cLimit) {
    WindowState& s = window_state();
    std::lock_guard<std::mutex> g(s.lock);
    auto p = find_locked(s, pwo);
    if (p == nullptr) return 0;
    p->next = 0;
    p->pending.clear();
    if (iType != CT_RECTANGLES) return 0;
    p->pending = ordered(p->bInDelta ? p->delta : p->region, iDirection);
    const size_t n = p->pending.size();
    return cLimit == 0 || n <= cLimit ? static_cast<ULONG>(n) : 0xFFFFFFFFu;
}

extern "C" BOOL WNDOBJ_bEnum(WNDOBJ* pwo, ULONG cj, ULONG* pul) {
    WindowState& s = window_state();
    std::lock_guard<std::mutex> g(s.lock);
    auto p = find_locked(s, pwo);
    return enum_next(p != nullptr ? &p->pending : nullptr, p != nullptr ? &p->next : nullptr, cj, pul);
}
