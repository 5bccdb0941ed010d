// The points of drawing packets carried out into board memory: single
// pixels (class 0) and squares (class 6) of the GL generator's point
// layouts, each covered pixel running the packet's render program. The
// rules are render3d.h's ("Points").
#include <algorithm>
#include <iterator>

#include "run3d.h"

namespace vnx::board::exec {

namespace {

constexpr std::uint32_t kPointClass = 0, kSquareClass = 6;

// The data registers of one point: what its row's words (or the generic
// rule) load into registers 27-30, each held over the whole point.
struct PointData {
    std::uint32_t value[4] = {};
};

// Which data register a group of the row feeds: the colour rgb0, the depth
// z0, the alpha z1 beside a depth word and z0 without one (the register
// the generator's alpha stage takes, render3d.h).
int register_of(kzPrimWordKind kind, bool hasDepth) {
    switch (kind) {
    case KZ_PW_COLOUR: return 0;
    case KZ_PW_DEPTH: return 1;
    case KZ_PW_ALPHA: return hasDepth ? 2 : 1;
    default: return -1;
    }
}

bool has_group(const kzPrimWordsRow& row, kzPrimWordKind kind) {
    for (const kzPrimWordGroup& g : row.groups)
        if (g.count != 0 && g.kind == kind) return true;
    return false;
}

class PointRunner {
public:
    PointRunner(FragmentRunner& run, const DecodedPacket& packet, const kzPrimWordsRow* row)
        : run_(run), packet_(packet), row_(row) {}

    void point(std::size_t prim) {
        const std::uint32_t* w = run_.primitive(prim);
        if (w == nullptr) return;
        const Fields& f = run_.fields();
        const std::uint32_t* words = w + f.primConstants;
        PointData d;
        std::uint32_t corner[4] = {};
        const std::uint32_t corners = packet_.verticesPerPrimitive;
        if (row_ != nullptr) {
            const bool depth = has_group(*row_, KZ_PW_DEPTH);
            std::uint32_t at = 0;
            for (const kzPrimWordGroup& g : row_->groups) {
                if (g.kind == KZ_PW_POSITION) {
                    for (std::uint32_t v = 0; v < g.count && v < 4; ++v) corner[v] = words[at + v];
                } else if (g.count != 0) {
                    const int reg = register_of(g.kind, depth);
                    if (reg >= 0) d.value[reg] = words[at];
                }
                at += g.count;
            }
            for (std::uint32_t k = 0; k < 4; ++k)
                if (f.loadKind[k] == KZU_LOAD_PACKET) data_register(packet_, f, k, prim, 0, &d.value[k]);
        } else {
            for (std::uint32_t v = 0; v < corners && v < 4; ++v) corner[v] = packet_.vertex(prim, v);
            for (std::uint32_t k = 0; k < 4; ++k) data_register(packet_, f, k, prim, 0, &d.value[k]);
        }
        if (corners == 1) {
            // The pixel holding GL's window position: nearest sample point,
            // a tie going left and, rows running down the screen while
            // GL's y runs up, up.
            run_.fragment((fixed_x(corner[0]) + 8) >> 4, (fixed_y(corner[0]) + 7) >> 4, d.value);
            return;
        }
        // A square: the pixels whose sample points lie inside the box of its
        // corners, its left and top edges in, its right and bottom edges
        // out.
        std::int64_t x0 = fixed_x(corner[0]), x1 = x0, y0 = fixed_y(corner[0]), y1 = y0;
        for (std::uint32_t v = 1; v < 4; ++v) {
            x0 = std::min(x0, fixed_x(corner[v]));
            x1 = std::max(x1, fixed_x(corner[v]));
            y0 = std::min(y0, fixed_y(corner[v]));
            y1 = std::max(y1, fixed_y(corner[v]));
        }
        std::int64_t px0 = (x0 + 15) >> 4, py0 = (y0 + 15) >> 4;
        std::int64_t px1 = ((x1 + 15) >> 4) - 1, py1 = ((y1 + 15) >> 4) - 1;  // inclusive
        if (!run_.clip_box(&px0, &py0, &px1, &py1)) return;
        for (std::int64_t y = py0; y <= py1; ++y)
            for (std::int64_t x = px0; x <= px1; ++x) run_.fragment(x, y, d.value);
    }

private:
    FragmentRunner& run_;
    const DecodedPacket& packet_;
    const kzPrimWordsRow* row_;
};

}  // namespace

bool is_gl_point_packet(const DecodedPacket& packet) {
    const std::uint32_t cls = packet.command & KZU_HDR_CLASS_MASK;
    if ((cls != kPointClass && cls != kSquareClass) || (packet.command & KZU_HDR_CLIP) == 0) return false;
    // The generator's programs carry no constants or eight a packet. Those
    // without constants whose program the 2D rows run are the display
    // driver's as much as the generator's: they keep the 2D rows
    // (render3d.h, "Points"), as do the 2D packets of other constants
    // formats (block copies).
    const std::uint32_t constants = packet.command & KZU_HDR_CONSTANTS_MASK;
    if (constants == KZU_CONSTANTS_8_PER_PKT) return true;
    if (constants != 0) return false;
    Program plain;
    return !compile(packet.instructions.data(), packet.instructions.size(), &plain);
}

bool draw_points3d(Impl& board, int r, const DecodedPacket& packet) {
    const std::uint32_t vertices = packet.verticesPerPrimitive;
    if (vertices != 1 && vertices != 4) return false;
    Program3 prog;
    if (!compile3(packet.instructions, &prog)) return false;
    FragmentRunner run(board, r, packet, prog);
    const kzPrimWordsRow* row = gl_layout_of(packet.command);
    PointRunner points(run, packet, row != nullptr && row->programClass == kPointClass ? row : nullptr);
    for (std::size_t i = 0; i < packet.primitives; ++i) points.point(i);
    return true;
}

}  // namespace vnx::board::exec
