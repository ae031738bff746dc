// The card sets users configure: a mode table file maps mode names to deck files (section
// "MODE"), and a deck file lists its cards (section "DECK": the count under "Max", the names
// under 1, 2, ...). Every part that deals or judges a card set reads it through here, so that
// they all agree on what a mode deals.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/text_lists.h"

namespace deckhand {

inline constexpr std::string_view kModeSection = "MODE";
inline constexpr std::string_view kCardSetSection = "DECK";
inline constexpr std::string_view kCardCountKey = "Max";
// "Reversible=1" in a deck file's section: the table deals each card upright or reversed. The
// five commands never read it.
inline constexpr std::string_view kReversibleKey = "Reversible";

// The most cards a deck file may ask for. A larger "Max" is a slip of the keyboard far more
// often than a real card set, and dealing it would fill memory and the save file with empty
// names; such a card set is refused as one that cannot be dealt.
inline constexpr std::int32_t kMaxCardSetSize = 100000;

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

enum class CardSetOutcome {
  kRead,        // `cards` holds the set (empty for a file without "Max" or with "Max" 0)
  kUnreadable,  // the deck file is absent or cannot be read: nothing to deal from
  kTooLarge,    // "Max" is beyond kMaxCardSetSize
};

struct CardSet {
  CardSetOutcome outcome = CardSetOutcome::kUnreadable;
  // The cards in the file's order; an entry missing within 1 to "Max" is an empty name.
  CardList cards;
  // The file says "Reversible=1".
  bool reversible = false;
};

// Reads the deck file `deck_file` (resolved against the current directory) once for all its
// entries.
CardSet ReadCardSet(std::string_view deck_file);

}  // namespace deckhand
