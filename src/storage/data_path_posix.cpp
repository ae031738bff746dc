// The current directory on POSIX systems.
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "storage/data_path.h"

namespace deckhand {

std::optional<std::string> CurrentDirectory() {
  // No fixed limit: grow the buffer until the whole directory fits.
  std::vector<char> buffer(512);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

char PathSeparator() { return '/'; }

std::optional<std::string> AccessDirectory() { return std::string("."); }

}  // namespace deckhand
