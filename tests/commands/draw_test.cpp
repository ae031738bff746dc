// Draw through the loaded library, on save files written by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "commands/command_test_helpers.h"
#include "support/test_names.h"

namespace deckhand::testing {
namespace {

// A save file holding one target's deck, as the library writes it.
std::string SaveFile(const std::string& target, const std::string& cards) {
  return "[DECK]\r\n" + target + "=" + cards + "\r\n";
}

std::string Join(const std::vector<std::string>& cards) {
  std::string joined;
  for (std::size_t i = 0; i < cards.size(); ++i) joined += (i ? "," : "") + cards[i];
  return joined;
}

struct DrawCase {
  std::string deck;   // the saved line of target #t before the draw
  std::string line;   // the command line
  std::string reply;  // the reply text after "NOTICE #t "
  std::string saved;  // the saved line of #t afterwards
};

void PrintTo(const DrawCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.deck + " / " + c.line);
}

// A draw from A, B, C, D, E with `command_text` as field 4.
DrawCase FromFive(const std::string& command_text, const std::string& reply,
                  const std::string& saved) {
  return DrawCase{"A,B,C,D,E", "n #t m " + command_text, reply, saved};
}

class DrawTest : public ::testing::TestWithParam<DrawCase> {};

TEST_P(DrawTest, RepliesWithTheDrawnCardsAndSavesTheRest) {
  const DrawCase& c = GetParam();
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", SaveFile("#t", c.deck));
  EXPECT_EQ(Draw(c.line), "NOTICE #t " + c.reply);
  EXPECT_EQ(scratch.Read("decksave.ini"), SaveFile("#t", c.saved));
}

INSTANTIATE_TEST_SUITE_P(
    Selectors, DrawTest,
    // How selectors read is draw_selector_test's; these show the selector reaching the deck.
    ::testing::Values(
        // No selector: the top card.
        FromFive("draw,", "A", "B,C,D,E"), DrawCase{"A,B,C,D,E", "n #t", "A", "B,C,D,E"},
        // The word before the comma is not read; fields after the fourth are not read.
        FromFive("x,2", "B", "A,C,D,E"),
        DrawCase{"A,B,C,D,E", "  n   #t  m   draw,2   more", "B", "A,C,D,E"},
        // Positions and ranges, in selector order, each position once.
        FromFive("draw,5", "E", "A,B,C,D"), FromFive("draw,3,1", "C,A", "B,D,E"),
        FromFive("draw,2-3,2", "B,C", "A,D,E"), FromFive("draw,4-9", "D,E", "A,B,C"),
        // Selectors that take nothing: the deck is saved as it was.
        FromFive("draw,6", kNothingDrawnBytes, "A,B,C,D,E"),
        FromFive("draw,x", kNothingDrawnBytes, "A,B,C,D,E")),
    deckhand::testing::NameFromPrinted());

INSTANTIATE_TEST_SUITE_P(
    Names, DrawTest,
    ::testing::Values(
        // A card goes by name: of two alike, the one nearer the top leaves the deck.
        DrawCase{"A,B,A", "n #t m draw,3", "A", "B,A"},
        DrawCase{"A,B,A", "n #t m draw,1,3", "A,A", "B"},
        // Empty card names are cards too.
        DrawCase{"A,,B", "n #t m draw,2", "", "A,B"}, DrawCase{",", "n #t m draw,1-2", ",", ""}),
    deckhand::testing::NameFromPrinted());

struct NoCardsCase {
  std::optional<std::string> save_file;
  std::string line;
};

void PrintTo(const NoCardsCase& c, std::ostream* os) {
  *os << ::testing::PrintToString(c.save_file.value_or("(none)") + " / " + c.line);
}

class DrawNoCardsTest : public ::testing::TestWithParam<NoCardsCase> {};

TEST_P(DrawNoCardsTest, SaysSoAndLeavesTheSaveFileAlone) {
  const NoCardsCase& c = GetParam();
  ScratchDirectory scratch;
  if (c.save_file) scratch.Write("decksave.ini", *c.save_file);
  EXPECT_EQ(Draw(c.line), "NOTICE #t " + kNoCardsBytes);
  EXPECT_EQ(scratch.Read("decksave.ini"), c.save_file);
  EXPECT_EQ(scratch.ListNames(), c.save_file ? "decksave.ini" : "");
}

INSTANTIATE_TEST_SUITE_P(Cases, DrawNoCardsTest,
                         ::testing::Values(NoCardsCase{std::nullopt, "n #t m draw,1"},
                                           NoCardsCase{"[DECK]\r\n#u=A,B\r\n", "n #t m draw,1"}),
                         deckhand::testing::NameFromPrinted());

TEST(DrawTest, SavesAlsoWhenNothingWasDrawn) {
  ScratchDirectory scratch;
  // Hand-written spacing round "=": only a save rewrites the line in the library's own form.
  scratch.Write("decksave.ini", "[DECK]\r\n#t = A,B,C,D,E\r\n");
  EXPECT_EQ(Draw("n #t m draw,0"), "NOTICE #t " + kNothingDrawnBytes);
  EXPECT_EQ(scratch.Read("decksave.ini"), "[DECK]\r\n#t=A,B,C,D,E\r\n");
}

// Without a target, or with one too long to head a reply ("NOTICE " + target + " " would need
// 4,096 bytes), nothing is said and nothing saved.
TEST(DrawTest, ALineItCannotAnswerChangesNothing) {
  const std::string target(4088, 't');
  for (std::string line : {std::string("  n  "), "n " + target + " m draw,1"}) {
    ScratchDirectory scratch;
    std::string save_file = SaveFile(target, "A,B,C,D,E");
    scratch.Write("decksave.ini", save_file);
    EXPECT_EQ(Draw(line), std::nullopt) << line.substr(0, 8);
    EXPECT_EQ(scratch.Read("decksave.ini"), save_file);
    EXPECT_EQ(scratch.ListNames(), "decksave.ini");
  }
}

// A card is removed only when the reply names it: the cards drawn after the first that does not
// fit in the 4,095-byte reply line stay in the deck.
struct OverflowCase {
  std::string target;
  std::vector<std::string> deck;
  std::string selector;
  std::vector<std::size_t> drawn;  // indexes into deck, in reply order
};

void PrintTo(const OverflowCase& c, std::ostream* os) {
  *os << c.target.size() << "-byte target, " << c.deck.size() << " cards, "
      << ::testing::PrintToString(c.selector);
}

class DrawReplyRoomTest : public ::testing::TestWithParam<OverflowCase> {};

TEST_P(DrawReplyRoomTest, RemovesExactlyTheCardsTheReplyNames) {
  const OverflowCase& c = GetParam();
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", SaveFile(c.target, Join(c.deck)));

  std::vector<std::string> drawn;
  std::vector<std::string> left;
  for (std::size_t index : c.drawn) drawn.push_back(c.deck[index]);
  for (std::size_t index = 0; index < c.deck.size(); ++index) {
    if (std::find(c.drawn.begin(), c.drawn.end(), index) == c.drawn.end()) {
      left.push_back(c.deck[index]);
    }
  }
  std::optional<std::string> reply = Draw("n " + c.target + " m draw," + c.selector);
  ASSERT_TRUE(reply.has_value());
  std::string text = drawn.empty() ? kNothingDrawnBytes : Join(drawn);
  // A fixed text that does not fit is cut at a character boundary; card names never are.
  std::string expected = "NOTICE " + c.target + " " + text;
  EXPECT_EQ(*reply, expected.substr(0, 4095));
  EXPECT_EQ(scratch.Read("decksave.ini"), SaveFile(c.target, Join(left)));
}

std::vector<std::string> Cards(std::vector<std::size_t> lengths, char first = 'a') {
  std::vector<std::string> cards;
  for (std::size_t length : lengths) cards.emplace_back(length, first++);
  return cards;
}

// `count` cards, each `characters` times the double-byte "カ".
std::vector<std::string> ShiftJisCards(std::size_t count, std::size_t characters) {
  std::vector<std::string> cards;
  for (std::size_t i = 0; i < count; ++i) {
    std::string card;
    for (std::size_t c = 0; c < characters; ++c) card += "\x83\x4A";
    card += static_cast<char>('0' + i);
    cards.push_back(card);
  }
  return cards;
}

// After "NOTICE #t " a reply has 4,085 bytes of room.
INSTANTIATE_TEST_SUITE_P(
    Cases, DrawReplyRoomTest,
    ::testing::Values(
        OverflowCase{"#t", Cards({1000, 1000, 1000, 1000, 1000}), "1-5", {0, 1, 2, 3}},
        // Exactly full: 2,042 + "," + 2,042 bytes.
        OverflowCase{"#t", Cards({2042, 2042, 1}), "1-3", {0, 1}},
        // One byte over: the second card stays, and so does the third, though it would fit.
        OverflowCase{"#t", Cards({2042, 2043, 1}), "1-3", {0}},
        // A card too long for any reply is drawn cut short only when it comes first in the reply
        // (check_test's LongTopCardTest); after another card it stays.
        OverflowCase{"#t", Cards({5000, 1}), "2,1", {1}},
        // 2,001-byte Shift_JIS names: two fit (4,003 bytes), a third would not.
        OverflowCase{"#t", ShiftJisCards(3, 1000), "3,2,1", {2, 1}},
        // A target that leaves 3 bytes of room, then none.
        OverflowCase{std::string(4084, 't'), Cards({1, 1, 1, 1, 1}, 'A'), "1-5", {0, 1}},
        OverflowCase{std::string(4087, 't'), Cards({1, 1, 1}, 'A'), "1", {}}),
    deckhand::testing::NameFromPrinted());

struct LetterCaseCase {
  std::string saved;  // the target as the save file spells it
  std::string asked;  // the target as the command spells it
  bool same;          // whether the two name one deck
};

void PrintTo(const LetterCaseCase& c, std::ostream* os) { *os << c.saved << " / " << c.asked; }

class TargetLetterCaseTest : public ::testing::TestWithParam<LetterCaseCase> {};

// Targets match without regard to ASCII letter case: A-Z and a-z, the ends of both ranges
// included, and nothing beside them ('@' and '`', '[' and '{' lie 32 apart, as the letters do).
TEST_P(TargetLetterCaseTest, NamesOneDeckExactlyWhenOnlyLetterCaseDiffers) {
  const LetterCaseCase& c = GetParam();
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", SaveFile(c.saved, "A,B"));
  std::string head = "NOTICE " + c.asked + " ";
  EXPECT_EQ(Draw("n " + c.asked + " m draw"), head + (c.same ? "A" : kNoCardsBytes));
  // Drawn from, the saved entry keeps its spelling and stays the only one.
  EXPECT_EQ(scratch.Read("decksave.ini"), SaveFile(c.saved, c.same ? "B" : "A,B"));
}

INSTANTIATE_TEST_SUITE_P(Cases, TargetLetterCaseTest,
                         ::testing::Values(LetterCaseCase{"#Az", "#aZ", true},
                                           LetterCaseCase{"#@", "#`", false},
                                           LetterCaseCase{"#[", "#{", false}),
                         deckhand::testing::NameFromPrinted());

TEST(DrawTest, ReadsAHundredThousandTokenSelector) {
  ScratchDirectory scratch;
  scratch.Write("decksave.ini", SaveFile("#t", "A,B,C,D,E"));
  std::string selector;
  for (int i = 0; i < 20000; ++i) selector += "5,4,3,2,1,";
  selector.pop_back();
  EXPECT_EQ(Draw("n #t m draw," + selector), "NOTICE #t E,D,C,B,A");
  EXPECT_EQ(scratch.Read("decksave.ini"), SaveFile("#t", ""));
}

// "c00000" to "c99999": 100,000 names of 6 bytes.
std::vector<std::string> HundredThousandCards() {
  std::vector<std::string> cards;
  char name[8];
  for (int i = 0; i < 100000; ++i) {
    std::snprintf(name, sizeof name, "c%05d", i);
    cards.emplace_back(name);
  }
  return cards;
}

TEST(DrawTest, DrawsFromAHundredThousandCardDeck) {
  ScratchDirectory scratch;
  std::vector<std::string> cards = HundredThousandCards();
  scratch.Write("decksave.ini", SaveFile("#t", Join(cards)));

  // Every card is chosen, but 583 six-byte names joined fill 4,080 of the 4,085 bytes of room;
  // a 584th would need 4,087.
  std::vector<std::string> drawn(cards.begin(), cards.begin() + 583);
  std::vector<std::string> left(cards.begin() + 583, cards.end());
  EXPECT_EQ(Draw("n #t m draw,1-4294967295"), "NOTICE #t " + Join(drawn));
  EXPECT_EQ(scratch.Read("decksave.ini"), SaveFile("#t", Join(left)));

  // Positions count in the deck as it now is: c00583 is on top, c99999 at the bottom.
  EXPECT_EQ(Draw("n #t m draw,99417,99416-4294967295,1"), "NOTICE #t c99999,c99998,c00583");
  left.erase(left.end() - 2, left.end());
  left.erase(left.begin());
  EXPECT_EQ(scratch.Read("decksave.ini"), SaveFile("#t", Join(left)));
  EXPECT_EQ(Count("n #t m count"), "NOTICE #t 99414");
}

}  // namespace
}  // namespace deckhand::testing
