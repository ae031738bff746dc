// The bot's channels on one link, without sockets: which it is in, who is there with what
// status and services account (Membership), the server's CASEMAPPING, PREFIX and CHANMODES, and
// getting back in: a rejoin after a KICK, another try after a ban or on an INVITE. It takes the
// server's lines and the time and says which JOINs to write; members leaving or changing nick
// are told to whoever keeps something of theirs (a deck's owner).
//
// It also tells who each member is: their services account where the server says it, else the
// connection it has followed since it first saw it (IdentityBook), carried across NICK. A nick
// is trusted only once the server has said who holds it (a JOIN, a WHO reply, a line of theirs),
// so that after the bot (re)joins it asks (WHO, with WHOX where offered for the accounts too).
#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/common/wire_codec.h"
#include "host/irc/config.h"
#include "host/irc/identity_book.h"
#include "host/irc/irc_line.h"
#include "host/irc/membership.h"
#include "host/irc/wire_output.h"

namespace deckhand::irc {

// A channel the bot keeps joined, in the wire's bytes.
struct WireChannel {
  std::string name;
  std::string key;
};

// A member who left one of the bot's channels (PART, KICK, QUIT), or changed nick. Players are
// named as PlayerId names them, from before the change.
struct MemberChange {
  std::string channel;  // wire bytes; empty for a nick change
  std::string player;
  std::string renamed_player;  // after a nick change
  std::string new_nick;        // wire bytes, after a nick change
};

class ChannelTracker {
 public:
  using Clock = std::chrono::steady_clock;

  ChannelTracker(const BotConfig& config, const host::WireCodec& codec,
                 std::vector<WireChannel> channels, IdentityBook& book);

  // The bot is registered: it joins every channel it is not banned from.
  void JoinAll(WireOutput& out);
  // One line from the server; `own_nick` is the bot's nick at the time. Channel lines are
  // acted on; members who left or changed nick are added to `changes`.
  void Receive(const IrcMessage& message, std::string_view own_nick, Clock::time_point now,
               WireOutput& out, std::vector<MemberChange>& changes);
  // Rejoins due; another try after a ban only while `registered`.
  void Tick(Clock::time_point now, bool registered, WireOutput& out);
  // The earlier of `wake` and when Tick has something to do next.
  Clock::time_point NextWake(Clock::time_point wake) const;

  // The identity a member is kept under: "account:NAME" where the server tells the account,
  // else their connection's (IdentityBook); empty while the server has not said who holds the
  // nick.
  std::string PlayerId(std::string_view nick) const;
  // The identity of whoever sent `message`, member or not: by its account tag, else as a
  // member's, else by the nick and user@host of its prefix; empty for a server's line.
  std::string SenderId(const IrcMessage& message) const;
  // The nick a member with the identity `id` goes by now, if any.
  std::optional<std::string> CurrentNick(std::string_view id) const;
  // Whether the player `id` left the bot's channels lately and has not been heard from since:
  // their nick may be anyone's now.
  bool Departed(std::string_view id) const;
  // A member's nick as the wire last wrote it, where the bot knows it; else `nick`.
  std::string Written(std::string_view nick) const;
  bool IsChannel(std::string_view target) const;
  const Membership& members() const { return members_; }
  // Nicks and channel names folded, and compared, as the server's CASEMAPPING says.
  std::string Fold(std::string_view name) const { return FoldName(name, members_.case_mapping()); }
  bool Same(std::string_view a, std::string_view b) const {
    return SameName(a, b, members_.case_mapping());
  }

 private:
  void OnSupport(const IrcMessage& message);
  void OnJoin(const IrcMessage& message, bool me, WireOutput& out);
  void OnPart(const IrcMessage& message, bool me, std::vector<MemberChange>& changes);
  void OnKick(const IrcMessage& message, std::string_view own_nick, Clock::time_point now,
              std::vector<MemberChange>& changes);
  void OnQuit(const IrcMessage& message, std::vector<MemberChange>& changes);
  void OnNick(const IrcMessage& message, bool me, std::vector<MemberChange>& changes);
  void OnInvite(const IrcMessage& message, WireOutput& out);
  void OnAccount(const IrcMessage& message, std::vector<MemberChange>& changes);
  void OnWhoReply(const IrcMessage& message);
  // A member seen with its nick!user@host: the connection followed under that nick.
  void See(std::string_view prefix);
  // Forgets the connections of nicks in none of the bot's channels any more.
  void ForgetGone();
  void OnJoinRefused(const IrcMessage& message, Clock::time_point now);
  void Leaving(std::string_view channel, std::string_view nick, std::vector<MemberChange>& changes);
  void Join(const WireChannel& channel, WireOutput& out) const;
  const WireChannel* FindChannel(std::string_view name) const;
  std::string Shown(std::string_view wire) const;

  const BotConfig& config_;
  host::WireCodec codec_;
  std::vector<WireChannel> channels_;
  Membership members_;
  std::map<std::string, Clock::time_point> rejoins_;  // after a KICK, by folded channel
  std::map<std::string, Clock::time_point> banned_;   // folded channel -> when to try again

  struct Connection {
    std::string nick;  // as the wire last wrote it
    std::string user_host;
    std::string id;
  };
  IdentityBook* book_;
  std::map<std::string, Connection> connections_;  // of members, by folded nick
  bool whox_ = false;                              // the server offers WHOX
  std::deque<std::string> departed_;               // ids, the latest last
};

}  // namespace deckhand::irc
