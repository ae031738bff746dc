#include "host/irc/irc_line.h"

#include <gtest/gtest.h>

namespace deckhand::irc {
namespace {

using Tags = std::vector<std::pair<std::string, std::string>>;
using Params = std::vector<std::string>;

struct LineCase {
  const char* name;
  std::string line;
  Tags tags;
  std::string prefix;
  std::string command;
  Params params;
};

class ParseIrcLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(ParseIrcLineTest, TakesTheLineApart) {
  const LineCase& expected = GetParam();
  std::optional<IrcMessage> message = ParseIrcLine(expected.line);
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->tags, expected.tags);
  EXPECT_EQ(message->prefix, expected.prefix);
  EXPECT_EQ(message->command, expected.command);
  EXPECT_EQ(message->params, expected.params);
}

// "1" to "14", then the last parameter.
Params FourteenThen(std::string last) {
  Params params;
  for (int n = 1; n <= 14; ++n) params.push_back(std::to_string(n));
  params.push_back(std::move(last));
  return params;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseIrcLineTest,
    testing::Values(
        LineCase{
            "PingWithATrailingParameter", "PING :irc.example", {}, "", "PING", {"irc.example"}},
        LineCase{"PrivmsgWithAPrefix",
                 ":a!b@c PRIVMSG #t :!draw,2 of Spades",
                 {},
                 "a!b@c",
                 "PRIVMSG",
                 {"#t", "!draw,2 of Spades"}},
        LineCase{"NumericReply",
                 ":srv 001 bot :Welcome home",
                 {},
                 "srv",
                 "001",
                 {"bot", "Welcome home"}},
        LineCase{"CommandInLowerCase", "privmsg #t x", {}, "", "PRIVMSG", {"#t", "x"}},
        LineCase{"EmptyTrailingParameter", "NOTICE #t :", {}, "", "NOTICE", {"#t", ""}},
        LineCase{"TrailingParameterKeepsColonsAndSpaces",
                 "NOTICE #t ::x  y ",
                 {},
                 "",
                 "NOTICE",
                 {"#t", ":x  y "}},
        LineCase{"RunsOfSpaces", "JOIN   #a    #b  ", {}, "", "JOIN", {"#a", "#b"}},
        LineCase{"LineEndLeftOut", "PING x\r\n", {}, "", "PING", {"x"}},
        LineCase{"EscapedTagValues",
                 "@a=1;b;c=x\\sy\\:z\\\\w\\r\\n\\q\\ :s CMD p",
                 {{"a", "1"}, {"b", ""}, {"c", "x y;z\\w\r\nq"}},
                 "s",
                 "CMD",
                 {"p"}},
        LineCase{"TagsWithoutAKeyLeftOut", "@;=v;k= CMD", {{"k", ""}}, "", "CMD", {}},
        LineCase{"FifteenthParameterTakesTheRest",
                 "X 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 ",
                 {},
                 "",
                 "X",
                 FourteenThen("15 16 ")},
        LineCase{"TrailingParameterAfterFourteen",
                 "X 1 2 3 4 5 6 7 8 9 10 11 12 13 14 :a b",
                 {},
                 "",
                 "X",
                 FourteenThen("a b")}),
    [](const testing::TestParamInfo<LineCase>& info) { return info.param.name; });

TEST(ParseIrcLineTest, LineWithoutCommandIsNothing) {
  for (std::string_view line : {"", " ", "\r\n", ":prefix", ":prefix  ", "@a=b", "@a=b :p "}) {
    EXPECT_FALSE(ParseIrcLine(line).has_value()) << line;
  }
}

TEST(NickOfTest, TakesTheNickOffAPrefix) {
  const std::pair<std::string_view, std::string_view> cases[] = {{"alice!al@host", "alice"},
                                                                 {"alice@host", "alice"},
                                                                 {"irc.example", "irc.example"},
                                                                 {"", ""},
                                                                 {"!x@y", ""}};
  for (auto [prefix, nick] : cases) EXPECT_EQ(NickOf(prefix), nick) << prefix;
}

}  // namespace
}  // namespace deckhand::irc
