# Two set-up commands on a fresh Debian machine: `make run` and `make test`.
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_FLAGS  := -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPALVURO_SANITIZE=ON
JOBS        ?= $(shell nproc)
# The end-to-end suites drive real X servers and processes; one retry absorbs a start-up hiccup
# of the machine, never a wrong result twice. A unit suite gets no second chance.
E2E_RETRY   ?= --repeat until-pass:2
# The installer runs again only when its package list changed since it last found everything
# (or on a fresh clone); `make deps` runs it regardless.
DEPS_STAMP  := build/.deps-checked

FUZZ_SECONDS ?= 60
FUZZ_FLAGS  := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPALVURO_FUZZ=ON
FUZZ_TARGETS := fuzz_room_lines fuzz_users_file fuzz_bus_frames fuzz_irc_messages fuzz_room_lines_driver \
                fuzz_irc_messages_driver

.PHONY: deps build build-asan test test-fast run bench format clean build-fuzz fuzz reliability package

deps:
	@bash tools/install-deps.sh
	@mkdir -p build && touch $(DEPS_STAMP)

$(DEPS_STAMP): tools/install-deps.sh
	@$(MAKE) --no-print-directory deps

# ctest_all BUILD[,|LABEL]: the unit suites side by side, then the end-to-end ones with their
# retry; suites with one of the extra labels are left out of both.
define ctest_all
	cd $(1) && ctest --output-on-failure -j $(JOBS) -LE '^(e2e$(2))$$'
	cd $(1) && ctest --output-on-failure -j $(JOBS) -L '^e2e$$' $(if $(2),-LE '^($(2:|%=%))$$') $(E2E_RETRY)
endef

build: $(DEPS_STAMP)
	@cmake -S . -B build $(CMAKE_FLAGS) >/dev/null
	@cmake --build build -j $(JOBS)

build-asan: $(DEPS_STAMP)
	@cmake -S . -B build-asan $(ASAN_FLAGS) >/dev/null
	@cmake --build build-asan -j $(JOBS)

# Every suite runs twice: a normal build, then under ASan + UBSan.
test: build build-asan
	$(call ctest_all,build)
	$(call ctest_all,build-asan,|servers)

test-fast: build
	cd build && ctest --output-on-failure -j $(JOBS)

run: build
	@bash scripts/run.sh

# palvuro-trivia_VERSION_ARCH.deb here, from a Release build of the programs alone.
package: $(DEPS_STAMP)
	@cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DPALVURO_PROGRAMS_ONLY=ON >/dev/null
	@cmake --build build-package -j $(JOBS)
	@cd build-package && cpack -B packages >/dev/null
	@cp build-package/packages/palvuro-trivia_*.deb .
	@ls palvuro-trivia_*.deb

bench: $(DEPS_STAMP)
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build-bench -j $(JOBS)
	@bash scripts/bench.sh build-bench/bin

# libFuzzer needs clang: its own build folder, where everything carries ASan, UBSan and coverage.
build-fuzz: $(DEPS_STAMP)
	@CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz $(FUZZ_FLAGS) >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target $(FUZZ_TARGETS)

# Each fuzz target for FUZZ_SECONDS, from the committed seeds.
fuzz: build-fuzz
	@FUZZ_SECONDS=$(FUZZ_SECONDS) bash scripts/fuzz.sh build-fuzz

# Fuzzers, 10 million room lines and 10 million server lines, 100 kill cycles and every fault
# case; one table of figures.
reliability: build build-fuzz
	@FUZZ_SECONDS=$(FUZZ_SECONDS) bash scripts/reliability.sh build build-fuzz

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-bench build-fuzz build-package run palvuro-trivia_*.deb
