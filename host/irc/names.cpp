#include "host/irc/names.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>

namespace deckhand::irc {
namespace {

char FoldCase(char c, CaseMapping mapping) {
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  if (mapping == CaseMapping::kAscii) return c;
  switch (c) {
    case '[':
      return '{';
    case ']':
      return '}';
    case '\\':
      return '|';
    case '~':
      return mapping == CaseMapping::kRfc1459 ? '^' : c;
    default:
      return c;
  }
}

// The length of the UTF-8 sequence at the start of `text` and its code point; 0 for a byte that
// starts none, which is then kept as it is.
std::size_t DecodeUtf8(std::string_view text, char32_t& code_point) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(0);
  std::size_t length = lead < 0x80                   ? 1
                       : lead >= 0xF0 && lead < 0xF5 ? 4
                       : lead >= 0xE0                ? 3
                       : lead >= 0xC2                ? 2
                                                     : 0;
  if (length == 0 || length > text.size()) return 0;
  code_point = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code_point = code_point << 6 | (byte(i) & 0x3F);
  }
  return length;
}

void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Every letter of a UTF-8 name in lower case, by the C library's Unicode tables (the C.UTF-8
// locale, whatever the process's own locale); bytes that are no UTF-8 stay as they are.
std::string FoldUnicode(std::string_view name) {
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  std::string folded;
  while (!name.empty()) {
    char32_t code_point = 0;
    std::size_t length = DecodeUtf8(name, code_point);
    if (length == 0) {
      folded += name.front();
      name.remove_prefix(1);
      continue;
    }
    if (utf8 != static_cast<locale_t>(0)) {
      code_point = static_cast<char32_t>(towlower_l(static_cast<wint_t>(code_point), utf8));
    } else if (code_point >= 'A' && code_point <= 'Z') {
      code_point += 'a' - 'A';
    }
    AppendUtf8(code_point, folded);
    name.remove_prefix(length);
  }
  return folded;
}

}  // namespace

CaseMapping ParseCaseMapping(std::string_view value) {
  if (value == "ascii") return CaseMapping::kAscii;
  if (value == "strict-rfc1459") return CaseMapping::kStrictRfc1459;
  if (value == "rfc7613" || value == "rfc8265" || value == "precis") return CaseMapping::kUnicode;
  return CaseMapping::kRfc1459;
}

bool SameName(std::string_view a, std::string_view b, CaseMapping mapping) {
  if (mapping == CaseMapping::kUnicode) return FoldUnicode(a) == FoldUnicode(b);
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [mapping](char x, char y) {
    return FoldCase(x, mapping) == FoldCase(y, mapping);
  });
}

std::string FoldName(std::string_view name, CaseMapping mapping) {
  if (mapping == CaseMapping::kUnicode) return FoldUnicode(name);
  std::string folded(name);
  for (char& c : folded) c = FoldCase(c, mapping);
  return folded;
}

}  // namespace deckhand::irc
