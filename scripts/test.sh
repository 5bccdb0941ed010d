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

# The fuzz targets need clang: a second, small build runs them.
scripts/fuzz.sh
