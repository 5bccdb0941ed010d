// The vertical-blank wait: it always drains the queues; when swaps wait for
// the retrace it writes the alternating value to the RAMDAC's retrace
// registers, waits until the RAMDAC took it and writes the toggle; a RAMDAC
// without retraces does not hang it.
#include "display/queue/queue_fixture.h"

namespace vnx::test {
namespace {

using QueueVBlankTest = QueueTest;

TEST_F(QueueVBlankTest, WaitsForTheRetraceWhenSwapsAskForIt) {
    Boot(1);
    ppdev->bc.syncSwapToVBlank = 1;
    ppdev->ptr.lastY = 300;
    ppdev->ptr.yHot = 5;
    SendFill(2);
    const auto retraces = board->retraces(0);

    kz2VBLANKWait(qm);
    // Drained first.
    EXPECT_EQ(Take(0).size(), 1u);
    EXPECT_EQ(Q(0)->pStreamEnd, Q(0)->pRingStart);
    EXPECT_EQ(qm->fAutoFlush.load(), 1u);
    // V = lastY - yHot + t' with t' = 1.
    EXPECT_EQ(ppdev->ptr.originY, 1);
    EXPECT_EQ(board->ramdac_register(0, 0x33), 296u & 0xFF);
    EXPECT_EQ(board->ramdac_register(0, 0x34), 296u >> 8);
    EXPECT_EQ(board->ramdac_register(0, 0x36), 1u);
    EXPECT_GT(board->retraces(0), retraces);

    // The next wait flips the toggle back and needs a new retrace.
    const auto after = board->retraces(0);
    kz2VBLANKWait(qm);
    EXPECT_EQ(ppdev->ptr.originY, 0);
    EXPECT_EQ(board->ramdac_register(0, 0x33), 295u & 0xFF);
    EXPECT_EQ(board->ramdac_register(0, 0x36), 0u);
    EXPECT_GT(board->retraces(0), after);
    // csRamdac is free again.
    std::thread([&] {
        EXPECT_TRUE(TryEnterCriticalSection(&ppdev->csRamdac));
        LeaveCriticalSection(&ppdev->csRamdac);
    }).join();
    EXPECT_EQ(vnx::debug::take(), "");
}

// The drain happens even when swaps do not wait for the retrace; the RAMDAC
// is left alone.
TEST_F(QueueVBlankTest, OnlyDrainsWithoutSyncToRetrace) {
    Boot(2);
    ppdev->bc.syncSwapToVBlank = 0;
    SendFill(1);
    kz2VBLANKWait(qm);
    for (ULONG i = 0; i < Queues(); ++i) {
        const auto items = board->take_packets(static_cast<int>(i));
        ASSERT_EQ(items.size(), 4u);
        EXPECT_EQ(items[0].kind, ItemKind::Packet);
        EXPECT_EQ(items[2].kind, ItemKind::Transfer);
    }
    EXPECT_EQ(board->retraces(0), 0u);
    EXPECT_EQ(board->ramdac_register(0, 0x33), 0u);
    EXPECT_EQ(board->ramdac_register(0, 0x36), 0u);
    EXPECT_EQ(ppdev->ptr.originY, 0);
}

// A RAMDAC whose retrace never comes: the wait gives up and says so. A
// retrace from elsewhere ends the wait.
TEST_F(QueueVBlankTest, RetraceThatNeverComesDoesNotHang) {
    auto cfg = Machine(1);
    cfg.ramdacReadsPerFrame = 0;  // retraces only when a test makes them
    Boot(cfg);
    ppdev->bc.syncSwapToVBlank = 1;
    ppdev->ptr.lastY = 100;
    vSetQueueWaitLimit(20);
    kz2VBLANKWait(qm);
    EXPECT_EQ(vnx::debug::take(), "kz2VBLANKWait: the board did not answer (kz2VBLANKWait)\n");

    vSetQueueWaitLimit(KZ2_WAIT_LIMIT_MS);
    std::atomic<bool> done{false};
    std::thread retrace([&] {
        while (!done.load()) {
            board->vertical_retrace();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    kz2VBLANKWait(qm);
    done.store(true);
    retrace.join();
    EXPECT_EQ(vnx::debug::take(), "");
    // The toggle is back at 0: V = 100.
    EXPECT_EQ(board->ramdac_register(0, 0x33), 100u);
}

}  // namespace
}  // namespace vnx::test
