// Lines from an IRC server taken apart: message tags, prefix, command and parameters.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace deckhand::irc {

struct IrcMessage {
  std::vector<std::pair<std::string, std::string>> tags;  // IRCv3 tags, values unescaped
  std::string prefix;                                     // without the ':'; empty when none
  std::string command;              // as sent ("PRIVMSG", "001"), upper-cased letters
  std::vector<std::string> params;  // the trailing parameter (if any) is the last one
};

// The most parameters a line carries; anything after the last one belongs to it, as if it were
// the trailing parameter.
inline constexpr std::size_t kMaxIrcParams = 15;

// One line from the server, CR LF already removed. nullopt when it holds no command.
std::optional<IrcMessage> ParseIrcLine(std::string_view line);

// "nick" of "nick!user@host" (also of "nick@host"; the whole prefix when it has neither).
std::string_view NickOf(std::string_view prefix);

}  // namespace deckhand::irc
