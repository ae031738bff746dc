#include "host/common/chat_command.h"

#include "host/common/fill_text.h"

namespace deckhand::host {
namespace {

// The word after the spaces that end a command text, when the text ends with a comma.
std::string HintFor(std::string_view text, std::string_view rest) {
  if (text.empty() || text.back() != ',') return "";
  std::size_t start = rest.find_first_not_of(' ');
  if (start == std::string_view::npos) return "";
  rest = rest.substr(start);
  return std::string(text) + std::string(rest.substr(0, rest.find(' ')));
}

}  // namespace

std::optional<ChatCommand> ParseChatCommand(std::string_view message, std::string_view prefix) {
  if (prefix.empty() || message.substr(0, prefix.size()) != prefix) return std::nullopt;
  std::string_view whole = message.substr(prefix.size());
  std::string_view text = whole.substr(0, whole.find(' '));
  std::size_t comma = text.find(',');
  std::string_view head = text.substr(0, comma);
  std::size_t at = head.find('@');
  const ChatCommandInfo* info = FindChatCommand(head.substr(0, at));
  if (info == nullptr) return std::nullopt;
  ChatCommand command;
  command.info = info;
  command.text = text;
  if (at != std::string_view::npos) command.deck = head.substr(at + 1);
  if (comma != std::string_view::npos) command.arguments = text.substr(comma + 1);
  if (info->id != CommandId::kHelp) command.hint = HintFor(text, whole.substr(text.size()));
  return command;
}

std::string FillHostText(std::string_view text, std::string_view nick, std::size_t count) {
  return FillText(text, {{"{nick}", std::string(nick)}, {"{count}", std::to_string(count)}});
}

std::string FillText(std::string_view text, const Fills& fills) {
  return FillPlaceholders(text, fills);
}

}  // namespace deckhand::host
