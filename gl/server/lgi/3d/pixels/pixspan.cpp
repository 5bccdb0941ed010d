// The pixel span stages: the per-pixel conversions between float pixels and
// board words, the zoom stages that replicate pixels and rows, the span
// readers of read and copy pixels, and the colour a bitmap is drawn with.
// Spans live in fixed process-wide arrays and the zoom buffers in the work
// arena; a zoomed row is cut at N_SPAN pixels.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "pixelpath.h"
#include "3d/queue/renderfcn.h"
#include "shared/software/swhost.h"
#include "../../seams.h"

namespace {

enum : ULONG { kMapIndex = 0, kMapStencil = 1, kMapIndexToRed = 2, kMapRedToRed = 6 };

// The span arrays of one row.
struct Spans {
    float channel[4][N_SPAN];
    ULONG packed[N_SPAN];
    ULONG alpha[N_SPAN];  // the alpha buffer's row of the alpha merge
    ULONG depth[N_SPAN];
    ULONG zoomDepth[N_SPAN];  // the depth words of an x-zoomed row
    BYTE mask[N_SPAN];
};
Spans gPix;

float fAttrAt(N_Context* pctx, ULONG id) { return __glXWordFloat(*pulAttr(pctx, id)); }

// Entry trunc(v x (n - 1) + 0.5) of a colour map, the index kept inside it.
float fMapLookup(N_Context* pctx, ULONG map, float v) {
    ULONG n = 0;
    const ULONG* pul = _NPixelMapOf(pctx, map, &n);
    if (pul == nullptr) return v;
    const LONG i = std::clamp<LONG>(_NTruncToLong(v * static_cast<float>(n - 1) + 0.5f), 0, static_cast<LONG>(n - 1));
    return __glXWordFloat(pul[i]);
}

// Entry ((n - 1) AND i) of a map, as a float (colour maps) or integer.
float fMapMasked(N_Context* pctx, ULONG map, ULONG i) {
    ULONG n = 0;
    const ULONG* pul = _NPixelMapOf(pctx, map, &n);
    return pul != nullptr ? __glXWordFloat(pul[i & (n - 1)]) : 0.0f;
}

ULONG ulMapMasked(N_Context* pctx, ULONG map, ULONG i) {
    ULONG n = 0;
    const ULONG* pul = _NPixelMapOf(pctx, map, &n);
    return pul != nullptr ? pul[i & (n - 1)] : i;
}

ULONG ulByte(float f) { return static_cast<ULONG>(_NTruncToLong(f)) & 0xFFu; }

// Writes the float results of a colour pixel and its packed word.
void vPutColour(N_PixelSpan* ps, ULONG i, float r, float g, float b, float a) {
    r += ps->storeOffset[0];
    g += ps->storeOffset[1];
    b += ps->storeOffset[2];
    ps->apChannel[0][i] = r;
    ps->apChannel[1][i] = g;
    ps->apChannel[2][i] = b;
    ps->apChannel[3][i] = a;
    ps->pulPacked[i] = (ulByte(a * ps->storeScale[3]) << 24) | (ulByte(r) << 16) | (ulByte(g) << 8) | ulByte(b);
}

// The transfer of a colour pixel: each channel scaled and biased and
// clamped. Alpha is clamped like the others, so that it never indexes past
// the alpha map.
void vTransfer(N_Context* pctx, const float* pfIn, float* pfOut) {
    for (ULONG c = 0; c < 4; ++c)
        pfOut[c] = _NPixClamp(pfIn[c] * fAttrAt(pctx, N_ATTR_RED_SCALE + c) + fAttrAt(pctx, N_ATTR_RED_BIAS + c));
}

void vPutIndexWord(N_PixelSpan* ps, ULONG i, ULONG v) {
    const float f = static_cast<float>(v);
    for (ULONG c = 0; c < 4; ++c) ps->apChannel[c][i] = f;
    ps->pulPacked[i] = v | (v << 8) | (v << 16) | (v << 24);
}

N_PixelSpan* psOf(N_Pipe* pipe) { return static_cast<N_PixelSpan*>(pipe->pSpan); }

// Reads cx pixels of screen row y from screen column x of a bound buffer
// into pul: host buffers from their memory by the buffer's own origin
// (pixels outside the buffer read 0), board buffers
// through the GL layer's row read. A board depth buffer's row comes as
// window z (24 bits); a 16-bit one is brought to its own scale.
void vReadRow(const N_BoundBuffer* pSlot, LONG x, LONG y, ULONG cx, ULONG* pul) {
    const GLBuffer* pb = pSlot->pBuffer;
    if (pb->memoryKind != GLBUFFER_MEMORY_HOST) {
        _NGetRow(pb, x, y, static_cast<LONG>(cx), pul);
        if ((pb->kind & GLBUFFER_DEPTH) != 0 && pb->bitsPerPixel == 16)
            for (ULONG i = 0; i < cx; ++i) pul[i] >>= 8;
        return;
    }
    const ULONG cb = pSlot->bytesPerPixel;
    for (ULONG i = 0; i < cx; ++i)
        pul[i] = cb == 1 || cb == 2 || cb == 4 ? _NHostRead(*pSlot, std::int64_t{x} + i, y) : 0u;
}

// One source row into pul, with the alpha merge when the set-up named an
// alpha buffer (formats that carry alpha): the top byte of each word is the
// low byte of the alpha buffer's pixel, read from that buffer.
void vReadSpan(const N_PixelSpan* ps, LONG y, ULONG* pul) {
    const LONG x = _NPixAdd(ps->srcX, ps->pSource->pBuffer->x);
    vReadRow(ps->pSource, x, y, ps->width, pul);
    const bool bMerge = ps->pSourceAlpha != nullptr && ps->pSourceAlpha->pBuffer != nullptr;
    if (!bMerge) return;
    vReadRow(ps->pSourceAlpha, x, y, ps->width, gPix.alpha);
    for (ULONG i = 0; i < ps->width; ++i) pul[i] = (pul[i] & 0xFFFFFFu) | (gPix.alpha[i] << 24);
}

// Repeats the successor for the y zoom, stepping the output row.
void vRepeatRows(N_Context* pctx, N_Pipe* pipe, N_PixelSpan* ps, ULONG cRepeats) {
    for (ULONG k = 0; k < cRepeats; ++k) {
        pipe->next[N_STAGE_ZOOM](pctx, pipe);
        ps->outY = _NPixAdd(ps->outY, ps->outRowStep);
    }
}

}  // namespace

float* _NPixChannel(ULONG c) { return gPix.channel[c & 3]; }
ULONG* _NPixPacked(void) { return gPix.packed; }
BYTE* _NPixMask(void) { return gPix.mask; }
ULONG* _NPixDepth(void) { return gPix.depth; }

void _NPixSpanArrays(N_PixelSpan* ps) {
    for (ULONG c = 0; c < 4; ++c) ps->apChannel[c] = gPix.channel[c];
    ps->pulPacked = gPix.packed;
    ps->pjMask = gPix.mask;
    ps->pulDepth = gPix.depth;
}

// --- per-pixel conversions ---------------------------------------------------------------------
void _NStoreRGBA(N_Context* pctx, N_PixelSpan* ps, const float* pfIn, ULONG i) {
    float af[4];
    vTransfer(pctx, pfIn, af);
    vPutColour(ps, i, af[0] * ps->storeScale[0], af[1] * ps->storeScale[1], af[2] * ps->storeScale[2], af[3]);
}

void _NStoreRGBAMapped(N_Context* pctx, N_PixelSpan* ps, const float* pfIn, ULONG i) {
    float af[4];
    vTransfer(pctx, pfIn, af);
    for (ULONG c = 0; c < 4; ++c) af[c] = fMapLookup(pctx, kMapRedToRed + c, af[c]);
    vPutColour(ps, i, af[0] * ps->storeScale[0], af[1] * ps->storeScale[1], af[2] * ps->storeScale[2], af[3]);
}

void _NStoreIndexToRGBA(N_Context* pctx, N_PixelSpan* ps, ULONG ulIndex, ULONG i) {
    const auto v = static_cast<ULONG>(_NIndexShifted(pctx, ulIndex));
    vPutColour(ps, i, fMapMasked(pctx, kMapIndexToRed, v) * ps->storeScale[0],
               fMapMasked(pctx, kMapIndexToRed + 1, v) * ps->storeScale[1],
               fMapMasked(pctx, kMapIndexToRed + 2, v) * ps->storeScale[2], fMapMasked(pctx, kMapIndexToRed + 3, v));
}

void _NStoreIndex(N_Context* pctx, N_PixelSpan* ps, ULONG ulIndex, ULONG i) {
    vPutIndexWord(ps, i, static_cast<ULONG>(_NIndexShifted(pctx, ulIndex)) & ps->dstMask);
}

void _NStoreIndexMapped(N_Context* pctx, N_PixelSpan* ps, ULONG ulIndex, ULONG i) {
    vPutIndexWord(ps, i, ulMapMasked(pctx, kMapIndex, static_cast<ULONG>(_NIndexShifted(pctx, ulIndex))));
}

void _NStoreStencil(N_Context*, N_PixelSpan* ps, ULONG ulIndex, ULONG i) { ps->pulPacked[i] = ulIndex & ps->dstMask; }

void _NStoreStencilMapped(N_Context* pctx, N_PixelSpan* ps, ULONG ulIndex, ULONG i) {
    ps->pulPacked[i] = ulMapMasked(pctx, kMapStencil, static_cast<ULONG>(_NIndexShifted(pctx, ulIndex))) & ps->dstMask;
}

void _NStoreDepth(N_Context* pctx, N_PixelSpan* ps, float fDepth, ULONG i) {
    const float d = _NPixClamp(fDepth * fAttrAt(pctx, N_ATTR_DEPTH_SCALE) + fAttrAt(pctx, N_ATTR_DEPTH_BIAS));
    // The fragment's depth as window z, the form every render function
    // takes (and narrows for a shallow depth buffer); its colour is the
    // raster colour.
    ps->pulDepth[i] = static_cast<ULONG>(static_cast<double>(d) * kRasterDepthUnits);
    ps->pulPacked[i] = ps->rasterWord;
    for (ULONG c = 0; c < 4; ++c) ps->apChannel[c][i] = ps->bitmapColour[c];
}

void _NFetchDepth(N_Context* pctx, const N_PixelSpan* ps, ULONG i, float* pfOut) {
    pfOut[0] = static_cast<float>(ps->pulPacked[i]) * pctx->depthScaleInv * fAttrAt(pctx, N_ATTR_DEPTH_SCALE) +
               fAttrAt(pctx, N_ATTR_DEPTH_BIAS);
    pfOut[1] = pfOut[2] = 0.0f;
    pfOut[3] = 1.0f;
}

void _NFetchColour(N_Context* pctx, const N_PixelSpan* ps, ULONG i, float* pfOut) {
    const ULONG w = ps->pulPacked[i];
    const ULONG aulByte[4] = {(w >> 16) & 0xFF, (w >> 8) & 0xFF, w & 0xFF, w >> 24};
    for (ULONG c = 0; c < 4; ++c)
        pfOut[c] = static_cast<float>(aulByte[c]) * (1.0f / 255.0f) * fAttrAt(pctx, N_ATTR_RED_SCALE + c) +
                   fAttrAt(pctx, N_ATTR_RED_BIAS + c);
    if (ps->pSourceAlpha == nullptr || ps->pSourceAlpha->pBuffer == nullptr) pfOut[3] = 1.0f;
}

void _NFetchColourMapped(N_Context* pctx, const N_PixelSpan* ps, ULONG i, float* pfOut) {
    _NFetchColour(pctx, ps, i, pfOut);
    for (ULONG c = 0; c < 4; ++c) pfOut[c] = fMapLookup(pctx, kMapRedToRed + c, _NPixClamp(pfOut[c]));
}

void _NFetchColourIndexMode(N_Context* pctx, const N_PixelSpan* ps, ULONG i, float* pfOut) {
    for (ULONG c = 0; c < 4; ++c) pfOut[c] = fMapMasked(pctx, kMapIndexToRed + c, ps->pulPacked[i]);
}

// --- zoom ----------------------------------------------------------------------------------------
ULONG _NZoomReplicateX(N_PixelSpan* ps, float zx, LONG* pxStart) {
    const float z = std::fabs(zx);
    const ULONG whole = static_cast<ULONG>(_NTruncToLong(z));
    const auto f = static_cast<ULONG>(_NTruncToLong((z - static_cast<float>(whole)) * 65536.0f));
    // The running sum starts half a pixel in, so that a pixel covers the
    // window pixels whose centres its zoomed rectangle holds. The pixels it
    // gives, cut at the zoom buffers' size: the count handed on never names
    // a pixel that was not written.
    constexpr std::uint64_t kHalf = 0x7FFF;
    const std::uint64_t total = std::uint64_t{whole} * ps->count + ((kHalf + std::uint64_t{f} * ps->count) >> 16);
    const auto cOut = static_cast<ULONG>(std::min<std::uint64_t>(total, N_SPAN));
    const bool bBackward = std::signbit(zx) && zx != 0.0f;
    ULONG* const* apZoom = gNArena.apSpan;
    std::uint64_t s = kHalf;
    ULONG written = 0;
    for (ULONG i = 0; i < ps->count && written < cOut; ++i) {
        const std::uint64_t sNext = s + f;
        ULONG reps = whole + static_cast<ULONG>((sNext >> 16) - (s >> 16));
        s = sNext;
        reps = std::min(reps, cOut - written);
        for (ULONG k = 0; k < reps; ++k, ++written) {
            const ULONG at = bBackward ? cOut - 1 - written : written;
            for (ULONG c = 0; c < 4; ++c) std::memcpy(&apZoom[c][at], &ps->apChannel[c][i], 4);
            apZoom[4][at] = ps->pulPacked[i];
            if (ps->pulDepth != nullptr) gPix.zoomDepth[at] = ps->pulDepth[i];
        }
    }
    *pxStart = bBackward ? _NPixAdd(ps->x, -std::int64_t{cOut}) : ps->x;
    return written;
}

ULONG _NZoomRepeatsY(N_PixelSpan* ps, float zy) {
    ULONG r = static_cast<ULONG>(_NTruncToLong(std::fabs(zy)));
    ps->zoomYAcc += ps->zoomYFrac;
    if (ps->zoomYAcc > 65535) {
        ++r;
        ps->zoomYAcc &= 0xFFFF;
    }
    return r;
}

void _NStageZoomNone(N_Context* pctx, N_Pipe* pipe) {
    N_PixelSpan* ps = psOf(pipe);
    ps->outX = ps->x;
    ps->outY = ps->y;
    ps->outCount = ps->count;
    pipe->next[N_STAGE_ZOOM](pctx, pipe);
}

namespace {

// Points the spans at the zoom buffers while the successor runs.
void vUseZoomBuffers(N_PixelSpan* ps) {
    for (ULONG c = 0; c < 4; ++c) ps->apChannel[c] = reinterpret_cast<float*>(gNArena.apSpan[c]);
    ps->pulPacked = gNArena.apSpan[4];
    ps->pulDepth = gPix.zoomDepth;
}

void vZoomX(N_Context* pctx, N_Pipe* pipe, bool bY) {
    N_PixelSpan* ps = psOf(pipe);
    const float zx = fAttrAt(pctx, N_ATTR_ZOOM_X);
    float* apSaved[4] = {ps->apChannel[0], ps->apChannel[1], ps->apChannel[2], ps->apChannel[3]};
    ULONG* pulSaved = ps->pulPacked;
    ULONG* pulDepthSaved = ps->pulDepth;
    LONG x = 0;
    const ULONG c = _NZoomReplicateX(ps, zx, &x);
    ps->outX = x;
    ps->outY = ps->y;
    ps->outCount = c;
    vUseZoomBuffers(ps);
    if (bY) {
        const float zy = fAttrAt(pctx, N_ATTR_ZOOM_Y);
        ps->outRowStep = std::signbit(zy) ? -ps->rowStep : ps->rowStep;
        vRepeatRows(pctx, pipe, ps, _NZoomRepeatsY(ps, zy));
        ps->y = _NPixAdd(ps->outY, -ps->rowStep);
    } else {
        pipe->next[N_STAGE_ZOOM](pctx, pipe);
    }
    for (ULONG k = 0; k < 4; ++k) ps->apChannel[k] = apSaved[k];
    ps->pulPacked = pulSaved;
    ps->pulDepth = pulDepthSaved;
}

}  // namespace

void _NStageZoomX(N_Context* pctx, N_Pipe* pipe) { vZoomX(pctx, pipe, false); }
void _NStageZoomXY(N_Context* pctx, N_Pipe* pipe) { vZoomX(pctx, pipe, true); }

void _NStageZoomY(N_Context* pctx, N_Pipe* pipe) {
    N_PixelSpan* ps = psOf(pipe);
    const float zy = fAttrAt(pctx, N_ATTR_ZOOM_Y);
    ps->outX = ps->x;
    ps->outY = ps->y;
    ps->outCount = ps->count;
    ps->outRowStep = std::signbit(zy) ? -ps->rowStep : ps->rowStep;
    vRepeatRows(pctx, pipe, ps, _NZoomRepeatsY(ps, zy));
    // The next source row goes on where this one's output ended.
    ps->y = _NPixAdd(ps->outY, -ps->rowStep);
}

// --- span readers --------------------------------------------------------------------------------
void _NStageReadSpans(N_Context* pctx, N_Pipe* pipe) {
    N_PixelSpan* ps = psOf(pipe);
    if (ps->pSource == nullptr || ps->pSource->pBuffer == nullptr) return;
    LONG y = _NPixAdd(ps->srcY, ps->pSource->pBuffer->y);
    while (ps->rows > 0) {
        ps->count = ps->width;
        vReadSpan(ps, y, ps->pulPacked);
        pipe->next[N_STAGE_SPAN_READ](pctx, pipe);
        y = _NPixAdd(y, ps->rowStep);
        ps->y = _NPixAdd(ps->y, ps->rowStep);
        --ps->rows;
    }
}

namespace {

// A band of a copy: the source rows first .. first + count - 1 (counted in
// the order they are read), the destination row and y-zoom accumulator its
// first row starts at, and the destination rows it writes (lo .. hi; none
// when lo > hi).
struct CopyBand {
    ULONG first, count;
    LONG y;
    ULONG acc;
    std::int64_t lo, hi;
};

// Where the zoom stages put source row k of a copy: the rows before it give
// k whole repeats each plus the carries of the y-zoom accumulator (at most
// one a row, as _NZoomRepeatsY takes them), stepped from the first
// destination row by the output's row step.
struct CopyRows {
    bool bZoomY;
    std::uint64_t whole, frac, acc0;
    LONG firstRow, stepOut;

    std::uint64_t Before(std::uint64_t k) const { return bZoomY ? k * whole + ((acc0 + k * frac) >> 16) : k; }
    LONG Row(std::uint64_t k) const {
        return _NPixAdd(firstRow, static_cast<std::int64_t>(stepOut) * static_cast<std::int64_t>(Before(k)));
    }
    ULONG Acc(std::uint64_t k) const { return static_cast<ULONG>((acc0 + k * frac) & 0xFFFFu); }
};

CopyBand BandOf(const CopyRows& m, ULONG first, ULONG count) {
    const std::int64_t a = m.Row(first), b = m.Row(std::uint64_t{first} + count) - m.stepOut;
    CopyBand band{first, count, m.Row(first), m.Acc(first), std::min(a, b), std::max(a, b)};
    if (m.Before(std::uint64_t{first} + count) == m.Before(first)) band.lo = 1, band.hi = 0;  // writes no row
    return band;
}

// Reads the band's source rows into pulStore (screen row y0 is source row
// 0), then hands each to the successor from the band's destination row.
void vCopyBand(N_Context* pctx, N_Pipe* pipe, N_PixelSpan* ps, const CopyBand& b, LONG y0, ULONG* pulStore) {
    for (ULONG r = 0; r < b.count; ++r)
        vReadSpan(ps, _NPixAdd(y0, std::int64_t{ps->rowStep} * (std::int64_t{b.first} + r)),
                  pulStore + std::size_t{r} * ps->width);
    ULONG* pulOwn = ps->pulPacked;
    ps->y = b.y;
    ps->zoomYAcc = b.acc;
    for (ULONG r = 0; r < b.count; ++r) {
        ps->count = ps->width;
        ps->pulPacked = pulStore + std::size_t{r} * ps->width;
        pipe->next[N_STAGE_SPAN_READ](pctx, pipe);
        ps->y = _NPixAdd(ps->y, ps->rowStep);
    }
    ps->pulPacked = pulOwn;
}

}  // namespace

void _NStageCopySpans(N_Context* pctx, N_Pipe* pipe) {
    N_PixelSpan* ps = psOf(pipe);
    if (ps->pSource == nullptr || ps->pSource->pBuffer == nullptr || ps->width == 0) return;
    const GLBuffer* pSrc = ps->pSource->pBuffer;
    const LONG y0 = _NPixAdd(ps->srcY, pSrc->y);
    // The source rows inside the source buffer: those outside it hold no
    // pixel of the window, and what they would give is undefined.
    const std::int64_t step = ps->rowStep < 0 ? -1 : 1;
    std::int64_t kLo = 0, kHi = ps->rows;
    if (step < 0) {
        kLo = std::max<std::int64_t>(kLo, std::int64_t{ps->srcY} - pSrc->cy + 1);
        kHi = std::min<std::int64_t>(kHi, std::int64_t{ps->srcY} + 1);
    } else {
        kLo = std::max<std::int64_t>(kLo, -std::int64_t{ps->srcY});
        kHi = std::min<std::int64_t>(kHi, std::int64_t{pSrc->cy} - ps->srcY);
    }
    ps->rows = 0;
    if (kLo >= kHi) return;

    const float zy = fAttrAt(pctx, N_ATTR_ZOOM_Y);
    CopyRows m{};
    m.bZoomY = zy != 1.0f;
    m.whole = m.bZoomY ? static_cast<std::uint64_t>(std::max<LONG>(_NTruncToLong(std::fabs(zy)), 0)) : 1;
    m.frac = m.bZoomY ? ps->zoomYFrac & 0xFFFFu : 0;
    m.acc0 = ps->zoomYAcc & 0xFFFFu;
    m.firstRow = ps->dstRow;
    m.stepOut = m.bZoomY && std::signbit(zy) ? -ps->rowStep : ps->rowStep;

    // Each band is read whole before any of its rows is written, within
    // the image work area. With several bands over one buffer a band is
    // written only once no band still to come reads a row it writes: a
    // copy up the buffer goes from its top band down, one down the buffer
    // from its bottom band up.
    auto* pulStore = reinterpret_cast<ULONG*>(gNArena.apImage[0]);
    const ULONG cFit = std::max<ULONG>(N_IMAGE_WORDS / ps->width, 1);
    // Enough bands for the rows of any buffer (a buffer is at most 65,536
    // rows high, a band at least 567 rows).
    constexpr std::size_t kMaxBands = 128;
    std::array<CopyBand, kMaxBands> bands;
    std::size_t cBands = 0;
    for (std::int64_t k = kLo; k < kHi && cBands < kMaxBands; k += cFit)
        bands[cBands++] = BandOf(m, static_cast<ULONG>(k), static_cast<ULONG>(std::min<std::int64_t>(cFit, kHi - k)));
    const bool bSame = ps->pDest != nullptr && ps->pDest->pBuffer == pSrc;
    // The buffer rows band b reads.
    auto reads = [&](const CopyBand& b, std::int64_t* lo, std::int64_t* hi) {
        const std::int64_t a = ps->srcY + step * b.first, z = ps->srcY + step * (std::int64_t{b.first} + b.count - 1);
        *lo = std::min(a, z), *hi = std::max(a, z);
    };
    std::array<bool, kMaxBands> done{};
    for (std::size_t left = cBands; left > 0; --left) {
        std::size_t pick = cBands;
        for (std::size_t i = 0; i < cBands && pick == cBands; ++i) {
            if (done[i]) continue;
            bool bSafe = true;
            for (std::size_t j = 0; j < cBands && bSafe && bSame; ++j) {
                if (done[j] || j == i) continue;
                std::int64_t lo, hi;
                reads(bands[j], &lo, &hi);
                bSafe = bands[i].hi < lo || bands[i].lo > hi;
            }
            if (bSafe) pick = i;
        }
        // Bands that each write rows another still reads (a copy that turns
        // the rows over onto themselves): the first of them goes now.
        if (pick == cBands)
            for (std::size_t i = 0; i < cBands && pick == cBands; ++i)
                if (!done[i]) pick = i;
        vCopyBand(pctx, pipe, ps, bands[pick], y0, pulStore);
        done[pick] = true;
    }
}

// --- bitmap colour -------------------------------------------------------------------------------
void _NBitmapColour(N_Context* pctx, N_PixelSpan* ps) {
    const float* pfRaster = reinterpret_cast<const float*>(pulAttr(pctx, N_ATTR_RASTER_COLOUR));
    const bool bFog = *pulAttr(pctx, N_ATTR_FOG) != 0;
    float f = 1.0f;
    if (bFog) {
        // The raster position's distance from the eye.
        f = _NPixClamp(_NFogFactorOf(pctx, fAttrAt(pctx, N_ATTR_RASTER_DISTANCE)));
    }
    if (*pulAttr(pctx, N_ATTR_COLOUR_INDEX_MODE) == 1) {
        float i = fAttrAt(pctx, N_ATTR_RASTER_INDEX);
        if (bFog) i += (1.0f - f) * fAttrAt(pctx, N_ATTR_FOG_INDEX);
        ps->bitmapColour[0] = i * ps->storeScale[0];
        ps->bitmapColour[1] = ps->bitmapColour[2] = ps->bitmapColour[3] = 0.0f;
        return;
    }
    const float* pfFog = reinterpret_cast<const float*>(pulAttr(pctx, N_ATTR_FOG_COLOUR));
    for (ULONG c = 0; c < 3; ++c) {
        const float v = bFog ? pfRaster[c] * f + pfFog[c] * (1.0f - f) : pfRaster[c];
        ps->bitmapColour[c] = _NPixClamp(v) * ps->storeScale[c] + ps->storeOffset[c];
    }
    ps->bitmapColour[3] = _NPixClamp(pfRaster[3]);
}

ULONG _NBitmapColourWord(const N_PixelSpan* ps) {
    const float* pf = ps->bitmapColour;
    // Each channel rounded to the nearest level, as the direct bitmap path
    // and GL's conversion to fixed point do (0.5 at 8 bits is 128); alpha is
    // held from 0 to 1 and goes over the alpha store scale.
    auto channel = [](float f) { return static_cast<ULONG>(_NTruncToLong(f + 0.5f)) & 0xFFu; };
    return (channel(pf[3] * ps->storeScale[3]) << 24) | (channel(pf[0]) << 16) | (channel(pf[1]) << 8) |
           channel(pf[2]);
}

// --- copy-pixels row transfers -------------------------------------------------------------------
// Colour: each source word to a float pixel (bytes over 255, alpha 1.0
// without an alpha buffer) and through the store conversion, which applies
// the pixel transfer once; colour-index data goes through the index store.
void _NCopyRowColour(N_Context* pctx, N_PixelSpan* ps) {
    const bool bAlpha = ps->pSourceAlpha != nullptr && ps->pSourceAlpha->pBuffer != nullptr;
    for (ULONG i = 0; i < ps->count; ++i) {
        const ULONG w = ps->pulPacked[i];
        if (ps->pfnStoreIndex != nullptr) {
            ps->pfnStoreIndex(pctx, ps, w & ps->srcMask, i);
            continue;
        }
        const float af[4] = {static_cast<float>((w >> 16) & 0xFF) * (1.0f / 255.0f),
                             static_cast<float>((w >> 8) & 0xFF) * (1.0f / 255.0f),
                             static_cast<float>(w & 0xFF) * (1.0f / 255.0f),
                             bAlpha ? static_cast<float>(w >> 24) * (1.0f / 255.0f) : 1.0f};
        ps->pfnStoreColour(pctx, ps, af, i);
    }
}

void _NCopyRowDepth(N_Context* pctx, N_PixelSpan* ps) {
    for (ULONG i = 0; i < ps->count; ++i)
        ps->pfnStoreDepth(pctx, ps, static_cast<float>(ps->pulPacked[i]) * pctx->depthScaleInv, i);
}

void _NCopyRowStencil(N_Context* pctx, N_PixelSpan* ps) {
    for (ULONG i = 0; i < ps->count; ++i) {
        const ULONG v = ps->pfnIndexConv(pctx, ps->pulPacked[i], ps->srcMask);
        ps->pfnStoreIndex(pctx, ps, v, i);
        ps->pulPacked[i] &= 0xFFu;
    }
}
