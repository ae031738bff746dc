// Chat commands played at the library's table (host/common/table_chat.h), their answers turned
// into NOTICE lines that fit the wire. Every command gets a reply or a reason.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/common/table_chat.h"
#include "host/irc/chat_command.h"
#include "host/irc/config.h"
#include "host/irc/notices.h"
#include "host/irc/wire_codec.h"

namespace deckhand::irc {

// A PRIVMSG as the server relayed it; every text in the wire's bytes.
struct ChatMessage {
  std::string_view sender;  // the sender's nick
  std::string_view where;   // the channel as the server names it, or the bot's own nick
  bool in_channel = false;
  std::string_view text;
  // In a private message: the library's target of the sender's private deck (ASCII); empty
  // plays under the sender's nick.
  std::string_view private_target = {};
  // Whether the sender may run the dealer's commands here (always in a private message).
  bool may_deal = true;
  // The channel's members when the command was sent (wire bytes), whom a deal or a give may
  // name; empty in a private message.
  std::vector<std::string> members = {};
};

struct GameAnswer {
  std::vector<std::string> lines;  // without CR LF
  bool dealt = false;              // a new main deck was dealt
  std::string silent_reason;       // for the log, when the library said nothing
};

class Game {
 public:
  // nullopt and `error` when a host text has no Shift_JIS form. `modes` are the mode table's
  // names (CP932), told to a player who names none or a wrong one.
  static std::optional<Game> Create(const BotConfig& config, const WireCodec& codec,
                                    std::vector<std::string> modes, std::string* error);

  // The lines that answer `message`; none when it is no command. Each line, behind a relay
  // prefix of `relay_prefix_bytes` that the server adds, fits in 512 bytes. A reply to the
  // channel longer than the settings' channel_lines goes to the sender, and the channel is told
  // so in one line.
  GameAnswer Play(const ChatMessage& message, std::size_t relay_prefix_bytes) const;
  std::vector<std::string> Answer(const ChatMessage& message,
                                  std::size_t relay_prefix_bytes) const {
    return Play(message, relay_prefix_bytes).lines;
  }

  // The mode table's names, for texts: "trump, tarot" in the wire's bytes.
  const std::string& wire_modes() const { return wire_modes_; }

 private:
  Game(const BotConfig& config, const WireCodec& codec)
      : config_(&config), codec_(codec), notices_(codec.encoding()) {}

  struct Call;  // one command's fields and where its lines go
  void Reply(const Call& call, std::string_view cp932_text, GameAnswer& answer) const;
  void Private(const Call& call, std::string_view cp932_text, GameAnswer& answer) const;
  // A deal of no mode, or of one the table did not hold at start, told to the sender.
  void NoDeal(const Call& call, std::string_view mode, GameAnswer& answer) const;
  bool KnownMode(std::string_view mode) const;
  // Every command but help goes to the table, so that each card is always in one place: a draw
  // goes onto the discard pile, a hidden draw into the drawer's hand.
  void PlayTable(const Call& call, const ChatMessage& message, std::string_view cp932_text,
                 GameAnswer& answer) const;

  host::TableTexts table_texts_ = host::DefaultTableTexts();
  const BotConfig* config_;
  WireCodec codec_;
  Notices notices_;
  std::vector<std::string> modes_;  // CP932
  std::string wire_modes_;
  // Time spent at the library's table for the command being answered, for the log.
  mutable std::chrono::steady_clock::duration library_time_{};
};

}  // namespace deckhand::irc
