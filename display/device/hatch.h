// The six hatch brushes the driver hands to the engine at DrvEnablePDEV.
#pragma once

#include "pdev.h"

// The hatch patterns: 8 rows of one 32-bit word, the pattern in the first
// byte (bit 7 leftmost), in the engine's hatch-style order.
extern const ULONG gaaulHatch[MAX_HATCHES][8];

// Makes cPatterns (at most MAX_HATCHES) 8x8 1-bpp hatch surfaces into
// ahsurfPat. On failure answers FALSE with cPatterns = the surfaces made.
BOOL bEnableHatches(PDEV* ppdev, ULONG cPatterns);
// Deletes the cPatterns hatch surfaces.
void vDisableHatches(PDEV* ppdev);
