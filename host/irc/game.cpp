#include "host/irc/game.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <map>

#include "deckhand/card_files.h"
#include "host/common/ascii.h"
#include "host/common/call.h"
#include "host/common/card_check.h"
#include "host/irc/log.h"
#include "host/irc/names.h"

namespace deckhand::irc {
namespace {

constexpr std::string_view kNotice = "NOTICE ";
// "デッキセット:", the start of Deck's reply when it dealt.
constexpr std::string_view kDealt = "\x83\x66\x83\x62\x83\x4C\x83\x5A\x83\x62\x83\x67:";
// Field 1, which the library never reads, for a nick that has no Shift_JIS form.
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

bool IsExport(const ChatCommand& command, std::string_view name) {
  return command.action == ChatAction::kExport && host::kExportNames[command.export_index] == name;
}

bool IsDeal(const ChatCommand& command) { return IsExport(command, "Deck"); }

// Commands that move cards go to the table, so that every card is always in one place: a deal
// empties the deck's hands and discard pile, a draw puts its cards on the discard pile, a hidden
// draw into the drawer's hand. Count, check and peek only look, and read the deck as the five
// commands keep it.
bool MovesCards(const ChatCommand& command) {
  return command.action == ChatAction::kTable || command.action == ChatAction::kHiddenDraw ||
         IsExport(command, "Deck") || IsExport(command, "Draw") || IsExport(command, "Shuffle");
}

}  // namespace

struct Game::Call {
  std::string nick;      // field 1
  std::string target;    // field 2: the channel, or the sender's private deck
  std::string reply_to;  // the channel, or the sender at their private table
  std::string sender;
  std::string label;  // "[#chan] " before lines told privately about a channel
  bool in_channel = false;
  bool secret = false;  // lines to a player show hidden cards
};

namespace {

// The dealer rules of the settings, by folded channel name.
std::map<std::string, DealerSetting> ChannelDealers(const BotConfig& config) {
  std::map<std::string, DealerSetting> settings;
  for (const auto& [channel, rule] : config.channel_dealers) {
    std::optional<DealerSetting> setting = ParseDealerSetting(rule);
    if (setting) settings[FoldName(channel)] = std::move(*setting);
  }
  return settings;
}

DealerSetting FallbackDealer(const BotConfig& config) {
  return ParseDealerSetting(config.dealer).value_or(DealerSetting{});
}

}  // namespace

Game::Game(const host::Plugin& plugin, const BotConfig& config, BotState& state,
           std::function<std::int64_t()> wall_clock)
    : plugin_(&plugin),
      config_(&config),
      state_(&state),
      wall_clock_(std::move(wall_clock)),
      dealers_(state, FallbackDealer(config), ChannelDealers(config)) {}

std::optional<Game> Game::Create(const host::Plugin& plugin, const BotConfig& config,
                                 std::vector<std::string> modes, BotState& state,
                                 std::function<std::int64_t()> wall_clock, std::string* error) {
  Game game(plugin, config, state, std::move(wall_clock));
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
  if (!ToShiftJis(texts.peek_empty, &game.peek_empty_text_, "peek_empty", error)) {
    return std::nullopt;
  }
  std::string joined;
  for (const std::string& mode : modes) joined += (joined.empty() ? "" : ", ") + mode;
  game.modes_text_ = game.codec_.ToWire(joined);
  game.modes_ = std::move(modes);
  return game;
}

host::ChatAnswer Game::Answer(const host::ChatRequest& request) {
  host::ChatAnswer answer;
  // Tell adds to this answer while it is made.
  struct Telling {
    std::vector<host::AddressedLine>*& told;
    ~Telling() { told = nullptr; }
  } telling{told_ = &answer.lines};
  dealers_.Consider(request);
  std::optional<ChatCommand> command = ParseChatCommand(request.text, config_->prefix);
  if (!command || command->action == ChatAction::kHelp) return answer;
  bool in_channel = !request.at_private_table();
  std::string_view sender = request.player.name;
  std::string_view where = request.place.name;
  std::string label = in_channel ? "[" + std::string(where) + "] " : "";
  if (!command->hint.empty()) {
    Log(LogLevel::kInfo,
        "no reply to " + std::string(sender) + ": asked whether they meant " + command->hint);
    Tell(sender, label, config_->texts.hint, {{"{hint}", config_->prefix + command->hint}});
    return answer;
  }
  if (command->action == ChatAction::kPeek && command->peek_count == 0) {
    Log(LogLevel::kInfo, "no reply to " + std::string(sender) + ": a peek of a wrong count");
    Tell(sender, label, config_->texts.peek_count,
         {{"{prefix}", ToWire(config_->prefix)}, {"{max}", std::to_string(kMaxPeekCount)}});
    return answer;
  }
  if (in_channel && IsDealerCommand(*command) && !dealers_.MayDeal(where, sender)) {
    Log(LogLevel::kInfo,
        "refused a dealer's command at " + std::string(where) + " from " + std::string(sender));
    Refuse(sender, where, *command);
    return answer;
  }
  ChatMessage message;
  message.sender = sender;
  message.where = where;
  message.in_channel = in_channel;
  message.text = request.text;
  message.may_deal = !in_channel || dealers_.MayDeal(where, sender);
  // The table's commands may show a hand or a dealt card to one player: never logged.
  message.secret =
      in_channel && (command->action == ChatAction::kHiddenDraw ||
                     command->action == ChatAction::kPeek || command->action == ChatAction::kTable);
  message.is_present = [&request](std::string_view name) {
    return std::any_of(
        request.present.begin(), request.present.end(), [&](const host::ChatParty& party) {
          return request.same_name ? request.same_name(party.name, name) : party.name == name;
        });
  };
  PrivateTarget target;
  if (!in_channel) {
    target = PrivateDeck(request, *command);
    message.private_target = target.target;
  }
  Play(message, answer);
  if (in_channel && answer.dealt) {
    state_->SetOwner(request.place.id, {request.player.id, request.player.name});
    state_->Save();
  } else if (target.fresh && !answer.dealt) {
    state_->Unassign(request.player.id);
    state_->Save();
  }
  return answer;
}

PrivateTarget Game::PrivateDeck(const host::ChatRequest& request, const ChatCommand& command) {
  bool deal =
      command.action == ChatAction::kExport && host::kExportNames[command.export_index] == "Deck";
  PrivateTarget target =
      state_->ForPlayer(request.player.id, deal, wall_clock_ ? wall_clock_() : 0);
  state_->Save();
  if (target.dropped) {
    Tell(request.player.name, "",
         *target.dropped == DropReason::kFull ? config_->texts.deck_dropped_full
                                              : config_->texts.deck_dropped_unused,
         {});
  }
  return target;
}

// A deck's ownership lapses when its owner leaves: whoever deals next owns it.
void Game::Left(std::string_view place_id, std::string_view player_id) {
  const DeckOwner* owner = state_->Owner(place_id);
  if (owner == nullptr || owner->key != player_id) return;
  Log(LogLevel::kInfo,
      "the deck of " + std::string(place_id) + " has no owner now: " + owner->nick + " left");
  state_->ClearOwner(place_id);
  state_->Save();
}

// An owner known by nick is followed to a new nick.
void Game::Renamed(std::string_view old_player_id, const host::ChatParty& player) {
  state_->RenameOwner(old_player_id, {player.id, player.name});
  state_->Save();
}

void Game::Play(const ChatMessage& message, host::ChatAnswer& answer) const {
  std::optional<ChatCommand> command = ParseChatCommand(message.text, config_->prefix);
  if (!command || command->action == ChatAction::kHelp) return;
  Call call;
  call.reply_to = message.in_channel ? message.where : message.sender;
  call.sender = message.sender;
  call.in_channel = message.in_channel;
  call.secret = message.secret;
  if (message.in_channel) call.label = "[" + std::string(message.where) + "] ";

  // The library never reads the nick: one without a Shift_JIS form plays all the same.
  std::optional<std::string> nick = codec_.ToLibrary(message.sender);
  call.nick = nick && !nick->empty() && nick->find(' ') == std::string::npos ? *nick : kNoNick;
  std::optional<std::string> target = !message.in_channel && !message.private_target.empty()
                                          ? std::optional<std::string>(message.private_target)
                                          : codec_.ToLibrary(call.reply_to);
  std::optional<std::string> text = codec_.ToLibrary(command->text);
  if (!target || !text || target->empty() || target->find(' ') != std::string::npos) {
    answer.silent_reason = "the command does not convert to Shift_JIS";
    answer.lines.push_back(HostLine(message.sender, "", config_->texts.not_converted, {}));
    return;
  }
  call.target = std::move(*target);
  library_time_ = {};
  if (IsDeal(*command) && !KnownMode(*text)) {
    NoDeal(call, *text, answer);
  } else if (MovesCards(*command)) {
    // The command text as typed (a hidden draw's own word included), up to the first space.
    std::string_view typed = message.text.substr(config_->prefix.size());
    std::optional<std::string> table_text = codec_.ToLibrary(typed.substr(0, typed.find(' ')));
    if (table_text) PlayTable(call, message, *table_text, answer);
  } else if (command->action == ChatAction::kPeek) {
    Peek(call, *command, answer);
  } else if (std::optional<std::string> reply = CallExport(call, command->export_index, *text)) {
    answer.dealt = IsExport(*command, "Deck") && reply->starts_with(kDealt);
    bool empty_check = IsExport(*command, "Check") && reply->empty();
    Reply(call, empty_check ? peek_empty_text_ : *reply, answer);
  } else if (IsExport(*command, "Deck")) {
    NoDeal(call, *text, answer);
  } else {
    answer.silent_reason = "the library gave no reply";
    answer.lines.push_back(HostLine(call.sender, call.label, config_->texts.failed, {}));
  }
  char took[32];
  std::snprintf(took, sizeof took, " (library %.3f ms)",
                std::chrono::duration<double, std::milli>(library_time_).count());
  Log(LogLevel::kInfo, "command from " + std::string(message.sender) + " at " + call.reply_to +
                           ": " +
                           (command->action == ChatAction::kTable
                                ? std::string("table")
                                : std::string(host::kExportNames[command->export_index])) +
                           (command->action == ChatAction::kHiddenDraw ? " hidden"
                            : command->action == ChatAction::kPeek     ? " peek"
                                                                       : "") +
                           took);
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

// To the place. A reply too long for the place is the host's to move (a channel is not flooded).
void Game::Reply(const Call&, std::string_view cp932_text, GameAnswer& answer) const {
  answer.lines.push_back({true, "", "", codec_.ToWire(cp932_text), false});
}

void Game::Private(const Call& call, std::string_view cp932_text, GameAnswer& answer) const {
  answer.lines.push_back({false, call.sender, call.label, codec_.ToWire(cp932_text), call.secret});
}

host::AddressedLine Game::HostLine(std::string_view to, std::string_view label,
                                   std::string_view utf8_text, const Fills& fills) const {
  return {false, std::string(to), std::string(label), FillText(ToWire(utf8_text), fills), false};
}

// A text of the settings as the game's lines carry it: UTF-8, in the characters the library's
// code page holds (the settings' texts are checked for that at start).
std::string Game::ToWire(std::string_view utf8) const {
  std::optional<std::string> cp932 = codec_.ToLibrary(utf8);
  return cp932 ? codec_.ToWire(*cp932) : std::string(utf8);
}

void Game::Tell(std::string_view sender, std::string_view label, std::string_view utf8_text,
                const Fills& fills) {
  Fills all = fills;
  all.emplace_back("{nick}", std::string(sender));
  told_->push_back(HostLine(sender, label, utf8_text, all));
}

void Game::Refuse(std::string_view sender, std::string_view channel, const ChatCommand& command) {
  const DealerSetting& setting = dealers_.SettingFor(channel);
  std::string who;
  switch (setting.rule) {
    case DealerRule::kOwner: {
      const DeckOwner* owner = dealers_.PresentOwner(channel);
      who = FillText(ToWire(config_->texts.who_owner),
                     {{"{owner}", owner != nullptr ? owner->nick : std::string("?")}});
      break;
    }
    case DealerRule::kVoiced:
      who = ToWire(config_->texts.who_voiced);
      break;
    case DealerRule::kOps:
      who = ToWire(config_->texts.who_ops);
      break;
    case DealerRule::kNicks:
      for (const std::string& nick : setting.nicks) who += (who.empty() ? "" : ", ") + nick;
      break;
    case DealerRule::kAnyone:
      break;
  }
  std::string word = command.action == ChatAction::kPeek
                         ? "peek"
                         : std::string(host::kExportNames[command.export_index]);
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  Tell(sender, "[" + std::string(channel) + "] ", config_->texts.refused,
       {{"{nick}", std::string(sender)}, {"{command}", config_->prefix + word}, {"{who}", who}});
}

bool Game::KnownMode(std::string_view cp932_text) const {
  std::string mode = card_files::ModeName(cp932_text);
  return !mode.empty() && std::find(modes_.begin(), modes_.end(), mode) != modes_.end();
}

// Why a deal dealt nothing, to the sender: no mode named, or one the table does not hold (with
// the modes it does), or a deck file that cannot be dealt.
void Game::NoDeal(const Call& call, std::string_view cp932_text, GameAnswer& answer) const {
  std::string mode = card_files::ModeName(cp932_text);
  const std::string* text = &config_->texts.failed;
  if (mode.empty()) {
    text = &config_->texts.no_mode;
  } else if (!KnownMode(cp932_text)) {
    text = &config_->texts.unknown_mode;
  }
  // The modes are those read at start; one added to the table since is found only there.
  bool added_since = text == &config_->texts.unknown_mode &&
                     !card_files::LookUpDeckFile(config_->modes_file, mode).empty();
  answer.silent_reason = added_since
                             ? "the mode \"" + mode + "\" was not in " + config_->modes_file +
                                   " when the bot started: restart it to play card sets "
                                   "added since"
                             : host::WhyNoDeal(config_->modes_file, cp932_text);
  answer.lines.push_back(HostLine(call.sender, call.label, *text,
                                  {{"{mode}", codec_.ToWire(mode)}, {"{modes}", modes_text_}}));
}

// The top cards of the deck, from Check's list, told to the sender only.
void Game::Peek(const Call& call, const ChatCommand& command, GameAnswer& answer) const {
  std::optional<std::string> cards = CallExport(call, command.export_index, command.text);
  if (!cards) {
    answer.silent_reason = "the library gave no reply";
    answer.lines.push_back(HostLine(call.sender, call.label, config_->texts.failed, {}));
    return;
  }
  std::string shown = FirstCards(*cards, command.peek_count);
  Private(call, shown.empty() ? peek_empty_text_ : shown, answer);
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
    return message.in_channel && message.is_present && message.is_present(codec_.ToWire(name));
  };
  auto start = std::chrono::steady_clock::now();
  host::TableAnswer table = host::RunTableCommand(command, table_texts_);
  library_time_ += std::chrono::steady_clock::now() - start;
  if (!table.is_command) {
    answer.silent_reason = "no table command";
    return;
  }
  std::string_view word = cp932_text.substr(0, cp932_text.find_first_of(",@"));
  answer.dealt = table.status == host::AnswerStatus::kDone &&
                 host::EqualIgnoringCase(word, "deck") &&
                 cp932_text.find('@') == std::string_view::npos;
  if (table.status == host::AnswerStatus::kRefused) answer.silent_reason = "refused";
  // A hidden draw that drew nothing is the drawer's business alone.
  bool drawer_only =
      host::EqualIgnoringCase(word, "hdraw") && table.status != host::AnswerStatus::kDone;
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
      answer.lines.push_back(
          {false, codec_.ToWire(line.to), call.label, codec_.ToWire(line.text), call.secret});
    }
  }
}

}  // namespace deckhand::irc
