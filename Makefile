# The commands a newcomer needs. PRESET=ci turns warnings into errors.
PRESET ?= default
# Where `make install` puts the library, its header, deckhand and the examples.
PREFIX ?= /usr/local

.PHONY: all build test demo install bench clean

all: build

build:
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

test: build
	ctest --preset $(PRESET)

# A scripted game through deckhand, the command-line host, on the example card sets.
demo: build
	host/demo.sh build/$(PRESET)/host/deckhand examples

install: build
	cmake --install build/$(PRESET) --prefix "$(PREFIX)"

# Optimised build, every benchmark, and the results table and plot in bench/results/.
bench:
	cmake --preset bench
	cmake --build --preset bench
	bench/run_benchmarks.sh build/bench bench/results

clean:
	rm -rf build
