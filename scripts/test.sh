#!/usr/bin/env bash
# Installs what is needed, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test. Fails when a test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DVNX_SANITIZE=ON >/dev/null
cmake --build build-test -j"$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
ctest --test-dir build-test -j"$(nproc)" --output-on-failure
# The fuzz targets: a clang build of the platform and the driver with
# libFuzzer, each target run briefly over its kept corpus.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DVNX_SANITIZE=ON \
  -DVNX_FUZZ=ON -DVNX_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_targets
ctest --test-dir build-fuzz -L fuzz --output-on-failure
