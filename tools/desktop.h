// The demonstration desktop of vnxsim and the picture of the screen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/engine.h"

// The desktop's lines (desktop_lines.cpp): window frames, a fan of lines in
// several mixes and styles, and lines clipped by an overlapping window,
// stroked through the driver's DrvStrokePath as the engine dispatches it.
// Answers the strokes that succeeded.
int draw_desktop_lines(vnx::engine::Device& device, SURFOBJ* pso);

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

// The desktop's text (titles, a heading, a paragraph, a fixed-pitch block
// and a line a window covers partly), drawn through the driver's DrvTextOut
// when the surface hooks text, else EngTextOut. Answers the strings drawn.
int draw_desktop_text(vnx::engine::Device& device, SURFOBJ* pso);

// What the desktop's scenes know of the screen, asked of the engine: the
// surface's format and size, one screen's size, and the device palette's
// colours at 8 bits a pixel.
struct ScreenFormat {
    ULONG iBitmapFormat = 0;
    ULONG cjPixel = 0;           // bytes a pixel
    LONG cx = 0, cy = 0;         // the whole drawing area (both screens of a split board)
    LONG cxScreen = 0, cyScreen = 0;  // one screen
    std::vector<ULONG> palette;  // PALETTEENTRY words: red in the low byte
};
// False when the engine knows no primary surface for the device.
bool query_format(vnx::engine::Device& device, ScreenFormat* f);
// The device colour nearest to an RGB colour: a palette index at 8 bits a
// pixel, 5-5-5 at 16, 0x00RRGGBB at 32.
ULONG device_colour(const ScreenFormat& f, ULONG rgb);
// The parts of r that b does not cover (at most four rectangles).
std::vector<RECTL> subtract(const RECTL& r, const RECTL& b);

// Writes the screen, read back from board memory, as a PNG file (both
// screens side by side on a split board). False, having said why, when the
// file cannot be written.
bool write_screen_png(vnx::engine::Device& device, const std::string& path);

// Places the pointers of the desktop through the engine (desktop_cursor.cpp):
// an arrow, then a colour pointer (on the second screen of a split board).
// Answers the shapes the driver took.
int place_pointers(vnx::engine::Device& device, SURFOBJ* pso);

// Shows each screen's hardware cursor, as its RAMDAC's registers describe
// it, over the picture of the screens (cx x cy each, side by side).
void overlay_cursors(vnx::engine::Device& device, std::vector<std::uint32_t>& image, LONG cx,
                     LONG cy);

// Prints the pixel formats the GL server offers on the device (glformats.cpp),
// asked for by a client process as applications do.
void print_gl_formats(vnx::engine::Device& device);
