// Draw's selector: which cards a "draw,<selector>" command takes, by their positions from the top
// of the deck as it was loaded.
//
// The selector is a comma list of tokens. A token is a position ("3") or a range ("2-4", every
// position from the first bound to the second). "3-" ends at its first bound, "-3" starts at 0,
// and a token holding any byte other than digits and '-' takes nothing. Positions count from 1;
// position 0 and positions below the bottom card are passed over, and each position is taken at
// most once per selector, in the order the selector first reaches it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace deckhand {

// What a draw takes when the command gives no selector: the top card.
inline constexpr std::string_view kTopCardSelector = "1";

// The bounds of one token, as unsigned 32-bit numbers. A range whose first bound is above its
// last takes nothing.
struct PositionRange {
  std::uint32_t first = 0;
  std::uint32_t last = 0;
};

// Reads a bound the way the C runtime's atoi reads decimal text: an optional leading '-', then
// the digits up to the first other byte; no digits read as 0. Values beyond a signed 32-bit
// integer saturate to its limits, so a huge bound stays huge instead of wrapping to a small one.
std::int32_t ReadBound(std::string_view text);

// The range a token stands for, or nullopt when the token is skipped (empty, or holding a byte
// other than digits and '-'). The token is cut at its first '-': the first piece is the first
// bound; the rest, further '-' included, is the last bound, or the first bound again when it is
// empty. A negative last bound, read as unsigned, lies past the bottom of any deck.
std::optional<PositionRange> ReadSelectorToken(std::string_view token);

// The cards a selector takes from a deck of `deck_size` cards, as indexes from the top (0 for
// the top card), in the order taken. Costs time linear in the selector's length and the deck's
// size, however large or overlapping its ranges.
std::vector<std::size_t> SelectCards(std::string_view selector, std::size_t deck_size);

}  // namespace deckhand
