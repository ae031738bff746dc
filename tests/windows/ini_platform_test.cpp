// Our INI reader and writer against the platform's own profile functions, on files shaped as
// users and Windows tools write them. Every lookup is made both ways and compared with what
// Windows gives; every file our writer produces must read back, key by key, the same through the
// platform's functions.
//
// Wine's profile functions part from Windows in a few places (comment lines, a section header
// without ']' or with two, keys before the first section, a UTF-8 byte-order mark, hexadecimal
// numbers). There our reader follows Windows, and the lookup records Wine's own result, so that
// the difference stays visible and a change in either reader is caught.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "storage/data_path.h"
#include "storage/ini_access.h"
#include "storage/ini_format.h"
#include "support/scratch_directory.h"
#include "text/shift_jis.h"

namespace deckhand::testing {
namespace {

// Longer than any value in these tests, so the platform never cuts one.
constexpr DWORD kPlatformBufferSize = 1 << 17;
// A default no file holds, to tell an absent entry from an empty one.
constexpr char kAbsentMark[] = "\x01";

bool RunningUnderWine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string Printable(const std::optional<std::string>& text) {
  if (!text) return "(absent)";
  std::string shown = "\"";
  for (unsigned char c : *text) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      shown += static_cast<char>(c);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      shown += escape;
    }
  }
  return shown + "\"";
}

// The platform's profile functions read a file through a cache keyed by name; every question
// therefore goes to a fresh copy of the bytes under a name never used before.
std::string FreshPlatformCopy(const ScratchDirectory& scratch, const std::string& bytes) {
  static int counter = 0;
  std::string name = "platform-" + std::to_string(counter++) + ".ini";
  scratch.Write(name, bytes);
  return MakeDataPath(name);
}

std::optional<std::string> PlatformText(const std::string& path, const std::string& section,
                                        const std::string& key) {
  std::string buffer(kPlatformBufferSize, '\0');
  DWORD length = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), kAbsentMark,
                                            buffer.data(), kPlatformBufferSize, path.c_str());
  buffer.resize(length);
  if (buffer == kAbsentMark) return std::nullopt;
  return buffer;
}

std::int32_t PlatformNumber(const std::string& path, const std::string& section,
                            const std::string& key) {
  return static_cast<std::int32_t>(
      ::GetPrivateProfileIntA(section.c_str(), key.c_str(), 0, path.c_str()));
}

// A list of NUL-separated names, as the platform's enumerations return them.
std::vector<std::string> SplitNames(const std::string& buffer, DWORD length) {
  std::vector<std::string> names;
  std::size_t start = 0;
  for (std::size_t at = 0; at < length; ++at) {
    if (buffer[at] != '\0') continue;
    if (at > start) names.push_back(buffer.substr(start, at - start));
    start = at + 1;
  }
  return names;
}

std::vector<std::string> PlatformSections(const std::string& path) {
  std::string buffer(kPlatformBufferSize, '\0');
  DWORD length = ::GetPrivateProfileSectionNamesA(buffer.data(), kPlatformBufferSize, path.c_str());
  return SplitNames(buffer, length);
}

std::vector<std::string> PlatformKeys(const std::string& path, const std::string& section) {
  std::string buffer(kPlatformBufferSize, '\0');
  DWORD length = ::GetPrivateProfileStringA(section.c_str(), nullptr, "", buffer.data(),
                                            kPlatformBufferSize, path.c_str());
  return SplitNames(buffer, length);
}

// ---------------------------------------------------------------------------------------------
// Reading: a corpus of files and the lookups made in each.

struct Lookup {
  std::string section;
  std::string key;
  // What Windows gives, and we give: nullopt when the entry is absent.
  std::optional<std::string> value;
  // The number both read, where the value is meant as one.
  std::optional<std::int32_t> number;
  // Set where Wine is known to read otherwise: why, and what Wine gives (text, number).
  const char* wine_differs = nullptr;
  std::optional<std::string> wine_value;
  std::optional<std::int32_t> wine_number;
  // Set where our reader departs from Windows on purpose: why, and what Windows gives.
  const char* ours_differs = nullptr;
  std::optional<std::string> windows_value;
};

struct CorpusFile {
  const char* name;
  std::string bytes;
  std::vector<Lookup> lookups;
};

Lookup Entry(std::string section, std::string key, std::optional<std::string> value) {
  Lookup lookup;
  lookup.section = std::move(section);
  lookup.key = std::move(key);
  lookup.value = std::move(value);
  return lookup;
}

Lookup Number(std::string section, std::string key, std::string value, std::int32_t number) {
  Lookup lookup = Entry(std::move(section), std::move(key), std::move(value));
  lookup.number = number;
  return lookup;
}

Lookup WineReads(Lookup lookup, const char* why, std::optional<std::string> wine_value) {
  lookup.wine_differs = why;
  lookup.wine_value = std::move(wine_value);
  return lookup;
}

Lookup WindowsReads(Lookup lookup, const char* why, std::optional<std::string> windows_value) {
  lookup.ours_differs = why;
  lookup.windows_value = std::move(windows_value);
  return lookup;
}

const std::string kLongValue = [] {
  std::string cards;
  for (int i = 0; i < 700; ++i) cards += (i ? "," : "") + std::string("card") + std::to_string(i);
  return cards;
}();

// "カード" (83 4A 81 5B 83 68), "ソフト" (83 5C 83 74 83 67: a '\' second byte), "ゾ" (83 5D: a ']'
// second byte), "ゼ" (83 5B: a '[' second byte), "評" (95 5D), "表" (95 5C), "ア" (83 41) and "ヂ"
// (83 61: second bytes 'A' and 'a'), "Ａ"/"ａ" (82 60 / 82 81) and "Б"/"б" (84 41 / 84 72).
const std::string kCard = "\x83\x4A\x81\x5B\x83\x68";
const std::string kSoft = "\x83\x5C\x83\x74\x83\x67";
const std::string kZo = "\x83\x5D";
const std::string kZe = "\x83\x5B";
const std::string kHyo = "\x95\x5D";
const std::string kOmote = "\x95\x5C";
const std::string kA = "\x83\x41";
const std::string kDi = "\x83\x61";

const char* const kWineComment = "Wine reads a ';' line holding '=' as a key";
const char* const kWineOpenHeader = "Wine ignores a section header without ']'";
const char* const kWineLastBracket = "Wine ends a section name at the last ']', not the first";
const char* const kWineNoSection = "Wine finds keys before the first header under section \"\"";
const char* const kWineBom = "Wine decodes a file with a UTF-8 byte-order mark as UTF-8";
const char* const kWineHex = "Wine's number reader takes a 0x prefix as hexadecimal";
const char* const kOursEscaped = "we read an escaped key as the key it stands for";
const char* const kOursBom = "we skip a UTF-8 byte-order mark; Windows makes it part of line 1";

std::vector<CorpusFile> Corpus() {
  return {
      {"save file as the platform writes it",
       "[DECK]\r\n#table=A,B,C\r\n#empty=\r\n" + kCard + "=" + kCard + "1," + kCard + "2\r\n",
       {Entry("DECK", "#table", "A,B,C"), Entry("deck", "#TABLE", "A,B,C"),
        Entry("DECK", "#empty", ""), Entry("DECK", "#none", std::nullopt),
        Entry("DECK", kCard, kCard + "1," + kCard + "2"), Entry("MODE", "#table", std::nullopt)}},
      {"deck file edited by hand: LF, comments, spacing",
       "; trump, short\n[DECK]\n  Max = 3 \n1= Ace of Spades\n 2 =King\t\n\n3=Joker\n",
       {Number("DECK", "Max", "3", 3), Number("DECK", "MAX", "3", 3),
        Entry("DECK", "1", "Ace of Spades"), Entry("DECK", "2", "King"),
        Entry("DECK", "3", "Joker"), Entry("DECK", "4", std::nullopt)}},
      {"mode table with CR-only line ends",
       "[MODE]\rtrump=trump.ini\r\rtarot=tarot.ini\r",
       {Entry("MODE", "trump", "trump.ini"), Entry("MODE", "tarot", "tarot.ini")}},
      {"line ends mixed, blank lines between",
       "[DECK]\r\n\r\n\n\r#a=1\n\r#b=2\r\n\r\n[X]\n#a=3",
       {Entry("DECK", "#a", "1"), Entry("DECK", "#b", "2"), Entry("X", "#a", "3")}},
      {"Shift_JIS section names with ']' and '[' second bytes",
       "[" + kZo + kHyo + "]\r\nk=zo\r\n[" + kZe + "]\r\nk=ze\r\n",
       {Entry(kZo + kHyo, "k", "zo"), Entry(kZe, "k", "ze"), Entry(kZo, "k", std::nullopt)}},
      {"Shift_JIS names and values with '\\' second bytes",
       "[MODE]\r\n" + kSoft + "=" + kSoft + ".ini\r\n" + kOmote + "=" + kOmote + "\r\n",
       {Entry("MODE", kSoft, kSoft + ".ini"), Entry("MODE", kOmote, kOmote)}},
      {"letter case folds for ASCII letters only",
       "[DECK]\r\n" + kA + "x=katakana a\r\n" + kDi +
           "x=katakana di\r\n\x82\x60=full A\r\n"
           "\x84\x41=cyrillic B\r\n#Table=ascii\r\n",
       {Entry("DECK", kA + "x", "katakana a"), Entry("DECK", kA + "X", "katakana a"),
        Entry("DECK", kDi + "x", "katakana di"), Entry("DECK", "\x82\x60", "full A"),
        Entry("DECK", "\x82\x81", std::nullopt), Entry("DECK", "\x84\x41", "cyrillic B"),
        Entry("DECK", "\x84\x72", std::nullopt), Entry("DECK", "#TABLE", "ascii"),
        Entry("DECK", "#table", "ascii")}},
      {"section header with spaces and text after ']'",
       "[ DECK ] written by hand\r\n#t=A\r\n",
       {Entry("DECK", "#t", "A"), Entry("DECK ]", "#t", std::nullopt)}},
      {"section header with two ']'",
       "[DECK]x]\r\n#t=A\r\n",
       {WineReads(Entry("DECK", "#t", "A"), kWineLastBracket, std::nullopt),
        WineReads(Entry("DECK]x", "#t", std::nullopt), kWineLastBracket, "A")}},
      {"section header without ']'",
       "[DECK\r\n#t=A\r\n",
       {WineReads(Entry("DECK", "#t", "A"), kWineOpenHeader, std::nullopt)}},
      {"Shift_JIS section header without ']', ending in a ']' second byte",
       "[" + kZo + "\r\nk=zo\r\n",
       {WineReads(Entry(kZo, "k", "zo"), kWineOpenHeader, std::nullopt)}},
      {"keys before the first section header",
       "#t=stray\r\n[DECK]\r\n#u=B\r\n",
       {Entry("DECK", "#t", std::nullopt), Entry("DECK", "#u", "B"),
        WineReads(Entry("", "#t", std::nullopt), kWineNoSection, "stray")}},
      {"comment lines, some holding '='",
       "; saved decks\r\n[DECK]\r\n;#t=old\r\n#t=B\r\n  ; indented comment=1\r\n#u=C\r\n",
       {Entry("DECK", "#t", "B"), Entry("DECK", "#u", "C"),
        WineReads(Entry("DECK", ";#t", std::nullopt), kWineComment, "old")}},
      {"duplicate keys and sections: the first wins",
       "[DECK]\r\n#t=first\r\n#T=second\r\n[OTHER]\r\nx=1\r\n[deck]\r\n#t=third\r\n"
       "#u=only in the second\r\n",
       {Entry("DECK", "#t", "first"), Entry("DECK", "#u", std::nullopt), Entry("OTHER", "x", "1")}},
      {"quoted values",
       "[Q]\r\nk1=\"a b\"\r\nk2=' x '\r\nk3=\"x'\r\nk4=''x''\r\nk5=\"\"\r\nk6=\"\r\n"
       "k7= \"q\" \r\nk8=\"\"a\"\"\r\n",
       {Entry("Q", "k1", "a b"), Entry("Q", "k2", " x "), Entry("Q", "k3", "\"x'"),
        Entry("Q", "k4", "'x'"), Entry("Q", "k5", ""), Entry("Q", "k6", "\""),
        Entry("Q", "k7", "q"), Entry("Q", "k8", "\"a\"")}},
      {"whitespace: tabs, 0x1A, spaces inside names",
       "[W]\r\n\tk1\t=\tv v\t\x1A\r\nk 2=two words\r\nk\t3=tab inside\r\n",
       {Entry("W", "k1", "v v"), Entry("W", "k 2", "two words"), Entry("W", "k\t3", "tab inside"),
        Entry("W", "k2", std::nullopt)}},
      {"'=' and ';' inside values, lines without '='",
       "[DECK]\r\nnoequals\r\na=b=c\r\nk=v ; not a comment\r\n",
       {Entry("DECK", "a", "b=c"), Entry("DECK", "k", "v ; not a comment"),
        Entry("DECK", "noequals", std::nullopt)}},
      {"a key line that starts with '[' opens a section",
       "[DECK]\r\n[Tom]=x\r\n#t=A\r\n",
       {Entry("DECK", "[Tom]", std::nullopt), Entry("DECK", "#t", std::nullopt),
        Entry("Tom", "#t", "A")}},
      {"numbers",
       "[N]\r\nMax=52\r\nn1= 7\r\nn2=+7\r\nn3=-1\r\nn4=42abc\r\nn5=4294967297\r\n"
       "n6=-2147483648\r\nn7=2147483648\r\nn8=\"12\"\r\nn9=- 5\r\nn10=abc\r\nn11=\r\n"
       "n12=\x82\x50\r\nhex=0x10\r\n",
       {Number("N", "Max", "52", 52), Number("N", "n1", "7", 7), Number("N", "n2", "+7", 7),
        Number("N", "n3", "-1", -1), Number("N", "n4", "42abc", 42),
        Number("N", "n5", "4294967297", 1), Number("N", "n6", "-2147483648", INT32_MIN),
        Number("N", "n7", "2147483648", INT32_MIN), Number("N", "n8", "12", 12),
        Number("N", "n9", "- 5", 0), Number("N", "n10", "abc", 0), Number("N", "n11", "", 0),
        Number("N", "n12", "\x82\x50", 0),
        [] {
          Lookup absent = Entry("N", "absent", std::nullopt);
          absent.number = 0;
          return absent;
        }(),
        [] {
          Lookup hex = Number("N", "hex", "0x10", 0);
          hex.wine_differs = kWineHex;
          hex.wine_value = "0x10";
          hex.wine_number = 16;
          return hex;
        }()}},
      {"UTF-8 byte-order mark",
       "\xEF\xBB\xBF[DECK]\r\n#t=A\r\n[MODE]\r\ntrump=trump.ini\r\n",
       {WineReads(WindowsReads(Entry("DECK", "#t", "A"), kOursBom, std::nullopt), kWineBom, "A"),
        Entry("MODE", "trump", "trump.ini")}},
      {"a value far longer than 4 KiB",
       "[DECK]\r\n#big=" + kLongValue + "\r\n#t=A\r\n",
       {Entry("DECK", "#big", kLongValue), Entry("DECK", "#t", "A")}},
      {"escaped keys as our writer leaves them",
       "[DECK]\r\n~ [Tom] ~=A,B\r\n~ #a%3Db ~=C\r\n#t=D\r\n",
       {WindowsReads(Entry("DECK", "[Tom]", "A,B"), kOursEscaped, std::nullopt),
        WindowsReads(Entry("DECK", "#a=b", "C"), kOursEscaped, std::nullopt),
        WindowsReads(Entry("DECK", "~ [Tom] ~", std::nullopt), kOursEscaped, "A,B"),
        WindowsReads(Entry("DECK", "~ #a%3Db ~", std::nullopt), kOursEscaped, "C"),
        Entry("DECK", "#t", "D")}},
  };
}

// What the platform is expected to give for `lookup` where this test runs.
std::optional<std::string> ExpectedPlatformText(const Lookup& lookup, bool wine) {
  if (wine && lookup.wine_differs) return lookup.wine_value;
  if (lookup.ours_differs) return lookup.windows_value;
  return lookup.value;
}

// Test names print the file's description rather than its bytes.
void PrintTo(const CorpusFile& file, std::ostream* out) { *out << file.name; }

class IniCorpusTest : public ::testing::TestWithParam<CorpusFile> {};

TEST_P(IniCorpusTest, OurReaderAgreesWithThePlatform) {
  const CorpusFile& file = GetParam();
  ScratchDirectory scratch;
  scratch.Write("ours.ini", file.bytes);
  const std::string ours = MakeDataPath("ours.ini");
  const std::string platform = FreshPlatformCopy(scratch, file.bytes);
  const bool wine = RunningUnderWine();

  for (const Lookup& lookup : file.lookups) {
    SCOPED_TRACE("[" + lookup.section + "] " + Printable(lookup.key) +
                 (lookup.wine_differs ? std::string(" (") + lookup.wine_differs + ")" : ""));
    // Ours: the documented reading.
    EXPECT_EQ(Printable(FindIniValue(file.bytes, lookup.section, lookup.key)),
              Printable(lookup.value));
    EXPECT_EQ(Printable(ReadIniText(ours, lookup.section, lookup.key)),
              Printable(lookup.value.value_or("")));
    std::int32_t our_number = ReadIniNumber(ours, lookup.section, lookup.key);
    if (lookup.number) {
      EXPECT_EQ(our_number, *lookup.number);
    }

    // The platform's.
    EXPECT_EQ(Printable(PlatformText(platform, lookup.section, lookup.key)),
              Printable(ExpectedPlatformText(lookup, wine)));
    std::int32_t platform_number = PlatformNumber(platform, lookup.section, lookup.key);
    if (wine && lookup.wine_number) {
      EXPECT_EQ(platform_number, *lookup.wine_number);
    } else if (!(wine && lookup.wine_differs) && !lookup.ours_differs) {
      EXPECT_EQ(platform_number, our_number);
    }
  }
}

// Beyond the chosen lookups: every entry the platform itself finds in a file reads the same
// through our reader. Files where Wine is known to part from Windows are left to the lookups.
TEST_P(IniCorpusTest, EveryEntryThePlatformListsReadsTheSame) {
  const CorpusFile& file = GetParam();
  const bool wine = RunningUnderWine();
  for (const Lookup& lookup : file.lookups) {
    if ((wine && lookup.wine_differs) || lookup.ours_differs) {
      GTEST_SKIP() << "the platform is known to read this file otherwise; see the lookups";
    }
  }
  ScratchDirectory scratch;
  const std::string platform = FreshPlatformCopy(scratch, file.bytes);
  int entries = 0;
  for (const std::string& section : PlatformSections(platform)) {
    for (const std::string& key : PlatformKeys(platform, section)) {
      SCOPED_TRACE("[" + section + "] " + Printable(key));
      EXPECT_EQ(Printable(FindIniValue(file.bytes, section, key)),
                Printable(PlatformText(platform, section, key)));
      ++entries;
    }
  }
  EXPECT_GT(entries, 0) << "the platform found no entry at all";
}

std::string CaseName(const ::testing::TestParamInfo<CorpusFile>& info) {
  return "File" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Corpus, IniCorpusTest, ::testing::ValuesIn(Corpus()), CaseName);

TEST(IniPlatformTest, TheAnsiCodePageIsShiftJis) {
  // Every Shift_JIS case above depends on it: under Wine, run with LANG=ja_JP.UTF-8 and that
  // locale generated.
  EXPECT_EQ(::GetACP(), 932u);
}

// ---------------------------------------------------------------------------------------------
// Writing: sequences of writes, then every entry read back through the platform.

struct Write {
  std::string section;
  std::string key;
  std::string value;
};

struct WriteSequence {
  const char* name;
  std::string initial;  // the file before the first write; empty for no file
  std::vector<Write> writes;
  // Entries of the initial file that the writes must leave as they were.
  std::vector<Lookup> kept;
};

std::vector<WriteSequence> WriteSequences() {
  return {
      {"a new save file, ordinary targets",
       "",
       {{"DECK", "#table", "A,B,C"},
        {"DECK", "nick", ""},
        {"DECK", "#TABLE", "C,B"},
        {"DECK", kCard, kCard + "," + kSoft},
        {"DECK", kSoft, kOmote + "," + kZo},
        {"DECK", kA, "upper"},
        {"DECK", kDi, "lower"}},
       {}},
      {"targets the plain format cannot hold",
       "",
       {{"DECK", "#t", "before"},
        {"DECK", "[Tom]", "A,B"},
        {"DECK", "#a=b", "C"},
        {"DECK", ";x", "D"},
        {"DECK", "~ x", "E"},
        {"DECK", " lead", "F"},
        {"DECK", "trail\t", "G"},
        {"DECK", "", "H"},
        {"DECK", "[" + kZo + "]", "I"},
        {"DECK", "#u", "after"}},
       {}},
      {"values that need quotes",
       "",
       {{"DECK", "#space", " x "},
        {"DECK", "#tab", "\tA,B"},
        {"DECK", "#quoted", "\"q\""},
        {"DECK", "#single", "'s'"},
        {"DECK", "#half", "\"x'"},
        {"DECK", "#one", "\""},
        {"DECK", "#long", kLongValue}},
       {}},
      {"a hand-edited file keeps its other entries",
       "; decks\n[DECK]\n  #t  =  A,B  \n;#old=Z\n\n[MODE]\ntrump=trump.ini\n",
       {{"DECK", "#t", "B"},
        {"DECK", "#u", "C,D"},
        {"MODE", "tarot", "tarot.ini"},
        {"NEW", "k", "v"}},
       {Entry("MODE", "trump", "trump.ini")}},
      {"a file with CR-only line ends and no final line end",
       "[MODE]\rtrump=trump.ini\r[DECK]\r#t=A",
       {{"DECK", "#t", "A,B"}, {"DECK", "#u", "C"}, {"X", "k", "v"}},
       {Entry("MODE", "trump", "trump.ini")}},
      {"a file whose section header lacks ']'",
       "[MODE]\r\ntrump=trump.ini\r\n[DECK\r\n",
       {{"MODE", "tarot", "tarot.ini"}},
       {Entry("MODE", "trump", "trump.ini")}},
  };
}

// The key under which the platform sees an entry we wrote.
std::string KeyAsThePlatformSees(const std::string& key) {
  return IniKeyNeedsEscape(key) ? EscapeIniKey(key) : key;
}

void PrintTo(const WriteSequence& sequence, std::ostream* out) { *out << sequence.name; }

class IniWriteTest : public ::testing::TestWithParam<WriteSequence> {};

TEST_P(IniWriteTest, EveryWrittenEntryReadsBackThroughThePlatform) {
  const WriteSequence& sequence = GetParam();
  ScratchDirectory scratch;
  if (!sequence.initial.empty()) scratch.Write("decks.ini", sequence.initial);
  const std::string path = MakeDataPath("decks.ini");

  // Section, then key folded as names match, to the key as written and its value: what the
  // file must hold after the writes so far.
  std::map<std::string, std::map<std::string, Write>> model;
  for (const Write& write : sequence.writes) {
    SCOPED_TRACE("after writing [" + write.section + "] " + Printable(write.key));
    ASSERT_TRUE(WriteIniText(path, write.section, write.key, write.value));
    // A key written again keeps its first spelling in the file; only the value changes.
    auto [slot, added] =
        model[FoldNameCase(write.section)].try_emplace(FoldNameCase(write.key), write);
    if (!added) slot->second.value = write.value;

    std::string bytes = scratch.Read("decks.ini").value_or("");
    const std::string platform = FreshPlatformCopy(scratch, bytes);
    for (const auto& [section, keys] : model) {
      for (const auto& [folded, entry] : keys) {
        SCOPED_TRACE("entry [" + entry.section + "] " + Printable(entry.key));
        EXPECT_EQ(Printable(ReadIniText(path, entry.section, entry.key)), Printable(entry.value));
        EXPECT_EQ(Printable(PlatformText(platform, entry.section, KeyAsThePlatformSees(entry.key))),
                  Printable(entry.value));
      }
    }
    for (const Lookup& kept : sequence.kept) {
      EXPECT_EQ(Printable(PlatformText(platform, kept.section, kept.key)), Printable(kept.value));
      EXPECT_EQ(Printable(ReadIniText(path, kept.section, kept.key)),
                Printable(kept.value.value_or("")));
    }
  }

  // No stray lines: the platform lists, in each section we wrote, exactly our keys (and the
  // initial file's).
  std::string bytes = scratch.Read("decks.ini").value_or("");
  const std::string platform = FreshPlatformCopy(scratch, bytes);
  for (const auto& [section, keys] : model) {
    std::vector<std::string> listed = PlatformKeys(platform, keys.begin()->second.section);
    for (const auto& [folded, entry] : keys) {
      std::string seen = KeyAsThePlatformSees(entry.key);
      bool found = false;
      for (const std::string& name : listed) found |= NamesMatch(name, seen);
      EXPECT_TRUE(found) << Printable(seen) << " is not listed in [" << entry.section << "]";
    }
    if (sequence.initial.empty()) {
      EXPECT_EQ(listed.size(), keys.size()) << "in [" << section << "]";
    }
  }
}

std::string SequenceName(const ::testing::TestParamInfo<WriteSequence>& info) {
  return "Sequence" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Sequences, IniWriteTest, ::testing::ValuesIn(WriteSequences()),
                         SequenceName);

// For ordinary names and values our writer and the platform's produce the same bytes, so a file
// that both have written looks the same either way.
TEST(IniPlatformTest, OrdinaryWritesGiveThePlatformsOwnBytes) {
  const std::vector<Write> writes = {
      {"DECK", "#table", "A,B,C"},
      {"DECK", "#other", ""},
      {"MODE", "trump", "trump.ini"},
      {"DECK", "#TABLE", "C"},
      {"DECK", kCard, kSoft + "," + kOmote},
      {"MODE", "tarot", "tarot.ini"},
      {"OTHER", "x", "1"},
      {"DECK", "#third", "Z"},
  };
  ScratchDirectory scratch;
  const std::string ours = MakeDataPath("ours.ini");
  const std::string platform = MakeDataPath("platform.ini");
  for (const Write& write : writes) {
    SCOPED_TRACE("after writing [" + write.section + "] " + Printable(write.key));
    ASSERT_TRUE(WriteIniText(ours, write.section, write.key, write.value));
    ASSERT_TRUE(::WritePrivateProfileStringA(write.section.c_str(), write.key.c_str(),
                                             write.value.c_str(), platform.c_str()));
    ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, platform.c_str());  // flush
    EXPECT_EQ(Printable(scratch.Read("ours.ini")), Printable(scratch.Read("platform.ini")));
  }
}

TEST(IniPlatformTest, AValueWithALineBreakIsRefusedAndTheFileKept) {
  ScratchDirectory scratch;
  const std::string before = "[DECK]\r\n#t=A\r\n";
  scratch.Write("decks.ini", before);
  const std::string path = MakeDataPath("decks.ini");
  const std::vector<std::string> values = {"A\r\n[X]", "A\nB", "A\rB", std::string("A\0B", 3)};
  for (const std::string& value : values) {
    EXPECT_FALSE(WriteIniText(path, "DECK", "#t", value)) << Printable(value);
    EXPECT_EQ(scratch.Read("decks.ini"), before);
  }
  EXPECT_EQ(scratch.ListNames(), "decks.ini") << "a refused write left a file behind";
}

}  // namespace
}  // namespace deckhand::testing
