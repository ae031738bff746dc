// Fuzzes the IRC bot's wire encodings and reply splitter on arbitrary bytes. Properties:
//  - reading any bytes from the wire never crashes; what it reads, written back and read again,
//    is the same text, but for the bytes a client acts on (\x01, ESC), which never go out as
//    they are, and for character references, which a UTF-8 wire carries as their characters;
//  - a reply of any bytes is cut into pieces that each fit, each readable on its own, which put
//    together (without the marks at cuts) are the whole reply as written on the wire.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/common/wire_codec.h"
#include "host/irc/reply_lines.h"

namespace {

using namespace deckhand::irc;
using deckhand::host::WireCodec;
using deckhand::host::WireEncoding;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "property broken: %s\n", what);
  std::abort();
}

void CheckReading(const WireCodec& codec, const std::string& wire) {
  std::optional<std::string> text = codec.ToLibrary(wire);
  if (!text) return;
  std::string written = codec.ToWire(*text);
  if (written.find_first_of(std::string_view("\0\r\n\x01", 4)) != std::string::npos) {
    Fail("a byte that breaks or acts on a line went to the wire");
  }
  if (text->find_first_of("\x01\x1B") != std::string::npos) return;  // neutralised on the way
  // A character reference goes to a UTF-8 wire as its character, which has no library form.
  if (codec.encoding() == WireEncoding::kUtf8 && text->find("&#") != std::string::npos) return;
  if (codec.ToLibrary(written) != text) Fail("read text does not come back");
}

// The pieces put together without the marks at cuts, as the wire carries them.
std::string Rejoined(const std::vector<std::string>& pieces) {
  std::string joined;
  bool continues = false;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    std::string_view piece = pieces[i];
    if (continues) {
      if (!piece.starts_with(kCardContinues)) Fail("continued piece without the mark");
      piece.remove_prefix(kCardContinues.size());
    }
    continues = i + 1 < pieces.size() && !piece.ends_with(',');
    if (continues) {
      if (!piece.ends_with(kCardContinues)) Fail("cut piece without the mark");
      piece.remove_suffix(kCardContinues.size());
    }
    joined += piece;
  }
  return joined;
}

void CheckSplitting(const WireCodec& codec, const std::string& text, std::size_t max_wire_bytes) {
  std::vector<std::string> pieces = SplitReplyForWire(text, codec, max_wire_bytes);
  for (const std::string& piece : pieces) {
    if (piece.size() > max_wire_bytes) Fail("a piece over the limit");
    // Marks are not text of the library in UTF-8; elsewhere each piece reads on its own.
    if (codec.encoding() != WireEncoding::kUtf8 && !codec.ToLibrary(piece)) {
      Fail("a piece that does not read");
    }
  }
  std::string joined = Rejoined(pieces);
  std::string whole = codec.ToWire(text);
  if (codec.encoding() == WireEncoding::kIso2022Jp) {
    if (codec.ToLibrary(joined) != codec.ToLibrary(whole)) Fail("pieces lose or add text");
  } else if (joined != whole) {
    Fail("pieces lose or add bytes");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  WireCodec codec(input.PickValueInArray(
      {WireEncoding::kUtf8, WireEncoding::kIso2022Jp, WireEncoding::kShiftJis}));
  // The smallest limit that holds a character of any encoding with both marks.
  std::size_t max_wire_bytes = input.ConsumeIntegralInRange<std::size_t>(16, 512);
  std::string bytes = input.ConsumeRemainingBytesAsString();
  CheckReading(codec, bytes);
  CheckSplitting(codec, bytes, max_wire_bytes);
  return 0;
}
