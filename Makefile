# Two set-up commands on a fresh Debian machine: `make run` and `make test`.
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_FLAGS  := -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPALVURO_SANITIZE=ON
JOBS        ?= $(shell nproc)

.PHONY: deps build build-asan test test-fast run bench format clean

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
	cd build && ctest --output-on-failure -j $(JOBS)
	cd build-asan && ctest --output-on-failure -j $(JOBS)

test-fast: build
	cd build && ctest --output-on-failure -j $(JOBS)

run: build
	@bash scripts/run.sh

bench: deps
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@bash scripts/bench.sh build-bench/bin

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-bench run
