// DrvDitherColor: the 8x8 brush the engine asks for when it cannot show a
// solid colour as it is.
#pragma once

#include "platform/ddi.h"

// DrvDitherColor's iMode for a 1-bpp brush.
#define DM_MONOCHROME 2u

// The colour dither of the 2D engine: writes the 64 palette indices of the
// 8x8 brush for rgb (0x00BBGGRR) into pul (16 words, row by row). TRUE when
// done; FALSE while the colour dither is not built.
BOOL bColorDitherBrush(ULONG rgb, ULONG* pul);
