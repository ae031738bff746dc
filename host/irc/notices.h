// NOTICE lines that fit the wire, from the library's replies (CP932) and from the bot's own texts
// (UTF-8 in the settings, filled with names as the wire writes them).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "host/irc/chat_command.h"
#include "host/irc/wire_codec.h"

namespace deckhand::irc {

// Longest IRC line, CR LF included.
inline constexpr std::size_t kMaxIrcLine = 512;

class Notices {
 public:
  explicit Notices(WireEncoding encoding) : codec_(encoding) {}

  // "NOTICE <to> :<label><piece>" for each piece of a library text; each line fits in 512 bytes
  // behind a relay prefix of `relay_prefix_bytes`. `to` and `label` are wire bytes.
  std::vector<std::string> Library(std::string_view to, std::string_view label,
                                   std::string_view cp932_text,
                                   std::size_t relay_prefix_bytes) const;
  // The same for a text of the settings with `fills` (wire bytes) in it.
  std::vector<std::string> Host(std::string_view to, std::string_view label,
                                std::string_view utf8_text, const Fills& fills,
                                std::size_t relay_prefix_bytes) const;

  const WireCodec& codec() const { return codec_; }

 private:
  WireCodec codec_;
};

}  // namespace deckhand::irc
