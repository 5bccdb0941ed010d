// Set-up and release of the packet queues on every board model: the queue
// layout, the rings, the tile map and the registers; the release; every
// failure of the set-up leaving nothing behind; and the two exports that
// find the queue manager.
#include "display/queue/queue_fixture.h"

namespace vnx::test {
namespace {

using vnx::engine::Device;

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
    // The copies stage in staging buffer 0, outside the rings.
    EXPECT_EQ(ppdev->pStaging, board->staging_bus(0));
    EXPECT_TRUE(device_->machine().state().queuesSetUp);
    EXPECT_TRUE(bFlushThreadRunning());

    // Record 0 is the manager.
    EXPECT_EQ(qm->pqCurrent, qm);
    EXPECT_EQ(qm->fIdle.load(), 1u);
    EXPECT_EQ(qm->fAutoFlush.load(), 0u);
    EXPECT_EQ(qm->fFresh, 1u);
    EXPECT_EQ(qm->fDisabled, 0u);
    EXPECT_EQ(qm->fReenable, 0u);

    const ULONG cbRing = ((board->dma_bytes() - 16384) / n) & ~127u;
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
        EXPECT_TRUE(bLineAligned(q->pRingStart));
        EXPECT_EQ(q->ulRingBus % 128, 0u);
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

INSTANTIATE_TEST_SUITE_P(Models, QueueSetUp, ::testing::ValuesIn(kBoardModels), BoardModelName);

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

// Every ring is a whole number of 128-byte lines, so every ring starts on a
// line (the board reads whole lines and the close record must start one); a
// description whose buffer is off a line, or whose share is below 4096
// bytes, holds no queues.
TEST_F(QueueSetUpTest, RingsAreWholeLines) {
    alignas(128) static BYTE ajBuffer[256];
    struct Row {
        const char* what;
        ULONG cQueues;
        ULONG cjDmaBuffer;
        ULONG cbCpuOffset;  // of the buffer from a line
        ULONG ulBus;
        ULONG cbRing;
    };
    const Row rows[] = {
        {"one queue", 1, 0x100000, 0, 0x10000000, 0x100000 - 16384},
        {"eight queues", 8, 0x100000, 0, 0x10000000, (0x100000 - 16384) / 8},
        {"three queues, share off a line", 3, 16384 + 3 * 5000, 0, 0x10000000, 4992},
        {"two queues, 4146 each", 2, 16384 + 2 * 4146, 0, 0x10000000, 4096},
        {"4200 rounds down to 4096", 1, 16384 + 4200, 0, 0x10000000, 4096},
        {"too small", 1, 16384 + 4000, 0, 0x10000000, 0},
        {"staging area only", 1, 16384, 0, 0x10000000, 0},
        {"no rasterizers", 0, 0x100000, 0, 0x10000000, 0},
        {"too many rasterizers", MAX_RASTERIZERS + 1, 0x100000, 0, 0x10000000, 0},
        {"CPU address off a line", 1, 0x100000, 64, 0x10000040, 0},
        {"bus address off a line", 1, 0x100000, 0, 0x10000040, 0},
        {"CPU address off by a word", 1, 0x100000, 4, 0x10000000, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        VNX_DMA_DESCRIPTION d{};
        d.ulRasterizers = row.cQueues;
        d.ulBoards = 1;
        d.pvDmaBase = ajBuffer + row.cbCpuOffset;
        d.ulDmaBus = row.ulBus;
        d.cjDmaBuffer = row.cjDmaBuffer;
        const ULONG cbRing = cbQueueRing(d);
        EXPECT_EQ(cbRing, row.cbRing);
        EXPECT_EQ(cbRing % 128, 0u);
    }
}

TEST_F(QueueSetUpTest, FindsTheManagerThroughASurfaceOrDeviceSurface) {
    Boot(2);
    SURFOBJ so{};
    so.dhpdev = reinterpret_cast<DHPDEV>(ppdev);
    EXPECT_EQ(kz2GetQueueMgt(&so, 0), qm);
    // A device surface keeps its device pointer at byte 8 as well.
    struct {
        void* first;
        PDEV* ppdev;
    } dsurf{nullptr, ppdev};
    EXPECT_EQ(kz2GetQueueMgt(&dsurf, kz2GetBlockEnable(0, 0, 1, 1)), qm);
    EXPECT_EQ(kz2GetQueueMgt(nullptr, 0), nullptr);
    so.dhpdev = nullptr;
    EXPECT_EQ(kz2GetQueueMgt(&so, 0), nullptr);
    EXPECT_EQ(kz2GetBlockEnable(1, 2, 3, 4), 0xFFFFu);
}

}  // namespace
}  // namespace vnx::test
