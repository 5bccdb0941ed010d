// Filled triangles, quads, polygons and fans, and the layout-12 list fill:
// triangle records of every layout code behind the program's packet head,
// windings and provoking vertices, culled runs, the 400-primitive batch,
// per-packet colours, the 28.4 positions, and routing on every board.
#include <gtest/gtest.h>

#include "context/buffers.h"
#include "gl/server/lgi/kz2/fill_fixture.h"
#include "kz2/ucode/kz2ucode.h"
#include "3d/queue/renderfcn.h"

namespace {

using namespace fill_test;

// Two triangles: the first winds the board's way (area > 0), the second
// the other way, so it goes out as (P0, P2, P1).
Batch TwoTriangles() {
    Batch b;
    b.kind = N_PRIM_TRIANGLES;
    b.v = {{0, 0, 0x10}, {10, 0, 0x20}, {0, 10, 0x30}, {20, 0, 0x40}, {20, 10, 0x50}, {30, 0, 0x60}};
    b.runs = {{1, 2}};
    return b;
}

TEST(TriangleLayouts, WordsOfEveryCode) {
    // Words a triangle and once a packet, by layout code.
    const struct {
        ULONG d, words, packet;
    } rows[] = {{1, 3, 0},  {2, 6, 0},  {3, 9, 0},  {5, 4, 0},  {6, 5, 0},  {8, 3, 1},  {9, 3, 2},
                {11, 6, 0}, {12, 9, 0}, {13, 12, 0}, {15, 7, 0}, {16, 8, 0}, {18, 6, 1}, {19, 6, 2}};
    for (const auto& r : rows) {
        N_TriLayout l;
        ASSERT_TRUE(_NTriLayoutOf(r.d, &l)) << r.d;
        EXPECT_EQ(l.words, r.words) << r.d;
        EXPECT_EQ(l.packetWords, r.packet) << r.d;
    }
    N_TriLayout l;
    EXPECT_FALSE(_NTriLayoutOf(0, &l));
    EXPECT_FALSE(_NTriLayoutOf(21, &l));
}

class TriangleFill : public FillTest {};

TEST_F(TriangleFill, EveryLayoutBehindTheProgramHead) {
    const ULONG codes[] = {1, 2, 3, 5, 6, 8, 9, 11, 12, 13, 15, 16, 18, 19};
    for (ULONG d : codes) {
        SCOPED_TRACE(d);
        Prepare(kSolo, d);
        const Batch b = TwoTriangles();
        Draw(_NvpRenderXTListFillKZG, b);
        EXPECT_EQ(gcNext, 1u);
        const auto packets = Packets()[0];
        ASSERT_EQ(packets.size(), 1u);
        const auto& p = packets[0];
        EXPECT_EQ(p.command, Program().image.w[0]);
        EXPECT_EQ(p.pid(0), 0x1234u);
        EXPECT_EQ(p.instructions, std::vector<ULONG>{0x10360348});
        EXPECT_TRUE(p.hasClip);
        EXPECT_EQ(p.constants, Head(d, 0)) << "the first vertex's colour and alpha, those the layout takes once";
        // The third vertex gives a one-colour face its colour.
        const std::vector<Prim> want = {Expect(d, b, {0, 1, 2}, {0, 1, 2}, 2), Expect(d, b, {3, 5, 4}, {3, 5, 4}, 5)};
        EXPECT_EQ(PrimsIn(packets), want);
    }
}

// The generator's own programs of the alpha layouts, when no stage reads
// the alpha (no blending, no alpha test), are read by the board as the
// fill writes them: the header loads the alpha word too.
TEST_F(TriangleFill, GeneratorProgramsOfAlphaLayoutsAreReadAsWritten) {
    GLDeviceRecord colourRec{}, scratchRec{};
    colourRec.pid = 0x1234;
    scratchRec.pid = 0x0041;
    GLBuffer colour{}, scratch{};
    colour.pDeviceRecord = &colourRec;
    colour.memoryKind = GLBUFFER_MEMORY_DEVICE;
    colour.bitsPerPixel = 32;
    scratch.pDeviceRecord = &scratchRec;
    scratch.memoryKind = GLBUFFER_MEMORY_DEVICE;
    scratch.bitsPerPixel = 32;
    for (ULONG d : {3u, 6u, 9u}) {
        SCOPED_TRACE(d);
        Prepare(kSolo, d);
        GLBuffer* const kept = ctx_->buffers[0].pBuffer;
        ctx_->buffers[0].pBuffer = &colour;
        ctx_->apScratchPixmap[0] = &scratch;
        *pulAttr(ctx_, N_ATTR_DRAW_BUFFER) = 1;
        *pulAttr(ctx_, N_ATTR_DITHER) = 0;
        ctx_->enableWord = 0;
        ASSERT_EQ(kz2_ConstructKzUcode(ctx_->pHw, pkzProgOf(ctx_->pHw->programs[0]), 0xC005, 0, d, 0), 1u);
        ASSERT_EQ(Program().dataAttr, d);
        const Batch b = TwoTriangles();
        Draw(_NvpRenderXTListFillKZG, b);
        const auto packets = Packets()[0];
        ASSERT_EQ(packets.size(), 1u);
        const std::vector<Prim> want = {Expect(d, b, {0, 1, 2}, {0, 1, 2}, 2), Expect(d, b, {3, 5, 4}, {3, 5, 4}, 5)};
        EXPECT_EQ(PrimsIn(packets), want);
        ctx_->buffers[0].pBuffer = kept;
        ctx_->apScratchPixmap[0] = nullptr;
    }
}

TEST_F(TriangleFill, WordOrderOfLayouts13And16) {
    const Batch b = TwoTriangles();
    auto pos = [&](ULONG i) { return (ULONG(b.v[i][1]) << 20) | ((ULONG(b.v[i][0]) << 4) & 0xFFFF); };
    Prepare(kSolo, 13);
    Draw(_NvpRenderXTListFillKZG, b);
    EXPECT_EQ(Received()[0].at(0), (Prim{ColourOf(0), ColourOf(1), ColourOf(2), 0x10, 0x20, 0x30, AlphaWordOf(0),
                                         AlphaWordOf(1), AlphaWordOf(2), pos(0), pos(1), pos(2)}));
    SetProgram(16);
    Draw(_NvpRenderXTListFillKZG, b);
    EXPECT_EQ(Received()[0].at(1), (Prim{ColourOf(5), AlphaWordOf(5), 0x40, 0x60, 0x50, pos(3), pos(5), pos(4)}));
}

TEST_F(TriangleFill, DepthWordsOfA16BitBuffer) {
    Prepare(kSolo, 11);
    pGLPageConfig(Pdev())->cDepthBits = 16;
    Batch b;
    b.v = {{0, 0, 0x1000}, {10, 0, 0xF00000}, {0, 10, 0xEFFFFF}};
    b.runs = {{1, 1}};
    Draw(_NvpRenderXTListFillKZG, b);
    const Prim t = Received()[0].at(0);
    EXPECT_EQ(t[0], 0x1000u >> 9);
    EXPECT_EQ(t[1], 0x8000u);
    EXPECT_EQ(t[2], 0xEFFFFFu >> 9);
}

TEST_F(TriangleFill, CulledRunsAreSkipped) {
    Prepare(kSolo, 2);
    Batch b = TwoTriangles();
    b.v.insert(b.v.end(), {{40, 0, 1}, {50, 0, 2}, {40, 10, 3}});
    b.runs = {{1, 1}, {4, 1}, {2, 1}};
    Draw(_NvpRenderXTListFillKZG, b);
    EXPECT_EQ(Received()[0], (std::vector<Prim>{Expect(2, b, {0, 1, 2}, {0, 1, 2}, 2), Expect(2, b, {6, 7, 8}, {6, 7, 8}, 8)}));
    // Nothing drawn: no packet at all, the next stage still runs.
    b.runs = {{4, 3}};
    gcNext = 0;
    Draw(_NvpRenderXTListFillKZG, b);
    EXPECT_EQ(gcNext, 1u);
    EXPECT_TRUE(Packets()[0].empty());
    EXPECT_EQ(gNPendingUpdate, 0u) << "no reservation left open";
    // Two vertices: no triangle.
    b.v.resize(2);
    b.runs = {};
    gcNext = 0;
    Draw(_NvpRenderXTListFillKZG, b);
    EXPECT_EQ(gcNext, 1u);
    EXPECT_TRUE(Packets()[0].empty());
}

TEST_F(TriangleFill, RunListsLongerThanTheBatchAreRefused) {
    Prepare(kSolo, 2);
    Batch b = TwoTriangles();
    b.runs = {{1, 3}};  // three triangles named, two there
    Draw(_NvpRenderXTListFillKZG, b);
    EXPECT_EQ(gcNext, 1u);
    EXPECT_TRUE(Printed("face runs do not fit the batch"));
    EXPECT_TRUE(Packets()[0].empty());
}

TEST_F(TriangleFill, PacketsCarryOnUpToTheBatchLimit) {
    Prepare(kSolo, 2);
    Batch one = TwoTriangles();
    one.v.resize(3);
    one.runs = {{1, 1}};
    Batch twelve;
    for (ULONG i = 0; i < 12; ++i) twelve.v.insert(twelve.v.end(), {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}});
    twelve.runs = {{1, 12}};
    Draw(_NvpRenderXTListFillKZG, one);
    EXPECT_EQ(ctx_->pHw->batchCount, 1u) << "the open packet's count";
    ctx_->pHw->batchCount = 388;  // 388 + 12 = 400: the packet goes on
    Draw(_NvpRenderXTListFillKZG, twelve);
    ctx_->pHw->batchCount = 390;  // 390 + 12 > 400: new packets with the head
    Draw(_NvpRenderXTListFillKZG, twelve);
    const auto packets = Packets()[0];
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].primitives, 13u);
    EXPECT_EQ(packets[1].primitives, 12u);
    EXPECT_EQ(packets[1].command, Program().image.w[0]);
    EXPECT_EQ(packets[1].instructions, std::vector<ULONG>{0x10360348});
}

TEST_F(TriangleFill, APacketColourChangeOpensNewPackets) {
    Prepare(kSolo, 9);
    const Batch b = TwoTriangles();
    Draw(_NvpRenderXTListFillKZG, b);
    Draw(_NvpRenderXTListFillKZG, b);  // the same colour: the packet goes on
    gColourBase = 0xD0000;
    Draw(_NvpRenderXTListFillKZG, b);
    const auto packets = Packets()[0];
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].primitives, 4u);
    EXPECT_EQ(packets[0].constants, (std::vector<ULONG>{0xC0000, AlphaWordOf(0)}));
    EXPECT_EQ(packets[1].primitives, 2u);
    EXPECT_EQ(packets[1].constants, (std::vector<ULONG>{0xD0000, AlphaWordOf(0)}));
}

TEST_F(TriangleFill, AListOfStripsIsDrawnStripByStrip) {
    Prepare(kSolo, 2);
    Batch b;
    b.strips = {3, 6, 3};
    for (LONG i = 0; i < 12; ++i) b.v.push_back(i % 3 == 0 ? std::array<LONG, 3>{4 * i, 0, i} : i % 3 == 1 ? std::array<LONG, 3>{4 * i + 10, 0, i} : std::array<LONG, 3>{4 * i, 10, i});
    b.runs = {{1, 2}, {4, 1}, {1, 1}};  // runs across the strips
    Draw(_NvpRenderXTListFillKZG, b);
    EXPECT_EQ(gcNext, 3u) << "once a strip";
    EXPECT_EQ(Received()[0], (std::vector<Prim>{Expect(2, b, {0, 1, 2}, {0, 1, 2}, 2),
                                                Expect(2, b, {3, 4, 5}, {3, 4, 5}, 5),
                                                Expect(2, b, {9, 10, 11}, {9, 10, 11}, 11)}));
    const CommonPipeData& c = ctx_->blocks[N_PRIM_TRIANGLES & 15].common;
    EXPECT_EQ(c.stripCount, 3u) << "the batch put back";
    EXPECT_EQ(c.stripVertexCount, 12u);
    EXPECT_EQ(c.pWindow, window_.data());
}

TEST_F(TriangleFill, TheBackPipeDrawsWithTheBackProgram) {
    Prepare(kSolo, 12);
    SetProgram(2, 1, 0x777);
    const Batch b = TwoTriangles();
    Draw(_NvpRenderXTListFillKZG, b, true);
    const auto packets = Packets()[0];
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].pid(0), 0x777u);
    EXPECT_EQ(PrimsIn(packets).at(0), Expect(2, b, {0, 1, 2}, {0, 1, 2}, 2));
}

// Every fill drawn through the back pipe heads its packets with the back
// program, whatever the main slot holds: with the front faces drawn as
// points the main program's layout is a point's, whose words no fill
// writes.
TEST_F(TriangleFill, EveryFillOfTheBackPipeDrawsWithTheBackProgram) {
    Batch quads;
    quads.kind = N_PRIM_QUADS;
    quads.v = {{0, 0, 1}, {6, 0, 2}, {6, 6, 3}, {0, 6, 4}};
    quads.runs = {{1, 1}};
    Batch strip;
    strip.kind = N_PRIM_TRI_STRIP;
    strip.v = {{10, 20, 1}, {13, 25, 2}, {16, 20, 3}, {19, 25, 4}};
    strip.runs = {{1, 2}};
    const struct {
        const char* name;
        N_StageFn fn;
        const Batch& b;
        ULONG d;
    } cases[] = {
        {"quads", _NvpRenderXQListFillKZG, quads, 2},
        {"quads of layout 12", _NvpRenderXListFillAttr12KZG, quads, 12},
        {"strip", _NvpRenderXTStripListFillKZ, strip, 2},
        {"strip of layout 12", _NvpRenderXTStripListFillAttr12KZ, strip, 12},
    };
    for (const auto& k : cases) {
        Prepare(kSolo, 6);  // the main slot: a layout of colour and alpha words
        SetProgram(k.d, 1, 0x777);
        Draw(k.fn, k.b, true);
        const auto packets = Packets()[0];
        ASSERT_FALSE(packets.empty()) << k.name;
        for (const auto& p : packets) {
            EXPECT_EQ(p.command, Program(1).image.w[0]) << k.name;
            EXPECT_EQ(p.pid(0), 0x777u) << k.name;
        }
        EXPECT_EQ(PrimsIn(packets).size(), 2u) << k.name;
    }
}

TEST_F(TriangleFill, UnknownLayoutsDrawNothing) {
    for (ULONG d : {4u, 7u, 14u}) {
        Prepare(kSolo, d);
        vnx::debug::clear();
        Draw(_NvpRenderXTListFillKZG, TwoTriangles());
        EXPECT_EQ(gcNext, 1u);
        EXPECT_TRUE(Printed("_NvpRenderXTListFillKZG: Unknown rendering mode 0x" + std::string(d == 4 ? "4" : d == 7 ? "7" : "e")));
        EXPECT_TRUE(Printed("aborting processing due to PROGRAMMER ERROR"));
        EXPECT_TRUE(Packets()[0].empty());
    }
}

TEST_F(TriangleFill, PositionsInSixteenthsAndTheLowerImage) {
    struct Case {
        ULONG precise;
        ULONG secondHalf;
        LONG x, y;
        ULONG yAdd;  // pixels added to y
    };
    for (const Case& k : {Case{0, 0, 3, 5, 0}, Case{1, 0, 48, 80, 0}, Case{0, 1, 3, 5, 1}, Case{1, 1, 48, 80, 1}}) {
        SCOPED_TRACE(testing::Message() << k.precise << k.secondHalf);
        Prepare(kSolo, 1, k.precise);
        ctx_->secondHalf = k.secondHalf;
        Batch b;
        b.v = {{k.x, k.y, 0}, {k.x + (k.precise ? 160 : 10), k.y, 0}, {k.x, k.y + (k.precise ? 160 : 10), 0}};
        b.runs = {{1, 1}};
        Draw(_NvpRenderXTListFillKZG, b);
        ctx_->secondHalf = 0;
        const ULONG cy = k.yAdd ? static_cast<ULONG>(lGLSurfaceHeight(Pdev())) : 0;
        // The vertex (3, 5) in pixels whatever the units, the lower image's
        // offset in pixels.
        EXPECT_EQ(Received()[0].at(0).at(0), ((5u + cy) << 20) | (3u << 4));
    }
}

// --- quads ----------------------------------------------------------------------------------
class QuadFill : public FillTest {};

Batch Quads(ULONG n) {
    Batch b;
    b.kind = N_PRIM_QUADS;
    for (LONG q = 0; q < LONG(n); ++q) b.v.insert(b.v.end(), {{8 * q, 0, 4 * q}, {8 * q + 6, 0, 4 * q + 1}, {8 * q + 6, 6, 4 * q + 2}, {8 * q, 6, 4 * q + 3}});
    return b;
}

TEST_F(QuadFill, APacketADrawnRunWindingByTheRun) {
    Prepare(kSolo, 5);
    ctx_->stripParity = 1;
    Batch b = Quads(6);
    b.runs = {{1, 2}, {4, 1}, {2, 3}};
    Draw(_NvpRenderXQListFillKZG, b);
    EXPECT_EQ(gcNext, 1u);
    EXPECT_EQ(ctx_->stripParity, 0u);
    EXPECT_EQ(ctx_->pHw->batchCount, N_BATCH_PRIMS) << "the next call opens its own packets";
    const auto packets = Packets()[0];
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].command, Program().image.w[0]);
    EXPECT_EQ(packets[1].command, Program().image.w[0]);
    EXPECT_EQ(packets[1].instructions, std::vector<ULONG>{0x10360348});
    std::vector<Prim> want0, want1;
    // Each quad's fourth vertex colours both its triangles.
    for (ULONG q : {0u, 1u}) {
        const ULONG v = 4 * q;
        want0.push_back(Expect(5, b, {v, v + 1, v + 2}, {v, v + 1, v + 2}, v + 3));
        want0.push_back(Expect(5, b, {v, v + 2, v + 3}, {v, v + 2, v + 3}, v + 3));
    }
    for (ULONG q : {3u, 4u, 5u}) {
        const ULONG v = 4 * q;
        want1.push_back(Expect(5, b, {v, v + 3, v + 2}, {v, v + 3, v + 2}, v + 3));
        want1.push_back(Expect(5, b, {v, v + 2, v + 1}, {v, v + 2, v + 1}, v + 3));
    }
    const auto got = PrimsIn(packets);
    EXPECT_EQ(std::vector<Prim>(got.begin(), got.begin() + 4), want0);
    EXPECT_EQ(std::vector<Prim>(got.begin() + 4, got.end()), want1);
}

TEST_F(QuadFill, PacketColourOfTheRunsFirstQuad) {
    Prepare(kSolo, 9);
    ctx_->winding = 1;  // kind 2 keeps the winding now
    Batch b = Quads(3);
    b.runs = {{1, 1}, {2, 2}};
    Draw(_NvpRenderXQListFillKZG, b);
    const auto packets = Packets()[0];
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].constants, (std::vector<ULONG>{ColourOf(3), AlphaWordOf(3)}));
    EXPECT_EQ(packets[1].constants, (std::vector<ULONG>{ColourOf(7), AlphaWordOf(7)}));
    EXPECT_EQ(PrimsIn(packets).at(0), Expect(9, b, {0, 3, 2}, {0, 3, 2}, 3));
    EXPECT_EQ(PrimsIn(packets).at(2), Expect(9, b, {4, 5, 6}, {4, 5, 6}, 7));
}

TEST_F(QuadFill, LayoutsWithoutColourAreRefused) {
    for (ULONG d : {1u, 11u}) {
        Prepare(kSolo, d);
        Batch b = Quads(1);
        b.runs = {{1, 1}};
        Draw(_NvpRenderXQListFillKZG, b);
        EXPECT_EQ(gcNext, 1u);
        EXPECT_TRUE(Printed("_NvpRenderXQListFillKZG: Unknown rendering mode 0x"));
        EXPECT_TRUE(Packets()[0].empty());
    }
}

// --- polygons and fans ----------------------------------------------------------------------
class PolygonFill : public FillTest {};

// A convex polygon whose fan triangles wind the board's way.
Batch Pentagon(ULONG kind) {
    Batch b;
    b.kind = kind;
    b.v = {{0, 0, 1}, {40, 0, 2}, {50, 20, 3}, {30, 40, 4}, {0, 30, 5}};
    b.runs = {{1, 3}};
    return b;
}

TEST_F(PolygonFill, PolygonsTakeTheFirstVertexFansTheNewest) {
    for (ULONG kind : {N_PRIM_POLYGON, N_PRIM_FAN}) {
        SCOPED_TRACE(kind);
        Prepare(kSolo, 5);
        const Batch b = Pentagon(kind);
        Draw(_NvpRenderXPgonFillKZG, b);
        EXPECT_EQ(gcNext, 1u);
        std::vector<Prim> want;
        for (ULONG i = 0; i < 3; ++i)
            want.push_back(Expect(5, b, {0, i + 1, i + 2}, {0, i + 1, i + 2}, kind == N_PRIM_POLYGON ? 0 : i + 2));
        EXPECT_EQ(Received()[0], want);
    }
}

TEST_F(PolygonFill, WindingByAreaAndOnePacketACall) {
    Prepare(kSolo, 8);
    Batch b = Pentagon(N_PRIM_POLYGON);
    std::reverse(b.v.begin() + 1, b.v.end());  // the other way round
    Draw(_NvpRenderXPgonFillKZG, b);
    Draw(_NvpRenderXPgonFillKZG, b);
    const auto packets = Packets()[0];
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].constants, std::vector<ULONG>{ColourOf(0)});
    EXPECT_EQ(PrimsIn(packets).at(0), Expect(8, b, {0, 2, 1}, {0, 2, 1}, 0));
    EXPECT_EQ(ctx_->pHw->batchCount, 3u);
}

TEST_F(PolygonFill, CulledFanFacesAreSkipped) {
    Prepare(kSolo, 2);
    Batch b = Pentagon(N_PRIM_FAN);
    b.runs = {{1, 1}, {4, 1}, {2, 1}};
    b.records = 9;  // count + 2 records a run
    Draw(_NvpRenderXPgonFillKZG, b);
    // The third run's records: its anchor, then vertices 3 and 4.
    EXPECT_EQ(Received()[0], (std::vector<Prim>{Expect(2, b, {0, 1, 2}, {0, 1, 2}, 2), Expect(2, b, {0, 3, 4}, {6, 7, 8}, 8)}));
    b.runs = {{4, 3}};
    Draw(_NvpRenderXPgonFillKZG, b);
    EXPECT_TRUE(Packets()[0].empty());
    b.v.resize(2);
    b.runs = {};
    gcNext = 0;
    Draw(_NvpRenderXPgonFillKZG, b);
    EXPECT_EQ(gcNext, 1u);
    EXPECT_TRUE(Packets()[0].empty());
}

// A batch whose first faces are skipped (culled, or of no area by a
// polygon's first vertices): the colour stage fills no record of theirs, so
// the per-packet colour and alpha are the first drawn face's.
TEST_F(PolygonFill, PacketWordsOfABatchOpeningWithSkippedFaces) {
    Batch triangles = TwoTriangles();
    triangles.v.insert(triangles.v.end(), {{40, 0, 1}, {50, 0, 2}, {40, 10, 3}});
    triangles.runs = {{4, 1}, {1, 2}};
    Batch polygon = Pentagon(N_PRIM_POLYGON);
    polygon.v.push_back({-10, 15, 6});
    polygon.runs = {{4, 1}, {4, 1}, {1, 2}};
    polygon.records = 3 + 3 + 4;  // count + 2 records a run
    Batch fan = polygon;
    fan.kind = N_PRIM_FAN;
    const struct {
        const char* name;
        N_StageFn fn;
        const Batch& b;
        ULONG first;  // the first drawn face's record whose colour the packet takes
    } cases[] = {
        {"triangles", _NvpRenderXTListFillKZG, triangles, 3},
        {"polygon", _NvpRenderXPgonFillKZG, polygon, 6},
        {"fan", _NvpRenderXPgonFillKZG, fan, 6},
    };
    for (const auto& k : cases) {
        Prepare(kSolo, 9);
        Draw(k.fn, k.b);
        const auto packets = Packets()[0];
        ASSERT_EQ(packets.size(), 1u) << k.name;
        EXPECT_EQ(packets[0].constants, Head(9, k.first)) << k.name;
        EXPECT_EQ(packets[0].primitives, 2u) << k.name;
    }
}

// --- layout 12 ------------------------------------------------------------------------------
class ListFill12 : public FillTest {};

TEST_F(ListFill12, FansByTheRunsFacing) {
    Prepare(kSolo, 12);
    for (ULONG code : {N_RUN_FIRST, N_RUN_SECOND}) {
        Batch b = Pentagon(N_PRIM_FAN);
        b.runs = {{code, 3}};
        Draw(_NvpRenderXListFillAttr12KZG, b);
        std::vector<Prim> want;
        for (ULONG i = 1; i <= 3; ++i) {
            if (code == N_RUN_FIRST) want.push_back(Expect(12, b, {0, i, i + 1}, {0, i, i + 1}, 0));
            else want.push_back(Expect(12, b, {i, 0, i + 1}, {i, 0, i + 1}, 0));
        }
        EXPECT_EQ(Received()[0], want) << code;
    }
    // The winding flag turns them.
    ctx_->winding = 1;
    Batch b = Pentagon(N_PRIM_POLYGON);
    b.runs = {{N_RUN_SECOND, 3}};
    Draw(_NvpRenderXListFillAttr12KZG, b);
    EXPECT_EQ(Received()[0].at(0), Expect(12, b, {0, 1, 2}, {0, 1, 2}, 0));
}

TEST_F(ListFill12, QuadsTrianglesAndCulledRuns) {
    Prepare(kSolo, 12);
    Batch q = Quads(3);
    q.runs = {{1, 1}, {4, 1}, {2, 1}};
    Draw(_NvpRenderXListFillAttr12KZG, q);
    EXPECT_EQ(Received()[0], (std::vector<Prim>{Expect(12, q, {0, 1, 2}, {0, 1, 2}, 0), Expect(12, q, {0, 2, 3}, {0, 2, 3}, 0),
                                                Expect(12, q, {9, 8, 10}, {9, 8, 10}, 0),
                                                Expect(12, q, {10, 8, 11}, {10, 8, 11}, 0)}));
    EXPECT_EQ(ctx_->pHw->batchCount, 4u) << "the packets stay open";
    Batch t = TwoTriangles();
    t.runs = {{2, 1}, {1, 1}};
    Draw(_NvpRenderXListFillAttr12KZG, t);
    EXPECT_EQ(Received()[0], (std::vector<Prim>{Expect(12, t, {1, 0, 2}, {1, 0, 2}, 0), Expect(12, t, {3, 4, 5}, {3, 4, 5}, 0)}));
    t.runs = {{4, 2}};
    gcNext = 0;
    Draw(_NvpRenderXListFillAttr12KZG, t);
    EXPECT_EQ(gcNext, 1u);
    EXPECT_TRUE(Packets()[0].empty());
}

// --- the slots ------------------------------------------------------------------------------
TEST(FillSlots, TheSelectorsSlotsHoldTheFunctions) {
    EXPECT_EQ(_NRenderFcn(N_RF_FILL_12), _NvpRenderXListFillAttr12KZG);
    EXPECT_EQ(_NRenderFcn(N_RF_POLYGON_FILL), _NvpRenderXPgonFillKZG);
    EXPECT_EQ(_NRenderFcn(N_RF_TRIANGLE_FILL), _NvpRenderXTListFillKZG);
    EXPECT_EQ(_NRenderFcn(N_RF_QUAD_FILL), _NvpRenderXQListFillKZG);
    EXPECT_EQ(_NRenderFcn(N_RF_STRIP_FILL_DEPTH), _NvpRenderXTStripListFillDepthKZ);
    EXPECT_EQ(_NRenderFcn(N_RF_STRIP_FILL), _NvpRenderXTStripListFillKZ);
}

// --- routing ----------------------------------------------------------------------------------
class FillRouting : public FillTest, public ::testing::WithParamInterface<BoardModel> {};

TEST_P(FillRouting, EachTriangleReachesTheOwnersOfItsTiles) {
    Prepare(GetParam(), 2);
    const bool bSplit = qm_->pLayout->bSplitScreen != 0;
    const LONG cx = plGLScreenSize(Pdev())[0];
    Batch b;
    b.v = {
        {0, 0, 0}, {cx - 1, 0, 0}, {0, 300, 0},         // broadcast: many tiles
        {10, 10, 0}, {60, 10, 0}, {10, 60, 0},          // one tile
        {100, 10, 0}, {150, 10, 0}, {100, 40, 0},       // two tiles side by side
        {100, 100, 0}, {150, 100, 0}, {100, 150, 0},    // four tiles
        {20, 20, 0}, {21, 20, 0}, {20, 21, 0},          // one tile again
    };
    b.runs = {{1, 5}};
    Draw(_NvpRenderXTListFillKZG, b);
    const auto got = Received();
    auto tileOwner = [&](LONG x, LONG y) { return board_->tile_owner(bSplit && x >= cx ? 1 : 0, x, y); };
    for (ULONG t = 0; t < 5; ++t) {
        SCOPED_TRACE(t);
        const ULONG v = 3 * t;
        Prim want = Expect(2, b, {v, v + 1, v + 2}, {v, v + 1, v + 2}, 0);
        if (_NHwArea(b.v[v].data(), b.v[v + 1].data(), b.v[v + 2].data()) <= 0)
            want = Expect(2, b, {v, v + 2, v + 1}, {v, v + 2, v + 1}, 0);
        std::set<int> owners;
        for (ULONG j = 0; j < 3; ++j) owners.insert(tileOwner(b.v[v + j][0], b.v[v + j][1]));
        for (ULONG r = 0; r < Queues(); ++r) {
            const bool bHas = std::find(got[r].begin(), got[r].end(), want) != got[r].end();
            const bool bOwner = owners.count(static_cast<int>(r)) != 0;
            if (bOwner) {
                EXPECT_TRUE(bHas) << "owner " << r;
            } else if (!bSplit && (t == 1 || t == 2 || t == 4)) {
                // Single and two-tile triangles go to their owners alone once
                // the packet reached every queue.
                EXPECT_FALSE(bHas) << "queue " << r;
            }
            if ((t == 0 || t == 3) && !bSplit) {
                EXPECT_TRUE(bHas) << "the packet's first triangle and one of four tiles reach every queue";
            }
        }
    }
    if (Queues() == 1) {
        EXPECT_EQ(got[0].size(), 5u);
    }
}

TEST_P(FillRouting, EveryFillDrawsItsFacesOnEveryBoard) {
    Prepare(GetParam(), 12);
    const LONG cx = plGLScreenSize(Pdev())[0];
    struct Case {
        N_StageFn fn;
        Batch b;
    };
    Batch fan = Pentagon(N_PRIM_FAN);
    for (auto& v : fan.v) v[0] = v[0] * (cx - 1) / 50;  // across the screen
    Batch quads = Quads(2);
    quads.runs = {{1, 2}};
    Batch strip;
    strip.kind = N_PRIM_TRI_STRIP;
    for (LONG i = 0; i < 8; ++i) strip.v.push_back({(cx - 1) * i / 7, 200 + 70 * (i % 2), i});
    strip.runs = {{1, 6}};
    const Case cases[] = {{_NvpRenderXListFillAttr12KZG, fan}, {_NvpRenderXListFillAttr12KZG, quads},
                          {_NvpRenderXTStripListFillKZ, strip}, {_NvpRenderXTStripListFillAttr13KZ, strip}};
    ULONG want = 0;
    std::set<Prim> seen;
    for (const Case& k : cases) {
        if (k.fn == _NvpRenderXTStripListFillAttr13KZ) SetProgram(13);
        Draw(k.fn, k.b);
        want += k.b.kind == N_PRIM_QUADS ? 4 : 6;
        if (k.b.kind == N_PRIM_FAN) want -= 3;
        for (const auto& q : Received())
            for (const auto& t : q) seen.insert(t);
    }
    EXPECT_EQ(seen.size(), want) << "every face somewhere, each once in its own words";
}

INSTANTIATE_TEST_SUITE_P(Boards, FillRouting, ::testing::ValuesIn(kModels), BoardModelName);

// --- vertices that may not be drawn ------------------------------------------------------------
// Every fill leaves out the faces that have a vertex it may not draw and
// sends the other faces of the batch as they are.
TEST_F(TriangleFill, FacesWithAnUndrawableVertexAreLeftOut) {
    for (const Undrawable& bad : kUndrawable) {
        SCOPED_TRACE(bad.name);
        Prepare(kSolo, 2);
        Batch t = TwoTriangles();
        t.v[1] = bad.v;
        Draw(_NvpRenderXTListFillKZG, t);
        EXPECT_EQ(Received()[0], std::vector<Prim>{Expect(2, t, {3, 5, 4}, {3, 5, 4}, 5)}) << "triangles";

        Prepare(kSolo, 5);
        Batch q = Quads(2);
        q.runs = {{1, 2}};
        q.v[6] = bad.v;
        Draw(_NvpRenderXQListFillKZG, q);
        EXPECT_EQ(Received()[0], (std::vector<Prim>{Expect(5, q, {0, 1, 2}, {0, 1, 2}, 3),
                                                    Expect(5, q, {0, 2, 3}, {0, 2, 3}, 3)}))
            << "quads";

        Batch g = Pentagon(N_PRIM_POLYGON);
        g.v[4] = bad.v;
        Draw(_NvpRenderXPgonFillKZG, g);
        EXPECT_EQ(Received()[0], (std::vector<Prim>{Expect(5, g, {0, 1, 2}, {0, 1, 2}, 0),
                                                    Expect(5, g, {0, 2, 3}, {0, 2, 3}, 0)}))
            << "polygon";

        Prepare(kSolo, 12);
        t.runs = {{1, 2}};
        Draw(_NvpRenderXListFillAttr12KZG, t);
        EXPECT_EQ(Received()[0], std::vector<Prim>{Expect(12, t, {3, 4, 5}, {3, 4, 5}, 0)}) << "layout 12";
    }
}

}  // namespace
