// Bitmaps through the queues on 1, 2 and 4 rasterizers and a split board:
// each set bit one point under the fixed program, at every alignment, and
// the raster position's movement.
#include <cstring>

#include "gl/server/lgi/kz2/rects_fixture.h"

namespace rects_test {
namespace {

constexpr ULONG kPointsCommand = 0x2101020u;

class BitmapTest : public RectsTest {
  protected:
    void SetRaster(float x, float y, ULONG valid = 1) {
        ULONG* pos = pulAttr(ctx_, N_ATTR_RASTER_POS);
        pos[0] = F(x);
        pos[1] = F(y);
        *pulAttr(ctx_, N_ATTR_RASTER_POS_VALID) = valid;
        // 0.5 and 0.25 round to the nearest level: 128 and 64.
        const float colour[4] = {1.0f, 0.5f, 0.25f, 1.0f};
        std::memcpy(pulAttr(ctx_, 99), colour, sizeof colour);
        *pulAttr(ctx_, N_ATTR_DRAW_BUFFER) = 1;
        *pulAttr(ctx_, N_ATTR_ZOOM_X) = F(1.0f);
        *pulAttr(ctx_, N_ATTR_ZOOM_Y) = F(1.0f);
    }
    float Raster(ULONG i) { return fNAttr(ctx_, N_ATTR_RASTER_POS, i); }

    // The points of the bitmap packets, over all queues (a broadcast point
    // counted once); every packet's head checked.
    std::set<Pixel> Points(const std::vector<std::vector<DecodedPacket>>& q, ULONG pid, const Box& clip) {
        std::set<Pixel> s;
        for (const auto& packets : q)
            for (const DecodedPacket& p : packets) {
                EXPECT_EQ(p.command, kPointsCommand);
                EXPECT_EQ(p.pids, std::vector<std::uint32_t>{pid});
                EXPECT_EQ(p.instructions, std::vector<std::uint32_t>{0x10360348u});
                EXPECT_EQ(p.clipMin, Packed(clip.x0, clip.y0));
                EXPECT_EQ(p.clipMax, Packed(clip.x1 - 1, clip.y1 - 1));  // the last pixel inside
                EXPECT_EQ(p.constants, std::vector<std::uint32_t>{(255u << 16) | (128u << 8) | 64u});
                for (std::size_t k = 0; k < p.primitives; ++k) s.insert(PixelOf(p.vertex(k, 0)));
            }
        return s;
    }
};

// The pixels a bitmap sets: bit b of row r (row 0 the bottom) at
// (x + b, y - r).
std::set<Pixel> Expected(const std::vector<BYTE>& bits, ULONG width, ULONG height, LONG x, LONG y, LONG xMin = 0,
                         LONG yMin = 0) {
    std::set<Pixel> s;
    const std::size_t cj = (width + 7) / 8;
    for (ULONG r = 0; r < height; ++r)
        for (ULONG b = 0; b < width; ++b)
            if ((bits[r * cj + b / 8] >> (7 - b % 8)) & 1u) {
                const Pixel px{x + static_cast<LONG>(b), y - static_cast<LONG>(r)};
                if (px.first >= xMin && px.second >= yMin) s.insert(px);
            }
    return s;
}

TEST_F(BitmapTest, EveryAlignmentDrawsTheSetBitsAndMovesTheRasterPosition) {
    // 11 x 3: odd bits across a byte border.
    const std::vector<BYTE> bits = {0xA5, 0xE0, 0x81, 0x20, 0xFF, 0x40};
    for (const BoardModel& m : kModels) {
        SCOPED_TRACE(m.name);
        Start(m);
        BoardBuffer front(GLBUFFER_FRONT_LEFT, 0x21, 32, 120, 30, 200, 100);
        BindBuffers({&front.buf});
        const Box clip{120, 30, 320, 130};
        Clip({clip});
        for (LONG align = 0; align < 8; ++align) {
            SCOPED_TRACE(align);
            SetRaster(static_cast<float>(align) + 0.75f, 20.5f);
            N_DrawBitmap(11, 3, 1.0f, 2.0f, 4.5f, -1.0f, bits.data());
            // Lower-left pixel (floor(align - 0.25), floor(18.5)): window
            // column align - 1, window row 18, screen row 30 + 100 - 1 - 18.
            const std::set<Pixel> want = Expected(bits, 11, 3, 120 + align - 1, 30 + 100 - 1 - 18);
            EXPECT_EQ(Points(Packets(), 0x21, clip), want);
            EXPECT_FLOAT_EQ(Raster(0), static_cast<float>(align) + 0.75f + 4.5f);
            EXPECT_FLOAT_EQ(Raster(1), 19.5f);
        }
    }
}

// The raster position is kept in window coordinates (y up from the window's
// bottom edge): with no origin the bitmap's bottom row lands on the row the
// position lies in, as a draw-pixels image does; the y origin moves it down,
// the x origin left.
TEST_F(BitmapTest, BottomRowOnTheRasterPositionsRow) {
    struct Case {
        float ry, xorig, yorig;
        LONG x, yBottom;  // screen column of bit 0 and row of the bottom row
    };
    const Case cases[] = {
        {0.0f, 0.0f, 0.0f, 125, 129},    // the window's bottom row
        {99.0f, 0.0f, 0.0f, 125, 30},    // its top row
        {29.0f, 0.0f, 0.0f, 125, 100},
        {29.0f, 2.0f, 1.0f, 123, 101},   // origins (2, 1)
        {49.5f, 0.0f, 0.0f, 125, 80},    // the row the position lies in
        {49.75f, 0.0f, 0.5f, 125, 80},   // floor(49.25): the same row
    };
    const std::vector<BYTE> bits = {0x80, 0x40};  // 2 x 2: a rising diagonal
    Start(kSolo);
    BoardBuffer front(GLBUFFER_FRONT_LEFT, 0x21, 32, 120, 30, 200, 100);
    BindBuffers({&front.buf});
    const Box clip{120, 30, 320, 130};
    Clip({clip});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ry);
        SetRaster(5.0f, c.ry);
        N_DrawBitmap(2, 2, c.xorig, c.yorig, 0, 0, bits.data());
        EXPECT_EQ(Points(Packets(), 0x21, clip), (std::set<Pixel>{{c.x, c.yBottom}, {c.x + 1, c.yBottom - 1}}));
    }
}

TEST_F(BitmapTest, FourHundredPointsAPacketAndEachClipRectangleAgain) {
    Start(kSolo);
    BoardBuffer front(GLBUFFER_FRONT_LEFT, 0x21, 32, 0, 0, 600, 100);
    BindBuffers({&front.buf});
    std::vector<BYTE> bits(51, 0xFF);
    bits[50] = 0x80;  // 401 bits set
    Clip({{0, 0, 600, 100}});
    SetRaster(0.0f, 0.0f);
    N_DrawBitmap(401, 1, 0, 0, 0, 0, bits.data());
    auto q = Packets();
    ASSERT_EQ(q[0].size(), 2u);
    EXPECT_EQ(q[0][0].primitives, 400u);
    EXPECT_EQ(q[0][1].primitives, 1u);

    // Two clip rectangles: the bits twice; an all-zero bitmap draws
    // nothing (the driver drops packets left without primitives), and the
    // position moves.
    Clip({{0, 0, 300, 100}, {300, 0, 600, 100}});
    const BYTE one[1] = {0x80}, none[1] = {0};
    N_DrawBitmap(1, 1, 0, 0, 0, 0, one);
    q = Packets();
    ASSERT_EQ(q[0].size(), 2u);
    EXPECT_EQ(q[0][0].clipMax, Packed(299, 99));
    EXPECT_EQ(q[0][1].clipMin, Packed(300, 0));
    EXPECT_EQ(q[0][0].primitive(0), q[0][1].primitive(0));
    N_DrawBitmap(1, 1, 0, 0, 3.0f, 2.0f, none);
    q = Packets();
    for (const DecodedPacket& p : q[0]) EXPECT_EQ(p.primitives, 0u);
    EXPECT_EQ(Raster(0), 3.0f);
    EXPECT_EQ(Raster(1), 2.0f);
}

TEST_F(BitmapTest, EdgesOfTheScreenCutTheBitmap) {
    for (const BoardModel& m : {kSolo, kQuad}) {
        SCOPED_TRACE(m.name);
        Start(m);
        const std::vector<BYTE> bits = {0xB7, 0x80, 0x6D, 0x00, 0xFF, 0x80};  // 9 x 3
        BoardBuffer front(GLBUFFER_FRONT_LEFT, 0x21, 32, 0, 0, 200, 100);
        BindBuffers({&front.buf});
        Clip({{0, 0, 200, 100}});
        // Left edge 3 pixels left of the screen: every row starts 3 bits in.
        SetRaster(0.0f, 49.0f);
        N_DrawBitmap(9, 3, 3.0f, 0.0f, 0, 0, bits.data());
        EXPECT_EQ(Points(Packets(), 0x21, {0, 0, 200, 100}), Expected(bits, 9, 3, -3, 50, 0, 0));
        // Reaching above the screen's top: the rows down from row 0 are drawn.
        SetRaster(10.0f, 98.0f);
        N_DrawBitmap(9, 3, 0, 0, 0, 0, bits.data());
        const std::set<Pixel> top = Expected(bits, 9, 3, 10, 1, 0, 0);
        EXPECT_EQ(Points(Packets(), 0x21, {0, 0, 200, 100}), top);
        EXPECT_EQ(top.count({11, 0}), 1u);
        // Reaching below the screen's bottom: the bottom row is skipped, the
        // others drawn upward from the screen's last row.
        BoardBuffer low(GLBUFFER_FRONT_LEFT, 0x21, 32, 0, cyScreen_ - 100, 200, 100);
        BindBuffers({&low.buf});
        Clip({{0, cyScreen_ - 100, 200, cyScreen_}});
        SetRaster(10.0f, -1.0f);
        N_DrawBitmap(9, 3, 0, 0, 0, 0, bits.data());
        std::set<Pixel> bottom = Expected(bits, 9, 3, 10, cyScreen_, 0, 0);
        std::erase_if(bottom, [this](const Pixel& px) { return px.second >= cyScreen_; });
        EXPECT_EQ(bottom.count({10, cyScreen_ - 2}), 1u);
        EXPECT_EQ(Points(Packets(), 0x21, {0, cyScreen_ - 100, 200, cyScreen_}), bottom);
    }
}

TEST_F(BitmapTest, WhatTheFixedProgramCannotDrawOrNeedNotDraw) {
    Start(kDuo);
    BoardBuffer fl(GLBUFFER_FRONT_LEFT, 0x21, 32, 0, 0, 64, 64), fr(GLBUFFER_FRONT_RIGHT, 0x22, 32, 0, 0, 64, 64),
        bl(GLBUFFER_BACK_LEFT, 0x23, 32, 0, 0, 64, 64), br(GLBUFFER_BACK_RIGHT, 0x24, 32, 0, 0, 64, 64);
    BindBuffers({&fl.buf, &fr.buf, &bl.buf, &br.buf});
    Clip({{0, 0, 64, 64}});
    const BYTE one[1] = {0x80};

    // Four buffers at once: said, nothing drawn, the position stays.
    SetRaster(5.0f, 5.0f);
    *pulAttr(ctx_, N_ATTR_DRAW_BUFFER) = 255;
    vnx::debug::clear();
    N_DrawBitmap(1, 1, 0, 0, 1.0f, 1.0f, one);
    EXPECT_TRUE(Printed("N_DrawBitmap: can't handle 4 multiDraws!\n")) << vnx::debug::peek();
    EXPECT_EQ(Raster(0), 5.0f);
    // Two buffers: one program writes both pixmaps.
    *pulAttr(ctx_, N_ATTR_DRAW_BUFFER) = 3;
    N_DrawBitmap(1, 1, 0, 0, 1.0f, 1.0f, one);
    auto q = Packets();
    ASSERT_FALSE(q[0].empty());
    EXPECT_EQ(q[0][0].command, 0x2201020u);
    EXPECT_EQ(q[0][0].instructions, (std::vector<std::uint32_t>{0x10360348u, 0x10360388u}));
    EXPECT_EQ(q[0][0].pids, (std::vector<std::uint32_t>{0x00220021u}));
    EXPECT_EQ(Raster(0), 6.0f);

    // An invalid raster position neither draws nor moves; selection mode
    // draws nothing but moves.
    SetRaster(5.0f, 5.0f, 0);
    N_DrawBitmap(1, 1, 0, 0, 1.0f, 1.0f, one);
    EXPECT_EQ(Raster(0), 5.0f);
    SetRaster(5.0f, 5.0f);
    *pulAttr(ctx_, N_ATTR_RENDER_MODE) = N_RENDER_MODE_SELECT;
    N_DrawBitmap(1, 1, 0, 0, 1.0f, 1.0f, one);
    EXPECT_EQ(Raster(0), 6.0f);
    *pulAttr(ctx_, N_ATTR_RENDER_MODE) = N_RENDER_MODE_RENDER;
    q = Packets();
    EXPECT_TRUE(q[0].empty());

    // Zoom 2 takes the general path: no fixed-program packet.
    SetRaster(5.0f, 5.0f);
    *pulAttr(ctx_, N_ATTR_ZOOM_X) = F(2.0f);
    N_DrawBitmap(1, 1, 0, 0, 1.0f, 1.0f, one);
    for (const auto& packets : Packets())
        for (const DecodedPacket& p : packets) EXPECT_NE(p.command & 0xFFFF0FFFu, 0x2101020u & 0xFFFF0FFFu);
    EXPECT_EQ(Raster(0), 6.0f);
}

TEST_F(BitmapTest, ProgramVariantsByDepthWhileOverlayContextsLive) {
    struct Case {
        ULONG bpp, overlays, indexMode;
        ULONG command;
        std::vector<std::uint32_t> instr, constants;
    };
    const ULONG rgb = (255u << 16) | (128u << 8) | 64u;
    const Case cases[] = {
        {32, 1, 0, 0x2101020u, {0x10360348u}, {rgb}},
        {16, 0, 0, 0x2101020u, {0x10360348u}, {rgb}},
        {16, 1, 0, 0x2205020u, {0x10386a00u, 0x10364341u}, {rgb, 0x800000u}},
        {4, 1, 1, 0x2101020u, {0x10360348u}, {9u << 4}},
        {1, 1, 1, 0x2101020u, {0x10366b41u}, {9u << 4}},
        {8, 1, 0, 0x2101020u, {0x10360348u}, {rgb}},  // a depth no overlay variant names
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bpp);
        Start(kDuo);
        BoardBuffer front(GLBUFFER_FRONT_LEFT, 0x21, c.bpp, 0, 0, 64, 64);
        BindBuffers({&front.buf});
        Clip({{0, 0, 64, 64}});
        SetRaster(5.0f, 5.0f);
        *pulGLOverlayContexts(Pdev()) = c.overlays;
        *pulAttr(ctx_, N_ATTR_COLOUR_INDEX_MODE) = c.indexMode;
        pulAttr(ctx_, 100)[0] = F(9.7f);  // the raster index
        const BYTE one[1] = {0x80};
        N_DrawBitmap(1, 1, 0, 0, 0, 0, one);
        const auto q = Packets();
        ASSERT_FALSE(q[0].empty());
        EXPECT_EQ(q[0][0].command, c.command);
        EXPECT_EQ(q[0][0].instructions, c.instr);
        EXPECT_EQ(q[0][0].constants, c.constants);
        EXPECT_EQ(q[0][0].primitives, 1u);
        *pulGLOverlayContexts(Pdev()) = 0;
    }
}

}  // namespace
}  // namespace rects_test
