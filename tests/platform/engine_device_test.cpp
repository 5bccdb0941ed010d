// The engine device: loading a display driver by name and calling it in the
// engine's order, with a driver that records the calls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakedrv/fakedrv.h"
#include "platform/engine.h"
#include "platform/faults.h"

namespace {

using vnx::engine::Device;
using Calls = std::vector<std::string>;

// Holds the fake driver loaded for the test's life, so its state can be set
// before the engine loads it and read afterwards.
class EngineDevice : public ::testing::Test {
protected:
    void SetUp() override {
        hmod_ = LoadLibraryA("vnxfakedrv.dll");
        ASSERT_NE(hmod_, nullptr);
        auto state = reinterpret_cast<PFN_FakeDrvState>(GetProcAddress(hmod_, "FakeDrvState"));
        ASSERT_NE(state, nullptr);
        drv_ = state();
        *drv_ = FakeDrv{};
        surfaces_ = vnx::engine::live_surfaces();
        palettes_ = vnx::engine::live_palettes();
    }
    void TearDown() override {
        EXPECT_EQ(vnx::engine::live_surfaces(), surfaces_);
        EXPECT_EQ(vnx::engine::live_palettes(), palettes_);
        if (hmod_ != nullptr) FreeLibrary(hmod_);
    }

    vnx::faults::Scope faults_;
    HMODULE hmod_ = nullptr;
    FakeDrv* drv_ = nullptr;
    size_t surfaces_ = 0, palettes_ = 0;
};

TEST_F(EngineDevice, CallsTheDriverInTheEnginesOrder) {
    {
        Device device;
        ASSERT_TRUE(device.load_driver("vnxfakedrv.dll"));
        EXPECT_EQ(drv_->iEngineVersion, DDI_DRIVER_VERSION);
        EXPECT_EQ(drv_->cj, CJ_DRVENABLEDATA);
        EXPECT_EQ(device.enable_data().iDriverVersion, DDI_DRIVER_VERSION);
        EXPECT_NE(device.function(INDEX_DrvSetPalette), nullptr);
        EXPECT_EQ(device.function(INDEX_DrvBitBlt), nullptr);
        EXPECT_EQ(device.function(200), nullptr);  // beyond the engine's table

        DEVMODEW dm{};
        dm.dmPelsWidth = 800;
        ASSERT_TRUE(device.enable_pdev(dm, 3));
        EXPECT_EQ(drv_->hdevCompleted, device.hdev());
        EXPECT_EQ(drv_->hDriver, device.hDriver());
        EXPECT_EQ(drv_->cPatterns, 3u);
        EXPECT_EQ(drv_->request.dmPelsWidth, 800u);
        EXPECT_EQ(device.gdiinfo().ulVersion, 0x3502u);
        EXPECT_EQ(device.patterns().size(), 3u);

        ASSERT_TRUE(device.enable_surface());
        // The primary was associated with this device: it carries the
        // driver's device record and the hooks.
        ASSERT_NE(drv_->psoScreen, nullptr);
        EXPECT_EQ(drv_->psoScreen->dhpdev, device.dhpdev());
        EXPECT_EQ(drv_->psoScreen->hdev, device.hdev());
        vnx::engine::SurfaceInfo info{};
        ASSERT_TRUE(vnx::engine::query_surface(device.hsurf(), &info));
        EXPECT_EQ(info.flHooks, HOOK_BITBLT | HOOK_COPYBITS);
        EXPECT_EQ(info.so.iType, STYPE_DEVICE);

        // The device's palette reaches the driver through its PALOBJ.
        const ULONG colours[2] = {0xABCDEF, 0x123456};
        EXPECT_TRUE(device.set_palette(1, 2, colours));
        EXPECT_EQ(drv_->iSetPaletteStart, 1u);
        EXPECT_EQ(drv_->cSetPaletteColors, 2u);
        EXPECT_EQ(drv_->ulFirstColor, 0xABCDEFu);

        DEVMODEW modes[2]{};
        EXPECT_EQ(device.get_modes(sizeof modes, modes), sizeof(DEVMODEW));
        EXPECT_EQ(modes[0].dmPelsWidth, 640u);
        // The destructor takes everything down.
    }
    EXPECT_EQ(drv_->calls, (Calls{"DrvEnableDriver", "DrvEnablePDEV", "DrvCompletePDEV",
                                  "DrvEnableSurface", "DrvSetPalette", "DrvGetModes",
                                  "DrvDisableSurface", "DrvDisablePDEV", "DrvDisableDriver"}));
}

TEST_F(EngineDevice, StepsNeedTheStepBefore) {
    Device device;
    EXPECT_FALSE(device.enable_pdev());
    EXPECT_FALSE(device.enable_surface());
    EXPECT_FALSE(device.set_palette(0, 1, nullptr));
    EXPECT_EQ(device.get_modes(0, nullptr), 0u);
    ASSERT_TRUE(device.load_driver("vnxfakedrv.dll"));
    EXPECT_FALSE(device.load_driver("vnxfakedrv.dll"));  // already loaded
    EXPECT_FALSE(device.enable_surface());
    ASSERT_TRUE(device.enable_pdev());
    EXPECT_FALSE(device.enable_pdev());  // already enabled
    device.disable_surface();            // nothing to disable
    device.unload_driver();
    EXPECT_EQ(drv_->calls, (Calls{"DrvEnableDriver", "DrvEnablePDEV", "DrvCompletePDEV",
                                  "DrvDisablePDEV", "DrvDisableDriver"}));
    EXPECT_FALSE(device.driver_loaded());
}

TEST_F(EngineDevice, RefusedSteps) {
    struct Row {
        const char* what;
        void (*setup)(FakeDrv&);
        const char* fault;
        bool loads, enables, surfaces;
    };
    const Row rows[] = {
        {"library missing", [](FakeDrv&) {}, "LoadLibraryA", false, false, false},
        {"driver refuses", [](FakeDrv& d) { d.refuseDriver = true; }, nullptr, false, false, false},
        {"required entry missing", [](FakeDrv& d) { d.leaveOutDisableSurface = true; }, nullptr,
         false, false, false},
        {"PDEV refused", [](FakeDrv& d) { d.failEnablePDEV = true; }, nullptr, true, false, false},
        {"surface refused", [](FakeDrv& d) { d.failEnableSurface = true; }, nullptr, true, true,
         false},
        {"surface not made", [](FakeDrv&) {}, "EngCreateDeviceSurface", true, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        *drv_ = FakeDrv{};
        row.setup(*drv_);
        vnx::faults::clear();
        if (row.fault) vnx::faults::arm(row.fault);
        Device device;
        EXPECT_EQ(device.load_driver("vnxfakedrv.dll"), row.loads);
        EXPECT_EQ(device.enable_pdev(), row.enables);
        EXPECT_EQ(device.enable_surface(), row.surfaces);
        EXPECT_EQ(device.pdev_enabled(), row.enables);
    }
    // A refused PDEV is never completed.
    *drv_ = FakeDrv{};
    drv_->failEnablePDEV = true;
    {
        Device device;
        ASSERT_TRUE(device.load_driver("vnxfakedrv.dll"));
        EXPECT_FALSE(device.enable_pdev());
    }
    EXPECT_EQ(drv_->calls, (Calls{"DrvEnableDriver", "DrvEnablePDEV", "DrvDisableDriver"}));
}

TEST_F(EngineDevice, BootsEachBoardModel) {
    for (int rasterizers : {1, 2, 4}) {
        vnx::miniport::MachineConfig cfg;
        cfg.rasterizers = rasterizers;
        Device device(cfg);
        EXPECT_EQ(device.machine().config().rasterizers, rasterizers);
        EXPECT_NE(device.hDriver(), nullptr);
        EXPECT_NE(device.hdev(), nullptr);
    }
}

}  // namespace
