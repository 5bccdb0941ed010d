// Point render functions and polygons in point mode over a simulated board:
// the words of every layout as each rasterizer decoded them, the square of
// a wide point, the 400-primitive packet limit and per-packet colours,
// depth forms, the lower image's offset, routing on every board, and the
// vertices a polygon pipe draws (culled faces, edge flags, flat colours).
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <limits>
#include <string>

#include "gl/server/lgi/kz2/fill_fixture.h"
#include "kz2/render/kzpoint.h"
#include "kzuinstr.h"

namespace {

using namespace fill_test;

constexpr ULONG kPointClass = 0, kSquareClass = 6;

ULONG Pack(LONG x, LONG y) { return (static_cast<ULONG>(y) << 16) | (static_cast<ULONG>(x) & 0xFFFF); }

// The words of one point by layout code, in sending order: c colour, a
// alpha, z depth, p the position (of a square: its corners (x0, y0),
// (x1, y0), (x1, y1), (x0, y1)). A capital letter is a word once a corner
// of a square, where the program loads its register once a vertex (the
// colour-a-vertex layouts, their alpha and depth beside them, in register
// order); the one-colour layouts send a square's words once, colour,
// alpha, depth, as single points do. head: the words once a packet, the
// first point's.
struct Order {
    ULONG d;
    const char* point;
    const char* square;
    const char* head;
};
constexpr Order kOrders[] = {
    {2, "cp", "Cp", ""},         {3, "cap", "CAp", ""},   {5, "cp", "cp", ""},       {6, "cap", "cap", ""},
    {8, "p", "p", "c"},          {9, "p", "p", "ca"},     {11, "zp", "zp", ""},      {12, "czp", "CZp", ""},
    {13, "cazp", "CZAp", ""},    {15, "czp", "czp", ""},  {16, "cazp", "cazp", ""},  {18, "zp", "zp", "c"},
    {19, "zp", "zp", "ca"},
};
const Order& OrderOf(ULONG d) {
    for (const Order& o : kOrders)
        if (o.d == d) return o;
    ADD_FAILURE() << "no point order for layout " << d;
    return kOrders[0];
}
std::string WordsOf(ULONG cls, ULONG d) { return cls == kSquareClass ? OrderOf(d).square : OrderOf(d).point; }

class PointTest : public FillTest {
  protected:
    // A point (class 0) or square (class 6) program of layout d whose
    // header makes the board take the layout's words: one register a data
    // word (once a primitive, or once a vertex for a word a corner), one a
    // per-packet word.
    void SetPointProgram(ULONG cls, ULONG d, ULONG slot = 0) {
        ULONG loads = 0, reg = 0;
        for (char w : WordsOf(cls, d))
            if (w != 'p') loads |= (std::isupper(w) ? KZU_LOAD_VERTEX : KZU_LOAD_PRIMITIVE) << (12 + 2 * reg++);
        for (std::size_t i = 0; OrderOf(d).head[i] != 0; ++i) loads |= KZU_LOAD_PACKET << (12 + 2 * reg++);
        ASSERT_LE(reg, 4u);
        BuildProgram(ctx_, slot, cls | 0x20 | loads, d, {0x1234});
    }
    // The words once a packet of layout d, from colour record r.
    static std::vector<ULONG> Head(ULONG d, ULONG r) {
        std::vector<ULONG> head;
        for (std::size_t i = 0; OrderOf(d).head[i] != 0; ++i)
            head.push_back(OrderOf(d).head[i] == 'c' ? ColourOf(r) : AlphaWordOf(r));
        return head;
    }
    void Size(float s) { *pulAttr(ctx_, N_ATTR_POINT_SIZE) = F(s); }
    void Points(std::vector<std::array<LONG, 3>> v) {
        batch_ = Batch{};
        batch_.kind = N_PRIM_POINTS;
        batch_.v = std::move(v);
    }
    // The words of point i (colour record r) by the word table.
    Prim Point(ULONG d, ULONG i, ULONG r, ULONG side = 1, LONG yAdd = 0) const {
        return Point(d, i, r, side, yAdd, side > 1);
    }
    Prim Point(ULONG d, ULONG i, ULONG r, ULONG side, LONG yAdd, bool bSquare) const {
        const auto& v = batch_.v[i];
        Prim t;
        for (char w : WordsOf(bSquare ? kSquareClass : kPointClass, d)) {
            // A word once a corner of a square repeats the point's.
            const std::size_t n = std::isupper(w) ? 4 : 1;
            switch (std::tolower(w)) {
            case 'c': t.insert(t.end(), n, ColourOf(r)); break;
            case 'a': t.insert(t.end(), n, AlphaWordOf(r)); break;
            case 'z': t.insert(t.end(), n, static_cast<ULONG>(v[2])); break;
            default:
                if (!bSquare) {
                    t.push_back(Pos(v[0], v[1] + yAdd));
                } else {
                    const LONG s = static_cast<LONG>(side), half = s / 2, xlo = (s & 1) ? half : half - 1;
                    const LONG x0 = 16 * (v[0] - xlo), y0 = 16 * (v[1] + yAdd - half), x1 = x0 + 16 * s,
                               y1 = y0 + 16 * s;
                    t.insert(t.end(), {Pack(x0, y0), Pack(x1, y0), Pack(x1, y1), Pack(x0, y1)});
                }
                break;
            }
        }
        return t;
    }
    void SetUp() override {
        FillTest::SetUp();
        Size(1.0f);
    }
    Batch batch_;
};

// --- points up to 1.5 ----------------------------------------------------------------------------

TEST_F(PointTest, EveryLayoutByThePointTable) {
    struct Case {
        ULONG d;
        N_StageFn fn;
    };
    const Case cases[] = {{2, _NvpRenderPointAttr2_5KZG},    {5, _NvpRenderPointAttr2_5KZG},
                          {3, _NvpRenderPointAttr3_6KZG},    {6, _NvpRenderPointAttr3_6KZG},
                          {8, _NvpRenderPointAttr8KZG},      {9, _NvpRenderPointAttr9KZG},
                          {12, _NvpRenderPointAttr12_15KZG}, {15, _NvpRenderPointAttr12_15KZG},
                          {13, _NvpRenderPointAttr13_16KZG}, {16, _NvpRenderPointAttr13_16KZG},
                          {18, _NvpRenderPointAttr18KZG},    {19, _NvpRenderPointAttr19KZG}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.d);
        Prepare(kSolo, k.d);
        SetPointProgram(kPointClass, k.d);
        Points({{3, 5, 0x100}, {40, 7, 0x200}, {9, 90, 0x300}});
        Draw(k.fn, batch_);
        EXPECT_EQ(gcNext, 1u);
        const auto packets = Packets()[0];
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(packets[0].command, Program().image.w[0]);
        EXPECT_EQ(packets[0].constants, Head(k.d, 0)) << "the first point's colour once a packet";
        EXPECT_EQ(PrimsIn(packets), (std::vector<Prim>{Point(k.d, 0, 0), Point(k.d, 1, 1), Point(k.d, 2, 2)}));
        EXPECT_EQ(ctx_->pHw->batchCount, 3u) << "the batch word holds the packet's primitives";
    }
    // Alpha before depth for layouts 13 and 16: colour, alpha, depth, position.
    EXPECT_EQ(Point(13, 0, 0), (Prim{ColourOf(0), AlphaWordOf(0), 0x100, Pos(3, 5)}));
}

TEST_F(PointTest, EveryLayoutOfTheWidePath) {
    for (const Order& o : kOrders) {
        SCOPED_TRACE(o.d);
        Prepare(kSolo, o.d);
        SetPointProgram(kSquareClass, o.d);
        Size(2.0f);
        Points({{10, 10, 0x100}, {40, 7, 0x200}});
        Draw(_NvpRenderWidePointKZG, batch_);
        EXPECT_EQ(gcNext, 1u);
        const auto packets = Packets()[0];
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(packets[0].constants, Head(o.d, 0));
        EXPECT_EQ(PrimsIn(packets), (std::vector<Prim>{Point(o.d, 0, 0, 2), Point(o.d, 1, 1, 2)}));
    }
    // A colour a vertex: the colour, depth and alpha words once a corner.
    EXPECT_EQ(Point(13, 0, 0, 2), (Prim{ColourOf(0), ColourOf(0), ColourOf(0), ColourOf(0), 0x100, 0x100, 0x100,
                                        0x100, AlphaWordOf(0), AlphaWordOf(0), AlphaWordOf(0), AlphaWordOf(0),
                                        Pack(160, 144), Pack(192, 144), Pack(192, 176), Pack(160, 176)}));
}

TEST_F(PointTest, EmptyBatchesAndLayoutsWithoutAPointForm) {
    Prepare(kSolo, 2);
    SetPointProgram(kPointClass, 2);
    const ULONG batch = ctx_->pHw->batchCount;
    Points({});
    Draw(_NvpRenderPointAttr2_5KZG, batch_);
    EXPECT_EQ(gcNext, 1u);
    EXPECT_EQ(ctx_->pHw->batchCount, batch);
    EXPECT_EQ(gNPendingUpdate, 0u);
    // The empty function of the other layouts: nothing, then the next stage.
    Points({{3, 5, 0}});
    Draw(_NvpRenderPointEmptyKZG, batch_);
    EXPECT_EQ(gcNext, 2u);
    EXPECT_TRUE(Packets()[0].empty());
}

TEST_F(PointTest, AlphaAndDepthWords) {
    // Alpha 1.0 gives 256, 0.0 gives 0.
    Prepare(kSolo, 3);
    SetPointProgram(kPointClass, 3);
    Points({{1, 1, 0}, {2, 2, 0}});
    Draw(
        [](N_Context* pctx, N_Pipe* pipe) {
            ULONG* rec = pipe->pCommonPipeData->pHwVertices;
            rec[1] = F(1.0f);
            rec[6] = F(0.0f);
            _NvpRenderPointAttr3_6KZG(pctx, pipe);
        },
        batch_);
    const auto got = Received()[0];
    EXPECT_EQ(got.at(0).at(1), 0x100u);
    EXPECT_EQ(got.at(1).at(1), 0u);
    // A 16-bit depth buffer: the float form where bits 20-23 are set, else
    // z >> 9; 24 bits: z itself.
    for (ULONG bits : {16u, 24u}) {
        Prepare(kSolo, 18);
        SetPointProgram(kPointClass, 18);
        pGLPageConfig(Pdev())->cDepthBits = bits;
        Points({{1, 1, 0xEFFFFF}, {2, 2, 0xF00000}, {3, 3, 0xFFFFFF}});
        Draw(_NvpRenderPointAttr18KZG, batch_);
        const auto p = Received()[0];
        const std::vector<ULONG> want = bits == 16 ? std::vector<ULONG>{0x77FF, 0x8000, 0xFFFF}
                                                   : std::vector<ULONG>{0xEFFFFF, 0xF00000, 0xFFFFFF};
        for (ULONG i = 0; i < 3; ++i) EXPECT_EQ(p.at(i).at(0), want[i]) << bits << " " << i;
    }
}

TEST_F(PointTest, PositionsInSixteenthsAndTheLowerImage) {
    struct Case {
        ULONG precise, secondHalf;
        LONG x, y;
    };
    for (const Case& k : {Case{0, 0, 3, 5}, Case{1, 0, 48, 80}, Case{0, 1, 3, 5}, Case{1, 1, 48, 80}}) {
        SCOPED_TRACE(testing::Message() << k.precise << k.secondHalf);
        for (bool bWide : {false, true}) {
            Prepare(kSolo, 5, k.precise);
            SetPointProgram(bWide ? kSquareClass : kPointClass, 5);
            Size(bWide ? 3.0f : 1.0f);
            ctx_->secondHalf = k.secondHalf;
            Points({{k.x, k.y, 0}});
            Draw(bWide ? _NvpRenderWidePointKZG : _NvpRenderPointAttr2_5KZG, batch_);
            ctx_->secondHalf = 0;
            const LONG cy = k.secondHalf ? lGLSurfaceHeight(Pdev()) : 0;
            // The pixel (3, 5) whatever the units; the lower image's offset
            // in pixels, on squares too.
            batch_.v[0] = {3, 5, 0};
            EXPECT_EQ(Received()[0].at(0), Point(5, 0, 0, bWide ? 3 : 1, cy)) << bWide;
        }
    }
}

TEST_F(PointTest, WideSquaresFollowGLsPixelRule) {
    // Size 2 at (10, 10): x 160-192, y 144-176 (sixteenths); odd sizes are
    // centred; 1.51 takes size 2.
    Prepare(kSolo, 15);
    SetPointProgram(kSquareClass, 15);
    for (float size : {1.51f, 2.0f, 3.0f, 4.4f, 5.0f}) {
        SCOPED_TRACE(size);
        Size(size);
        Points({{10, 10, 0x42}, {300, 20, 0x43}});
        Draw(_NvpRenderWidePointKZG, batch_);
        const ULONG side = _NPointSide(size);
        EXPECT_EQ(Received()[0], (std::vector<Prim>{Point(15, 0, 0, side), Point(15, 1, 1, side)}));
    }
    // Sizes past the range the server answers (0 to 256) draw as its largest.
    for (float size : {300.0f, 1e30f, std::numeric_limits<float>::infinity()}) {
        SCOPED_TRACE(size);
        Size(size);
        Points({{10, 10, 0x42}, {300, 20, 0x43}});
        Draw(_NvpRenderWidePointKZG, batch_);
        const ULONG side = _NPointSide(256.0f);
        EXPECT_EQ(Received()[0], (std::vector<Prim>{Point(15, 0, 0, side), Point(15, 1, 1, side)}));
    }
    EXPECT_EQ(_NPointSide(2.0f), 2u);
    EXPECT_EQ(Point(15, 0, 0, 2), (Prim{ColourOf(0), 0x42, Pack(160, 144), Pack(192, 144), Pack(192, 176), Pack(160, 176)}));
    // Sizes at the ends: below 0.5 and NaN draw one pixel, huge ones are held.
    EXPECT_EQ(_NPointSide(0.2f), 1u);
    EXPECT_EQ(_NPointSide(std::nanf("")), 1u);
    EXPECT_EQ(_NPointSide(1e30f), 4095u);
    // Layouts 18 and 19 of the wide path: five words a square.
    SetPointProgram(kSquareClass, 19);
    Size(2.0f);
    Points({{10, 10, 0x42}});
    Draw(_NvpRenderWidePointKZG, batch_);
    const auto packets = Packets()[0];
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].constants, (std::vector<ULONG>{ColourOf(0), AlphaWordOf(0)}));
    EXPECT_EQ(PrimsIn(packets).at(0).size(), 5u);
    // Layout 16: the square's colour, alpha and depth words in that order,
    // as single points send them, then its corners.
    Prepare(kSolo, 16);
    SetPointProgram(kSquareClass, 16);
    Size(2.0f);
    Points({{10, 10, 0x42}});
    Draw(_NvpRenderWidePointKZG, batch_);
    EXPECT_EQ(Received()[0], (std::vector<Prim>{{ColourOf(0), AlphaWordOf(0), 0x42, Pack(160, 144), Pack(192, 144),
                                                 Pack(192, 176), Pack(160, 176)}}));
}

// A point whose vertex the render function may not draw is left out, as
// a single pixel and as a square; the batch's other points are drawn.
TEST_F(PointTest, UndrawableVerticesAreLeftOut) {
    for (const Undrawable& bad : kUndrawable) {
        SCOPED_TRACE(bad.name);
        Prepare(kSolo, 12);
        SetPointProgram(kPointClass, 12);
        Points({{3, 5, 0x100}, bad.v, {9, 90, 0x300}});
        Draw(_NvpRenderPointAttr12_15KZG, batch_);
        EXPECT_EQ(Received()[0], (std::vector<Prim>{Point(12, 0, 0), Point(12, 2, 2)}));
        SetPointProgram(kSquareClass, 15);
        Size(3.0f);
        Draw(_NvpRenderWidePointKZG, batch_);
        EXPECT_EQ(Received()[0], (std::vector<Prim>{Point(15, 0, 0, 3), Point(15, 2, 2, 3)}));
        Size(1.0f);
    }
}

TEST_F(PointTest, NoPacketHoldsMoreThan400Points) {
    Prepare(kSolo, 2);
    SetPointProgram(kPointClass, 2);
    std::vector<std::array<LONG, 3>> v;
    for (LONG i = 0; i < 1000; ++i) v.push_back({i % 500, i / 500, 0});
    Points(v);
    Draw(_NvpRenderPointAttr2_5KZG, batch_);
    const auto packets = Packets()[0];
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].primitives, 400u);
    EXPECT_EQ(packets[1].primitives, 400u);
    EXPECT_EQ(packets[2].primitives, 200u);
    EXPECT_EQ(PrimsIn(packets).at(999), Point(2, 999, 999));
    // A batch that would take the open packet past 400 starts a new one.
    Points({{1, 1, 0}, {2, 2, 0}});
    ctx_->pHw->batchCount = 399;
    Draw(_NvpRenderPointAttr2_5KZG, batch_);
    EXPECT_EQ(Packets()[0].size(), 1u);
    EXPECT_EQ(ctx_->pHw->batchCount, 2u);
}

TEST_F(PointTest, APacketCarryingAnotherColourIsNotContinued) {
    Prepare(kSolo, 8);
    SetPointProgram(kPointClass, 8);
    Points({{1, 1, 0}});
    Draw(_NvpRenderPointAttr8KZG, batch_);
    Draw(_NvpRenderPointAttr8KZG, batch_);  // the same colour: the packet goes on
    gColourBase = 0xD0000;
    Draw(_NvpRenderPointAttr8KZG, batch_);  // another colour: a packet of its own
    const auto packets = Packets()[0];
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].primitives, 2u);
    EXPECT_EQ(packets[0].constants, std::vector<ULONG>{0xC0000});
    EXPECT_EQ(packets[1].constants, std::vector<ULONG>{0xD0000});
}

// --- polygons in point mode ------------------------------------------------------------------------

class PolygonPointTest : public PointTest {
  protected:
    void Polygon(ULONG kind, std::vector<std::array<LONG, 3>> v, std::vector<std::pair<ULONG, ULONG>> runs) {
        batch_ = Batch{};
        batch_.kind = kind;
        batch_.v = std::move(v);
        batch_.runs = std::move(runs);
    }
    // Draws through the pipe with its mode word, flat flag and edge words.
    void DrawPolygon(N_StageFn fn, ULONG mode = 0, bool bFlat = false, std::vector<ULONG> edges = {},
                     bool bBack = false) {
        N_PipeBlock& blk = ctx_->blocks[batch_.kind & 15];
        for (N_Pipe* p : {&blk.front, &blk.back}) {
            p->mode = mode;
            p->colourCopy = bFlat ? 1 : 0;
        }
        edges_ = std::move(edges);
        blk.common.pEdgeWords = edges_.empty() ? nullptr : edges_.data();
        Draw(fn, batch_, bBack);
        blk.common.pEdgeWords = nullptr;
    }
    std::vector<ULONG> edges_;
};

TEST_F(PolygonPointTest, EveryVertexOfTheDrawnFacesOnce) {
    struct Case {
        ULONG kind;
        N_StageFn fn;
        ULONG n;
        std::vector<std::pair<ULONG, ULONG>> runs;
    };
    const Case cases[] = {{N_PRIM_POLYGON, _NvpRenderXPGonPointKZG, 5, {{1, 3}}},
                          {N_PRIM_TRIANGLES, _NvpRenderXPGonPointKZG, 6, {{1, 2}}},
                          {N_PRIM_QUADS, _NvpRenderXPGonPointKZG, 8, {{2, 2}}},
                          {N_PRIM_FAN, _NvpRenderXStripPointKZG, 5, {{1, 3}}},
                          {N_PRIM_TRI_STRIP, _NvpRenderXStripPointKZG, 5, {{1, 3}}},
                          {N_PRIM_QUAD_STRIP, _NvpRenderXStripPointKZG, 6, {{1, 2}}}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.kind);
        Prepare(kSolo, 13);
        SetPointProgram(kPointClass, 13);
        std::vector<std::array<LONG, 3>> v;
        for (LONG i = 0; i < LONG(k.n); ++i) v.push_back({10 + 7 * i, 20 + 3 * (i % 2), 0x100 + i});
        Polygon(k.kind, v, k.runs);
        ctx_->pHw->batchCount = 17;
        DrawPolygon(k.fn);
        EXPECT_EQ(gcNext, 1u);
        EXPECT_EQ(ctx_->pHw->batchCount, N_BATCH_PRIMS) << "hard close";
        const auto packets = Packets()[0];
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(packets[0].command, Program().header);
        EXPECT_EQ(packets[0].instructions, std::vector<ULONG>{0x10360348});
        std::vector<Prim> want;
        for (ULONG i = 0; i < k.n; ++i) want.push_back(Point(13, i, i));
        EXPECT_EQ(PrimsIn(packets), want);
    }
    // Every layout of single points, the one the point table has no
    // function for (11, a depth word alone) too, with its per-packet words.
    for (const Order& o : kOrders) {
        SCOPED_TRACE(o.d);
        Prepare(kSolo, o.d);
        SetPointProgram(kPointClass, o.d);
        Polygon(N_PRIM_TRIANGLES, {{10, 20, 0x100}, {17, 23, 0x101}, {24, 20, 0x102}}, {{1, 1}});
        DrawPolygon(_NvpRenderXPGonPointKZG);
        const auto packets = Packets()[0];
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(packets[0].constants, Head(o.d, 0));
        EXPECT_EQ(PrimsIn(packets), (std::vector<Prim>{Point(o.d, 0, 0), Point(o.d, 1, 1), Point(o.d, 2, 2)}));
    }
}

TEST_F(PolygonPointTest, SizesAndTheBackProgram) {
    // 1.4 draws pixels, 1.6 squares of side 2, below 0.5 single pixels
    // (GL draws a point of size 1 where the size rounds to 0).
    for (float size : {1.4f, 1.6f, 0.3f, 3.0f}) {
        SCOPED_TRACE(size);
        const ULONG side = _NPointSide(size);
        Prepare(kSolo, 6);
        Size(size);
        // The back pipe draws with the back program.
        SetPointProgram(side > 1 ? kSquareClass : kPointClass, 6, 1);
        SetPointProgram(kPointClass, 2, 0);
        Polygon(N_PRIM_TRIANGLES, {{10, 10, 0}, {30, 10, 0}, {10, 30, 0}}, {{2, 1}});
        DrawPolygon(_NvpRenderXPGonPointKZG, 0, false, {}, true);
        const auto packets = Packets()[0];
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(packets[0].command, Program(1).header);
        EXPECT_EQ(PrimsIn(packets), (std::vector<Prim>{Point(6, 0, 0, side), Point(6, 1, 1, side), Point(6, 2, 2, side)}));
    }
    // A square program at size 1 (the selector asks for one where size +
    // 0.5 rounds above 1): squares of one pixel, as the program reads them.
    Prepare(kSolo, 6);
    Size(1.0f);
    SetPointProgram(kSquareClass, 6, 0);
    Polygon(N_PRIM_TRIANGLES, {{10, 10, 0}, {30, 10, 0}, {10, 30, 0}}, {{1, 1}});
    DrawPolygon(_NvpRenderXPGonPointKZG);
    EXPECT_EQ(Received()[0].at(0), Point(6, 0, 0, 1, 0, true));
    EXPECT_EQ(Point(6, 0, 0, 1, 0, true).at(2), Pack(160, 160)) << "x0 = x, y0 = y";
}

TEST_F(PolygonPointTest, CulledFacesEdgeFlagsAndFewVertices) {
    Prepare(kSolo, 2);
    SetPointProgram(kPointClass, 2);
    // Triangles: the middle one culled; its vertices are not drawn.
    std::vector<std::array<LONG, 3>> v;
    for (LONG i = 0; i < 9; ++i) v.push_back({10 + 9 * i, 10, 0});
    Polygon(N_PRIM_TRIANGLES, v, {{1, 1}, {4, 1}, {2, 1}});
    DrawPolygon(_NvpRenderXPGonPointKZG);
    EXPECT_EQ(Received()[0], (std::vector<Prim>{Point(2, 0, 0), Point(2, 1, 1), Point(2, 2, 2), Point(2, 6, 6),
                                                 Point(2, 7, 7), Point(2, 8, 8)}));
    // Edge flags in force: only the vertices that start a boundary edge.
    Polygon(N_PRIM_POLYGON, {{10, 10, 0}, {40, 10, 0}, {40, 40, 0}, {10, 40, 0}}, {{1, 2}});
    DrawPolygon(_NvpRenderXPGonPointKZG, 0x200000, false, {1, 2, 0x101, 0});
    EXPECT_EQ(Received()[0], (std::vector<Prim>{Point(2, 0, 0), Point(2, 2, 2)}));
    // No flagged vertex: no packet at all; the next stage still runs.
    gcNext = 0;
    DrawPolygon(_NvpRenderXPGonPointKZG, 0x200000, false, {0, 2, 0, 0});
    EXPECT_EQ(gcNext, 1u);
    EXPECT_TRUE(Packets()[0].empty());
    // Strips and fans draw every vertex whatever the flags.
    Polygon(N_PRIM_FAN, {{10, 10, 0}, {40, 10, 0}, {40, 40, 0}}, {{1, 1}});
    DrawPolygon(_NvpRenderXStripPointKZG, 0x200000, false, {0, 0, 0});
    EXPECT_EQ(Received()[0].size(), 3u);
    // Two vertices: nothing.
    batch_.v.resize(2);
    gcNext = 0;
    DrawPolygon(_NvpRenderXStripPointKZG);
    DrawPolygon(_NvpRenderXPGonPointKZG);
    EXPECT_EQ(gcNext, 2u);
    EXPECT_TRUE(Packets()[0].empty());
    // A layout without a point form is reported by the polygon function only.
    SetPointProgram(kPointClass, 2);
    pkzProgOf(ctx_->pHw->programs[0])->dataAttr = 4;
    Polygon(N_PRIM_TRIANGLES, {{10, 10, 0}, {30, 10, 0}, {10, 30, 0}}, {{1, 1}});
    vnx::debug::clear();
    DrawPolygon(_NvpRenderXStripPointKZG);
    EXPECT_EQ(vnx::debug::peek(), "");
    DrawPolygon(_NvpRenderXPGonPointKZG);
    EXPECT_TRUE(Printed("_NvpRenderXPGonPointKZG: unsupported type\n"));
    EXPECT_TRUE(Packets()[0].empty());
}

TEST_F(PolygonPointTest, FlatColoursComeFromGLsProvokingVertex) {
    struct Case {
        ULONG kind;
        N_StageFn fn;
        ULONG n;
        std::vector<ULONG> records;  // the record each vertex takes
    };
    // Triangles: the third of each; quads: the fourth; a polygon: its
    // first; strips, fans and quad strips: the provoking vertex of the last
    // face that holds the vertex.
    const Case cases[] = {{N_PRIM_TRIANGLES, _NvpRenderXPGonPointKZG, 6, {2, 2, 2, 5, 5, 5}},
                          {N_PRIM_QUADS, _NvpRenderXPGonPointKZG, 4, {3, 3, 3, 3}},
                          {N_PRIM_POLYGON, _NvpRenderXPGonPointKZG, 4, {0, 0, 0, 0}},
                          {N_PRIM_TRI_STRIP, _NvpRenderXStripPointKZG, 5, {2, 3, 4, 4, 4}},
                          {N_PRIM_FAN, _NvpRenderXStripPointKZG, 5, {4, 2, 3, 4, 4}},
                          {N_PRIM_QUAD_STRIP, _NvpRenderXStripPointKZG, 6, {3, 3, 5, 5, 5, 5}}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.kind);
        Prepare(kSolo, 5);
        SetPointProgram(kPointClass, 5);
        std::vector<std::array<LONG, 3>> v;
        for (LONG i = 0; i < LONG(k.n); ++i) v.push_back({10 + 7 * i, 20, 0});
        const ULONG faces = k.kind == N_PRIM_TRIANGLES ? k.n / 3 : k.kind == N_PRIM_QUADS ? k.n / 4
                            : k.kind == N_PRIM_QUAD_STRIP ? (k.n - 2) / 2 : k.n - 2;
        Polygon(k.kind, v, {{1, faces}});
        DrawPolygon(k.fn, 0, true);
        std::vector<Prim> want;
        for (ULONG i = 0; i < k.n; ++i) want.push_back(Point(5, i, k.records[i]));
        EXPECT_EQ(Received()[0], want);
    }
}

TEST_F(PolygonPointTest, NoPacketHoldsMoreThan400Points) {
    Prepare(kSolo, 2);
    SetPointProgram(kPointClass, 2);
    std::vector<std::array<LONG, 3>> v;
    for (LONG i = 0; i < 1002; ++i) v.push_back({i % 500, 10 + i / 500, 0});
    Polygon(N_PRIM_TRI_STRIP, v, {{1, 1000}});
    DrawPolygon(_NvpRenderXStripPointKZG);
    const auto packets = Packets()[0];
    ASSERT_EQ(packets.size(), 3u);
    EXPECT_EQ(packets[0].primitives, 400u);
    EXPECT_EQ(packets[2].primitives, 202u);
}

TEST(PointSlots, TheSelectorsTablesHoldThePointFunctions) {
    EXPECT_EQ(_NRenderFcn(N_RF_POINT_2), _NvpRenderPointAttr2_5KZG);
    EXPECT_EQ(_NRenderFcn(N_RF_POINT_3), _NvpRenderPointAttr3_6KZG);
    EXPECT_EQ(_NRenderFcn(N_RF_POINT_8), _NvpRenderPointAttr8KZG);
    EXPECT_EQ(_NRenderFcn(N_RF_POINT_9), _NvpRenderPointAttr9KZG);
    EXPECT_EQ(_NRenderFcn(N_RF_POINT_12), _NvpRenderPointAttr12_15KZG);
    EXPECT_EQ(_NRenderFcn(N_RF_POINT_13), _NvpRenderPointAttr13_16KZG);
    EXPECT_EQ(_NRenderFcn(N_RF_POINT_18), _NvpRenderPointAttr18KZG);
    EXPECT_EQ(_NRenderFcn(N_RF_POINT_19), _NvpRenderPointAttr19KZG);
    EXPECT_EQ(_NRenderFcn(N_RF_WIDE_POINT), _NvpRenderWidePointKZG);
    EXPECT_EQ(_NRenderFcn(N_RF_NOOP), _NvpRenderPointEmptyKZG);
    EXPECT_EQ(_NRenderFcn(N_RF_VERTEX_POINTS), _NvpRenderXPGonPointKZG);
    EXPECT_EQ(_NRenderFcn(N_RF_STRIP_VERTEX_POINTS), _NvpRenderXStripPointKZG);
}

// --- routing ----------------------------------------------------------------------------------
class PointRouting : public PointTest, public ::testing::WithParamInterface<BoardModel> {};

TEST_P(PointRouting, EachPointReachesTheOwnerOfItsTile) {
    for (bool bWide : {false, true}) {
        SCOPED_TRACE(bWide);
        Prepare(GetParam(), 5);
        SetPointProgram(bWide ? kSquareClass : kPointClass, 5);
        Size(bWide ? 4.0f : 1.0f);
        const bool bSplit = qm_->pLayout->bSplitScreen != 0;
        const LONG cx = plGLScreenSize(Pdev())[0];
        Points({{10, 10, 0}, {20, 10, 0}, {200, 10, 0}, {10, 300, 0}, {cx - 2, 130, 0}, {127, 127, 0}, {300, 300, 0}});
        Draw(bWide ? _NvpRenderWidePointKZG : _NvpRenderPointAttr2_5KZG, batch_);
        const auto got = Received();
        auto tileOwner = [&](LONG x, LONG y) { return board_->tile_owner(bSplit && x >= cx ? 1 : 0, x, y); };
        const ULONG side = bWide ? 4 : 1;
        for (ULONG i = 0; i < batch_.v.size(); ++i) {
            SCOPED_TRACE(i);
            const Prim want = Point(5, i, i, side);
            const auto& v = batch_.v[i];
            std::set<int> owners{tileOwner(v[0], v[1])};
            if (bWide) {
                // Every pixel of the square: its corners' tiles.
                const LONG x0 = v[0] - 1, y0 = v[1] - 2, x1 = x0 + 3, y1 = y0 + 3;
                for (LONG x : {x0, x1})
                    for (LONG y : {y0, y1})
                        if (x >= 0 && y >= 0 && x < cx) owners.insert(tileOwner(x, y));
            }
            ULONG copies = 0;
            for (ULONG r = 0; r < Queues(); ++r) {
                const bool bHas = std::find(got[r].begin(), got[r].end(), want) != got[r].end();
                if (bHas) ++copies;
                if (owners.count(static_cast<int>(r)) != 0) {
                    EXPECT_TRUE(bHas) << "owner " << r;
                }
            }
            // Past the packet's first point a single pixel goes to its owner alone.
            if (!bSplit && !bWide && i > 0) {
                EXPECT_EQ(copies, 1u);
            }
        }
    }
}

TEST_P(PointRouting, PolygonPointsAndSquaresOnEveryBoard) {
    Prepare(GetParam(), 2);
    const LONG cx = plGLScreenSize(Pdev())[0];
    std::set<Prim> seen;
    for (float size : {1.0f, 3.0f}) {
        SetPointProgram(size > 1.5f ? kSquareClass : kPointClass, 2);
        Size(size);
        batch_ = Batch{};
        batch_.kind = N_PRIM_QUAD_STRIP;
        for (LONG i = 0; i < 8; ++i) batch_.v.push_back({(cx - 1) * i / 7, 200 + 140 * (i % 2), i});
        batch_.runs = {{1, 3}};
        Draw(_NvpRenderXStripPointKZG, batch_);
        for (const auto& q : Received())
            for (const auto& t : q) seen.insert(t);
        for (ULONG i = 0; i < 8; ++i) EXPECT_EQ(seen.count(Point(2, i, i, _NPointSide(size))), 1u) << i;
    }
    EXPECT_EQ(seen.size(), 16u) << "every vertex somewhere, in its own words";
}

INSTANTIATE_TEST_SUITE_P(Boards, PointRouting, ::testing::ValuesIn(kModels), BoardModelName);

}  // namespace
