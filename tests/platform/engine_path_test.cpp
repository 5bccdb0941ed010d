// Paths and cosmetic lines in the engine: PATHOBJ enumeration and bounds,
// EngStrokePath against the cosmetic-line rule written out in the test
// (every octant, the ties), styles carried across calls, clipped-line runs
// against a complex region, and the software fills EngFillPath and EngPaint.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <random>
#include <set>

#include "engine_reference.h"
#include "line_reference.h"

namespace {

using ref::Bitmap;

struct PathDeleter {
    void operator()(PATHOBJ* p) const { vnx::engine::delete_path(p); }
};
using Path = std::unique_ptr<PATHOBJ, PathDeleter>;

Path make_path(const std::vector<vnx::engine::SubPath>& s, ULONG cBatch = 0) {
    return Path(vnx::engine::create_path(s, cBatch));
}

class EnginePath : public ref::EngineTest {
protected:
    void TearDown() override {
        EXPECT_EQ(vnx::engine::live_paths(), 0u);
        ref::EngineTest::TearDown();
    }
    ref::Brush solid(ULONG c) {
        vnx::engine::BrushDesc d;
        d.iSolidColor = c;
        return ref::Brush(vnx::engine::create_brush(d));
    }
};

std::set<ref::Pixel> lit(const Bitmap& b, ULONG background = 0) {
    std::set<ref::Pixel> s;
    for (LONG y = 0; y < b.cy(); ++y)
        for (LONG x = 0; x < b.cx(); ++x)
            if (b.get(x, y) != background) s.insert({x, y});
    return s;
}

std::set<ref::Pixel> reference(const std::vector<POINTFIX>& pts, const RECTL& r) {
    std::set<ref::Pixel> s;
    for (size_t i = 1; i < pts.size(); ++i)
        for (const ref::Pixel& p : ref::line_pixels(pts[i - 1].x, pts[i - 1].y, pts[i].x, pts[i].y))
            if (ref::inside(r, LONG(p.first), LONG(p.second))) s.insert(p);
    return s;
}

TEST_F(EnginePath, EnumeratesBatchesWithTheirFlagsAndBounds) {
    Path p = make_path({{{{16, 32}, {48, 32}, {48, 80}, {0, 0}, {5, 7}}, true, true},
                        {},
                        {{{-32, 160}, {64, 16}}, false, false}},
                       2);
    RECTFX b;
    PATHOBJ_vGetBounds(p.get(), &b);
    EXPECT_EQ(b.xLeft, -32);
    EXPECT_EQ(b.yTop, 0);
    EXPECT_EQ(b.xRight, 64);
    EXPECT_EQ(b.yBottom, 160);
    EXPECT_EQ(p->cCurves, 5u + 1u);

    struct Expect {
        FLONG flags;
        ULONG count;
        BOOL more;
    };
    const Expect expected[] = {{PD_BEGINSUBPATH | PD_RESETSTYLE, 2, TRUE},
                               {0, 2, TRUE},
                               {PD_ENDSUBPATH | PD_CLOSEFIGURE, 1, TRUE},
                               {PD_BEGINSUBPATH | PD_ENDSUBPATH, 2, FALSE}};
    for (int pass = 0; pass < 2; ++pass) {
        PATHOBJ_vEnumStart(p.get());
        for (const Expect& e : expected) {
            PATHDATA pd;
            EXPECT_EQ(PATHOBJ_bEnum(p.get(), &pd), e.more);
            EXPECT_EQ(pd.flags, e.flags);
            EXPECT_EQ(pd.count, e.count);
        }
        PATHDATA pd;
        EXPECT_FALSE(PATHOBJ_bEnum(p.get(), &pd));
        EXPECT_EQ(pd.count, 0u);
    }
    PATHOBJ unknown{};
    PATHOBJ_vGetBounds(&unknown, &b);
    EXPECT_EQ(b.xRight, 0);
}

// Ends with fractions of every kind (whole, quarter, half: the ties) in every
// octant, and slopes 0, 1/2, 1, 2 and vertical.
std::vector<std::array<LONG, 4>> octant_lines() {
    std::vector<std::array<LONG, 4>> lines;
    const LONG fractions[] = {0, 3, 8, 12, -8};
    const LONG dirs[][2] = {{160, 0},  {160, 80},  {160, 160},  {80, 160},  {0, 160},  {-80, 160},
                            {-160, 160}, {-160, 80}, {-160, 0}, {-160, -80}, {-160, -160},
                            {-80, -160}, {0, -160},  {80, -160}, {160, -160}, {160, -80},
                            {150, 37},  {-37, 150}, {24, 8},    {8, 24}};
    for (auto& d : dirs)
        for (LONG fx : fractions)
            for (LONG fy : fractions) lines.push_back({320 + fx, 320 + fy, 320 + fx + d[0], 320 + fy + d[1]});
    return lines;
}

TEST_F(EnginePath, SolidStrokeLightsThePixelsOfTheRule) {
    // A few pixels pinned by hand: the ties go to the smaller coordinate,
    // except along x on lines whose x and y grow together.
    struct Pin {
        std::array<LONG, 4> line;
        std::vector<ref::Pixel> pixels;
    } pins[] = {
        {{8, 8, 168, 8}, {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {8, 0}, {9, 0}}},
        {{0, 0, 32, 16}, {{0, 0}, {1, 0}}},
        {{8, 8, 40, 40}, {{1, 1}, {2, 2}}},
        {{40, 8, 8, 40}, {{2, 1}, {1, 2}}},
        {{16, 16, 16, 16}, {}},
        {{48, 0, 0, 0}, {{3, 0}, {2, 0}, {1, 0}}},
    };
    for (const Pin& pin : pins)
        EXPECT_EQ(ref::line_pixels(pin.line[0], pin.line[1], pin.line[2], pin.line[3]), pin.pixels);

    ref::Brush pen = solid(0x00ABCDEF);
    for (const auto& l : octant_lines()) {
        Bitmap b(48, 48, BMF_32BPP);
        Path p = make_path({{{{l[0], l[1]}, {l[2], l[3]}}}});
        ASSERT_TRUE(EngStrokePath(b.pso, p.get(), nullptr, nullptr, pen.get(), nullptr, nullptr, 13));
        EXPECT_EQ(lit(b), reference({{l[0], l[1]}, {l[2], l[3]}}, {0, 0, 48, 48}))
            << l[0] << "," << l[1] << " -> " << l[2] << "," << l[3];
    }
}

TEST_F(EnginePath, MixesClipsAndSurfaceEdges) {
    ref::Brush pen = solid(0x0F);
    Bitmap b(40, 30, BMF_8BPP);
    b.randomize(7);
    const std::vector<ULONG> before = b.pixels();
    // Lines leaving the surface on every side, through a complex clip, XOR
    // mix (7 = R2_XORPEN): every pixel of the rule inside both changes once
    // per line that lights it.
    const std::vector<POINTFIX> pts = {{-100, -40}, {700, 300}, {300, 600}, {-50, 200}, {640, -20}};
    const RECTL rects[] = {{0, 0, 10, 30}, {12, 5, 40, 9}, {20, 12, 33, 30}};
    ref::Clip clip(vnx::engine::create_clip(rects, 3));
    Path p = make_path({{pts}});
    ASSERT_TRUE(EngStrokePath(b.pso, p.get(), clip.get(), nullptr, pen.get(), nullptr, nullptr, 7));
    std::vector<ULONG> want = before;
    for (size_t i = 1; i < pts.size(); ++i)
        for (const ref::Pixel& px : ref::line_pixels(pts[i - 1].x, pts[i - 1].y, pts[i].x, pts[i].y))
            if (ref::inside({0, 0, 40, 30}, LONG(px.first), LONG(px.second)) &&
                ref::inside_any({std::begin(rects), std::end(rects)}, LONG(px.first), LONG(px.second)))
                want[size_t(px.second * 40 + px.first)] ^= 0x0F;
    EXPECT_TRUE(ref::same_pixels(want, b));
    // 11 = R2_NOP draws nothing; a wide line is refused.
    ASSERT_TRUE(EngStrokePath(b.pso, p.get(), nullptr, nullptr, pen.get(), nullptr, nullptr, 11));
    EXPECT_TRUE(ref::same_pixels(want, b));
    LINEATTRS wide{};
    wide.fl = LA_GEOMETRIC;
    EXPECT_FALSE(EngStrokePath(b.pso, p.get(), nullptr, nullptr, pen.get(), nullptr, &wide, 13));
}

TEST_F(EnginePath, StylesCarryTheirPositionAcrossCalls) {
    ref::Brush pen = solid(1);
    FLOAT_LONG user[2];
    user[0].l = 2;  // 6 pixels drawn
    user[1].l = 1;  // 3 pixels left out
    struct Case {
        FLONG fl;
        ULONG cstyle;
        FLOAT_LONG* pstyle;
        std::function<bool(LONG)> dash;
        LONG stateAfter7;
    } cases[] = {
        {LA_ALTERNATE, 0, nullptr, [](LONG i) { return i % 2 == 0; }, 1 << 16},
        {0, 2, user, [](LONG i) { return i % 9 < 6; }, 2 << 16 | 1},
        {LA_STARTGAP, 2, user, [](LONG i) { return i % 9 >= 6; }, 2 << 16 | 1},
    };
    for (const Case& c : cases) {
        Bitmap whole(40, 1, BMF_8BPP), split(40, 1, BMF_8BPP);
        LINEATTRS la{};
        la.fl = c.fl;
        la.cstyle = c.cstyle;
        la.pstyle = c.pstyle;
        Path p = make_path({{{{0, 0}, {16 * 30, 0}}}});
        ASSERT_TRUE(EngStrokePath(whole.pso, p.get(), nullptr, nullptr, pen.get(), nullptr, &la, 13));
        for (LONG x = 0; x < 40; ++x) EXPECT_EQ(whole.get(x, 0), x < 30 && c.dash(x) ? 1u : 0u) << x;
        // The same in two calls: 7 pixels, then the rest from the state.
        la.elStyleState.l = 0;
        Path a = make_path({{{{0, 0}, {16 * 7, 0}}}}), b = make_path({{{{16 * 7, 0}, {16 * 30, 0}}}});
        ASSERT_TRUE(EngStrokePath(split.pso, a.get(), nullptr, nullptr, pen.get(), nullptr, &la, 13));
        EXPECT_EQ(la.elStyleState.l, c.stateAfter7);
        ASSERT_TRUE(EngStrokePath(split.pso, b.get(), nullptr, nullptr, pen.get(), nullptr, &la, 13));
        EXPECT_EQ(split.pixels(), whole.pixels());
    }
}

TEST_F(EnginePath, PatternBrushesPaintTheirPatternAtTheOrigin) {
    Bitmap pat(8, 8, BMF_32BPP), b(40, 20, BMF_32BPP);
    pat.randomize(21);
    vnx::engine::BrushDesc d;
    d.psoPattern = pat.pso;
    ref::Brush brush(vnx::engine::create_brush(d));
    ASSERT_NE(brush, nullptr);
    Path p = make_path({{{{0, 16 * 5}, {16 * 40, 16 * 5}}}});
    POINTL org = {3, 2};
    ASSERT_TRUE(EngStrokePath(b.pso, p.get(), nullptr, nullptr, brush.get(), &org, nullptr, 13));
    for (LONG x = 0; x < 40; ++x) EXPECT_EQ(b.get(x, 5), pat.get(ref::mod(x - 3, 8), ref::mod(5 - 2, 8))) << x;
}

// A region of many small rectangles (more than one enumeration batch).
std::vector<RECTL> checkerboard(LONG cx, LONG cy, LONG cell) {
    std::vector<RECTL> r;
    for (LONG y = 0; y < cy; y += cell)
        for (LONG x = (y / cell) % 2 * cell; x < cx; x += 2 * cell) r.push_back({x, y, x + cell, y + cell});
    return r;
}

TEST_F(EnginePath, ClipLinesGiveTheRunsInsideTheRegion) {
    const std::vector<RECTL> region = checkerboard(64, 64, 6);
    ASSERT_GT(region.size(), 50u);
    ref::Clip clip(vnx::engine::create_clip(region.data(), ULONG(region.size())));
    Bitmap b(64, 64, BMF_8BPP);
    const std::vector<POINTFIX> pts = {{8, 4}, {1000, 500}, {200, 1000}, {200, 10}, {1020, 1010}};
    Path p = make_path({{pts, true}});
    FLOAT_LONG user[1];
    user[0].l = 1;
    LINEATTRS la{};
    la.cstyle = 1;
    la.pstyle = user;
    la.elStyleState.l = 1 << 16 | 2;  // 5 pixels in
    PATHOBJ_vEnumStartClipLines(p.get(), clip.get(), b.pso, &la);
    union {
        CLIPLINE cl;
        BYTE buffer[184];
    } u;
    std::set<ref::Pixel> got;
    long long pos = 5;
    size_t line = 0;
    std::vector<POINTFIX> closed = pts;
    closed.push_back(pts.front());
    BOOL more;
    do {
        more = PATHOBJ_bEnumClipLines(p.get(), sizeof u, &u.cl);
        if (u.cl.c == 0) break;
        ASSERT_LE(u.cl.c, 20u);
        // Find the line and the style position at its start.
        while (line + 1 < closed.size() &&
               !(closed[line].x == u.cl.ptfxA.x && closed[line].y == u.cl.ptfxA.y &&
                 closed[line + 1].x == u.cl.ptfxB.x && closed[line + 1].y == u.cl.ptfxB.y)) {
            pos += ref::line_pixels(closed[line].x, closed[line].y, closed[line + 1].x, closed[line + 1].y).size();
            ++line;
        }
        ASSERT_LT(line + 1, closed.size());
        EXPECT_EQ(u.cl.lStyleState, LONG((pos % 6) / 3 << 16 | (pos % 6) % 3));
        const auto px = ref::line_pixels(u.cl.ptfxA.x, u.cl.ptfxA.y, u.cl.ptfxB.x, u.cl.ptfxB.y);
        LONG last = -1;
        const RUN* runs = u.cl.arun;
        for (ULONG i = 0; i < u.cl.c; ++i) {
            const RUN& r = runs[i];
            EXPECT_LE(r.iStart, r.iStop);
            EXPECT_GT(r.iStart, last);
            last = r.iStop;
            for (LONG k = r.iStart; k <= r.iStop; ++k) got.insert(px[size_t(k)]);
        }
    } while (more);
    std::set<ref::Pixel> want;
    for (const ref::Pixel& q : reference(closed, {0, 0, 64, 64}))
        if (ref::inside_any(region, LONG(q.first), LONG(q.second))) want.insert(q);
    EXPECT_EQ(got, want);
    EXPECT_FALSE(want.empty());
}

TEST_F(EnginePath, FillsAndPaint) {
    ref::Brush pen = solid(0x5);
    Bitmap b(32, 24, BMF_8BPP);
    // A rectangle with whole corners fills exactly its pixels; a bow tie
    // filled alternately and by winding.
    Path rect = make_path({{{{32, 48}, {160, 48}, {160, 128}, {32, 128}}}});
    ASSERT_TRUE(EngFillPath(b.pso, rect.get(), nullptr, pen.get(), nullptr, 0x0D0D, FP_ALTERNATEMODE));
    for (LONG y = 0; y < 24; ++y)
        for (LONG x = 0; x < 32; ++x) EXPECT_EQ(b.get(x, y), x >= 2 && x < 10 && y >= 3 && y < 8 ? 5u : 0u);
    Bitmap alt(32, 32, BMF_8BPP), wind(32, 32, BMF_8BPP);
    // Two overlapping squares drawn the same way round: the overlap is
    // outside for the alternate rule, inside for winding.
    Path two = make_path({{{{0, 0}, {320, 0}, {320, 320}, {0, 320}}}, {{{160, 160}, {480, 160}, {480, 480}, {160, 480}}}});
    ASSERT_TRUE(EngFillPath(alt.pso, two.get(), nullptr, pen.get(), nullptr, 0x0D0D, FP_ALTERNATEMODE));
    ASSERT_TRUE(EngFillPath(wind.pso, two.get(), nullptr, pen.get(), nullptr, 0x0D0D, FP_WINDINGMODE));
    EXPECT_EQ(alt.get(15, 15), 0u);
    EXPECT_EQ(wind.get(15, 15), 5u);
    EXPECT_EQ(alt.get(5, 5), 5u);
    EXPECT_EQ(alt.get(25, 25), 5u);
    EXPECT_EQ(alt.get(25, 5), 0u);

    // EngPaint: the clip region under the mix (7: XOR pen).
    Bitmap c(16, 16, BMF_8BPP);
    c.randomize(3);
    std::vector<ULONG> want = c.pixels();
    const RECTL rects[] = {{1, 1, 5, 5}, {8, 2, 15, 14}};
    ref::Clip clip(vnx::engine::create_clip(rects, 2));
    ASSERT_TRUE(EngPaint(c.pso, clip.get(), pen.get(), nullptr, 0x0707));
    for (LONG y = 0; y < 16; ++y)
        for (LONG x = 0; x < 16; ++x)
            if (ref::inside_any({rects[0], rects[1]}, x, y)) want[size_t(y * 16 + x)] ^= 5;
    EXPECT_TRUE(ref::same_pixels(want, c));
}

}  // namespace
