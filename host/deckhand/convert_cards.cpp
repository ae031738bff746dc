#include "host/deckhand/convert_cards.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "deckhand/card_files.h"
#include "host/common/card_text.h"
#include "host/common/character_references.h"
#include "host/deckhand/kept_owner.h"
#include "host/deckhand/session.h"
#include "host/deckhand/terminal.h"

namespace deckhand::host {

// Files are read, and deck files written, as the library reads and writes them.
using card_files::EntryLine;
using card_files::kCardCountKey;
using card_files::kCardSetSection;
using card_files::kMaxCardSetSize;
using card_files::kModeSection;
using card_files::kReversibleKey;
using card_files::ReadNumber;
using card_files::SectionLine;
using card_files::WalkSection;

namespace {

// Far beyond any card set (100,000 cards of a few hundred bytes); a larger file is no card file,
// and reading it would only fill memory.
constexpr std::uintmax_t kLargestFile = 64 * 1024 * 1024;

std::string Counted(std::size_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// "20 cards" for a deck file, "4 modes" for a mode table, else "12 lines".
std::string Contents(std::string_view content) {
  std::size_t lines = 0, cards = 0, modes = 0;
  bool seen_cards = false, seen_modes = false;
  WalkSection(content, kCardSetSection, [&](const SectionLine& at) {
    ++lines;
    seen_cards |= at.opens_section;
    std::int32_t number = ReadNumber(at.key);
    if (at.first_of_key && number > 0 && std::to_string(number) == at.key) ++cards;
  });
  WalkSection(content, kModeSection, [&](const SectionLine& at) {
    seen_modes |= at.opens_section;
    if (at.first_of_key) ++modes;
  });
  if (seen_cards) return Counted(cards, "card", "cards");
  if (seen_modes) return Counted(modes, "mode", "modes");
  return Counted(lines, "line", "lines");
}

std::string Trimmed(std::string_view text) {
  constexpr std::string_view kSpaces = " \t";
  std::size_t first = text.find_first_not_of(kSpaces);
  if (first == std::string_view::npos) return "";
  return std::string(text.substr(first, text.find_last_not_of(kSpaces) - first + 1));
}

// A plain list, one card a line (blank lines skipped, spaces around a name dropped), as a deck
// file: Max (and Reversible=1 for a reversible deck), then the cards under 1, 2, 3 ..., each
// written as the library's writer writes a value, so that it reads back as it is.
std::optional<std::string> DeckFileOfList(std::string_view list, bool reversible) {
  const std::string header = "[" + std::string(kCardSetSection) + "]\r\n";
  std::string entries;
  std::int32_t count = 0;
  for (std::size_t at = 0; at < list.size();) {
    std::size_t end = std::min(list.find_first_of("\r\n", at), list.size());
    std::string card = Trimmed(list.substr(at, end - at));
    at = end + 1;
    if (card.empty()) continue;
    if (count == kMaxCardSetSize) return std::nullopt;
    std::optional<std::string> entry = EntryLine(std::to_string(++count), card);
    if (!entry) return std::nullopt;
    entries += *entry;
  }
  if (count == 0) return std::nullopt;
  std::string reversed = reversible ? std::string(kReversibleKey) + "=1\r\n" : "";
  return header + std::string(kCardCountKey) + "=" + std::to_string(count) + "\r\n" + reversed +
         entries;
}

std::string WhatWasKept(const std::vector<char32_t>& references) {
  if (references.empty()) return "every character is in Shift_JIS";
  std::string shown;
  for (char32_t code_point : references) {
    shown += (shown.empty() ? "" : " ") + WriteCharacterReference(code_point);
  }
  return Counted(references.size(), "character kept as a reference",
                 "characters kept as references") +
         " (" + shown + ")";
}

// "line 3" or "lines 3, 7".
std::string LinesNamed(const std::vector<CardTextLine>& lines) {
  std::string numbers;
  for (const CardTextLine& line : lines) {
    numbers += (numbers.empty() ? "" : ", ") + std::to_string(line.place.line);
  }
  return (lines.size() == 1 ? "line " : "lines ") + numbers;
}

// What the conversion did: for a file of mixed lines, the lines it converted or kept.
std::string WhatWasDone(const CardText& text, const ShiftJisText& shift_jis, bool from_list) {
  if (text.kind == CardTextKind::kShiftJis && text.odd_lines.empty()) {
    return from_list ? WhatWasKept(shift_jis.references) : "already Shift_JIS";
  }
  if (text.kind == CardTextKind::kShiftJis) {
    return LinesNamed(text.odd_lines) + " converted from UTF-8" +
           (shift_jis.references.empty() ? "" : ", " + WhatWasKept(shift_jis.references));
  }
  std::string done = WhatWasKept(shift_jis.references);
  if (text.odd_lines.empty()) return done;
  return done + "; " + LinesNamed(text.odd_lines) + ", in Shift_JIS already, kept as " +
         (text.odd_lines.size() == 1 ? "it was" : "they were");
}

// Why the text cannot be converted: where it is in no encoding deckhand knows.
std::optional<std::string> WhyNotConvertible(const CardText& text) {
  auto place = [](const TextPlace& at) {
    return std::to_string(at.line) + ":" + std::to_string(at.column) + ": ";
  };
  if (text.kind == CardTextKind::kNeither && text.odd_lines.empty()) {
    std::string failure = place(text.failure_place) + text.failure;
    if (text.failure_kind == CardTextFailure::kEucJp) {
      failure += "; save it as UTF-8 and convert it again";
    }
    return failure;
  }
  std::vector<CardTextLine> unknown;
  std::copy_if(text.odd_lines.begin(), text.odd_lines.end(), std::back_inserter(unknown),
               [](const CardTextLine& line) { return line.kind == CardTextKind::kNeither; });
  if (unknown.empty()) return std::nullopt;
  std::string failure = place(unknown.front().place) + unknown.front().failure;
  unknown.erase(unknown.begin());
  if (!unknown.empty()) {
    failure += "; " + LinesNamed(unknown) + " as well in no encoding deckhand knows";
  }
  return failure;
}

struct FileRead {
  std::optional<std::string> bytes;
  std::string failure;
};

FileRead ReadCardFile(const std::string& path) {
  std::error_code failure;
  std::filesystem::file_status status = std::filesystem::status(path, failure);
  if (!std::filesystem::exists(status)) return {std::nullopt, "there is no such file"};
  if (!std::filesystem::is_regular_file(status)) return {std::nullopt, "is not a file"};
  std::uintmax_t size = std::filesystem::file_size(path, failure);
  if (failure || size > kLargestFile) {
    return {std::nullopt, failure ? "cannot be read" : "is larger than any card file (64 MB)"};
  }
  std::ifstream in(path, std::ios::binary);
  std::string bytes(std::istreambuf_iterator<char>(in), {});
  if (!in.good() && !in.eof()) return {std::nullopt, "cannot be read"};
  return {std::move(bytes), ""};
}

// Writes `bytes` to `path` through a temporary file beside it and a rename: a failure or a crash
// leaves no partial file.
bool WriteWhole(const std::string& path, std::string_view bytes, std::string* failure) {
  if (card_files::ReplaceFile(path, bytes)) return true;
  *failure =
      "cannot be written (is its directory writable, the file not read-only?); nothing "
      "changed";
  return false;
}

// Converts one file as the options ask; says what it did or why not.
bool ConvertOne(const std::string& file, const HostOptions& options, const TerminalCodec& codec) {
  std::ostream& report = options.in_place || !options.output.empty() ? std::cout : std::cerr;
  auto refuse = [&](std::string_view why) {
    ReportError(file + ": " + codec.ToTerminal(why));
    return false;
  };
  std::error_code ignored;
  if (options.in_place && std::filesystem::is_symlink(file, ignored)) {
    return refuse("is a symbolic link: convert the file it points to");
  }
  FileRead read = ReadCardFile(file);
  if (!read.bytes) return refuse(read.failure);
  Conversion conversion = ConvertCardFile(*read.bytes, options.from_list, options.reversible);
  if (!conversion.converted) {
    ReportError(file + ":" + codec.ToTerminal(conversion.failure) + "; nothing was written");
    return false;
  }
  std::string failure;
  if (options.in_place) {
    if (conversion.changed) {
      KeptOwner owner(file);
      if (!WriteWhole(file, conversion.bytes, &failure) || !owner.GiveBack(&failure)) {
        return refuse(failure);
      }
    }
    report << file << ": " << codec.ToTerminal(conversion.what)
           << (conversion.changed ? "" : "; left as it was") << std::endl;
    return true;
  }
  if (!options.output.empty()) {
    if (std::filesystem::symlink_status(options.output, ignored).type() !=
        std::filesystem::file_type::not_found) {
      ReportError(options.output +
                  ": exists already; choose another name, or convert the file "
                  "itself with --in-place");
      return false;
    }
    if (!WriteWhole(options.output, conversion.bytes, &failure)) {
      ReportError(options.output + ": " + failure);
      return false;
    }
    report << file << ": " << codec.ToTerminal(conversion.what) << "; written to " << options.output
           << std::endl;
    return true;
  }
  MakeStandardOutputBinary();
  std::cout.write(conversion.bytes.data(), static_cast<std::streamsize>(conversion.bytes.size()));
  std::cout.flush();
  report << file << ": " << codec.ToTerminal(conversion.what) << std::endl;
  return static_cast<bool>(std::cout);
}

}  // namespace

Conversion ConvertCardFile(std::string_view bytes, bool from_list, bool reversible) {
  Conversion conversion;
  CardText text = ReadCardText(bytes);
  if (std::optional<std::string> failure = WhyNotConvertible(text)) {
    conversion.failure = std::move(*failure);
    return conversion;
  }
  ShiftJisText shift_jis = CardTextInShiftJis(text, bytes);
  if (from_list) {
    std::optional<std::string> deck = DeckFileOfList(shift_jis.bytes, reversible);
    if (!deck) {
      conversion.failure = " holds no card names, or more than " + std::to_string(kMaxCardSetSize) +
                           " (one card a line)";
      return conversion;
    }
    shift_jis.bytes = std::move(*deck);
  }
  conversion.converted = true;
  conversion.changed = shift_jis.bytes != bytes;
  conversion.what = Contents(shift_jis.bytes) + (reversible ? " dealt upright or reversed" : "") +
                    ", " + WhatWasDone(text, shift_jis, from_list);
  conversion.bytes = std::move(shift_jis.bytes);
  return conversion;
}

int ConvertCardFiles(const HostOptions& options, const TerminalCodec& codec) {
  bool all = true;
  for (const std::string& file : options.texts) all &= ConvertOne(file, options, codec);
  return all ? 0 : 1;
}

}  // namespace deckhand::host
