// Message boxes, icons and bitmaps, painting, the version word and the
// privilege and shutdown calls: recorded for tests and front ends to read,
// answered as the original platform answers. The shutdown request is only
// recorded; nothing here ever stops or restarts the machine.
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <utility>

#include "../gdi/dc.h"
#include "model.h"

namespace vnx::ui {
namespace {

struct Session {
    std::mutex lock;
    MessageBoxUser messageBoxUser;
    std::vector<MessageBoxRecord> messageBoxes;
    std::vector<PaintRecord> paints;
    std::vector<std::string> calls;
    std::map<std::uintptr_t, int> bitmaps;  // handle -> resource id
    std::map<std::uintptr_t, int> icons;    // handle -> resource id
    std::uintptr_t nextHandle = 0x50000;
    DWORD version = 4;  // major version 4
};

Session& session() {
    static Session* s = new Session;
    return *s;
}

// A resource id passed in a name argument; -1 for a real name.
int resource_id(LPCSTR name) {
    const auto v = reinterpret_cast<std::uintptr_t>(name);
    return v != 0 && v < 0x10000 ? static_cast<int>(v) : -1;
}

void record_call(const std::string& text) {
    auto& s = session();
    std::lock_guard<std::mutex> g(s.lock);
    s.calls.push_back(text);
}

}  // namespace

void set_message_box_user(MessageBoxUser user) {
    auto& s = session();
    std::lock_guard<std::mutex> g(s.lock);
    s.messageBoxUser = std::move(user);
}

std::vector<MessageBoxRecord> take_message_boxes() {
    auto& s = session();
    std::lock_guard<std::mutex> g(s.lock);
    return std::exchange(s.messageBoxes, {});
}

std::vector<PaintRecord> take_paints() {
    auto& s = session();
    std::lock_guard<std::mutex> g(s.lock);
    return std::exchange(s.paints, {});
}

void set_version(DWORD version) {
    auto& s = session();
    std::lock_guard<std::mutex> g(s.lock);
    s.version = version;
}

std::vector<std::string> take_session_calls() {
    auto& s = session();
    std::lock_guard<std::mutex> g(s.lock);
    return std::exchange(s.calls, {});
}

size_t live_bitmaps() {
    auto& s = session();
    std::lock_guard<std::mutex> g(s.lock);
    return s.bitmaps.size();
}

}  // namespace vnx::ui

using namespace vnx::ui;

extern "C" INT MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    WindowInfo owner;
    if (hWnd != nullptr && !info(hWnd, &owner)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    MessageBoxRecord r;
    r.owner = hWnd;
    r.text = lpText != nullptr ? lpText : "";
    r.caption = lpCaption != nullptr ? lpCaption : "Error";
    r.type = uType;
    MessageBoxUser user;
    {
        auto& s = session();
        std::lock_guard<std::mutex> g(s.lock);
        user = s.messageBoxUser;
    }
    const UINT buttons = uType & MB_TYPEMASK;
    r.answer = user ? user(r) : (buttons == MB_YESNO ? IDYES : IDOK);
    // Only the box's own buttons can be answered.
    if (buttons == MB_YESNO && r.answer != IDYES) r.answer = IDNO;
    if (buttons == MB_OK) r.answer = IDOK;
    auto& s = session();
    std::lock_guard<std::mutex> g(s.lock);
    s.messageBoxes.push_back(r);
    return r.answer;
}

extern "C" HICON LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
    const Resources* res = resources(hInstance);
    const int id = resource_id(lpIconName);
    bool found = false;
    if (res != nullptr)
        for (int icon : res->icons) found |= icon == id;
    if (!found) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    auto& s = session();
    std::lock_guard<std::mutex> g(s.lock);
    // One handle per icon, as shared icons are on the original platform.
    for (const auto& [h, icon] : s.icons)
        if (icon == id) return reinterpret_cast<HICON>(h);
    const std::uintptr_t h = s.nextHandle;
    s.nextHandle += 4;
    s.icons[h] = id;
    return reinterpret_cast<HICON>(h);
}

extern "C" HBITMAP LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName) {
    const Resources* res = resources(hInstance);
    const int id = resource_id(lpBitmapName);
    if (res == nullptr || res->bitmap(id) == nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    auto& s = session();
    std::lock_guard<std::mutex> g(s.lock);
    const std::uintptr_t h = s.nextHandle;
    s.nextHandle += 4;
    s.bitmaps[h] = id;
    return reinterpret_cast<HBITMAP>(h);
}

extern "C" BOOL DeleteObject(HGDIOBJ ho) {
    auto& s = session();
    std::lock_guard<std::mutex> g(s.lock);
    return s.bitmaps.erase(reinterpret_cast<std::uintptr_t>(ho)) != 0;
}

extern "C" HDC BeginPaint(HWND hWnd, PAINTSTRUCT* lpPaint) {
    if (lpPaint == nullptr) return nullptr;
    *lpPaint = PAINTSTRUCT{};
    lpPaint->hdc = GetDC(hWnd);
    return lpPaint->hdc;
}

extern "C" BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) {
    return lpPaint != nullptr && ReleaseDC(hWnd, lpPaint->hdc) == 1;
}

extern "C" HDC CreateCompatibleDC(HDC) { return vnx::gdi::make_memory_dc(); }

extern "C" HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
    void* previous = nullptr;
    return vnx::gdi::select_into(hdc, h, &previous) ? previous : nullptr;
}

extern "C" BOOL BitBlt(HDC hdcDest, INT x, INT y, INT cx, INT cy, HDC hdcSrc, INT, INT,
                       DWORD rop) {
    vnx::gdi::DCView dest, src;
    if (!vnx::gdi::find_dc(hdcDest, &dest) || !vnx::gdi::find_dc(hdcSrc, &src)) return FALSE;
    auto& s = session();
    std::lock_guard<std::mutex> g(s.lock);
    auto it = s.bitmaps.find(reinterpret_cast<std::uintptr_t>(src.selected));
    if (dest.hwnd == nullptr || it == s.bitmaps.end()) return FALSE;
    s.paints.push_back(PaintRecord{dest.hwnd, it->second, x, y, cx, cy, rop});
    return TRUE;
}

extern "C" DWORD GetVersion(void) {
    auto& s = session();
    std::lock_guard<std::mutex> g(s.lock);
    return s.version;
}

extern "C" BOOL OpenProcessToken(HANDLE, DWORD DesiredAccess, HANDLE* TokenHandle) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "OpenProcessToken(0x%x)", static_cast<unsigned>(DesiredAccess));
    record_call(buf);
    if (TokenHandle != nullptr) *TokenHandle = reinterpret_cast<HANDLE>(std::uintptr_t{0x7000});
    return TRUE;
}

extern "C" BOOL LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, LUID* lpLuid) {
    record_call(std::string("LookupPrivilegeValueA(") + (lpSystemName ? lpSystemName : "local") +
                ", " + (lpName ? lpName : "") + ")");
    if (lpLuid != nullptr) *lpLuid = LUID{19, 0};
    return TRUE;
}

extern "C" BOOL AdjustTokenPrivileges(HANDLE, BOOL DisableAllPrivileges, TOKEN_PRIVILEGES* NewState,
                                      DWORD, TOKEN_PRIVILEGES*, DWORD*) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "AdjustTokenPrivileges(disable %d, count %u, attributes 0x%x)",
                  DisableAllPrivileges, NewState ? static_cast<unsigned>(NewState->PrivilegeCount) : 0u,
                  NewState ? static_cast<unsigned>(NewState->Privileges[0].Attributes) : 0u);
    record_call(buf);
    return TRUE;
}

extern "C" BOOL InitiateSystemShutdownA(LPSTR lpMachineName, LPSTR lpMessage, DWORD dwTimeout,
                                        BOOL bForceAppsClosed, BOOL bRebootAfterShutdown) {
    char buf[160];
    std::snprintf(buf, sizeof buf,
                  "InitiateSystemShutdownA(%s, %s, timeout %u, force %d, reboot %d)",
                  lpMachineName ? lpMachineName : "local", lpMessage ? lpMessage : "no message",
                  static_cast<unsigned>(dwTimeout), bForceAppsClosed, bRebootAfterShutdown);
    record_call(buf);
    return TRUE;
}
