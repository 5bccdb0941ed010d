#!/usr/bin/env bash
# Installs what is needed, builds optimised, and runs the benchmarks
# (arguments go to the benchmark program, e.g. --benchmark_filter=Queue).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
log=$(mktemp)
if ! { cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVNX_BUILD_TESTS=OFF -DVNX_BUILD_BENCH=ON &&
       cmake --build build-bench -j"$(nproc)" --target vnxbench; } >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  echo "scripts/bench.sh: the build failed" >&2
  exit 1
fi
rm -f "$log"
exec build-bench/bin/vnxbench "$@"
