// The device's default palette and the colour registers.
#pragma once

#include "pdev.h"

#define SYSTEM_COLOURS 20
// The first ten and the last ten entries of the 8-bpp default palette, 0x00BBGGRR.
extern const ULONG gaulSystemColours[SYSTEM_COLOURS];

// The default palette read as 3-3-2 (red in bits 5-7, green 2-4, blue 0-1):
// the groups of 32 entries 0 and 1 hold the same colours, and so do 6 and 7,
// so a 3-3-2 value that lands on a system colour (entries 0-9 and 246-255)
// is shown by its twin in the neighbouring group. Answers the entry that
// shows the 3-3-2 value j (0..255).
inline ULONG ulPaletteIndex332(ULONG j) {
    if (j < SYSTEM_COLOURS / 2) return j + 32;
    if (j >= PALETTE_ENTRIES - SYSTEM_COLOURS / 2) return j - 32;
    return j;
}

// Makes the palette array and the default palette of the mode (indexed at
// 8 bpp, bit fields at 16 and 32 bpp) and puts it into pdi->hpalDefault.
// FALSE (nothing left behind) when either cannot be made.
BOOL bInitializePalette(PDEV* ppdev, DEVINFO* pdi);
// Deletes the default palette and frees the palette array.
void vUninitializePalette(PDEV* ppdev);

// Loads all 256 entries of the palette array into the colour registers
// (8 bpp). FALSE when the miniport refuses.
BOOL bLoadPalette(PDEV* ppdev);
