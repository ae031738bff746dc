#!/bin/sh
# Plays the demo through deckhand.exe under Wine, as a Windows user tries the DLL from the ZIP,
# and checks the counts the game reports on its way (which cards come up is shuffled; how many
# are left is not).
#   demo-under-wine.sh RUN_UNDER_WINE PREFIX LOADER DECKHAND_EXE EXAMPLES_DIRECTORY
# Exits 77 (skipped) where LOADER cannot run.
set -eu
run=$1 prefix=$2 loader=$3 program=$4 examples=$5
"$loader" --version >/dev/null 2>&1 || { echo "SKIPPED: $loader cannot run here"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/deckhand-wine-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT
# deckhand as the demo calls it: a program that takes deckhand's arguments.
printf '#!/bin/sh\nexec sh "%s" "%s" "%s" "%s" "$@"\n' "$run" "$prefix" "$loader" "$program" \
  >"$work/deckhand"
chmod +x "$work/deckhand"

# Windows programs end their lines with CR LF.
bash "$(dirname "$0")/../../host/deckhand/demo.sh" "$work/deckhand" "$examples" |
  tr -d '\r' >"$work/played"
cat "$work/played"

counts=$(grep -E '^NOTICE [^ ]+ [0-9]+$' "$work/played" | tr '\n' ';')
expected='NOTICE #table 54;NOTICE #table 48;NOTICE #table 46;NOTICE alice 75;NOTICE #table 46;'
expected="${expected}NOTICE #table 46;"
if [ "$counts" != "$expected" ]; then
  echo "FAILED: the counts were $counts"
  echo "        expected      $expected"
  exit 1
fi
