// The RGBA fog stage (stage 18 of the software path): each vertex's colour
// blended towards the fog colour by its fog factor, for the stages after it;
// the batch's own colours are put back when they return.
#include <cmath>
#include <cstring>

#include "3d/queue/renderfcn.h"
#include "vstage.h"

namespace {

enum : ULONG { kFogExp = 0, kFogExp2 = 1, kFogLinear = 2 };

float fAttr(N_Context* pctx, ULONG id, ULONG i = 0) {
    float f;
    std::memcpy(&f, pulAttr(pctx, id) + i, 4);
    return f;
}

// The fogged colours of one batch (four floats a vertex), in place of the
// batch's own while the later stages run.
float gafFogged[4 * N_BATCH_POINTS];
float gafFoggedBack[4 * N_BATCH_POINTS];  // the back colours of two-sided lighting, fogged

}  // namespace

float _NFogFactorOf(N_Context* pctx, float d) {
    switch (*pulAttr(pctx, N_ATTR_FOG_MODE)) {
    case kFogLinear: {
        const float start = fAttr(pctx, N_ATTR_FOG_START), end = fAttr(pctx, N_ATTR_FOG_END);
        return end == start ? 1.0f : (end - std::fabs(d)) / (end - start);
    }
    case kFogExp2: {
        const float t = fAttr(pctx, N_ATTR_FOG_DENSITY) * d;
        return std::exp(-(t * t));
    }
    default: return std::exp(-fAttr(pctx, N_ATTR_FOG_DENSITY) * std::fabs(d));
    }
}

// The fog factor of vertex i of the batch: its eye distance from its window
// coordinates and clip w by the eye-space depth row of the inverse of
// W x P (applied to the window coordinates and scaled by the clip w it
// gives the eye z).
float fFactorAt(N_Context* pctx, const CommonPipeData& c, ULONG i) {
    const float* r = &pctx->xf.fogInverse[8];
    const LONG* win = c.pWindow + 3 * std::size_t{i};
    const float w = c.pClipPos[4 * std::size_t{i} + 3];
    const float d = (r[0] * static_cast<float>(win[0]) + r[1] * static_cast<float>(win[1]) +
                     r[2] * static_cast<float>(win[2]) + r[3]) * w;
    return _NFogFactorOf(pctx, d);
}

void _NStageFogRGBA(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const ULONG n = c.stripVertexCount;
    if (n == 0 || c.pColours == nullptr || c.pWindow == nullptr || c.pClipPos == nullptr) {
        pipe->next[N_STAGE_FOG](pctx, pipe);
        return;
    }
    float fog[4];
    for (ULONG k = 0; k < 4; ++k) fog[k] = fAttr(pctx, N_ATTR_FOG_COLOUR, k);
    const float* pBack = _NBackColoursOf(c.pColours);
    for (ULONG i = 0; i < n; ++i) {
        const float f = fFactorAt(pctx, c, i);
        for (ULONG face = 0; face < (pBack != nullptr ? 2u : 1u); ++face) {
            const float* in = (face == 0 ? c.pColours : pBack) + 4 * std::size_t{i};
            float* out = (face == 0 ? gafFogged : gafFoggedBack) + 4 * std::size_t{i};
            for (ULONG k = 0; k < 4; ++k)
                out[k] = f <= 0.0f ? fog[k] : f >= 1.0f ? in[k] : in[k] * f + fog[k] * (1.0f - f);
        }
    }
    float* pSaved = c.pColours;
    c.pColours = gafFogged;
    _NSetBackColours(1, gafFogged, pBack != nullptr ? gafFoggedBack : nullptr);
    pipe->next[N_STAGE_FOG](pctx, pipe);
    _NSetBackColours(1, gafFogged, nullptr);
    c.pColours = pSaved;
}

void _NStageFogTextured(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    const ULONG n = c.stripVertexCount;
    if (n == 0 || c.pWindow == nullptr || c.pClipPos == nullptr) {
        pipe->next[N_STAGE_FOG](pctx, pipe);
        return;
    }
    for (ULONG i = 0; i < n; ++i) {
        const float f = std::fmin(std::fmax(fFactorAt(pctx, c, i), 0.0f), 1.0f);
        const auto* src = reinterpret_cast<const float*>(static_cast<const BYTE*>(c.front.colour.p) +
                                                         std::size_t{i} * c.front.colour.step);
        float* out = gafFogged + 4 * std::size_t{i};
        out[0] = out[1] = out[2] = f;
        out[3] = (c.format & N_VTX_RGBA) ? src[3] : fAttr(pctx, N_ATTR_COLOUR, 3);
    }
    float* pSaved = c.pColours;
    c.pColours = gafFogged;
    _NSetBackColours(1, gafFogged, nullptr);
    pipe->next[N_STAGE_FOG](pctx, pipe);
    c.pColours = pSaved;
}
