#!/usr/bin/env bash
# Runs the examples on simulated machines with the host build in BUILD_DIR (default build/host); given
# the built 32-bit KVISINST.DLL as well, says whether each Windows version would load it.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/host}
product=${2:-}
kvsim="$build/tools/kvsim/kvsim"
[ -x "$kvsim" ] || kvsim="$build/kvsim"

echo "### Which section of examples/quillex.inf each Windows version installs"
echo
"$kvsim" sections examples/quillex.inf DefaultInstall InstallDevices UnInstallDevices

machines=$(mktemp -d "${TMPDIR:-/tmp}/kvsim-examples.XXXXXX")
trap 'rm -rf "$machines"' EXIT

for version in 2000 98; do
  machine="$machines/win$version"
  echo
  echo "### The product's services from examples/quillex.inf on simulated Windows $version"
  echo
  "$kvsim" create "$machine" "$version"
  "$kvsim" put "$machine" examples/quillex.inf 'C:\Setup\quillex.inf'
  echo
  echo "\$ kvsim call $machine SetupInstallDrivers 'C:\\Setup\\quillex.inf'"
  "$kvsim" call "$machine" SetupInstallDrivers 'C:\Setup\quillex.inf'
  echo
  "$kvsim" show "$machine"
done

echo
echo "### Removal on Windows 2000: UnInstallDevices stops and deletes the service, then the driver"
echo
"$kvsim" call "$machines/win2000" SetupUnInstallDrivers 'C:\Setup\quillex.inf'

echo
echo "### Start-menu shortcuts of AddShortcuts on Windows 2000 (common Programs) and 98 (All Users), then removed"
for version in 2000 98; do
  echo
  "$kvsim" call "$machines/win$version" InstallShortcuts 'C:\Setup\quillex.inf' 1 null
done
echo
"$kvsim" call "$machines/win2000" InstallShortcuts 'C:\Setup\quillex.inf' 0 null

echo
echo "### The reader's device nodes on Windows 98: an old one removed, a plugged-in one found"
echo
"$kvsim" device "$machines/win98" 'USB\VID_2C8F&PID_0001\5&1' 'USB\VID_2C8F&PID_0001&REV_0100,USB\VID_2C8F&PID_0001' absent
"$kvsim" device "$machines/win98" 'USB\VID_2C8F&PID_0001\5&2' 'USB\VID_2C8F&PID_0001' plugged
"$kvsim" call "$machines/win98" RemoveDevices
echo
"$kvsim" call "$machines/win98" ReEnumerateDevices

if [ -n "$product" ]; then
  echo
  echo "### Would Windows 95, 98, NT 4 and 2000 load the product DLL? Its imports against what each exports"
  echo
  "$kvsim" imports "$product"
fi
