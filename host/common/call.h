// One call across the library's boundary, made the way a chat bot makes it.
#pragma once

#include <optional>
#include <string>

#include "deckhand/deckhand.h"

namespace deckhand::host {

struct CallResult {
  // The reply line; nullopt when the command left the reply buffer as it was.
  std::optional<std::string> reply;
  // Empty, or what the library did wrong with the buffer (wrote past it, left no NUL in it).
  std::string fault;
};

// Calls `command` with a writable copy of `line` (the library cuts it in place) and a reply
// buffer of DECKHAND_REPLY_SIZE bytes, and reads back what the command left there.
CallResult CallCommand(DeckhandCommand command, const std::string& line);

}  // namespace deckhand::host
