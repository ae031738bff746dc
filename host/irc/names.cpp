#include "host/irc/names.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>
#include <optional>

#include "host/common/ascii.h"
#include "host/common/character_references.h"

namespace deckhand::irc {
namespace {

char FoldCase(char c, CaseMapping mapping) {
  if (c >= 'A' && c <= 'Z') return host::LowerAscii(c);
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

// Every letter of a UTF-8 name in lower case, by the C library's Unicode tables (the C.UTF-8
// locale, whatever the process's own locale); bytes that are no UTF-8 stay as they are.
std::string FoldUnicode(std::string_view name) {
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  std::string folded;
  for (std::size_t at = 0; at < name.size();) {
    std::optional<host::Utf8Character> character = host::ReadUtf8(name, at);
    if (!character) {
      folded += name[at++];
      continue;
    }
    char32_t code_point = character->code_point;
    if (utf8 != static_cast<locale_t>(0)) {
      code_point = static_cast<char32_t>(towlower_l(static_cast<wint_t>(code_point), utf8));
    } else if (code_point >= 'A' && code_point <= 'Z') {
      code_point += 'a' - 'A';
    }
    host::AppendUtf8(code_point, folded);
    at += character->length;
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
