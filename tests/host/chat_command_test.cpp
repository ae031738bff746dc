// Which chat messages are commands, and the host's texts filled for the sender.
#include "host/common/chat_command.h"

#include <gtest/gtest.h>

namespace deckhand::host {
namespace {

struct ParseCase {
  const char* message;
  const char* prefix;
  const char* word;  // nullptr: no command
  const char* text;
  const char* deck;
  const char* arguments;
  const char* hint;
};

TEST(ChatCommand, TakesThePrefixAndACommandWordInAnyCase) {
  const ParseCase cases[] = {
      {"!deck,trump", "!", "deck", "deck,trump", "", "trump", ""},
      {"!DRAW,2-4 and more words", "!", "draw", "DRAW,2-4", "", "2-4", ""},
      {"!Check", "!", "check", "Check", "", "", ""},
      {"!shuffle,", "!", "shuffle", "shuffle,", "", "", ""},
      {"deck:draw", "deck:", "draw", "draw", "", "", ""},
      {"!HDraw@Tarot,1-2", "!", "hdraw", "HDraw@Tarot,1-2", "Tarot", "1-2", ""},
      {"!peek,1001", "!", "peek", "peek,1001", "", "1001", ""},  // the session tells the range
      {"!draw, 2", "!", "draw", "draw,", "", "", "draw,2"},
      {"!help,deal", "!", "help", "help,deal", "", "deal", ""},
      {"!help, deal", "!", "help", "help,", "", "", ""},  // help answers whatever follows
      {"! draw", "!", nullptr, "", "", "", ""},
      {"!drawing", "!", nullptr, "", "", "", ""},
      {"!dral@x", "!", nullptr, "", "", "", ""},
      {"draw", "!", nullptr, "", "", "", ""},
      {"?draw", "!", nullptr, "", "", "", ""},
      {"!", "!", nullptr, "", "", "", ""},
      {"", "!", nullptr, "", "", "", ""},
  };
  for (const ParseCase& test : cases) {
    std::optional<ChatCommand> command = ParseChatCommand(test.message, test.prefix);
    ASSERT_EQ(command.has_value(), test.word != nullptr) << test.message;
    if (!command) continue;
    EXPECT_EQ(command->info->word, test.word) << test.message;
    EXPECT_EQ(command->text, test.text) << test.message;
    EXPECT_EQ(command->deck, test.deck) << test.message;
    EXPECT_EQ(command->arguments, test.arguments) << test.message;
    EXPECT_EQ(command->hint, test.hint) << test.message;
  }
}

TEST(ChatCommand, HostTextsAreFilledOnceEach) {
  EXPECT_EQ(FillHostText("{nick}: {count}枚引きました", "alice", 2), "alice: 2枚引きました");
  EXPECT_EQ(FillHostText("{count}/{count} {nick}", "{count}", 12), "12/12 {count}");
  EXPECT_EQ(FillHostText("{nick", "bob", 1), "{nick");
}

}  // namespace
}  // namespace deckhand::host
