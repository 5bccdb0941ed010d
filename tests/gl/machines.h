// The machines the GL picture tests draw on: the boards and display modes a
// user may have, each as vnxsim would boot it (tools/vnxsim_machine.h), and
// what the tests need to know of them: where a window lies on the desktop,
// how its pixels read back as colours, and how far a channel of a pixel of
// the machine's format may lie from an 8-bit reference.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "../../tools/vnxsim_machine.h"
#include "../platform/gl_reference.h"
#include "platform/board.h"
#include "platform/ddi.h"
#include "platform/miniport.h"

namespace glmachines {

// A machine: its name in test names, the board, boards, memory and display
// mode, and whether the test configures the board: positions in 28.4 (the
// board's sample points read them exactly) and the alpha and stencil
// planes a scene wants. A machine not configured keeps the board
// configuration the miniport starts with (vnxsim's): positions in whole
// pixels, no planes (a window's alpha and stencil buffers live in host
// memory), no mip-maps.
struct Machine {
    const char* name;
    vnxsim::MachineChoice choice;
    bool configured = true;

    bool split() const { return choice.boards == 2; }
    ULONG bpp() const { return choice.bpp; }
};
inline void PrintTo(const Machine& m, std::ostream* os) { *os << m.name; }

// One board of each model a user buys at each depth, 8 MB a rasterizer
// (pages of 256 KB) at 640x480; the machine vnxsim boots without options;
// two boards whose screens of 1024x768 lie side by side (a split board),
// each a Duo of 32 MB (pages twice as wide, so that a window's buffers
// find page slots beside the two screens at 32 bits).
inline const Machine kSolo32{"solo32", {1, 1, 0, 640, 480, 32}};
inline const Machine kQuad32{"quad32", {4, 1, 0, 640, 480, 32}};
inline const Machine kSolo16{"solo16", {1, 1, 0, 640, 480, 16}};
inline const Machine kQuad16{"quad16", {4, 1, 0, 640, 480, 16}};
inline const Machine kSolo8{"solo8", {1, 1, 0, 640, 480, 8}};
inline const Machine kQuad8{"quad8", {4, 1, 0, 640, 480, 8}};
inline const Machine kVnxsim{"vnxsim", vnxsim::MachineChoice{}, false};
inline const Machine kSplit32{"split32", {2, 2, 32, 1024, 768, 32}};

// Every machine a user has, as the test tables instantiate them.
inline const Machine kMachines[] = {kSolo32, kQuad32, kSolo16, kQuad16, kSolo8, kQuad8, kVnxsim, kSplit32};

// The machine's configuration for a scene that wants an alpha and a stencil
// plane as given.
inline vnx::miniport::MachineConfig ConfigOf(const Machine& m, bool alphaPlane, bool stencilPlane) {
    vnx::miniport::MachineConfig cfg;
    vnxsim::machine_config(m.choice, cfg);
    if (m.configured) {
        cfg.boardConfig.modelImprecision = 1;
        cfg.boardConfig.alphaBuffer = alphaPlane ? 1 : 0;
        cfg.boardConfig.stencilBuffer = stencilPlane ? 1 : 0;
    }
    return cfg;
}

// The width of a split board's first screen: the desktop continues on the
// second board's screen from there.
constexpr LONG kSplitScreenWidth = 1024;

// Where a window of width x height lies: at (100, 80), or on a split board
// across the seam (its left 100 columns on the first screen).
inline RECTL WindowArea(const Machine& m, int width, int height) {
    const LONG left = m.split() ? kSplitScreenWidth - 100 : 100;
    return {left, 80, left + width, 80 + height};
}

// The desktop pixel (x, y) in board memory: the board that shows it and its
// x there (a split board's second screen holds the desktop from 1024 on at
// x - 1024 of its own memory).
struct BoardPixel {
    int board;
    LONG x;
};
inline BoardPixel Locate(const Machine& m, LONG x) {
    if (m.split() && x >= kSplitScreenWidth) return {1, x - kSplitScreenWidth};
    return {0, x};
}

// The colours a window shows, 0x00RRGGBB, rows top to bottom: the pixels of
// area (desktop coordinates) of the surface at (x0, y0) of pid, each read as
// the screen shows it. At 8 bits a pixel the stored byte is an index into
// the colour registers (the palette the driver loaded), so it is read
// through them (pid format 0).
inline std::vector<std::uint32_t> WindowColours(vnx::board::Board& board, const Machine& m, std::uint16_t pid,
                                                LONG x0, LONG y0, const RECTL& area) {
    if (m.bpp() == 8) pid = static_cast<std::uint16_t>(pid & 0x1FFFu);
    const LONG cx = area.right - area.left, cy = area.bottom - area.top;
    if (!m.split() || area.right <= kSplitScreenWidth)
        return board.read_rgb(0, pid, x0 + area.left, y0 + area.top, cx, cy);
    const LONG cxLeft = kSplitScreenWidth - area.left;
    const std::vector<std::uint32_t> left = board.read_rgb(0, pid, x0 + area.left, y0 + area.top, cxLeft, cy);
    const std::vector<std::uint32_t> right = board.read_rgb(1, pid, x0, y0 + area.top, cx - cxLeft, cy);
    std::vector<std::uint32_t> out;
    if (left.size() != static_cast<std::size_t>(cxLeft * cy) || right.size() != static_cast<std::size_t>((cx - cxLeft) * cy))
        return out;
    for (LONG y = 0; y < cy; ++y) {
        out.insert(out.end(), left.begin() + y * cxLeft, left.begin() + (y + 1) * cxLeft);
        out.insert(out.end(), right.begin() + y * (cx - cxLeft), right.begin() + (y + 1) * (cx - cxLeft));
    }
    return out;
}

// The levels one step of a stored channel spans as the screen shows it,
// red, green, blue: none at 32 bits; at 16 (5-5-5, each 5-bit value widened
// to 8 by repeating its top bits) 8 or 9 levels; at 8 the palette's: red in
// six steps of 51 levels, green in seven of 36 or 37, blue in three of 85.
// A pixel of a lower depth lies within one step of the exact colour in each
// channel (the conversion truncates, dithering adds less than a step).
struct Steps {
    int red, green, blue;
};
inline Steps StepsOf(ULONG bpp) {
    if (bpp == 8) return {51, 37, 85};
    if (bpp == 16) return {9, 9, 9};
    return {0, 0, 0};
}

// What a picture of the machine may differ from the 8-bit reference by: the
// scene's tolerance plus one step of each channel; on a machine with
// positions in whole pixels a pixel may also take the reference's colour of
// a neighbour (GL lets vertices be snapped to the grid the machine reports,
// GL_SUBPIXEL_BITS 0, and each edge moves by up to a pixel).
inline vnx::glref::Tolerance Allowed(const Machine& m, int tolerance) {
    const Steps s = StepsOf(m.bpp());
    return {tolerance + s.red, tolerance + s.green, tolerance + s.blue, m.configured ? 0 : 1};
}

// A known fault of a scene on some machines: the scene's family (the test
// suite's instantiation name, "" for any), the scene's name, the machine's
// name, and what the pair shows. The test skips naming it.
struct MachineFault {
    const char* family;
    const char* scene;
    const char* machine;
    const char* shows;
};

// The entry of a table for (family, scene, machine), or null.
template <std::size_t N>
const MachineFault* FaultOf(const MachineFault (&table)[N], const std::string& family, const std::string& scene,
                            const std::string& machine) {
    for (const MachineFault& f : table)
        if ((f.family[0] == 0 || family == f.family) && scene == f.scene && machine == f.machine) return &f;
    return nullptr;
}

// The family of the running parameterised test: its suite's name up to the
// '/' ("Fog" of "Fog/AppPictures").
inline std::string CurrentFamily() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string suite = info != nullptr ? info->test_suite_name() : "";
    return suite.substr(0, suite.find('/'));
}

}  // namespace glmachines
