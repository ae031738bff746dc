// The IRC session without a server: lines in, lines out.
#include "host/irc/session.h"

#include <gtest/gtest.h>

#include "host/common/chat_command.h"
#include "support/scratch_directory.h"

namespace deckhand::irc {
namespace {

using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

// A session on a fixed clock that the test moves by hand.
class SessionTest : public ::testing::Test {
 protected:
  SessionTest() { config_.channels = {{"#t", ""}}; }

  IrcSession& Start(std::vector<WireChannel> channels = {{"#t", ""}}) {
    session_.emplace(config_, codec_, std::move(channels), book_, now_);
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
  // Registers as deckhand in #t (with the server relaying our JOIN), alice and bob there too,
  // each from u@h as the server's answer to the bot's WHO says.
  void Registered() {
    In(":irc 001 deckhand :Welcome");
    In(":irc 005 deckhand PREFIX=(qov)~@+ CHANMODES=b,k,l,imnst :are supported");
    In(":deckhand!bot@host JOIN #t");
    In(":irc 353 deckhand = #t :deckhand @op alice bob");
    for (const char* nick : {"op", "alice", "bob"}) {
      In(":irc 352 deckhand #t u h irc " + std::string(nick) + " H :0 " + nick);
    }
    Sent();                            // the bot's own JOIN and WHO, paced
    now_ += std::chrono::seconds(10);  // and the burst back
  }

  // Answers every job waiting with `lines`, each "NOTICE <to> :<text>" ("{to}" stands for the
  // sender): to the place when <to> is the job's channel, else to that player.
  void AnswerAll(const Lines& lines) {
    std::vector<LibraryJob> jobs = std::move(output_.jobs);
    output_.jobs.clear();
    for (const LibraryJob& job : jobs) {
      host::ChatAnswer answer;
      for (const std::string& line : lines) {
        std::string notice = host::FillText(line, {{"{to}", job.sender}});
        std::string to = notice.substr(7, notice.find(' ', 7) - 7);
        std::string text = notice.substr(notice.find(':') + 1);
        bool to_place = to == (job.in_channel ? job.where : job.sender);
        std::string to_id = !to_place && to == job.sender ? job.request.player.id : "";
        answer.lines.push_back({to_place, to_place ? "" : to, "", text, false, to_id});
      }
      session_->Answered(job, answer, now_);
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

  BotConfig config_;
  host::WireCodec codec_{host::WireEncoding::kUtf8};
  IdentityBook book_;
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

// A sign-on sends no more at once than the burst, its own lines and lines carried from the last
// link together; the rest follows at the paced rate. An ERROR for flooding is noted.
TEST_F(SessionTest, ASignOnKeepsToThePacing) {
  Start({{"#a", ""}, {"#b", ""}, {"#c", ""}, {"#d", ""}});  // CAP LS, NICK, USER
  std::size_t at_once = 3 + In(":irc 001 deckhand :Welcome").size() + Sent(0).size();
  EXPECT_LE(at_once, 5u);
  EXPECT_EQ(Sent(10).size(), 7u - at_once) << "the other JOINs follow";
  EXPECT_FALSE(session_->closed_for_flooding());
  In("ERROR :Closing link: (deckhand@127.0.0.1) [Excess Flood]");
  EXPECT_TRUE(session_->closed_for_flooding());
}

TEST_F(SessionTest, JoinsItsChannelsOnceRegistered) {
  Start({{"#t", ""}, {"#k", "key"}});
  EXPECT_TRUE(In(":irc 001 deckhand :Welcome").empty());
  EXPECT_EQ(Sent(), (Lines{"JOIN #t", "JOIN #k key"})) << "paced with the replies";
}

// A chat command becomes a job: where its answer goes on the wire, and the request in the game's
// terms: the player by account (or folded nick), the channel, the sender's status, who is there.
TEST_F(SessionInChannelTest, ChatCommandsBecomeJobsWithTheSenderAndPlace) {
  In(":irc 005 deckhand CASEMAPPING=ascii :are supported");
  In(":Op!a@h ACCOUNT op-account");
  In(":Op!a@h PRIVMSG #t :!count");
  ASSERT_EQ(output_.jobs.size(), 1u);
  const LibraryJob& job = output_.jobs[0];
  EXPECT_EQ(job.sender, "Op");
  EXPECT_EQ(job.where, "#t");
  EXPECT_TRUE(job.in_channel);
  EXPECT_EQ(job.relay_prefix_bytes, std::string(":deckhand!bot@host ").size());
  const host::ChatRequest& request = job.request;
  EXPECT_EQ(request.player.id, "account:op-account");
  EXPECT_EQ(request.player.name, "Op");
  EXPECT_EQ(request.place.id, "#t");
  EXPECT_EQ(request.text, "!count");
  EXPECT_EQ(request.standing, host::Standing::kOperator);
  ASSERT_EQ(request.present.size(), 3u) << "the bot itself is no player";
  EXPECT_EQ(request.present[0].id, "conn:alice u@h");
  for (const host::ChatParty& party : request.present) EXPECT_NE(party.name, "deckhand");
  ASSERT_TRUE(request.same_name);
  EXPECT_FALSE(request.same_name("a[", "A{")) << "the server's case mapping";
  EXPECT_EQ(Say("alice", "\x01VERSION\x01", "deckhand"), 1u) << "a CTCP is no command";
  EXPECT_EQ(Say("alice", "!count", "deckhand"), 2u);
  EXPECT_TRUE(output_.jobs[1].request.at_private_table());
  EXPECT_EQ(Say("carol", "!count"), 2u) << "carol is not in the channel";
}

// Members who leave or change nick are told to the game, under their ids from before.
TEST_F(SessionInChannelTest, MembersLeavingAreToldToTheGame) {
  In(":alice!u@h PART #t");
  ASSERT_EQ(output_.changes.size(), 1u);
  EXPECT_EQ(output_.changes[0].place_id, "#t");
  EXPECT_EQ(output_.changes[0].player_id, "conn:alice u@h");
  In(":bob!u@h NICK Bobby");
  ASSERT_EQ(output_.changes.size(), 1u);
  EXPECT_EQ(output_.changes[0].place_id, "");
  EXPECT_EQ(output_.changes[0].renamed.id, "conn:bob u@h");
  EXPECT_EQ(output_.changes[0].renamed.name, "Bobby");
  In(":deckhand!bot@host NICK dealer");
  EXPECT_TRUE(output_.changes.empty()) << "the bot's own nick is no member's";
}

// Nicks are told apart as the server's CASEMAPPING says, wherever the bot compares them.
TEST_F(SessionInChannelTest, NicksAreFoldedAsTheServerFoldsThem) {
  struct Case {
    const char* mapping;
    const char* a;
    const char* b;
    bool same;
  };
  const Case cases[] = {
      {"ascii", "[x]", "{x}", false},
      {"rfc1459", "[x]", "{x}", true},
      {"strict-rfc1459", "x~", "x^", false},
      {"rfc1459", "x~", "x^", true},
      {"rfc8265", "Zo\xC3\xAB", "ZO\xC3\x8B", true},
      {"ascii", "Zo\xC3\xAB", "ZO\xC3\x8B", false},
  };
  for (const Case& test : cases) {
    Start();
    Registered();
    In(std::string(":irc 005 deckhand CASEMAPPING=") + test.mapping + " :are supported");
    In(std::string(":") + test.a + "!u@h JOIN #t");
    In(std::string(":") + test.b + "!v@h JOIN #t");
    std::size_t before = output_.jobs.size();
    Say(test.a, "!count");
    ASSERT_EQ(Say(test.b, "!count"), before + 2) << test.mapping << " " << test.a;
    const host::ChatRequest& first = output_.jobs[before].request;
    const host::ChatRequest& second = output_.jobs[before + 1].request;
    EXPECT_EQ(first.player.id == second.player.id, test.same) << test.mapping << " " << test.a;
    EXPECT_EQ(first.same_name(test.a, test.b), test.same) << test.mapping << " " << test.a;
  }
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
            (Lines{"NOTICE #t :bob",  // fewer lines caused: ahead of alice's
                   "NOTICE alice :alice: 返事を送り終わるまで、新しいコマンドは受け付けません",
                   "NOTICE #t :alice", "NOTICE #t :alice", "NOTICE #t :alice"}));
  EXPECT_EQ(Say("alice", "!count"), 1u) << "served again once their replies are out";
}

// Help is the game's, as every command is; a message of no command goes nowhere.
TEST_F(SessionInChannelTest, HelpGoesToTheGameAndMessagesOfNoCommandNowhere) {
  EXPECT_EQ(Say("alice", "hello !draw"), 0u);
  EXPECT_EQ(Say("alice", "!help,peek"), 1u);
  EXPECT_EQ(Sent(), Lines{});
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
  EXPECT_EQ(Sent(5), Lines{"JOIN #t"}) << "no one is known to be there yet";
  In(":irc 353 deckhand = #t :deckhand alice bob");
  EXPECT_EQ(Sent(5), Lines{}) << "a nick alone says nothing of who holds it";
  In(":irc 352 deckhand #t u h irc alice H :0 alice");
  In(":irc 352 deckhand #t x h irc bob H :0 another");
  EXPECT_EQ(Sent(5), Lines{"NOTICE alice :[#t] cards"});
}

// A player's lines follow the player: to their new nick after a NICK, never to whoever takes
// their nick after they quit, and to them again when they come back from the same user@host.
// The bot's commands are theirs whatever nick they send from.
TEST_F(SessionInChannelTest, LinesAndCommandsFollowThePlayerNotTheNick) {
  Say("alice", "!hand");
  Say("bob", "!hand");
  AnswerAll({"NOTICE {to} :[#t] cards"});
  In(":alice!u@h NICK Alicia");
  In(":bob!u@h QUIT :gone");
  In(":bob!x@y JOIN #t");
  EXPECT_EQ(Sent(5), Lines{"NOTICE Alicia :[#t] cards"});
  In(":bob!x@y PRIVMSG #t :!hand");
  ASSERT_EQ(output_.jobs.size(), 1u);
  EXPECT_EQ(output_.jobs[0].request.player.id, "conn:bob x@y") << "someone new";
  AnswerAll({});
  In(":bob!x@y QUIT :gone");
  In(":bob!u@h JOIN #t");
  EXPECT_EQ(Sent(5), Lines{"NOTICE bob :[#t] cards"});
  In(":Alicia!u@h PRIVMSG #t :!hand");
  ASSERT_EQ(output_.jobs.size(), 1u);
  EXPECT_EQ(output_.jobs[0].request.player.id, "conn:alice u@h");
  In(":Alicia!u@h NICK Al");  // while the game plays the command
  AnswerAll({"NOTICE {to} :[#t] more"});
  EXPECT_EQ(Sent(5), Lines{"NOTICE Al :[#t] more"});
  Say("op", "!hand");
  In(":op!u@h QUIT :gone");  // before the answer came: it waits for op, not for the nick
  AnswerAll({"NOTICE {to} :[#t] op's"});
  EXPECT_EQ(Sent(5), Lines{});
}

// Players renamed are found again after a restart (a new book read from the file) once the
// server says who holds each nick.
TEST_F(SessionTest, ARestartKeepsPlayersFollowedAcrossNicks) {
  deckhand::testing::ScratchDirectory scratch;
  std::string path = (scratch.path() / "players").string();
  book_ = IdentityBook(path);
  Start();
  Registered();
  In(":alice!u@h NICK Alicia");
  book_ = IdentityBook(path);
  std::string error;
  ASSERT_TRUE(book_.Load(&error)) << error;
  Start();
  In(":irc 001 deckhand :Welcome");
  In(":deckhand!bot@host JOIN #t");
  In(":irc 353 deckhand = #t :deckhand Alicia alice");
  In(":irc 352 deckhand #t u h irc Alicia H :0 alice");
  In(":irc 352 deckhand #t v h irc alice H :0 another alice");
  In(":Alicia!u@h PRIVMSG #t :!hand");
  In(":alice!v@h PRIVMSG #t :!hand");
  ASSERT_EQ(output_.jobs.size(), 2u);
  EXPECT_EQ(output_.jobs[0].request.player.id, "conn:alice u@h");
  EXPECT_EQ(output_.jobs[1].request.player.id, "conn:alice v@h");
}

TEST_F(SessionInChannelTest, AChannelsLinesWaitWhileTheBotIsOutAndTheRejoinGoesFirst) {
  Say("alice", "!check");
  In(":op!u@h KICK #t deckhand :out");
  AnswerAll({"NOTICE #t :cards", "NOTICE alice :[#t] yours"});
  Say("bob", "!count", "deckhand");
  AnswerAll({"NOTICE bob :0"});
  // Alice's lines keep their order behind the channel's; bob's go.
  EXPECT_EQ(Sent(5), Lines{"NOTICE bob :0"});
  Tick(10);
  EXPECT_EQ(Sent(), Lines{"JOIN #t"});
  In(":deckhand!bot@host JOIN #t");
  EXPECT_EQ(Sent(), (Lines{"NOTICE #t :cards", "NOTICE alice :[#t] yours"}));
}

TEST_F(SessionInChannelTest, ALineHoldingCrOrNulIsDropped) {
  EXPECT_EQ(Say("ali\rce", "!count", "deckhand"), 0u);
  std::string nul("\0", 1);
  EXPECT_EQ(Say("alice", "!count" + nul, "deckhand"), 0u);
  EXPECT_EQ(Say("alice", "!count", "deckhand"), 1u);
}

}  // namespace
}  // namespace deckhand::irc
