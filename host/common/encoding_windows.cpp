// Character sets as Windows code pages: the console's output page, converted through UTF-16.
#include <windows.h>

#include <cctype>

#include "host/common/encoding.h"

namespace deckhand::host {
namespace {

// "UTF-8", "cp1252" or "1252" as a code page number; 0 for a name this file does not know.
UINT CodePageOf(const std::string& name) {
  std::string digits = name;
  if (digits.size() > 2 && std::tolower(static_cast<unsigned char>(digits[0])) == 'c' &&
      std::tolower(static_cast<unsigned char>(digits[1])) == 'p') {
    digits.erase(0, 2);
  }
  if (digits == "UTF-8") return CP_UTF8;
  // Code pages are 16-bit numbers; a longer number names none (and would overflow a parse).
  if (digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return 0;
  }
  unsigned long page = std::stoul(digits);
  return page > 0xFFFF ? 0 : static_cast<UINT>(page);
}

// Bytes that make the character at the start of `text` in code page `page`.
std::size_t CharacterLength(UINT page, std::string_view text) {
  auto lead = static_cast<unsigned char>(text[0]);
  if (page == CP_UTF8) {
    std::size_t length = lead < 0x80    ? 1
                         : lead >= 0xF0 ? 4
                         : lead >= 0xE0 ? 3
                         : lead >= 0xC0 ? 2
                                        : 1;
    return length <= text.size() ? length : text.size();
  }
  return IsDBCSLeadByteEx(page, lead) && text.size() >= 2 ? 2 : 1;
}

// Converts one character, or returns false when it is invalid or has no form in `to`.
bool ConvertCharacter(UINT from, UINT to, std::string_view character, std::string& out) {
  wchar_t wide[4];
  int wide_length = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, character.data(),
                                        static_cast<int>(character.size()), wide, 4);
  if (wide_length <= 0) return false;
  char narrow[16];
  BOOL used_default = FALSE;
  BOOL* lossy = to == CP_UTF8 ? nullptr : &used_default;
  DWORD flags = to == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  int narrow_length =
      WideCharToMultiByte(to, flags, wide, wide_length, narrow, sizeof narrow, nullptr, lossy);
  if (narrow_length <= 0 || used_default) return false;
  out.append(narrow, static_cast<std::size_t>(narrow_length));
  return true;
}

}  // namespace

const char* const kLibraryCharset = "932";

std::string DetectTerminalCharset() {
  UINT page = GetConsoleOutputCP();
  return page == 0 ? "UTF-8" : page == CP_UTF8 ? "UTF-8" : std::to_string(page);
}

bool CanConvert(const std::string& from, const std::string& to) {
  UINT from_page = CodePageOf(from);
  UINT to_page = CodePageOf(to);
  return from_page != 0 && to_page != 0 && IsValidCodePage(from_page) && IsValidCodePage(to_page);
}

std::size_t ConvertPrefix(const std::string& from, const std::string& to, std::string_view text,
                          std::string& out) {
  UINT from_page = CodePageOf(from);
  UINT to_page = CodePageOf(to);
  std::size_t done = 0;
  while (done < text.size()) {
    std::size_t length = CharacterLength(from_page, text.substr(done));
    if (!ConvertCharacter(from_page, to_page, text.substr(done, length), out)) break;
    done += length;
  }
  return done;
}

}  // namespace deckhand::host
