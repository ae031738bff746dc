// Reading and writing entries of INI files on disk (the format is in ini_format.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace deckhand {

// The value of (section, key) in the file at `path`, read whole whatever its length; "" when
// the file, section or key is absent or the file cannot be read.
std::string ReadIniText(const std::string& path, std::string_view section, std::string_view key);

// The value read as a decimal number; 0 when absent.
std::int32_t ReadIniNumber(const std::string& path, std::string_view section, std::string_view key);

// Sets (section, key) to `value`, creating the file, section and key as needed; every other
// byte of the file stays as it was, and the file is replaced atomically. False, with the file
// unchanged, when the existing file cannot be read, the value cannot be written (CR, LF, NUL),
// or the new file could not be written whole.
bool WriteIniText(const std::string& path, std::string_view section, std::string_view key,
                  std::string_view value);

// Every entry of one section, read once, for callers that look up many keys in one file.
class IniSection {
 public:
  // Reads the first section named `section` of the file at `path` (empty when absent).
  static IniSection Read(const std::string& path, std::string_view section);

  // The value of `key`, as ReadIniText would give it; "" when absent.
  std::string Text(std::string_view key) const;
  std::int32_t Number(std::string_view key) const;

 private:
  // Values by key folded to one letter case; the first of duplicate keys wins.
  std::unordered_map<std::string, std::string> values_;
};

}  // namespace deckhand
