// Strip fills: faces in their alternating winding, run boundaries and
// culled runs, the strip parity carried in and put back, per-packet colours
// a strip, the members of layouts 13, 15 and 18, the batch limit, and
// strips and fans whose primitive wraps from one batch into the next.
#include <gtest/gtest.h>

#include <string>

#include "gl/server/lgi/kz2/fill_fixture.h"

namespace {

using namespace fill_test;

class StripFill : public FillTest {};

// n vertices of a strip in one tile.
Batch Strip(ULONG n, std::vector<std::pair<ULONG, ULONG>> runs) {
    Batch b;
    b.kind = N_PRIM_TRI_STRIP;
    for (LONG i = 0; i < LONG(n); ++i) b.v.push_back({10 + 3 * i, 20 + (i % 2) * 5, 0x1000 * (i + 1)});
    b.runs = std::move(runs);
    ULONG records = 0;
    for (const auto& r : b.runs) records += r.second + 2;
    b.records = std::max<ULONG>(records, n);
    return b;
}

TEST_F(StripFill, FacesAlternateTheirWinding) {
    struct Case {
        const char* name;
        ULONG d;
        std::vector<std::pair<ULONG, ULONG>> runs;
        ULONG parity, winding;
        // (N, P, Q) and their colour records, face by face.
        std::vector<std::pair<std::array<ULONG, 3>, std::array<ULONG, 3>>> faces;
    };
    const Case cases[] = {
        {"one run", 2, {{1, 3}}, 0, 0, {{{2, 0, 1}, {2, 0, 1}}, {{3, 2, 1}, {3, 2, 1}}, {{4, 2, 3}, {4, 2, 3}}}},
        // The second run starts at vertices 1 and 2, its records at 3.
        {"two runs", 3, {{1, 1}, {1, 2}}, 0, 0, {{{2, 0, 1}, {2, 0, 1}}, {{3, 2, 1}, {5, 4, 3}}, {{4, 2, 3}, {6, 4, 5}}}},
        {"second facing", 5, {{2, 3}}, 0, 0, {{{2, 1, 0}, {2, 1, 0}}, {{3, 1, 2}, {3, 1, 2}}, {{4, 3, 2}, {4, 3, 2}}}},
        {"odd parity", 6, {{1, 3}}, 1, 0, {{{2, 1, 0}, {2, 1, 0}}, {{3, 1, 2}, {3, 1, 2}}, {{4, 3, 2}, {4, 3, 2}}}},
        {"winding", 8, {{1, 3}}, 0, 1, {{{2, 1, 0}, {2, 1, 0}}, {{3, 1, 2}, {3, 1, 2}}, {{4, 3, 2}, {4, 3, 2}}}},
        // A culled run writes nothing; the next starts with its last two vertices.
        {"culled middle", 2, {{1, 1}, {4, 1}, {1, 1}}, 0, 0, {{{2, 0, 1}, {2, 0, 1}}, {{4, 2, 3}, {8, 6, 7}}}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Prepare(kSolo, k.d);
        const Batch b = Strip(5, k.runs);
        ctx_->stripParity = k.parity;
        ctx_->winding = k.winding;
        Draw(_NvpRenderXTStripListFillKZ, b);
        EXPECT_EQ(gcNext, 1u);
        EXPECT_EQ(ctx_->stripParity, k.parity) << "put back";
        EXPECT_EQ(ctx_->pHw->batchCount, N_BATCH_PRIMS);
        std::vector<Prim> want;
        for (const auto& f : k.faces) want.push_back(Expect(k.d, b, f.first, f.second, f.second[0]));
        EXPECT_EQ(Received()[0], want);
        ctx_->winding = 0;
    }
}

// What each layout code carries, as the general strip fill decodes every
// code: colour and alpha a vertex (VC, VA), a face (TC, TA) or a packet
// (PC, PA), depth words (Z), and the pixel rectangles' stencil bytes (B).
TEST(LayoutCodes, WhatEachCodeCarries) {
    const struct {
        ULONG d;
        const char* flags;
    } rows[] = {{1, ""},       {2, "VC"},       {3, "VC VA"},    {4, "VA"},       {5, "TC"},
                {6, "TC TA"},  {7, "TA"},       {8, "PC"},       {9, "PC PA"},    {10, "PA"},
                {11, "Z"},     {12, "VC Z"},    {13, "VC VA Z"}, {14, "VA Z"},    {15, "TC Z"},
                {16, "TC TA Z"}, {17, "TA Z"},  {18, "PC Z"},    {19, "PC PA Z"}, {20, "PA Z"},
                {22, "B"}};
    auto flags = [](const kzLayout& m) {
        std::string s;
        auto add = [&s](bool b, const char* f) {
            if (b) s += (s.empty() ? "" : " ") + std::string(f);
        };
        add(m.colourIn(KZ_CF_VERTEX), "VC");
        add(m.alphaIn(KZ_CF_VERTEX), "VA");
        add(m.colourIn(KZ_CF_PRIM), "TC");
        add(m.alphaIn(KZ_CF_PRIM), "TA");
        add(m.colourIn(KZ_CF_PACKET), "PC");
        add(m.alphaIn(KZ_CF_PACKET), "PA");
        add(m.depth, "Z");
        add(m.byte, "B");
        return s;
    };
    for (const auto& r : rows) {
        EXPECT_TRUE(kzLayoutOf(r.d).valid) << r.d;
        EXPECT_EQ(flags(kzLayoutOf(r.d)), r.flags) << r.d;
    }
    // No layout: 0, 21 and beyond 22 carry nothing.
    for (ULONG d : {0u, 21u, 23u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(kzLayoutOf(d).valid) << d;
        EXPECT_EQ(flags(kzLayoutOf(d)), "") << d;
    }
}

// The alpha-alone codes of a packet (10, 20): the strip's first alpha word
// heads the packet, the faces carry their depth words (20) and positions.
TEST_F(StripFill, AlphaOncePerPacketWithoutAColour) {
    for (ULONG d : {10u, 20u}) {
        SCOPED_TRACE(d);
        Prepare(kSolo, d);
        const Batch b = Strip(4, {{1, 2}});
        Draw(_NvpRenderXTStripListFillKZ, b);
        EXPECT_EQ(gcNext, 1u);
        const auto packets = Packets()[0];
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(packets[0].constants, std::vector<ULONG>{AlphaWordOf(0)});
        auto z = [&](ULONG i) { return static_cast<ULONG>(b.v[i][2]); };
        auto pos = [&](ULONG i) { return Pos(b.v[i][0], b.v[i][1]); };
        // Faces (2, 0, 1) and (3, 2, 1).
        const std::vector<Prim> want =
            d == 10 ? std::vector<Prim>{{pos(2), pos(0), pos(1)}, {pos(3), pos(2), pos(1)}}
                    : std::vector<Prim>{{z(2), z(0), z(1), pos(2), pos(0), pos(1)}, {z(3), z(2), z(1), pos(3), pos(2), pos(1)}};
        EXPECT_EQ(PrimsIn(packets), want);
    }
}

TEST_F(StripFill, Code13IsRefusedByTheGeneralFill) {
    Prepare(kSolo, 13);
    Draw(_NvpRenderXTStripListFillKZ, Strip(4, {{1, 2}}));
    EXPECT_TRUE(Printed("_NvpRenderXTStripListFillKZ: Unknown render ucode attr: 13.\n"));
    EXPECT_EQ(gcNext, 0u) << "no next stage";
    EXPECT_TRUE(Packets()[0].empty());
}

TEST_F(StripFill, EachStripHeadsItsPacketWithItsOwnColour) {
    Prepare(kSolo, 8);
    Batch b;
    b.kind = N_PRIM_TRI_STRIP;
    b.strips = {4, 3};
    for (LONG i = 0; i < 7; ++i) b.v.push_back({5 + 4 * i, 30 + (i % 2) * 6, i});
    b.runs = {{1, 2}, {1, 1}};
    Draw(_NvpRenderXTStripListFillKZ, b);
    auto packets = Packets()[0];
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].constants, std::vector<ULONG>{ColourOf(0)});
    EXPECT_EQ(packets[0].primitives, 2u);
    EXPECT_EQ(packets[1].constants, std::vector<ULONG>{ColourOf(4)}) << "the second strip's first record";
    EXPECT_EQ(PrimsIn(packets).at(2), Expect(8, b, {6, 4, 5}, {6, 4, 5}, 6));
    // The layout-18 member takes the call's first vertex for every strip.
    SetProgram(18);
    Draw(_NvpRenderXTStripListFillDepthKZ, b);
    packets = Packets()[0];
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].constants, std::vector<ULONG>{ColourOf(0)});
    EXPECT_EQ(packets[0].primitives, 3u);
    EXPECT_EQ(ctx_->pHw->batchCount, 3u) << "the members leave the open packet's count";
}

TEST_F(StripFill, MembersOfLayouts13And15) {
    for (ULONG d : {13u, 15u}) {
        SCOPED_TRACE(d);
        Prepare(kSolo, d);
        const Batch b = Strip(5, {{1, 1}, {4, 1}, {2, 1}});
        Draw(_NvpRenderXTStripListFillDepthKZ, b);
        EXPECT_EQ(gcNext, 1u);
        // The third face: parity 2, second facing: (N, N-1, N-2).
        EXPECT_EQ(Received()[0], (std::vector<Prim>{Expect(d, b, {2, 0, 1}, {2, 0, 1}, 2),
                                                    Expect(d, b, {4, 3, 2}, {8, 7, 6}, 8)}));
        EXPECT_EQ(ctx_->pHw->batchCount, 2u);
    }
}

TEST_F(StripFill, TheBatchLimitForcesAPacket) {
    Prepare(kSolo, 15);
    Draw(_NvpRenderXTStripListFillAttr15KZ, Strip(3, {{1, 1}}));
    Draw(_NvpRenderXTStripListFillAttr15KZ, Strip(3, {{1, 1}}));
    ctx_->pHw->batchCount = 394;  // 394 + 6 stays within the batch
    Draw(_NvpRenderXTStripListFillAttr15KZ, Strip(8, {{1, 6}}));
    ctx_->pHw->batchCount = 395;  // 395 + 6 does not
    Draw(_NvpRenderXTStripListFillAttr15KZ, Strip(8, {{1, 6}}));
    const auto packets = Packets()[0];
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].primitives, 8u);
    EXPECT_EQ(packets[1].primitives, 6u);
    EXPECT_EQ(packets[1].command, Program().image.w[0]);
}

TEST_F(StripFill, PrimitivesWrappingIntoTheNextBatch) {
    Prepare(kSolo, 2);
    // A strip of 10 vertices drawn whole, then as the batches 0-5 and 4-9:
    // the second batch goes on at face 4, an even face, and as 3-9 at face
    // 3 (the face-culling stage leaves an odd parity for it).
    Batch whole = Strip(10, {{1, 8}});
    Draw(_NvpRenderXTStripListFillKZ, whole);
    const auto want = Received()[0];
    ASSERT_EQ(want.size(), 8u);
    for (ULONG cut : {4u, 3u}) {
        SCOPED_TRACE(cut);
        Batch first = whole, second = whole;
        first.v.assign(whole.v.begin(), whole.v.begin() + cut + 2);
        first.runs = {{1, cut}};
        first.records = cut + 2;
        second.v.assign(whole.v.begin() + cut, whole.v.end());
        second.runs = {{1, 8 - cut}};
        second.records = 10 - cut;
        ctx_->stripParity = 0;
        Draw(_NvpRenderXTStripListFillKZ, first);
        ctx_->stripParity = cut & 1;
        gColourBase = 0xC0000 + cut;  // the second batch's records are the whole strip's from vertex cut
        Draw(_NvpRenderXTStripListFillKZ, second);
        gColourBase = 0xC0000;
        EXPECT_EQ(Received()[0], want);
    }
    // A fan carries its first vertex and last one into the next batch.
    Batch fan;
    fan.kind = N_PRIM_FAN;
    fan.v = {{0, 0, 1}, {40, 0, 2}, {50, 20, 3}, {30, 40, 4}, {0, 30, 5}, {-10, 10, 6}};
    fan.runs = {{1, 4}};
    Draw(_NvpRenderXPgonFillKZG, fan);
    const auto wantFan = Received()[0];
    Batch a = fan, b = fan;
    a.v.resize(4);
    a.runs = {{1, 2}};
    b.v = {fan.v[0], fan.v[3], fan.v[4], fan.v[5]};
    b.runs = {{1, 2}};
    Draw(_NvpRenderXPgonFillKZG, a);
    Draw(_NvpRenderXPgonFillKZG, b);
    const auto got = Received()[0];
    ASSERT_EQ(got.size(), wantFan.size());
    const kzPrimWordsRow& row = *kzPrimWordsOf(5, 2);
    for (std::size_t i = 0; i < got.size(); ++i)
        for (ULONG j = 0; j < 3; ++j)  // the same positions (the records differ by batch)
            EXPECT_EQ(got[i][kzPrimWordAt(row, KZ_PW_POSITION, j)], wantFan[i][kzPrimWordAt(row, KZ_PW_POSITION, j)]);
}

class StripRouting : public FillTest, public ::testing::WithParamInterface<BoardModel> {};

TEST_P(StripRouting, AStripInOneTileStaysWithItsOwner) {
    Prepare(GetParam(), 2);
    const bool bSplit = qm_->pLayout->bSplitScreen != 0;
    const LONG cx = plGLScreenSize(Pdev())[0];
    Batch b;
    b.kind = N_PRIM_TRI_STRIP;
    b.strips = {6, 6};
    for (LONG i = 0; i < 6; ++i) b.v.push_back({(cx - 1) * i / 5, 100 + 90 * (i % 2), i});  // across the screen
    for (LONG i = 0; i < 6; ++i) b.v.push_back({300 + 2 * i, 300 + 3 * (i % 2), i});        // one tile
    b.runs = {{1, 4}, {1, 4}};
    b.records = 12;
    Draw(_NvpRenderXTStripListFillKZ, b);
    const auto got = Received();
    auto owner = [&](LONG x, LONG y) { return board_->tile_owner(bSplit && x >= cx ? 1 : 0, x, y); };
    for (ULONG s : {0u, 6u}) {
        for (ULONG f = 0; f < 4; ++f) {
            const ULONG k = s + f;
            const std::array<ULONG, 3> v = f % 2 == 0 ? std::array<ULONG, 3>{k + 2, k, k + 1} : std::array<ULONG, 3>{k + 2, k + 1, k};
            const Prim t = Expect(2, b, v, v, v[0]);
            for (ULONG j = 0; j < 3; ++j) {
                const auto& q = got[owner(b.v[v[j]][0], b.v[v[j]][1])];
                EXPECT_NE(std::find(q.begin(), q.end(), t), q.end()) << "face " << k;
            }
            if (!bSplit && s == 6) {
                for (ULONG r = 0; r < Queues(); ++r) {
                    if (static_cast<int>(r) == owner(300, 300)) continue;
                    EXPECT_EQ(std::find(got[r].begin(), got[r].end(), t), got[r].end()) << "queue " << r;
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, StripRouting, ::testing::ValuesIn(kModels), BoardModelName);

// A face with a vertex the fill may not draw is left out; the strip's
// other faces go on in their own winding.
TEST_F(StripFill, FacesWithAnUndrawableVertexAreLeftOut) {
    for (const Undrawable& bad : kUndrawable) {
        SCOPED_TRACE(bad.name);
        Prepare(kSolo, 2);
        Batch b = Strip(5, {{1, 3}});
        b.v[0] = bad.v;
        Draw(_NvpRenderXTStripListFillKZ, b);
        EXPECT_EQ(Received()[0], (std::vector<Prim>{Expect(2, b, {3, 2, 1}, {3, 2, 1}, 3),
                                                    Expect(2, b, {4, 2, 3}, {4, 2, 3}, 4)}));
    }
}

}  // namespace
