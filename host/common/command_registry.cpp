#include "host/common/command_registry.h"

#include <algorithm>
#include <charconv>

#include "host/common/ascii.h"

namespace deckhand::host {
namespace {

using enum ArgumentKind;

constexpr CommandArgument kModeArgument[] = {{kMode, "MODE", false}};
constexpr CommandArgument kAllArgument[] = {{kAll, "all", true}};
constexpr CommandArgument kSelectorArgument[] = {{kSelector, "N", true}};
constexpr CommandArgument kPositionArgument[] = {{kSelector, "N", false}};
constexpr CommandArgument kDealArguments[] = {{kCount, "N", false}, {kPlayers, "NICK", false}};
constexpr CommandArgument kGiveArguments[] = {{kPlayer, "NICK", false}, {kSelector, "N", false}};
constexpr CommandArgument kPeekArgument[] = {{kCount, "N", true}};
constexpr CommandArgument kOnOffArgument[] = {{kOnOff, "on|off", true}};
constexpr CommandArgument kHelpArgument[] = {{kText, "WORD", true}};
constexpr CommandArgument kDealerArgument[] = {{kPlayer, "NICK", false}};
constexpr CommandArgument kSeedArgument[] = {{kText, "TEXT", false}};

// The help texts, each under its text as it reads, as Shift_JIS bytes written as escapes so that
// they do not depend on how this file is encoded or read.
constexpr ChatCommandInfo kCommands[] = {
    {CommandId::kDeck, "deck", Runner::kDealer, true, kModeArgument,
     // デッキを用意する(捨て札と手札は空に)
     "\x83\x66\x83\x62\x83\x4C\x82\xF0\x97\x70\x88\xD3\x82\xB7\x82\xE9("
     "\x8E\xCC\x82\xC4\x8E\x44\x82\xC6\x8E\xE8\x8E\x44\x82\xCD\x8B\xF3\x82\xC9)"},
    {CommandId::kShuffle,
     "shuffle",
     Runner::kDealer,
     true,
     {},
     // 山札をシャッフル
     "\x8E\x52\x8E\x44\x82\xF0\x83\x56\x83\x83\x83\x62\x83\x74\x83\x8B"},
    {CommandId::kRecall, "recall", Runner::kDealer, true, kAllArgument,
     // 捨て札(allで手札も)を山札に戻してシャッフル
     "\x8E\xCC\x82\xC4\x8E\x44(all\x82\xC5\x8E\xE8\x8E\x44\x82\xE0)"
     "\x82\xF0\x8E\x52\x8E\x44\x82\xC9\x96\xDF\x82\xB5\x82\xC4\x83\x56\x83\x83\x83\x62\x83\x74\x83"
     "\x8B"},
    {CommandId::kDraw, "draw", Runner::kAnyone, true, kSelectorArgument,
     // 引いて場に出す(N: 1,3 や 2-4)
     "\x88\xF8\x82\xA2\x82\xC4\x8F\xEA\x82\xC9\x8F\x6F\x82\xB7(N: 1,3 \x82\xE2 2-4)"},
    {CommandId::kHiddenDraw, "hdraw", Runner::kAnyone, true, kSelectorArgument,
     // 引いて手札に(自分にだけ見える)
     "\x88\xF8\x82\xA2\x82\xC4\x8E\xE8\x8E\x44\x82\xC9("
     "\x8E\xA9\x95\xAA\x82\xC9\x82\xBE\x82\xAF\x8C\xA9\x82\xA6\x82\xE9)"},
    {CommandId::kDeal, "deal", Runner::kDealer, true, kDealArguments,
     // 1人N枚ずつ配る
     "1\x90\x6CN\x96\x87\x82\xB8\x82\xC2\x94\x7A\x82\xE9"},
    {CommandId::kHand,
     "hand",
     Runner::kAnyone,
     true,
     {},
     // 自分の手札を見る
     "\x8E\xA9\x95\xAA\x82\xCC\x8E\xE8\x8E\x44\x82\xF0\x8C\xA9\x82\xE9"},
    {CommandId::kPlay, "play", Runner::kAnyone, true, kPositionArgument,
     // 手札のN番目を場に出す
     "\x8E\xE8\x8E\x44\x82\xCCN\x94\xD4\x96\xDA\x82\xF0\x8F\xEA\x82\xC9\x8F\x6F\x82\xB7"},
    {CommandId::kDiscard, "discard", Runner::kAnyone, true, kPositionArgument,
     // 手札のN番目を伏せて捨てる
     "\x8E\xE8\x8E\x44\x82\xCCN\x94\xD4\x96\xDA\x82\xF0\x95\x9A\x82\xB9\x82\xC4\x8E\xCC\x82\xC4\x82"
     "\xE9"},
    {CommandId::kGive, "give", Runner::kAnyone, true, kGiveArguments,
     // 手札のN番目をNICKに渡す
     "\x8E\xE8\x8E\x44\x82\xCCN\x94\xD4\x96\xDA\x82\xF0NICK\x82\xC9\x93\x6E\x82\xB7"},
    {CommandId::kDiscards,
     "discards",
     Runner::kAnyone,
     true,
     {},
     // 捨て札を新しい順に見る
     "\x8E\xCC\x82\xC4\x8E\x44\x82\xF0\x90\x56\x82\xB5\x82\xA2\x8F\x87\x82\xC9\x8C\xA9\x82\xE9"},
    {CommandId::kTable,
     "table",
     Runner::kAnyone,
     true,
     {},
     // 山札・捨て札・手札の枚数
     "\x8E\x52\x8E\x44\x81\x45\x8E\xCC\x82\xC4\x8E\x44\x81\x45\x8E\xE8\x8E\x44\x82\xCC\x96\x87\x90"
     "\x94"},
    {CommandId::kCount,
     "count",
     Runner::kAnyone,
     true,
     {},
     // 山札の枚数
     "\x8E\x52\x8E\x44\x82\xCC\x96\x87\x90\x94"},
    {CommandId::kCheck,
     "check",
     Runner::kDealer,
     true,
     {},
     // 山札を上から見せる
     "\x8E\x52\x8E\x44\x82\xF0\x8F\xE3\x82\xA9\x82\xE7\x8C\xA9\x82\xB9\x82\xE9"},
    {CommandId::kPeek, "peek", Runner::kDealer, true, kPeekArgument,
     // 山札の上N枚を自分だけ見る
     "\x8E\x52\x8E\x44\x82\xCC\x8F\xE3N\x96\x87\x82\xF0\x8E\xA9\x95\xAA\x82\xBE\x82\xAF\x8C\xA9\x82"
     "\xE9"},
    {CommandId::kAutoRecall, "auto_recall", Runner::kDealerToSet, false, kOnOffArgument,
     // 山札が尽きたら捨て札を自動で戻す
     "\x8E\x52\x8E\x44\x82\xAA\x90\x73\x82\xAB\x82\xBD\x82\xE7\x8E\xCC\x82\xC4\x8E\x44\x82\xF0\x8E"
     "\xA9\x93\xAE\x82\xC5\x96\xDF\x82\xB7"},
    {CommandId::kDealer, "dealer", Runner::kDealer, true, kDealerArgument,
     // ディーラーをNICKに渡す
     "\x83\x66\x83\x42\x81\x5B\x83\x89\x81\x5B\x82\xF0NICK\x82\xC9\x93\x6E\x82\xB7"},
    {CommandId::kFair,
     "fair",
     Runner::kAnyone,
     true,
     {},
     // 次のシャッフルのコミットメントと追加シード
     "\x8E\x9F\x82\xCC\x83\x56\x83\x83\x83\x62\x83\x74\x83\x8B\x82\xCC\x83\x52\x83\x7E\x83\x62"
     "\x83\x67\x83\x81\x83\x93\x83\x67\x82\xC6\x92\xC7\x89\xC1\x83\x56\x81\x5B\x83\x68"},
    {CommandId::kSeed, "seed", Runner::kAnyone, true, kSeedArgument,
     // 次のシャッフルに自分のシードを加える(64バイトまで)
     "\x8E\x9F\x82\xCC\x83\x56\x83\x83\x83\x62\x83\x74\x83\x8B\x82\xC9\x8E\xA9\x95\xAA\x82\xCC"
     "\x83\x56\x81\x5B\x83\x68\x82\xF0\x89\xC1\x82\xA6\x82\xE9(64\x83\x6F\x83\x43\x83\x67\x82\xDC"
     "\x82\xC5)"},
    {CommandId::kReveal,
     "reveal",
     Runner::kDealer,
     true,
     {},
     // シードを公開してゲームを終える(配り直し)
     "\x83\x56\x81\x5B\x83\x68\x82\xF0\x8C\xF6\x8A\x4A\x82\xB5\x82\xC4\x83\x51\x81\x5B\x83\x80"
     "\x82\xF0\x8F\x49\x82\xA6\x82\xE9(\x94\x7A\x82\xE8\x92\xBC\x82\xB5)"},
    {CommandId::kHelp, "help", Runner::kAnyone, false, kHelpArgument,
     // コマンドの説明(WORDでそのコマンドだけ)
     "\x83\x52\x83\x7D\x83\x93\x83\x68\x82\xCC\x90\xE0\x96\xBE("
     "WORD\x82\xC5\x82\xBB\x82\xCC\x83\x52\x83\x7D\x83\x93\x83\x68\x82\xBE\x82\xAF)"},
};

}  // namespace

std::span<const ChatCommandInfo> ChatCommands() { return kCommands; }

const ChatCommandInfo* FindChatCommand(std::string_view word) {
  for (const ChatCommandInfo& command : kCommands) {
    if (EqualIgnoringCase(command.word, word)) return &command;
  }
  return nullptr;
}

const ChatCommandInfo& ChatCommandOf(CommandId id) {
  return *std::find_if(std::begin(kCommands), std::end(kCommands),
                       [id](const ChatCommandInfo& command) { return command.id == id; });
}

bool NeedsDealer(const ChatCommandInfo& command, std::string_view arguments) {
  switch (command.runner) {
    case Runner::kAnyone:
      return false;
    case Runner::kDealer:
      return true;
    case Runner::kDealerToSet:
      return !arguments.empty();
  }
  return true;
}

std::optional<std::size_t> ReadCount(std::string_view text) {
  std::size_t count = 0;
  auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (text.empty() || failure != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return count;
}

std::vector<std::string> SplitAtCommas(std::string_view text) {
  std::vector<std::string> pieces;
  for (std::size_t start = 0;;) {
    std::size_t comma = text.find(',', start);
    pieces.emplace_back(text.substr(start, comma - start));
    if (comma == std::string_view::npos) return pieces;
    start = comma + 1;
  }
}

std::optional<std::size_t> PeekCount(std::string_view argument) {
  if (argument.empty()) return 1;
  std::optional<std::size_t> count = ReadCount(argument);
  if (!count || *count == 0 || *count > kMaxPeekCount) return std::nullopt;
  return count;
}

std::string Usage(const ChatCommandInfo& command) {
  std::string usage(command.word);
  if (command.on_deck) usage += "[@D]";
  for (const CommandArgument& argument : command.arguments) {
    std::string typed = "," + std::string(argument.name);
    if (argument.kind == kPlayers) typed += "[," + std::string(argument.name) + "...]";
    usage += argument.optional ? "[" + typed + "]" : typed;
  }
  return usage;
}

namespace {

std::string_view DealerMark(const ChatCommandInfo& command) {
  return command.runner == Runner::kAnyone ? "" : "*";
}

}  // namespace

std::string DefaultHelpLine(const ChatCommandInfo& command) {
  return "{prefix}" + Usage(command) + std::string(DealerMark(command)) + ": " +
         std::string(command.help);
}

std::string CommandListLine() {
  std::string line;
  for (const ChatCommandInfo& command : kCommands) {
    if (!line.empty()) line += ' ';
    line += "{prefix}";
    line += command.id == CommandId::kHelp ? Usage(command) : std::string(command.word);
    line += DealerMark(command);
  }
  return line;
}

std::span<const ChatCommandInfo> CommandsToHelpWith(std::string_view about) {
  const ChatCommandInfo* named = about.empty() ? nullptr : FindChatCommand(about);
  if (named == nullptr) return kCommands;
  return {named, 1};
}

}  // namespace deckhand::host
