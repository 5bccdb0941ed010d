// The antialiased lines of drawing packets (classes 3 and 4 with the line
// flag) carried out into board memory: every pixel the line's rectangle
// touches runs the packet's render program, its coverage register weighed
// by the part of the pixel the rectangle covers (render3d.h, "Antialiased
// lines").
#include <algorithm>
#include <cmath>
#include <iterator>

#include "run3d.h"

namespace vnx::board::exec {

namespace {

// Sub-samples a pixel side: the coverage is counted on a 16 x 16 grid of
// points spread evenly over the pixel's square.
constexpr int kGrid = 16;

struct Segment {
    // Data registers 27-30: their first end's, second end's and third word.
    std::uint32_t word[4][3] = {};
    std::uint32_t a = 0, b = 0;  // positions
    std::uint32_t widthWord = 0;
};

std::uint32_t lerp_word(std::uint32_t a, std::uint32_t b, double t) {
    return static_cast<std::uint32_t>(std::llround(static_cast<double>(a) + (static_cast<double>(b) - a) * t));
}

std::uint32_t lerp_lanes(std::uint32_t a, std::uint32_t b, double t) {
    std::uint32_t out = 0;
    for (int k = 0; k < 4; ++k) out |= (lerp_word((a >> (8 * k)) & 0xFFu, (b >> (8 * k)) & 0xFFu, t) & 0xFFu) << (8 * k);
    return out;
}

class AaLineRunner {
public:
    AaLineRunner(FragmentRunner& run, const DecodedPacket& packet) : run_(run), packet_(packet) {
        const Fields& f = run_.fields();
        // The coverage register: the last register but rgb0 loaded once a
        // vertex (its words come last of the data words).
        for (int k = 3; k >= 1 && coverage_ < 0; --k)
            if (f.loadKind[k] == KZU_LOAD_VERTEX) coverage_ = k;
    }

    void segment(std::size_t prim) {
        const std::uint32_t* w = run_.primitive(prim);
        if (w == nullptr) return;
        const Fields& f = run_.fields();
        const std::uint32_t* end = w + packet_.wordsPerPrimitive;
        Segment s;
        std::uint32_t at = f.primConstants + f.primMask;
        for (std::uint32_t k = 0; k < 4; ++k) {
            switch (f.loadKind[k]) {
            case KZU_LOAD_PACKET: data_register(packet_, f, k, prim, 0, &s.word[k][0]); break;
            case KZU_LOAD_PRIMITIVE: s.word[k][0] = w[at++]; break;
            case KZU_LOAD_VERTEX: {
                const std::uint32_t n = k == 0 ? 2 : 3;
                for (std::uint32_t i = 0; i < n; ++i) s.word[k][i] = w[at + i];
                at += n;
                continue;
            }
            default: break;
            }
            s.word[k][1] = s.word[k][2] = s.word[k][0];
        }
        if (w + at + 3 > end) return;
        s.a = w[at];
        s.b = w[at + 1];
        s.widthWord = w[at + 2];
        stippled_ = (packet_.command & KZU_HDR_STIPPLE) != 0;
        if (stippled_) std::copy_n(w + f.primConstants, std::size(block_), block_);
        draw(s);
    }

private:
    bool stipple_bit(std::int64_t k) const {
        if (!stippled_) return true;
        const std::uint32_t j = static_cast<std::uint32_t>(k) & 255u;
        return (block_[j / 32] >> (j % 32)) & 1u;
    }

    void draw(const Segment& s) {
        // In 28.4 units, the pixel (x, y) centred on (16x, 16y).
        const double ax = static_cast<double>(fixed_x(s.a)), ay = static_cast<double>(fixed_y(s.a));
        const double bx = static_cast<double>(fixed_x(s.b)), by = static_cast<double>(fixed_y(s.b));
        const double dx = bx - ax, dy = by - ay;
        const double length = std::sqrt(dx * dx + dy * dy);
        if (length == 0.0) return;
        const double ux = dx / length, uy = dy / length;
        // The line's width: the width word's kernel less one pixel.
        const std::int64_t kernel = s.widthWord / 8;
        if (kernel < 2) return;
        const double half = 8.0 * static_cast<double>(kernel - 1);
        const double reach = half + 16.0;
        std::int64_t x0 = static_cast<std::int64_t>(std::floor((std::min(ax, bx) - reach) / 16.0));
        std::int64_t x1 = static_cast<std::int64_t>(std::ceil((std::max(ax, bx) + reach) / 16.0));
        std::int64_t y0 = static_cast<std::int64_t>(std::floor((std::min(ay, by) - reach) / 16.0));
        std::int64_t y1 = static_cast<std::int64_t>(std::ceil((std::max(ay, by) + reach) / 16.0));
        if (!run_.clip_box(&x0, &y0, &x1, &y1)) return;
        const bool xMajor = std::abs(dx) >= std::abs(dy);
        const std::int64_t startPixel = static_cast<std::int64_t>(std::floor((xMajor ? ax : ay) / 16.0 + 0.5));
        const std::int64_t step = (xMajor ? dx : dy) >= 0 ? 1 : -1;
        const std::int64_t phase = startPixel & 31;
        const Fields& f = run_.fields();
        for (std::int64_t y = y0; y <= y1; ++y) {
            for (std::int64_t x = x0; x <= x1; ++x) {
                int covered = 0;
                for (int j = 0; j < kGrid; ++j) {
                    const double py = 16.0 * static_cast<double>(y) + (j + 0.5) * 16.0 / kGrid - 8.0 - ay;
                    for (int i = 0; i < kGrid; ++i) {
                        const double px = 16.0 * static_cast<double>(x) + (i + 0.5) * 16.0 / kGrid - 8.0 - ax;
                        const double along = px * ux + py * uy, across = px * uy - py * ux;
                        if (along >= 0.0 && along <= length && std::abs(across) <= half) ++covered;
                    }
                }
                if (covered == 0) continue;
                const double c = static_cast<double>(covered) / (kGrid * kGrid);
                const double cx = 16.0 * static_cast<double>(x) - ax, cy = 16.0 * static_cast<double>(y) - ay;
                const double t = std::clamp((cx * ux + cy * uy) / length, 0.0, 1.0);
                std::uint32_t values[4] = {};
                for (int k = 0; k < 4; ++k) {
                    if (f.loadKind[k] != KZU_LOAD_VERTEX) {
                        values[k] = s.word[k][0];
                    } else if (k == 0) {
                        values[k] = lerp_lanes(s.word[k][0], s.word[k][1], t);
                    } else if (k == coverage_) {
                        // From the third word at no coverage to the value
                        // along the line at full coverage, its 8-bit level
                        // (0xFF full) held as an alpha word (256 = 1.0).
                        const double v = static_cast<double>(lerp_word(s.word[k][0], s.word[k][1], t));
                        const double e = static_cast<double>(s.word[k][2]);
                        const double level = std::clamp(e + (v - e) * c, 0.0, 255.0);
                        values[k] = static_cast<std::uint32_t>(std::llround(level * 256.0 / 255.0));
                    } else {
                        values[k] = lerp_word(s.word[k][0], s.word[k][1], t);
                    }
                }
                const std::int64_t m = xMajor ? x : y;
                run_.fragment(x, y, values, stipple_bit((m - startPixel) * step + phase));
            }
        }
    }

    FragmentRunner& run_;
    const DecodedPacket& packet_;
    int coverage_ = -1;
    bool stippled_ = false;
    std::uint32_t block_[8] = {};
};

}  // namespace

bool draw_aalines3d(Impl& board, int r, const DecodedPacket& packet) {
    if (packet.verticesPerPrimitive != 2) return false;
    Program3 prog;
    if (!compile3(packet.instructions, &prog)) return false;
    FragmentRunner run(board, r, packet, prog);
    AaLineRunner line(run, packet);
    for (std::size_t i = 0; i < packet.primitives; ++i) line.segment(i);
    return true;
}

}  // namespace vnx::board::exec
