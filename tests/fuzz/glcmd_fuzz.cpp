// Fuzz target of the GL server's escapes. An input is one escape call:
//   byte 0      bit 0 clear: OPENGL_CMD, set: OPENGL_GETINFO;
//               bit 1 set: the word at +20 (a segment id) is replaced by the
//               calling thread's own client's, so requests reach its segment
//   bytes 1-2   the output size (little-endian, up to 2048)
//   the rest    the escape's input, handed over in a buffer of exactly its size
// The server is attached once. Before each call the thread has a client
// record with a request segment mapped, as the segment mapping leaves it, so
// the segment's read-pointer moves are reached too. Calls run without a
// calling process, as a client with no process handle.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "glcmd.h"
#include "glpdev.h"
#include "glsrv.h"
#include "pixfmt/pixfmt.h"
#include "platform/debug.h"

namespace {

constexpr ULONG kSegment = 2 * 0x200040;

// The thread's client, made when missing, with a segment mapped.
GLClient* pgcReady() {
    GLClient* pgc = pgcCurrentOrNew();
    if (pgc == nullptr || pgc->pMapping != nullptr) return pgc;
    HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_COMMIT, 0,
                                  kSegment, nullptr);
    BYTE* pjView = static_cast<BYTE*>(MapViewOfFile(h, FILE_MAP_WRITE, 0, 0, 0));
    auto* pm = static_cast<SMMapping*>(LocalAlloc(LPTR, sizeof(SMMapping)));
    *pm = SMMapping{kSegment, h, pjView};
    pgc->pMapping = pm;
    pgc->pHeader = pjView;
    return pgc;
}

// A device record holding what the pixel formats read: a double-buffered
// 16-bit board, so both layers exist for the layer-plane requests.
void vChooseFormats() {
    static PAGECONFIG pc{16, 32768, 256, 128, 16, {8, 8, 0, 0}, 0, 0, 0};
    const GLPDEVFIELDS& f = gGLPdevFields;
    static std::vector<BYTE> pdev(
        std::max({f.cjPageConfig, f.cjPixelClass, f.cjBoardConfig}) + sizeof(BoardConfig) + 64);
    PDEV* ppdev = reinterpret_cast<PDEV*>(pdev.data());
    *pGLPdevField<PAGECONFIG*>(ppdev, f.cjPageConfig) = &pc;
    *pGLPdevField<ULONG>(ppdev, f.cjPixelClass) = 1;
    pGLBoardConfig(ppdev)->doubleBuffer = 1;
    __glChooseFormatTable(ppdev);
    glInitVisualConfigs(ppdev);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vnx::debug::set_echo(false);
    InitGLSrvDll(nullptr, GLSRV_PROCESS_ATTACH, nullptr);
    vChooseFormats();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    GLClient* pgc = pgcReady();
    const ULONG cjOut = (data[1] | (static_cast<ULONG>(data[2]) << 8)) % 2049;
    std::vector<BYTE> in(data + 3, data + size);
    std::vector<BYTE> out(cjOut);
    if ((data[0] & 2) && pgc != nullptr && in.size() >= GLCMD_ARG(1))
        std::memcpy(in.data() + GLCMD_ARG(0), &pgc->hClient, sizeof pgc->hClient);
    PVOID pvIn = in.empty() ? nullptr : in.data();
    PVOID pvOut = out.empty() ? nullptr : out.data();
    if (data[0] & 1) ulOpenGLGetInfo(nullptr, static_cast<ULONG>(in.size()), pvIn, cjOut, pvOut);
    else ulOpenGLCmd(nullptr, static_cast<ULONG>(in.size()), pvIn, cjOut, pvOut);
    vnx::debug::clear();
    return 0;
}
