# make test: set up the machine, build, run the test suite.
# make demo: set up the machine, build, show what the library does.
# make coverage: the suite on an instrumented build, then line coverage of the library per folder.
# make fuzz: build the fuzz targets (clang, libFuzzer) in build-fuzz; make fuzz-run SECONDS=N
# replays each target's corpus and runs it for N seconds.
# make docs: the API reference of the public headers (Doxygen).
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
FUZZ_BUILD ?= build-fuzz
SECONDS ?= 30

.PHONY: all setup build test demo bench asan coverage fuzz fuzz-run docs clean format

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

docs: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) --target docs
	@echo "API reference: $(BUILD)/docs/html/index.html"

asan:
	$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DKST_SANITIZE=ON -DKST_BUILD_BENCH=OFF"

# Line coverage of the library per folder (gcov counters in their own build folder).
# The table is printed also when a test fails (timing bounds may not hold unoptimized); the
# target fails then all the same.
coverage:
	find build-coverage -name '*.gcda' -delete 2>/dev/null || true
	$(MAKE) build BUILD=build-coverage CMAKE_FLAGS="-DKST_COVERAGE=ON -DKST_BUILD_BENCH=OFF"
	cd build-coverage && ctest --output-on-failure -j $(JOBS); status=$$?; \
	  cd .. && ./scripts/coverage.sh build-coverage && exit $$status

$(FUZZ_BUILD)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DKST_FUZZ=ON

fuzz: setup $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz

fuzz-run: fuzz
	@./scripts/fuzz-run.sh $(FUZZ_BUILD) $(SECONDS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-coverage build-fuzz
