// The device the display driver's fuzz targets drive: a two-rasterizer
// board at 640 x 480, 16 bits a pixel, with the coverage-built driver
// (vornix_fuzz) loaded by name, or the driver named. Traps when it cannot be
// brought up.
#pragma once

#include "platform/engine.h"

inline vnx::engine::Device* boot_fuzz_device(int memoryClass = 1, const char* pszDriver = "vornix_fuzz.dll") {
    vnx::miniport::MachineConfig cfg;
    cfg.rasterizers = 2;
    cfg.memoryClass = memoryClass;
    auto* device = new vnx::engine::Device(cfg);
    DEVMODEW dm = vnx::engine::DisplayMode(640, 480, 16);
    if (!device->load_driver(pszDriver) || !device->enable_pdev(dm) || !device->enable_surface()) __builtin_trap();
    return device;
}
