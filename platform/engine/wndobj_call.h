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

// The region a window object's coClient stands for (banded, screen
// coordinates): false when pco is no live window object's clip.
bool window_clip_region(const CLIPOBJ* pco, std::vector<RECTL>* pRegion);
// CLIPOBJ_cEnumStart and CLIPOBJ_bEnum on a window object's coClient (one
// enumeration with WNDOBJ_cEnumStart's): false when pco is none.
bool window_clip_enum_start(const CLIPOBJ* pco, ULONG iDirection, ULONG cLimit, ULONG* pc);
bool window_clip_enum(const CLIPOBJ* pco, ULONG cj, ULONG* pul, BOOL* pbMore);

}  // namespace vnx::engine
