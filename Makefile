# make test: set up the machine, build, run the test suite.
# make demo: set up the machine, build, show what the library does.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all setup build test demo bench asan clean format

all: build

setup:
	@./scripts/setup.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	@./scripts/demo.sh $(BUILD)

bench: build
	@./scripts/bench.sh $(BUILD)

asan:
	$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DKST_SANITIZE=ON -DKST_BUILD_BENCH=OFF"

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan
