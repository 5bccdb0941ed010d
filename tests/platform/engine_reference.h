// What the engine's drawing tests check against: bitmaps owned by a test,
// single pixels read and written straight from the format's definition, and
// raster operations evaluated bit by bit from the ROP3 truth table. Nothing
// here shares code with the engine.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "platform/engine.h"
#include "platform/faults.h"

namespace ref {

inline ULONG bits_of(ULONG iFormat) {
    switch (iFormat) {
    case BMF_1BPP: return 1;
    case BMF_4BPP: return 4;
    case BMF_8BPP: return 8;
    case BMF_16BPP: return 16;
    case BMF_24BPP: return 24;
    case BMF_32BPP: return 32;
    default: return 0;
    }
}

inline ULONG mask_of(ULONG iFormat) {
    const ULONG b = bits_of(iFormat);
    return b == 32 ? 0xFFFFFFFFu : (1u << b) - 1;
}

inline const BYTE* row(const SURFOBJ* pso, LONG y) {
    return static_cast<const BYTE*>(pso->pvScan0) + static_cast<std::ptrdiff_t>(y) * pso->lDelta;
}

// Pixel (x, y): 1 and 4 bpp leftmost pixel in the high bits; wider formats
// little-endian.
inline ULONG get(const SURFOBJ* pso, LONG x, LONG y) {
    const BYTE* p = row(pso, y);
    switch (pso->iBitmapFormat) {
    case BMF_1BPP: return (p[x / 8] >> (7 - x % 8)) & 1;
    case BMF_4BPP: return x % 2 ? p[x / 2] & 15 : p[x / 2] >> 4;
    case BMF_8BPP: return p[x];
    case BMF_16BPP: return p[2 * x] + 256u * p[2 * x + 1];
    case BMF_24BPP: return p[3 * x] + 256u * p[3 * x + 1] + 65536u * p[3 * x + 2];
    default: return p[4 * x] + 256u * p[4 * x + 1] + 65536u * p[4 * x + 2] + 16777216u * p[4 * x + 3];
    }
}

inline void set(SURFOBJ* pso, LONG x, LONG y, ULONG v) {
    BYTE* p = const_cast<BYTE*>(row(pso, y));
    switch (pso->iBitmapFormat) {
    case BMF_1BPP:
        if (v & 1)
            p[x / 8] |= BYTE(0x80 >> x % 8);
        else
            p[x / 8] &= BYTE(~(0x80 >> x % 8));
        break;
    case BMF_4BPP:
        p[x / 2] = x % 2 ? BYTE((p[x / 2] & 0xF0) | (v & 15)) : BYTE((p[x / 2] & 0x0F) | (v & 15) << 4);
        break;
    default: {
        const ULONG cb = bits_of(pso->iBitmapFormat) / 8;
        for (ULONG i = 0; i < cb; ++i) p[x * cb + i] = BYTE(v >> (8 * i));
    }
    }
}

// The ROP3 definition: result bit b is bit ((P_b << 2) | (S_b << 1) | D_b)
// of the code.
inline ULONG rop3(ULONG rop, ULONG p, ULONG s, ULONG d) {
    ULONG r = 0;
    for (int b = 0; b < 32; ++b) {
        const ULONG i = ((p >> b & 1) << 2) | ((s >> b & 1) << 1) | (d >> b & 1);
        r |= ((rop >> i) & 1) << b;
    }
    return r;
}

// A ROP4: the low byte where the mask bit is 1, the high byte where it is 0.
inline ULONG rop4(ULONG rop, bool bMask, ULONG p, ULONG s, ULONG d) {
    return rop3(bMask ? rop & 0xFF : (rop >> 8) & 0xFF, p, s, d);
}

// A host bitmap the test owns; its SURFOBJ is locked while it lives.
class Bitmap {
public:
    Bitmap(LONG cx, LONG cy, ULONG iFormat, bool bTopDown = true, LONG lWidth = 0,
           PVOID pvBits = nullptr) {
        h = EngCreateBitmap(SIZEL{cx, cy}, lWidth, iFormat, bTopDown ? BMF_TOPDOWN : 0, pvBits);
        EXPECT_NE(h, nullptr);
        pso = h != nullptr ? EngLockSurface(h) : nullptr;
    }
    ~Bitmap() {
        if (pso != nullptr) EngUnlockSurface(pso);
        if (h != nullptr) EngDeleteSurface(h);
    }
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    LONG cx() const { return pso->sizlBitmap.cx; }
    LONG cy() const { return pso->sizlBitmap.cy; }
    ULONG get(LONG x, LONG y) const { return ref::get(pso, x, y); }
    void set(LONG x, LONG y, ULONG v) { ref::set(pso, x, y, v); }
    void randomize(std::uint32_t seed) {
        std::mt19937 rng(seed);
        for (LONG y = 0; y < cy(); ++y)
            for (LONG x = 0; x < cx(); ++x) set(x, y, rng() & mask_of(pso->iBitmapFormat));
    }
    std::vector<ULONG> pixels() const {
        std::vector<ULONG> v;
        for (LONG y = 0; y < cy(); ++y)
            for (LONG x = 0; x < cx(); ++x) v.push_back(get(x, y));
        return v;
    }
    void load(const std::vector<ULONG>& v) {
        size_t i = 0;
        for (LONG y = 0; y < cy(); ++y)
            for (LONG x = 0; x < cx(); ++x) set(x, y, v[i++]);
    }

    HSURF h = nullptr;
    SURFOBJ* pso = nullptr;
};

// Pixels of a bitmap as a list (row by row) for comparisons: the first
// difference is reported with its position.
inline ::testing::AssertionResult same_pixels(const std::vector<ULONG>& expected,
                                              const Bitmap& actual) {
    const std::vector<ULONG> got = actual.pixels();
    for (size_t i = 0; i < got.size(); ++i) {
        if (got[i] != expected[i])
            return ::testing::AssertionFailure()
                   << "pixel (" << i % actual.cx() << ", " << i / actual.cx() << ") is 0x"
                   << std::hex << got[i] << ", expected 0x" << expected[i];
    }
    return ::testing::AssertionSuccess();
}

inline bool inside(const RECTL& r, LONG x, LONG y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

inline bool inside_any(const std::vector<RECTL>& rs, LONG x, LONG y) {
    for (const RECTL& r : rs)
        if (inside(r, x, y)) return true;
    return false;
}

inline LONG mod(LONG a, LONG n) { return ((a % n) + n) % n; }

// Owners of the engine's drawing objects.
struct ClipDeleter {
    void operator()(CLIPOBJ* p) const { vnx::engine::delete_clip(p); }
};
struct XlateDeleter {
    void operator()(XLATEOBJ* p) const { vnx::engine::delete_xlate(p); }
};
struct BrushDeleter {
    void operator()(BRUSHOBJ* p) const { vnx::engine::delete_brush(p); }
};
using Clip = std::unique_ptr<CLIPOBJ, ClipDeleter>;
using Xlate = std::unique_ptr<XLATEOBJ, XlateDeleter>;
using Brush = std::unique_ptr<BRUSHOBJ, BrushDeleter>;

// Checks that a test leaves no engine object behind.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override { counts_ = counts(); }
    void TearDown() override { EXPECT_EQ(counts(), counts_) << "engine objects left behind"; }
    static std::vector<size_t> counts() {
        return {vnx::engine::live_surfaces(), vnx::engine::live_palettes(),
                vnx::engine::live_clips(), vnx::engine::live_brushes(),
                vnx::engine::live_xlates()};
    }
    vnx::faults::Scope faults_;
    std::vector<size_t> counts_;
};

}  // namespace ref
