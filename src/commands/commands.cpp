// The five commands over the table's main deck: each cuts its fields, asks the engine, and tells
// the outcome in the library's reply line. What a command does to the cards is the engine's
// (table/main_deck.h); what it says, and when it says nothing, is decided here.
#include "commands/commands.h"

#include <string>

#include "commands/command_frame.h"
#include "commands/reply_texts.h"
#include "storage/card_sets.h"
#include "table/main_deck.h"
#include "table/saved_table.h"
#include "text/shift_jis.h"
#include "text/text_lists.h"

namespace deckhand {
namespace {

using table::Outcome;
using table::Result;

// The selector of "word,selector"; empty (the top card) when field 4 is missing or holds nothing
// after its first comma.
std::string SelectorText(const std::optional<std::string_view>& command_text) {
  if (!command_text) return std::string();
  return SplitText(*command_text, ",", 2)[1];
}

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

// The failures every saving command tells alike.
void TellFailure(char* reply, std::string_view target, Outcome outcome) {
  WriteReply(reply, target,
             outcome == Outcome::kShuffleFailed ? kShuffleFailedText : kSaveFailedText);
}

}  // namespace

void DeckCommand(const char* line, char* reply) {
  CommandFields fields = CutCommandFields(line);
  // A line without a target, a mode table or a command text is not one a host sends: it gets no
  // reply and changes nothing. Neither does a target too long to head a reply.
  if (!fields.target || !fields.mode_table || !fields.command_text) return;
  if (!ReplyTextRoom(*fields.target)) return;
  Result dealt =
      table::DealMainDeck(*fields.target, *fields.mode_table, ModeName(*fields.command_text));
  switch (dealt.outcome) {
    case Outcome::kDone:
      return WriteReply(reply, *fields.target, kDeckSetText, dealt.mode);
    // A deck file that cannot be read (a typo in the mode table, a file not yet copied) must
    // not deal an empty deck over the target's game and call it dealt.
    case Outcome::kDeckFileUnreadable:
      return WriteReply(reply, *fields.target, kDeckFileUnreadableText);
    case Outcome::kShuffleFailed:
    case Outcome::kSaveFailed:
      return TellFailure(reply, *fields.target, dealt.outcome);
    default:
      // No mode, a mode the table lacks, or a card set too large to deal: no reply, as hosts
      // have always been answered.
      return;
  }
}

void DrawCommand(const char* line, char* reply) {
  CommandFields fields = CutCommandFields(line);
  if (!fields.target || !ReplyTextRoom(*fields.target)) return;
  Result drawn = table::DrawFromMainDeck(*fields.target, SelectorText(fields.command_text));
  switch (drawn.outcome) {
    case Outcome::kDone:
      return WriteReply(reply, *fields.target,
                        drawn.cards.empty() ? std::string(kNothingDrawnText)
                                            : JoinCards(table::NamesOf(drawn.cards)));
    case Outcome::kNoCards:
      return WriteReply(reply, *fields.target, kNoCardsText);
    default:
      return TellFailure(reply, *fields.target, drawn.outcome);
  }
}

void CountCommand(const char* line, char* reply) {
  CommandFields fields = CutCommandFields(line);
  if (!fields.target) return;
  std::optional<std::size_t> room = ReplyTextRoom(*fields.target);
  if (!room) return;
  std::string count = std::to_string(table::MainDrawPile(*fields.target).size());
  // A number cut short would report a wrong count, so a reply that cannot hold it is not sent.
  if (count.size() > *room) return;
  WriteReply(reply, *fields.target, count);
}

void CheckCommand(const char* line, char* reply) {
  CommandFields fields = CutCommandFields(line);
  if (!fields.target) return;
  std::optional<std::size_t> room = ReplyTextRoom(*fields.target);
  if (!room) return;
  WriteReply(reply, *fields.target, CardsThatFit(table::MainDrawPile(*fields.target), *room));
}

void ShuffleCommand(const char* line, char* reply) {
  CommandFields fields = CutCommandFields(line);
  // Without a target, or with one too long to head a reply, nothing is said and nothing saved.
  if (!fields.target || !ReplyTextRoom(*fields.target)) return;
  Result shuffled = table::ShuffleMainDeck(*fields.target);
  if (shuffled.outcome != Outcome::kDone)
    return TellFailure(reply, *fields.target, shuffled.outcome);
  WriteReply(reply, *fields.target, kShuffledText);
}

}  // namespace deckhand
