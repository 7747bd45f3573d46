#!/bin/bash
# What a pupil gets from "cmake --install" or from the Debian package: the
# files are there, the manual pages have no warnings, and in an empty folder
# outside the tree the Kurzanleitung's program compiles with the installed
# zekoc and runs on welt1.zko from the installed world folder and, through
# ZEKO_WELT, on a task's start world; its C program compiles too; zekoedit
# makes a new world from the installed template; a program compiled the way
# zekoc compiled before the library had its own folder still runs.
#
#   installed_test.sh prefix|deb BUILD_DIR [PACKAGE.deb]
#
# deb builds the package with cpack, or takes the one given (make package).
#
# ZEKO_TEST_PRELOAD: preloaded into learner programs (sanitizer builds).
set -u
mode=$1
build=$2
given_deb=${3:-}
source "$(dirname "${BASH_SOURCE[0]}")/scratch.sh"

root=$tmp/root
case $mode in
  prefix)
    cmake --install "$build" --prefix "$root/usr" >"$tmp/install.log" 2>&1 || {
      cat "$tmp/install.log"
      exit 1
    }
    ;;
  deb)
    if [[ -n $given_deb ]]; then
      deb=$given_deb
    else
      (cd "$build" && cpack -G DEB -B "$tmp/pkg") >"$tmp/cpack.log" 2>&1 || {
        cat "$tmp/cpack.log"
        exit 1
      }
      version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
      deb=$tmp/pkg/zeko_${version}_$(dpkg --print-architecture).deb
    fi
    [[ -f $deb ]] || {
      fail "no $deb: $(ls "$tmp/pkg")"
      exit 1
    }
    depends=$(dpkg-deb -f "$deb" Depends)
    for dep in fp-compiler libstdc++6 libseccomp2; do
      [[ $depends == *"$dep"* ]] || fail "Depends without $dep: $depends"
    done
    # zekocheck's sandbox comes with the package unless the admin declines it
    recommends=$(dpkg-deb -f "$deb" Recommends)
    [[ ,$recommends, =~ ,\ *bubblewrap(\ |,) ]] || fail "Recommends without bubblewrap: $recommends"
    [[ $(dpkg-deb -f "$deb" Recommends) == *gcc-12-locales* ]] || fail "Recommends without gcc-12-locales"
    [[ $(dpkg-deb -I "$deb" conffiles) == /etc/zeko/zeko.conf ]] || fail "conffiles: $(dpkg-deb -I "$deb" conffiles)"
    dpkg-deb -x "$deb" "$root" || exit 1
    ;;
  *)
    echo "usage: $0 prefix|deb BUILD_DIR" >&2
    exit 2
    ;;
esac
usr=$root/usr

for f in bin/zekoc bin/zekoprog bin/zekoedit bin/zekocheck libexec/zeko/zekobox share/zeko/welten/welt0.zko share/zeko/welten/welt1.zko \
  share/doc/zeko/README.md share/doc/zeko/Kurzanleitung.md share/doc/zeko/beispiele/sammeln.pas \
  share/man/man7/zeko.7.gz share/man/man1/zekoc.1.gz share/man/man1/zekoprog.1.gz share/man/man1/zekoedit.1.gz share/man/man1/zekocheck.1.gz \
  share/zeko/aufgaben/01-geradeaus/aufgabe.txt share/zeko/aufgaben/12-rundgang/ziel2.zko include/zekoinc.h \
  lib/zeko/libzekoinc.so lib/zeko/zekoinc.pas lib/libzekoinc.so share/doc/zeko/copyright share/doc/zeko/changelog.gz \
  share/doc/zeko/ci/gitlab-ci.yml share/doc/zeko/ci/github-workflow.yml share/doc/zeko/docs/sandbox.md share/doc/zeko/docs/ci.md \
  share/doc/zeko/docs/zekocheck.md ../etc/zeko/zeko.conf; do
  [[ -e $usr/$f ]] || fail "not installed: $f"
done
# What only contributors need stays in the source tree.
for f in share/doc/zeko/docs/fuzzing.md share/doc/zeko/docs/writing-tests.md share/doc/zeko/docs/figures.md \
  share/doc/zeko/docs/source-tree.md; do
  [[ -e $usr/$f ]] && fail "installed, though only contributors need it: $f"
done
grep -qx 'License: Expat' "$usr/share/doc/zeko/copyright" || fail "copyright names no MIT (Expat) licence"
for page in "$usr"/share/man/man1/*.1.gz "$usr"/share/man/man7/*.7.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "$(basename "$page"): $warnings"
  zgrep -q '@PROJECT_VERSION@' "$page" && fail "$(basename "$page"): version not filled in"
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
  # the unit precompiled by the build was taken, not compiled again
  grep -q 'zekoinc.pas' compile.log && fail "zekoc compiled the unit again: $(cat compile.log)"
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
  # The task's start worlds by name, and the program watched on one of them
  # without editing it.
  "$usr/bin/zekocheck" --aufgabe geradeaus --zeigen >"$tmp/task.out" 2>&1
  grep -q '^Start-Welten: geradeaus-1, geradeaus-2' "$tmp/task.out" || fail "--zeigen: $(cat "$tmp/task.out")"
  LD_PRELOAD=${ZEKO_TEST_PRELOAD:-} ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0 ZEKO_WELT=geradeaus-2 \
    timeout 20 ./meinprog </dev/null >"$tmp/watch.out" 2>&1
  status=$?
  [[ $status == 0 ]] && grep -q 'geradeaus-2' "$tmp/watch.out" || fail "ZEKO_WELT=geradeaus-2 ./meinprog ended with $status"
fi
# The Kurzanleitung's C program, with the Pascal line in it, compiles
# without a warning and runs, in a folder of its own.
mkdir "$tmp/kurz_c"
sed -n '/^ *```c$/,/^ *```$/p' "$usr/share/doc/zeko/Kurzanleitung.md" | sed '1d;$d' >"$tmp/kurz_c/meinprog.c"
grep -q "initialisiere_die_Roboterwelt('welt1.zko')" "$tmp/kurz_c/meinprog.c" ||
  fail "Kurzanleitung's C program: $(cat "$tmp/kurz_c/meinprog.c")"
# (The sanitizer build's library makes the linker warn of its runtime's tmpnam.)
if ! "$usr/bin/zekoc" "$tmp/kurz_c/meinprog.c" >"$tmp/c_kurz.log" 2>&1 ||
  grep -v 'libasan\.so' "$tmp/c_kurz.log" | grep -q .; then
  fail "zekoc meinprog.c: $(cat "$tmp/c_kurz.log")"
else
  (cd "$tmp/kurz_c" && LD_PRELOAD=${ZEKO_TEST_PRELOAD:-} ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0 \
    timeout 20 ./meinprog </dev/null >"$tmp/c_kurz.out" 2>&1)
  status=$?
  [[ $status == 0 ]] && grep -q 'FERTIG!' "$tmp/c_kurz.out" || fail "meinprog (C) ended with $status"
fi
# The C and C++ examples compile against the installed header and library
# and run, in a folder of their own.
mkdir "$tmp/c" && cp "$usr"/share/doc/zeko/beispiele/*.c "$usr"/share/doc/zeko/beispiele/*.cpp "$tmp/c/" || fail "no C examples"
for src in "$tmp"/c/*.c "$tmp"/c/*.cpp; do
  if ! "$usr/bin/zekoc" "$src" >"$tmp/c.log" 2>&1; then
    fail "zekoc $(basename "$src"): $(cat "$tmp/c.log")"
    continue
  fi
  (cd "$tmp/c" && LD_PRELOAD=${ZEKO_TEST_PRELOAD:-} ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0 \
    timeout 20 "${src%.*}" </dev/null >"$tmp/c.out" 2>&1) || fail "${src##*/} ended with $?: $(cat "$tmp/c.out")"
done
# Compiled as zekoc did when the library lay in lib/ itself: that rpath and
# the library's name as there. It runs through the link left in lib/.
mkdir "$tmp/frueher"
cp meinprog.pas "$usr/lib/zeko/zekoinc.pas" "$tmp/frueher/"
if ! (cd "$tmp/frueher" && fpc -gl -Fl"$usr/lib" -k"-rpath=$usr/lib" meinprog.pas) >"$tmp/old.log" 2>&1; then
  fail "compiled the old way: $(cat "$tmp/old.log")"
else
  rm "$tmp/frueher/zekoinc.pas"  # nothing else to find there
  LD_PRELOAD=${ZEKO_TEST_PRELOAD:-} ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0 \
    timeout 20 "$tmp/frueher/meinprog" </dev/null >"$tmp/old.out" 2>&1
  status=$?
  [[ $status == 0 ]] && grep -q 'FERTIG!' "$tmp/old.out" || fail "the old way's program ended with $status"
  [[ $(LD_LIBRARY_PATH= ldd "$tmp/frueher/meinprog") == *"libzekoinc.so => $usr/lib/libzekoinc.so"* ]] ||
    fail "the old way's program does not load $usr/lib/libzekoinc.so: $(ldd "$tmp/frueher/meinprog")"
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
