// Count through the loaded library, on save files written as users and older tools wrote them.
#include <gtest/gtest.h>

#include "commands/command_test_helpers.h"
#include "support/test_names.h"

namespace deckhand::testing {
namespace {

struct CountCase {
  std::string save_file;
  std::string line;
  std::optional<std::string> reply;
};

void PrintTo(const CountCase& c, std::ostream* out) { *out << ::testing::PrintToString(c.line); }

class CountTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(CountTest, RepliesWithTheCardsLeft) {
  ScratchDirectory scratch;
  const CountCase& c = GetParam();
  if (!c.save_file.empty()) scratch.Write("decksave.ini", c.save_file);
  EXPECT_EQ(Count(c.line), c.reply);
  if (!c.save_file.empty()) {
    EXPECT_EQ(scratch.Read("decksave.ini"), c.save_file);
  }
}

const std::string kTwoTargets = "[DECK]\r\n#table=A,B,C\r\n#empty=\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, CountTest,
    ::testing::Values(
        CountCase{kTwoTargets, "nick #empty modes.ini count", "NOTICE #empty 0"},
        CountCase{kTwoTargets, "nick #other modes.ini count", "NOTICE #other 0"},
        CountCase{"", "nick #never modes.ini count", "NOTICE #never 0"},
        // No field 3 or 4: Count reads field 2 only.
        CountCase{kTwoTargets, "nick #table", "NOTICE #table 3"},
        CountCase{kTwoTargets, "nick", std::nullopt},
        CountCase{"[DECK]\r\n#t=,\r\n", "n #t m count", "NOTICE #t 2"},
        // Shift_JIS targets whose second bytes are the ASCII letters A and a differ.
        CountCase{"[DECK]\r\n\x83\x41=A,B\r\n\x83\x61=A\r\n", "n \x83\x61 m count",
                  "NOTICE \x83\x61 1"},
        // A hand-edited file: spacing, a comment, LF ends (the rules are ini_format_test's).
        CountCase{"; decks\n[ deck ]\n  #t  =  A,B  \n", "n #t m", "NOTICE #t 2"}),
    deckhand::testing::NameFromPrinted());

TEST(CountTest, FollowsTheCurrentDirectoryBetweenCalls) {
  ScratchDirectory first;
  first.Write("decksave.ini", "[DECK]\r\n#t=A,B\r\n");
  first.Write("elsewhere/decksave.ini", "[DECK]\r\n#t=A,B,C,D\r\n");
  EXPECT_EQ(Count("n #t m count"), "NOTICE #t 2");
  std::filesystem::current_path(first.path() / "elsewhere");
  EXPECT_EQ(Count("n #t m count"), "NOTICE #t 4");
}

TEST(CountTest, TooLongATargetGetsNoReplyRatherThanACutNumber) {
  ScratchDirectory scratch;
  EXPECT_EQ(Count("n " + std::string(4095, 't') + " m count"), std::nullopt);
  // "NOTICE " + target + " 0" is exactly 4095 bytes: it fits.
  std::string exact(4095 - 9, 't');
  EXPECT_EQ(Count("n " + exact + " m count"), "NOTICE " + exact + " 0");
  // One byte more would leave room for the head only: a cut number would lie.
  EXPECT_EQ(Count("n " + exact + "t m count"), std::nullopt);
}

}  // namespace
}  // namespace deckhand::testing
