#include "storage/data_path.h"

#include <gtest/gtest.h>

#include "support/scratch_directory.h"

namespace deckhand {
namespace {

TEST(DataPathTest, JoinsTheCurrentDirectoryOfTheMomentAndTheName) {
  testing::ScratchDirectory scratch;
  const std::string here = std::filesystem::current_path().string();
  EXPECT_EQ(MakeDataPath("decksave.ini"), here + PathSeparator() + "decksave.ini");
  std::filesystem::create_directory("sub");
  std::filesystem::current_path("sub");
  EXPECT_EQ(MakeDataPath("decksave.ini"),
            here + PathSeparator() + "sub" + PathSeparator() + "decksave.ini");
}

TEST(DataPathTest, BackslashesSeparateDirectoriesButNotInsideShiftJis) {
  testing::ScratchDirectory scratch;
  const std::string here = std::filesystem::current_path().string() + PathSeparator();
  const std::string sep(1, PathSeparator());
  EXPECT_EQ(MakeDataPath("decks\\trump.ini"), here + "decks" + sep + "trump.ini");
  // ソ is 83 5C: its second byte is a backslash that must stay.
  EXPECT_EQ(MakeDataPath("\x83\x5C\x81\x5B\x83\x68.ini"), here + "\x83\x5C\x81\x5B\x83\x68.ini");
  EXPECT_EQ(MakeDataPath("\x83\x5C\\x.ini"), here + "\x83\x5C" + sep + "x.ini");
}

TEST(DataPathTest, WorksInDirectoriesDeeperThanTwoHundredFiftyFiveBytes) {
  testing::ScratchDirectory scratch;
  std::filesystem::path deep = scratch.path();
  for (int i = 0; i < 12; ++i) deep /= std::string(40, static_cast<char>('a' + i));
  std::filesystem::create_directories(deep);
  std::filesystem::current_path(deep);
  std::string path = MakeDataPath("decksave.ini");
  EXPECT_GT(path.size(), 500u);
  EXPECT_EQ(path, deep.string() + PathSeparator() + "decksave.ini");
}

}  // namespace
}  // namespace deckhand
