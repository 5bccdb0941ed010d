// Fuzz target of large render commands. An input is:
//   byte 0      bit 0: a display list is being compiled; bit 1: clientData
//               is bytes 5-8 as given, else the client's 4 KB of memory
//   bytes 1-4   clientDataSize
//   bytes 9..   the command in large form, written at the half's first command
// The display list's stand-in refuses every command, so the server frees
// what it made; a handler reads the opcode word and the arguments.
#include "segment_fuzz.h"

namespace {

ULONG ReadLarge(GLClient*, const void* pRequest) {
    segment_fuzz::gSink = *static_cast<const volatile BYTE*>(pRequest);
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace segment_fuzz;
    if (size < 9) return 0;
    Harness& h = Get();
    static std::vector<__GLXdispatchFn> large(GLX_RENDER_TABLE_SIZE, ReadLarge);
    Place(h, data, size, 9);
    SMSegmentHeader* ph = Header(h);
    ph->clientDataSize = Word(data, size, 1);
    ph->clientData = (data[0] & 2) ? Word(data, size, 5)
                                   : static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(h.pjClient));
    h.gc.listCompile = data[0] & 1;
    h.gc.renderTable = large.data();
    glsrv_double::gAnswers.ulAppend = BadAlloc;
    __glRenderLarge(h.pgc);
    h.gc.renderTable = h.render.data();
    h.gc.listCompile = 0;
    Done();
    return 0;
}
