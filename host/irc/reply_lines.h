// A reply longer than one IRC line, cut into lines that each fit.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "host/common/wire_codec.h"

namespace deckhand::irc {

// Ends a piece cut inside a card, and starts the piece that carries on with it: "Ace of Sp..."
// then "...ades,2 of Spades". Every other piece but the last ends with the comma after a card.
inline constexpr std::string_view kCardContinues = "...";

// Splits a reply text (CP932, as the library wrote it after "NOTICE <target> ") into pieces
// whose wire form (codec.ToWire) is each at most max_wire_bytes. Splits after a comma between
// cards where a card fits, else at a character boundary; a card cut over two pieces is marked so
// that a reader sees it continues. Every byte of the text appears in exactly one piece, in order.
// An empty text gives no piece. A limit too small for one character and the two marks still
// gives one character a piece, over the limit (the bot's limits are hundreds of bytes).
std::vector<std::string> SplitReplyForWire(std::string_view cp932_text,
                                           const host::WireCodec& codec,
                                           std::size_t max_wire_bytes);  // returns wire bytes

}  // namespace deckhand::irc
