// The five handler tables through which every GLX request is run, built
// once at start-up and shared by every context: single requests by their
// GLX opcode; render requests by their render opcode in one of three
// tables chosen by the context's state (outside Begin/End, between Begin
// and End, compiling a display list); and the vertex packets of the
// server's primitive buffer. Each table is filled with its default, then
// with the rows below.
//
// Handlers that belong to the request families not built yet stand in
// their slots as __glXDisp_NotAvailable (render) and the unknown-single
// handler (single): they say so and answer an error.
#include <cstring>
#include <mutex>

#include "dispatch/dispatch.h"
#include "matrix/light.h"
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

// A single request whose handler the server does not have yet: says so and
// answers as an unknown single request.
ULONG __glXDisp_SingleNotAvailable(GLClient* pgc, const void* pvRequest) {
    const BYTE opcode = static_cast<const BYTE*>(pvRequest)[1];
    __glXDebugPrint("%s: not available yet\n", __glXSingleRequestName(opcode));
    return __glXDisp_UnknownSingle(pgc, pvRequest);
}

// The single requests X_GLsop_NewList .. X_GLsop_Flush, in the order they
// are applied over the default.
const __GLXrenderRun kSingle[] = {
    {101, 142, __glXDisp_SingleNotAvailable},  // __glXDisp_<request>
    // Served by the request segment.
    {X_GLsop_FeedbackBuffer, X_GLsop_FeedbackBuffer, __glXDisp_FeedbackBuffer},
    {X_GLsop_SelectBuffer, X_GLsop_SelectBuffer, __glXDisp_SelectBuffer},
    {X_GLsop_RenderMode, X_GLsop_RenderMode, __glXDisp_RenderMode},
    {X_GLsop_Finish, X_GLsop_Finish, __glXDisp_Finish},
    {X_GLsop_Flush, X_GLsop_Flush, __glXDisp_Flush},
    // State queries.
    {112, 112, __glXDisp_GetBooleanv},
    {113, 113, __glXDisp_GetClipPlane},
    {114, 114, __glXDisp_GetDoublev},
    {115, 115, __glXDisp_GetError},
    {116, 116, __glXDisp_GetFloatv},
    {117, 117, __glXDisp_GetIntegerv},
    {118, 118, __glXDisp_GetLightfv},
    {119, 119, __glXDisp_GetLightiv},
    {120, 120, __glXDisp_GetMapdv},
    {121, 121, __glXDisp_GetMapfv},
    {122, 122, __glXDisp_GetMapiv},
    {123, 123, __glXDisp_GetMaterialfv},
    {124, 124, __glXDisp_GetMaterialiv},
    {129, 129, __glXDisp_GetString},
    {130, 130, __glXDisp_GetTexEnvfv},
    {131, 131, __glXDisp_GetTexEnviv},
    {140, 140, __glXDisp_IsEnabled},
    // Pixel store, pixel maps, polygon stipple and read pixels.
    {109, 109, __glXDisp_PixelStoref},
    {110, 110, __glXDisp_PixelStorei},
    {111, 111, __glXDisp_ReadPixels},
    {125, 125, __glXDisp_GetPixelMapfv},
    {126, 126, __glXDisp_GetPixelMapuiv},
    {127, 127, __glXDisp_GetPixelMapusv},
    {128, 128, __glXDisp_GetPolygonStipple},
    // Display lists.
    {101, 101, __glXDisp_NewList},
    {102, 102, __glXDisp_EndList},
    {103, 103, __glXDisp_DeleteLists},
    {104, 104, __glXDisp_GenLists},
    {141, 141, __glXDisp_IsList},
    // Texture queries.
    {132, 132, __glXDisp_GetTexGendv},
    {133, 133, __glXDisp_GetTexGenfv},
    {134, 134, __glXDisp_GetTexGeniv},
    {135, 135, __glXDisp_GetTexImage},
    {136, 136, __glXDisp_GetTexParameterfv},
    {137, 137, __glXDisp_GetTexParameteriv},
    {138, 138, __glXDisp_GetTexLevelParameterfv},
    {139, 139, __glXDisp_GetTexLevelParameteriv},
};

// Outside Begin/End, in the order they are applied over the default.
const __GLXrenderRun kImmediate[] = {
    {1, 191, __glXDisp_NotAvailable},  // the standard requests, __glXDisp_<request>
    {65, 76, __glXDisp_Ignore},        // Vertex2dv .. Vertex4sv
    {151, 154, __glXDisp_Ignore},      // EvalCoord1dv .. EvalCoord2fv
    {156, 156, __glXDisp_Ignore},      // EvalPoint1
    {158, 158, __glXDisp_Ignore},      // EvalPoint2
    {140, 140, __glXDisp_BadRender},   // no request has opcode 140
    // Lighting and materials.
    {78, 78, __glXDisp_ColorMaterial},
    {86, 86, __glXDisp_Lightf},
    {87, 87, __glXDisp_Lightfv},
    {88, 88, __glXDisp_Lighti},
    {89, 89, __glXDisp_Lightiv},
    {90, 90, __glXDisp_LightModelf},
    {91, 91, __glXDisp_LightModelfv},
    {92, 92, __glXDisp_LightModeli},
    {93, 93, __glXDisp_LightModeliv},
    {96, 96, __glXDisp_Materialf},
    {97, 97, __glXDisp_Materialfv},
    {98, 98, __glXDisp_Materiali},
    {99, 99, __glXDisp_Materialiv},
    // Fixed-function state and the current values.
#define GLX_CURRENT_ROW(name, op) {op, op, __glXDisp_##name},
    GLX_CURRENT_VALUE_REQUESTS(GLX_CURRENT_ROW)
    // The raster position, rectangles and the accumulation operation.
    GLX_RASTER_POS_REQUESTS(GLX_CURRENT_ROW)
#undef GLX_CURRENT_ROW
    {45, 45, __glXDisp_Rectdv},
    {46, 46, __glXDisp_Rectfv},
    {47, 47, __glXDisp_Rectiv},
    {48, 48, __glXDisp_Rectsv},
    {137, 137, __glXDisp_Accum},
    {77, 77, __glXDisp_ClipPlane},
    {79, 79, __glXDisp_CullFace},
    {80, 80, __glXDisp_Fogf},
    {81, 81, __glXDisp_Fogfv},
    {82, 82, __glXDisp_Fogi},
    {83, 83, __glXDisp_Fogiv},
    {84, 84, __glXDisp_FrontFace},
    {85, 85, __glXDisp_Hint},
    {94, 94, __glXDisp_LineStipple},
    {95, 95, __glXDisp_LineWidth},
    {100, 100, __glXDisp_PointSize},
    {101, 101, __glXDisp_PolygonMode},
    {102, 102, __glXDisp_PolygonStipple},
    {103, 103, __glXDisp_Scissor},
    {104, 104, __glXDisp_ShadeModel},
    {126, 126, __glXDisp_DrawBuffer},
    {127, 127, __glXDisp_Clear},
    {128, 128, __glXDisp_ClearAccum},
    {129, 129, __glXDisp_ClearIndex},
    {130, 130, __glXDisp_ClearColor},
    {131, 131, __glXDisp_ClearStencil},
    {132, 132, __glXDisp_ClearDepth},
    {133, 133, __glXDisp_StencilMask},
    {134, 134, __glXDisp_ColorMask},
    {135, 135, __glXDisp_DepthMask},
    {136, 136, __glXDisp_IndexMask},
    {138, 138, __glXDisp_Disable},
    {139, 139, __glXDisp_Enable},
    {141, 141, __glXDisp_PopAttrib},
    {142, 142, __glXDisp_PushAttrib},
    {159, 159, __glXDisp_AlphaFunc},
    {160, 160, __glXDisp_BlendFunc},
    {161, 161, __glXDisp_LogicOp},
    {162, 162, __glXDisp_StencilFunc},
    {163, 163, __glXDisp_StencilOp},
    {164, 164, __glXDisp_DepthFunc},
    {165, 165, __glXDisp_PixelZoom},
    {171, 171, __glXDisp_ReadBuffer},
    {174, 174, __glXDisp_DepthRange},
    {191, 191, __glXDisp_Viewport},
    // Matrices.
    {175, 175, __glXDisp_Frustum},
    {176, 176, __glXDisp_LoadIdentity},
    {177, 177, __glXDisp_LoadMatrixf},
    {178, 178, __glXDisp_LoadMatrixd},
    {179, 179, __glXDisp_MatrixMode},
    {180, 180, __glXDisp_MultMatrixf},
    {181, 181, __glXDisp_MultMatrixd},
    {182, 182, __glXDisp_Ortho},
    {183, 183, __glXDisp_PopMatrix},
    {184, 184, __glXDisp_PushMatrix},
    {185, 185, __glXDisp_Rotated},
    {186, 186, __glXDisp_Rotatef},
    {187, 187, __glXDisp_Scaled},
    {188, 188, __glXDisp_Scalef},
    {189, 189, __glXDisp_Translated},
    {190, 190, __glXDisp_Translatef},
    // Evaluators.
    {143, 143, __glXDisp_Map1d},
    {144, 144, __glXDisp_Map1f},
    {145, 145, __glXDisp_Map2d},
    {146, 146, __glXDisp_Map2f},
    {147, 147, __glXDisp_MapGrid1d},
    {148, 148, __glXDisp_MapGrid1f},
    {149, 149, __glXDisp_MapGrid2d},
    {150, 150, __glXDisp_MapGrid2f},
    {155, 155, __glXDisp_EvalMesh1},
    {157, 157, __glXDisp_EvalMesh2},
    // Pixel transfer, pixel maps and pixel rectangles.
    {5, 5, __glXDisp_Bitmap},
    {166, 166, __glXDisp_PixelTransferf},
    {167, 167, __glXDisp_PixelTransferi},
    {168, 168, __glXDisp_PixelMapfv},
    {169, 169, __glXDisp_PixelMapuiv},
    {170, 170, __glXDisp_PixelMapusv},
    {172, 172, __glXDisp_CopyPixels},
    {173, 173, __glXDisp_DrawPixels},
    // Primitives: Begin, the shared ring's batches; the name stack and PassThrough.
    {X_GLrop_Begin, X_GLrop_Begin, __glXDisp_Begin},
    {X_GLrop_PrimitiveZYD, X_GLrop_PrimitiveZYD, glExecPrimitiveZYD},
    {121, 121, __glXDisp_InitNames},
    {122, 122, __glXDisp_LoadName},
    {123, 123, __glXDisp_PassThrough},
    {124, 124, __glXDisp_PopName},
    {125, 125, __glXDisp_PushName},
    // Display lists.
    {X_GLrop_CallList, X_GLrop_CallList, __glXDisp_CallList},
    {X_GLrop_CallLists, X_GLrop_CallLists, __glXDisp_CallLists},
    {X_GLrop_ListBase, X_GLrop_ListBase, __glXDisp_ListBase},
    // Textures.
    {105, 105, __glXDisp_TexParameterf},
    {106, 106, __glXDisp_TexParameterfv},
    {107, 107, __glXDisp_TexParameteri},
    {108, 108, __glXDisp_TexParameteriv},
    {109, 109, __glXDisp_TexImage1D},
    {110, 110, __glXDisp_TexImage2D},
    {111, 111, __glXDisp_TexEnvf},
    {112, 112, __glXDisp_TexEnvfv},
    {113, 113, __glXDisp_TexEnvi},
    {114, 114, __glXDisp_TexEnviv},
    {115, 115, __glXDisp_TexGend},
    {116, 116, __glXDisp_TexGendv},
    {117, 117, __glXDisp_TexGenf},
    {118, 118, __glXDisp_TexGenfv},
    {119, 119, __glXDisp_TexGeni},
    {120, 120, __glXDisp_TexGeniv},
};

// Between Begin and End; everything else (Begin, the raster positions ...)
// is not allowed there.
const __GLXrenderRun kBeginEnd[] = {
    {X_GLrop_End, X_GLrop_End, __glXBeginEnd_End},
    {X_GLrop_CallList, X_GLrop_CallLists, nullptr},  // the immediate handlers
    {151, 154, __glXBeginEnd_EvalCoord},             // evaluator coordinates
    {156, 156, __glXBeginEnd_EvalCoord},             // EvalPoint1
    {158, 158, __glXBeginEnd_EvalCoord},             // EvalPoint2
    {6, 21, __glXBeginEnd_Vertex},                   // colours
    {22, 22, __glXBeginEnd_Vertex},                  // EdgeFlagv
    {24, 27, __glXBeginEnd_Vertex},                  // indices
    {28, 32, __glXBeginEnd_Vertex},                  // normals
    {49, 76, __glXBeginEnd_Vertex},                  // texture coordinates and vertices
    {X_GLrop_Materialfv, X_GLrop_Materialfv, __glXBeginEnd_Vertex},
    {X_GLrop_Materialiv, X_GLrop_Materialiv, __glXBeginEnd_Vertex},
};

// While a list is compiled every request is stored in it; Begin and End go
// to the compile-mode Begin and End.
const __GLXrenderRun kList[] = {
    {0, GLX_RENDER_ENTRIES - 1, __glXListStore},  // store in the list
    {X_GLrop_Begin, X_GLrop_Begin, __glXListBegin},
    {X_GLrop_End, X_GLrop_End, __glXListEnd},
};

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

ULONG __glXDisp_Ignore(GLClient* pgc, const void* pvRequest) {
    if (!__glXRenderBodyFits(pgc, pvRequest, __glXRenderFixedBody(__glXRenderOpcode(pvRequest)))) {
        return __glXBadLength(pgc, pvRequest);
    }
    return GLX_SUCCESS;
}

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

ULONG __glXVertexBody(ULONG opcode, const void* pvRequest, ULONG cjBody) {
    if (opcode != X_GLrop_Materialfv && opcode != X_GLrop_Materialiv) {
        return __glXRenderFixedBody(opcode);
    }
    // face, pname, then as many values as the parameter takes.
    constexpr ULONG kFixed = 8;
    if (cjBody < kFixed) return kFixed;
    ULONG pname;
    std::memcpy(&pname, static_cast<const BYTE*>(pvRequest) + 8, sizeof pname);
    switch (pname) {
        case 0x1200:  // GL_AMBIENT
        case 0x1201:  // GL_DIFFUSE
        case 0x1202:  // GL_SPECULAR
        case 0x1600:  // GL_EMISSION
        case 0x1602:  // GL_AMBIENT_AND_DIFFUSE
            return kFixed + 16;
        case 0x1601: return kFixed + 4;   // GL_SHININESS
        case 0x1603: return kFixed + 12;  // GL_COLOR_INDEXES
        default: return kFixed;           // refused by the handler before it reads a value
    }
}

ULONG __glXBeginEnd_Vertex(GLClient* pgc, const void* pvRequest) {
    const ULONG opcode = __glXRenderOpcode(pvRequest);
    const ULONG cj = __glXRenderLength(pgc, pvRequest);
    const ULONG cjBody = cj >= 4 ? cj - 4 : 0;
    const ULONG cjNeeded = __glXVertexBody(opcode, pvRequest, cjBody);
    if (cj < 4 || cjNeeded == ~0u || cjBody < cjNeeded) return __glXBadLength(pgc, pvRequest);
    GLContext* gc = pgc->gc;
    if (gc == nullptr || gc->pVertexTable == nullptr) return __glXDisp_BadRender(pgc, pvRequest);
    const ULONG glError =
        gc->pVertexTable[opcode](gc->pPrimBuffer, static_cast<const BYTE*>(pvRequest) + 4);
    if (glError == GL_NO_ERROR) return GLX_SUCCESS;
    return __glXRenderError(pgc, pvRequest, glError);
}
