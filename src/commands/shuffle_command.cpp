#include "commands/commands.h"

namespace deckhand {

// Not built yet: writes no reply and touches no file.
void ShuffleCommand(const char* /*line*/, char* /*reply*/) {}

}  // namespace deckhand
