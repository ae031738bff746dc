// The bot's registration, keep-alive and nick on one link, without a server: lines in, lines out.
#include "host/irc/connection.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "irc/unit/wire_lines.h"

namespace deckhand::irc {
namespace {

using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

// A connection on a fixed clock that the test moves by hand.
class ConnectionTest : public ::testing::Test {
 protected:
  Lines Start() {
    connection_.emplace(config_, codec_, now_);
    out_ = {};
    connection_->Connected(now_, out_);
    return testing::SentLines(out_);
  }
  // Feeds a server line; returns what the connection wants sent at once.
  Lines In(std::string_view line) {
    out_ = {};
    connection_->Heard(now_);
    std::optional<IrcMessage> message = ParseIrcLine(line);
    if (message) connection_->Receive(*message, out_);
    return testing::SentLines(out_);
  }
  Lines Tick(double seconds) {
    now_ += std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    out_ = {};
    connection_->Tick(now_, out_);
    return testing::SentLines(out_);
  }
  void Play(const std::vector<std::pair<const char*, Lines>>& exchanges) {
    for (const auto& [in, out] : exchanges) EXPECT_EQ(In(in), out) << in;
  }

  BotConfig config_;
  host::WireCodec codec_{host::WireEncoding::kUtf8};
  Clock::time_point now_{};
  std::optional<IrcConnection> connection_;
  WireOutput out_;
};

TEST_F(ConnectionTest, RegistersWithSasl) {
  config_.sasl_password = "pw";
  config_.nick = "deckbot";
  EXPECT_EQ(Start(),
            (Lines{"CAP LS 302", "NICK deckbot", "USER deckhand 0 * :deckhand card dealer"}));
  Play({{":irc CAP * LS * :multi-prefix away-notify", {}},
        {":irc CAP * LS :sasl=PLAIN account-tag", {"CAP REQ :multi-prefix account-tag sasl"}},
        {":irc CAP * ACK :multi-prefix account-tag sasl", {"AUTHENTICATE PLAIN"}},
        {"AUTHENTICATE +", {"AUTHENTICATE ZGVja2JvdABkZWNrYm90AHB3"}},
        {":irc 903 deckbot :SASL authentication successful", {"CAP END"}},
        {":irc 001 deckbot :Welcome", {}},
        {"PING :x1", {"PONG :x1"}}});
  EXPECT_EQ(connection_->registration(), Registration::kRegistered);
}

// Each step of registration takes only its own lines: a server that sends them out of turn
// gets neither credentials nor a second CAP END, and a server that knows no CAP registers all
// the same.
TEST_F(ConnectionTest, RegistrationTakesOnlyTheLinesOfItsState) {
  config_.sasl_password = "pw";
  struct Step {
    const char* in;
    Lines out;
    Registration after;
  };
  const Step steps[] = {
      {"AUTHENTICATE +", {}, Registration::kListingCaps},
      {":irc 903 deckhand :ok", {}, Registration::kListingCaps},
      {":irc CAP * ACK :sasl", {}, Registration::kListingCaps},
      {":irc CAP * LS :sasl", {"CAP REQ :sasl"}, Registration::kRequestingCaps},
      {":irc CAP * LS :sasl", {}, Registration::kRequestingCaps},
      {"AUTHENTICATE +", {}, Registration::kRequestingCaps},
      {":irc CAP * ACK :sasl", {"AUTHENTICATE PLAIN"}, Registration::kAuthenticating},
      {":irc CAP * NAK :sasl", {}, Registration::kAuthenticating},
      {":irc 903 deckhand :ok", {"CAP END"}, Registration::kAwaitingWelcome},
      {":irc 904 deckhand :failed", {}, Registration::kAwaitingWelcome},
      {":irc 001 deckhand :Welcome", {}, Registration::kRegistered},
      {":irc CAP * LS :sasl", {}, Registration::kRegistered},
  };
  Start();
  for (const Step& step : steps) {
    EXPECT_EQ(In(step.in), step.out) << step.in;
    EXPECT_EQ(connection_->registration(), step.after) << step.in;
  }
  Start();
  In(":irc 001 deckhand :Welcome");
  EXPECT_TRUE(connection_->registered()) << "a server without CAP";
  connection_->Quit("bye", out_);
  EXPECT_EQ(In(":irc 001 deckhand :Welcome"), Lines{});
  EXPECT_TRUE(connection_->quitting());
}

TEST_F(ConnectionTest, TakesAnotherNickWhileTheServerRefusesOurs) {
  Start();
  Play({{":irc 433 * deckhand :in use", {"NICK deckhand_"}},
        {":irc 433 * deckhand_ :in use", {"NICK deckhand2"}},
        {":irc 432 * deckhand2 :bad", {"NICK deckhand3"}},
        {":irc 001 deckhand3 :Welcome", {}},
        {":irc 433 * deckhand :in use", {}}});  // registered: no more guessing
  EXPECT_EQ(connection_->nick(), "deckhand3");
  // Its own nick is asked after now and then, and taken back once free.
  EXPECT_EQ(Tick(1), Lines{"ISON deckhand"});
  EXPECT_EQ(In(":irc 303 deckhand3 :deckhand"), Lines{});
  EXPECT_EQ(Tick(30), Lines{});
  EXPECT_EQ(Tick(30), Lines{"ISON deckhand"});
  EXPECT_EQ(In(":irc 303 deckhand3 :"), Lines{"NICK deckhand"});
  In(":deckhand3!bot@host NICK deckhand");
  EXPECT_EQ(Tick(120), Lines{"PING :deckhand-irc"}) << "no more asking";
}

TEST_F(ConnectionTest, ARefusedLoginStopsTheBotUnlessAllowed) {
  config_.sasl_password = "pw";
  for (bool required : {true, false}) {
    config_.sasl_required = required;
    Start();
    In(":irc CAP * LS :sasl");
    In(":irc CAP * ACK :sasl");
    EXPECT_EQ(In(":irc 904 deckhand :SASL authentication failed"),
              required ? Lines{"QUIT :deckhand-irc stopped: settings do not fit the server"}
                       : Lines{"CAP END"});
    EXPECT_EQ(out_.stop, required);
  }
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

// Only a link that worked for a while, and was not closed for flooding, starts the back-off
// again.
TEST(Backoff, StartsAgainOnlyAfterALinkThatWorked) {
  using std::chrono::seconds;
  EXPECT_FALSE(ResetsBackoff(seconds(5), false)) << "closed soon after sign-on";
  EXPECT_TRUE(ResetsBackoff(seconds(60), false));
  EXPECT_FALSE(ResetsBackoff(seconds(3600), true)) << "closed for flooding";
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

TEST_F(ConnectionTest, KeepAlivePingsAfterSilenceAndDropsWhenUnanswered) {
  Start();
  EXPECT_EQ(Tick(119), Lines{});
  EXPECT_EQ(Tick(1), Lines{"PING :deckhand-irc"});
  EXPECT_FALSE(out_.drop);
  Tick(59);
  EXPECT_FALSE(out_.drop);
  Tick(1);
  EXPECT_TRUE(out_.drop);
}

TEST_F(ConnectionTest, HostileServerLinesAreBounded) {
  Start();
  // A listing that never ends is taken as done after 64 lines, and then left alone.
  Lines sent;
  for (int i = 0; i < 20000; ++i) {
    Lines out = In(":irc CAP * LS * :multi-prefix x" + std::to_string(i));
    sent.insert(sent.end(), out.begin(), out.end());
  }
  EXPECT_EQ(sent, Lines{"CAP REQ :multi-prefix"});
  EXPECT_EQ(In(":irc CAP * LS :multi-prefix"), Lines{});
}

TEST_F(ConnectionTest, AWireEncodingTheServerRefusesStopsTheBot) {
  config_.encoding = "shift_jis";
  codec_ = host::WireCodec(host::WireEncoding::kShiftJis);
  Start();
  EXPECT_EQ(In(":irc 005 deckhand UTF8ONLY BOT=B :are supported"),
            (Lines{"QUIT :deckhand-irc stopped: settings do not fit the server"}));
  EXPECT_TRUE(out_.stop);
}

}  // namespace
}  // namespace deckhand::irc
