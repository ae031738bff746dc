// The game that chat commands play at the library's table: who hears what, who may deal, the
// private decks, and a reply or a reason for every command. Its answers are shown as the IRC
// host sends them.
#include "host/common/game.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

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

  // The id the chat gives a player: as `ids_` says, else one by the folded nick.
  std::string IdOf(std::string_view nick) const {
    auto given = ids_.find(std::string(nick));
    return given != ids_.end() ? given->second : "nick:" + FoldName(nick);
  }

  // A message from `sender` in #t, where alice, bob and op (an operator) are, or at the sender's
  // private table.
  host::ChatRequest Request(std::string_view sender, std::string_view text,
                            bool in_channel = true) {
    host::ChatRequest request;
    request.player = {IdOf(sender), std::string(sender)};
    request.text = text;
    request.most_private_lines = most_private_lines_;
    request.private_line_bytes = 400;
    if (!in_channel) return request;
    request.place = {"#t", "#t"};
    request.standing = sender == "op" ? host::Standing::kOperator : host::Standing::kMember;
    for (std::string_view nick :
         {std::string_view("alice"), std::string_view("bob"), std::string_view("op"), sender}) {
      if (std::find(away_.begin(), away_.end(), nick) != away_.end()) continue;
      request.present.push_back({IdOf(nick), std::string(nick)});
    }
    request.same_name = [](std::string_view a, std::string_view b) { return SameName(a, b); };
    request.present_complete = present_complete_;
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
  // Each command a while after the last, so that refusals are told every time.
  std::vector<std::string> Say(std::string_view text, bool in_channel = true,
                               std::string_view sender = "alice") {
    wall_ += seconds_between_commands_;
    return Sent(game_->Answer(Request(sender, text, in_channel)), sender, in_channel);
  }

  // The channel's cards, top first, as Check tells them.
  std::string Cards() {
    std::vector<std::string> lines = Say("!check");
    return lines.empty() ? "" : lines[0].substr(std::string_view("NOTICE #t :").size());
  }

  testing::ScratchDirectory scratch_;
  std::vector<std::string_view> away_;  // not in #t
  bool present_complete_ = true;        // whether the chat tells everyone in #t
  BotConfig config_;
  host::WireCodec codec_{host::WireEncoding::kUtf8};
  host::BotState state_{"", 3, 30};
  std::int64_t wall_ = 1'000'000'000;
  std::int64_t seconds_between_commands_ = 61;
  std::size_t most_private_lines_ = 0;
  std::optional<host::Game> game_;
  std::map<std::string, std::string> ids_;
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

// Every line to one player, whoever sent the command, and every line of a private table is kept
// out of the log: they may show cards no one else sees.
TEST_F(GameTest, NoLineShowingHiddenCardsIsLogged) {
  Say("!deck,small");
  for (std::string_view text : {"!deal,1,bob", "!give,alice,1"}) {
    std::string sender = text == "!deal,1,bob" ? "alice" : "bob";
    host::ChatAnswer answer = game_->Answer(Request(sender, text));
    ASSERT_EQ(answer.lines.size(), 2u) << text;
    for (const host::AddressedLine& line : answer.lines) {
      EXPECT_EQ(line.secret, !line.to_place) << text << " " << line.text;
    }
  }
  game_->Answer(Request("alice", "!deck,small", false));
  host::ChatAnswer check = game_->Answer(Request("alice", "!check", false));
  ASSERT_EQ(check.lines.size(), 1u);
  EXPECT_TRUE(check.lines[0].secret);
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
  // The owner leaves: the deck stays theirs for the grace, then whoever deals next owns it.
  game_->Left("#t", "nick:alice");
  away_ = {"alice"};
  wall_ += 8 * 60;
  EXPECT_TRUE(refused(Say("!shuffle", true, "bob")));
  wall_ += 2 * 60;
  EXPECT_FALSE(refused(Say("!shuffle", true, "bob")));
  EXPECT_FALSE(refused(Say("!deck,small", true, "bob")));
  away_.clear();
  EXPECT_TRUE(refused(Say("!shuffle", true, "alice")));
  // At the private table everyone is their own dealer.
  EXPECT_FALSE(refused(Say("!shuffle", false, "alice")));
  // The owner is kept in the bot's state, for a game started again on it.
  game_ = NewGame();
  EXPECT_TRUE(refused(Say("!shuffle", true, "alice")));
  EXPECT_FALSE(refused(Say("!shuffle", true, "bob")));
}

// A chat that tells only who a command names, not who is at the place, keeps a deck's dealer
// however long they are quiet.
TEST_F(GameTest, AnOwnerStaysWhereTheChatTellsNoMembership) {
  Say("!deck,small");
  away_ = {"alice"};
  present_complete_ = false;
  for (int day = 0; day < 2; ++day) {
    wall_ += 86400;
    std::vector<std::string> shuffle = Say("!shuffle", true, "bob");
    ASSERT_EQ(shuffle.size(), 1u);
    EXPECT_NE(shuffle[0].find("を使えるのはalice"), std::string::npos) << shuffle[0];
  }
  EXPECT_EQ(Say("!shuffle", true, "op").at(0).find("NOTICE #t"), 0u) << "an operator may";
}

// A sender who keeps sending what they may not is told once a minute, not once a command.
TEST_F(GameTest, ARefusalIsToldOnceAMinute) {
  seconds_between_commands_ = 1;
  Say("!deck,small");
  EXPECT_EQ(Say("!shuffle", true, "bob").size(), 1u);
  EXPECT_TRUE(Say("!shuffle", true, "bob").empty());
  EXPECT_TRUE(Say("!peek,0", true, "bob").empty());
  EXPECT_EQ(Say("!count", true, "bob").size(), 1u) << "what they may do is answered";
  EXPECT_EQ(Say("!shuffle", true, "carol").size(), 1u) << "another sender is told";
  wall_ += 60;
  EXPECT_EQ(Say("!shuffle", true, "bob").size(), 1u);
}

// A deal that would tell its players more lines than the host sends in time is refused whole.
TEST_F(GameTest, ADealTooLongToTellIsRefused) {
  Say("!deck,small");
  most_private_lines_ = 1;
  EXPECT_EQ(Say("!deal,1,alice,bob"),
            std::vector<std::string>{"NOTICE alice :[#t] 配る量が多すぎます（2行、1行まで）"});
  EXPECT_EQ(Say("!count"), std::vector<std::string>{"NOTICE #t :3"});
  most_private_lines_ = 2;
  EXPECT_EQ(Say("!deal,1,alice,bob").size(), 3u);
}

// Each named deck has its own dealer, who may hand it over.
TEST_F(GameTest, EveryDeckHasItsDealer) {
  auto refused = [](const std::vector<std::string>& lines) {
    return lines.size() == 1 && lines[0].find("を使えるのは") != std::string::npos;
  };
  Say("!deck,small", true, "bob");
  EXPECT_FALSE(refused(Say("!deck@poker,small")));
  for (const char* text :
       {"!peek@poker,1", "!check@poker", "!recall@POKER,all", "!deck@poker,small"}) {
    EXPECT_TRUE(refused(Say(text, true, "bob"))) << text;
  }
  EXPECT_FALSE(refused(Say("!draw@poker", true, "bob")));
  EXPECT_EQ(Say("!dealer@poker,BOB"),
            std::vector<std::string>{"NOTICE #t :[poker] bobがディーラーになりました"});
  EXPECT_FALSE(refused(Say("!check@poker", true, "bob")));
  EXPECT_TRUE(refused(Say("!check@poker")));
  EXPECT_EQ(Say("!dealer@poker,carol", true, "bob"),
            std::vector<std::string>{"NOTICE bob :[#t] プレイヤーがいません: carol"});
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

// Hands follow the player's id, whatever name they go by: a rename keeps them, and whoever takes
// the name later (another id) holds nothing; nicks without a Shift_JIS form each have their own.
TEST_F(GameTest, HandsFollowThePlayersIdNotTheirName) {
  using Lines = std::vector<std::string>;
  ids_ = {{"alice", "conn:1"}, {"alicia", "conn:1"}, {"bob", "conn:2"}};
  Say("!deck,small");
  std::string cards = Cards();
  std::string first = cards.substr(0, cards.find(','));
  EXPECT_EQ(Say("!hdraw"),
            (Lines{"NOTICE alice :[#t] " + first, "NOTICE #t :alice: 1枚引きました"}));
  game_->Renamed("conn:1", {"conn:1", "alicia"});
  EXPECT_EQ(Say("!hand", true, "alicia"), Lines{"NOTICE alicia :[#t] " + first});
  EXPECT_EQ(Say("!table", true, "bob"), Lines{"NOTICE #t :山札2枚 捨て札0枚 alicia:1枚"});
  ids_["alice"] = "conn:3";  // a stranger takes the nick
  EXPECT_EQ(Say("!hand"), Lines{"NOTICE alice :[#t] 手札はありません"});
  EXPECT_EQ(Say("!play,1").size(), 1u);
  EXPECT_EQ(Say("!hand", true, "alicia"), Lines{"NOTICE alicia :[#t] " + first});
  // Two nicks that no Shift_JIS form holds: a hand each, each shown by its name.
  const std::string zoe = "Zo\xC3\xAB", chloe = "Chlo\xC3\xAB";
  ids_[zoe] = "conn:4";
  ids_[chloe] = "conn:5";
  EXPECT_EQ(Say("!hdraw", true, zoe).back(), "NOTICE #t :" + zoe + ": 1枚引きました");
  EXPECT_EQ(Say("!hand", true, chloe), Lines{"NOTICE " + chloe + " :[#t] 手札はありません"});
}

// A deal or a give names players by the names they go by here; their cards go to their ids, and
// a member the chat cannot yet tell from an earlier holder of the name (no id) is no player.
TEST_F(GameTest, NamesInADealOrAGiveAreThePlayersPresentNow) {
  using Lines = std::vector<std::string>;
  ids_ = {{"alice", "conn:1"}, {"bob", "conn:2"}};
  Say("!deck,small");
  std::string cards = Cards();
  Lines dealt = Say("!deal,1,BOB");
  ASSERT_EQ(dealt.size(), 2u);
  EXPECT_EQ(dealt[0], "NOTICE #t :bobに1枚配りました");
  EXPECT_EQ(dealt[1], "NOTICE bob :[#t] " + cards.substr(0, cards.find(',')));
  host::ChatAnswer answer = game_->Answer(Request("alice", "!deal,1,bob"));
  ASSERT_EQ(answer.lines.size(), 2u);
  EXPECT_EQ(answer.lines[1].player_id, "conn:2") << "the line follows bob, not the nick";
  EXPECT_EQ(Say("!give,alice,1", true, "bob"),
            (Lines{"NOTICE alice :[#t] bobから受け取りました: " + cards.substr(0, cards.find(',')),
                   "NOTICE #t :bobからaliceに1枚渡しました"}));
  ids_["bob"] = "";  // bob's nick held again, by someone not yet told apart
  EXPECT_EQ(Say("!deal,1,bob"), Lines{"NOTICE alice :[#t] プレイヤーがいません: bob"});
}

// Every player has a private table of their own: none without a deck shares one, and a deck
// given to a new player (here, the only one) holds nothing of the player before.
TEST_F(GameTest, APrivateDeckGivenToANewPlayerIsEmptyOfEverything) {
  using Lines = std::vector<std::string>;
  state_ = host::BotState("", 1, 30);
  game_ = NewGame();
  auto at_table = [&](const char* nick, const char* text) { return Say(text, false, nick); };
  at_table("pete", "!deck,small");
  at_table("pete", "!deck@x,small");
  at_table("pete", "!hdraw");
  at_table("pete", "!draw@x");
  at_table("pete", "!auto_recall,on");
  EXPECT_EQ(at_table("quinn", "!table"), Lines{"NOTICE quinn :山札0枚 捨て札0枚"});
  EXPECT_EQ(at_table("quinn", "!discards@x"), Lines{"NOTICE quinn :[x] デッキがありません: x"});
  wall_ += 10;
  at_table("quinn", "!shuffle");  // takes pete's deck, the only one
  EXPECT_EQ(at_table("quinn", "!table"), Lines{"NOTICE quinn :山札0枚 捨て札0枚"});
  EXPECT_EQ(at_table("quinn", "!discards@x"), Lines{"NOTICE quinn :[x] デッキがありません: x"});
  EXPECT_EQ(at_table("quinn", "!auto_recall"), Lines{"NOTICE quinn :自動回収:オフ"});
}

// Players and their keys at the table are kept in the bot's state: after a restart a player's
// hand is theirs again, under the name they last went by.
TEST_F(GameTest, PlayersKeepTheirHandsAcrossARestart) {
  using Lines = std::vector<std::string>;
  ids_ = {{"alice", "account:al"}, {"bob", "conn:2"}};
  state_ = host::BotState((scratch_.path() / "state").string(), 3, 30);
  game_ = NewGame();
  Say("!deck,small");
  Say("!hdraw,1-2");
  Lines hand = Say("!hand");
  state_ = host::BotState((scratch_.path() / "state").string(), 3, 30);
  std::string error;
  ASSERT_TRUE(state_.Load(&error)) << error;
  game_ = NewGame();
  EXPECT_EQ(Say("!table", true, "bob"), Lines{"NOTICE #t :山札1枚 捨て札0枚 alice:2枚"});
  EXPECT_EQ(Say("!hand"), hand);
  EXPECT_EQ(Say("!hand", true, "bob"), Lines{"NOTICE bob :[#t] 手札はありません"});
}

}  // namespace
}  // namespace deckhand::irc
