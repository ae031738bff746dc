// Which lines of an INI file a reader reads, and as which entry: the one home of the rule that
// the first section of a name is the one read, that in it the first key line of a key is the
// entry, and that names match as the platform matches them (ASCII letters without regard to
// case, an escaped key as the key it decodes to; see ini_format.h). Every reader, the edit
// planners and the hosts' checker and converter take each line's meaning from here, so that
// none of them can come to disagree about which line an entry is.
#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "storage/ini_format.h"
#include "text/shift_jis.h"

namespace deckhand {

// A key a reader looks for, ready to be compared with key lines.
class IniKeyMatcher {
 public:
  explicit IniKeyMatcher(std::string_view key);
  // Whether a key line whose key is written `written_key` is an entry of this key. Every key
  // line of a save file is compared, so the common case is inline.
  bool Matches(std::string_view written_key) const {
    // A plain key is never empty and never starts as an escaped form, so it can only be a
    // written key that stands for itself: compared as written, without building a key per line.
    if (!escaped_) return NamesMatch(written_key, key_);
    return MatchesEscaped(written_key);
  }

 private:
  bool MatchesEscaped(std::string_view written_key) const;

  std::string key_;
  bool escaped_;  // the key is written escaped, so a written key may need decoding first
};

// Whether a written key may stand for another key than itself: it starts as an escaped form
// does. Every other written key stands for itself, or, when empty, for no key at all: the library
// writes the empty key escaped, so a line with a plain empty key is none of its entries.
bool IniKeyMayBeEscaped(std::string_view written_key);

// The number a key stands for when it is a plain decimal number from 1 to `limit` (no sign, no
// leading zero, as the library writes numbers): a key that neither folding nor decoding changes.
std::optional<std::size_t> IniPlainNumber(std::string_view key, std::size_t limit);

// A section a walk reads: only its first section of the name counts.
struct IniSectionRead {
  // Read for the targets looked for in it.
  explicit IniSectionRead(std::string name_) : name(std::move(name_)) {}
  // Read for every key: each key line of it that `keep_` picks (every one when `keep_` is empty)
  // is told apart by its key, which costs a folded copy of every key kept; `keep_` picks the
  // written keys worth it, so that a file of junk lines costs no memory for them. Keys that are
  // plain numbers up to `most_numbered_` are always told apart, by their number and without a
  // map: deck files are numbered lists of up to 100,000 cards.
  IniSectionRead(std::string name_, std::function<bool(std::string_view written_key)> keep_,
                 std::size_t most_numbered_ = 0)
      : name(std::move(name_)),
        every_key(true),
        keep(std::move(keep_)),
        most_numbered(most_numbered_) {}

  std::string name;
  bool every_key = false;
  std::function<bool(std::string_view written_key)> keep;
  std::size_t most_numbered = 0;
};

// A key a walk looks for in a section (`section` indexes the sections given).
struct IniTarget {
  std::size_t section = 0;
  std::string key;
};

// What the rule makes of one line.
struct IniStep {
  static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

  // The read section the line belongs to, its header included (IniWalker::SlotOf gives the slot
  // of a section as given); kNone outside every read section.
  std::size_t slot = kNone;
  bool opens_section = false;    // the line is the header of that section
  bool repeats_section = false;  // a header of a read name past its first section: never read
  // Key lines of a read section:
  std::size_t target = kNone;  // the target whose entry this line is (its first line of the key)
  // For sections read for every key, of the lines kept: whether the line is the first of its
  // key, the entry a reader finds; else the offset of the line that is (kNone for a line of no
  // key); the key the line stands for, escaped forms decoded (valid until the next line); and
  // the number of a plain number key up to the section's most_numbered.
  bool first_of_key = false;
  std::size_t first_begin = kNone;
  std::string_view key;
  std::size_t number = kNone;
};

// Applies the rule to the lines of a file, one at a time in order. A file read in pieces feeds
// the lines of each piece in turn (offsets are then the piece's own).
class IniWalker {
 public:
  // Sections of names that match share one slot; targets of one key in one slot share the first
  // line of the key (the first target given gets it).
  IniWalker(std::vector<IniSectionRead> sections, std::vector<IniTarget> targets);

  // The slot of the section given at `index`.
  std::size_t SlotOf(std::size_t index) const { return slot_of_[index]; }
  std::size_t SlotCount() const { return slots_.size(); }

  // Fills `step` with what `line`, the next line of the file, is. Inline, for it runs once per
  // line of files of megabytes.
  void Take(const IniLine& line, IniStep& step) {
    step.target = IniStep::kNone;
    step.opens_section = false;
    step.repeats_section = false;
    step.first_of_key = false;
    step.first_begin = IniStep::kNone;
    step.key = {};
    step.number = IniStep::kNone;
    if (line.kind == IniLineKind::kSection) {
      TakeHeader(line, step);
      return;
    }
    step.slot = current_;
    if (current_ == IniStep::kNone || line.kind != IniLineKind::kKey) return;
    Slot& slot = slots_[current_];
    for (std::size_t target : slot.targets) {
      if (!matchers_[target].Matches(line.name)) continue;
      // The first line of a key is its entry; a later one, and a later target of the same key,
      // gets nothing.
      if (!found_[target]) step.target = target;
      found_[target] = true;
      break;
    }
    if (slot.read.every_key) TellKeyApart(line, slot, step);
  }

  // True once every read section has ended: no later line is read.
  bool Passed() const { return sections_ended_ == slots_.size(); }

 private:
  struct Slot {
    IniSectionRead read;
    bool seen = false;
    std::vector<std::size_t> targets;                           // of the targets given
    std::unordered_map<std::string, std::size_t> first_begins;  // folded key -> first line
    std::vector<std::size_t> numbered_begins;                   // by number; kNone: not yet
  };

  void TakeHeader(const IniLine& line, IniStep& step);
  void TellKeyApart(const IniLine& line, Slot& slot, IniStep& step);

  std::vector<Slot> slots_;
  std::vector<std::size_t> slot_of_;
  std::vector<IniKeyMatcher> matchers_;
  std::vector<char> found_;  // by target: its first line has been taken
  std::string decoded_key_;  // the key of the last escaped key line told apart
  std::size_t current_ = IniStep::kNone;
  std::size_t sections_ended_ = 0;
};

// Walks the lines of a whole file through `walker`, handing each line and its step to `visit`
// (a callable taking const IniLine& and const IniStep&, returning false to stop).
template <typename Visit>
void WalkIni(std::string_view content, IniWalker& walker, Visit&& visit) {
  IniLineScanner scanner(content);
  IniLine line;
  IniStep step;
  while (scanner.Next(line)) {
    walker.Take(line, step);
    if (!visit(line, step)) return;
  }
}

}  // namespace deckhand
