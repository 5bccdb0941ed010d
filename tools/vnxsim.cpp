// vnxsim: boots the simulated machine with a chosen board, memory and mode,
// loads the display driver through the graphics engine, enables its surface
// and reports what it did: the mode, where the driver placed each buffer in
// board memory, and the packets each rasterizer consumed. Over its desktop
// an OpenGL program draws in a window: its scene or one of the examples.
//
// One function per stage, run in order by main: parse the options, build
// the machine, boot the driver, enable the surface, report the layout, draw,
// run the GL program, finish (let the board render everything queued),
// report the packets, write the picture.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "desktop.h"
#include "driver_record.h"
#include "gl_scene.h"
#include "platform/board.h"
#include "platform/debug.h"
#include "platform/engine.h"
#include "platform/kernel.h"
#include "platform/miniport.h"
#include "vnxsim_machine.h"

namespace {

struct Options {
    vnxsim::MachineChoice machine;  // --board, --boards, --memory, --mode
    std::string out;  // picture file, empty for none
    std::string gl = "scene";  // the GL program drawn over the desktop
    bool glNamed = false;      // --gl given: the program must draw
};

void usage(FILE* out) {
    std::fprintf(out,
                 "usage: vnxsim [options]\n"
                 "  --board solo|duo|quad    rasterizers per board: 1, 2 or 4 (default solo)\n"
                 "  --boards 1|2             boards; two drive two screens side by side\n"
                 "  --memory MB              board memory of one board (default 8 MB a\n"
                 "                           rasterizer). Each rasterizer has 32 pages; MB is\n"
                 "                           2, 4 or 8 MB a rasterizer (pages of 64, 128 or\n"
                 "                           256 KB: memory class 0, 1, 2), and 16 to 128 MB a\n"
                 "                           rasterizer with pages of 256 KB made 2 to 16 times\n"
                 "                           larger (page width, then height, multiplied by 2\n"
                 "                           or 4). A solo takes 2 to 128, a duo 4 to 256, a\n"
                 "                           quad 8 to 512, each a power of two.\n"
                 "  --mode WIDTHxHEIGHTxBPP  display mode (default 1024x768x16): 640x480,\n"
                 "                           800x600, 1024x768 or 1280x1024 at 8, 16 or 32\n"
                 "  --gl scene|cube|plot|text|none\n"
                 "                           the OpenGL program drawn in a 320x240 window in\n"
                 "                           the middle of the screen (default scene: lit,\n"
                 "                           depth-tested objects, lines, points and a bitmap\n"
                 "                           caption; cube, plot and text are the examples in\n"
                 "                           examples/). It needs an RGBA pixel format with a\n"
                 "                           depth buffer, which every mode offers at 8 MB a\n"
                 "                           rasterizer (the default memory) up to 1024x768\n"
                 "                           at 16 bits and 640x480 at 32; without one the\n"
                 "                           scene is left out, and a program named is a\n"
                 "                           failure\n"
                 "  --out FILE.png           write the screen as a PNG picture\n"
                 "  --debug                  print the drivers' debug output to standard error\n"
                 "  --help                   show this text\n");
}

bool parse_mode(const std::string& text, Options& o) {
    unsigned w = 0, h = 0, b = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%ux%ux%u%c", &w, &h, &b, &tail) != 3) return false;
    o.machine.width = w;
    o.machine.height = h;
    o.machine.bpp = b;
    return w > 0 && h > 0 && b > 0;
}

// Parses the command line; answers -1 to go on, else the exit code.
int parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "vnxsim: %s needs a value\n", name);
                return nullptr;
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--debug") {
            vnx::debug::set_echo(true);
        } else if (arg == "--board") {
            const char* v = value("--board");
            if (!v) return 2;
            std::string s = v;
            o.machine.rasterizers = s == "solo" ? 1 : s == "duo" ? 2 : s == "quad" ? 4 : 0;
            if (o.machine.rasterizers == 0) {
                std::fprintf(stderr, "vnxsim: unknown board '%s' (solo, duo or quad)\n", v);
                return 2;
            }
        } else if (arg == "--boards") {
            const char* v = value("--boards");
            if (!v) return 2;
            o.machine.boards = std::atoi(v);
            if (o.machine.boards != 1 && o.machine.boards != 2) {
                std::fprintf(stderr, "vnxsim: --boards takes 1 or 2, not '%s'\n", v);
                return 2;
            }
        } else if (arg == "--memory") {
            const char* v = value("--memory");
            if (!v) return 2;
            char* end = nullptr;
            const long mb = std::strtol(v, &end, 10);
            if (end == v || *end != 0 || mb <= 0 || mb > 4096) {
                std::fprintf(stderr, "vnxsim: --memory takes a size in MB, not '%s'\n", v);
                return 2;
            }
            o.machine.memoryMB = static_cast<int>(mb);
        } else if (arg == "--mode") {
            const char* v = value("--mode");
            if (!v) return 2;
            if (!parse_mode(v, o)) {
                std::fprintf(stderr, "vnxsim: bad mode '%s' (WIDTHxHEIGHTxBPP, e.g. 1024x768x16)\n",
                             v);
                return 2;
            }
        } else if (arg == "--gl") {
            const char* v = value("--gl");
            if (!v) return 2;
            if (!known_gl_program(v)) {
                std::fprintf(stderr, "vnxsim: unknown GL program '%s' (%s)\n", v,
                             gl_program_names().c_str());
                return 2;
            }
            o.gl = v;
            o.glNamed = true;
        } else if (arg == "--out") {
            const char* v = value("--out");
            if (!v) return 2;
            o.out = v;
        } else {
            std::fprintf(stderr, "vnxsim: unknown option '%s'\n", argv[i]);
            usage(stderr);
            return 2;
        }
    }
    return -1;
}

// The machine the options describe; false (having said why) when the
// stand-in cannot provide it.
bool build_machine(Options& o, vnx::miniport::MachineConfig& cfg) {
    vnxsim::MachineChoice& m = o.machine;
    m.memoryMB = vnxsim::memory_of(m);
    if (!vnxsim::machine_config(m, cfg)) {
        std::fprintf(stderr,
                     "vnxsim: a %s cannot have %d MB: it takes %d to %d MB, a power of two "
                     "(see --help)\n",
                     vnx::miniport::board_model_name(m.rasterizers), m.memoryMB, 2 * m.rasterizers,
                     128 * m.rasterizers);
        return false;
    }
    bool known = false;
    for (const auto& m : cfg.modes)
        known |= m.usable && m.width == o.machine.width && m.height == o.machine.height &&
                 m.planes * m.bitsPerPlane == o.machine.bpp;
    if (!known) {
        std::fprintf(stderr,
                     "vnxsim: the board offers no mode %ux%ux%u (640x480, 800x600, 1024x768 or "
                     "1280x1024 at 8, 16 or 32 bits a pixel)\n",
                     static_cast<unsigned>(o.machine.width), static_cast<unsigned>(o.machine.height),
                     static_cast<unsigned>(o.machine.bpp));
        return false;
    }
    const std::string problem = vnx::miniport::check_config(cfg);
    if (!problem.empty()) {
        std::fprintf(stderr, "vnxsim: the machine cannot be built: %s\n", problem.c_str());
        return false;
    }
    return true;
}

// Loads the driver and enables its device for the mode.
bool boot(vnx::engine::Device& device, const Options& o) {
    std::printf("machine: %d x %s, %d MB of board memory each\n", o.machine.boards,
                vnx::miniport::board_model_name(o.machine.rasterizers), o.machine.memoryMB);
    if (!device.load_driver("vornix.dll")) {
        std::fprintf(stderr, "vnxsim: the display driver did not load\n%s",
                     vnx::debug::peek().c_str());
        return false;
    }
    DEVMODEW dm = vnx::engine::DisplayMode(o.machine.width, o.machine.height, o.machine.bpp);
    if (!device.enable_pdev(dm)) {
        std::fprintf(stderr, "vnxsim: the driver refused the mode %ux%ux%u\n",
                     static_cast<unsigned>(o.machine.width), static_cast<unsigned>(o.machine.height),
                     static_cast<unsigned>(o.machine.bpp));
        return false;
    }
    const GDIINFO& gi = device.gdiinfo();
    std::printf("mode: %ux%u, %u bits a pixel, %u Hz\n", static_cast<unsigned>(gi.ulHorzRes),
                static_cast<unsigned>(gi.ulVertRes),
                static_cast<unsigned>(gi.cBitsPixel * gi.cPlanes),
                static_cast<unsigned>(gi.ulVRefresh));
    return true;
}

bool enable(vnx::engine::Device& device) {
    if (device.enable_surface()) return true;
    std::fprintf(stderr,
                 "vnxsim: the driver could not enable its surface: the mode needs more board "
                 "memory than the board has (try --memory, or a smaller mode)\n%s",
                 vnx::debug::peek().c_str());
    return false;
}

// Paints the demonstration desktop (tools/desktop.cpp).
void draw(vnx::engine::Device& device, const Options&) {
    std::printf("desktop: %d fills\n", draw_desktop(device));
}

// What each drawing packet of the driver is, by its command word.
struct PacketName {
    std::uint32_t command;
    const char* name;
};
const PacketName kPacketNames[] = {
    {0x02101026, "rectangle fills (clears among them)"},
    {0x02201026, "rectangle fills with overlay (clears)"},
    {0x02102000, "point loads (dither matrix, patterns)"},
};

const char* packet_name(std::uint32_t command) {
    for (const PacketName& row : kPacketNames)
        if (row.command == command) return row.name;
    return "other";
}

// Per rasterizer: what its DMA engine consumed.
void report_packets(vnx::engine::Device& device) {
    vnx::board::Board& board = device.machine().board();
    std::printf("packets consumed:\n");
    for (int r = 0; r < board.rasterizers(); ++r) {
        const vnx::board::StreamSummary s = board.summary(r);
        std::printf(
            "  rasterizer %d (board %d): %llu drawing packets, %llu primitives, "
            "%llu words",
            r, board.board_of(r), static_cast<unsigned long long>(s.packets),
            static_cast<unsigned long long>(s.primitives),
            static_cast<unsigned long long>(s.words));
        std::vector<std::pair<const char*, unsigned>> kinds;
        for (const vnx::board::DecodedPacket& p : board.packets(r)) {
            if (p.kind != vnx::board::ItemKind::Packet) continue;
            const char* name = packet_name(p.command);
            bool found = false;
            for (auto& k : kinds)
                if (std::strcmp(k.first, name) == 0) ++k.second, found = true;
            if (!found) kinds.push_back({name, 1});
        }
        for (const auto& k : kinds) std::printf(", %u %s", k.second, k.first);
        std::printf("\n");
    }
    const auto errors = board.errors();
    for (const auto& e : errors)
        std::printf("  board error (rasterizer %d): %s\n", e.rasterizer, e.message.c_str());
}

// The screen as board memory holds it, as a PNG file (tools/desktop.cpp).
bool write_picture(vnx::engine::Device& device, const Options& o) {
    if (o.out.empty()) return true;
    if (!write_screen_png(device, o.out)) return false;
    std::printf("picture: %s\n", o.out.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Reports and errors go to two streams; each line comes out in order.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Options o;
    if (int rc = parse(argc, argv, o); rc >= 0) return rc;
    vnx::miniport::MachineConfig cfg;
    if (!build_machine(o, cfg)) return 1;

    vnx::engine::Device device(cfg);
    if (!boot(device, o) || !enable(device)) return 1;
    report_layout(device);
    print_gl_formats(device);
    draw(device, o);
    const bool glDrawn = run_gl_program(device, o.gl, o.glNamed);
    drain_queues(device);
    report_packets(device);
    const bool written = write_picture(device, o);
    const bool clean = device.machine().board().errors().empty() && written && glDrawn;
    device.unload_driver();
    std::printf("driver unloaded\n");
    return clean ? 0 : 1;
}
