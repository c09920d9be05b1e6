#!/bin/bash
# Builds the three builds and runs every suite: native (AddressSanitizer and
# UBSan), win64 under Wine (windows under Xvfb), and win32 under 32-bit Wine
# in an i386 root: a chroot (scripts/wine32.sh) where the kernel runs 32-bit
# code, else a virtual machine (scripts/vm32.sh). Exits non-zero on any
# failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/deps.sh" all || exit 1

step() { echo; echo "=== $*"; }
fail=0
build() {
  local preset=$1
  step "build $preset"
  if [ ! -f "build/$preset/build.ninja" ]; then
    cmake --preset "$preset" >/dev/null || return 1
  fi
  cmake --build "build/$preset" || return 1
}

build native || exit 1
build native-release || exit 1
build win64 || exit 1
build win32 || exit 1

# One display for every window test of the run.
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  WINEPREFIX="$root/build/win64/wineprefix" wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
for n in $(seq 91 99); do
  if [ ! -e "/tmp/.X$n-lock" ]; then
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    break
  fi
done
sleep 1

passed=0
failed=0
# count LOG: adds the ctest summary, the 32-bit station runs and the checks
# of the release packages that LOG shows to the totals.
count() {
  local line total f
  line=$(grep -E "tests passed, [0-9]+ tests failed out of [0-9]+" "$1" | tail -1)
  if [ -n "$line" ]; then
    total=$(echo "$line" | sed -E 's/.*out of ([0-9]+).*/\1/')
    f=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed.*/\1/')
    passed=$((passed + total - f))
    failed=$((failed + f))
  fi
  passed=$((passed + $(grep -cE '^(station|package) \((32|64)-bit\) .*: passed' "$1")))
  failed=$((failed + $(grep -cE '^(station|package) \((32|64)-bit\) .*: FAILED' "$1")))
}
# run LABEL CMD...: CMD's output shown and counted; its failure fails the run.
run() {
  local log rc
  step "$1"
  shift
  log=$(mktemp)
  "$@" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  count "$log"
  rm -f "$log"
  [ "$rc" -eq 0 ] || fail=1
  return "$rc"
}
ctest_in() { (cd "$1" && ctest --output-on-failure "${@:2}"); }

run "tests: build/native" ctest_in build/native -j2
run "tests: build/win64" ctest_in build/win64

# The release packages, made from build/win32 and build/win64-release; each
# is then unpacked and run by itself: the 64-bit one here under wine64, the
# 32-bit one in the 32-bit stage below.
packaged=$SECONDS
run "release packages" scripts/package.sh
pkg32=$(ls "$root"/dist/VantorCrystal-*-win32.zip 2>/dev/null)
pkg64=$(ls "$root"/dist/VantorCrystal-*-win64.zip 2>/dev/null)
if [ -z "$pkg32" ] || [ -z "$pkg64" ]; then
  echo "package: FAILED (scripts/package.sh made no archive)"
  failed=$((failed + 1))
  fail=1
fi
[ -n "$pkg64" ] &&
  run "release package: win64 under wine64" scripts/package-check.sh "$pkg64" build/win64/bin \
    build/win64/package-check
echo "release packages: $((SECONDS - packaged)) s (the 32-bit package's check is in the 32-bit stage)"
pkg_arg=()
[ -n "$pkg32" ] && pkg_arg=(--package "$pkg32")

# The 32-bit stage: in the i386 root where this kernel runs 32-bit code,
# else in a virtual machine: all suites with KVM; translated (TCG), the
# suites a host meets, the one that reads a data file of the sources, and
# the two station runs, as the whole would take hours.
host_facing=(test_exports test_core_host test_bad_input test_fault_matrix
             msvc_host_vcruntime140 msvc_host_msvcrt test_core_config)
step "32-bit Wine: win32 suites and the station"
started=$SECONDS
# VM32_ACCEL (kvm or tcg) asks for the machine where the chroot would do.
why="VM32_ACCEL=${VM32_ACCEL:-} asks for the virtual machine"
if [ -z "${VM32_ACCEL:-}" ] && why=$(scripts/wine32.sh check); then
  way=native
elif scripts/deps.sh vm32 && way=$(scripts/vm32.sh accel); then
  echo "$why; running it in a virtual machine ($way)"
else
  way=
  echo "32-bit stage skipped: this kernel runs no 32-bit code and no virtual machine can run here"
fi
made=1
case "$way" in
  native)
    if scripts/wine32.sh prepare; then
      run "tests: build/win32 (i386 root)" scripts/stage32.sh "${pkg_arg[@]}" build/win32
    else
      made=
    fi
    ;;
  kvm | tcg)
    suites=()
    [ "$way" = tcg ] && suites=("${host_facing[@]}")
    run "tests: build/win32 (virtual machine, $way${suites[*]:+: host-facing suites})" \
      env VM32_ACCEL="$way" scripts/vm32.sh exec build/win32 "$root/scripts/stage32.sh" "${pkg_arg[@]}" \
      "$root/build/win32" "${suites[@]}"
    [ $? -eq 125 ] && made=
    ;;
esac
if [ -n "$way" ]; then
  if [ -z "$made" ]; then
    echo "32-bit stage: FAILED (the 32-bit system could not be made or did not finish)"
    failed=$((failed + 1))
    fail=1
  fi
  echo "32-bit stage ($way): $((SECONDS - started)) s"
fi
if [ -x scripts/extra-checks.sh ]; then
  step "extra checks"
  scripts/extra-checks.sh || fail=1
fi

echo
echo "${passed} passed, ${failed} failed"
exit $fail
