// Shuffle: puts the cards left in the target's deck in a new random order.
#include <optional>
#include <utility>

#include "commands/command_frame.h"
#include "commands/commands.h"
#include "commands/reply_texts.h"
#include "random/random.h"
#include "storage/saved_decks.h"

namespace deckhand {

void ShuffleCommand(const char* line, char* reply) {
  CommandFields fields = CutCommandFields(line);
  // Without a target, or with one too long to head a reply, nothing is said and nothing saved.
  if (!fields.target) return;
  if (!ReplyTextRoom(*fields.target)) return;

  // Held from the load to the save, so that no other caller saves this file in between.
  SaveFileLock lock = LockSaveFile();
  if (!lock) {
    WriteReply(reply, *fields.target, kSaveFailedText);
    return;
  }
  std::optional<CardList> loaded = LoadDeckToSave(*fields.target);
  if (!loaded) {
    WriteReply(reply, *fields.target, kSaveFailedText);
    return;
  }
  CardList cards = std::move(*loaded);
  SystemRandom generator;
  if (!ShuffleCards(cards, generator)) {
    WriteReply(reply, *fields.target, kShuffleFailedText);
    return;
  }
  // Saved in every case, so a target without a deck gains an empty one. The reply tells what
  // happened, so it is written only once the save is settled.
  if (!SaveDeck(*fields.target, cards)) {
    WriteReply(reply, *fields.target, kSaveFailedText);
    return;
  }
  WriteReply(reply, *fields.target, kShuffledText);
}

}  // namespace deckhand
