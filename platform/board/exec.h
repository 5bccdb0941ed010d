// Inside of the board model's executor: what the files that carry packets
// out into board memory share. executor.cpp holds the one table that says
// which function carries out which kind of packet; each exec_*.cpp file holds
// the functions of one family of packets (exec_2d.cpp: the 2D drawing
// packets; exec_transfer.cpp: host transfers; exec_3d.cpp and exec_3d_line.cpp:
// polygons and lines under render programs; exec_stipple.cpp: the stipple
// cell load). The rules the executor follows where the driver's words
// leave the board's behaviour open are written in platform/board.h
// ("Execution"), and for polygons in render3d.h.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>

#include "board_impl.h"
#include "formats.h"
#include "kzuinstr.h"

namespace vnx::board::exec {

using Impl = Board::Impl;

// Carries one decoded packet out on rasterizer r (under the board's lock).
// Answers false when the packet holds something the model does not carry out
// (it is then counted in StreamSummary::unexecuted and leaves memory as it
// was).
using ExecuteFn = bool (*)(Impl& board, int r, const DecodedPacket& packet);

// Runs the executor table's function for the packet, if a row matches.
void execute(Impl& board, int r, const DecodedPacket& packet);

// --- rows of exec_2d.cpp: the 2D drawing packets ---------------------------------
// Rectangles (primitive class 6) under a program of opcodes 0-8, the mask
// bits taken from the rasterizer's mask pattern or the primitive's own rows.
bool draw_rectangles(Impl& board, int r, const DecodedPacket& packet);
// Points (primitive class 0): one pixel each, the program run there.
bool draw_points(Impl& board, int r, const DecodedPacket& packet);
// The monochrome pattern load (per-packet mask words, points): loads the
// rasterizer's mask pattern.
bool load_mask_pattern(Impl& board, int r, const DecodedPacket& packet);

// Runs the packet's program over spans: spans(i, emit) calls emit(x0, y, x1)
// for each span [x0, x1) of row y that primitive i covers (each primitive's
// data registers loaded first). False for a program the model does not run.
using SpanEmit = std::function<void(std::int64_t x0, std::int64_t y, std::int64_t x1)>;
bool run_primitive_spans(Impl& board, int r, const DecodedPacket& packet,
                         const std::function<void(std::size_t, const SpanEmit&)>& spans);

// --- rows of exec_stipple.cpp: the stipple cell load ---------------------------------
// Rectangles (0x086: mask data 0x080) drawn under the packet's sixteen cell
// rows, each rectangle's rows counted from its own first pixel
// (platform/board.h, "Stipple cells").
bool load_stipple_cells(Impl& board, int r, const DecodedPacket& packet);

// --- rows of exec_line.cpp: line primitives ---------------------------------------
// Lines (class 12 with the line flag, 0x03C): two signed 28.4 end points a
// primitive, drawn by the cosmetic-line rule (platform/board.h, "Lines").
bool draw_lines(Impl& board, int r, const DecodedPacket& packet);

// --- rows of exec_transfer.cpp: host transfers ------------------------------------
// The DMA engine's row transfers (transfer packets): each record moves one
// row between DMA memory and a pixmap; kind-0 records (queue close records)
// are left to the DMA engine.
bool transfer_rows(Impl& board, int r, const DecodedPacket& packet);
// The 1-bit expansion (0x326): rectangles each carrying sixteen mask rows,
// drawn as two-colour rectangles under their own rows.
bool expand_cells(Impl& board, int r, const DecodedPacket& packet);

// --- rows of exec_copy.cpp: on-board copies ------------------------------------------
// Block copies (0xC26): the block copy's set-up instructions, then a program
// of opcodes 0-8 reading the block's source sample in register 12.
bool copy_blocks(Impl& board, int r, const DecodedPacket& packet);
// The copy-address table's load (0x006 with the one instruction "pixmap 13
// into register 8"): the 4 x 4 words at each square's first pixel.
bool is_copy_table_load(const DecodedPacket& packet);
bool load_copy_table(Impl& board, int r, const DecodedPacket& packet);

// --- rows of exec_glyph.cpp: primitives with their own mask rows --------------------
// Glyphs (0x332): each primitive's sixteen mask rows over the band between
// its left and right edge words, half its height above and below the centre.
bool draw_glyphs(Impl& board, int r, const DecodedPacket& packet);
// Draws each primitive of a packet whose primitives start with eight mask
// words as a two-colour rectangle under those rows; corners() gives the
// rectangle's four corner words from the primitive's words.
bool draw_cells(Impl& board, int r, const DecodedPacket& packet,
                void (*corners)(const std::uint32_t* prim, std::uint32_t* corner));

// --- shared by the executors ---------------------------------------------------------

// Whether the packet repeats the load m kept (words, page mapping, tile
// ownership, the space's recorded format) with every pixel it touched still
// holding the bytes kept: carrying it out again would change nothing.
bool repeats_load(const Impl& board, const Rasterizer& ras, const LoadMemo& m, const DecodedPacket& packet);
// Keeps the load of `packet` (pixels of pid, m->pixel[0 .. m->count - 1]
// set by the caller) just carried out on ras into m.
void keep_load(const Impl& board, const Rasterizer& ras, LoadMemo* m, const DecodedPacket& packet, std::uint16_t pid);

// The fields of a program's instruction word (platform/board.h, "Programs"),
// read with the render programs' one description of them (kzuinstr.h).
namespace instr {
inline std::uint32_t opcode(std::uint32_t w) { return kzuOpcode(w); }  // bits 0-5
inline std::uint32_t dst(std::uint32_t w) { return kzuR(w); }          // bits 6-10
inline std::uint32_t b(std::uint32_t w) { return kzuB(w); }            // bits 11-16
inline std::uint32_t a(std::uint32_t w) { return kzuA(w); }            // bits 17-22
constexpr std::uint32_t kMaskBit = 1u << 25;    // write only under a mask condition
constexpr std::uint32_t kMaskClear = 1u << 27;  // ... where the mask bit is clear
constexpr std::uint32_t kClip = 1u << 28;       // the clip pair applies to the write
}  // namespace instr

// The opcodes of a program's instructions (bits 0-5): A op B on 32-bit
// register values; NOT and MOVE read A only.
enum Opcode : std::uint8_t {
    kOpAnd = 0,
    kOpOr = 1,
    kOpXor = 2,
    kOpNor = 3,
    kOpNand = 4,
    kOpAndNot = 5,  // A AND NOT B
    kOpOrNot = 6,   // A OR NOT B
    kOpNot = 7,     // NOT A
    kOpMove = 8,    // A
    kOpCount = 9,
};
inline bool unary(std::uint32_t op) { return op == kOpNot || op == kOpMove; }
// What an opcode makes of one pair of values.
inline std::uint32_t alu(std::uint32_t op, std::uint32_t a, std::uint32_t b) {
    switch (op) {
    case kOpAnd: return a & b;
    case kOpOr: return a | b;
    case kOpXor: return a ^ b;
    case kOpNor: return ~(a | b);
    case kOpNand: return ~(a & b);
    case kOpAndNot: return a & ~b;
    case kOpOrNot: return a | ~b;
    case kOpNot: return ~a;
    default: return a;  // kOpMove
    }
}

// Whether rasterizer r owns the tile of pixel (x, y) (coordinates of any
// pid's space; the 4x4 tile pattern repeats every 512 pixels).
inline bool owns(const Rasterizer& ras, std::int64_t x, std::int64_t y) {
    const std::uint32_t t = static_cast<std::uint32_t>(((y >> 7) & 3) * 4 + ((x >> 7) & 3));
    return (ras.tileOwner >> (16 + t)) & 1u;
}

// The 28.4 position word of a vertex: x in bits 0-15, y in bits 16-31,
// each a signed 16-bit coordinate, as the line engine's end points are
// (render3d.h, "Coverage"): a GL window at the screen's left or top edge
// has its window edge half a pixel before the first column, at -8, and
// what it clips there, or a point beside it, lies at negative coordinates.
inline std::int64_t fixed_x(std::uint32_t w) { return static_cast<std::int16_t>(w & 0xFFFFu); }
inline std::int64_t fixed_y(std::uint32_t w) { return static_cast<std::int16_t>(w >> 16); }

// First pixel whose centre lies at or after the 28.4 coordinate v.
inline std::int64_t first_pixel(std::int64_t v) { return (v + 7) >> 4; }

// A pixel area [x0, x1) x [y0, y1).
struct PixelArea {
    std::int64_t x0, y0, x1, y1;
};

// The pixels whose centres lie inside the bounding box of four corner
// position words.
inline PixelArea corner_area(const std::uint32_t* corner) {
    std::int64_t x0 = fixed_x(corner[0]), x1 = x0, y0 = fixed_y(corner[0]), y1 = y0;
    for (int v = 1; v < 4; ++v) {
        x0 = std::min(x0, fixed_x(corner[v]));
        x1 = std::max(x1, fixed_x(corner[v]));
        y0 = std::min(y0, fixed_y(corner[v]));
        y1 = std::max(y1, fixed_y(corner[v]));
    }
    return PixelArea{first_pixel(x0), first_pixel(y0), first_pixel(x1), first_pixel(y1)};
}

// Where the per-packet and per-primitive words of a drawing packet lie, from
// its command word (the same rules as the decoder's, platform/board.h).
struct Fields {
    std::uint32_t packetConstants = 0;  // constants-format words per packet
    std::uint32_t primConstants = 0;    // ... per primitive
    std::uint32_t packetMask = 0;       // mask words per packet
    std::uint32_t primMask = 0;         // mask words per primitive
    std::uint32_t loadKind[4] = {};     // registers 27-30: KZU_LOAD_NONE .. KZU_LOAD_VERTEX
};
Fields fields_of(std::uint32_t command);

// How a drawing packet loads data register 27 + reg: the load kind of its
// command word, numbered as the GL micro-code generator numbers it
// (kzuinstr.h) for every primitive class: 0 none, 1 per packet, 2 per
// primitive, 3 per vertex.
constexpr std::uint32_t load_of(std::uint32_t command, int reg) {
    return (command >> (12 + 2 * reg)) & 3;
}

// The value of data register 27 + i for vertex v of primitive `prim`, or
// false when the packet does not load it.
bool data_register(const DecodedPacket& packet, const Fields& f, std::uint32_t i,
                   std::size_t prim, std::size_t v, std::uint32_t* value);

// --- the span engine (exec_2d.cpp) ------------------------------------------------------
// A primitive is cut into spans: pixels of one row inside one 128-pixel
// tile, so a span lies inside one page of board memory and belongs to one
// rasterizer. A program runs over a whole span at once, one instruction after
// the other on arrays of register values.

constexpr int kTile = 128;  // pixels of a tile's side: the longest span
constexpr int kSlots = 12;  // register array rows: 0, 8-14, 27-30

// Mask conditions of an instruction (bits 25 and 27).
enum class MaskCond : std::uint8_t { None, Set, Clear };

struct Instr {
    std::uint8_t op;
    std::uint8_t dst, a, b;  // register array rows
    bool clip;               // bit 28
    MaskCond mask;
};

struct Program {
    Instr ins[32];
    int n = 0;
    bool reads[kSlots] = {};
    bool writes[kSlots] = {};
    bool usesMask = false;
    // Reads nothing that changes from pixel to pixel (no pixmap, pattern or
    // mask) and keeps only register 13 (set by compile).
    bool uniform = false;
};

// Decodes n instruction words; false when one uses an opcode or register the
// model does not carry out.
bool compile(const std::uint32_t* words, std::size_t n, Program* p);

// DecodedPacket::pid without the call: 16-bit pixmap id i, 0 past the
// packet's pid words.
inline std::uint16_t pid_of(const DecodedPacket& packet, std::size_t i) {
    if (i / 2 >= packet.pids.size()) return 0;
    const std::uint32_t w = packet.pids[i / 2];
    return static_cast<std::uint16_t>(i % 2 == 0 ? w & 0xFFFF : w >> 16);
}

// Mask rows of a primitive: bit at (x, y) = bit 15 - ((x - x0) & 15) of
// rows[(y - y0) & 15].
struct MaskRows {
    const std::uint16_t* rows = nullptr;
    std::int64_t x0 = 0, y0 = 0;
};

// A block copy's source samples: register 12 at (x, y) reads
// values[y - y0][x - x0].
struct BlockSample {
    const std::uint32_t (*values)[8];
    std::int64_t x0, y0;
};

// What one primitive's spans share.
struct SpanContext {
    Impl* board;
    int r;
    const Program* program;
    std::uint16_t pid[2];          // pixmaps of registers 13 and 14
    std::uint32_t data[4];         // registers 27-30
    bool hasClip;
    std::int64_t clipX0, clipY0, clipX1, clipY1;  // clipX1 and clipY1 excluded
    MaskRows mask;
    std::int64_t xScreen;          // desktop x of the screen's x 0 (split boards)
    // Block copies: register 12 reads the block's samples instead of the
    // pattern register, and only register 13 is written back (writes to 12
    // and 14 stay within the pixel).
    const BlockSample* sample;
    // Every pixel of the area, owned tile or not (a stipple cell load into a
    // tile pid, which every rasterizer keeps whole).
    bool anyTile;
};

// The parts of a span context every primitive of a packet shares, the
// program compiled from the packet's instructions from `firstInstruction`
// on; false for a program the model does not carry out.
bool packet_context(Impl& board, int r, const DecodedPacket& packet, std::size_t firstInstruction,
                    Program* program, SpanContext* c);
// packet_context's span context for a program compiled (or known) already.
void span_context(Impl& board, int r, const DecodedPacket& packet, const Program* program, SpanContext* c);
// Where data registers 27-30 of a packet's primitives (their first
// vertex) come from, found once a packet: data_register's answers without
// its search.
struct DataWords {
    bool perPrimitive[4] = {};  // the primitive's word `at`
    std::size_t at[4] = {};
    std::uint32_t value[4] = {};  // else this (a per-packet word, or 0)
    // Register 27 + k of primitive `prim`.
    std::uint32_t read(const DecodedPacket& packet, int k, std::size_t prim) const {
        if (!perPrimitive[k]) return value[k];
        const std::size_t w = prim * packet.wordsPerPrimitive + at[k];
        return w < packet.primitiveWords.size() ? packet.primitiveWords[w] : 0u;
    }
};
DataWords data_words(const DecodedPacket& packet, const Fields& f);
// Loads data registers 27-30 for primitive `prim` (its first vertex).
void load_data(const DecodedPacket& packet, const DataWords& d, std::size_t prim, SpanContext* c);
// Runs the program over the pixels [x0, x1) x [y0, y1) that the rasterizer
// owns (all of them with c.anyTile).
void run_area(const SpanContext& c, std::int64_t x0, std::int64_t y0, std::int64_t x1,
              std::int64_t y1);

// The page of the last pixel a cursor looked up (rasterizer r, pid):
// another pixel of the same page is found from it without a lookup. The
// page slots cannot change while a packet is carried out, so a cursor lives
// no longer than one packet.
class PageCursor {
public:
    // bWrite: the cursor's pixels are written (page_pixel's bWrite).
    PageCursor(Impl& board, int r, std::uint16_t pid, bool bWrite = true)
        : board_(board), r_(r), pid_(pid), bWrite_(bWrite) {}
    // Impl::page_pixel(r, pid, x, y, bytesPerPixel, run).
    std::uint8_t* pixel(std::int64_t x, std::int64_t y, std::uint32_t* bytesPerPixel, std::int64_t* run = nullptr) {
        if (x < x0_ || x >= x1_ || y < y0_ || y >= y1_) {
            std::uint8_t* p = board_.page_pixel(r_, pid_, x, y, bytesPerPixel, run, bWrite_);
            if (p == nullptr) return nullptr;
            bpp_ = *bytesPerPixel;
            const std::int64_t w = board_.pageWidth[bpp_], h = board_.pageHeight[bpp_];  // powers of two
            x0_ = x & ~(w - 1);
            y0_ = y & ~(h - 1);
            x1_ = x0_ + w;
            y1_ = y0_ + h;
            pitch_ = static_cast<std::size_t>(w) * bpp_;
            origin_ = p - static_cast<std::size_t>(y - y0_) * pitch_ - static_cast<std::size_t>(x - x0_) * bpp_;
            return p;
        }
        *bytesPerPixel = bpp_;
        if (run != nullptr) *run = x1_ - x;
        return origin_ + static_cast<std::size_t>(y - y0_) * pitch_ + static_cast<std::size_t>(x - x0_) * bpp_;
    }

private:
    Impl& board_;
    int r_;
    std::uint16_t pid_;
    bool bWrite_;
    std::int64_t x0_ = 0, y0_ = 0, x1_ = 0, y1_ = 0;  // the page's pixels (empty: none yet)
    std::uint8_t* origin_ = nullptr;                   // its pixel (x0_, y0_)
    std::size_t pitch_ = 0;
    std::uint32_t bpp_ = 0;
};

}  // namespace vnx::board::exec
