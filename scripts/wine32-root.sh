#!/usr/bin/env bash
# A clean Debian 12 root with 32-bit Wine, for the Windows tests of the 32-bit product DLL.
#
#   scripts/wine32-root.sh build                 # build the root (or reuse it when complete)
#   scripts/wine32-root.sh run COMMAND [ARGS...] # run COMMAND inside it, in the source tree
#
# Debian 12's own archive installs 32-bit Wine only from the main archive: with the security
# archive also listed (as on most machines), the i386 and amd64 indexes disagree and wine32:i386
# cannot be installed beside the 64-bit Wine. So the root lists the main archive only and lives
# under build/ (KVISINST_WINE32_ROOT to put it elsewhere). A root is reused only when it was
# finished: the marker file is written last. The source tree is bind-mounted at its own path inside
# the root, so the paths in a CMake build tree stay valid there; every mount is undone on exit.
#
# Needs root (debootstrap, chroot, mount) and the Debian archive. Without either it says so and
# fails: the 32-bit tests are never skipped quietly.
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
root=${KVISINST_WINE32_ROOT:-$source_dir/build/wine32-root}
mirror=${KVISINST_DEBIAN_MIRROR:-http://deb.debian.org/debian}
marker=$root/.kvisinst-wine32-root
# What the marker records: a root built for an older list is built again.
recipe="bookworm minbase; wine wine32:i386 wine64 cmake; $mirror"

fail() {
    echo "" >&2
    echo "*** $0: $*" >&2
    echo "*** The 32-bit Windows tests cannot run: FAILING (KVISINST_WINE32=skip in scripts/test-all.sh skips them, loudly)." >&2
    exit 1
}

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

mounts=()
unmount_all() {
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        $SUDO umount -l "${mounts[$i]}" 2>/dev/null || true
    done
    mounts=()
}

mount_into_root() {
    # mount_into_root TARGET MOUNT-ARGS...
    local target=$1
    shift
    $SUDO mkdir -p "$target"
    $SUDO mount "$@" "$target"
    mounts+=("$target")
}

enter_mounts() {
    mount_into_root "$root/proc" -t proc proc
    mount_into_root "$root/dev" --bind /dev
    mount_into_root "$root/dev/pts" -t devpts devpts
    mount_into_root "$root/dev/shm" -t tmpfs tmpfs
    mount_into_root "$root/tmp" -t tmpfs tmpfs
}

build_root() {
    if [ -f "$marker" ] && [ "$(cat "$marker")" = "$recipe" ]; then
        echo "wine32 root: reusing $root"
        return
    fi
    command -v debootstrap >/dev/null || fail "debootstrap is not installed (scripts/install-deps.sh installs it)"
    local started=$SECONDS
    echo "wine32 root: building $root (debootstrap bookworm from $mirror, then wine32:i386)"
    # A half-built root from an interrupted run is thrown away; never anything outside build/.
    if [ -e "$root" ]; then
        if grep -qs " $root/" /proc/mounts; then
            fail "$root still has mounts (an earlier run was killed?); unmount them first"
        fi
        $SUDO rm -rf --one-file-system "$root"
    fi
    $SUDO mkdir -p "$(dirname "$root")"
    if ! $SUDO debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.debootstrap.log" 2>&1; then
        tail -20 "$root.debootstrap.log" >&2
        fail "debootstrap bookworm from $mirror failed (no network to the Debian archive?); log: $root.debootstrap.log"
    fi
    echo "deb $mirror bookworm main" | $SUDO tee "$root/etc/apt/sources.list" >/dev/null
    trap unmount_all EXIT
    enter_mounts
    if ! $SUDO chroot "$root" /bin/sh -c '
        set -e
        export DEBIAN_FRONTEND=noninteractive
        dpkg --add-architecture i386
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends wine wine32:i386 wine64 cmake >/dev/null
        apt-get clean
        test -x /usr/lib/wine/wine' >"$root.apt.log" 2>&1; then
        tail -20 "$root.apt.log" >&2
        fail "installing wine32:i386 in $root failed; log: $root.apt.log"
    fi
    unmount_all
    trap - EXIT
    echo "$recipe" | $SUDO tee "$marker" >/dev/null
    echo "wine32 root: built in $((SECONDS - started)) s"
}

# 32-bit Wine is a 32-bit Linux program: a kernel without IA-32 emulation (or a sandbox that turns
# it off) cannot run it, and no Debian root changes that.
check_ia32() {
    local out status=0
    out=$($SUDO chroot "$root" /lib/ld-linux.so.2 --version 2>&1) || status=$?
    if [ $status -ne 0 ]; then
        echo "$out" | head -3 >&2
        dmesg 2>/dev/null | grep -i -m2 'ia32\|ia-32\|32-bit emulation' >&2 || true
        fail "this kernel does not run 32-bit (i386) Linux programs, so 32-bit Wine cannot start here (needs CONFIG_IA32_EMULATION, not turned off by ia32_emulation=off or the host)"
    fi
}

run_in_root() {
    [ -f "$marker" ] || fail "$root is not built (scripts/wine32-root.sh build)"
    check_ia32
    trap unmount_all EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM HUP
    enter_mounts
    mount_into_root "$root$source_dir" --bind "$source_dir"
    local quoted
    quoted=$(printf ' %q' "$@")
    $SUDO chroot "$root" /bin/sh -c "cd $(printf %q "$source_dir") &&$quoted"
}

case "${1:-}" in
    build) build_root ;;
    run)
        shift
        [ $# -ge 1 ] || { echo "usage: $0 run COMMAND [ARGS...]" >&2; exit 2; }
        run_in_root "$@"
        ;;
    *)
        echo "usage: $0 build | run COMMAND [ARGS...]" >&2
        exit 2
        ;;
esac
