// The raster position, rectangles and the accumulation operation: render
// requests outside Begin/End that hand one vertex, one polygon or one
// buffer operation to the lgi layer.
#include <cstring>

#include "dispatch/dispatch.h"
#include "dispatch/render_args.h"
#include "lgi/lgi.h"
#include "prim/prim.h"
#include "seams.h"
#include "state/state_requests.h"

namespace {

constexpr ULONG kVertex2dv = X_GLrop_Vertex2dv;  // the Vertex request laid out as RasterPos2dv and each Rect corner
constexpr ULONG kRasterPos2dv = X_GLrop_RasterPos2dv;  // RasterPos2dv .. RasterPos4sv
constexpr ULONG kRectdv = X_GLrop_Rectdv;  // Rectdv, Rectfv, Rectiv, Rectsv
constexpr ULONG kVertex2fv = X_GLrop_Vertex2fv;  // the vertex-packet table entry the corners go through

// Bytes of one component of the d, f, i, s forms.
constexpr ULONG kComponentSize[] = {8, 4, 4, 2};

// RasterPos: the vertex widened to four floats (z 0, w 1 where missing)
// goes to the lgi layer over validated state.
template <ULONG op>
ULONG ulRasterPos(GLClient* pgc, const void* pv) {
    constexpr ULONG k = op - kRasterPos2dv;
    const BYTE* pj = __glXRenderArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    __glXValidateDraw(pgc->gc);
    float af[4];
    __glXVertexFloats(kVertex2dv + k, pj, af);
    N_RasterPos(af);
    return GLX_SUCCESS;
}

// Rect: the two corners as floats, drawn as a polygon of four vertices
// through the primitive buffer; a buffer left nearly full goes at once.
template <ULONG op>
ULONG ulRect(GLClient* pgc, const void* pv) {
    constexpr ULONG k = op - kRectdv;
    constexpr ULONG cjCorner = 2 * kComponentSize[k];
    const BYTE* pj = __glXRenderArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    GLContext* gc = pgc->gc;
    float a1[4], a2[4];
    __glXVertexFloats(kVertex2dv + k, pj, a1);
    __glXVertexFloats(kVertex2dv + k, pj + cjCorner, a2);
    if (__glOpenPrimitive(pgc, &gc->pPrimBuffer, &gc->pPending, GLX_PACKETS_IMMEDIATE, GLX_POLYGON, 0) !=
        GL_NO_ERROR)
        return __glXRenderError(pgc, pv, GL_OUT_OF_MEMORY);
    const float aCorners[4][2] = {{a1[0], a1[1]}, {a2[0], a1[1]}, {a2[0], a2[1]}, {a1[0], a2[1]}};
    ULONG glError = GL_NO_ERROR;
    for (const auto& c : aCorners) {
        const ULONG e = gc->pVertexTable[kVertex2fv](gc->pPrimBuffer, c);
        if (glError == GL_NO_ERROR) glError = e;
    }
    if (__glClosePrimitive(pgc) != 0) __glSendPrimitive(pgc);
    return __glXRenderResult(pgc, pv, glError);
}

// Accum: ACCUM, LOAD, RETURN, MULT, ADD as 0-4; the accumulation buffer is
// bound by validation when it is not yet.
ULONG ulAccum(GLContext* gc, const BYTE* pj) {
    const ULONG op = __glXArgWord(pj, 0) - GL_ACCUM;
    if (op > 4) return GL_INVALID_ENUM;
    if ((gc->flBufferMask & N_BUFFER_ACCUM) == 0) gc->dirty |= GLX_DIRTY_BUFFERS;
    __glXValidateDraw(gc);
    N_Accum(op, __glXArgFloat(pj, 1));
    return GL_NO_ERROR;
}

}  // namespace

#define GLX_DEFINE_RASTER_POS(name) \
    ULONG __glXDisp_##name(GLClient* p, const void* r) { return ulRasterPos<X_GLrop_##name>(p, r); }
GLX_RASTER_POS_REQUESTS(GLX_DEFINE_RASTER_POS)
#undef GLX_DEFINE_RASTER_POS

ULONG __glXDisp_Rectdv(GLClient* p, const void* r) { return ulRect<X_GLrop_Rectdv>(p, r); }
ULONG __glXDisp_Rectfv(GLClient* p, const void* r) { return ulRect<X_GLrop_Rectfv>(p, r); }
ULONG __glXDisp_Rectiv(GLClient* p, const void* r) { return ulRect<X_GLrop_Rectiv>(p, r); }
ULONG __glXDisp_Rectsv(GLClient* p, const void* r) { return ulRect<X_GLrop_Rectsv>(p, r); }

ULONG __glXDisp_Accum(GLClient* pgc, const void* pv) {
    const BYTE* pj = __glXRenderArgs(pgc, pv);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pv);
    return __glXRenderResult(pgc, pv, ulAccum(pgc->gc, pj));
}
