// The millisecond tick on Windows: the multimedia timer's count since the system started
// (winmm), which wraps after about 49.7 days.
#include <windows.h>
// mmsystem.h builds on the types of windows.h, so it comes second.
#include <mmsystem.h>

#include "random/random.h"

namespace deckhand {

std::uint32_t MillisecondTick() { return static_cast<std::uint32_t>(::timeGetTime()); }

}  // namespace deckhand
