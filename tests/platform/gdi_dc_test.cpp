// Device contexts of client processes and the calls that reach the display
// driver through them (ExtEscape and the pixel-format calls), with the fake
// driver recording what arrived, in which process and for whom.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine_fakedev.h"
#include "platform/engine.h"
#include "platform/gdi.h"
#include "platform/faults.h"
#include "platform/process.h"
#include "platform/windows.h"

namespace {

class GdiTest : public ref::FakeDeviceTest {
  protected:
    void SetUp() override {
        FakeDeviceTest::SetUp();
        dcs_ = vnx::gdi::live_dcs();
        app_ = vnx::process::create("app");
        other_ = vnx::process::create("other");
    }
    void TearDown() override {
        vnx::process::terminate(app_);
        vnx::process::terminate(other_);
        EXPECT_EQ(vnx::gdi::live_dcs(), dcs_) << "device contexts left behind";
        FakeDeviceTest::TearDown();
    }
    // A display device context of `pid`.
    HDC MakeDC(DWORD pid) {
        vnx::process::Scope as(pid);
        return CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    }

    size_t dcs_ = 0;
    DWORD app_ = 0;
    DWORD other_ = 0;
};

// A device context lives in the process that made it: another process's
// calls with its handle are refused and change nothing; ending the owner
// deletes it, as DeleteDC does.
TEST_F(GdiTest, DeviceContextsBelongToTheirProcess) {
    HDC hdc = MakeDC(app_);
    ASSERT_NE(hdc, nullptr);
    HDC hdc2 = MakeDC(app_);
    ASSERT_NE(hdc2, nullptr);
    EXPECT_NE(hdc, hdc2);
    EXPECT_EQ(vnx::gdi::live_dcs(), dcs_ + 2);
    {
        vnx::process::Scope as(other_);
        BYTE in[4] = {};
        EXPECT_EQ(ExtEscape(hdc, 5, sizeof in, reinterpret_cast<LPCSTR>(in), 0, nullptr), -1);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_EQ(DescribePixelFormat(hdc, 1, 0, nullptr), 0);
        EXPECT_FALSE(SetPixelFormat(hdc, 1, nullptr));
        EXPECT_FALSE(DeleteDC(hdc));
        EXPECT_TRUE(drv_->clientCalls.empty());
    }
    {
        vnx::process::Scope as(app_);
        EXPECT_TRUE(DeleteDC(hdc));
        EXPECT_FALSE(DeleteDC(hdc)) << "deleted once";
        EXPECT_EQ(ExtEscape(hdc, 5, 0, nullptr, 0, nullptr), -1);
        EXPECT_EQ(ExtEscape(reinterpret_cast<HDC>(0x1234), 5, 0, nullptr, 0, nullptr), -1);
    }
    EXPECT_EQ(vnx::gdi::live_dcs(), dcs_ + 1);
    EXPECT_TRUE(vnx::process::terminate(app_));
    EXPECT_EQ(vnx::gdi::live_dcs(), dcs_);
    EXPECT_TRUE(drv_->clientCalls.empty());
}

// Only the display is a device here; a failed allocation and a machine
// without an enabled display make no device context.
TEST_F(GdiTest, CreateDCAOpensTheDisplayOnly) {
    vnx::process::Scope as(app_);
    for (const char* name : {"WINSPOOL", "displayx", "", "disp"})
        EXPECT_EQ(CreateDCA(name, nullptr, nullptr, nullptr), nullptr) << name;
    EXPECT_EQ(CreateDCA(nullptr, nullptr, nullptr, nullptr), nullptr);
    vnx::faults::arm("CreateDCA");
    EXPECT_EQ(CreateDCA("display", nullptr, nullptr, nullptr), nullptr);
    HDC hdc = CreateDCA("Display", "\\\\.\\DISPLAY1", nullptr, nullptr);
    EXPECT_NE(hdc, nullptr);
    EXPECT_TRUE(DeleteDC(hdc));
    device_->disable_pdev();
    EXPECT_EQ(CreateDCA("display", nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(vnx::gdi::live_dcs(), dcs_);
}

// An escape reaches DrvEscape with a copy of the input, runs in the server
// process for the caller (EngGetProcessHandle names it and reaches its
// memory), and writes back exactly the output the caller gave.
TEST_F(GdiTest, ExtEscapeRunsInTheServerOnBehalfOfTheCaller) {
    HDC hdc = MakeDC(app_);
    ASSERT_NE(hdc, nullptr);
    BYTE* appMemory = nullptr;
    BYTE in[6] = {1, 2, 3, 4, 5, 6};
    BYTE out[8];
    std::memset(out, 0x11, sizeof out);
    drv_->escapeAnswer = 0xFFFFFFFEu;
    {
        vnx::process::Scope as(app_);
        appMemory = static_cast<BYTE*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
        ASSERT_NE(appMemory, nullptr);
        appMemory[0] = 0x77;
        EXPECT_EQ(ExtEscape(hdc, 0x1234, 5, reinterpret_cast<LPCSTR>(in), 6,
                            reinterpret_cast<LPSTR>(out)),
                  -2);
        EXPECT_EQ(vnx::process::current(), app_) << "the caller's process again afterwards";
        EXPECT_EQ(ExtEscape(hdc, 9, 0, nullptr, 0, nullptr), -2);
    }
    EXPECT_EQ(EngGetProcessHandle(), nullptr) << "outside a call";
    const BYTE expectOut[8] = {0xE0, 0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0x11, 0x11};
    EXPECT_EQ(0, std::memcmp(out, expectOut, sizeof out));

    ASSERT_EQ(drv_->clientCalls.size(), 2u);
    const FakeClientCall first = drv_->clientCalls[0];
    EXPECT_EQ(first.what, "DrvEscape");
    EXPECT_EQ(first.iEsc, 0x1234u);
    EXPECT_EQ(first.in, std::vector<BYTE>(in, in + 5));
    EXPECT_EQ(first.cjOut, 6u);
    EXPECT_EQ(first.pidRunning, vnx::process::server_id());
    EXPECT_EQ(first.pso, drv_->psoScreen);
    const FakeClientCall& second = drv_->clientCalls[1];
    EXPECT_TRUE(second.in.empty());
    EXPECT_FALSE(second.bOut) << "no buffer for no bytes";
    ASSERT_NE(first.hProcess, nullptr);
    EXPECT_EQ(second.hProcess, first.hProcess) << "one handle per process";

    // The handle is the server's and names the application.
    BYTE seen = 0;
    EXPECT_TRUE(ReadProcessMemory(first.hProcess, appMemory, &seen, 1, nullptr));
    EXPECT_EQ(seen, 0x77);
    {
        vnx::process::Scope as(app_);
        EXPECT_FALSE(ReadProcessMemory(first.hProcess, appMemory, &seen, 1, nullptr))
            << "not a handle of the application's own";
    }
    // Another process's call gets a handle naming that process.
    HDC hdcOther = MakeDC(other_);
    {
        vnx::process::Scope as(other_);
        EXPECT_EQ(ExtEscape(hdcOther, 9, 0, nullptr, 0, nullptr), -2);
    }
    const HANDLE hOther = drv_->clientCalls.back().hProcess;
    ASSERT_NE(hOther, nullptr);
    EXPECT_NE(hOther, first.hProcess);
    EXPECT_FALSE(ReadProcessMemory(hOther, appMemory, &seen, 1, nullptr));

    // The engine closes the handle when the application ends.
    EXPECT_TRUE(vnx::process::terminate(app_));
    EXPECT_FALSE(CloseHandle(first.hProcess));
}

// The header words of OPENGL_CMD that name engine objects are the engine's:
// whatever the client wrote, the driver sees 0 from a display device
// context. Other escapes and the client's own buffer are left as they are.
TEST_F(GdiTest, ExtEscapeWritesTheOpenGLCommandObjectWords) {
    HDC hdc = MakeDC(app_);
    std::uint32_t cmd[6] = {1, 3, 0xBADBAD01, 0xBADBAD02, 77, 99};
    vnx::process::Scope as(app_);
    EXPECT_EQ(ExtEscape(hdc, 4352, sizeof cmd, reinterpret_cast<LPCSTR>(cmd), 0, nullptr), 0);
    EXPECT_EQ(ExtEscape(hdc, 4353, sizeof cmd, reinterpret_cast<LPCSTR>(cmd), 0, nullptr), 0);
    EXPECT_EQ(ExtEscape(hdc, 4352, 12, reinterpret_cast<LPCSTR>(cmd), 0, nullptr), 0);
    ASSERT_EQ(drv_->clientCalls.size(), 3u);
    auto words = [](const std::vector<BYTE>& v) {
        std::vector<std::uint32_t> w(v.size() / 4);
        std::memcpy(w.data(), v.data(), w.size() * 4);
        return w;
    };
    EXPECT_EQ(words(drv_->clientCalls[0].in), (std::vector<std::uint32_t>{1, 3, 0, 0, 77, 99}));
    EXPECT_EQ(words(drv_->clientCalls[1].in),
              (std::vector<std::uint32_t>{1, 3, 0xBADBAD01, 0xBADBAD02, 77, 99}));
    EXPECT_EQ(words(drv_->clientCalls[2].in), (std::vector<std::uint32_t>{1, 3, 0xBADBAD01}))
        << "no whole header: left alone";
    EXPECT_EQ(cmd[2], 0xBADBAD01u) << "the caller's buffer is not written";
}

// Sizes that do not describe a buffer are refused before the driver.
TEST_F(GdiTest, ExtEscapeRefusesBadSizes) {
    HDC hdc = MakeDC(app_);
    vnx::process::Scope as(app_);
    BYTE buf[4] = {};
    LPCSTR pin = reinterpret_cast<LPCSTR>(buf);
    LPSTR pout = reinterpret_cast<LPSTR>(buf);
    EXPECT_EQ(ExtEscape(hdc, 1, -1, pin, 0, nullptr), -1);
    EXPECT_EQ(ExtEscape(hdc, 1, 0, nullptr, -4, pout), -1);
    EXPECT_EQ(ExtEscape(hdc, 1, 4, nullptr, 0, nullptr), -1);
    EXPECT_EQ(ExtEscape(hdc, 1, 0, nullptr, 4, nullptr), -1);
    EXPECT_TRUE(drv_->clientCalls.empty());
}

// ChoosePixelFormat among the display's formats: the required bits and
// the pixel type rule formats out; then double buffering and stereo as
// asked, enough colour bits (the nearest count), then depth, stencil, alpha
// and accumulation bits (none when none are asked for), then the lower
// number.
TEST_F(GdiTest, ChoosePixelFormatTakesTheBestMatch) {
    auto format = [](DWORD flags, BYTE type, BYTE colour, BYTE depth, BYTE stencil = 0, BYTE alpha = 0) {
        PIXELFORMATDESCRIPTOR p{};
        p.nSize = sizeof p;
        p.nVersion = 1;
        p.dwFlags = flags;
        p.iPixelType = type;
        p.cColorBits = colour;
        p.cDepthBits = depth;
        p.cStencilBits = stencil;
        p.cAlphaBits = alpha;
        return p;
    };
    constexpr DWORD kWin = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL, kDb = PFD_DOUBLEBUFFER;
    drv_->pixelFormats = {
        format(kWin, PFD_TYPE_RGBA, 16, 0),                      // 1
        format(kWin | kDb, PFD_TYPE_RGBA, 16, 16),               // 2
        format(kWin | kDb, PFD_TYPE_RGBA, 24, 16, 8),            // 3
        format(kWin, PFD_TYPE_RGBA, 24, 16),                     // 4
        format(kWin | kDb | PFD_STEREO, PFD_TYPE_RGBA, 24, 16),  // 5
        format(kWin, PFD_TYPE_COLORINDEX, 8, 16),                // 6
        format(PFD_DRAW_TO_WINDOW | PFD_SUPPORT_GDI, PFD_TYPE_RGBA, 24, 0),  // 7
        format(kWin | kDb, PFD_TYPE_RGBA, 24, 16, 0, 8),         // 8
    };
    struct Row {
        const char* what;
        PIXELFORMATDESCRIPTOR request;
        INT chosen;
    };
    const Row rows[] = {
        {"the applet's request: single-buffered, 24 colour, 16 depth", format(0x24, PFD_TYPE_RGBA, 24, 16), 4},
        {"double-buffered with depth", format(kWin | kDb, PFD_TYPE_RGBA, 24, 16), 8},
        {"double-buffered with stencil", format(kWin | kDb, PFD_TYPE_RGBA, 24, 16, 8), 3},
        {"double-buffered with alpha", format(kWin | kDb, PFD_TYPE_RGBA, 24, 16, 0, 8), 8},
        {"16 colour bits are enough", format(kWin | kDb, PFD_TYPE_RGBA, 16, 16), 2},
        {"more colour than any offers", format(kWin, PFD_TYPE_RGBA, 32, 0), 4},
        {"no depth asked: the format without", format(kWin, PFD_TYPE_RGBA, 16, 0), 1},
        {"stereo", format(kWin | kDb | PFD_STEREO, PFD_TYPE_RGBA, 24, 16), 5},
        {"double buffering either way", format(kWin | PFD_DOUBLEBUFFER_DONTCARE, PFD_TYPE_RGBA, 24, 16), 4},
        {"colour index", format(kWin, PFD_TYPE_COLORINDEX, 8, 0), 6},
        {"GDI drawing", format(PFD_DRAW_TO_WINDOW | PFD_SUPPORT_GDI, PFD_TYPE_RGBA, 24, 0), 7},
        {"to a bitmap: none draws there", format(PFD_DRAW_TO_BITMAP | PFD_SUPPORT_OPENGL, PFD_TYPE_RGBA, 24, 0), 0},
    };
    HDC hdc = MakeDC(app_);
    vnx::process::Scope as(app_);
    for (const Row& row : rows) EXPECT_EQ(ChoosePixelFormat(hdc, &row.request), row.chosen) << row.what;
    SetLastError(0);
    EXPECT_EQ(ChoosePixelFormat(hdc, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    drv_->pixelFormats.clear();
}

// The pixel-format calls reach the driver in the server for the caller;
// the device context keeps a format the driver accepted.
TEST_F(GdiTest, PixelFormatCallsReachTheDriver) {
    HDC hdc = MakeDC(app_);
    vnx::process::Scope as(app_);
    BYTE pfd[44];
    std::memset(pfd, 0x11, sizeof pfd);
    EXPECT_EQ(DescribePixelFormat(hdc, 3, 40, reinterpret_cast<PIXELFORMATDESCRIPTOR*>(pfd)), 7);
    EXPECT_EQ(pfd[0], 0xD0);
    EXPECT_EQ(pfd[39], 0xD0 + 39);
    EXPECT_EQ(pfd[40], 0x11);
    EXPECT_EQ(DescribePixelFormat(hdc, 1, 40, nullptr), 7);
    EXPECT_EQ(DescribePixelFormat(hdc, 2, 44, reinterpret_cast<PIXELFORMATDESCRIPTOR*>(pfd)), 7);
    EXPECT_EQ(pfd[40], 0x11) << "no more than the descriptor";

    EXPECT_EQ(GetPixelFormat(hdc), 0);
    EXPECT_TRUE(SetPixelFormat(hdc, 5, nullptr));
    EXPECT_EQ(GetPixelFormat(hdc), 5);
    drv_->setPixelFormatAnswer = FALSE;
    EXPECT_FALSE(SetPixelFormat(hdc, 6, nullptr));
    EXPECT_EQ(GetPixelFormat(hdc), 5);

    ASSERT_EQ(drv_->clientCalls.size(), 5u);
    EXPECT_EQ(drv_->clientCalls[0].what, "DrvDescribePixelFormat");
    EXPECT_EQ(drv_->clientCalls[0].iEsc, 3u);
    EXPECT_EQ(drv_->clientCalls[0].cjOut, 40u);
    EXPECT_EQ(drv_->clientCalls[1].cjOut, 0u) << "no descriptor: the count alone";
    EXPECT_FALSE(drv_->clientCalls[1].bOut);
    EXPECT_EQ(drv_->clientCalls[2].cjOut, 40u);
    EXPECT_EQ(drv_->clientCalls[3].what, "DrvSetPixelFormat");
    EXPECT_EQ(drv_->clientCalls[3].iEsc, 5u);
    EXPECT_EQ(drv_->clientCalls[3].hwnd, nullptr) << "a display device context has no window";
    EXPECT_EQ(drv_->clientCalls[3].pso, drv_->psoScreen);
    for (const FakeClientCall& c : drv_->clientCalls) {
        EXPECT_EQ(c.pidRunning, vnx::process::server_id());
        EXPECT_NE(c.hProcess, nullptr);
    }
}

// Escapes and setting a format need the display's surface: while it is
// disabled they answer 0; enabled again, they reach the new primary.
TEST_F(GdiTest, CallsFollowTheDisplaysSurface) {
    HDC hdc = MakeDC(app_);
    vnx::process::Scope as(app_);
    drv_->escapeAnswer = 3;
    EXPECT_EQ(ExtEscape(hdc, 1, 0, nullptr, 0, nullptr), 3);
    device_->disable_surface();
    EXPECT_EQ(ExtEscape(hdc, 1, 0, nullptr, 0, nullptr), 0);
    EXPECT_FALSE(SetPixelFormat(hdc, 1, nullptr));
    EXPECT_EQ(DescribePixelFormat(hdc, 1, 0, nullptr), 7) << "the device is still there";
    ASSERT_TRUE(device_->enable_surface());
    EXPECT_EQ(ExtEscape(hdc, 1, 0, nullptr, 0, nullptr), 3);
    ASSERT_EQ(drv_->clientCalls.size(), 3u);
    EXPECT_EQ(drv_->clientCalls.back().pso, drv_->psoScreen);
    device_->disable_pdev();
    EXPECT_EQ(ExtEscape(hdc, 1, 0, nullptr, 0, nullptr), -1) << "no device any more";
    EXPECT_EQ(DescribePixelFormat(hdc, 1, 0, nullptr), 0);
}

// Window device contexts: made for the calling process's own windows, the
// window they name reaching the driver (the pixel format's window, the
// OpenGL command's window and translation objects by handles good for the
// one call, the swap's window object with its clip), and what is left when
// the window or the process goes.
class WindowDCTest : public GdiTest {
  protected:
    void SetUp() override {
        GdiTest::SetUp();
        vnx::process::Scope as(app_);
        hwnd_ = vnx::windows::create(RECTL{10, 20, 110, 120});
        ASSERT_NE(hwnd_, nullptr);
    }
    void TearDown() override {
        GdiTest::TearDown();
        EXPECT_EQ(vnx::engine::live_window_objects(), 0u);
    }
    // OPENGL_CMD with the flag word fl and the client's own object words.
    INT OpenGLCmd(HDC hdc, std::uint32_t fl) {
        std::uint32_t cmd[6] = {1, fl, 0xBADBAD01, 0xBADBAD02, 0, 0};
        return ExtEscape(hdc, 4352, sizeof cmd, reinterpret_cast<LPCSTR>(cmd), 0, nullptr);
    }

    HWND hwnd_ = nullptr;
};

// Only the window's own process gets a device context for it; releasing
// needs the same window; the process's end releases what it holds.
TEST_F(WindowDCTest, WindowDeviceContextsBelongToTheWindowsProcess) {
    {
        vnx::process::Scope as(other_);
        EXPECT_EQ(GetDC(hwnd_), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
    vnx::process::Scope as(app_);
    EXPECT_EQ(GetDC(nullptr), nullptr);
    EXPECT_EQ(GetDC(reinterpret_cast<HWND>(0x1234)), nullptr);
    vnx::faults::arm("GetDC");
    EXPECT_EQ(GetDC(hwnd_), nullptr);
    HDC hdc = GetDC(hwnd_);
    ASSERT_NE(hdc, nullptr);
    HDC hdc2 = GetDC(hwnd_);
    ASSERT_NE(hdc2, nullptr);
    EXPECT_NE(hdc, hdc2);
    EXPECT_EQ(vnx::gdi::live_dcs(), dcs_ + 2);
    HWND hwnd2 = vnx::windows::create(RECTL{0, 0, 10, 10});
    EXPECT_EQ(ReleaseDC(hwnd2, hdc), 0) << "another window's";
    HDC hdcDisplay = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    EXPECT_EQ(ReleaseDC(nullptr, hdcDisplay), 0) << "a display device context is deleted";
    EXPECT_TRUE(DeleteDC(hdcDisplay));
    EXPECT_EQ(ReleaseDC(hwnd_, hdc), 1);
    EXPECT_EQ(ReleaseDC(hwnd_, hdc), 0);
    EXPECT_EQ(vnx::gdi::live_dcs(), dcs_ + 1);
}

// The pixel format reaches the driver with the window; the OpenGL command
// names the driver's window object and a translation object when its flags
// ask, by handles that resolve during the call only; a client's own words
// never get through.
TEST_F(WindowDCTest, OpenGLCommandNamesTheWindowObjectForTheCall) {
    vnx::process::Scope as(app_);
    HDC hdc = GetDC(hwnd_);
    ASSERT_NE(hdc, nullptr);
    EXPECT_EQ(OpenGLCmd(hdc, 3), 0);  // no window object yet
    ASSERT_TRUE(SetPixelFormat(hdc, 2, nullptr));
    EXPECT_EQ(drv_->clientCalls.back().hwnd, hwnd_);
    WNDOBJ* pwo = drv_->clientCalls.back().pwo;
    ASSERT_NE(pwo, nullptr);
    EXPECT_EQ(GetPixelFormat(hdc), 2);

    EXPECT_EQ(OpenGLCmd(hdc, 3), 0);
    EXPECT_EQ(OpenGLCmd(hdc, 1), 0);
    EXPECT_EQ(OpenGLCmd(hdc, 0), 0);
    HDC hdcDisplay = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    EXPECT_EQ(OpenGLCmd(hdcDisplay, 3), 0);
    ASSERT_EQ(drv_->clientCalls.size(), 6u);
    const FakeClientCall& none = drv_->clientCalls[0];
    EXPECT_EQ(none.hwo, 0u) << "a window without a window object";
    EXPECT_NE(none.hxo, 0u);
    const FakeClientCall& both = drv_->clientCalls[2];
    EXPECT_NE(both.hwo, 0u);
    EXPECT_NE(both.hwo, 0xBADBAD01u);
    EXPECT_EQ(both.pwo, pwo);
    ASSERT_NE(both.pxo, nullptr);
    EXPECT_TRUE(both.flXlate & XO_TRIVIAL);
    const FakeClientCall& window = drv_->clientCalls[3];
    EXPECT_EQ(window.pwo, pwo);
    EXPECT_NE(window.hwo, both.hwo) << "a handle a call";
    EXPECT_EQ(window.hxo, 0u);
    EXPECT_EQ(drv_->clientCalls[4].hwo, 0u) << "not asked for";
    EXPECT_EQ(drv_->clientCalls[4].hxo, 0u);
    const FakeClientCall& display = drv_->clientCalls[5];
    EXPECT_EQ(display.hwo, 0u) << "a display device context has no window";
    EXPECT_EQ(display.hxo, 0u);
    // Past its call a handle names nothing, and the translation object is gone.
    EXPECT_EQ(vnx::engine::call_window_object(both.hwo), nullptr);
    EXPECT_EQ(vnx::engine::call_xlate_object(both.hxo), nullptr);
    EXPECT_TRUE(DeleteDC(hdcDisplay));
    EXPECT_TRUE(ReleaseDC(hwnd_, hdc));
}

// SwapBuffers hands the driver the window object, whose clip enumerates the
// window's visible region; without a window object, or on a display device
// context, it fails before the driver.
TEST_F(WindowDCTest, SwapBuffersReachesTheDriverWithTheWindowsClip) {
    vnx::process::Scope as(app_);
    HDC hdc = GetDC(hwnd_);
    ASSERT_NE(hdc, nullptr);
    EXPECT_FALSE(SwapBuffers(hdc)) << "no pixel format, no window object";
    HDC hdcDisplay = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    EXPECT_FALSE(SwapBuffers(hdcDisplay));
    EXPECT_TRUE(DeleteDC(hdcDisplay));
    EXPECT_TRUE(drv_->clientCalls.empty());
    ASSERT_TRUE(SetPixelFormat(hdc, 1, nullptr));
    // A window above cuts a corner off.
    HWND hwndAbove = vnx::windows::create(RECTL{60, 70, 200, 200});
    ASSERT_NE(hwndAbove, nullptr);
    {
        vnx::process::Scope asOther(other_);
        EXPECT_FALSE(SwapBuffers(hdc)) << "another process's device context";
    }
    ASSERT_TRUE(SwapBuffers(hdc));
    const FakeClientCall& swap = drv_->clientCalls.back();
    EXPECT_EQ(swap.what, "DrvSwapBuffers");
    EXPECT_EQ(swap.pso, drv_->psoScreen);
    ASSERT_NE(swap.pwo, nullptr);
    EXPECT_EQ(swap.pwo->coClient.iDComplexity, DC_COMPLEX);
    ASSERT_EQ(swap.clip.size(), 2u);
    EXPECT_EQ(swap.clip[0].left, 10);
    EXPECT_EQ(swap.clip[0].top, 20);
    EXPECT_EQ(swap.clip[0].right, 110);
    EXPECT_EQ(swap.clip[0].bottom, 70);
    EXPECT_EQ(swap.clip[1].right, 60);
    EXPECT_EQ(swap.clip[1].bottom, 120);
    // The window goes: its device context stays until released, and finds
    // no window object.
    ASSERT_TRUE(vnx::windows::destroy(hwnd_));
    EXPECT_FALSE(SwapBuffers(hdc));
    EXPECT_EQ(OpenGLCmd(hdc, 1), 0);
    EXPECT_EQ(drv_->clientCalls.back().hwo, 0u);
    EXPECT_EQ(GetDC(hwnd_), nullptr);
    EXPECT_EQ(ReleaseDC(hwnd_, hdc), 1);
}

}  // namespace
