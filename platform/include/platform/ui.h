// The user interface as a control-panel applet sees it, as a headless model:
// windows with child controls, dialog resources, property sheets and pages
// with dialog data exchange, message boxes, painting, and the control panel
// that loads an applet and sends it the applet messages.
//
// Nothing is drawn. Every window is a window of the window model
// (platform/windows.h), so GetDC works on it, and keeps what a person would
// see: its control id, kind, text, enabled and checked state, list entries
// and selection. A modal property sheet or a message box hands control to
// "the user": a function a test or front end installs, which reads the
// windows, changes controls, clicks, turns pages and ends the sheet with OK
// or Cancel. Message boxes, paints and the session calls (restart) are
// recorded for tests to read. The session calls never act on the machine.
//
// All windows of the model belong to the logical process that made them and
// are used from one thread at a time.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/ddi.h"
#include "platform/gdi.h"
#include "platform/export.h"
#include "platform/kernel.h"

typedef LONG_PTR LPARAM;
typedef ULONG_PTR WPARAM;
typedef LONG_PTR LRESULT;

typedef struct HICON__* HICON;
typedef struct HBITMAP__* HBITMAP;
typedef void* HGDIOBJ;

// A resource id in a name argument, as the original platform passes it.
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))

// Window messages the model sends.
#define WM_CREATE 0x0001u
#define WM_DESTROY 0x0002u
#define WM_PAINT 0x000Fu
#define WM_INITDIALOG 0x0110u
#define WM_COMMAND 0x0111u
#define BN_CLICKED 0u

// Window styles the applet names.
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_CLIPSIBLINGS 0x04000000u
#define WS_CLIPCHILDREN 0x02000000u

// Message boxes: buttons, icons and answers.
#define MB_OK 0x00000000u
#define MB_YESNO 0x00000004u
#define MB_ICONHAND 0x00000010u
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONINFORMATION 0x00000040u
#define MB_TYPEMASK 0x0000000Fu
#define MB_ICONMASK 0x000000F0u
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

// Property sheet header flag: no Apply button.
#define PSH_NOAPPLYNOW 0x00000080u

// Raster operation of BitBlt that copies the source.
#define SRCCOPY 0x00CC0020u

// The privilege and shutdown calls.
#define TOKEN_ADJUST_PRIVILEGES 0x0020u
#define TOKEN_QUERY 0x0008u
#define SE_PRIVILEGE_ENABLED 0x00000002u
#define SE_SHUTDOWN_NAME "SeShutdownPrivilege"

typedef struct LUID {
    DWORD LowPart;
    LONG HighPart;
} LUID;
typedef struct LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
} LUID_AND_ATTRIBUTES;
typedef struct TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[1];
} TOKEN_PRIVILEGES;

typedef struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECTL rcPaint;
} PAINTSTRUCT;

// --- the control panel's applet protocol -------------------------------------

#define CPL_INIT 1u
#define CPL_GETCOUNT 2u
#define CPL_INQUIRE 3u
#define CPL_SELECT 4u
#define CPL_DBLCLK 5u
#define CPL_STOP 6u
#define CPL_EXIT 7u
#define CPL_NEWINQUIRE 8u

// What an applet answers to CPL_NEWINQUIRE. The icon is a 32-bit handle of
// the model's icon table and lData a 32-bit word, so the record keeps its
// 244 bytes.
typedef struct NEWCPLINFO {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwHelpContext;
    DWORD lData;
    DWORD hIcon;
    CHAR szName[32];
    CHAR szInfo[64];
    CHAR szHelpFile[128];
} NEWCPLINFO;
static_assert(sizeof(NEWCPLINFO) == 244, "NEWCPLINFO is 244 bytes");
static_assert(offsetof(NEWCPLINFO, hIcon) == 16 && offsetof(NEWCPLINFO, szName) == 20 &&
              offsetof(NEWCPLINFO, szInfo) == 52 && offsetof(NEWCPLINFO, szHelpFile) == 116);

typedef LONG (*APPLET_PROC)(HWND hwndCPl, UINT msg, LPARAM lParam1, LPARAM lParam2);

extern "C" {

// --- windows and controls ----------------------------------------------------

// FALSE when the window was enabled before (nonzero when it was disabled),
// as the original platform answers.
VNX_PLATFORM_API BOOL EnableWindow(HWND hWnd, BOOL bEnable);
VNX_PLATFORM_API BOOL IsWindowEnabled(HWND hWnd);
VNX_PLATFORM_API HWND GetDlgItem(HWND hDlg, INT nIDDlgItem);
VNX_PLATFORM_API BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString);
VNX_PLATFORM_API LRESULT SendMessageA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
VNX_PLATFORM_API BOOL DestroyWindow(HWND hWnd);

// --- message boxes -----------------------------------------------------------

// Recorded, then answered by the installed message-box user (vnx::ui);
// without one, the first button (IDOK, or IDYES). 0 for a bad owner.
VNX_PLATFORM_API INT MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);

// --- resources and painting --------------------------------------------------

// Icon and bitmap resources of a module's resource table (vnx::ui::Resources).
VNX_PLATFORM_API HICON LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName);
VNX_PLATFORM_API HBITMAP LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName);
VNX_PLATFORM_API BOOL DeleteObject(HGDIOBJ ho);
VNX_PLATFORM_API HDC BeginPaint(HWND hWnd, PAINTSTRUCT* lpPaint);
VNX_PLATFORM_API BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint);
// A memory device context of the calling process on the display (hdc is
// not read); DeleteDC deletes it. SelectObject puts a bitmap into it and
// answers the one it held.
VNX_PLATFORM_API HDC CreateCompatibleDC(HDC hdc);
VNX_PLATFORM_API HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);
// Copies the bitmap selected into the source memory device context to the
// destination window's device context: recorded as a paint of that
// bitmap (vnx::ui::paints).
VNX_PLATFORM_API BOOL BitBlt(HDC hdcDest, INT x, INT y, INT cx, INT cy, HDC hdcSrc, INT x1,
                             INT y1, DWORD rop);

// --- the session ---------------------------------------------------------------

// The platform's version word: major version in the low byte, minor in the
// next (vnx::ui::set_version).
VNX_PLATFORM_API DWORD GetVersion(void);
// Recorded only (vnx::ui::session_calls). Each answers success.
VNX_PLATFORM_API BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess,
                                       HANDLE* TokenHandle);
VNX_PLATFORM_API BOOL LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, LUID* lpLuid);
VNX_PLATFORM_API BOOL AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                                            TOKEN_PRIVILEGES* NewState, DWORD BufferLength,
                                            TOKEN_PRIVILEGES* PreviousState, DWORD* ReturnLength);
// Never shuts anything down: the request is only recorded.
VNX_PLATFORM_API BOOL InitiateSystemShutdownA(LPSTR lpMachineName, LPSTR lpMessage,
                                              DWORD dwTimeout, BOOL bForceAppsClosed,
                                              BOOL bRebootAfterShutdown);

}  // extern "C"

namespace vnx::ui {

// --- resources -----------------------------------------------------------------

enum class Kind {
    Window,   // a plain window (sheets, pages, windows an applet makes)
    Label,    // static text
    Value,    // static text the program fills
    Frame,    // picture frame
    Group,    // group box
    Button,
    Check,
    Radio,    // first of a group: group = true
    Edit,
    DropList,
    Bitmap,   // static picture of a bitmap resource (text: its id)
};

struct ControlTemplate {
    int id = 0;  // -1 for a control that is never addressed
    Kind kind = Kind::Label;
    std::string text;
    bool disabled = false;
    bool group = false;  // starts a radio group
};

struct DialogTemplate {
    int id = 0;
    std::string title;
    std::string font;
    int pointSize = 8;
    int cx = 0, cy = 0;  // dialog units
    std::vector<ControlTemplate> controls;
    // The dialog's initialisation data: the entries of a drop-down list.
    std::map<int, std::vector<std::string>> listData;
};

struct BitmapResource {
    int id = 0;
    int cx = 0, cy = 0;
    std::string name;  // what the picture shows
};

// A module's resource table, handed to the model by its application object.
struct Resources {
    std::map<int, std::string> strings;
    std::vector<DialogTemplate> dialogs;
    std::vector<int> icons;
    std::vector<BitmapResource> bitmaps;

    const DialogTemplate* dialog(int id) const;
    const BitmapResource* bitmap(int id) const;
};

// --- what a person sees ----------------------------------------------------------

struct WindowInfo {
    HWND hwnd = nullptr;
    HWND parent = nullptr;
    int id = 0;
    Kind kind = Kind::Window;
    DWORD style = 0;
    std::string text;
    bool enabled = true;
    int checked = 0;                  // check boxes and radio buttons
    std::vector<std::string> items;   // drop-down lists
    int selection = -1;               // drop-down lists
};

VNX_PLATFORM_API bool info(HWND hwnd, WindowInfo* pinfo);
// Child windows in creation order.
VNX_PLATFORM_API std::vector<HWND> children(HWND hwnd);
VNX_PLATFORM_API size_t live_windows();

// --- the class library --------------------------------------------------------------

class Window;

// One row of a window's command map: a control id and the member that
// handles its BN_CLICKED.
template <typename T>
struct Command {
    int id;
    void (T::*handler)();
};

class VNX_PLATFORM_API Window {
public:
    Window();
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // A child window (or a top-level one when parent is null) with this
    // style, name, rectangle (relative to the parent) and id; sends
    // WM_CREATE, and answers false (the window gone again) when OnCreate
    // answers -1 or the window cannot be made ("CreateWindow" fault point).
    bool Create(DWORD style, const char* name, const RECTL& rc, Window* parent, int id);
    void Destroy();
    HWND hwnd() const { return hwnd_; }
    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }

    // Handlers of the messages the model sends. OnCreate answers 0 to go
    // on, -1 to refuse; the base answers 0.
    virtual int OnCreate();
    virtual void OnDestroy();
    virtual void OnPaint();
    // BN_CLICKED of a child control: the base answers false (not handled).
    virtual bool OnCommand(int id);
    // WM_INITDIALOG, once a dialog's controls are made; the base answers TRUE.
    virtual BOOL OnInitDialog() { return TRUE; }
    // Style adjustment before the window is made.
    virtual DWORD PreCreate(DWORD style) { return style; }

    // Runs the command map's row for id; false when there is none.
    template <typename T, size_t N>
    bool Dispatch(const Command<T> (&map)[N], int id) {
        for (const Command<T>& row : map) {
            if (row.id == id) {
                (static_cast<T*>(this)->*row.handler)();
                return true;
            }
        }
        return false;
    }

    // The model's entry: one message to this object's window.
    LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);

protected:
    HWND hwnd_ = nullptr;

private:
    friend struct WindowAccess;
};

class PropertyPage;

// Dialog data exchange: moves values between a page's members and its
// controls; save = true reads the controls.
class VNX_PLATFORM_API DataExchange {
public:
    DataExchange(HWND hDlg, bool save) : hDlg_(hDlg), save_(save) {}
    bool saving() const { return save_; }
    // False after a value could not be read (a number the field does not hold).
    bool ok() const { return ok_; }
    void Text(int id, std::string& value);
    void Text(int id, int& value);
    void Text(int id, float& value);
    void Check(int id, int& value);
    // Index of the checked button in the group that starts at id; -1 none.
    void Radio(int id, int& value);
    void ListIndex(int id, int& value);

private:
    HWND control(int id);
    HWND hDlg_;
    bool save_;
    bool ok_ = true;
};

// A page of a property sheet, built from a dialog resource when it is first
// shown.
class VNX_PLATFORM_API PropertyPage : public Window {
public:
    PropertyPage(HINSTANCE resources, int dialogId);
    ~PropertyPage() override;

    int dialog_id() const { return dialogId_; }
    std::string title() const;
    // Moves values: false reads nothing into members (save) or fails.
    bool UpdateData(bool save);

    virtual void DoDataExchange(DataExchange&) {}
    // The base shows the members (UpdateData(false)).
    BOOL OnInitDialog() override;
    // The base shows the members again.
    virtual BOOL OnSetActive();
    // The base takes the controls' values (UpdateData(true)).
    virtual BOOL OnKillActive();

    // The sheet's side: makes the dialog's window (and runs OnInitDialog)
    // under parent.
    bool CreatePage(Window* parent);

protected:
    HINSTANCE resources_;
    int dialogId_;
};

// A property sheet run modally; the user (set_sheet_user) works it.
class VNX_PLATFORM_API PropertySheet : public Window {
public:
    PropertySheet(HINSTANCE resources, int captionId, HWND parent);
    ~PropertySheet() override;

    void AddPage(PropertyPage* page);
    // IDOK or IDCANCEL; -1 when the sheet's window could not be made.
    INT DoModal();

    DWORD flags = 0;  // PSH_...
    std::string caption() const { return caption_; }
    HWND parent() const { return parent_; }

    // What the user does while the sheet runs.
    size_t page_count() const { return pages_.size(); }
    PropertyPage* page(size_t i) const { return pages_[i]; }
    size_t active() const { return active_; }
    // Leaves the active page (its kill-active must agree) and shows page i.
    bool Select(size_t i);
    // OK: the active page's kill-active, then the sheet ends with IDOK.
    bool PressOk();
    void PressCancel();
    bool ended() const { return result_ != 0; }

private:
    HINSTANCE resources_;
    std::string caption_;
    HWND parent_;
    std::vector<PropertyPage*> pages_;
    size_t active_ = 0;
    INT result_ = 0;
};

// The application object of a module: registers the module's resources for
// the module's life and answers the handle its resources are reached by.
class VNX_PLATFORM_API Application {
public:
    explicit Application(const Resources* resources);
    virtual ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;
    HINSTANCE instance() const { return instance_; }

private:
    HINSTANCE instance_;
};

VNX_PLATFORM_API const Resources* resources(HINSTANCE instance);

// --- what the user does --------------------------------------------------------------

// Works a sheet that runs modally. Returning without ending it cancels it.
using SheetUser = std::function<void(PropertySheet&)>;
VNX_PLATFORM_API void set_sheet_user(SheetUser user);

// Acting on a control of a window as a person would: clicking a check box
// toggles it, a radio button checks it (and clears the others of its
// group), then BN_CLICKED goes to the window; typing replaces a field's
// text; choosing sets a list's selection. False for a disabled or missing
// control.
VNX_PLATFORM_API bool click(HWND dialog, int id);
VNX_PLATFORM_API bool type(HWND dialog, int id, const std::string& text);
VNX_PLATFORM_API bool choose(HWND dialog, int id, int index);
// Sends WM_PAINT to the window's object.
VNX_PLATFORM_API void paint(HWND hwnd);

struct MessageBoxRecord {
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    UINT type = 0;  // MB_... buttons and icon
    INT answer = 0;
};
using MessageBoxUser = std::function<INT(const MessageBoxRecord&)>;
VNX_PLATFORM_API void set_message_box_user(MessageBoxUser user);
// Every message box since the last take, in order, and empties the list.
VNX_PLATFORM_API std::vector<MessageBoxRecord> take_message_boxes();

struct PaintRecord {
    HWND hwnd = nullptr;  // the window painted into
    int bitmap = 0;       // resource id of the bitmap copied
    int x = 0, y = 0, cx = 0, cy = 0;
    DWORD rop = 0;
};
VNX_PLATFORM_API std::vector<PaintRecord> take_paints();

// --- the session -------------------------------------------------------------------

VNX_PLATFORM_API void set_version(DWORD version);
// Each privilege or shutdown call, as "name(arguments)" text, and empties the list.
VNX_PLATFORM_API std::vector<std::string> take_session_calls();
// Bitmaps, memory device contexts and paints not yet ended, for leak checks.
VNX_PLATFORM_API size_t live_bitmaps();

// --- the control panel -----------------------------------------------------------

// The control panel: its window in the calling process, and one applet
// library loaded by file name ("qrncp" is qrncp.so beside the platform
// library) whose CPlApplet it calls.
class VNX_PLATFORM_API ControlPanel {
public:
    ControlPanel();
    ~ControlPanel();  // unloads the applet (CPL_STOP, CPL_EXIT) when loaded
    ControlPanel(const ControlPanel&) = delete;
    ControlPanel& operator=(const ControlPanel&) = delete;

    // Loads the library and sends CPL_INIT; false when it does not load,
    // has no CPlApplet, or CPL_INIT answers 0 (then it is unloaded again).
    bool Load(const char* file);
    bool loaded() const { return proc_ != nullptr; }
    HWND hwnd() const { return hwnd_; }
    // One message to the applet (0 when none is loaded).
    LONG Send(UINT msg, LPARAM lParam1 = 0, LPARAM lParam2 = 0);
    // CPL_GETCOUNT.
    LONG Count();
    // CPL_NEWINQUIRE for applet i.
    bool Inquire(int i, NEWCPLINFO* info);
    // CPL_DBLCLK for applet i with its lData.
    LONG Open(int i);
    // CPL_STOP for every applet, CPL_EXIT, then frees the library.
    void Unload();

private:
    HWND hwnd_ = nullptr;
    HMODULE module_ = nullptr;
    APPLET_PROC proc_ = nullptr;
};

}  // namespace vnx::ui
