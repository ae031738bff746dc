#include "host/irc/irc_line.h"

namespace deckhand::irc {

std::optional<IrcMessage> ParseIrcLine(std::string_view) { return std::nullopt; }

std::string_view NickOf(std::string_view prefix) { return prefix; }

}  // namespace deckhand::irc
