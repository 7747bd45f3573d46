# Thin wrapper: everything is built by CMake into build/. Each goal first
# installs the Debian packages it needs (tools/install-deps; nothing happens
# when they are there).
BUILD ?= build
JOBS  ?= $(shell nproc)
CMAKE_CONFIGURE = cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all build test demo bench package fuzz fuzz-merge fuzz-targets kill-trials clean configure-build configure-test

all: build

# CMake writes $(BUILD)/Makefile only at the end of a configure that
# succeeded, so a configure that failed is simply run again next time.
# The programs are configured without the tests until a test goal asks for
# them; then the tests stay in.
configure-build:
	@tools/install-deps build
	@test -f $(BUILD)/Makefile || $(CMAKE_CONFIGURE) -DBUILD_TESTING=OFF

configure-test:
	@tools/install-deps test
	@(test -f $(BUILD)/Makefile && grep -qx 'BUILD_TESTING:BOOL=ON' $(BUILD)/CMakeCache.txt) || \
	  $(CMAKE_CONFIGURE) -DBUILD_TESTING=ON

build: configure-build
	cmake --build $(BUILD) -j $(JOBS)

test: configure-test
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Compiles a sample program and runs it on its world in this terminal.
demo: build
	rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo
	cp examples/*.zko examples/*.pas $(BUILD)/demo/
	$(BUILD)/bin/zekoc $(BUILD)/demo/sammeln.pas
	cd $(BUILD)/demo && ./sammeln

bench: configure-test
	cmake --build $(BUILD) --target zekoinc zekoinc_bench zekocheck -j $(JOBS)
	$(BUILD)/bin/zekoinc_bench
	tools/bench/zekocheck_klasse.sh $(BUILD)

# The Debian package zeko_<version>_<arch>.deb in $(BUILD)/, checked by
# lintian (any error or warning fails) and then unpacked and used the way
# the installed-tree test uses it.
package: build
	@tools/install-deps package
	rm -f $(BUILD)/zeko_*.deb
	cd $(BUILD) && cpack -G DEB
	lintian --fail-on error,warning $(BUILD)/zeko_*.deb
	tests/install/installed_test.sh deb $(BUILD) $(BUILD)/zeko_*.deb

# Kills zekoedit at random moments of saving TRIALS times and counts what
# the world file became and what was left behind.
TRIALS ?= 100
kill-trials: configure-test
	cmake --build $(BUILD) --target zekoedit zekoedit_kill_trials -j $(JOBS)
	$(BUILD)/bin/zekoedit_kill_trials $(TRIALS)

# The fuzz targets (clang, libFuzzer, ASan + UBSan), FUZZ_SECONDS each; a
# finding fails and stays in $(FUZZ_BUILD)/fuzz-findings/.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz: fuzz-targets
	fuzz/run $(FUZZ_SECONDS) $(FUZZ_BUILD)

# What fuzz runs found that reaches new code goes into fuzz/corpus/ (to be
# committed), so that every later run starts from it.
fuzz-merge: fuzz-targets
	fuzz/run merge $(FUZZ_BUILD)

fuzz-targets:
	@tools/install-deps fuzz
	@test -f $(FUZZ_BUILD)/Makefile || CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZEKO_FUZZ=ON -DBUILD_TESTING=OFF
	cmake --build $(FUZZ_BUILD) --target zeko_fuzz_targets -j $(JOBS)

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD)
