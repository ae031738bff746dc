// The current directory on Windows, in the host's ANSI code page.
#include <windows.h>

#include "storage/data_path.h"
#include "storage/wide_path_windows.h"

namespace deckhand {

std::optional<std::string> CurrentDirectory() {
  // No fixed limit: ask how much room the directory needs and grow until it fits, since another
  // thread of the host may change directory between the two calls. The wide function is asked,
  // as the ANSI one fails for a directory longer than 259 characters.
  DWORD needed = ::GetCurrentDirectoryW(0, nullptr);
  for (int attempt = 0; attempt < 8 && needed != 0; ++attempt) {
    std::wstring buffer(needed, L'\0');
    DWORD length = ::GetCurrentDirectoryW(needed, buffer.data());
    if (length == 0) return std::nullopt;
    if (length < needed) {  // it fitted: `length` excludes the NUL
      buffer.resize(length);
      // A directory the code page cannot spell is left to the platform: names are then
      // resolved against it relative, which still reaches the right files.
      return AnsiText(buffer);
    }
    needed = length;  // the size it needs now, NUL included
  }
  return std::nullopt;
}

char PathSeparator() { return '\\'; }

std::optional<std::string> AccessDirectory() { return CurrentDirectory(); }

}  // namespace deckhand
