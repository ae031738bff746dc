#include "storage/wide_path_windows.h"

#include <windows.h>

namespace deckhand {
namespace {

// Paths shorter than this pass to the wide functions as they are; longer ones need the prefix.
// The limit for a directory (248) is below that for a file (260), and leaves room for the
// suffix of a temporary file.
constexpr std::size_t kClassicPathLimit = 248;

std::wstring Widen(const std::string& text) {
  if (text.empty()) return std::wstring();
  int size = static_cast<int>(text.size());
  int length = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::optional<std::wstring> FullPath(const std::wstring& path) {
  DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::nullopt;
  std::wstring full(needed, L'\0');
  DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return std::nullopt;
  full.resize(length);
  return full;
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.rfind(prefix, 0) == 0;
}

}  // namespace

std::wstring WidePath(const std::string& path) {
  std::wstring wide = Widen(path);
  if (wide.size() < kClassicPathLimit || StartsWith(wide, L"\\\\?\\")) return wide;
  // The prefix turns off the platform's own clean-up of the path, so do it first ("..", "/").
  std::optional<std::wstring> full = FullPath(wide);
  if (!full) return wide;
  if (StartsWith(*full, L"\\\\?\\")) return *full;
  if (StartsWith(*full, L"\\\\")) return L"\\\\?\\UNC\\" + full->substr(2);
  return L"\\\\?\\" + *full;
}

std::optional<std::string> AnsiText(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = static_cast<int>(text.size());
  BOOL lossy = FALSE;
  int length = ::WideCharToMultiByte(CP_ACP, 0, text.data(), size, nullptr, 0, nullptr, &lossy);
  if (length <= 0 || lossy) return std::nullopt;
  std::string ansi(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text.data(), size, ansi.data(), length, nullptr, nullptr);
  return ansi;
}

}  // namespace deckhand
