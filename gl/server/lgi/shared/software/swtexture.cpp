// Span texture samplers and environments (swtexture.h).
#include "swtexture.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "3d/validate/validate.h"

namespace {

constexpr float kChannelMax = 255.0f;         // a texel channel's full value
constexpr float kTexelScale = 1.0f / 255.0f;  // a texel channel (0..255) as a factor

struct Texel {
    float r, g, b, a;
};

N_FragSpan& Span(N_Pipe* pipe) { return pipe->pCommonPipeData->span; }

// The wrap modes of s and t: repeat (code 0) or clamp (a one-dimensional
// texture has no t wrap of its own and takes its s wrap).
struct Wraps {
    bool s, t;
};
Wraps WrapsOf(N_Context* pctx) {
    const bool b2D = pctx->boundTex.target != 0;
    const bool bRepeatS = *pulAttr(pctx, b2D ? N_ATTR_WRAP_S1 : N_ATTR_WRAP_S) == 0;
    const bool bRepeatT = b2D ? *pulAttr(pctx, N_ATTR_WRAP_T1) == 0 : bRepeatS;
    return {bRepeatS, bRepeatT};
}

// The border colour of the bound texture's set, as a texel (red, green,
// blue on 0..255, alpha on 0..1), each value clamped to [0, 1] first; a
// texture of fewer components takes it as GL takes its texels: luminance
// from red, alpha 1 without an alpha component.
Texel BorderOf(N_Context* pctx) {
    const bool b2D = pctx->boundTex.target != 0;
    float c[4];
    for (ULONG k = 0; k < 4; ++k) c[k] = std::clamp(fNAttr(pctx, b2D ? N_ATTR_BORDER_COLOUR1 : N_ATTR_BORDER_COLOUR, k), 0.0f, 1.0f);
    // NaN clamps to itself: read it as 0.
    for (float& v : c)
        if (!(v >= 0.0f)) v = 0.0f;
    switch (pctx->boundTex.components) {
    case 1: return {c[0] * kChannelMax, c[0] * kChannelMax, c[0] * kChannelMax, 1.0f};
    case 2: return {c[0] * kChannelMax, c[0] * kChannelMax, c[0] * kChannelMax, c[3]};
    case 3: return {c[0] * kChannelMax, c[1] * kChannelMax, c[2] * kChannelMax, 1.0f};
    default: return {c[0] * kChannelMax, c[1] * kChannelMax, c[2] * kChannelMax, c[3]};
    }
}

// One level of the cache: its first interior texel, stored width, and
// interior size; whether its neighbours wrap round (repeat) or stop at the
// edge (clamp); the texture's border (texels kept around the interior, or
// the border colour without them); a one-dimensional texture reads its
// only row whatever t.
struct Level {
    const float* p = nullptr;
    LONG stored = 1;
    LONG w = 1, h = 1;
    bool repeatS = false, repeatT = false;
    bool oneRow = false;
    bool borderTexels = false;
    Texel border{0, 0, 0, 0};
};
Level LevelOf(N_Context* pctx, LONG d, LONG storedW, LONG storedH) {
    Level l;
    const Wraps wr = WrapsOf(pctx);
    l.repeatS = wr.s, l.repeatT = wr.t;
    l.oneRow = pctx->boundTex.target == 0;
    const LONG b = static_cast<LONG>(pctx->boundTex.border);
    l.borderTexels = b > 0;
    if (!wr.s || !wr.t) l.border = BorderOf(pctx);
    if (pctx->ppTexLevels == nullptr || d < 0 || d >= static_cast<LONG>(N_TEX_LEVELS)) return l;
    l.p = pctx->ppTexLevels[d];
    l.stored = std::max<LONG>(storedW, 1);
    l.w = std::max<LONG>(storedW - 2 * b, 1);
    l.h = std::max<LONG>(storedH - 2 * b, 1);
    return l;
}
// The texel at (i, j): under repeat a column or row past the edge is the
// one at the other edge, as GL takes the neighbours of a linear filter;
// under clamp (GL 1.0's CLAMP) the border: the border texel where the
// image has one, else the border colour. Coordinates clamped to [0, 1]
// reach at most one texel past either edge.
Texel At(const Level& l, LONG i, LONG j) {
    if (l.p == nullptr) return {0, 0, 0, 1};
    if (l.oneRow) j = 0;
    if (l.repeatS) i = ((i % l.w) + l.w) % l.w;
    if (l.repeatT && !l.oneRow) j = ((j % l.h) + l.h) % l.h;
    const bool bOutside = i < 0 || i >= l.w || j < 0 || j >= l.h;
    if (bOutside) {
        if (!l.borderTexels) return l.border;
        i = std::clamp<LONG>(i, -1, l.w);
        j = l.oneRow ? 0 : std::clamp<LONG>(j, -1, l.h);
    }
    const float* t = l.p + 5 * (static_cast<std::ptrdiff_t>(j) * l.stored + i);
    return {t[0], t[1], t[2], t[3]};
}
Texel Mix(const Texel& a, const Texel& b, float f) {
    return {a.r + (b.r - a.r) * f, a.g + (b.g - a.g) * f, a.b + (b.b - a.b) * f, a.a + (b.a - a.a) * f};
}
void Put(N_FragSpan& s, LONG k, const Texel& t) {
    s.pS[k] = t.r, s.pT[k] = t.g, s.pQ[k] = t.b, s.pTexelAlpha[k] = t.a;
}
// GL's texel addressing: a texture coordinate s (0 to 1 after the wrap)
// lies s x w texels into a level of width w, texel i covering [i, i + 1).
// Nearest: the texel holding the point, the last one for s = 1.
Texel Nearest(const Level& l, float s, float t) {
    const LONG i = std::min(static_cast<LONG>(s * static_cast<float>(l.w)), l.w - 1);
    const LONG j = std::min(static_cast<LONG>(t * static_cast<float>(l.h)), l.h - 1);
    return At(l, i, j);
}
// Linear: the four texels whose centres surround the point, weighed by its
// distance from them; past the first or last centre the texel at the other
// edge under repeat, the edge texel twice under clamp.
Texel Bilinear(const Level& l, float s, float t) {
    const float u = s * static_cast<float>(l.w) - 0.5f, v = t * static_cast<float>(l.h) - 0.5f;
    const float fi = std::floor(u), fj = std::floor(v);
    const LONG i0 = static_cast<LONG>(fi), j0 = static_cast<LONG>(fj);
    const float fu = u - fi, fv = v - fj;
    const Texel a = At(l, i0, j0), b = At(l, i0 + 1, j0), c = At(l, i0, j0 + 1), d = At(l, i0 + 1, j0 + 1);
    const float w00 = (1 - fu) * (1 - fv), w10 = fu * (1 - fv), w01 = (1 - fu) * fv, w11 = fu * fv;
    return {w00 * a.r + w10 * b.r + w01 * c.r + w11 * d.r, w00 * a.g + w10 * b.g + w01 * c.g + w11 * d.g,
            w00 * a.b + w10 * b.b + w01 * c.b + w11 * d.b, w00 * a.a + w10 * b.a + w01 * c.a + w11 * d.a};
}

// The span's colour channels are on the colour buffer's own scale (the
// colour conversion's: 255 at 24 and 32 bits, 127 at 16): a texel that
// takes a channel's place enters it on that scale, and so does the
// environment colour.
struct EnvValues {
    float M[3];  // each channel's full value
    float E[3];
    float F[4];
};
EnvValues EnvOf(N_Context* pctx) {
    EnvValues v{};
    const float* sc = pctx->val.colour.scale;
    v.M[0] = sc[0] / 65536.0f, v.M[1] = sc[1] / 256.0f, v.M[2] = sc[2];
    for (int c = 0; c < 3; ++c) v.E[c] = pctx->val.tex.envColour[c] * v.M[c];
    const ULONG* fog = pulAttr(pctx, N_ATTR_FOG_COLOUR);
    for (int c = 0; c < 4; ++c) std::memcpy(&v.F[c], &fog[c], sizeof(float));
    return v;
}

}  // namespace

void _NTexFilterNearest(N_Context* pctx, N_Pipe* pipe, N_TexLod* pLod) {
    N_FragSpan& s = Span(pipe);
    const Level l = LevelOf(pctx, pLod->d, pLod->width, pLod->height);
    for (LONG k = 0; k < s.count; ++k) Put(s, k, Nearest(l, s.pS[k], s.pT[k]));
}

void _NTexFilterLinear(N_Context* pctx, N_Pipe* pipe, N_TexLod* pLod) {
    N_FragSpan& s = Span(pipe);
    const Level l = LevelOf(pctx, pLod->d, pLod->width, pLod->height);
    for (LONG k = 0; k < s.count; ++k) Put(s, k, Bilinear(l, s.pS[k], s.pT[k]));
}

// The two-level filters sample each level by its own size, as GL does.
void _NTexFilterNearestMipLinear(N_Context* pctx, N_Pipe* pipe, N_TexLod* pLod) {
    N_FragSpan& s = Span(pipe);
    const Level a = LevelOf(pctx, pLod->d, pLod->width, pLod->height);
    const Level b = LevelOf(pctx, pLod->d2, pLod->width2, pLod->height2);
    const float f = pLod->lambda - std::trunc(pLod->lambda);
    for (LONG k = 0; k < s.count; ++k) Put(s, k, Mix(Nearest(a, s.pS[k], s.pT[k]), Nearest(b, s.pS[k], s.pT[k]), f));
}

void _NTexFilterLinearMipLinear(N_Context* pctx, N_Pipe* pipe, N_TexLod* pLod) {
    N_FragSpan& s = Span(pipe);
    const Level a = LevelOf(pctx, pLod->d, pLod->width, pLod->height);
    const Level b = LevelOf(pctx, pLod->d2, pLod->width2, pLod->height2);
    // The blend fraction of the level chosen for this primitive: the
    // record's own fraction word is kept only by the per-fragment choice
    // and would be left over from an earlier span.
    const float f = pLod->lambda - std::trunc(pLod->lambda);
    for (LONG k = 0; k < s.count; ++k)
        Put(s, k, Mix(Bilinear(a, s.pS[k], s.pT[k]), Bilinear(b, s.pS[k], s.pT[k]), f));
}

N_TexFilterFn _NTexFilterOf(ULONG code) {
    switch (code) {
    case 1: case 4: return _NTexFilterLinear;
    case 3: return _NTexFilterNearestMipLinear;
    case 5: return _NTexFilterLinearMipLinear;
    default: return _NTexFilterNearest;
    }
}

void _NTexEnvModulate(N_Context*, N_Pipe* pipe) {
    N_FragSpan& s = Span(pipe);
    for (LONG k = 0; k < s.count; ++k) {
        s.pRed[k] = s.pS[k] * s.pRed[k] * kTexelScale;
        s.pGreen[k] = s.pT[k] * s.pGreen[k] * kTexelScale;
        s.pBlue[k] = s.pQ[k] * s.pBlue[k] * kTexelScale;
        s.pAlpha[k] = s.pTexelAlpha[k] * s.pAlpha[k];
    }
}

void _NTexEnvDecal(N_Context* pctx, N_Pipe* pipe) {
    N_FragSpan& s = Span(pipe);
    const EnvValues e = EnvOf(pctx);
    const float r = e.M[0] * kTexelScale, g = e.M[1] * kTexelScale, b = e.M[2] * kTexelScale;
    for (LONG k = 0; k < s.count; ++k) s.pRed[k] = s.pS[k] * r, s.pGreen[k] = s.pT[k] * g, s.pBlue[k] = s.pQ[k] * b;
}

void _NTexEnvDecalRGBA(N_Context* pctx, N_Pipe* pipe) {
    N_FragSpan& s = Span(pipe);
    const EnvValues e = EnvOf(pctx);
    const float r = e.M[0] * kTexelScale, g = e.M[1] * kTexelScale, b = e.M[2] * kTexelScale;
    for (LONG k = 0; k < s.count; ++k) {
        const float ta = s.pTexelAlpha[k];
        s.pRed[k] += (s.pS[k] * r - s.pRed[k]) * ta;
        s.pGreen[k] += (s.pT[k] * g - s.pGreen[k]) * ta;
        s.pBlue[k] += (s.pQ[k] * b - s.pBlue[k]) * ta;
        s.pAlpha[k] = ta;
    }
}

void _NTexEnvBlend(N_Context* pctx, N_Pipe* pipe) {
    N_FragSpan& s = Span(pipe);
    const EnvValues e = EnvOf(pctx);
    for (LONG k = 0; k < s.count; ++k) {
        s.pRed[k] += (e.E[0] - s.pRed[k]) * s.pS[k] * kTexelScale;
        s.pGreen[k] += (e.E[1] - s.pGreen[k]) * s.pT[k] * kTexelScale;
        s.pBlue[k] += (e.E[2] - s.pBlue[k]) * s.pQ[k] * kTexelScale;
        s.pAlpha[k] = s.pTexelAlpha[k] * s.pAlpha[k];
    }
}

// Fogged texturing: the fragment colour is the fog factor f on the
// buffer's scale in each of red, green and blue, the colour's own part is
// the current colour C. The environment's colour (modulate C x texel;
// decal the texel, over C by the texel's alpha when it has one) is fogged:
// f x that + (1 - f) x the fog colour. Fog leaves alpha alone: modulate
// takes the texel's alpha times the fragment's, decal the fragment's.
void _NTexEnvAlt(N_Context* pctx, N_Pipe* pipe) {
    N_FragSpan& s = Span(pipe);
    const EnvValues e = EnvOf(pctx);
    float C[4];
    std::memcpy(C, pulAttr(pctx, N_ATTR_COLOUR), sizeof C);
    const bool bDecal = pctx->texEnv == 1;
    const bool bTexelAlpha = pctx->boundTex.components == 2 || pctx->boundTex.components == 4;
    float* const ch[3] = {s.pRed, s.pGreen, s.pBlue};
    float* const tx[3] = {s.pS, s.pT, s.pQ};
    for (LONG k = 0; k < s.count; ++k) {
        const float ta = s.pTexelAlpha[k];
        for (int c = 0; c < 3; ++c) {
            const float f = e.M[c] > 0.0f ? ch[c][k] / e.M[c] : 0.0f;
            const float t = tx[c][k] * kTexelScale;
            const float env = !bDecal ? C[c] * t : bTexelAlpha ? C[c] + (t - C[c]) * ta : t;
            ch[c][k] = (f * env + (1.0f - f) * e.F[c]) * e.M[c];
        }
        if (!bDecal) s.pAlpha[k] *= ta;
    }
}

float _NTexWrap(float s, bool bRepeat) {
    // A coordinate that is not a number (a client's, or 0 x infinity from
    // a q next to 0) samples the first texel rather than an undefined one.
    if (std::isnan(s)) return 0.0f;
    if (!bRepeat) return std::min(std::max(s, 0.0f), 1.0f);
    if (s == 1.0f || !std::isfinite(s)) return s == 1.0f ? 1.0f : 0.0f;
    const float u = s < 0.0f ? s - 1.0f : s;
    return s - std::trunc(u);
}

namespace {

// One fragment sampled by a filter code with the record's levels and the
// blend fraction f.
bool bSampleOne(N_Context* pctx, const N_TexLod& lod, float s, float t, float f, Texel* out) {
    const Level a = LevelOf(pctx, lod.d, lod.width, lod.height);
    switch (lod.filter) {
    case 0: case 2: *out = Nearest(a, s, t); return true;
    case 1: case 4: *out = Bilinear(a, s, t); return true;
    case 3: case 5: {
        const Level b = LevelOf(pctx, lod.d2, lod.width2, lod.height2);
        *out = lod.filter == 3 ? Mix(Nearest(a, s, t), Nearest(b, s, t), f) : Mix(Bilinear(a, s, t), Bilinear(b, s, t), f);
        return true;
    }
    default: return false;
    }
}

}  // namespace

void _NSpanTexCore(N_Context* pctx, N_Pipe* pipe, N_TexLod* pLod) {
    N_FragSpan& s = Span(pipe);
    const bool bPerFragment = s.lodMode == N_LOD_FRAGMENT;
    for (LONG k = 0; k < s.count; ++k) {
        if (bPerFragment && s.pQ[k] != 0.0f) {
            pLod->lambda = _NLog2(s.pQ[k]);
            _NSelectMipLevel(pctx, pLod);
        }
        // The fraction of the level this fragment is drawn with (none for
        // an infinite footprint, which takes the last level whole).
        pLod->fraction = std::isfinite(pLod->lambda) ? pLod->lambda - std::trunc(pLod->lambda) : 0.0f;
        Texel t;
        if (bSampleOne(pctx, *pLod, s.pS[k], s.pT[k], pLod->fraction, &t)) Put(s, k, t);
    }
}

void _NSpanTexture(N_Context* pctx, N_Pipe* pipe) {
    CommonPipeData& c = *pipe->pCommonPipeData;
    N_FragSpan& s = c.span;
    N_TexLod* pLod = s.pTexLod != nullptr ? s.pTexLod : &c.texLod;
    const bool bAffine = pctx->xf.projectionAffine != 0;
    if (!bAffine) {
        if (s.lodMode == N_LOD_FRAGMENT) {
            const auto* tri = static_cast<const N_SpanTri*>(c.pCurPrim);
            const float W = static_cast<float>(pctx->boundTex.width), H = static_cast<float>(pctx->boundTex.height);
            for (LONG k = 0; k < s.count; ++k) {
                const float q = s.pQ[k];
                if (q == 0.0f || tri == nullptr) {
                    s.pS[k] = s.pT[k] = s.pQ[k] = 1.0f;
                    continue;
                }
                const float r = 1.0f / q, r2 = r * r, S = s.pS[k], T = s.pT[k];
                const float dudx = (S * tri->dqdx - q * tri->dsdx) * r2 * W;
                const float dvdx = (T * tri->dqdx - q * tri->dtdx) * r2 * H;
                const float dudy = (S * tri->dqdy - q * tri->dsdy) * r2 * W;
                const float dvdy = (T * tri->dqdy - q * tri->dtdy) * r2 * H;
                s.pS[k] = S * r;
                s.pT[k] = T * r;
                s.pQ[k] = _NTexRho(dudx, dvdx, dudy, dvdy);
            }
        } else {
            for (LONG k = 0; k < s.count; ++k) {
                const float q = s.pQ[k];
                if (q == 0.0f) {
                    s.pS[k] = s.pT[k] = 1.0f;
                } else {
                    s.pS[k] *= 1.0f / q;
                    s.pT[k] *= 1.0f / q;
                }
            }
        }
    }
    const Wraps wr = WrapsOf(pctx);
    for (LONG k = 0; k < s.count; ++k) {
        s.pS[k] = _NTexWrap(s.pS[k], wr.s);
        s.pT[k] = _NTexWrap(s.pT[k], wr.t);
    }
    if (!bAffine && s.lodMode != N_LOD_PRIMITIVE) _NSpanTexCore(pctx, pipe, pLod);
    else _NTexFilterOf(pctx->val.tex.samplerInForce)(pctx, pipe, pLod);
    // The span's channels carry the colour conversion's offset (red's at 8
    // bits a pixel, where the palette shows red 0 at red step 1): the
    // environments work on the channels' values above it, so that products
    // and mixes do not scale it, and it is put back after.
    const float* offset = pctx->val.colour.offset;
    float* const channels[3] = {s.pRed, s.pGreen, s.pBlue};
    for (int c = 0; c < 3; ++c)
        if (offset[c] != 0.0f)
            for (LONG k = 0; k < s.count; ++k) channels[c][k] = std::max(channels[c][k] - offset[c], 0.0f);
    switch (pctx->val.tex.envFunction) {
    case 1: _NTexEnvDecal(pctx, pipe); break;
    case 2: _NTexEnvBlend(pctx, pipe); break;
    case 3: _NTexEnvDecalRGBA(pctx, pipe); break;
    case N_TEXENV_FOG: _NTexEnvAlt(pctx, pipe); break;
    default: _NTexEnvModulate(pctx, pipe); break;
    }
    for (int c = 0; c < 3; ++c)
        if (offset[c] != 0.0f)
            for (LONG k = 0; k < s.count; ++k) channels[c][k] += offset[c];
    pipe->next[N_STAGE_SW_TEXTURE](pctx, pipe);
}
