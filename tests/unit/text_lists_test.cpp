#include "text/text_lists.h"

#include <gtest/gtest.h>

#include <climits>

#include "support/test_names.h"

namespace deckhand {
namespace {

struct SplitCase {
  std::string text;
  std::string delimiter;
  unsigned limit;
  CardList expected;
};

void PrintTo(const SplitCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.text) << " limit " << c.limit;
}

class SplitTextTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTextTest, CutsAsTheCallersRelyOn) {
  const SplitCase& c = GetParam();
  EXPECT_EQ(SplitText(c.text, c.delimiter, c.limit), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitTextTest,
    ::testing::Values(
        SplitCase{"draw,2,5", ",", 2, {"draw", "2,5"}}, SplitCase{"draw", ",", 2, {"draw", ""}},
        SplitCase{"draw,", ",", 2, {"draw", ""}}, SplitCase{",x", ",", 2, {"", "x"}},
        SplitCase{"2,,5", ",", 0, {"2", "", "5"}}, SplitCase{"A,B,", ",", 0, {"A", "B", ""}},
        SplitCase{",", ",", 0, {"", ""}}, SplitCase{"", ",", 0, {""}},
        SplitCase{"", ",", 2, {"", ""}}, SplitCase{"3-5", "-", 2, {"3", "5"}},
        SplitCase{"3", "-", 2, {"3", ""}}, SplitCase{"1-2-3", "-", 2, {"1", "2-3"}},
        SplitCase{"--2", "-", 2, {"", "-2"}}, SplitCase{"a,b,c", ",", 1, {"a,b,c"}},
        SplitCase{"a,b", ",", 4, {"a", "b", "", ""}}, SplitCase{"a::b::", "::", 0, {"a", "b", ""}},
        // Shift_JIS names pass through whole: no second byte is a comma.
        SplitCase{
            "\x83\x4A\x81\x5B\x83\x68,\x83\x5C", ",", 0, {"\x83\x4A\x81\x5B\x83\x68", "\x83\x5C"}}),
    deckhand::testing::NameFromPrinted());

TEST(JoinCardsTest, SeparatesWithSingleCommasAndNoneAtTheEnds) {
  EXPECT_EQ(JoinCards({"A", "B", "C"}), "A,B,C");
  EXPECT_EQ(JoinCards({}), "");
  EXPECT_EQ(JoinCards({""}), "");
  EXPECT_EQ(JoinCards({"", ""}), ",");
  EXPECT_EQ(JoinCards({"A", "", "C"}), "A,,C");
}

TEST(JoinCardsTest, SplitGivesBackAnyListWithoutCommasExceptOneEmptyName) {
  const CardList lists[] = {{"A"}, {"A", "B", "C"}, {"", "x"}, {"x", ""}, {"", ""}, {"a b", "\t"}};
  for (const CardList& list : lists) EXPECT_EQ(SplitText(JoinCards(list), ",", 0), list);
}

TEST(FormatDecimalTest, PlainDigits) {
  EXPECT_EQ(FormatDecimal(1), "1");
  EXPECT_EQ(FormatDecimal(52), "52");
  EXPECT_EQ(FormatDecimal(0), "0");
  EXPECT_EQ(FormatDecimal(-7), "-7");
  EXPECT_EQ(FormatDecimal(100000), "100000");
  EXPECT_EQ(FormatDecimal(INT_MIN), "-2147483648");
}

}  // namespace
}  // namespace deckhand
