// The rectangle clear on 1, 2 and 4 rasterizers and a split board: one
// packet per clip rectangle under the one-instruction program, the pieces
// the rasterizers receive covering exactly the clipped rectangle.
#include "gl/server/lgi/kz2/rects_fixture.h"

namespace rects_test {
namespace {

constexpr ULONG kClearCommand = 0x2101026u;

// The rectangles the rasterizers received for packet i of each queue: the
// area summed over all queues, every piece checked to lie in the box.
std::int64_t AreaOf(const std::vector<std::vector<DecodedPacket>>& q, std::size_t i, const Box& box) {
    std::int64_t area = 0;
    for (const auto& packets : q) {
        if (i >= packets.size()) continue;
        const DecodedPacket& p = packets[i];
        for (std::size_t k = 0; k < p.primitives; ++k) {
            const Pixel a = PixelOf(p.vertex(k, 0)), c = PixelOf(p.vertex(k, 2));
            EXPECT_GE(a.first, box.x0);
            EXPECT_GE(a.second, box.y0);
            EXPECT_LE(c.first, box.x1);
            EXPECT_LE(c.second, box.y1);
            area += std::int64_t{c.first - a.first} * (c.second - a.second);
        }
    }
    return area;
}

// Checks the head of packet i on every queue and the area its pieces cover.
void ExpectClear(const std::vector<std::vector<DecodedPacket>>& q, std::size_t i, ULONG pid, ULONG instr,
                 ULONG value, const Box& box) {
    for (const auto& packets : q) {
        ASSERT_LT(i, packets.size());
        const DecodedPacket& p = packets[i];
        EXPECT_EQ(p.command, kClearCommand);
        ASSERT_EQ(p.pids.size(), 1u);
        EXPECT_EQ(p.pids[0], pid);
        EXPECT_EQ(p.instructions, std::vector<std::uint32_t>{instr});
        EXPECT_EQ(p.clipMin, Packed(box.x0, box.y0));
        EXPECT_EQ(p.clipMax, Packed(box.x1, box.y1));
        EXPECT_EQ(p.constants, std::vector<std::uint32_t>{value});
    }
    EXPECT_EQ(AreaOf(q, i, box), std::int64_t{box.x1 - box.x0} * (box.y1 - box.y0));
}

TEST_F(RectsTest, ClearOfEachBufferCombinationUnderTheScissor) {
    struct Case {
        ULONG mask;
        std::vector<std::pair<ULONG, ULONG>> clears;  // pid, value, in order
    };
    const ULONG v = 0x80123456u;
    const Case cases[] = {
        {0x1, {{0x21, v}}},
        {0x4, {{0x22, v}}},
        {0x2, {{0x24, v & 0x7FFFFF}}},  // a 16-bit buffer keeps 23 bits of the value
        {0x5, {{0x21, v}, {0x22, v}}},
        {0x100, {{0x23, 0xFFFFFF}}},  // the depth clear value 1.0 in 24 bits
        {0x107, {{0x21, v}, {0x22, v}, {0x24, v & 0x7FFFFF}, {0x23, 0xFFFFFF}}},
    };
    const Box scissor{50, 40, 120, 90};
    for (const BoardModel& m : kModels) {
        SCOPED_TRACE(m.name);
        Start(m);
        BoardBuffer front(GLBUFFER_FRONT_LEFT, 0x21, 32, 40, 30, 200, 100),
            back(GLBUFFER_BACK_LEFT, 0x22, 32, 40, 30, 200, 100),
            right(GLBUFFER_FRONT_RIGHT, 0x24, 16, 40, 30, 200, 100),
            depth(GLBUFFER_DEPTH, 0x23, 24, 40, 30, 200, 100);
        BindBuffers({&front.buf, &back.buf, &right.buf, &depth.buf});
        Clip({scissor});
        *pulAttr(ctx_, N_ATTR_CLEAR_DEPTH) = F(1.0f);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.mask);
            N_Clear(c.mask, 0, 0, 200, 100, 0, v);
            const auto q = Packets();
            for (const auto& packets : q) EXPECT_EQ(packets.size(), c.clears.size());
            for (std::size_t i = 0; i < c.clears.size(); ++i)
                ExpectClear(q, i, c.clears[i].first, 0x10360348u, c.clears[i].second, scissor);
        }
    }
}

TEST_F(RectsTest, AWindowCutIntoSeveralRectanglesGetsAPacketForEach) {
    for (const BoardModel& m : kModels) {
        SCOPED_TRACE(m.name);
        Start(m);
        BoardBuffer front(GLBUFFER_FRONT_LEFT, 0x21, 32, 100, 100, 300, 200);
        BindBuffers({&front.buf});
        // Three pieces of the window (one across a tile border), and one
        // rectangle that misses the cleared part: nothing is sent for it.
        Clip({{100, 100, 400, 150}, {100, 150, 200, 300}, {300, 150, 400, 300}, {500, 100, 600, 200}});
        N_Clear(0x1, 0, 0, 300, 150, 0, 7);
        const auto q = Packets();
        for (const auto& packets : q) EXPECT_EQ(packets.size(), 3u);
        ExpectClear(q, 0, 0x21, 0x10360348u, 7, {100, 100, 400, 150});
        ExpectClear(q, 1, 0x21, 0x10360348u, 7, {100, 150, 200, 250});
        ExpectClear(q, 2, 0x21, 0x10360348u, 7, {300, 150, 400, 250});
    }
}

TEST_F(RectsTest, StereoPagesClearTheLowerImage) {
    Start(kSolo);
    PAGECONFIG* pc = pGLPageConfig(Pdev());
    const ULONG saved = pc->fStereo;
    pc->fStereo = 1;
    ctx_->pHw->stereo = 1;  // a stereo visual: colour buffers are per eye
    BoardBuffer front(GLBUFFER_FRONT_LEFT, 0x21, 32, 0, 0, 64, 32), right(GLBUFFER_FRONT_RIGHT, 0x24, 32, 0, 0, 64, 32),
        depth(GLBUFFER_DEPTH, 0x23, 24, 0, 0, 64, 32);
    BindBuffers({&front.buf, &right.buf, &depth.buf});
    const LONG h = cyScreen_;
    Clip({{0, 0, 64, 32}});
    *pulAttr(ctx_, N_ATTR_CLEAR_DEPTH) = F(1.0f);
    N_Clear(0x103, 0, 0, 64, 32, 0, 9);
    const auto q = Packets();
    ASSERT_EQ(q[0].size(), 4u);
    ExpectClear(q, 0, 0x21, 0x10360348u, 9, {0, 0, 64, 32});      // left image: once
    ExpectClear(q, 1, 0x24, 0x10360348u, 9, {0, h, 64, h + 32});  // right image: one screen lower
    ExpectClear(q, 2, 0x23, 0x10360348u, 0xFFFFFF, {0, 0, 64, 32});
    ExpectClear(q, 3, 0x23, 0x10360348u, 0xFFFFFF, {0, h, 64, h + 32});  // depth: both images
    pc->fStereo = saved;
}

TEST_F(RectsTest, OverlayPlanesOfADeepBufferAreClearedToo) {
    Start(kDuo);
    *pulGLOverlayContexts(Pdev()) = 1;
    BoardBuffer front(GLBUFFER_FRONT_LEFT, 0x41, 32, 0, 0, 64, 32), one(GLBUFFER_BACK_LEFT, 0x42, 1, 0, 0, 64, 32);
    BindBuffers({&front.buf, &one.buf});
    Clip({{0, 0, 64, 32}});
    N_Clear(0x5, 0, 0, 64, 32, 0, 0x00ABCDEF);
    const auto q = Packets();
    ASSERT_EQ(q[0].size(), 3u);
    ExpectClear(q, 0, 0x41, 0x10360348u, 0x00ABCDEF, {0, 0, 64, 32});
    ExpectClear(q, 1, (0x41 & 0x1F) | 0xC000, 0x10360348u, 0, {0, 0, 64, 32});  // its overlay planes
    ExpectClear(q, 2, 0x42, 0x10366b40u, 0x7FFFFF, {0, 0, 64, 32});               // a 1-bit buffer combines
    EXPECT_EQ(front.buf.bitsPerPixel, 32u);
}

TEST_F(RectsTest, AFullScreenClearResetsTheSwapState) {
    Start(kQuad);
    BoardBuffer front(GLBUFFER_FRONT_LEFT, 0x21, 32, 0, 0, cxScreen_, cyScreen_);
    BindBuffers({&front.buf});
    Clip({{0, 0, cxScreen_, cyScreen_}});
    plGLSwapState(Pdev())[0] = 1;
    N_Clear(0x1, 0, 0, cxScreen_ - 1, cyScreen_, 0, 0);
    EXPECT_EQ(plGLSwapState(Pdev())[0], 1);
    N_Clear(0x1, 0, 0, cxScreen_, cyScreen_, 0, 0);
    EXPECT_EQ(plGLSwapState(Pdev())[0], 0);
    const auto q = Packets();
    EXPECT_EQ(AreaOf(q, 1, {0, 0, cxScreen_, cyScreen_}), std::int64_t{cxScreen_} * cyScreen_);
    // The whole width short of a row is no full-screen clear either.
    plGLSwapState(Pdev())[0] = 1;
    N_Clear(0x1, 0, 0, cxScreen_, cyScreen_ - 1, 0, 0);
    EXPECT_EQ(plGLSwapState(Pdev())[0], 1);
}

}  // namespace
}  // namespace rects_test
