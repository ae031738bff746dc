// The save file on real files in a scratch directory.
#include "storage/saved_decks.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "storage/ini_access.h"
#include "support/scratch_directory.h"

namespace deckhand {
namespace {

using testing::ScratchDirectory;

// A save file as a user keeps it after editing it by hand in a text editor.
const std::string kHandEdited =
    "; decks of our Tuesday group\r\n"
    "[MODE]\r\n"
    "trump = trump.ini\r\n"
    "\r\n"
    "[DECK]\r\n"
    "  #Table = A,B,C   \r\n"
    "\x83\x41=\x83\x4A\x81\x5B\x83\x68\r\n"
    "; retired\r\n"
    "#old=\r\n"
    "\r\n"
    "[NOTES]\n"
    "free text without equals\n";

TEST(SavedDecksTest, SavingKeepsEveryUntouchedByteOfAHandEditedFile) {
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", kHandEdited);
  ASSERT_TRUE(SaveDeck("#table", {"C", "A"}));
  std::string expected = kHandEdited;
  expected.replace(expected.find("  #Table = A,B,C   "), 19, "#Table=C,A");
  EXPECT_EQ(scratch.Read("decksave.ini"), expected);

  ASSERT_TRUE(SaveDeck("#new", {}));
  std::string with_new = expected;
  with_new.insert(with_new.find("\r\n\r\n[NOTES]") + 2, "#new=\r\n");
  EXPECT_EQ(scratch.Read("decksave.ini"), with_new);
  EXPECT_EQ(ReadIniText("decksave.ini", "MODE", "TRUMP"), "trump.ini");
}

TEST(SavedDecksTest, LoadsWhatWasSavedEmptyNamesIncluded) {
  ScratchDirectory scratch;
  const CardList decks[] = {{"A", "B", "C"}, {"A", "", "B"}, {"", ""}, {}, {" spaced "}};
  for (const CardList& deck : decks) {
    ASSERT_TRUE(SaveDeck("#t", deck));
    EXPECT_EQ(LoadDeck("#t"), deck);
  }
  // A single empty name saves as an empty line and so comes back as no cards.
  ASSERT_TRUE(SaveDeck("#t", {""}));
  EXPECT_EQ(LoadDeck("#t"), CardList{});
  EXPECT_EQ(scratch.Read("decksave.ini"), "[DECK]\r\n#t=\r\n");
}

TEST(SavedDecksTest, TargetsThePlainFormatCannotHoldDisturbNoOtherEntry) {
  ScratchDirectory scratch;
  const std::string targets[] = {"#plain", "[Tom]", "#a=b", ";x", "~ y ~", "#last"};
  for (std::size_t i = 0; i < std::size(targets); ++i) {
    ASSERT_TRUE(SaveDeck(targets[i], {"card" + std::to_string(i)}));
  }
  for (std::size_t i = 0; i < std::size(targets); ++i) {
    EXPECT_EQ(LoadDeck(targets[i]), CardList{"card" + std::to_string(i)}) << targets[i];
  }
  EXPECT_EQ(LoadDeck("Tom"), CardList{});
  EXPECT_EQ(LoadDeck("#a"), CardList{});
}

TEST(SavedDecksTest, AnUnreadableSaveFileIsNeverReplaced) {
  ScratchDirectory scratch;
  std::filesystem::create_directory(scratch.path() / "decksave.ini");
  scratch.Write("decksave.ini/inside", "kept");
  EXPECT_FALSE(SaveDeck("#t", {"A"}));
  EXPECT_TRUE(std::filesystem::is_directory(scratch.path() / "decksave.ini"));
  EXPECT_EQ(scratch.Read("decksave.ini/inside"), "kept");
  EXPECT_EQ(scratch.ListNames(), "decksave.ini");
}

TEST(SavedDecksTest, AValueThatWouldInjectLinesIsRefusedAndChangesNothing) {
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", kHandEdited);
  EXPECT_FALSE(WriteIniText("decksave.ini", "DECK", "#t", "A\r\n[MODE]"));
  EXPECT_EQ(scratch.Read("decksave.ini"), kHandEdited);
  EXPECT_EQ(scratch.ListNames(), "decksave.ini");
}

TEST(SavedDecksTest, LeavesNoTemporaryFileAndKeepsPermissions) {
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", "[DECK]\r\n");
  namespace fs = std::filesystem;
  fs::permissions(scratch.path() / "decksave.ini",
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  // As the platform keeps them: on Windows these bits are only "not read-only".
  const fs::perms before = fs::status(scratch.path() / "decksave.ini").permissions();
  ASSERT_TRUE(SaveDeck("#t", {"A"}));
  EXPECT_EQ(scratch.ListNames(), "decksave.ini");
  EXPECT_EQ(fs::status(scratch.path() / "decksave.ini").permissions(), before);
}

}  // namespace
}  // namespace deckhand
