#!/bin/bash
# Uses a release package as a factory would: unpacked into an empty folder
# and run from there alone, in a fresh Wine prefix of the package's width.
#
#   package-check.sh ZIP HOSTS WORK
#
# ZIP is dist/VantorCrystal-VERSION-win32.zip or -win64.zip; HOSTS the bin
# folder of a build of the same width, whose MSVC-ABI hosts
# (msvc_host_*.exe) and package_help_check.exe are copied into the unpacked
# top level as into a host's folder; WORK an empty folder made for the check
# (removed first, and afterwards when everything passed). The simulated
# ErrorCode.dll and PhoneCommand.dll of desk-tools/ stand for the line's own
# and are found on the host's PATH, from a folder that holds only them. The
# 32-bit package runs through scripts/wine32.sh (the i386 root, or directly
# inside the 32-bit system), the 64-bit one under wine64.
# Prints one "package (32-bit|64-bit) ...: passed" or "FAILED" line per check
# (scripts/test-all.sh counts them); exit status 0 when every one passed.
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 3 ] || { echo "usage: $0 ZIP HOSTS WORK" >&2; exit 2; }
zip=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
hosts=$(cd "$2" && pwd) || exit 2
work=$3
case "$(basename "$zip")" in
  VantorCrystal-*-win32.zip) width=32-bit ;;
  VantorCrystal-*-win64.zip) width=64-bit ;;
  *) echo "package-check: $zip is no release package" >&2; exit 2 ;;
esac
[ -f "$zip" ] || { echo "package-check: no $zip" >&2; exit 2; }
# The setup window needs a display: a private one when none is given.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  # Without access control: the i386 root does not see xvfb-run's cookie.
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -ac" "$0" "$@"
fi
version=$(basename "$zip" | sed -E 's/^VantorCrystal-(.*)-win(32|64)\.zip$/\1/')
# Only an empty folder or an earlier check's is removed.
if [ -d "$work" ] && [ -n "$(ls -A "$work")" ] && [ ! -d "$work/unpacked" ]; then
  echo "package-check: $work holds files of its own; name a new folder" >&2
  exit 2
fi
rm -rf "$work" && mkdir -p "$work" || exit 1
work=$(cd "$work" && pwd)
top=$work/unpacked
lines=$work/line-libraries
mkdir -p "$top" "$lines" "$work/run"
fail=0
started=$SECONDS

# result NAME STATUS [LOG]: one counted line; a failure shows the log's end.
result() {
  if [ "$2" -eq 0 ]; then
    echo "package ($width) $1: passed"
  else
    echo "package ($width) $1: FAILED"
    [ -n "${3:-}" ] && tail -25 "$3" | sed 's/^/  /'
    fail=1
  fi
}

# winpath PATH: the Windows name of a path of this system (drive Z: is /).
winpath() {
  echo "Z:${1//\//\\}"
}

# wine_in DIR PROGRAM ARGS...: PROGRAM under Wine of the package's width in
# the check's own prefix, started in DIR, with the line's libraries on PATH.
# "wineboot" as PROGRAM makes the prefix.
wine_in() {
  local dir=$1
  shift
  # shellcheck disable=SC2016 # run by the shell inside
  local run='w=$1; shift; "$w" "$@"; rc=$?; wineserver -w; exit $rc'
  if [ "$width" = 32-bit ]; then
    # wine32.sh makes the prefix before any command.
    [ "$1" = wineboot ] && set -- /bin/true
    (cd "$dir" && WINE32_PREFIX=$work/prefix "$repo/scripts/wine32.sh" exec "$work" \
      /usr/bin/env WINEPATH="$(winpath "$lines")" /bin/sh -c "$run" sh wine "$@")
  else
    [ "$1" = wineboot ] && set -- wineboot -i
    (cd "$dir" && WINEPREFIX=$work/prefix WINEDEBUG=-all WINEPATH="$(winpath "$lines")" \
      WINEDLLOVERRIDES="mshtml=d;mscoree=d;winemenubuilder.exe=d" \
      /bin/sh -c "$run" sh "$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)" "$@")
  fi
}

# The desk station's command lines, in one place: one unit on a file, and
# the check of a file. It runs in the package's folder, as README.txt says.
station() {
  wine_in "$top" "$top/desk-tools/vantor-station.exe" "$@"
}
station_unit() { station run --config "$1"; }
station_check_file() { station check "$1"; }

# --- the archive, unpacked into an empty folder -----------------------------
log=$work/log
(cd "$top" && cmake -E tar xf "$zip") >"$log" 2>&1
result "unpacks into an empty folder" $? "$log"
# What a host's folder needs at the top; the simulated outside libraries
# only in desk-tools.
listing=$(cd "$top" && find . -type f | sed 's|^\./||' | sort)
missing=
for f in VantorCrystal.dll VantorCrystal.ini README.txt CHANGES.txt SHA256SUMS \
         Html/AFC/VANTOR/VT300.htm Html/AFC/VANTOR/Vt318.htm include/omra/omra.h \
         desk-tools/vantor-station.exe desk-tools/ErrorCode.dll desk-tools/PhoneCommand.dll; do
  echo "$listing" | grep -qxF "$f" || missing+=" $f"
done
[ -z "$missing" ]
result "holds the host's files and the desk tools" $? <(echo "missing:$missing")
strays=$(echo "$listing" | grep -iE '(^|/)(ErrorCode|PhoneCommand)\.dll$' | grep -v '^desk-tools/[^/]*$')
[ -z "$strays" ]
result "top level holds no ErrorCode.dll or PhoneCommand.dll" $? <(echo "found: $strays")
(cd "$top" && sha256sum --quiet -c SHA256SUMS) >"$log" 2>&1 &&
  [ "$(echo "$listing" | grep -vcxF SHA256SUMS)" -eq "$(wc -l <"$top/SHA256SUMS")" ]
result "SHA256SUMS lists and matches every file" $? "$log"

# --- a host's folder: the MSVC-ABI hosts beside the unpacked DLL -------------
for f in ErrorCode.dll PhoneCommand.dll; do
  cp "$top/desk-tools/$f" "$lines/" || fail=1
done
for exe in "$hosts"/msvc_host_*.exe "$hosts/package_help_check.exe"; do
  cp "$exe" "$top/" || fail=1
done
wine_in "$work/run" wineboot >"$log" 2>&1
result "fresh Wine prefix" $? "$log"
runs=0
for exe in "$hosts"/msvc_host_*.exe; do
  host=$(basename "$exe" .exe)
  wine_in "$work/run" "$top/$host.exe" >"$log" 2>&1
  rc=$?
  grep -q '^PASS: msvc host' "$log" && [ "$rc" -eq 0 ]
  result "$host" $? "$log"
  runs=$((runs + 1))
done
[ "$runs" -ge 2 ]
result "MSVC-ABI hosts found (vcruntime140 and msvcrt)" $? <(echo "$runs in $hosts")

# --- the setup window from the unpacked library ------------------------------
wine_in "$work/run" "$top/package_help_check.exe" "$(winpath "$top/VantorCrystal.ini")" >"$log" 2>&1
rc=$?
sed 's/^/  /' "$log" | grep -v '^  $'
[ "$rc" -eq 0 ] && [ "$(grep -c 'help view: shows' "$log")" -eq 2 ]
result "setup window's help views show their pages" $? "$log"

# --- the desk station on the shipped configuration ---------------------------
station_unit VantorCrystal.ini >"$log" 2>&1
rc=$?
# It runs the package's top-level library, which carries the archive's version.
grep -qiF "Library    $(winpath "$top")\\VantorCrystal.dll" "$log" &&
  grep -qF "(FileVersion ${version//./, })" "$log" && [ "$rc" -eq 0 ]
result "station runs one unit on VantorCrystal.ini with the top-level DLL" $? "$log"
station_check_file VantorCrystal.ini >"$log" 2>&1
result "station checks VantorCrystal.ini: nothing found" $? "$log"

(cd "$top" && sha256sum --quiet -c SHA256SUMS) >"$log" 2>&1
result "package files unchanged after the runs" $? "$log"
echo "package ($width) check took $((SECONDS - started)) s"
[ "$fail" -eq 0 ] && rm -rf "$work"
exit $fail
