// The three GL matrix stacks of a context (32 matrices each), the matrices
// of the transform requests, and the send of a stack's top matrix to the
// lgi layer: the modelview and texture matrices as they are, the projection
// premultiplied by the context's device matrix, or on a stereo board two
// projections, one per eye, derived from it.
#include "matrix/matrix.h"

#include <cmath>
#include <cstring>

#include "boardconfig.h"
#include "dispatch/dispatch.h"
#include "state/glstate.h"
#include "lgi/lgi.h"
#include "state/objects.h"
#include "seams.h"

namespace {

constexpr double kDegToRad = 0.017453292;

void vIdentity(float* m) {
    for (ULONG i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

// Index of a mode's stack, or -1.
LONG iStack(ULONG mode) {
    switch (mode) {
        case GL_MODELVIEW: return 0;
        case GL_PROJECTION: return 1;
        case GL_TEXTURE: return 2;
        default: return -1;
    }
}

float* pfTop(__GLXmatrixStacks* pms, ULONG k) { return pms->apStack[k][pms->aDepth[k]]; }

// The TRANSFORM block of the context's own GL state, or null.
ULONG* pwTransform(const GLContext* gc) {
    return gc->pState != nullptr ? gc->pState->blocks[__builtin_ctz(GL_TRANSFORM_BIT)] : nullptr;
}

void vPointCurrent(const GLContext* gc, __GLXmatrixStacks* pms) {
    const LONG k = iStack(__glXMatrixMode(gc));
    pms->pCurrent = pfTop(pms, static_cast<ULONG>(k < 0 ? 0 : k));
}

void vFillIdentity(__GLXmatrixStacks* pms, ULONG k) {
    for (ULONG i = 0; i < GLX_MATRIX_DEPTH; ++i) vIdentity(pms->apStack[k][i]);
    pms->aDepth[k] = 0;
}

// Whether the projections must be derived again: the board says its stereo
// values changed, or they (or stereo itself) differ from the ones this
// context derived with.
bool bStereoStale(const __GLXmatrixStacks* pms, const BoardConfig* pbc) {
    if (pbc == nullptr) return false;
    return (pbc->flags & BCF_STEREO_VALID) != 0 || (pbc->flags & BCF_STEREO) != pms->stereoOnSeen ||
           pbc->stereoAdjust != pms->stereoSeen[0] || pbc->stereoOffset != pms->stereoSeen[1] ||
           pbc->stereoTranslate != pms->stereoSeen[2];
}

void vSend(ULONG id, const float* m) { N_SetStateBlockAttr(id, m); }

}  // namespace

void __glXRotationMatrix(float angle, float x, float y, float z, float* out) {
    const double rad = static_cast<double>(angle) * kDegToRad;
    const float s = static_cast<float>(std::sin(rad));
    const float c = static_cast<float>(std::cos(rad));
    const float len = std::sqrt(x * x + y * y + z * z);
    if (len > 0.0f && std::isfinite(len)) {
        x /= len;
        y /= len;
        z /= len;
    } else {
        x = y = z = 0.0f;
    }
    const float t = 1.0f - c;
    const float r[16] = {
        x * x + (1 - x * x) * c, x * y * t - z * s,       x * z * t + y * s,       0,
        x * y * t + z * s,       y * y + (1 - y * y) * c, y * z * t - x * s,       0,
        x * z * t - y * s,       y * z * t + x * s,       z * z + (1 - z * z) * c, 0,
        0,                       0,                       0,                       1,
    };
    std::memcpy(out, r, sizeof r);
}

BOOL __glXFrustumMatrix(const double v[6], float* out) {
    const double l = v[0], r = v[1], b = v[2], t = v[3], n = v[4], f = v[5];
    if (r - l == 0.0 || t - b == 0.0 || f - n == 0.0) return FALSE;
    const double m[16] = {
        2 * n / (r - l), 0, (r + l) / (r - l), 0,
        0, 2 * n / (t - b), (t + b) / (t - b), 0,
        0, 0, -(f + n) / (f - n), -2 * f * n / (f - n),
        0, 0, -1, 0,
    };
    for (ULONG i = 0; i < 16; ++i) out[i] = static_cast<float>(m[i]);
    return TRUE;
}

BOOL __glXOrthoMatrix(const double v[6], float* out) {
    const double l = v[0], r = v[1], b = v[2], t = v[3], n = v[4], f = v[5];
    if (r - l == 0.0 || t - b == 0.0 || f - n == 0.0) return FALSE;
    const double m[16] = {
        2 / (r - l), 0, 0, -(r + l) / (r - l),
        0, 2 / (t - b), 0, -(t + b) / (t - b),
        0, 0, -2 / (f - n), -(f + n) / (f - n),
        0, 0, 0, 1,
    };
    for (ULONG i = 0; i < 16; ++i) out[i] = static_cast<float>(m[i]);
    return TRUE;
}

__GLXmatrixStacks* __glXMatrixStacks(GLContext* gc) {
    GLServerObjects* pObjects = __glXServerObjects(gc);
    if (pObjects == nullptr) return nullptr;
    if (pObjects->pMatrixStacks != nullptr) return pObjects->pMatrixStacks;
    auto* pms = static_cast<__GLXmatrixStacks*>(LocalAlloc(LPTR, sizeof(__GLXmatrixStacks)));
    if (pms == nullptr) return nullptr;
    std::memset(pms, 0, sizeof *pms);
    for (ULONG k = 0; k < 3; ++k) {
        pms->apStack[k] = static_cast<__GLXmatrix*>(LocalAlloc(LPTR, GLX_MATRIX_DEPTH * sizeof(__GLXmatrix)));
        if (pms->apStack[k] == nullptr) {
            __glXFreeMatrixStacks(pms);
            return nullptr;
        }
        vFillIdentity(pms, k);
    }
    vPointCurrent(gc, pms);
    // The device matrix is made with the context's matrices: the identity.
    vIdentity(gc->deviceMatrix);
    pObjects->pMatrixStacks = pms;
    return pms;
}

void __glXFreeMatrixStacks(__GLXmatrixStacks* pms) {
    if (pms == nullptr) return;
    for (__GLXmatrix* p : pms->apStack)
        if (p != nullptr) LocalFree(p);
    LocalFree(pms);
}

ULONG __glXMatrixMode(const GLContext* gc) {
    const ULONG* pw = pwTransform(gc);
    return pw != nullptr ? pw[GLX_TRANSFORM_MATRIX_MODE] : GL_MODELVIEW;
}

ULONG __glXSelectMatrixMode(GLContext* gc, ULONG mode) {
    if (iStack(mode) < 0) return GL_INVALID_ENUM;
    __GLXmatrixStacks* pms = __glXMatrixStacks(gc);
    if (pms == nullptr) return GL_OUT_OF_MEMORY;
    if (ULONG* pw = pwTransform(gc)) pw[GLX_TRANSFORM_MATRIX_MODE] = mode;
    vPointCurrent(gc, pms);
    return GL_NO_ERROR;
}

void __glXSetMatrixMode(GLContext* gc, ULONG mode) { __glXSelectMatrixMode(gc, mode); }

void __glXResetStack(GLContext* gc, ULONG mode) {
    __GLXmatrixStacks* pms = __glXMatrixStacks(gc);
    const LONG k = iStack(mode);
    if (pms == nullptr || k < 0) return;
    vFillIdentity(pms, static_cast<ULONG>(k));
    vPointCurrent(gc, pms);
    __glXSendMatrix(gc, mode, pfTop(pms, static_cast<ULONG>(k)));
}

void __glXResetStacks(GLContext* gc) {
    __glXResetStack(gc, GL_PROJECTION);
    __glXResetStack(gc, GL_TEXTURE);
    __glXResetStack(gc, GL_MODELVIEW);
    __glXSelectMatrixMode(gc, GL_MODELVIEW);
}

void __glXSendMatrix(GLContext* gc, ULONG mode, const float* m) {
    __GLXmatrixStacks* pms = __glXMatrixStacks(gc);
    if (pms == nullptr) return;
    const BoardConfig* pbc = __glBoardConfig(gc);
    const bool bStale = bStereoStale(pms, pbc);
    switch (mode) {
        case GL_MODELVIEW:
            if (bStale) __glXStereoProjections(gc);
            vSend(GLX_LGI_MODELVIEW, m);
            break;
        case GL_PROJECTION:
            if (bStale || (pbc != nullptr && (pbc->flags & BCF_STEREO))) {
                __glXStereoProjections(gc);
            } else {
                float dp[16];
                __glXMatMul(gc->deviceMatrix, m, dp);
                vSend(GLX_LGI_PROJECTION, dp);
            }
            break;
        case GL_TEXTURE:
            if (bStale) __glXStereoProjections(gc);
            vSend(GLX_LGI_TEXTURE, m);
            break;
        default: break;
    }
}

void __glXSendTop(GLContext* gc) {
    __GLXmatrixStacks* pms = __glXMatrixStacks(gc);
    if (pms != nullptr) __glXSendMatrix(gc, __glXMatrixMode(gc), pms->pCurrent);
}

void __glXMultTop(GLContext* gc, const float* m) {
    __GLXmatrixStacks* pms = __glXMatrixStacks(gc);
    if (pms == nullptr) return;
    float t[16];
    __glXMatMul(pms->pCurrent, m, t);
    std::memcpy(pms->pCurrent, t, sizeof t);
    __glXSendTop(gc);
}

ULONG __glXPushMatrix(GLContext* gc) {
    __GLXmatrixStacks* pms = __glXMatrixStacks(gc);
    if (pms == nullptr) return GL_OUT_OF_MEMORY;
    const ULONG k = static_cast<ULONG>(iStack(__glXMatrixMode(gc)));
    if (pms->aDepth[k] >= GLX_MATRIX_DEPTH - 1) return GL_STACK_OVERFLOW;
    std::memcpy(pms->apStack[k][pms->aDepth[k] + 1], pms->apStack[k][pms->aDepth[k]], sizeof(__GLXmatrix));
    ++pms->aDepth[k];
    vPointCurrent(gc, pms);
    return GL_NO_ERROR;
}

ULONG __glXPopMatrix(GLContext* gc) {
    __GLXmatrixStacks* pms = __glXMatrixStacks(gc);
    if (pms == nullptr) return GL_OUT_OF_MEMORY;
    const ULONG k = static_cast<ULONG>(iStack(__glXMatrixMode(gc)));
    if (pms->aDepth[k] == 0) return GL_STACK_UNDERFLOW;
    --pms->aDepth[k];
    vPointCurrent(gc, pms);
    __glXSendTop(gc);
    return GL_NO_ERROR;
}

BOOL __glXStereoMatrices(const float* p, const float* d, float a, float b, float c, float* pEye1,
                         float* pEye2) {
    // Only a symmetric perspective frustum can be taken apart: anything
    // else (orthographic, off-centre, sheared) would divide by zero or
    // give wrong planes.
    for (ULONG i = 0; i < 16; ++i)
        if (!std::isfinite(p[i])) return FALSE;
    const bool bShape = p[1] == 0 && p[2] == 0 && p[3] == 0 && p[4] == 0 && p[6] == 0 && p[7] == 0 &&
                        p[8] == 0 && p[9] == 0 && p[12] == 0 && p[13] == 0 && p[14] == -1.0f &&
                        p[15] == 0 && p[0] != 0 && p[5] != 0 && p[10] != 1.0f && p[10] != -1.0f;
    if (!bShape) return FALSE;
    const double n = p[11] / (p[10] - 1.0), f = p[11] / (p[10] + 1.0);
    const double t = n / p[5], bo = -t, r = n / p[0], l = -r;
    const double w = r - l, h = t - bo, dd = f - n;
    if (w == 0 || h == 0 || dd == 0 || !std::isfinite(w) || !std::isfinite(h) || !std::isfinite(dd))
        return FALSE;
    for (int eye = 0; eye < 2; ++eye) {
        const double shift = eye == 0 ? -2.0 * a : 2.0 * a;
        const double tx = eye == 0 ? b : -b;
        // T(0, 0, -c) x T(tx, 0, 0) x F: the translations only add to the
        // rows of x and z by the bottom row of F.
        double F[16] = {
            2 * n / w, 0, (r + l + shift) / w, 0,
            0, 2 * n / h, (t + bo) / h, 0,
            0, 0, -(f + n) / dd, -2 * f * n / dd,
            0, 0, -1, 0,
        };
        for (int j = 0; j < 4; ++j) {
            F[j] += tx * F[12 + j];
            F[8 + j] += -static_cast<double>(c) * F[12 + j];
        }
        float m[16];
        for (ULONG i = 0; i < 16; ++i) m[i] = static_cast<float>(F[i]);
        __glXMatMul(d, m, eye == 0 ? pEye1 : pEye2);
    }
    return TRUE;
}

void __glXStereoProjections(GLContext* gc) {
    __GLXmatrixStacks* pms = __glXMatrixStacks(gc);
    BoardConfig* pbc = __glBoardConfig(gc);
    if (pms == nullptr || pbc == nullptr) return;
    const float* p = pfTop(pms, 1);
    float e1[16], e2[16];
    if (!__glXStereoMatrices(p, gc->deviceMatrix, pbc->stereoAdjust, pbc->stereoOffset,
                             pbc->stereoTranslate, e1, e2)) {
        // Not a projection the eyes can be derived from: both eyes see it
        // as it is.
        __glXMatMul(gc->deviceMatrix, p, e1);
        std::memcpy(e2, e1, sizeof e2);
    }
    vSend(GLX_LGI_PROJECTION, e1);
    vSend(GLX_LGI_SECOND_EYE, e2);
    pbc->flags &= ~BCF_STEREO_VALID;
    pms->stereoOnSeen = pbc->flags & BCF_STEREO;
    pms->stereoSeen[0] = pbc->stereoAdjust;
    pms->stereoSeen[1] = pbc->stereoOffset;
    pms->stereoSeen[2] = pbc->stereoTranslate;
}
