// What each layout code means (kzLayoutOf), and the words of one primitive
// in a drawing packet, declared once per (program class, layout code): the
// render functions of the GL server write a primitive's words in this order
// and the board model reads them by it.
// The program class is the packet command word's bits 0-4 (kzuinstr.h);
// the layout code is the render program's dataAttr. Each row lists the
// word groups in stream order; a group of one word a vertex holds them in
// the order the primitive's vertices are sent (the render function's
// winding), and a group of a single word belongs to the face's provoking
// vertex. Words that a layout takes once a packet (a colour and an alpha
// word) lie in the packet head, not here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

// What a layout code carries besides the positions: where its colour and
// alpha words go and whether every vertex has a depth word. Within each ten
// the code is 1 with no colour, then three codes a colour form: colour,
// colour and alpha, alpha alone; the next ten adds the depth words. The
// micro-code generator makes only the colour and colour-and-alpha codes;
// the alpha-alone codes (4, 7, 10, 14, 17, 20) are read by the functions
// that decode every code (strip fill, outlines, antialiased lines). Code 22
// is the pixel rectangles' stencil layout: one byte a pixel, no colour.
enum kzColourForm : std::uint32_t {
    KZ_CF_NONE,    // no colour or alpha word (codes 1, 11)
    KZ_CF_VERTEX,  // a word a vertex (codes 2-4, 12-14)
    KZ_CF_PRIM,    // one word a primitive, its provoking vertex's (5-7, 15-17)
    KZ_CF_PACKET,  // one word a packet, in the packet head (8-10, 18-20)
};

struct kzLayout {
    bool valid;         // a layout code at all (1-20)
    kzColourForm form;  // where the colour and alpha words go
    bool colour;        // a colour word in that place
    bool alpha;         // an alpha word in that place (after the colour word)
    bool depth;         // a depth word a vertex
    bool byte = false;  // a byte word a vertex (the stencil value)
    constexpr bool colourIn(kzColourForm f) const { return colour && form == f; }
    constexpr bool alphaIn(kzColourForm f) const { return alpha && form == f; }
};

// Every layout code, 0-22.
inline constexpr kzLayout kzLayouts[] = {
    {false, KZ_CF_NONE, false, false, false},  // 0: no layout
    {true, KZ_CF_NONE, false, false, false},   // 1
    {true, KZ_CF_VERTEX, true, false, false},  // 2
    {true, KZ_CF_VERTEX, true, true, false},   // 3
    {true, KZ_CF_VERTEX, false, true, false},  // 4
    {true, KZ_CF_PRIM, true, false, false},    // 5
    {true, KZ_CF_PRIM, true, true, false},     // 6
    {true, KZ_CF_PRIM, false, true, false},    // 7
    {true, KZ_CF_PACKET, true, false, false},  // 8
    {true, KZ_CF_PACKET, true, true, false},   // 9
    {true, KZ_CF_PACKET, false, true, false},  // 10
    {true, KZ_CF_NONE, false, false, true},    // 11
    {true, KZ_CF_VERTEX, true, false, true},   // 12
    {true, KZ_CF_VERTEX, true, true, true},    // 13
    {true, KZ_CF_VERTEX, false, true, true},   // 14
    {true, KZ_CF_PRIM, true, false, true},     // 15
    {true, KZ_CF_PRIM, true, true, true},      // 16
    {true, KZ_CF_PRIM, false, true, true},     // 17
    {true, KZ_CF_PACKET, true, false, true},   // 18
    {true, KZ_CF_PACKET, true, true, true},    // 19
    {true, KZ_CF_PACKET, false, true, true},   // 20
    {false, KZ_CF_NONE, false, false, false},  // 21: no layout
    {true, KZ_CF_NONE, false, false, false, true},  // 22
};

// The meaning of a layout code; any code outside 1-20 and 22 is not valid
// and carries nothing.
constexpr kzLayout kzLayoutOf(std::uint32_t dataAttr) {
    return dataAttr < std::size(kzLayouts) ? kzLayouts[dataAttr] : kzLayouts[0];
}

enum kzPrimWordKind : std::uint32_t {
    KZ_PW_COLOUR,    // a packed colour word (data register rgb0)
    KZ_PW_DEPTH,     // a depth word (data register z0): 16-bit form or 24 bits, by the depth buffer
    KZ_PW_POSITION,  // a packed 28.4 position, (y << 16) | x
    KZ_PW_ALPHA,     // a 9-bit alpha word (256 is 1.0)
    KZ_PW_KINDS
};

struct kzPrimWordGroup {
    kzPrimWordKind kind;
    std::uint32_t count;  // words of the group (one per vertex)
};

struct kzPrimWordsRow {
    std::uint32_t programClass;
    std::uint32_t dataAttr;
    std::uint32_t vertices;
    kzPrimWordGroup groups[KZ_PW_KINDS];
};

namespace kzpw {
constexpr kzPrimWordGroup C3{KZ_PW_COLOUR, 3}, C1{KZ_PW_COLOUR, 1}, A3{KZ_PW_ALPHA, 3}, A1{KZ_PW_ALPHA, 1},
    Z3{KZ_PW_DEPTH, 3}, P3{KZ_PW_POSITION, 3};
// Lines: two vertices a primitive.
constexpr kzPrimWordGroup C2{KZ_PW_COLOUR, 2}, Z2{KZ_PW_DEPTH, 2}, P2{KZ_PW_POSITION, 2};
// Points: one vertex; squares: four corners.
constexpr kzPrimWordGroup Z1{KZ_PW_DEPTH, 1}, P1{KZ_PW_POSITION, 1}, P4{KZ_PW_POSITION, 4};
constexpr kzPrimWordGroup C4{KZ_PW_COLOUR, 4}, Z4{KZ_PW_DEPTH, 4}, A4{KZ_PW_ALPHA, 4};
}  // namespace kzpw

inline constexpr kzPrimWordsRow kzPrimWordRows[] = {
    // Filled triangles (class 5), by layout code: the face's colour and
    // alpha words, the three vertices' colours, depths and alphas, then
    // their positions. Layouts 8-10 and 18-20 carry their colour and alpha
    // once a packet. Layouts 4, 7, 10, 14, 17 and 20 come only from the
    // strip fill, whose order puts alpha before depth (no other function
    // takes 14).
    {5, 1, 3, {kzpw::P3}},
    {5, 2, 3, {kzpw::C3, kzpw::P3}},
    {5, 3, 3, {kzpw::C3, kzpw::A3, kzpw::P3}},
    {5, 4, 3, {kzpw::A3, kzpw::P3}},
    {5, 5, 3, {kzpw::C1, kzpw::P3}},
    {5, 6, 3, {kzpw::C1, kzpw::A1, kzpw::P3}},
    {5, 7, 3, {kzpw::A1, kzpw::P3}},
    {5, 8, 3, {kzpw::P3}},
    {5, 9, 3, {kzpw::P3}},
    {5, 10, 3, {kzpw::P3}},
    {5, 11, 3, {kzpw::Z3, kzpw::P3}},
    {5, 12, 3, {kzpw::C3, kzpw::Z3, kzpw::P3}},
    {5, 13, 3, {kzpw::C3, kzpw::Z3, kzpw::A3, kzpw::P3}},
    {5, 14, 3, {kzpw::A3, kzpw::Z3, kzpw::P3}},
    {5, 15, 3, {kzpw::C1, kzpw::Z3, kzpw::P3}},
    {5, 16, 3, {kzpw::C1, kzpw::A1, kzpw::Z3, kzpw::P3}},
    {5, 17, 3, {kzpw::A1, kzpw::Z3, kzpw::P3}},
    {5, 18, 3, {kzpw::Z3, kzpw::P3}},
    {5, 19, 3, {kzpw::Z3, kzpw::P3}},
    {5, 20, 3, {kzpw::Z3, kzpw::P3}},
    // Thin lines (class 1), opaque and unstippled: both endpoints' colours
    // or the segment's one colour (its second vertex's), the depths, then
    // the positions. Layouts 8 and 18 carry their colour once a packet.
    // (Wide, stippled and antialiased lines add a stipple block, constants
    // and a width word; their functions declare their own orders.)
    {1, 2, 2, {kzpw::C2, kzpw::P2}},
    {1, 5, 2, {kzpw::C1, kzpw::P2}},
    {1, 8, 2, {kzpw::P2}},
    {1, 12, 2, {kzpw::C2, kzpw::Z2, kzpw::P2}},
    {1, 15, 2, {kzpw::C1, kzpw::Z2, kzpw::P2}},
    {1, 18, 2, {kzpw::Z2, kzpw::P2}},
    // Points of one pixel (class 0), the point functions' and the polygon-
    // mode points' order: the colour, alpha and depth words, then the
    // position. Alpha comes before depth (layouts 13 and 16), unlike the
    // triangles; layouts 8, 9, 18 and 19 carry their colour (and alpha)
    // once a packet.
    {0, 2, 1, {kzpw::C1, kzpw::P1}},
    {0, 3, 1, {kzpw::C1, kzpw::A1, kzpw::P1}},
    {0, 5, 1, {kzpw::C1, kzpw::P1}},
    {0, 6, 1, {kzpw::C1, kzpw::A1, kzpw::P1}},
    {0, 8, 1, {kzpw::P1}},
    {0, 9, 1, {kzpw::P1}},
    {0, 11, 1, {kzpw::Z1, kzpw::P1}},
    {0, 12, 1, {kzpw::C1, kzpw::Z1, kzpw::P1}},
    {0, 13, 1, {kzpw::C1, kzpw::A1, kzpw::Z1, kzpw::P1}},
    {0, 15, 1, {kzpw::C1, kzpw::Z1, kzpw::P1}},
    {0, 16, 1, {kzpw::C1, kzpw::A1, kzpw::Z1, kzpw::P1}},
    {0, 18, 1, {kzpw::Z1, kzpw::P1}},
    {0, 19, 1, {kzpw::Z1, kzpw::P1}},
    // Wide points (class 6, squares): the point's words by the load kinds
    // of its program, as for any four-corner primitive: a word once a
    // square where the register is loaded once a primitive (a point
    // program's one-colour forms and its depth beside them), the same word
    // once a corner where it is loaded once a vertex (the colour, depth and
    // alpha of layouts 2, 3, 12 and 13), in register order (colour, depth,
    // alpha), but for the wide-point function's own one-colour layouts,
    // which send colour, alpha, then depth as single points do (layout 16);
    // then the four corners (x0, y0), (x1, y0), (x1, y1), (x0, y1).
    {6, 2, 4, {kzpw::C4, kzpw::P4}},
    {6, 3, 4, {kzpw::C4, kzpw::A4, kzpw::P4}},
    {6, 5, 4, {kzpw::C1, kzpw::P4}},
    {6, 6, 4, {kzpw::C1, kzpw::A1, kzpw::P4}},
    {6, 8, 4, {kzpw::P4}},
    {6, 9, 4, {kzpw::P4}},
    {6, 11, 4, {kzpw::Z1, kzpw::P4}},
    {6, 12, 4, {kzpw::C4, kzpw::Z4, kzpw::P4}},
    {6, 13, 4, {kzpw::C4, kzpw::Z4, kzpw::A4, kzpw::P4}},
    {6, 15, 4, {kzpw::C1, kzpw::Z1, kzpw::P4}},
    {6, 16, 4, {kzpw::C1, kzpw::A1, kzpw::Z1, kzpw::P4}},
    {6, 18, 4, {kzpw::Z1, kzpw::P4}},
    {6, 19, 4, {kzpw::Z1, kzpw::P4}},
};

// The index of the row of a class and layout in kzPrimWordRows, or ~0.
constexpr std::size_t kzPrimWordsIndex(std::uint32_t programClass, std::uint32_t dataAttr) {
    for (std::size_t i = 0; i < std::size(kzPrimWordRows); ++i)
        if (kzPrimWordRows[i].programClass == programClass && kzPrimWordRows[i].dataAttr == dataAttr) return i;
    return ~std::size_t{0};
}
// The row of a class and layout, or null.
constexpr const kzPrimWordsRow* kzPrimWordsOf(std::uint32_t programClass, std::uint32_t dataAttr) {
    const std::size_t i = kzPrimWordsIndex(programClass, dataAttr);
    return i < std::size(kzPrimWordRows) ? &kzPrimWordRows[i] : nullptr;
}

// Words of one primitive of the row.
constexpr std::uint32_t kzPrimWordCount(const kzPrimWordsRow& r) {
    std::uint32_t n = 0;
    for (const kzPrimWordGroup& g : r.groups) n += g.count;
    return n;
}

// Where the word of a kind for vertex v (in the row's vertex order) lies
// within the primitive's words; ~0 when the row has no such word.
constexpr std::uint32_t kzPrimWordAt(const kzPrimWordsRow& r, kzPrimWordKind kind, std::uint32_t v) {
    std::uint32_t at = 0;
    for (const kzPrimWordGroup& g : r.groups) {
        if (g.kind == kind) return v < g.count ? at + v : ~0u;
        at += g.count;
    }
    return ~0u;
}
