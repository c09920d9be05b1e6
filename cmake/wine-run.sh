#!/bin/bash
# Runs a Windows program of the build under Wine: the build's own prefix, no
# debug output, no web engine (the browser control fails cleanly), and a
# display (the one given, else a private Xvfb for this run).
set -u
build="$1"
shift
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mshtml=d;mscoree=d;winemenubuilder.exe=d"
export WINEPATH="$build/bin"
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$build"
  (
    flock 9
    [ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot -i >/dev/null 2>&1
  ) 9>"$build/.wineprefix.lock"
fi
launch=("$wine")
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  launch=(xvfb-run -a -s "-screen 0 1280x1024x24" "$wine")
fi
# Now and then Wine ends a program it never started: a failing status and no
# output at all, where every program of the build writes a first line. Such
# a launch is made again once the Wine server has gone (at most twice), and
# said; a program that ran and failed is never run again.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for attempt in 1 2 3; do
  "${launch[@]}" "$@" 2>&1 | tee "$out"
  rc=${PIPESTATUS[0]}
  if [ "$rc" -eq 0 ] || [ -s "$out" ] || [ "$attempt" -eq 3 ]; then
    exit "$rc"
  fi
  echo "wine-run: Wine ended '$1' with status $rc before it wrote anything; launching it again" >&2
  wineserver -w 2>/dev/null || true
done
