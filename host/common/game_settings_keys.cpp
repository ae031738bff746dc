#include "host/common/game_settings_keys.h"

#include <charconv>
#include <cmath>

#include "host/common/command_registry.h"
#include "host/common/permissions.h"

namespace deckhand::host {
namespace {

using std::placeholders::_1;
using std::placeholders::_2;

std::optional<std::string> SetPrefix(const std::string& value, GameSettings& settings) {
  if (value.empty() || value.find_first_of(" \t,") != std::string::npos) {
    return "the prefix must not be empty nor hold spaces or commas";
  }
  settings.prefix = value;
  return std::nullopt;
}

std::optional<std::string> SetModes(const std::string& value, GameSettings& settings) {
  if (value.empty() || value.find_first_of(" \t") != std::string::npos) {
    return "must be one word without spaces";
  }
  settings.modes_file = value;
  return std::nullopt;
}

std::optional<std::string> SetPositive(double GameSettings::*field, double limit,
                                       const std::string& value, GameSettings& settings) {
  return ReadPositive(value, limit, settings.*field);
}

std::optional<std::string> SetBoolean(bool GameSettings::*field, const std::string& value,
                                      GameSettings& settings) {
  std::optional<bool> parsed = ParseBoolean(value);
  if (!parsed) return "\"" + value + "\" is not true or false";
  settings.*field = *parsed;
  return std::nullopt;
}

std::optional<std::string> SetTextOf(std::string& text, const std::string& value) {
  if (value.empty()) return "a text must not be empty";
  text = value;
  return std::nullopt;
}

std::optional<std::string> SetHostText(std::string HostTexts::*field, const std::string& value,
                                       GameSettings& settings) {
  return SetTextOf(settings.texts.*field, value);
}

// A command's help line, by the command's word.
std::optional<std::string> SetHelpText(const std::string& word, const std::string& value,
                                       GameSettings& settings) {
  return SetTextOf(settings.texts.help[word], value);
}

// "owner" and the like for every place, or a place's name, a space and its own rule.
std::optional<std::string> SetDealer(const std::string& value, GameSettings& settings) {
  std::size_t space = value.find(' ');
  bool for_channel = !value.empty() && std::string_view("#&+!").find(value[0]) != std::string::npos;
  std::string rule = for_channel && space != std::string::npos ? value.substr(space + 1) : value;
  rule.erase(0, rule.find_first_not_of(' '));
  if (rule.empty() || !ParseDealerSetting(rule)) {
    return "\"" + value + "\" is not owner, anyone, voiced, ops or a list of nicks";
  }
  if (!for_channel) {
    settings.dealer = rule;
  } else if (space == std::string::npos) {
    return "\"" + value + "\": a channel's rule follows its name after a space";
  } else {
    settings.channel_dealers.emplace_back(value.substr(0, space), rule);
  }
  return std::nullopt;
}

GameSettingKey Text(std::string name, std::string HostTexts::*field) {
  return {"texts", std::move(name), std::bind(SetHostText, field, _1, _2)};
}

std::vector<GameSettingKey> FixedKeys() {
  return {
      {"game", "prefix", SetPrefix},
      {"game", "modes", SetModes},
      {"game", "dealer", SetDealer},
      {"game", "owner_grace",
       std::bind(SetPositive, &GameSettings::owner_grace_minutes, 525600, _1, _2)},
      {"game", "private_decks",
       std::bind(SetPositive, &GameSettings::private_decks, 1000000, _1, _2)},
      {"game", "private_deck_days",
       std::bind(SetPositive, &GameSettings::private_deck_days, 36500, _1, _2)},
      {"game", "transcripts", std::bind(SetBoolean, &GameSettings::transcripts, _1, _2)},
      {"game", "transcript_days",
       std::bind(SetPositive, &GameSettings::transcript_days, 36500, _1, _2)},
      {"game", "transcript_files",
       std::bind(SetPositive, &GameSettings::transcript_files, 1000000, _1, _2)},
      Text("hidden_draw", &HostTexts::hidden_draw),
      Text("not_converted", &HostTexts::not_converted),
      Text("peek_empty", &HostTexts::peek_empty),
      Text("sent_privately", &HostTexts::sent_privately),
      Text("busy", &HostTexts::busy),
      Text("refused", &HostTexts::refused),
      Text("who_owner", &HostTexts::who_owner),
      Text("who_voiced", &HostTexts::who_voiced),
      Text("who_ops", &HostTexts::who_ops),
      Text("no_mode", &HostTexts::no_mode),
      Text("unknown_mode", &HostTexts::unknown_mode),
      Text("failed", &HostTexts::failed),
      Text("dealer_handed", &HostTexts::dealer_handed),
      Text("hint", &HostTexts::hint),
      Text("peek_count", &HostTexts::peek_count),
      Text("deck_dropped_unused", &HostTexts::deck_dropped_unused),
      Text("deck_dropped_full", &HostTexts::deck_dropped_full),
  };
}

}  // namespace

const std::vector<GameSettingKey>& GameSettingKeys() {
  static const std::vector<GameSettingKey> keys = [] {
    std::vector<GameSettingKey> all = FixedKeys();
    for (const ChatCommandInfo& command : ChatCommands()) {
      std::string word(command.word);
      all.push_back({"texts", "help_" + word, std::bind(SetHelpText, word, _1, _2)});
    }
    return all;
  }();
  return keys;
}

const GameSettingKey* FindGameSettingKey(std::string_view section, std::string_view name) {
  for (const GameSettingKey& key : GameSettingKeys()) {
    if (key.section == section && key.name == name) return &key;
  }
  return nullptr;
}

std::optional<bool> ParseBoolean(std::string_view value) {
  for (std::string_view yes : {"true", "yes", "on", "1"}) {
    if (value == yes) return true;
  }
  for (std::string_view no : {"false", "no", "off", "0"}) {
    if (value == no) return false;
  }
  return std::nullopt;
}

std::optional<std::string> ReadPositive(const std::string& value, double limit, double& number) {
  double read = 0;
  auto [end, failure] = std::from_chars(value.data(), value.data() + value.size(), read);
  if (failure != std::errc() || end != value.data() + value.size() || !std::isfinite(read) ||
      read <= 0 || read > limit) {
    return "\"" + value + "\" is not a number above 0 and at most " +
           std::to_string(static_cast<long>(limit));
  }
  number = read;
  return std::nullopt;
}

}  // namespace deckhand::host
