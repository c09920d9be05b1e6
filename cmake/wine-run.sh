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
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$wine" "$@"
fi
exec "$wine" "$@"
