// Shared helpers of the display driver tests: mode requests, machines, and
// a check that every engine object a test made is gone again.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "board_models.h"
#include "pdev.h"
#include "platform/debug.h"
#include "platform/engine.h"
#include "platform/faults.h"
#include "platform/kernel.h"
#include "platform/miniport.h"

namespace vnx::test {

inline DEVMODEW Request(ULONG cx, ULONG cy, ULONG bpp, ULONG hz = 0, ULONG flags = 0) {
    DEVMODEW dm = vnx::engine::DisplayMode(cx, cy, bpp);
    dm.dmDisplayFrequency = hz;
    dm.dmDisplayFlags = flags;
    return dm;
}

inline vnx::miniport::MachineConfig Machine(int rasterizers, int boards = 1) {
    vnx::miniport::MachineConfig cfg;
    cfg.rasterizers = rasterizers;
    cfg.boards = boards;
    if (boards == 2) cfg.boardConfig.flags |= BCF_DUAL_MONITOR;
    return cfg;
}


inline vnx::miniport::MachineConfig Machine(const BoardModel& m) {
    return Machine(m.rasterizers, m.boards);
}

inline PDEV* Pdev(const vnx::engine::Device& device) {
    return reinterpret_cast<PDEV*>(device.dhpdev());
}

// Gives a variable a value for the scope and puts the old one back when the
// scope ends, also when an assertion returns early.
template <typename T>
class ScopedValue {
  public:
    ScopedValue(T& ref, T value) : ref_(ref), saved_(ref) { ref_ = value; }
    ~ScopedValue() { ref_ = saved_; }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

  private:
    T& ref_;
    T saved_;
};

// Sets an environment variable for the scope (null: removes it) and removes
// it when the scope ends.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) { Set(value); }
    ~ScopedEnv() { SetEnvironmentVariableA(name_, nullptr); }
    void Set(const char* value) { SetEnvironmentVariableA(name_, value); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
};

// Every test starts with no armed faults and an empty debug sink, and must
// leave no engine surface or palette behind.
class DriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        vnx::debug::clear();
        surfaces_ = vnx::engine::live_surfaces();
        palettes_ = vnx::engine::live_palettes();
    }
    void TearDown() override {
        vnx::faults::clear();
        EXPECT_EQ(vnx::engine::live_surfaces(), surfaces_) << "engine surfaces left behind";
        EXPECT_EQ(vnx::engine::live_palettes(), palettes_) << "engine palettes left behind";
    }

    vnx::faults::Scope faults_;

  private:
    size_t surfaces_ = 0;
    size_t palettes_ = 0;
};

}  // namespace vnx::test
