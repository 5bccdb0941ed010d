// The board's executor against hand-built 2D packets: the opcodes, the
// coverage of rectangles and points, the clip pair, tile ownership, the
// pattern register, the mask pattern and its load, pixel formats, and the
// packets the model does not carry out.
#include <cstdio>

#include "board_stream_util.h"

namespace vnx::board::test {
namespace {

using miniport::MachineConfig;

constexpr std::uint32_t kPid32 = 0xA000;  // 32 bits a pixel, space 0
constexpr std::uint32_t kPid16 = 0x8001;  // 16 bits a pixel (5-5-5), space 1
constexpr std::uint32_t kPid8 = 0x4002;   // 8 bits a pixel (3-3-2), space 2

// Instruction words: opcode, destination, B and A registers.
constexpr std::uint32_t instr(std::uint32_t op, std::uint32_t dst, std::uint32_t a,
                              std::uint32_t b = 0) {
    return op | dst << 6 | b << 11 | a << 17;
}
constexpr std::uint32_t kClip = 0x10000000;
constexpr std::uint32_t kMaskSet = 0x02000000;
constexpr std::uint32_t kMaskClear = 0x0A000000;

std::vector<std::uint32_t> rect(std::uint32_t x0, std::uint32_t y0, std::uint32_t x1,
                                std::uint32_t y1) {
    return {vtx(x0, y0), vtx(x1, y0), vtx(x1, y1), vtx(x0, y1)};
}
std::uint32_t clip(std::uint32_t x, std::uint32_t y) { return y << 16 | x; }

class BoardExecTest : public BoardTest {
protected:
    void boot(const MachineConfig& cfg = MachineConfig()) {
        make(cfg);
        for (int r = 0; r < board->rasterizers(); ++r) {
            start(r);
            writers.push_back(writer(r));
            // Spaces 0, 1, 2 have their first page in slots 0, 1, 2; slot 3
            // holds the page of space 0 below its first (y 128).
            for (std::uint32_t s = 0; s < 3; ++s) board->write_register(r, VNX_REG_PAGE_SLOT0 + 4 * s, s);
            board->write_register(r, VNX_REG_PAGE_SLOT0 + 12, 1u << 11);
        }
    }
    // Puts the words into the stream of each listed rasterizer and hands
    // them to the board.
    void send(const std::vector<std::uint32_t>& words, std::vector<int> to = {0}) {
        for (int r : to) {
            writers[r].put(words);
            expose(r, writers[r].hand_over());
        }
    }
    std::uint32_t at(std::uint32_t pid, int x, int y, int r = 0) {
        std::uint8_t* p = board->pixel(r, static_cast<std::uint16_t>(pid), x, y);
        if (p == nullptr) return 0xDEAD;
        std::uint32_t v = 0;
        std::memcpy(&v, p, pid >= 0xA000 ? 4 : pid >= 0x6000 ? 2 : 1);
        return v;
    }
    void put(std::uint32_t pid, int x, int y, std::uint32_t v, int r = 0) {
        std::uint8_t* p = board->pixel(r, static_cast<std::uint16_t>(pid), x, y);
        ASSERT_NE(p, nullptr);
        std::memcpy(p, &v, pid >= 0xA000 ? 4 : pid >= 0x6000 ? 2 : 1);
    }
    // A solid fill packet: one instruction, clip pair, colour; rectangles.
    std::vector<std::uint32_t> fill(std::uint32_t pid, std::uint32_t word, std::uint32_t clipMin,
                                    std::uint32_t clipMax, std::uint32_t colour,
                                    const std::vector<std::vector<std::uint32_t>>& rects) {
        std::vector<std::uint32_t> w = {0x02101026, static_cast<std::uint32_t>(rects.size()), pid,
                                        word, clipMin, clipMax, colour};
        for (const auto& r : rects) w.insert(w.end(), r.begin(), r.end());
        return w;
    }
    void TearDown() override {
        if (board) {
            EXPECT_EQ(error_text(), "");
        }
    }

    std::vector<StreamWriter> writers;
};

TEST_F(BoardExecTest, EachOpcodeCombinesItsRegisters) {
    boot();
    const std::uint32_t a = 0x00F0F0CC, b = 0x00FF00AA;
    struct Row {
        std::uint32_t op;
        std::uint32_t expected;
    };
    const Row rows[] = {
        {0, a & b},  {1, a | b},    {2, a ^ b},  {3, ~(a | b)}, {4, ~(a & b)},
        {5, a & ~b}, {6, a | ~b},   {7, ~a},     {8, a},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.op);
        // A in the colour (27), B in the second colour (28).
        send({0x02105006, 1, kPid32, instr(row.op, 13, 27, 28), a, b, vtx(0, 0), vtx(1, 0),
              vtx(1, 1), vtx(0, 1)});
        EXPECT_EQ(at(kPid32, 0, 0), row.expected);
    }
    EXPECT_EQ(board->summary(0).unexecuted, 0u);
}

// Right and bottom edges are excluded; the clip maximum is included (the
// last pixel inside), and only instructions with the clip bit are clipped.
TEST_F(BoardExecTest, RectanglesCoverTheirPixelsInsideTheClip) {
    boot();
    send(fill(kPid32, kClip | instr(8, 13, 27), clip(0, 0), clip(100, 100), 0x111111,
              {rect(2, 3, 6, 5)}));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(at(kPid32, x, y), x >= 2 && x < 6 && y >= 3 && y < 5 ? 0x111111u : 0u)
                << x << "," << y;

    send(fill(kPid32, kClip | instr(8, 13, 27), clip(10, 10), clip(14, 12), 0x222222,
              {rect(8, 8, 20, 20)}));
    EXPECT_EQ(at(kPid32, 10, 10), 0x222222u);
    EXPECT_EQ(at(kPid32, 14, 12), 0x222222u);
    EXPECT_EQ(at(kPid32, 15, 12), 0u);
    EXPECT_EQ(at(kPid32, 14, 13), 0u);
    EXPECT_EQ(at(kPid32, 9, 10), 0u);

    // Without the clip bit the same clip pair changes nothing.
    send(fill(kPid32, instr(8, 13, 27), clip(10, 10), clip(14, 12), 0x333333, {rect(8, 8, 20, 20)}));
    EXPECT_EQ(at(kPid32, 19, 19), 0x333333u);
    EXPECT_EQ(at(kPid32, 8, 8), 0x333333u);
}

// The clip pair's maximum is the last pixel inside for every packet a
// render program may head: single pixels, squares of a colour a primitive
// and plain rectangles of a colour a packet (as a GL point's square is).
// The clip pair ends at (9, 6) in each.
TEST_F(BoardExecTest, ClipMaximumIsInsideForPointsSquaresAndPlainRectangles) {
    struct Case {
        const char* name;
        std::vector<std::uint32_t> packet;
        int x1, y1;  // the pixels drawn: x 8 .. x1 - 1, y 4 .. y1 - 1
    };
    auto pixels = [] {
        std::vector<std::uint32_t> p = {0x02102020, 0, kPid32, kClip | instr(8, 13, 27), clip(0, 0), clip(9, 6)};
        std::uint32_t n = 0;
        for (std::uint32_t y = 4; y < 8; ++y)
            for (std::uint32_t x = 8; x < 12; ++x, ++n) p.insert(p.end(), {0x123456, vtx(x, y)});
        p[1] = n;
        return p;
    };
    std::vector<std::uint32_t> square = {0x02102026, 1, kPid32, kClip | instr(8, 13, 27), clip(0, 0), clip(9, 6),
                                         0x123456};
    const auto corners = rect(8, 4, 12, 8);
    square.insert(square.end(), corners.begin(), corners.end());
    const Case cases[] = {
        {"single pixels", pixels(), 10, 7},
        {"square of primitive data", square, 10, 7},
        {"rectangle of packet data", fill(kPid32, kClip | instr(8, 13, 27), clip(0, 0), clip(9, 6), 0x123456,
                                          {rect(8, 4, 12, 8)}),
         10, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writers.clear();
        board.reset();
        boot();
        send(c.packet);
        for (int y = 2; y < 10; ++y)
            for (int x = 6; x < 14; ++x)
                EXPECT_EQ(at(kPid32, x, y), x >= 8 && x < c.x1 && y >= 4 && y < c.y1 ? 0x123456u : 0u)
                    << x << "," << y;
        EXPECT_EQ(board->summary(0).unexecuted, 0u);
    }
}

// Position words hold signed 16-bit 28.4 halves: a GL point's square that
// reaches past the space's left and top edges draws its pixels from the
// origin on, and a single pixel whose position lies half a pixel short of
// the origin (GL's window edge at the screen's first column) draws pixel 0.
// Nothing lands at the far end of the space, where the unsigned halves
// would put it.
TEST_F(BoardExecTest, NegativeCoordinatesLieLeftOfAndAboveTheOrigin) {
    boot();
    const auto at28_4 = [](int x, int y) {
        return static_cast<std::uint32_t>(y & 0xFFFF) << 16 | static_cast<std::uint32_t>(x & 0xFFFF);
    };
    // The square from (-2, -1) to (3, 2): pixels 0..2 by 0..1.
    send({0x02102026, 1, kPid32, kClip | instr(8, 13, 27), clip(0, 0), clip(100, 100), 0x123456,
          at28_4(-32, -16), at28_4(48, -16), at28_4(48, 32), at28_4(-32, 32)});
    // Single pixels 4 and 8 sixteenths before the origin's sample point.
    send({0x02102020, 2, kPid32, kClip | instr(8, 13, 27), clip(0, 0), clip(100, 100), 0x00ABCD,
          at28_4(-4, 80), 0x00ABCD, at28_4(-8, 96)});
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const std::uint32_t want = x < 3 && y < 2 ? 0x123456u : x == 0 && (y == 5 || y == 6) ? 0x00ABCDu : 0u;
            EXPECT_EQ(at(kPid32, x, y), want) << x << "," << y;
        }
    EXPECT_EQ(at(kPid32, 127, 0), 0u);
    EXPECT_EQ(at(kPid32, 3, 0), 0u);
    EXPECT_EQ(board->summary(0).unexecuted, 0u);
}

// An instruction that reads the pixmap sees what an earlier one wrote; a
// write the clip holds back leaves the old pixel for later reads.
TEST_F(BoardExecTest, ProgramsRunInOrderOverEachPixel) {
    boot();
    put(kPid32, 0, 0, 0x0000FF);
    put(kPid32, 1, 0, 0x0000FF);
    // 13 := 27 (clipped to x 0); 13 := 13 XOR 28.
    send({0x02205026, 1, kPid32, kClip | instr(8, 13, 27), kClip | instr(2, 13, 13, 28), clip(0, 0),
          clip(0, 10), 0x00FF00, 0x000F0F, vtx(0, 0), vtx(2, 0), vtx(2, 1), vtx(0, 1)});
    EXPECT_EQ(at(kPid32, 0, 0), 0x00F00Fu);
    EXPECT_EQ(at(kPid32, 1, 0), 0x0000FFu);  // both writes clipped
}

TEST_F(BoardExecTest, RasterizersDrawOnlyTheTilesTheyOwn) {
    MachineConfig cfg;
    cfg.rasterizers = 2;
    boot(cfg);
    const auto packet = fill(kPid32, kClip | instr(8, 13, 27), clip(0, 0), clip(1024, 768), 0x445566,
                             {rect(120, 120, 136, 136)});
    send(packet, {0, 1});
    // Checkerboard: tiles 0 and 5 belong to rasterizer 0, 1 and 4 to 1.
    EXPECT_EQ(at(kPid32, 120, 120, 0), 0x445566u);
    EXPECT_EQ(at(kPid32, 130, 130, 0), 0x445566u);
    EXPECT_EQ(at(kPid32, 130, 120, 0), 0u);
    EXPECT_EQ(at(kPid32, 130, 120, 1), 0x445566u);
    EXPECT_EQ(at(kPid32, 120, 130, 1), 0x445566u);
    EXPECT_EQ(at(kPid32, 120, 120, 1), 0u);
    const auto image = board->read_pixels(0, kPid32, 118, 118, 20, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            EXPECT_EQ(image[y * 20 + x], x >= 2 && x < 18 && y >= 2 && y < 18 ? 0x445566u : 0u);
}

// The pattern register takes an 8x8 square and tiles every space with it:
// at (x, y) it reads entry [y & 7][x & 7].
TEST_F(BoardExecTest, PatternRegisterTilesEverySpace) {
    boot();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) put(kPid32, 64 + x, y, static_cast<std::uint32_t>(y * 8 + x));
    send({0x02100006, 1, kPid32, instr(8, 12, 13), vtx(64, 0), vtx(72, 0), vtx(72, 8), vtx(64, 8)});
    const std::uint32_t pid = 0xA001;  // 32 bits a pixel, space 1
    send({0x02101026, 1, pid, kClip | instr(8, 13, 12), clip(0, 0), clip(100, 100), 0, vtx(3, 5),
          vtx(30, 5), vtx(30, 21), vtx(3, 21)});
    for (int y = 5; y < 21; ++y)
        for (int x = 3; x < 30; ++x)
            EXPECT_EQ(at(pid, x, y), static_cast<std::uint32_t>((y & 7) * 8 + (x & 7))) << x << "," << y;
}

// The monochrome pattern load sets sixteen rows (two a word, the first in
// the high half); a two-colour program writes where the bit is set or clear.
TEST_F(BoardExecTest, MaskPatternPicksThePixelsOfEachProgram) {
    boot();
    const std::uint32_t rows = 0x8001'4002;  // rows 0 and 1 (bit 15 the leftmost pixel)
    send({0x00100280, 1, 0x001402C8, rows, 0, 0, 0, 0x00FF'0000, 0, 0, 0, 0});
    send({0x02205226, 1, kPid32, kClip | kMaskSet | instr(8, 13, 27), kClip | kMaskClear | instr(8, 13, 28),
          clip(0, 0), clip(100, 100), 0xF0F0F0, 0x0A0A0A, vtx(0, 0), vtx(32, 0), vtx(32, 16),
          vtx(0, 16)});
    auto expect = [&](int x, int y, bool set) {
        EXPECT_EQ(at(kPid32, x, y), set ? 0xF0F0F0u : 0x0A0A0Au) << x << "," << y;
    };
    expect(0, 0, true);
    expect(15, 0, true);
    expect(16, 0, true);  // rows are 16 pixels wide and repeat
    expect(1, 0, false);
    expect(1, 1, true);
    expect(14, 1, true);
    expect(0, 1, false);
    for (int x = 0; x < 32; ++x) expect(x, 8, x % 16 >= 8);  // row 8: 0x00FF, the high half of word 4
    expect(0, 2, false);
}

// A glyph primitive: a 6x2 glyph (rows 0xFC, 0x84) at board (3, 5), its
// rows rotated to x 3 (right by 11) in slots 5 and 6, the band from x 3 to 9
// around y 6; opaque (two instructions), then the same glyph transparent at
// the edge of the clip pair.
TEST_F(BoardExecTest, GlyphsDrawTheirOwnRowsInTheirBand) {
    boot();
    auto glyph = [](std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h,
                    std::vector<std::uint32_t> mask) {
        std::vector<std::uint32_t> p = mask;
        p.push_back(((2 * y + h) * 8) << 16 | (x & 0xFFF) * 16);
        p.push_back(((2 * y + h) * 8) << 16 | ((x + w) & 0xFFF) * 16);
        p.push_back(h * 8);
        return p;
    };
    // Slot 5 is the low half of word 2, slot 6 the high half of word 3.
    const auto prim = glyph(3, 5, 6, 2, {0, 0, 0x00001F80, 0x10800000, 0, 0, 0, 0});
    ASSERT_EQ(prim[8], 0x00600030u);
    ASSERT_EQ(prim[9], 0x00600090u);
    ASSERT_EQ(prim[10], 0x10u);
    std::vector<std::uint32_t> opaque = {0x02205332, 1, kPid32, 0x12360348, 0x1A380348,
                                         clip(0, 0), clip(100, 100), 0xF0F0F0, 0x0A0A0A};
    opaque.insert(opaque.end(), prim.begin(), prim.end());
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) put(kPid32, x, y, 0x777777);
    send(opaque);
    const char* want[] = {"FFFFFF", "F....F"};
    for (int y = 4; y < 8; ++y)
        for (int x = 2; x < 10; ++x) {
            std::uint32_t expected = 0x777777;
            if (y >= 5 && y < 7 && x >= 3 && x < 9)
                expected = want[y - 5][x - 3] == 'F' ? 0xF0F0F0 : 0x0A0A0A;
            EXPECT_EQ(at(kPid32, x, y), expected) << x << "," << y;
        }
    EXPECT_EQ(board->summary(0).unexecuted, 0u);

    // Transparent, clipped at x 6: the pixels right of it stay.
    std::vector<std::uint32_t> transparent = {0x02101332, 1, kPid32, 0x12360348, clip(0, 0),
                                              clip(6, 100), 0x123456};
    transparent.insert(transparent.end(), prim.begin(), prim.end());
    send(transparent);
    EXPECT_EQ(at(kPid32, 3, 5), 0x123456u);
    EXPECT_EQ(at(kPid32, 5, 5), 0x123456u);
    EXPECT_EQ(at(kPid32, 6, 5), 0xF0F0F0u);  // outside the clip
    EXPECT_EQ(at(kPid32, 4, 6), 0x0A0A0Au);  // mask clear: left alone
    EXPECT_EQ(at(kPid32, 3, 6), 0x123456u);
}

// Registers hold the 24-bit colour form of 16-bit (5-5-5) and 8-bit (3-3-2)
// pixels; a write keeps what the pixel format holds.
TEST_F(BoardExecTest, PixelFormatsConvertToAndFromRegisters) {
    boot();
    put(kPid16, 0, 0, 0x7FFF);
    put(kPid16, 1, 0, 0x8000);
    // 13 := 13 XOR 27, with 27 = 0x7C7C7C (all colour bits of 5-5-5).
    send(fill(kPid16, kClip | instr(2, 13, 13, 27), clip(0, 0), clip(10, 10), 0x7C7C7C, {rect(0, 0, 2, 1)}));
    EXPECT_EQ(at(kPid16, 0, 0), 0x0000u);
    EXPECT_EQ(at(kPid16, 1, 0), 0xFFFFu);  // bit 23 is the top bit of the pixel
    send(fill(kPid8, kClip | instr(8, 13, 27), clip(0, 0), clip(10, 10), 0xE0E060, {rect(0, 0, 1, 1)}));
    EXPECT_EQ(at(kPid8, 0, 0), 0xFFu);
    send(fill(kPid8, kClip | instr(8, 13, 27), clip(0, 0), clip(10, 10), 0x202020, {rect(1, 0, 2, 1)}));
    EXPECT_EQ(at(kPid8, 1, 0), 0x25u);
}

TEST_F(BoardExecTest, PointsWriteTheirOwnColour) {
    boot();
    send({0x02102000, 3, kPid32, 0x00360348, 0x11, vtx(5, 6), 0x22, vtx(7, 6), 0x33, vtx(5, 9)});
    EXPECT_EQ(at(kPid32, 5, 6), 0x11u);
    EXPECT_EQ(at(kPid32, 7, 6), 0x22u);
    EXPECT_EQ(at(kPid32, 5, 9), 0x33u);
    EXPECT_EQ(at(kPid32, 6, 6), 0u);

    // Points of one packet on two pages (rows 0-127 and 128 on), under a
    // clipped move and an unclipped one with the same clip pair.
    const std::uint32_t kClippedPoints = 0x02102020;
    send({kClippedPoints, 3, kPid32, kClip | 0x00360348, clip(0, 0), clip(20, 140), 0x44, vtx(6, 7), 0x55,
          vtx(6, 131), 0x66, vtx(30, 131)});
    EXPECT_EQ(at(kPid32, 6, 7), 0x44u);
    EXPECT_EQ(at(kPid32, 6, 131), 0x55u);
    EXPECT_EQ(at(kPid32, 30, 131), 0u) << "a point outside the clip";
    send({kClippedPoints, 2, kPid32, 0x00360348, clip(0, 0), clip(20, 140), 0x77, vtx(30, 131), 0x88,
          vtx(31, 2)});
    EXPECT_EQ(at(kPid32, 30, 131), 0x77u) << "an unclipped move ignores the clip pair";
    EXPECT_EQ(at(kPid32, 31, 2), 0x88u);
}

// Programs with opcodes or registers the model does not run, and kinds of
// packet without a row, are counted and leave memory alone; pixels no page
// slot maps take no writes.
TEST_F(BoardExecTest, WhatTheModelDoesNotRunIsCountedAndLeftAlone) {
    boot();
    // (Rectangles whose programs only the 3D rows run are drawn by them: a
    // descriptor word neither row carries out, and a register past the
    // 3D model's 40.)
    send(fill(kPid32, kClip | instr(0x0C, 13, 13), clip(0, 0), clip(10, 10), 0x1, {rect(0, 0, 1, 1)}));
    send(fill(kPid32, kClip | instr(8, 13, 45), clip(0, 0), clip(10, 10), 0x1, {rect(0, 0, 1, 1)}));
    // A polygon whose program uses a condition code's descriptor word 1,
    // which the model does not carry out.
    send({0x02100025, 1, kPid32, kClip | instr(0x0C, 13, 13), 0, clip(10, 10), vtx(0, 0), vtx(4, 0),
          vtx(0, 4)});
    EXPECT_EQ(board->summary(0).unexecuted, 3u);
    EXPECT_EQ(at(kPid32, 0, 0), 0u);
    // Space 7 has no page: nothing happens.
    send(fill(0xA007, kClip | instr(8, 13, 27), clip(0, 0), clip(10, 10), 0x1, {rect(0, 0, 4, 4)}));
    EXPECT_EQ(board->summary(0).unexecuted, 3u);
}

// The second screen of a split board: packets with the screen bits hold the
// desktop from x = 1024 on at x - 1024, their clip pair is in that x, and
// unclipped loads left of 1024 stay where they are.
TEST_F(BoardExecTest, SecondScreenDrawsInItsOwnX) {
    MachineConfig cfg;
    cfg.boards = 2;
    boot(cfg);
    auto second = [](std::vector<std::uint32_t> words) {
        words[1] |= 0x70000;
        return words;
    };
    send(second(fill(kPid32, kClip | instr(8, 13, 27), clip(0, 0), clip(1023, 768), 0x0000FF,
                     {rect(1030, 2, 1040, 4), rect(200, 2, 210, 4)})),
         {1});
    send(second({0x02102000, 1, kPid32, 0x00360348, 0x00FF00, vtx(5, 9)}), {1});
    EXPECT_EQ(at(kPid32, 6, 2, 1), 0x0000FFu);
    EXPECT_EQ(at(kPid32, 15, 3, 1), 0x0000FFu);
    EXPECT_EQ(at(kPid32, 16, 3, 1), 0u);
    EXPECT_EQ(at(kPid32, 200, 2, 1), 0u);  // a first-screen fill: clipped away
    EXPECT_EQ(at(kPid32, 5, 9, 1), 0x00FF00u);
    // The same words without the screen bits draw at the desktop x.
    send(fill(kPid32, kClip | instr(8, 13, 27), clip(0, 0), clip(1024, 768), 0xFF0000,
              {rect(200, 2, 210, 4)}));
    EXPECT_EQ(at(kPid32, 200, 2, 0), 0xFF0000u);
}

TEST_F(BoardExecTest, ReadRgbWidensEachFormat) {
    boot();
    put(kPid16, 0, 0, 0x7C00);
    put(kPid8, 0, 0, 0xE3);
    put(kPid32, 0, 0, 0xFF123456);
    board->set_color_register(0, 7, 0x00332211);  // red in the low byte
    put(0x0002, 1, 0, 7);                         // 8 bits indexed, space 2
    EXPECT_EQ(board->read_rgb(0, kPid16, 0, 0, 1, 1)[0], 0xFF0000u);
    EXPECT_EQ(board->read_rgb(0, kPid8, 0, 0, 1, 1)[0], 0xFF00FFu);
    EXPECT_EQ(board->read_rgb(0, kPid32, 0, 0, 1, 1)[0], 0x123456u);
    EXPECT_EQ(board->read_rgb(0, 0x0002, 1, 0, 1, 1)[0], 0x112233u);
    EXPECT_TRUE(board->read_pixels(0, kPid32, 0, 0, 0, 5).empty());
}

}  // namespace
}  // namespace vnx::board::test
