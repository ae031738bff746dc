#include "host/irc/wire_codec.h"

namespace deckhand::irc {

std::optional<WireEncoding> ParseWireEncoding(std::string_view) { return std::nullopt; }

WireCodec::WireCodec(WireEncoding encoding) : encoding_(encoding) {}

std::optional<std::string> WireCodec::ToLibrary(std::string_view wire) const {
  return std::string(wire);
}

std::string WireCodec::ToWire(std::string_view cp932) const { return std::string(cp932); }

}  // namespace deckhand::irc
