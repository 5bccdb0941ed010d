// The fixture of the client driver's tests: a machine with 3D, the display
// driver enabled through the engine, and an application process with
// windows whose device contexts have pixel format 1 (the first one loads
// the GL server). The client driver's functions are called directly, as
// the application's process, with the library attached to the process.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "display_boot.h"
#include "clt.h"
#include "escapes.h"
#include "gl10.h"
#include "glentries.h"
#include "glcltexports.h"
#include "glicd.h"
#include "platform/debug.h"
#include "platform/engine.h"
#include "platform/faults.h"
#include "platform/gdi.h"
#include "platform/process.h"
#include "platform/windows.h"


namespace glclt_test {

inline ClientContext* CC(DHGLRC h) { return reinterpret_cast<ClientContext*>(h); }

// A render command into the calling thread's current half by the append
// rule: u16 length, u16 opcode, the argument words.
inline void Render(ThreadBlock* ptb, unsigned opcode, std::vector<float> args) {
    const ULONG cj = 4 + 4 * static_cast<ULONG>(args.size());
    BYTE* pj = pjAppendRender(ptb, cj);
    ASSERT_NE(pj, nullptr);
    const std::uint16_t h[2] = {static_cast<std::uint16_t>(cj), static_cast<std::uint16_t>(opcode)};
    std::memcpy(pj, h, 4);
    if (!args.empty()) std::memcpy(pj + 4, args.data(), 4 * args.size());
}
inline void Translate(ThreadBlock* ptb, float x) { Render(ptb, X_GLrop_Translatef, {x, 0.0f, 0.0f}); }
inline void Scale(ThreadBlock* ptb, float x) { Render(ptb, X_GLrop_Scalef, {x, 1.0f, 1.0f}); }
inline void SetLineWidth(ThreadBlock* ptb, float w) { Render(ptb, X_GLrop_LineWidth, {w}); }

// The current context's values of a parameter, asked with GetFloatv at the
// start of a fresh half (empty when the server gave no answer).
inline std::vector<float> Get(ThreadBlock* ptb, ULONG pname) {
    FlushSMSegment(ptb);
    BYTE* pj = pjAppendRender(ptb, 12);
    if (pj == nullptr) return {};
    const BYTE head[4] = {0, static_cast<BYTE>(X_GLsop_GetFloatv), 3, 0};
    const ULONG words[2] = {0, pname};  // context tag, parameter
    std::memcpy(pj, head, 4);
    std::memcpy(pj + 4, words, 8);
    std::memset(ptb->half->reply, 0, sizeof ptb->half->reply);
    SendSingle(ptb);
    xGLXSingleReply reply;
    std::memcpy(&reply, ptb->half->reply, sizeof reply);
    if (reply.type != X_Reply || reply.size == 0 || reply.size > 16 || ptb->half->replyInClientMemory != 0)
        return {};
    std::vector<float> v(reply.size);
    const BYTE* pjData = reply.size == 1 ? ptb->half->reply + 16 : reinterpret_cast<BYTE*>(ptb->half) + ptb->half->readOffset;
    std::memcpy(v.data(), pjData, 4 * v.size());
    return v;
}
constexpr ULONG kModelViewMatrix = 0x0BA6, kLineWidth = 0x0B21;
inline std::vector<float> ModelView(ThreadBlock* ptb) { return Get(ptb, kModelViewMatrix); }
inline float LineWidth(ThreadBlock* ptb) {
    const std::vector<float> v = Get(ptb, kLineWidth);
    return v.size() == 1 ? v[0] : -1.0f;
}

class ClientTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(BootDisplay(&device_));
        app_ = vnx::process::create("app");
        hdc_ = Window({0, 0, 64, 64});
        ASSERT_NE(hdc_, nullptr);
        vnx::process::Scope as(app_);
        ASSERT_TRUE(GLCltDllInitialize(nullptr, DLL_PROCESS_ATTACH, nullptr));
    }
    void TearDown() override {
        {
            vnx::process::Scope as(app_);
            GLCltDllInitialize(nullptr, DLL_PROCESS_DETACH, nullptr);
            ExtEscape(hdc_, ESC_UNLOADGLSERVER, 0, nullptr, 0, nullptr);
        }
        vnx::process::terminate(app_);
        device_.reset();
        vnx::debug::clear();
        vnx::faults::clear();
    }

    // A window of the application with pixel format 1 on its device context.
    HDC Window(const RECTL& rcl) {
        vnx::process::Scope as(app_);
        HWND hwnd = vnx::windows::create(rcl);
        HDC hdc = hwnd != nullptr ? GetDC(hwnd) : nullptr;
        // An application describes the formats before it sets one; the
        // first description loads the GL server.
        if (hdc == nullptr || DescribePixelFormat(hdc, 1, 0, nullptr) <= 0) return nullptr;
        return SetPixelFormat(hdc, 1, nullptr) ? hdc : nullptr;
    }

    std::unique_ptr<vnx::engine::Device> device_;
    DWORD app_ = 0;
    HDC hdc_ = nullptr;
};

// A render command as the client wrote it into the half.
struct Cmd {
    unsigned opcode;
    std::vector<std::uint8_t> bytes;
};

// ClientTest with a context of the application current on the test's
// thread, which acts for the application throughout.
class CurrentContextTest : public ClientTest {
  protected:
    void SetUp() override {
        ClientTest::SetUp();
        as_ = std::make_unique<vnx::process::Scope>(app_);
        h_ = DrvCreateContext(hdc_);
        ASSERT_NE(h_, 0u);
        ASSERT_NE(DrvSetContext(hdc_, h_, nullptr), nullptr);
        ptb_ = CurrentThreadBlock();
        cc_ = CC(h_);
    }
    void TearDown() override {
        DrvDeleteContext(h_);
        as_.reset();
        ClientTest::TearDown();
    }
    // An empty half, its unwritten bytes zero; what follows stays in this
    // half (batches hand it over after 2000 vertices).
    void Fresh() {
        FlushSMSegment(ptb_);
        BYTE* pj = reinterpret_cast<BYTE*>(ptb_->half);
        std::memset(pj + ptb_->half->writeOffset, 0, 4096);
        mark_ = ptb_->half->writeOffset;
        cc_->sinceHandOver = 0;
    }
    // The render commands written since Fresh.
    std::vector<Cmd> Commands() const {
        std::vector<Cmd> v;
        const BYTE* pj = reinterpret_cast<const BYTE*>(ptb_->half);
        for (ULONG off = mark_; off + 4 <= ptb_->half->writeOffset;) {
            std::uint16_t h[2];
            std::memcpy(h, pj + off, 4);
            if (h[0] < 4) break;
            v.push_back({h[1], std::vector<std::uint8_t>(pj + off, pj + off + h[0])});
            off += h[0];
        }
        return v;
    }

    std::unique_ptr<vnx::process::Scope> as_;
    DHGLRC h_ = 0;
    ThreadBlock* ptb_ = nullptr;
    ClientContext* cc_ = nullptr;
    ULONG mark_ = 0;
};

// Runs fn on a thread of its own acting for the application, which detaches
// from the client driver when fn is done, as the system does at its end.
template <class Fn>
void OnThread(DWORD pid, Fn fn) {
    std::thread([&] {
        vnx::process::Scope as(pid);
        fn();
        GLCltDllInitialize(nullptr, DLL_THREAD_DETACH, nullptr);
    }).join();
}

}  // namespace glclt_test
