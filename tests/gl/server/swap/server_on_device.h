// The server on a device the engine enabled, started the way the display
// driver starts the library it loads, and an application whose window gets
// a pixel format and a context through its own device context. Requests
// go through the application's request segment as a client sends them.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <utility>
#include <memory>
#include <vector>

#include "context/buffers.h"
#include "context/context.h"
#include "context/image.h"
#include "dispatch/dispatch.h"
#include "escapes.h"
#include "glcmd.h"
#include "glhookslots.h"
#include "glpdev.h"
#include "kz2queue.h"
#include "pixfmt/drawable.h"
#include "pixfmt/pixfmt.h"
#include "platform/board.h"
#include "platform/debug.h"
#include "platform/engine.h"
#include "platform/faults.h"
#include "platform/gdi.h"
#include "platform/process.h"
#include "platform/windows.h"
#include "prim/prim.h"
#include "primsegment.h"
#include "smsegment.h"
#include "state/glstate.h"
#include "state/state_requests.h"
#include "vornix_surface.h"

#include "gl/glx/glx_encoder.h"

namespace glsrv_device {


inline DEVMODEW Mode(ULONG bpp) {
    return vnx::engine::DisplayMode(640, 480, bpp);
}

// An OPENGL_CMD request with its flag word and argument words.
inline std::vector<BYTE> Request(ULONG ulSubEsc, ULONG fl, std::vector<ULONG> args) {
    std::vector<ULONG> words = {ulSubEsc, fl, 0, 0, 0};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<BYTE> v(words.size() * 4);
    std::memcpy(v.data(), words.data(), v.size());
    return v;
}

// The window the tests draw into, and the windows above it.
inline constexpr RECTL kWindow = {100, 80, 356, 272};
inline const RECTL kAbove[] = {{150, 120, 200, 170}, {300, 200, 420, 320}, {60, 250, 140, 300}};

struct Machine {
    int rasterizers;
    ULONG bpp;
};

class ServerOnDevice : public ::testing::Test {
  protected:
    void Boot(int rasterizers, ULONG bpp) {
        bpp_ = bpp;
        vnx::miniport::MachineConfig cfg;
        cfg.rasterizers = rasterizers;
        cfg.boardConfig.syncSwapToVBlank = 1;
        device_ = std::make_unique<vnx::engine::Device>(cfg);
        ASSERT_TRUE(device_->load_driver());
        ASSERT_TRUE(device_->enable_pdev(Mode(bpp)));
        ASSERT_TRUE(device_->enable_surface());
        pso_ = EngLockSurface(device_->hsurf());
        ASSERT_NE(pso_, nullptr);
        // The server starts on the device as the driver starts the library
        // it loads; the driver's own hooks come back at the end.
        saved_ = *Hooks();
        ASSERT_TRUE(InitGLSrvDll(nullptr, GLSRV_PROCESS_ATTACH, nullptr));
        ASSERT_EQ(DrvEnableEscape(0x10002, ppdev()), 1u);
        app_ = vnx::process::create("app");
        other_ = vnx::process::create("other");
        vnx::debug::clear();
        board().take_errors();
    }
    void TearDown() override {
        if (hdc_ != nullptr) {
            vnx::process::Scope as(app_);
            ReleaseDC(hwnd_, hdc_);
        }
        vnx::process::terminate(app_);
        vnx::process::terminate(other_);
        if (device_ != nullptr && Hooks()->pfnGLServerUnload != nullptr) {
            Hooks()->pfnGLServerUnload(ppdev());
            *Hooks() = saved_;
        }
        if (pso_ != nullptr) EngUnlockSurface(pso_);
        device_.reset();
        vnx::debug::clear();
    }

    PDEV* ppdev() { return reinterpret_cast<PDEV*>(device_->dhpdev()); }
    GLHOOKSLOTS* Hooks() { return pGLHookSlots(ppdev()); }
    vnx::board::Board& board() { return device_->machine().board(); }

    // The application's window with the others above it, a context made
    // current on it through the window's device context: its buffer set.
    GLBufferSet* Window(ULONG iFormat = 1, ULONG iLayer = 0) {
        {
            vnx::process::Scope as(app_);
            hwnd_ = vnx::windows::create(kWindow);
            if (hwnd_ == nullptr) return nullptr;
        }
        for (const RECTL& r : kAbove) {
            vnx::process::Scope as(other_);
            if (vnx::windows::create(r) == nullptr) return nullptr;
        }
        vnx::process::Scope as(app_);
        hdc_ = GetDC(hwnd_);
        if (hdc_ == nullptr || !SetPixelFormat(hdc_, static_cast<INT>(iFormat), nullptr)) return nullptr;
        std::vector<BYTE> out(4);
        const std::vector<BYTE> create =
            iLayer == 0 ? Request(GLCMD_CREATECONTEXT, 0, {0, iFormat})
                        : Request(GLCMD_CREATELAYERCONTEXT, 0, {0, iFormat, iLayer});
        if (Escape(create, &out) != 1) return nullptr;
        std::memcpy(&dhrc_, out.data(), 4);
        if (Escape(Request(GLCMD_SETCONTEXT, OGLCMD_NEEDWNDOBJ | OGLCMD_NEEDXLATEOBJ, {0, dhrc_})) != 1)
            return nullptr;
        WNDOBJ* pwo = vnx::engine::window_object(pso_, static_cast<ULONG>(reinterpret_cast<uintptr_t>(hwnd_)));
        pdraw_ = pdrawFromWindow(pwo);
        return pdraw_ != nullptr ? pdraw_->pBufferSet : nullptr;
    }
    // OPENGL_CMD on the window's device context, from the application.
    INT Escape(const std::vector<BYTE>& in, std::vector<BYTE>* out = nullptr) {
        vnx::process::Scope as(app_);
        return ExtEscape(hdc_, OPENGL_CMD, static_cast<INT>(in.size()), reinterpret_cast<LPCSTR>(in.data()),
                         out != nullptr ? static_cast<INT>(out->size()) : 0,
                         out != nullptr ? reinterpret_cast<LPSTR>(out->data()) : nullptr);
    }

    // Pixels of the screen rectangle as the board holds the front buffer.
    std::vector<ULONG> Front(const RECTL& r) {
        const DFB* pdfb = reinterpret_cast<const DSURF*>(pso_->dhsurf)->pdfb;
        auto v = board().read_pixels(0, static_cast<std::uint16_t>(pdfb->pid), pdfb->x + r.left,
                                     pdfb->y + r.top, r.right - r.left, r.bottom - r.top);
        return std::vector<ULONG>(v.begin(), v.end());
    }
    // Stores pixels straight into a device surface's board memory: a
    // pattern of its own for each surface.
    void Paint(SURFOBJ* pso, const RECTL& r, ULONG seed) {
        const DFB* pdfb = reinterpret_cast<const DSURF*>(pso->dhsurf)->pdfb;
        const ULONG cj = bpp_ / 8;
        for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x) {
                const LONG bx = pdfb->x + x, by = pdfb->y + y;
                BYTE* p = board().pixel(board().tile_owner(0, bx, by), static_cast<std::uint16_t>(pdfb->pid), bx, by);
                ASSERT_NE(p, nullptr);
                const ULONG v = (seed * 0x9E3779B1u ^ static_cast<ULONG>(x * 31 + y * 17)) & 0x7F7F7Fu;
                std::memcpy(p, &v, cj);
            }
    }
    // Whether screen pixel (x, y) of the window shows (no window above it).
    static bool Visible(LONG x, LONG y) {
        if (x < kWindow.left || x >= kWindow.right || y < kWindow.top || y >= kWindow.bottom) return false;
        for (const RECTL& r : kAbove)
            if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return false;
        return true;
    }
    // Under the escape lock, as every call of the server runs.
    template <typename Fn>
    auto Locked(Fn fn) {
        CRITICAL_SECTION* pcs = pGLEscapeLock(ppdev());
        EnterCriticalSection(pcs);
        auto r = fn();
        LeaveCriticalSection(pcs);
        return r;
    }

    std::unique_ptr<vnx::engine::Device> device_;
    SURFOBJ* pso_ = nullptr;
    GLHOOKSLOTS saved_{};
    DWORD app_ = 0, other_ = 0;
    HWND hwnd_ = nullptr;
    HDC hdc_ = nullptr;
    ULONG dhrc_ = 0;
    GLDrawable* pdraw_ = nullptr;
    ULONG bpp_ = 32;
};
class ServerTest : public ServerOnDevice {
  protected:
    void SetUp() override { Boot(1, 32); }
    // OPENGL_CMD on a display device context of `pid`.
    INT DisplayCmd(DWORD pid, const std::vector<BYTE>& in, std::vector<BYTE>* out = nullptr) {
        vnx::process::Scope as(pid);
        HDC hdc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
        const INT r = ExtEscape(hdc, OPENGL_CMD, static_cast<INT>(in.size()), reinterpret_cast<LPCSTR>(in.data()),
                                out != nullptr ? static_cast<INT>(out->size()) : 0,
                                out != nullptr ? reinterpret_cast<LPSTR>(out->data()) : nullptr);
        DeleteDC(hdc);
        return r;
    }
    ULONG CreateLayerContext(DWORD pid, ULONG iFormat, ULONG iLayer) {
        std::vector<BYTE> out(4);
        DisplayCmd(pid, Request(GLCMD_CREATELAYERCONTEXT, 0, {0, iFormat, iLayer}), &out);
        ULONG dhrc;
        std::memcpy(&dhrc, out.data(), 4);
        return dhrc;
    }
    // The values the RAMDAC's overlay register (12) was given since the
    // last look.
    std::vector<ULONG> OverlayRegisterWrites() {
        std::vector<ULONG> v;
        for (const auto& w : board().take_ramdac_writes(0))
            if (w.index == 12) v.push_back(w.value);
        return v;
    }
    GLContext* Context() { return pdraw_ != nullptr && pdraw_->pContexts != nullptr ? pdraw_->pContexts->gc : nullptr; }

    // A section the application makes with its own kernel calls.
    struct Section {
        HANDLE h = nullptr;
        BYTE* pj = nullptr;  // the application's view
        ULONG Handle() const { return static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(h)); }
        PrimSegment* Ring() const { return reinterpret_cast<PrimSegment*>(pj); }
    };
    Section MakeSection(ULONG cj) {
        vnx::process::Scope as(app_);
        Section s;
        s.h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT, 0, cj, nullptr);
        if (s.h != nullptr) s.pj = static_cast<BYTE*>(MapViewOfFile(s.h, FILE_MAP_WRITE, 0, 0, 0));
        return s;
    }
    // The application's request segment, announced on first use; its first
    // half holds the requests.
    SMSegmentHeader* Half() {
        if (sm_.h == nullptr) {
            sm_ = MakeSection(SM_SEGMENT_SIZE);
            if (sm_.pj == nullptr || Escape(Request(GLCMD_CREATESMSEGMENT, 0, {SM_SEGMENT_SIZE, sm_.Handle()})) != 1)
                return nullptr;
        }
        auto* ph = reinterpret_cast<SMSegmentHeader*>(sm_.pj);
        ph->limit = SM_LIMIT;
        ph->readOffset = SM_FIRST_COMMAND;
        return ph;
    }
    // Render commands through the request segment's first half, run by
    // GLCMD_PROCESSSMREQUESTS.
    INT RunStream(const std::vector<BYTE>& stream) {
        SMSegmentHeader* ph = Half();
        if (ph == nullptr) return -1;
        std::memcpy(sm_.pj + SM_FIRST_COMMAND, stream.data(), stream.size());
        ph->writeOffset = SM_FIRST_COMMAND + static_cast<ULONG>(stream.size());
        return Escape(Request(GLCMD_PROCESSSMREQUESTS, 0, {}));
    }
    // A single request sent by GLCMD_SINGLE: the reply the server wrote into
    // the half (the previous contents are overwritten with a marker first,
    // so a request left unanswered shows), and in *pData the reply's data
    // when it went inline.
    glx::Reply RunSingle(const glx::Bytes& request, std::vector<BYTE>* pData = nullptr) {
        SMSegmentHeader* ph = Half();
        if (ph == nullptr) return glx::Reply{0xEE, 0xEE, 0, 0, 0, 0, 0};
        std::memset(ph->reply, 0xEE, sizeof ph->reply);
        std::memcpy(sm_.pj + SM_FIRST_COMMAND, request.data(), request.size());
        ph->writeOffset = SM_FIRST_COMMAND + static_cast<ULONG>(request.size());
        EXPECT_EQ(Escape(Request(GLCMD_SINGLE, 0, {})), 1);
        const glx::Reply r = glx::ReadReply(ph->reply);
        if (pData != nullptr) {
            const BYTE* pj = sm_.pj + SM_FIRST_COMMAND;
            const bool bInline = r.type == 1 && ph->replyInClientMemory == 0 && r.length <= SM_LIMIT / 4;
            pData->assign(pj, pj + (bInline ? r.length * 4 : 0));
        }
        return r;
    }
    // The reply's 32 bytes as they lie in the half.
    std::vector<BYTE> ReplyBytes() {
        const auto* ph = reinterpret_cast<const SMSegmentHeader*>(sm_.pj);
        return std::vector<BYTE>(ph->reply, ph->reply + sizeof ph->reply);
    }
    Section sm_;
};

}  // namespace glsrv_device
