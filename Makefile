# Veltrix: the two commands a newcomer needs.
#   make run   installs what is missing, builds, makes the media pack and runs the saver
#   make test  the same set-up, then every test, once more under ASan/UBSan
#   make soak  runs the saver SOAK_CYCLES start/stop cycles and SOAK_FRAMES frames, checking for growth
#   make fuzz  builds the fuzz targets with clang and runs each FUZZ_SECONDS (default 60)
#   make package  a Debian package, built in $(PACKAGE_BUILD) with Debian's hardening flags
# CMAKE_FLAGS goes to every CMake configure step; CI passes -DVELTRIX_WERROR=ON.
JOBS ?= $(shell nproc)
MAKEFLAGS += --no-print-directory
BUILD ?= build
ASAN_BUILD ?= build-asan
PACKAGE_BUILD ?= build-package
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
SOAK_CYCLES ?= 1000
SOAK_FRAMES ?= 100000
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test test-main test-asan fuzz soak bench package clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run.sh $(BUILD)

test: test-main test-asan

test-main: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVELTRIX_SANITIZE=ON -DVELTRIX_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

fuzz: deps
	@FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) bash scripts/fuzz.sh $(FUZZ_BUILD)

soak: build
	@$(BUILD)/veltrix-soak --cycles $(SOAK_CYCLES) --frames $(SOAK_FRAMES)

bench: build
	@bash scripts/bench.sh $(BUILD)

# veltrix_<version>_amd64.deb in $(PACKAGE_BUILD), installing into /usr,
# checked by lintian when it is installed.
package: deps
	@JOBS=$(JOBS) bash scripts/package.sh $(PACKAGE_BUILD) $(CMAKE_FLAGS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(PACKAGE_BUILD) out
