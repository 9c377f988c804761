# The two commands of the README: `make run` and `make test`.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30
# Only the stress-test programs (test folders named "threading") run under ThreadSanitizer.
TSAN_TARGETS = $(shell find tests -type d -name threading | sed 's|^tests/||; s|/|_|g; s|^|test_|')
CTEST_FLAGS ?= --output-on-failure -j $(JOBS)
# Extra cache settings for every configure step, e.g. CMAKE_OPTIONS=-DGLIMDECK_WERROR=ON (CI).
CMAKE_OPTIONS ?=
# `make install` / `make uninstall`: where, and (for packaging) under which staging root.
PREFIX ?= /usr/local
DESTDIR ?=
# What `make run` runs, and all it builds.
APP_TARGETS = glimdeck glimdeck-standin

.PHONY: all setup build build-app run test test-unit test-asan test-tsan bench fuzz gallery install uninstall clean

all: build

setup:
	@bash scripts/setup.sh

$(BUILD)/build.ninja: | setup
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_OPTIONS)

build: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

build-app: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target $(APP_TARGETS)

run: build-app
	@bash scripts/run.sh $(BUILD)

# Paths made absolute: the launcher names the installed program by its full path.
install: build-app
	DESTDIR="$(if $(DESTDIR),$(abspath $(DESTDIR)))" cmake --install $(BUILD) --prefix "$(abspath $(PREFIX))"

uninstall:
	DESTDIR="$(if $(DESTDIR),$(abspath $(DESTDIR)))" bash scripts/uninstall.sh "$(abspath $(PREFIX))"

test: test-unit test-asan test-tsan

test-unit: build
	cd $(BUILD) && ctest $(CTEST_FLAGS)

# Unoptimised: the sanitizer build compiles in half the time of -O1 and its tests still
# take about a minute. A callback that outlives the stack frame it writes to is caught
# where it happens, not as a crash in whatever test runs next.
test-asan: setup
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g1" -DGLIMDECK_SANITIZE=ON -DGLIMDECK_BENCH=OFF $(CMAKE_OPTIONS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest $(CTEST_FLAGS)

test-tsan: setup
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DGLIMDECK_TSAN=ON -DGLIMDECK_BENCH=OFF $(CMAKE_OPTIONS)
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TARGETS)
	cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" ctest $(CTEST_FLAGS) -L tsan

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b --benchmark_min_time=0.2 --benchmark_repetitions=5 --benchmark_display_aggregates_only=true; done

gallery: build
	$(BUILD)/glimdeck-gallery $(BUILD)/gallery

fuzz: setup
	bash scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD)
