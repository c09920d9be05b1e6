#!/bin/bash
# Builds the library and the station (optimised) and runs the station with
# the arguments given: by default one VT318 calibration of a simulated unit.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" native
cd "$root"
say() { echo "station.sh: $*" >&2; }
if [ ! -f build/native-release/build.ninja ]; then
  say "configuring the optimised build in build/native-release (first call only)"
  cmake --preset native-release >/dev/null
fi
# Only a build with work to do is announced: the first one takes about half a minute.
pending=$(ninja -C build/native-release -n vantor-station 2>/dev/null | grep -c '^\[' || true)
if [ "${pending:-0}" -gt 0 ]; then
  say "building the library and the station ($pending steps; the first build takes about 30 s)..."
fi
cmake --build build/native-release --target vantor-station >/dev/null
[ "${pending:-0}" -gt 0 ] && say "built; running vantor-station"
exec build/native-release/bin/vantor-station "$@"
