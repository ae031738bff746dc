// Text between the library's Shift_JIS (code page 932) bytes and what an IRC network carries:
// UTF-8, ISO-2022-JP (as Windows writes it, code page 50221) or the Shift_JIS bytes themselves.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace deckhand::irc {

enum class WireEncoding { kUtf8, kIso2022Jp, kShiftJis };

// "utf-8", "iso-2022-jp", "shift_jis" (case-insensitive; "utf8", "sjis" too). nullopt otherwise.
std::optional<WireEncoding> ParseWireEncoding(std::string_view name);

class WireCodec {
 public:
  explicit WireCodec(WireEncoding encoding);

  WireEncoding encoding() const { return encoding_; }

  // Text from the wire in CP932 for the library; nullopt when any of it cannot be converted.
  std::optional<std::string> ToLibrary(std::string_view wire) const;

  // CP932 bytes from the library on the wire; a byte sequence that does not convert becomes a
  // visible mark, nothing dropped silently: U+FFFD in UTF-8, "〓" (the geta mark) in ISO-2022-JP
  // and Shift_JIS.
  std::string ToWire(std::string_view cp932) const;

 private:
  WireEncoding encoding_;
};

}  // namespace deckhand::irc
