#include "host/irc/game.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "deckhand/card_files.h"
#include "host/common/ascii.h"
#include "host/common/card_check.h"
#include "host/irc/log.h"
#include "host/irc/session.h"

namespace deckhand::irc {
namespace {

// The player's name at the table for a nick that has no Shift_JIS form.
constexpr std::string_view kNoNick = "_";

// A text from the configuration (UTF-8) in Shift_JIS.
bool ToShiftJis(std::string_view utf8, std::string* out, std::string_view name,
                std::string* error) {
  std::optional<std::string> converted = WireCodec(WireEncoding::kUtf8).ToLibrary(utf8);
  if (!converted) {
    *error = "the text " + std::string(name) + " has characters without a Shift_JIS form";
    return false;
  }
  *out = std::move(*converted);
  return true;
}

// A deal that dealt nothing for its mode or its files.
bool IsFailedDeal(const host::TableAnswer& table) {
  return table.command->id == host::CommandId::kDeck && table.outcome &&
         *table.outcome != table::Outcome::kDone;
}

}  // namespace

struct Game::Call {
  std::string nick;      // the player at the table
  std::string target;    // the place: the channel, or the sender's private deck
  std::string reply_to;  // wire: the channel, or the sender in a private message
  std::string sender;    // wire
  std::string label;     // wire: "[#chan] " before lines told privately about a channel
  bool in_channel = false;
  std::size_t relay_prefix_bytes = 0;
};

std::optional<Game> Game::Create(const BotConfig& config, const WireCodec& codec,
                                 std::vector<std::string> modes, std::string* error) {
  Game game(config, codec);
  const HostTexts& texts = config.texts;
  std::string ignored;
  for (const auto& [name, text] : std::initializer_list<std::pair<const char*, const std::string*>>{
           {"hidden_draw", &texts.hidden_draw},
           {"not_converted", &texts.not_converted},
           {"sent_privately", &texts.sent_privately},
           {"no_mode", &texts.no_mode},
           {"unknown_mode", &texts.unknown_mode},
           {"failed", &texts.failed}}) {
    if (!ToShiftJis(*text, &ignored, name, error)) return std::nullopt;
  }
  // The settings say what a view of an empty draw pile shows, check's and peek's alike.
  if (!ToShiftJis(texts.peek_empty, &game.table_texts_.empty_peek, "peek_empty", error)) {
    return std::nullopt;
  }
  game.table_texts_.empty_check = game.table_texts_.empty_peek;
  std::string joined;
  for (const std::string& mode : modes) joined += (joined.empty() ? "" : ", ") + mode;
  game.wire_modes_ = codec.ToWire(joined);
  game.modes_ = std::move(modes);
  return game;
}

GameAnswer Game::Play(const ChatMessage& message, std::size_t relay_prefix_bytes) const {
  GameAnswer answer;
  std::optional<ChatCommand> command = ParseChatCommand(message.text, config_->prefix);
  if (!command || command->info->id == host::CommandId::kHelp) return answer;
  Call call;
  call.reply_to = message.in_channel ? message.where : message.sender;
  call.sender = message.sender;
  call.in_channel = message.in_channel;
  call.relay_prefix_bytes = relay_prefix_bytes;
  if (message.in_channel) call.label = "[" + std::string(message.where) + "] ";

  // A nick without a Shift_JIS form plays all the same, under a stand-in name.
  std::optional<std::string> nick = codec_.ToLibrary(message.sender);
  call.nick = nick && !nick->empty() && nick->find(' ') == std::string::npos ? *nick : kNoNick;
  std::optional<std::string> target = !message.in_channel && !message.private_target.empty()
                                          ? std::optional<std::string>(message.private_target)
                                          : codec_.ToLibrary(call.reply_to);
  std::optional<std::string> text = codec_.ToLibrary(command->text);
  if (!target || !text || target->empty() || target->find(' ') != std::string::npos) {
    answer.silent_reason = "the command does not convert to Shift_JIS";
    answer.lines =
        notices_.Host(message.sender, "", config_->texts.not_converted, {}, relay_prefix_bytes);
    return answer;
  }
  call.target = std::move(*target);
  library_time_ = {};
  // Only the modes read at start are dealt in the channel's main deck.
  std::string mode = card_files::ModeName(*text);
  if (command->info->id == host::CommandId::kDeck && command->deck.empty() && !KnownMode(mode)) {
    NoDeal(call, mode, answer);
  } else {
    PlayTable(call, message, *text, answer);
  }
  char took[32];
  std::snprintf(took, sizeof took, " (library %.3f ms)",
                std::chrono::duration<double, std::milli>(library_time_).count());
  Log(LogLevel::kInfo, "command from " + std::string(message.sender) + " at " + call.reply_to +
                           ": " + std::string(command->info->word) + took);
  return answer;
}

void Game::Reply(const Call& call, std::string_view cp932_text, GameAnswer& answer) const {
  std::vector<std::string> lines =
      notices_.Library(call.reply_to, "", cp932_text, call.relay_prefix_bytes);
  if (!call.in_channel || lines.size() <= static_cast<std::size_t>(config_->channel_lines)) {
    answer.lines.insert(answer.lines.end(), lines.begin(), lines.end());
    return;
  }
  Private(call, cp932_text, answer);
  for (std::string& line : notices_.Host(call.reply_to, "", config_->texts.sent_privately,
                                         {{"{nick}", call.sender}}, call.relay_prefix_bytes)) {
    answer.lines.push_back(std::move(line));
  }
}

void Game::Private(const Call& call, std::string_view cp932_text, GameAnswer& answer) const {
  for (std::string& line :
       notices_.Library(call.sender, call.label, cp932_text, call.relay_prefix_bytes)) {
    answer.lines.push_back(std::move(line));
  }
}

bool Game::KnownMode(std::string_view mode) const {
  return !mode.empty() && std::find(modes_.begin(), modes_.end(), mode) != modes_.end();
}

void Game::NoDeal(const Call& call, std::string_view mode, GameAnswer& answer) const {
  host::FailedDeal deal{mode.empty() ? table::Outcome::kNoMode : table::Outcome::kNoSuchMode,
                        std::string(mode), ""};
  answer.silent_reason = host::WhyNoDeal(deal, config_->modes_file, modes_);
  if (!mode.empty()) {
    answer.silent_reason +=
        " (as read when the bot started: restart it to play card sets added since)";
  }
  const std::string& text = mode.empty() ? config_->texts.no_mode : config_->texts.unknown_mode;
  answer.lines = notices_.Host(call.sender, call.label, text,
                               {{"{mode}", codec_.ToWire(mode)}, {"{modes}", wire_modes_}},
                               call.relay_prefix_bytes);
}

void Game::PlayTable(const Call& call, const ChatMessage& message, std::string_view cp932_text,
                     GameAnswer& answer) const {
  host::TableCommand command;
  command.player = call.nick;
  command.place = call.target;
  command.text = cp932_text;
  command.modes_file = config_->modes_file;
  command.prefix = config_->prefix;
  command.may_deal = !message.in_channel || message.may_deal;
  command.is_player = [this, &message](std::string_view name) {
    if (!message.in_channel) return false;
    std::string folded = FoldName(codec_.ToWire(name));
    return std::find(message.members.begin(), message.members.end(), folded) !=
           message.members.end();
  };
  auto start = std::chrono::steady_clock::now();
  host::TableAnswer table = host::RunTableCommand(command, table_texts_);
  library_time_ += std::chrono::steady_clock::now() - start;
  if (!table.is_command) {
    answer.silent_reason = "no table command";
    return;
  }
  answer.dealt = table.dealt_main_deck;
  if (IsFailedDeal(table)) {
    answer.silent_reason =
        host::WhyNoDeal({*table.outcome, table.mode, table.deck_file}, config_->modes_file, modes_);
  }
  if (answer.silent_reason.empty() && table.status == host::AnswerStatus::kRefused) {
    answer.silent_reason = "refused";
  }
  // A hidden draw that drew nothing is the drawer's business alone.
  bool drawer_only = table.command->id == host::CommandId::kHiddenDraw &&
                     table.status != host::AnswerStatus::kDone;
  for (const host::ChatLine& line : table.lines) {
    if (line.to == call.target && drawer_only) {
      Private(call, line.text, answer);
    } else if (line.to == call.target) {
      // To the place: the channel, or the player at their own table.
      Reply(call, line.text, answer);
    } else if (line.to == call.nick) {
      Private(call, line.text, answer);
    } else {
      // Another player's cards (a deal, a give): to them alone, about this channel.
      for (std::string& sent : notices_.Library(codec_.ToWire(line.to), call.label, line.text,
                                                call.relay_prefix_bytes)) {
        answer.lines.push_back(std::move(sent));
      }
    }
  }
}

}  // namespace deckhand::irc
