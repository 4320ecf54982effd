# Mirelay: run.sh and test.sh install make with the rest, then call `make run` and `make test`.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
ASAN_DIR ?= build-asan
FUZZ_DIR := build-fuzz
FUZZ_TARGETS := fuzz_bmp fuzz_png fuzz_jpeg fuzz_gif fuzz_load fuzz_ini
FUZZ_SECONDS ?= 600
# Any sanitizer report ends the test that raised it; leaks only in third-party libraries are waived.
SANITIZER_ENV := ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0

.PHONY: all bootstrap build run test test-cluster package check-package check-fresh test-sanitize bench fuzz fuzz-run fuzz-smoke format clean

all: build

bootstrap:
	@bash scripts/bootstrap

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DMIRELAY_WERROR=ON $(CMAKE_FLAGS)

build: bootstrap $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@bash scripts/prepare-workspace $(BUILD_DIR)/bin
	$(BUILD_DIR)/bin/mirelay

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# mirelay-batch as a Slurm job array on a one-node cluster started for the test (needs root).
test-cluster: build
	bash tests/cluster/slurm_test.sh $(BUILD_DIR)/bin

# The .deb and the portable .tar.gz, both in $(BUILD_DIR)/.
package: build
	cd $(BUILD_DIR) && cpack

# Installs nothing: unpacks the .deb into a temporary root and runs it from there as a user would.
check-package: package
	bash scripts/check-package $(BUILD_DIR)

# test.sh on the committed tree in a fresh minimal Debian 12 root; a full build, so not in CI.
check-fresh:
	bash scripts/check-fresh-checkout

$(ASAN_DIR)/CMakeCache.txt:
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIRELAY_SANITIZE=ON \
	  -DMIRELAY_WERROR=ON -DMIRELAY_BUILD_BENCH=OFF

# The whole suite, GUI tests included, under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: bootstrap $(ASAN_DIR)/CMakeCache.txt
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS)

$(FUZZ_DIR)/CMakeCache.txt:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DMIRELAY_BUILD_APP=OFF -DMIRELAY_BUILD_BENCH=OFF -DMIRELAY_FUZZ=ON

# libFuzzer targets over the Qt-free core, built with clang and ASan+UBSan.
fuzz: bootstrap $(FUZZ_DIR)/CMakeCache.txt
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzz_all

fuzz-run: fuzz
	bash scripts/fuzz $(FUZZ_SECONDS) $(FUZZ_TARGETS)

fuzz-smoke: fuzz
	bash scripts/fuzz 60 $(FUZZ_TARGETS)

bench: build
	$(BUILD_DIR)/bench/mirelay_bench
	$(BUILD_DIR)/bench/gif_long_load

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR)
