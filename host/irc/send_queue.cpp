#include "host/irc/send_queue.h"

#include <algorithm>

namespace deckhand::irc {

void SendQueue::Push(const std::string& sender, QueuedLine line) {
  std::deque<QueuedLine>& queue = by_sender_[sender];
  if (queue.empty()) {
    turn_.insert(turn_.begin() + static_cast<std::ptrdiff_t>(newcomers_), sender);
    ++newcomers_;
  }
  bytes_ += line.line.size();
  ++lines_;
  queue.push_back(std::move(line));
}

std::optional<std::pair<std::string, QueuedLine>> SendQueue::Pop(
    const std::function<bool(const QueuedLine&)>& ready) {
  for (auto sender = turn_.begin(); sender != turn_.end(); ++sender) {
    auto found = by_sender_.find(*sender);
    std::deque<QueuedLine>& queue = found->second;
    if (!ready(queue.front())) continue;
    std::pair<std::string, QueuedLine> next{*sender, std::move(queue.front())};
    queue.pop_front();
    bytes_ -= next.second.line.size();
    --lines_;
    if (static_cast<std::size_t>(sender - turn_.begin()) < newcomers_) --newcomers_;
    turn_.erase(sender);
    // Served: to the back of the turn, or out of it.
    if (queue.empty()) {
      by_sender_.erase(found);
    } else {
      turn_.push_back(next.first);
    }
    return next;
  }
  return std::nullopt;
}

bool SendQueue::AnyReady(const std::function<bool(const QueuedLine&)>& ready) const {
  return std::any_of(turn_.begin(), turn_.end(), [&](const std::string& sender) {
    return ready(by_sender_.at(sender).front());
  });
}

std::size_t SendQueue::DropIf(const std::function<bool(const QueuedLine&)>& expired) {
  std::size_t dropped = 0;
  for (auto sender = turn_.begin(); sender != turn_.end();) {
    std::deque<QueuedLine>& queue = by_sender_[*sender];
    for (auto line = queue.begin(); line != queue.end();) {
      if (!expired(*line)) {
        ++line;
        continue;
      }
      bytes_ -= line->line.size();
      --lines_;
      ++dropped;
      line = queue.erase(line);
    }
    if (!queue.empty()) {
      ++sender;
      continue;
    }
    by_sender_.erase(*sender);
    if (static_cast<std::size_t>(sender - turn_.begin()) < newcomers_) --newcomers_;
    sender = turn_.erase(sender);
  }
  return dropped;
}

std::size_t SendQueue::Waiting(const std::string& sender) const {
  auto found = by_sender_.find(sender);
  return found == by_sender_.end() ? 0 : found->second.size();
}

void SendQueue::Clear() {
  by_sender_.clear();
  turn_.clear();
  newcomers_ = 0;
  lines_ = 0;
  bytes_ = 0;
}

}  // namespace deckhand::irc
