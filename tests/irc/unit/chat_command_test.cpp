// Which chat messages are commands, and the host's texts filled for the sender.
#include "host/irc/chat_command.h"

#include <gtest/gtest.h>

#include "host/common/plugin.h"

namespace deckhand::irc {
namespace {

struct ParseCase {
  const char* message;
  const char* prefix;
  std::optional<ChatAction> action;  // nullopt: no command
  const char* export_name;
  const char* text;
  std::size_t peek_count;
};

TEST(ChatCommand, TakesThePrefixAndACommandWordInAnyCase) {
  using enum ChatAction;
  const ParseCase cases[] = {
      {"!deck,trump", "!", kExport, "Deck", "deck,trump", 0},
      {"!DRAW,2-4 and more words", "!", kExport, "Draw", "DRAW,2-4", 0},
      {"!count", "!", kExport, "Count", "count", 0},
      {"!Check", "!", kExport, "Check", "Check", 0},
      {"!shuffle,", "!", kExport, "Shuffle", "shuffle,", 0},
      {"deck:draw", "deck:", kExport, "Draw", "draw", 0},
      {"!hdraw,2", "!", kHiddenDraw, "Draw", "draw,2", 0},
      {"!HDraw", "!", kHiddenDraw, "Draw", "draw,", 0},
      {"!peek,3", "!", kPeek, "Check", "check", 3},
      {"!peek", "!", kPeek, "Check", "check", 1},
      {"!peek,1000", "!", kPeek, "Check", "check", 1000},
      {"!peek,1001", "!", kPeek, "Check", "check", 0},  // the sender hears the range
      {"!peek,0", "!", kPeek, "Check", "check", 0},
      {"!peek,2x", "!", kPeek, "Check", "check", 0},
      {"! draw", "!", std::nullopt, "", "", 0},
      {"!drawing", "!", std::nullopt, "", "", 0},
      {"draw", "!", std::nullopt, "", "", 0},
      {"?draw", "!", std::nullopt, "", "", 0},
      {"!", "!", std::nullopt, "", "", 0},
      {"", "!", std::nullopt, "", "", 0},
  };
  for (const ParseCase& test : cases) {
    std::optional<ChatCommand> command = ParseChatCommand(test.message, test.prefix);
    ASSERT_EQ(command.has_value(), test.action.has_value()) << test.message;
    if (!command) continue;
    EXPECT_EQ(command->action, *test.action) << test.message;
    EXPECT_EQ(host::kExportNames[command->export_index], test.export_name) << test.message;
    EXPECT_EQ(command->text, test.text) << test.message;
    EXPECT_EQ(command->peek_count, test.peek_count) << test.message;
  }
}

TEST(ChatCommand, HostTextsAreFilledOnceEach) {
  EXPECT_EQ(FillHostText("{nick}: {count}枚引きました", "alice", 2), "alice: 2枚引きました");
  EXPECT_EQ(FillHostText("{count}/{count} {nick}", "{count}", 12), "12/12 {count}");
  EXPECT_EQ(FillHostText("{nick", "bob", 1), "{nick");
}

}  // namespace
}  // namespace deckhand::irc
