// What a chat message asks of the bot: one of the table's commands (host/common/
// command_registry.h); anything else is no command and is ignored.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/common/command_registry.h"

namespace deckhand::host {

struct ChatCommand {
  const ChatCommandInfo* info = nullptr;  // the command its word names
  // The text after the prefix up to the first space, as a chat cuts a command ("hdraw@tarot,3"),
  // still in the wire's bytes.
  std::string text;
  std::string deck;       // the deck "@DECK" names; empty for the main deck
  std::string arguments;  // what follows the first comma
  // "draw,2" for "!draw, 2": a space after the comma cuts the argument off, so the command is
  // not run and the sender is asked whether they meant this.
  std::string hint;
};

// The command in `message` when it starts with `prefix` directly followed by a command word of
// the registry (in any letter case, "@DECK" after it or not) ended by a comma, a space or the
// message's end. nullopt for anything else.
std::optional<ChatCommand> ParseChatCommand(std::string_view message, std::string_view prefix);

// `text` with every "{nick}" and "{count}" replaced.
std::string FillHostText(std::string_view text, std::string_view nick, std::size_t count);

// `text` with every "{name}" of `fills` replaced by its value, in one pass: a value is never
// filled in itself.
using Fills = std::vector<std::pair<std::string_view, std::string>>;
std::string FillText(std::string_view text, const Fills& fills);

}  // namespace deckhand::host
