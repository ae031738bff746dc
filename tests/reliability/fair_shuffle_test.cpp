// Deals and reshuffles through the loaded library are unpredictable: no two of many in a row
// agree. (How evenly the shuffle spreads the cards is measured on the shuffle itself, where a
// hundred thousand shuffles take no time: random_test.)
#include <gtest/gtest.h>

#include <set>

#include "commands/command_test_helpers.h"

namespace deckhand::testing {
namespace {

Cards NumberedCards(int count) {
  Cards cards;
  for (int i = 0; i < count; ++i) cards.push_back("c" + std::to_string(i));
  return cards;
}

struct DealCase {
  const char* name;
  DeckhandCommand Plugin::*command;
  int times;  // each call syncs the save file to the disk, so the loops are kept short
};

void PrintTo(const DealCase& c, std::ostream* out) { *out << c.name; }

class DealsInARowTest : public ::testing::TestWithParam<DealCase> {};

// Two equal orders of 52 cards by chance: at most 1000^2 / 2 / 52!, which is nil. A generator
// seeded from a clock gives the same order to every deal within one tick.
TEST_P(DealsInARowTest, AreAllDifferent) {
  ScratchDirectory scratch;
  scratch.Write("modes.ini", "[MODE]\r\nn=n.ini\r\n");
  scratch.Write("n.ini", DeckFile(NumberedCards(52)));
  ASSERT_TRUE(Deck("u #t modes.ini deck,n"));

  std::set<std::string> orders;
  for (int i = 0; i < GetParam().times; ++i) {
    ASSERT_TRUE(CallCommand(LoadedPlugin().*GetParam().command, "u #t modes.ini deck,n"));
    std::optional<Cards> saved = SavedCards(scratch, "#t");
    ASSERT_TRUE(saved);
    ASSERT_EQ(Sorted(*saved), Sorted(NumberedCards(52)));
    orders.insert(*SavedLine(scratch, "#t"));
  }
  EXPECT_EQ(orders.size(), static_cast<std::size_t>(GetParam().times));
}

INSTANTIATE_TEST_SUITE_P(Commands, DealsInARowTest,
                         ::testing::Values(DealCase{"Deck", &Plugin::deck, 1000},
                                           DealCase{"Shuffle", &Plugin::shuffle, 200}),
                         [](const ::testing::TestParamInfo<DealCase>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace deckhand::testing
