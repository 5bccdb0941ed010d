// The applet's property sheet and its pages.
#pragma once

#include <string>

#include "opengl.h"
#include "qrncp.h"

namespace qrncp {

// A page of the applet: a dialog of the applet's resources that paints the
// board picture.
class BoardPage : public vnx::ui::PropertyPage {
public:
    explicit BoardPage(int dialogId);
    void OnPaint() override;
};

class CStatusPage : public BoardPage {
public:
    CStatusPage();
    void DoDataExchange(vnx::ui::DataExchange& dx) override;
    BOOL OnInitDialog() override;
    BOOL OnSetActive() override;

    std::string model = "N/A", memory = "N/A", cards = "N/A", refreshRate = "N/A",
                resolution = "N/A", pixelDepth = "N/A", zDepth = "N/A", driverVersion = "N/A";

private:
    void Fill();
};

class CMemoryPage : public BoardPage {
public:
    CMemoryPage();
    void DoDataExchange(vnx::ui::DataExchange& dx) override;
    BOOL OnInitDialog() override;
    BOOL OnKillActive() override;
    bool OnCommand(int id) override;

    int zBufferChoice = 0;
    int textureChoice = 0;
    int alphaBuffer = 0, offscreenBitmaps = 0, stencilBuffer = 0;
    std::string totalMemory, availableMemory, allocatedMemory;
    int doubleBuffer = 0;

private:
    void WriteEdited();
    void OnDefaults();
    void OnHelp();
};

class CAdvancedPage : public BoardPage {
public:
    CAdvancedPage();
    void DoDataExchange(vnx::ui::DataExchange& dx) override;
    BOOL OnInitDialog() override;
    BOOL OnKillActive() override;
    bool OnCommand(int id) override;

    int aaLines = 0, alphaProcessor = 0, dualMonitor = 0, mipmap = 0, syncSwap = 0,
        modelImprecision = 0, cadModeler = 0;
    int stereoModeIndex = 7;

private:
    void WriteEdited();
    void EnableStereoList(bool enable);
    void OnDefaults();
    void OnDualMonitor();
    void OnHelp();
};

class CStereoPage : public BoardPage {
public:
    CStereoPage();
    void DoDataExchange(vnx::ui::DataExchange& dx) override;
    BOOL OnInitDialog() override;
    bool OnCommand(int id) override;

    float stereoAdjust = 0, stereoOffset = 0, stereoTranslate = 0;
    int monoToStereo = 0;

private:
    void EnableTransform(bool enable);
    void OnSet();
    void OnMonoToStereo();
};

// The hidden window that holds the OpenGL test's rendering context.
class COpenGLTestWnd : public vnx::ui::Window {
public:
    ~COpenGLTestWnd() override;
    DWORD PreCreate(DWORD style) override;
    int OnCreate() override;
    void OnDestroy() override;

    int ready = 0;
    HGLRC hglrc = nullptr;
    HDC clientDC = nullptr;

private:
    bool SetupOpenGL();
};

class CSupportPage : public BoardPage {
public:
    CSupportPage();
    ~CSupportPage() override;
    BOOL OnInitDialog() override;
    void OnDestroy() override;
    bool OnCommand(int id) override;

    COpenGLTestWnd testWnd;

private:
    void OnTest();
};

class CBadPage : public BoardPage {
public:
    CBadPage();
    void DoDataExchange(vnx::ui::DataExchange& dx) override;

    std::string controlPanelVersion = "N/A", driverVersion = "N/A";
};

class CQRNResSheet : public vnx::ui::PropertySheet {
public:
    CQRNResSheet(HWND parent, int showAll);
    ~CQRNResSheet() override;
    int OnCreate() override;

    CBadPage badPage;
    CStatusPage statusPage;
    CMemoryPage memoryPage;
    CAdvancedPage advancedPage;
    CStereoPage stereoPage;
    CSupportPage supportPage;
};

// The stereo-mode list of the advanced page, by stereoMode.
extern const char* const kStereoModes[19];

}  // namespace qrncp
