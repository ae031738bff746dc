#include "host/irc/wire_output.h"

#include "host/common/log.h"
#include "host/irc/connection.h"

namespace deckhand::irc {

void WireOutput::Send(std::string line) {
  host::Log(host::LogLevel::kDebug, "> " + WithoutSecrets(line));
  urgent.push_back(std::move(line));
}

std::string Shown(const host::WireCodec& codec, std::string_view wire) {
  if (codec.encoding() == host::WireEncoding::kUtf8) return std::string(wire);
  std::optional<std::string> cp932 = codec.ToLibrary(wire);
  if (!cp932) return std::string(wire);
  return host::WireCodec(host::WireEncoding::kUtf8).ToWire(*cp932);
}

}  // namespace deckhand::irc
