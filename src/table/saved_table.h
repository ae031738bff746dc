// How a place's table lies in the save file, beside the decks of the five commands.
//
// The main deck's draw pile is the target's entry of section "DECK", exactly as the five
// commands keep it. Everything else is in section "TABLE", under keys made of names joined by
// commas, which no place, deck or player name holds, so no two of them can ever make the same key
// (and no target of the five commands names a key of another section):
//
//     PLACE,auto_recall           "1" when the place recalls the discard pile by itself
//     PLACE,DECK,deck             "R," or "U," (reversible or not), then the mode dealt; for
//                                 the main deck, written from the first table command that
//                                 changes it: until then the five exports' "DECK" entry is all
//                                 there is of it
//     PLACE,DECK,draw             a named deck's draw pile, top first; for the main deck (DECK
//                                 empty), only while the pile needs more than its "DECK" entry
//                                 says: the orientations, together with the names they belong
//                                 to, so that a draw pile the five commands changed since is
//                                 seen as upright
//     PLACE,DECK,discard          the discard pile, oldest first
//     PLACE,DECK,hand,PLAYER      the player's hand, in the order received
//     PLACE,DECK,seeds            the seeds of the deck's checkable shuffles (deck_seeds.h)
//
// A pile is written "FLAGS:NAMES": one byte per card, 'R' for reversed and 'U' for upright ('r'
// and 'u' for a card put on the discard pile face down), then
// the names joined by commas as JoinCards joins them. The flags give the number of cards, so a
// pile of one card with an empty name is not taken for an empty pile. Entries of empty piles and
// hands are removed, so that players who leave do not grow the file.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deckhand/table.h"
#include "storage/ini_format.h"
#include "storage/save_file_edit.h"
#include "table/deck_seeds.h"
#include "table/transcript.h"
#include "text/text_lists.h"

namespace deckhand::table {

inline constexpr std::string_view kTableSection = "TABLE";

struct Hand {
  std::string player;  // as first written
  Cards cards;
};

// One deck of a place as a command works on it.
struct DeckState {
  bool exists = false;  // the main deck always does; a named deck once dealt
  bool reversible = false;
  std::string mode;
  Cards draw;     // top first
  Cards discard;  // oldest first: the newest card is at the back
  std::vector<Hand> hands;

  // The player's hand, or nullptr when they hold none.
  Hand* FindHand(std::string_view player);
  // The player's hand, made empty when they held none.
  Hand& HandOf(std::string_view player);
};

// The deck a command plays and the place's setting, read from the save file, and the changes
// that write them back.
class SavedTable {
 public:
  // `table_place`: whether the place can key the table's entries (a name without commas). A
  // place that cannot, which only the five exports reach, keeps its "DECK" entry alone.
  SavedTable(const SaveFileEdit& file, std::string_view place, std::string_view deck,
             bool table_place = true);

  DeckState deck;
  bool auto_recall = false;
  // The deck's seeds, once a host's table command gave it some.
  std::optional<DeckSeeds> seeds;
  // What the command adds to the transcripts, written once the save file holds it.
  TranscriptLines transcript;
  // How many named decks the place has, this one included when it exists.
  std::size_t named_decks = 0;

  // A table command changes the main deck: from now on its piles are kept. A named deck's always
  // are; the main deck's from the first table command that changes it on, so that a place that
  // only the five exports have played keeps the "DECK" entry alone, as a plug-in host has always
  // seen it (its drawn cards are gone, not on a discard pile).
  void Track() { tracked_ = true; }
  // Write the "DECK" entry even when it holds what it held: the five exports' draws and shuffles
  // always save it, and a shuffle of no deck leaves an empty entry.
  void WriteDeckLineAlways() { always_write_deck_line_ = true; }

  const std::string& place() const { return place_; }
  const std::string& deck_name() const { return deck_name_; }

  // The entries to change so that the save file holds `deck` and `auto_recall` as they are now;
  // none when nothing changed.
  std::vector<IniValueChange> Changes() const;

 private:
  // Key (folded) to the key as written and its value, for this deck's entries and the setting.
  using Entries = std::map<std::string, std::pair<std::string, std::string>>;
  Entries Serialized() const;

  std::string place_;
  std::string deck_name_;
  bool main_ = true;
  bool tracked_ = true;
  bool always_write_deck_line_ = false;
  std::optional<std::string> main_line_;  // the main deck's "DECK" entry as read
  Entries loaded_;
};

// The names of the cards, in order, as the "DECK" entry and replies name them.
CardList NamesOf(const Cards& cards);

// A pile as written, and back; nullopt for a value that is no pile.
std::string WritePile(const Cards& cards);
std::optional<Cards> ReadPile(std::string_view written);

}  // namespace deckhand::table
