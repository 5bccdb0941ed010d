// The matrix requests: select a stack, load, multiply, push and pop, and
// the rotate, scale, translate, frustum and ortho products. Arrays arrive
// column-major and are transposed; doubles are narrowed to floats.
#include "matrix/matrix.h"
#include "dispatch/render_args.h"

namespace {

// The 16 values of a request, column-major, as a row-major matrix.
template <bool bDouble>
void vTransposed(const BYTE* pj, float* m) {
    for (ULONG r = 0; r < 4; ++r)
        for (ULONG c = 0; c < 4; ++c)
            m[4 * r + c] = bDouble ? static_cast<float>(__glXArgDouble(pj, 4 * c + r)) : __glXArgFloat(pj, 4 * c + r);
}

template <bool bDouble>
float fArg(const BYTE* pj, ULONG i) {
    return bDouble ? static_cast<float>(__glXArgDouble(pj, i)) : __glXArgFloat(pj, i);
}

// Runs fn(gc, body): its GL error recorded and answered as an X code.
template <class Fn>
ULONG ulRun(GLClient* pgc, const void* pvRequest, Fn fn) {
    const BYTE* pj = __glXRenderArgs(pgc, pvRequest);
    if (pj == nullptr) return __glXRenderArgsRefused(pgc, pvRequest);
    return __glXRenderResult(pgc, pvRequest, fn(pgc->gc, pj));
}

// top = top x m; GL_OUT_OF_MEMORY when the stacks cannot be had.
ULONG ulMult(GLContext* gc, const float* m) {
    if (__glXMatrixStacks(gc) == nullptr) return GL_OUT_OF_MEMORY;
    __glXMultTop(gc, m);
    return GL_NO_ERROR;
}

template <bool bDouble>
ULONG ulLoad(GLContext* gc, const BYTE* pj) {
    __GLXmatrixStacks* pms = __glXMatrixStacks(gc);
    if (pms == nullptr) return GL_OUT_OF_MEMORY;
    vTransposed<bDouble>(pj, pms->pCurrent);
    __glXSendTop(gc);
    return GL_NO_ERROR;
}

template <bool bDouble>
ULONG ulMultMatrix(GLContext* gc, const BYTE* pj) {
    float m[16];
    vTransposed<bDouble>(pj, m);
    return ulMult(gc, m);
}

template <bool bDouble>
ULONG ulRotate(GLContext* gc, const BYTE* pj) {
    float m[16];
    __glXRotationMatrix(fArg<bDouble>(pj, 0), fArg<bDouble>(pj, 1), fArg<bDouble>(pj, 2), fArg<bDouble>(pj, 3), m);
    return ulMult(gc, m);
}

template <bool bDouble>
ULONG ulScale(GLContext* gc, const BYTE* pj) {
    float m[16] = {};
    m[0] = fArg<bDouble>(pj, 0);
    m[5] = fArg<bDouble>(pj, 1);
    m[10] = fArg<bDouble>(pj, 2);
    m[15] = 1.0f;
    return ulMult(gc, m);
}

template <bool bDouble>
ULONG ulTranslate(GLContext* gc, const BYTE* pj) {
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    m[3] = fArg<bDouble>(pj, 0);
    m[7] = fArg<bDouble>(pj, 1);
    m[11] = fArg<bDouble>(pj, 2);
    return ulMult(gc, m);
}

template <BOOL (*pfnMatrix)(const double*, float*)>
ULONG ulProjection(GLContext* gc, const BYTE* pj) {
    double v[6];
    for (ULONG i = 0; i < 6; ++i) v[i] = __glXArgDouble(pj, i);
    float m[16];
    if (!pfnMatrix(v, m)) return GL_INVALID_VALUE;
    return ulMult(gc, m);
}

}  // namespace

ULONG __glXDisp_MatrixMode(GLClient* pgc, const void* pv) {
    return ulRun(pgc, pv, [](GLContext* gc, const BYTE* pj) { return __glXSelectMatrixMode(gc, __glXArgWord(pj, 0)); });
}
ULONG __glXDisp_LoadIdentity(GLClient* pgc, const void* pv) {
    return ulRun(pgc, pv, [](GLContext* gc, const BYTE*) {
        __GLXmatrixStacks* pms = __glXMatrixStacks(gc);
        if (pms == nullptr) return GL_OUT_OF_MEMORY;
        const float id[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        std::memcpy(pms->pCurrent, id, sizeof id);
        __glXSendTop(gc);
        return GL_NO_ERROR;
    });
}
ULONG __glXDisp_LoadMatrixf(GLClient* pgc, const void* pv) { return ulRun(pgc, pv, ulLoad<false>); }
ULONG __glXDisp_LoadMatrixd(GLClient* pgc, const void* pv) { return ulRun(pgc, pv, ulLoad<true>); }
ULONG __glXDisp_MultMatrixf(GLClient* pgc, const void* pv) { return ulRun(pgc, pv, ulMultMatrix<false>); }
ULONG __glXDisp_MultMatrixd(GLClient* pgc, const void* pv) { return ulRun(pgc, pv, ulMultMatrix<true>); }
ULONG __glXDisp_PushMatrix(GLClient* pgc, const void* pv) {
    return ulRun(pgc, pv, [](GLContext* gc, const BYTE*) { return __glXPushMatrix(gc); });
}
ULONG __glXDisp_PopMatrix(GLClient* pgc, const void* pv) {
    return ulRun(pgc, pv, [](GLContext* gc, const BYTE*) { return __glXPopMatrix(gc); });
}
ULONG __glXDisp_Rotatef(GLClient* pgc, const void* pv) { return ulRun(pgc, pv, ulRotate<false>); }
ULONG __glXDisp_Rotated(GLClient* pgc, const void* pv) { return ulRun(pgc, pv, ulRotate<true>); }
ULONG __glXDisp_Scalef(GLClient* pgc, const void* pv) { return ulRun(pgc, pv, ulScale<false>); }
ULONG __glXDisp_Scaled(GLClient* pgc, const void* pv) { return ulRun(pgc, pv, ulScale<true>); }
ULONG __glXDisp_Translatef(GLClient* pgc, const void* pv) { return ulRun(pgc, pv, ulTranslate<false>); }
ULONG __glXDisp_Translated(GLClient* pgc, const void* pv) { return ulRun(pgc, pv, ulTranslate<true>); }
ULONG __glXDisp_Frustum(GLClient* pgc, const void* pv) {
    return ulRun(pgc, pv, ulProjection<__glXFrustumMatrix>);
}
ULONG __glXDisp_Ortho(GLClient* pgc, const void* pv) { return ulRun(pgc, pv, ulProjection<__glXOrthoMatrix>); }
