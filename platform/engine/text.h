// What the engine's text files share: the glyphs of a string the engine
// made, for its own software drawing, and the OR of 1-bit glyph rows.
#pragma once

#include <vector>

#include "platform/ddi.h"

namespace vnx::engine {

// Every glyph of a string the engine made (its images belong to the string's
// font); false for any other object.
bool string_glyphs(const STROBJ* pstro, std::vector<GLYPHPOS>* glyphs);

// ORs the set pixels [sx, sx + n) of a row of 1-bit pixels (the leftmost in
// a byte's top bit, as glyph images have them) into a row of the same kind
// from pixel dx on.
inline void or_bits(const BYTE* src, LONG sx, BYTE* dst, LONG dx, LONG n) {
    for (LONG i = 0; i < n; ++i) {
        const LONG s = sx + i, d = dx + i;
        if (src[s >> 3] & (0x80 >> (s & 7))) dst[d >> 3] |= static_cast<BYTE>(0x80 >> (d & 7));
    }
}

}  // namespace vnx::engine
