// The card sets users configure: a mode table file maps mode names to deck files (section
// "MODE"), and a deck file lists its cards (section "DECK": the count under "Max", the names
// under 1, 2, ...). Every part that deals or judges a card set reads it through here, so that
// they all agree on what a mode deals.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "deckhand/card_files.h"
#include "text/text_lists.h"

namespace deckhand {

// The names the files are read by, the largest card set and the card set as read are the ones
// hosts see in deckhand/card_files.h: one home for each.
using card_files::kCardCountKey;
using card_files::kCardSetSection;
using card_files::kMaxCardSetSize;
using card_files::kModeSection;
using card_files::kReversibleKey;

// The mode name of a deal's command text: everything after the first comma, further commas
// included; "" when there is none.
std::string ModeName(std::string_view command_text);

// The deck file that `mode` names in the mode table file `mode_table` (both resolved against
// the current directory); "" when the table, its section or the mode is absent.
std::string LookUpDeckFile(std::string_view mode_table, std::string_view mode);

// The deck file a mode names, and whether the mode table could be read at all (an absent table
// names no mode, which a host tells apart from a mode missing from a table it has).
struct ModeLookup {
  bool table_read = false;
  std::string deck_file;  // "" when the table lacks the mode
};
ModeLookup FindDeckFile(std::string_view mode_table, std::string_view mode);

using card_files::CardSet;
using card_files::CardSetOutcome;

// Reads the deck file `deck_file` (resolved against the current directory) once for all its
// entries.
CardSet ReadCardSet(std::string_view deck_file);

}  // namespace deckhand
