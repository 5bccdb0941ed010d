// Clears and write masks as applications use them: colour, depth and
// stencil clears under the scissor box, ColorMask one channel at a time,
// DepthMask, StencilMask, the clear colour's alpha, and IndexMask on a
// colour-index window.
#include <gtest/gtest.h>

#include <vector>

#include "app_gl.h"
#include "app_scenes.h"

namespace glapp_tests {
namespace {

// Colour and depth cleared in scissor boxes between drawings: a near quad,
// the depth buffer cleared far again in one box and near in another, a far
// quad that shows only where the depth was cleared far; colour-only clears
// that leave the depth alone.
void ScissoredColourDepth(const Gl& gl) {
    Pixels(gl);
    gl.Enable(GL_DEPTH_TEST);
    gl.Color3f(0.8f, 0.2f, 0.2f);
    gl.Rectf(10, 10, 246, 182);  // z = 0: the middle of the range
    gl.Enable(GL_SCISSOR_TEST);
    gl.Scissor(20, 20, 90, 70);
    gl.ClearDepth(1.0);
    gl.Clear(GL_DEPTH_BUFFER_BIT);
    gl.Scissor(140, 20, 90, 70);
    gl.ClearDepth(0.25);
    gl.Clear(GL_DEPTH_BUFFER_BIT);
    gl.Scissor(60, 110, 140, 60);
    gl.ClearColor(0.1f, 0.6f, 0.6f, 0.0f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.Scissor(-20, 150, 60, 80);  // partly outside the window
    gl.ClearColor(0.9f, 0.9f, 0.1f, 0.0f);
    gl.ClearDepth(1.0);
    gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl.Disable(GL_SCISSOR_TEST);
    // Depth -0.2 in window terms 0.6: behind the first quad, in front of a
    // far clear, behind the 0.25 clear.
    gl.Color3f(0.3f, 0.3f, 1.0f);
    gl.Begin(GL_QUADS);
    gl.Vertex3f(0, 0, -0.2f), gl.Vertex3f(256, 0, -0.2f), gl.Vertex3f(256, 192, -0.2f), gl.Vertex3f(0, 192, -0.2f);
    gl.End();
}

// ColorMask one channel (and two) at a time over a drawn ramp: drawings
// and clears write only the unmasked channels.
void ColourMaskChannels(const Gl& gl) {
    Pixels(gl);
    Ramp(gl, 0, 0, 256, 192);
    static const GLboolean kMasks[][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {0, 1, 1}, {0, 0, 0}};
    for (int k = 0; k < 6; ++k) {
        gl.ColorMask(kMasks[k][0], kMasks[k][1], kMasks[k][2], GL_TRUE);
        const float x = 8.0f + 41.0f * k;
        gl.Color3f(0.5f, 0.75f, 0.25f);
        gl.Rectf(x, 100, x + 35, 180);
        gl.Enable(GL_SCISSOR_TEST);
        gl.Scissor(static_cast<int>(x), 10, 35, 80);
        gl.ClearColor(1.0f, 1.0f, 1.0f, 1.0f);
        gl.Clear(GL_COLOR_BUFFER_BIT);
        gl.Disable(GL_SCISSOR_TEST);
    }
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

// Depth writes off: a nearer quad drawn over an orange one without writing
// depth, so far quads drawn later still lose to the orange one's depth but
// not to the nearer one's; a depth clear under the mask changes nothing.
void DepthMaskOff(const Gl& gl) {
    Pixels(gl);
    gl.Enable(GL_DEPTH_TEST);
    gl.Color3f(1, 0.5f, 0);
    gl.Rectf(30, 30, 150, 150);
    gl.DepthMask(GL_FALSE);
    gl.Color3f(0, 0.8f, 0.3f);
    gl.Begin(GL_QUADS);
    gl.Vertex3f(80, 60, 0.5f), gl.Vertex3f(220, 60, 0.5f), gl.Vertex3f(220, 170, 0.5f), gl.Vertex3f(80, 170, 0.5f);
    gl.End();
    gl.Color3f(0.4f, 0.4f, 1);
    gl.Begin(GL_QUADS);
    gl.Vertex3f(60, 10, -0.5f), gl.Vertex3f(200, 10, -0.5f), gl.Vertex3f(200, 100, -0.5f), gl.Vertex3f(60, 100, -0.5f);
    gl.End();
    // A clear under DepthMask(FALSE) leaves the depth buffer too.
    gl.Clear(GL_DEPTH_BUFFER_BIT);
    gl.DepthMask(GL_TRUE);
    gl.Color3f(1, 1, 1);
    gl.Begin(GL_QUADS);
    gl.Vertex3f(120, 40, -0.3f), gl.Vertex3f(240, 40, -0.3f), gl.Vertex3f(240, 120, -0.3f), gl.Vertex3f(120, 120, -0.3f);
    gl.End();
}

// Stencil clears in scissor boxes under write masks: all bits, the low bit
// only, none, the high bit only.
void StencilMaskClears(const Gl& gl) {
    Pixels(gl);
    gl.ClearStencil(0);
    gl.Clear(GL_STENCIL_BUFFER_BIT);
    gl.Enable(GL_SCISSOR_TEST);
    static const struct {
        int x, y, w, h;
        GLuint mask;
        int value;
    } kClears[] = {{10, 10, 120, 100, 0xFF, 3}, {60, 60, 150, 100, 0x1, 0}, {100, 20, 60, 150, 0x0, 2},
                   {150, 90, 90, 90, 0x2, 2},   {20, 130, 60, 50, 0x1, 1}};
    for (const auto& c : kClears) {
        gl.Scissor(c.x, c.y, c.w, c.h);
        gl.StencilMask(c.mask);
        gl.ClearStencil(c.value);
        gl.Clear(GL_STENCIL_BUFFER_BIT);
    }
    gl.Disable(GL_SCISSOR_TEST);
    ShowStencil(gl);
}

// The clear colour's alpha where a blend reads the destination's alpha:
// with an alpha buffer the cleared alpha, without it 1.
void ClearAlpha(const Gl& gl) {
    Pixels(gl);
    gl.ClearColor(0.2f, 0.4f, 0.6f, 0.25f);
    gl.Enable(GL_SCISSOR_TEST);
    gl.Scissor(0, 96, 256, 96);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.ClearColor(0.6f, 0.2f, 0.2f, 0.75f);
    gl.Scissor(0, 0, 256, 96);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.Disable(GL_SCISSOR_TEST);
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA);
    gl.Color3f(1, 1, 1);
    gl.Rectf(20, 20, 236, 172);
    gl.Disable(GL_BLEND);
}

const Scene kClears[] = {
    {"scissored_colour_depth", ScissoredColourDepth, 0, 0, "flat quads and clears on pixel edges: exact"},
    {.name = "scissored_colour_depth_covered",
     .draw = ScissoredColourDepth,
     .tolerance = 0,
     .outliers = 0,
     .why = "flat quads and clears on pixel edges: exact",
     .covered = true},
    {"colour_mask_channels", ColourMaskChannels, 3, 0, "the ramp's span interpolation"},
    {"depth_mask_off", DepthMaskOff, 0, 0, "flat quads on pixel edges: exact"},
    {.name = "stencil_mask_clears",
     .draw = StencilMaskClears,
     .tolerance = 0,
     .outliers = 0,
     .why = "clears and flat rectangles: exact",
     .buffers = kStencilBuffer},
    {"clear_alpha_no_alpha_buffer", ClearAlpha, 1, 0, "the blend's product rounds to either side of a half"},
    {.name = "clear_alpha",
     .draw = ClearAlpha,
     .tolerance = 1,
     .outliers = 0,
     .why = "the blend's product rounds to either side of a half",
     .buffers = kAlphaBuffer},
};

VNX_APP_SCENES(Clears, kClears);

// A colour-index window on a 16-bit display, and on an 8-bit one (the
// displays where the board offers colour-index formats).
class AppIndexTest : public AppTest {
  protected:
    Wants Wanted() const override { return {glmachines::kSolo16, 0, true}; }
    void IndexMaskKeepsMaskedBits();
};
class AppIndexTest8 : public AppIndexTest {
  protected:
    Wants Wanted() const override { return {glmachines::kSolo8, 0, true}; }
};

// IndexMask: clears and drawings write only the index bits the mask lets
// through; the indices read back as GL_COLOR_INDEX.
TEST_F(AppIndexTest, IndexMaskKeepsMaskedBits) { IndexMaskKeepsMaskedBits(); }
TEST_F(AppIndexTest8, IndexMaskKeepsMaskedBits) { IndexMaskKeepsMaskedBits(); }

void AppIndexTest::IndexMaskKeepsMaskedBits() {
    const Gl& gl = gl_;
    WindowCoordinates(gl);
    gl.ClearIndex(0x5A);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.IndexMask(0x0F);
    gl.ClearIndex(0xC3);
    gl.Enable(GL_SCISSOR_TEST);
    gl.Scissor(0, 0, 16, 16);
    gl.Clear(GL_COLOR_BUFFER_BIT);  // (0x5A & 0xF0) | (0xC3 & 0x0F) = 0x53
    gl.Disable(GL_SCISSOR_TEST);
    gl.IndexMask(0xF0);
    gl.Indexi(0x9C);
    gl.Rectf(16, 0, 32, 16);  // (0x9C & 0xF0) | (0x5A & 0x0F) = 0x9A
    gl.IndexMask(0xFF);
    gl.Rectf(32, 0, 48, 16);
    std::vector<GLubyte> got(48 * 16);
    gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
    gl.ReadPixels(0, 0, 48, 16, GL_COLOR_INDEX, GL_UNSIGNED_BYTE, got.data());
    EXPECT_EQ(gl.GetError(), static_cast<GLenum>(GL_NO_ERROR));
    int wrong = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 48; ++x) {
            const int want = x < 16 ? 0x53 : x < 32 ? 0x9A : 0x9C;
            if (got[static_cast<std::size_t>(y * 48 + x)] != want && ++wrong <= 4)
                ADD_FAILURE() << "index at " << x << "," << y << ": " << int{got[static_cast<std::size_t>(y * 48 + x)]}
                              << ", not " << want;
        }
    EXPECT_EQ(BoardErrors(), "");
}

}  // namespace
}  // namespace glapp_tests
