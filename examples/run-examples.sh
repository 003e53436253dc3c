#!/usr/bin/env bash
# Runs the examples on simulated machines with the host build in BUILD_DIR (default build/host).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/host}
kvsim="$build/tools/kvsim/kvsim"
[ -x "$kvsim" ] || kvsim="$build/kvsim"

echo "### Which section of examples/quillex.inf each Windows version installs"
echo
"$kvsim" sections examples/quillex.inf DefaultInstall InstallDevices UnInstallDevices
