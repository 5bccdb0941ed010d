// The board's line packets under render programs (thin class 0x11, wide
// 0x12): the pixels a segment covers, its data registers by load kind
// (the generator's numbering: 3 a word per vertex, 2 one a segment),
// wide segments' columns, the stipple block and the tiles of 1, 2 and 4
// rasterizers.
#include <array>
#include <map>
#include <set>

#include "board_stream_util.h"
#include "kzuinstr.h"

namespace vnx::board::test {
namespace {

constexpr std::uint32_t kPid32 = 0xA000;  // 32 bits a pixel, space 0
constexpr std::uint32_t kCopy = kzuInstr(KZU_OP_COPY, KZU_pixmap0, KZU_rgb0, 0) | KZU_CLIP;
constexpr std::uint32_t kStippledCopy = kCopy | KZU_STIPPLE;
constexpr std::uint32_t kClipMax = 255u << 16 | 255u;  // the last pixel, included

std::uint32_t pos(float x, float y) {
    return static_cast<std::uint32_t>(y * 16) << 16 | static_cast<std::uint32_t>(x * 16);
}

struct Segment {
    float x0, y0, x1, y1;
    std::uint32_t c0, c1;  // colours of the ends (c0 alone when one a segment)
};

class BoardLine3dTest : public BoardTest {
protected:
    void boot(int rasterizers = 1) {
        miniport::MachineConfig cfg;
        cfg.rasterizers = rasterizers;
        make(cfg);
        writers.clear();
        for (int r = 0; r < board->rasterizers(); ++r) {
            start(r);
            writers.push_back(writer(r));
            for (std::uint32_t s = 0; s < 4; ++s)
                board->write_register(r, VNX_REG_PAGE_SLOT0 + 4 * s, (s / 2) << 11 | (s % 2) << 5);
        }
    }
    // One line packet to every rasterizer: class 0x11 (or 0x12 with a
    // width word of `width` pixels), rgb0 of the load kind given, the
    // stipple block (eight words a primitive) when given.
    void draw(const std::vector<Segment>& segs, std::uint32_t kind, int width = 0,
              const std::array<std::uint32_t, 8>* block = nullptr) {
        std::uint32_t cmd = (width > 0 ? 0x12u : 0x11u) | KZU_HDR_CLIP | kzuHdrLoadKind(KZU_rgb0, kind) |
                            1u << KZU_HDR_INSTR_SHIFT | 1u << KZU_HDR_PIDW_SHIFT;
        if (block != nullptr) cmd |= KZU_HDR_STIPPLE;
        std::vector<std::uint32_t> w = {cmd, std::uint32_t(segs.size()), kPid32, block ? kStippledCopy : kCopy, 0,
                                        kClipMax};
        for (const Segment& s : segs) {
            if (block != nullptr) w.insert(w.end(), block->begin(), block->end());
            w.push_back(s.c0);
            if (kind == KZU_LOAD_VERTEX) w.push_back(s.c1);
            w.push_back(pos(s.x0, s.y0));
            w.push_back(pos(s.x1, s.y1));
            if (width > 0) w.push_back(std::uint32_t(width) * 8);
        }
        for (int r = 0; r < board->rasterizers(); ++r) {
            writers[size_t(r)].put(w);
            expose(r, writers[size_t(r)].hand_over());
        }
    }
    // The lit pixels of the top-left 256 x 256 and their values.
    std::map<std::pair<int, int>, std::uint32_t> lit() {
        std::map<std::pair<int, int>, std::uint32_t> m;
        const auto px = board->read_pixels(0, kPid32, 0, 0, 256, 256);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
                if (px[size_t(y * 256 + x)] != 0) m[{x, y}] = px[size_t(y * 256 + x)];
        return m;
    }
    void TearDown() override {
        if (board) {
            EXPECT_EQ(error_text(), "");
            for (int r = 0; r < board->rasterizers(); ++r) EXPECT_EQ(board->summary(r).unexecuted, 0u);
        }
    }
    std::vector<StreamWriter> writers;
};

// A segment covers the pixel nearest it at each column (row) from its
// first end up to, not including, its second; a colour word a vertex is
// interpolated per channel along it, one word a segment colours it whole.
TEST_F(BoardLine3dTest, SegmentsCoverTheirColumnsAndTakeTheirColoursByLoadKind) {
    boot();
    draw({{10.0f, 20.0f, 20.0f, 20.0f, 0x000000, 0x0A0A00}, {40.0f, 10.0f, 40.0f, 14.0f, 0x000010, 0x000050}},
         KZU_LOAD_VERTEX);
    auto m = lit();
    // The first pixel of each is black (colour 0): count the rest.
    std::map<std::pair<int, int>, std::uint32_t> want;
    for (int x = 11; x < 20; ++x) want[{x, 20}] = std::uint32_t(x - 10) * 0x010100;
    for (int y = 10; y < 14; ++y) want[{40, y}] = 0x10 + std::uint32_t(y - 10) * 0x10;
    EXPECT_EQ(m, want);

    // One word a segment (kind 2): every pixel of it that colour; a
    // y-major segment, drawn upwards, keeps its first end and drops its last.
    boot();
    draw({{60.0f, 50.0f, 63.0f, 40.0f, 0x123456, 0}}, KZU_LOAD_PRIMITIVE);
    m = lit();
    ASSERT_EQ(m.size(), 10u);
    for (const auto& [p, v] : m) {
        EXPECT_EQ(v, 0x123456u);
        EXPECT_GT(p.second, 40);
        EXPECT_LE(p.second, 50);
    }
    EXPECT_EQ(m.count({60, 50}), 1u);
    EXPECT_EQ(m.count({63, 41}), 1u);
}

// A wide segment covers `width` pixels across its major axis in each
// column, centred on the thin line's pixel.
TEST_F(BoardLine3dTest, WideSegmentsCoverTheirWidthInEachColumn) {
    for (int width : {2, 3}) {
        boot();
        draw({{10.0f, 30.0f, 30.0f, 30.0f, 0xFF, 0xFF}, {80.0f, 10.0f, 80.0f, 20.0f, 0xFF, 0xFF}}, KZU_LOAD_VERTEX,
             width);
        const auto m = lit();
        std::map<std::pair<int, int>, std::uint32_t> want;
        // Two pixels about a line through sample points: the lower row, the
        // left column.
        const int top = width == 2 ? 30 : 29, left = 79;
        for (int x = 10; x < 30; ++x)
            for (int k = 0; k < width; ++k) want[{x, top + k}] = 0xFF;
        for (int y = 10; y < 20; ++y)
            for (int k = 0; k < width; ++k) want[{left + k, y}] = 0xFF;
        EXPECT_EQ(m, want) << "width " << width;
    }
}

// A sloped wide segment whose band edge runs through sample points keeps
// the pixels on its left edge: across an x-major segment the smaller y
// where y falls as x grows, else the larger; across a y-major one the
// smaller x, whichever way it runs; a diagonal likewise along its rows,
// which share their data.
TEST_F(BoardLine3dTest, SlopedWideSegmentsKeepTheirBandsLeftEdge) {
    static const struct {
        Segment seg;
        bool xMajor;  // probe a column (else a row)
        int at;       // the column or row probed
        std::set<int> want;  // the pixels lit across it
    } kCases[] = {
        {{10, 40, 40, 25, 0xFF, 0xFF}, true, 12, {38, 39}},    // y falls: edge 38 kept, 40 not
        {{10, 40, 40, 25, 0xFF, 0xFF}, true, 13, {38, 39}},    // no tie
        {{10, 60, 40, 75, 0xFF, 0xFF}, true, 12, {61, 62}},    // y grows: edge 62 kept, 60 not
        {{40, 75, 10, 60, 0xFF, 0xFF}, true, 12, {61, 62}},    // the same drawn backwards
        {{110, 10, 100, 40, 0xFF, 0xFF}, false, 13, {108, 109}},  // x falls: edge 108 kept
        {{100, 10, 110, 40, 0xFF, 0xFF}, false, 13, {100, 101}},  // x grows: edge 100 kept
        {{100, 10, 110, 40, 0xFF, 0xFF}, false, 14, {101, 102}},  // no tie
        {{150, 10, 170, 30, 0xFF, 0xFF}, false, 15, {154, 155}},  // diagonal: along its rows
        {{170, 50, 150, 70, 0xFF, 0xFF}, false, 55, {164, 165}},
    };
    for (const auto& c : kCases) {
        boot();
        draw({c.seg}, KZU_LOAD_VERTEX, 2);
        std::set<int> got;
        for (const auto& [p, v] : lit())
            if ((c.xMajor ? p.first : p.second) == c.at) got.insert(c.xMajor ? p.second : p.first);
        EXPECT_EQ(got, c.want) << c.seg.x0 << "," << c.seg.y0 << " -> " << c.seg.x1 << "," << c.seg.y1 << " at "
                               << c.at;
    }
    // The diagonal's fragments share their colours along its rows.
    boot();
    draw({{150, 10, 170, 30, 0x000000, 0x140000}}, KZU_LOAD_VERTEX, 2);
    const auto m = lit();
    ASSERT_EQ(m.count({154, 15}) + m.count({155, 15}) + m.count({155, 16}), 3u);
    EXPECT_EQ(m.at({154, 15}), m.at({155, 15}));
    EXPECT_EQ(m.at({155, 16}), m.at({155, 15}) + 0x010000);
}

// Stippled programs draw only where the block's bit is set, counted from
// the pixel holding the first end plus its phase (the low five bits of its
// column).
TEST_F(BoardLine3dTest, StippleBlockGatesTheStippledInstructions) {
    // Pattern 0b0011 with factor 2, as the render functions expand it: bit
    // j = pattern bit (j / 2) % 16.
    std::array<std::uint32_t, 8> block{};
    const std::uint32_t pattern = 0x0F33;
    for (std::uint32_t j = 0; j < 256; ++j)
        if ((pattern >> ((j / 2) % 16)) & 1u) block[j / 32] |= 1u << (j % 32);
    // Rotated left by the phase of column 37 (5).
    std::array<std::uint32_t, 8> rotated{};
    for (std::uint32_t i = 0; i < 8; ++i) rotated[i] = block[i] << 5 | block[(i + 7) % 8] >> 27;
    boot();
    draw({{37.0f, 12.0f, 137.0f, 12.0f, 0xFF00, 0xFF00}}, KZU_LOAD_VERTEX, 0, &rotated);
    const auto m = lit();
    std::map<std::pair<int, int>, std::uint32_t> want;
    for (int k = 0; k < 100; ++k)
        if ((pattern >> ((k / 2) % 16)) & 1u) want[{37 + k, 12}] = 0xFF00;
    EXPECT_EQ(m, want);

    // A first end between sample points: the first pixel drawn is one step
    // from the pixel holding it.
    boot();
    draw({{37.5f, 12.0f, 137.5f, 12.0f, 0xFF00, 0xFF00}}, KZU_LOAD_VERTEX, 0, &rotated);
    want.clear();
    for (int x = 38; x < 138; ++x)
        if ((pattern >> (((x - 37) / 2) % 16)) & 1u) want[{x, 12}] = 0xFF00;
    EXPECT_EQ(lit(), want);

    // A wide diagonal, drawn by rows, takes its phase from x (37) as the
    // render functions do; its steps count along either axis alike.
    boot();
    draw({{37.0f, 10.0f, 57.0f, 30.0f, 0xFF00, 0xFF00}}, KZU_LOAD_VERTEX, 2, &rotated);
    std::set<int> rows, wantRows;
    for (const auto& [p, v] : lit()) rows.insert(p.second);
    for (int k = 0; k < 20; ++k)
        if ((pattern >> ((k / 2) % 16)) & 1u) wantRows.insert(10 + k);
    EXPECT_EQ(rows, wantRows);
}

// Each rasterizer draws only its own tiles: a line across four tiles comes
// out the same on 1, 2 and 4 rasterizers.
TEST_F(BoardLine3dTest, LinesAcrossTilesAreTheSameOnEveryBoard) {
    std::map<std::pair<int, int>, std::uint32_t> first;
    for (int r : {1, 2, 4}) {
        boot(r);
        draw({{5.0f, 7.0f, 250.0f, 240.0f, 0x102030, 0xF0E0D0}}, KZU_LOAD_VERTEX, 2);
        const auto m = lit();
        EXPECT_EQ(m.size(), 2u * 245u) << r;
        if (r == 1) first = m;
        else EXPECT_EQ(m, first) << r << " rasterizers";
    }
}

}  // namespace
}  // namespace vnx::board::test
