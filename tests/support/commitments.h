// Every reply that reports a shuffle ends with the next shuffle's commitment, " (次#K: 16 hex
// digits)", which is new at every run. Tests of what a game says compare the rest.
#pragma once

#include <cstddef>
#include <string>

namespace deckhand::testing {

// `text` without the commitments, in UTF-8 or Shift_JIS.
inline std::string WithoutCommitments(std::string text) {
  constexpr std::size_t kShownDigits = 16;
  auto is_hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
  for (const std::string opening : {" (\xE6\xAC\xA1#", " (\x8E\x9F#"}) {
    for (std::size_t at = text.find(opening); at != std::string::npos;
         at = text.find(opening, at + 1)) {
      std::size_t end = at + opening.size();
      std::size_t digits = end;
      while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
      if (end == digits || text.compare(end, 2, ": ") != 0) continue;
      end += 2;
      std::size_t hex = 0;
      while (end < text.size() && hex < kShownDigits && is_hex(text[end])) ++end, ++hex;
      if (hex != kShownDigits || end >= text.size() || text[end] != ')') continue;
      text.erase(at, end + 1 - at);
    }
  }
  return text;
}

}  // namespace deckhand::testing
