#!/bin/bash
# The CI files in docs/ci/ as a school's runner would run them: their
# variables and command lines are read from the files themselves and run
# one by one in a clean temporary folder holding a pupil's programs (Pascal,
# C, C++), with the school's own task in the repository or in a teacher's
# project. apt-get
# is a stand-in that unpacks the package into a temporary root (and only
# checks that other packages named exist), curl fetches the package just
# built through a file:// address.
#
#   ci_files_test.sh DOCS_CI_DIR BUILD_DIR SOLUTIONS_DIR TASK_DIR
#
# ZEKO_TEST_PRELOAD: preloaded into zekocheck (sanitizer builds; a wrapper
# of the same name comes first in PATH and lifts the address-space limit,
# which the sanitizer's shadow memory exceeds).
set -u
ci=$(cd "$1" && pwd) || exit 1
build=$(cd "$2" && pwd) || exit 1
solutions=$(cd "$3" && pwd) || exit 1
task=$(cd "$4" && pwd) || exit 1
source "$(dirname "${BASH_SOURCE[0]}")/scratch.sh"

# The pupils' sources: the task's solutions, and the model one in C and C++.
mkdir "$tmp/quellen"
cp "$solutions"/*.pas "$tmp/quellen/"
cat >"$tmp/quellen/loesung.c" <<'C'
#include "zekoinc.h"
int main(void) {
  initialisiere_die_roboterwelt("welt.zko");
  links(); links(); links();
  while (!feld_leer()) nimm();
  while (vorne_frei()) {
    vor();
    while (!feld_leer()) nimm();
  }
  return 0;
}
C
sed -e 's/int main(void)/int main()/' "$tmp/quellen/loesung.c" >"$tmp/quellen/loesung.cpp"
# A pupil who writes a task of the shipped task's name whose goals are its
# starts, and a program that does nothing.
cat >"$tmp/quellen/nichts.pas" <<'PAS'
program nichts;
uses ZekoInc;
begin
  initialisiere_die_Roboterwelt('welt.zko');
end.
PAS
mkdir "$tmp/quellen/sammeln"
cp "$task"/aufgabe.txt "$task"/start*.zko "$tmp/quellen/sammeln/"
for start in "$tmp"/quellen/sammeln/start*.zko; do cp "$start" "$tmp/quellen/sammeln/ziel${start##*/start}"; done
# The school's own task (a copy of the shipped one under another name), in
# a teacher's project to clone.
mkdir -p "$tmp/lehrer/meine"
cp "$task"/* "$tmp/lehrer/meine/"
git -C "$tmp/lehrer" init -q && git -C "$tmp/lehrer" add . &&
  git -C "$tmp/lehrer" -c user.name=t -c user.email=t@example.org commit -qm aufgaben || exit 1
# Whether bubblewrap can run here: then every program runs in it.
sandbox=no
[[ -z ${ZEKO_TEST_PRELOAD:-} ]] && bwrap --ro-bind / / true 2>/dev/null && sandbox=yes

(cd "$build" && cpack -G DEB -B "$tmp/pkg") >"$tmp/cpack.log" 2>&1 || {
  cat "$tmp/cpack.log"
  exit 1
}
deb=$(ls "$tmp"/pkg/zeko_*.deb)

mkdir "$tmp/bin"
cat >"$tmp/bin/apt-get" <<'FAKE'
#!/bin/bash
# apt-get's stand-in: a .deb file is unpacked into $ZEKO_TEST_ROOT, other
# packages must be known to this Debian.
case $1 in
  update) exit 0 ;;
  install) shift ;;
  *) echo "apt-get (test): unexpected command $1" >&2; exit 100 ;;
esac
for arg; do
  case $arg in
    -y | --no-install-recommends) ;;
    -*) echo "apt-get (test): unexpected option $arg" >&2; exit 100 ;;
    ./*.deb | /*.deb) dpkg-deb -x "$arg" "$ZEKO_TEST_ROOT" || exit 100 ;;
    *) dpkg -s "$arg" >/dev/null 2>&1 || apt-cache show "$arg" >/dev/null 2>&1 ||
         { echo "apt-get (test): no package $arg" >&2; exit 100; } ;;
  esac
done
FAKE
chmod +x "$tmp/bin/apt-get"
if [[ -n ${ZEKO_TEST_PRELOAD:-} ]]; then
  cat >"$tmp/bin/zekocheck" <<'WRAPPER'
#!/bin/bash
export LD_PRELOAD=$ZEKO_TEST_PRELOAD ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0
exec "$ZEKO_TEST_ROOT/usr/bin/zekocheck" --ohne-sandbox --speicher 0 "$@"
WRAPPER
  chmod +x "$tmp/bin/zekocheck"
fi

# The variables ("NAME: "value"") and the command lines of a CI file.
variables_of() { sed -nE 's/^ +([A-Z][A-Z_]*): "(.*)"$/\1=\2/p' "$1"; }
commands_of() {
  case $1 in
    *gitlab*) sed -n '/^  script:$/,/^  [a-z]/p' "$1" | sed -n 's/^    - //p' ;;
    *github*) sed -n 's/^      - run: //p' "$1" ;;
  esac
}

gitlab=$(commands_of "$ci/gitlab-ci.yml")
github=$(commands_of "$ci/github-workflow.yml")
[[ $gitlab == "$github" ]] || fail "the two CI files run different commands:"$'\n'"$gitlab"$'\n'"---"$'\n'"$github"
grep -q 'zekocheck .*--junit bericht.xml' <<<"$gitlab" || fail "no zekocheck --junit bericht.xml line: $gitlab"

# file | programs of the class | status of the last command | test cases |
# failures | variables set as the school would
row() {
  local file=$1 programs=$2 want_status=$3 want_cases=$4 want_failures=$5 settings=${6:-}
  local run=$tmp/run root=$tmp/root status=0 cmd line=0 last
  rm -rf "$run" "$root" && mkdir "$run" "$root"
  for p in $programs; do
    mkdir -p "$(dirname "$run/$p")"
    cp -r "$tmp/quellen/$(basename "$p")" "$run/$p" 2>/dev/null || cp -r "$tmp/lehrer/meine" "$run/$p"
  done
  last=$(commands_of "$file" | wc -l)
  (
    cd "$run" || exit 1
    while IFS= read -r assignment; do export "${assignment?}"; done < <(variables_of "$file")
    for assignment in $settings; do export "${assignment?}"; done
    export ZEKO_PAKET=file://$deb ZEKO_TEST_ROOT=$root PATH=$tmp/bin:$root/usr/bin:$PATH
    while IFS= read -r cmd; do
      line=$((line + 1))
      bash -e -c "$cmd" >>"$tmp/run.log" 2>&1
      status=$?
      if ((line < last && status != 0)); then
        echo "line $line failed ($status): $cmd"
        exit 1
      fi
    done < <(commands_of "$file")
    [[ $status == "$want_status" ]] || echo "the check ended with $status, want $want_status"
  ) >"$tmp/row.out" 2>&1
  [[ -s $tmp/row.out ]] && fail "$(basename "$file") with $programs: $(cat "$tmp/row.out" "$tmp/run.log" 2>&1)"
  local cases failures
  cases=$(grep -o '<testcase ' "$run/bericht.xml" 2>/dev/null | wc -l)
  failures=$(grep -o '<failure' "$run/bericht.xml" 2>/dev/null | wc -l)
  [[ $cases == "$want_cases" && $failures == "$want_failures" ]] ||
    fail "$(basename "$file") with $programs: $cases test cases, $failures failures in bericht.xml (want $want_cases, $want_failures)"
  # the page and the table are kept too, one row per program
  [[ -s $run/bericht.html ]] || fail "$(basename "$file") with $programs: no bericht.html"
  [[ $(wc -l <"$run/bericht.csv" 2>/dev/null) == $((want_cases + 1)) ]] ||
    fail "$(basename "$file") with $programs: bericht.csv is not a row per program: $(cat "$run/bericht.csv" 2>&1)"
  if [[ $sandbox == yes ]] && grep -q 'ohne Sandbox' "$run/bericht.xml"; then
    fail "$(basename "$file") with $programs: bwrap runs here, yet a program ran without it"
  fi
  rm -f "$tmp/run.log"
}

# Both files run the same commands (checked above): every case with one,
# the languages with the other.
gitlab=$ci/gitlab-ci.yml
row "$gitlab" "loesung.pas" 0 1 0
row "$gitlab" "loesung.pas falsch.pas" 1 2 1
row "$gitlab" "loesung.c" 0 1 0
row "$gitlab" "loesung.cpp falsch.pas" 1 2 1
# the school's task cloned from the teacher's, or in the pupil's repository
# when the teacher names that folder; a task there is never searched unasked
row "$gitlab" "loesung.c aufgaben/meine" 0 1 0 "AUFGABE=meine ZEKO_AUFGABEN=aufgaben:"
row "$gitlab" "nichts.pas aufgaben/sammeln" 1 1 1
row "$gitlab" "loesung.pas" 0 1 0 "AUFGABE=meine AUFGABEN_REPO=$tmp/lehrer"
row "$ci/github-workflow.yml" "loesung.pas loesung.c loesung.cpp falsch.pas" 1 4 1

if ((failures)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "the CI files' commands pass from a clean folder"
