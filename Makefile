# Quick start: `make demo` and `make test`. Both install what the machine lacks (scripts/setup.sh),
# configure, build, and run under 32-bit Wine.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all setup configure build test demo bench install clean

all: build

setup:
	@scripts/setup.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	      -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

configure: setup $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@scripts/test_share.sh

demo: build
	@scripts/demo.sh $(BUILD)

bench: build
	cmake --build $(BUILD) --target run-bench

install: build
	cmake --install $(BUILD) --prefix $(BUILD)/install

clean:
	rm -rf $(BUILD)/CMakeFiles $(BUILD)/bin $(BUILD)/lib $(BUILD)/drivers $(BUILD)/build.ninja $(BUILD)/CMakeCache.txt
