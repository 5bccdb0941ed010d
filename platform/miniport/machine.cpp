// The simulated machine: its configuration and defaults, the board model and
// miniport state it holds, and the table of live miniport handles.
#include <cstdio>
#include <map>
#include <shared_mutex>
#include <stdexcept>

#include "miniport_impl.h"

namespace vnx::miniport {

namespace {

struct HandleTable {
    std::shared_mutex mutex;
    std::map<HANDLE, Machine::Impl*> machines;
    std::uintptr_t next = 0x4D500000u;  // handle values: distinct, never dereferenced
};

HandleTable& handles() {
    static HandleTable* t = new HandleTable;  // outlives every machine
    return *t;
}

std::string fault(const char* format, long value) {
    char text[128];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

std::vector<ModeSpec> default_modes() {
    struct Size {
        ULONG w, h, xmm, ymm;
    };
    const Size sizes[] = {{640, 480, 320, 240}, {800, 600, 320, 240}, {1024, 768, 320, 240},
                          {1280, 1024, 340, 270}};
    std::vector<ModeSpec> modes;
    for (ULONG bpp : {8u, 16u, 32u}) {
        for (const Size& s : sizes) {
            ModeSpec m;
            m.width = s.w;
            m.height = s.h;
            m.bitsPerPlane = bpp;
            m.xMillimeter = s.xmm;
            m.yMillimeter = s.ymm;
            modes.push_back(m);
            if (s.w == 1024) {
                for (ULONG hz : {72u, 75u}) {
                    m.frequency = hz;
                    modes.push_back(m);
                }
            }
        }
    }
    return modes;
}

BoardConfig default_board_config() {
    BoardConfig c{};
    c.op = BOARDCONFIG_READ;
    c.currentZDepth = 16;
    c.zDepth = 16;
    c.offscreenBitmaps = 1;
    c.doubleBuffer = 1;
    c.textureMode = TEXMODE_PERFORMANCE;
    return c;
}

const char* board_model_name(int rasterizers) {
    switch (rasterizers) {
    case 1:
        return "Vornix Solo";
    case 2:
        return "Vornix Duo";
    case 4:
        return "Vornix Quad";
    default:
        return "";
    }
}

std::string check_config(const MachineConfig& c) {
    if (c.rasterizers != 1 && c.rasterizers != 2 && c.rasterizers != 4)
        return fault("rasterizers per board must be 1, 2 or 4, not %ld", c.rasterizers);
    if (c.boards != 1 && c.boards != 2) return fault("boards must be 1 or 2, not %ld", c.boards);
    if (c.memoryClass < 0 || c.memoryClass > 2)
        return fault("memory class must be 0, 1 or 2, not %ld", c.memoryClass);
    if (c.xMultiplierCode < 0 || c.xMultiplierCode > 3)
        return fault("x page multiplier code must be 0 to 3, not %ld", c.xMultiplierCode);
    if (c.yMultiplierCode < 0 || c.yMultiplierCode > 3)
        return fault("y page multiplier code must be 0 to 3, not %ld", c.yMultiplierCode);
    if (c.dmaBytes < 0x10000 || c.dmaBytes > 0x4000000 || c.dmaBytes % 4096 != 0)
        return fault("DMA buffer must be 64 KB to 64 MB in whole 4 KB pages, not %ld bytes",
                     static_cast<long>(c.dmaBytes));
    if (c.busyReads < 0) return fault("busy reads must not be negative (%ld)", c.busyReads);
    if (c.ramdacReadsPerFrame < 0)
        return fault("RAMDAC reads per frame must not be negative (%ld)", c.ramdacReadsPerFrame);
    for (const ModeSpec& m : c.modes) {
        if (m.usable && (m.width == 0 || m.height == 0 || m.planes * m.bitsPerPlane == 0))
            return fault("mode %ld has no size or depth", static_cast<long>(&m - c.modes.data()));
    }
    return "";
}

Machine::Machine(const MachineConfig& config) {
    const std::string problem = check_config(config);
    if (!problem.empty()) throw std::invalid_argument(problem);
    impl_ = std::make_unique<Impl>(config);
    impl_->board.set_windows_mapped(false);  // mapped when the driver asks for them
    auto& t = handles();
    std::unique_lock lock(t.mutex);
    t.next += 4;
    impl_->handle = reinterpret_cast<HANDLE>(t.next);
    t.machines[impl_->handle] = impl_.get();
}

Machine::~Machine() {
    auto& t = handles();
    std::unique_lock lock(t.mutex);
    t.machines.erase(impl_->handle);
}

HANDLE Machine::handle() const { return impl_->handle; }
const MachineConfig& Machine::config() const { return impl_->config; }
vnx::board::Board& Machine::board() { return impl_->board; }

BoardConfig Machine::board_config() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->boardConfig;
}

void Machine::set_board_config(const BoardConfig& config) {
    std::lock_guard lock(impl_->mutex);
    impl_->boardConfig = config;
}

MiniportState Machine::state() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->state;
}

ULONG Machine::color_register(ULONG index) const { return impl_->board.color_register(0, index); }

bool with_machine(HANDLE h, const std::function<void(Machine::Impl&)>& fn) {
    auto& t = handles();
    std::shared_lock lock(t.mutex);
    auto it = t.machines.find(h);
    if (it == t.machines.end()) return false;
    fn(*it->second);
    return true;
}

}  // namespace vnx::miniport
