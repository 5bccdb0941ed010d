// The software point stages and the span alpha fill: the square of a point
// against GL 1.0's rule (the size rounded, odd sides on the point's pixel,
// even sides on the nearest pixel corner, computed in the window's own
// y-up rows), row by row cut to the clip rectangles; the antialiased
// disc's coverage against the distance from the point's exact position;
// and the alpha fill after the span rasteriser against the alpha plane of
// the triangle.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "3d/pipes/pipes.h"
#include "3d/queue/renderfcn.h"
#include "gl/server/lgi/board_fixture.h"
#include "glpdev.h"
#include "lgi/shared/software/swpoint.h"

namespace {

using namespace lgi_test;

struct Frag {
    LONG x, y;
    BYTE mask;
    float r, g, b, a;
    ULONG z;
    float s, t, q;
    float dstR, dstG, dstB, dstA;
    ULONG dstPacked;
};
struct Row {
    std::vector<Frag> f;
    const void* prim;
    LONG primRow;  // the point record's row, while it is read
};
std::vector<Row> gRows;
bool gPointRecord = false;

void CaptureRow(N_Context*, N_Pipe* pipe) {
    const CommonPipeData& c = *pipe->pCommonPipeData;
    const N_FragSpan& sp = c.span;
    Row r{{}, c.pCurPrim, gPointRecord ? static_cast<const N_SpanPoint*>(c.pCurPrim)->row : -1};
    for (LONG i = 0; i < sp.count; ++i)
        r.f.push_back({sp.pX[i], sp.pY[i], sp.pMask[i], sp.pRed[i], sp.pGreen[i], sp.pBlue[i], sp.pAlpha[i],
                       sp.pDepth[i], sp.pS[i], sp.pT[i], sp.pQ[i], sp.pDstRed[i], sp.pDstGreen[i],
                       sp.pDstBlue[i], sp.pDstAlpha[i], sp.pDstPacked[i]});
    gRows.push_back(std::move(r));
}

using Pixel = std::pair<LONG, LONG>;

// GL 1.0's square of a point at screen position (xs, ys) (y growing
// downwards over a screen of height H): worked in the window's y-up rows,
// then turned over.
std::set<Pixel> ReferenceSquare(double xs, double ys, float size, LONG H) {
    const double yw = H - ys;
    LONG d = static_cast<LONG>(std::floor(size + 0.5));
    if (d < 1) d = 1;
    LONG x0, y0;
    if (d & 1) {
        x0 = static_cast<LONG>(std::floor(xs)) - (d - 1) / 2;
        y0 = static_cast<LONG>(std::floor(yw)) - (d - 1) / 2;
    } else {
        x0 = static_cast<LONG>(std::floor(xs + 0.5)) - d / 2;
        y0 = static_cast<LONG>(std::floor(yw + 0.5)) - d / 2;
    }
    std::set<Pixel> out;
    for (LONG j = 0; j < d; ++j)
        for (LONG i = 0; i < d; ++i) out.insert({x0 + i, H - 1 - (y0 + j)});
    return out;
}

// The disc's coverage of a pixel: 1 within (size - 1) / 2 of the centre,
// falling to 0 one pixel further out.
float ReferenceCoverage(double xc, double yc, float size, LONG x, LONG y) {
    const double dist = std::hypot(x + 0.5 - xc, y + 0.5 - yc);
    return static_cast<float>(std::clamp(size / 2.0 + 0.5 - dist, 0.0, 1.0));
}

class SwPointTest : public LgiBoardTest {
  protected:
    void Start(ULONG precise) {
        Boot(kSolo, precise);
        gRows.clear();
        pipe_ = &ctx_->blocks[0].front;
        c_ = pipe_->pCommonPipeData;
        pipe_->next[N_STAGE_RENDER] = CaptureRow;
        pipe_->next[N_STAGE_SPAN_COLOUR] = CaptureRow;
        pipe_->mode = N_MODE_FRAGMENTS;
        ctx_->cClipRects = 0;
        const LONG* size = plGLScreenSize(Pdev());
        cx_ = size[0];
        cy_ = size[1];
    }
    void Size(float size) { std::memcpy(pulAttr(ctx_, N_ATTR_POINT_SIZE), &size, 4); }
    // One vertex a point: window x, y (as the pipe holds them), z, colour.
    void Load(const std::vector<std::array<float, 7>>& pts) {
        win_.clear();
        col_.clear();
        tex_.clear();
        for (const auto& p : pts) {
            win_.insert(win_.end(), {static_cast<LONG>(p[0]), static_cast<LONG>(p[1]), static_cast<LONG>(p[2])});
            const float rec[5] = {p[3], p[4], p[5], p[6], 0};
            for (float f : rec) col_.push_back(F(f));
            tex_.insert(tex_.end(), {0.25f, 0.75f, 0.5f, 2.0f});
        }
        c_->code = N_PRIM_POINTS;
        c_->pWindow = win_.data();
        c_->pHwVertices = col_.data();
        c_->pTexWork = tex_.data();
        c_->stripCount = 1;
        c_->stripVertexCount = static_cast<ULONG>(pts.size());
    }
    // Packed clip rectangles relative to the (absent) draw buffer's origin.
    void Clip(std::vector<ULONG> packed) {
        clip_ = std::move(packed);
        ctx_->pulPackedClip = clip_.data();
        ctx_->cClipRects = static_cast<ULONG>(clip_.size() / 2);
    }
    static std::vector<Frag> All() {
        std::vector<Frag> out;
        for (const Row& r : gRows) out.insert(out.end(), r.f.begin(), r.f.end());
        return out;
    }
    void TearDown() override {
        if (ctx_ != nullptr) {
            ctx_->pulPackedClip = ctx_->builtinPacked;
            ctx_->cClipRects = 0;
        }
        LgiBoardTest::TearDown();
    }

    N_Pipe* pipe_ = nullptr;
    CommonPipeData* c_ = nullptr;
    LONG cx_ = 0, cy_ = 0;
    std::vector<LONG> win_;
    std::vector<ULONG> col_;
    std::vector<float> tex_;
    std::vector<ULONG> clip_;
};

// --- squares ------------------------------------------------------------------------------------
TEST_F(SwPointTest, SquaresCoverGlsPixelsForEverySizeAndPosition) {
    struct Pos {
        const char* what;
        double x, y;  // screen position, pixel i spanning [i, i + 1)
    };
    // Pixel centres, the rounding ties of even sides, quarter positions and
    // pixel corners.
    const Pos positions[] = {{"centre", 100.5, 80.5},   {"quarters", 100.25, 80.75}, {"three quarters", 100.75, 80.25},
                             {"corner", 100.0, 80.0},   {"x corner", 100.0, 80.5},  {"y corner", 100.5, 80.0}};
    const float sizes[] = {0.2f, 1.0f, 1.4f, 1.5f, 2.0f, 2.6f, 3, 4, 5, 6, 7, 8, 9, 10};
    for (ULONG precise : {1u, 0u}) {
        Start(precise);
        for (const Pos& p : positions) {
            // Whole-pixel positions stand for their pixel's centre.
            if (!precise && (p.x != std::floor(p.x) + 0.5 || p.y != std::floor(p.y) + 0.5)) continue;
            for (float size : sizes) {
                SCOPED_TRACE(testing::Message() << p.what << " size " << size << (precise ? " 28.4" : " whole"));
                gRows.clear();
                Size(size);
                // Window coordinates have pixel centres on whole numbers.
                const float x = precise ? static_cast<float>((p.x - 0.5) * 16) : static_cast<float>(std::floor(p.x));
                const float y = precise ? static_cast<float>((p.y - 0.5) * 16) : static_cast<float>(std::floor(p.y));
                Load({{x, y, 1234, 10, 20, 30, 0.5f}});
                _NSwRenderSquarePoints(ctx_, pipe_);
                std::set<Pixel> got;
                for (const Row& r : gRows) {
                    ASSERT_FALSE(r.f.empty());
                    for (std::size_t i = 0; i < r.f.size(); ++i) {
                        const Frag& f = r.f[i];
                        EXPECT_EQ(f.y, r.f[0].y) << "one row a call";
                        EXPECT_EQ(f.x, r.f[0].x + static_cast<LONG>(i)) << "left to right";
                        EXPECT_TRUE(got.insert({f.x, f.y}).second) << "each pixel once";
                        EXPECT_EQ(f.mask, N_FRAG_LIVE);
                        EXPECT_EQ(std::make_tuple(f.r, f.g, f.b, f.a), std::make_tuple(10.0f, 20.0f, 30.0f, 0.5f));
                    }
                }
                EXPECT_EQ(got, ReferenceSquare(p.x, p.y, size, cy_));
            }
        }
    }
}

TEST_F(SwPointTest, SquareCarriesDepthAndTextureCoordinatesAndNamesItsRecord) {
    Start(1);
    Size(2);
    pipe_->mode |= 0x10 | N_MODE_TEXTURE;
    Load({{40 * 16, 50 * 16, 0xABCDE, 1, 2, 3, 1}});
    gPointRecord = true;
    _NSwRenderSquarePoints(ctx_, pipe_);
    gPointRecord = false;
    ASSERT_EQ(gRows.size(), 2u);
    for (const Row& r : gRows) {
        ASSERT_NE(r.prim, nullptr);
        EXPECT_EQ(r.primRow, r.f[0].y);
        for (const Frag& f : r.f) {
            EXPECT_EQ(f.z, 0xABCDEu);
            EXPECT_EQ(std::make_tuple(f.s, f.t, f.q), std::make_tuple(0.25f, 0.75f, 1.0f));
        }
    }
    EXPECT_EQ(c_->pCurPrim, nullptr) << "the record is the stage's own while it runs";
    EXPECT_EQ(c_->span.pTexLod->d, 0);
    EXPECT_EQ(c_->span.pTexLod->lambda, 0.0f);
}

TEST_F(SwPointTest, SquaresAreCutToEachClipRectangleAndToTheScreen) {
    Start(0);
    Size(5);
    // Two rectangles side by side, maxima outside: x 0-41 and 42-99, rows 0-51.
    Clip({0, (52u << 16) | 42u, 42u, (52u << 16) | 100u});
    // The point at (40, 50) covers x 38-42, rows 48-52.
    Load({{40, 50, 0, 1, 1, 1, 1}});
    _NSwRenderSquarePoints(ctx_, pipe_);
    std::map<LONG, std::vector<std::pair<LONG, LONG>>> rows;  // y -> (first x, count)
    for (const Row& r : gRows) rows[r.f[0].y].push_back({r.f[0].x, static_cast<LONG>(r.f.size())});
    ASSERT_EQ(rows.size(), 4u) << "row 52 lies outside both";
    for (const auto& [y, runs] : rows) {
        SCOPED_TRACE(y);
        EXPECT_EQ(runs, (std::vector<std::pair<LONG, LONG>>{{38, 4}, {42, 1}}));
    }
    // Without a clip list the screen cuts: a point on the top left corner.
    gRows.clear();
    ctx_->pulPackedClip = ctx_->builtinPacked;
    ctx_->cClipRects = 0;
    Load({{0, 0, 0, 1, 1, 1, 1}});
    _NSwRenderSquarePoints(ctx_, pipe_);
    ASSERT_EQ(gRows.size(), 3u);
    for (const Row& r : gRows) EXPECT_EQ(std::make_pair(r.f[0].x, static_cast<LONG>(r.f.size())), std::make_pair(0, 3));
    // A vertex no view volume makes draws nothing.
    gRows.clear();
    Load({{static_cast<float>(1 << 26), 10, 0, 1, 1, 1, 1}});
    _NSwRenderSquarePoints(ctx_, pipe_);
    EXPECT_TRUE(gRows.empty());
}

// A window cut into many rectangles (100, 700: rows of seven side by
// side, one pixel tall): a point on the last rows is drawn wherever the
// list shows it, each pixel once.
TEST_F(SwPointTest, SquaresReachEveryClipRectangleOfALongList) {
    Start(0);
    Size(3);
    for (ULONG count : {100u, 700u}) {
        SCOPED_TRACE(count);
        std::vector<ULONG> packed;
        for (ULONG i = 0; i < count; ++i) {
            const ULONG x = (i % 7) * 90, y = i / 7;
            packed.push_back((y << 16) | x);
            packed.push_back(((y + 1) << 16) | (x + 90));
        }
        Clip(packed);
        const LONG last = static_cast<LONG>((count - 1) / 7);  // the last row a rectangle holds
        gRows.clear();
        Load({{60, static_cast<float>(last), 0, 1, 1, 1, 1}});
        _NSwRenderSquarePoints(ctx_, pipe_);
        std::set<Pixel> got, want;
        for (const Frag& f : All()) EXPECT_TRUE(got.insert({f.x, f.y}).second) << f.x << "," << f.y;
        for (const Pixel& p : ReferenceSquare(60.5, last + 0.5, 3, cy_))
            if (p.second <= last) want.insert(p);
        EXPECT_EQ(want.size(), 6u);
        EXPECT_EQ(got, want);
    }
}

TEST_F(SwPointTest, HugePointsStayInsideTheSpan) {
    Start(0);
    Size(1.0e9f);
    Load({{100, 100, 0, 1, 1, 1, 1}});
    _NSwRenderSquarePoints(ctx_, pipe_);
    ASSERT_FALSE(gRows.empty());
    for (const Row& r : gRows) {
        EXPECT_LE(r.f.size(), std::min<std::size_t>(cx_, N_FRAG_MAX));
        EXPECT_GE(r.f.front().x, 0);
        EXPECT_LT(r.f.back().x, cx_);
        EXPECT_GE(r.f[0].y, 0);
        EXPECT_LT(r.f[0].y, cy_);
    }
    gRows.clear();
    _NSwRenderPoints(ctx_, pipe_);
    for (const Row& r : gRows) EXPECT_LE(r.f.size(), std::min<std::size_t>(cx_, N_FRAG_MAX));
}

// A point whose vertex may not be drawn (an indefinite x, y or z: a NaN or
// infinite coordinate) makes no fragment, as a square or a disc; the
// batch's other points are drawn.
TEST_F(SwPointTest, UndrawableVerticesMakeNoFragment) {
    constexpr float kIndefinite = -2147483648.0f;  // 0x80000000 as the pipe holds it
    const std::array<float, 3> bads[] = {{kIndefinite, 20, 0x100}, {20, kIndefinite, 0x100}, {20, 20, kIndefinite}};
    Start(0);
    Size(3.0f);
    for (const auto& bad : bads) {
        Load({{10, 10, 0x100, 1, 1, 1, 1}, {bad[0], bad[1], bad[2], 1, 1, 1, 1}, {30, 30, 0x100, 1, 1, 1, 1}});
        for (N_StageFn fn : {_NSwRenderSquarePoints, _NSwRenderPoints}) {
            gRows.clear();
            fn(ctx_, pipe_);
            std::set<LONG> columns;
            for (const Frag& f : All()) {
                columns.insert(f.x);
                EXPECT_NE(f.z, 0x80000000u);
            }
            EXPECT_TRUE(columns.count(10) && columns.count(30)) << "the other points are drawn";
            for (LONG x : columns) EXPECT_TRUE(std::abs(x - 10) <= 3 || std::abs(x - 30) <= 3) << x;
        }
    }
}

TEST(SwPointSide, TheSizeRoundedToTheNearestWholeNumber) {
    const std::pair<float, LONG> cases[] = {{0.0f, 1},  {0.4f, 1},     {1.0f, 1},  {1.4f, 1},     {1.5f, 2},
                                            {2.0f, 2},  {2.49f, 2},    {2.5f, 3},  {10.0f, 10},   {1e9f, 4095},
                                            {-3.0f, 1}, {std::nanf(""), 1}};
    for (const auto& [size, side] : cases) EXPECT_EQ(_NSwPointSide(size), side) << size;
}

// --- antialiased discs ---------------------------------------------------------------------------
TEST_F(SwPointTest, DiscCoverageScalesAlphaByTheDistanceFromTheExactCentre) {
    Start(1);
    pipe_->mode |= 0x10;
    const std::pair<double, double> centres[] = {{60.5, 70.5}, {60.25, 70.75}, {60.0, 70.0}};
    for (const auto& [xc, yc] : centres) {
        for (float size : {1.0f, 1.5f, 2.0f, 3.0f, 4.0f, 5.0f, 6.5f, 10.0f}) {
            SCOPED_TRACE(testing::Message() << "centre " << xc << "," << yc << " size " << size);
            gRows.clear();
            Size(size);
            Load({{static_cast<float>((xc - 0.5) * 16), static_cast<float>((yc - 0.5) * 16), 77, 200, 100, 50, 0.8f}});
            _NSwRenderPoints(ctx_, pipe_);
            std::map<Pixel, float> live;
            for (const Row& r : gRows)
                for (const Frag& f : r.f) {
                    EXPECT_EQ(f.y, r.f[0].y);
                    if (f.mask == N_FRAG_KILLED) continue;
                    EXPECT_EQ(f.mask, N_FRAG_LIVE);
                    EXPECT_TRUE(live.emplace(Pixel{f.x, f.y}, f.a).second);
                    // Coverage goes to alpha alone.
                    EXPECT_EQ(std::make_tuple(f.r, f.g, f.b, f.z), std::make_tuple(200.0f, 100.0f, 50.0f, 77u));
                }
            // Every pixel the reference covers, with its coverage.
            const LONG reach = static_cast<LONG>(size) + 2;
            for (LONG y = static_cast<LONG>(yc) - reach; y <= static_cast<LONG>(yc) + reach; ++y)
                for (LONG x = static_cast<LONG>(xc) - reach; x <= static_cast<LONG>(xc) + reach; ++x) {
                    const float c = ReferenceCoverage(xc, yc, size, x, y);
                    const auto it = live.find({x, y});
                    if (c <= 1e-4f) {
                        EXPECT_TRUE(it == live.end() || it->second < 1e-3f) << x << "," << y;
                        continue;
                    }
                    ASSERT_NE(it, live.end()) << x << "," << y << " coverage " << c;
                    EXPECT_NEAR(it->second, 0.8f * c, 1e-4f) << x << "," << y;
                }
        }
    }
}

TEST_F(SwPointTest, DiscOfRadiusTwoAtAPixelCentre) {
    // Distance 2.236 leaves coverage 0.764, distance 2.828 leaves 0.172.
    Start(0);
    Size(5);
    Load({{30, 40, 0, 255, 255, 255, 1}});
    _NSwRenderPoints(ctx_, pipe_);
    std::map<Pixel, float> a;
    for (const Frag& f : All())
        if (f.mask == N_FRAG_LIVE) a[{f.x, f.y}] = f.a;
    EXPECT_FLOAT_EQ(a.at({30, 40}), 1.0f);
    EXPECT_FLOAT_EQ(a.at({31, 40}), 1.0f);
    EXPECT_FLOAT_EQ(a.at({32, 40}), 1.0f) << "distance 2 is inside";
    EXPECT_NEAR(a.at({32, 41}), 0.764f, 1e-3f);
    EXPECT_NEAR(a.at({32, 42}), 0.172f, 1e-3f);
    EXPECT_EQ(a.count({33, 40}), 0u);
    EXPECT_EQ(a.size(), 25u) << "every pixel nearer than 3";
}

TEST_F(SwPointTest, IndexDiscsRampTheIndexByCoverage) {
    Start(0);
    Size(3);
    Load({{20, 20, 0, 32, 0, 0, 1}});
    _NSwRenderPointsIndex(ctx_, pipe_);
    std::map<Pixel, float> idx;
    for (const Frag& f : All())
        if (f.mask == N_FRAG_LIVE) idx[{f.x, f.y}] = f.r;
    EXPECT_FLOAT_EQ(idx.at({20, 20}), 47.0f);
    EXPECT_FLOAT_EQ(idx.at({21, 20}), 47.0f);
    EXPECT_NEAR(idx.at({21, 21}), 32.0f + 15.0f * (2.0f - std::sqrt(2.0f)), 1e-3f);
    EXPECT_EQ(idx.size(), 9u);
}

// --- span alpha fill ---------------------------------------------------------------------------
TEST_F(SwPointTest, AlphaFillFlatAndRampInBothDirections) {
    Start(0);
    const float colour[5] = {1, 2, 3, 0.625f, 0};
    N_SpanTri tri{};
    tri.v[0].pColour = colour;
    c_->pCurPrim = &tri;
    N_FragSpan& sp = c_->span;
    struct Case {
        const char* what;
        N_StageFn fn;
        LONG count;
        ULONG right;
        std::vector<float> want;
    };
    const Case cases[] = {
        {"flat", _NSpanColorFlat, 3, 0, {0.625f, 0.625f, 0.625f, -1}},
        {"forward", _NSpanColorSmooth, 3, 0, {0.5f, 0.6f, 0.7f, -1}},
        {"reverse", _NSpanColorSmooth, 3, 1, {0.7f, 0.6f, 0.5f, -1}},
        {"empty flat", _NSpanColorFlat, 0, 0, {-1, -1, -1, -1}},
        {"empty ramp", _NSpanColorSmooth, 0, 1, {-1, -1, -1, -1}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        gRows.clear();
        std::fill_n(sp.pAlpha, 4, -1.0f);
        sp.count = k.count;
        tri.count = k.count;
        tri.longEdgeRight = k.right;
        tri.alphaLongEdge = 0.5f;
        tri.dAlphaAway = 0.1f;
        k.fn(ctx_, pipe_);
        EXPECT_EQ(gRows.size(), 1u) << "the successor runs once, also for an empty span";
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(sp.pAlpha[i], k.want[i], 1e-6f) << i;
    }
    c_->pCurPrim = nullptr;
}

// The rasteriser and the fill together: every fragment's alpha the alpha
// plane of the triangle at its pixel, with and without an alpha buffer
// (board or host), under blending or the alpha test.
TEST_F(SwPointTest, AlphaFillFollowsTheTrianglesAlphaPlane) {
    Start(0);
    for (const bool bMirror : {false, true}) {
        // The middle vertex right of the long edge, then left of it (the
        // ramp then runs from the span's last fragment backwards).
        const LONG w[3][3] = {{bMirror ? 90 : 10, 10, 0}, {bMirror ? 10 : 90, 30, 0}, {bMirror ? 60 : 40, 70, 0}};
        const float col[3][5] = {{0, 0, 0, 0.0f, 0}, {0, 0, 0, 1.0f, 0}, {0, 0, 0, 0.5f, 0}};
        // The plane through the three alphas.
        const double det = (w[1][0] - w[0][0]) * (w[2][1] - w[0][1]) - (w[2][0] - w[0][0]) * (w[1][1] - w[0][1]);
        const double dadx = ((col[1][3] - col[0][3]) * (w[2][1] - w[0][1]) - (col[2][3] - col[0][3]) * (w[1][1] - w[0][1])) / det;
        const double dady = ((col[2][3] - col[0][3]) * (w[1][0] - w[0][0]) - (col[1][3] - col[0][3]) * (w[2][0] - w[0][0])) / det;
        auto plane = [&](LONG x, LONG y) { return col[0][3] + dadx * (x - w[0][0]) + dady * (y - w[0][1]); };
        const std::pair<const char*, ULONG> modes[] = {{"blending, no alpha buffer", 0x81 | 0x2000},
                                                       {"blending, board alpha buffer", 0x89 | 0x2000},
                                                       {"blending, host alpha buffer", 0x289 | 0x2000},
                                                       {"alpha test", 0x81 | 0x4000}};
        for (const auto& [what, mode] : modes) {
            for (ULONG order = 0; order < 2; ++order) {
                SCOPED_TRACE(testing::Message() << what << (order ? ", vertices turned" : "") << (bMirror ? ", mirrored" : ""));
                gRows.clear();
                pipe_->mode = mode;
                N_SpanTri tri{};
                for (int i = 0; i < 3; ++i) {
                    const int k = order ? 2 - i : i;
                    tri.v[i].pWindow = w[k];
                    tri.v[i].pColour = col[k];
                    tri.v[i].invQ = 1.0f;
                }
                c_->pCurPrim = &tri;
                pipe_->next[N_STAGE_SPAN_RASTER] = _NSpanColorSmooth;
                N_SwScreen screen{640, 480, 0, 0};
                _NSwRasterTriangle(ctx_, pipe_, screen);
                c_->pCurPrim = nullptr;
                ASSERT_GT(gRows.size(), 10u);
                for (const Row& r : gRows)
                    for (std::size_t i = 0; i < r.f.size(); ++i) {
                        const LONG x = r.f[0].x + static_cast<LONG>(i), y = r.f[0].y;
                        // Each fragment takes the plane at its own pixel.
                        EXPECT_NEAR(r.f[i].a, plane(x, y), 1e-4) << x << "," << y;
                    }
            }
        }
    }
}

// Blending and the logic operation read the destination under each row of
// a point (here from a host colour buffer and its host alpha buffer).
TEST_F(SwPointTest, BlendedPointsReadTheDestinationUnderEachRow) {
    Start(0);
    static ULONG pixels[40 * 30];
    static BYTE alpha[40 * 30];
    for (ULONG i = 0; i < 40 * 30; ++i) {
        pixels[i] = 0x00010203u * (i % 50) + (i << 24);
        alpha[i] = static_cast<BYTE>(i * 7);
    }
    GLBuffer colour{}, alphaBuf{};
    BindHostBuffer(colour, pixels, GLBUFFER_BACK_LEFT, 32, 40, 30);
    BindHostBuffer(alphaBuf, alpha, GLBUFFER_ALPHA, 8, 40, 30);
    N_SetStateBlockAttrWord(N_ATTR_DRAW_BUFFER, 4);  // back left
    ctx_->val.cDrawBuffers = 1;
    ctx_->val.drawSlots[0] = 1;
    ctx_->val.alphaSlots[0] = -1;
    Size(4);
    Load({{38, 20, 0, 1, 1, 1, 1}, {5, 5, 0, 1, 1, 1, 1}});
    for (ULONG mode : {N_MODE_FRAGMENTS | 0x80 | N_MODE_BLEND, ULONG{N_MODE_LOGIC_OP}}) {
        SCOPED_TRACE(mode);
        gRows.clear();
        pipe_->mode = mode;
        _NSwRenderSquarePoints(ctx_, pipe_);
        // The first point is cut to the window's 40 columns.
        ASSERT_EQ(All().size(), 4u * 3 + 4u * 4);
        for (const Frag& f : All()) {
            const ULONG v = pixels[f.y * 40 + f.x];
            EXPECT_EQ(f.dstPacked, v) << f.x << "," << f.y;
            if (mode & N_MODE_BLEND) {
                EXPECT_EQ(std::make_tuple(f.dstR, f.dstG, f.dstB),
                          std::make_tuple(float((v >> 16) & 0xFF), float((v >> 8) & 0xFF), float(v & 0xFF)));
            }
        }
    }
    // Without either, nothing is read.
    gRows.clear();
    c_->span.pDstPacked[0] = 0xDEADu;
    pipe_->mode = N_MODE_FRAGMENTS;
    _NSwRenderSquarePoints(ctx_, pipe_);
    EXPECT_EQ(gRows.back().f[0].dstPacked, 0xDEADu);
}

// The selector's choice: the square stage, or the antialiased stage of the
// colour mode; stage 79 by whether alpha comes a vertex.
TEST_F(SwPointTest, TheStagesTheSelectionInstalls) {
    Start(0);
    EXPECT_EQ(_NRenderFcn(N_SW_POINT), _NSwRenderSquarePoints);
    EXPECT_EQ(_NRenderFcn(N_SW_POINT_AA_RGBA), _NSwRenderPoints);
    EXPECT_EQ(_NRenderFcn(N_SW_POINT_AA_INDEX), _NSwRenderPointsIndex);
    EXPECT_EQ(_NRenderFcn(N_SPAN_COLOUR_FLAT), _NSpanColorFlat);
    EXPECT_EQ(_NRenderFcn(N_SPAN_COLOUR_SMOOTH), _NSpanColorSmooth);
    EXPECT_STREQ(_NRenderFcnName(N_SW_POINT), "_NSwRenderSquarePoints");
    EXPECT_STREQ(_NRenderFcnName(N_SPAN_COLOUR_SMOOTH), "_NSpanColorSmooth");
}

}  // namespace
