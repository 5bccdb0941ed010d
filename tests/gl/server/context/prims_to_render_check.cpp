// Primitives of every GL mode sent by an application between Begin and End
// go through the server's primitive buffer, the lgi command stream and the
// primitive's pipe to the render function: what reaches the render stage
// (window coordinates, the colour records and the face runs) matches GL
// 1.0's window transform, shading, lighting and face culling, worked out
// here independently. The server is built into the program, so the render
// functions of its lgi context can be replaced by a recorder.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "gl/server/state/gl_client.h"
#include "lgi/3d/context/context.h"
#include "lgi/3d/pipes/pipes.h"
#include "lgi/3d/queue/renderfcn.h"
#include "lgi/3d/pipes/vstage.h"
#include "lgi/lgi.h"

namespace {

using glx::F;

constexpr LONG kWidth = glsrv_client::kWindow.right - glsrv_client::kWindow.left;   // 256
constexpr LONG kHeight = glsrv_client::kWindow.bottom - glsrv_client::kWindow.top;  // 192
// The viewport: the window's lower 256 x 128 pixels, so that every NDC
// coordinate the tests use maps to a binary fraction of a pixel.
constexpr LONG kViewWidth = 256, kViewHeight = 128;

enum : ULONG {
    GL_POINTS_ = 0,
    GL_LINES_,
    GL_LINE_LOOP_,
    GL_LINE_STRIP_,
    GL_TRIANGLES_,
    GL_TRIANGLE_STRIP_,
    GL_TRIANGLE_FAN_,
    GL_QUADS_,
    GL_QUAD_STRIP_,
    GL_POLYGON_
};
constexpr ULONG kCullFace = 0x0B44, kLighting = 0x0B50, kLight0 = 0x4000, kDiffuse = 0x1201,
                kPosition = 0x1203, kBack = 0x0405;
constexpr std::uint16_t kOpLightfv = 87;  // light, pname, four floats

// What one call of the render stage received.
struct Piece {
    ULONG code = 0;
    std::vector<LONG> window;    // x, y, z a vertex
    std::vector<ULONG> colours;  // word 0 of each colour record the runs cover
    std::vector<ULONG> runs;     // (count << 16) | code
};
std::vector<Piece> gPieces;

void RecordRender(N_Context*, N_Pipe* pipe) {
    const CommonPipeData& c = *pipe->pCommonPipeData;
    Piece p;
    p.code = c.code;
    p.window.assign(c.pWindow, c.pWindow + 3 * std::size_t{c.stripVertexCount});
    ULONG cRecords = 0;
    if (c.code >= N_PRIM_POLYGON) {
        for (ULONG i = 0; i < N_FACE_RUN_WORDS && c.pFaceRuns[i] >> 16 != 0; ++i) {
            p.runs.push_back(c.pFaceRuns[i]);
            cRecords += _NRunVertices(c, c.pFaceRuns[i] >> 16);
        }
    } else {
        cRecords = c.stripVertexCount;
    }
    for (ULONG i = 0; i < cRecords; ++i) p.colours.push_back(c.pHwVertices[5 * std::size_t{i}]);
    gPieces.push_back(std::move(p));
}

N_StageFn RecordingSelector(N_Context*, N_Pipe* pipe) {
    pipe->pCommonPipeData->pDispatch->status = 2;
    return RecordRender;
}

struct Vertex {
    float x, y, z;
    float rgba[4];
    float normal[3] = {0, 0, 1};
};

// GL 1.0's window coordinates of an NDC point in this viewport, then in the
// lgi layer's window form: x from the window's left, y from its top.
struct Win {
    double x, y, z;
};
Win WindowOf(const Vertex& v) {
    const double xw = (v.x + 1.0) * kViewWidth / 2, yw = (v.y + 1.0) * kViewHeight / 2;
    const double zw = (v.z + 1.0) / 2 * 16777215.0;
    return {xw, kHeight - yw, zw};
}
// The board's colour word of an RGBA colour at 32 bits: each channel
// rounded to nearest in its byte.
ULONG Packed(const float* rgba) {
    auto ch = [](float c) {
        return static_cast<ULONG>(std::lround(std::clamp(c, 0.0f, 1.0f) * 255.0f));
    };
    return ch(rgba[0]) << 16 | ch(rgba[1]) << 8 | ch(rgba[2]);
}

class PrimsToRenderTest : public glsrv_client::GLServerInProgramTest {
  protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(Start());
        ASSERT_NO_FATAL_FAILURE(Render("Viewport", {0, 0, kViewWidth, kViewHeight}));
        Locked([&] {
            for (N_PrimDispatch& pd : gpNCurrent->prim) pd.pfnSelector = RecordingSelector;
            gpNCurrent->setupStale = 1;
            return 0;
        });
        gPieces.clear();
    }
    // Begin, each vertex with its colour and normal, End; then a request that
    // hands the primitive buffer over.
    void Send(ULONG mode, const std::vector<Vertex>& vs) {
        std::vector<glx::Bytes> s = {glx::Render("Begin", {mode})};
        for (const Vertex& v : vs) {
            s.push_back(
                glx::Render("Color4fv", {F(v.rgba[0]), F(v.rgba[1]), F(v.rgba[2]), F(v.rgba[3])}));
            s.push_back(glx::Render("Normal3fv", {F(v.normal[0]), F(v.normal[1]), F(v.normal[2])}));
            s.push_back(glx::Render("Vertex3fv", {F(v.x), F(v.y), F(v.z)}));
        }
        s.push_back(glx::Render("End"));
        glx::Bytes out;
        for (const glx::Bytes& b : s) out.insert(out.end(), b.begin(), b.end());
        gPieces.clear();
        ASSERT_NO_FATAL_FAILURE(Render(out));
        Single("Finish");
    }
};

// NDC coordinates on quarter pixels: x = (k + 0.25) / 128 - 1 gives GL
// window x = k + 0.25 and y = (m + 0.25) / 64 - 1 window y = m + 0.25, so
// the layer's truncated coordinates below are exact.
float Nx(int k) { return static_cast<float>((k + 0.25) / 128.0 - 1.0); }
float Ny(int m) { return static_cast<float>((m + 0.25) / 64.0 - 1.0); }

Vertex V(int k, int m, float z, float r, float g, float b, std::array<float, 3> n = {0, 0, 1}) {
    return Vertex{Nx(k), Ny(m), z, {r, g, b, 1.0f}, {n[0], n[1], n[2]}};
}

// The layer's window coordinates of a vertex, on the screen: x from the
// screen's left; y down from the screen's top, the viewport's top edge at
// the window's bottom less its height, with the half-pixel bias of the
// layer's window transform (its pixel rows are sampled at their centres);
// z over the 24-bit depth range. Truncated toward zero.
std::array<LONG, 3> Expected(const Vertex& v) {
    const Win w = WindowOf(v);
    const double yTop = glsrv_client::kWindow.top + (kHeight - kViewHeight);
    const double xs = glsrv_client::kWindow.left + w.x;
    const double ys = yTop + kViewHeight - 0.5 - (kHeight - w.y);
    return {static_cast<LONG>(xs), static_cast<LONG>(ys), static_cast<LONG>(w.z)};
}

// GL 1.0's facing of a triangle: counter-clockwise in window coordinates
// (y up) is front.
bool Front(const Vertex& a, const Vertex& b, const Vertex& c) {
    const double area = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
    return area > 0;
}

// The vertices of a square and around it (window pixels, y up).
const Vertex A = V(10, 10, 0.5f, 1.0f, 0.0f, 0.0f), B = V(100, 10, 0.5f, 0.0f, 1.0f, 0.0f),
             C = V(100, 100, -0.5f, 0.0f, 0.0f, 1.0f), D = V(10, 100, 0.0f, 0.2f, 0.4f, 0.6f),
             E = V(120, 55, 0.25f, 0.85f, 0.15f, 0.35f),
             G = V(55, 120, -0.25f, 0.35f, 0.65f, 0.15f);

struct ModeCase {
    const char* name;
    ULONG mode;
    std::vector<Vertex> sent;
    ULONG code;                              // the layer's primitive code at the render stage
    std::vector<Vertex> window;              // the vertices the render stage receives, in order
    std::vector<std::vector<Vertex>> faces;  // GL's triangles (polygonal modes), in order
    std::vector<Vertex> records;             // the colour records of the drawn runs, in order
};

// Face runs of GL's facing sequence: equal neighbours merge; back faces are
// skipped when back faces are culled.
std::vector<ULONG> Runs(const std::vector<std::vector<Vertex>>& faces, bool bCullBack) {
    std::vector<ULONG> runs;
    for (const auto& f : faces) {
        const ULONG code = Front(f[0], f[1], f[2]) ? N_RUN_FIRST
                           : bCullBack             ? N_RUN_SKIP
                                                   : N_RUN_SECOND;
        if (!runs.empty() && (runs.back() & 0xFFFFu) == code) runs.back() += 1u << 16;
        else runs.push_back((1u << 16) | code);
    }
    return runs;
}

std::vector<ModeCase> Cases() {
    return {
        {"points", GL_POINTS_, {A, B, C}, N_PRIM_POINTS, {A, B, C}, {}, {A, B, C}},
        {"lines", GL_LINES_, {A, B, C, D}, N_PRIM_LINES, {A, B, C, D}, {}, {A, B, C, D}},
        {"line loop", GL_LINE_LOOP_, {A, B, C}, N_PRIM_LINE_STRIP, {A, B, C, A}, {}, {A, B, C, A}},
        {"line strip",
         GL_LINE_STRIP_,
         {A, B, C, D},
         N_PRIM_LINE_STRIP,
         {A, B, C, D},
         {},
         {A, B, C, D}},
        // The second triangle winds clockwise: a back face.
        {"triangles",
         GL_TRIANGLES_,
         {A, B, D, B, D, C},
         N_PRIM_TRIANGLES,
         {A, B, D, B, D, C},
         {{A, B, D}, {B, D, C}},
         {A, B, D, B, D, C}},
        // Odd triangles of a strip are wound (v2, v1, v3) by GL: all front.
        {"triangle strip",
         GL_TRIANGLE_STRIP_,
         {A, B, D, C},
         N_PRIM_TRI_STRIP,
         {A, B, D, C},
         {{A, B, D}, {D, B, C}},
         {A, B, D, C}},
        // Two front faces, then one back: each run starts at the hub.
        {"triangle fan",
         GL_TRIANGLE_FAN_,
         {A, B, C, D, E},
         N_PRIM_FAN,
         {A, B, C, D, E},
         {{A, B, C}, {A, C, D}, {A, D, E}},
         {A, B, C, D, A, D, E}},
        {"quads", GL_QUADS_, {A, B, C, D}, N_PRIM_QUADS, {A, B, C, D}, {{A, B, C}}, {A, B, C, D}},
        // One quad of a strip, as a quad strip: its one face (a, b, d, c
        // in the strip's order).
        {"quad strip",
         GL_QUAD_STRIP_,
         {A, B, D, C},
         N_PRIM_QUAD_STRIP,
         {A, B, D, C},
         {{A, B, C}},
         {A, B, D, C}},
        {"polygon",
         GL_POLYGON_,
         {A, B, E, C, G, D},
         N_PRIM_POLYGON,
         {A, B, E, C, G, D},
         {{A, B, E}, {A, E, C}, {A, C, G}, {A, G, D}},
         {A, B, E, C, G, D}},
    };
}

// Every mode with smooth shading: the window coordinates, each colour
// record's packed colour and the face runs GL 1.0 gives; once more with
// back faces culled.
TEST_F(PrimsToRenderTest, EveryModeReachesTheRenderStageAsGLDrawsIt) {
    for (const bool bCull : {false, true}) {
        if (bCull)
            ASSERT_NO_FATAL_FAILURE(Render(glx::Stream(
                {glx::Render("CullFace", {kBack}), glx::Render("Enable", {kCullFace})})));
        for (const ModeCase& m : Cases()) {
            SCOPED_TRACE(testing::Message() << m.name << (bCull ? ", back faces culled" : ""));
            ASSERT_NO_FATAL_FAILURE(Send(m.mode, m.sent));
            const std::vector<ULONG> runs = Runs(m.faces, bCull);
            const bool bAllCulled =
                !runs.empty() && std::all_of(runs.begin(), runs.end(),
                                             [](ULONG r) { return (r & 0xFFFFu) == N_RUN_SKIP; });
            if (bAllCulled) {
                EXPECT_TRUE(gPieces.empty());
                continue;
            }
            ASSERT_EQ(gPieces.size(), 1u);
            const Piece& p = gPieces[0];
            EXPECT_EQ(p.code, m.code);
            ASSERT_EQ(p.window.size(), 3 * m.window.size());
            for (std::size_t i = 0; i < m.window.size(); ++i) {
                const std::array<LONG, 3> want = Expected(m.window[i]);
                EXPECT_EQ(p.window[3 * i], want[0]) << "x of vertex " << i;
                EXPECT_EQ(p.window[3 * i + 1], want[1]) << "y of vertex " << i;
                EXPECT_NEAR(p.window[3 * i + 2], want[2], 1) << "z of vertex " << i;
            }
            EXPECT_EQ(p.runs, runs);
            // Records of skipped runs are not written: compare the drawn ones.
            ASSERT_EQ(p.colours.size(), m.records.size());
            std::vector<bool> drawn(m.records.size(), true);
            if (m.code >= N_PRIM_POLYGON) {
                std::size_t rec = 0, face = 0;
                for (ULONG r : runs) {
                    const std::size_t count = r >> 16;
                    const std::size_t nv = m.code == N_PRIM_TRIANGLES    ? 3 * count
                                           : m.code == N_PRIM_QUADS      ? 4 * count
                                           : m.code == N_PRIM_QUAD_STRIP ? 2 * count + 2
                                                                         : count + 2;
                    for (std::size_t j = 0; j < nv && rec + j < drawn.size(); ++j)
                        drawn[rec + j] = (r & 0xFFFFu) != N_RUN_SKIP;
                    rec += nv;
                    face += count;
                }
            }
            for (std::size_t i = 0; i < m.records.size(); ++i)
                if (drawn[i]) EXPECT_EQ(p.colours[i], Packed(m.records[i].rgba)) << "record " << i;
        }
    }
    EXPECT_EQ(Error(), 0u);
}

// Lit with light 0 as GL 1.0 starts it (a white directional light along
// +z, material ambient 0.2 and diffuse 0.8 under a scene ambient of 0.2):
// each vertex's colour is 0.04 + 0.8 max(N.L, 0), alpha the diffuse's 1.0.
TEST_F(PrimsToRenderTest, LitVerticesTakeGLsLightingEquation) {
    ASSERT_NO_FATAL_FAILURE(Render(
        glx::Stream({glx::Render("Enable", {kLighting}), glx::Render("Enable", {kLight0})})));
    const std::vector<Vertex> vs = {
        V(10, 10, 0, 1, 1, 1, {0, 0, 1}), V(100, 10, 0, 1, 1, 1, {0, 0.6f, 0.8f}),
        V(10, 100, 0, 1, 1, 1, {0.8f, 0, -0.6f}), V(100, 100, 0, 1, 1, 1, {0, 1, 0})};
    ASSERT_NO_FATAL_FAILURE(Send(GL_TRIANGLE_STRIP_, vs));
    ASSERT_EQ(gPieces.size(), 1u);
    ASSERT_EQ(gPieces[0].colours.size(), vs.size());
    for (std::size_t i = 0; i < vs.size(); ++i) {
        const float* n = vs[i].normal;
        const float lit = 0.04f + 0.8f * std::max(0.0f, n[2]);
        const float rgba[4] = {lit, lit, lit, 1.0f};
        EXPECT_EQ(gPieces[0].colours[i], Packed(rgba)) << "vertex " << i;
    }
    EXPECT_EQ(Error(), 0u);
}

// The faces a render-stage piece holds, each as its three window points
// sorted (so that winding does not matter) with its run code.
using Face = std::pair<std::array<std::array<LONG, 3>, 3>, ULONG>;
std::array<std::array<LONG, 3>, 3> Sorted(std::array<std::array<LONG, 3>, 3> t) {
    std::sort(t.begin(), t.end());
    return t;
}
std::vector<Face> FacesOf(const Piece& p) {
    std::vector<ULONG> codes;
    for (ULONG r : p.runs)
        for (ULONG k = 0; k < (r >> 16); ++k) codes.push_back(r & 0xFFFFu);
    auto at = [&](std::size_t i) {
        return std::array<LONG, 3>{p.window[3 * i], p.window[3 * i + 1], p.window[3 * i + 2]};
    };
    std::vector<Face> faces;
    const std::size_t n = p.window.size() / 3;
    for (std::size_t j = 0; j + 2 < n && j < codes.size(); ++j) {
        const std::size_t a = p.code == N_PRIM_TRI_STRIP ? j : 0;
        faces.push_back({Sorted({at(a), at(j + 1), at(j + 2)}), codes[j]});
    }
    return faces;
}

// A strip and a fan long enough to wrap the server's primitive buffer
// several times: every GL face reaches the render stage once, in order,
// with its facing, and each piece's colour records are its vertices'.
TEST_F(PrimsToRenderTest, StripsAndFansThatWrapTheBufferKeepEveryFace) {
    std::vector<Vertex> strip, fan;
    for (int k = 0; k < 150; ++k) {
        const float t = (static_cast<float>(k) + 0.3f) / 160.0f;  // never half a step
        strip.push_back(V(20 + k, 90, 0.25f, t, 0.5f, 1 - t));
        strip.push_back(V(20 + k, 30, -0.25f, 1 - t, t, 0.25f));
    }
    fan.push_back(V(128, 64, 0, 0.5f, 0.5f, 0.5f));
    for (int i = 0; i < 150; ++i) {
        const double a = 2 * 3.14159265358979 * i / 160;
        const float t = (static_cast<float>(i) + 0.3f) / 160.0f;
        fan.push_back(V(static_cast<int>(std::lround(128 + 60 * std::cos(a))),
                        static_cast<int>(std::lround(64 + 60 * std::sin(a))), 0, t, 1 - t, 0.25f));
    }
    struct Case {
        const char* name;
        ULONG mode;
        const std::vector<Vertex>& vs;
    } const cases[] = {{"strip", GL_TRIANGLE_STRIP_, strip}, {"fan", GL_TRIANGLE_FAN_, fan}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(Send(c.mode, c.vs));
        EXPECT_GE(gPieces.size(), 2u) << "the primitive wrapped";
        std::vector<Face> want, got;
        for (std::size_t j = 0; j + 2 < c.vs.size(); ++j) {
            const bool bStrip = c.mode == GL_TRIANGLE_STRIP_;
            const Vertex& a = bStrip ? c.vs[j] : c.vs[0];
            const Vertex& b = bStrip && j % 2 == 1 ? c.vs[j + 2] : c.vs[j + 1];
            const Vertex& d = bStrip && j % 2 == 1 ? c.vs[j + 1] : c.vs[j + 2];
            want.push_back({Sorted({Expected(a), Expected(b), Expected(d)}),
                            Front(a, b, d) ? N_RUN_FIRST : N_RUN_SECOND});
        }
        for (const Piece& p : gPieces) {
            const std::vector<Face> f = FacesOf(p);
            got.insert(got.end(), f.begin(), f.end());
            // One run of front faces: its records are the piece's vertices.
            if (p.runs.size() != 1) continue;
            ASSERT_EQ(p.colours.size(), p.window.size() / 3);
            for (std::size_t i = 0; i < p.colours.size(); ++i) {
                const auto v = std::find_if(c.vs.begin(), c.vs.end(), [&](const Vertex& x) {
                    const std::array<LONG, 3> e = Expected(x);
                    return e[0] == p.window[3 * i] && e[1] == p.window[3 * i + 1];
                });
                ASSERT_NE(v, c.vs.end());
                EXPECT_EQ(p.colours[i], Packed(v->rgba)) << "record " << i;
            }
        }
        EXPECT_EQ(got, want);
    }
    EXPECT_EQ(Error(), 0u);
}

// Eight lights as GL 1.0 sums them: each directional light with its own
// diffuse colour adds max(N.L, 0) times its colour times the material's
// diffuse 0.8 to the scene ambient 0.2 times the material's ambient 0.2.
TEST_F(PrimsToRenderTest, EightLightsAddUp) {
    struct Light {
        float dir[3];
        float diffuse[3];
    };
    const Light lights[8] = {
        {{0, 0, 1}, {0.1f, 0.0f, 0.0f}},          {{0, 1, 0}, {0.0f, 0.1f, 0.0f}},
        {{1, 0, 0}, {0.0f, 0.0f, 0.1f}},          {{0, 0.6f, 0.8f}, {0.05f, 0.05f, 0.0f}},
        {{0.8f, 0, 0.6f}, {0.0f, 0.05f, 0.05f}},  {{0, 0, -1}, {0.3f, 0.3f, 0.3f}},
        {{0.6f, 0.8f, 0}, {0.02f, 0.04f, 0.06f}}, {{0.48f, 0.6f, 0.64f}, {0.07f, 0.03f, 0.01f}},
    };
    std::vector<glx::Bytes> s = {glx::Render("Enable", {kLighting})};
    for (ULONG i = 0; i < 8; ++i) {
        const Light& l = lights[i];
        s.push_back(glx::Render("Enable", {kLight0 + i}));
        s.push_back(glx::RawRender(
            28, kOpLightfv,
            {kLight0 + i, kDiffuse, F(l.diffuse[0]), F(l.diffuse[1]), F(l.diffuse[2]), F(1)}));
        s.push_back(glx::RawRender(
            28, kOpLightfv, {kLight0 + i, kPosition, F(l.dir[0]), F(l.dir[1]), F(l.dir[2]), F(0)}));
        // Light 0 starts with a white specular; the material's is black.
    }
    glx::Bytes all;
    for (const glx::Bytes& b : s) all.insert(all.end(), b.begin(), b.end());
    ASSERT_NO_FATAL_FAILURE(Render(all));
    const std::vector<Vertex> vs = {
        V(10, 10, 0, 1, 1, 1, {0, 0, 1}), V(100, 10, 0, 1, 1, 1, {0, 0.6f, 0.8f}),
        V(10, 100, 0, 1, 1, 1, {0.8f, 0, 0.6f}), V(100, 100, 0, 1, 1, 1, {0, 0, -1})};
    ASSERT_NO_FATAL_FAILURE(Send(GL_TRIANGLE_STRIP_, vs));
    ASSERT_EQ(gPieces.size(), 1u);
    ASSERT_EQ(gPieces[0].colours.size(), vs.size());
    for (std::size_t i = 0; i < vs.size(); ++i) {
        const float* n = vs[i].normal;
        float rgba[4] = {0.04f, 0.04f, 0.04f, 1.0f};
        for (const Light& l : lights) {
            const float d = std::max(0.0f, n[0] * l.dir[0] + n[1] * l.dir[1] + n[2] * l.dir[2]);
            for (int k = 0; k < 3; ++k) rgba[k] += 0.8f * d * l.diffuse[k];
        }
        EXPECT_EQ(gPieces[0].colours[i], Packed(rgba)) << "vertex " << i;
    }
    EXPECT_EQ(Error(), 0u);
}

}  // namespace
