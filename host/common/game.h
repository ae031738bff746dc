// The card game behind the bot, as a chat application: a chat command in (UTF-8), lines out,
// each addressed to the place or to one player. Every command but help is played at the
// library's table (host/common/table_chat.h); the game keeps its own rules and state: who may
// deal (dealer rules, the deck's owner) and the players' private decks. Every command gets a
// reply or a reason. Nothing here frames lines for a chat protocol.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/common/bot_state.h"
#include "host/common/chat_application.h"
#include "host/common/chat_command.h"
#include "host/common/game_settings.h"
#include "host/common/permissions.h"
#include "host/common/table_chat.h"
#include "host/common/wire_codec.h"

namespace deckhand::host {

// A chat command as the game plays it; every text in UTF-8.
struct ChatMessage {
  std::string_view sender;  // the sender's name
  std::string_view sender_id;
  std::string_view player_key;  // the sender's key at the table (BotState::TableKey)
  std::string_view where;       // the channel, or empty at the sender's private table
  bool in_channel = false;
  std::string_view text;
  // At the private table: the library's target of the sender's private deck, or of their own
  // table without a deck (ASCII).
  std::string_view private_target = {};
  // Whether the sender may run the dealer's commands here (always at the private table).
  bool may_deal = true;
  // The bound of a deal's lines to its players (ChatRequest's).
  std::size_t most_private_lines = 0;
  std::size_t private_line_bytes = 0;
  // The key of the player a name names here, whom a deal or a give may name; none at a private
  // table.
  std::function<std::optional<std::string>(std::string_view)> player_named = {};
};

class Game : public ChatApplication {
 public:
  // nullopt and `error` when a host text has no Shift_JIS form. `modes` are the mode table's
  // names (CP932), told to a player who names none or a wrong one. `state` keeps the decks'
  // owners and the private decks; `wall_clock` gives seconds since 1970, for their age.
  static std::optional<Game> Create(const GameSettings& config, std::vector<std::string> modes,
                                    BotState& state, std::function<std::int64_t()> wall_clock,
                                    std::string* error);

  ChatAnswer Answer(const ChatRequest& request) override;
  std::optional<ChatAnswer> AnswerAtOnce(const ChatRequest& request) const override;
  void Left(std::string_view place_id, std::string_view player_id) override;
  void Renamed(std::string_view old_player_id, const ChatParty& player) override;

 private:
  Game(const GameSettings& config, BotState& state, std::function<std::int64_t()> wall_clock);

  struct Call;  // one command's fields and where its lines go
  // Seconds after a refusal during which the same sender is refused silently, and the most
  // senders so remembered.
  static constexpr std::int64_t kRefusalQuiet = 60;
  static constexpr std::size_t kMostRefusalsKept = 4096;

  ChatAnswer AnswerCommand(const ChatRequest& request);
  void QuietenRepeatedRefusal(const std::string& player, ChatAnswer& answer);
  // The lines that answer `message`, dealer rules and private decks already applied; none when
  // it is no command.
  // True when the command ran.
  bool Play(const ChatMessage& message, const ChatCommand& command, ChatAnswer& answer) const;
  using GameAnswer = ChatAnswer;
  void Reply(const Call& call, std::string_view cp932_text, GameAnswer& answer) const;
  void Private(const Call& call, std::string_view cp932_text, GameAnswer& answer) const;
  // A deal of no mode, or of one the table did not hold at start, told to the sender.
  void NoDeal(const Call& call, std::string_view mode, GameAnswer& answer) const;
  // A text of the settings, `fills` in it, to one player.
  AddressedLine HostLine(std::string_view to, std::string_view label, std::string_view utf8_text,
                         const Fills& fills) const;
  void Tell(std::string_view sender, std::string_view label, std::string_view utf8_text,
            const Fills& fills);
  void LapseAbsentOwners(const ChatRequest& request);
  std::int64_t Now() const;
  void HandOver(const ChatRequest& request, const ChatCommand& command, std::string_view label,
                ChatAnswer& answer);
  std::string ToLibraryOr(std::string_view wire) const;
  // !help: about the command its argument names, or about every command.
  ChatAnswer Help(std::string_view sender, const ChatCommand& help) const;
  void Refuse(std::string_view sender, std::string_view channel, const ChatCommand& command);
  std::string ToWire(std::string_view utf8) const;
  // The private deck a player plays at their table, given (empty) for a dealer's command;
  // nullopt, the player told, when a deck given could not be emptied.
  std::optional<PrivateTarget> PrivateDeck(const ChatRequest& request, const ChatCommand& command);
  // The player a name names at the request's place: their key, when the chat knows them.
  std::optional<std::string> PlayerNamed(const ChatRequest& request, std::string_view name) const;
  // The name texts show for a key (Shift_JIS, characters it lacks as references).
  std::string ShownName(std::string_view key) const;
  bool KnownMode(std::string_view mode) const;
  std::optional<std::size_t> DealTooLong(const Call& call, const ChatMessage& message,
                                         const ChatCommand& command) const;
  // Every command but help goes to the table, so that each card is always in one place: a draw
  // goes onto the discard pile, a hidden draw into the drawer's hand.
  bool PlayTable(const Call& call, const ChatMessage& message, std::string_view cp932_text,
                 GameAnswer& answer) const;

  TableTexts table_texts_ = DefaultTableTexts();
  const GameSettings* config_;
  WireCodec codec_{WireEncoding::kUtf8};  // between the game's UTF-8 and the library's CP932
  BotState* state_;
  std::function<std::int64_t()> wall_clock_;
  DealerPermissions dealers_;
  std::vector<AddressedLine>* told_ = nullptr;  // where Tell adds lines, while answering
  std::vector<std::string> modes_;              // CP932
  std::string modes_text_;                      // the mode table's names, for texts: "trump, tarot"
  // Time spent at the library's table for the command being answered, for the log.
  mutable std::chrono::steady_clock::duration library_time_{};
  // Whether the command being answered dealt a deck, which its sender then owns.
  mutable bool dealt_ = false;
  // Whether it was refused (nothing changed), and when each sender was last told a refusal.
  mutable bool refused_ = false;
  std::map<std::string, std::int64_t> refused_at_;
};

}  // namespace deckhand::host
