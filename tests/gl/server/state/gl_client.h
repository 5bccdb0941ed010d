// An application of the GL server as the client driver will be: a machine
// of the test's choosing with the display driver enabled through the
// engine, an application process with a window, a pixel format set on the
// window's device context (the first describe loads the real server by
// name), a context made and made current on the window, and the request
// segment mapped. Render commands go through the segment's first half,
// single requests are answered in it and their replies read back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "escapes.h"
#include "gl/glx/glx_encoder.h"
#include "glcmd.h"
#include "glhookslots.h"
#include "glpdev.h"
#include "glsrv.h"
#include "lgi/lgi.h"
#include "platform/debug.h"
#include "platform/engine.h"
#include "platform/faults.h"
#include "platform/gdi.h"
#include "platform/miniport.h"
#include "platform/process.h"
#include "platform/windows.h"
#include "smsegment.h"

namespace glsrv_client {

// The window the application draws in: 256 x 192 pixels.
constexpr RECTL kWindow = {100, 80, 356, 272};

// What a single request answered: the reply's 32 bytes and the data that
// followed it in the half.
struct Answer {
    glx::Reply reply{};
    std::vector<std::uint8_t> data;
    bool replied = false;

    // The values: one small value is held in the reply at +16, more follow it.
    template <typename T>
    std::vector<T> Values() const {
        // No reply (an error) or more values than a reply carries: none.
        if (!replied || reply.size > 4096) return {};
        std::vector<T> v(reply.size);
        if (reply.size == 0) return v;
        if (reply.length == 0 && reply.size * sizeof(T) <= 4) {
            std::memcpy(v.data(), &reply.word16, sizeof(T) * reply.size);
        } else if (data.size() >= reply.size * sizeof(T)) {
            std::memcpy(v.data(), data.data(), reply.size * sizeof(T));
        }
        return v;
    }
};

class GLClientTest : public ::testing::Test {
  protected:
    // Boots the machine and makes the application current on its window
    // with a context of the pixel format (1-based) on the main layer.
    void Start(const vnx::miniport::MachineConfig& cfg = vnx::miniport::MachineConfig(), ULONG bpp = 32,
               ULONG iFormat = 1) {
        ASSERT_NO_FATAL_FAILURE(Boot(cfg, bpp));
        ASSERT_NO_FATAL_FAILURE(MakeCurrent(iFormat));
    }
    // The machine with the driver, the application and its window.
    void Boot(const vnx::miniport::MachineConfig& cfg, ULONG bpp) {
        SetEnvironmentVariableA("KZGLSRVNAME", nullptr);
        vnx::faults::clear();
        device_ = std::make_unique<vnx::engine::Device>(cfg);
        ASSERT_TRUE(device_->load_driver());
        DEVMODEW dm = vnx::engine::DisplayMode(640, 480, bpp);
        ASSERT_TRUE(device_->enable_pdev(dm));
        ASSERT_TRUE(device_->enable_surface());
        ASSERT_NO_FATAL_FAILURE(StartServer());
        app_ = vnx::process::create("app");
        vnx::process::Scope as(app_);
        hwnd_ = vnx::windows::create(kWindow);
        ASSERT_NE(hwnd_, nullptr);
        hdc_ = GetDC(hwnd_);
        ASSERT_NE(hdc_, nullptr);
        cFormats_ = DescribePixelFormat(hdc_, 1, 0, nullptr);
        ASSERT_GT(cFormats_, 0);
    }
    // The first pixel format (1-based) whose description passes, or 0.
    template <typename Pred>
    ULONG FindFormat(Pred pred) {
        vnx::process::Scope as(app_);
        for (INT i = 1; i <= cFormats_; ++i) {
            PIXELFORMATDESCRIPTOR pfd{};
            DescribePixelFormat(hdc_, i, sizeof pfd, &pfd);
            if (pred(pfd)) return static_cast<ULONG>(i);
        }
        return 0;
    }
    // The pixel format set on the window, a context of it made current there
    // and the request segment mapped.
    void MakeCurrent(ULONG iFormat) {
        vnx::process::Scope as(app_);
        ASSERT_TRUE(SetPixelFormat(hdc_, static_cast<INT>(iFormat), nullptr));
        std::vector<BYTE> out(4);
        ASSERT_EQ(Cmd(GLCMD_CREATECONTEXT, 0, {0, iFormat}, &out), 1);
        std::memcpy(&dhrc_, out.data(), 4);
        hSection_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT, 0,
                                       SM_SEGMENT_SIZE, nullptr);
        ASSERT_NE(hSection_, nullptr);
        pjView_ = static_cast<BYTE*>(MapViewOfFile(hSection_, FILE_MAP_WRITE, 0, 0, 0));
        ASSERT_NE(pjView_, nullptr);
        const auto hSection = static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(hSection_));
        ASSERT_EQ(Cmd(GLCMD_CREATESMSEGMENT, 0, {SM_SEGMENT_SIZE, hSection}), 1);
        ASSERT_EQ(Cmd(GLCMD_SETCONTEXT, OGLCMD_NEEDWNDOBJ | OGLCMD_NEEDXLATEOBJ, {0, dhrc_}), 1);
        Header()->limit = SM_LIMIT;
        vnx::debug::clear();
    }
    void TearDown() override {
        if (app_ != 0) {
            vnx::process::Scope as(app_);
            if (hdc_ != nullptr) {
                // The context goes before the server: the server's
                // shut-down frees the visuals before the contexts left.
                if (dhrc_ != 0) Cmd(GLCMD_DELETECONTEXT, 0, {dhrc_});
                StopServer();
                ReleaseDC(hwnd_, hdc_);
            }
        }
        if (app_ != 0) vnx::process::terminate(app_);
        device_.reset();
        vnx::debug::clear();
        vnx::faults::clear();
    }

    // By default the application's first describe makes the driver load
    // the server, and the driver unloads it; a program built with the
    // server's sources starts and stops it itself.
    virtual void StartServer() {}
    virtual void StopServer() { ExtEscape(hdc_, ESC_UNLOADGLSERVER, 0, nullptr, 0, nullptr); }

    // OPENGL_CMD on the window's device context, from the application.
    INT Cmd(ULONG ulSubEsc, ULONG fl, std::vector<ULONG> args, std::vector<BYTE>* out = nullptr) {
        std::vector<ULONG> words = {ulSubEsc, fl, 0, 0, 0};
        words.insert(words.end(), args.begin(), args.end());
        vnx::process::Scope as(app_);
        return ExtEscape(hdc_, OPENGL_CMD, static_cast<INT>(words.size() * 4),
                         reinterpret_cast<LPCSTR>(words.data()), out != nullptr ? static_cast<INT>(out->size()) : 0,
                         out != nullptr ? reinterpret_cast<LPSTR>(out->data()) : nullptr);
    }
    SMSegmentHeader* Header() { return reinterpret_cast<SMSegmentHeader*>(pjView_); }

    // Render commands, run as one half.
    void Render(const glx::Bytes& stream) {
        SMSegmentHeader* ph = Header();
        ASSERT_LE(SM_FIRST_COMMAND + stream.size(), SM_LIMIT);
        std::memcpy(pjView_ + SM_FIRST_COMMAND, stream.data(), stream.size());
        ph->readOffset = SM_FIRST_COMMAND;
        ph->writeOffset = static_cast<std::uint32_t>(SM_FIRST_COMMAND + stream.size());
        ASSERT_EQ(Cmd(GLCMD_PROCESSSMREQUESTS, 0, {}), 1);
    }
    void Render(const char* name, std::initializer_list<std::uint32_t> words = {}) {
        Render(glx::Render(name, words));
    }

    // A single request and what it answered.
    Answer Single(const char* name, std::initializer_list<std::uint32_t> words = {}) {
        SMSegmentHeader* ph = Header();
        const glx::Bytes req = glx::Single(name, words);
        std::memset(pjView_ + SM_FIRST_COMMAND, 0, 4096);
        std::memcpy(pjView_ + SM_FIRST_COMMAND, req.data(), req.size());
        ph->readOffset = ph->writeOffset = SM_FIRST_COMMAND;
        std::memset(ph->reply, 0xCC, sizeof ph->reply);
        Answer a;
        EXPECT_EQ(Cmd(GLCMD_SINGLE, 0, {}), 1);
        a.reply = glx::ReadReply(ph->reply);
        a.replied = a.reply.type == X_Reply;
        if (a.replied && a.reply.length * 4 <= 4096) {
            a.data.assign(pjView_ + SM_FIRST_COMMAND, pjView_ + SM_FIRST_COMMAND + a.reply.length * 4);
        }
        return a;
    }
    // GetIntegerv, GetFloatv, GetBooleanv of a state variable.
    std::vector<std::int32_t> Integers(ULONG pname) { return Single("GetIntegerv", {pname}).Values<std::int32_t>(); }
    std::vector<float> Floats(ULONG pname) { return Single("GetFloatv", {pname}).Values<float>(); }
    std::vector<std::uint8_t> Booleans(ULONG pname) { return Single("GetBooleanv", {pname}).Values<std::uint8_t>(); }
    ULONG Error() { return Single("GetError").reply.retval; }
    std::string String(ULONG name) {
        const Answer a = Single("GetString", {name});
        if (!a.replied || a.reply.size == 0 || a.data.size() < a.reply.size) return "<none>";
        return std::string(reinterpret_cast<const char*>(a.data.data()), a.reply.size - 1);
    }

    std::unique_ptr<vnx::engine::Device> device_;
    DWORD app_ = 0;
    HWND hwnd_ = nullptr;
    HDC hdc_ = nullptr;
    ULONG dhrc_ = 0;
    INT cFormats_ = 0;
    HANDLE hSection_ = nullptr;
    BYTE* pjView_ = nullptr;
};

// The same application with the server built into the test program and
// started on the driver's device as the driver starts the library it
// loads: the lgi layer the server drives is the program's own, so a test
// reads what reached it.
class GLServerInProgramTest : public GLClientTest {
  protected:
    void StartServer() override {
        saved_ = *Hooks();
        ASSERT_TRUE(InitGLSrvDll(nullptr, GLSRV_PROCESS_ATTACH, nullptr));
        ASSERT_EQ(DrvEnableEscape(0x10002, ppdev()), 1u);
    }
    void StopServer() override {
        if (Hooks()->pfnGLServerUnload != nullptr) {
            Hooks()->pfnGLServerUnload(ppdev());
            *Hooks() = saved_;
        }
    }
    PDEV* ppdev() { return reinterpret_cast<PDEV*>(device_->dhpdev()); }
    GLHOOKSLOTS* Hooks() { return pGLHookSlots(ppdev()); }
    // Runs f under the device's escape lock, as the server's own calls run.
    template <typename Fn>
    auto Locked(Fn f) {
        CRITICAL_SECTION* pcs = pGLEscapeLock(ppdev());
        EnterCriticalSection(pcs);
        auto r = f();
        LeaveCriticalSection(pcs);
        return r;
    }
    // The first c words of an lgi attribute of the current lgi context, as T.
    template <typename T = float>
    std::vector<T> Attr(ULONG id, ULONG c) {
        ULONG aw[64] = {};
        Locked([&] { return N_GetStateBlockAttr(id, aw); });
        std::vector<T> v(c);
        std::memcpy(v.data(), aw, c * sizeof(T));
        return v;
    }
    GLHOOKSLOTS saved_{};
};

}  // namespace glsrv_client
