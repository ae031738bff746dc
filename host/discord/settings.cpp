#include "host/discord/settings.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <functional>
#include <string_view>

#include "host/common/game_settings_keys.h"
#include "host/common/settings_file.h"
#include "host/discord/discord_text.h"

namespace deckhand::discord {
namespace {

using std::placeholders::_1;
using std::placeholders::_2;
using Setter = std::function<std::optional<std::string>(const std::string&, DiscordSettings&)>;

struct Key {
  std::string_view section;
  std::string_view name;
  Setter set;
};

std::optional<std::string> SetText(std::string DiscordSettings::*field, const std::string& value,
                                   DiscordSettings& settings) {
  settings.*field = value;
  return std::nullopt;
}

std::optional<std::string> SetId(std::string DiscordSettings::*field, const std::string& value,
                                 DiscordSettings& settings) {
  if (!IsDiscordId(value)) return "\"" + value + "\" is not a Discord id (a decimal number)";
  settings.*field = value;
  return std::nullopt;
}

std::optional<std::string> SetIds(std::vector<std::string> DiscordSettings::*field,
                                  const std::string& value, DiscordSettings& settings) {
  std::vector<std::string> ids;
  std::size_t at = 0;
  while (at < value.size()) {
    std::size_t end = std::min(value.find_first_of(" ,", at), value.size());
    if (end > at) ids.push_back(value.substr(at, end - at));
    at = end + 1;
  }
  for (const std::string& id : ids) {
    if (!IsDiscordId(id)) return "\"" + id + "\" is not a role id (a decimal number)";
  }
  settings.*field = std::move(ids);
  return std::nullopt;
}

std::optional<std::string> SetPublicKey(const std::string& value, DiscordSettings& settings) {
  if (value.size() != 64 || !std::all_of(value.begin(), value.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c)) != 0;
      })) {
    return "the public key is 64 hex digits, as the developer portal shows it";
  }
  settings.public_key = value;
  return std::nullopt;
}

std::optional<std::string> SetPort(const std::string& value, DiscordSettings& settings) {
  int port = 0;
  auto [end, failure] = std::from_chars(value.data(), value.data() + value.size(), port);
  if (failure != std::errc() || end != value.data() + value.size() || port < 0 || port > 65535) {
    return "\"" + value + "\" is not a port number (0 to 65535; 0: any free one)";
  }
  settings.port = port;
  return std::nullopt;
}

std::optional<std::string> SetPath(const std::string& value, DiscordSettings& settings) {
  if (value.empty() || value[0] != '/' || value.find_first_of(" ?#") != std::string::npos) {
    return "\"" + value + "\" is not a path (\"/interactions\")";
  }
  settings.path = value;
  return std::nullopt;
}

std::optional<std::string> SetApi(const std::string& value, DiscordSettings& settings) {
  if (value.rfind("https://", 0) != 0 && value.rfind("http://", 0) != 0) {
    return "\"" + value + "\" is not an http(s) URL";
  }
  settings.api = value;
  while (!settings.api.empty() && settings.api.back() == '/') settings.api.pop_back();
  return std::nullopt;
}

std::optional<std::string> SetPositive(double DiscordSettings::*field, double limit,
                                       const std::string& value, DiscordSettings& settings) {
  return host::ReadPositive(value, limit, settings.*field);
}

std::optional<std::string> SetDiscordText(std::string DiscordTexts::*field,
                                          const std::string& value, DiscordSettings& settings) {
  if (value.empty()) return "a text must not be empty";
  settings.discord_texts.*field = value;
  return std::nullopt;
}

std::optional<std::string> SetLogLevel(const std::string& value, DiscordSettings& settings) {
  std::optional<host::LogLevel> level = host::ParseLogLevel(value);
  if (!level) return "unknown log level \"" + value + "\": use info, warning or error";
  settings.log_level = *level;
  return std::nullopt;
}

const std::vector<Key>& Keys() {
  static const std::vector<Key> keys = {
      {"discord", "application_id", std::bind(SetId, &DiscordSettings::application_id, _1, _2)},
      {"discord", "public_key", SetPublicKey},
      {"discord", "credentials", std::bind(SetText, &DiscordSettings::credentials, _1, _2)},
      {"discord", "guild", std::bind(SetId, &DiscordSettings::guild_id, _1, _2)},
      {"discord", "api", SetApi},
      {"discord", "operator_roles", std::bind(SetIds, &DiscordSettings::operator_roles, _1, _2)},
      {"discord", "voiced_roles", std::bind(SetIds, &DiscordSettings::voiced_roles, _1, _2)},
      {"http", "listen", std::bind(SetText, &DiscordSettings::listen, _1, _2)},
      {"http", "port", SetPort},
      {"http", "path", SetPath},
      {"http", "tls_certificate", std::bind(SetText, &DiscordSettings::tls_certificate, _1, _2)},
      {"http", "tls_key", std::bind(SetText, &DiscordSettings::tls_key, _1, _2)},
      {"http", "answer_seconds",
       std::bind(SetPositive, &DiscordSettings::answer_seconds, 2.5, _1, _2)},
      {"http", "read_seconds", std::bind(SetPositive, &DiscordSettings::read_seconds, 600, _1, _2)},
      {"http", "connections", std::bind(SetPositive, &DiscordSettings::connections, 10000, _1, _2)},
      {"http", "waiting", std::bind(SetPositive, &DiscordSettings::waiting, 100000, _1, _2)},
      {"game", "data_dir", std::bind(SetText, &DiscordSettings::data_dir, _1, _2)},
      {"log", "level", SetLogLevel},
      {"texts", "hand_button", std::bind(SetDiscordText, &DiscordTexts::hand_button, _1, _2)},
      {"texts", "answered_in_channel",
       std::bind(SetDiscordText, &DiscordTexts::answered_in_channel, _1, _2)},
      {"texts", "no_reply", std::bind(SetDiscordText, &DiscordTexts::no_reply, _1, _2)},
      {"texts", "discord_busy", std::bind(SetDiscordText, &DiscordTexts::busy, _1, _2)},
      {"texts", "cut", std::bind(SetDiscordText, &DiscordTexts::cut, _1, _2)},
  };
  return keys;
}

// The reason a setting is refused, or nullopt when it was set.
std::optional<std::string> Apply(std::string_view section, std::string_view name,
                                 const std::string& value, DiscordSettings& settings) {
  std::optional<std::string> reason;
  const host::GameSettingKey* game_key = host::FindGameSettingKey(section, name);
  auto own = std::find_if(Keys().begin(), Keys().end(), [&](const Key& key) {
    return key.section == section && key.name == name;
  });
  if (own != Keys().end()) {
    reason = own->set(value, settings);
  } else if (game_key != nullptr) {
    reason = game_key->set(value, settings);
  } else {
    return host::UnknownSetting(section, name);
  }
  if (reason) return std::string(name) + ": " + *reason;
  return std::nullopt;
  return host::UnknownSetting(section, name);
}

enum Option : int {
  kConfig = 256,
  kPort,
  kDataDir,
  kPrintCommands,
  kRegister,
  kVerbose,
  kHelp,
  kVersion,
};

const option kLongOptions[] = {
    {"config", required_argument, nullptr, kConfig},
    {"port", required_argument, nullptr, kPort},
    {"data-dir", required_argument, nullptr, kDataDir},
    {"print-commands", no_argument, nullptr, kPrintCommands},
    {"register", no_argument, nullptr, kRegister},
    {"verbose", no_argument, nullptr, kVerbose},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

// Settings that only make sense together, for what the command line asks.
std::optional<std::string> CheckConsistency(const DiscordSettings& settings, Action action) {
  if (action == Action::kRun && settings.public_key.empty()) {
    return "no public_key in [discord]: the bot cannot tell Discord's requests from forgeries";
  }
  if (action == Action::kRegister) {
    if (settings.application_id.empty()) return "no application_id in [discord]";
    if (settings.credentials.empty()) return "no credentials file in [discord] for the bot token";
  }
  if (settings.tls_certificate.empty() != settings.tls_key.empty()) {
    return "TLS needs both tls_certificate and tls_key";
  }
  return std::nullopt;
}

}  // namespace

bool ReadSettingsFile(const std::string& path, DiscordSettings& settings, std::string* error) {
  bool read = host::ReadSettingsFile(
      path,
      [&](std::string_view section, std::string_view name, const std::string& value) {
        return Apply(section, name, value, settings);
      },
      error);
  // A path written in the file means the same wherever the program is started from.
  for (std::string* file_path :
       {&settings.data_dir, &settings.credentials, &settings.tls_certificate, &settings.tls_key}) {
    *file_path = host::PathFromSettingsFile(path, *file_path);
  }
  return read;
}

LoadedSettings LoadSettings(int argc, char** argv) {
  LoadedSettings loaded;
  DiscordSettings settings;
  std::optional<std::vector<host::GivenOption>> given =
      host::ReadLongOptions(argc, argv, kLongOptions, &loaded.error);
  if (!given) return loaded;
  // The file first, whatever the order: options are over it.
  for (const host::GivenOption& option : *given) {
    if (option.code == kConfig && !ReadSettingsFile(option.value, settings, &loaded.error)) {
      return loaded;
    }
  }
  for (const host::GivenOption& option : *given) {
    std::optional<std::string> reason;
    switch (option.code) {
      case kPort:
        reason = SetPort(option.value, settings);
        break;
      case kDataDir:
        settings.data_dir = option.value;
        break;
      case kPrintCommands:
        loaded.action = Action::kPrintCommands;
        break;
      case kRegister:
        loaded.action = Action::kRegister;
        break;
      case kVerbose:
        settings.verbose = true;
        break;
      case kHelp:
        loaded.action = Action::kHelp;
        return loaded;
      case kVersion:
        loaded.action = Action::kVersion;
        return loaded;
      default:
        break;
    }
    if (reason) {
      loaded.error = *reason;
      return loaded;
    }
  }
  if (std::optional<std::string> reason = CheckConsistency(settings, loaded.action)) {
    loaded.error = *reason;
    return loaded;
  }
  loaded.settings = std::move(settings);
  return loaded;
}

std::string UsageText() {
  return "Usage: deckhand-discord --config FILE [OPTION]...\n"
         "Plays the deckhand card games on Discord, answering the slash commands that Discord\n"
         "posts to its interactions endpoint.\n"
         "\n"
         "  --config FILE      the settings file (see the Discord guide)\n"
         "  --port N           listen on this port (0: any free one, which the log names)\n"
         "  --data-dir DIR     where the card sets, the decks and the bot's state are\n"
         "  --print-commands   write the slash commands as JSON for Discord's bulk overwrite\n"
         "  --register         send them to Discord with the bot token of the credentials file\n"
         "  --verbose          log every request\n"
         "  --help, --version\n";
}

}  // namespace deckhand::discord
