// The window model and the window objects that follow it, shared by
// windows.cpp (the model) and wndobj.cpp (the window objects).
//
// Two locks: `lock` guards the model and the window objects' state and is
// held only briefly; `delivery` is held for the whole of a change, from the
// model's update to the last callback, so that window objects hear of
// changes one at a time and in order. Callbacks run with `delivery` held and
// `lock` free: a driver may take its own locks there, and its other threads
// may call the window-object services meanwhile. Nothing takes `delivery`
// while holding `lock`.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/ddi.h"

namespace vnx::engine {

struct Window {
    HWND hwnd = nullptr;
    DWORD owner = 0;
    RECTL rclClient{};
};

struct WindowObject {
    WNDOBJ wo{};                   // what the driver is handed; first, so it maps back
    HWND hwnd = nullptr;
    HDEV hdev = nullptr;
    DWORD owner = 0;               // the window's process
    RECTL rclSurface{};            // the device surface: regions are cut to it
    WNDOBJCHANGEPROC pfn = nullptr;
    FLONG fl = 0;
    std::vector<RECTL> region;     // the client region as last told (banded)
    std::vector<RECTL> delta;      // its newly visible part, during a delta call
    bool bInDelta = false;
    std::vector<RECTL> pending;    // the enumeration in progress, in its order
    size_t next = 0;
    bool bDeleted = false;
};

struct WindowState {
    std::mutex lock;
    std::recursive_mutex delivery;
    std::map<std::uintptr_t, Window> windows;
    std::vector<HWND> z;                    // top first
    std::uintptr_t nextHandle = 0x20000;
    std::map<const WNDOBJ*, std::shared_ptr<WindowObject>> objects;
};

WindowState& window_state();

// The visible region of every window (banded, screen coordinates), by
// handle value (lock held).
std::map<std::uintptr_t, std::vector<RECTL>> visible_regions_locked(const WindowState& s);

// A change a window object is to hear of.
struct Notice {
    std::shared_ptr<WindowObject> p;
    bool bDelete = false;
    DWORD owner = 0;               // the window's process: the callback runs for it
    RECTL rclClient{};
    std::vector<RECTL> region;
};

// What every window object needs to hear to match the model (lock held).
std::vector<Notice> notices_locked(WindowState& s);
// Tells them (delivery held, lock not).
void deliver(WindowState& s, std::vector<Notice>& notices);

}  // namespace vnx::engine
