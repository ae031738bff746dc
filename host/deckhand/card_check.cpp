#include "host/deckhand/card_check.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string_view>
#include <utility>

#include "storage/data_path.h"
#include "storage/ini_format.h"
#include "text/shift_jis.h"

namespace deckhand::host {
namespace {

// The names the library looks up, and the most cards it deals from one deck file.
constexpr std::string_view kModeSection = "MODE";
constexpr std::string_view kDeckSection = "DECK";
constexpr std::string_view kCountKey = "max";  // folded
constexpr std::string_view kReversibleKey = "reversible";  // folded; read by the table
constexpr std::int32_t kMostCards = 100000;

std::string Quoted(std::string_view name) { return "\"" + std::string(name) + "\""; }

// A file as the checker sees it: its bytes, or why there are none.
struct FileRead {
  enum { kRead, kAbsent, kUnreadable } outcome = kAbsent;
  std::string bytes;
};

FileRead ReadFile(const std::string& path) {
  FileRead read;
  std::error_code failure;
  if (!std::filesystem::exists(path, failure)) return read;
  read.outcome = FileRead::kUnreadable;
  if (!std::filesystem::is_regular_file(path, failure)) return read;
  std::ifstream in(path, std::ios::binary);
  if (!in) return read;
  read.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) return read;
  read.outcome = FileRead::kRead;
  return read;
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
                                    starts_.begin()) + 1;
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

bool IsUtf8(std::string_view text, bool* has_multibyte) {
  *has_multibyte = false;
  for (std::size_t at = 0; at < text.size();) {
    auto byte = static_cast<unsigned char>(text[at]);
    std::size_t length = byte < 0x80 ? 1 : byte >= 0xC2 && byte <= 0xDF ? 2
                         : byte >= 0xE0 && byte <= 0xEF               ? 3
                         : byte >= 0xF0 && byte <= 0xF4               ? 4
                                                                      : 0;
    if (length == 0 || at + length > text.size()) return false;
    for (std::size_t i = 1; i < length; ++i) {
      if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return false;
    }
    *has_multibyte |= length > 1;
    at += length;
  }
  return true;
}

bool IsShiftJisSecondByte(unsigned char byte) {
  return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

// Offsets of the first byte of every line that holds a byte sequence no Shift_JIS character
// has, one per line.
std::vector<std::size_t> BadShiftJisOffsets(std::string_view text) {
  std::vector<std::size_t> bad;
  std::size_t last_bad_line_end = 0;
  for (std::size_t at = 0; at < text.size();) {
    auto byte = static_cast<unsigned char>(text[at]);
    bool lead = IsShiftJisLeadByte(byte);
    bool valid = lead ? at + 1 < text.size() &&
                            IsShiftJisSecondByte(static_cast<unsigned char>(text[at + 1]))
                      : byte < 0x80 || (byte >= 0xA1 && byte <= 0xDF);
    if (!valid && (bad.empty() || at >= last_bad_line_end)) {
      bad.push_back(at);
      last_bad_line_end = std::min(text.find_first_of("\r\n", at), text.size());
    }
    at += valid && lead ? 2 : 1;
  }
  return bad;
}

std::string ConvertHint(std::string_view from, const std::string& file, bool strip_bom) {
  std::string source = strip_bom ? "sed '1s/^\\xEF\\xBB\\xBF//' " + file + " | iconv -f " +
                                       std::string(from) + " -t CP932"
                                 : "iconv -f " + std::string(from) + " -t CP932 " + file;
  return "; convert it with: " + source + " > " + file + ".new && mv " + file + ".new " + file;
}

// Says how the file's text differs from Shift_JIS. False when the file is no text the checks
// of its entries could make sense of (UTF-16).
bool CheckEncoding(std::string_view bytes, const LineNumbers& lines, FileProblems& problems) {
  const std::string& file = problems.file();
  if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF" ||
      bytes.find('\0') != std::string_view::npos) {
    problems.Add(0, "is UTF-16 text; the library reads Shift_JIS" + ConvertHint("UTF-16", file, false));
    return false;
  }
  bool bom = bytes.substr(0, 3) == "\xEF\xBB\xBF";
  bool multibyte = false;
  if (bom || (IsUtf8(bytes, &multibyte) && multibyte)) {
    problems.Add(0, std::string(bom ? "starts with a UTF-8 byte-order mark: it is UTF-8 text"
                                    : "is UTF-8 text") +
                        "; the library reads Shift_JIS, so its names would be garbled" +
                        ConvertHint("UTF-8", file, bom));
    return true;
  }
  for (std::size_t offset : BadShiftJisOffsets(bytes)) {
    std::ostringstream hex;
    hex << std::hex << std::uppercase << static_cast<int>(static_cast<unsigned char>(bytes[offset]));
    problems.Add(lines.At(offset), "byte 0x" + hex.str() +
                                       " starts no Shift_JIS character; is the file in another "
                                       "encoding?");
  }
  return true;
}

// Says when the name the library reads differs from the one the line seems to show.
void CheckValueAsRead(std::string_view content, const IniLine& line, std::string_view what,
                      FileProblems& problems, std::size_t line_number) {
  std::string_view as_read = UnquoteIniValue(line.value);
  // Quotes that keep spaces at an end of the name are meant: they are how such names are written.
  bool keeps_spaces = !as_read.empty() && (as_read.front() == ' ' || as_read.back() == ' ');
  if (as_read.size() != line.value.size() && !keeps_spaces) {
    problems.Add(line_number, "the quotes of " + std::string(line.value) +
                                  " are dropped when it is read: " + std::string(what) + " is " +
                                  std::string(as_read));
    return;
  }
  std::string_view raw = content.substr(line.begin, line.end - line.begin);
  std::size_t equals = raw.find('=');
  bool spaced_key = equals > 0 && (raw[equals - 1] == ' ' || raw[equals - 1] == '\t');
  bool spaced_value = equals + 1 < raw.size() && (raw[equals + 1] == ' ' || raw[equals + 1] == '\t');
  if (spaced_value && !spaced_key && !line.value.empty()) {
    problems.Add(line_number, "the space after \"=\" is dropped when it is read: " +
                                  std::string(what) + " is " + Quoted(as_read) +
                                  " (quote it, \" " + std::string(as_read) + "\", to keep it)");
  }
}

// How a section of a file reads: the key lines of its first section of the name, in order,
// with the lines the library never looks at reported.
struct KeyLine {
  IniLine line;
  std::size_t number;
  std::string key;  // the key the line stands for
};

// Keys of one section as reading finds them: the first of each, in any letter case, wins.
class FirstKeys {
 public:
  // True for the first line of its key; a later one is reported as `what` (e.g. "the key")
  // that appears again, and false.
  bool IsFirst(const KeyLine& key, std::string_view what, FileProblems& problems) {
    auto [first, fresh] = first_line_.try_emplace(FoldNameCase(key.key), key.number);
    if (!fresh) {
      problems.Add(key.number, std::string(what) + " " + Quoted(key.key) +
                                   " appears again (first at line " +
                                   std::to_string(first->second) +
                                   "); the first one wins and this one is never read");
    }
    return fresh;
  }

 private:
  std::map<std::string, std::size_t> first_line_;  // folded key to the line that wins
};

std::optional<std::vector<KeyLine>> ReadSection(std::string_view content, const LineNumbers& lines,
                                                std::string_view section, FileProblems& problems) {
  std::optional<std::vector<KeyLine>> keys;
  bool inside = false;
  bool in_any_section = false;
  IniLineScanner scanner(content);
  IniLine line;
  while (scanner.Next(line)) {
    std::size_t number = lines.At(line.begin);
    if (line.kind == IniLineKind::kSection) {
      in_any_section = true;
      inside = !keys && NamesMatch(line.name, section);
      if (inside) {
        keys.emplace();
      } else if (NamesMatch(line.name, section)) {
        problems.Add(number, "a second [" + std::string(section) +
                                 "] section is never read: only the first one counts");
      }
    } else if (line.kind == IniLineKind::kKey && !in_any_section) {
      problems.Add(number, "an entry before any [section] is never read");
    } else if (inside && line.kind == IniLineKind::kOther) {
      problems.Add(number, "a line without \"=\" is no entry and is never read");
    } else if (inside && line.kind == IniLineKind::kKey) {
      keys->push_back({line, number, EffectiveIniKey(line.name)});
    }
  }
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

DeckEntries CollectDeckEntries(std::string_view content, const std::vector<KeyLine>& keys,
                               FileProblems& problems) {
  DeckEntries entries;
  FirstKeys first_keys;
  for (const KeyLine& key : keys) {
    if (!first_keys.IsFirst(key, "the key", problems)) continue;
    if (FoldNameCase(key.key) == kCountKey) {
      entries.count = key;
    } else if (FoldNameCase(key.key) == kReversibleKey) {
      // The table deals such a deck's cards upright or reversed; nothing to check.
    } else if (std::optional<std::int64_t> number = CardNumber(key.key)) {
      entries.cards.emplace(*number, key);
      std::string_view card = UnquoteIniValue(key.line.value);
      if (card.find(',') != std::string_view::npos) {
        problems.Add(key.number, "the card " + Quoted(card) +
                                     " holds a comma: it is saved and drawn as separate cards");
      }
      CheckValueAsRead(content, key.line, "the card", problems, key.number);
    } else if (LooksNumbered(key.key)) {
      problems.Add(key.number, "the key " + Quoted(key.key) +
                                   " is never read: number the cards 1, 2, 3 with no sign or "
                                   "leading zero");
    } else {
      problems.Add(key.number, "the key " + Quoted(key.key) +
                                   " is never read: a deck file holds Max and the numbered cards");
    }
  }
  return entries;
}

// The cards `deck,MODE` deals from the deck file's entries, reporting what goes wrong.
std::optional<std::int32_t> CheckCardCount(const DeckEntries& entries, const std::string& mode,
                                           FileProblems& problems) {
  std::string deal = "deck," + mode;
  if (!entries.count) {
    problems.Add(0, "has no Max: " + deal + " deals an empty deck");
    return std::nullopt;
  }
  std::string_view written = UnquoteIniValue(entries.count->line.value);
  std::int32_t count = ParseIniNumber(written);
  std::size_t line = entries.count->number;
  std::string shown = "Max=" + std::string(written);
  if (std::to_string(count) != written) shown += " (read as " + std::to_string(count) + ")";
  if (count <= 0) {
    problems.Add(line, shown + ": " + deal + " deals an empty deck");
    return std::nullopt;
  }
  if (count > kMostCards) {
    problems.Add(line, shown + " is above the " + std::to_string(kMostCards) +
                           " cards the library deals: " + deal + " gets no reply");
    return std::nullopt;
  }
  std::vector<std::int64_t> missing, empty, above;
  for (std::int64_t i = 1; i <= count; ++i) {
    auto found = entries.cards.find(i);
    if (found == entries.cards.end()) {
      missing.push_back(i);
    } else if (found->second.line.value.empty()) {
      empty.push_back(i);
    }
  }
  for (const auto& [number, key] : entries.cards) {
    if (number > count) above.push_back(number);
  }
  if (!missing.empty()) {
    problems.Add(line, Cards(missing) + " missing below " + shown + ": deck," + mode +
                           " deals blank cards in their place");
  }
  if (!empty.empty()) {
    problems.Add(line, Cards(empty) + " empty: deck," + mode + " deals them as blank cards");
  }
  if (!above.empty()) {
    problems.Add(entries.cards.at(above.front()).number,
                 Cards(above) + " above " + shown + ": never dealt");
  }
  return count;
}

std::optional<std::int32_t> CheckDeckFile(const std::string& mode, const std::string& deck_file,
                                          FileProblems& table, std::size_t table_line,
                                          std::vector<CardSetProblem>& all) {
  std::string path = MakeDataPath(deck_file);
  FileRead read = ReadFile(path);
  if (read.outcome != FileRead::kRead) {
    table.Add(table_line, "the deck file " + Quoted(deck_file) + " of the mode " + Quoted(mode) +
                              (read.outcome == FileRead::kAbsent ? " is missing" : " cannot be read") +
                              " (the library looks for it at " + path + "): deck," + mode +
                              " deals an empty deck");
    return std::nullopt;
  }
  FileProblems problems(deck_file, all);
  LineNumbers lines(read.bytes);
  if (!CheckEncoding(read.bytes, lines, problems)) return std::nullopt;
  std::optional<std::vector<KeyLine>> keys = ReadSection(read.bytes, lines, kDeckSection, problems);
  if (!keys) {
    problems.Add(0, "has no [DECK] section: deck," + mode + " deals an empty deck");
    return std::nullopt;
  }
  return CheckCardCount(CollectDeckEntries(read.bytes, *keys, problems), mode, problems);
}

// The mode name of a Deck command text: what follows its first comma.
std::optional<std::string> DealtMode(std::string_view command_text) {
  std::size_t comma = command_text.find(',');
  if (comma == std::string_view::npos || comma + 1 == command_text.size()) return std::nullopt;
  return std::string(command_text.substr(comma + 1));
}

// The modes a table holds, "a, b, c", for a message.
std::string ModesHeld(std::string_view content) {
  std::string held;
  std::vector<CardSetProblem> ignored;
  FileProblems problems("", ignored);
  LineNumbers lines(content);
  for (const KeyLine& key : ReadSection(content, lines, kModeSection, problems).value_or(
           std::vector<KeyLine>())) {
    held += (held.empty() ? "" : ", ") + key.key;
  }
  return held.empty() ? "no modes" : "the modes " + held;
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

std::string WhyNoDeal(const std::string& modes_file, std::string_view command_text) {
  std::optional<std::string> mode = DealtMode(command_text);
  if (!mode) return "no mode name: write deck,MODE";
  std::string path = MakeDataPath(modes_file);
  FileRead table = ReadFile(path);
  if (table.outcome != FileRead::kRead) {
    return "no mode table " + modes_file + " at " + path +
           " (play in the directory that holds it with -C DIR)";
  }
  std::string deck_file = FindIniValue(table.bytes, kModeSection, *mode).value_or("");
  if (deck_file.empty()) {
    return "the mode " + Quoted(*mode) + " is not in " + modes_file + ", which holds " +
           ModesHeld(table.bytes);
  }
  return "the deck file " + deck_file + " of the mode " + Quoted(*mode) +
         " cannot be dealt, or the target is too long; deckhand --check-cards tells what is wrong "
         "with the file";
}

std::string MissingDeckFile(const std::string& modes_file, std::string_view command_text) {
  std::optional<std::string> mode = DealtMode(command_text);
  if (!mode) return "";
  FileRead table = ReadFile(MakeDataPath(modes_file));
  std::string deck_file = FindIniValue(table.bytes, kModeSection, *mode).value_or("");
  if (deck_file.empty()) return "";
  std::string path = MakeDataPath(deck_file);
  if (ReadFile(path).outcome == FileRead::kRead) return "";
  return "the deck file " + deck_file + " of the mode " + Quoted(*mode) + " is missing at " +
         path + ": nothing was dealt, and the target's deck is as it was";
}

CardSetReport CheckCardSets(const std::string& modes_file) {
  CardSetReport report;
  FileProblems problems(modes_file, report.problems);
  std::string path = MakeDataPath(modes_file);
  FileRead read = ReadFile(path);
  if (read.outcome != FileRead::kRead) {
    problems.Add(0, std::string(read.outcome == FileRead::kAbsent ? "is missing"
                                                                 : "cannot be read") +
                        ": the library looks for the mode table at " + path +
                        ", and every deck,MODE gets no reply; run in the directory that holds "
                        "it (-C DIR)");
    return report;
  }
  LineNumbers lines(read.bytes);
  if (!CheckEncoding(read.bytes, lines, problems)) return report;
  std::optional<std::vector<KeyLine>> keys = ReadSection(read.bytes, lines, kModeSection, problems);
  if (!keys || keys->empty()) {
    problems.Add(0, std::string(keys ? "has no modes in its [MODE] section"
                                     : "has no [MODE] section") +
                        ": every deck,MODE gets no reply");
    return report;
  }
  FirstKeys first_modes;
  // Modes that share a deck file share its card count; its problems are told once.
  std::map<std::string, std::optional<std::int32_t>> checked_files;
  for (const KeyLine& key : *keys) {
    if (!first_modes.IsFirst(key, "the mode", problems)) continue;
    CheckValueAsRead(read.bytes, key.line, "the deck file", problems, key.number);
    if (key.key.find_first_of(" \t") != std::string::npos) {
      problems.Add(key.number, "the mode " + Quoted(key.key) +
                                   " holds a space, and a command text cannot: it cannot be dealt");
    }
    std::string deck_file(UnquoteIniValue(key.line.value));
    CardSetMode mode{key.key, deck_file, std::nullopt};
    if (deck_file.empty()) {
      problems.Add(key.number, "the mode " + Quoted(key.key) + " names no deck file: deck," +
                                   key.key + " gets no reply");
    } else {
      auto [checked, fresh_file] = checked_files.try_emplace(MakeDataPath(deck_file));
      if (fresh_file) {
        checked->second =
            CheckDeckFile(key.key, deck_file, problems, key.number, report.problems);
      }
      mode.cards = checked->second;
    }
    report.modes.push_back(std::move(mode));
  }
  SortByFile(modes_file, report.problems);
  return report;
}

void PrintCardSetReport(const std::string& modes_file, const CardSetReport& report,
                        const TerminalCodec& codec, std::ostream& out) {
  out << codec.ToTerminal(modes_file) << ": " << report.modes.size()
      << (report.modes.size() == 1 ? " mode" : " modes") << "\n";
  for (const CardSetMode& mode : report.modes) {
    out << "  " << codec.ToTerminal(mode.mode) << ": "
        << codec.ToTerminal(mode.deck_file.empty() ? "(no deck file)" : mode.deck_file) << ", "
        << (mode.cards ? std::to_string(*mode.cards) + " cards" : "no cards") << "\n";
  }
  for (const CardSetProblem& problem : report.problems) {
    out << codec.ToTerminal(problem.file);
    if (problem.line != 0) out << ":" << problem.line;
    out << ": " << codec.ToTerminal(problem.text) << "\n";
  }
  std::size_t count = report.problems.size();
  if (count == 0) {
    out << "No problems found.\n";
  } else {
    out << count << (count == 1 ? " problem" : " problems") << " to fix.\n";
  }
}

}  // namespace deckhand::host
