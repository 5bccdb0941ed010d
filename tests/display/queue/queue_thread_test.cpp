// The queue flush thread: it hands pending work to the board within its
// period, stays out while an operation holds the queues, keeps the streams
// whole while callers and the thread take turns at speed, and follows the
// current queue manager of every enabled device through disable and enable,
// ending with the last device whichever process the calls act for.
#include <optional>

#include "display/queue/queue_fixture.h"
#include "platform/process.h"

namespace vnx::test {
namespace {

class QueueThreadTest : public QueueTest {
  protected:
    // Waits (bounded) until the thread has made n more whole passes; a pass
    // that begins after this call sees everything done before it.
    static bool WaitPasses(std::uint64_t n) {
        const std::uint64_t target = cFlushThreadPasses() + n;
        return WaitFor([target] { return cFlushThreadPasses() >= target; });
    }
};

// Words closed but not handed over (under 512 bytes) reach the board within
// the thread's period of 99 ms, padded to a line with the hand-over's NOPs.
TEST_F(QueueThreadTest, HandsPendingWorkOverWithinItsPeriod) {
    flushPeriod = KZ2_FLUSH_PERIOD_MS;
    Boot(2);
    SendFill(3);
    for (ULONG i = 0; i < Queues(); ++i) ASSERT_EQ(Reg(i, VNX_REG_WRITE_PTR), Q(i)->ulRingBus);
    // The second pass after the release began after it.
    ASSERT_TRUE(WaitPasses(2));
    vHoldFlushThread(qm);
    for (ULONG i = 0; i < Queues(); ++i) {
        SCOPED_TRACE(i);
        KZ2QUEUE* q = Q(i);
        EXPECT_EQ(q->pStreamEnd, q->pKicked);
        EXPECT_EQ(Reg(i, VNX_REG_WRITE_PTR), Bus(i, q->pKicked));
        const auto packets = Take(static_cast<int>(i));
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(packets[0].primitives, 3u);
    }
}

// While an operation holds the queues the thread hands nothing over; the
// next releasing call lets it in again.
TEST_F(QueueThreadTest, HeldOffDuringAnOperation) {
    flushPeriod = 2;
    Boot(1);
    SendFill(1);
    ASSERT_TRUE(WaitPasses(2));
    ASSERT_EQ(Take(0).size(), 1u);  // the thread works

    kz2UpdatePacketPtr(qm, nullptr, WriteFill(2), 0);
    ULONG* p = WriteFill(4);  // held from here
    kz2SoftUpdatePacketPtr(qm, p);
    ASSERT_TRUE(WaitPasses(3));
    EXPECT_TRUE(Take(0).empty());
    EXPECT_NE(Q(0)->pStreamEnd, Q(0)->pKicked);

    kz2ConfigEnable(qm);  // releases
    ASSERT_TRUE(WaitPasses(2));
    vHoldFlushThread(qm);
    const auto packets = Take(0);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].primitives, 2u);
    EXPECT_EQ(packets[1].primitives, 4u);
}

// Callers and a thread that passes every millisecond take turns on four
// queues: every packet reaches every rasterizer whole and in order.
TEST_F(QueueThreadTest, HandshakeKeepsTheStreamsWhole) {
    flushPeriod = 1;
    auto cfg = Machine(4);
    cfg.dmaBytes = 0x20000;  // small rings: wraps and restarts happen too
    Boot(cfg);
    constexpr ULONG kPackets = 400;
    for (ULONG k = 0; k < kPackets; ++k) {
        SendFill(k % 7 + 1, k);
        if (k % 50 == 49) kz2FlushQueue(qm, ~0u, nullptr, nullptr);
        if (k % 10 == 3) std::this_thread::yield();
    }
    kz2FlushQueue(qm, ~0u, nullptr, nullptr);
    for (ULONG i = 0; i < Queues(); ++i) {
        SCOPED_TRACE(i);
        const auto packets = Take(static_cast<int>(i));
        ASSERT_EQ(packets.size(), kPackets);
        for (ULONG k = 0; k < kPackets; ++k) {
            ASSERT_EQ(packets[k].constants, std::vector<std::uint32_t>{k});
            ASSERT_EQ(packets[k].primitives, k % 7 + 1);
        }
    }
}

// The close-all step and the sync wait take turns with a thread that passes
// without a pause: the step holds the thread off (and leaves it held) while
// it writes the streams, so every packet reaches every rasterizer whole and
// in order and no wait gives the board up.
TEST_F(QueueThreadTest, CloseAllKeepsTheThreadOut) {
    flushPeriod = 0;
    Boot(4);
    constexpr ULONG kRounds = 300;
    for (ULONG k = 0; k < kRounds; ++k) {
        SendFill(k % 5 + 1, k);
        if (k % 3 == 0) std::this_thread::yield();
        vCloseAllQueuePackets(qm);
        ASSERT_EQ(qm->fAutoFlush.load(), 0u);
        kz2SyncDMA(qm);
    }
    for (ULONG i = 0; i < Queues(); ++i) {
        SCOPED_TRACE(i);
        const auto packets = Take(static_cast<int>(i));
        ASSERT_EQ(packets.size(), kRounds);
        for (ULONG k = 0; k < kRounds; ++k) {
            ASSERT_EQ(packets[k].constants, std::vector<std::uint32_t>{k});
            ASSERT_EQ(packets[k].primitives, k % 5 + 1);
        }
    }
    EXPECT_EQ(vnx::debug::take(), "");
}

// Stopping the thread does not depend on the process the starting or the
// stopping call acts for, nor on the starting process being alive: the stop
// waits until the thread has left its loop, and the next start has exactly
// one thread serving the device.
TEST_F(QueueThreadTest, StopsWhicheverProcessTheCallsActFor) {
    struct Row {
        const char* what;
        bool startInApp;
        bool stopInApp;
        bool appEnds;  // before the stop
    };
    const Row rows[] = {
        {"started for an application", true, false, false},
        {"stopped for an application", false, true, false},
        {"started for an application that ended", true, false, true},
    };
    flushPeriod = 2;
    Boot(1);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        vReleaseQueues(ppdev);
        ASSERT_FALSE(bFlushThreadRunning());
        const DWORD app = vnx::process::create("app");
        {
            std::optional<vnx::process::Scope> scope;
            if (row.startInApp) scope.emplace(app);
            ASSERT_TRUE(bInitQueues(ppdev));
        }
        qm = ppdev->pqm;
        ASSERT_TRUE(WaitPasses(1));
        if (row.appEnds) {
            ASSERT_TRUE(vnx::process::terminate(app));
        }
        {
            std::optional<vnx::process::Scope> scope;
            if (row.stopInApp) scope.emplace(app);
            vReleaseQueues(ppdev);
        }
        EXPECT_FALSE(bFlushThreadRunning());
        EXPECT_EQ(cFlushThreadLoops(), 0u);
        EXPECT_EQ(vnx::debug::take(), "");
        if (!row.appEnds) vnx::process::terminate(app);

        // A new start: one thread, and it works.
        ASSERT_TRUE(bInitQueues(ppdev));
        qm = ppdev->pqm;
        ASSERT_TRUE(WaitPasses(2));
        EXPECT_EQ(cFlushThreadLoops(), 1u);
        SendFill(3);
        ASSERT_TRUE(WaitPasses(2));
        vHoldFlushThread(qm);
        const auto packets = Take(0);
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(packets[0].primitives, 3u);
        vReleaseFlushThread(qm);
    }
}

// Disabling and enabling the device again: the thread ends with the last
// device and a new one follows the new queue manager. With two devices the
// thread serves both and outlives the first one's release.
TEST_F(QueueThreadTest, FollowsDevicesThroughDisableAndEnable) {
    flushPeriod = 2;
    Boot(1);
    EXPECT_TRUE(bFlushThreadRunning());
    SendFill(1);
    ASSERT_TRUE(WaitPasses(2));
    EXPECT_EQ(Take(0).size(), 1u);

    vReleaseQueues(ppdev);
    EXPECT_FALSE(bFlushThreadRunning());
    ASSERT_TRUE(bInitQueues(ppdev));
    qm = ppdev->pqm;
    EXPECT_TRUE(bFlushThreadRunning());
    SendFill(2);
    ASSERT_TRUE(WaitPasses(2));
    vHoldFlushThread(qm);
    auto packets = Take(0);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].primitives, 2u);
    vReleaseFlushThread(qm);

    // A second device on its own machine.
    vnx::engine::Device other(Machine(2));
    ASSERT_TRUE(other.load_driver());
    ASSERT_TRUE(other.enable_pdev(Request(800, 600, 8)));
    PDEV* ppdevOther = Pdev(other);
    ASSERT_TRUE(bSetMode(ppdevOther));
    ASSERT_TRUE(bInitQueues(ppdevOther));
    vReleaseQueues(ppdev);
    EXPECT_TRUE(bFlushThreadRunning());

    KZ2QUEUEMGT qmOther = ppdevOther->pqm;
    std::swap(qm, qmOther);
    SendFill(5);
    std::swap(qm, qmOther);
    ASSERT_TRUE(WaitPasses(2));
    vHoldFlushThread(qmOther);
    vnx::board::Board& boardOther = other.machine().board();
    for (int r = 0; r < 2; ++r) {
        int cPackets = 0;
        for (const auto& item : boardOther.take_packets(r))
            cPackets += item.kind == ItemKind::Packet;
        EXPECT_EQ(cPackets, 1) << r;
    }
    vReleaseQueues(ppdevOther);
    EXPECT_FALSE(bFlushThreadRunning());
    EXPECT_TRUE(boardOther.errors().empty());
}

}  // namespace
}  // namespace vnx::test
