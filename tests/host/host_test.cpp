// deckhand run as a person or a script runs it, against the built library, in a scratch
// directory holding a mode table, a deck file and (per case) a save file written by hand.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "host/run_program.h"
#include "support/commitments.h"
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
  ProgramRun run = RunProgram(DECKHAND_PROGRAM, input);
  run.out = WithoutCommitments(run.out);
  return run;
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
        GameCase{"CountsNothingForANewTarget", {}, Args({"count"}), "NOTICE #deckhand 0\n"},
        GameCase{"CommandWordsInAnyCase",
                 {{"decksave.ini", SaveFile("#t=A\r\n")}},
                 Args({"-t", "#t", "COUNT", "Count,x"}),
                 "NOTICE #t 1\nNOTICE #t 1\n"},
        // Draw, on a deck written by hand.
        GameCase{"DrawsByPositionAndLeavesTheRest",
                 {{"decksave.ini", SaveFile(kFiveCards)}},
                 Args({"-t", "#t", "draw,3,1", "check"}),
                 "NOTICE #t ジョーカー,スペードのA\nNOTICE #t ハートの2,King,①\n"},
        GameCase{"DrawsFromNoDeck",
                 {},
                 Args({"-t", "#t", "draw,1"}),
                 "NOTICE #t デッキにカードがありません\n"},
        GameCase{"DrawsNothingBeyondTheDeck",
                 {{"decksave.ini", SaveFile(kFiveCards)}},
                 Args({"-t", "#t", "draw,9"}),
                 "NOTICE #t カードを引けませんでした\n"},
        GameCase{"ChecksNoDeck", {}, Args({"-t", "#t", "check"}), "NOTICE #t \n"},
        // The table: every line the command sends, addressee first. A deal takes the cards in
        // turn from the top, so a deck written by hand gives known hands.
        GameCase{"PlaysAHandAtTheTable",
                 {{"decksave.ini", SaveFile("#t=A,B,C,D,E,F,G,H\r\n")}},
                 Args({"-u", "al", "-t", "#t", "deal,2,al,bo", "hand", "play,2", "give,bo,1",
                       "hdraw", "discard,1", "draw", "discards", "table", "recall,all", "count"}),
                 "NOTICE #t al、boに2枚配りました\nNOTICE al A,C\nNOTICE bo B,D\n"
                 "NOTICE al A,C\n"
                 "NOTICE #t al: C\n"
                 "NOTICE bo alから受け取りました: A\nNOTICE #t alからboに1枚渡しました\n"
                 "NOTICE al E\nNOTICE #t al: 1枚引きました\n"
                 "NOTICE #t al: 1枚捨てました\n"
                 "NOTICE #t F\n"
                 "NOTICE #t F,C 伏せ札1枚\n"
                 "NOTICE #t 山札2枚 捨て札3枚 bo:3枚\n"
                 "NOTICE #t 6枚をデッキに戻してシャッフルしました\n"
                 "NOTICE #t 8\n"},
        GameCase{
            "NamedDecksKeepTheirOwnPilesAndLabelTheirLines",
            {{"decksave.ini",
              SaveFile("#t=A,B\r\n[TABLE]\r\n#t,two,deck=U,mini\r\n#t,two,draw=UUU:P,Q,R\r\n")}},
            Args({"-t", "#t", "count@two", "hdraw@two,1-2", "count", "table@TWO", "deck@two,mini",
                  "count@two"}),
            "NOTICE #t [two] 3\nNOTICE player [two] P,Q\nNOTICE #t [two] player: 2枚引きました\n"
            "NOTICE #t 2\nNOTICE #t [TWO] 山札1枚 捨て札0枚 player:2枚\n"
            "NOTICE #t [two] デッキセット:mini\nNOTICE #t [two] 5\n"},
        GameCase{"ShowsReversedCardsWithTheirMark",
                 {{"decksave.ini", SaveFile("#t=X,Y\r\n[TABLE]\r\n#t,,draw=RU:X,Y\r\n")}},
                 Args({"-t", "#t", "check", "draw", "peek"}),
                 "NOTICE #t X(逆位置),Y\nNOTICE #t X(逆位置)\nNOTICE player Y\n"},
        GameCase{"RecallsTheDiscardPileWhenThePileRunsOut",
                 {{"decksave.ini", SaveFile("#t=\r\n[TABLE]\r\n#t,,discard=U:Z\r\n")}},
                 Args({"-t", "#t", "draw", "auto_recall,on", "draw", "auto_recall"}),
                 "NOTICE #t デッキにカードがありません\nNOTICE #t 自動回収:オン\n"
                 "NOTICE #t 捨て札1枚をデッキに戻してシャッフルしました\nNOTICE #t Z\n"
                 "NOTICE #t 自動回収:オン\n"},
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
  Files files = {};          // on top of CardSet()
};

void PrintTo(const ErrorCase& c, std::ostream* out) { *out << c.name; }

class ErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorTest, SaysWhatIsWrong) {
  const ErrorCase& c = GetParam();
  ScratchDirectory scratch;
  WriteFiles(scratch, CardSet());
  WriteFiles(scratch, c.files);
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
        // Deals that the library answers with silence, or from a missing file: said and failed.
        ErrorCase{"AModeTheTableLacksIsRefusedAndDealsNothing",
                  Args({"-t", "#t", "deck,nosuch", "deck", "count"}),
                  1,
                  "deck,nosuch: the mode \"nosuch\" is not in modes.ini",
                  "NOTICE player モードがありません: nosuch\n"
                  "NOTICE player モードを指定してください(例: deck,trump)\nNOTICE #t 2\n",
                  {{"decksave.ini", SaveFile("#t=A,B\r\n")}}},
        ErrorCase{
            "AModeWithoutItsDeckFileKeepsTheDeck",
            Args({"-t", "#t", "deck,empty", "count"}),
            1,
            "the deck file missing.ini of the mode \"empty\" is missing (the library looks for it "
            "at /",
            "NOTICE #t デッキファイルを読めませんでした\nNOTICE #t 2\n",
            {{"decksave.ini", SaveFile("#t=A,B\r\n")}}},
        ErrorCase{"ReadsTheModeTableThatModesNames",
                  Args({"-t", "#t", "--modes=other.ini", "deck,small", "deck,mini", "count"}),
                  1,
                  "the mode \"mini\" is not in other.ini",
                  "NOTICE #t デッキセット:small\nNOTICE player モードがありません: mini\n"
                  "NOTICE #t 5\n",
                  {{"other.ini", "[MODE]\r\nsmall=mini.ini\r\n"}}},
        // The table's refusals: a line to the player, the reason on standard error.
        ErrorCase{"PositionsBeyondTheHandMoveNothing",
                  Args({"-t", "#t", "hdraw", "play,2", "hand"}),
                  1,
                  "play,2: refused: 手札にその位置のカードがありません(手札1枚)",
                  "NOTICE player A\nNOTICE #t player: 1枚引きました\n"
                  "NOTICE player 手札にその位置のカードがありません(手札1枚)\nNOTICE player A\n",
                  {{"decksave.ini", SaveFile("#t=A,B\r\n")}}},
        ErrorCase{"GivingToOneselfAndNoSuchDeck", Args({"-t", "#t", "give,player,1", "count@x"}), 1,
                  "count@x: refused: [x] デッキがありません: x",
                  "NOTICE player 自分には渡せません\nNOTICE player [x] デッキがありません: x\n"},
        // Command texts.
        ErrorCase{"UnknownCommandWordRunsNothing", Args({"count", "dral,1"}), 1,
                  "unknown command \"dral\" in \"dral,1\""},
        ErrorCase{"EmptyCommandText", Args({""}), 1, "unknown command \"\""},
        ErrorCase{"TextWithoutAShiftJisForm", Args({"count", "deck,\xF0\x9F\x83\x8F"}), 1,
                  "no Shift_JIS form", "NOTICE #deckhand 0\n"},
        ErrorCase{"InputThatIsNotUtf8", Args({}, "deck,\xFF\ncount\n"), 1, "not valid UTF-8",
                  "NOTICE #deckhand 0\n"},
        ErrorCase{"UnknownWordOnStandardInputSkipsOnlyThatLine",
                  Args({}, "count\n\n# x\ndral,1\ncount\n"), 1,
                  "deckhand: line 4: unknown command \"dral\"",
                  "NOTICE #deckhand 0\nNOTICE #deckhand 0\n"},
        ErrorCase{"UnknownRawExport", Args({"--raw"}, "Dice n #t m dice,2d6\nCount n #t\n"), 1,
                  "unknown export \"Dice\"", "NOTICE #t 0\n"},
        // The data directory.
        ErrorCase{"MissingDirectory", Args({"--dir", "nowhere", "count"}), 1,
                  "cannot use the directory nowhere"},
        // The command line of deckhand itself.
        ErrorCase{"UnknownOption", Args({"--shout", "count"}), 2, "unrecognized option '--shout'"},
        ErrorCase{"UnknownOptionInACluster", Args({"-xt", "#t"}), 2, "unrecognized option '-x'"},
        ErrorCase{"ShortOptionWithoutValue", Args({"count", "-t"}), 2, "option '-t' needs a value"},
        ErrorCase{"LongOptionWithoutValue", Args({"count", "--modes"}), 2,
                  "option '--modes' needs a value"},
        ErrorCase{"UnknownEncoding", Args({"--encoding=klingon", "count"}), 2,
                  "cannot convert between klingon and Shift_JIS"},
        ErrorCase{"EmptyEncoding", Args({"--encoding=", "count"}), 2,
                  "--encoding needs a character set name"},
        ErrorCase{"TargetWithASpace", Args({"--target=#a b", "count"}), 2,
                  "--target must be one word"},
        ErrorCase{"EmptyUser", Args({"--user=", "count"}), 2, "--user must not be empty"},
        ErrorCase{"TargetWithoutAShiftJisForm", Args({"-t", "#\xF0\x9F\x83\x8F", "count"}), 2,
                  "no Shift_JIS form"},
        ErrorCase{"RawWithCommandTexts", Args({"--raw", "count"}), 2, "--raw reads its commands"}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return info.param.name; });

// The example card sets as shipped, played through deckhand in a scratch copy.
class ExampleDirectory : public ScratchDirectory {
 public:
  ExampleDirectory() {
    std::filesystem::copy(DECKHAND_EXAMPLES_DIR, path(), std::filesystem::copy_options::recursive);
  }

  // The values of one section of an INI file of the examples, key to value, as bytes: enough of
  // the format for the examples (comments, CRLF ends, no spaces around "=").
  std::map<std::string, std::string> Section(const std::string& file,
                                             const std::string& section) const {
    std::map<std::string, std::string> values;
    std::istringstream lines(Read(file).value_or(""));
    std::string line;
    bool inside = false;
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty() || line[0] == ';') continue;
      if (line[0] == '[') {
        inside = line == "[" + section + "]";
      } else if (inside && line.find('=') != std::string::npos) {
        values.emplace(line.substr(0, line.find('=')), line.substr(line.find('=') + 1));
      }
    }
    return values;
  }

  // The cards of a mode, in the deck file's order.
  std::vector<std::string> CardsOf(const std::string& mode) const {
    std::string deck_file = Section("modes.ini", "MODE")[mode];
    std::map<std::string, std::string> deck = Section(deck_file, "DECK");
    std::vector<std::string> cards;
    for (int i = 1; i <= std::stoi(deck["Max"]); ++i) cards.push_back(deck[std::to_string(i)]);
    return cards;
  }
};

std::vector<std::string> SplitAt(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (std::size_t at = 0; at <= text.size(); ++at) {
    if (at == text.size() || text[at] == separator) {
      pieces.emplace_back(text.substr(start, at - start));
      start = at + 1;
    }
  }
  return pieces;
}

// The cards of a reply "NOTICE <target> A,B,C".
std::vector<std::string> CardsIn(const std::string& reply, const std::string& target) {
  std::string head = "NOTICE " + target + " ";
  EXPECT_EQ(reply.rfind(head, 0), 0u) << reply;
  return SplitAt(reply.substr(std::min(head.size(), reply.size())), ',');
}

struct ExampleSet {
  std::string mode;
  std::size_t cards;
};

void PrintTo(const ExampleSet& set, std::ostream* out) { *out << set.mode; }

class ExampleSetTest : public ::testing::TestWithParam<ExampleSet> {};

// Every card of the set is dealt once, and the cards drawn and the cards left are the set.
TEST_P(ExampleSetTest, DealsTheWholeSetAndLosesNoCard) {
  const ExampleSet& set = GetParam();
  ExampleDirectory examples;
  std::vector<std::string> expected = examples.CardsOf(set.mode);
  ASSERT_EQ(expected.size(), set.cards);

  ProgramRun run = RunDeckhand(
      Args({"--encoding=sjis", "-t", "#t", "deck," + set.mode, "count", "draw,1-3", "check"}));
  ASSERT_EQ(run.exit_status, 0) << run.err;
  std::vector<std::string> replies = SplitAt(run.out, '\n');
  ASSERT_EQ(replies.size(), 5u) << run.out;  // four replies and the end of the last
  EXPECT_EQ(replies[0], "NOTICE #t " + Sjis("デッキセット:") + set.mode);
  EXPECT_EQ(replies[1], "NOTICE #t " + std::to_string(set.cards));
  std::vector<std::string> drawn = CardsIn(replies[2], "#t");
  std::vector<std::string> left = CardsIn(replies[3], "#t");
  EXPECT_EQ(drawn.size(), 3u);
  EXPECT_EQ(left.size(), set.cards - 3);

  std::vector<std::string> played = drawn;
  played.insert(played.end(), left.begin(), left.end());
  // The tarot sets are reversible: a reversed card is its name and the mark.
  const std::string mark = Sjis("(逆位置)");
  for (std::string& card : played) {
    if (card.size() > mark.size() &&
        card.compare(card.size() - mark.size(), mark.size(), mark) == 0) {
      card.resize(card.size() - mark.size());
    }
  }
  std::sort(played.begin(), played.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(played, expected);
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleSetTest,
                         ::testing::Values(ExampleSet{"trump", 54}, ExampleSet{"tarot", 78},
                                           ExampleSet{"major", 22}, ExampleSet{"english", 52}),
                         [](const ::testing::TestParamInfo<ExampleSet>& info) {
                           return info.param.mode;
                         });

// A game at a terminal in UTF-8 on the examples: the replies that do not depend on the shuffle.
TEST(ExampleGameTest, RepliesInUtf8) {
  ExampleDirectory examples;
  ProgramRun run = RunDeckhand(
      Args({"-t", "#table", "deck,trump", "count", "draw,1-3", "count", "shuffle", "count"}));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.err, "");
  std::vector<std::string> replies = SplitAt(run.out, '\n');
  ASSERT_EQ(replies.size(), 7u) << run.out;
  EXPECT_EQ(replies[0], "NOTICE #table デッキセット:trump");
  EXPECT_EQ(replies[1], "NOTICE #table 54");
  EXPECT_EQ(CardsIn(replies[2], "#table").size(), 3u);
  EXPECT_EQ(replies[3], "NOTICE #table 51");
  EXPECT_EQ(replies[4], "NOTICE #table シャッフルしました");
  EXPECT_EQ(replies[5], "NOTICE #table 51");
  EXPECT_EQ(replies[6], "");
}

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
  EXPECT_EQ(run.exit_status, 1);  // deck,nosuch was refused
  EXPECT_EQ(run.out, "NOTICE #t 0\nNOTICE player モードがありません: nosuch\n");
  EXPECT_NE(run.err.find("#t> "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("deck,nosuch: the mode \"nosuch\" is not in"), std::string::npos)
      << run.err;
}

}  // namespace
}  // namespace deckhand::testing
