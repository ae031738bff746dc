// The system's cryptographic generator on Linux: getrandom, which waits only until the kernel's
// generator is first seeded at boot and never fails afterwards, short of a broken kernel.
#include <sys/random.h>

#include <cerrno>

#include "random/random.h"

namespace deckhand {

bool FillSystemRandom(void* buffer, std::size_t size) {
  auto* out = static_cast<unsigned char*>(buffer);
  while (size != 0) {
    ssize_t got = ::getrandom(out, size, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace deckhand
