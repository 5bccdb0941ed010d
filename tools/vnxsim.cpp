// vnxsim: boots the simulated machine with a chosen board and mode, loads the
// display driver through the graphics engine and reports what it did.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "platform/debug.h"
#include "platform/engine.h"
#include "platform/kernel.h"
#include "platform/miniport.h"
#include "platform/process.h"

namespace {

struct Options {
    int rasterizers = 1;
    int boards = 1;
    ULONG width = 1024, height = 768, bpp = 8;
};

void usage(FILE* out) {
    std::fprintf(out,
                 "usage: vnxsim [options]\n"
                 "  --board solo|duo|quad    rasterizers per board: 1, 2 or 4 (default solo)\n"
                 "  --boards 1|2             boards; two drive two screens side by side\n"
                 "  --mode WIDTHxHEIGHTxBPP  display mode (default 1024x768x8)\n"
                 "  --debug                  print the drivers' debug output to standard error\n"
                 "  --help                   show this text\n");
}

bool parse_mode(const std::string& text, Options& o) {
    unsigned w = 0, h = 0, b = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%ux%ux%u%c", &w, &h, &b, &tail) != 3) return false;
    o.width = w;
    o.height = h;
    o.bpp = b;
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
            o.rasterizers = s == "solo" ? 1 : s == "duo" ? 2 : s == "quad" ? 4 : 0;
            if (o.rasterizers == 0) {
                std::fprintf(stderr, "vnxsim: unknown board '%s' (solo, duo or quad)\n", v);
                return 2;
            }
        } else if (arg == "--boards") {
            const char* v = value("--boards");
            if (!v) return 2;
            o.boards = std::atoi(v);
            if (o.boards != 1 && o.boards != 2) {
                std::fprintf(stderr, "vnxsim: --boards takes 1 or 2, not '%s'\n", v);
                return 2;
            }
        } else if (arg == "--mode") {
            const char* v = value("--mode");
            if (!v) return 2;
            if (!parse_mode(v, o)) {
                std::fprintf(stderr, "vnxsim: bad mode '%s' (WIDTHxHEIGHTxBPP, e.g. 1024x768x16)\n", v);
                return 2;
            }
        } else {
            std::fprintf(stderr, "vnxsim: unknown option '%s'\n", argv[i]);
            usage(stderr);
            return 2;
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (int rc = parse(argc, argv, o); rc >= 0) return rc;

    vnx::miniport::MachineConfig cfg;
    cfg.rasterizers = o.rasterizers;
    cfg.boards = o.boards;
    if (o.boards == 2) cfg.boardConfig.flags |= BCF_DUAL_MONITOR;
    std::string problem = vnx::miniport::check_config(cfg);
    if (!problem.empty()) {
        std::fprintf(stderr, "vnxsim: the machine cannot be built: %s\n", problem.c_str());
        return 1;
    }
    vnx::engine::Device device(cfg);
    std::printf("machine: %d x %s\n", o.boards, vnx::miniport::board_model_name(o.rasterizers));
    if (!device.load_driver("vornix.dll")) {
        std::fprintf(stderr, "vnxsim: the display driver did not load\n%s", vnx::debug::peek().c_str());
        return 1;
    }
    DEVMODEW dm{};
    dm.dmSize = sizeof dm;
    dm.dmPelsWidth = o.width;
    dm.dmPelsHeight = o.height;
    dm.dmBitsPerPel = o.bpp;
    dm.dmLogPixels = 96;
    if (!device.enable_pdev(dm)) {
        std::fprintf(stderr, "vnxsim: the driver refused the mode %ux%ux%u\n",
                     static_cast<unsigned>(o.width), static_cast<unsigned>(o.height),
                     static_cast<unsigned>(o.bpp));
        return 1;
    }
    const GDIINFO& gi = device.gdiinfo();
    std::printf("mode: %ux%u, %u bits a pixel, %u Hz\n", static_cast<unsigned>(gi.ulHorzRes),
                static_cast<unsigned>(gi.ulVertRes),
                static_cast<unsigned>(gi.cBitsPixel * gi.cPlanes),
                static_cast<unsigned>(gi.ulVRefresh));
    if (!device.enable_surface()) {
        std::printf("surface: not enabled (the driver's surface set-up is not built yet)\n");
    }
    device.unload_driver();
    std::printf("driver unloaded\n");
    return 0;
}
