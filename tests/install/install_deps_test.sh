#!/bin/bash
# tools/install-deps against a fake dpkg, apt-get, id and sudo: which
# packages it installs, how, and what it says when it cannot.
#
#   install_deps_test.sh SCRIPT
set -u
script=$1
tmp=$(mktemp -d)
trap 'rm -rf -- "$tmp"' EXIT
bin=$tmp/bin
mkdir "$bin"
for tool in grep env; do ln -s "$(command -v $tool)" "$bin/$tool"; done
cat >"$bin/dpkg" <<'FAKE'
#!/bin/bash
[[ " $FAKE_INSTALLED " == *" $2 "* ]] && echo "Status: install ok installed"
FAKE
cat >"$bin/apt-get" <<'FAKE'
#!/bin/bash
echo "apt-get $* [$DEBIAN_FRONTEND]" >>"$FAKE_LOG"
exit "$FAKE_APT_STATUS"
FAKE
cat >"$bin/id" <<'FAKE'
#!/bin/bash
echo "$FAKE_UID"
FAKE
cat >"$bin/sudo.fake" <<'FAKE'
#!/bin/bash
echo -n "sudo " >>"$FAKE_LOG"
exec "$@"
FAKE
chmod +x "$bin"/*

everything="g++ cmake make fp-compiler gcc-12-locales libseccomp-dev pkg-config libgtest-dev libvterm-dev man-db bubblewrap chromium"
failures=0

# name | installed | uid | sudo there | apt status | arguments | status | apt calls | stderr holds
row() {
  local name=$1 installed=$2 uid=$3 sudo=$4 apt=$5 args=$6 want_status=$7 want_log=$8 want_err=$9
  rm -f "$bin/sudo" "$tmp/log" && touch "$tmp/log"
  [[ $sudo == yes ]] && ln -s sudo.fake "$bin/sudo"
  local err status log
  err=$(PATH=$bin FAKE_INSTALLED=$installed FAKE_UID=$uid FAKE_APT_STATUS=$apt FAKE_LOG=$tmp/log \
    "$script" $args 2>&1 >/dev/null)
  status=$?
  log=$(paste -sd '|' "$tmp/log")
  if [[ $status != "$want_status" || $log != "$want_log" || $err != *"$want_err"* ]]; then
    echo "FAIL $name: status $status (want $want_status)"
    echo "  apt calls: '$log'"
    echo "       want: '$want_log'"
    echo "  stderr: '$err' (want it to hold '$want_err')"
    failures=$((failures + 1))
  fi
}

row "nothing missing: no apt-get at all" "$everything" 0 no 0 test 0 "" ""
row "build set needs no test libraries" "g++ cmake make fp-compiler gcc-12-locales libseccomp-dev" 1000 no 0 build 0 "" ""
row "default set is build" "g++ cmake make fp-compiler gcc-12-locales libseccomp-dev" 1000 no 0 "" 0 "" ""
row "root installs only what is missing" "g++ cmake make fp-compiler gcc-12-locales libseccomp-dev pkg-config man-db bubblewrap" 0 yes 0 test 0 \
  "apt-get update [noninteractive]|apt-get install -y libgtest-dev libvterm-dev chromium [noninteractive]" \
  "libgtest-dev libvterm-dev chromium"
row "a user goes through sudo" "g++ cmake make" 1000 yes 0 build 0 \
  "sudo apt-get update [noninteractive]|sudo apt-get install -y fp-compiler gcc-12-locales libseccomp-dev [noninteractive]" \
  "fp-compiler gcc-12-locales libseccomp-dev"
row "a user without sudo gets the command" "g++ cmake make" 1000 no 0 "build test" 1 "" \
  "apt-get install -y fp-compiler gcc-12-locales libseccomp-dev pkg-config libgtest-dev libvterm-dev man-db bubblewrap chromium"
row "a failed apt-get stops with the command" "cmake make fp-compiler" 0 no 100 build 1 \
  "apt-get update [noninteractive]" "apt-get install -y g++ gcc-12-locales libseccomp-dev"
row "the fuzz set adds clang and its fuzzer runtime" "g++ cmake make fp-compiler gcc-12-locales libseccomp-dev" 0 no 0 "test fuzz" 0 \
  "apt-get update [noninteractive]|apt-get install -y pkg-config libgtest-dev libvterm-dev man-db bubblewrap chromium clang libclang-rt-14-dev [noninteractive]" \
  "clang libclang-rt-14-dev"
row "the package set adds lintian" "$everything" 0 no 0 "test package" 0 \
  "apt-get update [noninteractive]|apt-get install -y lintian [noninteractive]" "lintian"
row "an unknown set is refused" "$everything" 0 no 0 fuzzy 2 "" "fuzzy"

if ((failures)); then
  echo "$failures case(s) failed"
  exit 1
fi
echo "all install-deps cases passed"
