// An application's queries compared with OSMesa's answers to the same
// calls: the initial state (glGet* of every GL 1.0 state value, glIsEnabled
// of every capability), the state after each kind of state change, and the
// errors glGetError reports after invalid enums, values and operations,
// also inside glBegin/glEnd. Where GL lets implementations differ (limits,
// the depths of the buffers, strings), the value is listed as such and only
// checked against what GL allows.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app_gl.h"

namespace glapp_tests {
namespace {

// A GL 1.0 state value and the number of values glGet answers.
struct Value {
    GLenum pname;
    int count;
    const char* name;
};
#define V(p, n) {GL_##p, n, #p}
const Value kValues[] = {
    V(CURRENT_COLOR, 4), V(CURRENT_INDEX, 1), V(CURRENT_NORMAL, 3), V(CURRENT_TEXTURE_COORDS, 4),
    V(CURRENT_RASTER_COLOR, 4), V(CURRENT_RASTER_INDEX, 1), V(CURRENT_RASTER_TEXTURE_COORDS, 4),
    V(CURRENT_RASTER_POSITION, 4), V(CURRENT_RASTER_POSITION_VALID, 1), V(CURRENT_RASTER_DISTANCE, 1),
    V(POINT_SMOOTH, 1), V(POINT_SIZE, 1), V(LINE_SMOOTH, 1), V(LINE_WIDTH, 1), V(LINE_STIPPLE, 1),
    V(LINE_STIPPLE_PATTERN, 1), V(LINE_STIPPLE_REPEAT, 1), V(LIST_MODE, 1), V(LIST_BASE, 1), V(LIST_INDEX, 1),
    V(POLYGON_MODE, 2), V(POLYGON_SMOOTH, 1), V(POLYGON_STIPPLE, 1), V(EDGE_FLAG, 1), V(CULL_FACE, 1),
    V(CULL_FACE_MODE, 1), V(FRONT_FACE, 1), V(LIGHTING, 1), V(LIGHT_MODEL_LOCAL_VIEWER, 1),
    V(LIGHT_MODEL_TWO_SIDE, 1), V(LIGHT_MODEL_AMBIENT, 4), V(SHADE_MODEL, 1), V(COLOR_MATERIAL_FACE, 1),
    V(COLOR_MATERIAL_PARAMETER, 1), V(COLOR_MATERIAL, 1), V(FOG, 1), V(FOG_INDEX, 1), V(FOG_DENSITY, 1),
    V(FOG_START, 1), V(FOG_END, 1), V(FOG_MODE, 1), V(FOG_COLOR, 4), V(DEPTH_RANGE, 2), V(DEPTH_TEST, 1),
    V(DEPTH_WRITEMASK, 1), V(DEPTH_CLEAR_VALUE, 1), V(DEPTH_FUNC, 1), V(ACCUM_CLEAR_VALUE, 4), V(STENCIL_TEST, 1),
    V(STENCIL_CLEAR_VALUE, 1), V(STENCIL_FUNC, 1), V(STENCIL_VALUE_MASK, 1), V(STENCIL_FAIL, 1),
    V(STENCIL_PASS_DEPTH_FAIL, 1), V(STENCIL_PASS_DEPTH_PASS, 1), V(STENCIL_REF, 1), V(STENCIL_WRITEMASK, 1),
    V(MATRIX_MODE, 1), V(NORMALIZE, 1), V(VIEWPORT, 4), V(MODELVIEW_STACK_DEPTH, 1), V(PROJECTION_STACK_DEPTH, 1),
    V(TEXTURE_STACK_DEPTH, 1), V(MODELVIEW_MATRIX, 16), V(PROJECTION_MATRIX, 16), V(TEXTURE_MATRIX, 16),
    V(ATTRIB_STACK_DEPTH, 1), V(ALPHA_TEST, 1), V(ALPHA_TEST_FUNC, 1), V(ALPHA_TEST_REF, 1), V(DITHER, 1),
    V(BLEND_DST, 1), V(BLEND_SRC, 1), V(BLEND, 1), V(LOGIC_OP_MODE, 1), V(LOGIC_OP, 1), V(DRAW_BUFFER, 1),
    V(READ_BUFFER, 1), V(SCISSOR_BOX, 4), V(SCISSOR_TEST, 1), V(INDEX_CLEAR_VALUE, 1), V(INDEX_WRITEMASK, 1),
    V(COLOR_CLEAR_VALUE, 4), V(COLOR_WRITEMASK, 4), V(INDEX_MODE, 1), V(RGBA_MODE, 1), V(DOUBLEBUFFER, 1),
    V(STEREO, 1), V(RENDER_MODE, 1), V(PERSPECTIVE_CORRECTION_HINT, 1), V(POINT_SMOOTH_HINT, 1),
    V(LINE_SMOOTH_HINT, 1), V(POLYGON_SMOOTH_HINT, 1), V(FOG_HINT, 1), V(TEXTURE_GEN_S, 1), V(TEXTURE_GEN_T, 1),
    V(TEXTURE_GEN_R, 1), V(TEXTURE_GEN_Q, 1), V(PIXEL_MAP_I_TO_I_SIZE, 1), V(PIXEL_MAP_S_TO_S_SIZE, 1),
    V(PIXEL_MAP_I_TO_R_SIZE, 1), V(PIXEL_MAP_I_TO_G_SIZE, 1), V(PIXEL_MAP_I_TO_B_SIZE, 1),
    V(PIXEL_MAP_I_TO_A_SIZE, 1), V(PIXEL_MAP_R_TO_R_SIZE, 1), V(PIXEL_MAP_G_TO_G_SIZE, 1),
    V(PIXEL_MAP_B_TO_B_SIZE, 1), V(PIXEL_MAP_A_TO_A_SIZE, 1), V(UNPACK_SWAP_BYTES, 1), V(UNPACK_LSB_FIRST, 1),
    V(UNPACK_ROW_LENGTH, 1), V(UNPACK_SKIP_ROWS, 1), V(UNPACK_SKIP_PIXELS, 1), V(UNPACK_ALIGNMENT, 1),
    V(PACK_SWAP_BYTES, 1), V(PACK_LSB_FIRST, 1), V(PACK_ROW_LENGTH, 1), V(PACK_SKIP_ROWS, 1),
    V(PACK_SKIP_PIXELS, 1), V(PACK_ALIGNMENT, 1), V(MAP_COLOR, 1), V(MAP_STENCIL, 1), V(INDEX_SHIFT, 1),
    V(INDEX_OFFSET, 1), V(RED_SCALE, 1), V(RED_BIAS, 1), V(GREEN_SCALE, 1), V(GREEN_BIAS, 1), V(BLUE_SCALE, 1),
    V(BLUE_BIAS, 1), V(ALPHA_SCALE, 1), V(ALPHA_BIAS, 1), V(DEPTH_SCALE, 1), V(DEPTH_BIAS, 1), V(ZOOM_X, 1),
    V(ZOOM_Y, 1), V(AUTO_NORMAL, 1), V(MAP1_GRID_DOMAIN, 2), V(MAP1_GRID_SEGMENTS, 1), V(MAP2_GRID_DOMAIN, 4),
    V(MAP2_GRID_SEGMENTS, 2), V(NAME_STACK_DEPTH, 1),
};

// The values GL leaves to the implementation: limits (at least GL's
// minimum), the depths of the window's buffers (those of its pixel format on
// our side) and the sizes and granularities of points and lines. Each is
// checked against what GL allows, never compared with OSMesa.
struct Limit {
    GLenum pname;
    int count;
    const char* name;
    float atLeast;  // every value answered at least this
};
#define L(p, n, min) {GL_##p, n, #p, min}
const Limit kLimits[] = {
    L(MAX_LIST_NESTING, 1, 64), L(MAX_EVAL_ORDER, 1, 8), L(MAX_LIGHTS, 1, 8), L(MAX_CLIP_PLANES, 1, 6),
    L(MAX_TEXTURE_SIZE, 1, 64), L(MAX_PIXEL_MAP_TABLE, 1, 32), L(MAX_ATTRIB_STACK_DEPTH, 1, 16),
    L(MAX_MODELVIEW_STACK_DEPTH, 1, 32), L(MAX_NAME_STACK_DEPTH, 1, 64), L(MAX_PROJECTION_STACK_DEPTH, 1, 2),
    L(MAX_TEXTURE_STACK_DEPTH, 1, 2), L(MAX_VIEWPORT_DIMS, 2, kWidth), L(SUBPIXEL_BITS, 1, 4),
    L(INDEX_BITS, 1, 0), L(RED_BITS, 1, 1), L(GREEN_BITS, 1, 1), L(BLUE_BITS, 1, 1), L(ALPHA_BITS, 1, 0),
    L(DEPTH_BITS, 1, 1), L(STENCIL_BITS, 1, 0), L(ACCUM_RED_BITS, 1, 0), L(ACCUM_GREEN_BITS, 1, 0),
    L(ACCUM_BLUE_BITS, 1, 0), L(ACCUM_ALPHA_BITS, 1, 0), L(AUX_BUFFERS, 1, 0), L(POINT_SIZE_RANGE, 2, 1),
    L(POINT_SIZE_GRANULARITY, 1, 0), L(LINE_WIDTH_RANGE, 2, 1), L(LINE_WIDTH_GRANULARITY, 1, 0),
};
// The strings are the implementation's own: each is there.
const GLenum kStrings[] = {GL_VENDOR, GL_RENDERER, GL_VERSION, GL_EXTENSIONS};

// Every GL 1.0 capability glIsEnabled answers for.
#define C(p) {GL_##p, 1, #p}
const Value kCaps[] = {
    C(ALPHA_TEST), C(AUTO_NORMAL), C(BLEND), C(CLIP_PLANE0), C(CLIP_PLANE1), C(CLIP_PLANE2), C(CLIP_PLANE3),
    C(CLIP_PLANE4), C(CLIP_PLANE5), C(COLOR_MATERIAL), C(CULL_FACE), C(DEPTH_TEST), C(DITHER), C(FOG),
    C(LIGHT0), C(LIGHT1), C(LIGHT2), C(LIGHT3), C(LIGHT4), C(LIGHT5), C(LIGHT6), C(LIGHT7), C(LIGHTING),
    C(LINE_SMOOTH), C(LINE_STIPPLE), C(LOGIC_OP), C(MAP1_COLOR_4), C(MAP1_INDEX), C(MAP1_NORMAL),
    C(MAP1_TEXTURE_COORD_1), C(MAP1_TEXTURE_COORD_2), C(MAP1_TEXTURE_COORD_3), C(MAP1_TEXTURE_COORD_4),
    C(MAP1_VERTEX_3), C(MAP1_VERTEX_4), C(MAP2_COLOR_4), C(MAP2_INDEX), C(MAP2_NORMAL), C(MAP2_TEXTURE_COORD_1),
    C(MAP2_TEXTURE_COORD_2), C(MAP2_TEXTURE_COORD_3), C(MAP2_TEXTURE_COORD_4), C(MAP2_VERTEX_3), C(MAP2_VERTEX_4),
    C(NORMALIZE), C(POINT_SMOOTH), C(POLYGON_SMOOTH), C(POLYGON_STIPPLE), C(SCISSOR_TEST), C(STENCIL_TEST),
    C(TEXTURE_1D), C(TEXTURE_2D), C(TEXTURE_GEN_S), C(TEXTURE_GEN_T), C(TEXTURE_GEN_R), C(TEXTURE_GEN_Q),
};
#undef C
#undef L
#undef V

// Every answer of one side: glGetFloatv, glGetIntegerv and glGetBooleanv of
// every value, glIsEnabled of every capability, the light and material
// parameters, and the error left pending (none expected), by name.
using Answers = std::map<std::string, std::vector<double>>;
Answers Ask(const Gl& gl) {
    Answers out;
    for (const Value& v : kValues) {
        GLfloat f[16] = {};
        GLint i[16] = {};
        GLboolean b[16] = {};
        gl.GetFloatv(v.pname, f);
        gl.GetIntegerv(v.pname, i);
        gl.GetBooleanv(v.pname, b);
        for (int k = 0; k < v.count; ++k) {
            out[std::string(v.name) + " f"].push_back(f[k]);
            out[std::string(v.name) + " i"].push_back(i[k]);
            out[std::string(v.name) + " b"].push_back(b[k]);
        }
    }
    for (const Value& c : kCaps) out[std::string("IsEnabled ") + c.name].push_back(gl.IsEnabled(c.pname));
    static const std::pair<GLenum, int> kLightParams[] = {{GL_AMBIENT, 4},       {GL_DIFFUSE, 4},
                                                          {GL_SPECULAR, 4},      {GL_POSITION, 4},
                                                          {GL_SPOT_DIRECTION, 3}, {GL_SPOT_EXPONENT, 1},
                                                          {GL_SPOT_CUTOFF, 1},   {GL_CONSTANT_ATTENUATION, 1},
                                                          {GL_LINEAR_ATTENUATION, 1}, {GL_QUADRATIC_ATTENUATION, 1}};
    for (GLenum light : {GL_LIGHT0, GL_LIGHT1})
        for (const auto& [pname, n] : kLightParams) {
            GLfloat f[4] = {};
            gl.GetLightfv(light, pname, f);
            out["Light" + std::to_string(light - GL_LIGHT0) + " " + std::to_string(pname)].assign(f, f + n);
        }
    static const std::pair<GLenum, int> kMaterialParams[] = {
        {GL_AMBIENT, 4}, {GL_DIFFUSE, 4}, {GL_SPECULAR, 4}, {GL_EMISSION, 4}, {GL_SHININESS, 1}};
    for (GLenum face : {GL_FRONT, GL_BACK})
        for (const auto& [pname, n] : kMaterialParams) {
            GLfloat f[4] = {};
            gl.GetMaterialfv(face, pname, f);
            out["Material" + std::to_string(face) + " " + std::to_string(pname)].assign(f, f + n);
        }
    out["GetError"].push_back(gl.GetError());
    return out;
}

// Answers not compared with the reference, each for a stated reason:
// where the reference departs from GL 1.0 (ours is then checked against
// GL's rule instead), and our own known difference.
struct Apart {
    const char* name;
    const char* why;
};
const Apart kApart[] = {
    // glGetIntegerv of a matrix: the reference maps its elements as it
    // maps colours (1.0 to the largest integer), where GL 1.0 converts them
    // as other floats. Ours: checked against its floats rounded to the
    // nearest integer, the conversion below.
    {"MODELVIEW_MATRIX i", "reference maps matrix elements like colours"},
    {"PROJECTION_MATRIX i", "reference maps matrix elements like colours"},
    {"TEXTURE_MATRIX i", "reference maps matrix elements like colours"},
};
bool IsApart(const std::string& name) {
    for (const Apart& a : kApart)
        if (name == a.name) return true;
    return false;
}

// The names whose answers differ (beyond float rounding), with both; the
// matrices' integer answers are checked against ours as floats. Every
// other integer answer is the reference's: GL 1.0 rounds a float to the
// nearest integer for glGetIntegerv.
std::string Differences(const Answers& ours, const Answers& reference) {
    std::ostringstream os;
    for (const char* m : {"MODELVIEW_MATRIX", "PROJECTION_MATRIX", "TEXTURE_MATRIX"}) {
        const std::vector<double>& f = ours.at(std::string(m) + " f");
        const std::vector<double>& i = ours.at(std::string(m) + " i");
        for (std::size_t k = 0; k < f.size(); ++k)
            if (i[k] != std::round(f[k])) os << m << " i: ours " << i[k] << " for " << f[k] << "\n";
    }
    for (const auto& [name, want] : reference) {
        if (IsApart(name)) continue;
        const auto it = ours.find(name);
        const std::vector<double> got = it != ours.end() ? it->second : std::vector<double>{};
        bool same = got.size() == want.size();
        for (std::size_t k = 0; same && k < want.size(); ++k)
            same = std::fabs(got[k] - want[k]) <= 1e-5 * std::max(1.0, std::fabs(want[k]));
        if (same) continue;
        os << name << ": ours";
        for (double d : got) os << " " << d;
        os << ", reference";
        for (double d : want) os << " " << d;
        os << "\n";
    }
    return os.str();
}

class AppQueries : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        if (HasFatalFailure()) return;
        mesa_ = std::make_unique<Reference>();
        ASSERT_TRUE(mesa_->ok()) << mesa_->error();
    }
    void TearDown() override {
        mesa_.reset();
        AppTest::TearDown();
    }
    std::unique_ptr<Reference> mesa_;
};

TEST_F(AppQueries, InitialStateAsReference) {
    EXPECT_EQ(Differences(Ask(gl_), Ask(mesa_->gl())), "");
    for (const Limit& l : kLimits) {
        GLfloat f[2] = {};
        gl_.GetFloatv(l.pname, f);
        // A range holds 1 (its smallest size at most 1, its largest at least).
        if (l.pname == GL_POINT_SIZE_RANGE || l.pname == GL_LINE_WIDTH_RANGE) {
            EXPECT_GE(f[0], 0.0f) << l.name;
            EXPECT_LE(f[0], 1.0f) << l.name;
            EXPECT_GE(f[1], 1.0f) << l.name;
            continue;
        }
        for (int k = 0; k < l.count; ++k) EXPECT_GE(f[k], l.atLeast) << l.name;
    }
    // The depths of the buffers are the pixel format's.
    GLint bits[4] = {};
    for (int k = 0; const GLenum p : {GL_RED_BITS, GL_GREEN_BITS, GL_BLUE_BITS, GL_DEPTH_BITS}) gl_.GetIntegerv(p, &bits[k++]);
    EXPECT_EQ(bits[0], pfd_.cRedBits);
    EXPECT_EQ(bits[1], pfd_.cGreenBits);
    EXPECT_EQ(bits[2], pfd_.cBlueBits);
    EXPECT_EQ(bits[3], pfd_.cDepthBits);
    for (const GLenum s : kStrings) {
        const GLubyte* text = gl_.GetString(s);
        EXPECT_NE(text, nullptr) << s;
    }
    EXPECT_EQ(gl_.GetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// A state change of each kind, applied in order on both sides (each on top
// of the ones before it); after each, every answer compared.
struct Change {
    const char* name;
    std::function<void(const Gl&)> apply;
};
const std::vector<Change>& Changes() {
    static const std::vector<Change> changes = {
        {"current vertex attributes",
         [](const Gl& gl) {
             gl.Color4f(0.25f, 0.5f, 0.75f, 0.125f);
             gl.Normal3f(0.0f, 0.6f, 0.8f);
             gl.TexCoord2f(0.75f, 0.25f);
         }},
        // Unsigned integers of 2^31 and above are fractions above 1/2, not negatives.
        {"unsigned colours from 2^31 up",
         [](const Gl& gl) { gl.Color4ui(0x80000000u, 0xFFFFFFFFu, 0xC0000000u, 0x7FFFFFFFu); }},
        {"unsigned colour vectors from 2^31 up",
         [](const Gl& gl) {
             const GLuint c[4] = {0xFFFFFFFEu, 0x80000001u, 0x40000000u, 0xE0000000u};
             gl.Color4uiv(c);
             gl.Color3ui(0xA0000000u, 0x10000000u, 0xF0000000u);
         }},
        {"raster position", [](const Gl& gl) { gl.RasterPos3f(10.0f, 20.0f, 0.5f); }},
        {"materials between Begin and End",
         [](const Gl& gl) {
             gl.Begin(GL_POINTS);
             gl.Materialf(GL_FRONT, GL_SHININESS, 20.0f);
             gl.Materiali(GL_BACK, GL_SHININESS, 33);
             gl.Vertex2f(1.0f, 1.0f);
             gl.Materiali(GL_FRONT_AND_BACK, GL_SHININESS, 7);
             gl.Materialf(GL_BACK, GL_SHININESS, 45.0f);
             gl.Vertex2f(2.0f, 1.0f);
             gl.End();
         }},
        {"raster position clipped", [](const Gl& gl) { gl.RasterPos2f(5.0f, 5.0f); }},
        {"points and lines",
         [](const Gl& gl) {
             gl.PointSize(3.0f);
             gl.LineWidth(2.0f);
             gl.LineStipple(3, 0xF0F0);
             gl.Enable(GL_LINE_STIPPLE);
             gl.Enable(GL_POINT_SMOOTH);
             gl.Enable(GL_LINE_SMOOTH);
         }},
        {"polygons",
         [](const Gl& gl) {
             gl.PolygonMode(GL_FRONT, GL_LINE);
             gl.PolygonMode(GL_BACK, GL_POINT);
             gl.CullFace(GL_FRONT);
             gl.Enable(GL_CULL_FACE);
             gl.FrontFace(GL_CW);
             gl.Enable(GL_POLYGON_STIPPLE);
         }},
        {"shading", [](const Gl& gl) { gl.ShadeModel(GL_FLAT); }},
        {"lighting",
         [](const Gl& gl) {
             const float amb[] = {0.1f, 0.2f, 0.3f, 1.0f}, pos[] = {1, 2, 3, 1}, dir[] = {0, 0, -1},
                         diff[] = {0.5f, 0.4f, 0.3f, 0.2f};
             gl.Enable(GL_LIGHTING);
             gl.Enable(GL_LIGHT1);
             gl.LightModelfv(GL_LIGHT_MODEL_AMBIENT, amb);
             gl.LightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
             gl.LightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
             gl.Lightfv(GL_LIGHT1, GL_POSITION, pos);
             gl.Lightfv(GL_LIGHT1, GL_SPOT_DIRECTION, dir);
             gl.Lightfv(GL_LIGHT1, GL_DIFFUSE, diff);
             gl.Lightf(GL_LIGHT1, GL_SPOT_CUTOFF, 45.0f);
             gl.Lightf(GL_LIGHT1, GL_SPOT_EXPONENT, 2.0f);
             gl.Lightf(GL_LIGHT1, GL_LINEAR_ATTENUATION, 0.5f);
         }},
        {"lights under a matrix",
         [](const Gl& gl) {
             const float pos[] = {1, 0, 0, 0}, dir[] = {0, 1, 0};
             gl.PushMatrix();
             gl.Rotatef(90.0f, 0, 0, 1);
             gl.Translatef(1, 2, 3);
             gl.Lightfv(GL_LIGHT0, GL_POSITION, pos);
             gl.Lightfv(GL_LIGHT0, GL_SPOT_DIRECTION, dir);
             gl.PopMatrix();
         }},
        {"materials",
         [](const Gl& gl) {
             const float spec[] = {0.3f, 0.3f, 0.3f, 1}, emit[] = {0.1f, 0, 0, 1}, amb[] = {0.4f, 0.3f, 0.2f, 1};
             gl.Materialfv(GL_FRONT, GL_SPECULAR, spec);
             gl.Materialfv(GL_BACK, GL_EMISSION, emit);
             gl.Materialfv(GL_FRONT_AND_BACK, GL_AMBIENT, amb);
             gl.Materialf(GL_FRONT, GL_SHININESS, 32.0f);
         }},
        {"colour material",
         [](const Gl& gl) {
             gl.ColorMaterial(GL_BACK, GL_SPECULAR);
             gl.Enable(GL_COLOR_MATERIAL);
             gl.Color3f(0.9f, 0.8f, 0.7f);
         }},
        {"fog",
         [](const Gl& gl) {
             const float colour[] = {0.5f, 0.6f, 0.7f, 0.8f};
             gl.Enable(GL_FOG);
             gl.Fogi(GL_FOG_MODE, GL_LINEAR);
             gl.Fogf(GL_FOG_START, 2.0f);
             gl.Fogf(GL_FOG_END, 20.0f);
             gl.Fogf(GL_FOG_DENSITY, 0.5f);
             gl.Fogf(GL_FOG_INDEX, 3.0f);
             gl.Fogfv(GL_FOG_COLOR, colour);
         }},
        {"depth",
         [](const Gl& gl) {
             gl.Enable(GL_DEPTH_TEST);
             gl.DepthFunc(GL_GEQUAL);
             gl.DepthMask(GL_FALSE);
             gl.DepthRange(0.25, 0.75);
             gl.ClearDepth(0.5);
         }},
        {"depth range clamped", [](const Gl& gl) { gl.DepthRange(-1.0, 2.0); }},
        {"stencil",
         [](const Gl& gl) {
             gl.Enable(GL_STENCIL_TEST);
             gl.StencilFunc(GL_NOTEQUAL, 3, 0x0F);
             gl.StencilOp(GL_INCR, GL_DECR, GL_INVERT);
             gl.StencilMask(0x3C);
             gl.ClearStencil(7);
         }},
        {"alpha, blending and logic op",
         [](const Gl& gl) {
             gl.Enable(GL_ALPHA_TEST);
             gl.AlphaFunc(GL_GREATER, 0.4f);
             gl.Enable(GL_BLEND);
             gl.BlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
             gl.LogicOp(GL_XOR);
             gl.Disable(GL_DITHER);
         }},
        {"alpha reference clamped", [](const Gl& gl) { gl.AlphaFunc(GL_LESS, 1.5f); }},
        {"masks and clear values",
         [](const Gl& gl) {
             gl.ColorMask(GL_TRUE, GL_FALSE, GL_TRUE, GL_FALSE);
             gl.ClearColor(0.1f, 0.2f, 0.3f, 0.4f);
             gl.ClearAccum(-0.5f, 0.5f, 0.25f, 1.0f);
             gl.ClearIndex(5.0f);
         }},
        {"viewport and scissor",
         [](const Gl& gl) {
             gl.Viewport(10, 20, 100, 50);
             gl.Scissor(5, 6, 70, 80);
             gl.Enable(GL_SCISSOR_TEST);
         }},
        {"matrices",
         [](const Gl& gl) {
             gl.MatrixMode(GL_PROJECTION);
             gl.Frustum(-1, 1, -1, 1, 1, 10);
             gl.PushMatrix();
             gl.MatrixMode(GL_TEXTURE);
             gl.Scalef(2, 3, 4);
             gl.MatrixMode(GL_MODELVIEW);
             gl.PushMatrix();
             gl.PushMatrix();
             gl.Rotatef(30, 1, 1, 0);
             gl.Translatef(1, -2, 3);
         }},
        {"matrices popped", [](const Gl& gl) { gl.PopMatrix(); }},
        {"hints",
         [](const Gl& gl) {
             gl.Hint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
             gl.Hint(GL_FOG_HINT, GL_FASTEST);
             gl.Hint(GL_LINE_SMOOTH_HINT, GL_NICEST);
         }},
        {"pixel store, transfer and zoom",
         [](const Gl& gl) {
             gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
             gl.PixelStorei(GL_UNPACK_ROW_LENGTH, 17);
             gl.PixelStorei(GL_PACK_SKIP_ROWS, 3);
             gl.PixelStorei(GL_PACK_LSB_FIRST, 1);
             gl.PixelTransferf(GL_RED_SCALE, 0.5f);
             gl.PixelTransferf(GL_DEPTH_BIAS, 0.25f);
             gl.PixelTransferf(GL_INDEX_SHIFT, 2.0f);
             gl.PixelTransferf(GL_MAP_COLOR, 1.0f);
             gl.PixelZoom(2.0f, -1.5f);
         }},
        {"buffers", [](const Gl& gl) {
             gl.DrawBuffer(GL_FRONT_AND_BACK);
             gl.ReadBuffer(GL_FRONT);
         }},
        {"list base", [](const Gl& gl) { gl.ListBase(40); }},
        // Floats between integers: glGetIntegerv rounds them to the nearest.
        {"values between integers",
         [](const Gl& gl) {
             gl.PointSize(2.75f);
             gl.LineWidth(1.375f);
             gl.Fogf(GL_FOG_START, 2.625f);
             gl.Fogf(GL_FOG_END, 9.5f);
             gl.Fogf(GL_FOG_INDEX, 3.75f);
             gl.PixelZoom(1.75f, -2.625f);
             gl.PixelTransferf(GL_RED_BIAS, 0.75f);
             gl.Color4f(0.3f, 0.7f, -0.6f, 0.9f);
             gl.RasterPos3f(10.75f, 20.375f, 0.5f);
         }},
        // The mask as given, whatever the format's index bits (none here).
        {"index write mask", [](const Gl& gl) { gl.IndexMask(0x5A3); }},
        {"texture enables and environment",
         [](const Gl& gl) {
             gl.Enable(GL_TEXTURE_2D);
             gl.Enable(GL_TEXTURE_GEN_S);
             gl.TexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
         }},
        {"normalize and evaluators",
         [](const Gl& gl) {
             gl.Enable(GL_NORMALIZE);
             gl.Enable(GL_AUTO_NORMAL);
             gl.Enable(GL_MAP2_VERTEX_3);
         }},
        {"an invalid call changes nothing",
         [](const Gl& gl) {
             gl.LineWidth(-1.0f);
             gl.DepthFunc(0x1234);
             gl.Viewport(0, 0, -5, 5);
             gl.GetError();
         }},
        {"state set in a list is set when the list runs",
         [](const Gl& gl) {
             const GLuint list = gl.GenLists(1);
             gl.NewList(list, GL_COMPILE);
             gl.ShadeModel(GL_SMOOTH);
             gl.PointSize(5.0f);
             gl.Color3f(0.1f, 0.2f, 0.3f);
             gl.EndList();
             gl.CallList(list);
             gl.DeleteLists(list, 1);
         }},
        {"disabled again",
         [](const Gl& gl) {
             for (GLenum cap : {GL_LIGHTING, GL_FOG, GL_DEPTH_TEST, GL_STENCIL_TEST, GL_BLEND, GL_SCISSOR_TEST,
                                GL_CULL_FACE, GL_TEXTURE_2D, GL_ALPHA_TEST})
                 gl.Disable(cap);
         }},
    };
    return changes;
}

TEST_F(AppQueries, EveryStateChangeAsReference) {
    for (const Change& c : Changes()) {
        c.apply(gl_);
        c.apply(mesa_->gl());
        EXPECT_EQ(Differences(Ask(gl_), Ask(mesa_->gl())), "") << "after: " << c.name;
    }
}

// An invalid call of each kind: the errors glGetError then reports, in
// order, on both sides (the first error is kept until read).
struct Invalid {
    const char* name;
    std::function<void(const Gl&)> call;
};
const std::vector<Invalid>& Invalids() {
    static const std::vector<Invalid> calls = {
        {"Enable of no capability", [](const Gl& gl) { gl.Enable(0x1234); }},
        {"MatrixMode of no stack", [](const Gl& gl) { gl.MatrixMode(GL_TEXTURE + 1); }},
        {"DepthFunc of no function", [](const Gl& gl) { gl.DepthFunc(GL_ZERO); }},
        {"ShadeModel of no model", [](const Gl& gl) { gl.ShadeModel(GL_LINE); }},
        {"Begin of no mode", [](const Gl& gl) { gl.Begin(0x1234); }},
        {"StencilOp of no operation", [](const Gl& gl) { gl.StencilOp(GL_KEEP, GL_ONE, GL_KEEP); }},
        {"Hint of no target", [](const Gl& gl) { gl.Hint(GL_DEPTH_TEST, GL_NICEST); }},
        {"PolygonMode of no face", [](const Gl& gl) { gl.PolygonMode(GL_LEFT, GL_FILL); }},
        {"Fog of no mode", [](const Gl& gl) { gl.Fogi(GL_FOG_MODE, GL_LINE); }},
        {"NewList of no mode", [](const Gl& gl) { gl.NewList(1, GL_FILL); }},
        {"Lightfv of no light", [](const Gl& gl) {
             const float v[4] = {};
             gl.Lightfv(GL_LIGHT0 + 8, GL_DIFFUSE, v);
         }},
        {"GetFloatv of no value", [](const Gl& gl) {
             GLfloat f[16] = {};
             gl.GetFloatv(0x1234, f);
         }},
        {"LineWidth 0", [](const Gl& gl) { gl.LineWidth(0.0f); }},
        {"PointSize negative", [](const Gl& gl) { gl.PointSize(-2.0f); }},
        {"Viewport of negative width", [](const Gl& gl) { gl.Viewport(0, 0, -1, 10); }},
        {"Scissor of negative height", [](const Gl& gl) { gl.Scissor(0, 0, 10, -1); }},
        {"GenLists of a negative range", [](const Gl& gl) { gl.GenLists(-1); }},
        {"NewList 0", [](const Gl& gl) { gl.NewList(0, GL_COMPILE); }},
        {"spot exponent above 128", [](const Gl& gl) { gl.Lightf(GL_LIGHT0, GL_SPOT_EXPONENT, 200.0f); }},
        {"spot cutoff of 100", [](const Gl& gl) { gl.Lightf(GL_LIGHT0, GL_SPOT_CUTOFF, 100.0f); }},
        {"shininess above 128", [](const Gl& gl) { gl.Materialf(GL_FRONT, GL_SHININESS, 129.0f); }},
        {"negative fog density", [](const Gl& gl) { gl.Fogf(GL_FOG_DENSITY, -1.0f); }},
        {"Bitmap of negative width", [](const Gl& gl) { gl.Bitmap(-1, 1, 0, 0, 0, 0, nullptr); }},
        {"EndList outside a list", [](const Gl& gl) { gl.EndList(); }},
        {"NewList inside a list", [](const Gl& gl) {
             gl.NewList(50, GL_COMPILE);
             gl.NewList(51, GL_COMPILE);
             gl.EndList();
         }},
        {"PopMatrix of an empty stack", [](const Gl& gl) { gl.PopMatrix(); }},
        {"PushMatrix beyond the stack", [](const Gl& gl) {
             GLint depth = 0;
             gl.GetIntegerv(GL_MAX_PROJECTION_STACK_DEPTH, &depth);
             gl.MatrixMode(GL_PROJECTION);
             for (GLint k = 0; k < depth; ++k) gl.PushMatrix();
             for (GLint k = 0; k < depth; ++k) gl.PopMatrix();
             gl.MatrixMode(GL_MODELVIEW);
         }},
        {"End without Begin", [](const Gl& gl) { gl.End(); }},
        {"Begin inside Begin", [](const Gl& gl) {
             gl.Begin(GL_POINTS);
             gl.Begin(GL_LINES);
             gl.End();
         }},
        {"state changes inside Begin/End", [](const Gl& gl) {
             gl.Begin(GL_TRIANGLES);
             gl.Enable(GL_BLEND);
             gl.DepthFunc(GL_EQUAL);
             gl.Viewport(0, 0, 1, 1);
             gl.End();
         }},
        {"matrix and list calls inside Begin/End", [](const Gl& gl) {
             gl.Begin(GL_LINES);
             gl.PushMatrix();
             gl.GenLists(1);
             gl.End();
         }},
        {"queries inside Begin/End", [](const Gl& gl) {
             GLint v[16] = {};
             gl.Begin(GL_POINTS);
             gl.GetIntegerv(GL_SHADE_MODEL, v);
             gl.IsEnabled(GL_BLEND);
             gl.End();
         }},
        {"Finish and Flush inside Begin/End", [](const Gl& gl) {
             gl.Begin(GL_POINTS);
             gl.Finish();
             gl.Flush();
             gl.End();
         }},
        {"the first of two errors kept", [](const Gl& gl) {
             gl.LineWidth(-1.0f);
             gl.Enable(0x1234);
         }},
    };
    return calls;
}

std::vector<GLenum> Errors(const Gl& gl) {
    std::vector<GLenum> out;
    for (GLenum e = gl.GetError(); e != GL_NO_ERROR && out.size() < 8; e = gl.GetError()) out.push_back(e);
    return out;
}

TEST_F(AppQueries, ErrorsAsReference) {
    for (const Invalid& c : Invalids()) {
        c.call(gl_);
        const std::vector<GLenum> ours = Errors(gl_);
        c.call(mesa_->gl());
        const std::vector<GLenum> reference = Errors(mesa_->gl());
        EXPECT_EQ(ours, reference) << c.name;
        EXPECT_FALSE(reference.empty()) << c.name << ": the reference reports no error";
    }
    // Nothing of the invalid calls changed the state.
    EXPECT_EQ(Differences(Ask(gl_), Ask(mesa_->gl())), "");
}

// GL_SUBPIXEL_BITS on each machine: the bits below the pixel that place
// rasterized geometry. A board the test configures takes window positions
// in 28.4 (4 bits); vnxsim's board takes them in whole pixels (none), so
// that an application learns its vertices are snapped to the pixel grid.
class SubpixelBits : public AppTest, public ::testing::WithParamInterface<Machine> {
  protected:
    Wants Wanted() const override {
        Wants w;
        w.machine = GetParam();
        return w;
    }
};

TEST_P(SubpixelBits, AnswersTheBoardsPositionGrid) {
    const GLint expected = GetParam().configured ? 4 : 0;
    GLint i = -1;
    GLfloat f = -1.0f;
    GLboolean b = 2;
    gl_.GetIntegerv(GL_SUBPIXEL_BITS, &i);
    gl_.GetFloatv(GL_SUBPIXEL_BITS, &f);
    gl_.GetBooleanv(GL_SUBPIXEL_BITS, &b);
    EXPECT_EQ(i, expected);
    EXPECT_EQ(f, static_cast<GLfloat>(expected));
    EXPECT_EQ(b, expected != 0 ? GL_TRUE : GL_FALSE);
    EXPECT_EQ(gl_.GetError(), static_cast<GLenum>(GL_NO_ERROR));
}

INSTANTIATE_TEST_SUITE_P(Machines, SubpixelBits, ::testing::ValuesIn(glmachines::kMachines),
                         [](const ::testing::TestParamInfo<Machine>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace glapp_tests
