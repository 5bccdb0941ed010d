// Fuzz target of the render-request handlers as the tables reach them. An
// input is one render request:
//   byte 0     which table: 0 outside Begin/End, 1 between Begin and End,
//              2 compiling a display list
//   the rest   the request, handed over in a buffer of exactly its size
// The request stream hands a handler a whole header with a length that
// stays inside what it read (or, for a large command, a length of 0 with
// the real length in the client record); the opcode is below 4117. The
// target keeps those promises and nothing else.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "dispatch/dispatch.h"
#include "matrix/matrix.h"
#include "prim/prim.h"
#include "state/state_requests.h"
#include "platform/debug.h"

namespace {

GLContext gContext{};
GLState* gpState = nullptr;  // the context's GL state, made once

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    vnx::debug::set_echo(false);
    InitGLSrvDll(nullptr, GLSRV_PROCESS_ATTACH, nullptr);
    glInitDispatchVectors();
    if (__glXCreateGLState(&gContext, TRUE) == 0) gpState = gContext.pState;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5 || size > 0x10000) return 0;
    GLClient* pgc = pgcCurrentOrNew();
    if (pgc == nullptr) return 0;
    const __GLXdispatchFn* tables[] = {__glXRenderTable, __glXRenderBeginEndTable,
                                       __glXRenderListTable};
    const __GLXdispatchFn* pTable = tables[data[0] % 3];
    std::vector<std::uint8_t> request(data + 1, data + size);
    USHORT cj;
    USHORT opcode;
    std::memcpy(&cj, request.data(), 2);
    std::memcpy(&opcode, request.data() + 2, 2);
    opcode = static_cast<USHORT>(opcode % GLX_RENDER_ENTRIES);
    std::memcpy(request.data() + 2, &opcode, 2);
    if (cj > request.size()) {
        cj = static_cast<USHORT>(request.size());
        std::memcpy(request.data(), &cj, 2);
    }
    pgc->cjLarge = cj == 0 ? static_cast<ULONG>(request.size()) : 0;

    __glFreePrimState(&gContext);  // what Begin opened in the last input
    gContext = GLContext{};
    gContext.pState = gpState;
    if (gpState != nullptr) __glXResetStacks(&gContext);  // every input starts from the same matrices
    gContext.pRenderTable = pTable;
    gContext.pVertexTable = __glXVertexTable;
    gContext.bInBegin = pTable == __glXRenderBeginEndTable;
    gContext.bCompiling = pTable == __glXRenderListTable;
    pgc->gc = &gContext;
    __glXDispatchRender(pgc, pTable, request.data());
    // An attribute push is undone, so that every input starts from the
    // context's own level.
    while (gContext.pState != nullptr && gContext.pState != gpState && __glXPopAttrib(&gContext) == 0) {
    }
    pgc->gc = nullptr;
    pgc->cjLarge = 0;
    vnx::debug::clear();
    return 0;
}
