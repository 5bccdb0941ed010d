// Text drawn by DrvTextOut compared pixel for pixel with the engine's
// EngTextOut of the same string on a host copy of the screen: proportional,
// fixed-pitch, clipped and large glyphs, opaque and transparent, on boards
// of one, two and four rasterizers and split boards, strings straddling
// tile boundaries; the glyph primitive's words, pairing at its limits,
// batches of 128, the renderers' choices, the engine punt for pattern
// brushes and the stereo pass.
#include <map>

#include "display/blt/blt_fixture.h"
#include "text/text.h"

namespace vnx::test {
namespace {

using vnx::engine::FontFace;

constexpr LONG kRows = 240;  // the screen rows the comparisons cover

// Device colours of one depth: foreground, opaque background, screen.
struct Colours {
    ULONG fg, opaque, screen;
};
Colours ColoursOf(ULONG bpp) {
    if (bpp == 8) return {0x1C, 0xE3, 0x55};
    if (bpp == 16) return {0x7C1F, 0x03E0, 0x1234};
    return {0xFF8040, 0x204080, 0x336699};
}

// A glyph made by hand: its GLYPHBITS with rows of random bits (every row
// has its first and last pixel set, so its extent shows).
struct HandGlyph {
    std::vector<std::uint64_t> storage;
    GLYPHDEF def{};
    HandGlyph(LONG cx, LONG cy, unsigned seed) {
        const LONG stride = (cx + 7) / 8;
        storage.assign((16 + static_cast<size_t>(stride * cy) + 8) / 8, 0);
        auto* pgb = reinterpret_cast<GLYPHBITS*>(storage.data());
        pgb->ptlOrigin = {0, 0};
        pgb->sizlBitmap = {cx, cy};
        std::mt19937 rng(seed);
        for (LONG y = 0; y < cy; ++y) {
            BYTE* row = pgb->aj + y * stride;
            for (LONG i = 0; i < stride; ++i) row[i] = static_cast<BYTE>(rng());
            row[0] |= 0x80;
            row[(cx - 1) / 8] |= static_cast<BYTE>(0x80 >> ((cx - 1) % 8));
            if (cx % 8) row[stride - 1] &= static_cast<BYTE>(0xFF << (8 - cx % 8));
        }
        def.pgb = pgb;
    }
    GLYPHBITS* bits() { return def.pgb; }
};

// A string of hand-made glyphs at given top-left positions.
struct HandString {
    std::vector<HandGlyph> glyphs;
    std::vector<GLYPHPOS> pos;
    STROBJ so{};
    void add(LONG x, LONG y, LONG cx, LONG cy, unsigned seed) {
        glyphs.emplace_back(cx, cy, seed);
        pos.push_back(GLYPHPOS{seed, nullptr, {x, y}});
    }
    STROBJ* finish() {
        so.cGlyphs = static_cast<ULONG>(glyphs.size());
        RECTL bk = {pos[0].ptl.x, pos[0].ptl.y, pos[0].ptl.x, pos[0].ptl.y};
        for (size_t i = 0; i < glyphs.size(); ++i) {
            pos[i].pgdf = &glyphs[i].def;
            const SIZEL s = glyphs[i].bits()->sizlBitmap;
            const LONG right = static_cast<LONG>(
                std::min<std::int64_t>(INT32_MAX, std::int64_t{pos[i].ptl.x} + s.cx));
            const LONG bottom = static_cast<LONG>(
                std::min<std::int64_t>(INT32_MAX, std::int64_t{pos[i].ptl.y} + s.cy));
            bk = {std::min(bk.left, pos[i].ptl.x), std::min(bk.top, pos[i].ptl.y),
                  std::max(bk.right, right), std::max(bk.bottom, bottom)};
        }
        so.rclBkGround = bk;
        so.pgp = pos.data();
        return &so;
    }
};

class TextTest : public BltTest {
  protected:
    void BootText(int rasterizers, int boards, ULONG bpp) {
        Boot(Machine(rasterizers, boards), Request(1024, 768, bpp));
        if (HasFatalFailure()) return;
        screen_ = EngLockSurface(device_->hsurf());
        ASSERT_NE(screen_, nullptr);
        colours_ = ColoursOf(bpp);
        twin_ = Host(ppdev->cxSurface, kRows, ppdev->iBitmapFormat);
        ASSERT_NE(twin_, nullptr);
        // The screen's rows and their twin start alike.
        RECTL all = {0, 0, ppdev->cxSurface, kRows};
        BRUSHOBJ* pbo = Solid(colours_.screen);
        POINTL zero = {0, 0};
        ASSERT_TRUE(DrvBitBlt(screen_, nullptr, nullptr, nullptr, nullptr, &all, nullptr, nullptr,
                              pbo, &zero, 0xF0F0));
        all = {0, 0, ppdev->cxSurface, kRows};
        ASSERT_TRUE(EngBitBlt(twin_, nullptr, nullptr, nullptr, nullptr, &all, nullptr, nullptr,
                              pbo, &zero, 0xF0F0));
    }
    void TearDown() override {
        for (STROBJ* p : strings_) vnx::engine::delete_string(p);
        for (auto& [k, pfo] : fonts_) vnx::engine::delete_font(pfo);
        strings_.clear();
        fonts_.clear();
        BltTest::TearDown();
    }

    FONTOBJ* Font(FontFace face, ULONG cy, bool bCells) {
        const int key = static_cast<int>(face) * 100000 + static_cast<int>(cy) * 2 + bCells;
        if (fonts_.count(key)) return fonts_[key];
        std::string error;
        FONTOBJ* pfo = vnx::engine::create_font({face, cy, bCells}, &error);
        EXPECT_NE(pfo, nullptr) << vnx::engine::font_file(face) << ": " << error;
        fonts_[key] = pfo;
        return pfo;
    }
    STROBJ* String(FONTOBJ* pfo, const std::string& text, POINTL at, ULONG cBatch = 0) {
        vnx::engine::StringDesc d;
        d.pfo = pfo;
        d.text = text;
        d.ptlOrigin = at;
        d.cBatch = cBatch;
        STROBJ* p = vnx::engine::create_string(d);
        EXPECT_NE(p, nullptr);
        strings_.push_back(p);
        return p;
    }

    // The string through DrvTextOut on the screen and EngTextOut on the twin.
    void Both(STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, const RECTL* prclOpaque,
              BRUSHOBJ* pboFore = nullptr) {
        BRUSHOBJ* fore = pboFore != nullptr ? pboFore : Solid(colours_.fg);
        BRUSHOBJ* opaque = Solid(colours_.opaque);
        RECTL o1 = prclOpaque ? *prclOpaque : RECTL{}, o2 = o1;
        STROBJ_vEnumStart(pstro);
        EXPECT_TRUE(DrvTextOut(screen_, pstro, pfo, pco, nullptr, prclOpaque ? &o1 : nullptr, fore,
                               opaque, nullptr, 0x0D0D));
        STROBJ_vEnumStart(pstro);
        ASSERT_TRUE(EngTextOut(twin_, pstro, pfo, pco, nullptr, prclOpaque ? &o2 : nullptr, fore,
                               opaque, nullptr, 0x0D0D));
    }
    // The screen's rows, read back through the driver, equal the twin's.
    void ExpectSame(const std::string& what) {
        Drain();
        SURFOBJ* back = Host(ppdev->cxSurface, kRows, ppdev->iBitmapFormat);
        RECTL r = {0, 0, ppdev->cxSurface, kRows};
        POINTL from = {0, 0};
        ASSERT_TRUE(DrvCopyBits(back, screen_, nullptr, nullptr, &r, &from));
        const auto got = HostAll(back), want = HostAll(twin_);
        ASSERT_EQ(got, want) << what << ": " << FirstDifference(got, want, ppdev->cxSurface);
        EXPECT_EQ(Errors(), "") << what;
    }
    // The glyph packets rasterizer r consumed since the last call.
    std::vector<DecodedPacket> GlyphPackets(int r = 0) {
        Drain();
        std::vector<DecodedPacket> v;
        for (DecodedPacket& p : Drawn(r))
            if ((p.command & 0xFFF) == 0x332) v.push_back(std::move(p));
        return v;
    }
    // The solid fill packets rasterizer 0 consumed since the last call.
    std::vector<DecodedPacket> Fills() {
        Drain();
        std::vector<DecodedPacket> v;
        for (DecodedPacket& p : Drawn(0))
            if ((p.command & 0xFFF) == 0x026) v.push_back(std::move(p));
        return v;
    }
    ULONG GlyphPrimitives(int r = 0) {
        ULONG n = 0;
        for (const auto& p : GlyphPackets(r)) n += p.primitives;
        return n;
    }

    SURFOBJ* twin_ = nullptr;
    Colours colours_{};
    std::map<int, FONTOBJ*> fonts_;
    std::vector<STROBJ*> strings_;
};

// --- against the engine, on every kind of board ------------------------------------------

struct BoardCase {
    int rasterizers;
    int boards;
    ULONG bpp;
};
void PrintTo(const BoardCase& b, std::ostream* os) {
    *os << b.rasterizers << "r" << b.boards << "b" << b.bpp;
}

class TextDiff : public TextTest, public ::testing::WithParamInterface<BoardCase> {
  protected:
    void SetUp() override {
        TextTest::SetUp();
        BootText(GetParam().rasterizers, GetParam().boards, GetParam().bpp);
    }
    // Where a line of text starts: on a split board across the screens'
    // boundary, else across tile columns.
    LONG X0() const { return GetParam().boards == 2 ? 900 : 100; }
};

// Lines at y 120-135 straddle the tile row at 128, and every line crosses
// tile columns at 128 or 256 (1024 on a split board).
TEST_P(TextDiff, ProportionalAndFixedPitchLines) {
    const LONG x0 = X0();
    FONTOBJ* sans = Font(FontFace::Sans, 12, false);
    FONTOBJ* mono = Font(FontFace::SansMono, 12, false);
    FONTOBJ* sansCells = Font(FontFace::Sans, 12, true);
    FONTOBJ* monoCells = Font(FontFace::SansMono, 13, true);
    ASSERT_TRUE(sans && mono && sansCells && monoCells);
    const std::string line = "The quick brown fox jumps over the lazy dog; 0123456789 (Wij)!";
    Both(String(sans, line, {x0, 20}), sans, nullptr, nullptr);
    Both(String(mono, line, {x0 + 3, 40}), mono, nullptr, nullptr);
    // Opaque: the cell fonts' glyphs draw their own background; the opaque
    // rectangle around them is filled in pieces.
    STROBJ* s = String(sansCells, line, {x0 + 5, 130});
    RECTL opaque = {s->rclBkGround.left - 4, s->rclBkGround.top - 3, s->rclBkGround.right + 6,
                    s->rclBkGround.bottom + 2};
    Both(s, sansCells, nullptr, &opaque);
    STROBJ* m = String(monoCells, line, {x0 + 1, 160});
    Both(m, monoCells, nullptr, &m->rclBkGround);
    // An opaque rectangle that holds only part of the cells: the cells
    // outside it keep what lies below them.
    STROBJ* part = String(sansCells, line, {x0 + 2, 178});
    RECTL middle = {part->rclBkGround.left + 30, part->rclBkGround.top + 4,
                    part->rclBkGround.right + 9, part->rclBkGround.bottom - 3};
    Both(part, sansCells, nullptr, &middle);
    // Opaque with glyph boxes: the rectangle filled, the glyphs transparent.
    STROBJ* t = String(sans, line, {x0 + 7, 190});
    RECTL o2 = {t->rclBkGround.left - 2, t->rclBkGround.top, t->rclBkGround.right,
                t->rclBkGround.bottom + 3};
    Both(t, sans, nullptr, &o2);
    ExpectSame("lines");
}

TEST_P(TextDiff, ClippedLines) {
    const LONG x0 = X0();
    FONTOBJ* sans = Font(FontFace::Sans, 12, false);
    FONTOBJ* cells = Font(FontFace::SansMono, 12, true);
    ASSERT_TRUE(sans && cells);
    const std::string line = "Clipped glyphs: rows cut above and below, ABCDEFGHIJKLMNOP";
    // A region that cuts through glyphs in x and y, and a single rectangle.
    CLIPOBJ* region =
        Clip({{x0, 10, x0 + 60, 24}, {x0 + 90, 14, x0 + 200, 30}, {x0 + 220, 0, x0 + 300, 200}});
    Both(String(sans, line, {x0 + 2, 22}), sans, region, nullptr);
    STROBJ* o = String(cells, line, {x0 + 2, 124});
    RECTL opaque = {o->rclBkGround.left - 5, o->rclBkGround.top - 5, o->rclBkGround.right + 5,
                    o->rclBkGround.bottom + 5};
    CLIPOBJ* region2 = Clip({{x0 + 10, 118, x0 + 100, 126},
                             {x0 + 30, 126, x0 + 250, 150},
                             {x0 + 300, 110, x0 + 340, 140}});
    Both(o, cells, region2, &opaque);
    // Batches of seven glyphs, enumerated again for every clip rectangle.
    Both(String(sans, line, {x0 + 4, 134}, 7), sans, region2, nullptr);
    CLIPOBJ* rect = Clip({{x0 + 20, 60, x0 + 150, 70}});
    Both(String(sans, line, {x0, 70}), sans, rect, nullptr);
    STROBJ* r = String(cells, line, {x0, 95});
    RECTL o3 = {x0 - 3, 80, x0 + 180, 100};
    Both(r, cells, rect, &o3);
    ExpectSame("clipped");
}

TEST_P(TextDiff, LargeGlyphsInPieces) {
    const LONG x0 = X0();
    FONTOBJ* big = Font(FontFace::Sans, 36, false);
    FONTOBJ* bigCells = Font(FontFace::SansMono, 26, true);
    ASSERT_TRUE(big && bigCells);
    Both(String(big, "Large Heading Wg@", {x0 - 20, 60}), big, nullptr, nullptr);
    STROBJ* s = String(bigCells, "Opaque BIG", {x0 + 10, 140});
    Both(s, bigCells, nullptr, &s->rclBkGround);
    // Cut by a region: whole 16-column steps dropped at its left edges.
    CLIPOBJ* region = Clip({{x0 + 37, 170, x0 + 90, 215}, {x0 + 140, 190, x0 + 400, 230}});
    Both(String(big, "Clipped WIDE text", {x0 + 5, 215}), big, region, nullptr);
    ExpectSame("large");
}

INSTANTIATE_TEST_SUITE_P(Boards, TextDiff,
                         ::testing::Values(BoardCase{1, 1, 32}, BoardCase{2, 1, 32},
                                           BoardCase{4, 1, 32}, BoardCase{1, 1, 16},
                                           BoardCase{4, 1, 16}, BoardCase{2, 1, 8},
                                           BoardCase{4, 1, 8}, BoardCase{1, 2, 32},
                                           BoardCase{2, 2, 16}));

// --- packets and primitives --------------------------------------------------------------

// A 6x2 glyph (rows 0xFC, 0x84) at (3, 5) of the screen: rows rotated right
// by 11 into slots 5 and 6 (the low half of word 2, the high half of word
// 3), the band from x 3 to 9 around y 6.
TEST_F(TextTest, OneGlyphsWords) {
    BootText(1, 1, 32);
    HandString h;
    h.add(3, 5, 6, 2, 1);
    GLYPHBITS* pgb = h.glyphs[0].bits();
    pgb->aj[0] = 0xFC;
    pgb->aj[1] = 0x84;
    STROBJ* pstro = h.finish();
    FONTOBJ fo{1, 0, 6};
    GlyphPackets();
    Both(pstro, &fo, nullptr, nullptr);
    auto packets = GlyphPackets();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].command, 1u << 20 | 0x2001332u);
    EXPECT_EQ(packets[0].instructions, std::vector<std::uint32_t>{GLYPH_FG_WORD});
    EXPECT_EQ(packets[0].clipMin, ulClipWord(3, 5));
    EXPECT_EQ(packets[0].clipMax, ulClipWord(9, 7));
    const auto w = packets[0].primitive(0);
    ASSERT_EQ(w.size(), 11u);
    EXPECT_EQ(w[2] & 0xFFFF, 0x1F80u);
    EXPECT_EQ(w[3] >> 16, 0x1080u);
    EXPECT_EQ(w[8], 0x00600030u);
    EXPECT_EQ(w[9], 0x00600090u);
    EXPECT_EQ(w[10], 0x10u);
    ExpectSame("one glyph");

    // Opaque (a cell string): two instructions and two colour constants.
    h.so.flAccel = SO_GLYPHS_COVER_BACKGROUND;
    RECTL opaque = h.so.rclBkGround;
    Both(pstro, &fo, nullptr, &opaque);
    packets = GlyphPackets();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].command, 2u << 20 | 0x2001332u | 0x4000u);
    EXPECT_EQ(packets[0].instructions, (std::vector<std::uint32_t>{GLYPH_FG_WORD, GLYPH_BG_WORD}));
    ExpectSame("one opaque glyph");

    // The glyphs cover their box: an opaque rectangle equal to it fills
    // nothing; a larger one is filled around it, above, left, right, below.
    Both(pstro, &fo, nullptr, &opaque);
    EXPECT_TRUE(Fills().empty());
    RECTL larger = {1, 2, 12, 10};
    Both(pstro, &fo, nullptr, &larger);
    const auto fills = Fills();
    ASSERT_EQ(fills.size(), 1u);
    const RECTL want[] = {{1, 2, 12, 5}, {1, 5, 3, 7}, {9, 5, 12, 7}, {1, 7, 12, 10}};
    ASSERT_EQ(fills[0].primitives, 4u);
    for (ULONG i = 0; i < 4; ++i) {
        EXPECT_EQ(fills[0].vertex(i, 0), ulPackVertex(want[i].left, want[i].top)) << i;
        EXPECT_EQ(fills[0].vertex(i, 2), ulPackVertex(want[i].right, want[i].bottom)) << i;
    }
    ExpectSame("opaque pieces");
}

// Two narrow glyphs share a primitive when the second starts at most 8
// pixels right of the first one's left edge and not left of its right edge,
// with equal heights and tops; the pixels always equal the engine's.
TEST_F(TextTest, PairingAtItsLimits) {
    BootText(1, 1, 32);
    struct Case {
        LONG w1, w2, d, dy, h2;
        ULONG prims;
    } cases[] = {
        {6, 6, 7, 0, 9, 1},                       // one primitive 13 wide
        {6, 6, 6, 0, 9, 1},                       // touching
        {8, 8, 8, 0, 9, 1},                       // the widest pair: 16 pixels
        {1, 8, 8, 0, 9, 1},  {6, 6, 5, 0, 9, 2},  // overlapping
        {6, 6, 9, 0, 9, 2},  // too far: the first glyph's bits would leave the row
        {3, 3, 12, 0, 9, 2}, {6, 6, 7, 1, 9, 2},  // another top
        {6, 6, 7, 0, 8, 2},                       // another height
        {8, 9, 8, 0, 9, 2},                       // the second too wide
        {9, 4, 9, 0, 9, 2},                       // the first too wide
    };
    FONTOBJ fo{1, 0, 9};
    LONG x = 5;
    unsigned seed = 10;
    for (const Case& c : cases) {
        // The pair straddles x 128 for some phases and none for others.
        HandString h;
        h.add(x, 10, c.w1, 9, seed++);
        h.add(x + c.d, 10 + c.dy, c.w2, c.h2, seed++);
        Both(h.finish(), &fo, nullptr, nullptr);
        EXPECT_EQ(GlyphPrimitives(), c.prims) << c.w1 << " " << c.w2 << " d " << c.d;
        ExpectSame("pair at x " + std::to_string(x));
        if (HasFatalFailure()) return;
        x += 23;
    }
    // Fixed pitch: the positions step by ulCharInc from the first glyph.
    HandString h;
    for (int i = 0; i < 6; ++i) h.add(i == 0 ? 30 : 999, 40, 5, 7, seed++);
    STROBJ* pstro = h.finish();
    pstro->ulCharInc = 7;
    for (int i = 1; i < 6; ++i) h.pos[i].ptl.x = 30 + 7 * i;  // what the engine draws
    pstro->rclBkGround = {30, 40, 30 + 7 * 5 + 5, 47};
    for (int i = 1; i < 6; ++i) h.pos[i].ptl.x = 999;  // what the driver must not read
    BRUSHOBJ* fore = Solid(colours_.fg);
    EXPECT_TRUE(
        DrvTextOut(screen_, pstro, &fo, nullptr, nullptr, nullptr, fore, nullptr, nullptr, 0x0D0D));
    EXPECT_EQ(GlyphPrimitives(), 3u);
    for (int i = 1; i < 6; ++i) h.pos[i].ptl.x = 30 + 7 * i;
    ASSERT_TRUE(
        EngTextOut(twin_, pstro, &fo, nullptr, nullptr, nullptr, fore, nullptr, nullptr, 0x0D0D));
    ExpectSame("fixed pitch");
}

// Packets hold at most 128 primitives; a large glyph goes in bands of 16
// rows and pieces of 16 columns; a glyph wholly outside a rectangle of a
// complex clip makes no primitive; glyphs off the board's left and top keep
// the pixels that lie on it.
TEST_F(TextTest, BatchesPiecesAndSkips) {
    BootText(1, 1, 16);
    FONTOBJ small{1, 0, 4};
    HandString many;
    for (int i = 0; i < 130; ++i) many.add(2 + 6 * i, 30 + (i % 3), 4, 6, 100 + i);  // no pairs
    Both(many.finish(), &small, nullptr, nullptr);
    auto packets = GlyphPackets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].primitives, 128u);
    EXPECT_EQ(packets[1].primitives, 2u);
    ExpectSame("130 glyphs");

    FONTOBJ large{2, 0, 40};
    HandString big;
    big.add(61, 60, 40, 20, 7);
    Both(big.finish(), &large, nullptr, nullptr);
    packets = GlyphPackets();
    ASSERT_EQ(packets.size(), 1u);
    ASSERT_EQ(packets[0].primitives, 6u);  // two bands of three pieces
    for (ULONG i = 0; i < 6; ++i) {
        const auto w = packets[0].primitive(i);
        const LONG left = 61 + 16 * (i % 3);
        EXPECT_EQ(w[8] & 0xFFFF, static_cast<ULONG>(left) * 16) << i;
        EXPECT_EQ(w[9] & 0xFFFF, static_cast<ULONG>(std::min(left + 16, 101)) * 16) << i;
        EXPECT_EQ(w[10], i < 3 ? 16u * 8 : 4u * 8) << i;
    }
    ExpectSame("large glyph");

    HandString clipped;
    clipped.add(10, 100, 8, 8, 1);
    clipped.add(50, 100, 8, 8, 2);  // outside both rectangles
    clipped.add(90, 100, 8, 8, 3);
    CLIPOBJ* pco = Clip({{0, 90, 30, 120}, {80, 90, 120, 120}});
    Both(clipped.finish(), &small, pco, nullptr);
    EXPECT_EQ(GlyphPrimitives(), 2u);
    ExpectSame("complex clip");

    // Off the board's top left corner: what lies on the board is drawn.
    HandString edge;
    edge.add(-5, -3, 12, 9, 4);
    edge.add(-40, 150, 50, 20, 5);
    RECTL bounds = {0, 0, 200, 200};
    CLIPOBJ* rect = Clip({bounds});
    Both(edge.finish(), &large, rect, nullptr);
    ExpectSame("board edge");

    // Positions at the ends of the coordinate range draw nothing.
    GlyphPackets();
    HandString far;
    far.add(0x7FFFFFF0, 20, 12, 9, 6);
    far.add(-0x7FFFFFF0, 20, 30, 9, 7);
    far.add(20, 0x7FFFFFF0, 30, 9, 8);
    STROBJ* pstroFar = far.finish();
    for (ULONG cxMax : {12u, 30u}) {
        small.cxMax = cxMax;
        pstroFar->rclBkGround = bounds;
        Both(pstroFar, &small, rect, nullptr);
        EXPECT_EQ(GlyphPrimitives(), 0u);
    }
    ExpectSame("far off");
}

// A pattern brush for the foreground is drawn by the engine with its
// pattern; the driver sends no glyph packet for it.
TEST_F(TextTest, PatternForegroundGoesToTheEngine) {
    BootText(2, 1, 32);
    FONTOBJ* sans = Font(FontFace::Sans, 14, false);
    ASSERT_NE(sans, nullptr);
    BRUSHOBJ* pattern = PatternBrush(screen_, 5);
    GlyphPackets();
    Both(String(sans, "Patterned text", {40, 50}), sans, nullptr, nullptr, pattern);
    EXPECT_TRUE(GlyphPackets().empty());
    ExpectSame("pattern foreground");
}

// Text whose background the glyphs do not cover is handed to the board at
// once: when DrvTextOut returns, every queue's words up to its stream end
// have been given to the board. Text whose glyphs cover their box is left
// for the next flush. (The flush thread pauses for a minute here, so only
// DrvTextOut hands anything over.)
TEST_F(TextTest, TextIsHandedToTheBoardUnlessTheGlyphsCoverTheBox) {
    struct PeriodScope {
        PeriodScope() { vSetFlushThreadPeriod(60000); }
        ~PeriodScope() { vSetFlushThreadPeriod(KZ2_FLUSH_PERIOD_MS); }
    } period;
    BootText(4, 1, 32);
    HandString h;
    h.add(3, 5, 6, 2, 1);
    h.add(140, 5, 6, 2, 1);  // in another rasterizer's tile
    STROBJ* pstro = h.finish();
    FONTOBJ fo{1, 0, 6};
    auto handedOver = [&] {
        bool b = true;
        for (ULONG i = 0; i < ppdev->pqm->pLayout->cQueues; ++i)
            b = b && ppdev->pqm[i].pKicked == ppdev->pqm[i].pStreamEnd;
        return b;
    };
    Drain();
    Both(pstro, &fo, nullptr, nullptr);
    EXPECT_TRUE(handedOver()) << "plain text";
    Drain();
    RECTL larger = {1, 2, 160, 10};
    Both(pstro, &fo, nullptr, &larger);
    EXPECT_TRUE(handedOver()) << "text over an opaque rectangle it does not cover";
    Drain();
    h.so.flAccel = SO_GLYPHS_COVER_BACKGROUND;
    RECTL box = h.so.rclBkGround;
    Both(pstro, &fo, nullptr, &box);
    EXPECT_FALSE(handedOver()) << "glyphs covering their box";
    ExpectSame("text");
}

// The renderer DrvTextOut picks: the small ones for boxes and fonts up to
// 16 pixels (the clipped one under a complex clip), the large one otherwise
// and on split boards.
TEST_F(TextTest, RendererChoice) {
    BootText(1, 1, 32);
    // Two 6-pixel glyphs 8 apart: one primitive in the small renderers, two
    // in the large one.
    HandString h;
    h.add(10, 10, 6, 16, 1);
    h.add(18, 10, 6, 16, 2);
    STROBJ* pstro = h.finish();
    FONTOBJ fo{1, 0, 16};
    CLIPOBJ* region = Clip({{0, 0, 20, 40}, {25, 0, 60, 40}});
    struct Case {
        LONG cyBox;
        ULONG cxMax;
        CLIPOBJ* pco;
        ULONG prims;
    } cases[] = {
        {16, 16, nullptr, 1}, {16, 16, region, 1}, {17, 16, nullptr, 2}, {16, 17, nullptr, 2}};
    for (const Case& c : cases) {
        h.so.rclBkGround = {10, 10, 24, 10 + c.cyBox};
        fo.cxMax = c.cxMax;
        Both(pstro, &fo, c.pco, nullptr);
        EXPECT_EQ(GlyphPrimitives(), c.prims) << c.cyBox << " " << c.cxMax;
        ExpectSame("renderer");
    }
}

// In a stereo mode the glyphs are drawn again cyScreen lower, and the
// screen height and the surface's board y are as before afterwards.
TEST_F(TextTest, StereoDrawsTheSecondEyeBelow) {
    Boot(Machine(1), Request(640, 480, 32));
    screen_ = EngLockSurface(device_->hsurf());
    ASSERT_NE(screen_, nullptr);
    PAGECONFIG stereo = *gaPageConfig;
    stereo.fStereo = 1;
    PAGECONFIG* ppcWas = ppdev->pPageConfig;
    ppdev->pPageConfig = &stereo;
    const DFB* pdfb = Dfb(screen_);
    const LONG yWas = pdfb->y, cyWas = ppdev->cyScreen;
    HandString h;
    h.add(3, 4, 10, 7, 9);
    FONTOBJ fo{1, 0, 10};
    BRUSHOBJ* fore = Solid(0x00AA00);
    RECTL bounds = {0, 0, 40, 20};
    CLIPOBJ* pco = Clip({bounds});
    EXPECT_TRUE(DrvTextOut(screen_, h.finish(), &fo, pco, nullptr, nullptr, fore, nullptr, nullptr,
                           0x0D0D));
    Drain();
    ppdev->pPageConfig = ppcWas;
    EXPECT_EQ(pdfb->y, yWas);
    EXPECT_EQ(ppdev->cyScreen, cyWas);
    const auto pid = static_cast<std::uint16_t>(pdfb->pid);
    const auto eye1 = board().read_pixels(0, pid, pdfb->x, pdfb->y, 16, 12);
    const auto eye2 = board().read_pixels(0, pid, pdfb->x, pdfb->y + 480, 16, 12);
    const GLYPHBITS* pgb = h.glyphs[0].bits();
    for (LONG y = 0; y < 12; ++y)
        for (LONG x = 0; x < 16; ++x) {
            const bool inked = x >= 3 && x < 13 && y >= 4 && y < 11 &&
                               ((pgb->aj[(y - 4) * 2 + (x - 3) / 8] >> (7 - (x - 3) % 8)) & 1);
            if (inked) {
                EXPECT_EQ(eye1[y * 16 + x] & 0xFFFFFF, 0x00AA00u) << x << "," << y;
                EXPECT_EQ(eye2[y * 16 + x] & 0xFFFFFF, 0x00AA00u) << x << "," << y;
            } else {
                EXPECT_NE(eye1[y * 16 + x] & 0xFFFFFF, 0x00AA00u) << x << "," << y;
            }
        }
}

}  // namespace
}  // namespace vnx::test
