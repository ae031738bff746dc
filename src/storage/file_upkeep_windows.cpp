// Upkeep of the save file on Windows. Names go through the wide functions, as in file_ops.
#include <windows.h>

#include <string>
#include <string_view>

#include "storage/file_upkeep.h"
#include "storage/wide_path_windows.h"

namespace deckhand {
namespace {

// True for one or more digits followed by `end`, at `text`'s start; the rest after `end` goes
// to `rest`.
bool DigitsThen(std::wstring_view text, wchar_t end, std::wstring_view& rest) {
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= L'0' && text[digits] <= L'9') ++digits;
  if (digits == 0 || digits == text.size() || text[digits] != end) return false;
  rest = text.substr(digits + 1);
  return true;
}

// The names CreateTempBeside gives: "<base>.<process id>.<counter>.tmp". File names on Windows
// match without regard to case, so the base and the ending do too.
bool IsTemporaryNameOf(std::wstring_view name, std::wstring_view base) {
  if (name.size() <= base.size() + 1 || name[base.size()] != L'.') return false;
  if (::CompareStringOrdinal(name.data(), static_cast<int>(base.size()), base.data(),
                             static_cast<int>(base.size()), TRUE) != CSTR_EQUAL) {
    return false;
  }
  std::wstring_view rest = name.substr(base.size() + 1);
  return DigitsThen(rest, L'.', rest) && DigitsThen(rest, L'.', rest) &&
         ::CompareStringOrdinal(rest.data(), static_cast<int>(rest.size()), L"tmp", 3, TRUE) ==
             CSTR_EQUAL;
}

}  // namespace

bool IsFileMarkedReadOnly(const std::string& path) {
  DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

void RemoveStaleTemporaryFiles(const std::string& target) {
  std::wstring wide_target = WidePath(target);
  std::size_t separator = wide_target.find_last_of(L"\\/");
  std::wstring directory =
      separator == std::wstring::npos ? std::wstring() : wide_target.substr(0, separator + 1);
  std::wstring base =
      separator == std::wstring::npos ? wide_target : wide_target.substr(separator + 1);
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((wide_target + L".*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    // The pattern also matches short 8.3 names; the long name alone decides.
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        IsTemporaryNameOf(found.cFileName, base)) {
      ::DeleteFileW((directory + found.cFileName).c_str());
    }
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

}  // namespace deckhand
