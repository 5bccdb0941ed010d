// Applications of the GL server as the client driver drives it, for the load,
// process-death and fault probes (tests) and the long load run (bench): a
// logical process with a window on the display, pixel format 1 set on the
// window's device context, and per thread a request segment of its own and
// a context made current on the window. Everything goes through ExtEscape
// and SwapBuffers from the application's process, as an application's
// OpenGL calls will.
#pragma once

#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "escapes.h"
#include "gl/glx/glx_encoder.h"
#include "glcmd.h"
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/process.h"
#include "platform/windows.h"
#include "smsegment.h"

namespace glapp {

using glx::Bytes;

// An OPENGL_CMD request: the header with its flag word, then argument words.
inline std::vector<BYTE> Request(ULONG ulSubEsc, std::vector<ULONG> args = {}, ULONG fl = 0) {
    std::vector<ULONG> words = {ulSubEsc, fl, 0, 0, 0};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<BYTE> v(words.size() * 4);
    std::memcpy(v.data(), words.data(), v.size());
    return v;
}

// A single request of any opcode with its parameter words.
inline Bytes SingleRequest(std::uint8_t opcode, std::vector<std::uint32_t> words = {}) {
    Bytes b{glx::kMajorOpcode, opcode};
    glx::Put16(b, static_cast<std::uint16_t>(2 + words.size()));
    glx::Put32(b, 0);
    for (std::uint32_t w : words) glx::Put32(b, w);
    return b;
}
constexpr std::uint8_t kNewList = 101, kEndList = 102, kGenLists = 104;
constexpr ULONG kCompile = 0x1300;

// The first describe of a pixel format makes the display driver load the
// GL server: a process of its own asks it once.
inline void LoadServer() {
    const DWORD pid = vnx::process::create("loader");
    {
        vnx::process::Scope as(pid);
        HDC hdc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
        DescribePixelFormat(hdc, 1, 0, nullptr);
        DeleteDC(hdc);
    }
    vnx::process::terminate(pid);
}

class App {
  public:
    // A process of its own with a window at rcl; ok() says whether all of
    // it could be made.
    explicit App(const RECTL& rcl, const char* name = "app") : pid_(vnx::process::create(name)) {
        vnx::process::Scope as(pid_);
        hwnd_ = vnx::windows::create(rcl);
        if (hwnd_ != nullptr) hdc_ = GetDC(hwnd_);
        bFormat_ = hdc_ != nullptr && SetPixelFormat(hdc_, 1, nullptr);
    }
    ~App() { End(); }
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    bool ok() const { return bFormat_; }
    DWORD pid() const { return pid_; }
    HWND hwnd() const { return hwnd_; }
    // Ends the process (its window, contexts, handles and views go with
    // it). Its threads' requests may be running in the server meanwhile,
    // but none of them is touching the process's own memory: a process's
    // threads end with it.
    void End() {
        std::unique_lock<std::shared_mutex> g(life_);
        if (pid_ != 0 && vnx::process::is_alive(pid_)) vnx::process::terminate(pid_);
        bEnded_ = true;
    }
    // Runs fn on the process's own memory while the process lives; false
    // once it has ended.
    template <class Fn>
    bool InProcess(Fn fn) const {
        std::shared_lock<std::shared_mutex> g(life_);
        if (bEnded_) return false;
        fn();
        return true;
    }

    INT Escape(INT iEsc, const std::vector<BYTE>& in, std::vector<BYTE>* out = nullptr) const {
        vnx::process::Scope as(pid_);
        return ExtEscape(hdc_, iEsc, static_cast<INT>(in.size()), reinterpret_cast<LPCSTR>(in.data()),
                         out != nullptr ? static_cast<INT>(out->size()) : 0,
                         out != nullptr ? reinterpret_cast<LPSTR>(out->data()) : nullptr);
    }
    INT Cmd(ULONG ulSubEsc, std::vector<ULONG> args = {}, ULONG fl = 0, std::vector<BYTE>* out = nullptr) const {
        return Escape(OPENGL_CMD, Request(ulSubEsc, std::move(args), fl), out);
    }
    BOOL Swap() const {
        vnx::process::Scope as(pid_);
        return SwapBuffers(hdc_);
    }
    bool Move(const RECTL& rcl) const {
        vnx::process::Scope as(pid_);
        return vnx::windows::move(hwnd_, rcl);
    }

  private:
    DWORD pid_ = 0;
    HWND hwnd_ = nullptr;
    HDC hdc_ = nullptr;
    bool bFormat_ = false;
    mutable std::shared_mutex life_;
    bool bEnded_ = false;
};

// One drawing thread of an application: used only on the thread that
// started it (the server keeps one client record per serving thread).
class Thread {
  public:
    explicit Thread(const App& app) : app_(app) {}
    ~Thread() { Unmap(); }
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Segment, context, made current on the window: false at the first
    // step that fails.
    bool Start() {
        {
            vnx::process::Scope as(app_.pid());
            hSection_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT, 0,
                                           SM_SEGMENT_SIZE, nullptr);
            if (hSection_ == nullptr) return false;
            pjView_ = static_cast<BYTE*>(MapViewOfFile(hSection_, FILE_MAP_WRITE, 0, 0, 0));
            if (pjView_ == nullptr) return false;
        }
        if (app_.Cmd(GLCMD_CREATESMSEGMENT, {SM_SEGMENT_SIZE, Section()}) != 1) return false;
        std::vector<BYTE> out(4, 0);
        if (app_.Cmd(GLCMD_CREATECONTEXT, {0, 1}, 0, &out) != 1) return false;
        std::memcpy(&dhrc_, out.data(), 4);
        return app_.Cmd(GLCMD_SETCONTEXT, {0, dhrc_}, OGLCMD_NEEDWNDOBJ | OGLCMD_NEEDXLATEOBJ) == 1;
    }
    ULONG dhrc() const { return dhrc_; }
    ULONG Section() const { return static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(hSection_)); }
    SMSegmentHeader* Header() const { return reinterpret_cast<SMSegmentHeader*>(pjView_); }
    BYTE* View() const { return pjView_; }

    // A stream of render commands through the first half; the escape's answer.
    INT Render(const Bytes& stream) {
        if (!Write(stream)) return -1;
        return app_.Cmd(GLCMD_PROCESSSMREQUESTS);
    }
    // A single request; its reply (type 0 when there was none).
    glx::Reply Single(const Bytes& request) {
        if (!Write(request)) return glx::Reply{};
        if (app_.Cmd(GLCMD_SINGLE) != 1) return glx::Reply{};
        glx::Reply r{};
        app_.InProcess([&] { r = glx::ReadReply(Header()->reply); });
        return r;
    }
    INT Detach() { return app_.Cmd(GLCMD_THREADDETACH); }

  private:
    bool Write(const Bytes& bytes) {
        if (pjView_ == nullptr || bytes.size() + 4 > SM_LIMIT - SM_FIRST_COMMAND) return false;
        return app_.InProcess([&] {
            std::memcpy(pjView_ + SM_FIRST_COMMAND, bytes.data(), bytes.size());
            std::memset(pjView_ + SM_FIRST_COMMAND + bytes.size(), 0, 4);
            SMSegmentHeader* ph = Header();
            ph->status = 0;
            ph->limit = SM_LIMIT;
            ph->readOffset = SM_FIRST_COMMAND;
            ph->writeOffset = SM_FIRST_COMMAND + static_cast<std::uint32_t>(bytes.size());
        });
    }
    void Unmap() {
        // Once the process ended its views and handles went with it.
        app_.InProcess([&] {
            vnx::process::Scope as(app_.pid());
            if (pjView_ != nullptr) UnmapViewOfFile(pjView_);
            if (hSection_ != nullptr) CloseHandle(hSection_);
        });
    }

    const App& app_;
    HANDLE hSection_ = nullptr;
    BYTE* pjView_ = nullptr;
    ULONG dhrc_ = 0;
};

// Lists first .. first + count - 1, each drawing a little and calling the
// next one `calls` times (the last calls none): list work that grows as
// calls^count for one CallList of the first.
inline void CompileChain(Thread& t, ULONG first, ULONG count, ULONG calls) {
    for (ULONG n = first; n < first + count; ++n) {
        t.Single(SingleRequest(kNewList, {n, kCompile}));
        Bytes body = glx::Render("LineWidth", {glx::F(static_cast<float>(n % 7 + 1))});
        if (n + 1 < first + count)
            for (ULONG c = 0; c < calls; ++c) {
                const Bytes call = glx::Render("CallList", {n + 1});
                body.insert(body.end(), call.begin(), call.end());
            }
        t.Render(body);
        t.Single(SingleRequest(kEndList));
    }
}

// Lists 2 .. last, each calling the list before it four times (list 1 is
// the caller's): one CallList of the last runs list 1 4^(last - 1) times.
inline void CompileCallChain(Thread& t, ULONG last) {
    for (ULONG n = 2; n <= last; ++n) {
        t.Single(SingleRequest(kNewList, {n, kCompile}));
        Bytes body;
        for (int c = 0; c < 4; ++c) {
            const Bytes call = glx::Render("CallList", {n - 1});
            body.insert(body.end(), call.begin(), call.end());
        }
        t.Render(body);
        t.Single(SingleRequest(kEndList));
    }
}

}  // namespace glapp
