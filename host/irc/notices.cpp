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
    } else if (std::optional<std::string> form = host::Cp932FormOf(code_point)) {
      cp932 += *form;
    } else if (host::IsShowableCharacter(code_point)) {
      cp932 += host::WriteCharacterReference(code_point);
    } else {
      cp932 += '?';
    }
  }
  return cp932;
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
  return Library(to, label, Cp932WithReferences(utf8_text), relay_prefix_bytes);
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
    return notices.codec().ToWire(Cp932WithReferences(text));
  };
  std::optional<std::string> sender_cp932 = notices.codec().ToLibrary(route.sender);
  std::string sender_name = sender_cp932 ? utf8.ToWire(*sender_cp932) : std::string(route.sender);
  std::vector<Notice> sent;
  auto add = [&sent](std::vector<std::string> lines, bool secret) {
    for (std::string& line : lines) sent.push_back({std::move(line), secret});
  };
  std::size_t relay = route.relay_prefix_bytes;
  for (const host::AddressedLine& line : answer.lines) {
    if (!line.to_place) {
      // The sender by the nick the server knows, others by their names as the wire writes them.
      std::string to = line.player == sender_name ? std::string(route.sender) : wire(line.player);
      add(notices.Utf8(to, wire(line.label), line.text, relay), line.secret);
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
