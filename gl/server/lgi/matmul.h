// The 4x4 matrix product and inverse that the GL layer's matrix stacks and
// the lgi layer both compute: row-major 16 floats, out = a x b, each element
// the sum of four products taken in this order, in single precision, so that
// both layers derive the very same matrices. out may be a or b.
#pragma once

#include <cmath>
#include <cstring>
#include <utility>

inline void __glXMatMul(const float* a, const float* b, float* out) {
    float r[16];
    for (unsigned i = 0; i < 4; ++i)
        for (unsigned j = 0; j < 4; ++j)
            r[4 * i + j] = a[4 * i] * b[j] + a[4 * i + 1] * b[4 + j] + a[4 * i + 2] * b[8 + j] +
                           a[4 * i + 3] * b[12 + j];
    std::memcpy(out, r, sizeof r);
}

// Inverts m into out by Gauss-Jordan elimination with partial pivoting:
// true, or false when m has no inverse (a zero pivot, or values that are
// not finite); out is then the identity. out may be m.
inline bool __glXMatInvert(const float* m, float* out) {
    auto identity = [out] {
        for (unsigned i = 0; i < 16; ++i) out[i] = (i % 5 == 0) ? 1.0f : 0.0f;
        return false;
    };
    // A matrix holding an infinity or a NaN has no usable inverse: without
    // this test the elimination would carry NaNs into everything derived
    // from the result (lighting, texture generation, clip planes).
    float a[4][4];
    float inv[4][4];
    for (unsigned r = 0; r < 4; ++r) {
        for (unsigned c = 0; c < 4; ++c) {
            a[r][c] = m[4 * r + c];
            inv[r][c] = r == c ? 1.0f : 0.0f;
            if (!std::isfinite(a[r][c])) return identity();
        }
    }
    for (unsigned col = 0; col < 4; ++col) {
        unsigned piv = col;
        for (unsigned r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[piv][col])) piv = r;
        if (a[piv][col] == 0.0f) return identity();
        std::swap(a[piv], a[col]);
        std::swap(inv[piv], inv[col]);
        const float f = 1.0f / a[col][col];
        for (unsigned c = 0; c < 4; ++c) {
            a[col][c] *= f;
            inv[col][c] *= f;
        }
        for (unsigned r = 0; r < 4; ++r) {
            if (r == col) continue;
            const float g = a[r][col];
            if (g == 0.0f) continue;
            for (unsigned c = 0; c < 4; ++c) {
                a[r][c] -= g * a[col][c];
                inv[r][c] -= g * inv[col][c];
            }
        }
    }
    for (unsigned r = 0; r < 4; ++r)
        for (unsigned c = 0; c < 4; ++c)
            if (!std::isfinite(inv[r][c])) return identity();  // overflowed: as good as singular
    for (unsigned r = 0; r < 4; ++r)
        for (unsigned c = 0; c < 4; ++c) out[4 * r + c] = inv[r][c];
    return true;
}
