// Every reply that reports a shuffle ends with the next shuffle's commitment, " (次#K: 16 hex
// digits)", which is new at every run. Tests of what a game says compare the rest.
#pragma once

#include <regex>
#include <string>

namespace deckhand::testing {

// `text` without the commitments, in UTF-8 or Shift_JIS.
inline std::string WithoutCommitments(const std::string& text) {
  static const std::regex kCommitment(" \\((\xE6\xAC\xA1|\x8E\x9F)#[0-9]+: [0-9a-f]{16}\\)");
  return std::regex_replace(text, kCommitment, "");
}

}  // namespace deckhand::testing
