// Draw when the save file cannot be replaced. The export is called as linked into this test, so
// that the file operations can be made to fail underneath it.
#include <gtest/gtest.h>

#include <string>

#include "deckhand/deckhand.h"
#include "storage/file_ops.h"
#include "support/failing_file_ops.h"
#include "support/plugin.h"
#include "support/scratch_directory.h"

namespace deckhand {
namespace {

using testing::CallCommand;
using testing::ScratchDirectory;

// "デッキを保存できませんでした" (the deck could not be saved).
const std::string kSaveFailed =
    "\x83\x66\x83\x62\x83\x4C\x82\xF0\x95\xDB\x91\xB6\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1"
    "\x82\xC5\x82\xB5\x82\xBD";
// "デッキにカードがありません" (there are no cards in the deck).
const std::string kNoCards =
    "\x83\x66\x83\x62\x83\x4C\x82\xC9\x83\x4A\x81\x5B\x83\x68\x82\xAA\x82\xA0\x82\xE8\x82\xDC"
    "\x82\xB9\x82\xF1";

const std::string kFiveCards = "[DECK]\r\n#t=A,B,C,D,E\r\n";

struct FailureCase {
  std::string save_file;
  std::string line;
  std::string reply;
  int save_attempts;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << ::testing::PrintToString(c.line); }

class DrawSaveFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(DrawSaveFailureTest, KeepsTheDeckAndSaysItWasNotSaved) {
  const FailureCase& c = GetParam();
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", c.save_file);
  // The new save file is written whole, then cannot replace the old one (a full or read-only
  // disk looks alike).
  testing::FailingFileOps ops(testing::FileOp::kRename, 1);
  {
    ScopedFileOps in_force(ops);
    EXPECT_EQ(CallCommand(&::Draw, c.line), c.reply);
  }
  EXPECT_EQ(ops.Calls(testing::FileOp::kRename), c.save_attempts);
  EXPECT_EQ(scratch.Read("decksave.ini"), c.save_file);
  EXPECT_EQ(scratch.ListNames(), "decksave.ini");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DrawSaveFailureTest,
    ::testing::Values(
        // Cards were chosen, but naming them would announce a draw that did not happen.
        FailureCase{kFiveCards, "n #t m draw,2", "NOTICE #t " + kSaveFailed, 1},
        FailureCase{kFiveCards, "n #t m draw,1-5", "NOTICE #t " + kSaveFailed, 1},
        // Nothing drawn: the deck is still saved, and its failure still reported.
        FailureCase{kFiveCards, "n #t m draw,9", "NOTICE #t " + kSaveFailed, 1},
        // No deck: nothing is saved, so nothing can fail.
        FailureCase{"[DECK]\r\n#t=\r\n", "n #t m draw,1", "NOTICE #t " + kNoCards, 0}));

TEST(DrawSaveFailureTest, TheLinkedInExportDrawsWhenTheFileCanBeReplaced) {
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", kFiveCards);
  EXPECT_EQ(CallCommand(&::Draw, "n #t m draw,2"), "NOTICE #t B");
  EXPECT_EQ(scratch.Read("decksave.ini"), "[DECK]\r\n#t=A,C,D,E\r\n");
}

}  // namespace
}  // namespace deckhand
