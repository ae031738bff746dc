#include "text/text_lists.h"

namespace deckhand {

CardList SplitText(std::string_view text, std::string_view delimiter, unsigned limit) {
  CardList pieces;
  unsigned counter = 1;
  std::size_t found = text.find(delimiter);
  while (found != std::string_view::npos && counter != limit) {
    pieces.emplace_back(text.substr(0, found));
    text.remove_prefix(found + delimiter.size());
    ++counter;
    found = text.find(delimiter);
  }
  pieces.emplace_back(text);
  if (pieces.size() < limit) pieces.resize(limit);
  return pieces;
}

std::string JoinCards(const CardList& list) {
  std::size_t size = 0;
  for (const std::string& card : list) size += card.size() + 1;
  std::string joined;
  joined.reserve(size);
  for (const std::string& card : list) {
    joined += card;
    joined += ',';
  }
  if (!joined.empty()) joined.pop_back();
  return joined;
}

std::string FormatDecimal(std::int32_t n) { return std::to_string(n); }

}  // namespace deckhand
