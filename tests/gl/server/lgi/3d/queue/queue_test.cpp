// The packet-queue glue: the board's depth word and the rounding, and
// batches reserved, written and closed through the glue on boards of 1, 2
// and 4 rasterizers and a split board, as the board decodes each queue,
// with the optional units switched off for programs that do not need them
// and on again after the batch.
#include <cmath>
#include <limits>

#include "gl/server/lgi/board_fixture.h"

namespace {

using namespace lgi_test;

ULONG Vtx(ULONG x, ULONG y) { return ((y << 16) | (x & 0xFFF)) << 4; }

TEST(QueueNumbers, DepthWordAndFloatForm) {
    struct Case {
        ULONG in, packed, depth16;
    };
    // Only bits 0-19 reach the floating form; the depth word rises with z.
    const Case cases[] = {
        {0x000000, 0x8000, 0x0000}, {0xF00000, 0x8000, 0x8000}, {0x07FFFF, 0x8FFF, 0x03FF},
        {0x080000, 0x9000, 0x0400}, {0xFFFFFF, 0xFFFF, 0xFFFF}, {0xFFC000, 0xE000, 0xE000},
        {0xFFE000, 0xF000, 0xF000}, {0xEFFFFF, 0xFFFF, 0x77FF}, {0xFFF000, 0xF800, 0xF800},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(_NPackHwFloat16(c.in), c.packed) << std::hex << c.in;
        EXPECT_EQ(_NDepthWord16(c.in), c.depth16) << std::hex << c.in;
    }
    // Seven leading ones: the mantissa is bits 1-12 of the input.
    EXPECT_EQ(_NPackHwFloat16(0xFE000 | 0x1FFE) & 0xFFF, 0xFFFu);
    EXPECT_EQ(_NPackHwFloat16(0xFE002) & 0xFFF, 0x001u);
    ULONG last = 0;
    for (ULONG z = 0; z <= 0xFFFFFF; z += 0x1FF) {
        const ULONG w = _NDepthWord16(z);
        EXPECT_GE(w, last) << std::hex << z;
        last = w;
    }
}

TEST(QueueNumbers, RoundingToNearestEven) {
    struct Case {
        float in;
        LONG out;
    };
    const Case cases[] = {{2.5f, 2},  {3.5f, 4},   {-2.5f, -2}, {-0.5f, 0},       {0.5f, 0},     {1.5f, 2},
                          {2.49f, 2}, {-2.51f, -3}, {7.0f, 7},  {-2147483648.0f, std::numeric_limits<LONG>::min()}};
    for (const Case& c : cases) EXPECT_EQ(_NRoundToInt(c.in), c.out) << c.in;
    const LONG indefinite = static_cast<LONG>(0x80000000u);
    EXPECT_EQ(_NRoundToInt(std::nanf("")), indefinite);
    EXPECT_EQ(_NRoundToInt(3e9f), indefinite);
    EXPECT_EQ(_NRoundToInt(-3e9f), indefinite);
    EXPECT_EQ(_NRoundToInt(2147483648.0f), indefinite);
}

TEST(QueueNumbers, BatchForce) {
    ULONG batch = 0;
    EXPECT_EQ(_NBatchForce(&batch, 17), 1u);
    EXPECT_EQ(batch, 400u);
    batch = 390;
    EXPECT_EQ(_NBatchForce(&batch, 10), 0u);
    EXPECT_EQ(_NBatchForce(&batch, 11), 1u);
}

class QueueGlue : public LgiBoardTest, public ::testing::WithParamInterface<BoardModel> {
  protected:
    void SetUp() override {
        LgiBoardTest::SetUp();
        Boot(GetParam());
    }
    // Reserves with the image, writes the triangles (each routed by the
    // driver) and closes without a kick.
    void WriteTriangles(const kzProgPacket& img, const std::vector<std::array<ULONG, 3>>& tris, ULONG bForce) {
        ULONG* p = _NNextQAddrFlushMC(ctx_->pHw, &img, 12 * static_cast<ULONG>(tris.size()), ctx_->pHw,
                                      const_cast<kzProgPacket*>(&img), &ctx_->pHw->batchCount, bForce,
                                      _NCopyPktHeader);
        ASSERT_NE(p, nullptr);
        for (const auto& t : tris) {
            for (ULONG w : t) *p++ = w;
            p = kz2CopyPrimOpt(qm_, p, t[0], t[1], t[2]);
        }
        _NSoftUpdateQAddr(ctx_->pHw, 0, p);
    }
    int Owner(ULONG x, ULONG y) {
        const bool second = qm_->pLayout->bSplitScreen && static_cast<LONG>(x) >= lGLScreenWidth();
        return board_->tile_owner(second ? 1 : 0, static_cast<LONG>(x), static_cast<LONG>(y));
    }
    LONG lGLScreenWidth() { return plGLScreenSize(Pdev())[0]; }
};

TEST_P(QueueGlue, PacketsCarryTheProgramImageAndReachTheTilesOwners) {
    const kzProgPacket img = PolygonImage(0);
    // Triangles inside the tiles of the first and the last rasterizer.
    const ULONG x1 = Queues() > 1 ? 200 : 10;
    const std::vector<std::array<ULONG, 3>> tris = {
        {Vtx(10, 10), Vtx(20, 10), Vtx(10, 20)},
        {Vtx(x1, 10), Vtx(x1 + 10, 10), Vtx(x1, 20)},
        {Vtx(12, 12), Vtx(30, 12), Vtx(12, 30)},
    };
    WriteTriangles(img, tris, 0);
    const auto decoded = Drain();
    std::vector<std::vector<ULONG>> words(Queues());
    for (ULONG r = 0; r < Queues(); ++r) {
        for (const auto& pkt : decoded[r]) {
            EXPECT_EQ(pkt.command, img.w[0]);
            EXPECT_EQ(pkt.pids, std::vector<std::uint32_t>{0x8000});
            EXPECT_EQ(pkt.instructions, std::vector<std::uint32_t>{0x10360348});
            EXPECT_TRUE(pkt.hasClip);
            // (A split board's queues cut the clip pair to their screen.)
            if (!qm_->pLayout->bSplitScreen) EXPECT_EQ(pkt.clipMax, img.w[5]);
            words[r].insert(words[r].end(), pkt.primitiveWords.begin(), pkt.primitiveWords.end());
        }
    }
    // Each triangle reaches the owner of its tile, in order.
    for (const auto& t : tris) {
        const int owner = Owner((t[0] >> 4) & 0xFFF, t[0] >> 20);
        const auto& w = words[owner];
        bool found = false;
        for (std::size_t i = 0; i + 3 <= w.size(); i += 3) found = found || (w[i] == t[0] && w[i + 1] == t[1] && w[i + 2] == t[2]);
        EXPECT_TRUE(found) << "rasterizer " << owner;
    }
    EXPECT_EQ(words[Owner(10, 10)].size() % 3, 0u);
}

TEST_P(QueueGlue, ForcingOpensNewPackets) {
    const kzProgPacket img = PolygonImage(0);
    const std::array<ULONG, 3> t = {Vtx(10, 10), Vtx(20, 10), Vtx(10, 20)};
    WriteTriangles(img, {t}, 0);
    WriteTriangles(img, {t}, 0);
    auto decoded = Drain();
    const int owner = Owner(10, 10);
    ASSERT_EQ(decoded[owner].size(), 1u) << "the second batch goes on in the open packet";
    EXPECT_EQ(decoded[owner][0].primitives, 2u);

    WriteTriangles(img, {t}, 0);
    WriteTriangles(img, {t}, 1);
    decoded = Drain();
    ASSERT_EQ(decoded[owner].size(), 2u) << "a forced batch starts its own packet";
    for (const auto& pkt : decoded[owner]) {
        EXPECT_EQ(pkt.primitives, 1u);
        EXPECT_EQ(pkt.instructions, std::vector<std::uint32_t>{0x10360348});
    }
}

TEST_P(QueueGlue, UnitsOffForTheBatchAndOnAfterIt) {
    for (int r = 0; r < static_cast<int>(Queues()); ++r) ASSERT_EQ(Config(r), VNX_CONFIG_UNITS) << r;
    struct Case {
        ULONG unitA, unitB, off;
    };
    const Case cases[] = {{0, 1, 0x10000000}, {1, 0, 0x08000000}, {0, 0, 0x18000000}, {1, 1, 0}};
    const std::array<ULONG, 3> t = {Vtx(10, 10), Vtx(20, 10), Vtx(10, 20)};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.off);
        const kzProgPacket img = PolygonImage(0, c.unitA, c.unitB);
        ULONG* p = _NNextQAddrFlushMC(ctx_->pHw, &img, 12, ctx_->pHw, const_cast<kzProgPacket*>(&img),
                                      &ctx_->pHw->batchCount, 0, _NCopyPktHeader);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(qm_->fDisabled, c.off);
        for (int r = 0; r < static_cast<int>(Queues()); ++r) EXPECT_EQ(Config(r), VNX_CONFIG_UNITS & ~c.off) << r;
        for (ULONG w : t) *p++ = w;
        p = kz2CopyPrimOpt(qm_, p, t[0], t[1], t[2]);
        _NUpdateQAddr(ctx_->pHw);
        EXPECT_EQ(gNPendingUpdate, 0u);
        EXPECT_EQ(qm_->fReenable, c.off);
        Drain();
        EXPECT_EQ(qm_->fDisabled, 0u);
        for (int r = 0; r < static_cast<int>(Queues()); ++r) EXPECT_EQ(Config(r), VNX_CONFIG_UNITS) << r;
    }
}

TEST_P(QueueGlue, FreshPacketReservationReadsBothPrograms) {
    // The unit stays on only when the programs of both slots need it.
    pkzProgOf(ctx_->pHw->programs[0])->image = PolygonImage(0, 1, 1);
    pkzProgOf(ctx_->pHw->programs[1])->image = PolygonImage(0, 1, 0);
    ULONG batch = 7;
    ULONG* p = _NNextQAddrMC(ctx_->pHw, 0, &batch, 64);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(batch, 400u);
    EXPECT_EQ(qm_->fDisabled, 0x08000000u);
    for (int r = 0; r < static_cast<int>(Queues()); ++r) EXPECT_EQ(Config(r), 0x10000000u) << r;
    // The caller writes its own prefix into every queue.
    for (ULONG i = 0; i < Queues(); ++i) qm_[i].pPacket[0] = 0x02100025u;
    *p++ = 0x8000;
    *p++ = 0x10360348;
    *p++ = 0;
    *p++ = (0xFFFu << 16) | 0xFFFu;
    for (ULONG w : {Vtx(1, 1), Vtx(5, 1), Vtx(1, 5)}) *p++ = w;
    p = kz2CopyPrimOpt(qm_, p, Vtx(1, 1), Vtx(5, 1), Vtx(1, 5));
    _NUpdateQAddr(ctx_->pHw);
    const auto decoded = Drain();
    EXPECT_EQ(decoded[Owner(1, 1)].at(0).primitiveWords,
              (std::vector<std::uint32_t>{Vtx(1, 1), Vtx(5, 1), Vtx(1, 5)}));
    for (int r = 0; r < static_cast<int>(Queues()); ++r) EXPECT_EQ(Config(r), VNX_CONFIG_UNITS) << r;
}

INSTANTIATE_TEST_SUITE_P(Boards, QueueGlue, ::testing::ValuesIn(kModels), BoardModelName);

class QueueGlueSolo : public LgiBoardTest {
  protected:
    void SetUp() override {
        LgiBoardTest::SetUp();
        Boot(kSolo);
    }
};

TEST_F(QueueGlueSolo, ReservationWithoutUpdateIsReportedOnce) {
    const kzProgPacket img = PolygonImage(0);
    auto reserve = [&] {
        return _NNextQAddrFlushMC(ctx_->pHw, &img, 12, ctx_->pHw, const_cast<kzProgPacket*>(&img),
                                  &ctx_->pHw->batchCount, 0, _NCopyPktHeader);
    };
    reserve();
    EXPECT_EQ(vnx::debug::peek(), "");
    reserve();
    EXPECT_EQ(vnx::debug::take(), N_PENDING_UPDATE_TEXT);
    _NSoftUpdateQAddr(ctx_->pHw);
    reserve();
    ULONG batch = 0;
    _NNextQAddrMC(ctx_->pHw, 0, &batch, 16);
    EXPECT_EQ(vnx::debug::take(), N_PENDING_UPDATE_TEXT);
    _NUpdateQAddr(ctx_->pHw);
}

TEST_F(QueueGlueSolo, FinishLeavesTheStreamEndAndRoom) {
    ULONG* pReset = nullptr;
    ULONG room = 0;
    _NFlushQ(ctx_->pHw, &pReset, &room);
    EXPECT_EQ(room, 1023u);
    EXPECT_EQ(pReset, qm_->pStreamEnd);
    // The finish of the layer fills the hardware record's words.
    N_Finish();
    EXPECT_EQ(ctx_->pHw->pStreamReset, qm_->pStreamEnd);
    EXPECT_EQ(ctx_->pHw->batchCount, 1023u);
}

TEST_F(LgiTest, GlueWithoutABoardWritesNothing) {
    const kzProgPacket img = PolygonImage(0, 0, 0);
    EXPECT_EQ(_NNextQAddrFlushMC(ctx_->pHw, &img, 12, nullptr, nullptr, nullptr, 1, _NCopyPktHeader), nullptr);
    ULONG batch = 0;
    EXPECT_EQ(_NNextQAddrMC(ctx_->pHw, 0, &batch, 12), nullptr);
    _NUpdateQAddr(ctx_->pHw);
    _NSoftUpdateQAddr(ctx_->pHw);
    EXPECT_EQ(gNPendingUpdate, 0u);
    EXPECT_EQ(ctx_->pHw->qm, nullptr);
}

}  // namespace
