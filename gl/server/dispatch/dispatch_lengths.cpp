// The body lengths of the render requests as the request description lays
// them out, and the one check of a render request's length before any
// handler runs.
#include <array>
#include <cstring>

#include "dispatch/dispatch.h"

namespace {

constexpr USHORT kNone = 0xFFFF;
// Opcodes up to the last private render request are looked up in a table.
constexpr ULONG kLookup = X_GLrop_DispatchPacketsZYD + 1;

// The fixed body of every render opcode, from the request description.
constexpr std::array<USHORT, kLookup> kFixedBody = [] {
    std::array<USHORT, kLookup> a{};
    a.fill(kNone);
    for (const GLXRenderRow& r : kGLXRenderRows) a[r.opcode] = static_cast<USHORT>(r.cjFixed);
    return a;
}();

}  // namespace

USHORT __glXRenderOpcode(const void* pvRequest) {
    USHORT opcode;
    std::memcpy(&opcode, static_cast<const BYTE*>(pvRequest) + 2, sizeof opcode);
    return opcode;
}

ULONG __glXRenderLength(const GLClient* pgc, const void* pvRequest) {
    USHORT cj;
    std::memcpy(&cj, pvRequest, sizeof cj);
    if (cj == 0 && pgc != nullptr) return pgc->cjLarge;
    return cj;
}

ULONG __glXRenderFixedBody(ULONG opcode) {
    if (opcode >= kLookup || kFixedBody[opcode] == kNone) return ~0u;
    return kFixedBody[opcode];
}

BOOL __glXRenderBodyFits(const GLClient* pgc, const void* pvRequest, ULONG cjBody) {
    if (cjBody == ~0u) cjBody = 0;  // no such request: nothing beyond the header is read
    const ULONG cj = __glXRenderLength(pgc, pvRequest);
    return cj >= 4 && cj - 4 >= cjBody;
}

ULONG __glXDispatchRender(GLClient* pgc, const __GLXdispatchFn* pTable, const void* pvRequest) {
    const ULONG opcode = __glXRenderOpcode(pvRequest);
    if (!__glXRenderBodyFits(pgc, pvRequest, __glXRenderFixedBody(opcode))) return __glXBadLength(pgc, pvRequest);
    return pTable[opcode](pgc, pvRequest);
}
