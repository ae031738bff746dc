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

struct Exchange {
  const char* in;
  Lines out;  // urgent lines sent in answer
};

void Play(const std::vector<Exchange>& exchanges,
          const std::function<Lines(std::string_view)>& in) {
  for (const Exchange& exchange : exchanges)
    EXPECT_EQ(in(exchange.in), exchange.out) << exchange.in;
}

TEST_F(SessionTest, RegistersWithSaslAndJoinsItsChannels) {
  config_.sasl_password = "pw";
  config_.nick = "deckbot";
  session_.emplace(config_, codec_, std::vector<WireChannel>{{"#t", ""}, {"#k", "key"}}, Context(),
                   now_);
  session_->Connected(now_);
  EXPECT_EQ(session_->TakeOutput().urgent,
            (Lines{"CAP LS 302", "NICK deckbot", "USER deckhand 0 * :deckhand card dealer"}));
  Play({{":irc CAP * LS * :multi-prefix away-notify", {}},
        {":irc CAP * LS :sasl=PLAIN account-tag", {"CAP REQ :multi-prefix account-tag sasl"}},
        {":irc CAP * ACK :multi-prefix account-tag sasl", {"AUTHENTICATE PLAIN"}},
        {"AUTHENTICATE +", {"AUTHENTICATE ZGVja2JvdABkZWNrYm90AHB3"}},
        {":irc 903 deckbot :SASL authentication successful", {"CAP END"}},
        {":irc 001 deckbot :Welcome", {"JOIN #t", "JOIN #k key"}},
        {"PING :x1", {"PONG :x1"}}},
       [this](std::string_view line) { return In(line); });
}

TEST_F(SessionTest, TakesAnotherNickWhileTheServerRefusesOurs) {
  Start();
  Play({{":irc 433 * deckhand :in use", {"NICK deckhand_"}},
        {":irc 433 * deckhand_ :in use", {"NICK deckhand2"}},
        {":irc 432 * deckhand2 :bad", {"NICK deckhand3"}},
        {":irc 001 deckhand3 :Welcome", {"JOIN #t"}},
        {":irc 433 * deckhand :in use", {}}},  // registered: no more guessing
       [this](std::string_view line) { return In(line); });
  EXPECT_EQ(session_->nick(), "deckhand3");
  // Its own nick is asked after now and then, and taken back once free.
  EXPECT_EQ(Tick(1), Lines{"ISON deckhand"});
  EXPECT_EQ(In(":irc 303 deckhand3 :deckhand"), Lines{});
  EXPECT_EQ(Tick(30), Lines{});
  EXPECT_EQ(Tick(30), Lines{"ISON deckhand"});
  EXPECT_EQ(In(":irc 303 deckhand3 :"), Lines{"NICK deckhand"});
  In(":deckhand3!bot@host NICK deckhand");
  EXPECT_EQ(Tick(120), Lines{"PING :deckhand-irc"}) << "no more asking";
}

TEST_F(SessionTest, ARefusedLoginStopsTheBotUnlessAllowed) {
  config_.sasl_password = "pw";
  for (bool required : {true, false}) {
    config_.sasl_required = required;
    Start();
    In(":irc CAP * LS :sasl");
    In(":irc CAP * ACK :sasl");
    EXPECT_EQ(In(":irc 904 deckhand :SASL authentication failed"),
              required ? Lines{"QUIT :deckhand-irc stopped: settings do not fit the server"}
                       : Lines{"CAP END"});
    EXPECT_EQ(output_.stop, required);
  }
}

TEST_F(SessionTest, ABanIsTriedAgainLaterAndOnAnInvite) {
  config_.ban_retry = 600;
  config_.ping_interval = 86400;  // no keep-alive in the way
  Start();
  Registered();
  In(":op!u@h KICK #t deckhand :out");
  EXPECT_EQ(Tick(10), Lines{"JOIN #t"});
  In(":irc 474 deckhand #t :Cannot join channel (+b)");
  EXPECT_EQ(Tick(599), Lines{});
  EXPECT_EQ(Tick(1), Lines{"JOIN #t"});
  In(":irc 474 deckhand #t :Cannot join channel (+b)");
  EXPECT_EQ(In(":op!u@h INVITE deckhand #t"), Lines{"JOIN #t"});
}

TEST(WithoutSecrets, MasksPasswordsCredentialsAndChannelKeys) {
  const std::pair<const char*, const char*> cases[] = {
      {"PASS hunter2", "PASS (hidden)"},
      {"AUTHENTICATE Ym90AGJvdABwdw==", "AUTHENTICATE (hidden)"},
      {"AUTHENTICATE PLAIN", "AUTHENTICATE PLAIN"},
      {"JOIN #poker s3cretkey", "JOIN #poker (key hidden)"},
      {"JOIN #table", "JOIN #table"},
  };
  for (const auto& [line, shown] : cases) EXPECT_EQ(WithoutSecrets(line), shown) << line;
}

TEST(Backoff, DoublesFromTheFirstDelayUpToTheCapWithJitterBelow) {
  struct Case {
    int failures;
    double random;
    double seconds;
  };
  const Case cases[] = {{0, 0, 1},   {0, 0.5, 0.75},     {3, 0, 8},      {8, 0, 256},
                        {9, 0, 300}, {9, 0.999, 150.15}, {10000, 0, 300}};
  for (const Case& test : cases) {
    EXPECT_NEAR(BackoffSeconds(test.failures, 1, 300, test.random), test.seconds, 1e-9)
        << test.failures << " " << test.random;
  }
}

TEST(Sasl, PlainCredentialsInPiecesOf400WithAnEndMarkAfterAFullOne) {
  EXPECT_EQ(SaslPlainLines("bot", "pw"),
            std::vector<std::string>{"AUTHENTICATE Ym90AGJvdABwdw=="});  // "bot\0bot\0pw"
  struct Case {
    std::size_t password_size;
    std::size_t lines;
    const char* last;  // start of the last line
  };
  // "a\0a\0" and the password: 4 + n bytes, base64 of 3 bytes is 4 characters.
  const Case cases[] = {
      {296, 2, "AUTHENTICATE +"}, {297, 2, "AUTHENTICATE YQ="}, {293, 1, "AUTHENTICATE YQB"}};
  for (const Case& test : cases) {
    std::vector<std::string> lines = SaslPlainLines("a", std::string(test.password_size, 'a'));
    ASSERT_EQ(lines.size(), test.lines) << test.password_size;
    EXPECT_EQ(lines.back().rfind(test.last, 0), 0u) << lines.back();
    for (const std::string& line : lines) EXPECT_LE(line.size(), 13u + 400u);
  }
}

TEST_F(SessionTest, KeepAlivePingsAfterSilenceAndDropsWhenUnanswered) {
  Start();
  EXPECT_EQ(Tick(119), Lines{});
  EXPECT_EQ(Tick(1), Lines{"PING :deckhand-irc"});
  EXPECT_FALSE(output_.drop);
  Tick(59);
  EXPECT_FALSE(output_.drop);
  Tick(1);
  EXPECT_TRUE(output_.drop);
}

TEST_F(SessionInChannelTest, OneRejoinPerChannelHoweverManyKicks) {
  for (int i = 0; i < 300; ++i) In(":op!o@h KICK #t deckhand :go");
  // Kicks of other nicks or from other channels ask for nothing.
  In(":op!o@h KICK #t alice :go");
  EXPECT_EQ(Tick(9), Lines{});
  EXPECT_EQ(Tick(1), Lines{"JOIN #t"});
  EXPECT_EQ(Tick(10), Lines{});
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

TEST_F(SessionInChannelTest, MembershipFollowsNamesJoinsPartsKicksQuitsNicksAndModes) {
  const Membership& members = session_->members();
  struct Step {
    const char* in;
    const char* nick;
    bool member;
    bool op;
    bool voiced;
  };
  const Step steps[] = {
      {":irc 353 deckhand = #t :@+dave", "dave", true, true, true},
      {":op!u@h MODE #t -o+v-k dave key", "dave", true, false, true},
      {":op!u@h MODE #t +l-v 10 dave", "dave", true, false, false},
      {":op!u@h MODE #t +bo *!*@x alice", "alice", true, true, true},
      {":alice!u@h NICK Alicia", "alicia", true, true, true},
      {":alice!u@h NICK Alicia", "alice", false, false, false},
      {":erin!u@h JOIN #t", "erin", true, false, false},
      {":op!u@h KICK #t erin :bye", "erin", false, false, false},
      {":bob!u@h QUIT :gone", "bob", false, false, false},
      {":dave!u@h PART #t", "dave", false, false, false},
  };
  for (const Step& step : steps) {
    In(step.in);
    EXPECT_EQ(members.IsIn("#t", step.nick), step.member) << step.in;
    EXPECT_EQ(members.HasAtLeast("#t", step.nick, '@'), step.op) << step.in;
    EXPECT_EQ(members.HasAtLeast("#t", step.nick, '+'), step.voiced) << step.in;
  }
  // Kicked itself: the channel's members are forgotten until it is back.
  In(":op!u@h KICK #t deckhand :out");
  EXPECT_FALSE(members.IsIn("#t", "op"));
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

TEST_F(SessionTest, HostileServerLinesAreBounded) {
  Start();
  // A listing that never ends is taken as done after 64 lines, and then left alone.
  Lines sent;
  for (int i = 0; i < 20000; ++i) {
    Lines out = In(":irc CAP * LS * :multi-prefix x" + std::to_string(i));
    sent.insert(sent.end(), out.begin(), out.end());
  }
  EXPECT_EQ(sent, Lines{"CAP REQ :multi-prefix"});
  EXPECT_EQ(In(":irc CAP * LS :multi-prefix"), Lines{});
  Registered();
  // A CR or NUL inside a line (here in the sender's prefix) drops the whole line.
  EXPECT_EQ(Say("ali\rce", "!count", "deckhand"), 0u);
  std::string nul("\0", 1);
  EXPECT_EQ(Say("alice", "!count" + nul, "deckhand"), 0u);
  EXPECT_EQ(Say("alice", "!count", "deckhand"), 1u);
}

TEST_F(SessionTest, AWireEncodingTheServerRefusesStopsTheBot) {
  config_.encoding = "shift_jis";
  codec_ = WireCodec(WireEncoding::kShiftJis);
  Start();
  In(":irc 005 deckhand UTF8ONLY BOT=B :are supported");
  EXPECT_TRUE(output_.stop);
  EXPECT_EQ(output_.urgent, (Lines{"QUIT :deckhand-irc stopped: settings do not fit the server"}));
}

}  // namespace
}  // namespace deckhand::irc
