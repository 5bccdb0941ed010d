// What the picture tests share: the window the scenes draw into, the
// scenes themselves (GL calls sent to the server and run by OSMesa alike),
// the table rows naming a scene and a machine, and the fixture that boots
// a machine, opens the window, sends a scene and compares the window's
// pixels with the reference.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "gl/server/swap/server_on_device.h"
#include "scene.h"

namespace pictures {

// The window the scenes draw into (no window above it).
constexpr RECTL kArea = {100, 80, 356, 272};
constexpr int kWidth = kArea.right - kArea.left, kHeight = kArea.bottom - kArea.top;
// On a split board (two boards, screens of 1024 pixels side by side) the
// same window straddles the seam: its left 100 columns on the first screen,
// the rest on the second.
constexpr LONG kSplitScreenWidth = 1024;
constexpr RECTL kSplitArea = {kSplitScreenWidth - 100, 80, kSplitScreenWidth - 100 + kWidth, 272};

// What every scene starts with, on both sides: window coordinates in
// pixels (x right, y up, z in [-1, 1] nearer when larger), the depth buffer
// cleared to the far end; everything else as GL starts (dithering on). (The colour buffer starts
// black: the board's is cleared by the test, OSMesa's starts so.)
Calls Start();
Calls With(Calls a, const Calls& b);

struct V {
    float x, y, z;
    float r, g, b;
};
// One primitive of vertices, each with its colour.
Calls Primitive(std::uint32_t mode, std::initializer_list<V> vs);

// --- the scenes ----------------------------------------------------------------
Calls Triangles(std::uint32_t shade);
Calls Quads(std::uint32_t shade);
Calls Polygon(std::uint32_t shade);
Calls StripAndFan(std::uint32_t shade);
// Two overlapping triangles, the second drawn under the depth function.
Calls Depth(std::uint32_t func);
Calls Lines(float width, bool stipple, std::uint32_t shade);
Calls LineStrip();
// Stencil marks: 1 under one triangle and 2 under another (the overlap 2),
// with the stencil test on; a row's own pass follows.
Calls StencilMarks();

// Ancillary buffers a scene draws with: the board configured with them and
// the window's pixel format the one that has them; kMipmaps: a board that
// holds mip-maps (BCF_MIPMAP), so mipmapped textures draw on the board.
enum : unsigned { kAlphaBuffer = 1, kStencilBuffer = 2, kMipmaps = 4 };

// A row of a scene table: the scene, the largest channel difference a
// pixel may show, how many pixels may exceed it, and why; the ancillary
// buffers it needs.
struct Scene {
    const char* name;
    Calls (*calls)();
    int tolerance;
    int outliers;
    const char* why;
    unsigned buffers = 0;
};

// A row of a machine table: rasterizers (of a board), display depth, and
// the levels a channel may differ on top of the scene's tolerance because
// of the depth; two boards make a split board (screens of 1024 pixels side
// by side, the window across their seam); the page-width code is the
// board's multiplier of its page width (1: pages twice as wide).
struct Machine {
    int rasterizers;
    ULONG bpp;
    int depthTolerance;
    int boards = 1;
    int pageWidthCode = 0;
};

// Test names and failure messages name the scene and the machine.
inline void PrintTo(const Scene& s, std::ostream* os) { *os << s.name; }
inline void PrintTo(const Machine& m, std::ostream* os) {
    *os << m.rasterizers << " rasterizers, " << m.bpp << " bits" << (m.boards == 2 ? ", split board" : "")
        << (m.pageWidthCode != 0 ? ", pages twice as wide" : "");
}
// The parameterised test's name: scene_<rasterizers>r<bits>, with "_split"
// on a split board and "_widepages" on a board of pages twice as wide.
std::string RowName(const ::testing::TestParamInfo<std::tuple<Scene, Machine>>& info);

class PictureFixture : public glsrv_device::ServerTest,
                       public ::testing::WithParamInterface<std::tuple<Scene, Machine>> {
  protected:
    // Each test boots the machine of its row.
    void SetUp() override {}
    // The machine with room in board memory for the server's scratch and
    // staging surfaces beside the screen, back and depth buffers (pages of
    // 256 KB, twice as wide with page-width code 1), positions in 28.4,
    // started as ServerOnDevice::Boot starts it.
    void BootRoomy(int rasterizers, ULONG bpp, int boards = 1, unsigned buffers = 0, int pageWidthCode = 0);
    // The application's window alone, a context current on it (in the pixel
    // format with an alpha buffer when the board has one).
    bool OpenWindow();
    // Where the window lies on the desktop of the booted machine.
    const RECTL& Area() const { return area_; }
    const DFB* Primary() const { return reinterpret_cast<const DSURF*>(pso_->dhsurf)->pdfb; }
    // The window's pixels in board memory set to black.
    void Blacken();
    // The calls through the request segment, a few at a time, then Finish.
    void Send(const Calls& calls);
    std::vector<std::uint32_t> Picture();
    // The seams the debugger output names ("<name>: not available yet"),
    // but the one every scene passes without a change to its picture: the
    // stereo page query (these boards are not stereo, which is what it
    // answers).
    static std::set<std::string> SeamsIn(const std::string& text);
    // The row's scene on the row's machine against OSMesa: no board errors,
    // the picture within the tolerances, every packet executed. A scene
    // that reaches a seam is skipped, naming it. sendScene sends the calls
    // (Send, or Send under a switch); the saved picture's name starts with
    // prefix.
    template <typename SendFn>
    void MatchesReference(const std::string& prefix, SendFn sendScene) {
        const auto& [scene, machine] = GetParam();
        const Calls calls = scene.calls();
        if (!Prepare(calls, scene, machine)) return;
        sendScene(calls);
        Judge(prefix, scene, machine);
    }

    // The reference of the calls, then the row's machine with the window
    // open and black and the debugger output cleared; false (with the
    // failure recorded) when any of it fails.
    bool Prepare(const Calls& calls, const Scene& scene, const Machine& machine);

  private:
    void Judge(const std::string& prefix, const Scene& scene, const Machine& machine);

    std::vector<std::uint32_t> reference_;
    RECTL area_ = kArea;
    int boards_ = 1;
    unsigned buffers_ = 0;
};

}  // namespace pictures
