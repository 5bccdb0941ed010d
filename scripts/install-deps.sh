#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with. Idempotent:
# when everything is present it does nothing and prints nothing.
set -euo pipefail

packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libpixman-1-dev libpng-dev zlib1g-dev libosmesa6-dev)
# The engine's glyphs: FreeType and the DejaVu fonts it reads.
packages+=(libfreetype-dev fonts-dejavu-core)
# The fuzz targets: clang with its libFuzzer.
packages+=(clang)
# The tests' GL reference renderer: Mesa's off-screen software renderer.
packages+=(libosmesa6-dev)
# The system's GL/gl.h, whose declarations the system OpenGL library's
# exports follow and applications include.
packages+=(libgl-dev)
# Compiler cache for the test script's two builds.
packages+=(ccache)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >/dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null 2> >(grep -v "^debconf" >&2)
