#include "host/irc/outbound.h"

#include "host/common/log.h"

namespace deckhand::irc {
namespace {

// Jobs waiting for the library, all senders together; past it every sender is busy.
constexpr std::size_t kMaxPendingJobs = 200;
// A command not yet answered counts as this many lines toward its sender's bound (a reply is at
// most 4 KB, a dozen lines), so that a burst read in one go cannot all slip in before the
// first answer shows how long the replies are.
constexpr std::size_t kLinesPerPendingJob = 5;
// Lines held for a channel the bot is out of (or across a reconnect) go after this long.
constexpr std::chrono::minutes kHoldLimit{10};

}  // namespace

OutboundScheduler::OutboundScheduler(const BotConfig& config)
    : config_(config), bucket_(config.flood_burst, config.flood_rate) {}

QueuedLine OutboundScheduler::Queued(std::string line, bool secret, Clock::time_point now) {
  std::string_view rest = std::string_view(line).substr(line.find(' ') + 1);
  std::string target(rest.substr(0, rest.find(' ')));
  return {std::move(line), std::move(target), now, secret};
}

void OutboundScheduler::Push(const std::string& folded_sender, std::vector<QueuedLine> lines,
                             bool first) {
  queue_.Push(folded_sender, std::move(lines), first);
}

void OutboundScheduler::SentAtOnce(Clock::time_point now) {
  if (config_.flood_control) bucket_.Take(now);
}

bool OutboundScheduler::Busy(const std::string& folded_sender) const {
  auto pending = pending_.find(folded_sender);
  std::size_t waiting = queue_.Waiting(folded_sender) +
                        (pending == pending_.end() ? 0 : pending->second * kLinesPerPendingJob);
  // A player with nothing waiting is still let in past the whole queue's bound, up to twice
  // it: the newcomer is answered while the flooders wait.
  std::size_t bytes = static_cast<std::size_t>(config_.queue_bytes) * (waiting == 0 ? 2 : 1);
  return waiting >= static_cast<std::size_t>(config_.sender_lines) || queue_.bytes() >= bytes ||
         pending_total_ >= kMaxPendingJobs || told_busy_.contains(folded_sender);
}

bool OutboundScheduler::TellBusy(const std::string& folded_sender) {
  return told_busy_.insert(folded_sender).second;
}

void OutboundScheduler::JobStarted(const std::string& folded_sender) {
  ++pending_[folded_sender];
  ++pending_total_;
}

void OutboundScheduler::JobFinished(const std::string& folded_sender) {
  auto pending = pending_.find(folded_sender);
  if (pending != pending_.end() && pending->second > 0) {
    --pending->second;
    --pending_total_;
  }
}

bool OutboundScheduler::HasPending(const std::string& folded_sender) const {
  auto pending = pending_.find(folded_sender);
  return pending != pending_.end() && pending->second > 0;
}

void OutboundScheduler::ForgetIfIdle(const std::string& folded_sender) {
  auto pending = pending_.find(folded_sender);
  if (pending != pending_.end() && pending->second > 0) return;
  if (pending != pending_.end()) pending_.erase(pending);
  if (queue_.Waiting(folded_sender) == 0) told_busy_.erase(folded_sender);
}

std::optional<Outgoing> OutboundScheduler::NextPaced(Clock::time_point now, const Ready& ready) {
  if (queue_.empty()) return std::nullopt;
  if (config_.flood_control && bucket_.WaitBefore(now) > Clock::duration::zero()) {
    return std::nullopt;
  }
  auto next = queue_.Pop(ready, now);
  if (!next) return std::nullopt;
  if (config_.flood_control) bucket_.Take(now);
  ForgetIfIdle(next->first);
  const QueuedLine& line = next->second;
  host::Log(host::LogLevel::kDebug,
            "> " + (line.secret ? line.line.substr(0, line.line.find(':') + 1) + "(cards hidden)"
                                : line.line));
  return Outgoing{line.line, next->first};
}

OutboundScheduler::Clock::time_point OutboundScheduler::NextWake(Clock::time_point now,
                                                                 Clock::time_point wake,
                                                                 const Ready& ready) {
  if (queue_.empty()) return wake;
  // Held lines are looked at again within a minute (they go when the bot is back in their
  // channel, which a line from the server tells); lines free to go when a token is due.
  wake = std::min(wake, now + std::chrono::seconds(60));
  if (config_.flood_control && queue_.AnyReady(ready)) {
    wake = std::min(wake, now + bucket_.WaitBefore(now));
  }
  return wake;
}

void OutboundScheduler::DropExpired(Clock::time_point now) {
  std::size_t dropped =
      queue_.DropIf([now](const QueuedLine& line) { return now - line.queued > kHoldLimit; });
  if (dropped > 0) {
    host::Log(host::LogLevel::kWarning,
              "dropped " + std::to_string(dropped) +
                  " line(s) held too long for a channel the bot is out of");
  }
}

void OutboundScheduler::Adopt(SendQueue unsent) {
  queue_ = std::move(unsent);
  queue_.MarkCarried();
}

}  // namespace deckhand::irc
