// Fuzz target of the batched command escape (MCDFUNCS): each input is the
// escape's input as a client sends it, run in a fresh client process that
// holds a section mapped for the driver, a window and a context, so that
// section batches, windows and contexts are reached. In the header, handle
// words of 1 stand for the process's own section, window and context (the
// real values differ from run to run), as do the words 0x5EC70001 (the
// section) and 0x5EC70002 (the context) anywhere after it. The input's
// bytes after the header are also what the client's view of the section
// holds, which the client says lies at 0x10000000.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <vector>

#include "escapes.h"
#include "mcdbatch.h"
#include "platform/engine.h"
#include "platform/gdi.h"
#include "platform/process.h"
#include "platform/windows.h"

namespace {

constexpr ULONG kClientBase = 0x10000000;
constexpr ULONG kSectionSize = 0x10000;

vnx::engine::Device* boot() {
    vnx::miniport::MachineConfig cfg;
    cfg.rasterizers = 2;
    auto* device = new vnx::engine::Device(cfg);
    DEVMODEW dm{};
    dm.dmSize = sizeof dm;
    dm.dmPelsWidth = 640;
    dm.dmPelsHeight = 480;
    dm.dmBitsPerPel = 16;
    dm.dmLogPixels = 96;
    if (!device->load_driver("vornix_fuzz.dll") || !device->enable_pdev(dm) || !device->enable_surface()) __builtin_trap();
    return device;
}

ULONG escape(HDC hdc, const std::vector<BYTE>& in, ULONG cjOut = 0, void* pvOut = nullptr) {
    return static_cast<ULONG>(ExtEscape(hdc, MCDFUNCS, static_cast<INT>(in.size()),
                                        reinterpret_cast<LPCSTR>(in.data()), static_cast<INT>(cjOut),
                                        static_cast<LPSTR>(pvOut)));
}

std::vector<BYTE> inline_input(ULONG flags, std::vector<ULONG> words) {
    BATCHHDR hdr{};
    hdr.flags = flags;
    hdr.pInline = sizeof hdr;
    hdr.cjInline = static_cast<ULONG>(words.size() * 4);
    std::vector<BYTE> in(sizeof hdr + hdr.cjInline);
    std::memcpy(in.data(), &hdr, sizeof hdr);
    std::memcpy(in.data() + sizeof hdr, words.data(), hdr.cjInline);
    return in;
}

ULONG substitute(ULONG value, ULONG real) { return value == 1 ? real : value; }

constexpr ULONG kSectionWord = 0x5EC70001;
constexpr ULONG kContextWord = 0x5EC70002;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static vnx::engine::Device* device = boot();
    (void)device;
    const DWORD pid = vnx::process::create("fuzz");
    {
        vnx::process::Scope as(pid);
        HDC hdc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
        HANDLE hSection = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                             kSectionSize, nullptr);
        BYTE* view = static_cast<BYTE*>(MapViewOfFile(hSection, FILE_MAP_ALL_ACCESS, 0, 0, 0));
        if (hdc == nullptr || view == nullptr) __builtin_trap();
        const ULONG hShMem = escape(hdc, inline_input(BATCH_FL_SETUP,
                                                     {BATCH_SETUP, BATCH_SETUP_MAP, 0, pid,
                                                      static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(hSection)),
                                                      0, kSectionSize, kClientBase}));
        HWND hwnd = vnx::windows::create(RECTL{40, 30, 300, 200});
        const ULONG hwnd32 = static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(hwnd));
        vnx::windows::create(RECTL{100, 60, 160, 90});  // covers part of it
        const ULONG hrc = escape(hdc, inline_input(BATCH_FL_CREATE_CONTEXT, {BATCH_CREATE_CONTEXT, hwnd32, 1}));

        std::vector<BYTE> in(data, data + size);
        if (in.size() >= sizeof(BATCHHDR)) {
            BATCHHDR hdr;
            std::memcpy(&hdr, in.data(), sizeof hdr);
            hdr.hrc = substitute(hdr.hrc, hrc);
            hdr.hShMem = substitute(hdr.hShMem, hShMem);
            hdr.pwo = substitute(hdr.pwo, hwnd32);
            std::memcpy(in.data(), &hdr, sizeof hdr);
            for (size_t off = sizeof hdr; off + 4 <= in.size(); off += 4) {
                ULONG ul;
                std::memcpy(&ul, in.data() + off, 4);
                if (ul == kSectionWord) std::memcpy(in.data() + off, &hShMem, 4);
                if (ul == kContextWord) std::memcpy(in.data() + off, &hrc, 4);
            }
            std::memcpy(view, in.data() + sizeof hdr, std::min<size_t>(in.size() - sizeof hdr, kSectionSize));
        }
        std::vector<BYTE> out(256);
        escape(hdc, in, static_cast<ULONG>(out.size()), out.data());
    }
    vnx::process::terminate(pid);  // releases its section, contexts and windows
    return 0;
}
