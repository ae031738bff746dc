// The table's commands as players type them in a chat ("hdraw@tarot,3"), for every host: the
// command read, the player's permission applied, the library's table called (deckhand/table.h),
// and the lines to send, each addressed to one player or to the place. No network and no
// terminal: text in, lines out, so that deckhand and deckhand-irc share one copy.
//
// Every text here is in the library's code page (Shift_JIS); hosts convert on their way in and
// out.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deckhand/table.h"
#include "host/common/command_registry.h"

namespace deckhand::host {

// What the table says. Configurable like the bot's other texts; Japanese by default. Where they
// appear, "{nick}" (the player), "{to}" (a receiver), "{count}", "{discards}", "{cards}",
// "{deck}", "{mode}", "{text}" and "{prefix}" (the host's command prefix) are filled in.
struct TableTexts {
  // after the name of a card that lies reversed
  std::string reversed_mark;  // (逆位置)
  // before every line about a named deck
  std::string deck_label;  // [{deck}]
  // to the place: a deck was dealt
  std::string deck_set;  // デッキセット:{mode}
  // to the place: the draw pile was shuffled
  std::string shuffled;  // シャッフルしました
  // to the place: recall
  std::string recalled;  // {count}枚をデッキに戻してシャッフルしました
  // to the place: auto_recall
  std::string auto_recalled;  // 捨て札{count}枚をデッキに戻してシャッフルしました
  // to the place after a hidden draw
  std::string hidden_draw;  // {nick}: {count}枚引きました
  // to the place: a deal, {nick} the players dealt to (alice、bob), {count} each one's cards
  std::string dealt;  // {nick}に{count}枚配りました
  // to the place: the cards played
  std::string played;  // {nick}: {cards}
  // to the place: cards discarded unseen
  std::string discarded;  // {nick}: {count}枚捨てました
  // to the place: cards given
  std::string given;  // {nick}から{to}に{count}枚渡しました
  // to the receiver of a give
  std::string received;  // {nick}から受け取りました: {cards}
  // to the player: an empty hand
  std::string no_hand;  // 手札はありません
  // to the place: an empty discard pile
  std::string no_discards;  // 捨て札はありません
  // to the place, after the face-up discards: how many lie face down
  std::string face_down_discards;  // 伏せ札{count}枚
  // to the place: the table's piles
  std::string table;  // 山札{count}枚 捨て札{discards}枚
  // after it, per player with cards
  std::string table_hand;  //  {nick}:{count}枚
  // check's view of an empty draw pile, to the place (nothing, as the library's Check says)
  std::string empty_check;  // (nothing)
  // peek's view of an empty draw pile, to the player
  std::string empty_peek;  // デッキにカードがありません
  // the place's auto_recall setting
  std::string auto_recall_on;   // 自動回収:オン
  std::string auto_recall_off;  // 自動回収:オフ
  // the library's own replies, as the five commands give them
  std::string no_cards;              // デッキにカードがありません
  std::string nothing_drawn;         // カードを引けませんでした
  std::string save_failed;           // デッキを保存できませんでした
  std::string shuffle_failed;        // シャッフルできませんでした
  std::string deck_file_unreadable;  // デッキファイルを読めませんでした
  // refusals, to the player
  std::string no_mode;             // モードを指定してください(例: deck,trump)
  std::string no_such_mode;        // モードがありません: {mode}
  std::string card_set_too_large;  // カードが多すぎて配れません: {mode}
  std::string no_such_deck;        // デッキがありません: {deck}
  std::string bad_deck_name;  // デッキ名は16文字まで、空白・カンマ・@なしです: {deck}
  std::string bad_name;          // その名前では遊べません: {nick}
  std::string not_enough_cards;  // カードが足りません(山札{count}枚)
  std::string bad_count;  // 枚数とプレイヤーを指定してください(例: deal,5,alice,bob)
  std::string beyond_hand;  // 手札にその位置のカードがありません(手札{count}枚)
  std::string give_to_self;    // 自分には渡せません
  std::string player_twice;    // 同じプレイヤーが2回指定されています: {nick}
  std::string no_such_player;  // プレイヤーがいません: {nick}
  std::string too_many_decks;  // デッキは{count}個までです
  std::string dealer_only;     // ディーラーだけが使えるコマンドです
  std::string bad_argument;    // 指定が正しくありません: {text}
  // after every line that reports a shuffle: the next shuffle's number and the first 16 hex
  // digits of its commitment
  std::string next_commitment;  //  (次#{count}: {commitment})
  // fair: the next shuffle's number and whole commitment, then the seeds waiting for it
  std::string fair;          // 次のシャッフル#{count}のコミットメント: {commitment}
  std::string fair_waiting;  //  追加シード: {text}
  // to the place: a player added a seed (its text is told only at the reveal)
  std::string seed_added;  // {nick}がシャッフル#{count}にシードを追加しました
  // to the place at a reveal, one per shuffle: its number and seed in hex
  std::string seed_revealed;  // シャッフル#{count}のシード: {text}
  // after the reveal's lines when more shuffles were revealed than the channel is told
  std::string more_revealed;      // 他{count}件のシードは記録ファイルにあります
  std::string nothing_to_reveal;  // 公開するシードはありません
  std::string bad_seed;           // シードは1から64バイトです
  std::string too_many_seeds;     // シードは1回のシャッフルに{count}個までです
  // Help lines in place of the registry's own, by command word ("deck"): "{prefix}" and how the
  // command is typed, then what it does.
  std::map<std::string, std::string, std::less<>> help;
  // after help's list of every command: what "*" and "@D" mean
  std::string help_legend;  // *: ディーラーのコマンド。@D: デッキ名(省略でメインデッキ)
};

// The defaults, in Shift_JIS.
TableTexts DefaultTableTexts();

// One line to send: "NOTICE <to> <text>" in deckhand's and the library's shape.
struct ChatLine {
  std::string to;  // a player's key (TableCommand::player), or the place
  std::string text;
  bool secret = false;  // shows cards that only `to` may see: a host never logs it
};

struct TableCommand {
  // Who sent it, as the save file keys their hands (no comma, no space).
  std::string_view player;
  // Where it was sent: the channel, or the player's own name in a private message (their own
  // table).
  std::string_view place;
  // The place is the player's own table under a name of the host's choosing: nothing is told to
  // the place that the player is told.
  bool private_table = false;
  std::string_view text;        // "WORD[@DECK][,ARGS]", the command prefix already removed
  std::string_view modes_file;  // the mode table file `deck` reads
  std::string_view prefix;      // the host's command prefix, for help ("!" in a chat)
  // Whether the player may run the dealer's commands (NeedsDealer) here.
  bool may_deal = false;
  // The player a name given in a command (deal, give) names here, as the save file keys their
  // hands; nullopt for no player here. Empty: every name is a player, keyed by itself.
  std::function<std::optional<std::string>(std::string_view name)> player_named;
  // The name texts show for a player's key. Empty: the key itself.
  std::function<std::string(std::string_view key)> shown;
};

enum class AnswerStatus {
  kDone,     // the command ran
  kNoCards,  // nothing to draw: an empty draw pile, or positions naming no card (a game's
             // ordinary turn, told as the five commands tell it)
  kRefused,  // bad input or not allowed; a line to the player says why; nothing changed
  kFailed,   // the save file or the system's random generator let the command down, or the
             // mode's deck file cannot be read; a line to the place says so; nothing changed
};

// What a command did, as data for the host to decide by, and the lines to send.
struct TableAnswer {
  bool is_command = false;  // false: the text names no table command (and `lines` is empty)
  AnswerStatus status = AnswerStatus::kDone;
  std::vector<ChatLine> lines;
  const ChatCommandInfo* command = nullptr;  // the command run
  std::string deck;                          // the deck it played: "" for the main deck
  // What the table said; nullopt when the command was refused before the table was asked (not
  // the dealer, a bad argument or deck name, a name that is no player).
  std::optional<table::Outcome> outcome;
  // deck: the mode asked for and, once the mode table names one, its deck file.
  std::string mode;
  std::string deck_file;
  bool dealt_main_deck = false;  // a new main deck was dealt
};

// Runs one command. Never throws: a command that cannot finish for want of memory is told as a
// save that failed (the save file is replaced atomically, so nothing half done remains).
TableAnswer RunTableCommand(const TableCommand& command, const TableTexts& texts);

// The help line of one command: the host's own text for it, or the registry's, `prefix` before
// the command word.
std::string TableHelpLine(const TableTexts& texts, const ChatCommandInfo& command,
                          std::string_view prefix);

// The help about the command `about` names, or about every command (and the legend) when it names
// none.
std::vector<std::string> TableHelpLines(const TableTexts& texts, std::string_view prefix,
                                        std::string_view about);

}  // namespace deckhand::host
