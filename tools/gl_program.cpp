// Runs a GL program in a window on the desktop as an application runs: in a
// logical process of its own, through the system OpenGL library, which loads
// the client driver, which loads the GL server in the display driver. While
// it runs, an observer on the board counts the drawing packets each
// rasterizer carries out, by primitive class, and the polygon packets
// among them whose render program fetches texels.
#include <array>
#include <cstdio>
#include <mutex>
#include <vector>

#include "desktop.h"
#include "driver_record.h"
#include "escapes.h"
#include "examples.h"
#include "gl_scene.h"
#include "kzuinstr.h"
#include "platform/board.h"
#include "platform/gdi.h"
#include "platform/opengl32.h"
#include "platform/process.h"

namespace {

// What one rasterizer carried out while the program ran, by the primitive
// class of the command word (bits 0-3).
struct Counts3D {
    unsigned long long points = 0;      // class 0
    unsigned long long lines = 0;       // classes 1-4
    unsigned long long polygons = 0;    // class 5
    unsigned long long rectangles = 0;  // class 6: clears, bitmaps, pixel rectangles
    unsigned long long other = 0;
    unsigned long long textured = 0;    // polygons whose program fetches texels
    unsigned long long total() const { return points + lines + polygons + rectangles + other; }
};

void count(Counts3D& c, const vnx::board::DecodedPacket& p) {
    const std::uint32_t cls = p.command & 0xF;
    if (cls == 0) ++c.points;
    else if (cls <= 4) ++c.lines;
    else if (cls == 5) ++c.polygons;
    else if (cls == 6) ++c.rectangles;
    else ++c.other;
    if (cls != 5) return;
    for (const std::uint32_t w : p.instructions) {
        if (kzuOpcode(w) == KZU_OP_TEXEL || kzuOpcode(w) == KZU_OP_TEXF) {
            ++c.textured;
            return;
        }
    }
}

using Program = int (*)(const RECTL*);

Program find_program(const std::string& name) {
    if (name == "scene") return draw_gl_scene;
    for (const Example* e = kExamples; e->name != nullptr; ++e)
        if (name == e->name) return e->run;
    return nullptr;
}

// Whether the display offers an RGBA format with a depth buffer, asked by
// the program's process as an application would; the GL server goes again
// after the question.
bool offers_depth_format() {
    HDC hdc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    if (hdc == nullptr) return false;
    const int n = DescribePixelFormat(hdc, 1, 0, nullptr);
    bool found = false;
    for (int i = 1; i <= n && !found; ++i) {
        PIXELFORMATDESCRIPTOR pfd{};
        if (DescribePixelFormat(hdc, i, sizeof pfd, &pfd) != 0)
            found = pfd.iPixelType == PFD_TYPE_RGBA && pfd.cDepthBits > 0;
    }
    DeleteDC(hdc);
    return found;
}

// Unloads the client driver and the GL server, so the rest of the run sees
// the display driver as before.
void unload_gl() {
    vnx::opengl32::unload_driver();
    HDC hdc = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    if (hdc == nullptr) return;
    ExtEscape(hdc, ESC_UNLOADGLSERVER, 0, nullptr, 0, nullptr);
    DeleteDC(hdc);
}

}  // namespace

RECTL gl_window_rect(LONG cxScreen, LONG cyScreen) {
    const LONG cx = 320, cy = 240;
    const LONG x = (cxScreen - cx) / 2, y = (cyScreen - cy) / 2;
    return RECTL{x, y, x + cx, y + cy};
}

std::string gl_program_names() {
    std::string names = "scene";
    for (const Example* e = kExamples; e->name != nullptr; ++e) names += std::string(", ") + e->name;
    return names + " or none";
}

bool known_gl_program(const std::string& name) {
    return name == "none" || find_program(name) != nullptr;
}

bool run_gl_program(vnx::engine::Device& device, const std::string& name, bool required) {
    const Program program = find_program(name);
    if (program == nullptr) return name == "none";
    ScreenFormat f;
    if (!query_format(device, &f)) return false;
    const RECTL rect = gl_window_rect(f.cxScreen, f.cyScreen);

    vnx::board::Board& board = device.machine().board();
    std::mutex lock;
    std::vector<Counts3D> counts(static_cast<size_t>(board.rasterizers()));
    board.set_executor([&](vnx::board::Board&, int r, const vnx::board::DecodedPacket& p) {
        if (p.kind != vnx::board::ItemKind::Packet) return;
        std::lock_guard<std::mutex> hold(lock);
        if (r >= 0 && static_cast<size_t>(r) < counts.size()) count(counts[r], p);
    });

    const DWORD pid = vnx::process::create(name.c_str());
    int status = 0;
    bool skipped = false;
    {
        vnx::process::Scope as(pid);
        if (!offers_depth_format()) skipped = true;
        else status = program(&rect);
    }
    drain_queues(device);
    {
        vnx::process::Scope as(pid);
        unload_gl();
    }
    vnx::process::terminate(pid);
    board.set_executor(nullptr);

    if (skipped) {
        std::printf("OpenGL: %s not drawn: the mode offers no RGBA pixel format with a depth "
                    "buffer (try --mode 640x480x16, or --memory)\n",
                    name.c_str());
        return !required;
    }
    std::printf("OpenGL: %s in a %ldx%ld window at (%ld, %ld): %s\n", name.c_str(),
                static_cast<long>(rect.right - rect.left),
                static_cast<long>(rect.bottom - rect.top), static_cast<long>(rect.left),
                static_cast<long>(rect.top), status == 0 ? "drawn" : "failed");
    std::printf("3D packets:\n");
    std::lock_guard<std::mutex> hold(lock);
    unsigned long long textured = 0;
    for (int r = 0; r < board.rasterizers(); ++r) {
        const Counts3D& c = counts[static_cast<size_t>(r)];
        std::printf("  rasterizer %d (board %d): %llu 3D packets: %llu polygons, %llu lines, "
                    "%llu points, %llu rectangles (clears, bitmaps, pixels), %llu other\n",
                    r, board.board_of(r), c.total(), c.polygons, c.lines, c.points,
                    c.rectangles, c.other);
        textured += c.textured;
    }
    std::printf("  textured: %llu polygon packets (programs that fetch texels)\n", textured);
    return status == 0;
}
