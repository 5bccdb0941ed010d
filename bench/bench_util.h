// Set-up shared by the benchmarks that drive the display driver on a model
// machine.
#pragma once

#include <memory>

#include "pdev.h"
#include "platform/engine.h"

// Makes a device on a machine of the default configuration, loads the
// display driver and enables a PDEV of 1024x768 pixels at 32 bits (96 dpi).
// Answers the PDEV, or nullptr when a step failed; *pdevice holds the
// device either way.
inline PDEV* pEnableBenchPdev(std::unique_ptr<vnx::engine::Device>* pdevice) {
    vnx::miniport::MachineConfig cfg;
    *pdevice = std::make_unique<vnx::engine::Device>(cfg);
    DEVMODEW dm{};
    dm.dmSize = sizeof dm;
    dm.dmPelsWidth = 1024;
    dm.dmPelsHeight = 768;
    dm.dmBitsPerPel = 32;
    dm.dmLogPixels = 96;
    if (!(*pdevice)->load_driver() || !(*pdevice)->enable_pdev(dm)) return nullptr;
    return reinterpret_cast<PDEV*>((*pdevice)->dhpdev());
}
