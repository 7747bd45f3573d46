#!/bin/bash
# What a pupil gets from "cmake --install" or from the Debian package: the
# files are there, the manual pages have no warnings, and in an empty folder
# outside the tree the Kurzanleitung's program compiles with the installed
# zekoc and runs on welt1.zko from the installed world folder; zekoedit
# makes a new world from the installed template.
#
#   installed_test.sh prefix|deb BUILD_DIR
#
# ZEKO_TEST_PRELOAD: preloaded into learner programs (sanitizer builds).
set -u
mode=$1
build=$2
tmp=$(mktemp -d)
# As root, zekocheck compiles and runs as unprivileged users: they must be
# able to reach the installation, as they do under /usr.
chmod 755 "$tmp"
trap 'rm -rf -- "$tmp"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
unset ZEKO_WELTEN

root=$tmp/root
case $mode in
  prefix)
    cmake --install "$build" --prefix "$root/usr" >"$tmp/install.log" 2>&1 || {
      cat "$tmp/install.log"
      exit 1
    }
    ;;
  deb)
    (cd "$build" && cpack -G DEB -B "$tmp/pkg") >"$tmp/cpack.log" 2>&1 || {
      cat "$tmp/cpack.log"
      exit 1
    }
    version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
    deb=$tmp/pkg/zeko_${version}_$(dpkg --print-architecture).deb
    [[ -f $deb ]] || {
      fail "no $deb: $(ls "$tmp/pkg")"
      exit 1
    }
    depends=$(dpkg-deb -f "$deb" Depends)
    for dep in fp-compiler libstdc++6; do
      [[ $depends == *"$dep"* ]] || fail "Depends without $dep: $depends"
    done
    dpkg-deb -x "$deb" "$root" || exit 1
    ;;
  *)
    echo "usage: $0 prefix|deb BUILD_DIR" >&2
    exit 2
    ;;
esac
usr=$root/usr

for f in bin/zekoc bin/zekoprog bin/zekoedit bin/zekocheck share/zeko/welten/welt0.zko share/zeko/welten/welt1.zko \
  share/doc/zeko/README.md share/doc/zeko/Kurzanleitung.md share/doc/zeko/beispiele/sammeln.pas \
  share/man/man1/zekoc.1 share/man/man1/zekoprog.1 share/man/man1/zekoedit.1 share/man/man1/zekocheck.1 \
  share/zeko/aufgaben/01-geradeaus/aufgabe.txt share/zeko/aufgaben/12-rundgang/ziel2.zko include/zekoinc.h; do
  [[ -e $usr/$f ]] || fail "not installed: $f"
done
for page in "$usr"/share/man/man1/*.1; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "$(basename "$page"): $warnings"
  grep -q '@PROJECT_VERSION@' "$page" && fail "$(basename "$page"): version not filled in"
done
for prog in zekoprog zekoedit zekoc zekocheck; do
  out=$("$usr/bin/$prog" --version </dev/null)
  [[ $? == 0 && $out == "$prog (Zeko) "[0-9]* ]] || fail "$prog --version: $out"
done

# A pupil's empty folder, far from the source tree and the build.
pupil=$tmp/schueler
mkdir "$pupil"
cd "$pupil" || exit 1
sed -n '/^ *```pascal$/,/^ *```$/p' "$usr/share/doc/zeko/Kurzanleitung.md" | sed '1d;$d' >meinprog.pas
grep -q "initialisiere_die_Roboterwelt('welt1.zko')" meinprog.pas || fail "Kurzanleitung's program: $(cat meinprog.pas)"
if ! "$usr/bin/zekoc" meinprog.pas >compile.log 2>&1; then
  fail "zekoc: $(cat compile.log)"
else
  LD_PRELOAD=${ZEKO_TEST_PRELOAD:-} ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0 \
    timeout 20 ./meinprog </dev/null >screen.out 2>errors.out
  status=$?
  [[ $status == 0 ]] || fail "meinprog ended with $status: $(cat errors.out)"
  grep -q 'welt1.zko' screen.out || fail "meinprog did not show welt1.zko"
  grep -q 'FERTIG!' screen.out || fail "meinprog did not reach FERTIG!"
  # The same program solves the first task of the installed collection.
  LD_PRELOAD=${ZEKO_TEST_PRELOAD:-} ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0 \
    timeout 60 "$usr/bin/zekocheck" --ohne-sandbox --speicher 0 --aufgabe geradeaus meinprog.pas \
    >"$tmp/check.out" 2>&1 || fail "zekocheck --aufgabe geradeaus: $(cat "$tmp/check.out")"
  grep -qx 'meinprog.pas: bestanden' "$tmp/check.out" || fail "zekocheck said: $(cat "$tmp/check.out")"
fi
# A new world from the installed template, saved here.
printf 'neu.zko\r\re7\r' | timeout 20 "$usr/bin/zekoedit" >/dev/null 2>edit.err
status=$?
[[ $status == 0 ]] || fail "zekoedit ended with $status: $(cat edit.err)"
expected=$(head -n 10 "$usr/share/zeko/welten/welt0.zko")
[[ -f neu.zko && $(head -n 10 neu.zko) == "$expected" && $(sed -n 11p neu.zko) == 7 ]] ||
  fail "zekoedit's new world: $(cat neu.zko 2>&1)"

files=$(ls | sort | paste -sd ' ')
[[ $files == "compile.log edit.err errors.out meinprog meinprog.pas neu.zko screen.out" ]] ||
  fail "the pupil's folder holds: $files"

if ((failures)); then
  echo "$failures check(s) failed ($mode)"
  exit 1
fi
echo "installed tree works ($mode)"
