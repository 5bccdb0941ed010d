// Slot changes with packet queues: the work queued before a slot changes is
// carried out by the board before the slot register changes.
#include <gtest/gtest.h>

#include <vector>

#include "boardmem/boardmem.h"
#include "display/queue/queue_fixture.h"

namespace {

using vnx::board::Board;
using vnx::board::DecodedPacket;
using vnx::board::ItemKind;
using vnx::test::QueueTest;

class SlotDrain : public QueueTest {
  protected:
    void SetUp() override {
        QueueTest::SetUp();
        Boot(2);
        gulSlotBank = 0;
        ASSERT_TRUE(bInitPageTable(ppdev));
        TakeAll();
    }
    void TearDown() override {
        if (board != nullptr) board->set_executor(nullptr);
        if (ppdev != nullptr) vFreePageTable(ppdev);
        QueueTest::TearDown();
    }
};

// A fill queued (closed, not yet handed to the board) before a bitmap is
// made is executed by every rasterizer while the new page's slot register
// still says "free"; after the allocation the register names the page.
TEST_F(SlotDrain, QueuedWorkRunsBeforeTheSlotChanges) {
    std::vector<ULONG> seen[2];
    board->set_executor([&](Board& b, int r, const DecodedPacket& packet) {
        if (packet.kind == ItemKind::Packet && packet.command == vnx::test::kFillCommand)
            seen[r].push_back(b.read_register(r, VNX_REG_PAGE_SLOT0));
    });
    ULONG* p = WriteFill(2);
    kz2SoftUpdatePacketPtr(qm, p);
    EXPECT_TRUE(seen[0].empty());

    DFB* pdfb = pdfbAllocGeneral(ppdev, 64, 64, BMF_16BPP, 0);
    ASSERT_NE(pdfb, nullptr);
    ASSERT_EQ(iFindSlot(ppdev, pdfb->ppb, 0, 0), 0);
    for (int r = 0; r < 2; ++r) {
        SCOPED_TRACE(r);
        ASSERT_EQ(seen[r].size(), 1u);
        EXPECT_EQ(seen[r][0], VNX_PAGE_SLOT_FREE);
        EXPECT_EQ(VnxRegRead(ppdev->apRegs[r], VNX_REG_PAGE_SLOT0), pdfb->ppb->id);
    }

    // Releasing the block frees the slot, again after the queued work.
    for (auto& s : seen) s.clear();
    p = WriteFill(1);
    kz2SoftUpdatePacketPtr(qm, p);
    vReleaseDfb(ppdev, pdfb);
    for (int r = 0; r < 2; ++r) {
        ASSERT_EQ(seen[r].size(), 1u);
        EXPECT_NE(seen[r][0], VNX_PAGE_SLOT_FREE);
        EXPECT_EQ(VnxRegRead(ppdev->apRegs[r], VNX_REG_PAGE_SLOT0), VNX_PAGE_SLOT_FREE);
    }
}

}  // namespace
