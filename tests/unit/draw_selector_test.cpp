// How Draw's selector text turns into bounds and into the cards taken.
#include "table/draw_selector.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "support/test_names.h"

namespace deckhand {
namespace {

constexpr std::int32_t kIntMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();
const std::string kThirtyDigits = "123456789012345678901234567890";

struct BoundCase {
  std::string text;
  std::int32_t value;
};

void PrintTo(const BoundCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.text); }

class ReadBoundTest : public ::testing::TestWithParam<BoundCase> {};

TEST_P(ReadBoundTest, ReadsLikeAtoiAndSaturates) {
  EXPECT_EQ(ReadBound(GetParam().text), GetParam().value) << "text: " << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadBoundTest,
    ::testing::Values(BoundCase{"", 0}, BoundCase{"0", 0}, BoundCase{"7", 7}, BoundCase{"007", 7},
                      BoundCase{"52", 52}, BoundCase{"-", 0}, BoundCase{"-1", -1},
                      BoundCase{"-0", 0}, BoundCase{"2-3", 2}, BoundCase{"--2", 0},
                      BoundCase{"12a", 12}, BoundCase{"2147483647", kIntMax},
                      BoundCase{"2147483648", kIntMax}, BoundCase{"4294967295", kIntMax},
                      BoundCase{"4294967296", kIntMax}, BoundCase{kThirtyDigits, kIntMax},
                      BoundCase{"-2147483647", -kIntMax}, BoundCase{"-2147483648", kIntMin},
                      BoundCase{"-2147483649", kIntMin}, BoundCase{"-" + kThirtyDigits, kIntMin},
                      BoundCase{"000000000000000000000000000003", 3}),
    deckhand::testing::NameFromPrinted());

struct TokenCase {
  std::string token;
  std::optional<std::pair<std::uint32_t, std::uint32_t>> bounds;
};

void PrintTo(const TokenCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.token); }

class ReadSelectorTokenTest : public ::testing::TestWithParam<TokenCase> {};

TEST_P(ReadSelectorTokenTest, GivesTheBoundsOrSkips) {
  std::optional<PositionRange> range = ReadSelectorToken(GetParam().token);
  ASSERT_EQ(range.has_value(), GetParam().bounds.has_value()) << "token: " << GetParam().token;
  if (!range) return;
  EXPECT_EQ(range->first, GetParam().bounds->first) << "token: " << GetParam().token;
  EXPECT_EQ(range->last, GetParam().bounds->second) << "token: " << GetParam().token;
}

using Bounds = std::pair<std::uint32_t, std::uint32_t>;

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadSelectorTokenTest,
    ::testing::Values(TokenCase{"", std::nullopt}, TokenCase{"x", std::nullopt},
                      TokenCase{"1a", std::nullopt}, TokenCase{"1.5", std::nullopt},
                      TokenCase{"+1", std::nullopt}, TokenCase{"1-x", std::nullopt},
                      TokenCase{"\x83\x41", std::nullopt}, TokenCase{"3", Bounds{3, 3}},
                      TokenCase{"0", Bounds{0, 0}}, TokenCase{"2-4", Bounds{2, 4}},
                      TokenCase{"4-2", Bounds{4, 2}}, TokenCase{"3-", Bounds{3, 3}},
                      TokenCase{"-3", Bounds{0, 3}}, TokenCase{"-", Bounds{0, 0}},
                      TokenCase{"1-2-3", Bounds{1, 2}}, TokenCase{"3--1", Bounds{3, 0xFFFFFFFFu}},
                      TokenCase{"--2", Bounds{0, 0xFFFFFFFEu}}, TokenCase{"3--", Bounds{3, 0}},
                      TokenCase{"1---2", Bounds{1, 0}},
                      TokenCase{kThirtyDigits, Bounds{0x7FFFFFFFu, 0x7FFFFFFFu}},
                      TokenCase{"1-" + kThirtyDigits, Bounds{1, 0x7FFFFFFFu}},
                      TokenCase{"1--" + kThirtyDigits, Bounds{1, 0x80000000u}},
                      TokenCase{"1-4294967295", Bounds{1, 0x7FFFFFFFu}}),
    deckhand::testing::NameFromPrinted());

struct SelectCase {
  std::string selector;
  std::size_t deck_size;
  std::vector<std::size_t> taken;
};

void PrintTo(const SelectCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.selector) << " of " << c.deck_size;
}

class SelectCardsTest : public ::testing::TestWithParam<SelectCase> {};

TEST_P(SelectCardsTest, TakesEachPositionOnceInSelectorOrder) {
  EXPECT_EQ(SelectCards(GetParam().selector, GetParam().deck_size), GetParam().taken)
      << "selector: " << GetParam().selector << ", deck of " << GetParam().deck_size;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SelectCardsTest,
    ::testing::Values(SelectCase{"1", 5, {0}}, SelectCase{"5", 5, {4}}, SelectCase{"6", 5, {}},
                      SelectCase{"0", 5, {}}, SelectCase{"", 5, {}}, SelectCase{"1", 0, {}},
                      SelectCase{"3,1", 5, {2, 0}}, SelectCase{"2,2", 5, {1}},
                      SelectCase{"2-3,2", 5, {1, 2}}, SelectCase{"3-1", 5, {}},
                      SelectCase{"5-1,4-4,0-1", 5, {3, 0}}, SelectCase{"4-9", 5, {3, 4}},
                      SelectCase{"7-9", 5, {}}, SelectCase{"1,,2", 5, {0, 1}},
                      // Later ranges skip what earlier tokens took, keeping their own order.
                      SelectCase{"2-4,1-5", 5, {1, 2, 3, 0, 4}},
                      SelectCase{"1,3,5,1-5", 5, {0, 2, 4, 1, 3}},
                      SelectCase{"3,1-5,5-1,1-5", 5, {2, 0, 1, 3, 4}},
                      SelectCase{"0-4294967295", 3, {0, 1, 2}}, SelectCase{"2,4294967295", 3, {1}},
                      SelectCase{"2--1", 3, {1, 2}}, SelectCase{"4294967295--1", 3, {}}),
    deckhand::testing::NameFromPrinted());

TEST(SelectCardsTest, RepeatedFullRangesTakeEveryCardOnce) {
  constexpr std::size_t kDeckSize = 100000;
  std::string selector;
  // Every odd position first, then a full range many times over: the range must fill in the even
  // positions, lowest first, and take nothing again.
  for (std::size_t p = 1; p <= kDeckSize; p += 2) selector += std::to_string(p) + ",";
  for (int repeat = 0; repeat < 1000; ++repeat) selector += "1-4294967295,";
  std::vector<std::size_t> expected;
  for (std::size_t index = 0; index < kDeckSize; index += 2) expected.push_back(index);
  for (std::size_t index = 1; index < kDeckSize; index += 2) expected.push_back(index);
  EXPECT_EQ(SelectCards(selector, kDeckSize), expected);
}

}  // namespace
}  // namespace deckhand
