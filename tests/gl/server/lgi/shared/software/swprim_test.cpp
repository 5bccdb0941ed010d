// The primitive stages of the software path: the line stages' fragments
// against GL's line rule (diamond exit, start pixel in, end pixel out), the
// stipple mask, per-fragment values and flat colours; the polygon stages'
// triangles (order, overlap across face runs, provoking colours, 1/q); the
// outline walker's strips by edge flags and kind; and both ends through to
// pixels against GL's point-sampling and line rules.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "3d/pipes/pipes.h"
#include "3d/queue/renderfcn.h"
#include "3d/validate/validate.h"
#include "3d/pipes/vstage.h"
#include "lgi/shared/software/swtexture.h"
#include "lgi/seams.h"
#include "lgi/shared/software/swprim.h"
#include "gl/server/lgi/board_fixture.h"
#include "gl/server/lgi/lgi_fixture.h"

namespace {

// --- what the stages hand on --------------------------------------------------------------------
struct Frag {
    LONG x, y;
    BYTE mask;
    float r, g, b, a;
    ULONG z;
    float s, t, q;
};
struct LineRun {
    ULONG major;
    std::vector<Frag> f;
    std::pair<LONG, LONG> past;  // the entry after the run
    LONG minorAt0;               // where the segment passes the run's first pixel
};
std::vector<LineRun> gRuns;

void CaptureRun(N_Context*, N_Pipe* pipe) {
    const CommonPipeData& c = *pipe->pCommonPipeData;
    const N_FragSpan& sp = c.span;
    const auto* line = static_cast<const N_SpanLine*>(c.pCurPrim);
    LineRun r{line->majorAxis, {}, {sp.pX[sp.count], sp.pY[sp.count]}, line->minorAt0};
    for (LONG i = 0; i < sp.count; ++i)
        r.f.push_back({sp.pX[i], sp.pY[i], sp.pMask[i], sp.pRed[i], sp.pGreen[i], sp.pBlue[i], sp.pAlpha[i],
                       sp.pDepth[i], sp.pS[i], sp.pT[i], sp.pQ[i]});
    gRuns.push_back(std::move(r));
}

// GL's line rule between pixel centres: along the major axis from the start
// pixel up to (not including) the end pixel, the minor coordinate the
// nearest to the line; a tie in a column goes to the pixel the line nears
// just right of the column's centre, a tie in a row to the left pixel (as
// GL's reference rasteriser draws them, whichever end a line starts at).
std::vector<std::pair<LONG, LONG>> ReferenceLine(LONG ax, LONG ay, LONG bx, LONG by) {
    std::vector<std::pair<LONG, LONG>> out;
    const LONG dx = bx - ax, dy = by - ay;
    if (dx == 0 && dy == 0) return {{ax, ay}};
    if (std::abs(dx) > std::abs(dy)) {
        const bool bRising = (dx > 0) == (dy > 0);  // y grows with x
        for (LONG i = 0; i < std::abs(dx); ++i) {
            const LONG x = ax + (dx > 0 ? i : -i);
            const double y = ay + static_cast<double>(x - ax) * dy / dx;
            out.push_back({x, static_cast<LONG>(bRising ? std::floor(y + 0.5) : std::ceil(y - 0.5))});
        }
    } else {
        for (LONG i = 0; i < std::abs(dy); ++i) {
            const LONG y = ay + (dy > 0 ? i : -i);
            const double x = ax + static_cast<double>(y - ay) * dx / dy;
            out.push_back({static_cast<LONG>(std::ceil(x - 0.5)), y});
        }
    }
    return out;
}

// A test batch: vertices with window coordinates, colour entries and
// texture coordinates in arrays of exactly the batch's size.
struct Vtx {
    LONG x, y;
    ULONG z = 0;
    float r = 0, g = 0, b = 0, a = 1;
    float s = 0, t = 0, rr = 0, q = 1;
    ULONG edge = 1;
};

class SwPrimTest : public lgi_test::LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        gRuns.clear();
        pipe_ = &ctx_->blocks[0].front;
        c_ = pipe_->pCommonPipeData;
        pipe_->next[N_STAGE_RENDER] = CaptureRun;
        pipe_->mode = N_MODE_FRAGMENTS;
        pipe_->colourCopy = 0;
        ctx_->xf.projectionAffine = 0;
        Stipple(0xFFFF, 1);
    }
    void Stipple(ULONG pattern, ULONG repeat) {
        *pulAttr(ctx_, N_ATTR_LINE_STIPPLE) = pattern;
        *pulAttr(ctx_, N_ATTR_LINE_STIPPLE_REPEAT) = repeat;
    }
    // Loads the batch: strips of the given lengths (one strip of all by default).
    void Load(ULONG code, const std::vector<Vtx>& v, std::vector<ULONG> strips = {}) {
        if (strips.empty()) strips = {static_cast<ULONG>(v.size())};
        strips_ = strips;
        win_.clear();
        col_.clear();
        tex_.clear();
        edge_.clear();
        for (const Vtx& p : v) {
            win_.insert(win_.end(), {p.x, p.y, static_cast<LONG>(p.z)});
            const float rec[5] = {p.r, p.g, p.b, p.a, 0};
            for (float f : rec) col_.push_back(lgi_test::F(f));
            tex_.insert(tex_.end(), {p.s, p.t, p.rr, p.q});
            edge_.push_back(p.edge);
        }
        c_->code = code;
        c_->pWindow = win_.data();
        c_->pHwVertices = col_.data();
        c_->pTexWork = tex_.data();
        c_->pEdgeWords = edge_.data();
        c_->stripCount = static_cast<ULONG>(strips_.size());
        c_->pStripCounts = strips_.data();
        c_->stripVertexCount = static_cast<ULONG>(v.size());
    }
    // All fragments of the captured runs.
    static std::vector<Frag> All() {
        std::vector<Frag> out;
        for (const LineRun& r : gRuns) out.insert(out.end(), r.f.begin(), r.f.end());
        return out;
    }
    N_Pipe* pipe_ = nullptr;
    CommonPipeData* c_ = nullptr;
    std::vector<ULONG> strips_;
    std::vector<LONG> win_;
    std::vector<ULONG> col_;
    std::vector<float> tex_;
    std::vector<ULONG> edge_;
};

// --- line stages ---------------------------------------------------------------------------------
TEST_F(SwPrimTest, SegmentsLightGlsPixelsInEitherDirection) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<LONG> d(-40, 40);
    std::vector<std::array<LONG, 4>> segs = {{10, 7, 15, 7}, {0, 0, 5, 2}, {5, 2, 0, 0}, {0, 0, 4, 4},
                                             {3, 9, 3, 1},   {0, 0, 2, 1}, {2, 1, 0, 0}, {0, 1, 2, 0}};
    for (int i = 0; i < 200; ++i) segs.push_back({d(rng), d(rng), d(rng), d(rng)});
    for (const auto& s : segs) {
        gRuns.clear();
        Load(N_PRIM_LINE_STRIP, {{s[0], s[1]}, {s[2], s[3]}});
        _NSwRenderLine(ctx_, pipe_);
        ASSERT_EQ(gRuns.size(), 1u);
        const auto ref = ReferenceLine(s[0], s[1], s[2], s[3]);
        const std::vector<Frag> got = All();
        ASSERT_EQ(got.size(), ref.size()) << s[0] << "," << s[1] << " -> " << s[2] << "," << s[3];
        for (std::size_t i = 0; i < ref.size(); ++i) {
            EXPECT_EQ(got[i].x, ref[i].first) << s[0] << "," << s[1] << " -> " << s[2] << "," << s[3] << " #" << i;
            EXPECT_EQ(got[i].y, ref[i].second) << s[0] << "," << s[1] << " -> " << s[2] << "," << s[3] << " #" << i;
            EXPECT_EQ(got[i].mask, 1);
        }
        const LONG adx = std::abs(s[2] - s[0]), ady = std::abs(s[3] - s[1]);
        if (adx != 0 || ady != 0) {
            EXPECT_EQ(gRuns[0].past, std::make_pair(s[2], s[3])) << "the end vertex follows the run";
            EXPECT_EQ(gRuns[0].major, adx > ady ? 0u : 1u) << "equal extents walk y-major";
        }
    }
}

// GL's stipple counter: one a fragment from each strip's first vertex on,
// across the strip's segments, whichever way each runs.
TEST_F(SwPrimTest, StippleCountsTheStripsFragmentsFromItsFirstVertex) {
    struct Case {
        const char* what;
        ULONG pattern, repeat;
        std::vector<Vtx> v;
        std::vector<ULONG> strips;
        std::vector<BYTE> masks;
    };
    auto rep = [](std::initializer_list<std::pair<int, BYTE>> runs) {
        std::vector<BYTE> m;
        for (auto [n, b] : runs) m.insert(m.end(), n, b);
        return m;
    };
    const Case cases[] = {
        {"0x00FF factor 1", 0x00FF, 1, {{0, 0}, {20, 0}}, {}, rep({{8, 1}, {8, 0}, {4, 1}})},
        {"second strip restarts", 0x00FF, 1, {{0, 0}, {20, 0}, {3, 5}, {13, 5}}, {2, 2},
         rep({{8, 1}, {8, 0}, {4, 1}, {8, 1}, {2, 0}})},
        {"the count runs on across a strip's segments", 0x00FF, 1, {{0, 0}, {5, 0}, {20, 0}}, {},
         rep({{8, 1}, {8, 0}, {4, 1}})},
        {"factor 3: period 48", 0x0003, 3, {{0, 0}, {50, 0}}, {}, rep({{6, 1}, {42, 0}, {2, 1}})},
        {"a turn to y-major counts on", 0x00FF, 1, {{0, 0}, {10, 0}, {10, 12}}, {}, rep({{8, 1}, {8, 0}, {6, 1}})},
        {"a segment walked leftwards counts from its first vertex", 0x00FF, 1, {{20, 0}, {0, 0}}, {},
         rep({{8, 1}, {8, 0}, {4, 1}})},
        {"and upwards, after a turn", 0x000F, 1, {{0, 9}, {6, 9}, {6, 0}}, {}, rep({{4, 1}, {11, 0}})},
    };
    for (const Case& k : cases) {
        gRuns.clear();
        Stipple(k.pattern, k.repeat);
        Load(N_PRIM_LINE_STRIP, k.v, k.strips);
        _NSwRenderLine(ctx_, pipe_);
        std::vector<BYTE> got;
        for (const Frag& f : All()) got.push_back(f.mask);
        EXPECT_EQ(got, k.masks) << k.what;
    }
}

TEST_F(SwPrimTest, SeparateLinesEachPairRestartsAndAnOddVertexIsLeft) {
    Stipple(0x000F, 1);
    Load(N_PRIM_LINES, {{0, 0}, {6, 0}, {10, 3}, {16, 3}, {30, 30}});
    ctx_->pfnLineStage = _NSwRenderLine;
    _NSwRenderLinePairs(ctx_, pipe_);
    ASSERT_EQ(gRuns.size(), 2u);
    for (const LineRun& r : gRuns) {
        ASSERT_EQ(r.f.size(), 6u);
        for (int i = 0; i < 6; ++i) EXPECT_EQ(r.f[i].mask, i < 4 ? 1 : 0);
    }
    EXPECT_EQ(gRuns[1].f[0].x, 10);
    EXPECT_EQ(c_->pWindow, win_.data()) << "the batch's arrays are put back";
    EXPECT_EQ(c_->stripVertexCount, 5u);
}

TEST_F(SwPrimTest, EdgeFlagsZeroLengthAndLongSegments) {
    // Line mode with edge flags: only segments whose start vertex has edge bits 1.
    pipe_->mode |= N_MODE_POLY_LINE_PRIM;
    Vtx a{0, 0}, b{5, 0}, c{5, 5}, d{0, 5};
    a.edge = 1, b.edge = 2, c.edge = 0;
    Load(N_PRIM_LINE_STRIP, {a, b, c, d});
    _NSwRenderLine(ctx_, pipe_);
    ASSERT_EQ(gRuns.size(), 1u);
    EXPECT_EQ(gRuns[0].f.back().x, 4);

    // A zero-length segment: one fragment, drawn even where the stipple is off.
    gRuns.clear();
    pipe_->mode = N_MODE_FRAGMENTS;
    Stipple(0x0001, 1);
    Load(N_PRIM_LINE_STRIP, {{0, 0}, {3, 0}, {3, 0}});
    _NSwRenderLine(ctx_, pipe_);
    ASSERT_EQ(gRuns.size(), 2u);
    ASSERT_EQ(gRuns[1].f.size(), 1u);
    EXPECT_EQ(gRuns[1].f[0].mask, 1);

    // A vertex no screen holds (the integer-indefinite of a NaN): its
    // segments are not drawn.
    gRuns.clear();
    Load(N_PRIM_LINE_STRIP, {{0, 0}, {static_cast<LONG>(0x80000000u), 5}, {4, 4}});
    _NSwRenderLine(ctx_, pipe_);
    EXPECT_TRUE(gRuns.empty());

    // A segment longer than the span goes on in pieces, every pixel once;
    // each piece says where the segment passes its first pixel across the
    // major axis (in 1 / 5000 of a pixel: 7 x i - 5000 x y).
    gRuns.clear();
    Stipple(0xFFFF, 1);
    static_assert(N_FRAG_MAX < 5000);
    Load(N_PRIM_LINE_STRIP, {{0, 0}, {5000, 7}});
    _NSwRenderLine(ctx_, pipe_);
    EXPECT_GE(gRuns.size(), 2u);
    const auto got = All();
    ASSERT_EQ(got.size(), 5000u);
    for (LONG i = 0; i < 5000; ++i) ASSERT_EQ(got[i].x, i);
    for (const LineRun& r : gRuns) {
        const LONG i = r.f.front().x, y = r.f.front().y;
        EXPECT_EQ(r.minorAt0, 7 * i - 5000 * y) << "piece from " << i;
        EXPECT_LE(std::abs(r.minorAt0), 2500);
    }
}

// A segment with an end that may not be drawn makes no fragment; the
// strip's other segments are drawn. Two such vertices in a row make a
// segment of no length whose one fragment would lie at the coordinate.
TEST_F(SwPrimTest, SegmentsWithAnUndrawableEndMakeNoFragment) {
    constexpr LONG kIndefinite = static_cast<LONG>(0x80000000u);
    pipe_->mode = N_MODE_FRAGMENTS | 0x10;
    const Vtx bads[] = {{kIndefinite, 5, 0x100}, {5, kIndefinite, 0x100}, {5, 5, 0x80000000u}, {LONG{1} << 25, 5, 0x100}};
    for (const Vtx& bad : bads) {
        for (N_StageFn fn : {_NSwRenderLine, _NSwRenderLineStrips, _NSwRenderLineAttr}) {
            gRuns.clear();
            Load(N_PRIM_LINE_STRIP, {{0, 0, 0x100}, {10, 0, 0x100}, bad, bad, {10, 10, 0x100}, {0, 10, 0x100}});
            fn(ctx_, pipe_);
            ASSERT_EQ(gRuns.size(), 2u) << bad.x << ", " << bad.y << ", " << bad.z;
            EXPECT_EQ(gRuns[0].f.front().x, 0);
            EXPECT_EQ(gRuns[0].f.front().y, 0);
            EXPECT_EQ(gRuns[1].f.front().x, 10);
            EXPECT_EQ(gRuns[1].f.front().y, 10);
        }
    }
}

TEST_F(SwPrimTest, AttributeLinesStepColourDepthAndTexture) {
    pipe_->mode = N_MODE_FRAGMENTS | 0x80 | 0x10;
    Vtx a{0, 0, 1000, 0, 100, 200, 0.0f, 0, 0, 0, 1}, b{8, 2, 9000, 80, 100, 40, 1.0f, 8, 4, 0, 2};
    Load(N_PRIM_LINE_STRIP, {a, b});
    _NSwRenderLineAttr(ctx_, pipe_);
    ASSERT_EQ(gRuns.size(), 1u);
    const auto& f = gRuns[0].f;
    ASSERT_EQ(f.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_NEAR(f[i].r, 10.0f * i, 1e-3);
        EXPECT_NEAR(f[i].b, 200.0f - 20.0f * i, 1e-3);
        EXPECT_NEAR(f[i].a, i / 8.0f, 1e-5);
        EXPECT_EQ(f[i].z, 1000u + 1000u * i);
    }

    // Flat shading: the segment takes its end vertex's colour; texture
    // coordinates still run from its own start to its own end, and the last
    // segment reads nothing past the batch (the arrays end there).
    gRuns.clear();
    pipe_->colourCopy = 1;
    pipe_->mode = N_MODE_FRAGMENTS | N_MODE_TEXTURE;
    Vtx p{0, 0}, q{4, 0}, r{4, 4};
    p.r = 10, q.r = 20, r.r = 30;
    p.s = 0, q.s = 4, r.s = 100;
    p.t = 1, q.t = 1, r.t = 9;
    Load(N_PRIM_LINE_STRIP, {p, q, r});
    _NSwRenderLineAttr(ctx_, pipe_);
    ASSERT_EQ(gRuns.size(), 2u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(gRuns[0].f[i].r, 20.0f);
        EXPECT_EQ(gRuns[1].f[i].r, 30.0f);
        EXPECT_NEAR(gRuns[0].f[i].s, static_cast<float>(i), 1e-5);
        EXPECT_NEAR(gRuns[1].f[i].s, 4.0f + 24.0f * i, 1e-3);
        EXPECT_NEAR(gRuns[1].f[i].t, 1.0f + 2.0f * i, 1e-4);
    }
}

// Textured lines through the texture stage, after a triangle of the same
// pipe block left its span choosing a level a fragment: a line span takes
// one level for its segment (its record is no triangle's), chosen by GL's
// rho from the change of the texture coordinates themselves, which under
// a perspective (clip w 2 here) are not the weighted values the walk steps.
struct TexturedRun {
    LONG lodMode;
    float lambda;
    std::vector<float> blue;  // the level's mark each fragment was sampled from
};
std::vector<TexturedRun> gTextured;

void CaptureTextured(N_Context*, N_Pipe* pipe) {
    const N_FragSpan& sp = pipe->pCommonPipeData->span;
    TexturedRun r{sp.lodMode, sp.pTexLod != nullptr ? sp.pTexLod->lambda : -99.0f, {}};
    for (LONG i = 0; i < sp.count; ++i) r.blue.push_back(sp.pBlue[i]);
    gTextured.push_back(std::move(r));
}

TEST_F(SwPrimTest, TexturedLinesTakeOneLevelASegmentByGlsRho) {
    // Seven levels of a 64 x 64 texture, each texel's blue 10 x its level.
    std::vector<float> store[7];
    float* levels[N_TEX_LEVELS] = {};
    for (ULONG d = 0; d < 7; ++d) {
        const LONG w = 64 >> d;
        store[d].assign(5 * std::size_t(w) * w, 0.0f);
        for (std::size_t k = 0; k < store[d].size(); k += 5) store[d][k + 2] = 10.0f * d, store[d][k + 3] = 1.0f;
        levels[d] = store[d].data();
    }
    ctx_->ppTexLevels = levels;
    ctx_->boundTex.target = 1;
    ctx_->boundTex.border = 0;
    ctx_->boundTex.width = ctx_->boundTex.height = 64;
    ctx_->texLevels = 7;
    N_TexSampling& ts = ctx_->val.tex;
    ts.minFilter = 2;  // NEAREST_MIPMAP_NEAREST
    ts.magFilter = 0;
    ts.minSampler = 2;
    ts.magSampler = 0;
    ts.switchOver = 0.0f;
    ts.envFunction = 1;  // decal: the texel's colour
    _NValColorMap(ctx_, 32);  // channels on a 32-bit buffer's scale
    *pulAttr(ctx_, N_ATTR_WRAP_S1) = 0;
    *pulAttr(ctx_, N_ATTR_WRAP_T1) = 0;
    pipe_->mode = N_MODE_FRAGMENTS | N_MODE_TEXTURE;
    pipe_->next[N_STAGE_RENDER] = _NSpanTexture;
    pipe_->next[N_STAGE_SW_TEXTURE] = CaptureTextured;
    // 16 pixels over which s goes from 0 to 1 (64 texels): rho 4, lambda
    // 2, level 2; the fourth texture word is the clip w (q is 1).
    for (const float w : {1.0f, 2.0f}) {
        SCOPED_TRACE(testing::Message() << "clip w " << w);
        gTextured.clear();
        c_->span.lodMode = N_LOD_FRAGMENT;
        Vtx a{10, 20}, b{26, 20};
        a.s = 0.0f, b.s = 1.0f;
        a.t = b.t = 0.5f;
        a.q = b.q = w;
        Load(N_PRIM_LINE_STRIP, {a, b});
        _NSwRenderLineAttr(ctx_, pipe_);
        ASSERT_EQ(gTextured.size(), 1u);
        EXPECT_EQ(gTextured[0].lodMode, N_LOD_PRIMITIVE);
        EXPECT_NEAR(gTextured[0].lambda, 2.0f, 1e-4f);
        ASSERT_EQ(gTextured[0].blue.size(), 16u);
        for (float f : gTextured[0].blue) EXPECT_EQ(f, 20.0f);
    }
    ctx_->ppTexLevels = nullptr;
}

// --- antialiased lines --------------------------------------------------------------------------
// GL's antialiased line: the rectangle of the line's width centred on the
// segment, from its start to its end; each pixel's coverage its area inside
// the rectangle, measured here by sampling a 128 x 128 grid of each pixel
// (at most 1/128 off an edge crossing it). Positions in the stage's frame:
// pixel (i, j) spans [i - 1/2, i + 1/2] x [j - 1/2, j + 1/2].
struct AAPt {
    double x, y;
};
double SampledCoverage(AAPt a, AAPt b, double width, LONG i, LONG j) {
    const double dx = b.x - a.x, dy = b.y - a.y, len = std::hypot(dx, dy);
    constexpr int kGrid = 128;
    int inside = 0;
    for (int m = 0; m < kGrid; ++m)
        for (int k = 0; k < kGrid; ++k) {
            const double x = i - 0.5 + (k + 0.5) / kGrid - a.x, y = j - 0.5 + (m + 0.5) / kGrid - a.y;
            const double u = (x * dx + y * dy) / len, v = (y * dx - x * dy) / len;
            if (u >= 0.0 && u <= len && std::fabs(v) <= width / 2) ++inside;
        }
    return static_cast<double>(inside) / (kGrid * kGrid);
}

struct AAFrag {
    BYTE mask;
    float r, a;
    ULONG z;
};
std::map<std::pair<LONG, LONG>, AAFrag> gAA;
int gAADuplicates = 0;
void CaptureAA(N_Context*, N_Pipe* pipe) {
    const N_FragSpan& sp = pipe->pCommonPipeData->span;
    for (LONG i = 0; i < sp.count; ++i)
        if (!gAA.insert({{sp.pX[i], sp.pY[i]}, {sp.pMask[i], sp.pRed[i], sp.pAlpha[i], sp.pDepth[i]}}).second)
            ++gAADuplicates;
}

// The line stages on a board whose window coordinates come in sixteenths
// of a pixel, lines antialiased.
class SwAALineTest : public lgi_test::LgiBoardTest {
  protected:
    void SetUp() override {
        LgiBoardTest::SetUp();
        Boot(lgi_test::kSolo, 1);
        gAA.clear();
        gAADuplicates = 0;
        pipe_ = &ctx_->blocks[0].front;
        c_ = pipe_->pCommonPipeData;
        pipe_->next[N_STAGE_RENDER] = CaptureAA;
        pipe_->mode = N_MODE_FRAGMENTS | KZ_EN_AA_LINES | KZ_EN_ALPHA;
        pipe_->colourCopy = 0;
        *pulAttr(ctx_, N_ATTR_LINE_STIPPLE) = 0xFFFF;
        *pulAttr(ctx_, N_ATTR_LINE_STIPPLE_REPEAT) = 1;
        *pulAttr(ctx_, N_ATTR_COLOUR_INDEX_MODE) = 0;
    }
    void Width(float w) { *pulAttr(ctx_, N_ATTR_LINE_WIDTH) = lgi_test::F(w); }
    // One strip through the points (pixels), each with its red, alpha and depth.
    void Load(const std::vector<AAPt>& pts, const std::vector<std::array<float, 3>>& values = {}) {
        win_.clear();
        col_.clear();
        tex_.clear();
        for (std::size_t k = 0; k < pts.size(); ++k) {
            const std::array<float, 3> v = k < values.size() ? values[k] : std::array<float, 3>{10.0f, 0.8f, 0.0f};
            win_.insert(win_.end(), {static_cast<LONG>(std::lround(pts[k].x * 16)),
                                     static_cast<LONG>(std::lround(pts[k].y * 16)), static_cast<LONG>(v[2])});
            const float rec[5] = {v[0], 20.0f, 30.0f, v[1], 0};
            for (float f : rec) col_.push_back(lgi_test::F(f));
            tex_.insert(tex_.end(), {0, 0, 0, 1});
        }
        strips_ = {static_cast<ULONG>(pts.size())};
        c_->code = N_PRIM_LINE_STRIP;
        c_->pWindow = win_.data();
        c_->pHwVertices = col_.data();
        c_->pTexWork = tex_.data();
        c_->pEdgeWords = nullptr;
        c_->stripCount = 1;
        c_->pStripCounts = strips_.data();
        c_->stripVertexCount = static_cast<ULONG>(pts.size());
    }
    N_Pipe* pipe_ = nullptr;
    CommonPipeData* c_ = nullptr;
    std::vector<ULONG> strips_;
    std::vector<LONG> win_;
    std::vector<ULONG> col_;
    std::vector<float> tex_;
};

TEST_F(SwAALineTest, FragmentsCoverGlsRectangleOfTheLinesWidth) {
    struct Case {
        const char* what;
        AAPt a, b;
        float width;
    };
    const Case cases[] = {
        {"horizontal, width 3 on pixel rows", {20, 30}, {60, 30}, 3.0f},
        {"horizontal, width 4: half rows along the sides", {20, 30}, {60, 30}, 4.0f},
        {"vertical, width 9", {40, 10}, {40, 50}, 9.0f},
        {"width 1.5 at quarter positions", {20.25, 30.75}, {70.5, 42.25}, 1.5f},
        {"diagonal, width 9", {30.3125, 20.5}, {70.75, 61.0625}, 9.0f},
        {"steep, width 2.5, drawn right to left and down", {80.125, 70.375}, {71.5, 22.0}, 2.5f},
        {"width 1", {20.0, 20.0}, {52.0, 33.0}, 1.0f},
        {"shorter than it is wide", {40.25, 40.0}, {40.75, 40.0}, 4.0f},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        gAA.clear();
        gAADuplicates = 0;
        Width(k.width);
        Load({k.a, k.b});
        _NSwRenderLineAttr(ctx_, pipe_);
        EXPECT_EQ(gAADuplicates, 0) << "each pixel once";
        // Every pixel the rectangle reaches, with its area as its alpha's
        // share (the vertices' alpha 0.8), and no other.
        double sum = 0.0;
        int wrong = 0;
        const LONG reach = static_cast<LONG>(k.width) + 2;
        for (LONG j = static_cast<LONG>(std::min(k.a.y, k.b.y)) - reach; j <= std::max(k.a.y, k.b.y) + reach; ++j)
            for (LONG i = static_cast<LONG>(std::min(k.a.x, k.b.x)) - reach; i <= std::max(k.a.x, k.b.x) + reach;
                 ++i) {
                const double want = SampledCoverage(k.a, k.b, k.width, i, j);
                const auto it = gAA.find({i, j});
                const double got = it != gAA.end() ? it->second.a / 0.8 : 0.0;
                if (std::fabs(got - want) > 0.035 && wrong++ < 5)
                    ADD_FAILURE() << "pixel " << i << "," << j << ": coverage " << got << ", GL's " << want;
                sum += got;
            }
        EXPECT_EQ(wrong, 0);
        const double area = k.width * std::hypot(k.b.x - k.a.x, k.b.y - k.a.y);
        EXPECT_NEAR(sum, area, 1e-3 * area) << "the fragments' coverage adds up to the rectangle's area";
        for (const auto& [at, f] : gAA) {
            EXPECT_EQ(f.mask, N_FRAG_LIVE);
            EXPECT_EQ(f.r, 10.0f) << "the colour is kept";
        }
    }
}

// The values of a fragment are those of the point of the segment nearest
// its centre; the stipple divides the strip's rectangles into pieces one
// pixel long from its first vertex on; in colour-index mode coverage picks
// within the 16 indices above the fragment's index.
TEST_F(SwAALineTest, ValuesStippleAndIndexCoverage) {
    Width(3.0f);
    pipe_->mode |= N_MODE_DEPTH_TEST;
    Load({{9.5, 10}, {41.5, 10}}, {{{0.0f, 1.0f, 1000}, {64.0f, 1.0f, 1640}}});
    _NSwRenderLineAttr(ctx_, pipe_);
    ASSERT_EQ(gAA.size(), 3u * 32u) << "columns 10 to 41, rows 9 to 11";
    for (LONG x = 10; x <= 41; ++x) {
        const AAFrag& f = gAA.at({x, 10});
        EXPECT_NEAR(f.r, 2.0f * (static_cast<float>(x) - 9.5f), 1e-3f) << x;
        EXPECT_NEAR(static_cast<double>(f.z), 1000.0 + 20.0 * (x - 9.5), 1.0) << x;
        EXPECT_NEAR(f.a, 1.0f, 1e-6f) << x;
    }

    // Pattern 0x00FF along a turning strip: pixels 10-17 drawn, 18-25 not,
    // 26-33 drawn, 34-41 not; the strip's second segment, 32.5 pixels on,
    // runs on half a piece into the third period.
    gAA.clear();
    pipe_->mode &= ~N_MODE_DEPTH_TEST;
    *pulAttr(ctx_, N_ATTR_LINE_STIPPLE) = 0x00FF;
    Load({{9.5, 10}, {42, 10}, {42, 40}});
    _NSwRenderLineAttr(ctx_, pipe_);
    for (LONG x = 10; x <= 40; ++x)
        for (LONG y : {9, 10, 11}) EXPECT_EQ(gAA.at({x, y}).mask, (x - 10) % 16 < 8 ? 1 : 0) << x << "," << y;
    for (LONG y = 12; y <= 39; ++y) EXPECT_EQ(gAA.at({42, y}).mask, (y - 10) % 16 < 8 ? 1 : 0) << y;

    // Colour-index mode: rows 8 and 12 of a width-4 line are half covered.
    gAA.clear();
    *pulAttr(ctx_, N_ATTR_LINE_STIPPLE) = 0xFFFF;
    *pulAttr(ctx_, N_ATTR_COLOUR_INDEX_MODE) = 1;
    Width(4.0f);
    Load({{9.5, 10}, {41.5, 10}}, {{{32.0f, 1.0f, 0}, {32.0f, 1.0f, 0}}});
    _NSwRenderLineAttr(ctx_, pipe_);
    EXPECT_NEAR(gAA.at({20, 8}).r, 32.0f + 15.0f * 0.5f, 1e-4f);
    EXPECT_NEAR(gAA.at({20, 10}).r, 47.0f, 1e-4f);
    EXPECT_NEAR(gAA.at({20, 12}).r, 32.0f + 15.0f * 0.5f, 1e-4f);
    EXPECT_EQ(gAA.count({20, 13}), 0u);
}

// --- polygon stages ------------------------------------------------------------------------------
struct Tri {
    LONG v[3];       // vertex numbers by window address
    float red[3];    // colours handed on
    float sq[3], invQ[3];
};
std::vector<Tri> gTris;
const LONG* gWinBase = nullptr;

void CaptureTri(N_Context*, N_Pipe* pipe) {
    const auto* t = static_cast<const N_SpanTri*>(pipe->pCommonPipeData->pCurPrim);
    Tri r{};
    for (int i = 0; i < 3; ++i) {
        r.v[i] = static_cast<LONG>((t->v[i].pWindow - gWinBase) / 3);
        r.red[i] = t->v[i].pColour[0];
        r.sq[i] = t->v[i].sq;
        r.invQ[i] = t->v[i].invQ;
    }
    gTris.push_back(r);
}

class SwPolyTest : public SwPrimTest {
  protected:
    void SetUp() override {
        SwPrimTest::SetUp();
        gTris.clear();
        pipe_->next[N_STAGE_POLYGON_RASTER] = CaptureTri;
    }
    // A batch of n vertices of kind code, vertex i of red i (its own colour
    // entry), with the given face runs.
    void Batch(ULONG code, ULONG n, std::vector<ULONG> runs) {
        std::vector<Vtx> v;
        for (ULONG i = 0; i < n; ++i) {
            Vtx p{static_cast<LONG>(3 * i), static_cast<LONG>((i * 7) % 11)};
            p.r = static_cast<float>(i);
            v.push_back(p);
        }
        Load(code, v);
        gWinBase = win_.data();
        c_->nextVertex = code == N_PRIM_TRIANGLES ? 3 : code == N_PRIM_QUADS ? 4 : code == N_PRIM_QUAD_STRIP ? 2 : 1;
        runs.push_back(0);
        std::copy(runs.begin(), runs.end(), c_->pFaceRuns);
    }
    static std::vector<std::array<LONG, 3>> Order() {
        std::vector<std::array<LONG, 3>> out;
        for (const Tri& t : gTris) out.push_back({t.v[0], t.v[1], t.v[2]});
        return out;
    }
};

TEST_F(SwPolyTest, EachKindCutsItsFacesInOrder) {
    using T = std::vector<std::array<LONG, 3>>;
    struct Case {
        const char* what;
        ULONG code, n;
        std::vector<ULONG> runs;
        N_StageFn fn;
        T tris;
    };
    const Case cases[] = {
        {"fan", N_PRIM_FAN, 5, {N_FACE_RUN(1, 3)}, _NSwRenderXPgon, T{{0, 1, 2}, {0, 2, 3}, {0, 3, 4}}},
        {"strip, odd triangles unreordered", N_PRIM_TRI_STRIP, 5, {N_FACE_RUN(1, 3)}, _NSwRenderXTStrip,
         T{{0, 1, 2}, {1, 2, 3}, {2, 3, 4}}},
        {"quads", N_PRIM_QUADS, 8, {N_FACE_RUN(1, 2)}, _NSwRenderXQList, T{{0, 1, 2}, {0, 2, 3}, {4, 5, 6}, {4, 6, 7}}},
        {"triangles", N_PRIM_TRIANGLES, 6, {N_FACE_RUN(1, 2)}, _NSwRenderXTList, T{{0, 1, 2}, {3, 4, 5}}},
        {"quad strip", N_PRIM_QUAD_STRIP, 6, {N_FACE_RUN(1, 2)}, _NSwRenderXTStrip, T{{0, 1, 2}, {1, 2, 3}, {2, 3, 4}, {3, 4, 5}}},
        // Runs of one strip share its vertices as the kind does: a fan's
        // later run keeps the centre and the edge vertex, a strip's two.
        {"fan in runs", N_PRIM_FAN, 6, {N_FACE_RUN(1, 2), N_FACE_RUN(2, 2)}, _NSwRenderXPgon,
         T{{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 5}}},
        {"strip in runs", N_PRIM_TRI_STRIP, 6, {N_FACE_RUN(2, 1), N_FACE_RUN(1, 3)}, _NSwRenderXTStrip,
         T{{0, 1, 2}, {1, 2, 3}, {2, 3, 4}, {3, 4, 5}}},
        {"skipped run", N_PRIM_TRI_STRIP, 6, {N_FACE_RUN(1, 1), N_FACE_RUN(4, 2), N_FACE_RUN(1, 1)},
         _NSwRenderXTStrip, T{{0, 1, 2}, {3, 4, 5}}},
        {"first count 0", N_PRIM_FAN, 5, {}, _NSwRenderXPgon, T{}},
    };
    for (const Case& k : cases) {
        gTris.clear();
        Batch(k.code, k.n, k.runs);
        k.fn(ctx_, pipe_);
        EXPECT_EQ(Order(), k.tris) << k.what;
    }
}

TEST_F(SwPolyTest, FlatFacesTakeGlsProvokingVertex) {
    struct Case {
        const char* what;
        ULONG code, n;
        ULONG runs;
        N_StageFn fn;
        std::vector<float> red;  // a triangle's colour
    };
    const Case cases[] = {
        {"triangles: each its own last vertex", N_PRIM_TRIANGLES, 6, N_FACE_RUN(1, 2), _NSwRenderXTList, {2, 5}},
        {"quads: each its own fourth vertex", N_PRIM_QUADS, 8, N_FACE_RUN(1, 2), _NSwRenderXQList, {3, 3, 7, 7}},
        {"fan: each triangle's last vertex", N_PRIM_FAN, 5, N_FACE_RUN(1, 3), _NSwRenderXPgon, {2, 3, 4}},
        {"strip: each triangle's last vertex", N_PRIM_TRI_STRIP, 5, N_FACE_RUN(1, 3), _NSwRenderXTStrip, {2, 3, 4}},
        {"polygon: its first vertex", N_PRIM_POLYGON, 5, N_FACE_RUN(1, 3), _NSwRenderXPgon, {0, 0, 0}},
        {"quad strip: the quad's last vertex", N_PRIM_QUAD_STRIP, 6, N_FACE_RUN(1, 2), _NSwRenderXTStrip, {3, 3, 5, 5}},
    };
    pipe_->colourCopy = 1;
    for (const Case& k : cases) {
        gTris.clear();
        Batch(k.code, k.n, {k.runs});
        k.fn(ctx_, pipe_);
        ASSERT_EQ(gTris.size(), k.red.size()) << k.what;
        for (std::size_t i = 0; i < gTris.size(); ++i)
            for (int j = 0; j < 3; ++j) EXPECT_EQ(gTris[i].red[j], k.red[i]) << k.what << " triangle " << i;
    }
    // Smooth: every vertex its own entry.
    gTris.clear();
    pipe_->colourCopy = 0;
    Batch(N_PRIM_TRIANGLES, 6, {N_FACE_RUN(1, 2)});
    _NSwRenderXTList(ctx_, pipe_);
    ASSERT_EQ(gTris.size(), 2u);
    EXPECT_EQ(gTris[1].red[0], 3.0f);
    EXPECT_EQ(gTris[1].red[2], 5.0f);
}

// A batch of several strips: each strip drawn alone, with its own vertices
// and colour entries (those after the entries of the strips before it).
TEST_F(SwPolyTest, StripListsDrawEachStripWithItsOwnEntries) {
    pipe_->colourCopy = 1;
    Batch(N_PRIM_FAN, 8, {N_FACE_RUN(1, 4)});
    strips_ = {4, 4};
    c_->stripCount = 2;
    c_->pStripCounts = strips_.data();
    _NSwRenderXPgon(ctx_, pipe_);
    EXPECT_EQ(Order(), (std::vector<std::array<LONG, 3>>{{0, 1, 2}, {0, 2, 3}, {4, 5, 6}, {4, 6, 7}}));
    std::vector<float> red;
    for (const Tri& t : gTris) red.push_back(t.red[0]);
    EXPECT_EQ(red, (std::vector<float>{2, 3, 6, 7}));
    EXPECT_EQ(c_->pWindow, win_.data());
    EXPECT_EQ(c_->stripCount, 2u);

    // Separate triangles in strips of four vertices: each strip holds one
    // triangle and three colour entries, so the second strip's entries
    // start after the first's three (not at its fourth vertex).
    gTris.clear();
    pipe_->colourCopy = 0;
    Batch(N_PRIM_TRIANGLES, 8, {N_FACE_RUN(1, 2)});
    strips_ = {4, 4};
    c_->stripCount = 2;
    c_->pStripCounts = strips_.data();
    _NSwRenderXTList(ctx_, pipe_);
    EXPECT_EQ(Order(), (std::vector<std::array<LONG, 3>>{{0, 1, 2}, {4, 5, 6}}));
    ASSERT_EQ(gTris.size(), 2u);
    EXPECT_EQ(std::vector<float>(gTris[1].red, gTris[1].red + 3), (std::vector<float>{3, 4, 5}));

    // Separate depth-stepped lines: each strip takes its own first colour.
    gRuns.clear();
    std::vector<Vtx> v = {{0, 0}, {3, 0}, {0, 5}, {2, 5}};
    v[2].r = 50;
    Load(N_PRIM_LINE_STRIP, v, {2, 2});
    _NSwRenderLineStrips(ctx_, pipe_);
    ASSERT_EQ(gRuns.size(), 2u);
    EXPECT_EQ(gRuns[1].f[0].y, 5);
    EXPECT_EQ(gRuns[1].f[0].r, 50.0f);
}

TEST_F(SwPolyTest, TextureCoordinatesAreDividedByQ) {
    pipe_->mode |= N_MODE_TEXTURE;
    Batch(N_PRIM_TRIANGLES, 3, {N_FACE_RUN(1, 1)});
    tex_ = {2, 1, 0, 2, 3, 1, 0, 0.0f, 3, 1, 0, -0.0f};
    c_->pTexWork = tex_.data();
    _NSwRenderXTList(ctx_, pipe_);
    ASSERT_EQ(gTris.size(), 1u);
    EXPECT_EQ(gTris[0].invQ[0], 0.5f);
    EXPECT_EQ(gTris[0].sq[0], 1.0f);
    EXPECT_EQ(gTris[0].invQ[1], 1048576.0f);
    EXPECT_EQ(gTris[0].sq[1], 3.0f * 1048576.0f);
    EXPECT_EQ(gTris[0].invQ[2], 1048576.0f);
}

// Through the span rasteriser: a quad list fills GL's pixels of each quad
// exactly once, however the quad is cut.
std::vector<std::pair<LONG, LONG>> gPixels;
void RasterOnScreen(N_Context* pctx, N_Pipe* pipe) { _NSwRasterTriangle(pctx, pipe, N_SwScreen{64, 64, 0, 0}); }
void CapturePixels(N_Context*, N_Pipe* pipe) {
    const N_FragSpan& sp = pipe->pCommonPipeData->span;
    for (LONG i = 0; i < sp.count; ++i) gPixels.push_back({sp.pX[0] + i, sp.pY[0]});
}

TEST_F(SwPolyTest, QuadsFillGlsPixelsOnce) {
    pipe_->next[N_STAGE_POLYGON_RASTER] = RasterOnScreen;
    pipe_->next[N_STAGE_SPAN_RASTER] = CapturePixels;
    pipe_->mode = N_MODE_FRAGMENTS | 0x80;
    // A convex quad and a square, counter-clockwise and clockwise.
    const std::vector<std::array<LONG, 8>> quads = {{5, 3, 40, 8, 50, 45, 2, 30}, {10, 10, 10, 30, 30, 30, 30, 10}};
    for (const auto& q : quads) {
        gPixels.clear();
        std::vector<Vtx> v;
        for (int i = 0; i < 4; ++i) v.push_back({q[2 * i], q[2 * i + 1]});
        Load(N_PRIM_QUADS, v);
        c_->nextVertex = 4;
        c_->pFaceRuns[0] = N_FACE_RUN(1, 1);
        c_->pFaceRuns[1] = 0;
        _NSwRenderXQList(ctx_, pipe_);
        std::set<std::pair<LONG, LONG>> seen(gPixels.begin(), gPixels.end());
        EXPECT_EQ(seen.size(), gPixels.size()) << "no pixel twice";
        // Point sampling: (x, y) inside the quad of the integer vertices, left
        // and top edges in; a sample on a slanted edge may go either way (the
        // edges walk in fixed point).
        std::set<std::pair<LONG, LONG>> ref, either;
        for (LONG y = 0; y < 64; ++y) {
            std::vector<double> xs;
            for (int i = 0; i < 4; ++i) {
                const double x0 = q[2 * i], y0 = q[2 * i + 1], x1 = q[(2 * i + 2) % 8], y1 = q[(2 * i + 3) % 8];
                if (y0 == y1 || y < std::min(y0, y1) || y >= std::max(y0, y1)) continue;
                xs.push_back(x0 + (y - y0) * (x1 - x0) / (y1 - y0));
            }
            if (xs.size() < 2) continue;
            const double l = *std::min_element(xs.begin(), xs.end()), r = *std::max_element(xs.begin(), xs.end());
            for (LONG x = 0; x < 64; ++x) {
                if (std::fabs(x - l) < 0.01 || std::fabs(x - r) < 0.01) either.insert({x, y});
                else if (x >= l && x < r) ref.insert({x, y});
            }
        }
        for (const auto& p : ref) EXPECT_TRUE(seen.count(p)) << "missing " << p.first << "," << p.second;
        for (const auto& p : seen)
            EXPECT_TRUE(ref.count(p) || either.count(p)) << "extra " << p.first << "," << p.second;
    }
}

// --- outline walker ----------------------------------------------------------------------------
struct Strip {
    std::vector<std::pair<LONG, LONG>> v;
    std::vector<float> red;
};
std::vector<Strip> gStrips;
void CaptureStrip(N_Context*, N_Pipe* pipe) {
    const CommonPipeData& c = *pipe->pCommonPipeData;
    ASSERT_EQ(c.stripCount, 1u);
    ASSERT_EQ(c.pStripCounts[0], c.stripVertexCount);
    Strip s;
    for (ULONG i = 0; i < c.stripVertexCount; ++i) {
        s.v.push_back({c.pWindow[3 * i], c.pWindow[3 * i + 1]});
        float r;
        std::memcpy(&r, &c.pHwVertices[5 * i], 4);
        s.red.push_back(r);
        EXPECT_EQ(c.pEdgeWords[i], 1u);
    }
    gStrips.push_back(std::move(s));
}

class SwOutlineTest : public SwPolyTest {
  protected:
    void SetUp() override {
        SwPolyTest::SetUp();
        gStrips.clear();
        pipe_->next[N_STAGE_POLYGON_RASTER] = CaptureStrip;
    }
    // The strips as lists of vertex numbers (vertex i lies at x = 3i).
    static std::vector<std::vector<LONG>> Strips() {
        std::vector<std::vector<LONG>> out;
        for (const Strip& s : gStrips) {
            std::vector<LONG> v;
            for (auto [x, y] : s.v) v.push_back(x / 3);
            out.push_back(v);
        }
        return out;
    }
};

// A run that reaches a face's last vertex goes on round the closing edge;
// a closing edge after an edge left out is a strip of its own.
TEST_F(SwOutlineTest, EdgesByKindAndEdgeFlag) {
    using S = std::vector<std::vector<LONG>>;
    struct Case {
        const char* what;
        ULONG code, n, mode, runs;
        std::vector<ULONG> edges;
        S strips;
    };
    const Case cases[] = {
        {"polygon, flags 1 1 0 1", N_PRIM_POLYGON, 4, N_MODE_POLY_LINE_PRIM, N_FACE_RUN(1, 2), {1, 1, 0, 1},
         S{{0, 1, 2}, {3, 0}}},
        {"polygon, flags 0 1 1 0", N_PRIM_POLYGON, 4, N_MODE_POLY_LINE_PRIM, N_FACE_RUN(1, 2), {0, 1, 1, 0},
         S{{1, 2, 3}}},
        {"polygon without flags", N_PRIM_POLYGON, 5, N_MODE_POLY_LINE_VERTEX, N_FACE_RUN(1, 3), {0, 0, 0, 0, 0},
         S{{0, 1, 2, 3, 4, 0}}},
        {"two triangles: no joining edge", N_PRIM_TRIANGLES, 6, N_MODE_POLY_LINE_VERTEX, N_FACE_RUN(1, 2),
         {1, 1, 1, 1, 1, 1}, S{{0, 1, 2, 0}, {3, 4, 5, 3}}},
        {"quad, flag bits 2 and 0 off", N_PRIM_QUADS, 4, N_MODE_POLY_LINE_PRIM, N_FACE_RUN(1, 1), {1, 2, 1, 0},
         S{{0, 1}, {2, 3}}},
        // Only bits 0-1 of an edge word count, and only the value 1 draws:
        // 5 and 1 draw, 3 and 6 do not.
        {"quad, edge words with higher bits", N_PRIM_QUADS, 4, N_MODE_POLY_LINE_PRIM, N_FACE_RUN(1, 1),
         {5, 3, 1, 6}, S{{0, 1}, {2, 3}}},
        {"strip: every triangle, inner edges too", N_PRIM_TRI_STRIP, 4, N_MODE_POLY_LINE_PRIM, N_FACE_RUN(1, 2),
         {0, 0, 0, 0}, S{{0, 1, 2, 0}, {1, 2, 3, 1}}},
        {"fan", N_PRIM_FAN, 4, N_MODE_POLY_LINE_VERTEX, N_FACE_RUN(1, 2), {1, 1, 1, 1},
         S{{0, 1, 2, 0}, {0, 2, 3, 0}}},
        {"quad strip: a b d c", N_PRIM_QUAD_STRIP, 4, N_MODE_POLY_LINE_VERTEX, N_FACE_RUN(1, 1), {1, 1, 1, 1},
         S{{0, 1, 3, 2, 0}}},
        {"culled run", N_PRIM_TRIANGLES, 6, N_MODE_POLY_LINE_VERTEX, N_FACE_RUN(4, 2), {1, 1, 1, 1, 1, 1}, S{}},
    };
    for (const Case& k : cases) {
        gStrips.clear();
        pipe_->mode = N_MODE_FRAGMENTS | k.mode;
        Batch(k.code, k.n, {k.runs});
        for (ULONG i = 0; i < k.n; ++i) edge_[i] = k.edges[i];
        const LONG* before = c_->pWindow;
        _NSwRenderPgonLines(ctx_, pipe_);
        EXPECT_EQ(Strips(), k.strips) << k.what;
        EXPECT_EQ(c_->pWindow, before) << k.what;
        EXPECT_EQ(c_->stripVertexCount, k.n) << k.what;
    }
}

TEST_F(SwOutlineTest, FlatOutlinesTakeTheProvokingColour) {
    pipe_->mode = N_MODE_FRAGMENTS | N_MODE_POLY_LINE_VERTEX;
    Batch(N_PRIM_QUADS, 8, {N_FACE_RUN(1, 2)});
    _NSwRenderPgonLinesFlat(ctx_, pipe_);
    ASSERT_EQ(gStrips.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(gStrips[i].red.size(), 5u) << "each quad's outline, closed";
        for (float r : gStrips[i].red) EXPECT_EQ(r, i == 0 ? 3.0f : 7.0f);
    }
    gStrips.clear();
    Batch(N_PRIM_POLYGON, 5, {N_FACE_RUN(1, 3)});
    _NSwRenderPgonLinesFlat(ctx_, pipe_);
    ASSERT_EQ(gStrips.size(), 1u);
    for (const Strip& s : gStrips)
        for (float r : s.red) EXPECT_EQ(r, 0.0f);
    // Smooth: each vertex its own.
    gStrips.clear();
    _NSwRenderPgonLines(ctx_, pipe_);
    ASSERT_EQ(gStrips.size(), 1u);
    EXPECT_EQ(gStrips[0].red, (std::vector<float>{0, 1, 2, 3, 4, 0}));
}

// Walker and line stage together: a triangle in line mode lights the
// pixels of GL's line rule along its three edges.
TEST_F(SwOutlineTest, TriangleOutlineDrawsGlsLinePixels) {
    pipe_->next[N_STAGE_POLYGON_RASTER] = _NSwRenderLine;
    pipe_->mode = N_MODE_FRAGMENTS | N_MODE_POLY_LINE_PRIM;
    const std::vector<Vtx> v = {{2, 3}, {30, 9}, {11, 25}};
    Load(N_PRIM_TRIANGLES, v);
    c_->nextVertex = 3;
    c_->pFaceRuns[0] = N_FACE_RUN(1, 1);
    c_->pFaceRuns[1] = 0;
    _NSwRenderPgonLines(ctx_, pipe_);
    std::vector<std::pair<LONG, LONG>> got, ref;
    for (const Frag& f : All()) got.push_back({f.x, f.y});
    for (int i = 0; i < 3; ++i) {
        const Vtx &a = v[i], &b = v[(i + 1) % 3];
        const auto e = ReferenceLine(a.x, a.y, b.x, b.y);
        ref.insert(ref.end(), e.begin(), e.end());
    }
    EXPECT_EQ(got, ref);
}

// --- the stages the set-up links -------------------------------------------------------------------

class SwLinkTest : public lgi_test::LgiTest {
  protected:
    void SetUp() override {
        LgiTest::SetUp();
        HardwareWindow(lgi_test::HardwareSelectorTo<lgi_test::NoRender>);
        gNForceSoftwarePaths = 1;
    }
    void TearDown() override {
        gNForceSoftwarePaths = 0;
        LgiTest::TearDown();
    }
    std::vector<ULONG> List(ULONG code, ULONG extraMode, ULONG flat) {
        N_Pipe* pipe = &ctx_->blocks[code & 15].front;
        pipe->pCommonPipeData->pDispatch = &ctx_->prim[code - 61];
        pipe->pCommonPipeData->code = code;
        pipe->mode = ctx_->enableWord | extraMode;
        pipe->colourCopy = flat;
        N_StageList l;
        _NBuildStageList(ctx_, pipe, code, N_VTX_POS3, &l);
        return {l.stages, l.stages + l.c};
    }
    static N_StageFn Stage(ULONG k) { return gNArena.pStageTable[k]; }
};

TEST_F(SwLinkTest, EveryKindLinksItsPrimitiveStage) {
    const std::pair<ULONG, N_StageFn> fills[] = {
        {N_PRIM_POLYGON, _NSwRenderXPgon},    {N_PRIM_TRIANGLES, _NSwRenderXTList},
        {N_PRIM_QUADS, _NSwRenderXQList},     {N_PRIM_FAN, _NSwRenderXPgon},
        {N_PRIM_TRI_STRIP, _NSwRenderXTStrip}, {N_PRIM_QUAD_STRIP, _NSwRenderXTStrip},
    };
    for (const auto& [code, fn] : fills) {
        SCOPED_TRACE(code);
        List(code, 0, 0);
        EXPECT_EQ(Stage(N_STAGE_POLYGON_RASTER), fn);
        // Line mode: colours made floats once, the walker, then the line stage.
        const auto l = List(code, N_MODE_POLY_LINE_PRIM, 0);
        EXPECT_EQ(Stage(N_STAGE_POLYGON_RASTER), _NSwRenderPgonLines);
        EXPECT_EQ(std::count(l.begin(), l.end(), N_STAGE_FLOAT_COLOUR), 1);
        const auto at = std::find(l.begin(), l.end(), N_STAGE_FLOAT_COLOUR);
        ASSERT_LE(at + 3, l.end());
        EXPECT_EQ(at[1], N_STAGE_POLYGON_RASTER);
        EXPECT_EQ(at[2], N_STAGE_RENDER);
        List(code, N_MODE_POLY_LINE_VERTEX, 1);
        EXPECT_EQ(Stage(N_STAGE_POLYGON_RASTER), _NSwRenderPgonLinesFlat);
    }
    // Lines: their colour entries made floats before the line stage.
    for (ULONG code : {N_PRIM_LINE_STRIP, N_PRIM_LINES}) {
        SCOPED_TRACE(code);
        const auto l = List(code, 0, 1);
        const auto at = std::find(l.begin(), l.end(), N_STAGE_FLOAT_COLOUR);
        ASSERT_NE(at, l.end());
        EXPECT_EQ(at[1], N_STAGE_RENDER);
        EXPECT_EQ(Stage(N_STAGE_RENDER), code == N_PRIM_LINES ? _NSwRenderLinePairs : _NSwRenderLine);
    }
    EXPECT_EQ(ctx_->pfnLineStage, _NSwRenderLine);
    // Depth values needed (mode bit 4) in one colour: the stage that steps
    // z; separate lines run it a pair at a time.
    for (ULONG code : {N_PRIM_LINE_STRIP, N_PRIM_LINES}) {
        SCOPED_TRACE(code);
        List(code, 0x10, 1);
        EXPECT_EQ(Stage(N_STAGE_RENDER), code == N_PRIM_LINES ? _NSwRenderLinePairs : _NSwRenderLineStrips);
    }
    EXPECT_EQ(ctx_->pfnLineStage, _NSwRenderLineStrips);
}

// Through the layer: vertices drawn with N_ExecPrimitive under the debug
// switch go through the vertex stages, the float colour entries and these
// stages; the spans reach the end of the chain.
class SwDrawTest : public SwLinkTest {
  protected:
    void SetUp() override {
        SwLinkTest::SetUp();
        gRuns.clear();
        gPixels.clear();
        for (ULONG a : {N_ATTR_SHADE, N_ATTR_SHADE_COPY, N_ATTR_SHADE_COPY2}) *pulAttr(ctx_, a) = 2;  // smooth
        if (ctx_->dirty != 0) _NValidate(ctx_, ctx_->dirty);
        lgi_test::WindowSpace640(ctx_);
        for (N_PrimDispatch& pd : ctx_->prim) {
            pd.pfnVertexStage = _NLightingStageFn(N_LIGHT_STAGE_UNLIT_RGBA);
            pd.dirtyMask = 0;
        }
        ctx_->val.cullFront = ctx_->val.cullBack = 0;
        ctx_->dirty = 0;
        ctx_->setupStale = 1;
        savedEnd_ = gNArena.pStageTable[N_STAGE_END];
    }
    void TearDown() override {
        gNArena.pStageTable[N_STAGE_END] = savedEnd_;
        SwLinkTest::TearDown();
    }
    void Draw(ULONG kind, const std::vector<float>& pos, const std::vector<float>& rgba, N_StageFn capture) {
        gNArena.pStageTable[N_STAGE_END] = capture;
        N_PrimDesc d{};
        d.kind = kind;
        d.count = static_cast<ULONG>(pos.size() / 4);
        d.format = N_VTX_POS3 | N_VTX_RGBA;
        d.pPosition = pos.data();
        d.positionStride = 16;
        d.pColor = rgba.data();
        d.colorStride = 16;
        N_ExecPrimitive(&d);
        gNArena.pStageTable[N_STAGE_END] = savedEnd_;
    }
    N_StageFn savedEnd_ = nullptr;
};

TEST_F(SwDrawTest, LinesAndTrianglesReachTheSpansWithGlsPixelsAndColours) {
    // A smooth line strip: GL's pixels of both segments, colours stepped on
    // the channel scale.
    Draw(N_PRIM_LINE_STRIP, {10, 10, 0, 1, 20, 14, 0, 1, 20, 30, 0, 1},
         {1, 0, 0, 1, 0, 1, 0, 1, 0, 0, 1, 1}, CaptureRun);
    std::vector<std::pair<LONG, LONG>> got, ref = ReferenceLine(10, 10, 20, 14);
    const auto second = ReferenceLine(20, 14, 20, 30);
    ref.insert(ref.end(), second.begin(), second.end());
    std::vector<Frag> frags;
    for (const LineRun& r : gRuns) frags.insert(frags.end(), r.f.begin(), r.f.end());
    for (const Frag& f : frags) got.push_back({f.x, f.y});
    EXPECT_EQ(got, ref);
    ASSERT_EQ(frags.size(), 26u);
    EXPECT_NEAR(frags[0].r, 255.0f, 1e-3);
    EXPECT_NEAR(frags[5].r, 127.5f, 1e-3);
    EXPECT_NEAR(frags[5].g, 127.5f, 1e-3);
    EXPECT_NEAR(frags[10].g, 255.0f, 1e-3);

    // A triangle in polygon line mode: the walker's strips through the
    // line stage, GL's line pixels of its three edges.
    gRuns.clear();
    *pulAttr(ctx_, N_ATTR_POLYGON_FRONT) = 1;
    *pulAttr(ctx_, N_ATTR_POLYGON_BACK) = 1;
    _NValEnableFlags(ctx_);
    ctx_->setupStale = 1;
    Draw(N_PRIM_TRIANGLES, {5, 5, 0, 1, 25, 5, 0, 1, 5, 25, 0, 1}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, CaptureRun);
    got.clear();
    ref.clear();
    const LONG tri[3][2] = {{5, 5}, {25, 5}, {5, 25}};
    for (int i = 0; i < 3; ++i) {
        const auto e = ReferenceLine(tri[i][0], tri[i][1], tri[(i + 1) % 3][0], tri[(i + 1) % 3][1]);
        ref.insert(ref.end(), e.begin(), e.end());
    }
    for (const LineRun& r : gRuns)
        for (const Frag& f : r.f) got.push_back({f.x, f.y});
    EXPECT_EQ(got, ref);
}

}  // namespace
