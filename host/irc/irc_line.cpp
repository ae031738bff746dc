#include "host/irc/irc_line.h"

#include <cctype>

namespace deckhand::irc {
namespace {

// Takes the text up to the next space (or the end) off the front of `rest`.
std::string_view TakeWord(std::string_view& rest) {
  std::size_t end = rest.find(' ');
  std::string_view word = rest.substr(0, end);
  rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
  return word;
}

void SkipSpaces(std::string_view& rest) {
  std::size_t start = rest.find_first_not_of(' ');
  rest.remove_prefix(start == std::string_view::npos ? rest.size() : start);
}

// A tag value as sent has ';', ' ', '\', CR and LF escaped; an unknown escape stands for the
// character itself, and a lone '\' at the end stands for nothing.
std::string UnescapeTagValue(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\') {
      out += value[i];
      continue;
    }
    if (++i == value.size()) break;
    switch (value[i]) {
      case ':':
        out += ';';
        break;
      case 's':
        out += ' ';
        break;
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      default:
        out += value[i];
        break;  // "\\" among them
    }
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> ParseTags(std::string_view tags) {
  std::vector<std::pair<std::string, std::string>> parsed;
  while (!tags.empty()) {
    std::size_t end = tags.find(';');
    std::string_view tag = tags.substr(0, end);
    tags.remove_prefix(end == std::string_view::npos ? tags.size() : end + 1);
    std::size_t equals = tag.find('=');
    std::string_view key = tag.substr(0, equals);
    if (key.empty()) continue;
    std::string value =
        equals == std::string_view::npos ? std::string() : UnescapeTagValue(tag.substr(equals + 1));
    parsed.emplace_back(std::string(key), std::move(value));
  }
  return parsed;
}

std::string UpperCase(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

}  // namespace

std::optional<IrcMessage> ParseIrcLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  IrcMessage message;
  std::string_view rest = line;
  if (!rest.empty() && rest.front() == '@') {
    rest.remove_prefix(1);
    message.tags = ParseTags(TakeWord(rest));
    SkipSpaces(rest);
  }
  if (!rest.empty() && rest.front() == ':') {
    rest.remove_prefix(1);
    message.prefix = std::string(TakeWord(rest));
    SkipSpaces(rest);
  }
  SkipSpaces(rest);
  std::string_view command = TakeWord(rest);
  if (command.empty()) return std::nullopt;
  message.command = UpperCase(command);
  while (true) {
    SkipSpaces(rest);
    if (rest.empty()) break;
    // The trailing parameter, or the last one allowed: the rest of the line, spaces and all.
    if (rest.front() == ':' || message.params.size() + 1 == kMaxIrcParams) {
      if (rest.front() == ':') rest.remove_prefix(1);
      message.params.emplace_back(rest);
      break;
    }
    message.params.emplace_back(TakeWord(rest));
  }
  return message;
}

std::string_view NickOf(std::string_view prefix) {
  return prefix.substr(0, prefix.find_first_of("!@"));
}

}  // namespace deckhand::irc
