# Thin wrapper: everything is built by CMake into build/.
BUILD ?= build
JOBS  ?= $(shell nproc)

.PHONY: all build test demo bench clean

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Compiles a sample program and runs it on its world in this terminal.
demo: build
	rm -rf $(BUILD)/demo && mkdir -p $(BUILD)/demo
	cp examples/*.zko examples/*.pas $(BUILD)/demo/
	$(BUILD)/bin/zekoc $(BUILD)/demo/sammeln.pas
	cd $(BUILD)/demo && ./sammeln

bench: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) --target zekoinc zekoinc_bench -j $(JOBS)
	$(BUILD)/bin/zekoinc_bench

clean:
	rm -rf $(BUILD)
