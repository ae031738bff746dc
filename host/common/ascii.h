// ASCII helpers shared by our programs.
#pragma once

#include <algorithm>
#include <string_view>

namespace deckhand::host {

// True when `a` and `b` are the same text but for the letter case of ASCII letters ("draw",
// "DRAW" and "Draw" match). Bytes outside ASCII must match exactly.
inline bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  // Folded by hand rather than with tolower, whose answer depends on the process's locale.
  auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return fold(x) == fold(y); });
}

}  // namespace deckhand::host
