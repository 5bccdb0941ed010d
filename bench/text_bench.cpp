// Glyphs per second for a line of 80 proportional 12-pixel glyphs (DejaVu
// Sans) through DrvTextOut on the primary surface of a device the engine
// enabled (1024x768, 32 bits, one rasterizer), transparent and opaque.
// - "Board": the board model decodes and draws every packet; the queues are
//   drained every 64 lines and at the end, inside the timing.
// - "Driver": the board decodes the packets but does not draw them.
// BM_Text_Reference_EngTextOut draws the same line with the engine's
// software EngTextOut on a host bitmap of the screen's size; every driver
// figure also carries its ratio to that rate ("x_EngTextOut"), measured in
// the same run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>

#include "bench_util.h"
#include "device/entry.h"
#include "pdev.h"
#include "platform/board.h"
#include "platform/engine.h"
#include "queue/queue.h"

namespace {

constexpr int kDrainEvery = 64;
constexpr int kGlyphs = 80;

const std::string& Line() {
    static const std::string s =
        "Glyphs per second: eighty proportional twelve-pixel glyphs on one line, Wqj!";
    static const std::string line = (s + " " + s).substr(0, kGlyphs);
    return line;
}

// The font, the line (baseline at y 40) and two solid brushes.
struct Text {
    Text() {
        vnx::engine::FontDesc d;
        d.face = vnx::engine::FontFace::Sans;
        d.cyPixels = 12;
        pfo = vnx::engine::create_font(d);
        vnx::engine::StringDesc s;
        s.pfo = pfo;
        s.text = Line();
        s.ptlOrigin = {8, 40};
        pstro = pfo != nullptr ? vnx::engine::create_string(s) : nullptr;
        vnx::engine::BrushDesc b;
        b.iSolidColor = 0x102030;
        fore = vnx::engine::create_brush(b);
        b.iSolidColor = 0xF0E0D0;
        back = vnx::engine::create_brush(b);
        if (pstro != nullptr) opaque = pstro->rclBkGround;
    }
    ~Text() {
        vnx::engine::delete_brush(fore);
        vnx::engine::delete_brush(back);
        vnx::engine::delete_string(pstro);
        vnx::engine::delete_font(pfo);
    }
    bool ok() const { return pstro != nullptr && fore != nullptr && back != nullptr; }
    BOOL draw(bool bEngine, SURFOBJ* pso, bool bOpaque) {
        RECTL o = opaque;
        STROBJ_vEnumStart(pstro);
        return bEngine ? EngTextOut(pso, pstro, pfo, nullptr, nullptr, bOpaque ? &o : nullptr, fore,
                                    back, nullptr, 0x0D0D)
                       : DrvTextOut(pso, pstro, pfo, nullptr, nullptr, bOpaque ? &o : nullptr, fore,
                                    back, nullptr, 0x0D0D);
    }

    FONTOBJ* pfo = nullptr;
    STROBJ* pstro = nullptr;
    BRUSHOBJ* fore = nullptr;
    BRUSHOBJ* back = nullptr;
    RECTL opaque{};
};

// Lines per second of EngTextOut on a host bitmap of the screen's size.
double EngineLinesPerSecond(Text& text, bool bOpaque) {
    HSURF h = EngCreateBitmap(SIZEL{1024, 768}, 0, BMF_32BPP, BMF_TOPDOWN, nullptr);
    SURFOBJ* pso = h != nullptr ? EngLockSurface(h) : nullptr;
    if (pso == nullptr) return 0;
    constexpr int kLines = 200;
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kLines; ++i) text.draw(true, pso, bOpaque);
    const std::chrono::duration<double> dt = std::chrono::steady_clock::now() - t0;
    EngUnlockSurface(pso);
    EngDeleteSurface(h);
    return kLines / dt.count();
}

void RunText(benchmark::State& state, bool bExecute, bool bOpaque) {
    std::unique_ptr<vnx::engine::Device> device;
    PDEV* ppdev = pEnableBenchPdev(&device);
    if (ppdev == nullptr || !device->enable_surface()) {
        state.SkipWithError("the device did not come up");
        return;
    }
    SURFOBJ* pso = EngLockSurface(device->hsurf());
    Text text;
    if (pso == nullptr || !text.ok()) {
        state.SkipWithError("the font or the screen is missing");
        if (pso != nullptr) EngUnlockSurface(pso);
        return;
    }
    const double engine = EngineLinesPerSecond(text, bOpaque);
    vnx::board::Board& board = device->machine().board();
    board.set_recording(false);
    board.set_execution(bExecute);
    auto drain = [&] {
        EnterCriticalSection(&ppdev->csEscape);
        kz2FlushQueue(ppdev->pqm, static_cast<ULONG>(-1), nullptr, nullptr);
        LeaveCriticalSection(&ppdev->csEscape);
    };
    int i = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        text.draw(false, pso, bOpaque);
        if (++i % kDrainEvery == 0) drain();
    }
    drain();
    const std::chrono::duration<double> dt = std::chrono::steady_clock::now() - t0;
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kGlyphs);
    state.counters["glyphs/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kGlyphs, benchmark::Counter::kIsRate);
    if (engine > 0 && dt.count() > 0)
        state.counters["x_EngTextOut"] = static_cast<double>(state.iterations()) / dt.count() / engine;
    EngUnlockSurface(pso);
}

void BM_Text_Transparent_Board(benchmark::State& state) { RunText(state, true, false); }
void BM_Text_Transparent_Driver(benchmark::State& state) { RunText(state, false, false); }
void BM_Text_Opaque_Board(benchmark::State& state) { RunText(state, true, true); }
void BM_Text_Opaque_Driver(benchmark::State& state) { RunText(state, false, true); }
BENCHMARK(BM_Text_Transparent_Board);
BENCHMARK(BM_Text_Transparent_Driver);
BENCHMARK(BM_Text_Opaque_Board);
BENCHMARK(BM_Text_Opaque_Driver);

// The engine's software text of the same line on a host bitmap.
void BM_Text_Reference_EngTextOut(benchmark::State& state) {
    Text text;
    HSURF h = EngCreateBitmap(SIZEL{1024, 768}, 0, BMF_32BPP, BMF_TOPDOWN, nullptr);
    SURFOBJ* pso = h != nullptr ? EngLockSurface(h) : nullptr;
    if (pso == nullptr || !text.ok()) {
        state.SkipWithError("the font or the bitmap is missing");
    } else {
        for (auto _ : state) {
            text.draw(true, pso, state.range(0) != 0);
            benchmark::ClobberMemory();
        }
        state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kGlyphs);
        state.counters["glyphs/s"] = benchmark::Counter(
            static_cast<double>(state.iterations()) * kGlyphs, benchmark::Counter::kIsRate);
    }
    if (pso != nullptr) EngUnlockSurface(pso);
    if (h != nullptr) EngDeleteSurface(h);
}
BENCHMARK(BM_Text_Reference_EngTextOut)->Arg(0)->Arg(1);

}  // namespace
