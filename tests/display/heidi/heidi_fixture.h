// Shared fixture of the immediate-mode 3D escape tests: a device with back
// and depth buffers enabled through the engine, two client processes with
// display device contexts, a section the first shares with the driver, and
// its windows. Escapes go through ExtEscape as a client sends them.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "display/fixture.h"
#include "escapes.h"
#include "heidi/heidi_internal.h"
#include "heidiesc.h"
#include "queue/queue.h"
#include "platform/board.h"
#include "platform/gdi.h"
#include "platform/process.h"
#include "platform/windows.h"

namespace vnx::test {

class HeidiTest : public DriverTest {
  protected:
    static constexpr ULONG kSectionSize = 0x10000;

    void Boot(int rasterizers = 4, ULONG bpp = 16) {
        objects_ = vnx::engine::live_driver_objects();
        windowObjects_ = vnx::engine::live_window_objects();
        // Memory enough for the back and depth buffers.
        vnx::miniport::MachineConfig cfg = Machine(rasterizers);
        cfg.memoryClass = 2;
        device_ = std::make_unique<vnx::engine::Device>(cfg);
        ASSERT_TRUE(device_->load_driver());
        ASSERT_TRUE(device_->enable_pdev(Request(1024, 768, bpp)));
        ASSERT_TRUE(device_->enable_surface());
        ppdev_ = Pdev(*device_);
        ASSERT_NE(ppdev_->hsurfZ, nullptr) << vnx::debug::take();
        app_ = vnx::process::create("app");
        other_ = vnx::process::create("other");
        hdc_ = MakeDC(app_);
        hdcOther_ = MakeDC(other_);
        ASSERT_NE(hdc_, nullptr);
        vnx::process::Scope as(app_);
        hSection_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSectionSize, nullptr);
        ASSERT_NE(hSection_, nullptr);
        view_ = static_cast<BYTE*>(MapViewOfFile(hSection_, FILE_MAP_ALL_ACCESS, 0, 0, 0));
        ASSERT_NE(view_, nullptr);
    }
    void SetUp() override {
        DriverTest::SetUp();
        Boot();
    }
    void TearDown() override {
        if (device_ != nullptr) {
            vnx::process::terminate(app_);
            vnx::process::terminate(other_);
            EXPECT_EQ(vnx::engine::live_driver_objects(), objects_) << "driver objects left behind";
            EXPECT_EQ(vnx::engine::live_window_objects(), windowObjects_) << "window objects left behind";
            EXPECT_EQ(cHeidiTextures(ppdev_, nullptr), 0u) << "textures left behind";
            device_.reset();
        }
        DriverTest::TearDown();
    }

    HDC MakeDC(DWORD pid) {
        vnx::process::Scope as(pid);
        return CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    }

    // The escape with this record (its first cjIn bytes), sent by `pid`;
    // answers the escape's result and the output word (0xABABABAB when the
    // driver wrote none).
    ULONG Send(const HEIDICMD& cmd, ULONG* pulOut = nullptr, ULONG cjIn = sizeof(HEIDICMD),
               DWORD pid = 0, ULONG cjOut = 4) {
        pid = pid != 0 ? pid : app_;
        ULONG ulOut = 0xABABABABu;
        vnx::process::Scope as(pid);
        const INT i = ExtEscape(pid == app_ ? hdc_ : hdcOther_, ESC_HEIDI, static_cast<INT>(cjIn),
                                reinterpret_cast<LPCSTR>(&cmd), static_cast<INT>(cjOut),
                                reinterpret_cast<LPSTR>(&ulOut));
        if (pulOut != nullptr) *pulOut = ulOut;
        return static_cast<ULONG>(i);
    }
    static HEIDICMD Cmd(ULONG code, ULONG h, BYTE jSelect = 0) {
        HEIDICMD c{};
        c.ulCode = code;
        c.hWindow = h;
        c.jSelect = jSelect;
        return c;
    }
    static void SetWord(HEIDICMD* c, ULONG off, ULONG v) { std::memcpy(reinterpret_cast<BYTE*>(c) + off, &v, 4); }

    HWND Window(DWORD pid, RECTL rcl) {
        vnx::process::Scope as(pid);
        return vnx::windows::create(rcl);
    }
    static ULONG Handle(const void* h) { return static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(h)); }

    // Binds a window of the first client with its section: the handle.
    ULONG Init(HWND hwnd, ULONG cjSize = kSectionSize, DWORD pid = 0) {
        HEIDICMD c = Cmd(HEIDI_INIT, Handle(hwnd));
        SetWord(&c, 12, Handle(hSection_));
        SetWord(&c, 16, cjSize);
        ULONG h = 0;
        EXPECT_EQ(Send(c, &h, sizeof c, pid), 1u);
        return h;
    }
    // A window of the first client at rcl, bound: its handle.
    ULONG Bound(RECTL rcl, HWND* phwnd = nullptr) {
        HWND hwnd = Window(app_, rcl);
        if (phwnd != nullptr) *phwnd = hwnd;
        return Init(hwnd);
    }

    vnx::board::Board& Board() { return device_->machine().board(); }
    // Every decoded packet of every rasterizer since the last take.
    std::vector<std::vector<vnx::board::DecodedPacket>> Take() {
        std::vector<std::vector<vnx::board::DecodedPacket>> all;
        for (int r = 0; r < Board().rasterizers(); ++r) all.push_back(Board().take_packets(r));
        return all;
    }
    // The drawing packets (not empty packets, syncs, transfers) of a take.
    static std::vector<vnx::board::DecodedPacket> Drawing(const std::vector<vnx::board::DecodedPacket>& v) {
        std::vector<vnx::board::DecodedPacket> out;
        for (const auto& p : v)
            if (p.kind == vnx::board::ItemKind::Packet && p.command != 1) out.push_back(p);
        return out;
    }
    // Hands every open queue to the board.
    void Flush() { kz2SyncDMA(ppdev_->pqm); }

    ULONG ScreenPid() const { return ppdev_->pidScreen & 0xFFFF; }

    std::unique_ptr<vnx::engine::Device> device_;
    PDEV* ppdev_ = nullptr;
    DWORD app_ = 0, other_ = 0;
    HDC hdc_ = nullptr, hdcOther_ = nullptr;
    HANDLE hSection_ = nullptr;
    BYTE* view_ = nullptr;
    size_t objects_ = 0, windowObjects_ = 0;
};

}  // namespace vnx::test
