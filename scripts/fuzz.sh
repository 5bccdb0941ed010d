#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer) into ./build-fuzz and runs each briefly over
# its kept corpus (tests/fuzz/corpus/). Fails when a target finds a fault.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DVNX_SANITIZE=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_targets
ctest --test-dir build-fuzz -R '^fuzz\.' --output-on-failure
