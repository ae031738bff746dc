// The IRC session without a server: lines in, lines out.
#include "host/irc/session.h"

#include <gtest/gtest.h>

#include "host/irc/chat_command.h"

namespace deckhand::irc {
namespace {

using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

// A session on a fixed clock that the test moves by hand.
class SessionTest : public ::testing::Test {
 protected:
  SessionTest() { config_.channels = {{"#t", ""}}; }

  IrcSession& Start(std::vector<WireChannel> channels = {{"#t", ""}}) {
    session_.emplace(config_, codec_, std::move(channels), Context(), now_);
    session_->Connected(now_);
    session_->TakeOutput();
    return *session_;
  }
  // Feeds a server line; returns what the session wants sent at once. Jobs pile up in output_
  // until answered.
  Lines In(std::string_view line) {
    session_->Receive(line, now_);
    std::vector<LibraryJob> jobs = std::move(output_.jobs);
    output_ = session_->TakeOutput();
    jobs.insert(jobs.end(), output_.jobs.begin(), output_.jobs.end());
    output_.jobs = std::move(jobs);
    return output_.urgent;
  }
  Lines Tick(double seconds) {
    now_ += std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    session_->Tick(now_);
    output_ = session_->TakeOutput();
    return output_.urgent;
  }
  // Registers as deckhand in #t (with the server relaying our JOIN), alice and bob there too.
  void Registered() {
    In(":irc 001 deckhand :Welcome");
    In(":irc 005 deckhand PREFIX=(qov)~@+ CHANMODES=b,k,l,imnst :are supported");
    In(":deckhand!bot@host JOIN #t");
    In(":irc 353 deckhand = #t :deckhand @op alice bob");
  }

  // Answers every job waiting with `lines` ("{to}" stands for the sender), dealt or not.
  void AnswerAll(const Lines& lines, bool dealt = false) {
    std::vector<LibraryJob> jobs = std::move(output_.jobs);
    output_.jobs.clear();
    for (const LibraryJob& job : jobs) {
      Lines filled;
      for (const std::string& line : lines)
        filled.push_back(FillText(line, {{"{to}", job.sender}}));
      session_->Answered(job, {filled, dealt, ""}, now_);
    }
  }
  // Everything paced that goes out within `seconds`, as flood control lets it.
  Lines Sent(double seconds = 600) {
    Lines sent;
    Clock::time_point end = now_ + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    while (now_ <= end) {
      while (std::optional<Outgoing> next = session_->NextPaced(now_)) sent.push_back(next->line);
      if (session_->queue().empty()) break;
      now_ += std::chrono::milliseconds(100);
    }
    return sent;
  }
  // A chat line from `nick` (in #t unless `where` says otherwise): the jobs waiting.
  std::size_t Say(std::string_view nick, std::string_view text, std::string_view where = "#t") {
    In(":" + std::string(nick) + "!u@h PRIVMSG " + std::string(where) + " :" + std::string(text));
    return output_.jobs.size();
  }

  SessionContext Context() {
    return {&state_, [this] { return wall_; }, "small, trump"};
  }

  BotConfig config_;
  BotState state_{"", 3, 30};
  std::int64_t wall_ = 1'000'000'000;
  WireCodec codec_{WireEncoding::kUtf8};
  Clock::time_point now_{};
  std::optional<IrcSession> session_;
  SessionOutput output_;
};

// Most cases start registered and in #t.
class SessionInChannelTest : public SessionTest {
 protected:
  void SetUp() override {
    Start();
    Registered();
  }
};

TEST_F(SessionTest, JoinsItsChannelsOnceRegistered) {
  Start({{"#t", ""}, {"#k", "key"}});
  EXPECT_EQ(In(":irc 001 deckhand :Welcome"), (Lines{"JOIN #t", "JOIN #k key"}));
}

TEST_F(SessionInChannelTest, ChatCommandsBecomeJobsWithTheSenderAndPlace) {
  In(":alice!a@h PRIVMSG #t :!count");
  ASSERT_EQ(output_.jobs.size(), 1u);
  EXPECT_EQ(output_.jobs[0].sender, "alice");
  EXPECT_EQ(output_.jobs[0].where, "#t");
  EXPECT_TRUE(output_.jobs[0].in_channel);
  EXPECT_EQ(output_.jobs[0].relay_prefix_bytes, std::string(":deckhand!bot@host ").size());
  EXPECT_EQ(Say("alice", "\x01VERSION\x01", "deckhand"), 1u) << "a CTCP is no command";
}

TEST_F(SessionTest, RepliesGoOutInTurnBySenderSoAShortOneNeverWaitsBehindALongOne) {
  config_.sender_lines = 100;
  Start();
  Registered();
  Say("alice", "!check");
  AnswerAll(Lines(30, "NOTICE #t :many cards"));
  Say("bob", "!count");
  AnswerAll({"NOTICE #t :52"});
  Lines sent = Sent(4);  // the burst of five, then one every two seconds
  ASSERT_EQ(sent.size(), 7u);
  EXPECT_EQ(sent[0], "NOTICE #t :52") << "a short reply goes ahead of the long one";
  // Another player comes while alice's lines go out: next, not behind alice's 24 others.
  Say("op", "!count");
  AnswerAll({"NOTICE #t :51"});
  sent = Sent();
  ASSERT_EQ(sent.size(), 25u);
  EXPECT_EQ(sent[0], "NOTICE #t :51");
}

TEST_F(SessionTest, ABusySenderIsToldOnceAndNothingQueuedIsDropped) {
  config_.sender_lines = 12;  // a command not yet answered counts as five lines
  Start();
  Registered();
  const std::size_t jobs[] = {1, 2, 3, 3, 3};  // the fourth and fifth command make no job
  for (std::size_t expected : jobs) EXPECT_EQ(Say("alice", "!count"), expected);
  EXPECT_EQ(Say("bob", "!count"), 4u) << "another sender is not held back";
  AnswerAll({"NOTICE #t :{to}"});
  Lines sent = Sent();
  EXPECT_EQ(sent,
            (Lines{"NOTICE #t :bob",  // alone and short: ahead of alice's
                   "NOTICE alice :alice: 返事を送り終わるまで、新しいコマンドは受け付けません",
                   "NOTICE #t :alice", "NOTICE #t :alice", "NOTICE #t :alice"}));
  EXPECT_EQ(Say("alice", "!count"), 1u) << "served again once their replies are out";
}

// Who may deal in a channel: the dealer's commands (deck, shuffle, check, peek) under the
// default rule, `owner`.
TEST_F(SessionInChannelTest, TheOwnerAndOperatorsDealAndOthersAreToldWhoMay) {
  struct Turn {
    const char* nick;
    const char* text;
    bool job;
  };
  const Turn turns[] = {
      {"alice", "!deck,trump", true},  // nobody owns the deck yet
      {"bob", "!shuffle", false},     {"bob", "!peek,3", false}, {"bob", "!check", false},
      {"bob", "!deck,trump", false},  {"bob", "!draw", true},    {"bob", "!hdraw", true},
      {"bob", "!count", true},        {"op", "!shuffle", true},  {"alice", "!check", true},
      {"carol", "!count", false},  // not in the channel
  };
  bool first = true;
  for (const Turn& turn : turns) {
    EXPECT_EQ(Say(turn.nick, turn.text), turn.job ? 1u : 0u) << turn.nick << " " << turn.text;
    AnswerAll({"NOTICE #t :ok"}, first);
    first = false;
  }
  Lines sent = Sent();
  EXPECT_NE(std::find(sent.begin(), sent.end(),
                      "NOTICE bob :[#t] bob: !shuffleを使えるのはalice（デッキを配った人）とチャン"
                      "ネルオペレーターです"),
            sent.end());
  // The owner leaves: ownership lapses, even when they come back, and whoever deals next owns
  // the deck.
  In(":alice!u@h PART #t");
  In(":alice!u@h JOIN #t");
  EXPECT_EQ(Say("bob", "!shuffle"), 1u);
  EXPECT_EQ(Say("bob", "!deck,trump"), 2u);
  AnswerAll({"NOTICE #t :ok"}, true);
  EXPECT_EQ(Say("alice", "!shuffle"), 0u);
  // In a private message everyone is their own dealer.
  EXPECT_EQ(Say("alice", "!shuffle", "deckhand"), 1u);
}

TEST_F(SessionInChannelTest, TheOwnerIsKeptAcrossARestart) {
  Say("alice", "!deck,trump");
  AnswerAll({"NOTICE #t :ok"}, true);
  Start();  // a new session, as after a reconnect or restart, on the same state
  Registered();
  EXPECT_EQ(Say("bob", "!shuffle"), 0u);
  EXPECT_EQ(Say("alice", "!shuffle"), 1u);
}

TEST_F(SessionInChannelTest, HelpHintsAndCommandsOfNoKindEachGetTheirAnswer) {
  EXPECT_EQ(Say("alice", "!draw, 2"), 0u);
  EXPECT_EQ(Say("alice", "!help,peek"), 0u);
  EXPECT_EQ(Say("alice", "hello !draw"), 0u);
  EXPECT_EQ(Say("alice", "!peek,0"), 0u);
  EXPECT_EQ(Sent(),
            (Lines{"NOTICE alice :[#t] 「!draw,2」のことですか？（カンマの後に空白は入れません）",
                   "NOTICE alice :!peek,3: 上から3枚をあなただけに見せます（カードは動きません）",
                   "NOTICE alice :[#t] !peek,N の N は 1 から 1000 までです"}));
  EXPECT_EQ(Say("alice", "!help"), 0u);
  Lines help = Sent();
  ASSERT_GT(help.size(), 8u);
  EXPECT_EQ(help[0], "NOTICE alice :!deck,MODE: 新しいデッキを配ります（モード: small, trump）");
  // Then the table's commands, each once, none of the bot's own again.
  for (std::string_view start : {"NOTICE alice :!deal", "NOTICE alice :!draw"}) {
    EXPECT_EQ(std::count_if(help.begin(), help.end(),
                            [&](const std::string& line) { return line.starts_with(start); }),
              1)
        << start;
  }
  EXPECT_EQ(Say("alice", "!help,deal"), 0u);
  Lines deal = Sent();
  ASSERT_EQ(deal.size(), 1u);
  EXPECT_TRUE(deal[0].starts_with("NOTICE alice :!deal")) << deal[0];
}

// Lines a dropped link left unsent go out on the next one, each to a player once the player is
// seen in a channel again; one who left meanwhile is not told (another may have the nick now).
TEST_F(SessionInChannelTest, LinesLeftByADroppedLinkGoOnlyToPlayersStillThere) {
  Say("alice", "!hdraw");
  Say("bob", "!hdraw");
  AnswerAll({"NOTICE {to} :[#t] cards"});
  SendQueue unsent = session_->TakeUnsent();
  Start();
  session_->Adopt(std::move(unsent));
  In(":irc 001 deckhand :Welcome");
  In(":deckhand!bot@host JOIN #t");
  EXPECT_EQ(Sent(5), Lines{}) << "no one is known to be there yet";
  In(":irc 353 deckhand = #t :deckhand alice");
  EXPECT_EQ(Sent(5), Lines{"NOTICE alice :[#t] cards"});
}

TEST_F(SessionInChannelTest, AChannelsLinesWaitWhileTheBotIsOutAndTheRejoinGoesFirst) {
  Say("alice", "!check");
  In(":op!u@h KICK #t deckhand :out");
  AnswerAll({"NOTICE #t :cards", "NOTICE alice :[#t] yours"});
  Say("bob", "!help,count", "deckhand");
  // Alice's lines keep their order behind the channel's; bob's go.
  EXPECT_EQ(Sent(5), Lines{"NOTICE bob :!count: 残りの枚数"});
  EXPECT_EQ(Tick(10), Lines{"JOIN #t"});
  In(":deckhand!bot@host JOIN #t");
  EXPECT_EQ(Sent(), (Lines{"NOTICE #t :cards", "NOTICE alice :[#t] yours"}));
}

TEST_F(SessionInChannelTest, PrivateDecksAreTheBotsOwnBoundedTargets) {
  auto target = [&](const char* nick, const char* text) {
    Say(nick, text, "deckhand");
    std::string got = output_.jobs.empty() ? "" : output_.jobs.back().private_target;
    AnswerAll({"NOTICE {to} :ok"}, std::string_view(text).starts_with("!deck"));
    return got;
  };
  // Three decks at most (the fixture's state); the fourth player takes the oldest unused one.
  EXPECT_EQ(target("a", "!deck,trump"), "~deck1");
  EXPECT_EQ(target("b", "!count"), "~nodeck");
  EXPECT_EQ(target("b", "!deck,trump"), "~deck2");
  wall_ += 10;
  EXPECT_EQ(target("a", "!draw"), "~deck1");
  EXPECT_EQ(target("x\xEF\xBD\x9E", "!deck,trump"), "~deck3");  // x～
  EXPECT_EQ(target("x\xE3\x80\x9C", "!deck,trump"), "~deck2");  // x〜, apart from x～
  Sent();
  EXPECT_EQ(target("b", "!draw"), "~nodeck");
  EXPECT_EQ(Sent(), (Lines{"NOTICE b :デッキが多くなりすぎたので、あなたの古いデッキは片付けました",
                           "NOTICE b :ok"}));
  wall_ += 31 * 86400;
  EXPECT_EQ(target("a", "!count"), "~nodeck");
}

// A CR or NUL inside a line (here in the sender's prefix) drops the whole line.
TEST_F(SessionInChannelTest, ALineHoldingCrOrNulIsDropped) {
  EXPECT_EQ(Say("ali\rce", "!count", "deckhand"), 0u);
  std::string nul("\0", 1);
  EXPECT_EQ(Say("alice", "!count" + nul, "deckhand"), 0u);
  EXPECT_EQ(Say("alice", "!count", "deckhand"), 1u);
}

}  // namespace
}  // namespace deckhand::irc
