// The board model's pixel formats: one row per pid pixel format, made from
// the conversions of each format (formats.h).
#include "formats.h"

#include <cstring>

namespace vnx::board {

namespace {

std::uint32_t widen5(std::uint32_t v) { return v << 3 | v >> 2; }

// Each format's stored size and conversions, from which its row is made.
struct Indexed8 {  // 0: palette indices
    static constexpr std::uint32_t kBytes = 1;
    static std::uint32_t reg(std::uint32_t p) { return p; }
    static std::uint32_t pix(std::uint32_t v) { return v & 0xFFu; }
    static std::uint32_t rgb(std::uint32_t p, const std::uint32_t* clut) {
        const std::uint32_t c = clut[p & 0xFF];  // red in the low byte
        return (c & 0xFF) << 16 | (c & 0xFF00) | ((c >> 16) & 0xFF);
    }
};
struct Rgb332 {  // 2: 3-3-2
    static constexpr std::uint32_t kBytes = 1;
    static std::uint32_t reg(std::uint32_t p) { return (p & 0xE0u) << 16 | (p & 0x1Cu) << 11 | (p & 0x3u) << 5; }
    static std::uint32_t pix(std::uint32_t v) {
        return ((v >> 21) & 7u) << 5 | ((v >> 13) & 7u) << 2 | ((v >> 5) & 3u);
    }
    static std::uint32_t rgb(std::uint32_t p, const std::uint32_t*) {
        const std::uint32_t r3 = (p >> 5) & 7, g3 = (p >> 2) & 7, b2 = p & 3;
        return (r3 * 255 / 7) << 16 | (g3 * 255 / 7) << 8 | (b2 * 255 / 3);
    }
};
struct Rgb555 {  // 3: 5-5-5 as stored (bit 15 the overlay bit)
    static constexpr std::uint32_t kBytes = 2;
    static std::uint32_t reg(std::uint32_t p) { return p; }
    static std::uint32_t pix(std::uint32_t v) { return v & 0xFFFFu; }
    static std::uint32_t rgb(std::uint32_t p, const std::uint32_t*) {
        return widen5((p >> 10) & 31) << 16 | widen5((p >> 5) & 31) << 8 | widen5(p & 31);
    }
};
struct Rgb1555 {  // 4: 1-5-5-5 in colour form
    static constexpr std::uint32_t kBytes = 2;
    static std::uint32_t reg(std::uint32_t p) {
        return (p & 0x8000u) << 8 | (p & 0x7C00u) << 8 | (p & 0x3E0u) << 5 | (p & 0x1Fu) << 2;
    }
    static std::uint32_t pix(std::uint32_t v) {
        return ((v >> 23) & 1u) << 15 | ((v >> 18) & 0x1Fu) << 10 | ((v >> 10) & 0x1Fu) << 5 |
               ((v >> 2) & 0x1Fu);
    }
    static std::uint32_t rgb(std::uint32_t p, const std::uint32_t* clut) { return Rgb555::rgb(p, clut); }
};
struct Rgb32 {  // 5: 32 bits as stored
    static constexpr std::uint32_t kBytes = 4;
    static std::uint32_t reg(std::uint32_t p) { return p; }
    static std::uint32_t pix(std::uint32_t v) { return v; }
    static std::uint32_t rgb(std::uint32_t p, const std::uint32_t*) { return p & 0xFFFFFFu; }
};
struct Overlay32 {  // 6: the top byte of a 32-bit pixel's word
    static constexpr std::uint32_t kBytes = 4;
    static constexpr bool kTopByteOnly = true;
    static std::uint32_t reg(std::uint32_t p) { return p >> 24; }
    static std::uint32_t pix(std::uint32_t v) { return (v & 0xFFu) << 24; }
    static std::uint32_t rgb(std::uint32_t p, const std::uint32_t*) { return p & 0xFFFFFFu; }
};

template <typename F>
constexpr bool top_byte_only() {
    if constexpr (requires { F::kTopByteOnly; }) return F::kTopByteOnly;
    return false;
}

template <std::uint32_t kBytes>
std::uint32_t read(const std::uint8_t* p) {
    if constexpr (kBytes == 1) {
        return *p;
    } else if constexpr (kBytes == 2) {
        std::uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    } else {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
}

template <typename F>
void write(std::uint8_t* p, std::uint32_t pixel) {
    if constexpr (top_byte_only<F>()) {
        p[3] = static_cast<std::uint8_t>(pixel >> 24);
    } else if constexpr (F::kBytes == 1) {
        *p = static_cast<std::uint8_t>(pixel);
    } else if constexpr (F::kBytes == 2) {
        const auto v = static_cast<std::uint16_t>(pixel);
        std::memcpy(p, &v, 2);
    } else {
        std::memcpy(p, &pixel, 4);
    }
}

template <typename F>
void load_span(const std::uint8_t* p, int n, std::uint32_t* values) {
    for (int i = 0; i < n; ++i) values[i] = F::reg(read<F::kBytes>(p + i * F::kBytes));
}

template <typename F>
void store_span(std::uint8_t* p, int n, const std::uint32_t* values, const bool* written) {
    if (written == nullptr) {
        for (int i = 0; i < n; ++i) write<F>(p + i * F::kBytes, F::pix(values[i]));
        return;
    }
    for (int i = 0; i < n; ++i) {
        if (written[i]) write<F>(p + i * F::kBytes, F::pix(values[i]));
    }
}

template <typename F>
void fill_span(std::uint8_t* p, int n, std::uint32_t value) {
    const std::uint32_t pixel = F::pix(value);
    if constexpr (F::kBytes == 1) {
        std::memset(p, static_cast<int>(pixel & 0xFF), static_cast<std::size_t>(n));
    } else {
        for (int i = 0; i < n; ++i) write<F>(p + i * F::kBytes, pixel);
    }
}

template <typename F>
constexpr PixelFormat row() {
    return PixelFormat{F::kBytes,    F::reg,    F::pix, load_span<F>, store_span<F>,
                       fill_span<F>, F::rgb, top_byte_only<F>()};
}

constexpr PixelFormat kNone{};

// By pid pixel format (pid bits 13-15).
constexpr PixelFormat kPixelFormats[8] = {
    row<Indexed8>(), kNone, row<Rgb332>(), row<Rgb555>(),
    row<Rgb1555>(),  row<Rgb32>(), row<Overlay32>(), kNone,
};

}  // namespace

const PixelFormat& pixel_format(std::uint32_t format) { return kPixelFormats[format & 7]; }

std::uint32_t load_pixel(const std::uint8_t* p, std::uint32_t bytesPerPixel) {
    switch (bytesPerPixel) {
    case 1: return read<1>(p);
    case 2: return read<2>(p);
    default: return read<4>(p);
    }
}

void move_pixels(std::uint8_t* dst, const std::uint8_t* src, std::size_t n, const PixelFormat& f) {
    if (!f.topByteOnly) {
        std::memcpy(dst, src, n * f.bytesPerPixel);
        return;
    }
    for (std::size_t i = 0; i < n; ++i) write<Overlay32>(dst + 4 * i, read<4>(src + 4 * i));
}

}  // namespace vnx::board
