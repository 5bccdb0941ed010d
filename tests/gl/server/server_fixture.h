// The fixture of the GL server's tests: a machine with 3D, the display
// driver enabled on it through the engine, an application process with a
// display device context, and the real GL server loaded by the driver on
// the application's first DescribePixelFormat.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "display_boot.h"
#include "escapes.h"
#include "glcmd.h"
#include "glhookslots.h"
#include "glsrv.h"
#include "platform/debug.h"
#include "platform/engine.h"
#include "platform/faults.h"
#include "platform/gdi.h"
#include "platform/process.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define GLSRV_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#include <sanitizer/asan_interface.h>
#define GLSRV_TEST_ASAN 1
#endif
#endif

namespace glsrv_test {

// What the server prints when it starts and describes, while its other
// parts are not built: it offers the pixel formats of the board and mode,
// without a buffer manager behind them yet.
inline const std::string kLoadText = "lgi: alloc <size> @ <address>\n";
// The debug text taken so far, with the work arena's size and address (which
// differ from run to run) written as in kLoadText.
inline std::string TakeLoadText() {
    static const std::regex arena("lgi: alloc [0-9a-f]+ @ [0-9a-f]+");
    return std::regex_replace(vnx::debug::take(), arena, "lgi: alloc <size> @ <address>");
}
// What freeing a client prints, and what the rest of shut-down prints.
inline const std::string kClientFreedText = "";
inline const std::string kShutdownText = "_NFreeData\n";

// An OPENGL_CMD request: the header, then argument words.
inline std::vector<BYTE> Request(ULONG ulSubEsc, std::vector<ULONG> args = {}, ULONG cjIn = 0) {
    std::vector<ULONG> words = {ulSubEsc, 0, 0, 0, 0};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<BYTE> v(words.size() * 4);
    std::memcpy(v.data(), words.data(), v.size());
    if (cjIn != 0) v.resize(cjIn, 0);
    return v;
}

// True when the client record at p, which had the id hClient, has been
// freed. Under AddressSanitizer freed memory is poisoned (and not handed out
// again soon); in every other build the process heap tells whether a block
// still starts at p, and a live block there that holds another id is a new
// record in the same memory.
inline bool Freed(const GLClient* p, ULONG hClient) {
#ifdef GLSRV_TEST_ASAN
    (void)hClient;
    return __asan_address_is_poisoned(p) != 0;
#else
    return LocalSize(const_cast<GLClient*>(p)) == 0 || p->hClient != hClient;
#endif
}

class GLServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(BootDisplay(&device_));
        app_ = vnx::process::create("app");
        hdc_ = MakeDC(app_);
        ASSERT_NE(hdc_, nullptr);
        // The server takes the lowest free thread-local slot.
        tlsIndex_ = TlsAlloc();
        TlsFree(tlsIndex_);
        vnx::debug::clear();
        Load();
        EXPECT_EQ(TakeLoadText(), kLoadText);
    }
    void TearDown() override {
        Unload();
        vnx::process::terminate(app_);
        device_.reset();
        vnx::debug::clear();
        vnx::faults::clear();
    }

    HDC MakeDC(DWORD pid) {
        vnx::process::Scope as(pid);
        return CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    }
    GLHOOKSLOTS* Hooks() { return pGLHookSlots(reinterpret_cast<PDEV*>(device_->dhpdev())); }
    // The driver loads the server on the application's first describe.
    void Load() {
        vnx::process::Scope as(app_);
        EXPECT_GT(DescribePixelFormat(hdc_, 1, 0, nullptr), 0);
        ASSERT_NE(Hooks()->hGLServer, nullptr);
    }
    void Unload() {
        vnx::process::Scope as(app_);
        ExtEscape(hdc_, ESC_UNLOADGLSERVER, 0, nullptr, 0, nullptr);
    }

    // OPENGL_CMD from `pid` (the application by default) on the calling thread.
    INT Cmd(const std::vector<BYTE>& in, std::vector<BYTE>* out = nullptr, DWORD pid = 0) {
        vnx::process::Scope as(pid != 0 ? pid : app_);
        HDC hdc = pid != 0 && pid != app_ ? MakeDC(pid) : hdc_;
        const INT r = ExtEscape(hdc, OPENGL_CMD, static_cast<INT>(in.size()),
                                reinterpret_cast<LPCSTR>(in.data()),
                                out != nullptr ? static_cast<INT>(out->size()) : 0,
                                out != nullptr ? reinterpret_cast<LPSTR>(out->data()) : nullptr);
        if (hdc != hdc_) DeleteDC(hdc);
        return r;
    }

    // The calling thread's client record in the server, or null.
    GLClient* Client() { return static_cast<GLClient*>(TlsGetValue(tlsIndex_)); }

    std::unique_ptr<vnx::engine::Device> device_;
    DWORD app_ = 0;
    HDC hdc_ = nullptr;
    DWORD tlsIndex_ = 0;
};

}  // namespace glsrv_test
