// The board model: what the Vornix boards of a machine hold and how they
// answer the driver. Offers the Board class (made by vnx::miniport::Machine,
// or alone by tests): per-rasterizer register windows, DMA memory with bus
// addresses, one DMA ring consumer per rasterizer with a stream decoder and
// checker, the RAMDAC of each board (index/data window, cursor registers,
// colour registers, vertical retrace) and board memory behind the page-slot
// registers.
//
// Machine layout. Rasterizers are numbered over all boards: board b owns
// rasterizers b x n .. b x n + n - 1 (n per board). Within a board the 4x4
// screen tiles of 128x128 pixels (t = row x 4 + column) belong to:
//   1 rasterizer:  all sixteen;
//   2 rasterizers: a checkerboard, rasterizer (column + row) & 1;
//   4 rasterizers: rasterizer (column & 1) + 2 x (row & 1),
// so rasterizer k of a board owns tile k's neighbours at +128 in x and/or y
// as the dither and pattern loads expect. Each board has its own RAMDAC,
// reached through the RAMDAC window of any of its rasterizers.
//
// Registers (offsets in platform/mmio.h). The tile-ownership word is read
// only; the read pointer, write pointer, configuration and 32 page-slot
// registers read back what was written (the configuration register adds the
// busy bit). Any other offset, and a write to a read-only register, is a
// board error (below).
//
// The DMA engine and the rasterizer's command decoder, per rasterizer. These
// choices are the model's; the drivers must not depend on more than the
// words, registers and replies their own code fixes.
// - At power-on the engine is stopped. Writing the read pointer starts it at
//   that bus address (any words not yet decoded are dropped: when they hold
//   the start of a packet that never became whole, that is the error "packet
//   cut off ..."). While the engine is stopped, write-pointer writes are only
//   stored.
// - The driver hands over whole 128-byte lines: a write-pointer value off a
//   line is a board error (the engine still takes the words).
// - Writing the write pointer of a running engine hands every word up to it
//   to the engine at once: the read pointer equals the write pointer when the
//   write returns. The decoder then decodes, from where it stopped, every
//   stream item that lies wholly below the write pointer, reading the words
//   from DMA memory at that moment. An item reaching past the write pointer
//   waits for a later write (so a packet whose unexposed end the driver
//   still writes, or whose control word it rewrites, is read complete).
// - While undecoded words wait, or for MachineConfig::busyReads reads after
//   words were taken, the configuration register answers busy (bit 6).
// - END stops the engine: the words after it up to the write pointer are
//   dropped and the engine waits for a read-pointer write. The read pointer
//   stays equal to the write pointer, so after a wrap (where the driver sets
//   the write pointer one to two 128-byte lines past the END) "read pointer
//   equals write pointer" holds as soon as the END is reached.
//
// Stream items at a packet boundary (what the decoder accepts):
//   11 NOP: skipped.
//   10 END: the engine stops. The next three words must be the fill marks
//      0xFEEDBEEF, 0xCAFEF00D, 0xDEAFDEAD, or an empty packet {1, 0} whose
//      own END is followed by them (the wrap's {10, 1, 0, 10, marks}).
//   8  SYNC: the rasterizer finishes the work before it (nothing to do here).
//   7  transfer packet: {7, n, then n records of 4 words: (y << 16) | x, pid,
//      bus address, row descriptor}. A record of transfer kind 0 (descriptor
//      bits 17-22) writes zero bytes to its bus address (the byte count of the
//      descriptor, bits 7-16 minus bits 0-6 plus 1): this clears the sync word
//      of a queue close record {7, 1, origin, pid, bus of word 1, 384}, which
//      must start a 128-byte line (the driver pads to it with NOPs).
//   1  empty packet {1, 0}: two words, control word 0.
//   else a drawing packet, command word:
//      bits 0-3 primitive class (0 points 1 vertex; 1 thin lines 2; 2, 3, 4
//      wide or antialiased lines 2 vertices and a width word; 5 polygons 3;
//      6 rectangles 4; 12 the 2D engine's lines 2), bit 4 a line flag, bit
//      5 clip pair present, bit 6 0,
//      bits 7-9 mask data (0x280: 8 mask words per packet; 0x200 no words;
//      0x300: 8 mask words per primitive; 0x100 on a line packet: its 8
//      stipple words per primitive; 0x080 on a rectangle packet without
//      the line flag: 8 stipple cell words per packet, which come after
//      the per-packet constants and before the per-packet data-register
//      words), bits 10-11 constants format (0x400
//      8 per packet, 0x800 8 per primitive, 0xC00 4 and 4), bits 12-19 the
//      load kinds of data registers 27-30, numbered as the GL
//      generator numbers them for every class (include/kzuinstr.h: 1 one
//      word per packet; 2 one word per primitive; 3 one word per vertex), bits 20-24 instruction words (at least 1), bits
//      25-27 pid words, bits 28-31 0.
//      Words: command, control (bits 0-15 primitive count, bits 16-18
//      screen bits, bits 19-31 0), pid words, instruction words, clip min and
//      max, the per-packet constants, the per-packet data-register words,
//      the per-packet mask words, then per primitive: its constants, its
//      mask words, for each per-primitive or per-vertex data register (in
//      register order) one word or one word per vertex,
//      one position word per vertex, and the width word of a line.
//      Polygon packets whose load kinds are those of one of the GL
//      generator's layouts are read by the render functions' data-word
//      table instead (platform/board/render3d.h).
//      Other mask-data combinations have no layout yet (error "packet layout
//      not known"); their rows come with the work that sends them.
// After an error the decoder skips to the next NOP or END, or to the next
// 128-byte line that starts a valid item, so that a driver waiting for a
// close record is not left waiting.
//
// RAMDAC. The index (low and high byte registers) selects a RAMDAC register;
// each data store writes it (register 0x31, the cursor position, keeps 32
// bits; the others keep the low byte) and steps the index by one; data reads
// answer the register and do not step. Registers 0x33 and 0x34 take a
// written value only at the next vertical retrace, which a test causes with
// vertical_retrace() and which also happens by itself after every
// MachineConfig::ramdacReadsPerFrame data reads of that RAMDAC. While
// recording is on, every data store is also kept in order (ramdac_writes).
//
// Event log. While a test has it on, the board keeps one ordered list of the
// page-slot register writes, RAMDAC data stores, vertical retraces and
// decoded stream items of all its rasterizers (BoardEvent), so a test can
// tell what a register write came after.
//
// The cursor (registers 0x30 control, 0x31 position, 0x40-0x48 colours,
// 0x100-0x4FF image; CursorState). It is shown while the control register
// holds 0x35. The position register holds the screen position of the
// image's top-left pixel as two signed 16-bit halves, y high and x low; the
// image may reach past any edge of the screen, where it is cut off. Image
// pixel (x, y), 0 <= x, y < 64, is the 2-bit code at bits 7-6 - 2 (x & 3) of
// byte y x 16 + x / 4: 0 transparent, 1, 2, 3 the colours 1, 2, 3 (red,
// green, blue bytes from 0x40 on). The screen as seen shows the cursor's
// pixels over the pixels board memory holds.
//
// Board memory. Each rasterizer has 32 physical pages; page s is the one its
// page-slot register s names. A page holds (page width x multiplier) x (page
// height x multiplier) pixels of the pixel format in use, the page size of
// the memory class and format (64, 128 or 256 KB at multipliers 1).
// pixel() resolves a (pid, x, y) the way the rasterizer does: slot register
// value ((y0 >> 7) & 0x3F) << 11 | ((x0 >> 7) & 0x3F) << 5 | (pid & 0x1F) for
// the page origin (x0, y0) that holds (x, y). Pixel formats 0 and 2 have 1
// byte a pixel, 3 and 4 two, 5 and 6 four (6, the overlay plane of a 32-bit
// surface, names the same pixel word as 5). A rasterizer keeps only the
// pixels of the tiles it owns; tile_owner() says which one that is.
// Tile pids (bit 6, the display driver's squares of 32 << (bits 7-8)
// pixels, bits 9-10 and 11-12 their column and row: origin / size, & 3)
// address their space like any pid, at the space's own positions; a
// rasterizer that reaches a tile through its pid at a position inside the
// square the fields name latches that square's origin for the pid's space
// and tile fields, and its texel fetches from the tile read from there
// (platform/board/render3d.h, "Tiles").
//
// Execution (platform/board/executor.cpp: one table says which function
// carries out which packet). Every decoded drawing packet is carried out at
// once by the rasterizer that decoded it; these are the model's rules where
// the driver's words leave the board open:
// - Programs. The instruction word (fields as include/kzuinstr.h describes
//   them): opcode bits 0-5, destination 6-10, second source (B) 11-16,
//   first source (A) 17-22, bit 25 alone: write
//   only where the mask bit is set, bits 25 and 27: only where it is clear,
//   bit 28: the clip pair applies to the write. Opcodes 0-8 (A AND B, OR,
//   XOR, NOR, NAND, A AND NOT B, A OR NOT B, NOT A, A) on 32-bit values.
//   Registers: 0 reads 0; 8-11 temporaries (0 at the start of each pixel);
//   12 the pattern register; 13 and 14 the pixels of the pids in the low
//   and high half of the first pid word; 27-30 the packet's data registers
//   (a per-packet word, or the word of the primitive's first vertex; 0 when
//   not loaded). The instructions run in order for each pixel; an
//   instruction reading 13 or 14 after one wrote it sees the new value. A
//   program with any other opcode or register is not carried out (counted
//   in StreamSummary::unexecuted).
// - Pixels. Registers hold a pixel in its 24-bit colour form for pid formats
//   2 (3-3-2 to bits 21-23, 13-15, 5-6) and 4 (5-5-5 to bits 2-6 of each
//   byte, pixel bit 15 to bit 23); the stored value for formats 0, 3 and 5;
//   the word's top byte for format 6. A write keeps the bits its format has
//   and drops the others. A pixel no page slot maps reads 0 and takes no
//   writes.
// - Coverage. A rectangle (class 6) covers the pixels whose centres lie in
//   the bounding box of its four 28.4 corners, the right and bottom edges
//   excluded; a point (class 0) covers the pixel holding it. A rasterizer
//   carries out only the pixels of the tiles it owns (tile ((y >> 7) & 3) x 4
//   + ((x >> 7) & 3), in any pid's space).
// - Clip. The clip pair is (y << 16) | x in pixels, minimum included and
//   maximum EXCLUDED (every writer sends origin + size). Without a clip pair
//   in the packet, bit 28 clips nothing.
// - Split boards. A packet whose control word carries the screen bits
//   0x70000 (the second screen's queues) is drawn in the second screen's own
//   x: the desktop from x = 1024 on lies at x - 1024 of every space of that
//   board's memory (pixels left of 1024, which only unclipped loads reach,
//   stay where they are), and its clip pair is in that x (a pixel passes
//   when its desktop x - 1024 lies in it).
// - Pattern register. It holds 8 x 8 values and tiles every pid's space: at
//   pixel (x, y) register 12 reads entry [y & 7][x & 7], and a write to it at
//   (x, y) sets that entry (how the 8x8 load square fills it).
// - Mask. The two-colour mask bit at (x, y) is bit 15 - (x & 15) of mask row
//   y & 15. Packets with mask data per packet (0x280, the monochrome pattern
//   load: its one instruction must be 0x001402C8 and its positions among
//   0, 0x80, 0x100 and 0x200, else a board error) set the rasterizer's mask
//   pattern: sixteen 16-bit rows, two per
//   word, the first of a pair in the high half; their primitives' positions
//   and instruction change nothing else. Packets without mask words
//   (0x200 two-colour fills, and those without mask data) use that mask
//   pattern.
// - Mask rows per primitive (mask data 0x300 on rectangles: the 1-bit
//   expansion, 0x326). Each rectangle carries sixteen rows laid out as the
//   mask pattern's, and they stand for the mask pattern while that
//   rectangle is drawn.
// - Glyphs (0x332: class 2 with the line flag, mask data 0x300). Each
//   primitive is eight mask words (laid out as the mask pattern's rows), the
//   left edge and the right edge at the band's vertical centre (28.4
//   positions, y in the high half) and half the band's height (28.4). It
//   covers the pixels whose centres lie in [left, right) x [centre - half,
//   centre + half), and its rows stand for the mask pattern while it is
//   drawn: the mask bit at (x, y) is bit 15 - (x & 15) of row y & 15, so
//   a glyph's rows sit in the slots of their board rows, rotated to their
//   board x.
// - Stipple cells (0x086: rectangles, mask data 0x080; the GL server's
//   polygon stipple load into its stipple pixmap). The packet's eight cell
//   words are sixteen 16-bit rows, two per word, the first of a pair in the
//   LOW half, each row's first pixel in bit 0. Every rectangle is drawn with
//   the cell laid from its own first pixel (x0, y0): the mask bit at (x, y)
//   is bit (x - x0) & 15 of row (y - y0) & 15, so a 16 x 16 rectangle
//   receives the cell once and a larger one repeats it. Registers 27-30 are
//   loaded once a packet only (a cell load with another load kind is not
//   carried out); the program and clip pair are as for any rectangle, and
//   so is tile ownership, except that a load whose pid is a tile pid (bit
//   6) is carried out over the whole of every rectangle by every rasterizer
//   that decodes it, as the transfers into tiles are: each keeps the whole
//   tile, which render programs read wherever they draw (render3d.h). The
//   rasterizer's mask pattern is neither read nor changed.
// - Transfers (transfer packets). A record {(y << 16) | x, pid, bus address,
//   descriptor} moves one row between DMA memory and the pixmap: descriptor
//   bits 0-6 the first and bits 7-16 the last byte within the row's span,
//   bits 17-22 the kind, bit 23 set for DMA memory -> pixmap. Byte k of the
//   span lies at bus address + k and belongs to pixel x + k / (bytes a
//   pixel) of row y. Kind 15 moves 1- and 2-byte pixels, 7 the 4-byte pixels
//   of format 5, 8 those of format 6 (written: only the word's top byte).
//   Pixels are moved as stored, without conversion. The rasterizer that
//   owns the row's tile moves it, except that a row written into a tile pid
//   (bit 6) is stored by every rasterizer that executes the record: the
//   texture tiles are fetched by any rasterizer, whichever screen tiles it
//   owns. A pixel no page slot maps reads 0 and
//   takes no writes. A record of another kind, with a descriptor that does
//   not fit its pid's pixels, or with bytes outside DMA memory is a board
//   error and moves nothing. (Kind 0 is the queue close record's: above.)
// - Copy-address table. A rectangle packet (0x006) whose one instruction is
//   0x001A0208 (pixmap 13 into register 8) loads the rasterizer's table:
//   the 4 x 4 words of the pixmap from each square's first pixel (x + j,
//   y + i: word 4i + j) that the rasterizer owns, as register values. The
//   table outlives the packet; it is all 0 until loaded.
// - Block copies (0xC26: rectangles of at most 8x8 pixels, constants 4
//   per packet and 4 per primitive). The first three instructions must be
//   the set-up words 0x001126DF, 0x001C0331 | phase << 11 (phase in bits
//   11-16) and 0x00132F1F (bit 28 allowed on each); they write no register
//   the model keeps. They make register 12 hold, at pixel (x, y), the pixel
//   of the high-half pid (the source) at (sx0 + off((x + (phase & 7)) & 7),
//   sy0 + off((y + (phase >> 3)) & 7)), where off(v) = bit 6 of table word
//   v plus bits 5-6 of table word 8 + v shifted down by 4 (the driver's
//   table makes off(v) = v; a table not loaded makes every offset 0), and
//   sx0 and sy0 are the primitive's constants 0 and 1 with their low seven
//   bits cleared, read as 28.4. Their low bits must be the phase's: bits
//   4-5 of constant 0 = bits 0-1 of the x phase, bit 4 of constant 1 = bit
//   0 of the y phase, the rest 0; otherwise the packet is a board error.
//   The rest is a program of opcodes 0-8 (no mask conditions) run as
//   above; what it leaves in 13 is written. A
//   block's source samples are all read, from the rasterizer's own memory,
//   before any of its pixels is written. On a split board's second screen
//   the source x is that screen's own x (the driver counts a source right
//   of the first screen from the second screen), while the corners are
//   desktop x as in every packet.
//
// - Polygons (class 5): triangles under a render program, run per covered
//   pixel; the model's arithmetic, coverage and loads are defined in
//   platform/board/render3d.h.
// - Lines (class 12 with the line flag: command 0x03C; two position words a
//   primitive). Each coordinate is a signed 16-bit 28.4 value (negative
//   ends are left of or above the origin, never wrapped). The pixels are
//   those of the platform's cosmetic-line rule (platform/engine/
//   cosmetic_line.h: grid intersection quantization, one pixel per whole
//   coordinate of the major axis from the pixel nearest the first end up
//   to, not including, the pixel nearest the second; ties toward the
//   smaller coordinate, along x toward the larger on lines of slope +1);
//   a line whose ends round to one pixel draws nothing. Pixels at negative
//   coordinates are not drawn; the rest go through the program, the clip
//   pair and tile ownership like any primitive (platform/board/exec_line.cpp).
//
// Every public member may be called from any thread; calls are serialised.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/export.h"
#include "platform/kernel.h"
#include "platform/miniport.h"

namespace vnx::board {

// Stream words outside packets.
inline constexpr std::uint32_t kWordEmpty = 1;
inline constexpr std::uint32_t kWordTransfer = 7;
inline constexpr std::uint32_t kWordSync = 8;
inline constexpr std::uint32_t kWordEnd = 10;
inline constexpr std::uint32_t kWordNop = 11;
inline constexpr std::uint32_t kFillMarks[3] = {0xFEEDBEEFu, 0xCAFEF00Du, 0xDEAFDEADu};

// Where the model places the DMA buffer in bus address space.
inline constexpr std::uint32_t kDmaBusBase = 0x10000000u;

enum class ItemKind {
    Packet,    // a drawing packet
    Empty,     // {1, 0}
    Transfer,  // command 7: DMA transfer records (queue close records among them)
    Sync,      // SYNC word
    End,       // END word (the engine stopped)
};

struct TransferRecord {
    std::uint32_t position;    // (y << 16) | x
    std::uint32_t pid;
    std::uint32_t bus;         // bus address of the row
    std::uint32_t descriptor;  // row descriptor
};

// One decoded stream item of one rasterizer.
struct VNX_PLATFORM_API DecodedPacket {
    ItemKind kind = ItemKind::Packet;
    std::uint32_t bus = 0;       // bus address of its first word
    std::uint32_t command = 0;   // word 0
    std::uint32_t control = 0;   // word 1 as read (packets, transfers)
    std::uint32_t primitives = 0;             // control bits 0-15
    std::vector<std::uint32_t> pids;          // pixmap-id words
    std::vector<std::uint32_t> instructions;  // instruction words
    bool hasClip = false;
    std::uint32_t clipMin = 0, clipMax = 0;   // (y << 16) | x
    // Per-packet words after the clip pair: constants, data-register words,
    // mask words, in stream order.
    std::vector<std::uint32_t> constants;
    std::uint32_t wordsPerPrimitive = 0;
    std::uint32_t verticesPerPrimitive = 0;
    std::vector<std::uint32_t> primitiveWords;  // primitives x wordsPerPrimitive
    std::vector<TransferRecord> transfers;      // transfer packets

    // 16-bit pixmap id i (two per word, the first of a pair in the low half).
    std::uint16_t pid(std::size_t i) const;
    // The words of primitive i.
    std::vector<std::uint32_t> primitive(std::size_t i) const;
    // Position word v of primitive i (the per-vertex positions follow its
    // constants, mask and data words).
    std::uint32_t vertex(std::size_t i, std::size_t v) const;
};

struct BoardError {
    int rasterizer;       // -1 when no rasterizer is concerned
    std::uint32_t bus;    // bus address of the offending word (0 when none)
    std::string message;
};

// Per-rasterizer counts of what the decoder consumed.
struct StreamSummary {
    std::uint64_t packets = 0;      // drawing packets
    std::uint64_t primitives = 0;   // their primitives
    std::uint64_t empty = 0;        // empty packets
    std::uint64_t transfers = 0;    // transfer packets
    std::uint64_t syncs = 0;
    std::uint64_t ends = 0;
    std::uint64_t nops = 0;         // NOP words
    std::uint64_t words = 0;        // every word decoded
    std::uint64_t unexecuted = 0;   // drawing packets the executor did not carry out
};

// The RAMDAC's cursor as its registers describe it.
struct VNX_PLATFORM_API CursorState {
    bool on = false;              // control register 0x30 holds 0x35
    std::uint32_t position = 0;   // register 0x31: (y << 16) | (x & 0xFFFF)
    std::uint8_t colours[9] = {}; // registers 0x40..0x48
    std::uint8_t image[1024] = {};// registers 0x100..0x4FF

    // Screen position of the image's top-left pixel.
    LONG x() const;
    LONG y() const;
    // Code 0-3 of image pixel (x, y) (0 outside the image).
    unsigned code(LONG x, LONG y) const;
    // Colour 1, 2 or 3 as 0x00RRGGBB.
    std::uint32_t colour(unsigned code) const;
    // Shows the cursor, when on, over a picture of the screen: cx x cy
    // pixels 0x00RRGGBB, row y at rgb + y x stride.
    void overlay(std::uint32_t* rgb, LONG cx, LONG cy, std::size_t stride) const;
};

// One data store into a RAMDAC register.
struct RamdacWrite {
    std::uint32_t index;  // the register
    std::uint32_t value;  // as stored (32 bits for 0x31, else the low byte)
};

// One entry of the event log (Board::set_event_log): what the board saw, in
// the order it saw it, over all rasterizers and RAMDACs. It shows whether a
// driver wrote the page-slot registers before or after it drained the
// queues and waited for the vertical retrace.
struct BoardEvent {
    enum Kind {
        SlotWrite,    // a page-slot register write: unit = rasterizer, index = slot
        RamdacWrite,  // a RAMDAC data store: unit = board, index = register
        Retrace,      // a vertical retrace: unit = board
        Item,         // a stream item decoded: unit = rasterizer, index = its command
                      // word, value = its ItemKind
    };
    Kind kind;
    int unit;
    std::uint32_t index = 0;
    std::uint32_t value = 0;  // the value written (slot, RAMDAC)
};

class VNX_PLATFORM_API Board {
public:
    // Throws std::invalid_argument for a configuration check_config refuses.
    explicit Board(const vnx::miniport::MachineConfig& config);
    ~Board();
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    int rasterizers() const;          // all boards
    int rasterizers_per_board() const;
    int boards() const;
    int board_of(int rasterizer) const;

    // --- registers -------------------------------------------------------
    // Address of rasterizer r's register window (for VnxRegRead32/Write32).
    void* window(int rasterizer) const;
    // The same access as through the window.
    ULONG read_register(int rasterizer, ULONG offset);
    void write_register(int rasterizer, ULONG offset, ULONG value);
    // The windows answer only while mapped (the miniport maps them when it
    // hands them out and unmaps them when they are freed; a Board made alone
    // starts mapped).
    void set_windows_mapped(bool mapped);

    // --- DMA memory --------------------------------------------------------
    void* dma_base() const;           // CPU address of the DMA buffer
    std::uint32_t dma_bus() const;    // its bus address
    std::uint32_t dma_bytes() const;  // its size
    std::uint32_t staging_bus(int i) const;  // staging buffer 0 or 1
    // CPU address of bytes [bus, bus + bytes) of DMA memory, or null.
    void* bus_to_cpu(std::uint32_t bus, std::uint32_t bytes) const;
    // Bus address of a CPU address inside DMA memory, or 0.
    std::uint32_t cpu_to_bus(const void* p) const;

    // --- DMA engine and decoder ---------------------------------------------
    std::vector<DecodedPacket> packets(int rasterizer) const;
    std::vector<DecodedPacket> take_packets(int rasterizer);
    StreamSummary summary(int rasterizer) const;
    // Records of decoded items are kept while recording is on (the default);
    // the summaries are kept always. Each rasterizer keeps its newest records
    // (at 2^17 the oldest half goes), as do the RAMDAC stores and the event
    // log, so a long run does not grow them without bound.
    void set_recording(bool on);
    std::vector<BoardError> errors() const;
    std::vector<BoardError> take_errors();
    bool engine_stopped(int rasterizer) const;
    // Bus address the decoder has reached (the next item it will decode).
    std::uint32_t decode_position(int rasterizer) const;
    // A hung rasterizer (for tests of drivers that must not wait for ever):
    // while set, its DMA engine takes no words (write-pointer writes are only
    // stored, so the read pointer stays behind and sync words stay set) and
    // its configuration register answers busy. A read-pointer write still
    // moves the engine's start. Clearing it lets the next write-pointer write
    // hand over the words as usual.
    void set_hung(int rasterizer, bool hung);
    // An observer called with every drawing or transfer packet after the
    // board has carried it out, under the board's lock (null: none).
    using Executor = std::function<void(Board&, int rasterizer, const DecodedPacket&)>;
    void set_executor(Executor executor);
    // While off, decoded packets are not carried out into board memory (the
    // decoder and the summaries go on): benchmarks measure the driver alone.
    // On by default.
    void set_execution(bool on);
    // While off, the 2D packets are carried out by the span engine alone
    // (every program run pixel by pixel over its registers), never by the
    // shortcuts that write the same pixels faster (one-value fills and point
    // loads, plain block copies): tests compare the two. On by default.
    void set_fast_paths(bool on);

    // --- RAMDAC ------------------------------------------------------------
    void vertical_retrace();                         // every board's RAMDAC
    std::uint64_t retraces(int board) const;
    ULONG ramdac_register(int board, ULONG index) const;
    CursorState cursor(int board) const;
    // The data stores into that board's RAMDAC since the last take, in order
    // (kept while recording is on).
    std::vector<RamdacWrite> take_ramdac_writes(int board);
    // The event log, off by default (it grows with every item while on):
    // switching it on or off empties it.
    void set_event_log(bool on);
    std::vector<BoardEvent> take_events();
    // Colour register i (red in the low byte), as the miniport loads it.
    ULONG color_register(int board, ULONG index) const;
    void set_color_register(int board, ULONG index, ULONG value);

    // --- board memory --------------------------------------------------------
    // Page geometry for a pid's pixel format; false for a format without one.
    bool page_geometry(std::uint16_t pid, ULONG* width, ULONG* height,
                       ULONG* bytesPerPixel) const;
    // The bytes of pixel (x, y) of pid in rasterizer r's memory, or null when
    // no page slot of r maps that pixel.
    std::uint8_t* pixel(int rasterizer, std::uint16_t pid, LONG x, LONG y);
    // The rasterizer (global number) of `board` that owns the tile of (x, y).
    int tile_owner(int board, LONG x, LONG y) const;
    // The stored pixels of the cx x cy rectangle at (x, y) of pid as `board`
    // shows them (each from its tile owner), rows top to bottom; 0 where no
    // page slot maps a pixel. Empty for an empty rectangle or a bad board.
    std::vector<std::uint32_t> read_pixels(int board, std::uint16_t pid, LONG x, LONG y,
                                           LONG cx, LONG cy);
    // The same as colours 0x00RRGGBB: 8-bit indices through the board's
    // colour registers, 3-3-2 and 5-5-5 widened, 32-bit pixels as stored.
    std::vector<std::uint32_t> read_rgb(int board, std::uint16_t pid, LONG x, LONG y, LONG cx,
                                        LONG cy);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace vnx::board
