// GL pictures through the software paths: the filled-polygon and line
// scenes of the picture tests, sent with the debug switch that draws every
// primitive kind through the software stages (polygon decomposition, span
// rasteriser, line stages, fragment tests, colour write as single-pixel
// packets), compared with OSMesa on 1, 2 and 4 rasterizers. The hardware
// path's pictures are pictures_test.cpp's; these rows keep the two paths
// to the same reference.
//
// A scene whose path through the server still reaches a seam (a part that
// says "not available yet") is skipped, naming the seam.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "../../platform/gl_reference.h"
#include "gl/server/swap/server_on_device.h"
#include "lgi/3d/pipes.h"
#include "scene.h"

namespace {

using namespace pictures;
using glsrv_device::Request;

// The window the scenes draw into (no window above it).
constexpr RECTL kArea = {100, 80, 356, 272};
constexpr int kWidth = kArea.right - kArea.left, kHeight = kArea.bottom - kArea.top;
// Pixel format 2: single-buffered RGBA with a 16-bit depth buffer on the
// 16- and 32-bit displays, so the scenes draw into the front buffer.
constexpr ULONG kSingleBufferedFormat = 1;
constexpr std::uint32_t kDither = 0x0BD0;

// What every scene starts with, on both sides: window coordinates in
// pixels (x right, y up, z in [-1, 1] nearer when larger), no dithering,
// the depth buffer cleared to the far end. (The colour buffer starts
// black: the board's is cleared by the test, OSMesa's starts so.)
Calls Start() {
    return {C("Viewport", {0, 0, kWidth, kHeight}), C("MatrixMode", {kProjection}), C("LoadIdentity"),
            Double("Ortho", {0, kWidth, 0, kHeight, 1, -1}), C("MatrixMode", {kModelview}), C("LoadIdentity"),
            C("DrawBuffer", {0x404}), C("Disable", {kDither}), Double("ClearDepth", {1.0}), C("Clear", {kDepthBufferBit})};
}
Calls With(Calls a, const Calls& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct V {
    float x, y, z;
    float r, g, b;
};
// One primitive of vertices, each with its colour.
Calls Primitive(std::uint32_t mode, std::initializer_list<V> vs) {
    Calls c{C("Begin", {mode})};
    for (const V& v : vs) {
        c.push_back(Colour(v.r, v.g, v.b));
        c.push_back(Vertex(v.x, v.y, v.z));
    }
    c.push_back(C("End"));
    return c;
}

// --- the scenes ----------------------------------------------------------------

Calls Triangles(std::uint32_t shade) {
    return With(Start(), With({C("ShadeModel", {shade})},
                              Primitive(kTriangles, {{20, 20, 0, 1, 0, 0}, {120, 30, 0, 0, 1, 0}, {60, 150, 0, 0, 0, 1},
                                                     {140, 170, 0, 1, 1, 0}, {230, 100, 0, 0, 1, 1}, {130, 60, 0, 1, 0, 1}})));
}
Calls Quads(std::uint32_t shade) {
    return With(Start(), With({C("ShadeModel", {shade})},
                              Primitive(kQuads, {{30, 30, 0, 1, 0, 0}, {110, 20, 0, 0, 1, 0}, {120, 110, 0, 0, 0, 1},
                                                 {20, 100, 0, 1, 1, 1}, {140, 120, 0, 0.5f, 0.2f, 0.9f},
                                                 {240, 130, 0, 0.9f, 0.6f, 0.1f}, {220, 180, 0, 0.1f, 0.9f, 0.4f},
                                                 {150, 170, 0, 0.7f, 0.7f, 0.2f}})));
}
Calls Polygon(std::uint32_t shade) {
    return With(Start(), With({C("ShadeModel", {shade})},
                              Primitive(kPolygon, {{128, 20, 0, 1, 0, 0}, {220, 70, 0, 0, 1, 0}, {200, 160, 0, 0, 0, 1},
                                                   {90, 180, 0, 1, 1, 0}, {30, 100, 0, 0, 1, 1}})));
}
Calls StripAndFan(std::uint32_t shade) {
    return With(Start(),
                With(With({C("ShadeModel", {shade})},
                          Primitive(kTriangleStrip, {{10, 20, 0, 1, 0, 0}, {20, 90, 0, 0, 1, 0}, {60, 25, 0, 0, 0, 1},
                                                     {70, 80, 0, 1, 1, 0}, {110, 30, 0, 0, 1, 1}, {120, 95, 0, 1, 0, 1}})),
                     Primitive(kTriangleFan, {{180, 140, 0, 1, 1, 1}, {240, 140, 0, 1, 0, 0}, {220, 180, 0, 0, 1, 0},
                                              {170, 185, 0, 0, 0, 1}, {130, 150, 0, 1, 1, 0}, {140, 110, 0, 0, 1, 1}})));
}
// Two overlapping triangles, the second drawn under the depth function.
Calls Depth(std::uint32_t func) {
    return With(Start(),
                With(With({C("Enable", {kDepthTest}), C("DepthFunc", {kLess}), C("ShadeModel", {kSmooth})},
                          Primitive(kTriangles, {{20, 20, -0.5f, 1, 0, 0}, {200, 40, 0.5f, 1, 0.5f, 0},
                                                 {80, 170, 0.0f, 1, 0, 0.5f}})),
                     With({C("DepthFunc", {func})},
                          Primitive(kTriangles, {{40, 150, 0.6f, 0, 0, 1}, {230, 170, -0.6f, 0, 1, 1},
                                                 {150, 10, 0.0f, 0, 1, 0}}))));
}
Calls Lines(float width, bool stipple, std::uint32_t shade) {
    Calls c = Start();
    c.push_back(C("ShadeModel", {shade}));
    c.push_back(C("LineWidth", {glx::F(width)}));
    if (stipple) {
        c.push_back(C("Enable", {kLineStipple}));
        c.push_back(C("LineStipple", {2, 0x0F33}));
    }
    return With(c, Primitive(kLines, {{10.5f, 10.5f, 0, 1, 0, 0}, {240.5f, 30.5f, 0, 0, 1, 0},
                                      {20.5f, 40.5f, 0, 1, 1, 0}, {60.5f, 180.5f, 0, 0, 0, 1},
                                      {250.5f, 180.5f, 0, 1, 0, 1}, {90.5f, 60.5f, 0, 0, 1, 1},
                                      {120.5f, 100.5f, 0, 1, 1, 1}, {200.5f, 100.5f, 0, 1, 0, 0},
                                      {150.5f, 20.5f, 0, 0, 1, 0}, {150.5f, 170.5f, 0, 0, 0, 1}}));
}
Calls LineStrip() {
    return With(Start(), Primitive(kLineStrip, {{20.5f, 20.5f, 0, 1, 0, 0}, {200.5f, 60.5f, 0, 0, 1, 0},
                                                {60.5f, 170.5f, 0, 0, 0, 1}, {230.5f, 150.5f, 0, 1, 1, 0}}));
}
// A row of the table: the scene, the largest channel difference a pixel
// may show, how many pixels may exceed it, and why.
struct Scene {
    const char* name;
    Calls (*calls)();
    int tolerance;
    int outliers;
    const char* why;
};

// Tolerances. Interiors: the span rasteriser steps colours in floating
// point from the 28.4 vertices and rounds once a fragment, as OSMesa does
// in its own order: 3 levels. Edges: the span rasteriser's sample rule
// against OSMesa's leaves single pixels along shared and outer edges (a
// few an edge). Lines: both step the major axis at pixel centres with ends
// at pixel centres; a pixel at each end may differ.
const Scene kScenes[] = {
    {"depth_less", [] { return Depth(kLess); }, 3, 40, "16-bit depth on both; the crossing line of two planes"},
    {"depth_greater", [] { return Depth(kGreater); }, 3, 40, "as depth_less"},
    {"depth_equal", [] { return Depth(kEqual); }, 3, 40, "as depth_less"},
    {"depth_always", [] { return Depth(kAlways); }, 3, 40, "as depth_less"},
    {"depth_notequal", [] { return Depth(kNotequal); }, 3, 40, "as depth_less"},
};

// Rows that do not draw yet: the single-pixel colour packets the software
// colour write sends (swwrite.cpp, vWriteColour) are refused by the board
// ("bad command word" with a fragment's colour, e.g. 0x00ff00ff, read as
// the next command; lines also "bad control word 0x0ab00de0"), so the
// packet's length or head does not match the words written after it. They
// are kept as a disabled suite (--gtest_also_run_disabled_tests) to turn
// on when the write is mended.
const Scene kNotYetDrawn[] = {
    {"flat_triangles", [] { return Triangles(kFlat); }, 0, 24, "flat colour is exact; edge pixels of six edges"},
    {"smooth_triangles", [] { return Triangles(kSmooth); }, 3, 24, "span interpolation; edge pixels"},
    {"flat_quads", [] { return Quads(kFlat); }, 0, 32, "quads split on the diagonal; edge pixels"},
    {"smooth_quads", [] { return Quads(kSmooth); }, 3, 32, "interpolation over two triangles a quad; edges"},
    {"flat_polygon", [] { return Polygon(kFlat); }, 0, 24, "the first vertex's colour; edge pixels"},
    {"smooth_polygon", [] { return Polygon(kSmooth); }, 3, 24, "fan triangles; edge pixels"},
    {"smooth_strip_and_fan", [] { return StripAndFan(kSmooth); }, 3, 40, "shared strip edges; edge pixels"},
    {"flat_strip_and_fan", [] { return StripAndFan(kFlat); }, 0, 40, "each triangle's last vertex; edges"},
    {"thin_lines", [] { return Lines(1, false, kFlat); }, 0, 12, "one pixel at a line's ends"},
    {"smooth_thin_lines", [] { return Lines(1, false, kSmooth); }, 3, 12, "interpolation along the major axis"},
    {"wide_lines_2", [] { return Lines(2, false, kFlat); }, 0, 40, "w pixels a column; ends"},
    {"wide_lines_3", [] { return Lines(3, false, kFlat); }, 0, 60, "w pixels a column; ends"},
    {"stippled_lines", [] { return Lines(1, true, kFlat); }, 0, 12, "stipple counted from each line's first pixel"},
    {"line_strip", LineStrip, 3, 12, "shared ends drawn once; colours interpolated along each segment"},
};


struct Machine {
    int rasterizers;
    ULONG bpp;
};
const Machine kMachines[] = {{1, 32}, {2, 32}, {4, 32}};

// Test names and failure messages name the scene and the machine.
void PrintTo(const Scene& s, std::ostream* os) { *os << s.name; }
void PrintTo(const Machine& m, std::ostream* os) { *os << m.rasterizers << " rasterizers, " << m.bpp << " bits"; }

class SoftwarePictureTest : public glsrv_device::ServerTest,
                    public ::testing::WithParamInterface<std::tuple<Scene, Machine>> {
  protected:
    // Each test boots the machine of its row.
    void SetUp() override {}
    // The switch is process-wide: no later test may inherit it.
    void TearDown() override {
        gNForceSoftwarePaths = 0;
        glsrv_device::ServerTest::TearDown();
    }
    // The machine with room in board memory for the server's scratch and
    // staging surfaces beside the screen, back and depth buffers (pages of
    // 256 KB), positions in 28.4, started as ServerOnDevice::Boot starts it.
    void BootRoomy(int rasterizers, ULONG bpp) {
        bpp_ = bpp;
        vnx::miniport::MachineConfig cfg;
        cfg.rasterizers = rasterizers;
        cfg.memoryClass = 2;
        // The driver sends 28.4 positions (sub-pixel precision), which the
        // board's sample points read exactly; whole-pixel positions would
        // lose up to a pixel to their truncation.
        cfg.boardConfig.modelImprecision = 1;
        device_ = std::make_unique<vnx::engine::Device>(cfg);
        ASSERT_TRUE(device_->load_driver());
        ASSERT_TRUE(device_->enable_pdev(glsrv_device::Mode(bpp)));
        ASSERT_TRUE(device_->enable_surface());
        pso_ = EngLockSurface(device_->hsurf());
        ASSERT_NE(pso_, nullptr);
        saved_ = *Hooks();
        ASSERT_TRUE(InitGLSrvDll(nullptr, GLSRV_PROCESS_ATTACH, nullptr));
        ASSERT_EQ(DrvEnableEscape(0x10002, ppdev()), 1u);
        app_ = vnx::process::create("app");
        other_ = vnx::process::create("other");
        vnx::debug::clear();
        board().take_errors();
    }
    // The application's window alone, a context current on it.
    bool OpenWindow() {
        {
            vnx::process::Scope as(app_);
            hwnd_ = vnx::windows::create(kArea);
            if (hwnd_ == nullptr) return false;
        }
        vnx::process::Scope as(app_);
        hdc_ = GetDC(hwnd_);
        if (hdc_ == nullptr || !SetPixelFormat(hdc_, static_cast<INT>(kSingleBufferedFormat), nullptr)) return false;
        std::vector<BYTE> out(4);
        if (Escape(Request(GLCMD_CREATECONTEXT, 0, {0, kSingleBufferedFormat}), &out) != 1) return false;
        std::memcpy(&dhrc_, out.data(), 4);
        return Escape(Request(GLCMD_SETCONTEXT, OGLCMD_NEEDWNDOBJ | OGLCMD_NEEDXLATEOBJ, {0, dhrc_})) == 1;
    }
    const DFB* Primary() const { return reinterpret_cast<const DSURF*>(pso_->dhsurf)->pdfb; }
    // The window's pixels in board memory set to black.
    void Blacken() {
        const DFB* pdfb = Primary();
        for (LONG y = kArea.top; y < kArea.bottom; ++y)
            for (LONG x = kArea.left; x < kArea.right; ++x) {
                const LONG bx = pdfb->x + x, by = pdfb->y + y;
                BYTE* p = board().pixel(board().tile_owner(0, bx, by), static_cast<std::uint16_t>(pdfb->pid), bx, by);
                ASSERT_NE(p, nullptr);
                std::memset(p, 0, bpp_ / 8);
            }
    }
    // The calls through the request segment, a few at a time, then Finish.
    void Send(const Calls& calls) {
        glx::Bytes stream;
        auto flush = [&] {
            if (!stream.empty()) {
                ASSERT_EQ(RunStream(stream), 1);
            }
            stream.clear();
        };
        for (const Call& c : calls) {
            const glx::Bytes b = Encode(c);
            if (stream.size() + b.size() > 2048) flush();
            stream.insert(stream.end(), b.begin(), b.end());
        }
        flush();
        RunSingle(glx::Single("Finish"));
    }
    std::vector<std::uint32_t> Picture() {
        const DFB* pdfb = Primary();
        return board().read_rgb(0, static_cast<std::uint16_t>(pdfb->pid), pdfb->x + kArea.left,
                                pdfb->y + kArea.top, kWidth, kHeight);
    }
    // The seams the debugger output names ("<name>: not available yet"),
    // but those every scene passes without a change to its picture: the
    // stereo page query (these boards are not stereo, which is what it
    // answers) and the dither load (every scene draws with dithering off).
    static std::set<std::string> SeamsIn(const std::string& text) {
        static const std::set<std::string> kHarmless = {"_NStereoPages", "_NDitherMarker", "_NBoardLoadDither"};
        static const std::string kMark = ": not available yet";
        std::set<std::string> out;
        for (std::size_t at = text.find(kMark); at != std::string::npos; at = text.find(kMark, at + 1)) {
            const std::size_t from = text.rfind('\n', at);
            const std::size_t start = from == std::string::npos ? 0 : from + 1;
            const std::string name = text.substr(start, at - start);
            if (kHarmless.count(name) == 0) out.insert(name);
        }
        return out;
    }
};

TEST_P(SoftwarePictureTest, MatchesTheReference) {
    const auto& [scene, machine] = GetParam();
    const Calls calls = scene.calls();
    std::string error;
    const std::vector<std::uint32_t> reference = Reference(calls, kWidth, kHeight, &error);
    ASSERT_FALSE(reference.empty()) << error;

    BootRoomy(machine.rasterizers, machine.bpp);
    ASSERT_TRUE(OpenWindow()) << vnx::debug::take();
    Blacken();
    vnx::debug::clear();
    // Every primitive from here on is drawn by the software stages.
    gNForceSoftwarePaths = 1;
    Send(calls);
    gNForceSoftwarePaths = 0;
    const std::string said = vnx::debug::take();
    const std::set<std::string> seams = SeamsIn(said);
    if (!seams.empty()) {
        std::string names;
        for (const std::string& s : seams) names += (names.empty() ? "" : ", ") + s;
        // VNX_PICTURES_VERBOSE=1 shows what the server said on the way.
        GTEST_SKIP() << scene.name << " reaches the server's seam " << names
                     << (std::getenv("VNX_PICTURES_VERBOSE") != nullptr ? "\n" + said : std::string());
    }
    std::string errors;
    for (const vnx::board::BoardError& e : board().take_errors()) errors += e.message + "\n";
    EXPECT_EQ(errors, "");
    const std::string name = "sw-" + std::string(scene.name) + "-" + std::to_string(machine.rasterizers) + "r" +
                             std::to_string(machine.bpp);
    EXPECT_TRUE(vnx::glref::same_picture(name, reference, Picture(), kWidth, kHeight, scene.tolerance, scene.outliers))
        << scene.why << "\n" << said;
    for (int r = 0; r < machine.rasterizers; ++r) EXPECT_EQ(board().summary(r).unexecuted, 0u) << "rasterizer " << r;
}

INSTANTIATE_TEST_SUITE_P(Scenes, SoftwarePictureTest,
                         ::testing::Combine(::testing::ValuesIn(kScenes), ::testing::ValuesIn(kMachines)),
                         [](const ::testing::TestParamInfo<std::tuple<Scene, Machine>>& info) {
                             const Scene& scene = std::get<0>(info.param);
                             const Machine& machine = std::get<1>(info.param);
                             return std::string(scene.name) + "_" + std::to_string(machine.rasterizers) + "r" +
                                    std::to_string(machine.bpp);
                         });


INSTANTIATE_TEST_SUITE_P(DISABLED_NotYetDrawn, SoftwarePictureTest,
                         ::testing::Combine(::testing::ValuesIn(kNotYetDrawn), ::testing::ValuesIn(kMachines)),
                         [](const ::testing::TestParamInfo<std::tuple<Scene, Machine>>& info) {
                             const Scene& scene = std::get<0>(info.param);
                             const Machine& machine = std::get<1>(info.param);
                             return std::string(scene.name) + "_" + std::to_string(machine.rasterizers) + "r" +
                                    std::to_string(machine.bpp);
                         });

}  // namespace
