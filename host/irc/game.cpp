#include "host/irc/game.h"

#include <charconv>
#include <chrono>
#include <cstdio>

#include "host/common/call.h"
#include "host/irc/log.h"
#include "host/irc/reply_lines.h"

namespace deckhand::irc {
namespace {

constexpr std::string_view kNotice = "NOTICE ";

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

// The first `count` comma-separated cards of a list.
std::string FirstCards(std::string_view cards, std::size_t count) {
  std::size_t end = 0;
  for (std::size_t shown = 0; shown < count; ++shown) {
    std::size_t comma = cards.find(',', shown == 0 ? 0 : end + 1);
    if (comma == std::string_view::npos) return std::string(cards);
    end = comma;
  }
  return std::string(cards.substr(0, end));
}

}  // namespace

struct Game::Call {
  std::string nick;    // field 1
  std::string target;  // field 2: the channel, or the sender in a private message
};

std::optional<Game> Game::Create(const host::Plugin& plugin, const BotConfig& config,
                                 const WireCodec& codec, std::string* error) {
  Game game(plugin, config, codec);
  if (!ToShiftJis(config.texts.hidden_draw, &game.hidden_draw_text_, "hidden_draw", error) ||
      !ToShiftJis(config.texts.not_converted, &game.not_converted_text_, "not_converted", error) ||
      !ToShiftJis(config.texts.peek_empty, &game.peek_empty_text_, "peek_empty", error)) {
    return std::nullopt;
  }
  return game;
}

std::vector<std::string> Game::Answer(const ChatMessage& message,
                                      std::size_t relay_prefix_bytes) const {
  std::vector<std::string> lines;
  std::optional<ChatCommand> command = ParseChatCommand(message.text, config_->prefix);
  if (!command) return lines;
  // A private message plays the sender's own deck, and the reply goes back to the sender.
  std::string_view reply_to = message.in_channel ? message.where : message.sender;

  std::optional<std::string> nick = codec_.ToLibrary(message.sender);
  std::optional<std::string> target = codec_.ToLibrary(reply_to);
  std::optional<std::string> text = codec_.ToLibrary(command->text);
  if (!nick || !target || !text || nick->empty() || target->empty() ||
      nick->find(' ') != std::string::npos || target->find(' ') != std::string::npos) {
    Log(LogLevel::kWarning,
        "refused a command that does not convert to Shift_JIS from " + std::string(message.sender));
    Notice(message.sender, not_converted_text_, relay_prefix_bytes, lines);
    return lines;
  }
  Call call{*nick, *target};
  library_time_ = {};
  if (command->action == ChatAction::kHiddenDraw && message.in_channel) {
    HiddenDraw(call, message, *command, relay_prefix_bytes, lines);
  } else if (command->action == ChatAction::kPeek) {
    Peek(call, message, *command, relay_prefix_bytes, lines);
  } else if (std::optional<std::string> reply = CallExport(call, command->export_index, *text)) {
    Notice(reply_to, *reply, relay_prefix_bytes, lines);
  }
  char took[32];
  std::snprintf(took, sizeof took, " (library %.3f ms)",
                std::chrono::duration<double, std::milli>(library_time_).count());
  Log(LogLevel::kInfo, "command from " + std::string(message.sender) + " at " +
                           std::string(reply_to) + ": " +
                           std::string(host::kExportNames[command->export_index]) +
                           (command->action == ChatAction::kHiddenDraw ? " hidden"
                            : command->action == ChatAction::kPeek     ? " peek"
                                                                       : "") +
                           took);
  return lines;
}

std::optional<std::string> Game::CallExport(const Call& call, std::size_t export_index,
                                            std::string_view text) const {
  std::string line = call.nick + " " + call.target + " " + config_->modes_file + " ";
  line.append(text);
  auto start = std::chrono::steady_clock::now();
  host::CallResult result = host::CallCommand(plugin_->exports[export_index], line);
  library_time_ += std::chrono::steady_clock::now() - start;
  if (!result.fault.empty()) {
    Log(LogLevel::kError,
        result.fault + " (" + std::string(host::kExportNames[export_index]) + ")");
    return std::nullopt;
  }
  if (!result.reply) return std::nullopt;
  // The library answers "NOTICE <target> <text>"; the text goes out on its own, to the name
  // the server knows.
  std::string head = std::string(kNotice) + call.target + " ";
  if (result.reply->compare(0, head.size(), head) != 0) {
    Log(LogLevel::kError, "a reply not addressed to the command's target was dropped (" +
                              std::string(host::kExportNames[export_index]) + ")");
    return std::nullopt;
  }
  return result.reply->substr(head.size());
}

std::optional<std::size_t> Game::CountCards(const Call& call) const {
  std::optional<std::string> reply = CallExport(call, *host::FindExport("Count"), "count");
  if (!reply) return std::nullopt;
  std::size_t count = 0;
  auto [end, failure] = std::from_chars(reply->data(), reply->data() + reply->size(), count);
  if (failure != std::errc() || end != reply->data() + reply->size()) return std::nullopt;
  return count;
}

void Game::Notice(std::string_view to, std::string_view cp932_text, std::size_t relay_prefix_bytes,
                  std::vector<std::string>& lines) const {
  std::string head = std::string(kNotice) + std::string(to) + " :";
  std::size_t used = relay_prefix_bytes + head.size() + 2;  // 2: CR LF
  if (cp932_text.empty() || used >= kMaxIrcLine) return;
  for (std::string& piece : SplitReplyForWire(cp932_text, codec_, kMaxIrcLine - used)) {
    lines.push_back(head + piece);
  }
}

// Draw on the channel's deck; the cards are told to the drawer only, and the channel learns who
// drew how many. The number comes from the deck's count before and after, so that a reply that
// is a message (an empty deck, a failed save) is never announced as cards.
void Game::HiddenDraw(const Call& call, const ChatMessage& message, const ChatCommand& command,
                      std::size_t relay_prefix_bytes, std::vector<std::string>& lines) const {
  std::optional<std::size_t> before = CountCards(call);
  std::optional<std::string> text = codec_.ToLibrary(command.text);
  std::optional<std::string> reply =
      text ? CallExport(call, command.export_index, *text) : std::nullopt;
  if (!reply) return;
  std::optional<std::size_t> after = CountCards(call);
  Notice(message.sender, *reply, relay_prefix_bytes, lines);
  if (!before || !after || *after >= *before) return;
  std::string told = FillHostText(hidden_draw_text_, call.nick, *before - *after);
  Notice(message.where, told, relay_prefix_bytes, lines);
}

// The top cards of the deck, from Check's list, told to the sender only.
void Game::Peek(const Call& call, const ChatMessage& message, const ChatCommand& command,
                std::size_t relay_prefix_bytes, std::vector<std::string>& lines) const {
  std::optional<std::string> cards = CallExport(call, command.export_index, command.text);
  if (!cards) return;
  std::string shown = FirstCards(*cards, command.peek_count);
  Notice(message.sender, shown.empty() ? peek_empty_text_ : shown, relay_prefix_bytes, lines);
}

}  // namespace deckhand::irc
