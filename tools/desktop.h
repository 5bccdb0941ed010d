// The demonstration desktop of vnxsim and the picture of the screen.
#pragma once

#include <string>

#include "platform/engine.h"

// Paints a small desktop on the device's primary surface the way the engine
// draws: through the driver's DrvBitBlt and DrvCopyBits when the surface
// hooks them, else EngBitBlt and EngCopyBits. A pattern background, windows
// of solid rectangles under several raster operations, fills clipped to the
// visible part of a covered window, a hatch brush, uploaded pictures, copies
// on the board, and a few operations the driver hands back to the engine.
// Answers the operations that succeeded.
int draw_desktop(vnx::engine::Device& device);

// Writes the screen, read back from board memory, as a PNG file (both
// screens side by side on a split board). False, having said why, when the
// file cannot be written.
bool write_screen_png(vnx::engine::Device& device, const std::string& path);
