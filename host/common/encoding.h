// Text between the terminal and the library. The library reads and writes Shift_JIS (code page
// 932) bytes; a terminal usually shows UTF-8. Commands typed at the terminal are converted to
// Shift_JIS before the call and replies back after it, so that a person can read the Japanese
// replies and type Japanese names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace deckhand::host {

class TerminalCodec {
 public:
  // `choice` is "auto" (the character set the locale names), "utf-8", "sjis" (bytes pass
  // unchanged) or the name of a character set the platform converts. nullopt and `error` filled
  // when the platform cannot convert between that set and Shift_JIS.
  static std::optional<TerminalCodec> Open(std::string_view choice, std::string* error);

  // True when terminal and library share Shift_JIS and bytes pass unchanged both ways.
  bool passes_through() const { return terminal_charset_.empty(); }
  // The terminal's character set as the platform names it; empty when bytes pass through.
  const std::string& terminal_charset() const { return terminal_charset_; }

  // The terminal's text in Shift_JIS. nullopt and `error` filled when a character has no
  // Shift_JIS form or the text is not valid in the terminal's character set: a command must not
  // run on a text that lost characters.
  std::optional<std::string> ToLibrary(std::string_view text, std::string* error) const;

  // The library's bytes as the terminal shows them. Every byte that does not convert (a byte no
  // Shift_JIS character starts with, or a lead byte cut from its pair) is shown as \xHH, so
  // nothing is ever dropped from a reply. A character reference ("&#x2660;", see
  // character_references.h) is shown as its character when the terminal's set holds it, and as
  // it stands when not.
  std::string ToTerminal(std::string_view bytes) const;

 private:
  // Appends `bytes` (no reference among them) converted, escaping what does not convert.
  void AppendShown(std::string_view bytes, std::string& shown) const;
  // Appends the character in the terminal's set; false, with nothing appended, when it has none.
  bool AppendCharacter(char32_t code_point, std::string& shown) const;

  explicit TerminalCodec(std::string terminal_charset)
      : terminal_charset_(std::move(terminal_charset)) {}

  std::string terminal_charset_;
};

// A character set's name in upper case without "-" and "_", so that "utf-8", "UTF8" and
// "utf_8" compare equal.
std::string CanonicalCharsetName(std::string_view name);

// The platform side, one file per platform.

// The library's character set as the platform names it.
extern const char* const kLibraryCharset;

// The character set of the terminal as the platform's locale or console reports it.
std::string DetectTerminalCharset();

// True when the platform can convert between the two character sets.
bool CanConvert(const std::string& from, const std::string& to);

// Converts the longest start of `text` that converts whole from `from` to `to`, appending the
// result to `out`. Returns how many bytes of `text` were converted: text.size() when all of it
// was, else the offset of the first character that is invalid, cut short, or has no form in `to`.
std::size_t ConvertPrefix(const std::string& from, const std::string& to, std::string_view text,
                          std::string& out);

}  // namespace deckhand::host
