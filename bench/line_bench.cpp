// Solid lines per second through DrvStrokePath, short (16 pixels) and long
// (500 pixels), beside the engine's software stroke (EngStrokePath) of the
// same paths on a host bitmap of the screen's size and format.
// - "Board": the board model decodes and draws every line; the queues are
//   drained at the end of each batch, inside the timing.
// - "Driver": the board decodes the packets but does not draw them: the
//   driver's own cost of writing and routing the line packets.
// Each path holds 256 lines in every direction over a 1024x768 32-bit
// screen; items are lines. Lines of 3000 pixels (past the board's 16-bit
// coordinates) show the host's strips.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "bench_util.h"
#include "device/entry.h"
#include "pdev.h"
#include "platform/board.h"
#include "platform/engine.h"
#include "queue/queue.h"

namespace {

constexpr int kLines = 256;

// kLines lines of the given length, their starts and directions spread over
// the screen.
PATHOBJ* MakeLines(LONG length) {
    std::vector<vnx::engine::SubPath> s;
    for (int i = 0; i < kLines; ++i) {
        const double a = 6.2831853 * i / kLines;
        const LONG x0 = 262 + (i * 37) % 500, y0 = 134 + (i * 23) % 500;
        const FIX dx = static_cast<FIX>(16.0 * length * std::cos(a)), dy = static_cast<FIX>(16.0 * length * std::sin(a));
        s.push_back({{{x0 * 16 + 3, y0 * 16 + 5}, {x0 * 16 + 3 + dx, y0 * 16 + 5 + dy}}, false, false});
    }
    return vnx::engine::create_path(s);
}

BRUSHOBJ* Pen() {
    vnx::engine::BrushDesc d;
    d.iSolidColor = 0x00C08040;
    return vnx::engine::create_brush(d);
}

void BM_Lines_Driver(benchmark::State& state, LONG length, bool execute) {
    std::unique_ptr<vnx::engine::Device> device;
    PDEV* ppdev = pEnableBenchPdev(&device);
    if (ppdev == nullptr || !device->enable_surface()) {
        state.SkipWithError("no device");
        return;
    }
    SURFOBJ* pso = EngLockSurface(device->hsurf());
    device->machine().board().set_recording(false);
    device->machine().board().set_execution(execute);
    PATHOBJ* ppo = MakeLines(length);
    BRUSHOBJ* pbo = Pen();
    for (auto _ : state) {
        DrvStrokePath(pso, ppo, nullptr, nullptr, pbo, nullptr, nullptr, 0x0D0D);
        EnterCriticalSection(&ppdev->csEscape);
        kz2FlushQueue(ppdev->pqm, ~0u, nullptr, nullptr);
        LeaveCriticalSection(&ppdev->csEscape);
    }
    state.SetItemsProcessed(state.iterations() * kLines);
    vnx::engine::delete_brush(pbo);
    vnx::engine::delete_path(ppo);
    EngUnlockSurface(pso);
}

void BM_Lines_Reference_EngStrokePath(benchmark::State& state, LONG length) {
    HSURF h = EngCreateBitmap(SIZEL{1024, 768}, 0, BMF_32BPP, BMF_TOPDOWN, nullptr);
    SURFOBJ* pso = EngLockSurface(h);
    PATHOBJ* ppo = MakeLines(length);
    BRUSHOBJ* pbo = Pen();
    for (auto _ : state) EngStrokePath(pso, ppo, nullptr, nullptr, pbo, nullptr, nullptr, 0x0D0D);
    state.SetItemsProcessed(state.iterations() * kLines);
    vnx::engine::delete_brush(pbo);
    vnx::engine::delete_path(ppo);
    EngUnlockSurface(pso);
    EngDeleteSurface(h);
}

BENCHMARK_CAPTURE(BM_Lines_Driver, Short16_Board, 16, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Lines_Driver, Short16_Driver, 16, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Lines_Reference_EngStrokePath, Short16, 16)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Lines_Driver, Long500_Board, 500, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Lines_Driver, Long500_Driver, 500, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Lines_Reference_EngStrokePath, Long500, 500)->Unit(benchmark::kMicrosecond);
// Lines of 3000 pixels leave the board's 16-bit range: the host splits them
// into strips (cut to the screen).
BENCHMARK_CAPTURE(BM_Lines_Driver, Strips3000_Driver, 3000, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Lines_Reference_EngStrokePath, Strips3000, 3000)->Unit(benchmark::kMicrosecond);

}  // namespace
