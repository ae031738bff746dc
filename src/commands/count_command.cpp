#include "commands/command_frame.h"
#include "commands/commands.h"
#include "storage/saved_decks.h"

namespace deckhand {

void CountCommand(const char* line, char* reply) {
  CommandFields fields = CutCommandFields(line);
  if (!fields.target) return;
  std::optional<std::size_t> room = ReplyTextRoom(*fields.target);
  if (!room) return;
  std::string count = std::to_string(LoadDeck(*fields.target).size());
  // A number cut short would report a wrong count, so a reply that cannot hold it is not sent.
  if (count.size() > *room) return;
  WriteReply(reply, *fields.target, count);
}

}  // namespace deckhand
