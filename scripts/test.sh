#!/usr/bin/env bash
# Installs what is needed and tests two builds. First the default
# configuration without sanitizers (./build-default): every target must link,
# every test must pass, and the simulator must find the GL server's pixel
# formats. Then a build with AddressSanitizer and UndefinedBehaviorSanitizer
# (./build-test), every test again, and last the fuzz targets. Fails when a
# build or a test fails. ccache, when installed, speeds up both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# The default configuration, as a user builds it, with the benchmark program
# (built, not run: scripts/bench.sh runs it optimised) so that it keeps linking.
cmake -S . -B build-default -DVNX_BUILD_BENCH=ON "${launcher[@]}" >/dev/null
cmake --build build-default -j"$(nproc)"
ctest --test-dir build-default -j"$(nproc)" --output-on-failure
sim=$(build-default/bin/vnxsim --board quad)
if ! grep -Eq '^OpenGL: [1-9][0-9]* pixel formats offered' <<<"$sim"; then
  printf '%s\n' "$sim" >&2
  echo "scripts/test.sh: vnxsim lists no pixel formats in the default build" >&2
  exit 1
fi

# With the sanitizers.
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DVNX_SANITIZE=ON "${launcher[@]}" >/dev/null
cmake --build build-test -j"$(nproc)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
ctest --test-dir build-test -j"$(nproc)" --output-on-failure

# The fuzz targets need clang: a second, small build runs them.
scripts/fuzz.sh
