// Chat commands played on the library: builds the command line a host gives the exports, calls
// them, and turns their replies into NOTICE lines that fit the wire.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/common/plugin.h"
#include "host/irc/chat_command.h"
#include "host/irc/config.h"
#include "host/irc/wire_codec.h"

namespace deckhand::irc {

// A PRIVMSG as the server relayed it; every text in the wire's bytes.
struct ChatMessage {
  std::string_view sender;  // the sender's nick
  std::string_view where;   // the channel as the server names it, or the bot's own nick
  bool in_channel = false;
  std::string_view text;
};

class Game {
 public:
  // nullopt and `error` when a host text has no Shift_JIS form.
  static std::optional<Game> Create(const host::Plugin& plugin, const BotConfig& config,
                                    const WireCodec& codec, std::string* error);

  // The lines (without CR LF) that answer `message`; none when it is no command. Each line,
  // behind a relay prefix of `relay_prefix_bytes` that the server adds, fits in 512 bytes.
  std::vector<std::string> Answer(const ChatMessage& message, std::size_t relay_prefix_bytes) const;

 private:
  Game(const host::Plugin& plugin, const BotConfig& config, const WireCodec& codec)
      : plugin_(&plugin), config_(&config), codec_(codec) {}

  struct Call;  // one command's fields, in the library's bytes
  std::optional<std::string> CallExport(const Call& call, std::size_t export_index,
                                        std::string_view text) const;
  std::optional<std::size_t> CountCards(const Call& call) const;
  void Notice(std::string_view to, std::string_view cp932_text, std::size_t relay_prefix_bytes,
              std::vector<std::string>& lines) const;
  void HiddenDraw(const Call& call, const ChatMessage& message, const ChatCommand& command,
                  std::size_t relay_prefix_bytes, std::vector<std::string>& lines) const;
  void Peek(const Call& call, const ChatMessage& message, const ChatCommand& command,
            std::size_t relay_prefix_bytes, std::vector<std::string>& lines) const;

  const host::Plugin* plugin_;
  const BotConfig* config_;
  WireCodec codec_;
  // The host texts in Shift_JIS.
  std::string hidden_draw_text_;
  std::string not_converted_text_;
  std::string peek_empty_text_;
  // Time spent inside the library for the command being answered, for the log.
  mutable std::chrono::steady_clock::duration library_time_{};
};

// Longest IRC line, CR LF included.
inline constexpr std::size_t kMaxIrcLine = 512;

}  // namespace deckhand::irc
