// The five handler tables through which every GLX request is run, built
// once at start-up and shared by every context: single requests by their
// GLX opcode; render requests by their render opcode in one of three
// tables chosen by the context's state (outside Begin/End, between Begin
// and End, compiling a display list); and the vertex packets of the
// server's primitive buffer. Each table is filled with its default, then
// with the rows the request description gives.
#include <cstring>
#include <mutex>

#include "dispatch/dispatch.h"
#include "light/light.h"
#include "state/queries.h"
#include "state/state_requests.h"
#include "matrix/matrix.h"
#include "eval/eval.h"
#include "pixel/pixel.h"
#include "seams.h"
#include "list/list.h"
#include "texture/texture_requests.h"

__GLXdispatchFn* __glXSingleTable = nullptr;
__GLXdispatchFn* __glXRenderTable = nullptr;
__GLXdispatchFn* __glXRenderBeginEndTable = nullptr;
__GLXdispatchFn* __glXRenderListTable = nullptr;
__GLXvertexFn* __glXVertexTable = nullptr;

namespace {

// A run of opcodes [first, last] that go to one handler (null: the handler
// of the same opcode in the fallback table).
struct __GLXrenderRun {
    USHORT first;
    USHORT last;
    __GLXdispatchFn fn;
};

// Every table's rows come from the request description
// (include/glrequests.def), each applied over the table's default.

// Single requests: __glXDisp_<request>; the default answers an unknown one.
const __GLXrenderRun kSingle[] = {
#define GLX_SINGLE_REQUEST(name, opcode) {opcode, opcode, __glXDisp_##name},
#include "glrequests.def"
};

// Outside Begin/End: __glXDisp_<request>, or nothing for vertices and
// evaluator points; the primitive ring's batches. The default (opcodes
// without a request, the list's own records) is refused.
#define GLX_OUTSIDE_HANDLER(name, opcode) {opcode, opcode, __glXDisp_##name},
#define GLX_OUTSIDE_IGNORE(name, opcode) {opcode, opcode, __glXDisp_Ignore},
#define GLX_OUTSIDE_REFUSED(name, opcode)
const __GLXrenderRun kImmediate[] = {
#define GLX_RENDER_REQUEST(name, opcode, layout, variable, outside, ...) GLX_OUTSIDE_##outside(name, opcode)
#include "glrequests.def"
    {X_GLrop_PrimitiveZYD, X_GLrop_PrimitiveZYD, glExecPrimitiveZYD},
    {X_GLrop_DrawPixelsPieceZYD, X_GLrop_DrawPixelsPieceZYD, __glXDisp_DrawPixelsPieceZYD},
};
#undef GLX_OUTSIDE_HANDLER
#undef GLX_OUTSIDE_IGNORE
#undef GLX_OUTSIDE_REFUSED

// Between Begin and End; what the description refuses there (Begin, the
// raster positions ...) keeps the default.
#define GLX_INSIDE_REFUSED(opcode)
#define GLX_INSIDE_VERTEX(opcode) {opcode, opcode, __glXBeginEnd_Vertex},
#define GLX_INSIDE_EVAL(opcode) {opcode, opcode, __glXBeginEnd_EvalCoord},
#define GLX_INSIDE_CALL(opcode) {opcode, opcode, nullptr},  // the immediate handler
#define GLX_INSIDE_END(opcode) {opcode, opcode, __glXBeginEnd_End},
const __GLXrenderRun kBeginEnd[] = {
#define GLX_RENDER_REQUEST(name, opcode, layout, variable, outside, beginEnd, ...) GLX_INSIDE_##beginEnd(opcode)
#include "glrequests.def"
};
#undef GLX_INSIDE_REFUSED
#undef GLX_INSIDE_VERTEX
#undef GLX_INSIDE_EVAL
#undef GLX_INSIDE_CALL
#undef GLX_INSIDE_END

// While a list is compiled every request is stored in it (the default; the
// store runs at once what is never kept); Begin and End go to the
// compile-mode Begin and End.
#define GLX_LISTED_STORE(opcode)
#define GLX_LISTED_RUN(opcode)
#define GLX_LISTED_BEGIN(opcode) {opcode, opcode, __glXListBegin},
#define GLX_LISTED_END(opcode) {opcode, opcode, __glXListEnd},
const __GLXrenderRun kList[] = {
#define GLX_RENDER_REQUEST(name, opcode, layout, variable, outside, beginEnd, list, vertex) \
    GLX_LISTED_##list(opcode)
#include "glrequests.def"
};
#undef GLX_LISTED_STORE
#undef GLX_LISTED_RUN
#undef GLX_LISTED_BEGIN
#undef GLX_LISTED_END

template <class Fn, class Run, size_t N>
void vFill(Fn* pTable, ULONG cEntries, Fn fnDefault, const Run (&runs)[N], const Fn* pFallback) {
    for (ULONG i = 0; i < cEntries; ++i) pTable[i] = fnDefault;
    for (const Run& r : runs) {
        for (ULONG i = r.first; i <= r.last && i < cEntries; ++i) {
            pTable[i] = r.fn != nullptr ? r.fn : pFallback[i];
        }
    }
}

template <class T>
T* pAllocTable(ULONG cEntries) {
    return static_cast<T*>(LocalAlloc(LPTR, cEntries * sizeof(T)));
}

template <class T>
void vFreeTable(T*& p) {
    if (p != nullptr) LocalFree(p);
    p = nullptr;
}

// Presence of __zydGLDispatchEveryPrim, read once per process.
std::once_flag gEveryPrimRead;
BOOL gbEveryPrim = FALSE;

}  // namespace

BOOL glInitDispatchVectors(void) {
    __glXSortNameTables();
    __glXSingleTable = pAllocTable<__GLXdispatchFn>(GLX_SINGLE_ENTRIES);
    __glXRenderTable = pAllocTable<__GLXdispatchFn>(GLX_RENDER_ENTRIES);
    __glXRenderBeginEndTable = pAllocTable<__GLXdispatchFn>(GLX_RENDER_ENTRIES);
    __glXRenderListTable = pAllocTable<__GLXdispatchFn>(GLX_RENDER_ENTRIES);
    __glXVertexTable = pAllocTable<__GLXvertexFn>(GLX_RENDER_ENTRIES);
    if (__glXSingleTable == nullptr || __glXRenderTable == nullptr ||
        __glXRenderBeginEndTable == nullptr || __glXRenderListTable == nullptr ||
        __glXVertexTable == nullptr) {
        glFreeDispatchVectors();
        return FALSE;
    }
    for (ULONG i = 0; i < GLX_RENDER_ENTRIES; ++i) __glXVertexTable[i] = __glXVtx_Invalid;
    __glXFillVertexTable(__glXVertexTable);  // the per-vertex handlers, __glXVtx_<request>

    vFill(__glXSingleTable, GLX_SINGLE_ENTRIES, __glXDisp_UnknownSingle, kSingle,
          static_cast<const __GLXdispatchFn*>(nullptr));

    vFill(__glXRenderTable, GLX_RENDER_ENTRIES, __glXDisp_BadRender, kImmediate,
          static_cast<const __GLXdispatchFn*>(nullptr));
    vFill(__glXRenderBeginEndTable, GLX_RENDER_ENTRIES, __glXDisp_BadRender, kBeginEnd,
          static_cast<const __GLXdispatchFn*>(__glXRenderTable));
    vFill(__glXRenderListTable, GLX_RENDER_ENTRIES, __glXListStore, kList,
          static_cast<const __GLXdispatchFn*>(nullptr));
    return TRUE;
}

void glFreeDispatchVectors(void) {
    vFreeTable(__glXSingleTable);
    vFreeTable(__glXRenderTable);
    vFreeTable(__glXRenderBeginEndTable);
    vFreeTable(__glXRenderListTable);
    vFreeTable(__glXVertexTable);
}

// --- the special render handlers -----------------------------------------------------

ULONG __glXDisp_Ignore(GLClient*, const void*) { return GLX_SUCCESS; }

ULONG __glXBeginEnd_End(GLClient* pgc, const void*) {
    std::call_once(gEveryPrimRead, [] {
        char ach[4];
        SetLastError(0);
        gbEveryPrim = GetEnvironmentVariableA("__zydGLDispatchEveryPrim", ach, sizeof ach) != 0 ||
                      GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    });
    GLContext* gc = pgc->gc;
    if (gc == nullptr) return GLX_SUCCESS;
    const ULONG ulClose = __glClosePrimitive(pgc);
    if (ulClose != 0 || gbEveryPrim) __glSendPrimitive(pgc);
    gc->pRenderTable = gc->bCompiling ? __glXRenderListTable : __glXRenderTable;
    gc->bInBegin = 0;
    return GLX_SUCCESS;
}

ULONG __glXBeginEnd_Vertex(GLClient* pgc, const void* pvRequest) {
    // The packet's arguments (a material's values too) lie in the request:
    // the length check made sure.
    const ULONG opcode = __glXRenderOpcode(pvRequest);
    GLContext* gc = pgc->gc;
    if (gc == nullptr || gc->pVertexTable == nullptr) return __glXDisp_BadRender(pgc, pvRequest);
    const ULONG glError =
        gc->pVertexTable[opcode](gc->pPrimBuffer, static_cast<const BYTE*>(pvRequest) + 4);
    if (glError == GL_NO_ERROR) return GLX_SUCCESS;
    return __glXRenderError(pgc, pvRequest, glError);
}
