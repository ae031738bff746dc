#include "host/irc/reply_lines.h"

#include <utility>

namespace deckhand::irc {
namespace {

using LineWriter = host::WireCodec::LineWriter;

void AppendText(LineWriter& line, std::string_view cp932) {
  for (std::size_t i = 0; i < cp932.size();) {
    std::size_t length = host::Cp932CharacterLength(cp932.substr(i));
    line.Append(cp932.substr(i, length));
    i += length;
  }
}

bool FitsWith(const LineWriter& line, std::string_view cp932, std::size_t max_wire_bytes) {
  LineWriter longer = line;
  AppendText(longer, cp932);
  return longer.SizeIfEndedNow() <= max_wire_bytes;
}

// The pieces being made: the line being filled, and whether it holds any of the text yet.
class Pieces {
 public:
  Pieces(host::WireEncoding encoding, std::size_t max_wire_bytes)
      : encoding_(encoding), max_(max_wire_bytes), line_(encoding) {}

  // One card with the comma after it (none after the last card).
  void AddCard(std::string_view card) {
    if (FitsWith(line_, card, max_)) return Append(card);
    if (has_text_ && FitsWith(LineWriter(encoding_), card, max_)) {
      EndLine();
      return Append(card);
    }
    AddCut(card);
  }

  std::vector<std::string> Finish() && {
    if (has_text_) EndLine();
    return std::move(pieces_);
  }

 private:
  // A card longer than a line: as much of it as fits, with the marks at the cut.
  void AddCut(std::string_view card) {
    while (!FitsWith(line_, card, max_)) {
      std::size_t taken = CharactersThatFitBeforeTheMark(card);
      if (taken == 0 && has_text_) {  // the cards before take the room: a fresh line
        EndLine();
        continue;
      }
      if (taken == 0) taken = host::Cp932CharacterLength(card);  // limit below one character
      Append(card.substr(0, taken));
      card.remove_prefix(taken);
      if (card.empty()) return;
      AppendText(line_, kCardContinues);
      EndLine();
      AppendText(line_, kCardContinues);
    }
    Append(card);
  }

  std::size_t CharactersThatFitBeforeTheMark(std::string_view card) const {
    LineWriter line = line_;
    std::size_t taken = 0;
    while (taken < card.size()) {
      std::size_t length = host::Cp932CharacterLength(card.substr(taken));
      line.Append(card.substr(taken, length));
      if (!FitsWith(line, kCardContinues, max_)) break;
      taken += length;
    }
    return taken;
  }

  void Append(std::string_view cp932) {
    AppendText(line_, cp932);
    has_text_ = has_text_ || !cp932.empty();
  }

  void EndLine() {
    pieces_.push_back(std::exchange(line_, LineWriter(encoding_)).Finish());
    has_text_ = false;
  }

  host::WireEncoding encoding_;
  std::size_t max_;
  LineWriter line_;
  bool has_text_ = false;
  std::vector<std::string> pieces_;
};

}  // namespace

std::vector<std::string> SplitReplyForWire(std::string_view cp932_text,
                                           const host::WireCodec& codec,
                                           std::size_t max_wire_bytes) {
  Pieces pieces(codec.encoding(), max_wire_bytes);
  // A comma byte is never the second byte of a CP932 character, so every comma is a comma.
  while (!cp932_text.empty()) {
    std::size_t comma = cp932_text.find(',');
    std::size_t end = comma == std::string_view::npos ? cp932_text.size() : comma + 1;
    pieces.AddCard(cp932_text.substr(0, end));
    cp932_text.remove_prefix(end);
  }
  return std::move(pieces).Finish();
}

}  // namespace deckhand::irc
