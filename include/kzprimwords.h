// The words of one primitive in a drawing packet, declared once per
// (program class, layout code): the render functions of the GL server write
// a primitive's words in this order and the board model reads them by it.
// The program class is the packet command word's bits 0-4 (kzuinstr.h);
// the layout code is the render program's dataAttr. Each row lists the
// word groups in stream order; a group holds one word per vertex, the
// vertices in the row's own order (for triangles: the newest vertex, then
// the two the face's winding names P and Q).
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

enum kzPrimWordKind : std::uint32_t {
    KZ_PW_COLOUR,    // a packed colour word (data register rgb0)
    KZ_PW_DEPTH,     // a depth word (data register z0): 16-bit form or 24 bits, by the depth buffer
    KZ_PW_POSITION,  // a packed 28.4 position, (y << 16) | x
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

inline constexpr kzPrimWordsRow kzPrimWordRows[] = {
    // Triangles with a packed colour and a depth word per vertex (the
    // layout-12 strip fill): colours, depths, positions, each newest first.
    {5, 12, 3, {{KZ_PW_COLOUR, 3}, {KZ_PW_DEPTH, 3}, {KZ_PW_POSITION, 3}}},
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
