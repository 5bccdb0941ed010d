// Fills per second through the driver's fill paths: solid and colour pattern
// fills of one rectangle each, small (8x8) and large (512x512), on a 32-bit
// device bitmap.
// - "Board": the board model decodes and draws every packet; the queues are
//   drained (a render wait) every 64 fills and at the end, inside the timing.
// - "Driver": the board decodes the packets but does not draw them: the
//   driver's own cost of writing and routing the packets.
// BM_Fill_Reference_pixman gives the machine's software fill rate for the
// same rectangles beside them.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <memory>
#include <vector>

#include "bench_util.h"
#include "boardmem/boardmem.h"
#include "device/modes.h"
#include "fill/fill.h"
#include "pdev.h"
#include "platform/board.h"
#include "platform/engine.h"
#include "queue/queue.h"
#include "rop/rop.h"

namespace {

constexpr ULONG kDrainEvery = 64;

// A device with queues, a page table, the pattern surface and a target
// bitmap of 1024x600 pixels at 32 bits.
class Rig {
  public:
    explicit Rig(bool execute) {
        ppdev_ = pEnableBenchPdev(&device_);
        if (ppdev_ == nullptr) return;
        ppdev_->pidScreen = PID_FORMAT_32;
        if (!bSetMode(ppdev_) || !bInitQueues(ppdev_)) return;
        queues_ = true;
        gulSlotBank = 0;
        if (!bInitPageTable(ppdev_) || !bCreatePatternSurface(ppdev_)) return;
        HSURF h = CreateDeviceBitmap(ppdev_, 1024, 600, BMF_32BPP, nullptr, 0);
        pso_ = h != nullptr ? EngLockSurface(h) : nullptr;
        vnx::board::Board& board = device_->machine().board();
        board.set_recording(false);
        board.set_execution(execute);
    }
    ~Rig() {
        if (pso_ != nullptr) {
            DSURF* pdsurf = reinterpret_cast<DSURF*>(pso_->dhsurf);
            EngUnlockSurface(pso_);
            vDeleteDeviceBitmap(pdsurf);
        }
        if (ppdev_ != nullptr && queues_) {
            vDeletePatternSurface(ppdev_);
            vFreePageTable(ppdev_);
            vReleaseQueues(ppdev_);
        }
    }
    bool ok() const { return pso_ != nullptr; }
    SURFOBJ* pso() const { return pso_; }
    void Drain() { kz2FlushQueue(ppdev_->pqm, ~0u, nullptr, nullptr); }

  private:
    std::unique_ptr<vnx::engine::Device> device_;
    PDEV* ppdev_ = nullptr;
    bool queues_ = false;
    SURFOBJ* pso_ = nullptr;
};

// Rectangles of edge n moving over the bitmap, one a fill.
RECTL NextRect(ULONG i, LONG n) {
    const LONG x = static_cast<LONG>(i * 37) % (1024 - n),
               y = static_cast<LONG>(i * 23) % (600 - n);
    return RECTL{x, y, x + n, y + n};
}

REALBRUSH* Brush(std::vector<ULONG>& words) {
    words.assign(4 + 64, 0);
    REALBRUSH* prb = reinterpret_cast<REALBRUSH*>(words.data());
    prb->iUniq = 42;
    ULONG* p = reinterpret_cast<ULONG*>(prb->ajPattern);
    for (int i = 0; i < 64; ++i) p[i] = 0x010203u * static_cast<ULONG>(i);
    return prb;
}

template <typename Fill>
void Run(benchmark::State& state, bool execute, Fill fill) {
    Rig rig(execute);
    if (!rig.ok()) {
        state.SkipWithError("device set-up failed");
        return;
    }
    const LONG n = static_cast<LONG>(state.range(0));
    ULONG i = 0;
    for (auto _ : state) {
        RECTL rcl = NextRect(i, n);
        fill(rig.pso(), &rcl);
        if (++i % kDrainEvery == 0) rig.Drain();
    }
    rig.Drain();
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["pixels/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * n * n,
                                                    benchmark::Counter::kIsRate);
}

void SolidFill(SURFOBJ* pso, RECTL* prcl) { vFillSolid(pso, 0xF0F0, 0, 0x336699, prcl, 1); }

void BM_Fill_Solid_Board(benchmark::State& state) { Run(state, true, SolidFill); }
void BM_Fill_Solid_Driver(benchmark::State& state) { Run(state, false, SolidFill); }

void BM_Fill_Pattern_Board(benchmark::State& state) {
    std::vector<ULONG> words;
    REALBRUSH* prb = Brush(words);
    Run(state, true,
        [prb](SURFOBJ* pso, RECTL* prcl) { vFillPattern(pso, prcl, 1, prb, nullptr, 0, 0xF0); });
}
void BM_Fill_Pattern_Driver(benchmark::State& state) {
    std::vector<ULONG> words;
    REALBRUSH* prb = Brush(words);
    Run(state, false,
        [prb](SURFOBJ* pso, RECTL* prcl) { vFillPattern(pso, prcl, 1, prb, nullptr, 0, 0xF0); });
}

BENCHMARK(BM_Fill_Solid_Board)->Arg(8)->Arg(512);
BENCHMARK(BM_Fill_Solid_Driver)->Arg(8)->Arg(512);
BENCHMARK(BM_Fill_Pattern_Board)->Arg(8)->Arg(512);
BENCHMARK(BM_Fill_Pattern_Driver)->Arg(8)->Arg(512);

// The machine's software fill of the same rectangles into a 32-bit image.
void BM_Fill_Reference_pixman(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    std::vector<uint32_t> bits(1024 * 600);
    ULONG i = 0;
    for (auto _ : state) {
        const RECTL r = NextRect(i++, n);
        pixman_fill(bits.data(), 1024, 32, r.left, r.top, n, n, 0x336699);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["pixels/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * n * n,
                                                    benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Fill_Reference_pixman)->Arg(8)->Arg(512);

}  // namespace
