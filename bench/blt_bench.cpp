// Blits per second through DrvBitBlt on the primary surface of a device the
// engine enabled (1024x768, 32 bits, one rasterizer): solid fills (ROP4
// 0xF0F0 with a solid brush) of 8x8 and 256x256 pixels, and screen-to-screen
// copies (0xCCCC) of the same sizes. The board model decodes and draws every
// packet; the queues are drained every 64 blits and at the end, inside the
// timing. BM_Blt_Reference_EngBitBlt gives the engine's software fill rate
// on a host bitmap of the same size beside them.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench_util.h"
#include "device/entry.h"
#include "pdev.h"
#include "platform/board.h"
#include "platform/engine.h"
#include "queue/queue.h"

namespace {

constexpr int kDrainEvery = 64;

class BltRig {
  public:
    BltRig() {
        PDEV* ppdev = pEnableBenchPdev(&device_);
        if (ppdev == nullptr || !device_->enable_surface()) return;
        ppdev_ = ppdev;
        pso_ = EngLockSurface(device_->hsurf());
        device_->machine().board().set_recording(false);
        vnx::engine::BrushDesc d;
        d.iSolidColor = 0x336699;
        pbo_ = vnx::engine::create_brush(d);
    }
    ~BltRig() {
        vnx::engine::delete_brush(pbo_);
        if (pso_ != nullptr) EngUnlockSurface(pso_);
    }
    bool ok() const { return pso_ != nullptr && pbo_ != nullptr; }
    void drain() {
        EnterCriticalSection(&ppdev_->csEscape);
        kz2FlushQueue(ppdev_->pqm, static_cast<ULONG>(-1), nullptr, nullptr);
        LeaveCriticalSection(&ppdev_->csEscape);
    }

    std::unique_ptr<vnx::engine::Device> device_;
    PDEV* ppdev_ = nullptr;
    SURFOBJ* pso_ = nullptr;
    BRUSHOBJ* pbo_ = nullptr;
};

void RunBlt(benchmark::State& state, ROP4 rop4) {
    BltRig rig;
    if (!rig.ok()) {
        state.SkipWithError("the device did not come up");
        return;
    }
    const LONG n = static_cast<LONG>(state.range(0));
    int i = 0;
    for (auto _ : state) {
        const LONG x = (i * 37) % (1024 - 2 * n), y = (i * 53) % (768 - 2 * n);
        RECTL r = {x + n / 2, y + n / 3, x + n / 2 + n, y + n / 3 + n};
        POINTL src = {x, y}, org = {0, 0};
        DrvBitBlt(rig.pso_, rop4 == 0xCCCC ? rig.pso_ : nullptr, nullptr, nullptr, nullptr, &r,
                  &src, nullptr, rig.pbo_, &org, rop4);
        if (++i % kDrainEvery == 0) rig.drain();
    }
    rig.drain();
    state.SetItemsProcessed(state.iterations());
}

void BM_Blt_SolidFill(benchmark::State& state) { RunBlt(state, 0xF0F0); }
void BM_Blt_ScreenCopy(benchmark::State& state) { RunBlt(state, 0xCCCC); }

void BM_Blt_Reference_EngBitBlt(benchmark::State& state) {
    HSURF h = EngCreateBitmap(SIZEL{1024, 768}, 0, BMF_32BPP, BMF_TOPDOWN, nullptr);
    SURFOBJ* pso = EngLockSurface(h);
    vnx::engine::BrushDesc d;
    d.iSolidColor = 0x336699;
    BRUSHOBJ* pbo = vnx::engine::create_brush(d);
    const LONG n = static_cast<LONG>(state.range(0));
    int i = 0;
    for (auto _ : state) {
        const LONG x = (i * 37) % (1024 - n), y = (i * 53) % (768 - n);
        RECTL r = {x, y, x + n, y + n};
        EngBitBlt(pso, nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr, pbo, nullptr,
                  0xF0F0);
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
    vnx::engine::delete_brush(pbo);
    EngUnlockSurface(pso);
    EngDeleteSurface(h);
}

BENCHMARK(BM_Blt_SolidFill)->Arg(8)->Arg(256);
BENCHMARK(BM_Blt_ScreenCopy)->Arg(8)->Arg(256);
BENCHMARK(BM_Blt_Reference_EngBitBlt)->Arg(8)->Arg(256);

}  // namespace
