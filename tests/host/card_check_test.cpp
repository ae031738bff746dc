// deckhand's card-set checker and converter, and its messages about commands that go wrong
// silently in the library (no reply, a failed save, a deal from a missing deck file), run as the
// real program in a scratch directory of small data files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "host/deckhand/session.h"
#include "host/run_program.h"
#include "support/commitments.h"
#include "support/scratch_directory.h"

namespace deckhand::testing {
namespace {

using Files = std::map<std::string, std::string>;  // name to bytes; "" as a name's bytes: absent

// "スペードのA" in Shift_JIS.
const std::string kSpadeAce =
    "\x83\x58\x83\x79\x81\x5B\x83\x68\x82\xCC"
    "A";

// A sound card set of one mode, which each case changes.
Files CardSet() {
  return {{"modes.ini", "[MODE]\r\nmini=mini.ini\r\n"},
          {"mini.ini", "[DECK]\r\nMax=2\r\n1=" + kSpadeAce + "\r\n2=B\r\n"}};
}

Files With(Files changes) {
  Files files = CardSet();
  for (auto& [name, bytes] : changes) files[name] = bytes;
  return files;
}

// Runs deckhand in the current directory, in a UTF-8 locale.
ProgramRun RunHere(std::vector<std::string> arguments, std::string standard_input = "") {
  ProgramInput input;
  input.arguments = std::move(arguments);
  input.standard_input = std::move(standard_input);
  input.environment.emplace_back("LC_ALL", "C.UTF-8");
  ProgramRun run = RunProgram(DECKHAND_PROGRAM, input);
  run.out = WithoutCommitments(run.out);
  return run;
}

// Runs deckhand in a scratch directory holding `files`; `after`, when given, receives every
// file of the directory once it has run (so that stray files show).
ProgramRun RunDeckhand(const Files& files, std::vector<std::string> arguments,
                       std::string standard_input = "", Files* after = nullptr) {
  ScratchDirectory scratch;
  for (const auto& [name, bytes] : files) {
    if (!bytes.empty()) scratch.Write(name, bytes);
  }
  ProgramRun run = RunHere(std::move(arguments), std::move(standard_input));
  if (after != nullptr) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(scratch.path())) {
      if (!entry.is_regular_file()) continue;
      std::string name = std::filesystem::relative(entry.path(), scratch.path()).string();
      (*after)[name] = scratch.Read(name).value_or("");
    }
  }
  return run;
}

std::string Deck(std::string_view entries) { return "[DECK]\r\n" + std::string(entries); }

// One run of deckhand on small files: what it prints, how it exits, and, for the converter,
// every file it leaves.
struct CardCase {
  std::string name;
  Files files;
  std::vector<std::string> arguments;
  std::string out;  // found in standard output
  std::string err;  // found in standard error
  int exit_status = 1;
  std::optional<Files> after;  // every file of the directory afterwards, whole
};

void PrintTo(const CardCase& c, std::ostream* out) { *out << c.name; }

// A run of the converter, or of a wrong command line.
CardCase Converts(std::string name, Files files, std::vector<std::string> arguments,
                  std::string out, std::string err, int exit_status, std::optional<Files> after) {
  return {std::move(name), std::move(files), std::move(arguments), std::move(out),
          std::move(err),  exit_status,      std::move(after)};
}

// A problem the checker reports, with its file and line, making it exit 1.
CardCase Problem(std::string name, Files files, std::string expected) {
  return {std::move(name), std::move(files), {"--check-cards"}, std::move(expected), "", 1, {}};
}

// A set the checker passes.
CardCase Sound(std::string name, Files files, std::string expected) {
  return {std::move(name), std::move(files), {"--check-cards"}, std::move(expected), "", 0, {}};
}

class CardFileTest : public ::testing::TestWithParam<CardCase> {};

TEST_P(CardFileTest, SaysWhatItDidAndLeavesTheFiles) {
  const CardCase& c = GetParam();
  Files after;
  ProgramRun run = RunDeckhand(c.files, c.arguments, "", &after);
  EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
  EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
  EXPECT_EQ(run.exit_status, c.exit_status) << run.out << run.err;
  if (c.after) {
    EXPECT_EQ(after, *c.after);
  }
}

// "カード" in Shift_JIS and in EUC-JP.
const std::string kCardSjis = "\x83\x4A\x81\x5B\x83\x68";
const std::string kCardEuc = "\xA5\xAB\xA1\xBC\xA5\xC9";

const std::string kSuitsUtf8 = Deck("Max=2\r\n; ♠ first\r\n1=♠A\r\n2=カード🂡\r\n");
const std::string kSuitsSjis =
    Deck("Max=2\r\n; &#x2660; first\r\n1=&#x2660;A\r\n2=" + kCardSjis + "&#x1F0A1;\r\n");

// A Shift_JIS mode table with a line added in UTF-8, and the same converted.
const std::string kModesWithAUtf8Line =
    "[MODE]\r\n" + kCardSjis + "=mini.ini\r\nタロット=t.ini\r\n";
const std::string kModesInShiftJis =
    "[MODE]\r\n" + kCardSjis + "=mini.ini\r\n\x83\x5E\x83\x8D\x83\x62\x83\x67=t.ini\r\n";

// "[MODE]", "m=♠", "😀" on three lines, as Windows Notepad saves UTF-16.
const std::string kModesUtf16("\xFF\xFE[\0M\0O\0D\0E\0]\0\r\0\n\0m\0=\0`&\r\0\n\0\x3D\xD8\x00\xDE",
                              32);

INSTANTIATE_TEST_SUITE_P(
    Conversions, CardFileTest,
    ::testing::Values(
        // In: UTF-8 with or without a byte-order mark, UTF-16 with one, Shift_JIS. Out:
        // Shift_JIS with references, every line, comment and line end in place.
        Converts("Utf8InPlace", {{"my.ini", kSuitsUtf8}},
                 {"--convert-cards", "--in-place", "my.ini"},
                 "my.ini: 2 cards, 2 characters kept as references (♠ 🂡)\n", "", 0,
                 Files{{"my.ini", kSuitsSjis}}),
        Converts("Utf8WithMarkToStandardOutput",
                 {{"my.ini", "\xEF\xBB\xBF[DECK]\nMax=1\n1=¥ & ♠\r\n\n"}},
                 {"--convert-cards", "my.ini"}, "[DECK]\nMax=1\n1=&#xA5; & &#x2660;\r\n\n",
                 "my.ini: 1 card, 2 characters kept as references (¥ ♠)\n", 0,
                 Files{{"my.ini", "\xEF\xBB\xBF[DECK]\nMax=1\n1=¥ & ♠\r\n\n"}}),
        Converts("Utf16LittleEndianToAFile", {{"my.ini", kModesUtf16}},
                 {"--convert-cards", "-o", "out.ini", "my.ini"},
                 "my.ini: 1 mode, 2 characters kept as references (♠ 😀); written to out.ini\n", "",
                 0,
                 Files{{"my.ini", kModesUtf16}, {"out.ini", "[MODE]\r\nm=&#x2660;\r\n&#x1F600;"}}),
        Converts("Utf16BigEndian", {{"my.ini", std::string("\xFE\xFF\0[\0]\x26\x60", 8)}},
                 {"--convert-cards", "my.ini"}, "[]&#x2660;", "", 0, std::nullopt),
        Converts("ShiftJisIsLeftAlone", {{"my.ini", kSuitsSjis}},
                 {"--convert-cards", "--in-place", "my.ini"},
                 "my.ini: 2 cards, already Shift_JIS; left as it was\n", "", 0,
                 Files{{"my.ini", kSuitsSjis}}),
        Converts("AsciiWithAMark", {{"m.ini", "\xEF\xBB\xBF[MODE]\r\na=a.ini\r\n"}},
                 {"--convert-cards", "--in-place", "m.ini"},
                 "m.ini: 1 mode, every character is in Shift_JIS\n", "", 0,
                 Files{{"m.ini", "[MODE]\r\na=a.ini\r\n"}}),
        Converts("SeveralInPlace", {{"a.ini", "[DECK]\r\n1=♣\r\n"}, {"b.txt", "x\n"}},
                 {"--convert-cards", "--in-place", "a.ini", "b.txt"},
                 "a.ini: 1 card, 1 character kept as a reference (♣)\nb.txt: 1 line, already "
                 "Shift_JIS; left as it was\n",
                 "", 0, Files{{"a.ini", "[DECK]\r\n1=&#x2663;\r\n"}, {"b.txt", "x\n"}}),
        // A card counts once however often it is written: the first of its key is read.
        Converts("ACardTwiceCountsOnce", {{"a.ini", "[DECK]\r\n1=A\r\n1=B\r\n[deck]\r\n2=C\r\n"}},
                 {"--convert-cards", "--in-place", "a.ini"},
                 "a.ini: 1 card, already Shift_JIS; left as it was\n", "", 0,
                 Files{{"a.ini", "[DECK]\r\n1=A\r\n1=B\r\n[deck]\r\n2=C\r\n"}}),
        // A plain list, one card a line, becomes a deck file.
        Converts("FromAList", {{"list.txt", "\xEF\xBB\xBF Ace \n\n\"q\"\r\n♠2\n"}},
                 {"--convert-cards", "--from-list", "-o", "my.ini", "list.txt"},
                 "list.txt: 3 cards, 1 character kept as a reference (♠); written to my.ini\n", "",
                 0,
                 Files{{"list.txt", "\xEF\xBB\xBF Ace \n\n\"q\"\r\n♠2\n"},
                       {"my.ini", Deck("Max=3\r\n1=Ace\r\n2=\"\"q\"\"\r\n3=&#x2660;2\r\n")}}),
        // A file of mixed lines, converted line by line.
        Converts("Utf8LineInShiftJis", {{"modes.ini", kModesWithAUtf8Line}},
                 {"--convert-cards", "--in-place", "modes.ini"},
                 "modes.ini: 2 modes, line 3 converted from UTF-8\n", "", 0,
                 Files{{"modes.ini", kModesInShiftJis}}),
        Converts("ShiftJisLineInUtf8", {{"a.ini", "[DECK]\n1=♠\n2=" + kCardSjis + "\n3=♠\n"}},
                 {"--convert-cards", "--in-place", "a.ini"},
                 "a.ini: 3 cards, 1 character kept as a reference (♠); line 3, in Shift_JIS "
                 "already, kept as it was\n",
                 "", 0, Files{{"a.ini", "[DECK]\n1=&#x2660;\n2=" + kCardSjis + "\n3=&#x2660;\n"}}),
        Converts("LinesInNoEncoding", {{"a.ini", "[DECK]\n1=\xFD\n2=" + kCardSjis + "\n3=\x80\n"}},
                 {"--convert-cards", "--in-place", "a.ini"}, "",
                 "deckhand: a.ini:2:3: is neither UTF-8 nor Shift_JIS: 0xFD starts no character of "
                 "either; line 4 as well in no encoding deckhand knows; nothing was written\n",
                 1, Files{{"a.ini", "[DECK]\n1=\xFD\n2=" + kCardSjis + "\n3=\x80\n"}}),
        Converts("FromAListReversible", {{"list.txt", "The Fool\nThe Magician\n"}},
                 {"--convert-cards", "--from-list", "--reversible", "-o", "t.ini", "list.txt"},
                 "list.txt: 2 cards dealt upright or reversed, every character is in Shift_JIS; "
                 "written to t.ini\n",
                 "", 0,
                 Files{
                     {"list.txt", "The Fool\nThe Magician\n"},
                     {"t.ini", Deck("Max=2\r\nReversible=1\r\n1=The Fool\r\n2=The Magician\r\n")}}),
        Converts("ReversibleWithoutAList", {{"a.ini", "x\n"}},
                 {"--convert-cards", "--reversible", "--in-place", "a.ini"}, "",
                 "--reversible makes a deck file of a list and goes with --from-list", 2,
                 Files{{"a.ini", "x\n"}}),
        Converts("EmptyList", {{"list.txt", "\r\n \n"}},
                 {"--convert-cards", "--from-list", "list.txt"}, "",
                 "deckhand: list.txt: holds no card names", 1, std::nullopt),
        // Refused, with line and column, nothing written.
        Converts("EucJp", {{"my.ini", Deck("Max=1\r\n1=" + kCardEuc + "\r\n")}},
                 {"--convert-cards", "--in-place", "my.ini"}, "",
                 "deckhand: my.ini:3:3: looks like EUC-JP text, which is neither UTF-8 nor "
                 "Shift_JIS: \"カ\" is 0xA5 0xAB in EUC-JP here; save it as UTF-8 and convert it "
                 "again; nothing was written\n",
                 1, Files{{"my.ini", Deck("Max=1\r\n1=" + kCardEuc + "\r\n")}}),
        Converts("Utf8BrokenAtLine7", {{"my.ini", "a\nあ\nい\nう\nえ\nお\nかか\xE3\x81\n"}},
                 {"--convert-cards", "--in-place", "my.ini"}, "",
                 "deckhand: my.ini:7:3: is UTF-8 text, broken here: 0xE3 0x81 are no UTF-8 "
                 "character; nothing was written\n",
                 1, Files{{"my.ini", "a\nあ\nい\nう\nえ\nお\nかか\xE3\x81\n"}}),
        Converts("NeitherUtf8NorShiftJis", {{"my.ini", "[DECK]\r\n1=\x83\x66\xFD\r\n"}},
                 {"--convert-cards", "my.ini"}, "",
                 "deckhand: my.ini:2:4: is neither UTF-8 nor Shift_JIS: 0xFD starts no character "
                 "of either",
                 1, std::nullopt),
        Converts("Utf16Broken", {{"my.ini", std::string("\xFF\xFEx\0\n\0y\0\x3D\xD8", 10)}},
                 {"--convert-cards", "my.ini"}, "",
                 "deckhand: my.ini:2:2: a UTF-16 high surrogate stands alone", 1, std::nullopt),
        Converts("Utf32", {{"my.ini", std::string("\xFF\xFE\0\0x\0\0\0", 8)}},
                 {"--convert-cards", "my.ini"}, "",
                 "deckhand: my.ini:1:1: a NUL character, which no card file holds", 1,
                 std::nullopt),
        Converts("OutputExists", {{"my.ini", kSuitsUtf8}, {"out.ini", "x"}},
                 {"--convert-cards", "-o", "out.ini", "my.ini"}, "",
                 "deckhand: out.ini: exists already; choose another name, or convert the file "
                 "itself with --in-place",
                 1, Files{{"my.ini", kSuitsUtf8}, {"out.ini", "x"}}),
        Converts("NoSuchFile", {}, {"--convert-cards", "my.ini"}, "",
                 "deckhand: my.ini: there is no such file", 1, Files{}),
        Converts("TwoFilesToStandardOutput", {}, {"--convert-cards", "a.ini", "b.ini"}, "",
                 "without --in-place, --convert-cards converts one file at a time", 2, Files{}),
        // The cards a chat network in that encoding shows with references.
        Converts(
            "ReferencesOnAnIso2022JpNetwork", With({{"mini.ini", kSuitsSjis}}),
            {"--check-cards", "--encoding=iso-2022-jp"},
            "mini.ini:4: \"♠A\" shows as \"&#x2660;A\" on a network in iso-2022-jp\n"
            "mini.ini:5: \"カード🂡\" shows as \"カード&#x1F0A1;\" on a network in iso-2022-jp\n"
            "2 cards show character references on a network in iso-2022-jp: rename them with "
            "characters Shift_JIS holds, or play on a UTF-8 network\nNo problems found.\n",
            "", 0, std::nullopt),
        Converts("NoReferencesOnAUtf8Network", With({{"mini.ini", kSuitsSjis}}),
                 {"--check-cards", "--encoding=utf-8"},
                 "  mini: mini.ini, 2 cards\nNo problems found.\n", "", 0, std::nullopt),
        Converts("CheckForAnEncodingNoNetworkHas", {}, {"--check-cards", "--encoding=euc-jp"}, "",
                 "--encoding names the chat network's encoding: utf-8, iso-2022-jp or shift_jis", 2,
                 std::nullopt),
        Converts("InPlaceAlone", {}, {"--in-place", "a.ini"}, "",
                 "--in-place, --output, --from-list and --reversible go with --convert-cards", 2,
                 Files{})),
    [](const ::testing::TestParamInfo<CardCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Problems, CardFileTest,
    ::testing::Values(
        // Files missing, or not where the library looks.
        Problem("NoModeTable", With({{"modes.ini", ""}}),
                "modes.ini: is missing (the library looks for the mode table at /"),
        Problem("NoModeSection", With({{"modes.ini", "[MODES]\r\nmini=mini.ini\r\n"}}),
                "modes.ini:1: the section [MODES] is never read: did you mean [MODE]?\n"
                "modes.ini: has no [MODE] section: every deck,MODE gets no reply"),
        Problem("MissingDeckFile", With({{"mini.ini", ""}}),
                "modes.ini:2: the deck file \"mini.ini\" of the mode \"mini\" is missing (the "
                "library looks for it at /"),
        Problem("DeckFileThatCannotBeRead", With({{"mini.ini", ""}, {"mini.ini/x", "x"}}),
                "modes.ini:2: the deck file \"mini.ini\" of the mode \"mini\" cannot be read (not "
                "a file; the library looks for it at /"),
        Problem(
            "DeckFileNamedInUtf8",
            With({{"modes.ini", "[MODE]\r\nmini=" + kCardSjis + ".ini\r\n"},
                  {"カード.ini", Deck("Max=1\r\n1=A\r\n")}}),
            "deck,mini deals nothing and says it cannot read the deck file; a file of that name is "
            "there, but named in UTF-8, "
            "and the library looks a file up by the Shift_JIS bytes of its name: name the "
            "deck file, and its line in the mode table, in ASCII letters"),
        Problem("ModeWithoutDeckFile", With({{"modes.ini", "[MODE]\r\nmini=\r\n"}}),
                "modes.ini:2: the mode \"mini\" names no deck file: deck,mini gets no reply"),
        Problem("ModeAndKeyTwice",
                With({{"modes.ini", "[MODE]\r\nmini=mini.ini\r\nMINI=x.ini\r\n"},
                      {"mini.ini", Deck("Max=1\r\n1=A\r\n1=Z\r\n")}}),
                "modes.ini:3: the mode \"MINI\" appears again (first at line 2); the first one "
                "wins and this one is never read\nmini.ini:4: the key \"1\" appears again (first "
                "at line 3); the first one wins and this one is never read"),
        Problem("KeyThatIsEmpty", With({{"mini.ini", Deck("Max=1\r\n1=A\r\n=B\r\n")}}),
                "mini.ini:4: an entry without a key is never read"),
        Problem("LineWithoutEquals", With({{"modes.ini", "[MODE]\r\nmini=mini.ini\r\ntarot\r\n"}}),
                "modes.ini:3: a line without \"=\" is no entry and is never read"),
        // Text that is not Shift_JIS.
        Problem("Utf8Text", With({{"mini.ini", Deck("Max=1\r\n1=スペードのA\r\n")}}),
                "mini.ini:3: is UTF-8 text: \"ス\" at line 3, column 3 and every other character "
                "beyond ASCII would be garbled, for the library reads Shift_JIS; convert it with: "
                "deckhand --convert-cards --in-place mini.ini"),
        Problem("Utf8TextWithAMark",
                With({{"mini.ini", "\xEF\xBB\xBF" + Deck("Max=1\r\n1=A\r\n2=♠\r\n")}}),
                "mini.ini:4: is UTF-8 text: \"♠\" at line 4, column 3 and every other"),
        Problem("Utf16Text", With({{"modes.ini", std::string("\xFF\xFE[\0M\0", 6)}}),
                "modes.ini: is UTF-16 text; the library reads Shift_JIS; convert it with: "
                "deckhand --convert-cards --in-place modes.ini"),
        Problem("Utf16WithoutAMark", With({{"modes.ini", std::string("[\0M\0", 4)}}),
                "modes.ini:1: column 2: a NUL byte: is it UTF-16 without a byte-order mark? Save "
                "it as UTF-8"),
        Problem(
            "EucJp", With({{"mini.ini", Deck("Max=1\r\n1=" + kCardEuc + "\r\n")}}),
            "mini.ini:3: column 3: looks like EUC-JP text, which is neither UTF-8 nor Shift_JIS: "
            "\"カ\" is 0xA5 0xAB in EUC-JP here; save it as UTF-8 in an editor, then convert "
            "it with: deckhand --convert-cards --in-place mini.ini"),
        Problem("BrokenUtf8", With({{"mini.ini", Deck("Max=2\r\n1=♠\r\n2=♥\xE2\x99\r\n")}}),
                "mini.ini:4: column 4: is UTF-8 text, broken here: 0xE2 0x99 are no UTF-8 "
                "character; save it as UTF-8"),
        Problem("InvalidShiftJis", With({{"mini.ini", Deck("Max=2\r\n1=A\r\n\r\n2=B\x80\r\n")}}),
                "mini.ini:5: column 4: is neither UTF-8 nor Shift_JIS: 0x80 starts no character "
                "of either; save it as UTF-8 in an editor, then convert it with"),
        // A line added in another editor, in another encoding than the rest, or in none.
        Problem("Utf8LineInShiftJis", With({{"modes.ini", kModesWithAUtf8Line}}),
                "modes.ini:3: this line is UTF-8 text, the rest of the file Shift_JIS: \"タ\" at "
                "column 1 and what follows read garbled; convert it with: deckhand "
                "--convert-cards --in-place modes.ini, which converts it line by line\n"),
        Problem("ShiftJisLineInUtf8",
                With({{"mini.ini", Deck("Max=2\r\n1=♠\r\n2=♥\r\n3=" + kCardSjis + "\r\n")}}),
                "mini.ini:5: this line is Shift_JIS text, the rest of the file UTF-8: \"カ\" at "
                "column 3; convert it with"),
        Problem(
            "ManyLinesInNoEncoding",
            With({{"mini.ini", Deck("Max=1\r\n1=" + kCardSjis + "\r\n") +
                                   [] {
                                     std::string lines;
                                     for (int i = 0; i < 22; ++i) lines += ";\x80\r\n";
                                     return lines;
                                   }()}}),
            "mini.ini:23: column 2: is neither UTF-8 nor Shift_JIS: 0x80 starts no character "
            "of either; save it as UTF-8 in an editor, then convert it with: deckhand "
            "--convert-cards --in-place mini.ini\nmini.ini:24: this line and 1 more after it are "
            "in another encoding than the rest of the file, or in none\n"),
        Problem("LineInNoEncodingInShiftJis",
                With({{"mini.ini", Deck("Max=2\r\n1=" + kCardSjis + "\r\n2=\xFD\r\n")}}),
                "mini.ini:4: column 3: is neither UTF-8 nor Shift_JIS: 0xFD starts"),
        // Max.
        Problem("NoMax", With({{"mini.ini", Deck("1=A\r\n2=B\r\n")}}),
                "mini.ini: has no Max: deck,mini deals an empty deck; add Max=2 (it holds the "
                "cards 1-2)"),
        Problem("MaxThatWrapsToOne", With({{"mini.ini", Deck("Max=4294967297\r\n1=A\r\n")}}),
                "  mini: mini.ini, 1 card\nmini.ini:2: Max=4294967297 is beyond the numbers the "
                "library reads (it reads as "
                "1): deck,mini deals 1 card; the most is Max=100000"),
        Problem("MaxThatWrapsToNone", With({{"mini.ini", Deck("Max=2147483648\r\n1=A\r\n")}}),
                "mini.ini:2: Max=2147483648 is beyond the numbers the library reads (it reads as "
                "-2147483648): deck,mini deals an empty deck"),
        Problem("MaxKeyMistyped", With({{"mini.ini", Deck("Max=1\r\n1=A\r\nMaxx=2\r\n")}}),
                "mini.ini:4: the key \"Maxx\" is never read: did you mean Max?"),
        Problem("MaxZero", With({{"mini.ini", Deck("Max=0\r\n")}}),
                "mini.ini:2: Max=0: deck,mini deals an empty deck"),
        Problem("MaxNotANumber", With({{"mini.ini", Deck("Max=two\r\n")}}),
                "mini.ini:2: Max=two (read as 0): deck,mini deals an empty deck"),
        Problem("MaxTooLarge", With({{"mini.ini", Deck("Max=100001\r\n")}}),
                "mini.ini:2: Max=100001 is above the 100000 cards the library deals: deck,mini "
                "gets no reply"),
        // Entries.
        Problem("EntriesMissingBelowMax", With({{"mini.ini", Deck("Max=5\r\n2=B\r\n4=D\r\n")}}),
                "mini.ini:2: the cards 1, 3, 5 are missing below Max=5: deck,mini deals blank "
                "cards in their place; add the cards 1, 3, 5, or number the cards 1-2 without "
                "gaps and write Max=2"),
        Problem("AGap", With({{"mini.ini", Deck("Max=3\r\n1=A\r\n2=B\r\n4=C\r\n")}}),
                "mini.ini:2: the card 3 is missing below Max=3: deck,mini deals blank cards in "
                "their place; add 3=NAME, or number the cards 1-2 without gaps and write Max=2"),
        Problem("EmptyEntry", With({{"mini.ini", Deck("Max=2\r\n1=A\r\n2=\r\n")}}),
                "mini.ini:2: the card 2 is empty: deck,mini deals them as blank cards"),
        Problem("EntriesAboveMax", With({{"mini.ini", Deck("Max=1\r\n1=A\r\n2=B\r\n3=C\r\n")}}),
                "mini.ini:4: the cards 2-3 are above Max=1: never dealt; write Max=3 to deal them"),
        // Counted as the deal gives it.
        Problem("CommaInACard", With({{"mini.ini", Deck("Max=2\r\n1=A,B,C\r\n2=D\r\n")}}),
                "  mini: mini.ini, 4 cards\nmini.ini:3: the card \"A,B,C\" holds a comma: it is "
                "saved and drawn as 3 separate cards"),
        Problem("ControlCharacter",
                With({{"mini.ini", Deck("Max=2\r\n1=A\r\n2=\x01"
                                        "B\r\n")}}),
                "mini.ini:4: the card 2 holds the control character 0x01: chat clients act on it "
                "instead of showing it; remove it"),
        Problem("Escape", With({{"mini.ini", Deck("Max=1\r\n1=\x1B[31mA\r\n")}}),
                "mini.ini:3: the card 1 holds the control character 0x1B (ESC)"),
        Problem("CardLongerThanAChatLine",
                With({{"mini.ini", Deck("Max=1\r\n1=" + std::string(401, 'x') + "\r\n")}}),
                "mini.ini:3: the card 1 is 401 bytes, longer than one chat line (400 bytes): a "
                "chat bot splits it over lines; shorten it"),
        Problem("CardCutInAReply",
                With({{"mini.ini", Deck("Max=1\r\n1=" + std::string(4038, 'x') + "\r\n")}}),
                "mini.ini:3: the card 1 is 4038 bytes: a reply holds at most 4037 bytes of it (to "
                "a target of 50 bytes), so it is drawn cut short; shorten it"),
        Problem("DeckSectionMistyped", With({{"mini.ini", "[DEK]\r\nMax=1\r\n1=A\r\n"}}),
                "mini.ini:1: the section [DEK] is never read: did you mean [DECK]?"),
        Problem("QuotesThatReadingStrips", With({{"mini.ini", Deck("Max=1\r\n1=\"A\"\r\n")}}),
                "mini.ini:3: the quotes of \"A\" are dropped when it is read: the card is A"),
        Problem("SpaceThatReadingStrips", With({{"mini.ini", Deck("Max=1\r\n1= A\r\n")}}),
                "mini.ini:3: the space after \"=\" is dropped when it is read: the card is \"A\" "
                "(quote it, \" A\", to keep it)"),
        Problem("KeyWithALeadingZero", With({{"mini.ini", Deck("Max=1\r\n1=A\r\n02=B\r\n")}}),
                "mini.ini:4: the key \"02\" is never read: number the cards 1, 2, 3 with no sign "
                "or leading zero"),
        Problem(
            "ProblemsInTheOrderOfTheFiles",
            With({{"modes.ini", "[MODE]\r\nmini=mini.ini\r\ngone=gone.ini\r\n"},
                  {"mini.ini", Deck("Max=2\r\n1=A\r\n")}}),
            "deck,gone deals nothing and says it cannot read the deck file\nmini.ini:2: the card 2 "
            "is missing below Max=2"),
        Problem("SecondDeckSection",
                With({{"mini.ini", Deck("Max=1\r\n1=A\r\n[DECK]\r\n2=B\r\n")}}),
                "mini.ini:4: a second [DECK] section is never read: only the first one counts")),
    [](const ::testing::TestParamInfo<CardCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    SoundSets, CardFileTest,
    ::testing::Values(
        // The library skips a UTF-8 byte-order mark: ASCII text after one reads as it is.
        Sound("AsciiWithAMark", With({{"mini.ini", "\xEF\xBB\xBF" + Deck("Max=1\r\n1=A\r\n")}}),
              "  mini: mini.ini, 1 card\nNo problems found.\n"),
        Sound("OtherSections",
              With({{"mini.ini", Deck("Max=1\r\n1=A\r\n") + "[NOTES]\r\nby=me\r\nnote\r\n"}}),
              "No problems found.\n"),
        Sound("Reversible", With({{"mini.ini", Deck("Max=1\r\nReversible=1\r\n1=A\r\n")}}),
              "No problems found.\n"),
        // References are ASCII: what the converter writes passes.
        Sound("References", With({{"mini.ini", kSuitsSjis}}), "No problems found.\n")),
    [](const ::testing::TestParamInfo<CardCase>& info) { return info.param.name; });

TEST(CardCheckTest, PassesASoundSetAndListsItsModes) {
  Files files = With({{"modes.ini",
                       "; modes\r\n[MODE]\r\nmini=mini.ini\r\nbig=sub\\big.ini\r\n"
                       "again=mini.ini\r\n"},
                      {"sub/big.ini", Deck("max = 3\r\n1 = A\r\n2=\"  \"\r\n3=C\r\n")}});
  ProgramRun run = RunDeckhand(files, {"--check-cards"});
  EXPECT_EQ(run.out,
            "modes.ini: 3 modes\n  mini: mini.ini, 2 cards\n  big: sub\\big.ini, 3 cards\n"
            "  again: mini.ini, 2 cards\nNo problems found.\n");
  EXPECT_EQ(run.exit_status, 0);
}

TEST(CardCheckTest, ChecksTheModeTableThatOptionsName) {
  Files files = With({{"cards/other.ini", "[MODE]\r\nm=gone.ini\r\n"}});
  ProgramRun run = RunDeckhand(files, {"--check-cards", "-C", "cards", "-m", "other.ini"});
  EXPECT_NE(run.out.find("other.ini:2: the deck file \"gone.ini\" of the mode \"m\" is missing"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.exit_status, 1);
}

// Run as root on a service's card file, --in-place leaves it the service's, as private as it was.
TEST(CardConvertTest, InPlaceKeepsTheOwnerAndPermissions) {
  ScratchDirectory scratch;
  scratch.Write("my.ini", kSuitsUtf8);
  ASSERT_EQ(::chmod("my.ini", 0640), 0);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown("my.ini", 65534, 65534), 0);
  }
  struct stat before {};
  ASSERT_EQ(::stat("my.ini", &before), 0);
  ProgramRun run = RunHere({"--convert-cards", "--in-place", "my.ini"});
  ASSERT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(scratch.Read("my.ini"), kSuitsSjis);
  struct stat after {};
  ASSERT_EQ(::stat("my.ini", &after), 0);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
}

// A deck file that the user running deckhand (a service's) may not read is said to be so, by the
// checker and by a deal. Root reads every file: as root, deckhand runs as nobody, as a service.
TEST(CardCheckTest, ADeckFileThatMayNotBeReadIsSaidToBe) {
  ScratchDirectory scratch;
  for (const auto& [name, bytes] : CardSet()) scratch.Write(name, bytes);
  ASSERT_EQ(::chmod("mini.ini", 0600), 0);
  ASSERT_EQ(::chmod(".", 0755), 0);
  auto run = [](std::vector<std::string> arguments) {
    if (::geteuid() != 0) return RunHere(std::move(arguments));
    arguments.insert(arguments.begin(),
                     {"--reuid=65534", "--regid=65534", "--clear-groups", DECKHAND_PROGRAM});
    return RunProgram("/usr/bin/setpriv", {arguments, "", {{"LC_ALL", "C.UTF-8"}}, false});
  };
  if (::geteuid() == 0 && ::access("/usr/bin/setpriv", X_OK) != 0) {
    GTEST_SKIP() << "root reads every file, and setpriv is not there to run as another user";
  }
  ProgramRun checked = run({"--check-cards"});
  EXPECT_NE(checked.out.find("modes.ini:2: the deck file \"mini.ini\" of the mode \"mini\" cannot "
                             "be read (permission denied; the library looks for it at /"),
            std::string::npos)
      << checked.out << checked.err;
  ProgramRun dealt = run({"-t", "#t", "deck,mini"});
  EXPECT_NE(dealt.err.find("deck,mini: the deck file mini.ini of the mode \"mini\" cannot be read "
                           "(permission denied; the library looks for it at /"),
            std::string::npos)
      << dealt.err;
}

// A card set written in UTF-8 with characters from everywhere (suits, emoji with skin tones
// and joiners, letters Shift_JIS lacks, ones it holds under other codes, text that looks like a
// reference) comes back byte for byte: converted, checked, dealt, drawn and shown on a UTF-8
// terminal.
TEST(CardRoundTripTest, EveryCharacterComesBackAsWritten) {
  const std::vector<std::string> cards = {"スペードのA",
                                          "♠A",
                                          "♥K",
                                          "♦Q",
                                          "♣J",
                                          "🂡",
                                          "😀",
                                          "👍🏽",
                                          "❤️",
                                          "👨‍👩‍👧",
                                          "①Ⅻ㈱",
                                          "～〜",
                                          "¥100",
                                          "‾−∥¢",
                                          "é Ñoño",
                                          "αΩ Жж",
                                          "한국어",
                                          "漢字𠮷",
                                          "ｶﾀｶﾅ",
                                          "R&D",
                                          "&amp;",
                                          "&#38; &#x41;",
                                          "&#x",
                                          "Tom's \"q\"",
                                          "a\\b [x] ;%=",
                                          "\"quoted\""};
  std::string list;
  for (const std::string& card : cards) list += card + "\r\n";
  ScratchDirectory scratch;
  scratch.Write("list.txt", list);
  scratch.Write("modes.ini", "[MODE]\r\nrt=rt.ini\r\n");
  ProgramRun converted = RunHere({"--convert-cards", "--from-list", "-o", "rt.ini", "list.txt"});
  ASSERT_EQ(converted.exit_status, 0) << converted.err;
  ProgramRun checked = RunHere({"--check-cards"});
  EXPECT_EQ(checked.exit_status, 0) << checked.out;
  std::string draw = "draw,1-" + std::to_string(cards.size());
  ProgramRun played = RunHere({"-t", "#t", "deck,rt", draw});
  ASSERT_EQ(played.exit_status, 0) << played.err;
  const std::string head = "NOTICE #t デッキセット:rt\nNOTICE #t ";
  ASSERT_EQ(played.out.substr(0, head.size()), head) << played.out;
  std::string drawn = played.out.substr(head.size());
  ASSERT_FALSE(drawn.empty());
  drawn.pop_back();  // the line end
  std::vector<std::string> back;
  for (std::size_t at = 0; at <= drawn.size();) {
    std::size_t comma = std::min(drawn.find(',', at), drawn.size());
    back.push_back(drawn.substr(at, comma - at));
    at = comma + 1;
  }
  std::vector<std::string> sent = cards;
  std::sort(sent.begin(), sent.end());
  std::sort(back.begin(), back.end());
  EXPECT_EQ(back, sent);
}

// Deals the table refuses for their mode, and commands that fail: deckhand says why on standard
// error and exits 1, so that scripts notice; a wrong command line exits 2.
struct FailureCase {
  std::string name;
  Files files;
  std::vector<std::string> arguments;
  std::string standard_input;
  int exit_status;
  std::string message;  // found in standard error
  std::string replies;
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

FailureCase Fails(std::string name, Files files, std::vector<std::string> arguments,
                  std::string standard_input, int exit_status, std::string message,
                  std::string replies) {
  return {std::move(name), std::move(files),   std::move(arguments), std::move(standard_input),
          exit_status,     std::move(message), std::move(replies)};
}

class SilentFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(SilentFailureTest, SaysWhyAndFails) {
  const FailureCase& c = GetParam();
  ProgramRun run = RunDeckhand(c.files, c.arguments, c.standard_input);
  EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  EXPECT_EQ(run.out, c.replies);
  EXPECT_EQ(run.exit_status, c.exit_status);
}

const Files kSaved = With({{"decksave.ini", "[DECK]\r\n#t=A,B\r\n"}});

INSTANTIATE_TEST_SUITE_P(
    Failures, SilentFailureTest,
    ::testing::Values(
        Fails("ModeMistyped", kSaved, {"-t", "#t", "deck,mimi"}, "", 1,
              "deckhand: deck,mimi: the mode \"mimi\" is not in modes.ini, which "
              "holds the modes mini; did you mean deck,mini?",
              "NOTICE player モードがありません: mimi\n"),
        Fails("NoModeTable", With({{"modes.ini", ""}}), {"-t", "#t", "deck,mini"}, "", 1,
              "deckhand: deck,mini: no mode table modes.ini at /",
              "NOTICE player モードがありません: mini\n"),
        Fails("NoModeName", kSaved, {"-t", "#t", "deck"}, "", 1,
              "deckhand: deck: no mode name: write deck,MODE",
              "NOTICE player モードを指定してください(例: deck,trump)\n"),
        Fails("SaveFailed", With({{"decksave.ini/x", "x"}}), {"-t", "#t", "deck,mini"}, "", 1,
              "deckhand: deck,mini: the deck could not be saved: the data directory must be "
              "writable",
              "NOTICE #t デッキを保存できませんでした\n"),
        Fails("RefusedDealOnALineOfStandardInput", kSaved, {"-t", "#t"}, "deck,x\ncount\n", 1,
              "deckhand: line 1: deck,x: the mode \"x\" is not in",
              "NOTICE player モードがありません: x\nNOTICE #t 2\n"),
        Fails("SpaceAfterACommaOnStandardInput", kSaved, {"-t", "#t"}, "draw, 2\n", 1,
              "deckhand: line 1: a command text holds no spaces (the library cuts its "
              "command line at spaces): \"draw, 2\"; did you mean \"draw,2\"?",
              ""),
        Fails("SpaceAfterACommaInTheShell", kSaved, {"-t", "#t", "deck,", "mini"}, "", 1,
              "unknown command \"mini\" in \"mini\": use deck, draw, count, check, shuffle "
              "or another of the table's (\"help\" lists them); did you mean "
              "\"deck,mini\"? (no space after the comma)",
              ""),
        Fails("RawLineWithoutAllFields", kSaved, {"--raw"}, "Deck n #t\n", 1,
              "deckhand: line 1: Deck: no reply: the command line needs four fields", ""),
        Fails("ModeTableWithADirectory", kSaved, {"-m", "cards/modes.ini", "count"}, "", 2,
              "use -C cards -m modes.ini", ""),
        Fails("ModeTableWithADirectoryToCheck", kSaved, {"--check-cards", "-m", "/x/m.ini"}, "", 2,
              "--modes names a file of the data directory, not a path", "")),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

}  // namespace
}  // namespace deckhand::testing
