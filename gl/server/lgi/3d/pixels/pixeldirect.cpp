// The direct paths of draw and copy pixels: the image goes into the draw
// buffer through the GL layer's transfers, replicated by the pixel zoom row
// by row where the zoomed write cannot take it, then copied to the other
// draw buffers. Row work uses the arena's span arrays; nothing is allocated.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "../../seams.h"
#include "3d/context/arena.h"
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

// Positions and zooms are kept within this many pixels: beyond any screen,
// small enough that a count of source pixels times a zoom stays far inside
// 64 bits.
constexpr float kFar = 16777216.0f;

// The nearest whole pixel, halves up; left of the window's origin too (a
// conversion alone would round -0.5 .. -1.5 up to 0 and -1).
LONG lRound(float f) {
    if (!(f == f)) return 0;  // NaN
    return static_cast<LONG>(std::floor(std::clamp(f, -kFar, kFar) + 0.5f));
}

// The screen column of the raster position's pixel and the screen row just
// below it (the position is kept in window coordinates, y up from the
// window's bottom edge): image rows go up from row *py - 1.
void vRasterWindow(N_Context* pctx, const GLBuffer* pBuffer, LONG* px, LONG* py) {
    const ULONG* pulPos = pulAttr(pctx, N_ATTR_RASTER_POS);
    *px = lRound(__glXWordFloat(pulPos[0])) + pBuffer->x;
    *py = pBuffer->cy - lRound(__glXWordFloat(pulPos[1])) + pBuffer->y;
}

using I64 = std::int64_t;

// The rectangle of a buffer's window in screen pixels (right and bottom
// excluded): what a draw into it can change.
struct Window {
    I64 x0, y0, x1, y1;
    explicit Window(const GLBuffer* pb) : x0(pb->x), y0(pb->y), x1(I64{pb->x} + pb->cx), y1(I64{pb->y} + pb->cy) {}
};

// Outputs of the first i sources of a zoomed axis, counted as N_ZoomStep
// counts them from its start.
I64 cOutputsBefore(const N_ZoomStep& z, I64 i) {
    return i * z.ulInt + (I64{65535 / 2} + i * z.ulFrac) / 65535;
}

// The source (of n) whose outputs hold output k, or n when none does.
I64 iSourceOf(const N_ZoomStep& z, I64 n, I64 k) {
    if (k < 0) return 0;
    I64 lo = 0, hi = n;  // cOutputsBefore(lo) <= k; the answer lies in [lo, hi]
    if (cOutputsBefore(z, n) <= k) return n;
    while (hi - lo > 1) {
        const I64 mid = lo + (hi - lo) / 2;
        (cOutputsBefore(z, mid) <= k ? lo : hi) = mid;
    }
    return lo;
}

// The step as it stands after the first i sources.
N_ZoomStep zAfter(N_ZoomStep z, I64 i) {
    z.ulAcc = static_cast<ULONG>((I64{65535 / 2} + i * z.ulFrac) % 65535);
    return z;
}

// The sources of one zoomed axis (of n) whose outputs reach the outputs
// [kLo, kHi): [first, end).
struct Range {
    I64 first, end;
};
Range rVisible(const N_ZoomStep& z, I64 n, I64 kLo, I64 kHi) {
    if (kHi <= kLo || kHi <= 0) return {0, 0};
    const I64 first = iSourceOf(z, n, std::max<I64>(kLo, 0));
    const I64 end = std::min(n, iSourceOf(z, n, kHi - 1) + 1);
    return {first, std::max(first, end)};
}

// How the rectangle changed by a draw is grown.
struct Box {
    I64 x0 = INT32_MAX, y0 = INT32_MAX, x1 = INT32_MIN, y1 = INT32_MIN;
    void Add(I64 x, I64 y, I64 cx, I64 cy) {
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x + cx);
        y1 = std::max(y1, y + cy);
    }
};

// Copies the changed rectangle (within the window) to the other draw
// buffers.
void vCopyToOthers(N_Context* pctx, N_BoundBuffer** pp, ULONG c, const Box& boxDrawn) {
    if (c < 2) return;
    const Window w(pp[0]->pBuffer);
    Box box;
    box.x0 = std::max(boxDrawn.x0, w.x0), box.y0 = std::max(boxDrawn.y0, w.y0);
    box.x1 = std::min(boxDrawn.x1, w.x1), box.y1 = std::min(boxDrawn.y1, w.y1);
    if (box.x1 <= box.x0 || box.y1 <= box.y0) return;
    const bool bRight = pp[0] == &pctx->buffers[N_SLOT_FRONT_RIGHT] || pp[0] == &pctx->buffers[N_SLOT_BACK_RIGHT];
    const ULONG ulMode = (bRight && _NStereoPages(pctx)) ? 1 : 0;
    const auto x = static_cast<LONG>(box.x0), y = static_cast<LONG>(box.y0);
    for (ULONG i = 1; i < c; ++i)
        _NCopyRect(pp[0]->pBuffer, x, y, pp[i]->pBuffer, x, y, static_cast<LONG>(box.x1 - box.x0),
                   static_cast<LONG>(box.y1 - box.y0), ulMode);
}

// One row of cSrc pixels zoomed from the step's state into pulOut (at most
// cMax pixels, each masked to 24 bits, mirrored when asked); answers the
// pixels written.
ULONG cZoomRowFrom(const ULONG* pulSrc, ULONG cSrc, N_ZoomStep sx, bool bMirror, ULONG* pulOut, ULONG cMax) {
    ULONG cOut = 0;
    for (ULONG i = 0; i < cSrc && cOut < cMax; ++i) {
        const ULONG ul = pulSrc[i] & 0xffffffu;
        for (ULONG k = sx.Next(); k > 0 && cOut < cMax; --k) pulOut[cOut++] = ul;
    }
    if (bMirror) std::reverse(pulOut, pulOut + cOut);
    return cOut;
}

// What of a zoomed image of cx x cy sources the window shows: the source
// columns, and the output rows (offsets from the first) that land in it.
// x is the column the outputs start at (mirrored: the column right of
// them), yStart the first output row, stepped up or down by the y zoom.
struct ZoomedPlan {
    N_ZoomStep sx, sy;
    bool bMirror;
    LONG lStep;
    Range cols;    // source columns drawn (at most N_SPAN of them)
    I64 kColFirst; // the output offset of the first of them
    I64 kRowLo, kRowHi;
};
ZoomedPlan planZoomed(const Window& w, I64 x, I64 yStart, I64 cx, I64 cy, float zx, float zy) {
    ZoomedPlan p{N_ZoomStep(std::fabs(zx)), N_ZoomStep(std::fabs(zy)), zx < 0.0f, zy < 0.0f ? 1 : -1, {0, 0}, 0, 0, 0};
    // Output k of a row lies at x + k, mirrored at x - 1 - k; output row k
    // at yStart + lStep * k.
    const I64 kxLo = p.bMirror ? x - w.x1 : w.x0 - x;
    const I64 kxHi = p.bMirror ? x - w.x0 : w.x1 - x;
    p.cols = rVisible(p.sx, cx, kxLo, kxHi);
    p.cols.end = std::min(p.cols.end, p.cols.first + I64{N_SPAN});
    p.kColFirst = cOutputsBefore(p.sx, p.cols.first);
    p.kRowLo = std::max<I64>(0, p.lStep < 0 ? yStart - w.y1 + 1 : w.y0 - yStart);
    p.kRowHi = std::min(cOutputsBefore(p.sy, cy), p.lStep < 0 ? yStart - w.y0 + 1 : w.y1 - yStart);
    return p;
}

// Writes the rows of a zoomed image that the window shows, each row's
// visible sources zoomed. fetch(r, c0, pulRow, c) fills c pixels of source
// row r from column c0 (32-bit pixels).
template <typename Fetch>
void vZoomRows(const GLBuffer* pDst, const ZoomedPlan& p, I64 x, I64 yStart, I64 cy, ULONG flConvert, Box& box,
               Fetch fetch) {
    const Window w(pDst);
    if (p.cols.end <= p.cols.first || p.kRowHi <= p.kRowLo) return;
    ULONG* pulSrc = gNArena.apSpan[0];
    ULONG* pulOut = gNArena.apSpan[1];
    const auto cSrc = static_cast<LONG>(p.cols.end - p.cols.first);
    const N_ZoomStep sxFirst = zAfter(p.sx, p.cols.first);
    I64 rFetched = -1;
    ULONG cOut = 0;
    for (I64 k = p.kRowLo; k < p.kRowHi; ++k) {
        const I64 r = iSourceOf(p.sy, cy, k);
        if (r >= cy) break;
        if (r != rFetched) {
            fetch(r, p.cols.first, pulSrc, cSrc);
            cOut = cZoomRowFrom(pulSrc, static_cast<ULONG>(cSrc), sxFirst, p.bMirror, pulOut, N_SPAN);
            rFetched = r;
        }
        // The row's pixels inside the window.
        const I64 xRow = p.bMirror ? x - p.kColFirst - cOut : x + p.kColFirst;
        const I64 x0 = std::max(xRow, w.x0), x1 = std::min<I64>(xRow + cOut, w.x1);
        if (x1 <= x0) continue;
        const I64 y = yStart + p.lStep * k;
        _NPutRect(pDst, static_cast<LONG>(x0), static_cast<LONG>(y), static_cast<LONG>(x1 - x0), 1,
                  pulOut + (x0 - xRow), flConvert);
        box.Add(x0, y, x1 - x0, 1);
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

// The part of an RGB or RGBA image of the type (rows of cxImage pixels)
// from column x0 and row r0, cx x cy pixels, as the board's words (red in
// bits 16-23, green 8-15, blue 0-7), rows as they come; null for a type the
// colour forms do not take or without memory. Freed with _Nfree.
ULONG* pulBoardWords(I64 cxImage, I64 x0, I64 r0, I64 cx, I64 cy, ULONG ulFormat, ULONG ulType,
                     const void* pvPixels) {
    const ULONG cjComponent = _NPixTypeBytes(ulType);
    if (cjComponent == 0 || cx <= 0 || cy <= 0) return nullptr;
    const std::size_t cjPixel = std::size_t(cjComponent) * (ulFormat == N_PIXFMT_RGBA ? 4 : 3);
    auto* pul = static_cast<ULONG*>(_Nalloc(std::size_t(cx) * std::size_t(cy) * sizeof(ULONG)));
    if (pul == nullptr) return nullptr;
    const auto* pj = static_cast<const BYTE*>(pvPixels);
    for (I64 r = 0; r < cy; ++r) {
        const BYTE* pjRow = pj + (std::size_t(r0 + r) * std::size_t(cxImage) + std::size_t(x0)) * cjPixel;
        ULONG* pulRow = pul + std::size_t(r) * std::size_t(cx);
        for (I64 i = 0; i < cx; ++i) {
            const BYTE* p = pjRow + std::size_t(i) * cjPixel;
            pulRow[i] = ULONG{jComponent(p, ulType)} << 16 | ULONG{jComponent(p + cjComponent, ulType)} << 8 |
                        jComponent(p + 2 * cjComponent, ulType);
        }
    }
    return pul;
}

}  // namespace

// A zoom beyond any screen (or not a number) is held at kFar (or 0): it
// covers no more of the window for it.
N_ZoomStep::N_ZoomStep(float zoom) {
    const float z = zoom > 0.0f ? std::min(zoom, kFar) : 0.0f;
    ulInt = static_cast<ULONG>(z);
    ulFrac = static_cast<ULONG>(std::lround((z - std::floor(z)) * kOneStep));
}

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
    const Window w(pDst);
    const float zx = __glXWordFloat(*pulAttr(pctx, N_ATTR_ZOOM_X));
    const float zy = __glXWordFloat(*pulAttr(pctx, N_ATTR_ZOOM_Y));
    // Unzoomed, image column i lands on screen column x + i and row r on
    // screen row y - 1 - r: only those inside the window are taken.
    const I64 i0 = std::max<I64>(0, w.x0 - x), i1 = std::min<I64>(cx, w.x1 - x);
    const I64 r0 = std::max<I64>(0, I64{y} - w.y1), r1 = std::min<I64>(cy, I64{y} - w.y0);
    Box box;
    if (ulFormat != 7 && ulFormat != 8) {
        // One byte a pixel, in the top four bits of each word, row by row;
        // a bitmap (type 2) holds one bit a pixel, rows of whole bytes,
        // leftmost pixel in the top bit.
        const auto* pj = static_cast<const BYTE*>(pvPixels);
        ULONG* pulRow = gNArena.apSpan[0];
        const I64 c = std::min<I64>(i1 - i0, N_SPAN);
        if (c <= 0 || r1 <= r0) return;
        const bool bBitmap = ulType == 2;
        const std::size_t cjRow = bBitmap ? (std::size_t(cx) + 7) / 8 : std::size_t(cx);
        for (I64 r = r0; r < r1; ++r) {
            const BYTE* pjRow = pj + std::size_t(r) * cjRow;
            for (I64 k = 0; k < c; ++k) {
                const std::size_t i = std::size_t(i0 + k);
                const ULONG ulValue = bBitmap ? (pjRow[i / 8] >> (7 - i % 8)) & 1u : pjRow[i];
                pulRow[k] = ulValue << 28;
            }
            _NPutRect(pDst, static_cast<LONG>(x + i0), static_cast<LONG>(y - 1 - r), static_cast<LONG>(c), 1, pulRow, 1);
        }
        box.Add(x + i0, y - r1, c, r1 - r0);
    } else if (zx == 1.0f && zy == 1.0f) {
        // The GL's RGB and RGBA images become the board's words first: the
        // part the window shows.
        ULONG* pulWords = pulBoardWords(cx, i0, r0, i1 - i0, r1 - r0, ulFormat, ulType, pvPixels);
        if (pulWords == nullptr) return;
        _NPutRect(pDst, static_cast<LONG>(x + i0), static_cast<LONG>(y - 1 - r0), static_cast<LONG>(i1 - i0),
                  static_cast<LONG>(r1 - r0), pulWords, 0);
        box.Add(x + i0, y - r1, i1 - i0, r1 - r0);
        _Nfree(pulWords);
    } else if (zx > 1.0f && zy > 1.0f && zy == std::floor(zy) && zy <= kFar && x >= w.x0) {
        // The zoomed write starts its row count at the image's top row:
        // with a whole y zoom that places the rows where GL's pixel
        // centres do, a fractional one is written row by row from the
        // bottom. Whole rows of the zoom are exact: the rows below and above
        // the window are left out, and the columns past its right edge.
        const N_ZoomStep sx(zx), sy(zy);
        const I64 zyRows = sy.ulInt;
        const I64 rFirst = std::max<I64>(0, I64{y} - w.y1) / zyRows;
        const I64 rEnd = std::min<I64>(cy, (I64{y} - w.y0 + zyRows - 1) / zyRows);
        const I64 cxShown = std::min<I64>(cx, iSourceOf(sx, cx, w.x1 - x) + 2);
        if (rEnd <= rFirst || cxShown <= 0) return;
        ULONG* pulWords = pulBoardWords(cx, 0, rFirst, cxShown, rEnd - rFirst, ulFormat, ulType, pvPixels);
        if (pulWords == nullptr) return;
        const I64 yBottom = I64{y} - 1 - rFirst * zyRows;
        _NPutRectZoom(pDst, x, static_cast<LONG>(yBottom), static_cast<LONG>(cxShown), static_cast<LONG>(rEnd - rFirst),
                      pulWords, sx.ulInt, sx.ulFrac, sy.ulInt, sy.ulFrac);
        const I64 cyOut = (rEnd - rFirst) * zyRows;
        box.Add(x, yBottom + 1 - cyOut, cOutputsBefore(sx, cxShown) + 1, cyOut);
        _Nfree(pulWords);
    } else {
        const I64 yStart = zy < 0.0f ? y : I64{y} - 1;
        const ZoomedPlan plan = planZoomed(w, x, yStart, cx, cy, zx, zy);
        vZoomRows(pDst, plan, x, yStart, cy, 0, box, [&](I64 r, I64 c0, ULONG* pulRow, LONG c) {
            ULONG* pulWords = pulBoardWords(cx, c0, r, c, 1, ulFormat, ulType, pvPixels);
            if (pulWords == nullptr) {
                std::fill_n(pulRow, c, 0u);
                return;
            }
            std::copy_n(pulWords, c, pulRow);
            _Nfree(pulWords);
        });
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
    const Window wSrc(pSrc), wDst(pDst);
    // Source rows in screen coordinates: the bottom row of the rectangle
    // first. What lies outside the read window is undefined in GL: the
    // rectangle is cut to the rows and columns the read window holds.
    I64 xSrc = I64{x} + pSrc->x;
    I64 ySrcBottom = I64{pSrc->cy} - y - 1 + pSrc->y;
    I64 cxSrc = cx, cySrc = cy;
    const I64 iLeft = std::max<I64>(0, wSrc.x0 - xSrc), rBelow = std::max<I64>(0, ySrcBottom - (wSrc.y1 - 1));
    cxSrc = std::min<I64>(cxSrc, wSrc.x1 - xSrc) - iLeft;
    cySrc = std::min<I64>(cySrc, ySrcBottom - wSrc.y0 + 1) - rBelow;
    if (cxSrc <= 0 || cySrc <= 0) return;
    xSrc += iLeft;
    ySrcBottom -= rBelow;
    const float zx = __glXWordFloat(*pulAttr(pctx, N_ATTR_ZOOM_X));
    const float zy = __glXWordFloat(*pulAttr(pctx, N_ATTR_ZOOM_Y));
    Box box;
    if (zx == 1.0f && zy == 1.0f) {
        // Unzoomed: source column i and row r (from the bottom) land on
        // xDst + i and yDst - 1 - r; the rows and columns of the cut
        // source keep their places, and only those the draw window holds
        // are copied.
        const I64 xTo = I64{xDst} + iLeft, yToBottom = I64{yDst} - 1 - rBelow;
        const I64 i0 = std::max<I64>(0, wDst.x0 - xTo), i1 = std::min<I64>(cxSrc, wDst.x1 - xTo);
        const I64 r0 = std::max<I64>(0, yToBottom - (wDst.y1 - 1)), r1 = std::min<I64>(cySrc, yToBottom - wDst.y0 + 1);
        if (i1 <= i0 || r1 <= r0) return;
        const I64 cxCopy = i1 - i0, cyCopy = r1 - r0;
        _NCopyRect(pSrc, static_cast<LONG>(xSrc + i0), static_cast<LONG>(ySrcBottom - r0 - cyCopy + 1), pDst,
                   static_cast<LONG>(xTo + i0), static_cast<LONG>(yToBottom - r0 - cyCopy + 1),
                   static_cast<LONG>(cxCopy), static_cast<LONG>(cyCopy), 0);
        box.Add(xTo + i0, yToBottom - r0 - cyCopy + 1, cxCopy, cyCopy);
    } else {
        // Zoomed: the rectangle is placed as GL places it whole; of its
        // outputs, those of the source the read window holds and that land
        // in the draw window are written.
        const I64 xStart = xDst;
        const I64 yStart = zy < 0.0f ? I64{yDst} : I64{yDst} - 1;
        ZoomedPlan plan = planZoomed(wDst, xStart, yStart, cx, cy, zx, zy);
        // Only the source columns and rows the read window holds.
        plan.cols.first = std::max(plan.cols.first, iLeft);
        plan.cols.end = std::min(plan.cols.end, iLeft + cxSrc);
        plan.kColFirst = cOutputsBefore(plan.sx, plan.cols.first);
        plan.kRowLo = std::max(plan.kRowLo, cOutputsBefore(plan.sy, rBelow));
        plan.kRowHi = std::min(plan.kRowHi, cOutputsBefore(plan.sy, rBelow + cySrc));
        if (plan.cols.end <= plan.cols.first || plan.kRowHi <= plan.kRowLo) return;
        // The whole source the window shows is read before anything is
        // written: the zoomed rows may land on source rows not read yet.
        const I64 c = plan.cols.end - plan.cols.first;
        const I64 rLo = iSourceOf(plan.sy, cy, plan.kRowLo), rHi = iSourceOf(plan.sy, cy, plan.kRowHi - 1) + 1;
        auto* pulImage = static_cast<ULONG*>(_Nalloc(std::size_t(c) * std::size_t(rHi - rLo) * sizeof(ULONG)));
        if (pulImage == nullptr) return;
        const I64 xRead = I64{x} + pSrc->x + plan.cols.first;
        const I64 yReadBottom = I64{pSrc->cy} - y - 1 + pSrc->y;
        for (I64 r = rLo; r < rHi; ++r)
            _NGetRow(pSrc, static_cast<LONG>(xRead), static_cast<LONG>(yReadBottom - r), static_cast<LONG>(c),
                     pulImage + std::size_t(r - rLo) * std::size_t(c));
        vZoomRows(pDst, plan, xStart, yStart, cy, 0, box, [&](I64 r, I64, ULONG* pulRow, LONG cRow) {
            std::copy_n(pulImage + std::size_t(r - rLo) * std::size_t(c), std::min<I64>(cRow, c), pulRow);
        });
        _Nfree(pulImage);
    }
    vCopyToOthers(pctx, apDraw, cDraw, box);
}
