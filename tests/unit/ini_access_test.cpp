// The INI layer on real files in a scratch directory.
#include "storage/ini_access.h"

#include <gtest/gtest.h>

#include "support/scratch_directory.h"

namespace deckhand {
namespace {

using testing::ScratchDirectory;

TEST(IniSectionTest, ReadsOnceAndAnswersLikeSingleLookups) {
  ScratchDirectory scratch;
  const std::string deck_file =
      "[DECK]\r\nmax=4\r\n1=Ace\r\n3 = \" Three \"\r\n1=Duplicate\r\n4=\x83\x5C\r\n"
      "[DECK]\r\n2=Later section\r\n";
  scratch.Write("cards.ini", deck_file);
  IniSection section = IniSection::Read("cards.ini", "deck", 10, {"Max"});
  for (const char* key : {"Max", "1", "2", "3", "4", "5", "MAX"}) {
    EXPECT_EQ(section.Text(key), ReadIniText("cards.ini", "DECK", key)) << key;
  }
  EXPECT_EQ(section.Number("Max"), 4);
  EXPECT_EQ(section.Text("3"), " Three ");
  EXPECT_EQ(ReadIniNumber("cards.ini", "DECK", "MAX"), 4);
  EXPECT_EQ(IniSection::Read("absent.ini", "DECK", 10, {"Max"}).Text("Max"), "");
}

// A file of many lines keeps only what is asked for: the names given, in any letter case and
// first of duplicates winning, and the numbers up to the limit.
TEST(IniSectionTest, KeepsOnlyTheKeysAskedFor) {
  ScratchDirectory scratch;
  std::string file = "[DECK]\r\n";
  for (int i = 0; i < 3000; ++i) file += "Card" + std::to_string(i) + "=v\r\n";
  file += "max=3\r\nMAX=4\r\n2=Two\r\n3=Three\r\n";
  scratch.Write("cards.ini", file);
  IniSection section = IniSection::Read("cards.ini", "DECK", 2, {"Max"});
  EXPECT_EQ(section.Text("MAX"), "3");
  EXPECT_EQ(section.Text("2"), "Two");
  EXPECT_EQ(section.Text("3"), "");
  EXPECT_EQ(section.Text("Card7"), "");
}

// Numbered keys, as deck files hold them, with the oddities a hand-edited file may have:
// leading zeros, a zero, gaps, duplicates, numbers far beyond the number of entries, and
// numbers in a later section of the same name. Each reads as a single lookup in the file does.
TEST(IniSectionTest, AnswersForNumberedKeysLikeSingleLookups) {
  ScratchDirectory scratch;
  scratch.Write("cards.ini",
                "[DECK]\r\nMax=9\r\n1=One\r\n01=Zero one\r\n0=Zero\r\n3=Three\r\n1=Again\r\n"
                "1000000000=Far\r\n7=\r\n 8 =\" Eight \"\r\n12345678901=Too long\r\n"
                "[DECK]\r\n2=Later section\r\n");
  IniSection section = IniSection::Read("cards.ini", "DECK", 100000, {"Max"});
  for (const char* key : {"1", "2", "3", "4", "7", "8", "9", "10", "Max"}) {
    EXPECT_EQ(section.Text(key), ReadIniText("cards.ini", "DECK", key)) << key;
  }
  EXPECT_EQ(section.Text("1"), "One");
  // Keys that are no plain number, or a number beyond those asked for, are not kept.
  EXPECT_EQ(section.Text("01"), "");
  EXPECT_EQ(section.Text("0"), "");
  EXPECT_EQ(section.Text("1000000000"), "");
  EXPECT_EQ(section.Text("8"), " Eight ");
  EXPECT_EQ(section.Text("2"), "");
}

}  // namespace
}  // namespace deckhand
