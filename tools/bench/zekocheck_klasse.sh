#!/bin/bash
# Benchmark of zekocheck in class mode: a folder of 30 learner programs (20
# solutions written differently, 8 wrong ones, one endless loop, one that
# does not compile) checked against a task of the collection, compile
# included, with JSON and JUnit output. Prints the wall time, checks that
# the JSON parses and the JUnit file is well-formed XML (with python3 or
# xmllint, where installed), and that no learner process is left.
#
#   tools/bench/zekocheck_klasse.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
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

export TMPDIR=$work
start=$(date +%s%N)
set +e
"$zekocheck" ${ZEKOCHECK_OPTIONS:-} --json --junit "$work/junit.xml" --aufgabe 04-sammeln "$work"/klasse/*.pas >"$work/ergebnis.json" \
  2>"$work/stderr"
status=$?
set -e
end=$(date +%s%N)
ms=$(((end - start) / 1000000))

passed=$({ grep -o '"passed": true' "$work/ergebnis.json" || true; } | wc -l)
echo "zekocheck: 30 programs (compile included, -j $(nproc)): $ms ms, status $status, $passed passed"
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
