// The lines of drawing packets (thin class 1, wide class 2, each with the
// line flag) carried out into board memory: each segment's fragments chosen
// by the line rules of render3d.h ("Lines"), each running the packet's
// render program with the segment's data registers interpolated along it.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>

#include "run3d.h"

namespace vnx::board::exec {

namespace {

constexpr std::uint32_t kWideClass = 2;

struct End {
    double x, y;           // pixels
    std::uint32_t data[4]; // data registers 27-30 at this end
};

// A data register's value a fraction t of the way from a to b: per lane for
// rgb0, as a whole word for the others; rounded to nearest.
std::uint32_t lerp(std::uint32_t a, std::uint32_t b, double t, bool perLane) {
    auto mix = [t](double p, double q) { return p + (q - p) * t; };
    if (!perLane) return static_cast<std::uint32_t>(std::llround(mix(a, b)));
    std::uint32_t out = 0;
    for (int k = 0; k < 4; ++k) {
        const double v = mix((a >> (8 * k)) & 0xFFu, (b >> (8 * k)) & 0xFFu);
        out |= (static_cast<std::uint32_t>(std::lround(v)) & 0xFFu) << (8 * k);
    }
    return out;
}

// A depth word of the 16-bit form a fraction t of the way from a to b: the
// depths the words stand for interpolated, rounded to nearest, and put back
// in that form.
std::uint32_t lerp_depth16(std::uint32_t a, std::uint32_t b, double t) {
    const double da = depth_of_form16(a), db = depth_of_form16(b);
    return form16_of_depth(static_cast<std::uint32_t>(std::llround(da + (db - da) * t)));
}

class LineRunner {
public:
    LineRunner(FragmentRunner& run, const DecodedPacket& packet) : run_(run), packet_(packet) {}

    void segment(std::size_t prim) {
        const std::uint32_t* w = run_.primitive(prim);
        if (w == nullptr) return;
        const Fields& f = run_.fields();
        const bool wide = (packet_.command & 0xFu) == kWideClass;
        End e[2];
        for (int v = 0; v < 2; ++v) {
            const std::uint32_t pos = packet_.vertex(prim, static_cast<std::size_t>(v));
            e[v].x = static_cast<double>(fixed_x(pos)) / 16.0;
            e[v].y = static_cast<double>(fixed_y(pos)) / 16.0;
            for (std::uint32_t k = 0; k < 4; ++k) {
                e[v].data[k] = 0;
                data_register(packet_, f, k, prim, static_cast<std::size_t>(v), &e[v].data[k]);
            }
        }
        // A wide line's width word: the width in pixels x 8.
        std::int64_t width = 1;
        if (wide) width = std::max<std::int64_t>(1, packet_.primitiveWords[(prim + 1) * packet_.wordsPerPrimitive - 1] / 8);
        // The stipple block: the eight words after the primitive's
        // constants of a stippled line packet.
        stippled_ = (packet_.command & KZU_HDR_STIPPLE) != 0;
        if (stippled_) std::copy_n(w + f.primConstants, std::size(block_), block_);
        draw(e, width);
    }

private:
    bool stipple_bit(std::int64_t k) const {
        if (!stippled_) return true;
        const std::uint32_t j = static_cast<std::uint32_t>(k) & 255u;
        return (block_[j / 32] >> (j % 32)) & 1u;
    }

    void draw(const End (&e)[2], std::int64_t width) {
        const double dx = e[1].x - e[0].x, dy = e[1].y - e[0].y;
        // GL's major axis: x when |dx| >= |dy|. A wide diagonal covers the
        // same pixels replicated along either axis; it steps along y, its
        // fragments sharing their data along rows.
        const bool glXMajor = std::abs(dx) >= std::abs(dy);
        const bool xMajor = glXMajor && !(width >= 2 && std::abs(dx) == std::abs(dy));
        const double major0 = xMajor ? e[0].x : e[0].y, major1 = xMajor ? e[1].x : e[1].y;
        const double minor0 = xMajor ? e[0].y : e[0].x, minor1 = xMajor ? e[1].y : e[1].x;
        if (major0 == major1) return;
        const int step = major1 > major0 ? 1 : -1;
        // Pixel columns (rows) whose sample points lie from the first end
        // up to, not including, the second.
        std::int64_t first = static_cast<std::int64_t>(std::ceil(major0));
        std::int64_t last = static_cast<std::int64_t>(std::ceil(major1)) - 1;
        if (step < 0) {
            first = static_cast<std::int64_t>(std::floor(major0));
            last = static_cast<std::int64_t>(std::floor(major1)) + 1;
        }
        if ((last - first) * step < 0) return;
        // The stipple count: the steps from the pixel holding the first end
        // on GL's major axis (the first fragment is one step on when that
        // end lies before its column's sample point), plus the block's
        // phase, the low five bits of that pixel's coordinate.
        const double g0 = glXMajor ? e[0].x : e[0].y, g1 = glXMajor ? e[1].x : e[1].y;
        const double hold = std::floor(g0);
        const std::int64_t lead = g1 > g0 ? static_cast<std::int64_t>(std::ceil(g0) - hold) : 0;
        const std::int64_t phase = static_cast<std::int64_t>(hold) & 31;
        // Which of two pixels equally near takes the fragment. Thin: the
        // one on the first end's side, on a horizontal segment the lower
        // (larger y), on a vertical one the left. Wide: the band of width w
        // about the segment keeps a sample point on its left edge (the
        // interior to its right): the smaller x across a y-major segment;
        // across an x-major one the smaller y where y falls as x grows, else
        // the larger y.
        const bool smaller = width >= 2 ? !xMajor || (minor1 - minor0) * (major1 - major0) < 0
                                        : minor1 != minor0 ? minor1 > minor0 : !xMajor;
        const Fields& f = run_.fields();
        for (std::int64_t m = first;; m += step) {
            const double t = (static_cast<double>(m) - major0) / (major1 - major0);
            const double minor = minor0 + (minor1 - minor0) * t;
            std::uint32_t values[4];
            for (std::uint32_t k = 0; k < 4; ++k) {
                const double tc = std::clamp(t, 0.0, 1.0);
                if (f.loadKind[k] != KZU_LOAD_VERTEX) values[k] = e[0].data[k];  // the packet's or the segment's one word
                else if (k != 0 && run_.depth_word16(k)) values[k] = lerp_depth16(e[0].data[k], e[1].data[k], tc);
                else values[k] = lerp(e[0].data[k], e[1].data[k], tc, k == 0);
            }
            const bool on = stipple_bit((m - first) * step + lead + phase);
            // The w pixels nearest the segment across the major axis.
            const double near = minor - static_cast<double>(width - 1) / 2.0;
            const std::int64_t lo = static_cast<std::int64_t>(smaller ? std::ceil(near - 0.5) : std::floor(near + 0.5));
            for (std::int64_t i = 0; i < width; ++i) {
                const std::int64_t n = lo + i;
                if (xMajor) run_.fragment(m, n, values, on);
                else run_.fragment(n, m, values, on);
            }
            if (m == last) break;
        }
    }

    FragmentRunner& run_;
    const DecodedPacket& packet_;
    bool stippled_ = false;
    std::uint32_t block_[8] = {};
};

}  // namespace

bool draw_lines3d(Impl& board, int r, const DecodedPacket& packet) {
    if (packet.verticesPerPrimitive != 2) return false;
    Program3 prog;
    if (!compile3(packet.instructions, &prog)) return false;
    FragmentRunner run(board, r, packet, prog);
    LineRunner line(run, packet);
    for (std::size_t i = 0; i < packet.primitives; ++i) line.segment(i);
    return true;
}

}  // namespace vnx::board::exec
