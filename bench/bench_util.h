// What the benchmarks share: thread CPU time, figures measured beside their
// reference in alternating batches, and a model machine whose display driver
// the engine loaded, with the board held while the driver is timed.
//
// Every figure is the calling thread's CPU time, so other work on a busy
// machine (and the driver's flush thread) does not count. A benchmark runs
// its own work and its reference in alternating batches within one
// iteration, so both see the same machine; it reports
//   ns      its own time per item,
//   ref_ns  the reference's time per item,
//   ratio   ref_ns / ns (above 1: faster than the reference),
// and the benchmark's time is its own (manual time).
#pragma once

#include <benchmark/benchmark.h>
#include <time.h>

#include <cstdint>
#include <memory>

#include "pdev.h"
#include "platform/board.h"
#include "platform/engine.h"
#include "kz2queue.h"

namespace bench {

inline std::int64_t thread_ns() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

// Times work(i) and reference(i) for items i = 0, 1, ... in alternating
// batches of `batch` items, the reference's batch first every other time
// (neither side always finds the machine as the other left it); between(i)
// runs after each pair of batches, untimed (and may time what it does
// itself). The two sides must not share the memory they draw into, or the
// second would find the first's work in the caches. Items are what one call
// of work or reference does; `items` scales them (e.g. pixels or bytes per
// call) for the rate counter "items_per_second".
struct Beside {
    std::int64_t batch = 256;
    double itemsPerCall = 1;
};

template <typename Work, typename Reference, typename Between>
void run_beside(benchmark::State& state, const Beside& how, Work work, Reference reference,
                Between between) {
    std::int64_t own = 0, ref = 0, calls = 0, i = 0;
    bool bReferenceFirst = false;
    auto timeBatch = [&](auto& fn, std::int64_t first) {
        const std::int64_t t0 = thread_ns();
        for (std::int64_t k = 0; k < how.batch; ++k) fn(first + k);
        return thread_ns() - t0;
    };
    for (auto _ : state) {
        const std::int64_t first = i;
        std::int64_t tOwn, tRef;
        if (bReferenceFirst) {
            tRef = timeBatch(reference, first);
            tOwn = timeBatch(work, first);
        } else {
            tOwn = timeBatch(work, first);
            tRef = timeBatch(reference, first);
        }
        bReferenceFirst = !bReferenceFirst;
        state.SetIterationTime(static_cast<double>(tOwn) * 1e-9);
        own += tOwn;
        ref += tRef;
        calls += how.batch;
        i += how.batch;
        between(i);
    }
    if (calls == 0 || own == 0) return;
    state.counters["ns"] = static_cast<double>(own) / static_cast<double>(calls);
    state.counters["ref_ns"] = static_cast<double>(ref) / static_cast<double>(calls);
    state.counters["ratio"] = static_cast<double>(ref) / static_cast<double>(own);
    state.SetItemsProcessed(static_cast<std::int64_t>(static_cast<double>(calls) * how.itemsPerCall));
}

template <typename Work, typename Reference>
void run_beside(benchmark::State& state, const Beside& how, Work work, Reference reference) {
    run_beside(state, how, work, reference, [](std::int64_t) {});
}

// A machine of `rasterizers` rasterizers with the display driver loaded by
// the engine and its surface enabled (cx x cy, 1024x768 unless given, at
// `bits` bits a pixel) on board memory of class `memoryClass` (the GL
// server offers pixel formats at 32 bits a pixel only where the 3D buffers
// fit: class 2 at 640x480). The
// driver is reached through the functions the engine has from it, and the
// queue calls through the names the loaded driver exports.
class DriverRig {
public:
    DriverRig(int rasterizers, ULONG bits = 32, int memoryClass = vnx::miniport::MachineConfig{}.memoryClass,
              ULONG cx = 1024, ULONG cy = 768) {
        vnx::miniport::MachineConfig cfg;
        cfg.rasterizers = rasterizers;
        cfg.memoryClass = memoryClass;
        device_ = std::make_unique<vnx::engine::Device>(cfg);
        DEVMODEW dm = vnx::engine::DisplayMode(cx, cy, bits);
        if (!device_->load_driver() || !device_->enable_pdev(dm) || !device_->enable_surface()) return;
        hmod_ = LoadLibraryA("vornix.dll");  // the module the engine loaded, once more counted
        if (hmod_ == nullptr) return;
        pfnBitBlt_ = reinterpret_cast<PFN_DrvBitBlt>(device_->function(INDEX_DrvBitBlt));
        pfnFlushQueue_ = reinterpret_cast<decltype(&kz2FlushQueue)>(GetProcAddress(hmod_, "kz2FlushQueue"));
        auto getQueue = reinterpret_cast<decltype(&kz2GetQueueMgt)>(GetProcAddress(hmod_, "kz2GetQueueMgt"));
        pso_ = EngLockSurface(device_->hsurf());
        if (pso_ == nullptr || pfnBitBlt_ == nullptr || pfnFlushQueue_ == nullptr || getQueue == nullptr) return;
        ppdev_ = reinterpret_cast<PDEV*>(device_->dhpdev());
        qm_ = getQueue(pso_, 0xFFFF);
        board().set_recording(false);
        ok_ = qm_ != nullptr;
    }
    ~DriverRig() {
        if (held_) release();
        if (pso_ != nullptr) EngUnlockSurface(pso_);
        if (hmod_ != nullptr) FreeLibrary(hmod_);
    }
    DriverRig(const DriverRig&) = delete;
    DriverRig& operator=(const DriverRig&) = delete;

    bool ok() const { return ok_; }
    vnx::board::Board& board() { return device_->machine().board(); }
    HMODULE module() const { return hmod_; }
    SURFOBJ* pso() const { return pso_; }
    PDEV* ppdev() const { return ppdev_; }
    KZ2QUEUEMGT qm() const { return qm_; }
    PFN_DrvBitBlt bitblt() const { return pfnBitBlt_; }

    // Holds the board: its DMA engines take no words, so what the driver
    // hands over waits and the driver's calls are timed alone.
    void hold() {
        for (int r = 0; r < board().rasterizers(); ++r) board().set_hung(r, true);
        held_ = true;
    }
    // Lets the board take every word the driver handed over and waits until
    // it has carried them out (a render wait); answers the thread CPU time
    // that took, which is the board model's consumption.
    std::int64_t release() {
        for (int r = 0; r < board().rasterizers(); ++r) board().set_hung(r, false);
        held_ = false;
        const std::int64_t t0 = thread_ns();
        EnterCriticalSection(&ppdev_->csEscape);
        pfnFlushQueue_(qm_, ~0u, nullptr, nullptr);
        LeaveCriticalSection(&ppdev_->csEscape);
        return thread_ns() - t0;
    }

private:
    std::unique_ptr<vnx::engine::Device> device_;
    HMODULE hmod_ = nullptr;
    PFN_DrvBitBlt pfnBitBlt_ = nullptr;
    decltype(&kz2FlushQueue) pfnFlushQueue_ = nullptr;
    SURFOBJ* pso_ = nullptr;
    PDEV* ppdev_ = nullptr;
    KZ2QUEUEMGT qm_ = nullptr;
    bool held_ = false;
    bool ok_ = false;
};

// The machine of the GL benchmarks drawn beside OSMesa: state.range(0)
// rasterizers, 32 bits a pixel at 640x480 on memory class 2 (where the GL
// server's buffers fit). Null, with the benchmark skipped and the reason
// given, when OSMesa is not installed (there is no reference) or the device
// did not come up.
inline std::unique_ptr<DriverRig> gl_beside_mesa_rig(benchmark::State& state) {
#ifndef VNX_HAVE_OSMESA
    state.SkipWithError("OSMesa is not installed: no reference");
    return nullptr;
#else
    auto rig = std::make_unique<DriverRig>(static_cast<int>(state.range(0)), 32, 2, 640, 480);
    if (!rig->ok()) {
        state.SkipWithError("the device did not come up");
        return nullptr;
    }
    return rig;
#endif
}

// The rectangle of edge n for call i, moving over a w x h area (a new place
// every call, so no call finds the last one's work in a cache).
inline RECTL moving_rect(std::int64_t i, LONG n, LONG w, LONG h) {
    const LONG x = static_cast<LONG>((i * 37) % (w - n)), y = static_cast<LONG>((i * 53) % (h - n));
    return RECTL{x, y, x + n, y + n};
}

}  // namespace bench

// Makes a device on a machine of the default configuration, loads the
// display driver and enables a PDEV of 1024x768 pixels at 32 bits (96 dpi).
// Answers the PDEV, or nullptr when a step failed; *pdevice holds the
// device either way (the benchmarks that call the driver's internals).
inline PDEV* pEnableBenchPdev(std::unique_ptr<vnx::engine::Device>* pdevice) {
    vnx::miniport::MachineConfig cfg;
    *pdevice = std::make_unique<vnx::engine::Device>(cfg);
    DEVMODEW dm = vnx::engine::DisplayMode(1024, 768, 32);
    if (!(*pdevice)->load_driver() || !(*pdevice)->enable_pdev(dm)) return nullptr;
    return reinterpret_cast<PDEV*>((*pdevice)->dhpdev());
}
