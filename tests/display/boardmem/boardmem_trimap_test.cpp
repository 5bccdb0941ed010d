// Mapping of the primary, back and depth buffers onto page slots so that
// the swap can exchange front and back pages.
#include <gtest/gtest.h>

#include <string>

#include "device/entry.h"
#include "display/boardmem/boardmem_fixture.h"
#include "pdev.h"

namespace {

using vnx::test::BigPages;
using vnx::test::BoardMemTest;
using vnx::test::Request;

class Trimap : public BoardMemTest {
  protected:
    void SetUp() override {
        BoardMemTest::SetUp();
        Boot(BigPages(), Request(1024, 768, 32));
    }

    DSURF* Make(LONG cx, LONG cy, ULONG iFormat, LONG x, LONG y, FLONG fl) {
        POINTL pos{x, y};
        HSURF h = CreateDeviceBitmap(ppdev_, cx, cy, iFormat, &pos, fl);
        if (h == nullptr) return nullptr;
        vnx::engine::SurfaceInfo info{};
        vnx::engine::query_surface(h, &info);
        return reinterpret_cast<DSURF*>(info.so.dhsurf);
    }

    LONG SlotAt(const DSURF* pdsurf, LONG x, LONG y) {
        LONG cx = 0, cy = 0;
        vPageSize(ppdev_, pdsurf->pdfb->ppb->iFormat, &cx, &cy);
        return iFindSlot(ppdev_, pdsurf->pdfb->ppb, x / cx * cx, y / cy * cy);
    }
};

// 1024 x 768 at 32 bpp with a 16-bit depth buffer: every page of the three
// buffers gets a slot, at each point the depth slot's parity differs from
// the primary's, and the back slot's bits contain the primary slot's.
// Slots of other page blocks stay where they were.
TEST_F(Trimap, MapsPrimaryBackAndDepthForTheSwap) {
    DSURF* other = Make(100, 100, BMF_8BPP, 0, 0, DFB_FL_PLACED);
    DSURF* primary = Make(1024, 768, BMF_32BPP, 0, 0, 0x6F);
    DSURF* back = Make(1024, 768, BMF_32BPP, 0, 0, 0x6F);
    DSURF* depth = Make(1024, 768, BMF_16BPP, 0, 0, 0x2F);
    ASSERT_TRUE(other && primary && back && depth);
    EXPECT_EQ(primary->pdfb->ppb->id, 0u);
    EXPECT_EQ(back->pdfb->ppb->id, 1u);
    const LONG otherSlot = SlotAt(other, 0, 0);
    vnx::debug::clear();

    EXPECT_TRUE(TrimapBitmaps(ppdev_, primary, back, depth));
    EXPECT_EQ(vnx::debug::take(), "");
    EXPECT_TRUE(Consistent());
    EXPECT_EQ(SlotAt(other, 0, 0), otherSlot);
    EXPECT_EQ(ppdev_->cFreeSlots, PAGE_SLOTS - 1 - 6 - 6 - 4);

    // The walk steps 512 x 256 (the smaller of the two page sizes).
    for (LONG y = 0; y < 768; y += 256) {
        for (LONG x = 0; x < 1024; x += 512) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            const LONG p = SlotAt(primary, x, y), b = SlotAt(back, x, y), d = SlotAt(depth, x, y);
            ASSERT_GE(p, 0);
            ASSERT_GE(b, 0);
            ASSERT_GE(d, 0);
            EXPECT_NE(p & 1, d & 1);
            EXPECT_EQ(b & p, p);
            EXPECT_GT(b, p);
        }
    }
    // The first depth pages alternate parity: odd first (toggle starts clear).
    EXPECT_EQ(SlotAt(depth, 0, 0) & 1, 1);
    EXPECT_EQ(SlotAt(depth, 512, 0) & 1, 0);

    for (DSURF* s : {other, primary, back, depth})
        DrvDeleteDeviceBitmap(reinterpret_cast<DHSURF>(s));
    EXPECT_TRUE(AllFree());
}

// A back buffer elsewhere than the primary, or of another format, is an
// error: nothing is mapped afresh.
TEST_F(Trimap, RefusesABackBufferThatDoesNotMatch) {
    DSURF* primary = Make(1024, 768, BMF_32BPP, 0, 0, 0x6F);
    DSURF* depth = Make(1024, 768, BMF_16BPP, 0, 0, 0x2F);
    DSURF* moved = Make(1024, 768, BMF_32BPP, 0, 256, 0x6F);
    DSURF* other = Make(1024, 768, BMF_8BPP, 0, 0, 0x6F);
    ASSERT_TRUE(primary && depth && moved && other);
    vnx::debug::clear();
    for (DSURF* back : {moved, other}) {
        PAGESLOT before[PAGE_SLOTS];
        std::copy(ppdev_->aaSlot[0], ppdev_->aaSlot[0] + PAGE_SLOTS, before);
        EXPECT_FALSE(TrimapBitmaps(ppdev_, primary, back, depth));
        EXPECT_EQ(vnx::debug::take(), "TrimapBitmaps error - bitmaps different location/format\n");
        for (ULONG s = 0; s < PAGE_SLOTS; ++s) {
            EXPECT_EQ(ppdev_->aaSlot[0][s].ppb, before[s].ppb);
            EXPECT_EQ(ppdev_->aaSlot[0][s].x, before[s].x);
            EXPECT_EQ(ppdev_->aaSlot[0][s].y, before[s].y);
        }
    }
    EXPECT_TRUE(Consistent());
    for (DSURF* s : {primary, depth, moved, other})
        DrvDeleteDeviceBitmap(reinterpret_cast<DHSURF>(s));
    EXPECT_TRUE(AllFree());
}

// When the parity rules cannot be kept (every even slot but one is held by
// another page block), the searches say so and the pages still get slots.
TEST_F(Trimap, MapsEveryPageEvenWhenTheRulesCannotBeKept) {
    PAGEBLOCK* elsewhere = &ppdev_->aPageBlock[20];
    for (ULONG s = 0; s < PAGE_SLOTS; s += 2)
        if (s != 30) vSetSlot(ppdev_, s, elsewhere, static_cast<LONG>(s) * 64, 0);
    DSURF* primary = Make(1024, 512, BMF_32BPP, 0, 0, 0x6F);
    DSURF* back = Make(1024, 512, BMF_32BPP, 0, 0, 0x6F);
    DSURF* depth = Make(1024, 512, BMF_16BPP, 0, 0, 0x2F);
    ASSERT_TRUE(primary && back && depth);

    vnx::debug::clear();
    EXPECT_TRUE(TrimapBitmaps(ppdev_, primary, back, depth));
    const std::string messages = vnx::debug::take();
    for (const char* m : {"FindFreeTriPageV2: xxx tbd need to force VSYNC on swaps\n",
                          "FindFreeTriPageZ: uh-oh, didn't find a required page?\n",
                          "FindFreeTriPageV1: uh-oh, didn't find a required page?\n"})
        EXPECT_NE(messages.find(m), std::string::npos) << m;
    for (LONG y = 0; y < 512; y += 256) {
        for (LONG x = 0; x < 1024; x += 512) {
            EXPECT_GE(SlotAt(primary, x, y), 0);
            EXPECT_GE(SlotAt(back, x, y), 0);
            EXPECT_GE(SlotAt(depth, x, y), 0);
        }
    }
    for (ULONG s = 0; s < PAGE_SLOTS; ++s)
        if (ppdev_->aaSlot[0][s].ppb == elsewhere) vSetSlot(ppdev_, s, nullptr, 0, 0);
    EXPECT_TRUE(Consistent());
    for (DSURF* s : {primary, back, depth}) DrvDeleteDeviceBitmap(reinterpret_cast<DHSURF>(s));
    EXPECT_TRUE(AllFree());
}

}  // namespace
