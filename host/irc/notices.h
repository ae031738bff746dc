// NOTICE lines that fit the wire, from the library's replies (CP932) and from the bot's own texts
// (UTF-8 in the settings, filled with names as the wire writes them).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "host/common/chat_application.h"
#include "host/common/chat_command.h"
#include "host/common/wire_codec.h"
#include "host/irc/config.h"

namespace deckhand::irc {

// Longest IRC line, CR LF included.
inline constexpr std::size_t kMaxIrcLine = 512;

class Notices {
 public:
  explicit Notices(host::WireEncoding encoding) : codec_(encoding) {}

  // "NOTICE <to> :<label><piece>" for each piece of a library text; each line fits in 512 bytes
  // behind a relay prefix of `relay_prefix_bytes`. `to` and `label` are wire bytes.
  std::vector<std::string> Library(std::string_view to, std::string_view label,
                                   std::string_view cp932_text,
                                   std::size_t relay_prefix_bytes) const;
  // The same for a text of the settings with `fills` (wire bytes) in it.
  std::vector<std::string> Host(std::string_view to, std::string_view label,
                                std::string_view utf8_text, const host::Fills& fills,
                                std::size_t relay_prefix_bytes) const;

  // The same for a UTF-8 text, such as a line of the game's.
  std::vector<std::string> Utf8(std::string_view to, std::string_view label,
                                std::string_view utf8_text, std::size_t relay_prefix_bytes) const;

  const host::WireCodec& codec() const { return codec_; }

 private:
  // A wire text without a CP932 form, cut at UTF-8 character starts.
  std::vector<std::string> Cut(std::string_view to, std::string_view label, std::string_view wire,
                               std::size_t relay_prefix_bytes) const;

  host::WireCodec codec_;
};

// Where a chat command came from on the wire, for the lines that answer it.
struct ReplyRoute {
  std::string_view sender;  // the sender's nick
  std::string_view where;   // the channel, or the bot's nick in a private message
  bool in_channel = false;
  std::size_t relay_prefix_bytes = 0;
};

struct Notice {
  std::string line;     // without CR LF
  bool secret = false;  // shows cards to its receiver: kept out of the log
  std::string to_id;    // the receiving player's identity, for a line to one player
};

// The game's answer as NOTICE lines. A reply to the channel longer than the settings'
// channel_lines goes to the sender, and the channel is told so in one line, so that no one
// command floods a channel.
std::vector<Notice> AnswerNotices(const host::ChatAnswer& answer, const ReplyRoute& route,
                                  const Notices& notices, const BotConfig& config);

}  // namespace deckhand::irc
