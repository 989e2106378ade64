# Thin driver over CMake. `make demo` and `make test` are the whole set-up;
# `make windows`, `make windows-test` and `make dist` cross-build for Windows;
# `make bench` runs the benchmarks; `make install PREFIX=...` installs the
# programs, `make package` makes the Debian package (both without the tests).
# `make asan` and `make fuzz` are the reliability builds, each in its own folder.
# The version is CMakeLists.txt's; the packages' names come from it.
BUILD_DIR ?= build
WINDOWS_BUILD_DIR ?= build-windows
ASAN_BUILD_DIR ?= build-asan
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE ?= cmake
CPACK ?= cpack
CMAKE_FLAGS ?=
PREFIX ?= /usr/local

BENCH_DIR ?= build-bench
# Repetitions run in random order, so that a busy moment on a shared machine
# does not fall on one benchmark alone; the report keeps the fastest of each.
BENCH_ARGS ?= --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
	--benchmark_display_aggregates_only=true

WINDOWS_TOOLCHAIN = $(CURDIR)/cmake/mingw-w64-x86_64.cmake
WINE_RUN = $(CURDIR)/cmake/wine-run.sh
WINE_PREFIX = $(abspath $(WINDOWS_BUILD_DIR))/wine-prefix

# Any report stops the process that made it: a sanitized gvtool started by a
# test then dies with a non-zero status, and the test fails on it.
SANITIZE = -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all
ASAN_ENV = ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1 \
           UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

FUZZERS = fuzz_xml_parser fuzz_path_query fuzz_config_reader fuzz_save_patcher

.PHONY: all build configure programs test demo install package bench asan fuzz fuzz-build \
        clean windows-configure windows windows-test dist

all: build

configure:
	$(CMAKE) -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: configure
	$(CMAKE) --build $(BUILD_DIR) -j $(JOBS)

# The programs and the save maker alone, without the test suite.
programs: configure
	$(CMAKE) --build $(BUILD_DIR) -j $(JOBS) --target programs

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

demo: programs
	@sh tools/demo.sh $(BUILD_DIR)

# The programs into $(PREFIX)/bin, stripped; their manual pages, the guides
# and the licence under $(PREFIX)/share.
install: programs
	$(CMAKE) --install $(BUILD_DIR) --prefix $(PREFIX) --strip

# dist/gvtool_VERSION_ARCH.deb, what make install installs under /usr;
# cpack checks its file list once it is made.
package: programs
	rm -f dist/gvtool_*.deb
	cd $(BUILD_DIR) && $(CPACK) -G DEB || { rm -f $(CURDIR)/dist/gvtool_*.deb; exit 1; }

# Release build of its own; runs every benchmark and writes bench/RESULTS.md.
bench:
	$(CMAKE) -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release -DGVTOOL_BUILD_TESTS=OFF $(CMAKE_FLAGS)
	@grep -q '^benchmark_DIR:PATH=.*-NOTFOUND' $(BENCH_DIR)/CMakeCache.txt && \
	  { echo "Google Benchmark not found: apt-get install libbenchmark-dev" >&2; exit 1; } || true
	$(CMAKE) --build $(BENCH_DIR) -j $(JOBS) --target gvbench
	$(BENCH_DIR)/bench/gvbench --benchmark_out=bench/RESULTS.md --gv_command="make bench" $(BENCH_ARGS)

asan:
	$(CMAKE) -S . -B $(ASAN_BUILD_DIR) -DCMAKE_BUILD_TYPE=Debug \
	  "-DCMAKE_C_FLAGS=$(SANITIZE)" "-DCMAKE_CXX_FLAGS=$(SANITIZE)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=$(SANITIZE)" $(CMAKE_FLAGS)
	$(ASAN_ENV) $(CMAKE) --build $(ASAN_BUILD_DIR) -j $(JOBS)
	cd $(ASAN_BUILD_DIR) && $(ASAN_ENV) ctest --output-on-failure -j $(JOBS)

# libFuzzer needs clang. Each harness runs FUZZ_SECONDS on a working corpus
# seeded from the generated seeds and the committed regression inputs.
fuzz-build:
	CC=clang CXX=clang++ $(CMAKE) -S . -B $(FUZZ_BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DGVTOOL_FUZZ=ON -DGVTOOL_BUILD_TESTS=OFF $(CMAKE_FLAGS)
	$(CMAKE) --build $(FUZZ_BUILD_DIR) -j $(JOBS)

fuzz: fuzz-build
	@set -e; for f in $(FUZZERS); do \
	  name=$${f#fuzz_}; corpus=$(FUZZ_BUILD_DIR)/corpus/$$name; \
	  mkdir -p $$corpus $(FUZZ_BUILD_DIR)/artifacts/$$name; \
	  echo "== $$f for $(FUZZ_SECONDS) s"; \
	  $(FUZZ_BUILD_DIR)/fuzz/$$f -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD_DIR)/artifacts/$$name/ $$corpus \
	    $(FUZZ_BUILD_DIR)/fuzz/seeds/$$name $$(ls -d fuzz/regressions/$$name 2>/dev/null); \
	done


windows-configure:
	$(CMAKE) -S . -B $(WINDOWS_BUILD_DIR) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=$(WINDOWS_TOOLCHAIN) \
	  "-DCMAKE_CROSSCOMPILING_EMULATOR=$(WINE_RUN);$(WINE_PREFIX)" $(CMAKE_FLAGS)

windows: windows-configure
	$(CMAKE) --build $(WINDOWS_BUILD_DIR) -j $(JOBS) --target programs

# ctest is bounded in time: a hung Wine must not eat a whole CI run. Under
# load Wine now and then fails to start a process at all (an empty console,
# a dropped server connection), so a failed test gets one more try; a real
# fault fails both.
windows-test: windows-configure
	$(CMAKE) --build $(WINDOWS_BUILD_DIR) -j $(JOBS)
	sh $(WINE_RUN) $(WINE_PREFIX) --init
	cd $(WINDOWS_BUILD_DIR) && timeout 1800 ctest --output-on-failure -j $(JOBS) --repeat until-pass:2

# dist/gvtool-VERSION-windows-x86_64.zip, a folder a player unpacks anywhere:
# the players' programs, stripped, the players' guide as README.txt, the
# example configuration, the licence and the changelog (packaging/).
# cpack checks its file list once it is made.
dist: windows
	rm -f dist/gvtool-*-windows-x86_64.zip
	cd $(WINDOWS_BUILD_DIR) && $(CPACK) -G ZIP || { rm -f $(CURDIR)/dist/gvtool-*-windows-x86_64.zip; exit 1; }

clean:
	rm -rf $(BUILD_DIR) $(BENCH_DIR) $(WINDOWS_BUILD_DIR) $(ASAN_BUILD_DIR) $(FUZZ_BUILD_DIR) dist
