// Textured polygons: the subdivider's splits, limits, depth and midpoints
// (through recording emitters), the level choice, and the renderers'
// packets as each rasterizer of 1, 2 and 4-rasterizer boards receives them:
// the texture words of every layout, winding, subdivision, the level pids
// and weights of the mip path, a level missing from the board, and the
// close of the two-program path.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <tuple>

#include "3d/textures/texcache.h"
#include "context/texture.h"
#include "gl/server/lgi/kz2/fill_fixture.h"
#include "kz2/render/kztritex.h"
#include "glpdev.h"
#include "lgi/seams.h"

namespace {

using namespace fill_test;

// --- recording emitters ------------------------------------------------------------------
struct Emitted {
    LONG x[3], y[3];
    float lambda;  // the level value the emitter was given
    int level;
};
std::vector<Emitted> gEmitted;

void Record(const TriTexVertex* a, const TriTexVertex* b, const TriTexVertex* c, float lambda, int level) {
    gEmitted.push_back({{a->x, b->x, c->x}, {a->y, b->y, c->y}, lambda, level});
}
void RecordEmit(N_Context*, const TriTexVertex* a, const TriTexVertex* b, const TriTexVertex* c, float lambda,
                int level, int, float) {
    Record(a, b, c, lambda, level);
}
void RecordEmitOpt(N_Context*, const TriTexVertex* a, const TriTexVertex* b, const TriTexVertex* c) {
    Record(a, b, c, 0.0f, -1);
}

TriTexVertex Corner(LONG x, LONG y, float q = 1.0f) {
    TriTexVertex v{};
    v.x = x, v.y = y, v.q = q, v.rq = 1.0f / q;
    return v;
}

class Subdivide : public LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        gEmitted.clear();
        gpfnNTriTexEmit = RecordEmit;
        gpfnNTriTexEmitOpt = RecordEmitOpt;
        ctx_->pHw->singlePass = 1;
    }
    void TearDown() override {
        gpfnNTriTexEmit = _NEmitTriTexPrim;
        gpfnNTriTexEmitOpt = _NEmitTriTexPrimOpt;
        LgiTest::TearDown();
    }
    // A triangle whose corners lie close together, with the top-level edge
    // words given: only the given edges can split, the pieces never do.
    void Tri(LONG lenAB, float mAB, LONG lenBC, float mBC, LONG lenCA, float mCA, LONG depth, bool bOpt = false) {
        A = Corner(0, 0), B = Corner(4, 0), C = Corner(0, 4);
        A.edgeLen = lenAB, A.qMeasure = mAB;
        B.edgeLen = lenBC, B.qMeasure = mBC;
        C.edgeLen = lenCA, C.qMeasure = mCA;
        if (bOpt) _NTriTexSubdivTriOpt(ctx_, &A, &B, &C, depth);
        else _NTriTexSubdivTri(ctx_, &A, &B, &C, depth);
    }
    TriTexVertex A, B, C;
};

TEST_F(Subdivide, EdgeLimitsByQMeasure) {
    const struct {
        LONG len;
        float measure;
        std::size_t pieces;
    } rows[] = {
        {60, 0.0f, 1},  {61, 0.0f, 2},  {61, -0.0f, 2}, {61, -1.0f, 2},  // below 0.07 (sign bit set too): 60
        {30, 0.07f, 1}, {31, 0.07f, 2}, {31, 0.0699f, 1},              // 0.07 up to 0.15: 30
        {8, 0.15f, 1},  {9, 0.15f, 2},  {9, 0.9f, 2},
    };
    for (const auto& r : rows) {
        gEmitted.clear();
        Tri(r.len, r.measure, 0, 0.0f, 0, 0.0f, 0);
        EXPECT_EQ(gEmitted.size(), r.pieces) << r.len << " " << r.measure;
    }
}

TEST_F(Subdivide, OneEdgeSplitsThroughTheOppositeCorner) {
    Tri(61, 0.0f, 0, 0.0f, 0, 0.0f, 0);
    ASSERT_EQ(gEmitted.size(), 2u);
    // tri (A, P, C), then tri (P, B, C): P = (2, 0).
    EXPECT_EQ(std::vector<LONG>(gEmitted[0].x, gEmitted[0].x + 3), (std::vector<LONG>{0, 2, 0}));
    EXPECT_EQ(std::vector<LONG>(gEmitted[1].x, gEmitted[1].x + 3), (std::vector<LONG>{2, 4, 0}));
    // The edge words are restored.
    EXPECT_EQ(A.edgeLen, 61);
    EXPECT_EQ(B.edgeLen, 0);
}

TEST_F(Subdivide, DepthLimitAndTheHardCap) {
    // At depth 9 one long edge is drawn whole, rotated (B, C, A).
    Tri(61, 0.0f, 0, 0.0f, 0, 0.0f, 9);
    ASSERT_EQ(gEmitted.size(), 1u);
    EXPECT_EQ(std::vector<LONG>(gEmitted[0].x, gEmitted[0].x + 3), (std::vector<LONG>{4, 0, 0}));
    // Three long edges split at depth 9 all the same.
    gEmitted.clear();
    Tri(61, 0.0f, 61, 0.0f, 61, 0.0f, 9);
    EXPECT_EQ(gEmitted.size(), 4u);
    // Past the hard cap the three-edge split draws the triangle whole.
    gEmitted.clear();
    Tri(61, 0.0f, 61, 0.0f, 61, 0.0f, N_TRITEX_DEPTH_CAP - 1);
    ASSERT_EQ(gEmitted.size(), 1u);
    EXPECT_EQ(A.edgeLen, 61);
}

TEST_F(Subdivide, HugeTriangleEndsWithinTheCap) {
    // Coordinates far past the screen with a steep q: the split ends.
    TriTexVertex a = Corner(-2000000000, -2000000000, 1.0f), b = Corner(2000000000, -2000000000, 50.0f),
                 c = Corner(0, 2000000000, 3.0f);
    _NTriTexEdge(&a, &b);
    _NTriTexEdge(&b, &c);
    _NTriTexEdge(&c, &a);
    ctx_->pHw->singlePass = 1;
    _NTriTexSubdivTriOpt(ctx_, &a, &b, &c, 9);
    EXPECT_GT(gEmitted.size(), 1u);
    EXPECT_LE(gEmitted.size(), std::size_t{1} << (2 * (N_TRITEX_DEPTH_CAP - 9)));
}

// The level of a piece is GL's at its centre, where 1/q is the mean of the
// corners' (1/q is linear across the screen).
TEST_F(Subdivide, LevelEvaluatedAtThePieceCentre) {
    ctx_->pHw->singlePass = 0;
    ctx_->boundTex.width = ctx_->boundTex.height = 64;
    ctx_->texLevels = 7;
    ctx_->val.tex.minFilter = 5;
    // s/q changes by 1/16 of the texture a pixel across, 1/q not at all:
    // rho = 4 q texels a pixel.
    gNTriTexPlanes = TriTexPlanes{};
    gNTriTexPlanes.dSdx = 1.0f / 16;
    A = Corner(0, 0, 2.0f), B = Corner(4, 0, 4.0f), C = Corner(0, 4, 8.0f);
    _NTriTexEdge(&A, &B);
    _NTriTexEdge(&B, &C);
    _NTriTexEdge(&C, &A);
    _NTriTexSubdivTri(ctx_, &A, &B, &C, 0);
    ASSERT_EQ(gEmitted.size(), 1u);
    const float qCentre = 3.0f / (0.5f + 0.25f + 0.125f);
    EXPECT_NEAR(gEmitted[0].lambda, std::log2(4.0f * qCentre), 1e-4);
}

// The depth limit draws a triangle or a quadrilateral whole only on the
// one-program path: there pieces take no level. On the two-program path a
// cut depends on the edge alone, never on the depth, so that the pieces on
// either side of an edge cut it alike (a piece drawn whole at the limit
// would leave its neighbour's cut corner in the middle of its edge, and a
// hole beside it).
TEST_F(Subdivide, TheTwoProgramPathCutsPastTheDepthLimit) {
    for (const ULONG single : {1u, 0u}) {
        SCOPED_TRACE(single);
        ctx_->pHw->singlePass = single;
        gEmitted.clear();
        Tri(61, 0.0f, 0, 0.0f, 0, 0.0f, 9);
        EXPECT_EQ(gEmitted.size(), single ? 1u : 2u);
        gEmitted.clear();
        TriTexVertex a = Corner(0, 0), b = Corner(4, 0), c = Corner(4, 4), d = Corner(0, 4);
        a.edgeLen = 61, b.edgeLen = 61;
        _NTriTexSubdivQuad(ctx_, &a, &b, &c, &d, 9);
        EXPECT_EQ(gEmitted.size(), single ? 2u : 4u);
    }
}

TEST_F(Subdivide, Quadrilaterals) {
    // No long edge, C = D: one triangle.
    TriTexVertex a = Corner(0, 0), b = Corner(4, 0), c = Corner(4, 4), d = Corner(4, 4);
    _NTriTexSubdivQuadOpt(ctx_, &a, &b, &c, &d, 0);
    EXPECT_EQ(gEmitted.size(), 1u);
    // AB and BC long at depth 9: (A, C, D) then (A, B, C).
    gEmitted.clear();
    a = Corner(0, 0, 2.0f), b = Corner(4, 0), c = Corner(4, 4), d = Corner(0, 4);
    a.edgeLen = 61, b.edgeLen = 61;
    _NTriTexSubdivQuad(ctx_, &a, &b, &c, &d, 9);
    ASSERT_EQ(gEmitted.size(), 2u);
    EXPECT_EQ(std::vector<LONG>(gEmitted[0].x, gEmitted[0].x + 3), (std::vector<LONG>{0, 4, 0}));
    EXPECT_EQ(std::vector<LONG>(gEmitted[1].x, gEmitted[1].x + 3), (std::vector<LONG>{0, 4, 4}));
    EXPECT_EQ(a.edgeLen, 61);
    // All four edges past the cap: drawn whole.
    gEmitted.clear();
    a.edgeLen = b.edgeLen = c.edgeLen = d.edgeLen = 61;
    _NTriTexSubdivQuad(ctx_, &a, &b, &c, &d, N_TRITEX_DEPTH_CAP - 1);
    EXPECT_EQ(gEmitted.size(), 2u);
}

TEST(TriTexMidpoint, WordsOfTheMidpoint) {
    TriTexVertex a = Corner(5, 0, 1.0f), b = Corner(-6, 0, 1.0f), m{};
    a.colour = 0xFF0000FF, b.colour = 0x00000001;
    a.alpha = 0x01010101, b.alpha = 0x02020202;
    a.s16 = 16.0f, b.s16 = 48.0f;
    _NTriTexMidpoint(&a, &b, &m);
    EXPECT_EQ(m.x, -1);
    EXPECT_EQ(m.colour, 0x00000080u);
    EXPECT_EQ(m.alpha, 0x01010101u);
    EXPECT_FLOAT_EQ(m.s16, 32.0f);
    a.alpha = 0xFFFFFFFF, b.alpha = 0xC8C8C8C8;
    _NTriTexMidpoint(&a, &b, &m);
    EXPECT_EQ(m.alpha, 0xE3E3E3E3u);
    // Perspective: 1/q means 0.5 and 0.25 give q = 1/0.375 and s weighted.
    a = Corner(0, 0, 2.0f), b = Corner(8, 0, 4.0f);
    a.s16 = 0.0f, b.s16 = 30.0f;
    _NTriTexMidpoint(&a, &b, &m);
    EXPECT_FLOAT_EQ(m.q, 2.0f / 0.75f);
    EXPECT_FLOAT_EQ(m.s16, 10.0f);
    EXPECT_FLOAT_EQ(m.rq, 0.375f);
}

TEST(TriTexMidpoint, OpposedOrZeroWeightsGiveTheScreenMean) {
    // 1/q values summing to zero (or of opposite signs) would scale the
    // coordinates by 2^31: the plain mean is taken instead.
    const struct {
        float q0, q1;
    } rows[] = {{1.0f, -1.0f}, {2.0f, -0.5f}, {0.0f, -0.0f}};
    for (const auto& r : rows) {
        TriTexVertex a = Corner(0, 0), b = Corner(2, 0), m{};
        a.q = r.q0, a.rq = _NTriTexRecipQ(r.q0), b.q = r.q1, b.rq = _NTriTexRecipQ(r.q1);
        a.s16 = 100.0f, b.s16 = 300.0f;
        _NTriTexMidpoint(&a, &b, &m);
        EXPECT_FLOAT_EQ(m.s16, 200.0f) << r.q0 << " " << r.q1;
        EXPECT_TRUE(std::isfinite(m.q) && std::isfinite(m.rq));
    }
    EXPECT_EQ(_NTriTexRecipQ(0.0f), 10000.0f);
    EXPECT_EQ(_NTriTexRecipQ(-0.0f), 10000.0f);
}

// --- coordinates at the sample points ---------------------------------------------------------
// GL's planes of 1/q and of s and t in sixteenths times 1/q, over window
// positions: the corners must come out with GL's values at their own
// position plus the sample point's offset.
struct GlPlanes {
    double r0, rx, ry, u0, ux, uy, v0, vx, vy;
    double R(double x, double y) const { return r0 + rx * x + ry * y; }
    double S16(double x, double y) const { return (u0 + ux * x + uy * y) / R(x, y); }
    double T16(double x, double y) const { return (v0 + vx * x + vy * y) / R(x, y); }
};

TEST(TriTexSamplePoints, CornersTakeGlsValuesWhereTheBoardSamples) {
    const struct {
        const char* name;
        double x[3], y[3];  // the window positions as transformed
        double half;        // whole pixels 0.5, sixteenths 0
        GlPlanes gl;
    } rows[] = {
        {"whole pixels on the grid", {8, 168, 8}, {16, 16, 176}, 0.5, {1, 0, 0, 40, 2.5, 0, 40, 0, -2.5}},
        {"whole pixels off the grid", {8.7, 168.2, 8.4}, {16.9, 16.1, 175.6}, 0.5, {1, 0, 0, 3, 1.6, 0.3, 7, -0.2, 1.1}},
        {"perspective", {10.3, 90.8, 30.5}, {5.2, 12.7, 70.9}, 0.5, {0.5, 0.004, 0.002, 2, 0.8, 0.1, 1, 0.05, 0.6}},
        {"sixteenths", {160.4, 2690.9, 480.2}, {80.6, 190.3, 1500.7}, 0.0, {1, 0, 0, 5, 0.1, 0.02, 9, 0.03, 0.12}},
    };
    for (const auto& r : rows) {
        TriTexVertex c[3];
        for (int i = 0; i < 3; ++i) {
            c[i] = Corner(static_cast<LONG>(r.x[i]), static_cast<LONG>(r.y[i]));
            c[i].rq = static_cast<float>(r.gl.R(r.x[i], r.y[i]));
            c[i].q = 1.0f / c[i].rq;
            c[i].s16 = static_cast<float>(r.gl.S16(r.x[i], r.y[i]));
            c[i].t16 = static_cast<float>(r.gl.T16(r.x[i], r.y[i]));
        }
        TriTexVertex* const v[3] = {&c[0], &c[1], &c[2]};
        ASSERT_TRUE(_NTriTexAtSamplePoints(v, r.x, r.y, r.half)) << r.name;
        for (int i = 0; i < 3; ++i) {
            const double px = c[i].x + r.half, py = c[i].y + r.half;
            EXPECT_NEAR(c[i].s16, r.gl.S16(px, py), 1e-3) << r.name << " corner " << i;
            EXPECT_NEAR(c[i].t16, r.gl.T16(px, py), 1e-3) << r.name << " corner " << i;
            EXPECT_NEAR(c[i].rq, r.gl.R(px, py), 1e-6) << r.name << " corner " << i;
            EXPECT_NEAR(c[i].q * c[i].rq, 1.0, 1e-6) << r.name << " corner " << i;
        }
    }
}

TEST(TriTexSamplePoints, TrianglesWithoutAPlaneKeepTheirCorners) {
    const struct {
        const char* name;
        double x[3], y[3];
        float q[3];
        float s16[3];
    } rows[] = {
        {"no area", {0, 10, 20}, {0, 10, 20}, {1, 1, 1}, {0, 16, 32}},
        {"a q of 0", {0, 10, 0}, {0, 0, 10}, {1, 0, 1}, {0, 16, 32}},
        {"q of either sign", {0, 10, 0}, {0, 0, 10}, {1, -1, 1}, {0, 16, 32}},
        // A sliver a thousandth of a pixel wide whose s changes by a texture
        // across it: its corners would take values far beyond the texture.
        {"a sliver", {0.2, 100.2, 0.201}, {0.2, 0.2, 0.2013}, {1, 1, 1}, {0, 16, 4000}},
    };
    for (const auto& r : rows) {
        TriTexVertex c[3];
        for (int i = 0; i < 3; ++i) {
            c[i] = Corner(static_cast<LONG>(r.x[i]), static_cast<LONG>(r.y[i]));
            c[i].q = r.q[i], c[i].rq = _NTriTexRecipQ(r.q[i]), c[i].s16 = r.s16[i], c[i].t16 = r.s16[i];
        }
        TriTexVertex* const v[3] = {&c[0], &c[1], &c[2]};
        EXPECT_FALSE(_NTriTexAtSamplePoints(v, r.x, r.y, 0.5)) << r.name;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(c[i].s16, r.s16[i]) << r.name;
            EXPECT_EQ(c[i].q, r.q[i]) << r.name;
        }
    }
}

// --- level choice -----------------------------------------------------------------------------
class Lod : public LgiTest {
  protected:
    // A corner with Q 1 and S, T 0 whose footprint is rho texels a pixel
    // along s (and rhoT along t) as x steps.
    void Footprint(float rho, float rhoT = 0.0f) {
        gNTriTexPlanes = TriTexPlanes{};
        gNTriTexPlanes.Q[0] = 1.0f;
        gNTriTexPlanes.dSdx = -rho / static_cast<float>(ctx_->boundTex.width);
        gNTriTexPlanes.dTdx = -rhoT / static_cast<float>(ctx_->boundTex.height);
    }
};

TEST_F(Lod, LevelsByFilter) {
    ctx_->boundTex.width = ctx_->boundTex.height = 64;
    ctx_->texLevels = 7;
    const struct {
        ULONG filter;
        float rho;
        int level, level2;
        float lambda;
    } rows[] = {
        {5, 1.0f, 0, 1, 0.0f},  {5, 4.0f, 2, 3, 2.0f}, {3, std::exp2(-0.7f), 0, 1, -0.7f},
        {5, 1e6f, 6, 6, std::log2(1e6f)},
        {2, std::exp2(0.49f), 0, -9, 0.49f}, {2, std::exp2(0.51f), 1, -9, 0.51f}, {4, std::exp2(2.5f), 2, -9, 2.5f},
        {4, 1e6f, 6, -9, std::log2(1e6f)},  {1, 8.0f, 3, -9, 3.0f},
    };
    for (const auto& r : rows) {
        ctx_->val.tex.minFilter = r.filter;
        Footprint(r.rho);
        float lambda = -1, frac = -1;
        int level2 = -9;
        const int level = _NTriTexVertexLod(ctx_, &lambda, &level2, &frac, 0);
        EXPECT_EQ(level, r.level) << r.filter << " " << r.rho;
        EXPECT_EQ(level2, r.level2) << r.filter << " " << r.rho;
        EXPECT_NEAR(lambda, r.lambda, 1e-4) << r.filter << " " << r.rho;
        EXPECT_NEAR(frac, r.lambda - std::trunc(r.lambda), 1e-4);
    }
    // GL's rho is the length of the texel step: 3 texels across and 4 up
    // a pixel to the right are a footprint of 5.
    ctx_->val.tex.minFilter = 5;
    Footprint(3.0f, 4.0f);
    float lambda = -1, frac = -1;
    int level2 = -9;
    EXPECT_EQ(_NTriTexVertexLod(ctx_, &lambda, &level2, &frac, 0), 2);
    EXPECT_NEAR(lambda, std::log2(5.0f), 1e-5);
}

TEST_F(Lod, ZeroQAndDegenerateTrianglesGiveTheBaseLevel) {
    ctx_->boundTex.width = ctx_->boundTex.height = 64;
    ctx_->texLevels = 7;
    ctx_->val.tex.minFilter = 5;
    // A corner with q = 0: Q, S and T are 0, not infinite.
    TriTexVertex a = Corner(0, 0, 0.0f), b = Corner(10, 0), c = Corner(0, 10);
    a.q = 0.0f, a.rq = _NTriTexRecipQ(0.0f), a.s16 = 40.0f;
    _NTriTexPlaneSetup(ctx_, &a, &b, &c);
    _NTriTexPerspSetup(&a, &b, &c);
    EXPECT_EQ(gNTriTexPlanes.Q[0], 0.0f);
    EXPECT_EQ(gNTriTexPlanes.S[0], 0.0f);
    float lambda = -1, frac = -1;
    int level2 = -1;
    EXPECT_EQ(_NTriTexVertexLod(ctx_, &lambda, &level2, &frac, 0), 0);
    EXPECT_EQ(lambda, 0.0f);
    // Collinear corners: finite gradients from the unscaled factors.
    TriTexVertex d = Corner(0, 0), e = Corner(5, 5), f = Corner(10, 10);
    d.s16 = 1.0f, e.s16 = 50.0f, f.s16 = 99.0f;
    _NTriTexPlaneSetup(ctx_, &d, &e, &f);
    for (float g : {gNTriTexPlanes.dSdx, gNTriTexPlanes.dSdy, gNTriTexPlanes.dQdx, gNTriTexPlanes.dQdy})
        EXPECT_TRUE(std::isfinite(g));
}

// --- the renderers over the board ----------------------------------------------------------------
constexpr ULONG kW = 16, kH = 16;

// Header loads of a textured triangle program of layout d: the colour
// register by the layout, s and t in z0 and z1, the depth in z2.
ULONG TexLoadsOf(ULONG d) {
    const ULONG form = d > 10 ? d - 10 : d;
    ULONG loads = 0;
    if (form == 2) loads |= kzuHdrLoadKind(KZU_rgb0, kLoadPerVertex);
    if (form == 5) loads |= kzuHdrLoadKind(KZU_rgb0, kLoadPerFace);
    if (form == 8) loads |= kzuHdrLoadKind(KZU_rgb0, kLoadPerPacket);
    loads |= kzuHdrLoadKind(KZU_z0, kLoadPerVertex) | kzuHdrLoadKind(KZU_z1, kLoadPerVertex);
    if (d > 10) loads |= kzuHdrLoadKind(KZU_z2, kLoadPerVertex);
    return loads;
}

class TexRender : public FillTest {
  protected:
    void PrepareTex(const BoardModel& m, ULONG d, bool bOneProgram = true, ULONG modelImprecision = 0) {
        Prepare(m, d, modelImprecision);
        SetTexProgram(d, 0, 0x1111);
        if (!bOneProgram) SetTexProgram(d, 2, 0x2222);
        ctx_->pHw->singlePass = bOneProgram ? 1 : 0;
        N_TexSampling& s = ctx_->val.tex;
        s = N_TexSampling{};
        s.limits[0] = 16 * kW - 2;
        s.limits[1] = 16 * kH - 2;
        s.minFilter = bOneProgram ? 0 : 1;
        ctx_->boundTex.width = kW;
        ctx_->boundTex.height = kH;
        ctx_->texLevels = 1;
        gpfnNTriTexEmit = _NEmitTriTexPrim;
        gpfnNTriTexEmitOpt = _NEmitTriTexPrimOpt;
    }
    void SetTexProgram(ULONG d, ULONG slot, ULONG pid) {
        BuildProgram(ctx_, slot, 0x25 | TexLoadsOf(d), d, {pid, pid + 1});
    }
    // Draws the batch with texture coordinates (s, t, 0, q) a vertex.
    void DrawTex(N_StageFn fn, const Batch& b, const std::vector<std::array<float, 4>>& tex) {
        tex_.clear();
        for (const auto& t : tex) tex_.insert(tex_.end(), t.begin(), t.end());
        ctx_->blocks[b.kind & 15].common.pTexWork = tex_.data();
        Draw(fn, b);
    }
    // Every rasterizer's primitives, all together.
    static std::vector<Prim> All(const std::vector<std::vector<Prim>>& r) {
        std::vector<Prim> out;
        for (const auto& q : r) out.insert(out.end(), q.begin(), q.end());
        return out;
    }
    std::vector<float> tex_;
};

ULONG S16(float s, ULONG size) { return static_cast<ULONG>(std::lround(s * (16.0f * size - 2.0f) + 1.0f)); }

TEST_F(TexRender, WordsOfEveryLayoutOnEveryBoard) {
    Batch b;
    b.kind = N_PRIM_TRIANGLES;
    b.v = {{2, 2, 0x100}, {20, 2, 0x200}, {2, 20, 0x300}};
    b.runs = {{1, 1}};
    const std::vector<std::array<float, 4>> tex = {{{0.0f, 0.0f, 0, 1}}, {{0.5f, 0.0f, 0, 1}}, {{0.0f, 0.75f, 0, 1}}};
    for (const BoardModel& m : {kSolo, kDuo, kQuad}) {
        for (ULONG d : {2u, 5u, 8u, 12u, 15u, 18u}) {
            PrepareTex(m, d);
            DrawTex(_NvpRenderTriTexOpt, b, tex);
            Prim want;
            if (d == 2 || d == 12) want = {ColourOf(0), ColourOf(1), ColourOf(2)};
            if (d == 5 || d == 15) want = {ColourOf(2)};  // a triangle's colour: its last vertex's
            want.insert(want.end(), {S16(0, kW), S16(0.5f, kW), S16(0, kW), S16(0, kH), S16(0, kH), S16(0.75f, kH)});
            if (d > 10) want.insert(want.end(), {0x100, 0x200, 0x300});
            want.insert(want.end(), {Pos(2, 2), Pos(20, 2), Pos(2, 20)});
            const auto got = Received();
            const auto all = All(got);
            ASSERT_FALSE(all.empty()) << m.name << " " << d;
            for (const Prim& p : all) EXPECT_EQ(p, want) << m.name << " layout " << d;
            EXPECT_EQ(gcNext, 1u);
        }
    }
}

TEST_F(TexRender, NoColourLayoutsCarryTheColourInTheHead) {
    PrepareTex(kSolo, 8);
    Batch b;
    b.kind = N_PRIM_TRIANGLES;
    b.v = {{2, 2, 0}, {20, 2, 0}, {2, 20, 0}};
    b.runs = {{1, 1}};
    DrawTex(_NvpRenderTriTexOpt, b, {{{0, 0, 0, 1}}, {{0, 0, 0, 1}}, {{0, 0, 0, 1}}});
    const auto packets = Packets();
    ASSERT_EQ(packets[0].size(), 1u);
    ASSERT_FALSE(packets[0][0].constants.empty());
    EXPECT_EQ(packets[0][0].constants.back(), ColourOf(2));
}

TEST_F(TexRender, WindingAndQuadsAndStrips) {
    PrepareTex(kSolo, 2);
    // A triangle wound against the board goes out (A, C, B).
    Batch t;
    t.kind = N_PRIM_TRIANGLES;
    t.v = {{2, 2, 0}, {2, 20, 0}, {20, 2, 0}};
    t.runs = {{1, 1}};
    const std::vector<std::array<float, 4>> tex3(3, {0, 0, 0, 1});
    DrawTex(_NvpRenderTriTexOpt, t, tex3);
    auto got = All(Received());
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(Prim(got[0].begin() + 9, got[0].end()), (Prim{Pos(2, 2), Pos(20, 2), Pos(2, 20)}));
    EXPECT_EQ(Prim(got[0].begin(), got[0].begin() + 3), (Prim{ColourOf(0), ColourOf(2), ColourOf(1)}));
    // A quad: (0, 1, 2), then (0, 2, 3).
    Batch q;
    q.kind = N_PRIM_QUADS;
    q.v = {{2, 2, 0}, {20, 2, 0}, {20, 20, 0}, {2, 20, 0}};
    q.runs = {{1, 1}};
    DrawTex(_NvpRenderTriTexOpt, q, std::vector<std::array<float, 4>>(4, {0, 0, 0, 1}));
    got = All(Received());
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(Prim(got[0].begin() + 9, got[0].end()), (Prim{Pos(2, 2), Pos(20, 2), Pos(20, 20)}));
    EXPECT_EQ(Prim(got[1].begin() + 9, got[1].end()), (Prim{Pos(2, 2), Pos(20, 20), Pos(2, 20)}));
    // A strip of three faces, the middle one culled: faces 0 and 2 drawn.
    Batch s;
    s.kind = N_PRIM_TRI_STRIP;
    s.v = {{2, 2, 0}, {2, 20, 0}, {20, 2, 0}, {20, 20, 0}, {38, 2, 0}};
    s.runs = {{1, 1}, {4, 1}, {1, 1}};
    s.records = 9;
    DrawTex(_NvpRenderTriTexOpt, s, std::vector<std::array<float, 4>>(5, {0, 0, 0, 1}));
    got = All(Received());
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0][9], Pos(2, 2));
    EXPECT_EQ(got[1][9], Pos(20, 2));
}

// A triangle with a vertex the render function may not draw is left out
// before it is cut into pieces; the batch's other triangles are drawn.
TEST_F(TexRender, TrianglesWithAnUndrawableVertexAreLeftOut) {
    for (const Undrawable& bad : kUndrawable) {
        for (N_StageFn fn : {_NvpRenderTriTexOpt, _NvpRenderTriTex}) {
            SCOPED_TRACE(bad.name);
            PrepareTex(kSolo, 12);
            Batch t;
            t.kind = N_PRIM_TRIANGLES;
            t.v = {{2, 2, 0x100}, bad.v, {2, 20, 0x300}, {30, 2, 0x100}, {48, 2, 0x200}, {30, 20, 0x300}};
            t.runs = {{1, 2}};
            DrawTex(fn, t, std::vector<std::array<float, 4>>(6, {0, 0, 0, 1}));
            const auto got = All(Received());
            ASSERT_EQ(got.size(), 1u);
            EXPECT_EQ(Prim(got[0].end() - 3, got[0].end()), (Prim{Pos(30, 2), Pos(48, 2), Pos(30, 20)}));
        }
    }
}

TEST_F(TexRender, LongTrianglesAreSubdivided) {
    for (const BoardModel& m : {kSolo, kDuo, kQuad}) {
        PrepareTex(m, 2);
        Batch b;
        b.kind = N_PRIM_TRIANGLES;
        b.v = {{0, 0, 0}, {250, 0, 0}, {0, 250, 0}};
        b.runs = {{1, 1}};
        // q changes strongly along every edge: a limit of 8 pixels.
        DrawTex(_NvpRenderTriTexOpt, b, {{{0, 0, 0, 1}}, {{1, 0, 0, 4}}, {{0, 1, 0, 2}}});
        const auto got = Received();
        std::set<Prim> unique;
        for (const auto& r : got)
            for (const Prim& p : r) unique.insert(p);
        // Each piece's edges are within the limit.
        for (const Prim& p : unique) {
            for (ULONG j = 0; j < 3; ++j) {
                const ULONG a = p[9 + j], c = p[9 + (j + 1) % 3];
                const LONG dx = std::abs(LONG(a & 0xFFFF) - LONG(c & 0xFFFF)) >> 4;
                const LONG dy = std::abs(LONG(a >> 20) - LONG(c >> 20));
                EXPECT_LE(std::max(dx, dy), 60) << m.name;
            }
        }
        EXPECT_GT(unique.size(), 16u) << m.name;
    }
}

// A texture of four levels (16, 8, 4, 2 texels) in the device's table under
// the cache's identifier; `loaded` says which levels are on the board.
class MipRender : public TexRender {
  protected:
    void Load(std::initializer_list<ULONG> loaded) {
        std::vector<ULONG> texels(kW * kH, 0xFF00FF);
        // The device's texture table outlives a board: an identifier of its own.
        static ULONG s_next = 0x51510000;
        kId = ++s_next;
        ASSERT_EQ(_NNewTexCacheEntry(ctx_, 0, kW, kH), 1u);
        _NLoadTexCacheLevel(ctx_, kId, 1, kW, kH, 0, 0, texels.data());
        ASSERT_EQ(_NCurrentTexChecksum(ctx_), kId);
        for (ULONG l : loaded) {
            const LONG side = static_cast<LONG>(kW >> l);
            ASSERT_NE(_DLoadTexture(Pdev(), kId, l, side, side, texels.data(), FALSE, nullptr), 0u);
            pid_[l] = _DFindTexture(Pdev(), l, kId, nullptr) & 0xFFFF;
        }
        ctx_->texLevels = 4;
        ctx_->val.tex.mipmap = 1;
        ctx_->texPidIndex = 0;
        Place();
    }
    // The coordinates placed as the texture validation places them: a
    // coordinate s at s x 16 x width sixteenths of a level-0 texel (nearest
    // texels), or half a texel lower, one repeat of the texture up (the
    // neighbour filters), by the filters in force.
    void Place() {
        N_TexSampling& s = ctx_->val.tex;
        const bool bNeighbours = s.magFilter != 0 || s.minFilter == 1 || s.minFilter == 4 || s.minFilter == 5;
        s.limits[0] = 16 * kW, s.limits[1] = 16 * kH;
        s.limits[2] = bNeighbours ? 16 * kW - 8 - 1 : -1;
        s.limits[3] = bNeighbours ? 16 * kH - 8 - 1 : -1;
    }
    // One triangle whose texture footprint is about rho texels a pixel
    // (lambda log2 rho) at its first corner.
    Batch Tri() {
        Batch b;
        b.kind = N_PRIM_TRIANGLES;
        b.v = {{2, 2, 0}, {6, 2, 0}, {2, 6, 0}};
        b.runs = {{1, 1}};
        return b;
    }
    std::vector<std::array<float, 4>> Tex(float rho) {
        const float ds = rho * 4.0f / kW;
        return {{{0, 0, 0, 1}}, {{ds, 0, 0, 1}}, {{0, ds, 0, 1}}};
    }
    ULONG kId = 0;
    ULONG pid_[4] = {};
};

// The words of a level are GL's texel coordinates on that level: u = s x
// width of the level (in sixteenths of its texel), nearest texels at u,
// the neighbour filters at u - 1/2.
TEST_F(MipRender, LevelPidAndTheLevelsCoordinates) {
    PrepareTex(kSolo, 2, false);
    ctx_->val.tex.minFilter = 2;
    Load({0, 1, 2, 3});
    DrawTex(_NvpRenderTriTex, Tri(), Tex(4.0f));  // lambda 2: level 2
    const auto packets = Packets();
    ASSERT_EQ(packets[0].size(), 1u);
    EXPECT_EQ(packets[0][0].pid(0), pid_[2]);
    const Prim p = packets[0][0].primitive(0);
    EXPECT_EQ(p[4], 16u * 4u);  // s = 1 on a level of 4 texels
    // A bilinear level starts half its own texel lower (one repeat up).
    PrepareTex(kSolo, 2, false);
    ctx_->val.tex.minFilter = 4;
    ctx_->val.tex.magFilter = 1;
    Load({0, 1, 2, 3});
    DrawTex(_NvpRenderTriTex, Tri(), Tex(4.0f));
    const auto linear = Packets();
    ASSERT_EQ(linear[0].size(), 1u);
    EXPECT_EQ(linear[0][0].pid(0), pid_[2]);
    const Prim q = linear[0][0].primitive(0);
    EXPECT_EQ(q[3], 16u * 4u - 8u);           // s = 0
    EXPECT_EQ(q[4], 16u * 4u + 16u * 4u - 8u);  // s = 1
}

TEST_F(MipRender, TwoLevelsPlaceBothPidsAndTheWeights) {
    PrepareTex(kSolo, 2, false);
    ctx_->val.tex.minFilter = 5;
    ctx_->val.tex.magFilter = 1;
    ctx_->val.tex.betweenLevels = 1;
    // The weights in image words past the test program's head.
    ctx_->texWeightIndex = 4;
    Load({0, 1, 2, 3});
    const float rho = std::exp2(1.5f), s1 = rho * 4.0f / kW;
    DrawTex(_NvpRenderTriTex, Tri(), Tex(rho));  // lambda 1.5: levels 1 and 2, half way
    const auto packets = Packets();
    ASSERT_EQ(packets[0].size(), 1u);
    EXPECT_EQ(packets[0][0].pid(0), pid_[1]);
    EXPECT_EQ(packets[0][0].pid(1), pid_[2]);
    ASSERT_GE(packets[0][0].instructions.size(), 1u);
    const Prim p = packets[0][0].primitive(0);
    // The program filters the second level at the words and the first at
    // twice them. The first weighs as much (frac 0.5 gives it 0x80): twice
    // the words are its u - 1/2 (one repeat up) to the sixteenth; the
    // second is read a quarter of its texel off.
    const double fine = 16.0 * s1 * (kW / 2) - 8 + 16 * (kW / 2), coarse = 16.0 * s1 * (kW / 4) - 8 + 16 * (kW / 4);
    EXPECT_NEAR(2.0 * static_cast<LONG>(p[4]), fine, 1.0);
    EXPECT_NEAR(static_cast<LONG>(p[4]), coarse, 4.5);
    // The weights 0x7F7F7F / 0x808080 of a fraction of one half.
    const kzProgPacket& img = pkzProgOf(ctx_->pHw->programs[0])->image;
    EXPECT_EQ(img.w[KZ_IMG_BODY + 4], 0x7F7F7Fu);
    EXPECT_EQ(img.w[KZ_IMG_BODY + 5], 0x808080u);
}

// The weights ride in the packet's constants: triangles of one pair of
// levels blended by other fractions go in packets of their own.
TEST_F(MipRender, EachBlendOfTheLevelsTakesItsOwnPacket) {
    for (const bool same : {true, false}) {
        SCOPED_TRACE(same ? "one fraction" : "two fractions");
        PrepareTex(kSolo, 2, false);
        ctx_->val.tex.minFilter = 5;
        ctx_->val.tex.betweenLevels = 1;
        ctx_->texWeightIndex = 4;
        Load({0, 1, 2, 3});
        Batch b;
        b.kind = N_PRIM_TRIANGLES;
        b.v = {{2, 2, 0}, {6, 2, 0}, {2, 6, 0}, {12, 2, 0}, {16, 2, 0}, {12, 6, 0}};
        b.runs = {{1, 2}};
        const float d1 = std::exp2(1.25f) * 4.0f / kW, d2 = std::exp2(same ? 1.25f : 1.75f) * 4.0f / kW;
        DrawTex(_NvpRenderTriTex, b,
                {{{0, 0, 0, 1}}, {{d1, 0, 0, 1}}, {{0, d1, 0, 1}}, {{0, 0, 0, 1}}, {{d2, 0, 0, 1}}, {{0, d2, 0, 1}}});
        const auto packets = Packets();
        EXPECT_EQ(packets[0].size(), same ? 1u : 2u);
        EXPECT_EQ(PrimsIn(packets[0]).size(), 2u);
    }
}

TEST_F(MipRender, ALevelMissingFromTheBoardDrawsAFinerOne) {
    PrepareTex(kSolo, 2, false);
    ctx_->val.tex.minFilter = 2;
    Load({0, 1});
    DrawTex(_NvpRenderTriTex, Tri(), Tex(4.0f));  // level 2 asked, level 1 drawn
    const auto packets = Packets();
    ASSERT_EQ(packets[0].size(), 1u);
    EXPECT_EQ(packets[0][0].pid(0), pid_[1]);
    EXPECT_EQ(packets[0][0].primitive(0)[4], 16u * 8u);  // s = 1 on level 1's 8 texels
    EXPECT_TRUE(Printed("level 2 is not on the board, level 1 drawn"));
    // Blending two levels, the second missing: the finer one alone, read
    // at the words (all the weight on the second pid).
    PrepareTex(kSolo, 2, false);
    ctx_->val.tex.minFilter = 3;
    ctx_->val.tex.betweenLevels = 1;
    ctx_->texWeightIndex = 4;
    Load({0, 1});
    DrawTex(_NvpRenderTriTex, Tri(), Tex(std::exp2(1.5f)));  // levels 1 and 2 asked
    const auto two = Packets();
    ASSERT_EQ(two[0].size(), 1u);
    EXPECT_EQ(two[0][0].pid(0), pid_[1]);
    EXPECT_EQ(two[0][0].pid(1), pid_[1]);
    const kzProgPacket& img = pkzProgOf(ctx_->pHw->programs[0])->image;
    EXPECT_EQ(img.w[KZ_IMG_BODY + 4], 0xFFFFFFu);
    EXPECT_EQ(img.w[KZ_IMG_BODY + 5], 0u);
    EXPECT_EQ(two[0][0].primitive(0)[4], static_cast<ULONG>(std::lround(16.0 * std::exp2(1.5) * 4 / kW * 8)));
}

// A quad going away from the eye (q from 1 to 8) over levels 0 to 3: its
// triangles are cut where the level changes, and the pieces still cover
// every pixel of the quad once under the board's coverage rule (pixel
// (x, y) sampled at (16x, 16y), a point on an edge taken by a top or left
// edge only): two pieces sharing an edge cut it alike, so no hole opens
// between them.
TEST_F(MipRender, LevelChangesCutTheQuadLeavingNoHole) {
    PrepareTex(kSolo, 2, false, 1);  // sixteenths of a pixel
    ctx_->val.tex.minFilter = 2;
    Load({0, 1, 2, 3});
    Batch b;
    b.kind = N_PRIM_QUADS;
    // A floor seen in perspective: its far edge an eighth as wide as the
    // near one (s/q, t/q and 1/q linear across the quad's two triangles).
    const LONG X[4] = {0, 2048, 1152, 896}, Y[4] = {1600, 1600, 64, 64};
    for (int k = 0; k < 4; ++k) b.v.push_back({X[k], Y[k], 0});
    b.runs = {{1, 1}};
    DrawTex(_NvpRenderTriTex, b, {{{0, 0, 0, 1}}, {{1, 0, 0, 1}}, {{1, 4, 0, 8}}, {{0, 4, 0, 8}}});
    const auto packets = Packets();
    std::set<ULONG> pids;
    std::vector<std::array<std::array<std::int64_t, 2>, 3>> pieces;
    for (const auto& pk : packets[0]) {
        pids.insert(pk.pid(0));
        for (std::size_t i = 0; i < pk.primitives; ++i) {
            const Prim p = pk.primitive(i);
            std::array<std::array<std::int64_t, 2>, 3> t;
            for (int j = 0; j < 3; ++j) t[j] = {p[9 + j] & 0xFFFF, p[9 + j] >> 16};
            pieces.push_back(t);
        }
    }
    EXPECT_GE(pids.size(), 3u) << "levels drawn";
    EXPECT_GT(pieces.size(), 100u) << "cut where the level changes";
    // Whether a piece covers the sample point (cx, cy), by the rule above.
    auto covers = [](std::array<std::array<std::int64_t, 2>, 3> t, std::int64_t cx, std::int64_t cy) {
        const std::int64_t area =
            (t[1][0] - t[0][0]) * (t[2][1] - t[0][1]) - (t[1][1] - t[0][1]) * (t[2][0] - t[0][0]);
        if (area == 0) return false;
        if (area < 0) std::swap(t[1], t[2]);
        for (int e = 0; e < 3; ++e) {
            const auto& a = t[(e + 1) % 3];
            const auto& c = t[(e + 2) % 3];
            const std::int64_t dx = c[0] - a[0], dy = c[1] - a[1];
            const std::int64_t v = dx * (cy - a[1]) - dy * (cx - a[0]);
            if (v < 0 || (v == 0 && !(dy < 0 || (dy == 0 && dx > 0)))) return false;
        }
        return true;
    };
    int holes = 0, doubles = 0, inside = 0;
    for (std::int64_t cy = 0; cy <= 1600; cy += 16)
        for (std::int64_t cx = 0; cx <= 2048; cx += 16) {
            // Only points well inside the quad: its own edges are cut at
            // midpoints rounded to the sixteenth.
            bool in = true;
            for (int k = 0; k < 4; ++k) {
                const double ax = X[k], ay = Y[k], bx = X[(k + 1) % 4], by = Y[(k + 1) % 4];
                const double d = ((bx - ax) * (cy - ay) - (by - ay) * (cx - ax)) / std::hypot(bx - ax, by - ay);
                in = in && d < -2.0;  // the quad winds clockwise on the screen (y down)
            }
            if (!in) continue;
            ++inside;
            int n = 0;
            for (const auto& t : pieces) n += covers(t, cx, cy) ? 1 : 0;
            holes += n == 0 ? 1 : 0;
            doubles += n > 1 ? 1 : 0;

        }
    EXPECT_GT(inside, 5000);
    EXPECT_EQ(holes, 0);
    EXPECT_EQ(doubles, 0);
}

// Different filters without mip-maps: each program takes the coordinates
// as it reads them, the nearest texels at u, the bilinear at u - 1/2.
TEST_F(TexRender, MixedFiltersPlaceEachProgramsCoordinates) {
    PrepareTex(kSolo, 2, false);
    N_TexSampling& s = ctx_->val.tex;
    s.minFilter = 0, s.magFilter = 1;
    s.limits[0] = 16 * kW, s.limits[1] = 16 * kH;
    s.limits[2] = 16 * kW - 9, s.limits[3] = 16 * kH - 9;  // placed for the bilinear filter
    Batch b;
    b.kind = N_PRIM_TRIANGLES;
    b.v = {{2, 2, 0}, {42, 2, 0}, {2, 42, 0}};
    b.runs = {{1, 1}};
    // Magnification, a sixteenth of the texture over 40 pixels, then
    // minification, the texture eight times over them.
    DrawTex(_NvpRenderTriTex, b, {{{0, 0, 0, 1}}, {{0.0625f, 0, 0, 1}}, {{0, 0.0625f, 0, 1}}});
    DrawTex(_NvpRenderTriTex, b, {{{0, 0, 0, 1}}, {{8, 0, 0, 1}}, {{0, 8, 0, 1}}});
    const auto packets = Packets();
    ASSERT_EQ(packets[0].size(), 2u);
    EXPECT_EQ(packets[0][0].pid(0), 0x2222u);
    EXPECT_EQ(packets[0][0].primitive(0)[4], 16u * kW - 8u + 16u);  // u = 1 texel, less a half, a repeat up
    EXPECT_EQ(packets[0][1].pid(0), 0x1111u);
    EXPECT_EQ(packets[0][1].primitive(0)[4], 16u * 8u * kW);  // u = 8 repeats
}

TEST_F(TexRender, TwoProgramCallsStartInTheirOwnPackets) {
    // Minification and magnification programs (linear and nearest, no
    // mip-maps) that differ only in their pids.
    PrepareTex(kSolo, 2, false);
    Batch b;
    b.kind = N_PRIM_TRIANGLES;
    b.v = {{2, 2, 0}, {42, 2, 0}, {2, 42, 0}};
    b.runs = {{1, 1}};
    // Magnification: a sixteenth of the texture over 40 pixels.
    DrawTex(_NvpRenderTriTex, b, {{{0, 0, 0, 1}}, {{0.0625f, 0, 0, 1}}, {{0, 0.0625f, 0, 1}}});
    // Minification: the texture eight times over 40 pixels.
    DrawTex(_NvpRenderTriTex, b, {{{0, 0, 0, 1}}, {{8, 0, 0, 1}}, {{0, 8, 0, 1}}});
    const auto packets = Packets();
    ASSERT_EQ(packets[0].size(), 2u);
    EXPECT_EQ(packets[0][0].pid(0), 0x2222u);
    EXPECT_EQ(packets[0][0].primitives, 1u);
    EXPECT_EQ(packets[0][1].pid(0), 0x1111u);
    EXPECT_EQ(packets[0][1].primitives, 1u);
}

TEST_F(TexRender, NeighbourFiltersClearTheDitherMarker) {
    Batch b;
    b.kind = N_PRIM_TRIANGLES;
    b.v = {{2, 2, 0}, {20, 2, 0}, {2, 20, 0}};
    b.runs = {{1, 1}};
    const std::vector<std::array<float, 4>> tex(3, {0, 0, 0, 1});
    for (const ULONG point : {1u, 0u}) {
        PrepareTex(kSolo, 2);
        ctx_->val.tex.pointSample = point;
        *pulGLPatternUniq(Pdev()) = 0xDEADBABE;
        DrawTex(_NvpRenderTriTexOpt, b, tex);
        EXPECT_EQ(_NDitherMarker(ctx_->pHw), point ? 0xDEADBABEu : 0u);
        Received();
    }
}

TEST_F(TexRender, ModelImprecisionScalesTheFullPairsLimits) {
    // Sixteenths of a pixel: a 20-pixel edge (320) stays whole under the
    // scaled limits of the full pair.
    PrepareTex(kSolo, 2, true, 1);
    Batch b;
    b.kind = N_PRIM_TRIANGLES;
    b.v = {{32, 32, 0}, {32 + 1100, 32, 0}, {32, 32 + 320, 0}};
    b.runs = {{1, 1}};
    const std::vector<std::array<float, 4>> tex(3, {0, 0, 0, 1});
    DrawTex(_NvpRenderTriTex, b, tex);
    // 1100 > 960: a few pieces (the small set would give hundreds).
    const auto got = All(Received());
    EXPECT_GE(got.size(), 2u);
    EXPECT_LE(got.size(), 8u);
}

}  // namespace
