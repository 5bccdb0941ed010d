// The line packets DrvStrokePath sends: their words, batches of 512, the
// dropped zero-length line, a mix that draws nothing, a stroke that makes no
// primitive, and the strokes handed to the engine unchanged (pattern
// brushes), with DrvStretchBlt's hand-over beside them.
#include <array>
#include <set>

#include "display/line/line_fixture.h"

namespace vnx::test {
namespace {

class LinePackets : public LineTest {
  protected:
    void SetUp() override {
        LineTest::SetUp();
        BootLines(1, 32, 1, 128, 96);
        Drain();
        Drawn(0);
    }
    // The line packets rasterizer 0 consumed.
    std::vector<DecodedPacket> Lines() {
        Drain();
        std::vector<DecodedPacket> v;
        for (DecodedPacket& p : Drawn(0))
            if ((p.command & 0xFFF) == 0x03C) v.push_back(std::move(p));
        return v;
    }
};

TEST_F(LinePackets, OneLineIsOnePrimitiveOfTwoEndPoints) {
    Path p = MakePath({Segment(16 * 3 + 4, 16 * 5, 16 * 40, 16 * 20 + 8)});
    ASSERT_TRUE(DrvStrokePath(dev_, p.get(), nullptr, nullptr, Solid(0x123456), nullptr, nullptr, 0x0D0D));
    const auto v = Lines();
    ASSERT_EQ(v.size(), 1u);
    const DFB* pdfb = Dfb(dev_);
    const LONG x = pdfb->x, y = pdfb->y;
    EXPECT_EQ(v[0].command, 0x0210103Cu);
    EXPECT_EQ(v[0].pids[0], pdfb->pid);
    ASSERT_EQ(v[0].instructions.size(), 1u);
    EXPECT_EQ(v[0].instructions[0], 0x10360348u);  // pen (27) into the pixmap (13)
    EXPECT_EQ(v[0].clipMin, ULONG(y) << 16 | ULONG(x));
    EXPECT_EQ(v[0].clipMax, ULONG(y + 96) << 16 | ULONG(x + 128));
    ASSERT_EQ(v[0].constants.size(), 1u);
    EXPECT_EQ(v[0].constants[0], 0x123456u);
    ASSERT_EQ(v[0].primitives, 1u);
    EXPECT_EQ(v[0].vertex(0, 0), ULONG(16 * (y + 5)) << 16 | ULONG(16 * (x + 3) + 4));
    EXPECT_EQ(v[0].vertex(0, 1), ULONG(16 * (y + 20) + 8) << 16 | ULONG(16 * (x + 40)));

    // A mix that reads the destination (6, NOT D): its program and count.
    ASSERT_TRUE(DrvStrokePath(dev_, p.get(), nullptr, nullptr, Solid(1), nullptr, nullptr, 0x0606));
    const auto w = Lines();
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0].command & 0x40000u, 0u);
    EXPECT_EQ(w[0].instructions.size(), ULONG(w[0].command >> 20 & 31));
}

TEST_F(LinePackets, BatchesOf512AndZeroLengthLines) {
    std::vector<vnx::engine::SubPath> s;
    for (int i = 0; i < 1000; ++i) s.push_back(Segment(16 * (i % 60), 16 * (i % 40), 16 * (i % 60) + 40, 16 * (i % 40) + 9));
    Path p = MakePath(s);
    ASSERT_TRUE(DrvStrokePath(dev_, p.get(), nullptr, nullptr, Solid(7), nullptr, nullptr, 0x0D0D));
    const auto v = Lines();
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[0].primitives, 512u);
    EXPECT_EQ(v[1].primitives, 488u);

    // A line that does not move is kept only as a packet's first primitive.
    Path z = MakePath({{{{160, 160}, {160, 160}, {320, 160}, {320, 160}, {320, 160}}}});
    ASSERT_TRUE(DrvStrokePath(dev_, z.get(), nullptr, nullptr, Solid(7), nullptr, nullptr, 0x0D0D));
    const auto w = Lines();
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0].primitives, 2u);
}

// Lines past the 16-bit range are split on the host; horizontal, vertical
// and 45-degree ones make one strip each (here cut to the surface), and a
// shallow one a strip per row.
TEST_F(LinePackets, LongLinesBecomeStrips) {
    const DFB* pdfb = Dfb(dev_);
    const LONG x = pdfb->x, y = pdfb->y;
    auto v = [](LONG px, LONG py) { return (ULONG(py) << 16 | (ULONG(px) & 0xFFF)) << 4; };
    struct Case {
        std::array<LONG, 4> line;  // pixels
        ULONG cPrims;
        ULONG first0, first1;      // the first primitive (surface pixels)
    } cases[] = {
        {{-3000, 7, 3000, 7}, 1, v(0, 7), v(128, 7)},
        {{9, 3000, 9, -3000}, 1, v(9, 95), v(9, -1)},
        {{-3000, -3000, 3000, 3000}, 1, v(0, 0), v(96, 96)},
        {{0, 0, 3000, 10}, 1, v(0, 0), v(128, 0)},
        {{0, 0, 3000, 100}, 5, v(0, 0), v(16, 0)},  // a tie at x = 15 stays on row 0
    };
    for (const Case& c : cases) {
        Path p = MakePath({Segment(16 * c.line[0], 16 * c.line[1], 16 * c.line[2], 16 * c.line[3])});
        ASSERT_TRUE(DrvStrokePath(dev_, p.get(), nullptr, nullptr, Solid(7), nullptr, nullptr, 0x0D0D));
        const auto w = Lines();
        ASSERT_EQ(w.size(), 1u);
        EXPECT_EQ(w[0].primitives, c.cPrims) << c.line[2];
        EXPECT_EQ(w[0].vertex(0, 0), c.first0 + v(x, y)) << c.line[2];
        EXPECT_EQ(w[0].vertex(0, 1), c.first1 + v(x, y)) << c.line[2];
    }
}

// Routing on a board of four rasterizers: a line is tested against the
// tiles widened by a pixel at each end, away from the other end. A line
// that ends on the last pixel of a tile therefore also reaches the owner of
// the tile beyond that end; one that ends two pixels before it stays with
// its own tile's owner.
class LineRouting : public LineTest {
  protected:
    void SetUp() override {
        LineTest::SetUp();
        BootLines(4, 32, 1, 256, 256);
        Drain();
        for (int r = 0; r < board().rasterizers(); ++r) Drawn(r);
    }
};

TEST_F(LineRouting, LinesAreWidenedByAPixelForTheTileTest) {
    const DFB* pdfb = Dfb(dev_);
    // A tile corner inside the surface, 65 to 192 pixels from its origin.
    const LONG tx = ((pdfb->x + 64) / 128 + 1) * 128 - pdfb->x;
    const LONG ty = ((pdfb->y + 64) / 128 + 1) * 128 - pdfb->y;
    struct Case {
        const char* what;
        LONG x0, y0, x1, y1;  // surface pixels
        LONG xBeyond, yBeyond;  // a pixel of the tile beyond the end, or -1: none
    };
    const Case cases[] = {
        {"ends on the tile's last column", tx - 20, ty - 40, tx - 1, ty - 40, tx, ty - 40},
        {"ends two columns before it", tx - 20, ty - 40, tx - 2, ty - 40, -1, -1},
        {"ends on the tile's last row", tx - 40, ty - 20, tx - 40, ty - 1, tx - 40, ty},
        {"ends two rows before it", tx - 40, ty - 20, tx - 40, ty - 2, -1, -1},
        {"starts on the tile's first column", tx + 20, ty - 40, tx, ty - 40, tx - 1, ty - 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A first line inside the same tile, so the current queue already
        // holds a primitive of the packet when the second comes.
        Path p = MakePath({Segment(16 * (c.x0 - 3), 16 * (c.y0 - 3), 16 * (c.x0 - 1), 16 * (c.y0 - 3)),
                           Segment(16 * c.x0, 16 * c.y0, 16 * c.x1, 16 * c.y1)});
        ASSERT_TRUE(DrvStrokePath(dev_, p.get(), nullptr, nullptr, Solid(7), nullptr, nullptr, 0x0D0D));
        Drain();
        const ULONG end = ULONG(16 * (pdfb->y + c.y1)) << 16 | ULONG(16 * (pdfb->x + c.x1));
        std::set<int> got;
        for (int r = 0; r < board().rasterizers(); ++r)
            for (const DecodedPacket& d : Drawn(r))
                for (std::uint32_t i = 0; i < d.primitives; ++i)
                    if ((d.command & 0xFFF) == 0x03C && d.vertex(i, 1) == end) got.insert(r);
        std::set<int> want = {board().tile_owner(0, pdfb->x + c.x1, pdfb->y + c.y1)};
        if (c.xBeyond >= 0) want.insert(board().tile_owner(0, pdfb->x + c.xBeyond, pdfb->y + c.yBeyond));
        ASSERT_EQ(want.size(), c.xBeyond >= 0 ? 2u : 1u) << "neighbouring tiles of one owner";
        EXPECT_EQ(got, want);
        EXPECT_EQ(Errors(), "");
    }
}

TEST_F(LinePackets, NothingToDrawLeavesNoPacketAndNoHeldThread) {
    Path p = MakePath({Segment(0, 0, 16 * 60, 16 * 40)});
    // Mix 11: nothing at all.
    ASSERT_TRUE(DrvStrokePath(dev_, p.get(), nullptr, nullptr, Solid(7), nullptr, nullptr, 0x0B0B));
    EXPECT_TRUE(Lines().empty());
    // A styled line wholly outside its clip makes no primitive; with the
    // pointer on (no flush at the end) the stroke still lets the flush
    // thread in again and sends no empty packet.
    ppdev->ptr.fEnabled = 1;
    LINEATTRS la{};
    la.fl = LA_ALTERNATE;
    CLIPOBJ* pco = Clip({{50, 2, 60, 4}});
    ASSERT_TRUE(DrvStrokePath(dev_, p.get(), pco, nullptr, Solid(7), nullptr, &la, 0x0D0D));
    EXPECT_EQ(ppdev->pqm->fAutoFlush.load(), 1u);
    ppdev->ptr.fEnabled = 0;
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(Errors(), "");
}

TEST_F(LinePackets, PatternBrushesAndStretchesGoToTheEngineUnchanged) {
    BRUSHOBJ* pattern = PatternBrush(dev_, 5);
    Path p = MakePath({{{{16, 16}, {16 * 60, 16 * 30}, {16 * 3, 16 * 45}}, true, false}});
    vnx::faults::clear();
    Both(p.get(), nullptr, pattern, nullptr, 0x0D0D, "pattern brush");
    EXPECT_EQ(vnx::faults::calls("EngStrokePath"), 2);  // the driver's and the test's own
    EXPECT_TRUE(Lines().empty());

    SURFOBJ* src = Host(16, 12, ppdev->iBitmapFormat);
    RandomHost(src, 9);
    RECTL d1 = {3, 4, 50, 40}, d2 = d1, s1 = {0, 0, 16, 12}, s2 = s1;
    vnx::faults::clear();
    EXPECT_TRUE(DrvStretchBlt(dev_, src, nullptr, nullptr, nullptr, nullptr, nullptr, &d1, &s1, nullptr, COLORONCOLOR));
    ASSERT_TRUE(EngStretchBlt(host_, src, nullptr, nullptr, nullptr, nullptr, nullptr, &d2, &s2, nullptr, COLORONCOLOR));
    EXPECT_EQ(vnx::faults::calls("EngStretchBlt"), 2);
    EXPECT_EQ(Board(dev_), HostAll(host_));
    // The path fills decline, so the engine breaks them down.
    EXPECT_FALSE(DrvFillPath(dev_, p.get(), nullptr, Solid(1), nullptr, 0x0D0D, FP_ALTERNATEMODE));
    EXPECT_FALSE(DrvStrokeAndFillPath(dev_, p.get(), nullptr, nullptr, Solid(1), nullptr, Solid(2), nullptr, 0x0D0D, FP_ALTERNATEMODE));
}

}  // namespace
}  // namespace vnx::test
