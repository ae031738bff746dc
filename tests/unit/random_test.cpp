// The shuffle, driven by scripted numbers so that every swap is known, and by the system's
// generator.
#include "random/random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "random/fair_shuffle.h"
#include "text/text_lists.h"

namespace deckhand {
namespace {

// Hands out a fixed list of numbers, then fails, as a broken system generator would; counts how
// many were taken.
class ScriptedGenerator {
 public:
  explicit ScriptedGenerator(std::vector<std::uint32_t> script) : script_(std::move(script)) {}

  std::optional<std::uint32_t> Next() {
    if (taken_ >= script_.size()) return std::nullopt;
    return script_[taken_++];
  }

  std::size_t taken() const { return taken_; }

 private:
  std::vector<std::uint32_t> script_;
  std::size_t taken_ = 0;
};

// Cards named "0", "1", ... in order.
CardList NumberedCards(std::size_t count) {
  CardList cards;
  for (std::size_t i = 0; i < count; ++i) cards.push_back(std::to_string(i));
  return cards;
}

CardList Sorted(CardList cards) {
  std::sort(cards.begin(), cards.end());
  return cards;
}

struct ScriptCase {
  const char* name;
  CardList cards;
  std::vector<std::uint32_t> script;
  CardList shuffled;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ScriptCase& c, std::ostream* out) { *out << c.name; }

class ShuffleScriptTest : public ::testing::TestWithParam<ScriptCase> {};

// Step k picks card j = (draw * (k + 1)) / 2^32: the draws split into k + 1 equal runs, the
// lowest run picking the top card. Of 3 choices, 0 .. 1431655765 pick card 0, up to 2863311530
// card 1, the rest card 2; draws whose product's low half is below 2^32 mod (k + 1) (for 3
// choices only 0, for 6 choices also 715827883) are thrown away and drawn again.
TEST_P(ShuffleScriptTest, SwapsCardKWithAUniformPickFromTheTopDownToK) {
  const ScriptCase& c = GetParam();
  CardList cards = c.cards;
  ScriptedGenerator generator(c.script);
  EXPECT_TRUE(ShuffleCards(cards, generator));
  EXPECT_EQ(cards, c.shuffled);
  EXPECT_EQ(generator.taken(), c.script.size());
}

constexpr std::uint32_t kTop = 0xFFFFFFFFu;  // picks card k itself: the card stays

INSTANTIATE_TEST_SUITE_P(
    Cases, ShuffleScriptTest,
    ::testing::Values(
        ScriptCase{"OneCardDrawsNothing", {"A"}, {}, {"A"}},
        ScriptCase{"TwoCardsSwapOnTheLowerHalf", {"A", "B"}, {0x7FFFFFFF}, {"B", "A"}},
        ScriptCase{"TwoCardsStayOnTheUpperHalf", {"A", "B"}, {0x80000000}, {"A", "B"}},
        ScriptCase{"TwoCardsStayOnTheTopDraw", {"A", "B"}, {kTop}, {"A", "B"}},
        ScriptCase{
            "ThreeCardsLastOfTheFirstThird", {"A", "B", "C"}, {kTop, 1431655765}, {"C", "B", "A"}},
        ScriptCase{"ThreeCardsFirstOfTheSecondThird",
                   {"A", "B", "C"},
                   {kTop, 1431655766},
                   {"A", "C", "B"}},
        ScriptCase{
            "ThreeCardsLastOfTheSecondThird", {"A", "B", "C"}, {kTop, 2863311530}, {"A", "C", "B"}},
        ScriptCase{
            "ThreeCardsFirstOfTheLastThird", {"A", "B", "C"}, {kTop, 2863311531}, {"A", "B", "C"}},
        ScriptCase{"ThreeCardsBothStepsPickTheTop", {"A", "B", "C"}, {0, 1}, {"C", "A", "B"}},
        ScriptCase{"ABiasedDrawIsDrawnAgain", {"A", "B", "C"}, {kTop, 0, kTop}, {"A", "B", "C"}},
        ScriptCase{"ABiasedDrawOfSixChoicesIsDrawnAgain",
                   {"A", "B", "C", "D", "E", "F"},
                   {kTop, kTop, kTop, kTop, 715827883, 715827884},
                   {"A", "F", "C", "D", "E", "B"}},
        ScriptCase{
            "DuplicatesAndEmptyNamesAreCardsLikeAnyOther", {"A", "", "A"}, {0, 1}, {"A", "A", ""}}),
    [](const ::testing::TestParamInfo<ScriptCase>& info) { return info.param.name; });

TEST(ShuffleCardsTest, AFailedDrawFailsTheShuffle) {
  for (std::size_t drawn : {0, 1, 50}) {
    CardList cards = NumberedCards(52);
    ScriptedGenerator generator(std::vector<std::uint32_t>(drawn, kTop));
    EXPECT_FALSE(ShuffleCards(cards, generator)) << drawn << " draws before the failure";
  }
}

// A generator that failed once stays failed, even when the system would answer again: what it
// handed out before and after a gap could not be told apart from a whole draw.
TEST(SystemRandomTest, OnceAFillFailsEveryLaterDrawFails) {
  static int fills;
  fills = 0;
  ScopedRandomFill failing_once([](void* buffer, std::size_t size) {
    std::memset(buffer, 0, size);
    return ++fills > 1;
  });
  SystemRandom generator;
  EXPECT_FALSE(generator.Next());
  EXPECT_FALSE(generator.Next());
}

TEST(ShuffleCardsTest, TheSystemGeneratorShufflesLargeDecksWhole) {
  for (std::size_t size : {1, 2, 52, 40000}) {
    CardList cards = NumberedCards(size);
    SystemRandom generator;
    ASSERT_TRUE(ShuffleCards(cards, generator));
    EXPECT_EQ(Sorted(cards), Sorted(NumberedCards(size))) << size << " cards";
    if (size >= 52) {
      EXPECT_NE(cards, NumberedCards(size));
    }
  }
}

// Shuffles a four-card deck many times with the system's generator and counts which card lands
// in which position. For a fair shuffle each of the 16 counts is near shuffles / 4. Pearson's
// statistic over the table, times (n - 1) / n since each shuffle fills a whole row and column at
// once, follows a chi-square law with (n - 1)^2 = 9 degrees of freedom. It exceeds 55 with
// probability 1.2e-8, so this test fails by chance less than once in a million runs, even
// allowing for the approximation; a shuffle that favours some orders by one percent lands far
// above it.
TEST(ShuffleCardsTest, EveryCardLandsInEveryPositionEquallyOften) {
  constexpr std::size_t kCards = 4;
  constexpr int kShuffles = 200000;
  std::array<std::array<int, kCards>, kCards> landed{};
  SystemRandom generator;
  for (int shuffle = 0; shuffle < kShuffles; ++shuffle) {
    CardList cards = NumberedCards(kCards);
    ASSERT_TRUE(ShuffleCards(cards, generator));
    for (std::size_t position = 0; position < kCards; ++position) {
      ++landed[std::stoul(cards[position])][position];
    }
  }
  const double expected = static_cast<double>(kShuffles) / kCards;
  double statistic = 0;
  for (const auto& row : landed) {
    for (int count : row) statistic += (count - expected) * (count - expected) / expected;
  }
  statistic *= static_cast<double>(kCards - 1) / kCards;
  EXPECT_LT(statistic, 55.0) << "card-by-position counts far from even";
}

// The construction's worked example (docs/shuffles.md), whose values were computed apart from
// this library, with Python's hashlib and hmac.
TEST(FairShuffleTest, TheWorkedExampleGivesThePublishedPile) {
  Seed seed;
  for (std::size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(CommitmentOf(seed), "630dcd2966c4336691125448bbb25b4ff412a49c732db2c8abc1b8581bd710dd");
  std::optional<Digest> key =
      ShuffleKey(seed, "#deckhand", "tarot", 3, {{"alice", "lucky"}, {"bob", "7"}});
  ASSERT_TRUE(key);
  EXPECT_EQ(HexOf(*key), "426da92e63c6e975ff5533c5867df5166afb9149491e11aa30dd0ef7c78f9417");

  struct Named {
    std::string name;
    bool reversed = false;
  };
  std::vector<Named> cards;
  for (int i = 1; i <= 8; ++i) cards.push_back({"c" + std::to_string(i)});
  ShuffleStream words(*key);
  ASSERT_TRUE(PermuteFromTheBottom(cards, words));
  ASSERT_TRUE(TurnByWords(cards, words));
  std::string names;
  std::string turned;
  for (const Named& card : cards) {
    names += card.name + " ";
    turned += card.reversed ? 'R' : 'U';
  }
  EXPECT_EQ(names, "c5 c3 c1 c4 c6 c2 c7 c8 ");
  EXPECT_EQ(turned, "RURRRURU");
}

// 2^32 mod 3 = 1, so 0xFFFFFFFF is the one word a three-card step must draw again; for two cards
// every word serves.
TEST(FairShuffleTest, AWordAtOrAboveTheLastWholeMultipleIsDrawnAgain) {
  CardList cards = {"a", "b", "c"};
  ScriptedGenerator words({0xFFFFFFFFu, 4, 0xFFFFFFFFu});
  ASSERT_TRUE(PermuteFromTheBottom(cards, words));
  EXPECT_EQ(cards, (CardList{"a", "c", "b"}));
  EXPECT_EQ(words.taken(), 3u);
  ScriptedGenerator too_few({0xFFFFFFFFu});
  EXPECT_FALSE(PermuteFromTheBottom(cards, too_few));
}

// The first card of 60,000 deals of a three-card deck, each under its own seed: Pearson's
// statistic over the three counts follows a chi-square law with 2 degrees of freedom, above 27.6
// with probability 1e-6. The seeds are fixed, so the test gives the same answer every run; a
// permutation that favoured a card by one percent would land far above the bound.
TEST(FairShuffleTest, TheFirstCardOfManyDealsIsEvenlySpread) {
  constexpr int kDeals = 60000;
  std::array<int, 3> first{};
  Seed seed{};
  for (int deal = 0; deal < kDeals; ++deal) {
    for (int i = 0; i < 4; ++i) seed[i] = static_cast<std::uint8_t>(deal >> (8 * i));
    std::optional<Digest> key = ShuffleKey(seed, "#t", "", 1, {});
    ASSERT_TRUE(key);
    CardList cards = NumberedCards(3);
    ShuffleStream words(*key);
    ASSERT_TRUE(PermuteFromTheBottom(cards, words));
    ++first[std::stoul(cards[0])];
  }
  const double expected = kDeals / 3.0;
  double statistic = 0;
  for (int count : first) statistic += (count - expected) * (count - expected) / expected;
  EXPECT_LT(statistic, 27.6) << first[0] << " " << first[1] << " " << first[2];
}

}  // namespace
}  // namespace deckhand
