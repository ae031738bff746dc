// Comma lists and decimal keys: how decks, selectors and card entry keys travel as text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace deckhand {

// The cards of a deck, top card first. Names may be empty.
using CardList = std::vector<std::string>;

// Cuts `text` at each occurrence of `delimiter` (never empty), producing at most `limit`
// pieces; the last piece keeps any further delimiters. A `limit` of 0 means no limit. When
// fewer than `limit` pieces are found, empty pieces are appended up to exactly `limit`.
// So limit 2 always yields "before the first delimiter" and "everything after it", and
// limit 0 yields n + 1 pieces for n delimiters (an empty text yields one empty piece).
CardList SplitText(std::string_view text, std::string_view delimiter, unsigned limit);

// Joins names with single commas and none at either end. An empty list, and a list of one
// empty name, both give "".
std::string JoinCards(const CardList& list);

// Plain decimal: optional "-", no leading zeros, no padding or separators.
std::string FormatDecimal(std::int32_t n);

}  // namespace deckhand
