// User clip planes: kept in eye coordinates (each plane times the inverse
// of the modelview in force when it is set), their enables, and the pair of
// rotations that turns plane 0 into the plane x = 0 of a rotated eye space
// and back, for the clip stage's plane-0-alone path.
#include <cmath>
#include <cstring>

#include "3d/context/context.h"

namespace {


// The plane times the modelview's inverse, as a row vector: the transpose of
// the inverse applied to it. A modelview without an inverse leaves the plane
// as given.
void vEyePlane(N_Context* pctx, const float* pfPlane, float* pfOut) {
    const float* I = pctx->xf.modelViewInverseM;  // the identity when there is no inverse
    float r[4];
    for (ULONG c = 0; c < 4; ++c)
        r[c] = pfPlane[0] * I[c] + pfPlane[1] * I[4 + c] + pfPlane[2] * I[8 + c] + pfPlane[3] * I[12 + c];
    std::memcpy(pfOut, r, sizeof r);
}

bool bGrowPlanes(N_Context* pctx, ULONG cPlanes) {
    return _NGrowArray(reinterpret_cast<void**>(&pctx->pClipPlanes), &pctx->cClipPlaneCapacity, cPlanes,
                       N_CLIP_PLANE_BYTES) != 0;
}

// The pair always follows the stored plane 0, whichever plane was set.
void vRebuildPlane0(N_Context* pctx) {
    if (pctx->cClipPlanes > 0) _NBuildPlaneRotation(pctx->pClipPlanes, &pctx->plane0);
}

}  // namespace

void _NBuildPlaneRotation(const float* pfPlane, N_PlaneRotation* pRot) {
    const float a = pfPlane[0], b = pfPlane[1], c = pfPlane[2], d = pfPlane[3];
    float R1[N_MATRIX_WORDS];
    float R2[N_MATRIX_WORDS];
    _NMatIdentity(R1);
    _NMatIdentity(R2);
    const float s = (a == 0.0f && c == 0.0f) ? 0.0f : std::sqrt(a * a + c * c);
    const float r = (a == 0.0f && b == 0.0f && c == 0.0f) ? 0.0f : std::sqrt(a * a + b * b + c * c);
    if (s != 0.0f) {
        const float cs = a / s, sn = c / s;
        if (!(cs == 1.0f && sn == 0.0f)) {
            R1[0] = cs;
            R1[2] = sn;
            R1[8] = -sn;
            R1[10] = cs;
        }
    }
    if (r != 0.0f) {
        const float cs = s / r, sn = -b / r;
        if (!(cs == 1.0f && sn == 0.0f)) {
            R2[0] = cs;
            R2[1] = -sn;
            R2[4] = sn;
            R2[5] = cs;
        }
        R2[3] = d / r;
    }
    _NMatMul4(R2, R1, pRot->forward);
    _NMatInvert4(pRot->forward, pRot->backward);
}

void N_SetClipPlanes(ULONG cPlanes, const float* pfPlanes) {
    if (!bNHaveContext() || (cPlanes != 0 && pfPlanes == nullptr)) return;
    N_Context* pctx = gpNCurrent;
    if (!bGrowPlanes(pctx, cPlanes)) return;
    pctx->cClipPlanes = cPlanes;
    _NValModelView(pctx);
    for (ULONG i = 0; i < cPlanes; ++i) vEyePlane(pctx, pfPlanes + 4 * i, pctx->pClipPlanes + 4 * i);
    vRebuildPlane0(pctx);
    pctx->dirty |= N_DIRTY_CLIP_PLANES;
}

void N_SetClipPlane(ULONG iPlane, const float* pfPlane) {
    if (!bNHaveContext() || pfPlane == nullptr) return;
    N_Context* pctx = gpNCurrent;
    if (iPlane >= pctx->cClipPlanes) return;
    _NValModelView(pctx);
    vEyePlane(pctx, pfPlane, pctx->pClipPlanes + 4 * iPlane);
    vRebuildPlane0(pctx);
    pctx->dirty |= N_DIRTY_CLIP_PLANES;
}

void N_SetClipPlaneEnables(ULONG cEnables, const ULONG* pulEnables) {
    if (!bNHaveContext()) return;
    N_Context* pctx = gpNCurrent;
    if (pulEnables == nullptr) cEnables = 0;
    const ULONG grown = _NGrowArray(reinterpret_cast<void**>(&pctx->pulClipPlaneEnable),
                                    &pctx->cClipPlaneEnableCapacity, cEnables, sizeof(ULONG));
    if (grown == 0) return;
    if (grown == 2) pctx->cClipPlanesEnabled = 0;
    ULONG any = 0;
    ULONG later = 0;
    for (ULONG i = 0; i < cEnables; ++i) {
        if (pulEnables[i] != 1) continue;
        any = 1;
        if (i > 0) later = 1;
    }
    const ULONG only0 = (cEnables > 0 && pulEnables[0] == 1 && !later) ? 1 : 0;
    // Any change of which planes are on changes the clip set-up, not only a
    // change of the any-enabled flag.
    const bool bChanged = cEnables != pctx->cClipPlanesEnabled ||
                          (cEnables != 0 && std::memcmp(pctx->pulClipPlaneEnable, pulEnables,
                                                        cEnables * sizeof(ULONG)) != 0);
    if (cEnables != 0) std::memcpy(pctx->pulClipPlaneEnable, pulEnables, cEnables * sizeof(ULONG));
    pctx->cClipPlanesEnabled = cEnables;
    pctx->anyClipPlane = any;
    pctx->clipPlane0Only = only0;
    if (bChanged) pctx->dirty |= N_DIRTY_CLIP_PLANES;
}
