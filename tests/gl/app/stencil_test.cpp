// The stencil test as applications use it: every function and operation
// with masks, stencil with the depth test (depth fail and pass), decals in
// several passes, and stencilled drawing blended and under colour masks.
// The stencil values stay within two bits, which every stencil buffer
// holds, so the pictures do not depend on its depth.
#include <gtest/gtest.h>

#include "app_gl.h"
#include "app_scenes.h"

namespace glapp_tests {
namespace {

// One function: stripes of the values 0..3; in the upper band a ramp under
// the function against 2 with mask 3, in the lower against 1 with mask 1
// (the value's low bit).
template <GLenum kFunc>
void StencilFunc(const Gl& gl) {
    Pixels(gl);
    StencilStripes(gl, {0, 1, 2, 3});
    gl.Enable(GL_STENCIL_TEST);
    gl.StencilFunc(kFunc, 2, 0x3);
    Ramp(gl, 0, 100, 256, 184);
    gl.StencilFunc(kFunc, 1, 0x1);
    Ramp(gl, 0, 8, 256, 92);
    gl.Disable(GL_STENCIL_TEST);
}

// One operation in each of the three places: on stripes of 2, 0, 1, 2, a
// band drawn under NEVER (the stencil test fails), one behind a nearer quad
// (the depth test fails), one that passes both, and one that passes under
// the write mask 1; then the values shown. Reference 3 for REPLACE.
template <GLenum kOp>
void StencilOp(const Gl& gl) {
    Pixels(gl);
    StencilStripes(gl, {2, 0, 1, 2});
    gl.Enable(GL_DEPTH_TEST);
    gl.Color3f(0.5f, 0.5f, 0.5f);
    gl.Begin(GL_QUADS);  // the occluder, nearer than the bands
    gl.Vertex3f(0, 56, 0.5f), gl.Vertex3f(256, 56, 0.5f), gl.Vertex3f(256, 96, 0.5f), gl.Vertex3f(0, 96, 0.5f);
    gl.End();
    gl.Enable(GL_STENCIL_TEST);
    gl.StencilOp(kOp, GL_KEEP, GL_KEEP);
    gl.StencilFunc(GL_NEVER, 3, 0xFF);
    gl.Rectf(0, 8, 256, 48);
    gl.StencilOp(GL_KEEP, kOp, GL_KEEP);
    gl.StencilFunc(GL_ALWAYS, 3, 0xFF);
    gl.Rectf(0, 56, 256, 96);
    gl.StencilOp(GL_KEEP, GL_KEEP, kOp);
    gl.Rectf(0, 104, 256, 144);
    gl.StencilMask(0x1);
    gl.Rectf(0, 152, 256, 184);
    gl.StencilMask(0xFF);
    ShowStencil(gl);
}

// Depth and stencil together: two overlapping quads counted where they
// pass the depth test (INCR on depth pass) and a third counted where it
// fails (INVERT on depth fail) behind a near quad.
void DepthPassFail(const Gl& gl) {
    Pixels(gl);
    gl.ClearStencil(0);
    gl.Clear(GL_STENCIL_BUFFER_BIT);
    gl.Enable(GL_DEPTH_TEST);
    gl.Color3f(0.5f, 0.5f, 0.5f);
    gl.Begin(GL_QUADS);
    gl.Vertex3f(100, 0, 0.6f), gl.Vertex3f(180, 0, 0.6f), gl.Vertex3f(180, 192, 0.6f), gl.Vertex3f(100, 192, 0.6f);
    gl.End();
    gl.Enable(GL_STENCIL_TEST);
    gl.StencilFunc(GL_ALWAYS, 0, 0xFF);
    gl.StencilOp(GL_KEEP, GL_KEEP, GL_INCR);
    gl.Rectf(20, 20, 150, 120);
    gl.Rectf(70, 60, 220, 170);
    gl.StencilOp(GL_KEEP, GL_INVERT, GL_KEEP);
    gl.Rectf(140, 100, 240, 150);
    ShowStencil(gl);
}

// A decal in three passes: a base quad drawn under the depth test behind
// part of an occluder, marking the stencil where it shows; a decal on it
// drawn with the depth test off where the stencil is marked; the base's
// stripes drawn again where the decal is not.
void Decal(const Gl& gl) {
    Pixels(gl);
    gl.ClearStencil(0);
    gl.Clear(GL_STENCIL_BUFFER_BIT);
    gl.Enable(GL_DEPTH_TEST);
    gl.Color3f(0.6f, 0.6f, 0.6f);
    gl.Begin(GL_QUADS);
    gl.Vertex3f(150, 0, 0.5f), gl.Vertex3f(256, 0, 0.5f), gl.Vertex3f(256, 192, 0.5f), gl.Vertex3f(150, 192, 0.5f);
    gl.End();
    gl.Enable(GL_STENCIL_TEST);
    gl.StencilFunc(GL_ALWAYS, 1, 0x1);
    gl.StencilOp(GL_KEEP, GL_KEEP, GL_REPLACE);
    Ramp(gl, 20, 20, 220, 170);
    gl.Disable(GL_DEPTH_TEST);
    gl.StencilFunc(GL_EQUAL, 1, 0x1);
    gl.StencilOp(GL_KEEP, GL_KEEP, GL_INCR);
    gl.Color3f(1, 1, 0.2f);
    gl.Begin(GL_TRIANGLES);
    gl.Vertex2f(40, 40), gl.Vertex2f(200, 60), gl.Vertex2f(100, 160);
    gl.End();
    gl.StencilFunc(GL_EQUAL, 1, 0x3);
    gl.StencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    gl.Color3f(0.1f, 0.2f, 0.8f);
    for (int k = 0; k < 8; ++k) gl.Rectf(20.0f + 25 * k, 20, 30.0f + 25 * k, 170);
    gl.Disable(GL_STENCIL_TEST);
}

// Blending under the stencil test: translucent ramps over stripes, drawn
// where the stencil is not 0 and, in a second band, where its low bit is
// set, with the source alpha blend and with an additive blend.
void StencilBlend(const Gl& gl) {
    Pixels(gl);
    Ramp(gl, 0, 0, 256, 192);
    StencilStripes(gl, {0, 1, 2, 3});
    gl.Enable(GL_STENCIL_TEST);
    gl.Enable(GL_BLEND);
    gl.ShadeModel(GL_SMOOTH);
    gl.StencilFunc(GL_NOTEQUAL, 0, 0x3);
    gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl.Begin(GL_QUADS);
    gl.Color4f(1, 1, 1, 0.1f), gl.Vertex2f(0, 100);
    gl.Color4f(0, 0, 0, 0.9f), gl.Vertex2f(256, 100);
    gl.Color4f(0.5f, 0, 1, 0.6f), gl.Vertex2f(256, 184);
    gl.Color4f(1, 0.5f, 0, 0.3f), gl.Vertex2f(0, 184);
    gl.End();
    gl.StencilFunc(GL_EQUAL, 1, 0x1);
    gl.BlendFunc(GL_ONE, GL_ONE);
    gl.Color4f(0.3f, 0.2f, 0.1f, 0.5f);
    gl.Rectf(0, 8, 256, 92);
    gl.Disable(GL_BLEND);
    gl.Disable(GL_STENCIL_TEST);
}

// Blending by the destination's alpha under the stencil test: the alpha
// buffer written through a colour mask of alpha alone, then read by the
// blend where the stencil passes.
void StencilBlendDstAlpha(const Gl& gl) {
    Pixels(gl);
    Ramp(gl, 0, 0, 256, 192);
    gl.ColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    gl.ShadeModel(GL_SMOOTH);
    gl.Begin(GL_QUADS);
    gl.Color4f(0, 0, 0, 0.0f), gl.Vertex2f(0, 0);
    gl.Color4f(0, 0, 0, 1.0f), gl.Vertex2f(256, 0);
    gl.Color4f(0, 0, 0, 0.5f), gl.Vertex2f(256, 192);
    gl.Color4f(0, 0, 0, 0.2f), gl.Vertex2f(0, 192);
    gl.End();
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    StencilStripes(gl, {1, 0, 1, 2});
    gl.Enable(GL_STENCIL_TEST);
    gl.StencilFunc(GL_LEQUAL, 1, 0x3);
    gl.Enable(GL_BLEND);
    gl.BlendFunc(GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA);
    gl.Color4f(1, 1, 0.3f, 1);
    gl.Rectf(8, 8, 248, 184);
    gl.Disable(GL_BLEND);
    gl.Disable(GL_STENCIL_TEST);
}

// Colour masks under the stencil test: the stencil written with every
// colour channel masked (a common way to draw a stencil shape), then
// drawings through it with red and blue only, and green only.
void StencilColourMask(const Gl& gl) {
    Pixels(gl);
    Ramp(gl, 0, 0, 256, 192);
    gl.ClearStencil(0);
    gl.Clear(GL_STENCIL_BUFFER_BIT);
    gl.Enable(GL_STENCIL_TEST);
    gl.ColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    gl.StencilFunc(GL_ALWAYS, 1, 0xFF);
    gl.StencilOp(GL_REPLACE, GL_REPLACE, GL_REPLACE);
    gl.Begin(GL_TRIANGLES);
    gl.Vertex2f(20, 20), gl.Vertex2f(236, 40), gl.Vertex2f(120, 180);
    gl.End();
    gl.StencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    gl.StencilFunc(GL_EQUAL, 1, 0xFF);
    gl.ColorMask(GL_TRUE, GL_FALSE, GL_TRUE, GL_TRUE);
    gl.Color3f(1, 1, 1);
    gl.Rectf(0, 0, 128, 192);
    gl.StencilFunc(GL_NOTEQUAL, 1, 0xFF);
    gl.ColorMask(GL_FALSE, GL_TRUE, GL_FALSE, GL_TRUE);
    gl.Color3f(0, 0, 0);
    gl.Rectf(128, 0, 256, 192);
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl.Disable(GL_STENCIL_TEST);
}

constexpr Scene Stencil(const char* name, void (*draw)(const Gl&), int tolerance, int outliers, const char* why,
                        unsigned buffers = kStencilBuffer) {
    return {.name = name, .draw = draw, .tolerance = tolerance, .outliers = outliers, .why = why, .buffers = buffers};
}

const Scene kStencil[] = {
    Stencil("func_never", StencilFunc<GL_NEVER>, 3, 0, "the ramps' span interpolation"),
    Stencil("func_less", StencilFunc<GL_LESS>, 3, 0, "the ramps' span interpolation"),
    Stencil("func_equal", StencilFunc<GL_EQUAL>, 3, 0, "the ramps' span interpolation"),
    Stencil("func_lequal", StencilFunc<GL_LEQUAL>, 3, 0, "the ramps' span interpolation"),
    Stencil("func_greater", StencilFunc<GL_GREATER>, 3, 0, "the ramps' span interpolation"),
    Stencil("func_notequal", StencilFunc<GL_NOTEQUAL>, 3, 0, "the ramps' span interpolation"),
    Stencil("func_gequal", StencilFunc<GL_GEQUAL>, 3, 0, "the ramps' span interpolation"),
    Stencil("func_always", StencilFunc<GL_ALWAYS>, 3, 0, "the ramps' span interpolation"),
    Stencil("op_keep", StencilOp<GL_KEEP>, 0, 0, "rectangles on pixel edges: exact"),
    Stencil("op_zero", StencilOp<GL_ZERO>, 0, 0, "rectangles on pixel edges: exact"),
    Stencil("op_replace", StencilOp<GL_REPLACE>, 0, 0, "rectangles on pixel edges: exact"),
    Stencil("op_incr", StencilOp<GL_INCR>, 0, 0, "rectangles on pixel edges: exact"),
    Stencil("op_decr", StencilOp<GL_DECR>, 0, 0, "rectangles on pixel edges: exact"),
    Stencil("op_invert", StencilOp<GL_INVERT>, 0, 0, "rectangles on pixel edges: exact"),
    Stencil("depth_pass_fail", DepthPassFail, 0, 0, "rectangles on pixel edges: exact"),
    Stencil("decal", Decal, 3, 120, "the ramp's span interpolation; the decal triangle's edge pixels"),
    {.name = "decal_covered",
     .draw = Decal,
     .tolerance = 3,
     .outliers = 120,
     .why = "the ramp's span interpolation; the decal triangle's edge pixels",
     .buffers = kStencilBuffer,
     .covered = true},
    Stencil("blend", StencilBlend, 3, 0, "the ramps' interpolation and the blend's rounding"),
    {.name = "blend_dst_alpha",
     .draw = StencilBlendDstAlpha,
     .tolerance = 3,
     .outliers = 0,
     .why = "the ramps' interpolation and the blend's rounding",
     .buffers = kStencilBuffer | kAlphaBuffer},
    Stencil("colour_mask", StencilColourMask, 3, 120, "the ramp's interpolation; the stencil triangle's edges"),
};

VNX_APP_SCENES(Stencil, kStencil);

}  // namespace
}  // namespace glapp_tests
