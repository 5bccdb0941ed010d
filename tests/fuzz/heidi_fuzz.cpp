// Fuzz target of the immediate-mode 3D escape (ESC_HEIDI): each input is a
// run of commands from a fresh client process that has bound a window with
// a section of its own. The input's first two bytes (little-endian) say how
// many of the following bytes go into the client's view of the section from
// byte 0 on (header, vertices, images); the bytes after them are command
// records of 60 bytes each (a shorter last one is sent as it is). In a
// record, a window word (word 2) of 1 stands for the bound window's handle;
// in an init record word 2 of 1 is the process's window and word 3 of 1 its
// section.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "escapes.h"
#include "heidiesc.h"
#include "fuzz_boot.h"
#include "platform/engine.h"
#include "platform/gdi.h"
#include "platform/process.h"
#include "platform/windows.h"

namespace {

constexpr ULONG kSectionSize = 0x10000;

ULONG escape(HDC hdc, const void* pv, size_t cj, ULONG* pulOut) {
    return static_cast<ULONG>(ExtEscape(hdc, ESC_HEIDI, static_cast<INT>(cj), static_cast<LPCSTR>(pv),
                                        sizeof *pulOut, reinterpret_cast<LPSTR>(pulOut)));
}

ULONG word(const BYTE* p, size_t off) {
    ULONG ul;
    std::memcpy(&ul, p + off, 4);
    return ul;
}
void set_word(BYTE* p, size_t off, ULONG ul) { std::memcpy(p + off, &ul, 4); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Memory class 2: room for the back and depth buffers.
    static vnx::engine::Device* device = boot_fuzz_device(2);
    (void)device;
    if (size < 2) return 0;
    const size_t cjView = std::min<size_t>(data[0] | data[1] << 8, size - 2);
    const DWORD pid = vnx::process::create("fuzz");
    {
        vnx::process::Scope as(pid);
        HDC hdc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
        HANDLE hSection = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSectionSize, nullptr);
        BYTE* view = static_cast<BYTE*>(MapViewOfFile(hSection, FILE_MAP_ALL_ACCESS, 0, 0, 0));
        if (hdc == nullptr || view == nullptr) __builtin_trap();
        HWND hwnd = vnx::windows::create(RECTL{40, 30, 300, 200});
        vnx::windows::create(RECTL{100, 60, 160, 90});  // covers part of it
        const ULONG hwnd32 = static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(hwnd));
        const ULONG hSection32 = static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(hSection));
        HEIDICMD init{};
        init.ulCode = HEIDI_INIT;
        init.hWindow = hwnd32;
        set_word(reinterpret_cast<BYTE*>(&init), 12, hSection32);
        set_word(reinterpret_cast<BYTE*>(&init), 16, kSectionSize);
        ULONG h = 0;
        escape(hdc, &init, sizeof init, &h);
        std::memcpy(view, data + 2, cjView);

        for (size_t off = 2 + cjView; off < size; off += sizeof(HEIDICMD)) {
            BYTE rec[sizeof(HEIDICMD)] = {};
            const size_t cj = std::min(sizeof rec, size - off);
            std::memcpy(rec, data + off, cj);
            if (cj >= 12 && word(rec, 8) == 1) set_word(rec, 8, word(rec, 0) == HEIDI_INIT ? hwnd32 : h);
            if (cj >= 16 && word(rec, 0) == HEIDI_INIT && word(rec, 12) == 1) set_word(rec, 12, hSection32);
            ULONG out = 0;
            escape(hdc, rec, cj, &out);
        }
    }
    vnx::process::terminate(pid);  // releases its window record, textures and section
    return 0;
}
