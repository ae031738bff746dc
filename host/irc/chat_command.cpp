#include "host/irc/chat_command.h"

#include <algorithm>
#include <charconv>

#include "host/common/ascii.h"
#include "host/common/plugin.h"
#include "host/common/table_chat.h"

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

bool IsDealerCommand(const ChatCommand& command) {
  if (command.action == ChatAction::kPeek) return true;
  if (command.action != ChatAction::kExport) return false;
  std::string_view name = host::kExportNames[command.export_index];
  return name == "Deck" || name == "Shuffle" || name == "Check";
}

namespace {

// The word after the spaces that end a command text, when the text ends with a comma.
std::string HintFor(std::string_view text, std::string_view rest) {
  if (text.empty() || text.back() != ',') return "";
  std::size_t start = rest.find_first_not_of(' ');
  if (start == std::string_view::npos) return "";
  rest = rest.substr(start);
  return std::string(text) + std::string(rest.substr(0, rest.find(' ')));
}

std::optional<ChatCommand> ParseWord(std::string_view text);

}  // namespace

std::optional<ChatCommand> ParseChatCommand(std::string_view message, std::string_view prefix) {
  if (prefix.empty() || message.substr(0, prefix.size()) != prefix) return std::nullopt;
  std::string_view whole = message.substr(prefix.size());
  std::string_view text = whole.substr(0, whole.find(' '));
  std::optional<ChatCommand> command = ParseWord(text);
  if (command && command->action != ChatAction::kHelp) {
    command->hint = HintFor(text, whole.substr(text.size()));
  }
  return command;
}

namespace {

std::optional<ChatCommand> ParseWord(std::string_view text) {
  std::size_t comma = text.find(',');
  std::string_view word = text.substr(0, comma);
  std::string_view argument = comma == std::string_view::npos ? "" : text.substr(comma + 1);

  ChatCommand command;
  std::size_t at = word.find('@');
  // The bot's own words first: help is answered without the library.
  bool own_word = host::FindExport(word) || host::EqualIgnoringCase(word, "hdraw") ||
                  host::EqualIgnoringCase(word, "peek") || host::EqualIgnoringCase(word, "help");
  if (at != std::string_view::npos || (host::IsTableWord(word) && !own_word)) {
    if (!host::IsTableWord(word.substr(0, at))) return std::nullopt;
    command.action = ChatAction::kTable;
    command.text = text;
    return command;
  }
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
    // A count out of range is still a peek, with no count: the sender is told the range.
    std::optional<std::size_t> count = PeekCount(argument);
    command.action = ChatAction::kPeek;
    command.export_index = *host::FindExport("Check");
    command.text = "check";
    command.peek_count = count.value_or(0);
    return command;
  }
  if (host::EqualIgnoringCase(word, "help")) {
    command.action = ChatAction::kHelp;
    command.text = argument;
    return command;
  }
  return std::nullopt;
}

}  // namespace

std::string FillHostText(std::string_view text, std::string_view nick, std::size_t count) {
  return FillText(text, {{"{nick}", std::string(nick)}, {"{count}", std::to_string(count)}});
}

std::string FillText(std::string_view text, const Fills& fills) {
  std::string filled;
  while (!text.empty()) {
    auto fill = std::find_if(fills.begin(), fills.end(),
                             [&](const auto& entry) { return text.starts_with(entry.first); });
    if (fill != fills.end()) {
      filled += fill->second;
      text.remove_prefix(fill->first.size());
    } else {
      filled += text.front();
      text.remove_prefix(1);
    }
  }
  return filled;
}

}  // namespace deckhand::irc
