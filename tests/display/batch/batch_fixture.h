// Shared fixture of the batched command escape tests: a device enabled
// through the engine, a client process with a display device context, a
// section it shares with the driver, and its windows. Escapes go through
// ExtEscape on the client's device context, as a client sends them.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "batch/batch_internal.h"
#include "display/fixture.h"
#include "escapes.h"
#include "mcdbatch.h"
#include "platform/gdi.h"
#include "platform/process.h"
#include "platform/windows.h"

namespace vnx::test {

using Words = std::vector<ULONG>;

class BatchTest : public DriverTest {
  protected:
    // Where the client says its view of the section lies, and its size.
    static constexpr ULONG kClientBase = 0x10000000;
    static constexpr ULONG kSectionSize = 0x10000;

    void SetUp() override {
        DriverTest::SetUp();
        objects_ = vnx::engine::live_driver_objects();
        windowObjects_ = vnx::engine::live_window_objects();
        device_ = std::make_unique<vnx::engine::Device>(Machine(4));
        ASSERT_TRUE(device_->load_driver());
        ASSERT_TRUE(device_->enable_pdev(Request(1024, 768, 16)));
        ASSERT_TRUE(device_->enable_surface());
        app_ = vnx::process::create("app");
        other_ = vnx::process::create("other");
        hdc_ = MakeDC(app_);
        ASSERT_NE(hdc_, nullptr);
        vnx::process::Scope as(app_);
        hSection_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSectionSize,
                                       nullptr);
        ASSERT_NE(hSection_, nullptr);
        view_ = static_cast<BYTE*>(MapViewOfFile(hSection_, FILE_MAP_ALL_ACCESS, 0, 0, 0));
        ASSERT_NE(view_, nullptr);
    }

    void TearDown() override {
        vnx::process::terminate(app_);
        vnx::process::terminate(other_);
        EXPECT_EQ(vnx::engine::live_driver_objects(), objects_) << "driver objects left behind";
        EXPECT_EQ(vnx::engine::live_window_objects(), windowObjects_) << "window objects left behind";
        device_.reset();
        DriverTest::TearDown();
    }

    HDC MakeDC(DWORD pid) {
        vnx::process::Scope as(pid);
        return CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    }

    // The escape with this input, sent by `pid` on its own device context.
    ULONG Send(const std::vector<BYTE>& in, ULONG cjOut = 0, void* pvOut = nullptr, DWORD pid = 0) {
        pid = pid != 0 ? pid : app_;
        HDC hdc = pid == app_ ? hdc_ : MakeDC(pid);
        vnx::process::Scope as(pid);
        const INT i = ExtEscape(hdc, MCDFUNCS, static_cast<INT>(in.size()),
                                reinterpret_cast<LPCSTR>(in.data()), static_cast<INT>(cjOut),
                                static_cast<LPSTR>(pvOut));
        if (hdc != hdc_) DeleteDC(hdc);
        return static_cast<ULONG>(i);
    }

    static std::vector<BYTE> Input(const BATCHHDR& hdr, const Words& inline_ = {}) {
        std::vector<BYTE> in(sizeof hdr + inline_.size() * 4);
        std::memcpy(in.data(), &hdr, sizeof hdr);
        if (!inline_.empty()) std::memcpy(in.data() + sizeof hdr, inline_.data(), inline_.size() * 4);
        return in;
    }

    // An inline batch after the header.
    ULONG Inline(ULONG flags, const Words& words, DWORD pid = 0) {
        BATCHHDR hdr{};
        hdr.flags = flags;
        hdr.pInline = sizeof hdr;
        hdr.cjInline = static_cast<ULONG>(words.size() * 4);
        return Send(Input(hdr, words), 0, nullptr, pid);
    }

    // The client's section mapped for the driver: its handle, or 0.
    ULONG MapSection(ULONG cjSize = kSectionSize, DWORD pid = 0) {
        pid = pid != 0 ? pid : app_;
        return Inline(BATCH_FL_SETUP,
                      {BATCH_SETUP, BATCH_SETUP_MAP, 0, pid,
                       static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(hSection_)), 0, cjSize,
                       kClientBase},
                      pid);
    }

    // A batch written into the section at byte offset `off` and run with the
    // header's context and window.
    ULONG Run(const Words& words, ULONG cjOut = 0, void* pvOut = nullptr, ULONG off = 0x100) {
        if (!words.empty()) std::memcpy(view_ + off, words.data(), words.size() * 4);
        BATCHHDR hdr{};
        hdr.hrc = hrc_;
        hdr.hShMem = hShMem_;
        hdr.pBatch = kClientBase + off;
        hdr.length = static_cast<ULONG>(words.size() * 4);
        hdr.pwo = pwo_;
        return Send(Input(hdr), cjOut, pvOut);
    }

    HWND Window(DWORD pid, RECTL rcl) {
        vnx::process::Scope as(pid);
        return vnx::windows::create(rcl);
    }
    static ULONG Handle(HWND hwnd) { return static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(hwnd)); }

    // A context of the client's for a window: its handle, or 0.
    ULONG CreateContext(HWND hwnd, ULONG iPixelFormat = 1) {
        return Inline(BATCH_FL_CREATE_CONTEXT, {BATCH_CREATE_CONTEXT, Handle(hwnd), iPixelFormat});
    }

    // Maps the section, makes a window and a context for it, and aims the
    // batches of Run at them.
    void Target(RECTL rcl = {100, 100, 400, 300}) {
        hShMem_ = MapSection();
        ASSERT_NE(hShMem_, 0u);
        hwnd_ = Window(app_, rcl);
        ASSERT_NE(hwnd_, nullptr);
        hrc_ = CreateContext(hwnd_);
        ASSERT_NE(hrc_, 0u);
        pwo_ = Handle(hwnd_);
    }

    // The driver's record of a window (read through the window object the
    // engine keeps for it).
    const WNDTRACK* Track(HWND hwnd) {
        vnx::process::Scope as(app_);
        WNDOBJ* pwo = vnx::engine::window_object(Screen(), Handle(hwnd));
        return pwo != nullptr ? static_cast<const WNDTRACK*>(pwo->pvConsumer) : nullptr;
    }
    SURFOBJ* Screen() {
        vnx::engine::SurfaceInfo info;
        if (!vnx::engine::query_surface(device_->hsurf(), &info)) return nullptr;
        screen_ = info.so;
        return &screen_;
    }
    static std::vector<RECTL> List(const RECTLIST* prl) {
        return std::vector<RECTL>(prl->arcl, prl->arcl + prl->c);
    }

    std::unique_ptr<vnx::engine::Device> device_;
    DWORD app_ = 0, other_ = 0;
    HDC hdc_ = nullptr;
    HANDLE hSection_ = nullptr;
    BYTE* view_ = nullptr;
    ULONG hShMem_ = 0, hrc_ = 0, pwo_ = 0;
    HWND hwnd_ = nullptr;
    SURFOBJ screen_{};
    size_t objects_ = 0, windowObjects_ = 0;
};

}  // namespace vnx::test

inline bool operator==(const RECTL& a, const RECTL& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
