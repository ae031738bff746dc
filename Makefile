# The two commands a newcomer needs. PRESET=ci turns warnings into errors.
PRESET ?= default

# `make fuzz` builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS.
FUZZ_SECONDS ?= 30

.PHONY: all build test fuzz clean

all: build

build:
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

test: build
	ctest --preset $(PRESET)

fuzz:
	cmake --preset fuzz
	cmake --build --preset fuzz
	fuzz/run_fuzzers.sh build/fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build
