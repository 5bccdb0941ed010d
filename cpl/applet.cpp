// The applet's entry: CPlApplet and the applet object's handlers, the run of
// the property sheet with its reading, version check and write-back, and
// the restart that the user asked for, carried out when the control panel
// lets the applet go.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "qrncp.h"
#include "resource.h"
#include "sheet.h"
#include "text.h"

namespace qrncp {

const char kAppletVersion[] = "2.94";
const char kAppletName[] = "Vornix 3D";
const char kVersionWarning[] =
    "There is an incompatibility between the installed\nvideo driver version and this version of "
    "the\nVornix Control Panel applet.  Either re-install\nyour drivers or download new ones "
    "from:\n       http://www.trelwick.example/drivers/\n\nDriver version:\t%s\nApplet "
    "version:\t%s\n";
const char kDriverMissing[] = "There is an incompatibility with\nyour installed video driver!";
const char kRestartQuestion[] =
    "You must restart your computer before the new settings will take effect.\n\nDo you want to "
    "restart your computer now?";

namespace {

const char kAppletInfo[] = "Sets the display and 3D options of Vornix graphics boards";

// The applet object CPlApplet calls through; set by its constructor.
CQRNResApplet* gApplet = nullptr;

// The board picture of a board with this many rasterizers.
std::uint32_t BoardBitmap(std::uint32_t rasterizers) {
    switch (rasterizers) {
    case 1: return IDB_BOARD_SOLO;
    case 2: return IDB_BOARD_DUO;
    case 4: return IDB_BOARD_QUAD;
    default: return IDB_BOARD_NONE;
    }
}

}  // namespace

std::uint32_t restartAnswer = 0;
CQRNResApp theApp;

CQRNResApp::CQRNResApp() : vnx::ui::Application(&AppletResources()) {}

CQRNResApplet::CQRNResApplet() { gApplet = this; }

CQRNResApplet::~CQRNResApplet() {
    if (gApplet == this) gApplet = nullptr;
}

LONG CQRNResApplet::RunApplet(HWND hwndCPl) {
    BoardSettings& settings = theApp.settings;
    BoardConfig record{};
    int showAll = 0;
    if (ReadBoardConfig(hwndCPl, &record) > 0) {
        settings.LoadFromDriver(record);
        if (settings.driverVersion != settings.appletVersion) {
            MessageBoxA(hwndCPl,
                        Format(kVersionWarning, settings.driverVersion.c_str(),
                               settings.appletVersion.c_str())
                            .c_str(),
                        "Warning", MB_ICONEXCLAMATION | MB_OK);
        }
        showAll = 1;
        theApp.boardBitmap = BoardBitmap(record.rasterizers);
    } else {
        MessageBoxA(hwndCPl, kDriverMissing, "Warning", MB_ICONEXCLAMATION | MB_OK);
        theApp.boardBitmap = IDB_BOARD_NONE;
    }

    CQRNResSheet sheet(hwndCPl, showAll);
    // Without the driver's record there is nothing to write: the copies may
    // still hold an earlier run's edits.
    if (sheet.DoModal() == IDOK && showAll && settings.IsChanged() == 1) {
        const bool restart = settings.restartNeeded == 1;
        if (settings.WriteBack(hwndCPl) > 0 && restart) {
            restartAnswer = static_cast<std::uint32_t>(MessageBoxA(
                hwndCPl, kRestartQuestion, "System Settings Change", MB_ICONQUESTION | MB_YESNO));
        }
        // The question belongs to this change: answered (or not asked because
        // nothing was written), it does not come back with a later change
        // that needs no restart.
        settings.restartNeeded = 0;
    }
    return 0;
}

LONG CQRNResApplet::OnExit() {
    if (restartAnswer == IDYES) RestartSystem();
    return 0;
}

LONG CQRNResApplet::OnGetCount() { return 1; }
LONG CQRNResApplet::OnInit() { return 1; }
LONG CQRNResApplet::OnSelect() { return 1; }
LONG CQRNResApplet::OnStop() { return 1; }

LONG CQRNResApplet::OnNewInquire(NEWCPLINFO* info) {
    if (info == nullptr) return 0;
    *info = NEWCPLINFO{};
    info->dwSize = sizeof(NEWCPLINFO);
    info->hIcon = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(
        LoadIconA(theApp.instance(), MAKEINTRESOURCEA(IDI_APPLET))));
    std::snprintf(info->szName, sizeof info->szName, "%s", kAppletName);
    std::snprintf(info->szInfo, sizeof info->szInfo, "%s", kAppletInfo);
    return 0;
}

void RestartSystem() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token);
    TOKEN_PRIVILEGES privileges{};
    LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    InitiateSystemShutdownA(nullptr, nullptr, 0, FALSE, TRUE);
}

}  // namespace qrncp

using qrncp::gApplet;

extern "C" LONG CPlApplet(HWND hwndCPl, UINT msg, LPARAM, LPARAM lParam2) {
    if (gApplet == nullptr) return 0;
    switch (msg) {
    case CPL_INIT: return gApplet->OnInit();
    case CPL_GETCOUNT: return gApplet->OnGetCount();
    case CPL_INQUIRE: return 0;
    case CPL_SELECT: return gApplet->OnSelect();
    case CPL_DBLCLK:
        gApplet->RunApplet(hwndCPl);
        return 0;
    case CPL_STOP: return gApplet->OnStop();
    case CPL_EXIT: return gApplet->OnExit();
    case CPL_NEWINQUIRE: return gApplet->OnNewInquire(reinterpret_cast<NEWCPLINFO*>(lParam2));
    default: return 1;
    }
}
