// What the GL server's fuzz targets on a device share: the display driver
// (vornix, the library the target links) enabled on a device by the engine,
// the GL server built into the target (so libFuzzer sees its coverage) and
// started on that device as the driver starts the library it loads, and for
// each input an application (tests/gl/server/glapp.h) with a window, pixel
// format 1, a request segment and a context current on the window. The
// application's process ends after the input, so the clean-up of what the
// input made runs every time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_boot.h"
#include "gl/server/glapp.h"
#include "glsrv.h"
#include "platform/debug.h"

namespace glserver_fuzz {

// Words of an input that stand for the application's own objects, whose
// real values differ from run to run.
constexpr ULONG kContextWord = 0x5EC70001;  // the context's handle
constexpr ULONG kSegmentWord = 0x5EC70002;  // the segment id
constexpr ULONG kSectionWord = 0x5EC70003;  // the segment's section handle

inline vnx::engine::Device* Boot() {
    static vnx::engine::Device* device = [] {
        vnx::debug::set_echo(false);
        auto* d = boot_fuzz_device(1, "vornix.dll");
        if (!InitGLSrvDll(nullptr, GLSRV_PROCESS_ATTACH, nullptr) ||
            DrvEnableEscape(0x10002, reinterpret_cast<PDEV*>(d->dhpdev())) != 1)
            __builtin_trap();
        return d;
    }();
    return device;
}

// The application of one input.
struct Client {
    vnx::engine::Device* device = Boot();  // first: the window needs the display
    glapp::App app{RECTL{40, 30, 300, 200}, "fuzz"};
    glapp::Thread thread{app};
    bool bStarted = false;

    Client() { bStarted = app.ok() && thread.Start(); }
    ~Client() {
        app.End();
        vnx::debug::clear();
    }
    // The words of `in` from byte `from` on, with the stand-in words
    // replaced by the real values.
    void Substitute(std::vector<BYTE>& in, size_t from) const {
        const ULONG hSection = thread.Section();
        const ULONG hClient = thread.View() != nullptr ? thread.Header()->client : 0;
        for (size_t off = from; off + 4 <= in.size(); off += 4) {
            ULONG w;
            std::memcpy(&w, in.data() + off, 4);
            if (w == kContextWord) w = thread.dhrc();
            else if (w == kSegmentWord) w = hClient;
            else if (w == kSectionWord) w = hSection;
            std::memcpy(in.data() + off, &w, 4);
        }
    }
};

// Little-endian word at `off` of the input, 0 past its end.
inline ULONG Word(const std::uint8_t* data, std::size_t size, std::size_t off) {
    ULONG w = 0;
    if (off < size) std::memcpy(&w, data + off, size - off < 4 ? size - off : 4);
    return w;
}

}  // namespace glserver_fuzz
