#include "storage/ini_format.h"

#include <algorithm>
#include <cstring>

#include "text/shift_jis.h"

namespace deckhand {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kEscapeOpen = "~ ";
constexpr std::string_view kEscapeClose = " ~";

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

bool IsIniSpace(char c) { return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsIniSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsIniSpace(text.back())) text.remove_suffix(1);
  return text;
}

// Offset of the first ']' that is not the second byte of a double-byte character.
std::size_t FindSectionEnd(std::string_view text) {
  for (std::size_t at = 0; at < text.size(); at += ShiftJisCharLength(text, at)) {
    if (text[at] == ']') return at;
  }
  return std::string_view::npos;
}

void ClassifyLine(std::string_view trimmed, IniLine& line) {
  if (trimmed.empty()) {
    line.kind = IniLineKind::kEmpty;
  } else if (trimmed.front() == ';') {
    line.kind = IniLineKind::kComment;
  } else if (trimmed.front() == '[') {
    line.kind = IniLineKind::kSection;
    std::string_view inside = trimmed.substr(1);
    line.name = Trim(inside.substr(0, FindSectionEnd(inside)));
  } else if (std::size_t equals = trimmed.find('='); equals != std::string_view::npos) {
    line.kind = IniLineKind::kKey;
    line.name = Trim(trimmed.substr(0, equals));
    line.value = Trim(trimmed.substr(equals + 1));
  } else {
    line.kind = IniLineKind::kOther;
  }
}

bool NeedsPercent(unsigned char byte) { return byte <= 0x20 || byte == '%' || byte == '='; }

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<std::string> PercentDecode(std::string_view encoded) {
  std::string decoded;
  decoded.reserve(encoded.size());
  for (std::size_t at = 0; at < encoded.size(); ++at) {
    if (encoded[at] != '%') {
      decoded += encoded[at];
      continue;
    }
    if (at + 2 >= encoded.size()) return std::nullopt;
    int high = HexDigitValue(encoded[at + 1]);
    int low = HexDigitValue(encoded[at + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    decoded += static_cast<char>(high * 16 + low);
    at += 2;
  }
  return decoded;
}

bool NeedsQuotes(std::string_view value) {
  if (value.empty()) return false;
  if (IsIniSpace(value.front()) || IsIniSpace(value.back())) return true;
  return value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
         value.back() == value.front();
}

bool KeyLineMatches(const IniLine& line, std::string_view key, bool key_is_escaped) {
  if (key_is_escaped) {
    return line.name.size() >= kEscapeOpen.size() + kEscapeClose.size() &&
           line.name.substr(0, kEscapeOpen.size()) == kEscapeOpen &&
           NamesMatch(EffectiveIniKey(line.name), key);
  }
  // A plain key never needs escaping, so it can only equal a written key that is no escaped
  // form; an escaped form always starts with "~ ", which a plain key never does.
  return NamesMatch(line.name, key);
}

}  // namespace

IniLineScanner::IniLineScanner(std::string_view content, bool at_file_start)
    : content_(content), position_(0) {
  if (at_file_start && content_.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
    position_ = kUtf8Bom.size();
  }
  next_cr_ = FindFromPosition('\r');
  next_lf_ = FindFromPosition('\n');
}

std::size_t IniLineScanner::FindFromPosition(char byte) const {
  if (position_ >= content_.size()) return std::string_view::npos;
  const char* from = content_.data() + position_;
  const void* found = std::memchr(from, byte, content_.size() - position_);
  if (found == nullptr) return std::string_view::npos;
  return position_ + static_cast<std::size_t>(static_cast<const char*>(found) - from);
}

std::size_t IniLineScanner::NextBreak() {
  // Every byte between the last search and next_cr_ is no CR, so next_cr_ stays right until
  // the scan passes it; likewise next_lf_. A break that was never found (npos) is never found
  // later, and npos is never below the position.
  if (next_cr_ < position_) next_cr_ = FindFromPosition('\r');
  if (next_lf_ < position_) next_lf_ = FindFromPosition('\n');
  return std::min({next_cr_, next_lf_, content_.size()});
}

bool IniLineScanner::Next(IniLine& line) {
  // Any run of CR and LF is one line break, so empty lines between breaks do not exist.
  while (position_ < content_.size() && IsLineBreak(content_[position_])) ++position_;
  if (position_ >= content_.size()) return false;

  line = IniLine();
  line.begin = position_;
  std::size_t end = NextBreak();
  line.end = end;
  line.break_end = end;
  if (end < content_.size()) {
    line.break_end = end + 1;
    if (content_[end] == '\r' && end + 1 < content_.size() && content_[end + 1] == '\n') {
      line.break_end = end + 2;
    }
  }
  position_ = end;
  ClassifyLine(Trim(content_.substr(line.begin, line.end - line.begin)), line);
  return true;
}

IniEntryPlace LocateIniEntry(std::string_view content, std::string_view section,
                             std::string_view key) {
  IniEntryPlace place;
  bool key_is_escaped = IniKeyNeedsEscape(key);
  IniLineScanner scanner(content);
  // The scanner fills one of two lines in turn, so that the last key line seen is kept without
  // a copy per line; it is copied out once, at the end.
  IniLine lines[2];
  IniLine* line = &lines[0];
  const IniLine* last_key = nullptr;
  while (scanner.Next(*line)) {
    if (line->kind == IniLineKind::kSection) {
      if (place.section) break;  // the first section of the name has ended
      if (NamesMatch(line->name, section)) place.section = *line;
      continue;
    }
    if (!place.section || line->kind != IniLineKind::kKey) continue;
    if (KeyLineMatches(*line, key, key_is_escaped)) {
      place.key = *line;
      return place;  // the last key line is only wanted where the key is absent
    }
    last_key = line;
    line = line == &lines[0] ? &lines[1] : &lines[0];
  }
  if (last_key != nullptr) place.last_key = *last_key;
  return place;
}

std::optional<std::string> FindIniValue(std::string_view content, std::string_view section,
                                        std::string_view key) {
  IniValueFinder finder(section, key);
  finder.Feed(content);
  return finder.Finish();
}

IniValueFinder::IniValueFinder(std::string_view section, std::string_view key)
    : section_(section), key_(key), key_is_escaped_(IniKeyNeedsEscape(key)) {}

bool IniValueFinder::ScanLines(std::string_view lines) {
  IniLineScanner scanner(lines, at_file_start_);
  at_file_start_ = false;
  IniLine line;
  while (scanner.Next(line)) {
    if (line.kind == IniLineKind::kSection) {
      if (in_section_) return false;  // the first section of the name has ended
      in_section_ = NamesMatch(line.name, section_);
    } else if (in_section_ && line.kind == IniLineKind::kKey &&
               KeyLineMatches(line, key_, key_is_escaped_)) {
      value_ = std::string(UnquoteIniValue(line.value));
      return false;
    }
  }
  return true;
}

bool IniValueFinder::Feed(std::string_view piece) {
  if (done_) return false;
  auto is_break = [](char c) { return IsLineBreak(c); };
  auto first_break = std::find_if(piece.begin(), piece.end(), is_break);
  if (!partial_line_.empty()) {
    // The line that the last piece cut ends in this one (or goes on past it).
    std::size_t rest = static_cast<std::size_t>(first_break - piece.begin());
    partial_line_.append(piece.substr(0, rest));
    if (first_break == piece.end()) return true;
    // A byte-order mark cut between pieces is still at the file's start.
    done_ = !ScanLines(partial_line_);
    partial_line_.clear();
    piece.remove_prefix(rest);
    if (done_) return false;
  }
  auto last_break = std::find_if(piece.rbegin(), piece.rend(), is_break);
  std::size_t whole = static_cast<std::size_t>(piece.rend() - last_break);
  if (whole != 0) done_ = !ScanLines(piece.substr(0, whole));
  if (!done_) partial_line_.assign(piece.substr(whole));
  return !done_;
}

std::optional<std::string> IniValueFinder::Finish() {
  if (!done_ && !partial_line_.empty()) ScanLines(partial_line_);
  done_ = true;
  partial_line_.clear();
  return std::move(value_);
}

std::string_view UnquoteIniValue(std::string_view written) {
  if (written.size() >= 2 && (written.front() == '"' || written.front() == '\'') &&
      written.back() == written.front()) {
    return written.substr(1, written.size() - 2);
  }
  return written;
}

std::int32_t ParseIniNumber(std::string_view value) {
  std::size_t at = 0;
  while (at < value.size() && static_cast<unsigned char>(value[at]) <= 0x20) ++at;
  bool negative = false;
  if (at < value.size() && (value[at] == '+' || value[at] == '-')) {
    negative = value[at] == '-';
    ++at;
  }
  std::uint32_t magnitude = 0;
  for (; at < value.size() && value[at] >= '0' && value[at] <= '9'; ++at) {
    magnitude = magnitude * 10u + static_cast<std::uint32_t>(value[at] - '0');
  }
  if (negative) magnitude = 0u - magnitude;
  return static_cast<std::int32_t>(magnitude);
}

bool IniKeyNeedsEscape(std::string_view key) {
  if (key.empty() || IsIniSpace(key.front()) || IsIniSpace(key.back())) return true;
  if (key.front() == '[' || key.front() == ';') return true;
  if (key.substr(0, kEscapeOpen.size()) == kEscapeOpen) return true;
  for (char c : key) {
    if (c == '=' || c == '\r' || c == '\n' || c == '\0') return true;
  }
  return false;
}

std::string EscapeIniKey(std::string_view key) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped(kEscapeOpen);
  for (char c : key) {
    auto byte = static_cast<unsigned char>(c);
    if (NeedsPercent(byte)) {
      escaped += '%';
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 0x0F];
    } else {
      escaped += c;
    }
  }
  escaped += kEscapeClose;
  return escaped;
}

std::string EffectiveIniKey(std::string_view written_key) {
  std::size_t frame = kEscapeOpen.size() + kEscapeClose.size();
  if (written_key.size() < frame || written_key.substr(0, kEscapeOpen.size()) != kEscapeOpen ||
      written_key.substr(written_key.size() - kEscapeClose.size()) != kEscapeClose) {
    return std::string(written_key);
  }
  std::optional<std::string> decoded =
      PercentDecode(written_key.substr(kEscapeOpen.size(), written_key.size() - frame));
  if (decoded && IniKeyNeedsEscape(*decoded) && EscapeIniKey(*decoded) == written_key) {
    return *decoded;
  }
  return std::string(written_key);
}

std::optional<IniEdit> PlanIniValue(std::string_view content, std::string_view section,
                                    std::string_view key, std::string_view value) {
  for (char c : value) {
    if (c == '\r' || c == '\n' || c == '\0') return std::nullopt;
  }
  IniEdit edit;
  // New text goes to the head until the value has been placed, then to the tail.
  std::string* text = &edit.head;
  IniEntryPlace place = LocateIniEntry(content, section, key);
  auto place_value = [&edit, &text, value] {
    bool quoted = NeedsQuotes(value);
    if (quoted) edit.head += '"';
    edit.value = value;
    text = &edit.tail;
    if (quoted) edit.tail += '"';
  };
  auto append_new_line = [&text, key, &place_value] {
    text->append(IniKeyNeedsEscape(key) ? EscapeIniKey(key) : std::string(key));
    *text += '=';
    place_value();
    text->append(kCrLf);
  };

  if (place.key) {
    const IniLine& line = *place.key;
    edit.before = content.substr(0, line.begin);
    text->append(line.name);
    *text += '=';
    place_value();
    if (line.end == content.size()) {
      text->append(kCrLf);
    } else {
      edit.after = content.substr(line.end);
    }
    return edit;
  }
  if (place.section) {
    const IniLine& anchor = place.last_key ? *place.last_key : *place.section;
    if (anchor.break_end == anchor.end) {  // the anchor is the last line and has no line end
      edit.before = content;
      text->append(kCrLf);
    } else {
      edit.before = content.substr(0, anchor.break_end);
      edit.after = content.substr(anchor.break_end);
    }
    append_new_line();
    return edit;
  }
  edit.before = content;
  bool only_bom = content == kUtf8Bom;
  if (!content.empty() && !only_bom && !IsLineBreak(content.back())) text->append(kCrLf);
  *text += '[';
  text->append(section);
  *text += ']';
  text->append(kCrLf);
  append_new_line();
  return edit;
}

std::optional<std::string> WithIniValue(std::string_view content, std::string_view section,
                                        std::string_view key, std::string_view value) {
  std::optional<IniEdit> edit = PlanIniValue(content, section, key, value);
  if (!edit) return std::nullopt;
  std::string result;
  result.reserve(edit->before.size() + edit->head.size() + edit->value.size() + edit->tail.size() +
                 edit->after.size());
  result.append(edit->before).append(edit->head).append(edit->value).append(edit->tail);
  result.append(edit->after);
  return result;
}

}  // namespace deckhand
