// The built library loaded at run time, as a host loads it, and a way to call its exports the
// way a host does: a writable copy of the command line and a 4,096-byte reply buffer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "deckhand/deckhand.h"

namespace deckhand::testing {

struct Plugin {
  DeckhandCommand deck = nullptr;
  DeckhandCommand draw = nullptr;
  DeckhandCommand count = nullptr;
  DeckhandCommand check = nullptr;
  DeckhandCommand shuffle = nullptr;
};

// The library under test, loaded once from the path the build gives (per platform).
const Plugin& LoadedPlugin();

// Calls `command` with `line`. Returns the reply, or nullopt when the command left the buffer
// as it was. Records a test failure when the command wrote past the buffer or left no NUL in it.
std::optional<std::string> CallCommand(DeckhandCommand command, std::string_view line);

}  // namespace deckhand::testing
