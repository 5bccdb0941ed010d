// Fuzz target of the lgi layer's command stream. An input is a buffer of
// 32-bit little-endian words handed to N_DispatchPackets whole, on a context
// made current once and put back to its new state before each input. The commands that carry a server address
// (16, 17, 22, 24) come only from the server itself; every word that would
// name one of them is turned into a no-op before the run, so the fuzzer
// works on everything else: counts, ids, table words, dirty bits, stack
// operations, draw commands that run past the buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "3d/context/context.h"
#include "context/image.h"
#include "context/texture.h"
#include "platform/debug.h"

// The GL server core beneath the lgi layer is not built in: no device, no
// texture loads on the board, and no scratch surfaces for the micro-code
// generator (it then builds nothing).
GLSRVDEVICE* __glDeviceRecord(void) { return nullptr; }
ULONG _DFindTexture(PDEV*, ULONG, ULONG, ULONG*) { return 0; }
ULONG _DLoadTexture(PDEV*, ULONG, ULONG, LONG, LONG, const void*, BOOL, const void*) { return 0; }
GLBuffer* _DCreateScratchPixmap(PDEV*) { return nullptr; }
void* _DAllocAccumBuffer(void) { return nullptr; }
GLBuffer* _DGetTmp32DevSurf(GLBuffer*) { return nullptr; }
void _DFreeScratchPixmap(GLBuffer** ppb) { *ppb = nullptr; }
// The GL server core's image transfers: no board buffers here.
GLBufferSet* _DBufferSetOf(const GLBuffer*) { return nullptr; }
ULONG _DGetImage(GLBufferSet*, ULONG, LONG, LONG, LONG, LONG, void*) { return 0; }
ULONG _DPutImage(GLBufferSet*, ULONG, LONG, LONG, LONG, LONG, void*) { return 0; }
ULONG _DPutImageZoom(GLBufferSet*, ULONG, LONG, LONG, LONG, LONG, LONG, LONG, const ULONG*, void*) { return 0; }
ULONG _DCopyImage(GLBufferSet*, ULONG, ULONG, LONG, LONG, LONG, LONG, LONG, LONG) { return 0; }

namespace {
N_Context* gpctx = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vnx::debug::set_echo(false);
    N_Init(nullptr, nullptr, 0, 0);
    gpctx = N_CreateContext(0);
    N_MakeCurrent(gpctx);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<ULONG> words(size / 4);
    if (!words.empty()) std::memcpy(words.data(), data, words.size() * 4);
    for (ULONG& w : words) {
        if (w == N_PKT_SAVE_STATE || w == N_PKT_GET_ATTR || w == N_PKT_RESTORE_STATE ||
            w == N_PKT_SET_ATTR_INDIRECT)
            w = N_PKT_NOP;
    }
    if (gpctx == nullptr) return 0;
    gpctx->sb = gNDefaultState;
    gpctx->dirty = N_DIRTY_ALL;
    N_DispatchPackets(words.data(), static_cast<LONG>(words.size()));
    vnx::debug::clear();
    return 0;
}
