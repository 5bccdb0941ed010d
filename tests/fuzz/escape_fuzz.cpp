// Fuzz target of the display driver's escapes: DrvEscape through ExtEscape
// from a client process's display device context, and DrvDrawEscape as the
// engine calls it, on the coverage-built driver (fuzz_boot.h). An input is
// a run of calls, each
//   byte 0      bit 7: DrvDrawEscape, else ExtEscape; the low bits pick the
//               code from the driver's codes below, or (past them) take the
//               next four bytes as the code
//   bytes 1-2   the input size; bytes 3-4 the output size (up to 4096)
//   the input's bytes (zero-filled where the input ends)
#include <cstddef>
#include <cstdint>
#include <vector>

#include "boardconfig.h"
#include "escapes.h"
#include "fuzz_boot.h"
#include "platform/debug.h"
#include "platform/gdi.h"
#include "platform/process.h"

namespace {

const LONG kCodes[] = {QUERYESCSUPPORT,        MCDFUNCS,       OPENGL_CMD, OPENGL_GETINFO,
                       ESC_LOADESCAPEMODULE,   ESC_UNLOADESCAPEMODULE,     ESC_DRIVERWORD,
                       ESC_PING,               ESC_UNLOADGLSERVER,         ESC_BOARDCONFIG,
                       ESC_HEIDI,              ESC_GETMODES};
constexpr std::size_t kCodeCount = sizeof kCodes / sizeof kCodes[0];

std::uint32_t Bytes(const std::uint8_t* data, std::size_t size, std::size_t off, std::size_t cj) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < cj; ++i)
        if (off + i < size) v |= static_cast<std::uint32_t>(data[off + i]) << (8 * i);
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static vnx::engine::Device* device = [] {
        vnx::debug::set_echo(false);
        return boot_fuzz_device();
    }();
    static auto pfnDrawEscape = reinterpret_cast<PFN_DrvDrawEscape>(device->function(INDEX_DrvDrawEscape));
    const DWORD pid = vnx::process::create("fuzz");
    {
        vnx::process::Scope as(pid);
        HDC hdc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
        SURFOBJ* pso = EngLockSurface(device->hsurf());
        if (hdc == nullptr || pso == nullptr) __builtin_trap();
        std::size_t off = 0;
        for (int cCalls = 0; off + 5 <= size && cCalls < 16; ++cCalls) {
            const std::uint8_t pick = data[off];
            const std::size_t which = pick & 0x7F;
            const std::size_t cjIn = Bytes(data, size, off + 1, 2);
            const std::size_t cjOut = Bytes(data, size, off + 3, 2) % 4097;
            off += 5;
            LONG iEsc;
            if (which < kCodeCount) {
                iEsc = kCodes[which];
            } else {
                iEsc = static_cast<LONG>(Bytes(data, size, off, 4));
                off += 4;
            }
            std::vector<BYTE> in(cjIn, 0), out(cjOut, 0);
            for (std::size_t i = 0; i < cjIn && off + i < size; ++i) in[i] = data[off + i];
            off += cjIn;
            if (pick & 0x80) {
                RECTL rcl{0, 0, 640, 480};
                if (pfnDrawEscape != nullptr)
                    pfnDrawEscape(pso, static_cast<ULONG>(iEsc), nullptr, &rcl, static_cast<ULONG>(in.size()),
                                  in.empty() ? nullptr : in.data());
            } else {
                ExtEscape(hdc, iEsc, static_cast<INT>(in.size()), reinterpret_cast<LPCSTR>(in.empty() ? nullptr : in.data()),
                          static_cast<INT>(out.size()), reinterpret_cast<LPSTR>(out.empty() ? nullptr : out.data()));
            }
        }
        EngUnlockSurface(pso);
        DeleteDC(hdc);
    }
    vnx::process::terminate(pid);
    vnx::debug::clear();
    return 0;
}
