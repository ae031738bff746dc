# The commands a newcomer needs. PRESET=ci turns warnings into errors.
PRESET ?= default
# Where `make install` puts the library, its header, deckhand and the examples.
PREFIX ?= /usr/local

# `make fuzz` builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS.
FUZZ_SECONDS ?= 30

.PHONY: all build test demo install dist fuzz bench format format-check clean

all: build

build:
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

# The Windows DLL is built and tested too where the cross compiler and Wine are installed.
test: build
	ctest --preset $(PRESET)
	sh tests/windows/test-windows-builds.sh $(if $(filter ci,$(PRESET)),-ci,)

# The ZIP for Windows users: build/windows/deckhand-<version>-windows.zip.
dist:
	cmake --preset windows
	cmake --build --preset windows --target windows-zip

# A scripted game through deckhand, the command-line host, on the example card sets. Builds only
# what it plays with: deckhand and the library it loads, not the bot nor the tests.
demo:
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET) --target deckhand_host
	host/deckhand/demo.sh build/$(PRESET)/host/deckhand/deckhand examples

install: build
	cmake --install build/$(PRESET) --prefix "$(PREFIX)"

fuzz:
	cmake --preset fuzz
	cmake --build --preset fuzz
	fuzz/run_fuzzers.sh build/fuzz $(FUZZ_SECONDS)

# Optimised build, every benchmark, and the results table and plot in bench/results/.
bench:
	cmake --preset bench
	cmake --build --preset bench
	bench/run_benchmarks.sh build/bench bench/results

# Every C and C++ file of the tree, formatted by .clang-format (format-check only reports).
SOURCES = git ls-files '*.c' '*.h' '*.cpp'
format:
	$(SOURCES) | xargs clang-format -i
format-check:
	$(SOURCES) | xargs clang-format --dry-run --Werror

clean:
	rm -rf build
