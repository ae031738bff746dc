#include "host/irc/send_queue.h"

#include <algorithm>

namespace deckhand::irc {

void SendQueue::Push(const std::string& sender, std::vector<QueuedLine> lines, bool first) {
  if (lines.empty()) return;
  SenderLines& waiting = by_sender_[sender];
  if (waiting.lines.empty()) waiting.arrival = arrivals_++;
  waiting.first = first;
  Charge(sender, lines.size(), lines.front().queued);
  for (QueuedLine& line : lines) {
    bytes_ += line.line.size();
    ++lines_;
    waiting.lines.push_back(std::move(line));
  }
}

void SendQueue::Charge(const std::string& sender, std::size_t lines, Clock::time_point now) {
  Usage& usage = used_[sender];
  if (usage.lines == 0 || now - usage.since >= kRemembered) usage = {now, 0};
  usage.lines += lines;
}

SendQueue::Turn SendQueue::TurnOf(const std::string& sender, const SenderLines& lines,
                                  Clock::time_point now) const {
  auto found = served_.find(sender);
  if (found == served_.end() || now - found->second >= kRemembered) {
    auto used = used_.find(sender);
    std::size_t caused =
        used == used_.end() || now - used->second.since >= kRemembered ? 0 : used->second.lines;
    return {!lines.first, false, caused, {}, lines.arrival};
  }
  return {!lines.first, true, 0, found->second, lines.arrival};
}

void SendQueue::ForgetServedBefore(Clock::time_point now) {
  std::erase_if(served_, [&](const auto& entry) { return now - entry.second >= kRemembered; });
  std::erase_if(used_, [&](const auto& entry) {
    return now - entry.second.since >= kRemembered && !by_sender_.contains(entry.first);
  });
  while (used_.size() > kMostRemembered) used_.erase(used_.begin());
  while (served_.size() > kMostRemembered) {
    served_.erase(
        std::min_element(served_.begin(), served_.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; }));
  }
}

std::optional<std::pair<std::string, QueuedLine>> SendQueue::Pop(const Ready& ready,
                                                                 Clock::time_point now) {
  auto next = by_sender_.end();
  Turn next_turn;
  for (auto sender = by_sender_.begin(); sender != by_sender_.end(); ++sender) {
    if (!ready(sender->second.lines.front())) continue;
    Turn turn = TurnOf(sender->first, sender->second, now);
    if (next == by_sender_.end() || turn < next_turn) {
      next = sender;
      next_turn = turn;
    }
  }
  if (next == by_sender_.end()) return std::nullopt;
  std::pair<std::string, QueuedLine> line{next->first, std::move(next->second.lines.front())};
  next->second.lines.pop_front();
  bytes_ -= line.second.line.size();
  --lines_;
  if (next->second.lines.empty()) by_sender_.erase(next);
  served_[line.first] = now;
  ForgetServedBefore(now);
  return line;
}

bool SendQueue::AnyReady(const Ready& ready) const {
  return std::any_of(by_sender_.begin(), by_sender_.end(),
                     [&](const auto& entry) { return ready(entry.second.lines.front()); });
}

std::size_t SendQueue::DropIf(const Ready& expired) {
  std::size_t dropped = 0;
  for (auto sender = by_sender_.begin(); sender != by_sender_.end();) {
    std::deque<QueuedLine>& queue = sender->second.lines;
    for (const QueuedLine& line : queue) {
      if (expired(line)) bytes_ -= line.line.size();
    }
    std::size_t before = queue.size();
    std::erase_if(queue, expired);
    dropped += before - queue.size();
    lines_ -= before - queue.size();
    sender = queue.empty() ? by_sender_.erase(sender) : std::next(sender);
  }
  return dropped;
}

void SendQueue::Update(const std::function<void(QueuedLine&)>& change) {
  for (auto& [sender, waiting] : by_sender_) {
    for (QueuedLine& line : waiting.lines) {
      bytes_ -= line.line.size();
      change(line);
      bytes_ += line.line.size();
    }
  }
}

void SendQueue::MarkCarried() {
  for (auto& [sender, waiting] : by_sender_) {
    for (QueuedLine& line : waiting.lines) line.carried = true;
  }
}

std::size_t SendQueue::Waiting(const std::string& sender) const {
  auto found = by_sender_.find(sender);
  return found == by_sender_.end() ? 0 : found->second.lines.size();
}

}  // namespace deckhand::irc
