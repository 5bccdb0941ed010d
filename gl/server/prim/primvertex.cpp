// X_GLrop_Begin and the per-vertex handlers of the vertex-packet table: each
// converts its request's values to floats and calls one setter of the lgi
// vertex record the primitive buffer fills; a position appends a vertex and
// then takes the primitive buffer's step after a vertex.
#include <cmath>
#include <cstring>

#include "dispatch/dispatch.h"
#include "dispatch/render_args.h"
#include "light/light.h"
#include "prim/prim.h"
#include "state/state_requests.h"

namespace {


N_VertexRecord* pvrOf(__GLXprimBuffer* pb) {
    if (pb == nullptr) return nullptr;
    pb->bWrapped = 0;
    return pb->pvr;
}

// The step after a position stored through the buffer's own client.
void vAfterVertex(__GLXprimBuffer* pb, ULONG fFull) {
    if (pb != nullptr) __glXAfterVertex(pb->pgc, fFull);
}

template <ULONG op>
ULONG __glXVtx_Attr(__GLXprimBuffer* pb, const void* pvArgs) {
    float f[4];
    __glXVertexFloats(op, static_cast<const BYTE*>(pvArgs), f);
    N_VertexRecord* pvr = pvrOf(pb);
    if (op <= X_GLrop_Color3usv) N_SetVertexColor3(pvr, f[0], f[1], f[2]);
    else if (op <= X_GLrop_Color4usv) N_SetVertexColor4(pvr, f[0], f[1], f[2], f[3]);
    else if (op == X_GLrop_EdgeFlagv) N_SetVertexEdgeFlag(pvr, static_cast<ULONG>(f[0]));
    else if (op <= X_GLrop_Indexsv) N_SetVertexIndex(pvr, f[0]);
    else if (op <= X_GLrop_Normal3sv) N_SetVertexNormal(pvr, f[0], f[1], f[2]);
    else if (op <= X_GLrop_TexCoord4sv) N_SetVertexTexCoord(pvr, f[0], f[1], f[2], f[3]);
    else if (op <= X_GLrop_Vertex2sv) vAfterVertex(pb, N_SetVertexPos2(pvr, f[0], f[1]));
    else if (op <= X_GLrop_Vertex3sv) vAfterVertex(pb, N_SetVertexPos3(pvr, f[0], f[1], f[2]));
    else vAfterVertex(pb, N_SetVertexPos4(pvr, f[0], f[1], f[2], f[3]));
    return GL_NO_ERROR;
}

// Material inside Begin/End: (face, pname, values), floats (Materialf,
// Materialfv) or integers, scalar or vector.
template <bool bInt, bool bScalar>
ULONG __glXVtx_Material(__GLXprimBuffer* pb, const void* pvArgs) {
    const auto* pj = static_cast<const BYTE*>(pvArgs);
    const ULONG face = __glXArgWord(pj, 0);
    const ULONG pname = __glXArgWord(pj, 1);
    if (face != GL_FRONT && face != GL_BACK && face != GL_FRONT_AND_BACK) return GL_INVALID_ENUM;
    const ULONG cValues = __glXMaterialParamCount(pname);
    if (cValues == 0 || (bScalar && pname != GL_SHININESS)) return GL_INVALID_ENUM;
    float f[4] = {};
    const bool bColor = pname != GL_SHININESS && pname != GL_COLOR_INDEXES;
    for (ULONG i = 0; i < cValues; ++i) {
        if (bInt) {
            const LONG l = static_cast<LONG>(__glXArgWord(pj, 2 + i));
            f[i] = bColor ? __glXIntColor(l) : static_cast<float>(l);
        } else {
            f[i] = __glXArgFloat(pj, 2 + i);
        }
    }
    // Shininess outside 0..128, NaN included, is refused.
    if (pname == GL_SHININESS && !(f[0] >= 0.0f && f[0] <= 128.0f)) return GL_INVALID_VALUE;
    N_VertexRecord* pvr = pvrOf(pb);
    for (const bool bFront : {true, false}) {
        if (face == (bFront ? GL_BACK : GL_FRONT)) continue;
        switch (pname) {
            case GL_EMISSION:
                (bFront ? N_SetVertexFrontEmission : N_SetVertexBackEmission)(pvr, f[0], f[1], f[2], f[3]);
                break;
            case GL_AMBIENT:
                (bFront ? N_SetVertexFrontAmbient : N_SetVertexBackAmbient)(pvr, f[0], f[1], f[2], f[3]);
                break;
            case GL_DIFFUSE:
                (bFront ? N_SetVertexFrontDiffuse : N_SetVertexBackDiffuse)(pvr, f[0], f[1], f[2], f[3]);
                break;
            case GL_AMBIENT_AND_DIFFUSE:
                (bFront ? N_SetVertexFrontAmbient : N_SetVertexBackAmbient)(pvr, f[0], f[1], f[2], f[3]);
                (bFront ? N_SetVertexFrontDiffuse : N_SetVertexBackDiffuse)(pvr, f[0], f[1], f[2], f[3]);
                break;
            case GL_SPECULAR:
                (bFront ? N_SetVertexFrontSpecular : N_SetVertexBackSpecular)(pvr, f[0], f[1], f[2], f[3]);
                break;
            case GL_SHININESS: (bFront ? N_SetVertexFrontShininess : N_SetVertexBackShininess)(pvr, f[0]); break;
            default:  // colour indexes: ambient, diffuse, specular
                (bFront ? N_SetVertexFrontAmbientIndex : N_SetVertexBackAmbientIndex)(pvr, f[0]);
                (bFront ? N_SetVertexFrontDiffuseIndex : N_SetVertexBackDiffuseIndex)(pvr, f[1]);
                (bFront ? N_SetVertexFrontSpecularIndex : N_SetVertexBackSpecularIndex)(pvr, f[2]);
                break;
        }
    }
    return GL_NO_ERROR;
}

template <ULONG... ops>
void vFillOps(__GLXvertexFn* pTable, std::integer_sequence<ULONG, ops...>) {
    ((pTable[ops] = __glXVtx_Attr<ops>), ...);
}
template <ULONG first, ULONG... k>
void vFillRun(__GLXvertexFn* pTable, std::integer_sequence<ULONG, k...>) {
    vFillOps(pTable, std::integer_sequence<ULONG, (first + k)...>{});
}

}  // namespace

void __glXFillVertexTable(__GLXvertexFn* pTable) {
    // Colours and the edge flag; indices and normals; texture coordinates
    // and vertices.
    vFillRun<X_GLrop_Color3bv>(pTable, std::make_integer_sequence<ULONG, X_GLrop_EdgeFlagv - X_GLrop_Color3bv + 1>{});
    vFillRun<X_GLrop_Indexdv>(pTable, std::make_integer_sequence<ULONG, X_GLrop_Normal3sv - X_GLrop_Indexdv + 1>{});
    vFillRun<X_GLrop_TexCoord1dv>(pTable,
                                  std::make_integer_sequence<ULONG, X_GLrop_Vertex4sv - X_GLrop_TexCoord1dv + 1>{});
    pTable[X_GLrop_Materialf] = __glXVtx_Material<false, true>;
    pTable[X_GLrop_Materialfv] = __glXVtx_Material<false, false>;
    pTable[X_GLrop_Materiali] = __glXVtx_Material<true, true>;
    pTable[X_GLrop_Materialiv] = __glXVtx_Material<true, false>;
    // Exactly the description's vertex packets.
    static_assert([] {
        for (const GLXRenderRow& r : kGLXRenderRows) {
            const bool bFilled = (r.opcode >= X_GLrop_Color3bv && r.opcode <= X_GLrop_EdgeFlagv) ||
                                 (r.opcode >= X_GLrop_Indexdv && r.opcode <= X_GLrop_Normal3sv) ||
                                 (r.opcode >= X_GLrop_TexCoord1dv && r.opcode <= X_GLrop_Vertex4sv) ||
                                 (r.opcode >= X_GLrop_Materialf && r.opcode <= X_GLrop_Materialiv);
            if (bFilled != (r.vertex == GLXVertex::PACKET)) return false;
        }
        return true;
    }());
}

ULONG __glXDisp_Begin(GLClient* pgc, const void* pvRequest) {
    if (pgc == nullptr || pgc->gc == nullptr) return GLX_BAD_ACCESS;
    GLContext* gc = pgc->gc;
    const ULONG mode = __glXArgWord(static_cast<const BYTE*>(pvRequest) + 4, 0);
    const bool bResumed = mode == GLX_LINE_LOOP_RESUMED;
    if (mode > 9 && !bResumed) return __glXRenderError(pgc, pvRequest, GL_INVALID_ENUM);
    const ULONG glError = __glOpenPrimitive(pgc, &gc->pPrimBuffer, &gc->pPending, GLX_PACKETS_IMMEDIATE,
                                            bResumed ? GLX_LINE_LOOP : mode, 0);
    if (glError != GL_NO_ERROR) return __glXRenderError(pgc, pvRequest, glError);
    gc->pPrimBuffer->bLoopResumed = gc->pPrimBuffer->bLoopElsewhere = bResumed;
    gc->bInBegin = 1;
    gc->pRenderTable = __glXRenderBeginEndTable;
    return GLX_SUCCESS;
}
