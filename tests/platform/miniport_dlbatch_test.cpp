// The miniport's display-list batch storage: a pin answers an item that a
// release takes back once; items it never gave, or gave back already, are
// refused; a batch of no bytes is refused, and the miniport holds at most
// VNX_PINNED_BATCHES_MAX batches.
#include <gtest/gtest.h>

#include "platform/miniport.h"

namespace vnx::miniport {
namespace {

class DlBatchTest : public ::testing::Test {
  protected:
    DWORD Pin(std::uint32_t batch, std::uint32_t cj, VNX_DL_PIN_ITEM* pItem) {
        VNX_DL_BATCH in{batch, cj};
        DWORD returned = 0;
        const DWORD r = EngDeviceIoControl(machine.handle(), IOCTL_VNX_PIN_DL_BATCH, &in, sizeof in, pItem,
                                           sizeof *pItem, &returned);
        if (r == 0) EXPECT_EQ(returned, sizeof *pItem);
        return r;
    }
    DWORD Release(VNX_DL_PIN_ITEM item) {
        return EngDeviceIoControl(machine.handle(), IOCTL_VNX_UNPIN_DL_BATCH, &item, sizeof item, nullptr, 0,
                                  nullptr);
    }
    Machine machine;
};

TEST_F(DlBatchTest, PinAndReleaseOnce) {
    VNX_DL_PIN_ITEM a{}, b{};
    ASSERT_EQ(Pin(7, 4160, &a), 0u);
    ASSERT_EQ(Pin(8, 64, &b), 0u);
    EXPECT_NE(a.ulPin, 0u);
    EXPECT_NE(a.ulPin, b.ulPin);
    EXPECT_EQ(a.ulBatch, 7u);
    EXPECT_EQ(a.cjBatch, 4160u);
    EXPECT_EQ(machine.state().pinnedBatches, 2u);

    VNX_DL_PIN_ITEM forged = a;
    forged.cjBatch = 8;
    EXPECT_EQ(Release(forged), ERROR_INVALID_PARAMETER) << "not an item the miniport gave";
    EXPECT_EQ(Release(b), 0u);
    EXPECT_EQ(Release(b), ERROR_INVALID_PARAMETER) << "released already";
    EXPECT_EQ(Release(a), 0u);
    const MiniportState s = machine.state();
    EXPECT_EQ(s.pinnedBatches, 0u);
    EXPECT_EQ(s.batchPins, 2u);
    EXPECT_EQ(s.batchReleases, 2u);
}

TEST_F(DlBatchTest, RefusedBatches) {
    VNX_DL_PIN_ITEM item{};
    EXPECT_EQ(Pin(1, 0, &item), ERROR_INVALID_PARAMETER);
    for (std::uint32_t i = 0; i < VNX_PINNED_BATCHES_MAX; ++i) ASSERT_EQ(Pin(i, 64, &item), 0u);
    EXPECT_EQ(Pin(99, 64, &item), ERROR_NOT_ENOUGH_MEMORY);
    ASSERT_EQ(Release(item), 0u);
    EXPECT_EQ(Pin(99, 64, &item), 0u) << "room again after a release";
    EXPECT_EQ(machine.state().pinnedBatches, VNX_PINNED_BATCHES_MAX);
}

}  // namespace
}  // namespace vnx::miniport
