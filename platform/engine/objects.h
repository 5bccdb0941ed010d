// Engine objects (surfaces, palettes, devices) and their handle tables,
// shared by the engine's files.
//
// Handles are numbers the engine hands out and checks on every use, so a
// stale or foreign handle is refused instead of followed.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/ddi.h"

namespace vnx::engine {

struct Surface {
    SURFOBJ so{};                 // what EngLockSurface hands out
    std::vector<std::uint8_t> bits;  // engine-owned bits of a host bitmap
    FLONG flHooks = 0;            // drawing calls the driver hooked
    int cLocks = 0;               // EngLockSurface calls not yet undone
};

struct Palette {
    PALOBJ palobj{};              // what the driver is handed; first, so it maps back
    HPALETTE hpal = nullptr;
    ULONG iMode = 0;              // PAL_...
    std::vector<ULONG> colors;    // PAL_INDEXED entries
    FLONG flRed = 0, flGreen = 0, flBlue = 0;  // PAL_BITFIELDS masks
};

// Every engine object, under one lock.
struct Objects {
    std::mutex lock;
    std::uintptr_t nextHandle = 0x1000;
    std::map<std::uintptr_t, std::unique_ptr<Surface>> surfaces;
    std::map<std::uintptr_t, std::unique_ptr<Palette>> palettes;
    std::map<std::uintptr_t, DHPDEV> devices;  // engine device -> driver's device, once enabled
    std::map<std::uintptr_t, const PFN*> functions;  // engine device -> driver's table, once loaded

    std::uintptr_t new_handle() {
        std::uintptr_t h = nextHandle;
        nextHandle += 4;
        return h;
    }
};

Objects& objects();

// Lookups with the lock held; null when the handle names nothing.
Surface* find_surface_locked(HSURF hsurf);
Palette* find_palette_locked(HPALETTE hpal);
Palette* find_palobj_locked(const PALOBJ* ppalo);

// Engine devices: a handle for each, and the driver's device once enabled.
HDEV register_device();
void set_device_pdev(HDEV hdev, DHPDEV dhpdev);
void unregister_device(HDEV hdev);
// The driver's function table of a device (INDEX_LAST entries, null when no
// driver is loaded), and one function of it: null when the device or the
// entry is missing.
void set_device_functions(HDEV hdev, const PFN* apfn);
PFN device_function(HDEV hdev, ULONG iFunc);

// A host bitmap as EngCreateBitmap makes it, for the engine's own use (no
// fault point), and the SURFOBJ of a surface without counting a lock.
HSURF create_bitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits);
SURFOBJ* surface_object(HSURF hsurf);

// Drops the engine's pointer of a device whose screen goes away (pointer.cpp).
void forget_pointer(HDEV hdev);

}  // namespace vnx::engine
