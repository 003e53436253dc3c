#!/usr/bin/env bash
# Builds the fuzz targets and runs each for SECONDS (default 20), one after the other: every NAME_fuzz
# that fuzz_all builds, from a copy of its seed inputs in fuzz/corpus/NAME/ (so a run adds nothing to
# the tree). Given NAMEs after SECONDS, only those. Prints a line per target with libFuzzer's final
# figures; a target that crashes is reported with its input kept in build/fuzz/artifacts/, the others
# still run, and the script fails at the end.
#
#   scripts/fuzz.sh 600 services_text programs_text
#
# FUZZ_SEED=N fixes libFuzzer's random seed (CI does: a short gate then takes the same first steps from
# the same seeds on every run); without it each run explores afresh.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
# The targets that keep a simulated machine write its folders below TMPDIR: a memory file system
# makes them many times faster.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
artifacts=build/fuzz/artifacts
mkdir -p "$artifacts"

# Build outputs that make better seeds where they are there: the product DLL, and a DLL of Wine's.
extra_seeds() {
  case "$1" in
  pe_imports | version_info)
    ls build/win32/KVISINST.DLL build/win64/KVISINST.DLL \
      /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/version.dll 2>/dev/null || true ;;
  esac
}

failed=()
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for binary in build/fuzz/fuzz/*_fuzz; do names+=("$(basename "$binary" _fuzz)"); done
fi
for name in "${names[@]}"; do
  corpus="$work/$name"
  mkdir -p "$corpus"
  if [ -d "fuzz/corpus/$name" ]; then cp fuzz/corpus/"$name"/* "$corpus/"; fi
  for seed in $(extra_seeds "$name"); do cp "$seed" "$corpus/"; done
  log="$work/$name.log"
  if ! "build/fuzz/fuzz/${name}_fuzz" -max_total_time="$seconds" -print_final_stats=1 ${FUZZ_SEED:+-seed="$FUZZ_SEED"} \
      -artifact_prefix="$artifacts/${name}-" "$corpus" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "== ${name}_fuzz FAILED (input in $artifacts/)"
    failed+=("$name")
    continue
  fi
  # The last status line has the coverage reached (cov: edges, ft: features) and the corpus.
  done_line=$(grep -E '^#[0-9]+.*cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1 || true)
  stat() { grep "^stat::$1:" "$log" | awk '{print $2}' || true; }
  printf '== %-16s %4ss %10s runs %7s/s  cov %-5s ft %-6s corpus %s\n' "$name" "$seconds" \
    "$(stat number_of_executed_units)" "$(stat average_exec_per_sec)" \
    "$(sed -E 's/.*cov: ([0-9]+).*/\1/' <<<"$done_line")" "$(sed -E 's/.*ft: ([0-9]+).*/\1/' <<<"$done_line")" \
    "$(sed -E 's/.*corp: ([0-9]+\/[0-9]+[a-zA-Z]*).*/\1/' <<<"$done_line")"
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "== failed: ${failed[*]}"
  exit 1
fi
