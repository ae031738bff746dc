#!/bin/sh
# The ZIP as a Windows user takes it: unpacked into a folder of its own, then the commands of
# INSTALL.txt's "Trying it first" typed at a command prompt (cmd under Wine) in that folder, as
# they stand in the file: copy the examples, check the card sets, play.
#   zip-steps-under-wine.sh RUN_UNDER_WINE PREFIX LOADER ZIP
# Exits 77 (skipped) where LOADER cannot run.
set -eu
run=$1 prefix=$2 loader=$3 zip=$4
"$loader" --version >/dev/null 2>&1 || { echo "SKIPPED: $loader cannot run here"; exit 77; }
fail() { echo "FAILED: $1"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/deckhand-zip.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/deckhand"
(cd "$work/deckhand" && cmake -E tar xf "$zip")
for file in deckhand.dll deckhand.exe INSTALL.txt LICENSE.txt examples/modes.ini; do
  [ -f "$work/deckhand/$file" ] || fail "$file is not at the top of the ZIP"
done
[ ! -e "$work/deckhand/examples/deckhand-irc.ini" ] || fail "the IRC bot's settings are in the ZIP"

# The indented command lines of the section, but the "cd" into the folder, which the test does.
steps=$(tr -d '\r' <"$work/deckhand/INSTALL.txt" |
  sed -n '/^Trying it first/,/^Your own card sets/p' | sed -n 's/^       \([^ ].*\)$/\1/p' |
  grep -v '^cd ')
[ "$(echo "$steps" | wc -l)" -eq 3 ] || fail "unexpected steps in INSTALL.txt: $steps"

cd "$work/deckhand"
# Typed at the prompt, each line is read as a batch file's line is: a batch file of them.
echo "$steps" | sed 's/$/\r/' >steps.bat
output=$(sh "$run" "$prefix" "$loader" cmd.exe /c steps.bat </dev/null | tr -d '\r') ||
  fail "a step failed"
rm steps.bat
echo "$output"

[ -f modes.ini ] && [ -f trump.ini ] || fail "the examples were not copied beside the programs"
echo "$output" | grep -q '^No problems found.$' || fail "the checker found problems"
echo "$output" | grep -qx 'NOTICE #table 51' || fail "the game did not leave 51 cards"
echo "followed INSTALL.txt's steps from the ZIP"
