// The game's answers as the IRC host sends them.
#include "host/irc/notices.h"

#include <gtest/gtest.h>

namespace deckhand::irc {
namespace {

// A character the library's code page lacks goes as itself where the wire can carry it and as
// the library's reference where not; the label goes before the text to one player.
TEST(AnswerNotices, CharactersTheCodePageLacksGoAsTheWireCanCarryThem) {
  struct Case {
    host::WireEncoding wire;
    const char* text;
    const char* line;
  };
  const Case cases[] = {
      {host::WireEncoding::kUtf8,
       "\xE2\x99\xA0"
       "A \xC2\xA5",
       "NOTICE bob :[#t] \xE2\x99\xA0"
       "A \xC2\xA5"},
      {host::WireEncoding::kIso2022Jp,
       "\xE2\x99\xA0"
       "A \xC2\xA5",
       "NOTICE bob :[#t] &#x2660;A &#xA5;"},
  };
  BotConfig config;
  for (const Case& test : cases) {
    host::ChatAnswer answer;
    answer.lines.push_back({false, "bob", "[#t] ", test.text, true});
    std::vector<Notice> sent =
        AnswerNotices(answer, {"alice", "#t", true, 40}, Notices(test.wire), config);
    ASSERT_EQ(sent.size(), 1u) << test.text;
    EXPECT_EQ(sent[0].line, test.line);
    EXPECT_TRUE(sent[0].secret);
  }
}

}  // namespace
}  // namespace deckhand::irc
