// deckhand run as a person or a script runs it, against the built library, in a scratch
// directory holding a mode table, a deck file and (per case) a save file written by hand.
#include <gtest/gtest.h>
#include <iconv.h>

#include <filesystem>
#include <map>

#include "host/run_program.h"
#include "support/scratch_directory.h"

namespace deckhand::testing {
namespace {

// UTF-8 text as the Shift_JIS (code page 932) bytes that the library's files hold.
std::string Sjis(std::string_view utf8) {
  iconv_t converter = iconv_open("CP932", "UTF-8");
  std::string bytes(utf8.size() * 2, '\0');
  char* in = const_cast<char*>(utf8.data());
  std::size_t in_left = utf8.size();
  char* out = bytes.data();
  std::size_t out_left = bytes.size();
  std::size_t result = iconv(converter, &in, &in_left, &out, &out_left);
  iconv_close(converter);
  EXPECT_NE(result, static_cast<std::size_t>(-1)) << "no Shift_JIS form: " << utf8;
  bytes.resize(bytes.size() - out_left);
  return bytes;
}

using Files = std::map<std::string, std::string>;  // name to bytes

// Every case plays in a directory holding these: one small card set, "mini", with names from
// both halves of code page 932, and a mode whose deck file is missing.
Files CardSet() {
  return {{"modes.ini", "[MODE]\r\nmini=mini.ini\r\nempty=missing.ini\r\n"},
          {"mini.ini", Sjis("[DECK]\r\nMax=5\r\n1=スペードのA\r\n2=ハートの2\r\n3=ジョーカー\r\n"
                            "4=King\r\n5=①\r\n")}};
}

std::string SaveFile(std::string_view utf8_entries) {
  return Sjis("[DECK]\r\n" + std::string(utf8_entries));
}

ProgramRun RunDeckhand(ProgramInput input) {
  // A UTF-8 locale unless the case says otherwise, whatever the machine running the tests uses.
  bool sets_locale = false;
  for (const auto& variable : input.environment) sets_locale |= variable.first == "LC_ALL";
  if (!sets_locale) input.environment.emplace_back("LC_ALL", "C.UTF-8");
  return RunProgram(DECKHAND_PROGRAM, input);
}

// What a case passes: the arguments, and the text on standard input if any.
ProgramInput Args(std::vector<std::string> arguments, std::string standard_input = "") {
  ProgramInput input;
  input.arguments = std::move(arguments);
  input.standard_input = std::move(standard_input);
  return input;
}

ProgramInput InLocale(const std::string& locale, ProgramInput input) {
  input.environment.emplace_back("LC_ALL", locale);
  return input;
}

void WriteFiles(const ScratchDirectory& scratch, const Files& files) {
  for (const auto& [name, bytes] : files) scratch.Write(name, bytes);
}

// A game whose every reply is known: texts or standard input in, the replies out, exit 0.
struct GameCase {
  std::string name;
  Files files;  // on top of CardSet()
  ProgramInput input;
  std::string replies;
};

// Cases are named in test names and failure reports by their names alone.
void PrintTo(const GameCase& c, std::ostream* out) { *out << c.name; }

class GameTest : public ::testing::TestWithParam<GameCase> {};

TEST_P(GameTest, PrintsTheReplies) {
  const GameCase& c = GetParam();
  ScratchDirectory scratch;
  WriteFiles(scratch, CardSet());
  WriteFiles(scratch, c.files);
  ProgramRun run = RunDeckhand(c.input);
  EXPECT_EQ(run.out, c.replies);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exit_status, 0);
}

const std::string kFiveCards = "#t=スペードのA,ハートの2,ジョーカー,King,①\r\n";

INSTANTIATE_TEST_SUITE_P(
    Games, GameTest,
    ::testing::Values(
        // Count.
        GameCase{"CountsAJapaneseTargetsSavedDeck",
                 {{"decksave.ini", SaveFile("#卓=A,B,C\r\n")}},
                 Args({"-t", "#卓", "count"}),
                 "NOTICE #卓 3\n"},
        GameCase{"CountsNothingForANewTarget", {}, Args({"count"}), "NOTICE #deckhand 0\n"},
        GameCase{"CommandWordsInAnyCase",
                 {{"decksave.ini", SaveFile("#t=A\r\n")}},
                 Args({"-t", "#t", "COUNT", "Count,x"}),
                 "NOTICE #t 1\nNOTICE #t 1\n"},
        // Deck.
        GameCase{"DealsAModeOfTheTable",
                 {},
                 Args({"-t", "#t", "deck,mini", "count"}),
                 "NOTICE #t デッキセット:mini\nNOTICE #t 5\n"},
        GameCase{"AModeTheTableLacksGetsNoReplyAndDealsNothing",
                 {{"decksave.ini", SaveFile("#t=A,B\r\n")}},
                 Args({"-t", "#t", "deck,nosuch", "deck", "count"}),
                 "NOTICE #t 2\n"},
        GameCase{"AModeWithoutItsDeckFileDealsAnEmptyDeck",
                 {{"decksave.ini", SaveFile("#t=A,B\r\n")}},
                 Args({"-t", "#t", "deck,empty", "count"}),
                 "NOTICE #t デッキセット:empty\nNOTICE #t 0\n"},
        GameCase{"ReadsTheModeTableThatModesNames",
                 {{"other.ini", "[MODE]\r\nsmall=mini.ini\r\n"}},
                 Args({"-t", "#t", "--modes=other.ini", "deck,small", "deck,mini", "count"}),
                 "NOTICE #t デッキセット:small\nNOTICE #t 5\n"},
        // Draw, on a deck written by hand.
        GameCase{"DrawsByPositionAndLeavesTheRest",
                 {{"decksave.ini", SaveFile(kFiveCards)}},
                 Args({"-t", "#t", "draw,3,1", "check"}),
                 "NOTICE #t ジョーカー,スペードのA\nNOTICE #t ハートの2,King,①\n"},
        GameCase{"DrawsTheTopCardAndARange",
                 {{"decksave.ini", SaveFile(kFiveCards)}},
                 Args({"-t", "#t", "draw", "draw,2-3"}),
                 "NOTICE #t スペードのA\nNOTICE #t ジョーカー,King\n"},
        GameCase{"DrawsFromNoDeck",
                 {},
                 Args({"-t", "#t", "draw,1"}),
                 "NOTICE #t デッキにカードがありません\n"},
        GameCase{"DrawsNothingBeyondTheDeck",
                 {{"decksave.ini", SaveFile(kFiveCards)}},
                 Args({"-t", "#t", "draw,9"}),
                 "NOTICE #t カードを引けませんでした\n"},
        // Check and Shuffle.
        GameCase{"ChecksTheCardsLeftTopFirst",
                 {{"decksave.ini", SaveFile(kFiveCards)}},
                 Args({"-t", "#t", "check"}),
                 "NOTICE #t スペードのA,ハートの2,ジョーカー,King,①\n"},
        GameCase{"ChecksNoDeck", {}, Args({"-t", "#t", "check"}), "NOTICE #t \n"},
        GameCase{"ShufflesAndKeepsEveryCard",
                 {{"decksave.ini", SaveFile(kFiveCards)}},
                 Args({"-t", "#t", "shuffle", "count"}),
                 "NOTICE #t シャッフルしました\nNOTICE #t 5\n"},
        // Bytes of a saved deck that no character starts with are shown, not dropped.
        GameCase{"EscapesBytesThatDoNotConvert",
                 {{"decksave.ini",
                   "[DECK]\r\n#t=A\x80"
                   "B,\x83,\x85\x40,\x83\x66\r\n"}},
                 Args({"-t", "#t", "check"}),
                 "NOTICE #t A\\x80B,\\x83,\\x85\\x40,デ\n"},
        // Encodings: the locale's, and Shift_JIS bytes passed as they are.
        GameCase{"TakesUtf8FromAPlainCLocale",
                 {{"decksave.ini", SaveFile("#卓=A\r\n")}},
                 InLocale("C", Args({"-t", "#卓", "count"})),
                 "NOTICE #卓 1\n"},
        GameCase{"PassesShiftJisBytesUnchanged",
                 {{"decksave.ini", SaveFile("#卓=A,") + "\x80\r\n"}},
                 Args({"--encoding=sjis", "-t", Sjis("#卓"), "count", "check"}),
                 Sjis("NOTICE #卓 2\nNOTICE #卓 A,") + "\x80\n"},
        // Option conventions.
        GameCase{"TakesOptionsInEveryUsualForm",
                 {{"decksave.ini", SaveFile("#t=A\r\n")}},
                 Args({"count", "-umy", "-t#t", "--modes", "modes.ini", "--encoding=UTF-8", "--",
                       "count"}),
                 "NOTICE #t 1\nNOTICE #t 1\n"},
        GameCase{"PlaysTheDirectoryThatDirNames",
                 {{"cards/decksave.ini", SaveFile("#t=A,B,C,D\r\n")}},
                 Args({"--dir=cards", "-t", "#t", "count"}),
                 "NOTICE #t 4\n"},
        // Standard input: one text a line, blank lines and comments skipped.
        GameCase{"ReadsTextsFromStandardInput",
                 {{"decksave.ini", SaveFile("#t=A,B\r\n")}},
                 Args({"-t", "#t"}, "count\n\n# a comment\n  draw,2 \r\ncount"),
                 "NOTICE #t 2\nNOTICE #t B\nNOTICE #t 1\n"},
        // Raw lines: the export, then the whole command line as a bot would send it.
        GameCase{"PassesRawCommandLinesAsTheyAre",
                 {{"decksave.ini", SaveFile("#卓=A,B,C\r\n#u=X\r\n")}},
                 Args({"--raw", "-t", "#ignored"},
                      "Count nick #卓 modes.ini count\r\ncount    x   #u\n"
                      "DRAW n #卓 m draw,2\nCheck n #卓\nDeck n #u modes.ini deck,mini\n"
                      "Count n #u\n"),
                 "NOTICE #卓 3\nNOTICE #u 1\nNOTICE #卓 B\nNOTICE #卓 A,C\n"
                 "NOTICE #u デッキセット:mini\nNOTICE #u 5\n"}),
    [](const ::testing::TestParamInfo<GameCase>& info) { return info.param.name; });

// Whatever the reason a command cannot run, deckhand says so and exits non-zero.
struct ErrorCase {
  std::string name;
  ProgramInput input;
  int exit_status;
  std::string message;       // found in standard error
  std::string replies = "";  // of the commands that did run
};

void PrintTo(const ErrorCase& c, std::ostream* out) { *out << c.name; }

class ErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorTest, SaysWhatIsWrong) {
  const ErrorCase& c = GetParam();
  ScratchDirectory scratch;
  WriteFiles(scratch, CardSet());
  scratch.Write("not-a-directory", "");
  ProgramRun run = RunDeckhand(c.input);
  EXPECT_EQ(run.exit_status, c.exit_status);
  EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  EXPECT_EQ(run.err.rfind("deckhand: ", 0), 0u) << run.err;
  EXPECT_EQ(run.out, c.replies);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, ErrorTest,
    ::testing::Values(
        // The library.
        ErrorCase{"MissingLibrary", Args({"--plugin=/no/such/libdeckhand.so", "count"}), 1,
                  "cannot load the library /no/such/libdeckhand.so: cannot open shared object "
                  "file: No such file or directory"},
        ErrorCase{"FileThatIsNoLibrary", Args({"--plugin", "modes.ini", "count"}), 1,
                  "cannot load the library /"},
        ErrorCase{"LibraryWithoutTheExports",
                  Args({"--plugin=" DECKHAND_INCOMPLETE_PLUGIN, "count"}), 1,
                  "does not export Deck"},
        // Command texts.
        ErrorCase{"UnknownCommandWordRunsNothing", Args({"count", "dral,1"}), 1,
                  "unknown command \"dral\" in \"dral,1\""},
        ErrorCase{"EmptyCommandText", Args({""}), 1, "unknown command \"\""},
        ErrorCase{"TextWithoutAShiftJisForm", Args({"count", "deck,\xF0\x9F\x83\x8F"}), 1,
                  "no Shift_JIS form", "NOTICE #deckhand 0\n"},
        ErrorCase{"InputThatIsNotUtf8", Args({}, "deck,\xFF\ncount\n"), 1, "not valid UTF-8",
                  "NOTICE #deckhand 0\n"},
        ErrorCase{"UnknownWordOnStandardInputSkipsOnlyThatLine", Args({}, "dral\ncount\n"), 1,
                  "unknown command \"dral\"", "NOTICE #deckhand 0\n"},
        ErrorCase{"UnknownRawExport", Args({"--raw"}, "Dice n #t m dice,2d6\nCount n #t\n"), 1,
                  "unknown export \"Dice\"", "NOTICE #t 0\n"},
        // The data directory.
        ErrorCase{"MissingDirectory", Args({"--dir", "nowhere", "count"}), 1,
                  "cannot use the directory nowhere"},
        ErrorCase{"DirectoryThatIsAFile", Args({"-C", "not-a-directory", "count"}), 1,
                  "cannot use the directory not-a-directory"},
        // The command line of deckhand itself.
        ErrorCase{"UnknownOption", Args({"--shout", "count"}), 2, "unrecognized option '--shout'"},
        ErrorCase{"UnknownOptionInACluster", Args({"-xt", "#t"}), 2, "unrecognized option '-x'"},
        ErrorCase{"ShortOptionWithoutValue", Args({"count", "-t"}), 2, "option '-t' needs a value"},
        ErrorCase{"LongOptionWithoutValue", Args({"count", "--modes"}), 2,
                  "option '--modes' needs a value"},
        ErrorCase{"UnknownEncoding", Args({"--encoding=klingon", "count"}), 2,
                  "cannot convert between klingon and Shift_JIS"},
        ErrorCase{"TargetWithASpace", Args({"--target=#a b", "count"}), 2,
                  "--target must be one word"},
        ErrorCase{"EmptyUser", Args({"--user=", "count"}), 2, "--user must not be empty"},
        ErrorCase{"TargetWithoutAShiftJisForm", Args({"-t", "#\xF0\x9F\x83\x8F", "count"}), 2,
                  "no Shift_JIS form"},
        ErrorCase{"RawWithCommandTexts", Args({"--raw", "count"}), 2, "--raw reads its commands"}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return info.param.name; });

TEST(HostTest, HelpShowsUsage) {
  ProgramRun run = RunDeckhand(Args({"--help"}));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.out.rfind("Usage: deckhand", 0), 0u) << run.out;
}

TEST(HostTest, VersionNamesTheLibraryOfTheBuildTree) {
  ProgramRun run = RunDeckhand(Args({"--version"}));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.out, "deckhand " DECKHAND_VERSION "\nlibrary: " DECKHAND_PLUGIN_PATH "\n");
}

TEST(HostTest, PromptsAPersonAtATerminal) {
  ScratchDirectory scratch;
  WriteFiles(scratch, CardSet());
  ProgramInput input = Args({"-t", "#t"}, "count\ndeck,nosuch\n");
  input.input_is_terminal = true;
  ProgramRun run = RunDeckhand(input);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.out, "NOTICE #t 0\n");
  EXPECT_NE(run.err.find("#t> "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("(no reply)"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace deckhand::testing
