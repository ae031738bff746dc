// Outgoing flood control: a server drops or delays a client that sends lines faster than it
// allows, so lines leave at a bounded rate with a small burst.
#pragma once

#include <chrono>
#include <cmath>

namespace deckhand::irc {

class TokenBucket {  // outgoing flood control: one token per line
 public:
  using Clock = std::chrono::steady_clock;

  // Holds at most `burst` tokens (at least one; full at the start) and gains `lines_per_second`
  // a second. A rate that is not a positive number limits nothing.
  TokenBucket(double burst, double lines_per_second);

  // How long to wait before the next line may go; zero when a token is there.
  Clock::duration WaitBefore(Clock::time_point now);

  void Take(Clock::time_point now);  // spends one token (call when WaitBefore is zero)

 private:
  bool Limits() const { return lines_per_second_ > 0 && std::isfinite(lines_per_second_); }
  void Refill(Clock::time_point now);

  double burst_;
  double lines_per_second_;
  double tokens_;
  Clock::time_point last_refill_{};
  bool started_ = false;
};

}  // namespace deckhand::irc
