#include "host/irc/config.h"

#include <getopt.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string_view>

#include "host/common/game_settings_keys.h"
#include "host/common/settings_file.h"
#include "host/common/wire_codec.h"

namespace deckhand::irc {
namespace {

using Setter = std::function<std::optional<std::string>(const std::string&, BotConfig&)>;

std::optional<std::string> SetText(std::string BotConfig::*field, const std::string& value,
                                   BotConfig& config) {
  config.*field = value;
  return std::nullopt;
}

std::optional<std::string> SetWord(std::string BotConfig::*field, const std::string& value,
                                   BotConfig& config) {
  if (value.empty() || value.find_first_of(" \t") != std::string::npos) {
    return "must be one word without spaces";
  }
  config.*field = value;
  return std::nullopt;
}

std::optional<std::string> SetBoolean(bool BotConfig::*field, const std::string& value,
                                      BotConfig& config) {
  std::optional<bool> parsed = host::ParseBoolean(value);
  if (!parsed) return "\"" + value + "\" is not true or false";
  config.*field = *parsed;
  return std::nullopt;
}

std::optional<std::string> SetPort(const std::string& value, BotConfig& config) {
  int port = 0;
  auto [end, failure] = std::from_chars(value.data(), value.data() + value.size(), port);
  if (failure != std::errc() || end != value.data() + value.size() || port < 1 || port > 65535) {
    return "\"" + value + "\" is not a port number (1 to 65535)";
  }
  config.port = port;
  return std::nullopt;
}

// A positive number of seconds or lines, at most `limit`.
std::optional<std::string> SetPositive(double BotConfig::*field, double limit,
                                       const std::string& value, BotConfig& config) {
  return host::ReadPositive(value, limit, config.*field);
}

// SHA-256 in hex, with or without colons between the bytes.
std::optional<std::string> SetFingerprint(const std::string& value, BotConfig& config) {
  std::size_t digits = 0;
  for (char c : value) {
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      ++digits;
    } else if (c != ':') {
      digits = 0;
      break;
    }
  }
  if (digits != 64) return "\"" + value + "\" is not a SHA-256 fingerprint (64 hex digits)";
  config.tls_fingerprint = value;
  return std::nullopt;
}

std::optional<std::string> SetEncoding(const std::string& value, BotConfig& config) {
  if (!host::ParseWireEncoding(value)) {
    return "unknown encoding \"" + value + "\": use utf-8, iso-2022-jp or shift_jis";
  }
  config.encoding = value;
  return std::nullopt;
}

std::optional<std::string> ReadLogLevel(const std::string& value, BotConfig& config) {
  std::optional<host::LogLevel> level = host::ParseLogLevel(value);
  if (!level) return "unknown log level \"" + value + "\": use info, warning or error";
  config.log_level = *level;
  return std::nullopt;
}

std::optional<std::string> AddChannel(const std::string& value, BotConfig& config) {
  std::optional<ChannelSetting> channel = ParseChannelSetting(value);
  if (!channel) return "\"" + value + "\" is not a channel (#name, optionally a space and a key)";
  config.channels.push_back(*channel);
  return std::nullopt;
}

struct Key {
  std::string_view section;
  std::string name;
  Setter set;
};

// The settings of fixed names.
const std::vector<Key>& FixedKeys() {
  using std::placeholders::_1;
  using std::placeholders::_2;
  static const std::vector<Key> keys = {
      {"server", "host", std::bind(SetWord, &BotConfig::server, _1, _2)},
      {"server", "port", SetPort},
      {"server", "tls", std::bind(SetBoolean, &BotConfig::tls, _1, _2)},
      {"server", "tls_verify", std::bind(SetBoolean, &BotConfig::tls_verify, _1, _2)},
      {"server", "tls_ca", std::bind(SetText, &BotConfig::tls_ca, _1, _2)},
      {"server", "tls_fingerprint", SetFingerprint},
      {"server", "password", std::bind(SetText, &BotConfig::server_password, _1, _2)},
      {"server", "encoding", SetEncoding},
      {"log", "level", ReadLogLevel},
      {"bot", "nick", std::bind(SetWord, &BotConfig::nick, _1, _2)},
      {"bot", "user", std::bind(SetWord, &BotConfig::user, _1, _2)},
      {"bot", "realname", std::bind(SetText, &BotConfig::realname, _1, _2)},
      {"bot", "sasl_user", std::bind(SetWord, &BotConfig::sasl_user, _1, _2)},
      {"bot", "sasl_password", std::bind(SetText, &BotConfig::sasl_password, _1, _2)},
      {"bot", "sasl_required", std::bind(SetBoolean, &BotConfig::sasl_required, _1, _2)},
      {"bot", "channel", AddChannel},
      {"game", "data_dir", std::bind(SetText, &BotConfig::data_dir, _1, _2)},
      {"game", "plugin", std::bind(SetText, &BotConfig::plugin, _1, _2)},
      {"flood", "enabled", std::bind(SetBoolean, &BotConfig::flood_control, _1, _2)},
      {"flood", "burst", std::bind(SetPositive, &BotConfig::flood_burst, 1000, _1, _2)},
      {"flood", "rate", std::bind(SetPositive, &BotConfig::flood_rate, 1000, _1, _2)},
      {"flood", "sender_lines", std::bind(SetPositive, &BotConfig::sender_lines, 10000, _1, _2)},
      {"flood", "queue_bytes",
       std::bind(SetPositive, &BotConfig::queue_bytes, 64 * 1024 * 1024, _1, _2)},
      {"flood", "channel_lines", std::bind(SetPositive, &BotConfig::channel_lines, 1000, _1, _2)},
      {"flood", "deal_seconds", std::bind(SetPositive, &BotConfig::deal_seconds, 86400, _1, _2)},
      {"timing", "ban_retry", std::bind(SetPositive, &BotConfig::ban_retry, 86400, _1, _2)},
      {"timing", "reconnect_initial",
       std::bind(SetPositive, &BotConfig::reconnect_initial, 3600, _1, _2)},
      {"timing", "reconnect_max", std::bind(SetPositive, &BotConfig::reconnect_max, 86400, _1, _2)},
      {"timing", "rejoin_delay", std::bind(SetPositive, &BotConfig::rejoin_delay, 86400, _1, _2)},
      {"timing", "ping_interval", std::bind(SetPositive, &BotConfig::ping_interval, 86400, _1, _2)},
      {"timing", "ping_timeout", std::bind(SetPositive, &BotConfig::ping_timeout, 86400, _1, _2)},
      {"timing", "connect_timeout",
       std::bind(SetPositive, &BotConfig::connect_timeout, 3600, _1, _2)},
      {"timing", "write_timeout", std::bind(SetPositive, &BotConfig::write_timeout, 3600, _1, _2)},
  };
  return keys;
}

// The reason a key of the file is refused, or nullopt when it is set.
std::optional<std::string> ApplyKey(std::string_view section, std::string_view name,
                                    const std::string& value, BotConfig& config) {
  const Key* found = nullptr;
  for (const Key& key : FixedKeys()) {
    if (key.section == section && key.name == name) found = &key;
  }
  // The game's own keys are every chat host's.
  const host::GameSettingKey* game_key =
      found == nullptr ? host::FindGameSettingKey(section, name) : nullptr;
  if (found == nullptr && game_key == nullptr) return host::UnknownSetting(section, name);
  std::optional<std::string> reason =
      found != nullptr ? found->set(value, config) : game_key->set(value, config);
  if (reason) return std::string(name) + ": " + *reason;
  return std::nullopt;
}

// Long-only options take codes above the range of characters.
enum LongOnly : int {
  kConfig = 256,
  kServer,
  kPort,
  kTls,
  kTlsInsecure,
  kTlsCa,
  kTlsFingerprint,
  kNick,
  kChannel,
  kDataDir,
  kEncoding,
  kPlugin,
  kNoFloodControl,
  kVerbose,
  kHelp,
  kVersion,
};

const option kLongOptions[] = {
    {"config", required_argument, nullptr, kConfig},
    {"server", required_argument, nullptr, kServer},
    {"port", required_argument, nullptr, kPort},
    {"tls", no_argument, nullptr, kTls},
    {"tls-insecure", no_argument, nullptr, kTlsInsecure},
    {"tls-ca", required_argument, nullptr, kTlsCa},
    {"tls-fingerprint", required_argument, nullptr, kTlsFingerprint},
    {"nick", required_argument, nullptr, kNick},
    {"channel", required_argument, nullptr, kChannel},
    {"data-dir", required_argument, nullptr, kDataDir},
    {"encoding", required_argument, nullptr, kEncoding},
    {"plugin", required_argument, nullptr, kPlugin},
    {"no-flood-control", no_argument, nullptr, kNoFloodControl},
    {"verbose", no_argument, nullptr, kVerbose},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

// Applies one option over the settings; the reason when its value is wrong.
std::optional<std::string> ApplyOption(int code, const std::string& value, BotConfig& config,
                                       bool& channels_from_options) {
  switch (code) {
    case kServer:
      return SetWord(&BotConfig::server, value, config);
    case kPort:
      return SetPort(value, config);
    case kTls:
      config.tls = true;
      return std::nullopt;
    case kTlsInsecure:
      config.tls_verify = false;
      return std::nullopt;
    case kTlsCa:
      config.tls_ca = value;
      return std::nullopt;
    case kTlsFingerprint:
      return SetFingerprint(value, config);
    case kNick:
      return SetWord(&BotConfig::nick, value, config);
    case kChannel:
      // Channels named on the command line replace those of the file.
      if (!channels_from_options) config.channels.clear();
      channels_from_options = true;
      if (value.find(' ') != std::string::npos) config.key_on_command_line = true;
      return AddChannel(value, config);
    case kDataDir:
      config.data_dir = value;
      return std::nullopt;
    case kEncoding:
      return SetEncoding(value, config);
    case kPlugin:
      config.plugin = value;
      return std::nullopt;
    case kNoFloodControl:
      config.flood_control = false;
      return std::nullopt;
    case kVerbose:
      config.verbose = true;
      return std::nullopt;
    default:
      return "unknown option";
  }
}

// Settings that only make sense together.
std::optional<std::string> CheckConsistency(const BotConfig& config) {
  if (config.channels.empty()) return "no channel to join: set channel in [bot] or --channel";
  if (config.reconnect_initial > config.reconnect_max) {
    return "reconnect_initial is above reconnect_max";
  }
  return std::nullopt;
}

}  // namespace

std::optional<ChannelSetting> ParseChannelSetting(const std::string& text) {
  std::size_t space = text.find(' ');
  ChannelSetting channel{text.substr(0, space), ""};
  std::size_t key_start =
      text.find_first_not_of(' ', space == std::string::npos ? text.size() : space);
  if (key_start != std::string::npos) channel.key = text.substr(key_start);
  constexpr std::string_view kChannelStarts = "#&+!";
  if (channel.name.size() < 2 || kChannelStarts.find(channel.name[0]) == std::string_view::npos ||
      channel.name.find_first_of(",\a\t") != std::string::npos ||
      channel.key.find_first_of(" ,\t") != std::string::npos) {
    return std::nullopt;
  }
  return channel;
}

bool ReadConfigFile(const std::string& path, BotConfig& config, std::string* error) {
  bool read = host::ReadSettingsFile(
      path,
      [&](std::string_view section, std::string_view name, const std::string& value) {
        return ApplyKey(section, name, value, config);
      },
      error);
  // A path written in the file means the same wherever the program is started from.
  for (std::string* file_path : {&config.data_dir, &config.tls_ca}) {
    *file_path = host::PathFromSettingsFile(path, *file_path);
  }
  return read;
}

LoadedConfig LoadConfig(int argc, char** argv) {
  LoadedConfig loaded;
  std::optional<std::vector<host::GivenOption>> options =
      host::ReadLongOptions(argc, argv, kLongOptions, &loaded.error);
  if (!options) return loaded;
  BotConfig config;
  // The file first, wherever --config stands, so that every other option overrides it.
  for (const host::GivenOption& option : *options) {
    if (option.code == kHelp) loaded.action = Action::kHelp;
    if (option.code == kVersion) loaded.action = Action::kVersion;
    if (option.code == kConfig && !ReadConfigFile(option.value, config, &loaded.error)) {
      return loaded;
    }
  }
  if (loaded.action != Action::kRun) return loaded;
  bool channels_from_options = false;
  for (const host::GivenOption& option : *options) {
    if (option.code == kConfig) continue;
    std::optional<std::string> reason =
        ApplyOption(option.code, option.value, config, channels_from_options);
    if (reason) {
      loaded.error = "--" + std::string(kLongOptions[option.code - kConfig].name) + ": " + *reason;
      return loaded;
    }
  }
  if (const char* directory = std::getenv("CREDENTIALS_DIRECTORY")) {
    if (std::optional<std::string> reason = ReadCredentials(directory, config)) {
      loaded.error = *reason;
      return loaded;
    }
  }
  if (std::optional<std::string> reason = CheckConsistency(config)) {
    loaded.error = *reason;
    return loaded;
  }
  loaded.config = std::move(config);
  return loaded;
}

std::optional<std::string> ReadCredentials(const std::string& directory, BotConfig& config) {
  // A password is one line; anything longer than this is no password but a wrong file.
  constexpr std::size_t kLongestPassword = 1024;
  for (auto [name, field] : {std::pair{"server_password", &BotConfig::server_password},
                             std::pair{"sasl_password", &BotConfig::sasl_password}}) {
    if (!(config.*field).empty()) continue;  // the settings' own value stands
    std::filesystem::path path = std::filesystem::path(directory) / name;
    std::ifstream in(path, std::ios::binary);
    if (!in) continue;  // this credential was not given
    std::string value(kLongestPassword + 1, '\0');
    in.read(value.data(), static_cast<std::streamsize>(value.size()));
    value.resize(static_cast<std::size_t>(in.gcount()));
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.pop_back();
    if (value.size() > kLongestPassword || value.find_first_of("\r\n", 0) != std::string::npos ||
        value.find('\0') != std::string::npos) {
      return "the credential " + path.string() + " is not one line of at most " +
             std::to_string(kLongestPassword) + " bytes";
    }
    config.*field = std::move(value);
  }
  return std::nullopt;
}

std::string UsageText() {
  return "Usage: deckhand-irc [OPTION]...\n"
         "Plays the deckhand card games in IRC channels.\n"
         "\n"
         "  --config FILE         read the settings from an INI file (options override it)\n"
         "  --server HOST         the IRC server (default 127.0.0.1)\n"
         "  --port N              its port (default 6667)\n"
         "  --tls                 connect with TLS, verifying the server's certificate\n"
         "  --tls-ca FILE         trust this certificate (e.g. a test server's own)\n"
         "  --tls-fingerprint HEX accept only the certificate with this SHA-256\n"
         "  --tls-insecure        accept any certificate (test servers only)\n"
         "  --nick NICK           the bot's nick (default deckhand)\n"
         "  --channel '#CHAN[ KEY]'  a channel to join; repeat for more\n"
         "  --data-dir DIR        where the card files, mode table and saved decks are\n"
         "  --encoding ENC        utf-8 (default), iso-2022-jp or shift_jis on the wire\n"
         "  --plugin PATH         no longer needed: accepted, not loaded\n"
         "  --no-flood-control    send without pacing (for a server of your own)\n"
         "  --verbose             log every line sent and received\n"
         "  --help, --version\n";
}

}  // namespace deckhand::irc
