// deckhand-irc's settings: an INI file read first, then command-line options over it.
#pragma once

#include "host/common/game_settings.h"
#include "host/common/log.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace deckhand::irc {

struct ChannelSetting {
  std::string name;  // "#table", UTF-8 as written in the settings
  std::string key;   // empty when the channel has none
};

// The game's settings (host/common/game_settings.h) are the bot's too.
struct BotConfig : host::GameSettings {
  // The server.
  std::string server = "127.0.0.1";
  int port = 6667;
  bool tls = false;
  bool tls_verify = true;       // false: any certificate is accepted (test servers only)
  std::string tls_ca;           // a certificate file trusted in addition to the system's
  std::string tls_fingerprint;  // SHA-256 of the server's certificate, hex; when set, pinned
  std::string server_password;  // PASS
  std::string encoding = "utf-8";

  // Who the bot is.
  std::string nick = "deckhand";
  std::string user = "deckhand";
  std::string realname = "deckhand card dealer";
  std::string sasl_user;      // SASL PLAIN account; the nick when empty
  std::string sasl_password;  // SASL is used when this is set
  bool sasl_required = true;  // with a password set, a failed login stops the bot

  std::vector<ChannelSetting> channels;

  // Where the game keeps its files.
  std::string data_dir;  // the process moves there at start; empty: stays where it is
  std::string plugin;    // a library path from older settings: not loaded, only reported

  // Pacing of what the bot sends: a public network's limits accept this.
  bool flood_control = true;
  double flood_burst = 5;
  double flood_rate = 0.5;  // lines per second once the burst is spent
  // Bounds of what waits: past them a sender is told once that the bot is busy for them.
  double sender_lines = 20;         // lines (and commands) waiting for one sender
  double queue_bytes = 256 * 1024;  // everything waiting
  double channel_lines = 3;         // a longer reply in a channel goes to the asker privately
  // A deal whose lines to its players would take longer than this, paced, is refused.
  double deal_seconds = 120;

  // Time, in seconds.
  double reconnect_initial = 1;
  double reconnect_max = 300;
  double rejoin_delay = 10;     // after a KICK
  double ping_interval = 120;   // silence before the bot sends its own PING
  double ping_timeout = 60;     // further silence before the link counts as lost
  double connect_timeout = 30;  // connecting and the TLS handshake, together
  double write_timeout = 60;    // a write the server does not take: the link is dropped
  double ban_retry = 600;       // a ban keeps the bot out of a channel this long, or to an INVITE

  bool verbose = false;
  // The least important log lines written: info, warning or error ([log] level).
  host::LogLevel log_level = host::LogLevel::kInfo;
  bool key_on_command_line = false;  // a --channel gave a key, which `ps` shows to everyone
};

// What the command line asks for besides settings.
enum class Action { kRun, kHelp, kVersion };

struct LoadedConfig {
  std::optional<BotConfig> config;  // nullopt: `error` says what is wrong
  Action action = Action::kRun;
  std::string error;
};

// Reads the settings: defaults, then the file named by --config (when given), then every other
// option. An error names the file, its line and the reason, or the option and the reason.
LoadedConfig LoadConfig(int argc, char** argv);

// The passwords given as systemd credentials (files server_password and sasl_password in
// `directory`, the service's $CREDENTIALS_DIRECTORY), for those the settings leave empty; a
// reason when one is there but is no password.
std::optional<std::string> ReadCredentials(const std::string& directory, BotConfig& config);

// Reads an INI file over `config`. False and `error` ("FILE:LINE: reason") on the first fault.
bool ReadConfigFile(const std::string& path, BotConfig& config, std::string* error);

// Parses "#chan" or "#chan key". nullopt when it is not a channel name.
std::optional<ChannelSetting> ParseChannelSetting(const std::string& text);

std::string UsageText();

}  // namespace deckhand::irc
