// The layer's report of states that should not arise: it names the place and
// lets processing go on.
#include <cmath>
#include <cstdio>

#include "3d/pipes/pipes.h"

ULONG gNForceSoftwarePaths = 0;

void _NProgrammerError(void) {
    DbgPrint("%s %d: aborting processing due to PROGRAMMER ERROR\n", "debug", 17);
}

void _NZeroWords(ULONG* words, ULONG count) {
    ULONG i = 0;
    for (; i < count % 16; ++i) words[i] = 0;
    for (; i < count; i += 16)
        for (ULONG k = 0; k < 16; ++k) words[i + k] = 0;
}

void _NFloatToText(float value, char* buffer, LONG digits) {
    char* p = buffer;
    if (digits <= 0) {
        *p = 0;
        return;
    }
    auto put = [&](const char* s) {
        while (*s && digits > 0) {
            *p++ = *s++;
            --digits;
        }
    };
    if (std::isnan(value)) {
        put("nan");
    } else if (std::isinf(value)) {
        put("inf");
    } else if (value != 0.0f && std::fpclassify(value) == FP_SUBNORMAL) {
        put("den");
    } else {
        if (std::signbit(value) && value != 0.0f) {
            *p++ = '-';
            value = -value;
        }
        if (value >= 1.0f) {
            if (value >= 2147483648.0f) {
                put("bignum");
                *p = 0;
                return;
            }
            const auto whole = static_cast<ULONG>(value);
            char ach[12];
            std::snprintf(ach, sizeof ach, "%u", whole);
            put(ach);
            value -= static_cast<float>(whole);
        }
        if (digits > 0) *p++ = '.';
        while (digits > 0) {
            value *= 10.0f;
            const int d = static_cast<int>(value);
            *p++ = static_cast<char>('0' + (d < 0 ? 0 : d > 9 ? 9 : d));
            value -= static_cast<float>(d);
            --digits;
        }
    }
    *p = 0;
}

void _NDumpMatrix(const char* label, const float* m, LONG digits) {
    // Each element: a blank before non-negative ones, sign, digits, point.
    char ach[4][64];
    for (ULONG r = 0; r < 4; ++r) {
        for (ULONG c = 0; c < 4; ++c) {
            char* p = ach[c];
            if (!(m[4 * r + c] < 0.0f)) *p++ = ' ';
            _NFloatToText(m[4 * r + c], p, digits < 60 ? digits : 60);
        }
        // The label right-aligned in ten columns ("% 10s" prints the same: a
        // blank flag means nothing to %s, and is left out as C leaves it
        // undefined).
        DbgPrint(r == 0 ? "%10s = | %s %s %s %s |\n" : "%10s   | %s %s %s %s |\n", r == 0 ? label : "", ach[0],
                 ach[1], ach[2], ach[3]);
    }
}
