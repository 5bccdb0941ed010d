// Shared helpers of the board-memory tests: a device whose register windows
// are mapped and whose page table is set up the way the surface enable does
// it, and a check of every invariant the page table and the free-space trees
// must keep.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <vector>

#include "boardmem/boardmem.h"
#include "device/modes.h"
#include "display/fixture.h"
#include "platform/board.h"
#include "platform/mmio.h"

namespace vnx::test {

// A machine whose pages are twice as wide and twice as high as the default
// ones (memory class 1): 32-bpp pages of 512 x 256 pixels.
inline vnx::miniport::MachineConfig BigPages(int rasterizers = 1, int boards = 1) {
    auto cfg = Machine(rasterizers, boards);
    cfg.xMultiplierCode = 1;
    cfg.yMultiplierCode = 1;
    return cfg;
}

class BoardMemTest : public DriverTest {
  protected:
    // Enables a device for the mode, maps its register windows and sets its
    // page table up (no queues: slot changes are not drained).
    void Boot(const vnx::miniport::MachineConfig& cfg = Machine(1),
              const DEVMODEW& request = Request(1024, 768, 32)) {
        device_ = std::make_unique<vnx::engine::Device>(cfg);
        ASSERT_TRUE(device_->load_driver());
        ASSERT_TRUE(device_->enable_pdev(request));
        ppdev_ = Pdev(*device_);
        ASSERT_TRUE(bSetMode(ppdev_));
        gulSlotBank = 0;
        ASSERT_TRUE(bInitPageTable(ppdev_));
    }

    void TearDown() override {
        if (ppdev_ != nullptr) vFreePageTable(ppdev_);
        ppdev_ = nullptr;
        device_.reset();
        DriverTest::TearDown();
    }

    vnx::board::Board& board() { return device_->machine().board(); }

    ULONG SlotRegister(int rasterizer, ULONG slot) {
        return board().read_register(rasterizer, VNX_REG_PAGE_SLOT0 + 4 * slot);
    }

    int BlocksInUse() const {
        int n = 0;
        for (const PAGEBLOCK& pb : ppdev_->aPageBlock) n += pb.fInUse ? 1 : 0;
        return n;
    }

    // Everything released: no page block in use, every slot free in the
    // tables and in every rasterizer's registers.
    ::testing::AssertionResult AllFree() {
        if (BlocksInUse() != 0)
            return ::testing::AssertionFailure() << BlocksInUse() << " blocks in use";
        if (ppdev_->cFreeSlots != PAGE_SLOTS)
            return ::testing::AssertionFailure() << ppdev_->cFreeSlots << " free slots";
        for (int r = 0; r < board().rasterizers(); ++r)
            for (ULONG s = 0; s < PAGE_SLOTS; ++s)
                if (SlotRegister(r, s) != VNX_PAGE_SLOT_FREE)
                    return ::testing::AssertionFailure()
                           << "register of slot " << s << " of rasterizer " << r;
        return ::testing::AssertionSuccess();
    }

    // The invariants of the page table and of every free-space tree.
    ::testing::AssertionResult Consistent() {
        std::ostringstream why;
        const PDEV* p = ppdev_;
        ULONG cFree = 0;
        for (ULONG s = 0; s < PAGE_SLOTS; ++s) {
            const PAGESLOT& a = p->aaSlot[0][s];
            const PAGESLOT& b = p->aaSlot[1][s];
            if (a.ppb != b.ppb || a.x != b.x || a.y != b.y)
                why << "tables differ at slot " << s << "; ";
            if (a.ppb == nullptr) {
                ++cFree;
                continue;
            }
            if (!a.ppb->fInUse) why << "slot " << s << " holds a released block; ";
            for (ULONG t = s + 1; t < PAGE_SLOTS; ++t) {
                const PAGESLOT& c = p->aaSlot[0][t];
                if (c.ppb == a.ppb && c.x == a.x && c.y == a.y)
                    why << "slots " << s << " and " << t << " hold one page; ";
            }
        }
        if (cFree != p->cFreeSlots)
            why << "free count " << p->cFreeSlots << " but " << cFree << " free; ";
        for (int r = 0; r < board().rasterizers(); ++r)
            for (ULONG s = 0; s < PAGE_SLOTS; ++s)
                if (SlotRegister(r, s) != ulSlotRegister(&p->aaSlot[0][s]))
                    why << "register " << s << " of rasterizer " << r << "; ";

        for (const PAGEBLOCK& pb : p->aPageBlock) {
            if ((pb.fInUse != 0) != (pb.pdfbRoot != nullptr))
                why << "block " << pb.id << " half released; ";
            if (pb.pdfbRoot == nullptr) continue;
            const DFB* root = pb.pdfbRoot;
            if (root->x != 0 || root->y != 0 || root->cxNode != BLOCK_EXTENT ||
                root->cyNode != BLOCK_EXTENT || root->pdfbParent != nullptr)
                why << "root of block " << pb.id << "; ";
            std::vector<const DFB*> stack{root};
            while (!stack.empty()) {
                const DFB* n = stack.back();
                stack.pop_back();
                if (n->ppb != &pb) why << "node outside its block; ";
                if (n->fl & DFB_STATE_SPLIT) {
                    const DFB* c1 = n->pdfbChild1;
                    const DFB* c2 = n->pdfbChild2;
                    if (c1 == nullptr || c2 == nullptr || c1->pdfbParent != n ||
                        c2->pdfbParent != n) {
                        why << "split node without its children; ";
                        continue;
                    }
                    const bool vertical = c1->x == n->x && c1->y == n->y &&
                                          c1->cyNode == n->cyNode && c2->y == n->y &&
                                          c2->cyNode == n->cyNode && c2->x == n->x + c1->cxNode &&
                                          c1->cxNode + c2->cxNode == n->cxNode;
                    const bool horizontal = c1->x == n->x && c1->y == n->y &&
                                            c1->cxNode == n->cxNode && c2->x == n->x &&
                                            c2->cxNode == n->cxNode && c2->y == n->y + c1->cyNode &&
                                            c1->cyNode + c2->cyNode == n->cyNode;
                    if (!vertical && !horizontal) why << "children do not split their parent; ";
                    if (c1->cxNode <= 0 || c1->cyNode <= 0 || c2->cxNode <= 0 || c2->cyNode <= 0)
                        why << "empty node; ";
                    if ((c1->fl & 0xFF00) == 0 && (c2->fl & 0xFF00) == 0)
                        why << "free siblings not merged; ";
                    stack.push_back(c1);
                    stack.push_back(c2);
                } else if (n->fl & DFB_STATE_ALLOCATED) {
                    if (PID_SLOT(n->pid) != pb.id)
                        why << "allocation pid without its block's slot bits; ";
                    if (n->cx > n->cxNode || n->cy > n->cyNode || n->cxNode - n->cx > SPLIT_SLACK ||
                        n->cyNode - n->cy > SPLIT_SLACK)
                        why << "allocation " << n->cx << "x" << n->cy << " in node " << n->cxNode
                            << "x" << n->cyNode << "; ";
                    LONG pcx = 0, pcy = 0;
                    vPageSize(p, pb.iFormat, &pcx, &pcy);
                    for (LONG y = n->y / pcy * pcy; y < n->y + n->cy; y += pcy)
                        for (LONG x = n->x / pcx * pcx; x < n->x + n->cx; x += pcx)
                            if (iFindSlot(p, &pb, x, y) < 0)
                                why << "page (" << x << "," << y << ") of block " << pb.id
                                    << " unmapped; ";
                }
            }
        }
        const std::string s = why.str();
        if (s.empty()) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << s;
    }

    std::unique_ptr<vnx::engine::Device> device_;
    PDEV* ppdev_ = nullptr;
};

}  // namespace vnx::test
