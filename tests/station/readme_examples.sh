#!/bin/sh
# Runs the station examples of the README, in order, as a reader would type
# them: every indented line that starts with `scripts/station.sh`, its
# trailing `# comment` dropped, with the built station in place of the
# script, through /bin/sh (so `> file` works) in one scratch folder holding a
# copy of examples/, so an example reads what an earlier one wrote. A size
# over 20000 units is lowered to 2000 (and said). Each example must exit 0 or
# 1 (a failing unit or a check with findings, shown on purpose) and print
# something; 2, 3 or a signal fail with the example and its standard error.
#
#   readme_examples.sh STATION_EXE README EXAMPLES_DIR
set -u
if [ $# -ne 3 ]; then
  echo "usage: readme_examples.sh STATION_EXE README EXAMPLES_DIR" >&2
  exit 2
fi
station=$1 readme=$2 examples=$3
[ -x "$station" ] || { echo "no station at $station" >&2; exit 2; }
[ -f "$readme" ] || { echo "no README at $readme" >&2; exit 2; }
[ -d "$examples" ] || { echo "no examples folder at $examples" >&2; exit 2; }
# The examples run in another folder.
case $station in /*) ;; *) station=$(pwd)/$station ;; esac

scratch=$(mktemp -d) || exit 2
trap 'rm -rf "$scratch"' EXIT
cp -R "$examples" "$scratch/examples" || exit 2

# A sanitizer's report must not pass for the exit status 1 of a failing unit.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}exitcode=86"
UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}exitcode=86"
export ASAN_OPTIONS UBSAN_OPTIONS

# One example a line: README text, the command to run, a note (tab-separated).
awk -v limit=20000 -v lowered=2000 '
  /^(    |\t)[ \t]*scripts\/station\.sh([ \t]|$)/ {
    text = $0
    sub(/^[ \t]+/, "", text)
    # the comment: a "#" that starts a word outside quotes
    cmd = ""; q = ""
    for (i = 1; i <= length(text); i++) {
      c = substr(text, i, 1)
      if (q == "" && c == "#" && (i == 1 || substr(text, i - 1, 1) ~ /[ \t]/)) break
      if (q == "" && c == "\\") { cmd = cmd c substr(text, i + 1, 1); i++; continue }
      if (q == "" && (c == "\"" || c == "\047")) q = c
      else if (q != "" && c == q) q = ""
      cmd = cmd c
    }
    sub(/[ \t]+$/, "", cmd)
    text = cmd
    note = ""
    rest = cmd; cmd = ""
    while (match(rest, /--units(=|[ \t]+)[0-9]+/)) {
      opt = substr(rest, RSTART, RLENGTH)
      n = opt; sub(/^--units(=|[ \t]+)/, "", n)
      if (n + 0 > limit) {
        note = note "--units " n " lowered to " lowered "; "
        sub(/[0-9]+$/, lowered, opt)
      }
      cmd = cmd substr(rest, 1, RSTART - 1) opt
      rest = substr(rest, RSTART + RLENGTH)
    }
    cmd = cmd rest
    sub(/^scripts\/station\.sh/, "\"$STATION\"", cmd)
    printf "%s\t%s\t%s\n", text, cmd, note
  }' "$readme" >"$scratch/.examples" || exit 2

total=$(wc -l <"$scratch/.examples")
if [ "$total" -eq 0 ]; then
  echo "no station examples (indented lines starting with scripts/station.sh) in $readme"
  exit 1
fi

passed=0 failed=0 n=0
tab=$(printf '\t')
while IFS="$tab" read -r text cmd note; do
  n=$((n + 1))
  out=$scratch/.out-$n err=$scratch/.err-$n
  (cd "$scratch" && STATION=$station /bin/sh -c "$cmd" >"$out" 2>"$err" </dev/null)
  status=$?
  # What an example prints: its standard output, or the file it sends it to.
  target=$(printf '%s\n' "$cmd" | sed -n 's/.*>[[:space:]]*\([^[:space:]]*\).*/\1/p')
  printed=0
  [ -s "$out" ] && printed=1
  [ -n "$target" ] && [ -s "$scratch/$target" ] && printed=1
  why=""
  if [ "$status" -ne 0 ] && [ "$status" -ne 1 ]; then
    why="exit status $status (an example ends with 0 or 1)"
  elif grep -q 'Sanitizer\|runtime error:' "$err"; then
    why="a sanitizer report"
  elif [ $printed -eq 0 ]; then
    why="it printed nothing"
  fi
  if [ -z "$why" ]; then
    passed=$((passed + 1))
    echo "ok   $n/$total: $text (exit $status)${note:+ [${note%; }]}"
  else
    failed=$((failed + 1))
    echo "FAIL $n/$total: $text"
    echo "     ran: $cmd${note:+ [${note%; }]}"
    echo "     $why; its standard error:"
    sed 's/^/       /' "$err"
  fi
done <"$scratch/.examples"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
