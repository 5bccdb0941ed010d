// The board's executor: which function carries out which decoded packet.
// One table of rows, read top to bottom; the first row whose item kind
// matches and whose command-word bits (under the row's mask) equal the row's
// value carries the packet out. A drawing packet that no row takes, or that
// its row cannot carry out (a program the model does not run), is counted in
// StreamSummary::unexecuted and leaves board memory as it was.
//
// Adding a kind of packet is adding a row (and its function in the exec_*.cpp
// file of its family, declared in exec.h).
#include <bit>

#include "exec.h"
#include "render3d.h"

namespace vnx::board::exec {

namespace {

// Command-word fields a row looks at.
constexpr std::uint32_t kClass = 0x01Fu;      // primitive class (bits 0-3) and the line flag (bit 4)
constexpr std::uint32_t kMaskData = 0x380u;   // mask data (bits 7-9)
constexpr std::uint32_t kConstants = 0xC00u;  // constants format (bits 10-11)
constexpr std::uint32_t kShape = kClass | kMaskData | kConstants;

struct ExecRow {
    ItemKind kind;
    std::uint32_t mask;   // command-word bits the row looks at
    std::uint32_t value;  // ... and what they must be
    ExecuteFn fn;
    const char* what;
    bool (*matches)(const DecodedPacket&) = nullptr;  // a further test, when given
};

const ExecRow kRows[] = {
    // --- GL points (exec_3d_point.cpp, render3d.h) ------------------------------
    // Single pixels (class 0) and squares (class 6) of the GL generator's
    // point layouts whose programs the 2D rows do not run (render3d.h,
    // "Points").
    {ItemKind::Packet, kClass | kMaskData, 0x000u, draw_points3d, "GL points", is_gl_point_packet},
    {ItemKind::Packet, kClass | kMaskData, 0x006u, draw_points3d, "GL squares", is_gl_point_packet},

    // --- 2D drawing packets (exec_2d.cpp) ---------------------------------------
    // The copy-address table's load into register 8 (0x006, one instruction).
    {ItemKind::Packet, kShape, 0x006u, load_copy_table, "copy-address table load",
     is_copy_table_load},
    // Fills, same-position copies and the pattern register's load (0x026,
    // 0x006): rectangles, no mask data, no constants block.
    {ItemKind::Packet, kShape, 0x006u, draw_rectangles, "rectangles"},
    // Two-colour fills (0x226): rectangles whose mask bits come from the
    // mask pattern.
    {ItemKind::Packet, kShape, 0x206u, draw_rectangles, "two-colour rectangles"},
    // The stipple cell load (0x086): rectangles under sixteen cell rows of
    // the packet's own, laid from each rectangle's first pixel
    // (exec_stipple.cpp).
    {ItemKind::Packet, kShape, 0x086u, load_stipple_cells, "stipple cell load"},
    // Point loads with a colour per point (0x2000): pattern and dither loads.
    {ItemKind::Packet, kShape, 0x000u, draw_points, "points"},
    // The monochrome pattern load (0x280): sixteen mask rows per packet.
    {ItemKind::Packet, kShape, 0x280u, load_mask_pattern, "monochrome pattern load"},

    // Polygons (class 5, any constants format): triangles under a render
    // program (exec_3d.cpp, render3d.h).
    {ItemKind::Packet, kClass | kMaskData, 0x005u, draw_triangles, "polygons"},

    // Thin and wide lines under a render program (0x011, 0x012, any
    // constants format; with 0x100 stippled): segments of two end points
    // (exec_3d_line.cpp, render3d.h).
    {ItemKind::Packet, kClass | kMaskData, 0x011u, draw_lines3d, "thin lines"},
    {ItemKind::Packet, kClass | kMaskData, 0x012u, draw_lines3d, "wide lines"},
    {ItemKind::Packet, kClass | kMaskData, 0x111u, draw_lines3d, "stippled thin lines"},
    {ItemKind::Packet, kClass | kMaskData, 0x112u, draw_lines3d, "stippled wide lines"},

    // Antialiased lines under a render program (0x013, 0x014, any constants
    // format; with 0x100 stippled): segments whose pixels weigh the
    // coverage register (exec_3d_aaline.cpp, render3d.h).
    {ItemKind::Packet, kClass | kMaskData, 0x013u, draw_aalines3d, "antialiased lines"},
    {ItemKind::Packet, kClass | kMaskData, 0x014u, draw_aalines3d, "antialiased lines"},
    {ItemKind::Packet, kClass | kMaskData, 0x113u, draw_aalines3d, "stippled antialiased lines"},
    {ItemKind::Packet, kClass | kMaskData, 0x114u, draw_aalines3d, "stippled antialiased lines"},

    // Lines (0x03C): two end points a primitive (exec_line.cpp).
    {ItemKind::Packet, kShape, 0x01Cu, draw_lines, "lines"},

    // --- host transfers (exec_transfer.cpp) ---------------------------------------
    // DMA row transfers: every transfer packet.
    {ItemKind::Transfer, 0u, 0u, transfer_rows, "DMA row transfers"},
    // 1-bit expansion (0x326): rectangles with mask rows of their own.
    {ItemKind::Packet, kShape, 0x306u, expand_cells, "1-bit expansion"},

    // --- glyphs (exec_glyph.cpp) ------------------------------------------------------
    // Glyphs (0x332): bands of a line-like primitive with mask rows of their own.
    {ItemKind::Packet, kShape, 0x312u, draw_glyphs, "glyphs"},

    // --- on-board copies (exec_copy.cpp) -------------------------------------------
    // Block copies (0xC26): rectangles of up to 8x8 pixels with four
    // constants per packet and per primitive.
    {ItemKind::Packet, kShape, 0xC06u, copy_blocks, "block copies"},
};

// The rows whose kind and command-word bits match the packet's (no other
// row can take the packet whatever its other words), bit i for row i,
// through the board's memo of recent command words.
std::uint32_t candidate_rows(CommandMemo& memo, const DecodedPacket& packet) {
    static_assert(std::size(kRows) <= 32);
    CommandMemo::Row& m = memo.rows[CommandMemo::index(packet.command)];
    const auto kind = static_cast<std::uint8_t>(packet.kind);
    if (m.kind != kind || m.command != packet.command) {
        std::uint32_t rows = 0;
        for (std::size_t i = 0; i < std::size(kRows); ++i) {
            if (kRows[i].kind == packet.kind && (packet.command & kRows[i].mask) == kRows[i].value) rows |= 1u << i;
        }
        m = CommandMemo::Row{packet.command, kind, rows};
    }
    return m.rows;
}

}  // namespace

void execute(Impl& board, int r, const DecodedPacket& packet) {
    for (std::uint32_t rows = candidate_rows(board.memo, packet); rows != 0; rows &= rows - 1) {
        const ExecRow& row = kRows[std::countr_zero(rows)];
        if (row.matches != nullptr && !row.matches(packet)) continue;
        if (!row.fn(board, r, packet) && packet.kind == ItemKind::Packet) {
            ++board.rasterizers[r].summary.unexecuted;
        }
        return;
    }
    if (packet.kind == ItemKind::Packet) ++board.rasterizers[r].summary.unexecuted;
}

}  // namespace vnx::board::exec
