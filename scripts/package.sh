#!/bin/bash
# Makes the release packages: dist/VantorCrystal-VERSION-win32.zip for 32-bit
# hosts and -win64.zip for 64-bit ones. The top level of each holds what a
# host's folder needs (the DLL, the runtime DLLs it imports, the help pages,
# a commented default configuration, the headers, README.txt, CHANGES.txt,
# SHA256SUMS); desk-tools/ holds the station with the simulated outside
# libraries it needs, which never belong in a host's folder. Beside each
# archive lies the DLL's debug information
# (VantorCrystal-VERSION-ARCH.dll.debug), which the shipped, stripped DLL
# names by a debug link.
#
#   package.sh [--no-build] [--out DIR] [win32|win64...]
#
# Both by default; --no-build packages the builds as they are.
# The 32-bit package comes from build/win32 (the shipping build the suites
# test), the 64-bit one from build/win64-release (build/win64 is a debug
# build). VERSION is the FILEVERSION of the DLLs' version resource, whose one
# home is project() in CMakeLists.txt. The same sources and toolchain give the
# same archive bytes: entries sorted, every time set to the last commit's (or
# SOURCE_DATE_EPOCH), modes fixed, no owner or extra time fields.
# Prints one "package (32-bit|64-bit) ...: passed" or "FAILED" line for
# each check of what it made (scripts/test-all.sh counts them); exit status 0
# when every package was made and every check passed.
set -uo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=1
out=$repo/dist
archs=()
while [ $# -gt 0 ]; do
  case "$1" in
    --no-build) build= ;;
    --out) out=$2; shift ;;
    win32 | win64) archs+=("$1") ;;
    *) echo "usage: $0 [--no-build] [--out DIR] [win32|win64...]" >&2; exit 2 ;;
  esac
  shift
done
[ ${#archs[@]} -gt 0 ] || archs=(win32 win64)
export LC_ALL=C TZ=UTC
fail=0

die() {
  echo "package: $*" >&2
  exit 1
}

command -v zip >/dev/null || die "zip is missing (scripts/deps.sh all)"
symbolizer=$(command -v llvm-symbolizer || command -v llvm-symbolizer-14) ||
  die "llvm-symbolizer is missing (scripts/deps.sh all)"
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$repo" log -1 --format=%ct 2>/dev/null) || SOURCE_DATE_EPOCH=
  # Outside a git checkout: a fixed time (zip times start in 1980).
  [ -n "$SOURCE_DATE_EPOCH" ] || SOURCE_DATE_EPOCH=315532800
fi

# result NAME OK: one counted line for a check of the package being made.
result() {
  if [ "$2" -eq 0 ]; then
    echo "package ($width) $1: passed"
  else
    echo "package ($width) $1: FAILED"
    fail=1
  fi
}

# dll_version FILE: the FILEVERSION of the file's version resource, as
# 1.0.1.5 (VS_FIXEDFILEINFO: its signature, then the structure's version,
# then the file version as two words of two 16-bit halves, high first).
dll_version() {
  local at
  at=$(grep -obUaP '\xBD\x04\xEF\xFE' "$1" | head -1 | cut -d: -f1)
  [ -n "$at" ] || return 1
  od -An -j $((at + 8)) -N 8 -t u2 "$1" | awk '{ print $2 "." $1 "." $4 "." $3 }'
}

# imports FILE: the DLLs the PE file imports, one a line.
imports() {
  "$objdump" -p "$1" | sed -n 's/^\s*DLL Name: //p'
}

# needed BIN FILE: the DLLs of BIN that FILE needs, directly or through each
# other (Windows' own are not in BIN), one a line.
needed() {
  local bin=$1 todo=("$2") seen=" " f d
  while [ ${#todo[@]} -gt 0 ]; do
    f=${todo[0]}
    todo=("${todo[@]:1}")
    for d in $(imports "$f" | sort); do
      [ -f "$bin/$d" ] || continue
      case "$seen" in *" $d "*) continue ;; esac
      seen="$seen$d "
      echo "$d"
      todo+=("$bin/$d")
    done
  done
}

# text SRC DEST: a text file with Windows line ends.
text() {
  sed 's/\r$//; s/$/\r/' "$1" >"$2"
}

# package ARCH PRESET BUILD: makes the archive of one build.
package() {
  arch=$1
  local preset=$2 dir=$3 triplet bin stage name dbg d runtime=() desk=() base f
  case "$arch" in
    win32) triplet=i686-w64-mingw32 width=32-bit ;;
    win64) triplet=x86_64-w64-mingw32 width=64-bit ;;
  esac
  objdump=$triplet-objdump
  # objcopy stamps the PE header with the time unless given one: the
  # linker's zero stays.
  local objcopy=(env SOURCE_DATE_EPOCH=0 "$triplet-objcopy")
  if [ -n "$build" ]; then
    if [ ! -f "$dir/build.ninja" ]; then
      cmake --preset "$preset" >/dev/null || die "cannot configure $dir"
    fi
    cmake --build "$dir" --target VantorCrystal vantor-station vantor_help_pages ||
      die "cannot build $dir"
  fi
  bin=$dir/bin
  for f in VantorCrystal.dll vantor-station.exe Html/AFC/VANTOR/VT300.htm Html/AFC/VANTOR/Vt318.htm; do
    [ -f "$bin/$f" ] || die "$bin/$f is missing (build $dir first, or leave out --no-build)"
  done
  version=$(dll_version "$bin/VantorCrystal.dll") || die "$bin/VantorCrystal.dll has no version resource"
  local changes
  changes=$(grep -m1 -E '^[0-9]+(\.[0-9]+){3}$' "$repo/package/CHANGES.txt")
  [ "$changes" = "$version" ] ||
    die "package/CHANGES.txt begins with ${changes:-no version}, the DLL is $version: add its entry"
  name=VantorCrystal-$version-$arch
  dbg=$name.dll.debug
  stage=$out/$name
  rm -rf "${stage:?}" "$out/$name.zip" "${out:?}/$dbg"
  mkdir -p "$stage/Html/AFC/VANTOR" "$stage/include/omra" "$stage/desk-tools" || exit 1

  # The DLL stripped, its debug information apart and named by a debug link
  # (with the debug file's CRC, so a debug file of another build is refused).
  "${objcopy[@]}" --only-keep-debug "$bin/VantorCrystal.dll" "$out/$dbg" || die "objcopy failed"
  (cd "$out" && "${objcopy[@]}" --strip-all --add-gnu-debuglink="$dbg" "$bin/VantorCrystal.dll" \
    "$stage/VantorCrystal.dll") || die "objcopy failed"
  # What the DLL imports from the build, but the line's own two libraries.
  for d in $(needed "$bin" "$bin/VantorCrystal.dll"); do
    case "$d" in
      ErrorCode.dll | PhoneCommand.dll) ;;
      *) cp "$bin/$d" "$stage/$d" && runtime+=("$d") ;;
    esac
  done
  cp "$bin/Html/AFC/VANTOR/VT300.htm" "$bin/Html/AFC/VANTOR/Vt318.htm" "$stage/Html/AFC/VANTOR/"
  cp "$repo"/include/omra/*.h "$stage/include/omra/"
  text "$repo/package/VantorCrystal.ini" "$stage/VantorCrystal.ini"
  text "$repo/package/CHANGES.txt" "$stage/CHANGES.txt"
  # The station and everything it imports from the build, the simulated
  # outside libraries among them.
  "${objcopy[@]}" --strip-all "$bin/vantor-station.exe" "$stage/desk-tools/vantor-station.exe" ||
    die "objcopy failed"
  for d in $(needed "$bin" "$bin/vantor-station.exe"); do
    case "$d" in
      VantorCrystal.dll) ;;
      ErrorCode.dll | PhoneCommand.dll) "${objcopy[@]}" --strip-all "$bin/$d" "$stage/desk-tools/$d" ;;
      *) cp "$bin/$d" "$stage/desk-tools/$d" ;;
    esac
    desk+=("$d")
  done

  # README.txt: the template with this package's facts.
  base=$("$objdump" -p "$stage/VantorCrystal.dll" | sed -n 's/^ImageBase\s*//p')
  local hosts=32-bit other=win64 rt="" rtcopy="" deskrt=""
  [ "$arch" = win64 ] && hosts=64-bit other=win32
  for d in "${runtime[@]}"; do
    case "$d" in
      libgcc_s_dw2-1.dll) f="runtime: the exception unwinder" ;;
      libwinpthread-1.dll) f="runtime: threads (the unwinder needs it)" ;;
      *) f="runtime of the library" ;;
    esac
    rt+=$(printf '  %-26s %s' "$d" "$f")$'\n'
    rtcopy+="       $d"$'\n'
  done
  for d in "${desk[@]}"; do
    case "$d" in ErrorCode.dll | PhoneCommand.dll) ;; *)
      deskrt+=$(printf '  %-26s %s' "$d" "runtime of the station")$'\n' ;;
    esac
  done
  [ ${#runtime[@]} -gt 0 ] || rt="  (no runtime DLL: the library carries its runtime)"$'\n'
  awk -v version="$version" -v arch="$arch" -v hosts="$hosts" -v other="$other" \
    -v rt="${rt%$'\n'}" -v rtcopy="${rtcopy%$'\n'}" -v deskrt="${deskrt%$'\n'}" \
    -v base="0x$base" -v a2l="$triplet-addr2line" '
    /^@RUNTIME@$/ { if (rt != "") print rt; next }
    /^@RUNTIME_COPY@$/ { if (rtcopy != "") print rtcopy; next }
    /^@DESK_RUNTIME@$/ { if (deskrt != "") print deskrt; next }
    /^@32@/ { if (arch != "win32") next; sub(/^@32@/, "") }
    /^@UNDERLINE@$/ { u = last; gsub(/./, "=", u); print u; next }
    { gsub(/@VERSION@/, version); gsub(/@ARCH@/, arch); gsub(/@HOSTS@/, hosts)
      gsub(/@OTHER_HOSTS@/, other == "win64" ? "64-bit" : "32-bit"); gsub(/@OTHER@/, other)
      last = $0
      gsub(/@IMAGE_BASE@/, base); gsub(/@ADDR2LINE@/, a2l); print }
  ' "$repo/package/README.txt.in" >"$stage/README.tmp"
  text "$stage/README.tmp" "$stage/README.txt"
  rm "$stage/README.tmp"

  (cd "$stage" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort | xargs -d '\n' sha256sum) \
    >"$stage/SHA256SUMS"
  find "$stage" -type d -exec chmod 755 {} + && find "$stage" -type f -exec chmod 644 {} +
  find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  (cd "$stage" && find . -type f | sed 's|^\./||' | sort | zip -X -D -q -9 "../$name.zip" -@) ||
    die "zip failed"
  chmod 644 "$out/$name.zip" "$out/$dbg"
  touch -d "@$SOURCE_DATE_EPOCH" "$out/$name.zip" "$out/$dbg"

  # Checks of what was made.
  local top sections
  top=$(cd "$stage" && find . -maxdepth 1 -type f | sed 's|^\./||' | sort | tr '\n' ' ')
  echo "$top" | grep -qiE '(^| )(ErrorCode|PhoneCommand)\.dll ' && f=1 || f=0
  result "top level without ErrorCode.dll and PhoneCommand.dll" "$f"
  sections=$("$objdump" -h "$stage/VantorCrystal.dll")
  echo "$sections" | grep -q '\.gnu_debuglink' && ! echo "$sections" | grep -q '\.debug_' &&
    "$objdump" -h "$out/$dbg" | grep -q '\.debug_info'
  result "DLL stripped, its debug file linked" $?
  # An address inside an export, as a crash report gives it (image base plus
  # offset), named with its function and source line through the stripped
  # DLL's debug link, which only a debug file with the linked CRC satisfies.
  local rva where look
  # "[   2] +base[   3] 10940 Export RVA" by ordinal, "[   2] Omra_DoAction"
  # by name.
  rva=$("$objdump" -p "$stage/VantorCrystal.dll" | tr '[]' '  ' | awk '
    $2 == "+base" && $5 == "Export" { at[$1] = $4 }
    $2 == "Omra_DoAction" && NF == 2 { n = $1 }
    END { if (n in at) print at[n] }')
  look=$(mktemp -d)
  cp "$stage/VantorCrystal.dll" "$out/$dbg" "$look/"
  where=$([ -n "$rva" ] &&
    "$symbolizer" --obj="$look/VantorCrystal.dll" "0x$(printf '%x' $((0x$base + 0x$rva + 8)))")
  rm -rf "$look"
  echo "  ${where//$'\n'/$'\n'  }"
  # Innermost first: the export's own frame is the last pair.
  [ "$(echo "$where" | grep -v '^$' | tail -2 | head -1)" = Omra_DoAction ] &&
    echo "$where" | grep -v '^$' | tail -1 | grep -q '^/vantor/src/core/library/Exports\.cpp:[0-9]'
  result "debug link names the source of an address in Omra_DoAction" $?

  echo "made $out/$name.zip ($width, version $version, $(stat -c %s "$out/$name.zip") bytes)" \
    "and $out/$dbg ($(stat -c %s "$out/$dbg") bytes)"
  (cd "$stage" && find . -type f -printf '%10s  %P\n' | sort -k2)
  rm -rf "$stage"
}

# dist/ holds the packages of the last run only.
mkdir -p "$out" || exit 1
rm -f "$out"/VantorCrystal-*.zip "$out"/VantorCrystal-*.dll.debug "$out/SHA256SUMS"
versions=()
for a in "${archs[@]}"; do
  case "$a" in
    win32) package win32 win32 "$repo/build/win32" ;;
    win64) package win64 win64-release "$repo/build/win64-release" ;;
  esac
  versions+=("$version")
done
[ "$(printf '%s\n' "${versions[@]}" | sort -u | wc -l)" -eq 1 ] ||
  die "the DLLs carry different versions (${versions[*]}): build them from the same sources"
(cd "$out" && sha256sum -- *.zip *.dll.debug >SHA256SUMS)
exit $fail
