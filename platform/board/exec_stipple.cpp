// The stipple cell load (command 0x086 with any instruction and pid counts):
// rectangles drawn under sixteen cell rows that the packet carries once, so
// that a 16 x 16 cell of a mask pattern is copied wherever a rectangle
// lies. The GL server fills its stipple pixmap this way: one instruction
// writes the "set" value where a cell bit is set, the other the "clear"
// value where it is clear (platform/board.h, "Stipple cells").
#include "exec.h"

namespace vnx::board::exec {

namespace {

constexpr std::uint16_t kPidTileBit = 0x40;  // a tile pid (platform/board.h, "Board memory")

// The 16 bits of v in the opposite order.
std::uint16_t reversed16(std::uint32_t v) {
    std::uint16_t out = 0;
    for (int b = 0; b < 16; ++b)
        if (v & (1u << b)) out = static_cast<std::uint16_t>(out | (0x8000u >> b));
    return out;
}

}  // namespace

bool load_stipple_cells(Impl& board, int r, const DecodedPacket& packet) {
    const Fields f = fields_of(packet.command);
    // Registers 27-30 come once a packet or not at all: a cell load has no
    // words of its own per primitive but its corners.
    for (std::uint32_t k : f.loadKind)
        if (k != 0 && k != KZU_LOAD_PACKET) return false;
    constexpr std::size_t kCellWords = 8;
    if (packet.constants.size() < f.packetConstants + kCellWords) return false;

    Program program;
    SpanContext c{};
    if (!packet_context(board, r, packet, 0, &program, &c)) return false;
    // The cell rows: two a word, the first of a pair in the low half, the
    // cell's first column in bit 0. The span engine reads mask rows with
    // the first column in bit 15.
    std::uint16_t rows[16];
    const std::uint32_t* cell = packet.constants.data() + f.packetConstants;
    for (std::size_t w = 0; w < kCellWords; ++w) {
        rows[2 * w] = reversed16(cell[w] & 0xFFFFu);
        rows[2 * w + 1] = reversed16(cell[w] >> 16);
    }
    // The per-packet data words follow the cell rows, in register order.
    std::size_t at = f.packetConstants + kCellWords;
    for (int k = 0; k < 4; ++k) {
        c.data[k] = 0;
        if (f.loadKind[k] != KZU_LOAD_PACKET) continue;
        if (at >= packet.constants.size()) return false;
        c.data[k] = packet.constants[at++];
    }
    // A load into a tile pid fills every rasterizer's copy of the tile, the
    // tiles it owns or not: a program reads the tile wherever it draws.
    c.anyTile = (c.pid[0] & kPidTileBit) != 0;
    const std::size_t wpp = packet.wordsPerPrimitive;
    if (wpp < 4) return false;
    for (std::size_t i = 0; i < packet.primitives; ++i) {
        const std::uint32_t* end = packet.primitiveWords.data() + (i + 1) * wpp;
        if ((i + 1) * wpp > packet.primitiveWords.size()) break;
        const PixelArea a = corner_area(end - 4);
        // Each rectangle starts the cell at its own first pixel.
        c.mask = MaskRows{rows, a.x0, a.y0};
        run_area(c, a.x0, a.y0, a.x1, a.y1);
    }
    return true;
}

}  // namespace vnx::board::exec
