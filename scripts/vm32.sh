#!/bin/bash
# Runs the 32-bit Windows build under 32-bit Wine in a qemu virtual machine,
# for machines whose own kernel runs no 32-bit x86 code: the machine boots
# the Debian amd64 kernel installed here (which runs i386 programs) on a
# disk holding the i386 root of scripts/i386-root.sh and a 32-bit Wine
# prefix, and sees the clone's sources and the build folder on a second disk
# at their own paths, so the build's CTest files work there as they are.
#
#   vm32.sh accel                      kvm or tcg: how a machine runs here
#   vm32.sh disk                       where the machine's disk is kept
#   vm32.sh prepare                    makes the machine's disk once
#   vm32.sh exec BUILD CMD [ARGS]      CMD inside the machine, in BUILD
#   vm32.sh BUILD 'PROGRAM [ARGS]' ... each as `wine PROGRAM ARGS` in BUILD/bin
#
# The disk is made in the cache of scripts/i386-root.sh: the first stage of
# the root here, the second stage and the Wine prefix inside the machine
# (about 3 minutes with KVM). Later boots only read it (their writes go to a
# scratch overlay) and take seconds to start.
#   VM32_ACCEL     kvm or tcg; by default KVM where qemu can open /dev/kvm,
#                  else TCG (every instruction translated: far slower)
#   VM32_TIMEOUT   seconds one boot may take (default 3600)
# Needs qemu-system-x86, linux-image-amd64 and initramfs-tools
# (`scripts/deps.sh vm32`). Exit status: 77 when no machine can run here, 125
# when the machine could not be made or booted or did not finish, otherwise
# that of CMD (for PROGRAMs: 0 when every one exited 0, else 2).
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
. "$repo/scripts/i386-root.sh"
limit=${VM32_TIMEOUT:-3600}
no_vm=77
broken=125
prefix=/var/lib/vantor/wineprefix-i386

die() {
  echo "vm32: $*" >&2
  exit $broken
}

# The machine's first program. Its first boot installs the root (debootstrap's
# second stage); every boot then mounts the second disk, binds the folders it
# holds at their own paths, starts a display and runs the job there.
init_script='#!/bin/bash
PATH=/usr/sbin:/usr/bin:/sbin:/bin
export PATH
arg() { sed -n "s/.*vm32_$1=\([^ ]*\).*/\1/p" /proc/cmdline; }
mount_all() {
  mountpoint -q /proc || mount -t proc proc /proc
  mountpoint -q /sys || mount -t sysfs sysfs /sys
  mountpoint -q /dev || mount -t devtmpfs devtmpfs /dev
  mkdir -p /dev/pts /dev/shm
  mountpoint -q /dev/pts || mount -t devpts devpts /dev/pts
  mountpoint -q /dev/shm || mount -t tmpfs tmpfs /dev/shm
  mountpoint -q /tmp || mount -t tmpfs tmpfs /tmp
  mountpoint -q /run || mount -t tmpfs tmpfs /run
}
mount_all
echo "vm32: machine up, $(uname -m) kernel $(uname -r), $(nproc) cpus"
if [ -d /debootstrap ]; then
  echo "vm32: installing the root"
  if ! /debootstrap/debootstrap --second-stage >/dev/null 2>&1; then
    tail -30 /debootstrap/debootstrap.log
    echo "vm32: the root could not be installed"
  fi
  mount_all
fi
if [ ! -d /debootstrap ] && mkdir -p /mnt/host && mount /dev/vdb /mnt/host; then
  for p in $(arg bind | tr : " "); do
    mkdir -p "$p" && mount --bind "/mnt/host$p" "$p"
  done
  Xvfb :99 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  export DISPLAY=:99 HOME=/root WINE32_PREFIX='"$prefix"'
  # Nothing of the job writes to the serial terminal itself: Wine would
  # draw its console there.
  (cd "$(arg cwd)" && bash /mnt/host/.vm32-job </dev/null 2>&1) | cat
  echo "vm32: job exit ${PIPESTATUS[0]}"
  kill $xvfb 2>/dev/null
  sync
  umount -R /mnt/host 2>/dev/null
fi
sync
echo o >/proc/sysrq-trigger
sleep 60
'

command -v qemu-system-x86_64 >/dev/null || {
  echo "vm32: qemu-system-x86_64 is missing (scripts/deps.sh vm32)" >&2
  exit $no_vm
}
kernel=$(ls -v /boot/vmlinuz-*-amd64 2>/dev/null | tail -1)
[ -n "$kernel" ] || {
  echo "vm32: no amd64 kernel in /boot (scripts/deps.sh vm32)" >&2
  exit $no_vm
}
initrd=/boot/initrd.img-${kernel#/boot/vmlinuz-}
[ -f "$initrd" ] || {
  echo "vm32: no initrd $initrd (scripts/deps.sh vm32)" >&2
  exit $no_vm
}

# KVM serves when it boots the kernel: /dev/kvm may open and still run no
# ordinary guest (a nested hypervisor of another kind). Without a root the
# kernel panics at once, which is the sign; with KVM that takes a second or two.
kvm_usable() {
  [ -r /dev/kvm ] && [ -w /dev/kvm ] || return 1
  timeout 20 qemu-system-x86_64 -nodefaults -display none -no-reboot -machine pc -accel kvm \
    -cpu "$kvm_cpu" -m 256 -kernel "$kernel" -append "console=ttyS0 panic=-1 quiet" \
    -serial stdio -monitor none </dev/null 2>/dev/null | grep -q -m1 'Kernel panic'
}
# The host's own processor model, else a plain one where a nested
# hypervisor cannot give all the host's features.
kvm_cpu=host
accel=${VM32_ACCEL:-}
if [ -z "$accel" ]; then
  accel=tcg
  for kvm_cpu in host qemu64; do
    kvm_usable && { accel=kvm; break; }
  done
fi
# Translated, the machine takes both cores for long: it yields to compilers.
runner=()
case "$accel" in
  kvm) accel_args=(-accel kvm -cpu "$kvm_cpu") ;;
  tcg)
    accel_args=(-accel tcg,thread=multi,tb-size=512 -cpu max,smap=off,pku=off)
    runner=(nice -n 10)
    ;;
  *) die "VM32_ACCEL is kvm or tcg, not $accel" ;;
esac

# stage_disk DIR BINDS PATH...: DIR/disk.img holding each PATH at its own
# path (hard links where they can be) and the job DIR/job.
stage_disk() {
  local dir=$1 binds=$2 p
  shift 2
  mkdir -p "$dir/tree"
  for p in "$@"; do
    mkdir -p "$dir/tree$(dirname "$p")"
    cp -al "$p" "$dir/tree$p" 2>/dev/null || cp -a "$p" "$dir/tree$p" || return 1
    # The Wine prefixes of other ways of running a build stay behind.
    rm -rf "$dir/tree$p"/wineprefix*
  done
  cp "$dir/job" "$dir/tree/.vm32-job"
  mkfs.ext4 -q -F -L vm32host -d "$dir/tree" "$dir/disk.img" \
    "$(($(du -sm "$dir/tree" | cut -f1) + 512))M" >/dev/null || return 1
  rm -rf "$dir/tree"
  echo "$binds" >"$dir/binds"
}

# boot ROOT_IMG DIR CWD [QEMU ARGS...]: one run of the machine with DIR's
# disk; its output without the kernel's lines, the whole console in
# DIR/console.log. Status: the job's, or $broken.
boot() {
  local img=$1 dir=$2 cwd=$3 rc
  shift 3
  timeout "$limit" "${runner[@]}" qemu-system-x86_64 -nodefaults \
    -display none -no-reboot -machine pc "${accel_args[@]}" -smp 2 -m 3072 \
    -kernel "$kernel" -initrd "$initrd" \
    -append "console=ttyS0 root=/dev/vda rw init=/vm32-init panic=-1 quiet vm32_bind=$(cat "$dir/binds") vm32_cwd=$cwd" \
    -drive "file=$img,format=raw,if=virtio,cache=unsafe,discard=unmap" "$@" \
    -drive "file=$dir/disk.img,format=raw,if=virtio,cache=unsafe" \
    -serial stdio -monitor none </dev/null 2>&1 | tee "$dir/console.log" |
    sed -u -e 's/\r//g' -e '/^\[ *[0-9.]*\]/d'
  rc=$(tr -d '\r' <"$dir/console.log" | sed -n 's/^vm32: job exit \([0-9]*\)$/\1/p' | tail -1)
  [ -n "$rc" ] || { echo "vm32: the machine did not finish its job (console in $dir/console.log)" >&2; return $broken; }
  return "$rc"
}

make_disk() {
  [ -f "$entry/.complete" ] && return 0
  [ "$(id -u)" -eq 0 ] || die "making the machine's disk needs root"
  mkdir -p "$cache_dir"
  (
    flock 9
    [ -f "$entry/.complete" ] && exit 0
    local tmp=$entry.new t0=$SECONDS size
    rm -rf "$tmp"
    mkdir -p "$tmp"
    echo "vm32: making the machine's disk in $entry (once, $accel)"
    root_first_stage "$tmp/root" "$tmp/first-stage.log" || exit 1
    printf '%s' "$init_script" >"$tmp/root/vm32-init"
    chmod 755 "$tmp/root/vm32-init"
    # Room for what the second stage installs and the prefix; the file is
    # sparse and trimmed at the end.
    size=$(($(du -sm "$tmp/root" | cut -f1) * 3 + 1024))
    mkfs.ext4 -q -F -L vm32root -d "$tmp/root" "$tmp/root.img" "${size}M" >/dev/null || exit 1
    rm -rf "$tmp/root"
    echo "vm32: first stage done after $((SECONDS - t0)) s; installing in the machine"
    printf '%s\n' 'set -e' 'apt-get clean' \
      "'$repo/scripts/wine32.sh' exec / /bin/true" "touch '$prefix/.complete'" 'fstrim / || true' \
      >"$tmp/job"
    stage_disk "$tmp" "$repo" "$repo/scripts" || exit 1
    boot "$tmp/root.img" "$tmp" / || exit 1
    rm -f "$tmp/disk.img"
    mv "$tmp" "$entry"
    touch "$entry/.complete"
    echo "vm32: disk ready after $((SECONDS - t0)) s ($(du -sh "$entry/root.img" | cut -f1) used)"
  ) 9>"$entry.lock" || die "could not make the machine's disk"
}
# The key: what the disk holds comes from the root's first stage, the first
# program and the job of make_disk, and the prefix that wine32.sh makes.
entry=$cache_dir/vm32-$(root_key "$init_script" "$(declare -f make_disk)" \
  "$(sed -n '/^wine_env()/,/^}/p;/^init_prefix()/,/^}/p' "$repo/scripts/wine32.sh")")

# run_job BUILD CMD...: CMD run by bash in BUILD inside the machine, which
# sees the clone's sources (not its other builds) and BUILD.
run_job() {
  local build dir binds p rc
  build=$(cd "$1" && pwd) || die "no build folder $1"
  shift
  case "$repo$build" in *" "* | *:*) die "paths with blanks or colons cannot be passed to the machine" ;; esac
  make_disk
  cache_use "$entry"
  mkdir -p "$repo/build"
  dir=$(mktemp -d "$repo/build/vm32.XXXXXX") || die "no room for the machine's files"
  printf '%q ' "$@" >"$dir/job"
  echo >>"$dir/job"
  local paths=()
  for p in "$repo"/* "$repo"/.[!.]*; do
    case "$(basename "$p")" in build | .git) ;; *) [ -e "$p" ] && paths+=("$p") ;; esac
  done
  binds=$repo
  case "$build" in "$repo"/*) ;; *) binds=$repo:$build ;; esac
  paths+=("$build")
  stage_disk "$dir" "$binds" "${paths[@]}" || { rm -rf "$dir"; die "cannot make the disk of $build"; }
  echo "vm32: booting ($accel) with $build"
  boot "$entry/root.img" "$dir" "$build" -snapshot
  rc=$?
  [ "$rc" -eq $broken ] && cp "$dir/console.log" "$repo/build/vm32-console.log" 2>/dev/null
  rm -rf "$dir"
  return $rc
}

case "${1:-}" in
  accel)
    echo "$accel"
    ;;
  disk)
    echo "$entry/root.img"
    ;;
  prepare)
    make_disk
    ;;
  exec)
    [ $# -ge 3 ] || die "usage: $0 exec BUILD CMD [ARGS...]"
    shift
    run_job "$@"
    ;;
  "" | -*)
    die "usage: $0 accel | prepare | exec BUILD CMD [ARGS...] | BUILD 'PROGRAM [ARGS]' ..."
    ;;
  *)
    build=$1
    shift
    [ $# -ge 1 ] || die "usage: $0 BUILD 'PROGRAM [ARGS]' ..."
    script='w=$0 b=$PWD s=0; cd bin; for c in "$@"; do echo "vm32: == $c"; t0=$SECONDS
      eval "\"$w\" run \"$b\" $c"; rc=$?; echo "vm32: $c: exit $rc after $((SECONDS - t0)) s"
      [ "$rc" -eq 0 ] || s=2; done; exit $s'
    run_job "$build" bash -c "$script" "$repo/scripts/wine32.sh" "$@"
    ;;
esac
