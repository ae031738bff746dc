#!/bin/sh
# Installs into a scratch prefix and plays from there: the installed deckhand must find the
# installed library beside it, not the build tree's, and the examples must be there to play.
# Usage: install_test.sh CMAKE BUILD-DIRECTORY
set -eu
cmake=$1
build=$2
prefix=$(mktemp -d "${TMPDIR:-/tmp}/deckhand-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
prefix=$(cd "$prefix" && pwd -P)

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "$*"; exit 1; }
for file in bin/deckhand include/deckhand/deckhand.h share/deckhand/examples/modes.ini \
            bin/deckhand-irc share/deckhand/examples/deckhand-irc.ini \
            lib/systemd/system/deckhand-irc.service; do
  [ -f "$prefix/$file" ] || fail "not installed: $file"
done
library=$(find "$prefix" -name 'libdeckhand.so*' -type f)
[ -n "$library" ] || fail "the library was not installed"

version=$("$prefix/bin/deckhand" --version)
case "$version" in
  *"library: $library"*) ;;
  *) fail "the installed deckhand does not use the installed library: $version" ;;
esac

grep -qx "ExecStart=$prefix/bin/deckhand-irc --config /etc/deckhand-irc.ini" \
  "$prefix/lib/systemd/system/deckhand-irc.service" || fail "the unit does not start the installed bot"

cp -R "$prefix/share/deckhand/examples" "$prefix/game"
cd "$prefix/game"
replies=$("$prefix/bin/deckhand" --encoding=utf-8 -t '#t' count deck,trump count)
[ "$replies" = "NOTICE #t 0
NOTICE #t デッキセット:trump
NOTICE #t 54" ] || fail "unexpected replies: $replies"
echo "installed and played from $prefix"
