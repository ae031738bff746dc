// The game that chat commands play at the library's table: who hears what, and a reply or a
// reason for every command.
#include "host/irc/game.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "host/irc/notices.h"
#include "support/scratch_directory.h"

namespace deckhand::irc {
namespace {

// A game in a scratch directory with a three-card set.
class GameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    scratch_.Write("modes.ini", "[MODE]\nsmall=small.ini\n");
    scratch_.Write("small.ini", "[DECK]\nMax=3\n1=Ace\n2=Two\n3=Three\n");
    std::optional<Game> game = Game::Create(config_, codec_, {"small"}, &error);
    ASSERT_TRUE(game) << error;
    game_.emplace(std::move(*game));
  }

  std::vector<std::string> Say(std::string_view text, bool in_channel = true) {
    return game_->Answer({"alice", in_channel ? "#t" : "deckhand", in_channel, text}, 40);
  }

  // The channel's cards, top first, as Check tells them.
  std::string Cards() {
    std::vector<std::string> lines = Say("!check");
    return lines.empty() ? "" : lines[0].substr(std::string_view("NOTICE #t :").size());
  }

  testing::ScratchDirectory scratch_;
  BotConfig config_;
  WireCodec codec_{WireEncoding::kUtf8};
  std::optional<Game> game_;
};

TEST_F(GameTest, HiddenDrawTellsTheCardsToTheDrawerAndOnlyTheCountToTheChannel) {
  Say("!deck,small");
  std::string cards = Cards();
  std::string first_two = cards.substr(0, cards.find(',', cards.find(',') + 1));
  EXPECT_EQ(Say("!hdraw,1-2"), (std::vector<std::string>{"NOTICE alice :[#t] " + first_two,
                                                         "NOTICE #t :alice: 2枚引きました"}));
  EXPECT_EQ(Say("!count"), std::vector<std::string>{"NOTICE #t :1"});
  // Nothing left to draw from the second position: the drawer hears why, the channel nothing.
  std::vector<std::string> none = Say("!hdraw,2");
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0].rfind("NOTICE alice :", 0), 0u);
}

TEST_F(GameTest, PeekShowsTheTopCardsToTheSenderAndMovesNothing) {
  Say("!deck,small");
  std::string cards = Cards();
  EXPECT_EQ(Say("!peek,2"),
            std::vector<std::string>{"NOTICE alice :[#t] " + cards.substr(0, cards.rfind(','))});
  EXPECT_EQ(Say("!peek,5"), std::vector<std::string>{"NOTICE alice :[#t] " + cards});
  EXPECT_EQ(Cards(), cards);
  Say("!draw,1-3");
  EXPECT_EQ(Say("!peek"),
            std::vector<std::string>{"NOTICE alice :[#t] デッキにカードがありません"});
}

TEST_F(GameTest, APrivateMessagePlaysTheSendersOwnDeck) {
  Say("!deck,small", false);
  EXPECT_EQ(Say("!count", false), std::vector<std::string>{"NOTICE alice :3"});
  EXPECT_EQ(Say("!count"), std::vector<std::string>{"NOTICE #t :0"});
}

TEST_F(GameTest, TextWithoutAShiftJisFormIsRefusedToTheSender) {
  EXPECT_EQ(Say("!deck,\xF0\x9F\x83\x8F"),
            std::vector<std::string>{
                "NOTICE alice :文字を変換できないためコマンドを実行できませんでした"});
  EXPECT_TRUE(Say("hello !draw").empty());
  EXPECT_EQ(scratch_.ListNames(), "modes.ini small.ini");
}

// Every command gets a reply or a reason, to the asker.
TEST_F(GameTest, ADealOfNoModeAnEmptyDeckAndAnUnconvertibleNickAreAnswered) {
  struct Case {
    const char* sender;
    const char* text;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"alice", "!deck,poker", {"NOTICE alice :[#t] モード「poker」はありません。モード: small"}},
      {"alice",
       "!deck",
       {"NOTICE alice :[#t] モードを指定してください（例: deck,trump）。モード: small"}},
      {"alice", "!check", {"NOTICE #t :デッキにカードがありません"}},
      {"Zo\xC3\xAB", "!count", {"NOTICE #t :0"}},  // no Shift_JIS form; the library never reads it
      {"Zo\xC3\xAB", "!hdraw", {"NOTICE Zo\xC3\xAB :[#t] デッキにカードがありません"}},
  };
  for (const Case& test : cases) {
    EXPECT_EQ(game_->Answer({test.sender, "#t", true, test.text}, 40), test.lines) << test.text;
  }
}

// The modes are read at start: one added to the table since is refused, and the log says why.
TEST_F(GameTest, AModeAddedAfterStartIsRefusedWithRestartInTheLog) {
  scratch_.Write("modes.ini", "[MODE]\nsmall=small.ini\nlate=small.ini\n");
  GameAnswer answer = game_->Play({"alice", "#t", true, "!deck,late"}, 40);
  ASSERT_EQ(answer.lines.size(), 1u);
  EXPECT_NE(answer.lines[0].find("モード「late」はありません"), std::string::npos);
  EXPECT_NE(answer.silent_reason.find("restart it"), std::string::npos) << answer.silent_reason;
}

TEST_F(GameTest, ALongChannelReplyGoesToTheAskerAndTheChannelHearsOneLine) {
  config_.channel_lines = 1;
  Say("!deck,small");
  EXPECT_EQ(Say("!check").size(), 1u);  // three short cards: one line, to the channel
  scratch_.Write("small.ini", "[DECK]\nMax=3\n1=" + std::string(300, 'a') +
                                  "\n2=" + std::string(300, 'b') + "\n3=c\n");
  Say("!deck,small");
  std::vector<std::string> lines = Say("!check");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("NOTICE alice :[#t] ", 0), 0u);
  EXPECT_EQ(lines[1].rfind("NOTICE alice :[#t] ", 0), 0u);
  EXPECT_EQ(lines[2], "NOTICE #t :alice: 長い返事なので個別に送りました");
}

TEST_F(GameTest, LongRepliesComeInLinesThatFitBehindTheRelayPrefix) {
  config_.channel_lines = 100;
  std::string many = "[DECK]\nMax=60\n";
  for (int i = 1; i <= 60; ++i)
    many += std::to_string(i) + "=Card number " + std::to_string(i) + "\n";
  scratch_.Write("small.ini", many);
  Say("!deck,small");
  std::vector<std::string> lines = game_->Answer({"alice", "#t", true, "!check"}, 100);
  ASSERT_GE(lines.size(), 2u);
  std::size_t cards = 0;
  for (const std::string& line : lines) {
    EXPECT_LE(100 + line.size() + 2, kMaxIrcLine) << line;
    cards += static_cast<std::size_t>(std::count(line.begin(), line.end(), ','));
  }
  EXPECT_EQ(cards, 59u);  // every card there, between the 60 cards 59 commas
}

}  // namespace
}  // namespace deckhand::irc
