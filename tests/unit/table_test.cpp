// The table on real files in a scratch directory: where it keeps what, how cards move, what it
// refuses, and the property that holds after any sequence of commands: every card dealt is in
// exactly one place.
#include "deckhand/table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>

#include "commands/command_frame.h"
#include "commands/commands.h"
#include "random/fair_shuffle.h"
#include "random/random.h"
#include "storage/file_ops.h"
#include "support/failing_file_ops.h"
#include "support/scratch_directory.h"
#include "table/deck_seeds.h"

namespace deckhand::table {
namespace {

using deckhand::testing::ScratchDirectory;

// All bits set: every shuffle leaves the cards in the file's order and every coin comes up
// reversed, so a test can tell exactly where each card went.
bool FillOnes(void* buffer, std::size_t size) {
  std::memset(buffer, 0xFF, size);
  return true;
}

bool FillFails(void*, std::size_t) { return false; }

void WriteCardSets(const ScratchDirectory& scratch) {
  scratch.Write("modes.ini",
                "[MODE]\r\nten=ten.ini\r\ntarot=tarot.ini\r\ntwins=twins.ini\r\ngone=none.ini\r\n"
                "huge=huge.ini\r\nforty=forty.ini\r\n");
  std::string ten = "[DECK]\r\nMax=10\r\n";
  for (int i = 1; i <= 10; ++i) ten += std::to_string(i) + "=c" + std::to_string(i) + "\r\n";
  scratch.Write("ten.ini", ten);
  std::string forty = "[DECK]\r\nMax=40\r\n";
  for (int i = 1; i <= 40; ++i) forty += std::to_string(i) + "=f" + std::to_string(i) + "\r\n";
  scratch.Write("forty.ini", forty);
  scratch.Write("tarot.ini", "[DECK]\r\nMax=3\r\nReversible=1\r\n1=Sun\r\n2=Moon\r\n3=Star\r\n");
  // Alike cards, an empty name and a name with a comma (dealt as two cards).
  scratch.Write("twins.ini", "[DECK]\r\nMax=5\r\n1=A\r\n2=A\r\n3=\r\n4=B,C\r\n5=A\r\n");
  scratch.Write("huge.ini", "[DECK]\r\nMax=100001\r\n");
}

std::vector<std::string> Names(const Cards& cards) {
  std::vector<std::string> names;
  for (const Card& card : cards) names.push_back(card.name);
  return names;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

class TableTest : public ::testing::Test {
 protected:
  TableTest() { WriteCardSets(scratch_); }
  std::string SaveFile() const { return scratch_.Read("decksave.ini").value_or(""); }

  ScratchDirectory scratch_;
  ScopedRandomFill in_order_{FillOnes};
  ScopedUnseededShuffles unseeded_;
};

TEST_F(TableTest, ADealTellsTheModeAndTheDeckFileItRead) {
  Result missing = DealDeck("#t", "", "modes.ini", "gone");
  EXPECT_EQ(missing.mode, "gone");
  EXPECT_EQ(missing.deck_file, "none.ini");
  Result dealt = DealDeck("#t", "", "modes.ini", "ten");
  EXPECT_EQ(dealt.mode, "ten");
  EXPECT_EQ(dealt.deck_file, "ten.ini");
}

TEST_F(TableTest, KeepsTheMainDeckWhereTheFiveCommandsKeepItAndTheRestApart) {
  ASSERT_EQ(DealDeck("#t", "", "modes.ini", "ten").outcome, Outcome::kDone);
  ASSERT_EQ(DrawCards("#t", "", "2", "").outcome, Outcome::kDone);
  ASSERT_EQ(DrawCards("#t", "", "1", "al").outcome, Outcome::kDone);
  ASSERT_EQ(DealDeck("#t", "tarot", "modes.ini", "tarot").outcome, Outcome::kDone);
  ASSERT_EQ(DealCards("#t", "tarot", 1, {"d=e"}).outcome, Outcome::kDone);
  EXPECT_EQ(SaveFile(),
            "[DECK]\r\n#t=c3,c4,c5,c6,c7,c8,c9,c10\r\n"
            "[TABLE]\r\n#t,,deck=U,ten\r\n#t,,discard=U:c2\r\n#t,,hand,al=U:c1\r\n"
            "#t,tarot,deck=R,tarot\r\n#t,tarot,draw=RR:Moon,Star\r\n"
            "~ #t,tarot,hand,d%3De ~=R:Sun\r\n");

  // The plug-in's Count and Draw see the same main deck.
  char reply[kReplyCapacity];
  CountCommand("al #t modes.ini count", reply);
  EXPECT_STREQ(reply, "NOTICE #t 8");
  DrawCommand("al #t modes.ini draw,1", reply);
  EXPECT_STREQ(reply, "NOTICE #t c3");
  EXPECT_EQ(Names(DescribeTable("#t", "").cards).front(), "c4");
}

// A plug-in host calling the five exports on a channel the table plays loses and doubles no
// card: its draws go onto the discard pile, its deals take back the hands and the discards.
TEST_F(TableTest, ThePlugInsDrawAndDealKeepEveryCardOfTheTable) {
  ASSERT_EQ(DealDeck("#t", "", "modes.ini", "ten").outcome, Outcome::kDone);
  ASSERT_EQ(DealCards("#t", "", 2, {"al", "bo"}).outcome, Outcome::kDone);
  char reply[kReplyCapacity];
  DrawCommand("al #t modes.ini draw,1-3", reply);
  EXPECT_STREQ(reply, "NOTICE #t c5,c6,c7");
  Result table = DescribeTable("#t", "");
  EXPECT_EQ(
      table.draw_pile + table.discard_pile + table.hands.at(0).cards + table.hands.at(1).cards,
      10u);
  EXPECT_EQ(Names(ShowDiscards("#t", "").cards), (std::vector<std::string>{"c7", "c6", "c5"}));

  DeckCommand("al #t modes.ini deck,ten", reply);
  table = DescribeTable("#t", "");
  EXPECT_EQ(table.draw_pile, 10u);
  EXPECT_EQ(table.discard_pile, 0u);
  EXPECT_TRUE(table.hands.empty());
  EXPECT_EQ(SaveFile().find("hand"), std::string::npos);
}

// A target that only the exports play keeps its "DECK" entry alone, as plug-in hosts have always
// seen it; the table's piles begin with the first table command on it.
TEST_F(TableTest, TheTablesPilesBeginWithTheFirstTableCommand) {
  char reply[kReplyCapacity];
  DeckCommand("al #p modes.ini deck,ten", reply);
  DrawCommand("al #p modes.ini draw,1-2", reply);
  ShuffleCommand("al #p modes.ini shuffle", reply);
  EXPECT_EQ(SaveFile().find("[TABLE]"), std::string::npos);
  EXPECT_EQ(DescribeTable("#p", "").draw_pile, 8u);

  ASSERT_EQ(ShuffleDeck("#p", "").outcome, Outcome::kDone);
  DrawCommand("al #p modes.ini draw,1", reply);
  EXPECT_EQ(ShowDiscards("#p", "").cards.size(), 1u);
  EXPECT_NE(SaveFile().find("#p,,deck=U,\r\n"), std::string::npos);

  // A target the table cannot name (it holds a comma) never reads the table's entries of
  // another: "#p," is not #p's main deck.
  ASSERT_EQ(DealCards("#p", "", 1, {"al"}).outcome, Outcome::kDone);
  DeckCommand("al #p, modes.ini deck,ten", reply);
  EXPECT_EQ(ShowHand("#p", "", "al").cards.size(), 1u);
  EXPECT_EQ(ShowDiscards("#p", "").cards.size(), 1u);
}

TEST_F(TableTest, DealsInTurnFromTheTopAndMovesCardsBetweenHandsAndPiles) {
  ASSERT_EQ(DealDeck("#t", "", "modes.ini", "ten").outcome, Outcome::kDone);
  Result dealt = DealCards("#t", "", 2, {"al", "bo", "cy"});
  ASSERT_EQ(dealt.outcome, Outcome::kDone);
  ASSERT_EQ(dealt.dealt.size(), 3u);
  EXPECT_EQ(Names(dealt.dealt[0].second), (std::vector<std::string>{"c1", "c4"}));
  EXPECT_EQ(Names(dealt.dealt[2].second), (std::vector<std::string>{"c3", "c6"}));
  EXPECT_EQ(dealt.draw_pile, 4u);

  Result played = PlayCards("#t", "", "AL", "2");  // names match in any letter case
  EXPECT_EQ(Names(played.cards), (std::vector<std::string>{"c4"}));
  Result given = GiveCards("#t", "", "bo", "al", "2,1");
  EXPECT_EQ(Names(given.cards), (std::vector<std::string>{"c5", "c2"}));
  EXPECT_EQ(Names(ShowHand("#t", "", "al").cards), (std::vector<std::string>{"c1", "c5", "c2"}));
  EXPECT_TRUE(ShowHand("#t", "", "bo").cards.empty());
  ASSERT_EQ(DrawCards("#t", "", "1-2", "").outcome, Outcome::kDone);
  EXPECT_EQ(Names(ShowDiscards("#t", "").cards), (std::vector<std::string>{"c8", "c7", "c4"}));

  Result table = DescribeTable("#t", "");
  EXPECT_EQ(table.draw_pile, 2u);
  EXPECT_EQ(table.discard_pile, 3u);
  ASSERT_EQ(table.hands.size(), 2u);  // bo holds nothing and is not listed
  EXPECT_EQ(table.hands[0].player, "al");
  EXPECT_EQ(table.hands[1].player, "cy");

  Result recalled = RecallCards("#t", "", true);
  EXPECT_EQ(recalled.recalled, 8u);
  EXPECT_EQ(recalled.draw_pile, 10u);
  EXPECT_TRUE(recalled.hands.empty());
  EXPECT_EQ(SaveFile(),
            "[DECK]\r\n#t=c9,c10,c4,c7,c8,c1,c5,c2,c3,c6\r\n[TABLE]\r\n#t,,deck=U,ten\r\n");
}

TEST_F(TableTest, ReversibleDecksTurnCardsAndTheFiveCommandsSeeOnlyNames) {
  ASSERT_EQ(DealDeck("#t", "", "modes.ini", "tarot").outcome, Outcome::kDone);
  EXPECT_EQ(DescribeTable("#t", "").cards, (Cards{{"Sun", true}, {"Moon", true}, {"Star", true}}));
  // The plug-in's draw plays the same piles: the card goes onto the discard pile as it lay, and
  // the cards left keep their sides.
  char reply[kReplyCapacity];
  DrawCommand("al #t modes.ini draw,3", reply);
  EXPECT_STREQ(reply, "NOTICE #t Star");
  EXPECT_EQ(DescribeTable("#t", "").cards, (Cards{{"Sun", true}, {"Moon", true}}));
  EXPECT_EQ(ShowDiscards("#t", "").cards, (Cards{{"Star", true}}));
  // The table's own shuffle turns them again; a played card keeps its side.
  ASSERT_EQ(ShuffleDeck("#t", "").outcome, Outcome::kDone);
  EXPECT_EQ(DrawCards("#t", "", "", "al").cards, (Cards{{"Sun", true}}));
  EXPECT_EQ(PlayCards("#t", "", "al", "1").cards, (Cards{{"Sun", true}}));
  // The export's deal of the same mode ignores Reversible, also where the table plays.
  DeckCommand("al #t modes.ini deck,tarot", reply);
  EXPECT_EQ(DescribeTable("#t", "").cards,
            (Cards{{"Sun", false}, {"Moon", false}, {"Star", false}}));
}

TEST_F(TableTest, AutoRecallBringsTheDiscardPileBackWhenThePileRunsShort) {
  ASSERT_EQ(DealDeck("#t", "d", "modes.ini", "tarot").outcome, Outcome::kDone);
  ASSERT_EQ(DrawCards("#t", "d", "1-3", "").outcome, Outcome::kDone);
  EXPECT_EQ(DrawCards("#t", "d", "", "").outcome, Outcome::kNoCards);
  ASSERT_EQ(SetAutoRecall("#t", true).outcome, Outcome::kDone);
  Result drawn = DrawCards("#t", "d", "", "");
  ASSERT_EQ(drawn.outcome, Outcome::kDone);
  EXPECT_EQ(drawn.auto_recalled, 3u);
  EXPECT_EQ(drawn.draw_pile, 2u);
  EXPECT_TRUE(drawn.auto_recall);
  // A deal needing more than the pile holds recalls too, then deals.
  Result dealt = DealCards("#t", "d", 1, {"al", "bo", "cy"});
  EXPECT_EQ(dealt.outcome, Outcome::kDone);
  EXPECT_EQ(dealt.auto_recalled, 1u);
}

TEST_F(TableTest, AutoRecallLeavesTheDiscardPileWhileThePileIsEnough) {
  ASSERT_EQ(DealDeck("#t", "d", "modes.ini", "tarot").outcome, Outcome::kDone);
  ASSERT_EQ(DrawCards("#t", "d", "1", "").outcome, Outcome::kDone);
  ASSERT_EQ(SetAutoRecall("#t", true).outcome, Outcome::kDone);
  Result dealt = DealCards("#t", "d", 1, {"al", "bo"});
  EXPECT_EQ(dealt.auto_recalled, 0u);
  EXPECT_EQ(dealt.discard_pile, 1u);
}

// Many entries at once: each player's hand and the pile change in the same replace.
TEST_F(TableTest, ADealToManyPlayersFillsEveryHand) {
  ASSERT_EQ(DealDeck("#t", "", "modes.ini", "forty").outcome, Outcome::kDone);
  std::vector<std::string> players;
  for (int i = 0; i < 20; ++i) players.push_back("p" + std::to_string(i));
  ASSERT_EQ(DealCards("#t", "", 2, players).outcome, Outcome::kDone);
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(
        Names(ShowHand("#t", "", players[i]).cards),
        (std::vector<std::string>{"f" + std::to_string(i + 1), "f" + std::to_string(i + 21)}));
  }
  EXPECT_EQ(DescribeTable("#t", "").draw_pile, 0u);
  ASSERT_EQ(RecallCards("#t", "", true).outcome, Outcome::kDone);
  EXPECT_EQ(SaveFile().find("hand"), std::string::npos);
}

TEST_F(TableTest, EntriesEditedIntoNoPileAreLeftAlone) {
  scratch_.Write("decksave.ini",
                 "[DECK]\r\n#t=A,B\r\n[TABLE]\r\n#t,,hand,al=A,B\r\n#t,,discard=RX:C\r\n"
                 "#t,,hand,bo=U:D\r\n");
  EXPECT_TRUE(ShowHand("#t", "", "al").cards.empty());
  ASSERT_EQ(DrawCards("#t", "", "1", "bo").outcome, Outcome::kDone);
  EXPECT_EQ(SaveFile(),
            "[DECK]\r\n#t=B\r\n[TABLE]\r\n#t,,hand,al=A,B\r\n#t,,discard=RX:C\r\n"
            "#t,,hand,bo=UU:D,A\r\n#t,,deck=U,\r\n");
}

TEST_F(TableTest, CardsWithTheSameNameAndEmptyNamesStayApart) {
  ASSERT_EQ(DealDeck("#t", "", "modes.ini", "twins").outcome, Outcome::kDone);
  EXPECT_EQ(Names(DescribeTable("#t", "").cards),
            (std::vector<std::string>{"A", "A", "", "B", "C", "A"}));
  ASSERT_EQ(DrawCards("#t", "", "1-2,4-6", "al").outcome, Outcome::kDone);
  // One card with an empty name is left: the main deck's entry alone would read it as none, and
  // the plug-in's Count counts it as the table does.
  EXPECT_EQ(DescribeTable("#t", "").draw_pile, 1u);
  char reply[kReplyCapacity];
  CountCommand("al #t modes.ini count", reply);
  EXPECT_STREQ(reply, "NOTICE #t 1");
  EXPECT_EQ(Names(DrawCards("#t", "", "", "").cards), (std::vector<std::string>{""}));
}

struct RefusalCase {
  const char* name;
  Result (*command)();
  Outcome outcome;
};

void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

class TableRefusalTest : public TableTest, public ::testing::WithParamInterface<RefusalCase> {};

// The main deck of ten cards and "d" of three are dealt, al holds two cards of each.
TEST_P(TableRefusalTest, SaysWhatIsWrongAndChangesNothing) {
  ASSERT_EQ(DealDeck("#t", "", "modes.ini", "ten").outcome, Outcome::kDone);
  ASSERT_EQ(DealDeck("#t", "d", "modes.ini", "tarot").outcome, Outcome::kDone);
  ASSERT_EQ(DealCards("#t", "", 2, {"al"}).outcome, Outcome::kDone);
  ASSERT_EQ(DealCards("#t", "d", 2, {"al"}).outcome, Outcome::kDone);
  std::string before = SaveFile();
  EXPECT_EQ(GetParam().command().outcome, GetParam().outcome);
  EXPECT_EQ(SaveFile(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TableRefusalTest,
    ::testing::Values(
        RefusalCase{"NoSuchDeck", [] { return DrawCards("#t", "e", "", ""); },
                    Outcome::kNoSuchDeck},
        RefusalCase{"DeckNameWithAt", [] { return ShuffleDeck("#t", "a@b"); }, Outcome::kBadName},
        RefusalCase{"DeckNameTooLong",
                    [] { return DealDeck("#t", "abcdefghijklmnopq", "modes.ini", "ten"); },
                    Outcome::kBadName},
        RefusalCase{"PlaceWithComma", [] { return DrawCards("#t,d", "", "", ""); },
                    Outcome::kBadName},
        RefusalCase{"PlayerWithComma", [] { return DrawCards("#t", "", "", "al,x"); },
                    Outcome::kBadName},
        RefusalCase{"NoMode", [] { return DealDeck("#t", "", "modes.ini", ""); }, Outcome::kNoMode},
        RefusalCase{"NoSuchMode", [] { return DealDeck("#t", "", "modes.ini", "x"); },
                    Outcome::kNoSuchMode},
        RefusalCase{"NoModeTable", [] { return DealDeck("#t", "", "absent.ini", "ten"); },
                    Outcome::kNoModeTable},
        RefusalCase{"MissingDeckFile", [] { return DealDeck("#t", "", "modes.ini", "gone"); },
                    Outcome::kDeckFileUnreadable},
        RefusalCase{"TooLargeCardSet", [] { return DealDeck("#t", "", "modes.ini", "huge"); },
                    Outcome::kCardSetTooLarge},
        RefusalCase{"DrawBeyondThePile", [] { return DrawCards("#t", "", "9", ""); },
                    Outcome::kNothingSelected},
        RefusalCase{"PositionBeyondTheHand", [] { return PlayCards("#t", "", "al", "1,3"); },
                    Outcome::kBeyondHand},
        RefusalCase{"RangeBeyondTheHand", [] { return PlayCards("#t", "", "al", "1-3"); },
                    Outcome::kBeyondHand},
        RefusalCase{"ReversedRange", [] { return PlayCards("#t", "", "al", "2-1"); },
                    Outcome::kBeyondHand},
        RefusalCase{"PositionZero", [] { return PlayCards("#t", "", "al", "0"); },
                    Outcome::kBeyondHand},
        RefusalCase{"NotAPosition", [] { return PlayCards("#t", "", "al", "1,x"); },
                    Outcome::kBeyondHand},
        RefusalCase{"PlayWithoutAHand", [] { return PlayCards("#t", "", "bo", "1"); },
                    Outcome::kBeyondHand},
        RefusalCase{"GiveToSelf", [] { return GiveCards("#t", "", "al", "AL", "1"); },
                    Outcome::kGiveToSelf},
        RefusalCase{"DealMoreThanThePile",
                    [] {
                      return DealCards("#t", "", 5, {"bo", "cy"});
                    },
                    Outcome::kNotEnoughCards},
        RefusalCase{"DealNone", [] { return DealCards("#t", "", 0, {"bo"}); }, Outcome::kBadCount},
        RefusalCase{"DealToNobody", [] { return DealCards("#t", "", 1, {}); }, Outcome::kBadCount},
        RefusalCase{"DealToAPlayerTwice",
                    [] {
                      return DealCards("#t", "", 1, {"bo", "BO"});
                    },
                    Outcome::kPlayerTwice}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

TEST_F(TableTest, AFailedSaveOrShuffleChangesNothing) {
  ASSERT_EQ(DealDeck("#t", "", "modes.ini", "ten").outcome, Outcome::kDone);
  std::string before = SaveFile();
  {
    deckhand::testing::FailingFileOps failing(deckhand::testing::FileOp::kRename, 1);
    ScopedFileOps scoped(failing);
    EXPECT_EQ(DealCards("#t", "", 2, {"al", "bo"}).outcome, Outcome::kSaveFailed);
  }
  {
    ScopedRandomFill failing(FillFails);
    EXPECT_EQ(RecallCards("#t", "", true).outcome, Outcome::kShuffleFailed);
    EXPECT_EQ(DealDeck("#t", "", "modes.ini", "ten").outcome, Outcome::kShuffleFailed);
  }
  EXPECT_EQ(SaveFile(), before);
}

TEST_F(TableTest, APlaceKeepsABoundedNumberOfNamedDecks) {
  for (std::size_t i = 0; i < kMaxNamedDecks; ++i) {
    ASSERT_EQ(DealDeck("#t", "d" + std::to_string(i), "modes.ini", "tarot").outcome,
              Outcome::kDone);
  }
  std::string before = SaveFile();
  EXPECT_EQ(DealDeck("#t", "one-more", "modes.ini", "tarot").outcome, Outcome::kTooManyDecks);
  EXPECT_EQ(SaveFile(), before);
  EXPECT_EQ(DealDeck("#t", "d0", "modes.ini", "ten").outcome, Outcome::kDone);
  EXPECT_EQ(DealDeck("#u", "one-more", "modes.ini", "tarot").outcome, Outcome::kDone);
}

// A place cleared holds nothing of what was played there, and places beside it keep theirs.
TEST_F(TableTest, AClearedPlaceHoldsNothingAndOthersKeepTheirs) {
  for (const char* place : {"~deck1", "~deck10"}) {
    ASSERT_EQ(DealDeck(place, "", "modes.ini", "ten").outcome, Outcome::kDone);
    ASSERT_EQ(DealDeck(place, "named", "modes.ini", "ten").outcome, Outcome::kDone);
    ASSERT_EQ(DealCards(place, "", 2, {"~1"}).outcome, Outcome::kDone);
    ASSERT_EQ(DrawCards(place, "named", "1", "").outcome, Outcome::kDone);
    ASSERT_EQ(SetAutoRecall(place, true).outcome, Outcome::kDone);
  }
  EXPECT_EQ(ClearPlace("~deck1").outcome, Outcome::kDone);
  Result main = DescribeTable("~deck1", "");
  EXPECT_EQ(main.draw_pile, 0u);
  EXPECT_TRUE(main.hands.empty());
  EXPECT_FALSE(main.auto_recall);
  EXPECT_EQ(ShowHand("~deck1", "", "~1").cards, Cards{});
  EXPECT_EQ(DescribeTable("~deck1", "named").outcome, Outcome::kNoSuchDeck);
  EXPECT_EQ(SaveFile().find("~deck1,"), std::string::npos) << SaveFile();
  EXPECT_EQ(DescribeTable("~deck10", "").hands.size(), 1u);
  EXPECT_EQ(ShowDiscards("~deck10", "named").cards.size(), 1u);
}

// --- The property ------------------------------------------------------------------------

const std::vector<std::string> kPlayers = {"al", "Bo", "[cy]", "d=e"};
const std::vector<std::string> kDecks = {"", "two", "tarot"};
const std::vector<std::string> kModes = {"ten", "twins", "tarot"};
const std::vector<std::string> kSelectors = {"",   "1",    "2", "1-3", "3,1", "2-",
                                             "-2", "1--1", "9", "0",   "x",   "2,2"};

// Every card of every deck's last deal lies in exactly one of its draw pile, its discard pile
// and its players' hands.
void ExpectEveryCardInOnePlace(const std::map<std::string, std::vector<std::string>>& dealt,
                               const std::string& step) {
  for (const auto& [deck, set] : dealt) {
    std::vector<std::string> found = Names(DescribeTable("#t", deck).cards);
    for (const Card& card : ShowDiscards("#t", deck).cards) found.push_back(card.name);
    for (const std::string& player : kPlayers) {
      for (const Card& card : ShowHand("#t", deck, player).cards) found.push_back(card.name);
    }
    ASSERT_EQ(Sorted(found), Sorted(set)) << "deck \"" << deck << "\" after " << step;
  }
}

// A random command of any kind, by any player, on any deck; returns what it was.
std::string PlayRandomCommand(std::mt19937& random, const std::string& save_before,
                              const ScratchDirectory& scratch,
                              std::map<std::string, std::vector<std::string>>& dealt) {
  auto pick = [&random](const std::vector<std::string>& from) {
    return from[random() % from.size()];
  };
  std::string deck = pick(kDecks);
  std::string player = pick(kPlayers);
  std::string selector = pick(kSelectors);
  std::string step;
  Result result;
  char reply[kReplyCapacity] = "";
  switch (random() % 15) {
    case 0: {
      std::string mode = pick(kModes);
      step = "deck " + mode;
      result = DealDeck("#t", deck, "modes.ini", mode);
      if (result.outcome == Outcome::kDone) dealt[deck] = Names(DescribeTable("#t", deck).cards);
      break;
    }
    case 1:
      step = "shuffle";
      result = ShuffleDeck("#t", deck);
      break;
    case 2:
      step = "recall";
      result = RecallCards("#t", deck, random() % 2 == 0);
      break;
    case 3:
      step = "draw " + selector;
      result = DrawCards("#t", deck, selector, "");
      break;
    case 4:
      step = "hdraw " + selector;
      result = DrawCards("#t", deck, selector, player);
      break;
    case 5: {
      std::vector<std::string> to = {player, pick(kPlayers)};
      if (to[0] == to[1]) to.pop_back();
      step = "deal";
      result = DealCards("#t", deck, 1 + random() % 3, to);
      break;
    }
    case 6:
    case 7:
      step = "play " + selector;
      result = PlayCards("#t", deck, player, selector);
      break;
    case 8:
      step = "give " + selector;
      result = GiveCards("#t", deck, player, pick(kPlayers), selector);
      break;
    case 9:
      step = "auto_recall";
      result = SetAutoRecall("#t", random() % 2 == 0);
      break;
    // The five exports on the same target: the main deck.
    case 11: {
      std::string mode = pick(kModes);
      step = "export Deck " + mode;
      DeckCommand(("al #t modes.ini deck," + mode).c_str(), reply);
      dealt[""] = Names(DescribeTable("#t", "").cards);
      break;
    }
    case 12:
      step = "export Draw " + selector;
      DrawCommand(("al #t modes.ini draw," + selector).c_str(), reply);
      break;
    case 13:
      step = "export Shuffle";
      ShuffleCommand("al #t modes.ini shuffle", reply);
      break;
    case 14: {
      step = "export Count";
      CountCommand("al #t modes.ini count", reply);
      std::size_t pile = DescribeTable("#t", "").draw_pile;
      EXPECT_STREQ(reply, ("NOTICE #t " + std::to_string(pile)).c_str());
      break;
    }
    default:
      step = "table";
      result = DescribeTable("#t", deck);
      break;
  }
  step += " on \"" + deck + "\" by " + player;
  // Whatever a command refuses, it leaves the file exactly as it was.
  if (result.outcome != Outcome::kDone) {
    EXPECT_EQ(scratch.Read("decksave.ini").value_or(""), save_before) << step;
  }
  return step;
}

TEST(TablePropertyTest, EveryCardIsInExactlyOnePlaceAfterEveryCommand) {
  ScratchDirectory scratch;
  WriteCardSets(scratch);
  std::random_device seed_source;
  unsigned seed = seed_source();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::map<std::string, std::vector<std::string>> dealt;
  for (const std::string& deck : kDecks) {
    ASSERT_EQ(DealDeck("#t", deck, "modes.ini", "ten").outcome, Outcome::kDone);
    dealt[deck] = Names(DescribeTable("#t", deck).cards);
  }
  for (int i = 0; i < 1500; ++i) {
    std::string before = scratch.Read("decksave.ini").value_or("");
    std::string step = PlayRandomCommand(random, before, scratch, dealt);
    ExpectEveryCardInOnePlace(dealt, step);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

// Shuffles players can check: the table's shuffles under the system's generator, recomputed from
// the seeds a reveal publishes.
class SeedTableTest : public ::testing::Test {
 protected:
  SeedTableTest() { WriteCardSets(scratch_); }
  std::string SaveFile() const { return scratch_.Read("decksave.ini").value_or(""); }

  ScratchDirectory scratch_;
};

TEST_F(SeedTableTest, ARevealedSeedRecomputesTheShuffleItWasCommittedFor) {
  Result dealt = DealDeck("#t", "tarot", "modes.ini", "tarot");
  ASSERT_EQ(dealt.outcome, Outcome::kDone);
  EXPECT_TRUE(dealt.shuffled);
  EXPECT_EQ(dealt.seeds.next_shuffle, 2u);
  const std::string committed = dealt.seeds.next_commitment;
  ASSERT_EQ(AddPlayerSeed("#t", "tarot", "al", "lucky").outcome, Outcome::kDone);
  ASSERT_EQ(AddPlayerSeed("#t", "tarot", "bo", "7").seeds.waiting.size(), 2u);
  Cards before = DescribeTable("#t", "tarot").cards;
  ASSERT_EQ(ShuffleDeck("#t", "tarot").seeds.next_shuffle, 3u);
  Cards after = DescribeTable("#t", "tarot").cards;

  Result revealed = RevealDeckSeeds("#t", "tarot", "modes.ini");
  ASSERT_EQ(revealed.outcome, Outcome::kDone);
  ASSERT_EQ(revealed.seeds.revealed.size(), 2u);
  EXPECT_EQ(revealed.seeds.revealed[1].first, 2u);
  std::optional<Seed> seed = SeedOfHex(revealed.seeds.revealed[1].second);
  ASSERT_TRUE(seed);
  EXPECT_EQ(CommitmentOf(*seed), committed);
  std::optional<Digest> key = ShuffleKey(*seed, "#t", "tarot", 2, {{"al", "lucky"}, {"bo", "7"}});
  ASSERT_TRUE(key);
  ShuffleStream words(*key);
  ASSERT_TRUE(PermuteFromTheBottom(before, words));
  ASSERT_TRUE(TurnByWords(before, words));
  EXPECT_EQ(before, after);
  // The reveal ended the game: the deck was dealt anew, and the next reveal has only that deal.
  EXPECT_TRUE(revealed.shuffled);
  EXPECT_EQ(revealed.seeds.next_shuffle, 4u);
  EXPECT_EQ(RevealDeckSeeds("#t", "tarot", "modes.ini").seeds.revealed.size(), 1u);
}

TEST_F(SeedTableTest, ThePlugInUsesTheSeedsOfDecksAHostGaveSeedsAndGivesNoneItself) {
  char reply[kReplyCapacity];
  DeckCommand("u #p modes.ini deck,ten", reply);
  ShuffleCommand("u #p modes.ini shuffle", reply);
  EXPECT_EQ(SaveFile().find("[TABLE]"), std::string::npos) << SaveFile();

  ASSERT_EQ(DescribeSeeds("#t", "").seeds.next_shuffle, 1u);
  DeckCommand("u #t modes.ini deck,ten", reply);
  EXPECT_STREQ(reply, "NOTICE #t \x83\x66\x83\x62\x83\x4C\x83\x5A\x83\x62\x83\x67:ten");
  ShuffleCommand("u #t modes.ini shuffle", reply);
  EXPECT_EQ(DescribeSeeds("#t", "").seeds.next_shuffle, 3u);
}

TEST_F(SeedTableTest, PlayerSeedsAreBoundedAndComeAfterACommitment) {
  for (std::string text : {std::string(), std::string(65, 'x'), std::string("a\0b", 3)}) {
    EXPECT_EQ(AddPlayerSeed("#t", "", "al", text).outcome, Outcome::kBadSeed) << text;
  }
  EXPECT_EQ(SaveFile(), "");
  Result first = AddPlayerSeed("#t", "", "al", std::string(64, 'x'));
  EXPECT_EQ(first.seeds.next_shuffle, 1u);
  EXPECT_EQ(first.seeds.next_commitment.size(), 64u);
  for (std::size_t added = 1; added < kMaxPlayerSeeds; ++added) {
    ASSERT_EQ(AddPlayerSeed("#t", "", "al", "x").outcome, Outcome::kDone);
  }
  EXPECT_EQ(AddPlayerSeed("#t", "", "al", "x").outcome, Outcome::kTooManySeeds);
  EXPECT_EQ(DescribeSeeds("#t", "").seeds.next_commitment, first.seeds.next_commitment);
}

// Transcripts on, for one test.
class ScopedTranscripts {
 public:
  explicit ScopedTranscripts(TranscriptSettings settings) { SetTranscripts(settings); }
  ~ScopedTranscripts() { SetTranscripts({}); }
};

std::vector<std::string> Transcripts(const ScratchDirectory& scratch) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(scratch.path() / "games")) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Each deal begins a game of its own; the plug-in's shuffle of a recorded deck is recorded too;
// the oldest transcripts go first, past the setting's files or days.
TEST_F(SeedTableTest, TranscriptsAreKeptPerGameAndBounded) {
  ScopedTranscripts on({true, 30, 2});
  ASSERT_EQ(DealDeck("#t", "", "modes.ini", "ten").outcome, Outcome::kDone);
  char reply[kReplyCapacity];
  ShuffleCommand("u #t modes.ini shuffle", reply);
  std::vector<std::string> first = Transcripts(scratch_);
  ASSERT_EQ(first.size(), 1u);
  std::string game = scratch_.Read("games/" + first[0]).value_or("");
  EXPECT_NE(game.find("\"kind\":\"deal\""), std::string::npos) << game;
  EXPECT_NE(game.find("\"shuffle\":2,\"commitment\""), std::string::npos) << game;

  ASSERT_EQ(DealDeck("#t", "", "modes.ini", "ten").outcome, Outcome::kDone);
  EXPECT_NE(scratch_.Read("games/" + first[0]).value_or("").find("\"reveal\""), std::string::npos);
  ASSERT_EQ(DealDeck("#t", "", "modes.ini", "ten").outcome, Outcome::kDone);
  std::vector<std::string> kept = Transcripts(scratch_);
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(std::count(kept.begin(), kept.end(), first[0]), 0);

  std::filesystem::last_write_time(
      scratch_.path() / "games" / kept[0],
      std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 31));
  ScopedTranscripts many({true, 30, 100});
  ASSERT_EQ(DealDeck("#t", "", "modes.ini", "ten").outcome, Outcome::kDone);
  std::vector<std::string> now = Transcripts(scratch_);
  EXPECT_EQ(now.size(), 2u);
  EXPECT_EQ(std::count(now.begin(), now.end(), kept[0]), 0);
}

// A link planted where the transcripts go is not followed: the game is played, not recorded,
// and nothing where the link points is pruned.
TEST_F(SeedTableTest, ALinkInPlaceOfTheTranscriptsIsNotFollowed) {
  ScopedTranscripts on({true, 30, 1});
  std::filesystem::create_directory(scratch_.path() / "elsewhere");
  scratch_.Write("elsewhere/old.jsonl", "kept");
  std::filesystem::create_directory_symlink("elsewhere", scratch_.path() / "games");
  ASSERT_EQ(DealDeck("#t", "", "modes.ini", "ten").outcome, Outcome::kDone);
  ASSERT_EQ(ShuffleDeck("#t", "").outcome, Outcome::kDone);
  EXPECT_EQ(scratch_.Read("elsewhere/old.jsonl").value_or(""), "kept");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch_.path() / "elsewhere"),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(DeckSeedsTest, ARecordReadsBackAsWrittenAndAnythingElseIsNoRecord) {
  DeckSeeds seeds;
  seeds.next = 3;
  seeds.seed.fill(0xAB);
  seeds.first_unrevealed = 1;
  seeds.used = {Seed{}, Seed{}};
  seeds.used[1].fill(7);
  seeds.waiting = {{"al", "a:b.c/d\xFF"}, {"bo", "7"}};
  seeds.game = "%23t_20261210-010203_1.jsonl";
  std::optional<DeckSeeds> read = ReadDeckSeeds(WriteDeckSeeds(seeds));
  ASSERT_TRUE(read);
  EXPECT_EQ(WriteDeckSeeds(*read), WriteDeckSeeds(seeds));
  EXPECT_EQ(read->waiting, seeds.waiting);
  std::string written = WriteDeckSeeds(seeds);
  for (std::string broken : {written.substr(1), written + ":", std::string("v1:3:ab:1:::")}) {
    EXPECT_FALSE(ReadDeckSeeds(broken)) << broken;
  }
}

}  // namespace
}  // namespace deckhand::table
