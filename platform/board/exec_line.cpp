// Line primitives: the board draws each line of a line packet (command
// 0x03C) by the platform's cosmetic-line rule (platform/engine/
// cosmetic_line.h), the rule the board model holds for every one-pixel
// line:
// - A primitive is two position words, ((y << 16) | x) with x and y each a
//   signed 16-bit 28.4 coordinate of board memory: ends left of or above
//   the origin lie at negative coordinates (never wrapped to the far side).
// - The pixels are those of the rule from the first end point to the
//   second, the second end's own pixel excluded; a line whose ends round to
//   one pixel draws nothing.
// - Pixels at negative coordinates are not drawn; the others go through the
//   packet's program under its clip pair and the tile ownership, as every
//   2D primitive does.
#include "../engine/cosmetic_line.h"
#include "exec.h"

namespace vnx::board::exec {

namespace {

std::int64_t signed16(std::uint32_t v) { return static_cast<std::int16_t>(v & 0xFFFFu); }

}  // namespace

bool draw_lines(Impl& board, int r, const DecodedPacket& packet) {
    return run_primitive_spans(board, r, packet, [&packet](std::size_t i, const SpanEmit& emit) {
        const std::uint32_t a = packet.vertex(i, 0), b = packet.vertex(i, 1);
        const vnx::engine::CosmeticLine line(signed16(a), signed16(a >> 16), signed16(b),
                                             signed16(b >> 16));
        // Pixels of one row that follow each other go as one span.
        std::int64_t spanX0 = 0, spanX1 = 0, spanY = -1;
        for (std::int64_t k = 0; k < line.count(); ++k) {
            std::int64_t x, y;
            line.pixel(k, &x, &y);
            if (x < 0 || y < 0) continue;
            if (y == spanY && x == spanX1) {
                ++spanX1;
            } else if (y == spanY && x + 1 == spanX0) {
                spanX0 = x;
            } else {
                if (spanY >= 0) emit(spanX0, spanY, spanX1);
                spanX0 = x;
                spanX1 = x + 1;
                spanY = y;
            }
        }
        if (spanY >= 0) emit(spanX0, spanY, spanX1);
    });
}

}  // namespace vnx::board::exec
