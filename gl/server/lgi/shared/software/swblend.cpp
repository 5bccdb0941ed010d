// The colour stages of the software path: the blend (factor functions over
// the whole span into two factor buffers, then one multiply-add a channel),
// the colour pack with the ordered dither, and the logic and arithmetic
// operations on packed pixels.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

#include "lgigl.h"
#include "swfrag.h"
#include "3d/validate/validate.h"

namespace {

void Next(N_Context* pctx, N_Pipe* pipe, ULONG k) { pipe->next[k](pctx, pipe); }
N_FragSpan& SpanOf(N_Pipe* pipe) { return pipe->pCommonPipeData->span; }
LONG Count(const N_FragSpan& sp) { return std::min<LONG>(sp.count, static_cast<LONG>(N_FRAG_MAX)); }

// The two factor buffers: r, g, b, a a fragment.
float gafSource[4 * N_FRAG_MAX];
float gafDest[4 * N_FRAG_MAX];

// --- factors -----------------------------------------------------------------------------------
template <class F>
void vFill(const N_FragSpan& sp, float* out, F f) {
    const LONG n = Count(sp);
    for (LONG i = 0; i < n; ++i) f(i, out + 4 * i);
}
void vSet(float* o, float rgb, float a) { o[0] = o[1] = o[2] = rgb, o[3] = a; }

void FactorZero(N_Context*, const N_FragSpan& sp, float* o) { vFill(sp, o, [](LONG, float* p) { vSet(p, 0, 0); }); }
void FactorOne(N_Context*, const N_FragSpan& sp, float* o) { vFill(sp, o, [](LONG, float* p) { vSet(p, 1, 1); }); }
template <bool bOneMinus>
void FactorDstColor(N_Context* pctx, const N_FragSpan& sp, float* o) {
    float m[3];
    _NChannelMax(pctx, m);
    const float rr = 1.0f / m[0], rg = 1.0f / m[1], rb = 1.0f / m[2];
    vFill(sp, o, [&](LONG i, float* p) {
        p[0] = sp.pDstRed[i] * rr, p[1] = sp.pDstGreen[i] * rg, p[2] = sp.pDstBlue[i] * rb, p[3] = sp.pDstAlpha[i];
        if (bOneMinus)
            for (int k = 0; k < 4; ++k) p[k] = 1.0f - p[k];
    });
}
template <bool bOneMinus>
void FactorSrcColor(N_Context* pctx, const N_FragSpan& sp, float* o) {
    float m[3];
    _NChannelMax(pctx, m);
    const float rr = 1.0f / m[0], rg = 1.0f / m[1], rb = 1.0f / m[2];
    vFill(sp, o, [&](LONG i, float* p) {
        p[0] = sp.pRed[i] * rr, p[1] = sp.pGreen[i] * rg, p[2] = sp.pBlue[i] * rb, p[3] = sp.pAlpha[i];
        if (bOneMinus)
            for (int k = 0; k < 4; ++k) p[k] = 1.0f - p[k];
    });
}
template <bool bOneMinus>
void FactorSrcAlpha(N_Context*, const N_FragSpan& sp, float* o) {
    vFill(sp, o, [&](LONG i, float* p) {
        const float a = bOneMinus ? 1.0f - sp.pAlpha[i] : sp.pAlpha[i];
        vSet(p, a, a);
    });
}
template <bool bOneMinus>
void FactorDstAlpha(N_Context*, const N_FragSpan& sp, float* o) {
    vFill(sp, o, [&](LONG i, float* p) {
        const float a = bOneMinus ? 1.0f - sp.pDstAlpha[i] : sp.pDstAlpha[i];
        vSet(p, a, a);
    });
}
void FactorSaturate(N_Context*, const N_FragSpan& sp, float* o) {
    vFill(sp, o, [&](LONG i, float* p) { vSet(p, std::min(sp.pAlpha[i], 1.0f - sp.pDstAlpha[i]), 1.0f); });
}

float fClamp(float v, float hi) { return v >= hi ? hi : (v > 0.0f ? v : 0.0f); }

// --- dither ------------------------------------------------------------------------------------
// The values of the display driver's dither tile, each in the three colour
// bytes: 0-31 where the channels keep 5 bits of 8 (8 bits a pixel), 0-3
// where they keep 5 of 7 (16 bits a pixel).
constexpr BYTE kDither8[8][8] = {
    {0, 16, 4, 20, 1, 17, 5, 21}, {24, 8, 28, 12, 25, 9, 29, 13}, {6, 22, 2, 18, 7, 23, 3, 19},
    {30, 14, 26, 10, 31, 15, 27, 11}, {1, 17, 5, 21, 0, 16, 4, 20}, {25, 9, 29, 13, 24, 8, 28, 12},
    {7, 23, 3, 19, 6, 22, 2, 18}, {31, 15, 27, 11, 30, 14, 26, 10},
};
constexpr BYTE kDither16[8][8] = {
    {0, 2, 0, 2, 2, 0, 2, 0}, {3, 1, 3, 1, 1, 3, 1, 3}, {0, 2, 0, 2, 2, 0, 2, 0}, {3, 1, 3, 1, 1, 3, 1, 3},
    {2, 0, 2, 0, 0, 2, 1, 2}, {1, 3, 1, 3, 3, 1, 3, 1}, {2, 0, 2, 0, 0, 2, 0, 2}, {1, 3, 1, 3, 3, 1, 3, 1},
};
struct Matrix {
    ULONG w[64];
};
constexpr Matrix Spread(const BYTE (&t)[8][8]) {
    Matrix m{};
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) m.w[8 * r + c] = t[r][c] * 0x010101u;
    return m;
}
constexpr Matrix kNone{};
constexpr Matrix kRgb8 = Spread(kDither8);
constexpr Matrix kRgb16 = Spread(kDither16);

// A channel's 8-bit value, rounded to nearest with halves to even (GL's
// conversion of a colour to the buffer's fixed point, as the vertex colour
// conversion of the hardware paths rounds), and the dither offset added
// without reaching into the next channel.
ULONG ulChannel(float v, ULONG d) {
    const ULONG c = v >= 255.0f ? 255u : v > 0.0f ? static_cast<ULONG>(std::nearbyint(v)) : 0u;
    return std::min<ULONG>(c + (d & 0xFFu), 255u);
}

// --- logic operations --------------------------------------------------------------------------
template <ULONG op, class T>
T Combine(T s, T d, T set) {
    switch (op) {
    case 0: return 0;
    case 1: return s & d;
    case 2: return s & static_cast<T>(~d);
    case 4: return static_cast<T>(~s) & d;
    case 5: return d;
    case 6: return s ^ d;
    case 7: return s | d;
    case 8: return static_cast<T>(~(s | d));
    case 9: return static_cast<T>(~(s ^ d));
    case 10: return static_cast<T>(~d);
    case 11: return s | static_cast<T>(~d);
    case 12: return static_cast<T>(~s);
    case 13: return static_cast<T>(~s) | d;
    case 14: return static_cast<T>(~(s & d));
    case 15: return set;
    case 16: return static_cast<T>(s + d);
    case 17: return static_cast<T>(s - d);
    default: return static_cast<T>(d - s);
    }
}

}  // namespace

const N_BlendFactorFn gaNBlendFactor[11] = {
    FactorZero,           FactorOne,           FactorDstColor<false>, FactorDstColor<true>,
    FactorSrcAlpha<false>, FactorSrcAlpha<true>, FactorDstAlpha<false>, FactorDstAlpha<true>,
    FactorSaturate,       FactorSrcColor<false>, FactorSrcColor<true>,
};

void _NChannelMax(N_Context* pctx, float (&m)[3]) {
    const float* s = pctx->val.colour.scale;
    m[0] = s[0] / 65536.0f;
    m[1] = s[1] / 256.0f;
    m[2] = s[2];
    for (float& f : m)
        if (!(f >= 1.0f)) f = 255.0f;  // not validated yet: 8-bit channels
}

void _NSpanBlend(N_Context* pctx, N_Pipe* pipe) {
    N_FragSpan& sp = SpanOf(pipe);
    const LONG n = Count(sp);
    if (n > 0) {
        // Both colours carry the colour conversion's offset (red's at 8
        // bits a pixel): the factors and the sums work on the values above
        // it, so that products do not scale it and sums do not count it
        // twice, and it is put back after. (A destination read below the
        // offset, which no read-back gives, is taken as 0 and comes back at
        // the offset.)
        const float* offset = pctx->val.colour.offset;
        float* const src3[3] = {sp.pRed, sp.pGreen, sp.pBlue};
        float* const dst3[3] = {sp.pDstRed, sp.pDstGreen, sp.pDstBlue};
        for (int c = 0; c < 3; ++c)
            if (offset[c] != 0.0f)
                for (LONG i = 0; i < n; ++i) {
                    if (sp.pMask[i] == 0) continue;
                    src3[c][i] = std::max(src3[c][i] - offset[c], 0.0f);
                    dst3[c][i] = std::max(dst3[c][i] - offset[c], 0.0f);
                }
        const ULONG* codes = pulAttr(pctx, N_ATTR_BLEND_FUNC);
        const ULONG src = codes[0] < 11 ? codes[0] : 1, dst = codes[1] < 11 ? codes[1] : 0;
        gaNBlendFactor[src](pctx, sp, gafSource);
        gaNBlendFactor[dst](pctx, sp, gafDest);
        float m[3];
        _NChannelMax(pctx, m);
        for (LONG i = 0; i < n; ++i) {
            if (sp.pMask[i] == 0) continue;
            const float* fs = gafSource + 4 * i;
            const float* fd = gafDest + 4 * i;
            sp.pRed[i] = fClamp(sp.pRed[i] * fs[0] + sp.pDstRed[i] * fd[0], m[0]) + offset[0];
            sp.pGreen[i] = fClamp(sp.pGreen[i] * fs[1] + sp.pDstGreen[i] * fd[1], m[1]) + offset[1];
            sp.pBlue[i] = fClamp(sp.pBlue[i] * fs[2] + sp.pDstBlue[i] * fd[2], m[2]) + offset[2];
            sp.pAlpha[i] = fClamp(sp.pAlpha[i] * fs[3] + sp.pDstAlpha[i] * fd[3], 1.0f);
        }
        // The destination as it was read, for any later pass over it.
        for (int c = 0; c < 3; ++c)
            if (offset[c] != 0.0f)
                for (LONG i = 0; i < n; ++i)
                    if (sp.pMask[i] != 0) dst3[c][i] += offset[c];
    }
    Next(pctx, pipe, N_STAGE_BLEND);
}

const ULONG* _NSpanDitherMatrix(N_Context* pctx) {
    switch (pctx->val.ditherTable) {
    case N_DITHER_RGB8: return kRgb8.w;
    case N_DITHER_RGB16: return kRgb16.w;
    default: return kNone.w;
    }
}

void _NSpanDitherPack(N_Context* pctx, N_Pipe* pipe) {
    N_FragSpan& sp = SpanOf(pipe);
    const LONG n = Count(sp);
    // In colour-index mode the packed word already holds the index.
    if (n > 0 && *pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) != 1) {
        const ULONG* row = _NSpanDitherMatrix(pctx) + 8 * (static_cast<ULONG>(sp.pY[0]) & 7u);
        ULONG col = static_cast<ULONG>(sp.pX[0]) & 7u;
        for (LONG i = 0; i < n; ++i, col = (col + 1) & 7u) {
            if (sp.pMask[i] == 0) continue;
            const ULONG d = row[col];
            sp.pPacked[i] = (ulChannel(sp.pRed[i], d >> 16) << 16) | (ulChannel(sp.pGreen[i], d >> 8) << 8) |
                            ulChannel(sp.pBlue[i], d);
        }
    }
    Next(pctx, pipe, N_STAGE_DITHER_PACK);
}

// Source: the fragment's packed colour or index (word 20); destination:
// the pixel read back (word 15); the result goes to word 20, which the
// colour write sends.
template <ULONG op>
void _NSpanLogicOp(N_Context* pctx, N_Pipe* pipe) {
    if constexpr (op == 3) {
        _NProgrammerError();
        return;
    } else {
        N_FragSpan& sp = SpanOf(pipe);
        const LONG n = Count(sp);
        const LONG slot = _NFirstDrawSlot(pctx);
        const GLBuffer* pb = slot >= 0 ? pctx->buffers[slot].pBuffer : nullptr;
        const ULONG p = pb != nullptr ? pb->bytesPerPixel : 0;
        // A 16-bit pixel's words are in 7-bit lanes (the stored five bits two
        // places up in each, as the destination reads back): combined as
        // the 32-bit words, whose other bits the store drops.
        for (LONG i = 0; i < n && (p == 1 || p == 2 || p == 4); ++i) {
            if (sp.pMask[i] == 0) continue;
            if (p == 1)
                sp.pPacked[i] = Combine<op, BYTE>(static_cast<BYTE>(sp.pPacked[i]), static_cast<BYTE>(sp.pDstPacked[i]), 0xFF);
            else
                sp.pPacked[i] = Combine<op, ULONG>(sp.pPacked[i], sp.pDstPacked[i], 0x00FFFFFFu);
        }
        Next(pctx, pipe, N_STAGE_LOGIC_OP);
    }
}

template <std::size_t... K>
constexpr std::array<N_StageFn, 19> LogicTable(std::index_sequence<K...>) {
    return {_NSpanLogicOp<static_cast<ULONG>(K)>...};
}
constexpr auto kLogicOps = LogicTable(std::make_index_sequence<19>{});
template void _NSpanLogicOp<0>(N_Context*, N_Pipe*);
template void _NSpanLogicOp<1>(N_Context*, N_Pipe*);
template void _NSpanLogicOp<2>(N_Context*, N_Pipe*);
template void _NSpanLogicOp<3>(N_Context*, N_Pipe*);
template void _NSpanLogicOp<4>(N_Context*, N_Pipe*);
template void _NSpanLogicOp<5>(N_Context*, N_Pipe*);
template void _NSpanLogicOp<6>(N_Context*, N_Pipe*);
template void _NSpanLogicOp<7>(N_Context*, N_Pipe*);
template void _NSpanLogicOp<8>(N_Context*, N_Pipe*);
template void _NSpanLogicOp<9>(N_Context*, N_Pipe*);
template void _NSpanLogicOp<10>(N_Context*, N_Pipe*);
template void _NSpanLogicOp<11>(N_Context*, N_Pipe*);
template void _NSpanLogicOp<12>(N_Context*, N_Pipe*);
template void _NSpanLogicOp<13>(N_Context*, N_Pipe*);
template void _NSpanLogicOp<14>(N_Context*, N_Pipe*);
template void _NSpanLogicOp<15>(N_Context*, N_Pipe*);
template void _NSpanLogicOp<16>(N_Context*, N_Pipe*);
template void _NSpanLogicOp<17>(N_Context*, N_Pipe*);
template void _NSpanLogicOp<18>(N_Context*, N_Pipe*);

N_StageFn _NSpanLogicOpFn(ULONG code) { return kLogicOps[code < kLogicOps.size() ? code : 0]; }
