// The fixtures of the client driver's request tests: a display driver that
// records every escape and answers nothing but success, so that a request
// or a command stays in the half where the client wrote it; with or without
// a context made current on the application's thread.
#pragma once

#include "client_fixture.h"
#include "gl/glx/glx_encoder.h"
#include "platform/fakedrv/fakedrv.h"

namespace glclt_test {

// The machine with the recording display driver, the application's
// process with a window in pixel format 1, and the client driver attached.
class FakeMachineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        hmod_ = LoadLibraryA("vnxfakedrv.dll");
        ASSERT_NE(hmod_, nullptr);
        drv_ = reinterpret_cast<PFN_FakeDrvState>(GetProcAddress(hmod_, "FakeDrvState"))();
        *drv_ = FakeDrv{};
        drv_->escapeAnswer = 1;
        device_ = std::make_unique<vnx::engine::Device>();
        ASSERT_TRUE(device_->load_driver("vnxfakedrv.dll"));
        ASSERT_TRUE(device_->enable_pdev());
        ASSERT_TRUE(device_->enable_surface());
        app_ = vnx::process::create("app");
        vnx::process::Scope as(app_);
        HWND hwnd = vnx::windows::create({0, 0, 32, 32});
        hdc_ = GetDC(hwnd);
        ASSERT_TRUE(SetPixelFormat(hdc_, 1, nullptr));
        ASSERT_TRUE(GLCltDllInitialize(nullptr, DLL_PROCESS_ATTACH, nullptr));
    }
    void TearDown() override {
        {
            vnx::process::Scope as(app_);
            GLCltDllInitialize(nullptr, DLL_PROCESS_DETACH, nullptr);
        }
        vnx::process::terminate(app_);
        device_.reset();
        FreeLibrary(hmod_);
    }

    HMODULE hmod_ = nullptr;
    FakeDrv* drv_ = nullptr;
    std::unique_ptr<vnx::engine::Device> device_;
    DWORD app_ = 0;
    HDC hdc_ = nullptr;
};

// The machine with a context made current on the test's thread, which acts
// for the application throughout.
class FakeDriverTest : public FakeMachineTest {
  protected:
    void SetUp() override {
        FakeMachineTest::SetUp();
        if (HasFatalFailure()) return;
        as_ = std::make_unique<vnx::process::Scope>(app_);
        h_ = DrvCreateContext(hdc_);
        ASSERT_NE(h_, 0u);
        ASSERT_NE(DrvSetContext(hdc_, h_, nullptr), nullptr);
        ptb_ = CurrentThreadBlock();
    }
    void TearDown() override {
        DrvDeleteContext(h_);
        as_.reset();
        FakeMachineTest::TearDown();
    }
    // The request at the half's read offset, as long as its length says.
    glx::Bytes Request() const {
        const BYTE* pj = reinterpret_cast<const BYTE*>(ptb_->half) + ptb_->half->readOffset;
        std::uint16_t cw;
        std::memcpy(&cw, pj + 2, 2);
        return glx::Bytes(pj, pj + 4u * cw);
    }
    ULONG SingleEscapes() const {
        ULONG c = 0;
        for (const FakeClientCall& call : drv_->clientCalls)
            if (call.what == "DrvEscape" && call.iEsc == OPENGL_CMD && call.in.size() >= 20 &&
                call.in[0] == GLCMD_SINGLE)
                ++c;
        return c;
    }

    std::unique_ptr<vnx::process::Scope> as_;
    DHGLRC h_ = 0;
    ThreadBlock* ptb_ = nullptr;
};

}  // namespace glclt_test
