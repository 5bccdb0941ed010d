// DrvStrokePath against the engine's software stroke of the same path on a
// host twin: every octant and the rounding ties, lines past the board's
// 16-bit range, clip rectangles, styles continuing across segments, calls
// and clip rectangles, complex clips of more than 50 rectangles for solid
// and styled lines, on boards of 1, 2 and 4 rasterizers and a split board;
// and DrvPaint against EngPaint.
#include <array>
#include <climits>

#include "display/line/line_fixture.h"

namespace vnx::test {
namespace {

struct LineCase {
    int rasterizers;
    ULONG bpp;
    int boards;
};

constexpr LONG kCx = 200, kCy = 168;

class LineDiff : public LineTest, public ::testing::WithParamInterface<LineCase> {
  protected:
    void SetUp() override {
        LineTest::SetUp();
        BootLines(GetParam().rasterizers, GetParam().bpp, GetParam().boards, kCx, kCy);
    }
};

// Lines from a centre in the 20 directions of the octants (slopes 0, 1/2,
// 1, 2, vertical and odd ones), each end with every kind of fraction: whole,
// quarter, and exactly half a pixel (the ties).
std::vector<std::array<LONG, 4>> OctantLines(LONG cx, LONG cy) {
    std::vector<std::array<LONG, 4>> v;
    const LONG fractions[] = {0, 8, -8, 13};
    const LONG dirs[][2] = {{1600, 0},    {1600, 800},   {1600, 1600}, {800, 1600},  {0, 1600},
                            {-800, 1600}, {-1600, 1600}, {-1600, 800}, {-1600, 0},   {-1600, -800},
                            {-1600, -1600}, {-800, -1600}, {0, -1600}, {800, -1600}, {1600, -1600},
                            {1600, -800}, {1500, 370},   {-370, 1500}, {40, 8},      {8, -40}};
    for (auto& d : dirs)
        for (LONG f : fractions) v.push_back({cx + f, cy + f / 2, cx + f + d[0], cy + f / 2 + d[1]});
    return v;
}

TEST_P(LineDiff, EveryOctantAndTieLightsTheEnginesPixels) {
    BRUSHOBJ* pen = Solid(Pen());
    // XOR shows any pixel drawn twice (a joint, a strip boundary).
    for (const auto& l : OctantLines(16 * 100, 16 * 84)) {
        Path p = MakePath({Segment(l[0], l[1], l[2], l[3])});
        Both(p.get(), nullptr, pen, nullptr, 0x0707, "octant line");
    }
    // A polyline with its joints, closed.
    Path poly = MakePath({{{{160, 160}, {4000, 400}, {3000, 3900}, {165, 2000}, {2408, 1208}}, true, false}}, 2);
    Both(poly.get(), nullptr, pen, nullptr, 0x0707, "closed polyline");
}

TEST_P(LineDiff, LinesBeyondTheBoardRangeAndClipRectangles) {
    BRUSHOBJ* pen = Solid(Pen());
    // Far beyond 16-bit coordinates: drawn as strips, clipped to the surface.
    const std::vector<std::array<LONG, 4>> far = {
        {-16 * 3000, 16 * 10, 16 * 3000, 16 * 250},  {0, 0, 16 * 3000, 16 * 10},
        {16 * 299, -16 * 5000, 16 * 10, 16 * 9000}, {16 * 5000, 16 * 5000, -16 * 7, -16 * 3},
        {-16 * 100, 16 * 120, 16 * 100, -16 * 80},
        // The ends of the 28.4 range.
        {INT32_MIN + 5, 16 * 7, INT32_MAX - 3, 16 * 100 + 3},
        {INT32_MAX, INT32_MIN, INT32_MIN + 1, INT32_MAX - 9}};
    for (const auto& l : far) {
        Path p = MakePath({Segment(l[0], l[1], l[2], l[3])});
        Both(p.get(), nullptr, pen, nullptr, 0x0707, "long line");
    }
    // A clip rectangle: lines inside, crossing and missing it.
    CLIPOBJ* pco = Clip({{37, 21, 151, 130}});
    for (const auto& l : OctantLines(16 * 40, 16 * 25)) {
        if (l[0] % 16 == 13) continue;
        Path p = MakePath({Segment(l[0], l[1], l[2], l[3])});
        Both(p.get(), pco, pen, nullptr, 0x0707, "clipped line");
    }
    // A clip rectangle larger than the surface clips to the surface.
    CLIPOBJ* pcoWide = Clip({{-50, -40, 5000, 4000}});
    for (const auto& l : far) {
        Path p = MakePath({Segment(l[0], l[1], l[2], l[3])});
        Both(p.get(), pco, pen, nullptr, 0x0D0D, "clipped long line");
        Both(p.get(), pcoWide, pen, nullptr, 0x0707, "line under a clip larger than the surface");
    }
}

TEST_P(LineDiff, StylesContinueAcrossSegmentsCallsAndClipRectangles) {
    BRUSHOBJ* pen = Solid(Pen());
    FLOAT_LONG user[3];
    user[0].l = 3;
    user[1].l = 1;
    user[2].l = 2;  // an odd count: dashes and gaps swap every period
    struct Style {
        FLONG fl;
        ULONG c;
    } styles[] = {{LA_ALTERNATE, 0}, {0, 3}, {LA_STARTGAP, 3}};
    CLIPOBJ* rect = Clip({{20, 15, 280, 240}});
    std::vector<RECTL> bands;  // more than 50 rectangles
    for (LONG y = 0; y < kCy; y += 9)
        for (LONG x = (y / 9) % 2 * 11; x < kCx; x += 22) bands.push_back({x, y, x + 11, y + 9});
    ASSERT_GT(bands.size(), 50u);
    CLIPOBJ* complex = Clip(bands);
    for (const Style& s : styles) {
        LINEATTRS la{};
        la.fl = s.fl;
        la.cstyle = s.c;
        la.pstyle = s.c != 0 ? user : nullptr;
        // Segments of every direction in one path, with a reset subpath;
        // then the same attributes again (the state carries on).
        Path p = MakePath({{{{100, 80}, {4000, 300}, {3700, 3500}, {300, 3900}, {500, 90}}, true, false},
                           {{{16 * 150, 16 * 10}, {16 * 20, 16 * 200}}, false, true},
                           {{{16 * 290, 16 * 250}, {16 * 5, 16 * 5}}, false, false}},
                          3);
        for (CLIPOBJ* pco : {static_cast<CLIPOBJ*>(nullptr), rect, complex}) {
            Both(p.get(), pco, pen, &la, 0x0707, "styled path");
            Both(p.get(), pco, pen, &la, 0x0D0D, "styled path again");
        }
    }
}

TEST_P(LineDiff, ComplexClipForSolidLines) {
    BRUSHOBJ* pen = Solid(Pen());
    std::vector<RECTL> cells;
    for (LONG y = 0; y < kCy; y += 13)
        for (LONG x = (y / 13) % 3 * 7; x < kCx; x += 21) cells.push_back({x, y, x + 9, y + 10});
    ASSERT_GT(cells.size(), 50u);
    CLIPOBJ* pco = Clip(cells);
    Path p = MakePath({{{{100, 80}, {4000, 300}, {3700, 3500}, {300, 3900}, {500, 90}}, true, false},
                       Segment(-16 * 2000, 16 * 7, 16 * 2400, 16 * 251)});
    Both(p.get(), pco, pen, nullptr, 0x0707, "complex clip, XOR");
    Both(p.get(), pco, pen, nullptr, 0x0D0D, "complex clip, copy");
    for (MIX mix = 1; mix <= 16; mix += 3) Both(p.get(), pco, pen, nullptr, mix | mix << 8, "every mix");
}

// The host's strip path breaks the ties exactly as the engine does: every
// octant line with ends on whole, quarter and half pixels (of x, then of
// y), drawn styled
// (every other pixel), and drawn on far past the board's 16-bit range from
// the same start, so that none of them takes the board's whole-line path.
TEST_P(LineDiff, StripPathBreaksEveryTieAsTheEngine) {
    BRUSHOBJ* pen = Solid(Pen());
    // The octant lines, and the same with the fractions of x and y
    // exchanged (ties on the y axis of steep lines).
    std::vector<std::array<LONG, 4>> lines = OctantLines(16 * 100, 16 * 84);
    for (size_t i = 0, n = lines.size(); i < n; ++i) {
        const auto& l = lines[i];
        const LONG f = l[0] - 16 * 100;
        const LONG x0 = 16 * 100 + f / 2, y0 = 16 * 84 + f;
        lines.push_back({x0, y0, x0 + l[2] - l[0], y0 + l[3] - l[1]});
    }
    for (const auto& l : lines) {
        LINEATTRS la{};
        la.fl = LA_ALTERNATE;
        Path styled = MakePath({Segment(l[0], l[1], l[2], l[3])});
        Both(styled.get(), nullptr, pen, &la, 0x0707, "styled octant line");
        Path far = MakePath({Segment(l[0], l[1], l[0] + 40 * (l[2] - l[0]), l[1] + 40 * (l[3] - l[1]))});
        Both(far.get(), nullptr, pen, nullptr, 0x0707, "octant line past the 16-bit range");
        Path back = MakePath({Segment(l[0] + 40 * (l[2] - l[0]), l[1] + 40 * (l[3] - l[1]), l[0], l[1])});
        Both(back.get(), nullptr, pen, nullptr, 0x0707, "the same line drawn towards its start");
    }
}

TEST_P(LineDiff, PaintIsTheBlitOfTheMix) {
    BRUSHOBJ* pen = Solid(Pen());
    CLIPOBJ* pco = Clip({{3, 4, 100, 50}, {120, 30, 290, 200}});
    for (MIX mix : {0x0D0Du, 0x0707u, 0x0606u, 0x0101u, 0x1010u, 0x0B0Bu}) {
        EXPECT_TRUE(DrvPaint(dev_, pco, pen, nullptr, mix));
        ASSERT_TRUE(EngPaint(host_, pco, pen, nullptr, mix));
        const auto got = Board(dev_), want = HostAll(host_);
        ASSERT_EQ(got, want) << "mix " << mix << ": " << FirstDifference(got, want, kCx);
    }
}

INSTANTIATE_TEST_SUITE_P(Boards, LineDiff,
                         ::testing::Values(LineCase{1, 32, 1}, LineCase{2, 16, 1}, LineCase{4, 8, 1}),
                         [](const auto& info) {
                             return std::to_string(info.param.rasterizers) + "r" +
                                    std::to_string(info.param.bpp) + "x" +
                                    std::to_string(info.param.boards);
                         });

}  // namespace
}  // namespace vnx::test
