// The library's own reading of its card files, for our hosts that link the library's core (the
// static library deckhand_core): a mode table names a deck file for each mode (section "MODE"),
// and a deck file lists its cards (section "DECK": their count under "Max", the names under 1,
// 2, ...). The card-set checker must judge these files exactly as a deal reads them, and the
// converter must write them so that they read back as they were meant; both go through here, so
// there is one reader and one writer, the library's.
//
// The five exports cannot carry any of this (their one reply line says what a command did, not
// how a file reads), and the exports must stay exactly five; so, like the table, this lives in
// the core and not in the plug-in.
//
// The contract, for every function below:
//
//  - Texts are byte strings in the library's code page (Shift_JIS); nothing is converted.
//  - File names are resolved against the process's current directory at the moment of the call,
//    as the five commands resolve them.
//  - The functions may throw std::bad_alloc; they throw nothing else.
#ifndef DECKHAND_CARD_FILES_H
#define DECKHAND_CARD_FILES_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace deckhand::card_files {

// The names the files are read by. Names match without regard to ASCII letter case.
inline constexpr std::string_view kModeSection = "MODE";
inline constexpr std::string_view kCardSetSection = "DECK";
inline constexpr std::string_view kCardCountKey = "Max";
// "Reversible=1": the table deals each card upright or reversed. The five commands never read it.
inline constexpr std::string_view kReversibleKey = "Reversible";
// The most cards a deck file may ask for; a deck file with a larger "Max" cannot be dealt.
inline constexpr std::int32_t kMaxCardSetSize = 100000;

// Shift_JIS, as the library steps through names: a lead byte (0x81-0x9F, 0xE0-0xFC) starts a
// double-byte character whose second byte may look like ASCII ('[', '\\', 'A').
bool IsShiftJisLeadByte(unsigned char byte);
// Byte count of the character at `text[at]` (`at` < size): 2 for a complete double-byte
// character, else 1.
std::size_t ShiftJisCharLength(std::string_view text, std::size_t at);

// Names as the library compares them (modes, sections, keys): ASCII letters folded to lower case,
// the second bytes of double-byte characters left alone.
std::string FoldNameCase(std::string_view name);
bool NamesMatch(std::string_view a, std::string_view b);

// The path the library opens for the data file `name`, as a user should be shown it: the
// current directory, the platform's separator, and `name` (whose backslashes are separators).
std::string DataPath(std::string_view name);

// The mode name of a Deck command text: everything after its first comma; "" when there is none.
std::string ModeName(std::string_view command_text);

// The deck file that `mode` names in the mode table `mode_table`; "" when the table, its section
// or the mode is absent.
std::string LookUpDeckFile(std::string_view mode_table, std::string_view mode);

enum class CardSetOutcome {
  kRead,        // `cards` holds the set (none for a file without "Max" or with "Max" 0)
  kUnreadable,  // the deck file is absent or cannot be read: a deal gets nothing
  kTooLarge,    // "Max" is beyond kMaxCardSetSize: a deal gets no reply
};

struct CardSet {
  CardSetOutcome outcome = CardSetOutcome::kUnreadable;
  // The cards in the file's order; an entry missing within 1 to "Max" is an empty name.
  std::vector<std::string> cards;
  bool reversible = false;  // the file says "Reversible=1"
};

// The deck file as a deal reads it.
CardSet ReadCardSet(std::string_view deck_file);

// The cards a deck of these names holds once saved: the library saves a deck as one comma list,
// so a name holding commas comes back as that many cards, and a deck of one empty name as none.
std::size_t SavedCardCount(const std::vector<std::string>& cards);

// The lines of a card file, as the library reads them: any run of CR and LF is one line break;
// lines are trimmed of 0x09-0x0D, 0x1A and 0x20; ';' starts a comment; '[' starts a section
// header whose name ends at the first ']'; other lines holding '=' are key lines; a UTF-8
// byte-order mark is skipped. The first section of a name, and the first key of a name in it,
// are the ones a reader finds.
enum class LineKind { kEmpty, kComment, kSection, kKey, kOther };

struct Line {
  LineKind kind = LineKind::kEmpty;
  std::string_view name;   // a section's name, or a key as written (trimmed)
  std::string_view value;  // key lines: the value as written (trimmed, quotes kept)
  std::size_t begin = 0;   // offset of the line's first byte
  std::size_t end = 0;     // offset just past the line's content, before its line break
};

// A line of a card file and what the library's reading makes of it in one section.
struct SectionLine {
  Line line;
  bool in_section = false;       // in the first section of the name (its header included): read
  bool opens_section = false;    // the header of that section
  bool repeats_section = false;  // a header of the name past its first section: never read
  // Key lines in the section: whether the line is the entry a reader finds, the first of its key;
  // for a later line of a key, the offset of the line that is (npos for a line that stands for
  // no key, one whose key is empty); and the key it stands for (escaped forms decoded).
  bool first_of_key = false;
  std::size_t first_begin = std::string_view::npos;
  std::string key;
};

// Hands every line of `content`, in order, to `visit` with what the library's reading makes of it
// within the section named `section`: which section is read and which line is each key's entry.
void WalkSection(std::string_view content, std::string_view section,
                 const std::function<void(const SectionLine&)>& visit);

// A value as read: one pair of matching surrounding quotes removed.
std::string_view UnquoteValue(std::string_view written);

// The number a value stands for, as "Max" is read: leading bytes up to 0x20 skipped, one
// optional sign, the digits up to the first other byte, wrapped to 32 bits; 0 without digits.
std::int32_t ReadNumber(std::string_view value);

// The key a key line stands for: keys the plain format cannot hold are written in an escaped
// form ("~ ... ~"), which this decodes; other keys are as written.
std::string EntryKey(std::string_view written_key);

// The line, with its CRLF, that the library writes for `key` set to `value` in a section: the
// key (escaped when it must be), '=', the value (inside quotes when it would not read back as
// itself); nullopt when the value holds CR, LF or NUL, which no line can hold.
std::optional<std::string> EntryLine(std::string_view key, std::string_view value);

// Replaces the file at `path` with `bytes` the way the library replaces its save file: a
// temporary file beside it, flushed, renamed over it, so that a failure or a crash leaves the old
// file or the new one and never a part. False when it could not (nothing changed then); a file
// marked read-only is not replaced.
bool ReplaceFile(const std::string& path, std::string_view bytes);

}  // namespace deckhand::card_files

#endif  // DECKHAND_CARD_FILES_H
