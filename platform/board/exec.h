// Inside of the board model's executor: what the files that carry packets
// out into board memory share. executor.cpp holds the one table that says
// which function carries out which kind of packet; each exec_*.cpp file holds
// the functions of one family of packets (exec_2d.cpp: the 2D drawing
// packets; exec_transfer.cpp: host transfers). The rules the executor follows
// where the driver's words leave the board's behaviour open are written in
// platform/board.h ("Execution").
#pragma once

#include <algorithm>
#include <cstdint>

#include "board_impl.h"

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

// --- shared by the executors ---------------------------------------------------------

// The instruction word of the 2D programs (platform/board.h, "Programs").
namespace instr {
inline std::uint32_t opcode(std::uint32_t w) { return w & 0x3Fu; }      // bits 0-5
inline std::uint32_t dst(std::uint32_t w) { return (w >> 6) & 0x1Fu; }  // bits 6-10
inline std::uint32_t b(std::uint32_t w) { return (w >> 11) & 0x1Fu; }   // bits 11-15
inline std::uint32_t a(std::uint32_t w) { return (w >> 17) & 0x1Fu; }   // bits 17-21
constexpr std::uint32_t kMaskBit = 1u << 25;   // write only under a mask condition
constexpr std::uint32_t kMaskClear = 1u << 27; // ... where the mask bit is clear
constexpr std::uint32_t kClip = 1u << 28;      // the clip pair applies to the write
}  // namespace instr

// The opcodes of the 2D programs; results are 32-bit values.
enum Opcode : std::uint8_t {
    kOpAnd = 0,     // A AND B
    kOpOr = 1,      // A OR B
    kOpXor = 2,     // A XOR B
    kOpNor = 3,     // NOT (A OR B)
    kOpNand = 4,    // NOT (A AND B)
    kOpAndNot = 5,  // A AND NOT B
    kOpOrNot = 6,   // A OR NOT B
    kOpNot = 7,     // NOT A (unary: B unused)
    kOpCopy = 8,    // A (unary)
    kOpLast2D = kOpCopy,
};
// Whether an opcode reads only A.
inline bool is_unary(std::uint32_t op) { return op == kOpNot || op == kOpCopy; }
// The result of a 2D opcode on one pair of values.
inline std::uint32_t apply_op(std::uint32_t op, std::uint32_t a, std::uint32_t b) {
    switch (op) {
    case kOpAnd: return a & b;
    case kOpOr: return a | b;
    case kOpXor: return a ^ b;
    case kOpNor: return ~(a | b);
    case kOpNand: return ~(a & b);
    case kOpAndNot: return a & ~b;
    case kOpOrNot: return a | ~b;
    case kOpNot: return ~a;
    default: return a;
    }
}


// Pixel formats (pid bits 13-15): register value <-> stored pixel. Registers
// hold the 24-bit colour form for formats 2 (3-3-2) and 4 (1-5-5-5); the
// stored pixel for formats 0, 3, 5; the top byte of the word for format 6.
std::uint32_t pixel_to_register(std::uint32_t format, std::uint32_t pixel);
std::uint32_t register_to_pixel(std::uint32_t format, std::uint32_t value);
// Reads / writes the stored pixel at p (bytesPerPixel 1, 2 or 4); a write in
// format 6 changes only the top byte of the word.
std::uint32_t load_pixel(const std::uint8_t* p, std::uint32_t bytesPerPixel);
void store_pixel(std::uint8_t* p, std::uint32_t bytesPerPixel, std::uint32_t format,
                 std::uint32_t pixel);

// Whether rasterizer r owns the tile of pixel (x, y) (coordinates of any
// pid's space; the 4x4 tile pattern repeats every 512 pixels).
inline bool owns(const Rasterizer& ras, std::int64_t x, std::int64_t y) {
    const std::uint32_t t = static_cast<std::uint32_t>(((y >> 7) & 3) * 4 + ((x >> 7) & 3));
    return (ras.tileOwner >> (16 + t)) & 1u;
}

// The 28.4 position word of a vertex: x in bits 0-15, y in bits 16-31.
inline std::int64_t fixed_x(std::uint32_t w) { return w & 0xFFFFu; }
inline std::int64_t fixed_y(std::uint32_t w) { return w >> 16; }

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
    std::uint32_t loadKind[4] = {};     // registers 27-30: 0 none, 1 per packet, 2-3 per vertex
};
Fields fields_of(std::uint32_t command);

// The value of data register 27 + i for vertex v of primitive `prim`, or
// false when the packet does not load it.
bool data_register(const DecodedPacket& packet, const Fields& f, std::uint32_t i,
                   std::size_t prim, std::size_t v, std::uint32_t* value);

}  // namespace vnx::board::exec
