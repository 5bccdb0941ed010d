// The software polygon span rasteriser: the spans of triangles against a
// reference rasteriser of GL's point-sampling rule, attributes against the
// triangle's planes at the pixel centres, clipping at every window edge,
// the destination read-back, the span stage order and the debug switch
// that forces the software path.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <map>
#include <random>
#include <vector>

#include "3d/pipes/pipes.h"
#include "lgi/seams.h"
#include "lgi/shared/software/swspan.h"
#include "gl/server/lgi/lgi_fixture.h"

namespace {

// One span as the stage after the rasteriser saw it.
struct Span {
    LONG x, y, n;
    std::vector<float> r, g, b, s, t, q;
    std::vector<ULONG> z, packed, dstPacked, dstDepth;
    std::vector<float> dstRed, dstAlpha;
    std::vector<BYTE> mask, dstStencil;
    float alphaEdge, alphaAway;
    ULONG longEdgeRight;
    LONG triCount;
};
std::vector<Span> gSpans;

void CaptureSpan(N_Context*, N_Pipe* pipe) {
    const CommonPipeData& c = *pipe->pCommonPipeData;
    const N_FragSpan& sp = c.span;
    const auto* tri = static_cast<const N_SpanTri*>(c.pCurPrim);
    Span s;
    s.x = sp.pX[0];
    s.y = sp.pY[0];
    s.n = sp.count;
    const auto n = static_cast<std::size_t>(sp.count);
    s.r.assign(sp.pRed, sp.pRed + n);
    s.g.assign(sp.pGreen, sp.pGreen + n);
    s.b.assign(sp.pBlue, sp.pBlue + n);
    s.s.assign(sp.pS, sp.pS + n);
    s.t.assign(sp.pT, sp.pT + n);
    s.q.assign(sp.pQ, sp.pQ + n);
    s.z.assign(sp.pDepth, sp.pDepth + n);
    s.packed.assign(sp.pPacked, sp.pPacked + n);
    s.dstPacked.assign(sp.pDstPacked, sp.pDstPacked + n);
    s.dstDepth.assign(sp.pDstDepth, sp.pDstDepth + n);
    s.dstRed.assign(sp.pDstRed, sp.pDstRed + n);
    s.dstAlpha.assign(sp.pDstAlpha, sp.pDstAlpha + n);
    s.mask.assign(sp.pMask, sp.pMask + n);
    s.dstStencil.assign(sp.pDstStencil, sp.pDstStencil + n);
    s.alphaEdge = tri->alphaLongEdge;
    s.alphaAway = tri->dAlphaAway;
    s.longEdgeRight = tri->longEdgeRight;
    s.triCount = tri->count;
    gSpans.push_back(std::move(s));
}

// A vertex of a test triangle: whole pixels, depth, colour, texture.
struct V {
    LONG x, y;
    ULONG z;
    float r, g, b, a;
    float sq = 0, tq = 0, invQ = 1;
};

// The reference: GL's point-sampling rule. The triangle's vertices lie at
// (x + 0.5, y + 0.5) in GL window coordinates and a fragment is drawn when
// its centre (x + 0.5, y + 0.5) lies inside, the left and top edges counting
// as inside; attributes are the triangle's planes at that centre. Both
// shifted back by half a pixel, that is the point (x, y) against the
// triangle of the vertices (moved by fx, fy pixels, all three alike).
struct Reference {
    double ax, ay, bx, by, cx, cy;
    double area;
    explicit Reference(const V (&v)[3], double fx = 0, double fy = 0)
        : ax(v[0].x + fx), ay(v[0].y + fy), bx(v[1].x + fx), by(v[1].y + fy), cx(v[2].x + fx), cy(v[2].y + fy) {
        area = (bx - ax) * (cy - ay) - (cx - ax) * (by - ay);
    }
    // The plane of an attribute at (x, y).
    double At(double fa, double fb, double fc, double x, double y) const {
        const double wb = ((x - ax) * (cy - ay) - (cx - ax) * (y - ay)) / area;
        const double wc = ((bx - ax) * (y - ay) - (x - ax) * (by - ay)) / area;
        return fa + (fb - fa) * wb + (fc - fa) * wc;
    }
    // The x extent of the triangle on row y: [left, right), or empty.
    bool Row(double y, double* pl, double* pr) const {
        double xs[3];
        int c = 0;
        const double p[3][2] = {{ax, ay}, {bx, by}, {cx, cy}};
        for (int i = 0; i < 3; ++i) {
            const double* u = p[i];
            const double* w = p[(i + 1) % 3];
            const double y0 = std::min(u[1], w[1]), y1 = std::max(u[1], w[1]);
            if (y0 == y1 || y < y0 || y >= y1) continue;  // half-open rows: top in, bottom out
            xs[c++] = u[0] + (y - u[1]) * (w[0] - u[0]) / (w[1] - u[1]);
        }
        if (c < 2) return false;
        *pl = std::min(xs[0], xs[1]);
        *pr = std::max(xs[0], xs[1]);
        return true;
    }
};

class SwRasterTest : public lgi_test::LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        gSpans.clear();
        pipe_ = &ctx_->blocks[0].front;
        c_ = pipe_->pCommonPipeData;
        c_->code = N_PRIM_TRIANGLES;
        pipe_->mode = N_MODE_FRAGMENTS | 0x80;
        pipe_->next[N_STAGE_SPAN_RASTER] = CaptureSpan;
        ctx_->xf.projectionAffine = 0;
    }
    // Rasterises the triangle on a screen of w x h pixels; with precise
    // set, its vertices in sixteenths moved by (fx, fy) sixteenths.
    void Draw(const V (&v)[3], LONG w, LONG h, LONG xOrigin = 0, ULONG precise = 0, LONG fx = 0, LONG fy = 0) {
        for (ULONG i = 0; i < 3; ++i) {
            const LONG scale = precise ? 16 : 1;
            win_[i][0] = v[i].x * scale + (precise ? fx : 0);
            win_[i][1] = v[i].y * scale + (precise ? fy : 0);
            win_[i][2] = static_cast<LONG>(v[i].z);
            const float col[5] = {v[i].r, v[i].g, v[i].b, v[i].a, 0};
            std::memcpy(colour_[i], col, sizeof col);
            tri_.v[i] = N_SpanTriVertex{};
            tri_.v[i].pWindow = win_[i];
            tri_.v[i].pColour = colour_[i];
            tri_.v[i].sq = v[i].sq;
            tri_.v[i].tq = v[i].tq;
            tri_.v[i].invQ = v[i].invQ;
        }
        c_->pCurPrim = &tri_;
        _NSwRasterTriangle(ctx_, pipe_, N_SwScreen{w, h, xOrigin, precise});
    }
    // Checks every span against the reference: the pixels drawn and their
    // attributes at the pixel centres. Pixels whose sample lies within a
    // hundredth of a pixel of an edge may go either way.
    void CheckAgainstReference(const V (&v)[3], LONG w, LONG h, double fx = 0, double fy = 0) {
        const Reference ref(v, fx, fy);
        std::map<std::pair<LONG, LONG>, std::pair<const Span*, LONG>> drawn;
        for (const Span& s : gSpans) {
            ASSERT_GT(s.n, 0);
            ASSERT_EQ(s.triCount, s.n);
            for (LONG i = 0; i < s.n; ++i) {
                ASSERT_EQ(s.mask[i], 1);
                drawn[{s.x + i, s.y}] = {&s, i};
            }
        }
        constexpr double eps = 0.01;
        for (LONG y = -2; y < h + 2; ++y) {
            for (LONG x = -2; x < w + 2; ++x) {
                double l = 0, r = 0;
                const bool bRow = ref.Row(y, &l, &r);
                const bool bIn = bRow && x >= l && x < r && x >= 0 && x < w && y >= 0 && y < h;
                const bool bEdge = bRow && (std::fabs(x - l) < eps || std::fabs(x - r) < eps);
                const auto it = drawn.find({x, y});
                if (bEdge) continue;
                ASSERT_EQ(it != drawn.end(), bIn) << "pixel " << x << "," << y;
                if (!bIn) continue;
                const Span& s = *it->second.first;
                const LONG i = it->second.second;
                const double tol = 0.02;
                EXPECT_NEAR(s.r[i], ref.At(v[0].r, v[1].r, v[2].r, x, y), tol) << x << "," << y;
                EXPECT_NEAR(s.g[i], ref.At(v[0].g, v[1].g, v[2].g, x, y), tol) << x << "," << y;
                EXPECT_NEAR(s.b[i], ref.At(v[0].b, v[1].b, v[2].b, x, y), tol) << x << "," << y;
                EXPECT_NEAR(static_cast<double>(s.z[i]), ref.At(v[0].z, v[1].z, v[2].z, x, y), 2.0)
                    << x << "," << y;
            }
        }
    }
    N_Pipe* pipe_ = nullptr;
    CommonPipeData* c_ = nullptr;
    N_SpanTri tri_{};
    LONG win_[3][3]{};
    float colour_[3][5]{};
};

// --- coverage and attributes ----------------------------------------------------------------
TEST_F(SwRasterTest, TrianglesAgainstTheReferenceClippedAtEveryEdge) {
    struct Case {
        const char* what;
        V v[3];
    };
    // A 40 x 30 window; triangles inside, across each edge, in each vertex
    // order and orientation, flat-topped and flat-bottomed.
    const Case cases[] = {
        {"inside", {{3, 2, 1000, 0, 10, 200, 1}, {30, 9, 90000, 255, 0, 100, 1}, {12, 25, 500000, 30, 200, 0, 1}}},
        {"long edge right", {{5, 1, 0, 10, 20, 30, 1}, {2, 15, 70000, 200, 20, 30, 1}, {33, 27, 1000, 10, 250, 30, 1}}},
        {"long edge left", {{30, 1, 0, 10, 20, 30, 1}, {36, 15, 70000, 200, 20, 30, 1}, {4, 27, 1000, 10, 250, 30, 1}}},
        {"across the right edge", {{20, 3, 5000, 0, 0, 0, 1}, {70, 14, 5000, 255, 255, 255, 1}, {24, 26, 90000, 0, 128, 255, 1}}},
        {"across the left edge", {{10, 2, 5000, 0, 0, 0, 1}, {-25, 15, 5000, 255, 255, 255, 1}, {14, 27, 90000, 0, 128, 255, 1}}},
        {"long edge right crossing x = 39", {{-5, -4, 0, 0, 0, 0, 1}, {60, 40, 900, 250, 100, 50, 1}, {-8, 33, 900, 50, 100, 250, 1}}},
        {"long edge left crossing x = 0", {{45, -6, 0, 0, 0, 0, 1}, {-20, 36, 900, 250, 100, 50, 1}, {50, 35, 900, 50, 100, 250, 1}}},
        {"above the top", {{8, -20, 100, 0, 50, 100, 1}, {35, 10, 5000, 200, 50, 100, 1}, {2, 18, 9000, 100, 0, 255, 1}}},
        {"below the bottom", {{8, 12, 100, 0, 50, 100, 1}, {35, 50, 5000, 200, 50, 100, 1}, {2, 44, 9000, 100, 0, 255, 1}}},
        {"flat top", {{4, 5, 100, 0, 50, 100, 1}, {30, 5, 5000, 200, 50, 100, 1}, {17, 22, 9000, 100, 0, 255, 1}}},
        {"flat bottom", {{17, 3, 100, 0, 50, 100, 1}, {30, 22, 5000, 200, 50, 100, 1}, {4, 22, 9000, 100, 0, 255, 1}}},
        {"covers the window", {{-100, -100, 100, 0, 50, 100, 1}, {300, -50, 5000, 200, 50, 100, 1}, {-20, 200, 9000, 100, 0, 255, 1}}},
    };
    for (const Case& k : cases) {
        // Every order of the three vertices.
        const int perms[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
        for (const auto& p : perms) {
            SCOPED_TRACE(testing::Message() << k.what << " order " << p[0] << p[1] << p[2]);
            const V v[3] = {k.v[p[0]], k.v[p[1]], k.v[p[2]]};
            gSpans.clear();
            Draw(v, 40, 30);
            for (const Span& s : gSpans) {
                EXPECT_GE(s.y, 0);
                EXPECT_LT(s.y, 30);
                EXPECT_GE(s.x, 0);
                EXPECT_LE(s.x + s.n, 40);
            }
            CheckAgainstReference(v, 40, 30);
        }
    }
}

TEST_F(SwRasterTest, SeededTrianglesAgainstTheReference) {
    std::mt19937 rng(58);
    std::uniform_int_distribution<LONG> px(-30, 90), py(-30, 70);
    std::uniform_real_distribution<float> col(0.0f, 255.0f);
    std::uniform_int_distribution<ULONG> depth(0, 0xFFFFFF);
    for (int i = 0; i < 200; ++i) {
        V v[3];
        for (V& u : v) u = V{px(rng), py(rng), depth(rng), col(rng), col(rng), col(rng), 1};
        SCOPED_TRACE(testing::Message() << "triangle " << i);
        gSpans.clear();
        Draw(v, 64, 48);
        CheckAgainstReference(v, 64, 48);
        if (HasFatalFailure()) return;
    }
}

// With the long edge on the right, the span's first pixel takes the plane's
// value at that pixel; a span clipped at the right border starts where the
// window ends, not where the long edge would.
TEST_F(SwRasterTest, ClippedSpansStartAtTheirOwnPixel) {
    pipe_->mode |= 0x80;
    // x = red: every fragment's red is its own x.
    const V v[3] = {{0, 0, 0, 0, 0, 0, 0.0f}, {100, 10, 0, 100, 0, 0, 1.0f}, {0, 20, 0, 0, 0, 0, 0.0f}};
    Draw(v, 50, 20);
    ASSERT_FALSE(gSpans.empty());
    bool bClipped = false;
    for (const Span& s : gSpans) {
        EXPECT_EQ(s.longEdgeRight, 0u) << "the long edge (top to bottom) is the left one";
        for (LONG i = 0; i < s.n; ++i) EXPECT_NEAR(s.r[i], static_cast<float>(s.x + i), 0.01f);
        if (s.x + s.n == 50) bClipped = true;
        // The alpha ramp starts at the long-edge end, here the left one.
        EXPECT_NEAR(s.alphaEdge, static_cast<float>(s.x) / 100.0f, 1e-4f);
        EXPECT_NEAR(s.alphaAway, 0.01f, 1e-6f);
    }
    EXPECT_TRUE(bClipped);
    // Mirrored: the long edge on the right, the left border clips.
    gSpans.clear();
    const V w[3] = {{49, 0, 0, 49, 0, 0, 0.49f}, {-51, 10, 0, -51, 0, 0, -0.51f}, {49, 20, 0, 49, 0, 0, 0.49f}};
    Draw(w, 50, 20);
    ASSERT_FALSE(gSpans.empty());
    bClipped = false;
    for (const Span& s : gSpans) {
        EXPECT_EQ(s.longEdgeRight, 1u);
        for (LONG i = 0; i < s.n; ++i) EXPECT_NEAR(s.r[i], static_cast<float>(s.x + i), 0.01f);
        if (s.x == 0) bClipped = true;
        EXPECT_NEAR(s.alphaEdge, static_cast<float>(s.x + s.n - 1) / 100.0f, 1e-4f);
        EXPECT_NEAR(s.alphaAway, -0.01f, 1e-6f);
    }
    EXPECT_TRUE(bClipped);
}

// Rows above the window (y below 0) are not handed on; the first row
// drawn takes its own values.
TEST_F(SwRasterTest, RowsBelowZeroAreClipped) {
    // y = green.
    const V v[3] = {{2, -40, 0, 0, -40, 0, 1}, {30, 8, 0, 0, 8, 0, 1}, {5, 8, 0, 0, 8, 0, 1}};
    Draw(v, 40, 30);
    ASSERT_FALSE(gSpans.empty());
    EXPECT_EQ(gSpans.front().y, 0);
    EXPECT_EQ(gSpans.back().y, 7);
    for (const Span& s : gSpans)
        for (LONG i = 0; i < s.n; ++i) EXPECT_NEAR(s.g[i], static_cast<float>(s.y), 0.01f);
}

TEST_F(SwRasterTest, EdgeCases) {
    // A vertical long edge at x = 5 on the left covers column 5.
    const V left[3] = {{5, 0, 0, 0, 0, 0, 1}, {9, 4, 0, 0, 0, 0, 1}, {5, 8, 0, 0, 0, 0, 1}};
    Draw(left, 40, 30);
    ASSERT_FALSE(gSpans.empty());
    for (const Span& s : gSpans) EXPECT_EQ(s.x, 5);
    // On the right it covers up to column 4.
    gSpans.clear();
    const V right[3] = {{5, 0, 0, 0, 0, 0, 1}, {1, 4, 0, 0, 0, 0, 1}, {5, 8, 0, 0, 0, 0, 1}};
    Draw(right, 40, 30);
    ASSERT_FALSE(gSpans.empty());
    for (const Span& s : gSpans) EXPECT_EQ(s.x + s.n - 1, 4);
    // Three vertices on one row, and equal slopes: nothing, and the next
    // stage is not called.
    gSpans.clear();
    const V row[3] = {{1, 5, 0, 0, 0, 0, 1}, {9, 5, 0, 0, 0, 0, 1}, {20, 5, 0, 0, 0, 0, 1}};
    Draw(row, 40, 30);
    const V line[3] = {{1, 1, 0, 0, 0, 0, 1}, {5, 5, 0, 0, 0, 0, 1}, {9, 9, 0, 0, 0, 0, 1}};
    Draw(line, 40, 30);
    EXPECT_TRUE(gSpans.empty());
    // A triangle wholly outside the window: nothing.
    const V outside[3] = {{-9, 1, 0, 0, 0, 0, 1}, {-1, 5, 0, 0, 0, 0, 1}, {-5, 9, 0, 0, 0, 0, 1}};
    Draw(outside, 40, 30);
    EXPECT_TRUE(gSpans.empty());
    // Coordinates no view volume gives draw nothing.
    const V huge[3] = {{-2000000000, 1, 0, 0, 0, 0, 1}, {2000000000, 5, 0, 0, 0, 0, 1}, {5, 2000000000, 0, 0, 0, 0, 1}};
    Draw(huge, 40, 30);
    EXPECT_TRUE(gSpans.empty());
}

// A triangle with a vertex that may not be drawn (an indefinite x, y or z:
// a NaN or infinite coordinate) makes no fragment.
TEST_F(SwRasterTest, TrianglesWithAnUndrawableVertexMakeNoFragment) {
    constexpr LONG kIndefinite = static_cast<LONG>(0x80000000u);
    for (int k = 0; k < 3; ++k) {
        V v[3] = {{5, 0, 0x100, 0, 0, 0, 1}, {20, 4, 0x100, 0, 0, 0, 1}, {5, 8, 0x100, 0, 0, 0, 1}};
        if (k == 0) v[1].x = kIndefinite;
        if (k == 1) v[1].y = kIndefinite;
        if (k == 2) v[1].z = 0x80000000u;
        gSpans.clear();
        Draw(v, 40, 30);
        EXPECT_TRUE(gSpans.empty()) << k;
    }
    // In sixteenths as in whole pixels.
    const V sixteenths[3] = {{5, 0, 0x100, 0, 0, 0, 1}, {20, 4, 0x80000000u, 0, 0, 0, 1}, {5, 8, 0x100, 0, 0, 0, 1}};
    gSpans.clear();
    Draw(sixteenths, 40, 30, 0, 1);
    EXPECT_TRUE(gSpans.empty());
}

// A board of two 1280-pixel screens side by side is 2560 pixels wide: the
// spans reach its last column, each row one span.
TEST_F(SwRasterTest, SpansReachTheLastColumnOfTwoScreens) {
    const V v[3] = {{2100, 2, 0, 0, 0, 0, 1}, {2700, 30, 0, 0, 0, 0, 1}, {2150, 60, 0, 0, 0, 0, 1}};
    Draw(v, 2560, 70);
    CheckAgainstReference(v, 2560, 70);
    LONG right = 0;
    for (const Span& s : gSpans) right = std::max(right, s.x + s.n - 1);
    EXPECT_EQ(right, 2559);
}

// A split screen's origin comes off the vertices for the spans; the vertex
// arrays are left as they were; window coordinates in sixteenths keep their
// fractions.
TEST_F(SwRasterTest, SplitScreenAndSixteenths) {
    const V v[3] = {{103, 2, 0, 0, 0, 0, 1}, {130, 9, 0, 0, 0, 0, 1}, {112, 25, 0, 0, 0, 0, 1}};
    Draw(v, 40, 30, 100);
    const LONG before[3][3] = {{win_[0][0], win_[0][1], win_[0][2]}, {win_[1][0], win_[1][1], win_[1][2]},
                               {win_[2][0], win_[2][1], win_[2][2]}};
    std::vector<Span> split = gSpans;
    for (ULONG i = 0; i < 3; ++i)
        for (ULONG k = 0; k < 3; ++k) EXPECT_EQ(win_[i][k], before[i][k]);
    gSpans.clear();
    const V local[3] = {{3, 2, 0, 0, 0, 0, 1}, {30, 9, 0, 0, 0, 0, 1}, {12, 25, 0, 0, 0, 0, 1}};
    Draw(local, 40, 30);
    ASSERT_EQ(split.size(), gSpans.size());
    for (std::size_t i = 0; i < split.size(); ++i) {
        EXPECT_EQ(split[i].x, gSpans[i].x);
        EXPECT_EQ(split[i].n, gSpans[i].n);
    }
    // Whole sixteenths are the whole-pixel triangle; fractions move the
    // edges and the planes with them (colours: x = red, y = green).
    std::vector<Span> whole = gSpans;
    gSpans.clear();
    Draw(local, 40, 30, 0, 1);
    ASSERT_EQ(whole.size(), gSpans.size());
    for (std::size_t i = 0; i < whole.size(); ++i) {
        EXPECT_EQ(whole[i].x, gSpans[i].x);
        EXPECT_EQ(whole[i].n, gSpans[i].n);
    }
    for (const auto& [fx, fy] : {std::pair<LONG, LONG>{7, 9}, {8, 8}, {15, 1}, {-8, -8}}) {
        SCOPED_TRACE(testing::Message() << "sixteenths " << fx << ", " << fy);
        const float ox = static_cast<float>(fx) / 16.0f, oy = static_cast<float>(fy) / 16.0f;
        const V moved[3] = {{3, 2, 0, 3 + ox, 2 + oy, 0, 1}, {30, 9, 0, 30 + ox, 9 + oy, 0, 1},
                            {12, 25, 0, 12 + ox, 25 + oy, 0, 1}};
        gSpans.clear();
        Draw(moved, 40, 30, 0, 1, fx, fy);
        CheckAgainstReference(moved, 40, 30, ox, oy);
        for (const Span& s : gSpans)
            for (LONG i = 0; i < s.n; ++i) {
                EXPECT_NEAR(s.r[i], static_cast<float>(s.x + i), 1e-3f);
                EXPECT_NEAR(s.g[i], static_cast<float>(s.y), 1e-3f);
            }
    }
}

// Edges through sample points: a pixel on a left or top edge is drawn, on
// a right or bottom edge it is not, so triangles that share edges (a fan
// about a centre, in sixteenths) draw every pixel once.
TEST_F(SwRasterTest, SharedEdgesDrawEachPixelOnce) {
    // Centre (20, 15) and a ring of points, some on sample points, some
    // between; every edge from the centre runs through sample points.
    const LONG ring[][2] = {{36, 15}, {32, 27}, {20, 29}, {6, 25}, {4, 15}, {8, 3}, {20, 1}, {34, 5}};
    const std::size_t cRing = std::size(ring);
    std::map<std::pair<LONG, LONG>, int> hits;
    for (std::size_t i = 0; i < cRing; ++i) {
        const LONG* a = ring[i];
        const LONG* b = ring[(i + 1) % cRing];
        const V v[3] = {{20, 15, 0, 0, 0, 0, 1}, {a[0], a[1], 0, 0, 0, 0, 1}, {b[0], b[1], 0, 0, 0, 0, 1}};
        gSpans.clear();
        Draw(v, 40, 30, 0, 1);
        for (const Span& s : gSpans)
            for (LONG x = s.x; x < s.x + s.n; ++x) ++hits[{x, s.y}];
    }
    for (const auto& [p, n] : hits) EXPECT_EQ(n, 1) << "pixel " << p.first << "," << p.second;
    // The centre lies on every triangle's edges: drawn once.
    EXPECT_EQ(hits.count({20, 15}), 1u);
    // A square split on its diagonal: the top row and left column in, the
    // bottom row and right column out, the diagonal's pixels once.
    hits.clear();
    const V upper[3] = {{4, 4, 0, 0, 0, 0, 1}, {12, 4, 0, 0, 0, 0, 1}, {12, 12, 0, 0, 0, 0, 1}};
    const V lower[3] = {{4, 4, 0, 0, 0, 0, 1}, {12, 12, 0, 0, 0, 0, 1}, {4, 12, 0, 0, 0, 0, 1}};
    for (const auto* t : {&upper, &lower}) {
        gSpans.clear();
        Draw(*t, 40, 30, 0, 1);
        for (const Span& s : gSpans)
            for (LONG x = s.x; x < s.x + s.n; ++x) ++hits[{x, s.y}];
    }
    EXPECT_EQ(hits.size(), 64u);
    for (LONG y = 4; y < 12; ++y)
        for (LONG x = 4; x < 12; ++x) EXPECT_EQ(hits[std::make_pair(x, y)], 1) << "pixel " << x << "," << y;
}

// Texture coordinates: s / q, t / q and 1 / q follow their planes; the
// affine projection leaves q at 0; without texturing all are 0.
TEST_F(SwRasterTest, TextureCoordinatesAndGradients) {
    pipe_->mode |= 0x400;
    V v[3] = {{2, 2, 0, 0, 0, 0, 1, 0.0f, 0.0f, 1.0f}, {30, 4, 0, 0, 0, 0, 1, 1.0f, 0.0f, 0.5f},
              {6, 28, 0, 0, 0, 0, 1, 0.0f, 1.0f, 0.25f}};
    Draw(v, 40, 30);
    ASSERT_FALSE(gSpans.empty());
    const Reference ref(v);
    for (const Span& s : gSpans)
        for (LONG i = 0; i < s.n; ++i) {
            const double x = s.x + i, y = s.y;
            EXPECT_NEAR(s.s[i], ref.At(0, 1, 0, x, y), 1e-4);
            EXPECT_NEAR(s.t[i], ref.At(0, 0, 1, x, y), 1e-4);
            EXPECT_NEAR(s.q[i], ref.At(1, 0.5, 0.25, x, y), 1e-4);
        }
    // The gradients the level choice reads.
    EXPECT_NEAR(tri_.dsdx, (ref.At(0, 1, 0, 1, 0) - ref.At(0, 1, 0, 0, 0)), 1e-6);
    EXPECT_NEAR(tri_.dtdy, (ref.At(0, 0, 1, 0, 1) - ref.At(0, 0, 1, 0, 0)), 1e-6);
    EXPECT_NEAR(tri_.dqdx, (ref.At(1, 0.5, 0.25, 1, 0) - ref.At(1, 0.5, 0.25, 0, 0)), 1e-6);
    gSpans.clear();
    ctx_->xf.projectionAffine = 1;
    Draw(v, 40, 30);
    for (const Span& s : gSpans)
        for (LONG i = 0; i < s.n; ++i) EXPECT_EQ(s.q[i], 0.0f);
    EXPECT_EQ(tri_.dqdx, 0.0f);
    gSpans.clear();
    pipe_->mode &= ~0x400u;
    Draw(v, 40, 30);
    for (const Span& s : gSpans)
        for (LONG i = 0; i < s.n; ++i) EXPECT_EQ(s.s[i] + s.t[i] + s.q[i], 0.0f);
}

// The packed colour is the first vertex's: red, green and blue in RGBA
// mode, the index in colour-index mode.
TEST_F(SwRasterTest, PackedColourOfTheFirstVertex) {
    const V v[3] = {{12, 25, 0, 18.7f, 52.2f, 255.0f, 1}, {3, 2, 0, 0, 0, 0, 1}, {30, 9, 0, 9, 9, 9, 1}};
    Draw(v, 40, 30);
    ASSERT_FALSE(gSpans.empty());
    for (const Span& s : gSpans)
        for (ULONG p : s.packed) EXPECT_EQ(p, 0x1234FFu);
    N_SetStateBlockAttrWord(N_ATTR_COLOUR_INDEX_MODE, 1);
    gSpans.clear();
    const V ci[3] = {{12, 25, 0, 37.0f, 0, 0, 1}, {3, 2, 0, 37.0f, 0, 0, 1}, {30, 9, 0, 37.0f, 0, 0, 1}};
    Draw(ci, 40, 30);
    ASSERT_FALSE(gSpans.empty());
    for (const Span& s : gSpans)
        for (ULONG p : s.packed) EXPECT_EQ(p, 37u);
}

// --- destination read-back ----------------------------------------------------------------------
class SwReadBackTest : public SwRasterTest {
  protected:
    void SetUp() override {
        SwRasterTest::SetUp();
        for (LONG i = 0; i < 40 * 30; ++i) {
            colourPixels_[i] = 0x00102030u + static_cast<ULONG>(i);
            depthPixels_[i] = 0xAB000000u | static_cast<ULONG>(i * 7);
            stencilPixels_[i] = static_cast<BYTE>(i * 3);
            alphaPixels_[i] = static_cast<BYTE>(i);
        }
        Host(colour_buf_, colourPixels_, GLBUFFER_BACK_LEFT, 32);
        Host(depth_buf_, depthPixels_, GLBUFFER_DEPTH, 32);
        Host(stencil_buf_, stencilPixels_, GLBUFFER_STENCIL, 8);
        Host(alpha_buf_, alphaPixels_, GLBUFFER_ALPHA, 8);
        N_SetStateBlockAttrWord(N_ATTR_DRAW_BUFFER, 4);  // back left
        // The alpha buffer validation pairs with the draw buffer.
        ctx_->val.cDrawBuffers = 1;
        ctx_->val.drawSlots[0] = 1;
        ctx_->val.alphaSlots[0] = 2;
    }
    void Host(GLBuffer& b, void* pv, ULONG kind, ULONG bits) { lgi_test::BindHostBuffer(b, pv, kind, bits, 40, 30); }
    const V v_[3] = {{3, 2, 0, 0, 0, 0, 1}, {30, 9, 0, 0, 0, 0, 1}, {12, 25, 0, 0, 0, 0, 1}};
    ULONG colourPixels_[40 * 30];
    ULONG depthPixels_[40 * 30];
    BYTE stencilPixels_[40 * 30];
    BYTE alphaPixels_[40 * 30];
    GLBuffer colour_buf_{}, depth_buf_{}, stencil_buf_{}, alpha_buf_{};
};

TEST_F(SwReadBackTest, DepthFollowsTheDepthTestAloneAndStencilAndAlphaTheirBits) {
    // The depth test on, no alpha buffer in use: the depth is read back.
    pipe_->mode = N_MODE_FRAGMENTS | 0x10 | 0x800;
    Draw(v_, 40, 30);
    ASSERT_FALSE(gSpans.empty());
    for (const Span& s : gSpans)
        for (LONG i = 0; i < s.n; ++i) {
            const LONG p = s.y * 40 + s.x + i;
            EXPECT_EQ(s.dstDepth[i], depthPixels_[p] & 0xFFFFFFu);
            EXPECT_EQ(s.dstStencil[i], stencilPixels_[p]);
        }
    // Alpha carried with an alpha buffer: its bytes on the 0-1 scale.
    gSpans.clear();
    pipe_->mode = N_MODE_FRAGMENTS | 0x80 | 0x8;
    Draw(v_, 40, 30);
    ASSERT_FALSE(gSpans.empty());
    for (const Span& s : gSpans)
        for (LONG i = 0; i < s.n; ++i)
            EXPECT_NEAR(s.dstAlpha[i], alphaPixels_[s.y * 40 + s.x + i] / 255.0f, 1e-6f);
    // Without a paired alpha buffer nothing is read.
    gSpans.clear();
    ctx_->val.alphaSlots[0] = -1;
    c_->span.pDstAlpha[0] = -1.0f;
    Draw(v_, 40, 30);
    ASSERT_FALSE(gSpans.empty());
    EXPECT_EQ(gSpans.back().dstAlpha[0], -1.0f);
}

// Blending reads the destination channels; the logic operation reads the
// pixel as stored into its own word, and its source is the packed colour,
// so neither reads the other's values.
TEST_F(SwReadBackTest, BlendChannelsAndLogicOperationWords) {
    pipe_->mode = N_MODE_FRAGMENTS | 0x80 | N_MODE_BLEND;
    Draw(v_, 40, 30);
    ASSERT_FALSE(gSpans.empty());
    for (const Span& s : gSpans)
        for (LONG i = 0; i < s.n; ++i)
            EXPECT_EQ(s.dstRed[i], static_cast<float>((colourPixels_[s.y * 40 + s.x + i] >> 16) & 0xFF));
    gSpans.clear();
    pipe_->mode = N_MODE_FRAGMENTS | N_MODE_LOGIC_OP;
    const V red[3] = {{3, 2, 0, 255, 0, 0, 1}, {30, 9, 0, 255, 0, 0, 1}, {12, 25, 0, 255, 0, 0, 1}};
    Draw(red, 40, 30);
    ASSERT_FALSE(gSpans.empty());
    for (const Span& s : gSpans)
        for (LONG i = 0; i < s.n; ++i) {
            EXPECT_EQ(s.dstPacked[i], colourPixels_[s.y * 40 + s.x + i]);
            EXPECT_EQ(s.packed[i], 0xFF0000u);
            EXPECT_EQ(s.r[i], 255.0f);
        }
    // The logic operation's operands are not the blend's channels.
    const N_FragSpan& sp = c_->span;
    EXPECT_NE(static_cast<void*>(sp.pDstPacked), static_cast<void*>(sp.pDstRed));
    EXPECT_NE(static_cast<void*>(sp.pPacked), static_cast<void*>(sp.pDstRed));
}

// --- stage order and the forced software path -------------------------------------------------
TEST(SwSpanStages, OrderAfterTheRasteriser) {
    struct Case {
        const char* what;
        ULONG code, mode;
        std::vector<ULONG> stages;
    };
    const Case cases[] = {
        {"colour only", 67, 0x1, {94, 97}},
        {"nothing written", 67, 0x0, {}},
        {"blending without an alpha buffer", 67, 0x1 | 0x2000, {91, 94, 97}},
        {"blending with a board alpha buffer", 67, 0x1 | 0x8 | 0x2000, {91, 94, 97}},
        {"blending with a host alpha buffer", 67, 0x1 | 0x8 | 0x200 | 0x2000, {91, 94, 97}},
        {"everything on a polygon", 70, 0x1 | 0x400 | 0x20000 | 0x4000 | 0x800 | 0x2000 | 0x40000000,
         {38, 86, 87, 88, 89, 100, 91, 94, 95, 97}},
        {"stipple bit on a line", 64, 0x1 | 0x20000, {94, 97}},
        {"draw pixels with depth", 57, 0x1 | 0x10, {76, 94, 97}},
        {"triangles with depth", 67, 0x1 | 0x10, {94, 97}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        N_StageList l;
        _NSpanStageList(k.code, k.mode, &l);
        EXPECT_EQ(std::vector<ULONG>(l.stages, l.stages + l.c), k.stages);
    }
}


class SwForceTest : public lgi_test::LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        HardwareWindow(lgi_test::HardwareSelectorTo<lgi_test::NoRender>);
    }
    void TearDown() override {
        gNForceSoftwarePaths = 0;
        LgiTest::TearDown();
    }
    std::vector<ULONG> List(ULONG code) {
        N_Pipe* pipe = &ctx_->blocks[code & 15].front;
        pipe->pCommonPipeData->pDispatch = &ctx_->prim[code - 61];
        pipe->mode = ctx_->enableWord;
        N_StageList l;
        _NBuildStageList(ctx_, pipe, code, N_VTX_POS3, &l);
        return {l.stages, l.stages + l.c};
    }
};

TEST_F(SwForceTest, TheDebugSwitchSendsEveryKindThroughTheSoftwareStages) {
    EXPECT_EQ(List(67), (std::vector<ULONG>{0, 7, 11, 14, 15, 30, 25, 111}));
    EXPECT_EQ(gNArena.pStageTable[N_STAGE_RENDER], lgi_test::NoRender);
    gNForceSoftwarePaths = 1;
    for (ULONG code = N_PRIM_POLYGON; code <= N_PRIM_QUAD_STRIP; ++code) {
        SCOPED_TRACE(code);
        EXPECT_EQ(List(code), (std::vector<ULONG>{0, 7, 11, 14, 15, 30, 29, 63, 65, 111}));
        EXPECT_EQ(ctx_->prim[code - 61].status, -7);
        EXPECT_EQ(gNArena.pStageTable[N_STAGE_SPAN_RASTER], _NSwRasterPgonSpans);
    }
    for (ULONG code = N_PRIM_POINTS; code <= N_PRIM_LINES; ++code) {
        SCOPED_TRACE(code);
        List(code);
        EXPECT_EQ(ctx_->prim[code - 61].status, -7);
        EXPECT_NE(gNArena.pStageTable[N_STAGE_RENDER], lgi_test::NoRender);
    }
    // The raster position keeps its own render function.
    gNForceSoftwarePaths = 1;
    List(N_PRIM_RASTER_POS);
    EXPECT_EQ(gNArena.pStageTable[N_STAGE_RENDER], lgi_test::NoRender);
}

}  // namespace
