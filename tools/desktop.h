// The demonstration desktop of vnxsim and the picture of the screen.
#pragma once

#include <string>

#include "platform/engine.h"

// Paints a small desktop on the device's primary surface through the
// driver's fill paths: a pattern background, windows of solid rectangles
// under several raster operations, a fill clipped to the visible part of a
// covered window, and a two-colour hatch. Answers the fills it made.
int draw_desktop(vnx::engine::Device& device);

// Writes the screen, read back from board memory, as a PNG file (both
// screens side by side on a split board). False, having said why, when the
// file cannot be written.
bool write_screen_png(vnx::engine::Device& device, const std::string& path);
