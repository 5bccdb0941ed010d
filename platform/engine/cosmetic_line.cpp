// The cosmetic-line rule (cosmetic_line.h).
#include "cosmetic_line.h"

#include <algorithm>

namespace vnx::engine {

namespace {

using i128 = __int128;

// floor(a / b) for b > 0.
i128 floor_div(i128 a, i128 b) {
    i128 q = a / b;
    if ((a % b) != 0 && a < 0) --q;
    return q;
}

}  // namespace

std::int64_t CosmeticLine::nearest(std::int64_t v, bool bTiesLarger) {
    return static_cast<std::int64_t>(floor_div(i128{v} + (bTiesLarger ? 8 : 7), 16));
}

CosmeticLine::CosmeticLine(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
    const std::int64_t dx = x1 - x0, dy = y1 - y0;
    const std::int64_t ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    yMajor_ = ay > ax;
    major0_ = yMajor_ ? y0 : x0;
    minor0_ = yMajor_ ? x0 : y0;
    dMajor_ = yMajor_ ? dy : dx;
    dMinor_ = yMajor_ ? dx : dy;
    if (dMajor_ == 0) return;
    // Slope one with x and y moving the same way rounds ties up along x.
    const bool bTiesLarger = ax == ay && (dx > 0) == (dy > 0);
    const std::int64_t a = nearest(major0_, bTiesLarger);
    const std::int64_t b = nearest(major0_ + dMajor_, bTiesLarger);
    step_ = dMajor_ > 0 ? 1 : -1;
    first_ = a;
    count_ = dMajor_ > 0 ? b - a : a - b;
}

void CosmeticLine::pixel(std::int64_t k, std::int64_t* px, std::int64_t* py) const {
    const std::int64_t m = first_ + k * step_;
    // Minor coordinate at 16 m, times |dMajor|: the nearest pixel with ties
    // toward the smaller coordinate is floor((N + 8 D - 1) / (16 D)).
    const i128 d = dMajor_ < 0 ? -i128{dMajor_} : i128{dMajor_};
    const i128 n = i128{minor0_} * d + (i128{16} * m - major0_) * dMinor_ * (dMajor_ < 0 ? -1 : 1);
    const std::int64_t minor = static_cast<std::int64_t>(floor_div(n + 8 * d - 1, 16 * d));
    *px = yMajor_ ? minor : m;
    *py = yMajor_ ? m : minor;
}

void CosmeticLine::index_range(std::int64_t lo, std::int64_t hi, std::int64_t* k0,
                               std::int64_t* k1) const {
    std::int64_t a, b;  // indices of major coordinates lo and hi - 1
    if (step_ > 0) {
        a = lo - first_;
        b = hi - 1 - first_;
    } else {
        a = first_ - (hi - 1);
        b = first_ - lo;
    }
    *k0 = std::clamp<std::int64_t>(a, 0, count_);
    *k1 = std::clamp<std::int64_t>(b + 1, *k0, count_);
}

}  // namespace vnx::engine
