// The paced lines waiting to go, one queue per sender served in turn: each sender with lines
// waiting gets one line out before any sender gets a second, so one player's long replies never
// hold back another's short one. A sender who had nothing waiting joins the round after the
// others who have not been served yet; one whose whole reply is short (a `!count`) goes ahead
// of them all, so that a newcomer waits for a line or two, not one line of every flooding
// player. Four such short lines at most go in a row before the round gets its turn, so that
// the round always moves on. Lines of one sender keep their order.
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
  bool secret = false;   // cards told to one player: kept out of the log
  bool carried = false;  // queued on an earlier link, before a reconnect
  // The identity of the player the line is for, where the bot follows them: it goes only while
  // `target` is theirs (a nick taken by someone else waits).
  std::string target_id = {};
};

class SendQueue {
 public:
  // A reply of at most this many lines from a sender with nothing waiting goes ahead.
  static constexpr std::size_t kShortReply = 3;
  static constexpr std::size_t kShortInARow = 4;

  // The lines of one reply (or notice) to `sender`, the folded nick the lines answer. Only a
  // reply with `may_go_ahead` (a sender with nothing else coming) goes ahead of the round.
  void Push(const std::string& sender, std::vector<QueuedLine> lines, bool may_go_ahead = true);
  // The next line in turn whose target `ready` accepts (a line for a channel the bot is out of
  // waits, and so do that sender's later lines); nullopt when none may go.
  std::optional<std::pair<std::string, QueuedLine>> Pop(
      const std::function<bool(const QueuedLine&)>& ready);
  // True when Pop would give a line.
  bool AnyReady(const std::function<bool(const QueuedLine&)>& ready) const;
  // Drops the lines `expired` accepts; returns how many.
  std::size_t DropIf(const std::function<bool(const QueuedLine&)>& expired);

  // Marks every line waiting as carried over from an earlier link.
  void MarkCarried();
  // Lets `change` rewrite each line waiting (a player's lines follow them to a new nick).
  void Update(const std::function<void(QueuedLine&)>& change);

  std::size_t Waiting(const std::string& sender) const;
  std::size_t lines() const { return lines_; }
  std::size_t bytes() const { return bytes_; }
  bool empty() const { return lines_ == 0; }

 private:
  using Turn = std::deque<std::string>;
  std::optional<std::pair<std::string, QueuedLine>> PopFrom(
      Turn& turn, const std::function<bool(const QueuedLine&)>& ready, bool express);
  void Forget(Turn& turn, Turn::iterator sender);

  std::map<std::string, std::deque<QueuedLine>> by_sender_;
  Turn express_;               // senders of a short reply who had nothing waiting
  Turn turn_;                  // everyone else with lines waiting, next first
  std::size_t newcomers_ = 0;  // at the front of turn_, not yet served
  std::size_t short_in_a_row_ = 0;
  std::size_t lines_ = 0;
  std::size_t bytes_ = 0;
};

}  // namespace deckhand::irc
