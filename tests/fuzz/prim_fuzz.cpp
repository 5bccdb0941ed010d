// Fuzz target of X_GLrop_PrimitiveZYD batches (glExecPrimitiveZYD) over a
// primitive ring and the real lgi layer, whose primitive entry records the
// batch. An input is:
//   bytes 0-19   the command's header (its length and opcode are set to
//                the command's own)
//   byte 20      bit 0: the ring's memory is written from the rest (strip
//                lengths and vertex flags at the batch's first slot),
//                else the rest is the command's inline arrays
//   the rest     as byte 20 says
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "lgi_double.h"
#include "platform/debug.h"
#include "prim/prim.h"

namespace {

GLContext gContext{};
GLClient gClient{};
std::unique_ptr<PrimSegment> gRing;
__GLXprimSegment* gpState = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vnx::debug::set_echo(false);
    N_Init(nullptr, nullptr, 0, 0);
    gContext.pnc = N_CreateContext(0);
    N_MakeCurrent(gContext.pnc);
    gRing.reset(new PrimSegment{});
    gpState = static_cast<__GLXprimSegment*>(LocalAlloc(LPTR, sizeof(__GLXprimSegment)));
    gpState->pView = gRing.get();
    gClient.gc = &gContext;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 21 || size > 0xFFF0) return 0;
    gContext.pPrimSegment = gpState;
    std::vector<std::uint8_t> cmd(data, data + 20);
    const bool bRing = data[20] & 1;
    const std::uint8_t* rest = data + 21;
    const std::size_t cbRest = size - 21;
    if (bRing) {
        PrimitiveZYDHeader h;
        std::memcpy(&h, data, sizeof h);
        const std::size_t first = h.first % PRIM_SEGMENT_VERTICES;
        const std::size_t cbStrips = (PRIM_SEGMENT_VERTICES - first) * 4;
        const std::size_t cbHalf = cbRest / 2;
        std::memcpy(&gRing->stripLengths[first], rest, cbHalf < cbStrips ? cbHalf : cbStrips);
        const std::size_t cbFlags = cbRest - cbHalf;
        std::memcpy(&gRing->vertexFlags[first], rest + cbHalf, cbFlags < cbStrips ? cbFlags : cbStrips);
    } else {
        cmd.insert(cmd.end(), rest, rest + (cbRest & ~std::size_t{3}));
    }
    const auto cj = static_cast<std::uint16_t>(cmd.size());
    const std::uint16_t opcode = 1025;
    std::memcpy(cmd.data(), &cj, 2);
    std::memcpy(cmd.data() + 2, &opcode, 2);
    glExecPrimitiveZYD(&gClient, cmd.data());
    prim_double::Clear();
    gContext.pPrimSegment = nullptr;
    vnx::debug::clear();
    return 0;
}
