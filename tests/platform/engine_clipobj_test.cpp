// Clip objects: their complexity and bounds, the enumeration orders copies
// rely on, and the exact batch semantics of CLIPOBJ_bEnum.
#include <gtest/gtest.h>

#include <vector>

#include "engine_reference.h"

// Rectangles compared and printed by the checks (found by argument lookup,
// so at the rectangle's own scope).
static bool operator==(const RECTL& a, const RECTL& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

static std::ostream& operator<<(std::ostream& os, const RECTL& r) {
    return os << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}

namespace {

// Everything an enumeration yields, in batches of cBatch rectangles; the
// flags CLIPOBJ_bEnum answered after each batch.
struct Enumerated {
    ULONG count;  // what CLIPOBJ_cEnumStart answered
    std::vector<RECTL> rects;
    std::vector<ULONG> batches;
    std::vector<BOOL> more;
};

Enumerated enumerate(CLIPOBJ* pco, ULONG iDirection, ULONG cBatch, ULONG cLimit = 100) {
    Enumerated e;
    e.count = CLIPOBJ_cEnumStart(pco, FALSE, CT_RECTANGLES, iDirection, cLimit);
    std::vector<ULONG> buf(1 + 4 * cBatch);
    BOOL more;
    do {
        more = CLIPOBJ_bEnum(pco, ULONG(buf.size() * sizeof(ULONG)), buf.data());
        auto* per = reinterpret_cast<ENUMRECTS*>(buf.data());
        e.batches.push_back(per->c);
        e.more.push_back(more);
        e.rects.insert(e.rects.end(), per->arcl, per->arcl + per->c);
    } while (more && e.batches.size() < 1000);
    return e;
}

class EngineClip : public ref::EngineTest {};

TEST_F(EngineClip, ComplexityAndBounds) {
    struct Row {
        const char* what;
        std::vector<RECTL> rects;
        BYTE iDComplexity, iFComplexity;
        RECTL bounds;
        size_t cEnumerated;
    };
    const Row rows[] = {
        {"nothing", {}, DC_RECT, FC_RECT, {0, 0, 0, 0}, 0},
        {"only empty rectangles", {{5, 5, 5, 9}, {7, 3, 2, 8}}, DC_RECT, FC_RECT, {0, 0, 0, 0}, 0},
        {"one", {{1, 2, 30, 40}}, DC_RECT, FC_RECT, {1, 2, 30, 40}, 1},
        {"one inside another", {{0, 0, 10, 10}, {2, 2, 5, 5}}, DC_RECT, FC_RECT, {0, 0, 10, 10}, 1},
        {"two side by side make one", {{0, 0, 5, 10}, {5, 0, 9, 10}}, DC_RECT, FC_RECT, {0, 0, 9, 10}, 1},
        {"an L", {{0, 0, 10, 2}, {0, 2, 2, 10}}, DC_COMPLEX, FC_RECT4, {0, 0, 10, 10}, 2},
        {"a crossing", {{4, 0, 6, 10}, {0, 4, 10, 6}}, DC_COMPLEX, FC_RECT4, {0, 0, 10, 10}, 3},
        {"a grid", {{0, 0, 1, 1}, {2, 0, 3, 1}, {4, 0, 5, 1}, {0, 2, 1, 3}, {2, 2, 3, 3}},
         DC_COMPLEX, FC_COMPLEX, {0, 0, 5, 3}, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ref::Clip c(vnx::engine::create_clip(row.rects.data(), ULONG(row.rects.size())));
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->iDComplexity, row.iDComplexity);
        EXPECT_EQ(c->iFComplexity, row.iFComplexity);
        EXPECT_EQ(c->iMode, TC_RECTANGLES);
        EXPECT_EQ(c->rclBounds, row.bounds);
        const Enumerated e = enumerate(c.get(), CD_ANY, 10);
        EXPECT_EQ(e.count, row.cEnumerated);
        EXPECT_EQ(e.rects.size(), row.cEnumerated);
        // The enumerated rectangles cover exactly the union of the input.
        for (LONG y = -1; y < 42; ++y)
            for (LONG x = -1; x < 32; ++x)
                ASSERT_EQ(ref::inside_any(e.rects, x, y), ref::inside_any(row.rects, x, y)) << x << "," << y;
    }
    ref::Clip trivial(vnx::engine::create_trivial_clip(RECTL{0, 0, 640, 480}));
    EXPECT_EQ(trivial->iDComplexity, DC_TRIVIAL);
    EXPECT_EQ(enumerate(trivial.get(), CD_ANY, 4).rects, (std::vector<RECTL>{{0, 0, 640, 480}}));
    EXPECT_EQ(vnx::engine::create_clip(nullptr, 3), nullptr);
}

TEST_F(EngineClip, EnumerationFollowsTheDirection) {
    // Three bands: two rectangles, three, one.
    const std::vector<RECTL> region = {{0, 0, 4, 2}, {6, 0, 9, 2},                  // band 0
                                       {0, 2, 2, 5}, {3, 2, 5, 5}, {7, 2, 9, 5},   // band 1
                                       {1, 5, 8, 6}};                              // band 2
    ref::Clip c(vnx::engine::create_clip(region.data(), ULONG(region.size())));
    const RECTL &a = region[0], &b = region[1], &d = region[2], &e = region[3], &f = region[4],
                &g = region[5];
    struct Row {
        ULONG iDirection;
        std::vector<RECTL> order;
    };
    const Row rows[] = {
        {CD_RIGHTDOWN, {a, b, d, e, f, g}},
        {CD_ANY, {a, b, d, e, f, g}},
        {CD_LEFTDOWN, {b, a, f, e, d, g}},
        {CD_RIGHTUP, {g, d, e, f, a, b}},
        {CD_LEFTUP, {g, f, e, d, b, a}},
        {77, {a, b, d, e, f, g}},  // unknown: as CD_ANY
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.iDirection);
        EXPECT_EQ(enumerate(c.get(), row.iDirection, 2).rects, row.order);
    }
}

TEST_F(EngineClip, BatchesFillTheBufferAndTheLastSaysSo) {
    // 120 separate rectangles: one band of 60, another of 60.
    std::vector<RECTL> region;
    for (LONG i = 0; i < 60; ++i) {
        region.push_back(RECTL{2 * i, 0, 2 * i + 1, 1});
        region.push_back(RECTL{2 * i, 5, 2 * i + 1, 6});
    }
    ref::Clip c(vnx::engine::create_clip(region.data(), ULONG(region.size())));
    ASSERT_EQ(c->iDComplexity, DC_COMPLEX);
    struct Row {
        ULONG cBatch, cLimit;
        ULONG count;
        std::vector<ULONG> batches;
        std::vector<BOOL> more;
    };
    const Row rows[] = {
        {49, 50, 0xFFFFFFFF, {49, 49, 22}, {TRUE, TRUE, FALSE}},  // the fills' 788-byte buffer
        {50, 200, 120, {50, 50, 20}, {TRUE, TRUE, FALSE}},        // the copies' 804 bytes
        {60, 120, 120, {60, 60}, {TRUE, FALSE}},                  // the last batch exactly full
        {120, 119, 0xFFFFFFFF, {120}, {FALSE}},
        {500, 0, 0xFFFFFFFF, {120}, {FALSE}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.cBatch);
        const Enumerated e = enumerate(c.get(), CD_RIGHTDOWN, row.cBatch, row.cLimit);
        EXPECT_EQ(e.count, row.count);
        EXPECT_EQ(e.batches, row.batches);
        EXPECT_EQ(e.more, row.more);
        EXPECT_EQ(e.rects.size(), 120u);
    }
    // After the end, further calls give nothing; a new start begins again.
    ULONG buf[1 + 4 * 49];
    EXPECT_FALSE(CLIPOBJ_bEnum(c.get(), sizeof buf, buf));
    EXPECT_EQ(buf[0], 0u);
    EXPECT_EQ(enumerate(c.get(), CD_LEFTUP, 49).rects.front(), (RECTL{118, 5, 119, 6}));
}

TEST_F(EngineClip, OddCallsAnswerNothing) {
    const RECTL two[] = {{0, 0, 2, 2}, {4, 4, 6, 6}};
    ref::Clip c(vnx::engine::create_clip(two, 2));
    ULONG buf[1 + 4 * 4];
    struct Row {
        const char* what;
        CLIPOBJ* pco;
        ULONG iType;
        ULONG cj;
    };
    CLIPOBJ foreign{};
    foreign.iDComplexity = DC_COMPLEX;
    const Row rows[] = {
        {"room for the count only", c.get(), CT_RECTANGLES, 4},
        {"short of one rectangle", c.get(), CT_RECTANGLES, 19},
        {"not rectangles", c.get(), 2, sizeof buf},
        {"a clip object the engine did not make", &foreign, CT_RECTANGLES, sizeof buf},
        {"no clip object", nullptr, CT_RECTANGLES, sizeof buf},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CLIPOBJ_cEnumStart(row.pco, TRUE, row.iType, CD_ANY, 10);
        buf[0] = 0xEEEE;
        EXPECT_FALSE(CLIPOBJ_bEnum(row.pco, row.cj, buf));
        EXPECT_EQ(buf[0], 0u);
    }
    EXPECT_FALSE(CLIPOBJ_bEnum(c.get(), 3, buf));
    EXPECT_FALSE(CLIPOBJ_bEnum(c.get(), sizeof buf, nullptr));
    // A deleted clip object is refused, not followed.
    CLIPOBJ* stale = c.get();
    c.reset();
    EXPECT_EQ(CLIPOBJ_cEnumStart(stale, TRUE, CT_RECTANGLES, CD_ANY, 10), 0u);
    EXPECT_FALSE(CLIPOBJ_bEnum(stale, sizeof buf, buf));
    EXPECT_EQ(buf[0], 0u);
}

}  // namespace
