// What a save owes the save file beyond its content, on POSIX systems: the bytes reach the disk
// before the rename, the owner's permissions and read-only mark are kept, temporary files left
// by killed saves are cleared, and a failing random generator changes nothing.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "commands/reply_texts.h"
#include "deckhand/deckhand.h"
#include "random/random.h"
#include "support/failing_file_ops.h"
#include "support/plugin.h"
#include "support/scratch_directory.h"

namespace {

// The paths of the files and directories synced while `recording` is set.
std::mutex synced_mutex;
bool recording = false;
std::vector<std::string> synced_paths;

// While set, getcwd tells this path instead of the real one: the current directory's path as
// another user may have made it by swapping a parent for a link a moment before. A plain pointer,
// constant-initialised: getcwd is called while other files' statics are still being built.
const char* swapped_directory = nullptr;

}  // namespace

extern "C" char* getcwd(char* buffer, std::size_t size) {
  using Getcwd = char* (*)(char*, std::size_t);
  static const Getcwd real = reinterpret_cast<Getcwd>(::dlsym(RTLD_NEXT, "getcwd"));
  if (swapped_directory == nullptr || buffer == nullptr) return real(buffer, size);
  std::size_t length = std::strlen(swapped_directory);
  if (length >= size) {
    errno = ERANGE;
    return nullptr;
  }
  std::memcpy(buffer, swapped_directory, length + 1);
  return buffer;
}

// Stands in for the C library's fsync in this program (the library's objects are linked into
// it), to see what the platform's file operations sync; the real fsync does the work.
extern "C" int fsync(int fd) {
  using Fsync = int (*)(int);
  static const Fsync real = reinterpret_cast<Fsync>(::dlsym(RTLD_NEXT, "fsync"));
  {
    std::lock_guard<std::mutex> guard(synced_mutex);
    if (recording) {
      std::error_code ignored;
      synced_paths.push_back(
          std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), ignored).string());
    }
  }
  return real(fd);
}

namespace deckhand::testing {
namespace {

const std::string kSaveFile = "[DECK]\r\n#t=A,B,C,D,E\r\n";
const std::string kDrawn = "NOTICE #t A";
const std::string kSaveFailed = "NOTICE #t " + std::string(kSaveFailedText);

std::vector<std::string> SyncedDuring(const std::string& line) {
  {
    std::lock_guard<std::mutex> guard(synced_mutex);
    synced_paths.clear();
    recording = true;
  }
  EXPECT_EQ(CallCommand(&::Draw, line), kDrawn);
  std::lock_guard<std::mutex> guard(synced_mutex);
  recording = false;
  return synced_paths;
}

TEST(SaveFileCareTest, SyncsTheNewFileBeforeTheRenameAndThenItsDirectory) {
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", kSaveFile);
  std::vector<std::string> synced = SyncedDuring("u #t m draw");
  std::string directory = std::filesystem::canonical(scratch.path()).string();
  ASSERT_EQ(synced.size(), 2u);
  // The temporary file, synced while it still had its own name.
  EXPECT_EQ(synced[0].rfind(directory + "/.decksave.ini.", 0), 0u) << synced[0];
  EXPECT_EQ(synced[1], directory);
}

struct ModeCase {
  mode_t mode;
  bool replaced;
  mode_t kept = 0;  // the new file's mode when it differs from the old one's
};

void PrintTo(const ModeCase& c, std::ostream* out) { *out << std::oct << c.mode; }

class SaveFileModeTest : public ::testing::TestWithParam<ModeCase> {};

// With the usual umask 022, a new file would lose group and other write bits; a replaced save
// file keeps every bit its owner gave it. A file without any write bit is not replaced at all,
// even by root, whom the permission bits do not stop.
TEST_P(SaveFileModeTest, KeepsTheOwnersPermissionsAndReadOnlyMark) {
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", kSaveFile);
  std::filesystem::path save_file = scratch.path() / "decksave.ini";
  ASSERT_EQ(::chmod(save_file.c_str(), GetParam().mode), 0);
  mode_t old_umask = ::umask(022);
  std::optional<std::string> reply = CallCommand(&::Draw, "u #t m draw");
  ::umask(old_umask);

  struct stat info;
  ASSERT_EQ(::stat(save_file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, GetParam().kept != 0 ? GetParam().kept : GetParam().mode);
  EXPECT_EQ(reply, GetParam().replaced ? kDrawn : kSaveFailed);
  EXPECT_EQ(scratch.Read("decksave.ini") == kSaveFile, !GetParam().replaced);
  EXPECT_EQ(scratch.ListNames(), "decksave.ini");
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SaveFileModeTest,
    ::testing::Values(ModeCase{0666, true}, ModeCase{0446, true}, ModeCase{0444, false},
                      // Never set-uid, set-gid or sticky.
                      ModeCase{06755, true, 0755}, ModeCase{01666, true, 0666}),
    [](const ::testing::TestParamInfo<ModeCase>& info) {
      char octal[16];
      std::snprintf(octal, sizeof octal, "%04o", static_cast<unsigned>(info.param.mode));
      return "Mode" + std::string(octal);
    });

// Another user's file lends the new one nothing: it gets the mode of any new file of ours.
TEST(SaveFileCareTest, AnotherUsersSaveFileLendsNoPermissions) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file away";
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", kSaveFile);
  std::filesystem::path save_file = scratch.path() / "decksave.ini";
  ASSERT_EQ(::chown(save_file.c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chmod(save_file.c_str(), 0666), 0);
  mode_t old_umask = ::umask(022);
  EXPECT_EQ(CallCommand(&::Draw, "u #t m draw"), kDrawn);
  ::umask(old_umask);
  struct stat info;
  ASSERT_EQ(::stat(save_file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
  EXPECT_EQ(info.st_uid, 0u);
}

// Anyone who can open the lock file can hold it and stall every save; reads never make it.
TEST(SaveFileCareTest, OnlyASaveMakesTheLockFileAndOnlyForItsOwner) {
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", kSaveFile);
  std::filesystem::path lock_file = scratch.path() / "decksave.ini.lock";
  mode_t old_umask = ::umask(0);
  EXPECT_EQ(CallCommand(&::Count, "u #t m count"), "NOTICE #t 5");
  EXPECT_EQ(CallCommand(&::Check, "u #t m check"), "NOTICE #t A,B,C,D,E");
  EXPECT_FALSE(std::filesystem::exists(lock_file));
  EXPECT_EQ(CallCommand(&::Draw, "u #t m draw"), kDrawn);
  ::umask(old_umask);
  struct stat info;
  ASSERT_EQ(::stat(lock_file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
}

// The library opens its files from the directory it stands in, never by that directory's path,
// which can lead elsewhere by the time the file is opened.
TEST(SaveFileCareTest, FilesAreReachedFromTheCurrentDirectoryNotByItsPath) {
  ScratchDirectory victim;
  const std::string secret = "[DECK]\r\n#t=S1,S2\r\n";
  victim.Write("decksave.ini", secret);
  std::filesystem::path victim_path = victim.path();
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", kSaveFile);
  scratch.Write("modes.ini", "[MODE]\r\nm=d.ini\r\n");
  scratch.Write("d.ini", "[DECK]\r\nMax=1\r\n1=New\r\n");
  const std::string victim_text = victim_path.string();
  swapped_directory = victim_text.c_str();
  EXPECT_EQ(CallCommand(&::Count, "u #t m count"), "NOTICE #t 5");
  EXPECT_EQ(CallCommand(&::Draw, "u #t m draw"), kDrawn);
  EXPECT_EQ(CallCommand(&::Deck, "u #u modes.ini deck,m"),
            "NOTICE #u " + std::string(kDeckSetText) + "m");
  swapped_directory = nullptr;
  EXPECT_EQ(scratch.Read("decksave.ini"), "[DECK]\r\n#t=B,C,D,E\r\n#u=New\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(victim_path),
                          std::filesystem::directory_iterator()),
            1);
  std::ifstream victim_file(victim_path / "decksave.ini", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim_file), {}), secret);
}

TEST(SaveFileCareTest, TheNextSaveClearsTemporaryFilesOfKilledSavesAndOnlyThose) {
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", kSaveFile);
  for (const char* stale : {".decksave.ini.4242.0.tmp", ".decksave.ini.1.17.tmp"}) {
    scratch.Write(stale, "[DECK]\r\n#t=half");
  }
  // Alike, but not what a save names its temporary files.
  const std::vector<std::string> kept = {".decksave.ini.1..tmp",      ".decksave.ini.1.2.3.tmp",
                                         ".decksave.ini.1.2.tmp.bak", ".decksave.ini.1.x.tmp",
                                         ".decksave.ini.tmp",         ".other.ini.1.2.tmp",
                                         "decksave.ini.1.2.tmp"};
  for (const std::string& name : kept) scratch.Write(name, "keep");

  EXPECT_EQ(CallCommand(&::Draw, "u #t m draw"), kDrawn);
  EXPECT_EQ(scratch.ListNames(),
            ".decksave.ini.1..tmp .decksave.ini.1.2.3.tmp .decksave.ini.1.2.tmp.bak "
            ".decksave.ini.1.x.tmp .decksave.ini.tmp .other.ini.1.2.tmp decksave.ini "
            "decksave.ini.1.2.tmp");
  // A command that does not save leaves them be.
  scratch.Write(".decksave.ini.7.7.tmp", "");
  EXPECT_EQ(CallCommand(&::Count, "u #t m count"), "NOTICE #t 4");
  EXPECT_TRUE(scratch.Read(".decksave.ini.7.7.tmp"));
}

// A directory the library may read but not write has no room for the lock file: a target
// without cards is told so, as Count would tell it, rather than that its cards were not saved.
TEST(SaveFileCareTest, ADrawWithoutTheLockTellsANoCardsTargetSo) {
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", kSaveFile + "#empty=\r\n");
  FailingFileOps ops(FileOp::kLock, 1);
  ScopedFileOps scope(ops);
  EXPECT_EQ(CallCommand(&::Draw, "u #empty m draw"), "NOTICE #empty " + std::string(kNoCardsText));
  EXPECT_TRUE(ops.Fired());
}

// Fails the `fail_on`-th fill from its start (counted from 1), as a broken system would.
int fills = 0;
int fail_on = 0;
bool FailingFill(void* buffer, std::size_t size) {
  if (++fills == fail_on) return false;
  return FillSystemRandom(buffer, size);
}

struct GeneratorFaultCase {
  const char* name;
  DeckhandCommand command;
  std::string line;
  int fail_on;
};

void PrintTo(const GeneratorFaultCase& c, std::ostream* out) { *out << c.name; }

class GeneratorFaultTest : public ::testing::TestWithParam<GeneratorFaultCase> {};

// Without its random numbers a deal or reshuffle is not done half-way or with poor numbers: the
// command says it could not shuffle, and the save file stays as it was.
TEST_P(GeneratorFaultTest, ChangesNothingAndSaysItCouldNotShuffle) {
  ScratchDirectory scratch;
  std::string cards = "c0";
  for (int i = 1; i < 100; ++i) cards += ",c" + std::to_string(i);
  std::string save_file = "[DECK]\r\n#t=" + cards + "\r\n";
  scratch.Write("decksave.ini", save_file);
  scratch.Write("modes.ini", "[MODE]\r\nn=n.ini\r\n");
  scratch.Write("n.ini", "[DECK]\r\nMax=100\r\n");
  fills = 0;
  fail_on = GetParam().fail_on;
  {
    ScopedRandomFill scope(FailingFill);
    EXPECT_EQ(CallCommand(GetParam().command, GetParam().line),
              "NOTICE #t " + std::string(kShuffleFailedText));
  }
  EXPECT_EQ(fills, fail_on);
  EXPECT_EQ(scratch.Read("decksave.ini"), save_file);
  EXPECT_EQ(scratch.ListNames(), "decksave.ini modes.ini n.ini");
}

// A hundred cards take more numbers than one fill gives, so the second fill fails mid-shuffle.
// Deck and Shuffle take their numbers alike: each command meets one of the two failures.
INSTANTIATE_TEST_SUITE_P(
    Cases, GeneratorFaultTest,
    ::testing::Values(GeneratorFaultCase{"DeckFirstFill", &::Deck, "u #t modes.ini deck,n", 1},
                      GeneratorFaultCase{"ShuffleSecondFill", &::Shuffle, "u #t m shuffle", 2}),
    [](const ::testing::TestParamInfo<GeneratorFaultCase>& info) { return info.param.name; });

}  // namespace
}  // namespace deckhand::testing
