#!/bin/sh
# `make test` runs this after the Linux tests: builds and tests the Windows DLL when the cross
# compiler and Wine are installed, and says plainly what it skipped otherwise.
#   test-windows-builds.sh PRESET_SUFFIX    ("" or "-ci")
#
# The 32-bit build (preset windows) is the DLL that hosts load; its tables are checked with
# objdump, and its test programs run under Wine. A machine whose kernel cannot run 32-bit
# programs cannot run the 32-bit Wine either: there the 64-bit build of the same code and tests
# (preset windows64) runs under the 64-bit Wine instead.
set -eu
suffix=${1:-}
cd "$(dirname "$0")/../.."

if ! command -v i686-w64-mingw32-g++ >/dev/null 2>&1 || ! command -v wine >/dev/null 2>&1; then
  echo "SKIPPED the Windows tests: i686-w64-mingw32-g++ or wine is not installed" \
       "(apt-get install g++-mingw-w64-i686 wine wine32:i386)."
  exit 0
fi

run_preset() {
  echo "== Windows build: preset $1"
  cmake --preset "$1"
  cmake --build --preset "$1"
  ctest --preset "$1"
}

run_preset "windows$suffix"

if wine --version >/dev/null 2>&1; then
  exit 0
fi
echo "The 32-bit Wine cannot run on this machine: the 32-bit test programs were skipped above."
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
