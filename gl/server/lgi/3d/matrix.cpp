// 4x4 matrix arithmetic of the lgi layer: products, the inverse, the affine
// test and the transforms of vectors and planes. Matrices are row-major 16
// floats; every result is computed in single precision.
#include <cmath>
#include <cstring>
#include <utility>

#include "context.h"
#include "matmul.h"

void _NMatIdentity(float* out) {
    for (ULONG i = 0; i < N_MATRIX_WORDS; ++i) out[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

void _NMatMul4(const float* a, const float* b, float* out) { __glXMatMul(a, b, out); }

ULONG _NMatInvert4(const float* m, float* out) {
    // A matrix holding an infinity or a NaN has no usable inverse: without
    // this test the elimination would carry NaNs into everything derived
    // from the result (lighting, texture generation, clip planes).
    float a[4][4];
    float inv[4][4];
    for (ULONG r = 0; r < 4; ++r) {
        for (ULONG c = 0; c < 4; ++c) {
            a[r][c] = m[4 * r + c];
            inv[r][c] = r == c ? 1.0f : 0.0f;
            if (!std::isfinite(a[r][c])) {
                _NMatIdentity(out);
                return 0;
            }
        }
    }
    for (ULONG col = 0; col < 4; ++col) {
        ULONG piv = col;
        for (ULONG r = col + 1; r < 4; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[piv][col])) piv = r;
        if (a[piv][col] == 0.0f) {
            _NMatIdentity(out);
            return 0;
        }
        std::swap(a[piv], a[col]);
        std::swap(inv[piv], inv[col]);
        const float f = 1.0f / a[col][col];
        for (ULONG c = 0; c < 4; ++c) {
            a[col][c] *= f;
            inv[col][c] *= f;
        }
        for (ULONG r = 0; r < 4; ++r) {
            if (r == col) continue;
            const float g = a[r][col];
            if (g == 0.0f) continue;
            for (ULONG c = 0; c < 4; ++c) {
                a[r][c] -= g * a[col][c];
                inv[r][c] -= g * inv[col][c];
            }
        }
    }
    for (ULONG r = 0; r < 4; ++r)
        for (ULONG c = 0; c < 4; ++c) {
            if (!std::isfinite(inv[r][c])) {  // overflowed: as good as singular
                _NMatIdentity(out);
                return 0;
            }
            out[4 * r + c] = inv[r][c];
        }
    return 1;
}

ULONG _NMatAffine(const float* m) {
    return (m[12] == 0.0f && m[13] == 0.0f && m[14] == 0.0f && m[15] == 1.0f) ? 1 : 0;
}

void _NTransformVec4(const float* v, float* out, const float* m) {
    float r[4];
    for (ULONG i = 0; i < 4; ++i)
        r[i] = m[4 * i] * v[0] + m[4 * i + 1] * v[1] + m[4 * i + 2] * v[2] + m[4 * i + 3] * v[3];
    std::memcpy(out, r, sizeof r);
}

void _NTransformDir3(const float* v, float* out, const float* m) {
    float r[3];
    for (ULONG i = 0; i < 3; ++i) r[i] = m[4 * i] * v[0] + m[4 * i + 1] * v[1] + m[4 * i + 2] * v[2];
    std::memcpy(out, r, sizeof r);
}

LONG _NTruncToLong(float f) {
    if (!(f == f)) return 0;
    if (f >= 2147483648.0f) return 0x7FFFFFFF;
    if (f <= -2147483648.0f) return static_cast<LONG>(0x80000000u);
    return static_cast<LONG>(f);
}
