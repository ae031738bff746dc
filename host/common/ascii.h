// ASCII helpers shared by our programs.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace deckhand::host {

// An ASCII letter in lower case; any other byte as it is. By hand rather than with tolower,
// whose answer depends on the process's locale.
inline char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// `text` with its ASCII letters in lower case.
inline std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = LowerAscii(c);
  return lower;
}

// True when `a` and `b` are the same text but for the letter case of ASCII letters ("draw",
// "DRAW" and "Draw" match). Bytes outside ASCII must match exactly.
inline bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

}  // namespace deckhand::host
