#include "host/common/card_check.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string_view>
#include <system_error>
#include <utility>

#include "deckhand/card_files.h"
#include "deckhand/deckhand.h"
#include "host/common/card_text.h"
#include "host/common/character_references.h"

namespace deckhand::host {

// The files are judged by the library's own reading of them, never by a reading of our own.
using card_files::CardSet;
using card_files::CardSetOutcome;
using card_files::DataPath;
using card_files::FoldNameCase;
using card_files::kCardCountKey;
using card_files::kCardSetSection;
using card_files::kMaxCardSetSize;
using card_files::kModeSection;
using card_files::kReversibleKey;
using card_files::LineKind;
using card_files::NamesMatch;
using card_files::ReadCardSet;
using card_files::ReadNumber;
using card_files::SavedCardCount;
using card_files::SectionLine;
using card_files::UnquoteValue;
using card_files::WalkSection;

namespace {

// The longest reply the library writes: its reply buffer less the terminating NUL.
constexpr std::size_t kMaxReplyLength = DECKHAND_REPLY_SIZE - 1;

// About the most text one chat line carries after the command and the target: IRC's lines
// are 512 bytes with the sender's prefix, and other networks are alike.
constexpr std::size_t kChatLineBytes = 400;
// The longest target a reply is likely to go to (IRC channel names reach 50 bytes).
constexpr std::size_t kLongTarget = 50;
// The most of one card that a reply holds after "NOTICE ", such a target and a space.
constexpr std::size_t kCardInReplyBytes = kMaxReplyLength - 7 - kLongTarget - 1;

std::string Quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

// A file as the checker sees it: its bytes, or why there are none.
struct FileRead {
  enum { kRead, kAbsent, kUnreadable } outcome = kAbsent;
  std::string bytes;
  std::string why;  // kUnreadable: "permission denied", "not a file"
};

FileRead ReadFile(const std::string& path) {
  FileRead read;
  std::error_code failure;
  if (!std::filesystem::exists(path, failure)) return read;
  read.outcome = FileRead::kUnreadable;
  read.why = "not a file";
  if (!std::filesystem::is_regular_file(path, failure)) return read;
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  // The system's reason, in its own words in lower case ("permission denied"): the usual one is
  // a file of another user than the one the program runs as (a service's).
  read.why = std::generic_category().message(errno != 0 ? errno : EIO);
  if (!read.why.empty()) read.why[0] = static_cast<char>(std::tolower(read.why[0]));
  if (!in) return read;
  read.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) return read;
  read.outcome = FileRead::kRead;
  read.why.clear();
  return read;
}

// " is missing (WHERE)" or " cannot be read (permission denied; WHERE)", after a file's name,
// `where` saying where the library looks for it.
std::string WhyNotRead(const FileRead& read, const std::string& where) {
  switch (read.outcome) {
    case FileRead::kAbsent:
      return " is missing (" + where + ")";
    case FileRead::kUnreadable:
      return " cannot be read (" + read.why + "; " + where + ")";
    case FileRead::kRead:
      break;
  }
  return " could not be read (" + where + ")";  // then, though it can be now
}

// Line numbers as an editor counts them, from byte offsets. A file with no LF counts CRs.
class LineNumbers {
 public:
  explicit LineNumbers(std::string_view content) {
    char end = content.find('\n') == std::string_view::npos ? '\r' : '\n';
    for (std::size_t at = 0; at < content.size(); ++at) {
      if (content[at] == end) starts_.push_back(at + 1);
    }
  }
  std::size_t At(std::size_t offset) const {
    return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), offset) -
                                    starts_.begin()) +
           1;
  }

 private:
  std::vector<std::size_t> starts_;
};

// Collects the problems of one file.
class FileProblems {
 public:
  FileProblems(std::string file, std::vector<CardSetProblem>& all)
      : file_(std::move(file)), all_(&all) {}
  void Add(std::size_t line, std::string text) { all_->push_back({file_, line, std::move(text)}); }
  const std::string& file() const { return file_; }

 private:
  std::string file_;
  std::vector<CardSetProblem>* all_;
};

// The one command that mends a file's text on every system.
std::string ConvertHint(const std::string& file) {
  return "convert it with: deckhand --convert-cards --in-place " + file;
}

std::string Place(const TextPlace& place) {
  return "line " + std::to_string(place.line) + ", column " + std::to_string(place.column);
}

std::string_view EncodingName(CardTextKind kind) {
  return kind == CardTextKind::kUtf8 ? "UTF-8" : "Shift_JIS";
}

// What to do about text in no encoding deckhand knows, at `place`.
std::string InNoEncoding(const TextPlace& place, const std::string& failure,
                         const std::string& file) {
  return "column " + std::to_string(place.column) + ": " + failure +
         "; save it as UTF-8 in an editor, then " + ConvertHint(file);
}

// The most lines of one file named for their encoding; a file of other text has many.
constexpr std::size_t kOddLinesNamed = 20;

// Names each line in another encoding than the rest of the file, or in none: the converter
// converts the file line by line.
void CheckOddLines(const CardText& text, FileProblems& problems) {
  const std::string& file = problems.file();
  const std::vector<CardTextLine>& odd = text.odd_lines;
  for (std::size_t i = 0; i < odd.size(); ++i) {
    const CardTextLine& line = odd[i];
    std::size_t after = odd.size() - i - 1;
    if (i == kOddLinesNamed && after > 0) {
      problems.Add(line.place.line, "this line and " + std::to_string(after) +
                                        " more after it are in another encoding than the rest "
                                        "of the file, or in none");
      return;
    }
    if (line.kind == CardTextKind::kNeither) {
      problems.Add(line.place.line, InNoEncoding(line.place, line.failure, file));
      continue;
    }
    problems.Add(line.place.line,
                 "this line is " + std::string(EncodingName(line.kind)) +
                     " text, the rest of the file " + std::string(EncodingName(text.kind)) + ": " +
                     Quoted(line.first_foreign) + " at column " +
                     std::to_string(line.place.column) +
                     (line.kind == CardTextKind::kUtf8 ? " and what follows read garbled" : "") +
                     "; " + ConvertHint(file) + ", which converts it line by line");
  }
}

// Says how the file's text differs from Shift_JIS. False when the file is no text the checks
// of its entries could make sense of (UTF-16).
bool CheckEncoding(std::string_view bytes, FileProblems& problems) {
  const std::string& file = problems.file();
  CardText text = ReadCardText(bytes);
  switch (text.kind) {
    case CardTextKind::kShiftJis:
      CheckOddLines(text, problems);
      return true;
    case CardTextKind::kUtf16:
      problems.Add(0, "is UTF-16 text; the library reads Shift_JIS; " + ConvertHint(file));
      return false;
    case CardTextKind::kUtf8:
      // A byte-order mark before ASCII text is skipped by the library: nothing is garbled.
      if (!text.first_foreign.empty()) {
        problems.Add(text.first_foreign_place.line,
                     "is UTF-8 text: " + Quoted(text.first_foreign) + " at " +
                         Place(text.first_foreign_place) +
                         " and every other character beyond ASCII would be garbled, for the "
                         "library reads Shift_JIS; " +
                         ConvertHint(file));
      }
      CheckOddLines(text, problems);
      return true;
    case CardTextKind::kNeither:
      break;
  }
  if (!text.odd_lines.empty()) {  // each line beyond ASCII in none
    CheckOddLines(text, problems);
    return true;
  }
  problems.Add(text.failure_place.line, InNoEncoding(text.failure_place, text.failure, file));
  // Entries of UTF-16 text are beyond the library's reading: nothing more to tell.
  return text.failure_kind != CardTextFailure::kBrokenUtf16 &&
         text.failure_kind != CardTextFailure::kNulByte;
}

// Says when the name the library reads differs from the one the line seems to show.
void CheckValueAsRead(std::string_view content, const card_files::Line& line, std::string_view what,
                      FileProblems& problems, std::size_t line_number) {
  std::string_view as_read = UnquoteValue(line.value);
  // Quotes that keep spaces at an end of the name, or the quotes of a quoted name, are meant:
  // they are how the library's writer writes such names.
  bool keeps_spaces = !as_read.empty() && (as_read.front() == ' ' || as_read.back() == ' ');
  bool keeps_quotes = as_read.size() >= 2 && (as_read.front() == '"' || as_read.front() == '\'') &&
                      as_read.back() == as_read.front();
  if (as_read.size() != line.value.size() && !keeps_spaces && !keeps_quotes) {
    problems.Add(line_number, "the quotes of " + std::string(line.value) +
                                  " are dropped when it is read: " + std::string(what) + " is " +
                                  std::string(as_read));
    return;
  }
  std::string_view raw = content.substr(line.begin, line.end - line.begin);
  std::size_t equals = raw.find('=');
  bool spaced_key = equals > 0 && (raw[equals - 1] == ' ' || raw[equals - 1] == '\t');
  bool spaced_value =
      equals + 1 < raw.size() && (raw[equals + 1] == ' ' || raw[equals + 1] == '\t');
  if (spaced_value && !spaced_key && !line.value.empty()) {
    problems.Add(line_number, "the space after \"=\" is dropped when it is read: " +
                                  std::string(what) + " is " + Quoted(as_read) + " (quote it, \" " +
                                  std::string(as_read) + "\", to keep it)");
  }
}

// How a section of a file reads: the key lines of its first section of the name, in order,
// with the lines the library never looks at reported.
struct KeyLine {
  card_files::Line line;
  std::size_t number;
  std::string key;  // the key the line stands for
  // Whether the line is its key's entry, the first line of the key; else the line number of the
  // line that is (0 for a line that stands for no key).
  bool first;
  std::size_t first_number;
};

// True for the entry of its key; a later line of the key is reported as `what` (e.g. "the key")
// that appears again, and false, as is a line of no key.
bool IsRead(const KeyLine& key, std::string_view what, FileProblems& problems) {
  if (key.first) return true;
  if (key.first_number == 0) {
    problems.Add(key.number, "an entry without a key is never read");
  } else {
    problems.Add(key.number, std::string(what) + " " + Quoted(key.key) +
                                 " appears again (first at line " +
                                 std::to_string(key.first_number) +
                                 "); the first one wins and this one is never read");
  }
  return false;
}

// The edits (a letter added, dropped or changed) that make `a` into `b`, letter case aside;
// stops counting past 3.
std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::string x = FoldNameCase(a), y = FoldNameCase(b);
  if (x.size() > y.size() + 3 || y.size() > x.size() + 3) return 4;
  std::vector<std::size_t> row(y.size() + 1);
  for (std::size_t j = 0; j <= y.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= x.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= y.size(); ++j) {
      std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] != y[j - 1])});
      diagonal = above;
    }
  }
  return row[y.size()];
}

// A name one or two slips from `meant` ("MODES", "DEK", "Maxx"); names of one or two letters
// are too short to tell a slip from another name.
bool IsNearMiss(std::string_view name, std::string_view meant) {
  return !NamesMatch(name, meant) && name.size() > 2 &&
         EditDistance(name, meant) <= (meant.size() > 4 ? 2 : 1);
}

// The name of `names` that `name` is a slip for; nullopt when none or several are that close.
std::optional<std::string> NearestName(std::string_view name,
                                       const std::vector<std::string>& names) {
  std::optional<std::string> nearest;
  std::size_t best = 3;
  bool tied = false;
  for (const std::string& candidate : names) {
    if (!IsNearMiss(name, candidate)) continue;
    std::size_t distance = EditDistance(name, candidate);
    tied = distance == best;
    if (distance < best) nearest = candidate;
    best = std::min(best, distance);
  }
  if (tied) return std::nullopt;
  return nearest;
}

std::optional<std::vector<KeyLine>> ReadSection(std::string_view content, const LineNumbers& lines,
                                                std::string_view section, FileProblems& problems) {
  std::optional<std::vector<KeyLine>> keys;
  bool in_any_section = false;
  WalkSection(content, section, [&](const SectionLine& at) {
    const card_files::Line& line = at.line;
    std::size_t number = lines.At(line.begin);
    if (line.kind == LineKind::kSection) {
      in_any_section = true;
      if (at.opens_section) {
        keys.emplace();
      } else if (at.repeats_section) {
        problems.Add(number, "a second [" + std::string(section) +
                                 "] section is never read: only the first one counts");
      } else if (IsNearMiss(line.name, section)) {
        problems.Add(number, "the section [" + std::string(line.name) +
                                 "] is never read: did you mean [" + std::string(section) + "]?");
      }
    } else if (line.kind == LineKind::kKey && !in_any_section) {
      problems.Add(number, "an entry before any [section] is never read");
    } else if (at.in_section && line.kind == LineKind::kOther) {
      problems.Add(number, "a line without \"=\" is no entry and is never read");
    } else if (at.in_section && line.kind == LineKind::kKey) {
      std::size_t first_number =
          at.first_begin == std::string_view::npos ? 0 : lines.At(at.first_begin);
      keys->push_back({line, number, at.key, at.first_of_key, first_number});
    }
  });
  return keys;
}

// "3, 7-9": the numbers, in order, as ranges.
std::string Ranges(const std::vector<std::int64_t>& numbers) {
  std::string text;
  for (std::size_t i = 0; i < numbers.size();) {
    std::size_t j = i;
    while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
    if (!text.empty()) text += ", ";
    text += std::to_string(numbers[i]);
    if (j > i) text += "-" + std::to_string(numbers[j]);
    i = j + 1;
  }
  return text;
}

// "the card 3 is" or "the cards 3, 7-9 are", to head a message.
std::string Cards(const std::vector<std::int64_t>& numbers) {
  return numbers.size() == 1 ? "the card " + Ranges(numbers) + " is"
                             : "the cards " + Ranges(numbers) + " are";
}

// The number a key stands for when the library looks it up as a card entry: a plain decimal
// number as it writes numbers (no sign, no leading zero).
std::optional<std::int64_t> CardNumber(std::string_view key) {
  if (key.empty() || key.size() > 9 || key.front() == '0') return std::nullopt;
  std::int64_t number = 0;
  for (char c : key) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + (c - '0');
  }
  return number;
}

bool LooksNumbered(std::string_view key) {
  return !key.empty() && key.find_first_not_of("+-0123456789") == std::string_view::npos;
}

// The entries of a deck file's [DECK] section, first of each key kept.
struct DeckEntries {
  std::optional<KeyLine> count;
  std::map<std::int64_t, KeyLine> cards;
};

// Control characters make chat clients and terminals act (ring, colour, move the cursor, take
// the line as a client command) instead of showing them.
void CheckControlCharacters(std::string_view card, const KeyLine& key, FileProblems& problems) {
  for (char c : card) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) continue;  // never the second byte of a pair
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", byte);
    problems.Add(key.number, "the card " + key.key + " holds the control character " + hex +
                                 (byte == 0x1B ? " (ESC)" : "") +
                                 ": chat clients act on it instead of showing it; remove it");
    return;
  }
}

// A card too long for one chat line is split over lines; one too long for a reply is cut.
void CheckCardLength(std::string_view card, const KeyLine& key, FileProblems& problems) {
  std::string size = std::to_string(card.size()) + " bytes";
  if (card.size() > kCardInReplyBytes) {
    problems.Add(key.number, "the card " + key.key + " is " + size + ": a reply holds at most " +
                                 std::to_string(kCardInReplyBytes) +
                                 " bytes of it (to a target of " + std::to_string(kLongTarget) +
                                 " bytes), so it is drawn cut short; shorten it");
  } else if (card.size() > kChatLineBytes) {
    problems.Add(key.number, "the card " + key.key + " is " + size +
                                 ", longer than one chat line (" + std::to_string(kChatLineBytes) +
                                 " bytes): a chat bot splits it over lines; shorten it");
  }
}

DeckEntries CollectDeckEntries(std::string_view content, const std::vector<KeyLine>& keys,
                               FileProblems& problems) {
  DeckEntries entries;
  for (const KeyLine& key : keys) {
    if (!IsRead(key, "the key", problems)) continue;
    if (NamesMatch(key.key, kCardCountKey)) {
      entries.count = key;
    } else if (NamesMatch(key.key, kReversibleKey)) {
      // The table deals such a deck's cards upright or reversed; nothing to check.
      continue;
    } else if (std::optional<std::int64_t> number = CardNumber(key.key)) {
      entries.cards.emplace(*number, key);
      std::string_view card = UnquoteValue(key.line.value);
      if (card.find(',') != std::string_view::npos) {
        problems.Add(key.number,
                     "the card " + Quoted(card) + " holds a comma: it is saved and drawn as " +
                         std::to_string(SavedCardCount({std::string(card)})) + " separate cards");
      }
      CheckControlCharacters(card, key, problems);
      CheckCardLength(card, key, problems);
      CheckValueAsRead(content, key.line, "the card", problems, key.number);
    } else if (LooksNumbered(key.key)) {
      problems.Add(key.number, "the key " + Quoted(key.key) +
                                   " is never read: number the cards 1, 2, 3 with no sign or "
                                   "leading zero");
    } else {
      std::optional<std::string> meant =
          NearestName(key.key, {std::string(kCardCountKey), std::string(kReversibleKey)});
      problems.Add(key.number, "the key " + Quoted(key.key) + " is never read: " +
                                   (meant ? "did you mean " + *meant + "?"
                                          : "a deck file holds Max and the numbered cards"));
    }
  }
  return entries;
}

// The number `written` as its digits say, capped at 10^10: what Max means before the reader's
// wrapping to 32 bits; nullopt when it is no plain number (then it reads as it reads).
std::optional<std::int64_t> WrittenNumber(std::string_view written) {
  if (!written.empty() && written.front() == '+') written.remove_prefix(1);
  if (written.empty() || written.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  std::int64_t number = 0;
  for (char digit : written) number = std::min<std::int64_t>(number * 10 + (digit - '0'), 1e10);
  return number;
}

// What to write instead of a missing or wrong Max, from the cards the file holds.
std::string MaxHint(const DeckEntries& entries) {
  if (entries.cards.empty()) return "write Max=N above the cards 1=NAME to N=NAME";
  std::int64_t highest = entries.cards.rbegin()->first;
  if (highest > kMaxCardSetSize) return "write Max=N for its N cards";
  return "add Max=" + std::to_string(highest) + " (it holds " +
         (entries.cards.size() == 1 ? "the card " : "the cards ") + Ranges([&] {
           std::vector<std::int64_t> numbers;
           for (const auto& [number, key] : entries.cards) numbers.push_back(number);
           return numbers;
         }()) +
         ")";
}

// The cards `deck,MODE` deals from the deck file's entries, reporting what goes wrong.
std::optional<std::int32_t> CheckCardCount(const DeckEntries& entries, const std::string& mode,
                                           FileProblems& problems) {
  std::string deal = "deck," + mode;
  if (!entries.count) {
    problems.Add(0, "has no Max: " + deal + " deals an empty deck; " + MaxHint(entries));
    return std::nullopt;
  }
  std::string_view written = UnquoteValue(entries.count->line.value);
  std::int32_t count = ReadNumber(written);
  std::size_t line = entries.count->number;
  std::string shown = "Max=" + std::string(written);
  if (std::to_string(count) != written) shown += " (read as " + std::to_string(count) + ")";
  std::optional<std::int64_t> meant = WrittenNumber(written);
  if (meant && *meant != count) {
    problems.Add(line, "Max=" + std::string(written) + " is beyond the numbers the library reads " +
                           "(it reads as " + std::to_string(count) + "): " + deal + " deals " +
                           (count <= 0   ? "an empty deck"
                            : count == 1 ? "1 card"
                                         : std::to_string(count) + " cards") +
                           "; the most is Max=" + std::to_string(kMaxCardSetSize));
    if (count <= 0 || count > kMaxCardSetSize) return std::nullopt;
  } else if (count <= 0) {
    problems.Add(line, shown + ": " + deal + " deals an empty deck; " + MaxHint(entries));
    return std::nullopt;
  }
  if (count > kMaxCardSetSize) {
    problems.Add(line, shown + " is above the " + std::to_string(kMaxCardSetSize) +
                           " cards the library deals: " + deal + " gets no reply");
    return std::nullopt;
  }
  std::vector<std::int64_t> missing, empty, above;
  std::int64_t within = 0;
  for (std::int64_t i = 1; i <= count; ++i) {
    auto found = entries.cards.find(i);
    if (found == entries.cards.end()) {
      missing.push_back(i);
      continue;
    }
    ++within;
    if (found->second.line.value.empty()) empty.push_back(i);
  }
  for (const auto& [number, key] : entries.cards) {
    if (number > count) above.push_back(number);
  }
  if (!missing.empty()) {
    std::string add = missing.size() == 1 ? "add " + Ranges(missing) + "=NAME"
                                          : "add the cards " + Ranges(missing);
    std::string renumber = within == 0 ? ""
                           : within == 1
                               ? ", or number the one card 1 and write Max=1"
                               : ", or number the cards 1-" + std::to_string(within) +
                                     " without gaps and write Max=" + std::to_string(within);
    problems.Add(line, Cards(missing) + " missing below " + shown + ": " + deal +
                           " deals blank cards in their place; " + add + renumber);
  }
  if (!empty.empty()) {
    problems.Add(line, Cards(empty) + " empty: " + deal + " deals them as blank cards");
  }
  if (!above.empty()) {
    problems.Add(entries.cards.at(above.front()).number,
                 Cards(above) + " above " + shown + ": never dealt; write Max=" +
                     std::to_string(std::min<std::int64_t>(above.back(), kMaxCardSetSize)) +
                     " to deal them");
  }
  return count;
}

// The cards a deal leaves in the target's deck, as the library counts them after saving it:
// a name holding commas is saved as that many cards.
std::optional<std::int32_t> CardsDealt(const std::string& deck_file) {
  CardSet set = ReadCardSet(deck_file);
  if (set.outcome != CardSetOutcome::kRead) return std::nullopt;
  return static_cast<std::int32_t>(SavedCardCount(set.cards));
}

// A deck file named beyond ASCII is looked for under the Shift_JIS bytes of its name, which the
// file's own name need not have: a system that names files in UTF-8 (or a converted mode table)
// holds it under other bytes. Says so when the file is there under its UTF-8 name.
std::string UnderAnotherName(const std::string& deck_file) {
  std::string utf8;
  if (ConvertPrefix(kLibraryCharset, "UTF-8", deck_file, utf8) != deck_file.size() ||
      utf8 == deck_file || ReadFile(DataPath(utf8)).outcome == FileRead::kAbsent) {
    return "";
  }
  return "; a file of that name is there, but named in UTF-8, and the library looks a file "
         "up by the Shift_JIS bytes of its name: name the deck file, and its line in the mode "
         "table, in ASCII letters";
}

bool HoldsReference(std::string_view card) {
  for (std::size_t at = card.find('&'); at != std::string_view::npos; at = card.find('&', at + 1)) {
    if (ReadCharacterReference(card.substr(at))) return true;
  }
  return false;
}

// The cards 1 to `count` that hold references, which some networks show as they stand.
void FindReferencedCards(const DeckEntries& entries, std::int32_t count,
                         const std::string& deck_file, std::vector<ReferencedCard>& found) {
  for (const auto& [number, key] : entries.cards) {
    if (number > count) break;
    std::string_view card = UnquoteValue(key.line.value);
    if (HoldsReference(card)) found.push_back({deck_file, key.number, std::string(card)});
  }
}

std::optional<std::int32_t> CheckDeckFile(const std::string& mode, const std::string& deck_file,
                                          FileProblems& table, std::size_t table_line,
                                          CardSetReport& report) {
  std::string path = DataPath(deck_file);
  FileRead read = ReadFile(path);
  if (read.outcome != FileRead::kRead) {
    table.Add(table_line, "the deck file " + Quoted(deck_file) + " of the mode " + Quoted(mode) +
                              WhyNotRead(read, "the library looks for it at " + path) + ": deck," +
                              mode + " deals nothing and says it cannot read the deck file" +
                              UnderAnotherName(deck_file));
    return std::nullopt;
  }
  FileProblems problems(deck_file, report.problems);
  LineNumbers lines(read.bytes);
  if (!CheckEncoding(read.bytes, problems)) return std::nullopt;
  std::optional<std::vector<KeyLine>> keys =
      ReadSection(read.bytes, lines, kCardSetSection, problems);
  if (!keys) {
    problems.Add(0, "has no [" + std::string(kCardSetSection) + "] section: deck," + mode +
                        " deals an empty deck");
    return std::nullopt;
  }
  DeckEntries entries = CollectDeckEntries(read.bytes, *keys, problems);
  std::optional<std::int32_t> count = CheckCardCount(entries, mode, problems);
  if (!count) return std::nullopt;
  FindReferencedCards(entries, *count, deck_file, report.referenced_cards);
  return CardsDealt(deck_file);
}

// The modes a table holds, in order.
std::vector<std::string> ModesOf(std::string_view content) {
  std::vector<std::string> modes;
  std::vector<CardSetProblem> ignored;
  FileProblems problems("", ignored);
  LineNumbers lines(content);
  for (const KeyLine& key :
       ReadSection(content, lines, kModeSection, problems).value_or(std::vector<KeyLine>())) {
    modes.push_back(key.key);
  }
  return modes;
}

// "the modes a, b, c" for a message, with the one `mode` is a slip for.
std::string ModesHeld(const std::vector<std::string>& modes, std::string_view mode) {
  if (modes.empty()) return "no modes";
  std::string held;
  for (const std::string& name : modes) held += (held.empty() ? "" : ", ") + name;
  std::optional<std::string> meant = NearestName(mode, modes);
  return "the modes " + held + (meant ? "; did you mean deck," + *meant + "?" : "");
}

// `card` as a network without the characters of its references shows it: the rest of it as
// `shown` makes it, the references as they stand.
std::string AsReferences(std::string_view card, const ShownText& shown) {
  std::string text;
  std::size_t run = 0;
  for (std::size_t at = 0; at < card.size();) {
    std::optional<CharacterReference> reference;
    if (card[at] == '&') reference = ReadCharacterReference(card.substr(at));
    if (!reference) {
      at += card_files::ShiftJisCharLength(card, at);
      continue;
    }
    text += shown(card.substr(run, at - run));
    text += card.substr(at, reference->length);
    at += reference->length;
    run = at;
  }
  return text + shown(card.substr(run));
}

// Problems in the order of a reader going through the files: the mode table first, then each
// deck file in the order the table names them, each file's lines in order.
void SortByFile(const std::string& modes_file, std::vector<CardSetProblem>& problems) {
  std::map<std::string, std::size_t> rank{{modes_file, 0}};
  for (const CardSetProblem& problem : problems) rank.try_emplace(problem.file, rank.size());
  std::stable_sort(problems.begin(), problems.end(),
                   [&rank](const CardSetProblem& a, const CardSetProblem& b) {
                     return std::pair(rank[a.file], a.line) < std::pair(rank[b.file], b.line);
                   });
}

}  // namespace

std::vector<std::string> ListModes(const std::string& modes_file) {
  FileRead table = ReadFile(DataPath(modes_file));
  if (table.outcome != FileRead::kRead) return {};
  return ModesOf(table.bytes);
}

std::string WhyNoDeal(const FailedDeal& deal, const std::string& modes_file,
                      const std::vector<std::string>& modes_held) {
  std::string deck_file = deal.deck_file + " of the mode " + Quoted(deal.mode);
  switch (deal.outcome) {
    case table::Outcome::kNoMode:
      return "no mode name: write deck,MODE";
    case table::Outcome::kNoModeTable:
      return "no mode table " + modes_file + " at " + DataPath(modes_file) +
             " (play in the directory that holds it with -C DIR)";
    case table::Outcome::kNoSuchMode:
      return "the mode " + Quoted(deal.mode) + " is not in " + modes_file + ", which holds " +
             ModesHeld(modes_held, deal.mode);
    case table::Outcome::kDeckFileUnreadable:
      return "the deck file " + deck_file +
             WhyNotRead(ReadFile(DataPath(deal.deck_file)),
                        "the library looks for it at " + DataPath(deal.deck_file)) +
             ": nothing was dealt, and the target's deck is as it was";
    case table::Outcome::kCardSetTooLarge:
      return "the deck file " + deck_file + " asks for more than " +
             std::to_string(kMaxCardSetSize) +
             " cards, more than a deal takes; deckhand --check-cards tells what is wrong with the "
             "file";
    default:
      return "";
  }
}

CardSetReport CheckCardSets(const std::string& modes_file) {
  CardSetReport report;
  FileProblems problems(modes_file, report.problems);
  std::string path = DataPath(modes_file);
  FileRead read = ReadFile(path);
  if (read.outcome != FileRead::kRead) {
    problems.Add(0, WhyNotRead(read, "the library looks for the mode table at " + path).substr(1) +
                        ": every deck,MODE gets no reply; run in the directory that holds it "
                        "(-C DIR)");
    return report;
  }
  LineNumbers lines(read.bytes);
  if (!CheckEncoding(read.bytes, problems)) return report;
  std::optional<std::vector<KeyLine>> keys = ReadSection(read.bytes, lines, kModeSection, problems);
  if (!keys || keys->empty()) {
    problems.Add(
        0, std::string(keys ? "has no modes in its [MODE] section" : "has no [MODE] section") +
               ": every deck,MODE gets no reply");
    return report;
  }
  // Modes that share a deck file share its card count; its problems are told once.
  std::map<std::string, std::optional<std::int32_t>> checked_files;
  for (const KeyLine& key : *keys) {
    if (!IsRead(key, "the mode", problems)) continue;
    CheckValueAsRead(read.bytes, key.line, "the deck file", problems, key.number);
    if (key.key.find_first_of(" \t") != std::string::npos) {
      problems.Add(key.number, "the mode " + Quoted(key.key) +
                                   " holds a space, and a command text cannot: it cannot be dealt");
    }
    std::string deck_file(UnquoteValue(key.line.value));
    CardSetMode mode{key.key, deck_file, std::nullopt};
    if (deck_file.empty()) {
      problems.Add(key.number, "the mode " + Quoted(key.key) + " names no deck file: deck," +
                                   key.key + " gets no reply");
    } else {
      auto [checked, fresh_file] = checked_files.try_emplace(DataPath(deck_file));
      if (fresh_file) {
        checked->second = CheckDeckFile(key.key, deck_file, problems, key.number, report);
      }
      mode.cards = checked->second;
    }
    report.modes.push_back(std::move(mode));
  }
  SortByFile(modes_file, report.problems);
  return report;
}

std::vector<std::string> ReferenceWarnings(const CardSetReport& report, WireEncoding encoding,
                                           const ShownText& shown, std::size_t most) {
  const std::vector<ReferencedCard>& cards = report.referenced_cards;
  if (CarriesReferencedCharacters(encoding) || cards.empty()) return {};
  std::string name(WireEncodingName(encoding));
  std::string network = "on a network in " + name;
  std::vector<std::string> lines;
  for (const ReferencedCard& card : cards) {
    if (lines.size() == most) {
      lines.push_back("and " + std::to_string(cards.size() - most) +
                      " more (deckhand --check-cards --encoding=" + name + " lists them all)");
      break;
    }
    lines.push_back(shown(card.deck_file) + ":" + std::to_string(card.line) + ": " +
                    Quoted(shown(card.card)) + " shows as " +
                    Quoted(AsReferences(card.card, shown)) + " " + network);
  }
  lines.push_back(
      (cards.size() == 1 ? "1 card shows" : std::to_string(cards.size()) + " cards show") +
      " character references " + network +
      ": rename them with characters Shift_JIS holds, or play on a UTF-8 network");
  return lines;
}

void PrintCardSetReport(const std::string& modes_file, const CardSetReport& report,
                        const TerminalCodec& codec, std::optional<WireEncoding> network,
                        std::ostream& out) {
  auto shown = [&codec](std::string_view text) { return codec.ToTerminal(text); };
  out << shown(modes_file) << ": " << report.modes.size()
      << (report.modes.size() == 1 ? " mode" : " modes") << "\n";
  for (const CardSetMode& mode : report.modes) {
    out << "  " << shown(mode.mode) << ": "
        << shown(mode.deck_file.empty() ? "(no deck file)" : mode.deck_file) << ", "
        << (!mode.cards        ? "no cards"
            : *mode.cards == 1 ? "1 card"
                               : std::to_string(*mode.cards) + " cards")
        << "\n";
  }
  for (const CardSetProblem& problem : report.problems) {
    out << shown(problem.file);
    if (problem.line != 0) out << ":" << problem.line;
    out << ": " << shown(problem.text) << "\n";
  }
  if (network) {
    for (const std::string& line : ReferenceWarnings(report, *network, shown, SIZE_MAX)) {
      out << line << "\n";
    }
  }
  std::size_t count = report.problems.size();
  if (count == 0) {
    out << "No problems found.\n";
  } else {
    out << count << (count == 1 ? " problem" : " problems") << " to fix.\n";
  }
}

}  // namespace deckhand::host
