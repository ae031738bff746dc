// The system's cryptographic generator on Windows: RtlGenRandom, exported by advapi32 as
// SystemFunction036, which every Windows since XP has; the DLL so imports system DLLs only.
#include <windows.h>
// ntsecapi.h builds on the types of windows.h, so it comes second.
#include <ntsecapi.h>

#include "random/random.h"

namespace deckhand {

bool FillSystemRandom(void* buffer, std::size_t size) {
  auto* out = static_cast<unsigned char*>(buffer);
  while (size != 0) {
    ULONG chunk = size > 0x10000000u ? 0x10000000u : static_cast<ULONG>(size);
    if (!RtlGenRandom(out, chunk)) return false;
    out += chunk;
    size -= chunk;
  }
  return true;
}

}  // namespace deckhand
