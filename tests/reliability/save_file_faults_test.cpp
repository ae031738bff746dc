// Saving when the disk lets us down: every failed save leaves the old save file byte for byte
// and no temporary file behind, and says so.
#include <gtest/gtest.h>

#include <new>

#include "storage/saved_decks.h"
#include "support/failing_file_ops.h"
#include "support/scratch_directory.h"

namespace deckhand::testing {
namespace {

const std::string kSaveFile = "[DECK]\r\n#a=A,B,C\r\n#b=X\r\n";

struct SaveFaultCase {
  FileOp op;
  Fault fault;
};

std::string CaseName(const ::testing::TestParamInfo<SaveFaultCase>& info) {
  return std::string(FileOpName(info.param.op)) +
         (info.param.fault == Fault::kFail ? "Fails" : "RunsOutOfMemory");
}

class SaveDeckFaultTest : public ::testing::TestWithParam<SaveFaultCase> {};

TEST_P(SaveDeckFaultTest, LeavesTheOldFileAndNoTemporaryFile) {
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", kSaveFile);
  FailingFileOps ops(GetParam().op, 1, GetParam().fault);
  ScopedFileOps scope(ops);

  bool saved = true;
  if (GetParam().fault == Fault::kThrowOutOfMemory) {
    EXPECT_THROW(SaveDeck("#a", {"B", "C"}), std::bad_alloc);
  } else {
    saved = SaveDeck("#a", {"B", "C"});
    EXPECT_FALSE(saved);
  }
  EXPECT_TRUE(ops.Fired());
  EXPECT_EQ(scratch.Read("decksave.ini"), kSaveFile);
  EXPECT_EQ(scratch.ListNames(), "decksave.ini");
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, SaveDeckFaultTest,
    ::testing::Values(SaveFaultCase{FileOp::kReadWhole, Fault::kFail},
                      SaveFaultCase{FileOp::kCreateTempBeside, Fault::kFail},
                      SaveFaultCase{FileOp::kWrite, Fault::kFail},
                      SaveFaultCase{FileOp::kFlush, Fault::kFail},
                      SaveFaultCase{FileOp::kClose, Fault::kFail},
                      SaveFaultCase{FileOp::kRename, Fault::kFail},
                      SaveFaultCase{FileOp::kReadWhole, Fault::kThrowOutOfMemory},
                      SaveFaultCase{FileOp::kCreateTempBeside, Fault::kThrowOutOfMemory},
                      SaveFaultCase{FileOp::kWrite, Fault::kThrowOutOfMemory},
                      SaveFaultCase{FileOp::kFlush, Fault::kThrowOutOfMemory},
                      SaveFaultCase{FileOp::kClose, Fault::kThrowOutOfMemory},
                      SaveFaultCase{FileOp::kRename, Fault::kThrowOutOfMemory}),
    CaseName);

TEST(SaveDeckFaultTest, ALockNotHadSavesNothing) {
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", kSaveFile);
  FailingFileOps ops(FileOp::kLock, 1);
  ScopedFileOps scope(ops);
  EXPECT_FALSE(SaveDeck("#a", {"B"}));
  EXPECT_EQ(ops.Calls(FileOp::kReadWhole), 0);
  EXPECT_EQ(scratch.Read("decksave.ini"), kSaveFile);
}

}  // namespace
}  // namespace deckhand::testing
