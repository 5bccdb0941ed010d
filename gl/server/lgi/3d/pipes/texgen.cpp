// The texture-coordinate stages of textured primitives: stage 35 takes each
// vertex's coordinates (or the current ones) into the work array and
// generates the enabled coordinates by GL's rules; stage 10 puts them
// through the texture matrix.
//
//   object linear (mode 0): plane . object position
//   eye linear (mode 1):    plane . eye position, the plane in eye space
//                           (the GL layer took it through the inverse of
//                           the modelview in force when it was given)
//   sphere map (mode 2, s and t only): u the unit eye position, n the unit
//                           eye normal, r = u - 2 (n . u) n,
//                           m = 2 sqrt(rx^2 + ry^2 + (rz + 1)^2),
//                           s = rx / m + 1/2, t = ry / m + 1/2
#include <algorithm>
#include <cmath>
#include <cstring>

#include "vstage.h"

namespace {

constexpr ULONG kObjectLinear = 0, kEyeLinear = 1, kSphereMap = 2;

const float* pfAt(const N_Source& s, ULONG i) {
    return reinterpret_cast<const float*>(static_cast<const BYTE*>(s.p) + std::size_t{i} * s.step);
}

float fDot4(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3]; }

// The object position of vertex i as (x, y, z, w).
void vObject(const CommonPipeData& c, ULONG i, float* v) {
    const float* p = pfAt(c.position, i);
    v[0] = p[0];
    v[1] = p[1];
    v[2] = (c.format & (N_VTX_POS3 | N_VTX_POS4)) ? p[2] : 0.0f;
    v[3] = (c.format & N_VTX_POS4) ? p[3] : 1.0f;
}

// The sphere-map s and t of an eye position and an object normal.
void vSphere(N_Context* pctx, const CommonPipeData& c, ULONG i, const float* eye, float* st) {
    const float* Minv = pctx->xf.pModelViewInverse != nullptr ? pctx->xf.pModelViewInverse : pctx->xf.modelViewInverseM;
    float nrm[3] = {0, 0, 1};
    if (c.normal.p != nullptr) {
        const float* src = pfAt(c.normal, i);
        for (ULONG k = 0; k < 3; ++k) nrm[k] = src[0] * Minv[k] + src[1] * Minv[4 + k] + src[2] * Minv[8 + k];
    }
    _NVec3Normalize(nrm);
    float u[3] = {eye[0], eye[1], eye[2]};
    if (eye[3] != 0.0f && eye[3] != 1.0f)
        for (float& f : u) f /= eye[3];
    _NVec3Normalize(u);
    const float nu = nrm[0] * u[0] + nrm[1] * u[1] + nrm[2] * u[2];
    float r[3];
    for (ULONG k = 0; k < 3; ++k) r[k] = u[k] - 2.0f * nu * nrm[k];
    const float m = 2.0f * std::sqrt(r[0] * r[0] + r[1] * r[1] + (r[2] + 1.0f) * (r[2] + 1.0f));
    // r = (0, 0, -1) has no direction on the map: its centre.
    st[0] = m > 0.0f ? r[0] / m + 0.5f : 0.5f;
    st[1] = m > 0.0f ? r[1] / m + 0.5f : 0.5f;
}

}  // namespace

void _NStageTexCoords(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const ULONG n = c.stripVertexCount;
    const N_TexGen& tg = pctx->val.texGen;
    bool bGen[4];
    bool bEye = false;
    for (ULONG k = 0; k < 4; ++k) {
        bGen[k] = *pulAttr(pctx, N_ATTR_TEXGEN_S + k) != 0 && tg.none == 0;
        // Sphere mapping is defined for s and t alone.
        if (bGen[k] && tg.mode[k] == kSphereMap && k >= 2) bGen[k] = false;
        bEye |= bGen[k] && tg.mode[k] != kObjectLinear;
    }
    const float* M = pctx->xf.modelView;
    for (ULONG i = 0; i < n; ++i) {
        float* out = c.pTexWork + 4 * std::size_t{i};
        if (c.texCoord.p != nullptr) std::memcpy(out, pfAt(c.texCoord, i), 16);
        else out[0] = out[1] = out[2] = 0.0f, out[3] = 1.0f;
        if (!(bGen[0] || bGen[1] || bGen[2] || bGen[3]) || c.position.p == nullptr) continue;
        float obj[4], eye[4] = {0, 0, 0, 1};
        vObject(c, i, obj);
        if (bEye) _NTransformVec4(obj, eye, M);
        float st[2];
        bool bSphere = false;
        for (ULONG k = 0; k < 4; ++k) {
            if (!bGen[k]) continue;
            switch (tg.mode[k]) {
                case kObjectLinear: out[k] = fDot4(tg.plane[k], obj); break;
                case kEyeLinear: out[k] = fDot4(tg.plane[k], eye); break;
                case kSphereMap:
                    if (!bSphere) vSphere(pctx, c, i, eye, st), bSphere = true;
                    out[k] = st[k];
                    break;
                default: break;  // no other mode: the coordinate is kept
            }
        }
    }
    pipe->next[N_STAGE_TEXCOORD](pctx, pipe);
}

void _NTexturePerspective(CommonPipeData& c) {
    // The render paths interpolate a coordinate u with the weight 1/Q of
    // the fourth word (u/Q and 1/Q linearly along the screen, then the
    // quotient). GL's coordinate is (s/q, t/q, r/q) with s, t, r and q
    // interpolated perspective-correctly, i.e. s/w and q/w along the screen
    // for the clip w: so u = s/q and Q = w/q, which keeps both the
    // coordinate's own q (glTexCoord4, the texture matrix) and the
    // perspective. A q of 0 has no quotient: the coordinate is taken as it
    // is, with the clip w alone as its weight. The raster position is not
    // interpolated: it keeps the coordinates as GL defines them, (s, t, r,
    // q) after the texture matrix, and never comes here.
    if (c.pClipPos == nullptr) return;
    const ULONG n = c.stripVertexCount;
    for (ULONG i = 0; i < n; ++i) {
        float* v = c.pTexWork + 4 * std::size_t{i};
        const float w = c.pClipPos[4 * std::size_t{i} + 3];
        const float q = v[3];
        if (q != 1.0f && q != 0.0f && std::isfinite(q)) {
            const float r = 1.0f / q;
            v[0] *= r, v[1] *= r, v[2] *= r;
            v[3] = w * r;
        } else {
            v[3] = w;
        }
    }
}

void _NStageTexMatrix(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const float* T = _NMatrixStackTop(pctx, 3);
    static constexpr float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    if (T != nullptr && std::memcmp(T, kIdentity, sizeof kIdentity) != 0) {
        const ULONG n = c.stripVertexCount;
        for (ULONG i = 0; i < n; ++i) {
            float* v = c.pTexWork + 4 * std::size_t{i};
            float r[4];
            _NTransformVec4(v, r, T);
            std::memcpy(v, r, sizeof r);
        }
    }
    // The alternative vertex path projects after this stage: its
    // projection stage gives the coordinates their weights.
    if (!pctx->altVertexPath && c.code != N_PRIM_RASTER_POS) _NTexturePerspective(c);
    pipe->next[N_STAGE_ARRAY](pctx, pipe);
}
