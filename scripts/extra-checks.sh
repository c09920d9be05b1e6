#!/bin/bash
# Hardening checks after the ctest suites: a short fixed-length run of each
# fuzz target (clang, libFuzzer) over the checked-in seeds, and one station
# population under valgrind. Exits non-zero on any failure.
#   FUZZ_SECONDS   seconds per fuzz target (default 30)
#   FUZZ_BUILD     build folder of the fuzz targets (default build/fuzz)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${FUZZ_SECONDS:-30}
fuzz_build=${FUZZ_BUILD:-build/fuzz}
fail=0

echo "--- fuzz targets: build ($fuzz_build)"
if ! command -v clang++ >/dev/null; then
  echo "extra-checks: clang++ is missing (scripts/deps.sh all installs it)" >&2
  exit 1
fi
if [ ! -f "$fuzz_build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$fuzz_build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_TESTS=OFF -DVANTOR_FUZZ=ON >/dev/null || exit 1
fi
cmake --build "$fuzz_build" -j2 --target fuzz_ini fuzz_exports || exit 1

# run_fuzzer name seeds [options...]: new units go to a scratch corpus, the
# checked-in seeds are only read.
run_fuzzer() {
  local name=$1 seeds=$2
  shift 2
  local work log
  work=$(mktemp -d)
  log=$(mktemp)
  echo "--- fuzz: $name, ${seconds}s"
  (cd "$work" && "$root/$fuzz_build/bin/$name" -max_total_time="$seconds" -print_final_stats=1 \
      "$@" "$work" "$root/$seeds") >"$log" 2>&1
  local rc=$?
  local done_line
  done_line=$(grep -E "^Done [0-9]+ runs in [0-9]+ second" "$log" | tail -1)
  if [ "$rc" -ne 0 ] || [ -z "$done_line" ]; then
    echo "extra-checks: $name failed (exit $rc)" >&2
    grep -E "ERROR|invariant|mismatch|SUMMARY|engine|Test unit written" "$log" | head -20 >&2
    for f in "$work"/crash-* "$work"/leak-* "$work"/timeout-*; do
      [ -e "$f" ] && cp "$f" "$root/$fuzz_build/" && echo "  reproducer: $fuzz_build/$(basename "$f")" >&2
    done
    fail=1
  else
    local runs secs
    runs=$(echo "$done_line" | sed -E 's/^Done ([0-9]+) runs in ([0-9]+) .*/\1/')
    secs=$(echo "$done_line" | sed -E 's/^Done ([0-9]+) runs in ([0-9]+) .*/\2/')
    [ "$secs" -gt 0 ] || secs=1
    echo "$name: $runs executions in ${secs}s, $((runs / secs)) exec/s, no crash"
  fi
  rm -rf "$work" "$log"
}

run_fuzzer fuzz_ini fuzz/corpus/ini -dict="$root/fuzz/ini.dict" -max_len=4096
run_fuzzer fuzz_exports fuzz/corpus/exports -max_len=1024

echo "--- valgrind: one station population"
station=${STATION:-build/native-release/bin/vantor-station}
if [ ! -x "$station" ]; then
  echo "extra-checks: $station is missing (build the native-release preset)" >&2
  fail=1
elif ! command -v valgrind >/dev/null; then
  echo "extra-checks: valgrind is missing (scripts/deps.sh all installs it)" >&2
  fail=1
else
  args=(line --units 20 --no-progress)
  if valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
      -q "$station" "${args[@]}" >/dev/null; then
    echo "valgrind: vantor-station ${args[*]}: no errors"
  else
    echo "extra-checks: valgrind found errors in vantor-station ${args[*]}" >&2
    fail=1
  fi
fi
exit $fail
