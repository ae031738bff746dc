// Input far outside what hosts and users mean to send: huge lines, fields of whitespace and line
// breaks, endless selectors, NUL and binary bytes in the data files, links and other files
// planted where the library keeps its own. Each has a defined outcome, a reply or none; none
// crashes or hangs, and every reply fits the buffer with its NUL (CallCommand checks the bytes
// past the buffer).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "commands/reply_texts.h"
#include "deckhand/deckhand.h"
#include "storage/file_ops.h"
#include "support/plugin.h"
#include "support/scratch_directory.h"

namespace deckhand::testing {
namespace {

constexpr std::size_t kMebibyte = 1 << 20;

// A string literal's bytes, NULs included.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

const std::string kSaveFile = "[DECK]\r\n#t=A,B,C,D,E\r\n#u=X,Y\r\n";
const std::string kModes = "[MODE]\r\nfive=five.ini\r\nnul=nul.ini\r\nbin=bin.ini\r\n";
const std::string kBinaryName = "\x01\x02\x7F\x80\x81\x40\x9F\xFC\xFF\x1B";

const std::map<std::string, std::string> kDataFiles = {
    {"modes.ini", kModes},
    {"five.ini", "[DECK]\r\nMax=5\r\n1=A\r\n2=B\r\n3=C\r\n4=D\r\n5=E\r\n"},
    {"nul.ini", Bytes("[DECK]\r\nMax=1\r\n1=A\0B\r\n")},
    {"bin.ini", "[DECK]\r\nMax=1\r\n1=" + kBinaryName + "\r\n"},
};

std::string Repeat(std::string_view piece, std::size_t times) {
  std::string text;
  text.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

std::string Reply(std::string_view target, std::string_view text) {
  return "NOTICE " + std::string(target) + " " + std::string(text);
}

struct HostileCase {
  const char* name;
  DeckhandCommand command;
  std::string line;
  std::optional<std::string> reply;
  // The save file afterwards; nullopt when it must be byte for byte as before.
  std::optional<std::string> saved = std::nullopt;
  std::string save_file = kSaveFile;
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

std::vector<HostileCase> Cases() {
  const std::string nul_line = Bytes("[DECK]\r\n#t=A\0B,C\r\n");
  const std::string binary_save_file =
      Bytes("[DECK]\r\n#t=A,B\r\n#u=\x01\x02\xFF\x80\r\n\0junk\x1A\xFE\r\n");
  return {
      // A megabyte of command line in the fields after the target.
      {"MegabyteOfTrailingFields", &::Count, "n #t m count " + Repeat("x ", kMebibyte / 2),
       Reply("#t", "5")},
      {"MegabyteSelector", &::Draw, "n #t m draw," + Repeat("1,", kMebibyte / 2), Reply("#t", "A"),
       "[DECK]\r\n#t=B,C,D,E\r\n#u=X,Y\r\n"},
      {"MegabyteModeName", &::Deck, "n #t modes.ini deck," + std::string(kMebibyte, 'm'),
       std::nullopt},
      {"MegabyteModeTableName", &::Deck, "n #t " + std::string(kMebibyte, 'f') + " deck,five",
       std::nullopt},
      // Fields of nothing but whitespace and line breaks (only spaces separate fields).
      {"TargetOfTabAndLineBreak", &::Shuffle, "n \t\r\n m shuffle", Reply("\t\r\n", kShuffledText),
       kSaveFile + "~ %09%0D%0A ~=\r\n"},
      {"TargetOfLineBreakDraws", &::Draw, "n \n m draw,1", Reply("\n", kNoCardsText)},
      // A selector of 100,000 empty tokens.
      {"HundredThousandEmptyTokens", &::Draw, "n #t m draw," + std::string(100000, ','),
       Reply("#t", kNothingDrawnText)},
      // NUL and binary bytes in data files.
      {"NulInACardReadsUpToIt", &::Check, "n #t m check", Reply("#t", "A"), std::nullopt, nul_line},
      {"NulInACardCannotBeSavedBack", &::Draw, "n #t m draw,2", Reply("#t", kSaveFailedText),
       std::nullopt, nul_line},
      {"BinaryBytesInOtherEntriesStay", &::Draw, "n #t m draw,1", Reply("#t", "A"),
       Bytes("[DECK]\r\n#t=B\r\n#u=\x01\x02\xFF\x80\r\n\0junk\x1A\xFE\r\n"), binary_save_file},
      {"NulInADeckFileCannotBeDealt", &::Deck, "n #t modes.ini deck,nul",
       Reply("#t", kSaveFailedText)},
      {"BinaryCardNameIsDealt", &::Deck, "n #t modes.ini deck,bin",
       Reply("#t", std::string(kDeckSetText) + "bin"),
       "[DECK]\r\n#t=" + kBinaryName + "\r\n#u=X,Y\r\n"},
  };
}

std::string CaseName(const ::testing::TestParamInfo<HostileCase>& info) { return info.param.name; }

class HostileInputTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileInputTest, HasADefinedOutcome) {
  const HostileCase& c = GetParam();
  ScratchDirectory scratch;
  for (const auto& [name, bytes] : kDataFiles) scratch.Write(name, bytes);
  scratch.Write("decksave.ini", c.save_file);
  EXPECT_EQ(CallCommand(c.command, c.line), c.reply);
  EXPECT_EQ(scratch.Read("decksave.ini"), c.saved.value_or(c.save_file));
  EXPECT_EQ(scratch.ListNames(), "bin.ini decksave.ini five.ini modes.ini nul.ini");
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileInputTest, ::testing::ValuesIn(Cases()), CaseName);

TEST(HostileInputTest, TargetsOfLineBreaksKeepDecksOfTheirOwn) {
  ScratchDirectory scratch;
  for (const auto& [name, bytes] : kDataFiles) scratch.Write(name, bytes);
  scratch.Write("decksave.ini", kSaveFile);
  EXPECT_EQ(CallCommand(&::Deck, "n \r\n modes.ini deck,five"),
            Reply("\r\n", std::string(kDeckSetText) + "five"));
  EXPECT_EQ(CallCommand(&::Count, "n \r\n m count"), Reply("\r\n", "5"));
  EXPECT_EQ(CallCommand(&::Count, "n \r m count"), Reply("\r", "0"));
  EXPECT_EQ(CallCommand(&::Count, "n \n m count"), Reply("\n", "0"));
  EXPECT_EQ(CallCommand(&::Count, "n #t m count"), Reply("#t", "5"));
  // The file still reads line by line as before: the odd target took one escaped line.
  std::string saved = *scratch.Read("decksave.ini");
  EXPECT_EQ(saved.substr(0, kSaveFile.size()), kSaveFile);
  EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 4);
}

TEST(HostileInputTest, AModeTableOfRandomBytes) {
  ScratchDirectory scratch;
  std::mt19937 random(20240601);
  std::string garbage(64 * 1024, '\0');
  for (char& byte : garbage) byte = static_cast<char>(random() & 0xFF);
  scratch.Write("modes.ini", garbage);
  scratch.Write("decksave.ini", kSaveFile);
  EXPECT_EQ(CallCommand(&::Deck, "n #t modes.ini deck,five"), std::nullopt);
  EXPECT_EQ(scratch.Read("decksave.ini"), kSaveFile);
}

// What another user of a shared data directory may put where the library keeps its own files.
enum class Planted {
  kLinkToSetUidProgram,
  kLinkToSecret,
  kLinkToNothing,
  kDirectory,
  kPipe,
  kHugeEmptyFile,  // sparse: it takes no room on the disk
};

struct PlantedCase {
  const char* name;
  const char* file;  // "decksave.ini" or its lock file, "decksave.ini.lock"
  Planted planted;
};

void PrintTo(const PlantedCase& c, std::ostream* os) { *os << c.name; }

constexpr mode_t kSetUid = 04755;
const std::string kSecret = "[DECK]\r\n#t=S1,S2\r\n";

void Plant(const ScratchDirectory& scratch, const PlantedCase& c) {
  std::filesystem::path at = scratch.path() / c.file;
  scratch.Write("program", "#!/bin/sh\n");
  ASSERT_EQ(::chmod((scratch.path() / "program").c_str(), kSetUid), 0);
  std::filesystem::create_directory(scratch.path() / "private");
  scratch.Write("private/secret", kSecret);
  ASSERT_EQ(::chmod((scratch.path() / "private").c_str(), 0700), 0);
  switch (c.planted) {
    case Planted::kLinkToSetUidProgram:
      std::filesystem::create_symlink(scratch.path() / "program", at);
      break;
    case Planted::kLinkToSecret:
      std::filesystem::create_symlink(scratch.path() / "private/secret", at);
      break;
    case Planted::kLinkToNothing:
      std::filesystem::create_symlink(scratch.path() / "nowhere", at);
      break;
    case Planted::kDirectory:
      std::filesystem::create_directory(at);
      scratch.Write(std::string(c.file) + "/inside", "kept");
      break;
    case Planted::kPipe:
      ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0);
      break;
    case Planted::kHugeEmptyFile:
      scratch.Write(c.file, "");
      std::filesystem::resize_file(at, kMostFileBytes + 1);
      break;
  }
}

std::filesystem::file_type TypeOf(const std::filesystem::path& path) {
  return std::filesystem::symlink_status(path).type();
}

class PlantedFileTest : public ::testing::TestWithParam<PlantedCase> {};

// Nothing is read through the planted file, written through it or made where it points: a read
// finds no deck, a save fails, and the planted file and whatever it points at stay as they were.
// A planted lock file stops the saves only: reading needs no lock.
TEST_P(PlantedFileTest, IsNeitherFollowedNorReplaced) {
  const PlantedCase& c = GetParam();
  ScratchDirectory scratch;
  for (const auto& [name, bytes] : kDataFiles) scratch.Write(name, bytes);
  bool save_file_planted = std::string_view(c.file) == "decksave.ini";
  if (!save_file_planted) scratch.Write("decksave.ini", kSaveFile);
  Plant(scratch, c);
  std::filesystem::path at = scratch.path() / c.file;
  std::filesystem::file_type planted_type = TypeOf(at);

  const std::string saved_cards = save_file_planted ? "" : "A,B,C,D,E";
  EXPECT_EQ(CallCommand(&::Count, "n #t m count"), Reply("#t", save_file_planted ? "0" : "5"));
  EXPECT_EQ(CallCommand(&::Check, "n #t m check"), Reply("#t", saved_cards));
  EXPECT_EQ(CallCommand(&::Draw, "n #t m draw,1"),
            Reply("#t", save_file_planted ? kNoCardsText : kSaveFailedText));
  EXPECT_EQ(CallCommand(&::Shuffle, "n #t m shuffle"), Reply("#t", kSaveFailedText));
  EXPECT_EQ(CallCommand(&::Deck, "n #t modes.ini deck,five"), Reply("#t", kSaveFailedText));

  EXPECT_EQ(TypeOf(at), planted_type);
  EXPECT_FALSE(std::filesystem::exists(scratch.path() / "nowhere"));
  struct stat program;
  ASSERT_EQ(::stat((scratch.path() / "program").c_str(), &program), 0);
  EXPECT_EQ(program.st_mode & 07777, kSetUid);
  EXPECT_EQ(scratch.Read("program"), "#!/bin/sh\n");
  EXPECT_EQ(scratch.Read("private/secret"), kSecret);
  if (c.planted == Planted::kDirectory) {
    EXPECT_EQ(scratch.Read(std::string(c.file) + "/inside"), "kept");
  }
  if (!save_file_planted) {
    EXPECT_EQ(scratch.Read("decksave.ini"), kSaveFile);
  }
  for (const auto& entry : std::filesystem::directory_iterator(scratch.path())) {
    EXPECT_NE(entry.path().extension(), ".tmp") << "a temporary file was left";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, PlantedFileTest,
    ::testing::Values(
        PlantedCase{"SaveFileLinkedToASetUidProgram", "decksave.ini",
                    Planted::kLinkToSetUidProgram},
        PlantedCase{"SaveFileLinkedToASecret", "decksave.ini", Planted::kLinkToSecret},
        PlantedCase{"SaveFileLinkedToNothing", "decksave.ini", Planted::kLinkToNothing},
        PlantedCase{"SaveFileADirectory", "decksave.ini", Planted::kDirectory},
        PlantedCase{"SaveFileAPipe", "decksave.ini", Planted::kPipe},
        PlantedCase{"SaveFileHugeAndEmpty", "decksave.ini", Planted::kHugeEmptyFile},
        PlantedCase{"LockFileLinkedToASetUidProgram", "decksave.ini.lock",
                    Planted::kLinkToSetUidProgram},
        PlantedCase{"LockFileLinkedToASecret", "decksave.ini.lock", Planted::kLinkToSecret},
        PlantedCase{"LockFileLinkedToNothing", "decksave.ini.lock", Planted::kLinkToNothing},
        PlantedCase{"LockFileADirectory", "decksave.ini.lock", Planted::kDirectory},
        PlantedCase{"LockFileAPipe", "decksave.ini.lock", Planted::kPipe}),
    [](const ::testing::TestParamInfo<PlantedCase>& info) { return info.param.name; });

}  // namespace
}  // namespace deckhand::testing
