// The software clear of a buffer that lives in host memory (an alpha or
// further colour plane, a stencil buffer): the clear rectangle inside each
// rectangle of the window's clip list is filled in place. The clear
// rectangle counts from the window's corner and the clip list is in screen
// pixels; the buffer holds the window's rows from its own corner, so both
// meet in screen pixels and the fill is taken back to the buffer by its
// origin. Every fill stays inside the buffer's own rows and columns. A write mask that leaves some
// bits alone makes the fill keep those bits of every pixel.
#include <algorithm>
#include <cstring>

#include "../../seams.h"

namespace {


// Fills cols pixels of bytesPerPixel bytes at pj with the value's low bytes.
void vFillRow(BYTE* pj, ULONG bytesPerPixel, std::size_t cols, ULONG ulValue) {
    switch (bytesPerPixel) {
        case 1: std::memset(pj, static_cast<int>(ulValue & 0xFF), cols); break;
        case 2: {
            // Two-byte pixels get their own fill: one 16-bit value each.
            const USHORT us = static_cast<USHORT>(ulValue);
            for (std::size_t i = 0; i < cols; ++i) std::memcpy(pj + 2 * i, &us, 2);
            break;
        }
        default:
            for (std::size_t i = 0; i < cols; ++i) std::memcpy(pj + 4 * i, &ulValue, 4);
            break;
    }
}

// The masked form: each pixel keeps the bits ulKeep names and takes the
// value's other bits.
void vMergeRow(BYTE* pj, ULONG bytesPerPixel, std::size_t cols, ULONG ulValue, ULONG ulKeep) {
    for (std::size_t i = 0; i < cols; ++i, pj += bytesPerPixel) {
        ULONG ul = 0;
        std::memcpy(&ul, pj, bytesPerPixel);
        ul = (ul & ulKeep) | (ulValue & ~ulKeep);
        std::memcpy(pj, &ul, bytesPerPixel);
    }
}

}  // namespace

void _NClearHostRect(N_BoundBuffer* pSlot, LONG x0, LONG y0, LONG x1, LONG y1, ULONG ulValue) {
    _NClearHostRectMasked(pSlot, x0, y0, x1, y1, ulValue, 0);
}

void _NClearHostRectMasked(N_BoundBuffer* pSlot, LONG x0, LONG y0, LONG x1, LONG y1, ULONG ulValue, ULONG ulKeep) {
    if (!bNHaveContext() || pSlot == nullptr || pSlot->pBuffer == nullptr || pSlot->pjBase == nullptr) return;
    N_Context* pctx = gpNCurrent;
    const ULONG cb = pSlot->bytesPerPixel;
    if (cb != 1 && cb != 2 && cb != 4) return;
    const ULONG ulFull = cb == 4 ? 0xFFFFFFFFu : (1u << (8 * cb)) - 1;
    ulKeep &= ulFull;
    if (ulKeep == ulFull) return;  // every bit is kept: nothing to write
    std::int64_t xr = x1, yr = y1;
    if (*pulAttr(pctx, N_ATTR_SEPARATE_FACES) == 1) {
        --xr;
        --yr;
    }
    if (xr < x0 || yr < y0) return;
    const GLBuffer* pb = pSlot->pBuffer;
    const std::int64_t ox = pb->x, oy = pb->y;
    // The buffer's own extent bounds every part, whatever the clip list says.
    const std::int64_t xMax = std::min<std::int64_t>(pb->cx, pSlot->pitch / cb) - 1;
    const std::int64_t yMax = std::int64_t{pb->cy} - 1;
    const ULONG* pulClip = pctx->pulDecodedClip;
    const ULONG cRects = pctx->cClipRects;
    for (ULONG r = 0; r < cRects; ++r) {
        // The clip rectangle in the buffer's pixels.
        const ULONG* pc = pulClip + 4 * std::size_t{r};
        const std::int64_t cx0 = static_cast<LONG>(pc[0]) - ox, cy0 = static_cast<LONG>(pc[1]) - oy;
        const std::int64_t cx1 = static_cast<LONG>(pc[2]) - ox, cy1 = static_cast<LONG>(pc[3]) - oy;
        const std::int64_t fx0 = std::max<std::int64_t>({cx0, x0, 0});
        const std::int64_t fy0 = std::max<std::int64_t>({cy0, y0, 0});
        const std::int64_t fx1 = std::min<std::int64_t>({cx1 - 1, xr, xMax});
        const std::int64_t fy1 = std::min<std::int64_t>({cy1 - 1, yr, yMax});
        if (fx1 < fx0 || fy1 < fy0) continue;
        const auto cols = static_cast<std::size_t>(fx1 - fx0 + 1);
        const auto rows = static_cast<std::size_t>(fy1 - fy0 + 1);
        BYTE* pjFirst = pSlot->pjBase + static_cast<std::size_t>(fy0) * pSlot->pitch + static_cast<std::size_t>(fx0) * cb;
        if (ulKeep != 0) {
            for (std::size_t y = 0; y < rows; ++y) vMergeRow(pjFirst + y * pSlot->pitch, cb, cols, ulValue, ulKeep);
            continue;
        }
        // Zero over whole rows: one fill from the first row on.
        if (ulValue == 0 && cRects == 1 && fx0 == 0 && static_cast<std::int64_t>(cols) == pb->cx) {
            std::memset(pjFirst, 0, rows * pSlot->pitch - (pSlot->pitch - cols * cb));
            return;
        }
        vFillRow(pjFirst, cb, cols, ulValue);
        for (std::size_t y = 1; y < rows; ++y) std::memcpy(pjFirst + y * pSlot->pitch, pjFirst, cols * cb);
    }
}
