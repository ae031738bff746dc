// One connection's IRC session, without sockets: the layers of the bot put together. It takes
// the lines the server sends and the time, hands each to the connection (registration,
// keep-alive, the bot's nick) and the channel tracker (channels and their members), turns chat
// commands into jobs for the library and its answers into paced lines (the outbound scheduler),
// and says what to send, when it wants to be woken, and when the link is to be dropped. A
// reconnect starts a new session.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/irc/bot_state.h"
#include "host/irc/channel_tracker.h"
#include "host/irc/chat_command.h"
#include "host/irc/config.h"
#include "host/irc/connection.h"
#include "host/irc/irc_line.h"
#include "host/irc/names.h"
#include "host/irc/notices.h"
#include "host/irc/outbound.h"
#include "host/irc/permissions.h"
#include "host/irc/wire_codec.h"
#include "host/irc/wire_output.h"

namespace deckhand::irc {

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

// What the session asks of the transport after an event.
struct SessionOutput {
  std::vector<std::string> urgent;  // to write now, ahead of everything paced
  std::vector<LibraryJob> jobs;     // for the library's worker, in order
  std::optional<std::string> drop;  // drop the link, for this reason
  bool stop = false;                // and stop: going on cannot work (logged)
};

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
  // Takes the lines an earlier link left unsent. Those to a player wait until the player is seen
  // in one of the bot's channels again: whoever left meanwhile is not told another's cards.
  void Adopt(SendQueue unsent) { outbound_.Adopt(std::move(unsent)); }
  SendQueue TakeUnsent() { return outbound_.TakeUnsent(); }
  // Timers: keep-alive, rejoins.
  void Tick(Clock::time_point now);
  // QUIT, ahead of anything paced, which is dropped.
  void Quit(std::string_view reason);

  SessionOutput TakeOutput();
  // The next paced line, when flood control lets it go now.
  std::optional<Outgoing> NextPaced(Clock::time_point now);
  // When Tick (or NextPaced) has something to do next.
  Clock::time_point NextWake(Clock::time_point now);

  bool registered() const { return connection_.registered(); }
  bool quitting() const { return connection_.quitting(); }
  Registration registration() const { return connection_.registration(); }
  const std::string& nick() const { return connection_.nick(); }
  const SendQueue& queue() const { return outbound_.queue(); }
  const Membership& members() const { return channels_.members(); }
  const DealerPermissions& dealers() const { return dealers_; }

 private:
  void OnChat(const IrcMessage& message, Clock::time_point now);
  void Changed(const MemberChange& change);
  // A paced notice to `sender` (wire nick) from a text of the settings.
  void Tell(std::string_view sender, std::string_view label, std::string_view utf8_text,
            const Fills& fills, bool may_go_ahead = true);
  QueuedLine Queued(std::string line, bool secret) const;
  void Help(std::string_view sender, std::string_view about);
  void Refuse(std::string_view sender, std::string_view channel, const ChatCommand& command);
  std::string PlayerKey(const IrcMessage& message, std::string_view sender) const;
  bool MayGo(const QueuedLine& line) const;
  std::string ToWire(std::string_view utf8) const;
  std::size_t RelayPrefixBytes() const { return connection_.RelayPrefixBytes(); }
  std::string Shown(std::string_view wire) const { return irc::Shown(codec_, wire); }

  const BotConfig& config_;
  WireCodec codec_;
  SessionContext context_;
  Notices notices_;
  IrcConnection connection_;
  ChannelTracker channels_;
  OutboundScheduler outbound_;
  DealerPermissions dealers_;
  WireOutput wire_;
  std::vector<LibraryJob> jobs_;
  Clock::time_point now_{};  // of the event being handled
  std::uint64_t next_job_ = 1;
};

}  // namespace deckhand::irc
