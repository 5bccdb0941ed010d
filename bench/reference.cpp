// Reference figures every run prints beside the drivers' own: the machine's
// memcpy bandwidth at the sizes the packet queues and host transfers move.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

void BM_Reference_memcpy(benchmark::State& state) {
    const auto bytes = static_cast<size_t>(state.range(0));
    std::vector<unsigned char> src(bytes, 0x5A), dst(bytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}
BENCHMARK(BM_Reference_memcpy)->Arg(64)->Arg(4096)->Arg(1 << 20);

}  // namespace
