// Fuzz target of large render commands. An input is:
//   byte 0      bit 0: a display list is being compiled; bit 1: clientData
//               is bytes 5-8 as given, else the client's 4 KB of memory
//   bytes 1-4   clientDataSize
//   bytes 9..   the command in large form, written at the half's first command
// No display list is open, so the list refuses every command and the server
// frees what it made; a handler reads the whole command.
#include "segment_fuzz.h"

namespace {

// Reads the whole command as its header and the client's cjLarge give it.
ULONG ReadLarge(GLClient* pgc, const void* pRequest) {
    const auto* pj = static_cast<const BYTE*>(pRequest);
    USHORT cj;
    std::memcpy(&cj, pj, sizeof cj);
    const ULONG cjAll = cj != 0 ? cj : pgc->cjLarge;
    ULONG sum = 0;
    for (ULONG i = 0; i < cjAll; ++i) sum += pj[i];
    segment_fuzz::gSink = sum;
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace segment_fuzz;
    if (size < 9) return 0;
    Harness& h = Get();
    static std::vector<__GLXdispatchFn> large(GLX_RENDER_ENTRIES, ReadLarge);
    Place(h, data, size, 9);
    SMSegmentHeader* ph = Header(h);
    ph->clientDataSize = Word(data, size, 1);
    ph->clientData = (data[0] & 2)
                         ? Word(data, size, 5)
                         : static_cast<ULONG>(reinterpret_cast<std::uintptr_t>(h.pjClient));
    h.gc.bCompiling = data[0] & 1;
    h.gc.pRenderTable = large.data();
    __glRenderLarge(h.pgc);
    h.gc.pRenderTable = h.render.data();
    h.gc.bCompiling = 0;
    Done();
    return 0;
}
