// Drawings the family scene tables share.
#pragma once

#include "app_gl.h"

namespace glapp_tests {

// GL 1.0's blend factors: the nine source factors (their row names) and
// the eight destination factors.
inline constexpr GLenum kSources[] = {GL_ZERO,      GL_ONE,       GL_DST_COLOR,           GL_ONE_MINUS_DST_COLOR,
                                      GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA,
                                      GL_SRC_ALPHA_SATURATE};
inline constexpr const char* kSourceNames[] = {"zero",      "one",           "dst_colour", "one_minus_dst_colour",
                                               "src_alpha", "one_minus_src_alpha", "dst_alpha", "one_minus_dst_alpha",
                                               "src_alpha_saturate"};
inline constexpr GLenum kDestinations[] = {GL_ZERO,      GL_ONE,       GL_SRC_COLOR,           GL_ONE_MINUS_SRC_COLOR,
                                           GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA};

// The blends' backdrop: a smooth quad over the window, colours varying
// over it, alpha from 0 on the left to 1 on the right.
inline void BlendBackdrop(const Gl& gl) {
    gl.ShadeModel(GL_SMOOTH);
    gl.Begin(GL_QUADS);
    gl.Color4f(0.9f, 0.1f, 0.2f, 0.0f), gl.Vertex2f(0, 0);
    gl.Color4f(0.1f, 0.8f, 0.3f, 1.0f), gl.Vertex2f(256, 0);
    gl.Color4f(0.2f, 0.3f, 0.9f, 1.0f), gl.Vertex2f(256, 192);
    gl.Color4f(0.8f, 0.8f, 0.1f, 0.0f), gl.Vertex2f(0, 192);
    gl.End();
}

// A blend's source quad in the band y0..y1: alpha from 1 on the left to 0
// on the right, the colour varying in both directions.
inline void BlendSource(const Gl& gl, float y0, float y1) {
    gl.Begin(GL_QUADS);
    gl.Color4f(0.2f, 0.9f, 0.9f, 1.0f), gl.Vertex2f(8, y0);
    gl.Color4f(1.0f, 0.4f, 0.1f, 0.0f), gl.Vertex2f(248, y0);
    gl.Color4f(0.6f, 0.1f, 1.0f, 0.2f), gl.Vertex2f(248, y1);
    gl.Color4f(1.0f, 1.0f, 1.0f, 0.7f), gl.Vertex2f(8, y1);
    gl.End();
}

// A smooth-shaded quad of four colours (alpha 1) from (x0, y0) to (x1, y1)
// at depth z (Pixels' terms: z in [-1, 1], nearer the larger).
inline void Ramp(const Gl& gl, float x0, float y0, float x1, float y1, float z = 0.0f) {
    gl.ShadeModel(GL_SMOOTH);
    gl.Begin(GL_QUADS);
    gl.Color4f(1.0f, 0.2f, 0.1f, 1.0f), gl.Vertex3f(x0, y0, z);
    gl.Color4f(0.1f, 1.0f, 0.3f, 1.0f), gl.Vertex3f(x1, y0, z);
    gl.Color4f(0.2f, 0.3f, 1.0f, 1.0f), gl.Vertex3f(x1, y1, z);
    gl.Color4f(0.9f, 0.9f, 0.9f, 1.0f), gl.Vertex3f(x0, y1, z);
    gl.End();
}

// The stencil values 0..3 shown as colours over the whole window: a
// rectangle of each drawn where the stencil buffer holds it (the two low
// bits, which every stencil buffer has), the stencil test off after.
inline void ShowStencil(const Gl& gl) {
    static const float kColours[4][3] = {{0.2f, 0.2f, 0.2f}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    gl.Disable(GL_DEPTH_TEST);
    gl.Disable(GL_BLEND);
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl.Enable(GL_STENCIL_TEST);
    gl.StencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    for (int v = 0; v < 4; ++v) {
        gl.StencilFunc(GL_EQUAL, v, 0x3);
        gl.Color3fv(kColours[v]);
        gl.Rectf(0, 0, kWidth, kHeight);
    }
    gl.Disable(GL_STENCIL_TEST);
}

// Four vertical stripes of the window's stencil buffer set to the values
// given (colour writes off meanwhile), the stencil test off after.
inline void StencilStripes(const Gl& gl, const int (&values)[4]) {
    gl.ClearStencil(0);
    gl.Clear(GL_STENCIL_BUFFER_BIT);
    gl.ColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    gl.Enable(GL_STENCIL_TEST);
    gl.StencilOp(GL_REPLACE, GL_REPLACE, GL_REPLACE);
    for (int k = 0; k < 4; ++k) {
        gl.StencilFunc(GL_ALWAYS, values[k], 0xFF);
        gl.Rectf(64.0f * k, 0, 64.0f * (k + 1), kHeight);
    }
    gl.StencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    gl.Disable(GL_STENCIL_TEST);
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

}  // namespace glapp_tests
