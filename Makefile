# Thin driver over CMake. `make demo` and `make test` are the whole set-up.
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE ?= cmake
CMAKE_FLAGS ?=

BENCH_DIR ?= build-bench
# Repetitions run in random order, so that a busy moment on a shared machine
# does not fall on one benchmark alone; the report keeps the fastest of each.
BENCH_ARGS ?= --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
	--benchmark_display_aggregates_only=true

.PHONY: all build configure test demo bench clean

all: build

configure:
	$(CMAKE) -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: configure
	$(CMAKE) --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

demo: build
	@sh tools/demo.sh $(BUILD_DIR)

# Release build of its own; runs every benchmark and writes bench/RESULTS.md.
bench:
	$(CMAKE) -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DGVTOOL_BUILD_TESTS=OFF $(CMAKE_FLAGS)
	@grep -q '^benchmark_DIR:PATH=.*-NOTFOUND' $(BENCH_DIR)/CMakeCache.txt && \
	  { echo "Google Benchmark not found: apt-get install libbenchmark-dev" >&2; exit 1; } || true
	$(CMAKE) --build $(BENCH_DIR) -j $(JOBS) --target gvbench
	$(BENCH_DIR)/bench/gvbench --benchmark_out=bench/RESULTS.md --gv_command="make bench" $(BENCH_ARGS)

clean:
	rm -rf $(BUILD_DIR) $(BENCH_DIR)
