// Check: lists the cards left in the target's deck, top card first. Never writes a file.
#include <string>

#include "commands/command_frame.h"
#include "commands/commands.h"
#include "storage/saved_decks.h"
#include "text/shift_jis.h"

namespace deckhand {
namespace {

// The cards from the top joined by commas, as many whole cards as fit in `room` bytes: a list
// too long for one reply stops before the first card that does not fit, so the reply never
// shows half a name after a whole one. A top card too long to fit on its own is still listed,
// cut short by WriteReply at the last whole character that fits, so that a deck with cards does
// not read as an empty one (unless the reply has no room for even one character).
std::string CardsThatFit(const CardList& cards, std::size_t room) {
  std::string text;
  for (std::size_t i = 0; i < cards.size(); ++i) {
    std::size_t separator = i == 0 ? 0 : 1;
    if (text.size() + separator + cards[i].size() > room) {
      if (i == 0) return ShiftJisPrefixLength(cards[0], room) > 0 ? cards[0] : std::string();
      break;
    }
    if (separator != 0) text += ',';
    text += cards[i];
  }
  return text;
}

}  // namespace

void CheckCommand(const char* line, char* reply) {
  CommandFields fields = CutCommandFields(line);
  if (!fields.target) return;
  std::optional<std::size_t> room = ReplyTextRoom(*fields.target);
  if (!room) return;
  WriteReply(reply, *fields.target, CardsThatFit(LoadDeck(*fields.target), *room));
}

}  // namespace deckhand
