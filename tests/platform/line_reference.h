// The published cosmetic-line rule written out plainly for tests: for each
// whole coordinate of the major axis between the end points' nearest
// pixels, the minor pixel whose centre lies within half a pixel of the line
// (exactly half a pixel: the smaller one), found by testing candidates.
// Nothing here shares code with the engine, the board model or the driver.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace ref {

using Pixel = std::pair<long long, long long>;

// The pixel p nearest the 28.4 coordinate v: 16p - 8 < v <= 16p + 8 (ties to
// the smaller p), or 16p - 8 <= v < 16p + 8 when bTiesLarger.
inline long long nearest_pixel(long long v, bool bTiesLarger) {
    const long long guess = v >= 0 ? v / 16 : -((-v) / 16);
    for (long long p = guess - 2; p <= guess + 2; ++p) {
        const bool in = bTiesLarger ? (16 * p - 8 <= v && v < 16 * p + 8) : (16 * p - 8 < v && v <= 16 * p + 8);
        if (in) return p;
    }
    std::abort();
}

// The pixels of the line from (x0, y0) to (x1, y1) (28.4), first pixel first.
inline std::vector<Pixel> line_pixels(long long x0, long long y0, long long x1, long long y1) {
    std::vector<Pixel> out;
    const long long dx = x1 - x0, dy = y1 - y0;
    if (dx == 0 && dy == 0) return out;
    const bool bYMajor = std::llabs(dy) > std::llabs(dx);
    const bool bTiesLarger = std::llabs(dx) == std::llabs(dy) && (dx > 0) == (dy > 0);
    const long long a0 = bYMajor ? y0 : x0, a1 = bYMajor ? y1 : x1;
    const long long b0 = bYMajor ? x0 : y0, b1 = bYMajor ? x1 : y1;
    const long long first = nearest_pixel(a0, bTiesLarger), last = nearest_pixel(a1, bTiesLarger);
    const int step = a1 > a0 ? 1 : -1;
    for (long long m = first; m != last; m += step) {
        // Minor coordinate at 16 m: b0 + (16 m - a0) (b1 - b0) / (a1 - a0),
        // compared scaled by the denominator.
        __int128 den = a1 - a0, num = __int128(b0) * den + __int128(16 * m - a0) * (b1 - b0);
        if (den < 0) {
            den = -den;
            num = -num;
        }
        const long long approx = static_cast<long long>(num / (den * 16));
        bool found = false;
        for (long long q = approx - 2; q <= approx + 2 && !found; ++q) {
            const __int128 off = num - __int128(16) * q * den;  // (minor - 16 q) * den
            if (-8 * den < off && off <= 8 * den) {
                out.push_back(bYMajor ? Pixel{q, m} : Pixel{m, q});
                found = true;
            }
        }
        if (!found) std::abort();
    }
    return out;
}

}  // namespace ref
