#include "host/irc/reply_lines.h"

namespace deckhand::irc {

std::vector<std::string> SplitReplyForWire(std::string_view cp932_text, const WireCodec& codec,
                                           std::size_t) {
  return {codec.ToWire(cp932_text)};
}

}  // namespace deckhand::irc
