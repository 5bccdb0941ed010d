// Window and translation objects that a call from a device context names by
// 32-bit handles (the pwo and pxo words of OPENGL_CMD), and the client
// region of a window object as a clip object (its coClient).
#pragma once

#include <memory>
#include <vector>

#include "platform/ddi.h"

namespace vnx::engine {

struct WindowObject;

// The window object the driver made for hwnd on hdev, kept alive while the
// pointer is held; null when there is none.
std::shared_ptr<WindowObject> window_object_of(HDEV hdev, HWND hwnd);
WNDOBJ* wndobj_of(const std::shared_ptr<WindowObject>& p);

// For its life, the calling thread's driver call names the window object
// the driver made for hwnd on hdev (when bWindow and there is one) and a
// translation object (when bXlate) by handles that call_window_object and
// call_xlate_object resolve, on this thread only. Handles are never 0 and
// never reused. Nests.
class CallObjects {
  public:
    CallObjects(HDEV hdev, HWND hwnd, bool bWindow, bool bXlate);
    ~CallObjects();
    CallObjects(const CallObjects&) = delete;
    CallObjects& operator=(const CallObjects&) = delete;

    ULONG window_handle() const { return hwo_; }
    ULONG xlate_handle() const { return hxo_; }

    std::shared_ptr<WindowObject> window_;
    XLATEOBJ* pxlo_ = nullptr;
    ULONG hwo_ = 0;
    ULONG hxo_ = 0;
    CallObjects* previous_ = nullptr;
};

// Holds window changes off for its scope (the window model's delivery lock):
// a change rewrites window objects and calls their callbacks under it, and
// the engine holds it around each driver call that may read window objects
// (escapes, pixel formats, swaps from a device context) and around the
// clean-up of an ended process's driver objects. So a driver reads a
// window object only while no change is under way. Lock order: this lock
// first, then the driver's own (a callback takes its lock inside it).
class WindowChangesHeld {
  public:
    WindowChangesHeld();
    ~WindowChangesHeld();
    WindowChangesHeld(const WindowChangesHeld&) = delete;
    WindowChangesHeld& operator=(const WindowChangesHeld&) = delete;
};

// The region a window object's coClient stands for (banded, screen
// coordinates): false when pco is no live window object's clip.
bool window_clip_region(const CLIPOBJ* pco, std::vector<RECTL>* pRegion);
// CLIPOBJ_cEnumStart and CLIPOBJ_bEnum on a window object's coClient (one
// enumeration with WNDOBJ_cEnumStart's): false when pco is none.
bool window_clip_enum_start(const CLIPOBJ* pco, ULONG iDirection, ULONG cLimit, ULONG* pc);
bool window_clip_enum(const CLIPOBJ* pco, ULONG cj, ULONG* pul, BOOL* pbMore);

}  // namespace vnx::engine
