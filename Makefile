# The two commands a newcomer needs. PRESET=ci turns warnings into errors.
PRESET ?= default

.PHONY: all build test clean

all: build

build:
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET)

test: build
	ctest --preset $(PRESET)

clean:
	rm -rf build
