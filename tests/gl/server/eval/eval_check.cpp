// Evaluators through the render tables: maps stored from their requests,
// meshes and single points evaluated and handed to the vertex packets,
// checked against a de Casteljau evaluation written here; grid and mesh
// edges; the basis on its own.
#include <bit>
#include <cmath>
#include <cstring>
#include <random>

#include "eval/eval.h"
#include "platform/faults.h"
#include "request_fixture.h"
#include "state/glstate.h"

namespace glsrv_double {
namespace {

using glx::RenderRequest;

using glx::F;  // a float as its bits

// --- the reference: de Casteljau on the control points ----------------------------------

using Vec = std::vector<double>;

// A Bezier curve of points (k values each) at t by repeated interpolation.
Vec Casteljau(std::vector<Vec> p, double t) {
    for (std::size_t n = p.size(); n > 1; --n)
        for (std::size_t i = 0; i + 1 < n; ++i)
            for (std::size_t c = 0; c < p[i].size(); ++c) p[i][c] = (1 - t) * p[i][c] + t * p[i + 1][c];
    return p[0];
}
// A patch of uorder x vorder points (u major) at (s, t): each u row along v,
// then the results along u.
Vec Casteljau2(const std::vector<Vec>& pts, std::size_t uorder, std::size_t vorder, double s, double t) {
    std::vector<Vec> rows;
    for (std::size_t i = 0; i < uorder; ++i)
        rows.push_back(Casteljau({pts.begin() + static_cast<long>(i * vorder), pts.begin() + static_cast<long>((i + 1) * vorder)}, t));
    return Casteljau(rows, s);
}
// The unit normal of a patch (projected by w when it has four values) by
// central differences.
Vec NumericNormal(const std::vector<Vec>& pts, std::size_t uo, std::size_t vo, double s, double t) {
    auto at = [&](double a, double b) {
        Vec p = Casteljau2(pts, uo, vo, a, b);
        if (p.size() == 4) p = {p[0] / p[3], p[1] / p[3], p[2] / p[3]};
        return p;
    };
    const double h = 1e-4;
    Vec du(3), dv(3);
    const Vec a = at(s + h, t), b = at(s - h, t), c = at(s, t + h), d = at(s, t - h);
    for (int i = 0; i < 3; ++i) {
        du[i] = (a[i] - b[i]) / (2 * h);
        dv[i] = (c[i] - d[i]) / (2 * h);
    }
    Vec n = {du[1] * dv[2] - du[2] * dv[1], du[2] * dv[0] - du[0] * dv[2], du[0] * dv[1] - du[1] * dv[0]};
    const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (double& x : n) x /= len;
    return n;
}

std::vector<Vec> RandomPoints(std::size_t count, std::size_t k, unsigned seed, double wMin = 1.0) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> d(-2.0, 2.0), w(wMin, 2.0);
    std::vector<Vec> p(count, Vec(k));
    for (Vec& v : p)
        for (std::size_t c = 0; c < k; ++c) v[c] = static_cast<float>(k == 4 && c == 3 ? w(rng) : d(rng));
    return p;
}

// --- what reaches the vertex packets ---------------------------------------------------------

// Values a packet of each emitted opcode carries.
ULONG ValuesOf(ULONG op) {
    switch (op) {
        case 16: case 62: case 74: return 4;
        case 30: case 58: case 70: return 3;
        case 54: return 2;
        default: return 1;
    }
}
template <ULONG op>
ULONG Emit(__GLXprimBuffer*, const void* pv) {
    Call c;
    c.name = "emit";
    c.args = {op};
    c.words.resize(ValuesOf(op));
    std::memcpy(c.words.data(), pv, 4 * c.words.size());
    gRecord.calls.push_back(c);
    return gAnswers.ul == 0x501 ? 0x501 : 0;
}

// A batch as the packets saw it: its GL mode, then per vertex the packets
// (opcode, values) up to and including the vertex.
struct Packet {
    ULONG op;
    std::vector<float> v;
};
struct Batch {
    ULONG mode;
    std::vector<std::vector<Packet>> vertices;
};

class EvalTest : public RequestTest {
  protected:
    void SetUp() override {
        RequestTest::SetUp();
        ASSERT_EQ(__glXCreateGLState(&gc_, TRUE), 0u);
        for (ULONG i = 0; i < GLX_RENDER_ENTRIES; ++i) table_[i] = __glXVtx_Invalid;
        table_[16] = Emit<16>;
        table_[25] = Emit<25>;
        table_[30] = Emit<30>;
        table_[50] = Emit<50>;
        table_[54] = Emit<54>;
        table_[58] = Emit<58>;
        table_[62] = Emit<62>;
        table_[70] = Emit<70>;
        table_[74] = Emit<74>;
        gc_.pVertexTable = table_.data();
        gAnswers.ul = 0;  // the primitive buffer stays open
        gRecord.calls.clear();
    }

    ULONG Render(std::uint16_t op, const std::vector<std::uint32_t>& words, int cjLess = 0) {
        glx::Bytes body;
        for (std::uint32_t w : words) glx::Put32(body, w);
        return Run(__glXRenderTable, RenderRequest(op, static_cast<std::uint32_t>(body.size() - cjLess), body));
    }
    ULONG Enable(ULONG cap) { return Render(139, {cap}); }
    ULONG Map1f(ULONG target, float u1, float u2, const std::vector<Vec>& pts, int cjLess = 0) {
        std::vector<std::uint32_t> w = {target, F(u1), F(u2), static_cast<ULONG>(pts.size())};
        for (const Vec& p : pts)
            for (double x : p) w.push_back(F(static_cast<float>(x)));
        return Render(144, w, cjLess);
    }
    ULONG Map1d(ULONG target, double u1, double u2, const std::vector<Vec>& pts) {
        std::vector<std::uint32_t> w;
        auto d = [&w](double x) {
            std::uint64_t u = std::bit_cast<std::uint64_t>(x);
            w.push_back(static_cast<std::uint32_t>(u));
            w.push_back(static_cast<std::uint32_t>(u >> 32));
        };
        d(u1);
        d(u2);
        w.push_back(target);
        w.push_back(static_cast<ULONG>(pts.size()));
        for (const Vec& p : pts)
            for (double x : p) d(x);
        return Render(143, w);
    }
    ULONG Map2f(ULONG target, float u1, float u2, ULONG uo, float v1, float v2, ULONG vo, const std::vector<Vec>& pts,
                int cjLess = 0) {
        std::vector<std::uint32_t> w = {target, F(u1), F(u2), uo, F(v1), F(v2), vo};
        for (const Vec& p : pts)
            for (double x : p) w.push_back(F(static_cast<float>(x)));
        return Render(146, w, cjLess);
    }
    ULONG BeginEnd(std::uint16_t op, const std::vector<std::uint32_t>& words) {
        glx::Bytes body;
        for (std::uint32_t w : words) glx::Put32(body, w);
        return Run(__glXRenderBeginEndTable, RenderRequest(op, static_cast<std::uint32_t>(body.size()), body));
    }

    // The batches opened since the calls were cleared; packets outside a
    // batch go to one of mode ~0.
    std::vector<Batch> Batches() const {
        std::vector<Batch> out;
        std::vector<Packet> pending;
        bool bOpen = false;
        for (const Call& c : gRecord.calls) {
            if (c.name == "__glOpenPrimitive") {
                out.push_back(Batch{static_cast<ULONG>(c.args[2]), {}});
                bOpen = true;
            } else if (c.name == "__glClosePrimitive") {
                bOpen = false;
            } else if (c.name == "emit") {
                if (!bOpen && (out.empty() || out.back().mode != ~0u)) out.push_back(Batch{~0u, {}});
                Packet p{static_cast<ULONG>(c.args[0]), {}};
                for (ULONG w : c.words) p.v.push_back(std::bit_cast<float>(w));
                pending.push_back(p);
                if (p.op == 70 || p.op == 74) {
                    out.back().vertices.push_back(pending);
                    pending.clear();
                }
            }
        }
        return out;
    }
    static void ExpectNear(const std::vector<float>& got, const Vec& want, double tol, const char* what) {
        ASSERT_EQ(got.size(), want.size()) << what;
        for (std::size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], tol) << what << " value " << i;
    }

    std::vector<__GLXvertexFn> table_ = std::vector<__GLXvertexFn>(GLX_RENDER_ENTRIES);
};

constexpr ULONG kMap1Vertex3 = 0x0D97, kMap1Vertex4 = 0x0D98, kMap1Color4 = 0x0D90, kMap1Tex2 = 0x0D94;
constexpr ULONG kMap2Vertex3 = 0x0DB7, kMap2Vertex4 = 0x0DB8, kMap2Normal = 0x0DB2, kAutoNormal = 0x0D80;
constexpr ULONG kPoint = 0x1B00, kLine = 0x1B01, kFill = 0x1B02;

TEST(EvalBasis, BernsteinValuesAndDerivative) {
    for (ULONG order = 1; order <= 6; ++order) {
        for (float t : {0.0f, 0.25f, 0.5f, 1.0f}) {
            float b[30], db[30];
            __glXBernsteinBasis(order, t, b, db, 0);
            const ULONG n = order - 1;
            double sum = 0, dsum = 0;
            for (ULONG i = 0; i <= n; ++i) {
                const double want = std::tgamma(n + 1) / (std::tgamma(i + 1) * std::tgamma(n - i + 1)) *
                                    std::pow(t, i) * std::pow(1 - t, n - i);
                EXPECT_NEAR(b[i], want, 1e-6) << order << " " << t << " " << i;
                sum += b[i];
                dsum += db[i];
            }
            EXPECT_NEAR(sum, 1.0, 1e-6);
            EXPECT_NEAR(dsum, 0.0, 1e-5);
            // Asked again (the cached basis) the answer is the same.
            float b2[30];
            __glXBernsteinBasis(order, t, b2, nullptr, 0);
            EXPECT_EQ(std::memcmp(b, b2, order * sizeof(float)), 0);
        }
    }
}

// Curves of orders 1 to 8 over a domain that is not [0, 1], evaluated by
// EvalCoord1 inside Begin/End at points inside and outside the domain.
TEST_F(EvalTest, EvalCoord1MatchesDeCasteljau) {
    ASSERT_EQ(Enable(kMap1Vertex3), 0u);
    for (ULONG order = 1; order <= 8; ++order) {
        const auto pts = RandomPoints(order, 3, order);
        ASSERT_EQ(Map1f(kMap1Vertex3, 2.0f, 5.0f, pts), 0u);
        for (float u : {2.0f, 2.75f, 3.5f, 5.0f, 6.0f}) {
            gRecord.calls.clear();
            ASSERT_EQ(BeginEnd(152, {F(u)}), 0u);
            const auto b = Batches();
            ASSERT_EQ(b.size(), 1u);
            ASSERT_EQ(b[0].vertices.size(), 1u);
            ExpectNear(b[0].vertices[0][0].v, Casteljau(pts, (u - 2.0) / 3.0), 1e-4, "vertex");
        }
    }
    // The double form narrows its points and coordinate.
    const auto pts = RandomPoints(4, 3, 99);
    ASSERT_EQ(Map1d(kMap1Vertex3, -1.0, 1.0, pts), 0u);
    gRecord.calls.clear();
    const std::uint64_t u = std::bit_cast<std::uint64_t>(0.5);
    ASSERT_EQ(BeginEnd(151, {static_cast<ULONG>(u), static_cast<ULONG>(u >> 32)}), 0u);
    ExpectNear(Batches().at(0).vertices.at(0)[0].v, Casteljau(pts, 0.75), 1e-4, "double form");
}

// EvalMesh1(LINE, 0, n) with MAP1_VERTEX_3: n + 1 vertices in one line
// strip, at the grid points; POINT gives points.
TEST_F(EvalTest, EvalMesh1LineAndPoint) {
    const auto pts = RandomPoints(4, 3, 7);
    ASSERT_EQ(Map1f(kMap1Vertex3, 0.0f, 1.0f, pts), 0u);
    ASSERT_EQ(Enable(kMap1Vertex3), 0u);
    ASSERT_EQ(Render(148, {5, F(0.0f), F(1.0f)}), 0u);  // MapGrid1f: 5 divisions
    gRecord.calls.clear();
    ASSERT_EQ(Render(155, {kLine, 0, 5}), 0u);
    auto b = Batches();
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].mode, 3u);  // GL_LINE_STRIP
    ASSERT_EQ(b[0].vertices.size(), 6u);
    for (int i = 0; i <= 5; ++i) ExpectNear(b[0].vertices[i][0].v, Casteljau(pts, i / 5.0), 1e-5, "grid point");
    const Vec end = Casteljau(pts, 1.0);
    EXPECT_EQ(b[0].vertices[5][0].v, std::vector<float>(end.begin(), end.end()));

    gRecord.calls.clear();
    ASSERT_EQ(Render(155, {kPoint, 2, 3}), 0u);
    b = Batches();
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].mode, 0u);  // GL_POINTS
    EXPECT_EQ(b[0].vertices.size(), 2u);
}

// Every enabled target in index order, the vertex last; of two vertex maps
// only the four-value one, of two texture maps only the wider.
TEST_F(EvalTest, TargetsInIndexOrderAndOneVertex) {
    ASSERT_EQ(Map1f(kMap1Color4, 0, 1, {{1, 0, 0, 1}, {0, 1, 0, 1}}), 0u);
    ASSERT_EQ(Map1f(kMap1Tex2, 0, 1, {{0, 0}, {1, 1}}), 0u);
    ASSERT_EQ(Map1f(kMap1Vertex3, 0, 1, {{0, 0, 0}, {1, 1, 1}}), 0u);
    ASSERT_EQ(Map1f(kMap1Vertex4, 0, 1, {{0, 0, 0, 1}, {2, 2, 2, 1}}), 0u);
    for (ULONG cap : {kMap1Vertex4, kMap1Color4, 0x0D93u /*TEXTURE_COORD_1*/, kMap1Tex2, kMap1Vertex3}) Enable(cap);
    gRecord.calls.clear();
    ASSERT_EQ(BeginEnd(152, {F(0.5f)}), 0u);
    const auto b = Batches();
    ASSERT_EQ(b.size(), 1u);
    ASSERT_EQ(b[0].vertices.size(), 1u);
    const auto& v = b[0].vertices[0];
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0].op, 16u);
    ExpectNear(v[0].v, {0.5, 0.5, 0, 1}, 1e-6, "colour");
    EXPECT_EQ(v[1].op, 54u);
    ExpectNear(v[1].v, {0.5, 0.5}, 1e-6, "texture");
    EXPECT_EQ(v[2].op, 74u);
    ExpectNear(v[2].v, {1, 1, 1, 1}, 1e-6, "vertex");
}

// EvalMesh2(FILL, 0, 2, 0, 2): two quad strips of six vertices, row r then
// row r + 1 at each column, with automatic normals; each point and normal
// against the reference.
TEST_F(EvalTest, EvalMesh2FillWithAutoNormals) {
    for (ULONG target : {kMap2Vertex3, kMap2Vertex4}) {
        SCOPED_TRACE(target);
        const ULONG k = target == kMap2Vertex3 ? 3 : 4;
        const std::size_t uo = 3, vo = 4;
        const auto pts = RandomPoints(uo * vo, k, static_cast<unsigned>(target), 0.5);
        ASSERT_EQ(Map2f(target, -1.0f, 3.0f, uo, 0.0f, 2.0f, vo, pts), 0u);
        ASSERT_EQ(Enable(target), 0u);
        ASSERT_EQ(Enable(kAutoNormal), 0u);
        ASSERT_EQ(Render(150, {2, F(-1.0f), F(3.0f), 2, F(0.0f), F(2.0f)}), 0u);  // MapGrid2f
        gRecord.calls.clear();
        ASSERT_EQ(Render(157, {kFill, 0, 2, 0, 2}), 0u);
        const auto b = Batches();
        ASSERT_EQ(b.size(), 2u);
        for (ULONG r = 0; r < 2; ++r) {
            EXPECT_EQ(b[r].mode, 8u);  // GL_QUAD_STRIP
            ASSERT_EQ(b[r].vertices.size(), 6u);
            for (ULONG n = 0; n < 6; ++n) {
                const double s = (n / 2) / 2.0, t = (r + n % 2) / 2.0;
                const auto& v = b[r].vertices[n];
                ASSERT_EQ(v.size(), 2u);
                EXPECT_EQ(v[0].op, 30u);
                EXPECT_EQ(v[1].op, k == 3 ? 70u : 74u);
                ExpectNear(v[1].v, Casteljau2(pts, uo, vo, s, t), 1e-4, "point");
                ExpectNear(v[0].v, NumericNormal(pts, uo, vo, s, t), 2e-3, "normal");
            }
        }
        Render(138, {target});  // Disable
    }
}

// A planar patch's automatic normal is the plane's; a patch whose partial
// derivative vanishes has the normal (0, 0, 0). A map of normals is not
// sent beside an automatic one.
TEST_F(EvalTest, AutoNormalEdges) {
    ASSERT_EQ(Map2f(kMap2Vertex3, 0, 1, 2, 0, 1, 2, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}}), 0u);
    ASSERT_EQ(Map2f(kMap2Normal, 0, 1, 1, 0, 1, 1, {{5, 5, 5}}), 0u);
    for (ULONG cap : {kMap2Vertex3, kAutoNormal, kMap2Normal}) Enable(cap);
    gRecord.calls.clear();
    ASSERT_EQ(BeginEnd(154, {F(0.3f), F(0.6f)}), 0u);
    auto v = Batches().at(0).vertices.at(0);
    ASSERT_EQ(v.size(), 2u);
    ExpectNear(v[0].v, {0, 0, 1}, 1e-6, "plane normal");
    ASSERT_EQ(Map2f(kMap2Vertex3, 0, 1, 2, 0, 1, 2, {{0, 0, 0}, {0, 1, 0}, {0, 0, 0}, {0, 1, 0}}), 0u);
    gRecord.calls.clear();
    ASSERT_EQ(BeginEnd(154, {F(0.3f), F(0.6f)}), 0u);
    v = Batches().at(0).vertices.at(0);
    ExpectNear(v[0].v, {0, 0, 0}, 0, "no normal");
}

// LINE walks every row, then every column; POINT one batch of all points.
TEST_F(EvalTest, EvalMesh2LineAndPoint) {
    ASSERT_EQ(Map2f(kMap2Vertex3, 0, 1, 2, 0, 1, 2, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 1}}), 0u);
    ASSERT_EQ(Enable(kMap2Vertex3), 0u);
    ASSERT_EQ(Render(150, {2, F(0.0f), F(1.0f), 1, F(0.0f), F(1.0f)}), 0u);
    gRecord.calls.clear();
    ASSERT_EQ(Render(157, {kLine, 0, 2, 0, 1}), 0u);
    auto b = Batches();
    ASSERT_EQ(b.size(), 5u);
    for (int r = 0; r < 2; ++r) {
        ASSERT_EQ(b[r].vertices.size(), 3u);
        EXPECT_FLOAT_EQ(b[r].vertices[2][0].v[0], 1.0f);        // u along the row
        EXPECT_FLOAT_EQ(b[r].vertices[0][0].v[1], float(r));    // v fixed
    }
    for (int c = 0; c < 3; ++c) {
        ASSERT_EQ(b[2 + c].vertices.size(), 2u);
        EXPECT_FLOAT_EQ(b[2 + c].vertices[0][0].v[0], c / 2.0f);
    }
    gRecord.calls.clear();
    ASSERT_EQ(Render(157, {kPoint, 0, 2, 0, 1}), 0u);
    b = Batches();
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].vertices.size(), 6u);
}

// Grids and ranges: no divisions is refused; an empty range draws nothing;
// a range too large for tables is drawn point by point, one too large to
// draw in any time (too many points, or a grid of too many rows and
// columns) is refused before anything is opened;
// a bad mode; a batch that cannot be opened.
TEST_F(EvalTest, GridAndMeshEdges) {
    ASSERT_EQ(Enable(kMap1Vertex3), 0u);
    ASSERT_EQ(Enable(kMap2Vertex3), 0u);
    struct {
        std::uint16_t op;
        std::vector<std::uint32_t> words;
        ULONG x, gl;
        int opens;
    } cases[] = {
        {148, {0, F(0), F(1)}, 2, GL_INVALID_VALUE, 0},
        {148, {0xFFFFFFFF, F(0), F(1)}, 2, GL_INVALID_VALUE, 0},
        {150, {1, F(0), F(1), 0, F(0), F(1)}, 2, GL_INVALID_VALUE, 0},
        {155, {kLine, 3, 2}, 0, 0, 0},
        {157, {kFill, 0, 1, 1, 0}, 0, 0, 0},
        {157, {kFill, 0, 3, 2, 2}, 0, 0, 0},  // one row: no strip
        {155, {kLine, 0x80000000, 0x7FFFFFFF}, 11, GL_OUT_OF_MEMORY, 0},
        {157, {kPoint, 0, 2047, 0, 2047}, 0, 0, 1},  // 2048 by 2048: the largest drawn
        {157, {kFill, 0, 2047, 0, 2048}, 11, GL_OUT_OF_MEMORY, 0},
        {157, {kLine, 0, 0, 0, 65534}, 0, 0, 65536},  // a batch a row and a column
        {157, {kFill, 0, 0, 0, 65535}, 11, GL_OUT_OF_MEMORY, 0},
        {155, {kLine, 0, 99999}, 0, 0, 1},  // one batch however long
        {157, {kPoint, 0, 0x10000, 0, 0x10000}, 11, GL_OUT_OF_MEMORY, 0},
        {155, {kFill, 0, 1}, 2, GL_INVALID_ENUM, 0},
        {157, {0x1B03, 0, 1, 0, 1}, 2, GL_INVALID_ENUM, 0},
        {155, {kPoint, static_cast<std::uint32_t>(-2), 2}, 0, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.op << " " << c.words[0] << " " << c.words[1]);
        gc_.error = 0;
        gRecord.calls.clear();
        EXPECT_EQ(Render(c.op, c.words), c.x);
        EXPECT_EQ(gc_.error, c.gl);
        EXPECT_EQ(Calls("__glOpenPrimitive").size(), static_cast<std::size_t>(c.opens));
    }
    gAnswers.ulOpen = GL_OUT_OF_MEMORY;
    gc_.error = 0;
    gRecord.calls.clear();
    EXPECT_EQ(Render(155, {kLine, 0, 1}), GLX_BAD_ALLOC);
    EXPECT_EQ(gc_.error, GL_OUT_OF_MEMORY);
    EXPECT_EQ(Calls("__glClosePrimitive").size(), 0u);
}

// Without memory for the evaluator record a mesh is out of memory and
// nothing is drawn (without memory for its tables it is drawn point by
// point); a map that cannot be stored keeps the one before.
TEST_F(EvalTest, OutOfMemory) {
    ASSERT_EQ(Enable(kMap1Vertex3), 0u);
    {
        vnx::faults::Scope faults;
        vnx::faults::arm("LocalAlloc", 0);
        gc_.error = 0;
        EXPECT_EQ(Render(155, {kLine, 0, 1}), GLX_BAD_ALLOC);
        EXPECT_EQ(gc_.error, GL_OUT_OF_MEMORY);
    }
    const auto pts = RandomPoints(2, 3, 2);
    ASSERT_EQ(Map1f(kMap1Vertex3, 0, 1, pts), 0u);
    {
        vnx::faults::Scope faults;
        vnx::faults::arm("LocalAlloc", 0);
        gc_.error = 0;
        EXPECT_EQ(Map1f(kMap1Vertex3, 0, 1, RandomPoints(3, 3, 4)), GLX_BAD_ALLOC);
        EXPECT_EQ(__glXEvalMapOf(&gc_, kMap1Vertex3)->uorder, 2u);
        // Without memory for its tables a mesh is evaluated point by point.
        vnx::faults::arm("LocalAlloc", 0);
        gRecord.calls.clear();
        gc_.error = 0;
        EXPECT_EQ(Render(155, {kLine, 0, 1}), 0u);
        EXPECT_EQ(gc_.error, 0u);
        EXPECT_EQ(Calls("__glOpenPrimitive").size(), 1u);
    }
}

// EvalPoint1(n) is exactly u2; a point inside the last mesh's table reads
// it, a point outside (or after the grid changed) is evaluated.
TEST_F(EvalTest, EvalPointUsesTheGrid) {
    const auto pts = RandomPoints(3, 3, 3);
    ASSERT_EQ(Map1f(kMap1Vertex3, 1.0f, 1.7f, pts), 0u);
    ASSERT_EQ(Enable(kMap1Vertex3), 0u);
    ASSERT_EQ(Render(148, {7, F(1.0f), F(1.7f)}), 0u);
    ASSERT_EQ(Render(155, {kPoint, 2, 4}), 0u);
    for (LONG i : {7, 3, 0, 9, -1}) {
        gRecord.calls.clear();
        ASSERT_EQ(BeginEnd(156, {static_cast<ULONG>(i)}), 0u);
        const auto v = Batches().at(0).vertices.at(0)[0].v;
        const float u = i == 7 ? 1.7f : 1.0f + static_cast<float>(i) * (1.7f - 1.0f) / 7.0f;
        ExpectNear(v, Casteljau(pts, (u - 1.0) / 0.7), 1e-5, "grid point");
        if (i == 7) {
            const Vec end = Casteljau(pts, 1.0);
            for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(v[c], static_cast<float>(end[c]));
        }
    }
    // A new grid drops the table: the point follows the new grid.
    ASSERT_EQ(Render(148, {2, F(1.0f), F(1.7f)}), 0u);
    gRecord.calls.clear();
    ASSERT_EQ(BeginEnd(156, {1}), 0u);
    ExpectNear(Batches().at(0).vertices.at(0)[0].v, Casteljau(pts, 0.5), 1e-5, "new grid");
    // EvalPoint2 likewise on the two-dimensional grid.
    ASSERT_EQ(Map2f(kMap2Vertex3, 0, 1, 2, 0, 1, 2, {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 1}}), 0u);
    ASSERT_EQ(Enable(kMap2Vertex3), 0u);
    ASSERT_EQ(Render(150, {4, F(0.0f), F(1.0f), 2, F(0.0f), F(1.0f)}), 0u);
    gRecord.calls.clear();
    ASSERT_EQ(BeginEnd(158, {4, 2}), 0u);
    ExpectNear(Batches().at(0).vertices.at(0)[0].v, {1, 1, 1}, 0, "corner");
}

// Map requests: a target of the other dimension is ignored without an
// error; orders and domains are checked; the control points are read only
// from inside the request (one byte short of its points is refused).
TEST_F(EvalTest, MapRequestsAreChecked) {
    const auto pts = RandomPoints(4, 3, 5);
    gc_.error = 0;
    EXPECT_EQ(Map1f(kMap2Vertex3, 0, 1, pts), 0u);
    EXPECT_EQ(Map2f(kMap1Vertex3, 0, 1, 2, 0, 1, 2, pts), 0u);
    EXPECT_EQ(gc_.error, 0u);
    const __GLXevalMap* pm1 = __glXEvalMapOf(&gc_, kMap1Vertex3);
    const __GLXevalMap* pm2 = __glXEvalMapOf(&gc_, kMap2Vertex3);
    EXPECT_EQ(pm1->pPoints, nullptr);
    EXPECT_EQ(pm2->pPoints, nullptr);

    EXPECT_EQ(Map1f(kMap1Vertex3, 0, 1, {}), 2u);  // order 0
    EXPECT_EQ(gc_.error, GL_INVALID_VALUE);
    gc_.error = 0;
    EXPECT_EQ(Map1f(kMap1Vertex3, 0, 1, RandomPoints(31, 3, 1)), 2u);
    EXPECT_EQ(Map1f(kMap1Vertex3, 1, 1, pts), 2u);  // empty domain
    EXPECT_EQ(Map2f(kMap2Vertex3, 0, 1, 2, 3, 3, 2, pts), 2u);
    EXPECT_EQ(pm1->pPoints, nullptr);

    EXPECT_EQ(Map1f(kMap1Vertex3, 0, 1, pts, 1), GLX_BAD_LENGTH);
    EXPECT_EQ(Map2f(kMap2Vertex3, 0, 1, 2, 0, 1, 2, pts, 1), GLX_BAD_LENGTH);
    EXPECT_EQ(pm1->pPoints, nullptr);
    EXPECT_EQ(Map1f(kMap1Vertex3, 0, 1, pts), 0u);
    EXPECT_EQ(Map2f(kMap2Vertex3, 0, 1, 2, 0, 1, 2, pts), 0u);
    ASSERT_NE(pm1->pPoints, nullptr);
    EXPECT_EQ(pm1->uorder, 4u);
    EXPECT_EQ(pm2->uorder, 2u);
    EXPECT_EQ(pm2->vorder, 2u);
    // Fixed parts one byte short.
    EXPECT_EQ(Run(__glXRenderTable, RenderRequest(144, 15)), GLX_BAD_LENGTH);
    EXPECT_EQ(Run(__glXRenderTable, RenderRequest(145, 43)), GLX_BAD_LENGTH);
    EXPECT_EQ(Run(__glXRenderTable, RenderRequest(147, 19)), GLX_BAD_LENGTH);
    EXPECT_EQ(Run(__glXRenderTable, RenderRequest(157, 19)), GLX_BAD_LENGTH);
}

// Maps belong to no attribute group: a pop leaves them; the grids come back.
TEST_F(EvalTest, PushPopKeepsMapsRestoresGrids) {
    ASSERT_EQ(Render(142, {GL_EVAL_BIT}), 0u);  // PushAttrib
    const auto pts = RandomPoints(3, 3, 11);
    ASSERT_EQ(Map1f(kMap1Vertex3, 0, 1, pts), 0u);
    ASSERT_EQ(Render(148, {9, F(0.0f), F(1.0f)}), 0u);
    ASSERT_EQ(Render(141, {}), 0u);  // PopAttrib
    EXPECT_EQ(__glXEvalMapOf(&gc_, kMap1Vertex3)->uorder, 3u);
    EXPECT_EQ(gc_.pState->blocks[Bit(GL_EVAL_BIT)][GLX_EVAL_GRID_FIRST + 2], 1u);
}

// Between a compiled Begin and End the points go to the list compiler's
// spill (list_check.cpp), not evaluated; run from a list (or compiled and
// executed) they evaluate.
TEST_F(EvalTest, CompilingHandsThePointToTheList) {
    gc_.bCompiling = 1;
    gc_.pRenderTable = __glXRenderBeginEndTable;
    gRecord.calls.clear();
    EXPECT_EQ(BeginEnd(152, {F(0.5f)}), 0u);
    EXPECT_TRUE(Batches().empty());
    gc_.bCompiling = 0;
    EXPECT_EQ(BeginEnd(152, {}), GLX_BAD_LENGTH);
}

}  // namespace
}  // namespace glsrv_double
