// The board's stipple cell load (0x086): rectangles drawn under sixteen
// cell rows that the packet carries once, laid from each rectangle's first
// pixel, with the per-packet register words after the cell words.
#include <array>
#include <cstring>

#include "board_stream_util.h"

namespace vnx::board::test {
namespace {

constexpr std::uint32_t kPid32 = 0xA000;  // 32 bits a pixel, space 0
// The GL server's load: rgb0 <- 27 where the cell bit is set, <- 28 where
// it is clear.
constexpr std::uint32_t kCommand = 0x02205086;
constexpr std::uint32_t kSet = 0x02360348, kClear = 0x0A380348;
constexpr std::uint32_t kSetValue = 0xF0, kClearValue = 0x0A;

std::vector<std::uint32_t> rect(std::uint32_t x0, std::uint32_t y0, std::uint32_t x1, std::uint32_t y1) {
    return {vtx(x0, y0), vtx(x1, y0), vtx(x1, y1), vtx(x0, y1)};
}

// A cell: row 2k in the low half of word k, each row's first pixel in bit 0.
using Cell = std::array<std::uint32_t, 8>;
Cell CellOf(const std::array<std::uint16_t, 16>& rows) {
    Cell c{};
    for (int k = 0; k < 8; ++k) c[k] = rows[2 * k] | std::uint32_t{rows[2 * k + 1]} << 16;
    return c;
}
// Bit (x & 15) of row (y & 15).
bool CellBit(const std::array<std::uint16_t, 16>& rows, int x, int y) { return (rows[y & 15] >> (x & 15)) & 1; }

class BoardStippleTest : public BoardTest {
protected:
    void SetUp() override {
        make();
        for (int r = 0; r < board->rasterizers(); ++r) {
            start(r);
            writers.push_back(writer(r));
            board->write_register(r, VNX_REG_PAGE_SLOT0, 0);  // space 0's first page
        }
    }
    void TearDown() override { EXPECT_EQ(error_text(), ""); }
    void send(const std::vector<std::uint32_t>& words) {
        writers[0].put(words);
        expose(0, writers[0].hand_over());
    }
    std::vector<std::uint32_t> load(std::uint32_t command, const Cell& cell,
                                    const std::vector<std::vector<std::uint32_t>>& rects) {
        std::vector<std::uint32_t> w = {command, static_cast<std::uint32_t>(rects.size()), kPid32, kSet, kClear};
        w.insert(w.end(), cell.begin(), cell.end());
        w.push_back(kSetValue);
        w.push_back(kClearValue);
        for (const auto& r : rects) w.insert(w.end(), r.begin(), r.end());
        return w;
    }
    std::uint32_t at(int x, int y) {
        std::uint8_t* p = board->pixel(0, static_cast<std::uint16_t>(kPid32), x, y);
        if (p == nullptr) return 0xDEAD;
        std::uint32_t v = 0;
        std::memcpy(&v, p, 4);
        return v;
    }
    std::vector<StreamWriter> writers;
};

// Each row: the cell, the rectangle, and the pixels checked against the
// cell laid from the rectangle's first pixel.
struct CellCase {
    const char* what;
    std::array<std::uint16_t, 16> rows;
    int x0, y0, cx, cy;
};

const CellCase kCases[] = {
    {"first pixel in bit 0, the even row in the low half",
     {0x0001, 0x0002, 0x0004, 0x0008, 0x0010, 0x0020, 0x0040, 0x0080, 0x0100, 0x0200, 0x0400, 0x0800, 0x1000,
      0x2000, 0x4000, 0x8000},
     0, 0, 16, 16},
    {"a rectangle off the 16-pixel grid starts the cell at its own first pixel",
     {0x00FF, 0xFF00, 0x0F0F, 0xF0F0, 0x3333, 0xCCCC, 0x5555, 0xAAAA, 0x0000, 0xFFFF, 0x8001, 0x7FFE, 0x1234,
      0x5678, 0x9ABC, 0xDEF0},
     37, 21, 16, 16},
    {"a larger rectangle repeats the cell",
     {0x8421, 0x4218, 0x2184, 0x1842, 0x0001, 0x0003, 0x0007, 0x000F, 0xF000, 0x7000, 0x3000, 0x1000, 0x0F0F,
      0x00FF, 0xFF00, 0xFFFF},
     64, 32, 40, 35},
};

TEST_F(BoardStippleTest, RectanglesTakeTheCellFromTheirFirstPixel) {
    for (const CellCase& c : kCases) {
        SCOPED_TRACE(c.what);
        send(load(kCommand, CellOf(c.rows),
                  {rect(c.x0, c.y0, c.x0 + c.cx, c.y0 + c.cy)}));
        for (int y = c.y0 - 1; y <= c.y0 + c.cy; ++y) {
            for (int x = c.x0 - 1; x <= c.x0 + c.cx; ++x) {
                if (x < 0 || y < 0) continue;
                const bool inside = x >= c.x0 && x < c.x0 + c.cx && y >= c.y0 && y < c.y0 + c.cy;
                const std::uint32_t want =
                    !inside ? 0u : CellBit(c.rows, x - c.x0, y - c.y0) ? kSetValue : kClearValue;
                ASSERT_EQ(at(x, y), want) << x << "," << y;
            }
        }
        // Clean for the next row.
        send({0x02101026, 1, kPid32, 0x10000000u | 8u | 13u << 6 | 27u << 17, 0, 0x00FF00FF, 0,
              vtx(0, 0), vtx(255, 0), vtx(255, 255), vtx(0, 255)});
    }
    EXPECT_EQ(board->summary(0).unexecuted, 0u);
}

// The load reads neither nor changes the rasterizer's mask pattern: a
// two-colour fill after it still draws under the pattern loaded before.
TEST_F(BoardStippleTest, TheMaskPatternStaysAsItWas) {
    send({0x00100280, 1, 0x001402C8, 0xFFFF'FFFF, 0xFFFF'FFFF, 0xFFFF'FFFF, 0xFFFF'FFFF, 0xFFFF'FFFF,
          0xFFFF'FFFF, 0xFFFF'FFFF, 0xFFFF'FFFF, 0});
    send(load(kCommand, Cell{}, {rect(0, 0, 16, 16)}));
    EXPECT_EQ(at(3, 3), kClearValue);  // an empty cell: every pixel clear
    send({0x02205226, 1, kPid32, 0x02000000u | 8u | 13u << 6 | 27u << 17, 0x0A000000u | 8u | 13u << 6 | 28u << 17,
          0, 100u << 16 | 100u, 0x77, 0x11, vtx(0, 0), vtx(16, 0), vtx(16, 16), vtx(0, 16)});
    EXPECT_EQ(at(3, 3), 0x77u);  // the full pattern, not the empty cell
}

// What the model does not take: a cell load whose registers come per
// primitive is not carried out; cell words on a line packet have no layout.
TEST_F(BoardStippleTest, OtherFormsAreRefused) {
    // Register 27 once a primitive (load kind 2): one more word a primitive.
    std::vector<std::uint32_t> w = {kCommand + 0x1000, 1, kPid32, kSet, kClear};
    for (int k = 0; k < 8; ++k) w.push_back(0xFFFFFFFF);
    w.push_back(kClearValue);
    for (std::uint32_t v : {kSetValue, vtx(0, 0), vtx(4, 0), vtx(4, 4), vtx(0, 4)}) w.push_back(v);
    send(w);
    EXPECT_EQ(board->summary(0).unexecuted, 1u);
    EXPECT_EQ(at(1, 1), 0u);

    writers[0].put({0x02205091, 1, kPid32, kSet, kClear});
    expose(0, writers[0].hand_over());
    const std::string errors = error_text();  // taken: none left for TearDown
    EXPECT_NE(errors.find("packet layout not known"), std::string::npos) << errors;
}

}  // namespace
}  // namespace vnx::board::test
