// Display lists and evaluators as applications use them, drawn through the
// system OpenGL library and through OSMesa and compared as pictures:
// nested lists, glCallLists with every name type and a list base, lists
// compiled and executed at once, lists of state; one- and two-dimensional
// maps of vertices, colours, normals and texture coordinates evaluated
// through glEvalCoord, glEvalPoint and glMapGrid with glEvalMesh.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

#include "app_gl.h"

namespace glapp_tests {
namespace {

// A small coloured fan around the origin.
void Fan(const Gl& gl, float r) {
    gl.Begin(GL_TRIANGLE_FAN);
    gl.Color3f(1, 1, 1), gl.Vertex2f(0, 0);
    gl.Color3f(1, 0, 0), gl.Vertex2f(r, 0);
    gl.Color3f(0, 1, 0), gl.Vertex2f(0, r);
    gl.Color3f(0, 0, 1), gl.Vertex2f(-r, 0);
    gl.Color3f(1, 1, 0), gl.Vertex2f(0, -r);
    gl.Color3f(1, 0, 0), gl.Vertex2f(r, 0);
    gl.End();
}

// Lists three deep, each under its own matrix change, one called twice by
// the next; a call of a name that holds no list does nothing.
void Nested(const Gl& gl) {
    Pixels(gl);
    const GLuint base = gl.GenLists(3);
    gl.NewList(base, GL_COMPILE);
    Fan(gl, 12);
    gl.EndList();
    gl.NewList(base + 1, GL_COMPILE);
    for (int k = 0; k < 3; ++k) {
        gl.Translatef(30, 0, 0);
        gl.CallList(base);
    }
    gl.CallList(base + 50);  // no such list
    gl.EndList();
    gl.NewList(base + 2, GL_COMPILE);
    gl.PushMatrix();
    gl.CallList(base + 1);
    gl.PopMatrix();
    gl.Translatef(0, 40, 0);
    gl.Rotatef(10, 0, 0, 1);
    gl.CallList(base + 1);
    gl.EndList();
    gl.Translatef(10, 30, 0);
    gl.CallList(base + 2);
    gl.Translatef(100, 60, 0);
    gl.Scalef(1, 0.7f, 1);
    gl.CallList(base + 2);
    gl.DeleteLists(base, 3);
}

// glCallLists with every type of name, each offset by the list base: ten
// lists, each a square in its own colour that moves the next one along;
// a row of squares per type.
void CallListsTypes(const Gl& gl) {
    Pixels(gl);
    const GLuint base = gl.GenLists(300);
    // Lists base + 260 .. base + 269 (reached through names that need more
    // than a byte) and base + 0 .. 9.
    for (GLuint first : {base, base + 260}) {
        for (GLuint k = 0; k < 10; ++k) {
            gl.NewList(first + k, GL_COMPILE);
            gl.Color3f(k / 9.0f, first == base ? 1.0f : 0.3f, 1.0f - k / 9.0f);
            gl.Rectf(0, 0, 8, 8);
            gl.Translatef(10 + static_cast<float>(k % 3), 0, 0);
            gl.EndList();
        }
    }
    const GLbyte bytes[] = {0, 3, 9, 2};
    const GLubyte ubytes[] = {9, 8, 7, 1};
    const GLshort shorts[] = {5, 4, 6};
    const GLushort ushorts[] = {260, 265, 269};
    const GLint ints[] = {262, 1, 263};
    const GLuint uints[] = {2, 268, 3};
    const GLfloat floats[] = {1.0f, 7.0f, 261.0f};
    const GLubyte twoBytes[] = {1, 4, 0, 5, 0, 6};              // 260, 5, 6
    const GLubyte threeBytes[] = {0, 1, 7, 0, 0, 8, 0, 0, 2};   // 263, 8, 2
    const GLubyte fourBytes[] = {0, 0, 1, 9, 0, 0, 0, 4};      // 265, 4
    struct Row {
        GLenum type;
        GLsizei n;
        const void* names;
    };
    const Row rows[] = {{GL_BYTE, 4, bytes},          {GL_UNSIGNED_BYTE, 4, ubytes}, {GL_SHORT, 3, shorts},
                        {GL_UNSIGNED_SHORT, 3, ushorts}, {GL_INT, 3, ints},         {GL_UNSIGNED_INT, 3, uints},
                        {GL_FLOAT, 3, floats},        {GL_2_BYTES, 3, twoBytes},     {GL_3_BYTES, 3, threeBytes},
                        {GL_4_BYTES, 2, fourBytes}};
    gl.ListBase(base);
    int k = 0;
    for (const Row& r : rows) {
        gl.PushMatrix();
        gl.Translatef(10.0f + 120 * (k % 2), 10.0f + 35 * (k / 2), 0);
        gl.CallLists(r.n, r.type, r.names);
        gl.PopMatrix();
        ++k;
    }
    // A negative byte reaches below the base.
    gl.ListBase(base + 5);
    const GLbyte back[] = {-5, -4, 4};
    gl.PushMatrix();
    gl.Translatef(130, 180, 0);
    gl.CallLists(3, GL_BYTE, back);
    gl.PopMatrix();
    gl.DeleteLists(base, 300);
}

// A list compiled and executed at once draws while it is compiled, then
// again when called; a list compiled alone draws nothing until called.
void CompileAndExecute(const Gl& gl) {
    Pixels(gl);
    const GLuint base = gl.GenLists(2);
    gl.Translatef(40, 50, 0);
    gl.NewList(base, GL_COMPILE_AND_EXECUTE);
    Fan(gl, 20);
    gl.Translatef(50, 0, 0);
    gl.EndList();
    gl.NewList(base + 1, GL_COMPILE);
    gl.Color3f(1, 0, 1);
    gl.Rectf(-10, -10, 10, 10);
    gl.EndList();
    gl.CallList(base);
    gl.Translatef(0, 60, 0);
    gl.CallList(base + 1);
    gl.DeleteLists(base, 2);
}

// Lists that hold state alone: the state is set when the list runs and
// stays set after it; a list pushes attributes that a later one pops.
void ListsOfState(const Gl& gl) {
    Pixels(gl);
    const GLuint base = gl.GenLists(4);
    gl.NewList(base, GL_COMPILE);
    gl.ShadeModel(GL_FLAT);
    gl.Color3f(0.9f, 0.6f, 0.1f);
    gl.LineWidth(3);
    gl.PolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    gl.EndList();
    gl.NewList(base + 1, GL_COMPILE);
    gl.PushAttrib(GL_CURRENT_BIT | GL_POLYGON_BIT | GL_LINE_BIT | GL_LIGHTING_BIT);
    gl.EndList();
    gl.NewList(base + 2, GL_COMPILE);
    gl.PopAttrib();
    gl.EndList();
    gl.NewList(base + 3, GL_COMPILE);
    gl.MatrixMode(GL_MODELVIEW);
    gl.Translatef(60, 0, 0);
    gl.Enable(GL_LINE_STIPPLE);
    gl.LineStipple(1, 0xF0F0);
    gl.EndList();
    gl.CallList(base + 1);
    gl.CallList(base);
    gl.Begin(GL_TRIANGLES);
    gl.Vertex2f(20, 20), gl.Vertex2f(100, 30), gl.Vertex2f(50, 100);
    gl.End();
    gl.CallList(base + 3);
    gl.Begin(GL_TRIANGLES);
    gl.Color3f(0.2f, 0.9f, 0.4f);
    gl.Vertex2f(20, 20), gl.Vertex2f(100, 30), gl.Vertex2f(50, 100);
    gl.End();
    gl.CallList(base + 2);  // back to fill, width 1, smooth, the colour before
    gl.Disable(GL_LINE_STIPPLE);
    gl.Begin(GL_TRIANGLES);
    gl.Vertex2f(20, 120), gl.Vertex2f(100, 130), gl.Color3f(0, 0, 1), gl.Vertex2f(50, 180);
    gl.End();
    gl.DeleteLists(base, 4);
}

// A cubic Bezier curve in the plane: its control points.
const GLfloat kCurve[4][3] = {{20, 20, 0}, {60, 180, 0}, {180, -40, 0}, {236, 150, 0}};
const GLfloat kCurveColours[4][4] = {{1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1}, {1, 1, 0, 1}};

// One-dimensional maps: the curve through glEvalCoord1 as a line strip,
// through a grid as lines and as points, single grid points, and a
// coloured copy of it (a colour map beside the vertex map).
void Map1Curves(const Gl& gl) {
    Pixels(gl);
    gl.Map1f(GL_MAP1_VERTEX_3, 0, 1, 3, 4, &kCurve[0][0]);
    gl.Enable(GL_MAP1_VERTEX_3);
    gl.Color3f(1, 1, 1);
    gl.Begin(GL_LINE_STRIP);
    for (int k = 0; k <= 30; ++k) gl.EvalCoord1f(k / 30.0f);
    gl.End();
    gl.PushMatrix();
    gl.Translatef(0, -15, 0);
    gl.Color3f(0, 1, 1);
    gl.MapGrid1f(20, 0, 1);
    gl.EvalMesh1(GL_LINE, 0, 20);
    gl.Translatef(0, -10, 0);
    gl.PointSize(3);
    gl.Color3f(1, 0, 1);
    gl.EvalMesh1(GL_POINT, 2, 18);
    gl.PopMatrix();
    gl.Begin(GL_POINTS);
    gl.Color3f(1, 1, 0);
    for (int k = 0; k <= 20; k += 5) gl.EvalPoint1(k);
    gl.End();
    // The grid over part of the domain, reversed, with a colour map.
    gl.Map1f(GL_MAP1_COLOR_4, 0, 1, 4, 4, &kCurveColours[0][0]);
    gl.Enable(GL_MAP1_COLOR_4);
    gl.Translatef(0, 20, 0);
    gl.MapGrid1f(16, 0.9f, 0.1f);
    gl.EvalMesh1(GL_LINE, 0, 16);
}

// A rational curve (four coordinates a point): a quarter circle.
void Map1Rational(const Gl& gl) {
    Pixels(gl);
    const float w = 0.70710678f;
    const GLfloat points[3][4] = {{228, 96, 0, 1}, {228 * w, 178 * w, 0, w}, {128, 178, 0, 1}};
    gl.Translatef(-40, -40, 0);
    gl.Map1f(GL_MAP1_VERTEX_4, 0, 1, 4, 3, &points[0][0]);
    gl.Enable(GL_MAP1_VERTEX_4);
    gl.Color3f(1, 0.8f, 0.2f);
    gl.MapGrid1f(24, 0, 1);
    gl.EvalMesh1(GL_LINE, 0, 24);
}

// A bicubic patch over the window: 4 x 4 control points with heights.
std::vector<GLfloat> Patch() {
    std::vector<GLfloat> p;
    for (int v = 0; v < 4; ++v)
        for (int u = 0; u < 4; ++u) {
            p.push_back(20.0f + 72 * u + (v == 2 ? 15.0f : 0.0f));
            p.push_back(15.0f + 55 * v + (u == 1 ? 20.0f : 0.0f));
            p.push_back(((u + v) % 3 - 1) * 0.5f);
        }
    return p;
}
// Colours at the patch's corners (a 2 x 2 map).
const GLfloat kPatchColours[2][2][4] = {{{1, 0, 0, 1}, {0, 1, 0, 1}}, {{0, 0, 1, 1}, {1, 1, 0, 1}}};

// Two-dimensional maps: the patch filled from a grid with a colour map,
// under the depth test.
void Map2Fill(const Gl& gl) {
    Pixels(gl);
    const std::vector<GLfloat> patch = Patch();
    gl.Map2f(GL_MAP2_VERTEX_3, 0, 1, 3, 4, 0, 1, 12, 4, patch.data());
    gl.Map2f(GL_MAP2_COLOR_4, 0, 1, 4, 2, 0, 1, 8, 2, &kPatchColours[0][0][0]);
    gl.Enable(GL_MAP2_VERTEX_3);
    gl.Enable(GL_MAP2_COLOR_4);
    gl.Enable(GL_DEPTH_TEST);
    gl.ShadeModel(GL_SMOOTH);
    gl.MapGrid2f(12, 0, 1, 10, 0, 1);
    gl.EvalMesh2(GL_FILL, 0, 12, 0, 10);
}

// The patch's grid as lines and as points over part of the grid, single
// points, and a quad strip of glEvalCoord2 across it.
void Map2LinesAndPoints(const Gl& gl) {
    Pixels(gl);
    const std::vector<GLfloat> patch = Patch();
    gl.Map2f(GL_MAP2_VERTEX_3, 0, 1, 3, 4, 0, 1, 12, 4, patch.data());
    gl.Enable(GL_MAP2_VERTEX_3);
    gl.Color3f(0.6f, 0.8f, 1);
    gl.MapGrid2f(8, 0, 1, 6, 0, 1);
    gl.EvalMesh2(GL_LINE, 0, 8, 0, 6);
    gl.PointSize(4);
    gl.Color3f(1, 0.3f, 0.3f);
    gl.EvalMesh2(GL_POINT, 2, 6, 1, 5);
    gl.Begin(GL_POINTS);
    gl.Color3f(1, 1, 0);
    gl.EvalPoint2(0, 0), gl.EvalPoint2(8, 6), gl.EvalPoint2(4, 3);
    gl.End();
    gl.Color3f(0.3f, 1, 0.3f);
    gl.Begin(GL_QUAD_STRIP);
    for (int k = 0; k <= 10; ++k) gl.EvalCoord2f(k / 10.0f, 0.45f), gl.EvalCoord2f(k / 10.0f, 0.55f);
    gl.End();
}

// A lit patch: normals from a normal map, then from the surface itself
// (automatic normals), side by side.
void Map2Lit(const Gl& gl, bool autoNormal) {
    Pixels(gl);
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Frustum(-1, 1, -0.75, 0.75, 2, 10);
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
    gl.Translatef(0, 0, -4);
    gl.Rotatef(-50, 1, 0, 0);
    std::vector<GLfloat> dome;
    for (int v = 0; v < 4; ++v)
        for (int u = 0; u < 4; ++u) {
            dome.push_back(-1.5f + u);
            dome.push_back(-1.5f + v);
            dome.push_back((u == 1 || u == 2) && (v == 1 || v == 2) ? 1.2f : 0.0f);
        }
    gl.Map2f(GL_MAP2_VERTEX_3, 0, 1, 3, 4, 0, 1, 12, 4, dome.data());
    gl.Enable(GL_MAP2_VERTEX_3);
    if (autoNormal) {
        gl.Enable(GL_AUTO_NORMAL);
    } else {
        // Normals tilting across the patch.
        const GLfloat normals[2][2][3] = {{{-0.5f, -0.5f, 0.7f}, {0.5f, -0.5f, 0.7f}}, {{-0.5f, 0.5f, 0.7f}, {0.5f, 0.5f, 0.7f}}};
        gl.Map2f(GL_MAP2_NORMAL, 0, 1, 3, 2, 0, 1, 6, 2, &normals[0][0][0]);
        gl.Enable(GL_MAP2_NORMAL);
        gl.Enable(GL_NORMALIZE);
    }
    gl.Enable(GL_LIGHTING);
    gl.Enable(GL_LIGHT0);
    const float pos[] = {1, 2, 3, 0}, diffuse[] = {0.3f, 0.7f, 0.9f, 1};
    gl.Lightfv(GL_LIGHT0, GL_POSITION, pos);
    gl.Materialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, diffuse);
    gl.Enable(GL_DEPTH_TEST);
    gl.MapGrid2f(16, 0, 1, 16, 0, 1);
    gl.EvalMesh2(GL_FILL, 0, 16, 0, 16);
}
void Map2Normals(const Gl& gl) { Map2Lit(gl, false); }
void Map2AutoNormals(const Gl& gl) { Map2Lit(gl, true); }

// A textured patch: texture coordinates from a 2 x 2 map over a checker
// texture, nearest texels.
void Map2Texture(const Gl& gl) {
    Pixels(gl);
    std::vector<GLubyte> img(8 * 8 * 3);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            GLubyte* p = &img[static_cast<std::size_t>((y * 8 + x) * 3)];
            const bool dark = (x + y) % 2 == 1;
            p[0] = static_cast<GLubyte>(dark ? 30 : 240);
            p[1] = static_cast<GLubyte>(dark ? 80 : 30 * x);
            p[2] = static_cast<GLubyte>(dark ? 200 : 30 * y);
        }
    gl.TexImage2D(GL_TEXTURE_2D, 0, 3, 8, 8, 0, GL_RGB, GL_UNSIGNED_BYTE, img.data());
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
    gl.Enable(GL_TEXTURE_2D);
    // Flat control points, so the texture lies on the window undistorted.
    GLfloat flat[4][4][3];
    for (int v = 0; v < 4; ++v)
        for (int u = 0; u < 4; ++u) flat[v][u][0] = 30.0f + 60 * u, flat[v][u][1] = 20.0f + 50 * v, flat[v][u][2] = 0;
    // Texels of 15 x 20 pixels: every texel edge lies on a pixel boundary,
    // half a pixel from the nearest pixel centres, so that the texel a
    // centre samples does not hang on the rounding of its coordinates.
    const GLfloat tex[2][2][2] = {{{0.0f, 0.0f}, {1.5f, 0.0f}}, {{0.0f, 0.9375f}, {1.5f, 0.9375f}}};
    gl.Map2f(GL_MAP2_VERTEX_3, 0, 1, 3, 4, 0, 1, 12, 4, &flat[0][0][0]);
    gl.Map2f(GL_MAP2_TEXTURE_COORD_2, 0, 1, 2, 2, 0, 1, 4, 2, &tex[0][0][0]);
    gl.Enable(GL_MAP2_VERTEX_3);
    gl.Enable(GL_MAP2_TEXTURE_COORD_2);
    gl.MapGrid2f(6, 0, 1, 6, 0, 1);
    gl.EvalMesh2(GL_FILL, 0, 6, 0, 6);
}

// Evaluations kept in a display list: the grid and the mesh compiled, the
// map changed before the call (the list holds the evaluation, not its
// results).
void EvalInList(const Gl& gl) {
    Pixels(gl);
    const GLuint list = gl.GenLists(1);
    gl.NewList(list, GL_COMPILE);
    gl.MapGrid1f(20, 0, 1);
    gl.EvalMesh1(GL_LINE, 0, 20);
    gl.Begin(GL_POINTS);
    gl.EvalCoord1f(0.5f);
    gl.End();
    gl.EndList();
    gl.Map1f(GL_MAP1_VERTEX_3, 0, 1, 3, 4, &kCurve[0][0]);
    gl.Enable(GL_MAP1_VERTEX_3);
    gl.PointSize(5);
    gl.Color3f(1, 1, 1);
    gl.CallList(list);
    const GLfloat flipped[4][3] = {{20, 170, 0}, {80, 0, 0}, {160, 200, 0}, {236, 30, 0}};
    gl.Map1f(GL_MAP1_VERTEX_3, 0, 1, 3, 4, &flipped[0][0]);
    gl.Color3f(1, 0.5f, 0);
    gl.CallList(list);
    gl.DeleteLists(list, 1);
}

const Scene kListsEval[] = {
    {"nested", Nested, 3, 120, "edge pixels of the fans"},
    {"call_lists_types", CallListsTypes, 0, 0, "none: squares on whole pixels"},
    {"compile_and_execute", CompileAndExecute, 3, 80, "edge pixels of the fans"},
    {"lists_of_state", ListsOfState, 3, 300,
     "outline ends and the wide lines' caps; the stippled wide outline of a triangle whose vertices lie on pixel "
     "corners, where the reference strays from GL's diamond rule (its edges' pixels and dash count, 243 pixels off "
     "ours): StippledOutlineTest checks ours against GL's rule pixel by pixel"},
    {"map1_curves", Map1Curves, 3, 200, "evaluated vertices in single precision: line pixels a step apart"},
    {"map1_rational", Map1Rational, 3, 80, "evaluated vertices in single precision: line pixels a step apart"},
    {"map2_fill", Map2Fill, 4, 300, "evaluated vertices and colours in single precision; mesh edges"},
    {"map2_lines_and_points", Map2LinesAndPoints, 3, 300, "evaluated vertices in single precision: line pixels"},
    {"map2_normals", Map2Normals, 4, 300, "lighting in single precision; mesh edges"},
    {"map2_auto_normals", Map2AutoNormals, 4, 300, "normals from the surface's derivatives; mesh edges"},
    {"map2_texture", Map2Texture, 0, 150, "texel edges and mesh edges"},
    {"eval_in_list", EvalInList, 3, 200, "evaluated vertices in single precision: line pixels"},
};

VNX_APP_SCENES(ListsEval, kListsEval);

// GL's line rule: the pixels whose diamond (|x - xc| + |y - yc| < 1/2 about
// the pixel's centre) the segment a -> b passes through, but the one
// holding b; found by following the segment in small steps.
std::vector<std::pair<int, int>> DiamondPixels(double ax, double ay, double bx, double by) {
    std::vector<std::pair<int, int>> out;
    auto inside = [](double x, double y, int i, int j) {
        return std::fabs(x - (i + 0.5)) + std::fabs(y - (j + 0.5)) < 0.5 - 1e-9;
    };
    constexpr int kSteps = 20000;
    for (int k = 0; k <= kSteps; ++k) {
        const double t = static_cast<double>(k) / kSteps, x = ax + (bx - ax) * t, y = ay + (by - ay) * t;
        const int i = static_cast<int>(std::floor(x)), j = static_cast<int>(std::floor(y));
        const std::pair<int, int> around[] = {{i, j}, {i - 1, j}, {i + 1, j}, {i, j - 1}, {i, j + 1}};
        for (const auto& [pi, pj] : around)
            if (inside(x, y, pi, pj) && !inside(bx, by, pi, pj) && (out.empty() || out.back() != std::make_pair(pi, pj)))
                out.push_back({pi, pj});
    }
    return out;
}

// A triangle's stippled outline of width 3 (the polygon drawn in line
// mode), checked pixel by pixel against GL's rule: each edge's pixels by
// the diamond rule, the stipple counting them around the triangle from its
// first vertex, each pixel widened to three across its edge's major axis.
using StippledOutlineTest = AppTest;

TEST_F(StippledOutlineTest, FollowsGlsDiamondRuleAndStippleCount) {
    struct Case {
        const char* what;
        double v[3][2];
    };
    const Case cases[] = {
        {"vertices on pixel corners", {{80, 20}, {160, 30}, {110, 100}}},
        {"vertices on pixel centres", {{80.5, 20.5}, {161.5, 30.5}, {110.5, 101.5}}},
    };
    constexpr unsigned kPattern = 0xF0F0;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Pixels(gl_);
        gl_.Disable(GL_DITHER);
        gl_.PolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        gl_.LineWidth(3);
        gl_.Enable(GL_LINE_STIPPLE);
        gl_.LineStipple(1, static_cast<GLushort>(kPattern));
        gl_.Color3f(0.2f, 0.9f, 0.4f);
        gl_.Begin(GL_TRIANGLES);
        for (const auto& p : k.v) gl_.Vertex2f(static_cast<float>(p[0]), static_cast<float>(p[1]));
        gl_.End();
        gl_.Finish();
        std::set<std::pair<int, int>> want;
        int count = 0;
        for (int e = 0; e < 3; ++e) {
            const double* a = k.v[e];
            const double* b = k.v[(e + 1) % 3];
            const bool bXMajor = std::fabs(b[0] - a[0]) > std::fabs(b[1] - a[1]);
            for (const auto& [x, y] : DiamondPixels(a[0], a[1], b[0], b[1])) {
                if ((kPattern >> (count++ % 16)) & 1u)
                    for (int o = -1; o <= 1; ++o) want.insert(bXMajor ? std::make_pair(x, y + o) : std::make_pair(x + o, y));
            }
        }
        const std::vector<std::uint32_t> picture = Picture();
        ASSERT_EQ(picture.size(), static_cast<std::size_t>(kWidth) * kHeight);
        int wrong = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const std::uint32_t p = picture[static_cast<std::size_t>(kHeight - 1 - y) * kWidth + x];
                const bool lit = ((p >> 8) & 0xFFu) > 0x80u;
                if (lit != (want.count({x, y}) != 0) && wrong++ < 8)
                    ADD_FAILURE() << "pixel " << x << "," << y << (lit ? " drawn, GL's rule leaves it" : " not drawn");
            }
        EXPECT_EQ(wrong, 0) << "pixels off GL's";
        gl_.Disable(GL_LINE_STIPPLE);
        gl_.PolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }
}

}  // namespace
}  // namespace glapp_tests
