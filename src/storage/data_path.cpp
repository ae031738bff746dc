#include "storage/data_path.h"

#include "text/shift_jis.h"

namespace deckhand {

namespace {

std::string PathIn(std::optional<std::string> directory, std::string_view name) {
  const char separator = PathSeparator();
  std::string native(name);
  for (std::size_t at = 0; at < native.size(); at += ShiftJisCharLength(native, at)) {
    if (native[at] == '\\') native[at] = separator;
  }
  if (!directory) return native;
  std::string path = std::move(*directory);
  if (path.empty() || path.back() != separator) path += separator;
  return path + native;
}

}  // namespace

std::string MakeDataPath(std::string_view name) { return PathIn(CurrentDirectory(), name); }

std::string MakeAccessPath(std::string_view name) { return PathIn(AccessDirectory(), name); }

}  // namespace deckhand
