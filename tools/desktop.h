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
//
// Scenes of other concerns live in tools/desktop_<concern>.cpp, each one
// function declared below that takes the engine device and the locked screen
// surface, draws only through the engine's calls and the driver entry points
// the engine dispatches, and answers the operations that succeeded;
// draw_desktop calls each with one line.
int draw_desktop(vnx::engine::Device& device);

// Writes the screen, read back from board memory, as a PNG file (both
// screens side by side on a split board). False, having said why, when the
// file cannot be written.
bool write_screen_png(vnx::engine::Device& device, const std::string& path);
