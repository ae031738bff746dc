// deckhand's card-set checker and its messages about commands that go wrong silently in the
// library (no reply, a failed save, a deal from a missing deck file), run as the real program
// in a scratch directory of small data files.
#include <gtest/gtest.h>

#include <map>

#include "commands/reply_texts.h"
#include "host/deckhand/session.h"
#include "host/run_program.h"
#include "support/scratch_directory.h"

namespace deckhand::testing {
namespace {

using Files = std::map<std::string, std::string>;  // name to bytes; "" as a name's bytes: absent

// "スペードのA" in Shift_JIS.
const std::string kSpadeAce = "\x83\x58\x83\x79\x81\x5B\x83\x68\x82\xCC" "A";

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

ProgramRun RunDeckhand(const Files& files, std::vector<std::string> arguments,
                       std::string standard_input = "") {
  ScratchDirectory scratch;
  for (const auto& [name, bytes] : files) {
    if (!bytes.empty()) scratch.Write(name, bytes);
  }
  ProgramInput input;
  input.arguments = std::move(arguments);
  input.standard_input = std::move(standard_input);
  input.environment.emplace_back("LC_ALL", "C.UTF-8");
  return RunProgram(DECKHAND_PROGRAM, input);
}

std::string Deck(std::string_view entries) { return "[DECK]\r\n" + std::string(entries); }

struct CheckCase {
  std::string name;
  Files files;
  std::string expected;  // a line of the report or its start, found in standard output
};

void PrintTo(const CheckCase& c, std::ostream* out) { *out << c.name; }

class CardCheckTest : public ::testing::TestWithParam<CheckCase> {};

// Each problem is reported with its file and line, and makes the checker exit 1.
TEST_P(CardCheckTest, ReportsTheProblem) {
  const CheckCase& c = GetParam();
  ProgramRun run = RunDeckhand(c.files, {"--check-cards"});
  EXPECT_NE(run.out.find(c.expected), std::string::npos) << run.out;
  EXPECT_EQ(run.exit_status, 1) << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Problems, CardCheckTest,
    ::testing::Values(
        // Files missing, or not where the library looks.
        CheckCase{"NoModeTable", With({{"modes.ini", ""}}),
                  "modes.ini: is missing: the library looks for the mode table at /"},
        CheckCase{"NoModeSection", With({{"modes.ini", "[MODES]\r\nmini=mini.ini\r\n"}}),
                  "modes.ini: has no [MODE] section: every deck,MODE gets no reply"},
        CheckCase{"MissingDeckFile", With({{"mini.ini", ""}}),
                  "modes.ini:2: the deck file \"mini.ini\" of the mode \"mini\" is missing (the "
                  "library looks for it at /"},
        CheckCase{"DeckFileThatCannotBeRead", With({{"mini.ini", ""}, {"mini.ini/x", "x"}}),
                  "modes.ini:2: the deck file \"mini.ini\" of the mode \"mini\" cannot be read "
                  "(the library looks for it at /"},
        CheckCase{"ModeWithoutDeckFile", With({{"modes.ini", "[MODE]\r\nmini=\r\n"}}),
                  "modes.ini:2: the mode \"mini\" names no deck file: deck,mini gets no reply"},
        CheckCase{"ModeTwice", With({{"modes.ini", "[MODE]\r\nmini=mini.ini\r\nMINI=x.ini\r\n"}}),
                  "modes.ini:3: the mode \"MINI\" appears again (first at line 2); the first one "
                  "wins and this one is never read"},
        CheckCase{"LineWithoutEquals", With({{"modes.ini", "[MODE]\r\nmini=mini.ini\r\ntarot\r\n"}}),
                  "modes.ini:3: a line without \"=\" is no entry and is never read"},
        // Text that is not Shift_JIS.
        CheckCase{"Utf8ByteOrderMark", With({{"mini.ini", "\xEF\xBB\xBF" + Deck("Max=1\r\n1=A\r\n")}}),
                  "mini.ini: starts with a UTF-8 byte-order mark: it is UTF-8 text; the library "
                  "reads Shift_JIS, so its names would be garbled; convert it with: sed "
                  "'1s/^\\xEF\\xBB\\xBF//' mini.ini | iconv -f UTF-8 -t CP932 > mini.ini.new && "
                  "mv mini.ini.new mini.ini"},
        CheckCase{"Utf8Text", With({{"mini.ini", Deck("Max=1\r\n1=スペードのA\r\n")}}),
                  "mini.ini: is UTF-8 text; the library reads Shift_JIS, so its names would be "
                  "garbled; convert it with: iconv -f UTF-8 -t CP932 mini.ini > mini.ini.new && "
                  "mv mini.ini.new mini.ini"},
        CheckCase{"Utf16Text", With({{"modes.ini", std::string("\xFF\xFE[\0M\0", 6)}}),
                  "modes.ini: is UTF-16 text; the library reads Shift_JIS; convert it with: "
                  "iconv -f UTF-16 -t CP932 modes.ini > modes.ini.new && mv modes.ini.new "
                  "modes.ini"},
        CheckCase{"InvalidShiftJis", With({{"mini.ini", Deck("Max=2\r\n1=A\r\n\r\n2=B\x80\r\n")}}),
                  "mini.ini:5: byte 0x80 starts no Shift_JIS character; is the file in another "
                  "encoding?"},
        // Max.
        CheckCase{"NoMax", With({{"mini.ini", Deck("1=A\r\n")}}),
                  "mini.ini: has no Max: deck,mini deals an empty deck"},
        CheckCase{"MaxZero", With({{"mini.ini", Deck("Max=0\r\n")}}),
                  "mini.ini:2: Max=0: deck,mini deals an empty deck"},
        CheckCase{"MaxNotANumber", With({{"mini.ini", Deck("Max=two\r\n")}}),
                  "mini.ini:2: Max=two (read as 0): deck,mini deals an empty deck"},
        CheckCase{"MaxTooLarge", With({{"mini.ini", Deck("Max=100001\r\n")}}),
                  "mini.ini:2: Max=100001 is above the 100000 cards the library deals: deck,mini "
                  "gets no reply"},
        // Entries.
        CheckCase{"EntriesMissingBelowMax", With({{"mini.ini", Deck("Max=5\r\n2=B\r\n4=D\r\n")}}),
                  "mini.ini:2: the cards 1, 3, 5 are missing below Max=5: deck,mini deals blank "
                  "cards in their place"},
        CheckCase{"EmptyEntry", With({{"mini.ini", Deck("Max=2\r\n1=A\r\n2=\r\n")}}),
                  "mini.ini:2: the card 2 is empty: deck,mini deals them as blank cards"},
        CheckCase{"EntriesAboveMax", With({{"mini.ini", Deck("Max=1\r\n1=A\r\n2=B\r\n3=C\r\n")}}),
                  "mini.ini:4: the cards 2-3 are above Max=1: never dealt"},
        CheckCase{"DuplicateKey", With({{"mini.ini", Deck("Max=1\r\n1=A\r\n1=Z\r\n")}}),
                  "mini.ini:4: the key \"1\" appears again (first at line 3); the first one wins "
                  "and this one is never read"},
        CheckCase{"CommaInACard", With({{"mini.ini", Deck("Max=1\r\n1=A,B\r\n")}}),
                  "mini.ini:3: the card \"A,B\" holds a comma: it is saved and drawn as separate "
                  "cards"},
        CheckCase{"QuotesThatReadingStrips", With({{"mini.ini", Deck("Max=1\r\n1=\"A\"\r\n")}}),
                  "mini.ini:3: the quotes of \"A\" are dropped when it is read: the card is A"},
        CheckCase{"SpaceThatReadingStrips", With({{"mini.ini", Deck("Max=1\r\n1= A\r\n")}}),
                  "mini.ini:3: the space after \"=\" is dropped when it is read: the card is \"A\" "
                  "(quote it, \" A\", to keep it)"},
        CheckCase{"KeyWithALeadingZero", With({{"mini.ini", Deck("Max=1\r\n1=A\r\n02=B\r\n")}}),
                  "mini.ini:4: the key \"02\" is never read: number the cards 1, 2, 3 with no sign "
                  "or leading zero"},
        CheckCase{"ProblemsInTheOrderOfTheFiles",
                  With({{"modes.ini", "[MODE]\r\nmini=mini.ini\r\ngone=gone.ini\r\n"},
                        {"mini.ini", Deck("Max=2\r\n1=A\r\n")}}),
                  "deck,gone deals an empty deck\nmini.ini:2: the card 2 is missing below Max=2"},
        CheckCase{"SecondDeckSection", With({{"mini.ini", Deck("Max=1\r\n1=A\r\n[DECK]\r\n2=B\r\n")}}),
                  "mini.ini:4: a second [DECK] section is never read: only the first one counts"}),
    [](const ::testing::TestParamInfo<CheckCase>& info) { return info.param.name; });

TEST(CardCheckTest, PassesASoundSetAndListsItsModes) {
  Files files = With({{"modes.ini", "; modes\r\n[MODE]\r\nmini=mini.ini\r\nbig=sub\\big.ini\r\n"
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
        FailureCase{"ModeNotInTheTable", kSaved, {"-t", "#t", "deck,poker", "count"}, "", 1,
                    "deckhand: deck,poker: the mode \"poker\" is not in modes.ini, which "
                    "holds the modes mini",
                    "NOTICE player モードがありません: poker\nNOTICE #t 2\n"},
        FailureCase{"NoModeTable", With({{"modes.ini", ""}}), {"-t", "#t", "deck,mini"}, "", 1,
                    "deckhand: deck,mini: no mode table modes.ini at /",
                    "NOTICE player モードがありません: mini\n"},
        FailureCase{"NoModeName", kSaved, {"-t", "#t", "deck"}, "", 1,
                    "deckhand: deck: no mode name: write deck,MODE",
                    "NOTICE player モードを指定してください(例: deck,trump)\n"},
        FailureCase{"DeckFileMissing", With({{"mini.ini", ""}}), {"-t", "#t", "deck,mini"}, "", 1,
                    "deckhand: deck,mini: the deck file mini.ini of the mode \"mini\" is missing at /",
                    "NOTICE #t デッキファイルを読めませんでした\n"},
        FailureCase{"SaveFailed", With({{"decksave.ini/x", "x"}}), {"-t", "#t", "deck,mini"}, "",
                    1, "deckhand: deck,mini: the deck could not be saved: the data directory must be "
                    "writable", "NOTICE #t デッキを保存できませんでした\n"},
        FailureCase{"LineNumberOfStandardInput", kSaved, {"-t", "#t"}, "count\n\n# x\ndral,1\n",
                    1, "deckhand: line 4: unknown command \"dral\"", "NOTICE #t 2\n"},
        FailureCase{"RefusedDealOnALineOfStandardInput", kSaved, {"-t", "#t"}, "deck,x\ncount\n",
                    1, "deckhand: line 1: deck,x: the mode \"x\" is not in",
                    "NOTICE player モードがありません: x\nNOTICE #t 2\n"},
        FailureCase{"SpaceAfterACommaOnStandardInput", kSaved, {"-t", "#t"}, "draw, 2\n", 1,
                    "deckhand: line 1: a command text holds no spaces (the library cuts its "
                    "command line at spaces): \"draw, 2\"; did you mean \"draw,2\"?", ""},
        FailureCase{"SpaceAfterACommaInTheShell", kSaved, {"-t", "#t", "deck,", "mini"}, "", 1,
                    "unknown command \"mini\" in \"mini\": use deck, draw, count, check, shuffle "
                    "or another of the table's (\"help\" lists them); did you mean "
                    "\"deck,mini\"? (no space after the comma)",
                    ""},
        FailureCase{"RawLineWithoutAllFields", kSaved, {"--raw"}, "Deck n #t\n", 1,
                    "deckhand: line 1: Deck: no reply: the command line needs four fields", ""},
        FailureCase{"ModeTableWithADirectory", kSaved, {"-m", "cards/modes.ini", "count"}, "", 2,
                    "use -C cards -m modes.ini", ""},
        FailureCase{"ModeTableWithADirectoryToCheck", kSaved, {"--check-cards", "-m", "/x/m.ini"},
                    "", 2, "--modes names a file of the data directory, not a path", ""}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

}  // namespace
}  // namespace deckhand::testing

namespace deckhand::testing {
namespace {

// Which replies deckhand counts as a failed command: only the library's own failure texts, to
// the target of the command, whole.
TEST(FailureOfReplyTest, KnowsTheLibrarysFailureTextsOnly) {
  const std::string save_failed = "NOTICE #t " + std::string(kSaveFailedText);
  const std::string shuffle_failed = "NOTICE #t " + std::string(kShuffleFailedText);
  struct Case {
    std::string reply;
    std::string target;
    std::string reason;  // found in the answer; empty when the answer must be empty
  };
  const Case cases[] = {
      {save_failed, "#t", "could not be saved"},
      {shuffle_failed, "#t", "random generator failed"},
      {save_failed, "#u", ""},
      {"NOTICE #t " + std::string(kShuffledText), "#t", ""},
      {shuffle_failed + "x", "#t", ""},
      {"NOTICE #t", "#t", ""},
  };
  for (const Case& c : cases) {
    std::string_view answer = host::FailureOfReply(c.reply, c.target);
    if (c.reason.empty()) {
      EXPECT_TRUE(answer.empty()) << c.reply;
    } else {
      EXPECT_NE(answer.find(c.reason), std::string_view::npos) << c.reply;
    }
  }
}

}  // namespace
}  // namespace deckhand::testing
