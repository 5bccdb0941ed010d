// What the engine's text files share: the glyphs of a string the engine
// made, for its own software drawing.
#pragma once

#include <vector>

#include "platform/ddi.h"

namespace vnx::engine {

// Every glyph of a string the engine made (its images belong to the string's
// font); false for any other object.
bool string_glyphs(const STROBJ* pstro, std::vector<GLYPHPOS>* glyphs);

}  // namespace vnx::engine
