// An independent 4x4 reference for the matrix tests: double precision,
// column vectors, matrices built from their textbook formulas.
#pragma once

#include <array>
#include <cmath>

namespace mref {

// Row-major: element (r, c) at 4r + c.
using M4 = std::array<double, 16>;
using V4 = std::array<double, 4>;

inline M4 Identity() {
    M4 m{};
    for (int i = 0; i < 4; ++i) m[i * 5] = 1;
    return m;
}
inline M4 Mul(const M4& a, const M4& b) {
    M4 r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) r[4 * i + j] += a[4 * i + k] * b[4 * k + j];
    return r;
}
inline V4 Apply(const M4& m, const V4& v) {
    V4 r{};
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k) r[i] += m[4 * i + k] * v[k];
    return r;
}
inline M4 Translate(double x, double y, double z) {
    M4 m = Identity();
    m[3] = x;
    m[7] = y;
    m[11] = z;
    return m;
}
inline M4 Scale(double x, double y, double z) {
    M4 m = Identity();
    m[0] = x;
    m[5] = y;
    m[10] = z;
    return m;
}
// Rotation by deg degrees about a unit axis, by Rodrigues' formula.
inline M4 Rotate(double deg, double x, double y, double z) {
    const double a = deg * M_PI / 180.0, c = std::cos(a), s = std::sin(a);
    const double K[9] = {0, -z, y, z, 0, -x, -y, x, 0};
    M4 m = Identity();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double kk = 0;
            for (int t = 0; t < 3; ++t) kk += K[3 * i + t] * K[3 * t + j];
            m[4 * i + j] = (i == j ? 1.0 : 0.0) + s * K[3 * i + j] + (1 - c) * kk;
        }
    return m;
}
inline M4 Frustum(double l, double r, double b, double t, double n, double f) {
    M4 m{};
    m[0] = 2 * n / (r - l);
    m[2] = (r + l) / (r - l);
    m[5] = 2 * n / (t - b);
    m[6] = (t + b) / (t - b);
    m[10] = -(f + n) / (f - n);
    m[11] = -2 * f * n / (f - n);
    m[14] = -1;
    return m;
}
inline M4 Ortho(double l, double r, double b, double t, double n, double f) {
    M4 m = Identity();
    m[0] = 2 / (r - l);
    m[3] = -(r + l) / (r - l);
    m[5] = 2 / (t - b);
    m[7] = -(t + b) / (t - b);
    m[10] = -2 / (f - n);
    m[11] = -(f + n) / (f - n);
    return m;
}
// GL's column-major array of a matrix.
inline std::array<float, 16> ColumnMajor(const M4& m) {
    std::array<float, 16> a{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) a[4 * c + r] = static_cast<float>(m[4 * r + c]);
    return a;
}
inline std::array<float, 16> RowMajorF(const M4& m) {
    std::array<float, 16> a{};
    for (int i = 0; i < 16; ++i) a[i] = static_cast<float>(m[i]);
    return a;
}

}  // namespace mref
