// The control-panel applet "Vornix 3D": its application object, the applet
// object the control panel's messages reach, and the board settings it
// reads from and writes to the display driver through ESC_BOARDCONFIG.
#pragma once

#include <cstdint>
#include <string>

#include "boardconfig.h"
#include "platform/ui.h"

extern "C" VNX_EXPORT LONG CPlApplet(HWND hwndCPl, UINT msg, LPARAM lParam1, LPARAM lParam2);

namespace qrncp {

extern const char kAppletVersion[];      // "2.94"
extern const char kAppletName[];         // "Vornix 3D"
extern const char kVersionWarning[];     // format: driver version, applet version
extern const char kDriverMissing[];
extern const char kRestartQuestion[];

// The settings record as read and as edited, the two version texts, and
// whether a confirmed change needs a restart.
struct BoardSettings {
    BoardConfig current{};
    BoardConfig edited{};
    std::string driverVersion;
    std::string appletVersion;
    std::uint32_t restartNeeded = 0;

    // Takes the record the driver answered: the version texts, and the
    // record with an unknown texture mode or Z depth made the default one,
    // into both copies.
    void LoadFromDriver(const BoardConfig& record);
    // 1 when a field the pages edit differs between the copies, else 0;
    // sets restartNeeded when any of the differing fields needs a restart.
    int IsChanged();
    // Sends `edited` to the driver; the escape's answer.
    int WriteBack(HWND hwnd);
};

// ESC_BOARDCONFIG on a device context of hwnd (released again): the
// escape's answer; the driver's record in *out.
int ExchangeBoardConfig(HWND hwnd, const BoardConfig& in, BoardConfig* out);
// Reads the record: op BOARDCONFIG_READ, nothing else set.
int ReadBoardConfig(HWND hwnd, BoardConfig* out);

// The applet object: one virtual handler per control-panel message.
class CQRNResApplet {
public:
    CQRNResApplet();
    virtual ~CQRNResApplet();
    virtual LONG RunApplet(HWND hwndCPl);
    virtual LONG OnExit();
    virtual LONG OnGetCount();
    virtual LONG OnInit();
    virtual LONG OnNewInquire(NEWCPLINFO* info);
    virtual LONG OnSelect();
    virtual LONG OnStop();
};

struct FactoryDefaults {
    std::uint32_t textureMode = TEXMODE_PERFORMANCE;
    std::uint32_t alphaBuffer = 1;
    std::uint32_t stencilBuffer = 1;
    std::uint32_t offscreenBitmaps = 0;
    std::uint32_t zDepth = 16;
    std::uint32_t doubleBuffer = 1;
    std::uint32_t alphaProcessor = 0;
    std::uint32_t dualMonitor = 1;
    std::uint32_t mipmap = 1;
    std::uint32_t aaLines = 0;
    std::uint32_t syncSwap = 0;
    std::uint32_t modelImprecision = 0;
    std::uint32_t cadModeler = 0;
};

// The application object: lives from library load to unload.
class CQRNResApp : public vnx::ui::Application {
public:
    CQRNResApp();
    CQRNResApplet applet;
    std::uint32_t boardBitmap = 0;
    BoardSettings settings;
    const FactoryDefaults defaults{};
};

extern CQRNResApp theApp;
// The button chosen in the restart question; 0 until it is asked.
extern std::uint32_t restartAnswer;
// Enables the shutdown privilege and asks for a restart.
void RestartSystem();

// The applet's resource table.
const vnx::ui::Resources& AppletResources();

}  // namespace qrncp
