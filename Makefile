# The commands a newcomer needs. PRESET=ci turns warnings into errors.
PRESET ?= default
# Where `make install` puts the library, its header, deckhand and the examples.
PREFIX ?= /usr/local

# `make fuzz` builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS.
FUZZ_SECONDS ?= 30

.PHONY: all build test demo install fuzz clean

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

fuzz:
	cmake --preset fuzz
	cmake --build --preset fuzz
	fuzz/run_fuzzers.sh build/fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build
