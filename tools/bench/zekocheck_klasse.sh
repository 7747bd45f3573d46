#!/bin/bash
# Benchmark of zekocheck in class mode: a folder of 30 learner programs (20
# solutions written differently, 8 wrong ones, one endless loop, one that
# does not compile) checked against a task of the collection, compile
# included, with JSON and JUnit output. Prints the wall time, the floor
# measured in the same run (each of the 30 sources compiled once by plain
# fpc against the precompiled unit, as the zekoc bench does, divided by the
# number of cores), the ratio of the two, and the class time without the
# sandbox (what the sandbox costs). Checks that the JSON parses and the
# JUnit file is well-formed XML (with python3 or xmllint, where installed),
# and that no learner process is left. Also the CPU time of class and floor,
# which the load of others does not change.
#
#   tools/bench/zekocheck_klasse.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
zekocheck=$build/bin/zekocheck
solutions=$root/tests/aufgaben/04-sammeln

work=$(mktemp -d "${TMPDIR:-/tmp}/zekocheck-bench.XXXXXX")
trap 'rm -rf -- "$work"' EXIT
mkdir -p "$work/klasse"
for i in $(seq -w 1 20); do
  { echo "{ Schueler $i }"; cat "$solutions/loesung.pas"; } >"$work/klasse/schueler$i.pas"
done
for i in $(seq 21 28); do
  { echo "{ Schueler $i }"; cat "$solutions/falsch.pas"; } >"$work/klasse/schueler$i.pas"
done
printf 'program ewig;\nuses ZekoInc;\nbegin\n  initialisiere_die_Roboterwelt(%s);\n  while true do links\nend.\n' \
  "'w'" >"$work/klasse/schueler29.pas"
printf 'program kaputt;\nuses ZekoInc;\nbegin\n  vorr\nend.\n' >"$work/klasse/schueler30.pas"

# The floor: plain fpc with the precompiled unit, one source after the
# other. Floor and class are taken in turns, ZEKOBENCH_ROUNDS times (3), and
# the best of each counts: the load of a shared machine only ever slows.
messages=$(sed -n 's/^ZEKO_FPC_GERMAN_MESSAGES:INTERNAL=//p' "$build/CMakeCache.txt")
unit=$(sed -n 's/^ZEKO_BUILD_UNIT_DIR:INTERNAL=//p' "$build/CMakeCache.txt")
lib=$build/lib
mkdir -p "$work/boden/fpc"
cp "$work"/klasse/*.pas "$work/boden/"
cores=$(nproc)
floor() {
  local start name
  start=$(date +%s%N)
  for source in "$work"/boden/*.pas; do
    name=$(basename "$source" .pas)
    (cd "$work/boden" && fpc -Ct -gl ${messages:+"-Fr$messages"} "-Fu$unit" "-Fl$lib" "-k-rpath=$lib" -FUfpc \
      "-ofpc/$name" "$name.pas" >/dev/null 2>&1) || [ "$name" = schueler30 ]
  done
  times >"$work/times-boden" && tail -1 "$work/times-boden" >>"$work/cpu-boden"
  echo $((($(date +%s%N) - start) / 1000000 / cores))
}
# The same compiles, as many at a time as there are cores: on a machine that
# others load too, the class never gets all cores, and neither does this.
parallel_floor() {
  local start
  start=$(date +%s%N)
  (cd "$work/boden" && printf "%s\n" schueler*.pas | sed 's/\.pas$//' | xargs -P "$cores" -I{} sh -c \
    'fpc -Ct -gl ${1:+"-Fr$1"} "-Fu$2" "-Fl$3" "-k-rpath=$3" -FUfpc "-ofpc/{}" {}.pas >/dev/null 2>&1 || [ {} = schueler30 ]' \
    - "$messages" "$unit" "$lib")
  echo $((($(date +%s%N) - start) / 1000000))
}

export TMPDIR=$work
floors='' classes='' floor_ms='' ms='' pfloors='' pfloor_ms=''
for _ in $(seq "${ZEKOBENCH_ROUNDS:-3}"); do
  this_floor=$(floor)
  this_pfloor=$(parallel_floor)
  pfloors="$pfloors $this_pfloor"
  if [ -z "$pfloor_ms" ] || [ "$this_pfloor" -lt "$pfloor_ms" ]; then pfloor_ms=$this_pfloor; fi
  start=$(date +%s%N)
  set +e
  (
    "$zekocheck" ${ZEKOCHECK_OPTIONS:-} --json --junit "$work/junit.xml" --aufgabe 04-sammeln "$work"/klasse/*.pas \
      >"$work/ergebnis.json" 2>"$work/stderr"
    status=$?
    times >"$work/times-klasse" && tail -1 "$work/times-klasse" >>"$work/cpu-klasse"
    exit $status
  )
  status=$?
  set -e
  this_ms=$((($(date +%s%N) - start) / 1000000))
  floors="$floors $this_floor" classes="$classes $this_ms"
  if [ -z "$ms" ] || [ "$this_ms" -lt "$ms" ]; then ms=$this_ms; fi
  if [ -z "$floor_ms" ] || [ "$this_floor" -lt "$floor_ms" ]; then floor_ms=$this_floor; fi
done

unsandboxed_start=$(date +%s%N)
"$zekocheck" ${ZEKOCHECK_OPTIONS:-} --ohne-sandbox --json --aufgabe 04-sammeln "$work"/klasse/*.pas >/dev/null 2>&1 || true
unsandboxed_ms=$((($(date +%s%N) - unsandboxed_start) / 1000000))
# Where the time goes: the runs alone (the floor's executables, 29 of them,
# sandbox as usual), and as many bare sandbox start-ups as the class needs
# (one box per pupil: 30), divided by the cores.
runs_start=$(date +%s%N)
"$zekocheck" ${ZEKOCHECK_OPTIONS:-} --json --aufgabe 04-sammeln "$work"/boden/fpc/schueler?? >/dev/null 2>&1 || true
runs_ms=$((($(date +%s%N) - runs_start) / 1000000))
bwrap_ms=
if command -v bwrap >/dev/null; then
  mkdir -p "$work/leer"
  bwrap_start=$(date +%s%N)
  for i in $(seq 30); do
    bwrap --ro-bind / / --dev /dev --proc /proc --tmpfs "$work/leer" --unshare-all --die-with-parent --new-session \
      -- /bin/true 2>/dev/null || true
  done
  bwrap_ms=$((($(date +%s%N) - bwrap_start) / 1000000 / cores))
fi

passed=$({ grep -o '"passed": true' "$work/ergebnis.json" || true; } | wc -l)
# zekocheck's own -j (as many jobs as cores) unless the options name another.
jobs="-j $cores"
case " ${ZEKOCHECK_OPTIONS:-} " in *" -j"*) jobs="options ${ZEKOCHECK_OPTIONS}" ;; esac
echo "zekocheck: 30 programs (compile included, $jobs): $ms ms (best of:$classes), status $status, $passed passed"
echo "  floor: 30 plain fpc compiles / $cores cores: $floor_ms ms (best of:$floors)"
awk -v c="$ms" -v f="$floor_ms" 'BEGIN { r = c / (f > 0 ? f : 1); printf "  ratio class / floor: %.2f (goal: at most 1.50%s)\n", r, r <= 1.5 ? "" : ", missed" }'
echo "  the floor's compiles $cores at a time: $pfloor_ms ms (best of:$pfloors); ratio $(awk -v c="$ms" -v f="$pfloor_ms" 'BEGIN { printf "%.2f", c / (f > 0 ? f : 1) }')"
# CPU time (user + system, the children's included) per round, summed over
# the rounds: what the load of others on a shared machine does not change.
# (`times` of the subshell that ran them: its children's user and system
# time, as "1m2.345s 0m0.678s".)
cpu_sum() { awk '{ for (i = 1; i <= 2; ++i) { split($i, t, /[ms]/); s += t[1] * 60 + t[2] } } END { printf "%.2f", s }' "$1"; }
cpu_sum "$work/cpu-klasse" >"$work/cpu-k"
cpu_sum "$work/cpu-boden" >"$work/cpu-b"
awk -v k="$(cat "$work/cpu-k")" -v b="$(cat "$work/cpu-b")" \
  'BEGIN { printf "  CPU time, all rounds: class %.2f s, floor %.2f s, ratio %.2f\n", k, b, k / (b > 0 ? b : 1) }'
echo "  without the sandbox: $unsandboxed_ms ms"
echo "  the runs alone (29 executables, sandbox as usual): $runs_ms ms"
if [ -n "$bwrap_ms" ]; then echo "  30 bare bwrap start-ups / $cores cores: $bwrap_ms ms"; fi
sed 's/^/  /' "$work/stderr"
if command -v python3 >/dev/null; then
  python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); print("  JSON parses:", len(d), "objects")' \
    "$work/ergebnis.json"
  python3 -c 'import sys, xml.etree.ElementTree as E; r=E.parse(sys.argv[1]).getroot();
print("  JUnit parses:", len(r.findall(".//testcase")), "test cases,", len(r.findall(".//failure")), "failures")' \
    "$work/junit.xml"
fi
if command -v xmllint >/dev/null; then
  xmllint --noout "$work/junit.xml" && echo "  xmllint: JUnit file well-formed"
fi
# find reports processes that end while it walks /proc with status 1: only
# what it prints counts.
left=$({ find /proc -maxdepth 2 -name exe -lname "$work/*" 2>/dev/null || true; } | wc -l)
echo "  learner processes left: $left"
