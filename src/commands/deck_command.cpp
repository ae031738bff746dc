// Deck: deals the target a fresh shuffled deck of the card set that a mode names.
#include <string>

#include "commands/command_frame.h"
#include "commands/commands.h"
#include "commands/reply_texts.h"
#include "random/random.h"
#include "storage/card_sets.h"
#include "storage/saved_decks.h"

namespace deckhand {

void DeckCommand(const char* line, char* reply) {
  CommandFields fields = CutCommandFields(line);
  // A line without a target, a mode table or a command text is not one a host sends: it gets no
  // reply and changes nothing. Neither does a target too long to head a reply.
  if (!fields.target || !fields.mode_table || !fields.command_text) return;
  if (!ReplyTextRoom(*fields.target)) return;

  std::string mode = ModeName(*fields.command_text);
  if (mode.empty()) return;
  std::string deck_file = LookUpDeckFile(*fields.mode_table, mode);
  if (deck_file.empty()) return;
  CardSet set = ReadCardSet(deck_file);
  if (set.outcome == CardSetOutcome::kTooLarge) return;
  // A deck file that cannot be read (a typo in the mode table, a file not yet copied) must not
  // deal an empty deck over the target's game and call it dealt.
  if (set.outcome == CardSetOutcome::kUnreadable) {
    WriteReply(reply, *fields.target, kDeckFileUnreadableText);
    return;
  }
  CardList& cards = set.cards;

  SystemRandom generator;
  if (!ShuffleCards(cards, generator)) {
    WriteReply(reply, *fields.target, kShuffleFailedText);
    return;
  }
  // The reply tells what happened, so it is written only once the save is settled. SaveDeck
  // holds the save file's lock while it rewrites the file, so no other caller's save is lost.
  if (!SaveDeck(*fields.target, cards)) {
    WriteReply(reply, *fields.target, kSaveFailedText);
    return;
  }
  WriteReply(reply, *fields.target, kDeckSetText, mode);
}

}  // namespace deckhand
