// What the engine's path files share: the lines of a path the engine made,
// in drawing order, and the style of a cosmetic line.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/ddi.h"

namespace vnx::engine {

// One line of a path: from a to b; bResetStyle when it starts a subpath
// whose style starts again.
struct PathLine {
    POINTFIX a, b;
    bool bResetStyle;
};

// The lines of a path (a closed subpath's closing line included); false for
// a path the engine did not make.
bool path_lines(const PATHOBJ* ppo, std::vector<PathLine>& lines);
// A path's subpaths as closed polygons (fills); false as above.
bool path_polygons(const PATHOBJ* ppo, std::vector<std::vector<POINTFIX>>& polygons);

// The style of a cosmetic line, in pixels. A user style's entries last
// three pixels a unit (the device's style step is 1/3), the built-in
// alternate style one pixel; dashes and gaps alternate from a dash (from a
// gap with LA_STARTGAP), and the array runs twice a period so an odd
// number of entries alternates too.
class LineStyle {
public:
    // False for attributes the engine cannot draw (a wide line, a style
    // without entries or with an entry that is not positive).
    bool open(const LINEATTRS* pla);
    bool styled() const { return length_ != 0; }
    // The position held in a style state (LINEATTRS.elStyleState).
    std::int64_t position(LONG lState) const;
    // The style state of a position: whole units in the high word, the
    // remainder in the low one, the position taken modulo the period.
    LONG state(std::int64_t pos) const;
    // The same in the thirds of a unit every clipped line reports
    // (CLIPLINE.lStyleState), whatever the style.
    LONG clipline_state(std::int64_t pos) const;
    // Whether the pixel at a position is drawn.
    bool dash(std::int64_t pos) const;

private:
    std::vector<std::int64_t> entries_;  // pixels of each entry, twice over
    std::int64_t length_ = 0;            // the period; 0 for a solid line
    std::int64_t unit_ = 1;
    bool bStartGap_ = false;
};

// The ROP3 of a mix code (R2_BLACK 1 .. R2_WHITE 16; 0 counts as 16): the
// pen is the pattern operand.
inline ULONG mix_rop3(ULONG code) {
    const ULONG r = (code - 1) & 15;
    return (((r & 0xC) << 4) | (r << 2) | (r & 3)) & 0xFF;
}

}  // namespace vnx::engine
