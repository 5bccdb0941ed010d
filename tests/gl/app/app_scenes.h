// Drawings the family scene tables share.
#pragma once

#include "app_gl.h"

namespace glapp_tests {

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
