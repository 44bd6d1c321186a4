# Two set-up commands on a fresh Debian machine: `make run` and `make test`.
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_FLAGS  := -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPALVURO_SANITIZE=ON
JOBS        ?= $(shell nproc)
# The end-to-end suites drive real X servers and processes; one retry absorbs a start-up hiccup
# of the machine, never a wrong result twice.
CTEST_RETRY ?= --repeat until-pass:2

FUZZ_SECONDS ?= 60
FUZZ_FLAGS  := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPALVURO_FUZZ=ON
FUZZ_TARGETS := fuzz_room_lines fuzz_users_file fuzz_bus_frames fuzz_room_lines_driver

.PHONY: deps build build-asan test test-fast run bench format clean build-fuzz fuzz reliability

deps:
	@bash tools/install-deps.sh

build: deps
	@cmake -S . -B build $(CMAKE_FLAGS) >/dev/null
	@cmake --build build -j $(JOBS)

build-asan: deps
	@cmake -S . -B build-asan $(ASAN_FLAGS) >/dev/null
	@cmake --build build-asan -j $(JOBS)

# Every suite runs twice: a normal build, then under ASan + UBSan.
test: build build-asan
	cd build && ctest --output-on-failure -j $(JOBS) $(CTEST_RETRY)
	cd build-asan && ctest --output-on-failure -j $(JOBS) $(CTEST_RETRY)

test-fast: build
	cd build && ctest --output-on-failure -j $(JOBS)

run: build
	@bash scripts/run.sh

bench: deps
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@bash scripts/bench.sh build-bench/bin

# libFuzzer needs clang: its own build folder, where everything carries ASan, UBSan and coverage.
build-fuzz: deps
	@CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz $(FUZZ_FLAGS) >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target $(FUZZ_TARGETS)

# Each fuzz target for FUZZ_SECONDS, from the committed seeds.
fuzz: build-fuzz
	@FUZZ_SECONDS=$(FUZZ_SECONDS) bash scripts/fuzz.sh build-fuzz

# Fuzzers, 10 million room lines, 100 kill cycles and every fault case; one table of figures.
reliability: build build-fuzz
	@FUZZ_SECONDS=$(FUZZ_SECONDS) bash scripts/reliability.sh build build-fuzz

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-bench run
