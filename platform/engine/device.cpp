// The engine device: loads a display driver by name, takes its function
// table, and enables and disables it in the engine's order.
#include <algorithm>
#include <cstring>

#include "objects.h"
#include "platform/engine.h"

namespace vnx::engine {

HDEV register_device() {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    std::uintptr_t h = o.new_handle();
    o.devices[h] = nullptr;
    return reinterpret_cast<HDEV>(h);
}

void set_device_pdev(HDEV hdev, DHPDEV dhpdev) {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    auto it = o.devices.find(reinterpret_cast<std::uintptr_t>(hdev));
    if (it != o.devices.end()) it->second = dhpdev;
}

void unregister_device(HDEV hdev) {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    o.devices.erase(reinterpret_cast<std::uintptr_t>(hdev));
    o.functions.erase(reinterpret_cast<std::uintptr_t>(hdev));
}

void set_device_functions(HDEV hdev, const PFN* apfn) {
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    if (apfn != nullptr)
        o.functions[reinterpret_cast<std::uintptr_t>(hdev)] = apfn;
    else
        o.functions.erase(reinterpret_cast<std::uintptr_t>(hdev));
}

PFN device_function(HDEV hdev, ULONG iFunc) {
    if (iFunc >= INDEX_LAST) return nullptr;
    auto& o = objects();
    std::lock_guard<std::mutex> g(o.lock);
    auto it = o.functions.find(reinterpret_cast<std::uintptr_t>(hdev));
    return it == o.functions.end() ? nullptr : it->second[iFunc];
}

namespace {

// Entries without which the engine cannot run a display driver.
const ULONG kRequiredEntries[] = {
    INDEX_DrvEnablePDEV,    INDEX_DrvCompletePDEV,   INDEX_DrvDisablePDEV,
    INDEX_DrvEnableSurface, INDEX_DrvDisableSurface,
};

// The name the engine gives the display device.
const WCHAR kDeviceName[] = u"\\Device\\Video0";

}  // namespace

struct Device::Impl {
    explicit Impl(const vnx::miniport::MachineConfig& config) : machine(config) {}

    vnx::miniport::Machine machine;
    HDEV hdev = nullptr;

    HMODULE hmod = nullptr;
    DRVENABLEDATA ded{};
    PFN apfn[INDEX_LAST]{};

    DEVMODEW request{};
    WCHAR deviceName[sizeof kDeviceName / sizeof kDeviceName[0]]{};
    DHPDEV dhpdev = nullptr;
    GDIINFO gdiinfo{};
    DEVINFO devinfo{};
    std::vector<HSURF> patterns;

    HSURF hsurf = nullptr;

    template <class F>
    F fn(ULONG iFunc) const {
        return reinterpret_cast<F>(apfn[iFunc]);
    }
};

Device::Device(const vnx::miniport::MachineConfig& config)
    : impl_(std::make_unique<Impl>(config)) {
    impl_->hdev = register_device();
}

Device::~Device() {
    unload_driver();
    unregister_device(impl_->hdev);
}

bool Device::load_driver(const char* name) {
    Impl& d = *impl_;
    if (d.hmod != nullptr) return false;
    HMODULE hmod = LoadLibraryA(name);
    if (hmod == nullptr) return false;
    auto enable = reinterpret_cast<PFN_DrvEnableDriver>(GetProcAddress(hmod, "DrvEnableDriver"));
    DRVENABLEDATA ded{};
    if (enable == nullptr || !enable(DDI_DRIVER_VERSION, CJ_DRVENABLEDATA, &ded) ||
        ded.c == 0 || ded.pdrvfn == nullptr) {
        FreeLibrary(hmod);
        return false;
    }
    PFN apfn[INDEX_LAST]{};
    for (ULONG i = 0; i < ded.c; ++i) {
        // Entries the engine does not know are ignored, as the engine would.
        if (ded.pdrvfn[i].iFunc < INDEX_LAST) apfn[ded.pdrvfn[i].iFunc] = ded.pdrvfn[i].pfn;
    }
    for (ULONG index : kRequiredEntries) {
        if (apfn[index] == nullptr) {
            FreeLibrary(hmod);
            return false;
        }
    }
    d.hmod = hmod;
    d.ded = ded;
    std::copy(std::begin(apfn), std::end(apfn), std::begin(d.apfn));
    set_device_functions(d.hdev, d.apfn);
    return true;
}

bool Device::enable_pdev() {
    return enable_pdev(DisplayMode(0, 0, 0));
}

bool Device::enable_pdev(const DEVMODEW& request, ULONG cPatterns) {
    Impl& d = *impl_;
    if (d.hmod == nullptr || d.dhpdev != nullptr) return false;
    d.request = request;
    std::copy(std::begin(kDeviceName), std::end(kDeviceName), std::begin(d.deviceName));
    d.gdiinfo = GDIINFO{};
    d.devinfo = DEVINFO{};
    std::vector<HSURF> patterns(cPatterns, nullptr);
    DHPDEV dhpdev = d.fn<PFN_DrvEnablePDEV>(INDEX_DrvEnablePDEV)(
        &d.request, nullptr, cPatterns, patterns.empty() ? nullptr : patterns.data(),
        sizeof(GDIINFO), reinterpret_cast<ULONG*>(&d.gdiinfo), sizeof(DEVINFO), &d.devinfo,
        d.hdev, d.deviceName, d.machine.handle());
    if (dhpdev == nullptr) return false;
    d.dhpdev = dhpdev;
    d.patterns = std::move(patterns);
    set_device_pdev(d.hdev, dhpdev);
    d.fn<PFN_DrvCompletePDEV>(INDEX_DrvCompletePDEV)(dhpdev, d.hdev);
    return true;
}

bool Device::enable_surface() {
    Impl& d = *impl_;
    if (d.dhpdev == nullptr || d.hsurf != nullptr) return false;
    HSURF hsurf = d.fn<PFN_DrvEnableSurface>(INDEX_DrvEnableSurface)(d.dhpdev);
    if (hsurf == nullptr) return false;
    d.hsurf = hsurf;
    return true;
}

void Device::disable_surface() {
    Impl& d = *impl_;
    if (d.hsurf == nullptr) return;
    forget_pointer(d.hdev);
    d.fn<PFN_DrvDisableSurface>(INDEX_DrvDisableSurface)(d.dhpdev);
    d.hsurf = nullptr;
}

void Device::disable_pdev() {
    Impl& d = *impl_;
    disable_surface();
    if (d.dhpdev == nullptr) return;
    d.fn<PFN_DrvDisablePDEV>(INDEX_DrvDisablePDEV)(d.dhpdev);
    d.dhpdev = nullptr;
    set_device_pdev(d.hdev, nullptr);
    d.patterns.clear();
    d.gdiinfo = GDIINFO{};
    d.devinfo = DEVINFO{};
}

void Device::unload_driver() {
    Impl& d = *impl_;
    disable_pdev();
    if (d.hmod == nullptr) return;
    auto disable = reinterpret_cast<PFN_DrvDisableDriver>(GetProcAddress(d.hmod, "DrvDisableDriver"));
    if (disable != nullptr) disable();
    set_device_functions(d.hdev, nullptr);
    FreeLibrary(d.hmod);
    d.hmod = nullptr;
    d.ded = DRVENABLEDATA{};
    std::fill(std::begin(d.apfn), std::end(d.apfn), nullptr);
}

bool Device::driver_loaded() const { return impl_->hmod != nullptr; }
bool Device::pdev_enabled() const { return impl_->dhpdev != nullptr; }
bool Device::surface_enabled() const { return impl_->hsurf != nullptr; }

vnx::miniport::Machine& Device::machine() { return impl_->machine; }
HANDLE Device::hDriver() const { return impl_->machine.handle(); }
HDEV Device::hdev() const { return impl_->hdev; }
const DRVENABLEDATA& Device::enable_data() const { return impl_->ded; }
PFN Device::function(ULONG iFunc) const { return iFunc < INDEX_LAST ? impl_->apfn[iFunc] : nullptr; }
DHPDEV Device::dhpdev() const { return impl_->dhpdev; }
HSURF Device::hsurf() const { return impl_->hsurf; }
const GDIINFO& Device::gdiinfo() const { return impl_->gdiinfo; }
const DEVINFO& Device::devinfo() const { return impl_->devinfo; }
const std::vector<HSURF>& Device::patterns() const { return impl_->patterns; }

ULONG Device::get_modes(ULONG cjSize, DEVMODEW* pdm) {
    Impl& d = *impl_;
    if (d.apfn[INDEX_DrvGetModes] == nullptr) return 0;
    return d.fn<PFN_DrvGetModes>(INDEX_DrvGetModes)(d.machine.handle(), cjSize, pdm);
}

BOOL Device::set_palette(ULONG iStart, ULONG cColors, const ULONG* pulColors) {
    Impl& d = *impl_;
    if (d.dhpdev == nullptr || d.apfn[INDEX_DrvSetPalette] == nullptr) return FALSE;
    HPALETTE hpal = d.devinfo.hpalDefault;
    PALOBJ* ppalo = palette_object(hpal);
    if (ppalo == nullptr) return FALSE;
    if (pulColors != nullptr) set_palette_colors(hpal, iStart, cColors, pulColors);
    return d.fn<PFN_DrvSetPalette>(INDEX_DrvSetPalette)(d.dhpdev, ppalo, 0, iStart, cColors);
}

}  // namespace vnx::engine
