#!/usr/bin/env bash
# The main job: builds the host tools and runs the library on simulated Windows machines.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset host >/dev/null
cmake --build --preset host --target kvsim >/dev/null
exec examples/run-examples.sh build/host
