#!/bin/bash
# The 32-bit stage of the test command: the CTest suites of a win32 build
# (all, or the ones named), two runs of its station, and with --package the
# 32-bit release package unpacked and run by itself (scripts/package-check.sh),
# under 32-bit Wine. It runs where the 32-bit system is: on this machine,
# where scripts/wine32.sh enters the i386 root for each program, or inside
# the virtual machine of scripts/vm32.sh.
#
#   stage32.sh [--package ZIP] BUILD [TEST...]
#
# Prints ctest's output and one line per station run ("station (32-bit)
# ...: passed" or "FAILED") and per check of the package ("package (32-bit)
# ...: passed" or "FAILED"), which scripts/test-all.sh counts. Exit status 0
# when everything passed.
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
package=
if [ "${1:-}" = --package ] && [ $# -ge 2 ]; then
  package=$2
  shift 2
fi
[ $# -ge 1 ] || { echo "usage: $0 [--package ZIP] BUILD [TEST...]" >&2; exit 2; }
build=$(cd "$1" && pwd) || exit 2
shift
fail=0

args=(--output-on-failure)
if [ $# -gt 0 ]; then
  # Every named suite must be there: a name that matches nothing runs nothing.
  regex="^($(IFS='|'; echo "$*"))\$"
  found=$(cd "$build" && ctest -N -R "$regex" | sed -n 's/^Total Tests: //p')
  if [ "${found:-0}" -ne $# ]; then
    echo "stage32: $# suites named, $build has ${found:-0} of them: $*"
    fail=1
  fi
  args+=(-R "$regex")
fi
(cd "$build" && ctest "${args[@]}") || fail=1

# station_check NAME WANT ARGS...: one run of the 32-bit station, counted as
# a test; WANT is its exit status, and a terminated process never passes.
station_check() {
  local name=$1 want=$2 log rc
  shift 2
  log=$(mktemp)
  "$repo/scripts/wine32.sh" run "$build" "$build/bin/vantor-station.exe" "$@" >"$log" 2>&1
  rc=$?
  if [ "$rc" -eq "$want" ] && ! grep -q "terminate called" "$log"; then
    echo "station (32-bit) $name: passed (exit $rc)"
  else
    echo "station (32-bit) $name: FAILED (exit $rc, expected $want)"
    tail -20 "$log"
    fail=1
  fi
  rm -f "$log"
}
station_check "line --units 5" 0 line --units 5
station_check "run --fail-flash 2" 1 run --fail-flash 2
# The package's own folder lies in the build folder: the one place the i386
# root and the virtual machine both see and may write.
if [ -n "$package" ]; then
  "$repo/scripts/package-check.sh" "$package" "$build/bin" "$build/package-check" || fail=1
fi
exit $fail
