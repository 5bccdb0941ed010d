// Window device contexts: made for the calling process's own windows, the
// window they name reaching the driver (the pixel format's window, the
// OpenGL command's window and translation objects by handles good for the
// one call, the swap's window object with its clip), and what is left when
// the window or the process goes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine_fakedev.h"
#include "platform/engine.h"
#include "platform/faults.h"
#include "platform/gdi.h"
#include "platform/process.h"
#include "platform/windows.h"

namespace {

class WindowDCTest : public ref::FakeDeviceTest {
  protected:
    void SetUp() override {
        FakeDeviceTest::SetUp();
        dcs_ = vnx::gdi::live_dcs();
        app_ = vnx::process::create("app");
        other_ = vnx::process::create("other");
        vnx::process::Scope as(app_);
        hwnd_ = vnx::windows::create(RECTL{10, 20, 110, 120});
        ASSERT_NE(hwnd_, nullptr);
    }
    void TearDown() override {
        vnx::process::terminate(app_);
        vnx::process::terminate(other_);
        EXPECT_EQ(vnx::gdi::live_dcs(), dcs_) << "device contexts left behind";
        EXPECT_EQ(vnx::engine::live_window_objects(), 0u);
        FakeDeviceTest::TearDown();
    }
    // OPENGL_CMD with the flag word fl and the client's own object words.
    INT OpenGLCmd(HDC hdc, std::uint32_t fl) {
        std::uint32_t cmd[6] = {1, fl, 0xBADBAD01, 0xBADBAD02, 0, 0};
        return ExtEscape(hdc, 4352, sizeof cmd, reinterpret_cast<LPCSTR>(cmd), 0, nullptr);
    }

    size_t dcs_ = 0;
    DWORD app_ = 0, other_ = 0;
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
