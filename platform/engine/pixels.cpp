// Pixel formats of host bitmaps: reading and writing rows of pixel values,
// and the rectangle and memory questions the drawing code asks.
//
// 1 and 4 bpp keep the leftmost pixel in the high bits of a byte; 16, 24 and
// 32 bpp store values little-endian (24 bpp: three bytes, low byte first).
#include <algorithm>
#include <cstring>

#include "drawing.h"

namespace vnx::engine {

namespace {

void fetch1(const BYTE* pj, LONG x, LONG n, ULONG* pul) {
    for (LONG i = 0; i < n; ++i, ++x) pul[i] = (pj[x >> 3] >> (7 - (x & 7))) & 1u;
}
void store1(BYTE* pj, LONG x, LONG n, const ULONG* pul) {
    for (LONG i = 0; i < n; ++i, ++x) {
        const BYTE bit = static_cast<BYTE>(0x80u >> (x & 7));
        pj[x >> 3] = static_cast<BYTE>((pul[i] & 1u) ? pj[x >> 3] | bit : pj[x >> 3] & ~bit);
    }
}
void fetch4(const BYTE* pj, LONG x, LONG n, ULONG* pul) {
    for (LONG i = 0; i < n; ++i, ++x) pul[i] = (x & 1) ? pj[x >> 1] & 0x0Fu : pj[x >> 1] >> 4;
}
void store4(BYTE* pj, LONG x, LONG n, const ULONG* pul) {
    for (LONG i = 0; i < n; ++i, ++x) {
        BYTE& b = pj[x >> 1];
        b = (x & 1) ? static_cast<BYTE>((b & 0xF0) | (pul[i] & 0x0F))
                    : static_cast<BYTE>((b & 0x0F) | ((pul[i] & 0x0F) << 4));
    }
}
void fetch8(const BYTE* pj, LONG x, LONG n, ULONG* pul) {
    pj += x;
    for (LONG i = 0; i < n; ++i) pul[i] = pj[i];
}
void store8(BYTE* pj, LONG x, LONG n, const ULONG* pul) {
    pj += x;
    for (LONG i = 0; i < n; ++i) pj[i] = static_cast<BYTE>(pul[i]);
}
void fetch16(const BYTE* pj, LONG x, LONG n, ULONG* pul) {
    pj += 2 * static_cast<std::ptrdiff_t>(x);
    for (LONG i = 0; i < n; ++i) pul[i] = pj[2 * i] | (ULONG(pj[2 * i + 1]) << 8);
}
void store16(BYTE* pj, LONG x, LONG n, const ULONG* pul) {
    pj += 2 * static_cast<std::ptrdiff_t>(x);
    for (LONG i = 0; i < n; ++i) {
        pj[2 * i] = static_cast<BYTE>(pul[i]);
        pj[2 * i + 1] = static_cast<BYTE>(pul[i] >> 8);
    }
}
void fetch24(const BYTE* pj, LONG x, LONG n, ULONG* pul) {
    pj += 3 * static_cast<std::ptrdiff_t>(x);
    for (LONG i = 0; i < n; ++i, pj += 3) pul[i] = pj[0] | (ULONG(pj[1]) << 8) | (ULONG(pj[2]) << 16);
}
void store24(BYTE* pj, LONG x, LONG n, const ULONG* pul) {
    pj += 3 * static_cast<std::ptrdiff_t>(x);
    for (LONG i = 0; i < n; ++i, pj += 3) {
        pj[0] = static_cast<BYTE>(pul[i]);
        pj[1] = static_cast<BYTE>(pul[i] >> 8);
        pj[2] = static_cast<BYTE>(pul[i] >> 16);
    }
}
void fetch32(const BYTE* pj, LONG x, LONG n, ULONG* pul) {
    std::memcpy(pul, pj + 4 * static_cast<std::ptrdiff_t>(x), 4 * static_cast<size_t>(n));
}
void store32(BYTE* pj, LONG x, LONG n, const ULONG* pul) {
    std::memcpy(pj + 4 * static_cast<std::ptrdiff_t>(x), pul, 4 * static_cast<size_t>(n));
}

const PixelFormat kFormats[] = {
    {BMF_1BPP, 1, fetch1, store1},     {BMF_4BPP, 4, fetch4, store4},
    {BMF_8BPP, 8, fetch8, store8},     {BMF_16BPP, 16, fetch16, store16},
    {BMF_24BPP, 24, fetch24, store24}, {BMF_32BPP, 32, fetch32, store32},
};

// First and one-past-last byte an area of a bitmap occupies.
void area_bytes(const SURFOBJ* pso, const RECTL& rcl, const BYTE** ppjLo, const BYTE** ppjHi) {
    const ULONG cBits = pixel_format(pso->iBitmapFormat)->cBits;
    const std::ptrdiff_t left = static_cast<std::ptrdiff_t>(rcl.left) * cBits / 8;
    const std::ptrdiff_t right = (static_cast<std::ptrdiff_t>(rcl.right) * cBits + 7) / 8;
    const BYTE* a = row_address(pso, rcl.top);
    const BYTE* b = row_address(pso, rcl.bottom - 1);
    *ppjLo = std::min(a, b) + left;
    *ppjHi = std::max(a, b) + right;
}

}  // namespace

const PixelFormat* pixel_format(ULONG iFormat) {
    // The table's rows follow the BMF_ numbers from BMF_1BPP on.
    static_assert(BMF_4BPP == BMF_1BPP + 1 && BMF_32BPP == BMF_1BPP + 5);
    const ULONG i = iFormat - BMF_1BPP;
    return i < std::size(kFormats) && kFormats[i].iFormat == iFormat ? &kFormats[i] : nullptr;
}

bool is_device(const SURFOBJ* pso) { return pso->iType != STYPE_BITMAP; }

bool host_pixels(const SURFOBJ* pso) {
    if (pso == nullptr || is_device(pso) || pso->pvScan0 == nullptr) return false;
    const PixelFormat* f = pixel_format(pso->iBitmapFormat);
    if (f == nullptr || pso->sizlBitmap.cx <= 0 || pso->sizlBitmap.cy <= 0) return false;
    const std::int64_t row = (static_cast<std::int64_t>(pso->sizlBitmap.cx) * f->cBits + 7) / 8;
    const std::int64_t delta = pso->lDelta < 0 ? -static_cast<std::int64_t>(pso->lDelta) : pso->lDelta;
    return delta >= row;
}

bool areas_overlap(const SURFOBJ* a, const RECTL& rclA, const SURFOBJ* b, const RECTL& rclB) {
    if (rect_empty(rclA) || rect_empty(rclB)) return false;
    const BYTE *aLo, *aHi, *bLo, *bHi;
    area_bytes(a, rclA, &aLo, &aHi);
    area_bytes(b, rclB, &bLo, &bHi);
    return aLo < bHi && bLo < aHi;
}

bool same_pixels(const SURFOBJ* a, const SURFOBJ* b) {
    return a == b || (a->pvScan0 == b->pvScan0 && a->lDelta == b->lDelta &&
                      a->iBitmapFormat == b->iBitmapFormat);
}


}  // namespace vnx::engine
