#!/bin/bash
# A longer fuzz run of every target, one after the other.
#   scripts/fuzz-long.sh [seconds per target, default 1800] [--merge]
# New inputs collect in build/fuzz/corpus-<target>; with --merge the ones that
# add coverage are merged into the checked-in seeds under fuzz/corpus.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-1800}
merge=${2:-}
fuzz_build=${FUZZ_BUILD:-build/fuzz}
if [ ! -f "$fuzz_build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$fuzz_build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_TESTS=OFF -DVANTOR_FUZZ=ON >/dev/null || exit 1
fi
cmake --build "$fuzz_build" -j2 --target fuzz_ini fuzz_exports fuzz_logs || exit 1
fail=0
for target in ini exports logs; do
  work="$root/$fuzz_build/corpus-$target"
  mkdir -p "$work"
  opts=(-max_total_time="$seconds" -print_final_stats=1)
  [ "$target" = ini ] && opts+=(-dict="$root/fuzz/ini.dict")
  [ "$target" = logs ] && opts+=(-dict="$root/fuzz/logs.dict" -max_len=16384 -timeout=20)
  echo "=== fuzz_$target for ${seconds}s"
  (cd "$root/$fuzz_build" && "bin/fuzz_$target" "${opts[@]}" "$work" "$root/fuzz/corpus/$target") ||
    fail=1
  if [ "$merge" = --merge ]; then
    "$root/$fuzz_build/bin/fuzz_$target" -merge=1 "$root/fuzz/corpus/$target" "$work"
  fi
done
exit $fail
