// 4x4 matrix arithmetic of the lgi layer: products, the inverse, the affine
// test and the transforms of vectors and planes. Matrices are row-major 16
// floats; every result is computed in single precision.
#include <cmath>
#include <cstring>
#include <utility>

#include "3d/context/context.h"
#include "matmul.h"

void _NMatIdentity(float* out) {
    for (ULONG i = 0; i < N_MATRIX_WORDS; ++i) out[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

void _NMatMul4(const float* a, const float* b, float* out) { __glXMatMul(a, b, out); }

ULONG _NMatInvert4(const float* m, float* out) { return __glXMatInvert(m, out) ? 1 : 0; }

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
