// What a chat game is told by its host's settings: the command prefix, the mode table, who may
// deal, the private decks and the texts the host says beside the library's replies. Every text
// is UTF-8.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace deckhand::host {

// Texts a chat host says, beside the library's replies. UTF-8 in the configuration file;
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
  // To the dealer: a deal would need more lines to its players than the host sends in time.
  std::string deal_too_long = "配る量が多すぎます（{lines}行、{limit}行まで）";
  // To the place: !dealer handed a deck to {nick}.
  std::string dealer_handed = "{nick}がディーラーになりました";
  std::string hint = "「{hint}」のことですか？（カンマの後に空白は入れません）";
  std::string peek_count = "{prefix}peek,N の N は 1 から {max} までです";
  std::string deck_dropped_unused = "長く使われなかったので、あなたのデッキは片付けました";
  std::string deck_dropped_full = "デッキが多くなりすぎたので、あなたの古いデッキは片付けました";
  // !help,WORD: a command's line in place of the registry's, by its word (host/common/
  // command_registry.h), set as help_WORD, written as the registry writes its lines; {prefix} is
  // the command prefix, {modes} the modes.
  std::map<std::string, std::string, std::less<>> help = {
      {"deck", "{prefix}deck[@D],MODE*: デッキを用意する(捨て札と手札は空に。モード: {modes})"},
  };
};

struct GameSettings {
  std::string prefix = "!";
  std::string modes_file = "modes.ini";
  // Who may deal, shuffle, check and peek at a place: owner, anyone, voiced, ops or nicks;
  // `channel_dealers` holds the places with a rule of their own (name as players see it, rule).
  std::string dealer = "owner";
  std::vector<std::pair<std::string, std::string>> channel_dealers;
  // How long a deck's dealer keeps it after leaving the place, in minutes.
  double owner_grace_minutes = 10;
  double private_decks = 500;     // most private decks kept
  double private_deck_days = 30;  // a private deck unused this long is let go
  // Transcripts of the games played, in games/ of the data directory, for players to check the
  // shuffles once the seeds are revealed; kept this many days and at most this many files.
  bool transcripts = true;
  double transcript_days = 30;
  double transcript_files = 1000;
  HostTexts texts;
};

}  // namespace deckhand::host
