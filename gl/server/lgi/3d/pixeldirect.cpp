// The direct paths of draw and copy pixels: the image goes into the draw
// buffer through the GL layer's transfers, replicated by the pixel zoom row
// by row where the zoomed write cannot take it, then copied to the other
// draw buffers. Row work uses the arena's span arrays; nothing is allocated.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "../seams.h"
#include "arena.h"
#include "pixelpath.h"

namespace {

constexpr ULONG kOneStep = 65535;  // the zoom fraction of one whole pixel

// Colour buffers in drawing order: draw-buffer bit and slot.
constexpr ULONG kDrawSlots[][2] = {{0x1, 0}, {0x4, 1}, {0x2, 8}, {0x8, 9}};

// The draw buffers the context has bound, first the one drawn into.
ULONG cDrawBuffers(N_Context* pctx, N_BoundBuffer** ppOut) {
    const ULONG flDraw = *pulAttr(pctx, N_ATTR_DRAW_BUFFER);
    ULONG c = 0;
    for (const auto& ds : kDrawSlots)
        if ((flDraw & ds[0]) && pctx->buffers[ds[1]].pBuffer != nullptr) ppOut[c++] = &pctx->buffers[ds[1]];
    return c;
}

LONG lRound(float f) { return static_cast<LONG>(f + 0.5f); }

// The screen column of the raster position's pixel and the screen row just
// below it (the position is kept in window coordinates, y up from the
// window's bottom edge): image rows go up from row *py - 1.
void vRasterWindow(N_Context* pctx, const GLBuffer* pBuffer, LONG* px, LONG* py) {
    const ULONG* pulPos = pulAttr(pctx, N_ATTR_RASTER_POS);
    *px = lRound(__glXWordFloat(pulPos[0])) + pBuffer->x;
    *py = pBuffer->cy - lRound(__glXWordFloat(pulPos[1])) + pBuffer->y;
}

// How the rectangle changed by a draw is grown.
struct Box {
    LONG x0 = INT32_MAX, y0 = INT32_MAX, x1 = INT32_MIN, y1 = INT32_MIN;
    void Add(LONG x, LONG y, LONG cx, LONG cy) {
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x + cx);
        y1 = std::max(y1, y + cy);
    }
};

// Copies the changed rectangle to the other draw buffers.
void vCopyToOthers(N_Context* pctx, N_BoundBuffer** pp, ULONG c, const Box& box) {
    if (c < 2 || box.x1 <= box.x0 || box.y1 <= box.y0) return;
    const bool bRight = pp[0] == &pctx->buffers[8] || pp[0] == &pctx->buffers[9];
    const ULONG ulMode = (bRight && _NStereoPages(pctx)) ? 1 : 0;
    for (ULONG i = 1; i < c; ++i)
        _NCopyRect(pp[0]->pBuffer, box.x0, box.y0, pp[i]->pBuffer, box.x0, box.y0, box.x1 - box.x0,
                   box.y1 - box.y0, ulMode);
}

// Writes source rows zoomed: every row row by row, pixels repeated by the
// x zoom (mirrored when it is negative), rows repeated or skipped by the y
// zoom and stepped up or down by its sign. fetch(r, pulRow, cx) fills one
// source row of 32-bit pixels.
template <typename Fetch>
void vZoomRows(const GLBuffer* pDst, LONG x, LONG yStart, LONG cx, LONG cy, float zx, float zy,
               ULONG flConvert, Box& box, Fetch fetch) {
    ULONG* pulSrc = gNArena.apSpan[0];
    ULONG* pulOut = gNArena.apSpan[1];
    const LONG cxSrc = std::min<LONG>(cx, N_SPAN);
    const LONG lStep = zy < 0.0f ? 1 : -1;  // a positive zoom goes up the window
    N_ZoomStep sy(std::fabs(zy));
    LONG y = yStart;
    for (LONG r = 0; r < cy; ++r) {
        const ULONG cRepeat = sy.Next();
        if (cRepeat == 0) continue;
        fetch(r, pulSrc, cxSrc);
        const ULONG cOut = _NZoomRow(pulSrc, static_cast<ULONG>(cxSrc), zx, pulOut, N_SPAN);
        const LONG xRow = zx < 0.0f ? x - static_cast<LONG>(cOut) : x;
        for (ULONG k = 0; k < cRepeat; ++k, y += lStep) {
            _NPutRect(pDst, xRow, y, static_cast<LONG>(cOut), 1, pulOut, flConvert);
            box.Add(xRow, y, static_cast<LONG>(cOut), 1);
        }
    }
}

// One component of a colour image as a byte: unsigned types scaled to 255,
// signed ones clamped at 0, floats clamped to [0, 1] and rounded.
BYTE jComponent(const BYTE* pj, ULONG type) {
    float f = 0.0f;
    switch (type) {
        case N_PIXTYPE_UBYTE: return pj[0];
        case N_PIXTYPE_BYTE: f = static_cast<float>(static_cast<std::int8_t>(pj[0])) / 127.0f; break;
        case N_PIXTYPE_USHORT: { std::uint16_t v; std::memcpy(&v, pj, 2); return static_cast<BYTE>(v >> 8); }
        case N_PIXTYPE_SHORT: { std::int16_t v; std::memcpy(&v, pj, 2); f = static_cast<float>(v) / 32767.0f; break; }
        case N_PIXTYPE_UINT: { std::uint32_t v; std::memcpy(&v, pj, 4); return static_cast<BYTE>(v >> 24); }
        case N_PIXTYPE_INT: { std::int32_t v; std::memcpy(&v, pj, 4); f = static_cast<float>(v / 2147483647.0); break; }
        case N_PIXTYPE_FLOAT: std::memcpy(&f, pj, 4); break;
        default: return 0;
    }
    if (!(f > 0.0f)) return 0;
    if (f >= 1.0f) return 255;
    return static_cast<BYTE>(f * 255.0f + 0.5f);
}

// An RGB or RGBA image of the type as the board's words (red in bits 16-23,
// green 8-15, blue 0-7), rows as they come; null for a type the colour
// forms do not take or without memory. Freed with _Nfree.
ULONG* pulBoardWords(LONG cx, LONG cy, ULONG ulFormat, ULONG ulType, const void* pvPixels) {
    const ULONG cjComponent = _NPixTypeBytes(ulType);
    if (cjComponent == 0) return nullptr;
    const std::size_t cjPixel = std::size_t(cjComponent) * (ulFormat == N_PIXFMT_RGBA ? 4 : 3);
    const std::size_t cPixels = std::size_t(cx) * std::size_t(cy);
    auto* pul = static_cast<ULONG*>(_Nalloc(cPixels * sizeof(ULONG)));
    if (pul == nullptr) return nullptr;
    const auto* pj = static_cast<const BYTE*>(pvPixels);
    for (std::size_t i = 0; i < cPixels; ++i) {
        const BYTE* p = pj + i * cjPixel;
        pul[i] = ULONG{jComponent(p, ulType)} << 16 | ULONG{jComponent(p + cjComponent, ulType)} << 8 |
                 jComponent(p + 2 * cjComponent, ulType);
    }
    return pul;
}

}  // namespace

N_ZoomStep::N_ZoomStep(float zoom)
    : ulInt(static_cast<ULONG>(zoom)), ulFrac(static_cast<ULONG>(std::lround((zoom - std::floor(zoom)) * kOneStep))) {}

ULONG N_ZoomStep::Next() {
    ULONG c = ulInt;
    ulAcc += ulFrac;
    if (ulAcc >= kOneStep) {
        ulAcc -= kOneStep;
        ++c;
    }
    return c;
}

ULONG _NZoomRow(const ULONG* pulSrc, ULONG cSrc, float zx, ULONG* pulOut, ULONG cMax) {
    N_ZoomStep sx(std::fabs(zx));
    ULONG cOut = 0;
    for (ULONG i = 0; i < cSrc; ++i) {
        const ULONG ul = pulSrc[i] & 0xffffffu;
        for (ULONG k = sx.Next(); k > 0 && cOut < cMax; --k) pulOut[cOut++] = ul;
    }
    if (zx < 0.0f) std::reverse(pulOut, pulOut + cOut);
    return cOut;
}

void _NDirectDrawPixels(N_Context* pctx, LONG cx, LONG cy, ULONG ulFormat, ULONG ulType, const void* pvPixels) {
    N_BoundBuffer* apDraw[4];
    const ULONG cDraw = cDrawBuffers(pctx, apDraw);
    if (cDraw == 0 || cx <= 0 || cy <= 0 || pvPixels == nullptr) return;
    const GLBuffer* pDst = apDraw[0]->pBuffer;
    LONG x, y;
    vRasterWindow(pctx, pDst, &x, &y);
    const float zx = __glXWordFloat(*pulAttr(pctx, N_ATTR_ZOOM_X));
    const float zy = __glXWordFloat(*pulAttr(pctx, N_ATTR_ZOOM_Y));
    Box box;
    if (ulFormat != 7 && ulFormat != 8) {
        // One byte a pixel, in the top four bits of each word, row by row;
        // a bitmap (type 2) holds one bit a pixel, rows of whole bytes,
        // leftmost pixel in the top bit.
        const auto* pj = static_cast<const BYTE*>(pvPixels);
        ULONG* pulRow = gNArena.apSpan[0];
        const LONG c = std::min<LONG>(cx, N_SPAN);
        const bool bBitmap = ulType == 2;
        const std::size_t cjRow = bBitmap ? (std::size_t(cx) + 7) / 8 : std::size_t(cx);
        for (LONG r = 0; r < cy; ++r) {
            const BYTE* pjRow = pj + std::size_t(r) * cjRow;
            for (LONG i = 0; i < c; ++i) {
                const ULONG ulValue = bBitmap ? (pjRow[i / 8] >> (7 - i % 8)) & 1u : pjRow[i];
                pulRow[i] = ulValue << 28;
            }
            _NPutRect(pDst, x, y - 1 - r, c, 1, pulRow, 1);
        }
        box.Add(x, y - cy, c, cy);
    } else {
        // The GL's RGB and RGBA images become the board's words first.
        ULONG* pulWords = pulBoardWords(cx, cy, ulFormat, ulType, pvPixels);
        if (pulWords == nullptr) return;
        const ULONG* pul = pulWords;
        if (zx == 1.0f && zy == 1.0f) {
            _NPutRect(pDst, x, y - 1, cx, cy, pul, 0);
            box.Add(x, y - cy, cx, cy);
        } else if (zx > 1.0f && zy > 1.0f && zy == std::floor(zy)) {
            // The zoomed write starts its row count at the image's top row:
            // with a whole y zoom that places the rows where GL's pixel
            // centres do, a fractional one is written row by row from the
            // bottom.
            const N_ZoomStep sx(zx), sy(zy);
            _NPutRectZoom(pDst, x, y - 1, cx, cy, pul, sx.ulInt, sx.ulFrac, sy.ulInt, sy.ulFrac);
            box.Add(x, y - static_cast<LONG>(cy * zy), static_cast<LONG>(cx * zx), static_cast<LONG>(cy * zy));
        } else {
            vZoomRows(pDst, x, zy < 0.0f ? y : y - 1, cx, cy, zx, zy, 0, box, [&](LONG r, ULONG* pulRow, LONG c) {
                std::copy_n(pul + std::size_t(r) * cx, c, pulRow);
            });
        }
        _Nfree(pulWords);
    }
    vCopyToOthers(pctx, apDraw, cDraw, box);
}

void _NDirectCopyPixels(N_Context* pctx, LONG x, LONG y, LONG cx, LONG cy, ULONG) {
    N_BoundBuffer* apDraw[4];
    const ULONG cDraw = cDrawBuffers(pctx, apDraw);
    const N_BoundBuffer* pRead = nullptr;
    const ULONG flRead = *pulAttr(pctx, N_ATTR_READ_BUFFER);
    for (const auto& ds : kDrawSlots)
        if (pRead == nullptr && (flRead & ds[0]) && pctx->buffers[ds[1]].pBuffer != nullptr)
            pRead = &pctx->buffers[ds[1]];
    if (cDraw == 0 || pRead == nullptr || cx <= 0 || cy <= 0) return;
    const GLBuffer* pSrc = pRead->pBuffer;
    const GLBuffer* pDst = apDraw[0]->pBuffer;
    LONG xDst, yDst;
    vRasterWindow(pctx, pDst, &xDst, &yDst);
    // Source rows in window coordinates: the bottom row of the rectangle first.
    const LONG xSrc = x + pSrc->x;
    const LONG ySrcBottom = pSrc->cy - y - 1 + pSrc->y;
    const float zx = __glXWordFloat(*pulAttr(pctx, N_ATTR_ZOOM_X));
    const float zy = __glXWordFloat(*pulAttr(pctx, N_ATTR_ZOOM_Y));
    Box box;
    if (zx == 1.0f && zy == 1.0f) {
        _NCopyRect(pSrc, xSrc, ySrcBottom - cy + 1, pDst, xDst, yDst - cy, cx, cy, 0);
        box.Add(xDst, yDst - cy, cx, cy);
    } else {
        // The whole source is read before anything is written: the zoomed
        // rows may land on source rows not read yet.
        const LONG c = std::min<LONG>(cx, N_SPAN);
        auto* pulImage = static_cast<ULONG*>(_Nalloc(std::size_t(c) * std::size_t(cy) * sizeof(ULONG)));
        if (pulImage == nullptr) return;
        for (LONG r = 0; r < cy; ++r) _NGetRow(pSrc, xSrc, ySrcBottom - r, c, pulImage + std::size_t(r) * c);
        vZoomRows(pDst, xDst, zy < 0.0f ? yDst : yDst - 1, cx, cy, zx, zy, 0, box, [&](LONG r, ULONG* pulRow, LONG cRow) {
            std::copy_n(pulImage + std::size_t(r) * c, std::min(cRow, c), pulRow);
        });
        _Nfree(pulImage);
    }
    vCopyToOthers(pctx, apDraw, cDraw, box);
}
