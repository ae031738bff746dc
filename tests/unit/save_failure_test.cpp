// Commands whose save cannot be completed: the file-operation seam makes the last step of the
// save (moving the new file over the old one) fail, as a full disk or a locked file would.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/command_frame.h"
#include "commands/commands.h"
#include "commands/reply_texts.h"
#include "storage/file_ops.h"
#include "support/failing_file_ops.h"
#include "support/scratch_directory.h"

namespace deckhand {
namespace {

struct SaveFailureCase {
  const char* name;
  void (*command)(const char*, char*);
  const char* line;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SaveFailureCase& c, std::ostream* out) { *out << c.name; }

class SaveFailureTest : public ::testing::TestWithParam<SaveFailureCase> {};

TEST_P(SaveFailureTest, RepliesThatTheDeckWasNotSavedAndKeepsTheOldOne) {
  const SaveFailureCase& c = GetParam();
  testing::ScratchDirectory scratch;
  const std::string saved = "[DECK]\r\n#t=Old1,Old2,Old3\r\n";
  scratch.Write("decksave.ini", saved);
  scratch.Write("modes.ini", "[MODE]\r\nm=d.ini\r\n");
  scratch.Write("d.ini", "[DECK]\r\nMax=2\r\n1=A\r\n2=B\r\n");
  std::string names_before = scratch.ListNames();

  testing::FailingFileOps failing(testing::FileOp::kRename, 1);
  ScopedFileOps scoped(failing);
  std::vector<char> reply(kReplyCapacity, '\x7F');
  c.command(c.line, reply.data());

  EXPECT_EQ(std::string(reply.data()), "NOTICE #t " + std::string(kSaveFailedText));
  EXPECT_EQ(scratch.Read("decksave.ini"), saved);
  EXPECT_EQ(scratch.ListNames(), names_before) << "the temporary file must be gone";
}

INSTANTIATE_TEST_SUITE_P(
    Commands, SaveFailureTest,
    ::testing::Values(SaveFailureCase{"Deck", DeckCommand, "u #t modes.ini deck,m"},
                      SaveFailureCase{"Shuffle", ShuffleCommand, "u #t modes.ini shuffle"}),
    [](const ::testing::TestParamInfo<SaveFailureCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
}  // namespace deckhand
