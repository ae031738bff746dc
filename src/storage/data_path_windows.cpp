// The current directory on Windows, in the host's ANSI code page.
#include <windows.h>

#include "storage/data_path.h"

namespace deckhand {

std::optional<std::string> CurrentDirectory() {
  // No fixed limit: ask how much room the directory needs and grow until it fits, since another
  // thread of the host may change directory between the two calls.
  DWORD needed = ::GetCurrentDirectoryA(0, nullptr);
  for (int attempt = 0; attempt < 8 && needed != 0; ++attempt) {
    std::string buffer(needed, '\0');
    DWORD length = ::GetCurrentDirectoryA(needed, buffer.data());
    if (length == 0) return std::nullopt;
    if (length < needed) {  // it fitted: `length` excludes the NUL
      buffer.resize(length);
      return buffer;
    }
    needed = length;  // the size it needs now, NUL included
  }
  return std::nullopt;
}

char PathSeparator() { return '\\'; }

}  // namespace deckhand
