// What a chat message asks of the bot: one of the library's five commands, a hidden draw or a
// peek; anything else is no command and is ignored.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace deckhand::irc {

enum class ChatAction {
  kExport,      // one of the five exports, called with the text as field 4
  kHiddenDraw,  // Draw on the channel's deck; the cards go to the sender only
  kPeek,        // the top cards of the deck, told to the sender only; nothing moves
  kHelp,        // the bot's commands, told to the sender; `text` names one, or is empty
  kTable,       // one of the table's other commands, or any command on a named deck
                // ("draw@tarot,3"); `text` is the whole command text
};

struct ChatCommand {
  ChatAction action = ChatAction::kExport;
  std::size_t export_index = 0;  // into host::kExportNames: the export to call
  // Field 4 of the command line, still in the wire's bytes: the text after the prefix up to the
  // first space, as the library reads only that much ("draw,2-4"); for a hidden draw, the Draw
  // command with the same selector.
  std::string text;
  std::size_t peek_count = 0;  // for kPeek: how many cards from the top; 0 for a wrong count
  // "draw,2" for "!draw, 2": a space after the comma cuts the argument off, so the command is
  // not run and the sender is asked whether they meant this.
  std::string hint;
};

// Commands that change or reveal the whole deck: deal, shuffle, check and peek. In a channel
// only its dealers run them.
bool IsDealerCommand(const ChatCommand& command);

// Largest number of cards one peek shows.
inline constexpr std::size_t kMaxPeekCount = 1000;

// The command in `message` when it starts with `prefix` directly followed by a command word
// (an export's name, "hdraw", "peek" or "help", in any letter case) ended by a comma, a space or
// the message's end. nullopt for anything else, including a peek whose count is not 1 to
// kMaxPeekCount.
std::optional<ChatCommand> ParseChatCommand(std::string_view message, std::string_view prefix);

// `text` with every "{nick}" and "{count}" replaced.
std::string FillHostText(std::string_view text, std::string_view nick, std::size_t count);

// `text` with every "{name}" of `fills` replaced by its value, in one pass: a value is never
// filled in itself.
using Fills = std::vector<std::pair<std::string_view, std::string>>;
std::string FillText(std::string_view text, const Fills& fills);

}  // namespace deckhand::irc
