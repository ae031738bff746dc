// deckhand-discord's settings: an INI file read first, then command-line options over it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/common/game_settings.h"
#include "host/common/log.h"

namespace deckhand::discord {

// What the bot says on Discord beside the game's texts. UTF-8; "{nick}" is filled in.
struct DiscordTexts {
  std::string hand_button = "手札を見る";  // the button under a deal
  // To the asker, when a reply that had to wait went to the channel.
  std::string answered_in_channel = "チャンネルに返事しました";
  // To the asker, when the game says nothing (a refusal repeated within a minute).
  std::string no_reply = "返事はありません";
  // To the asker, when too many commands wait for the game.
  std::string busy = "混み合っています。少し待ってからもう一度どうぞ";
  // A reply longer than the messages the bot sends for one command ends so.
  std::string cut = "（長すぎるので、ここまでにしました）";
};

// The game's settings (host/common/game_settings.h) are the bot's too.
struct DiscordSettings : host::GameSettings {
  // The application, from Discord's developer portal.
  std::string application_id;
  std::string public_key;   // hex, 64 digits: the key Discord signs interactions with
  std::string credentials;  // a file holding the bot token, for --register
  std::string guild_id;     // --register writes the commands for this server alone
  std::string api = "https://discord.com/api/v10";
  // Roles whose members count as the channel's operators, or as voiced, for the dealer rules
  // (beside Manage Messages, which makes an operator).
  std::vector<std::string> operator_roles;
  std::vector<std::string> voiced_roles;

  // Where the bot listens. Plain HTTP on loopback, behind a TLS reverse proxy; or TLS of its
  // own with a certificate and key.
  std::string listen = "127.0.0.1";
  int port = 8080;
  std::string path = "/interactions";
  std::string tls_certificate;
  std::string tls_key;

  std::string data_dir;  // the process moves there at start; empty: stays where it is

  // A command not answered within this many seconds gets Discord's "thinking" answer, and its
  // reply follows through the interaction's webhook (Discord waits 3 seconds).
  double answer_seconds = 2;
  double read_seconds = 10;  // to read a whole request
  double connections = 64;   // open at once
  double waiting = 256;      // commands waiting for the game

  DiscordTexts discord_texts;
  bool verbose = false;
  host::LogLevel log_level = host::LogLevel::kInfo;
};

enum class Action { kRun, kPrintCommands, kRegister, kHelp, kVersion };

struct LoadedSettings {
  std::optional<DiscordSettings> settings;  // nullopt: `error` says what is wrong
  Action action = Action::kRun;
  std::string error;
};

LoadedSettings LoadSettings(int argc, char** argv);
// The --help text.
std::string UsageText();

// Reads the file over `settings`; false and `error` ("file:line: reason") when it cannot.
bool ReadSettingsFile(const std::string& path, DiscordSettings& settings, std::string* error);

}  // namespace deckhand::discord
