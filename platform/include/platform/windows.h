// The window model: windows of logical processes on the screen, as the
// window manager keeps them for the graphics engine.
//
// A window belongs to the logical process that made it and is a client
// rectangle in screen coordinates; windows overlap in z-order, the newest on
// top. Only the owner moves, raises or destroys its window; ending a process
// destroys its windows. Every change recomputes what each window shows of
// itself (its client rectangle less the windows above it) and tells the
// window objects the drivers made for the windows it changed
// (platform/engine.h): a new visible region or client rectangle, or the
// window's end. Window handles are 32-bit values, never 0, never reused.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/ddi.h"
#include "platform/export.h"

namespace vnx::windows {

// A window of the calling process with this client rectangle (well ordered,
// right and bottom exclusive), on top of all others; null for a bad
// rectangle or when the process is gone.
VNX_PLATFORM_API HWND create(const RECTL& rclClient);
// Moves and resizes a window of the calling process.
VNX_PLATFORM_API bool move(HWND hwnd, const RECTL& rclClient);
// Puts a window of the calling process on top of all others.
VNX_PLATFORM_API bool raise(HWND hwnd);
VNX_PLATFORM_API bool destroy(HWND hwnd);

// A live window's owner (0 when there is no such window), client rectangle
// and visible region (banded rectangles, screen coordinates).
VNX_PLATFORM_API DWORD owner(HWND hwnd);
VNX_PLATFORM_API bool client_rect(HWND hwnd, RECTL* prcl);
VNX_PLATFORM_API std::vector<RECTL> visible_region(HWND hwnd);
VNX_PLATFORM_API size_t live_windows();

}  // namespace vnx::windows
