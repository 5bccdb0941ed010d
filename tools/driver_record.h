// What vnxsim reads of the display driver's own device record. Everything
// else the tool learns from the graphics engine (the surface's format and
// size, the palette) or the board (the packets, the pixels).
#pragma once

#include <cstdint>

#include "platform/engine.h"

// Where the driver placed the primary in board memory: its pid and origin,
// and the size of one screen.
struct ScreenPlace {
    std::uint16_t pid;
    long x, y;
    long cxScreen, cyScreen;
};

// Prints where the driver placed each buffer and the page slots they hold.
void report_layout(vnx::engine::Device& device);
// The primary's place; false when the driver has no screen.
bool screen_place(vnx::engine::Device& device, ScreenPlace* place);
// Lets the board render everything queued, as glFinish does: the driver's
// exported queue drain, under the device lock.
void drain_queues(vnx::engine::Device& device);
