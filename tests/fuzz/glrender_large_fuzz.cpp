// Fuzz target of the large-request path (GLCMD_RENDERLARGE) with the
// server's real handlers, on a real device and window (glserver_fuzz.h),
// with a display list open. An input is:
//   byte 0      bit 0: the list compiles and executes (else compiles only);
//               bit 1: the list is ended and called afterwards; bit 2: no
//               list is open
//   bytes 1-4   clientDataSize
//   bytes 5..   the command in large form, written at the half's first
//               command; the client's memory at clientData holds the whole
//               input too, for the out-of-line data
#include <sys/mman.h>

#include "glserver_fuzz.h"

namespace {

// 64 KB of the client's memory below 4 GB (client addresses are 32-bit).
BYTE* pjClientMemory() {
    static BYTE* pj = static_cast<BYTE*>(
        mmap(nullptr, 0x10000, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0));
    if (pj == MAP_FAILED) __builtin_trap();
    return pj;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace glserver_fuzz;
    if (size < 5 || size > 0x10000) return 0;
    Client client;
    if (!client.bStarted) __builtin_trap();
    glapp::Thread& t = client.thread;
    const bool bList = (data[0] & 4) == 0;
    if (bList) t.Single(glapp::SingleRequest(glapp::kNewList, {1, (data[0] & 1) ? 0x1301u : glapp::kCompile}));
    BYTE* pjClient = pjClientMemory();
    std::memset(pjClient, 0, 0x10000);
    std::memcpy(pjClient, data, size);
    std::vector<BYTE> command(data + 5, data + size);
    client.Substitute(command, 0);
    SMSegmentHeader* ph = t.Header();
    if (!command.empty()) std::memcpy(t.View() + SM_FIRST_COMMAND, command.data(), command.size());
    ph->limit = SM_LIMIT;
    ph->readOffset = SM_FIRST_COMMAND;
    ph->writeOffset = SM_FIRST_COMMAND + static_cast<ULONG>(command.size());
    ph->clientData = static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(pjClient));
    ph->clientDataSize = Word(data, size, 1);
    client.app.Cmd(GLCMD_RENDERLARGE);
    if (bList && (data[0] & 2)) {
        t.Single(glapp::SingleRequest(glapp::kEndList));
        t.Render(glx::Render("CallList", {1}));
    }
    return 0;
}
