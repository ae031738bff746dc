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

#include "host/common/chat_application.h"
#include "host/common/chat_command.h"
#include "host/common/wire_codec.h"
#include "host/irc/channel_tracker.h"
#include "host/irc/config.h"
#include "host/irc/connection.h"
#include "host/irc/irc_line.h"
#include "host/irc/names.h"
#include "host/irc/notices.h"
#include "host/irc/outbound.h"
#include "host/irc/wire_output.h"

namespace deckhand::irc {

// A chat command for the game, answered on the library's worker (Game::Answer): the request in
// the game's terms, and where its answer goes on the wire.
struct LibraryJob {
  std::uint64_t id = 0;
  std::string sender;  // the sender's nick, wire bytes
  std::string where;   // the channel, or the bot's nick for a private message
  bool in_channel = false;
  std::size_t relay_prefix_bytes = 0;  // what the server puts before each of our lines
  host::ChatRequest request;
};

// A member who left a channel or changed nick, for the game (ChatApplication::Left, Renamed).
struct PresenceChange {
  std::string place_id;  // the channel left; empty for a nick change
  std::string player_id;
  host::ChatParty renamed;  // the player's new id and name, after a nick change
};

// Tells the game of a change.
void Apply(host::ChatApplication& game, const PresenceChange& change);

// What the session asks of the transport after an event. One event gives jobs or changes,
// never both: the game sees them in the order they happened.
struct SessionOutput {
  std::vector<std::string> urgent;      // to write now, ahead of everything paced
  std::vector<LibraryJob> jobs;         // for the library's worker, in order
  std::vector<PresenceChange> changes;  // for the game, on the same worker
  std::optional<std::string> drop;      // drop the link, for this reason
  bool stop = false;                    // and stop: going on cannot work (logged)
};

class IrcSession {
 public:
  using Clock = std::chrono::steady_clock;

  // `book` follows players across nicks and links; it outlives the session.
  IrcSession(const BotConfig& config, const host::WireCodec& codec,
             std::vector<WireChannel> channels, IdentityBook& book, Clock::time_point now);

  // The link is up: registration starts.
  void Connected(Clock::time_point now);
  // One line from the server, CR LF removed.
  void Receive(std::string_view line, Clock::time_point now);
  // The game's answer to a job: NOTICE lines to queue.
  void Answered(const LibraryJob& job, const host::ChatAnswer& answer, Clock::time_point now);
  // Takes the lines an earlier link left unsent. Those to a player wait until the server says the
  // player (not merely their nick) is in one of the bot's channels again: whoever took the nick
  // meanwhile is not told another's cards.
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
  // The server's ERROR said the link closes for flooding.
  bool closed_for_flooding() const { return closed_for_flooding_; }
  bool quitting() const { return connection_.quitting(); }
  const SendQueue& queue() const { return outbound_.queue(); }

 private:
  void OnChat(const IrcMessage& message, Clock::time_point now);
  void Changed(const MemberChange& change);
  // The command in the game's terms: who, where, with what standing, who else is there.
  host::ChatRequest Request(const IrcMessage& message, std::string_view sender,
                            std::string_view where, bool in_channel) const;
  // A paced notice to `sender` (wire nick; identity `sender_id`) from a text of the settings.
  void Tell(std::string_view sender, const std::string& sender_id, std::string_view label,
            std::string_view utf8_text, const host::Fills& fills);
  // A line to queue; one to a player (`to_id`) follows that player while the bot follows them.
  QueuedLine Queued(std::string line, bool secret, const std::string& to_id = "") const;
  // The line to the nick `nick` instead, when it still fits the wire.
  bool Readdress(QueuedLine& line, std::string_view nick) const;
  bool MayGo(const QueuedLine& line) const;
  std::size_t RelayPrefixBytes() const { return connection_.RelayPrefixBytes(); }
  std::string Shown(std::string_view wire) const { return irc::Shown(codec_, wire); }

  const BotConfig& config_;
  host::WireCodec codec_;
  Notices notices_;
  IrcConnection connection_;
  ChannelTracker channels_;
  OutboundScheduler outbound_;
  bool closed_for_flooding_ = false;
  WireOutput wire_;
  std::vector<LibraryJob> jobs_;
  std::vector<PresenceChange> changes_;
  Clock::time_point now_{};  // of the event being handled
  std::uint64_t next_job_ = 1;
};

}  // namespace deckhand::irc
