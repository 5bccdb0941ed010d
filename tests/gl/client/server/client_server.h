// The fixture of the client driver's tests against the GL server built into
// their program: the display driver on the default machine, the server
// started on its device the way the driver starts the library it loads, and
// an application whose window has pixel format 1 and a context made current
// through the client driver on the test's thread, which acts for the
// application throughout. The lgi layer's primitive entries record what
// reaches them (prim_record.h).
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "clt.h"
#include "display_boot.h"
#include "glhookslots.h"
#include "glcltexports.h"
#include "glicd.h"
#include "glpdev.h"
#include "glsrv.h"
#include "platform/debug.h"
#include "platform/engine.h"
#include "platform/faults.h"
#include "platform/gdi.h"
#include "platform/process.h"
#include "platform/windows.h"
#include "prim_record.h"


namespace clt_srv {

inline const GLDispatchTable& Gl() { return gGLCltProcTable.glDispatchTable; }

class ClientServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(BootDisplay(&device_));
        saved_ = *Hooks();
        ASSERT_TRUE(InitGLSrvDll(nullptr, GLSRV_PROCESS_ATTACH, nullptr));
        ASSERT_EQ(DrvEnableEscape(0x10002, ppdev()), 1u);
        started_ = true;
        app_ = vnx::process::create("app");
        as_ = std::make_unique<vnx::process::Scope>(app_);
        HWND hwnd = vnx::windows::create({0, 0, 64, 64});
        ASSERT_NE(hwnd, nullptr);
        hdc_ = GetDC(hwnd);
        ASSERT_NE(hdc_, nullptr);
        ASSERT_GT(DescribePixelFormat(hdc_, 1, 0, nullptr), 0);
        ASSERT_TRUE(SetPixelFormat(hdc_, 1, nullptr));
        ASSERT_TRUE(GLCltDllInitialize(nullptr, DLL_PROCESS_ATTACH, nullptr));
        attached_ = true;
        prim_record::Clear();
        prim_record::gbRecording = true;
    }
    void TearDown() override {
        prim_record::gbRecording = false;
        prim_record::Clear();
        if (h_ != 0) DrvDeleteContext(h_);
        if (attached_) GLCltDllInitialize(nullptr, DLL_PROCESS_DETACH, nullptr);
        as_.reset();
        SetEnvironmentVariableA("NOGLSHAREDMEMORY", nullptr);
        SetEnvironmentVariableA("NOGLPRIMITIVE", nullptr);
        if (started_ && Hooks()->pfnGLServerUnload != nullptr) {
            Hooks()->pfnGLServerUnload(ppdev());
            *Hooks() = saved_;
        }
        if (app_ != 0) vnx::process::terminate(app_);
        device_.reset();
        vnx::debug::clear();
        vnx::faults::clear();
    }

    // A context made current on the window: its record.
    ClientContext* MakeCurrent() {
        h_ = DrvCreateContext(hdc_);
        EXPECT_NE(h_, 0u);
        if (h_ == 0 || DrvSetContext(hdc_, h_, nullptr) == nullptr) return nullptr;
        return reinterpret_cast<ClientContext*>(h_);
    }

    PDEV* ppdev() { return reinterpret_cast<PDEV*>(device_->dhpdev()); }
    GLHOOKSLOTS* Hooks() { return pGLHookSlots(ppdev()); }

    std::unique_ptr<vnx::engine::Device> device_;
    GLHOOKSLOTS saved_{};
    bool started_ = false, attached_ = false;
    DWORD app_ = 0;
    std::unique_ptr<vnx::process::Scope> as_;
    HDC hdc_ = nullptr;
    DHGLRC h_ = 0;
};

}  // namespace clt_srv
