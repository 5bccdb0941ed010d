// DrvDitherColor. A monochrome brush is an ordered dither of the colour's
// luminance: a fixed order of the 64 pattern bits, of which the first
// n = (luminance + 1) / 4 are set. Colour brushes come from the 2D engine's
// colour dither.
#include "dither/dithercolor.h"

#include <cstring>

#include "device/entry.h"
#include "dither/palettedither.h"

namespace {

constexpr ULONG kcRows = 8;
constexpr ULONG kcPatternBits = 64;

// Bit k of the order lies in row aDitherRow[k] at mask aDitherBit[k].
const BYTE aDitherRow[kcPatternBits] = {
    0, 4, 0, 4, 2, 6, 2, 6, 0, 4, 0, 4, 2, 6, 2, 6, 1, 5, 1, 5, 3, 7, 3, 7, 1, 5, 1, 5, 3, 7, 3, 7,
    0, 4, 0, 4, 2, 6, 2, 6, 0, 4, 0, 4, 2, 6, 2, 6, 1, 5, 1, 5, 3, 7, 3, 7, 1, 5, 1, 5, 3, 7, 3, 7,
};
const BYTE aDitherBit[kcPatternBits] = {
    0x80, 0x08, 0x08, 0x80, 0x20, 0x02, 0x02, 0x20, 0x20, 0x02, 0x02, 0x20, 0x80, 0x08, 0x08, 0x80,
    0x40, 0x04, 0x04, 0x40, 0x10, 0x01, 0x01, 0x10, 0x10, 0x01, 0x01, 0x10, 0x40, 0x04, 0x04, 0x40,
    0x40, 0x04, 0x04, 0x40, 0x10, 0x01, 0x01, 0x10, 0x10, 0x01, 0x01, 0x10, 0x40, 0x04, 0x04, 0x40,
    0x80, 0x08, 0x08, 0x80, 0x20, 0x02, 0x02, 0x20, 0x20, 0x02, 0x02, 0x20, 0x80, 0x08, 0x08, 0x80,
};

// pul: 8 rows of one word each, the pattern in the low byte.
void vDitherMonochrome(ULONG rgb, ULONG* pul) {
    for (ULONG i = 0; i < kcRows; ++i) pul[i] = 0;
    const ULONG r = rgb & 0xFF;
    const ULONG g = (rgb >> 8) & 0xFF;
    const ULONG b = (rgb >> 16) & 0xFF;
    const ULONG ulLuminance = ((77 * r + 151 * g + 28 * b) >> 8) & 0xFF;
    const ULONG cSet = (ulLuminance + 1) >> 2;
    for (ULONG k = cSet; k-- > 0;) pul[aDitherRow[k]] |= aDitherBit[k];
}

}  // namespace

ULONG DrvDitherColor(DHPDEV, ULONG iMode, ULONG rgb, ULONG* pul) {
    if (iMode == DM_MONOCHROME) {
        vDitherMonochrome(rgb, pul);
        return TRUE;
    }
    BYTE ajPattern[DITHER_CELLS];
    vDitherRgb(rgb, ajPattern);
    std::memcpy(pul, ajPattern, sizeof ajPattern);
    return TRUE;
}
