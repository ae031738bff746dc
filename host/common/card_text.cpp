#include "host/common/card_text.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <unordered_map>

#include "deckhand/card_files.h"
#include "host/common/character_references.h"

namespace deckhand::host {

using card_files::ShiftJisCharLength;

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

std::string HexBytes(std::string_view bytes) {
  std::string hex;
  for (char byte : bytes) {
    char one[8];
    std::snprintf(one, sizeof one, "%s0x%02X", hex.empty() ? "" : " ",
                  static_cast<unsigned char>(byte));
    hex += one;
  }
  return hex;
}

// The place of byte `offset`, columns counted in characters as `length_at` measures them. Lines
// end at LF; a file without any LF counts CRs.
TextPlace PlaceOf(std::string_view text, std::size_t offset,
                  const std::function<std::size_t(std::size_t)>& length_at) {
  char end = text.find('\n') == std::string_view::npos ? '\r' : '\n';
  TextPlace place;
  std::size_t line_start = 0;
  for (std::size_t at = 0; at < offset; ++at) {
    if (text[at] == end) {
      ++place.line;
      line_start = at + 1;
    }
  }
  for (std::size_t at = line_start; at < offset; at += length_at(at)) ++place.column;
  return place;
}

std::size_t Utf8LengthAt(std::string_view text, std::size_t at) {
  std::optional<Utf8Character> decoded = ReadUtf8(text, at);
  return decoded ? decoded->length : 1;
}

struct Utf8Scan {
  std::size_t multibyte = 0;  // valid characters beyond ASCII
  std::size_t invalid = 0;    // places where a broken character starts
  std::size_t first_invalid = std::string_view::npos;
};

Utf8Scan ScanUtf8(std::string_view text) {
  Utf8Scan scan;
  for (std::size_t at = 0; at < text.size();) {
    std::optional<Utf8Character> decoded = ReadUtf8(text, at);
    if (!decoded) {
      // One broken character counts once, however many of its bytes are left.
      if (scan.invalid++ == 0) scan.first_invalid = at;
      ++at;
      while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
      continue;
    }
    scan.multibyte += decoded->length > 1;
    at += decoded->length;
  }
  return scan;
}

// The offset of the first byte that starts no Shift_JIS character by the shape of its bytes, as
// the library's own scans step over them; npos for a text they all pass.
std::size_t FirstBadShiftJis(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    auto byte = static_cast<unsigned char>(text[at]);
    bool single = byte < 0x80 || (byte >= 0xA1 && byte <= 0xDF);
    if (!single && ShiftJisCharLength(text, at) != 2) return at;
    at += ShiftJisCharLength(text, at);
  }
  return std::string_view::npos;
}

bool IsEucByte(unsigned char byte) { return byte >= 0xA1 && byte <= 0xFE; }

// Bytes of the EUC-JP character at `at` by its shape; 0 when none starts there.
std::size_t EucJpLengthAt(std::string_view text, std::size_t at) {
  auto byte = [&](std::size_t i) {
    return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0;
  };
  if (byte(0) < 0x80) return 1;
  if (IsEucByte(byte(0)) && IsEucByte(byte(1))) return 2;
  if (byte(0) == 0x8E && byte(1) >= 0xA1 && byte(1) <= 0xDF) return 2;  // half-width katakana
  if (byte(0) == 0x8F && IsEucByte(byte(1)) && IsEucByte(byte(2))) return 3;
  return 0;
}

// The offset of the first character of EUC-JP's punctuation, Latin and kana rows (1-5), which
// every Japanese text holds; npos when the text is not EUC-JP or has none. Shift_JIS reads
// these bytes as the rare half-width "｡｢｣､･" followed by another half-width character.
std::size_t EucJpKanaOffset(std::string_view text) {
  std::size_t kana = std::string_view::npos;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t length = EucJpLengthAt(text, at);
    if (length == 0) return std::string_view::npos;
    auto lead = static_cast<unsigned char>(text[at]);
    if (length == 2 && lead >= 0xA1 && lead <= 0xA5 && kana == std::string_view::npos) kana = at;
    at += length;
  }
  return kana;
}

// The Shift_JIS form of a two-byte EUC-JP character: both code the same row and cell of JIS X
// 0208, each by its own arithmetic.
std::string ShiftJisOfEucJp(std::string_view pair) {
  unsigned row = static_cast<unsigned char>(pair[0]) - 0xA0u;  // 1-94
  unsigned cell = static_cast<unsigned char>(pair[1]) - 0xA0u;
  unsigned lead = (row + 1) / 2 + (row <= 62 ? 0x80 : 0xC0);
  unsigned trail = row % 2 == 1 ? cell + (cell >= 64 ? 0x40 : 0x3F) : cell + 0x9E;
  return {static_cast<char>(lead), static_cast<char>(trail)};
}

// UTF-16 with its byte-order mark, as UTF-8; false with `failure` set at a broken place.
bool DecodeUtf16(std::string_view bytes, CardText& text) {
  bool little_endian = bytes[0] == '\xFF';
  auto unit_at = [&](std::size_t at) {
    auto first = static_cast<unsigned char>(bytes[at]);
    auto second = static_cast<unsigned char>(bytes[at + 1]);
    return static_cast<char32_t>(little_endian ? second << 8 | first : first << 8 | second);
  };
  auto fail = [&](std::string why) {
    text.failure_kind = CardTextFailure::kBrokenUtf16;
    text.failure = std::move(why);
    text.failure_place = PlaceOf(text.utf8, text.utf8.size(),
                                 [&](std::size_t at) { return Utf8LengthAt(text.utf8, at); });
    return false;
  };
  for (std::size_t at = 2; at < bytes.size(); at += 2) {
    if (at + 1 >= bytes.size()) return fail("the file ends in half a UTF-16 character");
    char32_t unit = unit_at(at);
    if (unit == 0) return fail("a NUL character, which no card file holds (is it UTF-32?)");
    if (unit >= 0xDC00 && unit <= 0xDFFF) return fail("a UTF-16 low surrogate stands alone");
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      char32_t low = at + 3 < bytes.size() ? unit_at(at + 2) : 0;
      if (low < 0xDC00 || low > 0xDFFF) return fail("a UTF-16 high surrogate stands alone");
      unit = 0x10000 + ((unit - 0xD800) << 10 | (low - 0xDC00));
      at += 2;
    }
    AppendUtf8(unit, text.utf8);
  }
  return true;
}

// The first character beyond ASCII of `text.utf8`, for messages that name it; odd lines in
// other encodings are passed over.
void FindFirstForeign(CardText& text) {
  const std::string& utf8 = text.utf8;
  for (std::size_t at = 0; at < utf8.size(); ++at) {
    if (static_cast<unsigned char>(utf8[at]) < 0x80) continue;
    std::optional<Utf8Character> decoded = ReadUtf8(utf8, at);
    if (!decoded) continue;
    text.first_foreign = ToShiftJis(utf8.substr(at, decoded->length)).bytes;
    text.first_foreign_place =
        PlaceOf(utf8, at, [&](std::size_t i) { return Utf8LengthAt(utf8, i); });
    return;
  }
}

void Fail(CardText& text, CardTextFailure kind, std::string_view bytes, std::size_t offset,
          std::string why, const std::function<std::size_t(std::size_t)>& length_at) {
  text.kind = CardTextKind::kNeither;
  text.failure_kind = kind;
  text.failure = std::move(why);
  text.failure_place = PlaceOf(bytes, offset, length_at);
}

// The column of byte `offset` of a line, characters counted as `length_at` measures them.
std::size_t ColumnOf(std::size_t offset, const std::function<std::size_t(std::size_t)>& length_at) {
  std::size_t column = 1;
  for (std::size_t at = 0; at < offset; at += length_at(at)) ++column;
  return column;
}

std::string BrokenUtf8(std::string_view line, std::size_t at) {
  std::size_t length = 1;
  while (length < 4 && at + length < line.size() &&
         (static_cast<unsigned char>(line[at + length]) & 0xC0) == 0x80) {
    ++length;
  }
  return "is UTF-8 text, broken here: " + HexBytes(line.substr(at, length)) +
         (length == 1 ? " is" : " are") + " no UTF-8 character";
}

std::size_t FirstBeyondAscii(std::string_view line) {
  auto beyond = std::find_if(line.begin(), line.end(),
                             [](char byte) { return static_cast<unsigned char>(byte) >= 0x80; });
  return static_cast<std::size_t>(beyond - line.begin());
}

// How the line `number` (bytes `begin` to `end` of `body`, some beyond ASCII) is written.
// Shift_JIS text has hardly a valid UTF-8 character beyond ASCII among its bytes; a line with as
// many of them as broken ones is UTF-8 that an editor or a cut damaged.
CardTextLine ReadLine(std::string_view body, std::size_t begin, std::size_t end,
                      std::size_t number) {
  std::string_view line = body.substr(begin, end - begin);
  CardTextLine read;
  read.begin = begin;
  read.end = end;
  read.place.line = number;
  auto utf8_length = [&](std::size_t at) { return Utf8LengthAt(line, at); };
  auto shift_jis_length = [&](std::size_t at) { return ShiftJisCharLength(line, at); };
  Utf8Scan utf8 = ScanUtf8(line);
  std::size_t foreign = FirstBeyondAscii(line);
  std::size_t bad = std::string_view::npos;
  if (utf8.invalid == 0) {
    read.kind = CardTextKind::kUtf8;
    read.first_foreign = ToShiftJis(line.substr(foreign, utf8_length(foreign))).bytes;
    read.place.column = ColumnOf(foreign, utf8_length);
  } else if (utf8.multibyte > 0 && utf8.multibyte >= utf8.invalid) {
    read.failure_kind = CardTextFailure::kBrokenUtf8;
    read.failure = BrokenUtf8(line, utf8.first_invalid);
    read.place.column = ColumnOf(utf8.first_invalid, utf8_length);
  } else if ((bad = FirstBadShiftJis(line)) == std::string_view::npos) {
    read.kind = CardTextKind::kShiftJis;
    read.first_foreign = std::string(line.substr(foreign, shift_jis_length(foreign)));
    read.place.column = ColumnOf(foreign, shift_jis_length);
  } else {
    read.failure_kind = CardTextFailure::kBadShiftJis;
    read.failure = "is neither UTF-8 nor Shift_JIS: " + HexBytes(line.substr(bad, 1)) +
                   " starts no character of either";
    read.place.column = ColumnOf(bad, shift_jis_length);
  }
  return read;
}

// The lines of `body` that hold bytes beyond ASCII, each as it is written. Lines end at LF; a
// text without any LF counts CRs.
std::vector<CardTextLine> LinesBeyondAscii(std::string_view body) {
  char end_of_line = body.find('\n') == std::string_view::npos ? '\r' : '\n';
  std::vector<CardTextLine> lines;
  std::size_t number = 1;
  for (std::size_t begin = 0; begin < body.size(); ++number) {
    std::size_t end = std::min(body.find(end_of_line, begin), body.size());
    if (FirstBeyondAscii(body.substr(begin, end - begin)) < end - begin) {
      lines.push_back(ReadLine(body, begin, end, number));
    }
    begin = end + 1;
  }
  return lines;
}

// A text that is not UTF-8 throughout, read line by line (see ReadCardText).
void ReadByLine(std::string_view body, CardText& text) {
  std::vector<CardTextLine> lines = LinesBeyondAscii(body);
  auto count = [&](CardTextKind kind) {
    return std::count_if(lines.begin(), lines.end(),
                         [kind](const CardTextLine& line) { return line.kind == kind; });
  };
  auto utf8 = count(CardTextKind::kUtf8);
  auto shift_jis = count(CardTextKind::kShiftJis);
  text.kind =
      text.byte_order_mark || utf8 > shift_jis ? CardTextKind::kUtf8 : CardTextKind::kShiftJis;
  for (CardTextLine& line : lines) {
    if (line.kind != text.kind) text.odd_lines.push_back(std::move(line));
  }
  if (utf8 + shift_jis == 0) {
    const CardTextLine& first = text.odd_lines.front();
    text.kind = CardTextKind::kNeither;
    text.failure_kind = first.failure_kind;
    text.failure = first.failure;
    text.failure_place = first.place;
    return;
  }
  if (text.kind == CardTextKind::kUtf8) {
    text.utf8 = body;
    FindFirstForeign(text);
  }
}

// Adds the references of `part` to `all`, each once, in the order they first appear.
void AddReferences(const ShiftJisText& part, ShiftJisText& all) {
  for (char32_t code_point : part.references) {
    if (std::find(all.references.begin(), all.references.end(), code_point) ==
        all.references.end()) {
      all.references.push_back(code_point);
    }
  }
}

}  // namespace

CardText ReadCardText(std::string_view bytes) {
  CardText text;
  if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
    text.byte_order_mark = true;
    if (!DecodeUtf16(bytes, text)) return text;
    text.kind = CardTextKind::kUtf16;
    FindFirstForeign(text);
    return text;
  }
  text.byte_order_mark = bytes.substr(0, 3) == kUtf8Mark;
  std::string_view body = bytes.substr(text.byte_order_mark ? 3 : 0);
  if (body.find('\0') != std::string_view::npos) {
    Fail(text, CardTextFailure::kNulByte, body, body.find('\0'),
         "a NUL byte: is it UTF-16 without a byte-order mark? Save it as UTF-8",
         [](std::size_t) { return std::size_t{1}; });
    return text;
  }
  Utf8Scan utf8 = ScanUtf8(body);
  if (utf8.invalid == 0) {
    text.kind =
        text.byte_order_mark || utf8.multibyte > 0 ? CardTextKind::kUtf8 : CardTextKind::kShiftJis;
    if (text.kind == CardTextKind::kUtf8) {
      text.utf8 = body;
      FindFirstForeign(text);
    }
    return text;
  }
  std::size_t kana = EucJpKanaOffset(body);
  if (kana != std::string_view::npos) {
    Fail(text, CardTextFailure::kEucJp, body, kana,
         "looks like EUC-JP text, which is neither UTF-8 nor Shift_JIS: \"" +
             ShiftJisOfEucJp(body.substr(kana, 2)) + "\" is " + HexBytes(body.substr(kana, 2)) +
             " in EUC-JP here",
         [&](std::size_t at) { return std::max<std::size_t>(EucJpLengthAt(body, at), 1); });
    return text;
  }
  ReadByLine(body, text);
  return text;
}

ShiftJisText ToShiftJis(std::string_view utf8) {
  ShiftJisText text;
  // Card files repeat few characters many times; ask the converter once for each.
  std::unordered_map<char32_t, std::optional<std::string>> forms;
  for (std::size_t at = 0; at < utf8.size();) {
    std::optional<Utf8Character> decoded = ReadUtf8(utf8, at);
    if (!decoded) {  // not from ReadCardText; kept as it is rather than lost
      text.bytes += utf8[at++];
      continue;
    }
    at += decoded->length;
    if (decoded->code_point < 0x80) {
      text.bytes += static_cast<char>(decoded->code_point);
      continue;
    }
    auto [form, fresh] = forms.try_emplace(decoded->code_point);
    if (fresh) form->second = Cp932FormOf(decoded->code_point);
    if (form->second) {
      text.bytes += *form->second;
      continue;
    }
    text.bytes += WriteCharacterReference(decoded->code_point);
    if (fresh) text.references.push_back(decoded->code_point);
  }
  return text;
}

ShiftJisText CardTextInShiftJis(const CardText& text, std::string_view bytes) {
  if (text.kind == CardTextKind::kUtf16) return ToShiftJis(text.utf8);
  std::string_view body = bytes.substr(text.byte_order_mark ? 3 : 0);
  ShiftJisText all;
  std::size_t at = 0;
  // The text's own lines between its odd ones converted as the text is written, the odd ones as
  // they are written.
  auto append = [&](std::string_view part, CardTextKind kind) {
    if (kind == CardTextKind::kUtf8) {
      ShiftJisText converted = ToShiftJis(part);
      all.bytes += converted.bytes;
      AddReferences(converted, all);
    } else {
      all.bytes += part;
    }
  };
  for (const CardTextLine& line : text.odd_lines) {
    append(body.substr(at, line.begin - at), text.kind);
    append(body.substr(line.begin, line.end - line.begin), line.kind);
    at = line.end;
  }
  append(body.substr(at), text.kind);
  return all;
}

}  // namespace deckhand::host
