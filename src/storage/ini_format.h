// The INI text format of the data files, as pure functions over a file's bytes: scanning
// lines, finding an entry, and producing the file with one entry written. No file access.
//
// Reading follows the rules users' files were written for: any run of CR and LF is one line
// break; lines are trimmed of 0x09-0x0D, 0x1A and 0x20; ';' starts a comment; '[' starts a
// section header whose name ends at the first ']' (stepping over Shift_JIS double-byte
// characters); other lines holding '=' are key lines; the first section of a name and the
// first key of a name in it win; names match without regard to ASCII letter case; a value
// wrapped in one pair of matching quotes loses them; a UTF-8 byte-order mark is skipped.
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
// when it is exactly the escaped form of a key that needs escaping, so the mapping is one to one.
//
// Values that would not read back as themselves (surrounded by whitespace, or starting and
// ending with the same quote) are written inside one pair of '"'. Values holding CR, LF or NUL
// cannot be written at all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace deckhand {

enum class IniLineKind { kEmpty, kComment, kSection, kKey, kOther };

struct IniLine {
  IniLineKind kind = IniLineKind::kEmpty;
  std::string_view name;      // section name, or the key as written (trimmed)
  std::string_view value;     // key lines: the value as written (trimmed, quotes kept)
  std::size_t begin = 0;      // offset of the line's first byte
  std::size_t end = 0;        // offset just past the line's content, before its line break
  std::size_t break_end = 0;  // offset just past the line's own line end (CR, LF or CRLF)
};

// Walks the lines of a file's bytes in order.
class IniLineScanner {
 public:
  explicit IniLineScanner(std::string_view content);
  // Fills `line` with the next line; false at the end of the content.
  bool Next(IniLine& line);

 private:
  std::string_view content_;
  std::size_t position_;
};

// Where an entry stands in a file: the first section of the name, the first matching key
// line in it, and the last key line of that section (where a new key goes).
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

// `content` with (section, key) set to `value`; nullopt when the value cannot be written.
std::optional<std::string> WithIniValue(std::string_view content, std::string_view section,
                                        std::string_view key, std::string_view value);

}  // namespace deckhand
