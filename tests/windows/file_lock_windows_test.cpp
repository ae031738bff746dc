// The save file's lock on Windows: LockFileEx on a lock file, which two handles exclude each
// other on even within one process, reached through the wide functions in Shift_JIS directories.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "storage/data_path.h"
#include "storage/file_ops.h"
#include "storage/saved_decks.h"
#include "support/scratch_directory.h"

namespace deckhand::testing {
namespace {

using std::chrono::milliseconds;

// "ソフト": its second bytes include 0x5C, the code of '\'.
const std::string kSoft = "\x83\x5C\x83\x74\x83\x67";

TEST(WindowsFileLockTest, ASecondHolderWaitsInVainUntilTheFirstLetsGo) {
  ScratchDirectory scratch;
  std::string path = MakeDataPath("decksave.ini.lock");
  std::optional<FileLock> first = PlatformFileOps().Lock(path, milliseconds(0));
  ASSERT_TRUE(first.has_value());
  EXPECT_FALSE(PlatformFileOps().Lock(path, milliseconds(50)).has_value());
  PlatformFileOps().Unlock(*first);
  std::optional<FileLock> second = PlatformFileOps().Lock(path, milliseconds(0));
  ASSERT_TRUE(second.has_value());
  PlatformFileOps().Unlock(*second);
  EXPECT_TRUE(std::filesystem::is_regular_file(scratch.path() / "decksave.ini.lock"));
}

TEST(WindowsFileLockTest, WorksInADirectoryWhoseNameHoldsABackslashByte) {
  ASSERT_EQ(::GetACP(), 932u) << "run under a Japanese locale (LANG=ja_JP.UTF-8 for Wine)";
  ScratchDirectory scratch;
  std::string directory = MakeDataPath(kSoft);
  ASSERT_TRUE(::CreateDirectoryA(directory.c_str(), nullptr)) << "error " << ::GetLastError();
  ASSERT_TRUE(::SetCurrentDirectoryA(directory.c_str()));
  {
    SaveFileLock lock = LockSaveFile();
    ASSERT_TRUE(lock.held());
    // The save inside the command's hold takes the lock again without waiting on itself.
    EXPECT_TRUE(SaveDeck("#t", {"A", "B"}));
  }
  EXPECT_EQ(LoadDeck("#t"), (CardList{"A", "B"}));
  std::string lock_file = directory + "\\decksave.ini.lock";
  EXPECT_NE(::GetFileAttributesA(lock_file.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace deckhand::testing
