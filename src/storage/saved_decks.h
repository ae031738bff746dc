// Every target's remaining deck, kept in the save file "decksave.ini" of the current directory,
// section "DECK", one key per target holding its cards top first, joined by commas.
#pragma once

#include <string_view>

#include "text/text_lists.h"

namespace deckhand {

inline constexpr std::string_view kSaveFileName = "decksave.ini";
inline constexpr std::string_view kDeckSection = "DECK";

// The target's saved cards, top first; empty when the target has no entry, an empty entry, or
// the save file is absent or unreadable. Targets match without regard to ASCII letter case.
CardList LoadDeck(std::string_view target);

// Replaces the target's saved deck whole (an empty deck keeps an entry with an empty value).
// True when the new save file reached the disk; false when nothing was changed.
bool SaveDeck(std::string_view target, const CardList& cards);

}  // namespace deckhand
