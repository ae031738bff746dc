#include "storage/ini_format.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "storage/ini_walk.h"
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
  std::optional<IniLine> last_key;
  IniWalker walker({IniSectionRead(std::string(section))}, {{0, std::string(key)}});
  WalkIni(content, walker, [&](const IniLine& line, const IniStep& step) {
    if (walker.Passed()) return false;  // the first section of the name has ended
    if (step.opens_section) {
      place.section = line;
    } else if (step.target == 0) {
      place.key = line;
      return false;  // the last key line is only wanted where the key is absent
    } else if (step.slot == 0 && line.kind == IniLineKind::kKey) {
      last_key = line;
    }
    return true;
  });
  if (!place.key) place.last_key = last_key;
  return place;
}

std::optional<std::string> FindIniValue(std::string_view content, std::string_view section,
                                        std::string_view key) {
  IniValueFinder finder(section, key);
  finder.Feed(content);
  return finder.Finish();
}

IniValueFinder::IniValueFinder(std::string_view section, std::string_view key)
    : walker_(std::make_unique<IniWalker>(
          std::vector<IniSectionRead>{IniSectionRead(std::string(section))},
          std::vector<IniTarget>{{0, std::string(key)}})) {}

IniValueFinder::~IniValueFinder() = default;

bool IniValueFinder::ScanLines(std::string_view lines) {
  IniLineScanner scanner(lines, at_file_start_);
  at_file_start_ = false;
  IniLine line;
  IniStep step;
  while (scanner.Next(line)) {
    walker_->Take(line, step);
    if (step.target == 0) {
      value_ = std::string(UnquoteIniValue(line.value));
      return false;
    }
    if (walker_->Passed()) return false;  // the first section of the name has ended
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

namespace {

// A value as a key line carries it: inside quotes when it would not read back as itself.
std::string WrittenValue(std::string_view value) {
  if (!NeedsQuotes(value)) return std::string(value);
  std::string quoted;
  quoted.reserve(value.size() + 2);
  quoted.append(1, '"').append(value).append(1, '"');
  return quoted;
}

std::string NewKeyLine(std::string_view key, std::string_view value) {
  std::string line = IniKeyNeedsEscape(key) ? EscapeIniKey(key) : std::string(key);
  line += '=';
  line += WrittenValue(value);
  line.append(kCrLf);
  return line;
}

bool CanBeWritten(std::string_view value) {
  return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// What the scan found of a section that changes.
struct SectionFound {
  std::vector<std::size_t> changes;  // change indexes, as given
  std::optional<IniLine> header;
  std::optional<IniLine> last_key;
};

// A piece of the new file: the old bytes from `begin` to `end` give way to `text`.
struct Splice {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::string text;
  bool starts_line = false;  // new lines: a line break first when the bytes before lack one
};

// Whether the pieces so far (none of them empty) end a line, as a new line needs: nothing yet,
// only a byte-order mark, or a line break last.
bool PiecesEndLine(const std::vector<std::string_view>& pieces) {
  std::size_t size = 0;
  for (std::string_view piece : pieces) size += piece.size();
  if (size == 0) return true;
  if (size == kUtf8Bom.size()) {
    std::string joined;
    for (std::string_view piece : pieces) joined += piece;
    if (joined == kUtf8Bom) return true;
  }
  return IsLineBreak(pieces.back().back());
}

}  // namespace

std::optional<IniPieces> PlanIniValues(std::string_view content,
                                       const std::vector<IniValueChange>& changes) {
  std::vector<IniSectionRead> reads;
  std::vector<IniTarget> targets;
  for (std::size_t i = 0; i < changes.size(); ++i) {
    if (changes[i].value && !CanBeWritten(*changes[i].value)) return std::nullopt;
    reads.emplace_back(changes[i].section);
    targets.push_back(IniTarget{i, changes[i].key});
  }
  IniWalker walker(std::move(reads), std::move(targets));
  std::vector<SectionFound> sections(walker.SlotCount());
  std::unordered_set<std::string> named;  // slot and folded key of every change
  for (std::size_t i = 0; i < changes.size(); ++i) {
    std::size_t slot = walker.SlotOf(i);
    if (!named.insert(std::to_string(slot) + ":" + FoldNameCase(changes[i].key)).second) {
      return std::nullopt;
    }
    sections[slot].changes.push_back(i);
  }

  std::vector<Splice> splices;
  std::vector<bool> found(changes.size(), false);
  WalkIni(content, walker, [&](const IniLine& line, const IniStep& step) {
    if (walker.Passed()) return false;  // no later line is read
    if (step.slot == IniStep::kNone) return true;
    SectionFound& section = sections[step.slot];
    if (step.opens_section) section.header = line;
    if (line.kind != IniLineKind::kKey) return true;
    section.last_key = line;
    if (step.target == IniStep::kNone) return true;
    found[step.target] = true;
    const IniValueChange& change = changes[step.target];
    if (!change.value) {
      splices.push_back(Splice{line.begin, line.break_end, {}, false});
      return true;
    }
    std::string text(line.name);
    text += '=';
    text += WrittenValue(*change.value);
    if (line.end == content.size()) text.append(kCrLf);
    splices.push_back(Splice{line.begin, line.end, std::move(text), false});
    return true;
  });

  std::string new_sections;
  for (const SectionFound& section : sections) {
    std::string new_lines;
    for (std::size_t i : section.changes) {
      if (!found[i] && changes[i].value) new_lines += NewKeyLine(changes[i].key, *changes[i].value);
    }
    if (new_lines.empty()) continue;
    if (section.header) {
      const IniLine& anchor = section.last_key ? *section.last_key : *section.header;
      splices.push_back(Splice{anchor.break_end, anchor.break_end, std::move(new_lines), true});
    } else {
      const std::string& name = changes[section.changes.front()].section;
      new_sections.append(1, '[').append(name).append(1, ']').append(kCrLf);
      new_sections += new_lines;
    }
  }
  std::sort(splices.begin(), splices.end(), [](const Splice& a, const Splice& b) {
    return a.begin != b.begin ? a.begin < b.begin : a.end < b.end;
  });

  IniPieces plan;
  // Every new text is in place before the first view of one is taken, and `texts` never grows
  // past its reserve, so the views stay good.
  plan.texts.reserve(splices.size() + 1);
  for (Splice& splice : splices) plan.texts.push_back(std::move(splice.text));
  plan.texts.push_back(std::move(new_sections));
  auto add = [&plan](std::string_view piece) {
    if (!piece.empty()) plan.pieces.push_back(piece);
  };
  std::size_t position = 0;
  for (std::size_t i = 0; i < splices.size(); ++i) {
    add(content.substr(position, splices[i].begin - position));
    if (splices[i].starts_line && !PiecesEndLine(plan.pieces)) add(kCrLf);
    add(plan.texts[i]);
    position = splices[i].end;
  }
  add(content.substr(position));
  if (!plan.texts.back().empty()) {
    if (!PiecesEndLine(plan.pieces)) add(kCrLf);
    add(plan.texts.back());
  }
  return plan;
}

std::optional<std::string> WithIniValues(std::string_view content,
                                         const std::vector<IniValueChange>& changes) {
  std::optional<IniPieces> plan = PlanIniValues(content, changes);
  if (!plan) return std::nullopt;
  return plan->Joined();
}

std::string IniPieces::Joined() const {
  std::size_t size = 0;
  for (std::string_view piece : pieces) size += piece.size();
  std::string joined;
  joined.reserve(size);
  for (std::string_view piece : pieces) joined.append(piece);
  return joined;
}

IniLookup LookUpIniEntries(std::string_view content, std::string_view value_section,
                           std::string_view key, std::string_view entries_section,
                           std::string_view key_prefix) {
  IniLookup found;
  // A plain key is its own name, so its start is compared before any key is built.
  auto may_have_prefix = [key_prefix](std::string_view written_key) {
    return IniKeyMayBeEscaped(written_key) ||
           NamesMatch(written_key.substr(0, key_prefix.size()), key_prefix);
  };
  IniWalker walker({IniSectionRead(std::string(value_section)),
                    IniSectionRead(std::string(entries_section), may_have_prefix)},
                   {IniTarget{0, std::string(key)}});
  std::size_t entries_slot = walker.SlotOf(1);
  std::string folded_prefix = FoldNameCase(key_prefix);
  WalkIni(content, walker, [&](const IniLine& line, const IniStep& step) {
    if (walker.Passed()) return false;  // no later line is read
    if (step.target == 0) found.value = std::string(UnquoteIniValue(line.value));
    if (step.slot != entries_slot || !step.first_of_key) return true;
    if (FoldNameCase(step.key).compare(0, folded_prefix.size(), folded_prefix) != 0) return true;
    found.entries.push_back(
        IniEntry{std::string(step.key), std::string(UnquoteIniValue(line.value))});
    return true;
  });
  return found;
}

}  // namespace deckhand
