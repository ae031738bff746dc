#include "host/common/game.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <span>

#include "deckhand/card_files.h"
#include "host/common/ascii.h"
#include "host/common/card_check.h"
#include "host/common/character_references.h"
#include "host/common/log.h"

namespace deckhand::host {
namespace {

// A player's id; a host that gives none keeps its players apart by name alone.
std::string IdOf(const ChatParty& player) {
  return player.id.empty() ? "name:" + player.name : player.id;
}

// Where a player without a private deck plays at their table: a place of their own at which no
// command that deals or changes a setting is played (those give a deck first), so that it stays
// empty.
std::string TableWithoutDeck(std::string_view player_key) {
  return "~own" + std::string(player_key);
}

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
  std::string nick;      // the player's key at the table
  std::string target;    // the place: the channel, or the sender's private deck
  std::string reply_to;  // the channel, or the sender at their private table
  std::string sender;
  std::string sender_id;
  std::string label;  // "[#chan] " before lines told privately about a channel
  bool in_channel = false;
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

// Who at the place goes by `name`, as the chat compares names; nullptr for no one.
const ChatParty* PresentNamed(const ChatRequest& request, std::string_view name) {
  for (const ChatParty& party : request.present) {
    if (request.same_name ? request.same_name(party.name, name) : party.name == name) {
      return &party;
    }
  }
  return nullptr;
}

// Named decks' owners are kept by the name folded as the table compares deck names.
std::string DeckKey(std::string_view deck) { return LowerAscii(deck); }

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
           {"failed", &texts.failed},
           {"dealer_handed", &texts.dealer_handed},
           {"deal_too_long", &texts.deal_too_long}}) {
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
  refused_ = false;
  ChatAnswer answer = AnswerCommand(request);
  if (refused_) QuietenRepeatedRefusal(request.player.id, answer);
  return answer;
}

// A sender refused again within kRefusalQuiet of their last refusal hears nothing: one who keeps
// sending what they may not does not take a line of the queue per command.
void Game::QuietenRepeatedRefusal(const std::string& player, ChatAnswer& answer) {
  std::int64_t now = Now();
  std::erase_if(refused_at_,
                [now](const auto& entry) { return now - entry.second >= kRefusalQuiet; });
  auto [refused, first] = refused_at_.try_emplace(player, now);
  if (first && refused_at_.size() <= kMostRefusalsKept) return;
  if (first) refused_at_.erase(refused);
  answer.lines.clear();
  answer.silent_reason = "refused again within a minute, not told again";
}

ChatAnswer Game::AnswerCommand(const ChatRequest& request) {
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
    refused_ = true;
    return answer;
  }
  if (command->info->id == CommandId::kPeek && !PeekCount(command->arguments)) {
    Log(LogLevel::kInfo, "no reply to " + std::string(sender) + ": a peek of a wrong count");
    Tell(sender, label, config_->texts.peek_count,
         {{"{prefix}", ToWire(config_->prefix)}, {"{max}", std::to_string(kMaxPeekCount)}});
    refused_ = true;
    return answer;
  }
  std::string deck_key = DeckKey(command->deck);
  if (in_channel && request.present_complete) LapseAbsentOwners(request);
  if (in_channel && NeedsDealer(*command->info, command->arguments) &&
      !dealers_.MayDeal(where, deck_key, sender)) {
    Log(LogLevel::kInfo,
        "refused a dealer's command at " + std::string(where) + " from " + std::string(sender));
    Refuse(sender, where, *command);
    refused_ = true;
    return answer;
  }
  if (command->info->id == CommandId::kDealer) {
    HandOver(request, *command, label, answer);
    return answer;
  }
  std::string sender_id = IdOf(request.player);
  std::string player_key = state_->TableKey(sender_id, request.player.name);
  ChatMessage message;
  message.sender = sender;
  message.sender_id = sender_id;
  message.player_key = player_key;
  message.where = where;
  message.in_channel = in_channel;
  message.text = request.text;
  message.may_deal = !in_channel || dealers_.MayDeal(where, deck_key, sender);
  message.most_private_lines = request.most_private_lines;
  message.private_line_bytes = request.private_line_bytes;
  message.player_named = [this, &request](std::string_view name) {
    return PlayerNamed(request, name);
  };
  PrivateTarget target;
  std::string private_target;
  if (!in_channel) {
    std::optional<PrivateTarget> deck = PrivateDeck(request, *command);
    if (!deck) return answer;
    target = std::move(*deck);
    private_target = target.target.empty() ? TableWithoutDeck(player_key) : target.target;
    message.private_target = private_target;
  }
  dealt_ = false;
  bool ran = Play(message, *command, answer);
  if (in_channel && dealt_) {
    state_->SetOwner(request.place.id, deck_key, {sender_id, request.player.name, 0});
  } else if (target.fresh && !ran) {
    state_->Unassign(sender_id);
  }
  state_->Save();
  // The sender's own lines follow the sender, not the name.
  for (AddressedLine& line : answer.lines) {
    if (!line.to_place && line.player_id.empty() && line.player == request.player.name) {
      line.player_id = sender_id;
    }
  }
  return answer;
}

std::optional<std::string> Game::PlayerNamed(const ChatRequest& request,
                                             std::string_view name) const {
  const ChatParty* party = PresentNamed(request, name);
  if (party == nullptr || party->id.empty()) return std::nullopt;
  return state_->TableKey(party->id, party->name);
}

std::string Game::ShownName(std::string_view key) const {
  const std::string* player = state_->PlayerOfKey(key);
  // A hand from before players had keys is under its player's name, in Shift_JIS.
  if (player == nullptr) return std::string(key);
  std::string name = state_->NameOf(*player);
  return name.empty() ? "?" : Cp932WithReferences(name);
}

std::optional<PrivateTarget> Game::PrivateDeck(const ChatRequest& request,
                                               const ChatCommand& command) {
  // Every command that could leave something at an empty table (a deal, a shuffle, a setting)
  // is the dealer's: those are played at a deck of the player's own.
  bool deal = NeedsDealer(*command.info, command.arguments);
  std::string id = IdOf(request.player);
  PrivateTarget target = state_->ForPlayer(id, deal, wall_clock_ ? wall_clock_() : 0);
  // A deck given now may be one another player left: nothing of theirs stays.
  if (target.fresh && table::ClearPlace(target.target).outcome != table::Outcome::kDone) {
    state_->Unassign(id);
    state_->Save();
    Log(LogLevel::kError, "cannot empty the private deck " + target.target + " for " +
                              request.player.name + ": the save file cannot be written");
    Tell(request.player.name, "", config_->texts.failed, {});
    return std::nullopt;
  }
  state_->Save();
  if (target.dropped) {
    Tell(request.player.name, "",
         *target.dropped == DropReason::kFull ? config_->texts.deck_dropped_full
                                              : config_->texts.deck_dropped_unused,
         {});
  }
  return target;
}

// The decks a player owns at the place keep them as their dealer for the grace the settings
// give, so that a reconnect or a netsplit does not hand a game to whoever speaks first.
void Game::Left(std::string_view place_id, std::string_view player_id) {
  state_->OwnerLeft(place_id, player_id, Now());
  state_->Save();
}

void Game::LapseAbsentOwners(const ChatRequest& request) {
  std::vector<std::string> present;
  for (const ChatParty& party : request.present) present.push_back(party.id);
  auto grace = static_cast<std::int64_t>(config_->owner_grace_minutes * 60);
  state_->LapseAbsentOwners(request.place.id, present, Now(), grace);
  state_->Save();
}

std::int64_t Game::Now() const { return wall_clock_ ? wall_clock_() : 0; }

// !dealer,NICK: the deck's dealer (or an operator) hands it to a player who is here.
void Game::HandOver(const ChatRequest& request, const ChatCommand& command, std::string_view label,
                    ChatAnswer& answer) {
  std::string_view nick = command.arguments;
  const ChatParty* to = PresentNamed(request, nick);
  if (request.at_private_table() || nick.empty() || to == nullptr) {
    std::string cp932 = FillText(table_texts_.no_such_player, {{"{nick}", ToLibraryOr(nick)}});
    answer.lines.push_back(
        {false, request.player.name, std::string(label), codec_.ToWire(cp932), false});
    return;
  }
  state_->SetOwner(request.place.id, DeckKey(command.deck), {IdOf(*to), to->name, 0});
  state_->Save();
  std::string deck_label = command.deck.empty() ? "" : "[" + command.deck + "] ";
  answer.lines.push_back(
      {true, "", "",
       deck_label + FillText(ToWire(config_->texts.dealer_handed), {{"{nick}", to->name}}), false});
}

// A nick in the library's code page for a text of the table's, or "?" where it has none.
std::string Game::ToLibraryOr(std::string_view wire) const {
  return codec_.ToLibrary(wire).value_or("?");
}

// An owner is followed to a new name or id; so is the name shown for a player's hands.
void Game::Renamed(std::string_view old_player_id, const ChatParty& player) {
  state_->RenameOwner(old_player_id, {player.id, player.name});
  if (!state_->NameOf(player.id).empty()) state_->TableKey(player.id, player.name);
  state_->Save();
}

bool Game::Play(const ChatMessage& message, const ChatCommand& command, ChatAnswer& answer) const {
  Call call;
  call.reply_to = message.in_channel ? message.where : message.sender;
  call.sender = message.sender;
  call.sender_id = message.sender_id;
  call.in_channel = message.in_channel;
  if (message.in_channel) call.label = "[" + std::string(message.where) + "] ";

  call.nick = message.player_key;
  std::optional<std::string> target = !message.in_channel && !message.private_target.empty()
                                          ? std::optional<std::string>(message.private_target)
                                          : codec_.ToLibrary(call.reply_to);
  std::optional<std::string> text = codec_.ToLibrary(command.text);
  if (!target || !text || target->empty() || target->find(' ') != std::string::npos) {
    answer.silent_reason = "the command does not convert to Shift_JIS";
    answer.lines.push_back(HostLine(message.sender, "", config_->texts.not_converted, {}));
    return false;
  }
  call.target = std::move(*target);
  library_time_ = {};
  // Only the modes read at start are dealt in the channel's main deck.
  std::string mode = card_files::ModeName(*text);
  bool ran = false;
  if (command.info->id == CommandId::kDeck && command.deck.empty() && !KnownMode(mode)) {
    NoDeal(call, mode, answer);
  } else if (std::optional<std::size_t> lines = DealTooLong(call, message, command)) {
    refused_ = true;
    answer.silent_reason = "a deal of " + std::to_string(*lines) + " lines to its players";
    answer.lines.push_back(HostLine(call.sender, call.label, config_->texts.deal_too_long,
                                    {{"{lines}", std::to_string(*lines)},
                                     {"{limit}", std::to_string(message.most_private_lines)}}));
  } else {
    ran = PlayTable(call, message, *text, answer);
  }
  char took[32];
  std::snprintf(took, sizeof took, " (library %.3f ms)",
                std::chrono::duration<double, std::milli>(library_time_).count());
  Log(LogLevel::kInfo, "command from " + std::string(message.sender) + " at " + call.reply_to +
                           ": " + std::string(command.info->word) + took);
  return ran;
}

// To the place. A reply too long for the place is the host's to move (a channel is not flooded).
// At a private table the place is the player alone, whose cards no one else sees.
void Game::Reply(const Call& call, std::string_view cp932_text, GameAnswer& answer) const {
  answer.lines.push_back({true, "", "", codec_.ToWire(cp932_text), !call.in_channel});
}

// What the table tells one player may show cards no one else sees: never logged.
void Game::Private(const Call& call, std::string_view cp932_text, GameAnswer& answer) const {
  answer.lines.push_back(
      {false, call.sender, call.label, codec_.ToWire(cp932_text), true, call.sender_id});
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
      const DeckOwner* owner = dealers_.OwnerOf(DeckKey(command.deck));
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

// The lines a deal's players would be told, when more than the host sends in time: the cards
// it would take are the top of the draw pile, as the table deals them.
std::optional<std::size_t> Game::DealTooLong(const Call& call, const ChatMessage& message,
                                             const ChatCommand& command) const {
  if (message.most_private_lines == 0 || message.private_line_bytes == 0) return std::nullopt;
  if (command.info->id != CommandId::kDeal) return std::nullopt;
  std::optional<std::string> deck = codec_.ToLibrary(command.deck);
  if (!deck) return std::nullopt;
  std::vector<std::string> pieces = SplitAtCommas(command.arguments);
  std::optional<std::size_t> count = ReadCount(pieces.front());
  std::size_t players = pieces.size() - 1;
  if (!count || players == 0) return std::nullopt;
  auto start = std::chrono::steady_clock::now();
  table::Result pile = table::DescribeTable(call.target, *deck);
  library_time_ += std::chrono::steady_clock::now() - start;
  std::size_t cards = std::min(pile.cards.size(), *count * players);
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < cards; ++i) bytes += pile.cards[i].name.size() + 1;
  std::size_t lines = players + bytes / message.private_line_bytes;
  if (lines <= message.most_private_lines) return std::nullopt;
  return lines;
}

bool Game::KnownMode(std::string_view mode) const {
  return !mode.empty() && std::find(modes_.begin(), modes_.end(), mode) != modes_.end();
}

void Game::NoDeal(const Call& call, std::string_view mode, GameAnswer& answer) const {
  refused_ = true;
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

bool Game::PlayTable(const Call& call, const ChatMessage& message, std::string_view cp932_text,
                     GameAnswer& answer) const {
  TableCommand command;
  command.player = call.nick;
  command.place = call.target;
  command.text = cp932_text;
  command.modes_file = config_->modes_file;
  command.prefix = config_->prefix;
  command.may_deal = !message.in_channel || message.may_deal;
  command.private_table = !message.in_channel;
  // At a private table the player is alone: they may deal and give to themselves.
  command.player_named = [this, &message](std::string_view name) -> std::optional<std::string> {
    if (!message.in_channel) {
      if (!EqualIgnoringCase(codec_.ToWire(name), message.sender)) return std::nullopt;
      return std::string(message.player_key);
    }
    if (!message.player_named) return std::nullopt;
    return message.player_named(codec_.ToWire(name));
  };
  command.shown = [this](std::string_view key) { return ShownName(key); };
  auto start = std::chrono::steady_clock::now();
  TableAnswer table = RunTableCommand(command, table_texts_);
  library_time_ += std::chrono::steady_clock::now() - start;
  if (!table.is_command) {
    answer.silent_reason = "no table command";
    return false;
  }
  answer.dealt = table.dealt_main_deck;
  dealt_ = table.command->id == CommandId::kDeck && table.status == AnswerStatus::kDone;
  if (IsFailedDeal(table)) {
    answer.silent_reason =
        WhyNoDeal({*table.outcome, table.mode, table.deck_file}, config_->modes_file, modes_);
  }
  if (table.status == AnswerStatus::kRefused) {
    refused_ = true;
    if (answer.silent_reason.empty()) answer.silent_reason = "refused";
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
    } else if (const std::string* player = state_->PlayerOfKey(line.to)) {
      // Another player's cards (a deal, a give): to them alone, about this channel.
      answer.lines.push_back(
          {false, state_->NameOf(*player), call.label, codec_.ToWire(line.text), true, *player});
    }
  }
  return table.status == AnswerStatus::kDone;
}

}  // namespace deckhand::host
