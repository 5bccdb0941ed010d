// Set-up and release of the packet queues on every board model: the queue
// layout, the rings, the tile map and the registers; the release; every
// failure of the set-up leaving nothing behind; and the two exports that
// find the queue manager.
#include "display/queue_fixture.h"

namespace vnx::test {
namespace {

using vnx::engine::Device;

struct BoardModel {
    const char* name;
    int rasterizers;
    int boards;
};

void PrintTo(const BoardModel& model, std::ostream* os) { *os << model.name; }

class QueueSetUp : public QueueTest, public ::testing::WithParamInterface<BoardModel> {};

TEST_P(QueueSetUp, LaysOutOneQueuePerRasterizer) {
    const BoardModel& model = GetParam();
    Boot(model.rasterizers, model.boards);
    const ULONG n = static_cast<ULONG>(model.rasterizers * model.boards);
    const bool split = model.boards == 2;

    const QUEUELAYOUT& layout = ppdev->layout;
    EXPECT_EQ(layout.ppdevSelf, ppdev);
    EXPECT_EQ(layout.cRasterizers, n);
    EXPECT_EQ(layout.cQueues, n);
    EXPECT_EQ(layout.bSplitScreen, split ? 1u : 0u);
    EXPECT_EQ(layout.cScreens, split ? 2u : 1u);
    EXPECT_EQ(layout.cQueuesPerScreen, split ? n / 2 : n);
    EXPECT_EQ(ppdev->ulAlignMask, -128);
    EXPECT_EQ(ppdev->pDmaBuffer, board->dma_base());
    EXPECT_EQ(ppdev->pStaging, board->dma_bus());
    EXPECT_TRUE(device_->machine().state().queuesSetUp);
    EXPECT_TRUE(bFlushThreadRunning());

    // Record 0 is the manager.
    EXPECT_EQ(qm->pqCurrent, qm);
    EXPECT_EQ(qm->fIdle.load(), 1u);
    EXPECT_EQ(qm->fAutoFlush.load(), 0u);
    EXPECT_EQ(qm->fFresh, 1u);
    EXPECT_EQ(qm->fDisabled, 0u);
    EXPECT_EQ(qm->fReenable, 0u);

    const ULONG cbRing = ((board->dma_bytes() - 16384) / n) & ~3u;
    for (ULONG i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        KZ2QUEUE* q = Q(i);
        EXPECT_EQ(q->pSelf, q);
        EXPECT_EQ(q->pLayout, &ppdev->layout);
        EXPECT_EQ(q->hDriver, device_->hDriver());
        EXPECT_EQ(q->pRegs, board->window(static_cast<int>(i)));
        EXPECT_EQ(q->cbRing, cbRing);
        EXPECT_EQ(q->ulRingBus, board->dma_bus() + 16384 + i * cbRing);
        EXPECT_EQ(q->pRingStart, board->bus_to_cpu(q->ulRingBus, 4));
        EXPECT_EQ(q->pRingLimit, q->pRingStart + (cbRing - 600) / 4);
        EXPECT_EQ(q->pStreamEnd, q->pRingStart);
        EXPECT_EQ(q->pKicked, q->pRingStart);
        EXPECT_EQ(q->pSyncWord, nullptr);
        EXPECT_EQ(q->fHwEnabled, 1u);
        EXPECT_EQ(q->ulRestart, 0u);
        EXPECT_EQ(q->ulScreenBits, split && i >= n / 2 ? 0x70000u : 0u);
        EXPECT_EQ(q->ulExtraBits, 0u);
        const ULONG* p = q->pRingStart;
        EXPECT_EQ(std::vector<ULONG>(p, p + 6),
                  (std::vector<ULONG>{1, 0, 10, 0xFEEDBEEF, 0xCAFEF00D, 0xDEAFDEAD}));
        EXPECT_EQ(Reg(i, VNX_REG_WRITE_PTR), q->ulRingBus);
        EXPECT_EQ(Reg(i, VNX_REG_READ_PTR), q->ulRingBus);
        EXPECT_FALSE(board->engine_stopped(static_cast<int>(i)));
    }

    // The tile map names, per screen, the queue of the rasterizer that owns
    // each tile; a queue's origin is its lowest tile.
    for (int t = 0; t < 16; ++t) {
        const LONG x = (t & 3) * 128, y = (t >> 2) * 128;
        EXPECT_EQ(qm->abTileQueue[t], board->tile_owner(0, x, y)) << "tile " << t;
    }
    for (ULONG i = 0; i < n; ++i) {
        int lowest = -1;
        for (int t = 15; t >= 0; --t) {
            const int owner = board->tile_owner(board->board_of(static_cast<int>(i)), (t & 3) * 128,
                                                (t >> 2) * 128);
            if (owner == static_cast<int>(i)) lowest = t;
        }
        ASSERT_GE(lowest, 0);
        EXPECT_EQ(qm->axTileOrigin[i], static_cast<ULONG>((lowest & 3) << 7)) << i;
        EXPECT_EQ(qm->ayTileOrigin[i], static_cast<ULONG>((lowest >> 2) << 7)) << i;
    }

    vReleaseQueues(ppdev);
    EXPECT_EQ(ppdev->pqm, nullptr);
    EXPECT_FALSE(device_->machine().state().queuesSetUp);
    EXPECT_FALSE(bFlushThreadRunning());
    // Releasing again does nothing.
    vReleaseQueues(ppdev);
}

INSTANTIATE_TEST_SUITE_P(Models, QueueSetUp,
                         ::testing::Values(BoardModel{"Solo", 1, 1}, BoardModel{"Duo", 2, 1},
                                           BoardModel{"Quad", 4, 1},
                                           BoardModel{"SplitDuo", 2, 2},
                                           BoardModel{"SplitQuad", 4, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

using QueueSetUpTest = QueueTest;

// Two boards without the dual-monitor flag drive one screen.
TEST_F(QueueSetUpTest, TwoBoardsWithoutDualMonitorAreNotSplit) {
    auto cfg = Machine(2, 2);
    cfg.boardConfig.flags &= ~BCF_DUAL_MONITOR;
    Boot(cfg);
    EXPECT_EQ(ppdev->layout.bSplitScreen, 0u);
    EXPECT_EQ(ppdev->layout.cScreens, 1u);
    EXPECT_EQ(ppdev->layout.cQueuesPerScreen, 4u);
    EXPECT_EQ(Q(3)->ulScreenBits, 0u);
}

// Each step of the set-up that can fail leaves no queue, no DMA set-up with
// the miniport and no thread behind.
TEST_F(QueueSetUpTest, FailuresLeaveNothingBehind) {
    for (const char* point : {"IOCTL_VNX_QUEUE_SETUP", "LocalAlloc", "CreateThread"}) {
        SCOPED_TRACE(point);
        Device device(Machine(4));
        ASSERT_TRUE(device.load_driver());
        ASSERT_TRUE(device.enable_pdev(Request(1024, 768, 16)));
        PDEV* p = Pdev(device);
        ASSERT_TRUE(bSetMode(p));
        vnx::faults::clear();
        vnx::faults::arm(point);
        EXPECT_FALSE(bInitQueues(p));
        EXPECT_EQ(vnx::faults::calls(point), 1);
        vnx::faults::clear();
        EXPECT_EQ(p->pqm, nullptr);
        EXPECT_FALSE(device.machine().state().queuesSetUp);
        EXPECT_FALSE(bFlushThreadRunning());
        // And the device can have its queues afterwards.
        ASSERT_TRUE(bInitQueues(p));
        vReleaseQueues(p);
    }
    EXPECT_EQ(vnx::debug::take(), "");
}

TEST_F(QueueSetUpTest, FindsTheManagerThroughASurfaceOrDeviceSurface) {
    Boot(2);
    SURFOBJ so{};
    so.dhpdev = reinterpret_cast<DHPDEV>(ppdev);
    EXPECT_EQ(kz2GetQueueMgt(&so, 0), qm);
    // A device surface keeps its device pointer at byte 8 as well.
    struct { void* first; PDEV* ppdev; } dsurf{nullptr, ppdev};
    EXPECT_EQ(kz2GetQueueMgt(&dsurf, kz2GetBlockEnable(0, 0, 1, 1)), qm);
    EXPECT_EQ(kz2GetQueueMgt(nullptr, 0), nullptr);
    so.dhpdev = nullptr;
    EXPECT_EQ(kz2GetQueueMgt(&so, 0), nullptr);
    EXPECT_EQ(kz2GetBlockEnable(1, 2, 3, 4), 0xFFFFu);
}

}  // namespace
}  // namespace vnx::test
