// The game that chat commands play at the library's table: who hears what, who may deal, the
// private decks, and a reply or a reason for every command. Its answers are shown as the IRC
// host sends them.
#include "host/common/game.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "host/irc/names.h"
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
    game_ = NewGame();
  }

  std::optional<host::Game> NewGame() {
    std::string error;
    std::optional<host::Game> game = host::Game::Create(
        config_, {"small"}, state_, [this] { return wall_; }, &error);
    EXPECT_TRUE(game) << error;
    return game;
  }

  // A message from `sender` in #t, where alice, bob and op (an operator) are, or at the sender's
  // private table.
  host::ChatRequest Request(std::string_view sender, std::string_view text,
                            bool in_channel = true) {
    host::ChatRequest request;
    request.player = {"nick:" + FoldName(sender), std::string(sender)};
    request.text = text;
    if (!in_channel) return request;
    request.place = {"#t", "#t"};
    request.standing = sender == "op" ? host::Standing::kOperator : host::Standing::kMember;
    for (std::string_view nick :
         {std::string_view("alice"), std::string_view("bob"), std::string_view("op"), sender}) {
      request.present.push_back({"nick:" + FoldName(nick), std::string(nick)});
    }
    request.same_name = [](std::string_view a, std::string_view b) { return SameName(a, b); };
    return request;
  }
  // The answer's NOTICE lines, behind a relay prefix of `relay` bytes.
  std::vector<std::string> Sent(const host::ChatAnswer& answer, std::string_view sender,
                                bool in_channel = true, std::size_t relay = 40) {
    std::vector<std::string> lines;
    for (Notice& notice :
         AnswerNotices(answer, {sender, in_channel ? "#t" : "deckhand", in_channel, relay},
                       Notices(codec_.encoding()), config_)) {
      lines.push_back(std::move(notice.line));
    }
    return lines;
  }
  std::vector<std::string> Say(std::string_view text, bool in_channel = true,
                               std::string_view sender = "alice") {
    return Sent(game_->Answer(Request(sender, text, in_channel)), sender, in_channel);
  }

  // The channel's cards, top first, as Check tells them.
  std::string Cards() {
    std::vector<std::string> lines = Say("!check");
    return lines.empty() ? "" : lines[0].substr(std::string_view("NOTICE #t :").size());
  }

  testing::ScratchDirectory scratch_;
  BotConfig config_;
  host::WireCodec codec_{host::WireEncoding::kUtf8};
  host::BotState state_{"", 3, 30};
  std::int64_t wall_ = 1'000'000'000;
  std::optional<host::Game> game_;
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
    EXPECT_EQ(Say(test.text, true, test.sender), test.lines) << test.text;
  }
}

// A command cut short by a space after its comma is asked about, and a peek of a wrong count is
// told the counts it takes: to the sender, and nothing moves.
TEST_F(GameTest, AHintOrAWrongPeekCountIsToldTheSenderAndNothingMoves) {
  Say("!deck,small");
  std::string cards = Cards();
  EXPECT_EQ(Say("!draw, 2"),
            std::vector<std::string>{
                "NOTICE alice :[#t] 「!draw,2」のことですか？（カンマの後に空白は入れません）"});
  EXPECT_EQ(Say("!peek,0"),
            std::vector<std::string>{"NOTICE alice :[#t] !peek,N の N は 1 から 1000 までです"});
  EXPECT_EQ(Cards(), cards);
}

// Help, to the sender alone, here and at the private table: one line that lists every command,
// a dealer's marked, with the legend (also for a word that names none); or the line of the one it
// names, the settings' own (with the modes) or the table's, every line written alike.
TEST_F(GameTest, HelpTellsTheSenderEveryCommandOrTheOneItNames) {
  for (std::string asked : {"!help", "!help,nosuch"}) {
    for (bool in_channel : {true, false}) {
      std::vector<std::string> help = Say(asked, in_channel);
      ASSERT_EQ(help.size(), 1u);
      EXPECT_TRUE(help[0].starts_with("NOTICE alice :!deck* !shuffle* !recall* !draw !hdraw "))
          << help[0];
      EXPECT_TRUE(help[0].ends_with(
          " !help[,WORD] *: ディーラーのコマンド。@D: デッキ名(省略でメインデッキ)"))
          << help[0];
      EXPECT_LT(help[0].size(), 400u) << "more than one IRC line";
    }
  }
  EXPECT_EQ(
      Say("!help,DECK"),
      std::vector<std::string>{
          "NOTICE alice :!deck[@D],MODE*: デッキを用意する(捨て札と手札は空に。モード: small)"});
  EXPECT_EQ(Say("!help,PEEK"),
            std::vector<std::string>{"NOTICE alice :!peek[@D][,N]*: 山札の上N枚を自分だけ見る"});
  for (const host::ChatCommandInfo& command : host::ChatCommands()) {
    std::vector<std::string> line = Say("!help," + std::string(command.word));
    ASSERT_EQ(line.size(), 1u);
    std::string usage = "NOTICE alice :!" + host::Usage(command) +
                        (command.runner == host::Runner::kAnyone ? ": " : "*: ");
    EXPECT_TRUE(line[0].starts_with(usage)) << line[0];
  }
  std::vector<std::string> deal = Say("!help,deal");
  ASSERT_EQ(deal.size(), 1u);
  EXPECT_TRUE(deal[0].starts_with("NOTICE alice :!deal")) << deal[0];
  config_.texts.help["deal"] = "{prefix}deal: {nick} deals";
  EXPECT_EQ(Say("!help,deal", false), std::vector<std::string>{"NOTICE alice :!deal: alice deals"});
  // Answered the same at once, beside a command being played.
  host::ChatRequest request = Request("alice", "!help,deal");
  std::optional<host::ChatAnswer> at_once = game_->AnswerAtOnce(request);
  ASSERT_TRUE(at_once);
  EXPECT_EQ(Sent(*at_once, "alice"), Sent(game_->Answer(request), "alice"));
  EXPECT_FALSE(game_->AnswerAtOnce(Request("alice", "!count")));
}

// The modes are read at start: one added to the table since is refused, and the log says why.
TEST_F(GameTest, AModeAddedAfterStartIsRefusedWithRestartInTheLog) {
  scratch_.Write("modes.ini", "[MODE]\nsmall=small.ini\nlate=small.ini\n");
  host::ChatAnswer answer = game_->Answer(Request("alice", "!deck,late"));
  ASSERT_EQ(answer.lines.size(), 1u);
  EXPECT_NE(answer.lines[0].text.find("モード「late」はありません"), std::string::npos);
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
  std::vector<std::string> lines =
      Sent(game_->Answer(Request("alice", "!check")), "alice", true, 100);
  ASSERT_GE(lines.size(), 2u);
  std::size_t cards = 0;
  for (const std::string& line : lines) {
    EXPECT_LE(100 + line.size() + 2, kMaxIrcLine) << line;
    cards += static_cast<std::size_t>(std::count(line.begin(), line.end(), ','));
  }
  EXPECT_EQ(cards, 59u);  // every card there, between the 60 cards 59 commas
}

// Who may deal in a channel: the dealer's commands (deck, shuffle, check, peek) under the
// default rule, `owner`.
TEST_F(GameTest, TheOwnerAndOperatorsDealAndOthersAreToldWhoMay) {
  auto refused = [](const std::vector<std::string>& lines) {
    return lines.size() == 1 && lines[0].find("を使えるのは") != std::string::npos;
  };
  struct Turn {
    const char* nick;
    const char* text;
    bool played;
  };
  const Turn turns[] = {
      {"alice", "!deck,small", true},  // nobody owns the deck yet
      {"bob", "!shuffle", false},     {"bob", "!peek,3", false}, {"bob", "!check", false},
      {"bob", "!deck,small", false},  {"bob", "!draw", true},    {"bob", "!hdraw", true},
      {"bob", "!count", true},        {"op", "!shuffle", true},  {"alice", "!check", true},
  };
  for (const Turn& turn : turns) {
    std::vector<std::string> lines = Say(turn.text, true, turn.nick);
    EXPECT_EQ(!refused(lines), turn.played) << turn.nick << " " << turn.text;
  }
  EXPECT_EQ(Say("!shuffle", true, "bob"),
            std::vector<std::string>{"NOTICE bob :[#t] bob: !shuffleを使えるのはalice（デッキを"
                                     "配った人）とチャンネルオペレーターです"});
  // The owner leaves: ownership lapses, even when they come back, and whoever deals next owns
  // the deck.
  game_->Left("#t", "nick:alice");
  EXPECT_FALSE(refused(Say("!shuffle", true, "bob")));
  EXPECT_FALSE(refused(Say("!deck,small", true, "bob")));
  EXPECT_TRUE(refused(Say("!shuffle", true, "alice")));
  // At the private table everyone is their own dealer.
  EXPECT_FALSE(refused(Say("!shuffle", false, "alice")));
  // The owner is kept in the bot's state, for a game started again on it.
  game_ = NewGame();
  EXPECT_TRUE(refused(Say("!shuffle", true, "alice")));
  EXPECT_FALSE(refused(Say("!shuffle", true, "bob")));
}

// Private decks are the bot's own targets, three at most here: a newcomer takes the oldest
// unused, whose player is told; one unused for 30 days goes.
TEST_F(GameTest, PrivateDecksAreTheBotsOwnBoundedTargets) {
  auto at_table = [&](const char* nick, const char* text) { return Say(text, false, nick); };
  at_table("a", "!deck,small");
  EXPECT_EQ(at_table("b", "!count"), std::vector<std::string>{"NOTICE b :0"}) << "no deck yet";
  at_table("b", "!deck,small");
  wall_ += 10;
  at_table("a", "!draw");
  EXPECT_EQ(at_table("a", "!count"), std::vector<std::string>{"NOTICE a :2"});
  at_table("x\xEF\xBD\x9E", "!deck,small");  // x～
  at_table("x\xE3\x80\x9C", "!deck,small");  // x〜, apart from x～: takes b's deck
  at_table("x\xEF\xBD\x9E", "!draw");
  EXPECT_EQ(at_table("x\xE3\x80\x9C", "!count"),
            std::vector<std::string>{"NOTICE x\xE3\x80\x9C :3"});
  EXPECT_EQ(at_table("b", "!count"),
            (std::vector<std::string>{
                "NOTICE b :デッキが多くなりすぎたので、あなたの古いデッキは片付けました",
                "NOTICE b :0"}));
  wall_ += 31 * 86400;
  EXPECT_EQ(at_table("a", "!count"),
            (std::vector<std::string>{
                "NOTICE a :長く使われなかったので、あなたのデッキは片付けました", "NOTICE a :0"}));
}

}  // namespace
}  // namespace deckhand::irc
