// Windows at the screen's edge: a window whose left edge is the screen's
// first column (or its second), or whose top left corner is the screen's,
// draws what it draws anywhere else. GL's window edge then lies half a
// pixel before the screen's first column (or row): what is clipped there,
// vertices on it and wide points across it reach the board at negative
// coordinates, and wide points do so from a window one column in too.
#include <gtest/gtest.h>

#include <vector>

#include "app_gl.h"

namespace glapp_tests {
namespace {

// Smooth triangles that the window's left, bottom and top edges clip, a
// triangle with two vertices on the window's left edge, and a flat quad
// across the left edge.
void ClippedTriangles(const Gl& gl) {
    Pixels(gl);
    gl.ShadeModel(GL_SMOOTH);
    gl.Begin(GL_TRIANGLES);
    gl.Color3f(1, 0, 0), gl.Vertex2f(-50, -40);
    gl.Color3f(0, 1, 0), gl.Vertex2f(221, 96);
    gl.Color3f(0, 0, 1), gl.Vertex2f(-50, 232);
    gl.Color3f(1, 1, 0), gl.Vertex2f(0, 20);
    gl.Color3f(0, 1, 1), gl.Vertex2f(70, 50);
    gl.Color3f(1, 0, 1), gl.Vertex2f(0, 80);
    gl.End();
    gl.Color3f(0.5f, 0.75f, 0.25f);
    gl.Rectf(-10, 150, 30, 170);
}

// A quad over the whole window, then one over its left columns.
void WindowQuads(const Gl& gl) {
    Pixels(gl);
    gl.Color3f(0.8f, 0.2f, 0.4f);
    gl.Rectf(0, 0, kWidth, kHeight);
    gl.Color3f(0.1f, 0.9f, 0.3f);
    gl.Rectf(0, 40, 3, 150);
}

// Lines across the left edge both ways, one along the first column, one
// into the top left corner.
void LinesAcross(const Gl& gl) {
    Pixels(gl);
    gl.ShadeModel(GL_SMOOTH);
    gl.Begin(GL_LINES);
    gl.Color3f(1, 1, 0), gl.Vertex2f(-20, 10.5f);
    gl.Color3f(0, 1, 1), gl.Vertex2f(60, 10.5f);
    gl.Color3f(1, 0, 1), gl.Vertex2f(60, 20.5f);
    gl.Color3f(1, 1, 1), gl.Vertex2f(-20, 20.5f);
    gl.Color3f(1, 0, 0), gl.Vertex2f(0.5f, 30.5f);
    gl.Color3f(0, 1, 0), gl.Vertex2f(0.5f, 120.5f);
    gl.Color3f(0, 0, 1), gl.Vertex2f(100.5f, 140.5f);
    gl.Color3f(1, 1, 1), gl.Vertex2f(-40.5f, 198.7f);
    gl.End();
}

// Points in the window's first column (one in its left half), and wide
// points whose squares reach past the window's left edge.
void EdgePoints(const Gl& gl) {
    Pixels(gl);
    gl.Color3f(1, 1, 1);
    gl.Begin(GL_POINTS);
    gl.Vertex2f(0.5f, 10.5f);
    gl.Vertex2f(0.25f, 20.5f);
    gl.Vertex2f(0.75f, 30.5f);
    gl.Vertex2f(1.5f, 191.5f);
    gl.End();
    gl.PointSize(3);
    gl.Color3f(1, 0.5f, 0);
    gl.Begin(GL_POINTS);
    gl.Vertex2f(0.5f, 50.5f);
    gl.Vertex2f(2.5f, 70.5f);
    gl.End();
    gl.PointSize(4);
    gl.Begin(GL_POINTS);
    gl.Vertex2f(0.75f, 90.25f);
    gl.End();
}

// A bitmap and a pixel rectangle at raster positions on the window's
// left edge.
void ImagesAtTheEdge(const Gl& gl) {
    Pixels(gl);
    std::vector<GLubyte> bits(4 * 16);
    for (std::size_t i = 0; i < bits.size(); ++i) bits[i] = static_cast<GLubyte>(0x5A ^ (i * 37));
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.Color3f(1, 1, 0);
    gl.RasterPos2i(0, 0);
    gl.Bitmap(32, 16, 0, 0, 0, 0, bits.data());
    std::vector<GLubyte> rgb(3 * 12 * 10);
    for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<GLubyte>(i * 29);
    gl.RasterPos2i(0, 60);
    gl.DrawPixels(12, 10, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
}

// Points of size 5 and 6 in the window's first columns: from a window at
// the screen's edge or one column in, their squares reach past the
// screen's first column.
void WidePoints(const Gl& gl) {
    Pixels(gl);
    gl.PointSize(5);
    gl.Color3f(1, 1, 1);
    gl.Begin(GL_POINTS);
    gl.Vertex2f(0.5f, 170.5f);
    gl.Vertex2f(1.5f, 150.5f);
    gl.End();
    gl.PointSize(6);
    gl.Color3f(0, 1, 0.5f);
    gl.Begin(GL_POINTS);
    gl.Vertex2f(1.25f, 120.75f);
    gl.End();
}

// Each scene in a window at the screen's left edge (x = 0), one column in
// (x = 1), and at the screen's top left corner.
Scene At(const char* name, void (*draw)(const Gl&), LONG left, LONG top, int tolerance, int outliers,
         const char* why) {
    Scene s{name, draw, tolerance, outliers, why};
    s.left = left;
    s.top = top;
    return s;
}

// Long edges pass within a sixteenth of a pixel of a few pixel centres,
// where the board's 28.4 vertices (clipped ones truncated) and OSMesa's
// decide the pixel apart: as anywhere on the screen.
constexpr const char* kShaded =
    "smooth colours interpolated by the board against OSMesa's; a few pixels on edges that pass within a "
    "sixteenth of their centres";
const Scene kEdgeScenes[] = {
    At("triangles_x0", ClippedTriangles, 0, 80, 3, 4, kShaded),
    At("triangles_x1", ClippedTriangles, 1, 80, 3, 4, kShaded),
    At("triangles_corner", ClippedTriangles, 0, 0, 3, 4, kShaded),
    At("quads_x0", WindowQuads, 0, 80, 0, 0, "flat quads"),
    At("quads_x1", WindowQuads, 1, 80, 0, 0, "flat quads"),
    At("quads_corner", WindowQuads, 0, 0, 0, 0, "flat quads"),
    At("lines_x0", LinesAcross, 0, 80, 3, 2, kShaded),
    At("lines_x1", LinesAcross, 1, 80, 3, 2, kShaded),
    At("lines_corner", LinesAcross, 0, 0, 3, 2, kShaded),
    At("points_x0", EdgePoints, 0, 80, 0, 0, "flat points"),
    At("points_x1", EdgePoints, 1, 80, 0, 0, "flat points"),
    At("points_corner", EdgePoints, 0, 0, 0, 0, "flat points"),
    At("images_x0", ImagesAtTheEdge, 0, 80, 0, 0, "a bitmap and pixels"),
    At("images_x1", ImagesAtTheEdge, 1, 80, 0, 0, "a bitmap and pixels"),
    At("images_corner", ImagesAtTheEdge, 0, 0, 0, 0, "a bitmap and pixels"),
    At("wide_points_x0", WidePoints, 0, 80, 0, 0, "flat points"),
    At("wide_points_x1", WidePoints, 1, 80, 0, 0, "flat points"),
    At("wide_points_corner", WidePoints, 0, 0, 0, 0, "flat points"),
};
VNX_APP_SCENES(WindowEdge, kEdgeScenes);

}  // namespace
}  // namespace glapp_tests
