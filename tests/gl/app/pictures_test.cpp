// Scenes written as an application writes them, each a function of the
// table of GL entry points it calls: run through the system OpenGL library
// on the board and through OSMesa, the two pictures compared (within a
// stated tolerance; both pictures and their difference written as PNGs when
// they differ).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "../../platform/gl_reference.h"
#include "app_gl.h"
#include "platform/board.h"
#include "platform/debug.h"

namespace glapp_tests {
namespace {

// A box of six quads with their normals, centred on the origin.
void Box(const Gl& gl, float s) {
    static const float kFaces[6][3] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    gl.Begin(GL_QUADS);
    for (const auto& n : kFaces) {
        // Two axes across the face, in an order that keeps it counter-clockwise from outside.
        const float u[3] = {n[1] + n[2] != 0 ? 1.0f : 0.0f, n[0] != 0 ? 1.0f : 0.0f, 0.0f};
        const float v[3] = {n[1] * u[2] - n[2] * u[1], n[2] * u[0] - n[0] * u[2], n[0] * u[1] - n[1] * u[0]};
        gl.Normal3f(n[0], n[1], n[2]);
        static const float kCorners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (const auto& [a, b] : kCorners)
            gl.Vertex3f(s * (n[0] + a * u[0] + b * v[0]), s * (n[1] + a * u[1] + b * v[1]),
                        s * (n[2] + a * u[2] + b * v[2]));
    }
    gl.End();
}

// Two lit boxes in perspective, one through the other, under the depth
// test: a positional white light and a directional red one, materials with
// specular highlights, the second box's diffuse colour from glColor.
void LitDepth(const Gl& gl) {
    Pixels(gl);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Frustum(-1.0, 1.0, -0.75, 0.75, 2.0, 10.0);
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
    gl.Enable(GL_DEPTH_TEST);
    gl.DepthFunc(GL_LESS);
    gl.ShadeModel(GL_SMOOTH);
    gl.Enable(GL_LIGHTING);
    gl.Enable(GL_LIGHT0);
    gl.Enable(GL_LIGHT1);
    const float white[] = {1, 1, 1, 1}, pos0[] = {2, 3, 2, 1}, red[] = {0.6f, 0.1f, 0.1f, 1}, dir1[] = {-1, 0, 1, 0};
    const float ambient[] = {0.15f, 0.15f, 0.15f, 1};
    gl.Lightfv(GL_LIGHT0, GL_POSITION, pos0);
    gl.Lightfv(GL_LIGHT0, GL_DIFFUSE, white);
    gl.Lightfv(GL_LIGHT0, GL_SPECULAR, white);
    gl.Lightfv(GL_LIGHT1, GL_POSITION, dir1);
    gl.Lightfv(GL_LIGHT1, GL_DIFFUSE, red);
    gl.LightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    const float blue[] = {0.2f, 0.4f, 0.9f, 1}, spec[] = {0.5f, 0.5f, 0.5f, 1};
    gl.Materialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, blue);
    gl.Materialfv(GL_FRONT_AND_BACK, GL_SPECULAR, spec);
    gl.Materialf(GL_FRONT_AND_BACK, GL_SHININESS, 20.0f);
    gl.PushMatrix();
    gl.Translatef(-0.4f, 0.0f, -5.0f);
    gl.Rotatef(30.0f, 1.0f, 0.0f, 0.0f);
    gl.Rotatef(40.0f, 0.0f, 1.0f, 0.0f);
    Box(gl, 0.8f);
    gl.PopMatrix();
    gl.Enable(GL_COLOR_MATERIAL);
    gl.ColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
    gl.Color3f(0.9f, 0.8f, 0.2f);
    gl.PushMatrix();
    gl.Translatef(0.5f, -0.2f, -5.5f);
    gl.Rotatef(-25.0f, 0.0f, 1.0f, 0.0f);
    gl.Rotatef(15.0f, 0.0f, 0.0f, 1.0f);
    Box(gl, 0.7f);
    gl.PopMatrix();
}

// Smooth- and flat-shaded triangles, a quad strip and a polygon (flat: the
// last vertex's colour, the polygon's first).
void Shading(const Gl& gl, GLenum shade, bool quadStrip = true) {
    Pixels(gl);
    gl.ShadeModel(shade);
    gl.Begin(GL_TRIANGLES);
    gl.Color3f(1, 0, 0), gl.Vertex2f(10, 10);
    gl.Color3f(0, 1, 0), gl.Vertex2f(120, 20);
    gl.Color3f(0, 0, 1), gl.Vertex2f(50, 110);
    gl.Color3f(1, 1, 0), gl.Vertex2f(130, 30);
    gl.Color3f(0, 1, 1), gl.Vertex2f(240, 60);
    gl.Color3f(1, 0, 1), gl.Vertex2f(150, 120);
    gl.End();
    // The quad strip's colours are an affine function of the position, so
    // smooth shading gives the same picture whichever diagonal a quad is
    // split along (GL leaves that open); flat, each quad takes its last
    // vertex's colour.
    // Without the strip, the same quads one by one.
    auto vertex = [&](int k, float y) {
        const float x = (y == 130.0f ? 10.0f : 15.0f) + 25 * k;
        gl.Color3f(x / 130.0f, (y - 130.0f) / 50.0f, 0.5f), gl.Vertex2f(x, y);
    };
    gl.Begin(quadStrip ? GL_QUAD_STRIP : GL_QUADS);
    for (int k = 0; k < (quadStrip ? 5 : 4); ++k) {
        if (quadStrip) {
            vertex(k, 130.0f), vertex(k, 180.0f);
        } else {
            vertex(k, 130.0f), vertex(k + 1, 130.0f), vertex(k + 1, 180.0f), vertex(k, 180.0f);
        }
    }
    // A strip's odd last vertex makes no quad: GL ignores it.
    if (quadStrip) gl.Color3f(1, 1, 1), gl.Vertex2f(150.0f, 110.0f);
    gl.End();
    gl.Begin(GL_POLYGON);
    gl.Color3f(1, 1, 1), gl.Vertex2f(180, 130);
    gl.Color3f(1, 0, 0), gl.Vertex2f(240, 140);
    gl.Color3f(0, 1, 0), gl.Vertex2f(245, 180);
    gl.Color3f(0, 0, 1), gl.Vertex2f(200, 185);
    gl.Color3f(1, 1, 0), gl.Vertex2f(170, 160);
    gl.End();
}
void Smooth(const Gl& gl) { Shading(gl, GL_SMOOTH); }
void Flat(const Gl& gl) { Shading(gl, GL_FLAT, false); }
void FlatQuadStrip(const Gl& gl) { Shading(gl, GL_FLAT); }
// The same under the depth test (a depth word with every vertex).
void FlatQuadStripDepth(const Gl& gl) {
    gl.Enable(GL_DEPTH_TEST);
    gl.DepthFunc(GL_LESS);
    Shading(gl, GL_FLAT);
}

// Lines of widths 1 and 3, a stippled line strip, a line loop, and points
// of sizes 1 and 4, smooth-shaded.
void LinesAndPoints(const Gl& gl) {
    Pixels(gl);
    gl.ShadeModel(GL_SMOOTH);
    gl.Begin(GL_LINES);
    gl.Color3f(1, 0, 0), gl.Vertex2f(10.5f, 10.5f);
    gl.Color3f(0, 1, 0), gl.Vertex2f(240.5f, 40.5f);
    gl.Color3f(1, 1, 0), gl.Vertex2f(20.5f, 60.5f);
    gl.Color3f(0, 0, 1), gl.Vertex2f(60.5f, 180.5f);
    gl.End();
    gl.LineWidth(3.0f);
    gl.Begin(GL_LINES);
    gl.Color3f(1, 1, 1), gl.Vertex2f(80.5f, 170.5f);
    gl.Color3f(1, 0, 1), gl.Vertex2f(230.5f, 150.5f);
    gl.End();
    gl.LineWidth(1.0f);
    gl.Enable(GL_LINE_STIPPLE);
    gl.LineStipple(2, 0x0F33);
    gl.Begin(GL_LINE_STRIP);
    gl.Color3f(0, 1, 1), gl.Vertex2f(90.5f, 60.5f);
    gl.Color3f(1, 0.5f, 0), gl.Vertex2f(200.5f, 100.5f);
    gl.Color3f(0.5f, 1, 0.5f), gl.Vertex2f(120.5f, 130.5f);
    gl.End();
    gl.Disable(GL_LINE_STIPPLE);
    gl.Begin(GL_LINE_LOOP);
    gl.Color3f(1, 1, 1);
    gl.Vertex2f(160.5f, 20.5f), gl.Vertex2f(200.5f, 30.5f), gl.Vertex2f(180.5f, 50.5f);
    gl.End();
    gl.Begin(GL_POINTS);
    for (int k = 0; k < 12; ++k) gl.Color3f(1, k / 12.0f, 0), gl.Vertex2f(20.5f + 18 * k, 100.5f);
    gl.End();
    gl.PointSize(3.0f);
    gl.Begin(GL_POINTS);
    for (int k = 0; k < 8; ++k) gl.Color3f(0, 1, k / 8.0f), gl.Vertex2f(30.0f + 24 * k, 140.0f);
    gl.End();
}

// Points of even sizes: the square's rows and columns from the centre's
// rounding to the nearest pixel corner, at centres on corners and a
// quarter, a half and three quarters across a pixel in x and y (the rows
// counted upward here, downward on the board).
void EvenPoints(const Gl& gl) {
    Pixels(gl);
    gl.PointSize(4.0f);
    gl.Begin(GL_POINTS);
    for (int k = 0; k < 8; ++k) gl.Color3f(0, 1, k / 8.0f), gl.Vertex2f(30.0f + 24 * k, 140.0f);
    gl.End();
    // Sizes 2 to 8 at centres across a pixel (quarters off the corners).
    for (int size = 2; size <= 8; size += 2) {
        gl.PointSize(static_cast<float>(size));
        gl.Begin(GL_POINTS);
        for (int k = 0; k < 8; ++k) {
            const float x = 20.25f + 25 * k + 0.25f * (k % 4), y = 20.0f + 25 * (size / 2) + 0.25f * (k / 2);
            gl.Color3f(1, size / 8.0f, k / 8.0f), gl.Vertex2f(x, y);
        }
        gl.End();
    }
}

// A caption of bitmaps: an 8 x 8 glyph and a 12 x 10 one drawn at raster
// positions, moving the position as text does, in the current raster
// colour (taken at glRasterPos).
void Bitmaps(const Gl& gl) {
    Pixels(gl);
    static const GLubyte kA[8] = {0xC3, 0xC3, 0xFF, 0xC3, 0x66, 0x3C, 0x18, 0x00};
    static const GLubyte kBox[20] = {0xFF, 0xF0, 0x80, 0x10, 0xBF, 0xD0, 0xA0, 0x50, 0xAF, 0x50,
                                     0xA9, 0x50, 0xA0, 0x50, 0xBF, 0xD0, 0x80, 0x10, 0xFF, 0xF0};
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.Color3f(1, 1, 0);
    gl.RasterPos2f(20, 150);
    for (int k = 0; k < 8; ++k) gl.Bitmap(8, 8, 0, 0, 10, 0, kA);
    gl.Color3f(0, 1, 0.5f);
    gl.RasterPos2f(30.5f, 60.5f);
    for (int k = 0; k < 6; ++k) gl.Bitmap(12, 10, 2, 1, 14, 6, kBox);
    gl.Color3f(1, 0, 0);  // no raster position taken: the caption keeps its colour
    gl.Bitmap(12, 10, 0, 0, 0, 0, kBox);
}

// Display lists: a list of a coloured fan under its own matrix change,
// called from a second list (nesting) under translations and scales, a list
// compiled with GL_COMPILE_AND_EXECUTE, and lists called after one of them
// is deleted.
void Lists(const Gl& gl) {
    Pixels(gl);
    const GLuint base = gl.GenLists(3);
    gl.NewList(base, GL_COMPILE);
    gl.PushMatrix();
    gl.Rotatef(20.0f, 0, 0, 1);
    gl.Begin(GL_TRIANGLE_FAN);
    gl.Color3f(1, 1, 1), gl.Vertex2f(0, 0);
    gl.Color3f(1, 0, 0), gl.Vertex2f(25, 0);
    gl.Color3f(0, 1, 0), gl.Vertex2f(0, 25);
    gl.Color3f(0, 0, 1), gl.Vertex2f(-25, 0);
    gl.Color3f(1, 1, 0), gl.Vertex2f(0, -25);
    gl.Color3f(1, 0, 0), gl.Vertex2f(25, 0);
    gl.End();
    gl.PopMatrix();
    gl.EndList();
    gl.NewList(base + 1, GL_COMPILE);
    for (int k = 0; k < 4; ++k) {
        gl.Translatef(50, 0, 0);
        gl.CallList(base);
    }
    gl.EndList();
    gl.PushMatrix();
    gl.Translatef(0, 40, 0);
    gl.CallList(base + 1);
    gl.PopMatrix();
    gl.PushMatrix();
    gl.Translatef(0, 100, 0);
    gl.Scalef(0.8f, 1.4f, 1);
    gl.CallList(base + 1);
    gl.PopMatrix();
    gl.NewList(base + 2, GL_COMPILE_AND_EXECUTE);
    gl.ShadeModel(GL_FLAT);
    gl.Color3f(0.5f, 0.5f, 1);
    gl.Rectf(200, 150, 240, 180);
    gl.EndList();
    gl.DeleteLists(base + 1, 1);
    gl.Translatef(-160, 0, 0);
    gl.CallList(base + 1);  // deleted: nothing
    gl.CallList(base + 2);
    gl.DeleteLists(base, 3);
}

// The matrix stacks: nested pushes and pops on the model-view stack with
// rotations, scales and a loaded and multiplied matrix, the projection
// pushed and replaced for a part of the scene, and the stack as left.
void Matrices(const Gl& gl) {
    Pixels(gl);
    gl.ShadeModel(GL_SMOOTH);
    auto tri = [&] {
        gl.Begin(GL_TRIANGLES);
        gl.Color3f(1, 0.2f, 0.2f), gl.Vertex2f(-15, -10);
        gl.Color3f(0.2f, 1, 0.2f), gl.Vertex2f(15, -10);
        gl.Color3f(0.2f, 0.2f, 1), gl.Vertex2f(0, 18);
        gl.End();
    };
    gl.Translatef(128, 96, 0);
    for (int k = 0; k < 6; ++k) {
        gl.PushMatrix();
        gl.Rotatef(60.0f * k, 0, 0, 1);
        gl.Translatef(60, 0, 0);
        tri();
        gl.PushMatrix();
        gl.Scalef(0.5f, 0.5f, 1);
        gl.Translatef(0, 50, 0);
        tri();
        gl.PopMatrix();
        gl.PopMatrix();
    }
    tri();  // at the centre again
    const float shear[16] = {1, 0, 0, 0, 0.5f, 1, 0, 0, 0, 0, 1, 0, 20, 20, 0, 1};
    gl.PushMatrix();
    gl.LoadMatrixf(shear);
    tri();
    gl.MultMatrixf(shear);
    gl.Translatef(40, 0, 0);
    tri();
    gl.PopMatrix();
    gl.MatrixMode(GL_PROJECTION);
    gl.PushMatrix();
    gl.LoadIdentity();
    gl.Ortho(0, kWidth / 2, 0, kHeight / 2, -1, 1);  // twice the size
    gl.MatrixMode(GL_MODELVIEW);
    gl.PushMatrix();
    gl.LoadIdentity();
    gl.Translatef(100, 20, 0);
    tri();
    gl.PopMatrix();
    gl.MatrixMode(GL_PROJECTION);
    gl.PopMatrix();
    gl.MatrixMode(GL_MODELVIEW);
    gl.Translatef(80, -70, 0);
    tri();
}

// Clears under the scissor box: the whole window, then boxes cleared to
// other colours (one partly outside the window), a triangle drawn under a
// box, and the scissor test off again for a last rectangle.
void ClearsWithScissor(const Gl& gl) {
    Pixels(gl);
    gl.Enable(GL_SCISSOR_TEST);
    gl.Scissor(20, 30, 100, 60);
    gl.ClearColor(1.0f, 0.5f, 0.0f, 0.0f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.Scissor(200, 150, 100, 100);
    gl.ClearColor(0.0f, 0.8f, 0.3f, 0.0f);
    gl.Clear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl.Scissor(60, 70, 120, 80);
    gl.ClearColor(0.5f, 0.5f, 0.5f, 0.0f);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    gl.Begin(GL_TRIANGLES);
    gl.Color3f(1, 0, 1), gl.Vertex2f(10, 10);
    gl.Color3f(1, 1, 0), gl.Vertex2f(240, 40);
    gl.Color3f(0, 1, 1), gl.Vertex2f(120, 180);
    gl.End();
    gl.Disable(GL_SCISSOR_TEST);
    gl.Color3f(0.9f, 0.9f, 0.9f);
    gl.Rectf(230, 5, 250, 25);
}

// A lit, depth-tested box in perspective with a checker texture (8 x 8
// texels of two colours and a ramp) modulated by the lit colour, nearest
// texels repeated twice over each face, beside an untextured one.
void TexturedBox(const Gl& gl) {
    Pixels(gl);
    std::vector<GLubyte> img(8 * 8 * 3);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            GLubyte* p = &img[static_cast<std::size_t>((y * 8 + x) * 3)];
            const bool dark = (x / 2 + y / 2) % 2 == 1;
            p[0] = static_cast<GLubyte>(dark ? 40 : 250);
            p[1] = static_cast<GLubyte>(dark ? 60 : 200 - 16 * x);
            p[2] = static_cast<GLubyte>(dark ? 160 : 40 + 20 * y);
        }
    gl.TexImage2D(GL_TEXTURE_2D, 0, 3, 8, 8, 0, GL_RGB, GL_UNSIGNED_BYTE, img.data());
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Frustum(-0.48, 0.48, -0.36, 0.36, 1.2, 20.0);
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
    gl.Enable(GL_DEPTH_TEST);
    gl.DepthFunc(GL_LESS);
    gl.ShadeModel(GL_SMOOTH);
    gl.Enable(GL_LIGHTING);
    gl.Enable(GL_LIGHT0);
    const float white[] = {1, 1, 1, 1}, pos0[] = {-1, 2, 3, 0}, ambient[] = {0.3f, 0.3f, 0.3f, 1};
    gl.Lightfv(GL_LIGHT0, GL_POSITION, pos0);
    gl.Lightfv(GL_LIGHT0, GL_DIFFUSE, white);
    gl.LightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);
    gl.Materialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, white);
    gl.PushMatrix();
    gl.Translatef(-0.3f, 0.0f, -5.0f);
    gl.Rotatef(25.0f, 1.0f, 0.0f, 0.0f);
    gl.Rotatef(35.0f, 0.0f, 1.0f, 0.0f);
    gl.Enable(GL_TEXTURE_2D);
    // Each face's corners in the box's order, two repeats of the texture.
    static const float kFaces[6][3] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    static const float kCorners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    const float s = 0.9f;
    gl.Begin(GL_QUADS);
    for (const auto& n : kFaces) {
        const float u[3] = {n[1] + n[2] != 0 ? 1.0f : 0.0f, n[0] != 0 ? 1.0f : 0.0f, 0.0f};
        const float v[3] = {n[1] * u[2] - n[2] * u[1], n[2] * u[0] - n[0] * u[2], n[0] * u[1] - n[1] * u[0]};
        gl.Normal3f(n[0], n[1], n[2]);
        for (const auto& [a, b] : kCorners) {
            // A little past the texel edges, so no pixel centre lies on one.
            gl.TexCoord2f(a + 1.0f + 1.0f / 64, b + 1.0f + 1.0f / 64);
            gl.Vertex3f(s * (n[0] + a * u[0] + b * v[0]), s * (n[1] + a * u[1] + b * v[1]),
                        s * (n[2] + a * u[2] + b * v[2]));
        }
    }
    gl.End();
    gl.Disable(GL_TEXTURE_2D);
    gl.PopMatrix();
    const float green[] = {0.3f, 0.8f, 0.3f, 1};
    gl.Materialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, green);
    gl.PushMatrix();
    gl.Translatef(1.2f, -0.3f, -5.5f);
    gl.Rotatef(-20.0f, 0.0f, 1.0f, 0.0f);
    Box(gl, 0.5f);
    gl.PopMatrix();
}

const Scene kScenes[] = {
    {"lit_depth", LitDepth, 4, 150, "lighting computed in single precision on both sides; polygon edges"},
    {"smooth", Smooth, 3, 120, "span interpolation; edge pixels where the coverage rules round apart"},
    {"flat", Flat, 0, 120, "edge pixels"},
    {"flat_quad_strip", FlatQuadStrip, 0, 120, "edge pixels"},
    {"flat_quad_strip_depth", FlatQuadStripDepth, 0, 120, "edge pixels"},
    {"lines_and_points", LinesAndPoints, 3, 120, "line ends and the wide line's caps; interpolation along lines"},
    {"even_points", EvenPoints, 0, 0, "none"},
    {"bitmaps", Bitmaps, 0, 0, "none: bitmaps are exact"},
    {"display_lists", Lists, 3, 120, "edge pixels of the rotated fans"},
    {"matrices", Matrices, 3, 120, "edge pixels of the triangles"},
    {"clears_with_scissor", ClearsWithScissor, 3, 60, "triangle edges at the scissor box"},
    {"textured_box", TexturedBox, 4, 1300,
     "lighting as lit_depth, times the texel; the near edge of the box a column long; in perspective the board maps "
     "the texture linearly across each cut piece, so texel edges lie up to a pixel from the reference's"},
};

VNX_APP_SCENES(Scenes, kScenes);

}  // namespace
}  // namespace glapp_tests
