// The five functions hosts call. Each only hands the call to its command: an exception that
// crossed into the host would bring the whole bot down, so none may leave here.
#include "deckhand/deckhand.h"

#include "commands/commands.h"

namespace {

template <typename Command>
void Guarded(Command command, const char* line, char* reply) noexcept {
  if (line == nullptr || reply == nullptr) return;
  try {
    command(line, reply);
  } catch (...) {
    // Out of memory or a failure deep in the standard library: the command has changed no file
    // (saves are atomic), so the host is left as if the command had not been called.
  }
}

}  // namespace

extern "C" {

DECKHAND_API void DECKHAND_CALL Deck(char* line, char* reply) {
  Guarded(deckhand::DeckCommand, line, reply);
}

DECKHAND_API void DECKHAND_CALL Draw(char* line, char* reply) {
  Guarded(deckhand::DrawCommand, line, reply);
}

DECKHAND_API void DECKHAND_CALL Count(char* line, char* reply) {
  Guarded(deckhand::CountCommand, line, reply);
}

DECKHAND_API void DECKHAND_CALL Check(char* line, char* reply) {
  Guarded(deckhand::CheckCommand, line, reply);
}

DECKHAND_API void DECKHAND_CALL Shuffle(char* line, char* reply) {
  Guarded(deckhand::ShuffleCommand, line, reply);
}

}  // extern "C"
