# Thin driver over CMake. `make demo` and `make test` are the whole set-up;
# `make asan` and `make fuzz` are the reliability builds, each in its own folder.
BUILD_DIR ?= build
ASAN_BUILD_DIR ?= build-asan
FUZZ_BUILD_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE ?= cmake
CMAKE_FLAGS ?=

# Any report stops the process that made it: a sanitized gvtool started by a
# test then dies with a non-zero status, and the test fails on it.
SANITIZE = -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all
ASAN_ENV = ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1 \
           UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

FUZZERS = fuzz_xml_parser fuzz_path_query fuzz_config_reader fuzz_save_patcher

.PHONY: all build configure test demo asan fuzz fuzz-build clean

all: build

configure:
	$(CMAKE) -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: configure
	$(CMAKE) --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

demo: build
	@sh tools/demo.sh $(BUILD_DIR)

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

clean:
	rm -rf $(BUILD_DIR) $(ASAN_BUILD_DIR) $(FUZZ_BUILD_DIR)
