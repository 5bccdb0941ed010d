// The machines the GL picture tests draw on: the boards and display modes a
// user may have, each as vnxsim would boot it (tools/vnxsim_machine.h), and
// what the tests need to know of them: where a window lies on the desktop,
// how its pixels read back as colours, and how far a channel of a pixel of
// the machine's format may lie from an 8-bit reference.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
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
    ULONG dmaBytes = 0;  // the DMA buffer the miniport hands out (0: its usual 1 MB)

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

// Further machines the server-level picture suites draw on: the Duo at 32
// and 16 bits, and a split board at 16 bits (two Duos of 16 MB).
inline const Machine kDuo32{"duo32", {2, 1, 0, 640, 480, 32}};
inline const Machine kDuo16{"duo16", {2, 1, 0, 640, 480, 16}};
inline const Machine kSplit16{"split16", {2, 2, 0, 1024, 768, 16}};

// Machines whose DMA buffer is the smallest the miniport hands out (64 KB):
// a Quad's four rings of 12 KB, and a split board's four (two Duos), so
// that one call of a few hundred primitives needs more than a ring holds.
inline const Machine kQuad32SmallDma{"quad32dma64", {4, 1, 0, 640, 480, 32}, true, 0x10000};
inline const Machine kSplit32SmallDma{"split32dma64", {2, 2, 32, 1024, 768, 32}, true, 0x10000};

// The machine's configuration for a scene that wants an alpha and a stencil
// plane as given.
inline vnx::miniport::MachineConfig ConfigOf(const Machine& m, bool alphaPlane, bool stencilPlane) {
    vnx::miniport::MachineConfig cfg;
    vnxsim::machine_config(m.choice, cfg);
    if (m.dmaBytes != 0) cfg.dmaBytes = m.dmaBytes;
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
// scene's tolerance plus `steps` steps of each channel (one for a colour
// stored once; a colour stored, read back and stored again, as a blend over
// a drawn backdrop or an accumulation, may keep a step of each store); on a
// machine with positions in whole pixels a pixel may also take the
// reference's colour of a neighbour (GL lets vertices be snapped to the grid
// the machine reports, GL_SUBPIXEL_BITS 0, and each edge moves by up to a
// pixel).
inline vnx::glref::Tolerance Allowed(const Machine& m, int tolerance, int steps = 1) {
    const Steps s = StepsOf(m.bpp());
    return {tolerance + steps * s.red, tolerance + steps * s.green, tolerance + steps * s.blue, m.configured ? 0 : 1};
}

// A note about some scenes on some machines, in a table of notes: which
// machines cannot draw a scene and why, which pairs show a known fault and
// what it shows, which pairs need more tolerance and why.
struct MachineNote {
    const char* family;    // the instantiation's name, the test suite's, or the suite's and its
                           // test's ("Scenes/DitherTest.SoftwareStages..."); "" any
    const char* scenes;    // a scene's name, a pattern with one '*' standing for any letters, or "" any
    const char* machines;  // machine names or kinds separated by spaces ("16-bit", "8-bit": the
                           // machines of that depth; "whole-pixel": those not configured;
                           // "split"); "" any
    const char* why;       // why the machine cannot draw it, what the fault shows, why the tolerance
    int steps = 0;         // tolerance notes: the format steps a channel may lie off (0: as Allowed)
    int outliers = 0;      // tolerance notes: pixels beyond the tolerance on top of the row's own
};

// Whether a note is about the scene on the machine in the test test
// ("<suite>.<test>").
inline bool NoteMatches(const MachineNote& n, const std::string& test, const std::string& scene,
                        const Machine& machine) {
    const std::string family = n.family, pattern = n.scenes;
    const std::string suite = test.substr(0, test.find('.'));
    if (!family.empty() && family != test && family != suite && family != suite.substr(0, suite.find('/')))
        return false;
    if (!pattern.empty()) {
        const std::size_t star = pattern.find('*');
        if (star == std::string::npos) {
            if (scene != pattern) return false;
        } else {
            const std::string head = pattern.substr(0, star), tail = pattern.substr(star + 1);
            if (scene.size() < head.size() + tail.size() || scene.compare(0, head.size(), head) != 0 ||
                scene.compare(scene.size() - tail.size(), tail.size(), tail) != 0)
                return false;
        }
    }
    if (n.machines[0] == 0) return true;
    const std::string list = std::string(" ") + n.machines + " ";
    auto listed = [&](const std::string& word) { return list.find(" " + word + " ") != std::string::npos; };
    return listed(machine.name) || listed(std::to_string(machine.bpp()) + "-bit") ||
           (!machine.configured && listed("whole-pixel")) || (machine.split() && listed("split"));
}

// The running parameterised test's suite ("Fog/AppPictures"), and the suite
// with its test ("Fog/AppPictures.MatchesReference").
inline std::string CurrentSuite() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return info != nullptr ? info->test_suite_name() : "";
}
inline std::string CurrentTest() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (info == nullptr) return "";
    const std::string name = info->name();
    return std::string(info->test_suite_name()) + "." + name.substr(0, name.find('/'));
}

// The first note of a table about the scene on the machine in the running
// test's suite, or null.
inline const MachineNote* NoteOf(std::span<const MachineNote> table, const std::string& scene, const Machine& machine) {
    const std::string test = CurrentTest();
    for (const MachineNote& n : table)
        if (NoteMatches(n, test, scene, machine)) return &n;
    return nullptr;
}

// Why the scene is skipped on the machine, or "" to draw it: a note of what
// the machine cannot draw, or one of a known fault (VNX_RUN_MACHINE_FAULTS=1
// draws the pairs of known faults too, to see whether one is mended).
// Either table may be empty.
inline std::string SkipOf(std::span<const MachineNote> cannotDraw, std::span<const MachineNote> faults,
                          const std::string& scene, const Machine& machine) {
    if (const MachineNote* n = NoteOf(cannotDraw, scene, machine))
        return std::string("the machine cannot draw it: ") + n->why;
    if (const MachineNote* n = NoteOf(faults, scene, machine); n != nullptr && std::getenv("VNX_RUN_MACHINE_FAULTS") == nullptr)
        return std::string("known fault: ") + n->why;
    return "";
}

// What the tolerance notes of a table add for the scene on the machine, all
// of them together: the most steps any asks (at least one), the outliers
// they add up to, and their reasons.
struct Extra {
    int steps = 1;
    int outliers = 0;
    std::string why;
};
inline Extra ExtraOf(std::span<const MachineNote> table, const std::string& scene, const Machine& machine) {
    Extra e;
    const std::string test = CurrentTest();
    for (const MachineNote& n : table) {
        if (!NoteMatches(n, test, scene, machine)) continue;
        e.steps = std::max(e.steps, n.steps);
        e.outliers += n.outliers;
        e.why += std::string(e.why.empty() ? "" : "; ") + n.why;
    }
    return e;
}

}  // namespace glmachines
