// Fuzz target of X_GLrop_PrimitiveZYD batches (glExecPrimitiveZYD) over a
// primitive ring and the real lgi layer, whose primitive entry records the
// batch. An input is:
//   bytes 0-19   the command's header (its length and opcode are set to
//                the command's own)
//   byte 20      bit 1: the rest drives the server's primitive buffer
//                instead: steps of 20 bytes, each a Begin (with a mode), a
//                per-vertex request (opcode and 16 bytes of arguments), an
//                End, or a take-back of the open primitive whose requests
//                are run again at once, and the buffer is handed on at the
//                end;
//                else bit 0: the ring's memory is written from the rest
//                (strip lengths and vertex flags at the batch's first
//                slot), else the rest is the command's inline arrays
//   the rest     as byte 20 says
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "dispatch/dispatch.h"
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

namespace {

// Per-vertex requests of the vertex-packet table, by a step's opcode byte.
constexpr std::uint16_t kVertexOps[] = {6,  8,  13, 14, 16, 21, 22, 24, 25, 28, 30, 49, 54, 58,
                                        62, 64, 65, 66, 70, 72, 74, 76, 96, 97, 98, 99};

// Takes the open primitive back out, hands on what the buffer held before
// it and runs the requests taken out: they must be whole requests that
// Begin and the vertex-packet table take, with values they accept.
void vTakeBack(const std::vector<__GLXvertexFn>& table) {
    BYTE* pj = nullptr;
    ULONG cj = 0;
    if (!__glTakeBackPrimitive(&gClient, &pj, &cj)) return;
    __glXFlushPending(&gClient);
    gContext.bInBegin = 0;
    for (ULONG off = 0; off < cj;) {
        std::uint16_t hdr[2];
        if (cj - off < 4) __builtin_trap();
        std::memcpy(hdr, pj + off, 4);
        if (hdr[0] < 4 || hdr[0] % 4 != 0 || hdr[0] > cj - off || hdr[0] > 4 + 16 + 8) __builtin_trap();
        std::uint32_t args[6] = {};
        std::memcpy(args, pj + off + 4, hdr[0] - 4u);
        if (hdr[1] == X_GLrop_Begin) {
            if (off != 0) __builtin_trap();
            if (__glXDisp_Begin(&gClient, pj + off) != 0) break;
        } else if (hdr[1] >= GLX_RENDER_ENTRIES || table[hdr[1]] == __glXVtx_Invalid || off == 0 ||
                   table[hdr[1]](gContext.pPrimBuffer, args) != GL_NO_ERROR) {
            // A value the handler refuses is a word no request set.
            __builtin_trap();
        }
        off += hdr[0];
    }
    LocalFree(pj);
}

void vRunBuffer(const std::uint8_t* p, std::size_t cb) {
    static std::vector<__GLXvertexFn> table;
    if (table.empty()) {
        table.assign(GLX_RENDER_ENTRIES, __glXVtx_Invalid);
        __glXFillVertexTable(table.data());
    }
    gContext.pVertexTable = table.data();
    for (; cb >= 20; p += 20, cb -= 20) {
        const std::uint8_t op = p[0];
        if (op < 8) {
            if (gContext.bInBegin) continue;
            std::uint8_t req[8] = {8, 0, 4, 0};
            std::memcpy(req + 4, p + 4, 4);
            req[4] %= 11;  // mostly valid modes
            req[5] = req[6] = req[7] = 0;
            __glXDisp_Begin(&gClient, req);
        } else if (op < 16) {
            if (!gContext.bInBegin) continue;
            if (__glClosePrimitive(&gClient) != 0 || (op & 1)) __glSendPrimitive(&gClient);
            gContext.bInBegin = 0;
        } else if (op < 18) {
            if (gContext.bInBegin) vTakeBack(table);
        } else if (gContext.bInBegin) {
            std::uint32_t args[4];
            std::memcpy(args, p + 4, 16);
            const std::uint16_t opcode = kVertexOps[op % (sizeof kVertexOps / sizeof kVertexOps[0])];
            table[opcode](gContext.pPrimBuffer, args);
        }
    }
    if (gContext.bInBegin) {
        __glClosePrimitive(&gClient);
        gContext.bInBegin = 0;
    }
    __glXFlushPending(&gClient);
    __glXWaitPending(&gClient);
    __glFreePrimState(&gContext);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 21 || size > 0xFFF0) return 0;
    if (data[20] & 2) {
        vRunBuffer(data + 21, size - 21);
        prim_double::Clear();
        vnx::debug::clear();
        return 0;
    }
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
