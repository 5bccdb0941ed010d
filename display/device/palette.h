// The device's default palette and the colour registers.
#pragma once

#include "pdev.h"

#define SYSTEM_COLOURS 20
// The first ten and the last ten entries of the 8-bpp default palette, 0x00BBGGRR.
extern const ULONG gaulSystemColours[SYSTEM_COLOURS];

// Makes the palette array and the default palette of the mode (indexed at
// 8 bpp, bit fields at 16 and 32 bpp) and puts it into pdi->hpalDefault.
// FALSE (nothing left behind) when either cannot be made.
BOOL bInitializePalette(PDEV* ppdev, DEVINFO* pdi);
// Deletes the default palette and frees the palette array.
void vUninitializePalette(PDEV* ppdev);

// Loads all 256 entries of the palette array into the colour registers
// (8 bpp). FALSE when the miniport refuses.
BOOL bLoadPalette(PDEV* ppdev);
