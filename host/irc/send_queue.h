// The paced lines waiting to go, one queue per sender served in turn: each sender with lines
// waiting gets one line out before any sender gets a second, so one player's long replies never
// hold back another's short one. A sender who had nothing waiting joins the round next in turn
// (after other such newcomers), so a newcomer's `!count` waits for one line, not one line of
// every flooding player. Lines of one sender keep their order.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace deckhand::irc {

struct QueuedLine {
  std::string line;    // without CR LF
  std::string target;  // the line's first parameter (a channel or a nick)
  std::chrono::steady_clock::time_point queued{};
  bool secret = false;  // cards told to one player: kept out of the log
};

class SendQueue {
 public:
  // `sender` is the folded nick the line answers.
  void Push(const std::string& sender, QueuedLine line);
  // The next line in turn whose target `ready` accepts (a line for a channel the bot is out of
  // waits, and so do that sender's later lines); nullopt when none may go.
  std::optional<std::pair<std::string, QueuedLine>> Pop(
      const std::function<bool(const QueuedLine&)>& ready);
  // True when Pop would give a line.
  bool AnyReady(const std::function<bool(const QueuedLine&)>& ready) const;
  // Drops the lines `expired` accepts; returns how many.
  std::size_t DropIf(const std::function<bool(const QueuedLine&)>& expired);

  std::size_t Waiting(const std::string& sender) const;
  std::size_t lines() const { return lines_; }
  std::size_t bytes() const { return bytes_; }
  bool empty() const { return lines_ == 0; }
  void Clear();

 private:
  std::map<std::string, std::deque<QueuedLine>> by_sender_;
  std::deque<std::string> turn_;  // senders with lines waiting, next first
  std::size_t newcomers_ = 0;     // at the front of turn_, not yet served
  std::size_t lines_ = 0;
  std::size_t bytes_ = 0;
};

}  // namespace deckhand::irc
