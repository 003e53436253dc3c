#!/bin/sh
# Runs the Windows test suite of a win64 or win32 build under Wine, in a Wine prefix of its own that
# is created for this run and removed afterwards, so that no run sees what an earlier one left behind.
#
#   tests/windows/run-wine-tests.sh BUILD_DIR [ctest arguments...]
#
# A win32 build needs 32-bit Wine, which on Debian 12 installs only in a clean root: scripts/test-all.sh
# runs this script there through scripts/wine32-root.sh. Runs two tests at a time unless the arguments
# say otherwise (-j1). Exits with ctest's status.
set -eu

if [ $# -lt 1 ] || [ ! -f "$1/CTestTestfile.cmake" ]; then
    echo "usage: $0 BUILD_DIR [ctest arguments...]   (BUILD_DIR: a configured and built win64 or win32 tree)" >&2
    exit 2
fi
build_dir=$1
shift

# The loader of the build's architecture; Debian keeps both out of PATH. The wineserver must be the
# one of the same Wine.
if grep -q '^CMAKE_TOOLCHAIN_FILE:.*i686' "$build_dir/CMakeCache.txt" 2>/dev/null; then
    loader=wine
    prefix_arch=win32
else
    loader=wine64
    prefix_arch=win64
fi
wine=${WINE:-}
if [ -z "$wine" ]; then
    for candidate in "$(command -v $loader || true)" /usr/lib/wine/$loader /usr/lib64/wine/$loader /opt/wine-stable/bin/$loader; do
        if [ -n "$candidate" ] && [ -x "$candidate" ]; then
            wine=$candidate
            break
        fi
    done
fi
if [ -z "$wine" ]; then
    echo "$0: no $loader found (set WINE)" >&2
    exit 2
fi
wineserver=${WINESERVER:-$(dirname "$wine")/wineserver}
if [ ! -x "$wineserver" ]; then
    wineserver=$(command -v wineserver || true)
    if [ -z "$wineserver" ]; then
        echo "$0: no wineserver found (set WINESERVER)" >&2
        exit 2
    fi
fi
# A 32-bit prefix for the 32-bit build: the programs and the prefix's own processes then share one
# loader.
WINEARCH=$prefix_arch
export WINEARCH

WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/kvisinst-wine.XXXXXX")
export WINEPREFIX
export WINEDEBUG=-all
# No Mono or Gecko installer prompts and no desktop menu entries while the prefix is set up.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

cleanup() {
    # Ends the server and every Wine process of this prefix before the prefix goes.
    "$wineserver" -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX" "$WINEPREFIX.boot.log"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# One persistent server for the whole run: the prefix's system processes (services, explorer,
# plugplay) start once, outside ctest, instead of with each test program; a test's output pipes are
# therefore not held open by them and ctest does not wait for them to exit.
#
# Creating the prefix can leave two service control managers running side by side (Wine 8 starts
# one from wineboot and another for an early client), each with its own idea of which services
# exist: a service created through one cannot be opened through the other. Restarting the prefix
# once it exists starts exactly one.
make_prefix() {
    "$wineserver" -p
    "$wine" wineboot -i >>"$WINEPREFIX.boot.log" 2>&1 || return 1
    # The null display driver: windows (the logon test's message box) exist without an X server.
    "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>"$WINEPREFIX.boot.log" 2>&1 || return 1
    "$wineserver" -k
    "$wineserver" -w
    "$wineserver" -p
    "$wine" wineboot >>"$WINEPREFIX.boot.log" 2>&1
}
# 32-bit Wine in the emulated machine (scripts/wine32-root.sh) sometimes fails to set a new prefix up
# ("Library ... not found" from its first processes) when the host is busy; a fresh prefix is tried
# again before the run is given up.
attempt=1
until make_prefix; do
    if [ $attempt -ge 3 ]; then
        echo "$0: wineboot failed $attempt times:" >&2
        cat "$WINEPREFIX.boot.log" >&2
        exit 1
    fi
    echo "$0: wineboot failed (attempt $attempt); trying a fresh prefix" >&2
    "$wineserver" -k >/dev/null 2>&1 || true
    "$wineserver" -w >/dev/null 2>&1 || true
    find "$WINEPREFIX" -mindepth 1 -delete
    attempt=$((attempt + 1))
done

# The desktop process (explorer.exe /desktop) starts with the first program that needs a window and
# ends a little after the last one; it keeps the output pipe of the program that started it. Started
# by a test, it would hold that test's output open, and ctest would wait for it, until the prefix's
# last program ends (a minute while the host-stop test runs). A notepad open for the whole run starts
# it here instead.
"$wine" notepad >>"$WINEPREFIX.boot.log" 2>&1 &
for _ in $(seq 50); do
    pgrep -f 'explorer.exe /desktop' >/dev/null 2>&1 && break
    sleep 0.2
done

status=0
ctest --test-dir "$build_dir" --output-on-failure --no-tests=error -j2 "$@" || status=$?
exit $status
