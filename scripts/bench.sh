#!/usr/bin/env bash
# Installs what is needed, builds optimised, and runs the benchmarks
# (arguments go to the benchmark program, e.g. --benchmark_filter=Queue).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVNX_BUILD_TESTS=OFF -DVNX_BUILD_BENCH=ON >/dev/null
cmake --build build-bench -j"$(nproc)" --target vnxbench >/dev/null
exec build-bench/bin/vnxbench "$@"
