// The body lengths of the render requests as the request description lays
// them out, and the one check of a render request's length before any
// handler runs: its fixed arguments, then the variable part they call for
// by the row's rule.
#include <array>
#include <cstdint>
#include <cstring>

#include "dispatch/dispatch.h"
#include "eval/eval.h"
#include "glrequest_sizes.h"
#include "list/list.h"
#include "pixel/pixel.h"

namespace {

// Opcodes up to the last private render request are looked up in a table.
constexpr ULONG kLookup = X_GLrop_DispatchPacketsZYD + 1;

// The row of every render opcode, from the request description.
constexpr std::array<const GLXRenderRow*, kLookup> kRows = [] {
    std::array<const GLXRenderRow*, kLookup> a{};
    for (const GLXRenderRow& r : kGLXRenderRows) a[r.opcode] = &r;
    return a;
}();

const GLXRenderRow* pRowOf(ULONG opcode) { return opcode < kLookup ? kRows[opcode] : nullptr; }

// The variable part is read only by the request's own handler: outside
// Begin/End, and between Begin and End by the requests that run there. A
// list being compiled keeps the request as it came; the check runs when
// the list runs it.
bool bHandlerReadsVariable(const __GLXdispatchFn* pTable, const GLXRenderRow& r) {
    if (pTable == __glXRenderListTable) return false;
    if (pTable == __glXRenderBeginEndTable) return r.beginEnd == GLXBeginEnd::CALL || r.beginEnd == GLXBeginEnd::VERTEX;
    return true;
}

}  // namespace

std::uint64_t __glXRenderVariableBody(const GLClient* pgc, ULONG opcode, const void* pvRequest) {
    const GLXRenderRow* pRow = pRowOf(opcode);
    if (pRow == nullptr) return 0;
    const BYTE* pjFixed = static_cast<const BYTE*>(pvRequest) + 4;
    switch (pRow->variable) {
        case GLXVariable::PNAME: {
            ULONG pname;
            std::memcpy(&pname, pjFixed + pRow->cjFixed - 4, 4);
            return GLXParamValues(opcode, pname) * GLXParamValueBytes(*pRow);
        }
        case GLXVariable::LIST: {
            const GLContext* gc = pgc != nullptr ? pgc->gc : nullptr;
            return gc != nullptr ? __glXCallListsNameBytes(gc, pjFixed) : 0;
        }
        case GLXVariable::MAP: return __glXMapPointBytes(opcode, pjFixed);
        case GLXVariable::MAPSIZE: return __glXPixelMapValueBytes(opcode, pjFixed);
        case GLXVariable::IMAGE:  // the unpack step reads the image only inside the request
        case GLXVariable::NONE: return 0;
    }
    return 0;
}

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
    const GLXRenderRow* pRow = pRowOf(opcode);
    return pRow != nullptr ? pRow->cjFixed : ~0u;
}

BOOL __glXRenderBodyFits(const GLClient* pgc, const void* pvRequest, ULONG cjBody) {
    if (cjBody == ~0u) cjBody = 0;  // no such request: nothing beyond the header is read
    const ULONG cj = __glXRenderLength(pgc, pvRequest);
    return cj >= 4 && cj - 4 >= cjBody;
}

ULONG __glXDispatchRender(GLClient* pgc, const __GLXdispatchFn* pTable, const void* pvRequest) {
    const ULONG opcode = __glXRenderOpcode(pvRequest);
    const ULONG cjFixed = __glXRenderFixedBody(opcode);
    if (!__glXRenderBodyFits(pgc, pvRequest, cjFixed)) return __glXBadLength(pgc, pvRequest);
    const GLXRenderRow* pRow = pRowOf(opcode);
    if (pRow != nullptr && pRow->variable != GLXVariable::NONE && bHandlerReadsVariable(pTable, *pRow)) {
        const std::uint64_t cjVariable = __glXRenderVariableBody(pgc, opcode, pvRequest);
        if (cjVariable > __glXRenderLength(pgc, pvRequest) - 4 - cjFixed) return __glXBadLength(pgc, pvRequest);
    }
    return pTable[opcode](pgc, pvRequest);
}
