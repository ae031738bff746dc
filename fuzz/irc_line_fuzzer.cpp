// Fuzzes the IRC bot's reader of server lines on arbitrary bytes. Properties:
//  - reading never crashes or reads outside the line, whatever the bytes;
//  - a line read holds a command without spaces and at most 15 parameters;
//  - every parameter but the last is one word: not empty, no space, not starting with ':';
//  - every parameter and the prefix are taken from the line itself.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "host/irc/irc_line.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

void CheckMessage(std::string_view line, const deckhand::irc::IrcMessage& message) {
  if (message.command.empty() || message.command.find(' ') != std::string::npos) {
    Fail("command empty or with a space");
  }
  if (message.params.size() > deckhand::irc::kMaxIrcParams) Fail("too many parameters");
  for (std::size_t i = 0; i + 1 < message.params.size(); ++i) {
    const std::string& param = message.params[i];
    if (param.empty() || param.find(' ') != std::string::npos || param.front() == ':') {
      Fail("a middle parameter is not one word");
    }
  }
  for (const std::string& param : message.params) {
    if (line.find(param) == std::string_view::npos) Fail("a parameter not from the line");
  }
  if (line.find(message.prefix) == std::string_view::npos) Fail("a prefix not from the line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  std::optional<deckhand::irc::IrcMessage> message = deckhand::irc::ParseIrcLine(line);
  if (message) CheckMessage(line, *message);
  deckhand::irc::NickOf(line);
  return 0;
}
