// Unpack and pack of client pixel rows, the index conversions and the
// stages that convert packed board words (index mask, shifts, 3-3-2).
//
// Unpack reads each pixel of the row in the client's type, scales it to a
// float (1/255 unsigned byte, 1/127 byte, 1/65535, 1/32767, 1/(2^32 - 1),
// 1/(2^31 - 1), floats as stored), fills the channels the format leaves out
// and hands the pixel to the span's store conversion. Pack clamps each
// fetched component to 0.0-1.0, scales it by the type's largest value and
// truncates.
#include <cmath>
#include <cstring>

#include "pixelpath.h"

namespace {


// The component at index k of a row of the type, as a float by the type's
// scale, or as an integer.
float fComponent(const BYTE* pj, ULONG type, std::size_t k) {
    switch (type) {
        case N_PIXTYPE_UBYTE: return pj[k] * (1.0f / 255.0f);
        case N_PIXTYPE_BYTE: return static_cast<signed char>(pj[k]) * (1.0f / 127.0f);
        case N_PIXTYPE_USHORT: { USHORT v; std::memcpy(&v, pj + 2 * k, 2); return v * (1.0f / 65535.0f); }
        case N_PIXTYPE_SHORT: { SHORT v; std::memcpy(&v, pj + 2 * k, 2); return v * (1.0f / 32767.0f); }
        case N_PIXTYPE_UINT: { ULONG v; std::memcpy(&v, pj + 4 * k, 4); return static_cast<float>(v / 4294967295.0); }
        case N_PIXTYPE_INT: { LONG v; std::memcpy(&v, pj + 4 * k, 4); return static_cast<float>(v / 2147483647.0); }
        default: { float v; std::memcpy(&v, pj + 4 * k, 4); return v; }
    }
}

ULONG ulComponent(const BYTE* pj, ULONG type, std::size_t k) {
    switch (type) {
        case N_PIXTYPE_UBYTE: return pj[k];
        case N_PIXTYPE_BYTE: return static_cast<ULONG>(static_cast<LONG>(static_cast<signed char>(pj[k])));
        case N_PIXTYPE_BITMAP: return (pj[k / 8] >> (7 - k % 8)) & 1u;
        case N_PIXTYPE_USHORT: { USHORT v; std::memcpy(&v, pj + 2 * k, 2); return v; }
        case N_PIXTYPE_SHORT: { SHORT v; std::memcpy(&v, pj + 2 * k, 2); return static_cast<ULONG>(LONG{v}); }
        case N_PIXTYPE_UINT:
        case N_PIXTYPE_INT: { ULONG v; std::memcpy(&v, pj + 4 * k, 4); return v; }
        default: { float v; std::memcpy(&v, pj + 4 * k, 4); return static_cast<ULONG>(_NTruncToLong(v)); }
    }
}

// Where each format's components go in the float pixel (-1 none), the
// luminance formats giving their first component to red, green and blue.
struct FormatShape {
    ULONG components;
    signed char aiChannel[4];
    bool bLuminance;
};
constexpr FormatShape kShapes[N_PIXFMT_COUNT] = {
    {1, {-1, -1, -1, -1}, false},  // index
    {1, {-1, -1, -1, -1}, false},  // stencil
    {1, {-1, -1, -1, -1}, false},  // depth
    {1, {0, -1, -1, -1}, false},   // red
    {1, {1, -1, -1, -1}, false},   // green
    {1, {2, -1, -1, -1}, false},   // blue
    {1, {3, -1, -1, -1}, false},   // alpha
    {3, {0, 1, 2, -1}, false},     // RGB
    {4, {0, 1, 2, 3}, false},      // RGBA
    {1, {0, -1, -1, -1}, true},    // luminance
    {2, {0, 3, -1, -1}, true},     // luminance-alpha
};

template <ULONG kFormat>
void vUnpackColour(N_Context* pctx, N_PixelSpan* ps) {
    const FormatShape& s = kShapes[kFormat];
    const BYTE* pj = ps->pjSource;
    const ULONG type = ps->type;
    const bool bDither = kFormat == N_PIXFMT_RGBA && ps->pulDither != nullptr &&
                         (type == N_PIXTYPE_UBYTE || type == N_PIXTYPE_BYTE);
    for (ULONG i = 0; i < ps->count; ++i) {
        float af[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        for (ULONG k = 0; k < s.components; ++k) {
            const float f = fComponent(pj, type, std::size_t{i} * s.components + k);
            const int c = s.aiChannel[k];
            if (s.bLuminance && c == 0) af[0] = af[1] = af[2] = f;
            else af[c] = f;
        }
        ps->pfnStoreColour(pctx, ps, af, i);
        if (bDither)
            ps->pulPacked[i] += ps->pulDither[((ps->y & 7) << 3) | ((static_cast<ULONG>(ps->x) + i) & 7)];
    }
}

void vUnpackIndex(N_Context* pctx, N_PixelSpan* ps) {
    for (ULONG i = 0; i < ps->count; ++i) ps->pfnStoreIndex(pctx, ps, ulComponent(ps->pjSource, ps->type, i), i);
}

void vUnpackDepth(N_Context* pctx, N_PixelSpan* ps) {
    for (ULONG i = 0; i < ps->count; ++i) ps->pfnStoreDepth(pctx, ps, fComponent(ps->pjSource, ps->type, i), i);
}

// --- pack ----------------------------------------------------------------------------------------
// The largest value of an integer type (the index pack's mask); floats and
// bitmaps all ones.
ULONG ulTypeMax(ULONG type) {
    switch (type) {
        case N_PIXTYPE_UBYTE: return 0xFF;
        case N_PIXTYPE_BYTE: return 0x7F;
        case N_PIXTYPE_USHORT: return 0xFFFF;
        case N_PIXTYPE_SHORT: return 0x7FFF;
        case N_PIXTYPE_INT: return 0x7FFFFFFF;
        default: return 0xFFFFFFFFu;
    }
}

// Stores a clamped component at *ppj in the type and advances.
void vPutScaled(BYTE** ppj, ULONG type, float c) {
    if (type == N_PIXTYPE_FLOAT) {
        std::memcpy(*ppj, &c, 4);
        *ppj += 4;
        return;
    }
    // Doubles carry 2^32 - 1 exactly: 1.0 packs to the largest value.
    const double d = static_cast<double>(c) * _NPackScale(type);
    switch (type) {
        case N_PIXTYPE_UBYTE: **ppj = static_cast<BYTE>(d); *ppj += 1; break;
        case N_PIXTYPE_BYTE: **ppj = static_cast<BYTE>(static_cast<signed char>(d)); *ppj += 1; break;
        case N_PIXTYPE_USHORT: { const USHORT v = static_cast<USHORT>(d); std::memcpy(*ppj, &v, 2); *ppj += 2; break; }
        case N_PIXTYPE_SHORT: { const SHORT v = static_cast<SHORT>(d); std::memcpy(*ppj, &v, 2); *ppj += 2; break; }
        case N_PIXTYPE_UINT: { const ULONG v = static_cast<ULONG>(d); std::memcpy(*ppj, &v, 4); *ppj += 4; break; }
        default: { const LONG v = static_cast<LONG>(d); std::memcpy(*ppj, &v, 4); *ppj += 4; break; }
    }
}

// Stores an integer value at the type's width (floats as their value).
void vPutInteger(BYTE** ppj, ULONG type, ULONG v) {
    switch (type) {
        case N_PIXTYPE_UBYTE: case N_PIXTYPE_BYTE: **ppj = static_cast<BYTE>(v); *ppj += 1; break;
        case N_PIXTYPE_USHORT: case N_PIXTYPE_SHORT: { const USHORT us = static_cast<USHORT>(v); std::memcpy(*ppj, &us, 2); *ppj += 2; break; }
        case N_PIXTYPE_FLOAT: { const float f = static_cast<float>(v); std::memcpy(*ppj, &f, 4); *ppj += 4; break; }
        default: std::memcpy(*ppj, &v, 4); *ppj += 4; break;
    }
}

template <ULONG kFormat>
void vPackColour(N_Context* pctx, N_PixelSpan* ps) {
    BYTE* pj = ps->pjDest;
    const ULONG type = ps->type;
    for (ULONG i = 0; i < ps->count; ++i) {
        float af[4];
        ps->pfnFetch(pctx, ps, i, af);
        if constexpr (kFormat == N_PIXFMT_LUMINANCE || kFormat == N_PIXFMT_LUMINANCE_ALPHA) {
            vPutScaled(&pj, type, _NPixClamp(af[0] + af[1] + af[2]));
            if constexpr (kFormat == N_PIXFMT_LUMINANCE_ALPHA) vPutScaled(&pj, type, _NPixClamp(af[3]));
        } else if constexpr (kFormat == N_PIXFMT_RGB || kFormat == N_PIXFMT_RGBA) {
            for (ULONG c = 0; c < (kFormat == N_PIXFMT_RGB ? 3u : 4u); ++c) vPutScaled(&pj, type, _NPixClamp(af[c]));
        } else if constexpr (kFormat == N_PIXFMT_DEPTH) {
            vPutScaled(&pj, type, _NPixClamp(af[0]));
        } else {
            vPutScaled(&pj, type, _NPixClamp(af[kFormat - N_PIXFMT_RED]));
        }
    }
    ps->pjDest = pj;
}

// Index and stencil: integers at the type's width; a bitmap row takes one
// bit a pixel (the value's low bit, first pixel in the top bit), the row
// ending on a whole byte.
template <ULONG kFormat>
void vPackIndex(N_Context* pctx, N_PixelSpan* ps) {
    BYTE* pj = ps->pjDest;
    const ULONG type = ps->type;
    const ULONG ulMax = ulTypeMax(type);
    if (type == N_PIXTYPE_BITMAP) std::memset(pj, 0, (std::size_t{ps->count} + 7) / 8);
    for (ULONG i = 0; i < ps->count; ++i) {
        ULONG v = ps->pulPacked[i];
        if constexpr (kFormat == N_PIXFMT_STENCIL) {
            v &= ps->srcMask;
            if (ps->pfnIndexConv != nullptr) v = ps->pfnIndexConv(pctx, v, ps->srcMask);
        } else {
            v &= ulMax;
            if (ps->pfnIndexConv != nullptr) v = ps->pfnIndexConv(pctx, v, ps->srcMask);
            v &= ulMax;
        }
        if (type == N_PIXTYPE_BITMAP) {
            if (v & 1u) pj[i / 8] |= static_cast<BYTE>(0x80u >> (i % 8));
        } else {
            vPutInteger(&pj, type, v);
        }
    }
    if (type == N_PIXTYPE_BITMAP) pj += (std::size_t{ps->count} + 7) / 8;
    ps->pjDest = pj;
}

constexpr N_PixRowFn kUnpack[N_PIXFMT_COUNT] = {
    vUnpackIndex,
    vUnpackIndex,
    vUnpackDepth,
    vUnpackColour<3>,
    vUnpackColour<4>,
    vUnpackColour<5>,
    vUnpackColour<6>,
    vUnpackColour<7>,
    vUnpackColour<8>,
    vUnpackColour<9>,
    vUnpackColour<10>,
};
constexpr N_PixRowFn kPack[N_PIXFMT_COUNT] = {
    vPackIndex<0>,      vPackIndex<1>,      vPackColour<2>, vPackColour<3>,
    vPackColour<4>,     vPackColour<5>,     vPackColour<6>, vPackColour<7>,
    vPackColour<8>,     vPackColour<9>,     vPackColour<10>,
};

N_PixelSpan* psOf(N_Pipe* pipe) { return static_cast<N_PixelSpan*>(pipe->pSpan); }

// Runs a word conversion over the span's packed words, then the successor.
template <ULONG (*pfn)(ULONG), ULONG kStage>
void vWordStage(N_Context* pctx, N_Pipe* pipe) {
    N_PixelSpan* ps = psOf(pipe);
    for (ULONG i = 0; i < ps->count; ++i) ps->pulPacked[i] = pfn(ps->pulPacked[i]);
    pipe->next[kStage](pctx, pipe);
}

ULONG ulShift16(ULONG w) { return w >> 16; }
ULONG ulShift4(ULONG w) { return w >> 4; }

}  // namespace

ULONG _NPixTypeBytes(ULONG type) {
    switch (type) {
        case N_PIXTYPE_UBYTE: case N_PIXTYPE_BYTE: return 1;
        case N_PIXTYPE_USHORT: case N_PIXTYPE_SHORT: return 2;
        case N_PIXTYPE_UINT: case N_PIXTYPE_INT: case N_PIXTYPE_FLOAT: return 4;
        default: return 0;
    }
}

std::size_t _NPixRowBytes(ULONG format, ULONG type, ULONG width) {
    if (format >= N_PIXFMT_COUNT) return 0;
    if (type == N_PIXTYPE_BITMAP) return (std::size_t{width} + 7) / 8;
    return std::size_t{width} * kShapes[format].components * _NPixTypeBytes(type);
}

float _NUnpackScale(ULONG type) {
    switch (type) {
        case N_PIXTYPE_UBYTE: return 1.0f / 255.0f;
        case N_PIXTYPE_BYTE: return 1.0f / 127.0f;
        case N_PIXTYPE_USHORT: return 1.0f / 65535.0f;
        case N_PIXTYPE_SHORT: return 1.0f / 32767.0f;
        case N_PIXTYPE_UINT: return static_cast<float>(1.0 / 4294967295.0);
        case N_PIXTYPE_INT: return static_cast<float>(1.0 / 2147483647.0);
        default: return 1.0f;
    }
}

double _NPackScale(ULONG type) {
    switch (type) {
        case N_PIXTYPE_UBYTE: return 255.0;
        case N_PIXTYPE_BYTE: return 127.0;
        case N_PIXTYPE_USHORT: return 65535.0;
        case N_PIXTYPE_SHORT: return 32767.0;
        case N_PIXTYPE_UINT: return 4294967295.0;
        case N_PIXTYPE_INT: return 2147483647.0;
        default: return 1.0;
    }
}

float _NPixClamp(float v) {
    if (v > 1.0f) return 1.0f;
    if (v > 0.0f) return v;
    return 0.0f;  // negative, either zero, and NaN
}

N_PixRowFn _NUnpackFn(ULONG format, ULONG type) {
    if (format >= N_PIXFMT_COUNT || type >= N_PIXTYPE_COUNT) return nullptr;
    if (type == N_PIXTYPE_BITMAP && format != N_PIXFMT_INDEX && format != N_PIXFMT_STENCIL) return nullptr;
    return kUnpack[format];
}

N_PixRowFn _NPackFn(ULONG format, ULONG type) {
    if (format >= N_PIXFMT_COUNT || type >= N_PIXTYPE_COUNT) return nullptr;
    if (type == N_PIXTYPE_BITMAP && format != N_PIXFMT_INDEX && format != N_PIXFMT_STENCIL) return nullptr;
    return kPack[format];
}

const ULONG* _NPixelMapOf(N_Context* pctx, ULONG map, ULONG* pcValues) {
    const auto* pRecord = static_cast<const N_PixelMapRecord*>(pctx->pPixelMapRecord);
    if (pRecord == nullptr || map >= N_PIXEL_MAPS || pRecord->maps[map].cValues == 0) {
        *pcValues = 0;
        return nullptr;
    }
    *pcValues = pRecord->maps[map].cValues;
    return pRecord->maps[map].pulValues;
}

LONG _NIndexShifted(N_Context* pctx, ULONG ulIndex) {
    const LONG shift = static_cast<LONG>(*pulAttr(pctx, N_ATTR_INDEX_SHIFT));
    const LONG offset = static_cast<LONG>(*pulAttr(pctx, N_ATTR_INDEX_OFFSET));
    LONG v = static_cast<LONG>(ulIndex);
    if (shift > 0) v = static_cast<LONG>(static_cast<ULONG>(v) << (shift > 31 ? 31 : shift));
    else if (shift < 0) v >>= (shift < -31 ? 31 : -shift);
    return static_cast<LONG>(static_cast<ULONG>(v) + static_cast<ULONG>(offset));
}

ULONG _NIndexShiftOffset(N_Context* pctx, ULONG ulIndex, ULONG ulMask) {
    return static_cast<ULONG>(_NIndexShifted(pctx, ulIndex)) & ulMask;
}

ULONG _NIndexShiftMap(N_Context* pctx, ULONG ulIndex, ULONG) {
    ULONG n = 0;
    const ULONG* pul = _NPixelMapOf(pctx, 0, &n);
    const ULONG v = static_cast<ULONG>(_NIndexShifted(pctx, ulIndex));
    return pul != nullptr ? pul[v & (n - 1)] : v;
}

ULONG _NStencilShiftMap(N_Context* pctx, ULONG ulIndex, ULONG ulMask) {
    ULONG n = 0;
    const ULONG* pul = _NPixelMapOf(pctx, 1, &n);
    const ULONG v = static_cast<ULONG>(_NIndexShifted(pctx, ulIndex));
    return (pul != nullptr ? pul[v & (n - 1)] : v) & ulMask;
}

ULONG _NStencilMaskOnly(N_Context*, ULONG ulIndex, ULONG ulMask) { return ulIndex & ulMask; }

ULONG _NUnpack332(ULONG w) {
    return (w & 0xFF000000u) | (((w >> 21) & 7u) << 16) | (((w >> 18) & 7u) << 8) | ((w >> 16) & 3u);
}

ULONG _NPack332(ULONG w) {
    return (w & 0xFF000000u) | (((w >> 16) & 7u) << 5) | (((w >> 8) & 7u) << 2) | (w & 3u);
}

void _NStageIndexMask(N_Context* pctx, N_Pipe* pipe) {
    N_PixelSpan* ps = psOf(pipe);
    const ULONG ulMask = *pulAttr(pctx, N_ATTR_INDEX_MASK);
    for (ULONG i = 0; i < ps->count; ++i) ps->pulPacked[i] &= ulMask;
    pipe->next[N_STAGE_INDEX_MASK](pctx, pipe);
}

void _NStageShift16(N_Context* pctx, N_Pipe* pipe) { vWordStage<ulShift16, N_STAGE_READ_TRANSFER>(pctx, pipe); }
void _NStageShift4(N_Context* pctx, N_Pipe* pipe) { vWordStage<ulShift4, N_STAGE_READ_TRANSFER>(pctx, pipe); }
void _NStageUnpack332(N_Context* pctx, N_Pipe* pipe) { vWordStage<_NUnpack332, N_STAGE_READ_TRANSFER>(pctx, pipe); }
void _NStagePack332(N_Context* pctx, N_Pipe* pipe) { vWordStage<_NPack332, N_STAGE_DRAW_TRANSFER>(pctx, pipe); }
void _NStageDrawShift16(N_Context* pctx, N_Pipe* pipe) { vWordStage<ulShift16, N_STAGE_DRAW_TRANSFER>(pctx, pipe); }
void _NStageDrawShift4(N_Context* pctx, N_Pipe* pipe) { vWordStage<ulShift4, N_STAGE_DRAW_TRANSFER>(pctx, pipe); }

void _NStagePackDispatch(N_Context* pctx, N_Pipe* pipe) {
    N_PixelSpan* ps = psOf(pipe);
    // A copy's row transfer converts the span in place for the stages after
    // it: it has no client rows.
    if (ps->kind == N_PRIM_COPY_PIXELS) {
        if (ps->pfnPack != nullptr) ps->pfnPack(pctx, ps);
    } else if (ps->pfnPack != nullptr && ps->pjDest != nullptr) {
        BYTE* pjRow = ps->pjDest;
        ps->pfnPack(pctx, ps);
        ps->pjDest = pjRow + ps->cjDestRow;
    }
    pipe->next[N_STAGE_PACK](pctx, pipe);
}

void _NStageRowLoop(N_Context* pctx, N_Pipe* pipe) {
    N_PixelSpan* ps = psOf(pipe);
    while (ps->rows > 0) {
        ps->count = ps->width;
        ps->pfnUnpack(pctx, ps);
        pipe->next[N_STAGE_CLIENT_FETCH](pctx, pipe);
        ps->pjSource += ps->cjSourceRow;
        ps->y = _NPixAdd(ps->y, ps->rowStep);
        --ps->rows;
    }
}

void _NStageBitmapFetch(N_Context* pctx, N_Pipe* pipe) {
    N_PixelSpan* ps = psOf(pipe);
    const float* pf = ps->bitmapColour;
    const ULONG ulPacked = _NBitmapColourWord(ps);
    while (ps->rows > 0) {
        ps->count = ps->width;
        for (ULONG i = 0; i < ps->count; ++i) {
            const bool bSet = (ps->pjBitmap[i / 8] >> (7 - i % 8)) & 1u;
            ps->pjMask[i] = bSet ? 1 : 0;
            if (bSet) {
                for (ULONG c = 0; c < 4; ++c) ps->apChannel[c][i] = pf[c];
                ps->pulPacked[i] = ulPacked;
            }
            ps->pulDepth[i] = ps->rasterDepth;
        }
        pipe->next[N_STAGE_CLIENT_FETCH](pctx, pipe);
        ps->pjBitmap += ps->cjSourceRow;
        ps->y = _NPixAdd(ps->y, ps->rowStep);
        --ps->rows;
    }
}
