// A bounded queue between threads: the server hands commands to the game's thread, and webhook
// calls to the sender's, without ever waiting for room.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace deckhand::discord {

template <typename Item>
class WorkQueue {
 public:
  explicit WorkQueue(std::size_t capacity) : capacity_(capacity) {}

  // False, and `item` not taken, when the queue is full or closed.
  bool TryPush(Item item) {
    {
      std::lock_guard lock(mutex_);
      if (closed_ || items_.size() >= capacity_) return false;
      items_.push_back(std::move(item));
    }
    ready_.notify_one();
    return true;
  }

  // The next item; nullopt once the queue is closed and empty.
  std::optional<Item> Pop() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return closed_ || !items_.empty(); });
    if (items_.empty()) return std::nullopt;
    Item item = std::move(items_.front());
    items_.pop_front();
    return item;
  }

  void Close() {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    ready_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Item> items_;
  std::size_t capacity_;
  bool closed_ = false;
};

}  // namespace deckhand::discord
