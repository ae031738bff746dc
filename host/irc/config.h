// deckhand-irc's settings: an INI file read first, then command-line options over it.
#pragma once

#include "host/irc/log.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace deckhand::irc {

// Texts the bot itself says, beside the library's replies. UTF-8 in the configuration file;
// "{nick}" and "{count}" are filled in where they appear.
struct HostTexts {
  std::string hidden_draw = "{nick}: {count}枚引きました";  // to the channel after !hdraw
  std::string not_converted = "文字を変換できないためコマンドを実行できませんでした";
  std::string peek_empty = "デッキにカードがありません";
  // To the channel when a long reply went to the asker instead.
  std::string sent_privately = "{nick}: 長い返事なので個別に送りました";
  // Once, to a sender whose replies are waiting past the limit.
  std::string busy = "{nick}: 返事を送り終わるまで、新しいコマンドは受け付けません";
  // To a sender who may not run a dealer's command here; {who} is one of the who_ texts.
  std::string refused = "{nick}: {command}を使えるのは{who}です";
  std::string who_owner = "{owner}（デッキを配った人）とチャンネルオペレーター";
  std::string who_voiced = "ボイス（+v）以上の人";
  std::string who_ops = "チャンネルオペレーター";
  std::string no_mode = "モードを指定してください（例: deck,trump）。モード: {modes}";
  std::string unknown_mode = "モード「{mode}」はありません。モード: {modes}";
  std::string failed = "コマンドを実行できませんでした";
  std::string hint = "「{hint}」のことですか？（カンマの後に空白は入れません）";
  std::string peek_count = "{prefix}peek,N の N は 1 から {max} までです";
  std::string deck_dropped_unused = "長く使われなかったので、あなたのデッキは片付けました";
  std::string deck_dropped_full = "デッキが多くなりすぎたので、あなたの古いデッキは片付けました";
  // !help: a command's line in place of the registry's, by its word (host/common/
  // command_registry.h), set as help_WORD; {prefix} is the command prefix, {modes} the modes.
  std::map<std::string, std::string, std::less<>> help = {
      {"deck", "{prefix}deck,MODE: 新しいデッキを配ります（モード: {modes}）"},
      {"draw", "{prefix}draw,2-4: 上から2枚目から4枚目を引きます（{prefix}draw は一番上）"},
      {"hdraw", "{prefix}hdraw,1-2: 引いたカードはあなただけに伝えます"},
      {"peek", "{prefix}peek,3: 上から3枚をあなただけに見せます（カードは動きません）"},
      {"count", "{prefix}count: 残りの枚数"},
      {"check", "{prefix}check: 残りのカードを上から全部"},
      {"shuffle", "{prefix}shuffle: 残りのカードを混ぜ直します"},
      {"help", "{prefix}help,COMMAND: コマンドの説明（チャンネルのデッキは配った人が管理します）"},
  };
};

struct ChannelSetting {
  std::string name;  // "#table", UTF-8 as written in the settings
  std::string key;   // empty when the channel has none
};

struct BotConfig {
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

  // The game.
  std::string data_dir;  // the process moves there at start; empty: stays where it is
  std::string plugin;    // a library path from older settings: not loaded, only reported
  std::string prefix = "!";
  std::string modes_file = "modes.ini";
  // Who may deal, shuffle, check and peek in a channel: owner, anyone, voiced, ops or nicks;
  // `channel_dealers` holds the channels with a rule of their own (UTF-8 name, rule).
  std::string dealer = "owner";
  std::vector<std::pair<std::string, std::string>> channel_dealers;
  double private_decks = 500;     // most private decks kept
  double private_deck_days = 30;  // a private deck unused this long is let go

  // Pacing of what the bot sends: a public network's limits accept this.
  bool flood_control = true;
  double flood_burst = 5;
  double flood_rate = 0.5;  // lines per second once the burst is spent
  // Bounds of what waits: past them a sender is told once that the bot is busy for them.
  double sender_lines = 20;         // lines (and commands) waiting for one sender
  double queue_bytes = 256 * 1024;  // everything waiting
  double channel_lines = 3;         // a longer reply in a channel goes to the asker privately

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
  LogLevel log_level = LogLevel::kInfo;
  bool key_on_command_line = false;  // a --channel gave a key, which `ps` shows to everyone
  HostTexts texts;
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
