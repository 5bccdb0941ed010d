// Polygons as applications draw them: PolygonMode per face, face culling,
// the front face's winding, polygon stipple, edge flags, convex polygons of
// many vertices, clipping against the near plane and user clip planes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "app_gl.h"
#include "platform/windows.h"

namespace glapp_tests {
namespace {

constexpr float kPi = 3.14159265f;

// Shapes of both windings: a counter-clockwise triangle, quad and
// pentagon in the lower half and the same wound clockwise in the upper,
// smooth-shaded with colours an affine function of the position, so the
// picture does not hang on how a quad or polygon is cut into triangles
// (GL leaves that open).
void BothWindings(const Gl& gl) {
    gl.ShadeModel(GL_SMOOTH);
    auto vertex = [&](float x, float y) {
        gl.Color3f(0.2f + x / 320.0f, 0.1f + y / 240.0f, 0.9f - x / 512.0f - y / 384.0f);
        gl.Vertex2f(x, y);
    };
    for (int half = 0; half < 2; ++half) {
        const float y = half == 0 ? 10.5f : 100.5f;
        const bool cw = half == 1;
        auto v = [&](float x, float dy) { vertex(x, cw ? y + 80 - dy : y + dy); };
        gl.Begin(GL_TRIANGLES);
        v(10, 0), v(80, 10), v(40, 75);
        gl.End();
        gl.Begin(GL_QUADS);
        v(95, 5), v(165, 12), v(160, 70), v(100, 78);
        gl.End();
        gl.Begin(GL_POLYGON);
        for (int k = 0; k < 5; ++k) {
            const float a = 2 * kPi * k / 5 + 0.3f;
            v(210 + 38 * std::cos(a), 40 + 38 * std::sin(a));
        }
        gl.End();
    }
}

// A triangle strip, a quad strip and a fan in the lower half and mirrored
// in the upper, so that each shows both windings (the strips wind
// clockwise below, the fan counter-clockwise), coloured as BothWindings
// colours its shapes.
void BothWindingStrips(const Gl& gl) {
    gl.ShadeModel(GL_SMOOTH);
    auto vertex = [&](float x, float y) {
        gl.Color3f(0.2f + x / 320.0f, 0.1f + y / 240.0f, 0.9f - x / 512.0f - y / 384.0f);
        gl.Vertex2f(x, y);
    };
    for (int half = 0; half < 2; ++half) {
        const float y = half == 0 ? 10.5f : 100.5f;
        const bool cw = half == 1;
        auto v = [&](float x, float dy) { vertex(x, cw ? y + 80 - dy : y + dy); };
        gl.Begin(GL_TRIANGLE_STRIP);
        for (int k = 0; k < 6; ++k) v(8 + 14 * k, k % 2 == 0 ? 5 + k : 70 - k);
        gl.End();
        gl.Begin(GL_QUAD_STRIP);
        for (int k = 0; k < 4; ++k) v(95 + 22 * k, 8 + 2 * k), v(98 + 22 * k, 66 + 3 * k);
        gl.End();
        gl.Begin(GL_TRIANGLE_FAN);
        v(212, 40);
        for (int k = 0; k < 6; ++k) {
            const float a = kPi * k / 5 - 0.2f;
            v(212 + 36 * std::cos(a), 40 + 36 * std::sin(a));
        }
        gl.End();
    }
}

// Front faces as points and back faces filled, over strips and a fan; and
// over every shape under the depth test, whose depth words give the fills
// a layout of their own.
void PointFillStrips(const Gl& gl) {
    Pixels(gl);
    gl.PolygonMode(GL_FRONT, GL_POINT);
    gl.PolygonMode(GL_BACK, GL_FILL);
    gl.PointSize(3.0f);
    BothWindingStrips(gl);
}
void PointFillDepth(const Gl& gl) {
    Pixels(gl);
    gl.Enable(GL_DEPTH_TEST);
    gl.PolygonMode(GL_FRONT, GL_POINT);
    gl.PolygonMode(GL_BACK, GL_FILL);
    gl.PointSize(3.0f);
    BothWindings(gl);
    gl.Translatef(2, 1, 0);
    BothWindingStrips(gl);
    gl.Disable(GL_DEPTH_TEST);
}

// Front faces outlined and back faces filled, over strips and a fan.
void LineFillStrips(const Gl& gl) {
    Pixels(gl);
    gl.PolygonMode(GL_FRONT, GL_LINE);
    gl.PolygonMode(GL_BACK, GL_FILL);
    BothWindingStrips(gl);
}

// PolygonMode per face: front faces in one mode, back faces in another.
template <GLenum kFront, GLenum kBack>
void Modes(const Gl& gl) {
    Pixels(gl);
    gl.PolygonMode(GL_FRONT, kFront);
    gl.PolygonMode(GL_BACK, kBack);
    gl.PointSize(3.0f);
    BothWindings(gl);
}

// CullFace of one face with culling on.
template <GLenum kFace>
void Cull(const Gl& gl) {
    Pixels(gl);
    gl.Enable(GL_CULL_FACE);
    gl.CullFace(kFace);
    BothWindings(gl);
}

// FrontFace(CW) with the back faces culled and the back faces outlined.
void FrontFaceCw(const Gl& gl) {
    Pixels(gl);
    gl.FrontFace(GL_CW);
    gl.PolygonMode(GL_BACK, GL_LINE);
    BothWindings(gl);
    gl.Enable(GL_CULL_FACE);
    gl.Translatef(3, 3, 0);
    BothWindings(gl);
}

// Polygon stipple: a pattern of diagonal and checker bits over shapes, the
// pattern fixed to the window (shapes moved under it keep its phase).
void Stipple(const Gl& gl) {
    Pixels(gl);
    GLubyte pattern[128];
    for (int row = 0; row < 32; ++row)
        for (int b = 0; b < 4; ++b) {
            const int x0 = b * 8;
            GLubyte v = 0;
            for (int bit = 0; bit < 8; ++bit) {
                const int x = x0 + bit;
                const bool on = (x + row) % 7 == 0 || ((x / 4 + row / 4) % 2 == 0 && row < 16);
                if (on) v = static_cast<GLubyte>(v | (0x80 >> bit));
            }
            pattern[row * 4 + b] = v;
        }
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.PolygonStipple(pattern);
    gl.Enable(GL_POLYGON_STIPPLE);
    BothWindings(gl);
    gl.Translatef(5, 3, 0);
    gl.Color3f(1, 1, 1);
    gl.Rectf(60, 60, 200, 130);
}

// Edge flags: outlined triangles and a polygon with some edges flagged off
// (boundary edges drawn, inner ones of a fan of triangles not), and points
// mode, which draws every vertex whatever its flag.
void EdgeFlags(const Gl& gl) {
    Pixels(gl);
    gl.PolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    gl.Color3f(1, 1, 0.4f);
    auto fan = [&](float cx, float cy) {
        // A hexagon as four triangles, their inner edges flagged off.
        float px[6], py[6];
        for (int k = 0; k < 6; ++k) px[k] = cx + 40 * std::cos(kPi * k / 3), py[k] = cy + 40 * std::sin(kPi * k / 3);
        gl.Begin(GL_TRIANGLES);
        for (int t = 0; t < 4; ++t) {
            // Triangle (0, t+1, t+2): edge 0->t+1 inner unless t == 0,
            // t+1->t+2 boundary, t+2->0 inner unless t == 3.
            gl.EdgeFlag(t == 0 ? GL_TRUE : GL_FALSE), gl.Vertex2f(px[0] + 0.5f, py[0] + 0.5f);
            gl.EdgeFlag(GL_TRUE), gl.Vertex2f(px[t + 1] + 0.5f, py[t + 1] + 0.5f);
            gl.EdgeFlag(t == 3 ? GL_TRUE : GL_FALSE), gl.Vertex2f(px[t + 2] + 0.5f, py[t + 2] + 0.5f);
        }
        gl.End();
        gl.EdgeFlag(GL_TRUE);
    };
    fan(60, 60);
    gl.Begin(GL_POLYGON);
    gl.Color3f(0.4f, 1, 1);
    gl.EdgeFlag(GL_TRUE), gl.Vertex2f(140.5f, 20.5f);
    gl.EdgeFlag(GL_FALSE), gl.Vertex2f(230.5f, 30.5f);
    gl.EdgeFlag(GL_TRUE), gl.Vertex2f(240.5f, 100.5f);
    gl.EdgeFlag(GL_FALSE), gl.Vertex2f(180.5f, 120.5f);
    gl.EdgeFlag(GL_TRUE), gl.Vertex2f(130.5f, 80.5f);
    gl.End();
    gl.EdgeFlag(GL_TRUE);
    gl.PolygonMode(GL_FRONT_AND_BACK, GL_POINT);
    gl.PointSize(3.0f);
    gl.Color3f(1, 0.4f, 0.4f);
    fan(190, 150);
}

// Convex polygons of many vertices: circles of 6, 16, 40 and 90 sides,
// smooth-shaded with colours affine in the position, one flat.
void ManyVertices(const Gl& gl) {
    Pixels(gl);
    static const struct {
        int sides;
        float cx, cy, r;
    } kShapes[] = {{6, 50, 50, 40}, {16, 150, 50, 42}, {40, 60, 140, 45}, {90, 180, 135, 50}};
    for (int s = 0; s < 4; ++s) {
        gl.ShadeModel(s == 3 ? GL_FLAT : GL_SMOOTH);
        gl.Begin(GL_POLYGON);
        for (int k = 0; k < kShapes[s].sides; ++k) {
            const float a = 2 * kPi * k / kShapes[s].sides + 0.1f;
            // Affine in the position, as in BothWindings.
            gl.Color3f(0.5f + 0.5f * std::cos(a), 0.5f + 0.5f * std::sin(a), s / 3.0f);
            gl.Vertex2f(kShapes[s].cx + kShapes[s].r * std::cos(a), kShapes[s].cy + kShapes[s].r * std::sin(a));
        }
        gl.End();
    }
}

// Window pixels cleared, then a perspective projection (near 1, far 20)
// looking down -z from the origin.
void PerspectivePixels(const Gl& gl) {
    Pixels(gl);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Frustum(-0.4, 0.4, -0.3, 0.3, 1.0, 20.0);
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
}

// Perspective with the depth test: a floor and a triangle that cross the
// near plane (clipped there, their depths interpolated to the cut).
void NearPlane(const Gl& gl) {
    PerspectivePixels(gl);
    gl.Enable(GL_DEPTH_TEST);
    gl.ShadeModel(GL_FLAT);  // colours may be interpolated in the window or in perspective: the cut is the test
    gl.Begin(GL_QUADS);
    gl.Color3f(1, 0.2f, 0.2f), gl.Vertex3f(-2, -0.6f, 2);
    gl.Color3f(0.2f, 1, 0.2f), gl.Vertex3f(2, -0.6f, 2);
    gl.Color3f(0.2f, 0.2f, 1), gl.Vertex3f(2, -0.6f, -12);
    gl.Color3f(1, 1, 0.2f), gl.Vertex3f(-2, -0.6f, -12);
    gl.End();
    gl.Begin(GL_TRIANGLES);
    gl.Color3f(0.9f, 0.9f, 0.9f), gl.Vertex3f(-0.5f, 0.5f, 1.0f);
    gl.Color3f(0.5f, 0.2f, 0.8f), gl.Vertex3f(0.6f, -0.2f, -6.0f);
    gl.Color3f(0.2f, 0.8f, 0.8f), gl.Vertex3f(-1.2f, -0.5f, -3.0f);
    gl.End();
}

// Perspective with the back faces culled: floor triangles and quads with
// one or two vertices behind the eye (w < 0), in both windings, drawn in
// order on one floor (no depth test). What is drawn of each is the part in
// front of the eye, and its facing is that part's: the floor's upper side
// faces the eye, its lower side is culled.
void BehindTheEye(const Gl& gl) {
    PerspectivePixels(gl);
    gl.Enable(GL_CULL_FACE);
    gl.ShadeModel(GL_FLAT);  // the faces' extent and facing are the test, not how colours interpolate
    const float y = -0.6f;
    gl.Begin(GL_TRIANGLES);
    // Upper side towards the eye (counter-clockwise seen from above).
    gl.Color3f(1, 0.3f, 0.3f);
    gl.Vertex3f(-2.5f, y, -9), gl.Vertex3f(-1.2f, y, 1.5f), gl.Vertex3f(-0.4f, y, -3);
    gl.Color3f(0.3f, 1, 0.3f);
    gl.Vertex3f(0.4f, y, -3), gl.Vertex3f(1.0f, y, 2.0f), gl.Vertex3f(2.5f, y, 2.5f);
    // Lower side towards the eye: culled.
    gl.Color3f(1, 1, 1);
    gl.Vertex3f(-0.3f, y, -6), gl.Vertex3f(0.3f, y, -6), gl.Vertex3f(0, y, 1.5f);
    gl.End();
    gl.Begin(GL_QUADS);
    gl.Color3f(0.3f, 0.3f, 1);  // upper side, its first corner behind the eye
    gl.Vertex3f(-1.0f, y, 2), gl.Vertex3f(-0.2f, y, -7), gl.Vertex3f(-0.5f, y, -16), gl.Vertex3f(-1.5f, y, -16);
    gl.Color3f(1, 1, 0.3f);  // upper side, two corners behind
    gl.Vertex3f(0.5f, y, -16), gl.Vertex3f(0.6f, y, 2), gl.Vertex3f(1.6f, y, 3), gl.Vertex3f(1.5f, y, -16);
    gl.Color3f(1, 1, 1);  // lower side, its third corner behind: culled
    gl.Vertex3f(0.2f, y, -18), gl.Vertex3f(0.2f, y, -9), gl.Vertex3f(-0.1f, y, 2), gl.Vertex3f(-0.2f, y, -18);
    gl.End();
}

// Quads whose first three (or last three) corners lie on one line, and a
// quad whose first three corners lie outside the window, in both windings
// with the back faces culled: each is drawn or culled by its whole area.
void QuadCorners(const Gl& gl) {
    Pixels(gl);
    gl.Enable(GL_CULL_FACE);
    gl.ShadeModel(GL_FLAT);
    gl.Begin(GL_QUADS);
    for (int pass = 0; pass < 2; ++pass) {
        const float dy = pass == 0 ? 0 : 95;
        auto corners = [&](std::initializer_list<std::array<float, 2>> cs) {
            std::vector<std::array<float, 2>> v(cs);
            if (pass == 1) std::reverse(v.begin(), v.end());  // clockwise: a back face, culled
            for (const auto& c : v) gl.Vertex2f(c[0], c[1] + dy);
        };
        gl.Color3f(1, 0.4f, 0.2f);
        corners({{{10, 10}}, {{50, 10}}, {{90, 10}}, {{50, 80}}});
        gl.Color3f(0.2f, 1, 0.4f);
        corners({{{150, 80}}, {{110, 10}}, {{150, 10}}, {{190, 10}}});
        gl.Color3f(0.4f, 0.2f, 1);
        corners({{{-40, 60}}, {{-30, 20}}, {{-20, 20}}, {{230, 80}}});
    }
    gl.End();
}

// User clip planes: two planes, one given under a translation (taken into
// eye space when given, so popping the matrix after does not move it),
// cutting smooth-shaded shapes and lines.
void ClipPlanes(const Gl& gl) {
    Pixels(gl);
    const double plane0[] = {1, 1, 0, -200};  // x + y >= 200
    gl.PushMatrix();
    gl.Translatef(128, 96, 0);
    const double plane1[] = {-1, 0.3, 0, 70};  // in the translated space: x - 0.3 y <= 70
    gl.ClipPlane(GL_CLIP_PLANE1, plane1);
    gl.PopMatrix();
    gl.ClipPlane(GL_CLIP_PLANE0, plane0);
    gl.Enable(GL_CLIP_PLANE0);
    gl.Enable(GL_CLIP_PLANE1);
    BothWindings(gl);
    gl.Begin(GL_LINES);
    for (int k = 0; k < 8; ++k) {
        gl.Color3f(1, 1, k / 8.0f);
        gl.Vertex2f(5.5f + 30 * k, 5.5f), gl.Vertex2f(45.5f + 28 * k, 185.5f);
    }
    gl.End();
    gl.Disable(GL_CLIP_PLANE0);
    gl.Disable(GL_CLIP_PLANE1);
}

constexpr const char* kEdges = "span interpolation; edge pixels where the coverage rules round apart";
const Scene kPolygons[] = {
    {"mode_fill_line", Modes<GL_FILL, GL_LINE>, 3, 120, "span and line interpolation; edge and outline end pixels"},
    {"mode_line_point", Modes<GL_LINE, GL_POINT>, 3, 120, "line interpolation; outline end pixels"},
    {"mode_point_fill", Modes<GL_POINT, GL_FILL>, 3, 120, kEdges},
    {"mode_point_fill_strips", PointFillStrips, 3, 120, kEdges},
    {"mode_line_fill", Modes<GL_LINE, GL_FILL>, 3, 160, "span and line interpolation; edge and outline end pixels"},
    {"mode_line_fill_strips", LineFillStrips, 3, 160, "span and line interpolation; edge and outline end pixels"},
    {"mode_point_fill_depth", PointFillDepth, 3, 160, kEdges},
    {"cull_front", Cull<GL_FRONT>, 3, 120, kEdges},
    {"cull_back", Cull<GL_BACK>, 3, 120, kEdges},
    {"front_face_cw", FrontFaceCw, 3, 160, "span and line interpolation; edge and outline end pixels"},
    {"stipple", Stipple, 3, 120, kEdges},
    {.name = "stipple_covered",
     .draw = Stipple,
     .tolerance = 3,
     .outliers = 120,
     .why = kEdges,
     .covered = true},
    {"edge_flags", EdgeFlags, 3, 80, "line interpolation; outline end pixels"},
    {"many_vertices", ManyVertices, 3, 160, kEdges},
    {"near_plane", NearPlane, 3, 160, "edge pixels along the near cut"},
    {"clip_planes", ClipPlanes, 3, 200, "span interpolation; pixels along the clip planes' cuts"},
    {"behind_the_eye", BehindTheEye, 3, 200, "edge pixels along the near cut and the faces' edges"},
    {"quad_corners", QuadCorners, 3, 120, kEdges},
};

VNX_APP_SCENES(Polygons, kPolygons);

// Only one face at a time is culled: CullFace(FRONT_AND_BACK) is refused
// and the mode stays what it was.
class AppCulling : public AppTest {};

TEST_F(AppCulling, FrontAndBackIsRefused) {
    gl_.CullFace(GL_FRONT);
    gl_.CullFace(GL_FRONT_AND_BACK);
    EXPECT_EQ(gl_.GetError(), static_cast<GLenum>(GL_INVALID_ENUM));
    GLint mode = 0;
    gl_.GetIntegerv(GL_CULL_FACE_MODE, &mode);
    EXPECT_EQ(mode, GL_FRONT);
}

// A window wholly covered by another application's shows nothing: what
// the application draws sends the board no primitive, and the raster
// position is still computed (it does not depend on what of the window
// shows).
class AppCoveredWindow : public AppTest {};

TEST_F(AppCoveredWindow, DrawsNothingAndKeepsTheRasterPosition) {
    Pixels(gl_);
    gl_.Finish();
    other_ = vnx::process::create("other");
    {
        vnx::process::Scope other(other_);
        ASSERT_NE(vnx::windows::create(area_), nullptr);
    }
    std::vector<std::uint64_t> before;
    for (int r = 0; r < board().rasterizers(); ++r) before.push_back(board().summary(r).primitives);
    gl_.ShadeModel(GL_SMOOTH);
    gl_.Begin(GL_TRIANGLES);
    gl_.Color3f(1, 0, 0), gl_.Vertex2f(10, 10);
    gl_.Color3f(0, 1, 0), gl_.Vertex2f(200, 20);
    gl_.Color3f(0, 0, 1), gl_.Vertex2f(100, 180);
    gl_.End();
    gl_.Begin(GL_LINES);
    gl_.Color3f(1, 1, 0), gl_.Vertex2f(5.5f, 5.5f);
    gl_.Color3f(0, 1, 1), gl_.Vertex2f(250.5f, 180.5f);
    gl_.End();
    gl_.Color3f(1, 1, 1);
    gl_.Begin(GL_POINTS);
    gl_.Vertex2f(30.5f, 40.5f);
    gl_.End();
    gl_.Rectf(40, 40, 120, 90);
    gl_.RasterPos2f(17.5f, 23.5f);
    gl_.Finish();
    EXPECT_EQ(gl_.GetError(), static_cast<GLenum>(GL_NO_ERROR));
    for (int r = 0; r < board().rasterizers(); ++r)
        EXPECT_EQ(board().summary(r).primitives, before[static_cast<std::size_t>(r)]) << "rasterizer " << r;
    GLboolean valid = GL_FALSE;
    gl_.GetBooleanv(GL_CURRENT_RASTER_POSITION_VALID, &valid);
    EXPECT_EQ(valid, GL_TRUE);
    GLfloat position[4] = {};
    gl_.GetFloatv(GL_CURRENT_RASTER_POSITION, position);
    EXPECT_EQ(position[0], 17.5f);
    EXPECT_EQ(position[1], 23.5f);
    EXPECT_EQ(BoardErrors(), "");
}

}  // namespace
}  // namespace glapp_tests
