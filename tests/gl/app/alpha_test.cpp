// The alpha test as applications use it: every alpha function against
// several references on smooth alpha ramps.
#include <gtest/gtest.h>

#include "app_gl.h"

namespace glapp_tests {
namespace {

// The references of the bands, bottom to top: the ends of the range and
// values between (not on the ramp's 8-bit steps' midpoints).
constexpr float kRefs[] = {0.0f, 0.2f, 0.5f, 0.8f, 1.0f};

// Bands of quads whose alpha runs smoothly from 0 on the left to 1 on the
// right (flat ends a few pixels wide, so 0 and 1 cover whole columns), the
// colour running too; each band tested against its own reference under the
// function.
template <GLenum kFunc>
void AlphaFunc(const Gl& gl) {
    Pixels(gl);
    gl.ShadeModel(GL_SMOOTH);
    gl.Enable(GL_ALPHA_TEST);
    for (int k = 0; k < 5; ++k) {
        gl.AlphaFunc(kFunc, kRefs[k]);
        const float y0 = 8.0f + 37.0f * k, y1 = y0 + 32.0f;
        gl.Begin(GL_QUAD_STRIP);
        gl.Color4f(1.0f, 0.3f, 0.1f, 0.0f), gl.Vertex2f(0, y0), gl.Vertex2f(0, y1);
        gl.Color4f(1.0f, 0.3f, 0.1f, 0.0f), gl.Vertex2f(16, y0), gl.Vertex2f(16, y1);
        gl.Color4f(0.1f, 0.6f, 1.0f, 1.0f), gl.Vertex2f(240, y0), gl.Vertex2f(240, y1);
        gl.Color4f(0.1f, 0.6f, 1.0f, 1.0f), gl.Vertex2f(256, y0), gl.Vertex2f(256, y1);
        gl.End();
    }
}

// The alpha test before the depth test: fragments it discards write no
// depth, so a far quad drawn after shows through them.
void AlphaBeforeDepth(const Gl& gl) {
    Pixels(gl);
    gl.ShadeModel(GL_SMOOTH);
    gl.Enable(GL_DEPTH_TEST);
    gl.Enable(GL_ALPHA_TEST);
    gl.AlphaFunc(GL_GEQUAL, 0.5f);
    gl.Begin(GL_QUADS);
    gl.Color4f(1, 1, 1, 0.0f), gl.Vertex3f(20, 20, 0.5f);
    gl.Color4f(1, 0.5f, 0, 1.0f), gl.Vertex3f(236, 20, 0.5f);
    gl.Color4f(1, 0.5f, 0, 0.0f), gl.Vertex3f(236, 172, 0.5f);
    gl.Color4f(1, 1, 1, 1.0f), gl.Vertex3f(20, 172, 0.5f);
    gl.End();
    gl.Disable(GL_ALPHA_TEST);
    gl.Color3f(0.2f, 0.4f, 1.0f);
    gl.Rectf(0, 0, 256, 192);
}

// Outliers: the column where a band's alpha meets its reference may round
// either way, one column of 32 pixels a band.
const Scene kAlpha[] = {
    {"func_never", AlphaFunc<GL_NEVER>, 3, 0, "span interpolation of the colour"},
    {"func_less", AlphaFunc<GL_LESS>, 3, 200, "span interpolation; the column where alpha meets the reference"},
    {"func_equal", AlphaFunc<GL_EQUAL>, 3, 200, "span interpolation; the column where alpha meets the reference"},
    {"func_lequal", AlphaFunc<GL_LEQUAL>, 3, 200, "span interpolation; the column where alpha meets the reference"},
    {"func_greater", AlphaFunc<GL_GREATER>, 3, 200, "span interpolation; the column where alpha meets the reference"},
    {"func_notequal", AlphaFunc<GL_NOTEQUAL>, 3, 200,
     "span interpolation; the column where alpha meets the reference"},
    {"func_gequal", AlphaFunc<GL_GEQUAL>, 3, 200, "span interpolation; the column where alpha meets the reference"},
    {"func_always", AlphaFunc<GL_ALWAYS>, 3, 0, "span interpolation of the colour"},
    {"before_depth", AlphaBeforeDepth, 3, 200, "span interpolation; the line where alpha crosses a half"},
};

VNX_APP_SCENES(Alpha, kAlpha);

}  // namespace
}  // namespace glapp_tests
