#!/bin/sh
# Fails unless the shared library's dynamic symbol table defines exactly the five commands.
set -eu
library="$1"
expected="Check Count Deck Draw Shuffle"
actual=$(nm -D --defined-only "$library" | awk '{print $NF}' | sort | tr '\n' ' ' | sed 's/ $//')
if [ "$actual" != "$expected" ]; then
  echo "exported: $actual"
  echo "expected: $expected"
  exit 1
fi
for name in $expected; do
  nm -D --defined-only "$library" | grep -q " T $name\$" || { echo "$name is not a function"; exit 1; }
done
echo "exported exactly: $actual"
