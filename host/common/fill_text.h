// Placeholders in configurable texts ("{nick}", "{count}"...), filled the same way by every host.
#pragma once

#include <string>
#include <string_view>

namespace deckhand::host {

// `text` with every placeholder of `fills` (pairs of a name such as "{nick}" and its value)
// replaced, in one pass, so that a value such as "{count}" is shown as it is and never filled in
// itself.
template <typename Fills>
std::string FillPlaceholders(std::string_view text, const Fills& fills) {
  std::string filled;
  while (!text.empty()) {
    bool replaced = false;
    for (const auto& [name, value] : fills) {
      if (text.starts_with(name)) {
        filled += value;
        text.remove_prefix(std::string_view(name).size());
        replaced = true;
        break;
      }
    }
    if (!replaced) {
      filled += text.front();
      text.remove_prefix(1);
    }
  }
  return filled;
}

}  // namespace deckhand::host
