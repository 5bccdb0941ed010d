// The platform's cosmetic-line rule: which pixels a one-pixel-wide line
// between two 28.4 points lights. The engine's software strokes, its clipped
// line enumeration (PATHOBJ_bEnumClipLines) and the board model's line
// primitives all draw by this one rule.
//
// Grid intersection quantization, pixel centres at whole coordinates:
// - The major axis is the one along which the line moves farther (x when
//   both move equally: "slope one"). A line that does not move lights
//   nothing.
// - Along the major axis the line lights one pixel per whole coordinate m,
//   from the pixel nearest the start point up to, and excluding, the pixel
//   nearest the end point (the end point belongs to the next line of a
//   path). "Nearest" rounds a coordinate exactly halfway between two pixels
//   toward the smaller coordinate, except on a slope-one line whose x and y
//   grow together (or shrink together): there toward the larger.
// - At each such m the line lights the pixel of the minor axis nearest the
//   line's exact minor coordinate at m; exactly halfway goes toward the
//   smaller coordinate.
// All arithmetic is exact (integers of 128 bits), so the rule holds for any
// 32-bit end points.
#pragma once

#include <cstdint>

#include "platform/ddi.h"

namespace vnx::engine {

class CosmeticLine {
public:
    // The line from (x0, y0) to (x1, y1), 28.4.
    CosmeticLine(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1);

    // Pixels the line lights; pixel k (0 = the first) lies at major
    // coordinate first_major() + k * major_step().
    std::int64_t count() const { return count_; }
    bool y_major() const { return yMajor_; }
    std::int64_t first_major() const { return first_; }
    int major_step() const { return step_; }

    // Pixel k, device coordinates.
    void pixel(std::int64_t k, std::int64_t* px, std::int64_t* py) const;
    // The pixels [*k0, *k1) whose major coordinate lies in [lo, hi).
    void index_range(std::int64_t lo, std::int64_t hi, std::int64_t* k0, std::int64_t* k1) const;

    // The rule's rounding of a coordinate to its nearest pixel.
    static std::int64_t nearest(std::int64_t v, bool bTiesLarger);

private:
    bool yMajor_ = false;
    int step_ = 1;
    std::int64_t first_ = 0, count_ = 0;
    std::int64_t major0_ = 0, minor0_ = 0;  // start point, major / minor axis
    std::int64_t dMajor_ = 0, dMinor_ = 0;  // deltas
};

}  // namespace vnx::engine
