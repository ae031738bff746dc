// The save file's lock: callers that load a deck and save it back while holding it lose no
// update, also on threads of this one process (ConcurrentDrawTest has other processes); a lock
// that stays busy fails the save rather than hanging it.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "storage/saved_decks.h"
#include "support/failing_file_ops.h"
#include "support/scratch_directory.h"

namespace deckhand::testing {
namespace {

// One read-modify-write: loads the deck, adds a card, saves it back, under the lock.
bool AppendCard(const std::string& card) {
  SaveFileLock lock = LockSaveFile();
  if (!lock) return false;
  CardList deck = LoadDeck("#shared");
  deck.push_back(card);
  return SaveDeck("#shared", deck);
}

// A host may call from several threads: the lock shuts out the other threads of this process
// as it does other processes (taking it again is free only on the thread that holds it).
TEST(SaveLockTest, ThreadsAppendingAtOnceLoseNoCard) {
  ScratchDirectory scratch;
  constexpr int kThreads = 3;
  constexpr int kAppendsPerThread = 40;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kAppendsPerThread; ++i) {
        while (!AppendCard("t" + std::to_string(t) + "-" + std::to_string(i))) {
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  CardList deck = LoadDeck("#shared");
  EXPECT_EQ(deck.size(), static_cast<std::size_t>(kThreads * kAppendsPerThread));
  EXPECT_EQ(std::set<std::string>(deck.begin(), deck.end()).size(), deck.size());
}

TEST(SaveLockTest, ABusyLockFailsTheSaveAndChangesNothing) {
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", "[DECK]\r\n#t=A,B\r\n");
  // Another holder: a lock of its own on the lock file, as another process would take it.
  std::optional<FileLock> other =
      PlatformFileOps().Lock((scratch.path() / "decksave.ini.lock").string(), {});
  ASSERT_TRUE(other.has_value());

  FailingFileOps ops;
  ops.LimitLockWait(std::chrono::milliseconds(50));
  {
    ScopedFileOps scope(ops);
    EXPECT_FALSE(LockSaveFile().held());
    EXPECT_FALSE(SaveDeck("#t", {"B"}));
    EXPECT_EQ(ops.Calls(FileOp::kReadWhole), 0);
  }
  EXPECT_EQ(scratch.Read("decksave.ini"), "[DECK]\r\n#t=A,B\r\n");

  PlatformFileOps().Unlock(*other);
  EXPECT_TRUE(SaveDeck("#t", {"B"}));
  EXPECT_EQ(scratch.Read("decksave.ini"), "[DECK]\r\n#t=B\r\n");
}

TEST(SaveLockTest, IsLetGoWhenItsHolderEnds) {
  ScratchDirectory scratch;
  FailingFileOps ops;
  ops.LimitLockWait(std::chrono::milliseconds(50));
  ScopedFileOps scope(ops);
  {
    SaveFileLock held = LockSaveFile();
    ASSERT_TRUE(held.held());
    // Taken again on this thread (SaveDeck does so inside a command): no wait on ourselves.
    EXPECT_TRUE(LockSaveFile().held());
    EXPECT_TRUE(SaveDeck("#t", {"A"}));
    EXPECT_EQ(ops.Calls(FileOp::kLock), 1);
  }
  EXPECT_TRUE(LockSaveFile().held());
  EXPECT_EQ(scratch.Read("decksave.ini"), "[DECK]\r\n#t=A\r\n");
  // The lock lives on a companion file that stays beside the save file.
  EXPECT_TRUE(std::filesystem::is_regular_file(scratch.path() / "decksave.ini.lock"));
}

}  // namespace
}  // namespace deckhand::testing
