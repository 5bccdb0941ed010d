// Selection and feedback as applications use them: what glRenderMode
// answers and what the application's buffer holds afterwards, compared
// with OSMesa running the same calls (hit records: counts and names exact,
// depths within a tolerance; feedback values within a float tolerance),
// overflows included, and nothing written past the buffer's end. Then the
// name stack outside selection mode, which GL leaves alone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app_gl.h"

namespace glapp_tests {
namespace {

// A row: the mode, the feedback type, the buffer's size in values, the
// drawing done in that mode, and how far a value may differ (feedback: in
// its own units; selection: a depth as a fraction of the full range).
struct Capture {
    const char* name;
    GLenum mode;
    GLenum type;
    int size;
    void (*draw)(const Gl&);
    double tolerance;
    const char* fault = nullptr;  // a known fault the row shows: skipped naming it
};
inline void PrintTo(const Capture& c, std::ostream* os) { *os << c.name; }

// A few points with their colours and texture coordinates at three depths.
void Points(const Gl& gl) {
    gl.Begin(GL_POINTS);
    gl.Color4f(1, 0, 0, 1), gl.TexCoord2f(0.25f, 0.5f), gl.Vertex3f(10.5f, 20.25f, 0.5f);
    gl.Color4f(0, 1, 0, 0.5f), gl.TexCoord4f(1, 2, 3, 2), gl.Vertex3f(100, 150, -0.25f);
    gl.Color3f(0.2f, 0.4f, 0.8f), gl.TexCoord1f(0.75f), gl.Vertex2f(250, 5);
    gl.End();
}

// Independent lines, a strip and a loop (each begins with a reset of the
// stipple: the reset token), colour per vertex.
void Lines(const Gl& gl) {
    gl.Begin(GL_LINES);
    gl.Color3f(1, 0, 0), gl.Vertex2f(10, 10);
    gl.Color3f(0, 1, 0), gl.Vertex2f(200, 30);
    gl.Color3f(0, 0, 1), gl.Vertex3f(30, 40, 0.5f);
    gl.Color3f(1, 1, 0), gl.Vertex3f(60, 180, -0.5f);
    gl.End();
    gl.Begin(GL_LINE_STRIP);
    gl.TexCoord2f(0, 0), gl.Vertex2f(100, 100);
    gl.TexCoord2f(1, 0), gl.Vertex2f(150, 120);
    gl.TexCoord2f(1, 1), gl.Vertex2f(160, 170);
    gl.End();
    gl.Begin(GL_LINE_LOOP);
    gl.Color3f(1, 1, 1);
    gl.Vertex2f(200, 100), gl.Vertex2f(240, 110), gl.Vertex2f(220, 150);
    gl.End();
}

// Triangles, each a polygon of three vertices; then a back-facing one culled.
void Triangles(const Gl& gl) {
    gl.ShadeModel(GL_SMOOTH);
    gl.Begin(GL_TRIANGLES);
    gl.Color3f(1, 0, 0), gl.TexCoord2f(0, 0), gl.Vertex3f(10, 10, 0.25f);
    gl.Color3f(0, 1, 0), gl.TexCoord2f(1, 0), gl.Vertex3f(120, 20, 0.5f);
    gl.Color3f(0, 0, 1), gl.TexCoord2f(0, 1), gl.Vertex3f(50, 110, -0.5f);
    gl.Color4f(1, 1, 0, 0.25f), gl.Vertex2f(130, 30);
    gl.Vertex2f(240, 60);
    gl.Vertex2f(150, 120);
    gl.End();
}
void TrianglesCulled(const Gl& gl) {
    Triangles(gl);
    gl.Enable(GL_CULL_FACE);
    gl.Begin(GL_TRIANGLES);  // clockwise: back-facing, culled
    gl.Vertex2f(10, 150), gl.Vertex2f(40, 180), gl.Vertex2f(60, 150);
    gl.End();
    gl.Disable(GL_CULL_FACE);
}

// The pixel primitives: a bitmap, a pixel rectangle and a copy, each a
// token and the raster position as a vertex; a bitmap of no size and a
// bitmap at an invalid raster position (no token).
void PixelTokens(const Gl& gl) {
    static const GLubyte kBits[8] = {0xFF, 0x81, 0x81, 0x81, 0x81, 0x81, 0x81, 0xFF};
    gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.Color3f(0.5f, 0.25f, 1);
    gl.TexCoord2f(0.5f, 0.75f);
    gl.RasterPos3f(20, 30, 0.5f);
    gl.Bitmap(8, 8, 0, 0, 10, 2, kBits);
    gl.Bitmap(0, 0, 0, 0, 5, 5, nullptr);
    const GLubyte pixels[4 * 4] = {};
    gl.RasterPos2f(100, 40);
    gl.DrawPixels(2, 2, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    gl.RasterPos2f(60, 120);
    gl.CopyPixels(0, 0, 4, 4, GL_COLOR);
    gl.RasterPos2f(-10, 40);  // invalid: no tokens
    gl.Bitmap(8, 8, 0, 0, 10, 2, kBits);
}

// Pass-through tokens between primitives.
void PassThrough(const Gl& gl) {
    gl.PassThrough(1.0f);
    gl.Begin(GL_POINTS);
    gl.Vertex2f(10, 10);
    gl.End();
    gl.PassThrough(-2.5f);
    gl.PassThrough(1e6f);
    gl.Begin(GL_LINES);
    gl.Vertex2f(10, 10), gl.Vertex2f(20, 30);
    gl.End();
    gl.PassThrough(3.0f);
}

// Lit triangles in perspective: the lit colours and the perspective w.
void LitPerspective(const Gl& gl) {
    gl.MatrixMode(GL_PROJECTION);
    gl.LoadIdentity();
    gl.Frustum(-1, 1, -0.75, 0.75, 1, 10);
    gl.MatrixMode(GL_MODELVIEW);
    gl.LoadIdentity();
    gl.Enable(GL_LIGHTING);
    gl.Enable(GL_LIGHT0);
    const float diffuse[] = {0.8f, 0.5f, 0.2f, 1};
    gl.Materialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, diffuse);
    gl.Begin(GL_TRIANGLES);
    gl.Normal3f(0, 0, 1), gl.TexCoord2f(0, 0), gl.Vertex3f(-1, -1, -3);
    gl.Normal3f(0.6f, 0, 0.8f), gl.TexCoord2f(1, 0), gl.Vertex3f(1, -0.5f, -4);
    gl.Normal3f(0, 0.6f, 0.8f), gl.TexCoord2f(0, 1), gl.Vertex3f(0, 1, -5);
    gl.End();
}

// Many points: more values than the buffer holds.
void ManyPoints(const Gl& gl) {
    gl.Begin(GL_POINTS);
    for (int k = 0; k < 20; ++k) gl.Vertex2f(5.0f + 10 * k, 7.0f + 5 * k);
    gl.End();
}

// Named objects: nested names, loaded names, objects at several depths,
// one wholly outside the view (no hit), a raster position (a hit), names
// changed with nothing drawn (no record).
void NamedObjects(const Gl& gl) {
    gl.InitNames();
    gl.PushName(1);
    gl.Begin(GL_TRIANGLES);
    gl.Vertex3f(10, 10, 0.5f), gl.Vertex3f(100, 10, 0.25f), gl.Vertex3f(50, 90, 0.75f);
    gl.End();
    gl.LoadName(2);
    gl.Rectf(120, 20, 200, 80);
    gl.PushName(3);
    gl.Begin(GL_POINTS);
    gl.Vertex3f(30, 150, -0.5f);
    gl.End();
    gl.LoadName(4);  // nothing drawn under this name
    gl.LoadName(5);
    gl.Begin(GL_LINES);
    gl.Vertex2f(300, 10), gl.Vertex2f(400, 20);  // outside: no hit
    gl.End();
    gl.PopName();
    gl.PushName(6);
    gl.RasterPos3f(60, 60, -0.25f);
    gl.PopName();
    gl.PopName();
    gl.Begin(GL_LINES);  // an empty stack: a record of no names
    gl.Vertex3f(10, 100, 0.9f), gl.Vertex3f(200, 110, 0.1f);
    gl.End();
}

// Two primitives under one name at different depths: one record spanning
// both.
void OneNameTwoPrimitives(const Gl& gl) {
    gl.InitNames();
    gl.PushName(7);
    gl.Begin(GL_TRIANGLES);
    gl.Vertex3f(10, 10, 0.5f), gl.Vertex3f(100, 10, 0.5f), gl.Vertex3f(50, 90, 0.5f);
    gl.End();
    gl.Begin(GL_TRIANGLES);
    gl.Vertex3f(10, 10, -0.75f), gl.Vertex3f(100, 10, 0.8f), gl.Vertex3f(50, 90, 0.0f);
    gl.End();
    gl.LoadName(8);
}

// Hits clipped by the view: a triangle crossing the window's edge hits with
// the depths of what is inside.
void ClippedHit(const Gl& gl) {
    gl.InitNames();
    gl.PushName(9);
    gl.Begin(GL_TRIANGLES);
    gl.Vertex3f(-100, 50, -0.9f), gl.Vertex3f(100, 50, 0.0f), gl.Vertex3f(100, 100, 0.0f);
    gl.End();
}

// Culled polygons make no hit: a back-facing triangle and quad under their
// own names, then a front-facing triangle under another.
void CulledHits(const Gl& gl) {
    gl.InitNames();
    gl.Enable(GL_CULL_FACE);
    gl.PushName(10);
    gl.Begin(GL_TRIANGLES);  // clockwise: back-facing
    gl.Vertex3f(10, 150, 0.5f), gl.Vertex3f(40, 180, 0.5f), gl.Vertex3f(60, 150, 0.5f);
    gl.End();
    gl.LoadName(11);
    gl.Begin(GL_QUADS);  // clockwise, crossing the window's edge
    gl.Vertex2f(-20, 10), gl.Vertex2f(-20, 60), gl.Vertex2f(40, 60), gl.Vertex2f(40, 10);
    gl.End();
    gl.LoadName(12);
    gl.Begin(GL_TRIANGLES);
    gl.Vertex3f(10, 10, 0.25f), gl.Vertex3f(100, 10, 0.5f), gl.Vertex3f(50, 90, 0.5f);
    gl.End();
    gl.Disable(GL_CULL_FACE);
}

// A user clip plane (x >= 100): segments reported from where they cross
// it, points beyond it left out; selecting, a triangle across it hits with
// the depths of its part inside.
void PlaneCut(const Gl& gl) {
    const double plane[] = {1, 0, 0, -100};
    gl.ClipPlane(GL_CLIP_PLANE0, plane);
    gl.Enable(GL_CLIP_PLANE0);
    gl.Begin(GL_LINES);
    gl.Color3f(1, 0, 0), gl.Vertex2f(40, 100);
    gl.Color3f(0, 0, 1), gl.Vertex2f(240, 100);
    gl.Color3f(0, 1, 0), gl.Vertex3f(200, 20, 0.5f);
    gl.Color3f(1, 1, 0), gl.Vertex3f(20, 60, -0.5f);
    gl.End();
    gl.Begin(GL_LINE_STRIP);
    gl.Vertex2f(150, 150), gl.Vertex2f(50, 170), gl.Vertex2f(150, 190);
    gl.End();
    gl.Begin(GL_POINTS);
    gl.Vertex2f(99, 10), gl.Vertex2f(101, 10), gl.Vertex2f(100, 20);
    gl.End();
    gl.Disable(GL_CLIP_PLANE0);
}
void PlaneCutHit(const Gl& gl) {
    gl.InitNames();
    gl.PushName(13);
    const double plane[] = {1, 0, 0, -100};
    gl.ClipPlane(GL_CLIP_PLANE0, plane);
    gl.Enable(GL_CLIP_PLANE0);
    gl.Begin(GL_TRIANGLES);
    gl.Vertex3f(0, 50, -0.9f), gl.Vertex3f(200, 50, 0.5f), gl.Vertex3f(200, 100, 0.5f);
    gl.End();
    gl.Disable(GL_CLIP_PLANE0);
}

// Many named objects: more records than the buffer holds.
void ManyNames(const Gl& gl) {
    gl.InitNames();
    gl.PushName(0);
    for (GLuint k = 0; k < 10; ++k) {
        gl.LoadName(100 + k);
        gl.PushName(k);
        gl.Rectf(10.0f * k, 10, 10.0f * k + 5, 20);
        gl.PopName();
    }
}

const Capture kCaptures[] = {
    {"feedback_2d_points", GL_FEEDBACK, GL_2D, 256, Points, 1e-3},
    {"feedback_3d_points", GL_FEEDBACK, GL_3D, 256, Points, 1e-3},
    {"feedback_3d_color_points", GL_FEEDBACK, GL_3D_COLOR, 256, Points, 1e-3},
    {"feedback_3d_color_texture_points", GL_FEEDBACK, GL_3D_COLOR_TEXTURE, 256, Points, 1e-3},
    {"feedback_4d_color_texture_points", GL_FEEDBACK, GL_4D_COLOR_TEXTURE, 256, Points, 1e-3},
    {"feedback_2d_lines", GL_FEEDBACK, GL_2D, 256, Lines, 1e-3},
    {"feedback_3d_color_lines", GL_FEEDBACK, GL_3D_COLOR, 256, Lines, 1e-3},
    {"feedback_4d_color_texture_lines", GL_FEEDBACK, GL_4D_COLOR_TEXTURE, 256, Lines, 1e-3},
    {"feedback_2d_triangles", GL_FEEDBACK, GL_2D, 256, Triangles, 1e-3},
    {"feedback_3d_triangles", GL_FEEDBACK, GL_3D, 256, Triangles, 1e-3},
    {"feedback_3d_color_texture_triangles", GL_FEEDBACK, GL_3D_COLOR_TEXTURE, 256, Triangles, 1e-3},
    {"feedback_4d_color_texture_triangles", GL_FEEDBACK, GL_4D_COLOR_TEXTURE, 256, Triangles, 1e-3},
    {"feedback_3d_culled", GL_FEEDBACK, GL_3D, 256, TrianglesCulled, 1e-3},
    {"feedback_2d_clip_plane", GL_FEEDBACK, GL_2D, 256, PlaneCut, 1e-3},
    {"feedback_3d_color_clip_plane", GL_FEEDBACK, GL_3D_COLOR, 256, PlaneCut, 1e-3},
    {"feedback_3d_pixel_tokens", GL_FEEDBACK, GL_3D, 256, PixelTokens, 1e-3},
    {"feedback_4d_color_texture_pixel_tokens", GL_FEEDBACK, GL_4D_COLOR_TEXTURE, 256, PixelTokens, 1e-3},
    {"feedback_2d_pass_through", GL_FEEDBACK, GL_2D, 256, PassThrough, 1e-3},
    {"feedback_4d_color_texture_lit_perspective", GL_FEEDBACK, GL_4D_COLOR_TEXTURE, 256, LitPerspective, 1e-3},
    // 20 points of 3 values in a buffer of 25: -1, the first 25 values.
    {"feedback_overflow", GL_FEEDBACK, GL_2D, 25, ManyPoints, 1e-3},
    // A pass-through whose value does not fit.
    {"feedback_overflow_in_pass_through", GL_FEEDBACK, GL_2D, 6, PassThrough, 1e-3},
    {"select_named_objects", GL_SELECT, 0, 256, NamedObjects, 2e-4},
    {"select_one_name_two_primitives", GL_SELECT, 0, 256, OneNameTwoPrimitives, 2e-4},
    {"select_clipped_hit", GL_SELECT, 0, 256, ClippedHit, 2e-4},
    {"select_clip_plane_hit", GL_SELECT, 0, 256, PlaneCutHit, 2e-4},
    {"select_culled", GL_SELECT, 0, 256, CulledHits, 2e-4},
    // 10 records of 5 values in a buffer of 23: -1 hits, the records that fit.
    {"select_overflow", GL_SELECT, 0, 23, ManyNames, 2e-4},
};

// What one side answers: glRenderMode's result, the error left, and the
// buffer with guard values past its end.
struct Captured {
    GLint count = 0;
    GLenum error = GL_NO_ERROR;
    std::vector<std::uint32_t> words;  // size + kGuard values as bits
};
constexpr int kGuard = 16;
constexpr std::uint32_t kUntouched = 0xDEADBEEFu;

Captured Capturing(const Gl& gl, const Capture& c) {
    Pixels(gl);
    Captured out;
    out.words.assign(static_cast<std::size_t>(c.size + kGuard), kUntouched);
    if (c.mode == GL_FEEDBACK)
        gl.FeedbackBuffer(c.size, c.type, reinterpret_cast<GLfloat*>(out.words.data()));
    else
        gl.SelectBuffer(c.size, out.words.data());
    gl.RenderMode(c.mode);
    c.draw(gl);
    out.count = gl.RenderMode(GL_RENDER);
    out.error = gl.GetError();
    return out;
}

float AsFloat(std::uint32_t w) {
    float f;
    std::memcpy(&f, &w, 4);
    return f;
}

// The values both sides must agree on (all of the buffer on an overflow),
// described where they differ.
std::string Differences(const Capture& c, const Captured& ours, const Captured& ref) {
    std::ostringstream os;
    if (ours.count != ref.count) os << "RenderMode answers " << ours.count << ", reference " << ref.count << "\n";
    if (ours.error != ref.error) os << "error " << ours.error << ", reference " << ref.error << "\n";
    for (int k = c.size; k < c.size + kGuard; ++k)
        if (ours.words[static_cast<std::size_t>(k)] != kUntouched) os << "written past the buffer at " << k << "\n";
    if (!os.str().empty()) return os.str();
    if (c.mode == GL_FEEDBACK) {
        const int n = ref.count < 0 ? c.size : ref.count;
        for (int k = 0; k < n; ++k) {
            const float a = AsFloat(ours.words[static_cast<std::size_t>(k)]);
            const float b = AsFloat(ref.words[static_cast<std::size_t>(k)]);
            // The reference never writes the line reset token; GL writes it
            // for each independent line and the first segment of each strip.
            if (a == static_cast<float>(GL_LINE_RESET_TOKEN) && b == static_cast<float>(GL_LINE_TOKEN)) continue;
            if (!(std::fabs(a - b) <= c.tolerance * std::max(1.0f, std::fabs(b))))
                os << "value " << k << ": " << a << ", reference " << b << "\n";
        }
        return os.str();
    }
    // Hit records: the name count, the depth range, the names; on an
    // overflow the records as far as the buffer holds them.
    const int records = ref.count < 0 ? c.size : ref.count;
    int at = 0;
    for (int r = 0; r < records && at < c.size; ++r) {
        const std::uint32_t names = ref.words[static_cast<std::size_t>(at)];
        if (ours.words[static_cast<std::size_t>(at)] != names)
            os << "record " << r << ": " << ours.words[static_cast<std::size_t>(at)] << " names, reference " << names
               << "\n";
        for (int d = 1; d <= 2 && at + d < c.size; ++d) {
            const double a = ours.words[static_cast<std::size_t>(at + d)];
            const double b = ref.words[static_cast<std::size_t>(at + d)];
            if (std::fabs(a - b) > c.tolerance * 4294967295.0)
                os << "record " << r << (d == 1 ? " min" : " max") << " depth " << a / 4294967295.0 << ", reference "
                   << b / 4294967295.0 << "\n";
        }
        for (std::uint32_t k = 0; k < names && at + 3 + static_cast<int>(k) < c.size; ++k) {
            const std::size_t i = static_cast<std::size_t>(at + 3) + k;
            if (ours.words[i] != ref.words[i])
                os << "record " << r << " name " << k << ": " << ours.words[i] << ", reference " << ref.words[i] << "\n";
        }
        at += 3 + static_cast<int>(names);
    }
    return os.str();
}

class SelectFeedback : public AppTest, public ::testing::WithParamInterface<Capture> {};

TEST_P(SelectFeedback, MatchReference) {
    const Capture& c = GetParam();
    if (c.fault != nullptr) GTEST_SKIP() << c.name << ": known fault: " << c.fault;
    Captured ref;
    {
        Reference mesa;
        ASSERT_TRUE(mesa.ok()) << mesa.error();
        ref = Capturing(mesa.gl(), c);
        mesa.gl().Finish();
    }
    const Captured ours = Capturing(gl_, c);
    EXPECT_EQ(Differences(c, ours, ref), "");
}

INSTANTIATE_TEST_SUITE_P(Captures, SelectFeedback, ::testing::ValuesIn(kCaptures),
                         [](const ::testing::TestParamInfo<Capture>& info) { return std::string(info.param.name); });

// The name stack outside selection: a sequence of calls, then the depth
// the stack answers and the errors, compared with OSMesa's. GL ignores
// PushName, PopName and LoadName while the render mode is not GL_SELECT
// (no errors; the stack is empty outside selection), and they go into
// display lists like other commands, taking effect as the list runs.
struct NameCase {
    const char* name;
    std::function<void(const Gl&)> calls;
    int depth;                  // what GL answers after the calls
    bool selecting = false;     // the calls leave the context selecting
    const char* apart = nullptr;  // why the reference is not compared
};

GLuint gSelectBuffer[64];

const std::vector<NameCase>& NameCases() {
    static const std::vector<NameCase> cases = {
        {"PushName while rendering", [](const Gl& gl) { gl.PushName(5); }, 0},
        {"PushName twice and LoadName while rendering", [](const Gl& gl) {
             gl.PushName(5);
             gl.PushName(6);
             gl.LoadName(7);
         }, 0},
        {"PopName of an empty stack while rendering", [](const Gl& gl) { gl.PopName(); }, 0},
        {"LoadName of an empty stack while rendering", [](const Gl& gl) { gl.LoadName(3); }, 0},
        {"PushName in feedback mode", [](const Gl& gl) {
             static GLfloat buffer[8];
             gl.FeedbackBuffer(8, GL_2D, buffer);
             gl.RenderMode(GL_FEEDBACK);
             gl.PushName(5);
             gl.RenderMode(GL_RENDER);
         }, 0},
        {"PushName compiled into a list, called while rendering", [](const Gl& gl) {
             const GLuint list = gl.GenLists(1);
             gl.NewList(list, GL_COMPILE);
             gl.PushName(5);
             gl.PushName(6);
             gl.EndList();
             gl.CallList(list);
             gl.DeleteLists(list, 1);
         }, 0},
        {"the names a list pushes while selecting", [](const Gl& gl) {
             const GLuint list = gl.GenLists(1);
             gl.NewList(list, GL_COMPILE);
             gl.PushName(5);
             gl.PushName(6);
             gl.EndList();
             gl.SelectBuffer(64, gSelectBuffer);
             gl.RenderMode(GL_SELECT);
             gl.CallList(list);
             gl.PassThrough(1.0f);  // ignored outside feedback
             gl.DeleteLists(list, 1);
         }, 2, true},
        {"names pushed while selecting, then rendering", [](const Gl& gl) {
             gl.SelectBuffer(64, gSelectBuffer);
             gl.RenderMode(GL_SELECT);
             gl.PushName(5);
             gl.PushName(6);
             gl.RenderMode(GL_RENDER);
         }, 0, false, "the reference keeps the names after selection ends"},
        {"PassThrough while rendering", [](const Gl& gl) { gl.PassThrough(2.0f); }, 0},
    };
    return cases;
}

std::string NameState(const Gl& gl) {
    GLint depth = -1;
    gl.GetIntegerv(GL_NAME_STACK_DEPTH, &depth);
    std::ostringstream os;
    os << "depth " << depth << ", errors";
    for (GLenum e = gl.GetError(), n = 0; e != GL_NO_ERROR && n < 4; e = gl.GetError(), ++n) os << " " << e;
    return os.str();
}

class NameStack : public AppTest {};

TEST_F(NameStack, LeftAloneOutsideSelection) {
    for (const NameCase& c : NameCases()) {
        c.calls(gl_);
        const std::string ours = NameState(gl_);
        if (c.selecting) gl_.RenderMode(GL_RENDER);
        EXPECT_EQ(ours, "depth " + std::to_string(c.depth) + ", errors") << c.name;
        if (c.apart != nullptr) continue;
        Reference mesa;
        ASSERT_TRUE(mesa.ok()) << mesa.error();
        c.calls(mesa.gl());
        EXPECT_EQ(ours, NameState(mesa.gl())) << c.name;
        if (c.selecting) mesa.gl().RenderMode(GL_RENDER);
        mesa.gl().Finish();
    }
}

}  // namespace
}  // namespace glapp_tests
