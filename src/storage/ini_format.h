// The INI text format of the data files, as pure functions over a file's bytes: scanning
// lines, finding an entry, and producing the file with one entry written. No file access.
//
// Reading follows the rules users' files were written for: any run of CR and LF is one line
// break; lines are trimmed of 0x09-0x0D, 0x1A and 0x20; ';' starts a comment; '[' starts a
// section header whose name ends at the first ']' (stepping over Shift_JIS double-byte
// characters); other lines holding '=' are key lines; the first section of a name and the
// first key of a name in it win; names match without regard to ASCII letter case; a value
// wrapped in one pair of matching quotes loses them; a UTF-8 byte-order mark is skipped. Which
// line is which entry is decided in one place, the walker of ini_walk.h.
//
// Writing changes at most one line or adds lines; every other byte stays as it was.
//
// Keys the plain format cannot hold (empty, surrounded by whitespace, starting with '[', ';'
// or "~ ", or holding '=', CR, LF or NUL) are written escaped:
//
//     "~ " + key with every byte <= 0x20, '%' and '=' written as %XX (upper-case hex) + " ~"
//
// e.g. the key "[Tom]" is written "~ [Tom] ~" and "#a=b" is written "~ #a%3Db ~". The escaped
// form holds spaces, which a command-line field never does, so it never equals a real target;
// other INI readers see it as a harmless key of its own. A written key counts as escaped only
// when it is exactly the escaped form of a key that needs escaping, so the mapping is one to one;
// a plain empty written key stands for no key, since the empty key is always written escaped.
//
// Values that would not read back as themselves (surrounded by whitespace, or starting and
// ending with the same quote) are written inside one pair of '"'. Values holding CR, LF or NUL
// cannot be written at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "deckhand/card_files.h"

namespace deckhand {

// The kinds of line are the ones hosts see in deckhand/card_files.h.
using IniLineKind = card_files::LineKind;

struct IniLine {
  IniLineKind kind = IniLineKind::kEmpty;
  std::string_view name;      // section name, or the key as written (trimmed)
  std::string_view value;     // key lines: the value as written (trimmed, quotes kept)
  std::size_t begin = 0;      // offset of the line's first byte
  std::size_t end = 0;        // offset just past the line's content, before its line break
  std::size_t break_end = 0;  // offset just past the line's own line end (CR, LF or CRLF)
};

// Walks the lines of a file's bytes in order. Save files hold long lines (a deck of hundreds
// of cards is one line), so line ends are found with memchr rather than byte by byte.
class IniLineScanner {
 public:
  // `at_file_start` is false for a later piece of a file read in pieces, where a byte-order
  // mark is no longer one.
  explicit IniLineScanner(std::string_view content, bool at_file_start = true);
  // Fills `line` with the next line; false at the end of the content.
  bool Next(IniLine& line);

 private:
  // Offset of the first line break at or after position_ (the content's size when none).
  std::size_t NextBreak();
  // Offset of the first `byte` at or after position_, or npos.
  std::size_t FindFromPosition(char byte) const;

  std::string_view content_;
  std::size_t position_;
  // The next CR and the next LF at or after the last search (npos when there is none). Kept
  // between lines so that a file without any CR, or without any LF, is searched once, not once
  // per line.
  std::size_t next_cr_;
  std::size_t next_lf_;
};

// Where an entry stands in a file: the first section of the name, the first matching key
// line in it, and, only when there is no such key, the last key line of that section (where a
// new key goes). The scan ends at the matching key line.
struct IniEntryPlace {
  std::optional<IniLine> section;
  std::optional<IniLine> key;
  std::optional<IniLine> last_key;
};

IniEntryPlace LocateIniEntry(std::string_view content, std::string_view section,
                             std::string_view key);

// The value of (section, key) in `content`, with surrounding quotes removed; nullopt when the
// section or key is absent.
std::optional<std::string> FindIniValue(std::string_view content, std::string_view section,
                                        std::string_view key);

// FindIniValue over a file that arrives in pieces, so that a reader need not hold a file of
// megabytes whole to find one line of it. The pieces are fed in order; lines may be cut
// anywhere between them.
class IniWalker;

class IniValueFinder {
 public:
  IniValueFinder(std::string_view section, std::string_view key);
  ~IniValueFinder();
  IniValueFinder(const IniValueFinder&) = delete;
  IniValueFinder& operator=(const IniValueFinder&) = delete;
  // Takes the next piece; false once the answer is known, when no more pieces are needed.
  bool Feed(std::string_view piece);
  // The answer, after the last piece (or after Feed returned false).
  std::optional<std::string> Finish();

 private:
  // Looks at the whole lines of `lines`; false once the answer is known.
  bool ScanLines(std::string_view lines);

  std::unique_ptr<IniWalker> walker_;  // reads the one section for the one key
  bool at_file_start_ = true;
  bool done_ = false;
  std::string partial_line_;  // the start of a line that a piece cut
  std::optional<std::string> value_;
};

// A value as read: one pair of matching surrounding quotes removed.
std::string_view UnquoteIniValue(std::string_view written);

// The decimal number a value holds: leading bytes up to 0x20 skipped, one optional sign, the
// digits up to the first other byte, wrapped to a signed 32-bit integer; 0 without digits.
std::int32_t ParseIniNumber(std::string_view value);

// The key a key line stands for: the decoded key for an escaped form, else the written key.
std::string EffectiveIniKey(std::string_view written_key);

// True for keys that must be written escaped.
bool IniKeyNeedsEscape(std::string_view key);
std::string EscapeIniKey(std::string_view key);

// How a file changes when one entry is written: the new file is `before`, `head`, `value`,
// `tail` and `after` one after another, where `before` and `after` are views into the old
// content and `value` is the value as given. A save file of many targets runs to megabytes,
// and a deck of 100,000 cards is a value of a megabyte, so the writer passes these pieces on
// rather than copying either into one new string.
struct IniEdit {
  std::string_view before;
  std::string head;  // new text before the value: the key, '=', an opening quote
  std::string_view value;
  std::string tail;  // new text after it: a closing quote, a line end, ...
  std::string_view after;
};

// The edit that sets (section, key) to `value` in `content`; nullopt when the value cannot be
// written.
std::optional<IniEdit> PlanIniValue(std::string_view content, std::string_view section,
                                    std::string_view key, std::string_view value);

// `content` with (section, key) set to `value`; nullopt when the value cannot be written.
std::optional<std::string> WithIniValue(std::string_view content, std::string_view section,
                                        std::string_view key, std::string_view value);

// One entry to set or remove in a change of several entries at once.
struct IniValueChange {
  std::string section;
  std::string key;
  std::optional<std::string> value;  // nullopt: the key's line is removed
};

// A new file as pieces to write one after another: views into the old content, into `texts`
// (the new lines) and into constants. A save file runs to megabytes, so a writer passes the
// pieces on rather than copying the whole file into one new string. Moving keeps the views
// good; a copy would not, so there is none.
struct IniPieces {
  IniPieces() = default;
  IniPieces(IniPieces&&) = default;
  IniPieces& operator=(IniPieces&&) = default;
  IniPieces(const IniPieces&) = delete;
  IniPieces& operator=(const IniPieces&) = delete;

  std::string Joined() const;

  std::vector<std::string> texts;
  std::vector<std::string_view> pieces;  // none empty
};

// The pieces of `content` with every change made (as WithIniValues makes them); the old
// content must outlive them.
std::optional<IniPieces> PlanIniValues(std::string_view content,
                                       const std::vector<IniValueChange>& changes);

// `content` with every change made in one pass: a key that exists (first match, as reading finds
// it) gets its new value on its own line or loses its line; a new key of an existing section goes
// after the section's last key line, in the order given; new sections go at the end of the file.
// Every other byte stays as it was, as with WithIniValue. nullopt when a value cannot be written
// (CR, LF, NUL) or one key is named twice. For commands that move cards between several entries,
// which must change together or not at all.
std::optional<std::string> WithIniValues(std::string_view content,
                                         const std::vector<IniValueChange>& changes);

// An entry as reading finds it: the key it stands for (escaped forms decoded) and its value.
struct IniEntry {
  std::string key;
  std::string value;
};

// One value and a set of entries, found in one pass over a file: the value of
// (value_section, key), as FindIniValue finds it, and the entries of `entries_section` whose key
// starts with `key_prefix` (without regard to ASCII letter case), in file order, the first of each
// key only. For a save file of megabytes, one scan instead of two.
struct IniLookup {
  std::optional<std::string> value;
  std::vector<IniEntry> entries;
};

IniLookup LookUpIniEntries(std::string_view content, std::string_view value_section,
                           std::string_view key, std::string_view entries_section,
                           std::string_view key_prefix);

}  // namespace deckhand
