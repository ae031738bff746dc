#include "host/common/wire_encoding.h"

#include <string>

#include "host/common/encoding.h"

namespace deckhand::host {

std::optional<WireEncoding> ParseWireEncoding(std::string_view name) {
  std::string canonical = CanonicalCharsetName(name);
  if (canonical == "UTF8") return WireEncoding::kUtf8;
  if (canonical == "ISO2022JP") return WireEncoding::kIso2022Jp;
  if (canonical == "SHIFTJIS" || canonical == "SJIS") return WireEncoding::kShiftJis;
  return std::nullopt;
}

std::string_view WireEncodingName(WireEncoding encoding) {
  switch (encoding) {
    case WireEncoding::kUtf8:
      return "utf-8";
    case WireEncoding::kIso2022Jp:
      return "iso-2022-jp";
    case WireEncoding::kShiftJis:
      return "shift_jis";
  }
  return "?";
}

bool CarriesReferencedCharacters(WireEncoding encoding) { return encoding == WireEncoding::kUtf8; }

}  // namespace deckhand::host
