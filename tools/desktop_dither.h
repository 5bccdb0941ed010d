// The desktop's band of colour ramps.
#pragma once

#include "platform/engine.h"

// Paints a band of colour ramps (greys, red, green, blue, the hues and a
// brown) just above the taskbar of the screen surface pso. In an 8-bit
// palette mode every cell is a dithered brush the driver realizes from the
// colour; at 16 and 32 bits the same colours are solid, for comparison.
// Drawn as the engine draws: through the driver's DrvBitBlt when the
// surface hooks it, else EngBitBlt. Answers the fills that succeeded.
int draw_dither_ramps(vnx::engine::Device& device, SURFOBJ* pso);
