#include "host/irc/token_bucket.h"

#include <algorithm>
#include <cmath>

namespace deckhand::irc {

TokenBucket::TokenBucket(double burst, double lines_per_second)
    : burst_(std::isfinite(burst) ? std::max(burst, 1.0) : 1.0),
      lines_per_second_(lines_per_second),
      tokens_(burst_) {}

void TokenBucket::Refill(Clock::time_point now) {
  if (!started_) {
    started_ = true;
    last_refill_ = now;
    return;
  }
  if (now <= last_refill_) return;  // a clock that stood still or went back gives nothing
  std::chrono::duration<double> elapsed = now - last_refill_;
  tokens_ = std::min(burst_, tokens_ + elapsed.count() * lines_per_second_);
  last_refill_ = now;
}

TokenBucket::Clock::duration TokenBucket::WaitBefore(Clock::time_point now) {
  if (!Limits()) return Clock::duration::zero();
  Refill(now);
  if (tokens_ >= 1.0) return Clock::duration::zero();
  std::chrono::duration<double> wait((1.0 - tokens_) / lines_per_second_);
  return std::max(Clock::duration(1), std::chrono::ceil<Clock::duration>(wait));
}

void TokenBucket::Take(Clock::time_point now) {
  if (!Limits()) return;
  Refill(now);
  tokens_ -= 1.0;  // below zero when taken early: the debt delays the lines after it
}

}  // namespace deckhand::irc
