#!/bin/bash
# Builds the library and the station (optimised) and runs the station with
# the arguments given: by default one VT318 calibration of a simulated unit.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" native
cd "$root"
if [ ! -f build/native-release/build.ninja ]; then
  cmake --preset native-release >/dev/null
fi
cmake --build build/native-release --target vantor-station >/dev/null
exec build/native-release/bin/vantor-station "$@"
