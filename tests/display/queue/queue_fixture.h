// Shared helpers of the packet-queue tests: a device on a chosen machine with
// its register windows mapped and its queues built, packets written the way
// the drawing code writes them, and the board's decoded view of the streams.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device/modes.h"
#include "display/fixture.h"
#include "platform/board.h"
#include "platform/mmio.h"
#include "queue/queue_internal.h"

namespace vnx::test {

using vnx::board::DecodedPacket;
using vnx::board::ItemKind;

// A rectangle fill: class 6 (four vertices), clip pair, one pid word, one
// instruction, one data word per packet.
constexpr ULONG kFillCommand = 0x02101026;
// A polygon: class 5 (three vertices), clip pair, one pid word, one
// instruction, nothing per packet.
constexpr ULONG kPolygonCommand = 0x02100025;
// The rectangle of kz2WriteRectNoPrimData callers: class 6, clip pair, one
// pid word, one instruction, two data words per packet.
constexpr ULONG kRectCommand = 0x02150026;

// A packed 28.4 vertex of pixel (x, y).
inline ULONG Vtx(ULONG x, ULONG y) { return ((y << 16) | (x & 0xFFF)) << 4; }

// Waits (bounded) until pred() holds; answers whether it did.
template <typename Pred>
bool WaitFor(Pred pred, int ms = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// One device with queues: Boot() makes it, TearDown releases the queues and
// checks that the board saw no malformed stream.
class QueueTest : public DriverTest {
  protected:
    void Boot(const vnx::miniport::MachineConfig& cfg,
              const DEVMODEW& mode = Request(1024, 768, 16)) {
        vSetFlushThreadPeriod(flushPeriod);
        device_ = std::make_unique<vnx::engine::Device>(cfg);
        ASSERT_TRUE(device_->load_driver());
        ASSERT_TRUE(device_->enable_pdev(mode));
        ppdev = Pdev(*device_);
        ASSERT_TRUE(bSetMode(ppdev));
        ppdev->pidScreen = 0x8000;
        const std::uint64_t passes = cFlushThreadPasses();
        ASSERT_TRUE(bInitQueues(ppdev));
        // The new thread's first pass (which finds nothing to do) is over
        // before the test begins.
        ASSERT_TRUE(WaitFor([passes] { return cFlushThreadPasses() > passes; }));
        qm = ppdev->pqm;
        board = &device_->machine().board();
    }
    void Boot(int rasterizers = 1, int boards = 1) { Boot(Machine(rasterizers, boards)); }

    // Releases the queues, checks the board saw no malformed stream and
    // drops the device.
    void Shutdown() {
        if (ppdev != nullptr) vReleaseQueues(ppdev);
        if (board != nullptr) {
            EXPECT_EQ(Errors(), "");
        }
        ppdev = nullptr;
        qm = nullptr;
        board = nullptr;
        device_.reset();
    }

    void TearDown() override {
        Shutdown();
        vSetQueueWaitLimit(KZ2_WAIT_LIMIT_MS);
        vSetFlushThreadPeriod(KZ2_FLUSH_PERIOD_MS);
        DriverTest::TearDown();
    }

    ULONG Queues() const { return qm->pLayout->cQueues; }
    KZ2QUEUE* Q(ULONG i) const { return qm + i; }
    ULONG Reg(ULONG i, ULONG offset) const { return VnxRegRead(qm[i].pRegs, offset); }
    ULONG Bus(ULONG i, const ULONG* p) const { return ulBusOf(qm + i, p); }

    std::string Errors() {
        std::string all;
        for (const auto& e : board->take_errors())
            all += std::to_string(e.rasterizer) + ": " + e.message + "\n";
        return all;
    }

    // The decoded items of rasterizer r of one kind, taken from the board.
    std::vector<DecodedPacket> Take(int r, ItemKind kind = ItemKind::Packet) {
        std::vector<DecodedPacket> out;
        for (auto& p : board->take_packets(r))
            if (p.kind == kind) out.push_back(std::move(p));
        return out;
    }
    void TakeAll() {
        for (ULONG r = 0; r < Queues(); ++r) board->take_packets(static_cast<int>(r));
    }

    // Opens a packet (kz2NewPacketQueue), writes the command word into every
    // queue and a fill prefix (pid, instruction, clip, colour) followed by
    // n rectangles, each broadcast; answers the current write pointer.
    ULONG* WriteFill(ULONG n, ULONG colour = 0x1234, ULONG nPrims = ~0u) {
        ULONG* p = kz2NewPacketQueue(qm, nullptr, nPrims == ~0u ? n : nPrims);
        for (ULONG i = 0; i < Queues(); ++i) qm[i].pPacket[0] = kFillCommand;
        *p++ = 0x8000;
        *p++ = 0x10360348;
        *p++ = 0;
        *p++ = (767u << 16) | 1023u;
        *p++ = colour;
        for (ULONG k = 0; k < n; ++k) {
            const ULONG x = k % 64;
            *p++ = Vtx(x, 0);
            *p++ = Vtx(x + 1, 0);
            *p++ = Vtx(x + 1, 1);
            *p++ = Vtx(x, 1);
            p = kz2CopyPrimAndUpdate(qm, p, Vtx(0, 0));
        }
        return p;
    }
    // A whole fill packet closed with kz2UpdatePacketPtr.
    void SendFill(ULONG n, ULONG colour = 0x1234) {
        ULONG* p = WriteFill(n, colour);
        kz2UpdatePacketPtr(qm, nullptr, p, 0);
    }
    // Bytes a fill packet of n rectangles takes in the stream.
    static ULONG FillBytes(ULONG n) { return 4 * (7 + 4 * n); }

    // Fills queue i from its stream end with NOP words until cbLeft bytes
    // remain before its ring limit (white-box: moves pStreamEnd).
    void PadTo(ULONG i, ULONG cbLeft) {
        KZ2QUEUE* q = Q(i);
        ULONG* pTarget = q->pRingLimit - cbLeft / 4;
        ASSERT_GE(pTarget, q->pStreamEnd);
        for (ULONG* p = q->pStreamEnd; p < pTarget; ++p) *p = KZ2_CMD_NOP;
        vWriteEmptyPacket(pTarget);
        q->pStreamEnd = pTarget;
    }

    // The flush thread's pause. The thread starts with the first device, makes
    // one pass at once (when no queue operation has let it in yet) and then
    // pauses; by default it pauses for an hour, out of the way of the tests
    // that look at the streams word by word. Thread tests set their own
    // before Boot.
    DWORD flushPeriod = 3600 * 1000;
    std::unique_ptr<vnx::engine::Device> device_;
    PDEV* ppdev = nullptr;
    KZ2QUEUEMGT qm = nullptr;
    vnx::board::Board* board = nullptr;
};

}  // namespace vnx::test
