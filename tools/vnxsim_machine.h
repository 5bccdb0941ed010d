// The machine vnxsim boots, as its options describe it: the board model,
// the number of boards, the memory of one board and the display mode. The
// defaults are the machine vnxsim boots without options; the tests that run
// on "the machine a user starts" build it from here, so that the two never
// drift apart.
#pragma once

#include "platform/miniport.h"

namespace vnxsim {

// A machine as vnxsim's options choose it. Without options: one Vornix Solo
// with 8 MB of board memory (pages of 256 KB), 1024x768 at 16 bits a pixel,
// and the board configuration the miniport keeps until the first write
// (vnx::miniport::default_board_config: positions in whole pixels, no
// mip-maps, no alpha or stencil planes).
struct MachineChoice {
    int rasterizers = 1;  // --board solo|duo|quad: 1, 2 or 4 rasterizers a board
    int boards = 1;       // --boards 1|2: two drive two screens side by side
    int memoryMB = 0;     // --memory, of one board; 0: 8 MB a rasterizer
    ULONG width = 1024, height = 768, bpp = 16;  // --mode
};

inline int log2_exact(int v) {
    int n = 0;
    while (v > 1 && v % 2 == 0) {
        v /= 2;
        ++n;
    }
    return v == 1 ? n : -1;
}

// The memory class and page multipliers for mb MB on a board of n
// rasterizers: 2 MB a rasterizer times 2^class, times the multipliers.
inline bool memory_layout(int mb, int n, vnx::miniport::MachineConfig& cfg) {
    if (n <= 0 || mb % (2 * n) != 0) return false;
    const int steps = log2_exact(mb / (2 * n));  // doublings of the smallest memory
    if (steps < 0 || steps > 6) return false;
    cfg.memoryClass = steps < 2 ? steps : 2;
    const int rest = steps - cfg.memoryClass;  // 0..4: x code up to 2, then y code
    cfg.xMultiplierCode = rest < 2 ? rest : 2;
    cfg.yMultiplierCode = rest - cfg.xMultiplierCode;
    return true;
}

// The memory of one board the choice gives (its own, or 8 MB a rasterizer).
inline int memory_of(const MachineChoice& c) { return c.memoryMB != 0 ? c.memoryMB : 8 * c.rasterizers; }

// The machine configuration of a choice: the board model, the boards (two
// with BCF_DUAL_MONITOR) and the memory layout, everything else as the
// miniport starts. False when the memory is not one the board takes.
inline bool machine_config(const MachineChoice& c, vnx::miniport::MachineConfig& cfg) {
    cfg.rasterizers = c.rasterizers;
    cfg.boards = c.boards;
    if (c.boards == 2) cfg.boardConfig.flags |= BCF_DUAL_MONITOR;
    return memory_layout(memory_of(c), c.rasterizers, cfg);
}

}  // namespace vnxsim
