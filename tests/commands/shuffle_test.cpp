// Shuffle through the loaded library, on save files on disk.
#include <gtest/gtest.h>

#include "commands/command_test_helpers.h"

namespace deckhand::testing {
namespace {

const std::string kSaved = "[DECK]\r\n#t=A,B,C\r\n#u=Keep\r\n";

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
  // One order in 26! is the old one; meeting it means the cards were not shuffled.
  if (c.after.size() == 26) {
    EXPECT_NE(*saved, c.after);
  }
  EXPECT_EQ(SavedLine(scratch, "#u"), "Keep");
}

const std::string kAlphabet = "A,B,C,D,E,F,G,H,I,J,K,L,M,N,O,P,Q,R,S,T,U,V,W,X,Y,Z";

INSTANTIATE_TEST_SUITE_P(
    Cases, ShuffleCasesTest,
    ::testing::Values(ShuffleCase{"NewOrder", kAlphabet, SplitCards(kAlphabet)},
                      ShuffleCase{"NoDeckGainsAnEmptyEntry", std::nullopt, {}},
                      ShuffleCase{"EmptyCardIsKept", "A,,C", {"A", "", "C"}}),
    [](const ::testing::TestParamInfo<ShuffleCase>& info) { return info.param.name; });

TEST(ShuffleTest, ATargetWithoutADeckGainsAnEmptyEntryInANewSaveFile) {
  ScratchDirectory scratch;
  EXPECT_EQ(Shuffle("u #t modes.ini shuffle"), "NOTICE #t " + kShuffledBytes);
  EXPECT_EQ(SavedLine(scratch, "#t"), "");
  EXPECT_EQ(scratch.ListNames(), "decksave.ini");
}

TEST(ShuffleTest, ALineItCannotAnswerChangesNothing) {
  for (std::string line : {std::string("u"), "u " + std::string(4095, 't') + " m shuffle"}) {
    ScratchDirectory scratch;
    scratch.Write("decksave.ini", kSaved);
    EXPECT_EQ(Shuffle(line), std::nullopt) << line.substr(0, 20);
    EXPECT_EQ(scratch.Read("decksave.ini"), kSaved);
    EXPECT_EQ(scratch.ListNames(), "decksave.ini");
  }
}

}  // namespace
}  // namespace deckhand::testing
