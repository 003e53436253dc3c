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
# A kernel that cannot run 32-bit programs (IA-32 emulation off) cannot run 32-bit Wine in a chroot:
# there `run` boots a virtual machine instead (qemu-system-x86_64, software emulation, no KVM
# needed) on Debian's amd64 kernel with this root as its root file system, runs the command there
# through scripts/wine32-vm-init.sh and returns its exit status (qemu-system-x86 from
# scripts/install-deps.sh). Booting takes some 20 s; 32-bit Wine runs a few times slower than natively.
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
# it off) cannot run it, and no Debian root changes that. Such a machine runs the command in a
# virtual machine instead (below), whose own kernel does.
can_run_ia32() {
    local out status=0
    out=$($SUDO chroot "$root" /lib/ld-linux.so.2 --version 2>&1) || status=$?
    if [ $status -ne 0 ]; then
        echo "$out" | head -3 | sed 's/^/wine32 root: ld-linux.so.2 --version: /' >&2
        dmesg 2>/dev/null | grep -i -m2 'ia32\|ia-32\|32-bit emulation' >&2 || true
        echo "wine32 root: this kernel does not run 32-bit (i386) Linux programs; running the command in a virtual machine (qemu, software emulation) instead" >&2
        return 1
    fi
}

# The virtual machine boots Debian's own amd64 kernel, which runs 32-bit programs, with this very
# root as its root file system (shared over virtio-9p) and the source tree shared at its own path.
# Its kernel and an initramfs that can mount a 9p root are installed into the root on first use;
# their own marker says they are there, so the root itself is never rebuilt for them.
vm_marker=$root/.kvisinst-wine32-vm
vm_recipe="linux-image-amd64 initramfs-tools kmod; initramfs modules 9p 9pnet 9pnet_virtio virtio_pci"
vm_timeout=${KVISINST_WINE32_VM_TIMEOUT:-7200}

prepare_vm_root() {
    if [ -f "$vm_marker" ] && [ "$(cat "$vm_marker")" = "$vm_recipe" ]; then
        return
    fi
    local started=$SECONDS
    echo "wine32 root: installing a kernel and an initramfs for the virtual machine into $root"
    $SUDO rm -f "$vm_marker"
    $SUDO mkdir -p "$root/etc/initramfs-tools"
    printf '%s\n' 9p 9pnet 9pnet_virtio virtio_pci | $SUDO tee "$root/etc/initramfs-tools/modules" >/dev/null
    trap unmount_all EXIT
    enter_mounts
    if ! $SUDO chroot "$root" /bin/sh -c '
        set -e
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends linux-image-amd64 initramfs-tools kmod >/dev/null
        apt-get clean
        # The kernel package made an initramfs with the modules listed above, unless the kernel was
        # there before them.
        lsinitramfs /initrd.img | grep -q /9pnet_virtio || update-initramfs -u -k all
        test -r /vmlinuz && test -r /initrd.img' >"$root.vm.log" 2>&1; then
        tail -20 "$root.vm.log" >&2
        fail "installing the virtual machine's kernel into $root failed; log: $root.vm.log"
    fi
    unmount_all
    trap - EXIT
    echo "$vm_recipe" | $SUDO tee "$vm_marker" >/dev/null
    echo "wine32 root: kernel for the virtual machine installed in $((SECONDS - started)) s"
}

ensure_qemu() {
    command -v qemu-system-x86_64 >/dev/null ||
        fail "qemu-system-x86_64 is not installed (scripts/install-deps.sh installs qemu-system-x86)"
}

job=""
rm_job() {
    [ -z "$job" ] || $SUDO rm -rf "$job"
}

run_in_vm() {
    case $source_dir in
        *[!A-Za-z0-9_./-]*) fail "the source tree's path ($source_dir) cannot be passed on a kernel command line" ;;
    esac
    ensure_qemu
    prepare_vm_root
    local job_in_root status
    $SUDO mkdir -p "$root/var/tmp" "$root$source_dir"
    job=$($SUDO mktemp -d "$root/var/tmp/kvisinst-vm.XXXXXX")
    job_in_root=${job#"$root"}
    trap 'rm_job' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM HUP
    $SUDO install -m 755 "$source_dir/scripts/wine32-vm-init.sh" "$job/init"
    printf 'exec%s\n' "$(printf ' %q' "$@")" | $SUDO tee "$job/command" >/dev/null
    # No SMAP for the guest: this qemu's software emulation makes a 32-bit program's iret read its
    # stack as the kernel, which SMAP turns into a kernel oops in every 32-bit Wine process.
    local msize=262144
    local started=$SECONDS
    echo "wine32 root: booting the virtual machine (timeout ${vm_timeout} s)"
    status=0
    $SUDO timeout -k 30 "$vm_timeout" qemu-system-x86_64 \
        -accel tcg,thread=multi -cpu max,-smap -m 3G -smp 2 \
        -nographic -serial mon:stdio -no-reboot -nic none \
        -kernel "$root/vmlinuz" -initrd "$root/initrd.img" \
        -append "root=kvisinst_root rootfstype=9p rootflags=trans=virtio,version=9p2000.L,msize=$msize,cache=loose rw console=ttyS0 quiet loglevel=3 init=$job_in_root/init kvisinst.job=$job_in_root kvisinst.src=$source_dir kvisinst.msize=$msize" \
        -virtfs "local,path=$root,mount_tag=kvisinst_root,security_model=passthrough,multidevs=remap" \
        -virtfs "local,path=$source_dir,mount_tag=kvisinst_src,security_model=passthrough,multidevs=remap" \
        </dev/null || status=$?
    echo "wine32 root: the virtual machine ran for $((SECONDS - started)) s"
    [ $status -eq 0 ] || fail "the virtual machine did not finish (qemu exit status $status; 124: timed out after $vm_timeout s)"
    [ -f "$job/status" ] || fail "the virtual machine stopped without the command's exit status"
    return "$(cat "$job/status")"
}

run_in_root() {
    [ -f "$marker" ] || fail "$root is not built (scripts/wine32-root.sh build)"
    if ! can_run_ia32; then
        run_in_vm "$@"
        return
    fi
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
    build)
        build_root
        if ! can_run_ia32 2>/dev/null; then
            ensure_qemu
            prepare_vm_root
            echo "wine32 root: 32-bit programs run in a virtual machine here"
        fi
        ;;
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
