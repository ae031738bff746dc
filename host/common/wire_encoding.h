// The encodings a chat network carries, as the settings name them, and what each can show of
// the library's texts. Chat programs convert with host/common/wire_codec.h; the card-set
// checker, on every system, warns about what a network cannot show.
#pragma once

#include <optional>
#include <string_view>

namespace deckhand::host {

enum class WireEncoding { kUtf8, kIso2022Jp, kShiftJis };

// "utf-8", "iso-2022-jp", "shift_jis" (case-insensitive; "utf8", "sjis" too). nullopt otherwise.
std::optional<WireEncoding> ParseWireEncoding(std::string_view name);

// The name the settings use: "utf-8", "iso-2022-jp" or "shift_jis".
std::string_view WireEncodingName(WireEncoding encoding);

// True when the network carries the character a reference ("&#x2660;") stands for; elsewhere
// the reference goes as it stands. Only UTF-8 holds every character.
bool CarriesReferencedCharacters(WireEncoding encoding);

}  // namespace deckhand::host
