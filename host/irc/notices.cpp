#include "host/irc/notices.h"

#include "host/irc/reply_lines.h"

namespace deckhand::irc {
namespace {

std::string Head(std::string_view to) { return "NOTICE " + std::string(to) + " :"; }

// Room left for a piece behind the relay prefix, the head and CR LF; 0 for none.
std::size_t Room(std::size_t relay_prefix_bytes, std::size_t head, std::size_t label) {
  std::size_t used = relay_prefix_bytes + head + label + 2;
  return used >= kMaxIrcLine ? 0 : kMaxIrcLine - used;
}

// A wire text that has no CP932 form (a UTF-8 nick such as "Zoë" filled in), cut into pieces at
// UTF-8 character starts.
std::vector<std::string> CutUtf8(std::string_view wire, std::size_t room) {
  std::vector<std::string> pieces;
  while (!wire.empty()) {
    std::size_t cut = std::min(room, wire.size());
    while (cut > 0 && cut < wire.size() && (static_cast<unsigned char>(wire[cut]) & 0xC0) == 0x80) {
      --cut;
    }
    if (cut == 0) cut = std::min(room, wire.size());
    pieces.emplace_back(wire.substr(0, cut));
    wire.remove_prefix(cut);
  }
  return pieces;
}

}  // namespace

std::vector<std::string> Notices::Library(std::string_view to, std::string_view label,
                                          std::string_view cp932_text,
                                          std::size_t relay_prefix_bytes) const {
  std::vector<std::string> lines;
  std::string head = Head(to) + std::string(label);
  std::size_t room = Room(relay_prefix_bytes, head.size(), 0);
  if (cp932_text.empty() || room == 0) return lines;
  for (std::string& piece : SplitReplyForWire(cp932_text, codec_, room)) {
    lines.push_back(head + piece);
  }
  return lines;
}

std::vector<std::string> Notices::Host(std::string_view to, std::string_view label,
                                       std::string_view utf8_text, const Fills& fills,
                                       std::size_t relay_prefix_bytes) const {
  std::optional<std::string> cp932 = WireCodec(WireEncoding::kUtf8).ToLibrary(utf8_text);
  std::string wire = FillText(codec_.ToWire(cp932.value_or("?")), fills);
  if (std::optional<std::string> back = codec_.ToLibrary(wire)) {
    return Library(to, label, *back, relay_prefix_bytes);
  }
  std::vector<std::string> lines;
  std::string head = Head(to) + std::string(label);
  std::size_t room = Room(relay_prefix_bytes, head.size(), 0);
  if (room == 0) return lines;
  for (std::string& piece : CutUtf8(wire, room)) lines.push_back(head + piece);
  return lines;
}

}  // namespace deckhand::irc
