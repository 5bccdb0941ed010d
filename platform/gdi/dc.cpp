// Device contexts: made, looked up and deleted by the process that owns
// them, and deleted with it when it ends. A display device context draws on
// the display; a window's (GetDC) also names its window.
#include "dc.h"

#include <cctype>
#include <cstdint>
#include <map>
#include <mutex>

#include "../engine/clients.h"
#include "platform/faults.h"
#include "platform/process.h"
#include "platform/windows.h"

namespace vnx::gdi {
namespace {

struct DC {
    DWORD owner = 0;  // the logical process that made it
    HDEV hdev = nullptr;
    HWND hwnd = nullptr;
    INT iPixelFormat = 0;
    int exitCallback = 0;  // deletes it when the owner ends
    bool memory = false;   // a memory device context
    void* selected = nullptr;  // the bitmap selected into a memory device context
};

struct Table {
    std::mutex lock;
    std::map<std::uintptr_t, DC> dcs;
    std::uintptr_t nextHandle = 0x10004;
};

Table& table() {
    static Table* t = new Table;
    return *t;
}

// The calling process's device context, or null (lock held).
DC* find_locked(HDC hdc) {
    auto& t = table();
    auto it = t.dcs.find(reinterpret_cast<std::uintptr_t>(hdc));
    if (it == t.dcs.end() || it->second.owner != vnx::process::current()) return nullptr;
    return &it->second;
}

void drop_on_exit(std::uintptr_t h) {
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    t.dcs.erase(h);
}

// A new device context of `owner` on the display (for a window, or the
// display itself), deleted when the owner ends; null when the call's fault
// point fails or there is no display.
HDC make_dc(const char* pszFault, DWORD owner, HWND hwnd) {
    if (vnx::faults::should_fail(pszFault)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HDEV hdev = vnx::engine::display_device();
    if (hdev == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    const std::uintptr_t h = t.nextHandle;
    const int id = vnx::process::on_exit(owner, [h] { drop_on_exit(h); });
    if (id == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    t.nextHandle += 4;
    t.dcs[h] = DC{owner, hdev, hwnd, 0, id};
    return reinterpret_cast<HDC>(h);
}

bool is_display(LPCSTR psz) {
    static const char kDisplay[] = "display";
    if (psz == nullptr) return false;
    for (size_t i = 0; i < sizeof kDisplay; ++i) {
        if (std::tolower(static_cast<unsigned char>(psz[i])) != kDisplay[i]) return false;
    }
    return true;
}

}  // namespace

bool find_dc(HDC hdc, DCView* pdc) {
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    const DC* dc = find_locked(hdc);
    if (dc == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    pdc->hdev = dc->hdev;
    pdc->hwnd = dc->hwnd;
    pdc->selected = dc->selected;
    return true;
}

HDC make_memory_dc() {
    HDC hdc = make_dc("CreateCompatibleDC", vnx::process::current(), nullptr);
    if (hdc == nullptr) return nullptr;
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    find_locked(hdc)->memory = true;
    return hdc;
}

bool select_into(HDC hdc, void* object, void** previous) {
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    DC* dc = find_locked(hdc);
    if (dc == nullptr || !dc->memory) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    *previous = dc->selected;
    dc->selected = object;
    return true;
}

void set_dc_pixel_format(HDC hdc, INT iPixelFormat) {
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    if (DC* dc = find_locked(hdc)) dc->iPixelFormat = iPixelFormat;
}

size_t live_dcs() {
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    return t.dcs.size();
}

}  // namespace vnx::gdi

using namespace vnx::gdi;

extern "C" HDC CreateDCA(LPCSTR pszDriver, LPCSTR, LPCSTR, const DEVMODEA* pdm) {
    if (!is_display(pszDriver) || pdm != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return make_dc("CreateDCA", vnx::process::current(), nullptr);
}

extern "C" HDC GetDC(HWND hwnd) {
    const DWORD owner = vnx::process::current();
    if (hwnd == nullptr || vnx::windows::owner(hwnd) != owner) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return make_dc("GetDC", owner, hwnd);
}

extern "C" INT ReleaseDC(HWND hwnd, HDC hdc) {
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    DC* dc = find_locked(hdc);
    if (dc == nullptr || dc->hwnd == nullptr || dc->hwnd != hwnd) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    vnx::process::remove_exit_callback(dc->owner, dc->exitCallback);
    t.dcs.erase(reinterpret_cast<std::uintptr_t>(hdc));
    return 1;
}

extern "C" BOOL DeleteDC(HDC hdc) {
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    DC* dc = find_locked(hdc);
    if (dc == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    vnx::process::remove_exit_callback(dc->owner, dc->exitCallback);
    t.dcs.erase(reinterpret_cast<std::uintptr_t>(hdc));
    return TRUE;
}

extern "C" INT GetPixelFormat(HDC hdc) {
    auto& t = table();
    std::lock_guard<std::mutex> g(t.lock);
    const DC* dc = find_locked(hdc);
    if (dc == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return dc->iPixelFormat;
}
