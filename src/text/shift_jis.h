// Shift_JIS (code page 932) awareness for byte scans. A lead byte 0x81-0x9F or 0xE0-0xFC
// starts a double-byte character whose second byte may look like ASCII ('[', '\\', 'A'),
// so any scan that cuts, folds or interprets such bytes must step over whole characters.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace deckhand {

inline bool IsShiftJisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Byte count of the character starting at `text[at]`: 2 for a double-byte character that
// is complete, else 1 (a lead byte at the very end stands alone).
inline std::size_t ShiftJisCharLength(std::string_view text, std::size_t at) {
  return IsShiftJisLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1;
}

// The longest prefix length of `text`, at most `max_bytes`, that ends on a character boundary.
std::size_t ShiftJisPrefixLength(std::string_view text, std::size_t max_bytes);

// Folds ASCII A-Z to a-z, leaving second bytes of double-byte characters alone, so that two
// names match without regard to letter case exactly when their folds are equal.
std::string FoldNameCase(std::string_view name);

// True when the two names are equal without regard to ASCII letter case (second bytes of
// double-byte characters compared exactly).
bool NamesMatch(std::string_view a, std::string_view b);

}  // namespace deckhand
