#!/usr/bin/env bash
# A scripted game through deckhand on the example card sets, showing every command and its
# reply. Plays in a scratch copy of the examples, so the examples stay as they are.
# Usage: host/deckhand/demo.sh PATH/TO/deckhand EXAMPLES-DIRECTORY
set -euo pipefail

[ -x "$1" ] || { echo "demo.sh: no deckhand at $1: make demo builds it" >&2; exit 1; }
deckhand=$(realpath "$1")
examples=$(realpath "$2")
table=$(mktemp -d "${TMPDIR:-/tmp}/deckhand-demo.XXXXXX")
trap 'rm -rf "$table"' EXIT
cp -R "$examples"/. "$table"
cd "$table"

# say TEXT: a line of explanation.
say() { printf '\n# %s\n' "$*"; }

# play TARGET TEXT...: shows the command as one types it, then what deckhand printed.
play() {
  local target=$1
  shift
  printf "\$ deckhand -t '%s' %s\n" "$target" "$*"
  local replies
  # The replies are shown in UTF-8 whatever the locale of the machine running the demo.
  replies=$("$deckhand" --encoding=utf-8 -t "$target" "$@")
  printf '%s\n' "${replies:-(no reply)}"
}

# play_failing TARGET TEXT...: like play, for a command that deckhand must report as failed.
play_failing() {
  local target=$1
  shift
  printf "\$ deckhand -t '%s' %s\n" "$target" "$*"
  local status=0
  "$deckhand" --encoding=utf-8 -t "$target" "$@" 2>&1 || status=$?
  [ "$status" = 1 ] || { echo "expected exit status 1, got $status" >&2; exit 1; }
  echo "(exit status $status)"
}

printf 'deckhand demo: a game with the card sets of examples/, played in %s\n' "$table"
printf 'The mode table modes.ini names the card sets:\n'
iconv -f CP932 -t UTF-8 modes.ini | tr -d '\r' | sed 's/^/    /'

say "Check the card sets before playing: every mode, its deck file and its cards."
printf '$ deckhand --check-cards\n'
"$deckhand" --encoding=utf-8 --check-cards

say "Deal the playing cards (mode trump: 52 cards and 2 jokers) to the channel #table."
play '#table' deck,trump
play '#table' count
say "Draw the top card, then the 2nd to the 4th, then the 5th and the 1st."
play '#table' draw
play '#table' draw,2-4
play '#table' draw,5,1
play '#table' count
say "The cards left, top first."
play '#table' check
say "Shuffle the cards left, and draw the top two again."
play '#table' shuffle
play '#table' draw,1-2
play '#table' count
say "Deal the tarot to the user alice: her deck is her own."
play alice deck,tarot
play alice draw,1-3
play alice count
play '#table' count
say "A mode that the mode table lacks: the player hears so, and deckhand says why."
play_failing '#table' deck,poker
play '#table' count
