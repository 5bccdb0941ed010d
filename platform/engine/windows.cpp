// The window model: windows of logical processes, their z-order and what
// each shows of itself. Every change is told to the window objects that
// follow the windows it touched (wndobj.cpp).
#include <pixman.h>

#include <algorithm>

#include "drawing.h"
#include "exitwatch.h"
#include "platform/process.h"
#include "platform/windows.h"
#include "regions.h"
#include "windows_impl.h"

namespace vnx::engine {
namespace {

std::uintptr_t key(HWND hwnd) { return reinterpret_cast<std::uintptr_t>(hwnd); }

// The calling process's live window (lock held); null otherwise.
Window* own_window_locked(WindowState& s, HWND hwnd) {
    auto it = s.windows.find(key(hwnd));
    if (it == s.windows.end() || it->second.owner != vnx::process::current()) return nullptr;
    return &it->second;
}

// Runs a change of the model under the locks, then tells the window objects.
template <typename Change>
bool change(Change fn) {
    WindowState& s = window_state();
    std::lock_guard<std::recursive_mutex> d(s.delivery);
    std::vector<Notice> notices;
    {
        std::lock_guard<std::mutex> g(s.lock);
        if (!fn(s)) return false;
        notices = notices_locked(s);
    }
    deliver(s, notices);
    return true;
}

void erase_locked(WindowState& s, HWND hwnd) {
    s.windows.erase(key(hwnd));
    s.z.erase(std::remove(s.z.begin(), s.z.end(), hwnd), s.z.end());
}

void destroy_windows_of(DWORD pid) {
    change([pid](WindowState& s) {
        std::vector<HWND> mine;
        for (const auto& [h, w] : s.windows) {
            if (w.owner == pid) mine.push_back(w.hwnd);
        }
        for (HWND hwnd : mine) erase_locked(s, hwnd);
        return true;
    });
}

// Screen coordinates stay well inside what region arithmetic holds.
constexpr LONG kCoordinateLimit = 1 << 24;

bool well_ordered(const RECTL& r) {
    const auto in = [](LONG v) { return v >= -kCoordinateLimit && v <= kCoordinateLimit; };
    return in(r.left) && in(r.top) && in(r.right) && in(r.bottom) && r.left <= r.right &&
           r.top <= r.bottom;
}

}  // namespace

WindowState& window_state() {
    static WindowState* s = new WindowState;
    return *s;
}

std::map<std::uintptr_t, std::vector<RECTL>> visible_regions_locked(const WindowState& s) {
    std::map<std::uintptr_t, std::vector<RECTL>> out;
    pixman_region32_t covered, mine;
    pixman_region32_init(&covered);
    pixman_region32_init(&mine);
    for (HWND hwnd : s.z) {
        const RECTL& r = s.windows.at(key(hwnd)).rclClient;
        pixman_region32_fini(&mine);
        pixman_region32_init_rect(&mine, r.left, r.top, static_cast<unsigned>(r.right - r.left),
                                  static_cast<unsigned>(r.bottom - r.top));
        // What the windows above left of it; they cover it from now on.
        pixman_region32_t visible;
        pixman_region32_init(&visible);
        pixman_region32_subtract(&visible, &mine, &covered);
        pixman_region32_union(&covered, &covered, &mine);
        out[key(hwnd)] = rects_of(&visible);
        pixman_region32_fini(&visible);
    }
    pixman_region32_fini(&mine);
    pixman_region32_fini(&covered);
    return out;
}

}  // namespace vnx::engine

namespace vnx::windows {

using namespace vnx::engine;

HWND create(const RECTL& rclClient) {
    if (!well_ordered(rclClient)) return nullptr;
    const DWORD pid = vnx::process::current();
    static auto* watch = new ProcessExitWatch(destroy_windows_of);
    if (!watch->watch(pid)) return nullptr;
    HWND hwnd = nullptr;
    change([&](WindowState& st) {
        hwnd = reinterpret_cast<HWND>(st.nextHandle);
        st.nextHandle += 4;
        st.windows[key(hwnd)] = vnx::engine::Window{hwnd, pid, rclClient};
        st.z.insert(st.z.begin(), hwnd);
        return true;
    });
    return hwnd;
}

bool move(HWND hwnd, const RECTL& rclClient) {
    if (!well_ordered(rclClient)) return false;
    return change([&](WindowState& s) {
        vnx::engine::Window* w = own_window_locked(s, hwnd);
        if (w == nullptr) return false;
        w->rclClient = rclClient;
        return true;
    });
}

bool raise(HWND hwnd) {
    return change([&](WindowState& s) {
        if (own_window_locked(s, hwnd) == nullptr) return false;
        s.z.erase(std::remove(s.z.begin(), s.z.end(), hwnd), s.z.end());
        s.z.insert(s.z.begin(), hwnd);
        return true;
    });
}

bool destroy(HWND hwnd) {
    return change([&](WindowState& s) {
        if (own_window_locked(s, hwnd) == nullptr) return false;
        erase_locked(s, hwnd);
        return true;
    });
}

DWORD owner(HWND hwnd) {
    WindowState& s = vnx::engine::window_state();
    std::lock_guard<std::mutex> g(s.lock);
    auto it = s.windows.find(key(hwnd));
    return it == s.windows.end() ? 0 : it->second.owner;
}

bool client_rect(HWND hwnd, RECTL* prcl) {
    WindowState& s = vnx::engine::window_state();
    std::lock_guard<std::mutex> g(s.lock);
    auto it = s.windows.find(key(hwnd));
    if (it == s.windows.end() || prcl == nullptr) return false;
    *prcl = it->second.rclClient;
    return true;
}

std::vector<RECTL> visible_region(HWND hwnd) {
    WindowState& s = vnx::engine::window_state();
    std::lock_guard<std::mutex> g(s.lock);
    auto all = vnx::engine::visible_regions_locked(s);
    auto it = all.find(key(hwnd));
    return it == all.end() ? std::vector<RECTL>{} : it->second;
}

size_t live_windows() {
    WindowState& s = vnx::engine::window_state();
    std::lock_guard<std::mutex> g(s.lock);
    return s.windows.size();
}

}  // namespace vnx::windows
