// Draw: takes cards from the target's saved deck by their positions from the top, names them in
// the reply and saves the deck without them.
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "commands/command_frame.h"
#include "commands/commands.h"
#include "commands/draw_selector.h"
#include "commands/reply_texts.h"
#include "storage/saved_decks.h"
#include "text/shift_jis.h"
#include "text/text_lists.h"

namespace deckhand {
namespace {

// The selector of "word,selector"; the top card when field 4 is missing or holds nothing after
// its first comma.
std::string SelectorText(const std::optional<std::string_view>& command_text) {
  if (!command_text) return std::string(kTopCardSelector);
  std::string selector = SplitText(*command_text, ",", 2)[1];
  return selector.empty() ? std::string(kTopCardSelector) : selector;
}

// How many of the chosen cards, from the first on, can be named in a reply text of at most
// `room` bytes. A card that is removed must be named, so the cards after the first that does
// not fit stay in the deck, even when a later, shorter one would fit. A first card too long to
// fit on its own is drawn all the same and named cut short (WriteReply cuts it at the last whole
// character that fits), since a card that could never be drawn would stop the deck for good;
// only a reply without room for one character of it leaves it in the deck.
std::size_t CardsThatFit(const CardList& deck, const std::vector<std::size_t>& chosen,
                         std::size_t room) {
  std::size_t length = 0;
  for (std::size_t count = 0; count < chosen.size(); ++count) {
    const std::string& card = deck[chosen[count]];
    std::size_t added = card.size() + (count == 0 ? 0 : 1);
    if (added > room - length) {
      return count == 0 && ShiftJisPrefixLength(card, room) > 0 ? 1 : count;
    }
    length += added;
  }
  return chosen.size();
}

CardList CardsAt(const CardList& deck, const std::vector<std::size_t>& indexes) {
  CardList cards;
  cards.reserve(indexes.size());
  for (std::size_t index : indexes) cards.push_back(deck[index]);
  return cards;
}

// Removes, for each drawn name in turn, the card of that name nearest the top that is still in
// the deck; the others keep their order. When a deck holds two cards of one name, the upper one
// goes whichever was drawn: the cards are alike to anyone reading the deck. Each name's
// positions are queued top first, so the whole removal is one pass over the deck.
void RemoveByName(CardList& deck, const CardList& drawn) {
  if (drawn.empty()) return;
  struct Queue {
    std::vector<std::size_t> positions;
    std::size_t next = 0;
  };
  std::unordered_map<std::string_view, Queue> by_name;
  for (const std::string& name : drawn) by_name.try_emplace(name);
  for (std::size_t index = 0; index < deck.size(); ++index) {
    auto found = by_name.find(deck[index]);
    if (found != by_name.end()) found->second.positions.push_back(index);
  }
  std::vector<bool> removed(deck.size(), false);
  for (const std::string& name : drawn) {
    Queue& queue = by_name.at(name);
    if (queue.next < queue.positions.size()) removed[queue.positions[queue.next++]] = true;
  }
  std::size_t kept = 0;
  for (std::size_t index = 0; index < deck.size(); ++index) {
    if (removed[index]) continue;
    // A string moved onto itself may be left empty, so cards already in place stay put.
    if (kept != index) deck[kept] = std::move(deck[index]);
    ++kept;
  }
  deck.resize(kept);
}

}  // namespace

void DrawCommand(const char* line, char* reply) {
  CommandFields fields = CutCommandFields(line);
  if (!fields.target) return;
  std::string_view target = *fields.target;
  std::optional<std::size_t> room = ReplyTextRoom(target);
  if (!room) return;

  // Held from the load to the save, so that no other caller saves this file in between.
  SaveFileLock lock = LockSaveFile();
  if (!lock) {
    // A target with no cards needs no save, so it gets the same answer as anywhere else, also
    // where the lock cannot be had (a directory the library may read but not write).
    WriteReply(reply, target, LoadDeckHeld(target).empty() ? kNoCardsText : kSaveFailedText);
    return;
  }
  // A save file that cannot be read, or is no file at all, holds no cards to draw.
  CardList deck = LoadDeckHeld(target);
  if (deck.empty()) {
    // No save: a target that never had a deck gains no entry.
    WriteReply(reply, target, kNoCardsText);
    return;
  }

  std::vector<std::size_t> chosen = SelectCards(SelectorText(fields.command_text), deck.size());
  chosen.resize(CardsThatFit(deck, chosen, *room));
  CardList drawn = CardsAt(deck, chosen);
  RemoveByName(deck, drawn);

  // Saved before replying, and also when nothing was drawn: a reply must never announce cards
  // that are still in the saved deck.
  if (!SaveDeck(target, deck)) {
    WriteReply(reply, target, kSaveFailedText);
    return;
  }
  WriteReply(reply, target, drawn.empty() ? std::string(kNothingDrawnText) : JoinCards(drawn));
}

}  // namespace deckhand
