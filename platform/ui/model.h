// The window table of the user-interface model, shared by the ui files.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace vnx::ui {

struct Node {
    WindowInfo info;
    bool group = false;        // first radio button of a group
    Window* object = nullptr;  // the class-library object behind it, if any
    DWORD owner = 0;           // the logical process that made it
};

// Access to the objects' window handles for the model.
struct WindowAccess {
    static void set(Window* w, HWND h) { w->hwnd_ = h; }
};

// Makes a window of the calling process: a window of the window model at
// rc (relative to the parent's client origin) with a node; null on failure.
HWND make_window(HWND parent, const RECTL& rc, Kind kind, int id, DWORD style,
                 const std::string& text, Window* object);
// Sends WM_DESTROY to the window's object, destroys its children, then the
// window itself.
void destroy_window(HWND hwnd);
// Runs fn on the live node of hwnd under the table's lock; false when none.
bool with_node(HWND hwnd, const std::function<void(Node&)>& fn);
Window* object_of(HWND hwnd);
// The checked button of the radio group that holds `radio` (-1 none), and
// checking one of them.
int radio_index(HWND radio);
void set_radio_index(HWND radio, int index);

}  // namespace vnx::ui
