// Normals, lighting, colour material and the colour conversions of the
// vertex pipes, and the numeric routines they share. Lighting follows GL's
// equation: a lit colour is emission + model ambient x material ambient +
// the sum over the enabled lights of attenuation x spot x (ambient product
// + (n.L) diffuse product + (n.h)^shininess specular product), clamped to
// [0, 1], with the diffuse material's alpha.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "3d/queue/renderfcn.h"
#include "vstage.h"
#include "../../seams.h"

namespace {

float gafNormals[3 * N_BATCH_POINTS];

// Back colours of two-sided lighting: the lit back colours of the batch,
// and the colour arrays that have back colours beside them (the lit
// colours, and their fogged copies while the later stages run).
float gafBack[4 * N_BATCH_POINTS];
struct BackPair {
    const float* front;
    float* back;
};
BackPair gaBackPairs[2];

float fAttrF(N_Context* pctx, ULONG id, ULONG i = 0) { return __glXWordFloat(pulAttr(pctx, id)[i]); }
bool bIndexMode(N_Context* pctx) { return *pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1; }

const float* pfAt(const N_Source& s, ULONG i) {
    return reinterpret_cast<const float*>(static_cast<const BYTE*>(s.p) + std::size_t{i} * s.step);
}

float fClamp01(float f) { return f > 0.0f ? (f < 1.0f ? f : 1.0f) : 0.0f; }  // NaN gives 0

// A source colour of three components (inline RGB vertices) or four.
void vReadColour(const CommonPipeData& c, const N_Source& s, ULONG i, bool bRgb, float* out) {
    const float* p = pfAt(s, i);
    out[0] = p[0];
    out[1] = p[1];
    out[2] = p[2];
    out[3] = (bRgb && s.step != 0) ? 1.0f : p[3];
    (void)c;
}

bool bRgbSource(N_Context* pctx, const CommonPipeData& c) {
    return (c.format & N_VTX_RGB) && !(c.format & N_VTX_RGBA) && !pctx->fromExecPrimitive;
}

// The vertex position the lighting works with: eye space, or the source
// position in model space.
void vLightPosition(N_Context* pctx, const CommonPipeData& c, ULONG i, float* v) {
    if (pctx->val.transformMode != 1 && c.pEyePos != nullptr && pctx->eyePositions) {
        std::memcpy(v, c.pEyePos + 4 * std::size_t{i}, 16);
        // Lights live in eye space: a rotated eye position goes back first.
        if (_NEyeRotated(pctx)) {
            const float e[4] = {v[0], v[1], v[2], v[3]};
            _NTransformVec4(e, v, pctx->plane0.backward);
        }
    } else {
        const float* p = pfAt(c.position, i);
        v[0] = p[0];
        v[1] = p[1];
        v[2] = (c.format & (N_VTX_POS3 | N_VTX_POS4)) ? p[2] : 0.0f;
        v[3] = (c.format & N_VTX_POS4) ? p[3] : 1.0f;
    }
    if (v[3] != 0.0f && v[3] != 1.0f) {
        for (ULONG k = 0; k < 3; ++k) v[k] /= v[3];
        v[3] = 1.0f;
    }
}

float fDot3(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
void vUnit3(float* v) {
    const float l2 = fDot3(v, v);
    if (l2 > 0.0f && std::isfinite(l2)) {
        const float s = _NInvSqrt(l2);
        for (ULONG k = 0; k < 3; ++k) v[k] *= s;
    }
}

// The light's direction L (unit, towards the light) and its attenuation x
// spot factor at vertex v; 0 when the spot cuts it off.
float fLightFactor(const N_PreparedLight& pl, const float* v, float* L) {
    const N_Light& l = pl.light;
    if (l.position[3] == 0.0f) {
        std::memcpy(L, l.position, 12);
        return 1.0f;
    }
    for (ULONG k = 0; k < 3; ++k) L[k] = l.position[k] - v[k];
    const float d2 = fDot3(L, L);
    const float d = std::sqrt(d2);
    if (d > 0.0f) for (ULONG k = 0; k < 3; ++k) L[k] /= d;
    float f = 1.0f;
    if (pl.attenuation != -1.0f) {
        const float a = l.constantAttenuation + l.linearAttenuation * d + l.quadraticAttenuation * d2;
        f = a > 0.0f ? 1.0f / a : 0.0f;
    }
    if (l.spotCutoff != -1.0f) {
        // The prepared direction points back at the light.
        const float s = fDot3(L, l.spotDirection);
        if (s < l.spotCutoff) return 0.0f;
        f *= std::pow(std::max(s, 0.0f), l.spotExponent);
    }
    return f;
}

// The half vector of L and the direction to the viewer.
void vHalf(N_Context* pctx, const float* v, const float* L, float* h) {
    const N_Lighting& lit = pctx->lit;
    float V[3];
    if (lit.localViewer) {
        for (ULONG k = 0; k < 3; ++k) V[k] = lit.viewer[k] - v[k];
        vUnit3(V);
    } else {
        std::memcpy(V, lit.viewer, 12);
    }
    for (ULONG k = 0; k < 3; ++k) h[k] = L[k] + V[k];
    vUnit3(h);
}

struct Material {
    float emission[4], ambient[4], diffuse[4], specular[4], shininess;
};

void vMaterial(N_Context* pctx, const CommonPipeData& c, const N_FaceRecord& f, ULONG i, Material* m) {
    const bool bRgb = bRgbSource(pctx, c);
    vReadColour(c, f.emission, i, false, m->emission);
    vReadColour(c, f.ambient, i, bRgb && f.ambient.p == c.front.colour.p, m->ambient);
    vReadColour(c, f.diffuse, i, bRgb && f.diffuse.p == c.front.colour.p, m->diffuse);
    vReadColour(c, f.specular, i, bRgb && f.specular.p == c.front.colour.p, m->specular);
    m->shininess = *pfAt(f.shininess, i);
}

void vLightRGBA(N_Context* pctx, const Material& m, const float* v, const float* n, float* out) {
    const N_Lighting& lit = pctx->lit;
    float acc[3];
    for (ULONG k = 0; k < 3; ++k) acc[k] = m.emission[k] + lit.modelAmbient[k] * m.ambient[k];
    for (const N_PreparedLight* p = lit.pHead; p != nullptr; p = p->next) {
        float L[3];
        const float f = fLightFactor(*p, v, L);
        if (f == 0.0f) continue;
        const float nl = fDot3(n, L);
        const N_Light& l = p->light;
        float spec = 0.0f, diff = 0.0f;
        if (nl > 0.0f) {
            diff = nl;
            float h[3];
            vHalf(pctx, v, L, h);
            const float nh = fDot3(n, h);
            spec = nh > 0.0f ? std::pow(nh, m.shininess) : (m.shininess == 0.0f ? 1.0f : 0.0f);
        }
        for (ULONG k = 0; k < 3; ++k)
            acc[k] += f * (l.ambient[k] * m.ambient[k] + diff * l.diffuse[k] * m.diffuse[k] +
                           spec * l.specular[k] * m.specular[k]);
    }
    for (ULONG k = 0; k < 3; ++k) out[k] = fClamp01(acc[k]);
    out[3] = fClamp01(m.diffuse[3]);
}

// Colour-index lighting: the index between the ambient and specular
// material indexes by the diffuse and specular sums (light intensities as
// 0.30 R + 0.59 G + 0.11 B).
float fLightIndex(N_Context* pctx, bool bBack, const float* v, const float* n) {
    const N_Lighting& lit = pctx->lit;
    const ULONG base = bBack ? 72 : 63;
    const float am = fAttrF(pctx, base), dm = fAttrF(pctx, base + 1), sm = fAttrF(pctx, base + 2);
    const float shininess = fAttrF(pctx, bBack ? N_ATTR_BACK_SHININESS : N_ATTR_FRONT_SHININESS);
    float d = 0.0f, s = 0.0f;
    for (const N_PreparedLight* p = lit.pHead; p != nullptr; p = p->next) {
        float L[3];
        const float f = fLightFactor(*p, v, L);
        const float nl = fDot3(n, L);
        if (f == 0.0f || nl <= 0.0f) continue;
        const N_Light& l = p->light;
        d += f * nl * (0.30f * l.diffuse[0] + 0.59f * l.diffuse[1] + 0.11f * l.diffuse[2]);
        float h[3];
        vHalf(pctx, v, L, h);
        const float nh = fDot3(n, h);
        s += f * (nh > 0.0f ? std::pow(nh, shininess) : 0.0f) *
             (0.30f * l.specular[0] + 0.59f * l.specular[1] + 0.11f * l.specular[2]);
    }
    s = std::min(s, 1.0f);
    const float index = am + d * (1.0f - s) * (dm - am) + s * (sm - am);
    return std::min(index, sm);
}

// Stage 14, lit forms: every vertex of the batch lit with its front
// materials; with two-sided lighting polygons' vertices are lit a second
// time with the back materials and the normal reversed, for their back
// faces.
template <bool bIndex>
void vStageLight(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const ULONG n = c.stripVertexCount;
    const float* normals = gafNormals;
    const bool bTwoSided = c.code >= N_PRIM_POLYGON && *pulAttr(pctx, N_ATTR_TWO_SIDE) != 0;
    for (ULONG i = 0; i < n; ++i) {
        float v[4];
        vLightPosition(pctx, c, i, v);
        const float* nrm = normals + 3 * std::size_t{i};
        const float back[3] = {-nrm[0], -nrm[1], -nrm[2]};
        for (ULONG face = 0; face < (bTwoSided ? 2u : 1u); ++face) {
            float* out = (face == 0 ? c.pColours : gafBack) + 4 * std::size_t{i};
            if (bIndex) {
                out[0] = fLightIndex(pctx, face != 0, v, face == 0 ? nrm : back);
                out[1] = out[2] = out[3] = 0.0f;
            } else {
                Material m;
                vMaterial(pctx, c, face == 0 ? c.front : c.back, i, &m);
                vLightRGBA(pctx, m, v, face == 0 ? nrm : back, out);
            }
        }
    }
    _NSetBackColours(0, c.pColours, bTwoSided ? gafBack : nullptr);
    pipe->next[N_STAGE_VERTEX](pctx, pipe);
}

// Stage 14, unlit forms: the face's colour source into the colour array.
void vStageUnlitRGBA(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const N_FaceRecord& f = *static_cast<const N_FaceRecord*>(pipe->pFaceRecord != nullptr ? pipe->pFaceRecord : &c.front);
    const bool bRgb = bRgbSource(pctx, c);
    const ULONG n = c.stripVertexCount;
    for (ULONG i = 0; i < n; ++i) vReadColour(c, f.colour, i, bRgb, c.pColours + 4 * std::size_t{i});
    _NSetBackColours(0, c.pColours, nullptr);
    pipe->next[N_STAGE_VERTEX](pctx, pipe);
}

void vStageUnlitIndex(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const N_FaceRecord& f = *static_cast<const N_FaceRecord*>(pipe->pFaceRecord != nullptr ? pipe->pFaceRecord : &c.front);
    const ULONG n = c.stripVertexCount;
    for (ULONG i = 0; i < n; ++i) {
        float* out = c.pColours + 4 * std::size_t{i};
        out[0] = *pfAt(f.colour, i);
        out[1] = out[2] = out[3] = 0.0f;
    }
    _NSetBackColours(0, c.pColours, nullptr);
    pipe->next[N_STAGE_VERTEX](pctx, pipe);
}

// --- colour conversion ----------------------------------------------------------------------
// One channel: c in [0, 1] times the channel's full value, rounded to
// nearest, in the channel's place. Every channel is rounded the same way.
ULONG ulChannel(const N_ColourConversion& cv, ULONG k, float value) {
    static constexpr float kUnit[3] = {65536.0f, 256.0f, 1.0f};
    const float full = cv.scale[k] / kUnit[k];
    const auto v = static_cast<ULONG>(std::nearbyint(fClamp01(value) * full + cv.offset[k]));
    return v;
}

ULONG ulPackRGBA(N_Context* pctx, const float* rgba) {
    const N_ColourConversion& cv = pctx->val.colour;
    const ULONG r = ulChannel(cv, 0, rgba[0]), g = ulChannel(cv, 1, rgba[1]), b = ulChannel(cv, 2, rgba[2]);
    return ((r << 16) & cv.channelMask[0]) | ((g << 8) & cv.channelMask[1]) |
           ((b & cv.channelMask[2]) << cv.channelShift[2]);
}

// The board's colour table of the colour-index forms maps entry k to the
// palette slot k.
ULONG ulIndexEntry(N_Context*, ULONG entry) { return entry & 255; }

ULONG ulIndexOffset(N_Context* pctx) { return *pulAttr(pctx, N_ATTR_INDEX_OFFSET); }

ULONG ulIndexInt(float f) { return static_cast<ULONG>(_NTruncToLong(f)); }

ULONG ulConvert(N_Context* pctx, ULONG converter, const float* pf, bool bOffset) {
    switch (converter) {
        case N_CONVERT_RGBA: return ulPackRGBA(pctx, pf);
        case N_CONVERT_INDEX8:
            return ulIndexEntry(pctx, (ulIndexInt(pf[0]) | (bOffset ? ulIndexOffset(pctx) : 0)) & 255);
        case N_CONVERT_INDEX4:
            return ulIndexEntry(pctx, 16 * ((ulIndexInt(pf[0]) | (bOffset ? ulIndexOffset(pctx) : 0)) & 15));
        case N_CONVERT_INDEX1: return (ulIndexInt(pf[0]) & 1) << 23;
        default: return 0;
    }
}

// Walks the batch's face runs: for each run its first colour entry (in
// the colour array) and its first record; fn(colour, colour index, record
// index, drawn), the colour being the back colour for back faces of
// two-sided lighting. A run of a fan or polygon starts with the first
// vertex, which every face of the primitive shares, then the run's own
// vertices.
template <class Fn>
void vWalkRuns(const CommonPipeData& c, Fn fn) {
    const ULONG n = c.stripVertexCount;
    const float* pBack = c.code >= N_PRIM_POLYGON ? _NBackColoursOf(c.pColours) : nullptr;
    const bool bHub = c.code == N_PRIM_FAN || c.code == N_PRIM_POLYGON;
    ULONG a = 0, rec = 0;
    for (ULONG r = 0; r < N_FACE_RUN_WORDS; ++r) {
        const ULONG w = c.pFaceRuns[r];
        const ULONG count = w >> 16;
        if (count == 0) break;
        const ULONG nv = _NRunVertices(c, count);
        const float* pColours = (pBack != nullptr && (w & 0xFFFFu) == N_RUN_SECOND) ? pBack : c.pColours;
        for (ULONG j = 0; j < nv && a + j < n && rec + j < N_COLOUR_ENTRIES; ++j) {
            const ULONG i = bHub && j == 0 ? 0 : a + j;
            fn(pColours + 4 * std::size_t{i}, i, rec + j, (w & 0xFFFFu) != N_RUN_SKIP);
        }
        a += _NRunAdvance(c, count);
        rec += nv;
    }
}

template <ULONG converter>
void vStageConvert(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    vWalkRuns(c, [&](const float* pf, ULONG, ULONG rec, bool bDrawn) {
        if (!bDrawn) return;
        ULONG* hw = c.pHwVertices + 5 * std::size_t{rec};
        hw[0] = ulConvert(pctx, converter, pf, true);
        std::memcpy(&hw[1], &pf[3], 4);
    });
    pipe->next[N_STAGE_COLOUR_CONVERT](pctx, pipe);
}

}  // namespace

// --- numeric ------------------------------------------------------------------------------------
float _NPowInt(float x, LONG n) {
    float r = 1.0f;
    for (; n > 0; n >>= 1, x *= x)
        if (n & 1) r *= x;
    return r;
}

float _NInvSqrt(float x) { return 1.0f / std::sqrt(x); }


ULONG _NRunVertices(const CommonPipeData& c, ULONG faces) {
    if (c.code < N_PRIM_POLYGON) return faces;
    switch (c.nextVertex) {
        case 1: return faces + 2;
        case 3: return faces * 3;
        case 4: return faces * 4;
        case 2: return 2 * faces + 2;
        default: return faces;
    }
}

ULONG _NRunAdvance(const CommonPipeData& c, ULONG faces) {
    if (c.code < N_PRIM_POLYGON) return faces;
    return c.nextVertex == 1 ? faces : c.nextVertex * faces;
}

// --- normals --------------------------------------------------------------------------------------
void _NStageNormals(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const ULONG n = c.stripVertexCount;
    const ULONG form = pctx->val.normalStage;
    const float* Minv = pctx->xf.pModelViewInverse != nullptr ? pctx->xf.pModelViewInverse : pctx->xf.modelViewInverseM;
    const float fScale = pctx->lit.distanceScale;
    const float fInvScale = pctx->val.transformMode == 1 && fScale > 0.0f && std::isfinite(fScale) ? 1.0f / fScale : 1.0f;
    for (ULONG i = 0; i < n; ++i) {
        const float* src = pfAt(c.normal, i);
        float* out = gafNormals + 3 * std::size_t{i};
        if (form == N_NORMAL_STAGE_PLAIN || form == N_NORMAL_STAGE_NORMALISE) {
            // Normals go by the inverse transpose: n' = n x M^-1.
            float r[3];
            for (ULONG k = 0; k < 3; ++k) r[k] = src[0] * Minv[k] + src[1] * Minv[4 + k] + src[2] * Minv[8 + k];
            std::memcpy(out, r, 12);
            if (form == N_NORMAL_STAGE_NORMALISE) vUnit3(out);
        } else {
            std::memcpy(out, src, 12);
            if (form == N_NORMAL_STAGE_RESCALE) {
                // Every normal: they arrive as given, so one a little off
                // unit length is no more likely unit than any other.
                vUnit3(out);
            } else if (fInvScale != 1.0f) {
                // In model space under a modelview s R the eye-space normal
                // n R / s is 1/s as long as n: lighting sees that length.
                for (ULONG k = 0; k < 3; ++k) out[k] *= fInvScale;
            }
        }
    }
    pipe->next[N_STAGE_LIGHT](pctx, pipe);
}

const float* _NNormalWork() { return gafNormals; }

void _NSetBackColours(ULONG slot, const float* pFront, float* pBack) {
    if (slot >= 2) return;
    // New lit colours: the fogged copy of the old ones goes too.
    if (slot == 0) gaBackPairs[1] = {};
    gaBackPairs[slot] = {pBack != nullptr ? pFront : nullptr, pBack};
}

float* _NBackColoursOf(const float* pColours) {
    for (const BackPair& p : gaBackPairs) {
        const auto at = reinterpret_cast<std::uintptr_t>(pColours), base = reinterpret_cast<std::uintptr_t>(p.front);
        if (p.front == nullptr || at < base || at >= base + sizeof gafBack) continue;
        return p.back + (pColours - p.front);
    }
    return nullptr;
}

N_StageFn _NLightingStageFn(ULONG stage) {
    switch (stage) {
        case N_LIGHT_STAGE_UNLIT_INDEX: return vStageUnlitIndex;
        case N_LIGHT_STAGE_UNLIT_RGBA: return vStageUnlitRGBA;
        case N_LIGHT_STAGE_INDEX: return vStageLight<true>;
        case N_LIGHT_STAGE_GENERAL_CONSTANT:
        case N_LIGHT_STAGE_GENERAL_VERTEX:
        case N_LIGHT_STAGE_SIMPLE_VERTEX:
        case N_LIGHT_STAGE_GREY:
        case N_LIGHT_STAGE_SIMPLE_CONSTANT: return vStageLight<false>;
        default: return nullptr;
    }
}

// --- colour stages ------------------------------------------------------------------------------
ULONG _NColourToHardware(N_Context* pctx, ULONG converter, const float* pfSource) {
    // The context's own clear index takes no offset.
    const bool bOffset = !(converter != N_CONVERT_RGBA && pfSource == reinterpret_cast<const float*>(
                                                                          pulAttr(pctx, N_ATTR_CLEAR_INDEX)));
    return ulConvert(pctx, converter, pfSource, bOffset);
}

N_StageFn _NColourStageFn(N_Context* pctx) {
    switch (pctx->val.colour.converter) {
        case N_CONVERT_RGBA: return vStageConvert<N_CONVERT_RGBA>;
        case N_CONVERT_INDEX8: return vStageConvert<N_CONVERT_INDEX8>;
        case N_CONVERT_INDEX4: return vStageConvert<N_CONVERT_INDEX4>;
        case N_CONVERT_INDEX1: return vStageConvert<N_CONVERT_INDEX1>;
        default: return nullptr;
    }
}

void _NStageColourGrey(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    vWalkRuns(c, [&](const float* pf, ULONG, ULONG rec, bool bDrawn) {
        if (!bDrawn) return;
        const auto v = static_cast<ULONG>(std::nearbyint(fClamp01(pf[0]) * 255.0f));
        c.pHwVertices[5 * std::size_t{rec}] = v | v << 8 | v << 16;
    });
    pipe->next[N_STAGE_COLOUR_CONVERT](pctx, pipe);
}

void _NStageColourAlphaOnly(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const bool bPerVertex = (c.format & N_VTX_RGBA) != 0;
    const float* current = reinterpret_cast<const float*>(pulAttr(pctx, N_ATTR_COLOUR));
    vWalkRuns(c, [&](const float*, ULONG i, ULONG rec, bool bDrawn) {
        if (!bDrawn) return;
        const float a = bPerVertex ? pfAt(c.front.colour, i)[3] : current[3];
        std::memcpy(&c.pHwVertices[5 * std::size_t{rec} + 1], &a, 4);
    });
    pipe->next[N_STAGE_COLOUR_CONVERT](pctx, pipe);
}

void _NStageFloatColour(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const bool bIndex = bIndexMode(pctx);
    const float* sc = pctx->val.colour.scale;
    const float unit[3] = {65536.0f, 256.0f, 1.0f};
    const bool bZero = (pctx->enableWord & KZ_EN_TEXTURE) && pctx->texEnv == 1 && pctx->texFormat != 8;
    const float indexScale = __glXWordFloat(pulAttr(pctx, N_ATTR_PIXEL_FORMAT)[7]);
    vWalkRuns(c, [&](const float* pf, ULONG, ULONG rec, bool bDrawn) {
        if (!bDrawn) return;
        auto* out = reinterpret_cast<float*>(c.pHwVertices + 5 * std::size_t{rec});
        if (bIndex) {
            out[0] = pf[0] * indexScale;
        } else if (bZero) {
            out[0] = out[1] = out[2] = out[3] = 0.0f;
        } else {
            const float* offset = pctx->val.colour.offset;
            for (ULONG k = 0; k < 3; ++k) out[k] = pf[k] * sc[k] / unit[k] + offset[k];
            out[3] = pf[3];
        }
    });
    pipe->next[N_STAGE_FLOAT_COLOUR](pctx, pipe);
}

void _NStageColourMaterial(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    auto point = [&](N_FaceRecord& f, ULONG mask) {
        // The mask's bits as the current-value stages read them: 1
        // emission, 2 ambient, 4 diffuse, 8 specular.
        if (mask & 1) f.emission = c.front.colour;
        if (mask & 2) f.ambient = c.front.colour;
        if (mask & 4) f.diffuse = c.front.colour;
        if (mask & 8) f.specular = c.front.colour;
    };
    if (*pulAttr(pctx, N_ATTR_COLOUR_MATERIAL) != 0) {
        const ULONG mask = *pulAttr(pctx, N_ATTR_COLOUR_MATERIAL_CODE);
        point(c.front, mask & 0xF);
        if (c.code >= N_PRIM_POLYGON && *pulAttr(pctx, N_ATTR_TWO_SIDE) != 0) point(c.back, (mask >> 4) & 0xF);
    }
    pipe->next[N_STAGE_COLOUR_MATERIAL](pctx, pipe);
}
