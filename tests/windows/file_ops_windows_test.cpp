// The Windows file operations, the save file's lock and the current directory, on real files in a
// scratch directory, with the host's code page 932: paths are Shift_JIS byte strings, where a '\'
// can be the second byte of a character.
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "storage/data_path.h"
#include "storage/file_ops.h"
#include "storage/ini_access.h"
#include "storage/saved_decks.h"
#include "storage/wide_path_windows.h"
#include "support/scratch_directory.h"

namespace deckhand::testing {
namespace {

// "ソフト" and "表": both hold a second byte 0x5C, the code of '\'.
const std::string kSoft = "\x83\x5C\x83\x74\x83\x67";
const std::string kOmote = "\x95\x5C";

// Creates a directory named by Shift_JIS bytes, through the platform's ANSI function.
void MakeDirectory(const std::string& ansi_path) {
  ASSERT_TRUE(::CreateDirectoryA(ansi_path.c_str(), nullptr)) << "error " << ::GetLastError();
}

std::string Here(const std::string& name) { return MakeDataPath(name); }

// Names of the files in the directory at `ansi_directory`, found through the ANSI functions.
std::vector<std::string> FilesIn(const std::string& ansi_directory) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = ::FindFirstFileA((ansi_directory + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileA(search, &found));
  ::FindClose(search);
  return names;
}

std::string ReadBytes(const std::string& ansi_path) {
  FileContent content = PlatformFileOps().ReadWhole(ansi_path, Links::kRefuse);
  EXPECT_EQ(content.outcome, ReadOutcome::kRead) << ansi_path;
  return std::string(content.bytes);
}

class WindowsFileOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The Shift_JIS paths below mean what they say only in code page 932.
    ASSERT_EQ(::GetACP(), 932u) << "run under a Japanese locale (LANG=ja_JP.UTF-8 for Wine)";
  }
  ScratchDirectory scratch_;
};

TEST_F(WindowsFileOpsTest, CurrentDirectoryIsTheOneTheProcessStandsIn) {
  std::optional<std::string> directory = CurrentDirectory();
  ASSERT_TRUE(directory);
  EXPECT_EQ(std::filesystem::path(*directory), scratch_.path());
  EXPECT_EQ(PathSeparator(), '\\');
  EXPECT_EQ(MakeDataPath("decksave.ini"), *directory + "\\decksave.ini");
}

TEST_F(WindowsFileOpsTest, CurrentDirectoryHasNoFixedLengthLimit) {
  // Japanese names take two bytes a character: a directory well within the platform's path
  // limit in characters runs past the 255 bytes that a fixed buffer would hold.
  std::string deep = *CurrentDirectory();
  std::string katakana_a;
  for (int i = 0; i < 30; ++i) katakana_a += "\x83\x41";
  while (deep.size() < 320) {
    deep += "\\" + katakana_a;
    MakeDirectory(deep);
  }
  ASSERT_TRUE(::SetCurrentDirectoryA(deep.c_str())) << "error " << ::GetLastError();
  EXPECT_EQ(CurrentDirectory(), deep);
  ASSERT_TRUE(WriteIniText(MakeDataPath("decksave.ini"), "DECK", "#t", "A,B"));
  EXPECT_EQ(ReadBytes(deep + "\\decksave.ini"), "[DECK]\r\n#t=A,B\r\n");
}

// Beyond the 259 characters of the ANSI file functions: the platform's wide functions reach it.
TEST_F(WindowsFileOpsTest, SavesInADirectoryLongerThanTheClassicPathLimit) {
  std::filesystem::path deep = scratch_.path();
  for (char letter = 'a'; letter < 'h'; ++letter) deep /= std::string(50, letter);
  std::filesystem::create_directories(deep);
  std::filesystem::current_path(deep);
  std::optional<std::string> directory = CurrentDirectory();
  ASSERT_TRUE(directory);
  EXPECT_GT(directory->size(), 300u);
  const std::string path = MakeDataPath("decksave.ini");
  ASSERT_TRUE(WriteIniText(path, "DECK", "#t", "A,B"));
  ASSERT_TRUE(WriteIniText(path, "DECK", "#t", "C"));
  EXPECT_EQ(ReadIniText(path, "DECK", "#t"), "C");
  std::vector<std::string> names;
  // Listed relative: the standard library's own directory listing stops at the classic limit.
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"decksave.ini"});
}

// A directory whose name the ANSI code page cannot spell (Hangul, in code page 932) cannot be
// given as a path; names relative to it still reach the files inside.
TEST_F(WindowsFileOpsTest, ADirectoryTheCodePageCannotSpellIsUsedRelative) {
  const std::filesystem::path hangul = scratch_.path() / L"\uD55C\uAE00";
  std::filesystem::create_directory(hangul);
  std::filesystem::current_path(hangul);
  EXPECT_EQ(CurrentDirectory(), std::nullopt);
  EXPECT_EQ(MakeDataPath("decksave.ini"), "decksave.ini");
  ASSERT_TRUE(WriteIniText(MakeDataPath("decksave.ini"), "DECK", "#t", "A"));
  EXPECT_TRUE(std::filesystem::exists(hangul / "decksave.ini"));
  EXPECT_EQ(ReadIniText(MakeDataPath("decksave.ini"), "DECK", "#t"), "A");
}

// Wine's wide functions take long paths even without the "\\?\" prefix; Windows needs it.
// So the conversion itself is checked here, rule by rule.
TEST_F(WindowsFileOpsTest, WidePathsAreConvertedAndPrefixedWhenLong) {
  const std::string long_part(300, 'a');
  const std::wstring wide_long_part(300, L'a');
  struct Case {
    std::string path;
    std::wstring wide;
  };
  const std::vector<Case> cases = {
      {"decksave.ini", L"decksave.ini"},
      {"NUL", L"NUL"},
      {kSoft + ".ini", L"\u30BD\u30D5\u30C8.ini"},
      {"C:\\" + long_part + "\\x.ini", L"\\\\?\\C:\\" + wide_long_part + L"\\x.ini"},
      {"C:\\" + long_part + "\\sub\\..\\x.ini", L"\\\\?\\C:\\" + wide_long_part + L"\\x.ini"},
      {"C:/" + long_part + "/x.ini", L"\\\\?\\C:\\" + wide_long_part + L"\\x.ini"},
      {"\\\\server\\share\\" + long_part, L"\\\\?\\UNC\\server\\share\\" + wide_long_part},
      {"\\\\?\\C:\\" + long_part, L"\\\\?\\C:\\" + wide_long_part},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(WidePath(c.path) == c.wide) << c.path.substr(0, 40);
  }
}

TEST_F(WindowsFileOpsTest, AnsiTextRefusesWhatTheCodePageCannotSpell) {
  EXPECT_EQ(AnsiText(L"C:\\\u30BD\u30D5\u30C8"), "C:\\" + kSoft);
  EXPECT_EQ(AnsiText(L""), "");
  EXPECT_EQ(AnsiText(L"C:\\\uD55C"), std::nullopt);
}

TEST_F(WindowsFileOpsTest, ACurrentDirectoryWithShiftJisNamesKeepsItsBytes) {
  std::string directory = *CurrentDirectory() + "\\" + kSoft;
  MakeDirectory(directory);
  ASSERT_TRUE(::SetCurrentDirectoryA(directory.c_str()));
  EXPECT_EQ(CurrentDirectory(), directory);
}

TEST_F(WindowsFileOpsTest, ReadWholeTellsAbsentFromUnreadable) {
  scratch_.Write("plain.ini", "[DECK]\r\n#t=A\r\n");
  std::filesystem::create_directory(scratch_.path() / "folder");
  struct Case {
    std::string name;
    ReadOutcome outcome;
  };
  const std::vector<Case> cases = {
      {"plain.ini", ReadOutcome::kRead},
      {"missing.ini", ReadOutcome::kAbsent},
      {"no-such-folder\\missing.ini", ReadOutcome::kAbsent},
      {"folder", ReadOutcome::kUnreadable},  // a directory exists: never replace it
      {"NUL", ReadOutcome::kUnreadable},     // a device is no data file
  };
  for (const Case& c : cases) {
    FileContent content = PlatformFileOps().ReadWhole(Here(c.name), Links::kRefuse);
    EXPECT_EQ(content.outcome, c.outcome) << c.name;
    if (c.outcome != ReadOutcome::kRead) {
      EXPECT_EQ(content.bytes, "") << c.name;
    }
  }
  EXPECT_EQ(ReadBytes(Here("plain.ini")), "[DECK]\r\n#t=A\r\n");
}

// A link at `link` to `target`, where the platform makes one that is there afterwards (Wine 8
// reports success and makes none).
bool MakeLink(const std::string& link, const std::string& target) {
  const DWORD kUnprivileged = 0x2;  // SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  if (!::CreateSymbolicLinkW(WidePath(link).c_str(), WidePath(target).c_str(), kUnprivileged)) {
    return false;
  }
  DWORD attributes = ::GetFileAttributesW(WidePath(link).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A link in the place of the save file or of its lock file, where the platform lets us make one:
// nothing is read through it, written through it or made where it points.
TEST_F(WindowsFileOpsTest, LinksInPlaceOfTheSaveFileAndTheLockFileAreNotFollowed) {
  const std::string kSecret = "[DECK]\r\n#t=S1,S2\r\n";
  scratch_.Write("secret.ini", kSecret);
  if (!MakeLink(Here("decksave.ini"), Here("secret.ini"))) {
    GTEST_SKIP() << "links cannot be made here";
  }
  EXPECT_EQ(PlatformFileOps().ReadWhole(Here("decksave.ini"), Links::kRefuse).outcome,
            ReadOutcome::kUnreadable);
  EXPECT_EQ(PlatformFileOps().ReadWhole(Here("decksave.ini"), Links::kFollow).outcome,
            ReadOutcome::kRead);
  EXPECT_EQ(LoadDeck("#t"), CardList());
  EXPECT_FALSE(SaveDeck("#t", {"X"}));
  EXPECT_EQ(ReadBytes(Here("secret.ini")), kSecret);

  ASSERT_TRUE(::DeleteFileW(WidePath(Here("decksave.ini")).c_str()));
  scratch_.Write("decksave.ini", "[DECK]\r\n#t=A,B\r\n");
  ASSERT_TRUE(MakeLink(Here("decksave.ini.lock"), Here("nowhere.lock")));
  EXPECT_FALSE(SaveDeck("#t", {"X"}));
  EXPECT_EQ(LoadDeck("#t"), CardList({"A", "B"}));
  EXPECT_FALSE(std::filesystem::exists(scratch_.path() / "nowhere.lock"));
  EXPECT_EQ(ReadBytes(Here("decksave.ini")), "[DECK]\r\n#t=A,B\r\n");
}

TEST_F(WindowsFileOpsTest, ReadWholeReadsLargeFilesWhole) {
  std::string bytes;
  for (int i = 0; bytes.size() < 300000; ++i) bytes += std::to_string(i) + "\r\n";
  bytes += '\0';
  bytes += "\x83\x5C";
  scratch_.Write("large.ini", bytes);
  EXPECT_EQ(ReadBytes(Here("large.ini")), bytes);
}

// A save writes a temporary file beside the target and moves it over: the directory part of a
// path must be found without cutting a Shift_JIS character whose second byte is '\'.
TEST_F(WindowsFileOpsTest, SavesBesideTargetsWithShiftJisNames) {
  const std::string base = *CurrentDirectory();
  MakeDirectory(base + "\\" + kOmote);
  MakeDirectory(base + "\\" + kSoft);
  struct Case {
    std::string directory;  // relative to the scratch directory; "" for itself
    std::string name;
  };
  const std::vector<Case> cases = {
      {"", "decks.ini"},     {"", kSoft + ".ini"},    {"", "decks" + kOmote},
      {kOmote, "decks.ini"}, {kSoft, kSoft + ".ini"},
  };
  for (const Case& c : cases) {
    std::string directory = c.directory.empty() ? base : base + "\\" + c.directory;
    std::string path = directory + "\\" + c.name;
    std::vector<std::string> before = FilesIn(directory);
    ASSERT_TRUE(WriteIniText(path, "DECK", "#t", "A,B")) << path;
    ASSERT_TRUE(WriteIniText(path, "DECK", "#u", "C")) << path;
    EXPECT_EQ(ReadBytes(path), "[DECK]\r\n#t=A,B\r\n#u=C\r\n") << path;
    std::vector<std::string> after = FilesIn(directory);
    before.push_back(c.name);
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, before) << "a temporary file was left, or written elsewhere, for " << path;
  }
}

TEST_F(WindowsFileOpsTest, AReplacedFileKeepsItsHiddenAttribute) {
  scratch_.Write("decksave.ini", "[DECK]\r\n#t=A\r\n");
  const std::string path = Here("decksave.ini");
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
  if ((::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN) == 0) {
    GTEST_SKIP() << "this file system does not keep the hidden attribute";
  }
  ASSERT_TRUE(WriteIniText(path, "DECK", "#t", "B"));
  EXPECT_EQ(ReadBytes(path), "[DECK]\r\n#t=B\r\n");
  EXPECT_NE(::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
}

// The file's access rights in the platform's text form.
std::string AccessRights(const std::string& path) {
  DWORD needed = 0;
  ::GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
  std::vector<char> descriptor(needed);
  if (needed == 0 || !::GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(),
                                         needed, &needed)) {
    return "unreadable";
  }
  char* text = nullptr;
  if (!::ConvertSecurityDescriptorToStringSecurityDescriptorA(
          descriptor.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
    return "unreadable";
  }
  std::string rights = text;
  ::LocalFree(text);
  return rights;
}

TEST_F(WindowsFileOpsTest, AReplacedFileKeepsItsAccessRights) {
  scratch_.Write("decksave.ini", "[DECK]\r\n#t=A\r\n");
  const std::string path = Here("decksave.ini");
  const std::string defaults = AccessRights(path);
  // Everyone may write it too, which a new file here would not allow.
  PSECURITY_DESCRIPTOR everyone = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(
      "D:(A;;FA;;;SY)(A;;FA;;;WD)", SDDL_REVISION_1, &everyone, nullptr));
  ::SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, everyone);
  ::LocalFree(everyone);
  const std::string widened = AccessRights(path);
  if (widened == defaults) GTEST_SKIP() << "this file system keeps no access rights";

  ASSERT_TRUE(WriteIniText(path, "DECK", "#t", "B"));
  EXPECT_EQ(ReadBytes(path), "[DECK]\r\n#t=B\r\n");
  EXPECT_EQ(AccessRights(path), widened);
}

TEST_F(WindowsFileOpsTest, RenameReplacesAnExistingTarget) {
  scratch_.Write("old.ini", "old");
  scratch_.Write("new.ini", "new");
  ASSERT_TRUE(PlatformFileOps().Rename(Here("new.ini"), Here("old.ini")));
  EXPECT_EQ(scratch_.ListNames(), "old.ini");
  EXPECT_EQ(scratch_.Read("old.ini"), "new");
}

// A save file that another program holds open without sharing cannot be replaced: the save
// fails, the old file stays whole and no temporary file is left.
TEST_F(WindowsFileOpsTest, ASaveFileHeldByAnotherProgramIsLeftAlone) {
  const std::string before = "[DECK]\r\n#t=A\r\n";
  scratch_.Write("decksave.ini", before);
  const std::string path = Here("decksave.ini");
  HANDLE held = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(WriteIniText(path, "DECK", "#t", "B"));
  ::CloseHandle(held);
  EXPECT_EQ(scratch_.Read("decksave.ini"), before);
  EXPECT_EQ(scratch_.ListNames(), "decksave.ini");
  // Once let go, the next save goes through.
  EXPECT_TRUE(WriteIniText(path, "DECK", "#t", "B"));
  EXPECT_EQ(scratch_.Read("decksave.ini"), "[DECK]\r\n#t=B\r\n");
}

TEST_F(WindowsFileOpsTest, AReadOnlySaveFileIsNotReplaced) {
  const std::string before = "[DECK]\r\n#t=A\r\n";
  scratch_.Write("decksave.ini", before);
  const std::string path = Here("decksave.ini");
  ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(WriteIniText(path, "DECK", "#t", "B"));
  EXPECT_EQ(scratch_.Read("decksave.ini"), before);
  EXPECT_EQ(scratch_.ListNames(), "decksave.ini");
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);  // so the scratch can go
}

TEST_F(WindowsFileOpsTest, ASaveClearsTemporaryFilesOfKilledSavesAndOnlyThose) {
  scratch_.Write("decksave.ini", "[DECK]\r\n#t=A\r\n");
  // Left by killed saves: named as CreateTempBeside names them (in any letter case).
  for (const char* stale : {"decksave.ini.4242.0.tmp", "DeckSave.INI.1.17.TMP"}) {
    scratch_.Write(stale, "half");
  }
  // Alike, but not of that naming.
  for (const char* kept : {"decksave.ini.1..tmp", "decksave.ini.1.2.3.tmp", "decksave.ini.1.x.tmp",
                           "decksave.ini.tmp", "other.ini.1.2.tmp"}) {
    scratch_.Write(kept, "keep");
  }
  EXPECT_TRUE(SaveDeck("#t", {"B"}));
  EXPECT_EQ(scratch_.ListNames(),
            "decksave.ini decksave.ini.1..tmp decksave.ini.1.2.3.tmp decksave.ini.1.x.tmp "
            "decksave.ini.tmp other.ini.1.2.tmp");
}

TEST_F(WindowsFileOpsTest, RemoveDeletesAndAFailedTemporaryIsNeverCreated) {
  scratch_.Write("gone.ini", "x");
  PlatformFileOps().Remove(Here("gone.ini"));
  EXPECT_EQ(scratch_.ListNames(), "");
  // No directory to create it in: no temporary file, and no crash.
  EXPECT_FALSE(PlatformFileOps().CreateTempBeside(Here("missing\\decksave.ini")));
  EXPECT_EQ(scratch_.ListNames(), "");
}

// The save file's lock: LockFileEx on a lock file, which two handles exclude each other on even
// within one process.
class WindowsFileLockTest : public WindowsFileOpsTest {};

TEST_F(WindowsFileLockTest, ASecondHolderWaitsInVainUntilTheFirstLetsGo) {
  std::string path = Here("decksave.ini.lock");
  std::optional<FileLock> first = PlatformFileOps().Lock(path, std::chrono::milliseconds(0));
  ASSERT_TRUE(first.has_value());
  EXPECT_FALSE(PlatformFileOps().Lock(path, std::chrono::milliseconds(50)).has_value());
  PlatformFileOps().Unlock(*first);
  std::optional<FileLock> second = PlatformFileOps().Lock(path, std::chrono::milliseconds(0));
  ASSERT_TRUE(second.has_value());
  PlatformFileOps().Unlock(*second);
  EXPECT_TRUE(std::filesystem::is_regular_file(scratch_.path() / "decksave.ini.lock"));
}

// Reached through the wide functions in a Shift_JIS directory.
TEST_F(WindowsFileLockTest, WorksInADirectoryWhoseNameHoldsABackslashByte) {
  std::string directory = Here(kSoft);
  MakeDirectory(directory);
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
