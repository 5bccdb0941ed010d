// Polygon outlines over a simulated board: the segments of every walker as
// each rasterizer decoded them, their words for every layout, wide and
// smooth, the edges that culled faces and edge flags hide (a polygon split
// into batches keeps only its outline), the 400-segment packet limit and
// routing on every board.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "gl/server/lgi/kz2/fill_fixture.h"
#include "kz2/render/kzoutline.h"
#include "kzuinstr.h"

namespace {

using namespace fill_test;

constexpr ULONG kThin = 1, kWide = 2;  // program classes
constexpr ULONG kSmoothBit = 0x10000000u;

bool In(ULONG d, std::initializer_list<ULONG> s) { return std::find(s.begin(), s.end(), d) != s.end(); }

class OutlineTest : public FillTest {
  protected:
    // A line program of the layout whose header makes the board take the
    // segment's words (a vertex's words per vertex, the odd one per segment,
    // the rest per packet) for the state set before.
    void SetOutlineProgram(ULONG d, ULONG slot = 0) {
        const ULONG data = SegmentWords(d) - 2 - (Wide() ? 1 : 0);
        const ULONG packet = (In(d, {8, 9, 18, 19}) ? 1 : 0) + (In(d, {9, 10, 19, 20}) ? 1 : 0);
                ULONG loads = 0, reg = 0;
        for (ULONG i = 0; i < data / 2; ++i) loads |= KZU_LOAD_VERTEX << (12 + 2 * reg++);
        if (data % 2) loads |= KZU_LOAD_PRIMITIVE << (12 + 2 * reg++);
        for (ULONG i = 0; i < packet; ++i) loads |= KZU_LOAD_PACKET << (12 + 2 * reg++);
        ASSERT_LE(reg, 4u) << "a layout the board's header cannot describe";
        BuildProgram(ctx_, slot, (Wide() ? kWide : kThin) | 0x20 | loads, d, {0x1234});
    }
    void Width(float w) {
        width_ = w;
        *pulAttr(ctx_, N_ATTR_LINE_WIDTH) = F(w);
    }
    void Smooth(bool b) {
        smooth_ = b;
        ctx_->enableWord = b ? (ctx_->enableWord | kSmoothBit) : (ctx_->enableWord & ~kSmoothBit);
    }
    bool Wide() const { return smooth_ || width_ > 1.0f; }
    ULONG WidthWord() const { return 8 * static_cast<ULONG>(width_ + 0.5f) + (smooth_ ? 8 : 0); }
    ULONG SegmentWords(ULONG d) const {
        ULONG n = (In(d, {5, 6, 15, 16}) ? 1 : 0) + (In(d, {6, 7, 16, 17}) ? 1 : 0) + (In(d, {2, 3, 12, 13}) ? 2 : 0);
        if (d >= 11) n += Wide() ? 3 : 2;
        if (In(d, {3, 4, 13, 14})) n += smooth_ ? 3 : 2;
        if (smooth_) n += 3;
        return n + 2 + (Wide() ? 1 : 0);
    }
    // The words of the segment s -> t (colour records rs, rt, the face's
    // provoking record prov).
    Prim Seg(ULONG d, ULONG s, ULONG t, ULONG prov) const { return Seg(d, s, t, s, t, prov); }
    Prim Seg(ULONG d, ULONG s, ULONG t, ULONG rs, ULONG rt, ULONG prov) const {
        Prim w;
        const auto &S = b_.v[s], &T = b_.v[t];
        if (In(d, {5, 6, 15, 16})) w.push_back(ColourOf(prov));
        if (In(d, {6, 7, 16, 17})) w.push_back(AlphaWordOf(prov));
        if (In(d, {2, 3, 12, 13})) w.insert(w.end(), {ColourOf(rs), ColourOf(rt)});
        if (d >= 11) {
            w.insert(w.end(), {ULONG(S[2]), ULONG(T[2])});
            if (Wide()) w.push_back(ULONG(T[2]));
        }
        if (In(d, {3, 4, 13, 14})) {
            w.insert(w.end(), {AlphaWordOf(rs), AlphaWordOf(rt)});
            if (smooth_) w.push_back(AlphaWordOf(rt));
        }
        if (smooth_) w.insert(w.end(), {0xFF, 0xFF, 0});
        w.insert(w.end(), {Pos(S[0], S[1]), Pos(T[0], T[1])});
        if (Wide()) w.push_back(WidthWord());
        return w;
    }
    void Faces(ULONG kind, std::vector<std::array<LONG, 3>> v, std::vector<std::pair<ULONG, ULONG>> runs) {
        b_ = Batch{};
        b_.kind = kind;
        b_.v = std::move(v);
        b_.runs = std::move(runs);
    }
    // n vertices spread over the screen's first tiles, depth 0x100 + i.
    static std::vector<std::array<LONG, 3>> Spread(ULONG n) {
        std::vector<std::array<LONG, 3>> v;
        for (LONG i = 0; i < LONG(n); ++i) v.push_back({10 + 11 * i, 20 + 17 * (i % 3), 0x100 + i});
        return v;
    }
    void DrawOutline(N_StageFn fn, ULONG mode = 0x100000, std::vector<ULONG> edges = {}, bool bBack = false) {
        N_PipeBlock& blk = ctx_->blocks[b_.kind & 15];
        blk.front.mode = blk.back.mode = mode;
        edges_ = std::move(edges);
        blk.common.pEdgeWords = edges_.empty() ? nullptr : edges_.data();
        Draw(fn, b_, bBack);
        blk.common.pEdgeWords = nullptr;
    }
    void SetUp() override {
        FillTest::SetUp();
        Width(1.0f);
        Smooth(false);
    }
    Batch b_;
    std::vector<ULONG> edges_;
    float width_ = 1.0f;
    bool smooth_ = false;
};

// --- the walks ---------------------------------------------------------------------------------

TEST_F(OutlineTest, EachWalkerDrawsItsFacesEdges) {
    Prepare(kSolo, 2);
    SetOutlineProgram(2);
    struct Case {
        ULONG kind;
        N_StageFn fn;
        ULONG n;
        std::vector<std::pair<ULONG, ULONG>> runs;
        std::vector<std::array<ULONG, 2>> edges;
        bool bHard;  // own head, batch word left at 400
    };
    const Case cases[] = {
        {N_PRIM_POLYGON, _NvpRenderXPgonLineKZG, 4, {{1, 2}}, {{0, 1}, {1, 2}, {2, 3}, {3, 0}}, true},
        {N_PRIM_TRIANGLES, _NvpRenderXTListLineKZG, 7, {{1, 2}}, {{0, 1}, {1, 2}, {2, 0}, {3, 4}, {4, 5}, {5, 3}}, false},
        // Seven vertices: one quad, the last three ignored.
        {N_PRIM_QUADS, _NvpRenderXQListLineKZG, 7, {{1, 1}}, {{0, 1}, {1, 2}, {2, 3}, {3, 0}}, true},
        // A strip of 5 with one drawn run of 3: 7 edges, shared ones once.
        {N_PRIM_TRI_STRIP, _NvpRenderXTStripLineKZG, 5, {{1, 3}},
         {{0, 1}, {1, 2}, {2, 0}, {2, 3}, {3, 1}, {3, 4}, {4, 2}}, false},
        {N_PRIM_FAN, _NvpRenderXTStripLineKZG, 5, {{1, 3}}, {{0, 1}, {1, 2}, {2, 0}, {2, 3}, {3, 0}, {3, 4}, {4, 0}}, false},
        // A quad strip of 6: two quads, eight edges, the rung twice.
        {N_PRIM_QUAD_STRIP, _NvpRenderXQStripLineKZG, 6, {{1, 2}},
         {{0, 1}, {1, 3}, {3, 2}, {2, 0}, {2, 3}, {3, 5}, {5, 4}, {4, 2}}, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.kind);
        Faces(k.kind, Spread(k.n), k.runs);
        ctx_->pHw->batchCount = 17;
        gcNext = 0;
        DrawOutline(k.fn);
        EXPECT_EQ(gcNext, 1u);
        const auto packets = Packets()[0];
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(packets[0].command, Program().header);
        EXPECT_EQ(packets[0].instructions, std::vector<ULONG>{0x10360348});
        std::vector<Prim> want;
        for (const auto& e : k.edges) want.push_back(Seg(2, e[0], e[1], 0));
        EXPECT_EQ(PrimsIn(packets), want);
        EXPECT_EQ(ctx_->pHw->batchCount, k.bHard ? N_BATCH_PRIMS : ULONG(want.size()));
    }
}

// An edge with an end the render function may not draw is left out; the
// faces' other edges are drawn.
TEST_F(OutlineTest, EdgesWithAnUndrawableEndAreLeftOut) {
    for (const Undrawable& bad : kUndrawable) {
        SCOPED_TRACE(bad.name);
        Prepare(kSolo, 12);
        SetOutlineProgram(12);
        Faces(N_PRIM_TRIANGLES, Spread(6), {{1, 2}});
        b_.v[4] = bad.v;
        DrawOutline(_NvpRenderXTListLineKZG);
        EXPECT_EQ(Received()[0], (std::vector<Prim>{Seg(12, 0, 1, 0), Seg(12, 1, 2, 0), Seg(12, 2, 0, 0),
                                                    Seg(12, 5, 3, 0)}))
            << "triangles";
        Faces(N_PRIM_POLYGON, Spread(4), {{1, 2}});
        b_.v[2] = bad.v;
        DrawOutline(_NvpRenderXPgonLineKZG);
        EXPECT_EQ(Received()[0], (std::vector<Prim>{Seg(12, 0, 1, 0), Seg(12, 3, 0, 0)})) << "polygon";
    }
}

TEST_F(OutlineTest, TooFewVerticesOrNoDrawnFaceDrawNothing) {
    Prepare(kSolo, 2);
    SetOutlineProgram(2);
    struct Case {
        ULONG kind;
        N_StageFn fn;
        ULONG n;
    };
    for (const Case& k : {Case{N_PRIM_POLYGON, _NvpRenderXPgonLineKZG, 2}, Case{N_PRIM_TRIANGLES, _NvpRenderXTListLineKZG, 2},
                          Case{N_PRIM_QUADS, _NvpRenderXQListLineKZG, 3}, Case{N_PRIM_TRI_STRIP, _NvpRenderXTStripLineKZG, 2},
                          Case{N_PRIM_QUAD_STRIP, _NvpRenderXQStripLineKZG, 3}}) {
        SCOPED_TRACE(k.kind);
        Faces(k.kind, Spread(k.n), {});
        gcNext = 0;
        DrawOutline(k.fn);
        EXPECT_EQ(gcNext, 1u);
        // Faces there, all culled: the polygon too is drawn only when its
        // face is the pipe's.
        Faces(k.kind, Spread(8), {{4, 2}});
        DrawOutline(k.fn);
        EXPECT_EQ(gcNext, 2u);
        EXPECT_TRUE(Packets()[0].empty());
        EXPECT_EQ(gNPendingUpdate, 0u);
    }
}

TEST_F(OutlineTest, CulledFacesKeepTheirEdgesHidden) {
    Prepare(kSolo, 2);
    SetOutlineProgram(2);
    // Triangles and quads: the culled face's edges are not drawn.
    Faces(N_PRIM_QUADS, Spread(12), {{1, 1}, {4, 1}, {2, 1}});
    DrawOutline(_NvpRenderXQListLineKZG);
    EXPECT_EQ(Received()[0], (std::vector<Prim>{Seg(2, 0, 1, 0), Seg(2, 1, 2, 0), Seg(2, 2, 3, 0), Seg(2, 3, 0, 0),
                                                 Seg(2, 8, 9, 0), Seg(2, 9, 10, 0), Seg(2, 10, 11, 0), Seg(2, 11, 8, 0)}));
    // A strip whose middle face is culled: the face after it starts again
    // with its own first edge; a fan face after a culled one keeps the
    // fan's centre.
    // Records: three a run of one face, the third run's from record 6.
    Faces(N_PRIM_TRI_STRIP, Spread(5), {{1, 1}, {4, 1}, {1, 1}});
    b_.records = 9;
    DrawOutline(_NvpRenderXTStripLineKZG);
    EXPECT_EQ(Received()[0], (std::vector<Prim>{Seg(2, 0, 1, 0), Seg(2, 1, 2, 0), Seg(2, 2, 0, 0), Seg(2, 2, 3, 6, 7, 0),
                                                 Seg(2, 3, 4, 7, 8, 0), Seg(2, 4, 2, 8, 6, 0)}));
    Faces(N_PRIM_FAN, Spread(5), {{4, 1}, {1, 2}});
    // Records: the skipped run's 3, then the drawn run's 4 (its first the
    // vertex after the skipped faces).
    b_.records = 7;
    DrawOutline(_NvpRenderXTStripLineKZG);
    EXPECT_EQ(Received()[0], (std::vector<Prim>{Seg(2, 0, 2, 3, 4, 0), Seg(2, 2, 3, 4, 5, 0), Seg(2, 3, 0, 5, 3, 0),
                                                 Seg(2, 3, 4, 5, 6, 0), Seg(2, 4, 0, 6, 3, 0)}));
}

TEST_F(OutlineTest, EdgeFlagsHideInteriorEdges) {
    Prepare(kSolo, 12);
    SetOutlineProgram(12);
    // A polygon whose flags read 1, 0, 1: V0 -> V1 and V2 -> V0, each from
    // its own start vertex.
    Faces(N_PRIM_POLYGON, Spread(3), {{1, 1}});
    DrawOutline(_NvpRenderXPgonLineKZG, 0x200000, {1, 0, 1});
    EXPECT_EQ(Received()[0], (std::vector<Prim>{Seg(12, 0, 1, 0), Seg(12, 2, 0, 0)}));
    // Without edge flags in force every edge is drawn.
    DrawOutline(_NvpRenderXPgonLineKZG, 0x100000, {1, 0, 1});
    EXPECT_EQ(Received()[0].size(), 3u);
    // A quad split into two triangles: the diagonal's flags are 0.
    Faces(N_PRIM_TRIANGLES, {{10, 10, 1}, {50, 10, 2}, {50, 50, 3}, {10, 10, 1}, {50, 50, 3}, {10, 50, 4}}, {{1, 2}});
    DrawOutline(_NvpRenderXTListLineKZG, 0x200000, {1, 1, 0, 0, 1, 1});
    EXPECT_EQ(Received()[0], (std::vector<Prim>{Seg(12, 0, 1, 0), Seg(12, 1, 2, 0), Seg(12, 4, 5, 0), Seg(12, 5, 3, 0)}));
    // Quads: words 4k to 4k + 3; strips draw every edge whatever the flags.
    Faces(N_PRIM_QUADS, Spread(4), {{1, 1}});
    DrawOutline(_NvpRenderXQListLineKZG, 0x200000, {0, 0x101, 0, 1});
    EXPECT_EQ(Received()[0], (std::vector<Prim>{Seg(12, 1, 2, 0), Seg(12, 3, 0, 0)}));
    Faces(N_PRIM_QUAD_STRIP, Spread(4), {{1, 1}});
    DrawOutline(_NvpRenderXQStripLineKZG, 0x200000, {0, 0, 0, 0});
    EXPECT_EQ(Received()[0].size(), 4u);
    // No flagged edge: nothing reserved.
    Faces(N_PRIM_POLYGON, Spread(3), {{1, 1}});
    DrawOutline(_NvpRenderXPgonLineKZG, 0x200000, {0, 2, 0});
    EXPECT_TRUE(Packets()[0].empty());
    EXPECT_EQ(gNPendingUpdate, 0u);
}

// A polygon larger than a batch reaches the walker as fans of the batch
// splitter: each batch's first and closing edges are interior (flag 2)
// but for the whole polygon's own closing edge; together the batches draw
// the outline and no interior edge.
TEST_F(OutlineTest, APolygonSplitIntoBatchesKeepsOnlyItsOutline) {
    Prepare(kSolo, 2);
    SetOutlineProgram(2);
    // An octagon's vertices; batches (0, 1, 2, 3, 4), (0, 4, 5, 6, 7).
    const std::vector<std::array<LONG, 3>> oct = {{100, 10, 0}, {170, 40, 0}, {200, 100, 0}, {170, 170, 0},
                                                  {100, 200, 0}, {30, 170, 0}, {10, 100, 0}, {30, 40, 0}};
    std::set<std::pair<ULONG, ULONG>> drawn;
    auto pos = [&](ULONG i) { return Pos(oct[i][0], oct[i][1]); };
    const std::vector<std::vector<ULONG>> batches = {{0, 1, 2, 3, 4}, {0, 4, 5, 6, 7}};
    const std::vector<std::vector<ULONG>> flags = {{1, 1, 1, 1, 2}, {2, 1, 1, 1, 1}};
    for (ULONG k = 0; k < 2; ++k) {
        std::vector<std::array<LONG, 3>> v;
        for (ULONG i : batches[k]) v.push_back(oct[i]);
        Faces(N_PRIM_POLYGON, v, {{1, 3}});
        DrawOutline(_NvpRenderXPgonLineKZG, 0x200000, flags[k]);
        const auto got = Received()[0];
        for (const Prim& p : got) {
            ULONG a = 99, b = 99;
            for (ULONG i = 0; i < 8; ++i) {
                if (pos(i) == p[2]) a = i;
                if (pos(i) == p[3]) b = i;
            }
            drawn.insert({std::min(a, b), std::max(a, b)});
        }
    }
    const std::set<std::pair<ULONG, ULONG>> outline = {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}, {0, 7}};
    EXPECT_EQ(drawn, outline);
}

// --- the words of a segment -------------------------------------------------------------------

TEST_F(OutlineTest, SegmentWordsOfEveryLayoutWideAndSmooth) {
    struct State {
        float width;
        bool smooth;
    };
    for (const State& s : {State{1.0f, false}, State{1.5f, false}, State{3.0f, false}, State{1.0f, true}}) {
        for (ULONG d = 1; d <= 20; ++d) {
            SCOPED_TRACE(testing::Message() << d << " width " << s.width << " smooth " << s.smooth);
            Prepare(kSolo, 2);
            Width(s.width);
            Smooth(s.smooth);
            const ULONG data = SegmentWords(d) - 2 - (Wide() ? 1 : 0);
            const ULONG packet = (In(d, {8, 9, 18, 19}) ? 1 : 0) + (In(d, {9, 10, 19, 20}) ? 1 : 0);
            if (data / 2 + data % 2 + packet > 4) continue;  // beyond what a test header can describe
            SetOutlineProgram(d);
            // Triangles take every layout; the third vertex provokes.
            Faces(N_PRIM_TRIANGLES, Spread(3), {{1, 1}});
            DrawOutline(_NvpRenderXTListLineKZG);
            const auto packets = Packets()[0];
            ASSERT_EQ(packets.size(), 1u);
            std::vector<ULONG> head;
            if (In(d, {8, 9, 18, 19})) head.push_back(ColourOf(0));
            if (In(d, {9, 10, 19, 20})) head.push_back(AlphaWordOf(0));
            EXPECT_EQ(packets[0].constants, head);
            EXPECT_EQ(PrimsIn(packets), (std::vector<Prim>{Seg(d, 0, 1, 2), Seg(d, 1, 2, 2), Seg(d, 2, 0, 2)}));
        }
    }
    // Width 1.5: width word 16; smooth at 1.0: 16, and the smoothing words.
    Width(1.5f);
    Smooth(false);
    EXPECT_EQ(WidthWord(), 16u);
    Width(1.0f);
    Smooth(true);
    EXPECT_EQ(WidthWord(), 16u);
}

// The smoothing program reads the smoothing words of every segment, the
// quad strip's too.
TEST_F(OutlineTest, QuadStripsTakeTheSmoothingWords) {
    Prepare(kSolo, 2);
    Smooth(true);
    SetOutlineProgram(2);
    Faces(N_PRIM_QUAD_STRIP, Spread(4), {{1, 1}});
    DrawOutline(_NvpRenderXQStripLineKZG);
    const auto got = Received()[0];
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], Seg(2, 0, 1, 3));
    EXPECT_EQ(got[0], (Prim{ColourOf(0), ColourOf(1), 0xFF, 0xFF, 0, Pos(10, 20), Pos(21, 37), 16}));
}

TEST_F(OutlineTest, ProvokingVerticesAndLayoutsAWalkerRefuses) {
    // One-colour faces: a quad's fourth vertex, a quad-strip quad's 2i + 3,
    // a strip face's newest.
    Prepare(kSolo, 5);
    SetOutlineProgram(5);
    Faces(N_PRIM_QUAD_STRIP, Spread(6), {{1, 2}});
    DrawOutline(_NvpRenderXQStripLineKZG);
    const auto got = Received()[0];
    ASSERT_EQ(got.size(), 8u);
    EXPECT_EQ(got[0], Seg(5, 0, 1, 3));
    EXPECT_EQ(got[4], Seg(5, 2, 3, 5));
    Faces(N_PRIM_TRI_STRIP, Spread(4), {{1, 2}});
    DrawOutline(_NvpRenderXTStripLineKZG);
    EXPECT_EQ(Received()[0], (std::vector<Prim>{Seg(5, 0, 1, 2), Seg(5, 1, 2, 2), Seg(5, 2, 0, 2), Seg(5, 2, 3, 3),
                                                 Seg(5, 3, 1, 3)}));
    // The strip walker refuses layouts without a colour, and says so; the
    // polygon walker refuses one-colour faces silently.
    SetOutlineProgram(11);
    vnx::debug::clear();
    gcNext = 0;
    DrawOutline(_NvpRenderXTStripLineKZG);
    EXPECT_TRUE(Printed("_NvpRenderXTStripLineKZG: 11 mode not supported\n"));
    SetOutlineProgram(5);
    Faces(N_PRIM_POLYGON, Spread(4), {{1, 2}});
    DrawOutline(_NvpRenderXPgonLineKZG);
    EXPECT_EQ(gcNext, 2u);
    EXPECT_TRUE(Packets()[0].empty());
}

TEST_F(OutlineTest, DepthWordsSixteenthsAndTheLowerImage) {
    // Every walker, the polygon's too, converts depth for a 16-bit buffer.
    Prepare(kSolo, 18);
    SetOutlineProgram(18);
    pGLPageConfig(Pdev())->cDepthBits = 16;
    Faces(N_PRIM_POLYGON, {{10, 10, 0xF00000}, {40, 10, 0xEFFFFF}, {40, 40, 0x1000}}, {{1, 1}});
    DrawOutline(_NvpRenderXPgonLineKZG);
    const auto got = Received()[0];
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0][0], 0x8000u);
    EXPECT_EQ(got[0][1], 0xEFFFFFu >> 9);
    EXPECT_EQ(got[2][0], 0x1000u >> 9);
    // Sixteenths: positions unshifted; the second image adds the drawing
    // area's height in pixels.
    for (ULONG secondHalf : {0u, 1u}) {
        Prepare(kSolo, 2, 1);
        SetOutlineProgram(2);
        ctx_->secondHalf = secondHalf;
        Faces(N_PRIM_TRIANGLES, {{48, 80, 0}, {480, 80, 0}, {48, 800, 0}}, {{1, 1}});
        DrawOutline(_NvpRenderXTListLineKZG);
        ctx_->secondHalf = 0;
        const ULONG cy = secondHalf ? static_cast<ULONG>(lGLSurfaceHeight(Pdev())) : 0;
        EXPECT_EQ(Received()[0].at(0).at(2), ((5u + cy) << 20) | (3u << 4));
    }
}

TEST_F(OutlineTest, ZeroLengthEdgesOnlyAsAPacketsFirst) {
    Prepare(kSolo, 2);
    SetOutlineProgram(2);
    // A degenerate triangle: both of its edges within one pixel are dropped
    // but for the first.
    Faces(N_PRIM_TRIANGLES, {{10, 10, 0}, {10, 10, 0}, {10, 10, 0}}, {{1, 1}});
    DrawOutline(_NvpRenderXTListLineKZG);
    EXPECT_EQ(Received()[0], (std::vector<Prim>{Seg(2, 0, 1, 2)}));
}

TEST_F(OutlineTest, NoPacketHoldsMoreThan400Segments) {
    Prepare(kSolo, 2);
    SetOutlineProgram(2);
    struct Case {
        ULONG kind;
        N_StageFn fn;
        ULONG n, faces;
        std::vector<ULONG> sizes;
    };
    const Case cases[] = {
        // 1000 polygon edges: 400, 400, 200.
        {N_PRIM_POLYGON, _NvpRenderXPgonLineKZG, 1000, 998, {400, 400, 200}},
        // A strip of 300 faces, 601 edges: closed after the face that brings
        // it to 398 or more.
        {N_PRIM_TRI_STRIP, _NvpRenderXTStripLineKZG, 302, 300, {399, 202}},
        {N_PRIM_TRIANGLES, _NvpRenderXTListLineKZG, 600, 200, {399, 201}},
        {N_PRIM_QUADS, _NvpRenderXQListLineKZG, 800, 200, {400, 400}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.kind);
        std::vector<std::array<LONG, 3>> v;
        for (LONG i = 0; i < LONG(k.n); ++i) v.push_back({(i * 7) % 600, 10 + (i * 13) % 400, 0});
        Faces(k.kind, v, {{1, k.faces}});
        DrawOutline(k.fn);
        const auto packets = Packets()[0];
        std::vector<ULONG> sizes;
        for (const auto& p : packets) sizes.push_back(static_cast<ULONG>(p.primitives));
        EXPECT_EQ(sizes, k.sizes);
    }
}

TEST(OutlineSlots, TheSelectorsTableHoldsTheWalkers) {
    EXPECT_EQ(_NRenderFcn(N_RF_OUTLINE_FAN), _NvpRenderXPgonLineKZG);
    EXPECT_EQ(_NRenderFcn(N_RF_OUTLINE_TRIANGLES), _NvpRenderXTListLineKZG);
    EXPECT_EQ(_NRenderFcn(N_RF_OUTLINE_QUADS), _NvpRenderXQListLineKZG);
    EXPECT_EQ(_NRenderFcn(N_RF_OUTLINE_STRIP), _NvpRenderXTStripLineKZG);
    EXPECT_EQ(_NRenderFcn(N_RF_OUTLINE_QUAD_STRIP), _NvpRenderXQStripLineKZG);
}

// A width past the range the server answers (0 to 256) draws as the widest
// of the range: the same segments, the same width word.
TEST_F(OutlineTest, WidthsPastTheRangeDrawAsTheWidest) {
    const auto segments = [this](float width) {
        Prepare(kSolo, 2);
        Width(width);
        Smooth(false);
        SetOutlineProgram(2);
        Faces(N_PRIM_TRIANGLES, Spread(3), {{1, 1}});
        DrawOutline(_NvpRenderXTListLineKZG);
        return PrimsIn(Packets()[0]);
    };
    const std::vector<Prim> widest = segments(256.0f);
    ASSERT_FALSE(widest.empty());
    for (float width : {257.0f, 1e30f, std::numeric_limits<float>::infinity()}) {
        SCOPED_TRACE(width);
        EXPECT_EQ(segments(width), widest);
    }
}

// --- routing ----------------------------------------------------------------------------------
class OutlineRouting : public OutlineTest, public ::testing::WithParamInterface<BoardModel> {};

TEST_P(OutlineRouting, EachEdgeReachesTheOwnersOfItsTiles) {
    for (float width : {1.0f, 3.0f}) {
        SCOPED_TRACE(width);
        Prepare(GetParam(), 2);
        Width(width);
        SetOutlineProgram(2);
        const bool bSplit = qm_->pLayout->bSplitScreen != 0;
        const LONG cx = plGLScreenSize(Pdev())[0];
        Faces(N_PRIM_POLYGON, {{10, 10, 0}, {20, 12, 0}, {140, 40, 0}, {150, 200, 0}, {cx - 1, 20, 0}, {30, 300, 0}},
              {{1, 4}});
        DrawOutline(_NvpRenderXPgonLineKZG);
        const auto got = Received();
        auto tileOwner = [&](LONG x, LONG y) { return board_->tile_owner(bSplit && x >= cx ? 1 : 0, x, y); };
        for (ULONG s = 0; s < 6; ++s) {
            SCOPED_TRACE(s);
            const ULONG t = (s + 1) % 6;
            const Prim want = Seg(2, s, t, 0);
            std::set<int> owners{tileOwner(b_.v[s][0], b_.v[s][1]), tileOwner(b_.v[t][0], b_.v[t][1])};
            for (ULONG r = 0; r < Queues(); ++r) {
                const bool bHas = std::find(got[r].begin(), got[r].end(), want) != got[r].end();
                if (owners.count(static_cast<int>(r)) != 0) {
                    EXPECT_TRUE(bHas) << "owner " << r;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, OutlineRouting, ::testing::ValuesIn(kModels), BoardModelName);

}  // namespace
