#include "host/irc/send_queue.h"

#include <algorithm>

namespace deckhand::irc {

void SendQueue::Push(const std::string& sender, std::vector<QueuedLine> lines, bool may_go_ahead) {
  if (lines.empty()) return;
  std::deque<QueuedLine>& queue = by_sender_[sender];
  if (queue.empty()) {
    if (may_go_ahead && lines.size() <= kShortReply) {
      express_.push_back(sender);
    } else {
      turn_.insert(turn_.begin() + static_cast<std::ptrdiff_t>(newcomers_), sender);
      ++newcomers_;
    }
  }
  for (QueuedLine& line : lines) {
    bytes_ += line.line.size();
    ++lines_;
    queue.push_back(std::move(line));
  }
}

std::optional<std::pair<std::string, QueuedLine>> SendQueue::Pop(
    const std::function<bool(const QueuedLine&)>& ready) {
  if (short_in_a_row_ < kShortInARow) {
    if (auto next = PopFrom(express_, ready, true)) {
      ++short_in_a_row_;
      return next;
    }
  }
  short_in_a_row_ = 0;
  if (auto next = PopFrom(turn_, ready, false)) return next;
  return PopFrom(express_, ready, true);
}

std::optional<std::pair<std::string, QueuedLine>> SendQueue::PopFrom(
    Turn& turn, const std::function<bool(const QueuedLine&)>& ready, bool express) {
  for (auto sender = turn.begin(); sender != turn.end(); ++sender) {
    auto found = by_sender_.find(*sender);
    std::deque<QueuedLine>& queue = found->second;
    if (!ready(queue.front())) continue;
    std::pair<std::string, QueuedLine> next{*sender, std::move(queue.front())};
    queue.pop_front();
    bytes_ -= next.second.line.size();
    --lines_;
    if (!express && static_cast<std::size_t>(sender - turn.begin()) < newcomers_) --newcomers_;
    turn.erase(sender);
    // Served: to the back of the round, or out of it.
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
  auto front_ready = [&](const std::string& sender) {
    return ready(by_sender_.at(sender).front());
  };
  return std::any_of(express_.begin(), express_.end(), front_ready) ||
         std::any_of(turn_.begin(), turn_.end(), front_ready);
}

void SendQueue::Forget(Turn& turn, Turn::iterator sender) {
  if (&turn == &turn_ && static_cast<std::size_t>(sender - turn.begin()) < newcomers_) {
    --newcomers_;
  }
  by_sender_.erase(*sender);
  turn.erase(sender);
}

std::size_t SendQueue::DropIf(const std::function<bool(const QueuedLine&)>& expired) {
  std::size_t dropped = 0;
  for (Turn* turn : {&express_, &turn_}) {
    for (std::size_t i = 0; i < turn->size();) {
      std::deque<QueuedLine>& queue = by_sender_[(*turn)[i]];
      std::size_t before = queue.size();
      for (const QueuedLine& line : queue) {
        if (expired(line)) bytes_ -= line.line.size();
      }
      std::erase_if(queue, expired);
      dropped += before - queue.size();
      lines_ -= before - queue.size();
      if (queue.empty()) {
        Forget(*turn, turn->begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        ++i;
      }
    }
  }
  return dropped;
}

void SendQueue::Update(const std::function<void(QueuedLine&)>& change) {
  for (auto& [sender, queue] : by_sender_) {
    for (QueuedLine& line : queue) {
      bytes_ -= line.line.size();
      change(line);
      bytes_ += line.line.size();
    }
  }
}

void SendQueue::MarkCarried() {
  for (auto& [sender, queue] : by_sender_) {
    for (QueuedLine& line : queue) line.carried = true;
  }
}

std::size_t SendQueue::Waiting(const std::string& sender) const {
  auto found = by_sender_.find(sender);
  return found == by_sender_.end() ? 0 : found->second.size();
}

}  // namespace deckhand::irc
