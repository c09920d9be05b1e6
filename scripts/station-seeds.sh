#!/bin/bash
# Runs simulated lines with known tester faults over seeds 1..N and reads
# back what `analyse --json` made of them: per scenario how often the faulty
# station alone was flagged, the error of its bias (against the injected
# value), and where drift alarms began against the injected step.
#
#   scripts/station-seeds.sh [-n N] [-s a,b,c,d,e] [-x SCALE] [-k DIR] [-e EXE]
#
# -n N      seeds 1..N (default 20)
# -s LIST   scenarios to run (default a,b,c,d,e):
#           a golden units, station 2 reads 30 Hz high, two days
#           b pairs (retests on another station), station 3 reads 25 Hz low
#           c a 20 Hz step on station 1 at 2026-12-08 10:00, three days
#           d station 4 ages by 10 Hz a day, seven days
#           e clean lines: golden units and retests, and a plain log (prefix
#             stripped) of 10^6 units: every alarm and flag is a false one
# -x SCALE  multiply the unit counts (default 1: 1.6 million units a seed,
#           most in e; 0.1 for a quick look)
# -k DIR    keep the logs and JSON in DIR (default: a temporary folder, removed)
# -e EXE    the station program (default build/native-release/bin/vantor-station)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
say() { echo "station-seeds.sh: $*" >&2; }
usage() { sed -n '7,20p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }

seeds=20 scenarios=a,b,c,d,e scale=1 keep= exe="$root/build/native-release/bin/vantor-station"
while getopts "n:s:x:k:e:h" opt; do
  case $opt in
    n) seeds=$OPTARG ;;
    s) scenarios=$OPTARG ;;
    x) scale=$OPTARG ;;
    k) keep=$OPTARG ;;
    e) exe=$OPTARG ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -eq 0 ] || { say "unexpected argument '$1'"; usage; }
[[ $seeds =~ ^[1-9][0-9]{0,4}$ ]] || { say "-n takes a count from 1, not '$seeds'"; exit 2; }
[[ $scenarios =~ ^[a-e](,[a-e])*$ ]] || { say "-s takes letters a-e joined by commas, not '$scenarios'"; exit 2; }
[[ $scale =~ ^([0-9]+\.?[0-9]*|\.[0-9]+)$ ]] && awk "BEGIN{exit !($scale > 0)}" ||
  { say "-x takes a positive number, not '$scale'"; exit 2; }
[ -x "$exe" ] || { say "no station program at '$exe' (build it: cmake --build build/native-release --target vantor-station, or pass -e)"; exit 2; }
command -v python3 >/dev/null || { say "python3 is needed to read the JSON"; exit 2; }

if [ -n "$keep" ]; then
  mkdir -p "$keep" || { say "cannot make '$keep'"; exit 2; }
  work=$(cd "$keep" && pwd)
else
  work=$(mktemp -d "${TMPDIR:-/tmp}/station-seeds.XXXXXX") || { say "no temporary folder"; exit 2; }
  trap 'rm -rf "$work"' EXIT
fi
results="$work/results.jsonl"
: >"$results"

units() { awk "BEGIN{n = int($1 * $scale + 0.5); print n < 8 ? 8 : n}"; }

# run SCENARIO SEED EXPECT-JSON LINE-ARGS... : the line, then analyse, then one
# result line. A failing command is reported with its error and counted.
run() {
  local scenario=$1 seed=$2 expect=$3
  shift 3
  local dir="$work/$scenario-$seed"
  rm -rf "$dir" && mkdir -p "$dir/log"
  if ! "$exe" line "$@" --seed "$seed" --no-progress --log "$dir/log" >"$dir/line.txt" 2>"$dir/line.err"; then
    say "$scenario seed $seed: the line failed: $(head -c 300 "$dir/line.err")"
    echo "{\"scenario\":\"$scenario\",\"seed\":$seed,\"failed\":\"line\"}" >>"$results"
    return
  fi
  local from="$dir/log" extra=()
  if [ "$scenario" = e2 ]; then
    # A plain log: the host prefix (time, station, serial, attempt) stripped.
    mkdir -p "$dir/plain"
    for f in "$dir"/log/*.log; do
      sed -E 's/^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:.]+ [^ ]+ [0-9]+ [0-9]+ //' "$f" >"$dir/plain/$(basename "$f")"
    done
    from="$dir/plain"
  fi
  [ -f "$dir/log/golden.csv" ] && [ "$scenario" != e2 ] && extra=(--golden "$dir/log/golden.csv")
  if ! "$exe" analyse "$from" "${extra[@]}" --bias-limit 0.02 --json >"$dir/analyse.json" 2>"$dir/analyse.err"; then
    say "$scenario seed $seed: analyse failed: $(head -c 300 "$dir/analyse.err")"
    echo "{\"scenario\":\"$scenario\",\"seed\":$seed,\"failed\":\"analyse\"}" >>"$results"
    return
  fi
  python3 - "$scenario" "$seed" "$expect" "$dir/analyse.json" >>"$results" <<'PY' || say "$scenario seed $seed: its JSON cannot be read"
import json, re, sys
from datetime import datetime
scenario, seed, expect, path = sys.argv[1], int(sys.argv[2]), json.loads(sys.argv[3]), sys.argv[4]
def number(name):
    m = re.findall(r"(\d+)", name or "")
    return int(m[-1]) if m else None
def when(text):
    # A time as the station writes it, to the minute, or a date alone (its midnight).
    for form, width in (("%Y-%m-%dT%H:%M:%S.%f", 23), ("%Y-%m-%dT%H:%M", 16), ("%Y-%m-%d", 10)):
        try:
            return datetime.strptime(text[:width], form)
        except (TypeError, ValueError):
            pass
    return None
stations, drifts, summary = {}, [], {}
with open(path) as f:
    for line in f:
        line = line.strip()
        if not line:
            continue
        o = json.loads(line)
        if o.get("type") == "station":
            stations[number(o.get("name") or o.get("station"))] = o
        elif o.get("type") == "drift":
            drifts.append(o)
        elif o.get("type") == "summary":
            summary = o
out = {"scenario": scenario, "seed": seed}
flagged = sorted(k for k, s in stations.items() if s.get("flagged"))
out["flagged"] = flagged
target = expect.get("station")
out["alone"] = flagged == ([target] if target else [])
s = stations.get(target) if target else None
if s is not None and "bias" in expect:
    out["bias_error"] = s.get("bias_hz", 0) - expect["bias"]
    out["method"] = s.get("bias_method")
out["alarms"] = len(drifts)
out["alarms_elsewhere"] = sum(1 for d in drifts if number(d.get("station")) != target)
if "step" in expect:
    step = when(expect["step"])
    mine = [d for d in drifts if number(d.get("station")) == target and when(d.get("time"))]
    if mine and step:
        first = min(mine, key=lambda d: abs((when(d["time"]) - step).total_seconds()))
        out["start_error_h"] = (when(first["time"]) - step).total_seconds() / 3600
        out["shift_hz"] = first.get("shift_hz")
        if isinstance(first.get("alarm_unit"), int) and isinstance(first.get("unit"), int):
            out["raised_after_units"] = first["alarm_unit"] - first["unit"]
if "rate" in expect and s is not None:
    out["rate"] = s.get("drift_hz_per_day")
    out["rate_se"] = s.get("drift_se_hz_per_day")
    mhz = s.get("carrier_mhz")
    ppm = summary.get("bias_limit_ppm")
    start = when(expect["start"])
    limit = when(s.get("limit_date") or "")
    if mhz and ppm and start:
        days = ppm * mhz / expect["rate"]  # from no bias at the start
        out["limit_days_true"] = days
        if limit:
            out["limit_error_h"] = (limit - start).total_seconds() / 3600 - days * 24
print(json.dumps(out))
PY
}

start=2026-12-07T06:00
common=(--stations 4 --start "$start" --takt 30)
for seed in $(seq 1 "$seeds"); do
  for sc in ${scenarios//,/ }; do
    case $sc in
      a) run a "$seed" '{"station":2,"bias":30}' --units "$(units 23040)" "${common[@]}" \
           --golden 2 --tester-bias 30@2 ;;
      b) run b "$seed" '{"station":3,"bias":-25}' --units "$(units 40000)" "${common[@]}" \
           --retest 2 --retest-on other --tester-bias -25@3 ;;
      c) run c "$seed" '{"station":1,"step":"2026-12-08T10:00"}' --units "$(units 34560)" \
           "${common[@]}" --golden 2 --retest 2 --tester-step 20@2026-12-08T10:00@1 ;;
      d) run d "$seed" "{\"station\":4,\"rate\":10,\"start\":\"$start\"}" --units "$(units 80640)" \
           "${common[@]}" --golden 2 --tester-drift 10@4 ;;
      e) run e1 "$seed" '{}' --units "$(units 400000)" "${common[@]}" --golden 2 --retest 2
         run e2 "$seed" '{}' --units "$(units 1000000)" --stations 4 ;;
    esac
  done
  say "seed $seed done"
done

python3 - "$results" <<'PY'
import json, sys
runs = [json.loads(l) for l in open(sys.argv[1]) if l.strip()]
names = {"a": "a golden, +30 Hz @2", "b": "b pairs, -25 Hz @3", "c": "c step 20 Hz @1",
         "d": "d aging 10 Hz/day @4", "e1": "e clean, golden+retests", "e2": "e clean, plain log"}
def stats(v):
    return (sum(v) / len(v), max(v, key=abs)) if v else (float("nan"), float("nan"))
print("%-26s %5s %6s %8s %18s %s" % ("scenario", "runs", "failed", "alone", "bias error mean/max", "other"))
for key in ["a", "b", "c", "d", "e1", "e2"]:
    rs = [r for r in runs if r["scenario"] == key]
    if not rs:
        continue
    ok = [r for r in rs if "failed" not in r]
    alone = sum(1 for r in ok if r.get("alone"))
    be = stats([r["bias_error"] for r in ok if "bias_error" in r])
    other = []
    if key == "c":
        st = [r["start_error_h"] for r in ok if "start_error_h" in r]
        m, x = stats(st)
        other.append("alarm at the step %d/%d, start - step mean %+.1f h, worst %+.1f h" % (len(st), len(ok), m, x))
        ra = [r["raised_after_units"] for r in ok if "raised_after_units" in r]
        if ra:
            other.append("raised %.0f units after its start (mean; worst %d)" % (sum(ra) / len(ra), max(ra)))
        sh = [r["shift_hz"] for r in ok if r.get("shift_hz") is not None]
        if sh:
            other.append("shift mean %.1f Hz" % (sum(sh) / len(sh)))
    if key == "d":
        rt = [r["rate"] for r in ok if r.get("rate") is not None]
        le = [r["limit_error_h"] for r in ok if "limit_error_h" in r]
        m, x = stats(rt)
        lm, lx = stats(le)
        other.append("rate mean %.2f Hz/day (worst %.2f), limit date error mean %+.1f h worst %+.1f h (%d dated)" % (m, x, lm, lx, len(le)))
    alarms = sum(r.get("alarms", 0) for r in ok)
    elsewhere = sum(r.get("alarms_elsewhere", 0) for r in ok)
    other.append("alarms %d (%d not on the faulty station)" % (alarms, elsewhere))
    if key in ("e1", "e2"):
        other.append("stations flagged %d" % sum(len(r.get("flagged", [])) for r in ok))
    bias = "%8.2f/%-8.2f" % be if be[0] == be[0] else "%17s" % "-"
    print("%-26s %5d %6d %4d/%-3d %s %s" % (names[key], len(rs), len(rs) - len(ok), alone, len(ok), bias, "; ".join(other)))
failed = sum(1 for r in runs if "failed" in r)
if failed:
    print("%d run(s) failed: their errors are above" % failed)
sys.exit(1 if failed else 0)
PY
