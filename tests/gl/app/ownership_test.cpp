// Pixel ownership: a window under three windows of another application
// (two inside it, one across its top right corner), so that its visible
// region is many rectangles, or under one (two rectangles). Whatever path a drawing takes (the board's
// direct copy, the pixel paths that the fragment operations and the pixel
// transfer send copies, images and bitmaps to, triangles), no pixel of the
// other windows and none next to the window changes, and what shows matches
// the reference.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app_gl.h"

namespace glapp_tests {
namespace {

// Colours that change along both axes in every pixel of the window, the
// depth buffer at 0.5 and the stencil buffer at 1, pixel zoom 1.
void Backdrop(const Gl& gl) {
    Pixels(gl);
    gl.ClearStencil(1);
    gl.Clear(GL_STENCIL_BUFFER_BIT);
    gl.ShadeModel(GL_SMOOTH);
    gl.Begin(GL_QUADS);
    gl.Color3f(0.05f, 0.05f, 0.3f), gl.Vertex2f(0, 0);
    gl.Color3f(0.45f, 0.05f, 0.05f), gl.Vertex2f(kWidth, 0);
    gl.Color3f(0.45f, 0.4f, 0.05f), gl.Vertex2f(kWidth, kHeight);
    gl.Color3f(0.05f, 0.4f, 0.3f), gl.Vertex2f(0, kHeight);
    gl.End();
}

// The copy from the lower left corner over the first hole, and the zoomed
// copy over the second.
void CopyOverHoles(const Gl& gl) {
    gl.RasterPos2i(30, 90);
    gl.CopyPixels(0, 0, 120, 80, GL_COLOR);
    gl.PixelZoom(2, 2);
    gl.RasterPos2i(110, 30);
    gl.CopyPixels(10, 10, 70, 40, GL_COLOR);
    gl.PixelZoom(1, 1);
}

void CopyPlain(const Gl& gl) {
    Backdrop(gl);
    CopyOverHoles(gl);
}

void CopyAlphaTest(const Gl& gl) {
    Backdrop(gl);
    gl.Enable(GL_ALPHA_TEST);
    gl.AlphaFunc(GL_ALWAYS, 0);
    CopyOverHoles(gl);
    gl.Disable(GL_ALPHA_TEST);
}

void CopyBlend(const Gl& gl) {
    Backdrop(gl);
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_ONE, GL_ONE);
    CopyOverHoles(gl);
    gl.Disable(GL_BLEND);
}

void CopyDepthTest(const Gl& gl) {
    Backdrop(gl);
    gl.Enable(GL_DEPTH_TEST);
    gl.DepthFunc(GL_ALWAYS);
    CopyOverHoles(gl);
    gl.Disable(GL_DEPTH_TEST);
}

void CopyStencilTest(const Gl& gl) {
    Backdrop(gl);
    gl.Enable(GL_STENCIL_TEST);
    gl.StencilFunc(GL_EQUAL, 1, 0xFF);
    CopyOverHoles(gl);
    gl.Disable(GL_STENCIL_TEST);
}

void CopyScaled(const Gl& gl) {
    Backdrop(gl);
    gl.PixelTransferf(GL_RED_SCALE, 2.0f);
    gl.PixelTransferf(GL_BLUE_BIAS, 0.25f);
    CopyOverHoles(gl);
    gl.PixelTransferf(GL_RED_SCALE, 1.0f);
    gl.PixelTransferf(GL_BLUE_BIAS, 0.0f);
}

// Depth copied draws the raster colour where its fragments pass.
void CopyDepth(const Gl& gl) {
    Backdrop(gl);
    gl.Enable(GL_DEPTH_TEST);
    gl.DepthFunc(GL_ALWAYS);
    gl.Color3f(0.9f, 0.6f, 0.1f);
    gl.RasterPos2i(30, 90);
    gl.CopyPixels(0, 0, 120, 80, GL_DEPTH);
    gl.Disable(GL_DEPTH_TEST);
}

// Luminance images (the pixel path) under the alpha test: across the first
// hole and the window's top edge, and across the second hole and into the
// lower right corner.
void Luminance(const Gl& gl) {
    constexpr int w = 120, h = 100;
    std::vector<GLubyte> image(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image[static_cast<std::size_t>(y * w + x)] = static_cast<GLubyte>(40 + x + y);
    gl.RasterPos2i(20, 100);
    gl.DrawPixels(w, h, GL_LUMINANCE, GL_UNSIGNED_BYTE, image.data());
    gl.RasterPos2i(120, 20);
    gl.DrawPixels(w, h, GL_LUMINANCE, GL_UNSIGNED_BYTE, image.data());
}

void DrawLuminance(const Gl& gl) {
    Backdrop(gl);
    gl.Enable(GL_ALPHA_TEST);
    gl.AlphaFunc(GL_ALWAYS, 0);
    Luminance(gl);
    gl.Disable(GL_ALPHA_TEST);
}

// The same under the stencil test (the pixel path's points, a board
// stencil plane).
void DrawStencilTest(const Gl& gl) {
    Backdrop(gl);
    gl.Enable(GL_STENCIL_TEST);
    gl.StencilFunc(GL_EQUAL, 1, 0xFF);
    Luminance(gl);
    gl.Disable(GL_STENCIL_TEST);
}

// Bitmaps (the pixel path under the alpha test, or under the stencil
// test) over both holes.
void TwoBitmaps(const Gl& gl) {
    std::vector<GLubyte> bits(static_cast<std::size_t>(16) * 64);
    for (std::size_t i = 0; i < bits.size(); ++i) bits[i] = (i / 16) % 3 == 0 ? 0xFF : 0xA5;
    gl.Color3f(0.9f, 0.8f, 0.2f);
    gl.RasterPos2i(30, 110);
    gl.Bitmap(128, 64, 0, 0, 0, 0, bits.data());
    gl.RasterPos2i(110, 35);
    gl.Bitmap(128, 64, 0, 0, 0, 0, bits.data());
}

void Bitmaps(const Gl& gl) {
    Backdrop(gl);
    gl.Enable(GL_ALPHA_TEST);
    gl.AlphaFunc(GL_ALWAYS, 0);
    TwoBitmaps(gl);
    gl.Disable(GL_ALPHA_TEST);
}

void BitmapsStencilTest(const Gl& gl) {
    Backdrop(gl);
    gl.Enable(GL_STENCIL_TEST);
    gl.StencilFunc(GL_EQUAL, 1, 0xFF);
    TwoBitmaps(gl);
    gl.Disable(GL_STENCIL_TEST);
}

// Two triangles over the whole window.
void Triangles(const Gl& gl) {
    Pixels(gl);
    gl.ShadeModel(GL_SMOOTH);
    gl.Begin(GL_TRIANGLES);
    gl.Color3f(0.8f, 0.1f, 0.1f), gl.Vertex2f(0, 0);
    gl.Color3f(0.1f, 0.8f, 0.1f), gl.Vertex2f(kWidth, 0);
    gl.Color3f(0.1f, 0.1f, 0.8f), gl.Vertex2f(kWidth, kHeight);
    gl.Color3f(0.8f, 0.1f, 0.1f), gl.Vertex2f(0, 0);
    gl.Color3f(0.1f, 0.1f, 0.8f), gl.Vertex2f(kWidth, kHeight);
    gl.Color3f(0.7f, 0.7f, 0.1f), gl.Vertex2f(0, kHeight);
    gl.End();
}

constexpr const char* kCopied = "copied as OSMesa copies; the backdrop's edge pixels";
const Scene kScenes[] = {
    {"copy_plain", CopyPlain, 3, 40, kCopied, nullptr, 0, false, true},
    {"copy_alpha_test", CopyAlphaTest, 3, 40, kCopied, nullptr, 0, false, true},
    {"copy_blend", CopyBlend, 3, 40, kCopied, nullptr, 0, false, true},
    {"copy_depth_test", CopyDepthTest, 3, 40, kCopied, nullptr, 0, false, true},
    {"copy_stencil_test", CopyStencilTest, 3, 40, kCopied, nullptr, kStencilBuffer, false, true},
    {"copy_scaled", CopyScaled, 3, 40, kCopied, nullptr, 0, false, true},
    {"copy_depth", CopyDepth, 3, 40, kCopied, nullptr, 0, false, true},
    {"draw_luminance", DrawLuminance, 3, 40, "drawn as OSMesa draws it", nullptr, 0, false, true},
    {"draw_stencil_test", DrawStencilTest, 3, 40, "drawn as OSMesa draws it", nullptr, kStencilBuffer, false, true},
    {"bitmaps", Bitmaps, 3, 40, "drawn as OSMesa draws them", nullptr, 0, false, true},
    {"bitmaps_stencil_test", BitmapsStencilTest, 3, 40, "drawn as OSMesa draws them", nullptr, kStencilBuffer, false,
     true},
    // Under the one window of `covered` (two rectangles).
    {"copy_alpha_test_two_rectangles", CopyAlphaTest, 3, 40, kCopied, nullptr, 0, true, false},
    {"draw_luminance_two_rectangles", DrawLuminance, 3, 40, "drawn as OSMesa draws it", nullptr, 0, true, false},
    {"triangles", Triangles, 3, 120, "span interpolation; edge pixels where the coverage rules round apart", nullptr,
     0, false, true},
};

// The machines of one board and of several rasterizers, and a split board
// (its window across the seam): each clip list as that machine cuts it.
const glmachines::Machine kOwnershipMachines[] = {glmachines::kSolo32, glmachines::kQuad32, glmachines::kSplit32};

}  // namespace

VNX_APP_SCENES_ON(Ownership, kScenes, kOwnershipMachines);

}  // namespace glapp_tests
