// The commands that save, when the disk lets them down underneath them: each failure is
// reported with the save-failed reply (or, out of memory, no reply at all), the old save file
// stays byte for byte, no temporary file is left, and the host's call returns. On every
// platform: the Windows build runs these too.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>

#include "commands/reply_texts.h"
#include "deckhand/deckhand.h"
#include "storage/file_lock.h"
#include "support/failing_file_ops.h"
#include "support/plugin.h"
#include "support/scratch_directory.h"

namespace deckhand::testing {
namespace {

const std::string kSaveFile = "; decks\r\n[DECK]\r\n#t=A,B,C,D,E\r\n#u=X,Y\r\n";
const std::string kSaveFailed = "NOTICE #t " + std::string(kSaveFailedText);
const std::string kNoCards = "NOTICE #t " + std::string(kNoCardsText);

struct CommandFault {
  const char* name;  // the fault, for the test listing
  DeckhandCommand command;
  std::string line;
  FileOp op;
  int nth;  // which call of `op` fails, counted from 1
  Fault fault;
  std::optional<std::string> reply;
  const char* command_name;
};

void PrintTo(const CommandFault& c, std::ostream* os) { *os << c.command_name << " " << c.name; }

// A command that saves, and how it reads the disk before its save.
struct SavingCommand {
  const char* name;
  DeckhandCommand command;
  std::string line;
  int save_read;  // which ReadWhole call is the save's own reading of the save file
  // The reply when the first read (the load, or for Deck the mode table) cannot be done.
  std::optional<std::string> reply_when_first_read_fails;
};

// The ways the disk can fail a command's save, and the reply each gives. The steps of the
// replace itself, and an exception at any of them, run the same code for every command, so
// only `every_step` commands (Draw) go through each of them.
std::vector<CommandFault> FaultsOf(const SavingCommand& c, bool every_step) {
  auto fault = [&](const char* what, FileOp op, int nth, Fault kind,
                   std::optional<std::string> reply) {
    return CommandFault{what, c.command, c.line, op, nth, kind, std::move(reply), c.name};
  };
  std::vector<CommandFault> faults = {
      fault("LockNotHad", FileOp::kLock, 1, Fault::kFail, kSaveFailed),
      fault("FirstReadFails", FileOp::kReadWhole, 1, Fault::kFail, c.reply_when_first_read_fails),
      fault("RenameFails", FileOp::kRename, 1, Fault::kFail, kSaveFailed),
      fault("OutOfMemoryInSaveRead", FileOp::kReadWhole, c.save_read, Fault::kThrowOutOfMemory,
            std::nullopt),
  };
  // The save cannot read the file it would rewrite: it refuses rather than lose entries. (Draw
  // and Shuffle read the save file once, for the cards and the save alike.)
  if (c.save_read > 1) {
    faults.push_back(
        fault("SaveReadFails", FileOp::kReadWhole, c.save_read, Fault::kFail, kSaveFailed));
  }
  if (!every_step) return faults;
  for (const auto& [what, op] : {std::pair{"CreateFails", FileOp::kCreateTempBeside},
                                 {"WriteFails", FileOp::kWrite},
                                 {"FlushFails", FileOp::kFlush},
                                 {"CloseFails", FileOp::kClose}}) {
    faults.push_back(fault(what, op, 1, Fault::kFail, kSaveFailed));
  }
  // Out of memory at any step: the call returns to the host with no reply and no change.
  for (FileOp op : {FileOp::kLock, FileOp::kReadWhole, FileOp::kCreateTempBeside, FileOp::kWrite,
                    FileOp::kFlush, FileOp::kClose, FileOp::kRename}) {
    faults.push_back(fault("OutOfMemory", op, 1, Fault::kThrowOutOfMemory, std::nullopt));
  }
  return faults;
}

std::vector<CommandFault> AllFaults() {
  // An unreadable save file loads as no deck, and no deck is never saved.
  std::vector<CommandFault> all =
      FaultsOf(SavingCommand{"Draw", &::Draw, "n #t m draw,2", 1, kNoCards}, true);
  // Positions beyond the deck draw nothing, and the deck is saved all the same: a reply must
  // never name cards that are still in the saved deck.
  all.push_back(CommandFault{"RenameFails", &::Draw, "n #t m draw,9", FileOp::kRename, 1,
                             Fault::kFail, kSaveFailed, "DrawNothing"});
  for (const SavingCommand& c : {
           // Shuffle would save what it loaded: a file it could not read must not be taken
           // for an empty deck and saved over.
           SavingCommand{"Shuffle", &::Shuffle, "n #t m shuffle", 1, kSaveFailed},
           // An unreadable mode table holds no mode: no reply, nothing saved.
           SavingCommand{"Deck", &::Deck, "n #t modes.ini deck,five", 3, std::nullopt},
       }) {
    std::vector<CommandFault> faults = FaultsOf(c, false);
    all.insert(all.end(), faults.begin(), faults.end());
  }
  return all;
}

std::string CaseName(const ::testing::TestParamInfo<CommandFault>& info) {
  return std::string(info.param.command_name) + "_" + info.param.name + "_" +
         std::string(FileOpName(info.param.op)) + std::to_string(info.param.nth);
}

class CommandFaultTest : public ::testing::TestWithParam<CommandFault> {};

TEST_P(CommandFaultTest, ReportsTheFailureAndLosesNothing) {
  const CommandFault& c = GetParam();
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", kSaveFile);
  scratch.Write("modes.ini", "[MODE]\r\nfive=five.ini\r\n");
  scratch.Write("five.ini", "[DECK]\r\nMax=5\r\n1=A\r\n2=B\r\n3=C\r\n4=D\r\n5=E\r\n");
  FailingFileOps ops(c.op, c.nth, c.fault);
  {
    ScopedFileOps scope(ops);
    EXPECT_EQ(CallCommand(c.command, c.line), c.reply);
  }
  EXPECT_TRUE(ops.Fired());
  EXPECT_EQ(scratch.Read("decksave.ini"), kSaveFile);
  EXPECT_EQ(scratch.ListNames(), "decksave.ini five.ini modes.ini");
}

INSTANTIATE_TEST_SUITE_P(EveryStep, CommandFaultTest, ::testing::ValuesIn(AllFaults()), CaseName);

// Another process holding the lock past the wait: the command says it could not save.
TEST(CommandFaultTest, ALockHeldElsewhereGivesTheSaveFailedReply) {
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", kSaveFile);
  std::optional<FileLock> other =
      PlatformFileOps().Lock((scratch.path() / "decksave.ini.lock").string(), {});
  ASSERT_TRUE(other.has_value());
  FailingFileOps ops;
  ops.LimitLockWait(std::chrono::milliseconds(50));
  {
    ScopedFileOps scope(ops);
    EXPECT_EQ(CallCommand(&::Draw, "n #t m draw,1"), kSaveFailed);
    // One wait per command, and none for reading where reading needs no lock.
    EXPECT_EQ(ops.Calls(FileOp::kLock), 1);
    EXPECT_EQ(CallCommand(&::Count, "n #t m count"), "NOTICE #t 5");
    EXPECT_EQ(ops.Calls(FileOp::kLock), ReadersTakeTheLock() ? 2 : 1);
  }
  PlatformFileOps().Unlock(*other);
  EXPECT_EQ(scratch.Read("decksave.ini"), kSaveFile);
}

// The same with the whole wait, as a host meets it: the reply comes, once, after it.
TEST(CommandFaultTest, ALockHeldPastTheWholeWaitGivesTheSaveFailedReply) {
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", kSaveFile);
  std::optional<FileLock> other =
      PlatformFileOps().Lock((scratch.path() / "decksave.ini.lock").string(), {});
  ASSERT_TRUE(other.has_value());
  EXPECT_EQ(CallCommand(&::Draw, "n #t m draw,1"), kSaveFailed);
  PlatformFileOps().Unlock(*other);
  EXPECT_EQ(scratch.Read("decksave.ini"), kSaveFile);
}

}  // namespace
}  // namespace deckhand::testing
