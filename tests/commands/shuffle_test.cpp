// Shuffle through the loaded library, on save files on disk.
#include <gtest/gtest.h>

#include <filesystem>

#include "commands/command_test_helpers.h"

namespace deckhand::testing {
namespace {

const std::string kSaved = "[DECK]\r\n#t=A,B,C\r\n#u=Keep\r\n";

TEST(ShuffleTest, KeepsTheSameCardsInANewOrder) {
  ScratchDirectory scratch;
  Cards deck;
  std::string saved;
  for (char c = 'A'; c <= 'Z'; ++c) {
    deck.push_back(std::string(1, c));
    saved += (saved.empty() ? "" : ",") + deck.back();
  }
  scratch.Write("decksave.ini", "[DECK]\r\n#t=" + saved + "\r\n#u=Keep\r\n");

  EXPECT_EQ(Shuffle("u #t modes.ini shuffle"), "NOTICE #t " + kShuffledBytes);
  std::optional<std::string> listed = Check("u #t modes.ini check");
  ASSERT_TRUE(listed);
  ASSERT_EQ(listed->substr(0, 10), "NOTICE #t ");
  Cards shuffled = SplitCards(listed->substr(10));
  EXPECT_EQ(Sorted(shuffled), deck);
  // One order in 26! is the old one; meeting it means the cards were not shuffled.
  EXPECT_NE(shuffled, deck);
  EXPECT_EQ(Count("u #t modes.ini count"), "NOTICE #t 26");
  EXPECT_EQ(SavedLine(scratch, "#u"), "Keep");
}

struct ShuffleCase {
  const char* name;
  std::optional<std::string> before;  // the target's entry before; no entry when nullopt
  Cards after;                        // in any order
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ShuffleCase& c, std::ostream* out) { *out << c.name; }

class ShuffleCasesTest : public ::testing::TestWithParam<ShuffleCase> {};

TEST_P(ShuffleCasesTest, RepliesAndSavesTheSameCards) {
  const ShuffleCase& c = GetParam();
  ScratchDirectory scratch;
  std::string file = "[DECK]\r\n#u=Keep\r\n";
  if (c.before) file += "#t=" + *c.before + "\r\n";
  scratch.Write("decksave.ini", file);

  EXPECT_EQ(Shuffle("u #t modes.ini shuffle"), "NOTICE #t " + kShuffledBytes);
  std::optional<Cards> saved = SavedCards(scratch, "#t");
  ASSERT_TRUE(saved) << "the target has an entry afterwards in every case";
  EXPECT_EQ(Sorted(*saved), Sorted(c.after));
  EXPECT_EQ(SavedLine(scratch, "#u"), "Keep");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShuffleCasesTest,
    ::testing::Values(ShuffleCase{"NoDeckGainsAnEmptyEntry", std::nullopt, {}},
                      ShuffleCase{"EmptyDeckStaysEmpty", "", {}},
                      ShuffleCase{"OneCard", "Solo", {"Solo"}},
                      ShuffleCase{"EmptyCardIsKept", "A,,C", {"A", "", "C"}},
                      ShuffleCase{"DuplicatesAreKept", "J,J,Q,J", {"J", "J", "J", "Q"}}),
    [](const ::testing::TestParamInfo<ShuffleCase>& info) { return info.param.name; });

TEST(ShuffleTest, ATargetWithoutADeckGainsAnEmptyEntryInANewSaveFile) {
  ScratchDirectory scratch;
  EXPECT_EQ(Shuffle("u #t modes.ini shuffle"), "NOTICE #t " + kShuffledBytes);
  EXPECT_EQ(SavedLine(scratch, "#t"), "");
  EXPECT_EQ(Count("u #t modes.ini count"), "NOTICE #t 0");
  EXPECT_EQ(Check("u #t modes.ini check"), "NOTICE #t ");
  EXPECT_EQ(Draw("u #t modes.ini draw"), "NOTICE #t " + kNoCardsBytes);
  EXPECT_EQ(SavedLine(scratch, "#t"), "");
}

TEST(ShuffleTest, ALineItCannotAnswerChangesNothing) {
  for (std::string line :
       {std::string("u"), std::string(""), "u " + std::string(4095, 't') + " m shuffle"}) {
    ScratchDirectory scratch;
    scratch.Write("decksave.ini", kSaved);
    EXPECT_EQ(Shuffle(line), std::nullopt) << line.substr(0, 20);
    EXPECT_EQ(scratch.Read("decksave.ini"), kSaved);
    EXPECT_EQ(scratch.ListNames(), "decksave.ini");
  }
}

TEST(ShuffleTest, ASaveThatFailsIsReported) {
  ScratchDirectory scratch;
  // A directory where the save file belongs can be neither read nor replaced.
  std::filesystem::create_directory(scratch.path() / "decksave.ini");
  EXPECT_EQ(Shuffle("u #t modes.ini shuffle"), "NOTICE #t " + kSaveFailedBytes);
  EXPECT_TRUE(std::filesystem::is_directory(scratch.path() / "decksave.ini"));
  EXPECT_EQ(scratch.ListNames(), "decksave.ini");
}

}  // namespace
}  // namespace deckhand::testing
