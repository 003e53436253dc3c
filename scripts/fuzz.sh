#!/usr/bin/env bash
# Builds the fuzz targets and runs each for SECONDS (default 20) from the example inputs.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/inf" "$work/reg" "$work/trace" "$work/shell" "$work/device" "$work/pe" "$work/dll" "$work/wininit" "$work/version" "$work/queue"
cp examples/*/*.inf "$work/inf/" 2>/dev/null || true
cp examples/*.reg "$work/reg/" 2>/dev/null || true
cp fuzz/corpus/trace/* "$work/trace/" 2>/dev/null || true
cp fuzz/corpus/queue/* "$work/queue/" 2>/dev/null || true
# The PE reader starts from the product DLL when it is built, and from whatever DLLs Wine brings.
cp build/win32/KVISINST.DLL "$work/pe/" 2>/dev/null || true
cp /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/version.dll "$work/pe/" 2>/dev/null || true
# The version-resource reader starts from the same files.
cp "$work/pe/"* "$work/version/" 2>/dev/null || true
# File lists and WinInit.Ini texts start from one of each shape.
printf '%s' 'KvBio32.dll -"Old Name.ocx" ~QpCore.dll  KVHOST.exe' > "$work/dll/list"
printf '[boot]\r\nshell=x\r\n[Rename]\r\nNUL=C:\\A.DLL\r\n' > "$work/wininit/ini"
for target in inf reg_text trace shell_link device_tree pe_imports dll_list wininit version_info queue_entry; do
  corpus="$work/${target%%_*}"
  echo "== ${target}_fuzz for ${seconds}s"
  build/fuzz/fuzz/${target}_fuzz -max_total_time="$seconds" -print_final_stats=0 "$corpus" 2>&1 | tail -n 2
done
