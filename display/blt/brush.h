// The realized brush: the driver's form of a GDI brush, made by
// DrvRealizeBrush into memory the engine allocates (BRUSHOBJ_pvAllocRbrush)
// and owns; the fills read it.
#pragma once

#include <cstddef>

#include "platform/kernel.h"

// REALBRUSH.fl.
#define REALBRUSH_PIXELS 0x0u  // the pattern in device pixels
#define REALBRUSH_MONO 0x1u    // a two-colour pattern stored as bits
#define REALBRUSH_DITHER 0x2u  // a dithered solid colour (device pixels)

#define REALBRUSH_ROWS 8            // rows of a pattern (8 pixels each)
#define REALBRUSH_MONO_ROW_BYTES 2  // a two-colour row: its pattern byte twice

typedef struct REALBRUSH {
    ULONG fl;           // REALBRUSH_...
    ULONG ulForeColor;  // REALBRUSH_MONO: the device colour of 1 bits
    ULONG ulBackColor;  // REALBRUSH_MONO: the device colour of 0 bits
    ULONG iUniq;        // the realization's number (never 0): what the pattern cache compares
    BYTE ajPattern[4];  // 8 rows of (8 << iPixelClass) bytes, or 8 rows of 2 bytes
                        // (bit 7 of each byte the leftmost pixel); more follow
} REALBRUSH;
static_assert(offsetof(REALBRUSH, ajPattern) == 16, "the pattern starts at word 4");

// Bytes the engine allocates for a realized brush at a depth (0, 1, 2).
inline ULONG cjRealBrush(ULONG iPixelClass) { return (64u << iPixelClass) + 20u; }
