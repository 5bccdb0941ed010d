// Shared fixture of the escape tests: a device enabled through the engine,
// a surface object that names it, and short calls of the escape and OpenGL
// entry points.
#pragma once

#include <memory>
#include <string>

#include "device/entry.h"
#include "display/fixture.h"
#include "escapes.h"

namespace vnx::test {

class EscapeTest : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        Boot(Machine(4), Request(1024, 768, 16));
    }

    void TearDown() override {
        SetEnvironmentVariableA("KZGLSRVNAME", nullptr);
        if (ppdev_ != nullptr) {
            // Neither the GL server nor escape modules go with the device.
            DrvEscape(&so_, static_cast<ULONG>(ESC_UNLOADGLSERVER), 0, nullptr, 0, nullptr);
            EXPECT_EQ(ppdev_->pEscapeModules, nullptr) << "escape modules left loaded";
            ppdev_->hsurfZ = nullptr;
        }
        device_.reset();
        DriverTest::TearDown();
    }

    // Replaces the device by one on another machine, enabled for request.
    void Boot(const vnx::miniport::MachineConfig& config, const DEVMODEW& request) {
        if (ppdev_ != nullptr) ppdev_->hsurfZ = nullptr;
        ppdev_ = nullptr;
        device_.reset();
        device_ = std::make_unique<vnx::engine::Device>(config);
        ASSERT_TRUE(device_->load_driver());
        ASSERT_TRUE(device_->enable_pdev(request));
        ppdev_ = Pdev(*device_);
        so_ = SURFOBJ{};
        so_.dhpdev = device_->dhpdev();
        vnx::faults::clear();
        vnx::debug::clear();
    }

    ULONG Escape(LONG iEsc, ULONG cjIn = 0, const void* pvIn = nullptr, ULONG cjOut = 0,
                 void* pvOut = nullptr) {
        return DrvEscape(&so_, static_cast<ULONG>(iEsc), cjIn, const_cast<void*>(pvIn), cjOut,
                         pvOut);
    }
    ULONG DrawEscape(LONG iEsc, ULONG cjIn = 0, const void* pvIn = nullptr) {
        return DrvDrawEscape(&so_, static_cast<ULONG>(iEsc), nullptr, nullptr, cjIn,
                             const_cast<void*>(pvIn));
    }
    ULONG Query(LONG iQueried) { return Escape(QUERYESCSUPPORT, 4, &iQueried); }
    ULONG DrawQuery(LONG iQueried) { return DrawEscape(QUERYESCSUPPORT, 4, &iQueried); }
    // Escapes that take a zero-terminated name.
    ULONG NameEscape(LONG iEsc, const std::string& name) {
        return Escape(iEsc, static_cast<ULONG>(name.size() + 1), name.c_str());
    }

    std::unique_ptr<vnx::engine::Device> device_;
    PDEV* ppdev_ = nullptr;
    SURFOBJ so_{};
};

}  // namespace vnx::test
