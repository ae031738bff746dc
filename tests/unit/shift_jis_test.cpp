#include "text/shift_jis.h"

#include <gtest/gtest.h>

#include "support/test_names.h"

namespace deckhand {
namespace {

TEST(ShiftJisTest, PrefixNeverEndsInsideADoubleByteCharacter) {
  const std::string card = "\x83\x4A\x81\x5B\x83\x68";  // three double-byte characters
  EXPECT_EQ(ShiftJisPrefixLength(card, 6), 6u);
  EXPECT_EQ(ShiftJisPrefixLength(card, 5), 4u);
  EXPECT_EQ(ShiftJisPrefixLength(card, 1), 0u);
  EXPECT_EQ(ShiftJisPrefixLength("a\x83\x4A"
                                 "b",
                                 2),
            1u);
  EXPECT_EQ(ShiftJisPrefixLength("a\x83\x4A"
                                 "b",
                                 3),
            3u);
  // A second byte that looks like a lead byte is still a second byte.
  EXPECT_EQ(ShiftJisPrefixLength("\x81\x81\x81\x81", 3), 2u);
  // A lead byte with nothing after it stands alone.
  EXPECT_EQ(ShiftJisPrefixLength("ab\x83", 3), 3u);
}

struct MatchCase {
  std::string a;
  std::string b;
  bool match;
};

void PrintTo(const MatchCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.a) << " vs " << ::testing::PrintToString(c.b);
}

class NamesMatchTest : public ::testing::TestWithParam<MatchCase> {};

TEST_P(NamesMatchTest, FoldsOnlyAsciiLettersOutsideDoubleByteCharacters) {
  const MatchCase& c = GetParam();
  EXPECT_EQ(NamesMatch(c.a, c.b), c.match) << c.a << " vs " << c.b;
  EXPECT_EQ(FoldNameCase(c.a) == FoldNameCase(c.b), c.match);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NamesMatchTest,
    ::testing::Values(MatchCase{"#Table", "#table", true}, MatchCase{"MAX", "max", true},
                      MatchCase{"Max", "Max1", false}, MatchCase{"[a]", "[A]", true},
                      // 83 41 (ア) and 83 61 (ピ... a different character): never folded.
                      MatchCase{"\x83\x41", "\x83\x61", false},
                      MatchCase{"\x83\x41", "\x83\x41", true},
                      // Full-width Ａ (82 60) and ａ (82 81) are different names.
                      MatchCase{"\x82\x60", "\x82\x81", false},
                      MatchCase{"x\x83\x5C"
                                "A",
                                "X\x83\x5C"
                                "a",
                                true}),
    deckhand::testing::NameFromPrinted());

}  // namespace
}  // namespace deckhand
