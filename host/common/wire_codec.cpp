#include "host/common/wire_codec.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "host/common/character_references.h"
#include "host/common/encoding.h"

namespace deckhand::host {
namespace {

constexpr char kEscape = '\x1B';
constexpr std::string_view kToAscii = "\x1B(B";
constexpr std::string_view kToJis = "\x1B$B";
constexpr std::string_view kToKana = "\x1B(I";
constexpr std::string_view kGetaCp932 = "\x81\xAC";            // 〓
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";  // U+FFFD

bool IsLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}
bool IsTrailByte(unsigned char byte) {
  return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}
bool IsHalfWidthKatakana(unsigned char byte) { return byte >= 0xA1 && byte <= 0xDF; }

// A two-byte code as one number, lead byte first.
std::uint16_t CodeOf(std::string_view character) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(character[0]) << 8 |
                                    static_cast<unsigned char>(character[1]));
}

// What code page 932 holds, as the system's converter sees it: the Unicode code point of every
// one- and two-byte code (0 where it accepts none), and for the IBM extensions the code of the
// same character below the user-defined area, which ISO-2022-JP can carry.
class Cp932Table {
 public:
  static const Cp932Table& Get() {
    static const Cp932Table table;
    return table;
  }

  char32_t Single(unsigned char byte) const { return single_[byte]; }
  char32_t Double(std::uint16_t code) const { return double_[code]; }
  // The code below 0xF040 of the character at `code`; 0 when there is none.
  std::uint16_t BelowUserArea(std::uint16_t code) const {
    auto found = below_user_area_.find(double_[code]);
    return found == below_user_area_.end() ? 0 : found->second;
  }

 private:
  Cp932Table() : double_(0x10000, 0) {
    iconv_t converter = iconv_open("UTF-32LE", kLibraryCharset);
    if (converter == reinterpret_cast<iconv_t>(-1)) return;  // then every code is refused
    for (unsigned byte = 0; byte < 0x100; ++byte) {
      char bytes[1] = {static_cast<char>(byte)};
      single_[byte] = CodePoint(converter, std::string_view(bytes, 1));
    }
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
      if (!IsLeadByte(static_cast<unsigned char>(lead))) continue;
      for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
        if (!IsTrailByte(static_cast<unsigned char>(trail))) continue;
        char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        char32_t code_point = CodePoint(converter, std::string_view(bytes, 2));
        std::uint16_t code = static_cast<std::uint16_t>(lead << 8 | trail);
        double_[code] = code_point;
        if (code_point != 0 && code < 0xF040) below_user_area_.emplace(code_point, code);
      }
    }
    iconv_close(converter);
  }

  // The code point of one whole character; 0 when the converter refuses it.
  static char32_t CodePoint(iconv_t converter, std::string_view character) {
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(character.data());  // iconv's signature; it does not write it
    std::size_t in_left = character.size();
    unsigned char out_bytes[8];
    char* out = reinterpret_cast<char*>(out_bytes);
    std::size_t out_left = sizeof out_bytes;
    std::size_t result = iconv(converter, &in, &in_left, &out, &out_left);
    if (result == static_cast<std::size_t>(-1) || in_left != 0 || out_left != 4) return 0;
    return static_cast<char32_t>(out_bytes[0] | out_bytes[1] << 8 | out_bytes[2] << 16 |
                                 static_cast<std::uint32_t>(out_bytes[3]) << 24);
  }

  std::array<char32_t, 0x100> single_{};
  std::vector<char32_t> double_;
  std::unordered_map<char32_t, std::uint16_t> below_user_area_;  // the first code wins
};

// The code point of one CP932 character; 0 when the converter does not accept it.
char32_t CodePointOf(std::string_view character) {
  const Cp932Table& table = Cp932Table::Get();
  if (character.size() == 2) return table.Double(CodeOf(character));
  return table.Single(static_cast<unsigned char>(character[0]));
}

// Bytes no IRC line can carry, as they would end the line or cut it short, and those a client
// acts on rather than shows: \x01 makes a NOTICE a CTCP reply, ESC starts a terminal sequence.
bool BreaksIrcLine(std::string_view character) {
  return character.size() == 1 &&
         std::string_view("\0\r\n\x01\x1B", 5).find(character[0]) != std::string_view::npos;
}

// Row and cell (each 0x21-0x7E) of a two-byte Shift_JIS code, by the arithmetic between the two
// forms. Lead bytes past 0xEF give rows past 94, which JIS X 0208 does not have.
std::pair<unsigned, unsigned> JisOfShiftJis(std::uint16_t code) {
  unsigned lead = code >> 8;
  unsigned trail = code & 0xFF;
  unsigned row_pair = lead >= 0xE0 ? lead - 0xC1 : lead - 0x81;  // 0 for rows 1 and 2
  if (trail >= 0x9F) return {0x21 + row_pair * 2 + 1, trail - 0x7E};
  return {0x21 + row_pair * 2, trail >= 0x80 ? trail - 0x20 : trail - 0x1F};
}

std::uint16_t ShiftJisOfJis(unsigned row_byte, unsigned cell_byte) {
  unsigned row_index = row_byte - 0x21;  // 0-93
  unsigned lead = row_index / 2 + (row_index < 62 ? 0x81 : 0xC1);
  unsigned trail;
  if (row_index % 2 == 1) {
    trail = cell_byte + 0x7E;
  } else {
    trail = cell_byte + (cell_byte >= 0x60 ? 0x20 : 0x1F);
  }
  return static_cast<std::uint16_t>(lead << 8 | trail);
}

// ISO-2022-JP as Windows reads it: ASCII (also JIS-Roman), JIS X 0208 (both its escapes) and
// half-width katakana (by escape or by shift-out). nullopt on anything else.
std::optional<std::string> Iso2022JpToCp932(std::string_view wire) {
  enum class Mode { kAscii, kJis, kKana } mode = Mode::kAscii;
  bool shifted_out = false;  // SO ... SI: katakana whatever the escape said
  std::string out;
  std::size_t i = 0;
  while (i < wire.size()) {
    unsigned char byte = static_cast<unsigned char>(wire[i]);
    if (byte == static_cast<unsigned char>(kEscape)) {
      std::string_view sequence = wire.substr(i, 3);
      if (sequence == "\x1B(B" || sequence == "\x1B(J") {
        mode = Mode::kAscii;
      } else if (sequence == "\x1B$B" || sequence == "\x1B$@") {
        mode = Mode::kJis;
      } else if (sequence == "\x1B(I") {
        mode = Mode::kKana;
      } else {
        return std::nullopt;
      }
      i += 3;
      continue;
    }
    if (byte == 0x0E || byte == 0x0F) {
      shifted_out = byte == 0x0E;
      ++i;
      continue;
    }
    if (byte >= 0x80) return std::nullopt;
    if (shifted_out || mode == Mode::kKana) {
      if (byte < 0x21 || byte > 0x5F) return std::nullopt;
      out += static_cast<char>(byte + 0x80);
      ++i;
    } else if (mode == Mode::kJis) {
      if (i + 1 >= wire.size()) return std::nullopt;
      unsigned char cell = static_cast<unsigned char>(wire[i + 1]);
      if (byte < 0x21 || byte > 0x7E || cell < 0x21 || cell > 0x7E) return std::nullopt;
      std::uint16_t code = ShiftJisOfJis(byte, cell);
      if (Cp932Table::Get().Double(code) == 0) return std::nullopt;
      out += static_cast<char>(code >> 8);
      out += static_cast<char>(code & 0xFF);
      i += 2;
    } else {
      out += static_cast<char>(byte);
      ++i;
    }
  }
  return out;
}

// Checks that the wire's bytes are CP932 text as the converter knows it.
bool IsCp932Text(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = Cp932CharacterLength(text.substr(i));
    if (CodePointOf(text.substr(i, length)) == 0) return false;  // NUL among them
    i += length;
  }
  return true;
}

}  // namespace

std::size_t Cp932CharacterLength(std::string_view text) {
  if (text[0] == '&') {
    std::optional<CharacterReference> reference = ReadCharacterReference(text);
    if (reference) return reference->length;
  }
  if (text.size() >= 2 && IsLeadByte(static_cast<unsigned char>(text[0])) &&
      IsTrailByte(static_cast<unsigned char>(text[1]))) {
    return 2;
  }
  return 1;
}

WireCodec::WireCodec(WireEncoding encoding) : encoding_(encoding) {}

std::optional<std::string> WireCodec::ToLibrary(std::string_view wire) const {
  std::optional<std::string> text = Decode(wire);
  if (text && text->find_first_of(std::string_view("\0\r\n", 3)) != std::string::npos) {
    return std::nullopt;
  }
  return text;
}

std::optional<std::string> WireCodec::Decode(std::string_view wire) const {
  switch (encoding_) {
    case WireEncoding::kUtf8: {
      std::string out;
      if (ConvertPrefix("UTF-8", kLibraryCharset, wire, out) != wire.size()) {
        return std::nullopt;
      }
      return out;
    }
    case WireEncoding::kIso2022Jp:
      return Iso2022JpToCp932(wire);
    case WireEncoding::kShiftJis:
      if (!IsCp932Text(wire)) return std::nullopt;
      return std::string(wire);
  }
  return std::nullopt;
}

std::string WireCodec::ToWire(std::string_view cp932) const {
  LineWriter writer(encoding_);
  for (std::size_t i = 0; i < cp932.size();) {
    std::size_t length = Cp932CharacterLength(cp932.substr(i));
    writer.Append(cp932.substr(i, length));
    i += length;
  }
  return std::move(writer).Finish();
}

void WireCodec::LineWriter::SwitchTo(Mode mode) {
  if (mode == mode_) return;
  mode_ = mode;
  switch (mode) {
    case Mode::kAscii:
      wire_ += kToAscii;
      break;
    case Mode::kJis:
      wire_ += kToJis;
      break;
    case Mode::kKana:
      wire_ += kToKana;
      break;
  }
}

void WireCodec::LineWriter::Append(std::string_view character) {
  // A character reference: its character where the wire can carry it, else its ASCII as it is.
  if (character.size() > 2 && character[0] == '&') {
    std::optional<CharacterReference> reference = ReadCharacterReference(character);
    if (reference && CarriesReferencedCharacters(encoding_)) {
      AppendUtf8(reference->code_point, wire_);
      return;
    }
    for (std::size_t i = 0; i < character.size(); ++i) Append(character.substr(i, 1));
    return;
  }
  char32_t code_point = BreaksIrcLine(character) ? 0 : CodePointOf(character);
  switch (encoding_) {
    case WireEncoding::kUtf8:
      if (code_point == 0) {
        wire_ += kReplacementUtf8;
      } else {
        AppendUtf8(code_point, wire_);
      }
      return;
    case WireEncoding::kShiftJis:
      wire_ += code_point == 0 ? kGetaCp932 : character;
      return;
    case WireEncoding::kIso2022Jp:
      break;
  }
  unsigned char first = static_cast<unsigned char>(character[0]);
  bool changes_reader_state = first == 0x1B || first == 0x0E || first == 0x0F;
  if (code_point != 0 && !changes_reader_state && character.size() == 1) {
    SwitchTo(IsHalfWidthKatakana(first) ? Mode::kKana : Mode::kAscii);
    wire_ += static_cast<char>(IsHalfWidthKatakana(first) ? first - 0x80 : first);
    return;
  }
  std::uint16_t code =
      code_point == 0 || changes_reader_state ? CodeOf(kGetaCp932) : CodeOf(character);
  if (code >= 0xFA40) code = Cp932Table::Get().BelowUserArea(code);  // IBM extensions
  if (code == 0 || code >= 0xF040) code = CodeOf(kGetaCp932);        // user-defined area
  auto [row, cell] = JisOfShiftJis(code);
  SwitchTo(Mode::kJis);
  wire_ += static_cast<char>(row);
  wire_ += static_cast<char>(cell);
}

std::size_t WireCodec::LineWriter::SizeIfEndedNow() const {
  return wire_.size() + (mode_ == Mode::kAscii ? 0 : kToAscii.size());
}

std::string WireCodec::LineWriter::Finish() && {
  SwitchTo(Mode::kAscii);
  return std::move(wire_);
}

}  // namespace deckhand::host
