#!/usr/bin/env bash
# Installs what is needed, builds every preset and runs every test: host, host with sanitizers, the
# 32-bit product DLL's checks, and the Windows tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

for preset in host host-asan; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

echo "== win32"
cmake --preset win32 >/dev/null
cmake --build --preset win32
ctest --preset win32

echo "== win64 (Windows tests under Wine)"
cmake --preset win64 >/dev/null
cmake --build --preset win64
tests/windows/run-wine-tests.sh build/win64

echo "== fuzz (short runs of every parser target)"
scripts/fuzz.sh 15
