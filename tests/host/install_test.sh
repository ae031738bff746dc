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
            lib/systemd/system/deckhand-irc.service share/doc/deckhand/README.md; do
  [ -f "$prefix/$file" ] || fail "not installed: $file"
done
library=$(find "$prefix" -name 'libdeckhand.so*' -type f)
[ -n "$library" ] || fail "the library was not installed"

version=$("$prefix/bin/deckhand" --version)
case "$version" in
  *"library: $library"*) ;;
  *) fail "the installed deckhand does not use the installed library: $version" ;;
esac

unit="$prefix/lib/systemd/system/deckhand-irc.service"
grep -qx "ExecStart=$prefix/bin/deckhand-irc --config $prefix/etc/deckhand-irc.ini" "$unit" ||
  fail "the unit does not start the installed bot with the installed settings"
grep -qx "data_dir = /var/lib/deckhand-irc" "$prefix/etc/deckhand-irc.ini" ||
  fail "the service's settings do not name its state directory"
# A second install keeps the settings a user has edited.
echo "; edited" >>"$prefix/etc/deckhand-irc.ini"
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
grep -qx "; edited" "$prefix/etc/deckhand-irc.ini" || fail "a new install replaced the settings"

# The first start fills the state directory with the example card sets, keeping what is there,
# and leaves out the example settings (ExecStartPre, run as systemd runs it: $$ is $).
state="$prefix/state"
mkdir "$state"
echo "[MODE]" >"$state/modes.ini"
seed=$(sed -n 's/^ExecStartPre=\/bin\/sh -c //p' "$unit" | sed "s/^'//; s/'\$//; s/\\$\\$/\$/g")
(cd "$state" && sh -c "$seed") || fail "seeding the state directory failed"
[ -f "$state/trump.ini" ] || fail "the card sets were not copied to the state directory"
[ "$(cat "$state/modes.ini")" = "[MODE]" ] || fail "seeding replaced a card file there"
[ ! -e "$state/deckhand-irc.ini" ] || fail "the example settings were copied to the state directory"

# The unit as systemd reads it, and hardened: "OK" or better where systemd-analyze is there.
if command -v systemd-analyze >/dev/null 2>&1; then
  systemd-analyze verify "$unit" || fail "systemd-analyze verify refuses the unit"
  rating=$(systemd-analyze security --offline=yes "$unit" 2>&1 | grep 'Overall exposure level')
  case "$rating" in
    *OK* | *SAFE* | *PERFECT*) echo "$rating" ;;
    *) fail "the unit is not hardened enough: $rating" ;;
  esac
else
  echo "systemd-analyze is not installed: the unit was not verified"
fi

cp -R "$prefix/share/deckhand/examples" "$prefix/game"
cd "$prefix/game"
# The deal's reply ends with the next shuffle's commitment, new at every run.
replies=$("$prefix/bin/deckhand" --encoding=utf-8 -t '#t' count deck,trump count |
  sed 's/ (次#[0-9]*: [0-9a-f]\{16\})$//')
[ "$replies" = "NOTICE #t 0
NOTICE #t デッキセット:trump
NOTICE #t 54" ] || fail "unexpected replies: $replies"
echo "installed and played from $prefix"
