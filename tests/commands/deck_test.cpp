// Deck through the loaded library: dealing from mode tables and deck files on disk, the cases
// that deal nothing, and the example card sets shipped with the library.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "commands/command_test_helpers.h"

namespace deckhand::testing {
namespace {

const std::string kSaveBefore = "[DECK]\r\n#t=Old1,Old2,Old3\r\n#u=Keep\r\n";

const std::string kModes = "[MODE]\r\nm=d.ini\r\nempty=\r\n";
const std::string kDeck = "[DECK]\r\nMax=2\r\n1=A\r\n2=B\r\n";

struct NoDealCase {
  const char* name;
  std::string line;
  std::string deck_file = kDeck;  // d.ini, beside the mode table kModes
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const NoDealCase& c, std::ostream* out) { *out << c.name; }

class DeckNoDealTest : public ::testing::TestWithParam<NoDealCase> {};

// Each case runs once with a save file, which must keep every byte, and once without, which
// must not appear.
TEST_P(DeckNoDealTest, NeitherRepliesNorTouchesTheSaveFile) {
  const NoDealCase& c = GetParam();
  for (bool with_save_file : {true, false}) {
    SCOPED_TRACE(with_save_file ? "with a save file" : "without a save file");
    ScratchDirectory scratch;
    if (with_save_file) scratch.Write("decksave.ini", kSaveBefore);
    scratch.Write("modes.ini", kModes);
    scratch.Write("d.ini", c.deck_file);
    std::string names_before = scratch.ListNames();

    EXPECT_EQ(Deck(c.line), std::nullopt);
    EXPECT_EQ(scratch.ListNames(), names_before);
    if (with_save_file) {
      EXPECT_EQ(scratch.Read("decksave.ini"), kSaveBefore);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeckNoDealTest,
    ::testing::Values(NoDealCase{"NoCommaInTheCommandText", "u #t modes.ini deck"},
                      NoDealCase{"NothingAfterTheComma", "u #t modes.ini deck,"},
                      NoDealCase{"ModeNotInTheTable", "u #t modes.ini deck,other"},
                      NoDealCase{"ModeWithAnEmptyDeckFileName", "u #t modes.ini deck,empty"},
                      NoDealCase{"ModeTableFileAbsent", "u #t nowhere.ini deck,m"},
                      NoDealCase{"LineWithoutACommandText", "u #t modes.ini"},
                      NoDealCase{"LineWithoutATarget", "u"},
                      NoDealCase{"TargetTooLongToHeadAReply",
                                 "u " + std::string(4095, 't') + " modes.ini deck,m"},
                      NoDealCase{"MoreCardsThanAnyCardSetHolds", "u #t modes.ini deck,m",
                                 "[DECK]\r\nMax=100001\r\n1=A\r\n"},
                      NoDealCase{"MoreCardsThanFitInThirtyTwoBits", "u #t modes.ini deck,m",
                                 "[DECK]\r\nMax=2147483647\r\n1=A\r\n"}),
    [](const ::testing::TestParamInfo<NoDealCase>& info) { return info.param.name; });

struct CardSetCase {
  const char* name;
  std::string deck_file;  // d.ini; not written when empty
  Cards dealt;            // in any order
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const CardSetCase& c, std::ostream* out) { *out << c.name; }

class DeckCardSetTest : public ::testing::TestWithParam<CardSetCase> {};

TEST_P(DeckCardSetTest, DealsTheCardsTheFileNamesAndReplies) {
  const CardSetCase& c = GetParam();
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", kSaveBefore);
  scratch.Write("modes.ini", "[MODE]\r\nm=d.ini\r\n");
  if (!c.deck_file.empty()) scratch.Write("d.ini", c.deck_file);

  EXPECT_EQ(Deck("u #t modes.ini deck,m"), "NOTICE #t " + kDeckSetBytes + "m");
  std::optional<Cards> saved = SavedCards(scratch, "#t");
  ASSERT_TRUE(saved) << "the target keeps an entry, empty or not";
  EXPECT_EQ(Sorted(*saved), Sorted(c.dealt));
  EXPECT_EQ(SavedLine(scratch, "#u"), "Keep");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeckCardSetTest,
    ::testing::Values(
        CardSetCase{
            "EntriesBeyondMaxAreNotRead", "[DECK]\r\nMax=2\r\n1=A\r\n2=B\r\n3=C\r\n", {"A", "B"}},
        CardSetCase{"KeyMaxInCapitals", "[deck]\r\nMAX=2\r\n1=A\r\n2=B\r\n", {"A", "B"}},
        CardSetCase{"DuplicateNamesAreSeparateCards", DeckFile({"J", "J", "Q"}), {"J", "J", "Q"}},
        CardSetCase{"NegativeMaxDealsNothing", "[DECK]\r\nMax=-5\r\n1=A\r\n", {}},
        CardSetCase{"NoMaxDealsNothing", "[DECK]\r\n1=A\r\n", {}}),
    [](const ::testing::TestParamInfo<CardSetCase>& info) { return info.param.name; });

// A mode whose deck file is missing or is no file must not wipe the target's game.
TEST(DeckTest, ADeckFileThatCannotBeReadLeavesTheDeckAndSaysSo) {
  for (bool directory : {false, true}) {
    ScratchDirectory scratch;
    scratch.Write("decksave.ini", kSaveBefore);
    scratch.Write("modes.ini", "[MODE]\r\nm=d.ini\r\n");
    if (directory) std::filesystem::create_directory(scratch.path() / "d.ini");

    EXPECT_EQ(Deck("u #t modes.ini deck,m"), "NOTICE #t " + kDeckFileUnreadableBytes);
    EXPECT_EQ(scratch.Read("decksave.ini"), kSaveBefore);
  }
}

TEST(DeckTest, TheModeNameIsEverythingAfterTheFirstComma) {
  ScratchDirectory scratch;
  scratch.Write("modes.ini", "[MODE]\r\na=wrong.ini\r\na,b=right.ini\r\n");
  scratch.Write("wrong.ini", DeckFile({"W"}));
  scratch.Write("right.ini", DeckFile({"R1", "R2"}));

  EXPECT_EQ(Deck("u #t modes.ini deck,a,b"), "NOTICE #t " + kDeckSetBytes + "a,b");
  EXPECT_EQ(Sorted(SavedCards(scratch, "#t").value()), Sorted({"R1", "R2"}));
}

TEST(DeckTest, DealsTheLargestCardSetAllowed) {
  ScratchDirectory scratch;
  scratch.Write("modes.ini", "[MODE]\r\nm=d.ini\r\n");
  scratch.Write("d.ini", "[DECK]\r\nMax=100000\r\n1=First\r\n100000=Last\r\n");

  EXPECT_EQ(Deck("u #t modes.ini deck,m"), "NOTICE #t " + kDeckSetBytes + "m");
  EXPECT_EQ(Count("u #t modes.ini count"), "NOTICE #t 100000");
  Cards saved = SavedCards(scratch, "#t").value();
  EXPECT_EQ(std::count(saved.begin(), saved.end(), "First"), 1);
  EXPECT_EQ(std::count(saved.begin(), saved.end(), "Last"), 1);
  EXPECT_EQ(std::count(saved.begin(), saved.end(), ""), 99998);
}

TEST(DeckTest, ALongModeNameIsCutToFitTheReply) {
  ScratchDirectory scratch;
  // The reply holds "NOTICE #t " (10 bytes), the 13 bytes of the fixed words, and the mode
  // name: 4,072 bytes of it fit. The name is Shift_JIS, so it is cut between characters.
  std::string mode;
  for (int i = 0; i < 2100; ++i) mode += "\x83\x41";
  scratch.Write("modes.ini", "[MODE]\r\n" + mode + "=d.ini\r\n");
  scratch.Write("d.ini", DeckFile({"A"}));

  std::optional<std::string> reply = Deck("u #t modes.ini deck," + mode);
  ASSERT_TRUE(reply);
  EXPECT_EQ(*reply, "NOTICE #t " + kDeckSetBytes + mode.substr(0, 4072));
  EXPECT_EQ(SavedLine(scratch, "#t"), "A");
}

// The example files shipped with the library, dealt as a user would deal them.

std::string ReadExample(const std::string& name) {
  std::ifstream in(std::filesystem::path(DECKHAND_EXAMPLES_DIR) / name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// The card names of a deck file as written: "Max" says how many, and every entry 1 .. Max
// must be there. Read line by line, without the library.
Cards CardsWrittenIn(const std::string& file) {
  std::vector<std::pair<std::string, std::string>> entries;
  std::istringstream lines(file);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t equals = line.find('=');
    if (line.empty() || line[0] == ';' || line[0] == '[' || equals == std::string::npos) continue;
    if (line.substr(0, equals) == "Reversible") continue;  // the table's, never the commands'
    entries.emplace_back(line.substr(0, equals), line.substr(equals + 1));
  }
  int max = -1;
  for (const auto& [key, value] : entries) {
    if (key == "Max") max = std::stoi(value);
  }
  EXPECT_EQ(static_cast<int>(entries.size()), max + 1) << "Max and the entries disagree";
  Cards cards;
  for (int i = 1; i <= max; ++i) {
    auto found = std::find_if(entries.begin(), entries.end(),
                              [&](const auto& entry) { return entry.first == std::to_string(i); });
    EXPECT_NE(found, entries.end()) << "entry " << i << " is missing";
    if (found != entries.end()) cards.push_back(found->second);
  }
  return cards;
}

struct ExampleCase {
  const char* mode;
  const char* file;
  std::size_t cards;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ExampleCase& c, std::ostream* out) { *out << c.mode; }

class ExampleCardSetTest : public ::testing::TestWithParam<ExampleCase> {};

TEST_P(ExampleCardSetTest, DealsEveryCardOfTheFileOnce) {
  const ExampleCase& c = GetParam();
  ScratchDirectory scratch;
  for (const char* name : {"modes.ini", "trump.ini", "tarot.ini", "major.ini", "english.ini"}) {
    scratch.Write(name, ReadExample(name));
  }
  std::string file = ReadExample(c.file);
  // Written as Windows tools write them: every line ends in CR LF.
  for (std::size_t at = file.find('\n'); at != std::string::npos; at = file.find('\n', at + 1)) {
    ASSERT_TRUE(at > 0 && file[at - 1] == '\r') << "a bare LF at byte " << at;
  }
  Cards written = CardsWrittenIn(file);
  ASSERT_EQ(written.size(), c.cards);

  std::string mode = c.mode;
  EXPECT_EQ(Deck("u #t modes.ini deck," + mode), "NOTICE #t " + kDeckSetBytes + mode);
  Cards saved = SavedCards(scratch, "#t").value();
  EXPECT_EQ(Sorted(saved), Sorted(written));
  // One order in 22! or more is the file's own; meeting it means the cards were not shuffled.
  EXPECT_NE(saved, written);
  EXPECT_EQ(Count("u #t modes.ini count"), "NOTICE #t " + std::to_string(c.cards));
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleCardSetTest,
                         ::testing::Values(ExampleCase{"trump", "trump.ini", 54},
                                           ExampleCase{"tarot", "tarot.ini", 78},
                                           ExampleCase{"major", "major.ini", 22},
                                           ExampleCase{"english", "english.ini", 52}),
                         [](const ::testing::TestParamInfo<ExampleCase>& info) {
                           return std::string(info.param.mode);
                         });

}  // namespace
}  // namespace deckhand::testing
