#include "text/shift_jis.h"

namespace deckhand {
namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::size_t ShiftJisPrefixLength(std::string_view text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return text.size();
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t next = at + ShiftJisCharLength(text, at);
    if (next > max_bytes) break;
    at = next;
  }
  return at;
}

std::string FoldNameCase(std::string_view name) {
  std::string folded(name);
  for (std::size_t at = 0; at < folded.size();) {
    std::size_t length = ShiftJisCharLength(folded, at);
    if (length == 1) folded[at] = FoldAscii(folded[at]);
    at += length;
  }
  return folded;
}

bool NamesMatch(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  // Every key of a save file is compared with the target, so equal bytes take the short way:
  // only a byte that differs needs folding, and a byte that differs can only match as the
  // other case of an ASCII letter (a lead byte is no letter, so it never folds to the other).
  for (std::size_t at = 0; at < a.size(); ++at) {
    if (a[at] == b[at]) {
      if (ShiftJisCharLength(a, at) == 2) {
        ++at;  // the second byte of a double-byte character is compared exactly
        if (a[at] != b[at]) return false;
      }
    } else if (FoldAscii(a[at]) != FoldAscii(b[at])) {
      return false;
    }
  }
  return true;
}

}  // namespace deckhand
