// The control panel: a window of the calling process, and one applet
// library loaded by file name whose CPlApplet receives the applet messages
// in the control panel's order.
#include "model.h"

namespace vnx::ui {

ControlPanel::ControlPanel() {
    hwnd_ = make_window(nullptr, RECTL{0, 0, 400, 300}, Kind::Window, 0, 0, "Control Panel", nullptr);
}

ControlPanel::~ControlPanel() {
    Unload();
    if (hwnd_ != nullptr) destroy_window(hwnd_);
}

bool ControlPanel::Load(const char* file) {
    if (proc_ != nullptr || hwnd_ == nullptr) return false;
    module_ = LoadLibraryA(file);
    if (module_ == nullptr) return false;
    proc_ = reinterpret_cast<APPLET_PROC>(GetProcAddress(module_, "CPlApplet"));
    if (proc_ == nullptr || proc_(hwnd_, CPL_INIT, 0, 0) == 0) {
        proc_ = nullptr;
        FreeLibrary(module_);
        module_ = nullptr;
        return false;
    }
    return true;
}

LONG ControlPanel::Send(UINT msg, LPARAM lParam1, LPARAM lParam2) {
    return proc_ != nullptr ? proc_(hwnd_, msg, lParam1, lParam2) : 0;
}

LONG ControlPanel::Count() { return Send(CPL_GETCOUNT); }

bool ControlPanel::Inquire(int i, NEWCPLINFO* info) {
    if (info == nullptr || i < 0 || i >= Count()) return false;
    *info = NEWCPLINFO{};
    Send(CPL_NEWINQUIRE, i, reinterpret_cast<LPARAM>(info));
    return info->dwSize == sizeof(NEWCPLINFO);
}

LONG ControlPanel::Open(int i) {
    NEWCPLINFO info{};
    if (!Inquire(i, &info)) return -1;
    return Send(CPL_DBLCLK, i, static_cast<LPARAM>(info.lData));
}

void ControlPanel::Unload() {
    if (proc_ == nullptr) return;
    const LONG n = Count();
    for (LONG i = 0; i < n; ++i) {
        NEWCPLINFO info{};
        Inquire(i, &info);
        Send(CPL_STOP, i, static_cast<LPARAM>(info.lData));
    }
    Send(CPL_EXIT);
    proc_ = nullptr;
    FreeLibrary(module_);
    module_ = nullptr;
}

}  // namespace vnx::ui
