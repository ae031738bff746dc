#!/bin/sh
# deckhand.exe --convert-cards under Wine, as a Windows user converts a card set saved by
# Notepad (UTF-8 with CR LF; the suits and an emoji, which Shift_JIS lacks), checks it and plays
# it on a UTF-8 console: the file comes out byte for byte as expected, and the cards come back.
#   convert-under-wine.sh RUN_UNDER_WINE PREFIX LOADER DECKHAND_EXE
# Exits 77 (skipped) where LOADER cannot run.
set -eu
run=$1 prefix=$2 loader=$3 program=$4
"$loader" --version >/dev/null 2>&1 || { echo "SKIPPED: $loader cannot run here"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/deckhand-wine-convert.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
deckhand() { sh "$run" "$prefix" "$loader" "$program" --encoding=utf-8 "$@" | tr -d '\r'; }
fail() { echo "FAILED: $1"; exit 1; }

# "♠A", "カード🂡" in UTF-8, and the same in Shift_JIS with references.
printf '[DECK]\r\nMax=2\r\n1=\342\231\240A\r\n2=\343\202\253\343\203\274\343\203\211\360\237\202\241\r\n' \
  >mycards.ini
printf '[DECK]\r\nMax=2\r\n1=&#x2660;A\r\n2=\203J\201[\203h&#x1F0A1;\r\n' >expected.ini
printf '\357\273\277[MODE]\r\nmine=mycards.ini\r\n' >modes.ini

report=$(deckhand --convert-cards --in-place mycards.ini modes.ini)
echo "$report"
expected_report=$(printf 'mycards.ini: 2 cards, 2 characters kept as references (\342\231\240 \360\237\202\241)\nmodes.ini: 1 mode, every character is in Shift_JIS')
[ "$report" = "$expected_report" ] || fail "the report was not: $expected_report"
cmp mycards.ini expected.ini || fail "mycards.ini is not what was expected"
[ "$(ls)" = "$(printf 'expected.ini\nmodes.ini\nmycards.ini')" ] || fail "files left: $(ls)"

deckhand --check-cards | grep -q '^No problems found.$' || fail "the checker found problems"
played=$(deckhand -t '#t' deck,mine draw,1-2)
echo "$played"
for card in "$(printf '\342\231\240A')" "$(printf '\343\202\253\343\203\274\343\203\211\360\237\202\241')"; do
  echo "$played" | grep -qF "$card" || fail "the card $card did not come back"
done
echo "converted, checked and played"
