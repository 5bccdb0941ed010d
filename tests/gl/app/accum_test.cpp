// The accumulation buffer as applications use it: LOAD, ACCUM, MULT, ADD
// and RETURN (factors above one and below zero), the accumulation clear,
// the scissor box, the read buffer's alpha, motion blur over eight frames;
// each scene run through the system OpenGL library on the board and
// through OSMesa, the pictures compared. Then windows whose every pixel a
// pass reaches: a window in the screen's bottom-right corner drawn full
// changes exactly its own pixels, a window another process's window
// covers changes none of that window's, and RETURN into the back buffer
// of a double-buffered window carries the back buffer's alpha.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "../../platform/gl_reference.h"
#include "app_gl.h"
#include "escapes.h"
#include "platform/board.h"
#include "platform/debug.h"
#include "platform/miniport.h"
#include "platform/windows.h"
#include "vornix_surface.h"

namespace glapp_tests {
namespace {

// Window pixels: the scenes' common start (the colour buffer cleared to a
// dark grey, the accumulation buffer to zero).
void Window(const Gl& gl) {
    Pixels(gl);
    gl.ClearColor(0.1f, 0.1f, 0.1f, 0.0f);
    gl.ClearAccum(0, 0, 0, 0);
    gl.Clear(GL_COLOR_BUFFER_BIT | GL_ACCUM_BUFFER_BIT);
}

// A smooth triangle moved right by dx, its corners red, green and blue.
void Triangle(const Gl& gl, float dx) {
    gl.Begin(GL_TRIANGLES);
    gl.Color3f(0.9f, 0.1f, 0.1f);
    gl.Vertex2f(30 + dx, 20);
    gl.Color3f(0.1f, 0.9f, 0.2f);
    gl.Vertex2f(130 + dx, 40);
    gl.Color3f(0.2f, 0.3f, 1.0f);
    gl.Vertex2f(70 + dx, 170);
    gl.End();
}

// The colour buffer cleared and the triangle drawn at dx.
void Frame(const Gl& gl, float dx) {
    gl.Clear(GL_COLOR_BUFFER_BIT);
    Triangle(gl, dx);
}

void LoadReturn(const Gl& gl) {
    Window(gl);
    Frame(gl, 40);
    gl.Accum(GL_LOAD, 1.0f);
    gl.ClearColor(0.5f, 0.0f, 0.5f, 0.0f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.Accum(GL_RETURN, 1.0f);
}

// Two frames, each weighed a half, summed.
void AccumHalves(const Gl& gl) {
    Window(gl);
    Frame(gl, 0);
    gl.Accum(GL_ACCUM, 0.5f);
    Frame(gl, 60);
    gl.Accum(GL_ACCUM, 0.5f);
    gl.Accum(GL_RETURN, 1.0f);
}

void Mult(const Gl& gl) {
    Window(gl);
    Frame(gl, 40);
    gl.Accum(GL_LOAD, 1.0f);
    gl.Accum(GL_MULT, 0.4f);
    gl.Accum(GL_RETURN, 1.0f);
}

// ADD of a positive and of a negative value: the background rises, the
// triangle's bright corners fall.
void AddBothWays(const Gl& gl) {
    Window(gl);
    Frame(gl, 40);
    gl.Accum(GL_LOAD, 1.0f);
    gl.Accum(GL_ADD, 0.3f);
    gl.Accum(GL_ADD, -0.5f);
    gl.Accum(GL_RETURN, 1.0f);
}

// RETURN's factor above one: channels beyond 1.0 are clamped.
void ReturnAboveOne(const Gl& gl) {
    Window(gl);
    Frame(gl, 40);
    gl.Accum(GL_LOAD, 0.5f);
    gl.Accum(GL_RETURN, 2.5f);
}

// A negative LOAD, then RETURN by a negative factor: negative values come
// back positive.
void ReturnNegative(const Gl& gl) {
    Window(gl);
    Frame(gl, 40);
    gl.Accum(GL_LOAD, -0.8f);
    gl.Accum(GL_RETURN, -1.0f);
}

// The accumulation buffer cleared to a colour, a frame added on top.
void ClearAccumColour(const Gl& gl) {
    Window(gl);
    gl.ClearAccum(0.2f, 0.4f, 0.1f, 0.0f);
    gl.Clear(GL_ACCUM_BUFFER_BIT);
    Frame(gl, 40);
    gl.Accum(GL_ACCUM, 0.5f);
    gl.Accum(GL_RETURN, 1.0f);
}

// The scissor box limits every operation and the accumulation clear: the
// box's inside returns the sum, the rest keeps the last frame.
void Scissored(const Gl& gl) {
    Window(gl);
    gl.Scissor(40, 30, 120, 100);
    gl.Enable(GL_SCISSOR_TEST);
    gl.ClearAccum(0.3f, 0.0f, 0.3f, 0.0f);
    gl.Clear(GL_ACCUM_BUFFER_BIT);
    gl.Disable(GL_SCISSOR_TEST);
    Frame(gl, 0);
    gl.Enable(GL_SCISSOR_TEST);
    gl.Accum(GL_ACCUM, 0.5f);
    gl.Disable(GL_SCISSOR_TEST);
    Frame(gl, 60);
    gl.Enable(GL_SCISSOR_TEST);
    gl.Accum(GL_ACCUM, 0.5f);
    gl.Accum(GL_MULT, 0.9f);
    gl.Accum(GL_RETURN, 1.0f);
    gl.Disable(GL_SCISSOR_TEST);
}

// Motion blur: eight frames of the triangle moving right, each an eighth.
void MotionBlur(const Gl& gl) {
    Window(gl);
    for (int k = 0; k < 8; ++k) {
        Frame(gl, 15.0f * static_cast<float>(k));
        gl.Accum(k == 0 ? GL_LOAD : GL_ACCUM, 1.0f / 8);
    }
    gl.Accum(GL_RETURN, 1.0f);
}

const Scene kScenes[] = {
    {"load_return", LoadReturn, 2, 0, "the frame as drawn, rounded through 16-bit values on both"},
    {"accum_halves", AccumHalves, 2, 30, "halves summed, rounded on both; triangle edges"},
    {"mult", Mult, 2, 0, "the product rounded on both"},
    {"add_both_ways", AddBothWays, 2, 0, "sums clamped at 0 and 1 on return"},
    {"return_above_one", ReturnAboveOne, 2, 0, "doubled and clamped at 1"},
    {"return_negative", ReturnNegative, 2, 0, "negative values by a negative factor"},
    {"clear_accum", ClearAccumColour, 2, 0, "the clear value under half a frame"},
    {"scissor", Scissored, 2, 30, "inside the box the sum, outside the last frame; triangle edges"},
    {"motion_blur", MotionBlur, 3, 60, "eight eighths rounded on both; triangle edges"},
};

VNX_APP_SCENES(Accum, kScenes);

// --- whole windows ---------------------------------------------------------------

// One board at 640x480x32, an application with a window at an area of its
// choosing in a format with accumulation bits as it chooses, and, when
// asked, a second process whose window lies above it.
class AccumWindowTest : public AppTest {
  protected:
    static constexpr LONG kScreenWidth = 640, kScreenHeight = 480;
    struct Want {
        bool doubleBuffered = false;
        bool alpha = false;
        bool boardAlpha = true;  // the board's one alpha plane, else an alpha buffer a colour buffer in host memory
    };

    // Each test boots its machine itself.
    void SetUp() override {}
    void Boot(const RECTL& area, Want want) {
        Wants wants;
        wants.area = area;
        wants.doubleBuffered = want.doubleBuffered;
        wants.accum = true;
        wants.buffers = want.alpha ? unsigned{kAlphaBuffer} : 0u;
        wants.alphaInHost = !want.boardAlpha;
        Start(wants);
    }

    // The window's part of a screen picture.
    std::vector<std::uint32_t> WindowOf(const std::vector<std::uint32_t>& screen) const {
        std::vector<std::uint32_t> out;
        for (LONG y = area_.top; y < area_.bottom; ++y)
            for (LONG x = area_.left; x < area_.right; ++x)
                out.push_back(screen[static_cast<std::size_t>(y * kScreenWidth + x)]);
        return out;
    }
};

// A window drawn to its edges by one kind of pass: every pixel of it, the
// last column and row included, in the scene's colour. The window is
// kWidth x kHeight on both sides.
struct FullScene {
    const char* name;
    void (*draw)(const Gl&);
};

void Unit(const Gl& gl) { Pixels(gl); }
void FullClear(const Gl& gl) {
    Unit(gl);
    gl.ClearColor(0.2f, 0.6f, 0.4f, 0.0f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
}
void FullRect(const Gl& gl) {
    Unit(gl);
    gl.Color3f(0.8f, 0.4f, 0.2f);
    gl.Rectf(0, 0, kWidth, kHeight);
}
void FullSmoothRect(const Gl& gl) {
    Unit(gl);
    gl.Begin(GL_QUADS);
    gl.Color3f(1, 0, 0);
    gl.Vertex2f(0, 0);
    gl.Color3f(0, 1, 0);
    gl.Vertex2f(kWidth, 0);
    gl.Color3f(0, 0, 1);
    gl.Vertex2f(kWidth, kHeight);
    gl.Color3f(1, 1, 0);
    gl.Vertex2f(0, kHeight);
    gl.End();
}
void FullReturn(const Gl& gl) {
    FullSmoothRect(gl);
    gl.Accum(GL_LOAD, 1.0f);
    gl.ClearColor(0, 0, 0, 0);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.Accum(GL_RETURN, 1.0f);
}
// Points on every pixel of the window's edges (the last column and the
// bottom row among them), one and three pixels wide.
void EdgePoints(const Gl& gl, float size) {
    Unit(gl);
    gl.ClearColor(0, 0, 0, 0);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.PointSize(size);
    gl.Color3f(1.0f, 0.9f, 0.3f);
    gl.Begin(GL_POINTS);
    for (int x = 0; x < kWidth; ++x) {
        gl.Vertex2f(x + 0.5f, 0.5f);
        gl.Vertex2f(x + 0.5f, kHeight - 0.5f);
    }
    for (int y = 0; y < kHeight; ++y) {
        gl.Vertex2f(0.5f, y + 0.5f);
        gl.Vertex2f(kWidth - 0.5f, y + 0.5f);
    }
    gl.End();
}
void EdgePoints1(const Gl& gl) { EdgePoints(gl, 1.0f); }
void EdgePoints3(const Gl& gl) { EdgePoints(gl, 3.0f); }

const FullScene kFullScenes[] = {
    {"clear", FullClear},           {"rectangle", FullRect},        {"smooth_rectangle", FullSmoothRect},
    {"return", FullReturn},         {"edge_points", EdgePoints1},   {"edge_points_3", EdgePoints3},
};

class FullWindowTest : public AccumWindowTest, public ::testing::WithParamInterface<FullScene> {
  protected:
    std::vector<std::uint32_t> Reference() {
        glapp_tests::Reference mesa;
        EXPECT_TRUE(mesa.ok()) << mesa.error();
        if (!mesa.ok()) return {};
        GetParam().draw(mesa.gl());
        return mesa.Picture();
    }
};

// The window in the screen's bottom-right corner: its last column and row
// are the screen's. The board's window matches the reference pixel for
// pixel (the passes' rounding aside), and nothing outside it changes.
TEST_P(FullWindowTest, WindowAtTheScreensCornerChangesExactlyItsPixels) {
    const std::vector<std::uint32_t> want = Reference();
    ASSERT_FALSE(want.empty());
    Boot({kScreenWidth - kWidth, kScreenHeight - kHeight, kScreenWidth, kScreenHeight}, {});
    if (HasFatalFailure()) return;
    const std::vector<std::uint32_t> before = Screen();
    GetParam().draw(gl_);
    gl_.Finish();
    EXPECT_EQ(gl_.GetError(), static_cast<GLenum>(GL_NO_ERROR));
    const std::vector<std::uint32_t> after = Screen();
    EXPECT_TRUE(vnx::glref::same_picture(std::string("corner-") + GetParam().name, want, WindowOf(after), kWidth,
                                         kHeight, 1, 0));
    int outside = 0;
    for (LONG y = 0; y < kScreenHeight; ++y)
        for (LONG x = 0; x < kScreenWidth; ++x) {
            const bool in = x >= area_.left && y >= area_.top;
            const std::size_t at = static_cast<std::size_t>(y * kScreenWidth + x);
            if (!in && after[at] != before[at] && outside++ < 5)
                ADD_FAILURE() << "pixel " << x << "," << y << " outside the window changed";
        }
    EXPECT_EQ(outside, 0);
}

// A window of another process covers the application's window across its
// right part and the middle of its rows (the application's visible region
// is three rectangles): drawing changes none of the covering window's
// pixels, and the visible rest matches the reference.
TEST_P(FullWindowTest, CoveredWindowLeavesTheCoveringWindowAlone) {
    const std::vector<std::uint32_t> want = Reference();
    ASSERT_FALSE(want.empty());
    const RECTL area = {100, 80, 100 + kWidth, 80 + kHeight};
    const RECTL cover = {220, 130, 420, 200};
    Boot(area, {});
    if (HasFatalFailure()) return;
    Cover({cover});
    if (HasFatalFailure()) return;
    const std::vector<std::uint32_t> before = Screen();
    GetParam().draw(gl_);
    gl_.Finish();
    EXPECT_EQ(gl_.GetError(), static_cast<GLenum>(GL_NO_ERROR));
    const std::vector<std::uint32_t> after = Screen();
    int changed = 0, wrong = 0;
    for (LONG y = 0; y < kScreenHeight; ++y)
        for (LONG x = 0; x < kScreenWidth; ++x) {
            const std::size_t at = static_cast<std::size_t>(y * kScreenWidth + x);
            const bool covered = x >= cover.left && x < cover.right && y >= cover.top && y < cover.bottom;
            const bool mine = x >= area.left && x < area.right && y >= area.top && y < area.bottom;
            if ((covered || !mine) && after[at] != before[at] && changed++ < 5)
                ADD_FAILURE() << "pixel " << x << "," << y << " outside the visible window changed";
            if (mine && !covered) {
                const std::uint32_t w =
                    want[static_cast<std::size_t>((y - area.top) * kWidth + (x - area.left))];
                int d = 0;
                for (int s = 0; s < 24; s += 8)
                    d = std::max(d, std::abs(static_cast<int>((w >> s) & 0xFF) - static_cast<int>((after[at] >> s) & 0xFF)));
                if (d > 1 && wrong++ < 5) ADD_FAILURE() << "visible pixel " << x << "," << y << " not drawn as GL draws it";
            }
        }
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Accum, FullWindowTest, ::testing::ValuesIn(kFullScenes),
                         [](const ::testing::TestParamInfo<FullScene>& info) { return std::string(info.param.name); });

// --- the read buffer's alpha ---------------------------------------------------------
// Scenes in a single-buffered format with an alpha buffer: what the
// accumulation buffer carried into the alpha buffer shows through a blend
// weighed by the destination alpha.

// A white rectangle over the window weighed by the alpha buffer.
void ShowAlpha(const Gl& gl) {
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_DST_ALPHA, GL_ZERO);
    gl.Color4f(1, 1, 1, 1);
    gl.Rectf(0, 0, kWidth, kHeight);
    gl.Disable(GL_BLEND);
}
// A triangle whose alpha runs from 0.2 to 1.0 over its corners.
void AlphaTriangle(const Gl& gl, float dx) {
    gl.Begin(GL_TRIANGLES);
    gl.Color4f(0.9f, 0.1f, 0.1f, 0.2f);
    gl.Vertex2f(30 + dx, 20);
    gl.Color4f(0.1f, 0.9f, 0.2f, 0.6f);
    gl.Vertex2f(130 + dx, 40);
    gl.Color4f(0.2f, 0.3f, 1.0f, 1.0f);
    gl.Vertex2f(70 + dx, 170);
    gl.End();
}
// The triangle's alpha loaded and returned over a cleared buffer.
void AlphaLoadReturn(const Gl& gl) {
    Window(gl);
    AlphaTriangle(gl, 40);
    gl.Accum(GL_LOAD, 1.0f);
    gl.ClearColor(0, 0, 0, 0);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.Accum(GL_RETURN, 1.0f);
    ShowAlpha(gl);
}
// Two frames' alphas summed at a half each, then scaled on return.
void AlphaAccumulated(const Gl& gl) {
    Window(gl);
    gl.ClearColor(0.1f, 0.1f, 0.1f, 0.4f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    AlphaTriangle(gl, 0);
    gl.Accum(GL_ACCUM, 0.5f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    AlphaTriangle(gl, 60);
    gl.Accum(GL_ACCUM, 0.5f);
    gl.Accum(GL_RETURN, 1.5f);
    ShowAlpha(gl);
}

const Scene kAlphaScenes[] = {
    {"alpha_load_return", AlphaLoadReturn, 2, 30, "the alpha as drawn, rounded through 16 bits; triangle edges"},
    {"alpha_accumulated", AlphaAccumulated, 3, 60, "halves summed and scaled, rounded on both; triangle edges"},
};

class AlphaPictures : public AccumWindowTest, public ::testing::WithParamInterface<Scene> {};

TEST_P(AlphaPictures, MatchReference) {
    const Scene& scene = GetParam();
    std::vector<std::uint32_t> want;
    {
        glapp_tests::Reference mesa;
        ASSERT_TRUE(mesa.ok()) << mesa.error();
        scene.draw(mesa.gl());
        want = mesa.Picture();
    }
    Boot({100, 80, 100 + kWidth, 80 + kHeight}, {false, true});
    if (HasFatalFailure()) return;
    scene.draw(gl_);
    gl_.Finish();
    EXPECT_EQ(gl_.GetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_TRUE(vnx::glref::same_picture(std::string("app-") + scene.name, want, Picture(), kWidth, kHeight,
                                         scene.tolerance, scene.outliers))
        << scene.why;
}

INSTANTIATE_TEST_SUITE_P(Accum, AlphaPictures, ::testing::ValuesIn(kAlphaScenes),
                         [](const ::testing::TestParamInfo<Scene>& info) { return std::string(info.param.name); });

// A double-buffered window with alpha buffers of its own for the front and
// the back buffer (in host memory: the board's alpha plane is one for
// both): LOAD and ACCUM read the read buffer's alpha and RETURN writes the
// draw buffer's, the back buffer's here (the front buffer's alpha differs).
TEST_F(AccumWindowTest, BackBufferAlphaGoesThroughTheAccumulationBuffer) {
    Boot({100, 80, 100 + kWidth, 80 + kHeight}, {true, true, false});
    if (HasFatalFailure()) return;
    const Gl& gl = gl_;
    Pixels(gl);
    gl.DrawBuffer(GL_FRONT);
    gl.ClearColor(0.0f, 0.0f, 0.0f, 0.25f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.DrawBuffer(GL_BACK);
    gl.ReadBuffer(GL_BACK);
    gl.ClearColor(0.2f, 0.4f, 0.6f, 0.75f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.Accum(GL_LOAD, 1.0f);
    gl.ClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.Accum(GL_ACCUM, 0.5f);  // the cleared back buffer adds nothing
    gl.Accum(GL_RETURN, 1.0f);
    EXPECT_EQ(gl.GetError(), static_cast<GLenum>(GL_NO_ERROR));
    GLubyte back[4] = {};
    gl.ReadPixels(kWidth / 2, kHeight / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, back);
    const int wantBack[4] = {51, 102, 153, 191};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(back[i], wantBack[i], 1) << "back channel " << i;
}

// The same window: reads take alpha from the read buffer's alpha buffer,
// the back buffer's under ReadBuffer(GL_BACK), by the direct path and by
// the pixel path (the colour maps); a direct copy from it carries that
// alpha. (This board has one alpha plane for both buffers: the back
// buffer's clear is the last.)
TEST_F(AccumWindowTest, ReadsAndCopiesTakeTheReadBuffersAlpha) {
    Boot({100, 80, 100 + kWidth, 80 + kHeight}, {true, true, false});
    if (HasFatalFailure()) return;
    const Gl& gl = gl_;
    Pixels(gl);
    std::vector<GLfloat> identity(32);
    for (int i = 0; i < 32; ++i) identity[static_cast<std::size_t>(i)] = static_cast<GLfloat>(i) / 31.0f;
    for (GLenum map : {GL_PIXEL_MAP_R_TO_R, GL_PIXEL_MAP_G_TO_G, GL_PIXEL_MAP_B_TO_B, GL_PIXEL_MAP_A_TO_A})
        gl.PixelMapfv(map, 32, identity.data());
    auto alphaOf = [&](GLenum buffer, bool mapped, GLint x, GLint y) {
        gl.ReadBuffer(buffer);
        if (mapped) gl.PixelTransferi(GL_MAP_COLOR, GL_TRUE);
        GLubyte a = 0, rgba[4] = {};
        gl.ReadPixels(x, y, 1, 1, GL_ALPHA, GL_UNSIGNED_BYTE, &a);
        gl.ReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        gl.PixelTransferi(GL_MAP_COLOR, GL_FALSE);
        EXPECT_EQ(a, rgba[3]) << "GL_ALPHA and GL_RGBA reads of buffer " << std::hex << buffer;
        return static_cast<int>(rgba[3]);
    };
    gl.DrawBuffer(GL_BACK);
    gl.ClearColor(0.2f, 0.4f, 0.6f, 0.75f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    EXPECT_NEAR(alphaOf(GL_BACK, false, 20, 20), 191, 1);
    // The mapped read: 0.75 to the nearest of 32 entries, 23/31.
    EXPECT_NEAR(alphaOf(GL_BACK, true, 20, 20), 189, 1) << "through the colour maps";
    // A copy from the back buffer into the front buffer carries its alpha.
    gl.ReadBuffer(GL_BACK);
    gl.DrawBuffer(GL_FRONT);
    gl.RasterPos2i(10, 10);
    gl.CopyPixels(0, 0, 40, 30, GL_COLOR);
    EXPECT_NEAR(alphaOf(GL_FRONT, false, 20, 20), 191, 1) << "direct";
    EXPECT_EQ(gl.GetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace
}  // namespace glapp_tests
