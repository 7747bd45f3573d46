#!/bin/bash
# The CI files in docs/ci/ as a school's runner would run them: their
# variables and command lines are read from the files themselves and run
# one by one in a clean temporary folder holding a class's programs. apt-get
# is a stand-in that unpacks the package into a temporary root (and only
# checks that other packages named exist), curl fetches the package just
# built through a file:// address.
#
#   ci_files_test.sh DOCS_CI_DIR BUILD_DIR SOLUTIONS_DIR
#
# ZEKO_TEST_PRELOAD: preloaded into zekocheck (sanitizer builds; a wrapper
# of the same name comes first in PATH and lifts the address-space limit,
# which the sanitizer's shadow memory exceeds).
set -u
ci=$(cd "$1" && pwd) || exit 1
build=$(cd "$2" && pwd) || exit 1
solutions=$(cd "$3" && pwd) || exit 1
source "$(dirname "${BASH_SOURCE[0]}")/scratch.sh"

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
grep -q '^zekocheck .*--junit bericht.xml' <<<"$gitlab" || fail "no zekocheck --junit bericht.xml line: $gitlab"

# file | programs of the class | status of the last command | test cases | failures
row() {
  local file=$1 programs=$2 want_status=$3 want_cases=$4 want_failures=$5
  local run=$tmp/run root=$tmp/root status=0 cmd line=0 last
  rm -rf "$run" "$root" && mkdir "$run" "$root"
  for p in $programs; do cp "$solutions/$p" "$run/$p"; done
  last=$(commands_of "$file" | wc -l)
  (
    cd "$run" || exit 1
    while IFS= read -r assignment; do export "${assignment?}"; done < <(variables_of "$file")
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
  rm -f "$tmp/run.log"
}

for file in "$ci/gitlab-ci.yml" "$ci/github-workflow.yml"; do
  row "$file" "loesung.pas" 0 1 0
  row "$file" "loesung.pas falsch.pas" 1 2 1
done

if ((failures)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "the CI files' commands pass from a clean folder"
