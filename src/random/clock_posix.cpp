// The millisecond tick on POSIX systems: the monotonic clock, which counts from an unspecified
// start (usually the boot) and never jumps with the wall clock.
#include <time.h>

#include "random/random.h"

namespace deckhand {

std::uint32_t MillisecondTick() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  std::uint64_t milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                               static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  // Wraps after about 49.7 days, as the Windows tick does.
  return static_cast<std::uint32_t>(milliseconds);
}

}  // namespace deckhand
