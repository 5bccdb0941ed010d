// Run-length encoded sources (BMF_4RLE, BMF_8RLE): decoding the area a
// drawing reads.
//
// The stream is byte pairs, rows from the bottom up:
//   n > 0, v      n pixels of v (4 bpp: the two nibbles of v in turn, high
//                 first)
//   0, 0          end of the row: next row up, first column
//   0, 1          end of the bitmap
//   0, 2, dx, dy  move dx columns right and dy rows up
//   0, n >= 3     n pixels follow as they are (4 bpp: two a byte, high
//                 first), padded to an even number of bytes
// Pixels no run covers are absent: drawing leaves the target there as it
// is. A stream that ends early or leaves the bitmap simply stops; runs past
// the right edge are cut there.
#include "drawing.h"

namespace vnx::engine {

namespace {

void put(RunImage* img, std::int64_t x, std::int64_t y, ULONG v) {
    const RECTL& r = img->rcl;
    if (x < r.left || x >= r.right || y < r.top || y >= r.bottom) return;
    const size_t i = static_cast<size_t>((y - r.top) * (r.right - r.left) + (x - r.left));
    img->values[i] = v;
    img->present[i] = 1;
}

}  // namespace

bool is_runs(const SURFOBJ* pso) {
    return pso->iBitmapFormat == BMF_4RLE || pso->iBitmapFormat == BMF_8RLE;
}

bool decode_runs(const SURFOBJ* pso, RunImage* img) {
    if (!is_runs(pso) || is_device(pso) || pso->pvBits == nullptr || rect_empty(img->rcl))
        return false;
    const size_t area = static_cast<size_t>(img->rcl.right - img->rcl.left) *
                        static_cast<size_t>(img->rcl.bottom - img->rcl.top);
    img->values.assign(area, 0);
    img->present.assign(area, 0);
    const bool b4 = pso->iBitmapFormat == BMF_4RLE;
    const BYTE* pj = static_cast<const BYTE*>(pso->pvBits);
    const size_t cj = pso->cjBits;
    // 64-bit positions: runs may push far past the row without wrapping.
    std::int64_t x = 0, y = pso->sizlBitmap.cy - 1;
    for (size_t i = 0; i + 2 <= cj && y >= 0;) {
        const BYTE n = pj[i], v = pj[i + 1];
        i += 2;
        if (n != 0) {
            for (int k = 0; k < n; ++k)
                put(img, x + k, y, b4 ? ((k & 1) ? v & 0x0Fu : ULONG(v) >> 4) : v);
            x += n;
        } else if (v == 0) {  // end of row
            x = 0;
            --y;
        } else if (v == 1) {  // end of bitmap
            break;
        } else if (v == 2) {  // move
            if (i + 2 > cj) break;
            x += pj[i];
            y -= pj[i + 1];
            i += 2;
        } else {  // v pixels as they are
            const size_t cb = b4 ? (v + 1u) / 2 : v;
            for (int k = 0; k < v; ++k) {
                const size_t at = i + (b4 ? static_cast<size_t>(k) / 2 : static_cast<size_t>(k));
                if (at >= cj) return true;
                put(img, x + k, y, b4 ? ((k & 1) ? pj[at] & 0x0Fu : ULONG(pj[at]) >> 4) : pj[at]);
            }
            x += v;
            i += cb + (cb & 1);
        }
    }
    return true;
}

}  // namespace vnx::engine
