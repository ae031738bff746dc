#include "table/draw_selector.h"

#include <algorithm>
#include <limits>

#include "text/text_lists.h"

namespace deckhand {
namespace {

// The only bytes a token may hold; any other makes the whole token take nothing.
constexpr std::string_view kTokenBytes = "0123456789-";
constexpr std::string_view kRangeMark = "-";
constexpr std::string_view kTokenSeparator = ",";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The positions 1 to deck_size not yet taken by this selector. Each position remembers a
// position at or after it that may still be free; following and shortening those links skips a
// run of taken positions at once, so a range laid over positions that earlier tokens took costs
// nearly nothing, and a selector repeating "1-100000" thousands of times stays linear.
class UntakenPositions {
 public:
  explicit UntakenPositions(std::size_t deck_size) : next_free_(deck_size + 2) {
    for (std::size_t p = 0; p < next_free_.size(); ++p) next_free_[p] = p;
  }

  // The first untaken position at or after `p` (deck_size + 1 when none is left).
  // `p` must be at most deck_size + 1.
  std::size_t FirstFrom(std::size_t p) {
    while (next_free_[p] != p) {
      next_free_[p] = next_free_[next_free_[p]];
      p = next_free_[p];
    }
    return p;
  }

  // Marks `p` (1 to deck_size) as taken.
  void Take(std::size_t p) { next_free_[p] = p + 1; }

 private:
  std::vector<std::size_t> next_free_;
};

// Appends to `taken` the index of every position of `range` that is on the deck and not yet
// taken, lowest first, and marks them taken. The walk never goes past the bottom card.
void TakeRange(PositionRange range, std::size_t deck_size, UntakenPositions& untaken,
               std::vector<std::size_t>& taken) {
  if (range.first > range.last) return;
  std::size_t first = std::max<std::size_t>(range.first, 1);
  std::size_t last = static_cast<std::size_t>(
      std::min<std::uint64_t>(range.last, static_cast<std::uint64_t>(deck_size)));
  if (first > last) return;
  for (std::size_t p = untaken.FirstFrom(first); p <= last; p = untaken.FirstFrom(p + 1)) {
    untaken.Take(p);
    taken.push_back(p - 1);
  }
}

}  // namespace

std::int32_t ReadBound(std::string_view text) {
  constexpr std::int64_t kLargest = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kMostNegative = std::numeric_limits<std::int32_t>::min();
  bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  // Capped at the magnitude of the most negative value, so the sum below cannot overflow.
  std::int64_t magnitude = 0;
  for (char c : text) {
    if (!IsDigit(c)) break;
    magnitude = std::min(magnitude * 10 + (c - '0'), -kMostNegative);
  }
  return static_cast<std::int32_t>(negative ? -magnitude : std::min(magnitude, kLargest));
}

std::optional<PositionRange> ReadSelectorToken(std::string_view token) {
  if (token.empty()) return std::nullopt;
  if (token.find_first_not_of(kTokenBytes) != std::string_view::npos) return std::nullopt;
  CardList bounds = SplitText(token, kRangeMark, 2);
  PositionRange range;
  range.first = static_cast<std::uint32_t>(ReadBound(bounds[0]));
  range.last = bounds[1].empty() ? range.first : static_cast<std::uint32_t>(ReadBound(bounds[1]));
  return range;
}

std::vector<std::size_t> SelectCards(std::string_view selector, std::size_t deck_size) {
  std::vector<std::size_t> taken;
  UntakenPositions untaken(deck_size);
  for (const std::string& token : SplitText(selector, kTokenSeparator, 0)) {
    std::optional<PositionRange> range = ReadSelectorToken(token);
    if (range) TakeRange(*range, deck_size, untaken, taken);
  }
  return taken;
}

}  // namespace deckhand
