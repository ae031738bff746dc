// The bot's channels and their members, without a server: lines in, JOINs out.
#include "host/irc/channel_tracker.h"

#include <gtest/gtest.h>

#include <optional>

#include "irc/unit/wire_lines.h"

namespace deckhand::irc {
namespace {

using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

// The bot, "deckhand", registered and in #t with op, alice and bob.
class ChannelTrackerTest : public ::testing::Test {
 protected:
  ChannelTrackerTest() {
    In(":irc 005 deckhand PREFIX=(qov)~@+ CHANMODES=b,k,l,imnst :are supported");
    In(":deckhand!bot@host JOIN #t");
    In(":irc 353 deckhand = #t :deckhand @op alice bob");
    In(":irc 352 deckhand #t u h irc bob H :0 Bob");
  }
  Lines In(std::string_view line) {
    out_ = {};
    std::optional<IrcMessage> message = ParseIrcLine(line);
    if (message) tracker_.Receive(*message, "deckhand", now_, out_, changes_);
    return testing::SentLines(out_);
  }
  Lines Tick(double seconds) {
    now_ += std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    out_ = {};
    tracker_.Tick(now_, true, out_);
    return testing::SentLines(out_);
  }

  BotConfig config_;
  host::WireCodec codec_{host::WireEncoding::kUtf8};
  IdentityBook book_;
  ChannelTracker tracker_{config_, codec_, {{"#t", ""}}, book_};
  Clock::time_point now_{};
  WireOutput out_;
  std::vector<MemberChange> changes_;
};

TEST_F(ChannelTrackerTest, ABanIsTriedAgainLaterAndOnAnInvite) {
  config_.ban_retry = 600;
  In(":op!u@h KICK #t deckhand :out");
  EXPECT_EQ(Tick(10), Lines{"JOIN #t"});
  In(":irc 474 deckhand #t :Cannot join channel (+b)");
  EXPECT_EQ(Tick(599), Lines{});
  EXPECT_EQ(Tick(1), Lines{"JOIN #t"});
  In(":irc 474 deckhand #t :Cannot join channel (+b)");
  EXPECT_EQ(In(":op!u@h INVITE deckhand #t"), Lines{"JOIN #t"});
}

TEST_F(ChannelTrackerTest, OneRejoinPerChannelHoweverManyKicks) {
  for (int i = 0; i < 300; ++i) In(":op!o@h KICK #t deckhand :go");
  // Kicks of other nicks or from other channels ask for nothing.
  In(":op!o@h KICK #t alice :go");
  EXPECT_EQ(Tick(9), Lines{});
  EXPECT_EQ(Tick(1), Lines{"JOIN #t"});
  EXPECT_EQ(Tick(10), Lines{});
}

TEST_F(ChannelTrackerTest, MembershipFollowsNamesJoinsPartsKicksQuitsNicksAndModes) {
  const Membership& members = tracker_.members();
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

// Whoever keeps something of a member's (a deck's owner) hears of each member leaving a channel
// and of each nick change, under the identity from before.
TEST_F(ChannelTrackerTest, MembersLeavingOrRenamedAreTold) {
  In(":alice!u@h ACCOUNT alice-account");
  In(":alice!u@h PART #t");
  In(":bob!u@h NICK Bobby");
  In(":op!u@h KICK #t Bobby :out");
  In(":carol!u@h QUIT :not in the channel");
  ASSERT_EQ(changes_.size(), 4u);
  EXPECT_EQ(changes_[0].channel, "") << "a login: the player's id from now on";
  EXPECT_EQ(changes_[0].player, "conn:alice u@h");
  EXPECT_EQ(changes_[0].renamed_player, "account:alice-account");
  EXPECT_EQ(changes_[1].channel, "#t");
  EXPECT_EQ(changes_[1].player, "account:alice-account");
  EXPECT_EQ(changes_[2].player, "conn:bob u@h");
  EXPECT_EQ(changes_[2].renamed_player, "conn:bob u@h") << "the connection keeps its identity";
  EXPECT_EQ(changes_[2].new_nick, "Bobby");
  EXPECT_EQ(changes_[3].player, "conn:bob u@h");
}

// Who holds a nick: nobody the bot trusts until the server says (the bot asks on joining, with
// WHOX where offered); then the account, else the connection, carried across NICK; a nick taken
// from another user@host after a quit is someone new, and the same user@host back is the same.
TEST_F(ChannelTrackerTest, IdentitiesComeFromTheServerAndFollowTheConnection) {
  EXPECT_EQ(In(":deckhand!bot@host JOIN #t"), Lines{"WHO #t"});
  ChannelTracker tracker(config_, codec_, {{"#u", ""}}, book_);
  auto in = [&](std::string_view line) {
    out_ = {};
    tracker.Receive(*ParseIrcLine(line), "deckhand", now_, out_, changes_);
    return out_.urgent;
  };
  in(":irc 005 deckhand WHOX :are supported");
  EXPECT_EQ(in(":deckhand!bot@host JOIN #u"), Lines{"WHO #u %tnuhar,152"});
  struct Step {
    const char* in;
    const char* nick;
    const char* id;
  };
  const Step steps[] = {
      {":irc 353 deckhand = #u :deckhand alice carol", "alice", ""},
      {":irc 354 deckhand 152 ~a ha alice 0 :A", "alice", "conn:alice ~a@ha"},
      {":irc 354 deckhand 152 ~c hc carol carol-acc :C", "carol", "account:carol-acc"},
      {":irc 354 deckhand 999 ~d hd carol dave-acc :D", "carol", "account:carol-acc"},
      {":carol!~c@hc ACCOUNT *", "carol", "conn:carol ~c@hc"},
      {":alice!~a@ha NICK Alicia", "alicia", "conn:alice ~a@ha"},
      {":Alicia!~a@ha QUIT :bye", "alicia", ""},
      {":Alicia!~x@hx JOIN #u", "alicia", "conn:alicia ~x@hx"},
      {":Alicia!~x@hx PART #u", "alicia", ""},
      {":Alicia!~a@ha JOIN #u", "alicia", "conn:alice ~a@ha"},
      {":erin!~e@he JOIN #u er-acc :Erin", "erin", "account:er-acc"},
  };
  for (const Step& step : steps) {
    in(step.in);
    EXPECT_EQ(tracker.PlayerId(step.nick), step.id) << step.in;
  }
  EXPECT_EQ(tracker.CurrentNick("conn:alice ~a@ha"), "Alicia");
  // A private message from someone in none of the bot's channels: by nick and user@host.
  in(":Alicia!~a@ha PART #u");
  std::optional<IrcMessage> message = ParseIrcLine(":Alicia!~a@ha PRIVMSG deckhand :!hand");
  ASSERT_TRUE(message);
  EXPECT_EQ(tracker.SenderId(*message), "conn:alice ~a@ha");
  message = ParseIrcLine("@account=z :zed!~z@hz PRIVMSG deckhand :!hand");
  ASSERT_TRUE(message);
  EXPECT_EQ(tracker.SenderId(*message), "account:z");
}

// Under CASEMAPPING=ascii "[" and "{" are two nicks; under the default they are one.
TEST_F(ChannelTrackerTest, NamesCompareAsTheServersCaseMappingSays) {
  In(":irc 353 deckhand = #t :x[1");
  EXPECT_TRUE(tracker_.members().IsIn("#t", "X{1"));
  In(":irc 005 deckhand CASEMAPPING=ascii :are supported");
  In(":x[1!u@h PART #t");
  In(":irc 353 deckhand = #t :x[2");
  EXPECT_TRUE(tracker_.members().IsIn("#t", "X[2"));
  EXPECT_FALSE(tracker_.members().IsIn("#t", "x{2"));
}

}  // namespace
}  // namespace deckhand::irc
