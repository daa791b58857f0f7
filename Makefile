# The two commands of the project: `make demo` runs the main job, `make test` runs every test.
# Both install what is missing first (scripts/setup) and configure and build as needed.
JOBS ?= $(shell nproc)
MAKEFLAGS += --no-print-directory
# The results kept whole for scripts/test-summary, passed tests' output too.
CTEST = ctest --output-on-failure -j$(JOBS) --output-junit Testing/results.xml \
        --test-output-size-passed 65536

.PHONY: all setup native windows windows32 test test-native test-windows test-windows32 demo \
        bench dist clean

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

# A build's tests, then what ran, passed and was skipped, and why: CTest's own last line counts
# a skipped test among the passed ones.
run-tests = cd build/$(1) && $(CTEST); status=$$?; \
            python3 ../../scripts/test-summary $(1); exit $$status

test-native: native
	$(call run-tests,native)
test-windows: windows
	$(call run-tests,windows)
test-windows32: windows32
	$(call run-tests,windows32)
# Every build's tests, the later ones too when one fails; at the end, each build's line again.
test:
	@rm -f build/*/Testing/results.xml; status=0; \
	for build in native windows windows32; do $(MAKE) test-$$build || status=1; done; \
	python3 scripts/test-summary native windows windows32; exit $$status

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
