#include "host/irc/names.h"

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

}  // namespace

CaseMapping ParseCaseMapping(std::string_view value) {
  if (value == "ascii") return CaseMapping::kAscii;
  if (value == "strict-rfc1459") return CaseMapping::kStrictRfc1459;
  return CaseMapping::kRfc1459;
}

bool SameName(std::string_view a, std::string_view b, CaseMapping mapping) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [mapping](char x, char y) {
    return FoldCase(x, mapping) == FoldCase(y, mapping);
  });
}

std::string FoldName(std::string_view name, CaseMapping mapping) {
  std::string folded(name);
  for (char& c : folded) c = FoldCase(c, mapping);
  return folded;
}

}  // namespace deckhand::irc
