# Thin driver over CMake. `make demo` and `make test` are the whole set-up.
BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE ?= cmake
CMAKE_FLAGS ?=

.PHONY: all build configure test demo clean

all: build

configure:
	$(CMAKE) -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: configure
	$(CMAKE) --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

demo: build
	@sh tools/demo.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR)
