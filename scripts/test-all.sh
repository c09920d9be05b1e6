#!/bin/bash
# Builds the three builds and runs every suite: native (AddressSanitizer and
# UBSan), win64 under Wine (windows under Xvfb), and win32 under 32-bit Wine
# in an i386 root (scripts/wine32.sh) when the kernel runs 32-bit code.
# Exits non-zero on any failure.
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
run_ctest() {
  local dir=$1
  step "tests: $dir"
  local log
  log=$(mktemp)
  (cd "$dir" && ctest --output-on-failure "${@:2}") 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  local line
  line=$(grep -E "tests passed, [0-9]+ tests failed out of [0-9]+" "$log" | tail -1)
  if [ -n "$line" ]; then
    local total f
    total=$(echo "$line" | sed -E 's/.*out of ([0-9]+).*/\1/')
    f=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed.*/\1/')
    passed=$((passed + total - f))
    failed=$((failed + f))
  fi
  rm -f "$log"
  [ "$rc" -eq 0 ] || fail=1
}

# station_check NAME WANT ARGS...: one run of the 32-bit station, counted as
# a test; WANT is its exit status, and a terminated process never passes.
station_check() {
  local name=$1 want=$2
  shift 2
  local log rc
  log=$(mktemp)
  scripts/wine32.sh run "$root/build/win32" "$root/build/win32/bin/vantor-station.exe" "$@" >"$log" 2>&1
  rc=$?
  if [ "$rc" -eq "$want" ] && ! grep -q "terminate called" "$log"; then
    echo "station (32-bit) $name: passed (exit $rc)"
    passed=$((passed + 1))
  else
    echo "station (32-bit) $name: FAILED (exit $rc, expected $want)"
    tail -20 "$log"
    failed=$((failed + 1))
    fail=1
  fi
  rm -f "$log"
}

run_ctest build/native -j2
run_ctest build/win64

step "32-bit Wine: win32 suites and the station"
started=$SECONDS
scripts/wine32.sh prepare
rc=$?
if [ "$rc" -eq 0 ]; then
  echo "i386 root ready after $((SECONDS - started)) s"
  run_ctest build/win32
  station_check "--units 5" 0 --units 5
  station_check "--fail-flash 2" 1 --fail-flash 2
  echo "32-bit stage: $((SECONDS - started)) s"
elif [ "$rc" -ne 77 ]; then
  fail=1
fi
if [ -x scripts/extra-checks.sh ]; then
  step "extra checks"
  scripts/extra-checks.sh || fail=1
fi

echo
echo "${passed} passed, ${failed} failed"
exit $fail
