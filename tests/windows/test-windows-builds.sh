#!/bin/sh
# `make test` runs this after the Linux tests: builds and tests the Windows DLL when the cross
# compiler and Wine are installed, and says plainly what it ran and what it skipped.
#   test-windows-builds.sh PRESET_SUFFIX    ("" or "-ci")
#
# The 32-bit build (preset windows) is the DLL that hosts load: it is always built and its tables
# are checked with objdump. Its test programs run under the 32-bit Wine wherever that runs; on
# an x86-64 kernel without 32-bit program support, that takes qemu's emulator registered for
# i386 programs (tests/windows/enable-wine32.sh, which this script runs itself when it may).
# Only where the 32-bit Wine cannot run does the 64-bit build of the same code and tests
# (preset windows64) run under the 64-bit Wine instead.
set -eu
suffix=${1:-}
cd "$(dirname "$0")/../.."

if ! command -v i686-w64-mingw32-g++ >/dev/null 2>&1 || ! command -v wine >/dev/null 2>&1; then
  echo "SKIPPED the Windows tests: i686-w64-mingw32-g++ or wine is not installed" \
       "(apt-get install g++-mingw-w64-i686 wine wine32:i386)."
  exit 0
fi

# Builds a preset and runs its tests (those matching $2, if given) with Wine's services up.
run_preset() {
  preset=$1
  echo "== Windows build: preset $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  loader=$(sed -n 's/^DECKHAND_WINE:FILEPATH=//p' "build/$preset/CMakeCache.txt")
  prefix="$PWD/build/$preset/wine-prefix"
  if [ -n "${2:-}" ]; then
    ctest --preset "$preset" -R "$2"
    return
  fi
  sh tests/windows/run-under-wine.sh "$prefix" "$loader" --start-services
  status=0
  ctest --preset "$preset" || status=$?
  sh tests/windows/run-under-wine.sh "$prefix" "$loader" --stop-services
  return $status
}

wine32_runs() { wine --version >/dev/null 2>&1; }

if ! wine32_runs && [ "$(id -u)" = 0 ] && [ -x /usr/bin/qemu-i386 ]; then
  sh tests/windows/enable-wine32.sh || true
fi

if wine32_runs; then
  echo "The 32-bit Wine runs here: the 32-bit DLL and its test programs are tested."
  run_preset "windows$suffix"
  exit 0
fi

echo "The 32-bit Wine cannot run on this machine (how to make it run: docs/writing-a-host.md,"
echo "section 'The Windows DLL'), so only the 32-bit DLL's tables are checked; its test programs"
echo "are not run."
run_preset "windows$suffix" exported_symbols
wine64=$(command -v wine64 || true)
if [ -z "$wine64" ] && [ -x /usr/lib/wine/wine64 ]; then
  wine64=/usr/lib/wine/wine64  # where Debian keeps it
fi
if ! command -v x86_64-w64-mingw32-g++ >/dev/null 2>&1 || [ -z "$wine64" ]; then
  echo "SKIPPED the Windows test programs: the 64-bit build needs x86_64-w64-mingw32-g++ and" \
       "wine64 (apt-get install g++-mingw-w64-x86-64 wine64)."
  exit 0
fi
echo "Running the same tests in the 64-bit build under the 64-bit Wine instead."
run_preset "windows64$suffix"
