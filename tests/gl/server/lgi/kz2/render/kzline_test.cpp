// Line render functions over a simulated board: the words of each
// function's segments as every rasterizer decoded them, strip lists and
// their colour records, the stipple block for every repeat factor and
// GL's stipple count along a strip, width words, dropped zero-length segments, the
// 400-primitive packet limit and routing on every board model.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <algorithm>

#include "gl/server/lgi/kz2/fill_fixture.h"
#include "kz2/render/kzline.h"
#include "kzprimwords.h"
#include "kzuinstr.h"

namespace {

using namespace fill_test;

constexpr ULONG kThin = 1, kWide = 2;  // program classes


class LineTest : public FillTest {
  protected:
    // A line program of the class and layout whose header makes the board
    // take `data` words a segment besides positions, width and stipple
    // block, and `packet` words once a packet.
    void SetLineProgram(ULONG cls, ULONG d, ULONG data, ULONG packet, bool bStipple = false) {
        ULONG loads = 0, reg = 0;
        for (ULONG i = 0; i < data / 2; ++i) loads |= kLoadPerVertex << (12 + 2 * reg++);
        if (data % 2) loads |= kLoadPerFace << (12 + 2 * reg++);
        for (ULONG i = 0; i < packet; ++i) loads |= kLoadPerPacket << (12 + 2 * reg++);
        ASSERT_LE(reg, 4u);
        BuildProgram(ctx_, 0, cls | 0x20 | loads | (bStipple ? KZU_CONSTANTS_8_PER_PRIM : 0), d, {0x1234});
    }
    // The words of a thin segment by layout code, in sending order: C the
    // colours of both ends, c the segment's colour (its second end's), Z
    // both depths, P both positions. Layouts 8 and 18 take their colour
    // once a packet.
    static const char* ThinOrder(ULONG d) {
        switch (d) {
        case 2: return "CP";
        case 5: return "cP";
        case 8: return "P";
        case 12: return "CZP";
        case 15: return "cZP";
        case 18: return "ZP";
        default: ADD_FAILURE() << "no thin line order for layout " << d; return "P";
        }
    }
    // A thin line program of a layout the thin functions draw.
    void SetThin(ULONG d) {
        ULONG data = 0;
        for (const char* w = ThinOrder(d); *w != 0; ++w)
            if (*w != 'P') data += std::isupper(*w) ? 2 : 1;
        SetLineProgram(kThin, d, data, d == 8 || d == 18 ? 1 : 0);
    }
    void Attr(ULONG id, ULONG w) { *pulAttr(ctx_, id) = w; }
    void Lines(ULONG kind, std::vector<std::array<LONG, 3>> v, std::vector<ULONG> strips = {}) {
        batch_ = Batch{};
        batch_.kind = kind;
        batch_.v = std::move(v);
        batch_.strips = std::move(strips);
    }
    // The words of the thin segment from vertex a to b.
    Prim Thin(ULONG d, ULONG a, ULONG b) const {
        Prim t;
        const ULONG vtx[2] = {a, b};
        for (const char* w = ThinOrder(d); *w != 0; ++w) {
            const ULONG count = std::isupper(*w) ? 2 : 1;
            for (ULONG j = 0; j < count; ++j) {
                const ULONG v = count == 1 ? b : vtx[j];
                switch (std::tolower(*w)) {
                case 'c': t.push_back(ColourOf(v)); break;
                case 'z': t.push_back(static_cast<ULONG>(batch_.v[v][2])); break;
                default: t.push_back(Pos(batch_.v[v][0], batch_.v[v][1])); break;
                }
            }
        }
        return t;
    }
    void SetUp() override {
        FillTest::SetUp();
        gColourBase = 0xC0000;  // the colours the expectations name before Prepare
        Attr(86, F(1.0f));
        Attr(87, 0xFFFFFFFF);
        Attr(88, 1);
    }
    Batch batch_;
};

// --- thin lines and strip lists ---------------------------------------------------------------

TEST_F(LineTest, ThinLinesOfEveryLayoutByTheWordTable) {
    struct Case {
        ULONG d;
        N_StageFn line, list;
    };
    const Case cases[] = {{2, _NvpRenderLineAttr2KZG, _NvpRenderPLListAttr2KZG},
                          {5, _NvpRenderLineAttr5KZG, _NvpRenderPLListAttr5KZG},
                          {8, _NvpRenderLineAttr8KZG, _NvpRenderPLListAttr8KZG},
                          {12, _NvpRenderLineAttr12KZG, _NvpRenderPLListAttr12KZG},
                          {15, _NvpRenderLineAttr15KZG, _NvpRenderPLListAttr15KZG},
                          {18, _NvpRenderLineAttr18KZG, _NvpRenderPLListAttr18KZG}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.d);
        // Separate lines: 5 vertices give 0-1 and 2-3, vertex 4 ignored.
        Prepare(kSolo, k.d);
        SetThin(k.d);
        Lines(N_PRIM_LINES, {{1, 2, 10}, {30, 2, 11}, {5, 9, 12}, {5, 40, 13}, {7, 7, 14}});
        Draw(k.line, batch_);
        EXPECT_EQ(gcNext, 1u);
        auto packets = Packets()[0];
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(PrimsIn(packets), (std::vector<Prim>{Thin(k.d, 0, 1), Thin(k.d, 2, 3)}));
        if (k.d == 8 || k.d == 18) {
            EXPECT_EQ(packets[0].constants.back(), ColourOf(0)) << "the colour once a packet";
        }

        // A single strip: count - 1 segments, colour form 1 the second vertex's.
        Lines(N_PRIM_LINE_STRIP, {{1, 2, 10}, {30, 2, 11}, {30, 40, 12}});
        Draw(k.line, batch_);
        EXPECT_EQ(Received()[0], (std::vector<Prim>{Thin(k.d, 0, 1), Thin(k.d, 1, 2)}));

        // A strip list of strips of 1, 2 and 3 vertices: 0 + 1 + 2 segments.
        Lines(N_PRIM_LINE_STRIP, {{1, 2, 10}, {4, 4, 11}, {30, 4, 12}, {2, 50, 13}, {9, 60, 14}, {70, 60, 15}},
              {1, 2, 3});
        Draw(k.list, batch_);
        EXPECT_EQ(Received()[0], (std::vector<Prim>{Thin(k.d, 1, 2), Thin(k.d, 3, 4), Thin(k.d, 4, 5)}));
        EXPECT_EQ(gcNext, 3u);
    }
}

// The word table's thin-line rows, which the board reads thin segments by,
// against the thin segment orders: cA, cB the colours of the ends A and B,
// zA, zB their depths, A, B their positions. The one-colour layouts take
// the second end's colour; 8 and 18 send theirs once a packet.
TEST(LineWordTable, ThinRowsFollowTheThinSegmentOrders) {
    const std::map<ULONG, std::string> want = {
        {2, "cA cB A B"},        {5, "cB A B"},        {8, "A B"},
        {12, "cA cB zA zB A B"}, {15, "cB zA zB A B"}, {18, "zA zB A B"},
    };
    // A row's words in the notation above: a group of two words is one a
    // end, A then B; a group of one word is the second end's.
    auto order = [](const kzPrimWordsRow& r) {
        std::string s;
        for (const kzPrimWordGroup& g : r.groups) {
            if (g.count == 0) continue;
            const char* prefix = g.kind == KZ_PW_COLOUR ? "c" : g.kind == KZ_PW_DEPTH ? "z"
                                 : g.kind == KZ_PW_ALPHA ? "a" : "";
            const char* ends = g.count == 1 ? "B" : g.count == 2 ? "AB" : "?";
            for (const char* e = ends; *e != 0; ++e) s += (s.empty() ? "" : " ") + std::string(prefix) + *e;
        }
        return s;
    };
    std::map<ULONG, std::string> got;
    for (const kzPrimWordsRow& r : kzPrimWordRows) {
        if (r.programClass != kThin) continue;
        EXPECT_EQ(r.vertices, 2u) << r.dataAttr;
        EXPECT_TRUE(got.emplace(r.dataAttr, order(r)).second) << "layout " << r.dataAttr << " twice";
    }
    EXPECT_EQ(got, want);
    for (const auto& [d, words] : want) {
        const kzPrimWordsRow* r = kzPrimWordsOf(kThin, d);
        ASSERT_NE(r, nullptr) << d;
        EXPECT_EQ(kzPrimWordCount(*r), static_cast<ULONG>(std::count(words.begin(), words.end(), ' ') + 1)) << d;
    }
}

// A segment with an end the render function may not draw is left out, in
// strips, strip lists and separate lines; the others are drawn.
TEST_F(LineTest, SegmentsWithAnUndrawableEndAreLeftOut) {
    for (const Undrawable& bad : kUndrawable) {
        SCOPED_TRACE(bad.name);
        Prepare(kSolo, 12);
        SetThin(12);
        Lines(N_PRIM_LINE_STRIP, {{1, 2, 10}, {30, 2, 11}, bad.v, {30, 40, 13}, {5, 40, 14}});
        Draw(_NvpRenderLineAttr12KZG, batch_);
        EXPECT_EQ(Received()[0], (std::vector<Prim>{Thin(12, 0, 1), Thin(12, 3, 4)})) << "strip";
        Lines(N_PRIM_LINE_STRIP, {{1, 2, 10}, {30, 2, 11}, bad.v, {30, 40, 13}, {5, 40, 14}}, {2, 3});
        Draw(_NvpRenderPLListAttr12KZG, batch_);
        EXPECT_EQ(Received()[0], (std::vector<Prim>{Thin(12, 0, 1), Thin(12, 3, 4)})) << "strip list";
        Lines(N_PRIM_LINES, {{1, 2, 10}, {30, 2, 11}, bad.v, {30, 40, 13}});
        Draw(_NvpRenderLineAttr12KZG, batch_);
        EXPECT_EQ(Received()[0], (std::vector<Prim>{Thin(12, 0, 1)})) << "separate lines";
    }
}

TEST_F(LineTest, TooFewVerticesTouchNoQueue) {
    Prepare(kSolo, 2);
    SetThin(2);
    const ULONG batch = ctx_->pHw->batchCount;
    Lines(N_PRIM_LINES, {{1, 2, 0}});
    Draw(_NvpRenderLineAttr2KZG, batch_);
    Lines(N_PRIM_LINE_STRIP, {{1, 2, 0}, {3, 4, 0}}, {1, 1});
    Draw(_NvpRenderPLListAttr2KZG, batch_);
    Draw(_NvpRenderPLListGenKZ, batch_);
    EXPECT_EQ(gcNext, 3u);
    EXPECT_EQ(ctx_->pHw->batchCount, batch);
    EXPECT_TRUE(Packets()[0].empty());
}

TEST_F(LineTest, StripCountsBeyondTheBatchAreRefused) {
    Prepare(kSolo, 2);
    SetThin(2);
    Lines(N_PRIM_LINE_STRIP, {{1, 2, 0}, {3, 4, 0}, {9, 9, 0}}, {2, 5});
    Draw(_NvpRenderPLListAttr2KZG, batch_);
    EXPECT_TRUE(Printed("_NvpRenderPLListAttr2KZG: batch counts do not fit the batch, not drawn\n"));
    EXPECT_EQ(gcNext, 1u);
    EXPECT_TRUE(Packets()[0].empty());
}

TEST_F(LineTest, ZeroLengthSegmentsAreDroppedOnceThePacketHoldsOne) {
    Prepare(kSolo, 2);
    SetThin(2);
    // The first (zero length) opens the packet and is kept; the third is dropped.
    Lines(N_PRIM_LINES, {{5, 5, 0}, {5, 5, 0}, {1, 1, 0}, {9, 1, 0}, {7, 7, 0}, {7, 7, 0}, {2, 2, 0}, {2, 8, 0}});
    Draw(_NvpRenderLineAttr2KZG, batch_);
    EXPECT_EQ(Received()[0], (std::vector<Prim>{Thin(2, 0, 1), Thin(2, 2, 3), Thin(2, 6, 7)}));
    // A stippled dropped segment leaves no stipple words behind.
    SetLineProgram(kThin, 2, 2, 0, true);
    Attr(87, 0x00FF00FF);
    Attr(88, 2);
    Lines(N_PRIM_LINES, {{1, 1, 0}, {9, 1, 0}, {7, 7, 0}, {7, 7, 0}, {2, 2, 0}, {2, 8, 0}});
    Draw(_NvpRenderPLineAttr2_3KZG, batch_);
    const auto got = Received()[0];
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].back(), Pos(2, 8));
    EXPECT_EQ(got[1][0], 0x0003FFFCu) << "major axis y, phase 2";
}

TEST_F(LineTest, BatchesBeyond400SegmentsArePacketsOfAtMost400) {
    for (N_StageFn fn : {_NvpRenderPLListAttr2KZG, _NvpRenderPLListGenKZ, _NvpRenderLineAttr2KZG}) {
        Prepare(kSolo, 2);
        SetThin(2);
        std::vector<std::array<LONG, 3>> v;
        for (LONG i = 0; i < 1000; ++i) v.push_back({i % 500, i / 500 * 3 + (i % 2), 0});
        Lines(N_PRIM_LINE_STRIP, v, {1000});
        Draw(fn, batch_);
        ULONG total = 0;
        const auto packets = Packets()[0];
        for (const auto& p : packets) {
            EXPECT_LE(p.primitives, N_BATCH_PRIMS);
            total += p.primitives;
        }
        EXPECT_EQ(total, 999u);
    }
}

TEST_F(LineTest, TheAntialiasedLineOpensPacketsOfAtMost400) {
    Prepare(kSolo, 2);
    SetLineProgram(3, 2, 5, 0);
    std::vector<std::array<LONG, 3>> v;
    for (LONG i = 0; i < 1000; ++i) v.push_back({i % 500, i / 500 * 3 + (i % 2), 0});
    Lines(N_PRIM_LINE_STRIP, v);
    Draw(_NvpRenderAALineGenKZG, batch_);
    const auto packets = Packets()[0];
    ULONG total = 0;
    for (const auto& p : packets) {
        EXPECT_LE(p.primitives, N_BATCH_PRIMS);
        EXPECT_EQ(p.pids.size(), 1u) << "every packet headed by the program";
        total += p.primitives;
    }
    EXPECT_EQ(total, 999u);
    EXPECT_GE(packets.size(), 3u);
}

TEST_F(LineTest, TheGeneralListDrawsPositionsOfAnUnknownCode) {
    Prepare(kSolo, 7);
    SetLineProgram(kThin, 7, 0, 0);
    Lines(N_PRIM_LINE_STRIP, {{2, 3, 0}, {30, 9, 0}});
    Draw(_NvpRenderPLListGenKZ, batch_);
    EXPECT_TRUE(Printed("_NvpRenderPLListGenKZ: 7 mode not supported\n"));
    EXPECT_EQ(Received()[0], (std::vector<Prim>{{Pos(2, 3), Pos(30, 9)}}));
}

// The lower image's offset is the screen height in pixels, in sixteenths
// when the coordinates are.
TEST_F(LineTest, PositionsInSixteenthsAndTheLowerImage) {
    for (ULONG precise : {0u, 1u}) {
        SCOPED_TRACE(precise);
        Prepare(kSolo, 8, precise);
        SetThin(8);
        ctx_->secondHalf = 1;
        const LONG u = precise ? 16 : 1;
        Lines(N_PRIM_LINES, {{3 * u, 5 * u, 0}, {9 * u, 5 * u, 0}});
        Draw(_NvpRenderLineAttr8KZG, batch_);
        ctx_->secondHalf = 0;
        const ULONG cy = static_cast<ULONG>(lGLSurfaceHeight(Pdev()));
        EXPECT_EQ(Received()[0], (std::vector<Prim>{{Pos(3, 5 + LONG(cy)), Pos(9, 5 + LONG(cy))}}));
    }
}

// --- the stipple block ------------------------------------------------------------------------

TEST(LineStipple, EveryRepeatFactorExpandsTheSixteenBitPattern) {
    for (ULONG pattern : {0x00FF00FFu, 0x1C7F1C7Fu, 0xA5C3A5C3u, 0x00010001u, 0x80008000u}) {
        for (LONG r = 1; r <= 255; ++r) {
            if (pattern == 0x1C7F1C7Fu && r == 3) continue;
            ULONG block[8];
            _NLineStippleBlock(pattern, r, block);
            for (ULONG j = 0; j < 256; ++j) {
                const ULONG want = (pattern >> ((j / static_cast<ULONG>(r)) % 16)) & 1u;
                ASSERT_EQ((block[j / 32] >> (j % 32)) & 1u, want) << std::hex << pattern << std::dec << " r " << r
                                                                  << " bit " << j;
            }
        }
    }
}

TEST(LineStipple, KnownBlocksAndRotation) {
    ULONG block[8], rot[8];
    _NLineStippleBlock(0xA5C3A5C3u, 1, block);
    for (ULONG w : block) EXPECT_EQ(w, 0xA5C3A5C3u) << "repeat 1: the word itself";
    _NLineStippleBlock(0x00FF00FFu, 2, block);
    for (ULONG w : block) EXPECT_EQ(w, 0x0000FFFFu) << "repeat 2: doubled bits";
    _NLineStippleRotate(block, 16, rot);
    for (ULONG w : rot) EXPECT_EQ(w, 0xFFFF0000u);
    _NLineStippleBlock(0x1C7F1C7Fu, 3, block);
    const ULONG kept[8] = {0xF807FFFF, 0x1FFFF807, 0xFFE01FE0, 0x00FF00FF, 0xF807FFFF, 0x1FFFF807, 0xFFE01FE0, 0x00FF00FF};
    EXPECT_TRUE(std::equal(block, block + 8, kept));
    _NLineStippleRotate(block, 0, rot);
    EXPECT_TRUE(std::equal(rot, rot + 8, kept)) << "phase 0 leaves the block";
    // Factor 3 of another pattern: bits 30 and 31 take pattern bit 10.
    _NLineStippleBlock(0x04000400u, 3, block);
    EXPECT_EQ(block[0], 0xC0000000u);
    // A rotation carries bits from word 7 into word 0.
    ULONG one[8] = {0, 0, 0, 0, 0, 0, 0, 0x80000000u};
    _NLineStippleRotate(one, 1, rot);
    EXPECT_EQ(rot[0], 1u);
    EXPECT_EQ(rot[7], 0u);
    // Rotations past a word, and by a whole turn less one bit.
    _NLineStippleRotate(one, 65, rot);
    EXPECT_EQ(rot[2], 1u);
    EXPECT_EQ(std::count(rot, rot + 8, 0u), 7);
    _NLineStippleRotate(one, 255, rot);
    EXPECT_EQ(rot[7], 0x40000000u);
    EXPECT_EQ(std::count(rot, rot + 8, 0u), 7);
    _NLineStippleBlock(0x12341234u, 0, block);
    for (ULONG w : block) EXPECT_EQ(w, 0x12341234u) << "a factor below 1 counts as 1";
}

TEST(LineWidth, WidthWords) {
    EXPECT_EQ(_NLineWidthWord(1.2f, false), 8u);
    EXPECT_EQ(_NLineWidthWord(1.0001f, false), 8u);
    EXPECT_EQ(_NLineWidthWord(1.5f, false), 16u);
    EXPECT_EQ(_NLineWidthWord(2.6f, false), 24u);
    EXPECT_EQ(_NLineWidthWord(1.0f, true), 16u);
    EXPECT_EQ(_NLineWidthWord(1e30f, false), 4095u * 8);
    EXPECT_EQ(_NLineWidthWord(std::nanf(""), false), 0u);
}

// The board gives the fragment k steps from the pixel holding a segment's
// first end bit (k + phase) of its block, phase being the low five bits of
// that pixel's major coordinate (x on a tie). GL's stipple counter runs on
// along a strip and starts again with each strip and each separate line:
// the block of a segment whose first fragment is fragment `count` of its
// strip holds, at bit (k + phase), the pattern's bit (count + k).
void ExpectCount(const Prim& got, ULONG phase, ULONG count, const ULONG (&pattern)[8], const char* what) {
    auto bit = [](const ULONG* w, ULONG j) { return (w[(j / 32) % 8] >> (j % 32)) & 1u; };
    for (ULONG k = 0; k < 256; ++k)
        ASSERT_EQ(bit(got.data(), k + phase), bit(pattern, count + k)) << what << ": step " << k;
}

TEST_F(LineTest, StippleCountsOnAlongAStrip) {
    Prepare(kSolo, 8);
    SetLineProgram(kThin, 8, 0, 1, true);
    Attr(87, 0x00FF00FF);
    Attr(88, 2);
    ULONG pattern[8];
    _NLineStippleBlock(0x00FF00FF, 2, pattern);
    Lines(N_PRIM_LINE_STRIP, {{3, 1, 0}, {40, 2, 0}, {41, 70, 0}, {41, 71, 0}, {46, 76, 0}}, {5});
    Draw(_NvpRenderPLListGenKZ, batch_);
    auto got = Received()[0];
    ASSERT_EQ(got.size(), 4u);
    // x of (3, 1), 37 fragments; y of (40, 2), 68; y of (41, 70), 1; a tie
    // takes x of (41, 71).
    const ULONG phases[4] = {3, 2, 70 & 31, 41 & 31}, counts[4] = {0, 37, 105, 106};
    for (ULONG s = 0; s < 4; ++s) {
        ExpectCount(got[s], phases[s], counts[s], pattern, "strip");
        EXPECT_EQ(got[s][8], Pos(batch_.v[s][0], batch_.v[s][1]));
    }
    EXPECT_EQ(ctx_->pHw->batchCount, N_BATCH_PRIMS) << "hard close";

    // A list of two strips: the second starts again.
    Lines(N_PRIM_LINE_STRIP, {{3, 1, 0}, {40, 2, 0}, {50, 9, 0}, {60, 9, 0}}, {2, 2});
    Draw(_NvpRenderPLListGenKZ, batch_);
    got = Received()[0];
    ASSERT_EQ(got.size(), 2u);
    ExpectCount(got[0], 3, 0, pattern, "first strip");
    ExpectCount(got[1], 50, 0, pattern, "second strip");

    // Separate lines start again at each; a single strip counts on.
    SetLineProgram(kThin, 2, 2, 0, true);
    Lines(N_PRIM_LINES, {{3, 1, 0}, {40, 2, 0}, {40, 2, 0}, {41, 70, 0}});
    Draw(_NvpRenderPLineAttr2_3KZG, batch_);
    got = Received()[0];
    ASSERT_EQ(got.size(), 2u);
    ExpectCount(got[0], 3, 0, pattern, "first line");
    ExpectCount(got[1], 2, 0, pattern, "second line");
    Lines(N_PRIM_LINE_STRIP, {{3, 1, 0}, {40, 2, 0}, {41, 70, 0}});
    Draw(_NvpRenderPLineAttr2_3KZG, batch_);
    got = Received()[0];
    ASSERT_EQ(got.size(), 2u);
    ExpectCount(got[1], 2, 37, pattern, "strip");
}

// A strip longer than one batch: its later batches (the pipe's first word
// 0) go on counting from where the batch before them stopped.
TEST_F(LineTest, StippleCountsOnIntoTheNextBatchOfAStrip) {
    Prepare(kSolo, 2);
    SetLineProgram(kThin, 2, 2, 0, true);
    Attr(87, 0x0F0F0F0F);
    Attr(88, 1);
    ULONG pattern[8];
    _NLineStippleBlock(0x0F0F0F0F, 1, pattern);
    CommonPipeData& c = ctx_->blocks[N_PRIM_LINE_STRIP & 15].common;
    Lines(N_PRIM_LINE_STRIP, {{3, 1, 0}, {40, 2, 0}, {41, 70, 0}});
    Draw(_NvpRenderPLineAttr2_3KZG, batch_);
    c.first = 0;
    Lines(N_PRIM_LINE_STRIP, {{41, 70, 0}, {90, 75, 0}});
    Draw(_NvpRenderPLineAttr2_3KZG, batch_);
    c.first = 1;
    Lines(N_PRIM_LINE_STRIP, {{41, 70, 0}, {90, 75, 0}});
    Draw(_NvpRenderPLineAttr2_3KZG, batch_);
    const auto got = Received()[0];
    ASSERT_EQ(got.size(), 4u);
    ExpectCount(got[2], 41, 37 + 68, pattern, "later batch");
    ExpectCount(got[3], 41, 0, pattern, "a new strip");
}

// In sixteenths, a segment whose first end lies before its first pixel's
// centre has its first fragment one step from the pixel holding that end.
TEST_F(LineTest, StippleCountFromAnEndBetweenPixelCentres) {
    Prepare(kSolo, 8, 1);
    SetLineProgram(kThin, 8, 0, 1, true);
    Attr(87, 0x00010001);
    Attr(88, 1);
    ULONG pattern[8];
    _NLineStippleBlock(0x00010001, 1, pattern);
    // Rightwards from x = 5.5 (holding pixel 5, first fragment 6);
    // leftwards from 60.5 (holding pixel 60, its first fragment).
    Lines(N_PRIM_LINES, {{5 * 16 + 8, 16, 0}, {60 * 16, 16, 0}, {60 * 16 + 8, 48, 0}, {5 * 16, 48, 0}});
    Draw(_NvpRenderPLineGenKZG, batch_);
    const auto got = Received()[0];
    ASSERT_EQ(got.size(), 2u);
    ULONG shifted[8];
    _NLineStippleRotate(pattern, 1, shifted);  // bit j + 1 holds pattern bit j
    ExpectCount(got[0], 5, 0, shifted, "rightwards");
    ExpectCount(got[1], 60, 0, pattern, "leftwards");
}

TEST_F(LineTest, StipplePhaseInSixteenths) {
    Prepare(kSolo, 8, 1);
    SetLineProgram(kThin, 8, 0, 1, true);
    Attr(87, 0x00010001);
    Attr(88, 1);
    Lines(N_PRIM_LINES, {{5 * 16, 16, 0}, {60 * 16, 16, 0}});
    Draw(_NvpRenderPLineGenKZG, batch_);
    const auto got = Received()[0];
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0][0], 0x00200020u) << "pattern bits 0 and 16 moved to 5 and 21";
}

// --- wide, stippled and blended lines ------------------------------------------------------------

TEST_F(LineTest, WordsOfTheWideFamily) {
    const ULONG cA = ColourOf(0), cB = ColourOf(1), aA = AlphaWordOf(0), aB = AlphaWordOf(1);
    const ULONG A = Pos(2, 3), B = Pos(30, 9);
    ULONG block[8];
    _NLineStippleBlock(0x0F0F0F0F, 1, block);
    ULONG rot[8];
    _NLineStippleRotate(block, 2, rot);
    const Prim stip(rot, rot + 8);
    auto cat = [](Prim a, const Prim& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    struct Case {
        const char* name;
        N_StageFn fn;
        ULONG d;
        float width;
        bool bStipple;
        Prim want;  // besides the stipple block
    };
    const Case cases[] = {
        {"2 wide", _NvpRenderPLineAttr2_3KZG, 2, 1.2f, false, {cA, cB, A, B, 8}},
        {"3 thin stippled", _NvpRenderPLineAttr2_3KZG, 3, 1.0f, true, {cA, cB, aA, aB, A, B}},
        {"6 wide", _NvpRenderPLineAttr5_6KZG, 6, 2.6f, false, {cB, aB, A, B, 24}},
        {"13 wide stippled", _NvpRenderPLineAttr12_13KZG, 13, 2.0f, true, {cA, cB, aA, aB, 10, 11, 11, A, B, 16}},
        {"16 wide", _NvpRenderPLineAttr15_16KZG, 16, 2.0f, false, {cB, aB, 10, 11, 11, A, B, 16}},
        {"9 wide", _NvpRenderPLineGenKZG, 9, 2.0f, false, {A, B, 16}},
        {"19 wide", _NvpRenderPLineAttr18_19KZG, 19, 2.0f, false, {10, 11, 11, A, B, 16}},
        // The strip list's own order: depth, then the alphas, the second again.
        {"list 3 wide", _NvpRenderPLListGenKZ, 3, 2.0f, false, {cA, cB, aA, aB, aB, A, B, 16}},
        {"list 13 thin", _NvpRenderPLListGenKZ, 13, 1.0f, false, {cA, cB, 10, 11, aA, aB, A, B}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Prepare(kSolo, k.d);
        const bool bWide = k.width > 1.0f;
        const bool bPacket = k.d == 9 || k.d == 19;
        SetLineProgram(bWide ? kWide : kThin, k.d, ULONG(k.want.size()) - 2 - (bWide ? 1 : 0), bPacket ? 2 : 0,
                       k.bStipple);
        Attr(86, F(k.width));
        Attr(87, k.bStipple ? 0x0F0F0F0F : 0xFFFFFFFF);
        Lines(k.fn == _NvpRenderPLListGenKZ ? N_PRIM_LINE_STRIP : N_PRIM_LINES, {{2, 3, 10}, {30, 9, 11}});
        ctx_->blocks[batch_.kind & 15].front.mode = 0x2;  // colours step with the vertices
        Draw(k.fn, batch_);
        ctx_->blocks[batch_.kind & 15].front.mode = 0;
        const auto packets = Packets()[0];
        ASSERT_EQ(packets.size(), 1u);
        ASSERT_EQ(packets[0].primitives, 1u);
        EXPECT_EQ(packets[0].primitive(0), k.bStipple ? cat(stip, k.want) : k.want);
        if (bPacket) {
            const auto& cs = packets[0].constants;
            ASSERT_GE(cs.size(), 2u);
            EXPECT_EQ(cs[cs.size() - 2], ColourOf(0));
        }
    }
}

TEST_F(LineTest, TheGeneralLineNeedsAPacketColour) {
    Prepare(kSolo, 2);
    SetThin(2);
    Lines(N_PRIM_LINES, {{2, 3, 10}, {30, 9, 11}});
    Draw(_NvpRenderPLineGenKZG, batch_);
    EXPECT_TRUE(Printed("_NvpRenderPLineGenKZG: no color specified\n"));
    EXPECT_EQ(gcNext, 1u);
    EXPECT_TRUE(Packets()[0].empty());
}

TEST_F(LineTest, HardClosesOpenNewPacketsSoftClosesCarryOn) {
    struct Case {
        N_StageFn fn;
        ULONG d;
        ULONG packets;
    };
    for (const Case& k : {Case{_NvpRenderPLineGenKZG, 8, 2}, Case{_NvpRenderPLineAttr2_3KZG, 2, 1},
                          Case{_NvpRenderPLineAttr18_19KZG, 18, 2}}) {
        SCOPED_TRACE(k.d);
        Prepare(kSolo, k.d);
        SetLineProgram(kWide, k.d, k.d == 2 ? 2 : k.d == 18 ? 3 : 0, k.d == 2 ? 0 : 1);
        Attr(86, F(2.0f));
        Lines(N_PRIM_LINES, {{2, 3, 10}, {30, 9, 11}});
        Draw(k.fn, batch_);
        gColourBase = 0xD0000;
        Draw(k.fn, batch_);
        const auto packets = Packets()[0];
        ASSERT_EQ(packets.size(), k.packets);
        if (k.packets == 2) {
            EXPECT_EQ(packets[1].constants.back(), 0xD0000u) << "the second colour";
        }
    }
}

// --- antialiased lines ------------------------------------------------------------------------

TEST_F(LineTest, WordsOfTheAntialiasedLines) {
    const ULONG cA = ColourOf(0), cB = ColourOf(1), aA = AlphaWordOf(0), aB = AlphaWordOf(1);
    const ULONG A = Pos(2, 3), B = Pos(30, 9);
    ULONG block[8], rot[8];
    _NLineStippleBlock(0x0F0F0F0F, 4, block);
    _NLineStippleRotate(block, 2, rot);
    const Prim stip(rot, rot + 8);
    struct Case {
        const char* name;
        N_StageFn fn;
        ULONG d;
        float width;
        bool bStipple;
        ULONG packet;  // per-packet words
        Prim want;     // besides the stipple block
    };
    const Case cases[] = {
        {"8", _NvpRenderAALineAttr8KZG, 8, 1.0f, false, 1, {0xFF, 0xFF, 0, A, B, 16}},
        {"8 narrow", _NvpRenderAALineAttr8KZG, 8, 0.4f, false, 1, {0xFF, 0xFF, 0, A, B, 8}},
        {"2", _NvpRenderAALineAttr2KZG, 2, 1.0f, false, 0, {cA, cB, 0xFF, 0xFF, 0, A, B, 16}},
        {"gen 3", _NvpRenderAALineGenKZG, 3, 1.0f, false, 0, {cA, cB, aA, aB, aB, 0xFF, 0xFF, 0, A, B, 16}},
        {"gen 6 wide", _NvpRenderAALineGenKZG, 6, 2.0f, false, 0, {cB, aB, 0xFF, 0xFF, 0, A, B, 24}},
        {"gen 18 stippled", _NvpRenderAALineGenKZG, 18, 1.0f, true, 1, {10, 11, 11, 0xFF, 0xFF, 0, A, B, 16}},
        {"gen 9", _NvpRenderAALineGenKZG, 9, 1.49f, false, 2, {0xFF, 0xFF, 0, A, B, 16}},
        {"gen 1", _NvpRenderAALineGenKZG, 1, 1.5f, false, 0, {A, B, 24}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Prepare(kSolo, k.d);
        const ULONG kernel = static_cast<ULONG>(k.width + 1.5f);
        SetLineProgram(kernel == 2 ? 3 : kernel == 4 ? 4 : 2, k.d, ULONG(k.want.size()) - 3, k.packet, k.bStipple);
        Attr(86, F(k.width));
        Attr(87, k.bStipple ? 0x0F0F0F0F : 0xFFFFFFFF);
        Attr(88, 4);
        Lines(N_PRIM_LINES, {{2, 3, 10}, {30, 9, 11}, {6, 6, 0}});
        Draw(k.fn, batch_);
        EXPECT_EQ(gcNext, 1u);
        const auto packets = Packets()[0];
        ASSERT_EQ(packets.size(), 1u);
        ASSERT_EQ(packets[0].primitives, 1u);
        Prim want = k.want;
        if (k.bStipple) want.insert(want.begin(), stip.begin(), stip.end());
        EXPECT_EQ(packets[0].primitive(0), want);
        if (k.packet != 0) {
            const auto& cs = packets[0].constants;
            ASSERT_GE(cs.size(), k.packet);
            EXPECT_EQ(cs[cs.size() - k.packet], ColourOf(0));
        }
    }
}

TEST_F(LineTest, ZeroLengthAntialiasedSegments) {
    // Layout 8 never sends one, not even as a packet's first primitive;
    // layout 2 sends it then.
    struct Case {
        N_StageFn fn;
        ULONG d, data, packet, sent;
    };
    for (const Case& k : {Case{_NvpRenderAALineAttr8KZG, 8, 3, 1, 1}, Case{_NvpRenderAALineAttr2KZG, 2, 5, 0, 2}}) {
        SCOPED_TRACE(k.d);
        Prepare(kSolo, k.d);
        SetLineProgram(3, k.d, k.data, k.packet);
        Lines(N_PRIM_LINE_STRIP, {{5, 5, 0}, {5, 5, 0}, {40, 5, 0}, {40, 5, 0}});
        Draw(k.fn, batch_);
        const auto got = Received()[0];
        ASSERT_EQ(got.size(), k.sent);
        EXPECT_EQ(got.back()[got.back().size() - 3], Pos(5, 5)) << "the next segment starts at the same point";
        EXPECT_EQ(got.back()[got.back().size() - 2], Pos(40, 5));
    }
}

TEST_F(LineTest, ThinningPassesOverCloseVertices) {
    struct Case {
        std::vector<std::array<LONG, 3>> v;
        std::vector<std::pair<ULONG, ULONG>> thinned;  // segments as vertex pairs
    };
    const Case cases[] = {
        {{{0, 0, 0}, {2, 1, 0}, {3, 3, 0}, {10, 0, 0}}, {{0, 3}}},
        {{{0, 0, 0}, {1, 1, 0}, {2, 2, 0}}, {{0, 2}}},
        {{{0, 0, 0}, {4, 0, 0}, {5, 0, 0}}, {{0, 1}, {1, 2}}},
        // Compared with the last vertex kept, not the one before.
        {{{0, 0, 0}, {2, 0, 0}, {4, 0, 0}, {6, 0, 0}, {8, 0, 0}, {9, 0, 0}}, {{0, 2}, {2, 4}, {4, 5}}},
        {{{0, 0, 0}, {0, 0, 0}}, {{0, 1}}},
    };
    for (bool bAA : {true, false}) {
        for (const Case& k : cases) {
            Prepare(kSolo, bAA ? 8 : 9);
            SetLineProgram(bAA ? 3 : kThin, bAA ? 8 : 9, bAA ? 3 : 0, bAA ? 1 : 2);
            auto pos = [&](const Prim& p) { return std::pair{p[p.size() - (bAA ? 3 : 2)], p[p.size() - (bAA ? 2 : 1)]}; };
            // A strip of one vertex before it: the walk starts at the right vertex.
            std::vector<std::array<LONG, 3>> v{{99, 99, 0}};
            for (auto w : k.v) v.push_back({w[0] + 200, w[1] + 200, 0});
            Lines(N_PRIM_LINE_STRIP, v, {1, ULONG(k.v.size())});
            for (ULONG whole : {0u, 1u}) {
                SCOPED_TRACE(testing::Message() << "aa " << bAA << " whole " << whole << " first " << k.v.size());
                ctx_->fromExecPrimitive = whole;
                Draw(bAA ? _NvpRenderAAPLListChooseKZG : _NvpRenderPLListAttr9ChooseKZG, batch_);
                std::vector<std::pair<ULONG, ULONG>> got, want;
                const auto prims = Received()[0];
                for (const auto& p : prims) got.push_back(pos(p));
                if (whole == 1) {
                    for (ULONG i = 1; i + 1 < v.size(); ++i) want.push_back({i, i + 1});
                } else {
                    for (auto [a, b] : k.thinned) want.push_back({a + 1, b + 1});
                }
                for (auto& [a, b] : want) a = Pos(v[a][0], v[a][1]), b = Pos(v[b][0], v[b][1]);
                EXPECT_EQ(got, want);
            }
            ctx_->fromExecPrimitive = 0;
        }
    }
}

TEST_F(LineTest, ThinningInSixteenths) {
    Prepare(kSolo, 9, 1);
    SetLineProgram(kThin, 9, 0, 2);
    Lines(N_PRIM_LINE_STRIP, {{0, 0, 0}, {3, 3, 0}, {20, 0, 0}, {40, 0, 0}}, {4});
    Draw(_NvpRenderPLListAttr9ThinKZG, batch_);
    EXPECT_EQ(Received()[0], (std::vector<Prim>{{0, 20}, {20, 40}})) << "3 sixteenths apart passed over";
}

// --- the slots ----------------------------------------------------------------------------------

TEST(LineSlots, TheSelectorsSlotsHoldTheFunctions) {
    const std::pair<ULONG, N_StageFn> slots[] = {
        {N_RF_LINE_2, _NvpRenderLineAttr2KZG},       {N_RF_LINE_5, _NvpRenderLineAttr5KZG},
        {N_RF_LINE_8, _NvpRenderLineAttr8KZG},       {N_RF_LINE_12, _NvpRenderLineAttr12KZG},
        {N_RF_LINE_15, _NvpRenderLineAttr15KZG},     {N_RF_LINE_18, _NvpRenderLineAttr18KZG},
        {N_RF_STRIP_LIST_2, _NvpRenderPLListAttr2KZG}, {N_RF_STRIP_LIST_5, _NvpRenderPLListAttr5KZG},
        {N_RF_STRIP_LIST_8, _NvpRenderPLListAttr8KZG}, {N_RF_STRIP_LIST_12, _NvpRenderPLListAttr12KZG},
        {N_RF_STRIP_LIST_15, _NvpRenderPLListAttr15KZG}, {N_RF_STRIP_LIST_18, _NvpRenderPLListAttr18KZG},
        {N_RF_POLYLINE_LIST, _NvpRenderPLListGenKZ}, {N_RF_WIDE_LINE_2, _NvpRenderPLineAttr2_3KZG},
        {N_RF_WIDE_LINE_5, _NvpRenderPLineAttr5_6KZG}, {N_RF_WIDE_LINE_8, _NvpRenderPLineGenKZG},
        {N_RF_WIDE_LINE_12, _NvpRenderPLineAttr12_13KZG}, {N_RF_WIDE_LINE_15, _NvpRenderPLineAttr15_16KZG},
        {N_RF_WIDE_LINE_18, _NvpRenderPLineAttr18_19KZG}, {N_RF_ALPHA_LINE_9, _NvpRenderPLineAttr9KZG},
        {N_RF_AA_LINE, _NvpRenderAALineGenKZG},      {N_RF_AA_LINE_8, _NvpRenderAALineAttr8KZG},
        {N_RF_AA_LINE_2, _NvpRenderAALineAttr2KZG},  {N_RF_AA_STRIP_ONE_QUEUE, _NvpRenderAAPLListChooseKZG},
        {N_RF_AA_STRIP_QUEUES, _NvpRenderAAPLListChooseKZG}, {N_RF_ALPHA_STRIP_ONE_QUEUE, _NvpRenderPLListAttr9ChooseKZG},
        {N_RF_ALPHA_STRIP_QUEUES, _NvpRenderPLListAttr9ChooseKZG},
    };
    for (const auto& [slot, fn] : slots) EXPECT_EQ(_NRenderFcn(slot), fn) << _NRenderFcnName(slot);
}

// --- routing ----------------------------------------------------------------------------------

class LineRouting : public LineTest, public ::testing::WithParamInterface<BoardModel> {};

TEST_P(LineRouting, EachSegmentReachesTheOwnersOfItsTiles) {
    for (N_StageFn fn : {_NvpRenderLineAttr2KZG, _NvpRenderPLListAttr2KZG, _NvpRenderPLineAttr2_3KZG}) {
        Prepare(GetParam(), 2);
        const bool bWide = fn == _NvpRenderPLineAttr2_3KZG;
        SetLineProgram(bWide ? kWide : kThin, 2, 2, 0);
        if (bWide) Attr(86, F(3.0f));
        const bool bSplit = qm_->pLayout->bSplitScreen != 0;
        const LONG cx = plGLScreenSize(Pdev())[0];
        // A strip through one tile, across tiles, back, and across the screen.
        Lines(N_PRIM_LINE_STRIP,
              {{10, 10, 0}, {20, 12, 0}, {30, 40, 0}, {140, 40, 0}, {150, 200, 0}, {20, 20, 0}, {cx - 1, 20, 0}},
              {7});
        Draw(fn, batch_);
        const auto got = Received();
        auto tileOwner = [&](LONG x, LONG y) { return board_->tile_owner(bSplit && x >= cx ? 1 : 0, x, y); };
        for (ULONG s = 0; s + 1 < batch_.v.size(); ++s) {
            SCOPED_TRACE(testing::Message() << "segment " << s);
            Prim want = Thin(2, s, s + 1);
            if (bWide) want.push_back(24);
            const auto &a = batch_.v[s], &b = batch_.v[s + 1];
            std::set<int> owners{tileOwner(a[0], a[1]), tileOwner(b[0], b[1])};
            for (ULONG r = 0; r < Queues(); ++r) {
                const bool bHas = std::find(got[r].begin(), got[r].end(), want) != got[r].end();
                if (owners.count(static_cast<int>(r)) != 0) {
                    EXPECT_TRUE(bHas) << "owner " << r;
                }
            }
        }
    }
}

// A strip of a list that starts away from where the strip before it ended
// reaches the owner of its start.
TEST_P(LineRouting, EachStripOfAListStartsItsOwnRoute) {
    for (N_StageFn fn : {_NvpRenderPLListAttr2KZG, _NvpRenderPLListGenKZ}) {
        Prepare(GetParam(), 2);
        SetThin(2);
        const bool bSplit = qm_->pLayout->bSplitScreen != 0;
        Lines(N_PRIM_LINE_STRIP, {{10, 10, 0}, {20, 12, 0}, {300, 300, 0}, {20, 14, 0}, {400, 10, 0}, {30, 20, 0}},
              {2, 2, 2});
        ctx_->blocks[N_PRIM_LINE_STRIP & 15].front.mode = 0x2;
        Draw(fn, batch_);
        ctx_->blocks[N_PRIM_LINE_STRIP & 15].front.mode = 0;
        const auto got = Received();
        for (ULONG s = 0; s < 3; ++s) {
            SCOPED_TRACE(testing::Message() << "strip " << s);
            const Prim want = Thin(2, 2 * s, 2 * s + 1);
            for (ULONG v : {2 * s, 2 * s + 1}) {
                const int r = board_->tile_owner(0, batch_.v[v][0], batch_.v[v][1]);
                if (bSplit) continue;
                EXPECT_NE(std::find(got[r].begin(), got[r].end(), want), got[r].end()) << "owner " << r;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, LineRouting, ::testing::ValuesIn(kModels), BoardModelName);

}  // namespace
