// Fuzz target of display lists: compiling (with and without execution) and
// running lists as the tables reach them, over a context with its GL state
// and the dispatch tests' stand-ins for the parts not built yet (the
// primitive buffer opens batches, the unpack step copies images). An input
// is a run of operations, each a byte and its arguments:
//   0 name mode      NewList (mode bit 0: compile and execute, bit 1: a mode that is none)
//   1                EndList
//   2 first n        DeleteLists (n signed)
//   3 n              GenLists (n signed)
//   4 len16 op16 ..  a render request of len bytes (as the stream decoder
//                    hands it: a whole header, a length inside what it read)
//                    through the context's current table
//   5 len16 op16 ..  a large request of len bytes: kept by the list being
//                    compiled, else run as the large-request path runs it
//   6 name           CallList through the current table
//   7 name           IsList
// Everything the context made is freed after each input.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "dispatch/dispatch.h"
#include "list/list.h"
#include "mapped_segment.h"
#include "pixfmt/pixfmt.h"
#include "platform/debug.h"
#include "seams_double.h"
#include "segment/segment.h"
#include "state/state_requests.h"

namespace {

GLClient* gpgc = nullptr;
GLContext gContext{};
GLVisual gVisual{};

std::vector<std::uint8_t> SingleRequest(std::uint8_t op, std::initializer_list<ULONG> params) {
    std::vector<std::uint8_t> v = {0x80, op, static_cast<std::uint8_t>(2 + params.size()), 0, 0, 0, 0, 0};
    for (ULONG w : params) {
        const std::size_t at = v.size();
        v.resize(at + 4);
        std::memcpy(v.data() + at, &w, 4);
    }
    return v;
}

void Single(std::uint8_t op, std::initializer_list<ULONG> params) {
    const auto req = SingleRequest(op, params);
    __glXSingleTable[op](gpgc, req.data());
}

// A request of cj bytes (header included) from the input's bytes at pj.
std::vector<std::uint8_t> Request(const std::uint8_t* pj, std::size_t cjLeft, ULONG cjWanted, USHORT opcode,
                                  bool bLarge) {
    const ULONG cjHeader = bLarge ? 8 : 4;
    ULONG cj = cjWanted < cjHeader ? cjHeader : cjWanted;
    if (cj > cjHeader + cjLeft) cj = static_cast<ULONG>(cjHeader + cjLeft);
    if (!bLarge) cj &= ~3u;
    std::vector<std::uint8_t> v(cj, 0);
    if (bLarge) {
        const ULONG op = opcode;
        std::memcpy(v.data(), &cj, 4);
        std::memcpy(v.data() + 4, &op, 4);
    } else {
        const USHORT aus[2] = {static_cast<USHORT>(cj), opcode};
        std::memcpy(v.data(), aus, 4);
    }
    if (cj > cjHeader) std::memcpy(v.data() + cjHeader, pj, cj - cjHeader);
    return v;
}

void Large(std::vector<std::uint8_t> v, USHORT opcode) {
    GLContext* gc = &gContext;
    if (gc->bCompiling) {
        auto* plc = static_cast<GLLargeCommand*>(LocalAlloc(LPTR, sizeof(GLLargeCommand)));
        auto* pj = static_cast<BYTE*>(LocalAlloc(LPTR, v.size()));
        if (plc == nullptr || pj == nullptr) {
            LocalFree(plc);
            LocalFree(pj);
            return;
        }
        std::memcpy(pj, v.data(), v.size());
        const auto cj = static_cast<ULONG>(v.size());
        *plc = GLLargeCommand{cj, cj, 1, 0, 0, pj, 0};
        gc->pLarge = plc;
        if (__glXAppendLargeChunk(gpgc) != 0) {
            LocalFree(pj);
            LocalFree(plc);
        }
        gc->pLarge = nullptr;
        return;
    }
    // The body from +4 behind a render header {0, opcode}.
    const __GLXrenderHeader hdr{0, opcode};
    std::memcpy(v.data() + 4, &hdr, 4);
    gpgc->cjLarge = static_cast<ULONG>(v.size() - 4);
    __glXDispatchRender(gpgc, gc->pRenderTable, v.data() + 4);
    gpgc->cjLarge = 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vnx::debug::set_echo(false);
    InitGLSrvDll(nullptr, GLSRV_PROCESS_ATTACH, nullptr);
    glInitDispatchVectors();
    gpgc = pgcCurrent();
    glsrv_double::MapRequestSegment(gpgc);
    gVisual.bRGBA = 1;
    gVisual.cDepthBits = 24;
    gVisual.cStencilBits = 8;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (gpgc == nullptr || size > 0x10000) return 0;
    gContext = GLContext{};
    if (__glXCreateGLState(&gContext, TRUE) != 0) return 0;
    gContext.pRenderTable = __glXRenderTable;
    gContext.pVertexTable = __glXVertexTable;
    gContext.pvis = &gVisual;
    gContext.renderMode = GL_RENDER;
    gpgc->gc = &gContext;
    std::size_t off = 0;
    auto byte = [&]() -> std::uint8_t { return off < size ? data[off++] : 0; };
    auto u16 = [&]() -> USHORT { return static_cast<USHORT>(byte() | byte() << 8); };
    while (off < size) {
        switch (byte() % 8) {
            case 0: {
                const ULONG name = byte();
                const std::uint8_t m = byte();
                Single(101, {name, (m & 2) ? 0x1302u : (m & 1) ? 0x1301u : 0x1300u});
                break;
            }
            case 1: Single(102, {}); break;
            case 2: {
                const ULONG first = byte();
                Single(103, {first, static_cast<ULONG>(static_cast<LONG>(static_cast<signed char>(byte())))});
                break;
            }
            case 3: Single(104, {static_cast<ULONG>(static_cast<LONG>(static_cast<signed char>(byte())))}); break;
            case 4:
            case 5: {
                const bool bLarge = (data[off - 1] % 8) == 5;
                const ULONG cj = u16();
                const auto opcode = static_cast<USHORT>(u16() % GLX_RENDER_ENTRIES);
                const std::size_t cjLeft = size - off;
                auto v = Request(data + off, cjLeft, cj, opcode, bLarge);
                off += v.size() - (bLarge ? 8 : 4);
                if (bLarge) {
                    Large(std::move(v), opcode);
                } else {
                    __glXDispatchRender(gpgc, gContext.pRenderTable, v.data());
                }
                break;
            }
            case 6: {
                const ULONG name = byte();
                const std::uint8_t aj[8] = {8, 0, 1, 0, static_cast<std::uint8_t>(name), 0, 0, 0};
                __glXDispatchRender(gpgc, gContext.pRenderTable, aj);
                break;
            }
            default: Single(141, {byte()}); break;
        }
    }
    // Whatever the input left open goes with the context.
    if (gContext.pPending != nullptr) LocalFree(gContext.pPending);
    gContext.pPending = nullptr;
    __glXWaitPending(gpgc);
    __glXFreeContextLists(&gContext);
    // Pushed levels share blocks with the level below: popped first.
    while (gContext.pState != nullptr && gContext.pState->iDepth > 0 && __glXPopAttrib(&gContext) == 0) {
    }
    __glXFreeGLState(gContext.pState, gContext.pState->flPresent);
    gpgc->gc = nullptr;
    glsrv_double::gRecord.calls.clear();
    vnx::debug::clear();
    return 0;
}
