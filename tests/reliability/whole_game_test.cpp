// A whole game through the five exports, as players run one: deal, draw in every way the
// selector allows, count, check, reshuffle, and draw until the deck is empty. After every step
// the cards drawn so far and the cards left together are exactly the card set dealt.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "commands/command_test_helpers.h"

namespace deckhand::testing {
namespace {

const std::string kHead = "NOTICE #t ";

class Game {
 public:
  explicit Game(Cards card_set) : card_set_(std::move(card_set)) {}

  // The cards left, as Check lists them (the card sets here fit in one reply).
  Cards Left() const {
    std::optional<std::string> reply = Check("u #t modes.ini check");
    EXPECT_TRUE(reply && reply->substr(0, kHead.size()) == kHead);
    return reply ? SplitCards(reply->substr(kHead.size())) : Cards();
  }

  // Draws with `selector` and checks the reply and the deck left against `positions`, the
  // positions from the top that the selector takes in the deck as it was before.
  void DrawAndCheck(const std::string& selector, const std::vector<std::size_t>& positions) {
    SCOPED_TRACE("draw" + selector);
    Cards before = Left();
    Cards taken;
    for (std::size_t p : positions) taken.push_back(before.at(p - 1));
    // The deck keeps its order less the drawn cards, each removed where its name first occurs.
    Cards after = before;
    for (const std::string& card : taken) after.erase(std::find(after.begin(), after.end(), card));

    std::optional<std::string> reply = Draw("u #t modes.ini draw" + selector);
    std::string text;
    for (const std::string& card : taken) text += (text.empty() ? "" : ",") + card;
    ASSERT_EQ(reply, kHead + (taken.empty() ? kNothingDrawnBytes : text));
    drawn_.insert(drawn_.end(), taken.begin(), taken.end());
    EXPECT_EQ(Left(), after);
    CheckNothingLost();
  }

  void ShuffleAndCheck() {
    SCOPED_TRACE("shuffle");
    Cards before = Left();
    EXPECT_EQ(Shuffle("u #t modes.ini shuffle"), kHead + kShuffledBytes);
    EXPECT_EQ(Sorted(Left()), Sorted(before));
    CheckNothingLost();
  }

  // Drawn and left together are the card set; Count agrees with Check.
  void CheckNothingLost() const {
    Cards left = Left();
    Cards all = drawn_;
    all.insert(all.end(), left.begin(), left.end());
    EXPECT_EQ(Sorted(all), Sorted(card_set_));
    EXPECT_EQ(Count("u #t modes.ini count"), kHead + std::to_string(left.size()));
  }

 private:
  Cards card_set_;
  Cards drawn_;
};

std::string ReadExample(const std::string& name) {
  std::ifstream in(std::filesystem::path(DECKHAND_EXAMPLES_DIR) / name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TEST(GameTest, DealDrawCountCheckShuffleUntilTheDeckIsEmpty) {
  ScratchDirectory scratch;
  scratch.Write("modes.ini", ReadExample("modes.ini"));
  scratch.Write("trump.ini", ReadExample("trump.ini"));

  ASSERT_EQ(Deck("u #t modes.ini deck,trump"), kHead + kDeckSetBytes + "trump");
  Cards dealt = SavedCards(scratch, "#t").value();
  ASSERT_EQ(dealt.size(), 54u);
  Game game(dealt);
  game.CheckNothingLost();

  ASSERT_NO_FATAL_FAILURE(game.DrawAndCheck("", {1}));
  ASSERT_NO_FATAL_FAILURE(game.DrawAndCheck(",2", {2}));
  ASSERT_NO_FATAL_FAILURE(game.DrawAndCheck(",1-3", {1, 2, 3}));
  ASSERT_NO_FATAL_FAILURE(game.DrawAndCheck(",3,1", {3, 1}));
  ASSERT_NO_FATAL_FAILURE(game.DrawAndCheck(",2,2", {2}));
  ASSERT_NO_FATAL_FAILURE(game.DrawAndCheck(",3-1", {}));
  ASSERT_NO_FATAL_FAILURE(game.DrawAndCheck(",99", {}));
  ASSERT_NO_FATAL_FAILURE(game.DrawAndCheck(",0", {}));
  ASSERT_NO_FATAL_FAILURE(game.ShuffleAndCheck());
  ASSERT_NO_FATAL_FAILURE(game.DrawAndCheck(",-2", {1, 2}));
  ASSERT_NO_FATAL_FAILURE(game.DrawAndCheck(",40-", {40}));
  ASSERT_NO_FATAL_FAILURE(game.DrawAndCheck(",1,,2,x", {1, 2}));
  ASSERT_NO_FATAL_FAILURE(game.ShuffleAndCheck());
  // 54 - 13 = 41 cards left: eight draws of five, then one of the last card alone.
  ASSERT_EQ(game.Left().size(), 41u);
  for (int round = 0; round < 8; ++round) {
    ASSERT_NO_FATAL_FAILURE(game.DrawAndCheck(",1-5", {1, 2, 3, 4, 5}));
  }
  ASSERT_NO_FATAL_FAILURE(game.DrawAndCheck(",1-5", {1}));

  EXPECT_EQ(game.Left(), Cards());
  EXPECT_EQ(Draw("u #t modes.ini draw"), kHead + kNoCardsBytes);
  EXPECT_EQ(Shuffle("u #t modes.ini shuffle"), kHead + kShuffledBytes);
  EXPECT_EQ(Count("u #t modes.ini count"), kHead + "0");
  game.CheckNothingLost();

  // A new deal starts the game over.
  ASSERT_EQ(Deck("u #t modes.ini deck,trump"), kHead + kDeckSetBytes + "trump");
  EXPECT_EQ(Sorted(game.Left()), Sorted(dealt));
}

}  // namespace
}  // namespace deckhand::testing
