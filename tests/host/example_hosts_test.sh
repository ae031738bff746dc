#!/bin/sh
# Builds and runs the example hosts of examples/hosts/ on the built library: each draws two
# cards from a saved deck in a scratch directory, and the deck left must lack exactly them.
# Usage: example_hosts_test.sh LIBRARY SOURCE-DIRECTORY
set -eu
library=$1
examples=$2/examples/hosts
scratch=$(mktemp -d "${TMPDIR:-/tmp}/deckhand-hosts.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
fail() { echo "$*"; exit 1; }

cc -Wall -Wextra -Werror -o "$scratch/draw" "$examples/draw.c" -ldl
cd "$scratch"
for host in "$scratch/draw" "python3 $examples/draw.py"; do
  printf '[DECK]\r\n#t=A,B,C,D\r\n' >decksave.ini
  reply=$($host "$library" '#t' draw,3,1)
  [ "$reply" = "NOTICE #t C,A" ] || fail "$host replied: $reply"
  grep -q '^#t=B,D' decksave.ini || fail "$host left: $(cat decksave.ini)"
  if $host "$library" '#t' 2>/dev/null; then fail "$host ran without its arguments"; fi
done
echo "the example hosts drew from $library"
