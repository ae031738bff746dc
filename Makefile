# The two commands a newcomer needs. PRESET=ci turns warnings into errors.
PRESET ?= default

.PHONY: all build test clean dist

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

clean:
	rm -rf build
