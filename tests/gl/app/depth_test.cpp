// The depth test as applications use it: every depth function, DepthRange,
// depth writes off, cleared depth values, polygons through each other.
#include <gtest/gtest.h>

#include "app_gl.h"

namespace glapp_tests {
namespace {

// A quad across the window whose depth runs from zLeft to zRight (object z
// in Pixels' terms, nearer the larger), in one colour.
void Slope(const Gl& gl, float x0, float x1, float y0, float y1, float zLeft, float zRight) {
    gl.Begin(GL_QUADS);
    gl.Vertex3f(x0, y0, zLeft), gl.Vertex3f(x1, y0, zRight), gl.Vertex3f(x1, y1, zRight), gl.Vertex3f(x0, y1, zLeft);
    gl.End();
}

// One depth function: a sloped quad drawn under LESS, then under the
// function a quad sloped the other way across it (pass and fail on either
// side of where they cross), the same sloped quad again in another colour
// (equal depths), and a flat quad against the cleared far end.
template <GLenum kFunc>
void DepthFunc(const Gl& gl) {
    Pixels(gl);
    gl.Enable(GL_DEPTH_TEST);
    gl.DepthFunc(GL_LESS);
    gl.Color3f(0.9f, 0.3f, 0.2f);
    Slope(gl, 10, 246, 10, 130, -0.8f, 0.8f);
    gl.DepthFunc(kFunc);
    gl.Color3f(0.2f, 0.8f, 0.3f);
    Slope(gl, 10, 246, 40, 100, 0.6f, -0.6f);
    gl.Color3f(0.3f, 0.4f, 1.0f);
    Slope(gl, 10, 246, 110, 130, -0.8f, 0.8f);
    // The cleared far end: 1.0 compared with a quad at the far plane's edge
    // and with one nearer.
    gl.Color3f(1.0f, 1.0f, 0.3f);
    Slope(gl, 10, 120, 140, 180, -0.5f, -0.5f);
    gl.Color3f(0.9f, 0.4f, 0.9f);
    Slope(gl, 136, 246, 140, 180, -1.0f, -1.0f);
}

// DepthRange: two quads given the same depths drawn into two halves of the
// range (the second's z farther but in the nearer half), and a reversed
// range that puts the far end near.
void DepthRange(const Gl& gl) {
    Pixels(gl);
    gl.Enable(GL_DEPTH_TEST);
    gl.DepthRange(0.5, 1.0);
    gl.Color3f(0.9f, 0.3f, 0.2f);
    Slope(gl, 10, 170, 10, 120, 0.5f, 0.5f);
    gl.DepthRange(0.0, 0.5);
    gl.Color3f(0.2f, 0.8f, 0.3f);
    Slope(gl, 80, 246, 50, 150, -0.5f, -0.5f);
    gl.DepthRange(1.0, 0.0);
    gl.Color3f(0.3f, 0.4f, 1.0f);
    Slope(gl, 40, 200, 90, 182, 0.9f, -0.9f);
    gl.DepthRange(0.0, 1.0);
}

// Depth writes off for the middle of three overlapping sloped quads: the
// third is tested against the first's depth only.
void DepthWritesOff(const Gl& gl) {
    Pixels(gl);
    gl.Enable(GL_DEPTH_TEST);
    gl.Color3f(0.9f, 0.3f, 0.2f);
    Slope(gl, 10, 150, 10, 150, 0.0f, 0.2f);
    gl.DepthMask(GL_FALSE);
    gl.Color3f(0.2f, 0.8f, 0.3f);
    Slope(gl, 60, 200, 40, 182, 0.7f, 0.5f);
    gl.DepthMask(GL_TRUE);
    gl.Color3f(0.3f, 0.4f, 1.0f);
    Slope(gl, 100, 246, 70, 120, 0.4f, -0.4f);
}

// Cleared depth values in bands (ClearDepth 0, 0.25, 0.5, 0.75), then one
// quad at the middle of the range under LESS and one under GREATER.
void ClearDepthValues(const Gl& gl) {
    Pixels(gl);
    gl.Enable(GL_SCISSOR_TEST);
    for (int k = 0; k < 4; ++k) {
        gl.Scissor(64 * k, 0, 64, 192);
        gl.ClearDepth(0.25 * k);
        gl.Clear(GL_DEPTH_BUFFER_BIT);
    }
    gl.Disable(GL_SCISSOR_TEST);
    gl.ClearDepth(1.0);
    gl.Enable(GL_DEPTH_TEST);
    gl.DepthMask(GL_FALSE);
    gl.Color3f(0.9f, 0.3f, 0.2f);
    Slope(gl, 0, 256, 100, 180, -0.1f, -0.1f);  // depth 0.55
    gl.DepthFunc(GL_GREATER);
    gl.Color3f(0.2f, 0.8f, 0.3f);
    Slope(gl, 0, 256, 10, 90, -0.1f, -0.1f);
}

// Polygons through each other in perspective: three long triangles, each
// passing through the next, so each lies partly in front of both others
// (flat-shaded: GL lets colours be interpolated in the window or in
// perspective, depths are the test here).
void Intersecting(const Gl& gl) {
    Pixels(gl);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Frustum(-1.0, 1.0, -0.75, 0.75, 2.0, 12.0);
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
    gl.Translatef(0, 0, -6);
    gl.Enable(GL_DEPTH_TEST);
    gl.ShadeModel(GL_FLAT);
    static const float kColours[3][3] = {{1, 0.3f, 0.2f}, {0.2f, 1, 0.3f}, {0.3f, 0.4f, 1}};
    for (int k = 0; k < 3; ++k) {
        gl.PushMatrix();
        gl.Rotatef(120.0f * k, 0, 0, 1);
        gl.Begin(GL_TRIANGLES);
        gl.Color3fv(kColours[k]);
        gl.Vertex3f(-0.3f, 0.2f, -1.2f);
        gl.Vertex3f(0.3f, 0.2f, -1.2f);
        gl.Color3f(kColours[k][0] * 0.4f, kColours[k][1] * 0.4f, kColours[k][2] * 0.4f);
        gl.Vertex3f(0.0f, -1.8f, 1.2f);
        gl.End();
        gl.PopMatrix();
    }
}

// Lines against a quad at the far end of the range, where a 16-bit depth
// buffer keeps its finest steps: a quad whose window depth runs from 0.88
// at the left to 0.998 at the right, then under LESS lines whose depth runs
// the other way (thin and wide, horizontal and sloped, one a strip), each
// shown in front of the quad left of where they cross, a little past the
// middle. Window depth d is at z = 1 - 2d in Pixels' projection.
void LinesFarEnd(const Gl& gl) {
    Pixels(gl);
    gl.Enable(GL_DEPTH_TEST);
    auto z = [](float d) { return 1.0f - 2.0f * d; };
    gl.Color3f(0.9f, 0.3f, 0.2f);
    Slope(gl, 8, 248, 8, 184, z(0.88f), z(0.998f));
    gl.Color3f(0.3f, 1.0f, 0.4f);
    for (int k = 0; k < 6; ++k) {
        gl.LineWidth(k % 2 == 0 ? 1.0f : 3.0f);
        gl.Begin(GL_LINES);
        const float y = 20.5f + 14.0f * k;
        gl.Vertex3f(4.0f, y, z(0.998f)), gl.Vertex3f(252.0f, y + 6.0f * (k % 3), z(0.88f));
        gl.End();
    }
    gl.LineWidth(1.0f);
    gl.Begin(GL_LINE_STRIP);
    for (int k = 0; k <= 8; ++k) gl.Vertex3f(4.0f + 31.0f * k, 120.5f + 40.0f * (k % 2), z(0.998f - 0.01475f * k));
    gl.End();
}

const Scene kDepth[] = {
    {"func_never", DepthFunc<GL_NEVER>, 0, 200, "edge pixels of the sloped quads"},
    {"func_less", DepthFunc<GL_LESS>, 0, 200, "edge pixels; the crossing's column, where depths meet within a unit"},
    {"func_equal", DepthFunc<GL_EQUAL>, 0, 200,
     "edge pixels; where the sloped quads cross, interpolated depths equal within a unit"},
    {"func_lequal", DepthFunc<GL_LEQUAL>, 0, 200, "edge pixels; the crossing's column"},
    {"func_greater", DepthFunc<GL_GREATER>, 0, 200, "edge pixels; the crossing's column"},
    {"func_notequal", DepthFunc<GL_NOTEQUAL>, 0, 200, "edge pixels; the crossing's column"},
    {"func_gequal", DepthFunc<GL_GEQUAL>, 0, 200, "edge pixels; the crossing's column"},
    {"func_always", DepthFunc<GL_ALWAYS>, 0, 200, "edge pixels of the sloped quads"},
    {"depth_range", DepthRange, 0, 200, "edge pixels; the crossing's column"},
    {"depth_writes_off", DepthWritesOff, 0, 200, "edge pixels; the crossing's column"},
    {"lines_far_end", LinesFarEnd, 0, 60, "line ends and where the lines cross the quad, depths equal within a unit"},
    {"clear_depth_values", ClearDepthValues, 0, 0, "flat quads and clears on pixel edges: exact"},
    {"intersecting", Intersecting, 0, 150,
     "edge pixels and pixels along the lines where the triangles cross"},
    {.name = "intersecting_covered",
     .draw = Intersecting,
     .tolerance = 0,
     .outliers = 150,
     .why = "span interpolation; edge pixels and pixels along the lines where the triangles cross",
     .covered = true},
};

VNX_APP_SCENES(Depth, kDepth);

}  // namespace
}  // namespace glapp_tests
