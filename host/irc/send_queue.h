// The paced lines waiting to go, one queue per sender, served by who was served longest ago: the
// next line is always the first waiting line of the sender whose last line went out earliest.
// Senders who have had no line in the last minute go first, those who caused the fewest lines
// in it (their replies, refusals, busy notices, and one for each command, answered or not) before
// the others. So senders with lines waiting take turns a line each, and a newcomer's short reply
// goes before the next line of anyone flooding, however many flood, served or not. Lines of one
// sender keep their order.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace deckhand::irc {

struct QueuedLine {
  std::string line;    // without CR LF
  std::string target;  // the line's first parameter (a channel or a nick)
  std::chrono::steady_clock::time_point queued{};
  bool secret = false;   // cards told to one player: kept out of the log
  bool carried = false;  // queued on an earlier link, before a reconnect
  // The identity of the player the line is for, where the bot follows them: it goes only while
  // `target` is theirs (a nick taken by someone else waits).
  std::string target_id = {};
};

class SendQueue {
 public:
  using Clock = std::chrono::steady_clock;
  using Ready = std::function<bool(const QueuedLine&)>;

  // How long a line sent counts against its sender's turn.
  static constexpr std::chrono::minutes kRemembered{1};
  // The most senders remembered as served; past it the longest ago are forgotten.
  static constexpr std::size_t kMostRemembered = 4096;

  // The lines of one reply (or notice) to `sender`, the folded nick the lines answer. A sender
  // pushed `first` (the bot's own lines: a JOIN, a MODE) goes before everyone.
  void Push(const std::string& sender, std::vector<QueuedLine> lines, bool first = false);
  // Counts `lines` against the sender's turn as if they had been pushed at `now` (a command,
  // which causes a line even when its reply is held back).
  void Charge(const std::string& sender, std::size_t lines, Clock::time_point now);
  // The next line in turn whose target `ready` accepts (a line for a channel the bot is out of
  // waits, and so do that sender's later lines), going out at `now`; nullopt when none may go.
  std::optional<std::pair<std::string, QueuedLine>> Pop(const Ready& ready, Clock::time_point now);
  // True when Pop would give a line.
  bool AnyReady(const Ready& ready) const;
  // Drops the lines `expired` accepts; returns how many.
  std::size_t DropIf(const Ready& expired);

  // Marks every line waiting as carried over from an earlier link.
  void MarkCarried();
  // Lets `change` rewrite each line waiting (a player's lines follow them to a new nick).
  void Update(const std::function<void(QueuedLine&)>& change);

  std::size_t Waiting(const std::string& sender) const;
  std::size_t lines() const { return lines_; }
  std::size_t bytes() const { return bytes_; }
  bool empty() const { return lines_ == 0; }

 private:
  struct SenderLines {
    std::deque<QueuedLine> lines;
    std::uint64_t arrival = 0;  // when the sender's lines began to wait, in push order
    bool first = false;
  };
  // The sender's place in the turn: whether they go after the bot's own lines, whether a line
  // of theirs went out within kRemembered, when the last did, and when they began to wait. The
  // least goes next.
  using Turn = std::tuple<bool, bool, std::size_t, Clock::time_point, std::uint64_t>;
  Turn TurnOf(const std::string& sender, const SenderLines& lines, Clock::time_point now) const;
  void ForgetServedBefore(Clock::time_point now);

  // Lines caused by a sender since `since`, counted for a minute at a time.
  struct Usage {
    Clock::time_point since{};
    std::size_t lines = 0;
  };

  std::map<std::string, SenderLines> by_sender_;
  std::map<std::string, Clock::time_point> served_;
  std::map<std::string, Usage> used_;
  std::uint64_t arrivals_ = 0;
  std::size_t lines_ = 0;
  std::size_t bytes_ = 0;
};

}  // namespace deckhand::irc
