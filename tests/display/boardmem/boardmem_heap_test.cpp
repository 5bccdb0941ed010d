// The board-memory allocators and the page table: filling memory with many
// sizes and freeing it all again, placed allocations, tiles, running out of
// page slots, slot reclaim, the bank search, set-up and restore.
#include <gtest/gtest.h>

#include <vector>

#include "display/boardmem/boardmem_fixture.h"

namespace {

using vnx::test::BigPages;
using vnx::test::BoardMemTest;
using vnx::test::Machine;
using vnx::test::Request;

class BoardMem : public BoardMemTest {
  protected:
    void SetUp() override {
        BoardMemTest::SetUp();
        Boot();
    }
};

struct Rect {
    LONG x, y, cx, cy;
};

bool Overlap(const DFB* a, const DFB* b) {
    return a->x < b->x + b->cxNode && b->x < a->x + a->cxNode && a->y < b->y + b->cyNode &&
           b->y < a->y + a->cyNode;
}

// Allocations of many sizes, round after round, until the board's memory
// (its 32 page slots) is full; every step keeps the trees and slots sound and
// no two allocations of a page block overlap. Freeing everything, in an
// order unlike the allocation order, leaves every tree whole and every slot
// free.
TEST_F(BoardMem, FillsMemoryWithManySizesAndFreesItAll) {
    const Rect sizes[] = {{0, 0, 3, 5},     {0, 0, 64, 64},   {0, 0, 100, 37},  {0, 0, 7, 300},
                          {0, 0, 256, 128}, {0, 0, 300, 300}, {0, 0, 513, 129}, {0, 0, 2047, 1},
                          {0, 0, 1, 2047},  {0, 0, 1000, 700}};
    struct Kind {
        ULONG iFormat;
        FLONG fl;
    };
    const std::vector<std::vector<Kind>> kinds = {
        {{BMF_8BPP, 0}},
        {{BMF_16BPP, DFB_FL_CLASS80}},
        {{BMF_32BPP, 0}},
        {{BMF_8BPP, 0}, {BMF_16BPP, 0}, {BMF_32BPP, DFB_FL_CLASS80}, {BMF_32BPP, 0}},
    };
    for (size_t k = 0; k < kinds.size(); ++k) {
        SCOPED_TRACE(k);
        std::vector<DFB*> live;
        int failures = 0;
        for (int round = 0; round < 50 && ppdev_->cFreeSlots > 0; ++round) {
            for (const Rect& r : sizes) {
                const Kind& kind = kinds[k][live.size() % kinds[k].size()];
                DFB* pdfb = pdfbAllocGeneral(ppdev_, r.cx, r.cy, kind.iFormat, kind.fl);
                if (pdfb == nullptr) {
                    ++failures;
                    continue;
                }
                EXPECT_EQ(pdfb->cx, r.cx);
                EXPECT_EQ(pdfb->cy, r.cy);
                EXPECT_EQ(pdfb->ppb->iFormat, kind.iFormat);
                EXPECT_EQ(pdfb->ppb->flClass, kind.fl);
                EXPECT_EQ(pdfb->fl, DFB_STATE_ALLOCATED | kind.fl);
                for (const DFB* other : live) {
                    if (other->ppb == pdfb->ppb) {
                        EXPECT_FALSE(Overlap(pdfb, other));
                    }
                }
                live.push_back(pdfb);
                ASSERT_TRUE(Consistent());
            }
        }
        EXPECT_GT(failures, 0);
        EXPECT_EQ(ppdev_->cFreeSlots, 0u);
        EXPECT_GT(live.size(), 10u);
        // Full: a new page for another bitmap cannot be had.
        EXPECT_EQ(pdfbAllocGeneral(ppdev_, 1000, 700, BMF_32BPP, 0), nullptr);
        ASSERT_TRUE(Consistent());

        for (size_t i = 1; i < live.size(); i += 2) {
            vReleaseDfb(ppdev_, live[i]);
            ASSERT_TRUE(Consistent());
        }
        for (size_t i = live.size(); i-- > 0;) {
            if (i % 2 == 1) continue;
            vReleaseDfb(ppdev_, live[i]);
            ASSERT_TRUE(Consistent());
        }
        EXPECT_TRUE(AllFree());
    }
}

// A placed request gets exactly its rectangle; a request reaching x or y
// 2048, or with no position, is refused; a place already taken opens
// another page block of the same kind, and kinds never share a block.
TEST_F(BoardMem, PlacesExactlyWhereAsked) {
    const struct {
        LONG x, y, cx, cy;
        bool fits;
    } rows[] = {
        {0, 0, 2047, 2047, true}, {2037, 0, 10, 10, true},  {2038, 0, 10, 10, false},
        {0, 2040, 1, 8, false},   {0, 2039, 1, 8, true},    {-1, 0, 4, 4, false},
        {100, 200, 0, 5, false},  {300, 77, 513, 99, true}, {5, 3, 1, 1, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.x << "," << row.y << " " << row.cx << "x" << row.cy);
        const POINTL pos{row.x, row.y};
        DFB* pdfb = pdfbAllocPlaced(ppdev_, row.cx, row.cy, BMF_8BPP, &pos, DFB_FL_PLACED);
        EXPECT_EQ(pdfb != nullptr, row.fits);
        if (pdfb == nullptr) continue;
        EXPECT_EQ(pdfb->x, row.x);
        EXPECT_EQ(pdfb->y, row.y);
        EXPECT_EQ(pdfb->cx, row.cx);
        EXPECT_EQ(pdfb->cy, row.cy);
        EXPECT_TRUE(Consistent());
        vReleaseDfb(ppdev_, pdfb);
        EXPECT_TRUE(AllFree());
    }
    EXPECT_EQ(pdfbAllocPlaced(ppdev_, 4, 4, BMF_8BPP, nullptr, DFB_FL_PLACED), nullptr);

    // Overlapping places, kinds and the first block searched.
    const POINTL origin{0, 0}, inside{100, 100};
    DFB* a = pdfbAllocPlaced(ppdev_, 512, 512, BMF_16BPP, &origin, 0x6F);
    DFB* b = pdfbAllocPlaced(ppdev_, 64, 64, BMF_16BPP, &inside, 0x6F);
    DFB* c = pdfbAllocPlaced(ppdev_, 64, 64, BMF_16BPP, &inside, 0x2F);
    DFB* d = pdfbAllocPlaced(ppdev_, 64, 64, BMF_32BPP, &origin, 0x2F);
    DFB* e = pdfbAllocPlaced(ppdev_, 64, 64, BMF_16BPP, &origin, 0xAF);
    DFB* f = pdfbAllocPlaced(ppdev_, 64, 64, BMF_16BPP, &inside, 0x2F);
    ASSERT_TRUE(a && b && c && d && e && f);
    EXPECT_EQ(a->ppb->id, 0u);  // 0x40: blocks from 0
    EXPECT_EQ(b->ppb->id, 1u);  // its place is taken in block 0
    EXPECT_EQ(c->ppb->id, 4u);  // without 0x40: blocks from 4
    EXPECT_EQ(d->ppb->id, 5u);  // another format
    EXPECT_EQ(e->ppb->id, 6u);  // another flag class
    EXPECT_EQ(f->ppb->id, 7u);
    // Free space of the kind in an existing block is used first.
    DFB* g = pdfbAllocPlaced(ppdev_, 64, 64, BMF_16BPP, &origin, 0x2F);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->ppb->id, 1u);
    EXPECT_EQ(PID_SLOT(g->pid), 1u);
    EXPECT_TRUE(Consistent());
    for (DFB* p : {a, b, c, d, e, f, g}) vReleaseDfb(ppdev_, p);
    EXPECT_TRUE(AllFree());
}

// A failed node allocation in the middle of a split leaves the tree as it
// was and the request refused.
TEST_F(BoardMem, SplitFailureLeavesTheTreeSound) {
    const POINTL first{0, 0}, middle{700, 900};
    DFB* keep = pdfbAllocPlaced(ppdev_, 40, 40, BMF_32BPP, &first, 0);
    ASSERT_NE(keep, nullptr);
    for (int skip = 0; skip < 8; ++skip) {
        SCOPED_TRACE(skip);
        vnx::faults::arm("LocalAlloc", skip, 1);
        DFB* pdfb = pdfbAllocPlaced(ppdev_, 30, 20, BMF_32BPP, &middle, 0);
        vnx::faults::clear();
        EXPECT_TRUE(Consistent());
        if (pdfb != nullptr) vReleaseDfb(ppdev_, pdfb);
        EXPECT_EQ(BlocksInUse(), 1);
    }
    vReleaseDfb(ppdev_, keep);
    EXPECT_TRUE(AllFree());
}

// Tiles of each size are squares at multiples of their size; many of them
// never overlap.
TEST_F(BoardMem, TilesSitAtMultiplesOfTheirSize) {
    for (ULONG iFormat : {BMF_8BPP, BMF_16BPP, BMF_32BPP}) {
        for (LONG size : {32, 64, 128, 256}) {
            SCOPED_TRACE(testing::Message() << iFormat << " " << size);
            std::vector<DFB*> tiles;
            for (int i = 0; i < 12; ++i) {
                DFB* t = pdfbAllocTile(ppdev_, size, iFormat, DFB_FL_TILE);
                if (t == nullptr) break;
                EXPECT_EQ(t->x % size, 0);
                EXPECT_EQ(t->y % size, 0);
                EXPECT_EQ(t->cx, size);
                EXPECT_EQ(t->cy, size);
                EXPECT_EQ(t->ppb->flClass, DFB_FL_CLASS80);
                for (const DFB* o : tiles) {
                    EXPECT_FALSE(Overlap(t, o));
                }
                tiles.push_back(t);
            }
            EXPECT_GE(tiles.size(), 4u);
            EXPECT_TRUE(Consistent());
            for (DFB* t : tiles) vReleaseDfb(ppdev_, t);
            EXPECT_TRUE(AllFree());
        }
    }
}

// Tiles and small bitmaps fill the pages that already hold a slot, across
// as well as down, before they take another page: n of them take exactly as
// many slots as whole pages of them need.
TEST_F(BoardMemTest, PacksIntoMappedPagesBeforeTakingNewOnes) {
    struct Row {
        const char* name;
        int memoryClass, xCode, yCode;
        bool bTile;
        ULONG iFormat;
        LONG cx, cy;  // a tile's edge in cx
        int count;
        ULONG cSlots;
    };
    const Row rows[] = {
        // 32-bpp pages of 256 x 128: two 128-tiles side by side in each.
        {"128-tiles, wide pages", 1, 0, 0, true, BMF_32BPP, 128, 128, 4, 2},
        // Class 0, x code 2: 32-bpp pages of 512 x 128, four tiles in a row.
        {"128-tiles in a row of four", 0, 2, 0, true, BMF_32BPP, 128, 128, 8, 2},
        // 32-bpp pages of 512 x 256: eight tiles.
        {"128-tiles, big pages", 1, 1, 1, true, BMF_32BPP, 128, 128, 8, 1},
        // 16-bpp pages of 256 x 256: sixteen 64-tiles.
        {"64-tiles", 1, 0, 0, true, BMF_16BPP, 64, 64, 16, 1},
        // 100 x 60 bitmaps (nodes up to 108 x 68): four in a 256 x 128 page.
        {"small bitmaps", 1, 0, 0, false, BMF_32BPP, 100, 60, 8, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto cfg = Machine(1);
        cfg.memoryClass = row.memoryClass;
        cfg.xMultiplierCode = row.xCode;
        cfg.yMultiplierCode = row.yCode;
        Boot(cfg);
        std::vector<DFB*> live;
        for (int i = 0; i < row.count; ++i) {
            DFB* p = row.bTile ? pdfbAllocTile(ppdev_, row.cx, row.iFormat, DFB_FL_TILE)
                               : pdfbAllocGeneral(ppdev_, row.cx, row.cy, row.iFormat, 0);
            ASSERT_NE(p, nullptr) << i;
            if (row.bTile) {
                EXPECT_EQ(p->x % row.cx, 0);
                EXPECT_EQ(p->y % row.cx, 0);
            }
            live.push_back(p);
        }
        EXPECT_EQ(PAGE_SLOTS - ppdev_->cFreeSlots, row.cSlots);
        EXPECT_TRUE(Consistent());
        for (DFB* p : live) vReleaseDfb(ppdev_, p);
        EXPECT_TRUE(AllFree());
        vFreePageTable(ppdev_);
        ppdev_ = nullptr;
        device_.reset();
    }
}

// 32 one-page bitmaps take every slot. The next request that needs a page
// fails cleanly (nothing kept, the others still mapped); once a bitmap is
// freed, its page's slot is reclaimed for the next request.
TEST_F(BoardMem, RunsOutOfSlotsCleanlyAndReclaims) {
    LONG cxPage = 0, cyPage = 0;
    vPageSize(ppdev_, BMF_32BPP, &cxPage, &cyPage);
    ASSERT_EQ(cxPage, 256);
    ASSERT_EQ(cyPage, 128);
    std::vector<DFB*> pages;
    for (int i = 0; i < 32; ++i) {
        DFB* p = pdfbAllocGeneral(ppdev_, cxPage, cyPage, BMF_32BPP, 0);
        ASSERT_NE(p, nullptr) << i;
        pages.push_back(p);
    }
    EXPECT_EQ(ppdev_->cFreeSlots, 0u);
    ASSERT_TRUE(Consistent());

    // Every slot is taken: a page-sized, a tiny (on an unmapped page), a
    // placed and a tile request all fail, and change nothing.
    const POINTL far{1900, 1900};
    EXPECT_EQ(pdfbAllocGeneral(ppdev_, cxPage, cyPage, BMF_32BPP, 0), nullptr);
    EXPECT_EQ(pdfbAllocGeneral(ppdev_, 1, 1, BMF_32BPP, 0), nullptr);
    EXPECT_EQ(pdfbAllocGeneral(ppdev_, 1, 1, BMF_8BPP, 0), nullptr);
    EXPECT_EQ(pdfbAllocPlaced(ppdev_, 10, 10, BMF_32BPP, &far, 0), nullptr);
    EXPECT_EQ(pdfbAllocTile(ppdev_, 32, BMF_16BPP, DFB_FL_TILE), nullptr);
    EXPECT_EQ(BlocksInUse(), 1);
    EXPECT_EQ(ppdev_->cFreeSlots, 0u);
    EXPECT_TRUE(Consistent());

    // A released bitmap keeps its slot until a request needs it.
    const ULONG reg = ulSlotRegister(
        &ppdev_->aaSlot[0][iFindSlot(ppdev_, pages[5]->ppb, pages[5]->x, pages[5]->y)]);
    vReleaseDfb(ppdev_, pages[5]);
    EXPECT_EQ(ppdev_->cFreeSlots, 0u);
    DFB* again = pdfbAllocGeneral(ppdev_, 100, 100, BMF_8BPP, 0);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(ppdev_->cFreeSlots, 0u);
    const LONG s = iFindSlot(ppdev_, again->ppb, again->x, again->y);
    ASSERT_GE(s, 0);
    EXPECT_NE(ulSlotRegister(&ppdev_->aaSlot[0][s]), reg);
    EXPECT_TRUE(Consistent());

    pages[5] = again;
    for (DFB* p : pages) vReleaseDfb(ppdev_, p);
    EXPECT_TRUE(AllFree());
}

// Slots are handed out bank by bank: 0, 3, 6, ... 30, then 1, 4, ... 31,
// then 2, 5, ... 29.
TEST_F(BoardMem, HandsOutSlotsBankByBank) {
    std::vector<ULONG> expected;
    for (ULONG b = 0; b < 3; ++b)
        for (ULONG s = b; s < PAGE_SLOTS; s += 3) expected.push_back(s);
    std::vector<ULONG> got;
    std::vector<DFB*> pages;
    for (int i = 0; i < 32; ++i) {
        DFB* p = pdfbAllocGeneral(ppdev_, 256, 128, BMF_32BPP, 0);
        ASSERT_NE(p, nullptr);
        got.push_back(static_cast<ULONG>(iFindSlot(ppdev_, p->ppb, p->x, p->y)));
        pages.push_back(p);
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(gulSlotBank.load(), 2u);
    for (DFB* p : pages) vReleaseDfb(ppdev_, p);
}

// The page table reads the memory class and the page multipliers from
// rasterizer 0 and frees every slot of every rasterizer.
TEST_F(BoardMemTest, SetUpReadsTheBoardAndFreesEverySlot) {
    const struct {
        int memoryClass, xCode, yCode;
        LONG cxPage32, cyPage32, cxPage8, cyPage8;
    } rows[] = {
        {0, 0, 0, 128, 128, 256, 256},    {1, 0, 0, 256, 128, 512, 256},
        {2, 0, 0, 256, 256, 512, 512},    {1, 1, 0, 512, 128, 1024, 256},
        {1, 2, 3, 1024, 512, 2048, 1024}, {0, 3, 1, 512, 256, 1024, 512},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.memoryClass << row.xCode << row.yCode);
        auto cfg = Machine(4);
        cfg.memoryClass = row.memoryClass;
        cfg.xMultiplierCode = row.xCode;
        cfg.yMultiplierCode = row.yCode;
        device_ = std::make_unique<vnx::engine::Device>(cfg);
        ASSERT_TRUE(device_->load_driver());
        ASSERT_TRUE(device_->enable_pdev(Request(640, 480, 8)));
        ppdev_ = vnx::test::Pdev(*device_);
        ASSERT_TRUE(bSetMode(ppdev_));
        for (int r = 0; r < 4; ++r)
            for (ULONG s = 0; s < PAGE_SLOTS; ++s)
                board().write_register(r, VNX_REG_PAGE_SLOT0 + 4 * s, s << 5);
        EXPECT_EQ(bInitPageTable(ppdev_), TRUE);
        EXPECT_EQ(ppdev_->ulMemoryClass, static_cast<ULONG>(row.memoryClass));
        LONG cx = 0, cy = 0;
        vPageSize(ppdev_, BMF_32BPP, &cx, &cy);
        EXPECT_EQ(cx, row.cxPage32);
        EXPECT_EQ(cy, row.cyPage32);
        vPageSize(ppdev_, BMF_8BPP, &cx, &cy);
        EXPECT_EQ(cx, row.cxPage8);
        EXPECT_EQ(cy, row.cyPage8);
        EXPECT_TRUE(AllFree());
        vFreePageTable(ppdev_);
        ppdev_ = nullptr;
        device_.reset();
    }
}

// Slot registers hold ((y >> 7) & 0x3F) << 11 | ((x >> 7) & 0x3F) << 5 | block;
// the restore after a mode switch writes every register again from the
// tables, each screen's rasterizers from their screen's table.
TEST_F(BoardMemTest, RestoreRewritesEachScreensRegisters) {
    Boot(Machine(2, 2), Request(1024, 768, 16));
    ppdev_->layout.bSplitScreen = 1;
    ppdev_->layout.cScreens = 2;
    ppdev_->layout.cQueuesPerScreen = 2;
    const POINTL pos{512, 384};
    DFB* pdfb = pdfbAllocPlaced(ppdev_, 16, 16, BMF_16BPP, &pos, 0);
    ASSERT_NE(pdfb, nullptr);
    const LONG s = iFindSlot(ppdev_, pdfb->ppb, 512, 256);
    ASSERT_GE(s, 0);
    const ULONG value = (256u >> 7) << 11 | (512u >> 7) << 5 | pdfb->ppb->id;
    EXPECT_EQ(ulSlotRegister(&ppdev_->aaSlot[0][s]), value);
    for (int r = 0; r < 4; ++r) EXPECT_EQ(SlotRegister(r, s), value);

    // The swap makes screen 1's table differ; a mode switch loses the registers.
    ppdev_->aaSlot[1][s].x = 0;
    for (int r = 0; r < 4; ++r)
        for (ULONG t = 0; t < PAGE_SLOTS; ++t)
            board().write_register(r, VNX_REG_PAGE_SLOT0 + 4 * t, 0);
    vRestorePageTable(ppdev_);
    for (int r = 0; r < 4; ++r) {
        for (ULONG t = 0; t < PAGE_SLOTS; ++t) {
            const ULONG want = ulSlotRegister(&ppdev_->aaSlot[r / 2][t]);
            EXPECT_EQ(SlotRegister(r, t), want) << r << " " << t;
        }
    }
    EXPECT_EQ(SlotRegister(2, s), (256u >> 7) << 11 | pdfb->ppb->id);
    ppdev_->aaSlot[1][s].x = 512;
    vReleaseDfb(ppdev_, pdfb);
    EXPECT_TRUE(AllFree());
}

}  // namespace
