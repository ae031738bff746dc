#include "host/common/character_references.h"

#include <cstdio>
#include <optional>
#include <utility>

#include "host/common/encoding.h"

namespace deckhand::host {
namespace {

// The code point starting `text` and its length in bytes; nullopt for bytes that are no UTF-8.
std::optional<std::pair<char32_t, std::size_t>> NextCodePoint(std::string_view text) {
  auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  unsigned char lead = byte(0);
  std::size_t length = lead < 0x80             ? 1
                       : (lead & 0xE0) == 0xC0 ? 2
                       : (lead & 0xF0) == 0xE0 ? 3
                       : (lead & 0xF8) == 0xF0 ? 4
                                               : 0;
  if (length == 0 || length > text.size()) return std::nullopt;
  char32_t code_point = length == 1 ? lead : lead & (0x3F >> (length - 1));
  for (std::size_t at = 1; at < length; ++at) {
    if ((byte(at) & 0xC0) != 0x80) return std::nullopt;
    code_point = (code_point << 6) | (byte(at) & 0x3F);
  }
  return std::make_pair(code_point, length);
}

// Digits enough for U+10FFFF, with a few leading zeros to spare; a longer run could only
// overflow, and is no reference.
constexpr std::size_t kMostDigits = 8;

std::optional<unsigned> DigitValue(char c, unsigned base) {
  unsigned value = c >= '0' && c <= '9'   ? static_cast<unsigned>(c - '0')
                   : c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                   : c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                          : 99;
  if (value >= base) return std::nullopt;
  return value;
}

}  // namespace

void AppendUtf8(char32_t code_point, std::string& out) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | code_point >> 6);
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    out += static_cast<char>(0xE0 | code_point >> 12);
    out += static_cast<char>(0x80 | (code_point >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code_point >> 18);
    out += static_cast<char>(0x80 | (code_point >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (code_point >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

std::optional<Utf8Character> ReadUtf8(std::string_view text, std::size_t at) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  unsigned char lead = byte(0);
  if (lead < 0x80) return Utf8Character{lead, 1};
  std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
  if (length == 0 || at + length > text.size()) return std::nullopt;
  char32_t code_point = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return std::nullopt;
    code_point = code_point << 6 | (byte(i) & 0x3F);
  }
  constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code_point < kSmallest[length] || code_point > 0x10FFFF ||
      (code_point >= 0xD800 && code_point <= 0xDFFF)) {
    return std::nullopt;
  }
  return Utf8Character{code_point, length};
}

std::optional<std::string> Cp932FormOf(char32_t code_point) {
  std::string utf8;
  AppendUtf8(code_point, utf8);
  std::string cp932;
  if (ConvertPrefix("UTF-8", kLibraryCharset, utf8, cp932) != utf8.size() || cp932.empty()) {
    return std::nullopt;
  }
  std::string back;
  if (ConvertPrefix(kLibraryCharset, "UTF-8", cp932, back) != cp932.size() || back != utf8) {
    return std::nullopt;
  }
  return cp932;
}

bool IsShowableCharacter(char32_t c) {
  bool control = c < 0x20 || (c >= 0x7F && c <= 0x9F);
  bool line_break = c == 0x2028 || c == 0x2029;
  bool direction =
      c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
  bool not_a_character = (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF || c > 0x10FFFF;
  return !control && !line_break && !direction && !not_a_character;
}

std::optional<CharacterReference> ReadCharacterReference(std::string_view text) {
  if (text.substr(0, 2) != "&#") return std::nullopt;
  std::size_t at = 2;
  unsigned base = 10;
  if (at < text.size() && (text[at] == 'x' || text[at] == 'X')) {
    base = 16;
    ++at;
  }
  std::size_t digits_start = at;
  char32_t code_point = 0;
  while (at < text.size() && at - digits_start < kMostDigits) {
    std::optional<unsigned> digit = DigitValue(text[at], base);
    if (!digit) break;
    code_point = code_point * base + *digit;
    ++at;
  }
  if (at == digits_start || at >= text.size() || text[at] != ';') return std::nullopt;
  if (!IsShowableCharacter(code_point) || Cp932FormOf(code_point)) return std::nullopt;
  return CharacterReference{at + 1, code_point};
}

std::string WriteCharacterReference(char32_t code_point) {
  char reference[16];
  std::snprintf(reference, sizeof reference, "&#x%X;", static_cast<unsigned>(code_point));
  return reference;
}

// A UTF-8 text in CP932 as the library writes it: a character CP932 lacks as its reference,
// which a UTF-8 wire shows as the character and any other wire as it stands. Bytes that are no
// UTF-8 (or no showable character) become "?".
std::string Cp932WithReferences(std::string_view utf8) {
  std::string cp932;
  while (!utf8.empty()) {
    std::optional<std::pair<char32_t, std::size_t>> next = NextCodePoint(utf8);
    if (!next) {
      cp932 += '?';
      utf8.remove_prefix(1);
      continue;
    }
    auto [code_point, length] = *next;
    utf8.remove_prefix(length);
    if (code_point < 0x80) {
      cp932 += static_cast<char>(code_point);
    } else if (std::optional<std::string> form = Cp932FormOf(code_point)) {
      cp932 += *form;
    } else if (IsShowableCharacter(code_point)) {
      cp932 += WriteCharacterReference(code_point);
    } else {
      cp932 += '?';
    }
  }
  return cp932;
}

}  // namespace deckhand::host
