#include "host/irc/notices.h"

#include "host/common/character_references.h"
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
                                       std::string_view utf8_text, const host::Fills& fills,
                                       std::size_t relay_prefix_bytes) const {
  std::optional<std::string> cp932 =
      host::WireCodec(host::WireEncoding::kUtf8).ToLibrary(utf8_text);
  std::string wire = host::FillText(codec_.ToWire(cp932.value_or("?")), fills);
  if (std::optional<std::string> back = codec_.ToLibrary(wire)) {
    return Library(to, label, *back, relay_prefix_bytes);
  }
  return Cut(to, label, wire, relay_prefix_bytes);
}

std::vector<std::string> Notices::Utf8(std::string_view to, std::string_view label,
                                       std::string_view utf8_text,
                                       std::size_t relay_prefix_bytes) const {
  return Library(to, label, host::Cp932WithReferences(utf8_text), relay_prefix_bytes);
}

std::vector<std::string> Notices::Cut(std::string_view to, std::string_view label,
                                      std::string_view wire, std::size_t relay_prefix_bytes) const {
  std::vector<std::string> lines;
  std::string head = Head(to) + std::string(label);
  std::size_t room = Room(relay_prefix_bytes, head.size(), 0);
  if (room == 0) return lines;
  for (std::string& piece : CutUtf8(wire, room)) lines.push_back(head + piece);
  return lines;
}

std::vector<Notice> AnswerNotices(const host::ChatAnswer& answer, const ReplyRoute& route,
                                  const Notices& notices, const BotConfig& config) {
  host::WireCodec utf8(host::WireEncoding::kUtf8);
  auto wire = [&](std::string_view text) {
    return notices.codec().ToWire(host::Cp932WithReferences(text));
  };
  std::optional<std::string> sender_cp932 = notices.codec().ToLibrary(route.sender);
  std::string sender_name = sender_cp932 ? utf8.ToWire(*sender_cp932) : std::string(route.sender);
  std::vector<Notice> sent;
  auto add = [&sent](std::vector<std::string> lines, bool secret, std::string_view to_id = {}) {
    for (std::string& line : lines) sent.push_back({std::move(line), secret, std::string(to_id)});
  };
  std::size_t relay = route.relay_prefix_bytes;
  for (const host::AddressedLine& line : answer.lines) {
    if (!line.to_place) {
      // The sender by the nick the server knows, others by their names as the wire writes them.
      std::string to = line.player == sender_name ? std::string(route.sender) : wire(line.player);
      add(notices.Utf8(to, wire(line.label), line.text, relay), line.secret, line.player_id);
      continue;
    }
    std::string_view to = route.in_channel ? route.where : route.sender;
    std::vector<std::string> lines = notices.Utf8(to, wire(line.label), line.text, relay);
    if (!route.in_channel || lines.size() <= static_cast<std::size_t>(config.channel_lines)) {
      add(std::move(lines), false);
      continue;
    }
    std::string label = "[" + std::string(route.where) + "] ";
    add(notices.Utf8(route.sender, label, line.text, relay), false);
    add(notices.Host(route.where, "", config.texts.sent_privately,
                     {{"{nick}", std::string(route.sender)}}, relay),
        false);
  }
  return sent;
}

}  // namespace deckhand::irc
