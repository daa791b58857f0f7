# The two commands of the project: `make demo` runs the main job, `make test` runs every test.
# Both install what is missing first (scripts/setup) and configure and build as needed. `make check`
# is the quick loop: the native tests alone.
JOBS ?= $(shell nproc)
MAKEFLAGS += --no-print-directory

.PHONY: all setup native windows windows32 test test-native test-windows test-windows32 check \
        demo bench dist clean

all: native windows windows32

setup:
	@bash scripts/setup

build/native/CMakeCache.txt: | setup
	cmake --preset native
build/windows/CMakeCache.txt: | setup
	cmake --preset windows
build/windows32/CMakeCache.txt: | setup
	cmake --preset windows32
build/bench/CMakeCache.txt: | setup
	cmake --preset bench

native: setup build/native/CMakeCache.txt
	cmake --build build/native -j$(JOBS)
windows: setup build/windows/CMakeCache.txt
	cmake --build build/windows -j$(JOBS)
windows32: setup build/windows32/CMakeCache.txt
	cmake --build build/windows32 -j$(JOBS)

# A build's tests, or every build's side by side (scripts/run-tests, which for `test` also builds
# them side by side, each build's tests starting as soon as it is built): then what ran, passed
# and was skipped in each, and why.
test-native: native
	@JOBS=$(JOBS) bash scripts/run-tests native
test-windows: windows
	@JOBS=$(JOBS) bash scripts/run-tests windows
test-windows32: windows32
	@JOBS=$(JOBS) bash scripts/run-tests windows32
test: setup
	@JOBS=$(JOBS) bash scripts/run-tests --build native windows windows32

# The quick loop for an everyday change: the native build's tests, with the sanitizers, without
# Wine and without the release's builds.
check: native
	@JOBS=$(JOBS) CTEST_ARGS="-LE release" bash scripts/run-tests native

demo: native windows
	@bash scripts/demo

bench: setup build/bench/CMakeCache.txt
	cmake --build build/bench -j$(JOBS)
	build/bench/bench/qrv3_bench

# Every fuzz target (fuzz/, built with clang-14 and libFuzzer in build/fuzz) for FUZZ_SECONDS
# seconds each; what they find is named with its target, and fails the command.
FUZZ_SECONDS ?= 60
.PHONY: fuzz
fuzz: setup
	@test -f build/fuzz/CMakeCache.txt || cmake --preset fuzz
	cmake --build build/fuzz --target qrv3_fuzzers -j$(JOBS)
	@FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) bash scripts/fuzz

# The release: build/dist/qrv3-updater-1.0/ and its zip. DATABASE_SHA256 (the digest of the
# database the programs may make), QRV3_SIGN_PFX, QRV3_SIGN_PASSWORD and QRV3_SIGN_TIMESTAMP_URL
# given on the command line reach scripts/dist through the environment.
dist: setup
	@JOBS=$(JOBS) bash scripts/dist

clean:
	rm -rf build
