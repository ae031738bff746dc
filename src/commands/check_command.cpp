#include "commands/commands.h"

namespace deckhand {

// Not built yet: writes no reply and touches no file.
void CheckCommand(const char* /*line*/, char* /*reply*/) {}

}  // namespace deckhand
