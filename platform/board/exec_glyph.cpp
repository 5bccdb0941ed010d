// Primitives that carry their own mask rows, carried out into board memory:
// the glyphs (0x332: a horizontal band from its left to its right edge at
// the vertical centre, half its height above and below) and the shared step
// that draws any such primitive as a two-colour rectangle under its rows.
// The rules are in platform/board.h ("Execution").
#include "exec.h"

namespace vnx::board::exec {

namespace {

constexpr std::size_t kMaskWords = 8;

// The four corner words of a glyph's box: words 8 and 9 are its left and
// right edge at the vertical centre (28.4), word 10 half its height (28.4).
// Rows above board row 0 do not exist: the box starts there at the latest.
void glyph_corners(const std::uint32_t* w, std::uint32_t* corner) {
    const std::uint32_t x0 = w[8] & 0xFFFFu, x1 = w[9] & 0xFFFFu, yc = w[8] >> 16;
    const std::uint32_t half = w[10] & 0xFFFFu;
    const std::uint32_t y0 = yc > half ? yc - half : 0;
    const std::uint32_t y1 = std::min<std::uint32_t>(yc + half, 0xFFFFu);
    corner[0] = y0 << 16 | x0;
    corner[1] = y0 << 16 | x1;
    corner[2] = y1 << 16 | x1;
    corner[3] = y1 << 16 | x0;
}

}  // namespace

bool draw_cells(Impl& board, int r, const DecodedPacket& packet,
                void (*corners)(const std::uint32_t* prim, std::uint32_t* corner)) {
    constexpr std::size_t kCorners = 4;
    if (packet.wordsPerPrimitive < kMaskWords) return false;
    // Each primitive is the rectangle of a two-colour fill (class 6, mask
    // data 0x200) whose mask pattern is the primitive's own rows while it is
    // drawn.
    DecodedPacket cell = packet;
    cell.command = (packet.command & ~0x39Fu) | 0x206u;
    cell.primitives = 1;
    cell.wordsPerPrimitive = kCorners;
    cell.verticesPerPrimitive = kCorners;
    cell.primitiveWords.assign(kCorners, 0);
    auto& rows = board.rasterizers[r].maskRows;
    const auto saved = rows;
    bool all = true;
    for (std::size_t i = 0; i < packet.primitives; ++i) {
        const std::uint32_t* w = &packet.primitiveWords[i * packet.wordsPerPrimitive];
        for (std::size_t k = 0; k < kMaskWords; ++k) {
            rows[2 * k] = static_cast<std::uint16_t>(w[k] >> 16);
            rows[2 * k + 1] = static_cast<std::uint16_t>(w[k] & 0xFFFFu);
        }
        corners(w, cell.primitiveWords.data());
        all = draw_rectangles(board, r, cell) && all;
    }
    rows = saved;
    return all;
}

bool draw_glyphs(Impl& board, int r, const DecodedPacket& packet) {
    if (packet.wordsPerPrimitive != kMaskWords + 3) return false;
    return draw_cells(board, r, packet, glyph_corners);
}

}  // namespace vnx::board::exec
