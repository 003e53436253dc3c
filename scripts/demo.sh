#!/usr/bin/env bash
# The main job: builds the host tools and runs the library on simulated Windows machines
# (examples/run-examples.sh; VERSIONS="95 NT4" scripts/demo.sh lives the product's life on those versions).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset host >/dev/null
cmake --build --preset host --target kvsim >/dev/null
# The product itself, to ask whether each Windows version would load it.
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target kvisinst >/dev/null
exec examples/run-examples.sh build/host build/win32/KVISINST.DLL
