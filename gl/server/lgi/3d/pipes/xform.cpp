// The vertex transform stages: positions through the combined transform K
// to window coordinates with their outcodes (stage 7 in its render, select
// and feedback forms, and stage 34), eye-space positions through the
// pipeline's modelview (stage 8), the alternative path's fetch (stage 32);
// and the small vector and matrix functions of the layer.
//
// Window coordinates are converted explicitly, never through a processor
// rounding mode: the render forms truncate toward zero, the others round to
// nearest; NaN and values outside the 32-bit range give 0x80000000.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "pipes.h"
#include "vstage.h"

namespace {

constexpr LONG kIndefinite = N_WINDOW_INDEFINITE;
constexpr ULONG kAllOut = 63;

struct Batch {
    const BYTE* pSource;
    ULONG step;
    ULONG n;
};

// The batch the position stages work on; a count beyond the work buffers
// is refused (nothing is written, the batch is dropped).
bool bBatch(const CommonPipeData& c, Batch* b) {
    b->pSource = static_cast<const BYTE*>(c.position.p);
    b->step = c.position.step;
    b->n = c.stripVertexCount;
    if (b->n > N_BATCH_POINTS) {
        _NProgrammerError();
        return false;
    }
    return b->n == 0 || b->pSource != nullptr;
}

const float* pAt(const Batch& b, ULONG i) {
    return reinterpret_cast<const float*>(b.pSource + std::size_t{i} * b.step);
}

// A source position of 2, 3 or 4 components as (x, y, z, w).
void vPromote(const float* p, ULONG size, float* v) {
    v[0] = p[0];
    v[1] = p[1];
    v[2] = size >= 3 ? p[2] : 0.0f;
    v[3] = size == 4 ? p[3] : 1.0f;
}

ULONG cPositionSize(ULONG format) {
    if (format & N_VTX_POS4) return 4;
    if (format & N_VTX_POS3) return 3;
    return 2;
}

float fRecip(float w) { return (w == 0.0f) ? 0.0f : 1.0f / w; }

enum class Rounding { Trunc, Nearest };

LONG lWindow(float f, Rounding r) { return r == Rounding::Trunc ? _NWindowTrunc(f) : _NWindowRound(f); }

// The full projection-and-outcode routine over the batch: transform each
// position (promoted from `size` components, or the affine rows with w = 1),
// store the clip position, window coordinates and outcode, and the batch's
// AND and OR.
void vProjectAll(N_Context* pctx, CommonPipeData& c, const Batch& b, ULONG size, bool bAffine,
                 bool bDivide, Rounding r) {
    const float* K = pctx->xf.combined;
    ULONG andOut = kAllOut, orOut = 0;
    for (ULONG i = 0; i < b.n; ++i) {
        float v[4];
        vPromote(pAt(b, i), size, v);
        float* o = c.pClipPos + 4 * std::size_t{i};
        if (bAffine) {
            for (ULONG row = 0; row < 3; ++row)
                o[row] = K[4 * row] * v[0] + K[4 * row + 1] * v[1] + K[4 * row + 2] * v[2] + K[4 * row + 3];
            o[3] = 1.0f;
        } else {
            _NTransformVec4(v, o, K);
        }
        const float s = bDivide ? fRecip(o[3]) : 1.0f;
        LONG* win = c.pWindow + 3 * std::size_t{i};
        for (ULONG k = 0; k < 3; ++k) win[k] = lWindow(o[k] * s, r);
        const ULONG out = bDivide ? _NClipOutcode(pctx, o) : _NClipOutcodeW1(pctx, o);
        c.pOutcodes[i] = out;
        andOut &= out;
        orOut |= out;
    }
    c.andOutcode = andOut;
    c.orOutcode = orOut;
}

// The render forms of three components: transform and truncate, checking
// the window coordinates against the integer bounds; the first vertex
// outside (or with w <= 0) hands the batch to the full routine.
bool bFastInside(N_Context* pctx, CommonPipeData& c, const Batch& b, bool bAffine) {
    if (b.n == 0) return false;  // the full routine leaves AND 63, OR 0
    const float* K = pctx->xf.combined;
    const LONG* B = pctx->xf.boundsI;
    for (ULONG i = 0; i < b.n; ++i) {
        const float* p = pAt(b, i);
        float* o = c.pClipPos + 4 * std::size_t{i};
        const float v[4] = {p[0], p[1], p[2], 1.0f};
        if (bAffine) {
            for (ULONG row = 0; row < 3; ++row)
                o[row] = K[4 * row] * v[0] + K[4 * row + 1] * v[1] + K[4 * row + 2] * v[2] + K[4 * row + 3];
            o[3] = 1.0f;
        } else {
            _NTransformVec4(v, o, K);
            // Only w > 0 lies inside; a vertex behind the eye whose x/w,
            // y/w and z/w fall in the window is still outside.
            if (!(o[3] > 0.0f)) return false;
        }
        const float s = bAffine ? 1.0f : 1.0f / o[3];
        LONG* win = c.pWindow + 3 * std::size_t{i};
        for (ULONG k = 0; k < 3; ++k) {
            win[k] = _NWindowTrunc(o[k] * s);
            if (win[k] == kIndefinite || win[k] < B[k] || win[k] > B[k + 3]) return false;
        }
        c.pOutcodes[i] = 0;
    }
    c.andOutcode = 0;
    c.orOutcode = 0;
    return true;
}

template <ULONG size, bool bAffine, bool bDivide, Rounding r>
void vPositionForm(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    Batch b;
    if (!bBatch(c, &b)) return;
    vProjectAll(pctx, c, b, size, bAffine, bDivide, r);
    pipe->next[N_STAGE_POSITION](pctx, pipe);
}

template <bool bAffine>
void vRenderForm(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    Batch b;
    if (!bBatch(c, &b)) return;
    if (!bFastInside(pctx, c, b, bAffine)) vProjectAll(pctx, c, b, 3, bAffine, !bAffine, Rounding::Trunc);
    pipe->next[N_STAGE_POSITION](pctx, pipe);
}

// Eye-space positions: (x, y, z, w) through the pipeline's modelview; the
// two- and three-component forms divide by the fourth output (taken as 0
// when it is 0) and write w = 1.
template <ULONG size>
void vEyeForm(N_Context* pctx, N_Pipe* pipe, ULONG stage, bool bDivide) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    Batch b;
    if (!bBatch(c, &b)) return;
    const float* M = pctx->xf.pipeModelView;
    for (ULONG i = 0; i < b.n; ++i) {
        float v[4];
        vPromote(pAt(b, i), size, v);
        float* o = c.pEyePos + 4 * std::size_t{i};
        _NTransformVec4(v, o, M);
        if (bDivide) {
            const float s = fRecip(o[3]);
            o[0] *= s;
            o[1] *= s;
            o[2] *= s;
            o[3] = 1.0f;
        }
    }
    pipe->next[stage](pctx, pipe);
}

}  // namespace

LONG _NWindowTrunc(float f) {
    if (!(f > -2147483648.0f && f < 2147483648.0f)) return kIndefinite;
    return static_cast<LONG>(f);
}

LONG _NWindowRound(float f) {
    if (!(f > -2147483648.0f && f < 2147483648.0f)) return kIndefinite;
    return static_cast<LONG>(std::nearbyint(f));
}

ULONG _NClipOutcode(const N_Context* pctx, const float* v) {
    const float w = v[3];
    // A vertex with a NaN coordinate lies outside every plane: it is never drawn.
    if (w == 0.0f || v[0] != v[0] || v[1] != v[1] || v[2] != v[2] || w != w) return kAllOut;
    const float* B = pctx->xf.boundsF;
    ULONG out = 0;
    if (B[0] * w > v[0]) out |= 1;
    if (v[0] > B[3] * w) out |= 2;
    if (B[1] * w > v[1]) out |= 4;
    if (v[1] > B[4] * w) out |= 8;
    if (B[2] * w > v[2]) out |= 16;
    if (v[2] > B[5] * w) out |= 32;
    return out;
}

ULONG _NClipOutcodeW1(const N_Context* pctx, const float* v) {
    const float* B = pctx->xf.boundsF;
    ULONG out = 0;
    if (B[0] > v[0]) out |= 1;
    if (v[0] > B[3]) out |= 2;
    if (B[1] > v[1]) out |= 4;
    if (v[1] > B[4]) out |= 8;
    if (B[2] > v[2]) out |= 16;
    if (v[2] > B[5]) out |= 32;
    return out;
}

void _NXformPos2(N_Context* pctx, N_Pipe* pipe) { vPositionForm<2, false, true, Rounding::Nearest>(pctx, pipe); }
void _NXformPos3Render(N_Context* pctx, N_Pipe* pipe) { vRenderForm<false>(pctx, pipe); }
void _NXformPos3RenderAffine(N_Context* pctx, N_Pipe* pipe) { vRenderForm<true>(pctx, pipe); }
void _NXformPos3Select(N_Context* pctx, N_Pipe* pipe) { vPositionForm<3, false, true, Rounding::Nearest>(pctx, pipe); }
void _NXformPos3SelectAffine(N_Context* pctx, N_Pipe* pipe) {
    vPositionForm<3, false, false, Rounding::Nearest>(pctx, pipe);
}
void _NXformPos4(N_Context* pctx, N_Pipe* pipe) { vPositionForm<4, false, true, Rounding::Nearest>(pctx, pipe); }

void _NEyePos2(N_Context* pctx, N_Pipe* pipe) { vEyeForm<2>(pctx, pipe, N_STAGE_EYE, true); }
void _NEyePos3(N_Context* pctx, N_Pipe* pipe) { vEyeForm<3>(pctx, pipe, N_STAGE_EYE, true); }
void _NEyePos4(N_Context* pctx, N_Pipe* pipe) { vEyeForm<4>(pctx, pipe, N_STAGE_EYE, false); }

// The alternative vertex path fetches the whole primitive's positions into
// the eye-position array (the user clip planes are kept in eye space), and
// projects them from the source by K in stage 34.
void _NWholeFetch2(N_Context* pctx, N_Pipe* pipe) { vEyeForm<2>(pctx, pipe, N_STAGE_WHOLE_FETCH, false); }
void _NWholeFetch3(N_Context* pctx, N_Pipe* pipe) { vEyeForm<3>(pctx, pipe, N_STAGE_WHOLE_FETCH, false); }
void _NWholeFetch4(N_Context* pctx, N_Pipe* pipe) { vEyeForm<4>(pctx, pipe, N_STAGE_WHOLE_FETCH, false); }

void _NStageProject(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    Batch b;
    if (!bBatch(c, &b)) return;
    vProjectAll(pctx, c, b, cPositionSize(c.format), false, true, Rounding::Trunc);
    // Textured primitives' coordinates take their perspective weights now
    // that the clip w is known (the main path gives them in stage 10).
    if ((pctx->enableWord & KZ_EN_TEXTURE) && c.code != N_PRIM_RASTER_POS) _NTexturePerspective(c);
    pipe->next[N_STAGE_PROJECT](pctx, pipe);
}

N_StageFn _NPositionStage(N_Context* pctx, ULONG format) {
    if (format & N_VTX_POS4) return _NXformPos4;
    if (!(format & N_VTX_POS3)) return _NXformPos2;
    const bool bAffine = pctx->xf.combinedAffine != 0;
    if (*pulAttr(pctx, N_ATTR_RENDER_MODE) == N_RENDER_MODE_RENDER)
        return bAffine ? _NXformPos3RenderAffine : _NXformPos3Render;
    return bAffine ? _NXformPos3SelectAffine : _NXformPos3Select;
}

N_StageFn _NEyeStage(N_Context*, ULONG format) {
    if (format & N_VTX_POS4) return _NEyePos4;
    if (format & N_VTX_POS3) return _NEyePos3;
    return _NEyePos2;
}

N_StageFn _NWholeFetchStage(ULONG format) {
    if (format & N_VTX_POS4) return _NWholeFetch4;
    if (format & N_VTX_POS3) return _NWholeFetch3;
    return _NWholeFetch2;
}

// --- math ---------------------------------------------------------------------------------------
void _NMatMulSelf3x3(const float* a, float* out) {
    float r[4][3];
    for (ULONG i = 0; i < 4; ++i)
        for (ULONG j = 0; j < 3; ++j)
            r[i][j] = a[4 * i] * a[4 * j] + a[4 * i + 1] * a[4 * j + 1] + a[4 * i + 2] * a[4 * j + 2];
    for (ULONG i = 0; i < 4; ++i)
        for (ULONG j = 0; j < 3; ++j) out[4 * i + j] = r[i][j];
}

void _NTransformPoints(const float* in, float* out, ULONG count, const float* m, ULONG stride) {
    const auto* pj = reinterpret_cast<const BYTE*>(in);
    for (ULONG i = 0; i < count; ++i)
        _NTransformVec4(reinterpret_cast<const float*>(pj + std::size_t{i} * stride), out + 4 * std::size_t{i}, m);
}

void _NTransformVec3(const float* m, const float* v, float* out) {
    float r[3];
    for (ULONG i = 0; i < 3; ++i) r[i] = m[4 * i] * v[0] + m[4 * i + 1] * v[1] + m[4 * i + 2] * v[2] + m[4 * i + 3];
    std::memcpy(out, r, sizeof r);
}

void _NTransformVec3T(const float* v, float* out, const float* m) {
    float r[3];
    for (ULONG i = 0; i < 3; ++i) r[i] = m[i] * v[0] + m[4 + i] * v[1] + m[8 + i] * v[2];
    std::memcpy(out, r, sizeof r);
}

void _NVec3Scale(float s, const float* v, float* out) {
    for (ULONG i = 0; i < 3; ++i) out[i] = s * v[i];
}

void _NVec3Normalize(float* v) {
    const float len2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
    // A zero vector stays zero rather than turning into NaNs.
    if (!(len2 > 0.0f)) return;
    _NVec3Scale(1.0f / _NSqrt(len2), v, v);
}

float _NSqrt(float x) {
    if (!(x > 0.0f)) return x == 0.0f ? 0.0f : std::numeric_limits<float>::quiet_NaN();
    if (std::isinf(x)) return x;
    const ULONG bits = std::bit_cast<ULONG>(x);
    // Exponent halved, the mantissa bits added as a first guess.
    const std::int32_t exponent = static_cast<std::int32_t>(bits & 0x7F000000u) - 0x40000000;
    const auto guess = static_cast<ULONG>(exponent / 2 + 0x3F800000) + ((bits & 0x00FFFFFFu) >> 1);
    float g = std::bit_cast<float>(guess);
    for (int k = 0; k < 4; ++k) g = (x / g + g) * 0.5f;
    return g;
}

float _NCos(float x) {
    static const float kSin[] = {1.5707964f,     -0.6459641f,   0.079692625f,  -0.004681754f,
                                 0.00016044118f, -3.5988433e-6f, 5.6921728e-8f, -6.688035e-10f};
    static const float kCos[] = {1.0f,           -1.2337005f,    0.2536695f,   -0.02086348f, 0.00091926026f,
                                 -2.5202042e-5f, 4.7108747e-7f, -6.3866032e-9f, 6.565963e-11f};
    if (std::isnan(x)) return x;
    float q = std::fabs(x) * 0.63661975f;
    if (q < 3.7252903e-9f) return 1.0f;  // 2^-28
    if (q > 1073741824.0f) {             // 2^30
        if (std::fabs(x) > 1e18f) return 1.0f;
        q = std::fmod(q, 1073741824.0f);
    }
    const double n = std::nearbyint(static_cast<double>(q) + 0.5);
    const float r = static_cast<float>(n - q);
    const float r2 = r * r;
    const auto in = static_cast<std::int64_t>(n);
    float s = 0.0f;
    if (in & 1) {
        for (int k = 7; k >= 0; --k) s = s * r2 + kSin[k];
        s *= r;
    } else {
        for (int k = 8; k >= 0; --k) s = s * r2 + kCos[k];
    }
    return (in & 2) ? -s : s;
}

ULONG _NLowestBit(ULONG x) { return x == 0 ? 0 : static_cast<ULONG>(std::countr_zero(x)) + 1; }
