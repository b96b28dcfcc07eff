# The two commands of the README: `make demo` and `make test`.
JOBS ?= 2
# The tests mostly wait on terminals, timers and the simulator, so they run
# more at once than there are cores.
TEST_JOBS ?= 4
FUZZ_TIME ?= 60
CHAOS_READINGS ?= 1000000
CHAOS_SEED ?= 1
CMAKE_FLAGS ?=
SAN_ENV = ASAN_OPTIONS=abort_on_error=0:detect_leaks=1:log_path=$(CURDIR)/build-asan/reports/asan \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:log_path=$(CURDIR)/build-asan/reports/ubsan
TSAN_ENV = TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:log_path=$(CURDIR)/build-tsan/reports/tsan

.PHONY: all deps build test test-plain test-asan test-tsan lint demo demo-deps demo-build demo-time clean fuzz fuzz-smoke chaos soak

all: build

deps:
	@sh scripts/install-deps

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j$(JOBS)

test: demo-time deps lint test-plain test-asan test-tsan fuzz-smoke
	@echo "all test suites passed"

test-plain: build
	ctest --test-dir build --output-on-failure -j$(TEST_JOBS)

test-asan: deps
	cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_SANITIZE=address,undefined >/dev/null
	cmake --build build-asan -j$(JOBS)
	rm -rf build-asan/reports && mkdir -p build-asan/reports
	$(SAN_ENV) ctest --test-dir build-asan --output-on-failure -j$(TEST_JOBS)
	@sh scripts/check-reports build-asan/reports

test-tsan: deps
	cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_SANITIZE=thread >/dev/null
	cmake --build build-tsan -j$(JOBS)
	rm -rf build-tsan/reports && mkdir -p build-tsan/reports
	$(TSAN_ENV) ctest --test-dir build-tsan --output-on-failure -j$(TEST_JOBS) -L threaded
	@sh scripts/check-reports build-tsan/reports

# libFuzzer targets, built with clang++ in build-fuzz: a short fixed run
# for the test suite, and a timed one (FUZZ_TIME seconds per target).
fuzz-smoke: deps
	JOBS=$(JOBS) sh scripts/fuzz smoke

fuzz: deps
	JOBS=$(JOBS) sh scripts/fuzz run $(FUZZ_TIME)

# The chaos soak for CHAOS_READINGS readings at full speed, then a minute at
# the default interval; the test suite runs it for 60 s with seed 1.
chaos: build
	python3 tests/chaos.py build/quorvel build/tools/sim/quorvel-sim readings $(CHAOS_READINGS) $(CHAOS_SEED)

soak: chaos

# Figures of the release build against the simulated controller, as one
# table (not part of make test). BENCH_ARGS passes options to the script,
# e.g. BENCH_ARGS="--runs 3".
BENCH_ARGS ?=
.PHONY: bench
bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEL_BENCH=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build build-bench -j$(JOBS) --target quorvel quorvel-sim micro_bench wire_floor
	python3 bench/run_bench.py --build build-bench $(BENCH_ARGS)

lint: build
	sh scripts/lint
	sh scripts/smoke

# The demo builds only its two programs, in a tree of its own and without
# the tests, so that it needs only the compiler, CMake and libbsd.
demo-deps:
	@sh scripts/install-deps demo

demo-build: demo-deps
	cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=Release -DQUORVEL_TESTS=OFF >/dev/null
	cmake --build build-demo -j$(JOBS) --target quorvel quorvel-sim

demo: demo-build
	sh scripts/demo

# The demo's build from nothing, timed: what a new clone waits for before
# its first reading.
demo-time:
	rm -rf build-demo
	@start=$$(date +%s) && $(MAKE) --no-print-directory demo-build >/dev/null && \
	echo "demo build (deps, configure, quorvel and quorvel-sim): $$(($$(date +%s) - start)) s"

clean:
	rm -rf build build-asan build-tsan build-fuzz build-demo
