// The accumulation buffer: host memory of the context's accumulation
// binding, worked by the server's processor. The clear fills it; ACCUM and
// LOAD read the colour buffer row by row into it; MULT and ADD change it in
// place; RETURN computes colour rows from it and draws each row on the
// board through the accumulation program (kz2/render/kzaccumreturn.cpp).
//
// A pixel is two words, word 0 (red << 16) | green and word 1
// (blue << 16) | alpha, each channel an unsigned 16-bit code of a value in
// -1.0 .. 1.0: -1.0 is 0, 0.0 is 32767 and 1.0 is 65535. The pixel of window
// pixel (x, r) (r counted from the window's top row) lies at the pixel
// memory + r x row pitch + 8 x.
#pragma once

#include <bit>

#include "3d/context/context.h"
#include "3d/validate/validate.h"

// Operations of _NAccum, as the GL layer maps GL_ACCUM .. GL_ADD.
enum : ULONG {
    N_ACCUM_ACCUM = 0,
    N_ACCUM_LOAD = 1,
    N_ACCUM_RETURN = 2,
    N_ACCUM_MULT = 3,
    N_ACCUM_ADD = 4,
};

constexpr ULONG N_ACCUM_FLAGS_BYTE = 8000;  // visibility flags of a row, after the colour row
// The widest row worked: the colour row, its flags and the alpha row stay
// inside the image work areas (rows wider than 2000 pixels move the flags
// past the colour row).
constexpr LONG N_ACCUM_MAX_ROW = 65536;

// The 16-bit code of a value: trunc(v x 65535 + 65535) >> 1, its low 16 bits
// (values beyond -1.0 .. 1.0 wrap).
inline ULONG _NAccumEncode(float v) {
    const float t = v * std::bit_cast<float>(0x477FFF00u) + std::bit_cast<float>(0x477FFF00u);
    // Truncation toward zero; out-of-range values keep only the low bits
    // their 64-bit integer has.
    const double d = static_cast<double>(t);
    const auto i = !(d > -9.2e18 && d < 9.2e18) ? std::int64_t{0} : static_cast<std::int64_t>(d);
    return static_cast<ULONG>(i >> 1) & 0xFFFFu;
}
// The value of a code: (2e - 65535) / 65535.
inline float _NAccumDecode(ULONG e) {
    return (2.0f * static_cast<float>(e & 0xFFFFu) - 65535.0f) * std::bit_cast<float>(0x37800080u);
}

// 1 when one of the context's clip boxes holds the window rectangle
// (xa, ya) .. (xb, yb) (inclusive, window pixels, rows from the top).
ULONG _NClipBoxesCover(N_Context* pctx, LONG xa, LONG ya, LONG xb, LONG yb);

// The host-memory accumulation operations and clear.
void _NAccumSw(N_Context* pctx, ULONG op, float value);
void _NClearAccumSw(N_Context* pctx);
// The buffer in board memory is not worked: both do nothing.
void _NAccumBoard(N_Context* pctx, ULONG op, float value);
void _NClearAccumBoard(N_Context* pctx);

// Draws one returned row r of the window into the first draw buffer and
// its alpha buffer: visible colour words in pulColour (left to right), the
// visibility flags of each column in pulFlags (cFlags of them), the alpha
// row (one byte a column) or null.
void _NAccumReturnRowKZ(N_Context* pctx, LONG cVisible, LONG r, const ULONG* pulColour, const BYTE* pjAlpha,
                        const ULONG* pulFlags, ULONG cFlags);
