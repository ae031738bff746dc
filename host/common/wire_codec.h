// Text between the library's Shift_JIS (code page 932) bytes and what an IRC network carries:
// UTF-8, ISO-2022-JP (as Windows writes it, code page 50221) or the Shift_JIS bytes themselves.
//
// What does not come back byte for byte after a trip to the wire and back:
// - UTF-8: a character that code page 932 holds under two codes comes back under the code the
//   converter prefers: the NEC row 13 copies of row 2 symbols (0x8790-0x8792, 0x8795-0x8797,
//   0x879A-0x879C) as their row 2 codes, the NEC-selected IBM extensions (0xED40-0xEEFC) as the
//   IBM extensions (0xFA40-0xFC4B; 0xEEF9 as 0x81CA), and the IBM extensions that NEC row 13 or
//   row 2 also hold (0xFA4A-0xFA54, 0xFA58-0xFA5B) as those. The user-defined area (0xF040-0xF9FC)
//   travels as the private-use characters U+E000-U+E757 and comes back.
// - ISO-2022-JP: JIS X 0208 has 94 rows. Rows 1-92 go as they are, NEC row 13 and the
//   NEC-selected IBM extensions (rows 89-92) included, as Windows does. The IBM extensions
//   (0xFA40-0xFC4B) are written as the same character's code in those rows and come back so; the
//   user-defined area (0xF040-0xF9FC) has no form there and is written as the mark "〓".
// - Shift_JIS: every character the converter accepts goes as it is.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "host/common/wire_encoding.h"

namespace deckhand::host {

// The length of the code page 932 character at the start of `text` (not empty), by the shape of
// its bytes: two for a lead byte followed by a trail byte, else one. A character reference
// ("&#x2660;", host/common/character_references.h) counts as one character, so that no line is
// cut inside one; on a UTF-8 wire it goes as its character, elsewhere as it stands.
std::size_t Cp932CharacterLength(std::string_view text);

class WireCodec {
 public:
  explicit WireCodec(WireEncoding encoding);

  WireEncoding encoding() const { return encoding_; }

  // Text from the wire in CP932 for the library; nullopt when any of it cannot be converted or
  // it holds NUL, CR or LF, which would cut the library's command short.
  std::optional<std::string> ToLibrary(std::string_view wire) const;

  // CP932 bytes from the library on the wire; a byte sequence that does not convert becomes a
  // visible mark, nothing dropped silently: U+FFFD in UTF-8, "〓" (the geta mark) in ISO-2022-JP
  // and Shift_JIS. NUL, CR and LF, which no IRC line can carry, \x01 (CTCP) and ESC, which a client
  // would act on, and (in ISO-2022-JP) the escape and shift bytes, which would change the reader's
  // state, become the mark too.
  std::string ToWire(std::string_view cp932) const;

  // Builds one line's wire form a character at a time, for cutting a text into lines that fit.
  class LineWriter {
   public:
    explicit LineWriter(WireEncoding encoding) : encoding_(encoding) {}
    // Appends one CP932 character (as Cp932CharacterLength measures it).
    void Append(std::string_view cp932_character);
    // The size of the line if it ended now (with the return to ASCII that ISO-2022-JP needs).
    std::size_t SizeIfEndedNow() const;
    // The line, ended.
    std::string Finish() &&;

   private:
    enum class Mode { kAscii, kJis, kKana };
    void SwitchTo(Mode mode);

    WireEncoding encoding_;
    std::string wire_;
    Mode mode_ = Mode::kAscii;
  };

 private:
  std::optional<std::string> Decode(std::string_view wire) const;

  WireEncoding encoding_;
};

}  // namespace deckhand::host
