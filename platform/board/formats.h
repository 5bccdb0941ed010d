// What the board model knows of its pixel formats, in one table: the pid's
// pixel format (pid bits 13-15) gives the bytes a stored pixel takes, the
// conversions between a stored pixel and the value a register holds, and the
// pixel's colour as 0x00RRGGBB. The rules are in platform/board.h ("Board
// memory", "Execution", "Pixels").
//
// Registers hold the 24-bit colour form for formats 2 (3-3-2 to bits 21-23,
// 13-15, 5-6) and 4 (5-5-5 to bits 2-6 of each byte, pixel bit 15 to bit 23);
// the stored pixel for formats 0, 3 and 5; the top byte of the word for
// format 6 (the overlay plane of a 32-bit surface), and a write in format 6
// changes only that byte. Formats 1 and 7 do not exist.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vnx::board {

struct PixelFormat {
    std::uint32_t bytesPerPixel;  // 1, 2 or 4; 0 for a format that does not exist
    // One pixel: stored form <-> register form.
    std::uint32_t (*to_register)(std::uint32_t pixel);
    std::uint32_t (*to_pixel)(std::uint32_t value);
    // n stored pixels from p to register values, and back. The store writes
    // only the pixels whose `written` entry is set (all when null), and only
    // the bits its format keeps.
    void (*load)(const std::uint8_t* p, int n, std::uint32_t* values);
    void (*store)(std::uint8_t* p, int n, const std::uint32_t* values, const bool* written);
    // n pixels from p, each set to one register value.
    void (*fill)(std::uint8_t* p, int n, std::uint32_t value);
    // The stored pixel as a colour 0x00RRGGBB; clut: the board's 256 colour
    // registers (red in the low byte), read by the 8-bit indexed format.
    std::uint32_t (*to_rgb)(std::uint32_t pixel, const std::uint32_t* clut);
    // A store changes only the top byte of the pixel's word (format 6).
    bool topByteOnly;
};

// The row of a pid's pixel format (pid >> 13); the rows of formats that do
// not exist have bytesPerPixel 0 and no functions.
const PixelFormat& pixel_format(std::uint32_t format);
inline const PixelFormat& pixel_format_of_pid(std::uint16_t pid) { return pixel_format(pid >> 13); }

// A stored pixel of 1, 2 or 4 bytes, as stored.
std::uint32_t load_pixel(const std::uint8_t* p, std::uint32_t bytesPerPixel);
// n pixels of format f moved as stored from src to dst (transfers and plain
// copies move pixels without conversion): whole pixels, or only the top
// byte of each word where the format's stores keep only that byte.
void move_pixels(std::uint8_t* dst, const std::uint8_t* src, std::size_t n, const PixelFormat& f);

}  // namespace vnx::board
