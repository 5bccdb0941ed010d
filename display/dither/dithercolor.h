// DrvDitherColor: the 8x8 brush the engine asks for when it cannot show a
// solid colour as it is.
#pragma once

#include "platform/ddi.h"

// DrvDitherColor's iMode for a 1-bpp brush.
#define DM_MONOCHROME 2u
// Any other iMode asks for a colour brush: the 64 palette indices of the
// 8x8 dither (palettedither.h), row by row, in the 16 words of pul.
