# The two commands a newcomer needs. PRESET=ci turns warnings into errors.
PRESET ?= default

.PHONY: all build test bench clean

all: build

build:
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

test: build
	ctest --preset $(PRESET)

# Optimised build, every benchmark, and the results table and plot in bench/results/.
bench:
	cmake --preset bench
	cmake --build --preset bench
	bench/run_benchmarks.sh build/bench bench/results

clean:
	rm -rf build
