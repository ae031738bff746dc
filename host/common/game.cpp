#include "host/common/game.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <span>

#include "deckhand/card_files.h"
#include "host/common/ascii.h"
#include "host/common/card_check.h"
#include "host/common/log.h"

namespace deckhand::host {
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
bool IsFailedDeal(const TableAnswer& table) {
  return table.command->id == CommandId::kDeck && table.outcome &&
         *table.outcome != table::Outcome::kDone;
}

}  // namespace

struct Game::Call {
  std::string nick;      // the player at the table
  std::string target;    // the place: the channel, or the sender's private deck
  std::string reply_to;  // the channel, or the sender at their private table
  std::string sender;
  std::string label;  // "[#chan] " before lines told privately about a channel
  bool in_channel = false;
  bool secret = false;  // lines to a player show hidden cards
};

namespace {

// The dealer rules of the settings, by place name.
std::vector<std::pair<std::string, DealerSetting>> ChannelDealers(const GameSettings& config) {
  std::vector<std::pair<std::string, DealerSetting>> settings;
  for (const auto& [channel, rule] : config.channel_dealers) {
    std::optional<DealerSetting> setting = ParseDealerSetting(rule);
    if (setting) settings.emplace_back(channel, std::move(*setting));
  }
  return settings;
}

DealerSetting FallbackDealer(const GameSettings& config) {
  return ParseDealerSetting(config.dealer).value_or(DealerSetting{});
}

}  // namespace

Game::Game(const GameSettings& config, BotState& state, std::function<std::int64_t()> wall_clock)
    : config_(&config),
      state_(&state),
      wall_clock_(std::move(wall_clock)),
      dealers_(state, FallbackDealer(config), ChannelDealers(config)) {}

std::optional<Game> Game::Create(const GameSettings& config, std::vector<std::string> modes,
                                 BotState& state, std::function<std::int64_t()> wall_clock,
                                 std::string* error) {
  Game game(config, state, std::move(wall_clock));
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
  game.modes_text_ = game.codec_.ToWire(joined);
  game.modes_ = std::move(modes);
  return game;
}

ChatAnswer Game::Answer(const ChatRequest& request) {
  ChatAnswer answer;
  // Tell adds to this answer while it is made.
  struct Telling {
    std::vector<AddressedLine>*& told;
    ~Telling() { told = nullptr; }
  } telling{told_ = &answer.lines};
  dealers_.Consider(request);
  std::optional<ChatCommand> command = ParseChatCommand(request.text, config_->prefix);
  if (!command) return answer;
  if (command->info->id == CommandId::kHelp) return Help(request.player.name, *command);
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
  if (command->info->id == CommandId::kPeek && !PeekCount(command->arguments)) {
    Log(LogLevel::kInfo, "no reply to " + std::string(sender) + ": a peek of a wrong count");
    Tell(sender, label, config_->texts.peek_count,
         {{"{prefix}", ToWire(config_->prefix)}, {"{max}", std::to_string(kMaxPeekCount)}});
    return answer;
  }
  if (in_channel && NeedsDealer(*command->info, command->arguments) &&
      !dealers_.MayDeal(where, sender)) {
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
  // A command that may show a hand or a dealt card to one player: never logged.
  message.secret = in_channel && command->info->shows_hidden_cards;
  message.is_present = [&request](std::string_view name) {
    return std::any_of(request.present.begin(), request.present.end(), [&](const ChatParty& party) {
      return request.same_name ? request.same_name(party.name, name) : party.name == name;
    });
  };
  PrivateTarget target;
  if (!in_channel) {
    target = PrivateDeck(request, *command);
    message.private_target = target.target;
  }
  Play(message, *command, answer);
  if (in_channel && answer.dealt) {
    state_->SetOwner(request.place.id, {request.player.id, request.player.name});
    state_->Save();
  } else if (target.fresh && !answer.dealt) {
    state_->Unassign(request.player.id);
    state_->Save();
  }
  return answer;
}

PrivateTarget Game::PrivateDeck(const ChatRequest& request, const ChatCommand& command) {
  bool deal = command.info->id == CommandId::kDeck && command.deck.empty();
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
void Game::Renamed(std::string_view old_player_id, const ChatParty& player) {
  state_->RenameOwner(old_player_id, {player.id, player.name});
  state_->Save();
}

void Game::Play(const ChatMessage& message, const ChatCommand& command, ChatAnswer& answer) const {
  Call call;
  call.reply_to = message.in_channel ? message.where : message.sender;
  call.sender = message.sender;
  call.in_channel = message.in_channel;
  call.secret = message.secret;
  if (message.in_channel) call.label = "[" + std::string(message.where) + "] ";

  // A nick without a Shift_JIS form plays all the same, under a stand-in name.
  std::optional<std::string> nick = codec_.ToLibrary(message.sender);
  call.nick = nick && !nick->empty() && nick->find(' ') == std::string::npos ? *nick : kNoNick;
  std::optional<std::string> target = !message.in_channel && !message.private_target.empty()
                                          ? std::optional<std::string>(message.private_target)
                                          : codec_.ToLibrary(call.reply_to);
  std::optional<std::string> text = codec_.ToLibrary(command.text);
  if (!target || !text || target->empty() || target->find(' ') != std::string::npos) {
    answer.silent_reason = "the command does not convert to Shift_JIS";
    answer.lines.push_back(HostLine(message.sender, "", config_->texts.not_converted, {}));
    return;
  }
  call.target = std::move(*target);
  library_time_ = {};
  // Only the modes read at start are dealt in the channel's main deck.
  std::string mode = card_files::ModeName(*text);
  if (command.info->id == CommandId::kDeck && command.deck.empty() && !KnownMode(mode)) {
    NoDeal(call, mode, answer);
  } else {
    PlayTable(call, message, *text, answer);
  }
  char took[32];
  std::snprintf(took, sizeof took, " (library %.3f ms)",
                std::chrono::duration<double, std::milli>(library_time_).count());
  Log(LogLevel::kInfo, "command from " + std::string(message.sender) + " at " + call.reply_to +
                           ": " + std::string(command.info->word) + took);
}

// To the place. A reply too long for the place is the host's to move (a channel is not flooded).
void Game::Reply(const Call&, std::string_view cp932_text, GameAnswer& answer) const {
  answer.lines.push_back({true, "", "", codec_.ToWire(cp932_text), false});
}

void Game::Private(const Call& call, std::string_view cp932_text, GameAnswer& answer) const {
  answer.lines.push_back({false, call.sender, call.label, codec_.ToWire(cp932_text), call.secret});
}

AddressedLine Game::HostLine(std::string_view to, std::string_view label,
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

std::optional<ChatAnswer> Game::AnswerAtOnce(const ChatRequest& request) const {
  std::optional<ChatCommand> command = ParseChatCommand(request.text, config_->prefix);
  if (!command || command->info->id != CommandId::kHelp) return std::nullopt;
  return Help(request.player.name, *command);
}

// Help, to the sender alone: the line of the command it names (the settings' own, with the
// modes, or the table's), or, naming none, one line listing every command, with the legend.
// Reads only what is fixed at start: it may run beside Answer.
ChatAnswer Game::Help(std::string_view sender, const ChatCommand& help) const {
  ChatAnswer answer;
  Fills fills{{"{prefix}", ToWire(config_->prefix)},
              {"{modes}", modes_text_},
              {"{nick}", std::string(sender)}};
  auto tell_cp932 = [&](std::string_view text) {
    answer.lines.push_back(
        {false, std::string(sender), "", FillText(codec_.ToWire(text), fills), false});
  };
  std::span<const ChatCommandInfo> commands = CommandsToHelpWith(help.arguments);
  if (commands.size() > 1) {
    tell_cp932(CommandListLine() + " " + table_texts_.help_legend);
    return answer;
  }
  const ChatCommandInfo& command = commands.front();
  auto own = config_->texts.help.find(command.word);
  if (own != config_->texts.help.end()) {
    answer.lines.push_back(HostLine(sender, "", own->second, fills));
  } else {
    tell_cp932(DefaultHelpLine(command));
  }
  return answer;
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
  std::string word(command.info->word);
  Tell(sender, "[" + std::string(channel) + "] ", config_->texts.refused,
       {{"{nick}", std::string(sender)}, {"{command}", config_->prefix + word}, {"{who}", who}});
}

bool Game::KnownMode(std::string_view mode) const {
  return !mode.empty() && std::find(modes_.begin(), modes_.end(), mode) != modes_.end();
}

void Game::NoDeal(const Call& call, std::string_view mode, GameAnswer& answer) const {
  FailedDeal deal{mode.empty() ? table::Outcome::kNoMode : table::Outcome::kNoSuchMode,
                  std::string(mode), ""};
  answer.silent_reason = WhyNoDeal(deal, config_->modes_file, modes_);
  if (!mode.empty()) {
    answer.silent_reason +=
        " (as read when the bot started: restart it to play card sets added since)";
  }
  const std::string& text = mode.empty() ? config_->texts.no_mode : config_->texts.unknown_mode;
  answer.lines.push_back(HostLine(call.sender, call.label, text,
                                  {{"{mode}", codec_.ToWire(mode)}, {"{modes}", modes_text_}}));
}

void Game::PlayTable(const Call& call, const ChatMessage& message, std::string_view cp932_text,
                     GameAnswer& answer) const {
  TableCommand command;
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
  TableAnswer table = RunTableCommand(command, table_texts_);
  library_time_ += std::chrono::steady_clock::now() - start;
  if (!table.is_command) {
    answer.silent_reason = "no table command";
    return;
  }
  answer.dealt = table.dealt_main_deck;
  if (IsFailedDeal(table)) {
    answer.silent_reason =
        WhyNoDeal({*table.outcome, table.mode, table.deck_file}, config_->modes_file, modes_);
  }
  if (answer.silent_reason.empty() && table.status == AnswerStatus::kRefused) {
    answer.silent_reason = "refused";
  }
  // A hidden draw that drew nothing is the drawer's business alone.
  bool drawer_only =
      table.command->id == CommandId::kHiddenDraw && table.status != AnswerStatus::kDone;
  for (const ChatLine& line : table.lines) {
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

}  // namespace deckhand::host
