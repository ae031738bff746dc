#!/bin/sh
# Installs into a scratch prefix and builds a host against the installed library both ways a
# host author would: with pkg-config and with find_package(deckhand). Each host must run on the
# installed library (found through its versioned name) and reply from a saved deck.
# Usage: library_install_test.sh CMAKE BUILD-DIRECTORY SOURCE-DIRECTORY
set -eu
cmake=$1
build=$2
source=$3
prefix=$(mktemp -d "${TMPDIR:-/tmp}/deckhand-library.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
prefix=$(cd "$prefix" && pwd -P)

fail() { echo "$*"; exit 1; }
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
library=$(find "$prefix" -name libdeckhand.so.1 -type f)
[ -n "$library" ] || fail "libdeckhand.so.1 was not installed"
libdir=$(dirname "$library")
[ "$(readlink "$libdir/libdeckhand.so")" = libdeckhand.so.1 ] ||
  fail "libdeckhand.so does not link to libdeckhand.so.1"
objdump -p "$library" | grep -q 'SONAME *libdeckhand\.so\.1$' || fail "the SONAME is not libdeckhand.so.1"
[ -f "$prefix/share/doc/deckhand/LICENSE" ] || fail "the LICENSE was not installed"

# A saved deck of three cards for the target #t, for the hosts to count.
mkdir "$prefix/game"
printf '[DECK]\r\n#t=A,B,C\r\n' >"$prefix/game/decksave.ini"

# pkg-config, as a Makefile would use it.
export PKG_CONFIG_PATH="$libdir/pkgconfig"
flags=$(pkg-config --cflags --libs deckhand) || fail "pkg-config does not know deckhand"
cc -o "$prefix/count-pkg-config" "$source/tests/host/linked_host/count.c" $flags
# find_package, as a CMake project would use it.
"$cmake" -S "$source/tests/host/linked_host" -B "$prefix/linked" -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
"$cmake" --build "$prefix/linked" >/dev/null

cd "$prefix/game"
for host in "$prefix/count-pkg-config" "$prefix/linked/count"; do
  LD_LIBRARY_PATH="$libdir" ldd "$host" | grep -q "libdeckhand.so.1 => $libdir/" ||
    fail "$host is not linked to the versioned library"
  reply=$(LD_LIBRARY_PATH="$libdir" "$host" '#t')
  [ "$reply" = "NOTICE #t 3" ] || fail "$host replied: $reply"
done
echo "built hosts with pkg-config and find_package against $prefix"
