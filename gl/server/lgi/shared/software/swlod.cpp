// Texture level of detail for the software path: a scale factor rho
// (texels per pixel) of a line segment, a triangle or one fragment gives
// lambda = log2(rho); lambda against the magnification threshold c chooses
// magnification or minification, and the minification filter chooses the
// mipmap level or pair of levels.
#include <algorithm>
#include <cmath>

#include "swspan.h"
#include "../../seams.h"

namespace {

// The bound texture as the level choice sees it.
struct TexSize {
    float w, h;   // level 0 without the border
    LONG border;
    LONG last;    // the last level
};

TexSize Size(N_Context* pctx) {
    const N_BoundTexture& t = pctx->boundTex;
    const ULONG levels = std::min<ULONG>(pctx->texLevels, 32);
    return {static_cast<float>(t.width), static_cast<float>(t.height), static_cast<LONG>(t.border),
            levels > 0 ? static_cast<LONG>(levels) - 1 : 0};
}

// A dimension of level d with the border: the level-0 size halved d times
// and never below one texel (a texture whose sides differ reaches one texel
// on its short side first, and stays there; the last level of a complete
// set is one texel each way).
LONG lLevelSize(ULONG base, LONG d, LONG border) {
    const ULONG n = d >= 32 ? 0 : base >> d;
    return static_cast<LONG>(std::max<ULONG>(n, 1)) + 2 * border;
}

float fRho(float x) { return x > 0.0f ? _NLog2(x) : 0.0f; }  // NaN, 0 and below: 0

N_TexLod& Record(N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    return c.span.pTexLod != nullptr ? *c.span.pTexLod : c.texLod;
}

const N_SpanTri* pTri(N_Pipe* pipe) { return static_cast<const N_SpanTri*>(pipe->pCommonPipeData->pCurPrim); }

}  // namespace

float _NLog2(float x) {
    return static_cast<float>(std::log(static_cast<long double>(x)) / std::log(2.0L));
}

float _NSpanInvQ(float q) { return q == 0.0f ? 1048576.0f : 1.0f / q; }

float _NTexRho(float dudx, float dvdx, float dudy, float dvdy) {
    return std::max(_NSqrt(dudx * dudx + dvdx * dvdx), _NSqrt(dudy * dudy + dvdy * dvdy));
}

ULONG _NSelectMipLevel(N_Context* pctx, N_TexLod* p) {
    N_TexSampling& s = pctx->val.tex;
    const N_BoundTexture& bt = pctx->boundTex;
    const TexSize ts = Size(pctx);
    const LONG b = ts.border;
    float lambda = p->lambda;
    if (std::isnan(lambda)) lambda = 0.0f;
    auto base = [&] {
        p->d = 0;
        p->width = static_cast<LONG>(bt.width) + 2 * b;
        p->height = static_cast<LONG>(bt.height) + 2 * b;
    };
    if (s.switchOver >= lambda) {
        p->filter = s.magFilter;
        s.samplerInForce = s.magSampler;
        base();
        return N_LOD_MAGNIFY;
    }
    p->filter = s.minFilter;
    s.samplerInForce = s.minSampler;
    const LONG m = ts.last;
    switch (s.minFilter) {
        case 2:
        case 4:
            if (lambda <= 0.5f) {
                base();
                return N_LOD_NEAREST_BASE;
            }
            if (lambda <= static_cast<float>(m) + 0.5f) {
                p->d = static_cast<LONG>(std::ceil(lambda - 0.5f));
                p->width = lLevelSize(bt.width, p->d, b);
                p->height = lLevelSize(bt.height, p->d, b);
                return N_LOD_NEAREST_LEVEL;
            }
            p->d = m;
            p->width = lLevelSize(bt.width, m, b);
            p->height = lLevelSize(bt.height, m, b);
            return N_LOD_NEAREST_LAST;
        case 3:
        case 5: {
            // Lambda truncated toward zero, 0 below 1 (and held inside the
            // levels a texture can have).
            const LONG t = lambda < 1.0f ? 0 : lambda >= 32.0f ? 32 : static_cast<LONG>(lambda);
            if (m > t) {
                p->d = t;
                p->d2 = t + 1;
                p->width = lLevelSize(bt.width, t, b);
                p->height = lLevelSize(bt.height, t, b);
                p->width2 = lLevelSize(bt.width, t + 1, b);
                p->height2 = lLevelSize(bt.height, t + 1, b);
                return N_LOD_LINEAR_PAIR;
            }
            p->d = p->d2 = m;
            p->width = p->width2 = lLevelSize(bt.width, m, b);
            p->height = p->height2 = lLevelSize(bt.height, m, b);
            return N_LOD_LINEAR_LAST;
        }
        default:
            base();
            return N_LOD_NO_MIPMAP;
    }
}

ULONG _NSwLineTexLod(N_Context* pctx, N_TexLod* pLod, float a1, float a2, float a3, float a4, LONG ex, LONG ey) {
    const TexSize ts = Size(pctx);
    const float fx = static_cast<float>(ex), fy = static_cast<float>(ey);
    const float length = _NSqrt(fx * fx + fy * fy);
    // The change of s and t over the whole segment, in texels: taken along
    // the major axis, whose reciprocal the line stage passed (ds / |dx| x
    // |dx| or ds / |dy| x |dy|), so each coordinate's change counts once.
    const bool bXMajor = ex >= ey;
    const float u = bXMajor ? fx * (a1 * ts.w) : fy * (ts.w * a2);
    const float v = bXMajor ? fx * (a3 * ts.h) : fy * (ts.h * a4);
    const float uv = u * u + v * v;
    pLod->lambda = (uv > 0.0f && length > 0.0f) ? fRho(_NSqrt(uv) / length) : 0.0f;
    return _NSelectMipLevel(pctx, pLod);
}

ULONG _NSpanTexLod(N_Context* pctx, N_Pipe* pipe) {
    N_TexLod& lod = Record(pipe);
    const N_SpanTri* t = pTri(pipe);
    if (t == nullptr) {
        _NProgrammerError();
        lod.lambda = 0.0f;
        return _NSelectMipLevel(pctx, &lod);
    }
    const TexSize ts = Size(pctx);
    const float ux = ts.w * t->dsdx, vx = ts.h * t->dtdx;
    const float uy = ts.w * t->dsdy, vy = ts.h * t->dtdy;
    const float rho = std::max(_NSqrt(ux * ux + vx * vx), _NSqrt(uy * uy + vy * vy));
    lod.lambda = fRho(rho);
    return _NSelectMipLevel(pctx, &lod);
}

ULONG _NSpanTexLodPersp(N_Context* pctx, N_Pipe* pipe, const float* f) {
    N_TexLod& lod = Record(pipe);
    const N_SpanTri* t = pTri(pipe);
    if (t == nullptr) {
        _NProgrammerError();
        lod.lambda = 0.0f;
        return _NSelectMipLevel(pctx, &lod);
    }
    const TexSize ts = Size(pctx);
    const float s = f[0], tt = f[1], q = f[3];
    float rho = 1.0f;
    if (q != 0.0f) {
        const float k = (1.0f / q) * (1.0f / q);
        const float dudx = (s * t->dqdx - q * t->dsdx) * k * ts.w;
        const float dvdx = (tt * t->dqdx - q * t->dtdx) * k * ts.h;
        const float dudy = (s * t->dqdy - q * t->dsdy) * k * ts.w;
        const float dvdy = (tt * t->dqdy - q * t->dtdy) * k * ts.h;
        rho = _NTexRho(dudx, dvdx, dudy, dvdy);
    }
    if (rho != 0.0f && !std::isnan(rho)) {
        lod.lambda = _NLog2(rho);
        lod.fraction = std::isfinite(lod.lambda) ? lod.lambda - std::trunc(lod.lambda) : 0.0f;
    } else {
        lod.lambda = 0.0f;
    }
    return _NSelectMipLevel(pctx, &lod);
}
