#!/bin/bash
# Runs the same station reports on two builds and compares them byte for byte:
# the station of BASE_REV (built once into build/compare/<rev>) with each
# case's old command line, and the one in NEW_BUILD_DIR with its new one.
#
#   scripts/compare-station.sh [--old-both] [--cases FILE] [--keep] [-v] BASE_REV [NEW_BUILD_DIR]
#
#   --old-both   give the new binary the old command lines too (checks the
#                harness: a build against itself must come out identical)
#   --cases FILE the cases (default scripts/compare-station.cases)
#   --keep       leave the scratch folders and the outputs, and say where
#   -v           name every case, not only those that differ
#
# Each case is a line `OLD ARGS | NEW ARGS` of the cases file. Both sides run
# their cases in order, each side in its own folder holding a copy of
# examples/, so a case can read what an earlier one wrote (a log, a file);
# `! COMMAND` lines are setup run in both folders by /bin/sh (not compared).
# The arguments go through /bin/sh: quotes, `< FILE` and `> FILE` work, and
# $STATION_LIB names that side's library. Compared: standard output, standard
# error, the exit status and every file the case writes, after the masks below.
# Exit status: 0 all identical, 1 some differ, 2 the harness could not run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

old_both=0 keep=0 verbose=0
cases_file=$root/scripts/compare-station.cases
while [ $# -gt 0 ]; do
  case $1 in
    --old-both) old_both=1 ;;
    --keep) keep=1 ;;
    -v) verbose=1 ;;
    --cases)
      [ $# -ge 2 ] || { echo "compare-station: --cases needs a file" >&2; exit 2; }
      cases_file=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
      shift ;;
    -h | --help) sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "compare-station: unknown option $1 (see --help)" >&2; exit 2 ;;
    *) break ;;
  esac
  shift
done
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: scripts/compare-station.sh [--old-both] [--cases FILE] [--keep] [-v] BASE_REV [NEW_BUILD_DIR]" >&2
  exit 2
fi
[ -f "$cases_file" ] || { echo "compare-station: no cases file $cases_file" >&2; exit 2; }
say() { echo "compare-station: $*" >&2; }
started=$SECONDS

# --- What legitimately varies between two runs of one computation. ---------
# Only these are masked, in this order; everything else must match byte for byte.
mask_rules=(
  # wall-clock figures: the "Computed in" lines of populations, replays, analyses
  -e 's/^Computed   in [0-9.]+ s here/Computed   in <s> s here/'
  -e 's/\([0-9.]+ units\/s/(<n> units\/s/'
  -e 's/, [0-9.]+ MB\/s\)/, <n> MB\/s)/'
  # the library the station loaded (a path in each build folder)
  -e 's/^(Library +).*/\1<library>/'
  -e 's/^(\{"type":"library","path":)"([^"\\]|\\.)*"/\1"<library>"/'
)
# The analysis of the old command line names an object's kind "kind" where
# everything else, and the new command line, says "type".
analysis_rule=(-e 's/^\{"kind":/{"type":/')
# Side-specific paths (scratch folder, temporary files, build folder) are
# masked by literal text: see mask_side.

sed_literal() { printf '%s' "$1" | sed 's/[][\.*^$/+?(){}|#]/\\&/g'; }
# mask_side SIDE ARGS FILE: FILE as compared, on standard output.
mask_side() {
  local side=$1 args=$2 file=$3 build
  [ "$side" = old ] && build=$old_build || build=$new_build
  local extra=()
  case " $args " in *" --analyse "* | *" --analyse="*) extra=("${analysis_rule[@]}") ;; esac
  sed -E "${mask_rules[@]}" "${extra[@]}" \
    -e "s#$(sed_literal "$scratch/tmp")/[^ \"',:)]*#<tmp>#g" \
    -e "s#$(sed_literal "$scratch/$side")#<scratch>#g" \
    -e "s#$(sed_literal "$build")#<build>#g" "$file"
}

# --- The old station: BASE_REV built once in a temporary worktree. ----------
base_sha=$(git -C "$root" rev-parse --verify --quiet "$1^{commit}") ||
  { say "no such revision: $1"; exit 2; }
base_short=${base_sha:0:12}
old_build=$root/build/compare/$base_short
mkdir -p "$root/build/compare"
exec 9>"$old_build.lock"
flock 9 # two comparisons of one revision build it once
if [ ! -f "$old_build/.built" ] || [ ! -x "$old_build/bin/vantor-station" ]; then
  "$root/scripts/deps.sh" native
  say "building the station of $1 ($base_short) in $old_build (once per revision)"
  src_parent=$(mktemp -d)
  cleanup_src() {
    git -C "$root" worktree remove --force "$src_parent/src" 2>/dev/null || true
    rm -rf "$src_parent"
  }
  trap cleanup_src EXIT
  git -C "$root" worktree add --detach --quiet "$src_parent/src" "$base_sha"
  rm -rf "$old_build"
  (cd "$src_parent/src" && cmake -S . --preset native-release -B "$old_build" >/dev/null)
  cmake --build "$old_build" -j2 --target vantor-station VantorCrystal >"$old_build.build.log" 2>&1 ||
    { say "the build of $base_short failed: see $old_build.build.log"; exit 2; }
  touch "$old_build/.built"
  cleanup_src
  trap - EXIT
fi
exec 9>&-

# --- The new station. -------------------------------------------------------
new_build=${2:-build/native-release}
case $new_build in /*) ;; *) new_build=$root/$new_build ;; esac
# Never a stale binary; a cached build of a revision (.built) has no sources left.
if [ -f "$new_build/build.ninja" ] && [ ! -f "$new_build/.built" ]; then
  cmake --build "$new_build" -j2 --target vantor-station VantorCrystal >/dev/null ||
    { say "the build in $new_build failed"; exit 2; }
fi
[ -x "$new_build/bin/vantor-station" ] || { say "no station in $new_build/bin"; exit 2; }
old_exe=$old_build/bin/vantor-station
new_exe=$new_build/bin/vantor-station

# --- Scratch: one folder a side, each with examples/. -----------------------
scratch=$(mktemp -d)
if [ $keep = 0 ]; then trap 'rm -rf "$scratch"' EXIT; fi
mkdir -p "$scratch/tmp" "$scratch/out"
for side in old new; do
  mkdir -p "$scratch/$side"
  cp -R "$root/examples" "$scratch/$side/examples"
done

# Every file of a side's folder with its time and size: what a case wrote is
# what changed.
listing() { (cd "$scratch/$1" && find . -type f -printf '%P\t%T@\t%s\n' | LC_ALL=C sort); }

# run_case SIDE EXE ARGS N: runs one case in SIDE's folder; leaves the
# outputs in out/SIDE-N.* and the names of the files it wrote in out/SIDE-N.files.
run_case() {
  local side=$1 exe=$2 args=$3 n=$4 o=$scratch/out/$1-$4 rc=0
  listing "$side" >"$o.before"
  (cd "$scratch/$side" &&
    STATION=$exe STATION_LIB=$(dirname "$exe")/libVantorCrystal.so TMPDIR=$scratch/tmp \
      /bin/sh -c "exec \"\$STATION\" $args" >"$o.stdout" 2>"$o.stderr" </dev/null) || rc=$?
  echo "$rc" >"$o.rc"
  listing "$side" >"$o.after"
  LC_ALL=C comm -13 "$o.before" "$o.after" | cut -f1 | LC_ALL=C sort -u >"$o.files"
}

# show_diff LABEL OLDFILE NEWFILE: a short diff of the masked texts.
show_diff() {
  echo "    $1:"
  diff -u --label old --label new "$2" "$3" | sed -n '3,20p' | sed 's/^/      /' || true
}

total=0 same=0 differ=0 lineno=0
while IFS= read -r line || [ -n "$line" ]; do
  lineno=$((lineno + 1))
  trimmed=$(printf '%s' "$line" | sed 's/^[[:space:]]*//; s/[[:space:]]*$//')
  case $trimmed in '' | '#'*) continue ;; esac
  if [ "${trimmed#!}" != "$trimmed" ]; then
    for side in old new; do
      (cd "$scratch/$side" && /bin/sh -c "${trimmed#!}" </dev/null) ||
        { say "line $lineno: setup failed in the $side folder: ${trimmed#!}"; exit 2; }
    done
    continue
  fi
  case $trimmed in *'|'*) ;; *) say "line $lineno: no '|' between the old and the new arguments"; exit 2 ;; esac
  old_args=$(printf '%s' "${trimmed%%|*}" | sed 's/[[:space:]]*$//')
  new_args=$(printf '%s' "${trimmed#*|}" | sed 's/^[[:space:]]*//')
  [ $old_both = 1 ] && new_args=$old_args
  total=$((total + 1))
  n=$(printf '%03d' "$total")
  run_case old "$old_exe" "$old_args" "$n"
  run_case new "$new_exe" "$new_args" "$n"
  o=$scratch/out/old-$n p=$scratch/out/new-$n
  report=$scratch/out/diff-$n
  : >"$report"
  for part in stdout stderr; do
    mask_side old "$old_args" "$o.$part" >"$o.$part.masked"
    mask_side new "$new_args" "$p.$part" >"$p.$part.masked"
    cmp -s "$o.$part.masked" "$p.$part.masked" ||
      show_diff "$part" "$o.$part.masked" "$p.$part.masked" >>"$report"
  done
  if ! cmp -s "$o.rc" "$p.rc"; then
    echo "    exit status: old $(cat "$o.rc"), new $(cat "$p.rc")" >>"$report"
  fi
  if ! cmp -s "$o.files" "$p.files"; then
    echo "    files written:" >>"$report"
    diff --label old --label new -u "$o.files" "$p.files" | sed -n '3,$p' | grep '^[-+]' |
      sed 's/^/      /' >>"$report" || true
  fi
  while IFS= read -r f; do
    [ -f "$scratch/new/$f" ] || continue
    mask_side old "$old_args" "$scratch/old/$f" >"$o.file.masked"
    mask_side new "$new_args" "$scratch/new/$f" >"$p.file.masked"
    cmp -s "$o.file.masked" "$p.file.masked" ||
      show_diff "file $f" "$o.file.masked" "$p.file.masked" >>"$report"
  done <"$o.files"
  if [ -s "$report" ]; then
    differ=$((differ + 1))
    echo "DIFFER case $total (line $lineno): old [$old_args] new [$new_args]"
    cat "$report"
  else
    same=$((same + 1))
    [ $verbose = 1 ] && echo "same   case $total (line $lineno): $old_args  |  $new_args (exit $(cat "$o.rc"))"
  fi
done <"$cases_file"

[ $keep = 1 ] && say "scratch folders and outputs kept in $scratch"
echo "compared $base_short ($old_exe) with $new_exe in $((SECONDS - started)) s"
echo "$same identical, $differ differ"
[ "$differ" = 0 ]
