// Reading and writing entries of INI files on disk (the format is in ini_format.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "storage/file_ops.h"

namespace deckhand {

// The value of (section, key) in the file at `path`, read whole whatever its length; "" when
// the file, section or key is absent or the file cannot be read. For files the user writes:
// a link is followed.
std::string ReadIniText(const std::string& path, std::string_view section, std::string_view key);

// The value read as a decimal number; 0 when absent.
std::int32_t ReadIniNumber(const std::string& path, std::string_view section, std::string_view key);

// The value of (section, key) in the file at `path`, and how the file was read: nullopt when
// the section or key is absent or the file was not read.
struct IniValueRead {
  ReadOutcome outcome = ReadOutcome::kAbsent;
  std::optional<std::string> value;
};
IniValueRead ReadIniValue(const std::string& path, std::string_view section, std::string_view key,
                          Links links);

// Sets (section, key) to `value`, creating the file, section and key as needed; every other
// byte of the file stays as it was, and the file is replaced atomically. False, with the file
// unchanged, when the existing file cannot be read or is a link, the value cannot be written
// (CR, LF, NUL), or the new file could not be written whole.
bool WriteIniText(const std::string& path, std::string_view section, std::string_view key,
                  std::string_view value);

// The entries of one section that a caller looks up, read once, for callers that look up many
// keys in one file.
class IniSection {
 public:
  // Reads the first section named `section` of the file at `path` (empty when absent); a link
  // is followed, as by ReadIniText. Only the entries the caller will ask for are kept, so that
  // a file of a million junk lines costs no more than its bytes: the plain numbers 1 to
  // `most_numbered` and the keys in `names`. Any other key reads as absent.
  static IniSection Read(const std::string& path, std::string_view section,
                         std::size_t most_numbered, std::initializer_list<std::string_view> names);

  // The value of `key`, as ReadIniText would give it; "" when absent.
  std::string Text(std::string_view key) const;
  std::int32_t Number(std::string_view key) const;
  // Whether the file was read, was absent, or could not be read (then the section is empty).
  ReadOutcome file_outcome() const { return file_outcome_; }

 private:
  // The number a key stands for when it is a plain decimal number from 1 to `limit` as
  // FormatDecimal writes it (no sign, no leading zero); nullopt for any other key.
  static std::optional<std::size_t> NumberedKey(std::string_view key, std::size_t limit);

  FileBytes content_;
  ReadOutcome file_outcome_ = ReadOutcome::kAbsent;
  // Values are unquoted views into content_; the first of duplicate keys wins. Deck files are
  // numbered lists of up to 100,000 cards, looked up as 1, 2, 3, ... in one call, so numbered
  // keys are kept in an array by their number: one allocation, and lookups that walk through
  // memory in order, where a hash map spent most of a large deal chasing its nodes. A view
  // with no data (never one into content_) marks a number the file lacks. Every other key is
  // in the map, by its folded form.
  std::vector<std::string_view> numbered_;
  std::unordered_map<std::string, std::string_view> values_;
};

}  // namespace deckhand
