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
#include <string>
#include <string_view>
#include <vector>

#include "text/shift_jis.h"

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

// How many of the chosen cards (indexes, as SelectCards gives them), from the first on, can be
// named in a reply text of at most `room` bytes, names joined by commas; `name_of(index)` gives
// a card's name. A card that is removed must be named, so the cards after the first that does
// not fit stay where they are, even when a later, shorter one would fit. A first card too long
// to fit on its own is taken all the same and named cut short (replies are cut at the last whole
// character that fits), since a card that could never be drawn would stop the deck for good;
// only a reply without room for one character of it leaves it in place.
template <typename NameOf>
std::size_t ChosenThatFit(const std::vector<std::size_t>& chosen, std::size_t room,
                          NameOf name_of) {
  std::size_t length = 0;
  for (std::size_t count = 0; count < chosen.size(); ++count) {
    const std::string& card = name_of(chosen[count]);
    std::size_t added = card.size() + (count == 0 ? 0 : 1);
    if (added > room - length) {
      return count == 0 && ShiftJisPrefixLength(card, room) > 0 ? 1 : count;
    }
    length += added;
  }
  return chosen.size();
}

}  // namespace deckhand
