// The 4x4 matrix product that the GL layer's matrix stacks and the lgi
// layer both compute: row-major 16 floats, out = a x b, each element the
// sum of four products taken in this order, in single precision, so that
// both layers derive the very same matrices. out may be a or b.
#pragma once

#include <cstring>

inline void __glXMatMul(const float* a, const float* b, float* out) {
    float r[16];
    for (unsigned i = 0; i < 4; ++i)
        for (unsigned j = 0; j < 4; ++j)
            r[4 * i + j] = a[4 * i] * b[j] + a[4 * i + 1] * b[4 + j] + a[4 * i + 2] * b[8 + j] +
                           a[4 * i + 3] * b[12 + j];
    std::memcpy(out, r, sizeof r);
}
