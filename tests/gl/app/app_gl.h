// An OpenGL application as the tests write it: the GL 1.0 entry points its
// scenes and queries call, as a table, so that the same application code
// runs through the system OpenGL library (and the client driver, the GL
// server and the board behind it) and through OSMesa. The machine the
// application runs on (one of the machines of ../machines.h), its window and
// current context, and the OSMesa context of the same size that answers
// for the reference.
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "../machines.h"
#include "platform/engine.h"
#include "platform/gdi.h"
#include "platform/opengl32.h"
#include "platform/process.h"

struct osmesa_context;

namespace glapp_tests {

// The entry points the application may call: all 306 of GL 1.0, one member
// per row of the entry-point description (name without its "gl" prefix).
struct Gl {
#define GL_ENTRY(name, kind, request, ret, params, args) ret(*name) params = nullptr;
#include "glentries.def"
#undef GL_ENTRY
};

// The system OpenGL library's entry points (GL/gl.h, as an application
// links them).
Gl System();

// The window's size in pixels, the same on both sides.
constexpr int kWidth = 256, kHeight = 192;

// The three windows of another application a window with holes lies under,
// in window coordinates (x right, y down; the last past the window's top
// and right edges).
constexpr RECTL kHoles[] = {{40, 30, 90, 70}, {130, 100, 180, 150}, {210, -20, 290, 60}};

// The buffers a scene draws into beside the colour and depth buffers;
// kMipmaps: a board that holds mip-maps (BCF_MIPMAP), so that mip-mapped
// textures draw on the board.
enum : unsigned { kAlphaBuffer = 1, kStencilBuffer = 2, kMipmaps = 4 };

// OSMesa: a context of kWidth x kHeight RGBA pixels with a 16-bit depth
// buffer, an 8-bit stencil buffer and a 16-bit accumulation buffer, current on the calling thread, and
// OSMesa's entry points (looked up by name, never bound to the
// application's). Without alphaBuffer it draws as into a colour buffer
// without alpha: the alpha channel holds 1 and is never written (its
// ColorMask keeps alpha off), so destination alpha reads 1 as GL has it.
// ok() false with error() saying why.
class Reference {
  public:
    explicit Reference(bool alphaBuffer = true);
    ~Reference();
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;
    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }
    const Gl& gl() const { return gl_; }
    // The colour buffer as pixels 0x00RRGGBB, rows top to bottom.
    std::vector<std::uint32_t> Picture() const;

  private:
    Gl gl_;
    std::string error_;
    osmesa_context* ctx_ = nullptr;
    void (*destroy_)(osmesa_context*) = nullptr;
    std::vector<std::uint8_t> rgba_;
    bool ok_ = false;
};

using glmachines::Machine;

// What an application asks of a pixel format: its pixel type, single or
// double buffering, alpha (or none), and at least one bit of each of the
// other buffers it names. Every format chosen draws to a window.
struct FormatWants {
    BYTE type = PFD_TYPE_RGBA;
    bool doubleBuffered = false;
    bool alpha = false;
    bool anyAlpha = false;  // alpha or none, whichever comes first
    bool depth = false;
    bool stencil = false;
    bool accum = false;
};
// The first of the device context's pixel formats that has what is
// wanted, 0 when none has; *pfd its description.
int ChooseFormat(HDC hdc, const FormatWants& wants, PIXELFORMATDESCRIPTOR* pfd = nullptr);

// The application on the board: a machine (one Solo at 640x480, 32 bits a
// pixel, with 28.4 positions, unless the test wants another), an
// application process with a window of kWidth x kHeight (at (100, 80), or
// across a split board's seam), single-buffered RGBA with a depth buffer,
// and a context current.
class AppTest : public ::testing::Test {
  protected:
    // What the test wants beside that: the machine, the buffers the pixel
    // format has (kAlphaBuffer, kStencilBuffer; a machine the test
    // configures places them on the board), colour-index pixels instead of
    // RGBA, the window partly covered by another application's (at (150,
    // 90) of the window, 200 x 150, on top), or under three windows of
    // another application (kHoles: two inside the window, one across its
    // top right corner; the visible region is many rectangles).
    // A test may also place the window (area; empty: the machine's usual
    // place), want a double-buffered format or one with accumulation bits,
    // and keep its alpha buffer in host memory (alphaInHost: the board has
    // no alpha plane, the format still has alpha).
    struct Wants {
        Machine machine = glmachines::kSolo32;
        unsigned buffers = 0;
        bool colourIndex = false;
        bool covered = false;
        bool holes = false;
        RECTL area{};
        bool doubleBuffered = false;
        bool accum = false;
        bool alphaInHost = false;
    };
    virtual Wants Wanted() const { return {}; }
    void SetUp() override { Start(Wanted()); }
    void TearDown() override;
    // Boots the machine and opens the window as wanted, its context current.
    // A fixture whose tests choose their wants themselves overrides SetUp
    // to do nothing and calls this.
    void Start(const Wants& wants);
    // Windows of another process above the application's, at rcls of the
    // desktop.
    void Cover(const std::vector<RECTL>& rcls);
    // The window's pixels in board memory, 0x00RRGGBB, rows top to bottom.
    std::vector<std::uint32_t> Picture();
    // Board errors reported since the machine started, one a line.
    std::string BoardErrors();
    // The whole screen's pixels, 0x00RRGGBB, rows top to bottom (machines
    // of one board).
    std::vector<std::uint32_t> Screen();
    // The names the server said are not there yet ("<name>: not available
    // yet" in the debugger output), but the stereo-page query no scene
    // depends on (these boards are not stereo, which is what it answers).
    static std::string SeamsIn(const std::string& said);
    vnx::board::Board& board() { return device_->machine().board(); }

    // Which of the window's pixels (rows top to bottom) it shows.
    std::vector<bool> Shown();
    // The pixels of the window and of kMargin pixels around it, rows top to
    // bottom.
    static constexpr int kMargin = 24;
    std::vector<std::uint32_t> Around();

    // The machine as booted, and where the window lies on its desktop.
    Machine machine_ = glmachines::kSolo32;
    RECTL area_{};
    std::unique_ptr<vnx::engine::Device> device_;
    DWORD app_ = 0, other_ = 0;
    HWND hwnd_ = nullptr;
    HDC hdc_ = nullptr;
    HGLRC hglrc_ = nullptr;
    Gl gl_;
    PIXELFORMATDESCRIPTOR pfd_{};

  private:
    std::unique_ptr<vnx::process::Scope> as_;
};

// Window coordinates in pixels (x right, y up) over the whole window.
void WindowCoordinates(const Gl& gl);

// Window coordinates in pixels (x right, y up), the colour buffer cleared
// to a dark blue and the depth buffer to the far end, everything else as GL
// starts (dithering on): what most scenes start with.
void Pixels(const Gl& gl);

// A row of a scene table: an application's drawing, run through the system
// OpenGL library on the board and through OSMesa, the largest channel
// difference a pixel may show, how many pixels may exceed it, and why.
struct Scene {
    const char* name;
    void (*draw)(const Gl&);
    int tolerance;
    int outliers;
    const char* why;
    const char* fault = nullptr;  // a known fault the scene shows, reported: the row is skipped naming it
    unsigned buffers = 0;         // kAlphaBuffer, kStencilBuffer: the buffers the scene draws into
    bool covered = false;         // drawn in a window partly covered by another application's
    bool holes = false;           // drawn in a window under the three windows of kHoles
    // Where the window's top left corner lies on the desktop (a window at
    // the screen's edge); negative: the machine's usual place.
    LONG left = -1, top = -1;
};
inline void PrintTo(const Scene& s, std::ostream* os) { *os << s.name; }

// The parameterised test of the scene tables: each row drawn on each machine
// and by the reference, and the pictures compared within the scene's
// tolerance and the machine's (glmachines::Allowed), with no board errors and
// every packet executed. A (family, scene, machine) that the tables of
// app_machines.cpp name is skipped, saying why.
class AppPictures : public AppTest, public ::testing::WithParamInterface<std::tuple<Machine, Scene>> {
  protected:
    const Machine& machine() const { return std::get<0>(GetParam()); }
    const Scene& scene() const { return std::get<1>(GetParam()); }
    Wants Wanted() const override {
        Wants wants{machine(), scene().buffers, false, scene().covered, scene().holes};
        if (scene().left >= 0 && scene().top >= 0)
            wants.area = {scene().left, scene().top, scene().left + kWidth, scene().top + kHeight};
        return wants;
    }
    void MatchesReference();
};

// The notes of app_machines.cpp about the running family's scene on the
// machine: why it is not drawn there (the machine cannot draw it, or the
// pair shows a known fault), or ""; the tolerance the notes add beyond one
// step of the machine's format, and why.
std::string MachineSkip(const Scene& scene, const Machine& machine);
glmachines::Extra ToleranceOf(const Scene& scene, const Machine& machine);

// <machine>_<row>.
std::string AppRowName(const ::testing::TestParamInfo<std::tuple<Machine, Scene>>& info);

}  // namespace glapp_tests

// One family's table of scenes on every machine as test cases of
// AppPictures, named <Family>/AppPictures.MatchesReference/<machine>_<row>;
// VNX_APP_SCENES_ON: on the machines of an array (rows whose pictures the
// other machines draw no differently).
#define VNX_APP_SCENES_ON(Family, table, machines)                                                            \
    INSTANTIATE_TEST_SUITE_P(Family, AppPictures,                                                             \
                             ::testing::Combine(::testing::ValuesIn(machines), ::testing::ValuesIn(table)),   \
                             ::glapp_tests::AppRowName)
#define VNX_APP_SCENES(Family, table) VNX_APP_SCENES_ON(Family, table, ::glmachines::kMachines)
