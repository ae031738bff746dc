// Characters that code page 932 lacks (the suits ♠♥♦♣, emoji, most accented letters), kept in
// the library's Shift_JIS texts as numeric character references such as "&#x2660;": plain ASCII,
// which every Shift_JIS file, save and reply carries unchanged. Our programs turn them back into
// the character where their output can hold it, and leave them as they stand where it cannot.
//
// Only a reference to a character that code page 932 lacks stands for that character; any other
// "&#...;" is text like any other (a card named "&#38;" or "R&D" stays as it is), so a Shift_JIS
// file means the same before and after conversion. A reference never stands for a control
// character: a chat client or terminal acts on those instead of showing them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace deckhand::host {

// The bytes of `code_point` in code page 932, when it has a form there that converts back to
// the same character. Characters that the converter maps one way only (U+00A5 YEN SIGN to the
// byte 0x5C, U+301C WAVE DASH to the code of U+FF5E) have none: they would come back as others.
std::optional<std::string> Cp932FormOf(char32_t code_point);

// Characters that a reference may stand for: real characters (no surrogate, nothing past
// U+10FFFF, no noncharacter U+FFFE/U+FFFF), and no control character that terminals and chat
// clients act on: C0 and C1 controls, DEL, the line and paragraph separators, and the
// direction controls that reorder the rest of a line.
bool IsShowableCharacter(char32_t code_point);

struct CharacterReference {
  std::size_t length = 0;  // bytes of the reference, "&#" to ";"
  char32_t code_point = 0;
};

// The reference at the start of `text`, "&#x2660;" (hex, either case) or "&#9824;" (decimal),
// when it stands for a character: a showable one that code page 932 lacks. nullopt otherwise.
std::optional<CharacterReference> ReadCharacterReference(std::string_view text);

// The reference our converter writes for `code_point`: "&#x" upper-case hex ";".
std::string WriteCharacterReference(char32_t code_point);

// A UTF-8 text in CP932 as the library writes it: a character CP932 lacks as its reference, which
// a UTF-8 wire shows as the character and any other wire as it stands. Bytes that are no UTF-8
// (or no showable character) become "?".
std::string Cp932WithReferences(std::string_view utf8);

// Appends `code_point` (a Unicode scalar value) in UTF-8.
void AppendUtf8(char32_t code_point, std::string& out);

struct Utf8Character {
  char32_t code_point = 0;
  std::size_t length = 0;  // bytes
};

// The UTF-8 character at `text[at]` (`at` < size), strictly: no overlong form, no surrogate,
// nothing past U+10FFFF; nullopt when none starts there.
std::optional<Utf8Character> ReadUtf8(std::string_view text, std::size_t at);

}  // namespace deckhand::host
