// Names for parameterised cases, the fourth argument of INSTANTIATE_TEST_SUITE_P, so that test
// listings and CTest say what each case is about rather than give its number or its bytes.
// GoogleTest takes names of ASCII letters, digits and underscores only.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace deckhand::testing {

inline bool IsNameCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// A description ("CR ends a value among LF lines") as a name: its words run together, each
// begun with a capital ("CREndsAValueAmongLFLines"). An apostrophe belongs to its word.
inline std::string NameOfWords(std::string_view words) {
  std::string name;
  bool word_start = true;
  for (char c : words) {
    if (c == '\'') continue;
    if (!IsNameCharacter(c)) {
      word_start = true;
      continue;
    }
    name += word_start && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    word_start = false;
  }
  return name;
}

// Names a case after a description of it, the field given: NameFrom<&ReadCase::rule>().
template <auto kField>
struct NameFrom {
  template <typename Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    return NameOfWords(info.param.*kField);
  }
};

// Names a case that has no description after what its PrintTo shows, cut short, behind the
// case's number: cases may look alike once cut down to a name. Letters and digits are kept, a
// sign ("-3", "3--1", "+7") becomes a word, and every run of other bytes one underscore.
struct NameFromPrinted {
  template <typename Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    constexpr std::size_t kMaxShown = 48;
    std::string shown;
    bool gap = true;
    for (char c : ::testing::PrintToString(info.param)) {
      if (shown.size() >= kMaxShown) break;
      std::string_view word = c == '-' ? "dash" : c == '+' ? "plus" : "";
      if (!word.empty()) {
        shown.append("_").append(word);
        gap = true;
      } else if (!IsNameCharacter(c)) {
        gap = true;
      } else {
        if (gap) shown += '_';
        shown += c;
        gap = false;
      }
    }
    return std::to_string(info.index) + shown;
  }
};

}  // namespace deckhand::testing
