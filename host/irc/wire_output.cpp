#include "host/irc/wire_output.h"

#include "host/irc/connection.h"
#include "host/irc/log.h"

namespace deckhand::irc {

void WireOutput::Send(std::string line) {
  Log(LogLevel::kDebug, "> " + WithoutSecrets(line));
  urgent.push_back(std::move(line));
}

std::string Shown(const WireCodec& codec, std::string_view wire) {
  if (codec.encoding() == WireEncoding::kUtf8) return std::string(wire);
  std::optional<std::string> cp932 = codec.ToLibrary(wire);
  if (!cp932) return std::string(wire);
  return WireCodec(WireEncoding::kUtf8).ToWire(*cp932);
}

}  // namespace deckhand::irc
