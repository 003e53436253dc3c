#!/bin/sh
# The first process of the virtual machine that scripts/wine32-root.sh starts when the host kernel
# cannot run 32-bit programs: the machine's root is the wine32 root itself, shared from the host.
# Mounts what a chroot would have had, mounts the source tree at its own path, runs the job's
# command there, leaves its exit status in the job folder and switches the machine off.
PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export PATH

job=""
source_dir=""
msize=""

off() {
    sync
    echo o >/proc/sysrq-trigger
    sleep 60
}

mount -t proc proc /proc 2>/dev/null
for word in $(cat /proc/cmdline); do
    case $word in
        kvisinst.job=*) job=${word#kvisinst.job=} ;;
        kvisinst.src=*) source_dir=${word#kvisinst.src=} ;;
        kvisinst.msize=*) msize=${word#kvisinst.msize=} ;;
    esac
done
mount -t sysfs sysfs /sys 2>/dev/null
mount -t devtmpfs devtmpfs /dev 2>/dev/null || true
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
echo 1 >/proc/sys/kernel/sysrq

if [ -z "$job" ] || [ ! -f "$job/command" ]; then
    echo "kvisinst-vm: no job on the kernel command line (kvisinst.job=...)" >&2
    off
fi
if ! mount -t 9p -o trans=virtio,version=9p2000.L,msize=${msize:-262144},cache=loose kvisinst_src "$source_dir"; then
    echo "kvisinst-vm: cannot mount the source tree at $source_dir" >&2
    echo 125 >"$job/status"
    off
fi
hostname kvisinst-vm 2>/dev/null || true
echo "kvisinst-vm: up after $(cut -d' ' -f1 /proc/uptime) s; running the command"

status=0
(cd "$source_dir" && exec /bin/sh "$job/command") </dev/null || status=$?
echo "$status" >"$job/status"
echo "kvisinst-vm: command exited with $status after $(cut -d' ' -f1 /proc/uptime) s of uptime"
off
