#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer) into ./build-fuzz and runs each briefly over
# its kept corpus (tests/fuzz/corpus/), the targets in parallel, one a core.
# Fails when a target finds a fault.
#
#   scripts/fuzz.sh --grow SECONDS   instead fuzzes each target for SECONDS
#                                    (in parallel) and merges what is new
#                                    into its kept corpus, minimised
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DVNX_SANITIZE=ON "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_targets
if [[ "${1:-}" == "--grow" ]]; then
  seconds=${2:?scripts/fuzz.sh --grow SECONDS}
  grow() {
    local name=$1 work=build-fuzz/tests/fuzz/grow/$1
    rm -rf "$work" && mkdir -p "$work" "tests/fuzz/corpus/$name"
    build-fuzz/bin/"$name"_fuzz -max_total_time="$seconds" -timeout=10 -max_len=4096 \
      -artifact_prefix=build-fuzz/tests/fuzz/ "$work" "tests/fuzz/corpus/$name" >"$work.log" 2>&1 || true
    build-fuzz/bin/"$name"_fuzz -merge=1 -timeout=10 "tests/fuzz/corpus/$name" "$work" >>"$work.log" 2>&1
    echo "$name: $(ls "tests/fuzz/corpus/$name" | wc -l) inputs"
  }
  export -f grow
  export seconds
  ls tests/fuzz/corpus | xargs -P"$(nproc)" -I{} bash -c 'grow {}'
  exit 0
fi
ctest --test-dir build-fuzz -R '^fuzz\.' -j"$(nproc)" --output-on-failure
