#!/usr/bin/env bash
# Installs what is needed, builds, and runs the simulator (arguments go to vnxsim).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVNX_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
exec build/bin/vnxsim "$@"
