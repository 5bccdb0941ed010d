// The engine's software blits beside pixman: solid fills (EngBitBlt
// PATCOPY with a solid brush, against pixman_fill), source copies (EngBitBlt
// SRCCOPY and EngCopyBits, against pixman_blt) between two bitmaps, at 8x8,
// 64x64 and 512x512 pixels, 16 and 32 bits a pixel, the rectangles moving
// over 1024x1024 bitmaps. Each side draws into bitmaps of its own, in
// batches that take turns going first, so neither finds the other's pixels
// in the caches. The engine is called as the driver and the graphics engine
// call it: with a clip object (DC_TRIVIAL) and, for copies, a trivial
// colour translation. Target: ratio at least 1 / 1.2 everywhere.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdint>

#include "bench_util.h"

namespace {

constexpr LONG kSide = 1024;

// A top-down host bitmap of kSide x kSide pixels, filled with noise.
struct Host {
    explicit Host(ULONG bits) : bits(bits) {
        h = EngCreateBitmap(SIZEL{kSide, kSide}, 0, bits == 16 ? BMF_16BPP : BMF_32BPP, BMF_TOPDOWN, nullptr);
        pso = EngLockSurface(h);
        auto* p = static_cast<std::uint32_t*>(pso->pvScan0);
        for (LONG i = 0; i < pso->lDelta / 4 * kSide; ++i) p[i] = static_cast<std::uint32_t>(i * 2654435761u);
    }
    ~Host() {
        EngUnlockSurface(pso);
        EngDeleteSurface(h);
    }
    std::uint32_t* words() const { return static_cast<std::uint32_t*>(pso->pvScan0); }
    int stride() const { return pso->lDelta / 4; }
    ULONG bits;
    HSURF h;
    SURFOBJ* pso;
};

bench::Beside batch_for(LONG n) {
    const std::int64_t calls = n <= 8 ? 512 : n <= 64 ? 64 : 2;
    return bench::Beside{calls, static_cast<double>(n) * n};
}

// What the graphics engine passes for a drawing that is not clipped.
struct TrivialClip {
    TrivialClip() : pco(vnx::engine::create_trivial_clip(RECTL{0, 0, kSide, kSide})) {}
    ~TrivialClip() { vnx::engine::delete_clip(pco); }
    CLIPOBJ* pco;
};

void BM_EngBitBlt_Fill(benchmark::State& state) {
    const LONG n = static_cast<LONG>(state.range(0));
    const ULONG bits = static_cast<ULONG>(state.range(1));
    Host dst(bits), dstRef(bits);
    TrivialClip clip;
    BRUSHOBJ solid{0x00336699, nullptr};
    const ULONG value = bits == 16 ? 0x3366u : 0x00336699u;
    solid.iSolidColor = value;
    bench::run_beside(
        state, batch_for(n),
        [&](std::int64_t i) {
            RECTL r = bench::moving_rect(i, n, kSide, kSide);
            EngBitBlt(dst.pso, nullptr, nullptr, clip.pco, nullptr, &r, nullptr, nullptr, &solid, nullptr,
                      0xF0F0);
        },
        [&](std::int64_t i) {
            const RECTL r = bench::moving_rect(i, n, kSide, kSide);
            pixman_fill(dstRef.words(), dstRef.stride(), static_cast<int>(bits), r.left, r.top, n, n, value);
            benchmark::ClobberMemory();
        });
}

template <bool kCopyBits>
void copy_beside(benchmark::State& state) {
    const LONG n = static_cast<LONG>(state.range(0));
    const ULONG bits = static_cast<ULONG>(state.range(1));
    Host dst(bits), src(bits), dstRef(bits), srcRef(bits);
    TrivialClip clip;
    XLATEOBJ trivial{};
    trivial.flXlate = XO_TRIVIAL;
    // The source lies a little away from the target's place.
    auto source = [n](const RECTL& r) { return POINTL{(r.left + 13) % (kSide - n), (r.top + 7) % (kSide - n)}; };
    bench::run_beside(
        state, batch_for(n),
        [&](std::int64_t i) {
            RECTL r = bench::moving_rect(i, n, kSide, kSide);
            POINTL p = source(r);
            if constexpr (kCopyBits)
                EngCopyBits(dst.pso, src.pso, clip.pco, &trivial, &r, &p);
            else
                EngBitBlt(dst.pso, src.pso, nullptr, clip.pco, &trivial, &r, &p, nullptr, nullptr, nullptr,
                          0xCCCC);
        },
        [&](std::int64_t i) {
            const RECTL r = bench::moving_rect(i, n, kSide, kSide);
            const POINTL p = source(r);
            const int bpp = static_cast<int>(bits);
            pixman_blt(srcRef.words(), dstRef.words(), srcRef.stride(), dstRef.stride(), bpp, bpp, p.x, p.y,
                       r.left, r.top, n, n);
            benchmark::ClobberMemory();
        });
}

void BM_EngBitBlt_Copy(benchmark::State& state) { copy_beside<false>(state); }
void BM_EngCopyBits(benchmark::State& state) { copy_beside<true>(state); }

#define ENGINE_CASES                                                                              \
    ->ArgNames({"edge", "bits"})                                                                  \
        ->ArgsProduct({{8, 64, 512}, {16, 32}})                                                   \
        ->UseManualTime()

BENCHMARK(BM_EngBitBlt_Fill) ENGINE_CASES;
BENCHMARK(BM_EngBitBlt_Copy) ENGINE_CASES;
BENCHMARK(BM_EngCopyBits) ENGINE_CASES;

}  // namespace
