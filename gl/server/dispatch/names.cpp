// The request names used in error reports: the GLX and single requests by
// their GLX opcode, the render requests by their render opcode. The tables
// are kept in the order they were written and sorted in place once, at
// start-up (and by whichever thread asks first if a name is wanted before
// start-up); after that they are only read, so lookups from any thread are
// safe.
#include <cstdio>
#include <mutex>

#include "dispatch/dispatch.h"

namespace {

struct __GLXnameEntry {
    ULONG key;
    const char* name;
};

__GLXnameEntry gGLXNames[] = {
    {1, "X_GLXRender"},
    {2, "X_GLXRenderLarge"},
    {3, "X_GLXCreateContext"},
    {4, "X_GLXDestroyContext"},
    {5, "X_GLXMakeCurrent"},
    {6, "X_GLXIsDirect"},
    {7, "X_GLXQueryVersion"},
    {8, "X_GLXWaitGL"},
    {9, "X_GLXWaitX"},
    {10, "X_GLXCopyContext"},
    {11, "X_GLXSwapBuffers"},
    {12, "X_GLXUseXFont"},
    {13, "X_GLXCreateGLXPixmap"},
    {14, "X_GLXGetVisualConfigs"},
    {15, "X_GLXDestroyGLXPixmap"},
    {16, "X_GLXVendorPrivate"},
    {17, "X_GLXVendorPrivateWithReply"},
    {101, "X_GLsop_NewList"},
    {102, "X_GLsop_EndList"},
    {103, "X_GLsop_DeleteLists"},
    {104, "X_GLsop_GenLists"},
    {105, "X_GLsop_FeedbackBuffer"},
    {106, "X_GLsop_SelectBuffer"},
    {107, "X_GLsop_RenderMode"},
    {108, "X_GLsop_Finish"},
    {142, "X_GLsop_Flush"},
    {109, "X_GLsop_PixelStoref"},
    {110, "X_GLsop_PixelStorei"},
    {111, "X_GLsop_ReadPixels"},
    {112, "X_GLsop_GetBooleanv"},
    {113, "X_GLsop_GetClipPlane"},
    {114, "X_GLsop_GetDoublev"},
    {115, "X_GLsop_GetError"},
    {116, "X_GLsop_GetFloatv"},
    {117, "X_GLsop_GetIntegerv"},
    {118, "X_GLsop_GetLightfv"},
    {119, "X_GLsop_GetLightiv"},
    {120, "X_GLsop_GetMapdv"},
    {121, "X_GLsop_GetMapfv"},
    {122, "X_GLsop_GetMapiv"},
    {123, "X_GLsop_GetMaterialfv"},
    {124, "X_GLsop_GetMaterialiv"},
    {125, "X_GLsop_GetPixelMapfv"},
    {126, "X_GLsop_GetPixelMapuiv"},
    {127, "X_GLsop_GetPixelMapusv"},
    {128, "X_GLsop_GetPolygonStipple"},
    {129, "X_GLsop_GetString"},
    {130, "X_GLsop_GetTexEnvfv"},
    {131, "X_GLsop_GetTexEnviv"},
    {132, "X_GLsop_GetTexGendv"},
    {133, "X_GLsop_GetTexGenfv"},
    {134, "X_GLsop_GetTexGeniv"},
    {135, "X_GLsop_GetTexImage"},
    {136, "X_GLsop_GetTexParameterfv"},
    {137, "X_GLsop_GetTexParameteriv"},
    {138, "X_GLsop_GetTexLevelParameterfv"},
    {139, "X_GLsop_GetTexLevelParameteriv"},
    {140, "X_GLsop_IsEnabled"},
    {141, "X_GLsop_IsList"},
    {256, "X_GLXCreateSMSegmentZYD"},
    {257, "X_GLXFreeSMSegmentZYD"},
    {258, "X_GLXWrapSMReadPointerZYD"},
    {259, "X_GLXProcessSMRequestsZYD"},
    {260, "X_GLXQFlushZYD"},
    {261, "X_GLXCreatePrimSegmentZYD"},
    {262, "X_GLXFreePrimSegmentZYD"},
};

__GLXnameEntry gRenderNames[] = {
    {1, "X_GLrop_CallList"},
    {2, "X_GLrop_CallLists"},
    {3, "X_GLrop_ListBase"},
    {4, "X_GLrop_Begin"},
    {5, "X_GLrop_Bitmap"},
    {6, "X_GLrop_Color3bv"},
    {7, "X_GLrop_Color3dv"},
    {8, "X_GLrop_Color3fv"},
    {9, "X_GLrop_Color3iv"},
    {10, "X_GLrop_Color3sv"},
    {11, "X_GLrop_Color3ubv"},
    {12, "X_GLrop_Color3uiv"},
    {13, "X_GLrop_Color3usv"},
    {14, "X_GLrop_Color4bv"},
    {15, "X_GLrop_Color4dv"},
    {16, "X_GLrop_Color4fv"},
    {17, "X_GLrop_Color4iv"},
    {18, "X_GLrop_Color4sv"},
    {19, "X_GLrop_Color4ubv"},
    {20, "X_GLrop_Color4uiv"},
    {21, "X_GLrop_Color4usv"},
    {22, "X_GLrop_EdgeFlagv"},
    {23, "X_GLrop_End"},
    {24, "X_GLrop_Indexdv"},
    {25, "X_GLrop_Indexfv"},
    {26, "X_GLrop_Indexiv"},
    {27, "X_GLrop_Indexsv"},
    {28, "X_GLrop_Normal3bv"},
    {29, "X_GLrop_Normal3dv"},
    {30, "X_GLrop_Normal3fv"},
    {31, "X_GLrop_Normal3iv"},
    {32, "X_GLrop_Normal3sv"},
    {33, "X_GLrop_RasterPos2dv"},
    {34, "X_GLrop_RasterPos2fv"},
    {35, "X_GLrop_RasterPos2iv"},
    {36, "X_GLrop_RasterPos2sv"},
    {37, "X_GLrop_RasterPos3dv"},
    {38, "X_GLrop_RasterPos3fv"},
    {39, "X_GLrop_RasterPos3iv"},
    {40, "X_GLrop_RasterPos3sv"},
    {41, "X_GLrop_RasterPos4dv"},
    {42, "X_GLrop_RasterPos4fv"},
    {43, "X_GLrop_RasterPos4iv"},
    {44, "X_GLrop_RasterPos4sv"},
    {45, "X_GLrop_Rectdv"},
    {46, "X_GLrop_Rectfv"},
    {47, "X_GLrop_Rectiv"},
    {48, "X_GLrop_Rectsv"},
    {49, "X_GLrop_TexCoord1dv"},
    {50, "X_GLrop_TexCoord1fv"},
    {51, "X_GLrop_TexCoord1iv"},
    {52, "X_GLrop_TexCoord1sv"},
    {53, "X_GLrop_TexCoord2dv"},
    {54, "X_GLrop_TexCoord2fv"},
    {55, "X_GLrop_TexCoord2iv"},
    {56, "X_GLrop_TexCoord2sv"},
    {57, "X_GLrop_TexCoord3dv"},
    {58, "X_GLrop_TexCoord3fv"},
    {59, "X_GLrop_TexCoord3iv"},
    {60, "X_GLrop_TexCoord3sv"},
    {61, "X_GLrop_TexCoord4dv"},
    {62, "X_GLrop_TexCoord4fv"},
    {63, "X_GLrop_TexCoord4iv"},
    {64, "X_GLrop_TexCoord4sv"},
    {65, "X_GLrop_Vertex2dv"},
    {66, "X_GLrop_Vertex2fv"},
    {67, "X_GLrop_Vertex2iv"},
    {68, "X_GLrop_Vertex2sv"},
    {69, "X_GLrop_Vertex3dv"},
    {70, "X_GLrop_Vertex3fv"},
    {71, "X_GLrop_Vertex3iv"},
    {72, "X_GLrop_Vertex3sv"},
    {73, "X_GLrop_Vertex4dv"},
    {74, "X_GLrop_Vertex4fv"},
    {75, "X_GLrop_Vertex4iv"},
    {76, "X_GLrop_Vertex4sv"},
    {77, "X_GLrop_ClipPlane"},
    {78, "X_GLrop_ColorMaterial"},
    {79, "X_GLrop_CullFace"},
    {80, "X_GLrop_Fogf"},
    {81, "X_GLrop_Fogfv"},
    {82, "X_GLrop_Fogi"},
    {83, "X_GLrop_Fogiv"},
    {84, "X_GLrop_FrontFace"},
    {85, "X_GLrop_Hint"},
    {86, "X_GLrop_Lightf"},
    {87, "X_GLrop_Lightfv"},
    {88, "X_GLrop_Lighti"},
    {89, "X_GLrop_Lightiv"},
    {90, "X_GLrop_LightModelf"},
    {91, "X_GLrop_LightModelfv"},
    {92, "X_GLrop_LightModeli"},
    {93, "X_GLrop_LightModeliv"},
    {94, "X_GLrop_LineStipple"},
    {95, "X_GLrop_LineWidth"},
    {96, "X_GLrop_Materialf"},
    {97, "X_GLrop_Materialfv"},
    {98, "X_GLrop_Materiali"},
    {99, "X_GLrop_Materialiv"},
    {100, "X_GLrop_PointSize"},
    {101, "X_GLrop_PolygonMode"},
    {102, "X_GLrop_PolygonStipple"},
    {103, "X_GLrop_Scissor"},
    {104, "X_GLrop_ShadeModel"},
    {105, "X_GLrop_TexParameterf"},
    {106, "X_GLrop_TexParameterfv"},
    {107, "X_GLrop_TexParameteri"},
    {108, "X_GLrop_TexParameteriv"},
    {109, "X_GLrop_TexImage1D"},
    {110, "X_GLrop_TexImage2D"},
    {111, "X_GLrop_TexEnvf"},
    {112, "X_GLrop_TexEnvfv"},
    {113, "X_GLrop_TexEnvi"},
    {114, "X_GLrop_TexEnviv"},
    {115, "X_GLrop_TexGend"},
    {116, "X_GLrop_TexGendv"},
    {117, "X_GLrop_TexGenf"},
    {118, "X_GLrop_TexGenfv"},
    {119, "X_GLrop_TexGeni"},
    {120, "X_GLrop_TexGeniv"},
    {121, "X_GLrop_InitNames"},
    {122, "X_GLrop_LoadName"},
    {123, "X_GLrop_PassThrough"},
    {124, "X_GLrop_PopName"},
    {125, "X_GLrop_PushName"},
    {126, "X_GLrop_DrawBuffer"},
    {127, "X_GLrop_Clear"},
    {128, "X_GLrop_ClearAccum"},
    {129, "X_GLrop_ClearIndex"},
    {130, "X_GLrop_ClearColor"},
    {131, "X_GLrop_ClearStencil"},
    {132, "X_GLrop_ClearDepth"},
    {133, "X_GLrop_StencilMask"},
    {134, "X_GLrop_ColorMask"},
    {135, "X_GLrop_DepthMask"},
    {136, "X_GLrop_IndexMask"},
    {137, "X_GLrop_Accum"},
    {138, "X_GLrop_Disable"},
    {139, "X_GLrop_Enable"},
    {141, "X_GLrop_PopAttrib"},
    {142, "X_GLrop_PushAttrib"},
    {143, "X_GLrop_Map1d"},
    {144, "X_GLrop_Map1f"},
    {145, "X_GLrop_Map2d"},
    {146, "X_GLrop_Map2f"},
    {147, "X_GLrop_MapGrid1d"},
    {148, "X_GLrop_MapGrid1f"},
    {149, "X_GLrop_MapGrid2d"},
    {150, "X_GLrop_MapGrid2f"},
    {151, "X_GLrop_EvalCoord1dv"},
    {152, "X_GLrop_EvalCoord1fv"},
    {153, "X_GLrop_EvalCoord2dv"},
    {154, "X_GLrop_EvalCoord2fv"},
    {155, "X_GLrop_EvalMesh1"},
    {156, "X_GLrop_EvalPoint1"},
    {157, "X_GLrop_EvalMesh2"},
    {158, "X_GLrop_EvalPoint2"},
    {159, "X_GLrop_AlphaFunc"},
    {160, "X_GLrop_BlendFunc"},
    {161, "X_GLrop_LogicOp"},
    {162, "X_GLrop_StencilFunc"},
    {163, "X_GLrop_StencilOp"},
    {164, "X_GLrop_DepthFunc"},
    {165, "X_GLrop_PixelZoom"},
    {166, "X_GLrop_PixelTransferf"},
    {167, "X_GLrop_PixelTransferi"},
    {168, "X_GLrop_PixelMapfv"},
    {169, "X_GLrop_PixelMapuiv"},
    {170, "X_GLrop_PixelMapusv"},
    {171, "X_GLrop_ReadBuffer"},
    {172, "X_GLrop_CopyPixels"},
    {173, "X_GLrop_DrawPixels"},
    {174, "X_GLrop_DepthRange"},
    {175, "X_GLrop_Frustum"},
    {176, "X_GLrop_LoadIdentity"},
    {177, "X_GLrop_LoadMatrixf"},
    {178, "X_GLrop_LoadMatrixd"},
    {179, "X_GLrop_MatrixMode"},
    {180, "X_GLrop_MultMatrixf"},
    {181, "X_GLrop_MultMatrixd"},
    {182, "X_GLrop_Ortho"},
    {183, "X_GLrop_PopMatrix"},
    {184, "X_GLrop_PushMatrix"},
    {185, "X_GLrop_Rotated"},
    {186, "X_GLrop_Rotatef"},
    {187, "X_GLrop_Scaled"},
    {188, "X_GLrop_Scalef"},
    {189, "X_GLrop_Translated"},
    {190, "X_GLrop_Translatef"},
    {191, "X_GLrop_Viewport"},
    {1024, "X_GLrop_PacketAddrZYD"},
    {1039, "X_GLrop_DispatchPacketsZYD"},
    {1025, "X_GLrop_PrimitiveZYD"},
};

struct __GLXnameTable {
    __GLXnameEntry* entries;
    ULONG count;
};

__GLXnameTable gGLXTable = {gGLXNames, sizeof gGLXNames / sizeof gGLXNames[0]};
__GLXnameTable gRenderTable = {gRenderNames, sizeof gRenderNames / sizeof gRenderNames[0]};
std::once_flag gSorted;

// Moves entry i down the heap of n entries until both children are smaller.
void vSiftDown(__GLXnameEntry* pe, ULONG i, ULONG n) {
    for (;;) {
        ULONG iLargest = i;
        const ULONG iLeft = 2 * i + 1;
        const ULONG iRight = iLeft + 1;
        if (iLeft < n && pe[iLeft].key > pe[iLargest].key) iLargest = iLeft;
        if (iRight < n && pe[iRight].key > pe[iLargest].key) iLargest = iRight;
        if (iLargest == i) return;
        const __GLXnameEntry e = pe[i];
        pe[i] = pe[iLargest];
        pe[iLargest] = e;
        i = iLargest;
    }
}

// Heap sort by key.
void __glXSortNameTable(__GLXnameTable* pt) {
    __GLXnameEntry* pe = pt->entries;
    const ULONG n = pt->count;
    for (ULONG i = n / 2; i-- > 0;) vSiftDown(pe, i, n);
    for (ULONG iEnd = n; iEnd-- > 1;) {
        const __GLXnameEntry e = pe[0];
        pe[0] = pe[iEnd];
        pe[iEnd] = e;
        vSiftDown(pe, 0, iEnd);
    }
}

// Binary search of a sorted table; "Key Unknown <key>" when absent, in a
// buffer of the calling thread.
const char* __glXLookupName(const __GLXnameTable* pt, ULONG key) {
    LONG lLow = 0;
    LONG lHigh = static_cast<LONG>(pt->count) - 1;
    while (lLow <= lHigh) {
        const LONG lMiddle = (lLow + lHigh) / 2;
        const ULONG k = pt->entries[lMiddle].key;
        if (k == key) return pt->entries[lMiddle].name;
        if (k < key) {
            lLow = lMiddle + 1;
        } else {
            lHigh = lMiddle - 1;
        }
    }
    thread_local char achUnknown[32];
    std::snprintf(achUnknown, sizeof achUnknown, "Key Unknown %d", static_cast<int>(key));
    return achUnknown;
}

}  // namespace

void __glXSortNameTables(void) {
    std::call_once(gSorted, [] {
        __glXSortNameTable(&gGLXTable);
        __glXSortNameTable(&gRenderTable);
    });
}

const char* __glXRenderRequestName(ULONG opcode) {
    __glXSortNameTables();
    return __glXLookupName(&gRenderTable, opcode);
}

const char* __glXSingleRequestName(ULONG opcode) {
    __glXSortNameTables();
    return __glXLookupName(&gGLXTable, opcode);
}
