// Engine surfaces: host bitmaps, device surfaces and device bitmaps, their
// association with a device, locking and deletion.
#include <cstring>

#include "objects.h"
#include "platform/engine.h"
#include "platform/faults.h"

namespace vnx::engine {

Objects& objects() {
    static Objects* o = new Objects;  // outlives static destructors that may call in
    return *o;
}

Surface* find_surface_locked(HSURF hsurf) {
    auto& o = objects();
    auto it = o.surfaces.find(reinterpret_cast<std::uintptr_t>(hsurf));
    return it == o.surfaces.end() ? nullptr : it->second.get();
}

namespace {

// Bits per pixel of a bitmap format, 0 for an unknown one.
ULONG bits_per_pixel(ULONG iFormat) {
    static const ULONG bpp[] = {0, 1, 4, 8, 16, 24, 32};
    return iFormat < sizeof bpp / sizeof bpp[0] ? bpp[iFormat] : 0;
}

HSURF insert_surface(std::unique_ptr<Surface> s) {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    std::uintptr_t h = o.new_handle();
    s->so.hsurf = reinterpret_cast<HSURF>(h);
    o.surfaces[h] = std::move(s);
    return reinterpret_cast<HSURF>(h);
}

HSURF create_device_kind(DHSURF dhsurf, SIZEL sizl, ULONG iFormat, USHORT iType) {
    if (sizl.cx <= 0 || sizl.cy <= 0 || bits_per_pixel(iFormat) == 0) return nullptr;
    auto s = std::make_unique<Surface>();
    s->so.dhsurf = dhsurf;
    s->so.sizlBitmap = sizl;
    s->so.iBitmapFormat = iFormat;
    s->so.iType = iType;
    return insert_surface(std::move(s));
}

}  // namespace

size_t live_surfaces() {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    return o.surfaces.size();
}

bool query_surface(HSURF hsurf, SurfaceInfo* info) {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    Surface* s = find_surface_locked(hsurf);
    if (s == nullptr) return false;
    if (info != nullptr) {
        info->so = s->so;
        info->flHooks = s->flHooks;
        info->cLocks = s->cLocks;
    }
    return true;
}

HSURF create_bitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits) {
    ULONG bpp = bits_per_pixel(iFormat);
    if (sizl.cx <= 0 || sizl.cy <= 0 || bpp == 0) return nullptr;
    // The narrowest row that holds cx pixels; without a width the engine
    // rounds rows up to whole 32-bit words.
    std::uint64_t minRow = (static_cast<std::uint64_t>(sizl.cx) * bpp + 7) / 8;
    std::int64_t width = lWidth < 0 ? -static_cast<std::int64_t>(lWidth) : lWidth;
    std::uint64_t row = width != 0 ? static_cast<std::uint64_t>(width)
                                   : (static_cast<std::uint64_t>(sizl.cx) * bpp + 31) / 32 * 4;
    if (row < minRow || row > 0x7FFFFFFF) return nullptr;
    std::uint64_t total = row * static_cast<std::uint64_t>(sizl.cy);
    if (total > 0x7FFFFFFF) return nullptr;

    auto s = std::make_unique<Surface>();
    std::uint8_t* bits = static_cast<std::uint8_t*>(pvBits);
    if (bits == nullptr) {
        s->bits.assign(static_cast<size_t>(total), 0);
        bits = s->bits.data();
    }
    s->so.sizlBitmap = sizl;
    s->so.cjBits = static_cast<ULONG>(total);
    s->so.pvBits = bits;
    s->so.iBitmapFormat = iFormat;
    s->so.iType = STYPE_BITMAP;
    s->so.fjBitmap = static_cast<USHORT>(fl & BMF_TOPDOWN);
    if (fl & BMF_TOPDOWN) {
        s->so.pvScan0 = bits;
        s->so.lDelta = static_cast<LONG>(row);
    } else {
        s->so.pvScan0 = bits + (total - row);
        s->so.lDelta = -static_cast<LONG>(row);
    }
    return insert_surface(std::move(s));
}

SURFOBJ* surface_object(HSURF hsurf) {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    Surface* s = find_surface_locked(hsurf);
    return s == nullptr ? nullptr : &s->so;
}

HSURF create_rle_bitmap(SIZEL sizl, ULONG iFormat, const void* pvBits, ULONG cjBits) {
    if ((iFormat != BMF_4RLE && iFormat != BMF_8RLE) || sizl.cx <= 0 || sizl.cy <= 0 ||
        pvBits == nullptr || cjBits == 0 || cjBits > 0x7FFFFFFF)
        return nullptr;
    auto s = std::make_unique<Surface>();
    const auto* bytes = static_cast<const std::uint8_t*>(pvBits);
    s->bits.assign(bytes, bytes + cjBits);
    s->so.sizlBitmap = sizl;
    s->so.cjBits = cjBits;
    s->so.pvBits = s->bits.data();
    s->so.pvScan0 = s->bits.data();
    s->so.iBitmapFormat = iFormat;
    s->so.iType = STYPE_BITMAP;
    return insert_surface(std::move(s));
}

}  // namespace vnx::engine

using namespace vnx::engine;

extern "C" HSURF EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl,
                                 PVOID pvBits) {
    if (vnx::faults::should_fail("EngCreateBitmap")) return nullptr;
    return create_bitmap(sizl, lWidth, iFormat, fl, pvBits);
}

extern "C" HSURF EngCreateDeviceSurface(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat) {
    if (vnx::faults::should_fail("EngCreateDeviceSurface")) return nullptr;
    return create_device_kind(dhsurf, sizl, iFormatCompat, STYPE_DEVICE);
}

extern "C" HSURF EngCreateDeviceBitmap(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat) {
    if (vnx::faults::should_fail("EngCreateDeviceBitmap")) return nullptr;
    return create_device_kind(dhsurf, sizl, iFormatCompat, STYPE_DEVBITMAP);
}

extern "C" BOOL EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks) {
    if (vnx::faults::should_fail("EngAssociateSurface")) return FALSE;
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    Surface* s = find_surface_locked(hsurf);
    auto d = o.devices.find(reinterpret_cast<std::uintptr_t>(hdev));
    if (s == nullptr || d == o.devices.end()) return FALSE;
    s->so.hdev = hdev;
    s->so.dhpdev = d->second;
    s->flHooks = flHooks;
    return TRUE;
}

extern "C" SURFOBJ* EngLockSurface(HSURF hsurf) {
    if (vnx::faults::should_fail("EngLockSurface")) return nullptr;
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    Surface* s = find_surface_locked(hsurf);
    if (s == nullptr) return nullptr;
    ++s->cLocks;
    return &s->so;
}

extern "C" void EngUnlockSurface(SURFOBJ* pso) {
    if (pso == nullptr) return;
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    Surface* s = find_surface_locked(pso->hsurf);
    if (s != nullptr && &s->so == pso && s->cLocks > 0) --s->cLocks;
}

extern "C" BOOL EngDeleteSurface(HSURF hsurf) {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    return o.surfaces.erase(reinterpret_cast<std::uintptr_t>(hsurf)) != 0 ? TRUE : FALSE;
}
