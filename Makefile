# The two commands of the project: `make demo` runs the main job, `make test` runs every test.
# Both install what is missing first (scripts/setup) and configure and build as needed.
JOBS ?= $(shell nproc)
MAKEFLAGS += --no-print-directory
CTEST = ctest --output-on-failure -j$(JOBS)

.PHONY: all setup native windows test test-native test-windows demo bench clean

all: native windows

setup:
	@bash scripts/setup

build/native/CMakeCache.txt: | setup
	cmake --preset native
build/windows/CMakeCache.txt: | setup
	cmake --preset windows
build/bench/CMakeCache.txt: | setup
	cmake --preset bench

native: setup build/native/CMakeCache.txt
	cmake --build build/native -j$(JOBS)
windows: setup build/windows/CMakeCache.txt
	cmake --build build/windows -j$(JOBS)

test-native: native
	cd build/native && $(CTEST)
test-windows: windows
	cd build/windows && $(CTEST)
test: test-native test-windows

demo: native windows
	@bash scripts/demo

bench: setup build/bench/CMakeCache.txt
	cmake --build build/bench -j$(JOBS)
	build/bench/bench/qrv3_bench

clean:
	rm -rf build
