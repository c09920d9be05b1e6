#!/bin/bash
# Runs programs of the 32-bit Windows build under 32-bit Wine in a qemu
# virtual machine, for machines whose own kernel runs no 32-bit x86 code: the
# machine boots its Debian amd64 kernel (which runs i386 programs) on a disk
# made from the i386 root of scripts/wine32.sh, with a copy of the build
# folder as a second disk at its own path. Slow (no KVM: every instruction is
# translated), so it is run by hand and is no part of the test command.
#
#   vm32.sh BUILD 'PROGRAM [ARGS]' ...
#
# Each quoted command runs as `wine PROGRAM ARGS` in BUILD/bin inside the
# machine, one after the other; its output and a line
# "vm32: PROGRAM ARGS: exit N after S s" are printed. Exit status 0 when
# every command exited 0, 2 when one did not, 1 when the machine could not be
# made, booted or did not finish.
#
# Needs: qemu-system-x86, linux-image-amd64 and its initrd (`scripts/deps.sh
# vm32` installs them), a root from `scripts/wine32.sh prepare`
# (WINE32_EMULATE=qemu where the kernel runs no 32-bit code) and a Wine
# prefix in BUILD/wineprefix-i386. Working files go to build/vm32.
# VM32_TIMEOUT (seconds, default 3600) bounds one boot.
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
root=${WINE32_ROOT:-$repo/build/i386-root}
work=$repo/build/vm32
limit=${VM32_TIMEOUT:-3600}

die() {
  echo "vm32: $*" >&2
  exit 1
}

[ $# -ge 2 ] || die "usage: $0 BUILD 'PROGRAM [ARGS]' ..."
build=$(cd "$1" && pwd) || die "no build folder $1"
shift
[ "$(id -u)" -eq 0 ] || die "making the disks needs root"
command -v qemu-system-x86_64 >/dev/null || die "qemu-system-x86_64 is missing (apt-get install qemu-system-x86)"
[ -f "$root/.complete" ] || die "no i386 root in $root (run: scripts/wine32.sh prepare)"
[ -f "$build/wineprefix-i386/.complete" ] || die "no Wine prefix in $build/wineprefix-i386"
kernel=$(ls -v /boot/vmlinuz-*-amd64 2>/dev/null | tail -1)
[ -n "$kernel" ] || die "no amd64 kernel in /boot (apt-get install linux-image-amd64)"
initrd=/boot/initrd.img-${kernel#/boot/vmlinuz-}
[ -f "$initrd" ] || die "no initrd $initrd (apt-get install initramfs-tools)"
mkdir -p "$work"

# The machine's first program: mounts what Wine needs, the build disk at the
# build's own path, runs the job there and powers the machine off.
init_script='#!/bin/sh
PATH=/usr/sbin:/usr/bin:/sbin:/bin
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sysfs /sys
mountpoint -q /dev || mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mountpoint -q /dev/pts || mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
build=$(sed -n "s/.*vm32_build=\([^ ]*\).*/\1/p" /proc/cmdline)
mkdir -p "$build"
if mount /dev/vdb "$build"; then
  echo "vm32: machine up, $(uname -m) kernel $(uname -r), $(nproc) cpus"
  (cd "$build/bin" && sh "$build/.vm32-job")
  sync
  umount "$build"
else
  echo "vm32: cannot mount the build disk"
fi
echo o >/proc/sysrq-trigger
sleep 60
'

# The root disk is made once from the i386 root; the files are hard links,
# only read by mkfs.
root_img=$work/root.img
if [ ! -f "$root_img" ] || [ "$root/.complete" -nt "$root_img" ]; then
  echo "vm32: making the root disk $root_img"
  rm -rf "$work/root.stage" "$root_img"
  cp -al "$root" "$work/root.stage" || die "cannot stage the root"
  rm -f "$work/root.stage/vm32-init"
  printf '%s' "$init_script" >"$work/root.stage/vm32-init"
  chmod 755 "$work/root.stage/vm32-init"
  size=$(($(du -sm "$work/root.stage" | cut -f1) + 1024))
  mkfs.ext4 -q -F -L vm32root -d "$work/root.stage" "$root_img" "${size}M" ||
    { rm -rf "$work/root.stage" "$root_img"; die "cannot make the root disk"; }
  rm -rf "$work/root.stage"
fi

# The build disk is made anew for each boot: the folder as it is now, and
# the job.
stage=$work/build.stage
rm -rf "$stage" "$work/build.img"
cp -al "$build" "$stage" || die "cannot stage $build"
rm -f "$stage/.vm32-job"
{
  echo "export WINEPREFIX='$build/wineprefix-i386' WINEDEBUG=-all HOME=/root"
  echo "export WINEDLLOVERRIDES='mshtml=d;mscoree=d;winemenubuilder.exe=d' WINEPATH='$build/bin'"
  for c in "$@"; do
    q=$(printf '%s' "$c" | sed "s/'/'\\\\''/g")
    echo "echo 'vm32: == $q'"
    echo "t0=\$(date +%s)"
    # Output to a file: on the serial terminal Wine would draw its console.
    echo "wine $c </dev/null >/tmp/vm32.out 2>&1; rc=\$?; wineserver -w; cat /tmp/vm32.out"
    echo "echo \"vm32: $q: exit \$rc after \$((\$(date +%s) - t0)) s\""
  done
  echo "echo 'vm32: job done'"
} >"$stage/.vm32-job"
size=$(($(du -sm "$stage" | cut -f1) + 512))
mkfs.ext4 -q -F -L vm32build -d "$stage" "$work/build.img" "${size}M" ||
  { rm -rf "$stage"; die "cannot make the build disk"; }
rm -rf "$stage"

log=$work/console.log
echo "vm32: booting $(basename "$kernel") (console in $log)"
t0=$(date +%s)
timeout "$limit" nice -n 19 qemu-system-x86_64 -nodefaults -display none -no-reboot \
  -machine pc -cpu max,smap=off,pku=off -smp 2 -m 3072 -accel tcg,thread=multi,tb-size=512 \
  -kernel "$kernel" -initrd "$initrd" \
  -append "console=ttyS0 root=/dev/vda rw init=/vm32-init panic=-1 quiet vm32_build=$build" \
  -drive "file=$root_img,format=raw,if=virtio,cache=unsafe" \
  -drive "file=$work/build.img,format=raw,if=virtio,cache=unsafe" \
  -serial stdio -monitor none </dev/null 2>&1 | tee "$log" | grep --line-buffered -v '^\[ *[0-9.]*\]'
qrc=${PIPESTATUS[0]}
rm -f "$work/build.img"
echo "vm32: machine ran $(($(date +%s) - t0)) s (qemu exit $qrc)"
tr -d '\r' <"$log" | grep -q '^vm32: job done' || die "the job did not finish (see $log)"
if tr -d '\r' <"$log" | grep '^vm32: .*: exit [0-9]* after' | grep -qv ': exit 0 after'; then
  exit 2
fi
exit 0
