#!/bin/bash
# Runs the 32-bit Windows build under Debian's own 32-bit Wine, inside an
# i386 Debian root (scripts/i386-root.sh), so the machine's wine64 stays as
# it is.
#
#   wine32.sh check                      does the kernel run 32-bit x86 code?
#   wine32.sh prepare                    check, then make the root once
#   wine32.sh run BUILD PROGRAM [ARGS]   wine PROGRAM inside the root (CTest's
#                                        emulator of the win32 build)
#   wine32.sh exec BUILD CMD [ARGS]      any command inside the root, with the
#                                        same Wine settings
#
# The root is a chroot kept in the cache of scripts/i386-root.sh, or
# $WINE32_ROOT. Run inside the 32-bit system itself (the virtual machine of
# scripts/vm32.sh), run and exec start Wine directly, with the prefix
# $WINE32_PREFIX when it is set.
# WINE32_EMULATE=qemu runs the root's i386 programs through qemu-i386-static
# registered in a user namespace of the run alone, for machines whose kernel
# has no 32-bit support: it makes the root there (about 15 minutes), but Wine
# under it is so slow (its first prefix alone takes over 20 minutes) that it
# is for looking into the root by hand, asked for and never chosen.
# Exit status: 77 when the kernel cannot run 32-bit code (the caller skips
# the stage), 1 on any other failure of the script itself; otherwise the
# status of the command run.
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
. "$repo/scripts/i386-root.sh"
no_i386=77
emulate=${WINE32_EMULATE:-}
qemu=/usr/bin/qemu-i386-static
inside=
[ -f /etc/vantor-i386-root ] && inside=1

# in_ns ARGS... SCRIPT: SCRIPT run by bash in a mount namespace of its own
# ($1... are the ARGS), so whatever it mounts goes away with it, even when it
# fails. Emulated, the namespace is also a user namespace (ids mapped one to
# one) with a pid namespace for /proc and its own binfmt_misc, where i386
# programs go to qemu; nothing of it is seen outside.
in_ns() {
  local script=${*: -1}
  local args=("${@:1:$#-1}")
  if [ "$emulate" != qemu ]; then
    unshare --mount --propagation private /bin/bash -c "$script" bash "${args[@]}"
    return
  fi
  [ -x "$qemu" ] || die "$qemu is missing (apt-get install qemu-user-static)"
  local d pid rc
  d=$(mktemp -d)
  mkfifo "$d/go"
  # The maps are written from outside once the namespace exists; the child
  # waits for them on the fifo.
  unshare --user --pid --fork --mount --propagation private /bin/bash -c '
    read -r _ <"$0"
    mkdir -p "$1" && mount -t binfmt_misc binfmt_misc "$1" || exit 1
    m="\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00"
    k="\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff"
    printf ":i386:M::$m:$k:$2:FOC" >"$1/register" || exit 1
    mount -t proc proc /proc
    shift 2
    exec /bin/bash -c "$@"
  ' "$d/go" "$d/binfmt" "$qemu" "$script" bash "${args[@]}" &
  pid=$!
  while [ "$(readlink "/proc/$pid/ns/user")" = "$(readlink /proc/self/ns/user)" ]; do
    sleep 0.01
  done
  echo "0 0 4294967295" >"/proc/$pid/uid_map"
  echo "0 0 4294967295" >"/proc/$pid/gid_map"
  echo go >"$d/go"
  wait "$pid"
  rc=$?
  rm -rf "$d"
  return $rc
}

die() {
  echo "wine32: $*" >&2
  exit 1
}

check_i386() {
  command -v clang >/dev/null || {
    echo "wine32: clang is missing, cannot tell whether the kernel runs 32-bit x86 code"
    return $no_i386
  }
  local dir rc
  dir=$(mktemp -d)
  # Exits with 42 through the 32-bit system call gate: nothing else proves
  # the kernel runs i386 programs.
  cat >"$dir/probe.c" <<'EOF'
void _start(void) {
  __asm__ volatile("movl $1, %eax\n\tmovl $42, %ebx\n\tint $0x80");
}
EOF
  if ! clang --target=i686-linux-gnu -nostdlib -static -fuse-ld=lld -o "$dir/probe" \
      "$dir/probe.c" >"$dir/log" 2>&1; then
    echo "wine32: cannot build the 32-bit probe ($(head -1 "$dir/log"))"
    rm -rf "$dir"
    return $no_i386
  fi
  if [ "$emulate" = qemu ]; then
    in_ns "$dir" '"$1/probe"' 2>/dev/null
  else
    "$dir/probe" 2>/dev/null
  fi
  rc=$?
  rm -rf "$dir"
  if [ "$rc" -ne 42 ]; then
    echo "wine32: this kernel does not run 32-bit x86 programs"
    return $no_i386
  fi
  return 0
}

make_root() {
  [ -f "$root/.complete" ] && return 0
  [ "$(id -u)" -eq 0 ] || die "making the i386 root needs root"
  mkdir -p "$(dirname "$root")"
  (
    flock 9
    [ -f "$root/.complete" ] && exit 0
    local tmp="$root.new"
    echo "wine32: making the i386 root in $root (once)"
    root_first_stage "$tmp" "$tmp.log" || { rm -rf "$tmp"; exit 1; }
    # The second stage runs the root's own programs: it installs what the
    # first downloaded.
    in_ns "$tmp" "$tmp.log" "$emulate" '
      set -euo pipefail
      tmp=$1 log=$2 emulate=$3
      mount --rbind /dev "$tmp/dev"
      # In a user namespace no device node can be made: debootstrap is told
      # it runs in a container, whose /dev (here the bound one) is given.
      [ "$emulate" = qemu ] && export container=lxc
      chroot "$tmp" /debootstrap/debootstrap --second-stage >>"$log" 2>&1 ||
        { tail -20 "$log" >&2; exit 1; }
      chroot "$tmp" apt-get clean
    ' || { rm -rf "$tmp"; exit 1; }
    rm -rf "$root" "$tmp.log"
    mv "$tmp" "$root"
    touch "$root/.complete"
  ) 9>"$root.lock" || die "could not make the i386 root"
}
root=${WINE32_ROOT:-$cache_dir/i386-root-$(root_key "$(declare -f make_root in_ns)")}

# wine_env BUILD: the settings every Wine run of BUILD gets, as NAME=VALUE.
wine_env() {
  printf '%s\n' "WINEPREFIX=${WINE32_PREFIX:-$1/wineprefix-i386}" WINEDEBUG=-all \
    "WINEDLLOVERRIDES=mshtml=d;mscoree=d;winemenubuilder.exe=d" "WINEPATH=$1/bin" HOME=/root \
    "DISPLAY=${DISPLAY:-}"
}

# run_in_root BUILD CMD...: CMD inside the root, in a mount namespace of its
# own, with the build folder and the display's sockets at their own paths
# (inside the 32-bit system: CMD as it is).
run_in_root() {
  local build
  build=$(cd "$1" && pwd) || die "no build folder $1"
  shift
  local env
  mapfile -t env < <(wine_env "$build")
  if [ -n "$inside" ]; then
    /usr/bin/env "${env[@]}" "$@"
    return
  fi
  [ -f "$root/.complete" ] || die "no i386 root in $root (run: $0 prepare)"
  [ "$(id -u)" -eq 0 ] || die "entering the i386 root needs root"
  cache_use "$root"
  in_ns "$root" "$build" "$PWD" /usr/bin/env "${env[@]}" "$@" '
    root=$1 build=$2 pwd_=$3
    shift 3
    set -e
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mkdir -p "$root$build"
    mount --bind "$build" "$root$build"
    if [ -d /tmp/.X11-unix ]; then
      mkdir -p "$root/tmp/.X11-unix"
      mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
    fi
    set +e
    cd_to=/
    case "$pwd_" in "$build"|"$build"/*) cd_to=$pwd_ ;; esac
    exec chroot "$root" /bin/sh -c "cd \"\$0\" && exec \"\$@\"" "$cd_to" "$@"
  '
}

# The prefix is made once per build folder; later runs only use it. One cut
# short is made again: Wine writes its registry long before it is done.
init_prefix() {
  local build=$1 prefix=${WINE32_PREFIX:-$1/wineprefix-i386}
  [ -f "$prefix/.complete" ] && return 0
  (
    flock 9
    [ -f "$prefix/.complete" ] && exit 0
    rm -rf "$prefix"
    mkdir -p "$(dirname "$prefix")"
    run_in_root "$build" /bin/sh -c 'wineboot -i >"$0" 2>&1; rc=$?; wineserver -w; exit $rc' \
      "$prefix.log" || { tail -20 "$prefix.log" >&2; exit 1; }
    touch "$prefix/.complete"
    rm -f "$prefix.log"
  ) 9>"$build/.wineprefix-i386.lock" || die "could not make the Wine prefix in $prefix"
}

cmd=${1:-}
shift || true
case "$cmd" in
  check)
    [ -n "$inside" ] || check_i386
    ;;
  prepare)
    [ -n "$inside" ] && exit 0
    check_i386 || exit $?
    make_root
    ;;
  run)
    [ $# -ge 2 ] || die "usage: $0 run BUILD PROGRAM [ARGS...]"
    build=$1
    prog=$2
    shift 2
    # Inside the root only the build folder is there: a program named from
    # elsewhere is named by its full path.
    case "$prog" in
      /*) ;;
      */*) [ -e "$prog" ] && prog=$(cd "$(dirname "$prog")" && pwd)/$(basename "$prog") ;;
    esac
    set -- "$prog" "$@"
    init_prefix "$build"
    # The program's status, after its Wine server has gone: nothing of the
    # run is left behind in the namespace.
    run_in_root "$build" /bin/sh -c 'wine "$@"; rc=$?; wineserver -w; exit $rc' wine "$@"
    ;;
  exec)
    [ $# -ge 2 ] || die "usage: $0 exec BUILD CMD [ARGS...]"
    build=$1
    shift
    init_prefix "$build"
    run_in_root "$build" "$@"
    ;;
  *)
    die "usage: $0 check | prepare | run BUILD PROGRAM [ARGS...] | exec BUILD CMD [ARGS...]"
    ;;
esac
