#include "commands/commands.h"

namespace deckhand {

// Not built yet: writes no reply and touches no file.
void DeckCommand(const char* /*line*/, char* /*reply*/) {}

}  // namespace deckhand
