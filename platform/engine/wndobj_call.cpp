// Window and translation objects named in a driver call from a device
// context. The engine writes their handles into the call's input; the driver
// turns a handle back into the object while the call runs, on the calling
// thread, and nowhere else: a handle kept past its call names nothing.
#include <atomic>

#include "drawing.h"
#include "platform/engine.h"
#include "windows_impl.h"
#include "wndobj_call.h"

namespace vnx::engine {
namespace {

// The innermost call of this thread that names objects.
thread_local CallObjects* tCall = nullptr;
std::atomic<ULONG> gNextHandle{0x40004};

ULONG next_handle() { return gNextHandle.fetch_add(4); }

std::shared_ptr<WindowObject> find_object_locked(WindowState& s, const CLIPOBJ* pco) {
    static_assert(offsetof(WNDOBJ, coClient) == 0, "a window object's clip leads its record");
    auto it = s.objects.find(reinterpret_cast<const WNDOBJ*>(pco));
    return it == s.objects.end() || it->second->bDeleted ? nullptr : it->second;
}

}  // namespace

std::shared_ptr<WindowObject> window_object_of(HDEV hdev, HWND hwnd) {
    if (hdev == nullptr || hwnd == nullptr) return nullptr;
    WindowState& s = window_state();
    std::lock_guard<std::mutex> g(s.lock);
    for (auto& [pwo, p] : s.objects)
        if (!p->bDeleted && p->hwnd == hwnd && p->hdev == hdev) return p;
    return nullptr;
}

WNDOBJ* wndobj_of(const std::shared_ptr<WindowObject>& p) { return p != nullptr ? &p->wo : nullptr; }

CallObjects::CallObjects(HDEV hdev, HWND hwnd, bool bWindow, bool bXlate) : previous_(tCall) {
    if (bWindow) window_ = window_object_of(hdev, hwnd);
    if (window_ != nullptr) hwo_ = next_handle();
    if (bXlate) {
        // Device contexts here carry no palette of their own: the colours
        // reach the device as they are.
        XLATEOBJ trivial{};
        trivial.flXlate = XO_TRIVIAL;
        pxlo_ = copy_xlate(&trivial);
        if (pxlo_ != nullptr) hxo_ = next_handle();
    }
    tCall = this;
}

CallObjects::~CallObjects() {
    tCall = previous_;
    delete_xlate(pxlo_);
}

bool window_clip_region(const CLIPOBJ* pco, std::vector<RECTL>* pRegion) {
    WindowState& s = window_state();
    std::lock_guard<std::mutex> g(s.lock);
    auto p = find_object_locked(s, pco);
    if (p == nullptr) return false;
    *pRegion = p->region;
    return true;
}

bool window_clip_enum_start(const CLIPOBJ* pco, ULONG iDirection, ULONG cLimit, ULONG* pc) {
    WindowState& s = window_state();
    std::lock_guard<std::mutex> g(s.lock);
    auto p = find_object_locked(s, pco);
    if (p == nullptr) return false;
    p->next = 0;
    p->pending = ordered(p->region, iDirection);
    *pc = p->pending.size() <= cLimit ? static_cast<ULONG>(p->pending.size()) : 0xFFFFFFFFu;
    return true;
}

bool window_clip_enum(const CLIPOBJ* pco, ULONG cj, ULONG* pul, BOOL* pbMore) {
    WindowState& s = window_state();
    std::lock_guard<std::mutex> g(s.lock);
    auto p = find_object_locked(s, pco);
    if (p == nullptr) return false;
    *pbMore = enum_next(&p->pending, &p->next, cj, pul);
    return true;
}

WNDOBJ* call_window_object(ULONG hwo) {
    for (const CallObjects* c = tCall; c != nullptr && hwo != 0; c = c->previous_)
        if (c->hwo_ == hwo) return wndobj_of(c->window_);
    return nullptr;
}

XLATEOBJ* call_xlate_object(ULONG hxo) {
    for (const CallObjects* c = tCall; c != nullptr && hxo != 0; c = c->previous_)
        if (c->hxo_ == hxo) return c->pxlo_;
    return nullptr;
}

}  // namespace vnx::engine
