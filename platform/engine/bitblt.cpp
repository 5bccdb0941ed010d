// EngBitBlt: the software blit under any ROP4.
//
// A blit is prepared once (which operands the ROP reads, the rectangle cut
// to every surface it reads, the clip rectangles in an order safe for
// overlap, host views of device surfaces) and then drawn rectangle by
// rectangle, row by row: fetch the source row and translate it, make the
// pattern row from the brush, fetch the destination row, evaluate the ROP3
// (both ROP3s and a choice by mask bit for a true ROP4) and store. Each row
// is fetched whole before it is stored, and rows are walked away from the
// source, so a blit within one bitmap reads no pixel it already wrote.
//
// Two kinds of blit take a fast path, chosen from a table: a source copy
// between equal formats (row moves) and a fill with one value (row fills,
// pixman_fill for a large area).
// Before any preparation, plain copies between two host bitmaps and solid
// fills under no clip or a rectangle clip (the blits small drawings make
// most) take a straight path that draws what the fast paths draw for them.
// A blit that needs no list of clip rectangles and no temporary allocates
// nothing.
#include <pixman.h>

#include <algorithm>
#include <cstring>

#include "drawing.h"
#include "platform/engine.h"
#include "platform/faults.h"

namespace vnx::engine {

namespace {

// A blit ready to draw. Coordinates are the target's.
struct Blit {
    ULONG fg = 0, bg = 0;  // ROP3 where the mask bit is 1, where it is 0
    bool bMask = false, bSrc = false, bPat = false, bDst = false;
    const PixelFormat* fDst = nullptr;
    const PixelFormat* fSrc = nullptr;
    HostView dst, src, mask;
    bool bRuns = false;            // the source is run-length encoded: runs, not src
    RunImage runs;
    bool bMaskSurface = false;     // the mask comes from psoMask, not the brush
    POINTL srcOff{0, 0};           // source point = target point + srcOff
    POINTL maskOff{0, 0};
    Translator xlate;
    ULONG iSolid = 0;              // pattern value of a solid brush
    const BrushPattern* pat = nullptr;
    POINTL brushOrg{0, 0};
    bool bUp = false;              // rows bottom to top
    std::vector<ULONG> s, p, d, m, out, out2;  // row buffers
};

// a - b modulo n, in 0 .. n - 1.
LONG modulo(LONG a, LONG b, LONG n) {
    const std::int64_t r = (std::int64_t{a} - b) % n;
    return static_cast<LONG>(r < 0 ? r + n : r);
}

// --- the general path -------------------------------------------------------

void pattern_row(const Blit& b, LONG x, LONG y, LONG n, ULONG* pul) {
    if (b.pat == nullptr) {
        for (LONG i = 0; i < n; ++i) pul[i] = b.iSolid;
        return;
    }
    const BrushPattern& bp = *b.pat;
    const ULONG* row = bp.pixels.data() + static_cast<size_t>(modulo(y, b.brushOrg.y, bp.cy)) * bp.cx;
    LONG px = modulo(x, b.brushOrg.x, bp.cx);
    for (LONG i = 0; i < n; ++i) {
        pul[i] = row[px];
        if (++px == bp.cx) px = 0;
    }
}

void mask_row(Blit& b, LONG x, LONG y, LONG n, ULONG* pul) {
    if (b.bMaskSurface) {
        pixel_format(BMF_1BPP)->fetch(b.mask.row(y + b.maskOff.y), b.mask.x(x + b.maskOff.x), n, pul);
        return;
    }
    const BrushPattern& bp = *b.pat;
    const BYTE* row = bp.mask.data() + static_cast<size_t>(modulo(y, b.brushOrg.y, bp.cy)) * bp.cx;
    LONG px = modulo(x, b.brushOrg.x, bp.cx);
    for (LONG i = 0; i < n; ++i) {
        pul[i] = row[px];
        if (++px == bp.cx) px = 0;
    }
}

void draw_general(Blit& b, const RECTL& r) {
    const LONG n = r.right - r.left;
    for (LONG k = 0, rows = r.bottom - r.top; k < rows; ++k) {
        const LONG y = b.bUp ? r.bottom - 1 - k : r.top + k;
        const ULONG* S = nullptr;
        const ULONG* P = nullptr;
        const ULONG* D = nullptr;
        const BYTE* present = nullptr;  // run-length source: which pixels it has
        if (b.bRuns) {
            const size_t at = b.runs.index(r.left + b.srcOff.x, y + b.srcOff.y);
            std::copy_n(b.runs.values.begin() + static_cast<std::ptrdiff_t>(at), n, b.s.begin());
            present = b.runs.present.data() + at;
        } else if (b.bSrc) {
            b.fSrc->fetch(b.src.row(y + b.srcOff.y), b.src.x(r.left + b.srcOff.x), n, b.s.data());
        }
        if (b.bSrc) {
            b.xlate.row(b.s.data(), n);
            S = b.s.data();
        }
        if (b.bPat) {
            pattern_row(b, r.left, y, n, b.p.data());
            P = b.p.data();
        }
        if (b.bDst) {
            b.fDst->fetch(b.dst.row(y), b.dst.x(r.left), n, b.d.data());
            D = b.d.data();
        }
        rop3_row(b.fg, P, S, D, b.out.data(), n);
        if (b.bMask) {
            rop3_row(b.bg, P, S, D, b.out2.data(), n);
            mask_row(b, r.left, y, n, b.m.data());
            for (LONG i = 0; i < n; ++i)
                if (b.m[i] == 0) b.out[i] = b.out2[i];
        }
        if (present != nullptr) {
            for (LONG i = 0; i < n; ++i)
                if (!present[i]) b.out[i] = b.d[i];
        }
        b.fDst->store(b.dst.row(y), b.dst.x(r.left), n, b.out.data());
    }
}

// --- fast paths -------------------------------------------------------------

bool copy_applies(const Blit& b) {
    return !b.bMask && b.fg == 0xCC && !b.bRuns && b.xlate.identity() && b.fSrc == b.fDst &&
           b.fDst->cBits >= 8;
}

// Sixteen bytes held in a vector register.
typedef unsigned char Bytes16 __attribute__((vector_size(16)));

// A piece of kPiece bytes (8, 16, 32 or 64) held in registers: a row move
// loads whole pieces into registers and stores them from there (never
// through a copy on the stack, which the compiler may make a string move).
template <size_t kPiece>
struct Piece {
    static constexpr size_t kVectors = kPiece / 16;
    Bytes16 v[kVectors];
    void load(const BYTE* p) {
        for (size_t i = 0; i < kVectors; ++i) std::memcpy(&v[i], p + 16 * i, 16);
    }
    void store(BYTE* p) const {
        for (size_t i = 0; i < kVectors; ++i) std::memcpy(p + 16 * i, &v[i], 16);
    }
};
template <>
struct Piece<8> {
    std::uint64_t v;
    void load(const BYTE* p) { std::memcpy(&v, p, 8); }
    void store(BYTE* p) const { std::memcpy(p, &v, 8); }
};

// Moves cb bytes (kPiece <= cb <= 2 kPiece) like memmove: the first and the
// last kPiece bytes are loaded before either is stored.
template <size_t kPiece>
inline void move_two_pieces(BYTE* d, const BYTE* s, size_t cb) {
    Piece<kPiece> a, z;
    a.load(s);
    z.load(s + cb - kPiece);
    a.store(d);
    z.store(d + cb - kPiece);
}

// Moves cb bytes like memmove. Rows of small blits are moved here, in two
// pieces of up to 64 bytes, which costs less than the library call.
inline void move_row(BYTE* d, const BYTE* s, size_t cb) {
    if (cb > 128 || cb < 8)
        std::memmove(d, s, cb);
    else if (cb > 64)
        move_two_pieces<64>(d, s, cb);
    else if (cb >= 32)
        move_two_pieces<32>(d, s, cb);
    else if (cb >= 16)
        move_two_pieces<16>(d, s, cb);
    else
        move_two_pieces<8>(d, s, cb);
}

// Row moves, away from the source when both are one bitmap (each move also
// keeps a row that overlaps itself right).
bool copy_draw(Blit& b, const RECTL& r) {
    const LONG rows = r.bottom - r.top;
    const size_t cbPixel = b.fDst->cBits / 8;
    const size_t cb = static_cast<size_t>(r.right - r.left) * cbPixel;
    const size_t xs = static_cast<size_t>(b.src.x(r.left + b.srcOff.x)) * cbPixel;
    const size_t xd = static_cast<size_t>(b.dst.x(r.left)) * cbPixel;
    for (LONG k = 0; k < rows; ++k) {
        const LONG y = b.bUp ? r.bottom - 1 - k : r.top + k;
        move_row(b.dst.row(y) + xd, b.src.row(y + b.srcOff.y) + xs, cb);
    }
    return true;
}

bool fill_applies(const Blit& b) {
    return !b.bMask && !b.bSrc && !b.bDst && b.pat == nullptr &&
           (b.fDst->cBits == 8 || b.fDst->cBits == 16 || b.fDst->cBits == 32);
}

// Narrow rectangles are filled row by row here; pixman_fill's set-up costs
// more than the stores of a few short rows, but its stores are the faster
// ones for wide rows.
constexpr size_t kPixmanFillRowBytes = 256;

// Fills r (view coordinates) of a bitmap whose rows start on whole pixels.
template <typename T>
void fill_rows(const SURFOBJ* pso, const RECTL& r, ULONG value) {
    const T t = static_cast<T>(value);
    const size_t n = static_cast<size_t>(r.right - r.left);
    for (LONG y = r.top; y < r.bottom; ++y) std::fill_n(reinterpret_cast<T*>(row_address(pso, y)) + r.left, n, t);
}

// Whether every row of a bitmap starts on a whole pixel of cb bytes.
bool rows_aligned(const SURFOBJ* pso, size_t cb) {
    return reinterpret_cast<std::uintptr_t>(pso->pvScan0) % cb == 0 && pso->lDelta % static_cast<LONG>(cb) == 0;
}

// Fills r (view coordinates, not empty) of a host bitmap of 8, 16 or 32 bits
// a pixel with one value; false when its rows do not start on whole pixels.
bool fill_area(SURFOBJ* pso, const RECTL& r, ULONG cBits, ULONG value) {
    if (!rows_aligned(pso, cBits / 8)) return false;
    const LONG cx = r.right - r.left, cy = r.bottom - r.top;
    if (static_cast<size_t>(cx) * (cBits / 8) >= kPixmanFillRowBytes && rows_aligned(pso, 4)) {
        // pixman sees 32-bit words from the top row in memory: a bottom-up
        // bitmap is addressed from its last row, y flipped.
        const bool bUp = pso->lDelta < 0;
        auto* top = reinterpret_cast<uint32_t*>(bUp ? row_address(pso, pso->sizlBitmap.cy - 1) : static_cast<BYTE*>(pso->pvScan0));
        const int stride = (bUp ? -pso->lDelta : pso->lDelta) / 4;
        if (pixman_fill(top, stride, static_cast<int>(cBits), r.left, bUp ? pso->sizlBitmap.cy - r.top - cy : r.top, cx,
                        cy, value))
            return true;
    }
    switch (cBits) {
    case 8: fill_rows<std::uint8_t>(pso, r, value); break;
    case 16: fill_rows<std::uint16_t>(pso, r, value); break;
    default: fill_rows<std::uint32_t>(pso, r, value); break;
    }
    return true;
}

bool fill_draw(Blit& b, const RECTL& r) {
    const ULONG value = rop3_value(b.fg, b.iSolid, 0, 0) & all_ones(b.fDst->cBits);
    const RECTL rView{b.dst.x(r.left), r.top - b.dst.dy(), b.dst.x(r.right), r.bottom - b.dst.dy()};
    return fill_area(b.dst.pso(), rView, b.fDst->cBits, value);
}

struct FastPath {
    const char* what;
    bool (*applies)(const Blit&);
    bool (*draw)(Blit&, const RECTL&);  // false: the general path draws the rectangle
};

const FastPath kFastPaths[] = {
    {"source copy between equal formats", copy_applies, copy_draw},
    {"one value over the rectangle", fill_applies, fill_draw},
};

// --- preparation ------------------------------------------------------------

bool same_surface(const SURFOBJ* a, const SURFOBJ* b) {
    if (a == b) return true;
    if (is_device(a) || is_device(b))
        return is_device(a) && is_device(b) && a->dhsurf != nullptr && a->dhsurf == b->dhsurf;
    return same_pixels(a, b);
}

// A host view of an operand read by the blit: its own pixels, unless they
// share memory with the target's area in a way the row order cannot keep
// apart, then a copy.
bool open_operand(HostView& v, SURFOBJ* pso, const RECTL& rcl, const SURFOBJ* psoTrg,
                  const RECTL& rclTrg, bool bInPlace) {
    if (!is_device(pso) && !is_device(psoTrg) && !bInPlace &&
        host_pixels(pso) && host_pixels(psoTrg) && areas_overlap(pso, rcl, psoTrg, rclTrg))
        return v.open_copy(pso, rcl);
    return v.open(pso, rcl, true);
}

// --- small blits -------------------------------------------------------------

// Bytes a pixel of the formats the straight paths draw (8, 16 and 32 bits a
// pixel); 0 for any other format.
inline size_t whole_pixel_bytes(ULONG iFormat) {
    switch (iFormat) {
    case BMF_8BPP: return 1;
    case BMF_16BPP: return 2;
    case BMF_32BPP: return 4;
    default: return 0;
    }
}

// host_pixels for a bitmap of whole cbPixel-byte pixels, in line.
inline bool plain_bitmap(const SURFOBJ* pso, size_t cbPixel) {
    if (pso->iType != STYPE_BITMAP || pso->pvScan0 == nullptr || pso->sizlBitmap.cx <= 0 ||
        pso->sizlBitmap.cy <= 0)
        return false;
    const std::int64_t delta =
        pso->lDelta < 0 ? -static_cast<std::int64_t>(pso->lDelta) : pso->lDelta;
    return delta >=
           static_cast<std::int64_t>(pso->sizlBitmap.cx) * static_cast<std::int64_t>(cbPixel);
}

// First and one-past-last byte of area r (not empty) of a bitmap of whole
// cbPixel-byte pixels (areas_overlap's bytes).
[[gnu::always_inline]] inline void whole_area_bytes(const SURFOBJ* pso, const RECTL& r,
                                                    size_t cbPixel, std::uintptr_t* pLo,
                                                    std::uintptr_t* pHi) {
    const auto a = reinterpret_cast<std::uintptr_t>(row_address(pso, r.top));
    const auto b = reinterpret_cast<std::uintptr_t>(row_address(pso, r.bottom - 1));
    *pLo = std::min(a, b) + static_cast<std::uintptr_t>(r.left) * cbPixel;
    *pHi = std::max(a, b) + static_cast<std::uintptr_t>(r.right) * cbPixel;
}

// How many rows ahead of the row being moved a copy asks for its rows. The
// rows of a copy lie far apart in memory, each a fetch of its own: a few
// rows in flight keep the copy from waiting on each in turn, more crowd
// out the moves' own fetches.
constexpr LONG kPrefetchAhead = 4;
// Rows up to this many bytes are asked for line by line; the processor
// streams longer rows in by itself.
constexpr size_t kPrefetchRowBytes = 2048;

// Asks for the lines of a source row and of its target row.
inline void prefetch_rows(const BYTE* s, BYTE* d, size_t cb) {
    for (size_t o = 0; o < cb; o += 64) {
        __builtin_prefetch(s + o, 0);
        __builtin_prefetch(d + o, 1);
    }
    __builtin_prefetch(s + cb - 1, 0);
    __builtin_prefetch(d + cb - 1, 1);
}

// A plain copy (SRCCOPY, no translation) between two host bitmaps of one
// format of 8, 16 or 32 bits a pixel that share no memory, under no clip or
// a rectangle clip: the copy small drawings make most, drawn straight
// without the general preparation. It moves the rows the general path
// moves for it. False when the copy is not one of them. Kept out of line,
// so its code lies together, apart from the general path's.
[[gnu::noinline]] bool copy_simple(const BlitArgs& a) {
    const SURFOBJ* psoTrg = a.psoTrg;
    const SURFOBJ* psoSrc = a.psoSrc;
    if (psoSrc == nullptr || a.pptlSrc == nullptr || psoSrc->iBitmapFormat != psoTrg->iBitmapFormat)
        return false;
    // A trivial translation translates nothing (Translator::open), as none.
    if (a.pxlo != nullptr && (a.pxlo->flXlate & (XO_TRIVIAL | XO_TABLE)) != XO_TRIVIAL)
        return false;
    const size_t cbPixel = whole_pixel_bytes(psoTrg->iBitmapFormat);
    if (cbPixel == 0 || !plain_bitmap(psoTrg, cbPixel) || !plain_bitmap(psoSrc, cbPixel))
        return false;

    const RECTL& rclTrg = *a.prclTrg;
    const POINTL srcOff = point_offset(*a.pptlSrc, rclTrg);
    RECTL r = rect_intersect(rect_intersect(rclTrg, surface_rect(psoTrg)),
                             rect_offset_back(surface_rect(psoSrc), srcOff));
    if (!rect_empty(r) && a.pco != nullptr && a.pco->iDComplexity != DC_TRIVIAL) {
        if (a.pco->iDComplexity != DC_RECT) return false;
        r = rect_intersect(r, a.pco->rclBounds);
    }
    if (rect_empty(r)) return true;  // nothing to draw, as the general path finds

    const RECTL rclSrc = rect_offset(r, srcOff.x, srcOff.y);
    const LONG rows = r.bottom - r.top;
    const size_t cb = static_cast<size_t>(r.right - r.left) * cbPixel;
    const std::ptrdiff_t dS = psoSrc->lDelta, dD = psoTrg->lDelta;
    const BYTE* s = row_address(psoSrc, rclSrc.top) + static_cast<size_t>(rclSrc.left) * cbPixel;
    BYTE* d = row_address(psoTrg, r.top) + static_cast<size_t>(r.left) * cbPixel;
    // The first rows are asked for before the checks below: a small copy
    // waits on its fetches, not on its checks.
    const LONG ahead = cb <= kPrefetchRowBytes ? std::min(rows, kPrefetchAhead) : 0;
    for (LONG k = 0; k < ahead; ++k) prefetch_rows(s + k * dS, d + k * dD, cb);

    // Areas that may share memory are drawn by the general path, in the
    // order overlap needs.
    if (psoSrc == psoTrg || psoSrc->pvScan0 == psoTrg->pvScan0) return false;
    std::uintptr_t sLo, sHi, dLo, dHi;
    whole_area_bytes(psoSrc, rclSrc, cbPixel, &sLo, &sHi);
    whole_area_bytes(psoTrg, r, cbPixel, &dLo, &dHi);
    if (sLo < dHi && dLo < sHi) return false;

    for (LONG k = 0; k < rows; ++k, s += dS, d += dD) {
        if (ahead != 0 && k + ahead < rows) prefetch_rows(s + ahead * dS, d + ahead * dD, cb);
        move_row(d, s, cb);
    }
    ++a.psoTrg->iUniq;
    return true;
}

// Solid fills on a host bitmap under no clip or a rectangle clip, drawn
// without the general preparation (what they draw is what the fill fast
// path above draws for them). False when the blit is not one of them.
[[gnu::noinline]] bool fill_simple(const BlitArgs& a) {
    SURFOBJ* psoTrg = a.psoTrg;
    if (a.rop4 != 0xF0F0 || a.pbo == nullptr || a.pbo->iSolidColor == 0xFFFFFFFF) return false;
    const size_t cbPixel = whole_pixel_bytes(psoTrg->iBitmapFormat);
    if (cbPixel == 0 || !plain_bitmap(psoTrg, cbPixel)) return false;
    RECTL r = rect_intersect(*a.prclTrg, surface_rect(psoTrg));
    if (!rect_empty(r) && a.pco != nullptr && a.pco->iDComplexity != DC_TRIVIAL) {
        if (a.pco->iDComplexity != DC_RECT) return false;
        r = rect_intersect(r, a.pco->rclBounds);
    }
    if (rect_empty(r)) return true;  // nothing to draw, as the general path finds
    const ULONG cBits = static_cast<ULONG>(cbPixel * 8);
    if (!fill_area(psoTrg, r, cBits, a.pbo->iSolidColor & all_ones(cBits))) return false;
    ++psoTrg->iUniq;
    return true;
}

}  // namespace

BOOL blit(const BlitArgs& a) {
    if (a.psoTrg == nullptr || a.prclTrg == nullptr) return FALSE;
    if (a.rop4 == 0xCCCC ? copy_simple(a) : fill_simple(a)) return TRUE;
    Blit b;
    b.fg = a.rop4 & 0xFF;
    b.bg = (a.rop4 >> 8) & 0xFF;
    b.bMask = b.fg != b.bg;
    b.bSrc = rop3_reads_source(b.fg) || (b.bMask && rop3_reads_source(b.bg));
    b.bPat = rop3_reads_pattern(b.fg) || (b.bMask && rop3_reads_pattern(b.bg));
    b.bDst = rop3_reads_dest(b.fg) || (b.bMask && rop3_reads_dest(b.bg));
    b.fDst = pixel_format(a.psoTrg->iBitmapFormat);
    if (b.fDst == nullptr) return FALSE;

    const RECTL& rclTrg = *a.prclTrg;
    RECTL work = rect_intersect(rclTrg, surface_rect(a.psoTrg));
    if (b.bSrc) {
        if (a.psoSrc == nullptr || a.pptlSrc == nullptr || !b.xlate.open(a.pxlo)) return FALSE;
        b.bRuns = is_runs(a.psoSrc);
        b.fSrc = pixel_format(a.psoSrc->iBitmapFormat);
        if (b.fSrc == nullptr && !b.bRuns) return FALSE;
        b.srcOff = point_offset(*a.pptlSrc, rclTrg);
        work = rect_intersect(work, rect_offset_back(surface_rect(a.psoSrc), b.srcOff));
    }
    if (b.bPat || b.bMask) {
        if (a.pbo != nullptr && a.pbo->iSolidColor == 0xFFFFFFFF) b.pat = brush_pattern(a.pbo);
        if (a.pptlBrush != nullptr) b.brushOrg = *a.pptlBrush;
    }
    if (b.bPat) {
        if (a.pbo == nullptr || (a.pbo->iSolidColor == 0xFFFFFFFF && b.pat == nullptr)) return FALSE;
        b.iSolid = a.pbo->iSolidColor;
    }
    if (b.bMask) {
        if (a.psoMask != nullptr) {
            if (a.pptlMask == nullptr || a.psoMask->iBitmapFormat != BMF_1BPP) return FALSE;
            b.bMaskSurface = true;
            b.maskOff = point_offset(*a.pptlMask, rclTrg);
            work = rect_intersect(work, rect_offset_back(surface_rect(a.psoMask), b.maskOff));
        } else if (b.pat == nullptr || b.pat->mask.empty()) {
            return FALSE;  // a ROP4 with no mask to read
        }
    }
    if (rect_empty(work)) return TRUE;

    // Within one surface, enumerate and walk away from the source.
    const bool bInPlace = b.bSrc && same_surface(a.psoSrc, a.psoTrg);
    ULONG iDirection = CD_RIGHTDOWN;
    if (bInPlace) iDirection = (b.srcOff.x < 0 ? CD_LEFTDOWN : 0) | (b.srcOff.y < 0 ? CD_RIGHTUP : 0);
    b.bUp = (iDirection & CD_RIGHTUP) != 0;
    RectList rects;
    if (!clip_rects(a.pco, work, iDirection, rects)) return FALSE;
    if (rects.empty()) return TRUE;
    const RECTL bounds = rect_bounds(rects);

    // Where a run-length source has no pixel the target stays as it is.
    if (b.bRuns) {
        b.runs.rcl = rect_offset(bounds, b.srcOff.x, b.srcOff.y);
        if (!decode_runs(a.psoSrc, &b.runs)) return FALSE;
        b.bDst = true;
    }
    // A temporary of a device target is read first unless every pixel of it
    // is written.
    const bool bReadTarget = b.bDst || b.bMask || rects.size() > 1;
    if (!b.dst.open(a.psoTrg, bounds, bReadTarget)) return FALSE;
    if (b.bSrc && !b.bRuns && !open_operand(b.src, a.psoSrc, rect_offset(bounds, b.srcOff.x, b.srcOff.y),
                                a.psoTrg, bounds, bInPlace && !is_device(a.psoTrg)))
        return FALSE;
    if (b.bMaskSurface && !open_operand(b.mask, a.psoMask,
                                        rect_offset(bounds, b.maskOff.x, b.maskOff.y), a.psoTrg,
                                        bounds, false))
        return FALSE;

    const FastPath* fast = nullptr;
    for (const FastPath& f : kFastPaths) {
        if (f.applies(b)) {
            fast = &f;
            break;
        }
    }
    for (const RECTL& r : rects) {
        if (fast != nullptr && fast->draw(b, r)) continue;
        if (b.out.empty()) {
            const size_t width = static_cast<size_t>(bounds.right - bounds.left);
            for (auto* v : {&b.s, &b.p, &b.d, &b.m, &b.out, &b.out2}) v->resize(width);
        }
        draw_general(b, r);
    }
    if (!b.dst.commit()) return FALSE;
    ++a.psoTrg->iUniq;
    return TRUE;
}

}  // namespace vnx::engine

extern "C" BOOL EngBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                          XLATEOBJ* pxlo, RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask,
                          BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4) {
    if (vnx::faults::should_fail("EngBitBlt")) return FALSE;
    return vnx::engine::blit(vnx::engine::BlitArgs{psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg,
                                                   pptlSrc, pptlMask, pbo, pptlBrush, rop4});
}
