// Block copies carried out into board memory (command 0x2000C26: rectangles
// of at most 8x8 pixels, four constants per packet and per primitive). The
// packet's first three instructions are the block copy's set-up (opcodes 31
// and 49); the rest is a program of opcodes 0-8 that reads the source
// sample in register 12, run by the span engine row by row. Each block
// pixel's source offset comes from the copy-address table, which a packet of
// its own loads into the rasterizer. The rules are in platform/board.h
// ("Execution", block copies).
#include <algorithm>
#include <cstring>

#include "exec.h"

namespace vnx::board::exec {

namespace {

constexpr std::uint32_t kClipBit = instr::kClip;
constexpr std::uint32_t kMaskBits = instr::kMaskBit | instr::kMaskClear;  // no mask conditions here
constexpr std::uint32_t kSetup0 = 0x001126DFu;
constexpr std::uint32_t kSetup1 = 0x001C0331u;  // phase in bits 11-16
constexpr std::uint32_t kPhaseBits = 0x3Fu << 11;
constexpr std::uint32_t kSetup2 = 0x00132F1Fu;
constexpr std::size_t kSetupWords = 3;
constexpr int kBlock = 8;

bool setup_ok(const std::vector<std::uint32_t>& in) {
    return in.size() > kSetupWords && (in[0] & ~kClipBit) == kSetup0 &&
           (in[1] & ~(kClipBit | kPhaseBits)) == kSetup1 && (in[2] & ~kClipBit) == kSetup2 &&
           std::none_of(in.begin() + kSetupWords, in.end(),
                        [](std::uint32_t w) { return (w & kMaskBits) != 0; });
}

// The source words carry the phase's low bits below the source's 8-pixel
// grid: x bits 4-5, y bit 4, nothing else.
bool phase_ok(const std::uint32_t* w, std::int64_t phX, std::int64_t phY) {
    return (w[0] & 0x3Fu) == static_cast<std::uint32_t>((phX & 3) << 4) &&
           (w[1] & 0x1Fu) == static_cast<std::uint32_t>((phY & 1) << 4);
}

// The instruction of the table's load: pixmap 13 into register 8.
constexpr std::uint32_t kTableLoad = 0x001A0208u;

// The source offset of a block pixel whose phase-shifted position is v
// (0-7), read from the copy-address table: words v and 8 + v hold the low
// bit (in bit 6) and the two high bits (in bits 5-6) of the offset.
std::int64_t table_offset(const std::array<std::uint32_t, 16>& t, std::int64_t v) {
    return (((t[v] >> 6) & 1u) + ((t[8 + v] >> 4) & 6u)) & 7u;
}

// A block row's source pixels in block order: pixel x of the block takes
// the source row's pixel off[(x + phase) & 7].
template <std::size_t kBytes>
void gather(std::uint8_t* out, const std::uint8_t* row, std::int64_t x0, std::int64_t x1, std::int64_t phX,
            const std::int64_t* off) {
    for (std::int64_t x = x0; x < x1; ++x)
        std::memcpy(out + (x - x0) * kBytes, row + off[(x + phX) & 7] * kBytes, kBytes);
}

// Whether the program only moves the sample into the destination (an
// unconditional or clipped MOVE 12 -> 13) between pixmaps of one format
// whose stores keep the whole pixel: then every written pixel is the source
// pixel as stored (the format's conversions to and from registers undo each
// other), and the block is moved as bytes. Read from the program's words
// (after the set-up's): one instruction whose opcode, destination and A
// field are MOVE, 13 and 12 compiles to that move whatever its B field (a
// move reads A only); mask bits are refused with the set-up.
bool plain_copy(const std::vector<std::uint32_t>& in, std::uint16_t pidDst, std::uint16_t pidSrc) {
    if (in.size() != kSetupWords + 1 || (pidDst >> 13) != (pidSrc >> 13) || pixel_format_of_pid(pidDst).topByteOnly)
        return false;
    const std::uint32_t w = in[kSetupWords];
    return instr::opcode(w) == kOpMove && instr::a(w) == 12 && instr::dst(w) == 13;
}

// n bytes (at most 32) from s to d, which lie apart: two moves of the
// largest power of two that fits, overlapping in the middle.
inline void copy_small(std::uint8_t* d, const std::uint8_t* s, std::size_t n) {
    if (n >= 16) {
        std::memcpy(d, s, 16);
        std::memcpy(d + n - 16, s + n - 16, 16);
    } else if (n >= 8) {
        std::memcpy(d, s, 8);
        std::memcpy(d + n - 8, s + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(d, s, 4);
        std::memcpy(d + n - 4, s + n - 4, 4);
    } else if (n >= 2) {
        std::memcpy(d, s, 2);
        std::memcpy(d + n - 2, s + n - 2, 2);
    } else if (n == 1) {
        *d = *s;
    }
}

// The block [a.x0, a.x1) x [a.y0, a.y1) of a plain copy: raw holds each
// row's source pixels as stored, in block order from x0's sample on. The
// block is written a tile at a time (the rows of one tile lie in one page,
// at the page's pitch), within the clip pair when the move is clipped.
void move_block(const SpanContext& c, PageCursor& dst, const PixelArea& a, const std::uint8_t (*raw)[kBlock * 4],
                std::uint32_t bpp, bool clip) {
    const Rasterizer& ras = c.board->rasterizers[c.r];
    std::int64_t x0 = a.x0, y0 = a.y0, x1 = a.x1, y1 = a.y1;
    if (clip && c.hasClip) {
        x0 = std::max(x0, c.clipX0);
        y0 = std::max(y0, c.clipY0);
        x1 = std::min(x1, c.clipX1);
        y1 = std::min(y1, c.clipY1);
    }
    const std::size_t pitch = std::size_t{c.board->pageWidth[bpp]} * bpp;
    for (std::int64_t ty = y0; ty < y1;) {
        const std::int64_t tyEnd = std::min(y1, (ty / kTile + 1) * kTile);
        for (std::int64_t tx = x0; tx < x1;) {
            const std::int64_t txEnd = std::min(x1, (tx / kTile + 1) * kTile);
            std::uint32_t size = 0;
            std::int64_t run = 0;
            std::uint8_t* d = owns(ras, tx, ty) ? dst.pixel(tx >= c.xScreen ? tx - c.xScreen : tx, ty, &size, &run)
                                                : nullptr;
            if (d != nullptr) {
                const std::size_t bytes = static_cast<std::size_t>(std::min(run, txEnd - tx)) * bpp;
                const std::uint8_t* s = raw[ty - a.y0] + (tx - a.x0) * bpp;
                for (std::int64_t y = ty; y < tyEnd; ++y, d += pitch, s += sizeof raw[0]) copy_small(d, s, bytes);
            }
            tx = txEnd;
        }
        ty = tyEnd;
    }
}

// The source block of a primitive's words: constants 0 and 1 with their
// low seven bits cleared, read as 28.4 (an x on an 8-pixel boundary, so
// each of the block's rows lies in one page).
struct SourceCorner {
    std::int64_t x, y;
};
SourceCorner source_corner(const std::uint32_t* w) {
    return SourceCorner{static_cast<std::int64_t>(w[0] & ~0x7Fu) >> 4, static_cast<std::int64_t>(w[1] & ~0x7Fu) >> 4};
}

// Pixels of one pid looked up ahead of their use, to ask memory for them:
// Impl::peek_pixel (which changes nothing a lookup would), the page of the
// last answer kept as a PageCursor keeps it.
class PagePeek {
public:
    PagePeek(Impl& board, int r, std::uint16_t pid)
        : board_(board), r_(r), pid_(pid), bpp_(pixel_format_of_pid(pid).bytesPerPixel) {}
    std::size_t pitch() const { return std::size_t{board_.pageWidth[bpp_]} * bpp_; }
    // Pixel (x, y), or null; *rows gets the rows from y to the page's end.
    const std::uint8_t* pixel(std::int64_t x, std::int64_t y, std::int64_t* rows) {
        if (x < x0_ || x >= x1_ || y < y0_ || y >= y1_) {
            const std::uint8_t* p = board_.peek_pixel(r_, pid_, x, y);
            if (p == nullptr) return nullptr;
            const std::int64_t w = board_.pageWidth[bpp_], h = board_.pageHeight[bpp_];  // powers of two
            x0_ = x & ~(w - 1);
            y0_ = y & ~(h - 1);
            x1_ = x0_ + w;
            y1_ = y0_ + h;
            origin_ = p - static_cast<std::size_t>(y - y0_) * pitch() - static_cast<std::size_t>(x - x0_) * bpp_;
        }
        *rows = y1_ - y;
        return origin_ + static_cast<std::size_t>(y - y0_) * pitch() + static_cast<std::size_t>(x - x0_) * bpp_;
    }

private:
    Impl& board_;
    int r_;
    std::uint16_t pid_;
    std::uint32_t bpp_;
    std::int64_t x0_ = 0, y0_ = 0, x1_ = 0, y1_ = 0;  // the page's pixels (empty: none yet)
    const std::uint8_t* origin_ = nullptr;
};

// A block primitive's destination area; false when the primitive is not a
// block, or when its source words are out of phase (the board is told).
inline bool block_area(Impl& board, int r, const DecodedPacket& packet, const std::uint32_t* w, std::size_t wpp,
                       std::int64_t phX, std::int64_t phY, PixelArea* a) {
    *a = corner_area(w + wpp - 4);
    if (a->x1 - a->x0 > kBlock || a->y1 - a->y0 > kBlock) return false;
    if (!phase_ok(w, phX, phY)) {
        board.error(r, packet.bus, "block copy source words do not match the phase");
        return false;
    }
    return true;
}

// Asks memory for `rows` rows of `bytes` bytes from p on, a pitch apart.
void ask_rows(const std::uint8_t* p, std::int64_t rows, std::size_t bytes, std::size_t pitch) {
    for (std::int64_t k = 0; k < rows; ++k, p += pitch) {
        __builtin_prefetch(p);
        if (((reinterpret_cast<std::uintptr_t>(p) & 63u) + bytes) > 64u) __builtin_prefetch(p + bytes - 1);
    }
}

// Blocks a plain copy asks memory for ahead of the one it moves, so that
// their fetches overlap the blocks in between.
constexpr std::size_t kBlocksAhead = 4;

// The blocks of a plain copy (plain_copy): each block's source rows as
// stored into `raw`, then moved to the destination. With the driver's
// table (every offset its own position) a block's row is one run of the
// source row, read at once; another table's offsets are gathered pixel by
// pixel.
bool copy_plain_blocks(Impl& board, int r, const DecodedPacket& packet, const SpanContext& c, const std::int64_t* off,
                       std::int64_t phX, std::int64_t phY, bool clip) {
    const std::uint16_t pidSrc = pid_of(packet, 1), pidDst = pid_of(packet, 0);
    const std::uint32_t bpp = pixel_format_of_pid(pidSrc).bytesPerPixel;
    const std::size_t pitch = std::size_t{board.pageWidth[bpp]} * bpp;
    const std::size_t wpp = packet.wordsPerPrimitive;
    bool identity = true;
    for (int v = 0; v < kBlock; ++v) identity = identity && off[v] == v;
    // A later block's source rows (one page holds them).
    PagePeek srcAhead(board, r, pidSrc);
    auto ask = [&](std::size_t i) {
        if (i >= packet.primitives) return;
        const SourceCorner s = source_corner(&packet.primitiveWords[i * wpp]);
        std::int64_t rows = 0;
        if (const std::uint8_t* p = srcAhead.pixel(s.x, s.y, &rows)) ask_rows(p, kBlock, kBlock * bpp, pitch);
    };
    // A packet of no more blocks than are asked for ahead would ask for
    // each block just before moving it: no fetch would overlap anything.
    const bool askAhead = packet.primitives > kBlocksAhead;
    if (askAhead)
        for (std::size_t i = 0; i < kBlocksAhead; ++i) ask(i);

    const Rasterizer& ras = board.rasterizers[r];
    const bool clipped = clip && c.hasClip;
    std::uint8_t raw[kBlock][kBlock * 4];
    PageCursor src(board, r, pidSrc, false), dst(board, r, pidDst);
    for (std::size_t i = 0; i < packet.primitives; ++i) {
        if (askAhead) ask(i + kBlocksAhead);
        const std::uint32_t* w = &packet.primitiveWords[i * wpp];
        PixelArea a;
        if (!block_area(board, r, packet, w, wpp, phX, phY, &a)) return false;
        // The whole block's source pixels are read before any pixel of it
        // is written. The source block's rows lie in one page (its y is on
        // an 8-row boundary, the offsets are below 8).
        const SourceCorner s = source_corner(w);
        std::uint32_t size = 0;
        const std::uint8_t* p0 = src.pixel(s.x, s.y, &size);
        const std::int64_t first = (a.x0 + phX) & 7;  // the run's first source pixel
        const bool run = identity && first + (a.x1 - a.x0) <= kBlock;
        if (run && p0 != nullptr) {
            // The written part of a block inside one tile (one page, one
            // owner): its source rows are read as runs into `raw`, then
            // written row by row at the page's pitch.
            PixelArea v = a;
            if (clipped) {
                v.x0 = std::max(v.x0, c.clipX0);
                v.y0 = std::max(v.y0, c.clipY0);
                v.x1 = std::min(v.x1, c.clipX1);
                v.y1 = std::min(v.y1, c.clipY1);
            }
            if (v.x0 >= v.x1 || v.y0 >= v.y1) continue;
            if (v.x0 / kTile == (v.x1 - 1) / kTile && v.y0 / kTile == (v.y1 - 1) / kTile) {
                if (!owns(ras, v.x0, v.y0)) continue;
                std::uint8_t* d = dst.pixel(v.x0 >= c.xScreen ? v.x0 - c.xScreen : v.x0, v.y0, &size);
                if (d == nullptr) continue;
                const std::size_t bytes = static_cast<std::size_t>(v.x1 - v.x0) * bpp;
                const std::uint8_t* sp = p0 + static_cast<std::size_t>(first + (v.x0 - a.x0)) * bpp;
                for (std::int64_t y = v.y0; y < v.y1; ++y)
                    copy_small(raw[y - v.y0], sp + static_cast<std::size_t>(off[(y + phY) & 7]) * pitch, bytes);
                for (std::int64_t y = v.y0; y < v.y1; ++y, d += pitch) copy_small(d, raw[y - v.y0], bytes);
                continue;
            }
        }
        for (std::int64_t y = a.y0; y < a.y1; ++y) {
            std::uint8_t* out = raw[y - a.y0];
            if (p0 == nullptr) {
                std::memset(out, 0, sizeof raw[0]);
                continue;
            }
            const std::uint8_t* p = p0 + static_cast<std::size_t>(off[(y + phY) & 7]) * pitch;
            if (run) {
                copy_small(out, p + first * bpp, static_cast<std::size_t>(a.x1 - a.x0) * bpp);
                continue;
            }
            switch (bpp) {
            case 1: gather<1>(out, p, a.x0, a.x1, phX, off); break;
            case 2: gather<2>(out, p, a.x0, a.x1, phX, off); break;
            default: gather<4>(out, p, a.x0, a.x1, phX, off); break;
            }
        }
        move_block(c, dst, a, raw, bpp, clip);
    }
    return true;
}

}  // namespace

bool is_copy_table_load(const DecodedPacket& packet) {
    return packet.instructions.size() == 1 && packet.instructions[0] == kTableLoad;
}

bool load_copy_table(Impl& board, int r, const DecodedPacket& packet) {
    Rasterizer& ras = board.rasterizers[r];
    const std::uint16_t pid = pid_of(packet, 0);
    const std::size_t wpp = packet.wordsPerPrimitive;
    if (wpp < 4) return false;
    // The same load again, from pixels that still hold what it read, into
    // a table that still holds what it loaded, would change nothing.
    LoadMemo& memo = ras.tableLoad;
    if (board.fastPaths && repeats_load(board, ras, memo, packet) && memo.table == ras.copyTable) return true;
    const bool keep = (pid & 0x40u) == 0;  // a tile pid latches the tile's origin
    memo.valid = false;
    memo.count = 0;
    bool kept = keep;
    auto note = [&](const std::uint8_t* p, int n, std::uint32_t bpp) {
        if (!kept || memo.count + static_cast<std::size_t>(n) > LoadMemo::kPixels) {
            kept = false;
            return;
        }
        for (int k = 0; k < n; ++k) memo.pixel[memo.count++] = p + k * bpp;
    };
    const PixelFormat& format = pixel_format_of_pid(pid);
    PageCursor cursor(board, r, pid);
    for (std::size_t i = 0; i < packet.primitives; ++i) {
        const PixelArea a = corner_area(packet.primitiveWords.data() + (i + 1) * wpp - 4);
        if (!owns(ras, a.x0, a.y0)) continue;
        // Row by row: the four words of a row at once when they lie in one
        // page.
        for (int row = 0; row < 4; ++row) {
            std::uint32_t* t = &ras.copyTable[4 * row];
            std::uint32_t bpp = 0;
            std::int64_t run = 0;
            const std::uint8_t* p = cursor.pixel(a.x0, a.y0 + row, &bpp, &run);
            if (p != nullptr && run >= 4) {
                format.load(p, 4, t);
                note(p, 4, bpp);
                continue;
            }
            for (int k = 0; k < 4; ++k) {
                p = cursor.pixel(a.x0 + k, a.y0 + row, &bpp);
                t[k] = 0;
                if (p != nullptr) {
                    format.load(p, 1, &t[k]);
                    note(p, 1, bpp);
                }
            }
        }
    }
    if (kept) {
        keep_load(board, ras, &memo, packet, pid);
        memo.table = ras.copyTable;
    }
    return true;
}

bool copy_blocks(Impl& board, int r, const DecodedPacket& packet) {
    const auto& in = packet.instructions;
    if (!setup_ok(in)) return false;
    // A plain copy needs no program: only the move's clip bit.
    const bool plain = board.fastPaths && plain_copy(in, pid_of(packet, 0), pid_of(packet, 1));
    Program program;
    SpanContext c;  // set by packet_context
    if (plain)
        span_context(board, r, packet, &program, &c);
    else if (!packet_context(board, r, packet, kSetupWords, &program, &c))
        return false;
    const std::uint32_t phase = (in[1] & kPhaseBits) >> 11;
    const std::int64_t phX = phase & 7, phY = phase >> 3;
    const std::uint16_t pidSrc = pid_of(packet, 1);
    const PixelFormat& fmtSrc = pixel_format_of_pid(pidSrc);
    const std::size_t wpp = packet.wordsPerPrimitive;
    if (wpp < 8) return false;
    // Each block pixel's source offset (0-7) from its phase-shifted
    // position, as the rasterizer's copy-address table gives it.
    std::int64_t off[kBlock];
    for (int v = 0; v < kBlock; ++v) off[v] = table_offset(board.rasterizers[r].copyTable, v);

    if (plain) return copy_plain_blocks(board, r, packet, c, off, phX, phY, (in[kSetupWords] & kClipBit) != 0);

    const DataWords d = data_words(packet, fields_of(packet.command));
    std::uint32_t sample[kBlock][kBlock];
    for (std::size_t i = 0; i < packet.primitives; ++i) {
        const std::uint32_t* w = &packet.primitiveWords[i * wpp];
        PixelArea a;
        if (!block_area(board, r, packet, w, wpp, phX, phY, &a)) return false;
        const SourceCorner s = source_corner(w);
        load_data(packet, d, i, &c);

        // The whole block's source samples are read before any pixel of it
        // is written. On the second screen the source x is already that
        // screen's own x.
        for (std::int64_t y = a.y0; y < a.y1; ++y) {
            std::uint32_t row[kBlock] = {};
            std::uint32_t bpp = 0;
            if (const std::uint8_t* p = board.page_pixel(r, pidSrc, s.x, s.y + off[(y + phY) & 7], &bpp, nullptr, false))
                fmtSrc.load(p, kBlock, row);
            for (std::int64_t x = a.x0; x < a.x1; ++x) sample[y - a.y0][x - a.x0] = row[off[(x + phX) & 7]];
        }
        const BlockSample blockSample{sample, a.x0, a.y0};
        c.sample = &blockSample;
        run_area(c, a.x0, a.y0, a.x1, a.y1);
    }
    return true;
}

}  // namespace vnx::board::exec
