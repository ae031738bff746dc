#include "host/common/encoding.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "host/common/character_references.h"

namespace deckhand::host {

std::string CanonicalCharsetName(std::string_view name) {
  std::string canonical;
  for (char c : name) {
    if (c == '-' || c == '_') continue;
    canonical += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return canonical;
}

namespace {

// Names under which locales and people call the library's own code page.
bool NamesShiftJis(std::string_view name) {
  static constexpr std::string_view kNames[] = {"SJIS",       "SHIFTJIS", "CP932", "MS932",
                                                "WINDOWS31J", "IBM943",   "932"};
  std::string canonical = CanonicalCharsetName(name);
  return std::find(std::begin(kNames), std::end(kNames), canonical) != std::end(kNames);
}

// The C and POSIX locales report plain ASCII, which is what an unconfigured system or a bare
// container says rather than what its terminal shows; UTF-8 is the better guess there.
bool NamesPlainAscii(std::string_view name) {
  std::string canonical = CanonicalCharsetName(name);
  return canonical == "ANSIX3.41968" || canonical == "ASCII" || canonical == "USASCII" ||
         canonical == "646" || canonical.empty();
}

std::string ResolveChoice(std::string_view choice) {
  std::string canonical = CanonicalCharsetName(choice);
  if (canonical == "AUTO") {
    std::string detected = DetectTerminalCharset();
    return NamesPlainAscii(detected) ? "UTF-8" : detected;
  }
  if (canonical == "UTF8") return "UTF-8";
  return std::string(choice);
}

std::string HexEscape(std::string_view bytes) {
  std::string escaped;
  for (char byte : bytes) {
    char escape[5];
    std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(byte));
    escaped += escape;
  }
  return escaped;
}

bool IsShiftJisLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool IsShiftJisTrailByte(unsigned char byte) {
  return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

// How many bytes make the Shift_JIS character at the start of `bytes`, going by the shape of its
// bytes alone: two for a lead byte with a trail byte after it, else one.
std::size_t CharacterLength(std::string_view bytes) {
  if (bytes.size() >= 2 && IsShiftJisLeadByte(static_cast<unsigned char>(bytes[0])) &&
      IsShiftJisTrailByte(static_cast<unsigned char>(bytes[1]))) {
    return 2;
  }
  return 1;
}

}  // namespace

std::optional<TerminalCodec> TerminalCodec::Open(std::string_view choice, std::string* error) {
  // An empty name would leave the choice to the platform's converter, which may pass the bytes
  // through unchanged: Shift_JIS shown as UTF-8 garbage, with no word of why.
  if (choice.empty()) {
    *error = "--encoding needs a character set name: auto, utf-8, sjis or one the system knows";
    return std::nullopt;
  }
  std::string charset = ResolveChoice(choice);
  if (NamesShiftJis(charset)) return TerminalCodec("");
  if (!CanConvert(charset, kLibraryCharset) || !CanConvert(kLibraryCharset, charset)) {
    *error = "cannot convert between " + charset + " and Shift_JIS (--encoding)";
    return std::nullopt;
  }
  return TerminalCodec(charset);
}

std::optional<std::string> TerminalCodec::ToLibrary(std::string_view text,
                                                    std::string* error) const {
  if (passes_through()) return std::string(text);
  std::string converted;
  std::size_t done = ConvertPrefix(terminal_charset_, kLibraryCharset, text, converted);
  if (done == text.size()) return converted;
  *error = "\"" + std::string(text) + "\": the text from byte " + std::to_string(done + 1) +
           " on is not valid " + terminal_charset_ + " or has no Shift_JIS form";
  return std::nullopt;
}

std::string TerminalCodec::ToTerminal(std::string_view bytes) const {
  if (passes_through()) return std::string(bytes);
  std::string shown;
  // '&' is never the second byte of a Shift_JIS character, so every '&' starts a text of its own.
  for (std::size_t amp = bytes.find('&'); amp != std::string_view::npos; amp = bytes.find('&')) {
    std::optional<CharacterReference> reference = ReadCharacterReference(bytes.substr(amp));
    std::size_t end = amp + (reference ? reference->length : 1);
    AppendShown(bytes.substr(0, amp), shown);
    if (!reference || !AppendCharacter(reference->code_point, shown)) {
      AppendShown(bytes.substr(amp, end - amp), shown);
    }
    bytes.remove_prefix(end);
  }
  AppendShown(bytes, shown);
  return shown;
}

void TerminalCodec::AppendShown(std::string_view bytes, std::string& shown) const {
  while (!bytes.empty()) {
    std::size_t done = ConvertPrefix(kLibraryCharset, terminal_charset_, bytes, shown);
    if (done == bytes.size()) break;
    // Escape the whole character that failed, so that the second byte of a pair is not shown as
    // a letter of its own; a lead byte without a trail byte is escaped alone, and the byte after
    // it may well start a character that converts.
    bytes.remove_prefix(done);
    std::size_t length = CharacterLength(bytes);
    shown += HexEscape(bytes.substr(0, length));
    bytes.remove_prefix(length);
  }
}

bool TerminalCodec::AppendCharacter(char32_t code_point, std::string& shown) const {
  std::string utf8;
  AppendUtf8(code_point, utf8);
  std::string converted;
  if (ConvertPrefix("UTF-8", terminal_charset_, utf8, converted) != utf8.size()) return false;
  shown += converted;
  return true;
}

}  // namespace deckhand::host
