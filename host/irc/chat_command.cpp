#include "host/irc/chat_command.h"

#include <charconv>

#include "host/common/ascii.h"
#include "host/common/plugin.h"

namespace deckhand::irc {
namespace {

// The peek's count: absent means the top card; anything but a plain number in range is refused.
std::optional<std::size_t> PeekCount(std::string_view argument) {
  if (argument.empty()) return 1;
  std::size_t count = 0;
  auto [end, failure] = std::from_chars(argument.data(), argument.data() + argument.size(), count);
  if (failure != std::errc() || end != argument.data() + argument.size() || count == 0 ||
      count > kMaxPeekCount) {
    return std::nullopt;
  }
  return count;
}

}  // namespace

std::optional<ChatCommand> ParseChatCommand(std::string_view message, std::string_view prefix) {
  if (prefix.empty() || message.substr(0, prefix.size()) != prefix) return std::nullopt;
  std::string_view text = message.substr(prefix.size());
  text = text.substr(0, text.find(' '));
  std::size_t comma = text.find(',');
  std::string_view word = text.substr(0, comma);
  std::string_view argument = comma == std::string_view::npos ? "" : text.substr(comma + 1);

  ChatCommand command;
  if (std::optional<std::size_t> index = host::FindExport(word)) {
    command.export_index = *index;
    command.text = text;
    return command;
  }
  if (host::EqualIgnoringCase(word, "hdraw")) {
    command.action = ChatAction::kHiddenDraw;
    command.export_index = *host::FindExport("Draw");
    command.text = "draw," + std::string(argument);
    return command;
  }
  if (host::EqualIgnoringCase(word, "peek")) {
    std::optional<std::size_t> count = PeekCount(argument);
    if (!count) return std::nullopt;
    command.action = ChatAction::kPeek;
    command.export_index = *host::FindExport("Check");
    command.text = "check";
    command.peek_count = *count;
    return command;
  }
  return std::nullopt;
}

std::string FillHostText(std::string_view text, std::string_view nick, std::size_t count) {
  // One pass, so that a nick such as "{count}" is shown as it is, never filled in itself.
  constexpr std::string_view kNick = "{nick}";
  constexpr std::string_view kCount = "{count}";
  std::string filled;
  while (!text.empty()) {
    if (text.substr(0, kNick.size()) == kNick) {
      filled += nick;
      text.remove_prefix(kNick.size());
    } else if (text.substr(0, kCount.size()) == kCount) {
      filled += std::to_string(count);
      text.remove_prefix(kCount.size());
    } else {
      filled += text.front();
      text.remove_prefix(1);
    }
  }
  return filled;
}

}  // namespace deckhand::irc
