// The paced side of the wire, without sockets: one queue per sender served in turn (SendQueue),
// flood control (TokenBucket), the commands each sender still has with the library, and which
// senders are too busy to take another command. What may go where (a channel the bot is out
// of, a player not seen since a reconnect) is the caller's to say.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/irc/config.h"
#include "host/irc/send_queue.h"
#include "host/irc/token_bucket.h"

namespace deckhand::irc {

// A paced line and whom it answers (the round-robin turn is by sender).
struct Outgoing {
  std::string line;
  std::string sender;
};

class OutboundScheduler {
 public:
  using Clock = std::chrono::steady_clock;
  using Ready = std::function<bool(const QueuedLine&)>;

  explicit OutboundScheduler(const BotConfig& config);

  // A line to queue at `now`; its target is its first parameter.
  static QueuedLine Queued(std::string line, bool secret, Clock::time_point now);
  // Lines answering `folded_sender`, in turn with every other sender's (SendQueue); `first` for
  // the bot's own, which go before everyone's.
  void Push(const std::string& folded_sender, std::vector<QueuedLine> lines, bool first = false);

  // A command of the sender's came in at `now`: it counts against their turn like a line.
  void Charge(const std::string& folded_sender, Clock::time_point now) {
    queue_.Charge(folded_sender, 1, now);
  }
  // True when the sender has so much waiting (lines and commands) that another command of
  // theirs is not taken, or the whole queue is full.
  bool Busy(const std::string& folded_sender) const;
  // True the first time a busy sender is to be told so, until their replies are out.
  bool TellBusy(const std::string& folded_sender);
  // A command of the sender's went to the library, and came back.
  void JobStarted(const std::string& folded_sender);
  void JobFinished(const std::string& folded_sender);
  bool HasPending(const std::string& folded_sender) const;
  // Forgets what the sender had waiting once nothing is.
  void ForgetIfIdle(const std::string& folded_sender);

  // A line of the bot's own went out at once at `now`: it spends a token like any other, so the
  // paced lines after it wait.
  void SentAtOnce(Clock::time_point now);

  // The next paced line that `ready` lets go, when flood control lets it go now.
  std::optional<Outgoing> NextPaced(Clock::time_point now, const Ready& ready);
  // The earlier of `wake` and when a paced line may be due.
  Clock::time_point NextWake(Clock::time_point now, Clock::time_point wake, const Ready& ready);
  // Drops lines held too long (for a channel the bot is out of).
  void DropExpired(Clock::time_point now);

  // Lets `change` rewrite each line waiting.
  void Update(const std::function<void(QueuedLine&)>& change) { queue_.Update(change); }

  void Adopt(SendQueue unsent);
  SendQueue TakeUnsent() { return std::move(queue_); }
  const SendQueue& queue() const { return queue_; }

 private:
  const BotConfig& config_;
  TokenBucket bucket_;
  SendQueue queue_;
  std::map<std::string, std::size_t> pending_;  // jobs with the worker, by folded sender
  std::size_t pending_total_ = 0;
  std::set<std::string> told_busy_;  // folded senders told, until their replies are out
};

}  // namespace deckhand::irc
