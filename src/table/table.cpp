// The table's commands: each takes the save file's lock, reads the file once, works on the deck
// it names, and writes every entry it changed in one atomic replace.
#include "deckhand/table.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>

#include "random/random.h"
#include "storage/card_sets.h"
#include "storage/save_file_edit.h"
#include "storage/saved_decks.h"
#include "table/deck_seeds.h"
#include "table/draw_selector.h"
#include "table/main_deck.h"
#include "table/saved_table.h"
#include "table/transcript.h"
#include "text/reply_line.h"
#include "text/shift_jis.h"
#include "text/text_lists.h"

namespace deckhand::table {
namespace {

// Places and players key the save file's entries: a comma would cut a key in two, and a space
// never comes in a command line's field.
bool IsName(std::string_view name) {
  return !name.empty() && name.find_first_of(", ") == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

bool IsDeckOrMain(std::string_view deck) { return deck.empty() || IsDeckName(deck); }

// Shuffles `cards` and, in a reversible deck, turns each one by a fair coin.
bool Mix(Cards& cards, bool reversible) {
  SystemRandom generator;
  if (!ShuffleCards(cards, generator)) return false;
  if (!reversible) return true;
  RandomBits<SystemRandom> bits(generator);
  for (Card& card : cards) {
    std::optional<bool> bit = bits.Next();
    if (!bit) return false;
    card.reversed = *bit;
  }
  return true;
}

// The transcript lines of a deck whose game is being recorded, or nullptr.
TranscriptLines* Recording(SavedTable& table) {
  if (!table.seeds || table.seeds->game.empty()) return nullptr;
  table.transcript.To(table.seeds->game);
  return &table.transcript;
}

// Gives the deck seeds when it has none and, where the host records games, begins a game for a
// deck without one: its transcript starts with the commitment players were shown and the seeds
// they added since. False when the system's generator failed.
bool SeedForHost(SavedTable& table) {
  if (!table.seeds) table.seeds = NewDeckSeeds();
  if (!table.seeds) return false;
  DeckSeeds& seeds = *table.seeds;
  if (!ActiveTranscriptSettings().record || !seeds.game.empty()) return true;
  seeds.game = NewTranscript(table.place(), table.deck_name(), seeds.next);
  if (seeds.game.empty()) return true;  // nowhere safe to record it
  TranscriptLines& lines = *Recording(table);
  lines.Game(table.place(), table.deck_name());
  lines.Commit(seeds.next, CommitmentOf(seeds.seed));
  for (const auto& [player, text] : seeds.waiting) lines.Seed(seeds.next, player, text);
  return true;
}

// Reveals the seeds of the deck's shuffles since the last reveal, which ends its game.
void Reveal(SavedTable& table, Result& result) {
  if (!table.seeds) return;
  result.seeds.revealed = RevealSeeds(*table.seeds);
  if (result.seeds.revealed.empty()) return;
  if (TranscriptLines* lines = Recording(table)) lines->Reveal(result.seeds.revealed);
  table.seeds->game.clear();
}

// Shuffles `cards` for the deck. A host's table shuffles with the deck's committed seed, giving
// the deck seeds first when it has none; the five exports do so only for a deck that a host's
// command gave seeds, so that a plug-in host's own targets gain no entry. `kind` is the
// transcript's (TranscriptLines::Shuffle).
bool MixDeck(SavedTable& table, Cards& cards, bool reversible, bool exports, Result& result,
             std::string_view kind) {
  if ((!table.seeds && exports) || ScopedUnseededShuffles::InForce()) {
    return Mix(cards, reversible);
  }
  if (!exports && !SeedForHost(table)) return false;
  DeckSeeds& seeds = *table.seeds;
  TranscriptLines* lines = Recording(table);
  Cards input = lines != nullptr ? cards : Cards();
  const std::uint64_t number = seeds.next;
  const std::string commitment = lines != nullptr ? CommitmentOf(seeds.seed) : std::string();
  const PlayerSeeds players = seeds.waiting;
  if (!ShuffleWithSeeds(seeds, table.place(), table.deck_name(), cards, reversible)) return false;
  if (lines != nullptr) {
    lines->Shuffle(number, commitment, kind, reversible, players, input, cards);
    lines->Commit(seeds.next, CommitmentOf(seeds.seed));
  }
  result.shuffled = true;
  return true;
}

// Every card of `from` onto `to`, face up: a face-down discard is face down only where it lies.
void MoveAll(Cards& from, Cards& to) {
  for (Card& card : from) {
    card.face_down = false;
    to.push_back(std::move(card));
  }
  from.clear();
}

// The discard pile (and every hand, with `all_hands`) into the draw pile, and the pile mixed.
// How many came back, or nullopt when the mix failed.
std::optional<std::size_t> Recall(SavedTable& table, bool all_hands, Result& result) {
  DeckState& deck = table.deck;
  std::size_t before = deck.draw.size();
  MoveAll(deck.discard, deck.draw);
  if (all_hands) {
    for (Hand& hand : deck.hands) MoveAll(hand.cards, deck.draw);
  }
  if (!MixDeck(table, deck.draw, deck.reversible, false, result,
               all_hands ? "recall_all" : "recall")) {
    return std::nullopt;
  }
  return deck.draw.size() - before;
}

// The cards at `indexes` out of `from`, in the order of `indexes`; the others keep their order.
Cards Take(Cards& from, const std::vector<std::size_t>& indexes) {
  Cards taken;
  taken.reserve(indexes.size());
  std::vector<bool> gone(from.size(), false);
  for (std::size_t index : indexes) {
    taken.push_back(from[index]);
    gone[index] = true;
  }
  std::size_t kept = 0;
  for (std::size_t index = 0; index < from.size(); ++index) {
    if (gone[index]) continue;
    if (kept != index) from[kept] = std::move(from[index]);
    ++kept;
  }
  from.resize(kept);
  return taken;
}

// The positions of a hand that `selector` names, or nullopt when it names a position the hand
// lacks, holds a token Draw would skip, or names nothing: a player who asks for a card they do
// not hold must hear so, not see some other card go.
std::optional<std::vector<std::size_t>> HandPositions(std::string_view selector,
                                                      std::size_t hand_size) {
  constexpr auto kLargestBound =
      static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());
  for (const std::string& token : SplitText(selector, ",", 0)) {
    std::optional<PositionRange> range = ReadSelectorToken(token);
    if (!range) return std::nullopt;
    // A negative last bound is Draw's "to the bottom"; any other bound must lie in the hand.
    bool last_written = range->last <= kLargestBound;
    if (range->first > hand_size || (last_written && range->last > hand_size)) return std::nullopt;
    if (range->last == 0) return std::nullopt;
  }
  std::vector<std::size_t> chosen = SelectCards(selector, hand_size);
  if (chosen.empty()) return std::nullopt;
  return chosen;
}

// The cards at `selector`'s positions of the player's hand, taken out into `taken`; false, with
// the hand as it was, when the selector names a position the hand lacks.
bool TakeFromHand(DeckState& deck, std::string_view player, std::string_view selector,
                  Cards& taken) {
  Hand* hand = deck.FindHand(player);
  std::optional<std::vector<std::size_t>> chosen =
      HandPositions(selector, hand != nullptr ? hand->cards.size() : 0);
  if (!chosen) return false;
  taken = Take(hand->cards, *chosen);
  return true;
}

void DescribeInto(const SavedTable& table, Result& result) {
  result.draw_pile = table.deck.draw.size();
  result.discard_pile = table.deck.discard.size();
  result.auto_recall = table.auto_recall;
  if (table.seeds) ViewOfSeeds(*table.seeds, result.seeds);
  result.hands.clear();
  for (const Hand& hand : table.deck.hands) {
    if (!hand.cards.empty()) result.hands.push_back(HandSize{hand.player, hand.cards.size()});
  }
  std::sort(result.hands.begin(), result.hands.end(), [](const HandSize& a, const HandSize& b) {
    return FoldNameCase(a.player) < FoldNameCase(b.player);
  });
}

Result Refused(Outcome outcome) {
  Result result;
  result.outcome = outcome;
  return result;
}

enum class Access {
  kRead,    // shows, changes nothing
  kChange,  // changes a deck that exists
  kCreate,  // deals a deck, named decks included
};

// Who plays: a host's table command, or one of the five exports (main_deck.h).
struct Caller {
  bool exports = false;
  // The outcome where the save file cannot be read.
  Outcome unreadable = Outcome::kSaveFailed;
  // The outcome where the save file cannot be locked for a change.
  Outcome (*unlocked)(std::string_view place) = [](std::string_view) {
    return Outcome::kSaveFailed;
  };
};
constexpr Caller kTableCommand{};

// Runs `play` on the deck under the save file's lock and writes what it changed. `play` returns
// the outcome; anything but kDone leaves the file untouched.
template <typename Play>
Result OnDeck(std::string_view place, std::string_view deck_name, Access access, Caller caller,
              Play play) {
  bool table_place = IsName(place);
  if ((!table_place && !caller.exports) || !IsDeckOrMain(deck_name) || !ReplyTextRoom(place)) {
    return Refused(Outcome::kBadName);
  }
  // A read needs no lock but is kept out of a save's way by it; where none can be had (a
  // directory the library may read but not write) it reads all the same.
  SaveFileLock lock = LockSaveFile();
  if (!lock && access != Access::kRead) return Refused(caller.unlocked(place));
  std::optional<SaveFileEdit> file = SaveFileEdit::Read();
  if (!file) return Refused(caller.unreadable);
  SavedTable table(*file, place, deck_name, table_place);
  if (!table.deck.exists && access != Access::kCreate) return Refused(Outcome::kNoSuchDeck);
  if (caller.exports) {
    table.WriteDeckLineAlways();
  } else if (access != Access::kRead) {
    table.Track();
  }
  Result result;
  result.outcome = play(table, result);
  if (result.outcome != Outcome::kDone) {
    Result refused = Refused(result.outcome);
    DescribeInto(table, refused);
    return refused;
  }
  if (access != Access::kRead && !file->Replace(table.Changes())) {
    return Refused(Outcome::kSaveFailed);
  }
  // After the save, so that a transcript never tells of a command the table does not hold. A
  // transcript that cannot be written leaves a game that will not check, not a failed command.
  table.transcript.Write();
  DescribeInto(table, result);
  return result;
}

// The positions of the draw pile that `selector` names ("" for the top card), as many as one
// reply line of the library can name, so that every card drawn is told.
std::vector<std::size_t> ChooseToDraw(const Cards& draw, std::string_view selector,
                                      std::string_view place) {
  std::vector<std::size_t> chosen =
      SelectCards(selector.empty() ? kTopCardSelector : selector, draw.size());
  chosen.resize(
      ChosenThatFit(chosen, *ReplyTextRoom(place),
                    [&draw](std::size_t index) -> const std::string& { return draw[index].name; }));
  return chosen;
}

// With auto_recall on, a draw pile shorter than `needed` first gets the discard pile back.
bool AutoRecall(SavedTable& table, std::size_t needed, Result& result) {
  if (!table.auto_recall || table.deck.draw.size() >= needed || table.deck.discard.empty()) {
    return true;
  }
  std::optional<std::size_t> recalled = Recall(table, false, result);
  if (!recalled) return false;
  result.auto_recalled = *recalled;
  return true;
}

}  // namespace

// A deck name's characters are counted, and '@' looked for, a Shift_JIS character at a time:
// the second byte of 院 or ァ is the byte of '@'.
bool IsDeckName(std::string_view name) {
  std::size_t characters = 0;
  for (std::size_t at = 0; at < name.size(); at += ShiftJisCharLength(name, at)) {
    if (name[at] == '@') return false;
    ++characters;
  }
  return characters >= 1 && characters <= kMaxDeckNameLength && IsName(name);
}

namespace {

// A deal for a host's table, or for the five exports, which deal every card upright and may
// name a place the table cannot.
Result Deal(std::string_view place, std::string_view deck, std::string_view mode_table,
            std::string_view mode, Caller caller) {
  if ((!caller.exports && !IsName(place)) || !IsDeckOrMain(deck)) {
    return Refused(Outcome::kBadName);
  }
  Result source;
  source.mode = std::string(mode);
  auto refused = [&source](Outcome outcome) {
    source.outcome = outcome;
    return source;
  };
  if (mode.empty()) return refused(Outcome::kNoMode);
  ModeLookup found = FindDeckFile(mode_table, mode);
  if (!found.table_read) return refused(Outcome::kNoModeTable);
  if (found.deck_file.empty()) return refused(Outcome::kNoSuchMode);
  source.deck_file = found.deck_file;
  CardSet set = ReadCardSet(found.deck_file);
  if (set.outcome == CardSetOutcome::kUnreadable) return refused(Outcome::kDeckFileUnreadable);
  if (set.outcome == CardSetOutcome::kTooLarge) return refused(Outcome::kCardSetTooLarge);
  // A name holding a comma is saved, and so dealt, as the cards between its commas, as the five
  // commands' save has always cut it; cut here, every card is what the table will read back.
  Cards cards;
  if (!set.cards.empty()) {
    for (std::string& name : SplitText(JoinCards(set.cards), ",", 0)) {
      cards.push_back(Card{std::move(name), false, false});
    }
  }
  bool reversible = set.reversible && !caller.exports;
  Result dealt = OnDeck(place, deck, Access::kCreate, caller, [&](SavedTable& table, Result& r) {
    DeckState& state = table.deck;
    if (!state.exists && table.named_decks >= kMaxNamedDecks) return Outcome::kTooManyDecks;
    // A host's deal starts a new game: the last one's seeds are revealed.
    if (!caller.exports) Reveal(table, r);
    if (!MixDeck(table, cards, reversible, caller.exports, r, "deal")) {
      return Outcome::kShuffleFailed;
    }
    state.exists = true;
    state.reversible = reversible;
    state.mode = std::string(mode);
    state.draw = std::move(cards);
    state.discard.clear();
    state.hands.clear();
    return Outcome::kDone;
  });
  dealt.mode = std::move(source.mode);
  dealt.deck_file = std::move(source.deck_file);
  return dealt;
}

// For each card of `drawn` in turn, the card of that name nearest the top of `pile`, taken out;
// the others keep their order. Each name's positions are queued top first, so the whole removal
// is one pass over the pile. `indexes` receives the positions taken.
Cards TakeByName(Cards& pile, const Cards& drawn, std::vector<std::size_t>& indexes) {
  std::unordered_map<std::string_view, std::vector<std::size_t>> by_name;
  for (const Card& card : drawn) by_name.try_emplace(card.name);
  for (std::size_t index = pile.size(); index-- > 0;) {
    auto found = by_name.find(pile[index].name);
    if (found != by_name.end()) found->second.push_back(index);  // the top last
  }
  indexes.reserve(drawn.size());
  for (const Card& card : drawn) {
    std::vector<std::size_t>& positions = by_name.at(card.name);
    indexes.push_back(positions.back());
    positions.pop_back();
  }
  return Take(pile, indexes);
}

// The five exports' draw where the save file cannot be locked: a target without cards is told
// so, as anywhere else; one with cards hears that the save failed.
Outcome ExportsDrawUnlocked(std::string_view place) {
  return LoadDeckHeld(place).empty() ? Outcome::kNoCards : Outcome::kSaveFailed;
}

}  // namespace

Result DealDeck(std::string_view place, std::string_view deck, std::string_view mode_table,
                std::string_view mode) {
  return Deal(place, deck, mode_table, mode, kTableCommand);
}

Result ShuffleDeck(std::string_view place, std::string_view deck) {
  return OnDeck(place, deck, Access::kChange, kTableCommand, [](SavedTable& table, Result& result) {
    return MixDeck(table, table.deck.draw, table.deck.reversible, false, result, "shuffle")
               ? Outcome::kDone
               : Outcome::kShuffleFailed;
  });
}

Result RecallCards(std::string_view place, std::string_view deck, bool all_hands) {
  return OnDeck(place, deck, Access::kChange, kTableCommand,
                [all_hands](SavedTable& table, Result& result) {
                  std::optional<std::size_t> recalled = Recall(table, all_hands, result);
                  if (!recalled) return Outcome::kShuffleFailed;
                  result.recalled = *recalled;
                  return Outcome::kDone;
                });
}

Result DrawCards(std::string_view place, std::string_view deck, std::string_view selector,
                 std::string_view player) {
  if (!player.empty() && !IsName(player)) return Refused(Outcome::kBadName);
  return OnDeck(
      place, deck, Access::kChange, kTableCommand, [&](SavedTable& table, Result& result) {
        if (!AutoRecall(table, 1, result)) return Outcome::kShuffleFailed;
        Cards& draw = table.deck.draw;
        if (draw.empty()) return Outcome::kNoCards;
        std::vector<std::size_t> chosen = ChooseToDraw(draw, selector, place);
        if (chosen.empty()) return Outcome::kNothingSelected;
        result.cards = Take(draw, chosen);
        if (TranscriptLines* lines = Recording(table)) lines->Draw(chosen, result.cards, player);
        Cards& destination = player.empty() ? table.deck.discard : table.deck.HandOf(player).cards;
        destination.insert(destination.end(), result.cards.begin(), result.cards.end());
        return Outcome::kDone;
      });
}

Result DealCards(std::string_view place, std::string_view deck, std::size_t count,
                 const std::vector<std::string>& players) {
  if (count == 0 || count > kMaxDealCount || players.empty() || players.size() > kMaxDealPlayers) {
    return Refused(Outcome::kBadCount);
  }
  for (std::size_t i = 0; i < players.size(); ++i) {
    if (!IsName(players[i])) {
      Result bad = Refused(Outcome::kBadName);
      bad.player = players[i];
      return bad;
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (NamesMatch(players[i], players[j])) {
        Result twice = Refused(Outcome::kPlayerTwice);
        twice.player = players[i];
        return twice;
      }
    }
  }
  return OnDeck(place, deck, Access::kChange, kTableCommand,
                [&](SavedTable& table, Result& result) {
                  std::size_t needed = count * players.size();
                  // Refused before the discard pile is recalled, so that the refusal tells the
                  // draw pile as it still is.
                  std::size_t could_have =
                      table.deck.draw.size() + (table.auto_recall ? table.deck.discard.size() : 0);
                  if (could_have < needed) return Outcome::kNotEnoughCards;
                  if (!AutoRecall(table, needed, result)) return Outcome::kShuffleFailed;
                  Cards& draw = table.deck.draw;
                  if (draw.size() < needed) return Outcome::kNotEnoughCards;
                  for (const std::string& player : players)
                    result.dealt.emplace_back(player, Cards());
                  for (std::size_t taken = 0; taken < needed; ++taken) {
                    result.dealt[taken % players.size()].second.push_back(draw[taken]);
                  }
                  if (TranscriptLines* lines = Recording(table)) {
                    lines->Deal(result.dealt, Cards(draw.begin(), draw.begin() + needed));
                  }
                  draw.erase(draw.begin(), draw.begin() + static_cast<std::ptrdiff_t>(needed));
                  for (const auto& [player, cards] : result.dealt) {
                    Cards& hand = table.deck.HandOf(player).cards;
                    hand.insert(hand.end(), cards.begin(), cards.end());
                  }
                  return Outcome::kDone;
                });
}

Result ShowHand(std::string_view place, std::string_view deck, std::string_view player) {
  if (!IsName(player)) return Refused(Outcome::kBadName);
  return OnDeck(place, deck, Access::kRead, kTableCommand,
                [player](SavedTable& table, Result& result) {
                  if (Hand* hand = table.deck.FindHand(player)) result.cards = hand->cards;
                  return Outcome::kDone;
                });
}

namespace {

// The cards at `selector`'s positions of the player's hand onto the discard pile, face up or
// face down.
Result ToDiscardPile(std::string_view place, std::string_view deck, std::string_view player,
                     std::string_view selector, bool face_down) {
  if (!IsName(player)) return Refused(Outcome::kBadName);
  return OnDeck(place, deck, Access::kChange, kTableCommand,
                [&](SavedTable& table, Result& result) {
                  if (!TakeFromHand(table.deck, player, selector, result.cards)) {
                    return Outcome::kBeyondHand;
                  }
                  for (Card& card : result.cards) card.face_down = face_down;
                  if (TranscriptLines* lines = Recording(table)) {
                    lines->Play(player, result.cards, "");
                  }
                  Cards& discard = table.deck.discard;
                  discard.insert(discard.end(), result.cards.begin(), result.cards.end());
                  return Outcome::kDone;
                });
}

}  // namespace

Result PlayCards(std::string_view place, std::string_view deck, std::string_view player,
                 std::string_view selector) {
  return ToDiscardPile(place, deck, player, selector, false);
}

Result DiscardCards(std::string_view place, std::string_view deck, std::string_view player,
                    std::string_view selector) {
  return ToDiscardPile(place, deck, player, selector, true);
}

Result GiveCards(std::string_view place, std::string_view deck, std::string_view giver,
                 std::string_view receiver, std::string_view selector) {
  if (!IsName(giver) || !IsName(receiver)) return Refused(Outcome::kBadName);
  if (NamesMatch(giver, receiver)) return Refused(Outcome::kGiveToSelf);
  return OnDeck(place, deck, Access::kChange, kTableCommand,
                [&](SavedTable& table, Result& result) {
                  if (!TakeFromHand(table.deck, giver, selector, result.cards)) {
                    return Outcome::kBeyondHand;
                  }
                  if (TranscriptLines* lines = Recording(table)) {
                    lines->Play(giver, result.cards, receiver);
                  }
                  // HandOf may add a hand and move the others, so the giver's is not used past
                  // here.
                  Cards& received = table.deck.HandOf(receiver).cards;
                  received.insert(received.end(), result.cards.begin(), result.cards.end());
                  return Outcome::kDone;
                });
}

Result ShowDiscards(std::string_view place, std::string_view deck) {
  return OnDeck(place, deck, Access::kRead, kTableCommand, [](SavedTable& table, Result& result) {
    result.cards.assign(table.deck.discard.rbegin(), table.deck.discard.rend());
    return Outcome::kDone;
  });
}

Result DescribeTable(std::string_view place, std::string_view deck) {
  return OnDeck(place, deck, Access::kRead, kTableCommand, [](SavedTable& table, Result& result) {
    result.cards = table.deck.draw;
    return Outcome::kDone;
  });
}

Result DescribeSeeds(std::string_view place, std::string_view deck) {
  return OnDeck(place, deck, Access::kChange, kTableCommand, [](SavedTable& table, Result&) {
    return SeedForHost(table) ? Outcome::kDone : Outcome::kShuffleFailed;
  });
}

Result AddPlayerSeed(std::string_view place, std::string_view deck, std::string_view player,
                     std::string_view text) {
  if (!IsName(player)) return Refused(Outcome::kBadName);
  if (text.empty() || text.size() > kMaxPlayerSeedBytes || text.find('\0') != text.npos) {
    return Refused(Outcome::kBadSeed);
  }
  return OnDeck(place, deck, Access::kChange, kTableCommand, [&](SavedTable& table, Result&) {
    // A deck without seeds gets its commitment first, so that the player's seed comes after it.
    if (!SeedForHost(table)) return Outcome::kShuffleFailed;
    if (table.seeds->waiting.size() >= kMaxPlayerSeeds) return Outcome::kTooManySeeds;
    table.seeds->waiting.emplace_back(player, text);
    if (TranscriptLines* lines = Recording(table)) lines->Seed(table.seeds->next, player, text);
    return Outcome::kDone;
  });
}

Result RevealDeckSeeds(std::string_view place, std::string_view deck, std::string_view mode_table) {
  std::string mode;
  Result read =
      OnDeck(place, deck, Access::kRead, kTableCommand, [&mode](SavedTable& table, Result&) {
        mode = table.deck.mode;
        return Outcome::kDone;
      });
  if (read.outcome != Outcome::kDone) return read;
  if (!mode.empty()) return Deal(place, deck, mode_table, mode, kTableCommand);
  // A deck the table never dealt (a main deck only the five exports have dealt) has no mode to
  // deal again: its seeds are revealed alone.
  return OnDeck(place, deck, Access::kChange, kTableCommand, [](SavedTable& table, Result& result) {
    Reveal(table, result);
    return Outcome::kDone;
  });
}

Result SetAutoRecall(std::string_view place, bool on) {
  return OnDeck(place, "", Access::kChange, kTableCommand, [on](SavedTable& table, Result&) {
    table.auto_recall = on;
    return Outcome::kDone;
  });
}

Result ClearPlace(std::string_view place) {
  if (!IsName(place)) return Refused(Outcome::kBadName);
  SaveFileLock lock = LockSaveFile();
  if (!lock) return Refused(Outcome::kSaveFailed);
  std::optional<SaveFileEdit> file = SaveFileEdit::Read();
  if (!file) return Refused(Outcome::kSaveFailed);
  IniLookup found = file->LookUp(kDeckSection, place, kTableSection, std::string(place) + ",");
  std::vector<IniValueChange> changes;
  if (found.value) changes.push_back({std::string(kDeckSection), std::string(place), std::nullopt});
  for (IniEntry& entry : found.entries) {
    changes.push_back({std::string(kTableSection), std::move(entry.key), std::nullopt});
  }
  if (!file->Replace(changes)) return Refused(Outcome::kSaveFailed);
  return Result();
}

Result DealMainDeck(std::string_view target, std::string_view mode_table, std::string_view mode) {
  return Deal(target, "", mode_table, mode, Caller{true});
}

Result DrawFromMainDeck(std::string_view target, std::string_view selector) {
  // A save file that cannot be read holds no cards to draw.
  Caller exports{true, Outcome::kNoCards, ExportsDrawUnlocked};
  return OnDeck(target, "", Access::kChange, exports, [&](SavedTable& table, Result& result) {
    Cards& draw = table.deck.draw;
    if (draw.empty()) return Outcome::kNoCards;
    for (std::size_t index : ChooseToDraw(draw, selector, target)) {
      result.cards.push_back(draw[index]);
    }
    std::vector<std::size_t> indexes;
    Cards taken = TakeByName(draw, result.cards, indexes);
    if (TranscriptLines* lines = Recording(table)) lines->Draw(indexes, taken, "");
    Cards& discard = table.deck.discard;
    discard.insert(discard.end(), taken.begin(), taken.end());
    // Saved also when nothing was drawn, as the exports have always saved.
    return Outcome::kDone;
  });
}

Result ShuffleMainDeck(std::string_view target) {
  return OnDeck(target, "", Access::kChange, Caller{true}, [](SavedTable& table, Result& result) {
    return MixDeck(table, table.deck.draw, table.deck.reversible, true, result, "shuffle")
               ? Outcome::kDone
               : Outcome::kShuffleFailed;
  });
}

CardList MainDrawPile(std::string_view target) {
  // Read as LoadDeck reads: no lock waited for, none created.
  SaveFileLock lock = LockSaveFileWhereReadersMust();
  CardList names = LoadDeckHeld(target);
  // The "DECK" entry cannot tell a pile of one card with an empty name from no pile at all; the
  // table's record of the pile can, so an empty entry is looked up there.
  if (!names.empty() || !IsName(target)) return names;
  std::optional<SaveFileEdit> file = SaveFileEdit::Read();
  if (!file) return names;
  SavedTable table(*file, target, "");
  for (Card& card : table.deck.draw) names.push_back(std::move(card.name));
  return names;
}

}  // namespace deckhand::table
