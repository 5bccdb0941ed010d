// The software drawing services on device surfaces: their pixels are
// reached through the driver's DrvCopyBits (copied to a temporary host
// bitmap, drawn, copied back), and each result equals the same drawing on a
// host bitmap.
#include <gtest/gtest.h>

#include "engine_fakedev.h"

namespace {

using ref::Bitmap;

class EngineDeviceSurface : public ref::FakeDeviceTest {
protected:
    static bool same_rect(const RECTL& a, const RECTL& b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }
    // The transfers the driver saw, as "down"/"up" with their rectangles.
    void expect_copies(const std::vector<FakeCopy>& want) {
        ASSERT_EQ(drv_->copies.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(drv_->copies[i].what, want[i].what);
            EXPECT_TRUE(same_rect(drv_->copies[i].rclDst, want[i].rclDst));
            EXPECT_EQ(drv_->copies[i].ptlSrc.x, want[i].ptlSrc.x);
            EXPECT_EQ(drv_->copies[i].ptlSrc.y, want[i].ptlSrc.y);
            EXPECT_FALSE(drv_->copies[i].bClip);
            EXPECT_FALSE(drv_->copies[i].bXlate);
        }
    }
};

TEST_F(EngineDeviceSurface, BlitOnADeviceBitmapEqualsTheHostBlit) {
    DeviceBitmap dev(*device_, 40, 30, BMF_32BPP);
    Bitmap twin(40, 30, BMF_32BPP), src(40, 30, BMF_32BPP);
    twin.randomize(1);
    src.randomize(2);
    dev.load(twin.pixels());
    const std::vector<RECTL> region = {{2, 3, 20, 10}, {10, 10, 35, 22}};
    ref::Clip clip(vnx::engine::create_clip(region.data(), 2));
    RECTL rcl{0, 0, 38, 28};
    POINTL ptl{1, 1};
    ASSERT_TRUE(EngBitBlt(dev.pso, src.pso, nullptr, clip.get(), nullptr, &rcl, &ptl, nullptr,
                          nullptr, nullptr, 0x6666));
    ASSERT_TRUE(EngBitBlt(twin.pso, src.pso, nullptr, clip.get(), nullptr, &rcl, &ptl, nullptr,
                          nullptr, nullptr, 0x6666));
    EXPECT_EQ(dev.pixels(), twin.pixels());
    // The area under the clip went down and came back up.
    expect_copies({{"down", {0, 0, 33, 19}, {2, 3}, false, false},
                   {"up", {2, 3, 35, 22}, {0, 0}, false, false}});

    // A copy that reads no target pixel still fetches the area: the clip
    // leaves holes in it that must come back unchanged.
    drv_->copies.clear();
    for (SURFOBJ* pso : {dev.pso, twin.pso})
        ASSERT_TRUE(EngBitBlt(pso, src.pso, nullptr, clip.get(), nullptr, &rcl, &ptl, nullptr,
                              nullptr, nullptr, 0xCCCC));
    EXPECT_EQ(dev.pixels(), twin.pixels());
    EXPECT_EQ(drv_->copies.size(), 2u);
}

TEST_F(EngineDeviceSurface, AFillOfEveryPixelFetchesNothing) {
    DeviceBitmap dev(*device_, 16, 16, BMF_16BPP);
    BRUSHOBJ solid{0x7C1F, nullptr};
    RECTL rcl{4, 4, 12, 9};
    ASSERT_TRUE(EngBitBlt(dev.pso, nullptr, nullptr, nullptr, nullptr, &rcl, nullptr, nullptr,
                          &solid, nullptr, 0xF0F0));
    expect_copies({{"up", {4, 4, 12, 9}, {0, 0}, false, false}});
    for (LONG y = 0; y < 16; ++y)
        for (LONG x = 0; x < 16; ++x)
            ASSERT_EQ(ref::get(dev.shadow, x, y), ref::inside(rcl, x, y) ? 0x7C1Fu : 0u) << x << "," << y;
}

TEST_F(EngineDeviceSurface, ScrollWithinTheScreen) {
    // The primary, 640 x 480 at 8 bpp: a window's contents move up-left
    // onto themselves.
    SURFOBJ* screen = drv_->psoScreen;
    SURFOBJ* shadow = reinterpret_cast<FakeSurface*>(screen->dhsurf)->psoShadow;
    Bitmap twin(640, 480, BMF_8BPP);
    twin.randomize(3);
    for (LONG y = 0; y < 480; ++y)
        for (LONG x = 0; x < 640; ++x) ref::set(shadow, x, y, twin.get(x, y));
    RECTL rcl{100, 50, 300, 200};
    POINTL ptl{110, 62};
    for (SURFOBJ* pso : {screen, twin.pso})
        ASSERT_TRUE(EngBitBlt(pso, pso, nullptr, nullptr, nullptr, &rcl, &ptl, nullptr, nullptr,
                              nullptr, 0xCCCC));
    for (LONG y = 0; y < 480; ++y)
        for (LONG x = 0; x < 640; ++x) ASSERT_EQ(ref::get(shadow, x, y), twin.get(x, y)) << x << "," << y;
    // The source area came down on its own; the target needed no fetch.
    expect_copies({{"down", {0, 0, 200, 150}, {110, 62}, false, false},
                   {"up", {100, 50, 300, 200}, {0, 0}, false, false}});
}

TEST_F(EngineDeviceSurface, CopiesStretchesAndRunsToAndFromTheDevice) {
    DeviceBitmap dev8(*device_, 20, 10, BMF_8BPP), dev32(*device_, 24, 14, BMF_32BPP);
    Bitmap twin8(20, 10, BMF_8BPP), twin32(24, 14, BMF_32BPP), host(24, 14, BMF_32BPP);
    twin8.randomize(4);
    twin32.randomize(5);
    dev8.load(twin8.pixels());
    dev32.load(twin32.pixels());
    std::vector<ULONG> vector(256);
    for (ULONG i = 0; i < 256; ++i) vector[i] = i * 0x010203u;
    ref::Xlate xlate(vnx::engine::create_xlate_vector(vector.data(), 256));

    // Device to host, translated: only a fetch.
    RECTL rcl{2, 2, 20, 12};
    POINTL ptl{1, 0};
    ASSERT_TRUE(EngCopyBits(host.pso, dev8.pso, nullptr, xlate.get(), &rcl, &ptl));
    for (LONG y = 2; y < 12; ++y)
        for (LONG x = 2; x < 20; ++x) ASSERT_EQ(host.get(x, y), vector[twin8.get(x - 1, y - 2)]);
    expect_copies({{"down", {0, 0, 18, 10}, {1, 0}, false, false}});

    // Device to device, stretched: both through their temporaries.
    drv_->copies.clear();
    RECTL rclDst{22, 1, 3, 13};  // mirrored
    RECTL rclSrc{0, 0, 20, 10};
    for (auto [dst, src] : {std::pair{dev32.pso, dev8.pso}, std::pair{twin32.pso, twin8.pso}})
        ASSERT_TRUE(EngStretchBlt(dst, src, nullptr, nullptr, xlate.get(), nullptr, nullptr,
                                  &rclDst, &rclSrc, nullptr, COLORONCOLOR));
    EXPECT_EQ(dev32.pixels(), twin32.pixels());
    ASSERT_EQ(drv_->copies.size(), 3u);  // source down, target down, target up

    // Runs onto the device: the gaps keep the device's pixels.
    drv_->copies.clear();
    const BYTE runs[] = {2, 7, 0, 2, 3, 1, 1, 9, 0, 1};  // bottom row, then one row up
    HSURF hrle = vnx::engine::create_rle_bitmap(SIZEL{6, 2}, BMF_8RLE, runs, sizeof runs);
    SURFOBJ* rle = EngLockSurface(hrle);
    RECTL rclRle{5, 5, 11, 7};
    POINTL origin{0, 0};
    for (SURFOBJ* dst : {dev8.pso, twin8.pso})
        ASSERT_TRUE(EngCopyBits(dst, rle, nullptr, nullptr, &rclRle, &origin));
    EXPECT_EQ(dev8.pixels(), twin8.pixels());
    EXPECT_EQ(twin8.get(5, 6), 7u);
    EXPECT_EQ(twin8.get(10, 5), 9u);
    expect_copies({{"down", {0, 0, 6, 2}, {5, 5}, false, false},
                   {"up", {5, 5, 11, 7}, {0, 0}, false, false}});
    EngUnlockSurface(rle);
    EngDeleteSurface(hrle);
}

TEST_F(EngineDeviceSurface, DriverFailuresAndRecursion) {
    DeviceBitmap dev(*device_, 8, 8, BMF_8BPP);
    Bitmap src(8, 8, BMF_8BPP);
    src.randomize(6);
    const std::vector<ULONG> before = dev.pixels();
    RECTL rcl{0, 0, 8, 8};
    POINTL ptl{0, 0};
    BRUSHOBJ solid{3, nullptr};

    // The fetch fails: nothing is drawn.
    drv_->failCopyBits = true;
    EXPECT_FALSE(EngBitBlt(dev.pso, src.pso, nullptr, nullptr, nullptr, &rcl, &ptl, nullptr,
                           nullptr, nullptr, 0x6666));
    // The write back fails: the blit reports it.
    EXPECT_FALSE(EngBitBlt(dev.pso, nullptr, nullptr, nullptr, nullptr, &rcl, nullptr, nullptr,
                           &solid, nullptr, 0xF0F0));
    EXPECT_EQ(dev.pixels(), before);
    drv_->failCopyBits = false;

    // A driver that hands the transfer straight back gets FALSE at once
    // instead of being called again for ever.
    drv_->copies.clear();
    drv_->copyBitsCallsBack = true;
    EXPECT_FALSE(EngBitBlt(dev.pso, src.pso, nullptr, nullptr, nullptr, &rcl, &ptl, nullptr,
                           nullptr, nullptr, 0x6666));
    EXPECT_EQ(drv_->copies.size(), 1u);
    drv_->copyBitsCallsBack = false;

    // A device surface with no driver behind it.
    HSURF lone = EngCreateDeviceBitmap(reinterpret_cast<DHSURF>(0x10), SIZEL{8, 8}, BMF_8BPP);
    SURFOBJ* pso = EngLockSurface(lone);
    for (BOOL b : {EngBitBlt(pso, nullptr, nullptr, nullptr, nullptr, &rcl, nullptr, nullptr, &solid,
                             nullptr, 0xF0F0),
                   EngCopyBits(src.pso, pso, nullptr, nullptr, &rcl, &ptl),
                   EngStretchBlt(pso, src.pso, nullptr, nullptr, nullptr, nullptr, nullptr, &rcl,
                                 &rcl, nullptr, COLORONCOLOR)})
        EXPECT_FALSE(b);
    EngUnlockSurface(pso);
    EngDeleteSurface(lone);
}

}  // namespace
