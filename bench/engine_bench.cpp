// The engine's software blits beside pixman on the same rectangles: source
// copies (EngBitBlt and EngCopyBits with SRCCOPY against pixman_blt) and
// solid fills (EngBitBlt with PATCOPY against pixman_fill), 32-bpp host
// bitmaps, rectangles of 16x16, 256x256 and 1000x768 pixels. A pattern
// brush, which takes the engine's general path, is measured for scale.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdint>
#include <vector>

#include "platform/engine.h"

namespace {

constexpr LONG kSide = 1024;  // both bitmaps are 1024 x 1024

// A host bitmap, top-down, 32 bpp, with rows of whole words.
struct Host {
    Host() {
        h = EngCreateBitmap(SIZEL{kSide, kSide}, 0, BMF_32BPP, BMF_TOPDOWN, nullptr);
        pso = EngLockSurface(h);
        auto* p = static_cast<std::uint32_t*>(pso->pvScan0);
        for (LONG i = 0; i < kSide * kSide; ++i) p[i] = static_cast<std::uint32_t>(i * 2654435761u);
    }
    ~Host() {
        EngUnlockSurface(pso);
        EngDeleteSurface(h);
    }
    std::uint32_t* bits() const { return static_cast<std::uint32_t*>(pso->pvScan0); }
    int stride() const { return pso->lDelta / 4; }
    HSURF h;
    SURFOBJ* pso;
};

RECTL rect(const benchmark::State& state) {
    return RECTL{3, 5, 3 + static_cast<LONG>(state.range(0)),
                 5 + static_cast<LONG>(state.range(1))};
}

void pixels(benchmark::State& state) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0) *
                            state.range(1));
}

void BM_EngBitBlt_SRCCOPY(benchmark::State& state) {
    Host dst, src;
    RECTL rcl = rect(state);
    POINTL ptl{7, 2};
    for (auto _ : state)
        benchmark::DoNotOptimize(EngBitBlt(dst.pso, src.pso, nullptr, nullptr, nullptr, &rcl, &ptl,
                                           nullptr, nullptr, nullptr, 0xCCCC));
    pixels(state);
}

void BM_EngCopyBits_SRCCOPY(benchmark::State& state) {
    Host dst, src;
    RECTL rcl = rect(state);
    POINTL ptl{7, 2};
    for (auto _ : state)
        benchmark::DoNotOptimize(EngCopyBits(dst.pso, src.pso, nullptr, nullptr, &rcl, &ptl));
    pixels(state);
}

void BM_Reference_pixman_blt(benchmark::State& state) {
    Host dst, src;
    const RECTL rcl = rect(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(pixman_blt(src.bits(), dst.bits(), src.stride(), dst.stride(), 32,
                                            32, 7, 2, rcl.left, rcl.top, rcl.right - rcl.left,
                                            rcl.bottom - rcl.top));
    pixels(state);
}

void BM_EngBitBlt_PATCOPY_solid(benchmark::State& state) {
    Host dst;
    RECTL rcl = rect(state);
    BRUSHOBJ solid{0x00336699, nullptr};
    for (auto _ : state)
        benchmark::DoNotOptimize(EngBitBlt(dst.pso, nullptr, nullptr, nullptr, nullptr, &rcl,
                                           nullptr, nullptr, &solid, nullptr, 0xF0F0));
    pixels(state);
}

void BM_Reference_pixman_fill(benchmark::State& state) {
    Host dst;
    const RECTL rcl = rect(state);
    for (auto _ : state)
        benchmark::DoNotOptimize(pixman_fill(dst.bits(), dst.stride(), 32, rcl.left, rcl.top,
                                             rcl.right - rcl.left, rcl.bottom - rcl.top,
                                             0x00336699));
    pixels(state);
}

void BM_EngBitBlt_PATCOPY_pattern8x8(benchmark::State& state) {
    Host dst;
    HSURF hpat = EngCreateBitmap(SIZEL{8, 8}, 0, BMF_32BPP, BMF_TOPDOWN, nullptr);
    SURFOBJ* pat = EngLockSurface(hpat);
    vnx::engine::BrushDesc d;
    d.psoPattern = pat;
    BRUSHOBJ* pbo = vnx::engine::create_brush(d);
    RECTL rcl = rect(state);
    POINTL org{1, 1};
    for (auto _ : state)
        benchmark::DoNotOptimize(EngBitBlt(dst.pso, nullptr, nullptr, nullptr, nullptr, &rcl,
                                           nullptr, nullptr, pbo, &org, 0xF0F0));
    pixels(state);
    vnx::engine::delete_brush(pbo);
    EngUnlockSurface(pat);
    EngDeleteSurface(hpat);
}

#define ENGINE_SIZES ->Args({16, 16})->Args({256, 256})->Args({1000, 768})

BENCHMARK(BM_EngBitBlt_SRCCOPY) ENGINE_SIZES;
BENCHMARK(BM_EngCopyBits_SRCCOPY) ENGINE_SIZES;
BENCHMARK(BM_Reference_pixman_blt) ENGINE_SIZES;
BENCHMARK(BM_EngBitBlt_PATCOPY_solid) ENGINE_SIZES;
BENCHMARK(BM_Reference_pixman_fill) ENGINE_SIZES;
BENCHMARK(BM_EngBitBlt_PATCOPY_pattern8x8) ENGINE_SIZES;

}  // namespace
