// Upkeep of the save file on POSIX systems.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "storage/file_upkeep.h"

namespace deckhand {
namespace {

// True for one or more ASCII digits followed by `end`, at `text`'s start; the rest after `end`
// goes to `rest`.
bool DigitsThen(std::string_view text, char end, std::string_view& rest) {
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  if (digits == 0 || digits == text.size() || text[digits] != end) return false;
  rest = text.substr(digits + 1);
  return true;
}

// The names CreateTempBeside gives: ".<base>.<process id>.<counter>.tmp".
bool IsTemporaryNameOf(std::string_view name, std::string_view base) {
  std::string prefix = "." + std::string(base) + ".";
  if (name.substr(0, prefix.size()) != prefix) return false;
  std::string_view rest = name.substr(prefix.size());
  return DigitsThen(rest, '.', rest) && DigitsThen(rest, '.', rest) && rest == "tmp";
}

}  // namespace

bool IsFileMarkedReadOnly(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0222) == 0;
}

void RemoveStaleTemporaryFiles(const std::string& target) {
  std::size_t slash = target.find_last_of('/');
  std::string directory = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  DIR* entries = ::opendir(directory.c_str());
  if (entries == nullptr) return;
  while (const dirent* entry = ::readdir(entries)) {
    if (IsTemporaryNameOf(entry->d_name, base)) ::unlinkat(::dirfd(entries), entry->d_name, 0);
  }
  ::closedir(entries);
}

}  // namespace deckhand
