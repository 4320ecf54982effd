# Mirelay: `make run` and `make test` work on a fresh Debian 12 machine.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all bootstrap build run test bench fuzz format clean

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

bench: build
	$(BUILD_DIR)/bench/mirelay_bench

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR)
