// The graphics engine: the services a display driver calls back (surfaces,
// palettes) and the engine device that loads a display driver and drives it
// in the engine's order.
//
// Every service that can fail on the original platform asks
// vnx::faults::should_fail with its own name first ("EngCreatePalette",
// "EngCreateBitmap", "EngCreateDeviceSurface", "EngCreateDeviceBitmap",
// "EngAssociateSurface", "EngLockSurface", "PALOBJ_cGetColors") and then
// answers its failure value. Handles are checked on every use; a stale or
// foreign handle gets the failure value.
//
// Booting a device and enabling a driver on it:
//
//     vnx::miniport::MachineConfig cfg;          // the simulated machine
//     vnx::engine::Device device(cfg);
//     device.load_driver("vornix.dll");          // DrvEnableDriver
//     device.enable_pdev(request);               // DrvEnablePDEV, DrvCompletePDEV
//     ...
//     device.unload_driver();                    // disables what is enabled, in order
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ddi.h"
#include "platform/export.h"
#include "platform/miniport.h"

extern "C" {

// --- surfaces --------------------------------------------------------------

// A host bitmap of sizl pixels. lWidth: bytes of one row (0: the engine
// rounds rows to 32 bits). fl: BMF_TOPDOWN for row 0 first in memory. pvBits:
// the caller's bits, which must outlive the surface, or null for bits the
// engine allocates zero-filled.
VNX_PLATFORM_API HSURF EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl,
                                       PVOID pvBits);
// A device's primary surface; dhsurf is the driver's record of it.
VNX_PLATFORM_API HSURF EngCreateDeviceSurface(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat);
// A bitmap the driver keeps in its own memory; dhsurf is the driver's record.
VNX_PLATFORM_API HSURF EngCreateDeviceBitmap(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat);
// Ties a surface to an engine device (its SURFOBJ then carries the device's
// dhpdev) and records which drawing calls the driver hooks (HOOK_...).
VNX_PLATFORM_API BOOL EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks);
// The surface's SURFOBJ, valid until EngUnlockSurface; null on failure.
VNX_PLATFORM_API SURFOBJ* EngLockSurface(HSURF hsurf);
VNX_PLATFORM_API void EngUnlockSurface(SURFOBJ* pso);
VNX_PLATFORM_API BOOL EngDeleteSurface(HSURF hsurf);

// --- palettes --------------------------------------------------------------

// PAL_INDEXED: cColors (1..256) entries from pulColors (0x00BBGGRR each).
// PAL_BITFIELDS: the three masks. PAL_RGB, PAL_BGR: no arguments.
VNX_PLATFORM_API HPALETTE EngCreatePalette(ULONG iMode, ULONG cColors, ULONG* pulColors,
                                           FLONG flRed, FLONG flGreen, FLONG flBlue);
VNX_PLATFORM_API BOOL EngDeletePalette(HPALETTE hpal);
// Copies up to cColors entries from iStart into pulColors and answers how many
// it copied: fewer when the palette ends first, 0 for a palette that is not
// indexed.
VNX_PLATFORM_API ULONG PALOBJ_cGetColors(PALOBJ* ppalo, ULONG iStart, ULONG cColors,
                                         ULONG* pulColors);

}  // extern "C"

namespace vnx::engine {

// --- looking at engine objects (tests and tools) ---------------------------

struct SurfaceInfo {
    SURFOBJ so;
    FLONG flHooks;
    int cLocks;
};

struct PaletteInfo {
    ULONG iMode;
    std::vector<ULONG> colors;
    FLONG flRed, flGreen, flBlue;
};

VNX_PLATFORM_API size_t live_surfaces();
VNX_PLATFORM_API size_t live_palettes();
VNX_PLATFORM_API bool query_surface(HSURF hsurf, SurfaceInfo* info);
VNX_PLATFORM_API bool query_palette(HPALETTE hpal, PaletteInfo* info);
// The PALOBJ the engine hands the driver for a palette; null when unknown.
VNX_PLATFORM_API PALOBJ* palette_object(HPALETTE hpal);
// Writes entries of an indexed palette, as the engine does when an
// application realizes its colours; answers how many it wrote.
VNX_PLATFORM_API ULONG set_palette_colors(HPALETTE hpal, ULONG iStart, ULONG cColors,
                                          const ULONG* pulColors);

// --- the engine device -----------------------------------------------------

// A display device as the engine keeps it: the simulated machine it drives,
// the driver loaded for it and what the driver handed back. The life cycle
// follows the engine's order:
//
//   load_driver      LoadLibraryA, DrvEnableDriver (the function table)
//   enable_pdev      DrvEnablePDEV, then DrvCompletePDEV
//   enable_surface   DrvEnableSurface
//   disable_surface  DrvDisableSurface
//   disable_pdev     DrvDisableSurface when needed, then DrvDisablePDEV
//   unload_driver    disable_pdev when needed, DrvDisableDriver, FreeLibrary
//
// Each step answers false (and leaves the device as it was) when the step
// before it has not been taken or the driver refuses. The destructor unloads.
class VNX_PLATFORM_API Device {
public:
    explicit Device(const vnx::miniport::MachineConfig& config = vnx::miniport::MachineConfig());
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    bool load_driver(const char* name = "vornix.dll");
    // request: the mode asked for (all zero: the driver's first mode);
    // cPatterns: hatch brushes asked for.
    bool enable_pdev(const DEVMODEW& request, ULONG cPatterns = HS_DDI_MAX);
    bool enable_pdev();  // an all-zero request with 96 logical pixels per inch
    bool enable_surface();
    void disable_surface();
    void disable_pdev();
    void unload_driver();

    bool driver_loaded() const;
    bool pdev_enabled() const;
    bool surface_enabled() const;

    // The machine and its miniport handle (hDriver).
    vnx::miniport::Machine& machine();
    HANDLE hDriver() const;
    HDEV hdev() const;

    // What the driver answered.
    const DRVENABLEDATA& enable_data() const;
    // The driver's function for a table index, null when it gave none.
    PFN function(ULONG iFunc) const;
    DHPDEV dhpdev() const;
    HSURF hsurf() const;
    const GDIINFO& gdiinfo() const;
    const DEVINFO& devinfo() const;
    // The hatch-brush handles DrvEnablePDEV filled (as many as asked for).
    const std::vector<HSURF>& patterns() const;

    // --- engine operations that reach the driver ---------------------------

    // DrvGetModes on this device's miniport; 0 without the entry.
    ULONG get_modes(ULONG cjSize, DEVMODEW* pdm);
    // Writes colours into the device palette (the driver's default palette)
    // as far as it holds them, then calls DrvSetPalette(iStart, cColors)
    // with the device palette's PALOBJ. FALSE without an enabled device.
    BOOL set_palette(ULONG iStart, ULONG cColors, const ULONG* pulColors);

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace vnx::engine
