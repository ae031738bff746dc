// The main deck as the five exports play it: the same engine, the same save file and the same
// piles as every host's table commands, with the rules a plug-in host has always relied on.
//
//  - The target is any byte string without spaces. One holding a comma cannot key the table's
//    entries, so it keeps its "DECK" entry alone.
//  - A target that no table command has changed keeps its "DECK" entry alone: a draw's cards are
//    gone, not put on a discard pile, so a plug-in host that only calls the exports sees exactly
//    the save file it always has. Once the table plays the target, the exports' draws go onto its
//    discard pile and their deals take back its hands and discards, so every card stays in one
//    place however the table is reached.
//  - A deal lays every card upright; a draw takes the cards at the positions named but removes,
//    for each name drawn, the card of that name nearest the top (cards of one name are alike to
//    anyone reading the "DECK" entry).
//  - A draw and a shuffle write the "DECK" entry even when it holds what it held.
//
// The functions may throw std::bad_alloc; they throw nothing else.
#pragma once

#include <string_view>

#include "deckhand/table.h"
#include "text/text_lists.h"

namespace deckhand::table {

// A fresh deck of the card set `mode` names: kNoMode, kNoModeTable, kNoSuchMode,
// kCardSetTooLarge, kDeckFileUnreadable, kShuffleFailed, kSaveFailed or kDone.
Result DealMainDeck(std::string_view target, std::string_view mode_table, std::string_view mode);

// The cards that `selector` names ("" for the top card), as many as a reply line names, in
// `cards`: kNoCards (also where the save file cannot be read, or cannot be locked while it holds
// no cards for the target), kSaveFailed or kDone, with `cards` empty when the selector named none.
Result DrawFromMainDeck(std::string_view target, std::string_view selector);

// The draw pile in a new order: kSaveFailed, kShuffleFailed or kDone.
Result ShuffleMainDeck(std::string_view target);

// The names of the draw pile, top first, read as quickly as the save file allows (no lock is
// waited for, and only the target's line is kept).
CardList MainDrawPile(std::string_view target);

}  // namespace deckhand::table
