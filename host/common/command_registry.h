// Every chat command a player may type ("hdraw@tarot,3"), listed once for every host: its word,
// who may run it, whether it plays a deck, its arguments and its help. The chat layers read
// commands through it, help is made from it, and the dealer rules ask it; a host that offers
// typed commands (options with a kind each) builds them from the arguments. Nothing here runs a
// command: that is the table's chat layer (host/common/table_chat.h).
//
// Texts are in the library's code page (Shift_JIS).
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace deckhand::host {

enum class CommandId {
  kDeck,
  kShuffle,
  kRecall,
  kDraw,
  kHiddenDraw,
  kDeal,
  kHand,
  kPlay,
  kDiscard,
  kGive,
  kDiscards,
  kTable,
  kCount,
  kCheck,
  kPeek,
  kAutoRecall,
  kDealer,  // kept by chat hosts, which know who is at a place; not played at the table
  kFair,
  kSeed,
  kReveal,
  kHelp,
};

// Who may run a command at a place whose host keeps dealers (at a player's own table, they are
// its dealer).
enum class Runner {
  kAnyone,
  kDealer,
  kDealerToSet,  // anyone may ask; giving an argument (setting it) is the dealer's
};

// What an argument holds: for help, and for hosts that ask for each argument by its kind.
enum class ArgumentKind {
  kMode,      // a mode of the mode table
  kSelector,  // card positions, as Draw reads them: "3", "1,3", "2-4"
  kCount,     // a number of cards (ReadCount)
  kPlayers,   // one or more player names, comma-separated
  kPlayer,    // one player name
  kOnOff,     // "on" or "off"
  kAll,       // the word "all"
  kText,      // free text (a command word, for help)
};

struct CommandArgument {
  ArgumentKind kind;
  std::string_view name;  // as help shows it: "MODE", "N", "NICK", "on|off"
  bool optional;
};

struct ChatCommandInfo {
  CommandId id;
  std::string_view word;  // lower case; typed in any letter case
  Runner runner;
  bool on_deck;  // plays one deck, which "@DECK" names (the main deck without it)
  std::span<const CommandArgument> arguments;  // in the order they are typed, after commas
  std::string_view help;  // what it does, the default text of its help line (Shift_JIS)
};

// Every command, in the order help lists them.
std::span<const ChatCommandInfo> ChatCommands();

// The command `word` names, in any letter case; nullptr for any other word.
const ChatCommandInfo* FindChatCommand(std::string_view word);

// The command `id` names.
const ChatCommandInfo& ChatCommandOf(CommandId id);

// Whether running `command` with these arguments is the dealer's.
bool NeedsDealer(const ChatCommandInfo& command, std::string_view arguments);

// The most cards one peek shows.
inline constexpr std::size_t kMaxPeekCount = 1000;

// A count as players type it: decimal digits and nothing else (no sign, no space); nullopt for
// anything else or a number beyond std::size_t.
std::optional<std::size_t> ReadCount(std::string_view text);

// A command's arguments cut at every comma ("5,alice,bob"); one empty piece for no text.
std::vector<std::string> SplitAtCommas(std::string_view text);

// The peek's count: 1 when none is given; nullopt unless it is 1 to kMaxPeekCount.
std::optional<std::size_t> PeekCount(std::string_view argument);

// How the command is typed, from its arguments: "deck[@D],MODE", "deal[@D],N,NICK[,NICK...]".
std::string Usage(const ChatCommandInfo& command);

// The command's default help line, as every help line is written: "{prefix}" and its usage, "*"
// after a dealer's command, ": " and its help text ("{prefix}" is left for the host to fill):
// "{prefix}check[@D]*: ...".
std::string DefaultHelpLine(const ChatCommandInfo& command);

// Every command in one line, as help lists them: "{prefix}deck* {prefix}shuffle* ... ", each word
// with "*" after a dealer's, help last with its usage, "{prefix}help[,WORD]", which tells how to
// ask about one.
std::string CommandListLine();

// The commands help tells about when asked about `about`: the one it names, or all of them
// when it names none.
std::span<const ChatCommandInfo> CommandsToHelpWith(std::string_view about);

}  // namespace deckhand::host
