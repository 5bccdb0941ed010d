#!/usr/bin/env bash
# Installs what is needed, builds, and runs the simulator (arguments go to vnxsim).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVNX_BUILD_TESTS=OFF &&
       cmake --build build -j"$(nproc)"; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "scripts/run.sh: the build failed" >&2
  exit 1
fi
build/bin/vnxsim "$@"
