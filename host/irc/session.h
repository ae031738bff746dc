// One connection's IRC session, without sockets: it takes the lines the server sends and the
// time, and says what to send (urgent lines at once, paced lines one at a time as flood control
// allows, each with the sender it answers), which chat commands the library must answer, when it
// wants to be woken, and when the link is to be dropped. It owns the bot's nick, the
// capabilities, the channels, who is in them, and the send queues. A reconnect starts a new
// session.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <functional>
#include <set>

#include "host/irc/bot_state.h"
#include "host/irc/chat_command.h"
#include "host/irc/config.h"
#include "host/irc/irc_line.h"
#include "host/irc/membership.h"
#include "host/irc/notices.h"
#include "host/irc/permissions.h"
#include "host/irc/send_queue.h"
#include "host/irc/token_bucket.h"
#include "host/irc/wire_codec.h"

namespace deckhand::irc {

// A channel the bot keeps joined, in the wire's bytes.
struct WireChannel {
  std::string name;
  std::string key;
};

// A chat command for the library, answered on the library's worker (Game::Answer).
struct LibraryJob {
  std::uint64_t id = 0;
  std::string sender;  // the sender's nick, wire bytes
  std::string where;   // the channel, or the bot's nick for a private message
  bool in_channel = false;
  std::string text;                    // the whole message
  std::size_t relay_prefix_bytes = 0;  // what the server puts before each of our lines
  std::string private_target;          // in a private message: the library's target
  std::string player;                  // whose private deck it is
  bool fresh_private = false;          // the private deck was given for this deal
  bool secret = false;                 // its lines to the sender name hidden cards
  bool may_deal = true;                // the sender may run the dealer's commands here
  std::vector<std::string> members;    // a table command's channel members, folded
};

// The library's answer to a job, as Game::Play gives it.
struct JobAnswer {
  std::vector<std::string> lines;
  bool dealt = false;
  std::string silent_reason;
};

// What the session reads beside the settings; it outlives every session.
struct SessionContext {
  BotState* state = nullptr;                 // deck owners and private decks
  std::function<std::int64_t()> wall_clock;  // seconds since 1970, for private decks' age
  std::string wire_modes;                    // the mode table's names, for texts
};

// A paced line and whom it answers (the round-robin turn is by sender).
struct Outgoing {
  std::string line;
  std::string sender;
};

// What the session asks of the transport after an event.
struct SessionOutput {
  std::vector<std::string> urgent;  // to write now, ahead of everything paced
  std::vector<LibraryJob> jobs;     // for the library's worker, in order
  std::optional<std::string> drop;  // drop the link, for this reason
  bool stop = false;                // and stop: going on cannot work (logged)
};

// IRC compares names without letter case, and "[]\~" are the upper case of "{}|^".
bool SameName(std::string_view a, std::string_view b);
std::string FoldName(std::string_view name);

// Delay before reconnect attempt number `failures` (0 for the first): `initial` doubled per
// failure up to `maximum`, then a random share of its upper half taken off so that many bots
// cut off together do not come back together. `unit_random` is in [0, 1).
double BackoffSeconds(int failures, double initial, double maximum, double unit_random);

// Seconds for the log, to a tenth ("1.5").
std::string FormatSeconds(double seconds);

// The log's line for a failed attempt while the bot has never reached its server. Most often
// nothing listens where the settings point (no server started, a wrong port), so the first
// failure says where it tried and what to look at; later ones say only that it still cannot.
std::string NeverConnectedText(std::string_view server, int port, std::string_view reason,
                               int failures, double delay);

// The AUTHENTICATE lines of a SASL PLAIN login: the credentials in base64, in pieces of 400
// characters, and "+" after a last piece of exactly 400.
std::vector<std::string> SaslPlainLines(std::string_view account, std::string_view password);

// A line for the log: passwords, credentials and channel keys never go there.
std::string WithoutSecrets(std::string_view line);

class IrcSession {
 public:
  using Clock = std::chrono::steady_clock;

  IrcSession(const BotConfig& config, const WireCodec& codec, std::vector<WireChannel> channels,
             SessionContext context, Clock::time_point now);

  // The link is up: registration starts.
  void Connected(Clock::time_point now);
  // One line from the server, CR LF removed.
  void Receive(std::string_view line, Clock::time_point now);
  // The library's answer to a job: NOTICE lines to queue.
  void Answered(const LibraryJob& job, JobAnswer answer, Clock::time_point now);
  // Lines still waiting when the previous link dropped: sent once back in, for a while.
  // Takes the lines an earlier link left unsent. Those to a player wait until the player is seen
  // in one of the bot's channels again: whoever left meanwhile is not told another's cards.
  void Adopt(SendQueue unsent) {
    queue_ = std::move(unsent);
    queue_.MarkCarried();
  }
  SendQueue TakeUnsent() { return std::move(queue_); }
  // Timers: keep-alive, rejoins.
  void Tick(Clock::time_point now);
  // QUIT, ahead of anything paced, which is dropped.
  void Quit(std::string_view reason);

  SessionOutput TakeOutput();
  // The next paced line, when flood control lets it go now.
  std::optional<Outgoing> NextPaced(Clock::time_point now);
  // When Tick (or NextPaced) has something to do next.
  Clock::time_point NextWake(Clock::time_point now);

  bool registered() const { return registered_; }
  bool quitting() const { return quitting_; }
  const std::string& nick() const { return nick_; }
  const SendQueue& queue() const { return queue_; }
  const Membership& members() const { return members_; }
  const DealerPermissions& dealers() const { return dealers_; }

 private:
  void OnChat(const IrcMessage& message, Clock::time_point now);
  void OnSupport(const IrcMessage& message);
  void OnNames(const IrcMessage& message);
  void OnOtherJoin(const IrcMessage& message);
  void OnPart(const IrcMessage& message);
  void OnQuit(const IrcMessage& message);
  void OnMode(const IrcMessage& message);
  void OnInvite(const IrcMessage& message);
  void OnSaslFailed(const IrcMessage& message);
  void OwnerLeft(std::string_view channel, std::string_view nick);
  void Stop(std::string reason);
  // A paced notice to `sender` (wire nick) from a text of the settings.
  void Tell(std::string_view sender, std::string_view label, std::string_view utf8_text,
            const Fills& fills, bool may_go_ahead = true);
  QueuedLine Queued(std::string line, bool secret) const;
  bool Busy(const std::string& folded_sender) const;
  void ForgetIfIdle(const std::string& folded_sender);
  void Help(std::string_view sender, std::string_view about);
  void Refuse(std::string_view sender, std::string_view channel, const ChatCommand& command);
  std::string PlayerKey(const IrcMessage& message, std::string_view sender) const;
  bool MayGo(const QueuedLine& line) const;
  std::string ToWire(std::string_view utf8) const;
  void OnCap(const IrcMessage& message);
  void OnRegistered(const IrcMessage& message);
  void OnJoin(const IrcMessage& message);
  void OnKick(const IrcMessage& message, Clock::time_point now);
  void OnJoinRefused(const IrcMessage& message, Clock::time_point now);
  void OnNickRefused(const IrcMessage& message);
  void OnNick(const IrcMessage& message);
  void SendCredentials();
  void FinishCapabilities();
  void Join(const WireChannel& channel);
  void Urgent(std::string line);
  void Drop(std::string reason);
  std::size_t RelayPrefixBytes() const;
  WireChannel* FindChannel(std::string_view name);
  bool IsMe(std::string_view nick) const;
  std::string Shown(std::string_view wire) const;  // for the log, in UTF-8

  const BotConfig& config_;
  WireCodec codec_;
  std::vector<WireChannel> channels_;

  std::string nick_;
  std::string own_prefix_;  // "nick!user@host" as the server relays the bot's lines
  bool registered_ = false;
  int nick_attempts_ = 0;
  std::string offered_capabilities_;

  // Keep-alive.
  Clock::time_point last_heard_;
  bool ping_sent_ = false;

  // Rejoins after a KICK, by folded channel name.
  std::map<std::string, Clock::time_point> rejoins_;
  std::map<std::string, Clock::time_point> banned_;  // folded channel -> when to try again

  SessionContext context_;
  Notices notices_;
  Membership members_;
  DealerPermissions dealers_;
  Clock::time_point regain_at_{};

  TokenBucket bucket_;
  SendQueue queue_;
  std::map<std::string, std::size_t> pending_;  // jobs with the worker, by folded sender
  std::size_t pending_total_ = 0;
  std::set<std::string> told_busy_;  // folded senders told, until their replies are out
  SessionOutput output_;
  bool quitting_ = false;
  int cap_lines_ = 0;
  bool cap_listing_done_ = false;
  Clock::time_point now_{};  // of the event being handled
  std::uint64_t next_job_ = 1;
};

}  // namespace deckhand::irc
