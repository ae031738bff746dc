// The generator and the shuffle, driven by scripted numbers so that every swap is known, and
// the commands that shuffle checked against the shuffle of the tick they started at.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "random/random.h"
#include "support/plugin.h"
#include "support/scratch_directory.h"
#include "text/text_lists.h"

namespace deckhand {
namespace {

// Hands out a fixed list of numbers and counts how many were taken.
class ScriptedGenerator {
 public:
  explicit ScriptedGenerator(std::vector<std::uint32_t> script) : script_(std::move(script)) {}

  std::uint32_t Next() {
    if (taken_ >= script_.size()) {
      ADD_FAILURE() << "the shuffle drew more than the " << script_.size() << " numbers scripted";
      return 0;
    }
    return script_[taken_++];
  }

  std::size_t taken() const { return taken_; }

 private:
  std::vector<std::uint32_t> script_;
  std::size_t taken_ = 0;
};

// Counts the draws of a real generator.
class CountingGenerator {
 public:
  std::uint32_t Next() {
    ++taken_;
    return inner_.Next();
  }
  std::size_t taken() const { return taken_; }

 private:
  RandomGenerator inner_{12345};
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

TEST(RandomGeneratorTest, GivesTheSameSequenceForASeedOnEveryPlatform) {
  struct Case {
    std::uint32_t seed;
    std::vector<std::uint32_t> first_draws;
  };
  for (const Case& c :
       {Case{0, {38, 7719, 21238, 2437, 8855}}, Case{1, {41, 18467, 6334, 26500, 19169}},
        Case{0xFFFFFFFFu, {35, 29739, 3374, 11141, 31308}}}) {
    RandomGenerator generator(c.seed);
    std::vector<std::uint32_t> draws;
    for (std::size_t i = 0; i < c.first_draws.size(); ++i) draws.push_back(generator.Next());
    EXPECT_EQ(draws, c.first_draws) << "seed " << c.seed;
  }
}

TEST(RandomGeneratorTest, StaysWithinFifteenBits) {
  RandomGenerator generator(987654321);
  std::uint32_t largest = 0;
  for (int i = 0; i < 100000; ++i) largest = std::max(largest, generator.Next());
  EXPECT_LE(largest, kRandomMax);
  EXPECT_GT(largest, kRandomMax - 100) << "draws should reach near the top of the range";
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

TEST_P(ShuffleScriptTest, SwapsCardKWithTheDrawModuloKPlusOne) {
  const ScriptCase& c = GetParam();
  CardList cards = c.cards;
  ScriptedGenerator generator(c.script);
  ShuffleCards(cards, generator);
  EXPECT_EQ(cards, c.shuffled);
  EXPECT_EQ(generator.taken(), c.script.size()) << "one draw per step";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShuffleScriptTest,
    ::testing::Values(
        ScriptCase{"OneCardDrawsNothing", {"A"}, {}, {"A"}},
        // Two cards: one draw; an even number swaps them, an odd one leaves them.
        ScriptCase{"TwoCardsSwapOnZero", {"A", "B"}, {0}, {"B", "A"}},
        ScriptCase{"TwoCardsSwapOnEven", {"A", "B"}, {32766}, {"B", "A"}},
        ScriptCase{"TwoCardsStayOnOne", {"A", "B"}, {1}, {"A", "B"}},
        ScriptCase{"TwoCardsStayOnOdd", {"A", "B"}, {32767}, {"A", "B"}},
        ScriptCase{
            "ThreeCardsStayWhenEachCardPicksItself", {"A", "B", "C"}, {1, 2}, {"A", "B", "C"}},
        ScriptCase{"ThreeCardsBothStepsPickTheTop", {"A", "B", "C"}, {0, 0}, {"C", "A", "B"}},
        ScriptCase{"ThreeCardsDrawTakenModuloThree", {"A", "B", "C"}, {5, 4}, {"A", "C", "B"}},
        ScriptCase{"FourCardsEachStepPicksTheOneBefore",
                   {"A", "B", "C", "D"},
                   {0, 1, 2},
                   {"B", "C", "D", "A"}},
        ScriptCase{
            "DuplicatesAndEmptyNamesAreCardsLikeAnyOther", {"A", "", "A"}, {0, 1}, {"", "A", "A"}}),
    [](const ::testing::TestParamInfo<ScriptCase>& info) { return info.param.name; });

// Draws that leave cards 1 .. last_single_step where they are: step k draws k itself.
std::vector<std::uint32_t> IdentityScript(std::size_t last_single_step) {
  std::vector<std::uint32_t> script;
  for (std::size_t k = 1; k <= last_single_step; ++k)
    script.push_back(static_cast<std::uint32_t>(k));
  return script;
}

TEST(ShuffleCardsTest, WidensTheDrawOnceAStepHasMoreThan32768Choices) {
  // Steps up to k = 32766 (32767 choices) take one draw each. The step with 32768 choices takes
  // two, r1 and r2, and picks (r1 * 32768 + r2) mod 32768 = r2.
  CardList cards = NumberedCards(32768);
  std::vector<std::uint32_t> script = IdentityScript(32766);
  script.insert(script.end(), {3, 5});
  ScriptedGenerator generator(script);
  ShuffleCards(cards, generator);
  EXPECT_EQ(generator.taken(), 32768u);
  CardList expected = NumberedCards(32768);
  std::swap(expected[32767], expected[5]);
  EXPECT_EQ(cards, expected);
}

TEST(ShuffleCardsTest, AWidenedDrawUsesBothDrawsWhole) {
  // 32769 choices: (1, 1) is 32769, which picks card 0, where the low draw alone would pick
  // card 1 and the high draw alone card 1 too. Likewise (1, 2) is 32770 for 32770 choices.
  CardList cards = NumberedCards(32770);
  std::vector<std::uint32_t> script = IdentityScript(32766);
  script.insert(script.end(), {0, 32767, 1, 1, 1, 2});
  ScriptedGenerator generator(script);
  ShuffleCards(cards, generator);
  EXPECT_EQ(generator.taken(), script.size());
  CardList expected = NumberedCards(32770);
  expected[0] = "32769";
  expected[32768] = "0";
  expected[32769] = "32768";
  EXPECT_EQ(cards, expected);
}

TEST(ShuffleCardsTest, DrawsOncePerStepUpTo32767CardsAndTwicePerStepBeyond) {
  struct Case {
    std::size_t cards;
    std::size_t draws;
  };
  for (const Case& c : {Case{1, 0}, Case{2, 1}, Case{52, 51}, Case{32767, 32766},
                        Case{32768, 32768}, Case{32769, 32770}, Case{40000, 32766 + 2 * 7233}}) {
    CardList cards = NumberedCards(c.cards);
    CountingGenerator generator;
    ShuffleCards(cards, generator);
    EXPECT_EQ(generator.taken(), c.draws) << c.cards << " cards";
    EXPECT_EQ(Sorted(cards), Sorted(NumberedCards(c.cards))) << c.cards << " cards";
  }
}

TEST(ShuffleCardsTest, TheSameSeedGivesTheSameOrder) {
  CardList first = NumberedCards(52);
  CardList second = NumberedCards(52);
  CardList other_seed = NumberedCards(52);
  RandomGenerator a(4242), b(4242), c(4243);
  ShuffleCards(first, a);
  ShuffleCards(second, b);
  ShuffleCards(other_seed, c);
  EXPECT_EQ(first, second);
  EXPECT_NE(first, other_seed);
  EXPECT_NE(first, NumberedCards(52));
  EXPECT_EQ(Sorted(first), Sorted(NumberedCards(52)));
}

// The orders that a shuffle of `cards` gives for every tick from `from` to `to` (wrapping).
std::vector<CardList> OrdersForTicks(const CardList& cards, std::uint32_t from, std::uint32_t to) {
  std::vector<CardList> orders;
  for (std::uint32_t tick = from;; ++tick) {
    CardList order = cards;
    RandomGenerator generator(tick);
    ShuffleCards(order, generator);
    orders.push_back(order);
    if (tick == to) break;
  }
  return orders;
}

// The saved cards of target "#t", read straight from the save file's only entry.
CardList SavedCards(const testing::ScratchDirectory& scratch) {
  std::string file = scratch.Read("decksave.ini").value_or("");
  std::size_t start = file.find("#t=");
  if (start == std::string::npos) return {"<no entry>"};
  start += 3;
  std::string line = file.substr(start, file.find_first_of("\r\n", start) - start);
  return SplitText(line, ",", 0);
}

bool Contains(const std::vector<CardList>& orders, const CardList& order) {
  return std::find(orders.begin(), orders.end(), order) != orders.end();
}

TEST(CommandShuffleTest, DeckShufflesTheFileOrderWithTheTickOfItsCall) {
  testing::ScratchDirectory scratch;
  std::string deck_file = "[DECK]\r\nMax=52\r\n";
  for (int i = 1; i <= 52; ++i)
    deck_file += std::to_string(i) + "=" + std::to_string(i - 1) + "\r\n";
  scratch.Write("modes.ini", "[MODE]\r\nn=n.ini\r\n");
  scratch.Write("n.ini", deck_file);

  std::uint32_t before = MillisecondTick();
  ASSERT_TRUE(testing::CallCommand(testing::LoadedPlugin().deck, "u #t modes.ini deck,n"));
  std::uint32_t after = MillisecondTick();
  EXPECT_TRUE(Contains(OrdersForTicks(NumberedCards(52), before, after), SavedCards(scratch)));
}

TEST(CommandShuffleTest, ShuffleReshufflesTheSavedOrderWithTheTickOfItsCall) {
  testing::ScratchDirectory scratch;
  CardList saved = {"H", "G", "F", "E", "D", "C", "B", "A", "I", "J", "K", "L", "M"};
  scratch.Write("decksave.ini", "[DECK]\r\n#t=" + JoinCards(saved) + "\r\n");

  std::uint32_t before = MillisecondTick();
  ASSERT_TRUE(testing::CallCommand(testing::LoadedPlugin().shuffle, "u #t modes.ini shuffle"));
  std::uint32_t after = MillisecondTick();
  EXPECT_TRUE(Contains(OrdersForTicks(saved, before, after), SavedCards(scratch)));
}

}  // namespace
}  // namespace deckhand
