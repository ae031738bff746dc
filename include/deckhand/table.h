// deckhand's table, for hosts that link the library's core (the static library deckhand_core):
// several decks per place, each with a draw pile, a discard pile and a hand per player, and
// cards moved between them. Every card is always in exactly one place.
//
// The contract, for every function below:
//
//  - `place` is a channel, or a player's own name for their private table; `deck` names one of
//    the place's decks (1 to 16 characters, no space, comma or '@'), or is empty for the main
//    deck: the deck the five exported commands keep for the target `place`, in the same entry
//    of the same save file, so a host of the plug-in sees the same draw pile. Player names and
//    places hold no comma and no space: that is what keeps every place, deck and player apart
//    in the save file.
//  - All texts are byte strings in the host's code page (Shift_JIS for the library's own), as
//    the five commands take them; nothing is converted. Files lie in the current directory.
//  - One call is one command: one lock on the save file and at most one atomic replace of it.
//    A call that does not return Outcome::kDone has changed nothing.
//  - Selectors (`selector`) are read as Draw reads them: positions and ranges counted from 1 at
//    the top of the pile, or at the first card of a hand as received.
//  - The functions may throw std::bad_alloc; they throw nothing else.
#ifndef DECKHAND_TABLE_H
#define DECKHAND_TABLE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace deckhand::table {

// A card as it lies: its name, and whether it lies reversed (only in decks whose deck file says
// "Reversible=1").
struct Card {
  std::string name;
  bool reversed = false;
  // On a discard pile: put there unseen (DiscardCards), so that only their number is shown. A
  // card leaving the discard pile is face up again.
  bool face_down = false;
  friend bool operator==(const Card&, const Card&) = default;
};
using Cards = std::vector<Card>;

enum class Outcome {
  kDone,
  kBadName,             // the place, a player or a deck name cannot be used (comma, space, ...)
  kNoSuchDeck,          // the place has no deck of that name (named decks come from `DealDeck`)
  kNoMode,              // DealDeck without a mode
  kNoModeTable,         // the mode table file is absent or cannot be read
  kNoSuchMode,          // the mode table lacks the mode
  kDeckFileUnreadable,  // the mode's deck file is absent or cannot be read
  kCardSetTooLarge,     // the deck file's Max is beyond what the library deals
  kNoCards,             // the draw pile is empty (and auto_recall found nothing to bring back)
  kNothingSelected,     // the selector names no card of the draw pile
  kNotEnoughCards,      // DealCards: fewer cards in the draw pile than asked for
  kBadCount,            // DealCards: a count that is not 1 to kMaxDealCount, or no players
  kBeyondHand,          // a position beyond the player's hand, or none at all
  kGiveToSelf,          // GiveCards to the giver
  kPlayerTwice,         // DealCards names a player twice
  kTooManyDecks,        // DealDeck of a new named deck where the place has kMaxNamedDecks
  kSaveFailed,          // the save file could not be locked, read or replaced
  kShuffleFailed,       // the system's random generator failed
  kBadSeed,             // AddPlayerSeed: a text that is empty, longer than 64 bytes or holds NUL
  kTooManySeeds,        // AddPlayerSeed: the next shuffle has as many player seeds as it takes
};

// The most cards DealCards gives each player, and the most players one deal names.
inline constexpr std::size_t kMaxDealCount = 1000;
inline constexpr std::size_t kMaxDealPlayers = 64;
// The most named decks one place keeps (beside its main deck), so that no one can grow the save
// file without end by naming ever new decks.
inline constexpr std::size_t kMaxNamedDecks = 32;
// The longest deck name, in characters.
inline constexpr std::size_t kMaxDeckNameLength = 16;
// The most seeds players may add to one shuffle, and the longest, in bytes.
inline constexpr std::size_t kMaxPlayerSeeds = 16;
inline constexpr std::size_t kMaxPlayerSeedBytes = 64;

struct HandSize {
  std::string player;  // as first written
  std::size_t cards = 0;
};

// The seeds of a deck's shuffles as players may know them (docs/shuffles.md): every shuffle of a
// host's table uses a seed whose commitment was shown before it, and the seeds players added.
struct SeedsView {
  std::uint64_t next_shuffle = 0;  // 0: the deck keeps no seeds yet
  std::string next_commitment;     // SHA-256 of the next shuffle's seed, 64 hex digits
  std::vector<std::pair<std::string, std::string>> waiting;  // (player, text) for the next
  // A reveal (RevealDeckSeeds, and DealDeck of a deck that had shuffles): each shuffle since the
  // last reveal, with its seed in hex.
  std::vector<std::pair<std::uint64_t, std::string>> revealed;
};

// What a command did. Only the fields its function names are filled.
struct Result {
  Outcome outcome = Outcome::kDone;
  // The cards moved or shown: drawn, played, given, a hand, the discard pile (newest first),
  // the draw pile (top first).
  Cards cards;
  // DealCards: each player's new cards, in the order the players were named.
  std::vector<std::pair<std::string, Cards>> dealt;
  // RecallCards: how many cards came back into the draw pile.
  std::size_t recalled = 0;
  // With auto_recall on: how many cards the discard pile gave back before the draw or deal.
  std::size_t auto_recalled = 0;
  // DescribeTable (and every call that reads the deck): the sizes of the piles.
  std::size_t draw_pile = 0;
  std::size_t discard_pile = 0;
  std::vector<HandSize> hands;  // players with cards, in the order of their names
  bool auto_recall = false;     // the place's setting
  // DealDeck, whatever its outcome: the mode asked for and, once the mode table names one, its
  // deck file, so that a host can say what was dealt, or exactly why nothing was.
  std::string mode;
  std::string deck_file;
  // DealCards refused with kPlayerTwice or kBadName: the name given twice, or that cannot be.
  std::string player;
  // Every call on a deck that keeps seeds: where its seeds stand after the call.
  SeedsView seeds;
  bool shuffled = false;  // the call shuffled the deck (a deal, shuffle, recall or auto_recall)
};

// Is `name` a deck name (1 to kMaxDeckNameLength characters, no space, comma or '@')?
bool IsDeckName(std::string_view name);

// A new deck from the card set `mode` names in the mode table file `mode_table`, shuffled (and
// each card turned by a fair coin when the set is reversible); the deck's discard pile and every
// hand of it are emptied. The main deck always exists; a named deck comes into being here.
Result DealDeck(std::string_view place, std::string_view deck, std::string_view mode_table,
                std::string_view mode);

// The draw pile in a new order (and orientation, in a reversible deck).
Result ShuffleDeck(std::string_view place, std::string_view deck);

// The discard pile (and with `all_hands` every hand) back into the draw pile, then shuffled.
// `recalled` says how many cards came back.
Result RecallCards(std::string_view place, std::string_view deck, bool all_hands);

// The cards `selector` names ("" draws the top card) off the draw pile, onto the discard pile,
// or into `player`'s hand when `player` is not empty (a hidden draw). As many of the named cards
// as a reply line of the library names: the rest stay. `cards` lists them.
Result DrawCards(std::string_view place, std::string_view deck, std::string_view selector,
                 std::string_view player);

// `count` cards to each of `players`, one at a time in turn from the top, as a dealer deals.
Result DealCards(std::string_view place, std::string_view deck, std::size_t count,
                 const std::vector<std::string>& players);

// The player's hand, in the order received (`cards`).
Result ShowHand(std::string_view place, std::string_view deck, std::string_view player);

// The cards at `selector`'s positions of the player's hand onto the discard pile (`cards`).
Result PlayCards(std::string_view place, std::string_view deck, std::string_view player,
                 std::string_view selector);

// As PlayCards, but the cards lie face down on the discard pile.
Result DiscardCards(std::string_view place, std::string_view deck, std::string_view player,
                    std::string_view selector);

// The cards at `selector`'s positions of `giver`'s hand into `receiver`'s hand (`cards`).
Result GiveCards(std::string_view place, std::string_view deck, std::string_view giver,
                 std::string_view receiver, std::string_view selector);

// The discard pile, newest first (`cards`), face-down cards included: a host shows only their
// number.
Result ShowDiscards(std::string_view place, std::string_view deck);

// The sizes of the deck's piles and hands (and the draw pile itself, top first, in `cards`, for
// Check and Peek).
Result DescribeTable(std::string_view place, std::string_view deck);

// The deck's next commitment, made now when the deck has none, and the seeds waiting (`seeds`).
Result DescribeSeeds(std::string_view place, std::string_view deck);

// `text` (1 to 64 bytes, no NUL) from `player` as a seed of the deck's next shuffle, after its
// commitment (made now when the deck has none).
Result AddPlayerSeed(std::string_view place, std::string_view deck, std::string_view player,
                     std::string_view text);

// The seeds of every shuffle since the last reveal (`seeds.revealed`), and the game ended: the
// deck dealt anew from the mode it was dealt from, as DealDeck deals (when it has one).
Result RevealDeckSeeds(std::string_view place, std::string_view deck, std::string_view mode_table);

// Transcripts of the games a host's table plays (docs/shuffles.md): one file per game in "games/"
// of the current directory, begun by a deal, or by the first shuffle or seed of a deck that has
// no game yet, and completed by the reveal. Off until a host turns it on, so that a plug-in host
// gets no files; a deck whose game is being recorded stays recorded whoever plays it.
struct TranscriptSettings {
  bool record = false;
  double days = 30;          // transcripts older than this are removed
  std::size_t files = 1000;  // and the oldest beyond this many
};
void SetTranscripts(const TranscriptSettings& settings);

// Sets the place's auto_recall: a draw, hidden draw or deal that finds the draw pile too short
// first brings the discard pile back and shuffles it in.
Result SetAutoRecall(std::string_view place, bool on);

// Everything of the place gone from the save file: its main deck and named decks, with their
// piles and hands, and its setting, so that whoever plays there next finds nothing of anyone
// before them.
Result ClearPlace(std::string_view place);

}  // namespace deckhand::table

#endif  // DECKHAND_TABLE_H
