// The display as an OpenGL test starts it: the graphics engine's device on
// the default machine, the display driver loaded with its device and screen
// surface enabled, the GL server looked for under its default name, and no
// failure injected from an earlier test.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/engine.h"
#include "platform/faults.h"
#include "platform/windows.h"

inline void BootDisplay(std::unique_ptr<vnx::engine::Device>* device) {
    SetEnvironmentVariableA("KZGLSRVNAME", nullptr);
    vnx::faults::clear();
    *device = std::make_unique<vnx::engine::Device>();
    ASSERT_TRUE((*device)->load_driver());
    ASSERT_TRUE((*device)->enable_pdev());
    ASSERT_TRUE((*device)->enable_surface());
}
