// The IRC session without a server: lines in, lines out.
#include "host/irc/session.h"

#include <gtest/gtest.h>

namespace deckhand::irc {
namespace {

using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

// A session on a fixed clock that the test moves by hand.
class SessionTest : public ::testing::Test {
 protected:
  SessionTest() { config_.channels = {{"#t", ""}}; }

  IrcSession& Start(std::vector<WireChannel> channels = {{"#t", ""}}) {
    session_.emplace(config_, codec_, std::move(channels), now_);
    session_->Connected(now_);
    session_->TakeOutput();
    return *session_;
  }
  // Feeds a server line; returns what the session wants sent at once.
  Lines In(std::string_view line) {
    session_->Receive(line, now_);
    output_ = session_->TakeOutput();
    return output_.urgent;
  }
  Lines Tick(double seconds) {
    now_ += std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    session_->Tick(now_);
    output_ = session_->TakeOutput();
    return output_.urgent;
  }
  // Registers as deckhand in #t (with the server relaying our JOIN).
  void Registered() {
    In(":irc 001 deckhand :Welcome");
    In(":deckhand!bot@host JOIN #t");
  }

  BotConfig config_;
  WireCodec codec_{WireEncoding::kUtf8};
  Clock::time_point now_{};
  std::optional<IrcSession> session_;
  SessionOutput output_;
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
  session_.emplace(config_, codec_, std::vector<WireChannel>{{"#t", ""}, {"#k", "key"}}, now_);
  session_->Connected(now_);
  EXPECT_EQ(session_->TakeOutput().urgent,
            (Lines{"CAP LS 302", "NICK deckbot", "USER deckhand 0 * :deckhand card dealer"}));
  Play({{":irc CAP * LS * :multi-prefix", {}},
        {":irc CAP * LS :sasl=PLAIN", {"CAP REQ :sasl"}},
        {":irc CAP * ACK :sasl", {"AUTHENTICATE PLAIN"}},
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

TEST_F(SessionTest, OneRejoinPerChannelHoweverManyKicks) {
  Start();
  Registered();
  for (int i = 0; i < 300; ++i) In(":op!o@h KICK #t deckhand :go");
  // Kicks of other nicks or from other channels ask for nothing.
  In(":op!o@h KICK #t alice :go");
  EXPECT_EQ(Tick(9), Lines{});
  EXPECT_EQ(Tick(1), Lines{"JOIN #t"});
  EXPECT_EQ(Tick(10), Lines{});
}

TEST_F(SessionTest, ChatCommandsBecomeJobsWithTheSenderAndPlace) {
  Start();
  Registered();
  In(":alice!a@h PRIVMSG #t :!count");
  ASSERT_EQ(output_.jobs.size(), 1u);
  EXPECT_EQ(output_.jobs[0].sender, "alice");
  EXPECT_EQ(output_.jobs[0].where, "#t");
  EXPECT_TRUE(output_.jobs[0].in_channel);
  EXPECT_EQ(output_.jobs[0].relay_prefix_bytes, std::string(":deckhand!bot@host ").size());
  In(":alice!a@h PRIVMSG deckhand :\x01VERSION\x01");
  EXPECT_TRUE(output_.jobs.empty());
}

}  // namespace
}  // namespace deckhand::irc
