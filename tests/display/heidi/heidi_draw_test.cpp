// Drawing through the escape: the clear and the pixel transfers read back
// from the board, the back-to-front copy, and the packets of every renderer
// decoded and checked by the board model, routed by tile on boards of one,
// two and four rasterizers.
#include <gtest/gtest.h>

#include <set>

#include "display/heidi/heidi_fixture.h"

namespace {

using vnx::board::DecodedPacket;
using vnx::test::HeidiTest;

class HeidiDrawTest : public HeidiTest {
  protected:
    ULONG Word(const HEIDICMD& c, ULONG off) {
        ULONG v;
        std::memcpy(&v, reinterpret_cast<const BYTE*>(&c) + off, 4);
        return v;
    }
    void Clear(ULONG h, ULONG value, BYTE jTarget = 0) {
        HEIDICMD c = Cmd(HEIDI_CLEAR, h, jTarget);
        SetWord(&c, 12, value);
        Send(c, nullptr, HEIDI_CJ_WORD3);
    }
    void SetBuffer(ULONG h, ULONG sub) {
        HEIDICMD c = Cmd(HEIDI_SET_BUFFER, h);
        SetWord(&c, 12, sub);
        Send(c, nullptr, HEIDI_CJ_WORD3);
    }
    // Vertices into the view.
    void Vertices(const std::vector<HEIDIVERTEX>& v) {
        std::memcpy(view_ + HEIDI_VIEW_DATA, v.data(), v.size() * sizeof(HEIDIVERTEX));
    }
    static HEIDIVERTEX V(LONG x, LONG y, ULONG colour = 0x123456, ULONG depth = 0x1111) {
        return {(static_cast<ULONG>(y * 16) << 16) | (static_cast<ULONG>(x * 16) & 0xFFFF), depth, colour, 0, 0};
    }
    std::vector<ULONG> Screen(const RECTL& r) {
        return Board().read_pixels(0, static_cast<std::uint16_t>(ScreenPid()), r.left, r.top, r.right - r.left,
                                   r.bottom - r.top);
    }
};

TEST_F(HeidiDrawTest, ClearFillsTheVisiblePartOfTheWindow) {
    const ULONG h = Bound({100, 100, 300, 250});
    ASSERT_NE(h, 0u);
    Window(other_, {250, 200, 400, 300});  // covers the lower right corner
    Clear(h, 0x7C0000);
    Flush();
    EXPECT_TRUE(Board().take_errors().empty());
    const std::vector<ULONG> inside = Screen({100, 100, 300, 200});
    const std::vector<ULONG> covered = Screen({250, 200, 300, 250});
    const std::vector<ULONG> outside = Screen({90, 90, 100, 260});
    ASSERT_FALSE(inside.empty());
    for (ULONG p : inside) ASSERT_EQ(p, inside[0]);
    EXPECT_NE(inside[0], 0u);
    for (ULONG p : covered) ASSERT_EQ(p, 0u);
    for (ULONG p : outside) ASSERT_EQ(p, 0u);
    EXPECT_EQ(Screen({100, 200, 250, 250}), std::vector<ULONG>(150 * 50, inside[0]));

    // The packet: the clear program, the destination's pid pair, the value.
    Take();
    Clear(h, 0x1234, 1);  // the depth buffer
    Flush();
    bool bSeen = false;
    for (const auto& q : Take()) {
        for (const DecodedPacket& p : Drawing(q)) {
            if (p.command != 0x02104026u) continue;
            bSeen = true;
            ASSERT_EQ(p.instructions, std::vector<std::uint32_t>{0x10380348u});
            ASSERT_EQ(p.constants, std::vector<std::uint32_t>{0x1234u});
            EXPECT_EQ(p.pids[0] & PID_SLOT_MASK, ppdev_->pidZ & PID_SLOT_MASK);
        }
    }
    EXPECT_TRUE(bSeen);
    const auto depth = Board().read_pixels(0, static_cast<std::uint16_t>(ppdev_->pidZ), 120, 120, 1, 1);
    EXPECT_EQ(depth, std::vector<ULONG>{0x1234u}) << std::hex << ppdev_->pidScreen << " " << ppdev_->pidZ << " " << ppdev_->pidBack << " " << ulPidPair(ppdev_, FALSE);
}

TEST_F(HeidiDrawTest, TransfersWriteAndReadTheWindowsBuffers) {
    const ULONG h = Bound({100, 100, 300, 250});
    ASSERT_NE(h, 0u);
    // A 20 x 10 image of 16-bit pixels at window (10, 5), lowest row first.
    const LONG cx = 20, cy = 10;
    std::vector<USHORT> image(cx * cy);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<USHORT>(0x1000 + i);
    std::memcpy(view_ + HEIDI_VIEW_DATA, image.data(), image.size() * 2);
    HEIDICMD c = Cmd(HEIDI_WRITE_COLOUR, h);
    c.cx = cx;
    c.cy = cy;
    c.x = 10;
    c.y = 5;
    c.cjRow = cx * 2;
    Send(c);
    Flush();
    // Window row 5 is board row 100 + 150 - 1 - 5 = 244.
    const std::vector<ULONG> got = Screen({110, 244 - cy + 1, 110 + cx, 245});
    ASSERT_EQ(got.size(), image.size());
    for (LONG r = 0; r < cy; ++r)
        for (LONG x = 0; x < cx; ++x)
            ASSERT_EQ(got[r * cx + x], image[(cy - 1 - r) * cx + x]) << r << "," << x;
    // Read back into a cleared view.
    std::memset(view_ + HEIDI_VIEW_DATA, 0, image.size() * 2);
    c.ulCode = HEIDI_READ_COLOUR;
    Send(c);
    EXPECT_EQ(std::memcmp(view_ + HEIDI_VIEW_DATA, image.data(), image.size() * 2), 0);

    // Past the view, or rows shorter than the width: nothing moves.
    std::memset(view_ + HEIDI_VIEW_DATA, 0, image.size() * 2);
    HEIDICMD bad = c;
    bad.cy = 2000;
    Send(bad);
    bad = c;
    bad.cjRow = cx * 2 - 4;
    Send(bad);
    EXPECT_EQ(std::vector<BYTE>(view_ + HEIDI_VIEW_DATA, view_ + HEIDI_VIEW_DATA + 400), std::vector<BYTE>(400, 0));

    // The depth buffer in its own format.
    const ULONG cjDepth = ppdev_->psoZ->iBitmapFormat == BMF_32BPP ? 4 : 2;
    std::vector<BYTE> depth(cx * cy * cjDepth);
    for (size_t i = 0; i < depth.size(); ++i) depth[i] = static_cast<BYTE>(i * 7 + 1);
    std::memcpy(view_ + HEIDI_VIEW_DATA, depth.data(), depth.size());
    HEIDICMD d = c;
    d.ulCode = HEIDI_WRITE_DEPTH;
    d.cjRow = cx * cjDepth;
    Send(d);
    std::memset(view_ + HEIDI_VIEW_DATA, 0, depth.size());
    d.ulCode = HEIDI_READ_DEPTH;
    Send(d);
    EXPECT_EQ(std::memcmp(view_ + HEIDI_VIEW_DATA, depth.data(), depth.size()), 0);
    EXPECT_TRUE(Board().take_errors().empty());
}

TEST_F(HeidiDrawTest, BackBufferCopiesToTheFrontInsideTheWindow) {
    const ULONG h = Bound({100, 100, 200, 200});
    ASSERT_NE(h, 0u);
    SetBuffer(h, HEIDI_BUF_BACK);
    Clear(h, 0x7C0000);
    Flush();
    EXPECT_EQ(Screen({100, 100, 200, 200}), std::vector<ULONG>(100 * 100, 0)) << "drawn in the back";
    SetBuffer(h, HEIDI_BUF_SWAP);
    Flush();
    const auto front = Screen({100, 100, 200, 200});
    EXPECT_NE(front[0], 0u);
    EXPECT_EQ(front, std::vector<ULONG>(100 * 100, front[0]));
    EXPECT_EQ(Screen({200, 100, 210, 200}), std::vector<ULONG>(10 * 100, 0));
}

// Rectangles and points are drawn by the board's 2D rules: the constant
// colour over the pixels inside the corners (right and bottom edges out),
// one pixel a point, inside the window only.
TEST_F(HeidiDrawTest, RectanglesAndPointsReachTheScreen) {
    const ULONG h = Bound({100, 100, 300, 250});  // window row y is board row 249 - y
    ASSERT_NE(h, 0u);
    Clear(h, 0x7C0000);
    Flush();
    const ULONG red = Screen({100, 100, 101, 101})[0];
    Vertices({V(10, 10), V(30, 20), V(190, 140), V(250, 200)});  // the second reaches past the window
    HEIDICMD c = Cmd(HEIDI_RECTS, h, 0);
    c.cVertices = 4;
    SetWord(&c, 16, 0x7C0000);
    Clear(h, 0);
    Send(c, nullptr, HEIDI_CJ_DRAW);
    Flush();
    EXPECT_EQ(Screen({110, 229, 130, 239}), std::vector<ULONG>(20 * 10, red));
    EXPECT_EQ(Screen({109, 228, 131, 229}), std::vector<ULONG>(22, 0u)) << "the row above";
    EXPECT_EQ(Screen({110, 239, 130, 240}), std::vector<ULONG>(20, 0u)) << "the bottom edge";
    EXPECT_EQ(Screen({290, 100, 300, 109}), std::vector<ULONG>(90, red)) << "inside the window";
    EXPECT_EQ(Screen({300, 95, 310, 100}), std::vector<ULONG>(50, 0u)) << "outside the window";

    Clear(h, 0);
    Vertices({V(0, 0), V(199, 149), V(200, 150)});
    c = Cmd(HEIDI_POINTS, h, 0);
    c.cVertices = 3;
    SetWord(&c, 16, 0x7C0000);
    Send(c, nullptr, HEIDI_CJ_DRAW);
    Flush();
    EXPECT_EQ(Screen({100, 249, 101, 250})[0], red) << "the window's lower left pixel";
    EXPECT_EQ(Screen({299, 100, 300, 101})[0], red) << "its upper right pixel";
    EXPECT_EQ(Screen({300, 99, 301, 100})[0], 0u) << "outside";
    EXPECT_TRUE(Board().take_errors().empty());
}

// --- the renderers' packets -------------------------------------------------------------

struct DrawCase {
    const char* what;
    ULONG code;
    ULONG variant;
    bool depth;
    ULONG cClass;        // primitive class
    ULONG cPrimitives;   // of the vertices below
    ULONG cWords;        // words a primitive
};

class HeidiRouteTest : public HeidiDrawTest, public testing::WithParamInterface<int> {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        Boot(GetParam());
    }
};

TEST_P(HeidiRouteTest, EveryRendererSendsPacketsTheBoardAccepts) {
    const ULONG h = Bound({0, 0, 600, 500});
    ASSERT_NE(h, 0u);
    Flush();
    Take();
    // Six vertices: a strip whose third vertex (bit 31) ends it, then three
    // more; spread over several tiles.
    Vertices({V(10, 10), V(300, 20), V(20, 300, 0x123456, 0x80002222), V(400, 400), V(450, 300),
              V(350, 450)});
    const DrawCase cases[] = {
        {"points, constant colour", 103, 0, false, 0, 6, 1},
        {"points, flat", 103, 1, false, 0, 6, 2},
        {"points, depth", 103, 1, true, 0, 6, 3},
        {"lines, constant", 104, 0, false, 1, 4, 2},
        {"lines, flat", 105, 1, false, 1, 4, 3},
        {"lines, smooth, depth", 106, 2, true, 1, 4, 6},
        {"triangles, constant", 107, 0, false, 5, 3, 3},
        {"triangles, flat, depth", 108, 1, true, 5, 3, 7},
        {"triangles, smooth, dither", 109, 2, false, 5, 3, 6},
        {"triangles, fixed", 110, 0, false, 5, 3, 15},
        {"rectangles", 111, 0, false, 6, 3, 4},
        {"rectangles, flat", 111, 1, true, 6, 3, 9},  // the depth at every corner
    };
    for (const DrawCase& k : cases) {
        SCOPED_TRACE(k.what);
        view_[3] = k.depth ? 1 : 0;
        HEIDICMD c = Cmd(k.code, h, static_cast<BYTE>(k.variant));
        c.jSetup = HEIDI_SETUP_DEPTH;
        c.cVertices = 6;
        SetWord(&c, 16, 0xABCDEF);
        Vertices({V(10, 10), V(300, 20), V(20, 300, 0x123456, 0x80002222), V(400, 400), V(450, 300),
                  V(350, 450)});
        if (k.code == 109) SetBuffer(h, HEIDI_BUF_DITHER_ON);
        Send(c, nullptr, HEIDI_CJ_DRAW);
        Flush();
        for (const auto& e : Board().take_errors()) ADD_FAILURE() << e.rasterizer << ": " << e.message;
        std::set<std::vector<std::uint32_t>> prims;  // each primitive once, whoever drew it
        for (const auto& q : Take()) {
            for (const DecodedPacket& p : Drawing(q)) {
                if (p.instructions.empty() || p.command == 0x02104026u) continue;
                if ((p.command & 0xF) == 0 && !p.hasClip) continue;  // the dither matrix load
                EXPECT_EQ(p.command & 0xF, k.cClass);
                EXPECT_TRUE(p.hasClip);
                EXPECT_EQ(p.pids[0] & 0xFFFF, ulPidPair(ppdev_, FALSE) & 0xFFFF);
                EXPECT_EQ(p.wordsPerPrimitive, k.cWords);
                if (k.variant == 0 && k.code != 110) EXPECT_EQ(p.constants, std::vector<std::uint32_t>{0xABCDEF});
                for (std::uint32_t i = 0; i < p.primitives; ++i) prims.insert(p.primitive(i));
            }
        }
        EXPECT_EQ(prims.size(), k.cPrimitives);
        // Vertices are converted in place: window y up to board y down.
        HEIDIVERTEX v0;
        std::memcpy(&v0, view_ + HEIDI_VIEW_DATA, sizeof v0);
        EXPECT_EQ(v0.ulPos, (static_cast<ULONG>((499 * 16 - 160)) << 16) | 160u);
    }
    EXPECT_EQ(vnx::debug::take(), "");
}

// A primitive inside one tile reaches the rasterizer owning that tile. The
// first primitive of a packet goes to every queue; a later line inside one
// tile goes to its owner alone.
TEST_P(HeidiRouteTest, SmallPrimitivesGoToTheirTilesOwner) {
    const ULONG h = Bound({0, 0, 600, 500});
    ASSERT_NE(h, 0u);
    Flush();
    Take();
    // Window y up: board y = 499 - y. The first primitive in the tile at
    // (0, 0), the second in the tile at (256, 256).
    for (ULONG code : {104u, 107u}) {
        SCOPED_TRACE(code);
        Vertices({V(10, 480, 0, HEIDI_STRIP_END | 1), V(40, 480), V(10, 450), V(300, 200), V(330, 200),
                  V(300, 170)});
        HEIDICMD c = Cmd(code, h, 0);
        c.cVertices = 6;
        if (code == 104) {  // two segments: (0, 1), then (3, 4)
            Vertices({V(10, 480, 0, HEIDI_STRIP_END | 1), V(40, 480), V(300, 200, 0, HEIDI_STRIP_END),
                      V(330, 200)});
            c.cVertices = 4;
        }
        Send(c, nullptr, HEIDI_CJ_DRAW);
        Flush();
        for (const auto& e : Board().take_errors()) ADD_FAILURE() << e.rasterizer << ": " << e.message;
        const auto queues = Take();
        const int owner1 = Board().tile_owner(0, 10, 19), owner2 = Board().tile_owner(0, 300, 299);
        std::set<int> first, second;
        for (int r = 0; r < static_cast<int>(queues.size()); ++r) {
            for (const DecodedPacket& p : Drawing(queues[r])) {
                for (std::uint32_t i = 0; i < p.primitives; ++i) {
                    ((p.vertex(i, 0) & 0xFFFF) >> 4 < 256 ? first : second).insert(r);
                }
            }
        }
        EXPECT_EQ(first.count(owner1), 1u);
        EXPECT_EQ(second.count(owner2), 1u);
        if (code == 104) EXPECT_EQ(second, std::set<int>{owner2}) << "the owner alone";
    }
}

INSTANTIATE_TEST_SUITE_P(Rasterizers, HeidiRouteTest, testing::Values(1, 2, 4));

// --- what the renderers keep and drop, on one rasterizer ----------------------------------

class HeidiOneRasterizerTest : public HeidiDrawTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        Boot(1);
    }
    // A vertex at board position (x, y) in 28.4 of the window bound at
    // (0, 0) with a client height of 500 (window y grows upwards).
    static HEIDIVERTEX B(LONG x, LONG y, ULONG depth = 0x1111) {
        return {(static_cast<ULONG>(499 * 16 - y) << 16) | static_cast<ULONG>(x), depth, 0x123456, 0, 0};
    }
    static ULONG Packed(const HEIDIVERTEX& v, LONG cyClient = 500) {
        const ULONG y = static_cast<ULONG>((cyClient - 1) * 16) - (v.ulPos >> 16);
        return y << 16 | (v.ulPos & 0xFFFF);
    }
    // The position words of every primitive drawn by one command of `code`
    // over the vertices.
    std::vector<std::vector<ULONG>> Drawn(ULONG h, ULONG code, const std::vector<HEIDIVERTEX>& v) {
        Vertices(v);
        HEIDICMD c = Cmd(code, h, 0);
        c.cVertices = static_cast<ULONG>(v.size());
        Send(c, nullptr, HEIDI_CJ_DRAW);
        Flush();
        for (const auto& e : Board().take_errors()) ADD_FAILURE() << e.rasterizer << ": " << e.message;
        std::vector<std::vector<ULONG>> out;
        const ULONG cPositions = code == 104 ? 2 : 3;
        for (const auto& q : Take())
            for (const DecodedPacket& p : Drawing(q)) {
                if (!p.hasClip) continue;
                for (std::uint32_t i = 0; i < p.primitives; ++i) {
                    std::vector<ULONG> w;
                    for (ULONG k = 0; k < cPositions; ++k) w.push_back(p.vertex(i, k));
                    out.push_back(w);
                }
            }
        return out;
    }
};

// A triangle whose doubled signed area (28.4 units) lies strictly between
// -224 and 224 is dropped; the others are sent in one winding, the second
// and third vertices swapped when the area is negative.
TEST_F(HeidiOneRasterizerTest, ThinTrianglesAreDroppedAndWindingIsMadeOne) {
    const ULONG h = Bound({0, 0, 600, 500});
    ASSERT_NE(h, 0u);
    Flush();
    Take();
    const LONG o = 1600;
    struct Case {
        const char* what;
        std::vector<HEIDIVERTEX> v;
        std::vector<int> order;  // the vertices in the positions sent; empty: dropped
    };
    const Case cases[] = {
        {"area 224", {B(o, o), B(o + 224, o), B(o, o + 1)}, {0, 1, 2}},
        {"area 223", {B(o, o), B(o + 223, o), B(o, o + 1)}, {}},
        {"area -224", {B(o, o), B(o, o + 1), B(o + 224, o)}, {0, 2, 1}},
        {"area -223", {B(o, o), B(o, o + 1), B(o + 223, o)}, {}},
        {"area 0", {B(o, o), B(o + 800, o), B(o + 1600, o)}, {}},
        {"large, negative", {B(o, o), B(o, o + 800), B(o + 800, o)}, {0, 2, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto drawn = Drawn(h, 107, c.v);
        if (c.order.empty()) {
            EXPECT_TRUE(drawn.empty());
            continue;
        }
        ASSERT_EQ(drawn.size(), 1u);
        std::vector<ULONG> want;
        for (int i : c.order) want.push_back(Packed(c.v[static_cast<size_t>(i)]));
        EXPECT_EQ(drawn[0], want);
    }
}

// A vertex whose depth word has bit 31 ends its strip with the triangle (or
// segment) it starts: the next strip starts three vertices (two for lines)
// after it.
TEST_F(HeidiOneRasterizerTest, StripEndsStartTheNextStripAfterTheEndingPrimitive) {
    const ULONG h = Bound({0, 0, 600, 500});
    ASSERT_NE(h, 0u);
    Flush();
    Take();
    const ULONG end = HEIDI_STRIP_END | 0x1111;
    // Triangles: 0-1-2 ends its strip; 3-4-5 and 4-5-6 follow.
    std::vector<HEIDIVERTEX> t = {B(0, 0, end),  B(1600, 0),    B(0, 1600),   B(3200, 3200),
                                  B(4800, 3200), B(3200, 4800), B(4800, 4800)};
    auto tri = [&](int a, int b, int c) {
        return std::vector<ULONG>{Packed(t[a]), Packed(t[b]), Packed(t[c])};
    };
    // 4-5-6 winds the other way and is sent as 4-6-5.
    EXPECT_EQ(Drawn(h, 107, t), (std::vector<std::vector<ULONG>>{tri(0, 1, 2), tri(3, 4, 5), tri(4, 6, 5)}));
    // Line segments: 0-1 ends its strip; 2-3 and 3-4 follow.
    std::vector<HEIDIVERTEX> l = {B(0, 0, end), B(1600, 0), B(3200, 3200), B(4800, 3200), B(4800, 4800)};
    auto seg = [&](int a, int b) { return std::vector<ULONG>{Packed(l[a]), Packed(l[b])}; };
    EXPECT_EQ(Drawn(h, 104, l), (std::vector<std::vector<ULONG>>{seg(0, 1), seg(2, 3), seg(3, 4)}));
}

// Vertex counts past the view, variants that are not served, and vertices
// that convert outside what a packed word names draw nothing.
TEST_F(HeidiDrawTest, BadVertexCountsAndVariantsDrawNothing) {
    const ULONG h = Bound({0, 0, 300, 300});
    ASSERT_NE(h, 0u);
    Flush();
    Take();
    struct Bad {
        const char* what;
        ULONG code, variant, count;
    };
    const Bad bad[] = {
        {"past the view", 103, 0, (kSectionSize - 40) / 20 + 1},
        {"a huge count", 107, 0, 0xFFFFFFFFu},
        {"no vertices", 104, 0, 0},
        {"points, variant 2", 103, 2, 3},
        {"rectangles, variant 2", 111, 2, 4},
        {"variant 3", 107, 3, 3},
    };
    Vertices({V(10, 10), V(20, 20), V(30, 10), V(40, 40)});
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.what);
        HEIDICMD c = Cmd(b.code, h, static_cast<BYTE>(b.variant));
        c.cVertices = b.count;
        Send(c, nullptr, HEIDI_CJ_DRAW);
    }
    // A vertex whose board y would not fit a packed word: window y -2048
    // lies 2347 pixels below the window's top.
    std::vector<HEIDIVERTEX> far = {V(10, 10), V(20, 20), V(30, 10)};
    far[0].ulPos = 0x80000000u | 160u;
    Vertices(far);
    HEIDICMD c = Cmd(107, h, 0);
    c.cVertices = 3;
    Send(c, nullptr, HEIDI_CJ_DRAW);
    Flush();
    for (const auto& q : Take()) {
        for (const DecodedPacket& p : Drawing(q)) EXPECT_EQ(p.primitives, 0u) << std::hex << p.command;
    }
    EXPECT_TRUE(Board().take_errors().empty());
}

}  // namespace
