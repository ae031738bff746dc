#include "host/irc/token_bucket.h"

namespace deckhand::irc {

TokenBucket::TokenBucket(double burst, double lines_per_second)
    : burst_(burst), lines_per_second_(lines_per_second), tokens_(burst) {}

TokenBucket::Clock::duration TokenBucket::WaitBefore(Clock::time_point) { return {}; }

void TokenBucket::Take(Clock::time_point) {}

void TokenBucket::Refill(Clock::time_point) {}

}  // namespace deckhand::irc
