#include "storage/data_path.h"

#include "text/shift_jis.h"

namespace deckhand {

std::string MakeDataPath(std::string_view name) {
  const char separator = PathSeparator();
  std::string native(name);
  for (std::size_t at = 0; at < native.size(); at += ShiftJisCharLength(native, at)) {
    if (native[at] == '\\') native[at] = separator;
  }
  std::optional<std::string> directory = CurrentDirectory();
  if (!directory) return native;
  std::string path = std::move(*directory);
  if (path.empty() || path.back() != separator) path += separator;
  return path + native;
}

}  // namespace deckhand
