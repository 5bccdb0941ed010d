// What the picture tests share: the window the scenes draw into, the
// scenes themselves (GL calls sent to the server and run by OSMesa alike),
// the table rows naming a scene and a machine (../machines.h), and the
// fixture that boots a machine, opens the window, sends a scene and
// compares the window's pixels with the reference.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "../machines.h"
#include "gl/server/swap/server_on_device.h"
#include "scene.h"

namespace pictures {

using glmachines::Machine;

// The window the scenes draw into (no window above it): at (100, 80), or on
// a split board across the seam (glmachines::WindowArea).
constexpr int kWidth = 256, kHeight = 192;

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
// pixel may show at 32 bits (the machine adds its format's steps,
// glmachines::Allowed), how many pixels may exceed it, and why; the
// ancillary buffers it needs.
struct Scene {
    const char* name;
    Calls (*calls)();
    int tolerance;
    int outliers;
    const char* why;
    unsigned buffers = 0;
};

// The machines the tables draw on: every machine a user has
// (glmachines::kMachines) and the Duo at 32 and 16 bits and a split board at
// 16 bits besides.
inline const Machine kPictureMachines[] = {
    glmachines::kSolo32, glmachines::kDuo32, glmachines::kQuad32, glmachines::kSplit32,
    glmachines::kSolo16, glmachines::kDuo16, glmachines::kQuad16, glmachines::kSplit16,
    glmachines::kSolo8,  glmachines::kQuad8, glmachines::kVnxsim};

// A split board of two Duos of 16 MB at 32 bits: the window's buffers take
// every page slot beside the two screens (pictures_test.cpp, "Tight").
inline const Machine kTightSplit32{"split32tight", {2, 2, 16, 1024, 768, 32}};

// Test names and failure messages name the scene and the machine.
inline void PrintTo(const Scene& s, std::ostream* os) { *os << s.name; }
// The parameterised test's name: <machine>_<scene>.
std::string RowName(const ::testing::TestParamInfo<std::tuple<Scene, Machine>>& info);

// The notes of pictures_machines.cpp about the running suite's scene on the
// machine: why it is not drawn there (the machine cannot draw it, or the
// pair shows a known fault), or ""; more tolerance than the machine's format
// gives and why, or null.
std::string MachineSkip(const Scene& scene, const Machine& machine);
glmachines::Extra ToleranceOf(const Scene& scene, const Machine& machine);

class PictureFixture : public glsrv_device::ServerTest,
                       public ::testing::WithParamInterface<std::tuple<Scene, Machine>> {
  protected:
    // Each test boots the machine of its row.
    void SetUp() override {}
    // The machine (with room in board memory for the server's scratch and
    // staging surfaces beside the screen, back and depth buffers), with the
    // planes of the buffers wanted and mip-maps when kMipmaps is wanted
    // (a machine the test configures), started as ServerOnDevice::Boot
    // starts it.
    void BootRoomy(const Machine& machine, unsigned buffers = 0);
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
    Machine machine_ = glmachines::kSolo32;
    RECTL area_ = glmachines::WindowArea(glmachines::kSolo32, kWidth, kHeight);
    unsigned buffers_ = 0;
};

}  // namespace pictures
