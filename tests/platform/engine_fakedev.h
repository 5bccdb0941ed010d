// A device run by the fake display driver, for the engine tests that reach
// a driver: its primary and device bitmaps keep their pixels in host
// bitmaps (shadows) that its DrvCopyBits reads and writes.
#pragma once

#include <gtest/gtest.h>

#include "engine_reference.h"
#include "fakedrv/fakedrv.h"

namespace ref {

class FakeDeviceTest : public EngineTest {
protected:
    void SetUp() override {
        hmod_ = LoadLibraryA("vnxfakedrv.dll");
        ASSERT_NE(hmod_, nullptr);
        auto state = reinterpret_cast<PFN_FakeDrvState>(GetProcAddress(hmod_, "FakeDrvState"));
        ASSERT_NE(state, nullptr);
        drv_ = state();
        *drv_ = FakeDrv{};
        EngineTest::SetUp();
        device_ = std::make_unique<vnx::engine::Device>();
        ASSERT_TRUE(device_->load_driver("vnxfakedrv.dll"));
        ASSERT_TRUE(device_->enable_pdev());
        ASSERT_TRUE(device_->enable_surface());
    }
    void TearDown() override {
        device_.reset();
        EngineTest::TearDown();
        if (hmod_ != nullptr) FreeLibrary(hmod_);
    }

    // A device bitmap made by the driver, deleted through it.
    class DeviceBitmap {
    public:
        DeviceBitmap(vnx::engine::Device& device, LONG cx, LONG cy, ULONG iFormat)
            : device_(device) {
            auto create = reinterpret_cast<PFN_DrvCreateDeviceBitmap>(
                device.function(INDEX_DrvCreateDeviceBitmap));
            HSURF h = create(device.dhpdev(), SIZEL{cx, cy}, iFormat);
            EXPECT_NE(h, nullptr);
            pso = EngLockSurface(h);
            shadow = reinterpret_cast<FakeSurface*>(pso->dhsurf)->psoShadow;
        }
        ~DeviceBitmap() {
            DHSURF dhsurf = pso->dhsurf;
            EngUnlockSurface(pso);
            reinterpret_cast<PFN_DrvDeleteDeviceBitmap>(device_.function(INDEX_DrvDeleteDeviceBitmap))(dhsurf);
        }
        DeviceBitmap(const DeviceBitmap&) = delete;
        DeviceBitmap& operator=(const DeviceBitmap&) = delete;

        LONG cx() const { return pso->sizlBitmap.cx; }
        LONG cy() const { return pso->sizlBitmap.cy; }
        // The pixels, row by row.
        std::vector<ULONG> pixels() const {
            std::vector<ULONG> v;
            for (LONG y = 0; y < cy(); ++y)
                for (LONG x = 0; x < cx(); ++x) v.push_back(get(shadow, x, y));
            return v;
        }
        void load(const std::vector<ULONG>& v) {
            size_t i = 0;
            for (LONG y = 0; y < cy(); ++y)
                for (LONG x = 0; x < cx(); ++x) set(shadow, x, y, v[i++]);
        }

        SURFOBJ* pso = nullptr;
        SURFOBJ* shadow = nullptr;

    private:
        vnx::engine::Device& device_;
    };

    HMODULE hmod_ = nullptr;
    FakeDrv* drv_ = nullptr;
    std::unique_ptr<vnx::engine::Device> device_;
};

}  // namespace ref
